"""Python threads searching shared snapshots while the main thread edits and
serialises the live book, and the worker pool across os.fork()."""

from __future__ import annotations

import faulthandler
import json
import os
import signal
import subprocess
import sys
import threading
import time
import warnings

import pytest

import vorlix
from vorlix import readable

# Above the size from which searches and sorts run on the worker pool.
ROWS, COLS = 1600, 4
THREAD_ROUNDS = 400     # most rounds a reader runs; it stops earlier when the editor is done
EDITS = 150
JOIN_TIMEOUT = 60.0
CHILD_TIMEOUT = 30.0
HUNG_CHILD_TIMEOUT = 5.0  # a healthy child needs milliseconds


@pytest.fixture(autouse=True, scope="module")
def hang_guard():
    # A deadlock with the interpreter lock held would stop the join timeouts
    # from firing: faulthandler's own thread ends the run instead.
    faulthandler.dump_traceback_later(240, exit=True)
    yield
    faulthandler.cancel_dump_traceback_later()


def text(r, c):
    if (r, c) == (400, 1):
        return "Start"
    if (r, c) == (1200, 1):
        return "End"
    if c == 2:
        return str(r * 0.5)
    return f"item {r}-{c}"


def build_book():
    book = vorlix.Book()
    data = book.add_sheet("Data")
    for r in range(1, ROWS + 1):
        for c in range(1, COLS + 1):
            data.cell(r, c, text(r, c))
    data.add_merge_cells(1, 2, 1, 2)
    small = book.add_sheet("Small", "hidden")
    small.cell(1, 1, "alone")
    return book


def plain(result):
    """A search result as plain data, comparable across calls."""
    if isinstance(result, readable.ReadableCell):
        return ("cell", result.row, result.column, result.value, result.data_type, result.formula)
    if isinstance(result, readable.ReadableSheet):
        return ("sheet", result.name, result.sheet_state, result.max_row, result.max_column)
    if isinstance(result, list):
        return [plain(x) for x in result]
    if isinstance(result, tuple):
        return tuple(plain(x) for x in result)
    return result


def snapshot_checks(finder):
    """(label, call) pairs over the finder's snapshots: ReadableSheet methods,
    readable functions and finder selections."""
    rs = finder.get_sheet_index(0)
    cells = rs.cells
    last = f"item {ROWS}-{COLS}"
    return [
        ("cells", lambda: rs.cells),
        ("max", lambda: (rs.max_row, rs.max_column, rs.merge_cells, repr(rs))),
        ("regex-last", lambda: rs.find_cell_by_regex(last)),
        ("regex-all", lambda: rs.find_cells_by_regex("-3")),
        ("str", lambda: rs.find_cells_by_str("End")),
        ("between", lambda: rs.find_cells_between_regex("Start", "End")),
        ("multi", lambda: rs.find_cells_multi_regex("Start", "End")),
        ("rows-by-regex", lambda: rs.find_cells_for_rows_by_regex("item 9", 3)),
        ("cols-by-regex", lambda: rs.find_cells_for_cols_by_regex("-1", 40)),
        ("range-rows", lambda: rs.find_cells_range_rows(700, 710)),
        ("range-cols", lambda: rs.find_cells_range_cols(2, 2)),
        ("by-range", lambda: rs.get_cells_by_range(10, 12, 1, 3)),
        ("letter", lambda: rs.find_cell_by_letter(f"D{ROWS}")),
        ("coords", lambda: (rs.find_cell_by_coords(ROWS, 3), rs.find_value_by_coords(5, 2), rs.get_value_cell(5, 1))),
        ("values", lambda: (rs.find_values_by_col_rows(2, [1, 800, ROWS, ROWS + 1]),
                            rs.find_values_by_row_cols(ROWS, [1, 4, 9]))),
        ("fn-regex", lambda: readable.find_cells_by_regex("item 15", cells)),
        ("fn-first", lambda: readable.find_cell_by_regex(last, cells)),
        ("fn-str", lambda: readable.find_cell_by_str(" Start ", cells)),
        ("fn-between", lambda: readable.find_cells_between_regex("Start", "End", cells)),
        ("fn-multi", lambda: readable.find_cells_multi_regex("Start", "End", cells)),
        ("fn-rows", lambda: readable.find_cells_range_rows(1590, ROWS, cells)),
        ("fn-cols", lambda: readable.find_cells_range_cols(4, 4, cells)),
        ("fn-values", lambda: (readable.find_values_by_col_rows(1, [400, 1200], cells),
                               readable.find_values_by_row_cols(3, [2, 3], cells))),
        ("fn-coords", lambda: (readable.find_cell_by_coords(ROWS, COLS, cells),
                               readable.find_value_by_coords(1, 1, cells),
                               readable.find_cell_by_letter("A1200", cells))),
        ("fn-for", lambda: (readable.find_cells_for_rows_by_regex("item 1", 1, cells),
                            readable.find_cells_for_cols_by_regex("-4", 20, cells))),
        ("finder", lambda: (finder.find_sheet_by_regex("^Sm"), finder.get_sheets_with_names(["Data"]),
                            finder.find_sheet_by_name("Small"), finder.sheets)),
    ]


