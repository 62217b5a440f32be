"""Small Windows programs built byte by byte, for kxpack's command-line test and
the seeds of the PE reader's fuzz target: a PE32 (or PE32+) image with .text,
.rsrc and .reloc as MinGW's linker lays them out, and an independent PE
checksum; an .ico file, and a reader of a version resource, for the tests of
what kxpack writes into a setup program.
"""
import struct

FILE_ALIGN = 0x200
SECTION_ALIGN = 0x1000


def _align(n, a):
    return (n + a - 1) // a * a


def resource_tree(resources, rva):
    """A resource section for [(type, name, lang, data)], type and name an int or
    an upper-case str, laid out as directories, data entries, strings, data."""
    def key(x):
        return (0, x) if isinstance(x, str) else (1, x)
    tree = {}
    for t, n, lang, data in resources:
        tree.setdefault(t, {}).setdefault(n, {})[lang] = data
    types = sorted(tree, key=key)
    dirs = 16 + 8 * len(types)
    type_at = {}
    for t in types:
        type_at[t] = dirs
        dirs += 16 + 8 * len(tree[t])
    name_at = {}
    for t in types:
        for n in sorted(tree[t], key=key):
            name_at[(t, n)] = dirs
            dirs += 16 + 8 * len(tree[t][n])
    leaves = [(t, n, l) for t in types for n in sorted(tree[t], key=key) for l in sorted(tree[t][n])]
    entries = dirs
    strings = entries + 16 * len(leaves)
    names = [t for t in types if isinstance(t, str)] + \
        [n for t in types for n in sorted(tree[t], key=key) if isinstance(n, str)]
    string_at, pos, blob = {}, strings, b''
    for s in names:
        string_at.setdefault(s, pos)
        if string_at[s] == pos:
            blob += struct.pack('<H', len(s)) + s.encode('utf-16-le')
            pos += 2 + 2 * len(s)
    data_start = _align(pos, 8)
    out = bytearray(data_start)
    out[strings:strings + len(blob)] = blob

    def ident(x):
        return 0x80000000 | string_at[x] if isinstance(x, str) else x

    def directory(at, children):
        named = sum(isinstance(c, str) for c in children)
        struct.pack_into('<IIHHHH', out, at, 0, 0, 0, 0, named, len(children) - named)

    directory(0, types)
    for i, t in enumerate(types):
        struct.pack_into('<II', out, 16 + 8 * i, ident(t), 0x80000000 | type_at[t])
        ns = sorted(tree[t], key=key)
        directory(type_at[t], ns)
        for j, n in enumerate(ns):
            struct.pack_into('<II', out, type_at[t] + 16 + 8 * j, ident(n), 0x80000000 | name_at[(t, n)])
            ls = sorted(tree[t][n])
            directory(name_at[(t, n)], ls)
            for k, l in enumerate(ls):
                struct.pack_into('<II', out, name_at[(t, n)] + 16 + 8 * k, l,
                                 entries + 16 * leaves.index((t, n, l)))
    for i, (t, n, l) in enumerate(leaves):
        data = tree[t][n][l]
        struct.pack_into('<IIII', out, entries + 16 * i, rva + len(out), len(data), 0, 0)
        out += data + bytes(_align(len(data), 8) - len(data))
    return bytes(out)


STUB_RESOURCES = [
    (24, 1, 0x409, b'<?xml version="1.0"?><assembly manifestVersion="1.0"/>'),
    (2, 200, 0x409, bytes(range(256)) * 3),
    (16, 1, 0x409, b'VS_VERSION_INFO stand-in' + bytes(40)),
    ('CUSTOM', 'THING', 0x804, b'custom data'),
]


