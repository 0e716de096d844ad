"""vorlix against openpyxl, pandas and the bare limit, in one run, side by side.

  python3 bench/run.py               the full run (1,000,000 cells; about a minute or two)
  python3 bench/run.py --cells N     a smaller main size (N a multiple of 20), for a quick look
  python3 bench/run.py --markdown    print the tables of bench/results/latest.json as Markdown
  python3 bench/run.py --redraw      draw bench/results/latest.png again from latest.json

vorlix is imported from PYTHONPATH (`make bench BUILD=...` sets it to the build's pkg/).
Writes bench/results/latest.json and bench/results/latest.png.
"""

import argparse
import datetime
import gc
import json
import math
import os
import platform
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import workload  # noqa: E402

RESULTS = os.path.join(HERE, "results")
SCALING_SIZES = (10_000, 100_000, 1_000_000)
# A peer operation whose estimate at the main size exceeds this is measured at
# PEER_FALLBACK_CELLS instead (and the table says so).
PEER_LIMIT_S = 180.0
PEER_FALLBACK_CELLS = 100_000


def log(msg):
    print(msg, file=sys.stderr, flush=True)


def timed(fn, cpu=None):
    gc.collect()
    c0 = time.process_time()
    t0 = time.perf_counter()
    out = fn()
    t = time.perf_counter() - t0
    if cpu is not None:
        cpu.append(time.process_time() - c0)
    return t, out


def best_of(fn, repeats=None):
    """Best time of several runs: 3 under 1 s (5 under 0.2 s), 2 up to 5 s, else 1.

    cpu_s is the least process CPU time of the runs (all threads): beside s it shows
    how far other work on the machine inflated a single-threaded time."""
    cpu = []
    t, out = timed(fn, cpu)
    times = [t]
    if repeats is None:
        repeats = 5 if t < 0.2 else 3 if t < 1.0 else 2 if t < 5.0 else 1
    for _ in range(repeats - 1):
        out = None
        t, out = timed(fn, cpu)
        times.append(t)
    return {"s": min(times), "cpu_s": min(cpu), "runs": len(times), "all_s": times}, out


def probe(args, prefix=()):
    cmd = list(prefix) + [sys.executable, os.path.join(HERE, "probe.py")] + [str(a) for a in args]
    done = subprocess.run(cmd, check=True, capture_output=True, text=True)
    return json.loads(done.stdout)


def compile_bare(tmp):
    cxx = os.environ.get("CXX", "g++")
    exe = os.path.join(tmp, "bare_find")
    subprocess.run([cxx, "-O2", "-std=c++20", "-o", exe, os.path.join(HERE, "bare_find.cpp")], check=True)
    version = subprocess.run([cxx, "--version"], capture_output=True, text=True).stdout.splitlines()[0]
    return exe, version


# --- vorlix --------------------------------------------------------------------------

def measure_vorlix(vorlix, readable, wl):
    """Every vorlix operation on `wl`; returns (results, book, sheet) with the live book kept."""
    res = {"cells": wl.cells}
    books = []

    def build():
        books.append(workload.build_vorlix(vorlix, wl.texts))
    res["build"], _ = best_of(build, repeats=3)
    book, sheet = books[0]

    res["search"], hits = best_of(lambda: sheet.find_cells_by_regex(workload.NEEDLE))
    res["search"]["matches"] = len(hits)
    res["to_json"], text = best_of(book.to_json)
    res["to_json"]["bytes"] = len(text.encode())
    res["finder"], finder = best_of(lambda: readable.create_finder([sheet]))
    snap = finder.get_sheet_index(0)
    res["snapshot_search"], hits = best_of(lambda: snap.find_cells_by_regex(workload.NEEDLE))
    res["snapshot_search"]["matches"] = len(hits)
    del finder, snap, hits

    # delete_cols on fresh copies: the books of the build runs, unchanged so far.
    times, cpu = [], []
    for _, target in books:
        t, _ = timed(lambda: target.delete_cols(3, 2), cpu)
        times.append(t)
        res["delete_cols_max_column"] = target.max_column
    res["delete_cols"] = {"s": min(times), "cpu_s": min(cpu), "runs": len(times), "all_s": times}
    # The first book was the live sheet of the searches; the caller gets it unchanged.
    del book, sheet, books, target
    gc.collect()
    book, sheet = workload.build_vorlix(vorlix, wl.texts)
    return res, book, sheet


# --- peers ---------------------------------------------------------------------------

