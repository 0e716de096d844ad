// The module-level functions of _vorlix.
#include "classes.hpp"
#include "model/coordinates.hpp"

namespace vorlix::py {

namespace {

const char kVersion[] = "0.9.0";

PyObject* version(PyObject*, PyObject*) { return PyUnicode_FromString(kVersion); }

const Params kColumnNumberToLetter{"column_number_to_letter", nullptr, {"col"}, 0, 1};
const Params kGetLetterCoordinate{"get_letter_coordinate", nullptr, {"row", "col"}, 0, 2};

PyObject* column_to_letter(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        PyObject* a[1];
        uint16_t col;
        if (!match(kColumnNumberToLetter, args, nargs, kwnames, a) || !arg_u16(a[0], "col", col)) return nullptr;
        return str_from(column_number_to_letter(col));
    });
}

PyObject* letter_coordinate(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        PyObject* a[2];
        uint32_t row;
        uint16_t col;
        if (!match(kGetLetterCoordinate, args, nargs, kwnames, a) || !arg_u32(a[0], "row", row) ||
            !arg_u16(a[1], "col", col))
            return nullptr;
        return str_from(get_letter_coordinate(row, col));
    });
}

}  // namespace

const char* module_version() { return kVersion; }

PyMethodDef top_level_functions[] = {
    {"version", version, METH_NOARGS,
     "version()\n--\n\n"
     "Return the version of the library that implements this module. "
     "The text is the same as the module's __version__.\n\n"
     "Returns\n-------\nversion : str\n"},
    {"column_number_to_letter", (PyCFunction)(void (*)(void))column_to_letter, METH_FASTCALL | METH_KEYWORDS,
     "column_number_to_letter(col)\n--\n\n\xd0\x9f\xd1\x80\xd0\xb5\xd0\xbe\xd0\xb1\xd1\x80\xd0\xb0\xd0\xb7\xd0\xbe"
     "\xd0\xb2\xd0\xb0\xd0\xbd\xd0\xb8\xd0\xb5 \xd0\xbd\xd0\xbe\xd0\xbc\xd0\xb5\xd1\x80\xd0\xb0 \xd0\xba\xd0\xbe"
     "\xd0\xbb\xd0\xbe\xd0\xbd\xd0\xba\xd0\xb8 \xd0\xb2 \xd0\xb1\xd1\x83\xd0\xba\xd0\xb2\xd1\x83."},
    {"get_letter_coordinate", (PyCFunction)(void (*)(void))letter_coordinate, METH_FASTCALL | METH_KEYWORDS,
     "get_letter_coordinate(row, col)\n--\n\n\xd0\x9f\xd1\x80\xd0\xb5\xd0\xbe\xd0\xb1\xd1\x80\xd0\xb0\xd0\xb7\xd0\xbe"
     "\xd0\xb2\xd0\xb0\xd0\xbd\xd0\xb8\xd0\xb5 \xd0\xbd\xd0\xbe\xd0\xbc\xd0\xb5\xd1\x80\xd0\xb0 \xd0\xba\xd0\xbe"
     "\xd0\xbb\xd0\xbe\xd0\xbd\xd0\xba\xd0\xb8 \xd0\xb2 \xd0\xba\xd0\xbe\xd0\xbe\xd1\x80\xd0\xb4\xd0\xb8\xd0\xbd"
     "\xd0\xb0\xd1\x82\xd1\x83."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace vorlix::py
