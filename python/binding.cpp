#include "binding.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vorlix::py {

// ---------------------------------------------------------------- errors

PyObject* internal_failure_type() {
    static PyObject* type = nullptr;
    if (!type) {
        type = PyErr_NewExceptionWithDoc(
            "vorlix.InternalFailure",
            "An operation met a condition it cannot handle. Derived from BaseException.",
            PyExc_BaseException, nullptr);
    }
    return type;
}

void raise_internal_failure(std::string_view message) {
    // A failure while reporting a failure cannot be reported.
    PyObject* type = internal_failure_type();
    if (!type) {
        std::fputs("uncaught panic at ffi boundary\n", stderr);
        std::abort();
    }
    if (message.empty()) message = "internal failure";
    PyObject* text = PyUnicode_DecodeUTF8(message.data(), Py_ssize_t(message.size()), "replace");
    if (!text) {
        std::fputs("uncaught panic at ffi boundary\n", stderr);
        std::abort();
    }
    PyErr_SetObject(type, text);
    Py_DECREF(text);
}

std::string type_name_of(PyObject* o) {
    PyObject* name = PyType_GetQualName(Py_TYPE(o));
    if (name) {
        Py_ssize_t n;
        const char* s = PyUnicode_AsUTF8AndSize(name, &n);
        if (s) {
            std::string out(s, size_t(n));
            Py_DECREF(name);
            return out;
        }
        Py_DECREF(name);
    }
    PyErr_Clear();
    return "<failed to extract type name>";
}

void raise_cannot_convert(PyObject* o, const char* target) {
    std::string msg = "'" + type_name_of(o) + "' object cannot be converted to '" + target + "'";
    PyErr_SetString(PyExc_TypeError, msg.c_str());
}

bool fail_argument(const char* name) {
    if (!PyErr_Occurred()) {
        ensure_error();
        return false;
    }
    if (!PyErr_ExceptionMatches(PyExc_TypeError)) return false;
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    PyErr_NormalizeException(&type, &value, &tb);
    PyObject* text = value ? PyObject_Str(value) : nullptr;
    if (!text) {
        PyErr_Clear();
        text = PyUnicode_FromString("");
    }
    PyObject* msg = text ? PyUnicode_FromFormat("argument '%s': %U", name, text) : nullptr;
    Py_XDECREF(text);
    PyObject* cause = value ? PyException_GetCause(value) : nullptr;
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(tb);
    if (!msg) {
        Py_XDECREF(cause);
        return false;
    }
    PyObject* exc = PyObject_CallOneArg(PyExc_TypeError, msg);
    Py_DECREF(msg);
    if (!exc) {
        Py_XDECREF(cause);
        return false;
    }
    if (cause) PyException_SetCause(exc, cause);  // steals cause
    PyErr_SetObject(PyExc_TypeError, exc);
    Py_DECREF(exc);
    return false;
}

PyObject* ensure_error() {
    if (!PyErr_Occurred())
        PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
    return nullptr;
}

// --------------------------------------------------------------- borrows

bool Borrow::shared(BorrowFlag& f) {
    intptr_t v = f.load(std::memory_order_relaxed);
    do {
        if (v == -1) {
            PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
            return false;
        }
    } while (!f.compare_exchange_weak(v, v + 1, std::memory_order_acquire, std::memory_order_relaxed));
    flag_ = &f;
    exclusive_ = false;
    return true;
}

bool Borrow::exclusive(BorrowFlag& f) {
    intptr_t expected = 0;
    if (!f.compare_exchange_strong(expected, -1, std::memory_order_acquire, std::memory_order_relaxed)) {
        PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
        return false;
    }
    flag_ = &f;
    exclusive_ = true;
    return true;
}

void Borrow::release() noexcept {
    if (!flag_) return;
    if (exclusive_) flag_->store(0, std::memory_order_release);
    else flag_->fetch_sub(1, std::memory_order_release);
    flag_ = nullptr;
}

// --------------------------------------------------------------- handles

PyTypeObject* TypeSlot::get() {
    if (type) return type;
    if (prepare) prepare();
    PyObject* t = PyType_FromSpec(spec);
    if (!t) {
        PyErr_Print();
        raise_internal_failure(std::string("failed to create type object for ") + class_name);
        return nullptr;
    }
    type = reinterpret_cast<PyTypeObject*>(t);
    return type;
}

PyObject* no_constructor_new(PyTypeObject* type, PyObject*, PyObject*) {
    // tp_name is "vorlix.Sheet": the class name is the part after the last dot.
    const char* name = type->tp_name;
    if (const char* dot = std::strrchr(name, '.')) name = dot + 1;
    PyErr_Format(PyExc_TypeError, "No constructor defined for %s", name);
    return nullptr;
}

