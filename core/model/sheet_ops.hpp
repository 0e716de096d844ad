// Sheet-level operations: cells, name and state, merged ranges, comments,
// dimensions and deletions. Each takes the sheet's lock (and cell locks
// after it) for one operation.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "records.hpp"

namespace vorlix {

// Finds or creates the cell at (row, col). With a value the text is
// classified and the formula dropped; without one only data_type becomes
// "General".
Ref<Cell> sheet_cell(Sheet& sheet, uint32_t row, uint16_t col, const std::string_view* value);

std::string sheet_name(const Sheet& sheet);
void set_sheet_name(Sheet& sheet, std::string name);
std::string sheet_state(const Sheet& sheet);
void set_sheet_state(Sheet& sheet, std::string state);
uint32_t sheet_max_row(const Sheet& sheet);
uint16_t sheet_max_column(const Sheet& sheet);
size_t sheet_cell_count(const Sheet& sheet);
std::vector<Ref<Cell>> sheet_cells(const Sheet& sheet);
std::vector<MergeCell> sheet_merge_cells(const Sheet& sheet);
void add_merge_cells(Sheet& sheet, MergeCell m);
void add_comment(Sheet& sheet, uint32_t row, uint16_t col, std::string text, std::string author);
std::vector<Ref<Comment>> sheet_comments(const Sheet& sheet);

void set_height_row(Sheet& sheet, uint32_t row, double height);
void set_hidden_row(Sheet& sheet, uint32_t row, bool hidden);
void set_width_column(Sheet& sheet, uint16_t col, double width);
void set_hidden_column(Sheet& sheet, uint16_t col, bool hidden);
double get_height_by_row(const Sheet& sheet, uint32_t row);
bool get_hidden_by_row(const Sheet& sheet, uint32_t row);
double get_width_by_column(const Sheet& sheet, uint16_t col);
bool get_hidden_by_column(const Sheet& sheet, uint16_t col);

// Removes the band [idx, idx + amount) and moves the cells beyond it back by
// amount. A record that another sheet's table also holds is not moved in
// place: this sheet gives the cell a record of its own first, so the other
// sheet keeps it at its old coordinate.
void delete_cols(Sheet& sheet, uint16_t idx, uint16_t amount);
void delete_rows(Sheet& sheet, uint32_t idx, uint32_t amount);

Coordinate cell_coordinate(const Cell& cell);

}  // namespace vorlix
