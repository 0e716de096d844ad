"""Read-only snapshots: how a sheet-like object is read into one, what its
cells hold, the ReadableSheet and ReadableCell classes, and sources that
cannot be read."""

from __future__ import annotations

import datetime
import random
import re
import sys

import pytest

import vorlix
from vorlix import readable


def snap(source):
    return readable.Finder([source]).get_sheet_index(0)


def cell_state(c):
    return (c.letter, c.value, c.data_type, c.formula, c.style, c.is_formula, c.is_value_bool,
            c.is_value_numeric, c.is_value_integer, c.is_value_datetime, c.is_value_empty)


class Obj:
    """A sheet-like or cell-like object read through its attributes."""

    def __init__(self, **fields):
        self.__dict__.update(fields)


def src_cell(row=1, column=1, value="x", formula=None, data_type="s", as_dict=False):
    fields = dict(row=row, column=column, value=value, formula=formula, data_type=data_type)
    return fields if as_dict else Obj(**fields)


def src_sheet(cells=(), name="Src", sheet_state="visible", merge_cells=None, as_dict=False):
    fields = dict(name=name, sheet_state=sheet_state, merge_cells=merge_cells, cells=list(cells))
    return fields if as_dict else Obj(**fields)


# ----------------------------------------------------------- cell values

@pytest.fixture
def live():
    return vorlix.Book().add_sheet("Live")


def test_live_values_are_derived_again_from_their_text(live):
    live.cell(1, 1).set_value_number(2.0)
    live.cell(1, 2).set_value_number(2.5)
    live.cell(1, 3).set_value_datetime(datetime.datetime(2024, 1, 5, 7, 8, 9, 250000))
    live.cell(1, 4).set_value_datetime(datetime.datetime(2024, 1, 5, 7, 8, 9))
    f = live.cell(1, 5, "5")
    f.formula = "=A1+1"
    f.style = "bold"
    f.hidden_value = "hidden"
    live.cell(1, 6, "TRUE")
    live.cell(1, 7, "x")
    live.cell(1, 7)  # code "General", value kept
    live.cell(1, 8)
    live.cell(1, 9).set_value_integer(-3)
    live.cell(1, 10, "1e400")
    assert [cell_state(c) for c in snap(live).cells] == [
        # letter value data_type formula style is_formula bool numeric integer datetime empty
        ("A1", "2", "n", None, None, False, False, False, True, False, False),
        ("B1", "2.5", "n", None, None, False, False, True, False, False, False),
        ("C1", "2024-01-05 07:08:09.250", "d", None, None, False, False, False, False, False, False),
        ("D1", "2024-01-05 07:08:09", "d", None, None, False, False, False, False, True, False),
        ("E1", "5", "f", "=A1+1", None, True, False, False, True, False, False),
        ("F1", "true", "b", None, None, False, True, False, False, False, False),
        ("G1", "x", "General", None, None, False, False, False, False, False, False),
        ("H1", "", "General", None, None, False, False, False, False, False, True),
        ("I1", "-3", "n", None, None, False, False, False, True, False, False),
        ("J1", "inf", "n", None, None, False, False, True, False, False, False),
    ]


