// Text forms of numbers, date-times and JSON strings.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "model/datetime_text.hpp"
#include "model/json_text.hpp"
#include "model/number_text.hpp"
#include "model/value.hpp"

using namespace vorlix;

namespace {

std::string plain(double d) {
    char buf[kValueTextBuffer];
    return std::string(buf, write_plain_number(d, buf));
}

std::string json_number(double d) {
    std::string out;
    append_json_number(d, out);
    return out;
}

std::string dt_text(const DateTime& dt, char sep = ' ') {
    char buf[64];
    return std::string(buf, write_datetime(dt, buf, sep));
}

std::string json_string(std::string_view s) {
    std::string out;
    append_json_string(s, out);
    return out;
}

bool same_bits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

double read_back(const std::string& s) {
    double v = -12345.0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    EXPECT_EQ(r.ec, std::errc()) << s;
    EXPECT_EQ(r.ptr, s.data() + s.size()) << s;
    return v;
}

struct NumberCase {
    double value;
    std::string plain;
    std::string json;
};

const NumberCase kNumberCases[] = {
    {0.0, "0", "0.0"},
    {-0.0, "-0", "-0.0"},
    {1.0, "1", "1.0"},
    {-1.5, "-1.5", "-1.5"},
    {20.0, "20", "20.0"},
    {22.5, "22.5", "22.5"},
    {12.34, "12.34", "12.34"},
    {0.1, "0.1", "0.1"},
    {0.1 + 0.2, "0.30000000000000004", "0.30000000000000004"},
    {0.05, "0.05", "0.05"},
    {0.001, "0.001", "0.001"},
    {1e-5, "0.00001", "0.00001"},
    {1.5e-5, "0.000015", "0.000015"},
    {1e-6, "0.000001", "1e-6"},
    {1.5e-7, "0.00000015", "1.5e-7"},
    {1e15, "1000000000000000", "1000000000000000.0"},
    {9999999999999998.0, "9999999999999998", "9999999999999998.0"},
    {1e16, "10000000000000000", "1e16"},
    {-1e16, "-10000000000000000", "-1e16"},
    {12345678901234567.0, "12345678901234568", "1.2345678901234568e16"},
    {1234567890123456.7, "1234567890123456.8", "1234567890123456.8"},
    {1.2345678901234568e20, "123456789012345680000", "1.2345678901234568e20"},
    {1e21, "1000000000000000000000", "1e21"},
    {2147483648.0, "2147483648", "2147483648.0"},
    {std::numeric_limits<double>::max(), "17976931348623157" + std::string(292, '0'),
     "1.7976931348623157e308"},
    {2.2250738585072014e-308, "0." + std::string(307, '0') + "22250738585072014",
     "2.2250738585072014e-308"},
    {std::numeric_limits<double>::quiet_NaN(), "NaN", "null"},
    {-std::numeric_limits<double>::quiet_NaN(), "NaN", "null"},
    {std::numeric_limits<double>::infinity(), "inf", "null"},
    {-std::numeric_limits<double>::infinity(), "-inf", "null"},
};

}  // namespace

TEST(NumberText, LayoutTable) {
    for (const auto& c : kNumberCases) {
        EXPECT_EQ(plain(c.value), c.plain) << "json " << c.json;
        EXPECT_EQ(json_number(c.value), c.json) << "plain " << c.plain;
    }
}

TEST(NumberText, SmallestDenormalIsPositional) {
    const std::string s = plain(5e-324);
    ASSERT_EQ(s.size(), 2u + 324u);  // "0." then 323 zeros and the digit 5
    EXPECT_EQ(s.substr(0, 2), "0.");
    EXPECT_EQ(s.find_first_not_of('0', 2), s.size() - 1);
    EXPECT_EQ(s.back(), '5');
    EXPECT_EQ(plain(-5e-324), "-" + s);
    EXPECT_EQ(json_number(5e-324), "5e-324");
}

