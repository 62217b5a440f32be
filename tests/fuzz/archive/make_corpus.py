#!/usr/bin/env python3
# Writes the seed corpus of fuzz_archive: small archives laid out from the format tables.
import math, os, struct, zlib

def crc(b):  # block check: register from 0, no final inversion
    return (~zlib.crc32(b, 0xFFFFFFFF)) & 0xFFFFFFFF

def ext80(v):
    if v == 0:
        return b'\0' * 10
    m, e = math.frexp(v)
    return struct.pack('<QH', int(m * 2**64), e - 1 + 16383)

def header(flags, end, seg, bs, count, size, comp, comment=b'', rid=4711):
    h = struct.pack('<iiiiiiB', 4664, 1, rid, bs, end, seg, flags)
    h += (struct.pack('<i', count) + ext80(size) + ext80(comp)) * 2
    return h + b'\0' * (132 + 424) + struct.pack('<i', len(comment)) + comment

def entry(name, off, fsize, fcomp, psize, pcomp, flags=5, seg=1, src=0, date=44000.5):
    return (struct.pack('<i', len(name)) + name + ext80(date) + struct.pack('<ihiiB', 0, seg, off, src, flags) +
            struct.pack('<iiii', fsize, fcomp, psize, pcomp))

def blocks(data, bs, compress=True):
    out = b''
    for i in range(0, len(data), bs):
        c = data[i:i + bs]
        z = zlib.compress(c)
        out += (struct.pack('<iI', len(z), crc(z)) + z if compress and len(z) < len(c)
                else struct.pack('<iI', -len(c), crc(c)) + c)
    return out

def main():
    d = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'corpus')
    os.makedirs(d, exist_ok=True)
    text = b'setup archive block entry segment zlib\r\n' * 80
    noise = bytes((i * 7919 + 13) % 251 for i in range(1500))
    def put(name, b):
        with open(os.path.join(d, name), 'wb') as f:
            f.write(b)
    put('empty.arc', build([]))
    put('files.arc', build([(b'readme.txt', text, True), (b'noise.bin', noise, True), (b'sub\\.', b'', True),
                            (b'zero', b'', True)], comment=b'hello'))
    put('uncompressed.arc', build([(b'a.txt', text[:2500], False)], flags=8))
    inner = build([(b'one.txt', text[:1800], True), (b'two.bin', noise[:700], True)])
    put('solid.arc', build([(b'solid', inner, True)], flags=11))
    bl = blocks(text[:2048], 1024)
    put('segment1.arc', header(1, 633 + 50 + len(bl), 1, 1024, 1, 2048, len(bl)) +
        entry(b'a.txt', 633, 3000, 9999, 2048, len(bl), flags=1) + bl)

def build(files, flags=9, bs=1024, comment=b''):
    body, base, tot, comp = b'', 633 + len(comment), 0, 0
    for name, data, c in files:
        bl = blocks(data, bs, c)
        fl = 6 if name.endswith(b'.') else 5
        body += entry(name, base + len(body), len(data), len(bl), len(data), len(bl), flags=fl) + bl
        tot, comp = tot + len(data), comp + len(bl)
    return header(flags, base + len(body), 1, bs, len(files), tot, comp, comment) + body

if __name__ == '__main__':
    main()
