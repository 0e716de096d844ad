// Sheet's search methods: the shared searches over the live sheet.
#include "search_ops.hpp"
#include "sheet_methods.hpp"

namespace vorlix::py {

PyMethodDef* sheet_search_methods() {
    static PyMethodDef methods[] = {
        {"find_value_by_coords", VORLIX_FAST(sheet_search<FindValueByCoords>), "find_value_by_coords($self, row, col)\n--\n\n"},
        {"get_value_cell", VORLIX_FAST(sheet_search<GetValueCell>), "get_value_cell($self, row, col)\n--\n\n"},
        {"find_cell_by_regex", VORLIX_FAST(sheet_search<FindCellByRegex>), "find_cell_by_regex($self, regex)\n--\n\n"},
        {"find_cell_by_str", VORLIX_FAST(sheet_search<FindCellByStr>), "find_cell_by_str($self, value)\n--\n\n"},
        {"find_cell_by_letter", VORLIX_FAST(sheet_search<FindCellByLetter>), "find_cell_by_letter($self, letter)\n--\n\n"},
        {"find_cells_by_regex", VORLIX_FAST(sheet_search<FindCellsByRegex>), "find_cells_by_regex($self, regex)\n--\n\n"},
        {"find_cells_by_str", VORLIX_FAST(sheet_search<FindCellsByStr>), "find_cells_by_str($self, value)\n--\n\n"},
        {"find_cells_for_rows_by_regex", VORLIX_FAST(sheet_search<FindCellsForRowsByRegex>),
         "find_cells_for_rows_by_regex($self, regex, col_stop)\n--\n\n"},
        {"find_cells_for_cols_by_regex", VORLIX_FAST(sheet_search<FindCellsForColsByRegex>),
         "find_cells_for_cols_by_regex($self, regex, row_stop)\n--\n\n"},
        {"find_cells_multi_regex", VORLIX_FAST(sheet_search<FindCellsMultiRegex>),
         "find_cells_multi_regex($self, before_regex, after_regex)\n--\n\n"},
        {"find_cells_between_regex", VORLIX_FAST(sheet_search<FindCellsBetweenRegex>),
         "find_cells_between_regex($self, before_regex, after_regex)\n--\n\n"},
        {"find_cells_range_rows", VORLIX_FAST(sheet_search<FindCellsRangeRows>),
         "find_cells_range_rows($self, start_row, end_row)\n--\n\n"},
        {"find_cells_range_cols", VORLIX_FAST(sheet_search<FindCellsRangeCols>),
         "find_cells_range_cols($self, start_col, end_col)\n--\n\n"},
        {"get_cells_by_range", VORLIX_FAST(sheet_search<GetCellsByRange>),
         "get_cells_by_range($self, start_row=None, end_row=None, start_col=None, end_col=None)\n--\n\n"},
        {nullptr, nullptr, 0, nullptr},
    };
    return methods;
}

}  // namespace vorlix::py
