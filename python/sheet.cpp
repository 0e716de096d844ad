// Sheet: a live handle on a sheet of a book (its searches are in sheet_search.cpp).
#include "classes.hpp"
#include "model/sheet_ops.hpp"
#include "sheet_methods.hpp"

namespace vorlix::py {

namespace {

Sheet& sheet_of(PyObject* self) { return *as_handle<Sheet>(self)->record; }

template <PyObject* (*Impl)(Sheet&, PyObject* const*, Py_ssize_t, PyObject*), bool Exclusive = false>
PyObject* method(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        Borrow b;
        if (!(Exclusive ? b.exclusive(as_handle<Sheet>(self)->borrow) : b.shared(as_handle<Sheet>(self)->borrow)))
            return nullptr;
        return Impl(sheet_of(self), args, nargs, kwnames);
    });
}

template <PyObject* (*Impl)(Sheet&)>
PyObject* getter(PyObject* self, void*) {
    return guarded([&]() -> PyObject* {
        Borrow b;
        if (!b.shared(as_handle<Sheet>(self)->borrow)) return nullptr;
        return Impl(sheet_of(self));
    });
}

const Params kCell{"cell", "Sheet", {"row", "col", "value"}, 0, 2};
PyObject* cell(Sheet& s, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* a[3];
    if (!match(kCell, args, nargs, kwnames, a)) return nullptr;
    uint32_t row;
    uint16_t col;
    std::string_view text;
    if (!arg_u32(a[0], "row", row) || !arg_u16(a[1], "col", col)) return nullptr;
    const bool has_value = a[2] && a[2] != Py_None;
    if (has_value && !arg_str(a[2], "value", text)) return nullptr;
    return wrap_cell(sheet_cell(s, row, col, has_value ? &text : nullptr));
}

const Params kSetSheetState{"set_sheet_state", "Sheet", {"state"}, 0, 1};
PyObject* set_state(Sheet& s, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* a[1];
    std::string_view state;
    if (!match(kSetSheetState, args, nargs, kwnames, a) || !arg_str(a[0], "state", state)) return nullptr;
    set_sheet_state(s, std::string(state));
    Py_RETURN_NONE;
}

const Params kAddMerge{"add_merge_cells", "Sheet", {"start_row", "end_row", "start_col", "end_col"}, 0, 4};
PyObject* add_merge(Sheet& s, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* a[4];
    MergeCell m;
    if (!match(kAddMerge, args, nargs, kwnames, a) || !arg_u32(a[0], "start_row", m.start_row) ||
        !arg_u32(a[1], "end_row", m.end_row) || !arg_u16(a[2], "start_col", m.start_col) ||
        !arg_u16(a[3], "end_col", m.end_col))
        return nullptr;
    add_merge_cells(s, m);
    Py_RETURN_NONE;
}

const Params kAddComment{"add_comment", "Sheet", {"row", "col", "text", "author"}, 0, 4};
PyObject* add_comment_(Sheet& s, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* a[4];
    uint32_t row;
    uint16_t col;
    std::string_view text, author;
    if (!match(kAddComment, args, nargs, kwnames, a) || !arg_u32(a[0], "row", row) || !arg_u16(a[1], "col", col) ||
        !arg_str(a[2], "text", text) || !arg_str(a[3], "author", author))
        return nullptr;
    add_comment(s, row, col, std::string(text), std::string(author));
    Py_RETURN_NONE;
}

// The eight dimension methods share two shapes: (number, value) setters and (number) getters.
template <class Num, bool (*ConvNum)(PyObject*, const char*, Num&), class Val,
          bool (*ConvVal)(PyObject*, const char*, Val&), void (*Set)(Sheet&, Num, Val), const Params* P>
PyObject* dim_setter(Sheet& s, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* a[2];
    Num n;
    Val v;
    const char* const* names = P->names.begin();
    if (!match(*P, args, nargs, kwnames, a) || !ConvNum(a[0], names[0], n) || !ConvVal(a[1], names[1], v))
        return nullptr;
    Set(s, n, v);
    Py_RETURN_NONE;
}

PyObject* py_value(double d) { return PyFloat_FromDouble(d); }
PyObject* py_value(bool b) { return PyBool_FromLong(b); }

