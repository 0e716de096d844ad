// Comment: a live handle on one comment record.
#include "classes.hpp"

namespace vorlix::py {

namespace {

Comment& comment_of(PyObject* self) { return *as_handle<Comment>(self)->record; }

template <class F>
PyObject* read_comment(PyObject* self, F&& f) {
    return guarded([&]() -> PyObject* {
        Borrow b;
        if (!b.shared(as_handle<Comment>(self)->borrow)) return nullptr;
        Comment& c = comment_of(self);
        SharedGuard g(c.lock);
        return f(c);
    });
}

PyObject* get_author(PyObject* self, void*) { return read_comment(self, [](Comment& c) { return str_from(c.author); }); }
PyObject* get_text(PyObject* self, void*) { return read_comment(self, [](Comment& c) { return str_from(c.text); }); }
PyObject* get_row(PyObject* self, void*) {
    return read_comment(self, [](Comment& c) { return PyLong_FromUnsignedLong(c.row); });
}
PyObject* get_column(PyObject* self, void*) {
    return read_comment(self, [](Comment& c) { return PyLong_FromUnsignedLong(c.column); });
}
PyObject* get_coordinate(PyObject* self, void*) {
    return read_comment(self, [](Comment& c) {
        return Py_BuildValue("(kk)", (unsigned long)c.row, (unsigned long)c.column);
    });
}

// The setters take the handle exclusively and convert under the name "val".
template <std::string Comment::*Field>
int set_field(PyObject* self, PyObject* value, void*) {
    return guarded([&]() -> int {
        if (!value) return refuse_delete();
        Borrow b;
        if (!b.exclusive(as_handle<Comment>(self)->borrow)) return -1;
        std::string_view text;
        if (!arg_str(value, "val", text)) return -1;
        std::string s(text);
        Comment& c = comment_of(self);
        ExclusiveGuard g(c.lock);
        (c.*Field) = std::move(s);
        return 0;
    });
}

PyGetSetDef getset[] = {
    {"author", get_author, set_field<&Comment::author>, nullptr, nullptr},
    {"text", get_text, set_field<&Comment::text>, nullptr, nullptr},
    {"coordinate", get_coordinate, nullptr, nullptr, nullptr},
    {"row", get_row, nullptr, nullptr, nullptr},
    {"column", get_column, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_new, (void*)no_constructor_new},
    {Py_tp_dealloc, (void*)handle_dealloc<Comment>},
    {Py_tp_getset, getset},
    {0, nullptr},
};

PyType_Spec spec = {"vorlix.Comment", sizeof(Handle<Comment>), 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
                    slots};

}  // namespace

TypeSlot comment_type{&spec, "Comment"};

}  // namespace vorlix::py
