"""Deleting rows and columns, alone and on sheets that share cells after copy_sheet."""

from __future__ import annotations

import itertools
import json
import re

import pytest

import vorlix

OVERFLOW = "^out of range integral type conversion attempted$"
MAX_ROW = 4294967295
MAX_COL = 65535


def cell_state(cell):
    return (cell.value, cell.formula, cell.data_type, cell.style, cell.hidden_value)


def state(sheet):
    """The sheet's cells as {(row, column): fields}, checking that cells are listed in order."""
    cells = sheet.cells
    coords = [(c.row, c.column) for c in cells]
    assert coords == sorted(set(coords))
    return {(c.row, c.column): cell_state(c) for c in cells}


def at(sheet, row, col):
    """The sheet's cell at (row, col), found without touching it."""
    return next(c for c in sheet.cells if (c.row, c.column) == (row, col))


def sheet_json(book, index):
    """The text of one sheet object of the document."""
    return json.dumps(json.loads(book.to_json())["sheets"][index], ensure_ascii=False)


def shifted(cells, rows, idx, amount):
    """Where each surviving coordinate ends after deleting [idx, idx + amount): {old: new}."""
    out = {}
    for r, c in cells:
        v = r if rows else c
        if idx <= v < idx + amount:
            continue
        if v > idx:
            v -= amount
        out[(r, c)] = (v, c) if rows else (r, v)
    return out


def delete(sheet, rows, idx, amount):
    (sheet.delete_rows if rows else sheet.delete_cols)(idx, amount)


def fill(sheet):
    """A 5 x 4 grid plus cells at the edges of the coordinate space; one cell with every field set."""
    coords = [(r, c) for r in range(1, 6) for c in range(1, 5)] + [(0, 0), (0, 3), (MAX_ROW, MAX_COL), (3, MAX_COL)]
    for r, c in coords:
        sheet.cell(r, c, f"r{r}c{c}")
    rich = sheet.cell(4, 3, "a text too long to be kept inline " * 3)
    rich.formula = "=A1"
    rich.style = "st"
    rich.hidden_value = "hv"
    sheet.cell(5, 1).set_value_number(2.5)


# ------------------------------------------------------------ plain deletes


def test_delete_cols_3_2():
    book = vorlix.Book()
    sheet = book.add_sheet("S")
    for c in range(1, 7):
        sheet.cell(1, c, f"c{c}")
    assert sheet.delete_cols(3, 2) is None
    assert [(c.row, c.column, c.value) for c in sheet.cells] == [(1, 1, "c1"), (1, 2, "c2"), (1, 3, "c5"), (1, 4, "c6")]
    assert sheet.max_column == 4
    doc = json.loads(book.to_json())["sheets"][0]["cells"]
    assert [(c["column"], c["value"]) for c in doc] == [(1, "c1"), (2, "c2"), (3, "c5"), (4, "c6")]


def test_delete_rows_moves_handles():
    sheet = vorlix.Book().add_sheet("S")
    for r in range(1, 4):
        for c in (1, 2):
            sheet.cell(r, c, f"r{r}c{c}")
    moving = sheet.cell(3, 2)
    removed = sheet.cell(2, 1)
    sheet.delete_rows(idx=2, amount=1)
    assert (moving.row, moving.column, moving.letter, moving.value) == (2, 2, "B2", "r3c2")
    same = sheet.cell(2, 2)  # the moved record, not a new cell
    assert same.value == "r3c2" and repr(sheet) == "Sheet (S) cells: 4"
    same.value = "through sheet.cell"
    assert moving.value == "through sheet.cell"
    moving.formula = "=1"
    assert sheet.cell(2, 2).formula == "=1"
    assert state(sheet) == {
        (1, 1): ("r1c1", None, "s", None, None), (1, 2): ("r1c2", None, "s", None, None),
        (2, 1): ("r3c1", None, "s", None, None), (2, 2): ("through sheet.cell", "=1", "General", None, None),
    }
    assert sheet.max_row == 2
    # The removed record keeps its coordinate and value and no longer reaches the sheet.
    assert (removed.row, removed.column, removed.value) == (2, 1, "r2c1")
    removed.value = "lost"
    removed.style = "lost"
    assert sheet.cell(2, 1).value == "r3c1" and sheet.cell(2, 1).style is None
    assert "lost" not in sheet.cells[0].value + sheet.cells[2].value


DELETES = [
    (False, 3, 2), (True, 2, 1), (False, 5, 0), (True, 3, 0), (False, 100, 3), (True, 100, 3),
    (False, MAX_COL, 10), (True, MAX_ROW, 1), (True, 0, 1), (False, 0, 1), (True, 1, MAX_ROW),
    (False, 1, MAX_COL), (True, 0, MAX_ROW), (False, 2, 3), (True, 4, 2), (False, 4, 1),
]


