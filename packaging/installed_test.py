#!/usr/bin/env python3
# Copyright the kvstore authors.
#
# Tests of an installed kvstore, run by CTest in three steps:
#   install       cmake --install into a fresh prefix; every file in its place,
#                 the sonames and run paths, nothing that names the build
#                 tree, kvtool and its manual page working from the prefix
#   find_package  a host project outside the tree, configured with
#                 find_package(kvstore CONFIG) against the prefix, built and
#                 run; the package's version rule
#   pkg_config    the same host built with pkg-config --cflags --libs kvstore
#
# installed_test.py --build DIR --source DIR --prefix DIR --version X.Y.Z
#                   --cxx COMPILER [--cxxflags=FLAGS] [--ldflags=FLAGS]
#                   --cmake CMAKE --generator NAME STEP
#
# Everything runs with LD_LIBRARY_PATH removed, so that the libraries are
# found the way a host finds them: through the run paths that the install
# wrote.
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

# What the host (consumer/host.cc) prints for examples/printer.pia; the values
# are those written by hand in that file.
HOST_OUTPUT = re.compile(
    r"^kvstore (?P<version>\S+)\n"
    r"model: Example Plotter 2400\n"
    r"firmware: 412\n"
    r"ISO_A1 width: 594\.0\n"
    r"reloaded ISO_A1 width: 594\.0\n"
    r"error 54: (?P<text>\S.*)\n$")

OPTIONS = None


def clean_env(**extra):
    env = {k: v for k, v in os.environ.items()
           if k not in ("LD_LIBRARY_PATH", "LD_PRELOAD", "PKG_CONFIG_PATH", "CMAKE_PREFIX_PATH")}
    env.update(extra)
    return env


def run(args, env=None, cwd=None, expect=0):
    result = subprocess.run([str(a) for a in args], capture_output=True, env=env or clean_env(),
                            cwd=cwd, timeout=300, check=False)
    if expect is not None and result.returncode != expect:
        sys.exit("FAILED: %s\nexit %d (expected %d)\nstdout:\n%s\nstderr:\n%s" % (
            " ".join(str(a) for a in args), result.returncode, expect,
            result.stdout.decode(errors="replace"), result.stderr.decode(errors="replace")))
    return result


def check(condition, message):
    if not condition:
        sys.exit("FAILED: " + message)


def prefix_path(*parts):
    return os.path.join(OPTIONS.prefix, *parts)


def libdir():
    """The library folder of the prefix, as the package placed it."""
    for folder, _, files in os.walk(OPTIONS.prefix):
        if "kvstore.pc" in files:
            return os.path.dirname(folder)
    sys.exit("FAILED: no kvstore.pc under " + OPTIONS.prefix)


def dynamic_section(path):
    out = run(["readelf", "-d", path]).stdout.decode()
    tags = {}
    for tag, value in re.findall(r"\((\w+)\)\s+.*?\[(.*)\]", out):
        tags.setdefault(tag, []).append(value)
    return tags


def is_elf(path):
    with open(path, "rb") as f:
        return f.read(4) == b"\x7fELF"


def without_debug_info(path, scratch):
    """The bytes of an ELF file without its debug sections, which name the
    folders of the compilation and nothing that the file uses."""
    copy = os.path.join(scratch, "stripped")
    run(["objcopy", "--strip-debug", path, copy])
    with open(copy, "rb") as f:
        return f.read()


def major_minor_patch():
    return [int(n) for n in OPTIONS.version.split(".")]


# ---- install


