#include "search_ops.hpp"

namespace vorlix::py {

PyObject* search_result_to_python(SearchResult&& r, PyObject* (*wrap)(Ref<Cell>)) {
    struct Visitor {
        PyObject* (*wrap)(Ref<Cell>);
        PyObject* operator()(Ref<Cell>& c) const {
            if (!c) Py_RETURN_NONE;
            return wrap(std::move(c));
        }
        PyObject* operator()(std::vector<Ref<Cell>>& cells) const { return handle_list(cells, wrap); }
        PyObject* operator()(std::optional<std::string>& s) const {
            if (!s) Py_RETURN_NONE;
            return str_from(*s);
        }
        PyObject* operator()(std::string& s) const { return str_from(s); }
        PyObject* operator()(std::vector<std::string>& texts) const {
            PyObject* list = PyList_New(Py_ssize_t(texts.size()));
            if (!list) return nullptr;
            for (size_t i = 0; i < texts.size(); ++i) {
                PyObject* s = str_from(texts[i]);
                if (!s) {
                    Py_DECREF(list);
                    return nullptr;
                }
                PyList_SET_ITEM(list, Py_ssize_t(i), s);
            }
            return list;
        }
    };
    return std::visit(Visitor{wrap}, r);
}

bool parse_letter_argument(std::string_view letter, Coordinate& out) {
    std::optional<Coordinate> c = parse_letter_reference(letter);
    if (!c) {
        PyObject* text = str_from(letter);
        if (!text) return false;
        PyErr_Format(PyExc_ValueError, "invalid letter reference: %R", text);
        Py_DECREF(text);
        return false;
    }
    out = *c;
    return true;
}

bool convert_cells_argument(PyObject* o, std::vector<Ref<Cell>>& out) {
    PyTypeObject* type = readable_cell_type.get();
    if (!type) return false;
    auto item = [type](PyObject* e, Ref<Cell>& ref) {
        return to_record(e, type, "ReadableCell", ref);
    };
    return to_vector(o, out, item) || fail_argument("cells");
}

}  // namespace vorlix::py
