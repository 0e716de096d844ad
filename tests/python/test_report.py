"""The example report job end to end (database -> book -> JSON document -> .xlsx),
and the xlsx writer on the cases a report may meet."""

from __future__ import annotations

import json
import math
import re
import subprocess
import sys
from dataclasses import dataclass
from datetime import datetime
from pathlib import Path
from typing import Any

import openpyxl
import pytest
from openpyxl.utils import get_column_letter

import vorlix

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"
sys.path.insert(0, str(EXAMPLES))

import report  # noqa: E402
import xlsx_writer  # noqa: E402


@dataclass
class Run:
    stdout: str
    document: dict[str, Any]
    workbook: Any


@pytest.fixture(scope="module")
def run(tmp_path_factory: pytest.TempPathFactory) -> Run:
    # Without options the files land in build/report below the working folder, as with `make demo`.
    cwd = tmp_path_factory.mktemp("demo")
    proc = subprocess.run(
        [sys.executable, str(EXAMPLES / "report.py")],
        cwd=cwd, capture_output=True, text=True, timeout=300,
    )
    assert proc.returncode == 0, proc.stderr
    out = cwd / "build" / "report"
    document = json.loads((out / "report.json").read_text(encoding="utf-8"))
    return Run(proc.stdout, document, openpyxl.load_workbook(out / "report.xlsx"))


def cells_of(document: dict[str, Any]) -> list[tuple[str, dict[str, Any]]]:
    return [(sheet["name"], cell) for sheet in document["sheets"] for cell in sheet["cells"]]


def fresh_report() -> report.SalesReport:
    service = report.SalesReport(report.create_database())
    service.summary_0(report.SHEETS, highlight="Gadget")
    return service


def test_demo_prints_a_summary_and_where_it_wrote(run: Run) -> None:
    lines = run.stdout.splitlines()
    assert lines[0].startswith(f"vorlix {vorlix.__version__}: SalesReport, sheets: 3")
    for sheet in run.document["sheets"]:
        assert any(line.split()[:3] == [sheet["name"], sheet["sheet_state"], str(len(sheet["cells"]))]
                   for line in lines)
    assert f"wrote {Path('build/report/report.json')}" in run.stdout
    assert f"wrote {Path('build/report/report.xlsx')}" in run.stdout


def test_json_file_is_the_books_document(run: Run, tmp_path: Path) -> None:
    service = fresh_report()
    assert run.document == service.to_dict()
    # --out picks the folder, created when missing; the file holds the compact text as to_json gives it.
    out = tmp_path / "a" / "b"
    assert report.main(["--out", str(out)]) == 0
    text = (out / "report.json").read_text(encoding="utf-8")
    assert json.loads(text) == service.to_dict()
    assert len(text) == len(service.to_json()) and "\n" not in text
    assert (out / "report.xlsx").stat().st_size > 0


def test_sheets_keep_order_and_state(run: Run) -> None:
    sheets = run.document["sheets"]
    assert run.workbook.sheetnames == [s["name"] for s in sheets]
    assert [ws.sheet_state for ws in run.workbook.worksheets] == [s["sheet_state"] for s in sheets]
    assert {"visible", "hidden"} <= {s["sheet_state"] for s in sheets}
    assert run.workbook.active.title == next(s["name"] for s in sheets if s["sheet_state"] == "visible")


def test_cell_values_keep_their_kinds(run: Run) -> None:
    kinds = set()
    for name, cell in cells_of(run.document):
        got = run.workbook[name].cell(cell["row"], cell["column"])
        data_type, value = cell["data_type"], cell["value"]
        kinds.add(data_type)
        where = f"{name}!{got.coordinate}"
        if data_type == "f":
            assert (got.data_type, got.value) == ("f", cell["formula"]), where
        elif data_type == "n":
            # openpyxl writes numbers with 16 significant digits.
            assert type(got.value) in (int, float) and got.value == float(f"{value:.16g}"), where
        elif data_type == "b":
            assert type(got.value) is bool and got.value is value, where
        elif data_type == "d":
            assert type(got.value) is datetime, where
            assert got.value == datetime.fromisoformat(value), where
            assert got.is_date, where
        else:
            assert data_type == "s", where
            assert (got.data_type, got.value) == ("s", value), where
    assert kinds == {"s", "n", "b", "d", "f"}
    # Nothing beyond the book's cells was written.
    written = {(ws.title, c.row, c.column) for ws in run.workbook for row in ws.iter_rows() for c in row
               if c.value is not None}
    assert written == {(name, c["row"], c["column"]) for name, c in cells_of(run.document)}


