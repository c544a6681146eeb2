#!/usr/bin/env python3
# Copyright the kvstore authors.
#
# End-to-end tests of kvtool on large inputs: a file of many distinct names,
# and running out of memory while loading one.
# Usage: kvtool_scale_test.py <path of kvtool> <source folder>
import os
import resource
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import kvtool_test  # noqa: E402
from kvtool_test import HEADER, kvtool  # noqa: E402


def distinct_names_file(count):
    """A plain PIA file of one node holding name_0 ... name_<count-1>."""
    lines = b"".join(b"name_%d=%d\n" % (i, i) for i in range(count))
    return HEADER + b"\r\n" + b"wide{\n" + lines + b"}\n"


def sanitized():
    """Whether kvtool runs under ASan or a checker, which reserve address
    space of their own: a limit on it would stop them, not kvtool."""
    if os.environ.get("KVTOOL_WRAPPER"):
        return True
    with open(kvtool_test.KVTOOL, "rb") as f:
        return b"__asan_init" in f.read()


class KvtoolScaleTest(kvtool_test.KvtoolCase):
    def test_a_wide_node_of_distinct_names_loads_whole(self):
        wide = self.write("wide.pia", distinct_names_file(50000))
        self.assertEqual(kvtool("get", wide, "\\wide\\name_0", check=0).stdout, b"0\n")
        self.assertEqual(kvtool("get", wide, "\\wide\\name_49999", check=0).stdout, b"49999\n")
        # Deleting from the middle and saving keeps every other name in order.
        kvtool("rm", wide, "\\wide\\name_25000", check=0)
        body = kvtool("dump", wide, "--path", "\\wide", check=0).stdout.split(b"\n")
        self.assertEqual(len(body), 50000)  # 49,999 lines and the empty rest
        self.assertEqual(body[24999:25001], [b"name_24999=24999", b"name_25001=25001"])

    def test_running_out_of_memory_is_one_line_naming_what_was_allocated(self):
        if sanitized():
            self.skipTest("kvtool runs under a sanitizer or checker; its address space "
                          "cannot be limited")
        big = self.write("big.pia", distinct_names_file(300000))
        limit = 32 << 20  # the tree of big.pia needs several times this

        def limited(*args):
            return subprocess.run(
                [kvtool_test.KVTOOL, *args], capture_output=True, timeout=60,
                preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_AS, (limit, limit)))

        # The limit leaves room for kvtool itself: reading the header works.
        self.assertEqual(limited("version", big).returncode, 0)
        result = limited("get", big, "\\wide\\name_7")
        match = self.assert_library_error(result, "KV_Memory_Exception", 55, "kvtool get")
        self.assertEqual(match.group(6), "the tree of " + big)


if __name__ == "__main__":
    kvtool_test.run_tests()
