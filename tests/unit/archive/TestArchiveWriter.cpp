// Independent archive layout for the reader's tests.
#include "TestArchiveWriter.h"

#include <cmath>
#include <cstring>
#include <stdexcept>
#include <zlib.h>

namespace kxtest {

std::uint32_t TestBlockCRC(const Bytes& data) {
    static std::uint32_t table[256];
    static bool made = false;
    if (!made) {
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            table[n] = c;
        }
        made = true;
    }
    std::uint32_t r = 0;
    for (unsigned char b : data) r = table[(r ^ b) & 0xFF] ^ (r >> 8);
    return r;
}

void PutLE32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void PutLE16(Bytes& b, std::uint16_t v) {
    b.push_back(static_cast<char>(v & 0xFF));
    b.push_back(static_cast<char>(v >> 8));
}

void SetLE32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint32_t GetLE32(const Bytes& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
    return v;
}

Bytes Ext80(double v) {
    Bytes out(10, '\0');
    if (v == 0) return out;
    bool neg = v < 0;
    if (neg) v = -v;
    int exp;
    double frac = std::frexp(v, &exp); // v = frac * 2^exp, frac in [0.5, 1)
    std::uint64_t mant = static_cast<std::uint64_t>(std::ldexp(frac, 64));
    std::uint16_t e = static_cast<std::uint16_t>(exp - 1 + 16383);
    for (int i = 0; i < 8; ++i) out[i] = static_cast<char>((mant >> (8 * i)) & 0xFF);
    std::uint16_t se = e | (neg ? 0x8000 : 0);
    out[8] = static_cast<char>(se & 0xFF);
    out[9] = static_cast<char>(se >> 8);
    return out;
}

Bytes HeaderBytes(const HeaderFields& h) {
    Bytes b;
    PutLE32(b, static_cast<std::uint32_t>(h.Signature));
    PutLE32(b, static_cast<std::uint32_t>(h.Version));
    PutLE32(b, static_cast<std::uint32_t>(h.RandomID));
    PutLE32(b, static_cast<std::uint32_t>(h.BlockSize));
    PutLE32(b, static_cast<std::uint32_t>(h.EndOffset));
    PutLE32(b, h.Segment);
    b.push_back(static_cast<char>(h.Flags));
    PutLE32(b, static_cast<std::uint32_t>(h.ArchiveCount));
    b += Ext80(h.ArchiveSize) + Ext80(h.ArchiveCompressed);
    PutLE32(b, static_cast<std::uint32_t>(h.SegmentCount));
    b += Ext80(h.SegmentSize) + Ext80(h.SegmentCompressed);
    b += Bytes(132 + 424, '\0');
    PutLE32(b, static_cast<std::uint32_t>(h.Comment.size()));
    b += h.Comment;
    return b;
}

Bytes EntryBytes(const EntryFields& e) {
    Bytes b;
    PutLE32(b, static_cast<std::uint32_t>(e.Name.size()));
    b += e.Name;
    b += Ext80(e.Date);
    PutLE32(b, static_cast<std::uint32_t>(e.Attr));
    PutLE16(b, static_cast<std::uint16_t>(e.Segment));
    PutLE32(b, static_cast<std::uint32_t>(e.Offset));
    PutLE32(b, static_cast<std::uint32_t>(e.SourceOffset));
    b.push_back(static_cast<char>(e.Flags));
    PutLE32(b, static_cast<std::uint32_t>(e.FileSize));
    PutLE32(b, static_cast<std::uint32_t>(e.FileCompressed));
    PutLE32(b, static_cast<std::uint32_t>(e.PartSize));
    PutLE32(b, static_cast<std::uint32_t>(e.PartCompressed));
    return b;
}

Bytes RawBlock(const Bytes& data) {
    Bytes b;
    PutLE32(b, static_cast<std::uint32_t>(-static_cast<std::int32_t>(data.size())));
    PutLE32(b, TestBlockCRC(data));
    return b + data;
}

