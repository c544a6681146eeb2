#!/usr/bin/env python3
"""Turns one run of kv_bench_pdt (JSON) into the driver description table of
bench/README.md.

usage: report_pdt.py PDT_JSON

Times are the medians of the repetitions. "Import / PIA load" is the import's
time over the time of a plain PIA load of the tree that it produces (goal: at
most 2); "per line" is the import's time per data line of the set, which
stays flat when the import grows linearly.
"""

import sys

from report_common import fmt_time, medians, read_benchmarks


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    times, props, rates = {}, {}, {}
    for _, lib, lines, us, b in medians(read_benchmarks(sys.argv[1])):
        times[(lib, lines)] = us
        props[lines] = int(b.get("properties", 0))
        if lib == "kvstore" and "bytes_per_second" in b:
            rates[lines] = b["bytes_per_second"] / 1e6
    print("| Data lines | Properties | Import | PIA load of the tree | Import / PIA load "
          "| Import per line | Import MB/s | Goal |")
    print("|---:|---:|---:|---:|---:|---:|---:|---|")
    for lines in sorted(props):
        imp, pia = times.get(("kvstore", lines)), times.get(("pia_load", lines))
        if imp is None or pia is None:
            continue
        ratio = imp / pia
        print("| %d | %d | %s | %s | %.2f× | %.2f µs | %.0f | ≤ 2× %s |" % (
            lines, props[lines], fmt_time(imp), fmt_time(pia), ratio, imp / lines,
            rates.get(lines, 0), "met" if ratio <= 2.0 else "**missed**"))


if __name__ == "__main__":
    main()
