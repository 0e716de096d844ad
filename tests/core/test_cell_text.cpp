// Classification of texts into typed cell values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "model/cell_text.hpp"
#include "model/value.hpp"

using namespace vorlix;

namespace {

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

struct ClassifyCase {
    std::string_view text;
    ValueKind kind;
    std::string value;  // value_text of the result
};

constexpr ValueKind E = ValueKind::Empty, T = ValueKind::Text, N = ValueKind::Number,
                    I = ValueKind::Integer, B = ValueKind::Bool, D = ValueKind::DateTime;

const ClassifyCase kCases[] = {
    {"", E, ""},
    // Booleans: any letter case, full Unicode upper-casing, nothing around them.
    {"TRUE", B, "true"},
    {"true", B, "true"},
    {"tRuE", B, "true"},
    {"false", B, "false"},
    {"False", B, "false"},
    {"FALSE", B, "false"},
    {"fal\u017fe", B, "false"},  // long s upper-cases to S
    {"true ", T, "true "},
    {" true", T, " true"},
    {"tru", T, "tru"},
    {"truee", T, "truee"},
    {"1", I, "1"},
    {"yes", T, "yes"},
    // Integers: optional single sign, ASCII digits, signed 32-bit.
    {"007", I, "7"},
    {"+5", I, "5"},
    {"-0", I, "0"},
    {"-42", I, "-42"},
    {"2147483647", I, "2147483647"},
    {"-2147483648", I, "-2147483648"},
    {"2147483648", N, "2147483648"},
    {"-2147483649", N, "-2147483649"},
    {"0000000000000000000000000012", I, "12"},
    {"99999999999999999999999999", N, "100000000000000000000000000"},
    {"+-5", T, "+-5"},
    {"--5", T, "--5"},
    {"-", T, "-"},
    {"+", T, "+"},
    {"\uff15", T, "\uff15"},  // fullwidth digit five
    {"\u0665", T, "\u0665"},  // Arabic-Indic digit five
    // Floats.
    {"1.0", N, "1"},
    {"1.50", N, "1.5"},
    {"1e3", N, "1000"},
    {"1E3", N, "1000"},
    {"1e+3", N, "1000"},
    {"2.5e-3", N, "0.0025"},
    {"-0.0", N, "-0"},
    {"+.5", N, "0.5"},
    {"5.", N, "5"},
    {".5", N, "0.5"},
    {"0.1", N, "0.1"},
    {"1e21", N, "1000000000000000000000"},
    {"1e400", N, "inf"},
    {"-1e400", N, "-inf"},
    {"0.5e309", N, "inf"},
    {"1e-400", N, "0"},
    {"-1e-400", N, "-0"},
    {"0.00000001e-320", N, "0"},
    {"123456789e-330", N, "0." + std::string(321, '0') + "124"},  // rounds to 1.24e-322
    {"1e99999999999999999999", N, "inf"},
    {"0e99999999999999999999", N, "0"},
    {"nan", N, "NaN"},
    {"NaN", N, "NaN"},
    {"-nan", N, "NaN"},
    {"Infinity", N, "inf"},
    {"-INF", N, "-inf"},
    {"+infinity", N, "inf"},
    {"infin", T, "infin"},
    {"nanx", T, "nanx"},
    {"inf ", T, "inf "},
    {".", T, "."},
    {"-.", T, "-."},
    {"1.2.3", T, "1.2.3"},
    {"1e", T, "1e"},
    {"1e+", T, "1e+"},
    {"e5", T, "e5"},
    {".e5", T, ".e5"},
    {"1e5.0", T, "1e5.0"},
    {"1d5", T, "1d5"},
    {"0x10", T, "0x10"},
    {" 5", T, " 5"},
    {"5 ", T, "5 "},
    {"1,000", T, "1,000"},
    {"1_000", T, "1_000"},
    {"nan(1)", T, "nan(1)"},
    {"=SUM(A1:A2)", T, "=SUM(A1:A2)"},
    // Date-times.
    {"2024-01-05 07:08:09", D, "2024-01-05 07:08:09"},
    {"2024-1-5 7:08:09", D, "2024-01-05 07:08:09"},
    {" 2024-01-05 07:08:09", D, "2024-01-05 07:08:09"},
    {"\u30002024-01-05 07:08:09", D, "2024-01-05 07:08:09"},
    {"2024-01-0507:08:09", D, "2024-01-05 07:08:09"},
    {"2024-02-30 00:00:00", T, "2024-02-30 00:00:00"},
    {"2024-01-05T07:08:09", T, "2024-01-05T07:08:09"},
    {"2024-01-05 07:08", T, "2024-01-05 07:08"},
    {"2024-01-05 07:08:09 ", T, "2024-01-05 07:08:09 "},
    // Plain texts, inline and heap-stored.
    {"Total", T, "Total"},
    {"a much longer text than the inline limit", T, "a much longer text than the inline limit"},
    {"\u00df", T, "\u00df"},
    {std::string_view("\0", 1), T, std::string(1, '\0')},
};

}  // namespace

TEST(CellText, ClassificationTable) {
    for (const auto& c : kCases) {
        const CellValue v = parse_cell_text(c.text);
        EXPECT_EQ(kind_name(v.kind()), std::string(kind_name(c.kind))) << "text: " << c.text;
        EXPECT_EQ(value_text(v), c.value) << "text: " << c.text;
    }
}

TEST(CellText, TextKeepsExactBytes) {
    const std::string_view odd("\xff\xfe a\tb", 6);
    const CellValue v = parse_cell_text(odd);
    ASSERT_EQ(v.kind(), ValueKind::Text);
    EXPECT_EQ(v.text(), odd);
}

TEST(CellText, Int32Reader) {
    EXPECT_EQ(parse_int32_text("0"), 0);
    EXPECT_EQ(parse_int32_text("-0"), 0);
    EXPECT_EQ(parse_int32_text("+2147483647"), 2147483647);
    EXPECT_EQ(parse_int32_text("-2147483648"), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(parse_int32_text("000000000000000000002147483647"), 2147483647);
    EXPECT_FALSE(parse_int32_text("2147483648"));
    EXPECT_FALSE(parse_int32_text("-2147483649"));
    EXPECT_FALSE(parse_int32_text("184467440737095516160"));  // wraps 64 bits to 0
    EXPECT_FALSE(parse_int32_text(""));
    EXPECT_FALSE(parse_int32_text("-"));
    EXPECT_FALSE(parse_int32_text("1a"));
    EXPECT_FALSE(parse_int32_text("1 "));
}

TEST(CellText, FloatReaderRoundsCorrectly) {
    // Halfway and near-halfway cases that a naive reader gets wrong.
    EXPECT_EQ(parse_float_literal("9007199254740993"), 9007199254740992.0);
    EXPECT_EQ(parse_float_literal("9007199254740993.0000000000000000001"), 9007199254740994.0);
    EXPECT_EQ(parse_float_literal("2.2250738585072011e-308"), 2.2250738585072011e-308);
    EXPECT_EQ(parse_float_literal("1.7976931348623158e308"), std::numeric_limits<double>::max());
    EXPECT_EQ(parse_float_literal("1.7976931348623159e308"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(parse_float_literal("2.4703282292062328e-324"), 5e-324);
    const auto zero = parse_float_literal("-2.4703282292062327e-324");
    ASSERT_TRUE(zero);
    EXPECT_EQ(*zero, 0.0);
    EXPECT_TRUE(std::signbit(*zero));
    EXPECT_TRUE(std::isnan(*parse_float_literal("nAn")));
}
