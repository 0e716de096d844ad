"""Turn a vorlix JSON document into an .xlsx file, with openpyxl.

From the command line (the document from a file, or from standard input with "-"):

    python examples/xlsx_writer.py report.json report.xlsx
    python -c "..." | python examples/xlsx_writer.py - report.xlsx

From Python, with the document of ``Book.to_dict()`` or ``Service.to_dict()``:

    from xlsx_writer import write_xlsx
    write_xlsx(book.to_dict(), "report.xlsx")

How the document lands in the file:

- Sheets keep their order, names and ``sheet_state`` ("visible", "hidden" or
  "veryHidden"); the first visible sheet is the one that opens.
- Cells by ``data_type``: "n" becomes a number (an integer stays an int; a
  fraction keeps 16 significant digits, as openpyxl writes numbers), "b" a
  boolean, "d" a date-time (the "T" text read back into a ``datetime``; a leap
  second becomes the next second; the file keeps milliseconds), "s" a text,
  always stored as text, even when it starts with "=" or reads like an error
  code such as "#N/A". "f" writes the cell's formula ("=" is put in front
  when missing); the value the document carries beside it is not written, a
  spreadsheet program computes it on opening. A "n" value of null (NaN or an
  infinity in the book) becomes the error value #NUM!. A "General" cell is
  written by the JSON type of its value; null leaves the cell empty.
- ``style_id`` names an entry of ``STYLES`` (below), registered in the file as a
  named style of the same name. A date-time cell whose style has no date format
  gets ``DATETIME_FORMAT``, so it still shows as a date.
- Merged ranges are merged; a range given end-first is the same rectangle.
- Comments become cell comments with their author. Several comments on one
  cell (the file holds one per cell) are joined into one: "author: text"
  paragraphs, with the authors listed in order.
- Row heights and hidden rows, column widths and hidden columns (by column
  letter) as the entries say; ``default_height`` and ``default_width`` become the
  sheet's defaults.
- ``hidden_value`` has no place in the file and is not written.

The style table, ``STYLES``:

    id          font                   fill           number format
    title       bold, 14 pt
    header      bold, centred          light grey
    money                                             #,##0.00
    percent                                           0.0%
    date                                              yyyy-mm-dd hh:mm
    total       bold, top border                      #,##0.00
    warning     dark red               light red
    highlight                          light yellow

Pass ``styles=`` to ``write_xlsx`` to use a table of your own.

What the file format cannot hold is refused with ValueError naming the sheet
and the cell, not written differently: rows or columns outside 1..1048576 and
1..16384, sheet names the format forbids (empty, longer than 31 characters,
one of : \\ / ? * [ ], or equal to another name ignoring case), unknown sheet
states and style ids, a document without a visible sheet, overlapping merged
ranges, a value or comment in a merged range other than at its top-left cell,
heights outside 0..409 and widths outside 0..255 (or not finite), date-times
outside the years 1..9999, and texts with control characters the format does
not allow. A refused document leaves no file behind.
"""

from __future__ import annotations

import argparse
import json
import math
import os
import re
import sys
from collections.abc import Mapping, Sequence
from dataclasses import dataclass
from datetime import datetime, timedelta
from typing import Any, Literal, NotRequired, TypedDict, cast

from openpyxl import Workbook
from openpyxl.cell.cell import ILLEGAL_CHARACTERS_RE
from openpyxl.cell.cell import Cell as XlsxCell
from openpyxl.comments import Comment as XlsxComment
from openpyxl.styles import Alignment, Border, Font, NamedStyle, PatternFill, Side
from openpyxl.styles.numbers import is_date_format
from openpyxl.utils import get_column_letter
from openpyxl.utils.exceptions import IllegalCharacterError
from openpyxl.worksheet.worksheet import Worksheet


# The document, as Book.to_dict() returns it.
class CellDoc(TypedDict):
    row: int
    column: int
    value: str | int | float | bool | None
    formula: NotRequired[str]
    data_type: str
    style_id: NotRequired[str]
    hidden_value: NotRequired[str]


class RowDoc(TypedDict):
    row_num: int
    height: float | None
    hidden: bool


class ColumnDoc(TypedDict):
    col_num: int
    width: float | None
    hidden: bool


class RowDimensionsDoc(TypedDict):
    rows: NotRequired[dict[str, RowDoc]]
    default_height: float | None


class ColumnDimensionsDoc(TypedDict):
    columns: NotRequired[dict[str, ColumnDoc]]
    default_width: float | None


