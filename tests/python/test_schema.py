"""docs/document.schema.json against the documents books really produce, and
against altered documents it must reject."""

from __future__ import annotations

import copy
import datetime
import json
from pathlib import Path

import jsonschema
import pytest

import vorlix

SCHEMA = json.loads((Path(__file__).resolve().parents[2] / "docs" / "document.schema.json").read_text())
VALIDATOR = jsonschema.Draft202012Validator(SCHEMA)


def test_schema_is_valid_draft_2020_12():
    jsonschema.Draft202012Validator.check_schema(SCHEMA)
    assert SCHEMA["$schema"] == "https://json-schema.org/draft/2020-12/schema"


def fill_every_feature(sheet: vorlix.Sheet) -> None:
    texts = ["Title", "", "TRUE", "false", "007", "-2147483648", "2147483648", "0.1", "-0.0",
             "1e16", "1.5e-7", "1e400", "-inf", "nan", "2024-01-05 07:08:09",
             "-5-01-01 00:00:00", "+10000-12-31 23:59:60", " 5", "=SUM(A1:A2)",
             'q"b\\s/\n\t\x01\x7f Отчёт 漢字 😀']
    for col, text in enumerate(texts, start=1):
        sheet.cell(1, col, text)
    sheet.cell(2, 1).set_value_number(3)
    sheet.cell(2, 2).set_value_integer(-7)
    sheet.cell(2, 3).set_value_bool(True)
    sheet.cell(2, 4).set_value_datetime(datetime.datetime(2024, 1, 5, 7, 8, 9, 250000))
    sheet.cell(2, 5).set_value_datetime(datetime.datetime(1, 1, 1, 0, 0, 0, 123456))
    with_formula = sheet.cell(3, 1, "3")
    with_formula.formula = "=1+2"
    with_formula.style = "bold"
    with_formula.hidden_value = "three"
    sheet.cell(3, 2).formula = "=NOW()"          # a formula on an empty cell
    sheet.cell(3, 3, "TRUE").formula = "=1=1"
    sheet.cell(3, 4, "12")
    sheet.cell(3, 4)                              # "General" that keeps its integer
    sheet.cell(3, 5, "2024-01-05 07:08:09").style = "date"
    sheet.cell(3, 5)
    sheet.cell(0, 0, "origin")
    sheet.cell(4294967295, 65535, "far corner")
    for merge in ((1, 1, 1, 3), (5, 2, 3, 1), (0, 4294967295, 0, 65535), (1, 1, 1, 3)):
        sheet.add_merge_cells(*merge)
    sheet.set_height_row(1, 30.0)
    sheet.set_hidden_row(4, True)
    sheet.set_height_row(0, -1.5)
    sheet.set_height_row(4294967295, float("inf"))
    sheet.set_width_column(2, 12.5)
    sheet.set_hidden_column(2, True)
    sheet.set_width_column(65535, float("nan"))
    sheet.set_hidden_column(0, False)
    sheet.add_comment(1, 1, "note", "me")
    sheet.add_comment(1, 1, "second note, same place", "")
    sheet.add_comment(4294967295, 65535, 'quote " and\nline', "Автор")


def every_feature_book() -> vorlix.Book:
    book = vorlix.Book()
    fill_every_feature(book.add_sheet("Data"))
    book.add_sheet("Empty", "hidden")
    book.add_sheet("", "")
    copied = book.copy_sheet(book.sheets[0])
    copied.cell(6, 1, "only in the copy")
    copied.delete_rows(2, 1)
    copied.delete_cols(1, 1)
    copied.name = "Copy"
    return book


def every_feature_service() -> vorlix.Service:
    service = vorlix.Service(None)
    fill_every_feature(service._add_sheet("Data"))
    service._copy_sheet(service._sheets[0])
    return service


def documents():
    book = every_feature_book()
    service = every_feature_service()
    return [
        ("book.to_dict", book.to_dict()),
        ("book.to_json", json.loads(book.to_json())),
        ("service.to_dict", service.to_dict()),
        ("service.to_json", json.loads(service.to_json())),
        ("empty book", vorlix.Book().to_dict()),
    ]


@pytest.mark.parametrize("name, document", documents(), ids=[n for n, _ in documents()])
def test_real_documents_are_valid(name, document):
    errors = [f"{list(e.absolute_path)}: {e.message}" for e in VALIDATOR.iter_errors(document)]
    assert errors == []


