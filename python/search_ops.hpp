// The cell searches, each written once and served at three entry points:
// Sheet methods (live sheet, interpreter lock held), ReadableSheet methods
// (snapshot, interpreter lock released) and readable functions (a list of
// snapshot cells, interpreter lock released).
#pragma once

#include <exception>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "binding.hpp"
#include "classes.hpp"
#include "model/coordinates.hpp"
#include "search/cell_search.hpp"

namespace vorlix::py {

using search::CellSeq;

// What a search hands back before Python objects are made: records are
// held by reference so that no lock needs to outlive the search.
using SearchResult = std::variant<Ref<Cell>, std::vector<Ref<Cell>>, std::optional<std::string>, std::string,
                                  std::vector<std::string>>;

inline SearchResult owned(Cell* c) { return Ref<Cell>(c); }
inline SearchResult owned(const std::vector<Cell*>& cells) {
    std::vector<Ref<Cell>> out;
    out.reserve(cells.size());
    for (Cell* c : cells) out.emplace_back(c);
    return out;
}
inline SearchResult owned(std::optional<std::string> s) { return s; }
inline SearchResult owned(std::string s) { return s; }
inline SearchResult owned(std::vector<std::string> v) { return v; }

PyObject* search_result_to_python(SearchResult&& r, PyObject* (*wrap)(Ref<Cell>));

// An invalid letter reference is bad input: ValueError quoting it.
bool parse_letter_argument(std::string_view letter, Coordinate& out);

// Each operation: its Python name, parameter names, how many are required,
// conversion of its arguments, and its run over a sheet or a sequence.
// run_sheet defaults to the sheet's ordered cells.

#define VORLIX_SEARCH_PARAMS(NAME, REQUIRED, ...)                                              \
    static constexpr const char* name = NAME;                                                   \
    static inline const Params sheet_params{NAME, "Sheet", {__VA_ARGS__}, 0, REQUIRED};          \
    static inline const Params readable_params{NAME, "ReadableSheet", {__VA_ARGS__}, 0, REQUIRED}; \
    static inline const Params function_params{NAME, nullptr, {__VA_ARGS__, "cells"}, 0, REQUIRED + 1};

struct SeqOp {
    // Searches over the ordered cells unless an operation has a key lookup.
    template <class Self>
    static SearchResult on_sheet(const Self& self, const Sheet& sheet) {
        return self.run(CellSeq(sheet.ordered_cells()));
    }
};

struct FindCellByCoords : SeqOp {
    VORLIX_SEARCH_PARAMS("find_cell_by_coords", 2, "row", "col")
    uint32_t row;
    uint16_t col;
    bool convert(PyObject** a) { return arg_u32(a[0], "row", row) && arg_u16(a[1], "col", col); }
    SearchResult run(CellSeq seq) const { return owned(search::first_at(seq, row, col)); }
    SearchResult run_sheet(const Sheet& s) const { return owned(search::lookup_cell(s, row, col)); }
};

struct FindValueByCoords : SeqOp {
    VORLIX_SEARCH_PARAMS("find_value_by_coords", 2, "row", "col")
    uint32_t row;
    uint16_t col;
    bool convert(PyObject** a) { return arg_u32(a[0], "row", row) && arg_u16(a[1], "col", col); }
    SearchResult run(CellSeq seq) const { return owned(search::value_of_first_at(seq, row, col)); }
    SearchResult run_sheet(const Sheet& s) const { return owned(search::value_at(s, row, col)); }
};

struct GetValueCell : SeqOp {
    VORLIX_SEARCH_PARAMS("get_value_cell", 2, "row", "col")
    uint32_t row;
    uint16_t col;
    bool convert(PyObject** a) { return arg_u32(a[0], "row", row) && arg_u16(a[1], "col", col); }
    SearchResult run(CellSeq) const { return std::string(); }
    // A missing cell shows the sheet's blank value, which is always empty.
    SearchResult run_sheet(const Sheet& s) const { return owned(search::value_at(s, row, col).value_or("")); }
};

struct FindCellByRegex : SeqOp {
    VORLIX_SEARCH_PARAMS("find_cell_by_regex", 1, "regex")
    std::string_view text;
    bool convert(PyObject** a) { return arg_str(a[0], "regex", text); }
    SearchResult run(CellSeq seq) const { return owned(search::first_containing(seq, text)); }
    SearchResult run_sheet(const Sheet& s) const { return run(CellSeq(s.ordered_cells())); }
};

// The methods test containment; the list function tests trimmed equality.
struct FindCellByStr : SeqOp {
    VORLIX_SEARCH_PARAMS("find_cell_by_str", 1, "value")
    std::string_view text;
    bool convert(PyObject** a) { return arg_str(a[0], "value", text); }
    SearchResult run(CellSeq seq) const { return owned(search::first_trimmed_equal(seq, text)); }
    SearchResult run_sheet(const Sheet& s) const {
        return owned(search::first_containing(CellSeq(s.ordered_cells()), text));
    }
};

struct FindCellByLetter : SeqOp {
    VORLIX_SEARCH_PARAMS("find_cell_by_letter", 1, "letter")
    Coordinate at;
    bool convert(PyObject** a) {
        std::string_view letter;
        return arg_str(a[0], "letter", letter) && parse_letter_argument(letter, at);
    }
    SearchResult run(CellSeq seq) const { return owned(search::first_at(seq, at.row, at.column)); }
    SearchResult run_sheet(const Sheet& s) const { return run(CellSeq(s.ordered_cells())); }
};

struct FindCellsByRegex : SeqOp {
    VORLIX_SEARCH_PARAMS("find_cells_by_regex", 1, "regex")
    std::string_view text;
    bool convert(PyObject** a) { return arg_str(a[0], "regex", text); }
    SearchResult run(CellSeq seq) const { return owned(search::all_containing(seq, text)); }
    SearchResult run_sheet(const Sheet& s) const { return run(CellSeq(s.ordered_cells())); }
};

struct FindCellsByStr : SeqOp {
    VORLIX_SEARCH_PARAMS("find_cells_by_str", 1, "value")
    std::string_view text;
    bool convert(PyObject** a) { return arg_str(a[0], "value", text); }
    SearchResult run(CellSeq seq) const { return owned(search::all_trimmed_equal(seq, text)); }
    SearchResult run_sheet(const Sheet& s) const { return run(CellSeq(s.ordered_cells())); }
};

struct FindCellsForRowsByRegex : SeqOp {
    VORLIX_SEARCH_PARAMS("find_cells_for_rows_by_regex", 2, "regex", "col_stop")
    std::string_view text;
    uint16_t col_stop;
    bool convert(PyObject** a) { return arg_str(a[0], "regex", text) && arg_u16(a[1], "col_stop", col_stop); }
    SearchResult run(CellSeq seq) const { return owned(search::containing_up_to_column(seq, text, col_stop)); }
    SearchResult run_sheet(const Sheet& s) const { return run(CellSeq(s.ordered_cells())); }
};

struct FindCellsForColsByRegex : SeqOp {
    VORLIX_SEARCH_PARAMS("find_cells_for_cols_by_regex", 2, "regex", "row_stop")
    std::string_view text;
    uint32_t row_stop;
    bool convert(PyObject** a) { return arg_str(a[0], "regex", text) && arg_u32(a[1], "row_stop", row_stop); }
    SearchResult run(CellSeq seq) const { return owned(search::containing_up_to_row(seq, text, row_stop)); }
    SearchResult run_sheet(const Sheet& s) const { return run(CellSeq(s.ordered_cells())); }
};

struct FindCellsMultiRegex : SeqOp {
    VORLIX_SEARCH_PARAMS("find_cells_multi_regex", 2, "before_regex", "after_regex")
    std::string_view before, after;
    bool convert(PyObject** a) { return arg_str(a[0], "before_regex", before) && arg_str(a[1], "after_regex", after); }
    SearchResult run(CellSeq seq) const { return owned(search::region_boundaries(seq, before, after)); }
    SearchResult run_sheet(const Sheet& s) const { return run(CellSeq(s.ordered_cells())); }
};

struct FindCellsBetweenRegex : SeqOp {
    VORLIX_SEARCH_PARAMS("find_cells_between_regex", 2, "before_regex", "after_regex")
    std::string_view before, after;
    bool convert(PyObject** a) { return arg_str(a[0], "before_regex", before) && arg_str(a[1], "after_regex", after); }
    SearchResult run(CellSeq seq) const { return owned(search::first_region(seq, before, after)); }
    SearchResult run_sheet(const Sheet& s) const { return run(CellSeq(s.ordered_cells())); }
};

struct FindCellsRangeRows : SeqOp {
    VORLIX_SEARCH_PARAMS("find_cells_range_rows", 2, "start_row", "end_row")
    uint32_t start, end;
    bool convert(PyObject** a) { return arg_u32(a[0], "start_row", start) && arg_u32(a[1], "end_row", end); }
    SearchResult run(CellSeq seq) const { return owned(search::rows_between(seq, start, end)); }
    SearchResult run_sheet(const Sheet& s) const { return run(CellSeq(s.ordered_cells())); }
};

struct FindCellsRangeCols : SeqOp {
    VORLIX_SEARCH_PARAMS("find_cells_range_cols", 2, "start_col", "end_col")
    uint16_t start, end;
    bool convert(PyObject** a) { return arg_u16(a[0], "start_col", start) && arg_u16(a[1], "end_col", end); }
    SearchResult run(CellSeq seq) const { return owned(search::columns_between(seq, start, end)); }
    SearchResult run_sheet(const Sheet& s) const { return run(CellSeq(s.ordered_cells())); }
};

inline bool u32_item(PyObject* o, uint32_t& out) { return to_u32(o, out); }
inline bool u16_item(PyObject* o, uint16_t& out) { return to_u16(o, out); }

struct FindValuesByColRows : SeqOp {
    VORLIX_SEARCH_PARAMS("find_values_by_col_rows", 2, "col", "rows")
    uint16_t col;
    std::vector<uint32_t> rows;
    bool convert(PyObject** a) {
        return arg_u16(a[0], "col", col) && (to_vector(a[1], rows, u32_item) || fail_argument("rows"));
    }
    SearchResult run(CellSeq seq) const { return owned(search::values_in_column(seq, col, rows)); }
    SearchResult run_sheet(const Sheet& s) const { return run(CellSeq(s.ordered_cells())); }
};

struct FindValuesByRowCols : SeqOp {
    VORLIX_SEARCH_PARAMS("find_values_by_row_cols", 2, "row", "cols")
    uint32_t row;
    std::vector<uint16_t> cols;
    bool convert(PyObject** a) {
        return arg_u32(a[0], "row", row) && (to_vector(a[1], cols, u16_item) || fail_argument("cols"));
    }
    SearchResult run(CellSeq seq) const { return owned(search::values_in_row(seq, row, cols)); }
    SearchResult run_sheet(const Sheet& s) const { return run(CellSeq(s.ordered_cells())); }
};

struct GetCellsByRange : SeqOp {
    VORLIX_SEARCH_PARAMS("get_cells_by_range", 0, "start_row", "end_row", "start_col", "end_col")
    search::CellRange range;
    bool convert(PyObject** a) {
        auto opt32 = [](PyObject* o, const char* n, uint32_t& v) { return !o || o == Py_None || arg_u32(o, n, v); };
        auto opt16 = [](PyObject* o, const char* n, uint16_t& v) { return !o || o == Py_None || arg_u16(o, n, v); };
        return opt32(a[0], "start_row", range.start_row) && opt32(a[1], "end_row", range.end_row) &&
               opt16(a[2], "start_col", range.start_col) && opt16(a[3], "end_col", range.end_col);
    }
    SearchResult run(CellSeq) const { return std::vector<Ref<Cell>>(); }
    SearchResult run_sheet(const Sheet& s) const { return owned(search::cells_in_range(s, range)); }
};

constexpr size_t kMaxSearchParams = 5;

// ------------------------------------------------------------ entry points

// Live sheet: shared borrow, the sheet's shared lock for the search, handles
// made after it is released; the interpreter lock stays held.
template <class Op>
PyObject* sheet_search(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        PyObject* a[kMaxSearchParams];
        if (!match(Op::sheet_params, args, nargs, kwnames, a)) return nullptr;
        Borrow b;
        if (!b.shared(as_handle<Sheet>(self)->borrow)) return nullptr;
        Op op;
        if (!op.convert(a)) return nullptr;
        const Sheet& sheet = *as_handle<Sheet>(self)->record;
        SearchResult r;
        {
            SharedGuard g(sheet.lock);
            r = op.run_sheet(sheet);
        }
        return search_result_to_python(std::move(r), wrap_cell);
    });
}

