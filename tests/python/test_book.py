"""Book: adding, copying and looking up sheets, and the JSON document."""

from __future__ import annotations

import ctypes
import datetime as dt
import json
import math
import sys
from decimal import Decimal

import pytest
from hypothesis import given, settings, strategies as st

import vorlix

EMPTY_SHEET = (
    '{"name":"S","sheet_state":"visible","cells":[],"row_dimensions":{"default_height":20.0},'
    '"column_dimensions":{"default_width":22.5},"comments":[]}'
)


def sheet_doc(book, index=0):
    return json.loads(book.to_json())["sheets"][index]


def test_new_book():
    book = vorlix.Book()
    assert book.sheets == []
    assert repr(book) == "Book, sheets: 0"
    assert book.to_json() == '{"sheets":[]}'
    assert book.to_dict() == {"sheets": []}
    assert book.get_sheet_index(0) is None
    assert book.get_sheet_name("") is None


def test_new_sheet_document():
    book = vorlix.Book()
    sheet = book.add_sheet("S")
    assert isinstance(sheet, vorlix.Sheet)
    assert book.to_json() == '{"sheets":[' + EMPTY_SHEET + "]}"
    assert repr(book) == "Book, sheets: 1"


def test_example_document():
    book = vorlix.Book()
    data = book.add_sheet("Data")
    data.add_merge_cells(1, 1, 1, 3)
    data.cell(2, 2, "2.5").formula = "=1"  # created out of order on purpose
    data.cell(2, 1, "3")
    data.cell(1, 1, "Title")
    data.set_height_row(1, 30.0)
    data.add_comment(1, 1, "note", "me")
    expected = (
        '{"sheets":[{"name":"Data","sheet_state":"visible","merge_cells":[[1,1,1,3]],"cells":['
        '{"row":1,"column":1,"value":"Title","data_type":"s"},'
        '{"row":2,"column":1,"value":3,"data_type":"n"},'
        '{"row":2,"column":2,"value":2.5,"formula":"=1","data_type":"f"}],'
        '"row_dimensions":{"rows":{"1":{"row_num":1,"height":30.0,"hidden":false}},"default_height":20.0},'
        '"column_dimensions":{"default_width":22.5},'
        '"comments":[{"row":1,"column":1,"author":"me","text":"note"}]}]}'
    )
    assert book.to_json() == expected
    assert book.to_json() == expected  # unchanged book, identical text
    assert book.to_dict() == json.loads(expected)


def test_cells_are_written_sorted_with_optional_keys_in_order():
    book = vorlix.Book()
    sheet = book.add_sheet("S")
    for row, col in ((3, 1), (1, 2), (1, 1), (2, 65535), (4294967295, 1), (0, 0)):
        sheet.cell(row, col)
    c = sheet.cell(1, 2, "x")
    c.hidden_value = "h"
    c.style = "st"
    c.formula = "=A1"
    assert [(x["row"], x["column"]) for x in sheet_doc(book)["cells"]] == [
        (0, 0), (1, 1), (1, 2), (2, 65535), (3, 1), (4294967295, 1)
    ]
    assert (
        '{"row":1,"column":2,"value":"x","formula":"=A1","data_type":"f","style_id":"st","hidden_value":"h"}'
        in book.to_json()
    )
    assert '{"row":0,"column":0,"value":null,"data_type":"General"}' in book.to_json()


