#!/usr/bin/env python3
# Copyright the kvstore authors.
#
# End-to-end tests of kvtool on the older plotter configuration files (PC2,
# CFG, PCP): the examples, recognition by content, --instance, version and
# conversion to PIA and JSON and back.
# Usage: kvtool_legacy_test.py <path of kvtool> <source folder>
import json
import os

import kvtool_test as base
from kvtool_test import kvtool

# Properties that every PC2 or CFG load creates before it reads a key line.
PC2_DEFAULTS = 1418


def properties(body):
    """Full paths of the property lines of a PIA body, with their values."""
    out = {}
    path = []
    for line in body.decode("cp1252").split("\n"):
        text = line.strip(" ")
        if not text:
            continue
        if "=" in text:
            name, value = text.split("=", 1)
            out["\\".join([""] + path + [name])] = value
        elif text.endswith("{"):
            path.append(text[:-1])
        elif text == "}":
            path.pop()
    return out


class KvtoolLegacyTest(base.KvtoolCase):
    def example(self, name):
        with open(os.path.join(base.SOURCE, "examples", name), "rb") as f:
            return self.write(name, f.read())

    def dump(self, *args):
        return properties(kvtool("dump", *args, check=0).stdout)

    def test_examples_dump_convert_and_come_back(self):
        for name, extra in [("plotter.pc2", 0), ("plotters.cfg", 0), ("plot.pcp", None)]:
            with self.subTest(example=name):
                source = self.example(name)
                tree = self.dump(source)
                if extra is not None:
                    self.assertEqual(len(tree), PC2_DEFAULTS + extra)
                for target in ["back.pia", "back.json"]:
                    kvtool("convert", source, self.path(target), check=0)
                    self.assertEqual(self.dump(self.path(target)), tree, target)
                kvtool("convert", self.path("back.json"), self.path("again.pia"), check=0)
                self.assertEqual(self.read("again.pia"), self.read("back.pia"))

    def test_pc2_values_and_version(self):
        source = self.example("plotter.pc2")
        tree = self.dump(source)
        self.assertEqual(tree["\\PlotDriver\\Type"], "4")
        self.assertEqual(tree["\\PlotDriver\\External"], "0")
        self.assertEqual(tree["\\Plotter/Port\\Link"], "-1")
        self.assertEqual(tree["\\Plotter/DriverCustom\\fDither"], "0")
        self.assertEqual(tree["\\Plotter/DriverCustom\\dmFields"], str(0xA30F))
        self.assertEqual(tree["\\Plotter/DriverCustom\\Opaque_C"], '"pen carousel')
        self.assertEqual(tree["\\Plotter/DriverCustom\\Opaque_D"], '"')
        self.assertEqual(tree["\\Plotter/DriverCustom\\PEN#2"], '"red 0.35')
        self.assertEqual(tree["\\Plotter/Device/WidthTable\\Color8"], "1.4")
        self.assertEqual(tree["\\Plotter/Device/WidthTable\\Color9"], "0.0")
        # The raw bytes of the port's control block, checked against the
        # structure they were made from: 28, 9600, 8, 0, 0.
        self.assertEqual(tree["\\Plotter/Port\\DCB"], "\\1C00000080250000080000\\")
        self.assertEqual(tree["\\Plotter/Device\\DriverData"], "\\504C5431\\")  # PLT1
        self.assertEqual(kvtool("get", source, "\\Plotter/Device\\MenuName", check=0).stdout,
                         b"Example 8-pen plotter\n")
        self.assertEqual(kvtool("version", source, check=0).stdout, b"PC2Version 2.1\n")
        self.assertEqual(kvtool("--root", "\\dev", "get", source,
                                "\\dev\\Plotter/User\\BaudRate", check=0).stdout, b"9600\n")

    def test_cfg_instances(self):
        source = self.example("plotters.cfg")
        one = self.dump(source)
        self.assertEqual(one, self.dump("--instance", "1", source))
        two = self.dump("--instance", "2", source)
        self.assertEqual(one["\\PlotDriver\\Type"], "4")
        self.assertEqual(two["\\PlotDriver\\Type"], "7")
        self.assertEqual(one["\\Plotter/Device/PenTable\\Color4"], "5")
        self.assertEqual(two["\\Plotter/Device/PenTable\\Color4"], "0")
        self.assertEqual(two["\\Plotter/DriverCustom\\dmFields"], "41743")
        for tree in (one, two):
            self.assertEqual(tree["\\Plotter/Port\\PortName"], '"LPT1')
        self.assertEqual(len(self.dump("--instance", "3", source)), PC2_DEFAULTS)
        self.assert_tool_error(kvtool("version", source), r"CFG file has no version")

    def test_pcp_values_and_version(self):
        source = self.example("plot.pcp")
        tree = self.dump(source)
        self.assertEqual(tree["\\FAMILY"], '"Example pen plotters')
        self.assertEqual(tree["\\SIZE\\ISO_A1\\X"], "841.0")
        self.assertEqual(tree["\\SCALE\\DUNITS"], "50.0")
        self.assertEqual(tree["\\17\\PEN_NUMBER"], "1")
        self.assertEqual(tree["\\1\\PEN_NUMBER"], "2")
        self.assertEqual(tree["\\7\\PEN_SPEED"], "20")
        self.assertEqual(tree["\\255\\PEN_WEIGHT"], "0.25")
        self.assertEqual(kvtool("version", source, check=0).stdout, b"2.0\n")

    def test_type_recognised_from_the_first_line(self):
        samples = {
            "pc2": b"\n; note\r\npc2version 1\r\n[PlotDriver]\r\nType=3\r\n",
            "cfg": b"; note\n[PlotDriver#1]\nType=3\n",
            "pcp": b";CREATED BY ORVANE 1.0\nROTATE=3\n",
        }
        for kind, data in samples.items():
            with self.subTest(kind=kind):
                plain = self.write("no-extension", data)
                tree = self.dump(plain)
                self.assertEqual(tree.get("\\PlotDriver\\Type", tree.get("\\ROTATE")), "3")
                self.assertEqual(self.dump("-t", kind, plain), tree)
        # Content that says nothing is judged by the extension.
        pcp = self.write("odd.pcp", b";Created by Orvane\nROTATE=4\n")
        self.write("looks.pc2", self.read("odd.pcp"))
        self.assertEqual(self.dump(self.path("looks.pc2"))["\\ROTATE"], "4")
        self.assert_tool_error(kvtool("version", pcp), r"no VERSION line")
        bare = self.write("bare.cfg", b"[Plotter/Port]\nLocal=1\n")
        self.assertEqual(self.dump(bare)["\\Plotter/Port\\Local"], "1")

    def test_errors_of_legacy_files_are_one_line(self):
        bad = self.write("bad.pc2", b"PC2Version 1\n[PlotDriver]\nType=x\n")
        match = self.assert_library_error(kvtool("dump", bad), "GX_Exception", 57,
                                          "KV_PC2File::load()")
        self.assertEqual(match.group(6), "3, Type=x, " + bad)
        missing_version = self.write("nover.pc2", b"[PlotDriver]\nType=1\n")
        self.assert_library_error(kvtool("dump", "-t", "pc2", missing_version), "GX_Exception",
                                  69, "KV_PC2File::getVersion()")
        self.assert_tool_error(kvtool("version", "-t", "pc2", missing_version),
                               r"no PC2 version line")
        early = self.write("early.pcp", b"ROTATE=1\n;Created by Orvane\n")
        self.assert_library_error(kvtool("dump", "-t", "pcp", early), "GX_Exception", 69,
                                  "KV_PCPFile::load()")
        # The formats are read only: saving as one of them is refused.
        source = self.example("plotter.pc2")
        before = self.read("plotter.pc2")
        self.assert_library_error(kvtool("set", source, "\\PlotDriver\\Type", "5"),
                                  "KV_Warning", 67, "KV_Object::save()")
        self.assertEqual(self.read("plotter.pc2"), before)
        self.assert_no_temporaries()
        result = kvtool("--section", "2", "dump", source)
        self.assertEqual(result.returncode, 2, result.stderr)

    def test_json_of_a_pcp_file_keeps_types(self):
        source = self.example("plot.pcp")
        document = json.loads(kvtool("dump", "--json", source, check=0).stdout)
        by_name = {p["name"]: p for p in document["properties"]}
        self.assertEqual(by_name["VERSION"]["type"], "double")
        self.assertEqual(by_name["ROTATE"]["type"], "int")
        self.assertEqual(by_name["UNITS"]["type"], "string")


if __name__ == "__main__":
    base.run_tests()