// Runs work() with the interpreter lock released and hands back what it
// threw, so that the lock is held again before any error reaches Python.
// Taking the lock back may end the thread (a daemon thread when the
// interpreter exits); that unwinding is left to pass, uncaught.
template <class F>
std::exception_ptr without_interpreter(F&& work) {
    std::exception_ptr err;
    PyThreadState* ts = PyEval_SaveThread();
    try {
        work();
    } catch (...) {
        err = std::current_exception();
    }
    PyEval_RestoreThread(ts);
    return err;
}

// Snapshot: the same, with the interpreter lock released while searching.
template <class Op, bool ReleaseInterpreter = true>
PyObject* readable_sheet_search(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    Op op;
    Borrow b;
    const int ready = guarded([&]() -> int {
        PyObject* a[kMaxSearchParams];
        if (!match(Op::readable_params, args, nargs, kwnames, a)) return -1;
        if (!b.shared(as_handle<Sheet>(self)->borrow)) return -1;
        return op.convert(a) ? 0 : -1;
    });
    if (ready < 0) return nullptr;
    const Sheet& sheet = *as_handle<Sheet>(self)->record;
    SearchResult r;
    auto search = [&] {
        SharedGuard g(sheet.lock);
        r = op.run_sheet(sheet);
    };
    std::exception_ptr err;
    if constexpr (ReleaseInterpreter) err = without_interpreter(search);
    return guarded([&]() -> PyObject* {
        if (err) std::rethrow_exception(err);
        if constexpr (!ReleaseInterpreter) search();
        return search_result_to_python(std::move(r), wrap_readable_cell);
    });
}

