#include "cell_text.hpp"

#include <charconv>
#include <limits>
#include <system_error>

#include "datetime_text.hpp"
#include "unicode.hpp"

namespace vorlix {

namespace {

inline bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

inline char ascii_lower(char c) noexcept {
    return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c;
}

bool equals_ignore_ascii_case(std::string_view s, std::string_view lower) noexcept {
    if (s.size() != lower.size()) return false;
    for (size_t i = 0; i < s.size(); ++i)
        if (ascii_lower(s[i]) != lower[i]) return false;
    return true;
}

// A text that could upper-case to TRUE or FALSE: every character adds at least
// one character and takes at most four bytes, so five characters at most.
inline bool may_be_bool(std::string_view text) noexcept {
    if (text.size() > 20) return false;
    const unsigned char c = static_cast<unsigned char>(text[0]);
    return c == 't' || c == 'T' || c == 'f' || c == 'F' || c >= 0x80;
}

// Can begin a date-time: white space (ASCII or a multi-byte character), a
// year sign or a digit.
inline bool may_be_datetime(unsigned char c) noexcept {
    return is_digit(char(c)) || c == '+' || c == '-' || c == ' ' ||
           (c >= 0x09 && c <= 0x0D) || c >= 0x80;
}

}  // namespace

std::optional<int32_t> parse_int32_text(std::string_view text) noexcept {
    size_t i = 0;
    bool neg = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        neg = text[i] == '-';
        ++i;
    }
    if (i == text.size()) return std::nullopt;
    int64_t v = 0;
    constexpr int64_t kLimit = int64_t(std::numeric_limits<int32_t>::max()) + 1;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (!is_digit(c)) return std::nullopt;
        // Leading zeros keep v small; past the limit only the digit check matters.
        if (v <= kLimit) v = v * 10 + (c - '0');
    }
    if (neg) v = -v;
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return int32_t(v);
}

std::optional<double> parse_float_literal(std::string_view text) noexcept {
    size_t i = 0;
    bool neg = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        neg = text[i] == '-';
        ++i;
    }
    const std::string_view body = text.substr(i);
    if (body.empty()) return std::nullopt;

    if (!is_digit(body[0]) && body[0] != '.') {
        double v;
        if (equals_ignore_ascii_case(body, "inf") || equals_ignore_ascii_case(body, "infinity"))
            v = std::numeric_limits<double>::infinity();
        else if (equals_ignore_ascii_case(body, "nan"))
            v = std::numeric_limits<double>::quiet_NaN();
        else
            return std::nullopt;
        return neg ? -v : v;
    }

    // Grammar: digits [ "." digits ] with a digit on at least one side, then
    // an optional exponent. Also note where the value's leading digit sits,
    // to tell overflow from underflow when the reader reports a range error.
    size_t j = 0;
    size_t int_digits = 0, int_significant = 0, frac_leading_zeros = 0;
    bool seen_nonzero = false;
    while (j < body.size() && is_digit(body[j])) {
        if (body[j] != '0') seen_nonzero = true;
        if (seen_nonzero) ++int_significant;
        ++int_digits;
        ++j;
    }
    size_t frac_digits = 0;
    if (j < body.size() && body[j] == '.') {
        ++j;
        while (j < body.size() && is_digit(body[j])) {
            if (!seen_nonzero) {
                if (body[j] == '0')
                    ++frac_leading_zeros;
                else
                    seen_nonzero = true;
            }
            ++frac_digits;
            ++j;
        }
    }
    if (int_digits + frac_digits == 0) return std::nullopt;
    int64_t exponent = 0;
    if (j < body.size() && (body[j] == 'e' || body[j] == 'E')) {
        ++j;
        bool exp_neg = false;
        if (j < body.size() && (body[j] == '+' || body[j] == '-')) {
            exp_neg = body[j] == '-';
            ++j;
        }
        const size_t start = j;
        while (j < body.size() && is_digit(body[j])) {
            if (exponent < 1'000'000'000) exponent = exponent * 10 + (body[j] - '0');
            ++j;
        }
        if (j == start) return std::nullopt;
        if (exp_neg) exponent = -exponent;
    }
    if (j != body.size()) return std::nullopt;

    double v = 0.0;
    const auto res = std::from_chars(body.data(), body.data() + body.size(), v,
                                     std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range) {
        // The value is 0.ddd x 10^point; at or above 1 it overflowed, below it underflowed.
        const int64_t point = int_significant > 0
                                  ? int64_t(int_significant) + exponent
                                  : exponent - int64_t(frac_leading_zeros);
        v = point >= 1 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (res.ec != std::errc() || res.ptr != body.data() + body.size()) {
        return std::nullopt;
    }
    return neg ? -v : v;
}

CellValue parse_cell_text(std::string_view text) {
    if (text.empty()) return CellValue::empty();
    if (may_be_bool(text)) {
        if (upper_equals(text, "TRUE")) return CellValue::boolean(true);
        if (upper_equals(text, "FALSE")) return CellValue::boolean(false);
    }
    const unsigned char first = static_cast<unsigned char>(text[0]);
    if (is_digit(char(first)) || first == '+' || first == '-') {
        if (auto i = parse_int32_text(text)) return CellValue::integer(*i);
    }
    if (is_digit(char(first)) || first == '+' || first == '-' || first == '.' ||
        first == 'i' || first == 'I' || first == 'n' || first == 'N') {
        if (auto d = parse_float_literal(text)) return CellValue::number(*d);
    }
    if (may_be_datetime(first)) {
        if (auto dt = parse_datetime_text(text)) return CellValue::datetime(*dt);
    }
    return CellValue::text(text);
}

}  // namespace vorlix
