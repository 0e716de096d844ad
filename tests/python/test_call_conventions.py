"""How every call reaches the model: argument matching, conversions and
their messages, the argument prefix, and borrow conflicts on handles."""

from __future__ import annotations

import pytest

import vorlix
from vorlix import readable


@pytest.fixture
def book():
    return vorlix.Book()


@pytest.fixture
def sheet(book):
    s = book.add_sheet("S")
    s.cell(1, 1, "a")
    s.cell(2, 1, "b")
    return s


@pytest.fixture
def service():
    return vorlix.Service(None)


class Index:
    """An integer-like object that is not an int."""

    def __init__(self, value, hook=None):
        self.value, self.hook = value, hook

    def __index__(self):
        if self.hook:
            self.hook()
        return self.value


class Outer:
    class Inner:
        pass


def raises(call, exc_type, message):
    with pytest.raises(exc_type) as info:
        call()
    assert type(info.value) is exc_type
    assert str(info.value) == message
    return info.value


# ------------------------------------------------------------ argument matching

MATCHING = [
    # too many positional arguments
    ("book", lambda b, s, sv: b.add_sheet("a", "b", "c"),
     "Book.add_sheet() takes from 1 to 2 positional arguments but 3 were given"),
    ("new0", lambda b, s, sv: vorlix.Book(1), "Book.__new__() takes 0 positional arguments but 1 was given"),
    ("new1", lambda b, s, sv: vorlix.Service(1, 2), "Service.__new__() takes 1 positional arguments but 2 were given"),
    ("function", lambda b, s, sv: vorlix.column_number_to_letter(1, 2),
     "column_number_to_letter() takes 1 positional arguments but 2 were given"),
    ("optional", lambda b, s, sv: s.cell(1, 1, "x", 4),
     "Sheet.cell() takes from 2 to 3 positional arguments but 4 were given"),
    ("kwargs-only", lambda b, s, sv: sv._fmt_0(1), "Service._fmt_0() takes 0 positional arguments but 1 was given"),
    # missing: lists of one, two, three and four names
    ("missing1", lambda b, s, sv: b.add_sheet(), "Book.add_sheet() missing 1 required positional argument: 'name'"),
    ("missing2", lambda b, s, sv: s.cell(), "Sheet.cell() missing 2 required positional arguments: 'row' and 'col'"),
    ("missing3", lambda b, s, sv: s.add_merge_cells(1),
     "Sheet.add_merge_cells() missing 3 required positional arguments: 'end_row', 'start_col', and 'end_col'"),
    ("missing4", lambda b, s, sv: s.add_comment(),
     "Sheet.add_comment() missing 4 required positional arguments: 'row', 'col', 'text', and 'author'"),
    ("missing-gap", lambda b, s, sv: s.add_comment(1, author="x"),
     "Sheet.add_comment() missing 2 required positional arguments: 'col' and 'text'"),
    ("missing-fn", lambda b, s, sv: vorlix.get_letter_coordinate(col=1),
     "get_letter_coordinate() missing 1 required positional argument: 'row'"),
    ("missing-new", lambda b, s, sv: vorlix.Service(),
     "Service.__new__() missing 1 required positional argument: 'conn_db'"),
    # a keyword given twice
    ("twice", lambda b, s, sv: b.add_sheet("a", name="b"), "Book.add_sheet() got multiple values for argument 'name'"),
    ("twice-fn", lambda b, s, sv: vorlix.column_number_to_letter(3, col=3),
     "column_number_to_letter() got multiple values for argument 'col'"),
    # unknown keywords, reported before missing parameters
    ("unknown", lambda b, s, sv: b.add_sheet("a", foo=1), "Book.add_sheet() got an unexpected keyword argument 'foo'"),
    ("unknown-first", lambda b, s, sv: b.add_sheet(foo=1), "Book.add_sheet() got an unexpected keyword argument 'foo'"),
    ("unknown-new", lambda b, s, sv: vorlix.Book(x=1), "Book.__new__() got an unexpected keyword argument 'x'"),
    # a positional-only parameter by keyword lands in **kwargs, so it is missing
    ("posonly", lambda b, s, sv: sv.summary_0(sheets=[]),
     "Service.summary_0() missing 1 required positional argument: 'sheets'"),
]