VALUES = [
    ("number-whole", lambda c: c.set_value_number(1.0), "1.0"),
    ("number-1e16", lambda c: c.set_value_number(1e16), "1e16"),
    ("number-1e15", lambda c: c.set_value_number(1e15), "1000000000000000.0"),
    ("number-nan", lambda c: c.set_value_number(math.nan), "null"),
    ("number-inf", lambda c: c.set_value_number(-math.inf), "null"),
    ("number-neg-zero", lambda c: c.set_value_number(-0.0), "-0.0"),
    ("number-zero", lambda c: c.set_value_number(0.0), "0.0"),
    ("number-small", lambda c: c.set_value_number(1.5e-7), "1.5e-7"),
    ("number-1e-6", lambda c: c.set_value_number(1e-6), "1e-6"),
    ("number-1e-5", lambda c: c.set_value_number(-1.5e-5), "-0.000015"),
    ("number-fraction", lambda c: c.set_value_number(12.34), "12.34"),
    ("number-big", lambda c: c.set_value_number(1.2345678901234568e20), "1.2345678901234568e20"),
    ("number-17-digits", lambda c: c.set_value_number(123456789012345680.0), "1.2345678901234568e17"),
    ("number-max", lambda c: c.set_value_number(sys.float_info.max), "1.7976931348623157e308"),
    ("number-denormal", lambda c: c.set_value_number(5e-324), "5e-324"),
    ("integer", lambda c: c.set_value_integer(1), "1"),
    ("integer-min", lambda c: c.set_value_integer(-2147483648), "-2147483648"),
    ("bool", lambda c: c.set_value_bool(False), "false"),
    ("datetime", lambda c: c.set_value_datetime(dt.datetime(2024, 1, 5, 7, 8, 9)), '"2024-01-05T07:08:09"'),
    ("datetime-ms", lambda c: c.set_value_datetime(dt.datetime(2024, 1, 5, 7, 8, 9, 250000)),
     '"2024-01-05T07:08:09.250"'),
    ("datetime-text", lambda c: setattr(c, "value", "2024-01-05 07:08:09"), '"2024-01-05T07:08:09"'),
    ("empty", lambda c: None, "null"),
]


@pytest.mark.parametrize("setter, written", [v[1:] for v in VALUES], ids=[v[0] for v in VALUES])
def test_value_layout(setter, written):
    book = vorlix.Book()
    cell = book.add_sheet("S").cell(1, 1)
    setter(cell)
    assert f'"cells":[{{"row":1,"column":1,"value":{written},' in book.to_json()


HEIGHTS = [(1.0, "1.0"), (1e16, "1e16"), (1e15, "1000000000000000.0"), (math.nan, "null"), (math.inf, "null"),
           (-0.0, "-0.0"), (1.5e-7, "1.5e-7"), (0.05, "0.05"), (-20.0, "-20.0")]


@pytest.mark.parametrize("height, written", HEIGHTS, ids=[w for _, w in HEIGHTS])
def test_float_layout_of_dimensions(height, written):
    book = vorlix.Book()
    sheet = book.add_sheet("S")
    sheet.set_height_row(7, height)
    sheet.set_width_column(3, height)
    text = book.to_json()
    assert f'"rows":{{"7":{{"row_num":7,"height":{written},"hidden":false}}}}' in text
    assert f'"columns":{{"3":{{"col_num":3,"width":{written},"hidden":false}}}}' in text


def test_dimension_keys_stay_strings_in_to_dict():
    book = vorlix.Book()
    sheet = book.add_sheet("S")
    sheet.set_hidden_row(7, True)
    sheet.set_height_row(2, 5.5)
    sheet.set_width_column(3, 10.0)
    doc = book.to_dict()["sheets"][0]
    assert doc["row_dimensions"]["rows"] == {
        "7": {"row_num": 7, "height": 20.0, "hidden": True},
        "2": {"row_num": 2, "height": 5.5, "hidden": False},
    }
    assert doc["column_dimensions"] == {
        "columns": {"3": {"col_num": 3, "width": 10.0, "hidden": False}}, "default_width": 22.5
    }


def test_string_escapes():
    book = vorlix.Book()
    book.add_sheet('q"b\\n\nc\x01\x1f\b\t\f\r/\x7f\x00', "st\u00e9")
    book.add_sheet("Лист")
    raw = book.to_json().encode("utf-8")
    assert raw.startswith(b'{"sheets":[{"name":"q\\"b\\\\n\\nc\\u0001\\u001f\\b\\t\\f\\r/\x7f\\u0000",'
                          b'"sheet_state":"st\xc3\xa9",')
    assert b'"name":"\xd0\x9b\xd0\xb8\xd1\x81\xd1\x82"' in raw
    assert [s["name"] for s in book.to_dict()["sheets"]] == ['q"b\\n\nc\x01\x1f\b\t\f\r/\x7f\x00', "Лист"]


