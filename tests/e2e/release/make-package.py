#!/usr/bin/env python3
"""A release as a new package author makes one, from docs/setup-ini.md and
kxpack --init alone: "Quillpad" by "Larkspur Software".

  make-package.py KXPACK DOCS_MD DIR PROGRAM DLL

kxpack --init writes the starting package into DIR (licences included); its
setup.ini is then replaced by the complete example of the docs, converted part
by part into GBK, Big5 and ASCII as the docs say; files/ gets the files the
example names (PROGRAM as quillpad.exe, DLL as qspell.dll, a help text and a
data file) and the folder an icon of two sizes, setup.ico.
"""
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'unit', 'kxpack'))
from pe_builder import icon_file  # noqa: E402

kxpack, docs, pkg, program, dll = sys.argv[1:6]


def example_script(markdown):
    """The first code block after the heading "A complete example"."""
    text = open(markdown, encoding='utf-8').read()
    part = text[text.index('## A complete example'):]
    return re.search(r'```\n(.*?)```', part, re.S).group(1)


def encode_by_section(text):
    """The docs' rule: GB sections in GBK, B5 sections in Big5, the rest ASCII."""
    out, enc = b'', 'ascii'
    for line in text.splitlines():
        m = re.match(r'\s*\[(\w\w)\.', line)
        if line.strip().startswith('['):
            enc = {'GB': 'gbk', 'B5': 'big5'}.get(m.group(1).upper() if m else '', 'ascii')
        out += line.encode(enc) + b'\r\n'
    return out


def quill(n, x, y):
    """A blue quill on white."""
    return bytes([0xC0, 0x60, 0x20, 0xFF]) if abs(x - y) < max(1, n // 8) else b'\xff\xff\xff\xff'


shutil.rmtree(pkg, ignore_errors=True)
subprocess.run([kxpack, '--init', pkg], check=True, stdout=subprocess.DEVNULL)
with open(os.path.join(pkg, 'setup.ini'), 'wb') as f:
    f.write(encode_by_section(example_script(docs)))
files = os.path.join(pkg, 'files')
os.remove(os.path.join(files, 'readme.txt'))
os.makedirs(os.path.join(files, 'help'))
shutil.copy(program, os.path.join(files, 'quillpad.exe'))
shutil.copy(dll, os.path.join(files, 'qspell.dll'))
with open(os.path.join(files, 'help', 'quillpad.txt'), 'wb') as f:
    f.write(b'Quillpad 2.1 help\r\n\r\nWrite with the quill; save with Ctrl+S.\r\n')
with open(os.path.join(files, 'ink.dat'), 'wb') as f:
    f.write(bytes(range(256)) * 16)
with open(os.path.join(pkg, 'setup.ico'), 'wb') as f:
    f.write(icon_file([32, 16], quill))
