"""A sales report built with vorlix, from a database to an .xlsx file.

``SalesReport`` is a ``vorlix.Service``: it is given a database connection,
builds its sheets from queries in ``summary_0``, searches them, and returns the
book's JSON document. ``xlsx_writer.py`` then turns that document into a
spreadsheet file. The database is a small in-memory sqlite3 one that this
example fills itself (``create_database``).

    make demo                               # builds vorlix, then runs this file
    python examples/report.py               # writes build/report/report.json and .xlsx
    python examples/report.py --out DIR     # writes DIR/report.json and DIR/report.xlsx
    python examples/report.py --print-json  # also prints the document

The book it builds:

- "Summary": a title merged over the table, one row per region (orders, units,
  revenue, share of revenue) sorted by revenue, a total row with formulas, the
  period covered, comments on the revenue header and the top region, and a
  hidden helper column with the region codes.
- "Sales": every sale with its date, a revenue formula per row and a "Paid"
  flag; unpaid sales are marked, region and product names containing the
  ``--highlight`` text are highlighted, and a hidden second row carries the
  database column names.
- "Products": the price list, as a hidden sheet.
"""

from __future__ import annotations

import argparse
import json
import math
import sqlite3
import sys
from collections.abc import Callable, Sequence
from datetime import datetime
from pathlib import Path

import vorlix
from vorlix.readable import Finder

from xlsx_writer import Document, write_xlsx

AUTHOR = "Sales report"
CURRENCY = "EUR"

# ---------------------------------------------------------------- the data set

REGIONS = [
    ("N", "North", "Ana Lima"),
    ("S", "South", "Ben Okafor"),
    ("E", "East", "Chen Wei"),
    ("W", "West", "Dana Kowalski"),
]

PRODUCTS = [
    ("P-100", "Widget", "Hardware", 12.5),
    ("P-110", "Widget Pro", "Hardware", 19.9),
    ("P-200", "Gadget", "Hardware", 34.0),
    ("P-210", "Gadget Mini", "Hardware", 21.75),
    ("S-300", "Support plan", "Service", 120.0),
    ("S-310", "Training day", "Service", 450.0),
]

# sold_at, region, product, units, paid
SALES = [
    ("2024-01-02 16:15:00", "N", "P-200", 28, 0),
    ("2024-01-04 16:45:00", "W", "P-110", 23, 1),
    ("2024-01-08 17:00:00", "S", "S-300", 3, 1),
    ("2024-01-11 10:45:00", "N", "S-310", 1, 0),
    ("2024-01-12 09:00:00", "W", "S-300", 1, 1),
    ("2024-01-12 12:15:00", "E", "P-110", 17, 0),
    ("2024-01-12 17:00:00", "W", "S-300", 1, 0),
    ("2024-01-14 08:00:00", "E", "S-300", 3, 1),
    ("2024-01-14 09:15:00", "N", "P-100", 37, 1),
    ("2024-01-17 15:30:00", "N", "S-310", 2, 1),
    ("2024-01-19 12:15:00", "S", "P-100", 39, 1),
    ("2024-01-22 16:45:00", "W", "P-200", 31, 1),
    ("2024-02-01 15:15:00", "W", "P-200", 20, 0),
    ("2024-02-05 14:30:00", "W", "S-310", 2, 1),
    ("2024-02-06 09:30:00", "S", "S-300", 1, 0),
    ("2024-02-08 10:00:00", "S", "P-110", 11, 1),
    ("2024-02-09 15:00:00", "W", "P-100", 21, 1),
    ("2024-02-10 14:30:00", "N", "P-100", 31, 1),
    ("2024-02-11 13:45:00", "N", "S-300", 2, 0),
    ("2024-02-13 15:00:00", "E", "P-110", 30, 1),
    ("2024-02-15 16:45:00", "W", "P-210", 27, 1),
    ("2024-02-16 08:15:00", "W", "P-200", 10, 1),
    ("2024-02-18 13:30:00", "N", "P-110", 34, 1),
    ("2024-02-21 14:00:00", "W", "P-110", 6, 1),
    ("2024-03-03 10:00:00", "W", "S-310", 2, 1),
    ("2024-03-07 13:15:00", "E", "P-210", 2, 1),
    ("2024-03-07 16:45:00", "E", "P-200", 3, 1),
    ("2024-03-16 09:00:00", "E", "P-210", 31, 1),
    ("2024-03-16 12:15:00", "W", "S-310", 3, 1),
    ("2024-03-17 13:15:00", "E", "P-200", 16, 1),
    ("2024-03-18 09:30:00", "S", "S-300", 1, 0),
    ("2024-03-20 14:15:00", "E", "S-310", 2, 1),
    ("2024-03-21 11:15:00", "S", "P-110", 27, 1),
    ("2024-03-25 16:30:00", "E", "S-310", 1, 1),
    ("2024-03-26 13:30:00", "W", "P-100", 16, 0),
    ("2024-03-27 10:00:00", "N", "P-110", 35, 1),
]