def step_install():
    shutil.rmtree(OPTIONS.prefix, ignore_errors=True)
    run([OPTIONS.cmake, "--install", OPTIONS.build, "--prefix", OPTIONS.prefix])
    lib = libdir()
    rel_lib = os.path.relpath(lib, OPTIONS.prefix)
    major = major_minor_patch()[0]

    # Every file in its place, and nothing else.
    headers = sorted(n for n in os.listdir(os.path.join(OPTIONS.source, "include", "kvstore"))
                     if n.endswith(".h"))
    expected = {
        os.path.join(rel_lib, "libkvstore.so.%s" % OPTIONS.version),
        os.path.join(rel_lib, "libkvstore.so.%d" % major),
        os.path.join(rel_lib, "libkvstore.so"),
        os.path.join(rel_lib, "libkvres14.so"),
        os.path.join(rel_lib, "cmake", "kvstore", "kvstoreConfig.cmake"),
        os.path.join(rel_lib, "cmake", "kvstore", "kvstoreConfigVersion.cmake"),
        os.path.join(rel_lib, "cmake", "kvstore", "kvstoreTargets.cmake"),
        os.path.join(rel_lib, "pkgconfig", "kvstore.pc"),
        os.path.join("bin", "kvtool"),
        os.path.join("share", "man", "man1", "kvtool.1"),
    } | {os.path.join("include", "kvstore", h) for h in headers + ["kv_version.h"]}
    docdir = os.path.join("share", "doc", "kvstore")
    expected |= {os.path.join(docdir, n) for n in ("README.md", "CHANGELOG.md")}
    for folder, _, files in os.walk(os.path.join(OPTIONS.source, "docs")):
        expected |= {os.path.join(docdir, os.path.relpath(os.path.join(folder, n), OPTIONS.source))
                     for n in files if n.endswith(".md")}
    installed = set()
    for folder, _, files in os.walk(OPTIONS.prefix):
        for name in files:
            installed.add(os.path.relpath(os.path.join(folder, name), OPTIONS.prefix))
    missing = sorted(expected - installed)
    extra = sorted(p for p in installed - expected
                   if not re.fullmatch(r".*/kvstoreTargets-\w+\.cmake", p))
    check(not missing, "not installed: %s" % missing)
    check(not extra, "installed but not expected: %s" % extra)

    # The soname chain, and the run paths that find the message library and
    # the library itself from the prefix.
    so = os.path.join(lib, "libkvstore.so")
    check(os.readlink(so) == "libkvstore.so.%d" % major, "libkvstore.so -> " + os.readlink(so))
    check(os.readlink(so + ".%d" % major) == "libkvstore.so.%s" % OPTIONS.version,
          "libkvstore.so.%d -> %s" % (major, os.readlink(so + ".%d" % major)))
    tags = dynamic_section(so + "." + OPTIONS.version)
    check(tags.get("SONAME") == ["libkvstore.so.%d" % major], "soname %s" % tags.get("SONAME"))
    check(tags.get("RUNPATH", tags.get("RPATH")) == ["$ORIGIN"],
          "libkvstore run path %s" % tags.get("RUNPATH"))
    tags = dynamic_section(prefix_path("bin", "kvtool"))
    check(tags.get("RUNPATH", tags.get("RPATH")) == ["$ORIGIN/" + os.path.relpath(
        lib, prefix_path("bin"))], "kvtool run path %s" % tags.get("RUNPATH"))

    # Nothing installed names the build tree (debug information aside). The
    # prefix of this test lies inside the build tree; naming the prefix is
    # fine.
    build = os.path.realpath(OPTIONS.build).encode()
    prefix = os.path.realpath(OPTIONS.prefix).encode()
    with tempfile.TemporaryDirectory() as scratch:
        for path in sorted(installed):
            full = prefix_path(path)
            if os.path.islink(full):
                continue
            if is_elf(full):
                data = without_debug_info(full, scratch)
            else:
                with open(full, "rb") as f:
                    data = f.read()
            check(build not in data.replace(prefix, b""), "%s names the build tree %s" % (path, build.decode()))

    # The pkg-config file names this prefix.
    with open(os.path.join(lib, "pkgconfig", "kvstore.pc"), encoding="utf-8") as f:
        pc = f.read()
    check("prefix=%s\n" % OPTIONS.prefix in pc, "kvstore.pc does not name the prefix:\n" + pc)

    # kvtool from the prefix: its version, a file, an error with its text.
    kvtool = prefix_path("bin", "kvtool")
    out = run([kvtool, "--version"]).stdout.decode()
    check(out == "kvtool (kvstore) %s\n" % OPTIONS.version, "kvtool --version: " + out)
    example = os.path.join(OPTIONS.source, "examples", "printer.pia")
    out = run([kvtool, "get", example, "\\media\\sizes\\ISO_A1\\width"]).stdout.decode()
    check(out == "594.0\n", "kvtool get: " + out)
    with tempfile.TemporaryDirectory() as scratch:
        err = run([kvtool, "dump", os.path.join(scratch, "missing.pia")],
                  cwd=scratch, expect=1).stderr.decode()
    check(re.match(r"^kvtool: KV_Severe 63: [^(]\S", err) is not None,
          "kvtool's error has no message text (libkvres14.so not found): " + err)

    # The manual page, read by man from the file and from the prefix's tree.
    env = clean_env(MANPAGER="cat", PAGER="cat", MANWIDTH="80", LC_ALL="C.UTF-8")
    page = run(["man", "-l", prefix_path("share", "man", "man1", "kvtool.1")],
               env=env).stdout.decode()
    check(re.search(r"^KVTOOL\(1\)", page, re.M) and "SYNOPSIS" in page and "COMMANDS" in page,
          "man -l shows no kvtool page:\n" + page[:2000])
    check(OPTIONS.version in page, "the manual page does not name version " + OPTIONS.version)

    # The documentation's links between its pages still hold where installed.
    for path in sorted(p for p in installed if p.startswith(docdir) and p.endswith(".md")):
        with open(prefix_path(path), encoding="utf-8") as f:
            text = f.read()
        for target in re.findall(r"\]\(([^)#:]+\.md)(?:#[^)]*)?\)", text):
            linked = os.path.normpath(os.path.join(os.path.dirname(path), target))
            # The index links the page of every format and codec; each page
            # comes with its format, so those of formats still to come may be
            # missing.
            pending = os.path.dirname(linked) in (os.path.join(docdir, "docs", "formats"),
                                                  os.path.join(docdir, "docs", "codecs"))
            check(linked in installed or pending,
                  "%s links to %s, which is not installed" % (path, target))
    by_name = run(["man", "-M", prefix_path("share", "man"), "kvtool"], env=env).stdout.decode()
    check(by_name == page, "man -M <prefix>/share/man kvtool shows another page")
    print("installed into %s: %d files in place" % (OPTIONS.prefix, len(installed)))


