#!/usr/bin/env python3
"""The size of a setup program without its package, what every download of a
package costs on top of the package's own files, and of the uninstaller it
carries; with the largest parts of each.

    bench/stub-size.py [--top N] [--map FILE] [IMAGE...]

IMAGE defaults to the demo's build/win32/packages/acme/setup.exe and
build/win32/uninst/kxUnInst.exe. For each it prints the file size, the KXFILE
resources it carries, the size without them (for a setup program, against the
160 KB target), the sizes of the image's sections, and from the link map beside
it (IMAGE with .map, which kx_shipped_program writes; --map names another) the
bytes each library and each object file brings into the code (.text), constant
data (.rdata), unwind tables (.eh_frame) and the rest. Code that link-time
optimisation compiled as one unit shows as one part. Exit status 1 when a setup
program misses the target."""
import argparse
import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "imports"))
import linkmap  # noqa: E402
import peimage  # noqa: E402

TARGET = 160 * 1024
DEFAULT_IMAGES = [
    os.path.join(ROOT, "build", "win32", "packages", "acme", "setup.exe"),
    os.path.join(ROOT, "build", "win32", "uninst", "kxUnInst.exe"),
]
COLUMNS = (".text", ".rdata", ".eh_frame")


def table(title, sizes, top):
    rows = sorted(sizes.items(), key=lambda kv: -sum(kv[1].values()))
    total = sum(sum(per.values()) for _, per in rows)
    print("  %s (of %d bytes placed):" % (title, total))
    print("    %8s %8s %8s %9s %7s  %s" % ("bytes", ".text", ".rdata", ".eh_frame", "other", "part"))
    for name, per in rows[:top]:
        other = sum(v for k, v in per.items() if k not in COLUMNS)
        print("    %8d %8d %8d %9d %7d  %s" % (sum(per.values()), per.get(".text", 0), per.get(".rdata", 0),
                                               per.get(".eh_frame", 0), other, name))
    rest = rows[top:]
    if rest:
        print("    %8d %35s  %d more" % (sum(sum(per.values()) for _, per in rest), "", len(rest)))


def report(path, map_path, top):
    image = peimage.load(path)
    size = os.path.getsize(path)
    package = [r for r in image.resources() if r.type == "KXFILE"]
    carried = sum(r.size for r in package)
    stub = size - carried
    is_setup = bool(package) or os.path.basename(path).lower().startswith("setup")
    print("%s: %d bytes" % (path, size))
    if is_setup:
        print("  KXFILE resources: %d bytes (%s)" % (carried, ", ".join("%s %d" % (r.name, r.size) for r in package)))
        print("  without KXFILE: %d bytes = %.1f KB (target %d KB: %s)"
              % (stub, stub / 1024.0, TARGET // 1024, "met" if stub <= TARGET else "MISSED"))
    print("  sections: " + ", ".join("%s %d" % (name, rawsize) for name, _, _, _, rawsize in image.sections))
    map_path = map_path or os.path.splitext(path)[0] + ".map"
    if os.path.exists(map_path):
        m = linkmap.load(map_path)
        print("  link map %s:" % map_path)
        table("by library", m.sizes(lambda c: c.library or c.part), top)
        table("by object file", m.sizes(lambda c: c.part), top)
    else:
        print("  no link map at %s" % map_path)
    return not is_setup or stub <= TARGET


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("images", nargs="*", help="programs to measure")
    ap.add_argument("--map", help="the link map of the (one) program, if not IMAGE.map")
    ap.add_argument("--top", type=int, default=15, help="parts listed per table (15)")
    a = ap.parse_args()
    images = a.images or DEFAULT_IMAGES
    if a.map and len(images) != 1:
        ap.error("--map goes with one program")
    ok = True
    for path in images:
        ok = report(path, a.map, a.top) and ok
        print()
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
