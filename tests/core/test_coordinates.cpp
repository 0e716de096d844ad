// Column letters and letter references.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "model/coordinates.hpp"

using namespace vorlix;

TEST(Coordinates, ColumnLetters) {
    const struct {
        uint16_t col;
        const char* letters;
    } cases[] = {{0, ""},     {1, "A"},     {26, "Z"},       {27, "AA"},      {52, "AZ"},
                 {53, "BA"},  {702, "ZZ"},  {703, "AAA"},    {16384, "XFD"},  {18278, "ZZZ"},
                 {18279, "AAAA"}, {65535, "CRXO"}};
    for (const auto& c : cases) EXPECT_EQ(column_number_to_letter(c.col), c.letters) << c.col;
}

TEST(Coordinates, LetterCoordinate) {
    EXPECT_EQ(get_letter_coordinate(7, 2), "B7");
    EXPECT_EQ(get_letter_coordinate(1, 27), "AA1");
    EXPECT_EQ(get_letter_coordinate(5, 0), "5");
    EXPECT_EQ(get_letter_coordinate(0, 1), "A0");
    EXPECT_EQ(get_letter_coordinate(0, 0), "0");
    EXPECT_EQ(get_letter_coordinate(4294967295u, 65535), "CRXO4294967295");
}

TEST(Coordinates, ParseTable) {
    const struct {
        std::string_view text;
        std::optional<Coordinate> want;
    } cases[] = {
        {"B7", Coordinate{7, 2}},
        {"$B$7", Coordinate{7, 2}},
        {"B$7", Coordinate{7, 2}},
        {"$B7", Coordinate{7, 2}},
        {"b7", Coordinate{7, 2}},
        {"AB12CD", Coordinate{12, 28}},
        {"B7:C9", Coordinate{7, 2}},
        {"B0", Coordinate{0, 2}},
        {"B007", Coordinate{7, 2}},
        {"ZZZ1", Coordinate{1, 18278}},
        {"xfd1048576", Coordinate{1048576, 16384}},
        {"B4294967295", Coordinate{4294967295u, 2}},
        {"B00000000000000000004294967295", Coordinate{4294967295u, 2}},
        {"A1 tail", Coordinate{1, 1}},
        // Full upper-casing: sharp s is SS, dotless i is I, the fi ligature FI.
        {"\u00df7", Coordinate{7, 19 * 26 + 19}},
        {"\u01317", Coordinate{7, 9}},
        {"\ufb01" "3", Coordinate{3, 6 * 26 + 9}},
        {"\u017f\u017f\u017f9", Coordinate{9, 19 * 676 + 19 * 26 + 19}},
        {"a\u00df1", Coordinate{1, 1 * 676 + 19 * 26 + 19}},
        {"ab\u00df1", std::nullopt},  // ABS is three letters, then S is not a digit
        {"\u0149" "1", std::nullopt},  // upper-cases to a modifier apostrophe before N
        {"\u00e97", std::nullopt},     // e acute stays a non-ASCII letter
        {"7", std::nullopt},
        {"$7", std::nullopt},
        {"$$B7", std::nullopt},
        {"B", std::nullopt},
        {"B$", std::nullopt},
        {"B$$7", std::nullopt},
        {"", std::nullopt},
        {" B7", std::nullopt},
        {"B 7", std::nullopt},
        {"AAAA1", std::nullopt},
        {"B4294967296", std::nullopt},
        {"B99999999999999999999999", std::nullopt},
        {"\xff" "B7", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto got = parse_letter_reference(c.text);
        ASSERT_EQ(got.has_value(), c.want.has_value()) << c.text;
        if (got) {
            EXPECT_EQ(got->row, c.want->row) << c.text;
            EXPECT_EQ(got->column, c.want->column) << c.text;
        }
    }
}

TEST(Coordinates, EveryThreeLetterColumnRoundTrips) {
    const uint32_t rows[] = {0, 1, 9, 10, 1048576, 4294967295u};
    for (unsigned col = 1; col <= 18278; ++col) {
        const uint32_t row = rows[col % std::size(rows)];
        const std::string ref = get_letter_coordinate(row, uint16_t(col));
        const auto back = parse_letter_reference(ref);
        ASSERT_TRUE(back.has_value()) << ref;
        ASSERT_EQ(back->column, col) << ref;
        ASSERT_EQ(back->row, row) << ref;
    }
}