class CommentDoc(TypedDict):
    row: int
    column: int
    author: str
    text: str


class SheetDoc(TypedDict):
    name: str
    sheet_state: str
    merge_cells: NotRequired[list[list[int]]]
    cells: list[CellDoc]
    row_dimensions: RowDimensionsDoc
    column_dimensions: ColumnDimensionsDoc
    comments: list[CommentDoc]


class Document(TypedDict):
    sheets: list[SheetDoc]


@dataclass(frozen=True)
class StyleSpec:
    """A named style, in the few terms a report needs."""

    bold: bool = False
    size: float | None = None
    color: str | None = None
    fill: str | None = None
    centred: bool = False
    top_border: bool = False
    number_format: str = "General"

    def named(self, name: str) -> NamedStyle:
        # A fresh NamedStyle per workbook: openpyxl binds a style to the workbook it is added to.
        style = NamedStyle(name=name, number_format=self.number_format)
        style.font = Font(bold=self.bold, size=self.size, color=self.color)
        if self.fill is not None:
            style.fill = PatternFill(fill_type="solid", start_color=self.fill, end_color=self.fill)
        if self.centred:
            style.alignment = Alignment(horizontal="center", vertical="center")
        if self.top_border:
            style.border = Border(top=Side(style="thin"))
        return style


STYLES: dict[str, StyleSpec] = {
    "title": StyleSpec(bold=True, size=14),
    "header": StyleSpec(bold=True, centred=True, fill="DDDDDD"),
    "money": StyleSpec(number_format="#,##0.00"),
    "percent": StyleSpec(number_format="0.0%"),
    "date": StyleSpec(number_format="yyyy-mm-dd hh:mm"),
    "total": StyleSpec(bold=True, top_border=True, number_format="#,##0.00"),
    "warning": StyleSpec(color="9C0006", fill="FFC7CE"),
    "highlight": StyleSpec(fill="FFEB9C"),
}

DATETIME_FORMAT = "yyyy-mm-dd hh:mm:ss"
SheetState = Literal["visible", "hidden", "veryHidden"]
SHEET_STATES: dict[str, SheetState] = {
    "visible": "visible",
    "hidden": "hidden",
    "veryHidden": "veryHidden",
}
MAX_ROW = 1_048_576
MAX_COLUMN = 16_384
MAX_ROW_HEIGHT = 409.0
MAX_COLUMN_WIDTH = 255.0
MAX_SHEET_NAME = 31
FORBIDDEN_IN_SHEET_NAME = frozenset(":\\/?*[]")
NON_FINITE = "#NUM!"
CONTROL_CHARACTER = "the text holds a control character the file format does not allow"

XlsxValue = str | int | float | bool | datetime | None

_DATETIME_TEXT = re.compile(r"(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)(?:\.(\d{3}|\d{6}|\d{9}))?")


def parse_datetime(text: str) -> datetime:
    """Reads the document's date-time text ("2024-01-05T07:08:09", optionally ".250")."""
    match = _DATETIME_TEXT.fullmatch(text)
    if match is None:
        raise ValueError(f"date-time {text!r} is outside the years 1..9999")
    year, month, day, hour, minute, second = (int(part) for part in match.groups()[:6])
    microsecond = int((match[7] or "").ljust(9, "0")[:6])
    leap = second == 60
    try:
        value = datetime(year, month, day, hour, minute, 59 if leap else second, microsecond)
    except ValueError as exc:
        raise ValueError(f"date-time {text!r}: {exc}") from None
    return value + timedelta(seconds=1) if leap else value


def write_xlsx(
    document: Mapping[str, Any],
    path: str | os.PathLike[str],
    styles: Mapping[str, StyleSpec] = STYLES,
) -> None:
    """Writes the document as an .xlsx file at ``path``; see the module's text for the mapping."""
    doc = cast(Document, document)
    sheets = doc["sheets"]
    _check_sheet_names([sheet["name"] for sheet in sheets])
    for sheet in sheets:
        if sheet["sheet_state"] not in SHEET_STATES:
            raise ValueError(f"sheet {sheet['name']!r}: unknown sheet_state {sheet['sheet_state']!r}")
    if not any(sheet["sheet_state"] == "visible" for sheet in sheets):
        raise ValueError("the document has no visible sheet; a workbook needs one")

    workbook = Workbook()
    workbook.remove(workbook.worksheets[0])
    registered: set[str] = set()
    for sheet in sheets:
        for name in _style_ids(sheet):
            if name in registered:
                continue
            if name not in styles:
                known = ", ".join(styles)
                raise ValueError(f"sheet {sheet['name']!r}: unknown style_id {name!r} (known: {known})")
            workbook.add_named_style(styles[name].named(name))
            registered.add(name)
        _write_sheet(workbook.create_sheet(sheet["name"]), sheet)

    workbook.active = next(i for i, sheet in enumerate(sheets) if sheet["sheet_state"] == "visible")
    # Save beside the target and rename, so a failed save never leaves half a file behind.
    target = os.fspath(path)
    partial = f"{target}.{os.getpid()}.partial"
    try:
        workbook.save(partial)
        os.replace(partial, target)
    except BaseException:
        if os.path.exists(partial):
            os.unlink(partial)
        raise