def build_pe(pe64=False, resources=STUB_RESOURCES):
    """A program: .text with one pointer fixed up by the one base relocation,
    .rsrc holding resources (none: no .rsrc at all), .reloc."""
    base = 0x140000000 if pe64 else 0x400000
    text = bytearray(b'\x90' * 0x40)
    struct.pack_into('<Q' if pe64 else '<I', text, 0x10, base + 0x1020)
    sections = [('.text', 0x1000, bytes(text), 0x60000020)]
    rva = 0x2000
    if resources:
        sections.append(('.rsrc', rva, resource_tree(resources, rva), 0x40000040))
        rva += 0x1000 * ((len(sections[-1][2]) + 0xFFF) // 0x1000)
    reloc = struct.pack('<IIHH', 0x1000, 12, (0xA000 if pe64 else 0x3000) | 0x10, 0)
    sections.append(('.reloc', rva, reloc, 0x42000040))

    opt_size = 240 if pe64 else 224
    table = 0x40 + 24 + opt_size
    headers = _align(table + 40 * len(sections), FILE_ALIGN)
    img = bytearray(headers)
    img[0:2] = b'MZ'
    struct.pack_into('<I', img, 0x3C, 0x40)
    img[0x40:0x44] = b'PE\0\0'
    struct.pack_into('<HHIIIHH', img, 0x44, 0x8664 if pe64 else 0x14C, len(sections), 0, 0, 0, opt_size,
                     0x0022 if pe64 else 0x0102)
    oh = 0x58
    struct.pack_into('<H', img, oh, 0x20B if pe64 else 0x10B)
    if pe64:
        struct.pack_into('<Q', img, oh + 24, base)
    else:
        struct.pack_into('<I', img, oh + 28, base)
    struct.pack_into('<II', img, oh + 32, SECTION_ALIGN, FILE_ALIGN)
    struct.pack_into('<I', img, oh + 60, headers)
    struct.pack_into('<H', img, oh + 68, 2)
    struct.pack_into('<I', img, oh + (108 if pe64 else 92), 16)
    dirs = oh + (112 if pe64 else 96)
    initialized = 0
    for i, (name, va, raw, chars) in enumerate(sections):
        raw_size = _align(len(raw), FILE_ALIGN)
        struct.pack_into('<8sIIIIIIHHI', img, table + 40 * i, name.encode(), len(raw), va, raw_size, len(img),
                         0, 0, 0, 0, chars)
        img += raw + bytes(raw_size - len(raw))
        if chars & 0x40:
            initialized += raw_size
        if name == '.rsrc':
            struct.pack_into('<II', img, dirs + 16, va, len(raw))
        if name == '.reloc':
            struct.pack_into('<II', img, dirs + 40, va, len(raw))
        end = _align(va + max(len(raw), raw_size), SECTION_ALIGN)
    struct.pack_into('<I', img, oh + 8, initialized)
    struct.pack_into('<I', img, oh + 56, end)
    struct.pack_into('<I', img, oh + 64, pe_checksum(img))
    return bytes(img)


def checksum_offset(img):
    return struct.unpack_from('<I', img, 0x3C)[0] + 24 + 64


def pe_checksum(img):
    """The PE checksum, the field itself counted as zero."""
    at = checksum_offset(img)
    data = bytearray(img)
    data[at:at + 4] = bytes(4)
    if len(data) % 2:
        data += b'\0'
    total = 0
    for (word,) in struct.iter_unpack('<H', data):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    return total + len(img)


def icon_file(sizes, pixel=lambda n, x, y: bytes([n, 0x40, 0x80, 0xFF])):
    """An .ico of 32-bit images of the given sizes, entries then images, as
    wrestool rebuilds one from a program's resources; pixel(n, x, y) gives the
    BGRA bytes of each point of the image of size n."""
    images = []
    for n in sizes:
        mask_row = ((n + 31) // 32) * 4
        pixels = b''.join(pixel(n, x, y) for y in range(n) for x in range(n))
        header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 32, 0, len(pixels) + mask_row * n, 0, 0, 0, 0)
        images.append(header + pixels + bytes(mask_row * n))
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, img in zip(sizes, images):
        out += struct.pack('<BBBBHHII', n, n, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    return out + b''.join(images)


def version_info(data):
    """The strings of a version resource, and its numbers as 'FileVersion#' and
    'ProductVersion#' ("a.b.c.d"): a reader of the format of its own."""
    out = {}

    def text(at):
        end = at
        while data[end:end + 2] != b'\0\0':
            end += 2
        return data[at:end].decode('utf-16-le'), end + 2

    def node(at, depth):
        length, value_length, kind = struct.unpack_from('<HHH', data, at)
        key, pos = text(at + 6)
        pos = (pos + 3) & ~3
        if depth == 0:
            sig, _, fms, fls, pms, pls = struct.unpack_from('<6I', data, pos)
            if sig == 0xFEEF04BD:
                out['FileVersion#'] = f'{fms >> 16}.{fms & 0xFFFF}.{fls >> 16}.{fls & 0xFFFF}'
                out['ProductVersion#'] = f'{pms >> 16}.{pms & 0xFFFF}.{pls >> 16}.{pls & 0xFFFF}'
            pos += value_length
        elif depth == 3:
            out[key] = text(pos)[0] if value_length else ''
            return
        elif value_length:
            pos += value_length * (2 if kind == 1 else 1)
        while True:
            pos = (pos + 3) & ~3
            if pos >= at + length:
                break
            child_length = struct.unpack_from('<H', data, pos)[0]
            if child_length == 0:
                break
            node(pos, depth + 1)
            pos += child_length

    if len(data) >= 6:
        node(0, 0)
    return out
