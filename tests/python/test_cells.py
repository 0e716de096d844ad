"""Cells: text classification, value text, setters and the cell's JSON form."""

from __future__ import annotations

import datetime as dt
import json
import math
import re
from decimal import Decimal

import pytest
from hypothesis import given, settings, strategies as st

import vorlix

PREDICATES = ("bool", "numeric", "integer", "datetime", "empty")


@pytest.fixture
def sheet():
    book = vorlix.Book()
    return book.add_sheet("Data")


def predicates(cell):
    return {p: getattr(cell, f"is_value_{p}") for p in PREDICATES}


def cell_objects(book):
    return json.loads(book.to_json())["sheets"][0]["cells"]


# (input text, value text read back, data_type, the one true is_value_* predicate or None for text)
CLASSIFY = [
    # booleans: any letter case, full upper-case mapping, but no surrounding space
    ("TRUE", "true", "b", "bool"),
    ("tRuE", "true", "b", "bool"),
    ("false", "false", "b", "bool"),
    ("False", "false", "b", "bool"),
    ("fal\u017fe", "false", "b", "bool"),  # LATIN SMALL LETTER LONG S upper-cases to S
    ("true ", "true ", "s", None),
    (" true", " true", "s", None),
    ("\uff34\uff32\uff35\uff25", "\uff34\uff32\uff35\uff25", "s", None),  # full-width TRUE
    # 32-bit integers
    ("007", "7", "n", "integer"),
    ("+5", "5", "n", "integer"),
    ("-0", "0", "n", "integer"),
    ("0000000000000000000000012", "12", "n", "integer"),
    ("2147483647", "2147483647", "n", "integer"),
    ("-2147483648", "-2147483648", "n", "integer"),
    ("2147483648", "2147483648", "n", "numeric"),
    ("-2147483649", "-2147483649", "n", "numeric"),
    # floating-point literals
    ("1.0", "1", "n", "numeric"),
    ("1.50", "1.5", "n", "numeric"),
    ("1e3", "1000", "n", "numeric"),
    ("1E+3", "1000", "n", "numeric"),
    ("5.", "5", "n", "numeric"),
    (".5", "0.5", "n", "numeric"),
    ("-0.0", "-0", "n", "numeric"),
    ("0.1", "0.1", "n", "numeric"),
    ("1e-3", "0.001", "n", "numeric"),
    ("1.5e-7", "0.00000015", "n", "numeric"),
    ("1e21", "1" + "0" * 21, "n", "numeric"),
    ("123456789012345678901234567890", "123456789012345680000000000000", "n", "numeric"),
    ("5e-324", "0." + "0" * 323 + "5", "n", "numeric"),
    ("-1.7976931348623157e308", "-17976931348623157" + "0" * 292, "n", "numeric"),
    ("nan", "NaN", "n", "numeric"),
    ("+NaN", "NaN", "n", "numeric"),
    ("1e400", "inf", "n", "numeric"),
    ("-1e400", "-inf", "n", "numeric"),
    ("1e-400", "0", "n", "numeric"),
    ("-1e-400", "-0", "n", "numeric"),
    ("Infinity", "inf", "n", "numeric"),
    ("-INF", "-inf", "n", "numeric"),
    # texts kept exactly as given
    (" 5", " 5", "s", None),
    ("5 ", "5 ", "s", None),
    ("1,000", "1,000", "s", None),
    ("1_000", "1_000", "s", None),
    ("0x10", "0x10", "s", None),
    ("-", "-", "s", None),
    ("+", "+", "s", None),
    (".", ".", "s", None),
    ("1e", "1e", "s", None),
    ("infinit", "infinit", "s", None),
    ("\u0661\u0662", "\u0661\u0662", "s", None),  # Arabic-Indic digits are not ASCII digits
    ("=SUM(A1:A2)", "=SUM(A1:A2)", "s", None),
    ("a\x00b", "a\x00b", "s", None),
    ("abcdefghijklmn", "abcdefghijklmn", "s", None),      # 14 bytes
    ("abcdefghijklmno", "abcdefghijklmno", "s", None),    # 15 bytes
    ("\u0436" * 40, "\u0436" * 40, "s", None),
    ("", "", "General", "empty"),
    # date-times, pattern "%Y-%m-%d %H:%M:%S"
    ("2024-01-05 07:08:09", "2024-01-05 07:08:09", "d", "datetime"),
    ("2024-1-5 7:08:09", "2024-01-05 07:08:09", "d", "datetime"),
    (" 2024-01-05 07:08:09", "2024-01-05 07:08:09", "d", "datetime"),
    ("2024-01-0507:08:09", "2024-01-05 07:08:09", "d", "datetime"),
    ("2024-01-05\u3000\t07:08:09", "2024-01-05 07:08:09", "d", "datetime"),
    ("2024-02-29 23:59:59", "2024-02-29 23:59:59", "d", "datetime"),
    ("2000-02-29 00:00:00", "2000-02-29 00:00:00", "d", "datetime"),
    ("2024-01-05 07:08:60", "2024-01-05 07:08:60", "d", "datetime"),  # leap second
    ("-1-01-05 00:00:00", "-0001-01-05 00:00:00", "d", "datetime"),
    ("+12024-01-05 00:00:00", "+12024-01-05 00:00:00", "d", "datetime"),
    ("2024- 1- 5 7: 8: 9", "2024-01-05 07:08:09", "d", "datetime"),  # white space before each number
    ("0-02-29 00:00:00", "0000-02-29 00:00:00", "d", "datetime"),
    ("-262144-01-01 00:00:00", "-262144-01-01 00:00:00", "d", "datetime"),
    ("+262143-12-31 23:59:59", "+262143-12-31 23:59:59", "d", "datetime"),
    ("-262145-01-01 00:00:00", "-262145-01-01 00:00:00", "s", None),
    ("+262144-01-01 00:00:00", "+262144-01-01 00:00:00", "s", None),
    ("2024 -01-05 00:00:00", "2024 -01-05 00:00:00", "s", None),
    ("2024-001-05 00:00:00", "2024-001-05 00:00:00", "s", None),
    ("12024-01-05 00:00:00", "12024-01-05 00:00:00", "s", None),  # unsigned year: four digits at most
    ("2024-02-30 00:00:00", "2024-02-30 00:00:00", "s", None),
    ("1900-02-29 00:00:00", "1900-02-29 00:00:00", "s", None),
    ("2024-01-05 24:00:00", "2024-01-05 24:00:00", "s", None),
    ("2024-01-05 07:08:61", "2024-01-05 07:08:61", "s", None),
    ("2024-01-05T07:08:09", "2024-01-05T07:08:09", "s", None),
    ("2024-01-05 07:08", "2024-01-05 07:08", "s", None),
    ("2024-01-05 07:08:09 ", "2024-01-05 07:08:09 ", "s", None),
]