@pytest.mark.parametrize("value, data_type, formula, expected", [
    # value, data_type, is_formula, bool, numeric, integer, datetime, empty
    ("123", "s", None, ("123", "s", False, False, False, False, False, False)),
    ("123", "n", None, ("123", "n", False, False, False, True, False, False)),
    ("TRUE", "s", None, ("TRUE", "s", False, False, False, False, False, False)),
    ("TRUE", "General", None, ("true", "General", False, True, False, False, False, False)),
    ("1.50", "b", None, ("1.5", "b", False, False, True, False, False, False)),
    ("2024-1-5 7:08:09", "d", None, ("2024-01-05 07:08:09", "d", False, False, False, False, True, False)),
    (None, "n", None, ("", "n", False, False, False, False, False, True)),
    (None, "s", None, ("", "s", False, False, False, False, False, True)),
    ("", "s", None, ("", "s", False, False, False, False, False, False)),  # an empty Text
    ("", "n", None, ("", "n", False, False, False, False, False, True)),
    ("5", "f", "=2+3", ("5", "f", True, False, False, True, False, False)),
    ("5", "General", "=2+3", ("5", "General", False, False, False, True, False, False)),
    (" 5", "n", None, (" 5", "n", False, False, False, False, False, False)),
])
def test_values_from_a_source_follow_its_data_type(value, data_type, formula, expected):
    c = snap(src_sheet([src_cell(3, 2, value, formula, data_type)])).cells[0]
    assert (c.value, c.data_type, c.is_formula, c.is_value_bool, c.is_value_numeric, c.is_value_integer,
            c.is_value_datetime, c.is_value_empty) == expected
    assert (c.row, c.column, c.formula, c.style) == (3, 2, formula, None)


def test_later_source_cell_wins_at_one_coordinate():
    s = snap(src_sheet([src_cell(1, 1, "a"), src_cell(2, 1, "b"), src_cell(1, 1, "c", data_type="n")]))
    assert [(c.letter, c.value) for c in s.cells] == [("A1", "c"), ("A2", "b")]
    assert repr(s) == "ReadableSheet (Src) cells: 2"
    assert [c.value for c in s.find_cells_by_regex("")] == ["c", "b"]
    assert s.find_value_by_coords(1, 1) == "c"


# --------------------------------------------------------- independence

def test_snapshot_keeps_its_content_after_live_edits(live):
    live.cell(1, 1, "old")
    live.cell(3, 2, "keep")
    live.add_merge_cells(1, 2, 1, 2)
    s = snap(live)
    before = [cell_state(c) for c in s.cells]
    live.cell(1, 1, "new")
    live.cell(1, 1).formula = "=B3"
    live.cell(9, 9, "added")
    live.name = "Renamed"
    live.set_sheet_state("hidden")
    live.add_merge_cells(5, 6, 5, 6)
    live.delete_rows(1, 1)
    assert [cell_state(c) for c in s.cells] == before
    assert (s.name, s.sheet_state, s.merge_cells) == ("Live", "visible", [(1, 2, 1, 2)])
    assert (s.max_row, s.max_column) == (3, 2)
    assert s.find_cell_by_regex("new") is None and s.find_cell_by_regex("old").letter == "A1"
    assert s.find_value_by_coords(9, 9) is None and s.get_value_cell(3, 2) == "keep"
    # ...and the live sheet knows nothing of the snapshot.
    assert live.find_cell_by_regex("old") is None


def test_snapshot_of_a_snapshot(live):
    live.cell(1, 1, "a")
    live.cell(2, 1).formula = "=A1"
    first = snap(src_sheet([src_cell(1, 1, "123", data_type="s"), src_cell(2, 2, None, data_type="n")],
                           merge_cells=[(1, 1, 1, 2)]))
    for original in (snap(live), first):
        again = snap(original)
        assert again is not original
        assert [cell_state(c) for c in again.cells] == [cell_state(c) for c in original.cells]
        assert (again.name, again.sheet_state, again.merge_cells) == \
               (original.name, original.sheet_state, original.merge_cells)
    assert snap(first).find_cell_by_coords(1, 1).is_value_integer is False


# --------------------------------------------------------------- sources

class Proxy:
    """Forwards attribute reads, so the object is read field by field."""

    def __init__(self, target):
        self._target = target

    def __getattr__(self, field):
        return getattr(self._target, field)


