#!/usr/bin/env python3
"""The link-map reader and the parts check, on a map written here in the layout
GNU ld gives a PE program: archive members, long section names on a line of
their own, padding, linker-script patterns, discarded sections and the code of
link-time optimisation."""
import io
import os
import sys
import tempfile
import unittest
from contextlib import redirect_stdout, redirect_stderr

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "imports"))
import check_parts  # noqa: E402
import linkmap  # noqa: E402

MAP = """\
Archive member included to satisfy reference by file (symbol)

CMakeFiles/setupstub.dir/objects.a(SetupMain.cpp.obj)
                              (--whole-archive)
../archive/libkx_archive.a(JodArchiverRoot.cpp.obj)
                              SetupMain.cpp.obj (symbol from plugin) (kx::TArchiverRoot::Open())
/usr/i686-w64-mingw32/lib/libz.a(inflate.o)
                              ZlibCodec.cpp.obj (symbol from plugin) (inflate)

Discarded input sections

 .text          0x00000000       0x40 /usr/i686-w64-mingw32/lib/libz.a(inflate.o)
 .rdata$zzz     0x00000000       0x14 /tmp/ccAbc.ltrans0.ltrans.o

Memory Configuration

Name             Origin             Length             Attributes
*default*        0x00000000         0xffffffff

Linker script and memory map

                0x00400000                        __image_base__ = 0x400000
LOAD /tmp/ccAbc.ltrans0.ltrans.o

.text           0x00401000     0x2000
 *(.text)
 .text          0x00401000      0x4e0 /usr/lib/gcc/i686-w64-mingw32/12-win32/../../../../i686-w64-mingw32/lib/../lib/crt2.o
                0x004014a0                WinMainCRTStartup
 .text          0x004014e0     0x1000 /tmp/ccAbc.ltrans0.ltrans.o
 *fill*         0x004024e0       0x20 
 .text          0x00402500      0x300 /usr/i686-w64-mingw32/lib/libz.a(inflate.o)
                0x00402500                inflate
 .text$_ZN2kx13TArchiverRoot4OpenEv
                0x00402800       0x50 ../archive/libkx_archive.a(JodArchiverRoot.cpp.obj)
 .text$empty    0x00402850        0x0 ../archive/libkx_archive.a(JodArchiverRoot.cpp.obj)
                0x00402860        0x4 LONG 0xffffffff

.rdata          0x00403000      0x400
 .rdata         0x00403000      0x120 /usr/i686-w64-mingw32/lib/libz.a(inflate.o)
 .rdata         0x00403120       0x10 /tmp/ccAbc.ltrans0.ltrans.o

.eh_frame       0x00404000      0x200
 .eh_frame      0x00404000       0x88 /usr/i686-w64-mingw32/lib/libz.a(inflate.o)

.reloc          0x00405000      0x200
 *(.reloc)
 .reloc         0x00405000      0x1c4 dll stuff

/DISCARD/
 *(.debug$S)
 .comment       0x00000000       0x12 /tmp/ccAbc.ltrans0.ltrans.o
OUTPUT(setupstub.exe pei-i386)
"""


class LinkMapTest(unittest.TestCase):
    def setUp(self):
        self.m = linkmap.LinkMap(MAP)

    def test_members_in_the_order_taken(self):
        self.assertEqual(self.m.members, [("objects.a", "SetupMain.cpp.obj"),
                                          ("libkx_archive.a", "JodArchiverRoot.cpp.obj"),
                                          ("libz.a", "inflate.o")])
        self.assertTrue(self.m.has_member("libz.a", "inflate.o"))
        self.assertFalse(self.m.has_member("libz.a", "deflate.o"))

    def test_sizes_by_part_and_output_section(self):
        self.assertEqual(self.m.sizes(lambda c: c.part), {
            "crt2.o": {".text": 0x4e0},
            linkmap.LTO_PART: {".text": 0x1000, ".rdata": 0x10},
            linkmap.FILL_PART: {".text": 0x20},
            "libz.a(inflate.o)": {".text": 0x300, ".rdata": 0x120, ".eh_frame": 0x88},
            "libkx_archive.a(JodArchiverRoot.cpp.obj)": {".text": 0x50},
            linkmap.LINKER_PART: {".reloc": 0x1c4},
        })

    def test_sizes_by_library(self):
        by_library = self.m.sizes(lambda c: c.library or c.part)
        self.assertEqual(by_library["libz.a"], {".text": 0x300, ".rdata": 0x120, ".eh_frame": 0x88})
        self.assertEqual(by_library["libkx_archive.a"], {".text": 0x50})
        self.assertNotIn("objects.a", by_library)  # taken in, but placed nothing

    def test_discarded_and_pattern_lines_count_for_nothing(self):
        total = sum(c.size for c in self.m.contributions)
        self.assertEqual(total, 0x4e0 + 0x1000 + 0x20 + 0x300 + 0x50 + 0x120 + 0x10 + 0x88 + 0x1c4)

    def test_a_file_without_memory_map_is_refused(self):
        with self.assertRaises(ValueError):
            linkmap.LinkMap("Archive member included to satisfy reference by file (symbol)\n\nfoo.a(x.o)\n")


class CheckPartsTest(unittest.TestCase):
    def run_check(self, text, *absent):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "p.map")
            with open(path, "w") as f:
                f.write(text)
            out, err = io.StringIO(), io.StringIO()
            args = ["--map", path]
            for a in absent:
                args += ["--absent", a]
            with redirect_stdout(out), redirect_stderr(err):
                rc = check_parts.main(args)
            return rc, out.getvalue().replace(path, "p.map"), err.getvalue()

    def test_absent_members_pass(self):
        self.assertEqual(self.run_check(MAP, "libz.a(deflate.o)", "libz.a(trees.o)")[:2], (0, ""))

    def test_a_member_taken_in_fails_by_name(self):
        rc, out, _ = self.run_check(MAP, "libz.a(deflate.o)", "libkx_archive.a(JodArchiverRoot.cpp.obj)")
        self.assertEqual(rc, 1)
        self.assertEqual(out, "p.map: libkx_archive.a(JodArchiverRoot.cpp.obj) is linked into the program\n")

    def test_a_map_without_members_cannot_prove_anything(self):
        text = MAP[MAP.index("Discarded input sections"):]
        rc, _, err = self.run_check(text, "libz.a(deflate.o)")
        self.assertEqual(rc, 2)
        self.assertIn("no archive members", err)

    def test_a_missing_map_is_an_error_not_a_pass(self):
        out, err = io.StringIO(), io.StringIO()
        with redirect_stdout(out), redirect_stderr(err):
            rc = check_parts.main(["--map", "/nonexistent/p.map", "--absent", "libz.a(deflate.o)"])
        self.assertEqual(rc, 2)


if __name__ == "__main__":
    unittest.main()