template <class Num, bool (*ConvNum)(PyObject*, const char*, Num&), class R, R (*Get)(const Sheet&, Num),
          const Params* P>
PyObject* dim_getter(Sheet& s, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* a[1];
    Num n;
    if (!match(*P, args, nargs, kwnames, a) || !ConvNum(a[0], P->names.begin()[0], n)) return nullptr;
    return py_value(Get(s, n));
}

const Params kSetHeightRow{"set_height_row", "Sheet", {"row_num", "val"}, 0, 2};
const Params kSetHiddenRow{"set_hidden_row", "Sheet", {"row_num", "val"}, 0, 2};
const Params kSetWidthColumn{"set_width_column", "Sheet", {"col_num", "val"}, 0, 2};
const Params kSetHiddenColumn{"set_hidden_column", "Sheet", {"col_num", "val"}, 0, 2};
const Params kGetHeightByRow{"get_height_by_row", "Sheet", {"row_num"}, 0, 1};
const Params kGetHiddenByRow{"get_hidden_by_row", "Sheet", {"row_num"}, 0, 1};
const Params kGetWidthByColumn{"get_width_by_column", "Sheet", {"col_num"}, 0, 1};
const Params kGetHiddenByColumn{"get_hidden_by_column", "Sheet", {"col_num"}, 0, 1};

const Params kDeleteCols{"delete_cols", "Sheet", {"idx", "amount"}, 0, 2};
const Params kDeleteRows{"delete_rows", "Sheet", {"idx", "amount"}, 0, 2};

PyObject* del_cols(Sheet& s, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* a[2];
    uint16_t idx, amount;
    if (!match(kDeleteCols, args, nargs, kwnames, a) || !arg_u16(a[0], "idx", idx) || !arg_u16(a[1], "amount", amount))
        return nullptr;
    delete_cols(s, idx, amount);
    Py_RETURN_NONE;
}

PyObject* del_rows(Sheet& s, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* a[2];
    uint32_t idx, amount;
    if (!match(kDeleteRows, args, nargs, kwnames, a) || !arg_u32(a[0], "idx", idx) || !arg_u32(a[1], "amount", amount))
        return nullptr;
    delete_rows(s, idx, amount);
    Py_RETURN_NONE;
}

// ------------------------------------------------------------- getters

PyObject* get_name(Sheet& s) { return str_from(sheet_name(s)); }
PyObject* get_state(Sheet& s) { return str_from(sheet_state(s)); }
PyObject* get_max_row(Sheet& s) { return PyLong_FromUnsignedLong(sheet_max_row(s)); }
PyObject* get_max_column(Sheet& s) { return PyLong_FromUnsignedLong(sheet_max_column(s)); }
PyObject* get_cells(Sheet& s) { return handle_list(sheet_cells(s), wrap_cell); }
PyObject* get_comments(Sheet& s) { return handle_list(sheet_comments(s), wrap_comment); }

int set_name(PyObject* self, PyObject* value, void*) {
    return guarded([&]() -> int {
        if (!value) return refuse_delete();
        Borrow b;
        if (!b.shared(as_handle<Sheet>(self)->borrow)) return -1;
        std::string_view name;
        if (!arg_str(value, "name", name)) return -1;
        set_sheet_name(sheet_of(self), std::string(name));
        return 0;
    });
}

PyObject* repr(PyObject* self) {
    return guarded([&]() -> PyObject* {
        Borrow b;
        if (!b.shared(as_handle<Sheet>(self)->borrow)) return nullptr;
        Sheet& s = sheet_of(self);
        std::string name;
        size_t count;
        {
            SharedGuard g(s.lock);
            name = s.name;
            count = s.cells.size();
        }
        std::string text = "Sheet (" + name + ") cells: " + std::to_string(count);
        return str_from(text);
    });
}

#define FAST(f) (PyCFunction)(void (*)(void))(f), METH_FASTCALL | METH_KEYWORDS

