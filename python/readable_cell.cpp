// ReadableCell: a read-only handle on a snapshot cell.
#include "cell_getters.hpp"
#include "classes.hpp"

namespace vorlix::py {

namespace {

PyGetSetDef getset[] = {
    {"row", cell_get_row, nullptr, nullptr, nullptr},
    {"column", cell_get_column, nullptr, nullptr, nullptr},
    {"letter", cell_get_letter, nullptr, nullptr, nullptr},
    {"value", cell_get_value, nullptr, nullptr, nullptr},
    {"formula", cell_get_formula, nullptr, nullptr, nullptr},
    {"style", cell_get_style, nullptr, nullptr, nullptr},
    {"data_type", cell_get_data_type, nullptr, nullptr, nullptr},
    {"is_formula", cell_is_formula, nullptr, nullptr, nullptr},
    {"is_value_bool", cell_is_value_bool, nullptr, nullptr, nullptr},
    {"is_value_numeric", cell_is_value_numeric, nullptr, nullptr, nullptr},
    {"is_value_integer", cell_is_value_integer, nullptr, nullptr, nullptr},
    {"is_value_datetime", cell_is_value_datetime, nullptr, nullptr, nullptr},
    {"is_value_empty", cell_is_value_empty, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyObject* repr(PyObject* self) { return cell_repr(self, "ReadableCell"); }

PyType_Slot slots[] = {
    {Py_tp_new, (void*)no_constructor_new},
    {Py_tp_dealloc, (void*)handle_dealloc<Cell>},
    {Py_tp_repr, (void*)repr},
    {Py_tp_getset, getset},
    {0, nullptr},
};

PyType_Spec spec = {"vorlix.readable.ReadableCell", sizeof(Handle<Cell>), 0,
                    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, slots};

}  // namespace

TypeSlot readable_cell_type{&spec, "ReadableCell"};

}  // namespace vorlix::py
