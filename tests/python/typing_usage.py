"""Typed use of the whole API, checked by `mypy --strict` (test_typing.py) and
also run, so the types it asserts are the ones the module really returns.

The block under TYPE_CHECKING holds calls the stubs must reject: each carries
a `type: ignore[code]`, and strict mode reports an ignore that is not needed,
so a stub that grew too loose (an Any, a missing parameter type) fails too.
"""

from __future__ import annotations

import datetime
from typing import TYPE_CHECKING, Any, assert_type

import vorlix
from vorlix import readable
from vorlix.readable import Finder, ReadableCell, ReadableSheet


class Report(vorlix.Service):
    """A service the way a user writes one."""

    def summary_0(self, sheets: list[vorlix.Sheet], /, **kwargs: Any) -> str:
        sheet = self._add_sheet("Summary")
        sheet.cell(1, 1, str(len(sheets)))
        return self.to_json()

    def _fmt_0(self, /, **kwargs: Any) -> dict[str, Any]:
        return self.to_dict()


def build_book() -> vorlix.Book:
    book = vorlix.Book()
    assert_type(book.sheets, list[vorlix.Sheet])
    sheet = book.add_sheet("Data")
    book.add_sheet(name="Hidden", sheet_state="hidden")
    assert_type(sheet, vorlix.Sheet)

    title = sheet.cell(1, 1, "Title")
    assert_type(title.value, str)
    assert_type(title.formula, str | None)
    title.style = "bold"
    title.hidden_value = "kept"
    sheet.cell(row=2, col=1, value="3")
    total = sheet.cell(2, 2)
    total.value = "2.5"
    total.formula = "=A2*1"
    sheet.cell(3, 1).set_value_number(1.5)
    sheet.cell(3, 2).set_value_integer(7)
    sheet.cell(3, 3).set_value_bool(True)
    sheet.cell(3, 4).set_value_datetime(datetime.datetime(2024, 1, 5, 7, 8, 9))
    flags: list[bool] = [
        total.is_formula, total.is_value_bool, total.is_value_numeric,
        total.is_value_integer, total.is_value_datetime, total.is_value_empty,
    ]
    assert flags[0]

    sheet.name = "Data"
    sheet.set_sheet_state("visible")
    sheet.add_merge_cells(1, 1, 1, 3)
    sheet.add_comment(row=1, col=1, text="note", author="me")
    sheet.set_height_row(1, 30.0)
    sheet.set_hidden_row(row_num=4, val=True)
    sheet.set_width_column(2, 12)
    sheet.set_hidden_column(3, False)
    height: float = sheet.get_height_by_row(1)
    width: float = sheet.get_width_by_column(9)
    hidden: bool = sheet.get_hidden_by_row(4) and not sheet.get_hidden_by_column(3)
    assert (height, width, hidden) == (30.0, vorlix.DEFAULT_COLUMN_WIDTH, True)

    comment = sheet.comments[0]
    comment.text = comment.text + "!"
    comment.author = comment.author.upper()
    assert_type(comment.coordinate, tuple[int, int])
    assert comment.coordinate == (comment.row, comment.column)
    assert_type(sheet.merge_cells, list[tuple[int, int, int, int]])
    return book


def search_live(sheet: vorlix.Sheet) -> None:
    assert_type(sheet.find_cell_by_regex("Tit"), vorlix.Cell | None)
    assert_type(sheet.find_cell_by_str("Tit"), vorlix.Cell | None)
    assert_type(sheet.find_cell_by_letter("$A$1"), vorlix.Cell | None)
    assert_type(sheet.find_value_by_coords(1, 1), str | None)
    assert_type(sheet.get_value_cell(99, 99), str)
    found: list[vorlix.Cell] = (
        sheet.find_cells_by_regex("a")
        + sheet.find_cells_by_str(" Title ")
        + sheet.find_cells_for_rows_by_regex("1", col_stop=2)
        + sheet.find_cells_for_cols_by_regex("1", row_stop=2)
        + sheet.find_cells_multi_regex("Title", "3")
        + sheet.find_cells_between_regex(before_regex="Title", after_regex="3")
        + sheet.find_cells_range_rows(1, 2)
        + sheet.find_cells_range_cols(start_col=1, end_col=1)
        + sheet.get_cells_by_range()
        + sheet.get_cells_by_range(start_row=1, end_col=None)
    )
    assert all(isinstance(c, vorlix.Cell) for c in found)
    letters = [c.letter for c in sheet.cells if c.row <= sheet.max_row and c.column <= sheet.max_column]
    assert letters[0] == "A1"


