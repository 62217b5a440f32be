#!/usr/bin/env python3
"""kxpack's speed and memory on a generated package: one core against all
cores (the output must be the same bytes), and the peak memory of a run.
Run by hand:

  bench/kxpack/kxpack_bench.py [SIZE_MB]   (default 64; needs build/host and build/win32)
"""
import os
import random
import resource
import shutil
import subprocess
import sys
import tempfile
import time

root = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))
kxpack = os.path.join(root, 'build', 'host', 'tools', 'kxpack', 'kxpack')
data = os.path.join(root, 'build', 'win32', 'tools', 'kxpack')
acme = os.path.join(root, 'packages', 'acme')
size_mb = int(sys.argv[1]) if len(sys.argv) > 1 else 64

work = tempfile.mkdtemp(prefix='kxpack-bench-')
try:
    pkg = os.path.join(work, 'pkg')
    os.makedirs(os.path.join(pkg, 'files'))
    for name in ('LICCN.txt', 'LICB5.txt', 'LICEN.txt'):
        shutil.copy(os.path.join(acme, name), pkg)
    rnd = random.Random(1)
    names = []
    # Half text-like data that compresses, half random data that does not.
    for i in range(size_mb // 4):
        name = f'file{i:03}.bin'
        names.append(name)
        with open(os.path.join(pkg, 'files', name), 'wb') as f:
            if i % 2:
                f.write(rnd.randbytes(4 << 20))
            else:
                words = [b'alpha', b'beta', b'gamma', b'delta', b'setup', b'\r\n']
                f.write(b' '.join(rnd.choice(words) for _ in range(700000))[:4 << 20])
    with open(os.path.join(pkg, 'setup.ini'), 'w') as f:
        f.write('[Common]\r\n')
        for lang in ('GB', 'B5', 'EN'):
            f.write(f'[{lang}.GrpName]\r\nGrpName=Bench\r\nREG=SOFTWARE\\Bench\r\nPRGDIR=Bench\r\n')
            f.write(f'[{lang}.File]\r\nAll={";".join(names)}\r\n')

    def run(jobs):
        out = os.path.join(work, f'j{jobs}.exe')
        start = time.monotonic()
        subprocess.run([kxpack, '--no-progress', '--seed', '1', '-j', str(jobs), '--stub',
                        os.path.join(data, 'setupstub.exe'), '--uninstaller', os.path.join(data, 'kxUnInst.exe'),
                        pkg, '-o', out], check=True, capture_output=True)
        return time.monotonic() - start, out

    cores = os.cpu_count() or 1
    t1, out1 = run(1)
    rss = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    tn, outn = run(cores)
    same = open(out1, 'rb').read() == open(outn, 'rb').read()
    print(f'package: {size_mb} MB in {len(names)} files; setup: {os.path.getsize(out1) / 1e6:.1f} MB')
    print(f'-j1: {t1:.2f} s ({size_mb / t1:.1f} MB/s); -j{cores}: {tn:.2f} s ({size_mb / tn:.1f} MB/s); '
          f'same bytes: {same}')
    print(f'peak memory of a run: {rss / 1024:.0f} MB')
    sys.exit(0 if same else 1)
finally:
    shutil.rmtree(work, ignore_errors=True)
