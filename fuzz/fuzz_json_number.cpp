// The document's numbers. The first eight bytes are a double's bits; any
// further bytes are read as a decimal text (strtod) for a second double, so
// the fuzzer can reach values by their digits too. For each double,
// append_json_number must give null when it is not finite, and otherwise a
// JSON number that reads back as the same double, with no more digits than
// the shortest round trip and in the layout the first fitting rule picks.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_common.hpp"
#include "model/number_text.hpp"

namespace {

// The five layouts, from the significant digits g and the point position k
// (the value is 0.g x 10^k).
std::string layout(bool negative, const std::string& g, long k) {
    const long n = long(g.size());
    std::string out = negative ? "-" : "";
    if (k >= n && k <= 16) out += g + std::string(size_t(k - n), '0') + ".0";
    else if (k > 0 && k <= 16) out += g.substr(0, size_t(k)) + "." + g.substr(size_t(k));
    else if (k > -5 && k <= 0) out += "0." + std::string(size_t(-k), '0') + g;
    else if (n == 1) out += g + "e" + std::to_string(k - 1);
    else out += g.substr(0, 1) + "." + g.substr(1) + "e" + std::to_string(k - 1);
    return out;
}

void check(double d, std::string_view input) {
    const std::string prefix = "[1,";
    std::string out = prefix;
    vorlix::append_json_number(d, out);
    FUZZ_CHECK(out.compare(0, prefix.size(), prefix) == 0, input, out);
    const std::string_view text = std::string_view(out).substr(prefix.size());

    if (!std::isfinite(d)) {
        FUZZ_CHECK(text == "null", input, text);
        return;
    }
    fuzz::JsonReader reader(text);
    const auto v = reader.read();
    FUZZ_CHECK(v && v->kind == fuzz::Json::Number, input, text);
    FUZZ_CHECK(fuzz::same_double(fuzz::read_double(text), d), input, text);

    const auto dec = fuzz::split_decimal(text);
    FUZZ_CHECK(dec.has_value(), input, text);
    FUZZ_CHECK(dec->negative == std::signbit(d), input, text);
    if (d == 0) {
        FUZZ_CHECK(text == (std::signbit(d) ? "-0.0" : "0.0"), input, text);
        return;
    }
    const fuzz::Shortest best = fuzz::shortest_by_printf(std::fabs(d));
    FUZZ_CHECK(dec->digits.size() <= best.digits.size(), input, text);
    if (dec->digits.size() == best.digits.size())
        FUZZ_CHECK(dec->digits == best.digits && dec->point == best.point, input, text);
    FUZZ_CHECK(text == layout(dec->negative, dec->digits, dec->point), input, text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    uint8_t bits[8] = {};
    std::memcpy(bits, data, size < 8 ? size : 8);
    double d;
    std::memcpy(&d, bits, 8);
    check(d, input);
    if (size > 8) {
        const std::string_view digits = input.substr(8, 64);
        if (digits.find('\0') == std::string_view::npos) check(fuzz::read_double(digits), input);
    }
    return 0;
}
