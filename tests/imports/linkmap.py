"""Reads the link map GNU ld writes for a PE program (-Wl,-Map): which archive
members the link took in, and how many bytes each input file gives each output
section. The size benchmark and the parts check read it. Portable."""
import os
import re


class Contribution:
    """One input section placed in an output section."""

    def __init__(self, output, section, source, size):
        self.output, self.section, self.source, self.size = output, section, source, size

    @property
    def library(self):
        """The archive's file name, or None for an object given by itself."""
        m = _MEMBER.match(self.source)
        return os.path.basename(m.group(1)) if m else None

    @property
    def part(self):
        """What the bytes belong to: 'libz.a(inflate.o)', 'crt2.o', or a name for
        what the linker or link-time optimisation made."""
        m = _MEMBER.match(self.source)
        if m:
            return "%s(%s)" % (os.path.basename(m.group(1)), m.group(2))
        if _LTRANS.search(self.source):
            return LTO_PART
        if self.source.startswith("*fill*"):
            return FILL_PART
        if "/" in self.source or self.source.endswith((".o", ".obj", ".res")):
            return os.path.basename(self.source)
        return LINKER_PART


LTO_PART = "(link-time optimised code)"
FILL_PART = "(alignment padding)"
LINKER_PART = "(made by the linker)"

_MEMBER = re.compile(r"^(.*\.a)\((.*)\)$")
_LTRANS = re.compile(r"\.ltrans\d*\.ltrans\.o$|\.ltrans\d+\.o$")
_TOP = re.compile(r"^(\.\S+|/DISCARD/)(?:\s+0x[0-9a-fA-F]+\s+0x[0-9a-fA-F]+)?\s*$")
_INPUT = re.compile(r"^ (\S+)\s+0x([0-9a-fA-F]+)\s+0x([0-9a-fA-F]+)\s+(\S.*)$")
_INPUT_NAME = re.compile(r"^ (\S+)\s*$")
_INPUT_REST = re.compile(r"^\s+0x([0-9a-fA-F]+)\s+0x([0-9a-fA-F]+)\s+(\S.*)$")
_FILL = re.compile(r"^ \*fill\*\s+0x([0-9a-fA-F]+)\s+0x([0-9a-fA-F]+)")


class LinkMap:
    def __init__(self, text):
        lines = text.splitlines()
        self.members = []        # (archive file name, member) in the order taken
        self.member_paths = []   # (archive path as the link saw it, member)
        self.contributions = []  # Contribution, placed sections only
        self._read_members(lines)
        self._read_memory_map(lines)

    def _read_members(self, lines):
        if not lines or not lines[0].startswith("Archive member included"):
            return
        for line in lines[1:]:
            if line and not line[0].isspace():
                m = _MEMBER.match(line.strip())
                if not m:
                    break  # the next part of the map
                self.members.append((os.path.basename(m.group(1)), m.group(2)))
                self.member_paths.append((m.group(1), m.group(2)))

    def _read_memory_map(self, lines):
        try:
            start = next(i for i, l in enumerate(lines) if l.startswith("Linker script and memory map"))
        except StopIteration:
            raise ValueError("not a GNU ld link map: no memory map")
        output = None
        pending = None
        for line in lines[start + 1:]:
            if pending is not None:
                m = _INPUT_REST.match(line)
                pending, name = None, pending
                if m:
                    self._add(output, name, m.group(3), int(m.group(2), 16))
                    continue
            m = _TOP.match(line)
            if m:
                output = m.group(1)
                continue
            if output is None or output == "/DISCARD/":
                continue
            m = _FILL.match(line)
            if m:
                self._add(output, "*fill*", "*fill*", int(m.group(2), 16))
                continue
            if line.startswith(" *"):
                continue  # a pattern of the linker script
            m = _INPUT.match(line)
            if m:
                self._add(output, m.group(1), m.group(4).strip(), int(m.group(3), 16))
                continue
            m = _INPUT_NAME.match(line)
            if m:
                pending = m.group(1)

    def _add(self, output, section, source, size):
        if size:
            self.contributions.append(Contribution(output, section, source, size))

    def has_member(self, library, member):
        return (library, member) in self.members

    def sizes(self, key):
        """{key(contribution): {output section: bytes}}."""
        out = {}
        for c in self.contributions:
            per = out.setdefault(key(c), {})
            per[c.output] = per.get(c.output, 0) + c.size
        return out


def load(path):
    with open(path, encoding="latin-1") as f:
        return LinkMap(f.read())