@pytest.mark.parametrize("text, value, data_type, kind", CLASSIFY)
def test_classification(sheet, text, value, data_type, kind):
    cell = sheet.cell(1, 1, text)
    assert cell.value == value
    assert cell.data_type == data_type
    assert predicates(cell) == {p: p == kind for p in PREDICATES}
    assert cell.is_formula is False
    assert cell.formula is None
    # The value setter classifies the same way.
    other = sheet.cell(2, 1)
    other.value = text
    assert (other.value, other.data_type) == (value, data_type)


def positional(x: float) -> str:
    """Shortest round-trip digits of x, written without an exponent."""
    if x == 0:
        return "-0" if math.copysign(1.0, x) < 0 else "0"
    return format(Decimal(repr(x)).normalize(), "f")


@settings(max_examples=400, deadline=None)
@given(st.floats(allow_nan=False, allow_infinity=False))
def test_numbers_read_back_exactly(x):
    book = vorlix.Book()
    cell = book.add_sheet("S").cell(1, 1)
    cell.set_value_number(x)
    assert float(cell.value) == x
    assert math.copysign(1.0, float(cell.value)) == math.copysign(1.0, x)
    assert cell.value == positional(x)
    # The same text classifies back to the same number ("-0" is the integer 0).
    if cell.value != "-0":
        assert book.add_sheet("T").cell(1, 1, cell.value).value == cell.value


FLOAT_LITERAL = r"[+-]?([0-9]{1,25}(\.[0-9]{0,25})?|\.[0-9]{1,25})([eE][+-]?[0-9]{1,4})?"


