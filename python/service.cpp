// Service: the base class of services written in Python. It keeps the
// connection object it was given and owns a book behind its own lock.
#include "classes.hpp"

namespace vorlix::py {

namespace {

// The service's book and the lock taken before the book's.
class BookHolder : public RefCounted {
public:
    mutable RwLock lock;
    Book book;
};

struct ServiceObject {
    PyObject_HEAD
    PyObject* conn_db;
    BookHolder* holder;
    BorrowFlag borrow;
};

ServiceObject* as_service(PyObject* o) { return reinterpret_cast<ServiceObject*>(o); }
BookAccess access(PyObject* self) { return {&as_service(self)->holder->book, &as_service(self)->holder->lock}; }

const Params kNew{"__new__", "Service", {"conn_db"}, 0, 1};
const Params kSummary{"summary_0", "Service", {"sheets"}, 1, 1, true};
const Params kFmt{"_fmt_0", "Service", {}, 0, 0, true};
const Params kAddSheet{"_add_sheet", "Service", {"name", "sheet_state"}, 0, 1};
const Params kCopySheet{"_copy_sheet", "Service", {"sheet"}, 0, 1};
const Params kGetSheetIndex{"_get_sheet_index", "Service", {"idx"}, 0, 1};
const Params kGetSheetName{"_get_sheet_name", "Service", {"name"}, 0, 1};

PyObject* service_new(PyTypeObject* type, PyObject* args, PyObject* kwds) {
    return guarded([&]() -> PyObject* {
        PyObject* a[1];
        if (!match_tuple(kNew, args, kwds, a)) return nullptr;
        auto holder = Ref<BookHolder>::make();
        PyObject* self = type->tp_alloc(type, 0);
        if (!self) return nullptr;
        ServiceObject* s = as_service(self);
        Py_INCREF(a[0]);
        s->conn_db = a[0];
        s->holder = holder.leak();
        new (&s->borrow) BorrowFlag(0);
        return self;
    });
}

int service_traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(as_service(self)->conn_db);
    Py_VISIT(Py_TYPE(self));
    return 0;
}

int service_clear(PyObject* self) {
    Py_CLEAR(as_service(self)->conn_db);
    return 0;
}

void service_dealloc(PyObject* self) {
    PyTypeObject* tp = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    ServiceObject* s = as_service(self);
    Py_CLEAR(s->conn_db);
    Ref<BookHolder>::adopt(std::exchange(s->holder, nullptr));
    tp->tp_free(self);
    Py_DECREF(tp);
}

template <PyObject* (*Op)(BookAccess, const Params&, PyObject* const*, Py_ssize_t, PyObject*), const Params* P>
PyObject* method(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        Borrow b;
        if (!b.shared(as_service(self)->borrow)) return nullptr;
        return Op(access(self), *P, args, nargs, kwnames);
    });
}

template <PyObject* (*Op)(BookAccess)>
PyObject* noarg(PyObject* self, PyObject*) {
    return guarded([&]() -> PyObject* {
        Borrow b;
        if (!b.shared(as_service(self)->borrow)) return nullptr;
        return Op(access(self));
    });
}

PyObject* summary_0(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        PyObject* a[1];
        PyObject* kwargs = nullptr;
        if (!match(kSummary, args, nargs, kwnames, a, &kwargs)) return nullptr;
        Py_XDECREF(kwargs);
        if (!check_self(self, service_type.get(), "Service")) return nullptr;
        Borrow b;
        if (!b.shared(as_service(self)->borrow)) return nullptr;
        if (!arg_list(a[0], "sheets")) return nullptr;
        PyErr_SetString(PyExc_NotImplementedError, "Method 'summary_0' is not implemented");
        return nullptr;
    });
}

PyObject* fmt_0(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        PyObject* kwargs = nullptr;
        if (!match(kFmt, args, nargs, kwnames, nullptr, &kwargs)) return nullptr;
        Py_XDECREF(kwargs);
        if (!check_self(self, service_type.get(), "Service")) return nullptr;
        Borrow b;
        if (!b.shared(as_service(self)->borrow)) return nullptr;
        PyErr_SetString(PyExc_NotImplementedError, "Method 'fmt_0' is not implemented");
        return nullptr;
    });
}

PyObject* get_conn_db(PyObject* self, void*) {
    Borrow b;
    if (!b.shared(as_service(self)->borrow)) return nullptr;
    PyObject* c = as_service(self)->conn_db;
    if (!c) Py_RETURN_NONE;
    Py_INCREF(c);
    return c;
}

PyObject* get_sheets(PyObject* self, void*) { return noarg<book_sheets>(self, nullptr); }

PyObject* repr(PyObject* self) {
    return guarded([&]() -> PyObject* {
        Borrow b;
        if (!b.shared(as_service(self)->borrow)) return nullptr;
        PyObject* qual = PyType_GetQualName(Py_TYPE(self));
        if (!qual) return nullptr;
        size_t n = book_sheet_count(access(self));
        PyObject* text = PyUnicode_FromFormat("%U, sheets: %zu", qual, n);
        Py_DECREF(qual);
        return text;
    });
}

#define FAST(f) (PyCFunction)(void (*)(void))(f), METH_FASTCALL | METH_KEYWORDS

PyMethodDef methods[] = {
    {"summary_0", FAST(summary_0), "summary_0($self, sheets, /, **kwargs)\n--\n\n"},
    {"_fmt_0", FAST(fmt_0), "_fmt_0($self, **kwargs)\n--\n\n"},
    {"_add_sheet", FAST((method<book_add_sheet, &kAddSheet>)),
     "_add_sheet($self, name, sheet_state=\"visible\")\n--\n\n"},
    {"_copy_sheet", FAST((method<book_copy_sheet, &kCopySheet>)), "_copy_sheet($self, sheet)\n--\n\n"},
    {"_get_sheet_index", FAST((method<book_get_sheet_index, &kGetSheetIndex>)),
     "_get_sheet_index($self, idx)\n--\n\n"},
    {"_get_sheet_name", FAST((method<book_get_sheet_name, &kGetSheetName>)), "_get_sheet_name($self, name)\n--\n\n"},
    {"to_json", (PyCFunction)noarg<book_to_json>, METH_NOARGS, "to_json($self)\n--\n\n"},
    {"to_dict", (PyCFunction)noarg<book_to_dict>, METH_NOARGS, "to_dict($self)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef getset[] = {
    {"_conn_db", get_conn_db, nullptr, nullptr, nullptr},
    {"_sheets", get_sheets, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_doc, (void*)"Service(conn_db)\n--\n\n"},
    {Py_tp_new, (void*)service_new},
    {Py_tp_dealloc, (void*)service_dealloc},
    {Py_tp_traverse, (void*)service_traverse},
    {Py_tp_clear, (void*)service_clear},
    {Py_tp_repr, (void*)repr},
    {Py_tp_methods, methods},
    {Py_tp_getset, getset},
    {0, nullptr},
};

PyType_Spec spec = {"vorlix.Service", sizeof(ServiceObject), 0,
                    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC, slots};

}  // namespace

TypeSlot service_type{&spec, "Service"};

}  // namespace vorlix::py
