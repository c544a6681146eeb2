#!/usr/bin/env python3
# Copyright the kvstore authors.
#
# Writes the manual page kvtool.1 from kvtool's own help texts and the
# hand-written sections of kvtool.1.in, so that the page lists exactly the
# commands, arguments and options that `kvtool --help` shows. The build runs
# it whenever kvtool or the template changes:
#
#   make_kvtool_man.py KVTOOL TEMPLATE VERSION OUTPUT
#
# It reads the help layout of CLI11: a description, a "Usage:" line, then
# blocks separated by blank lines; a block whose first line ends with ":" and
# whose other lines are indented is a list ("Options:", "Subcommands:", a named
# option group), any other block is free text (the footer). A list entry is
# "  NAME TYPE   description", the description on the next line, indented,
# when NAME TYPE is long.
import os
import re
import subprocess
import sys

ENTRY = re.compile(r"^  (?P<head>\S(?:.*?\S)?)(?: {2,}(?P<desc>\S.*))?$")
CONTINUATION = re.compile(r"^ {3,}(?P<desc>\S.*)$")
# TYPE, then :{choices} or :CHECK, then =default, then REQUIRED and the like.
HEAD_TAIL = re.compile(r"^(?P<type>[A-Z][A-Z0-9_]*)(?::(?P<check>\{[^}]*\}|\S+?))?"
                       r"(?:=(?P<default>\S*))?(?P<rest>(?: \S+)*)$")


def help_text(kvtool, words):
    env = dict(os.environ)
    # A help text never depends on the terminal; keep the layout fixed.
    env.pop("COLUMNS", None)
    result = subprocess.run([kvtool, *words, "--help"], capture_output=True, env=env,
                            timeout=60, check=False)
    if result.returncode != 0:
        sys.exit("make_kvtool_man: kvtool %s --help failed (%d): %s" % (
            " ".join(words), result.returncode, result.stderr.decode(errors="replace")))
    return result.stdout.decode()


def parse_help(text):
    """Returns (description, usage, [(title, [(head, desc)])], [free paragraphs])."""
    lines = text.splitlines()
    usage_at = next((i for i, line in enumerate(lines) if line.startswith("Usage: ")), None)
    if usage_at is None:
        sys.exit("make_kvtool_man: no Usage line in:\n" + text)
    description = " ".join(line.strip() for line in lines[:usage_at] if line.strip())
    usage = lines[usage_at][len("Usage: "):].strip()

    blocks, block = [], []
    for line in lines[usage_at + 1:] + [""]:
        if line.strip():
            block.append(line)
        elif block:
            blocks.append(block)
            block = []

    sections, free = [], []
    for block in blocks:
        title, body = block[0], block[1:]
        if title.endswith(":") and not title.startswith(" ") and body and all(
                line.startswith("  ") for line in body):
            entries = []
            for line in body:
                more = CONTINUATION.match(line)
                if more:
                    if not entries:
                        sys.exit("make_kvtool_man: description without entry: " + line)
                    head, desc = entries[-1]
                    entries[-1] = (head, (desc + " " if desc else "") + more.group("desc"))
                    continue
                match = ENTRY.match(line)
                if not match:
                    sys.exit("make_kvtool_man: cannot read the help line: " + line)
                entries.append((match.group("head"), match.group("desc") or ""))
            sections.append((title[:-1], entries))
        else:
            free.append(" ".join(line.strip() for line in block))
    return description, usage, sections, free


def roff(text):
    """Escapes text for a roff line (not at the start of a line)."""
    return text.replace("\\", "\\e").replace("-", "\\-")


def roff_line(text):
    line = roff(text)
    return "\\&" + line if line[:1] in (".", "'") else line


def sentence(text):
    text = text.strip()
    return text if not text or text[-1] in ".!?)" else text + "."


def render_head(head, positional):
    """The tag line of one list entry, in roff."""
    name, _, tail = head.partition(" ")
    if positional:
        tag = "\\fI%s\\fR" % roff(name)
    else:
        tag = ", ".join("\\fB%s\\fR" % roff(flag) for flag in name.split(","))
    notes = []
    tail = tail.strip()
    match = HEAD_TAIL.match(tail) if tail else None
    if match:
        tag += " \\fI%s\\fR" % roff(match.group("type")) if not positional else ""
        if match.group("check"):
            check = match.group("check")
            if check.startswith("{"):
                notes.append("one of " + ", ".join(
                    "\\fB%s\\fR" % roff(c) for c in check[1:-1].split(",")))
            else:
                notes.append(roff(check))
        if match.group("default") is not None:
            notes.append("default: \\fB%s\\fR" % roff(match.group("default") or '""'))
        rest = match.group("rest").split()
        if positional and "REQUIRED" not in rest:
            notes.append("optional")
        notes.extend(roff(word.lower()) for word in rest if word != "REQUIRED")
    elif tail:
        notes.append(roff(tail))
    return tag + (" (%s)" % "; ".join(notes) if notes else "")


def render_list(entries, positional):
    out = []
    for head, desc in entries:
        if not positional and head.split(" ")[0] in ("-h,--help", "--help"):
            continue
        out += [".TP", render_head(head, positional), roff_line(sentence(desc))]
    return out


def render_sections(sections):
    """Positionals first, then every list but the subcommands."""
    out = []
    for title, entries in sections:
        if title == "Positionals":
            out += render_list(entries, True)
    for title, entries in sections:
        if title in ("Positionals", "Subcommands"):
            continue
        body = render_list(entries, False)
        if body and title != "Options":
            out += [".PP", "\\fI%s:\\fR" % roff(title)]
        out += body
    return out


def subcommands(sections):
    return [head.split(" ")[0] for title, entries in sections if title == "Subcommands"
            for head, _ in entries]


def render_command(kvtool, words, top_free, out):
    description, usage, sections, free = parse_help(help_text(kvtool, words))
    out += [".SS \"%s\"" % roff(usage).replace('"', '\\(dq'), roff_line(sentence(description))]
    for paragraph in free:
        if paragraph not in top_free:
            out += [".PP", roff_line(paragraph)]
    out += render_sections(sections)
    for name in subcommands(sections):
        render_command(kvtool, words + [name], top_free, out)


def main():
    if len(sys.argv) != 5:
        sys.exit("usage: make_kvtool_man.py KVTOOL TEMPLATE VERSION OUTPUT")
    kvtool, template, version, output = sys.argv[1:]
    description, usage, sections, free = parse_help(help_text(kvtool, []))

    summary = description.rstrip(".")
    summary = summary[:1].lower() + summary[1:]
    notes = []
    for paragraph in free:
        notes += [".PP", roff_line(paragraph)]
    commands = []
    for name in subcommands(sections):
        render_command(kvtool, [name], free, commands)
    if not commands:
        sys.exit("make_kvtool_man: kvtool --help lists no commands")

    with open(template, encoding="utf-8") as f:
        page = f.read()
    fields = {
        "@VERSION@": version,
        "@SUMMARY@": roff(summary),
        "@NOTES@": "\n".join(notes),
        "@GLOBAL_OPTIONS@": "\n".join(render_sections(
            [s for s in sections if s[0] != "Subcommands"])),
        "@COMMANDS@": "\n".join(commands),
    }
    for key, value in fields.items():
        if key not in page:
            sys.exit("make_kvtool_man: the template lacks " + key)
        page = page.replace(key, value)
    temporary = output + ".tmp"
    with open(temporary, "w", encoding="utf-8") as f:
        f.write(page)
    os.replace(temporary, output)


if __name__ == "__main__":
    main()
