// Cell: a live handle on one cell record.
#include "cell_getters.hpp"
#include "classes.hpp"

#include <datetime.h>
#include "model/cell_text.hpp"
#include "model/coordinates.hpp"

namespace vorlix::py {

namespace {

Cell& cell_of(PyObject* self) { return *as_handle<Cell>(self)->record; }

// Reads the record under its shared lock with a shared borrow of the handle.
template <class F>
PyObject* read_cell(PyObject* self, F&& f) {
    return guarded([&]() -> PyObject* {
        Borrow b;
        if (!b.shared(as_handle<Cell>(self)->borrow)) return nullptr;
        Cell& c = cell_of(self);
        SharedGuard g(c.lock);
        return f(c);
    });
}

PyObject* py_bool(bool b) { return PyBool_FromLong(b); }

}  // namespace

PyObject* cell_get_row(PyObject* self, void*) {
    return read_cell(self, [](Cell& c) { return PyLong_FromUnsignedLong(c.row); });
}
PyObject* cell_get_column(PyObject* self, void*) {
    return read_cell(self, [](Cell& c) { return PyLong_FromUnsignedLong(c.column); });
}
PyObject* cell_get_letter(PyObject* self, void*) {
    Coordinate co{};
    PyObject* ok = read_cell(self, [&](Cell& c) {
        co = {c.row, c.column};
        Py_RETURN_NONE;
    });
    if (!ok) return nullptr;
    Py_DECREF(ok);
    return str_from(get_letter_coordinate(co.row, co.column));
}
PyObject* cell_get_value(PyObject* self, void*) {
    return read_cell(self, [](Cell& c) {
        char buf[kValueTextBuffer];
        return str_from(value_text_view(c.value, buf));
    });
}
PyObject* cell_get_formula(PyObject* self, void*) {
    return read_cell(self, [](Cell& c) { return optional_str(c.formula()); });
}
PyObject* cell_get_style(PyObject* self, void*) {
    return read_cell(self, [](Cell& c) { return optional_str(c.style()); });
}
PyObject* cell_get_hidden_value(PyObject* self, void*) {
    return read_cell(self, [](Cell& c) { return optional_str(c.hidden_value()); });
}
PyObject* cell_get_data_type(PyObject* self, void*) {
    return read_cell(self, [](Cell& c) { return str_from(c.data_type()); });
}
PyObject* cell_is_formula(PyObject* self, void*) {
    return read_cell(self, [](Cell& c) { return py_bool(c.has_formula() && c.dtype == DataType::F); });
}
PyObject* cell_is_value_bool(PyObject* self, void*) {
    return read_cell(self, [](Cell& c) { return py_bool(c.value.kind() == ValueKind::Bool); });
}
PyObject* cell_is_value_numeric(PyObject* self, void*) {
    return read_cell(self, [](Cell& c) { return py_bool(c.value.kind() == ValueKind::Number); });
}
PyObject* cell_is_value_integer(PyObject* self, void*) {
    return read_cell(self, [](Cell& c) { return py_bool(c.value.kind() == ValueKind::Integer); });
}
PyObject* cell_is_value_datetime(PyObject* self, void*) {
    return read_cell(self, [](Cell& c) { return py_bool(c.value.kind() == ValueKind::DateTime); });
}
PyObject* cell_is_value_empty(PyObject* self, void*) {
    return read_cell(self, [](Cell& c) { return py_bool(c.value.kind() == ValueKind::Empty); });
}

PyObject* cell_repr(PyObject* self, const char* prefix) {
    return read_cell(self, [&](Cell& c) {
        return PyUnicode_FromFormat("%s, Coords: Coordinate { row: %lu, column: %lu }", prefix,
                                    (unsigned long)c.row, (unsigned long)c.column);
    });
}

namespace {

// Setters convert under the name "value" and change the record under its
// exclusive lock; the handle is only borrowed shared.
template <class Apply>
int set_text_field(PyObject* self, PyObject* value, Apply apply) {
    return guarded([&]() -> int {
        if (!value) return refuse_delete();
        Borrow b;
        if (!b.shared(as_handle<Cell>(self)->borrow)) return -1;
        std::string_view text;
        if (!arg_str(value, "value", text)) return -1;
        apply(cell_of(self), text);
        return 0;
    });
}

int set_value(PyObject* self, PyObject* value, void*) {
    return set_text_field(self, value, [](Cell& c, std::string_view t) {
        CellValue v = parse_cell_text(t);
        ExclusiveGuard g(c.lock);
        c.assign_value(std::move(v));
    });
}
int set_formula(PyObject* self, PyObject* value, void*) {
    return set_text_field(self, value, [](Cell& c, std::string_view t) {
        std::string f(t);
        ExclusiveGuard g(c.lock);
        c.set_formula(std::move(f));
    });
}
int set_style(PyObject* self, PyObject* value, void*) {
    return set_text_field(self, value, [](Cell& c, std::string_view t) {
        std::string s(t);
        ExclusiveGuard g(c.lock);
        c.ensure_extra().style = std::move(s);
    });
}
int set_hidden_value(PyObject* self, PyObject* value, void*) {
    return set_text_field(self, value, [](Cell& c, std::string_view t) {
        std::string s(t);
        ExclusiveGuard g(c.lock);
        c.ensure_extra().hidden_value = std::move(s);
    });
}

// The typed setters: convert `value`, then replace the value (formula dropped).
template <bool (*Convert)(PyObject*, CellValue&), const Params* P>
PyObject* typed_setter(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        PyObject* a[1];
        if (!match(*P, args, nargs, kwnames, a)) return nullptr;
        Borrow b;
        if (!b.shared(as_handle<Cell>(self)->borrow)) return nullptr;
        CellValue v;
        if (!Convert(a[0], v)) return nullptr;
        Cell& c = cell_of(self);
        ExclusiveGuard g(c.lock);
        c.assign_value(std::move(v));
        Py_RETURN_NONE;
    });
}