def search_snapshots(book: vorlix.Book) -> None:
    finder = Finder(book.sheets)
    other = readable.create_finder([{"name": "Plain", "sheet_state": "visible", "merge_cells": None, "cells": []}])
    assert_type(other, Finder)
    snap = finder.get_sheet_index(0)
    assert snap is not None
    assert_type(snap, ReadableSheet)
    assert_type(finder.find_sheet_by_name("Data"), ReadableSheet | None)
    assert_type(finder.find_sheet_by_regex("^D(?=ata)"), ReadableSheet | None)
    kept: list[ReadableSheet] = finder.get_sheets_with_names(["Data"]) + finder.get_sheets_without_names(("Data",))
    assert [s.name for s in kept] == ["Data", "Hidden"] and kept[0].sheet_state == "visible"
    assert_type(snap.merge_cells, list[tuple[int, int, int, int]])

    cells = snap.cells
    assert_type(cells, list[ReadableCell])
    first = cells[0]
    assert (first.row, first.column, first.letter, first.data_type) == (1, 1, "A1", "s")
    assert first.style is None and first.formula is None and not first.is_formula
    assert_type(snap.find_cell_by_coords(1, 1), ReadableCell | None)
    assert_type(snap.find_value_by_coords(row=1, col=1), str | None)
    assert_type(snap.find_values_by_col_rows(1, [1, 2]), list[str])
    assert_type(snap.find_values_by_row_cols(row=1, cols=(1, 2)), list[str])
    assert_type(snap.get_cells_by_range(1, None, 1, None), list[ReadableCell])
    assert snap.get_value_cell(1, 1) == "Title" and snap.max_row >= 1 and snap.max_column >= 1
    for method in (snap.find_cell_by_regex, snap.find_cell_by_str, snap.find_cell_by_letter):
        assert_type(method("A1"), ReadableCell | None)
    lists: list[ReadableCell] = (
        snap.find_cells_by_regex("T") + snap.find_cells_by_str("Title")
        + snap.find_cells_for_rows_by_regex("T", 1) + snap.find_cells_for_cols_by_regex("T", 1)
        + snap.find_cells_multi_regex("T", "3") + snap.find_cells_between_regex("T", "3")
        + snap.find_cells_range_rows(1, 1) + snap.find_cells_range_cols(1, 1)
    )
    assert lists

    assert_type(readable.find_cell_by_coords(1, 1, cells), ReadableCell | None)
    assert_type(readable.find_value_by_coords(1, 1, cells), str | None)
    assert_type(readable.find_cell_by_regex("T", cells), ReadableCell | None)
    assert_type(readable.find_cell_by_str(" Title ", cells=cells), ReadableCell | None)
    assert_type(readable.find_cell_by_letter("a1", tuple(cells)), ReadableCell | None)
    more: list[ReadableCell] = (
        readable.find_cells_by_regex("T", cells) + readable.find_cells_by_str("Title", cells)
        + readable.find_cells_for_rows_by_regex("T", 1, cells)
        + readable.find_cells_for_cols_by_regex("T", 1, cells)
        + readable.find_cells_multi_regex("T", "3", cells)
        + readable.find_cells_between_regex("T", "3", cells)
        + readable.find_cells_range_rows(1, 1, cells) + readable.find_cells_range_cols(1, 1, cells)
    )
    values: list[str] = readable.find_values_by_col_rows(1, [1], cells) + readable.find_values_by_row_cols(
        1, [1], cells
    )
    assert more and values == ["Title", "Title"]


def use_service() -> None:
    report = Report(conn_db=None)
    assert report._conn_db is None
    sheet = report._add_sheet("Data", sheet_state="visible")
    copy = report._copy_sheet(sheet)
    assert_type(report._get_sheet_index(0), vorlix.Sheet | None)
    assert_type(report._get_sheet_name(copy.name), vorlix.Sheet | None)
    assert_type(report._sheets, list[vorlix.Sheet])
    text = report.summary_0(report._sheets, title="x")
    assert_type(text, str)
    document = report._fmt_0(pretty=True)
    assert len(document["sheets"]) == 3


def use_module() -> None:
    assert_type(vorlix.version(), str)
    assert vorlix.__version__ == vorlix.version()
    assert vorlix.column_number_to_letter(col=27) == "AA"
    assert vorlix.get_letter_coordinate(7, 2) == "B7"
    assert vorlix.DEFAULT_ROW_HEIGHT == 20.0
    try:
        vorlix.Book().add_sheet("S").find_cell_by_letter("7")
    except ValueError as exc:
        assert "invalid letter reference" in str(exc)
    failure: type[BaseException] = vorlix.InternalFailure
    assert not issubclass(failure, Exception)


def main() -> None:
    book = build_book()
    sheet = book.get_sheet_name("Data")
    assert sheet is not None
    search_live(sheet)
    search_snapshots(book)
    copy = book.copy_sheet(sheet)
    assert book.get_sheet_index(2) is not None and copy.name == "Sheet 3"
    text: str = book.to_json()
    document: dict[str, Any] = book.to_dict()
    assert text.startswith('{"sheets":') and len(document["sheets"]) == 3
    use_service()
    use_module()


if TYPE_CHECKING:
    # Every line must be rejected by the stubs.
    _book = vorlix.Book()
    _sheet = _book.add_sheet(1)  # type: ignore[arg-type]
    _book.add_sheet("S", sheet_state=None)  # type: ignore[arg-type]
    _cell = _book.add_sheet("S").cell(1, 1, 5)  # type: ignore[arg-type]
    _cell.value = None  # type: ignore[assignment]
    _cell.data_type = "s"  # type: ignore[misc]
    _cell.set_value_datetime(datetime.date(2024, 1, 1))  # type: ignore[arg-type]
    _book.add_sheet("S").max_row = 3  # type: ignore[misc]
    _book.to_json(1)  # type: ignore[call-arg]
    _len: int = vorlix.Book().get_sheet_index(0)  # type: ignore[assignment]
    vorlix.Service(None).summary_0(sheets=[])  # type: ignore[call-arg]
    readable.find_cell_by_str("x", [_book.add_sheet("S").cell(1, 1)])  # type: ignore[list-item]
    Finder((_book.add_sheet("S"),))  # type: ignore[arg-type]

    class _Sub(vorlix.Book):  # type: ignore[misc]
        pass


if __name__ == "__main__":
    main()
