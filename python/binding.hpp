// The binding layer shared by every class: argument matching, conversions
// with their exact messages, borrow flags, handles and error mapping.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cxxabi.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/sync.hpp"

namespace vorlix::py {

// ---------------------------------------------------------------- errors

// The exception for conditions the code cannot handle; derived directly
// from BaseException so that `except Exception` does not swallow it.
PyObject* internal_failure_type();
void raise_internal_failure(std::string_view message);

// Qualified type name of an object, or "<failed to extract type name>".
std::string type_name_of(PyObject* o);
// "'<type>' object cannot be converted to '<target>'" as a TypeError.
void raise_cannot_convert(PyObject* o, const char* target);
// Re-raises a pending TypeError as "argument '<name>': <message>", keeping
// its cause; other exception types pass unchanged. Always returns false.
bool fail_argument(const char* name);
// SystemError when the interpreter failed without setting an exception.
PyObject* ensure_error();

// Runs f, turning a C++ exception into the internal-failure exception.
template <class F>
auto guarded(F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (abi::__forced_unwind&) {
        // Thread cancellation (an exiting interpreter ends daemon threads this
        // way) must run to completion.
        throw;
    } catch (const std::exception& e) {
        raise_internal_failure(e.what());
    } catch (...) {
        raise_internal_failure("");
    }
    if constexpr (std::is_same_v<decltype(f()), int>) return -1;
    else return nullptr;
}

// --------------------------------------------------------------- borrows

using BorrowFlag = std::atomic<intptr_t>;

class Borrow {
public:
    Borrow() = default;
    Borrow(const Borrow&) = delete;
    Borrow& operator=(const Borrow&) = delete;
    ~Borrow() { release(); }
    // Shared: fails with "Already mutably borrowed" while an exclusive borrow is held.
    bool shared(BorrowFlag& f);
    // Exclusive: fails with "Already borrowed" while any borrow is held.
    bool exclusive(BorrowFlag& f);
    void release() noexcept;

private:
    BorrowFlag* flag_ = nullptr;
    bool exclusive_ = false;
};

// --------------------------------------------------------------- handles

// Every object of the module: the header, one counted record reference and
// the borrow flag.
template <class R>
struct Handle {
    PyObject_HEAD
    R* record;
    BorrowFlag borrow;
};

template <class R>
PyObject* new_handle(PyTypeObject* type, Ref<R> record) {
    if (!type) return nullptr;
    auto* h = static_cast<Handle<R>*>(PyObject_Malloc(sizeof(Handle<R>)));
    if (!h) return PyErr_NoMemory();
    PyObject_Init(reinterpret_cast<PyObject*>(h), type);
    h->record = record.leak();
    new (&h->borrow) BorrowFlag(0);
    return reinterpret_cast<PyObject*>(h);
}

template <class R>
void handle_dealloc(PyObject* self) {
    PyTypeObject* tp = Py_TYPE(self);
    auto* h = reinterpret_cast<Handle<R>*>(self);
    Ref<R>::adopt(std::exchange(h->record, nullptr));
    tp->tp_free(self);
    Py_DECREF(tp);
}

template <class R>
Handle<R>* as_handle(PyObject* o) { return reinterpret_cast<Handle<R>*>(o); }

// Type objects are made once, on first use, from their PyType_Spec.
struct TypeSlot {
    PyType_Spec* spec;
    const char* class_name;
    void (*prepare)() = nullptr;  // fills slots that are only known at run time
    PyTypeObject* type = nullptr;
    PyTypeObject* get();  // sets the internal failure (after printing the cause) on error
};

// tp_new of classes that Python code cannot construct.
PyObject* no_constructor_new(PyTypeObject* type, PyObject*, PyObject*);
// Setter helper: deleting a settable attribute.
int refuse_delete();

// The receiving object must be an instance of the declaring class.
bool check_self(PyObject* self, PyTypeObject* cls, const char* class_name);

// ------------------------------------------------------ argument matching

struct Params {
    const char* function;            // "add_sheet"
    const char* cls;                 // "Book", or nullptr for module functions
    std::initializer_list<const char*> names;
    int positional_only = 0;
    int required = 0;
    bool var_keywords = false;
};

// Matches fast-call arguments to parameter slots (borrowed references, NULL
// when absent). kwargs receives a new dict of surplus keywords when the
// parameter list has **kwargs (and there are any).
bool match(const Params& p, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
           PyObject** slots, PyObject** kwargs = nullptr);
// The same for a tuple and dict (constructors).
bool match_tuple(const Params& p, PyObject* args, PyObject* kwds, PyObject** slots,
                 PyObject** kwargs = nullptr);

// ------------------------------------------------------------ conversions
// Each returns false with the exception set; wrap with fail_argument(name).

bool to_str(PyObject* o, std::string_view& out);
bool to_u16(PyObject* o, uint16_t& out);
bool to_u32(PyObject* o, uint32_t& out);
bool to_long(PyObject* o, long& out);
bool to_double(PyObject* o, double& out);
bool to_bool(PyObject* o, bool& out);
bool to_list(PyObject* o);  // list or subclass, target "PyList"
// Sequence (not str) of items converted by conv.
template <class T, class Conv>
bool to_vector(PyObject* o, std::vector<T>& out, Conv conv);
bool check_sequence(PyObject* o);  // the str refusal and the "Sequence" target

// Argument helpers: convert and prefix the argument name on a TypeError.
inline bool arg_str(PyObject* o, const char* name, std::string_view& out) { return to_str(o, out) || fail_argument(name); }
inline bool arg_u16(PyObject* o, const char* name, uint16_t& out) { return to_u16(o, out) || fail_argument(name); }
inline bool arg_u32(PyObject* o, const char* name, uint32_t& out) { return to_u32(o, out) || fail_argument(name); }
inline bool arg_long(PyObject* o, const char* name, long& out) { return to_long(o, out) || fail_argument(name); }
inline bool arg_double(PyObject* o, const char* name, double& out) { return to_double(o, out) || fail_argument(name); }
inline bool arg_bool(PyObject* o, const char* name, bool& out) { return to_bool(o, out) || fail_argument(name); }
inline bool arg_list(PyObject* o, const char* name) { return to_list(o) || fail_argument(name); }

// Takes a counted reference to the record behind an instance of `type`
// (shared borrow held only while doing so).
template <class R>
bool to_record(PyObject* o, PyTypeObject* type, const char* target, Ref<R>& out) {
    if (!PyObject_TypeCheck(o, type)) {
        raise_cannot_convert(o, target);
        return false;
    }
    Borrow b;
    if (!b.shared(as_handle<R>(o)->borrow)) return false;
    out = Ref<R>(as_handle<R>(o)->record);
    return true;
}

template <class R>
bool arg_record(PyObject* o, const char* name, PyTypeObject* type, const char* target, Ref<R>& out) {
    if (!type) return false;
    return to_record(o, type, target, out) || fail_argument(name);
}

template <class T, class Conv>
bool to_vector(PyObject* o, std::vector<T>& out, Conv conv) {
    if (!check_sequence(o)) return false;
    // The length is only a hint: an object may report any length.
    Py_ssize_t hint = PySequence_Size(o);
    if (hint < 0) PyErr_Clear();
    else out.reserve(std::min<size_t>(size_t(hint), 1u << 16));
    PyObject* it = PyObject_GetIter(o);
    if (!it) return false;
    while (PyObject* item = PyIter_Next(it)) {
        T v;
        bool ok = conv(item, v);
        Py_DECREF(item);
        if (!ok) { Py_DECREF(it); return false; }
        out.push_back(std::move(v));
    }
    Py_DECREF(it);
    return !PyErr_Occurred();
}

// ---------------------------------------------------------------- results

PyObject* str_from(std::string_view s);
PyObject* optional_str(const std::optional<std::string>* s);

}  // namespace vorlix::py

#define VORLIX_FAST_FN(f) (PyCFunction)(void (*)(void))(f), METH_FASTCALL | METH_KEYWORDS
