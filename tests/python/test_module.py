"""Module layout: names and their order, identity on re-import, classes,
docstrings and text signatures, and the internal-failure exception."""

from __future__ import annotations

import importlib
import inspect
import os
import subprocess
import sys
import textwrap

import pytest

import vorlix
import _vorlix
from vorlix import readable

TOP_LEVEL = [
    "__version__", "Service", "Book", "Sheet", "Cell", "Comment", "version",
    "column_number_to_letter", "get_letter_coordinate", "DEFAULT_ROW_HEIGHT",
    "DEFAULT_COLUMN_WIDTH", "readable",
]
READABLE = [
    "Finder", "ReadableSheet", "ReadableCell", "create_finder", "find_cell_by_coords",
    "find_value_by_coords", "find_cell_by_regex", "find_cell_by_str", "find_cell_by_letter",
    "find_cells_by_regex", "find_cells_by_str", "find_cells_for_rows_by_regex",
    "find_cells_for_cols_by_regex", "find_cells_multi_regex", "find_cells_between_regex",
    "find_cells_range_rows", "find_cells_range_cols", "find_values_by_col_rows",
    "find_values_by_row_cols",
]


def test_all_lists_names_in_registration_order():
    assert _vorlix.__all__ == TOP_LEVEL
    assert readable.__all__ == READABLE
    assert vorlix.__all__ == TOP_LEVEL
    for module, names in ((_vorlix, TOP_LEVEL), (readable, READABLE)):
        for name in names:
            assert hasattr(module, name), name


def test_version_and_constants():
    assert vorlix.__version__ == _vorlix.__version__ == "0.9.0"
    assert vorlix.version() == "0.9.0"
    with pytest.raises(TypeError):
        vorlix.version(1)
    for name, value in (("DEFAULT_ROW_HEIGHT", 20.0), ("DEFAULT_COLUMN_WIDTH", 22.5)):
        constant = getattr(vorlix, name)
        assert type(constant) is float and constant == value
    assert _vorlix.__doc__ == ""


def test_readable_submodule_registration():
    assert sys.modules["vorlix.readable"] is _vorlix.readable is vorlix.readable
    assert readable.__name__ == "readable"
    from vorlix.readable import Finder

    assert Finder is readable.Finder


def test_reimport_returns_the_same_module(monkeypatch):
    monkeypatch.delitem(sys.modules, "_vorlix")
    again = importlib.import_module("_vorlix")
    assert again is _vorlix
    monkeypatch.delitem(sys.modules, "_vorlix")
    import _vorlix as third

    assert third is _vorlix
    assert third.Book is vorlix.Book


def test_sub_interpreter_is_refused():
    pytest.importorskip("_xxsubinterpreters")
    code = textwrap.dedent(
        """
        import _xxsubinterpreters as si
        import vorlix
        interp = si.create()
        try:
            si.run_string(interp, "import vorlix")
        except si.RunFailedError as e:
            print(e)
        else:
            print("imported")
        si.destroy(interp)
        assert vorlix.Book().to_json() == '{"sheets":[]}'
        """
    )
    out = subprocess.run(
        [sys.executable, "-c", code], capture_output=True, text=True, timeout=120,
        env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)},
    )
    assert out.returncode == 0, out.stderr
    assert out.stdout.startswith("<class 'ImportError'>: ")
    assert "sub-interpreters" in out.stdout


CLASSES = [
    (vorlix.Service, "vorlix", "(conn_db)"),
    (vorlix.Book, "vorlix", "()"),
    (vorlix.Sheet, "vorlix", None),
    (vorlix.Cell, "vorlix", None),
    (vorlix.Comment, "vorlix", None),
    (readable.Finder, "vorlix.readable", "(sheets)"),
    (readable.ReadableSheet, "vorlix.readable", None),
    (readable.ReadableCell, "vorlix.readable", None),
]


@pytest.mark.parametrize("cls, module, signature", CLASSES, ids=lambda v: getattr(v, "__name__", None))
def test_class_names_and_constructor_signatures(cls, module, signature):
    assert cls.__module__ == module
    assert cls.__qualname__ == cls.__name__
    if signature is None:
        assert cls.__doc__ is None
        with pytest.raises(TypeError) as exc:
            cls()
        assert str(exc.value) == f"No constructor defined for {cls.__name__}"
    else:
        assert cls.__text_signature__ == signature
        assert cls.__doc__ == ""
        assert str(inspect.signature(cls)) == signature


