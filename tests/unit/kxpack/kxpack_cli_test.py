#!/usr/bin/env python3
"""kxpack as a package author runs it: a package packed into a setup program
whose resources Debian's wrestool reads back byte for byte, the stub's own
resources and sections intact, the same bytes for the same seed on any number
of threads, every kind of package mistake refused with its file and line, bad
stubs, unwritable outputs and bad command lines with their exit codes, and no
half-written output left behind.

usage: kxpack_cli_test.py KXPACK KXARC [--stub STUB --uninstaller PROGRAM]

With --stub (the real setup stub) only the round trip runs, on that stub.
"""
import argparse
import os
import random
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pe_builder  # noqa: E402
from pe_builder import icon_file, version_info  # noqa: E402

ap = argparse.ArgumentParser()
ap.add_argument('kxpack')
ap.add_argument('kxarc')
ap.add_argument('--stub')
ap.add_argument('--uninstaller')
args = ap.parse_args()
KXPACK, KXARC = os.path.abspath(args.kxpack), os.path.abspath(args.kxarc)
failures = []
checks = 0


def check(cond, what):
    global checks
    checks += 1
    if not cond:
        failures.append(what)
        print('FAIL:', what)


def run(*argv, cwd=None, env=None, program=None):
    p = subprocess.run([program or KXPACK] + [str(a) for a in argv], cwd=cwd, capture_output=True,
                       env=dict(os.environ, **env) if env else None)
    return p.returncode, p.stdout.decode('latin-1'), p.stderr.decode('latin-1')


GB = 'gbk'
B5 = 'big5'


def script_lines():
    return [
        ('[Common]', 'ascii'), ('AutoRun=ui.exe', 'ascii'), ('SERVICENAME=DemoSvc', 'ascii'),  # 1-3
        ('SERVICEFILE=svc.exe', 'ascii'), ('FindClass=TDemoWindow', 'ascii'),  # 4-5
        ('ReNameList=hook.dll;ui.exe', 'ascii'), ('WIN2K=TRUE', 'ascii'), ('', 'ascii'),  # 6-8
        ('[Service]', 'ascii'), ('DemoSvc=TRUE', 'ascii'), ('', 'ascii'),  # 9-11
        ('[GB.GrpName]', 'ascii'), ('GrpName=演示工具', GB), ('COMPANY=演示公司', GB),  # 12-14
        ('VERSION=正式版', GB), ('REG=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo', GB),  # 15-16
        ('PRGDIR=Demo', GB), ('UNINST=TRUE', GB), ('', GB),  # 17-19
        ('[GB.File]', GB), ('演示工具=ui.exe;svc.exe;hook.dll[S;docs\\readme.txt', GB),  # 20-21
        ('驱动程序=disk.sys[S', GB), ('', GB),  # 22-23
        ('[GB.Link]', GB), ('演示工具=ui.exe', GB), ('文档\\说明=docs\\readme.txt', GB), ('', GB),  # 24-27
        ('[B5.GrpName]', B5), ('GrpName=演示工具', B5), ('COMPANY=演示公司', B5),  # 28-30
        ('VERSION=正式版', B5), ('REG=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo', B5),  # 31-32
        ('PRGDIR=Demo', B5), ('UNINST=TRUE', B5), ('', B5),  # 33-35
        ('[B5.File]', B5), ('演示工具=ui.exe;svc.exe;hook.dll[S;docs\\readme.txt', B5),  # 36-37
        ('磁碟驅動程式=disk.sys[S', B5), ('', B5),  # 38-39
        ('[B5.Link]', B5), ('演示工具=ui.exe', B5), ('許功蓋\\讀我=docs\\readme.txt', B5), ('', B5),  # 40-43
        ('[EN.GrpName]', 'ascii'), ('GrpName=Demo Tool', 'ascii'), ('COMPANY=Demo Ltd.', 'ascii'),  # 44-46
        ('VERSION=Released Version', 'ascii'),  # 47
        ('REG=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo', 'ascii'),  # 48
        ('PRGDIR=Demo', 'ascii'), ('UNINST=TRUE', 'ascii'), ('', 'ascii'),  # 49-51
        ('[EN.File]', 'ascii'), ('Demo Tool=ui.exe;svc.exe;hook.dll[S;docs\\readme.txt', 'ascii'),  # 52-53
        ('Disk Driver=disk.sys[S', 'ascii'), ('', 'ascii'),  # 54-55
        ('[EN.Link]', 'ascii'), ('Demo Tool=ui.exe', 'ascii'), ('Docs\\Read Me=docs\\readme.txt', 'ascii'),  # 56-58
        ('', 'ascii'), ('[DESTDIR]', 'ascii'), ('drivers=disk.sys', 'ascii'), ('', 'ascii'),  # 59-62
        ('[AutoReg]', 'ascii'), ('SOFTWARE\\Demo\\Tool;InstallPath;ui.exe=1', 'ascii'),  # 63-64
    ]


def encode_script(lines):
    return b''.join(text.encode(enc) + b'\r\n' for text, enc in lines)


