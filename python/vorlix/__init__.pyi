"""vorlix: a fast, typed, in-memory spreadsheet workbook model."""

import datetime
from typing import Any, Final, Self, final

from typing_extensions import disjoint_base

from . import readable as readable

__all__ = [
    "__version__",
    "Service",
    "Book",
    "Sheet",
    "Cell",
    "Comment",
    "version",
    "column_number_to_letter",
    "get_letter_coordinate",
    "DEFAULT_ROW_HEIGHT",
    "DEFAULT_COLUMN_WIDTH",
    "readable",
]

__version__: Final[str]

DEFAULT_ROW_HEIGHT: Final = 20.0
"""Height reported for a row that has no entry of its own."""

DEFAULT_COLUMN_WIDTH: Final = 22.5
"""Width reported for a column that has no entry of its own."""

class InternalFailure(BaseException):
    """Raised when an operation meets a condition it cannot handle.

    Derived from BaseException, so ``except Exception`` does not catch it.
    """

def version() -> str:
    """The version text, the same as ``__version__``."""

def column_number_to_letter(col: int) -> str:
    """Column letters of a column number: 1 -> "A", 27 -> "AA", 0 -> ""."""

def get_letter_coordinate(row: int, col: int) -> str:
    """Letter reference of a row and a column: (7, 2) -> "B7"."""

@disjoint_base
class Service:
    """Base class of services: keeps a connection object and owns a book.

    Subclasses implement ``summary_0`` and ``_fmt_0``; the base versions raise
    NotImplementedError. A subclass whose constructor takes other arguments
    must define its own ``__new__``.
    """

    def __new__(cls, conn_db: object) -> Self: ...
    @property
    def _conn_db(self) -> Any:
        """The very object given to the constructor."""

    @property
    def _sheets(self) -> list[Sheet]:
        """The service's sheets, in the order added."""

    def summary_0(self, sheets: list[Any], /, **kwargs: Any) -> Any:
        """Entry point for subclasses; the base version raises NotImplementedError."""

    def _fmt_0(self, /, **kwargs: Any) -> Any:
        """Entry point for subclasses; the base version raises NotImplementedError."""

    def _add_sheet(self, /, name: str, sheet_state: str = "visible") -> Sheet:
        """Append a new sheet to the service's book."""

    def _copy_sheet(self, /, sheet: Sheet) -> Sheet:
        """Append a copy of ``sheet`` (named "Sheet N+1"); cells and comments are shared."""

    def _get_sheet_index(self, /, idx: int) -> Sheet | None:
        """The sheet at 0-based position ``idx``; no counting from the end."""

    def _get_sheet_name(self, /, name: str) -> Sheet | None:
        """The first sheet whose name equals ``name`` exactly."""

    def to_json(self, /) -> str:
        """The service's book as the compact JSON document."""

    def to_dict(self, /) -> dict[str, Any]:
        """The JSON document read back by ``json.loads``."""

@final
class Book:
    """A workbook: an ordered list of sheets."""

    def __new__(cls) -> Self: ...
    @property
    def sheets(self) -> list[Sheet]:
        """The book's sheets, in the order added."""

    def add_sheet(self, /, name: str, sheet_state: str = "visible") -> Sheet:
        """Append a new, empty sheet and return it."""

    def copy_sheet(self, /, sheet: Sheet) -> Sheet:
        """Append a copy of ``sheet`` (named "Sheet N+1"); cells and comments are shared."""

    def get_sheet_index(self, /, idx: int) -> Sheet | None:
        """The sheet at 0-based position ``idx``; no counting from the end."""

    def get_sheet_name(self, /, name: str) -> Sheet | None:
        """The first sheet whose name equals ``name`` exactly."""

    def to_json(self, /) -> str:
        """The book as the compact JSON document."""

    def to_dict(self, /) -> dict[str, Any]:
        """The JSON document read back by ``json.loads``."""

