// Byte-exact encoding of the archive header, archive totals and entry headers.
#include "archive/ArchiveFormat.h"

#include <cstring>
#include <vector>

#include "base/Ext80.h"

namespace kx {

namespace {

std::int32_t GetInt32(const std::uint8_t* p) {
    return static_cast<std::int32_t>(std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
                                     (std::uint32_t(p[3]) << 24));
}

void PutInt32(std::uint8_t* p, std::int32_t v) {
    std::uint32_t u = static_cast<std::uint32_t>(v);
    p[0] = std::uint8_t(u);
    p[1] = std::uint8_t(u >> 8);
    p[2] = std::uint8_t(u >> 16);
    p[3] = std::uint8_t(u >> 24);
}

void DecodeArchiveInfo(const std::uint8_t* p, TArchiveInfo& info) {
    info.FileCount = GetInt32(p);
    info.Size = Ext80ToDouble(p + 4);
    info.CompressedSize = Ext80ToDouble(p + 14);
}

void EncodeArchiveInfo(std::uint8_t* p, const TArchiveInfo& info) {
    PutInt32(p, info.FileCount);
    DoubleToExt80(info.Size, p + 4);
    DoubleToExt80(info.CompressedSize, p + 14);
}

} // namespace

void WriteArchiveInfo(TStream& s, const TArchiveInfo& info) {
    std::uint8_t b[ArchiveInfoSize];
    EncodeArchiveInfo(b, info);
    s.WriteBuffer(b, ArchiveInfoSize);
}

TArchiveInfo ReadArchiveInfo(TStream& s) {
    std::uint8_t b[ArchiveInfoSize];
    s.ReadBuffer(b, ArchiveInfoSize);
    TArchiveInfo info;
    DecodeArchiveInfo(b, info);
    return info;
}

void DecodeArchiveHeader(const std::uint8_t* p, TArchiveHeader& h) {
    h.Version = GetInt32(p + 4);
    h.RandomID = GetInt32(p + 8);
    h.BlockSize = GetInt32(p + 12);
    h.EndOffset = GetInt32(p + 16);
    h.Segment = static_cast<std::uint16_t>(static_cast<std::uint32_t>(GetInt32(p + 20)) & 0xFFFF);
    h.ArchiveFlag = p[24];
    DecodeArchiveInfo(p + 25, h.ArchiveInfo);
    DecodeArchiveInfo(p + 49, h.SegmentInfo);
    std::memcpy(h.UserData.Data.data(), p + 73, UserDataSize);
    std::memcpy(h.Reserved.data(), p + 205, ReservedSize);
}

void ReadArchiveComment(TStream& s, const std::uint8_t* p, TArchiveHeader& h) {
    std::int32_t len = GetInt32(p + 629);
    if (len < 0) throw EArchiver("Archive header damaged: negative comment length");
    h.Comment.clear();
    if (len == 0) return;
    std::int64_t left = s.Size() - s.Position();
    if (len > left) throw EArchiver("Archive header damaged: comment runs past the end of the file");
    h.Comment.assign(static_cast<std::size_t>(len), '\0');
    s.ReadBuffer(h.Comment.data(), len);
}

void ReadArchiveHeaderBody(TStream& s, TArchiveHeader& h) {
    // Offsets 4..632 in one read.
    std::uint8_t b[ArchiveHeaderFixedSize] = {};
    s.ReadBuffer(b + 4, ArchiveHeaderFixedSize - 4);
    DecodeArchiveHeader(b, h);
    ReadArchiveComment(s, b, h);
}

void WriteArchiveHeader(TStream& s, const TArchiveHeader& h) {
    std::vector<std::uint8_t> b(static_cast<std::size_t>(ArchiveHeaderSize(h)));
    std::uint8_t* p = b.data();
    PutInt32(p + 0, h.Signature);
    PutInt32(p + 4, h.Version);
    PutInt32(p + 8, h.RandomID);
    PutInt32(p + 12, h.BlockSize);
    PutInt32(p + 16, h.EndOffset);
    PutInt32(p + 20, static_cast<std::int32_t>(h.Segment));
    p[24] = h.ArchiveFlag;
    EncodeArchiveInfo(p + 25, h.ArchiveInfo);
    EncodeArchiveInfo(p + 49, h.SegmentInfo);
    std::memcpy(p + 73, h.UserData.Data.data(), UserDataSize);
    std::memcpy(p + 205, h.Reserved.data(), ReservedSize);
    PutInt32(p + 629, static_cast<std::int32_t>(h.Comment.size()));
    if (!h.Comment.empty()) std::memcpy(p + 633, h.Comment.data(), h.Comment.size());
    s.WriteBuffer(b.data(), static_cast<std::int32_t>(b.size()));
}

void ReadFileEntryFields(TStream& s, TFileEntry& e, std::int64_t maxNameLength) {
    std::int32_t n = s.ReadInt32();
    if (n < 0 || n > maxNameLength) throw EArchiver("Archive damaged: bad entry name length");
    // Name and the fixed fields after it in one read.
    std::vector<std::uint8_t> b(static_cast<std::size_t>(n) + FileEntryFixedSize);
    s.ReadBuffer(b.data() + 4, n + FileEntryFixedSize - 4);
    e.Name.assign(reinterpret_cast<const char*>(b.data() + 4), static_cast<std::size_t>(n));
    const std::uint8_t* p = b.data() + n; // p[k] is the byte at entry offset k+n
    e.Date = Ext80ToDouble(p + 4);
    e.Attr = GetInt32(p + 14);
    e.Segment = static_cast<std::int16_t>(std::uint16_t(p[18] | (p[19] << 8)));
    e.Offset = GetInt32(p + 20);
    e.SourceOffset = GetInt32(p + 24);
    e.EntryFlags = p[28];
    e.FileInfo.Size = GetInt32(p + 29);
    e.FileInfo.CompressedSize = GetInt32(p + 33);
    e.PartInfo.Size = GetInt32(p + 37);
    e.PartInfo.CompressedSize = GetInt32(p + 41);
}

void WriteFileEntryFields(TStream& s, const TFileEntry& e) {
    const std::size_t n = e.Name.size();
    std::vector<std::uint8_t> b(n + FileEntryFixedSize);
    PutInt32(b.data(), static_cast<std::int32_t>(n));
    if (n) std::memcpy(b.data() + 4, e.Name.data(), n);
    std::uint8_t* p = b.data() + n; // p[k] is the byte at entry offset k+n
    DoubleToExt80(e.Date, p + 4);
    PutInt32(p + 14, e.Attr);
    std::uint16_t seg = static_cast<std::uint16_t>(e.Segment);
    p[18] = std::uint8_t(seg);
    p[19] = std::uint8_t(seg >> 8);
    PutInt32(p + 20, e.Offset);
    PutInt32(p + 24, e.SourceOffset);
    p[28] = e.EntryFlags;
    PutInt32(p + 29, e.FileInfo.Size);
    PutInt32(p + 33, e.FileInfo.CompressedSize);
    PutInt32(p + 37, e.PartInfo.Size);
    PutInt32(p + 41, e.PartInfo.CompressedSize);
    s.WriteBuffer(b.data(), static_cast<std::int32_t>(b.size()));
}

} // namespace kx
