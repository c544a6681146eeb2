"""What the report scripts share: the rows of Google Benchmark JSON output and
the way the tables of bench/README.md write times, sizes and rows.

Rows are named <operation>/<library>/<size>, with whatever Google Benchmark
appends after a further '/' (min_time, repeats, manual_time).
"""

import json

_MICROSECONDS = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}


def to_us(value, unit):
    return value * _MICROSECONDS[unit]


def read_benchmarks(*paths):
    """The entries of every JSON file named, in order."""
    benchmarks = []
    for path in paths:
        with open(path, encoding="utf-8") as f:
            benchmarks += json.load(f)["benchmarks"]
    return benchmarks


def _row(b):
    op, lib, size = b["name"].split("/")[:3]
    return op, lib, int(size), to_us(b["real_time"], b["time_unit"]), b


def medians(benchmarks):
    """(operation, library, size, microseconds, entry) of the median of every
    row. A row run with aggregates only holds its median; one run without
    aggregates gives every repetition, and the last one read stands."""
    for b in benchmarks:
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
            continue
        yield _row(b)


def repetitions(benchmarks):
    """(operation, library, size, microseconds, entry) of every repetition,
    aggregates left out: for a report that takes the fastest."""
    for b in benchmarks:
        if b.get("run_type") != "aggregate":
            yield _row(b)


def fmt_time(us):
    if us is None:
        return ""
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


def fmt_ratio(ratio):
    return "%.2f×" % ratio if ratio else ""


def print_row(*cells):
    """One markdown table row; an empty cell stays empty."""
    print("| %s |" % " | ".join(cells))