def create_database() -> sqlite3.Connection:
    """An in-memory database holding the example's regions, products and sales."""
    db = sqlite3.connect(":memory:")
    db.executescript(
        """
        CREATE TABLE regions (code TEXT PRIMARY KEY, name TEXT NOT NULL, manager TEXT NOT NULL);
        CREATE TABLE products (code TEXT PRIMARY KEY, name TEXT NOT NULL,
                               category TEXT NOT NULL, unit_price REAL NOT NULL);
        CREATE TABLE sales (id INTEGER PRIMARY KEY,
                            sold_at TEXT NOT NULL,  -- 'YYYY-MM-DD HH:MM:SS'
                            region TEXT NOT NULL REFERENCES regions(code),
                            product TEXT NOT NULL REFERENCES products(code),
                            units INTEGER NOT NULL, paid INTEGER NOT NULL);
        """
    )
    db.executemany("INSERT INTO regions VALUES (?, ?, ?)", REGIONS)
    db.executemany("INSERT INTO products VALUES (?, ?, ?, ?)", PRODUCTS)
    db.executemany(
        "INSERT INTO sales (sold_at, region, product, units, paid) VALUES (?, ?, ?, ?, ?)", SALES
    )
    db.commit()
    return db


REGION_TOTALS = """
    SELECT r.code, r.name, r.manager, COUNT(s.id),
           COALESCE(SUM(s.units), 0), COALESCE(SUM(s.units * p.unit_price), 0.0) AS revenue
    FROM regions r
    LEFT JOIN sales s ON s.region = r.code
    LEFT JOIN products p ON p.code = s.product
    GROUP BY r.code
    ORDER BY revenue DESC, r.name
"""

SALES_LINES = """
    SELECT s.sold_at, r.name, p.name, s.units, p.unit_price, s.paid
    FROM sales s
    JOIN regions r ON r.code = s.region
    JOIN products p ON p.code = s.product
    ORDER BY s.sold_at, s.id
"""

PRICE_LIST = "SELECT code, name, category, unit_price FROM products ORDER BY code"

# --------------------------------------------------------------- the service

# Column positions the searches and the cross-check rely on.
SALES_PRODUCT_COL = 2
SALES_REVENUE_COL = 6
SALES_FIRST_ROW = 3  # row 1: headings, row 2: hidden database column names
SUMMARY_REVENUE_COL = 5


