#include "snapshot_reader.hpp"

#include "classes.hpp"
#include "search/snapshot.hpp"

namespace vorlix::py {

namespace {

// A new reference to field `name` of obj: by key for dicts, else by attribute.
PyObject* read_field(PyObject* obj, const char* name) {
    if (PyDict_Check(obj)) {
        PyObject* key = PyUnicode_FromString(name);
        if (!key) return nullptr;
        PyObject* v = PyObject_GetItem(obj, key);
        Py_DECREF(key);
        return v;
    }
    return PyObject_GetAttrString(obj, name);
}

bool read_str(PyObject* obj, const char* name, std::string& out) {
    PyObject* v = read_field(obj, name);
    if (!v) return false;
    std::string_view s;
    bool ok = arg_str(v, name, s);
    if (ok) out.assign(s);
    Py_DECREF(v);
    return ok;
}

bool read_optional_str(PyObject* obj, const char* name, std::optional<std::string>& out) {
    PyObject* v = read_field(obj, name);
    if (!v) return false;
    bool ok = true;
    if (v != Py_None) {
        std::string_view s;
        ok = arg_str(v, name, s);
        if (ok) out.emplace(s);
    }
    Py_DECREF(v);
    return ok;
}

template <class T, bool (*Conv)(PyObject*, const char*, T&)>
bool read_number(PyObject* obj, const char* name, T& out) {
    PyObject* v = read_field(obj, name);
    if (!v) return false;
    bool ok = Conv(v, name, out);
    Py_DECREF(v);
    return ok;
}

bool merge_item(PyObject* item, MergeCell& m) {
    if (!check_sequence(item)) return false;
    PyObject* fast = PySequence_Fast(item, "merged range must be a sequence");
    if (!fast) return false;
    bool ok = false;
    if (PySequence_Fast_GET_SIZE(fast) != 4) {
        PyErr_Format(PyExc_TypeError, "a merged range needs exactly 4 integers, got %zd",
                     PySequence_Fast_GET_SIZE(fast));
    } else {
        PyObject** v = PySequence_Fast_ITEMS(fast);
        // Out-of-range bounds are refused rather than wrapped around.
        ok = to_u32(v[0], m.start_row) && to_u32(v[1], m.end_row) && to_u16(v[2], m.start_col) &&
             to_u16(v[3], m.end_col);
    }
    Py_DECREF(fast);
    return ok;
}

bool read_merges(PyObject* obj, std::vector<MergeCell>& out) {
    PyObject* v = read_field(obj, "merge_cells");
    if (!v) return false;
    bool ok = v == Py_None || to_vector(v, out, merge_item) || fail_argument("merge_cells");
    Py_DECREF(v);
    return ok;
}

bool read_cell(PyObject* item, SnapshotCellSource& c) {
    return read_number<uint32_t, arg_u32>(item, "row", c.row) &&
           read_number<uint16_t, arg_u16>(item, "column", c.column) && read_optional_str(item, "value", c.value) &&
           read_optional_str(item, "formula", c.formula) && read_str(item, "data_type", c.data_type);
}

// Re-raises the pending exception as the same type with a message that says
// where it happened; the original stays as the cause.
void add_location(const std::string& where) {
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    PyErr_NormalizeException(&type, &value, &tb);
    if (tb && value) PyException_SetTraceback(value, tb);
    PyObject* text = value ? PyObject_Str(value) : nullptr;
    if (!text) {
        PyErr_Clear();
        text = PyUnicode_FromString("<exception str() failed>");
    }
    // Sheet names may hold any character, NUL included: no C strings here.
    PyObject* place = text ? PyUnicode_DecodeUTF8(where.data(), Py_ssize_t(where.size()), "replace") : nullptr;
    PyObject* msg = place ? PyUnicode_FromFormat("%U: %U", place, text) : nullptr;
    Py_XDECREF(place);
    Py_XDECREF(text);
    PyObject* exc = msg ? PyObject_CallOneArg(type, msg) : nullptr;
    Py_XDECREF(msg);
    if (!exc || !PyObject_TypeCheck(exc, reinterpret_cast<PyTypeObject*>(type))) {
        // The type cannot be rebuilt with a message (unusual constructor): keep the original.
        Py_XDECREF(exc);
        PyErr_Clear();
        PyErr_Restore(type, value, tb);
        return;
    }
    PyException_SetCause(exc, value);  // steals value
    Py_XDECREF(tb);
    PyErr_SetObject(type, exc);
    Py_DECREF(type);
    Py_DECREF(exc);
}

}  // namespace

Ref<Sheet> build_sheet_snapshot(PyObject* source, Py_ssize_t index) {
    // Live sheets and snapshots cannot be subclassed or patched: reading their
    // records gives what reading their attributes would.
    PyTypeObject* live = sheet_type.get();
    PyTypeObject* snap = readable_sheet_type.get();
    if (!live || !snap) return {};
    if (Py_IS_TYPE(source, live) || Py_IS_TYPE(source, snap)) {
        Borrow b;
        if (!b.shared(as_handle<Sheet>(source)->borrow)) {
            add_location("cannot read sheets[" + std::to_string(index) + "]");
            return {};
        }
        const Sheet& s = *as_handle<Sheet>(source)->record;
        SharedGuard g(s.lock);
        return snapshot_of_sheet(s);
    }

    std::string name, state;
    std::vector<MergeCell> merges;
    if (!read_str(source, "name", name) || !read_str(source, "sheet_state", state) || !read_merges(source, merges)) {
        add_location("cannot read sheets[" + std::to_string(index) + "]");
        return {};
    }
    const std::string where = "cannot read sheets[" + std::to_string(index) + "] ('" + name + "')";
    PyObject* cells = read_field(source, "cells");
    if (!cells) {
        add_location(where);
        return {};
    }
    if (!PyList_Check(cells)) {
        raise_cannot_convert(cells, "PyList");
        fail_argument("cells");
        Py_DECREF(cells);
        add_location(where);
        return {};
    }
    std::vector<SnapshotCellSource> sources;
    const Py_ssize_t start_len = PyList_GET_SIZE(cells);
    sources.reserve(size_t(start_len));
    // Reads may run Python code that changes the list: stop at the shorter length.
    for (Py_ssize_t i = 0; i < start_len && i < PyList_GET_SIZE(cells); ++i) {
#ifdef Py_GIL_DISABLED
        PyObject* item = PyList_GetItemRef(cells, i);
        if (!item) break;
#else
        PyObject* item = PyList_GET_ITEM(cells, i);
        Py_INCREF(item);
#endif
        SnapshotCellSource c;
        bool ok = read_cell(item, c);
        Py_DECREF(item);
        if (!ok) {
            Py_DECREF(cells);
            add_location(where + " cells[" + std::to_string(i) + "]");
            return {};
        }
        sources.push_back(std::move(c));
    }
    Py_DECREF(cells);
    return build_snapshot(std::move(name), std::move(state), std::move(merges), std::move(sources));
}

}  // namespace vorlix::py
