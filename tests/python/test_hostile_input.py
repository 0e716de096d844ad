"""Every public callable of vorlix and vorlix.readable, called with wrong
arguments in every position: each call either works or raises a plain
argument error, never crashes, never surfaces an internal failure, and a
call that raises leaves the documents of the book and the service as they
were.

The callables are found by introspection, so a method added later fails
test_every_public_callable_has_valid_arguments until it gets a row in VALID.
"""

from __future__ import annotations

import datetime
import faulthandler
import inspect
import json
import types

import pytest

import vorlix
from vorlix import readable

# Errors a bad argument may produce. Boom is the hostile objects' own error:
# when one of them raises, that exception must come through as it is.
ARGUMENT_ERRORS = (TypeError, ValueError, OverflowError, AttributeError, KeyError, IndexError,
                   UnicodeEncodeError)


class Boom(Exception):
    """Raised by the hostile objects below."""


@pytest.fixture(autouse=True, scope="module")
def hang_guard():
    # A deadlock on a record lock would hang with the interpreter lock held:
    # faulthandler's own thread ends the run with a traceback instead.
    faulthandler.dump_traceback_later(120, exit=True)
    yield
    faulthandler.cancel_dump_traceback_later()


# ------------------------------------------------------------ hostile objects

class BadIndex:
    def __index__(self):
        raise Boom("__index__")


class BadFloat:
    def __float__(self):
        raise Boom("__float__")


class BadLen:
    """A sequence that fails to report its length but iterates fine."""

    def __len__(self):
        raise Boom("__len__")

    def __getitem__(self, i):
        if i < 2:
            return i + 1
        raise IndexError(i)


class BadLenList(list):
    def __len__(self):
        raise Boom("__len__")


class BadIterList(list):
    def __iter__(self):
        raise Boom("__iter__")


class Untouchable:
    """Every attribute access raises."""

    def __getattribute__(self, name):
        raise Boom(f"getattr {name}")


class CellLike:
    def __init__(self, **fields):
        self.row, self.column, self.value, self.formula, self.data_type = 1, 1, "v", None, "s"
        self.__dict__.update(fields)


class SheetLike:
    def __init__(self, **fields):
        self.name, self.sheet_state, self.merge_cells = "Like", "visible", None
        self.cells = [CellLike()]
        self.__dict__.update(fields)


class ShrinkingCell(CellLike):
    """Empties the list it sits in when its row is read."""

    def __init__(self, home):
        super().__init__()
        self._home = home

    @property
    def row(self):
        self._home.clear()
        return 1

    @row.setter
    def row(self, value):
        pass


class ShrinkingSheet(SheetLike):
    """Empties the finder's sheets list when its name is read."""

    def __init__(self, home):
        super().__init__()
        self._home = home

    @property
    def name(self):
        self._home.clear()
        return "Shrinking"

    @name.setter
    def name(self, value):
        pass


class RaisingCellsSheet(SheetLike):
    @property
    def cells(self):
        raise Boom("cells")

    @cells.setter
    def cells(self, value):
        pass


def generator():
    yield 1


def shrinking_cells_source():
    cells = []
    cells.extend([ShrinkingCell(cells), CellLike(row=2)])
    return [SheetLike(cells=cells)]


def shrinking_sheets_list():
    sheets = []
    sheets.extend([ShrinkingSheet(sheets), SheetLike()])
    return sheets


