// The text classifier: parse_cell_text must never crash, must agree with a
// reference classifier written here from the acceptance rules (TRUE/FALSE,
// 32-bit integer, float literal, date-time, else text), must agree with its
// own readers parse_int32_text / parse_float_literal / parse_datetime_text,
// and every value's text form must read back as the same value.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_common.hpp"
#include "ref_datetime.hpp"
#include "model/cell_text.hpp"
#include "model/datetime_text.hpp"
#include "model/number_text.hpp"
#include "model/value.hpp"

using namespace vorlix;

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
char upper_ascii(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }

// Upper-cases for the TRUE/FALSE test. The only non-ASCII character whose
// full upper case lies within the letters of TRUE and FALSE is U+017F (long
// s, upper case "S"); any other non-ASCII character rules the words out.
std::optional<bool> ref_bool(std::string_view s) {
    std::string up;
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            up += upper_ascii(char(c));
        } else if (c == 0xC5 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0xBF) {
            up += 'S';
            ++i;
        } else {
            return std::nullopt;
        }
    }
    if (up == "TRUE") return true;
    if (up == "FALSE") return false;
    return std::nullopt;
}

std::optional<int32_t> ref_int32(std::string_view s) {
    size_t i = 0;
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
    if (i == s.size()) return std::nullopt;
    for (size_t j = i; j < s.size(); ++j)
        if (!is_digit(s[j])) return std::nullopt;
    while (i + 1 < s.size() && s[i] == '0') ++i;
    const std::string_view mag = s.substr(i);
    // Compare as decimal strings: no arithmetic that could itself overflow.
    const std::string_view limit = neg ? "2147483648" : "2147483647";
    if (mag.size() > limit.size() || (mag.size() == limit.size() && mag > limit)) return std::nullopt;
    const long long v = std::stoll(std::string(mag));
    return int32_t(neg ? -v : v);
}