def _style_ids(sheet: SheetDoc) -> list[str]:
    return [cell["style_id"] for cell in sheet["cells"] if "style_id" in cell]


def _check_sheet_names(names: Sequence[str]) -> None:
    seen: set[str] = set()
    for name in names:
        if not 1 <= len(name) <= MAX_SHEET_NAME:
            raise ValueError(f"sheet name {name!r}: a sheet name has 1 to {MAX_SHEET_NAME} characters")
        if FORBIDDEN_IN_SHEET_NAME.intersection(name):
            raise ValueError(f"sheet name {name!r}: none of : \\ / ? * [ ] may appear in it")
        _check_text(name, f"sheet name {name!r}")
        if name.casefold() in seen:
            raise ValueError(f"sheet name {name!r}: used twice (the file ignores case in sheet names)")
        seen.add(name.casefold())


def _write_sheet(ws: Worksheet, sheet: SheetDoc) -> None:
    name = sheet["name"]
    ws.sheet_state = SHEET_STATES[sheet["sheet_state"]]

    filled: set[tuple[int, int]] = set()
    for cell in sheet["cells"]:
        row, column = cell["row"], cell["column"]
        where = _where(name, row, column)
        target = ws.cell(row=row, column=column)
        assert isinstance(target, XlsxCell)  # nothing is merged before every cell is written
        _write_value(target, cell, where)
        if "style_id" in cell:
            target.style = cell["style_id"]
            if isinstance(target.value, datetime) and not is_date_format(target.number_format):
                target.number_format = DATETIME_FORMAT
        if target.value is not None:
            filled.add((row, column))

    comments = _comments_by_cell(name, sheet["comments"])
    _merge(ws, name, sheet.get("merge_cells", []), filled | set(comments))
    for (row, column), comment in comments.items():
        ws.cell(row=row, column=column).comment = comment
    _write_dimensions(ws, sheet)


def _where(sheet: str, row: int, column: int) -> str:
    if not (1 <= row <= MAX_ROW and 1 <= column <= MAX_COLUMN):
        raise ValueError(
            f"sheet {sheet!r}: row {row}, column {column} lies outside"
            f" rows 1..{MAX_ROW}, columns 1..{MAX_COLUMN}"
        )
    return f"{sheet}!{get_column_letter(column)}{row}"


def _write_value(target: XlsxCell, cell: CellDoc, where: str) -> None:
    data_type, value = cell["data_type"], cell["value"]
    text_value = False
    result: XlsxValue
    if data_type == "f":
        formula = cell.get("formula", "")
        if formula in ("", "="):
            raise ValueError(f"{where}: empty formula")
        result = formula if formula.startswith("=") else "=" + formula
    elif data_type == "d" and isinstance(value, str):
        try:
            result = parse_datetime(value)
        except ValueError as exc:
            raise ValueError(f"{where}: {exc}") from None
    elif data_type == "n" and value is None:
        result = NON_FINITE
    elif data_type == "n" and isinstance(value, (int, float)) and not isinstance(value, bool):
        result = value
    elif data_type == "b" and isinstance(value, bool):
        result = value
    elif data_type in ("s", "General") and isinstance(value, str):
        result, text_value = value, True
    elif data_type == "General":
        result = value
    else:
        raise ValueError(f"{where}: data_type {data_type!r} with the value {value!r}")
    try:
        target.value = result
    except IllegalCharacterError:
        raise ValueError(f"{where}: {CONTROL_CHARACTER}") from None
    if text_value:
        # openpyxl would read "=..." as a formula and "#N/A" as an error; a text stays a text.
        target.data_type = "s"


