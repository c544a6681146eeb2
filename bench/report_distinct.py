#!/usr/bin/env python3
"""Turns one run of kv_bench_distinct (JSON) into the table of distinct names
in bench/README.md.

usage: report_distinct.py BENCH_JSON

Times are the medians of the repetitions. "Per property" divides by the
number of properties; "vs standard" divides kvstore's time per property by
that of the same operation on the standard configuration of the same size,
in the same run. The goal (building and loading at 1M properties cost at most
1.5 times per property what the standard configuration costs) is checked at
1M. The speed-up is the property tree's time over kvstore's.
"""

import json
import sys

SHAPES = [("wide", "one wide node"), ("deep", "deep tree")]
# (operation, label, peer label, goal on the ratio to the standard configuration)
OPERATIONS = [
    ("build", "Build (`SetProperty` by path)", "`put`", 1.5),
    ("read", "Read all (`GetProperty`)", "`get`", None),
    ("load", "PIA load, plain", "`read_info`", 1.5),
    ("delete", "Delete (`deletePath` of the top nodes)", "`erase`", None),
]
GOAL_SIZE = 1000000


def fmt_time(us):
    if us >= 1e6:
        return "%.2f s" % (us / 1e6)
    if us >= 1e3:
        return "%.2f ms" % (us / 1e3)
    return "%.1f µs" % us


def fmt_size(n):
    for unit, div in (("M", 1000000), ("k", 1000)):
        if n >= div and n % div == 0:
            return "%d%s" % (n // div, unit)
    return str(n)


def to_us(value, unit):
    return value * {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[unit]


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], encoding="utf-8") as f:
        run = json.load(f)
    times = {}  # (op, lib, shape, size) -> microseconds
    for b in run["benchmarks"]:
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
            continue
        op, lib_shape, size = b["name"].split("/")[:3]
        lib, shape = lib_shape.split("-")
        times[(op, lib, shape, int(size))] = to_us(b["real_time"], b["time_unit"])
    sizes = sorted({k[3] for k in times})

    print("| Operation | Shape | Properties | kvstore | Per property | vs standard "
          "| Peer | Peer time | Speed-up | Goal |")
    print("|---|---|---:|---:|---:|---:|---|---:|---:|---|")
    for op, label, peer_label, goal in OPERATIONS:
        for shape, shape_label in SHAPES:
            for n in sizes:
                mine = times.get((op, "kvstore", shape, n))
                if mine is None:
                    continue
                theirs = times.get((op, "ptree", shape, n))
                standard = times.get((op, "kvstore", "std", n))
                ratio = mine / standard if standard else None
                goal_text = ""
                if goal is not None and n == GOAL_SIZE and ratio is not None:
                    goal_text = "≤ %g× %s" % (goal, "met" if ratio <= goal else "**missed**")
                print("| %s | %s | %s | %s | %.0f ns | %s | %s | %s | %s | %s |" % (
                    label, shape_label, fmt_size(n), fmt_time(mine), mine * 1000 / n,
                    "%.2f×" % ratio if ratio else "", peer_label,
                    fmt_time(theirs) if theirs else "",
                    "%.2f×" % (theirs / mine) if theirs else "", goal_text))
    for op, label, _, _ in OPERATIONS:
        for n in sizes:
            standard = times.get((op, "kvstore", "std", n))
            if standard is not None:
                print("| %s | standard | %s | %s | %.0f ns |  |  |  |  |  |" % (
                    label, fmt_size(n), fmt_time(standard), standard * 1000 / n))


if __name__ == "__main__":
    main()
