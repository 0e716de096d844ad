// ReadableSheet: a read-only handle on a snapshot sheet. Its searches
// release the interpreter lock (all but get_value_cell).
#include "classes.hpp"
#include "model/sheet_ops.hpp"
#include "search_ops.hpp"

namespace vorlix::py {

namespace {

const Sheet& snapshot_of(PyObject* self) { return *as_handle<Sheet>(self)->record; }

template <PyObject* (*Impl)(const Sheet&)>
PyObject* getter(PyObject* self, void*) {
    return guarded([&]() -> PyObject* {
        Borrow b;
        if (!b.shared(as_handle<Sheet>(self)->borrow)) return nullptr;
        return Impl(snapshot_of(self));
    });
}

PyObject* get_name(const Sheet& s) { return str_from(sheet_name(s)); }
PyObject* get_state(const Sheet& s) { return str_from(sheet_state(s)); }
PyObject* get_max_row(const Sheet& s) { return PyLong_FromUnsignedLong(sheet_max_row(s)); }
PyObject* get_max_column(const Sheet& s) { return PyLong_FromUnsignedLong(sheet_max_column(s)); }
PyObject* get_cells(const Sheet& s) { return handle_list(sheet_cells(s), wrap_readable_cell); }
PyObject* get_merge_cells(const Sheet& s) { return merge_cells_list(sheet_merge_cells(s)); }

PyObject* repr(PyObject* self) {
    return guarded([&]() -> PyObject* {
        Borrow b;
        if (!b.shared(as_handle<Sheet>(self)->borrow)) return nullptr;
        const Sheet& s = snapshot_of(self);
        std::string text;
        {
            SharedGuard g(s.lock);
            text = "ReadableSheet (" + s.name + ") cells: " + std::to_string(s.cells.size());
        }
        return str_from(text);
    });
}

PyMethodDef methods[] = {
    {"get_value_cell", VORLIX_FAST((readable_sheet_search<GetValueCell, false>)), "get_value_cell($self, row, col)\n--\n\n"},
    {"get_cells_by_range", VORLIX_FAST(readable_sheet_search<GetCellsByRange>),
     "get_cells_by_range($self, start_row=None, end_row=None, start_col=None, end_col=None)\n--\n\n"},
    {"find_cell_by_regex", VORLIX_FAST(readable_sheet_search<FindCellByRegex>), "find_cell_by_regex($self, regex)\n--\n\n"},
    {"find_cell_by_str", VORLIX_FAST(readable_sheet_search<FindCellByStr>), "find_cell_by_str($self, value)\n--\n\n"},
    {"find_cell_by_coords", VORLIX_FAST(readable_sheet_search<FindCellByCoords>), "find_cell_by_coords($self, row, col)\n--\n\n"},
    {"find_cell_by_letter", VORLIX_FAST(readable_sheet_search<FindCellByLetter>), "find_cell_by_letter($self, letter)\n--\n\n"},
    {"find_value_by_coords", VORLIX_FAST(readable_sheet_search<FindValueByCoords>),
     "find_value_by_coords($self, row, col)\n--\n\n"},
    {"find_cells_by_regex", VORLIX_FAST(readable_sheet_search<FindCellsByRegex>), "find_cells_by_regex($self, regex)\n--\n\n"},
    {"find_cells_by_str", VORLIX_FAST(readable_sheet_search<FindCellsByStr>), "find_cells_by_str($self, value)\n--\n\n"},
    {"find_cells_for_rows_by_regex", VORLIX_FAST(readable_sheet_search<FindCellsForRowsByRegex>),
     "find_cells_for_rows_by_regex($self, regex, col_stop)\n--\n\n"},
    {"find_cells_for_cols_by_regex", VORLIX_FAST(readable_sheet_search<FindCellsForColsByRegex>),
     "find_cells_for_cols_by_regex($self, regex, row_stop)\n--\n\n"},
    {"find_cells_multi_regex", VORLIX_FAST(readable_sheet_search<FindCellsMultiRegex>),
     "find_cells_multi_regex($self, before_regex, after_regex)\n--\n\n"},
    {"find_cells_between_regex", VORLIX_FAST(readable_sheet_search<FindCellsBetweenRegex>),
     "find_cells_between_regex($self, before_regex, after_regex)\n--\n\n"},
    {"find_cells_range_rows", VORLIX_FAST(readable_sheet_search<FindCellsRangeRows>),
     "find_cells_range_rows($self, start_row, end_row)\n--\n\n"},
    {"find_cells_range_cols", VORLIX_FAST(readable_sheet_search<FindCellsRangeCols>),
     "find_cells_range_cols($self, start_col, end_col)\n--\n\n"},
    {"find_values_by_col_rows", VORLIX_FAST(readable_sheet_search<FindValuesByColRows>),
     "find_values_by_col_rows($self, col, rows)\n--\n\n"},
    {"find_values_by_row_cols", VORLIX_FAST(readable_sheet_search<FindValuesByRowCols>),
     "find_values_by_row_cols($self, row, cols)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef getset[] = {
    {"name", getter<get_name>, nullptr, nullptr, nullptr},
    {"sheet_state", getter<get_state>, nullptr, nullptr, nullptr},
    {"max_row", getter<get_max_row>, nullptr, nullptr, nullptr},
    {"max_column", getter<get_max_column>, nullptr, nullptr, nullptr},
    {"cells", getter<get_cells>, nullptr, nullptr, nullptr},
    {"merge_cells", getter<get_merge_cells>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_new, (void*)no_constructor_new},
    {Py_tp_dealloc, (void*)handle_dealloc<Sheet>},
    {Py_tp_repr, (void*)repr},
    {Py_tp_methods, methods},
    {Py_tp_getset, getset},
    {0, nullptr},
};

PyType_Spec spec = {"vorlix.readable.ReadableSheet", sizeof(Handle<Sheet>), 0,
                    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, slots};

}  // namespace

TypeSlot readable_sheet_type{&spec, "ReadableSheet"};

}  // namespace vorlix::py