# (id, factory(world)): a fresh object per call, since generators and lists
# may be consumed or changed.
HOSTILE = [
    ("None", lambda w: None),
    ("True", lambda w: True),
    ("0", lambda w: 0),
    ("-1", lambda w: -1),
    ("2**31", lambda w: 2**31),
    ("2**64", lambda w: 2**64),
    ("2**200", lambda w: 2**200),
    ("1.5", lambda w: 1.5),
    ("nan", lambda w: float("nan")),
    ("empty-str", lambda w: ""),
    ("str", lambda w: "x"),
    ("lone-surrogate", lambda w: "\ud800"),
    ("open-paren", lambda w: "("),
    ("bytes", lambda w: b"x"),
    ("empty-list", lambda w: []),
    ("int-list", lambda w: [1]),
    ("tuple", lambda w: (1,)),
    ("empty-dict", lambda w: {}),
    ("dict", lambda w: {"a": 1}),
    ("generator", lambda w: generator()),
    ("bad-index", lambda w: BadIndex()),
    ("bad-float", lambda w: BadFloat()),
    ("bad-len", lambda w: BadLen()),
    ("untouchable", lambda w: Untouchable()),
    # handles of the wrong class
    ("live-cell", lambda w: w.cell),
    ("readable-sheet", lambda w: w.rsheet),
    # lists whose elements are hostile: as finder sources, as cells elements,
    # as names, rows or columns
    ("list-of-untouchable", lambda w: [Untouchable()]),
    ("list-of-none", lambda w: [None]),
    ("list-of-surrogate", lambda w: ["\ud800"]),
    ("list-of-bad-index", lambda w: [BadIndex()]),
    ("list-of-huge", lambda w: [2**64]),
    ("list-of-negative", lambda w: [-1]),
    ("list-of-live-cell", lambda w: [w.cell]),
    ("bad-len-list", lambda w: BadLenList(["Data"])),
    ("bad-iter-list", lambda w: BadIterList(["Data"])),
    ("source-cells-untouchable", lambda w: [SheetLike(cells=[Untouchable()])]),
    ("source-dict", lambda w: [{"name": "D", "sheet_state": "visible", "merge_cells": None, "cells": []}]),
    ("source-name-surrogate", lambda w: [SheetLike(name="\ud800")]),
    ("source-name-none", lambda w: [SheetLike(name=None)]),
    ("source-merge-3", lambda w: [SheetLike(merge_cells=[(1, 2, 3)])]),
    ("source-merge-bad-index", lambda w: [SheetLike(merge_cells=[(1, 2, 3, BadIndex())])]),
    ("source-merge-huge", lambda w: [SheetLike(merge_cells=[(2**40, 1, 1, 1)])]),
    ("source-merge-str", lambda w: [SheetLike(merge_cells="abcd")]),
    ("source-merge-generator", lambda w: [SheetLike(merge_cells=generator())]),
    ("source-cells-tuple", lambda w: [SheetLike(cells=(CellLike(),))]),
    ("source-cells-raise", lambda w: [RaisingCellsSheet()]),
    ("source-cells-bad-len", lambda w: [SheetLike(cells=BadLenList([CellLike()]))]),
    ("source-row-negative", lambda w: [SheetLike(cells=[CellLike(row=-1)])]),
    ("source-row-bad-index", lambda w: [SheetLike(cells=[CellLike(row=BadIndex())])]),
    ("source-column-huge", lambda w: [SheetLike(cells=[CellLike(column=2**16)])]),
    ("source-value-bytes", lambda w: [SheetLike(cells=[CellLike(value=b"x")])]),
    ("source-value-surrogate", lambda w: [SheetLike(cells=[CellLike(value="\ud800")])]),
    ("source-formula-float", lambda w: [SheetLike(cells=[CellLike(formula=1.5)])]),
    ("source-type-none", lambda w: [SheetLike(cells=[CellLike(data_type=None)])]),
    ("source-cells-shrink", lambda w: shrinking_cells_source()),
    ("sources-shrink", lambda w: shrinking_sheets_list()),
]

SELF_HOSTILE = [h for h in HOSTILE if h[0] in ("None", "0", "str", "untouchable", "live-cell", "readable-sheet")]


# ------------------------------------------------------------------ the world

