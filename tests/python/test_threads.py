"""Snapshot searches and other Python threads: the searches let other threads
run while they work, and any number of threads may search one snapshot while
the live sheet is being edited."""

from __future__ import annotations

import random
import sys
import threading
import time

import pytest

import vorlix
from vorlix import readable

ROWS, COLS = 50_000, 20  # a million cells


@pytest.fixture(scope="module")
def big():
    sheet = vorlix.Book().add_sheet("Big")
    for r in range(1, ROWS + 1):
        for c in range(1, COLS + 1):
            sheet.cell(r, c, f"w{(r * 31 + c) % 1000}")
    snap = readable.create_finder([sheet]).get_sheet_index(0)
    return sheet, snap, snap.cells


class Spinner:
    """A thread that counts as fast as it can get the interpreter lock, and
    hands the lock back after every step so that the main thread never waits
    for it."""

    def __init__(self):
        self.count = 0
        self.stop = False
        self.thread = threading.Thread(target=self.run, daemon=True)

    def run(self):
        while not self.stop:
            self.count += 1
            time.sleep(0.0001)

    def __enter__(self):
        self.thread.start()
        while self.count == 0:
            time.sleep(0.001)
        return self

    def __exit__(self, *exc):
        self.stop = True
        self.thread.join()


@pytest.fixture
def long_switch_interval():
    """With a 10 s switch interval, a thread waiting for the interpreter lock
    gets it only when the holder lets go of it: a search that kept the lock
    would let no other thread run while it works."""
    old = sys.getswitchinterval()
    sys.setswitchinterval(10.0)
    yield
    sys.setswitchinterval(old)


def progress_during(calls, spinner):
    """How far the spinner counted while inside the calls, and no further."""
    total = 0
    for call in calls:
        before = spinner.count
        call()
        total += spinner.count - before
    return total


@pytest.mark.parametrize("kind", ["method", "function"])
def test_other_threads_run_while_a_snapshot_search_works(big, long_switch_interval, kind):
    _, snap, cells = big
    if kind == "method":
        calls = [lambda: snap.find_cells_between_regex("absent", "x"),
                 lambda: snap.find_cells_by_regex("w999x"),
                 lambda: snap.find_cell_by_str("absent")]
    else:
        calls = [lambda: readable.find_cells_multi_regex("absent", "x", cells),
                 lambda: readable.find_cells_by_str("absent", cells),
                 lambda: readable.find_value_by_coords(ROWS + 1, 1, cells)]
    with Spinner() as spinner:
        progress = progress_during(calls * 10, spinner)
    # Thousands in practice; with the lock held throughout it stays 0.
    assert progress >= 20


def test_many_threads_search_one_snapshot_while_the_sheet_changes(big):
    sheet, snap, cells = big
    some = cells[::997]
    queries = [
        lambda: snap.find_cells_by_str("w500"),
        lambda: snap.find_cell_by_regex("w99"),
        lambda: snap.find_value_by_coords(ROWS, COLS),
        lambda: snap.find_cells_range_rows(ROWS - 2, ROWS),
        lambda: snap.find_values_by_row_cols(7, [1, 5, 20]),
        lambda: readable.find_cells_by_regex("w12", some),
        lambda: readable.find_cell_by_letter("T50000", cells[-5000:]),
        lambda: readable.find_cells_between_regex("w100", "w200", some),
    ]

    def shape(result):
        if isinstance(result, list):
            return [shape(r) for r in result]
        if isinstance(result, readable.ReadableCell):
            return (result.row, result.column, result.value)
        return result

    expected = [shape(q()) for q in queries]
    assert expected[0] and expected[5] and expected[7]
    failures = []
    done = threading.Barrier(5)

    def worker(offset):
        try:
            for i in range(12):
                k = (i + offset) % len(queries)
                got = shape(queries[k]())
                if got != expected[k]:
                    failures.append((k, "differs"))
        except BaseException as e:  # noqa: BLE001 - reported below
            failures.append(repr(e))
        finally:
            done.wait()

    threads = [threading.Thread(target=worker, args=(n,)) for n in range(4)]
    for t in threads:
        t.start()
    # Meanwhile the live sheet changes under the snapshot's source.
    edits = 0
    while done.n_waiting < 4:
        r = 1 + edits % ROWS
        sheet.cell(r, 1, "w500")
        sheet.cell(ROWS + 1 + edits, 1, "w12")
        edits += 1
    done.wait()
    for t in threads:
        t.join()
    assert failures == []
    assert edits > 0
    assert [shape(q()) for q in queries] == expected
    assert sheet.find_value_by_coords(ROWS + 1, 1) == "w12"


def test_threads_race_to_search_a_new_snapshot():
    """The first searches of a snapshot whose source was not in order all
    wait for one ordering of its cells and agree on the result."""
    coords = [(r, c) for r in range(1, 121) for c in range(1, 61)]
    random.Random(1).shuffle(coords)
    source = {"name": "Shuffled", "sheet_state": "visible", "merge_cells": None,
              "cells": [{"row": r, "column": c, "value": f"v{(r * c) % 7}", "formula": None, "data_type": "s"}
                        for r, c in coords]}
    expected = sorted((r, c) for r, c in coords if (r * c) % 7 == 3)
    for _ in range(5):
        snap = readable.Finder([source]).get_sheet_index(0)
        start = threading.Barrier(4)
        results = [None] * 4

        def worker(k):
            start.wait()
            results[k] = [(c.row, c.column) for c in snap.find_cells_by_str("v3")]

        threads = [threading.Thread(target=worker, args=(k,)) for k in range(4)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        assert results == [expected] * 4