bool number_value(PyObject* o, CellValue& out) {
    double d;
    if (!arg_double(o, "value", d)) return false;
    out = CellValue::number(d);
    return true;
}

bool integer_value(PyObject* o, CellValue& out) {
    long v;
    if (!arg_long(o, "value", v)) return false;
    if (v < INT32_MIN || v > INT32_MAX) {
        PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
        return false;
    }
    out = CellValue::integer(int32_t(v));
    return true;
}

bool bool_value(PyObject* o, CellValue& out) {
    bool b;
    if (!arg_bool(o, "value", b)) return false;
    out = CellValue::boolean(b);
    return true;
}

bool datetime_value(PyObject* o, CellValue& out) {
    if (!PyDateTimeAPI) {
        PyDateTime_IMPORT;
        if (!PyDateTimeAPI) return false;
    }
    if (!PyDateTime_Check(o)) {
        raise_cannot_convert(o, "PyDateTime");
        return fail_argument("value");
    }
    if (PyDateTime_DATE_GET_TZINFO(o) != Py_None) {
        PyErr_SetString(PyExc_TypeError, "argument 'value': expected a datetime without tzinfo");
        return false;
    }
    DateTime dt;
    dt.year = PyDateTime_GET_YEAR(o);
    dt.month = uint8_t(PyDateTime_GET_MONTH(o));
    dt.day = uint8_t(PyDateTime_GET_DAY(o));
    dt.hour = uint8_t(PyDateTime_DATE_GET_HOUR(o));
    dt.minute = uint8_t(PyDateTime_DATE_GET_MINUTE(o));
    dt.second = uint8_t(PyDateTime_DATE_GET_SECOND(o));
    dt.nanos = uint32_t(PyDateTime_DATE_GET_MICROSECOND(o)) * 1000u;
    out = CellValue::datetime(dt);
    return true;
}

const Params kSetNumber{"set_value_number", "Cell", {"value"}, 0, 1};
const Params kSetInteger{"set_value_integer", "Cell", {"value"}, 0, 1};
const Params kSetBool{"set_value_bool", "Cell", {"value"}, 0, 1};
const Params kSetDatetime{"set_value_datetime", "Cell", {"value"}, 0, 1};

#define FAST(f) (PyCFunction)(void (*)(void))(f), METH_FASTCALL | METH_KEYWORDS

PyMethodDef methods[] = {
    {"set_value_number", FAST((typed_setter<number_value, &kSetNumber>)), "set_value_number($self, value)\n--\n\n"},
    {"set_value_integer", FAST((typed_setter<integer_value, &kSetInteger>)),
     "set_value_integer($self, value)\n--\n\n"},
    {"set_value_bool", FAST((typed_setter<bool_value, &kSetBool>)), "set_value_bool($self, value)\n--\n\n"},
    {"set_value_datetime", FAST((typed_setter<datetime_value, &kSetDatetime>)),
     "set_value_datetime($self, value)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef getset[] = {
    {"row", cell_get_row, nullptr, nullptr, nullptr},
    {"column", cell_get_column, nullptr, nullptr, nullptr},
    {"letter", cell_get_letter, nullptr, nullptr, nullptr},
    {"value", cell_get_value, set_value, nullptr, nullptr},
    {"formula", cell_get_formula, set_formula, nullptr, nullptr},
    {"style", cell_get_style, set_style, nullptr, nullptr},
    {"data_type", cell_get_data_type, nullptr, nullptr, nullptr},
    {"hidden_value", cell_get_hidden_value, set_hidden_value, nullptr, nullptr},
    {"is_formula", cell_is_formula, nullptr, nullptr, nullptr},
    {"is_value_bool", cell_is_value_bool, nullptr, nullptr, nullptr},
    {"is_value_numeric", cell_is_value_numeric, nullptr, nullptr, nullptr},
    {"is_value_integer", cell_is_value_integer, nullptr, nullptr, nullptr},
    {"is_value_datetime", cell_is_value_datetime, nullptr, nullptr, nullptr},
    {"is_value_empty", cell_is_value_empty, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyObject* repr(PyObject* self) { return cell_repr(self, "Cell"); }

PyType_Slot slots[] = {
    {Py_tp_new, (void*)no_constructor_new},
    {Py_tp_dealloc, (void*)handle_dealloc<Cell>},
    {Py_tp_repr, (void*)repr},
    {Py_tp_methods, methods},
    {Py_tp_getset, getset},
    {0, nullptr},
};

PyType_Spec spec = {"vorlix.Cell", sizeof(Handle<Cell>), 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, slots};

}  // namespace

TypeSlot cell_type{&spec, "Cell"};

}  // namespace vorlix::py
