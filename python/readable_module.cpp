// The readable submodule: its classes, create_finder and the list searches.
#include "classes.hpp"

namespace vorlix::py {

PyObject* create_finder(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
bool add_type(PyObject* module, TypeSlot& slot);
bool add_functions(PyObject* module, PyMethodDef* defs);

namespace {

PyMethodDef create_finder_def[] = {
    {"create_finder", (PyCFunction)(void (*)(void))create_finder, METH_FASTCALL | METH_KEYWORDS,
     "create_finder(sheets)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

bool fill_readable(PyObject* readable) {
    for (TypeSlot* t : {&finder_type, &readable_sheet_type, &readable_cell_type})
        if (!add_type(readable, *t)) return false;
    return add_functions(readable, create_finder_def) && add_functions(readable, readable_functions);
}

}  // namespace vorlix::py
