// Snapshot sheets, the regular-expression wrapper and the finder's
// selections by name.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include <oneapi/tbb/global_control.h>

#include "model/cell_text.hpp"
#include "model/records.hpp"
#include "platform/pool.hpp"
#include "platform/regex.hpp"
#include "search/finder.hpp"
#include "search/snapshot.hpp"

using namespace vorlix;

namespace {

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

std::optional<std::string> formula_of(const Cell& c) {
    return c.has_formula() ? *c.formula() : std::nullopt;
}

bool absent(const std::optional<std::string>* field) { return field == nullptr || !field->has_value(); }

// ---------------------------------------------------------------------------

struct SourceCase {
    std::optional<std::string> value;
    std::string data_type;
    ValueKind kind;
    std::string text;
};

TEST(SearchSnapshot, ValueFromSourceText) {
    const SourceCase cases[] = {
        {"123", "s", ValueKind::Text, "123"},       // "s" keeps the text as it is
        {"TRUE", "s", ValueKind::Text, "TRUE"},
        {"", "s", ValueKind::Text, ""},
        {std::nullopt, "s", ValueKind::Empty, ""},
        {"123", "n", ValueKind::Integer, "123"},    // any other code classifies
        {"TRUE", "General", ValueKind::Bool, "true"},
        {"1.50", "f", ValueKind::Number, "1.5"},
        {"2024-01-05 07:08:09", "S", ValueKind::DateTime, "2024-01-05 07:08:09"},
        {"", "n", ValueKind::Empty, ""},
        {std::nullopt, "n", ValueKind::Empty, ""},
        {"x", "custom", ValueKind::Text, "x"},
    };
    std::vector<SnapshotCellSource> sources;
    for (size_t i = 0; i < std::size(cases); ++i)
        sources.push_back({uint32_t(i + 1), 1, cases[i].value, std::nullopt, cases[i].data_type});
    Ref<Sheet> snap = build_snapshot("S", "visible", {}, std::move(sources));
    SharedGuard g(snap->lock);
    ASSERT_EQ(snap->cells.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Cell* c = snap->cells.find(uint32_t(i + 1), 1);
        ASSERT_NE(c, nullptr);
        SCOPED_TRACE(cases[i].value.value_or("None") + " / " + cases[i].data_type);
        EXPECT_EQ(c->value.kind(), cases[i].kind);
        EXPECT_EQ(value_text(c->value), cases[i].text);
        EXPECT_EQ(c->data_type(), cases[i].data_type);  // kept as read
    }
}

TEST(SearchSnapshot, BuildKeepsFieldsAndLastDuplicate) {
    std::vector<SnapshotCellSource> sources = {
        {2, 1, "first", std::nullopt, "s"},
        {1, 1, "3", "=A2+1", "f"},
        {2, 1, "second", std::nullopt, "s"},
        {0, 0, std::nullopt, std::nullopt, "General"},
    };
    const std::vector<MergeCell> merges = {{1, 2, 1, 3}, {5, 5, 2, 2}};
    Ref<Sheet> snap = build_snapshot("Totals", "hidden", merges, std::move(sources));
    SharedGuard g(snap->lock);
    EXPECT_EQ(snap->name, "Totals");
    EXPECT_EQ(snap->sheet_state, "hidden");
    EXPECT_EQ(snap->merge_cells, merges);
    EXPECT_TRUE(snap->comments.empty());
    ASSERT_EQ(snap->cells.size(), 3u);
    EXPECT_EQ(value_text(snap->cells.find(2, 1)->value), "second");

    const Cell* f = snap->cells.find(1, 1);
    EXPECT_EQ(formula_of(*f), std::optional<std::string>("=A2+1"));
    EXPECT_EQ(f->data_type(), "f");
    EXPECT_EQ(f->value.kind(), ValueKind::Integer);
    EXPECT_TRUE(absent(f->style()));

    // The kept order sees the replacement, not the dropped record.
    const std::vector<Cell*>& seq = snap->ordered_cells();
    ASSERT_EQ(seq.size(), 3u);
    EXPECT_EQ(seq[2], snap->cells.find(2, 1));

    Ref<Sheet> empty = build_snapshot("Empty", "visible", {}, {});
    EXPECT_EQ(empty->cells.size(), 0u);
}

// A live sheet with every kind of value and code.
Ref<Sheet> live_sheet(size_t copies) {
    Ref<Sheet> s = Ref<Sheet>::make("Live", "visible");
    ExclusiveGuard g(s->lock);
    s->merge_cells.push_back({1, 1, 1, 2});
    for (uint32_t k = 0; k < copies; ++k) {
        const uint32_t row = k + 1;
        auto add = [&](uint16_t col, CellValue v) {
            Ref<Cell> c = Ref<Cell>::make(row, col, CellValue(), DataType::General);
            c->assign_value(std::move(v));
            s->insert_cell(c);
            return c;
        };
        add(1, CellValue::number(2.0));
        add(2, CellValue::datetime(DateTime{2024, 250000000, 1, 5, 7, 8, 9}));
        add(3, CellValue::datetime(DateTime{2024, 0, 1, 5, 7, 8, 9}));
        add(4, CellValue::number(1.5 + k));
        add(5, CellValue::integer(int32_t(k) - 5));
        add(6, CellValue::boolean(k % 2 == 0));
        add(7, CellValue());
        add(8, CellValue::text("123"));                   // Text kept by "s"
        add(9, CellValue::text("abc"))->set_formula("=A1+1");  // "f"
        Ref<Cell> styled = add(10, CellValue::text("styled"));
        styled->ensure_extra().style = "bold";
        styled->ensure_extra().hidden_value = "h";
        add(11, CellValue::text("123"))->set_data_type_text("General");
        add(12, CellValue::integer(7))->set_data_type_text("s");
        add(13, CellValue())->set_data_type_text("s");
        add(14, CellValue::text(std::string(40, 'L')));
    }
    return s;
}

// The direct snapshot of a live sheet must equal the one built from the
// text forms that the cells' getters show.
TEST(SearchSnapshot, LiveSheetEqualsTextRoad) {
    for (size_t copies : {size_t(1), size_t(2 * pool::kSerialGrain / 14 + 7)}) {
        Ref<Sheet> live = live_sheet(copies);
        SharedGuard lg(live->lock);
        std::vector<SnapshotCellSource> sources;
        for (const Cell* c : live->ordered_cells())
            sources.push_back({c->row, c->column, value_text(c->value), formula_of(*c), std::string(c->data_type())});
        Ref<Sheet> expected = build_snapshot(live->name, live->sheet_state, live->merge_cells, std::move(sources));
        with_each_worker_count([&] {
            Ref<Sheet> snap = snapshot_of_sheet(*live);
            SharedGuard sg(snap->lock);
            EXPECT_EQ(snap->name, "Live");
            EXPECT_EQ(snap->merge_cells, live->merge_cells);
            ASSERT_EQ(snap->cells.size(), live->cells.size());
            for (const Cell* want : expected->ordered_cells()) {
                const Cell* got = snap->cells.find(want->row, want->column);
                ASSERT_NE(got, nullptr);
                SCOPED_TRACE("row " + std::to_string(want->row) + " column " + std::to_string(want->column));
                EXPECT_NE(got, live->cells.find(want->row, want->column));  // new records
                EXPECT_EQ(got->value.kind(), want->value.kind());
                EXPECT_TRUE(got->value == want->value);
                EXPECT_EQ(got->data_type(), want->data_type());
                EXPECT_EQ(formula_of(*got), formula_of(*want));
                EXPECT_TRUE(absent(got->style()));
                EXPECT_TRUE(absent(got->hidden_value()));
            }
        });
    }
}

TEST(SearchSnapshot, LiveSheetEdgeCases) {
    Ref<Sheet> live = live_sheet(1);
    Ref<Sheet> snap;
    {
        SharedGuard g(live->lock);
        snap = snapshot_of_sheet(*live);
    }
    auto at = [&](uint16_t col) { return snap->cells.find(1, col); };
    EXPECT_EQ(at(1)->value.kind(), ValueKind::Integer);  // Number 2.0 reads "2"
    EXPECT_EQ(at(1)->data_type(), "n");
    EXPECT_EQ(at(2)->value.kind(), ValueKind::Text);     // fraction does not classify
    EXPECT_EQ(value_text(at(2)->value), "2024-01-05 07:08:09.250");
    EXPECT_EQ(at(2)->data_type(), "d");
    EXPECT_EQ(at(3)->value.kind(), ValueKind::DateTime);
    EXPECT_EQ(at(9)->data_type(), "f");
    EXPECT_EQ(formula_of(*at(9)), std::optional<std::string>("=A1+1"));
    EXPECT_EQ(at(11)->value.kind(), ValueKind::Integer);  // "123" with "General"
    EXPECT_EQ(at(12)->value.kind(), ValueKind::Text);     // "7" with "s"
    EXPECT_EQ(at(13)->value.kind(), ValueKind::Text);     // "" with "s"

    // Later edits of the live sheet do not reach the snapshot.
    {
        ExclusiveGuard g(live->lock);
        Cell* c = live->cells.find(1, 8);
        ExclusiveGuard cg(c->lock);
        c->assign_value(CellValue::text("changed"));
    }
    EXPECT_EQ(value_text(at(8)->value), "123");
}

// ---------------------------------------------------------------------------

TEST(SearchRegex, CompileErrorsCarryTheEngineMessage) {
    const struct {
        const char* pattern;
        const char* words;
    } cases[] = {
        {"(", "parenthesis"},
        {"[", "]"},
        {"(?<=a+)b", "lookbehind"},
        {"(?Q)", "(?"},
        {"a{2,1}", "order"},
    };
    for (const auto& c : cases) {
        auto r = Regex::compile(c.pattern);
        const RegexError* e = std::get_if<RegexError>(&r);
        ASSERT_NE(e, nullptr) << c.pattern;
        EXPECT_NE(e->message.find(c.words), std::string::npos) << c.pattern << ": " << e->message;
    }
}

TEST(SearchRegex, MatchLimitCountsAsNoMatch) {
    auto r = Regex::compile("(?:(a+)+c|a*b)$");
    ASSERT_TRUE(std::holds_alternative<Regex>(r));
    const Regex& re = std::get<Regex>(r);
    EXPECT_TRUE(re.search("aab"));
    // The first alternative backtracks exponentially before the second can
    // match; the limit stops it and the answer is "no match", not a hang.
    EXPECT_FALSE(re.search(std::string(32, 'a') + "b"));
}

// ---------------------------------------------------------------------------

Ref<FinderRecord> finder_of(const std::vector<std::string>& names) {
    std::vector<Ref<Sheet>> sheets;
    for (const std::string& n : names) sheets.push_back(Ref<Sheet>::make(n, "visible"));
    return Ref<FinderRecord>::make(std::move(sheets));
}

// Finder positions of the returned sheets; -1 for a null one.
std::vector<int> positions(const FinderRecord& f, const std::vector<Ref<Sheet>>& got) {
    std::vector<int> out;
    for (const Ref<Sheet>& s : got) {
        int pos = -1;
        for (size_t i = 0; i < f.sheets.size(); ++i)
            if (f.sheets[i] == s) pos = int(i);
        out.push_back(pos);
    }
    return out;
}

int position(const FinderRecord& f, const Ref<Sheet>& s) {
    return s ? positions(f, {s})[0] : -1;
}

using Names = std::vector<std::string>;
using Positions = std::vector<int>;

TEST(SearchFinder, SelectionsByNameList) {
    Ref<FinderRecord> f = finder_of({"A", "B", "A"});
    const struct {
        Names names;
        Positions with, without;
    } cases[] = {
        {{"A"}, {0, 2}, {1}},
        {{"A", "A", "zzz"}, {0, 2}, {1}},
        {{"b"}, {}, {0, 1, 2}},   // case-sensitive
        {{" A"}, {}, {0, 1, 2}},  // no trimming
        {{}, {}, {0, 1, 2}},
        {{"B", "A"}, {0, 1, 2}, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(positions(*f, finder_sheets_with_names(*f, c.names)), c.with);
        EXPECT_EQ(positions(*f, finder_sheets_without_names(*f, c.names)), c.without);
    }
    EXPECT_EQ(position(*f, finder_sheet_by_name(*f, "A")), 0);
    EXPECT_EQ(position(*f, finder_sheet_by_name(*f, "B")), 1);
    EXPECT_EQ(position(*f, finder_sheet_by_name(*f, "a")), -1);
    EXPECT_EQ(position(*f, finder_sheet_at(*f, 1)), 1);
    EXPECT_EQ(position(*f, finder_sheet_at(*f, -1)), -1);  // no counting from the end
    EXPECT_EQ(position(*f, finder_sheet_at(*f, 3)), -1);
    EXPECT_EQ(positions(*f, finder_sheets(*f)), (Positions{0, 1, 2}));
}

TEST(SearchFinder, EmptyFinder) {
    Ref<FinderRecord> f = finder_of({});
    EXPECT_TRUE(finder_sheets(*f).empty());
    EXPECT_FALSE(finder_sheet_at(*f, 0));
    EXPECT_TRUE(finder_sheets_without_names(*f, {}).empty());
    const Names x = {"x"};
    EXPECT_TRUE(finder_sheets_with_names(*f, x).empty());
    EXPECT_FALSE(finder_sheet_by_name(*f, ""));
    auto r = finder_sheet_by_regex(*f, "");
    ASSERT_TRUE(std::holds_alternative<Ref<Sheet>>(r));
    EXPECT_FALSE(std::get<Ref<Sheet>>(r));
}

TEST(SearchFinder, ByRegex) {
    Ref<FinderRecord> f = finder_of({"A", "B", "A", "Sheet1", "MySheet", "Data2024", "AAx", "\u00dcn\u00efcode",
                                     std::string(32, 'a') + "b", "ab"});
    const struct {
        const char* pattern;
        int found;
    } cases[] = {
        {"^B$", 1},
        {"A|B", 0},
        {"(?i)b", 1},
        {"b", 8},
        {"Sheet", 3},
        {"^Sheet$", -1},
        {"(?<=My)Sheet", 4},        // look-behind
        {"^(?=.*\\d{4})D", 5},      // look-ahead
        {"^(\\w)\\1", 6},           // back-reference
        {"^.n", 7},                 // one dot, one code point
        {"^\\w+$", 0},
        {"^\\p{Lu}n\\w+$", 7},      // Unicode property
        {"(?:(a+)+c|a*b)$", 9},     // the name that hits the limit does not match
        {"", 0},
    };
    for (const auto& c : cases) {
        auto r = finder_sheet_by_regex(*f, c.pattern);
        ASSERT_TRUE(std::holds_alternative<Ref<Sheet>>(r)) << c.pattern;
        EXPECT_EQ(position(*f, std::get<Ref<Sheet>>(r)), c.found) << c.pattern;
    }

    auto bad = finder_sheet_by_regex(*f, "(");
    ASSERT_TRUE(std::holds_alternative<RegexError>(bad));
    EXPECT_FALSE(std::get<RegexError>(bad).message.empty());
    // The finder is still usable afterwards.
    auto again = finder_sheet_by_regex(*f, "^B");
    ASSERT_TRUE(std::holds_alternative<Ref<Sheet>>(again));
    EXPECT_EQ(position(*f, std::get<Ref<Sheet>>(again)), 1);
}

TEST(SearchFinder, ManySheetsIndependentOfWorkers) {
    const size_t n = 3 * pool::kSerialGrain / 2;
    Names names;
    for (size_t i = 0; i < n; ++i) names.push_back("S" + std::to_string(i));
    Ref<FinderRecord> f = finder_of(names);
    const size_t late = n - 10;  // past the serial prefix of a first-match scan
    const std::string late_name = "S" + std::to_string(late);
    const Names picked = {late_name, "S10", "S" + std::to_string(pool::kSerialGrain + 1), late_name, "none"};
    with_each_worker_count([&] {
        EXPECT_EQ(positions(*f, finder_sheets_with_names(*f, picked)),
                  (Positions{10, int(pool::kSerialGrain + 1), int(late)}));
        EXPECT_EQ(finder_sheets_without_names(*f, picked).size(), n - 3);
        EXPECT_EQ(position(*f, finder_sheet_by_name(*f, late_name)), int(late));
        auto r = finder_sheet_by_regex(*f, "^S" + std::to_string(late / 10) + "\\d$");
        EXPECT_EQ(position(*f, std::get<Ref<Sheet>>(r)), int(late / 10 * 10));
    });
}

}  // namespace
