// The module's entry function and the layout of _vorlix and its readable submodule.
#include <atomic>

#include "classes.hpp"

namespace vorlix::py {

const char* module_version();
bool fill_readable(PyObject* readable);  // readable_module.cpp

bool add_to_module(PyObject* module, const char* name, PyObject* value) {
    if (!value) return false;
    PyObject* all = PyObject_GetAttrString(module, "__all__");
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) {
            Py_DECREF(value);
            return false;
        }
        PyErr_Clear();
        all = PyList_New(0);
        if (!all || PyObject_SetAttrString(module, "__all__", all) < 0) {
            Py_XDECREF(all);
            Py_DECREF(value);
            return false;
        }
    }
    if (!PyList_Check(all)) {
        raise_cannot_convert(all, "PyList");
        Py_DECREF(all);
        Py_DECREF(value);
        return false;
    }
    PyObject* key = PyUnicode_FromString(name);
    bool ok = key && PyList_Append(all, key) == 0;
    Py_XDECREF(key);
    Py_DECREF(all);
    ok = ok && PyObject_SetAttrString(module, name, value) == 0;
    Py_DECREF(value);
    return ok;
}

bool add_type(PyObject* module, TypeSlot& slot) {
    PyTypeObject* t = slot.get();
    if (!t) return false;
    Py_INCREF(t);
    return add_to_module(module, slot.class_name, reinterpret_cast<PyObject*>(t));
}

bool add_functions(PyObject* module, PyMethodDef* defs) {
    PyObject* modname = PyModule_GetNameObject(module);
    if (!modname) return false;
    for (PyMethodDef* d = defs; d->ml_name; ++d) {
        PyObject* f = PyCFunction_NewEx(d, module, modname);
        if (!add_to_module(module, d->ml_name, f)) {
            Py_DECREF(modname);
            return false;
        }
    }
    Py_DECREF(modname);
    return true;
}

namespace {

PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "_vorlix", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr};

std::atomic<int64_t> initialised_interpreter{-1};
PyObject* module_object = nullptr;

bool initialise(PyObject* m) {
    if (!add_to_module(m, "__version__", PyUnicode_FromString(module_version()))) return false;
    for (TypeSlot* t : {&service_type, &book_type, &sheet_type, &cell_type, &comment_type})
        if (!add_type(m, *t)) return false;
    if (!add_functions(m, top_level_functions)) return false;
    if (!add_to_module(m, "DEFAULT_ROW_HEIGHT", PyFloat_FromDouble(kDefaultRowHeight))) return false;
    if (!add_to_module(m, "DEFAULT_COLUMN_WIDTH", PyFloat_FromDouble(kDefaultColumnWidth))) return false;
    // Reachable for `except` clauses, but not part of __all__.
    PyObject* failure = internal_failure_type();
    if (!failure || PyModule_AddObjectRef(m, "InternalFailure", failure) < 0) return false;

    PyObject* readable = PyModule_New("readable");
    if (!readable) return false;
    if (!fill_readable(readable)) {
        Py_DECREF(readable);
        return false;
    }
    Py_INCREF(readable);  // one reference goes to the module attribute
    if (!add_to_module(m, "readable", readable)) {
        Py_DECREF(readable);
        return false;
    }
    PyObject* sys = PyImport_ImportModule("sys");
    PyObject* modules = sys ? PyObject_GetAttrString(sys, "modules") : nullptr;
    Py_XDECREF(sys);
    PyObject* key = modules ? PyUnicode_FromString("vorlix.readable") : nullptr;
    bool ok = key && PyObject_SetItem(modules, key, readable) == 0;
    Py_XDECREF(key);
    Py_XDECREF(modules);
    Py_DECREF(readable);
    return ok;
}

}  // namespace

}  // namespace vorlix::py

extern "C" PyMODINIT_FUNC PyInit__vorlix() {
    using namespace vorlix::py;
    return guarded([]() -> PyObject* {
        PyInterpreterState* interp = PyInterpreterState_Get();
        int64_t id = PyInterpreterState_GetID(interp);
        if (id < 0) return ensure_error();
        int64_t expected = -1;
        if (!initialised_interpreter.compare_exchange_strong(expected, id) && expected != id) {
            PyErr_SetString(PyExc_ImportError,
                            "vorlix does not support sub-interpreters: it can be imported in one interpreter only");
            return nullptr;
        }
        if (module_object) {
            Py_INCREF(module_object);
            return module_object;
        }
        PyObject* m = PyModule_Create2(&module_def, 1013);
        if (!m) return nullptr;
#ifdef Py_GIL_DISABLED
        if (PyUnstable_Module_SetGIL(m, Py_MOD_GIL_USED) < 0) {
            Py_DECREF(m);
            return nullptr;
        }
#endif
        if (!initialise(m)) {
            Py_DECREF(m);
            return ensure_error();
        }
        Py_INCREF(m);
        module_object = m;
        return m;
    });
}
