// Cell searches: the literal and trimmed tests, the scans over a search
// sequence, and the pool primitives they run on.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include <oneapi/tbb/global_control.h>

#include "model/cell_text.hpp"
#include "model/records.hpp"
#include "platform/pool.hpp"
#include "search/cell_search.hpp"
#include "search/kind_filter.hpp"
#include "search/literal.hpp"
#include "search/trimmed.hpp"

using namespace vorlix;
using namespace vorlix::search;

namespace {

struct CellSpec {
    uint32_t row;
    uint16_t col;
    std::string text;
};

// Values are classified as Sheet.cell would do it, so "TRUE" reads "true".
Ref<Sheet> sheet_of(const std::vector<CellSpec>& specs) {
    Ref<Sheet> s = Ref<Sheet>::make("S", "visible");
    ExclusiveGuard g(s->lock);
    for (const CellSpec& c : specs) {
        CellValue v = parse_cell_text(c.text);
        const DataType t = data_type_of(v.kind());
        s->insert_cell(Ref<Cell>::make(c.row, c.col, std::move(v), t));
    }
    return s;
}

std::vector<Cell*> ordered(const Sheet& s) {
    SharedGuard g(s.lock);
    return s.ordered_cells();
}

// "B2" for column 2, row 2; "0:0" style outside A..Z.
std::string ref(const Cell* c) {
    if (c == nullptr) return "none";
    if (c->column >= 1 && c->column <= 26) return char('A' + c->column - 1) + std::to_string(c->row);
    return std::to_string(c->row) + ":" + std::to_string(c->column);
}

std::vector<std::string> refs(const std::vector<Cell*>& cells) {
    std::vector<std::string> out;
    for (const Cell* c : cells) out.push_back(ref(c));
    return out;
}

using Refs = std::vector<std::string>;

// Runs f once with a single worker and once with the pool's default.
template <class F>
void with_each_worker_count(F&& f) {
    {
        SCOPED_TRACE("one worker");
        oneapi::tbb::global_control one(oneapi::tbb::global_control::max_allowed_parallelism, 1);
        f();
    }
    {
        SCOPED_TRACE("default workers");
        f();
    }
}

// ---------------------------------------------------------------------------

struct LiteralCase {
    std::string needle, text;
    bool found;
};

TEST(SearchLiteral, ContainsExactBytes) {
    const std::string long_text = std::string(3000, 'a') + "needle" + std::string(100, 'b');
    const LiteralCase cases[] = {
        {"a.c", "abc", false},
        {"a.c", "xa.cy", true},
        {"(1)", "Total (1)", true},
        {"[0-9]", "7", false},
        {"[0-9]", "x[0-9]", true},
        {"1.5", "105", false},
        {"1.5", "x1.5y", true},
        {"TRUE", "true", false},
        {"ab", "xaby", true},
        {"", "", true},
        {"", "anything", true},
        {"abc", "ab", false},
        {"aab", "aaab", true},    // a false start must not skip the real one
        {"aab", "aaaa", false},
        {"bab", "bbab", true},
        {"bab", "bbbbbbbbab", true},
        {"z", "abcz", true},
        {"caf\u00e9", "un caf\u00e9 noir", true},
        {"\u00e9", "e\u0301", false},  // no normalisation
        {"needle", long_text, true},
        {"needlf", long_text, false},
        {"ab", long_text.substr(0, 2000) + "ab", true},
    };
    for (const LiteralCase& c : cases) {
        EXPECT_EQ(LiteralMatcher(c.needle).found_in(c.text), c.found)
            << "needle '" << c.needle << "' text '" << c.text.substr(0, 40) << "'";
    }
}

struct TrimmedCase {
    std::string a, b;
    bool equal;
};

TEST(SearchTrimmed, WhiteSpaceAtBothEnds) {
    const TrimmedCase cases[] = {
        {" Total ", "Total", true},
        {" Total ", "Total  ", true},
        {" Total ", " Total", true},
        {" Total ", "total", false},
        {" Total ", "Totals", false},
        {"a b", "ab", false},                          // inner space counts
        {"\u3000ab\u00a0", "ab", true},                // ideographic, no-break space
        {"\t\n\r\v\f ab\u2028", "ab", true},
        {"\u0085ab\u2003", "ab", true},                // next line, em space
        {"\u200bab", "ab", false},                     // zero-width space is not White_Space
        {"\ufeffab", "ab", false},
        {"", " \t\u3000", true},
        {"ab", "ab\u3000x", false},
    };
    for (const TrimmedCase& c : cases) {
        EXPECT_EQ(trimmed_equals(c.a, c.b), c.equal) << "'" << c.a << "' vs '" << c.b << "'";
        EXPECT_EQ(TrimmedMatcher(c.a).equals(c.b), c.equal) << "'" << c.a << "' vs '" << c.b << "'";
        EXPECT_EQ(TrimmedMatcher(c.b).equals(c.a), c.equal) << "'" << c.b << "' vs '" << c.a << "'";
    }
}

// Searches skip kinds whose text cannot hold a needle's bytes; that is only
// sound while every text a kind writes stays within its alphabet.
TEST(SearchKinds, ValueTextsStayWithinTheirAlphabets) {
    std::mt19937_64 rng(5);
    std::vector<CellValue> values = {CellValue::integer(INT32_MIN), CellValue::integer(INT32_MAX),
                                     CellValue::boolean(true), CellValue::boolean(false)};
    for (double d : {0.0, -0.0, 1e21, 1e-7, 5e-324, 1.7976931348623157e308, -1.5,
                     std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::quiet_NaN()})
        values.push_back(CellValue::number(d));
    for (int i = 0; i < 20000; ++i) {
        const uint64_t bits = rng();
        double d;
        std::memcpy(&d, &bits, sizeof d);  // every exponent, denormals, NaNs
        values.push_back(CellValue::number(d));
        values.push_back(CellValue::integer(int32_t(uint32_t(bits))));
        DateTime dt;
        dt.year = kMinYear + int32_t(bits % uint64_t(kMaxYear - kMinYear + 1));
        dt.month = uint8_t(1 + (bits >> 20) % 12);
        dt.day = uint8_t(1 + (bits >> 24) % 28);
        dt.hour = uint8_t((bits >> 30) % 24);
        dt.minute = uint8_t((bits >> 36) % 60);
        dt.second = uint8_t((bits >> 42) % 60);
        dt.nanos = uint32_t((bits >> 48) % 4 == 0 ? 0 : (bits >> 8) % 2000000000u);  // leap seconds too
        values.push_back(CellValue::datetime(dt));
    }
    for (const CellValue& v : values) {
        const std::string text = value_text(v);
        const std::string_view alphabet = value_text_alphabet(v.kind());
        EXPECT_EQ(text.find_first_not_of(alphabet), std::string::npos) << text;
    }
}

TEST(SearchKinds, FilteredScansEqualPlainTests) {
    std::vector<CellValue> values = {
        CellValue(), CellValue::text(" 7 "), CellValue::text("inf"), CellValue::integer(-7), CellValue::integer(7),
        CellValue::number(1.5), CellValue::number(-0.0), CellValue::number(std::numeric_limits<double>::infinity()),
        CellValue::number(-std::numeric_limits<double>::infinity()),
        CellValue::number(std::numeric_limits<double>::quiet_NaN()), CellValue::boolean(true),
        CellValue::boolean(false), CellValue::datetime(DateTime{2024, 250000000, 1, 5, 7, 8, 9}),
        CellValue::datetime(DateTime{12345, 0, 1, 5, 7, 8, 9}), CellValue::datetime(DateTime{-5, 0, 1, 5, 7, 8, 9})};
    std::vector<Ref<Cell>> cells;
    std::vector<Cell*> seq;
    for (size_t i = 0; i < values.size(); ++i) {
        cells.push_back(Ref<Cell>::make(1, uint16_t(i + 1), values[i], data_type_of(values[i].kind())));
        seq.push_back(cells.back().get());
    }
    const char* needles[] = {"", "inf", "-inf", "NaN", "Na", "-", "+1", "e", "a", "fal", ":", ".", " ", "0",
                             "7", " 7 ", "1.5", "x", "true", "-0", "2024-01-05 07:08:09.250", "-0005"};
    for (const char* n : needles) {
        std::vector<Cell*> contains, equal;
        for (Cell* c : seq) {
            const std::string t = value_text(c->value);
            if (t.find(n) != std::string::npos) contains.push_back(c);
            if (trimmed_equals(t, n)) equal.push_back(c);
        }
        EXPECT_EQ(all_containing(seq, n), contains) << "'" << n << "'";
        EXPECT_EQ(all_trimmed_equal(seq, n), equal) << "'" << n << "'";
        const std::vector<Cell*> opening(contains.begin(), contains.begin() + std::min<size_t>(1, contains.size()));
        EXPECT_EQ(region_boundaries(seq, n, "never"), opening) << "'" << n << "'";
    }
}

// ---------------------------------------------------------------------------

TEST(SearchCells, EmptySequenceFindsNothing) {
    const CellSeq none;
    EXPECT_EQ(first_containing(none, ""), nullptr);
    EXPECT_EQ(first_containing(none, "x"), nullptr);
    EXPECT_EQ(first_trimmed_equal(none, ""), nullptr);
    EXPECT_EQ(first_at(none, 1, 1), nullptr);
    EXPECT_EQ(value_of_first_at(none, 1, 1), std::nullopt);
    EXPECT_TRUE(all_containing(none, "").empty());
    EXPECT_TRUE(all_trimmed_equal(none, "").empty());
    EXPECT_TRUE(containing_up_to_column(none, "", 9).empty());
    EXPECT_TRUE(containing_up_to_row(none, "", 9).empty());
    EXPECT_TRUE(rows_between(none, 0, 9).empty());
    EXPECT_TRUE(columns_between(none, 0, 9).empty());
    EXPECT_TRUE(region_boundaries(none, "", "").empty());
    EXPECT_TRUE(first_region(none, "", "").empty());
    const uint32_t rows[] = {1};
    EXPECT_TRUE(values_in_column(none, 1, rows).empty());
    Ref<Sheet> empty = sheet_of({});
    SharedGuard g(empty->lock);
    EXPECT_TRUE(cells_in_range(*empty, {}).empty());
    EXPECT_EQ(value_at(*empty, 1, 1), std::nullopt);
}

TEST(SearchCells, FirstMatchFollowsSequenceOrder) {
    Ref<Sheet> s = sheet_of({{3, 1, "b"}, {2, 2, "b"}, {1, 3, "x"}});
    const std::vector<Cell*> seq = ordered(*s);
    EXPECT_EQ(ref(first_containing(seq, "b")), "B2");
    EXPECT_EQ(ref(first_trimmed_equal(seq, " b ")), "B2");
    EXPECT_EQ(ref(first_containing(seq, "")), "C1");  // the first cell, whatever its text

    // A list keeps its own order.
    Cell* a3 = s->cells.find(3, 1);
    Cell* b2 = s->cells.find(2, 2);
    const std::vector<Cell*> list = {a3, b2};
    EXPECT_EQ(first_containing(list, "b"), a3);

    Ref<Sheet> s2 = sheet_of({{3, 1, "b"}, {2, 2, "b"}, {2, 1, "b"}});
    EXPECT_EQ(ref(first_containing(ordered(*s2), "b")), "A2");
}

TEST(SearchCells, TextsAreTheValueTexts) {
    Ref<Sheet> s = sheet_of({{1, 1, "TRUE"}, {1, 2, "1.50"}, {1, 3, "007"}, {1, 4, ""}, {1, 5, "xaby"},
                             {1, 6, "  ab "}});
    const std::vector<Cell*> seq = ordered(*s);
    const struct {
        const char* needle;
        const char* found;  // containment
    } contains[] = {{"TRUE", "none"}, {"true", "A1"}, {"1.50", "none"}, {"1.5", "B1"},
                    {"007", "none"},  {"7", "C1"},    {"ab", "E1"}};
    for (const auto& c : contains) EXPECT_EQ(ref(first_containing(seq, c.needle)), c.found) << c.needle;

    EXPECT_EQ(ref(first_trimmed_equal(seq, "ab")), "F1");   // not 'xaby'
    EXPECT_EQ(ref(first_trimmed_equal(seq, " ")), "D1");    // the Empty cell's text is ""
    EXPECT_EQ(refs(all_containing(seq, "")), (Refs{"A1", "B1", "C1", "D1", "E1", "F1"}));
}

TEST(SearchCells, CoordinateLookups) {
    Ref<Sheet> s = sheet_of({{2, 2, "x"}, {3, 3, ""}});
    Cell* first = s->cells.find(2, 2);
    Ref<Cell> twin = Ref<Cell>::make(2, 2, CellValue::text("twin"), DataType::S);
    const std::vector<Cell*> list = {s->cells.find(3, 3), first, twin.get()};

    EXPECT_EQ(first_at(list, 2, 2), first);  // the first of two with the same coordinates
    EXPECT_EQ(first_at(list, 0, 2), nullptr);
    EXPECT_EQ(value_of_first_at(list, 3, 3), std::optional<std::string>(""));
    EXPECT_EQ(value_of_first_at(list, 9, 9), std::nullopt);

    SharedGuard g(s->lock);
    EXPECT_EQ(lookup_cell(*s, 2, 2), first);
    EXPECT_EQ(value_at(*s, 2, 2), std::optional<std::string>("x"));
    EXPECT_EQ(value_at(*s, 3, 3), std::optional<std::string>(""));  // Empty cell
    EXPECT_EQ(value_at(*s, 4, 4), std::nullopt);                     // no cell
}

TEST(SearchCells, ContainingAndEqualLists) {
    Ref<Sheet> s = sheet_of({{1, 1, "1.5"}, {1, 2, "x1.5y"}, {1, 3, "105"}, {2, 1, "Total"},
                             {2, 2, "Total  "}, {2, 3, " Total"}, {3, 1, "total"}, {3, 2, "Totals"}});
    const std::vector<Cell*> seq = ordered(*s);
    EXPECT_EQ(refs(all_containing(seq, "1.5")), (Refs{"A1", "B1"}));
    EXPECT_EQ(refs(all_trimmed_equal(seq, " Total ")), (Refs{"A2", "B2", "C2"}));

    // A record listed twice is kept twice.
    const std::vector<Cell*> twice = {seq[0], seq[1], seq[0]};
    EXPECT_EQ(refs(all_containing(twice, "1.5")), (Refs{"A1", "B1", "A1"}));
}

TEST(SearchCells, BoundedScans) {
    Ref<Sheet> s = sheet_of({{0, 0, "k"}, {1, 1, "k"}, {1, 2, "k"}, {1, 3, "k"}, {2, 1, "k"}, {2, 3, "x"},
                             {3, 1, "k"}, {3, 2, "k"}, {3, 3, "k"}, {5, 2, "k"}});
    const std::vector<Cell*> seq = ordered(*s);
    EXPECT_EQ(refs(containing_up_to_column(seq, "k", 2)), (Refs{"0:0", "A1", "B1", "A2", "A3", "B3", "B5"}));
    EXPECT_EQ(refs(containing_up_to_row(seq, "k", 2)), (Refs{"0:0", "A1", "B1", "C1", "A2"}));
    EXPECT_EQ(refs(rows_between(seq, 3, 3)), (Refs{"A3", "B3", "C3"}));
    EXPECT_TRUE(rows_between(seq, 5, 3).empty());
    EXPECT_EQ(refs(rows_between(seq, 4, 9)), (Refs{"B5"}));
    EXPECT_EQ(refs(columns_between(seq, 3, 3)), (Refs{"C1", "C2", "C3"}));
    EXPECT_TRUE(columns_between(seq, 3, 2).empty());
}

TEST(SearchCells, RegionBoundaries) {
    const std::vector<std::string> texts = {"Start", "a", "End", "End", "Start", "Start", "b"};
    std::vector<CellSpec> specs;
    for (size_t i = 0; i < texts.size(); ++i) specs.push_back({uint32_t(i + 1), 1, texts[i]});
    Ref<Sheet> s = sheet_of(specs);
    EXPECT_EQ(refs(region_boundaries(ordered(*s), "Start", "End")), (Refs{"A1", "A3", "A5"}));

    // A cell holding both texts opens when closed and closes when open,
    // never closing the region it has just opened.
    Ref<Sheet> both = sheet_of({{1, 1, "Start End"}, {2, 1, "Start End"}, {3, 1, "Start End"}});
    EXPECT_EQ(refs(region_boundaries(ordered(*both), "Start", "End")), (Refs{"A1", "A2", "A3"}));
}

TEST(SearchCells, FirstRegionBands) {
    struct Case {
        const char* name;
        std::vector<CellSpec> cells;
        Refs expected;
    };
    const Case cases[] = {
        {"closed region: whole rows 2..4",
         {{2, 1, "Start"}, {2, 3, "x"}, {1, 1, "y"}, {4, 2, "End"}, {5, 1, "z"}},
         {"A2", "C2", "B4"}},
        {"never closed: every row from the opening one",
         {{2, 1, "Start"}, {2, 3, "x"}, {1, 1, "y"}, {4, 2, "other"}, {5, 1, "z"}},
         {"A2", "C2", "B4", "A5"}},
        {"closed in its own row",
         {{2, 1, "Start"}, {2, 3, "End"}, {1, 1, "y"}, {4, 2, "End"}, {5, 1, "z"}},
         {"A2", "C2"}},
        {"later regions ignored",
         {{1, 1, "Start"}, {2, 1, "End"}, {3, 1, "mid"}, {4, 1, "Start"}, {5, 1, "End"}},
         {"A1", "A2"}},
        {"cells left of the opening cell count", {{3, 1, "a"}, {3, 2, "Start"}, {3, 3, "End"}}, {"A3", "B3", "C3"}},
        {"nothing opens", {{1, 1, "End"}, {2, 1, "x"}}, {}},
    };
    for (const Case& c : cases) {
        Ref<Sheet> s = sheet_of(c.cells);
        EXPECT_EQ(refs(first_region(ordered(*s), "Start", "End")), c.expected) << c.name;
    }

    // A list not ordered by row can close above where it opened: empty band.
    Ref<Sheet> s = sheet_of({{5, 1, "Start"}, {2, 1, "End"}, {3, 1, "x"}});
    const std::vector<Cell*> list = {s->cells.find(5, 1), s->cells.find(3, 1), s->cells.find(2, 1)};
    EXPECT_EQ(refs(region_boundaries(list, "Start", "End")), (Refs{"A5", "A2"}));
    EXPECT_TRUE(first_region(list, "Start", "End").empty());
}

TEST(SearchCells, ValueLists) {
    Ref<Sheet> s = sheet_of({{3, 2, "x"}, {5, 2, "y"}, {4, 3, "z"}, {5, 1, "w"}, {7, 2, "1.50"}});
    const std::vector<Cell*> seq = ordered(*s);
    using Texts = std::vector<std::string>;
    const uint32_t rows[] = {5, 3, 3, 9};
    EXPECT_EQ(values_in_column(seq, 2, rows), (Texts{"x", "y"}));
    const uint32_t row7[] = {7};
    EXPECT_EQ(values_in_column(seq, 2, row7), (Texts{"1.5"}));
    EXPECT_TRUE(values_in_column(seq, 2, {}).empty());
    const uint16_t cols[] = {3, 2, 1, 1};
    EXPECT_EQ(values_in_row(seq, 5, cols), (Texts{"w", "y"}));
    EXPECT_TRUE(values_in_row(seq, 5, {}).empty());
    // List order decides, not the order of the numbers.
    const std::vector<Cell*> list = {s->cells.find(5, 2), s->cells.find(3, 2)};
    EXPECT_EQ(values_in_column(list, 2, rows), (Texts{"y", "x"}));
}

TEST(SearchCells, Rectangle) {
    Ref<Sheet> s = sheet_of({{0, 1, "r0"}, {1, 0, "c0"}, {2, 2, "b2"}, {1, 1, "a1"}, {1048576, 16384, "last"},
                             {1048577, 1, "below"}, {1, 16385, "right"}});
    SharedGuard g(s->lock);
    EXPECT_EQ(refs(cells_in_range(*s, {})), (Refs{"A1", "B2", "1048576:16384"}));
    EXPECT_EQ(refs(cells_in_range(*s, {0, 1, 1, 16384})), (Refs{"A0", "A1"}));
    EXPECT_EQ(refs(cells_in_range(*s, {2, 2, 2, 2})), (Refs{"B2"}));
    EXPECT_TRUE(cells_in_range(*s, {3, 2, 1, 5}).empty());
    EXPECT_TRUE(cells_in_range(*s, {1, 5, 3, 2}).empty());
}

// ---------------------------------------------------------------------------
// Above the serial grain: answers must not depend on the number of workers.

TEST(SearchPool, FirstMatchIsTheLowestIndex) {
    const size_t n = 300000;
    std::mt19937 rng(7);
    for (int trial = 0; trial < 20; ++trial) {
        std::vector<char> hit(n, 0);
        const int hits = int(rng() % 5);  // sometimes none
        for (int h = 0; h < hits; ++h) hit[pool::kSerialGrain + rng() % (n - pool::kSerialGrain)] = 1;
        const size_t expected = size_t(std::find(hit.begin(), hit.end(), 1) - hit.begin());
        with_each_worker_count([&] { EXPECT_EQ(first_match(n, [&](size_t i) { return hit[i] != 0; }), expected); });
    }
    // A low match reached late and a higher one that a worker starting in
    // the upper half meets at once: the low one must still win.
    const size_t mid = pool::kSerialGrain + (n - pool::kSerialGrain) / 2;
    auto slow_pred = [&](size_t i) {
        volatile unsigned spin = 0;
        for (int k = 0; k < 40; ++k) spin = spin + 1;
        return i == mid - 5 || i == mid + 5 || i == n - 1;
    };
    with_each_worker_count([&] { EXPECT_EQ(first_match(n, slow_pred), mid - 5); });
    EXPECT_EQ(first_match(0, [](size_t) { return true; }), 0u);
    EXPECT_EQ(first_match(10, [](size_t i) { return i == 3; }), 3u);
}

TEST(SearchPool, OrderedFilterKeepsIndexOrder) {
    const size_t n = 250000;
    std::vector<size_t> expected;
    for (size_t i = 0; i < n; ++i)
        if (i % 7 == 3 || i % 1000 == 0) expected.push_back(i);
    with_each_worker_count([&] {
        EXPECT_EQ(ordered_filter(n, [](size_t i) { return i % 7 == 3 || i % 1000 == 0; }), expected);
    });
}

TEST(SearchPool, SortByCoordinate) {
    std::vector<Ref<Cell>> cells;
    for (uint32_t r = 0; r < 500; ++r)
        for (uint16_t c = 0; c < 100; ++c) cells.push_back(Ref<Cell>::make(r * 7919 % 500, c, CellValue(), DataType::General));
    std::vector<Cell*> expected;
    for (const Ref<Cell>& c : cells) expected.push_back(c.get());
    std::sort(expected.begin(), expected.end(), [](const Cell* a, const Cell* b) {
        return std::pair(a->row, a->column) < std::pair(b->row, b->column);
    });
    std::mt19937 rng(3);
    with_each_worker_count([&] {
        for (size_t n : {size_t(0), size_t(1), size_t(100), expected.size()}) {
            std::vector<Cell*> v(expected.begin(), expected.begin() + n);
            std::shuffle(v.begin(), v.end(), rng);
            sort_cells_by_coordinate(v);
            EXPECT_TRUE(std::equal(v.begin(), v.end(), expected.begin())) << n << " cells";
        }
    });
}

// Every scan on a large sheet against a plain serial loop over the same texts.
TEST(SearchPool, LargeSheetScansMatchSerialReference) {
    const uint32_t rows = 4000;
    const uint16_t cols = 20;
    std::vector<CellSpec> specs;
    std::mt19937 rng(11);
    for (uint32_t r = 1; r <= rows; ++r) {
        for (uint16_t c = 1; c <= cols; ++c) {
            const uint32_t x = rng() % 1000;
            std::string text = x < 3 ? " key " : x < 6 ? "a key b" : std::to_string(x);
            specs.push_back({r, c, text});
        }
    }
    // The only "late" text sits past the serial prefix of a first-match scan.
    specs.push_back({rows - 3, cols + 1, "late"});
    specs.push_back({rows - 1, cols + 1, "late"});
    Ref<Sheet> s = sheet_of(specs);
    const std::vector<Cell*> seq = ordered(*s);
    ASSERT_GT(seq.size(), 10 * pool::kSerialGrain);

    auto reference = [&](auto keep) {
        std::vector<Cell*> out;
        for (Cell* c : seq)
            if (keep(*c, value_text(c->value))) out.push_back(c);
        return out;
    };
    const auto containing = reference([](const Cell&, const std::string& t) { return t.find("key") != t.npos; });
    const auto equal = reference([](const Cell&, const std::string& t) { return t == " key "; });
    const auto up_to_col = reference([](const Cell& c, const std::string& t) {
        return c.column <= 5 && t.find("key") != t.npos;
    });
    const auto band = reference([](const Cell& c, const std::string&) { return c.row >= 100 && c.row <= 2500; });
    std::vector<std::string> col3;
    for (Cell* c : seq)
        if (c->column == 3 && c->row % 2 == 0) col3.push_back(value_text(c->value));
    std::vector<uint32_t> even_rows;
    for (uint32_t r = rows; r > 0; --r)
        if (r % 2 == 0) even_rows.push_back(r);
    ASSERT_FALSE(containing.empty());

    with_each_worker_count([&] {
        EXPECT_EQ(all_containing(seq, "key"), containing);
        EXPECT_EQ(all_trimmed_equal(seq, "key"), equal);
        EXPECT_EQ(containing_up_to_column(seq, "key", 5), up_to_col);
        EXPECT_EQ(rows_between(seq, 100, 2500), band);
        EXPECT_EQ(values_in_column(seq, 3, even_rows), col3);
        EXPECT_EQ(first_containing(seq, "key"), containing.front());
        EXPECT_EQ(first_containing(seq, "late"), s->cells.find(rows - 3, cols + 1));
        EXPECT_EQ(first_containing(seq, "absent"), nullptr);
        SharedGuard g(s->lock);
        EXPECT_EQ(cells_in_range(*s, {100, 2500, 1, 16384}), band);
    });
}

}  // namespace
