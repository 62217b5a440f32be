#!/usr/bin/env python3
"""The import test of the shipped programs.

    check_imports.py --exports windows-exports.txt [--systems 98se,2000sp4,xpsp3]
                     [--dll-rule-only] PROGRAM.exe...

Reads each program's import tables and checks them against the reviewed list:
every DLL must be one that Windows takes from the system directory whatever
the program's folder holds, imported by function name, and every function
must be exported by the DLL of every system the program is for. The image must
also ask for a subsystem and OS version that Windows 98 and NT 4 accept, say
that it is Terminal-Server aware (no compatibility shims for a program that
works in every session), and carry no build time stamp, so that the same
sources give the same bytes. With --dll-rule-only (the x86_64 tree, which is
not shipped) only the DLLs and the ordinals are checked. Prints each problem; exit status 1 when there is one.
"""
import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peimage  # noqa: E402

ALL_SYSTEMS = ("98se", "2000sp4", "xpsp3")
# Windows 9x and NT 4 refuse to load an image that asks for a newer version.
MAX_VERSION = (4, 0)
IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE = 0x8000


class Reviewed:
    """The reviewed list: per DLL how Windows finds it and what it exports where."""

    def __init__(self):
        self.load = {}      # dll -> "system" | "runtime"
        self.why = {}       # dll -> reason it must not be imported (runtime DLLs)
        self.checked = {}   # dll -> systems the DLL's list was checked for
        self.exports = {}   # dll -> {function: set of systems}

    @staticmethod
    def parse(text, source="<list>"):
        r = Reviewed()
        dll = None
        for number, raw in enumerate(text.splitlines(), 1):
            line = raw.split("#", 1)[0].strip()
            if not line:
                continue
            where = "%s:%d" % (source, number)
            if line.startswith("[") and line.endswith("]"):
                dll = line[1:-1].strip().lower()
                if dll in r.load:
                    raise ValueError("%s: [%s] appears twice" % (where, dll))
                r.load[dll] = None
                r.exports[dll] = {}
                r.checked[dll] = set()
                continue
            if dll is None:
                raise ValueError("%s: a line before the first [dll]" % where)
            if line.startswith("load:"):
                value = line[5:].strip()
                if value not in ("system", "runtime"):
                    raise ValueError("%s: load is 'system' or 'runtime'" % where)
                r.load[dll] = value
            elif line.startswith("why:"):
                r.why[dll] = line[4:].strip()
            elif line.startswith("checked:"):
                r.checked[dll] = set(line[8:].split())
                unknown = r.checked[dll] - set(ALL_SYSTEMS)
                if unknown:
                    raise ValueError("%s: unknown system %s" % (where, " ".join(sorted(unknown))))
            else:
                words = line.split()
                name, systems = words[0], set(words[1:]) - {"-"}
                unknown = systems - set(ALL_SYSTEMS)
                if unknown:
                    raise ValueError("%s: unknown system %s" % (where, " ".join(sorted(unknown))))
                if not systems <= r.checked[dll]:
                    raise ValueError("%s: %s names a system [%s] was not checked for" % (where, name, dll))
                if name in r.exports[dll]:
                    raise ValueError("%s: %s appears twice" % (where, name))
                r.exports[dll][name] = systems
        for d, value in r.load.items():
            if value is None:
                raise ValueError("%s: [%s] has no 'load:' line" % (source, d))
        return r


def check(imports, reviewed, systems=ALL_SYSTEMS, dll_rule_only=False,
          subsystem_version=(4, 0), os_version=(4, 0), timestamp=0,
          dll_characteristics=IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE):
    """The problems of one program, as lines of text; empty when it passes."""
    problems = []
    if not dll_rule_only:
        for what, version in (("subsystem", subsystem_version), ("OS", os_version)):
            if tuple(version) > MAX_VERSION:
                problems.append("the image asks for %s version %d.%d; Windows 98 and NT 4 load only %d.%d"
                                % ((what,) + tuple(version) + MAX_VERSION))
        if timestamp != 0:
            problems.append("the image carries the build time stamp 0x%08x: link with --no-insert-timestamp"
                            % timestamp)
        if not dll_characteristics & IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE:
            problems.append("the image is not Terminal-Server aware: link with --tsaware")
    seen_dll = set()
    for imp in imports:
        dll = imp.dll.lower()
        load = reviewed.load.get(dll)
        if dll not in seen_dll:
            seen_dll.add(dll)
            if load is None:
                problems.append("%s is not in the reviewed list: Windows may take it from the program's "
                                "folder; load it with LoadSystemLibrary, or review it" % imp.dll)
            elif load == "runtime":
                problems.append("%s is imported: %s" % (imp.dll, reviewed.why.get(dll, "not a known DLL")))
            elif imp.delayed:
                problems.append("%s is delay-loaded, which searches the program's folder first" % imp.dll)
        if imp.name is None:
            problems.append("%s imports ordinal %d: ordinals differ between versions of Windows; "
                            "import by name" % (imp.dll, imp.ordinal))
            continue
        if dll_rule_only or load != "system":
            continue
        exported = reviewed.exports[dll].get(imp.name)
        if exported is None:
            problems.append("%s!%s is not in the reviewed list: review it for %s"
                            % (imp.dll, imp.name, ", ".join(systems)))
            continue
        missing = [s for s in systems if s not in exported]
        if missing:
            problems.append("%s!%s is not exported by %s: look it up at run time"
                            % (imp.dll, imp.name, ", ".join(missing)))
    return problems


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--exports", required=True, help="the reviewed list")
    parser.add_argument("--systems", default=",".join(ALL_SYSTEMS))
    parser.add_argument("--dll-rule-only", action="store_true")
    parser.add_argument("programs", nargs="+")
    args = parser.parse_args(argv)
    with open(args.exports, encoding="utf-8") as f:
        reviewed = Reviewed.parse(f.read(), args.exports)
    systems = tuple(s for s in args.systems.split(",") if s)
    failed = False
    for program in args.programs:
        image = peimage.load(program)
        imports = image.imports()
        problems = check(imports, reviewed, systems, args.dll_rule_only,
                         image.subsystem_version, image.os_version, image.timestamp,
                         image.dll_characteristics)
        dlls = sorted({i.dll.lower() for i in imports})
        print("%s: %d functions from %s" % (program, len(imports), ", ".join(dlls)))
        for p in problems:
            print("  " + p)
        failed = failed or bool(problems)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
