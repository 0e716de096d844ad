// The Python classes of the module and the wrappers that make handles.
#pragma once

#include "binding.hpp"
#include "model/records.hpp"

namespace vorlix::py {

extern TypeSlot book_type;
extern TypeSlot sheet_type;
extern TypeSlot cell_type;
extern TypeSlot comment_type;
extern TypeSlot service_type;
extern TypeSlot finder_type;
extern TypeSlot readable_sheet_type;
extern TypeSlot readable_cell_type;

inline PyObject* wrap_sheet(Ref<Sheet> s) { return new_handle(sheet_type.get(), std::move(s)); }
inline PyObject* wrap_cell(Ref<Cell> c) { return new_handle(cell_type.get(), std::move(c)); }
inline PyObject* wrap_comment(Ref<Comment> c) { return new_handle(comment_type.get(), std::move(c)); }
inline PyObject* wrap_readable_sheet(Ref<Sheet> s) { return new_handle(readable_sheet_type.get(), std::move(s)); }
inline PyObject* wrap_readable_cell(Ref<Cell> c) { return new_handle(readable_cell_type.get(), std::move(c)); }

// A list of new handles, or nullptr with the error set.
template <class R, class Wrap>
PyObject* handle_list(const std::vector<Ref<R>>& records, Wrap wrap) {
    PyObject* list = PyList_New(Py_ssize_t(records.size()));
    if (!list) return nullptr;
    for (size_t i = 0; i < records.size(); ++i) {
        PyObject* h = wrap(records[i]);
        if (!h) {
            Py_DECREF(list);
            return nullptr;
        }
        PyList_SET_ITEM(list, Py_ssize_t(i), h);
    }
    return list;
}
// The same over raw pointers whose records are kept alive by the caller.
template <class R, class Wrap>
PyObject* handle_list(const std::vector<R*>& records, Wrap wrap) {
    PyObject* list = PyList_New(Py_ssize_t(records.size()));
    if (!list) return nullptr;
    for (size_t i = 0; i < records.size(); ++i) {
        PyObject* h = wrap(Ref<R>(records[i]));
        if (!h) {
            Py_DECREF(list);
            return nullptr;
        }
        PyList_SET_ITEM(list, Py_ssize_t(i), h);
    }
    return list;
}

// Merged ranges as a list of (start_row, end_row, start_col, end_col) tuples.
inline PyObject* merge_cells_list(const std::vector<MergeCell>& merges) {
    PyObject* list = PyList_New(Py_ssize_t(merges.size()));
    if (!list) return nullptr;
    for (size_t i = 0; i < merges.size(); ++i) {
        const MergeCell& m = merges[i];
        PyObject* t = Py_BuildValue("(kkkk)", (unsigned long)m.start_row, (unsigned long)m.end_row,
                                    (unsigned long)m.start_col, (unsigned long)m.end_col);
        if (!t) {
            Py_DECREF(list);
            return nullptr;
        }
        PyList_SET_ITEM(list, Py_ssize_t(i), t);
    }
    return list;
}

inline PyObject* optional_handle(PyObject* (*wrap)(Ref<Sheet>), Ref<Sheet> s) {
    if (!s) Py_RETURN_NONE;
    return wrap(std::move(s));
}

// The book operations shared by Book and Service. `outer` is the service's
// own lock (taken before the book's) or nullptr for a plain Book.
struct BookAccess {
    Book* book;
    RwLock* outer;
};
PyObject* book_add_sheet(BookAccess a, const Params& p, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* book_copy_sheet(BookAccess a, const Params& p, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* book_get_sheet_index(BookAccess a, const Params& p, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* book_get_sheet_name(BookAccess a, const Params& p, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* book_sheets(BookAccess a);
PyObject* book_to_json(BookAccess a);
PyObject* book_to_dict(BookAccess a);
size_t book_sheet_count(BookAccess a);

// Module-level registration (module.cpp).
bool add_to_module(PyObject* module, const char* name, PyObject* value);  // steals value

// Function tables of the readable submodule and of _vorlix (functions.cpp, readable_functions.cpp).
extern PyMethodDef top_level_functions[];
extern PyMethodDef readable_functions[];

}  // namespace vorlix::py
