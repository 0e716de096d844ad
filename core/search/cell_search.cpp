#include "search/cell_search.hpp"

#include <algorithm>
#include <limits>

#include "platform/pool.hpp"
#include "search/kind_filter.hpp"
#include "search/literal.hpp"
#include "search/trimmed.hpp"

namespace vorlix::search {

namespace {

template <class Pred>
Cell* first_cell(CellSeq seq, Pred&& pred) {
    const size_t i = first_match(seq.size(), [&](size_t k) { return pred(*seq[k]); });
    return i < seq.size() ? seq[i] : nullptr;
}

template <class Pred>
std::vector<Cell*> kept_cells(CellSeq seq, Pred&& pred) {
    return ordered_collect<Cell*>(seq.size(), [&](size_t k, std::vector<Cell*>& out) {
        if (pred(*seq[k])) out.push_back(seq[k]);
    });
}

// A text test together with the kinds it can pass; test() runs with the
// cell's lock held and produces the text only for a possible kind.
template <class Matcher, KindFilter::Test kTest>
struct TextTest {
    explicit TextTest(std::string_view needle) : matcher(needle), kinds(target(matcher), kTest) {}

    bool test(const Cell& c) const {
        if (!kinds.possible(c.value.kind())) return false;
        char buf[kValueTextBuffer];
        const std::string_view t = value_text_view(c.value, buf);
        if constexpr (kTest == KindFilter::Test::Contains) return matcher.found_in(t);
        else return matcher.equals(t);
    }
    bool test_locked(const Cell& c) const {
        SharedGuard g(c.lock);
        return test(c);
    }

    static std::string_view target(const LiteralMatcher& m) { return m.needle(); }
    static std::string_view target(const TrimmedMatcher& m) { return m.target(); }