def test_style_ids_become_named_styles(run: Run) -> None:
    used = set()
    for name, cell in cells_of(run.document):
        got = run.workbook[name].cell(cell["row"], cell["column"])
        where = f"{name}!{got.coordinate}"
        if "style_id" not in cell:
            assert got.style == "Normal", where
            continue
        used.add(cell["style_id"])
        assert got.style == cell["style_id"], where
        spec = xlsx_writer.STYLES[cell["style_id"]]
        assert got.font.b == spec.bold, where
        # A date keeps a date format whatever its style; every other cell shows its style's format.
        assert got.is_date if cell["data_type"] == "d" else got.number_format == spec.number_format, where
    assert len(used) >= 5


def test_merged_ranges(run: Run) -> None:
    merged_somewhere = False
    for sheet in run.document["sheets"]:
        expected = {
            f"{get_column_letter(c1)}{r1}:{get_column_letter(c2)}{r2}"
            for r1, r2, c1, c2 in sheet.get("merge_cells", [])
        }
        merged_somewhere |= bool(expected)
        assert {str(r) for r in run.workbook[sheet["name"]].merged_cells.ranges} == expected
    assert merged_somewhere


def test_comments_carry_text_and_author(run: Run) -> None:
    count = 0
    for sheet in run.document["sheets"]:
        ws = run.workbook[sheet["name"]]
        for comment in sheet["comments"]:
            got = ws.cell(comment["row"], comment["column"]).comment
            assert (got.text, got.author) == (comment["text"], comment["author"])
            count += 1
        positions = {(c["row"], c["column"]) for c in sheet["comments"]}
        assert sum(c.comment is not None for row in ws.iter_rows() for c in row) == len(positions)
    assert count >= 2


def test_row_and_column_dimensions(run: Run) -> None:
    hidden_rows = hidden_columns = 0
    for sheet in run.document["sheets"]:
        ws = run.workbook[sheet["name"]]
        rows, columns = sheet["row_dimensions"], sheet["column_dimensions"]
        assert ws.sheet_format.defaultRowHeight == rows["default_height"]
        assert ws.sheet_format.defaultColWidth == columns["default_width"]
        for key, entry in rows.get("rows", {}).items():
            got = ws.row_dimensions[int(key)]
            assert (got.height, got.hidden) == (entry["height"], entry["hidden"])
            hidden_rows += entry["hidden"]
        for key, entry in columns.get("columns", {}).items():
            got = ws.column_dimensions[get_column_letter(int(key))]
            assert (got.width, got.hidden) == (entry["width"], entry["hidden"])
            hidden_columns += entry["hidden"]
        # Rows and columns without an entry stay visible.
        listed = {int(k) for k in rows.get("rows", {})}
        assert all(not d.hidden for r, d in ws.row_dimensions.items() if r not in listed)
    assert hidden_rows and hidden_columns


def test_searches_marked_the_book(run: Run) -> None:
    sales = next(s for s in run.document["sheets"] if s["name"] == "Sales")
    flags = [c for c in sales["cells"] if c["data_type"] == "b"]
    assert flags and {c.get("style_id") == "warning" for c in flags if c["value"] is False} == {True}
    assert all("style_id" not in c for c in flags if c["value"] is True)
    highlighted = [c for c in sales["cells"] if c.get("style_id") == "highlight"]
    assert highlighted and all("Gadget" in c["value"] for c in highlighted)
    # The total row of the Summary equals the sum of the Sales revenue lines.
    summary = next(s for s in run.document["sheets"] if s["name"] == "Summary")
    total = next(c for c in summary["cells"] if c["value"] == "Total")
    total_revenue = next(c for c in summary["cells"] if c["row"] == total["row"] and c["column"] == 5)
    revenue = [c["value"] for c in sales["cells"] if c["column"] == 6 and c["data_type"] == "f"]
    assert math.isclose(total_revenue["value"], sum(revenue))