@pytest.mark.parametrize("scrambled", [False, True], ids=["row-major", "scrambled"])
@pytest.mark.parametrize("rows, idx, amount", DELETES)
def test_delete_table(rows, idx, amount, scrambled):
    book = vorlix.Book()
    sheet = book.add_sheet("S")
    if scrambled:
        sheet.cell(MAX_ROW, 1, "late")  # a first cell far down makes the rest arrive out of order
    fill(sheet)
    before = state(sheet)
    handles = {(c.row, c.column): c for c in sheet.cells}
    delete(sheet, rows, idx, amount)
    moves = shifted(before, rows, idx, amount)
    assert state(sheet) == {moves[k]: v for k, v in before.items() if k in moves}
    for old, handle in handles.items():  # handles follow their records
        assert (handle.row, handle.column) == moves.get(old, old)
    after = state(sheet)
    assert sheet.max_row == max((r for r, _ in after), default=0)
    assert sheet.max_column == max((c for _, c in after), default=0)
    doc = json.loads(book.to_json())["sheets"][0]["cells"]
    assert [(c["row"], c["column"]) for c in doc] == sorted(after)
    # New cells still land in order after the delete.
    sheet.cell(2, 2, "new")
    sheet.cell(0, 1, "new")
    assert list(state(sheet)) == sorted(set(after) | {(2, 2), (0, 1)})


def test_amount_zero_and_band_beyond_change_nothing():
    book = vorlix.Book()
    sheet = book.add_sheet("S")
    for c in range(1, 11):
        sheet.cell(1, c, str(c))
    before = book.to_json()
    sheet.delete_cols(5, 0)
    sheet.delete_cols(100, 3)
    sheet.delete_rows(2, 1000)
    sheet.delete_rows(0, 0)
    assert book.to_json() == before


def test_extreme_bands():
    sheet = vorlix.Book().add_sheet("S")
    for coord in [(1, MAX_COL), (1, MAX_COL - 1), (MAX_ROW, 1), (MAX_ROW - 1, 1), (0, 0), (1, 1)]:
        sheet.cell(*coord, f"{coord}")
    sheet.delete_cols(MAX_COL, 10)
    sheet.delete_rows(MAX_ROW, 1)
    assert list(state(sheet)) == [(0, 0), (1, 1), (1, MAX_COL - 1), (MAX_ROW - 1, 1)]
    sheet.delete_rows(0, 1)  # row 0 goes, everything else moves up by one
    assert list(state(sheet)) == [(0, 1), (0, MAX_COL - 1), (MAX_ROW - 2, 1)]
    assert sheet.cell(0, 1).value == "(1, 1)"


def test_comments_merges_and_dimensions_stay():
    book = vorlix.Book()
    sheet = book.add_sheet("S")
    for r in range(1, 8):
        for c in range(1, 8):
            sheet.cell(r, c, f"r{r}c{c}")
    sheet.add_comment(5, 5, "note", "me")
    sheet.add_merge_cells(5, 6, 5, 6)
    sheet.set_width_column(5, 40.0)
    sheet.set_height_row(5, 30.0)
    sheet.set_hidden_row(6, True)
    sheet.set_hidden_column(6, True)
    keep = {k: v for k, v in json.loads(book.to_json())["sheets"][0].items() if k != "cells"}
    sheet.delete_cols(1, 2)
    sheet.delete_rows(1, 1)
    after = json.loads(book.to_json())["sheets"][0]
    assert {k: v for k, v in after.items() if k != "cells"} == keep
    assert sheet.cell(4, 3).value == "r5c5"
    assert sheet.comments[0].coordinate == (5, 5)
    assert sheet.merge_cells == [(5, 6, 5, 6)]
    assert sheet.get_width_by_column(5) == 40.0 and sheet.get_width_by_column(3) == 22.5
    assert sheet.get_height_by_row(5) == 30.0 and sheet.get_hidden_by_row(6) is True