TEST(NumberText, JsonAppendsToExistingText) {
    std::string out = "[1,";
    append_json_number(2.5, out);
    append_json_number(std::nan(""), out);
    EXPECT_EQ(out, "[1,2.5null");
}

// Every finite double must read back bit for bit from both forms; the plain
// form never has an exponent nor a redundant trailing zero.
TEST(NumberText, RandomBitPatternsRoundTrip) {
    std::mt19937_64 rng(20240105);
    std::uniform_int_distribution<int> digits(0, 17);
    std::uniform_int_distribution<int> scale(-30, 30);
    for (int i = 0; i < 200000; ++i) {
        double d;
        if (i % 4 == 3) {
            // Decimal-looking values exercise the positional layouts more often.
            const double mantissa = double(rng() % 1000000000000000000ull);
            d = mantissa * std::pow(10.0, double(scale(rng) - digits(rng)));
        } else {
            const uint64_t bits = rng();
            std::memcpy(&d, &bits, sizeof d);
        }
        if (!std::isfinite(d)) continue;
        const std::string p = plain(d);
        ASSERT_LT(p.size(), kValueTextBuffer);
        ASSERT_EQ(p.find_first_of("eE"), std::string::npos) << p;
        if (p.find('.') != std::string::npos) {
            ASSERT_NE(p.back(), '0') << p;
        }
        ASSERT_TRUE(same_bits(read_back(p), d)) << p;
        const std::string j = json_number(d);
        ASSERT_TRUE(same_bits(read_back(j), d)) << j;
        // The document form always marks a float: a point or an exponent.
        ASSERT_NE(j.find_first_of(".e"), std::string::npos) << j;
    }
}

struct DateTimeCase {
    DateTime dt;
    const char* text;
};

