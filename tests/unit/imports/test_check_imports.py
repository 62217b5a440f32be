#!/usr/bin/env python3
"""The import test's PE reader and rules: images built byte by byte here, small
reviewed lists, and the repository's own list against the imports that once
kept setup.exe from starting on Windows XP."""
import os
import struct
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
IMPORTS = os.path.join(HERE, "..", "..", "imports")
sys.path.insert(0, IMPORTS)
import check_imports  # noqa: E402
import peimage  # noqa: E402
from peimage import Import  # noqa: E402


def build_pe(dlls, pe32plus=False, subsystem=(4, 0), delayed=(), timestamp=0, dll_characteristics=0):
    """A PE image whose one section (RVA 0x1000, file offset 0x200) holds the
    import descriptors, lookup tables and names. dlls: [(name, [function name
    or ordinal number, ...])]; delayed: the same, for the delay-load table."""
    section_rva, raw = 0x1000, 0x200
    thunk = 8 if pe32plus else 4
    flag = 1 << 63 if pe32plus else 1 << 31
    body = bytearray(0x800)
    # Layout inside the section: descriptors at 0, tables from 0x100, names from 0x400.
    tables, names = 0x100, 0x400

    def put_name(text, hint=False):
        nonlocal names
        at = names
        data = (b"\0\0" if hint else b"") + text.encode() + b"\0"
        body[at:at + len(data)] = data
        names += len(data) + (len(data) & 1)
        return section_rva + at

    def put_table(funcs):
        nonlocal tables
        at = tables
        for f in funcs:
            value = flag | f if isinstance(f, int) else put_name(f, hint=True)
            struct.pack_into("<Q" if pe32plus else "<I", body, tables, value)
            tables += thunk
        tables += thunk  # the terminating zero
        return section_rva + at

    for i, (dll, funcs) in enumerate(dlls):
        lookup = put_table(funcs)
        struct.pack_into("<IIIII", body, 20 * i, lookup, 0, 0, put_name(dll), lookup)
    delay_at = 20 * (len(dlls) + 1)
    for i, (dll, funcs) in enumerate(delayed):
        lookup = put_table(funcs)
        struct.pack_into("<8I", body, delay_at + 32 * i, 1, put_name(dll), 0, lookup, lookup, 0, 0, 0)

    optsize = 240 if pe32plus else 224
    head = bytearray(raw)
    head[0:2] = b"MZ"
    struct.pack_into("<I", head, 0x3C, 0x40)
    head[0x40:0x44] = b"PE\0\0"
    machine = 0x8664 if pe32plus else 0x14C
    struct.pack_into("<HHIIIHH", head, 0x44, machine, 1, timestamp, 0, 0, optsize, 0x102)
    opt = 0x58
    struct.pack_into("<H", head, opt, 0x20B if pe32plus else 0x10B)
    struct.pack_into("<HHHHHH", head, opt + 40, 4, 0, 0, 0, subsystem[0], subsystem[1])
    struct.pack_into("<HH", head, opt + 68, 2, dll_characteristics)
    dirs = opt + (112 if pe32plus else 96)
    struct.pack_into("<I", head, dirs - 4, 16)
    struct.pack_into("<II", head, dirs + 8, section_rva, 20 * (len(dlls) + 1))
    if delayed:
        struct.pack_into("<II", head, dirs + 8 * 13, section_rva + delay_at, 32 * (len(delayed) + 1))
    sec = opt + optsize
    head[sec:sec + 8] = b".idata\0\0"
    struct.pack_into("<IIII", head, sec + 8, len(body), section_rva, len(body), raw)
    return bytes(head) + bytes(body)


REVIEWED = check_imports.Reviewed.parse("""
[kernel32.dll]
load: system
checked: 98se 2000sp4 xpsp3
CloseHandle       98se 2000sp4 xpsp3
GetTickCount64    -
SetFilePointerEx  2000sp4 xpsp3
[user32.dll]
load: system
checked: 98se 2000sp4 xpsp3
MessageBoxA       98se 2000sp4 xpsp3
[comctl32.dll]
load: runtime
why: not a known DLL
""")


