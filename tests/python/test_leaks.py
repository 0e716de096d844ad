"""Repeating each kind of operation many times leaves nothing behind: no
Python objects (gc), no references to the arguments or the classes
(sys.getrefcount), no blocks of the Python allocator (handles and strings are
not tracked by gc), no bytes of the C heap, where the records live (glibc's
mallinfo2), and no resident memory.

Each case runs a warm-up (pool threads, caches, free lists), then two
measured batches; the smaller growth of the two must stay under a bound far
below what one leaked record, handle or reference per iteration would add.
Short enough to run with every test run.
"""

from __future__ import annotations

import ctypes
import datetime
import gc
import os
import platform
import sys

import pytest

import vorlix
from vorlix import readable

CLASSES = [vorlix.Book, vorlix.Sheet, vorlix.Cell, vorlix.Comment, vorlix.Service, readable.Finder,
           readable.ReadableSheet, readable.ReadableCell, vorlix.InternalFailure]


class _MallInfo2(ctypes.Structure):
    _fields_ = [(n, ctypes.c_size_t) for n in ("arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks",
                                               "fsmblks", "uordblks", "fordblks", "keepcost")]


try:
    _mallinfo2 = ctypes.CDLL(None).mallinfo2
    _mallinfo2.restype = _MallInfo2
except (OSError, AttributeError):  # not glibc: the resident size still catches large leaks
    _mallinfo2 = None


def _under_sanitizer():
    # A sanitizer runtime replaces malloc (glibc's counters stay still) and
    # keeps freed blocks in quarantine (the resident size grows): neither
    # measures the records then. Its own checks cover memory instead.
    with open("/proc/self/maps") as f:
        return any(lib in line for line in f for lib in ("libasan", "libtsan", "libmsan"))


def _emulated():
    # Under qemu-user the translator's own memory grows with every freshly
    # JIT-compiled pattern; the resident size then measures the emulator.
    try:
        with open("/proc/cpuinfo") as f:
            cpu = f.read()
    except OSError:
        return False
    return platform.machine().startswith("arm") and "vendor_id" in cpu


UNDER_SANITIZER = _under_sanitizer()
RESIDENT_SIZE_MEANINGFUL = not UNDER_SANITIZER and not _emulated()
if UNDER_SANITIZER:
    _mallinfo2 = None


def c_heap_in_use():
    if _mallinfo2 is None:
        return 0
    m = _mallinfo2()
    return m.uordblks + m.hblkhd


clear_lookup_cache = getattr(sys, "_clear_internal_caches", None) or sys._clear_type_cache


def resident_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


class Boom(Exception):
    pass


class BadIndex:
    def __index__(self):
        raise Boom("index")


class Obj:
    def __init__(self, **fields):
        self.__dict__.update(fields)


def source_cell(**fields):
    base = dict(row=1, column=1, value="v", formula=None, data_type="s")
    base.update(fields)
    return Obj(**base)


def source_sheet(**fields):
    base = dict(name="Src", sheet_state="visible", merge_cells=[(1, 1, 1, 2)], cells=[source_cell()])
    base.update(fields)
    return Obj(**base)


def fill(sheet, rows=6, cols=4):
    for r in range(1, rows + 1):
        for c in range(1, cols + 1):
            sheet.cell(r, c, f"r{r}c{c}" if c != 2 else str(r * 1.5))
    sheet.cell(rows + 1, 1, "Start")
    sheet.cell(rows + 3, 1, "End")
    sheet.add_merge_cells(1, 2, 1, 2)
    sheet.add_comment(1, 1, "note", "me")


def snapshot_state(rs):
    return [(c.letter, c.value, c.data_type) for c in rs.cells]


# ----------------------------------------------------------------- fixtures