def check_document(book, expect):
    """Parses the document; each sheet lists each coordinate once, and the
    cells the editor has set carry their values."""
    doc = json.loads(book.to_json())
    by_name = {}
    for sheet in doc["sheets"]:
        coords = [(c["row"], c["column"]) for c in sheet["cells"]]
        assert len(coords) == len(set(coords)), sheet["name"]
        by_name.setdefault(sheet["name"], {(c["row"], c["column"]): c["value"] for c in sheet["cells"]})
    for (r, c), value in expect.items():
        assert by_name["Data"][(r, c)] == value, (r, c)


class Reader(threading.Thread):
    def __init__(self, checks, expected, stop, limit=THREAD_ROUNDS):
        super().__init__(daemon=True)
        self.checks, self.expected, self.stop, self.limit = checks, expected, stop, limit
        self.rounds = 0
        self.errors = []

    def run(self):
        try:
            while self.rounds < self.limit and not self.stop.is_set():
                for label, call in self.checks:
                    got = plain(call())
                    if got != self.expected[label]:
                        self.errors.append((label, got))
                        return
                self.rounds += 1
        except BaseException as e:  # noqa: BLE001 - reported by the main thread
            self.errors.append(("raised", repr(e)))


class LiveSearcher(threading.Thread):
    """Searches the live sheet the editor is changing and snapshots it anew."""

    def __init__(self, book, stop):
        super().__init__(daemon=True)
        self.book, self.stop = book, stop
        self.rounds = 0
        self.errors = []

    def run(self):
        try:
            sheet = self.book.get_sheet_name("Data")
            while self.rounds < THREAD_ROUNDS and not self.stop.is_set():
                found = sheet.find_cells_by_regex("edited")
                coords = [(c.row, c.column) for c in found]
                assert coords == sorted(set(coords))
                # A value may change between the search and the read, never
                # to something that is not an edit.
                assert all("edited" in c.value or c.is_value_numeric or c.is_value_integer for c in found)
                snap = readable.create_finder(self.book.sheets).find_sheet_by_name("Data")
                cells = snap.cells
                assert len(cells) == ROWS * COLS
                assert [(c.row, c.column) for c in cells[:3]] == [(1, 1), (1, 2), (1, 3)]
                assert snap.max_row == ROWS
                self.rounds += 1
        except BaseException as e:  # noqa: BLE001 - reported by the main thread
            self.errors.append(("raised", repr(e)))