class PEReader(unittest.TestCase):
    def test_ImportsByNameAndOrdinalInTableOrder_PE32(self):
        image = peimage.PEImage(build_pe([("KERNEL32.dll", ["CloseHandle", "Sleep"]), ("COMCTL32.dll", [17])]))
        self.assertEqual([(i.dll, i.name, i.ordinal, i.delayed) for i in image.imports()],
                         [("KERNEL32.dll", "CloseHandle", None, False), ("KERNEL32.dll", "Sleep", None, False),
                          ("COMCTL32.dll", None, 17, False)])
        self.assertFalse(image.pe32plus)
        self.assertEqual(image.subsystem_version, (4, 0))

    def test_ImportsOfA64BitImageUseEightByteThunks(self):
        image = peimage.PEImage(build_pe([("USER32.dll", ["MessageBoxA", 345])], pe32plus=True, subsystem=(5, 2)))
        self.assertEqual([(i.dll, i.name, i.ordinal) for i in image.imports()],
                         [("USER32.dll", "MessageBoxA", None), ("USER32.dll", None, 345)])
        self.assertTrue(image.pe32plus)
        self.assertEqual(image.subsystem_version, (5, 2))

    def test_DelayLoadedImportsAreReadToo(self):
        image = peimage.PEImage(build_pe([("KERNEL32.dll", ["CloseHandle"])], delayed=[("VERSION.dll", ["GetFileVersionInfoA"])]))
        self.assertEqual([(i.dll, i.name, i.delayed) for i in image.imports()],
                         [("KERNEL32.dll", "CloseHandle", False), ("VERSION.dll", "GetFileVersionInfoA", True)])

    def test_TimeStampAndDllCharacteristicsAreRead(self):
        image = peimage.PEImage(build_pe([], timestamp=0x5F5E1000, dll_characteristics=0x8140))
        self.assertEqual(image.timestamp, 0x5F5E1000)
        self.assertEqual(image.dll_characteristics, 0x8140)

    def test_NotAnImageIsRefused(self):
        for data in (b"", b"ZM" + bytes(100), b"MZ" + bytes(0x3A) + struct.pack("<I", 0x40) + b"NE\0\0" + bytes(64)):
            with self.assertRaises((peimage.PEError, struct.error)):
                peimage.PEImage(data)


class Rules(unittest.TestCase):
    def check(self, imports, **kw):
        return check_imports.check(imports, REVIEWED, **kw)

    def test_ReviewedFunctionsOfSystemDllsPass(self):
        self.assertEqual(self.check([Import("KERNEL32.dll", "CloseHandle"), Import("USER32.dll", "MessageBoxA")]), [])

    def test_ADllOutsideTheSystemSetFailsWithItsName(self):
        for dll, words in (("COMCTL32.dll", "not a known DLL"), ("ACME.dll", "not in the reviewed list")):
            problems = self.check([Import("KERNEL32.dll", "CloseHandle"), Import(dll, "Anything")])
            self.assertEqual(len(problems), 1, problems)
            self.assertIn(dll, problems[0])
            self.assertIn(words, problems[0])

    def test_AnUnreviewedFunctionFailsWithItsName(self):
        problems = self.check([Import("KERNEL32.dll", "CreateToolhelp32Snapshot")])
        self.assertEqual(problems, ["KERNEL32.dll!CreateToolhelp32Snapshot is not in the reviewed list: "
                                    "review it for 98se, 2000sp4, xpsp3"])

    def test_AFunctionMissingOnASystemNamesTheSystems(self):
        self.assertEqual(self.check([Import("KERNEL32.dll", "SetFilePointerEx"), Import("KERNEL32.dll", "GetTickCount64")]),
                         ["KERNEL32.dll!SetFilePointerEx is not exported by 98se: look it up at run time",
                          "KERNEL32.dll!GetTickCount64 is not exported by 98se, 2000sp4, xpsp3: look it up at run time"])
        # A program only for the NT family may import what 2000 and XP export.
        self.assertEqual(self.check([Import("KERNEL32.dll", "SetFilePointerEx")], systems=("2000sp4", "xpsp3")), [])

    def test_OrdinalAndDelayLoadImportsFail(self):
        problems = self.check([Import("USER32.dll", None, 17), Import("KERNEL32.dll", "CloseHandle", delayed=True)])
        self.assertEqual(len(problems), 2, problems)
        self.assertIn("USER32.dll imports ordinal 17", problems[0])
        self.assertIn("KERNEL32.dll is delay-loaded", problems[1])

    def test_NewerSubsystemOrOsVersionFails(self):
        self.assertEqual(self.check([], subsystem_version=(5, 1), os_version=(4, 0)),
                         ["the image asks for subsystem version 5.1; Windows 98 and NT 4 load only 4.0"])
        self.assertEqual(len(self.check([], os_version=(6, 0))), 1)

    def test_ABuildTimeStampOrNoTerminalServerFlagFails(self):
        self.assertEqual(self.check([], timestamp=0x6575A1B2, dll_characteristics=0x8140),
                         ["the image carries the build time stamp 0x6575a1b2: link with --no-insert-timestamp"])
        self.assertEqual(self.check([], timestamp=0, dll_characteristics=0x0140),
                         ["the image is not Terminal-Server aware: link with --tsaware"])
        self.assertEqual(self.check([], timestamp=0, dll_characteristics=0x8000), [])
        # The programs of a package (the DLL rule only) are not ours to stamp.
        self.assertEqual(self.check([], dll_rule_only=True, timestamp=1, dll_characteristics=0), [])

    def test_DllRuleOnlyIgnoresFunctionsButNotTheDllSet(self):
        imports = [Import("KERNEL32.dll", "GetTickCount64"), Import("KERNEL32.dll", "Unreviewed")]
        self.assertEqual(self.check(imports, dll_rule_only=True, subsystem_version=(6, 0)), [])
        self.assertEqual(len(self.check(imports + [Import("COMCTL32.dll", "InitCommonControlsEx")],
                                        dll_rule_only=True)), 1)

    def test_BadListsAreRefusedWithTheLine(self):
        cases = [
            ("[a.dll]\nchecked: 98se\nF 98se\n", "no 'load:' line"),
            ("[a.dll]\nload: system\nchecked: 95\n", "unknown system 95"),
            ("[a.dll]\nload: system\nchecked: 98se\nF 98se xpsp3\n", "names a system"),
            ("[a.dll]\nload: maybe\n", "'system' or 'runtime'"),
            ("F 98se\n", "before the first [dll]"),
            ("[a.dll]\nload: system\nchecked: 98se\nF 98se\nF 98se\n", "appears twice"),
        ]
        for text, words in cases:
            with self.assertRaises(ValueError) as e:
                check_imports.Reviewed.parse(text, "list")
            self.assertIn(words, str(e.exception), text)


