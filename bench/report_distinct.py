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

import sys

from report_common import fmt_ratio, fmt_size, fmt_time, medians, print_row, read_benchmarks

SHAPES = [("wide", "one wide node"), ("deep", "deep tree")]
# (operation, label, peer label, goal on the ratio to the standard configuration)
OPERATIONS = [
    ("build", "Build (`SetProperty` by path)", "`put`", 1.5),
    ("read", "Read all (`GetProperty`)", "`get`", None),
    ("load", "PIA load, plain", "`read_info`", 1.5),
    ("delete", "Delete (`deletePath` of the top nodes)", "`erase`", None),
]
GOAL_SIZE = 1000000


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    times = {}  # (op, lib, shape, size) -> microseconds
    for op, lib_shape, size, us, _ in medians(read_benchmarks(sys.argv[1])):
        lib, shape = lib_shape.split("-")
        times[(op, lib, shape, size)] = us
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
                print_row(label, shape_label, fmt_size(n), fmt_time(mine),
                          "%.0f ns" % (mine * 1000 / n), fmt_ratio(ratio), peer_label,
                          fmt_time(theirs) if theirs else "",
                          fmt_ratio(theirs / mine if theirs else None),
                          goal_text)
    for op, label, _, _ in OPERATIONS:
        for n in sizes:
            standard = times.get((op, "kvstore", "std", n))
            if standard is not None:
                print_row(label, "standard", fmt_size(n), fmt_time(standard),
                          "%.0f ns" % (standard * 1000 / n), "", "", "", "", "")


if __name__ == "__main__":
    main()