@settings(max_examples=400, deadline=None)
@given(st.from_regex(FLOAT_LITERAL, fullmatch=True))
def test_numeric_texts_classify_like_python(text):
    cell = vorlix.Book().add_sheet("S").cell(1, 1, text)
    digits = text.lstrip("+-")
    if digits.isdigit() and -(2**31) <= int(text) < 2**31:
        assert cell.is_value_integer and cell.value == str(int(text))
    else:
        assert cell.is_value_numeric
        x = float(text)
        expected = ("inf" if x > 0 else "-inf") if math.isinf(x) else positional(x)
        assert cell.value == expected


def datetime_text(d: dt.datetime) -> str:
    text = f"{d.year:04d}-{d.month:02d}-{d.day:02d} {d.hour:02d}:{d.minute:02d}:{d.second:02d}"
    if d.microsecond == 0:
        return text
    if d.microsecond % 1000 == 0:
        return f"{text}.{d.microsecond // 1000:03d}"
    return f"{text}.{d.microsecond:06d}"


@settings(max_examples=300, deadline=None)
@given(st.datetimes(), st.booleans())
def test_datetimes_round_trip(d, whole_seconds):
    if whole_seconds:
        d = d.replace(microsecond=0)
    sheet = vorlix.Book().add_sheet("S")
    cell = sheet.cell(1, 1)
    cell.set_value_datetime(d)
    assert cell.value == datetime_text(d)
    assert cell.data_type == "d" and cell.is_value_datetime
    if d.microsecond == 0:
        again = sheet.cell(2, 1, cell.value)
        assert (again.value, again.data_type) == (cell.value, "d")


@settings(max_examples=100, deadline=None)
@given(st.integers(min_value=-(2**31), max_value=2**31 - 1))
def test_integers_read_back_exactly(i):
    cell = vorlix.Book().add_sheet("S").cell(1, 1)
    cell.set_value_integer(i)
    assert cell.value == str(i)
    assert cell.is_value_integer and cell.data_type == "n"


@pytest.mark.parametrize(
    "micro, text",
    [(250000, "2024-01-05 07:08:09.250"), (123456, "2024-01-05 07:08:09.123456"), (1000, "2024-01-05 07:08:09.001"),
     (10, "2024-01-05 07:08:09.000010"), (0, "2024-01-05 07:08:09")],
)
def test_datetime_fraction(sheet, micro, text):
    cell = sheet.cell(1, 1)
    cell.set_value_datetime(dt.datetime(2024, 1, 5, 7, 8, 9, micro, fold=1))
    assert cell.value == text


# Each step is applied to one cell; after it the cell shows
# (value, formula, data_type, is_formula).
def _general(s, c):
    s.cell(1, 1)


def _formula(s, c):
    c.formula = "=A1+1"


def _value(s, c):
    c.value = "3"


def _sheet_value(s, c):
    s.cell(1, 1, "x")


def _number(s, c):
    c.set_value_number(2.5)


def _style(s, c):
    c.style = "st"
    c.hidden_value = "hv"


STATES = [
    ("new", [], ("", None, "General", False)),
    ("formula", [_formula], ("", "=A1+1", "f", True)),
    ("formula then cell()", [_formula, _general], ("", "=A1+1", "General", False)),
    ("formula then value", [_formula, _value], ("3", None, "n", False)),
    ("formula then cell(value)", [_formula, _sheet_value], ("x", None, "s", False)),
    ("formula then typed", [_formula, _number], ("2.5", None, "n", False)),
    ("value then formula", [_value, _formula], ("3", "=A1+1", "f", True)),
    ("formula, cell(), formula", [_formula, _general, _formula], ("", "=A1+1", "f", True)),
    ("value then cell()", [_value, _general], ("3", None, "General", False)),
    ("formula then style", [_formula, _style], ("", "=A1+1", "f", True)),
]


@pytest.mark.parametrize("steps, expected", [s[1:] for s in STATES], ids=[s[0] for s in STATES])
def test_setter_states(sheet, steps, expected):
    cell = sheet.cell(1, 1)
    for step in steps:
        step(sheet, cell)
    assert (cell.value, cell.formula, cell.data_type, cell.is_formula) == expected