def make_package(root, lines=None):
    """A good package; answers {stored name: bytes} of its payload."""
    os.makedirs(os.path.join(root, 'files', 'docs'))
    with open(os.path.join(root, 'setup.ini'), 'wb') as f:
        f.write(encode_script(lines or script_lines()))
    for name, text, enc in (('LICCN.txt', '许可协议\r\n第二行\r\n', GB), ('LICB5.txt', '許可協議\r\n', B5),
                            ('LICEN.txt', 'Licence agreement\r\nSecond line\r\n', 'ascii')):
        with open(os.path.join(root, name), 'wb') as f:
            f.write(text.encode(enc))
    rnd = random.Random(7).randbytes(150000)
    payload = {
        'ui.exe': pe_builder.build_pe() + rnd,
        'svc.exe': b'service ' * 20000,
        'hook.dll': rnd[:5000],
        'docs\\readme.txt': b'Read me.\r\n' * 500,
        'disk.sys': bytes(70000),
    }
    for name, data in payload.items():
        with open(os.path.join(root, 'files', *name.split('\\')), 'wb') as f:
            f.write(data)
    return payload


def wrestool_list(path):
    p = subprocess.run(['wrestool', '-l', path], capture_output=True, text=True)
    out = []
    for line in p.stdout.splitlines():
        parts = dict(item.split('=', 1) for item in line.split() if item.startswith('--'))
        out.append((parts['--type'], parts['--name'], parts['--language']))
    return out


def wrestool_get(path, rtype, name, lang=None):
    cmd = ['wrestool', '-x', '--raw', '--type=' + rtype, '--name=' + name]
    if lang:
        cmd.append('--language=' + lang)
    return subprocess.run(cmd + [path], capture_output=True).stdout


def sections(img):
    pe = struct.unpack_from('<I', img, 0x3C)[0]
    count, opt = struct.unpack_from('<H', img, pe + 6)[0], struct.unpack_from('<H', img, pe + 20)[0]
    table = pe + 24 + opt
    return [struct.unpack_from('<8sIIII', img, table + 40 * i) for i in range(count)]


def leftovers(folder, keep=()):
    return [n for n in os.listdir(folder) if n not in keep]


def round_trip(work, stub, uninstaller, label):
    """The package packed into stub: every resource read back by wrestool."""
    pkg = os.path.join(work, 'pkg-' + label)
    payload = make_package(pkg)
    out_dir = os.path.join(work, 'out-' + label)
    os.makedirs(out_dir)
    out = os.path.join(out_dir, 'setup.exe')
    rc, so, se = run('--seed', 42, '--stub', stub, '--uninstaller', uninstaller, pkg, '-o', out)
    check(rc == 0, f'{label}: a good package is packed (exit {rc}: {se})')
    check('warning' not in se and 'error' not in se, f'{label}: a good package has no findings: {se}')
    if rc != 0:
        return None
    check(leftovers(out_dir) == ['setup.exe'], f'{label}: nothing but setup.exe is left: {leftovers(out_dir)}')
    inputs = {'LICCN': 'LICCN.txt', 'LICB5': 'LICB5.txt', 'LICEN': 'LICEN.txt'}
    for res, name in inputs.items():
        with open(os.path.join(pkg, name), 'rb') as f:
            check(wrestool_get(out, 'KXFILE', res) == f.read(), f'{label}: KXFILE/{res} reads back as {name}')
    # The script names no folders of its maker: the defaults follow it.
    with open(os.path.join(pkg, 'setup.ini'), 'rb') as f:
        check(wrestool_get(out, 'KXFILE', 'INIFILE') ==
              f.read() + b'[Common]\r\nVendorDir=Velmora\r\nSharedDir=Tarnwick\r\n',
              f'{label}: KXFILE/INIFILE is setup.ini with the default folders after it')
    with open(uninstaller, 'rb') as f:
        check(wrestool_get(out, 'KXFILE', 'UNINST') == f.read(), f'{label}: KXFILE/UNINST is the uninstaller')
    arc = os.path.join(work, label + '.setupx')
    with open(arc, 'wb') as f:
        f.write(wrestool_get(out, 'KXFILE', 'SETUPX'))
    unpacked = os.path.join(work, 'unpacked-' + label)
    p = subprocess.run([KXARC, 'extract', '--no-progress', arc, '-C', unpacked], capture_output=True, text=True)
    check(p.returncode == 0, f'{label}: the SETUPX resource is a sound archive: {p.stderr}')
    for name, data in payload.items():
        path = os.path.join(unpacked, *name.split('\\'))
        check(os.path.exists(path) and open(path, 'rb').read() == data, f'{label}: payload file {name} comes back')
    listing = subprocess.run([KXARC, 'list', arc], capture_output=True, text=True).stdout
    check('docs\\readme.txt' in listing, f'{label}: a file below files/docs is stored as docs\\readme.txt')

    stub_res = wrestool_list(stub)
    out_res = wrestool_list(out)
    check(stub_res and [r for r in out_res if r[0] != "'KXFILE'"] == stub_res,
          f'{label}: the stub\'s own resources are all there: {stub_res} / {out_res}')
    # The version resource is the package's.
    info = version_info(wrestool_get(out, '16', '1'))
    check(info.get('ProductName') == 'Demo Tool' and info.get('CompanyName') == 'Demo Ltd.'
          and info.get('FileDescription') == 'Demo Tool Setup',
          f'{label}: the version resource names the package: {info}')
    for rtype, name, lang in stub_res:
        t, n = rtype.strip("'"), name.strip("'")
        if t == name.strip("'") or t == '16':
            continue  # wrestool lists named resources under their type's name; checked by the unit tests
        check(wrestool_get(out, t, n, lang) == wrestool_get(stub, t, n, lang),
              f'{label}: stub resource {t}/{n}/{lang} is unchanged')
    with open(stub, 'rb') as f:
        s = f.read()
    with open(out, 'rb') as f:
        o = f.read()
    check(struct.unpack_from('<I', o, pe_builder.checksum_offset(o))[0] == pe_builder.pe_checksum(o),
          f'{label}: the PE checksum is right')
    for a, b in zip(sections(s), sections(o)):
        if a[0].rstrip(b'\0') == b'.rsrc':
            break
        check(a == b and s[a[4]:a[4] + a[3]] == o[b[4]:b[4] + b[3]],
              f'{label}: section {a[0]} keeps its place and bytes')
    return pkg, out


