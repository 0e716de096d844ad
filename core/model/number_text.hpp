// Text forms of 64-bit floats: the plain positional form of cell values and
// the document's number layout. Both use the shortest round-trip digits.
#pragma once

#include <cstddef>
#include <string>

namespace vorlix {

// Writes the plain positional form ("1", "0.1", "1" + 21 zeros for 1e21,
// "-0", "NaN", "inf", "-inf") into out, which holds at least
// kValueTextBuffer bytes (value.hpp). Returns the length written.
size_t write_plain_number(double d, char* out) noexcept;

// Appends the document layout of d (20.0, 22.5, 0.001, 1e16, 1.5e-7,
// -0.0); NaN and the infinities are written as null.
void append_json_number(double d, std::string& out);

}  // namespace vorlix