def test_readers_of_snapshots_while_the_live_book_changes():
    book = build_book()
    finder = readable.Finder(book.sheets)
    checks = snapshot_checks(finder)
    expected = {label: plain(call()) for label, call in checks}
    # The expectations themselves are right, so a stable wrong answer fails too.
    assert expected["regex-last"] == ("cell", ROWS, COLS, f"item {ROWS}-{COLS}", "s", None)
    assert expected["values"] == (["0.5", "400", "800"], [f"item {ROWS}-1", f"item {ROWS}-4"])
    assert [x[1:3] for x in expected["range-rows"]] == [(r, c) for r in range(700, 711) for c in range(1, 5)]
    assert expected["between"][0][3] == "Start" and len(expected["between"]) > 3000
    assert len(expected["cells"]) == ROWS * COLS

    stop = threading.Event()
    readers = [Reader(checks, expected, stop) for _ in range(3)]
    live = LiveSearcher(book, stop)
    for t in readers + [live]:
        t.start()

    data = book.get_sheet_name("Data")
    edited = {}
    try:
        for i in range(EDITS):
            r, c = 1 + (i * 37) % ROWS, 1 + i % COLS
            data.cell(r, c, f"edited {i}")
            edited[(r, c)] = f"edited {i}"
            data.cell(r, 3).set_value_number(i + 0.25)
            edited[(r, 3)] = i + 0.25
            if i % 10 == 0:
                scratch = book.add_sheet(f"Scratch {i}")
                for k in range(1, 30):
                    scratch.cell(k, 1, f"s{k}")
                scratch.delete_rows(5, 10)
                book.copy_sheet(book.get_sheet_name("Small"))
                data.name = "Data"
            if i % 15 == 0:
                check_document(book, edited)
                mine = readable.create_finder([data]).get_sheet_index(0)
                assert mine.find_value_by_coords(r, 3) == str(i + 0.25)
    finally:
        stop.set()
        for t in readers + [live]:
            t.join(JOIN_TIMEOUT)
    assert not any(t.is_alive() for t in readers + [live]), "a thread did not finish: deadlock?"
    for t in readers + [live]:
        assert t.errors == [], t.errors
        assert t.rounds > 0
    # The snapshots never moved, and still answer as before.
    assert {label: plain(call()) for label, call in checks} == expected
    check_document(book, edited)


def test_many_threads_share_one_snapshot_without_the_editor():
    # All threads released from one barrier at once, on the same records.
    book = build_book()
    finder = readable.Finder(book.sheets)
    checks = snapshot_checks(finder)
    expected = {label: plain(call()) for label, call in checks}
    barrier = threading.Barrier(6)
    stop = threading.Event()

    class Burst(Reader):
        def run(self):
            barrier.wait(JOIN_TIMEOUT)
            super().run()

    threads = [Burst(checks, expected, stop, limit=6) for _ in range(6)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(JOIN_TIMEOUT)
    assert not any(t.is_alive() for t in threads)
    assert [t.errors for t in threads] == [[]] * 6
    assert [t.rounds for t in threads] == [6] * 6


# ------------------------------------------------------------------- fork

def wait_child(pid, timeout):
    """Exit status of the child, or None after killing it when it does not
    finish in time."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        done, status = os.waitpid(pid, os.WNOHANG)
        if done == pid:
            return os.waitstatus_to_exitcode(status)
        time.sleep(0.02)
    os.kill(pid, signal.SIGKILL)
    os.waitpid(pid, 0)
    return None


def fork_and_check(work, timeout=CHILD_TIMEOUT):
    """Runs work() in a forked child; returns the child's exit code (0 when
    work returned true) or None when it hung."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", DeprecationWarning)  # fork with threads running
        pid = os.fork()
    if pid == 0:
        code = 3
        try:
            code = 0 if work() else 1
        except BaseException:  # noqa: BLE001 - the exit code says it
            code = 2
        finally:
            os._exit(code)
    return wait_child(pid, timeout)


needs_fork = pytest.mark.skipif(not hasattr(os, "fork"), reason="needs os.fork")


