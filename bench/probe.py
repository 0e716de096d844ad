"""Measurements that need a process of their own; run.py starts them.

  probe.py memory vorlix|openpyxl CELLS
      resident memory growth of building the workload, per cell. The rows are made
      one at a time, so the baseline holds no workload and the growth is what the
      library keeps (for openpyxl that includes the Python values it stores).
  probe.py snapshot CELLS
      find_cells_by_regex on a ReadableSheet (and on the live sheet) with the pool
      this process gets; run it under `taskset -c 0` to limit the pool to one
      thread, since oneTBB sizes its default arena from the affinity mask.

Each prints one JSON object on stdout.
"""

import gc
import json
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import workload  # noqa: E402

PAGE = os.sysconf("SC_PAGE_SIZE")


def rss_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * PAGE


def threads():
    return len(os.listdir("/proc/self/task"))


def memory(lib, cells):
    rows = workload.rows_for(cells)
    if lib == "vorlix":
        import vorlix
        book = vorlix.Book()
        warm = book.add_sheet("warm")
        for c, (text, _) in enumerate(workload.row_cells(0), 1):
            warm.cell(1, c, text)
        del warm, book
        gc.collect()
        before = rss_bytes()
        book = vorlix.Book()
        cell = book.add_sheet("Data").cell
        for r in range(1, rows + 1):
            for c, (text, _) in enumerate(workload.row_cells(r), 1):
                cell(r, c, text)
        del cell
    elif lib == "openpyxl":
        import openpyxl
        wb = openpyxl.Workbook()
        for c, (_, value) in enumerate(workload.row_cells(0), 1):
            wb.active.cell(1, c, value)
        del wb
        gc.collect()
        before = rss_bytes()
        book = openpyxl.Workbook()
        cell = book.active.cell
        for r in range(1, rows + 1):
            for c, (_, value) in enumerate(workload.row_cells(r), 1):
                cell(r, c, value)
        del cell
    else:
        raise SystemExit(f"unknown library {lib!r}")
    gc.collect()
    after = rss_bytes()
    return {"library": lib, "cells": cells, "rss_before": before, "rss_after": after,
            "bytes_per_cell": (after - before) / cells}


def best(fn, repeats):
    times = []
    for _ in range(repeats):
        t0 = time.perf_counter()
        out = fn()
        times.append(time.perf_counter() - t0)
    return min(times), out


def snapshot(cells):
    import vorlix
    from vorlix import readable
    rows = workload.rows_for(cells)
    book = vorlix.Book()
    sheet = book.add_sheet("Data")
    for r in range(1, rows + 1):
        for c, (text, _) in enumerate(workload.row_cells(r), 1):
            sheet.cell(r, c, text)
    finder = readable.create_finder([sheet])
    snap = finder.get_sheet_index(0)
    snap.find_cells_by_regex(workload.NEEDLE)  # starts the pool's workers
    snap_s, hits = best(lambda: snap.find_cells_by_regex(workload.NEEDLE), 5)
    live_s, live_hits = best(lambda: sheet.find_cells_by_regex(workload.NEEDLE), 5)
    return {"cells": cells, "affinity": sorted(os.sched_getaffinity(0)), "threads": threads(),
            "snapshot_s": snap_s, "snapshot_matches": len(hits),
            "live_s": live_s, "live_matches": len(live_hits)}


def main(argv):
    if len(argv) == 4 and argv[1] == "memory":
        out = memory(argv[2], int(argv[3]))
    elif len(argv) == 3 and argv[1] == "snapshot":
        out = snapshot(int(argv[2]))
    else:
        raise SystemExit(__doc__)
    print(json.dumps(out))


if __name__ == "__main__":
    main(sys.argv)