def make_world():
    w = types.SimpleNamespace()
    w.book = vorlix.Book()
    s = w.sheet = w.book.add_sheet("Data")
    s.cell(1, 1, "Start")
    s.cell(2, 1, "12.5")
    s.cell(2, 2, "x")
    s.cell(3, 1, "End")
    s.cell(3, 2, "true")
    s.cell(4, 1).set_value_datetime(datetime.datetime(2024, 1, 5, 7, 8, 9))
    s.add_merge_cells(1, 1, 1, 2)
    s.add_comment(1, 1, "note", "me")
    s.set_height_row(1, 30.0)
    w.book.add_sheet("Other", "hidden")
    w.cell = s.cell(2, 2)
    w.comment = s.comments[0]
    w.conn = object()
    w.service = vorlix.Service(w.conn)
    w.service._add_sheet("Svc").cell(1, 1, "svc")
    w.finder = readable.Finder(w.book.sheets)
    w.rsheet = w.finder.get_sheet_index(0)
    w.rcells = w.rsheet.cells
    w.rcell = w.rcells[0]
    return w


RECEIVERS = {
    vorlix.Book: lambda w: w.book,
    vorlix.Sheet: lambda w: w.sheet,
    vorlix.Cell: lambda w: w.cell,
    vorlix.Comment: lambda w: w.comment,
    vorlix.Service: lambda w: w.service,
    readable.Finder: lambda w: w.finder,
    readable.ReadableSheet: lambda w: w.rsheet,
    readable.ReadableCell: lambda w: w.rcell,
}

_CELL_SEARCHES = {
    "find_value_by_coords": lambda w: (1, 1),
    "find_cell_by_coords": lambda w: (1, 1),
    "get_value_cell": lambda w: (1, 1),
    "find_cell_by_regex": lambda w: ("Sta",),
    "find_cell_by_str": lambda w: ("Start",),
    "find_cell_by_letter": lambda w: ("A1",),
    "find_cells_by_regex": lambda w: ("a",),
    "find_cells_by_str": lambda w: ("x",),
    "find_cells_for_rows_by_regex": lambda w: ("a", 3),
    "find_cells_for_cols_by_regex": lambda w: ("a", 3),
    "find_cells_multi_regex": lambda w: ("Start", "End"),
    "find_cells_between_regex": lambda w: ("Start", "End"),
    "find_cells_range_rows": lambda w: (1, 3),
    "find_cells_range_cols": lambda w: (1, 2),
    "find_values_by_col_rows": lambda w: (1, [1, 2]),
    "find_values_by_row_cols": lambda w: (1, [1, 2]),
    "get_cells_by_range": lambda w: (1, 3, 1, 2),
}

_BOOK_OPS = {
    "add_sheet": lambda w: ("New", "visible"),
    "copy_sheet": lambda w: (w.sheet,),
    "get_sheet_index": lambda w: (0,),
    "get_sheet_name": lambda w: ("Data",),
    "to_json": lambda w: (),
    "to_dict": lambda w: (),
}