// The `cells` argument: a sequence of ReadableCell, taken as record references.
bool convert_cells_argument(PyObject* o, std::vector<Ref<Cell>>& out);

// Cell list: arguments (cells last) converted under the interpreter lock,
// which is released for the search.
template <class Op>
PyObject* readable_function_search(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    Op op;
    std::vector<Ref<Cell>> held;
    const int ready = guarded([&]() -> int {
        PyObject* a[kMaxSearchParams + 1];
        if (!match(Op::function_params, args, nargs, kwnames, a)) return -1;
        if (!op.convert(a)) return -1;
        const size_t cells_at = Op::function_params.names.size() - 1;
        return convert_cells_argument(a[cells_at], held) ? 0 : -1;
    });
    if (ready < 0) return nullptr;
    std::vector<Cell*> seq;
    SearchResult r;
    std::exception_ptr err = without_interpreter([&] {
        seq.reserve(held.size());
        for (const auto& c : held) seq.push_back(c.get());
        r = op.run(CellSeq(seq));
    });
    return guarded([&]() -> PyObject* {
        if (err) std::rethrow_exception(err);
        return search_result_to_python(std::move(r), wrap_readable_cell);
    });
}

#define VORLIX_FAST(f) (PyCFunction)(void (*)(void))(f), METH_FASTCALL | METH_KEYWORDS

}  // namespace vorlix::py
