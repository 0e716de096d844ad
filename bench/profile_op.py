"""Runs one vorlix operation of the benchmark repeatedly, for a profiler.

  python3 bench/profile_op.py OP [--cells N] [--repeats K]
  OP: build, search, snapshot_search, to_json, to_dict, finder, delete_cols

With perf, record only the operation (not the workload set-up) through a control fifo:

  mkfifo /tmp/ctl /tmp/ack
  VORLIX_PERF_CTL=/tmp/ctl,/tmp/ack perf record -e cpu-clock -D -1 \\
      --control fifo:/tmp/ctl,/tmp/ack -g -o perf.data python3 bench/profile_op.py to_json
  perf report -i perf.data --no-children --sort symbol
"""

import argparse
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import workload  # noqa: E402


class Perf:
    """Enables and disables a perf record started with -D -1 --control fifo:CTL,ACK."""

    def __init__(self, spec):
        self.ctl = self.ack = None
        if spec:
            ctl, ack = spec.split(",")
            self.ctl = open(ctl, "w")
            self.ack = open(ack, "r")

    def _send(self, word):
        if self.ctl:
            self.ctl.write(word + "\n")
            self.ctl.flush()
            self.ack.readline()

    def enable(self):
        self._send("enable")

    def disable(self):
        self._send("disable")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("op", choices=["build", "search", "snapshot_search", "to_json", "to_dict", "finder",
                                   "delete_cols"])
    ap.add_argument("--cells", type=int, default=1_000_000)
    ap.add_argument("--repeats", type=int, default=5)
    args = ap.parse_args()

    import vorlix
    from vorlix import readable

    perf = Perf(os.environ.get("VORLIX_PERF_CTL"))
    wl = workload.Workload(args.cells)
    total = 0.0
    if args.op in ("build", "delete_cols"):
        for _ in range(args.repeats):
            if args.op == "build":
                perf.enable()
                t0 = time.perf_counter()
                book, sheet = workload.build_vorlix(vorlix, wl.texts)
            else:
                book, sheet = workload.build_vorlix(vorlix, wl.texts)
                perf.enable()
                t0 = time.perf_counter()
                sheet.delete_cols(3, 2)
            total += time.perf_counter() - t0
            perf.disable()
            del book, sheet
    else:
        book, sheet = workload.build_vorlix(vorlix, wl.texts)
        snap = readable.create_finder([sheet]).get_sheet_index(0)
        op = {"search": lambda: sheet.find_cells_by_regex(workload.NEEDLE),
              "snapshot_search": lambda: snap.find_cells_by_regex(workload.NEEDLE),
              "to_json": book.to_json, "to_dict": book.to_dict,
              "finder": lambda: readable.create_finder([sheet])}[args.op]
        for _ in range(args.repeats):
            perf.enable()
            t0 = time.perf_counter()
            out = op()
            total += time.perf_counter() - t0
            perf.disable()
            del out  # freeing the result is not part of the operation
    print(f"{args.op}: {total / args.repeats * 1000:.1f} ms per run over {args.repeats} runs", file=sys.stderr)


if __name__ == "__main__":
    main()
