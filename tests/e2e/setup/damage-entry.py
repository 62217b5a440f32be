#!/usr/bin/env python3
# Copies a payload archive with one byte flipped inside the first data block of
# the named entry, so that its block check fails while every header stays sound.
#   damage-entry.py IN OUT NAME
import struct
import sys

src, dst, name = sys.argv[1], sys.argv[2], sys.argv[3].encode("ascii")
data = bytearray(open(src, "rb").read())
end = struct.unpack_from("<i", data, 16)[0]
pos = 633 + struct.unpack_from("<i", data, 629)[0]
while pos < end:
    n = struct.unpack_from("<i", data, pos)[0]
    stored = struct.unpack_from("<i", data, pos + 41 + n)[0]
    block = pos + 45 + n
    if data[pos + 4:pos + 4 + n].lower() == name.lower():
        length = abs(struct.unpack_from("<i", data, block)[0])
        if length < 1:
            sys.exit("entry %s has an empty first block" % sys.argv[3])
        data[block + 8 + length // 2] ^= 0x55
        open(dst, "wb").write(data)
        sys.exit(0)
    pos = block + stored
sys.exit("no entry %s in %s" % (sys.argv[3], src))
