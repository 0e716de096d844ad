"""Cell searches at their three entry points: methods of a live Sheet, methods
of a ReadableSheet snapshot, and the readable functions over a list of
snapshot cells."""

from __future__ import annotations

import random
import re

import pytest

import vorlix
from vorlix import readable

ENTRY_POINTS = ("sheet", "snapshot", "function")

# What each entry point offers besides the searches all three share.
MISSING = {
    "sheet": {"find_cell_by_coords", "find_values_by_col_rows", "find_values_by_row_cols"},
    "snapshot": set(),
    "function": {"get_value_cell", "get_cells_by_range"},
}

OVERFLOW = "out of range integral type conversion attempted"


def build(entries, name="S"):
    """A live sheet from (row, col, text) entries, created in the given order;
    a text of None makes an Empty cell."""
    sheet = vorlix.Book().add_sheet(name)
    for row, col, text in entries:
        sheet.cell(row, col, text)
    return sheet


def snapshot(sheet):
    return readable.Finder([sheet]).get_sheet_index(0)


def letters(result):
    """A search result with every cell handle replaced by its letter."""
    if isinstance(result, list):
        return [letters(r) for r in result]
    if isinstance(result, (vorlix.Cell, readable.ReadableCell)):
        return result.letter
    return result


class Searcher:
    """One entry point over one set of cells: search(name, *args) runs the
    search there and gives the result with cells as letters."""

    def __init__(self, entry, sheet):
        self.entry = entry
        self.sheet = sheet
        self.snap = snapshot(sheet)
        self.cells = self.snap.cells
        self.handle_type = vorlix.Cell if entry == "sheet" else readable.ReadableCell

    def has(self, name):
        return name not in MISSING[self.entry]

    def raw(self, name, *args):
        if self.entry == "sheet":
            return getattr(self.sheet, name)(*args)
        if self.entry == "snapshot":
            return getattr(self.snap, name)(*args)
        return getattr(readable, name)(*args, self.cells)

    def __call__(self, name, *args):
        result = self.raw(name, *args)
        for r in result if isinstance(result, list) else [result]:
            assert r is None or isinstance(r, (str, self.handle_type)), r
        return letters(result)


@pytest.fixture(params=ENTRY_POINTS)
def searcher(request):
    """Makes, for one set of cells, the searcher of one entry point."""
    return lambda entries: Searcher(request.param, build(entries))


# ------------------------------------------------------------ single lookups

SINGLE = [
    ("find_cell_by_coords", (1, 1)),
    ("find_value_by_coords", (1, 1)),
    ("find_cell_by_regex", ("",)),
    ("find_cell_by_str", ("",)),
    ("find_cell_by_letter", ("A1",)),
]
LISTS = [
    ("find_cells_by_regex", ("",)),
    ("find_cells_by_str", ("",)),
    ("find_cells_for_rows_by_regex", ("", 65535)),
    ("find_cells_for_cols_by_regex", ("", 4294967295)),
    ("find_cells_multi_regex", ("", "")),
    ("find_cells_between_regex", ("", "")),
    ("find_cells_range_rows", (0, 4294967295)),
    ("find_cells_range_cols", (0, 65535)),
    ("find_values_by_col_rows", (1, [0, 1])),
    ("find_values_by_row_cols", (1, [0, 1])),
    ("get_cells_by_range", (0, 4294967295, 0, 65535)),
]


def test_nothing_to_find(searcher):
    s = searcher([])
    for name, args in SINGLE:
        if s.has(name):
            assert s(name, *args) is None, name
    for name, args in LISTS:
        if s.has(name):
            assert s(name, *args) == [], name
    if s.has("get_value_cell"):
        assert s("get_value_cell", 1, 1) == ""


def test_search_order_is_row_then_column(searcher):
    # Created out of order: the search sequence still runs row by row.
    s = searcher([(3, 1, "b"), (2, 2, "b")])
    assert s("find_cell_by_regex", "b") == "B2"
    assert s("find_cell_by_str", "b") == "B2"
    assert s("find_cells_by_regex", "b") == ["B2", "A3"]
    s = searcher([(3, 1, "b"), (2, 2, "b"), (2, 1, "b")])
    assert s("find_cell_by_regex", "b") == "A2"
    assert s("find_cell_by_letter", "A3") == "A3"
    assert s("find_cells_by_str", " b ") == ["A2", "B2", "A3"]
    assert s("find_cells_range_cols", 1, 1) == ["A2", "A3"]