TEST(DateTimeText, WriteTable) {
    const DateTimeCase cases[] = {
        {{2024, 0, 1, 5, 7, 8, 9}, "2024-01-05 07:08:09"},
        {{2024, 250'000'000, 1, 5, 7, 8, 9}, "2024-01-05 07:08:09.250"},
        {{2024, 123'456'000, 1, 5, 7, 8, 9}, "2024-01-05 07:08:09.123456"},
        {{2024, 123'456'789, 1, 5, 7, 8, 9}, "2024-01-05 07:08:09.123456789"},
        {{2024, 1'000'000, 1, 5, 7, 8, 9}, "2024-01-05 07:08:09.001"},
        {{2024, 1'000, 1, 5, 7, 8, 9}, "2024-01-05 07:08:09.000001"},
        {{2024, 1, 1, 5, 7, 8, 9}, "2024-01-05 07:08:09.000000001"},
        {{2016, 1'000'000'000, 12, 31, 23, 59, 59}, "2016-12-31 23:59:60"},
        {{2016, 1'500'000'000, 12, 31, 23, 59, 59}, "2016-12-31 23:59:60.500"},
        {{0, 0, 1, 1, 0, 0, 0}, "0000-01-01 00:00:00"},
        {{9999, 0, 12, 31, 23, 59, 59}, "9999-12-31 23:59:59"},
        {{10000, 0, 1, 1, 0, 0, 0}, "+10000-01-01 00:00:00"},
        {{-1, 0, 1, 1, 0, 0, 0}, "-0001-01-01 00:00:00"},
        {{kMinYear, 0, 1, 1, 0, 0, 0}, "-262144-01-01 00:00:00"},
        {{kMaxYear, 0, 12, 31, 23, 59, 59}, "+262143-12-31 23:59:59"},
    };
    for (const auto& c : cases) EXPECT_EQ(dt_text(c.dt), c.text);
    EXPECT_EQ(dt_text({2024, 250'000'000, 1, 5, 7, 8, 9}, 'T'), "2024-01-05T07:08:09.250");
}

struct ParseCase {
    const char* text;
    const char* written;  // nullptr: not a date-time
};

TEST(DateTimeText, ParseTable) {
    const ParseCase cases[] = {
        {"2024-01-05 07:08:09", "2024-01-05 07:08:09"},
        {"2024-1-5 7:08:09", "2024-01-05 07:08:09"},
        {" 2024-01-05 07:08:09", "2024-01-05 07:08:09"},
        {"2024-01-0507:08:09", "2024-01-05 07:08:09"},
        {"2024-01-05 \t\n 07:08:09", "2024-01-05 07:08:09"},
        {"2024- 01- 05 07: 08: 09", "2024-01-05 07:08:09"},
        {"\u00a02024-01-05\u300007:08:09", "2024-01-05 07:08:09"},
        {"\u20282024-01-05\u205f07:08:09", "2024-01-05 07:08:09"},
        {"0-1-1 0:0:0", "0000-01-01 00:00:00"},
        {"2024-02-29 00:00:00", "2024-02-29 00:00:00"},
        {"2000-02-29 00:00:00", "2000-02-29 00:00:00"},
        {"2016-12-31 23:59:60", "2016-12-31 23:59:60"},
        {"+20245-01-01 00:00:00", "+20245-01-01 00:00:00"},
        {"-0001-01-01 00:00:00", "-0001-01-01 00:00:00"},
        {"-1-12-31 00:00:00", "-0001-12-31 00:00:00"},
        {"+0000000000000000000002024-01-05 07:08:09", "2024-01-05 07:08:09"},
        {"+262143-12-31 23:59:59", "+262143-12-31 23:59:59"},
        {"-262144-01-01 00:00:00", "-262144-01-01 00:00:00"},
        // Calendar and clock limits.
        {"2024-02-30 00:00:00", nullptr},
        {"2023-02-29 00:00:00", nullptr},
        {"1900-02-29 00:00:00", nullptr},
        {"2024-04-31 00:00:00", nullptr},
        {"2024-13-01 00:00:00", nullptr},
        {"2024-00-01 00:00:00", nullptr},
        {"2024-01-00 00:00:00", nullptr},
        {"2024-01-05 24:00:00", nullptr},
        {"2024-01-05 23:60:00", nullptr},
        {"2024-01-05 23:59:61", nullptr},
        {"+262144-01-01 00:00:00", nullptr},
        {"-262145-12-31 00:00:00", nullptr},
        {"+99999999999999999999999-01-01 00:00:00", nullptr},
        // Shape of the text.
        {"2024-01-05T07:08:09", nullptr},
        {"2024-01-05 07:08", nullptr},
        {"2024-01-05 07:08:09 ", nullptr},
        {"2024-01-05 07:08:09.5", nullptr},
        {"2024/01/05 07:08:09", nullptr},
        {"2024 -01-05 07:08:09", nullptr},
        {"2024-01-05 07 :08:09", nullptr},
        {"20245-01-01 00:00:00", nullptr},
        {"2024-001-05 00:00:00", nullptr},
        {"2024-01-05 007:08:09", nullptr},
        {"+ 2024-01-05 07:08:09", nullptr},
        {"+-01-01 00:00:00", nullptr},
        {"2024-01-05 07:08:", nullptr},
        {"", nullptr},
        {"2024", nullptr},
        // U+001C is a separator for str.isspace but not White_Space; nor is U+200B.
        {"\x1c" "2024-01-05 07:08:09", nullptr},
        {"2024-01-05\u200b07:08:09", nullptr},
        {"\xff" "2024-01-05 07:08:09", nullptr},
        {"\xe3\x80" "2024-01-05 07:08:09", nullptr},
        {"\uff12024-01-05 07:08:09", nullptr},  // fullwidth digit one
    };
    for (const auto& c : cases) {
        const auto dt = parse_datetime_text(c.text);
        if (c.written) {
            ASSERT_TRUE(dt.has_value()) << c.text;
            EXPECT_EQ(dt_text(*dt), c.written) << c.text;
        } else {
            EXPECT_FALSE(dt.has_value()) << c.text << " -> " << dt_text(*dt);
        }
    }
}

TEST(DateTimeText, LeapSecondIsSecond59PlusOneSecond) {
    const auto dt = parse_datetime_text("2016-12-31 23:59:60");
    ASSERT_TRUE(dt.has_value());
    EXPECT_EQ(dt->second, 59);
    EXPECT_EQ(dt->nanos, 1'000'000'000u);
}

TEST(DateTimeText, ValidDateLimits) {
    EXPECT_TRUE(valid_date(kMinYear, 1, 1));
    EXPECT_TRUE(valid_date(kMaxYear, 12, 31));
    EXPECT_FALSE(valid_date(kMinYear - 1, 12, 31));
    EXPECT_FALSE(valid_date(kMaxYear + 1, 1, 1));
    EXPECT_TRUE(valid_date(-4, 2, 29));  // proleptic: year -4 is a leap year
    EXPECT_FALSE(valid_date(-100, 2, 29));
    EXPECT_TRUE(valid_date(-400, 2, 29));
    EXPECT_FALSE(valid_date(2024, 1, 32));
}

TEST(DateTimeText, RandomWriteParseRoundTrip) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int32_t> year(kMinYear, kMaxYear);
    std::uniform_int_distribution<int> month(1, 12), day(1, 31), hour(0, 23), minute(0, 59),
        second(0, 59);
    int checked = 0;
    while (checked < 50000) {
        DateTime dt;
        dt.year = (checked % 2) ? year(rng) : 1900 + year(rng) % 200;
        dt.month = uint8_t(month(rng));
        dt.day = uint8_t(day(rng));
        if (!valid_date(dt.year, dt.month, dt.day)) continue;
        dt.hour = uint8_t(hour(rng));
        dt.minute = uint8_t(minute(rng));
        dt.second = uint8_t(second(rng));
        const std::string text = dt_text(dt);
        const auto back = parse_datetime_text(text);
        ASSERT_TRUE(back.has_value()) << text;
        ASSERT_EQ(*back, dt) << text;
        ++checked;
    }
}

TEST(JsonText, EscapeTable) {
    const struct {
        std::string_view in;
        const char* out;
    } cases[] = {
        {"", R"("")"},
        {"plain / text \x7f", "\"plain / text \x7f\""},
        {"a\"b\\c", R"("a\"b\\c")"},
        {"\b\t\n\f\r", R"("\b\t\n\f\r")"},
        {"\x01\x0b\x1f", R"("\u0001\u000b\u001f")"},
        {std::string_view("x\0y", 3), R"("x\u0000y")"},
        {"\u0414\u0430\u043d\u043d\u044b\u0435", "\"\u0414\u0430\u043d\u043d\u044b\u0435\""},
        {"name \"q\" \\ line\n\x01", R"("name \"q\" \\ line\n\u0001")"},
        {"\xff\xfe", "\"\xff\xfe\""},
    };
    for (const auto& c : cases) EXPECT_EQ(json_string(c.in), c.out);
}

TEST(JsonText, EveryByteAlone) {
    for (int b = 0; b < 256; ++b) {
        const char c = char(b);
        const std::string got = json_string(std::string_view(&c, 1));
        std::string body;
        switch (b) {
            case '"': body = "\\\""; break;
            case '\\': body = "\\\\"; break;
            case 0x08: body = "\\b"; break;
            case 0x09: body = "\\t"; break;
            case 0x0A: body = "\\n"; break;
            case 0x0C: body = "\\f"; break;
            case 0x0D: body = "\\r"; break;
            default: {
                if (b < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", b);
                    body = buf;
                } else {
                    body = std::string(1, c);
                }
            }
        }
        EXPECT_EQ(got, "\"" + body + "\"") << "byte " << b;
    }
}

TEST(JsonText, AppendsToExistingText) {
    std::string out = "{\"k\":";
    append_json_string("v\n", out);
    EXPECT_EQ(out, R"({"k":"v\n")");
}