def test_value_changes_keep_style_and_hidden_value(sheet):
    cell = sheet.cell(1, 1, "a")
    cell.style = "s1"
    cell.hidden_value = "h"
    cell.formula = "=1"
    for change in (lambda: setattr(cell, "value", "5"), lambda: cell.set_value_bool(True), lambda: sheet.cell(1, 1),
                   lambda: sheet.cell(1, 1, "b")):
        change()
        assert (cell.style, cell.hidden_value) == ("s1", "h")
    assert cell.formula is None


def test_formula_stored_verbatim(sheet):
    cell = sheet.cell(1, 1, "7")
    cell.formula = "not a formula ("
    assert (cell.formula, cell.value, cell.data_type, cell.is_value_integer) == ("not a formula (", "7", "f", True)


def test_handles_share_one_record(sheet):
    a = sheet.cell(2, 3)
    b = sheet.cell(2, 3)
    assert a is not b
    assert a.is_value_empty and a.data_type == "General"
    a.value = "hello"
    assert b.value == "hello"
    b.formula = "=X"
    assert a.is_formula
    assert repr(sheet) == "Sheet (Data) cells: 1"


def test_sheet_cell_arguments(sheet):
    cell = sheet.cell(row=4, col=2, value="1.25")
    assert (cell.row, cell.column, cell.value) == (4, 2, "1.25")
    assert sheet.cell(4, 2, None).value == "1.25"  # None means no value
    zero = sheet.cell(0, 0)
    assert (zero.row, zero.column, zero.letter) == (0, 0, "0")
    assert sheet.cell(7, 0).letter == "7"
    assert sheet.cell(3, 2).letter == "B3"
    assert sheet.cell(10, 27).letter == "AA10"
    flags = sheet.cell(True, False)  # a bool is an int
    assert (flags.row, flags.column) == (1, 0)
    top = sheet.cell(4294967295, 65535)
    assert (top.row, top.column) == (4294967295, 65535)


class Index:
    def __init__(self, v):
        self.v = v

    def __index__(self):
        return self.v


class Real:
    def __float__(self):
        return 0.25


class NaiveSub(dt.datetime):
    pass


class UTCPlus1(dt.tzinfo):
    def utcoffset(self, d):
        return dt.timedelta(hours=1)


@pytest.mark.parametrize(
    "method, arg, value, data_type, kind",
    [
        ("set_value_number", 3, "3", "n", "numeric"),
        ("set_value_number", True, "1", "n", "numeric"),
        ("set_value_number", Real(), "0.25", "n", "numeric"),
        ("set_value_number", float("nan"), "NaN", "n", "numeric"),
        ("set_value_number", float("-inf"), "-inf", "n", "numeric"),
        ("set_value_number", -0.0, "-0", "n", "numeric"),
        ("set_value_integer", 2**31 - 1, "2147483647", "n", "integer"),
        ("set_value_integer", -(2**31), "-2147483648", "n", "integer"),
        ("set_value_integer", Index(12), "12", "n", "integer"),
        ("set_value_integer", True, "1", "n", "integer"),
        ("set_value_bool", True, "true", "b", "bool"),
        ("set_value_bool", False, "false", "b", "bool"),
        ("set_value_datetime", dt.datetime(1, 1, 1), "0001-01-01 00:00:00", "d", "datetime"),
        ("set_value_datetime", NaiveSub(9999, 12, 31, 23, 59, 59, 999999), "9999-12-31 23:59:59.999999", "d",
         "datetime"),
    ],
)
def test_typed_setters(sheet, method, arg, value, data_type, kind):
    cell = sheet.cell(1, 1, "text")
    cell.formula = "=1"
    assert getattr(cell, method)(arg) is None
    assert (cell.value, cell.data_type, cell.formula, cell.is_formula) == (value, data_type, None, False)
    assert predicates(cell) == {p: p == kind for p in PREDICATES}


def test_typed_setters_by_keyword(sheet):
    cell = sheet.cell(1, 1)
    cell.set_value_integer(value=5)
    assert cell.value == "5"


def test_numpy_bool_accepted(sheet):
    np = pytest.importorskip("numpy")
    cell = sheet.cell(1, 1)
    cell.set_value_bool(np.bool_(True))
    assert (cell.value, cell.data_type) == ("true", "b")
    cell.set_value_bool(np.False_)
    assert cell.value == "false"


def exact(message):
    return "^" + re.escape(message) + "$"


def starts(message):
    return "^" + re.escape(message)