def main():
    work = tempfile.mkdtemp(prefix='kxpack-test-')
    try:
        if args.stub:
            round_trip(work, args.stub, args.uninstaller, 'real-stub')
            return
        stub = os.path.join(work, 'stub.exe')
        stub64 = os.path.join(work, 'stub64.exe')
        bare = os.path.join(work, 'uninst.exe')
        for path, data in ((stub, pe_builder.build_pe()), (stub64, pe_builder.build_pe(pe64=True)),
                           (bare, pe_builder.build_pe(resources=None))):
            with open(path, 'wb') as f:
                f.write(data)
        got = round_trip(work, stub, bare, 'built-stub')
        if not got:
            return
        pkg, out = got
        common = ['--stub', stub, '--uninstaller', bare]

        # Reproducible, whatever the number of threads.
        outs = os.path.join(work, 'repro')
        os.makedirs(outs)
        for jobs in ('1', '3', '3'):
            rc, _, se = run(*common, '--seed', 42, '-j', jobs, pkg, '-o', os.path.join(outs, 'j' + jobs + '.exe'))
            check(rc == 0, f'packing with -j{jobs}: {se}')
        with open(out, 'rb') as f:
            first = f.read()
        for name in ('j1.exe', 'j3.exe'):
            with open(os.path.join(outs, name), 'rb') as f:
                check(f.read() == first, f'{name} has the same bytes as the first run (same --seed)')

        # --check writes nothing.
        rc, so, se = run('--check', pkg)
        check(rc == 0 and not leftovers(pkg, {'setup.ini', 'LICCN.txt', 'LICB5.txt', 'LICEN.txt', 'files'}),
              f'--check on a good package: exit {rc}, nothing written: {se}')

        identity(work, common)
        reproducible(work, pkg, common)
        where_the_stub_comes_from(work, pkg, stub, bare)
        bad_packages(work, common)
        bad_stubs_and_outputs(work, pkg, stub, stub64, bare)
        payload_archives(work, pkg, common)
        interrupted(work, common)
        unpacked_and_too_large(work, common)
        starter_package(work, common)
        signing(work, pkg, stub, bare)
        terminal_encoding(work, common)
        command_lines(work, pkg, common)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def edit(lines, number, text, enc='ascii'):
    lines = list(lines)
    lines[number - 1] = text if isinstance(text, tuple) else (text, enc)
    return lines