def test_live_and_snapshot_sheets_read_as_their_attributes_would_be(live):
    live.cell(1, 1).set_value_number(2.0)
    live.cell(1, 2).set_value_number(-0.0)
    live.cell(1, 3).set_value_datetime(datetime.datetime(2024, 1, 5, 7, 8, 9, 123456))
    live.cell(1, 4).set_value_datetime(datetime.datetime(9999, 12, 31, 23, 59, 59))
    live.cell(1, 5, "7").formula = "=3+4"
    live.cell(1, 6, "TRUE")
    live.cell(1, 7).set_value_bool(False)
    live.cell(1, 8, "text")
    live.cell(1, 8)
    live.cell(2, 1)
    live.cell(2, 2, "1e400")
    live.cell(2, 3, "nan")
    live.cell(2, 4).set_value_number(1e21)
    live.cell(0, 0, "origin").style = "s1"
    live.add_merge_cells(1, 2, 3, 4)
    dict_source = src_sheet([src_cell(1, 1, "123", data_type="s"), src_cell(1, 2, None, data_type="s"),
                             src_cell(1, 3, "", data_type="s"), src_cell(1, 4, "TRUE", data_type="s"),
                             src_cell(1, 5, "x", "=1", "f"), src_cell(1, 6, "5", data_type="weird")], as_dict=True)
    for source in (live, snap(live), snap(dict_source)):
        direct, by_attribute = snap(source), snap(Proxy(source))
        assert [cell_state(c) for c in direct.cells] == [cell_state(c) for c in by_attribute.cells]
        assert (direct.name, direct.sheet_state, direct.merge_cells) == \
               (by_attribute.name, by_attribute.sheet_state, by_attribute.merge_cells)

class Props:
    """Reads run Python code: properties are looked up on every read."""

    reads = []

    def __getattr__(self, field):
        Props.reads.append(field)
        if field in ("name", "sheet_state"):
            return {"name": "Props", "sheet_state": "veryHidden"}[field]
        if field == "merge_cells":
            return [[1, 2, 3, 4], (5, 6, 7, 8)]
        if field == "cells":
            return [src_cell(2, 1, "b"), src_cell(1, 1, "a", as_dict=True)]
        raise AttributeError(field)


class RenamingDict(dict):
    """A dict subclass whose item lookup is what the snapshot sees."""

    def __getitem__(self, key):
        return "Renamed" if key == "name" else super().__getitem__(key)


def test_sources_of_every_kind():
    Props.reads = []
    s = snap(Props())
    assert Props.reads == ["name", "sheet_state", "merge_cells", "cells"]
    assert (s.name, s.sheet_state, s.merge_cells) == ("Props", "veryHidden", [(1, 2, 3, 4), (5, 6, 7, 8)])
    assert [(c.letter, c.value) for c in s.cells] == [("A1", "a"), ("A2", "b")]

    # A dict is read wholly by key, its cells too; cells may mix dicts and objects.
    d = src_sheet([src_cell(1, 1, "x", as_dict=True), src_cell(1, 2, "7", data_type="n")],
                  name="D", merge_cells=[(1, 1, 1, 2)], as_dict=True)
    s = snap(d)
    assert (s.name, s.merge_cells, [(c.letter, c.value, c.is_value_integer) for c in s.cells]) == \
           ("D", [(1, 1, 1, 2)], [("A1", "x", False), ("B1", "7", True)])

    s = snap(RenamingDict(d))
    assert s.name == "Renamed" and len(s.cells) == 2

    # A dict's attributes are not its fields.
    holder = RenamingDict(name="N", sheet_state="visible", merge_cells=None)
    holder.__dict__["cells"] = []
    with pytest.raises(KeyError) as info:
        snap(holder)
    assert info.value.args == ("cannot read sheets[0] ('Renamed'): 'cells'",)