def test_report_refuses_bad_calls() -> None:
    service = report.SalesReport(report.create_database())
    with pytest.raises(ValueError, match="unknown sheet 'Charts'"):
        service.summary_0(["Charts"])
    with pytest.raises(TypeError, match="unknown options: colour"):
        service.summary_0(["Sales"], colour="red")
    assert service._sheets == []
    service.summary_0(["Products"])
    with pytest.raises(RuntimeError, match="builds its book once"):
        service.summary_0(["Products"])
    with pytest.raises(TypeError, match="needs a sqlite3 connection, not str"):
        report.SalesReport("db.sqlite").summary_0(["Sales"])


# --- the writer on its own, with documents made by a Book


def write_book(book: vorlix.Book, path: Path) -> Any:
    xlsx_writer.write_xlsx(book.to_dict(), path)
    return openpyxl.load_workbook(path)


def one_sheet() -> tuple[vorlix.Book, vorlix.Sheet]:
    book = vorlix.Book()
    return book, book.add_sheet("Data")


def test_texts_stay_texts_and_formulas_get_their_sign(tmp_path: Path) -> None:
    book, sheet = one_sheet()
    sheet.cell(1, 1, "=HYPERLINK(1)")   # a text, not a formula
    sheet.cell(1, 2, "#N/A")            # a text, not an error value
    sheet.cell(1, 3, "1").formula = "SUM(A2:A3)"
    sheet.cell(1, 4).set_value_number(float("nan"))
    sheet.cell(1, 5, "5")
    sheet.cell(1, 5)                    # "General", still holding 5
    sheet.cell(1, 6)                    # "General" and empty
    ws = write_book(book, tmp_path / "x.xlsx")["Data"]
    got = [(c.data_type, c.value) for c in ws[1]][:5]
    assert got == [("s", "=HYPERLINK(1)"), ("s", "#N/A"), ("f", "=SUM(A2:A3)"), ("e", "#NUM!"), ("n", 5)]
    assert ws["F1"].value is None


@pytest.mark.parametrize(
    ("text", "expected"),
    [
        ("2024-01-05 07:08:09", datetime(2024, 1, 5, 7, 8, 9)),
        ("2024-12-31 23:59:60", datetime(2025, 1, 1, 0, 0, 0)),  # a leap second is the next second
        ("2024-02-29 00:00:00", datetime(2024, 2, 29)),
    ],
)
def test_date_times(tmp_path: Path, text: str, expected: datetime) -> None:
    book, sheet = one_sheet()
    sheet.cell(1, 1, text).style = "money"  # a style without a date format keeps the date shown
    sheet.cell(2, 1).set_value_datetime(datetime(2024, 1, 5, 7, 8, 9, 250000))
    ws = write_book(book, tmp_path / "x.xlsx")["Data"]
    assert (ws["A1"].value, ws["A1"].is_date) == (expected, True)
    assert ws["A2"].value == datetime(2024, 1, 5, 7, 8, 9, 250000)


def test_merges_and_shared_comments(tmp_path: Path) -> None:
    book, sheet = one_sheet()
    sheet.cell(1, 1, "Title")
    sheet.add_merge_cells(3, 1, 2, 1)   # end-first: rows 1..3, columns 1..2
    sheet.add_merge_cells(1, 3, 1, 2)   # the same rectangle again
    sheet.add_comment(5, 5, "first", "ann")
    sheet.add_comment(5, 5, "second", "bob")
    sheet.add_comment(5, 5, "third", "ann")
    ws = write_book(book, tmp_path / "x.xlsx")["Data"]
    assert [str(r) for r in ws.merged_cells.ranges] == ["A1:B3"]
    assert ws["E5"].comment.text == "ann: first\n\nbob: second\n\nann: third"
    assert ws["E5"].comment.author == "ann, bob"


def sheet_case(build: Any) -> vorlix.Book:
    book, sheet = one_sheet()
    build(book, sheet)
    return book


