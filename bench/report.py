#!/usr/bin/env python3
"""Turns one run of kv_bench (JSON) and kv_bench_mem (JSON lines) into the
markdown table of bench/README.md.

usage: report.py BENCH_JSON MEMORY_JSONL [MORE_BENCH_JSON...] [--dpia=DPIA_JSON]

Times are the medians of the repetitions. The speed-up is the peer's time
divided by kvstore's (above 1: kvstore is faster); for memory it is the
peer's bytes divided by kvstore's. MB/s is 10^6 bytes of each library's own
text per second: the PIA body for kvstore and the codec, the INFO text for
Boost.PropertyTree.
"""

import json
import sys

from report_common import (fmt_ratio, fmt_size, fmt_time, medians, print_row, read_benchmarks,
                           repetitions)

# (operation, label, kvstore's library name, peer's library name, peer label,
#  goal: the minimum speed-up, or None)
OPERATIONS = [
    ("build", "Build (`SetProperty` by path)", "kvstore", "ptree", "`put`", 2.0),
    ("read", "Read all (`GetProperty`)", "kvstore", "ptree", "`get`", 2.0),
    ("walk", "Walk (`KV_Iterator`)", "kvstore", "ptree", "recursive loop", None),
    ("save", "PIA save, plain", "kvstore", "ptree", "`write_info`", 2.0),
    ("load", "PIA load, plain", "kvstore", "ptree", "`read_info`", 2.0),
    ("save_z", "PIA save, compressed", "kvstore", "ptree",
     "`write_info` + `compress2`", 2.0),
    ("load_z", "PIA load, compressed", "kvstore", "ptree",
     "`uncompress` + `read_info`", 2.0),
    ("encode", "Codec `encode`", "kvstore", "zlib", "`compress2` level 9", 1 / 1.1),
    ("decode", "Codec `decode`", "kvstore", "zlib", "`uncompress`", 1 / 1.1),
    ("scan", "Floor: `memchr` for LF", "memchr", None, "", None),
    ("pc2_load", "PC2 load (key lines)", "kvstore", "pia", "PIA load, same tree", 1 / 1.5),
    ("pcp_load", "PCP load (key lines)", "kvstore", "pia", "PIA load, same tree", 1 / 1.5),
    ("pens_load", "PCP load, one default block (lines)", "kvstore", "pia",
     "PIA load, same tree", None),
    ("doc_save", "DOC save", "kvstore", "gsf", "libgsf `GsfOutfileMSOle`", 2.0),
    ("doc_load", "DOC load", "kvstore", "gsf", "libgsf `GsfInfileMSOle`", 2.0),
    ("doc_save", "DOC save against PIA", "kvstore", "pia", "our PIA save, plain", None),
    ("doc_load", "DOC load against PIA", "kvstore", "pia", "our PIA load, plain", None),
]
THROUGHPUT = {"save", "load", "save_z", "load_z", "encode", "decode", "scan", "doc_save",
              "doc_load"}


def goal_text(goal, ratio):
    if goal is None or ratio is None:
        return ""
    if goal >= 1:
        want = "≥ %g×" % goal
    else:
        want = "≤ +%.0f%%" % ((1 / goal - 1) * 100)
    return "%s %s" % (want, "met" if ratio >= goal * 0.9999 else "**missed**")


# The table of DPIA files and the Huffman codec (kv_bench_dpia): (operation,
# label, kvstore's entry, the peer's entry, peer label, goal kind). Goal kinds:
# "within" kvstore's time at most 1.10 times the peer's; "faster" at least
# as fast as the peer.
DPIA_ROWS = [
    ("dpia_save", "DPIA save, 100 sections", ("dpia_save", "kvstore"), ("dpia_save", "pia"),
     "compressed PIA save", "within"),
    ("dpia_load", "DPIA load, directory and all 100 sections", ("dpia_load", "kvstore"),
     ("dpia_load", "pia"), "compressed PIA load", "within"),
    ("section_of_1", "`load_section` of 1 section out of 1", ("section_of_1", "kvstore"),
     ("section_alone", "pia"), "PIA load of that sub-tree", "within"),
    ("section_of_10", "`load_section` of 1 section out of 10", ("section_of_10", "kvstore"),
     ("section_alone", "pia"), "PIA load of that sub-tree", "within"),
    ("section_of_100", "`load_section` of 1 section out of 100", ("section_of_100", "kvstore"),
     ("section_alone", "pia"), "PIA load of that sub-tree", "within"),
    ("huff_encode", "Huffman `encode`", ("huff_encode", "kvstore"), ("huff_encode", "zlib"),
     "deflate `Z_HUFFMAN_ONLY`", "faster"),
    ("huff_decode", "Huffman `decode`", ("huff_decode", "kvstore"), ("huff_decode", "zlib"),
     "inflate", "faster"),
]