    Matcher matcher;
    KindFilter kinds;
};

using Containing = TextTest<LiteralMatcher, KindFilter::Test::Contains>;
using TrimmedEqual = TextTest<TrimmedMatcher, KindFilter::Test::Equals>;

struct Boundary {
    Cell* cell;
    uint32_t row;
};

// The open/close pass. Each text is copied under the cell's lock and matched
// after the lock is released. Stops once `limit` boundaries are found.
std::vector<Boundary> boundaries(CellSeq seq, std::string_view before, std::string_view after,
                                 size_t limit) {
    const Containing opens(before);
    const Containing closes(after);
    std::vector<Boundary> out;
    std::string text;
    bool open = false;
    for (Cell* c : seq) {
        if (out.size() >= limit) break;
        // Only one of the two tests can change the flag in a given state.
        const Containing& test = open ? closes : opens;
        uint32_t row;
        {
            char buf[kValueTextBuffer];
            SharedGuard g(c->lock);
            if (!test.kinds.possible(c->value.kind())) continue;
            text.assign(value_text_view(c->value, buf));
            row = c->row;
        }
        if (test.matcher.found_in(text)) {
            open = !open;
            out.push_back({c, row});
        }
    }
    return out;
}

// Sorted, duplicate-free copy of a list of numbers, for membership tests.
template <class T>
std::vector<T> number_set(std::span<const T> numbers) {
    std::vector<T> s(numbers.begin(), numbers.end());
    std::sort(s.begin(), s.end());
    s.erase(std::unique(s.begin(), s.end()), s.end());
    return s;
}

}  // namespace

std::string cell_text(const Cell& c) {
    return with_cell_text(c, [](std::string_view t) { return std::string(t); });
}

Cell* lookup_cell(const Sheet& sheet, uint32_t row, uint16_t col) noexcept {
    return sheet.cells.find(row, col);
}

std::optional<std::string> value_at(const Sheet& sheet, uint32_t row, uint16_t col) {
    const Cell* c = lookup_cell(sheet, row, col);
    if (!c) return std::nullopt;
    return cell_text(*c);
}

Cell* first_containing(CellSeq seq, std::string_view needle) {
    if (needle.empty()) return seq.empty() ? nullptr : seq.front();
    const Containing t(needle);
    return first_cell(seq, [&](const Cell& c) { return t.test_locked(c); });
}

Cell* first_trimmed_equal(CellSeq seq, std::string_view value) {
    const TrimmedEqual t(value);
    return first_cell(seq, [&](const Cell& c) { return t.test_locked(c); });
}

Cell* first_at(CellSeq seq, uint32_t row, uint16_t col) {
    return first_cell(seq, [&](const Cell& c) {
        SharedGuard g(c.lock);
        return c.row == row && c.column == col;
    });
}

std::optional<std::string> value_of_first_at(CellSeq seq, uint32_t row, uint16_t col) {
    const Cell* c = first_at(seq, row, col);
    if (!c) return std::nullopt;
    return cell_text(*c);
}

std::vector<Cell*> all_containing(CellSeq seq, std::string_view needle) {
    if (needle.empty()) return {seq.begin(), seq.end()};
    const Containing t(needle);
    return kept_cells(seq, [&](const Cell& c) { return t.test_locked(c); });
}

std::vector<Cell*> all_trimmed_equal(CellSeq seq, std::string_view value) {
    const TrimmedEqual t(value);
    return kept_cells(seq, [&](const Cell& c) { return t.test_locked(c); });
}

std::vector<Cell*> containing_up_to_column(CellSeq seq, std::string_view needle, uint16_t col_stop) {
    const Containing t(needle);
    return kept_cells(seq, [&](const Cell& c) {
        SharedGuard g(c.lock);
        return c.column <= col_stop && t.test(c);
    });
}

std::vector<Cell*> containing_up_to_row(CellSeq seq, std::string_view needle, uint32_t row_stop) {
    const Containing t(needle);
    return kept_cells(seq, [&](const Cell& c) {
        SharedGuard g(c.lock);
        return c.row <= row_stop && t.test(c);
    });
}

std::vector<Cell*> rows_between(CellSeq seq, uint32_t start_row, uint32_t end_row) {
    if (start_row > end_row) return {};
    return kept_cells(seq, [&](const Cell& c) {
        SharedGuard g(c.lock);
        return c.row >= start_row && c.row <= end_row;
    });
}

std::vector<Cell*> columns_between(CellSeq seq, uint16_t start_col, uint16_t end_col) {
    if (start_col > end_col) return {};
    return kept_cells(seq, [&](const Cell& c) {
        SharedGuard g(c.lock);
        return c.column >= start_col && c.column <= end_col;
    });
}

std::vector<Cell*> region_boundaries(CellSeq seq, std::string_view before, std::string_view after) {
    std::vector<Cell*> out;
    for (const Boundary& b : boundaries(seq, before, after, std::numeric_limits<size_t>::max()))
        out.push_back(b.cell);
    return out;
}

std::vector<Cell*> first_region(CellSeq seq, std::string_view before, std::string_view after) {
    const std::vector<Boundary> b = boundaries(seq, before, after, 2);
    if (b.empty()) return {};
    const uint32_t last = b.size() == 1 ? std::numeric_limits<uint32_t>::max() : b[1].row;
    return rows_between(seq, b[0].row, last);
}

std::vector<std::string> values_in_column(CellSeq seq, uint16_t col, std::span<const uint32_t> rows) {
    if (rows.empty()) return {};
    const std::vector<uint32_t> wanted = number_set(rows);
    return ordered_collect<std::string>(seq.size(), [&](size_t k, std::vector<std::string>& out) {
        const Cell& c = *seq[k];
        char buf[kValueTextBuffer];
        SharedGuard g(c.lock);
        if (c.column == col && std::binary_search(wanted.begin(), wanted.end(), c.row))
            out.emplace_back(value_text_view(c.value, buf));
    });
}

std::vector<std::string> values_in_row(CellSeq seq, uint32_t row, std::span<const uint16_t> cols) {
    if (cols.empty()) return {};
    const std::vector<uint16_t> wanted = number_set(cols);
    return ordered_collect<std::string>(seq.size(), [&](size_t k, std::vector<std::string>& out) {
        const Cell& c = *seq[k];
        char buf[kValueTextBuffer];
        SharedGuard g(c.lock);
        if (c.row == row && std::binary_search(wanted.begin(), wanted.end(), c.column))
            out.emplace_back(value_text_view(c.value, buf));
    });
}

std::vector<Cell*> cells_in_range(const Sheet& sheet, const CellRange& r) {
    if (r.start_row > r.end_row || r.start_col > r.end_col) return {};
    std::vector<Cell*> entries;
    entries.reserve(sheet.cells.size());
    sheet.cells.for_each([&](Cell* c) { entries.push_back(c); });
    std::vector<Cell*> kept = kept_cells(entries, [&](const Cell& c) {
        SharedGuard g(c.lock);
        return c.row >= r.start_row && c.row <= r.end_row && c.column >= r.start_col &&
               c.column <= r.end_col;
    });
    sort_cells_by_coordinate(kept);
    return kept;
}

}  // namespace vorlix::search