class World:
    def __init__(self):
        self.book = vorlix.Book()
        self.sheet = self.book.add_sheet("Data")
        fill(self.sheet)
        self.book.add_sheet("Other", "hidden").cell(1, 1, "x")
        self.finder = readable.Finder(self.book.sheets)
        self.rsheet = self.finder.get_sheet_index(0)
        self.rcells = self.rsheet.cells
        # Argument objects whose reference counts are watched.
        self.name = "".join(["leak", "-name"])  # not interned
        self.text = "".join(["some ", "text"])
        self.names = ["Data", "Nope"]
        self.rows = [1, 2, 3]
        self.conn = object()
        self.source = source_sheet()
        self.when = datetime.datetime(2024, 1, 5, 7, 8, 9, 250000)
        self.bad_index = BadIndex()

    def watched(self):
        return [self.name, self.text, self.names, self.rows, self.conn, self.source, self.when, self.bad_index,
                self.rcells, self.sheet, self.rsheet, self.finder, self.book] + CLASSES


def op_create(w):
    book = vorlix.Book()
    s = book.add_sheet(w.name)
    s.cell(1, 1, w.text)
    s.cell(2, 3).set_value_datetime(w.when)
    s.add_comment(1, 1, w.text, w.name)
    s.add_merge_cells(1, 2, 1, 3)
    s.set_height_row(1, 12.0)
    s.set_width_column(2, 8.0)
    s.set_hidden_row(3, True)
    book.copy_sheet(s)
    svc = vorlix.Service(w.conn)
    svc._add_sheet(w.name).cell(1, 1, w.text)
    svc._copy_sheet(s)
    assert svc._conn_db is w.conn
    assert len(book.sheets) == 2 and len(svc._sheets) == 2


def op_set_values(w):
    s = w.sheet
    c = s.cell(20, 1, w.text)
    c.value = "12.5"
    c.formula = "=A1"
    c.style = w.text
    c.hidden_value = w.name
    c.set_value_number(2.5)
    c.set_value_integer(-7)
    c.set_value_bool(True)
    c.set_value_datetime(w.when)
    s.cell(20, 2, "x" * 300)  # replaces the previous value of that cell
    com = s.comments[0]
    com.author = w.name
    com.text = w.text
    s.name = "Data"
    s.set_sheet_state("visible")
    s.set_height_row(20, 14.0)
    s.set_hidden_column(20, False)
    assert (s.get_height_by_row(20), s.get_hidden_by_column(20)) == (14.0, False)


def op_delete(w):
    s = w.sheet
    for r in range(30, 36):
        s.cell(r, 1, w.text)
        s.cell(r, 2, "1")
    s.delete_rows(30, 6)
    s.cell(1, 30, w.text)
    s.delete_cols(30, 1)
    assert s.find_value_by_coords(30, 1) is None


LIVE_SEARCHES = [
    ("find_value_by_coords", (1, 1)), ("get_value_cell", (1, 1)), ("find_cell_by_regex", ("r2",)),
    ("find_cell_by_str", ("Start",)), ("find_cell_by_letter", ("B3",)), ("find_cells_by_regex", ("c1",)),
    ("find_cells_by_str", ("End",)), ("find_cells_for_rows_by_regex", ("r", 3)),
    ("find_cells_for_cols_by_regex", ("r", 3)), ("find_cells_multi_regex", ("Start", "End")),
    ("find_cells_between_regex", ("Start", "End")), ("find_cells_range_rows", (2, 4)),
    ("find_cells_range_cols", (1, 2)), ("get_cells_by_range", (1, 3, 1, 2)),
]
SNAPSHOT_SEARCHES = LIVE_SEARCHES + [
    ("find_cell_by_coords", (1, 1)), ("find_values_by_col_rows", (1, [1, 2, 99])),
    ("find_values_by_row_cols", (1, [1, 2, 99])),
]
FUNCTION_SEARCHES = [(n, a) for n, a in SNAPSHOT_SEARCHES if n not in ("get_value_cell", "get_cells_by_range")]


def op_search_live(w):
    found = 0
    for name, args in LIVE_SEARCHES:
        found += bool(getattr(w.sheet, name)(*args))
    assert found == len(LIVE_SEARCHES)


def op_search_snapshot(w):
    found = 0
    for name, args in SNAPSHOT_SEARCHES:
        found += bool(getattr(w.rsheet, name)(*args))
    assert found == len(SNAPSHOT_SEARCHES)