def _refusals():
    prefix = "argument 'value': "
    aware = dt.datetime(2024, 1, 5, tzinfo=dt.timezone.utc)
    to_str = prefix + "'{}' object cannot be converted to 'PyString'"
    overflow = exact("out of range integral type conversion attempted")
    deleting = exact("can't delete attribute")
    return [
        ("value None", lambda s, c: setattr(c, "value", None), TypeError, exact(to_str.format("NoneType"))),
        ("value int", lambda s, c: setattr(c, "value", 5), TypeError, exact(to_str.format("int"))),
        ("formula bytes", lambda s, c: setattr(c, "formula", b"=1"), TypeError, exact(to_str.format("bytes"))),
        ("style None", lambda s, c: setattr(c, "style", None), TypeError, exact(to_str.format("NoneType"))),
        ("hidden_value float", lambda s, c: setattr(c, "hidden_value", 1.5), TypeError,
         exact(to_str.format("float"))),
        ("del value", lambda s, c: delattr(c, "value"), AttributeError, deleting),
        ("del formula", lambda s, c: delattr(c, "formula"), AttributeError, deleting),
        ("del style", lambda s, c: delattr(c, "style"), AttributeError, deleting),
        ("del hidden_value", lambda s, c: delattr(c, "hidden_value"), AttributeError, deleting),
        ("bool from int", lambda s, c: c.set_value_bool(1), TypeError,
         exact(prefix + "'int' object cannot be converted to 'PyBool'")),
        ("bool from None", lambda s, c: c.set_value_bool(None), TypeError,
         exact(prefix + "'NoneType' object cannot be converted to 'PyBool'")),
        # The message depends on the width of a C long, so only the type is fixed.
        ("integer 2**31", lambda s, c: c.set_value_integer(2**31), OverflowError, None),
        ("integer -2**31-1", lambda s, c: c.set_value_integer(-(2**31) - 1), OverflowError, None),
        ("integer 2**64", lambda s, c: c.set_value_integer(2**64), OverflowError, None),
        ("number 10**400", lambda s, c: c.set_value_number(10**400), OverflowError, None),
        ("value lone surrogate", lambda s, c: setattr(c, "value", "\ud800"), UnicodeEncodeError, None),
        ("sheet.cell lone surrogate", lambda s, c: s.cell(1, 1, "a\udfff"), UnicodeEncodeError, None),
        ("integer from float", lambda s, c: c.set_value_integer(1.5), TypeError,
         exact(prefix + "'float' object cannot be interpreted as an integer")),
        ("number from str", lambda s, c: c.set_value_number("1"), TypeError, starts(prefix)),
        ("datetime aware", lambda s, c: c.set_value_datetime(aware), TypeError,
         exact(prefix + "expected a datetime without tzinfo")),
        ("datetime custom tz", lambda s, c: c.set_value_datetime(dt.datetime(2024, 1, 5, tzinfo=UTCPlus1())),
         TypeError, exact(prefix + "expected a datetime without tzinfo")),
        ("datetime from date", lambda s, c: c.set_value_datetime(dt.date(2024, 1, 5)), TypeError, starts(prefix)),
        ("datetime from str", lambda s, c: c.set_value_datetime("2024-01-05 00:00:00"), TypeError,
         starts(prefix)),
        ("missing argument", lambda s, c: c.set_value_number(), TypeError,
         exact("Cell.set_value_number() missing 1 required positional argument: 'value'")),
        ("sheet.cell value int", lambda s, c: s.cell(1, 1, 5), TypeError, exact(to_str.format("int"))),
        ("sheet.cell col 65536", lambda s, c: s.cell(1, 65536), OverflowError, overflow),
        ("sheet.cell row 2**32", lambda s, c: s.cell(2**32, 1), OverflowError, overflow),
        ("sheet.cell row -1", lambda s, c: s.cell(-1, 1), OverflowError, None),
        ("sheet.cell col str", lambda s, c: s.cell(1, "A"), TypeError, starts("argument 'col': ")),
    ]


REFUSALS = _refusals()


