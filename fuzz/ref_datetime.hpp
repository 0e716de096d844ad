// A reference reader of the "%Y-%m-%d %H:%M:%S" pattern, written from the
// acceptance rules alone: one or two digits for month, day, hour, minute and
// second; one to four year digits, or any number after a sign; any Unicode
// white space before each number and in place of the single space.
#pragma once

#include <optional>
#include <string_view>

#include "fuzz_common.hpp"
#include "model/value.hpp"

namespace fuzz {

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

inline bool leap(long y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

inline bool ref_valid_date(long y, unsigned m, unsigned d) {
    if (y < -262144 || y > 262143 || m < 1 || m > 12 || d < 1) return false;
    static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return d <= (m == 2 && leap(y) ? 29u : days[m - 1]);
}

// The "%Y-%m-%d %H:%M:%S" reader with Unicode white space, decoding UTF-8 strictly.
struct RefDateReader {
    std::string_view s;
    size_t i = 0;

    void ws() {
        while (i < s.size()) {
            size_t j = i;
            const long cp = next_code_point(s, j);
            if (cp < 0 || !unicode_white_space(cp)) return;
            i = j;
        }
    }
    bool lit(char c) {
        if (i < s.size() && s[i] == c) { ++i; return true; }
        return false;
    }
    bool num(int max, unsigned& v) {
        ws();
        v = 0;
        int n = 0;
        while (n < max && i < s.size() && is_digit(s[i])) v = v * 10 + unsigned(s[i++] - '0'), ++n;
        return n > 0;
    }
    bool year(long& v) {
        ws();
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
            const bool neg = s[i++] == '-';
            const size_t start = i;
            v = 0;
            while (i < s.size() && is_digit(s[i])) {
                if (v < 10'000'000) v = v * 10 + (s[i] - '0');
                ++i;
            }
            if (i == start) return false;
            if (neg) v = -v;
            return true;
        }
        unsigned u;
        if (!num(4, u)) return false;
        v = long(u);
        return true;
    }
};

inline std::optional<vorlix::DateTime> ref_datetime(std::string_view s) {
    RefDateReader r{s};
    long y;
    unsigned mo, d, h, mi, se;
    if (!r.year(y) || !r.lit('-') || !r.num(2, mo) || !r.lit('-') || !r.num(2, d)) return std::nullopt;
    r.ws();
    if (!r.num(2, h) || !r.lit(':') || !r.num(2, mi) || !r.lit(':') || !r.num(2, se)) return std::nullopt;
    if (r.i != s.size()) return std::nullopt;
    if (!ref_valid_date(y, mo, d) || h > 23 || mi > 59 || se > 60) return std::nullopt;
    vorlix::DateTime dt;
    dt.year = int32_t(y);
    dt.month = uint8_t(mo);
    dt.day = uint8_t(d);
    dt.hour = uint8_t(h);
    dt.minute = uint8_t(mi);
    dt.second = uint8_t(se == 60 ? 59 : se);
    dt.nanos = se == 60 ? 1'000'000'000u : 0u;
    return dt;
}

}  // namespace fuzz