def op_search_functions(w):
    found = 0
    for name, args in FUNCTION_SEARCHES:
        found += bool(getattr(readable, name)(*args, w.rcells))
    assert found == len(FUNCTION_SEARCHES)


def op_finders(w):
    for f in (readable.Finder(w.book.sheets + [w.source, w.rsheet]), readable.create_finder([w.source])):
        sheets = f.sheets
        assert repr(f).startswith("Finder, sheets: ")
        for rs in sheets:
            snapshot_state(rs)
            rs.merge_cells
            repr(rs)
    f = readable.Finder(w.book.sheets)
    assert f.get_sheet_index(0).name == "Data"
    assert f.get_sheet_index(-1) is None
    assert [s.name for s in f.get_sheets_with_names(w.names)] == ["Data"]
    assert [s.name for s in f.get_sheets_without_names(w.names)] == ["Other"]
    assert f.find_sheet_by_name("Other").name == "Other"
    assert f.find_sheet_by_regex("^Da(?=t)").name == "Data"
    assert f.find_sheet_by_regex("zzz") is None


def op_serialise(w):
    text = w.book.to_json()
    doc = w.book.to_dict()
    assert doc["sheets"][0]["name"] == "Data" and text.startswith("{")
    repr(w.book)
    repr(w.sheet)
    for c in w.sheet.cells[:3]:
        repr(c)
        (c.row, c.column, c.letter, c.value, c.formula, c.style, c.data_type, c.hidden_value, c.is_formula,
         c.is_value_bool, c.is_value_numeric, c.is_value_integer, c.is_value_datetime, c.is_value_empty)
    for c in w.rcells[:3]:
        repr(c)
        (c.row, c.column, c.letter, c.value, c.formula, c.style, c.data_type)
    w.sheet.merge_cells
    w.sheet.comments
    (w.sheet.max_row, w.sheet.max_column, w.sheet.sheet_state)


class Conn:
    pass


class MyService(vorlix.Service):
    pass


def op_service_cycles(w):
    # A service keeps its connection: cycles through it must be collectable.
    conn = Conn()
    conn.service = vorlix.Service(conn)
    conn.service._add_sheet(w.name).cell(1, 1, w.text)
    mine = MyService(conn)
    mine.me = mine
    mine.sheet = mine._add_sheet(w.name)


def _expect(exc, call):
    try:
        call()
    except exc:
        return
    raise AssertionError(f"{call} did not raise {exc.__name__}")