def bad_packages(work, common):
    L = script_lines()
    utf8_line = ('GrpName=演示工具'.encode('utf-8').decode('latin-1'), 'latin-1')
    cases = [
        # (what, script lines or None, change to the folder, expected exit, expected text)
        ('a component file missing from files/', None, lambda p: os.remove(os.path.join(p, 'files', 'svc.exe')),
         1, "setup.ini:21: error: 'svc.exe'"),
        ('a files/ file no component installs', None, lambda p: open(os.path.join(p, 'files', 'x.txt'), 'w').close(),
         0, 'files/x.txt: warning: no component installs this file, so it is not packed'),
        ('an unknown section (a typo)', edit(L, 63, '[AutoRegs]'), None, 1,
         'setup.ini:63: error: unknown section [AutoRegs]; the wizard does not read it, so what it holds is lost '
         '(did you mean [AutoReg]?)'),
        ('the same component twice', edit(L, 54, 'Demo Tool=disk.sys[S'), None, 1,
         "setup.ini:54: error: [EN.File]: component 'Demo Tool' is listed twice (also on line 53)"),
        ('a component missing in one language', L[:37] + L[38:], None, 1,
         "setup.ini:36: error: [B5.File] is missing a component: 'Disk Driver' of [EN.File] (line 53, "
         "'disk.sys[S') has no counterpart here"),
        ('an extra component in one language', edit(L, 39, ('額外=ui.exe', B5)), None, 1,
         "setup.ini:39: error: [B5.File]: component"),
        ('a path beyond MAX_PATH', edit(L, 61, 'd' * 240 + '=disk.sys'), None, 1,
         "setup.ini:22: error: [GB.File]: 'disk.sys' would be installed as C:\\WINDOWS\\SysWOW64\\ddd"),
        ('a REG outside the system\'s list', edit(L, 48, 'REG=SOFTWARE\\Demo'), None, 0,
         'setup.ini:48: warning: [EN.GrpName]: REG \'SOFTWARE\\Demo\' is not a key below'),
        ('a company line too long to show', edit(L, 46, 'COMPANY=Demo Limited Liability Company'), None, 0,
         'setup.ini:46: warning: [EN.GrpName]: COMPANY'),
        ('a shortcut to no component\'s file', edit(L, 57, 'Demo Tool=nothing.exe'), None, 1,
         "setup.ini:57: error: [EN.Link]: shortcut target 'nothing.exe'"),
        ('a DESTDIR file of no component', edit(L, 61, 'drivers=other.sys'), None, 1,
         "setup.ini:61: error: [DESTDIR] names 'other.sys'"),
        ('a ReNameList file of no component', edit(L, 6, 'ReNameList=hook.dll;gone.exe'), None, 1,
         "setup.ini:6: error: ReNameList names 'gone.exe'"),
        ('a SERVICEFILE of no component', edit(L, 4, 'SERVICEFILE=svc2.exe'), None, 1,
         "setup.ini:4: error: SERVICEFILE 'svc2.exe'"),
        ('an AutoRun of no component', edit(L, 2, 'AutoRun=run.exe'), None, 1, "setup.ini:2: error: AutoRun 'run.exe'"),
        ('an AutoReg entry of two parts', edit(L, 64, 'SOFTWARE\\Demo;ui.exe=1'), None, 1,
         'setup.ini:64: error: [AutoReg]: the entry has 2 parts'),
        ('a missing language section', L[:27] + L[43:], None, 1, 'error: section [B5.GrpName] is missing'),
        ('components that differ between languages', edit(L, 38, '磁碟驅動程式=disk.sys', B5), None, 1,
         "setup.ini:38: error: [B5.File]: component 2"),
        ('UTF-8 text in a GB section', L[:12] + [utf8_line] + L[13:], None, 1,
         'setup.ini:13: error: [GB.GrpName]: the text is UTF-8; it must be GBK'),
        ('GBK text in a B5 section', edit(L, 29, 'GrpName=我們', GB), None, 1, 'setup.ini:29: error: [B5.GrpName]'),
        ('non-ASCII text in an EN section', edit(L, 45, 'GrpName=Démo', 'latin-1'), None, 1,
         'setup.ini:45: error: [EN.GrpName]: byte 0xE9 is not ASCII'),
        ('an empty licence', None, lambda p: open(os.path.join(p, 'LICEN.txt'), 'w').close(), 1,
         'LICEN.txt: error: the licence is empty'),
        ('a UTF-8 licence', None,
         lambda p: open(os.path.join(p, 'LICCN.txt'), 'wb').write('第一行\r\n'.encode('utf-8')), 1,
         'LICCN.txt:1: error: the text is UTF-8'),
        ('a licence that is not Big5', None,
         lambda p: open(os.path.join(p, 'LICB5.txt'), 'wb').write(b'ok\r\n\xa4\x80\r\n'), 1,
         'LICB5.txt:2: error: bytes 0xA4 0x80'),
        ('a missing licence', None, lambda p: os.remove(os.path.join(p, 'LICB5.txt')), 1,
         'LICB5.txt: error: the licence is missing'),
        ('a REG key with a hive', edit(L, 48, 'REG=HKEY_LOCAL_MACHINE\\SOFTWARE\\Demo'), None, 1,
         'setup.ini:48: error: [EN.GrpName]: REG'),
        ('an AutoReg key with a leading backslash', edit(L, 64, '\\SOFTWARE\\Demo;InstallPath;ui.exe=1'), None, 1,
         'setup.ini:64: error: [AutoReg]: registry key'),
        ('a missing script', None, lambda p: os.remove(os.path.join(p, 'setup.ini')), 1,
         'setup.ini: error: the install script is missing'),
        ('a missing files folder', None, lambda p: shutil.rmtree(os.path.join(p, 'files')), 1,
         'files/: error: the folder of payload files is missing'),
    ]
    for i, (what, lines, change, want_rc, want_text) in enumerate(cases):
        pkg = os.path.join(work, f'bad{i}')
        make_package(pkg, lines)
        if change:
            change(pkg)
        out_dir = os.path.join(work, f'bad{i}-out')
        os.makedirs(out_dir)
        rc, _, se = run(*common, pkg, '-o', os.path.join(out_dir, 'setup.exe'))
        shown = se.replace(pkg + '/', '')
        check(rc == want_rc, f'{what}: exit {rc}, expected {want_rc}: {se}')
        check(want_text in shown, f'{what}: the message names it ("{want_text}"): {shown}')
        check(leftovers(out_dir) == (['setup.exe'] if want_rc == 0 else []),
              f'{what}: what is left in the output folder: {leftovers(out_dir)}')
        if want_rc:
            rc, _, se = run(*common, '--force', pkg, '-o', os.path.join(out_dir, 'forced.exe'))
            check(rc == 0 and 'reported as warnings (--force)' in se and os.path.exists(os.path.join(out_dir, 'forced.exe')),
                  f'{what}: --force writes the setup anyway: exit {rc}: {se}')