def test_functions_search_in_list_order_with_duplicates():
    snap = snapshot(build([(2, 2, "b"), (3, 1, "b"), (4, 1, "End"), (5, 1, "Start")]))
    b2, a3, a4, a5 = snap.cells
    cells = [a3, b2, a3]
    assert readable.find_cell_by_regex("b", cells).letter == "A3"
    assert readable.find_cell_by_str("b", cells).letter == "A3"
    assert letters(readable.find_cells_by_regex("b", cells)) == ["A3", "B2", "A3"]
    assert letters(readable.find_cells_by_str("b", cells)) == ["A3", "B2", "A3"]
    assert letters(readable.find_cells_range_rows(0, 9, cells)) == ["A3", "B2", "A3"]
    assert readable.find_values_by_col_rows(1, [3], cells) == ["b", "b"]
    # The region closes on an earlier row than it opened: nothing lies between.
    assert letters(readable.find_cells_multi_regex("Start", "End", [a5, a4])) == ["A5", "A4"]
    assert readable.find_cells_between_regex("Start", "End", [a5, a4]) == []


def test_functions_take_the_first_of_two_cells_with_one_coordinate():
    sheet = build([(1, 1, "old")])
    first = snapshot(sheet).cells[0]
    sheet.cell(1, 1, "new")
    second = snapshot(sheet).cells[0]
    assert readable.find_value_by_coords(1, 1, [second, first]) == "new"
    assert readable.find_cell_by_coords(1, 1, [first, second]).value == "old"
    assert readable.find_cell_by_letter("A1", [second, first]).value == "new"


@pytest.mark.parametrize("needle, found", [
    ("a.c", ["A2"]),  # no metacharacter acts as one
    ("[0-9]", ["A3"]),
    ("(1)", ["A5"]),
    ("a+b", ["A7"]),
    ("^$", ["A8"]),
    ("\\d", ["A9"]),
    ("c", ["A1", "A2"]),
    ("C", []),  # case matters
    ("", ["A1", "A2", "A3", "A4", "A5", "A6", "A7", "A8", "A9"]),  # Empty cells too
])
def test_patterns_are_literal_text(searcher, needle, found):
    s = searcher([(1, 1, "abc"), (2, 1, "xa.cy"), (3, 1, "[0-9]"), (4, 1, "7"), (5, 1, "Total (1)"),
                  (6, 1, None), (7, 1, "a+b"), (8, 1, "^$"), (9, 1, "\\d")])
    assert s("find_cells_by_regex", needle) == found
    assert s("find_cell_by_regex", needle) == (found[0] if found else None)
    if s.entry != "function":  # the methods test containment too
        assert s("find_cell_by_str", needle) == (found[0] if found else None)


def test_long_and_non_ascii_texts(searcher):
    long_text = "lorem ipsum " * 200 + "a.c" + " dolor" * 50
    s = searcher([(1, 1, long_text), (2, 1, "x" * 5000), (3, 1, "caf\u00e9 cr\u00e8me"), (4, 1, "\u4e2d\u6587")])
    assert s("find_cells_by_regex", "a.c") == ["A1"]
    assert s("find_cells_by_regex", "ipsum lorem") == ["A1"]
    assert s("find_cells_by_regex", "dolor dolor") == ["A1"]
    assert s("find_cells_by_regex", "x" * 5000) == ["A2"]
    assert s("find_cells_by_regex", "x" * 5001) == []
    assert s("find_cells_by_regex", "\u00e9 cr") == ["A3"]
    assert s("find_cells_by_regex", "e cr") == []
    assert s("find_cells_by_regex", "\u6587") == ["A4"]
    assert s("find_cells_by_str", "\u4e2d\u6587\u3000") == ["A4"]