def test_add_sheet_accepts_anything_and_keeps_order():
    book = vorlix.Book()
    first = book.add_sheet("A")
    book.add_sheet(name="A", sheet_state="hidden")
    book.add_sheet("", "whatever")
    assert [(s.name, s.sheet_state) for s in book.sheets] == [("A", "visible"), ("A", "hidden"), ("", "whatever")]
    found = book.get_sheet_name("A")
    assert found.sheet_state == "visible"
    found.name = "changed"  # handles see one record
    assert first.name == "changed"
    assert book.get_sheet_name("").sheet_state == "whatever"
    assert repr(book) == "Book, sheets: 3"


def test_failed_add_sheet_adds_nothing():
    book = vorlix.Book()
    for bad in ({"name": None}, {"name": "x", "sheet_state": None}, {"name": 1}):
        with pytest.raises(TypeError):
            book.add_sheet(**bad)
    assert book.to_json() == '{"sheets":[]}'


# The index is a C long: 64 bits here, 32 bits on the shipped ARM target.
LONG_MAX = 2 ** (8 * ctypes.sizeof(ctypes.c_long) - 1) - 1


@pytest.mark.parametrize("idx, expected", [(0, "A"), (1, "B"), (True, "B"), (-1, None), (2, None), (LONG_MAX, None),
                                           (-LONG_MAX - 1, None)])
def test_get_sheet_index(idx, expected):
    book = vorlix.Book()
    book.add_sheet("A")
    book.add_sheet("B")
    found = book.get_sheet_index(idx)
    assert (found.name if found else None) == expected


@pytest.mark.parametrize("name, expected", [("A", "visible"), ("a", None), ("A ", None), (" A", None),
                                            ("Й", "second"), ("Й".lower(), None), ("", None),
                                            ("A\x00", None), ("A\x00B", "nul")])
def test_get_sheet_name_is_exact(name, expected):
    book = vorlix.Book()
    book.add_sheet("A")
    book.add_sheet("Й", "second")
    book.add_sheet("A\x00B", "nul")
    found = book.get_sheet_name(name)
    assert (found.sheet_state if found else None) == expected


def test_renamed_sheet_is_found_under_its_new_name():
    book = vorlix.Book()
    sheet = book.add_sheet("X")
    sheet.name = "Y"
    assert book.get_sheet_name("Y").name == "Y"
    assert book.get_sheet_name("X") is None
    assert sheet_doc(book)["name"] == "Y"


def test_handles_are_new_objects_on_one_record():
    book = vorlix.Book()
    book.add_sheet("A")
    one, two = book.get_sheet_index(0), book.get_sheet_name("A")
    assert one is not two and book.sheets[0] is not book.sheets[0]
    one.cell(1, 1, "v")
    assert two.cell(1, 1).value == "v"


@pytest.fixture
def source_book():
    book = vorlix.Book()
    src = book.add_sheet("Src", "hidden")
    book.add_sheet("Other")
    src.add_merge_cells(1, 2, 1, 2)
    src.cell(1, 1, "x")
    src.cell(2, 3, "7")
    src.add_comment(1, 1, "note", "me")
    src.set_height_row(2, 5.0)
    src.set_hidden_column(4, True)
    return book


def test_copy_sheet_copies_and_shares(source_book):
    src = source_book.get_sheet_index(0)
    copy = source_book.copy_sheet(src)
    assert copy.name == "Sheet 3"
    assert [s.name for s in source_book.sheets] == ["Src", "Other", "Sheet 3"]
    doc_src, doc_copy = sheet_doc(source_book, 0), sheet_doc(source_book, 2)
    assert doc_copy == {**doc_src, "name": "Sheet 3"}

    # existing cells and comments are shared records
    copy.cell(1, 1).value = "changed"
    src.comments[0].text = "edited"
    copy.cell(2, 3).formula = "=1"
    assert src.cell(1, 1).value == "changed"
    assert copy.comments[0].text == "edited"
    assert sheet_doc(source_book, 0)["cells"] == sheet_doc(source_book, 2)["cells"]
    assert sheet_doc(source_book, 0)["comments"] == sheet_doc(source_book, 2)["comments"]

    # everything else is independent
    copy.cell(9, 9, "new")
    copy.add_comment(5, 5, "c", "a")
    copy.add_merge_cells(3, 3, 3, 3)
    copy.set_height_row(2, 50.0)
    copy.set_width_column(8, 1.0)
    copy.set_sheet_state("visible")
    src.name = "Renamed"
    assert [(c["row"], c["column"]) for c in sheet_doc(source_book, 0)["cells"]] == [(1, 1), (2, 3)]
    assert len(src.comments) == 1 and len(copy.comments) == 2
    assert src.merge_cells == [(1, 2, 1, 2)]
    assert src.get_height_by_row(2) == 5.0
    after = sheet_doc(source_book, 0)
    assert "8" not in after["column_dimensions"]["columns"]
    assert (after["sheet_state"], copy.name) == ("hidden", "Sheet 3")