def test_fixture_uses_every_feature():
    # Guards the test above: a fixture that lost a feature would make it weaker.
    document = every_feature_book().to_dict()
    sheets = document["sheets"]
    cells = [c for s in sheets for c in s["cells"]]
    assert {c["data_type"] for c in cells} == {"General", "s", "n", "b", "d", "f"}
    assert {type(c["value"]) for c in cells} == {type(None), str, int, float, bool}
    assert all(any(key in c for c in cells) for key in ("formula", "style_id", "hidden_value"))
    assert any(c["data_type"] == "General" and c["value"] is not None for c in cells)
    assert any(c["value"] == "2024-01-05T07:08:09.250" for c in cells)
    assert any(c["value"] == "0001-01-01T00:00:00.123456" for c in cells)
    data, empty, unnamed, copied = sheets
    assert "merge_cells" in data and "merge_cells" not in empty
    assert "rows" in data["row_dimensions"] and "columns" in data["column_dimensions"]
    assert "rows" not in empty["row_dimensions"] and "columns" not in empty["column_dimensions"]
    assert empty["cells"] == [] and empty["comments"] == [] and unnamed["name"] == ""
    assert copied["name"] == "Copy" and len(copied["comments"]) == 3
    assert data["row_dimensions"]["rows"]["4294967295"]["height"] is None
    assert data["column_dimensions"]["columns"]["65535"]["width"] is None


def valid() -> dict:
    return every_feature_book().to_dict()


def first_cell(doc: dict) -> dict:
    return doc["sheets"][0]["cells"][0]


def cell_of_type(doc: dict, data_type: str) -> dict:
    return next(c for c in doc["sheets"][0]["cells"] if c["data_type"] == data_type)


MUTATIONS = [
    ("extra top-level key", lambda d: d.update(version=1)),
    ("no sheets", lambda d: d.pop("sheets")),
    ("extra sheet key", lambda d: d["sheets"][0].update(hidden=True)),
    ("missing cells", lambda d: d["sheets"][0].pop("cells")),
    ("missing comments", lambda d: d["sheets"][1].pop("comments")),
    ("empty merge_cells written", lambda d: d["sheets"][1].update(merge_cells=[])),
    ("merged range of three", lambda d: d["sheets"][0]["merge_cells"].append([1, 1, 1])),
    ("merged range of five", lambda d: d["sheets"][0]["merge_cells"].append([1, 1, 1, 1, 1])),
    ("merged column too large", lambda d: d["sheets"][0]["merge_cells"].append([1, 1, 1, 65536])),
    ("string row", lambda d: first_cell(d).update(row="1")),
    ("float column", lambda d: first_cell(d).update(column=1.5)),
    ("negative row", lambda d: first_cell(d).update(row=-1)),
    ("row too large", lambda d: first_cell(d).update(row=4294967296)),
    ("column too large", lambda d: first_cell(d).update(column=65536)),
    ("cell without value", lambda d: first_cell(d).pop("value")),
    ("extra cell key", lambda d: first_cell(d).update(style="bold")),
    ("unknown data_type", lambda d: first_cell(d).update(data_type="x")),
    ("null formula", lambda d: first_cell(d).update(formula=None)),
    ("list value", lambda d: first_cell(d).update(value=[1])),
    ("text code with a number", lambda d: cell_of_type(d, "s").update(value=1)),
    ("boolean code with a text", lambda d: cell_of_type(d, "b").update(value="true")),
    ("number code with a text", lambda d: cell_of_type(d, "n").update(value="1")),
    ("date code with a space", lambda d: cell_of_type(d, "d").update(value="2024-01-05 07:08:09")),
    ("date code with a bad month", lambda d: cell_of_type(d, "d").update(value="2024-13-05T07:08:09")),
    ("date code with four fraction digits", lambda d: cell_of_type(d, "d").update(value="2024-01-05T07:08:09.2500")),
    ("empty rows written", lambda d: d["sheets"][1]["row_dimensions"].update(rows={})),
    ("row key with a leading zero", lambda d: d["sheets"][0]["row_dimensions"]["rows"].update(
        {"07": {"row_num": 7, "height": 20.0, "hidden": False}})),
    ("string height", lambda d: d["sheets"][0]["row_dimensions"]["rows"]["1"].update(height="30")),
    ("hidden as 0", lambda d: d["sheets"][0]["row_dimensions"]["rows"]["1"].update(hidden=0)),
    ("null default height", lambda d: d["sheets"][0]["row_dimensions"].update(default_height=None)),
    ("missing default width", lambda d: d["sheets"][0]["column_dimensions"].pop("default_width")),
    ("column key not a number", lambda d: d["sheets"][0]["column_dimensions"]["columns"].update(
        {"B": {"col_num": 2, "width": 1.0, "hidden": False}})),
    ("extra column entry key", lambda d: d["sheets"][0]["column_dimensions"]["columns"]["2"].update(style="x")),
    ("comment without author", lambda d: d["sheets"][0]["comments"][0].pop("author")),
    ("numeric comment text", lambda d: d["sheets"][0]["comments"][0].update(text=5)),
]


@pytest.mark.parametrize("mutate", [m for _, m in MUTATIONS], ids=[n for n, _ in MUTATIONS])
def test_altered_documents_are_rejected(mutate):
    document = copy.deepcopy(valid())
    assert VALIDATOR.is_valid(document)
    mutate(document)
    assert not VALIDATOR.is_valid(document)
