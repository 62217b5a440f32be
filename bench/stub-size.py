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
optimisation compiled as one unit shows as one part; to see it by source file,
configure the tree with -DKX_SHIPPED_SAVE_TEMPS=ON, which keeps the optimiser's
assembly beside each program (IMAGE.ltrans0.ltrans.s): its functions and data
are then measured (binutils of the MinGW toolchain) and counted to the object
file that defines them. Exit status 1 when a setup program misses the target."""
import argparse
import collections
import glob
import os
import re
import subprocess
import sys
import tempfile

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


def tree_root(path):
    """The build tree a program lies in: the nearest folder with a CMakeCache.txt."""
    d = os.path.dirname(os.path.abspath(path))
    while d != os.path.dirname(d):
        if os.path.exists(os.path.join(d, "CMakeCache.txt")):
            return d
        d = os.path.dirname(d)
    return None


def find_archive(root, path):
    """An archive as the link named it, relative to a folder of the tree the
    link ran in, which the map does not say."""
    if os.path.isabs(path):
        return path if os.path.exists(path) else None
    rest = re.sub(r"^(\.\./)+", "", path)
    for pattern in (rest, "*/" + rest, "*/*/" + rest, "*/*/*/" + rest):
        found = glob.glob(os.path.join(root, pattern))
        if found:
            return found[0]
    return None


# Names GCC gives the copies and parts of a function it made at link time.
CLONE = re.compile(r"\.(lto_priv|constprop|isra|part|cold|localalias)(\.\d+)?")


def owners(m, root, tools):
    """{symbol: 'library.a(member)'} for the archive members the link took in,
    from their machine code's symbol tables (local functions included); a symbol
    several members define (inline functions, templates) maps to None."""
    out = {}
    wanted = set(m.members)
    for archive in sorted({p for p, _ in m.member_paths}):
        found = find_archive(root, archive)
        if not found:
            continue
        text = subprocess.run([tools + "objdump", "-t", found], capture_output=True, text=True).stdout
        library, member = os.path.basename(found), None
        for line in text.splitlines():
            mt = re.match(r"^(\S+):\s+file format ", line)
            if mt:
                member = mt.group(1) if (library, mt.group(1)) in wanted else None
                continue
            mt = SYMBOL.match(line)
            if not member or not mt or int(mt.group(1)) <= 0 or mt.group(4).startswith("."):
                continue
            owner = "%s(%s)" % (library, member)
            name = mt.group(4)
            out[name] = owner if out.get(name, owner) == owner else None
    return out


# A line of objdump -t on a COFF object: section, storage class, value, name.
SYMBOL = re.compile(r"^\[\s*\d+\]\(sec\s+(-?\d+)\)\(fl 0x..\)\(ty\s+[0-9a-f]+\)\(scl\s+(\d+)\) "
                    r"\(nx \d+\) 0x([0-9a-f]+) (\S+)$")


def lto_objects(asm, m, root, tools):
    """{object file: {section kind: bytes}} of the code link-time optimisation
    made, from its assembly: each function and datum measured to the next
    symbol of its section."""
    with tempfile.TemporaryDirectory() as d:
        obj = os.path.join(d, "lto.o")
        subprocess.run([tools + "as", "-o", obj, asm], check=True)
        dump = subprocess.run([tools + "objdump", "-h", "-t", obj], capture_output=True, text=True, check=True).stdout
    sections = {}
    for mt in re.finditer(r"^\s*(\d+) (\S+)\s+([0-9a-f]+) ", dump, re.M):
        sections[int(mt.group(1)) + 1] = (mt.group(2), int(mt.group(3), 16))
    symbols = collections.defaultdict(list)
    for mt in map(SYMBOL.match, dump.splitlines()):
        if not mt:
            continue
        sec, name = int(mt.group(1)), mt.group(4)
        if sec in sections and not name.startswith("."):
            symbols[sec].append((int(mt.group(3), 16), name))
    who = owners(m, root, tools)
    unknown = sorted({CLONE.sub("", n) for items in symbols.values() for _, n in items
                      if who.get(CLONE.sub("", n)) is None})
    guess = by_enclosing_function(unknown, who, tools)
    out = collections.defaultdict(collections.Counter)
    for sec, items in symbols.items():
        kind, size = sections[sec]
        kind = kind.split("$")[0]
        for main in (".text", ".rdata"):
            if kind.startswith(main + "."):
                kind = main  # .text.unlikely, .text.startup, .rdata.cst4
        if kind == ".bss":
            continue
        items.sort()
        for i, (at, name) in enumerate(items):
            end = items[i + 1][0] if i + 1 < len(items) else size
            base = CLONE.sub("", name)
            part = who.get(base) or guess.get(base) or "(library templates and inline code)"
            out[part][kind] += end - at
    return out


def demangle(names, tools):
    """Plain names, with '{anon}' for an anonymous namespace so that the first '('
    opens the parameters."""
    text = subprocess.run([tools + "c++filt"], input="\n".join(names), capture_output=True, text=True).stdout
    return [line.replace("(anonymous namespace)", "{anon}") for line in text.splitlines()]


def by_enclosing_function(unknown, who, tools):
    """Lambdas, their std::function handlers and local statics carry the name of
    the function they are in: count them to that function's unit."""
    known = [(n, o) for n, o in who.items() if o and "kx" in n]
    key = {}
    for (name, owner), plain in zip(known, demangle([n for n, _ in known], tools)):
        if plain.startswith("kx::"):
            key.setdefault(plain.split("(")[0], owner)
    out = {}
    for name, plain in zip(unknown, demangle(unknown, tools)):
        best = ""
        for mt in re.finditer(r"kx::[\w:~{}]+", plain):
            candidate = mt.group(0)
            while candidate and candidate not in key:
                candidate = candidate.rpartition("::")[0]
            if len(candidate) > len(best):
                best = candidate
        if best:
            out[name] = key[best]
    return out


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
        asm = os.path.splitext(path)[0] + ".ltrans0.ltrans.s"
        root = tree_root(path)
        if os.path.exists(asm) and root:
            # Only the link that kept the assembly names its object after it; a
            # later link without KX_SHIPPED_SAVE_TEMPS leaves an old one behind.
            lto = {os.path.basename(c.source) for c in m.contributions if c.part == linkmap.LTO_PART}
            if lto != {os.path.basename(asm)[:-2] + ".o"}:
                print("  %s is not from the link of this map: not read" % asm)
            else:
                tools = "x86_64-w64-mingw32-" if image.machine == peimage.IMAGE_FILE_MACHINE_AMD64 \
                    else "i686-w64-mingw32-"
                table("link-time optimised code by object file (%s; unwind and exception tables not split)"
                      % os.path.basename(asm), lto_objects(asm, m, root, tools), top)
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