def measure_openpyxl(openpyxl, wl):
    res = {"cells": wl.cells}
    # The same texts, which openpyxl stores as they are (all data_type "s"): less work
    # than vorlix does, reported for information. A run's workbook is freed untimed.
    res["build_texts"], _ = best_of(lambda: workload.build_openpyxl(openpyxl, wl.texts))
    _ = None
    # Typed values: the content vorlix ends with (int, float, bool, datetime, str);
    # the values are made before timing, so openpyxl is spared the parsing vorlix does.
    res["build_typed"], (wb, ws) = best_of(lambda: workload.build_openpyxl(openpyxl, wl.values))
    needle = workload.NEEDLE

    def search():
        hits = []
        for row in ws.iter_rows():
            for c in row:
                if needle in str(c.value):
                    hits.append(c)
        return hits
    res["search"], hits = best_of(search)
    res["search"]["matches"] = len(hits)
    del hits
    # One run: a second needs another fresh sheet, which costs a whole build.
    res["delete_cols"], _ = best_of(lambda: ws.delete_cols(3, 2), repeats=1)
    res["delete_cols_max_column"] = ws.max_column
    del wb, ws
    gc.collect()
    return res


def measure_pandas(pd, texts):
    """str.contains on a Series of the texts with pandas' default dtype; where pyarrow is
    installed, also on an arrow-backed Series (pandas' default then), for information."""
    def one(series):
        res, mask = best_of(lambda: series.str.contains(workload.NEEDLE, regex=False))
        res["matches"] = int(mask.sum())
        res["dtype"] = str(series.dtype)
        res["storage"] = getattr(series.dtype, "storage", "numpy")
        return res
    res = one(pd.Series(texts))
    try:
        import pyarrow  # noqa: F401
    except ImportError:
        res["pyarrow"] = None
    else:
        res["pyarrow"] = one(pd.Series(texts, dtype="string[pyarrow]"))
    return res


def measure_bare(exe, texts, tmp):
    path = os.path.join(tmp, "texts.bin")
    with open(path, "wb") as f:
        f.write(b"\0".join(t.encode() for t in texts))
    done = subprocess.run([exe, path, workload.NEEDLE, "10"], check=True, capture_output=True, text=True)
    out = json.loads(done.stdout)
    if out["texts"] != len(texts):
        raise RuntimeError(f"bare_find read {out['texts']} texts, expected {len(texts)}")
    return {"s": out["best_s"], "cpu_s": out["best_cpu_s"], "runs": out["runs"], "matches": out["matches"]}


def measure_json_dumps(book):
    doc = book.to_dict()
    res, text = best_of(lambda: json.dumps(doc, separators=(",", ":")), repeats=3)
    res["identical_to_to_json"] = text == book.to_json()
    return res


# --- goals ---------------------------------------------------------------------------

def speedup_goal(key, label, vorlix_s, peer_s, goal, cells, note=""):
    ratio = peer_s / vorlix_s
    return {"key": key, "label": label, "vorlix": vorlix_s, "peer": peer_s, "unit": "s",
            "ratio": ratio, "ratio_text": f"{ratio:.1f}x faster", "goal": goal,
            "goal_text": f">= {goal:g}x faster", "met": ratio >= goal, "cells": cells, "note": note,
            "speedup": ratio, "speedup_goal": goal}