@final
class Sheet:
    """A live sheet of a book; obtained from a Book or a Service, never constructed."""

    @property
    def name(self) -> str: ...
    @name.setter
    def name(self, name: str) -> None: ...
    @property
    def sheet_state(self) -> str: ...
    @property
    def max_row(self) -> int:
        """Largest row among the cells; 0 without cells."""

    @property
    def max_column(self) -> int:
        """Largest column among the cells; 0 without cells."""

    @property
    def cells(self) -> list[Cell]:
        """Every cell, by row, then column."""

    @property
    def merge_cells(self) -> list[tuple[int, int, int, int]]:
        """Merged ranges as (start_row, end_row, start_col, end_col), in the order added."""

    @property
    def comments(self) -> list[Comment]:
        """Comments in the order added."""

    def cell(self, /, row: int, col: int, value: str | None = None) -> Cell:
        """The cell at (row, col), created when missing; ``value`` is classified into a typed value."""

    def set_sheet_state(self, /, state: str) -> None: ...
    def add_merge_cells(self, /, start_row: int, end_row: int, start_col: int, end_col: int) -> None: ...
    def add_comment(self, /, row: int, col: int, text: str, author: str) -> None: ...
    def set_height_row(self, /, row_num: int, val: float) -> None: ...
    def set_hidden_row(self, /, row_num: int, val: bool) -> None: ...
    def set_width_column(self, /, col_num: int, val: float) -> None: ...
    def set_hidden_column(self, /, col_num: int, val: bool) -> None: ...
    def get_height_by_row(self, /, row_num: int) -> float: ...
    def get_hidden_by_row(self, /, row_num: int) -> bool: ...
    def get_width_by_column(self, /, col_num: int) -> float: ...
    def get_hidden_by_column(self, /, col_num: int) -> bool: ...
    def delete_cols(self, /, idx: int, amount: int) -> None:
        """Remove columns idx .. idx+amount-1 and move the cells beyond them left."""

    def delete_rows(self, /, idx: int, amount: int) -> None:
        """Remove rows idx .. idx+amount-1 and move the cells below them up."""

    def find_value_by_coords(self, /, row: int, col: int) -> str | None: ...
    def get_value_cell(self, /, row: int, col: int) -> str: ...
    def find_cell_by_regex(self, /, regex: str) -> Cell | None:
        """First cell whose text contains ``regex`` (taken literally)."""

    def find_cell_by_str(self, /, value: str) -> Cell | None:
        """First cell whose text contains ``value`` (containment, like find_cell_by_regex)."""

    def find_cell_by_letter(self, /, letter: str) -> Cell | None:
        """The cell at an "A1"-style reference; ValueError for an invalid reference."""

    def find_cells_by_regex(self, /, regex: str) -> list[Cell]: ...
    def find_cells_by_str(self, /, value: str) -> list[Cell]:
        """Cells whose text equals ``value`` once white space is trimmed from both."""

    def find_cells_for_rows_by_regex(self, /, regex: str, col_stop: int) -> list[Cell]: ...
    def find_cells_for_cols_by_regex(self, /, regex: str, row_stop: int) -> list[Cell]: ...
    def find_cells_multi_regex(self, /, before_regex: str, after_regex: str) -> list[Cell]: ...
    def find_cells_between_regex(self, /, before_regex: str, after_regex: str) -> list[Cell]: ...
    def find_cells_range_rows(self, /, start_row: int, end_row: int) -> list[Cell]: ...
    def find_cells_range_cols(self, /, start_col: int, end_col: int) -> list[Cell]: ...
    def get_cells_by_range(
        self,
        /,
        start_row: int | None = None,
        end_row: int | None = None,
        start_col: int | None = None,
        end_col: int | None = None,
    ) -> list[Cell]:
        """Cells in a rectangle; omitted bounds are rows 1..1048576, columns 1..16384."""

@final
class Cell:
    """A live cell of a sheet."""

    @property
    def row(self) -> int: ...
    @property
    def column(self) -> int: ...
    @property
    def letter(self) -> str: ...
    @property
    def value(self) -> str:
        """Text form of the typed value ("" when empty)."""

    @value.setter
    def value(self, value: str) -> None: ...
    @property
    def formula(self) -> str | None: ...
    @formula.setter
    def formula(self, value: str) -> None: ...
    @property
    def style(self) -> str | None: ...
    @style.setter
    def style(self, value: str) -> None: ...
    @property
    def data_type(self) -> str:
        """One of "General", "s", "n", "b", "d", "f"."""

    @property
    def hidden_value(self) -> str | None: ...
    @hidden_value.setter
    def hidden_value(self, value: str) -> None: ...
    @property
    def is_formula(self) -> bool: ...
    @property
    def is_value_bool(self) -> bool: ...
    @property
    def is_value_numeric(self) -> bool: ...
    @property
    def is_value_integer(self) -> bool: ...
    @property
    def is_value_datetime(self) -> bool: ...
    @property
    def is_value_empty(self) -> bool: ...
    def set_value_number(self, /, value: float) -> None: ...
    def set_value_integer(self, /, value: int) -> None: ...
    def set_value_bool(self, /, value: bool) -> None: ...
    def set_value_datetime(self, /, value: datetime.datetime) -> None:
        """Store a naive datetime; an aware one is refused with TypeError."""

@final
class Comment:
    """A live comment of a sheet."""

    @property
    def author(self) -> str: ...
    @author.setter
    def author(self, val: str) -> None: ...
    @property
    def text(self) -> str: ...
    @text.setter
    def text(self, val: str) -> None: ...
    @property
    def coordinate(self) -> tuple[int, int]: ...
    @property
    def row(self) -> int: ...
    @property
    def column(self) -> int: ...