int refuse_delete() {
    PyErr_SetString(PyExc_AttributeError, "can't delete attribute");
    return -1;
}

bool check_self(PyObject* self, PyTypeObject* cls, const char* class_name) {
    if (cls && PyObject_TypeCheck(self, cls)) return true;
    if (!cls) return false;
    raise_cannot_convert(self, class_name);
    return false;
}

// ------------------------------------------------------ argument matching

namespace {

std::string full_name(const Params& p) {
    std::string s;
    if (p.cls) {
        s += p.cls;
        s += '.';
    }
    s += p.function;
    s += "()";
    return s;
}

std::string quoted_list(const std::vector<std::string>& names) {
    std::string s;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) s += names.size() == 2 ? " and " : (i + 1 == names.size() ? ", and " : ", ");
        s += "'" + names[i] + "'";
    }
    return s;
}

bool too_many_positional(const Params& p, Py_ssize_t given) {
    std::string msg = full_name(p);
    int n = int(p.names.size());
    if (p.required == n)
        msg += " takes " + std::to_string(n);
    else
        msg += " takes from " + std::to_string(p.required) + " to " + std::to_string(n);
    msg += " positional arguments but " + std::to_string(given) + (given == 1 ? " was" : " were") + " given";
    PyErr_SetString(PyExc_TypeError, msg.c_str());
    return false;
}

bool add_kwarg(PyObject** kwargs, PyObject* key, PyObject* value) {
    if (!*kwargs) {
        *kwargs = PyDict_New();
        if (!*kwargs) return false;
    }
    return PyDict_SetItem(*kwargs, key, value) == 0;
}

// Shared by both calling conventions: keys/values of keyword arguments.
bool match_keywords(const Params& p, Py_ssize_t nkw, PyObject* const* keys, PyObject* const* values,
                    PyObject** slots, PyObject** kwargs) {
    const char* const* names = p.names.begin();
    const int n = int(p.names.size());
    std::vector<std::string> posonly_given;
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject* key = keys[k];
        Py_ssize_t klen;
        const char* kname = PyUnicode_AsUTF8AndSize(key, &klen);
        if (!kname) return false;
        std::string_view kv(kname, size_t(klen));
        int found = -1;
        for (int i = p.positional_only; i < n; ++i) {
            if (kv == names[i]) { found = i; break; }
        }
        if (found >= 0) {
            if (slots[found]) {
                PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'",
                             full_name(p).c_str(), names[found]);
                return false;
            }
            slots[found] = values[k];
            continue;
        }
        bool positional_only = false;
        for (int i = 0; i < p.positional_only; ++i)
            if (kv == names[i]) positional_only = true;
        if (p.var_keywords) {
            if (!add_kwarg(kwargs, key, values[k])) return false;
            continue;
        }
        if (positional_only) {
            posonly_given.emplace_back(kv);
            continue;
        }
        PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'", full_name(p).c_str(), key);
        return false;
    }
    if (!posonly_given.empty()) {
        std::string msg = full_name(p) + " got some positional-only arguments passed as keyword arguments: " +
                          quoted_list(posonly_given);
        PyErr_SetString(PyExc_TypeError, msg.c_str());
        return false;
    }
    std::vector<std::string> missing;
    for (int i = 0; i < p.required; ++i)
        if (!slots[i]) missing.emplace_back(names[i]);
    if (!missing.empty()) {
        std::string msg = full_name(p) + " missing " + std::to_string(missing.size()) +
                          " required positional " + (missing.size() == 1 ? "argument" : "arguments") + ": " +
                          quoted_list(missing);
        PyErr_SetString(PyExc_TypeError, msg.c_str());
        return false;
    }
    return true;
}

}  // namespace

bool match(const Params& p, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** slots,
           PyObject** kwargs) {
    const Py_ssize_t n = Py_ssize_t(p.names.size());
    if (nargs > n) return too_many_positional(p, nargs);
    for (Py_ssize_t i = 0; i < n; ++i) slots[i] = i < nargs ? args[i] : nullptr;
    if (kwargs) *kwargs = nullptr;
    Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    if (nkw == 0 && nargs >= p.required) return true;  // the common case
    bool ok = match_keywords(p, nkw, nkw ? &PyTuple_GET_ITEM(kwnames, 0) : nullptr, args + nargs, slots, kwargs);
    if (!ok && kwargs && *kwargs) Py_CLEAR(*kwargs);
    return ok;
}