def evaluate(r):
    g = []
    v, o, n = r["vorlix"], r["openpyxl"], r["cells"]
    ov = r["vorlix_at"][o["cells"]]  # vorlix at the size openpyxl was measured at
    at = "" if o["cells"] == n else f"measured at {o['cells']:,} cells (openpyxl too slow at {n:,})"
    g.append(speedup_goal("build", "build: Sheet.cell vs openpyxl Worksheet.cell (typed values)",
                          ov["build"]["s"], o["build_typed"]["s"], 10, o["cells"], at))
    row = speedup_goal("build_texts", "build: Sheet.cell vs openpyxl Worksheet.cell (same texts, stored as str)",
                       ov["build"]["s"], o["build_texts"]["s"], 10, o["cells"], at)
    row.update(goal_text="(information)", met=None)
    g.append(row)
    g.append(speedup_goal("search_openpyxl", "search: find_cells_by_regex vs openpyxl cell loop",
                          ov["search"]["s"], o["search"]["s"], 30, o["cells"], at))
    g.append(speedup_goal("search_pandas", "search: find_cells_by_regex vs pandas str.contains",
                          v["search"]["s"], r["pandas"]["s"], 5, n,
                          f"dtype {r['pandas']['dtype']}, {r['pandas']['storage']} storage"
                          + ("" if r["pandas"]["pyarrow"] else " (pyarrow not installed)")))
    if r["pandas"]["pyarrow"]:
        row = speedup_goal("search_pandas_arrow", "search: find_cells_by_regex vs pandas str.contains (pyarrow)",
                           v["search"]["s"], r["pandas"]["pyarrow"]["s"], 5, n, "arrow-backed strings")
        row.update(goal_text="(information)", met=None, speedup_goal=None)
        g.append(row)
    ratio = v["search"]["s"] / r["bare"]["s"]
    g.append({"key": "search_bare", "label": "search: find_cells_by_regex vs bare string_view::find loop",
              "vorlix": v["search"]["s"], "peer": r["bare"]["s"], "unit": "s", "ratio": ratio,
              "ratio_text": f"vorlix/bare = {ratio:.1f}", "goal": 3, "goal_text": "vorlix/bare <= 3",
              "met": ratio <= 3, "cells": n,
              "note": f"bare: one thread, g++ -O2; vorlix on the pool: {v['search']['cpu_s'] * 1000:.1f} ms CPU",
              "speedup": 1 / ratio, "speedup_goal": 1 / 3})
    g.append(speedup_goal("to_json", "to_json vs json.dumps(book.to_dict())",
                          v["to_json"]["s"], r["json_dumps"]["s"], 8, n,
                          f"{v['to_json']['bytes'] / 1e6:.0f} MB; json.dumps writes "
                          + ("the same text" if r["json_dumps"]["identical_to_to_json"] else "a different text")))
    g.append(speedup_goal("delete_cols", "delete_cols(3, 2) vs openpyxl delete_cols(3, 2)",
                          ov["delete_cols"]["s"], o["delete_cols"]["s"], 20, o["cells"], at))
    mv, mo = r["memory"]["vorlix"], r["memory"]["openpyxl"]
    g.append({"key": "memory", "label": "memory per cell (RSS growth / cells)",
              "vorlix": mv["bytes_per_cell"], "peer": mo["bytes_per_cell"], "unit": "B",
              "ratio": mo["bytes_per_cell"] / mv["bytes_per_cell"],
              "ratio_text": f"{mo['bytes_per_cell'] / mv['bytes_per_cell']:.1f}x less",
              "goal": 80, "goal_text": "<= 80 B/cell", "met": mv["bytes_per_cell"] <= 80,
              "cells": mv["cells"], "note": "fresh subprocess, gc.collect, /proc/self/statm"})
    g.append({"key": "finder", "label": "Finder: readable.create_finder([sheet])",
              "vorlix": v["finder"]["s"], "peer": None, "unit": "s", "ratio": None, "ratio_text": "",
              "goal": 0.15, "goal_text": "< 0.15 s", "met": v["finder"]["s"] < 0.15, "cells": n, "note": ""})
    s = r.get("snapshot_threads")
    if s:
        g.append({"key": "snapshot_threads",
                  "label": "snapshot search: default pool vs one thread (taskset -c 0)",
                  "vorlix": s["default"]["snapshot_s"], "peer": s["one"]["snapshot_s"], "unit": "s",
                  "ratio": s["speedup"], "ratio_text": f"{s['speedup']:.2f}x with "
                  f"{len(s['default']['affinity'])} CPUs", "goal": None, "goal_text": "(no goal)",
                  "met": None, "cells": n, "note": "peer column: the one-thread time"})
    return g


# --- output --------------------------------------------------------------------------

def fmt_value(x, unit):
    if x is None:
        return "-"
    if unit == "B":
        return f"{x:.1f} B"
    if x >= 1:
        return f"{x:.2f} s"
    return f"{x * 1000:.1f} ms"


def met_text(m):
    return "-" if m is None else "yes" if m else "NO"


def scaling_rows(r):
    ops = [("build", "build"), ("search", "search (live)"), ("snapshot_search", "search (snapshot)"),
           ("to_json", "to_json"), ("delete_cols", "delete_cols(3, 2)"), ("finder", "create_finder")]
    sizes = sorted(int(k) for k in r["vorlix_at"])
    rows = []
    for key, label in ops:
        prev = None
        for n in sizes:
            t = r["vorlix_at"][n][key]["s"]
            exp = None if prev is None else math.log(t / prev[1]) / math.log(n / prev[0])
            rows.append((label, n, t, t / n * 1e9, exp))
            prev = (n, t)
    prev = None
    for n in sizes:
        b = r["memory_at"][n]["bytes_per_cell"]
        total = b * n
        exp = None if prev is None else math.log(total / prev[1]) / math.log(n / prev[0])
        rows.append(("memory (RSS growth)", n, None, b, exp))
        prev = (n, total)
    return rows