def test_empty_pattern_finds_the_first_cell_whatever_its_value(searcher):
    s = searcher([(1, 2, "x"), (1, 1, None)])
    assert s("find_cell_by_regex", "") == "A1"
    assert s("find_cells_for_rows_by_regex", "", 1) == ["A1"]


def test_containment_methods_against_trimmed_equality_function(searcher):
    s = searcher([(1, 1, "xaby"), (2, 1, "  ab "), (3, 1, "ab")])
    if s.entry == "function":
        assert s("find_cell_by_str", "ab") == "A2"
        assert s("find_cell_by_str", " ab") == "A2"
        assert s("find_cell_by_str", "xab") is None
    else:
        assert s("find_cell_by_str", "ab") == "A1"
        assert s("find_cell_by_str", " ab") == "A2"
        assert s("find_cell_by_str", "xab") == "A1"
    # The list search is trimmed equality at every entry point.
    assert s("find_cells_by_str", "ab") == ["A2", "A3"]
    assert s("find_cells_by_str", "\u3000ab\t") == ["A2", "A3"]
    s = searcher([(1, 1, "xaby"), (2, 1, "ab")])
    assert s("find_cell_by_str", " ab") == ("A2" if s.entry == "function" else None)


def test_trimmed_equality_uses_unicode_white_space(searcher):
    texts = [
        "Total", "Total  ", " Total", "\u00a0Total\u3000", "\tTotal\r\n", "\u2028Total\u0085",  # equal
        "total", "Totals", "To tal", "Total.",
        "\u200bTotal", "Total\ufeff", "\u180eTotal",  # not White_Space: kept
    ]
    s = searcher([(i + 1, 1, t) for i, t in enumerate(texts)] + [(20, 1, None), (21, 1, "\u3000 \u00a0")])
    equal = ["A1", "A2", "A3", "A4", "A5", "A6"]
    assert s("find_cells_by_str", " Total ") == equal
    assert s("find_cells_by_str", "\u00a0\u3000Total\u2029") == equal
    assert s("find_cells_by_str", "\u200bTotal") == ["A11"]
    assert s("find_cells_by_str", "Total\ufeff ") == ["A12"]
    # Nothing but white space equals the empty text.
    assert s("find_cells_by_str", "") == ["A20", "A21"]
    assert s("find_cells_by_str", " \u3000") == ["A20", "A21"]


def test_values_are_searched_as_their_text(searcher):
    s = searcher([(1, 1, "TRUE"), (2, 1, "1.50"), (3, 1, "x1.5y"), (4, 1, "105"), (5, 1, "007"),
                  (6, 1, "2024-1-5 7:08:09"), (7, 1, "1e3"), (8, 1, "-Infinity"), (9, 1, "False")])
    assert s("find_cell_by_regex", "TRUE") is None
    assert s("find_cell_by_regex", "true") == "A1"
    assert s("find_cells_by_regex", "1.5") == ["A2", "A3"]
    assert s("find_cells_by_regex", "1.50") == []
    assert s("find_cells_by_regex", "007") == []
    assert s("find_cells_by_regex", "05 07:0") == ["A6"]
    assert s("find_cells_by_regex", "1000") == ["A7"]
    assert s("find_cells_by_regex", "-inf") == ["A8"]
    assert s("find_cells_by_regex", "als") == ["A9"]
    assert s("find_cells_by_str", " true") == ["A1"]
    assert s("find_cells_by_str", "1.5") == ["A2"]
    assert s("find_cells_by_str", "7 ") == ["A5"]
    assert s("find_cells_by_str", "2024-01-05 07:08:09") == ["A6"]
    assert s("find_cells_by_str", "TRUE") == []
    assert s("find_value_by_coords", 2, 1) == "1.5"


def test_value_by_coordinates(searcher):
    s = searcher([(1, 1, None), (1, 2, "v"), (0, 0, "origin")])
    assert s("find_value_by_coords", 1, 1) == ""  # an Empty cell
    assert s("find_value_by_coords", 1, 2) == "v"
    assert s("find_value_by_coords", 0, 0) == "origin"
    assert s("find_value_by_coords", 2, 2) is None  # no cell
    if s.has("get_value_cell"):
        assert [s("get_value_cell", 1, 1), s("get_value_cell", 1, 2), s("get_value_cell", 2, 2)] == ["", "v", ""]
    if s.has("find_cell_by_coords"):
        assert s("find_cell_by_coords", 1, 1) == "A1"
        assert s("find_cell_by_coords", 0, 0) == "0"
        assert s("find_cell_by_coords", 2, 1) is None


