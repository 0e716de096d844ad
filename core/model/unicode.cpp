#include "unicode.hpp"

#include <algorithm>
#include <cstdint>

namespace vorlix {

namespace {

#include "unicode_tables.inc"

constexpr char32_t kReplacement = 0xFFFD;

const UpperEntry* find_upper(char32_t cp) noexcept {
    const UpperEntry* first = std::begin(kUpperTable);
    const UpperEntry* last = std::end(kUpperTable);
    const UpperEntry* it = std::lower_bound(
        first, last, cp, [](const UpperEntry& e, char32_t c) { return e.cp < c; });
    return (it != last && it->cp == cp) ? it : nullptr;
}

inline char ascii_upper(char c) noexcept {
    return (c >= 'a' && c <= 'z') ? char(c - ('a' - 'A')) : c;
}

inline bool is_continuation(unsigned char b) noexcept { return (b & 0xC0) == 0x80; }

}  // namespace

char32_t decode_utf8(std::string_view text, size_t& i) noexcept {
    const size_t n = text.size();
    const unsigned char b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    size_t len;
    char32_t cp;
    char32_t min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2; cp = b0 & 0x1F; min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3; cp = b0 & 0x0F; min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4; cp = b0 & 0x07; min = 0x10000;
    } else {
        ++i;
        return kReplacement;
    }
    if (n - i < len) {
        ++i;
        return kReplacement;
    }
    for (size_t k = 1; k < len; ++k) {
        const unsigned char b = static_cast<unsigned char>(text[i + k]);
        if (!is_continuation(b)) {
            ++i;
            return kReplacement;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not characters.
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += len;
    return cp;
}

std::string upper_for_ascii_match(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (static_cast<unsigned char>(c) < 0x80) {
            out.push_back(ascii_upper(c));
            ++i;
            continue;
        }
        const size_t start = i;
        const char32_t cp = decode_utf8(text, i);
        const UpperEntry* e = cp == kReplacement ? nullptr : find_upper(cp);
        if (e)
            out.append(e->utf8, e->len);
        else
            out.append(text.substr(start, i - start));
    }
    return out;
}

bool upper_equals(std::string_view text, std::string_view upper) noexcept {
    size_t j = 0;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (static_cast<unsigned char>(c) < 0x80) {
            if (j >= upper.size() || ascii_upper(c) != upper[j]) return false;
            ++i;
            ++j;
            continue;
        }
        const char32_t cp = decode_utf8(text, i);
        const UpperEntry* e = cp == kReplacement ? nullptr : find_upper(cp);
        // Without a table entry the upper case holds no ASCII character.
        if (!e || upper.size() - j < e->len) return false;
        if (upper.compare(j, e->len, std::string_view(e->utf8, e->len)) != 0) return false;
        j += e->len;
    }
    return j == upper.size();
}

bool is_white_space(char32_t c) noexcept {
    if (c < 0x80) return (c >= 0x09 && c <= 0x0D) || c == 0x20;
    switch (c) {
        case 0x0085: case 0x00A0: case 0x1680:
        case 0x2028: case 0x2029: case 0x202F: case 0x205F: case 0x3000:
            return true;
        default:
            return c >= 0x2000 && c <= 0x200A;
    }
}

std::string_view trim_white_space(std::string_view text) noexcept {
    size_t begin = 0;
    while (begin < text.size()) {
        size_t next = begin;
        if (!is_white_space(decode_utf8(text, next))) break;
        begin = next;
    }
    size_t end = text.size();
    while (end > begin) {
        const unsigned char last = static_cast<unsigned char>(text[end - 1]);
        if (last < 0x80) {
            if (!is_white_space(last)) break;
            --end;
            continue;
        }
        // Step back to the lead byte (at most three continuation bytes) and
        // accept only a character that ends exactly here.
        size_t start = end - 1;
        while (start > begin && end - start < 4 &&
               is_continuation(static_cast<unsigned char>(text[start])))
            --start;
        size_t next = start;
        const char32_t cp = decode_utf8(text, next);
        if (next != end || !is_white_space(cp)) break;
        end = start;
    }
    return text.substr(begin, end - begin);
}

}  // namespace vorlix