# Valid positional arguments (self excluded) of every public callable, by
# "Class.method", "module.function", "Class()" for constructors and
# "Class.attr=" for setters.
VALID = {
    **{f"Book.{k}": v for k, v in _BOOK_OPS.items()},
    **{f"Service.{'' if k.startswith('to_') else '_'}{k}": v for k, v in _BOOK_OPS.items()},
    "Service.summary_0": lambda w: ([],),
    "Service._fmt_0": lambda w: (),
    "Sheet.cell": lambda w: (5, 5, "v"),
    "Sheet.set_sheet_state": lambda w: ("hidden",),
    "Sheet.add_merge_cells": lambda w: (4, 5, 1, 2),
    "Sheet.add_comment": lambda w: (2, 2, "text", "author"),
    "Sheet.set_height_row": lambda w: (2, 15.0),
    "Sheet.set_hidden_row": lambda w: (2, True),
    "Sheet.set_width_column": lambda w: (2, 10.0),
    "Sheet.set_hidden_column": lambda w: (2, True),
    "Sheet.get_height_by_row": lambda w: (1,),
    "Sheet.get_hidden_by_row": lambda w: (1,),
    "Sheet.get_width_by_column": lambda w: (1,),
    "Sheet.get_hidden_by_column": lambda w: (1,),
    "Sheet.delete_cols": lambda w: (9, 1),
    "Sheet.delete_rows": lambda w: (9, 1),
    **{f"Sheet.{k}": v for k, v in _CELL_SEARCHES.items()
       if k not in ("find_cell_by_coords", "find_values_by_col_rows", "find_values_by_row_cols")},
    **{f"ReadableSheet.{k}": v for k, v in _CELL_SEARCHES.items()},
    **{f"readable.{k}": (lambda f: lambda w: (*f(w), w.rcells))(v) for k, v in _CELL_SEARCHES.items()
       if k not in ("get_value_cell", "get_cells_by_range")},
    "Cell.set_value_number": lambda w: (2.5,),
    "Cell.set_value_integer": lambda w: (7,),
    "Cell.set_value_bool": lambda w: (True,),
    "Cell.set_value_datetime": lambda w: (datetime.datetime(2024, 1, 5, 7, 8, 9),),
    "Finder.get_sheet_index": lambda w: (0,),
    "Finder.get_sheets_without_names": lambda w: (["Data"],),
    "Finder.get_sheets_with_names": lambda w: (["Data"],),
    "Finder.find_sheet_by_name": lambda w: ("Data",),
    "Finder.find_sheet_by_regex": lambda w: ("^Da",),
    "readable.create_finder": lambda w: (w.book.sheets,),
    "vorlix.version": lambda w: (),
    "vorlix.column_number_to_letter": lambda w: (3,),
    "vorlix.get_letter_coordinate": lambda w: (1, 3),
    "Book()": lambda w: (),
    "Service()": lambda w: (object(),),
    "Finder()": lambda w: ([w.sheet],),
    # classes without a constructor: no valid call exists
    "Sheet()": None,
    "Cell()": None,
    "Comment()": None,
    "ReadableSheet()": None,
    "ReadableCell()": None,
    "Cell.value=": lambda w: ("42",),
    "Cell.formula=": lambda w: ("=A1",),
    "Cell.style=": lambda w: ("bold",),
    "Cell.hidden_value=": lambda w: ("h",),
    "Sheet.name=": lambda w: ("Renamed",),
    "Comment.author=": lambda w: ("someone",),
    "Comment.text=": lambda w: ("words",),
}

# The name a setter's conversion errors give to the assigned value.
SETTER_PARAMETER = {"Cell": "value", "Sheet": "name", "Comment": "val"}

# The base entry points exist to be overridden: valid calls raise this.
EXPECTED_ERROR = {"Service.summary_0": NotImplementedError, "Service._fmt_0": NotImplementedError}


# ------------------------------------------------------------ introspection

def has_setter(cls, attr):
    # Deleting reaches our setter slot only when there is one; it refuses
    # with its own message, the interpreter with "not writable".
    probe = RECEIVERS[cls](WORLD_FOR_PROBING)
    try:
        delattr(probe, attr)
    except AttributeError as e:
        return str(e) == "can't delete attribute"
    raise AssertionError(f"deleting {cls.__name__}.{attr} succeeded")


def public_surface():
    """{key: (kind, target, parameter names)} for every public callable."""
    out = {}
    for mod, prefix in ((vorlix, "vorlix"), (readable, "readable")):
        for name in mod.__all__:
            obj = getattr(mod, name)
            if isinstance(obj, type):
                out[f"{name}()"] = ("new", obj, None)
                for attr, member in vars(obj).items():
                    if attr.startswith("__"):
                        continue
                    if isinstance(member, types.MethodDescriptorType):
                        params = [p.name for p in inspect.signature(member).parameters.values()
                                  if p.kind is not p.VAR_KEYWORD]
                        out[f"{name}.{attr}"] = ("method", member, params)
                    elif isinstance(member, types.GetSetDescriptorType):
                        if has_setter(obj, attr):
                            out[f"{name}.{attr}="] = ("setter", member, ["self", SETTER_PARAMETER[name]])
                    else:
                        raise AssertionError(f"unexpected member {name}.{attr}: {type(member)}")
            elif isinstance(obj, types.BuiltinFunctionType):
                params = list(inspect.signature(obj).parameters)
                out[f"{prefix}.{name}"] = ("function", obj, params)
    return out


