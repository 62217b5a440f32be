#!/usr/bin/env python3
# A package of many small files (deterministic contents) for the runs that must
# stay fast and linear: the files, their payload packed by kxarc and a script
# whose one component installs them all into the target folder.
#   make-many.py KXARC COUNT OUT_DIR OUT_ARCHIVE OUT_SCRIPT
import os
import subprocess
import sys

kxarc, count, out, archive, script = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
os.makedirs(out, exist_ok=True)
names = ["f%05d.dat" % i for i in range(count)]
for i, n in enumerate(names):
    # Text of a few kilobytes, different in every file.
    line = ("many files package, file %05d, line " % i).encode()
    data = b"".join(line + b"%04d\r\n" % k for k in range(40 + (i * 7919) % 120))
    open(os.path.join(out, n), "wb").write(data)
if os.path.exists(archive):
    os.remove(archive)
subprocess.run([kxarc, "create", "--no-progress", archive] + names, cwd=out, check=True)
files = ";".join(names)
sections = []
for lang, group in (("GB", "Many Files"), ("B5", "Many Files"), ("EN", "Many Files")):
    sections.append("[%s.GrpName]\r\nGrpName=%s\r\nCOMPANY=Acme Ltd.\r\nVERSION=1\r\n"
                    "REG=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AcmeMany\r\n"
                    "PRGDIR=AcmeMany\r\nUNINST=TRUE\r\n\r\n[%s.File]\r\nAll Files=%s\r\n\r\n[%s.Link]\r\n\r\n"
                    % (lang, group, lang, files, lang))
open(script, "wb").write(("[Common]\r\n\r\n[Service]\r\n\r\n" + "".join(sections)).encode("ascii"))