BAD_CALLS = [
    (TypeError, lambda w: w.book.add_sheet(None)),
    (TypeError, lambda w: w.book.add_sheet(w.name, 5)),
    (TypeError, lambda w: w.book.add_sheet()),
    (TypeError, lambda w: w.book.add_sheet(w.name, "visible", 3)),
    (TypeError, lambda w: w.book.add_sheet(w.name, bogus=1)),
    (TypeError, lambda w: w.book.add_sheet(w.name, name=w.name)),
    (TypeError, lambda w: w.book.copy_sheet(w.rsheet)),
    (UnicodeEncodeError, lambda w: w.book.get_sheet_name("\ud800")),
    (OverflowError, lambda w: w.book.get_sheet_index(2**200)),
    (OverflowError, lambda w: w.sheet.cell(-1, 1)),
    (OverflowError, lambda w: w.sheet.cell(1, 70000)),
    (TypeError, lambda w: w.sheet.cell(1, 1, 5)),
    (Boom, lambda w: w.sheet.cell(w.bad_index, 1)),
    (Boom, lambda w: w.sheet.add_merge_cells(1, 1, 1, w.bad_index)),
    (TypeError, lambda w: w.sheet.add_comment(1, 1, w.text, None)),
    (TypeError, lambda w: w.sheet.set_hidden_row(1, 1)),
    (TypeError, lambda w: w.sheet.set_height_row(1, "x")),
    (ValueError, lambda w: w.sheet.find_cell_by_letter("??")),
    (TypeError, lambda w: w.sheet.find_cells_by_regex(b"x")),
    (OverflowError, lambda w: w.sheet.find_cells_range_rows(0, 2**40)),
    (TypeError, lambda w: w.sheet.cells[0].set_value_bool(1)),
    (OverflowError, lambda w: w.sheet.cells[0].set_value_integer(2**31)),
    (TypeError, lambda w: w.sheet.cells[0].set_value_datetime("2024-01-01")),
    (TypeError, lambda w: setattr(w.sheet.cells[0], "value", 3)),
    (AttributeError, lambda w: delattr(w.sheet.cells[0], "value")),
    (TypeError, lambda w: setattr(w.sheet.comments[0], "author", None)),
    (TypeError, lambda w: w.rsheet.find_values_by_col_rows(1, "12")),
    (TypeError, lambda w: w.rsheet.find_values_by_row_cols(1, [1, None])),
    (Boom, lambda w: w.rsheet.find_values_by_col_rows(1, [1, w.bad_index])),
    (TypeError, lambda w: readable.find_cells_by_str(w.text, [w.rcells[0], w.sheet.cells[0]])),
    (TypeError, lambda w: readable.find_cells_by_str(w.text, (c for c in w.rcells))),
    (TypeError, lambda w: readable.find_cell_by_coords(1, 1, w.text)),
    (TypeError, lambda w: w.finder.get_sheets_with_names(["Data", 3])),
    (TypeError, lambda w: w.finder.get_sheets_with_names("Data")),
    (TypeError, lambda w: w.finder.find_sheet_by_name(None)),
    (ValueError, lambda w: w.finder.find_sheet_by_regex("(")),
    (NotImplementedError, lambda w: vorlix.Service(w.conn).summary_0([], key=w.text)),
    (TypeError, lambda w: vorlix.Service(w.conn).summary_0((), key=w.text)),
    (NotImplementedError, lambda w: vorlix.Service(w.conn)._fmt_0(key=w.text)),
    (TypeError, lambda w: vorlix.Sheet()),
    (OverflowError, lambda w: vorlix.column_number_to_letter(70000)),
    (TypeError, lambda w: vorlix.get_letter_coordinate("1", 1)),
]

BAD_SOURCES = [
    lambda w: Obj(sheet_state="visible", merge_cells=None, cells=[]),  # no name
    lambda w: source_sheet(name=None),
    lambda w: source_sheet(name="\ud800"),
    lambda w: source_sheet(merge_cells=[(1, 2, 3)]),
    lambda w: source_sheet(merge_cells=[(1, 1, 1, w.bad_index)]),
    lambda w: source_sheet(merge_cells="abcd"),
    lambda w: source_sheet(cells=(source_cell(),)),
    lambda w: source_sheet(cells=[source_cell(), source_cell(row=-1)]),
    lambda w: source_sheet(cells=[source_cell(column=2**16)]),
    lambda w: source_sheet(cells=[source_cell(row=w.bad_index)]),
    lambda w: source_sheet(cells=[source_cell(value=3)]),
    lambda w: source_sheet(cells=[source_cell(formula=b"=")]),
    lambda w: source_sheet(cells=[source_cell(data_type=None)]),
    lambda w: source_sheet(cells=[Obj(row=1, column=1)]),
    lambda w: 42,
]


def op_bad_arguments(w):
    for exc, call in BAD_CALLS:
        _expect(exc, lambda: call(w))


def op_bad_sources(w):
    for make in BAD_SOURCES:
        sheets = [w.source, make(w)]
        _expect(Exception, lambda: readable.Finder(sheets))
        _expect(Exception, lambda: readable.create_finder(sheets))


OPERATIONS = [op_create, op_set_values, op_delete, op_search_live, op_search_snapshot, op_search_functions,
              op_finders, op_serialise, op_service_cycles, op_bad_arguments, op_bad_sources]


# -------------------------------------------------------------------- tests

def counts(w):
    # The interpreter's attribute lookup cache keeps the name objects of
    # recent lookups (up to 4096 of them): empty it so that only real
    # survivors are counted.
    clear_lookup_cache()
    gc.collect()
    return (len(gc.get_objects()), sys.getallocatedblocks(), c_heap_in_use(), resident_bytes(),
            [sys.getrefcount(o) for o in w.watched()])