def load_text(r):
    m = r["machine"]
    start, end = m["loadavg_start"][0], m["loadavg_end"][0]
    text = f"load average {start:.2f} at start, {end:.2f} at end"
    if max(start, end) >= 1.0:
        text += " (other work was running: times are inflated and the ratios noisy)"
    return text


def print_tables(r):
    goals = r["goals"]
    w = max(len(x["label"]) for x in goals)
    print()
    print(f"vorlix benchmarks, {r['cells']:,} cells ({workload.rows_for(r['cells']):,} rows x "
          f"{workload.COLUMNS} columns), needle {workload.NEEDLE!r}")
    print(load_text(r))
    print(f"{'measure':<{w}}  {'vorlix':>10}  {'peer':>10}  {'ratio':<22} {'goal':<18} met  note")
    for x in goals:
        print(f"{x['label']:<{w}}  {fmt_value(x['vorlix'], x['unit']):>10}  {fmt_value(x['peer'], x['unit']):>10}"
              f"  {x['ratio_text']:<22} {x['goal_text']:<18} {met_text(x['met']):<4} {x['note']}")
    print()
    print("scaling (vorlix): time per cell and growth exponent (1.0 = linear) between sizes")
    print(f"{'operation':<20} {'cells':>10} {'time':>10} {'per cell':>12} {'exponent':>9}")
    for label, n, t, per, exp in scaling_rows(r):
        per_text = f"{per:.1f} B" if t is None else f"{per:.1f} ns"
        exp_text = "" if exp is None else f"{exp:.2f}"
        print(f"{label:<20} {n:>10,} {fmt_value(t, 's') if t is not None else '':>10} {per_text:>12} {exp_text:>9}")
    print()


def markdown(r):
    out = [f"Workload: {r['cells']:,} cells ({workload.rows_for(r['cells']):,} rows x {workload.COLUMNS} "
           f"columns; words, integers, decimals, booleans, date-times), needle `{workload.NEEDLE}` "
           f"({r['vorlix']['search']['matches']} matches). {r['machine']['cpu']}, "
           f"{r['machine']['cpus']} CPUs; Python {r['versions']['python']}, openpyxl "
           f"{r['versions']['openpyxl']}, pandas {r['versions']['pandas']}; best of 5 runs under 0.2 s, 3 under 1 s, "
           f"2 under 5 s (vorlix builds: 3; openpyxl's delete_cols: 1); "
           f"{load_text(r)}.", "",
           "| measure | vorlix | peer | ratio | goal | met | note |", "|---|---:|---:|---|---|---|---|"]
    for x in r["goals"]:
        out.append(f"| {x['label']} | {fmt_value(x['vorlix'], x['unit'])} | {fmt_value(x['peer'], x['unit'])} | "
                   f"{x['ratio_text']} | {x['goal_text']} | {met_text(x['met'])} | {x['note']} |")
    out += ["", "Scaling (vorlix): time per cell, and the growth exponent from the previous size "
            "(1.0 = linear).", "", "| operation | cells | time | per cell | exponent |", "|---|---:|---:|---:|---:|"]
    for label, n, t, per, exp in scaling_rows(r):
        per_text = f"{per:.1f} B" if t is None else f"{per:.1f} ns"
        out.append(f"| {label} | {n:,} | {fmt_value(t, 's') if t is not None else ''} | {per_text} | "
                   f"{'' if exp is None else f'{exp:.2f}'} |")
    return "\n".join(out)


