"""The sheet finder: construction from a list of sheet-like objects and the
selections by position, name lists, name and regular expression."""

from __future__ import annotations

import ctypes
import re

import pytest

import vorlix
from vorlix import readable


def names(sheets):
    return [s.name for s in sheets]


def book_with(*sheet_names):
    book = vorlix.Book()
    for i, name in enumerate(sheet_names):
        book.add_sheet(name).cell(1, 1, f"content {i}")
    return book


@pytest.fixture(params=["Finder", "create_finder"])
def make(request):
    return getattr(readable, request.param)


@pytest.fixture
def aba(make):
    """Sheets named 'A', 'B', 'A'; each holds its position in A1."""
    return make(book_with("A", "B", "A").sheets)


def position(sheet):
    return None if sheet is None else sheet.get_value_cell(1, 1)


def test_empty_finder(make):
    f = make([])
    assert f.sheets == [] and repr(f) == "Finder, sheets: 0"
    assert f.get_sheet_index(0) is None
    assert f.get_sheets_without_names([]) == [] and f.get_sheets_with_names(["x"]) == []
    assert f.find_sheet_by_name("") is None and f.find_sheet_by_regex("") is None


def test_selection_by_names(aba):
    assert repr(aba) == "Finder, sheets: 3"
    assert position(aba.find_sheet_by_name("A")) == "content 0"
    assert aba.find_sheet_by_name("a") is None and aba.find_sheet_by_name("A ") is None
    assert [position(s) for s in aba.get_sheets_with_names(["A"])] == ["content 0", "content 2"]
    assert [position(s) for s in aba.get_sheets_with_names(("B", "A", "B", "nope"))] == \
           ["content 0", "content 1", "content 2"]
    assert names(aba.get_sheets_without_names(["A", "A", "zzz"])) == ["B"]
    assert aba.get_sheets_with_names(["b"]) == []  # case-sensitive
    assert aba.get_sheets_with_names([" A"]) == []  # no trimming
    assert aba.get_sheets_with_names([]) == []
    assert names(aba.get_sheets_without_names([])) == ["A", "B", "A"]
    many = [f"n{i}" for i in range(50)]  # long lists work the same
    assert names(aba.get_sheets_with_names(many + ["B"])) == ["B"]
    assert names(aba.get_sheets_without_names(many + ["B"])) == ["A", "A"]
    with pytest.raises(TypeError, match=re.escape("argument 'name_list': Can't extract `str` to `Vec`")):
        aba.get_sheets_with_names("A")
    with pytest.raises(TypeError, match=re.escape("argument 'name': 'NoneType' object cannot be converted to 'PyString'")):
        aba.find_sheet_by_name(None)


def test_selection_by_position(aba):
    assert position(aba.get_sheet_index(1)) == "content 1"
    assert position(aba.get_sheet_index(2)) == "content 2"
    long_max = 2 ** (8 * ctypes.sizeof(ctypes.c_long) - 1) - 1  # 32-bit on ARM
    for idx in (-1, -3, 3, long_max, -long_max - 1):
        assert aba.get_sheet_index(idx) is None
    assert position(aba.get_sheet_index(True)) == "content 1"
    with pytest.raises(OverflowError):
        aba.get_sheet_index(long_max + 1)
    with pytest.raises(TypeError, match=re.escape("argument 'idx': 'str' object cannot be interpreted as an integer")):
        aba.get_sheet_index("0")
    # Every call hands out a new object over the same snapshot.
    first, second = aba.get_sheet_index(0), aba.get_sheet_index(0)
    assert first is not second and aba.sheets[0] is not aba.sheets[0]
    assert [c.value for c in first.cells] == [c.value for c in second.cells] == ["content 0"]


@pytest.mark.parametrize("pattern, found", [
    ("^B$", "B"),
    ("A|B", "A"),  # the first in finder order
    ("(?i)b", "B"),
    ("Sheet", "Sheet1"),  # unanchored
    ("^Sheet$", "Sheet"),
    ("(?<=My)Sheet", "MySheet"),
    (r"Sheet(?!\d)", "MySheet"),
    (r"^(ab)\1$", "abab"),
    (r"^(?<x>\w)(?!\k<x>)\w$", "AB"),
    (r"^Donn\wes$", "Données"),
    ("", "A"),
    ("zzz", None),
    (r"^(a|aa)+$|^ok$", "ok"),  # a name that exhausts the engine does not end the scan
])
def test_selection_by_regex(make, pattern, found):
    f = make(book_with("A", "B", "aa" * 20 + "b", "Sheet1", "MySheet", "Sheet", "abab", "Données", "AB", "ok").sheets)
    result = f.find_sheet_by_regex(pattern)
    assert (None if result is None else result.name) == found


