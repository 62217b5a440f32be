#!/usr/bin/env python3
"""kxarc as a user runs it: create, list, test and extract, a damaged archive, a
name that would escape the destination, a file left out, and the threaded create
giving the same bytes as the single-threaded one.

usage: kxarc_cli_test.py KXARC VALIDATOR
"""
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

KXARC, VALIDATOR = sys.argv[1], sys.argv[2]
failures = []


def run(*args, cwd=None):
    p = subprocess.run([KXARC] + list(args), cwd=cwd, capture_output=True, text=True)
    return p.returncode, p.stdout, p.stderr


def check(cond, what):
    if not cond:
        failures.append(what)
        print('FAIL:', what)


def valid(path):
    return subprocess.run([sys.executable, VALIDATOR, path]).returncode == 0


def block_crc(b):
    return (~zlib.crc32(b, 0xFFFFFFFF)) & 0xFFFFFFFF


def handmade(path, names):
    """An archive built here byte by byte, one raw block per entry."""
    body = b''
    pos = 633
    for name, data in names:
        n = name.encode('latin-1')
        blk = struct.pack('<iI', -len(data), block_crc(data)) + data
        ent = (struct.pack('<i', len(n)) + n + bytes(10) +
               struct.pack('<ihiiBiiii', 0, 1, pos, 0, 5, len(data), len(blk), len(data), len(blk)))
        body += ent + blk
        pos += len(ent) + len(blk)
    total = sum(len(d) for _, d in names)
    comp = pos - 633 - sum(45 + len(n.encode()) for n, _ in names)

    def ext80(x):
        if x == 0:
            return bytes(10)
        e = x.bit_length() - 1
        return struct.pack('<QH', x << (63 - e), 16383 + e)
    info = struct.pack('<i', len(names)) + ext80(total) + ext80(comp)
    hdr = struct.pack('<iiiiiI', 4664, 1, 7, 65536, pos, 1) + bytes([9]) + info + info + bytes(556) + bytes(4)
    with open(path, 'wb') as f:
        f.write(hdr + body)


