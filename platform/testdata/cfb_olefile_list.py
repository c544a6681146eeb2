#!/usr/bin/python3
# Copyright the kvstore authors.
#
# Lists a compound file as python3-olefile reads it, at olefile's strictest
# defect level: "D <path>" per storage and "S <path> <size> <sha256>" per
# stream, sorted, paths joined with "/". Prints "ERROR ..." and exits 1 when
# olefile finds any defect, 3 when olefile cannot be imported.
# Usage: cfb_olefile_list.py FILE
import hashlib
import sys

try:
    import olefile
except ImportError:
    print("olefile is not installed")
    sys.exit(3)


def main():
    try:
        with olefile.OleFileIO(sys.argv[1], raise_defects=olefile.DEFECT_UNSURE) as ole:
            out = []
            for p in ole.listdir(streams=True, storages=True):
                name = "/".join(p)
                if ole.get_type(p) == olefile.STGTY_STORAGE:
                    out.append("D " + name)
                else:
                    data = ole.openstream(p).read()
                    out.append("S %s %d %s" % (name, len(data), hashlib.sha256(data).hexdigest()))
            if ole.parsing_issues:
                raise IOError(str(ole.parsing_issues))
    except Exception as e:  # every defect, whatever olefile raises
        print("ERROR", type(e).__name__, e)
        sys.exit(1)
    sys.stdout.write("".join(line + "\n" for line in sorted(out)))


if __name__ == "__main__":
    main()