class SalesReport(vorlix.Service):
    """Builds the sales workbook from the database given as ``conn_db``."""

    def __init__(self, conn_db: sqlite3.Connection) -> None:
        self.notes: list[str] = []  # what the searches found, for the console

    @property
    def db(self) -> sqlite3.Connection:
        conn = self._conn_db
        if not isinstance(conn, sqlite3.Connection):
            raise TypeError(f"SalesReport needs a sqlite3 connection, not {type(conn).__name__}")
        return conn

    def summary_0(self, sheets: list[str], /, **kwargs: object) -> str:
        """Builds the named sheets ("Summary", "Sales", "Products") in that order and
        returns the JSON document.

        Options: ``title`` (the Summary's heading) and ``highlight`` (a text; Sales
        cells of the region and product columns containing it are highlighted).
        """
        title = _text_option(kwargs, "title", "Sales by region")
        highlight = _text_option(kwargs, "highlight", "")
        if unknown := sorted(set(kwargs) - {"title", "highlight"}):
            raise TypeError(f"summary_0() got unknown options: {', '.join(unknown)}")
        if self._sheets:
            raise RuntimeError("a SalesReport builds its book once")

        builders: dict[str, Callable[[], None]] = {
            "Summary": lambda: self._build_summary(title),
            "Sales": lambda: self._build_sales(highlight),
            "Products": self._build_products,
        }
        for name in sheets:
            if name not in builders:
                raise ValueError(f"unknown sheet {name!r}; choose from {', '.join(builders)}")
            builders[name]()
        self._check_revenue()
        return self.to_json()

    def _fmt_0(self, **kwargs: object) -> str:
        """Formats a money amount for texts: ``_fmt_0(amount=1234.5)`` gives '1,234.50 EUR'."""
        amount = kwargs.get("amount")
        if not isinstance(amount, (int, float)) or isinstance(amount, bool):
            raise TypeError("_fmt_0() needs amount=<number>")
        return f"{amount:,.2f} {CURRENCY}"

    # -- sheets

    def _build_summary(self, title: str) -> None:
        sheet = self._add_sheet("Summary")
        headings = ["Region", "Manager", "Orders", "Units", "Revenue", "Share", "Code"]
        code_col = len(headings)

        sheet.cell(1, 1, title).style = "title"
        sheet.add_merge_cells(1, 1, 1, code_col - 1)  # over every visible column
        sheet.set_height_row(1, 28.0)
        _write_headings(sheet, 2, headings)
        note = "Units times list price; unpaid sales included."
        sheet.add_comment(2, SUMMARY_REVENUE_COL, note, AUTHOR)

        regions = self.db.execute(REGION_TOTALS).fetchall()
        grand_total = sum(revenue for *_, revenue in regions)
        first = 3
        for row, (code, name, manager, orders, units, revenue) in enumerate(regions, start=first):
            sheet.cell(row, 1, name)
            sheet.cell(row, 2, manager)
            sheet.cell(row, 3, str(orders))  # the text "12" is stored as the integer 12
            sheet.cell(row, 4).set_value_integer(units)
            money = sheet.cell(row, SUMMARY_REVENUE_COL)
            money.set_value_number(revenue)
            money.style = "money"
            share = sheet.cell(row, 6)
            share.set_value_number(revenue / grand_total if grand_total else 0.0)
            share.style = "percent"
            sheet.cell(row, code_col, code)  # helper for lookups, hidden below
        last = first + len(regions) - 1

        # The query sorts by revenue, so the first data row holds the top region.
        top = sheet.find_cell_by_letter(f"A{first}")
        if top is not None and regions:
            amount = self._fmt_0(amount=regions[0][5])
            sheet.add_comment(top.row, top.column, f"Top region: {amount}", AUTHOR)
            self.notes.append(f"top region {top.value}, {amount}")

        total = last + 1
        sheet.cell(total, 1, "Total").style = "total"
        for col, value in ((3, sum(r[3] for r in regions)), (4, sum(r[4] for r in regions))):
            cell = sheet.cell(total, col)
            cell.set_value_integer(value)
            cell.formula = _sum_formula(col, first, last)  # the document keeps the value too
            cell.style = "total"
        revenue_total = sheet.cell(total, SUMMARY_REVENUE_COL)
        revenue_total.set_value_number(grand_total)
        revenue_total.formula = _sum_formula(SUMMARY_REVENUE_COL, first, last)
        revenue_total.style = "total"

        period = "SELECT MIN(sold_at), MAX(sold_at) FROM sales"
        first_sale, last_sale = self.db.execute(period).fetchone()
        sheet.cell(total + 2, 1, "First sale")
        sheet.cell(total + 2, 2, first_sale).style = "date"  # the text is read as a date-time
        sheet.cell(total + 3, 1, "Last sale")
        last_cell = sheet.cell(total + 3, 2)
        last_cell.set_value_datetime(datetime.fromisoformat(last_sale))  # a datetime works as well
        last_cell.style = "date"

        for col, width in enumerate([16, 18, 10, 10, 14, 10, 8], start=1):
            sheet.set_width_column(col, width)
        sheet.set_hidden_column(code_col, True)

    def _build_sales(self, highlight: str) -> None:
        sheet = self._add_sheet("Sales")
        headings = ["Region", "Product", "Sold at", "Units", "Unit price", "Revenue", "Paid"]
        _write_headings(sheet, 1, headings)
        # Row 2 names the database columns for tools that read the sheet back; people don't need it.
        fields = ["region", "product", "sold_at", "units", "unit_price", "revenue", "paid"]
        for col, field in enumerate(fields, start=1):
            sheet.cell(2, col, field)
        sheet.set_hidden_row(2, True)

        lines = self.db.execute(SALES_LINES).fetchall()
        ref = vorlix.get_letter_coordinate
        for row, (sold_at, region, product, units, price, paid) in enumerate(
            lines, start=SALES_FIRST_ROW
        ):
            sheet.cell(row, 1, region)
            sheet.cell(row, 2, product)
            sheet.cell(row, 3, sold_at).style = "date"
            sheet.cell(row, 4).set_value_integer(units)
            unit_price = sheet.cell(row, 5)
            unit_price.set_value_number(price)
            unit_price.style = "money"
            revenue = sheet.cell(row, SALES_REVENUE_COL)
            revenue.set_value_number(units * price)
            revenue.formula = f"={ref(row, 4)}*{ref(row, 5)}"  # the document keeps the value too
            revenue.style = "money"
            sheet.cell(row, 7).set_value_bool(bool(paid))

        # Searches on the live sheet: the flags that read "false", and the highlight text.
        unpaid = sheet.find_cells_by_str("false")
        for cell in unpaid:
            cell.style = "warning"
        self.notes.append(f"{len(unpaid)} unpaid sales marked")
        if unpaid:
            note = f"{len(unpaid)} sales are not paid yet."
            sheet.add_comment(unpaid[0].row, unpaid[0].column, note, AUTHOR)
        if highlight:
            matches = sheet.find_cells_for_rows_by_regex(highlight, SALES_PRODUCT_COL)
            lines_matched = [cell for cell in matches if cell.row >= SALES_FIRST_ROW]
            for cell in lines_matched:
                cell.style = "highlight"
            self.notes.append(f"{len(lines_matched)} cells containing {highlight!r} highlighted")

        sheet.set_height_row(1, 24.0)
        for col, width in enumerate([12, 16, 18, 8, 12, 14, 8], start=1):
            sheet.set_width_column(col, width)

    def _build_products(self) -> None:
        sheet = self._add_sheet("Products", "hidden")
        _write_headings(sheet, 1, ["Code", "Name", "Category", "Unit price"])
        for row, (code, name, category, price) in enumerate(self.db.execute(PRICE_LIST), start=2):
            sheet.cell(row, 1, code)
            sheet.cell(row, 2, name)
            sheet.cell(row, 3, category)
            sheet.cell(row, 4, repr(price)).style = "money"  # the text "12.5" is stored as a number
        for col, width in enumerate([10, 16, 12, 12], start=1):
            sheet.set_width_column(col, width)

    # -- checks

    def _check_revenue(self) -> None:
        """Cross-checks the Summary's total against the Sales lines, on read-only snapshots."""
        finder = Finder(self._sheets)
        summary = finder.find_sheet_by_regex(r"^Summary$")
        sales = finder.find_sheet_by_regex(r"^Sales$")
        if summary is None or sales is None:
            return
        # The total row is the one labelled exactly "Total" below the title.
        label = next((cell for cell in summary.find_cells_by_str("Total") if cell.row > 1), None)
        if label is None:
            raise RuntimeError("the Summary has no total row")
        total = float(summary.get_value_cell(label.row, SUMMARY_REVENUE_COL))
        rows = list(range(SALES_FIRST_ROW, sales.max_row + 1))
        revenues = sales.find_values_by_col_rows(SALES_REVENUE_COL, rows)
        lines = sum(float(text) for text in revenues)
        if not math.isclose(total, lines, rel_tol=1e-9):
            raise RuntimeError(f"Summary total {total} differs from the Sales lines' {lines}")
        amount = self._fmt_0(amount=total)
        self.notes.append(f"Summary total matches the {len(revenues)} Sales lines: {amount}")


