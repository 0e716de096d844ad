// UTF-8 decoding, upper-casing for ASCII matches and White_Space.
#include <gtest/gtest.h>

#include <string>

#include "model/unicode.hpp"

using namespace vorlix;

TEST(Unicode, DecodeUtf8) {
    const struct {
        std::string_view bytes;
        char32_t cp;
        size_t advance;
    } cases[] = {
        {"A", U'A', 1},
        {"\u00e9", 0xE9, 2},
        {"\u20ac", 0x20AC, 3},
        {"\U0001F600", 0x1F600, 4},
        {"\U0010FFFF", 0x10FFFF, 4},
        {"\xc0\x80", 0xFFFD, 1},          // overlong NUL
        {"\xe0\x80\x80", 0xFFFD, 1},      // overlong
        {"\xf0\x8f\xbf\xbf", 0xFFFD, 1},  // overlong
        {"\xed\xa0\x80", 0xFFFD, 1},      // surrogate
        {"\xf4\x90\x80\x80", 0xFFFD, 1},  // past U+10FFFF
        {"\xf5\x80\x80\x80", 0xFFFD, 1},
        {"\x80", 0xFFFD, 1},              // lone continuation
        {"\xe2\x82", 0xFFFD, 1},          // truncated
        {"\xe2\x28\xa1", 0xFFFD, 1},      // bad continuation
        {"\xff", 0xFFFD, 1},
    };
    for (const auto& c : cases) {
        size_t i = 0;
        EXPECT_EQ(decode_utf8(c.bytes, i), c.cp) << testing::PrintToString(std::string(c.bytes));
        EXPECT_EQ(i, c.advance) << testing::PrintToString(std::string(c.bytes));
    }
    // Decoding continues at the given offset.
    const std::string_view two = "a\u00df";
    size_t i = 1;
    EXPECT_EQ(decode_utf8(two, i), 0xDFu);
    EXPECT_EQ(i, two.size());
}

TEST(Unicode, UpperEquals) {
    const struct {
        std::string_view text;
        std::string_view upper;
        bool equal;
    } cases[] = {
        {"true", "TRUE", true},
        {"tRuE", "TRUE", true},
        {"fal\u017fe", "FALSE", true},
        {"\ufb01", "FI", true},
        {"\ufb03", "FFI", true},
        {"\u00df", "SS", true},
        {"\u0131nf", "INF", true},
        {"", "", true},
        {"true ", "TRUE", false},
        {"tru", "TRUE", false},
        {"truee", "TRUE", false},
        {"\ufb01", "F", false},
        {"\u00df", "S", false},
        {"\u0149", "N", false},     // upper case is U+02BC then N
        {"\u01f0", "J", false},     // J followed by a combining caron
        {"\u00e9", "E", false},
        {"\xff", "", false},
        {"\xc0\x80", "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(upper_equals(c.text, c.upper), c.equal) << c.text << " vs " << c.upper;
}

TEST(Unicode, UpperForAsciiMatch) {
    EXPECT_EQ(upper_for_ascii_match("abc$1z"), "ABC$1Z");
    EXPECT_EQ(upper_for_ascii_match("\u00df7"), "SS7");
    EXPECT_EQ(upper_for_ascii_match("x\ufb03y"), "XFFIY");
    EXPECT_EQ(upper_for_ascii_match("\u0149"), "\u02bcN");
    EXPECT_EQ(upper_for_ascii_match("\u1e98"), "W\u030a");
    // No ASCII in their upper case: copied as they are, invalid bytes included.
    EXPECT_EQ(upper_for_ascii_match("\u00e9\u0434"), "\u00e9\u0434");
    EXPECT_EQ(upper_for_ascii_match("a\xff\xe2\x82" "b"), "A\xff\xe2\x82" "B");
}

TEST(Unicode, WhiteSpaceProperty) {
    const char32_t yes[] = {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20, 0x85, 0xA0, 0x1680,
                            0x2000, 0x2005, 0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000};
    // U+001C..U+001F count for str.isspace but are not White_Space.
    const char32_t no[] = {0x00, 0x08, 0x0E, 0x1C, 0x1D, 0x1E, 0x1F, 0x21, 0x84, 0x86,
                           0x180E, 0x200B, 0x200C, 0x2027, 0x202A, 0x2060, 0xFEFF, 0xFFFD};
    for (char32_t c : yes) EXPECT_TRUE(is_white_space(c)) << std::hex << uint32_t(c);
    for (char32_t c : no) EXPECT_FALSE(is_white_space(c)) << std::hex << uint32_t(c);
}

TEST(Unicode, TrimWhiteSpace) {
    const struct {
        std::string_view in;
        std::string_view out;
    } cases[] = {
        {"", ""},
        {" \t\r\n ", ""},
        {"  a b  ", "a b"},
        {"\u00a0\u3000x\u2028\u0085", "x"},
        {"\u3000", ""},
        {"\x1c" "a" "\x1f", "\x1c" "a" "\x1f"},
        {"x\u200b", "x\u200b"},
        {"a\u00e9", "a\u00e9"},
        {"a\x80", "a\x80"},
        {"a\xe3\x80", "a\xe3\x80"},        // truncated U+3000 is not white space
        {"a\x80\x80\x80\x80 ", "a\x80\x80\x80\x80"},
        {" \xe2\x80\x80", ""},            // U+2000
    };
    for (const auto& c : cases)
        EXPECT_EQ(trim_white_space(c.in), c.out) << testing::PrintToString(std::string(c.in));
}