@pytest.mark.parametrize("pattern", ["(", "[a-", "(?Q)", "a{2,1}", "\\", r"(a)\2"])
def test_pattern_that_does_not_compile(aba, pattern):
    with pytest.raises(ValueError) as info:
        aba.find_sheet_by_regex(pattern)
    assert re.fullmatch(r"invalid pattern at offset \d+: \S.*", str(info.value)), str(info.value)
    # The finder stays usable.
    assert aba.find_sheet_by_regex("B").name == "B"
    assert len(aba.get_sheets_with_names(["A"])) == 2


@pytest.mark.parametrize("pattern, message", [
    ("(", "invalid pattern at offset 1: missing closing parenthesis"),
    # Offsets count characters, as Python does, not bytes of UTF-8.
    ("\u00e9\u00e9(", "invalid pattern at offset 3: missing closing parenthesis"),
    ("\u4e2d[", "invalid pattern at offset 2: missing terminating ] for character class"),
])
def test_compile_error_message(aba, pattern, message):
    with pytest.raises(ValueError) as info:
        aba.find_sheet_by_regex(pattern)
    assert str(info.value) == message


def test_sheets_argument(make):
    sheet = vorlix.Book().add_sheet("S")
    for bad, type_name in [((sheet,), "tuple"), (None, "NoneType"), ("S", "str"), (iter([sheet]), "list_iterator")]:
        with pytest.raises(TypeError) as info:
            make(bad)
        assert str(info.value) == f"argument 'sheets': '{type_name}' object cannot be converted to 'PyList'"

    class Sheets(list):
        pass

    assert names(make(Sheets([sheet, sheet])).sheets) == ["S", "S"]
    assert names(make(sheets=[sheet]).sheets) == ["S"]
    with pytest.raises(AttributeError, match=re.escape("cannot read sheets[1]: 'int' object has no attribute 'name'")):
        make([sheet, 42])


def test_create_finder_equals_finder():
    book = book_with("One", "Two")
    book.sheets[1].add_merge_cells(1, 2, 1, 2)
    a, b = readable.Finder(book.sheets), readable.create_finder(book.sheets)
    assert type(a) is type(b) is readable.Finder and repr(a) == repr(b) == "Finder, sheets: 2"
    for x, y in zip(a.sheets, b.sheets):
        assert (x.name, x.sheet_state, x.merge_cells, repr(x)) == (y.name, y.sheet_state, y.merge_cells, repr(y))
        assert [(c.letter, c.value, c.data_type) for c in x.cells] == [(c.letter, c.value, c.data_type) for c in y.cells]


def test_content_is_frozen_when_the_book_changes(make):
    book = book_with("A", "B")
    f = make(book.sheets)
    first = book.sheets[0]
    first.name = "Z"
    first.cell(1, 1, "changed")
    first.cell(2, 2, "new")
    book.sheets[1].name = "A"
    book.add_sheet("C")
    assert repr(f) == "Finder, sheets: 2" and names(f.sheets) == ["A", "B"]
    found = f.find_sheet_by_name("A")
    assert [c.value for c in found.cells] == ["content 0"]
    assert f.find_sheet_by_name("Z") is None and f.find_sheet_by_regex("C") is None
    assert names(f.get_sheets_with_names(["A"])) == ["A"]


def test_list_changed_while_it_is_read(make):
    """Reading an element may run Python code that changes the list: the
    walk stops at the shorter of its starting and current lengths."""
    sheets = []

    class Shrinking:
        sheet_state, merge_cells, cells = "visible", None, []

        @property
        def name(self):
            del sheets[1:]
            return "Shrinking"

    class Growing(Shrinking):
        @property
        def name(self):
            sheets.append(vorlix.Book().add_sheet("late"))
            return "Growing"

    plain = vorlix.Book().add_sheet("plain")
    sheets[:] = [Shrinking(), plain, plain]
    assert names(make(sheets).sheets) == ["Shrinking"]
    sheets[:] = [Growing(), plain]
    assert names(make(sheets).sheets) == ["Growing", "plain"]
    assert len(sheets) == 3