PyMethodDef model_methods[] = {
    {"cell", FAST((method<cell>)), "cell($self, row, col, value=None)\n--\n\n"},
    {"set_sheet_state", FAST((method<set_state>)), "set_sheet_state($self, state)\n--\n\n"},
    {"add_merge_cells", FAST((method<add_merge, true>)),
     "add_merge_cells($self, start_row, end_row, start_col, end_col)\n--\n\n"},
    {"add_comment", FAST((method<add_comment_, true>)), "add_comment($self, row, col, text, author)\n--\n\n"},
    {"set_height_row",
     FAST((method<dim_setter<uint32_t, arg_u32, double, arg_double, set_height_row, &kSetHeightRow>>)),
     "set_height_row($self, row_num, val)\n--\n\n"},
    {"set_hidden_row", FAST((method<dim_setter<uint32_t, arg_u32, bool, arg_bool, set_hidden_row, &kSetHiddenRow>>)),
     "set_hidden_row($self, row_num, val)\n--\n\n"},
    {"set_width_column",
     FAST((method<dim_setter<uint16_t, arg_u16, double, arg_double, set_width_column, &kSetWidthColumn>>)),
     "set_width_column($self, col_num, val)\n--\n\n"},
    {"set_hidden_column",
     FAST((method<dim_setter<uint16_t, arg_u16, bool, arg_bool, set_hidden_column, &kSetHiddenColumn>>)),
     "set_hidden_column($self, col_num, val)\n--\n\n"},
    {"get_height_by_row", FAST((method<dim_getter<uint32_t, arg_u32, double, get_height_by_row, &kGetHeightByRow>>)),
     "get_height_by_row($self, row_num)\n--\n\n"},
    {"get_hidden_by_row", FAST((method<dim_getter<uint32_t, arg_u32, bool, get_hidden_by_row, &kGetHiddenByRow>>)),
     "get_hidden_by_row($self, row_num)\n--\n\n"},
    {"get_width_by_column",
     FAST((method<dim_getter<uint16_t, arg_u16, double, get_width_by_column, &kGetWidthByColumn>>)),
     "get_width_by_column($self, col_num)\n--\n\n"},
    {"get_hidden_by_column",
     FAST((method<dim_getter<uint16_t, arg_u16, bool, get_hidden_by_column, &kGetHiddenByColumn>>)),
     "get_hidden_by_column($self, col_num)\n--\n\n"},
    {"delete_cols", FAST((method<del_cols>)), "delete_cols($self, idx, amount)\n--\n\n"},
    {"delete_rows", FAST((method<del_rows>)), "delete_rows($self, idx, amount)\n--\n\n"},
};

PyObject* get_merge_cells(Sheet& s) { return merge_cells_list(sheet_merge_cells(s)); }

PyGetSetDef getset[] = {
    {"name", getter<get_name>, set_name, nullptr, nullptr},
    {"sheet_state", getter<get_state>, nullptr, nullptr, nullptr},
    {"max_row", getter<get_max_row>, nullptr, nullptr, nullptr},
    {"max_column", getter<get_max_column>, nullptr, nullptr, nullptr},
    {"cells", getter<get_cells>, nullptr, nullptr, nullptr},
    {"merge_cells", getter<get_merge_cells>, nullptr, nullptr, nullptr},
    {"comments", getter<get_comments>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

std::vector<PyMethodDef> all_methods;

PyType_Slot slots[] = {
    {Py_tp_new, (void*)no_constructor_new},
    {Py_tp_dealloc, (void*)handle_dealloc<Sheet>},
    {Py_tp_repr, (void*)repr},
    {Py_tp_methods, nullptr},  // model and search methods, joined in prepare()
    {Py_tp_getset, getset},
    {0, nullptr},
};

void prepare() {
    all_methods.assign(std::begin(model_methods), std::end(model_methods));
    for (PyMethodDef* m = sheet_search_methods(); m->ml_name; ++m) all_methods.push_back(*m);
    all_methods.push_back({nullptr, nullptr, 0, nullptr});
    for (PyType_Slot& s : slots)
        if (s.slot == Py_tp_methods) s.pfunc = all_methods.data();
}

PyType_Spec spec = {"vorlix.Sheet", sizeof(Handle<Sheet>), 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, slots};

}  // namespace

TypeSlot sheet_type{&spec, "Sheet", prepare};

}  // namespace vorlix::py
