#!/usr/bin/env python3
"""kxpack's speed and memory on generated packages: one core against all
cores (the output must be the same bytes), and the peak memory of each run,
which must stay under 256 MB whatever the payload (kxpack streams it). Run by
hand:

  bench/kxpack/kxpack_bench.py [SIZE_MB ...]   (default 64; needs build/host and build/win32)

e.g. kxpack_bench.py 64 600 1400 for the sizes of a large release. Each
package is half text-like data that compresses and half random data that does
not, in files of 4 MB; it and its setup programs are written to a temporary
folder (twice the size asked for, and the setup) and removed afterwards.
"""
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

root = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))
kxpack = os.path.join(root, 'build', 'host', 'tools', 'kxpack', 'kxpack')
win32 = os.path.join(root, 'build', 'win32')
acme = os.path.join(root, 'packages', 'acme')
sizes = [int(a) for a in sys.argv[1:]] or [64]
MEMORY_TARGET_MB = 256


def make_package(pkg, size_mb):
    os.makedirs(os.path.join(pkg, 'files'))
    for name in ('LICCN.txt', 'LICB5.txt', 'LICEN.txt'):
        shutil.copy(os.path.join(acme, name), pkg)
    rnd = random.Random(1)
    words = [b'alpha', b'beta', b'gamma', b'delta', b'setup', b'\r\n']
    text = b' '.join(rnd.choice(words) for _ in range(700000))[:4 << 20]
    names = []
    for i in range(max(1, size_mb // 4)):
        name = f'file{i:04}.bin'
        names.append(name)
        with open(os.path.join(pkg, 'files', name), 'wb') as f:
            f.write(rnd.randbytes(4 << 20) if i % 2 else text)
    with open(os.path.join(pkg, 'setup.ini'), 'w') as f:
        f.write('[Common]\r\n')
        for lang in ('GB', 'B5', 'EN'):
            f.write(f'[{lang}.GrpName]\r\nGrpName=Bench\r\n'
                    f'REG=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Bench\r\nPRGDIR=Bench\r\n')
            f.write(f'[{lang}.File]\r\nAll={";".join(names)}\r\n')
    return len(names)


def run(pkg, out, jobs):
    """Seconds and peak resident memory (MB) of one kxpack run, measured by
    GNU time (the resource use of a child of this Python process would start
    from Python's own)."""
    report = out + '.time'
    start = time.monotonic()
    p = subprocess.run(['/usr/bin/time', '-f', '%M', '-o', report, kxpack, '--no-progress', '-j', str(jobs),
                        '--stub', os.path.join(win32, 'tools', 'kxpack', 'setupstub.exe'),
                        '--uninstaller', os.path.join(win32, 'uninst', 'kxUnInst.exe'), pkg, '-o', out],
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    seconds = time.monotonic() - start
    if p.returncode != 0:
        sys.exit(f'kxpack failed: {p.stderr.decode(errors="replace")}')
    with open(report) as f:
        return seconds, int(f.read().split()[-1]) / 1024


failed = False
for size_mb in sizes:
    work = tempfile.mkdtemp(prefix='kxpack-bench-')
    try:
        pkg = os.path.join(work, 'pkg')
        count = make_package(pkg, size_mb)
        cores = os.cpu_count() or 1
        out1, outn = os.path.join(work, 'j1.exe'), os.path.join(work, 'jn.exe')
        t1, m1 = run(pkg, out1, 1)
        tn, mn = run(pkg, outn, cores)
        same = subprocess.run(['cmp', '-s', out1, outn]).returncode == 0
        peak = max(m1, mn)
        print(f'package: {size_mb} MB in {count} files; setup: {os.path.getsize(out1) / 1e6:.1f} MB')
        print(f'  -j1: {t1:.2f} s ({size_mb / t1:.1f} MB/s), peak {m1:.0f} MB; '
              f'-j{cores}: {tn:.2f} s ({size_mb / tn:.1f} MB/s), peak {mn:.0f} MB; same bytes: {same}')
        print(f'  peak memory {peak:.0f} MB: {"under" if peak < MEMORY_TARGET_MB else "OVER"} '
              f'the {MEMORY_TARGET_MB} MB target')
        failed = failed or not same or peak >= MEMORY_TARGET_MB
    finally:
        shutil.rmtree(work, ignore_errors=True)
sys.exit(1 if failed else 0)
