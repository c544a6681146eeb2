#!/usr/bin/env python3
# Copyright the kvstore authors.
#
# End-to-end tests of kvtool on temporary files.
# Usage: kvtool_test.py <path of kvtool> <source folder>
#
# Byte-exact expectations come from hand-written files and from Python's own
# zlib, never from kvtool itself.
import json
import os
import re
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

KVTOOL = None
SOURCE = None
ARGUMENTS = {}  # the further command-line values of a suite (run_tests)

# The sanitizer settings of the asan test preset, for runs outside the preset.
SANITIZER_ENV = {
    "ASAN_OPTIONS": "detect_leaks=1:abort_on_error=1:strict_string_checks=1:"
                    "detect_stack_use_after_return=1",
    "UBSAN_OPTIONS": "print_stacktrace=1:halt_on_error=1",
}

HEADER = b"PIAFILEVERSION_2.0,"

# A start node with version 2 and name "Main", a child media with the double
# width 210 and the bool flag, and below it tray with the raw bytes 01 AB.
WORKED_BODY = (b'version=2\nname="Main\nmedia{\n width=210.0\n flag=TRUE\n'
               b' tray{\n  id=\\01AB\\\n }\n}\n')

ERROR_LINE = re.compile(r"^kvtool: \S.*\n$")
LIBRARY_ERROR = re.compile(r"^kvtool: (\w+) (\d+): (.+) \(source (.*)\)( \[(.*)\])?\n$")


def kvtool(*args, check=None):
    env = dict(os.environ)
    for key, value in SANITIZER_ENV.items():
        env.setdefault(key, value)
    # KVTOOL_WRAPPER runs kvtool under a checker (scripts/valgrind.sh sets it).
    wrapper = os.environ.get("KVTOOL_WRAPPER", "").split()
    result = subprocess.run([*wrapper, KVTOOL, *args], capture_output=True, env=env,
                            timeout=600 if wrapper else 60)
    if check is not None and result.returncode != check:
        raise AssertionError("kvtool %s: exit %d, expected %d\nstdout: %r\nstderr: %r" % (
            " ".join(args), result.returncode, check, result.stdout, result.stderr))
    return result


def parse_zlib_block(data, with_check):
    """Returns (N, Z, stream, stored check) of a codec block at data[0:]."""
    assert data[:11] == b"kvzlibcodec", data[:11]
    if with_check:
        check, n, z = struct.unpack_from("<III", data, 11)
        return n, z, data[23:23 + z], check
    n, z = struct.unpack_from("<II", data, 11)
    return n, z, data[19:19 + z], None


def in_name_order(node):
    """A tree of kvtool's JSON form with every node's properties and children
    sorted by name, so that trees loaded in different orders compare equal."""
    out = dict(node)
    if "properties" in out:
        out["properties"] = sorted(out["properties"], key=lambda p: p["name"])
    if "nodes" in out:
        out["nodes"] = sorted((in_name_order(n) for n in out["nodes"]), key=lambda n: n["name"])
    return out


class KvtoolCase(unittest.TestCase):
    """A temporary folder for each test and the checks of kvtool's results;
    the suite of each topic derives from it."""

    def setUp(self):
        self._dir = tempfile.TemporaryDirectory(prefix="kvtool-test-")
        self.dir = self._dir.name

    def tearDown(self):
        self._dir.cleanup()

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode())
        return self.path(name)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def example(self):
        with open(os.path.join(SOURCE, "examples", "printer.pia"), "rb") as f:
            return self.write("printer.pia", f.read())

    def assert_library_error(self, result, cls, ident, source=None):
        self.assertEqual(result.returncode, 1, result.stderr)
        line = result.stderr.decode()
        match = LIBRARY_ERROR.match(line)
        self.assertIsNotNone(match, line)
        self.assertEqual((match.group(1), int(match.group(2))), (cls, ident), line)
        if source is not None:
            self.assertEqual(match.group(4), source, line)
        return match

    def assert_tool_error(self, result, pattern):
        self.assertEqual(result.returncode, 1, result.stderr)
        line = result.stderr.decode()
        self.assertRegex(line, ERROR_LINE)
        self.assertRegex(line, pattern)

    def assert_no_temporaries(self):
        leftovers = [n for n in os.listdir(self.dir) if ".kvtool-" in n]
        self.assertEqual(leftovers, [])


