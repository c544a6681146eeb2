#!/usr/bin/env python3
# Copyright the kvstore authors.
#
# End-to-end tests of kvtool with DPIA files and the Huffman codec.
# Usage: kvtool_dpia_test.py <path of kvtool> <source folder>
#
# Files are parsed and sections inflated here with Python's struct and zlib;
# expected Huffman blocks are laid out by hand from the codec's worked
# examples.
import json
import os
import struct
import zlib

import kvtool_test as base

SECTION_HEADER = b"PIAFILEVERSION_2.0,DPIA_SECTION_1.0,compress\r\n"


def parse_dpia(data):
    """Returns (version word, [(descriptor, info, offset, size)], D)."""
    version, count = struct.unpack_from("<II", data, 0)
    at = 8
    entries = []
    for _ in range(count):
        (length,) = struct.unpack_from("<I", data, at)
        descriptor = data[at + 4:at + 4 + length].decode()
        at += 4 + length
        info = None
        if version == 0x20000:
            (length,) = struct.unpack_from("<I", data, at)
            info = data[at + 4:at + 4 + length].decode()
            at += 4 + length
        offset, size = struct.unpack_from("<II", data, at)
        at += 8
        entries.append((descriptor, info, offset, size))
    return version, entries, at


def section_body(section):
    assert section.startswith(SECTION_HEADER), section[:60]
    n, z, stream, check = base.parse_zlib_block(section[len(SECTION_HEADER):], with_check=True)
    assert z == len(section) - len(SECTION_HEADER) - 23
    assert check == zlib.adler32(stream)
    body = zlib.decompress(stream)
    assert len(body) == n
    return body


def make_section(body):
    stream = zlib.compress(body, 9)
    return (SECTION_HEADER + b"kvzlibcodec" +
            struct.pack("<III", zlib.adler32(stream), len(body), len(stream)) + stream)


def make_dpia_v1(sections):
    """A version 1.0 file: no info texts."""
    directory = struct.pack("<II", 0x10000, len(sections))
    offset = 0
    for descriptor, section in sections:
        name = descriptor.encode()
        directory += struct.pack("<I", len(name)) + name + struct.pack("<II", offset, len(section))
        offset += len(section)
    return directory + b"".join(section for _, section in sections)


def huffman_block(counts, bits, code):
    table = bytearray(1024)
    for symbol, count in counts.items():
        struct.pack_into("<I", table, 4 * ord(symbol), count)
    return b"kvhuffcodec" + bytes(table) + struct.pack("<I", bits) + bytes(code)