@pytest.mark.parametrize("letter", ["b2", "B2", "$B$2", "B$2", "B2:C3", "b2 and more"])
def test_letter_references(searcher, letter):
    s = searcher([(2, 2, "x"), (1, 1, "y")])
    assert s("find_cell_by_letter", letter) == "B2"


def test_letter_reference_to_a_missing_cell(searcher):
    s = searcher([(2, 2, "x")])
    assert s("find_cell_by_letter", "A0") is None
    assert s("find_cell_by_letter", "B4294967295") is None
    assert s("find_cell_by_letter", "XFD1") is None


@pytest.mark.parametrize("letter", ["B", "7", " B2", "AAAA1", "ABCD1", "B4294967296", "=B2", "", "$", "\u00e92"])
@pytest.mark.parametrize("entries", [[], [(2, 2, "x")]], ids=["empty", "filled"])
def test_invalid_letter_reference(searcher, entries, letter):
    s = searcher(entries)
    with pytest.raises(ValueError) as info:
        s("find_cell_by_letter", letter)
    assert str(info.value) == f"invalid letter reference: {letter!r}"


def test_bounds(searcher):
    grid = [(r, c, "m") for r in (3, 2, 1) for c in (3, 1, 2)]
    s = searcher(grid + [(0, 0, "m"), (0, 2, "m"), (2, 0, "m")])
    assert s("find_cells_range_rows", 5, 3) == []  # never swapped
    assert s("find_cells_range_rows", 3, 3) == ["A3", "B3", "C3"]
    assert s("find_cells_range_rows", 0, 0) == ["0", "B0"]
    assert s("find_cells_range_rows", 2, 4294967295) == ["2", "A2", "B2", "C2", "A3", "B3", "C3"]
    assert s("find_cells_range_cols", 2, 1) == []
    assert s("find_cells_range_cols", 0, 0) == ["0", "2"]
    assert s("find_cells_range_cols", 3, 65535) == ["C1", "C2", "C3"]
    # The stops have no lower bound: row 0 and column 0 are included.
    assert s("find_cells_for_rows_by_regex", "m", 2) == ["0", "B0", "A1", "B1", "2", "A2", "B2", "A3", "B3"]
    assert s("find_cells_for_rows_by_regex", "m", 0) == ["0", "2"]
    assert s("find_cells_for_rows_by_regex", "x", 65535) == []
    assert s("find_cells_for_cols_by_regex", "m", 0) == ["0", "B0"]
    assert s("find_cells_for_cols_by_regex", "m", 1) == ["0", "B0", "A1", "B1", "C1"]


def test_stops_test_the_coordinate_and_the_text(searcher):
    s = searcher([(1, 1, "hit"), (1, 2, "miss"), (1, 3, "hit"), (2, 1, "miss"), (3, 2, "hit")])
    assert s("find_cells_for_rows_by_regex", "hit", 2) == ["A1", "B3"]
    assert s("find_cells_for_cols_by_regex", "hit", 2) == ["A1", "C1"]


def test_values_by_column_rows_and_row_columns(searcher):
    s = searcher([(5, 2, "y"), (3, 2, "x"), (3, 1, "z"), (5, 3, "w"), (7, 2, None)])
    if s.entry == "sheet":
        return  # only snapshots and cell lists offer these
    assert s("find_values_by_col_rows", 2, [5, 3, 3, 9]) == ["x", "y"]
    assert s("find_values_by_col_rows", 2, (7, 5)) == ["y", ""]
    assert s("find_values_by_col_rows", 2, []) == []
    assert s("find_values_by_row_cols", 5, [3, 2, 2, 9]) == ["y", "w"]
    assert s("find_values_by_row_cols", 3, [0]) == []