WORLD_FOR_PROBING = make_world()
SURFACE = public_surface()


def call(kind, target, args):
    if kind == "setter":
        target.__set__(*args)
    else:
        target(*args)


def documents(w):
    return w.book.to_json(), w.service.to_json()


def positional(key, w):
    """The full argument list of a valid call, self first for methods and setters."""
    kind, target, params = SURFACE[key]
    args = list(VALID[key](w))
    if kind in ("method", "setter"):
        cls = getattr(vorlix, key.split(".")[0], None) or getattr(readable, key.split(".")[0])
        args.insert(0, RECEIVERS[cls](w))
    return args


# ------------------------------------------------------------------- tests

def test_every_public_callable_has_valid_arguments():
    # A new method, function, class or setter needs a row in VALID.
    assert sorted(set(SURFACE) - set(VALID)) == []
    assert sorted(set(VALID) - set(SURFACE)) == []
    # Sanity of the surface found: the setters are exactly the documented ones.
    assert sorted(k for k in SURFACE if k.endswith("=")) == sorted(
        ["Cell.value=", "Cell.formula=", "Cell.style=", "Cell.hidden_value=", "Sheet.name=",
         "Comment.author=", "Comment.text="])
    w = make_world()
    for key, (kind, target, params) in SURFACE.items():
        if VALID[key] is None or kind == "new":
            continue
        assert len(positional(key, w)) == len(params), key


def check_outcome(key, position, label, run, w):
    """Runs one call; returns the exception it raised (None on success)."""
    before = documents(w)
    try:
        run()
    except BaseException as e:  # noqa: BLE001 - InternalFailure derives from BaseException
        expected = EXPECTED_ERROR.get(key)
        ok = isinstance(e, ARGUMENT_ERRORS) or isinstance(e, Boom) or (expected and isinstance(e, expected))
        assert ok, f"{key} [{position}={label}] raised {type(e).__module__}.{type(e).__qualname__}: {e}"
        assert documents(w) == before, f"{key} [{position}={label}] raised {e!r} but changed the document"
        error = e
    else:
        error = None
    # Whatever happened, the documents still serialise as JSON.
    for doc in documents(w):
        json.loads(doc)
    return error


@pytest.mark.parametrize("key", sorted(k for k in VALID if VALID[k] is not None))
def test_hostile_arguments(key):
    kind, target, params = SURFACE[key]
    w = make_world()
    valid = positional(key, w)
    # The valid call itself works (or raises its documented error).
    err = check_outcome(key, "valid", "valid", lambda: call(kind, target, valid), w)
    assert err is None or isinstance(err, EXPECTED_ERROR[key]), err

    names = params if kind != "new" else list(inspect.signature(target).parameters)
    for position in range(len(valid)):
        pname = names[position] if position < len(names) else f"#{position}"
        # The receiver is checked by the interpreter's descriptor before any
        # of our code runs: a few wrong objects are enough there.
        for label, make in (SELF_HOSTILE if pname == "self" else HOSTILE):
            args = positional(key, w)
            args[position] = make(w)
            err = check_outcome(key, pname, label, lambda: call(kind, target, args), w)
            if isinstance(err, TypeError) and pname != "self":
                # A refused argument is named in the message, unless the
                # failure comes from reading inside a finder source.
                assert str(err).startswith(f"argument '{pname}': ") or "sheets[" in str(err), (
                    f"{key} [{pname}={label}]: {err}")

    if kind in ("method", "function", "new"):
        # One more positional argument than there are parameters, and an unknown keyword.
        extra = positional(key, w) + [None]
        err = check_outcome(key, "extra", "extra", lambda: call(kind, target, extra), w)
        assert isinstance(err, TypeError), (key, err)
        takes_any_keyword = kind != "new" and any(
            p.kind is p.VAR_KEYWORD for p in inspect.signature(target).parameters.values())
        if not takes_any_keyword:
            err = check_outcome(key, "keyword", "unknown",
                                lambda: target(*positional(key, w), no_such_argument=1), w)
            assert isinstance(err, TypeError), (key, err)
    else:
        # Deleting a settable attribute is refused and changes nothing.
        before = documents(w)
        with pytest.raises(AttributeError, match="can't delete attribute"):
            target.__delete__(valid[0])
        assert documents(w) == before


