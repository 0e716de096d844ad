"""Row heights, column widths and their hidden flags."""

from __future__ import annotations

import json
import math
import re

import pytest

import vorlix

OVERFLOW = "^out of range integral type conversion attempted$"


def dims(book, i=0):
    s = json.loads(book.to_json())["sheets"][i]
    return s["row_dimensions"], s["column_dimensions"]


def test_defaults_add_no_entries(book, sheet):
    assert vorlix.DEFAULT_ROW_HEIGHT == 20.0 and vorlix.DEFAULT_COLUMN_WIDTH == 22.5
    assert sheet.get_height_by_row(5) == 20.0 and type(sheet.get_height_by_row(5)) is float
    assert sheet.get_width_by_column(3) == 22.5
    assert sheet.get_hidden_by_row(5) is False and sheet.get_hidden_by_column(3) is False
    assert sheet.get_height_by_row(row_num=4294967295) == 20.0
    assert sheet.get_width_by_column(col_num=65535) == 22.5
    assert dims(book) == ({"default_height": 20.0}, {"default_width": 22.5})
    assert '"row_dimensions":{"default_height":20.0},"column_dimensions":{"default_width":22.5}' in book.to_json()


def test_row_entries(book, sheet):
    assert sheet.set_hidden_row(4, True) is None
    assert (sheet.get_height_by_row(4), sheet.get_hidden_by_row(4)) == (20.0, True)
    assert '"rows":{"4":{"row_num":4,"height":20.0,"hidden":true}}' in book.to_json()

    sheet.set_height_row(7, 33.5)
    sheet.set_hidden_row(7, True)
    sheet.set_height_row(7, 12)        # an int is taken as a float
    assert (sheet.get_height_by_row(7), sheet.get_hidden_by_row(7)) == (12.0, True)
    assert type(sheet.get_height_by_row(7)) is float
    sheet.set_height_row(row_num=7, val=12.0)  # same value again: still one entry
    rows, _ = dims(book)
    assert rows == {
        "rows": {"4": {"row_num": 4, "height": 20.0, "hidden": True},
                 "7": {"row_num": 7, "height": 12.0, "hidden": True}},
        "default_height": 20.0,
    }
    sheet.set_hidden_row(7, False)
    assert sheet.get_hidden_by_row(7) is False and sheet.get_height_by_row(7) == 12.0
    assert sheet.get_height_by_row(5) == 20.0  # neighbours keep the default


def test_column_entries(book, sheet):
    sheet.set_width_column(2, -1.5)
    sheet.set_hidden_column(9, True)
    sheet.set_width_column(col_num=9, val=0)
    assert sheet.get_width_by_column(2) == -1.5
    assert (sheet.get_width_by_column(9), sheet.get_hidden_by_column(9)) == (0.0, True)
    _, cols = dims(book)
    assert cols == {
        "columns": {"2": {"col_num": 2, "width": -1.5, "hidden": False},
                    "9": {"col_num": 9, "width": 0.0, "hidden": True}},
        "default_width": 22.5,
    }
    assert '"2":{"col_num":2,"width":-1.5,"hidden":false}' in book.to_json()


def test_non_finite_sizes(book, sheet):
    sheet.set_width_column(1, float("nan"))
    sheet.set_height_row(1, float("inf"))
    sheet.set_height_row(2, -float("inf"))
    assert math.isnan(sheet.get_width_by_column(1))
    assert sheet.get_height_by_row(1) == float("inf") and sheet.get_height_by_row(2) == -float("inf")
    text = book.to_json()
    assert '"1":{"col_num":1,"width":null,"hidden":false}' in text
    assert '"1":{"row_num":1,"height":null,"hidden":false}' in text


def test_row_and_column_zero(book, sheet):
    sheet.set_height_row(0, 5.0)
    sheet.set_hidden_column(0, True)
    assert sheet.get_height_by_row(0) == 5.0 and sheet.get_hidden_by_column(0) is True
    assert sheet.get_height_by_row(1) == 20.0 and sheet.get_hidden_by_column(1) is False
    rows, cols = dims(book)
    assert rows["rows"] == {"0": {"row_num": 0, "height": 5.0, "hidden": False}}
    assert cols["columns"] == {"0": {"col_num": 0, "width": 22.5, "hidden": True}}


def test_extreme_numbers(book, sheet):
    sheet.set_height_row(4294967295, 1.0)
    sheet.set_width_column(65535, 2.0)
    rows, cols = dims(book)
    assert rows["rows"]["4294967295"]["row_num"] == 4294967295
    assert cols["columns"]["65535"]["col_num"] == 65535
    assert (sheet.max_row, sheet.max_column) == (0, 0)  # entries are not cells


def test_numpy_bool_flag(sheet):
    np = pytest.importorskip("numpy")
    sheet.set_hidden_row(3, np.bool_(True))
    sheet.set_hidden_column(3, np.True_)
    assert sheet.get_hidden_by_row(3) is True and sheet.get_hidden_by_column(3) is True


class Half:
    def __float__(self):
        return 0.5


def test_float_conversion_accepts_float_like(sheet):
    sheet.set_width_column(1, Half())
    sheet.set_height_row(1, True)
    assert sheet.get_width_by_column(1) == 0.5 and sheet.get_height_by_row(1) == 1.0


@pytest.mark.parametrize(
    "call, exc, pattern",
    [
        (lambda s: s.set_hidden_column(1, 1), TypeError,
         re.escape("argument 'val': 'int' object cannot be converted to 'PyBool'") + "$"),
        (lambda s: s.set_hidden_row(1, None), TypeError,
         re.escape("argument 'val': 'NoneType' object cannot be converted to 'PyBool'") + "$"),
        (lambda s: s.set_height_row(-1, 10.0), OverflowError, None),
        (lambda s: s.set_height_row(4294967296, 10.0), OverflowError, OVERFLOW),
        (lambda s: s.set_width_column(65536, 10.0), OverflowError, OVERFLOW),
        (lambda s: s.set_width_column(-1, 10.0), OverflowError, OVERFLOW),
        (lambda s: s.set_height_row(1, "10"), TypeError, "^argument 'val': "),
        (lambda s: s.set_width_column(1.0, 10.0), TypeError, "^argument 'col_num': "),
        (lambda s: s.get_height_by_row(-1), OverflowError, None),
        (lambda s: s.get_width_by_column(65536), OverflowError, OVERFLOW),
        (lambda s: s.set_height_row(1), TypeError,
         re.escape("Sheet.set_height_row() missing 1 required positional argument: 'val'") + "$"),
        (lambda s: s.set_hidden_row(1, True, 3), TypeError,
         re.escape("Sheet.set_hidden_row() takes 2 positional arguments but 3 were given") + "$"),
    ],
)
def test_refusals_change_nothing(book, sheet, call, exc, pattern):
    sheet.set_height_row(1, 30.0)
    sheet.set_width_column(1, 40.0)
    before = book.to_json()
    with pytest.raises(exc, match=pattern):
        call(sheet)
    assert book.to_json() == before


def test_copy_gets_its_own_tables(book, sheet):
    sheet.set_height_row(2, 11.0)
    sheet.set_hidden_column(3, True)
    copy = book.copy_sheet(sheet)
    assert dims(book, 1) == dims(book, 0)
    copy.set_height_row(2, 99.0)
    copy.set_width_column(4, 1.0)
    sheet.set_hidden_row(5, True)
    assert sheet.get_height_by_row(2) == 11.0 and sheet.get_width_by_column(4) == 22.5
    assert copy.get_hidden_by_row(5) is False and copy.get_hidden_by_column(3) is True
