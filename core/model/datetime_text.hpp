// Date-time text: writing a DateTime and reading the accepted pattern.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "value.hpp"

namespace vorlix {

// Writes "YYYY-MM-DD<sep>HH:MM:SS[.fff|.ffffff|.fffffffff]" into out (at
// least 64 bytes); years outside 0..9999 get a sign and at least four
// digits; a leap second (nanos >= 1e9) shows as second 60. Returns the length.
size_t write_datetime(const DateTime& dt, char* out, char sep = ' ') noexcept;

// Reads the "%Y-%m-%d %H:%M:%S" pattern with the reader rules of cell
// classification; nullopt when the text does not match or the date/time is invalid.
std::optional<DateTime> parse_datetime_text(std::string_view text) noexcept;

// True when the date exists in the proleptic Gregorian calendar within the kind's year range.
bool valid_date(int32_t year, unsigned month, unsigned day) noexcept;

}  // namespace vorlix