@pytest.mark.parametrize("texts, kept", [
    (["Start", "a", "End", "End", "Start", "Start", "b"], [1, 3, 5]),
    (["StartEnd", "x", "StartEnd", "StartEnd"], [1, 3, 4]),  # opens, closes, opens again
    (["End", "Start", "x"], [2]),  # unclosed at the end
    (["x", "y"], []),
])
def test_region_boundaries(searcher, texts, kept):
    s = searcher([(i + 1, 1, t) for i, t in enumerate(texts)])
    assert s("find_cells_multi_regex", "Start", "End") == [f"A{k}" for k in kept]


BETWEEN_BASE = {(1, 1): "y", (2, 1): "left", (2, 2): "Start", (2, 3): "x", (3, 1): "mid",
                (4, 1): "before", (4, 2): "End", (4, 3): "right", (5, 1): "z"}


@pytest.mark.parametrize("changes, found", [
    ({}, ["A2", "B2", "C2", "A3", "A4", "B4", "C4"]),
    ({(4, 2): "other"}, ["A2", "B2", "C2", "A3", "A4", "B4", "C4", "A5"]),  # never closed
    ({(2, 3): "End"}, ["A2", "B2", "C2"]),  # closed in its own row
    ({(6, 1): "Start", (7, 1): "End"}, ["A2", "B2", "C2", "A3", "A4", "B4", "C4"]),  # first region only
    ({(2, 2): "Begin"}, []),
])
def test_cells_between(searcher, changes, found):
    cells = {**BETWEEN_BASE, **changes}
    s = searcher([(r, c, t) for (r, c), t in sorted(cells.items(), reverse=True)])
    assert s("find_cells_between_regex", "Start", "End") == found


@pytest.mark.parametrize("entry", ["sheet", "snapshot"])
def test_cells_by_range(entry):
    sheet = build([(0, 1, "r0"), (1, 0, "c0"), (1, 1, "a"), (2, 3, "b"), (1048576, 16384, "edge"),
                   (1048577, 1, "below"), (1, 16385, "right"), (5, 5, "e")])
    target = sheet if entry == "sheet" else snapshot(sheet)

    def got(*args, **kwargs):
        return letters(target.get_cells_by_range(*args, **kwargs))

    # The defaults leave out row 0, column 0 and what lies beyond the grid.
    assert got() == ["A1", "C2", "E5", "XFD1048576"]
    assert got(None, None, None, None) == got()
    assert got(0) == ["A0", "A1", "C2", "E5", "XFD1048576"]
    assert got(0, 4294967295, 0, 65535) == ["A0", "1", "A1", "XFE1", "C2", "E5", "XFD1048576", "A1048577"]
    assert got(start_row=2, end_row=5) == ["C2", "E5"]
    assert got(end_col=3) == ["A1", "C2"]
    assert got(3, 2) == [] and got(None, None, 4, 3) == []
    with pytest.raises(OverflowError, match=OVERFLOW):
        target.get_cells_by_range(end_col=65536)


def test_cells_by_range_on_a_full_sheet_equals_its_cells():
    sheet = build([(r, c, f"{r}.{c}") for r in range(40, 0, -1) for c in range(30, 0, -1)])
    assert letters(sheet.get_cells_by_range()) == letters(sheet.cells)
    snap = snapshot(sheet)
    assert letters(snap.get_cells_by_range()) == letters(snap.cells)


def test_order_follows_edits_deletions_and_copies():
    """The search order stays a fresh row-then-column sort while cells are
    added out of order, deleted and moved, also in a copy sharing records."""
    rng = random.Random(3)
    book = vorlix.Book()
    sheet = book.add_sheet("S")
    model = {}

    def delete(band_of, idx, amount):
        moved = {}
        for (r, c), t in model.items():
            k = band_of(r, c)
            if k < idx:
                moved[r, c] = t
            elif k >= idx + amount:
                moved[(r - amount, c) if band_of is row_of else (r, c - amount)] = t
        model.clear()
        model.update(moved)

    def row_of(r, c):
        return r

    def col_of(r, c):
        return c

    for step in range(120):
        if step == 60:
            copy = book.copy_sheet(sheet)
        op = rng.choice(["cell", "cell", "rows", "cols"])
        if op == "cell":
            r, c = rng.randint(0, 12), rng.randint(0, 9)
            model[r, c] = f"t{step}"
            sheet.cell(r, c, model[r, c])
        else:
            idx, amount = rng.randint(0, 12), rng.randint(0, 3)
            getattr(sheet, "delete_" + op)(idx, amount)
            delete(row_of if op == "rows" else col_of, idx, amount)
        found = [(c.row, c.column, c.value) for c in sheet.find_cells_by_regex("")]
        assert found == sorted((r, c, t) for (r, c), t in model.items()), step
        if step >= 60:
            listed = [(c.row, c.column) for c in copy.find_cells_by_regex("")]
            assert listed == sorted(set(listed))
            assert all(copy.find_cell_by_letter(c.letter) is not None for c in copy.cells if c.column > 0)