def chart(r, path):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    green, red = "#2e8b57", "#c0392b"
    bars = [x for x in r["goals"] if x.get("speedup")]
    grey = "#95a5a6"
    fig, (ax, axm, axf) = plt.subplots(1, 3, figsize=(13, 4.8), gridspec_kw={"width_ratios": [3.2, 1, 1]})
    short = {"build": "build vs openpyxl\n(typed values)", "build_texts": "build vs openpyxl\n(texts; information)",
             "search_openpyxl": "search vs\nopenpyxl cell loop", "search_pandas": "search vs\npandas str.contains",
             "search_pandas_arrow": "search vs pandas\n(pyarrow; information)",
             "search_bare": "search vs bare limit\n(goal: within 3x)", "to_json": "to_json vs\njson.dumps",
             "delete_cols": "delete_cols vs\nopenpyxl"}
    labels = [short.get(x["key"], x["key"]) for x in bars]
    ys = range(len(bars))
    ax.barh(ys, [x["speedup"] for x in bars],
            color=[grey if x["met"] is None else green if x["met"] else red for x in bars])
    for y, x in zip(ys, bars):
        if x["met"] is not None:
            ax.plot([x["speedup_goal"]] * 2, [y - 0.42, y + 0.42], color="black", lw=2.5)
        v = x["speedup"]
        at = max(v, x["speedup_goal"] or 0) * 1.12  # clear of the goal tick
        ax.text(at, y, f"{v:.0f}x" if v >= 10 else f"{v:.1f}x" if v >= 1 else f"{v:.2f}x",
                va="center", fontsize=8)
    ax.set_xscale("log")
    lo = min(min(x["speedup"] for x in bars), min(x["speedup_goal"] or 1 for x in bars))
    hi = max(max(x["speedup"] for x in bars), max(x["speedup_goal"] or 1 for x in bars))
    ax.set_xlim(lo / 1.6, hi * 2.5)
    ax.set_yticks(list(ys), labels, fontsize=8)
    ax.invert_yaxis()
    ax.axvline(1, color="grey", lw=0.8, ls=":")
    ax.set_xlabel("vorlix speed-up over the peer (log scale; black tick = goal)")
    ax.set_title(f"vorlix vs peers, {r['cells']:,} cells", fontsize=10)

    mem = r["memory"]
    vals = [mem["vorlix"]["bytes_per_cell"], mem["openpyxl"]["bytes_per_cell"]]
    axm.bar(["vorlix", "openpyxl"], vals, color=[green if vals[0] <= 80 else red, "#7f8c8d"])
    axm.axhline(80, color="black", lw=2)
    for i, b in enumerate(vals):
        axm.text(i, b, f"{b:.0f} B", ha="center", va="bottom", fontsize=8)
    axm.set_ylabel("bytes per cell (RSS growth)")
    axm.set_title("memory per cell\n(black line: goal <= 80 B)", fontsize=10)

    t = r["vorlix"]["finder"]["s"]
    axf.bar(["create_finder"], [t], color=green if t < 0.15 else red)
    axf.axhline(0.15, color="black", lw=2)
    axf.text(0, t, f"{t * 1000:.0f} ms", ha="center", va="bottom", fontsize=8)
    axf.set_ylim(0, max(t, 0.15) * 1.15)
    axf.set_ylabel("seconds")
    axf.set_title("Finder over the live sheet\n(black line: goal < 0.15 s)", fontsize=10)
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    plt.close(fig)


# --- main ----------------------------------------------------------------------------

def machine():
    cpu = platform.processor() or "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return {"cpu": cpu, "cpus": len(os.sched_getaffinity(0)), "loadavg_start": os.getloadavg()}