def bad_stubs_and_outputs(work, pkg, stub, stub64, bare):
    folder = os.path.join(work, 'stubs')
    os.makedirs(folder)
    with open(stub, 'rb') as f:
        data = f.read()
    truncated = os.path.join(folder, 'truncated.exe')
    with open(truncated, 'wb') as f:
        f.write(data[:len(data) - 0x300])
    text = os.path.join(folder, 'text.exe')
    with open(text, 'w') as f:
        f.write('not a program\n')
    out_dir = os.path.join(work, 'stub-out')
    os.makedirs(out_dir)
    out = os.path.join(out_dir, 'setup.exe')
    cases = [
        ('a truncated stub', ['--stub', truncated, '--uninstaller', bare], 'truncated'),
        ('a 64-bit stub', ['--stub', stub64, '--uninstaller', bare], 'is a 64-bit program'),
        ('a stub that is no program', ['--stub', text, '--uninstaller', bare], 'not a Windows program'),
        ('a missing stub', ['--stub', os.path.join(folder, 'none.exe'), '--uninstaller', bare], 'cannot read'),
        ('an uninstaller that is no program', ['--stub', stub, '--uninstaller', text], 'the uninstaller'),
    ]
    for what, opts, want in cases:
        rc, _, se = run(*opts, pkg, '-o', out)
        check(rc == 3 and want in se, f'{what}: exit {rc} (want 3), message "{want}": {se}')
        check(leftovers(out_dir) == [], f'{what}: nothing is left behind: {leftovers(out_dir)}')

    rc, _, se = run('--allow-64bit', '--stub', stub64, '--uninstaller', bare, pkg, '-o', out)
    check(rc == 0 and wrestool_get(out, 'KXFILE', 'LICEN') == open(os.path.join(pkg, 'LICEN.txt'), 'rb').read(),
          f'--allow-64bit packs into a 64-bit stub: {se}')
    os.remove(out)

    # A setup used as the stub: its KXFILE resources are replaced, not doubled.
    first = os.path.join(out_dir, 'first.exe')
    run('--stub', stub, '--uninstaller', bare, pkg, '-o', first)
    rc, _, se = run('--stub', first, '--uninstaller', stub, pkg, '-o', out)
    with open(stub, 'rb') as f:
        check(rc == 0 and 'already carries KXFILE' in se and wrestool_get(out, 'KXFILE', 'UNINST') == f.read()
              and len([r for r in wrestool_list(out) if r[0] == "'KXFILE'"]) == 6,
              f'a setup as the stub gets its KXFILE resources replaced: {se}')
    for name in ('first.exe', 'setup.exe'):
        os.remove(os.path.join(out_dir, name))

    common = ['--stub', stub, '--uninstaller', bare, pkg, '-o']
    for what, target in (('an output under /proc', '/proc/kxpack-test/setup.exe'),
                         ('an output in a missing folder', os.path.join(out_dir, 'missing', 'setup.exe')),
                         ('an output that is a folder', out_dir),
                         ('an output below a file', os.path.join(stub, 'setup.exe'))):
        rc, _, se = run(*common, target)
        check(rc == 3 and 'cannot write' in se, f'{what}: exit {rc} (want 3) naming the failure: {se}')
        check(leftovers(out_dir) == [], f'{what}: nothing is left behind: {leftovers(out_dir)}')
    check(not os.path.exists('/proc/kxpack-test'), 'nothing appears under /proc')


def identity(work, common):
    """The author's names, version and icon in the setup program."""
    pkg = os.path.join(work, 'quill')
    make_package(pkg, script_lines() + [('[Common]', 'ascii'), ('VendorDir=Larkspur', 'ascii'),
                                        ('SharedDir=Larkspur Shared', 'ascii'), ('ProductVersion=2.5.1 rc', 'ascii'),
                                        ('Copyright=(c) 2024 Larkspur Software', 'ascii')])
    ico = icon_file([32, 16])
    with open(os.path.join(pkg, 'setup.ico'), 'wb') as f:
        f.write(ico)
    out = os.path.join(work, 'quill.exe')
    rc, _, se = run(*common, pkg, '-o', out)
    check(rc == 0 and not se, f'a package with its own folders, version and icon is packed: {se}')
    info = version_info(wrestool_get(out, '16', '1'))
    check(info == {'FileVersion#': '2.5.1.0', 'ProductVersion#': '2.5.1.0', 'CompanyName': 'Demo Ltd.',
                   'FileDescription': 'Demo Tool Setup', 'FileVersion': '2.5.1 rc',
                   'LegalCopyright': '(c) 2024 Larkspur Software', 'ProductName': 'Demo Tool',
                   'ProductVersion': '2.5.1 rc'}, f'the version resource is the package\'s: {info}')
    p = subprocess.run(['wrestool', '-x', '--type=14', '--name=1', out], capture_output=True)
    # (wrestool pads the file it rebuilds with zeros, as many as the group has bytes.)
    check(p.stdout[:len(ico)] == ico and not p.stdout[len(ico):].strip(b'\0'),
          'wrestool rebuilds setup.ico from the icon resources')
    listed = wrestool_list(out)
    check([r for r in listed if r[0] == '3'] == [('3', '1', '1033'), ('3', '2', '1033')],
          f'one icon resource per image: {listed}')
    with open(os.path.join(pkg, 'setup.ini'), 'rb') as f:
        check(wrestool_get(out, 'KXFILE', 'INIFILE') == f.read(), 'a script that names its folders is carried as it is')

    with open(os.path.join(pkg, 'setup.ico'), 'wb') as f:
        f.write(ico[:40])
    rc, _, se = run(*common, pkg, '-o', os.path.join(work, 'bad-icon.exe'))
    check(rc == 1 and 'setup.ico: error: the icon file ends inside its list of 2 images' in se
          or 'setup.ico: error: image' in se, f'a damaged setup.ico is refused: {rc} {se}')