# ------------------------------------------------------------- conversions

def test_argument_refusals(searcher):
    s = searcher([(1, 1, "a")])
    cases = [
        (("find_value_by_coords", -1, 1), OverflowError, "can't convert negative int to unsigned"),
        (("find_value_by_coords", 1, 65536), OverflowError, OVERFLOW),
        (("find_value_by_coords", 4294967296, 1), OverflowError, OVERFLOW),
        (("find_value_by_coords", 1, "1"), TypeError, "argument 'col': 'str' object cannot be interpreted as an integer"),
        (("find_cell_by_regex", 1), TypeError, "argument 'regex': 'int' object cannot be converted to 'PyString'"),
        (("find_cells_by_str", None), TypeError, "argument 'value': 'NoneType' object cannot be converted to 'PyString'"),
        (("find_cell_by_letter", b"A1"), TypeError, "argument 'letter': 'bytes' object cannot be converted to 'PyString'"),
        (("find_cells_multi_regex", "a", 2), TypeError, "argument 'after_regex': 'int' object cannot be converted to 'PyString'"),
        (("find_cells_range_cols", 0, -1), OverflowError, "out of range integral type conversion attempted"),
        (("find_cells_for_rows_by_regex", "a", 65536), OverflowError, OVERFLOW),
        (("find_values_by_col_rows", 1, "12"), TypeError, "argument 'rows': Can't extract `str` to `Vec`"),
        (("find_values_by_row_cols", 1, "12"), TypeError, "argument 'cols': Can't extract `str` to `Vec`"),
        (("find_values_by_col_rows", 1, {1}), TypeError, "argument 'rows': 'set' object cannot be converted to 'Sequence'"),
        (("find_values_by_row_cols", 1, [1, 65536]), OverflowError, OVERFLOW),
    ]
    for (name, *args), exc, message in cases:
        if not s.has(name):
            continue
        with pytest.raises(exc) as info:
            s(name, *args)
        assert str(info.value) == message, name


CELL_FUNCTIONS = [
    ("find_cell_by_coords", (1, 1)), ("find_value_by_coords", (1, 1)), ("find_cell_by_regex", ("a",)),
    ("find_cell_by_str", ("a",)), ("find_cell_by_letter", ("A1",)), ("find_cells_by_regex", ("a",)),
    ("find_cells_by_str", ("a",)), ("find_cells_for_rows_by_regex", ("a", 1)),
    ("find_cells_for_cols_by_regex", ("a", 1)), ("find_cells_multi_regex", ("a", "b")),
    ("find_cells_between_regex", ("a", "b")), ("find_cells_range_rows", (1, 1)),
    ("find_cells_range_cols", (1, 1)), ("find_values_by_col_rows", (1, [1])),
    ("find_values_by_row_cols", (1, [1])),
]


