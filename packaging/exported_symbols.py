#!/usr/bin/env python3
# Copyright the kvstore authors.
#
# The exported interface of the shared libraries, as a list that does not
# depend on the compiler: the demangled names of the dynamic symbols that
# `nm -D --defined-only` shows, without the instantiations of the standard
# library's templates that a compiler happens to emit (libstdc++ gives its
# namespace default visibility), without the typeinfo of function types that
# UndefinedBehaviorSanitizer adds, and without the toolchain's reserved names
# (_init, __bss_start, ...). Constructors and destructors of every ABI variant
# collapse into one line each.
#
#   exported_symbols.py print LIB...          the list, on standard output
#   exported_symbols.py check LIST LIB...     exit 1 with a diff when they differ
#   exported_symbols.py write LIST LIB...     replace LIST on purpose
#   exported_symbols.py documented LIST DOCS  exit 1 when an exported class or
#                                             function is named nowhere in DOCS
#
# The list has one block per library: a line "[libname.so]", then the names.
# Refresh it after a deliberate change of the interface with
#   cmake --build --preset dev --target refresh_exported_symbols
import difflib
import os
import re
import subprocess
import sys

SPECIAL = re.compile(r"^(typeinfo name for |typeinfo for |vtable for |VTT for |"
                     r"construction vtable for |guard variable for )(?P<rest>.*)$")
THUNK = re.compile(r"^(non-virtual thunk to |virtual thunk to |covariant return thunk to )"
                   r"(?P<rest>.*)$")
# A class or other type named plainly, never a function type or a pointer.
PLAIN_TYPE = re.compile(r"^[A-Za-z]\w*(::[A-Za-z]\w*)*$")
# The qualified name at the start of an entity: Class::member, function,
# operator; a template function's return type would stand before it instead.
QUALIFIED = re.compile(r"^[A-Za-z]\w*(?:\[abi:\w+\])?(?:::~?[A-Za-z]\w*(?:\[abi:\w+\])?)*")
FOREIGN = ("std::", "__gnu_cxx::", "__cxxabiv1::", "decltype(")


def interface_name(demangled):
    """The line of the list for one dynamic symbol, or None when it is not ours."""
    name = demangled.strip()
    if name.startswith("_"):
        return None
    special = SPECIAL.match(name)
    if special:
        rest = special.group("rest")
        if not PLAIN_TYPE.match(rest) or rest.startswith(FOREIGN):
            return None
        return name
    thunk = THUNK.match(name)
    entity = thunk.group("rest") if thunk else name
    qualified = QUALIFIED.match(entity)
    if entity.startswith(FOREIGN) or not qualified:
        return None
    head, rest = qualified.group(0), entity[qualified.end():]
    if head == "operator" or head.endswith("::operator"):
        # operator+(...), Class::operator delete(void*), Class::operator=(...)
        return name if "(" in rest else None
    # function(...), Class::member(...) const, or a variable or C function.
    return name if rest == "" or rest.startswith("(") else None


NM_LINE = re.compile(r"^(?P<name>.+?) (?P<type>[A-Za-z]) [0-9a-fA-F]+(?: [0-9a-fA-F]+)?$")


def library_symbols(path):
    result = subprocess.run(["nm", "-D", "--defined-only", "--format=posix", "-C", path],
                            capture_output=True, check=False)
    if result.returncode != 0:
        sys.exit("exported_symbols: nm failed on %s: %s" % (path, result.stderr.decode()))
    names = set()
    for line in result.stdout.decode().splitlines():
        # "<name> <type> <value> [<size>]", the demangled name may hold blanks.
        match = NM_LINE.match(line)
        if not match:
            sys.exit("exported_symbols: cannot read the nm line: " + line)
        name = interface_name(match.group("name"))
        if name is not None:
            names.add(name)
    return sorted(names)


def listing(libraries):
    lines = []
    for path in libraries:
        # libkvstore.so.0.1.0 and libkvstore.so are the same library.
        lines.append("[%s]" % re.sub(r"\.so(\..*)?$", ".so", os.path.basename(path)))
        lines.extend(library_symbols(path))
    return lines


def read_list(path):
    with open(path, encoding="utf-8") as f:
        return [line.rstrip("\n") for line in f if line.strip() and not line.startswith("#")]


def documented(list_path, docs):
    """Names every exported class and free function that the docs do not mention."""
    text = []
    for folder, _, files in os.walk(docs):
        for name in files:
            if name.endswith(".md"):
                with open(os.path.join(folder, name), encoding="utf-8") as f:
                    text.append(f.read())
    text = "\n".join(text)
    wanted = set()
    for line in read_list(list_path):
        if line.startswith("[") or THUNK.match(line):
            continue
        special = SPECIAL.match(line)
        entity = special.group("rest") if special else line
        head = re.match(r"^(operator\W+|[A-Za-z]\w*)", entity)
        if head:
            wanted.add(head.group(1).split("(")[0])
    return sorted(name for name in wanted
                  if not re.search(r"(?<![\w])%s(?![\w])" % re.escape(name), text))


HEADER = [
    "# The exported interface of the installed libraries, compared by the test",
    "# exported_symbols with the libraries that the build makes. Refresh it only",
    "# for a deliberate change of the interface:",
    "#   cmake --build --preset dev --target refresh_exported_symbols",
]


def main():
    if len(sys.argv) < 3:
        sys.exit("usage: exported_symbols.py print|check|write|documented ...")
    command, args = sys.argv[1], sys.argv[2:]
    if command == "print":
        print("\n".join(listing(args)))
    elif command == "write":
        with open(args[0], "w", encoding="utf-8") as f:
            f.write("\n".join(HEADER + listing(args[1:])) + "\n")
    elif command == "check":
        expected, actual = read_list(args[0]), listing(args[1:])
        if expected != actual:
            sys.stdout.writelines(difflib.unified_diff(
                [line + "\n" for line in expected], [line + "\n" for line in actual],
                fromfile=args[0] + " (committed)", tofile="the libraries just built"))
            print("\nThe exported interface changed. When the change is deliberate, refresh "
                  "the list:\n  cmake --build --preset dev --target refresh_exported_symbols")
            sys.exit(1)
        print("%d exported names, as listed" % sum(1 for x in actual if not x.startswith("[")))
    elif command == "documented":
        missing = documented(args[0], args[1])
        if missing:
            print("exported but named nowhere in %s: %s" % (args[1], ", ".join(missing)))
            sys.exit(1)
        print("every exported class and function is named in the docs")
    else:
        sys.exit("exported_symbols: unknown command " + command)


if __name__ == "__main__":
    main()
