#include "datetime_text.hpp"

#include <cstdint>

#include "unicode.hpp"

namespace vorlix {

namespace {

constexpr uint32_t kNanosPerSecond = 1'000'000'000;

inline char* put2(char* out, unsigned v) noexcept {
    v %= 100;
    out[0] = char('0' + v / 10);
    out[1] = char('0' + v % 10);
    return out + 2;
}

inline char* put_fixed(char* out, uint32_t v, int width) noexcept {
    for (int i = width - 1; i >= 0; --i) {
        out[i] = char('0' + v % 10);
        v /= 10;
    }
    return out + width;
}

char* put_year(char* out, int32_t year) noexcept {
    if (year >= 0 && year <= 9999) return put_fixed(out, uint32_t(year), 4);
    *out++ = year < 0 ? '-' : '+';
    const uint32_t mag = year < 0 ? uint32_t(0) - uint32_t(year) : uint32_t(year);
    int width = 4;
    for (uint32_t t = mag / 10000; t != 0; t /= 10) ++width;
    return put_fixed(out, mag, width);
}

// The reader of the "%Y-%m-%d %H:%M:%S" pattern.
class Reader {
public:
    explicit Reader(std::string_view s) noexcept : s_(s) {}

    void skip_white_space() noexcept {
        while (i_ < s_.size()) {
            const unsigned char c = static_cast<unsigned char>(s_[i_]);
            if (c < 0x80) {
                if (c == ' ' || (c >= 0x09 && c <= 0x0D)) {
                    ++i_;
                    continue;
                }
                return;
            }
            size_t next = i_;
            if (!is_white_space(decode_utf8(s_, next))) return;
            i_ = next;
        }
    }

    bool literal(char c) noexcept {
        if (i_ < s_.size() && s_[i_] == c) {
            ++i_;
            return true;
        }
        return false;
    }

    // One to max_digits ASCII digits, after optional white space.
    bool number(int max_digits, unsigned& value) noexcept {
        skip_white_space();
        unsigned v = 0;
        int n = 0;
        while (n < max_digits && i_ < s_.size() && is_digit(s_[i_])) {
            v = v * 10 + unsigned(s_[i_++] - '0');
            ++n;
        }
        value = v;
        return n > 0;
    }

    // One to four digits, or a sign followed by any number of digits.
    bool year(int32_t& value) noexcept {
        skip_white_space();
        if (i_ < s_.size() && (s_[i_] == '+' || s_[i_] == '-')) {
            const bool neg = s_[i_++] == '-';
            int64_t v = 0;
            size_t n = 0;
            while (i_ < s_.size() && is_digit(s_[i_])) {
                // Saturate: anything this large is out of range anyway.
                if (v <= int64_t(1) << 40) v = v * 10 + (s_[i_] - '0');
                ++i_;
                ++n;
            }
            if (n == 0) return false;
            if (neg) v = -v;
            if (v < kMinYear || v > kMaxYear) return false;
            value = int32_t(v);
            return true;
        }
        unsigned v;
        if (!number(4, v)) return false;
        value = int32_t(v);
        return true;
    }

    bool at_end() const noexcept { return i_ == s_.size(); }

private:
    static bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

    std::string_view s_;
    size_t i_ = 0;
};

}  // namespace

bool valid_date(int32_t year, unsigned month, unsigned day) noexcept {
    if (year < kMinYear || year > kMaxYear || month < 1 || month > 12 || day < 1) return false;
    static constexpr uint8_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    unsigned last = kDays[month - 1];
    if (month == 2) {
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        if (leap) last = 29;
    }
    return day <= last;
}

size_t write_datetime(const DateTime& dt, char* out, char sep) noexcept {
    char* p = put_year(out, dt.year);
    *p++ = '-';
    p = put2(p, dt.month);
    *p++ = '-';
    p = put2(p, dt.day);
    *p++ = sep;
    p = put2(p, dt.hour);
    *p++ = ':';
    p = put2(p, dt.minute);
    *p++ = ':';
    unsigned second = dt.second;
    uint32_t frac = dt.nanos;
    if (frac >= kNanosPerSecond) {
        // Leap second: the extra second shows as second 60.
        ++second;
        frac -= kNanosPerSecond;
        if (frac >= kNanosPerSecond) frac = kNanosPerSecond - 1;
    }
    p = put2(p, second);
    if (frac != 0) {
        *p++ = '.';
        if (frac % 1'000'000 == 0)
            p = put_fixed(p, frac / 1'000'000, 3);
        else if (frac % 1'000 == 0)
            p = put_fixed(p, frac / 1'000, 6);
        else
            p = put_fixed(p, frac, 9);
    }
    return size_t(p - out);
}

std::optional<DateTime> parse_datetime_text(std::string_view text) noexcept {
    Reader r(text);
    int32_t year;
    unsigned month, day, hour, minute, second;
    if (!r.year(year) || !r.literal('-')) return std::nullopt;
    if (!r.number(2, month) || !r.literal('-')) return std::nullopt;
    if (!r.number(2, day)) return std::nullopt;
    r.skip_white_space();  // the pattern's space: any run of white space, or none
    if (!r.number(2, hour) || !r.literal(':')) return std::nullopt;
    if (!r.number(2, minute) || !r.literal(':')) return std::nullopt;
    if (!r.number(2, second) || !r.at_end()) return std::nullopt;
    if (!valid_date(year, month, day) || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    DateTime dt;
    dt.year = year;
    dt.month = uint8_t(month);
    dt.day = uint8_t(day);
    dt.hour = uint8_t(hour);
    dt.minute = uint8_t(minute);
    if (second == 60) {
        dt.second = 59;
        dt.nanos = kNanosPerSecond;
    } else {
        dt.second = uint8_t(second);
    }
    return dt;
}

}  // namespace vorlix
