#!/usr/bin/env python3
"""Independent checker for single-segment archives: parses the bytes by the
layout tables alone (no project code) and reports the first broken rule.

usage: validate_archive.py ARCHIVE [--json] [--extract DIR]
exit 0: valid (with --json the parsed structure is printed), 1: invalid, 2: usage.
"""
import json
import os
import struct
import sys
import zlib

HEADER_FIXED = 633
SIGNATURE = 4664


class Invalid(Exception):
    pass


def ext80(b):
    mant, se = struct.unpack('<QH', b)
    sign = -1.0 if se & 0x8000 else 1.0
    exp = se & 0x7FFF
    if exp == 0 and mant == 0:
        return 0.0
    if exp == 0x7FFF:
        raise Invalid('ext80 is not finite')
    return sign * mant * 2.0 ** (exp - 16383 - 63)


def info(b):
    count = struct.unpack_from('<i', b, 0)[0]
    return {'FileCount': count, 'Size': ext80(b[4:14]), 'CompressedSize': ext80(b[14:24])}


def block_crc(data):
    # register from 0, no final inversion: the NOT of zlib's crc32 seeded with 0xFFFFFFFF
    return (~zlib.crc32(data, 0xFFFFFFFF)) & 0xFFFFFFFF


def parse(data, extract_dir=None):
    if len(data) < HEADER_FIXED:
        raise Invalid('file shorter than the 633-byte header (%d bytes)' % len(data))
    sig, ver, rid, bsize, end, seg = struct.unpack_from('<iiiiiI', data, 0)
    flags = data[24]
    h = {'Signature': sig, 'Version': ver, 'RandomID': rid, 'BlockSize': bsize,
         'EndOffset': end, 'Segment': seg & 0xFFFF, 'SegmentRaw': seg, 'ArchiveFlag': flags,
         'ArchiveInfo': info(data[25:49]), 'SegmentInfo': info(data[49:73]),
         'UserDataZero': data[73:205] == bytes(132), 'ReservedZero': data[205:629] == bytes(424)}
    clen = struct.unpack_from('<i', data, 629)[0]
    if sig != SIGNATURE:
        raise Invalid('signature %d' % sig)
    if ver != 1:
        raise Invalid('version %d' % ver)
    if not 0 <= rid <= 999999:
        raise Invalid('RandomID %d out of 0..999999' % rid)
    if bsize < 1024:
        raise Invalid('BlockSize %d below 1024' % bsize)
    if seg > 0xFFFF:
        raise Invalid('segment field %d is not a zero-extended 16-bit value' % seg)
    if flags & 0xF0:
        raise Invalid('flag bits 4..7 set: 0x%02x' % flags)
    if clen < 0 or HEADER_FIXED + clen > len(data):
        raise Invalid('comment length %d' % clen)
    h['Comment'] = data[HEADER_FIXED:HEADER_FIXED + clen].decode('latin-1')
    hsize = HEADER_FIXED + clen
    h['HeaderSize'] = hsize
    if not flags & 8:
        raise Invalid('afFinalSegment missing (only single-segment archives are checked)')
    if h['Segment'] != 1:
        raise Invalid('segment %d in a single-segment archive' % h['Segment'])
    if end != len(data):
        raise Invalid('EndOffset %d differs from the file size %d' % (end, len(data)))
    if end < hsize:
        raise Invalid('EndOffset %d below the header size %d' % (end, hsize))

    maxbuf = bsize + bsize // 100
    pos = hsize
    entries = []
    tot_size = 0
    tot_comp = 0
    while pos < end:
        e = {'Offset': pos}
        if pos + 4 > end:
            raise Invalid('entry header at %d cut by EndOffset' % pos)
        n = struct.unpack_from('<i', data, pos)[0]
        if n < 0 or pos + 45 + n > end:
            raise Invalid('entry at %d: name length %d' % (pos, n))
        name = data[pos + 4:pos + 4 + n]
        q = pos + 4 + n
        e['Name'] = name.decode('latin-1')
        e['Date'] = ext80(data[q:q + 10])
        (e['Attr'], e['Segment'], e['StoredOffset'], e['SourceOffset'], e['EntryFlags'],
         fs, fc, ps, pc) = struct.unpack_from('<ihiiBiiii', data, q + 10)
        e['FileInfo'] = {'Size': fs, 'CompressedSize': fc}
        e['PartInfo'] = {'Size': ps, 'CompressedSize': pc}
        where = 'entry %r at %d' % (e['Name'], pos)
        if e['StoredOffset'] != pos:
            raise Invalid('%s: Offset field %d' % (where, e['StoredOffset']))
        if e['Segment'] != 1:
            raise Invalid('%s: Segment %d' % (where, e['Segment']))
        if e['SourceOffset'] != 0:
            raise Invalid('%s: SourceOffset %d' % (where, e['SourceOffset']))
        if (fs, fc) != (ps, pc):
            raise Invalid('%s: FileInfo differs from PartInfo' % where)
        if e['Attr'] != 0:
            raise Invalid('%s: Attr %d (the writer stores 0)' % (where, e['Attr']))
        pos = q + 41
        blocks = []
        out = bytearray()
        if e['EntryFlags'] == 6:
            last = name.replace(b'/', b'\\').split(b'\\')[-1]
            if last != b'.':
                raise Invalid('%s: folder entry name does not end in "."' % where)
            if (fs, fc) != (0, 0):
                raise Invalid('%s: folder entry with sizes' % where)
        elif e['EntryFlags'] == 5:
            if fs < 0 or fc < 0:
                raise Invalid('%s: negative size' % where)
            used = 0
            while used < pc:
                if pos + 8 > end:
                    raise Invalid('%s: block header past EndOffset' % where)
                sl, crc = struct.unpack_from('<iI', data, pos)
                ln = abs(sl)
                if ln > maxbuf or pos + 8 + ln > end:
                    raise Invalid('%s: StoredLength %d' % (where, sl))
                stored = data[pos + 8:pos + 8 + ln]
                if block_crc(stored) != crc:
                    raise Invalid('%s: BlockCRC of block %d' % (where, len(blocks)))
                want = min(bsize, fs - len(out))
                if sl >= 0:
                    if not flags & 1:
                        raise Invalid('%s: compressed block without afCompressed' % where)
                    try:
                        d = zlib.decompressobj()
                        src = d.decompress(stored, bsize + 1)
                        if not d.eof or d.unused_data or d.unconsumed_tail:
                            raise Invalid('%s: block %d is not exactly one zlib stream' % (where, len(blocks)))
                    except zlib.error as ex:
                        raise Invalid('%s: block %d does not inflate: %s' % (where, len(blocks), ex))
                    if len(src) >= 1 and ln >= len(src):
                        raise Invalid('%s: compressed block %d not shorter than its source' % (where, len(blocks)))
                    if stored[:1] != b'\x78':
                        raise Invalid('%s: block %d lacks the zlib header' % (where, len(blocks)))
                else:
                    src = stored
                if len(src) != want:
                    raise Invalid('%s: block %d holds %d source bytes, expected %d'
                                  % (where, len(blocks), len(src), want))
                blocks.append({'StoredLength': sl, 'Source': len(src), 'Head': stored[:2].hex()})
                out += src
                used += ln + 8
                pos += ln + 8
            if used != pc:
                raise Invalid('%s: blocks take %d bytes, PartInfo.CompressedSize %d' % (where, used, pc))
            if len(out) != fs:
                raise Invalid('%s: blocks expand to %d bytes, FileInfo.Size %d' % (where, len(out), fs))
            tot_size += fs
            tot_comp += fc
        else:
            raise Invalid('%s: EntryFlags %d' % (where, e['EntryFlags']))
        e['Blocks'] = blocks
        if extract_dir is not None and e['EntryFlags'] == 5:
            # names keep their last component only; enough for round-trip checks
            target = os.path.join(extract_dir, e['Name'].replace('\\', '/').split('/')[-1])
            with open(target, 'wb') as f:
                f.write(out)
        entries.append(e)
    if pos != end:
        raise Invalid('last entry ends at %d, EndOffset %d' % (pos, end))
    ai = h['ArchiveInfo']
    want = {'FileCount': len(entries), 'Size': float(tot_size), 'CompressedSize': float(tot_comp)}
    if ai != want:
        raise Invalid('ArchiveInfo %r, the entries give %r' % (ai, want))
    if h['SegmentInfo'] != ai:
        raise Invalid('SegmentInfo %r differs from ArchiveInfo %r' % (h['SegmentInfo'], ai))
    h['Entries'] = entries
    return h


def main(argv):
    if len(argv) < 2 or argv[1] in ('-h', '--help'):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    as_json = '--json' in argv
    extract = None
    if '--extract' in argv:
        extract = argv[argv.index('--extract') + 1]
    with open(argv[1], 'rb') as f:
        data = f.read()
    try:
        h = parse(data, extract)
    except Invalid as ex:
        print('%s: invalid: %s' % (argv[1], ex), file=sys.stderr)
        return 1
    if as_json:
        print(json.dumps(h, indent=1))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