@pytest.mark.parametrize(
    "call, exc, pattern",
    [
        (lambda s: s.delete_cols(-1, 1), OverflowError, OVERFLOW),
        (lambda s: s.delete_cols(1, 65536), OverflowError, OVERFLOW),
        (lambda s: s.delete_rows(1, -1), OverflowError, None),
        (lambda s: s.delete_rows(2**32, 1), OverflowError, OVERFLOW),
        (lambda s: s.delete_cols("a", 1), TypeError, "^argument 'idx': "),
        (lambda s: s.delete_rows(1, 1.0), TypeError, "^argument 'amount': "),
        (lambda s: s.delete_rows(1), TypeError,
         re.escape("Sheet.delete_rows() missing 1 required positional argument: 'amount'") + "$"),
        (lambda s: s.delete_cols(1, 1, amount=2), TypeError,
         re.escape("Sheet.delete_cols() got multiple values for argument 'amount'") + "$"),
    ],
)
def test_refusals_change_nothing(call, exc, pattern):
    book = vorlix.Book()
    sheet = book.add_sheet("S")
    fill(sheet)
    before = book.to_json()
    with pytest.raises(exc, match=pattern):
        call(sheet)
    assert book.to_json() == before


# ------------------------------------------------- sheets sharing cell records


class Model:
    """What the sheets should hold: for each sheet, coordinate -> record id.

    copy_sheet shares every record; a delete moves a record in place when no
    other sheet holds it and gives the edited sheet a record of its own when
    another sheet does, so that sheet keeps the record where it was.
    """

    def __init__(self):
        self.sheets = {}  # name -> (handle, book, index in book, {coord: rid})
        self.fields = {}  # rid -> cell fields
        self.ids = itertools.count()

    def add(self, name, handle, book, index):
        cells = {}
        for coord, fields in state(handle).items():
            rid = next(self.ids)
            self.fields[rid] = fields
            cells[coord] = rid
        self.sheets[name] = (handle, book, index, cells)

    def copy(self, src, name, book):
        handle = book.copy_sheet(self.sheets[src][0])
        self.sheets[name] = (handle, book, len(book.sheets) - 1, dict(self.sheets[src][3]))

    def delete(self, name, rows, idx, amount):
        handle, book, index, cells = self.sheets[name]
        delete(handle, rows, idx, amount)
        others = [c for n, (_, _, _, c) in self.sheets.items() if n != name]
        moves = shifted(cells, rows, idx, amount)
        new = {}
        for old, rid in cells.items():
            if old not in moves:
                continue
            if moves[old] != old and any(rid in o.values() for o in others):
                fresh = next(self.ids)
                self.fields[fresh] = self.fields[rid]
                rid = fresh
            new[moves[old]] = rid
        cells.clear()
        cells.update(new)

    def check(self):
        for name, (handle, book, index, cells) in self.sheets.items():
            assert state(handle) == {k: self.fields[rid] for k, rid in cells.items()}, name
            doc = json.loads(book.to_json())["sheets"][index]["cells"]
            assert [(c["row"], c["column"]) for c in doc] == sorted(cells), name
            count = repr(handle)
            for (r, c), rid in cells.items():  # finds the record, never creates one
                found = handle.cell(r, c)
                assert found.value == self.fields[rid][0]
                # Without a value, Sheet.cell sets the code "General" and keeps the rest.
                self.fields[rid] = self.fields[rid][:2] + ("General",) + self.fields[rid][3:]
                assert cell_state(found) == self.fields[rid]
            assert repr(handle) == count

    def check_sharing(self):
        """Writes a distinct value into every record through one holder and reads all sheets back."""
        for rid in sorted({rid for *_, cells in self.sheets.values() for rid in cells.values()}):
            name, coord = next((n, k) for n, (*_, cells) in self.sheets.items() for k, r in cells.items() if r == rid)
            self.sheets[name][0].cell(*coord, f"id{rid}")
        for name, (handle, *_, cells) in self.sheets.items():
            assert {k: c[0] for k, c in state(handle).items()} == {k: f"id{rid}" for k, rid in cells.items()}, name


# Steps: ("copy", source, new name[, "other book"]) or ("rows"/"cols", sheet, idx, amount).
SCENARIOS = {
    "rows in source": [("copy", "src", "cp"), ("rows", "src", 2, 1)],
    "cols in source": [("copy", "src", "cp"), ("cols", "src", 2, 2)],
    "rows in copy": [("copy", "src", "cp"), ("rows", "cp", 1, 2)],
    "cols in copy, row 0 and beyond": [("copy", "src", "cp"), ("cols", "cp", 0, 1), ("rows", "cp", 100, 5)],
    "both, source first": [("copy", "src", "cp"), ("rows", "src", 2, 1), ("cols", "cp", 1, 1)],
    "both, copy first": [("copy", "src", "cp"), ("cols", "cp", 3, 1), ("rows", "src", 1, 1), ("rows", "src", 2, 1)],
    "same band in both": [("copy", "src", "cp"), ("rows", "src", 2, 1), ("rows", "cp", 2, 1)],
    "copy of a copy": [("copy", "src", "cp"), ("copy", "cp", "cp2"), ("rows", "cp", 2, 1), ("cols", "cp2", 2, 1)],
    "copy after a delete": [("copy", "src", "cp"), ("rows", "src", 2, 1), ("copy", "src", "cp2"),
                            ("cols", "src", 1, 1), ("rows", "cp2", 1, 1)],
    "repeated deletes": [("copy", "src", "cp"), ("rows", "src", 1, 1), ("rows", "src", 1, 1), ("cols", "src", 2, 1),
                         ("rows", "src", 0, 1)],
    "copy in another book": [("copy", "src", "cp", "other book"), ("rows", "src", 2, 1), ("cols", "cp", 1, 2)],
    "whole sheet removed": [("copy", "src", "cp"), ("rows", "src", 0, MAX_ROW)],
}