@pytest.mark.parametrize("name, args", CELL_FUNCTIONS, ids=[n for n, _ in CELL_FUNCTIONS])
def test_cells_argument(name, args):
    live = build([(1, 1, "a")])
    cell = snapshot(live).cells[0]
    fn = getattr(readable, name)
    expected = letters(fn(*args, [cell]))
    assert letters(fn(*args, (cell,))) == expected
    assert letters(fn(*args, cells=[cell])) == expected
    for cells, message in [
        ([cell, live.cells[0]], "argument 'cells': 'Cell' object cannot be converted to 'ReadableCell'"),
        ({cell}, "argument 'cells': 'set' object cannot be converted to 'Sequence'"),
        ({0: cell}, "argument 'cells': 'dict' object cannot be converted to 'Sequence'"),
        ((c for c in [cell]), "argument 'cells': 'generator' object cannot be converted to 'Sequence'"),
        ("A1", "argument 'cells': Can't extract `str` to `Vec`"),
        (None, "argument 'cells': 'NoneType' object cannot be converted to 'Sequence'"),
        ([snapshot(live)], "argument 'cells': 'ReadableSheet' object cannot be converted to 'ReadableCell'"),
    ]:
        with pytest.raises(TypeError) as info:
            fn(*args, cells)
        assert str(info.value) == message
    with pytest.raises(TypeError, match=re.escape(f"{name}() missing 1 required positional argument: 'cells'")):
        fn(*args)


def test_cells_argument_iteration_error_propagates():
    cell = snapshot(build([(1, 1, "a")])).cells[0]

    class Broken:
        def __len__(self):
            return 2

        def __getitem__(self, i):
            if i == 0:
                return cell
            raise KeyError("broken at 1")

    with pytest.raises(KeyError, match="broken at 1"):
        readable.find_cells_by_regex("a", Broken())


# ---------------------------------------------------------- live results

def test_found_cells_are_live_handles():
    sheet = build([(1, 1, "alpha"), (2, 1, "beta")])
    first = sheet.find_cell_by_regex("alp")
    again = sheet.find_cell_by_str("alp")
    assert isinstance(first, vorlix.Cell) and first is not again
    first.value = "gamma"
    assert again.value == "gamma"
    assert sheet.get_value_cell(1, 1) == "gamma"
    assert sheet.find_cell_by_regex("alp") is None
    for cell in sheet.find_cells_by_regex("a"):
        cell.value = cell.value.upper()
    assert [c.value for c in sheet.cells] == ["GAMMA", "BETA"]


def test_function_results_share_the_listed_records():
    cells = snapshot(build([(1, 1, "alpha")])).cells
    found = readable.find_cell_by_regex("alp", cells)
    assert found is not cells[0] and isinstance(found, readable.ReadableCell)
    assert (found.letter, found.value, found.data_type) == ("A1", "alpha", "s")


# -------------------------------------------------- large sheets, pool scans

ROWS, COLS = 170, 130  # 22,100 cells, well above the pool's serial grain


def large_sheet():
    """A sheet filled in random order whose texts depend on each cell's
    position in row-then-column order."""
    rng = random.Random(20240105)
    words = ["alpha", "beta", "gamma", " beta ", "delta", "TRUE", "12", "3.25", "", "Total", "Start", "End"]
    texts = {}
    for pos in range(ROWS * COLS):
        r, c = divmod(pos, COLS)
        texts[(r + 1, c + 1)] = rng.choice(words)
    # A rare text only in the parallel part of the scan, spread so that every
    # worker meets one soon: only the lowest position may win.
    for pos in [12000, *range(13100, 22000, 500)]:
        texts[divmod(pos, COLS)[0] + 1, pos % COLS + 1] = f"needle{pos}"
    texts[ROWS, COLS] = "last one"
    keys = list(texts)
    rng.shuffle(keys)
    sheet = vorlix.Book().add_sheet("Big")
    for r, c in keys:
        sheet.cell(r, c, texts[r, c])
    return sheet


@pytest.fixture(scope="module")
def big():
    sheet = large_sheet()
    snap = snapshot(sheet)
    return sheet, snap