# ---- the hosts


def scratch_dir(name):
    path = os.path.join(os.path.dirname(OPTIONS.prefix), name)
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def run_host(host, work):
    example = os.path.join(OPTIONS.source, "examples", "printer.pia")
    out = run([host, example, os.path.join(work, "media.pia")], cwd=work).stdout.decode()
    match = HOST_OUTPUT.match(out)
    check(match is not None, "the host printed:\n" + out)
    check(match.group("version") == OPTIONS.version, "the host runs version " +
          match.group("version"))
    # The library resolved from the prefix, not from the build tree.
    maps = run(["ldd", host]).stdout.decode()
    check(os.path.realpath(libdir()) in maps or libdir() in maps,
          "the host does not load the installed libkvstore:\n" + maps)


def configure_host(work, version, expect=0):
    return run([OPTIONS.cmake, "-S", os.path.join(OPTIONS.source, "packaging", "consumer"),
                "-B", work, "-G", OPTIONS.generator, "-DCMAKE_CXX_COMPILER=" + OPTIONS.cxx,
                "-DCMAKE_PREFIX_PATH=" + OPTIONS.prefix, "-DKV_REQUIRED_VERSION=" + version,
                "-DCMAKE_CXX_FLAGS=" + OPTIONS.cxxflags,
                "-DCMAKE_EXE_LINKER_FLAGS=" + OPTIONS.ldflags,
                "-DCMAKE_BUILD_TYPE=Release"], expect=expect)


