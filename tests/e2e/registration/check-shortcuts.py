#!/usr/bin/env python3
# Reads the shortcuts that the registration run left in a Wine prefix with lnkinfo
# (Debian's liblnk-utils, an independent reader of the link format) and checks
# each one's target and description, and that the group holds nothing else.
#   check-shortcuts.py PREFIX LOCALE [demo-only]
# The demo makes three shortcuts; the test build of it one more, in a folder
# whose double-byte name holds a 0x5C byte (left out with demo-only).
# Wine names the files on the Unix side in the locale's character set, so the
# expected names are encoded like the texts the setup showed.
import os
import shutil
import subprocess
import sys

TARGET = "C:\\Program Files\\Velmora\\AcmeTool\\"
# The uninstaller's shortcut starts the Windows folder's copy, which only
# administrators can replace, with the target folder as its argument.
UNINSTALLER = "C:\\windows\\kxUnInst.exe"
UNINSTALLER_ARGUMENTS = '"' + TARGET[:-1] + '"'

# Per locale: Unix character set, lnkinfo code page, group name, and each link
# (path inside the group, target file, description).
EXPECTED = {
    "C": ("ascii", "windows-1252", "Acme Tool", [
        ("Acme Tool.Lnk", "acmeui.exe", "Acme Tool"),
        ("Docs/Read Me.Lnk", "readme.txt", "Read Me"),
        ("Tools/Notes.Lnk", "readme.txt", "Notes", "test build"),
        ("Acme Tool UnInst.Lnk", UNINSTALLER, "Acme Tool UnInst"),
    ]),
    "zh_CN.GBK": ("gbk", "windows-936", "艾克美工具", [
        ("艾克美工具.Lnk", "acmeui.exe", "艾克美工具"),
        ("文档/自述.Lnk", "readme.txt", "自述"),
        ("淺色/说明.Lnk", "readme.txt", "说明", "test build"),
        ("艾克美工具 卸载.Lnk", UNINSTALLER, "艾克美工具 卸载"),
    ]),
    "zh_TW.BIG5": ("big5", "windows-950", "艾克美工具", [
        ("艾克美工具.Lnk", "acmeui.exe", "艾克美工具"),
        ("文件/讀我.Lnk", "readme.txt", "讀我"),
        ("功能/說明.Lnk", "readme.txt", "說明", "test build"),
        ("艾克美工具 卸載.Lnk", UNINSTALLER, "艾克美工具 卸載"),
    ]),
}


def lnk_fields(path, codepage):
    out = subprocess.run(["lnkinfo", "-c", codepage, path], capture_output=True, check=True).stdout
    fields = {}
    for line in out.decode("utf-8", "replace").splitlines():
        if ":" in line:
            name, _, value = line.partition(":")
            fields.setdefault(name.strip(), value.strip())
    return fields


def main():
    prefix, locale = sys.argv[1], sys.argv[2]
    if shutil.which("lnkinfo") is None:
        print("lnkinfo is not installed (liblnk-utils)")
        return 77
    charset, codepage, group, links = EXPECTED[locale]
    demo_only = len(sys.argv) > 3 and sys.argv[3] == "demo-only"
    links = [link[:3] for link in links if not (demo_only and len(link) > 3)]
    root = os.path.join(prefix.encode(), b"drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs",
                        group.encode(charset))
    errors = []
    found = set()
    for dirpath, _, files in os.walk(root):
        for f in files:
            found.add(os.path.relpath(os.path.join(dirpath, f), root))
    wanted = {rel.encode(charset) for rel, _, _ in links}
    if found != wanted:
        errors.append(f"group holds {sorted(found)}, expected {sorted(wanted)}")
    for rel, target, description in links:
        path = os.path.join(root, rel.encode(charset))
        if not os.path.exists(path):
            continue
        fields = lnk_fields(path, codepage)
        full = target if target == UNINSTALLER else TARGET + target
        if fields.get("Local path") != full:
            errors.append(f"{rel}: target {fields.get('Local path')!r}, expected {full!r}")
        arguments = UNINSTALLER_ARGUMENTS if target == UNINSTALLER else None
        if fields.get("Command line arguments") != arguments:
            errors.append(f"{rel}: arguments {fields.get('Command line arguments')!r}, expected {arguments!r}")
        if fields.get("Description") != description:
            errors.append(f"{rel}: description {fields.get('Description')!r}, expected {description!r}")
    for e in errors:
        print(e)
    print(f"{len(links)} shortcuts checked, {len(errors)} problems")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