def _check_text(text: str, what: str) -> None:
    if ILLEGAL_CHARACTERS_RE.search(text):
        raise ValueError(f"{what}: {CONTROL_CHARACTER}")


def _comments_by_cell(
    sheet: str, comments: list[CommentDoc]
) -> dict[tuple[int, int], XlsxComment]:
    grouped: dict[tuple[int, int], list[CommentDoc]] = {}
    for comment in comments:
        where = _where(sheet, comment["row"], comment["column"])
        _check_text(comment["text"], f"comment on {where}")
        _check_text(comment["author"], f"comment on {where}")
        grouped.setdefault((comment["row"], comment["column"]), []).append(comment)
    result: dict[tuple[int, int], XlsxComment] = {}
    for position, group in grouped.items():
        if len(group) == 1:
            text, author = group[0]["text"], group[0]["author"]
        else:
            text = "\n\n".join(f"{c['author']}: {c['text']}" for c in group)
            author = ", ".join(dict.fromkeys(c["author"] for c in group))
        result[position] = XlsxComment(text, author)
    return result


def _merge(
    ws: Worksheet, sheet: str, ranges: list[list[int]], occupied: set[tuple[int, int]]
) -> None:
    rectangles: list[tuple[int, int, int, int]] = []
    for start_row, end_row, start_col, end_col in ranges:
        top, bottom = sorted((start_row, end_row))
        left, right = sorted((start_col, end_col))
        _where(sheet, top, left)
        _where(sheet, bottom, right)
        rect = (top, bottom, left, right)
        if rect in rectangles:
            continue  # the same range twice merges once
        label = f"{sheet}!{get_column_letter(left)}{top}:{get_column_letter(right)}{bottom}"
        for o_top, o_bottom, o_left, o_right in rectangles:
            if top <= o_bottom and o_top <= bottom and left <= o_right and o_left <= right:
                raise ValueError(f"{label}: overlaps another merged range")
        for row, column in sorted(occupied):
            if top <= row <= bottom and left <= column <= right and (row, column) != (top, left):
                covered = _where(sheet, row, column)
                raise ValueError(f"{label}: {covered} holds a value or comment that merging would drop")
        rectangles.append(rect)
        ws.merge_cells(start_row=top, end_row=bottom, start_column=left, end_column=right)


def _size(value: float | None, limit: float, what: str) -> float:
    if value is None or not (math.isfinite(value) and 0.0 <= value <= limit):
        raise ValueError(f"{what}: {value!r} is not within 0..{limit:g}")
    return float(value)


def _write_dimensions(ws: Worksheet, sheet: SheetDoc) -> None:
    name = sheet["name"]
    rows, columns = sheet["row_dimensions"], sheet["column_dimensions"]
    ws.sheet_format.defaultRowHeight = _size(
        rows["default_height"], MAX_ROW_HEIGHT, f"sheet {name!r}: default_height"
    )
    ws.sheet_format.customHeight = True
    ws.sheet_format.defaultColWidth = _size(
        columns["default_width"], MAX_COLUMN_WIDTH, f"sheet {name!r}: default_width"
    )
    for row in rows.get("rows", {}).values():
        where = f"sheet {name!r}: row {row['row_num']}"
        if not 1 <= row["row_num"] <= MAX_ROW:
            raise ValueError(f"{where} lies outside rows 1..{MAX_ROW}")
        dimension = ws.row_dimensions[row["row_num"]]
        dimension.height = _size(row["height"], MAX_ROW_HEIGHT, f"{where} height")
        dimension.hidden = row["hidden"]
    for column in columns.get("columns", {}).values():
        where = f"sheet {name!r}: column {column['col_num']}"
        if not 1 <= column["col_num"] <= MAX_COLUMN:
            raise ValueError(f"{where} lies outside columns 1..{MAX_COLUMN}")
        column_dimension = ws.column_dimensions[get_column_letter(column["col_num"])]
        column_dimension.width = _size(column["width"], MAX_COLUMN_WIDTH, f"{where} width")
        column_dimension.hidden = column["hidden"]


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description="Write a vorlix JSON document as an .xlsx file.")
    parser.add_argument("document", help='the JSON document, or "-" for standard input')
    parser.add_argument("xlsx", help="the .xlsx file to write")
    args = parser.parse_args(argv)
    if args.document == "-":
        document = json.load(sys.stdin)
    else:
        with open(args.document, encoding="utf-8") as source:
            document = json.load(source)
    write_xlsx(document, args.xlsx)
    return 0


if __name__ == "__main__":
    sys.exit(main())
