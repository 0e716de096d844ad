// The two Unicode facts the model needs: full upper-casing (exact wherever
// it can produce an ASCII character) and the White_Space property.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vorlix {

// Decodes one UTF-8 code point at text[i], advancing i. Invalid bytes
// decode as U+FFFD one byte at a time.
char32_t decode_utf8(std::string_view text, size_t& i) noexcept;

// Full upper-case of a UTF-8 text, exact in every ASCII character it
// produces: code points whose full upper-case mapping contains an ASCII
// character get that mapping; every other code point is copied unchanged
// (its upper case holds no ASCII character, so it can never match one).
std::string upper_for_ascii_match(std::string_view text);

// True when the full upper-case of text equals the ASCII text upper
// (which is itself upper case), without building the upper-cased string.
bool upper_equals(std::string_view text, std::string_view upper) noexcept;

// The Unicode White_Space property.
bool is_white_space(char32_t c) noexcept;

// The text with White_Space characters removed from both ends.
std::string_view trim_white_space(std::string_view text) noexcept;

}  // namespace vorlix
