#!/usr/bin/env python3
# Copyright the kvstore authors.
#
# kvtool --version, and the manual page against kvtool --help: every command,
# positional argument and option that the help texts show must appear in the
# page, under its command, and the page must render without a warning.
# Usage: kvtool_manual_test.py <kvtool> <source folder> <kvtool.1> <version>
import os
import re
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import kvtool_test as base  # noqa: E402  (the shared helpers)


def man_page():
    return os.path.abspath(base.ARGUMENTS["kvtool.1"])


def version():
    return base.ARGUMENTS["version"]


def help_blocks(text):
    """The lists of a help text: {title: [first word of each entry]}."""
    blocks, title = {}, None
    for line in text.splitlines():
        if re.match(r"^\S.*:$", line):
            title = line[:-1]
            blocks[title] = []
        elif title and re.match(r"^  \S", line):
            blocks[title].append(line.split()[0])
        elif not line.strip():
            title = None
    return blocks


def commands(words=()):
    """Every command path that kvtool --help shows, nested ones included."""
    out = base.kvtool(*words, "--help", check=0).stdout.decode()
    found = []
    for name in help_blocks(out).get("Subcommands", []):
        found.append(words + (name,))
        found.extend(commands(words + (name,)))
    return found


def render(page):
    env = dict(os.environ, MANPAGER="cat", PAGER="cat", MANWIDTH="200", LC_ALL="C.UTF-8")
    result = subprocess.run(["man", "--warnings", "-l", page], capture_output=True, env=env,
                            timeout=60, check=False)
    return result.returncode, result.stdout.decode(), result.stderr.decode()


class ManualTest(unittest.TestCase):
    def test_version_names_the_library_version(self):
        result = base.kvtool("--version", check=0)
        self.assertEqual(result.stdout.decode(), "kvtool (kvstore) %s\n" % version())
        self.assertEqual(result.stderr, b"")
        # --version wins over a missing command, as --help does.
        self.assertEqual(base.kvtool("--version", "dump", check=0).stdout, result.stdout)

    def test_page_renders_without_warnings(self):
        code, text, warnings = render(man_page())
        self.assertEqual((code, warnings), (0, ""))
        self.assertRegex(text, r"^KVTOOL\(1\)")
        self.assertIn("kvstore %s" % version(), text)
        for section in ("NAME", "SYNOPSIS", "DESCRIPTION", "GLOBAL OPTIONS", "COMMANDS",
                        "EXIT STATUS", "EXAMPLES"):
            self.assertRegex(text, re.compile(r"^%s$" % section, re.M))

    def test_page_lists_everything_that_help_shows(self):
        _, text, _ = render(man_page())
        # The rendered page, cut into the part before the commands and one
        # part per command heading ("   kvtool dump [OPTIONS] FILE").
        parts = re.split(r"^   (kvtool(?: [a-z][\w-]*)+)(?: .*)?$", text, flags=re.M)
        sections = {"": parts[0]}
        for i in range(1, len(parts) - 1, 2):
            sections[parts[i]] = parts[i + 1]

        top = base.kvtool("--help", check=0).stdout.decode()
        for option in help_blocks(top).get("Options", []):
            for flag in option.split(","):
                if flag not in ("-h", "--help"):
                    self.assertIn(flag, sections[""], "global option %s" % flag)

        found = commands()
        self.assertGreaterEqual(len(found), 7)
        for words in found:
            heading = "kvtool " + " ".join(words)
            self.assertIn(heading, sections, "command %s has no section" % heading)
            blocks = help_blocks(base.kvtool(*words, "--help", check=0).stdout.decode())
            for title, entries in blocks.items():
                if title == "Subcommands":
                    continue
                for entry in entries:
                    for flag in entry.split(","):
                        if flag in ("-h", "--help"):
                            continue
                        self.assertRegex(sections[heading], r"(?<![\w-])%s(?![\w-])" %
                                         re.escape(flag), "%s of %s" % (flag, heading))


if __name__ == "__main__":
    base.run_tests("kvtool.1", "version")