@pytest.mark.parametrize("call, message", [m[1:] for m in MATCHING], ids=[m[0] for m in MATCHING])
def test_argument_matching_messages(book, sheet, service, call, message):
    raises(lambda: call(book, sheet, service), TypeError, message)


def test_keywords_fill_parameters_by_name(book):
    s = book.add_sheet(sheet_state="hidden", name="K")
    assert (s.name, s.sheet_state) == ("K", "hidden")
    assert vorlix.get_letter_coordinate(col=2, row=7) == "B7"
    assert vorlix.column_number_to_letter(col=28) == "AB"


def test_failed_matching_changes_nothing(book):
    for call in (lambda: book.add_sheet("a", "b", "c"), lambda: book.add_sheet("a", foo=1)):
        with pytest.raises(TypeError):
            call()
    assert book.sheets == []


# ------------------------------------------------------------------ conversions

LONG_MAX_MSG = "Python int too large to convert to C long"

CONVERSIONS = [
    # str
    ("str-int", lambda b, s: b.add_sheet(1), TypeError, "argument 'name': 'int' object cannot be converted to 'PyString'"),
    ("str-none-default", lambda b, s: b.add_sheet("a", sheet_state=None), TypeError,
     "argument 'sheet_state': 'NoneType' object cannot be converted to 'PyString'"),
    ("str-bytes", lambda b, s: b.get_sheet_name(b"S"), TypeError,
     "argument 'name': 'bytes' object cannot be converted to 'PyString'"),
    ("str-qualname", lambda b, s: b.add_sheet("a", Outer.Inner()), TypeError,
     "argument 'sheet_state': 'Outer.Inner' object cannot be converted to 'PyString'"),
    ("str-surrogate", lambda b, s: b.add_sheet("\ud800"), UnicodeEncodeError,
     "'utf-8' codec can't encode character '\\ud800' in position 0: surrogates not allowed"),
    # unsigned 16-bit
    ("u16-high", lambda b, s: vorlix.column_number_to_letter(65536), OverflowError,
     "out of range integral type conversion attempted"),
    ("u16-negative", lambda b, s: vorlix.column_number_to_letter(-1), OverflowError,
     "out of range integral type conversion attempted"),
    ("u16-beyond-long", lambda b, s: vorlix.column_number_to_letter(2**63), OverflowError, LONG_MAX_MSG),
    ("u16-float", lambda b, s: vorlix.column_number_to_letter(1.0), TypeError,
     "argument 'col': 'float' object cannot be interpreted as an integer"),
    ("u16-str", lambda b, s: vorlix.column_number_to_letter("1"), TypeError,
     "argument 'col': 'str' object cannot be interpreted as an integer"),
    # unsigned 32-bit
    ("u32-high", lambda b, s: vorlix.get_letter_coordinate(4294967296, 1), OverflowError,
     "out of range integral type conversion attempted"),
    ("u32-negative", lambda b, s: vorlix.get_letter_coordinate(-1, 1), OverflowError,
     "can't convert negative int to unsigned"),
    ("u32-index-negative", lambda b, s: vorlix.get_letter_coordinate(Index(-1), 1), OverflowError,
     "can't convert negative int to unsigned"),
    ("u32-float", lambda b, s: vorlix.get_letter_coordinate(7.0, 1), TypeError,
     "argument 'row': 'float' object cannot be interpreted as an integer"),
    ("first-failure-wins", lambda b, s: vorlix.get_letter_coordinate("x", "y"), TypeError,
     "argument 'row': 'str' object cannot be interpreted as an integer"),
    # signed (C long)
    ("long-str", lambda b, s: b.get_sheet_index("0"), TypeError,
     "argument 'idx': 'str' object cannot be interpreted as an integer"),
    ("long-overflow", lambda b, s: b.get_sheet_index(2**63), OverflowError, LONG_MAX_MSG),
    # float
    ("float-str", lambda b, s: s.set_height_row(1, "2"), TypeError, "argument 'val': must be real number, not str"),
    # bool
    ("bool-int", lambda b, s: s.set_hidden_row(1, 1), TypeError,
     "argument 'val': 'int' object cannot be converted to 'PyBool'"),
    ("bool-none", lambda b, s: s.set_hidden_row(1, None), TypeError,
     "argument 'val': 'NoneType' object cannot be converted to 'PyBool'"),
    # list
    ("list-tuple", lambda b, s: vorlix.Service(None).summary_0(()), TypeError,
     "argument 'sheets': 'tuple' object cannot be converted to 'PyList'"),
    # class instance
    ("instance", lambda b, s: b.copy_sheet(readable.create_finder([s]).get_sheet_index(0)), TypeError,
     "argument 'sheet': 'ReadableSheet' object cannot be converted to 'Sheet'"),
    ("instance-none", lambda b, s: b.copy_sheet(None), TypeError,
     "argument 'sheet': 'NoneType' object cannot be converted to 'Sheet'"),
]