class KvtoolDpiaTest(base.KvtoolCase):
    def test_convert_to_dpia_and_read_it_back(self):
        example = os.path.join(base.SOURCE, "examples", "sections.pia")
        out = self.path("profiles.dpia")
        base.kvtool("convert", example, out, "--to", "dpia", check=0)
        data = self.read("profiles.dpia")
        version, entries, d = parse_dpia(data)
        self.assertEqual(version, 0x20000)
        self.assertEqual([(e[0], e[1]) for e in entries], [
            ("draft", "Fast drafts on plain paper"),
            ("photo", "Glossy photo paper, eight passes"),
            ("cad", "Line drawings, thin pens")])
        # The sections follow the directory one after the other, from offset 0.
        offset = 0
        for descriptor, _, at, size in entries:
            self.assertEqual(at, offset, descriptor)
            offset += size
            body = section_body(data[d + at:d + at + size])
            dumped = base.kvtool("dump", example, "--path", "\\%s\\data" % descriptor,
                                 check=0).stdout
            self.assertEqual(body, dumped + b"\0", descriptor)
            # section prints what dump prints of the source sub-tree.
            self.assertEqual(base.kvtool("section", out, descriptor, check=0).stdout, dumped)
        self.assertEqual(d + offset, len(data))

        # dump shows the directory, version the version word.
        self.assertEqual(base.kvtool("dump", out, check=0).stdout,
                         b'DPIA_directory{\n 0{\n  descriptor="draft\n'
                         b'  info="Fast drafts on plain paper\n }\n'
                         b' 1{\n  descriptor="photo\n  info="Glossy photo paper, eight passes\n }\n'
                         b' 2{\n  descriptor="cad\n  info="Line drawings, thin pens\n }\n}\n')
        self.assertEqual(base.kvtool("version", out, check=0).stdout, b"DPIA_VERSION_2.0\n")
        tree = json.loads(base.kvtool("section", out, "photo", "--json", check=0).stdout)
        self.assertEqual([n["name"] for n in tree["nodes"]], ["media", "quality", "colour"])
        self.assertEqual(base.kvtool("--root", "\\p", "section", out, "cad", "--path",
                                     "\\p\\pens\\2", check=0).stdout,
                         b"width=0.35\ncolor=255\n")

        for wrong in ["Photo", "nothing", ""]:
            match = self.assert_library_error(base.kvtool("section", out, wrong), "KV_Severe",
                                              83, "load_section")
            self.assertEqual(match.group(6), wrong or None)

        # The editing commands leave DPIA files alone.
        for command in (["set", out, "\\x", "1"], ["rm", out, "\\DPIA_directory"]):
            result = base.kvtool(*command)
            self.assertEqual(result.returncode, 1)
            self.assertIn(b"does not edit DPIA files", result.stderr)
        self.assertEqual(self.read("profiles.dpia"), data)

        # A node without children gives the version word and N = 0.
        base.kvtool("convert", example, self.path("empty.dpia"), "--path", "\\draft\\data\\media",
                    check=0)
        self.assertEqual(self.read("empty.dpia"), struct.pack("<II", 0x20000, 0))

    def test_hand_made_files(self):
        v1 = self.write("v1.dpia", make_dpia_v1([
            ("first", make_section(b"x=1\n\0")),
            ("Gr\u00f6\u00dfe", make_section(b'n{\nlabel="\xe2\x82\xac\n}\n'))]))
        self.assertEqual(base.kvtool("version", v1, check=0).stdout, b"DPIA_VERSION_1.0\n")
        self.assertEqual(base.kvtool("dump", v1, check=0).stdout,
                         'DPIA_directory{\n 0{\n  descriptor="first\n }\n'
                         ' 1{\n  descriptor="Gr\u00f6\u00dfe\n }\n}\n'.encode())
        self.assertEqual(base.kvtool("section", v1, "Gr\u00f6\u00dfe", check=0).stdout,
                         'n{\n label="\u20ac\n}\n'.encode())

        # A directory entry whose text runs past the end of the file.
        data = bytearray(self.read("v1.dpia"))
        struct.pack_into("<I", data, 8, 0x7FFFFFFF)
        hostile = self.write("hostile.dpia", bytes(data))
        match = self.assert_library_error(base.kvtool("dump", hostile), "KV_Severe", 82,
                                          "KV_DPIAFile::load()")
        self.assertEqual(match.group(6), hostile)
        # An unknown version word: the library reports 69, kvtool's version
        # command refuses it as well.
        data = bytearray(self.read("v1.dpia"))
        data[2] = 3
        unknown = self.write("unknown.dpia", bytes(data))
        self.assert_library_error(base.kvtool("dump", "-t", "dpia", unknown), "GX_Exception", 69,
                                  "KV_DPIAFile::getVersion()")
        result = base.kvtool("version", "-t", "dpia", unknown)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"no DPIA version word", result.stderr)

    def test_huffman_codec(self):
        # The codec's own tests hold every worked example; through the tool,
        # one with codes and the empty input.
        examples = [
            (b"mississippi", huffman_block({"i": 4, "m": 1, "p": 2, "s": 4}, 21,
                                           [0x8F, 0x7A, 0xD0])),
            (b"", huffman_block({}, 0, [0])),
        ]
        for plain, block in examples:
            with self.subTest(plain=plain):
                source = self.write("plain.bin", plain)
                base.kvtool("codec", "huffman", "encode", source, self.path("block.bin"), check=0)
                self.assertEqual(self.read("block.bin"), block)
                base.kvtool("codec", "huffman", "decode", self.path("block.bin"),
                            self.path("back.bin"), check=0)
                self.assertEqual(self.read("back.bin"), plain)

        data = bytes(range(256)) * 16 + b"configuration " * 300
        source = self.write("data.bin", data)
        base.kvtool("codec", "huffman", "encode", source, self.path("data.huf"), check=0)
        base.kvtool("codec", "huffman", "decode", self.path("data.huf"), self.path("data.out"),
                    check=0)
        self.assertEqual(self.read("data.out"), data)

        packed = self.read("data.huf")
        self.write("shifted.huf", b" " + packed)
        self.write("short.huf", packed[:-1])
        for name, ident in [("shifted.huf", 92), ("short.huf", 97)]:
            with self.subTest(block=name):
                result = base.kvtool("codec", "huffman", "decode", self.path(name),
                                     self.path("x.out"))
                self.assert_library_error(result, "KV_Severe", ident, "kv_compress")
        self.assertFalse(os.path.exists(self.path("x.out")))


if __name__ == "__main__":
    base.run_tests()
