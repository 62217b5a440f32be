#!/usr/bin/env python3
"""How large a setup image Wine still loads and starts: for each size, kxpack
writes the demo's script with a payload of that many zero bytes (--force: the
payload is no archive, which matters not, as only the first page is shown),
and first_page_probe starts it in a copy of the i686 tree's 32-bit prefix and
of its 64-bit (WoW64) prefix and waits for the licence page. Run by hand:

  bench/kxpack/load_limit.py [SIZE_MB ...]   (default 1000 1500 1900 1950 1958 1966 2000;
                                              needs build/host and build/win32 with
                                              first_page_probe and wine_template built)

Each image is written beside this run's temporary folder (as large as the size
asked for) and removed afterwards.
"""
import os
import shutil
import subprocess
import sys
import tempfile

root = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))
kxpack = os.path.join(root, 'build', 'host', 'tools', 'kxpack', 'kxpack')
win32 = os.path.join(root, 'build', 'win32')
probe = os.path.join(win32, 'tests', 'e2e', 'release', 'first_page_probe.exe')
acme = os.path.join(root, 'packages', 'acme')
sizes = [int(a) for a in sys.argv[1:]] or [1000, 1500, 1900, 1950, 1958, 1966, 2000]

work = tempfile.mkdtemp(prefix='kxpack-limit-')
try:
    pkg = os.path.join(work, 'pkg')
    os.makedirs(pkg)
    for name in ('setup.ini', 'LICCN.txt', 'LICB5.txt', 'LICEN.txt'):
        shutil.copy(os.path.join(acme, name), pkg)
    payload = os.path.join(work, 'payload.bin')
    image = os.path.join(work, 'setup.exe')
    print(f'{"MB":>6} {"image bytes":>12}  32-bit prefix        64-bit prefix (WoW64)')
    for mb in sizes:
        with open(payload, 'wb') as f:
            f.truncate(mb << 20)
        p = subprocess.run([kxpack, '--no-progress', '--force', '--payload', payload,
                            '--stub', os.path.join(win32, 'tools', 'kxpack', 'setupstub.exe'),
                            '--uninstaller', os.path.join(win32, 'uninst', 'kxUnInst.exe'), pkg, '-o', image],
                           capture_output=True, text=True, errors='replace')
        if p.returncode != 0:
            print(f'{mb:>6} kxpack failed: {p.stderr.strip().splitlines()[-1]}')
            continue
        results = []
        for template in ('template', 'template64'):
            r = subprocess.run([os.path.join(root, 'scripts', 'wine-run.sh'), '--wine', '/usr/lib/wine/wine',
                                '--root', os.path.join(win32, 'wine'), '--name', 'load-limit-' + template,
                                '--template', template, '--display', '--', probe, image],
                               capture_output=True, text=True, errors='replace')
            results.append(r.stdout.strip() or (r.stderr.strip().splitlines() or ['?'])[-1])
        size = os.path.getsize(image)
        print(f'{mb:>6} {size:>12}  {results[0]:<20} {results[1]}')
        os.remove(image)
finally:
    shutil.rmtree(work, ignore_errors=True)