@pytest.mark.parametrize("action, exc, pattern", [r[1:] for r in REFUSALS], ids=[r[0] for r in REFUSALS])
def test_refusals_leave_cell_unchanged(action, exc, pattern):
    book = vorlix.Book()
    sheet = book.add_sheet("Data")
    cell = sheet.cell(1, 1, "2.5")
    cell.formula = "=B1*2"
    cell.style = "s3"
    cell.hidden_value = "secret"
    before = book.to_json()
    with pytest.raises(exc, match=pattern):
        action(sheet, cell)
    assert book.to_json() == before
    assert cell.is_formula


def test_read_only_attributes(sheet):
    cell = sheet.cell(1, 1)
    for name in ("row", "column", "letter", "data_type", "is_formula", "is_value_empty"):
        with pytest.raises(AttributeError):
            setattr(cell, name, "1")


def test_no_constructor():
    with pytest.raises(TypeError, match="^No constructor defined for Cell$"):
        vorlix.Cell()


@pytest.mark.parametrize(
    "row, col, text",
    [(3, 2, "Cell, Coords: Coordinate { row: 3, column: 2 }"),
     (0, 0, "Cell, Coords: Coordinate { row: 0, column: 0 }"),
     (4294967295, 65535, "Cell, Coords: Coordinate { row: 4294967295, column: 65535 }")],
)
def test_repr(sheet, row, col, text):
    assert repr(sheet.cell(row, col)) == text


def test_cells_in_document():
    book = vorlix.Book()
    sheet = book.add_sheet("Data")
    sheet.cell(1, 1)                                             # Empty
    sheet.cell(1, 2, "nan")                                      # NaN
    sheet.cell(1, 3, "-1e400")                                   # -inf
    sheet.cell(1, 4, "1.0")                                      # Number 1.0
    sheet.cell(1, 5, "1")                                        # Integer 1
    sheet.cell(1, 6, "FALSE")
    sheet.cell(2, 1).set_value_datetime(dt.datetime(2024, 1, 5, 7, 8, 9, 250000))
    sheet.cell(2, 2, "2024-01-05 07:08:60")
    full = sheet.cell(2, 3, 'say "hi"')
    full.formula = "=A1"
    full.style = "st\\1"
    full.hidden_value = "h"
    only_hidden = sheet.cell(2, 4, "x")
    only_hidden.hidden_value = ""
    styled = sheet.cell(2, 5, "1e16")
    styled.style = "s"
    general = sheet.cell(2, 6, "y")
    general.formula = "=Z"
    sheet.cell(2, 6)                                             # keeps the formula, code "General"
    text = book.to_json()
    cells = text[text.index('"cells":') + len('"cells":'): text.index(',"row_dimensions"')]
    assert cells == (
        '[{"row":1,"column":1,"value":null,"data_type":"General"},'
        '{"row":1,"column":2,"value":null,"data_type":"n"},'
        '{"row":1,"column":3,"value":null,"data_type":"n"},'
        '{"row":1,"column":4,"value":1.0,"data_type":"n"},'
        '{"row":1,"column":5,"value":1,"data_type":"n"},'
        '{"row":1,"column":6,"value":false,"data_type":"b"},'
        '{"row":2,"column":1,"value":"2024-01-05T07:08:09.250","data_type":"d"},'
        '{"row":2,"column":2,"value":"2024-01-05T07:08:60","data_type":"d"},'
        '{"row":2,"column":3,"value":"say \\"hi\\"","formula":"=A1","data_type":"f","style_id":"st\\\\1",'
        '"hidden_value":"h"},'
        '{"row":2,"column":4,"value":"x","data_type":"s","hidden_value":""},'
        '{"row":2,"column":5,"value":1e16,"data_type":"n","style_id":"s"},'
        '{"row":2,"column":6,"value":"y","formula":"=Z","data_type":"General"}]'
    )
    assert [list(c) for c in cell_objects(book)][8] == ["row", "column", "value", "formula", "data_type", "style_id",
                                                         "hidden_value"]


def test_document_follows_handles():
    book = vorlix.Book()
    sheet = book.add_sheet("Data")
    cell = sheet.cell(1, 1, "a")
    cell.value = "42"
    assert cell_objects(book) == [{"row": 1, "column": 1, "value": 42, "data_type": "n"}]
    cell.set_value_number(42)
    assert cell_objects(book) == [{"row": 1, "column": 1, "value": 42.0, "data_type": "n"}]
    assert isinstance(cell_objects(book)[0]["value"], float)