bool match_tuple(const Params& p, PyObject* args, PyObject* kwds, PyObject** slots, PyObject** kwargs) {
    Py_ssize_t nargs = PyTuple_GET_SIZE(args);
    std::vector<PyObject*> keys, values;
    if (kwds) {
        PyObject *k, *v;
        Py_ssize_t pos = 0;
        while (PyDict_Next(kwds, &pos, &k, &v)) {
            keys.push_back(k);
            values.push_back(v);
        }
    }
    const Py_ssize_t n = Py_ssize_t(p.names.size());
    if (nargs > n) return too_many_positional(p, nargs);
    for (Py_ssize_t i = 0; i < n; ++i) slots[i] = i < nargs ? PyTuple_GET_ITEM(args, i) : nullptr;
    if (kwargs) *kwargs = nullptr;
    bool ok = match_keywords(p, Py_ssize_t(keys.size()), keys.data(), values.data(), slots, kwargs);
    if (!ok && kwargs && *kwargs) Py_CLEAR(*kwargs);
    return ok;
}

// ------------------------------------------------------------ conversions

bool to_str(PyObject* o, std::string_view& out) {
    if (!PyUnicode_Check(o)) {
        raise_cannot_convert(o, "PyString");
        return false;
    }
    Py_ssize_t n;
    const char* s = PyUnicode_AsUTF8AndSize(o, &n);
    if (!s) return false;
    out = std::string_view(s, size_t(n));
    return true;
}

static bool out_of_range() {
    PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
    return false;
}

bool to_u16(PyObject* o, uint16_t& out) {
    long v = PyLong_AsLong(o);
    if (v == -1 && PyErr_Occurred()) return false;
    if (v < 0 || v > 65535) return out_of_range();
    out = uint16_t(v);
    return true;
}

bool to_u32(PyObject* o, uint32_t& out) {
    unsigned long long v;
    if (PyLong_CheckExact(o)) {
        v = PyLong_AsUnsignedLongLong(o);
    } else {
        PyObject* idx = PyNumber_Index(o);
        if (!idx) return false;
        v = PyLong_AsUnsignedLongLong(idx);
        Py_DECREF(idx);
    }
    if (v == (unsigned long long)-1 && PyErr_Occurred()) return false;
    if (v > 0xFFFFFFFFull) return out_of_range();
    out = uint32_t(v);
    return true;
}

bool to_long(PyObject* o, long& out) {
    long v = PyLong_AsLong(o);
    if (v == -1 && PyErr_Occurred()) return false;
    out = v;
    return true;
}

bool to_double(PyObject* o, double& out) {
    if (PyFloat_CheckExact(o)) {
        out = PyFloat_AS_DOUBLE(o);
        return true;
    }
    double v = PyFloat_AsDouble(o);
    if (v == -1.0 && PyErr_Occurred()) return false;
    out = v;
    return true;
}

static bool is_numpy_bool(PyObject* o) {
    PyTypeObject* tp = Py_TYPE(o);
    PyObject* qual = PyType_GetQualName(tp);
    if (!qual) {
        PyErr_Clear();
        return false;
    }
    bool name_ok = PyUnicode_CompareWithASCIIString(qual, "bool_") == 0 ||
                   PyUnicode_CompareWithASCIIString(qual, "bool") == 0;
    Py_DECREF(qual);
    if (!name_ok) return false;
    PyObject* mod = PyObject_GetAttrString(reinterpret_cast<PyObject*>(tp), "__module__");
    if (!mod) {
        PyErr_Clear();
        return false;
    }
    bool numpy = PyUnicode_Check(mod) && PyUnicode_CompareWithASCIIString(mod, "numpy") == 0;
    Py_DECREF(mod);
    return numpy;
}

bool to_bool(PyObject* o, bool& out) {
    if (o == Py_True) { out = true; return true; }
    if (o == Py_False) { out = false; return true; }
    if (is_numpy_bool(o)) {
        PyNumberMethods* nb = Py_TYPE(o)->tp_as_number;
        if (!nb || !nb->nb_bool) {
            std::string msg = "object of type '" + type_name_of(o) + "' does not define a '__bool__' conversion";
            PyErr_SetString(PyExc_AttributeError, msg.c_str());
            return false;
        }
        int r = nb->nb_bool(o);
        if (r < 0) return false;
        out = r != 0;
        return true;
    }
    raise_cannot_convert(o, "PyBool");
    return false;
}

bool to_list(PyObject* o) {
    if (PyList_Check(o)) return true;
    raise_cannot_convert(o, "PyList");
    return false;
}

bool check_sequence(PyObject* o) {
    if (PyUnicode_Check(o)) {
        PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
        return false;
    }
    if (!PySequence_Check(o)) {
        raise_cannot_convert(o, "Sequence");
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- results

PyObject* str_from(std::string_view s) {
    return PyUnicode_DecodeUTF8(s.data(), Py_ssize_t(s.size()), nullptr);
}

PyObject* optional_str(const std::optional<std::string>* s) {
    if (!s || !*s) Py_RETURN_NONE;
    return str_from(**s);
}

}  // namespace vorlix::py
