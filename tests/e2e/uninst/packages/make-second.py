#!/usr/bin/env python3
"""Writes the script of a second package beside the demo: its own uninstall key,
program folder and group name, its own AutoReg key, no service and no Windows
family of its own, and the same files, so that the two installations count on
the same files of the system folder.
    make-second.py DEMO.ini OUT.ini
The script is handled as bytes: its GBK and Big5 sections stay as they are."""
import sys

source, target = sys.argv[1], sys.argv[2]
data = open(source, "rb").read()
newline = b"\r\n" if b"\r\n" in data else b"\n"
lines = data.split(newline)
out = []
section = b""
for line in lines:
    text = line.strip()
    if text.startswith(b"["):
        section = text.lower()
    key = text.split(b"=", 1)[0].strip().lower()
    if key in (b"servicename", b"servicefile", b"win2k") or section == b"[service]" and b"=" in text:
        continue
    if key == b"reg":
        line = line.rstrip() + b"2"
    elif key == b"prgdir":
        line = line.rstrip() + b"2"
    elif key == b"grpname":
        line = line.rstrip() + b" 2"
    elif section == b"[autoreg]" and text.startswith(b"SOFTWARE\\Acme\\Tool;"):
        line = line.replace(b"SOFTWARE\\Acme\\Tool;", b"SOFTWARE\\Acme\\Tool2;", 1)
    out.append(line)
open(target, "wb").write(newline.join(out))