@needs_fork
def test_pool_works_in_a_forked_child():
    book = build_book()
    data = book.get_sheet_name("Data")
    finder = readable.Finder(book.sheets)
    rs = finder.get_sheet_index(0)
    last = f"item {ROWS}-{COLS}"
    # Run searches that go through the pool, so its workers exist before the fork.
    expected = (plain(rs.find_cells_by_regex("-4")), plain(rs.find_cell_by_regex(last)),
                [(c.row, c.column) for c in data.find_cells_by_regex("-4")])
    assert len(expected[0]) == ROWS and expected[1][1:3] == (ROWS, COLS)

    def child():
        got = (plain(rs.find_cells_by_regex("-4")), plain(rs.find_cell_by_regex(last)),
               [(c.row, c.column) for c in data.find_cells_by_regex("-4")])
        if got != expected:
            return False
        # New snapshots, live edits and a search from a thread of the child.
        data.cell(ROWS, COLS, "changed in child")
        fresh = readable.create_finder(book.sheets).get_sheet_index(0)
        if fresh.find_cell_by_regex("changed in child").row != ROWS:
            return False
        out = []
        t = threading.Thread(target=lambda: out.append(len(fresh.find_cells_by_regex("item"))))
        t.start()
        t.join(CHILD_TIMEOUT)
        return out == [ROWS * 3 - 2 - 1] and len(data.cells) == ROWS * COLS

    assert fork_and_check(child) == 0
    # The parent's pool is untouched by the child.
    assert plain(rs.find_cells_by_regex("-4")) == expected[0]
    assert data.find_value_by_coords(ROWS, COLS) == last


@needs_fork
def test_fork_while_another_thread_is_searching():
    # The other thread's search has let go of the interpreter lock and is
    # running on the pool when the main thread forks; the child, which has
    # only the forking thread, must not wait for the pool the parent's
    # thread was working in.
    book = build_book()
    rs = readable.Finder(book.sheets).get_sheet_index(0)
    cells = rs.cells
    many = cells * 50  # one search long enough to be sure to fork inside it
    expected = plain(readable.find_cells_by_regex("-4", cells))
    old = sys.getswitchinterval()
    # The searching thread keeps the interpreter lock until the search
    # itself lets go of it, so the main thread forks only after that.
    sys.setswitchinterval(30)
    codes = []
    try:
        for _ in range(10):
            started = threading.Event()

            def search():
                started.set()
                readable.find_cells_by_regex("-4", many)

            t = threading.Thread(target=search)
            t.start()
            started.wait(JOIN_TIMEOUT)
            time.sleep(0.002)
            codes.append(fork_and_check(lambda: plain(readable.find_cells_by_regex("-4", cells)) == expected
                                        and len(rs.find_cells_by_regex("item")) == ROWS * 3 - 2,
                                        timeout=HUNG_CHILD_TIMEOUT))
            t.join(JOIN_TIMEOUT)
            if codes[-1] != 0:
                break
    finally:
        sys.setswitchinterval(old)
    assert codes == [0] * 10


DAEMON_AT_EXIT = """
import sys, threading, time
from vorlix import readable
import vorlix
sheet = vorlix.Book().add_sheet("S")
for r in range(1, 2001):
    for c in range(1, 4):
        sheet.cell(r, c, f"item {r}-{c}")
cells = readable.create_finder([sheet]).get_sheet_index(0).cells
rounds = [0]
def busy():
    while True:
        readable.find_cells_by_regex("-2", cells)
        readable.create_finder([sheet])
        rounds[0] += 1
threading.Thread(target=busy, daemon=True).start()
while rounds[0] < 5:
    time.sleep(0.001)
print("exiting", flush=True)
"""


def test_interpreter_exits_while_a_daemon_thread_searches():
    # Taking the interpreter lock back at the end of a search ends a daemon
    # thread once the interpreter is exiting; that unwinding must not be
    # caught on its way out, or the process aborts instead of exiting.
    for _ in range(3):
        run = subprocess.run([sys.executable, "-c", DAEMON_AT_EXIT], capture_output=True, text=True,
                             timeout=JOIN_TIMEOUT)
        assert (run.returncode, run.stdout, run.stderr) == (0, "exiting\n", "")
