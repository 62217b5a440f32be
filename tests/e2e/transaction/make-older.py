#!/usr/bin/env python3
# An older build of the demo's files: each payload file with bytes appended (a
# program keeps running with data after its image), packed by kxarc.
#   make-older.py KXARC PAYLOAD_DIR OUT_DIR OUT_ARCHIVE
import os
import subprocess
import sys

kxarc, src, out, archive = sys.argv[1:5]
names = ["acmeui.exe", "acmesvc.exe", "acmehook.dll", "acmedisk.sys", "readme.txt"]
os.makedirs(out, exist_ok=True)
for n in names:
    data = open(os.path.join(src, n), "rb").read()
    open(os.path.join(out, n), "wb").write(data + b"\r\nan older build of " + n.encode() + b"\r\n")
if os.path.exists(archive):
    os.remove(archive)
subprocess.run([kxarc, "create", "--no-progress", archive] + names, cwd=out, check=True)