def git_rev():
    try:
        return subprocess.run(["git", "-C", HERE, "rev-parse", "HEAD"], capture_output=True,
                              text=True, check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        return None


def run(cells):
    import openpyxl
    import pandas as pd
    import vorlix
    from vorlix import readable

    start = time.perf_counter()
    r = {"when": datetime.datetime.now().isoformat(timespec="seconds"), "cells": cells,
         "needle": workload.NEEDLE, "machine": machine(), "git_head": git_rev(),
         "versions": {"python": platform.python_version(), "vorlix": vorlix.__version__,
                      "openpyxl": openpyxl.__version__, "pandas": pd.__version__}}
    if r["machine"]["loadavg_start"][0] > 0.5:
        log(f"warning: load average {r['machine']['loadavg_start'][0]:.2f} at start; timings may be noisy")
    tmp = tempfile.mkdtemp(prefix="vorlix-bench-")
    try:
        exe, r["versions"]["cxx"] = compile_bare(tmp)
        log(f"workload: {cells:,} cells")
        wl = workload.Workload(cells)
        sizes = sorted({n for n in SCALING_SIZES if n <= cells} | {cells, min(PEER_FALLBACK_CELLS, cells)})

        r["vorlix_at"] = {}
        for n in sizes:
            if n == cells:
                continue
            log(f"vorlix at {n:,} cells")
            r["vorlix_at"][n], _, _ = measure_vorlix(vorlix, readable, wl.head(n))
        log(f"vorlix at {cells:,} cells")
        r["vorlix"], book, sheet = measure_vorlix(vorlix, readable, wl)
        r["vorlix_at"][cells] = r["vorlix"]

        log("json.dumps")
        r["json_dumps"] = measure_json_dumps(book)
        texts = [c.value for c in sheet.cells]
        del book, sheet
        log("pandas")
        r["pandas"] = measure_pandas(pd, texts)
        log("bare limit")
        r["bare"] = measure_bare(exe, texts, tmp)
        del texts

        small = min(PEER_FALLBACK_CELLS, cells)
        log(f"openpyxl at {small:,} cells")
        o_small = measure_openpyxl(openpyxl, wl.head(small))
        estimate = sum(o_small[k]["s"] for k in ("build_typed", "build_texts", "search", "delete_cols")) \
            * cells / small * 1.5
        if cells > small and estimate <= PEER_LIMIT_S:
            log(f"openpyxl at {cells:,} cells (estimated {estimate:.0f} s)")
            r["openpyxl"] = measure_openpyxl(openpyxl, wl)
        else:
            r["openpyxl"] = o_small
        r["openpyxl_small"] = o_small
        r["openpyxl_estimate_s"] = estimate
        del wl
        gc.collect()

        log("memory probes")
        r["memory_at"] = {n: probe(["memory", "vorlix", n]) for n in sizes}
        r["memory"] = {"vorlix": r["memory_at"][cells], "openpyxl": probe(["memory", "openpyxl", cells])}

        log("snapshot search with the default pool and with one CPU")
        if shutil.which("taskset"):
            default = probe(["snapshot", cells])
            one = probe(["snapshot", cells], prefix=["taskset", "-c", str(min(os.sched_getaffinity(0)))])
            r["snapshot_threads"] = {"default": default, "one": one,
                                     "speedup": one["snapshot_s"] / default["snapshot_s"],
                                     "live_speedup": one["live_s"] / default["live_s"]}
        else:
            log("taskset not found: snapshot thread comparison skipped")
    finally:
        shutil.rmtree(tmp, ignore_errors=True)

    counts = {"vorlix": r["vorlix"]["search"]["matches"], "vorlix snapshot": r["vorlix"]["snapshot_search"]["matches"],
              "pandas": r["pandas"]["matches"], "bare": r["bare"]["matches"]}
    if r["openpyxl"]["cells"] == cells:
        counts["openpyxl"] = r["openpyxl"]["search"]["matches"]
    r["matches_agree"] = len(set(counts.values())) == 1
    if not r["matches_agree"]:
        log(f"warning: the searches disagree on the number of matches: {counts}")
    r["machine"]["loadavg_end"] = os.getloadavg()
    r["goals"] = evaluate(r)
    r["elapsed_s"] = time.perf_counter() - start
    return r


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--cells", type=int, default=1_000_000)
    ap.add_argument("--markdown", action="store_true", help="print latest.json's tables as Markdown")
    ap.add_argument("--redraw", action="store_true", help="draw latest.png again from latest.json")
    ap.add_argument("--wait-quiet", type=float, default=0, metavar="SECONDS",
                    help="first wait up to SECONDS for the 1-minute load average to fall below 0.5")
    args = ap.parse_args()
    path = os.path.join(RESULTS, "latest.json")
    if args.markdown or args.redraw:
        with open(path) as f:
            r = json.load(f, object_hook=lambda d: {int(k) if k.isdigit() else k: v for k, v in d.items()})
        if args.markdown:
            print(markdown(r))
        if args.redraw:
            chart(r, os.path.join(RESULTS, "latest.png"))
        return
    workload.rows_for(args.cells)
    deadline = time.monotonic() + args.wait_quiet
    while os.getloadavg()[0] >= 0.5 and time.monotonic() < deadline:
        log(f"waiting for a quiet machine (load average {os.getloadavg()[0]:.2f})")
        time.sleep(min(30.0, max(1.0, deadline - time.monotonic())))
    r = run(args.cells)
    print_tables(r)
    os.makedirs(RESULTS, exist_ok=True)
    with open(path, "w") as f:
        json.dump(r, f, indent=1)
        f.write("\n")
    chart(r, os.path.join(RESULTS, "latest.png"))
    log(f"wrote {path} and latest.png ({r['elapsed_s']:.0f} s)")


if __name__ == "__main__":
    main()
