// Book: a workbook held by one Python object.
#include "classes.hpp"
#include "model/book_ops.hpp"

namespace vorlix::py {

namespace {

// Holds the service lock (when there is one) around one book operation.
class OuterGuard {
public:
    OuterGuard(RwLock* l, bool exclusive) : l_(l), exclusive_(exclusive) {
        if (l_) exclusive_ ? l_->lock() : l_->lock_shared();
    }
    ~OuterGuard() {
        if (l_) exclusive_ ? l_->unlock() : l_->unlock_shared();
    }
    OuterGuard(const OuterGuard&) = delete;
    OuterGuard& operator=(const OuterGuard&) = delete;

private:
    RwLock* l_;
    bool exclusive_;
};

}  // namespace

PyObject* book_add_sheet(BookAccess a, const Params& p, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* slots[2];
    if (!match(p, args, nargs, kwnames, slots)) return nullptr;
    std::string_view name, state = "visible";
    if (!arg_str(slots[0], "name", name)) return nullptr;
    if (slots[1] && !arg_str(slots[1], "sheet_state", state)) return nullptr;
    Ref<Sheet> sheet;
    {
        OuterGuard g(a.outer, true);
        sheet = add_sheet(*a.book, std::string(name), std::string(state));
    }
    return wrap_sheet(std::move(sheet));
}

PyObject* book_copy_sheet(BookAccess a, const Params& p, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* slots[1];
    if (!match(p, args, nargs, kwnames, slots)) return nullptr;
    Ref<Sheet> source;
    if (!arg_record(slots[0], "sheet", sheet_type.get(), "Sheet", source)) return nullptr;
    Ref<Sheet> copy;
    {
        OuterGuard g(a.outer, true);
        copy = copy_sheet(*a.book, source);
    }
    return wrap_sheet(std::move(copy));
}

PyObject* book_get_sheet_index(BookAccess a, const Params& p, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* slots[1];
    if (!match(p, args, nargs, kwnames, slots)) return nullptr;
    long idx;
    if (!arg_long(slots[0], "idx", idx)) return nullptr;
    Ref<Sheet> s;
    {
        OuterGuard g(a.outer, false);
        s = sheet_at(*a.book, idx);
    }
    return optional_handle(wrap_sheet, std::move(s));
}

PyObject* book_get_sheet_name(BookAccess a, const Params& p, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* slots[1];
    if (!match(p, args, nargs, kwnames, slots)) return nullptr;
    std::string_view name;
    if (!arg_str(slots[0], "name", name)) return nullptr;
    Ref<Sheet> s;
    {
        OuterGuard g(a.outer, false);
        s = sheet_named(*a.book, name);
    }
    return optional_handle(wrap_sheet, std::move(s));
}

PyObject* book_sheets(BookAccess a) {
    std::vector<Ref<Sheet>> sheets;
    {
        OuterGuard g(a.outer, false);
        sheets = vorlix::book_sheets(*a.book);
    }
    return handle_list(sheets, wrap_sheet);
}

PyObject* book_to_json(BookAccess a) {
    // Each thread keeps its text buffer between calls: writing into memory
    // that is already mapped saves most of the cost of a large document.
    // Buffers past kKeptBuffer are given back after use.
    constexpr size_t kKeptBuffer = size_t(128) << 20;
    thread_local std::string text;
    {
        OuterGuard g(a.outer, false);
        write_book_json(*a.book, text);
    }
    PyObject* result = str_from(text);
    if (text.capacity() > kKeptBuffer) std::string().swap(text);
    return result;
}

PyObject* book_to_dict(BookAccess a) {
    PyObject* text = book_to_json(a);
    if (!text) return nullptr;
    PyObject* json = PyImport_ImportModule("json");
    if (!json) {
        Py_DECREF(text);
        return nullptr;
    }
    // Looked up on every call so that json.loads is used as it currently is.
    PyObject* loads = PyObject_GetAttrString(json, "loads");
    Py_DECREF(json);
    if (!loads) {
        Py_DECREF(text);
        return nullptr;
    }
    PyObject* result = PyObject_CallOneArg(loads, text);
    Py_DECREF(loads);
    Py_DECREF(text);
    return result;
}

size_t book_sheet_count(BookAccess a) {
    OuterGuard g(a.outer, false);
    return sheet_count(*a.book);
}

// ------------------------------------------------------------ the class

namespace {

using BookHandle = Handle<Book>;

BookAccess access(PyObject* self) { return {as_handle<Book>(self)->record, nullptr}; }

const Params kNew{"__new__", "Book", {}, 0, 0};
const Params kAddSheet{"add_sheet", "Book", {"name", "sheet_state"}, 0, 1};
const Params kCopySheet{"copy_sheet", "Book", {"sheet"}, 0, 1};
const Params kGetSheetIndex{"get_sheet_index", "Book", {"idx"}, 0, 1};
const Params kGetSheetName{"get_sheet_name", "Book", {"name"}, 0, 1};

PyObject* book_new(PyTypeObject* type, PyObject* args, PyObject* kwds) {
    return guarded([&]() -> PyObject* {
        if (!match_tuple(kNew, args, kwds, nullptr)) return nullptr;
        return new_handle(type, Ref<Book>::make());
    });
}

// Every method takes the object with a shared borrow.
template <PyObject* (*Op)(BookAccess, const Params&, PyObject* const*, Py_ssize_t, PyObject*), const Params* P>
PyObject* method(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        Borrow b;
        if (!b.shared(as_handle<Book>(self)->borrow)) return nullptr;
        return Op(access(self), *P, args, nargs, kwnames);
    });
}

