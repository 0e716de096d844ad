// Pieces of the document's text: escaped strings (numbers are in number_text.hpp).
#pragma once

#include <string>
#include <string_view>

namespace vorlix {

// Appends text as a JSON string: quotation mark, backslash, \b \t \n \f \r
// escaped by a backslash, other characters below U+0020 as \u00xx in
// lower-case hex, everything else (U+007F, "/", non-ASCII) unchanged.
void append_json_string(std::string_view text, std::string& out);

}  // namespace vorlix
