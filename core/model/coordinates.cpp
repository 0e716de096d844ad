#include "coordinates.hpp"

#include <charconv>

#include "unicode.hpp"

namespace vorlix {

namespace {

// Writes the letters of col right-aligned ending at end; returns their start.
char* put_letters(uint16_t col, char* end) noexcept {
    unsigned n = col;
    char* p = end;
    while (n != 0) {
        *--p = char('A' + (n - 1) % 26);
        n = (n - 1) / 26;
    }
    return p;
}

inline bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// The reference scan: [$]letters{1,3} then [$]digits+, over upper-cased text.
// For pure ASCII text, fold_ascii upper-cases on the fly instead.
std::optional<Coordinate> scan_reference(std::string_view s, bool fold_ascii) noexcept {
    auto letter_value = [fold_ascii](char c) -> unsigned {
        if (fold_ascii && c >= 'a' && c <= 'z') c = char(c - ('a' - 'A'));
        return (c >= 'A' && c <= 'Z') ? unsigned(c - 'A' + 1) : 0;
    };
    size_t pos = 0;
    unsigned column = 0;
    bool has_column = false;
    {
        size_t p = pos;
        if (p < s.size() && s[p] == '$') ++p;
        size_t letters = 0;
        while (letters < 3 && p < s.size() && letter_value(s[p]) != 0) {
            column = column * 26 + letter_value(s[p]);
            ++p;
            ++letters;
        }
        // Without letters the "$" is not part of a column and stays unread.
        if (letters > 0) {
            has_column = true;
            pos = p;
        }
    }
    size_t p = pos;
    if (p < s.size() && s[p] == '$') ++p;
    const size_t digits_start = p;
    uint64_t row = 0;
    while (p < s.size() && is_digit(s[p])) {
        if (row <= 0xFFFFFFFFull) row = row * 10 + unsigned(s[p] - '0');
        ++p;
    }
    if (p == digits_start || row > 0xFFFFFFFFull || !has_column) return std::nullopt;
    return Coordinate{uint32_t(row), uint16_t(column)};
}

}  // namespace

std::string column_number_to_letter(uint16_t col) {
    char buf[4];
    char* end = buf + sizeof buf;
    const char* start = put_letters(col, end);
    return std::string(start, size_t(end - start));
}

std::string get_letter_coordinate(uint32_t row, uint16_t col) {
    char buf[16];
    char* letters_end = buf + 4;
    const char* start = put_letters(col, letters_end);
    const char* end = std::to_chars(letters_end, buf + sizeof buf, row).ptr;
    return std::string(start, size_t(end - start));
}

std::optional<Coordinate> parse_letter_reference(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return scan_reference(upper_for_ascii_match(text), false);
    }
    return scan_reference(text, true);
}

}  // namespace vorlix