@pytest.mark.parametrize("cls", [c for c, _, _ in CLASSES if c is not vorlix.Service], ids=lambda c: c.__name__)
def test_only_service_can_be_subclassed(cls):
    with pytest.raises(TypeError, match="not an acceptable base type"):
        type("Sub", (cls,), {})


def test_service_can_be_subclassed():
    sub = type("Sub", (vorlix.Service,), {})
    assert isinstance(sub(None), vorlix.Service)


def test_functions_belong_to_their_module():
    for name in ("version", "column_number_to_letter", "get_letter_coordinate"):
        assert getattr(_vorlix, name).__module__ == _vorlix.__name__
    for name in READABLE[3:]:
        assert getattr(readable, name).__module__ == "readable"


@pytest.mark.parametrize(
    "fn, signature, body",
    [
        (vorlix.column_number_to_letter, "(col)", "Преобразование номера колонки в букву."),
        (vorlix.get_letter_coordinate, "(row, col)", "Преобразование номера колонки в координату."),
    ],
)
def test_coordinate_function_docstrings(fn, signature, body):
    assert fn.__text_signature__ == signature
    assert fn.__doc__ == body
    assert str(inspect.signature(fn)) == signature


def test_version_docstring():
    assert vorlix.version.__text_signature__ == "()"
    doc = vorlix.version.__doc__
    assert "Returns\n-------\nversion : str" in doc


@pytest.mark.parametrize(
    "method, text_signature",
    [
        (vorlix.Book.add_sheet, '($self, name, sheet_state="visible")'),
        (vorlix.Book.copy_sheet, "($self, sheet)"),
        (vorlix.Book.get_sheet_index, "($self, idx)"),
        (vorlix.Book.get_sheet_name, "($self, name)"),
        (vorlix.Book.to_json, "($self)"),
        (vorlix.Book.to_dict, "($self)"),
        (vorlix.Service.summary_0, "($self, sheets, /, **kwargs)"),
        (vorlix.Service._fmt_0, "($self, **kwargs)"),
        (vorlix.Service._add_sheet, '($self, name, sheet_state="visible")'),
        (vorlix.Service._copy_sheet, "($self, sheet)"),
        (vorlix.Service._get_sheet_index, "($self, idx)"),
        (vorlix.Service._get_sheet_name, "($self, name)"),
        (vorlix.Service.to_json, "($self)"),
        (vorlix.Service.to_dict, "($self)"),
    ],
    ids=lambda v: getattr(v, "__qualname__", None),
)
def test_method_text_signatures(method, text_signature):
    assert method.__text_signature__ == text_signature
    assert method.__doc__ is None  # nothing after the signature block
    inspect.signature(method)


def test_inspect_signature_of_methods():
    # '$self' makes the receiver positional-only in inspect's rendering.
    assert str(inspect.signature(vorlix.Book.add_sheet)) == "(self, /, name, sheet_state='visible')"
    assert str(inspect.signature(vorlix.Book().add_sheet)) == "(name, sheet_state='visible')"
    assert str(inspect.signature(vorlix.Service(None).summary_0)) == "(sheets, /, **kwargs)"
    assert str(inspect.signature(vorlix.Service(None)._fmt_0)) == "(**kwargs)"


def test_internal_failure_is_a_base_exception_only():
    cls = vorlix.InternalFailure
    assert cls is _vorlix.InternalFailure
    assert cls.__module__ == "vorlix" and cls.__name__ == "InternalFailure"
    assert cls.__bases__ == (BaseException,)
    assert not issubclass(cls, Exception)
    assert "InternalFailure" not in _vorlix.__all__


class HugeLength:
    """A sequence that reports an absurd length: the length is only a hint."""

    def __len__(self):
        return 2**62

    def __getitem__(self, i):
        if i >= 3:
            raise IndexError(i)
        return i + 1


def test_reported_length_is_only_a_hint():
    assert readable.find_values_by_col_rows(1, HugeLength(), []) == []
    # the failed call left the module usable
    assert readable.find_values_by_col_rows(1, range(3), []) == []