class KvtoolTest(KvtoolCase):
    # ---- dump

    def test_dump_prints_the_body_the_library_writes(self):
        worked = self.write("worked.pia", HEADER + b"\r\n" + WORKED_BODY + b"\0")
        self.assertEqual(kvtool("dump", worked, check=0).stdout, WORKED_BODY)
        # The final zero byte is optional for reading; comments and indents go.
        loose = self.write("loose", HEADER + b"\r\n; comment\n" + WORKED_BODY.replace(b" ", b""))
        self.assertEqual(kvtool("dump", loose, check=0).stdout, WORKED_BODY)
        self.assertEqual(kvtool("dump", worked, "--path", "\\media", check=0).stdout,
                         b"width=210.0\nflag=TRUE\ntray{\n id=\\01AB\\\n}\n")

        tree = json.loads(kvtool("dump", "--json", worked, check=0).stdout)
        self.assertEqual(tree["header"], "")
        self.assertEqual(tree["properties"], [
            {"name": "version", "type": "int", "value": 2},
            {"name": "name", "type": "string", "value": "Main"}])
        media = tree["nodes"][0]
        self.assertEqual(media["name"], "media")
        self.assertEqual(media["properties"], [
            {"name": "width", "type": "double", "value": 210.0},
            {"name": "flag", "type": "bool", "value": True}])
        self.assertEqual(media["nodes"][0]["properties"],
                         [{"name": "id", "type": "raw", "value": "01AB"}])

        # The saved file holds exactly the header, the dumped body and a zero.
        example = self.example()
        body = kvtool("dump", example, check=0).stdout
        kvtool("convert", example, self.path("plain.pia"), "--header", "", check=0)
        self.assertEqual(self.read("plain.pia"), HEADER + b"\r\n" + body + b"\0")

        # A compressed body (its layout is checked by the library's tests)
        # dumps the same.
        kvtool("convert", example, self.path("packed.pia"), "--header", "compress", check=0)
        self.assertEqual(kvtool("dump", self.path("packed.pia"), check=0).stdout, body)

        self.assert_tool_error(kvtool("dump", worked, "--path", "\\media\\width"),
                               r"no node at \\media\\width")

    # ---- convert

    def test_pia_to_json_to_pia_is_byte_identical(self):
        example = self.example()
        for header in ["", "compress", "plotter 2400, compress"]:
            with self.subTest(header=header):
                kvtool("convert", example, self.path("a.pia"), "--header", header, check=0)
                kvtool("convert", self.path("a.pia"), self.path("a.json"), check=0)
                self.assertEqual(json.loads(self.read("a.json"))["header"], header)
                # The header travels in the JSON form: no --header needed.
                kvtool("convert", self.path("a.json"), self.path("b.pia"), check=0)
                self.assertEqual(self.read("b.pia"), self.read("a.pia"))
                self.assertEqual(kvtool("version", self.path("b.pia"), check=0).stdout,
                                 HEADER + header.encode() + b"\n")
        # Without a header anywhere, PIA output is compressed.
        tree = json.loads(self.read("a.json"))
        del tree["header"]
        self.write("c.json", json.dumps(tree))
        kvtool("convert", self.path("c.json"), self.path("c.pia"), check=0)
        self.assertTrue(self.read("c.pia").startswith(HEADER + b"compress\r\nkvzlibcodec"))
        # --to wins over the extension; --path saves a sub-tree.
        kvtool("convert", example, self.path("pens.out"), "--to", "json", "--path", "\\pens",
               check=0)
        pens = json.loads(self.read("pens.out"))
        self.assertEqual(pens["name"], "pens")
        self.assertEqual([n["name"] for n in pens["nodes"]], ["1", "2", "3"])

    def test_json_edits_come_back(self):
        example = self.example()
        kvtool("convert", example, self.path("tree.json"), check=0)
        tree = json.loads(self.read("tree.json"))
        io = next(n for n in tree["nodes"] if n["name"] == "io")
        for prop in io["properties"]:
            if prop["name"] == "baud":
                prop["value"] = 9600
        io["properties"] += [
            {"name": "zero", "type": "double", "value": -0.0},
            {"name": "sum", "type": "double", "value": 0.1 + 0.2},
            {"name": "huge", "type": "double", "value": 1e300},
            {"name": "nan", "type": "double", "value": "nan"},
            {"name": "label", "type": "string", "value": "Größe \u20ac \U0001F5A8"},
            {"name": "legacy", "type": "string", "value": "caf\u00e9", "narrow": True},
            {"name": "min", "type": "int", "value": -2147483648},
            {"name": "key", "type": "raw", "value": "00ff10"},
        ]
        tree["nodes"].append({"name": "empty"})
        self.write("edited.json", json.dumps(tree))

        # PIA text has no form that reads a NaN back.
        io["properties"] = [p for p in io["properties"] if p["name"] != "nan"]
        self.write("finite.json", json.dumps(tree))
        kvtool("convert", self.path("finite.json"), self.path("edited.pia"), check=0)
        pia = self.path("edited.pia")
        self.assertEqual(kvtool("get", pia, "\\io\\baud", check=0).stdout, b"9600\n")
        self.assertEqual(kvtool("get", pia, "\\io\\sum", check=0).stdout,
                         b"0.30000000000 (-#,S,S,STS_8[P)\n")
        self.assertEqual(kvtool("get", pia, "\\io\\key", check=0).stdout, b"00FF10\n")
        self.assertEqual(kvtool("get", pia, "\\io\\min", check=0).stdout, b"-2147483648\n")

        # JSON -> tree -> JSON keeps every value bit for bit, and the order.
        kvtool("convert", self.path("edited.json"), self.path("again.json"), check=0)
        again = json.loads(self.read("again.json"))
        io_again = next(n for n in again["nodes"] if n["name"] == "io")
        values = {p["name"]: p for p in io_again["properties"]}
        self.assertEqual(struct.pack("<d", values["zero"]["value"]), struct.pack("<d", -0.0))
        self.assertEqual(values["sum"]["value"], 0.1 + 0.2)
        self.assertEqual(values["huge"]["value"], 1e300)
        self.assertRegex(values["nan"]["value"], r"^nan \(.{14}\)$")
        self.assertEqual(values["label"]["value"], "Größe \u20ac \U0001F5A8")
        self.assertEqual(values["legacy"], {"name": "legacy", "type": "string",
                                            "value": "caf\u00e9", "narrow": True})
        self.assertEqual(values["key"]["value"], "00FF10")
        self.assertEqual(again["nodes"][-1], {"name": "empty", "properties": [], "nodes": []})
        edited = json.loads(self.read("edited.json"))
        io_edited = next(n for n in edited["nodes"] if n["name"] == "io")
        self.assertEqual([p["name"] for p in io_again["properties"]],
                         [p["name"] for p in io_edited["properties"]])
        kvtool("convert", self.path("again.json"), self.path("third.json"), check=0)
        self.assertEqual(self.read("third.json"), self.read("again.json"))

    # ---- set, rm, get, version

    def test_set_creates_edits_and_keeps_the_header(self):
        new = self.path("new.pia")
        kvtool("set", new, "\\media\\width", "210.0", check=0)
        self.assertEqual(kvtool("version", new, check=0).stdout, HEADER + b"compress\n")
        self.assertEqual(kvtool("get", new, "\\media\\width", check=0).stdout, b"210.0\n")

        plain = self.write("plain.pia", HEADER + b"my printer\r\n" + WORKED_BODY + b"\0")
        os.chmod(plain, 0o640)
        forms = [("5", b"5"), ("-", b"0"), ("2.5", b"2.5"), ('"a text ', b'"a text'),
                 ("true", b"TRUE"), ("\\01AB\\", b"\\01AB\\")]
        for i, (value, written) in enumerate(forms):
            with self.subTest(value=value):
                kvtool("set", plain, "\\f%d" % i, value, check=0)
                data = self.read("plain.pia")
                self.assertTrue(data.startswith(HEADER + b"my printer\r\nversion=2\n"), data)
                self.assertIn(b"\nf%d=%s\n" % (i, written), data)
        typed = [("int", "-7", b"-7"), ("double", "0.30000000000 (-#,S,S,STS_8[P)",
                                          b"0.30000000000 (-#,S,S,STS_8[P)"),
                 ("double", "1e-3", b"0.001"), ("bool", "FALSE", b"FALSE"),
                 ("string", "yes, = and \\", b"yes, = and \\"), ("raw", "0aFF", b"0AFF")]
        for i, (as_type, value, shown) in enumerate(typed):
            with self.subTest(as_type=as_type, value=value):
                name = "\\typed\\t%d" % i
                kvtool("set", plain, name, value, "--as", as_type, check=0)
                self.assertEqual(kvtool("get", plain, name, check=0).stdout, shown + b"\n")

        # A bound type is not changed; the file stays as it was.
        before = self.read("plain.pia")
        self.assert_library_error(kvtool("set", plain, "\\version", "2.5"), "KV_Warning", 54,
                                  "KV_Object::SetData()")
        self.assert_tool_error(kvtool("set", plain, "\\v", "yes"),
                               r'^kvtool: VALUE "yes" is no PIA value: GX_Exception 88: ')
        self.assertEqual(self.read("plain.pia"), before)
        kvtool("set", plain, "\\version", "3", "--header", "compress", check=0)
        self.assertTrue(self.read("plain.pia").startswith(HEADER + b"compress\r\nkvzlibcodec"))
        # The replacement keeps the permission bits of the file it replaced.
        self.assertEqual(os.stat(plain).st_mode & 0o777, 0o640)
        self.assert_no_temporaries()

    def test_rm_get_and_missing_values(self):
        example = self.example()
        kvtool("rm", example, "\\pens\\2", check=0)
        kvtool("rm", example, "\\media\\margin", check=0)
        self.assertEqual(kvtool("dump", example, "--path", "\\pens", check=0).stdout.count(b"{"), 2)
        self.assertNotIn(b"margin=", kvtool("dump", example, check=0).stdout)
        before = self.read("printer.pia")
        self.assert_library_error(kvtool("rm", example, "\\media\\width"), "KV_Warning", 52,
                                  "KV_Object::DeletePath()")
        self.assertEqual(self.read("printer.pia"), before)

        self.assertEqual(kvtool("get", example, "\\io\\port", check=0).stdout,
                         b"usb://plotter-2400\n")
        self.assertEqual(kvtool("get", example, "calibrated", check=0).stdout, b"TRUE\n")
        for missing in ["\\io\\nothing", "\\nowhere\\port", "\\io", "\\"]:
            with self.subTest(path=missing):
                result = kvtool("get", example, missing)
                self.assert_tool_error(result, r"^kvtool: no value at ")
                self.assertEqual(result.stdout, b"")

    def test_recognition_and_code_page(self):
        worked = HEADER + b"\r\n" + WORKED_BODY
        # Content wins over the extension; the extension decides otherwise.
        self.write("looks.json", worked)
        self.assertEqual(kvtool("dump", self.path("looks.json"), check=0).stdout, WORKED_BODY)
        self.write("tree.pia", kvtool("dump", "--json", self.path("looks.json"), check=0).stdout)
        self.assertEqual(kvtool("dump", self.path("tree.pia"), check=0).stdout, WORKED_BODY)
        self.assert_library_error(kvtool("dump", "-t", "pia", self.path("tree.pia")),
                                  "GX_Exception", 89, "KV_PIAFile::getVersion()")
        # Text files are read in the code page that --codepage selects.
        utf8 = self.write("utf8.pia", HEADER + "\r\nsize=\"Größe\n".encode())
        as_1252 = "Größe".encode().decode("cp1252")
        self.assertEqual(kvtool("get", utf8, "\\size", check=0).stdout,
                         (as_1252 + "\n").encode())
        self.assertEqual(kvtool("--codepage", "65001", "get", utf8, "\\size", check=0).stdout,
                         "Größe\n".encode())
        kvtool("convert", utf8, self.path("out.pia"), "--utf8", "--header", "", "--codepage",
               "65001", check=0)
        self.assertEqual(self.read("out.pia"), HEADER + "\r\nsize=\"Größe\n\0".encode())
        # --root places the file's top node.
        self.assertEqual(kvtool("--root", "\\dev", "get", utf8, "\\dev\\size", check=0).stdout,
                         (as_1252 + "\n").encode())

    # ---- failures

    def test_failing_save_leaves_the_old_file(self):
        original = self.example()
        before = self.read("printer.pia")
        # The library refuses to write an empty raw value.
        empty_raw = {"properties": [{"name": "blob", "type": "raw", "value": ""}]}
        self.write("empty.json", json.dumps(empty_raw))
        result = kvtool("convert", self.path("empty.json"), original)
        self.assertEqual(result.returncode, 1)
        self.assertRegex(result.stderr.decode(), r"^kvtool: (KV_Error 53|KV_Warning 59): ")
        self.assertEqual(self.read("printer.pia"), before)
        result = kvtool("set", original, "\\io\\blob", "", "--as", "raw")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(self.read("printer.pia"), before)
        self.assert_no_temporaries()
        # No temporary file can be made where the parent is a regular file.
        self.assert_tool_error(kvtool("convert", original, os.path.join(original, "x.pia")),
                               r"^kvtool: cannot write .*x\.pia")
        self.assert_tool_error(kvtool("codec", "zlib", "encode", original,
                                      os.path.join(original, "x.bin")), r"cannot write")
        self.assertEqual(self.read("printer.pia"), before)

    def test_library_errors_are_one_line(self):
        missing = self.path("missing.pia")
        match = self.assert_library_error(kvtool("dump", missing), "KV_Severe", 63,
                                          "KV_PIAFile::load()")
        self.assertEqual(match.group(6), missing)
        self.assertEqual(match.group(3), "The file or folder does not exist.")
        bad = self.write("bad.pia", HEADER + b"\r\nx=1\nabc\n")
        match = self.assert_library_error(kvtool("dump", bad), "KV_Error", 57,
                                          "KV_PIAFile::load()")
        self.assertEqual(match.group(6), "3, abc, " + bad)

    def test_malformed_json_is_refused(self):
        cases = {
            "truncated": '{"nodes": [',
            "not an object": "[1, 2]",
            "bad type": '{"properties": [{"name": "a", "type": "float", "value": 1}]}',
            "int range": '{"properties": [{"name": "a", "type": "int", "value": 2147483648}]}',
            "int kind": '{"properties": [{"name": "a", "type": "int", "value": 1.5}]}',
            "double text": '{"properties": [{"name": "a", "type": "double", "value": "x"}]}',
            "odd raw": '{"properties": [{"name": "a", "type": "raw", "value": "ABC"}]}',
            "raw digit": '{"properties": [{"name": "a", "type": "raw", "value": "0G"}]}',
            "narrow range": '{"properties": [{"name": "a", "type": "string", "value": "\u20ac",'
                            ' "narrow": true}]}',
            "no value": '{"properties": [{"name": "a", "type": "bool"}]}',
            "unknown member": '{"nodes": [{"name": "a", "propertes": []}]}',
            "path in name": '{"nodes": [{"name": "a\\\\b"}]}',
            "star in name": '{"properties": [{"name": "p*", "type": "bool", "value": true}]}',
            "empty name": '{"nodes": [{"name": ""}]}',
            "too deep": '{"nodes": [' * 300 + "{}" + "]}" * 300,
            "very deep": "[" * 100000 + "]" * 100000,
            "invalid utf-8": b'{"properties": [{"name": "a", "type": "string", "value": "\xff"}]}',
        }
        for name, text in cases.items():
            with self.subTest(case=name):
                path = self.write("bad.json", text)
                result = kvtool("dump", path)
                self.assert_tool_error(result, r"^kvtool: (invalid JSON|JSON (node|property))")

    def test_usage_errors_exit_2(self):
        example = self.example()
        for args in [[], ["frobnicate"], ["dump"], ["dump", example, "-t", "xml"],
                     ["set", example, "\\x"], ["set", example, "\\x", "1", "--as", "float"],
                     ["set", example, "\\x", "1.5", "--as", "int"],
                     ["set", example, "\\x", "2x", "--as", "double"],
                     ["set", example, "\\a*b", "1"], ["set", example, "\\x", "a\nb"],
                     ["convert", example, "out", "--to", "xml"],
                     ["codec", "lzw", "encode", example, "out"],
                     ["--codepage", "99999", "dump", example]]:
            with self.subTest(args=args):
                result = kvtool(*args)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertTrue(result.stderr.startswith(b"kvtool: "), result.stderr)
        for command in ["", "dump", "convert", "get", "set", "rm", "version", "codec"]:
            with self.subTest(help=command):
                result = kvtool(*([command] if command else []), "--help", check=0)
                self.assertIn(b"Usage:", result.stdout)

    # ---- codecs

    def test_codec_blocks_inflate_with_zlib(self):
        data = bytes(range(256)) * 40 + b"configuration" * 100
        source = self.write("data.bin", data)
        kvtool("codec", "zlib", "encode", source, self.path("plain.kvz"), check=0)
        n, z, stream, _ = parse_zlib_block(self.read("plain.kvz"), with_check=False)
        self.assertEqual((n, z, len(self.read("plain.kvz"))), (len(data), len(stream), 19 + z))
        self.assertEqual(zlib.decompress(stream), data)
        kvtool("codec", "zlib", "decode", self.path("plain.kvz"), self.path("back.bin"), check=0)
        self.assertEqual(self.read("back.bin"), data)

        kvtool("codec", "zlib-crc", "encode", source, self.path("crc.kvz"), check=0)
        n, z, stream, check = parse_zlib_block(self.read("crc.kvz"), with_check=True)
        self.assertEqual((n, check), (len(data), zlib.adler32(stream)))
        self.assertEqual(zlib.decompress(stream), data)
        kvtool("codec", "zlib-crc", "decode", self.path("crc.kvz"), self.path("back2.bin"),
               check=0)
        self.assertEqual(self.read("back2.bin"), data)

        empty = self.write("empty.bin", b"")
        kvtool("codec", "zlib", "encode", empty, self.path("empty.kvz"), check=0)
        self.assertEqual(len(self.read("empty.kvz")), 27)
        kvtool("codec", "zlib", "decode", self.path("empty.kvz"), self.path("empty.out"), check=0)
        self.assertEqual(self.read("empty.out"), b"")

        # A block made by Python's zlib decodes; damaged blocks are refused.
        packed = zlib.compress(b"from python", 9)
        self.write("py.kvz", b"kvzlibcodec" + struct.pack("<II", 11, len(packed)) + packed)
        kvtool("codec", "zlib", "decode", self.path("py.kvz"), self.path("py.out"), check=0)
        self.assertEqual(self.read("py.out"), b"from python")
        self.assert_library_error(kvtool("codec", "zlib", "decode", source, self.path("x")),
                                  "KV_Severe", 92, "kv_compress")
        self.write("short.kvz", self.read("plain.kvz")[:-3])
        self.assert_library_error(kvtool("codec", "zlib", "decode", self.path("short.kvz"),
                                         self.path("x")), "KV_Severe", 97, "kv_compress")
        self.assertFalse(os.path.exists(self.path("x")))
        self.assert_no_temporaries()


def run_tests(*extra):
    """Runs the tests of the calling script. Its command line is kvtool, the
    source folder, one value for each name in extra (kept in ARGUMENTS under
    that name), then unittest's own arguments."""
    global KVTOOL, SOURCE
    if len(sys.argv) < 3 + len(extra):
        sys.exit("usage: %s <kvtool> <source folder>%s [unittest arguments]" % (
            os.path.basename(sys.argv[0]), "".join(" <%s>" % e for e in extra)))
    KVTOOL, SOURCE = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    ARGUMENTS.update(zip(extra, sys.argv[3:3 + len(extra)]))
    unittest.main(module="__main__", argv=[sys.argv[0]] + sys.argv[3 + len(extra):], verbosity=2)


if __name__ == "__main__":
    run_tests()