def reproducible(work, pkg, common):
    """The same package gives the same bytes in any time zone, and with
    SOURCE_DATE_EPOCH whatever the files' times; the dates stored are UTC."""
    outs = os.path.join(work, 'tz')
    os.makedirs(outs)
    results = {}
    for tz in ('UTC', 'Asia/Shanghai', 'America/New_York'):
        out = os.path.join(outs, tz.replace('/', '-') + '.exe')
        rc, _, se = run(*common, pkg, '-o', out, env={'TZ': tz})
        check(rc == 0, f'packing under TZ={tz}: {se}')
        results[tz] = open(out, 'rb').read() if rc == 0 else b''
    check(len(set(results.values())) == 1, 'the same package gives the same bytes under every TZ, without --seed')

    # The entry date of a file written at 2001-02-03 04:05:06 UTC, read back by kxarc.
    moved = os.path.join(work, 'pkg-moved')
    shutil.copytree(pkg, moved)
    stamp = 981173106  # 2001-02-03 04:05:06 UTC
    for folder, _, names in os.walk(os.path.join(moved, 'files')):
        for name in names:
            os.utime(os.path.join(folder, name), (stamp, stamp))
    out = os.path.join(outs, 'moved.exe')
    rc, _, se = run(*common, moved, '-o', out, env={'TZ': 'Asia/Shanghai'})
    arc = os.path.join(outs, 'moved.setupx')
    with open(arc, 'wb') as f:
        f.write(wrestool_get(out, 'KXFILE', 'SETUPX'))
    listing = subprocess.run([KXARC, 'list', arc], capture_output=True, text=True,
                             env=dict(os.environ, TZ='UTC')).stdout
    check(rc == 0 and '2001-02-03 04:05 ' in listing,
          f'entries carry the files\' times in UTC, whatever TZ the packing ran in: {se} {listing}')
    check(open(out, 'rb').read() != results['UTC'], 'other file times give other bytes')

    # SOURCE_DATE_EPOCH: other file times and another zone, the same bytes.
    epoch = {'SOURCE_DATE_EPOCH': '1700000000'}
    a, b = os.path.join(outs, 'epoch-a.exe'), os.path.join(outs, 'epoch-b.exe')
    rc1, _, se1 = run(*common, pkg, '-o', a, env=dict(epoch, TZ='UTC'))
    rc2, _, se2 = run(*common, moved, '-o', b, env=dict(epoch, TZ='Asia/Tokyo'))
    check(rc1 == 0 and rc2 == 0 and open(a, 'rb').read() == open(b, 'rb').read(),
          f'the same SOURCE_DATE_EPOCH gives the same bytes whatever the file times and TZ: {se1} {se2}')
    with open(arc, 'wb') as f:
        f.write(wrestool_get(b, 'KXFILE', 'SETUPX'))
    listing = subprocess.run([KXARC, 'list', arc], capture_output=True, text=True,
                             env=dict(os.environ, TZ='UTC')).stdout
    check('2023-11-14 22:13 ' in listing, f'SOURCE_DATE_EPOCH is every entry\'s date: {listing}')
    rc, _, se = run(*common, pkg, '-o', os.path.join(outs, 'bad.exe'), env={'SOURCE_DATE_EPOCH': '17e8'})
    check(rc == 2 and 'SOURCE_DATE_EPOCH' in se, f'a SOURCE_DATE_EPOCH that is no number is refused: {rc} {se}')

    # Nothing of the machine: neither the package's folder nor the output's.
    data = results['UTC']
    for text in (work, os.path.basename(work), os.path.basename(pkg)):
        check(text.encode() not in data and text.encode('utf-16-le') not in data,
              f'the output holds no path of the build machine ({text})')


def where_the_stub_comes_from(work, pkg, stub, bare):
    """kxpack takes the stub from beside itself or ../share/kxsetup, never from a
    folder compiled into it; --verbose says which one it used."""
    home = os.path.join(work, 'kxpack-home')
    bindir = os.path.join(home, 'bin')
    os.makedirs(bindir)
    lone = os.path.join(bindir, 'kxpack')
    shutil.copy(KXPACK, lone)
    out = os.path.join(work, 'where.exe')
    rc, _, se = run(pkg, '-o', out, program=lone)
    check(rc == 3 and 'no setupstub.exe found' in se and bindir in se and 'share' in se and 'build' not in se,
          f'without a stub beside it kxpack names where it looked, and only there: {rc} {se}')
    share = os.path.join(home, 'share', 'kxsetup')
    os.makedirs(share)
    shutil.copy(stub, os.path.join(share, 'setupstub.exe'))
    shutil.copy(bare, os.path.join(share, 'kxUnInst.exe'))
    rc, _, se = run('--verbose', pkg, '-o', out, program=lone)
    check(rc == 0 and os.path.join(share, 'setupstub.exe') in se.replace(os.sep + 'bin' + os.sep + '..', ''),
          f'the stub in ../share/kxsetup is taken, and --verbose says so: {se}')
    shutil.copy(stub, os.path.join(bindir, 'setupstub.exe'))
    rc, _, se = run('--verbose', pkg, '-o', out, program=lone)
    check(rc == 0 and os.path.join(bindir, 'setupstub.exe') in se, f'a stub beside kxpack comes first: {se}')
    rc, _, se = run('--verbose', '--stub', stub, pkg, '-o', out, program=lone)
    check(rc == 0 and f'stub: {stub} (--stub)' in se, f'--stub wins, and --verbose says so: {se}')


