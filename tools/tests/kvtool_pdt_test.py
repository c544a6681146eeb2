#!/usr/bin/env python3
# Copyright the kvstore authors.
#
# End-to-end tests of kvtool on driver description sets: the example set of
# examples/drivers dumped and converted, and sets with faults.
# Usage: kvtool_pdt_test.py <path of kvtool> <source folder>
#
# The expected tree is the reviewed dump in drivers/testdata, never kvtool's
# own earlier output.
import json
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import kvtool_test  # noqa: E402  (the shared helpers and the kvtool runner)
from kvtool_test import kvtool  # noqa: E402

HEADER = kvtool_test.HEADER


def source(*parts):
    return os.path.join(kvtool_test.SOURCE, *parts)


def in_name_order(json_text):
    """The tree of a JSON dump in name order, without its header."""
    tree = json.loads(json_text)
    tree.pop("header", None)
    return kvtool_test.in_name_order(tree)


def expected_dump():
    with open(source("drivers", "testdata", "example_set.expected"), "rb") as f:
        return f.read()


class KvtoolPdtTest(kvtool_test.KvtoolCase):
    def example_set(self):
        """A copy of the example set in the test's folder; returns its key-text file."""
        folder = self.path("set")
        shutil.copytree(source("examples", "drivers"), folder)
        return os.path.join(folder, "keytexts.txt")

    def test_dump_of_the_example_set(self):
        keys = self.example_set()
        dump = kvtool("dump", "-t", "pdt", keys, "--root", "\\Model", check=0).stdout
        self.assertEqual(dump, expected_dump())
        # Without --root the set lands at the top of the tree.
        top = kvtool("dump", "-t", "pdt", keys, check=0).stdout
        self.assertTrue(top.startswith(b"custom_name{\n Print_Quality{\n"), top[:60])
        # A sub-tree and the JSON form, with the types the conversions give.
        sizes = kvtool("dump", "-t", "pdt", keys, "--root", "\\Model", "--path",
                       "\\Model\\media\\size\\1", check=0).stdout
        self.assertEqual(sizes, 'media_group=5\ncaps_type=0\nname="ISO_A3\n'
                                'localized_name="ISO A3 (297 × 420 mm)\nlandscape_mode=TRUE\n'
                                'media_description_name="ISO_A3\n'.encode())
        tree = json.loads(kvtool("dump", "--json", "-t", "pdt", keys, "--path",
                                 "\\io\\method\\4\\protocol\\1", check=0).stdout)
        self.assertEqual(tree["properties"], [
            {"name": "canonical_name", "type": "string", "value": "7_E_1"},
            {"name": "data_bits", "type": "int", "value": 2},
            {"name": "stop_bits", "type": "int", "value": 0},
            {"name": "parity", "type": "int", "value": 2},
            {"name": "localized_name", "type": "string",
             "value": "7 data bits, even parity, 1 stop bit"},
            {"name": "caps_type", "type": "int", "value": 0}])
        self.assertEqual(kvtool("get", "-t", "pdt", keys, "\\media\\type\\3\\name",
                                check=0).stdout, "Papier_glänzend\n".encode())
        # Custom capabilities keep the type their data type names: raw bytes too.
        table = json.loads(kvtool("dump", "--json", "-t", "pdt", keys, "--path",
                                  "\\custom_name\\Calibration_Table", check=0).stdout)
        self.assertIn({"name": "default_value", "type": "raw", "value": "0A0B"},
                      table["properties"])
        self.assertEqual(kvtool("get", "-t", "pdt", keys,
                                "\\res_color_mem\\rcm_list\\Colour_Normal\\color_depth",
                                check=0).stdout, b"24\n")

    def test_convert_to_every_written_format(self):
        keys = self.example_set()
        expected = expected_dump()
        written = []
        # PIA text is written in UTF-8 and read back so; the other formats
        # carry their own encodings. (DPIA is left out: it keeps the children
        # of the path as sections and loads as its directory, so it is no
        # copy of the tree.)
        utf8 = ["--codepage", "65001"]
        for name, extra, read in [("plain.pia", ["--header", "", "--utf8"], utf8),
                                  ("packed.pia", ["--utf8"], utf8), ("tree.json", [], []),
                                  ("tree.doc", ["--to", "doc"], [])]:
            with self.subTest(output=name):
                result = kvtool("convert", "-t", "pdt", keys, self.path(name), "--root",
                                "\\Model", *extra)
                if result.returncode != 0 and b" 67: " in result.stderr:
                    continue  # a format that this build does not write yet
                self.assertEqual(result.returncode, 0, result.stderr)
                written.append(name)
                if name.endswith(".doc"):
                    # A compound document gives its elements back in its own
                    # order of names: the same tree, in another order.
                    self.assertEqual(
                        in_name_order(kvtool("dump", "--json", self.path(name), check=0).stdout),
                        in_name_order(kvtool(*utf8, "dump", "--json", self.path("plain.pia"),
                                             check=0).stdout))
                    continue
                self.assertEqual(kvtool(*read, "dump", self.path(name), check=0).stdout,
                                 expected)
        self.assertIn("plain.pia", written)
        self.assertIn("tree.json", written)
        # The plain PIA file is the header line, the dump and a zero byte.
        self.assertEqual(self.read("plain.pia"), HEADER + b"\r\n" + expected + b"\0")
        self.assertTrue(self.read("packed.pia").startswith(HEADER + b"compress\r\nkvzlibcodec"))

    def test_version_is_the_version_field_of_the_global_lists(self):
        keys = self.example_set()
        self.assertEqual(kvtool("version", "-t", "pdt", keys, check=0).stdout, b"2.4.0\n")
        lists = os.path.join(os.path.dirname(keys), "Global Static Lists.pdt")
        fields = "\t".join("f%d" % i for i in range(1, 62))
        cases = [
            # A comment ends the field with the blanks before it; CR LF ends the line.
            ("h\r\n" + fields + "\t3.1.4  // release\tmore\r\n", b"3.1.4\n"),
            # The last line may lack its line break; text ends at a zero byte.
            ("h\n" + fields + "\t7.0\x00junk", b"7.0\n"),
            # Without a comment the blanks around the text are the field's.
            ("h\n" + fields + "\t 2.1  \tz\n", b" 2.1  \n"),
            ("h\n" + fields + "\t\xe9 \r\n", "\xe9 \n".encode()),
            ("h\n" + fields + "\t   \n", b"   \n"),
            # Too few fields, no second line, or the field past the 2047-byte cut: empty.
            ("h\n" + fields + "\n", b"\n"),
            ("h only", b"\n"),
            ("h\n" + "x" * 2000 + "\t" + fields + "\t9.9\n", b"\n"),
        ]
        for text, expected in cases:
            with self.subTest(text=text[:20]):
                with open(lists, "wb") as f:
                    f.write(text.encode("latin-1"))
                self.assertEqual(kvtool("version", "-t", "pdt", keys, check=0).stdout, expected)
        os.remove(lists)
        result = kvtool("version", "-t", "pdt", keys)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"Global Static Lists.pdt", result.stderr)
        # A folder in its place cannot be read either: no empty version.
        os.mkdir(lists)
        result = kvtool("version", "-t", "pdt", keys)
        self.assertEqual((result.returncode, result.stdout), (1, b""))
        self.assertIn(b"Global Static Lists.pdt", result.stderr)

    def test_faulty_sets_give_one_line_errors(self):
        keys = self.example_set()
        folder = os.path.dirname(keys)
        os.remove(os.path.join(folder, "Media Stapling.pdt"))
        match = self.assert_library_error(kvtool("dump", "-t", "pdt", keys), "KV_Severe", 63,
                                          "KV_PDTFile::load()")
        self.assertEqual(match.group(6), os.path.join(folder, "Media Stapling.pdt"))
        # The key-text file itself is opened like any file.
        self.assert_library_error(kvtool("dump", "-t", "pdt", self.path("none.txt")),
                                  "KV_Severe", 63, "KV_PIAFile::load()")
        # An empty root is refused after the key-text file is read.
        self.assert_library_error(kvtool("dump", "-t", "pdt", keys, "--root", ""),
                                  "KV_Severe", 51, "KV_PDTFile::load()")
        # A set is a folder: a directory in place of a file.
        os.mkdir(os.path.join(folder, "Media Stapling.pdt"))
        self.assert_library_error(kvtool("dump", "-t", "pdt", keys), "KV_Severe", 68,
                                  "KV_PDTFile::load()")


if __name__ == "__main__":
    kvtool_test.run_tests()