bool ieq(std::string_view a, std::string_view lower) {
    if (a.size() != lower.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if ((a[i] >= 'A' && a[i] <= 'Z' ? char(a[i] + 32) : a[i]) != lower[i]) return false;
    return true;
}

// The float-literal grammar, then glibc's correctly rounded strtod for the value.
std::optional<double> ref_float(std::string_view s) {
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    const std::string_view body = s.substr(i);
    if (body.empty()) return std::nullopt;
    if (!(ieq(body, "inf") || ieq(body, "infinity") || ieq(body, "nan"))) {
        size_t j = 0, digits = 0;
        while (j < body.size() && is_digit(body[j])) ++j, ++digits;
        if (j < body.size() && body[j] == '.') {
            ++j;
            while (j < body.size() && is_digit(body[j])) ++j, ++digits;
        }
        if (digits == 0) return std::nullopt;
        if (j < body.size() && (body[j] == 'e' || body[j] == 'E')) {
            ++j;
            if (j < body.size() && (body[j] == '+' || body[j] == '-')) ++j;
            const size_t es = j;
            while (j < body.size() && is_digit(body[j])) ++j;
            if (j == es) return std::nullopt;
        }
        if (j != body.size()) return std::nullopt;
    }
    return fuzz::read_double(s);
}

// The plain positional text of a double: exact layout, reads back as the same
// double, and uses no more digits than the shortest round trip.
void check_plain_number(double d, std::string_view text, std::string_view input) {
    if (std::isnan(d)) {
        FUZZ_CHECK(text == "NaN", input, text);
        return;
    }
    if (std::isinf(d)) {
        FUZZ_CHECK(text == (d < 0 ? "-inf" : "inf"), input, text);
        return;
    }
    FUZZ_CHECK(fuzz::same_double(fuzz::read_double(text), d), input, text);
    const auto dec = fuzz::split_decimal(text);
    FUZZ_CHECK(dec && !dec->has_exponent, input, text);
    FUZZ_CHECK(dec->negative == std::signbit(d), input, text);
    if (d == 0) {
        FUZZ_CHECK(text == (std::signbit(d) ? "-0" : "0"), input, text);
        return;
    }
    const fuzz::Shortest best = fuzz::shortest_by_printf(std::fabs(d));
    FUZZ_CHECK(dec->digits.size() <= best.digits.size(), input, text);
    if (dec->digits.size() == best.digits.size())
        FUZZ_CHECK(dec->digits == best.digits && dec->point == best.point, input, text);
    // Rebuild the layout from the digits: "0.00ddd", "ddd000" or "dd.ddd".
    const std::string& g = dec->digits;
    const long n = long(g.size()), k = dec->point;
    std::string want = dec->negative ? "-" : "";
    if (k <= 0) want += "0." + std::string(size_t(-k), '0') + g;
    else if (k >= n) want += g + std::string(size_t(k - n), '0');
    else want += g.substr(0, size_t(k)) + "." + g.substr(size_t(k));
    FUZZ_CHECK(text == want, input, text);
}

const char* kind_name(ValueKind k) {
    switch (k) {
        case ValueKind::Empty: return "Empty";
        case ValueKind::Text: return "Text";
        case ValueKind::Number: return "Number";
        case ValueKind::Integer: return "Integer";
        case ValueKind::Bool: return "Bool";
        case ValueKind::DateTime: return "DateTime";
    }
    return "?";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const CellValue v = parse_cell_text(text);

    char buf[kValueTextBuffer];
    const std::string_view shown = value_text_view(v, buf);
    FUZZ_CHECK(v.kind() == ValueKind::Text || shown.size() < kValueTextBuffer, text, shown);

    // The core's own readers decide the kind in this order.
    const auto core_int = parse_int32_text(text);
    const auto core_float = parse_float_literal(text);
    const auto core_dt = parse_datetime_text(text);

    // The reference classifier.
    ValueKind want = ValueKind::Text;
    const auto rb = ref_bool(text);
    const auto ri = ref_int32(text);
    const auto rf = ref_float(text);
    const auto rd = fuzz::ref_datetime(text);
    if (text.empty()) want = ValueKind::Empty;
    else if (rb) want = ValueKind::Bool;
    else if (ri) want = ValueKind::Integer;
    else if (rf) want = ValueKind::Number;
    else if (rd) want = ValueKind::DateTime;
    FUZZ_CHECK(v.kind() == want, text, kind_name(v.kind()));

    // Each reader against its reference, whatever the first test decided.
    FUZZ_CHECK(core_int == ri, text, "parse_int32_text");
    FUZZ_CHECK(core_float.has_value() == rf.has_value(), text, "parse_float_literal accepts");
    if (core_float) FUZZ_CHECK(fuzz::same_double(*core_float, *rf) || (std::isnan(*core_float) && std::isnan(*rf)), text, "parse_float_literal value");
    FUZZ_CHECK(core_dt.has_value() == rd.has_value(), text, "parse_datetime_text accepts");
    if (core_dt) FUZZ_CHECK(*core_dt == *rd, text, "parse_datetime_text value");

    switch (v.kind()) {
        case ValueKind::Empty:
            FUZZ_CHECK(shown.empty(), text, shown);
            break;
        case ValueKind::Bool:
            FUZZ_CHECK(v.boolean() == *rb, text, shown);
            FUZZ_CHECK(shown == (*rb ? "true" : "false"), text, shown);
            break;
        case ValueKind::Integer:
            FUZZ_CHECK(v.integer() == *core_int, text, shown);
            FUZZ_CHECK(shown == std::to_string(*ri), text, shown);
            break;
        case ValueKind::Number: {
            FUZZ_CHECK(!core_int, text, shown);
            FUZZ_CHECK(core_float && fuzz::same_double(v.number(), *core_float), text, shown);
            char nb[kValueTextBuffer];
            const size_t n = write_plain_number(v.number(), nb);
            FUZZ_CHECK(n < kValueTextBuffer, text, shown);
            FUZZ_CHECK(std::string_view(nb, n) == shown, text, shown);
            check_plain_number(v.number(), shown, text);
            break;
        }
        case ValueKind::DateTime: {
            FUZZ_CHECK(!core_int && !core_float, text, shown);
            const DateTime dt = v.datetime();
            FUZZ_CHECK(core_dt && dt == *core_dt, text, shown);
            FUZZ_CHECK(dt.nanos % 1'000'000'000u == 0, text, shown);
            char db[64];
            const size_t n = write_datetime(dt, db);
            const auto back = parse_datetime_text(std::string_view(db, n));
            FUZZ_CHECK(back && *back == dt, text, std::string_view(db, n));
            // Writing is canonical: the written text classifies to the same value.
            FUZZ_CHECK(parse_cell_text(std::string_view(db, n)) == v, text, std::string_view(db, n));
            break;
        }
        case ValueKind::Text:
            FUZZ_CHECK(!core_int && !core_float && !core_dt, text, shown);
            FUZZ_CHECK(v.text() == text, text, v.text());
            FUZZ_CHECK(shown == text, text, shown);
            break;
    }
    // A copy carries the same value (texts of 15 bytes and more live on the heap).
    const CellValue copy = v;
    FUZZ_CHECK(copy == v, text, shown);
    return 0;
}
