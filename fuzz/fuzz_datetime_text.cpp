// The date-time reader and writer. The first byte picks the mode:
//  even: the rest is a text for parse_datetime_text, which must agree with
//        the reference reader; an accepted value must be a real date and
//        time, and writing it and reading it back must give the same value;
//  odd:  the rest builds a valid DateTime (any year of the kind's range, any
//        fraction, leap seconds included); write_datetime must give exactly
//        the documented text, and read back where the text has no fraction.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_common.hpp"
#include "ref_datetime.hpp"
#include "model/datetime_text.hpp"
#include "model/value.hpp"

using namespace vorlix;

namespace {

unsigned days_in(long y, unsigned m) {
    static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && fuzz::leap(y) ? 29u : days[m - 1];
}

std::string show(const DateTime& dt) {
    char b[96];
    std::snprintf(b, sizeof b, "y=%d m=%u d=%u %u:%u:%u n=%u", dt.year, dt.month, dt.day, dt.hour,
                  dt.minute, dt.second, dt.nanos);
    return b;
}

// The documented text of a DateTime, written independently of the core.
std::string expected_text(const DateTime& dt, char sep) {
    char b[96];
    std::string year;
    if (dt.year >= 0 && dt.year <= 9999) {
        std::snprintf(b, sizeof b, "%04d", dt.year);
    } else {
        std::snprintf(b, sizeof b, "%c%04lld", dt.year < 0 ? '-' : '+', std::llabs((long long)dt.year));
    }
    year = b;
    unsigned second = dt.second;
    uint32_t frac = dt.nanos;
    if (frac >= 1'000'000'000u) {
        second += 1;
        frac -= 1'000'000'000u;
    }
    std::snprintf(b, sizeof b, "-%02u-%02u%c%02u:%02u:%02u", dt.month, dt.day, sep, dt.hour, dt.minute, second);
    std::string out = year + b;
    if (frac != 0) {
        if (frac % 1'000'000 == 0) std::snprintf(b, sizeof b, ".%03u", frac / 1'000'000);
        else if (frac % 1'000 == 0) std::snprintf(b, sizeof b, ".%06u", frac / 1'000);
        else std::snprintf(b, sizeof b, ".%09u", frac);
        out += b;
    }
    return out;
}

void check_read(std::string_view text) {
    const auto got = parse_datetime_text(text);
    const auto want = fuzz::ref_datetime(text);
    FUZZ_CHECK(got.has_value() == want.has_value(), text, got ? show(*got) : "rejected");
    if (!got) return;
    FUZZ_CHECK(*got == *want, text, show(*got));
    const DateTime& dt = *got;
    const bool date_ok = dt.year >= kMinYear && dt.year <= kMaxYear && dt.month >= 1 && dt.month <= 12 &&
                         dt.day >= 1 && dt.day <= days_in(dt.year, dt.month);
    FUZZ_CHECK(date_ok, text, show(dt));
    FUZZ_CHECK(valid_date(dt.year, dt.month, dt.day), text, show(dt));
    FUZZ_CHECK(dt.hour <= 23 && dt.minute <= 59 && dt.second <= 59, text, show(dt));
    // Only whole seconds are read; second 60 becomes 59 plus one second.
    FUZZ_CHECK(dt.nanos == 0 || (dt.nanos == 1'000'000'000u && dt.second == 59), text, show(dt));
    char buf[64];
    const size_t n = write_datetime(dt, buf);
    const std::string_view written(buf, n);
    FUZZ_CHECK(written == expected_text(dt, ' '), text, written);
    const auto back = parse_datetime_text(written);
    FUZZ_CHECK(back && *back == dt, text, written);
}

void check_write(const uint8_t* p, size_t n, std::string_view input) {
    uint8_t b[12] = {};
    std::memcpy(b, p, n < sizeof b ? n : sizeof b);
    uint32_t y, nanos;
    std::memcpy(&y, b, 4);
    std::memcpy(&nanos, b + 4, 4);
    DateTime dt;
    // Spread the years over the whole range, with the edges and 0..9999 common.
    const long span = long(kMaxYear) - long(kMinYear) + 1;
    switch (b[8] & 3) {
        case 0: dt.year = int32_t(long(y % uint32_t(span)) + kMinYear); break;
        case 1: dt.year = int32_t(y % 10000); break;
        case 2: dt.year = (y & 1) ? kMaxYear - int32_t(y % 16 >> 1) : kMinYear + int32_t(y % 16 >> 1); break;
        default: dt.year = int32_t(y % 20001) - 10000; break;
    }
    dt.month = uint8_t(1 + b[9] % 12);
    dt.day = uint8_t(1 + b[10] % days_in(dt.year, dt.month));
    dt.hour = uint8_t(b[11] % 24);
    dt.minute = uint8_t((b[8] >> 2) % 60);
    dt.second = uint8_t((y >> 8) % 60);
    switch ((b[8] >> 2) & 3) {
        case 0: dt.nanos = 0; break;
        case 1: dt.nanos = nanos % 1000 * 1'000'000u; break;
        case 2: dt.nanos = nanos % 1'000'000 * 1000u; break;
        default: dt.nanos = nanos % 2'000'000'000u; break;
    }
    // A leap second only ever follows second 59.
    if (dt.nanos >= 1'000'000'000u) dt.second = 59;
    FUZZ_CHECK(valid_date(dt.year, dt.month, dt.day), input, show(dt));

    for (const char sep : {' ', 'T'}) {
        char buf[64];
        const size_t len = write_datetime(dt, buf, sep);
        const std::string_view written(buf, len);
        FUZZ_CHECK(len < sizeof buf, input, written);
        FUZZ_CHECK(written == expected_text(dt, sep), input, written);
        if (sep == ' ' && dt.nanos % 1'000'000'000u == 0) {
            const auto back = parse_datetime_text(written);
            FUZZ_CHECK(back && *back == dt, input, written);
        }
    }
    // A value stored in a cell comes back unchanged.
    FUZZ_CHECK(CellValue::datetime(dt).datetime() == dt, input, show(dt));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if ((data[0] & 1) == 0) check_read(input.substr(1));
    else check_write(data + 1, size - 1, input);
    return 0;
}