def main():
    work = tempfile.mkdtemp(prefix='kxarc-cli-')
    try:
        src = os.path.join(work, 'pkg')
        os.makedirs(os.path.join(src, 'bin'))
        os.makedirs(os.path.join(src, 'empty'))
        rnd = random.Random(5)
        files = {
            'readme.txt': b'Acme Tool\r\n' * 3000,
            os.path.join('bin', 'tool.dat'): bytes(rnd.getrandbits(8) for _ in range(150000)),
            os.path.join('bin', 'zero.bin'): b'',
        }
        for rel, data in files.items():
            with open(os.path.join(src, rel), 'wb') as f:
                f.write(data)
        arc = os.path.join(work, 'pkg.arc')

        rc, out, err = run('--help')
        check(rc == 0 and 'usage: kxarc create' in out and 'Exit status' in out, '--help')
        rc, out, err = run()
        check(rc == 2 and 'missing command' in err, 'no command gives usage error 2')
        rc, out, err = run('frobnicate', 'x')
        check(rc == 2 and "unknown command 'frobnicate'" in err, 'unknown command')
        rc, out, err = run('create', '-b', '100', arc, src)
        check(rc == 2 and 'block-size' in err, 'block size below 1024 refused')

        rc, out, err = run('create', '--seed', '42', '-c', 'demo package', arc, src)
        check(rc == 0 and err == '', 'create: rc %d err %r' % (rc, err))
        check(valid(arc), 'created archive passes the checker')
        # no progress bar when stderr is not a terminal: err stayed empty above

        rc, out, err = run('list', arc)
        check(rc == 0, 'list rc')
        for name in ('pkg\\readme.txt', 'pkg\\bin\\tool.dat', 'pkg\\bin\\zero.bin', 'pkg\\empty\\.'):
            check(name in out, 'list shows %s' % name)
        check('Comment: demo package' in out, 'list shows the comment')
        check('4 entries' in out, 'list counts 4 entries')

        rc, out, err = run('test', arc)
        check(rc == 0 and '4 entries tested, 0 damaged' in out, 'test of a good archive: %r %r' % (out, err))

        dest = os.path.join(work, 'out')
        rc, out, err = run('extract', arc, '-C', dest)
        check(rc == 0 and err == '', 'extract rc %d %r' % (rc, err))
        for rel, data in files.items():
            p = os.path.join(dest, 'pkg', rel)
            check(os.path.isfile(p) and open(p, 'rb').read() == data, 'extracted %s' % rel)
        check(os.path.isdir(os.path.join(dest, 'pkg', 'empty')), 'empty folder made')

        dest2 = os.path.join(work, 'out2')
        rc, out, err = run('extract', arc, '-C', dest2, 'PKG\\README.TXT', 'nosuch')
        check(rc == 1 and "'nosuch' is not in the archive" in err, 'missing name reported')
        check(os.path.isfile(os.path.join(dest2, 'pkg', 'readme.txt')), 'named entry extracted ignoring case')
        check(not os.path.exists(os.path.join(dest2, 'pkg', 'bin')), 'only the named entry extracted')

        # threaded and single-threaded create give the same bytes
        one = os.path.join(work, 'one.arc')
        many = os.path.join(work, 'many.arc')
        rc1, _, _ = run('create', '--seed', '42', '-c', 'demo package', '-j', '1', one, src)
        rc2, _, _ = run('create', '--seed=42', '-c', 'demo package', '-j4', many, src)
        check(rc1 == 0 and rc2 == 0, 'create -j1 / -j4')
        check(open(one, 'rb').read() == open(many, 'rb').read(), '-j4 archive identical to -j1')
        check(open(one, 'rb').read() == open(arc, 'rb').read(), 'default -j archive identical to -j1')

        # solid archive round trip
        solid = os.path.join(work, 'solid.arc')
        rc, out, err = run('create', '--solid', '--seed', '1', solid, src)
        check(rc == 0 and valid(solid), 'solid create %r' % err)
        rc, out, err = run('test', solid)
        check(rc == 0 and '4 entries tested' in out, 'solid test %r %r' % (out, err))

        # damage: flip one byte inside the first block of pkg/bin/tool.dat (stored first)
        data = bytearray(open(arc, 'rb').read())
        data[633 + 45 + len('pkg\\bin\\tool.dat') + 8 + 100] ^= 0x55
        bad = os.path.join(work, 'bad.arc')
        open(bad, 'wb').write(data)
        rc, out, err = run('test', bad)
        check(rc == 1 and "damaged entry 'pkg\\bin\\tool.dat'" in err and '1 damaged' in out,
              'damaged archive named: rc %d %r %r' % (rc, out, err))
        rc, out, err = run('extract', bad, '-C', os.path.join(work, 'out3'))
        check(rc == 1 and 'damaged entry' in err, 'extract of damaged archive exits 1')
        check(os.path.isfile(os.path.join(work, 'out3', 'pkg', 'readme.txt')), 'good entries still extracted')

        # not an archive at all
        junk = os.path.join(work, 'junk.arc')
        open(junk, 'wb').write(b'x' * 1000)
        rc, out, err = run('test', junk)
        check(rc == 1 and err.startswith('kxarc: '), 'junk is damaged')
        rc, out, err = run('list', os.path.join(work, 'missing.arc'))
        check(rc == 3 and 'no such file' in err, 'missing archive exits 3')

        # traversal names are refused, the others extracted, nothing lands outside
        evil = os.path.join(work, 'evil.arc')
        handmade(evil, [('..\\escaped.txt', b'bad'), ('ok.txt', b'fine'),
                        ('C:\\drive.txt', b'bad'), ('\\abs.txt', b'bad'), ('a\\..\\..\\up.txt', b'bad')])
        check(valid(evil), 'handmade archive is valid')
        jail = os.path.join(work, 'jail', 'inner')
        rc, out, err = run('extract', evil, '-C', jail)
        check(rc == 1, 'traversal extract exits 1')
        check(err.count('refusing to extract') == 4, 'four names refused: %r' % err)
        check(os.path.isfile(os.path.join(jail, 'ok.txt')), 'safe name extracted')
        for stray in ('escaped.txt', 'up.txt', 'drive.txt', 'abs.txt'):
            check(not os.path.exists(os.path.join(work, 'jail', stray)), 'no %s outside' % stray)
            check(not os.path.exists(os.path.join(work, stray)), 'no %s further out' % stray)

        # a file left out is reported and the exit status says so
        noise = os.path.join(work, 'noise.bin')
        open(noise, 'wb').write(bytes(rnd.getrandbits(8) for _ in range(5000)))
        small = os.path.join(work, 'small.arc')
        rc, out, err = run('create', '-b', '1024', small, noise, os.path.join(src, 'readme.txt'))
        check(rc == 1 and "left out '%s'" % noise in err, 'left-out file reported: %r' % err)
        rc, out, err = run('list', small)
        check('readme.txt' in out and 'noise.bin' not in out, 'the other file is in')
        check(valid(small), 'archive with a file left out is valid')
        rc, out, err = run('create', os.path.join(work, 'x.arc'), os.path.join(work, 'nothere'))
        check(rc == 1 and "cannot add" in err, 'missing input reported')
    finally:
        if not failures:
            shutil.rmtree(work, ignore_errors=True)
    print('%d failures' % len(failures))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
