// Getters shared by Cell and ReadableCell: both are handles on cell records.
#pragma once

#include "binding.hpp"
#include "model/records.hpp"

namespace vorlix::py {

PyObject* cell_get_row(PyObject* self, void*);
PyObject* cell_get_column(PyObject* self, void*);
PyObject* cell_get_letter(PyObject* self, void*);
PyObject* cell_get_value(PyObject* self, void*);
PyObject* cell_get_formula(PyObject* self, void*);
PyObject* cell_get_style(PyObject* self, void*);
PyObject* cell_get_data_type(PyObject* self, void*);
PyObject* cell_get_hidden_value(PyObject* self, void*);
PyObject* cell_is_formula(PyObject* self, void*);
PyObject* cell_is_value_bool(PyObject* self, void*);
PyObject* cell_is_value_numeric(PyObject* self, void*);
PyObject* cell_is_value_integer(PyObject* self, void*);
PyObject* cell_is_value_datetime(PyObject* self, void*);
PyObject* cell_is_value_empty(PyObject* self, void*);
// "<prefix>, Coords: Coordinate { row: R, column: C }"
PyObject* cell_repr(PyObject* self, const char* prefix);

}  // namespace vorlix::py