@pytest.mark.parametrize("steps", SCENARIOS.values(), ids=SCENARIOS.keys())
def test_shared_records_after_copy(steps):
    book = vorlix.Book()
    other = vorlix.Book()
    src = book.add_sheet("Data")
    fill(src)
    src.add_comment(2, 2, "c", "a")
    src.add_merge_cells(1, 2, 1, 2)
    src.set_height_row(3, 9.0)
    model = Model()
    model.add("src", src, book, 0)
    texts = {}  # each sheet's text after the previous step
    for step in steps:
        edited = None
        if step[0] == "copy":
            model.copy(step[1], step[2], other if len(step) > 3 else book)
        else:
            model.delete(step[1], step[0] == "rows", step[2], step[3])
            edited = step[1]
        for name, (_, b, i, _) in model.sheets.items():
            if name in texts and name != edited:
                assert sheet_json(b, i) == texts[name], name  # untouched sheets stay exactly as they were
        model.check()
        texts = {name: sheet_json(b, i) for name, (_, b, i, _) in model.sheets.items()}
    model.check_sharing()


def test_moved_cells_get_own_records_unmoved_stay_shared():
    book = vorlix.Book()
    src = book.add_sheet("Data")
    for r in range(1, 4):
        for c in range(1, 3):
            src.cell(r, c, f"r{r}c{c}")
    old_handle = src.cell(3, 1)
    copy = book.copy_sheet(src)
    before = sheet_json(book, 1)
    src.delete_rows(2, 1)
    assert sheet_json(book, 1) == before
    assert at(copy, 3, 1).value == "r3c1" and at(copy, 2, 1).value == "r2c1"
    # The handle taken before stays on the record the copy still holds.
    assert (old_handle.row, old_handle.column) == (3, 1)
    moved = at(src, 2, 1)
    assert moved.value == "r3c1"
    moved.value = "moved"
    assert at(copy, 3, 1).value == "r3c1" and old_handle.value == "r3c1"
    at(src, 1, 2).value = "unmoved"
    assert at(copy, 1, 2).value == "unmoved"
    at(copy, 1, 1).set_value_bool(True)
    assert at(src, 1, 1).value == "true"
    # A second delete in the edited sheet moves its own record in place.
    handle = at(src, 2, 2)
    src.delete_rows(1, 1)
    assert (handle.row, handle.column, handle.value) == (1, 2, "r3c2")
    assert sheet_json(book, 1) == before.replace('"r1c1", "data_type": "s"', 'true, "data_type": "b"').replace(
        '"r1c2"', '"unmoved"')


def test_dropped_copy_releases_its_hold():
    book = vorlix.Book()
    src = book.add_sheet("Data")
    for r in range(1, 4):
        src.cell(r, 1, f"r{r}")
    other = vorlix.Book()
    other.copy_sheet(src)
    del other  # the copy and its table go with its book
    handle = src.cell(3, 1)
    src.delete_rows(1, 1)
    assert (handle.row, handle.value) == (2, "r3")  # moved in place: nobody else holds it


def test_many_copies():
    book = vorlix.Book()
    src = book.add_sheet("Data")
    for r in range(1, 4):
        for c in range(1, 3):
            src.cell(r, c, f"r{r}c{c}")
    copies = [book.copy_sheet(src) for _ in range(300)]
    before = [sheet_json(book, i) for i in range(1, 301)]
    copies[150].delete_cols(1, 1)
    src.delete_rows(1, 1)
    assert [(c.row, c.column, c.value) for c in copies[150].cells] == [
        (r, 1, f"r{r}c2") for r in range(1, 4)]
    assert [(c.row, c.column, c.value) for c in src.cells] == [
        (r - 1, c, f"r{r}c{c}") for r in (2, 3) for c in (1, 2)]
    after = [sheet_json(book, i) for i in range(1, 301)]
    assert after[:150] + after[151:] == before[:150] + before[151:]