def reference(cells):
    """Pure-Python searches over (letter, row, col, text) tuples in sequence order."""
    def keep(pred):
        return [l for l, r, c, t in cells if pred(r, c, t)]

    def first(pred):
        kept = keep(pred)
        return kept[0] if kept else None

    def boundaries(before, after):
        out, is_open = [], False
        for l, r, c, t in cells:
            if not is_open and before in t:
                is_open = True
                out.append((l, r))
            elif is_open and after in t:
                is_open = False
                out.append((l, r))
        return out

    def between(before, after):
        b = boundaries(before, after)
        if not b:
            return []
        lo, hi = b[0][1], (b[1][1] if len(b) > 1 else 2**32)
        return keep(lambda r, c, t: lo <= r <= hi)

    return {
        "find_cell_by_regex": lambda n: first(lambda r, c, t: n in t),
        "find_cells_by_regex": lambda n: keep(lambda r, c, t: n in t),
        "find_cells_by_str": lambda n: keep(lambda r, c, t: t.strip() == n.strip()),
        "find_cells_for_rows_by_regex": lambda n, stop: keep(lambda r, c, t: c <= stop and n in t),
        "find_cells_for_cols_by_regex": lambda n, stop: keep(lambda r, c, t: r <= stop and n in t),
        "find_cells_range_rows": lambda lo, hi: keep(lambda r, c, t: lo <= r <= hi),
        "find_cells_range_cols": lambda lo, hi: keep(lambda r, c, t: lo <= c <= hi),
        "find_cells_multi_regex": lambda b, a: [l for l, _ in boundaries(b, a)],
        "find_cells_between_regex": between,
        "find_value_by_coords": lambda row, col: next((t for l, r, c, t in cells if (r, c) == (row, col)), None),
        "find_values_by_col_rows": lambda col, rows: [t for l, r, c, t in cells if c == col and r in rows],
    }


LARGE_QUERIES = [
    ("find_cell_by_regex", ("needle",)), ("find_cell_by_regex", ("last",)), ("find_cell_by_regex", ("nothing",)),
    ("find_cell_by_regex", ("eta",)),
    ("find_cells_by_regex", ("needle",)), ("find_cells_by_regex", ("a",)), ("find_cells_by_regex", ("",)),
    ("find_cells_by_regex", ("3.2",)),
    ("find_cells_by_str", ("beta",)), ("find_cells_by_str", ("true",)), ("find_cells_by_str", ("",)),
    ("find_cells_for_rows_by_regex", ("gamma", 7)), ("find_cells_for_cols_by_regex", ("12", 150)),
    ("find_cells_range_rows", (40, 150)), ("find_cells_range_cols", (100, 200)),
    ("find_cells_multi_regex", ("Start", "End")), ("find_cells_between_regex", ("needle12000", "needle15100")),
    ("find_cells_between_regex", ("needle15100", "nothing")),
    ("find_value_by_coords", (ROWS, COLS)), ("find_value_by_coords", (ROWS + 1, 1)),
    ("find_values_by_col_rows", (5, [150, 3, 77, 3, 999])),
]


def cell_tuples(cells):
    return [(c.letter, c.row, c.column, c.value) for c in cells]


@pytest.mark.parametrize("entry", ENTRY_POINTS)
def test_large_sheet_agrees_with_a_plain_scan(big, entry):
    sheet, _ = big
    ordered = sorted(cell_tuples(sheet.cells), key=lambda t: (t[1], t[2]))
    assert len(ordered) == ROWS * COLS
    ref = reference(ordered)
    s = Searcher(entry, sheet)
    for name, args in LARGE_QUERIES:
        if s.has(name):
            assert s(name, *args) == ref[name](*args), (name, args)
    for _ in range(10):  # first matches race between workers
        assert s("find_cell_by_regex", "needle") == ref["find_cell_by_regex"]("needle")
    assert s("find_cell_by_letter", "DZ170") == "DZ170"


def test_large_shuffled_cell_list_agrees_with_a_plain_scan(big):
    sheet, snap = big
    cells = snap.cells
    random.Random(7).shuffle(cells)
    # A second record for one coordinate, listed after the first one.
    sheet_copy = snapshot(build([(ROWS, COLS, "duplicate")]))
    cells.insert(20000, sheet_copy.cells[0])
    ref = reference(cell_tuples(cells))
    for name, args in LARGE_QUERIES:
        assert letters(getattr(readable, name)(*args, cells)) == ref[name](*args), (name, args)
    at = next(i for i, c in enumerate(cells) if (c.row, c.column) == (ROWS, COLS))
    assert readable.find_cell_by_coords(ROWS, COLS, cells).value == cells[at].value
    assert readable.find_cell_by_letter(cells[12345].letter, cells).letter == cells[12345].letter
