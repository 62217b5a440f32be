#!/usr/bin/env python3
"""The size of a setup program without its package: what every download of a
package costs on top of the package's own files.

    bench/stub-size.py [build/win32/packages/acme/setup.exe]

Prints the file size, the KXFILE resources it carries, the stub size (the file
less those resources' bytes) against the 160 KB target, and the sizes of the
image's sections."""
import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "imports"))
import peimage  # noqa: E402

TARGET = 160 * 1024


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "win32", "packages", "acme", "setup.exe")
    image = peimage.load(path)
    size = os.path.getsize(path)
    package = [r for r in image.resources() if r.type == "KXFILE"]
    carried = sum(r.size for r in package)
    stub = size - carried
    print("%s: %d bytes" % (path, size))
    print("KXFILE resources: %d bytes (%s)" % (carried, ", ".join("%s %d" % (r.name, r.size) for r in package)))
    print("stub without KXFILE: %d bytes = %.1f KB (target %d KB: %s)"
          % (stub, stub / 1024.0, TARGET // 1024, "met" if stub <= TARGET else "MISSED"))
    print("sections: " + ", ".join("%s %d" % (name, rawsize) for name, _, _, _, rawsize in image.sections))
    return 0 if stub <= TARGET else 1


if __name__ == "__main__":
    sys.exit(main())