template <PyObject* (*Op)(BookAccess)>
PyObject* noarg(PyObject* self, PyObject*) {
    return guarded([&]() -> PyObject* {
        Borrow b;
        if (!b.shared(as_handle<Book>(self)->borrow)) return nullptr;
        return Op(access(self));
    });
}

PyObject* get_sheets(PyObject* self, void*) { return noarg<book_sheets>(self, nullptr); }

PyObject* repr(PyObject* self) {
    return guarded([&]() -> PyObject* {
        Borrow b;
        if (!b.shared(as_handle<Book>(self)->borrow)) return nullptr;
        return PyUnicode_FromFormat("Book, sheets: %zu", book_sheet_count(access(self)));
    });
}

PyMethodDef methods[] = {
    {"add_sheet", (PyCFunction)(void (*)(void))method<book_add_sheet, &kAddSheet>, METH_FASTCALL | METH_KEYWORDS,
     "add_sheet($self, name, sheet_state=\"visible\")\n--\n\n"},
    {"copy_sheet", (PyCFunction)(void (*)(void))method<book_copy_sheet, &kCopySheet>, METH_FASTCALL | METH_KEYWORDS,
     "copy_sheet($self, sheet)\n--\n\n"},
    {"get_sheet_index", (PyCFunction)(void (*)(void))method<book_get_sheet_index, &kGetSheetIndex>,
     METH_FASTCALL | METH_KEYWORDS, "get_sheet_index($self, idx)\n--\n\n"},
    {"get_sheet_name", (PyCFunction)(void (*)(void))method<book_get_sheet_name, &kGetSheetName>,
     METH_FASTCALL | METH_KEYWORDS, "get_sheet_name($self, name)\n--\n\n"},
    {"to_json", (PyCFunction)noarg<book_to_json>, METH_NOARGS, "to_json($self)\n--\n\n"},
    {"to_dict", (PyCFunction)noarg<book_to_dict>, METH_NOARGS, "to_dict($self)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef getset[] = {
    {"sheets", get_sheets, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_doc, (void*)"Book()\n--\n\n"},
    {Py_tp_new, (void*)book_new},
    {Py_tp_dealloc, (void*)handle_dealloc<Book>},
    {Py_tp_repr, (void*)repr},
    {Py_tp_methods, methods},
    {Py_tp_getset, getset},
    {0, nullptr},
};

PyType_Spec spec = {"vorlix.Book", sizeof(BookHandle), 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, slots};

}  // namespace

TypeSlot book_type{&spec, "Book"};

}  // namespace vorlix::py
