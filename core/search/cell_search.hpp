// Cell searches over a search sequence: the ordered cells of a sheet, or a
// caller's list of cell records in its own order (duplicates allowed).
//
// Callers keep the records alive for the duration of a call (the sheet's
// shared lock, or their own references) and turn the returned pointers into
// references before letting go. Every cell is read under its own shared lock.
// Results follow sequence order whatever the number of pool workers.
//
// Needles are literal: a cell matches when its text contains the needle.
// The cell text is what the cell's value getter returns.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/records.hpp"

namespace vorlix::search {

using CellSeq = std::span<Cell* const>;

// Calls f with the cell's text while holding its shared lock; no allocation.
template <class F>
decltype(auto) with_cell_text(const Cell& c, F&& f) {
    char buf[kValueTextBuffer];
    SharedGuard g(c.lock);
    return f(value_text_view(c.value, buf));
}

std::string cell_text(const Cell& c);

// --- Key lookups (the caller holds the sheet's shared lock) ---------------

Cell* lookup_cell(const Sheet& sheet, uint32_t row, uint16_t col) noexcept;
// Text of the cell at the key; nullopt when there is none ("" for Empty).
std::optional<std::string> value_at(const Sheet& sheet, uint32_t row, uint16_t col);

// --- First match: the cell with the lowest position, or nullptr -----------

Cell* first_containing(CellSeq seq, std::string_view needle);
Cell* first_trimmed_equal(CellSeq seq, std::string_view value);
// Also serves letter references once the caller has parsed them.
Cell* first_at(CellSeq seq, uint32_t row, uint16_t col);
// Text of first_at, nullopt when no cell has the coordinates.
std::optional<std::string> value_of_first_at(CellSeq seq, uint32_t row, uint16_t col);

// --- Ordered scans: every kept cell, in sequence order ---------------------

std::vector<Cell*> all_containing(CellSeq seq, std::string_view needle);
std::vector<Cell*> all_trimmed_equal(CellSeq seq, std::string_view value);
// column <= col_stop, then the text (cells past the column cost no text).
std::vector<Cell*> containing_up_to_column(CellSeq seq, std::string_view needle, uint16_t col_stop);
// row <= row_stop, then the text.
std::vector<Cell*> containing_up_to_row(CellSeq seq, std::string_view needle, uint32_t row_stop);
// Inclusive bounds; a lower bound above the upper one gives nothing.
std::vector<Cell*> rows_between(CellSeq seq, uint32_t start_row, uint32_t end_row);
std::vector<Cell*> columns_between(CellSeq seq, uint16_t start_col, uint16_t end_col);

// Sequential pass with an open flag: a cell containing `before` while no
// region is open opens one; otherwise a cell containing `after` while one is
// open closes it. Returns the opening and closing cells in order.
std::vector<Cell*> region_boundaries(CellSeq seq, std::string_view before, std::string_view after);
// Every cell whose row lies in the first region's band: rows r0..r1 of the
// first opening and closing cells, or r0 onwards when nothing closes it;
// empty when nothing opens or r1 < r0 (a list not ordered by row).
std::vector<Cell*> first_region(CellSeq seq, std::string_view before, std::string_view after);

// Texts of the cells in column `col` whose row is listed in `rows` (or in
// row `row` whose column is listed in `cols`), in sequence order. Repeated
// numbers do not repeat a text; unlisted or missing cells leave no gap.
std::vector<std::string> values_in_column(CellSeq seq, uint16_t col, std::span<const uint32_t> rows);
std::vector<std::string> values_in_row(CellSeq seq, uint32_t row, std::span<const uint16_t> cols);

// --- Rectangle of a sheet (the caller holds the sheet's shared lock) ------

struct CellRange {
    uint32_t start_row = 1;
    uint32_t end_row = 1048576;
    uint16_t start_col = 1;
    uint16_t end_col = 16384;
};

// Cells inside the inclusive bounds, in (row, column) order.
std::vector<Cell*> cells_in_range(const Sheet& sheet, const CellRange& range);

}  // namespace vorlix::search
