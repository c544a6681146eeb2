#!/usr/bin/env python3
# Copyright the kvstore authors.
#
# End-to-end tests of kvtool on DOC compound documents.
# Usage: kvtool_doc_test.py <path of kvtool> <source folder>
#
# Byte-exact expectations come from the layout of a property stream (type,
# count, data) and from python3-olefile and gsf reading the files, never from
# kvtool itself. The independent readers run on the Debian interpreter
# (/usr/bin/python3); their checks are skipped, with a message, where they
# are not installed.
import json
import os
import shutil
import struct
import subprocess

import kvtool_test
from kvtool_test import kvtool

DEBIAN_PYTHON = "/usr/bin/python3"
SIGNATURE = bytes.fromhex("D0CF11E0A1B11AE1")


def have_olefile():
    try:
        return subprocess.run([DEBIAN_PYTHON, "-c", "import olefile"],
                              capture_output=True).returncode == 0
    except OSError:
        return False


HAVE_OLEFILE = have_olefile()
HAVE_GSF = shutil.which("gsf") is not None


def prop_stream(kind, data):
    """A property stream: the type, the count and the data."""
    return struct.pack("<II", kind, len(data)) + data


class KvtoolDocTest(kvtool_test.KvtoolCase):
    def olefile(self, name):
        """The file as olefile lists it: {path: bytes or None for storages}."""
        if not HAVE_OLEFILE:
            self.skipTest("python3-olefile is not installed (apt-get install python3-olefile)")
        script = os.path.join(kvtool_test.SOURCE, "platform", "testdata", "cfb_olefile_list.py")
        result = subprocess.run([DEBIAN_PYTHON, script, self.path(name)], capture_output=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        return result.stdout.decode()

    def gsf(self, *args):
        if not HAVE_GSF:
            self.skipTest("gsf is not installed (apt-get install libgsf-bin)")
        return subprocess.run(["gsf", *args], capture_output=True)

    def json_tree(self, name):
        """The file's tree, as kvtool's JSON form, without its name and header."""
        tree = json.loads(kvtool("dump", "--json", self.path(name), check=0).stdout)
        return kvtool_test.in_name_order({k: v for k, v in tree.items() if k not in ("name", "header")})

    def test_convert_to_doc_and_back(self):
        example = self.example()
        kvtool("convert", example, self.path("printer.doc"), check=0)
        kvtool("convert", "--to", "doc", example, self.path("printer.out"), check=0)
        for name in ("printer.doc", "printer.out"):
            self.assertEqual(self.read(name)[:8], SIGNATURE)
            self.assertEqual(kvtool("version", self.path(name), check=0).stdout, b"1.000000\n")
        self.assertEqual(self.read("printer.doc"), self.read("printer.out"))
        # The same tree, loaded in the document's order of names.
        self.assertEqual(self.json_tree("printer.doc"), self.json_tree("printer.pia"))
        kvtool("convert", self.path("printer.doc"), self.path("again.pia"), check=0)
        self.assertEqual(self.json_tree("again.pia"), self.json_tree("printer.pia"))
        # A sub-tree saves as a document of its own.
        kvtool("convert", example, self.path("io.doc"), "--path", "\\io", check=0)
        io = next(n for n in self.json_tree("printer.pia")["nodes"] if n["name"] == "io")
        self.assertEqual(self.json_tree("io.doc"), {k: v for k, v in io.items() if k != "name"})
        self.assert_no_temporaries()

    def test_documents_read_the_same_in_olefile_and_gsf(self):
        example = self.example()
        kvtool("convert", example, self.path("printer.doc"), check=0)
        listing = self.olefile("printer.doc")
        lines = listing.splitlines()
        # Every stream of the tool's file, with the bytes of its property.
        for line in lines:
            self.assertRegex(line, r"^(D [^ ]+|S [^ ]+ \d+ [0-9a-f]{64})$")
        self.assertIn("D io", lines)
        import hashlib
        baud = prop_stream(1, struct.pack("<i", 115200))
        self.assertIn("S io/baud %d %s" % (len(baud), hashlib.sha256(baud).hexdigest()), lines)
        version = bytes.fromhex("0000803f")
        self.assertIn("S Version 4 %s" % hashlib.sha256(version).hexdigest(), lines)
        listed = self.gsf("list", self.path("printer.doc"))
        self.assertEqual((listed.returncode, listed.stderr), (0, b""))
        self.assertIn(b" io/baud\n", listed.stdout)
        cat = self.gsf("cat", self.path("printer.doc"), "io/baud")
        self.assertEqual(cat.stdout, baud)
        dump = self.gsf("dump", self.path("printer.doc"), "io/baud")
        self.assertEqual(dump.returncode, 0)
        self.assertIn(b"01 00 00 00 04 00 00 00 00 c2 01 00", dump.stdout.lower())

    def test_set_get_rm_keep_the_file_a_document(self):
        doc = self.path("device.doc")
        # A new file named .doc is created as a document.
        kvtool("set", doc, "\\media\\width", "210.5", check=0)
        kvtool("set", doc, "\\media\\name", "ISO A4", "--as", "string", check=0)
        kvtool("set", doc, "\\raw", "01ABFF", "--as", "raw", check=0)
        self.assertEqual(self.read("device.doc")[:8], SIGNATURE)
        self.assertEqual(kvtool("get", doc, "\\media\\width", check=0).stdout, b"210.5\n")
        self.assertEqual(kvtool("get", doc, "\\media\\name", check=0).stdout, b"ISO A4\n")
        self.assertEqual(kvtool("get", doc, "\\raw", check=0).stdout, b"01ABFF\n")
        kvtool("rm", doc, "\\media\\name", check=0)
        self.assert_tool_error(kvtool("get", doc, "\\media\\name"), r"^kvtool: no value at ")
        self.assertEqual(self.read("device.doc")[:8], SIGNATURE)
        self.assertEqual(kvtool("dump", doc, check=0).stdout,
                         b"raw=\\01ABFF\\\nmedia{\n width=210.5\n}\n")
        # Recognised by its signature whatever its name; -t doc says so too.
        os.rename(doc, self.path("device.pia"))
        self.assertEqual(kvtool("get", self.path("device.pia"), "\\raw", check=0).stdout,
                         b"01ABFF\n")
        self.assertEqual(kvtool("version", "-t", "doc", self.path("device.pia"), check=0).stdout,
                         b"1.000000\n")
        # -t doc on a file that is no document.
        example = self.example()
        match = self.assert_library_error(kvtool("dump", "-t", "doc", example), "KV_Severe", 56,
                                          "KV_DOCFile::open()")
        self.assertEqual(match.group(6), example)
        self.assert_no_temporaries()

    def test_refused_saves_leave_the_document_as_it_was(self):
        doc = self.path("device.doc")
        kvtool("set", doc, "\\a", "1", check=0)
        before = self.read("device.doc")
        # A name that a document cannot hold, and a value over 1024 bytes.
        self.assert_library_error(kvtool("set", doc, "\\x:y", "2"), "KV_Severe", 60,
                                  "KV_DOCFile::save()")
        self.assert_library_error(kvtool("set", doc, "\\big", "AB" * 1025, "--as", "raw"),
                                  "KV_Warning", 58, "KV_Property::GetData()")
        self.assertEqual(self.read("device.doc"), before)
        self.assert_no_temporaries()

    def test_damaged_documents_give_one_line_errors(self):
        doc = self.path("device.doc")
        kvtool("set", doc, "\\a", "1", check=0)
        data = bytearray(self.read("device.doc"))
        data[0x204:0x208] = struct.pack("<I", 1)  # the directory chain loops
        self.write("loop.doc", bytes(data))
        self.assert_library_error(kvtool("dump", self.path("loop.doc")), "KV_Severe", 56,
                                  "KV_DOCFile::open()")
        self.write("short.doc", self.read("device.doc")[:600])
        self.assert_library_error(kvtool("dump", self.path("short.doc")), "KV_Severe", 56,
                                  "KV_DOCFile::open()")

    def test_documents_of_the_second_writer(self):
        if not HAVE_OLEFILE:
            self.skipTest("python3-olefile is not installed: the second writer runs beside it")
        layout = [
            {"path": ["Version"], "hex": "0000803f"},
            {"path": ["pens"], "storage": True},
            {"path": ["pens", "1"], "storage": True},
            {"path": ["pens", "1", "width"], "hex": prop_stream(2, struct.pack("<d", 0.35)).hex()},
            {"path": ["pens", "1", "label"], "hex": prop_stream(3, b"fine").hex()},
            {"path": ["count"], "hex": prop_stream(1, struct.pack("<i", -3)).hex()},
        ]
        self.write("layout.json", json.dumps(layout))
        script = os.path.join(kvtool_test.SOURCE, "platform", "testdata", "cfb_second_writer.py")
        subprocess.run([DEBIAN_PYTHON, script, self.path("layout.json"), self.path("other.doc")],
                       check=True)
        self.assertEqual(kvtool("dump", self.path("other.doc"), check=0).stdout,
                         b'count=-3\npens{\n 1{\n  label="fine\n  width=0.35\n }\n}\n')


if __name__ == "__main__":
    kvtool_test.run_tests()