def _text_option(options: dict[str, object], name: str, default: str) -> str:
    value = options.get(name, default)
    if not isinstance(value, str):
        raise TypeError(f"option {name!r} must be a str, not {type(value).__name__}")
    return value


def _write_headings(sheet: vorlix.Sheet, row: int, headings: Sequence[str]) -> None:
    for col, heading in enumerate(headings, start=1):
        sheet.cell(row, col, heading).style = "header"


def _sum_formula(col: int, first: int, last: int) -> str:
    ref = vorlix.get_letter_coordinate
    return f"=SUM({ref(first, col)}:{ref(last, col)})"


# ------------------------------------------------------------------- the job

SHEETS = ["Summary", "Sales", "Products"]


def describe(document: Document) -> list[str]:
    """One line per sheet of a document: state, cells, merged ranges, comments."""
    return [
        f"  {sheet['name']:<10} {sheet['sheet_state']:<8} {len(sheet['cells']):>4} cells, "
        f"{len(sheet.get('merge_cells', []))} merged, {len(sheet['comments'])} comments"
        for sheet in document["sheets"]
    ]


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description="Build the example sales report.")
    parser.add_argument("--out", type=Path, default=Path("build/report"), help="output folder")
    parser.add_argument("--highlight", default="Gadget", help="text to highlight in Sales")
    parser.add_argument("--print-json", action="store_true", help="print the document too")
    args = parser.parse_args(argv)

    args.out.mkdir(parents=True, exist_ok=True)
    json_path, xlsx_path = args.out / "report.json", args.out / "report.xlsx"

    db = create_database()
    try:
        report = SalesReport(db)
        document_text = report.summary_0(SHEETS, highlight=args.highlight)
    finally:
        db.close()
    json_path.write_text(document_text, encoding="utf-8")
    document: Document = json.loads(document_text)
    write_xlsx(document, xlsx_path)

    print(f"vorlix {vorlix.__version__}: {report!r}")
    print("\n".join(describe(document)))
    for note in report.notes:
        print(f"  - {note}")
    print(f"wrote {json_path} ({json_path.stat().st_size} bytes)")
    print(f"wrote {xlsx_path} ({xlsx_path.stat().st_size} bytes)")
    if args.print_json:
        print(document_text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