def dpia_table(path):
    times = {}  # (op, lib) -> {size: (microseconds, bytes)}: the fastest repetition
    for op, lib, size, us, b in repetitions(read_benchmarks(path)):
        entry = (us, b.get("bytes", 0.0))
        sizes = times.setdefault((op, lib), {})
        if size not in sizes or entry[0] < sizes[size][0]:
            sizes[size] = entry
    print()
    print("| Operation | Size | kvstore | Peer | Peer time | Ratio | kvstore MB/s | Peer MB/s "
          "| Goal |")
    print("|---|---:|---:|---|---:|---:|---:|---:|---|")
    for _, label, mine_key, peer_key, peer_label, goal in DPIA_ROWS:
        mine_sizes = times.get(mine_key, {})
        peer_sizes = times.get(peer_key, {})
        for size in sorted(mine_sizes):
            mine = mine_sizes[size]
            theirs = peer_sizes.get(size)
            if theirs is None and len(peer_sizes) == 1:
                theirs = next(iter(peer_sizes.values()))
            ratio = mine[0] / theirs[0] if theirs else None
            if goal == "within":
                unit = "props" if "section" not in mine_key[0] else "props a section"
                size_text = "%s %s" % (fmt_size(size), unit)
                met = ratio is not None and ratio <= 1.10
                goal_text_ = "≤ 1.10× %s" % ("met" if met else "**missed**")
                ratio_text = "%.2f×" % ratio if ratio else ""
            else:
                size_text = "%sB" % fmt_size(size)
                met = ratio is not None and ratio <= 1.0
                goal_text_ = "≥ 1× %s" % ("met" if met else "**missed**")
                ratio_text = "%.2f× faster" % (1 / ratio) if ratio else ""
            mbs = lambda t: "%.0f" % (t[1] / t[0]) if t and t[1] else ""
            print_row(label, size_text, fmt_time(mine[0]), peer_label,
                      fmt_time(theirs[0]) if theirs else "", ratio_text, mbs(mine), mbs(theirs),
                      goal_text_)


def main():
    # The DPIA and Huffman run (kv_bench_dpia) has a table of its own.
    dpia = [a.split("=", 1)[1] for a in sys.argv[1:] if a.startswith("--dpia=")]
    sys.argv = [a for a in sys.argv if not a.startswith("--dpia=")]
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    times = {}  # (op, lib, size) -> (microseconds, bytes per iteration)
    for op, lib, size, us, b in medians(read_benchmarks(sys.argv[1], *sys.argv[3:])):
        times[(op, lib, size)] = (us, b.get("bytes", 0.0))
    memory = {}  # (lib, size) -> record
    with open(sys.argv[2], encoding="utf-8") as f:
        for line in f:
            if line.strip():
                rec = json.loads(line)
                memory[(rec["lib"], rec["props"])] = rec
    sizes = sorted({k[2] for k in times} | {k[1] for k in memory})

    print("| Operation | Properties | kvstore | Peer | Peer time | Speed-up | kvstore MB/s "
          "| Peer MB/s | Goal |")
    print("|---|---:|---:|---|---:|---:|---:|---:|---|")
    for op, label, lib, peer, peer_label, goal in OPERATIONS:
        for n in sizes:
            mine = times.get((op, lib, n))
            theirs = times.get((op, peer, n)) if peer else None
            if mine is None:
                continue
            ratio = theirs[0] / mine[0] if theirs else None
            mbs = lambda t: "%.0f" % (t[1] / t[0]) if t and t[1] and op in THROUGHPUT else ""
            print_row(label, fmt_size(n), fmt_time(mine[0]), peer_label,
                      fmt_time(theirs[0]) if theirs else "", fmt_ratio(ratio), mbs(mine),
                      mbs(theirs), goal_text(goal, ratio))
    for field, label in (("rss_bytes_per_prop", "Resident memory per property"),
                         ("heap_bytes_per_prop", "Heap in use per property")):
        for n in sizes:
            mine = memory.get(("kvstore", n))
            theirs = memory.get(("ptree", n))
            if mine is None:
                continue
            ratio = theirs[field] / mine[field] if theirs and mine[field] > 0 else None
            print_row(label, fmt_size(n), "%.0f B" % mine[field], "ptree",
                      "%.0f B" % theirs[field] if theirs else "", fmt_ratio(ratio), "", "",
                      goal_text(1.0, ratio) if field == "rss_bytes_per_prop" else "")
    for path in dpia:
        dpia_table(path)


if __name__ == "__main__":
    main()
