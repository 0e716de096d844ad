#include "number_text.hpp"

#include <charconv>
#include <cmath>
#include <cstring>

namespace vorlix {

namespace {

// Shortest round-trip digits of a finite, non-negative double: the value is
// 0.digits times 10^point.
struct Digits {
    char digits[20];
    int count;
    int point;
};

Digits shortest_digits(double d) noexcept {
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific);
    const char* p = buf;
    const char* const end = res.ptr;
    Digits r{};
    // "d[.ddd]e[+-]XX"
    r.digits[r.count++] = *p++;
    if (*p == '.') {
        ++p;
        while (*p != 'e') r.digits[r.count++] = *p++;
    }
    ++p;  // 'e'
    const bool neg = *p == '-';
    ++p;
    int exp = 0;
    while (p < end) exp = exp * 10 + (*p++ - '0');
    r.point = (neg ? -exp : exp) + 1;
    return r;
}

inline char* put(char* out, const char* s, size_t n) noexcept {
    std::memcpy(out, s, n);
    return out + n;
}

inline char* put_zeros(char* out, int n) noexcept {
    if (n > 0) {
        std::memset(out, '0', size_t(n));
        out += n;
    }
    return out;
}

// Exponent of the layouts with "e": sign only when negative.
inline char* put_exponent(char* out, int e) noexcept {
    *out++ = 'e';
    return std::to_chars(out, out + 8, e).ptr;
}

}  // namespace

size_t write_plain_number(double d, char* out) noexcept {
    char* p = out;
    if (std::isnan(d)) return size_t(put(p, "NaN", 3) - out);
    if (std::signbit(d)) {
        *p++ = '-';
        d = -d;
    }
    if (std::isinf(d)) return size_t(put(p, "inf", 3) - out);
    const Digits g = shortest_digits(d);
    if (g.point <= 0) {
        p = put(p, "0.", 2);
        p = put_zeros(p, -g.point);
        p = put(p, g.digits, size_t(g.count));
    } else if (g.point >= g.count) {
        p = put(p, g.digits, size_t(g.count));
        p = put_zeros(p, g.point - g.count);
    } else {
        p = put(p, g.digits, size_t(g.point));
        *p++ = '.';
        p = put(p, g.digits + g.point, size_t(g.count - g.point));
    }
    return size_t(p - out);
}

void append_json_number(double d, std::string& out) {
    if (!std::isfinite(d)) {
        out.append("null", 4);
        return;
    }
    // Longest layout: sign, 17 digits, 16 zeros or "0." and 4 zeros, ".0", exponent.
    char buf[48];
    char* p = buf;
    if (std::signbit(d)) {
        *p++ = '-';
        d = -d;
    }
    const Digits g = shortest_digits(d);
    const int n = g.count;
    const int k = g.point;
    if (k >= n && k <= 16) {
        p = put(p, g.digits, size_t(n));
        p = put_zeros(p, k - n);
        p = put(p, ".0", 2);
    } else if (k > 0 && k <= 16) {
        p = put(p, g.digits, size_t(k));
        *p++ = '.';
        p = put(p, g.digits + k, size_t(n - k));
    } else if (k > -5 && k <= 0) {
        p = put(p, "0.", 2);
        p = put_zeros(p, -k);
        p = put(p, g.digits, size_t(n));
    } else if (n == 1) {
        *p++ = g.digits[0];
        p = put_exponent(p, k - 1);
    } else {
        *p++ = g.digits[0];
        *p++ = '.';
        p = put(p, g.digits + 1, size_t(n - 1));
        p = put_exponent(p, k - 1);
    }
    out.append(buf, size_t(p - buf));
}

}  // namespace vorlix