@pytest.mark.parametrize("call, exc_type, message", [c[1:] for c in CONVERSIONS], ids=[c[0] for c in CONVERSIONS])
def test_conversion_failures(book, sheet, call, exc_type, message):
    raises(lambda: call(book, sheet), exc_type, message)
    # OverflowError and other non-TypeErrors pass unprefixed; TypeErrors always carry the prefix
    assert message.startswith("argument '") == (exc_type is TypeError)


def test_beyond_unsigned_64_bits_is_the_interpreters_overflow():
    with pytest.raises(OverflowError) as info:
        vorlix.get_letter_coordinate(2**64, 1)
    assert not str(info.value).startswith("argument")


def test_prefixed_type_error_keeps_the_cause():
    inner = ValueError("inner")

    class Bad:
        def __index__(self):
            raise TypeError("outer") from inner

    for call, name in (
        (lambda: vorlix.column_number_to_letter(Bad()), "col"),
        (lambda: vorlix.get_letter_coordinate(Bad(), 1), "row"),
        (lambda: vorlix.Book().get_sheet_index(Bad()), "idx"),
    ):
        exc = raises(call, TypeError, f"argument '{name}': outer")
        assert exc.__cause__ is inner


def test_integer_like_arguments_are_accepted(book, sheet):
    assert vorlix.column_number_to_letter(Index(28)) == "AB"
    assert vorlix.get_letter_coordinate(Index(7), Index(2)) == "B7"
    # bool is an int
    assert vorlix.column_number_to_letter(True) == "A"
    assert vorlix.get_letter_coordinate(True, False) == "1"
    assert book.get_sheet_index(False).name == "S"
    assert book.get_sheet_index(Index(0)).name == "S"
    # floats accept ints and __index__ objects
    sheet.set_height_row(Index(3), 7)
    sheet.set_height_row(4, Index(8))
    assert (sheet.get_height_by_row(3), sheet.get_height_by_row(4)) == (7.0, 8.0)
    assert type(sheet.get_height_by_row(3)) is float


def test_numpy_bool_is_accepted_where_bool_is_expected(sheet):
    np = pytest.importorskip("numpy")
    sheet.set_hidden_row(1, np.bool_(True))
    sheet.set_hidden_column(2, np.True_)
    sheet.set_hidden_row(3, np.bool_(False))
    assert sheet.get_hidden_by_row(1) is True
    assert sheet.get_hidden_by_column(2) is True
    assert sheet.get_hidden_by_row(3) is False
    raises(lambda: sheet.set_hidden_row(1, np.int64(1)), TypeError,
           f"argument 'val': '{type(np.int64(1)).__qualname__}' object cannot be converted to 'PyBool'")


def test_str_subclass_is_accepted(book):
    class Name(str):
        pass

    book.add_sheet(Name("N"))
    assert book.get_sheet_name(Name("N")).name == "N"