def test_sheet_getters_and_reprs(live):
    empty = snap(vorlix.Book().add_sheet("Totals"))
    assert repr(empty) == "ReadableSheet (Totals) cells: 0"
    assert (empty.max_row, empty.max_column, empty.cells, empty.merge_cells) == (0, 0, [], [])
    for r, c in [(3, 2), (1, 7), (12, 1), (0, 0)]:
        live.cell(r, c, f"{r}/{c}")
    live.add_merge_cells(4294967295, 1, 65535, 0)
    s = snap(live)
    assert repr(s) == "ReadableSheet (Live) cells: 4"
    assert (s.max_row, s.max_column, s.sheet_state) == (12, 7, "visible")
    assert s.merge_cells == [(4294967295, 1, 65535, 0)]
    assert [c.letter for c in s.cells] == ["0", "G1", "B3", "A12"]
    assert repr(s.cells[2]) == "ReadableCell, Coords: Coordinate { row: 3, column: 2 }"
    assert s.cells is not s.cells and s.cells[0] is not s.cells[0]


def test_readable_classes_are_read_only(live):
    live.cell(1, 1, "a").hidden_value = "h"
    s = snap(live)
    c = s.cells[0]
    assert not hasattr(c, "hidden_value")
    for obj, attribute in [(c, "value"), (c, "row"), (c, "style"), (c, "anything"), (s, "name"), (s, "cells")]:
        with pytest.raises(AttributeError):
            setattr(obj, attribute, "x")
    for cls, name in [(readable.ReadableCell, "ReadableCell"), (readable.ReadableSheet, "ReadableSheet")]:
        with pytest.raises(TypeError, match=f"^No constructor defined for {name}$"):
            cls()
    assert c.value == "a"


# -------------------------------------------------------- read failures

def bad_sheet_sources():
    ok = src_cell
    return [
        # source, exception type, message, cause type
        (Obj(name="N"), AttributeError,
         "cannot read sheets[0]: 'Obj' object has no attribute 'sheet_state'", AttributeError),
        (src_sheet(name=3), TypeError,
         "cannot read sheets[0]: argument 'name': 'int' object cannot be converted to 'PyString'", TypeError),
        (Obj(name="D", sheet_state="visible", merge_cells=None, cells=(ok(),)), TypeError,
         "cannot read sheets[0] ('D'): argument 'cells': 'tuple' object cannot be converted to 'PyList'", TypeError),
        (src_sheet([ok(), ok(), ok(), ok(row="1")], name="Data"), TypeError,
         "cannot read sheets[0] ('Data') cells[3]: argument 'row': 'str' object cannot be interpreted as an integer",
         TypeError),
        (src_sheet([ok(row=-1)]), OverflowError,
         "cannot read sheets[0] ('Src') cells[0]: can't convert negative int to unsigned", OverflowError),
        (src_sheet([ok(column=65536)]), OverflowError,
         "cannot read sheets[0] ('Src') cells[0]: out of range integral type conversion attempted", OverflowError),
        (src_sheet([ok(row=2**32)]), OverflowError,
         "cannot read sheets[0] ('Src') cells[0]: out of range integral type conversion attempted", OverflowError),
        (src_sheet([ok(), ok(value=1)]), TypeError,
         "cannot read sheets[0] ('Src') cells[1]: argument 'value': 'int' object cannot be converted to 'PyString'",
         TypeError),
        (src_sheet([ok(formula=b"=1")]), TypeError,
         "cannot read sheets[0] ('Src') cells[0]: argument 'formula': 'bytes' object cannot be converted to 'PyString'",
         TypeError),
        (src_sheet([ok(data_type=None)]), TypeError,
         "cannot read sheets[0] ('Src') cells[0]: argument 'data_type': 'NoneType' object cannot be converted to "
         "'PyString'", TypeError),
        (src_sheet([Obj(row=1)]), AttributeError,
         "cannot read sheets[0] ('Src') cells[0]: 'Obj' object has no attribute 'column'", AttributeError),
        (src_sheet(as_dict=True) | {"cells": [{"row": 1}]}, KeyError,
         "cannot read sheets[0] ('Src') cells[0]: 'column'", KeyError),
        ({"name": "N"}, KeyError, "cannot read sheets[0]: 'sheet_state'", KeyError),
        (src_sheet(merge_cells=[(1, 2, 3)]), TypeError,
         "cannot read sheets[0]: argument 'merge_cells': a merged range needs exactly 4 integers, got 3", TypeError),
        (src_sheet(merge_cells=[(1, 2, 3, 4), [1, 2, 3, 4, 5]]), TypeError,
         "cannot read sheets[0]: argument 'merge_cells': a merged range needs exactly 4 integers, got 5", TypeError),
        (src_sheet(merge_cells=[(1, 2, 3, 65536)]), OverflowError,
         "cannot read sheets[0]: out of range integral type conversion attempted", OverflowError),
        (src_sheet(merge_cells=[(1, 2, -1, 4)]), OverflowError,
         "cannot read sheets[0]: out of range integral type conversion attempted", OverflowError),
        (src_sheet(merge_cells=[(-1, 2, 3, 4)]), OverflowError,
         "cannot read sheets[0]: can't convert negative int to unsigned", OverflowError),
        (src_sheet(merge_cells=[(1, 2**32, 3, 4)]), OverflowError,
         "cannot read sheets[0]: out of range integral type conversion attempted", OverflowError),
        (src_sheet(merge_cells=[(1, 2, 3, 2**70)]), OverflowError,
         "cannot read sheets[0]: Python int too large to convert to C long", OverflowError),
        (src_sheet(merge_cells=[(1.0, 2, 3, 4)]), TypeError,
         "cannot read sheets[0]: argument 'merge_cells': 'float' object cannot be interpreted as an integer",
         TypeError),
        (src_sheet(merge_cells="ABCD"), TypeError,
         "cannot read sheets[0]: argument 'merge_cells': Can't extract `str` to `Vec`", TypeError),
        (src_sheet(merge_cells={(1, 2, 3, 4)}), TypeError,
         "cannot read sheets[0]: argument 'merge_cells': 'set' object cannot be converted to 'Sequence'", TypeError),
    ]