# Iterations per measured batch: enough that one leaked handle, record or
# reference per call of the operation's least repeated step exceeds the bounds.
BATCH = {op_create: 800, op_set_values: 600, op_delete: 600, op_search_live: 300, op_search_snapshot: 300,
         op_search_functions: 300, op_finders: 300, op_serialise: 400, op_service_cycles: 600, op_bad_arguments: 200,
         op_bad_sources: 240}
WARM_UP = 50

# Bounds on the smaller growth of two measured batches (a leak grows in both,
# a cache filling up or an arena being split in only one); every batch has
# far more iterations than these.
MAX_OBJECTS = 5
MAX_BLOCKS = 20
MAX_C_BYTES = 3 * 1024
MAX_RSS_BYTES = 1024 * 1024


def growth(op, w, n):
    before = counts(w)
    for _ in range(n):
        op(w)
    after = counts(w)
    refs = {repr(o)[:60]: (b, a) for o, b, a in zip(w.watched(), before[4], after[4]) if a != b}
    return [a - b for a, b in zip(after[:4], before[:4])], refs


@pytest.mark.parametrize("op", OPERATIONS, ids=lambda op: op.__name__[3:])
def test_repeated_operations_leave_nothing_behind(op):
    w = World()
    n = BATCH[op]
    for _ in range(WARM_UP):
        op(w)
    first, refs1 = growth(op, w, n)
    second, refs2 = growth(op, w, n)
    objects, blocks, c_bytes, rss = (min(a, b) for a, b in zip(first, second))
    report = (f"{op.__name__} x{n} (twice): objects {first[0]:+d}/{second[0]:+d}, "
              f"python blocks {first[1]:+d}/{second[1]:+d}, C heap {first[2]:+d}/{second[2]:+d} B, "
              f"resident {first[3]:+d}/{second[3]:+d} B")
    print(report)
    assert objects <= MAX_OBJECTS, report
    assert blocks <= MAX_BLOCKS, report
    assert c_bytes <= MAX_C_BYTES, report
    assert not RESIDENT_SIZE_MEANINGFUL or rss <= MAX_RSS_BYTES, report
    assert refs1 == {} and refs2 == {}, f"reference counts changed: {refs1} {refs2}"


@pytest.mark.skipif(_mallinfo2 is None, reason="needs glibc's mallinfo2")
def test_dropped_handles_release_their_records():
    # Handles are the only owners once the book is gone: dropping the last
    # one gives the C heap back, whatever order they are dropped in.
    def build():
        book = vorlix.Book()
        s = book.add_sheet("S")
        for r in range(1, 201):
            s.cell(r, 1, "payload " * 20)
        f = readable.Finder([s])
        return book, s, s.cells[5], s.comments, f, f.get_sheet_index(0), f.get_sheet_index(0).cells[7]

    for _ in range(3):
        build()
    gc.collect()
    base = c_heap_in_use()
    kept = build()
    held = c_heap_in_use() - base
    book, sheet, cell, comments, finder, rsheet, rcell = kept
    del kept, book, finder, sheet
    assert cell.value.startswith("payload") and rcell.value.startswith("payload")
    assert rsheet.max_row == 200
    del rsheet, comments, cell, rcell
    gc.collect()
    released = c_heap_in_use() - base
    assert held > 200 * 160, held  # the cells' texts were on the C heap
    assert released <= MAX_C_BYTES, (held, released)


def test_types_are_created_once_and_not_leaked():
    # Handles hold a reference to their heap type and give it back when freed.
    s = vorlix.Book().add_sheet("S")
    s.cell(1, 1, "x")
    base = [sys.getrefcount(t) for t in CLASSES]
    cells = [s.cell(1, 1) for _ in range(100)]
    assert sys.getrefcount(vorlix.Cell) == base[2] + 100
    del cells
    assert [sys.getrefcount(t) for t in CLASSES] == base