class LyingLength:
    """A sequence whose length is only a hint: iteration gives the items."""

    def __init__(self, items, length):
        self.items, self.length = items, length

    def __len__(self):
        return self.length

    def __getitem__(self, i):
        return self.items[i]


def test_list_parameters(sheet):
    finder = readable.create_finder([sheet])
    cells = finder.get_sheet_index(0).cells
    # list, tuple and any sequence are accepted
    assert readable.find_values_by_col_rows(1, [1, 2], cells) == ["a", "b"]
    assert readable.find_values_by_col_rows(1, (2,), cells) == ["b"]
    assert readable.find_values_by_col_rows(1, LyingLength([1, 2], 0), cells) == ["a", "b"]
    assert readable.find_values_by_col_rows(1, LyingLength([1], 1000), cells) == ["a"]
    assert [s.name for s in finder.get_sheets_with_names(("S",))] == ["S"]
    # str, non-sequences and bad items are refused
    for value, message in (
        ("S", "argument 'name_list': Can't extract `str` to `Vec`"),
        ({"S"}, "argument 'name_list': 'set' object cannot be converted to 'Sequence'"),
        ({"S": 1}, "argument 'name_list': 'dict' object cannot be converted to 'Sequence'"),
        ((n for n in ["S"]), "argument 'name_list': 'generator' object cannot be converted to 'Sequence'"),
        (["S", 1], "argument 'name_list': 'int' object cannot be converted to 'PyString'"),
    ):
        raises(lambda: finder.get_sheets_with_names(value), TypeError, message)
    raises(lambda: readable.find_values_by_col_rows(1, "12", cells), TypeError,
           "argument 'rows': Can't extract `str` to `Vec`")
    raises(lambda: readable.find_values_by_col_rows(1, [1, -1], cells), OverflowError,
           "can't convert negative int to unsigned")
    raises(lambda: readable.find_values_by_row_cols(1, [1, 65536], cells), OverflowError,
           "out of range integral type conversion attempted")


def test_deleting_a_settable_attribute(sheet):
    raises(lambda: delattr(sheet, "name"), AttributeError, "can't delete attribute")
    assert sheet.name == "S"


# --------------------------------------------------------------------- borrows
# A borrow is held while the arguments are converted, so an __index__ that
# calls back into the same handle meets it.


def test_shared_borrow_during_exclusive_borrow(book, sheet):
    raises(lambda: sheet.add_merge_cells(Index(1, lambda: sheet.name), 1, 1, 1),
           RuntimeError, "Already mutably borrowed")
    # passing the exclusively borrowed handle as an argument meets it too
    raises(lambda: sheet.add_comment(Index(1, lambda: book.copy_sheet(sheet)), 1, "t", "a"),
           RuntimeError, "Already mutably borrowed")
    assert sheet.merge_cells == [] and sheet.comments == [] and len(book.sheets) == 1


def test_exclusive_borrow_during_shared_borrow(sheet):
    raises(lambda: sheet.cell(Index(5, lambda: sheet.add_comment(1, 1, "t", "a")), 1),
           RuntimeError, "Already borrowed")
    raises(lambda: sheet.set_height_row(Index(5, lambda: sheet.add_merge_cells(1, 1, 1, 1)), 1.0),
           RuntimeError, "Already borrowed")
    assert sheet.comments == [] and sheet.merge_cells == []


def test_borrows_are_released_after_conflicts(book, sheet):
    with pytest.raises(RuntimeError):
        sheet.add_merge_cells(Index(1, lambda: sheet.name), 1, 1, 1)
    with pytest.raises(RuntimeError):
        sheet.cell(Index(5, lambda: sheet.add_comment(1, 1, "t", "a")), 1)
    sheet.add_merge_cells(1, 2, 1, 2)
    sheet.add_comment(1, 1, "t", "a")
    assert sheet.merge_cells == [(1, 2, 1, 2)]
    assert len(sheet.comments) == 1
    # nested shared borrows are fine
    assert sheet.cell(Index(1, lambda: sheet.cell(2, 1)), 1).value == "a"
    assert book.copy_sheet(sheet).name == "Sheet 2"
