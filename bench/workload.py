"""The benchmark workload: a sheet of rows x 20 columns, the same for every library.

Columns cycle through five kinds (words, integers, decimals, booleans, date-times),
so each kind fills 4 of the 20 columns. Every cell is produced twice from the same
random draws: as the text vorlix's Sheet.cell takes, and as the typed Python value
(str, int, float, bool, datetime) that a peer stores for the same content. A row
is generated from its own seed, so a row can be made on its own (the memory probes
build the sheet row by row without holding the whole workload).
"""

import datetime
import random

COLUMNS = 20
KINDS = ("word", "integer", "decimal", "boolean", "datetime")
WORDS = (
    "alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel",
    "india", "juliet", "kilo", "lima", "mike", "november", "oscar", "papa",
)
# A two-word phrase: found in a few hundred word cells per million cells, never in
# the other kinds, so every library finds the same cells whatever its text form.
NEEDLE = "kilo lima"
SEED = 20240105


def row_cells(r):
    """(text, value) for the COLUMNS cells of row r (1-based)."""
    rng = random.Random(SEED * 1_000_003 + r)
    out = []
    for c in range(COLUMNS):
        kind = c % 5
        if kind == 0:
            text = " ".join(rng.choice(WORDS) for _ in range(rng.randint(1, 3)))
            value = text
        elif kind == 1:
            value = rng.randint(-1_000_000, 1_000_000)
            text = str(value)
        elif kind == 2:
            text = f"{rng.randint(-99_999, 99_999)}.{rng.randint(0, 99):02d}"
            value = float(text)
        elif kind == 3:
            value = rng.random() < 0.5
            text = rng.choice(("TRUE", "true", "True")) if value else rng.choice(("FALSE", "false"))
        else:
            value = datetime.datetime(
                rng.randint(2000, 2029), rng.randint(1, 12), rng.randint(1, 28),
                rng.randint(0, 23), rng.randint(0, 59), rng.randint(0, 59))
            text = value.strftime("%Y-%m-%d %H:%M:%S")
        out.append((text, value))
    return out


def rows_for(cells):
    if cells % COLUMNS:
        raise ValueError(f"{cells} cells is not a whole number of {COLUMNS}-column rows")
    return cells // COLUMNS


class Workload:
    """The whole workload held in memory: texts and typed values, row by row."""

    def __init__(self, cells):
        self.cells = cells
        self.rows = rows_for(cells)
        self.texts = []
        self.values = []
        for r in range(1, self.rows + 1):
            pairs = row_cells(r)
            self.texts.append([t for t, _ in pairs])
            self.values.append([v for _, v in pairs])

    def head(self, cells):
        """The first `cells` cells (whole rows) of this workload."""
        part = Workload.__new__(Workload)
        part.cells = cells
        part.rows = rows_for(cells)
        part.texts = self.texts[:part.rows]
        part.values = self.values[:part.rows]
        return part


def build_vorlix(vorlix, rows):
    """A new book with one sheet 'Data' filled from `rows` (lists of texts) via Sheet.cell."""
    book = vorlix.Book()
    sheet = book.add_sheet("Data")
    cell = sheet.cell
    for r, row in enumerate(rows, 1):
        for c, text in enumerate(row, 1):
            cell(r, c, text)
    return book, sheet


def build_openpyxl(openpyxl, rows):
    """A new workbook whose active sheet is filled from `rows` via Worksheet.cell."""
    wb = openpyxl.Workbook()
    ws = wb.active
    cell = ws.cell
    for r, row in enumerate(rows, 1):
        for c, value in enumerate(row, 1):
            cell(r, c, value)
    return wb, ws