BAD_SOURCES = bad_sheet_sources()


@pytest.mark.parametrize("make", [readable.Finder, readable.create_finder], ids=["Finder", "create_finder"])
@pytest.mark.parametrize("source, exc, message, cause", BAD_SOURCES, ids=[c[2][:60] for c in BAD_SOURCES])
def test_unreadable_source(make, source, exc, message, cause):
    with pytest.raises(BaseException) as info:
        make([source])
    assert type(info.value) is exc
    assert info.value.args == (message,)
    assert type(info.value.__cause__) is cause
    assert message.endswith(": " + str(info.value.__cause__))


def test_unreadable_source_names_its_position_and_keeps_nothing(live):
    live.cell(1, 1, "a")
    cells = [src_cell(1, 1), src_cell(2, 1), src_cell(3, 1, value=4)]
    bad = src_sheet(cells, name="Third")
    sheets = [live, src_sheet(), bad]
    counts = [sys.getrefcount(o) for o in [live, bad, *cells]]
    for make in (readable.Finder, readable.create_finder):
        with pytest.raises(TypeError) as info:
            make(sheets)
        assert str(info.value) == ("cannot read sheets[2] ('Third') cells[2]: argument 'value': "
                                   "'int' object cannot be converted to 'PyString'")
        assert str(info.value.__cause__) == "argument 'value': 'int' object cannot be converted to 'PyString'"
    del info
    assert [sys.getrefcount(o) for o in [live, bad, *cells]] == counts
    assert len(sheets) == 3 and bad.cells == cells  # the sources are left as they were
    with pytest.raises(AttributeError, match=re.escape("cannot read sheets[1]: 'int' object has no attribute 'name'")):
        readable.Finder([live, 42])