class RepositoryList(unittest.TestCase):
    """The reviewed list of the repository refuses what kept setup.exe from
    starting, and lets the ordinary imports of the wizard through."""

    @classmethod
    def setUpClass(cls):
        with open(os.path.join(IMPORTS, "windows-exports.txt"), encoding="utf-8") as f:
            cls.reviewed = check_imports.Reviewed.parse(f.read())

    def test_EverySystemDllWasCheckedForAllThreeSystems(self):
        for dll, load in self.reviewed.load.items():
            if load == "system":
                self.assertEqual(self.reviewed.checked[dll], {"98se", "2000sp4", "xpsp3"}, dll)

    def test_TheImportsThatKeptSetupFromStartingAreRefused(self):
        bad = [Import("KERNEL32.dll", "GetTickCount64"), Import("KERNEL32.dll", "AddVectoredExceptionHandler"),
               Import("KERNEL32.dll", "TryEnterCriticalSection"), Import("KERNEL32.dll", "SetFilePointerEx"),
               Import("COMCTL32.dll", "SetWindowSubclass"), Import("MSIMG32.dll", "TransparentBlt"),
               Import("libwinpthread-1.dll", "pthread_create"), Import("USER32.dll", "GetAncestor")]
        problems = check_imports.check(bad, self.reviewed)
        self.assertEqual(len(problems), 8, problems)
        for imp, problem in zip(bad, problems):
            self.assertIn(imp.dll, problem)
        self.assertIn("GetTickCount64 is not exported by 98se, 2000sp4, xpsp3", problems[0])
        self.assertIn("AddVectoredExceptionHandler is not exported by 98se, 2000sp4", problems[1])
        self.assertIn("TryEnterCriticalSection is not exported by 98se", problems[2])
        self.assertIn("SetFilePointerEx is not exported by 98se", problems[3])
        self.assertIn("GetAncestor is not exported by 98se", problems[7])

    def test_TheWizardsOrdinaryImportsPass(self):
        ok = [Import("KERNEL32.dll", "SetFilePointer"), Import("USER32.dll", "CallWindowProcA"),
              Import("GDI32.dll", "BitBlt"), Import("ADVAPI32.dll", "RegOpenKeyExA"),
              Import("SHELL32.dll", "SHBrowseForFolderA"), Import("ole32.dll", "CoCreateInstance"),
              Import("msvcrt.dll", "malloc")]
        self.assertEqual(check_imports.check(ok, self.reviewed), [])


if __name__ == "__main__":
    unittest.main()