def test_copy_sheet_names_by_count_not_by_uniqueness():
    book = vorlix.Book()
    s = book.add_sheet("Sheet 2")
    assert book.copy_sheet(s).name == "Sheet 2"
    assert book.copy_sheet(s).name == "Sheet 3"
    assert [x.name for x in book.sheets] == ["Sheet 2", "Sheet 2", "Sheet 3"]


def test_copy_sheet_from_another_book(source_book):
    before = source_book.to_json()
    target = vorlix.Book()
    copy = target.copy_sheet(source_book.get_sheet_index(0))
    assert copy.name == "Sheet 1"
    assert source_book.to_json() == before
    assert [s.name for s in target.sheets] == ["Sheet 1"]
    copy.cell(1, 1).value = "via target"
    assert source_book.get_sheet_index(0).cell(1, 1).value == "via target"
    # the copy outlives the source book
    del source_book
    assert sheet_doc(target)["cells"][0]["value"] == "via target"


def test_copy_of_empty_sheet_writes_no_optional_keys():
    book = vorlix.Book()
    book.copy_sheet(vorlix.Book().add_sheet("S"))
    assert book.to_json() == '{"sheets":[' + EMPTY_SHEET.replace('"S"', '"Sheet 1"') + "]}"


def test_sheets_outlive_their_book():
    book = vorlix.Book()
    sheet = book.add_sheet("S")
    sheet.cell(1, 1, "kept")
    del book
    assert sheet.cell(1, 1).value == "kept"


def failing_loads(text):
    raise LookupError("boom")


@pytest.mark.parametrize(
    "breakage, exc_type",
    [
        (lambda mp: mp.setattr(json, "loads", failing_loads), LookupError),
        (lambda mp: mp.setitem(sys.modules, "json", None), ModuleNotFoundError),
        (lambda mp: mp.delattr(json, "loads"), AttributeError),
    ],
    ids=["loads-fails", "import-fails", "no-loads"],
)
def test_to_dict_propagates_json_failures(monkeypatch, breakage, exc_type):
    book = vorlix.Book()
    breakage(monkeypatch)
    with pytest.raises(exc_type) as info:
        book.to_dict()
    assert type(info.value) is exc_type
    monkeypatch.undo()
    assert book.to_dict() == {"sheets": []}


def expected_number(x: float) -> str:
    """The document's layout of a finite float, from Python's shortest repr digits."""
    sign = "-" if math.copysign(1.0, x) < 0 else ""
    if x == 0:
        return sign + "0.0"
    digits, exponent = Decimal(repr(abs(x))).normalize().as_tuple()[1:]
    d = "".join(map(str, digits))
    n, k = len(d), len(d) + exponent
    if exponent >= 0 and k <= 16:
        body = d + "0" * (k - n) + ".0"
    elif 0 < k <= 16:
        body = d[:k] + "." + d[k:]
    elif -5 < k <= 0:
        body = "0." + "0" * -k + d
    elif n == 1:
        body = f"{d}e{k - 1}"
    else:
        body = f"{d[0]}.{d[1:]}e{k - 1}"
    return sign + body


@settings(max_examples=500, deadline=None)
@given(st.floats(allow_nan=False, allow_infinity=False))
def test_number_layout_of_any_float(x):
    book = vorlix.Book()
    sheet = book.add_sheet("S")
    sheet.cell(1, 1).set_value_number(x)
    sheet.set_width_column(1, x)
    text = book.to_json()
    written = expected_number(x)
    assert f'"value":{written},' in text
    assert f'"width":{written},' in text
    assert json.loads(written) == x
