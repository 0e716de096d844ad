// The search functions of the readable submodule, over a list of snapshot cells.
#include "search_ops.hpp"

namespace vorlix::py {

#define VORLIX_LIST_SEARCH(OP, SIG) {OP::name, VORLIX_FAST(readable_function_search<OP>), SIG "\n--\n\n"}

PyMethodDef readable_functions[] = {
    VORLIX_LIST_SEARCH(FindCellByCoords, "find_cell_by_coords(row, col, cells)"),
    VORLIX_LIST_SEARCH(FindValueByCoords, "find_value_by_coords(row, col, cells)"),
    VORLIX_LIST_SEARCH(FindCellByRegex, "find_cell_by_regex(regex, cells)"),
    VORLIX_LIST_SEARCH(FindCellByStr, "find_cell_by_str(value, cells)"),
    VORLIX_LIST_SEARCH(FindCellByLetter, "find_cell_by_letter(letter, cells)"),
    VORLIX_LIST_SEARCH(FindCellsByRegex, "find_cells_by_regex(regex, cells)"),
    VORLIX_LIST_SEARCH(FindCellsByStr, "find_cells_by_str(value, cells)"),
    VORLIX_LIST_SEARCH(FindCellsForRowsByRegex, "find_cells_for_rows_by_regex(regex, col_stop, cells)"),
    VORLIX_LIST_SEARCH(FindCellsForColsByRegex, "find_cells_for_cols_by_regex(regex, row_stop, cells)"),
    VORLIX_LIST_SEARCH(FindCellsMultiRegex, "find_cells_multi_regex(before_regex, after_regex, cells)"),
    VORLIX_LIST_SEARCH(FindCellsBetweenRegex, "find_cells_between_regex(before_regex, after_regex, cells)"),
    VORLIX_LIST_SEARCH(FindCellsRangeRows, "find_cells_range_rows(start_row, end_row, cells)"),
    VORLIX_LIST_SEARCH(FindCellsRangeCols, "find_cells_range_cols(start_col, end_col, cells)"),
    VORLIX_LIST_SEARCH(FindValuesByColRows, "find_values_by_col_rows(col, rows, cells)"),
    VORLIX_LIST_SEARCH(FindValuesByRowCols, "find_values_by_row_cols(row, cols, cells)"),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace vorlix::py