@pytest.mark.parametrize("key", sorted(k for k in VALID if VALID[k] is None))
def test_classes_without_constructor(key):
    cls = SURFACE[key][1]
    w = make_world()
    for label, make in [("none", lambda w: None)] + HOSTILE:
        with pytest.raises(TypeError, match=f"^No constructor defined for {cls.__name__}$"):
            cls(make(w))
    with pytest.raises(TypeError, match=f"^No constructor defined for {cls.__name__}$"):
        cls()


def test_getters_and_reprs_survive_the_matrix():
    # After a full round of hostile setters and typed setters on one world,
    # every getter of every object still answers with a plain value.
    w = make_world()
    for key in [k for k in VALID if k.startswith("Cell.") or k.startswith("Comment.") or k == "Sheet.name="]:
        kind, target, params = SURFACE[key]
        for label, make in HOSTILE:
            args = positional(key, w)
            args[-1] = make(w)
            check_outcome(key, params[-1], label, lambda: call(kind, target, args), w)
    for cls, get in RECEIVERS.items():
        obj = get(w)
        assert isinstance(repr(obj), str)
        for attr, member in vars(cls).items():
            if isinstance(member, types.GetSetDescriptorType):
                value = getattr(obj, attr)
                if attr == "_conn_db":
                    assert value is w.conn
                else:
                    assert type(value) in (type(None), str, int, float, bool, list, tuple), (cls, attr, value)
                # Read-only attributes refuse assignment through the interpreter.
                if f"{cls.__name__}.{attr}=" not in VALID:
                    with pytest.raises(AttributeError):
                        setattr(obj, attr, value)


class Reentrant:
    """An int-like (and float-like) argument that uses the book while it is converted."""

    def __init__(self, w, value):
        self.w, self.value = w, value

    def _touch(self):
        self.w.book.to_json()
        self.w.sheet.max_row
        self.w.sheet.find_cells_by_regex("a")
        self.w.cell.value
        self.w.rsheet.find_cells_by_regex("a")

    def __index__(self):
        self._touch()
        return self.value

    def __float__(self):
        self._touch()
        return float(self.value)


@pytest.mark.parametrize("key", sorted(k for k, v in VALID.items()
                                       if v is not None and any(isinstance(a, (int, float)) and not isinstance(a, bool)
                                                                for a in v(WORLD_FOR_PROBING))))
def test_arguments_that_call_back_into_the_book(key):
    # Conversion runs Python code; it must not meet a lock the call already
    # holds. Only an exclusive borrow of the same handle may refuse.
    kind, target, params = SURFACE[key]
    w = make_world()
    args = positional(key, w)
    for i, a in enumerate(args):
        if isinstance(a, (int, float)) and not isinstance(a, bool):
            args[i] = Reentrant(w, int(a))
    try:
        call(kind, target, args)
    except RuntimeError as e:
        assert key in ("Sheet.add_merge_cells", "Sheet.add_comment"), (key, e)
        assert str(e) == "Already mutably borrowed"
    except NotImplementedError:
        assert key in EXPECTED_ERROR
    json.loads(w.book.to_json())
