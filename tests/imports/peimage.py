"""Reads what the import test and the size benchmark need from a PE image:
the header fields the Windows loader checks, the import tables (ordinary and
delay-load) and the resource tree. Portable; no Windows tools needed."""
import struct

IMAGE_FILE_MACHINE_I386 = 0x14C
IMAGE_FILE_MACHINE_AMD64 = 0x8664


class PEError(Exception):
    pass


class Import:
    """One imported function: by name, or by ordinal (name None)."""

    def __init__(self, dll, name=None, ordinal=None, delayed=False):
        self.dll, self.name, self.ordinal, self.delayed = dll, name, ordinal, delayed

    def __repr__(self):
        what = self.name if self.name is not None else "#%d" % self.ordinal
        return "%s!%s%s" % (self.dll, what, " (delay-load)" if self.delayed else "")


class Resource:
    """A leaf of the resource tree: type, name and language as int or str."""

    def __init__(self, type_, name, language, size):
        self.type, self.name, self.language, self.size = type_, name, language, size


class PEImage:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise PEError("no MZ header")
        pe = self._u32(0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise PEError("no PE signature")
        (self.machine, count, self.timestamp, _, _, optsize, _) = struct.unpack_from("<HHIIIHH", data, pe + 4)
        opt = pe + 24
        magic = self._u16(opt)
        if magic not in (0x10B, 0x20B):
            raise PEError("unknown optional header 0x%x" % magic)
        self.pe32plus = magic == 0x20B
        self.os_version = (self._u16(opt + 40), self._u16(opt + 42))
        self.subsystem_version = (self._u16(opt + 48), self._u16(opt + 50))
        self.subsystem = self._u16(opt + 68)
        self.dll_characteristics = self._u16(opt + 70)
        dirs = opt + (112 if self.pe32plus else 96)
        ndirs = self._u32(dirs - 4)
        self.directories = [struct.unpack_from("<II", data, dirs + 8 * i) for i in range(min(ndirs, 16))]
        self.sections = []
        for i in range(count):
            off = opt + optsize + 40 * i
            name = data[off:off + 8].rstrip(b"\0").decode("latin-1")
            vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", data, off + 8)
            self.sections.append((name, va, max(vsize, rawsize), rawptr, rawsize))

    def _u16(self, off):
        return struct.unpack_from("<H", self.data, off)[0]

    def _u32(self, off):
        return struct.unpack_from("<I", self.data, off)[0]

    def offset(self, rva):
        for _, va, size, rawptr, rawsize in self.sections:
            if va <= rva < va + size:
                if rva - va >= rawsize:
                    raise PEError("RVA 0x%x lies in uninitialised data" % rva)
                return rawptr + rva - va
        raise PEError("RVA 0x%x is in no section" % rva)

    def cstring(self, rva):
        off = self.offset(rva)
        end = self.data.index(b"\0", off)
        return self.data[off:end].decode("latin-1")

    def _thunks(self, rva):
        size, fmt, flag = (8, "<Q", 1 << 63) if self.pe32plus else (4, "<I", 1 << 31)
        while True:
            value = struct.unpack_from(fmt, self.data, self.offset(rva))[0]
            if value == 0:
                return
            if value & flag:
                yield None, value & 0xFFFF
            else:
                yield self.cstring(value + 2), None
            rva += size

    def imports(self):
        """Every imported function, ordinary imports first, then delay-loaded ones."""
        out = []
        rva = self.directories[1][0] if len(self.directories) > 1 else 0
        while rva:
            lookup, _, _, name, iat = struct.unpack_from("<IIIII", self.data, self.offset(rva))
            if not (lookup or name or iat):
                break
            dll = self.cstring(name)
            for func, ordinal in self._thunks(lookup or iat):
                out.append(Import(dll, func, ordinal))
            rva += 20
        rva = self.directories[13][0] if len(self.directories) > 13 else 0
        while rva:
            attrs, name, _, _, lookup, _, _, _ = struct.unpack_from("<8I", self.data, self.offset(rva))
            if not name:
                break
            if not attrs & 1:
                raise PEError("old-style delay-load descriptor")
            dll = self.cstring(name)
            for func, ordinal in self._thunks(lookup):
                out.append(Import(dll, func, ordinal, delayed=True))
            rva += 32
        return out

    def resources(self):
        """Every resource leaf of the tree (type, name, language, data size)."""
        base_rva = self.directories[2][0] if len(self.directories) > 2 else 0
        if not base_rva:
            return []
        base = self.offset(base_rva)
        out = []

        def key(entry_name):
            if entry_name & 0x80000000:
                off = base + (entry_name & 0x7FFFFFFF)
                length = self._u16(off)
                return self.data[off + 2:off + 2 + 2 * length].decode("utf-16-le")
            return entry_name

        def walk(off, path):
            named, ids = struct.unpack_from("<HH", self.data, off + 12)
            for i in range(named + ids):
                entry_name, target = struct.unpack_from("<II", self.data, off + 16 + 8 * i)
                if target & 0x80000000:
                    walk(base + (target & 0x7FFFFFFF), path + [key(entry_name)])
                else:
                    _, size = struct.unpack_from("<II", self.data, base + target)
                    type_, name = (path + [None, None])[:2]
                    out.append(Resource(type_, name, key(entry_name), size))

        walk(base, [])
        return out


def load(path):
    with open(path, "rb") as f:
        return PEImage(f.read())