def unpacked_and_too_large(work, common):
    """A file no component installs stays out of the payload; a package whose
    setup would be larger than Windows loads is refused before anything is
    packed, with the limit in the message."""
    pkg = os.path.join(work, 'extra-file')
    payload = make_package(pkg)
    with open(os.path.join(pkg, 'files', 'notes.txt'), 'wb') as f:
        f.write(b'left out')
    out = os.path.join(work, 'extra-file.exe')
    rc, _, se = run(*common, pkg, '-o', out)
    arc = os.path.join(work, 'extra-file.setupx')
    with open(arc, 'wb') as f:
        f.write(wrestool_get(out, 'KXFILE', 'SETUPX'))
    listing = subprocess.run([KXARC, 'list', arc], capture_output=True, text=True).stdout
    check(rc == 0 and 'notes.txt' not in listing and all(n.split('\\')[-1] in listing for n in payload),
          f'a file no component installs is not packed: {se} {listing}')

    big = os.path.join(work, 'too-large')
    make_package(big)
    for name, size in (('ui.exe', 900 << 20), ('svc.exe', 700 << 20)):
        with open(os.path.join(big, 'files', name), 'r+b') as f:
            f.truncate(size)  # sparse: nothing is written to the disk
    tmp = os.path.join(work, 'too-large-tmp')
    os.makedirs(tmp)
    out = os.path.join(work, 'too-large.exe')
    start = time.monotonic()
    rc, _, se = run(*common, big, '-o', out, env={'TMPDIR': tmp})
    took = time.monotonic() - start
    check(rc == 1 and 'files/: error: the setup program could be up to 1600 MB' in se.replace(big + '/', '')
          and 'Windows loads one of at most 1536 MB (1610612736 bytes)' in se and not os.path.exists(out),
          f'a package over the limit is refused with the limit: exit {rc}: {se}')
    check(took < 10 and not os.listdir(tmp), f'it is refused before anything is packed ({took:.1f} s, {os.listdir(tmp)})')
    rc, _, se = run(*common, '--sign-command', 'false {}', big, '-o', out, env={'TMPDIR': tmp})
    check(rc == 1 and 'signing' not in se, f'and before anything is signed: exit {rc}: {se}')


def starter_package(work, common):
    """kxpack --init writes a package that passes the checks and builds."""
    d = os.path.join(work, 'starter')
    rc, so, se = run('--init', d)
    check(rc == 0 and sorted(os.listdir(d)) == ['LICB5.txt', 'LICCN.txt', 'LICEN.txt', 'files', 'setup.ini']
          and os.listdir(os.path.join(d, 'files')) == ['readme.txt'], f'--init writes a package: {rc} {se}')
    rc, _, se = run('--check', d)
    check(rc == 0 and not se, f'the starting package has no findings: {se}')
    with open(os.path.join(d, 'setup.ini'), 'rb') as f:
        script = f.read()
    check('我的程序'.encode('gbk') in script and '我的程式'.encode('big5') in script and b'\r\n' in script
          and b'docs/setup-ini.md' in script, 'its script has GBK and Big5 texts, CR LF lines and points to the docs')
    check(open(os.path.join(d, 'LICCN.txt'), 'rb').read().decode('gbk').startswith('软件许可协议')
          and open(os.path.join(d, 'LICB5.txt'), 'rb').read().decode('big5').startswith('軟體授權合約'),
          'its licences are GBK and Big5')
    out = os.path.join(work, 'starter.exe')
    rc, _, se = run(*common, d, '-o', out)
    check(rc == 0 and os.path.exists(out), f'the starting package builds: {se}')
    rc, _, se = run('--init', d)
    check(rc == 3 and 'not empty' in se, f'--init leaves a folder with files alone: {rc} {se}')
    rc, _, se = run('--init', os.path.join(work, 'other'), d)
    check(rc == 2 and not os.path.exists(os.path.join(work, 'other')), f'--init takes one folder only: {rc} {se}')


def signing(work, pkg, stub, bare):
    """--sign-command signs the uninstaller before it goes in and the setup
    program once it is written; a throwaway certificate, checked by osslsigncode."""
    keys = os.path.join(work, 'keys')
    os.makedirs(keys)
    cert, key = os.path.join(keys, 'cert.pem'), os.path.join(keys, 'key.pem')
    p = subprocess.run(['openssl', 'req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout', key, '-out', cert,
                        '-days', '2', '-subj', '/CN=kxpack test signing', '-addext', 'extendedKeyUsage=codeSigning'],
                       capture_output=True)
    check(p.returncode == 0, 'a throwaway certificate is made')
    out_dir = os.path.join(work, 'signed')
    os.makedirs(out_dir)
    out = os.path.join(out_dir, 'setup.exe')
    command = f'osslsigncode sign -certs {cert} -key {key} -n Demo -in {{}} -out {{signed}}'
    rc, _, se = run('--sign-command', command, '--stub', stub, '--uninstaller', bare, pkg, '-o', out)
    check(rc == 0 and os.listdir(out_dir) == ['setup.exe'], f'a signed setup program is written: {rc} {se}')

    def verified(path):
        v = subprocess.run(['osslsigncode', 'verify', '-CAfile', cert, '-in', path], capture_output=True, text=True)
        return v.returncode == 0 and 'Signature verification: ok' in v.stdout

    check(verified(out), 'osslsigncode verifies the setup program')
    embedded = os.path.join(work, 'embedded-uninst.exe')
    with open(embedded, 'wb') as f:
        f.write(wrestool_get(out, 'KXFILE', 'UNINST'))
    check(verified(embedded), 'osslsigncode verifies the uninstaller it carries')
    check(not verified(bare), 'the uninstaller given is left unsigned')

    for what, cmd, want_rc, want in (
            ('a failing command', 'false {}', 3, 'signing the uninstaller failed'),
            ('a command that writes no signed copy', 'true {} {signed}', 3, 'wrote no'),
            ('a command without {}', 'signtool sign file.exe', 2, '--sign-command wants a command with {}')):
        rc, _, se = run('--sign-command', cmd, '--stub', stub, '--uninstaller', bare, pkg, '-o',
                        os.path.join(out_dir, 'bad.exe'), env={'TMPDIR': out_dir})
        check(rc == want_rc and want in se and os.listdir(out_dir) == ['setup.exe'],
              f'{what}: exit {rc} (want {want_rc}), nothing left: {se} {os.listdir(out_dir)}')


