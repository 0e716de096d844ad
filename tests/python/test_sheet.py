"""Sheet name and state, max row/column, the cells list, merged ranges and comments."""

from __future__ import annotations

import json
import re

import pytest

import vorlix

OVERFLOW = "^out of range integral type conversion attempted$"


def sheet_doc(book, i=0):
    return json.loads(book.to_json())["sheets"][i]


def test_new_sheet(book, sheet):
    assert sheet.merge_cells == [] and sheet.comments == [] and sheet.cells == []
    assert (sheet.max_row, sheet.max_column) == (0, 0)
    assert repr(sheet) == "Sheet (Data) cells: 0"
    assert sheet.sheet_state == "visible"


def test_repr_counts_cells(sheet):
    for i in range(12):
        sheet.cell(i // 5 + 1, i % 5 + 1, str(i))
    sheet.cell(1, 1)  # an existing key adds nothing
    assert repr(sheet) == "Sheet (Data) cells: 12"
    sheet.name = "Ünï \"q\""
    assert repr(sheet) == 'Sheet (Ünï "q") cells: 12'


def test_name_setter(book, sheet):
    other = book.add_sheet("Other")
    sheet.name = "Y"
    assert sheet.name == "Y"
    assert book.sheets[0].name == "Y"  # every handle sees the record
    assert book.get_sheet_name("X") is None and book.get_sheet_name("Data") is None
    assert book.get_sheet_name("Y").name == "Y"
    assert sheet_doc(book)["name"] == "Y"
    sheet.name = "Other"  # duplicates are accepted
    assert (sheet.name, other.name) == ("Other", "Other")
    assert book.get_sheet_name("Other").sheet_state == "visible"
    sheet.name = ""
    assert book.get_sheet_name("").name == ""


def test_name_refusals(book, sheet):
    before = book.to_json()
    with pytest.raises(AttributeError, match="^can't delete attribute$"):
        del sheet.name
    with pytest.raises(TypeError, match=re.escape("argument 'name': 'NoneType' object cannot be converted to 'PyString'")):
        sheet.name = None
    with pytest.raises(TypeError, match=re.escape("argument 'name': 'int' object cannot be converted to 'PyString'")):
        sheet.name = 3
    assert book.to_json() == before


@pytest.mark.parametrize("state", ["hidden", "", "veryHidden", "  any text ∂"])
def test_sheet_state(book, sheet, state):
    assert sheet.set_sheet_state(state) is None
    assert sheet.sheet_state == state
    assert sheet_doc(book)["sheet_state"] == state
    sheet.set_sheet_state(state="visible")
    assert sheet.sheet_state == "visible"


def test_sheet_state_refusals(book, sheet):
    before = book.to_json()
    with pytest.raises(TypeError, match=re.escape("argument 'state': 'NoneType' object cannot be converted to 'PyString'")):
        sheet.set_sheet_state(None)
    with pytest.raises(TypeError, match=re.escape("Sheet.set_sheet_state() missing 1 required positional argument: 'state'")):
        sheet.set_sheet_state()
    with pytest.raises(AttributeError):
        sheet.sheet_state = "hidden"  # read-only attribute
    assert book.to_json() == before


def test_max_row_and_column_from_cells_only(sheet):
    sheet.add_comment(100, 100, "t", "a")
    sheet.add_merge_cells(1, 50, 1, 50)
    sheet.set_height_row(60, 1.0)
    sheet.set_width_column(70, 1.0)
    assert (sheet.max_row, sheet.max_column) == (0, 0)
    sheet.cell(0, 0)
    sheet.cell(0, 9)
    assert (sheet.max_row, sheet.max_column) == (0, 9)
    sheet.cell(2, 5)
    sheet.cell(7, 1)
    assert (sheet.max_row, sheet.max_column) == (7, 9)
    sheet.cell(4294967295, 65535)
    assert (sheet.max_row, sheet.max_column) == (4294967295, 65535)


def test_cells_order_and_handles(sheet):
    coords = [(7, 1), (2, 5), (2, 1), (0, 3), (7, 0), (2, 3), (1, 65535)]
    for r, c in coords:
        sheet.cell(r, c, f"{r}/{c}")
    cells = sheet.cells
    assert [(c.row, c.column) for c in cells] == sorted(coords)
    assert [c.value for c in cells] == [f"{r}/{c}" for r, c in sorted(coords)]
    again = sheet.cells
    assert again is not cells and all(a is not b for a, b in zip(cells, again))
    cells[0].value = "changed"          # a handle on the sheet's record
    assert sheet.cell(0, 3).value == "changed"
    cells.clear()                       # the list is a copy
    assert len(sheet.cells) == len(coords)


def test_cells_order_after_many_inserts(sheet):
    # Out-of-order inserts mixed with row-major appends.
    coords = [(r, c) for r in range(40, 0, -3) for c in (5, 1, 3)] + [(100, 1), (100, 2), (1, 1)]
    for r, c in coords:
        sheet.cell(r, c)
    assert [(c.row, c.column) for c in sheet.cells] == sorted(set(coords))


def test_merge_cells_stored_as_passed(book, sheet):
    ranges = [(5, 2, 3, 1), (1, 1, 1, 3), (1, 1, 1, 3), (1, 2, 1, 4), (0, 4294967295, 0, 65535)]
    for r in ranges:
        assert sheet.add_merge_cells(*r) is None
    sheet.add_merge_cells(start_row=9, end_row=8, start_col=7, end_col=6)
    ranges.append((9, 8, 7, 6))
    merges = sheet.merge_cells
    assert merges == ranges
    assert all(type(m) is tuple for m in merges)
    merges.append((1, 1, 1, 1))         # a copy
    assert sheet.merge_cells == ranges
    assert sheet_doc(book)["merge_cells"] == [list(r) for r in ranges]
    assert '"merge_cells":[[5,2,3,1],[1,1,1,3],[1,1,1,3],' in book.to_json()


@pytest.mark.parametrize(
    "args, exc, pattern",
    [
        ((-1, 1, 1, 1), OverflowError, None),
        ((4294967296, 1, 1, 1), OverflowError, OVERFLOW),
        ((1, 1, 1, 65536), OverflowError, OVERFLOW),
        ((1, 1, -1, 1), OverflowError, OVERFLOW),
        ((1, 1.0, 1, 1), TypeError, "^argument 'end_row': "),
        ((1, 1, "a", 1), TypeError, "^argument 'start_col': "),
        ((1, 1, 1), TypeError,
         re.escape("Sheet.add_merge_cells() missing 1 required positional argument: 'end_col'") + "$"),
    ],
)
def test_merge_cells_refusals(book, sheet, args, exc, pattern):
    sheet.add_merge_cells(1, 1, 1, 1)
    before = book.to_json()
    with pytest.raises(exc, match=pattern):
        sheet.add_merge_cells(*args)
    assert sheet.merge_cells == [(1, 1, 1, 1)]
    assert book.to_json() == before


@pytest.mark.parametrize(
    "args, exc, pattern",
    [
        ((-1, 1, "t", "a"), OverflowError, None),
        ((4294967296, 1, "t", "a"), OverflowError, OVERFLOW),
        ((1, 65536, "t", "a"), OverflowError, OVERFLOW),
        ((1, 1, None, "a"), TypeError,
         re.escape("argument 'text': 'NoneType' object cannot be converted to 'PyString'") + "$"),
        ((1, 1, "t", 5), TypeError, re.escape("argument 'author': 'int' object cannot be converted to 'PyString'") + "$"),
    ],
)
def test_add_comment_refusals(book, sheet, args, exc, pattern):
    before = book.to_json()
    with pytest.raises(exc, match=pattern):
        sheet.add_comment(*args)
    assert sheet.comments == []
    assert book.to_json() == before


def test_comments(book, sheet):
    assert sheet.add_comment(3, 2, "note", "me") is None
    sheet.add_comment(row=3, col=2, author="you", text="second")
    sheet.add_comment(0, 0, "", "")
    comments = sheet.comments
    assert [(c.row, c.column, c.author, c.text) for c in comments] == [
        (3, 2, "me", "note"), (3, 2, "you", "second"), (0, 0, "", "")]
    assert comments[0].coordinate == (3, 2)
    assert type(comments[0].coordinate) is tuple
    assert sheet_doc(book)["comments"] == [
        {"row": 3, "column": 2, "author": "me", "text": "note"},
        {"row": 3, "column": 2, "author": "you", "text": "second"},
        {"row": 0, "column": 0, "author": "", "text": ""},
    ]
    assert '"comments":[{"row":3,"column":2,"author":"me","text":"note"},' in book.to_json()
    assert sheet.cells == []  # a comment needs no cell


def test_comments_are_live_and_shared(book, sheet):
    sheet.add_comment(1, 1, "old text", "old author")
    first = sheet.comments[0]
    other_handle = sheet.comments[0]
    assert first is not other_handle
    first.text = "new text"
    first.author = "new author"
    assert (other_handle.text, other_handle.author) == ("new text", "new author")
    assert (sheet.comments[0].text, sheet.comments[0].author) == ("new text", "new author")
    copy = book.copy_sheet(sheet)
    copy.comments[0].text = "through the copy"
    assert sheet.comments[0].text == "through the copy"
    assert sheet_doc(book, 0)["comments"] == sheet_doc(book, 1)["comments"]
    copy.add_comment(2, 2, "only here", "x")  # later comments are not shared
    assert len(sheet.comments) == 1 and len(copy.comments) == 2


def test_comment_setter_refusals(book, sheet):
    sheet.add_comment(1, 1, "t", "a")
    comment = sheet.comments[0]
    before = book.to_json()
    with pytest.raises(TypeError, match=re.escape("argument 'val': 'int' object cannot be converted to 'PyString'") + "$"):
        comment.text = 5
    with pytest.raises(TypeError, match=re.escape("argument 'val': 'NoneType' object cannot be converted to 'PyString'") + "$"):
        comment.author = None
    for name in ("author", "text"):
        with pytest.raises(AttributeError, match="^can't delete attribute$"):
            delattr(comment, name)
    for name in ("row", "column", "coordinate"):
        with pytest.raises(AttributeError):
            setattr(comment, name, 1)
    assert book.to_json() == before
    with pytest.raises(TypeError, match="^No constructor defined for Comment$"):
        vorlix.Comment()
    with pytest.raises(TypeError, match="^No constructor defined for Sheet$"):
        vorlix.Sheet()


def test_comment_outlives_its_sheet():
    book = vorlix.Book()
    book.add_sheet("S").add_comment(4, 5, "kept", "me")
    comment = book.sheets[0].comments[0]
    del book
    assert (comment.coordinate, comment.text, comment.author) == ((4, 5), "kept", "me")


def test_borrow_conflicts_on_one_handle(book, sheet):
    class ReadsSheet:
        def __index__(self):
            sheet.max_row
            return 1

    class AddsComment:
        def __index__(self):
            sheet.add_comment(1, 1, "t", "a")
            return 1

    class ReadsOtherHandle:
        def __index__(self):
            book.sheets[0].max_row  # another handle on the same record has its own flag
            return 1

    with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
        sheet.add_merge_cells(ReadsSheet(), 1, 1, 1)
    with pytest.raises(RuntimeError, match="^Already borrowed$"):
        sheet.cell(AddsComment(), 1)
    assert sheet.merge_cells == [] and sheet.comments == [] and sheet.cells == []
    sheet.add_merge_cells(ReadsOtherHandle(), 2, 3, 4)
    sheet.add_merge_cells(1, 2, 3, 4)  # the flag is free again after a refused call
    assert sheet.merge_cells == [(1, 2, 3, 4), (1, 2, 3, 4)]