def test_exception_raised_by_a_source_keeps_its_type():
    class Failing:
        name, sheet_state, merge_cells = "F", "visible", None

        @property
        def cells(self):
            raise LookupError("no cells today")

    with pytest.raises(LookupError) as info:
        readable.Finder([Failing()])
    assert str(info.value) == "cannot read sheets[0] ('F'): no cells today"
    assert str(info.value.__cause__) == "no cells today"

    class Picky(Exception):
        def __init__(self, a, b):
            super().__init__(a, b)

    class Odd(Failing):
        @property
        def cells(self):
            raise Picky(1, 2)

    class Unprintable(Exception):
        def __str__(self):
            raise RuntimeError("no text")

    class Mute(Failing):
        @property
        def cells(self):
            raise Unprintable()

    with pytest.raises(Unprintable) as info:
        readable.Finder([Mute()])
    assert info.value.args == ("cannot read sheets[0] ('F'): <exception str() failed>",)
    assert type(info.value.__cause__) is Unprintable

    # An exception that cannot be rebuilt with a message comes through as raised.
    with pytest.raises(Picky) as info:
        readable.Finder([Odd()])
    assert info.value.args == (1, 2)


# ----------------------------------------------------------- cells list

def test_cells_argument_from_several_snapshots(live):
    live.cell(1, 1, "x")
    a = snap(live).cells
    b = snap(src_sheet([src_cell(1, 1, "x"), src_cell(2, 1, "y")])).cells
    assert [c.value for c in readable.find_cells_by_str("x", a + b)] == ["x", "x"]
    assert readable.find_cells_by_str("x", ()) == []
    with pytest.raises(TypeError, match=re.escape(
            "argument 'cells': 'Cell' object cannot be converted to 'ReadableCell'")):
        readable.find_cells_by_str("x", [live.cell(1, 1)])


def test_message_keeps_every_character_of_the_sheet_name():
    source = src_sheet([src_cell(row=-1)], name="a\x00b \u00fc")
    with pytest.raises(OverflowError) as info:
        readable.Finder([source])
    assert info.value.args == ("cannot read sheets[0] ('a\x00b \u00fc') cells[0]: can't convert negative int to unsigned",)


def test_live_sheet_held_by_a_writer_cannot_be_read(live):
    seen = []

    class Row:
        def __index__(self):
            with pytest.raises(RuntimeError) as info:
                readable.Finder([live])
            seen.append((str(info.value), str(info.value.__cause__)))
            return 1

    live.add_merge_cells(Row(), 1, 1, 1)  # holds the sheet exclusively while converting
    assert seen == [("cannot read sheets[0]: Already mutably borrowed", "Already mutably borrowed")]
    assert snap(live).merge_cells == [(1, 1, 1, 1)]


def test_large_source_read_field_by_field():
    """Thousands of source cells (built in parallel), repeated coordinates
    and every data type, against what a live cell makes of each text."""
    rng = random.Random(11)
    texts = [None, "", "x", "123", "TRUE", "false", "1.50", "1e3", "2024-1-5 7:08:09", " 5", "=A1", "nan"]
    codes = ["s", "n", "b", "d", "General", "f"]
    parser = vorlix.Book().add_sheet("parse").cell(1, 1)

    def parsed(text):
        parser.value = text
        return parser.value

    sources, expected = [], {}
    for i in range(12_000):
        row, col = rng.randint(1, 120), rng.randint(1, 80)
        text, code = rng.choice(texts), rng.choice(codes)
        sources.append(src_cell(row, col, text, None, code, as_dict=i % 2 == 0))
        value = "" if text is None else text if code == "s" else parsed(text)
        expected[row, col] = (value, code)
    s = snap(src_sheet(sources))
    got = {(c.row, c.column): (c.value, c.data_type) for c in s.cells}
    assert got == expected
    assert [(c.row, c.column) for c in s.cells] == sorted(expected)
    assert repr(s) == f"ReadableSheet (Src) cells: {len(expected)}"