Bytes ZlibBlock(const Bytes& data) {
    uLongf len = compressBound(static_cast<uLong>(data.size()));
    Bytes z(len, '\0');
    if (compress2(reinterpret_cast<Bytef*>(z.data()), &len, reinterpret_cast<const Bytef*>(data.data()),
                  static_cast<uLong>(data.size()), Z_DEFAULT_COMPRESSION) != Z_OK)
        throw std::runtime_error("compress2 failed");
    z.resize(len);
    Bytes b;
    PutLE32(b, static_cast<std::uint32_t>(z.size()));
    PutLE32(b, TestBlockCRC(z));
    return b + z;
}

std::int32_t SegmentBuilder::Add(EntryFields e, const std::vector<Bytes>& blocks, std::int32_t partCompressed) {
    const std::int32_t offset = static_cast<std::int32_t>(633 + FHeader.Comment.size() + FBody.size());
    e.Offset = offset;
    std::int32_t stored = 0;
    for (const Bytes& b : blocks) stored += static_cast<std::int32_t>(b.size());
    e.PartCompressed = partCompressed >= 0 ? partCompressed : stored;
    FBody += EntryBytes(e);
    for (const Bytes& b : blocks) FBody += b;
    ++FCount;
    FSize += e.PartSize;
    FCompressed += stored;
    return offset;
}

std::int32_t SegmentBuilder::AddFile(const Bytes& name, const Bytes& data, bool compress, double date,
                                     std::int32_t attr, int damagedBlock) {
    std::vector<Bytes> blocks;
    for (const Bytes& c : Chunks(data, static_cast<std::size_t>(FHeader.BlockSize))) {
        Bytes z = compress ? ZlibBlock(c) : Bytes();
        blocks.push_back(compress && z.size() - 8 < c.size() ? z : RawBlock(c));
    }
    if (damagedBlock >= 0) blocks.at(static_cast<std::size_t>(damagedBlock))[20] ^= 0x01;
    std::int32_t stored = 0;
    for (const Bytes& b : blocks) stored += static_cast<std::int32_t>(b.size());
    EntryFields e;
    e.Name = name;
    e.Date = date;
    e.Attr = attr;
    e.Segment = static_cast<std::int16_t>(FHeader.Segment);
    e.Flags = 5;
    e.FileSize = e.PartSize = static_cast<std::int32_t>(data.size());
    e.FileCompressed = stored;
    return Add(e, blocks);
}

Bytes SegmentBuilder::Finish(bool archiveFromSegment) {
    FHeader.EndOffset = static_cast<std::int32_t>(633 + FHeader.Comment.size() + FBody.size());
    FHeader.SegmentCount = FCount;
    FHeader.SegmentSize = FSize;
    FHeader.SegmentCompressed = FCompressed;
    if (archiveFromSegment) {
        FHeader.ArchiveCount = FCount;
        FHeader.ArchiveSize = FSize;
        FHeader.ArchiveCompressed = FCompressed;
    }
    return HeaderBytes(FHeader) + FBody;
}

std::vector<Bytes> Chunks(const Bytes& data, std::size_t blockSize) {
    std::vector<Bytes> out;
    for (std::size_t at = 0; at < data.size(); at += blockSize) out.push_back(data.substr(at, blockSize));
    return out;
}

Bytes TextData(std::size_t n, unsigned seed) {
    static const char* words[] = {"archive ", "setup ", "block ", "zlib ", "entry ", "segment ", "\r\n", "file "};
    Bytes b;
    unsigned s = seed;
    while (b.size() < n) {
        s = s * 1103515245u + 12345u;
        b += words[(s >> 16) & 7];
    }
    b.resize(n);
    return b;
}

Bytes NoiseData(std::size_t n, unsigned seed) {
    Bytes b(n, '\0');
    std::uint64_t s = seed * 0x9E3779B97F4A7C15ull + 1;
    for (std::size_t i = 0; i < n; ++i) {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        b[i] = static_cast<char>(s & 0xFF);
    }
    return b;
}

} // namespace kxtest