REFUSED = [
    ("row 0", lambda b, s: s.cell(0, 1, "x"), "sheet 'Data': row 0, column 1 lies outside"),
    ("column 16385", lambda b, s: s.cell(1, 16385, "x"), "row 1, column 16385 lies outside"),
    ("name with /", lambda b, s: b.add_sheet("a/b"), "sheet name 'a/b': none of"),
    ("empty name", lambda b, s: b.add_sheet(""), "sheet name '': a sheet name has 1 to 31"),
    ("long name", lambda b, s: b.add_sheet("x" * 32), "a sheet name has 1 to 31 characters"),
    ("names equal but for case", lambda b, s: b.add_sheet("DATA"), "sheet name 'DATA': used twice"),
    ("control character in name", lambda b, s: b.add_sheet("a\x01"), "control character"),
    ("unknown state", lambda b, s: s.set_sheet_state("gone"), "unknown sheet_state 'gone'"),
    ("no visible sheet", lambda b, s: s.set_sheet_state("hidden"), "no visible sheet"),
    ("unknown style", lambda b, s: setattr(s.cell(1, 1, "x"), "style", "fancy"),
     "unknown style_id 'fancy'"),
    ("overlapping merges", lambda b, s: (s.add_merge_cells(1, 2, 1, 2), s.add_merge_cells(2, 3, 2, 3)),
     "Data!B2:C3: overlaps another merged range"),
    ("value under a merge", lambda b, s: (s.cell(1, 2, "x"), s.add_merge_cells(1, 1, 1, 3)),
     "Data!A1:C1: Data!B1 holds a value or comment that merging would drop"),
    ("comment under a merge", lambda b, s: (s.add_comment(2, 1, "t", "a"), s.add_merge_cells(1, 2, 1, 1)),
     "Data!A2 holds a value or comment"),
    ("control character in text", lambda b, s: s.cell(1, 1, "a\x01b"), "Data!A1: the text holds a control"),
    ("control character in comment", lambda b, s: s.add_comment(1, 1, "a\x02", "me"),
     "comment on Data!A1: the text holds a control"),
    ("year 0", lambda b, s: s.cell(1, 1, "0000-01-01 00:00:00"), "Data!A1: date-time '0000-01-01T00:00:00'"),
    ("year 10000", lambda b, s: s.cell(1, 1, "+10000-01-01 00:00:00"), "outside the years 1..9999"),
    ("width 300", lambda b, s: s.set_width_column(2, 300.0), "column 2 width: 300.0 is not within 0..255"),
    ("NaN width", lambda b, s: s.set_width_column(2, float("nan")), "column 2 width: None"),
    ("negative height", lambda b, s: s.set_height_row(4, -1.0), "row 4 height: -1.0 is not within 0..409"),
    ("hidden row 0", lambda b, s: s.set_hidden_row(0, True), "row 0 lies outside"),
    ("empty formula", lambda b, s: setattr(s.cell(1, 1), "formula", ""), "Data!A1: empty formula"),
]


@pytest.mark.parametrize(("build", "message"), [case[1:] for case in REFUSED], ids=[c[0] for c in REFUSED])
def test_writer_refuses_what_the_file_cannot_hold(tmp_path: Path, build: Any, message: str) -> None:
    book = sheet_case(build)
    path = tmp_path / "x.xlsx"
    with pytest.raises(ValueError, match=re.escape(message)):
        xlsx_writer.write_xlsx(book.to_dict(), path)
    assert list(tmp_path.iterdir()) == []


def test_writer_command_line(tmp_path: Path) -> None:
    book, sheet = one_sheet()
    sheet.cell(1, 1, "12.5")
    source = tmp_path / "doc.json"
    source.write_text(book.to_json(), encoding="utf-8")
    for args, stdin in (([str(source)], None), (["-"], book.to_json())):
        target = tmp_path / "out.xlsx"
        proc = subprocess.run(
            [sys.executable, str(EXAMPLES / "xlsx_writer.py"), *args, str(target)],
            input=stdin, capture_output=True, text=True, timeout=120,
        )
        assert proc.returncode == 0, proc.stderr
        assert openpyxl.load_workbook(target)["Data"]["A1"].value == 12.5
        target.unlink()
