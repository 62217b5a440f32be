#!/usr/bin/env python3
"""The Quillpad release as Debian's tools read it: its version resource and
icon (wrestool), its signatures and the uninstaller's (osslsigncode), no name
of ours among its strings, and the same bytes from two runs under other time
zones and file times with the same SOURCE_DATE_EPOCH.

  check-release.py KXPACK PACKAGE SIGNED_SETUP CERT STUB UNINSTALLER
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'unit', 'kxpack'))
from pe_builder import version_info  # noqa: E402

kxpack, pkg, setup, cert, stub, uninstaller = sys.argv[1:7]
failures = []


def check(cond, what):
    print(('ok   ' if cond else 'FAIL ') + what)
    if not cond:
        failures.append(what)


def resource(path, rtype, name):
    return subprocess.run(['wrestool', '-x', '--raw', f'--type={rtype}', f'--name={name}', path],
                          capture_output=True).stdout


info = version_info(resource(setup, 16, 1))
check(info == {'FileVersion#': '2.1.0.0', 'ProductVersion#': '2.1.0.0', 'CompanyName': 'Larkspur Software',
               'FileDescription': 'Quillpad Setup', 'FileVersion': '2.1.0', 'LegalCopyright': '(c) 2024 Larkspur Software',
               'ProductName': 'Quillpad', 'ProductVersion': '2.1.0'}, f'the version resource is the package\'s: {info}')
with open(os.path.join(pkg, 'setup.ico'), 'rb') as f:
    ico = f.read()
rebuilt = subprocess.run(['wrestool', '-x', '--type=14', '--name=1', setup], capture_output=True).stdout
check(rebuilt[:len(ico)] == ico, 'the icon is setup.ico')
with open(os.path.join(pkg, 'setup.ini'), 'rb') as f:
    check(resource(setup, 'KXFILE', 'INIFILE') == f.read(), 'the script that names its folders goes in as it is')


def verified(path):
    v = subprocess.run(['osslsigncode', 'verify', '-CAfile', cert, '-in', path], capture_output=True, text=True)
    return v.returncode == 0 and 'Signature verification: ok' in v.stdout


work = tempfile.mkdtemp(prefix='kx-release-')
try:
    embedded = os.path.join(work, 'kxUnInst.exe')
    with open(embedded, 'wb') as f:
        f.write(resource(setup, 'KXFILE', 'UNINST'))
    check(verified(setup), 'osslsigncode verifies setup.exe')
    check(verified(embedded), 'osslsigncode verifies the uninstaller it carries')

    # Our names, as text of any kind: ASCII anywhere; UTF-16 anywhere but in
    # the uninstaller, which is our program, shared by every package in the
    # Windows folder, and keeps our company in its version resource.
    with open(setup, 'rb') as f:
        image = f.read()
    with open(embedded, 'rb') as f:
        uninst = f.read()
    ascii_runs = re.findall(rb'[\x20-\x7e]{4,}', image)
    outside = image.replace(uninst, b'')
    wide_runs = [r.decode('utf-16-le') for r in re.findall(rb'(?:[\x20-\x7e]\x00){4,}', outside)]
    for name in ('Velmora', 'Tarnwick'):
        hits = [r for r in ascii_runs if name.encode() in r] + [r for r in wide_runs if name in r]
        check(not hits, f'no "{name}" among the strings of setup.exe: {hits[:5]}')

    # Reproducible: other file times, another zone, the same SOURCE_DATE_EPOCH.
    outs = []
    for n, (tz, stamp) in enumerate((('UTC', 981173106), ('Asia/Shanghai', 1262304000))):
        copy = os.path.join(work, f'pkg{n}')
        shutil.copytree(pkg, copy)
        for folder, _, names in os.walk(copy):
            for name in names:
                os.utime(os.path.join(folder, name), (stamp, stamp))
        out = os.path.join(work, f'setup{n}.exe')
        p = subprocess.run([kxpack, '--no-progress', '--stub', stub, '--uninstaller', uninstaller, copy, '-o', out],
                           capture_output=True, text=True,
                           env=dict(os.environ, TZ=tz, SOURCE_DATE_EPOCH='1700000000'))
        check(p.returncode == 0, f'an unsigned build under TZ={tz}: {p.stderr}')
        outs.append(open(out, 'rb').read() if p.returncode == 0 else b'')
    check(outs[0] == outs[1] and outs[0], 'two runs with other file times and zones give the same bytes')
finally:
    shutil.rmtree(work, ignore_errors=True)

print(f'{len(failures)} failures')
sys.exit(1 if failures else 0)