def terminal_encoding(work, common):
    """Names from the GB and B5 sections appear in the terminal's encoding."""
    pkg = os.path.join(work, 'cjk-names')
    make_package(pkg, edit(script_lines(), 22, ('演示工具=disk.sys[S', GB)))
    for locale, encoding in (('C.UTF-8', 'utf-8'), ('zh_CN.gbk', 'gbk')):
        p = subprocess.run([KXPACK, '--check', pkg], capture_output=True,
                           env=dict(os.environ, LC_ALL=locale))
        want = "component '演示工具' is listed twice".encode(encoding)
        check(p.returncode == 1 and want in p.stderr,
              f'under {locale} the component name is {encoding}: {p.stderr.decode("latin-1")}')


def interrupted(work, common):
    """An interrupt while the payload is packed leaves no file behind."""
    pkg = os.path.join(work, 'big')
    make_package(pkg)
    with open(os.path.join(pkg, 'files', 'ui.exe'), 'wb') as f:  # a file of a component: it is packed
        f.write(random.Random(3).randbytes(64 << 20))
    tmp, out_dir = os.path.join(work, 'big-tmp'), os.path.join(work, 'big-out')
    os.makedirs(tmp)
    os.makedirs(out_dir)
    p = subprocess.Popen([KXPACK] + common + ['-j1', pkg, '-o', os.path.join(out_dir, 'setup.exe')],
                         env=dict(os.environ, TMPDIR=tmp), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 30
    while not os.listdir(tmp) and p.poll() is None and time.monotonic() < deadline:
        time.sleep(0.01)
    p.send_signal(signal.SIGINT)
    p.wait()
    check(p.returncode == 128 + signal.SIGINT, f'an interrupted run ends with {128 + signal.SIGINT}: {p.returncode}')
    check(not os.listdir(tmp) and not os.listdir(out_dir),
          f'an interrupted run leaves nothing: {os.listdir(tmp)} {os.listdir(out_dir)}')


def payload_archives(work, pkg, common):
    arc = os.path.join(work, 'ready.setupx')
    files = os.path.join(pkg, 'files')
    names = ['ui.exe', 'svc.exe', 'hook.dll', 'disk.sys']
    p = subprocess.run([KXARC, 'create', '--no-progress', arc] + names + ['docs'], cwd=files, capture_output=True)
    check(p.returncode == 0, 'kxarc makes a ready payload archive')
    pkg2 = os.path.join(work, 'ready-pkg')
    shutil.copytree(pkg, pkg2, ignore=shutil.ignore_patterns('files'))
    out = os.path.join(work, 'ready.exe')
    rc, _, se = run(*common, '--payload', arc, pkg2, '-o', out)
    check(rc == 0, f'a ready payload archive is taken: {se}')
    with open(arc, 'rb') as f:
        check(wrestool_get(out, 'KXFILE', 'SETUPX') == f.read(), 'the ready archive is carried unchanged')

    damaged = os.path.join(work, 'damaged.setupx')
    with open(arc, 'rb') as f:
        data = bytearray(f.read())
    data[40000] ^= 0xFF
    with open(damaged, 'wb') as f:
        f.write(data)
    rc, _, se = run(*common, '--payload', damaged, pkg2, '-o', os.path.join(work, 'damaged.exe'))
    check(rc == 1 and 'is damaged' in se and not os.path.exists(os.path.join(work, 'damaged.exe')),
          f'a damaged payload archive is refused, naming the entry: exit {rc}: {se}')
    rc, _, se = run(*common, '--force', '--payload', damaged, pkg2, '-o', os.path.join(work, 'damaged.exe'))
    check(rc == 0, f'--force carries a damaged archive for a test package: {se}')
    empty = os.path.join(work, 'empty.setupx')
    open(empty, 'wb').close()
    rc, _, se = run(*common, '--payload', empty, pkg2, '-o', os.path.join(work, 'empty.exe'))
    check(rc == 1 and 'not a usable payload archive' in se and "'ui.exe'" in se,
          f'an empty file is no payload archive and its files are missing: exit {rc}: {se}')
    rc, _, se = run(*common, '--payload', os.path.join(work, 'none.setupx'), pkg2, '-o', out)
    check(rc == 3, f'a missing payload archive is an input failure: exit {rc}: {se}')


def command_lines(work, pkg, common):
    out = os.path.join(work, 'cl.exe')
    for what, argv in (('no arguments', []), ('an unknown option', ['--frobnicate', pkg, '-o', out]),
                       ('no output', [pkg]), ('--check with an output', ['--check', pkg, '-o', out]),
                       ('two package folders', [pkg, pkg, '-o', out]), ('--jobs 0', ['-j0', pkg, '-o', out]),
                       ('a bad level', ['--level', 'ultra', pkg, '-o', out]),
                       ('a bad seed', ['--seed', '-1', pkg, '-o', out]), ('--stub without a file', ['--stub'])):
        rc, _, se = run(*argv)
        check(rc == 2 and 'kxpack --help' in se, f'{what}: exit {rc} (want 2): {se}')
    check(not os.path.exists(out), 'no output after a bad command line')
    rc, so, _ = run('--help')
    check(rc == 0 and 'Exit status' in so and 'files/' in so and '--payload' in so, '--help documents the tool')
    rc, _, se = run(*common, '--level', 'none', '--jobs=2', pkg, '-o', out)
    check(rc == 0, f'--level none and --jobs=2 are taken: {se}')


main()
print(f'{checks} checks, {len(failures)} failures')
sys.exit(1 if failures else 0)
