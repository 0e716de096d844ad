// Finder: snapshots of a list of sheet-like objects, selected by name.
#include "classes.hpp"
#include "search/finder.hpp"
#include "search_ops.hpp"
#include "snapshot_reader.hpp"

namespace vorlix::py {

namespace {

const FinderRecord& finder_of(PyObject* self) { return *as_handle<FinderRecord>(self)->record; }

const Params kNew{"__new__", "Finder", {"sheets"}, 0, 1};
const Params kCreateFinder{"create_finder", nullptr, {"sheets"}, 0, 1};
const Params kGetSheetIndex{"get_sheet_index", "Finder", {"idx"}, 0, 1};
const Params kWithNames{"get_sheets_with_names", "Finder", {"name_list"}, 0, 1};
const Params kWithoutNames{"get_sheets_without_names", "Finder", {"name_list"}, 0, 1};
const Params kByName{"find_sheet_by_name", "Finder", {"name"}, 0, 1};
const Params kByRegex{"find_sheet_by_regex", "Finder", {"pattern"}, 0, 1};

// Reads every element into a snapshot; no finder comes into being unless all can be read.
bool read_sheets(PyObject* list, std::vector<Ref<Sheet>>& out) {
    if (!arg_list(list, "sheets")) return false;
    const Py_ssize_t start_len = PyList_GET_SIZE(list);
    out.reserve(size_t(start_len));
    for (Py_ssize_t i = 0; i < start_len && i < PyList_GET_SIZE(list); ++i) {
#ifdef Py_GIL_DISABLED
        PyObject* item = PyList_GetItemRef(list, i);
        if (!item) break;
#else
        PyObject* item = PyList_GET_ITEM(list, i);
        Py_INCREF(item);
#endif
        Ref<Sheet> snap = build_sheet_snapshot(item, i);
        Py_DECREF(item);
        if (!snap) return false;
        out.push_back(std::move(snap));
    }
    return true;
}

PyObject* finder_new(PyTypeObject* type, PyObject* args, PyObject* kwds) {
    return guarded([&]() -> PyObject* {
        PyObject* a[1];
        std::vector<Ref<Sheet>> sheets;
        if (!match_tuple(kNew, args, kwds, a) || !read_sheets(a[0], sheets)) return nullptr;
        return new_handle(type, Ref<FinderRecord>::make(std::move(sheets)));
    });
}

template <class F>
PyObject* with_finder(PyObject* self, F&& f) {
    return guarded([&]() -> PyObject* {
        Borrow b;
        if (!b.shared(as_handle<FinderRecord>(self)->borrow)) return nullptr;
        return f(finder_of(self));
    });
}

PyObject* maybe_sheet(Ref<Sheet> s) {
    if (!s) Py_RETURN_NONE;
    return wrap_readable_sheet(std::move(s));
}

PyObject* get_sheet_index(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* a[1];
    long idx;
    if (!match(kGetSheetIndex, args, nargs, kwnames, a)) return nullptr;
    return with_finder(self, [&](const FinderRecord& f) -> PyObject* {
        if (!arg_long(a[0], "idx", idx)) return nullptr;
        return maybe_sheet(finder_sheet_at(f, idx));
    });
}

bool str_item(PyObject* o, std::string& out) {
    std::string_view s;
    if (!to_str(o, s)) return false;
    out.assign(s);
    return true;
}

template <const Params* P, std::vector<Ref<Sheet>> (*Select)(const FinderRecord&, std::span<const std::string>)>
PyObject* by_names(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* a[1];
    if (!match(*P, args, nargs, kwnames, a)) return nullptr;
    return with_finder(self, [&](const FinderRecord& f) -> PyObject* {
        std::vector<std::string> names;
        if (!to_vector(a[0], names, str_item)) {
            fail_argument("name_list");
            return nullptr;
        }
        return handle_list(Select(f, names), wrap_readable_sheet);
    });
}

PyObject* find_by_name(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* a[1];
    if (!match(kByName, args, nargs, kwnames, a)) return nullptr;
    return with_finder(self, [&](const FinderRecord& f) -> PyObject* {
        std::string_view name;
        if (!arg_str(a[0], "name", name)) return nullptr;
        return maybe_sheet(finder_sheet_by_name(f, name));
    });
}

PyObject* find_by_regex(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* a[1];
    if (!match(kByRegex, args, nargs, kwnames, a)) return nullptr;
    return with_finder(self, [&](const FinderRecord& f) -> PyObject* {
        std::string_view pattern;
        if (!arg_str(a[0], "pattern", pattern)) return nullptr;
        auto r = finder_sheet_by_regex(f, pattern);
        if (auto* err = std::get_if<RegexError>(&r)) {
            // A pattern that does not compile is bad input, not an internal failure.
            // The engine counts bytes of UTF-8; Python code counts characters.
            size_t at = 0;
            for (size_t i = 0; i < err->offset && i < pattern.size(); ++i)
                if ((static_cast<unsigned char>(pattern[i]) & 0xC0) != 0x80) ++at;
            PyErr_Format(PyExc_ValueError, "invalid pattern at offset %zu: %s", at, err->message.c_str());
            return nullptr;
        }
        return maybe_sheet(std::get<Ref<Sheet>>(std::move(r)));
    });
}

PyObject* get_sheets(PyObject* self, void*) {
    return with_finder(self, [](const FinderRecord& f) { return handle_list(finder_sheets(f), wrap_readable_sheet); });
}

PyObject* repr(PyObject* self) {
    return with_finder(self, [](const FinderRecord& f) {
        size_t n;
        {
            SharedGuard g(f.lock);
            n = f.sheets.size();
        }
        return PyUnicode_FromFormat("Finder, sheets: %zu", n);
    });
}

PyMethodDef methods[] = {
    {"get_sheet_index", VORLIX_FAST_FN(get_sheet_index), "get_sheet_index($self, idx)\n--\n\n"},
    {"get_sheets_without_names", VORLIX_FAST_FN((by_names<&kWithoutNames, finder_sheets_without_names>)),
     "get_sheets_without_names($self, name_list)\n--\n\n"},
    {"get_sheets_with_names", VORLIX_FAST_FN((by_names<&kWithNames, finder_sheets_with_names>)),
     "get_sheets_with_names($self, name_list)\n--\n\n"},
    {"find_sheet_by_name", VORLIX_FAST_FN(find_by_name), "find_sheet_by_name($self, name)\n--\n\n"},
    {"find_sheet_by_regex", VORLIX_FAST_FN(find_by_regex), "find_sheet_by_regex($self, pattern)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef getset[] = {
    {"sheets", get_sheets, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_doc, (void*)"Finder(sheets)\n--\n\n"},
    {Py_tp_new, (void*)finder_new},
    {Py_tp_dealloc, (void*)handle_dealloc<FinderRecord>},
    {Py_tp_repr, (void*)repr},
    {Py_tp_methods, methods},
    {Py_tp_getset, getset},
    {0, nullptr},
};

PyType_Spec spec = {"vorlix.readable.Finder", sizeof(Handle<FinderRecord>), 0,
                    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, slots};

}  // namespace

TypeSlot finder_type{&spec, "Finder"};

// create_finder: as Finder(sheets), with the record assembled while the
// interpreter lock is released.
PyObject* create_finder(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::vector<Ref<Sheet>> sheets;
    PyTypeObject* type = nullptr;
    const int ready = guarded([&]() -> int {
        PyObject* a[1];
        if (!match(kCreateFinder, args, nargs, kwnames, a) || !read_sheets(a[0], sheets)) return -1;
        type = finder_type.get();
        return type ? 0 : -1;
    });
    if (ready < 0) return nullptr;
    Ref<FinderRecord> record;
    std::exception_ptr err = without_interpreter([&] { record = Ref<FinderRecord>::make(std::move(sheets)); });
    return guarded([&]() -> PyObject* {
        if (err) std::rethrow_exception(err);
        return new_handle(type, std::move(record));
    });
}

}  // namespace vorlix::py
