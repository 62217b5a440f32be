#!/usr/bin/env python3
"""What a shipped program must not carry, checked on its link map.

    check_parts.py --map PROGRAM.map --absent 'libz.a(deflate.o)' [--absent ...]

Each --absent names an archive member, 'library.a(member)': the link must not
have taken it in, whether as machine code or as intermediate code for link-time
optimisation. The setup only reads archives, so zlib's deflate and the archive
writer's units must stay out of it. Prints each member found; exit status 1
when there is one, 2 when the map cannot be read."""
import argparse
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import linkmap  # noqa: E402

MEMBER = re.compile(r"^([^()]+\.a)\(([^()]+)\)$")


def present(m, absent):
    """The names of absent that the link took in anyway."""
    found = []
    for name in absent:
        library, member = MEMBER.match(name).groups()
        if m.has_member(library, member):
            found.append(name)
    return found


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--map", required=True)
    ap.add_argument("--absent", action="append", default=[], metavar="LIBRARY.a(MEMBER)")
    a = ap.parse_args(argv)
    for name in a.absent:
        if not MEMBER.match(name):
            ap.error("--absent wants library.a(member), not %r" % name)
    try:
        m = linkmap.load(a.map)
    except (OSError, ValueError) as e:
        print("%s: %s" % (a.map, e), file=sys.stderr)
        return 2
    if not m.members:
        print("%s: the map lists no archive members" % a.map, file=sys.stderr)
        return 2
    found = present(m, a.absent)
    for name in found:
        print("%s: %s is linked into the program" % (a.map, name))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