def compatible(requested):
    """Whether the installed package's version file accepts a request for
    version requested, asked the way find_package asks it."""
    version_file = os.path.join(libdir(), "cmake", "kvstore", "kvstoreConfigVersion.cmake")
    with tempfile.TemporaryDirectory() as scratch:
        script = os.path.join(scratch, "ask.cmake")
        parts = (requested.split(".") + ["0", "0"])[:3]
        with open(script, "w", encoding="utf-8") as f:
            f.write('set(PACKAGE_FIND_VERSION "%s")\n' % requested)
            for name, value in zip(("MAJOR", "MINOR", "PATCH"), parts):
                f.write('set(PACKAGE_FIND_VERSION_%s %s)\n' % (name, value))
            f.write('set(PACKAGE_FIND_VERSION_COUNT %d)\n' % len(requested.split(".")))
            f.write('set(CMAKE_SIZEOF_VOID_P 8)\n')
            f.write('include("%s")\n' % version_file)
            f.write('message("compatible=${PACKAGE_VERSION_COMPATIBLE}")\n')
        out = run([OPTIONS.cmake, "-P", script]).stderr.decode()
    match = re.search(r"compatible=(\S*)", out)
    check(match is not None, "the version file answered nothing: " + out)
    return match.group(1) in ("TRUE", "1", "ON")


def step_find_package():
    major, minor, patch = major_minor_patch()
    work = scratch_dir("host-find_package")
    build = os.path.join(work, "build")
    configure_host(build, "%d.%d" % (major, minor))
    run([OPTIONS.cmake, "--build", build])
    run_host(os.path.join(build, "host"), work)

    # The compatibility rule: same major version, not newer than installed.
    accepted = ["%d" % major, "%d.%d" % (major, minor), "%d.%d.%d" % (major, minor, patch)]
    refused = ["%d.%d" % (major, minor + 1), "%d.0" % (major + 1)]
    if patch > 0:
        accepted.append("%d.%d.%d" % (major, minor, patch - 1))
    if minor > 0:
        accepted.append("%d.%d" % (major, minor - 1))
    if major > 0:
        refused.append("%d.0" % (major - 1))
    for version in accepted:
        check(compatible(version), "a request for %s is refused" % version)
    for version in refused:
        check(not compatible(version), "a request for %s is accepted" % version)
    # And find_package itself refuses an incompatible request.
    failed = configure_host(os.path.join(work, "refused"), "%d.0" % (major + 1), expect=None)
    check(failed.returncode != 0 and b"compatible with requested version" in failed.stderr,
          "find_package(kvstore %d.0) did not fail on the version" % (major + 1))
    print("find_package host runs; versions %s accepted, %s refused" % (accepted, refused))


def step_pkg_config():
    work = scratch_dir("host-pkg_config")
    env = clean_env(PKG_CONFIG_PATH=os.path.join(libdir(), "pkgconfig"))
    version = run(["pkg-config", "--modversion", "kvstore"], env=env).stdout.decode().strip()
    check(version == OPTIONS.version, "pkg-config --modversion: " + version)
    flags = run(["pkg-config", "--cflags", "--libs", "kvstore"], env=env).stdout.decode().split()
    check("-I" + prefix_path("include") in flags and "-L" + libdir() in flags and
          "-lkvstore" in flags, "pkg-config --cflags --libs: %s" % flags)
    lib = run(["pkg-config", "--variable=libdir", "kvstore"], env=env).stdout.decode().strip()
    host = os.path.join(work, "host")
    # A prefix outside the linker's search path: the host records it as its
    # run path, as a host of such a prefix does.
    run([OPTIONS.cxx, "-std=c++17", "-Wall", "-Wextra", "-Werror", *OPTIONS.cxxflags.split(),
         "-o", host, os.path.join(OPTIONS.source, "packaging", "consumer", "host.cc"), *flags,
         *OPTIONS.ldflags.split(), "-Wl,-rpath," + lib], env=env)
    run_host(host, work)
    print("pkg-config host runs with %s" % " ".join(flags))


def main():
    global OPTIONS
    parser = argparse.ArgumentParser()
    for name in ("build", "source", "prefix", "version", "cxx", "cmake", "generator"):
        parser.add_argument("--" + name, required=True)
    # The compiler and linker flags of the build (the sanitizers of the asan
    # preset), for the hosts.
    parser.add_argument("--cxxflags", default="")
    parser.add_argument("--ldflags", default="")
    parser.add_argument("step", choices=["install", "find_package", "pkg_config"])
    OPTIONS = parser.parse_args()
    OPTIONS.prefix = os.path.abspath(OPTIONS.prefix)
    {"install": step_install, "find_package": step_find_package,
     "pkg_config": step_pkg_config}[OPTIONS.step]()


if __name__ == "__main__":
    main()
