// The payload archive's on-disk records, their flags and the enumerations the
// archive components share; reader and writer both decode and encode through here.
//
// Layout (all integers little-endian, offsets from the first byte of a segment file):
//
//   archive header (633 bytes + comment)          file entry header (45 bytes + name)
//   0    int32  Signature (4664)                  0     int32  name length n
//   4    int32  Version (1)                       4     n      Name
//   8    int32  RandomID                          4+n   ext80  Date
//   12   int32  BlockSize                         14+n  int32  Attr
//   16   int32  EndOffset                         18+n  int16  Segment
//   20   int32  Segment (low 16 bits count)       20+n  int32  Offset
//   24   byte   ArchiveFlag                       24+n  int32  SourceOffset
//   25   24     ArchiveInfo                       28+n  byte   EntryFlags
//   49   24     SegmentInfo                       29+n  int32  FileInfo.Size
//   73   132    UserData                          33+n  int32  FileInfo.CompressedSize
//   205  424    Reserved                          37+n  int32  PartInfo.Size
//   629  int32  comment length                    41+n  int32  PartInfo.CompressedSize
//   633  n      Comment
//
//   TArchiveInfo (24 bytes): int32 FileCount, ext80 Size, ext80 CompressedSize
//   data block: int32 StoredLength (negative: raw, abs = count), uint32 BlockCRC, bytes
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "base/DateTime.h"
#include "base/Exception.h"
#include "base/Stream.h"

namespace kx {

constexpr std::int32_t ArchiveSignature = 4664;
constexpr std::int32_t ArchiveVersion = 1;
constexpr std::int32_t ArchiveInfoSize = 24;
constexpr std::int32_t UserDataSize = 132;
constexpr std::int32_t ReservedSize = 424;
constexpr std::int32_t ArchiveHeaderFixedSize = 633; // header without the comment's characters
constexpr std::int32_t FileEntryFixedSize = 45;      // entry header without the name's characters
constexpr std::int32_t BlockHeaderSize = 8;
constexpr std::int32_t DefaultBlockSize = 65536;
constexpr std::int32_t MinBlockSize = 1024;
// Largest BlockSize a reader accepts from a header: the block buffers are sized
// from it, so a damaged header must not decide how much memory gets allocated.
constexpr std::int32_t MaxAcceptedBlockSize = 64 * 1024 * 1024;

static_assert(4 + 10 + 10 == ArchiveInfoSize);
static_assert(25 + 2 * ArchiveInfoSize == 73);
static_assert(73 + UserDataSize == 205);
static_assert(205 + ReservedSize + 4 == ArchiveHeaderFixedSize);
static_assert(4 + 10 + 4 + 2 + 4 + 4 + 1 + 4 * 4 == FileEntryFixedSize);

// ArchiveFlag bits.
constexpr std::uint8_t afCompressed = 0x01;
constexpr std::uint8_t afSolid = 0x02;
constexpr std::uint8_t afReadOnly = 0x04;
constexpr std::uint8_t afFinalSegment = 0x08;

// EntryFlags bits.
constexpr std::uint8_t efFile = 0x01;
constexpr std::uint8_t efFolder = 0x02;
constexpr std::uint8_t efLastPart = 0x04;

// Failures of the archive components.
class EArchiver : public Exception {
public:
    using Exception::Exception;
};
class EArchiverCompress : public EArchiver {
public:
    using EArchiver::EArchiver;
};
class EArchiverUncompress : public EArchiver {
public:
    using EArchiver::EArchiver;
};
class EArchiverBadCRC : public EArchiver {
public:
    using EArchiver::EArchiver;
};

struct TArchiveInfo {
    std::int32_t FileCount = 0;
    double Size = 0;           // ext80 on disk
    double CompressedSize = 0; // ext80 on disk
};

struct TUserData {
    std::array<std::uint8_t, UserDataSize> Data{};
};

struct TArchiveHeader {
    std::int32_t Signature = 0;
    std::int32_t Version = 0;
    std::int32_t RandomID = 0;
    std::int32_t BlockSize = 0;
    std::int32_t EndOffset = 0;
    std::uint16_t Segment = 0; // an int32 on disk; only the low 16 bits are kept
    std::uint8_t ArchiveFlag = 0;
    TArchiveInfo ArchiveInfo;
    TArchiveInfo SegmentInfo;
    TUserData UserData;
    std::array<std::uint8_t, ReservedSize> Reserved{};
    std::string Comment;
};

struct TFileInfo {
    std::int32_t Size = 0;
    std::int32_t CompressedSize = 0;
};

struct TFileEntry {
    std::string Name;
    TDateTime Date = 0; // ext80 on disk
    std::int32_t Attr = 0;
    std::int16_t Segment = 0;
    std::int32_t Offset = 0;
    std::int32_t SourceOffset = 0;
    std::uint8_t EntryFlags = 0;
    TFileInfo FileInfo;
    TFileInfo PartInfo;
};

// Options: bit number = ordinal.
enum TOption : int {
    oStoreEmptyFolders = 0,
    oShowEmptyFolders = 1,
    oCreateReadOnly = 2,
    oCreateSolidArchives = 3,
    oCompress = 4,
    oEraseFirstDisk = 5,
    oEraseNewDisk = 6,
    oConfirmFileDeletion = 7,
    oEnumerateAfterOpen = 8,
    oIncludeStartingDirectory = 9,
    oRecurseFolders = 10,
    oOpenSingleSegment = 11,
    oRestorePath = 12,
    oSecureAccess = 13,
    oWriteSFXCode = 14,
    oMaintainFileDirectory = 15,
    oNoSpanning = 16,
};

// A set of TOption kept in 32 bits.
class TOptions {
public:
    constexpr TOptions() = default;
    constexpr TOptions(std::initializer_list<TOption> options) {
        for (TOption o : options) FBits |= Bit(o);
    }
    static constexpr TOptions FromBits(std::uint32_t bits) {
        TOptions r;
        r.FBits = bits;
        return r;
    }
    constexpr std::uint32_t Bits() const { return FBits; }
    constexpr bool Contains(TOption o) const { return (FBits & Bit(o)) != 0; }
    constexpr TOptions& Include(TOption o) {
        FBits |= Bit(o);
        return *this;
    }
    constexpr TOptions& Exclude(TOption o) {
        FBits &= ~Bit(o);
        return *this;
    }
    constexpr bool operator==(const TOptions&) const = default;

private:
    static constexpr std::uint32_t Bit(TOption o) { return std::uint32_t(1) << static_cast<int>(o); }
    std::uint32_t FBits = 0;
};

// [oStoreEmptyFolders, oCompress, oEraseNewDisk, oConfirmFileDeletion, oRecurseFolders, oRestorePath]
constexpr TOptions DefaultOptions = TOptions::FromBits(0x14D1);

enum TRestoreAction : int { raOverwrite, raSkip, raUpdate, raAsk, raExistingOnly, raUpdateExisting };
enum TErrorAction : int { eaContinue, eaAbort };
enum TCompressionLevel : int { clMaximum, clNormal, clFast, clSuperFast, clNone };
enum TPathStorage : int { psNone, psWhole, psRelative };

// Record (de)serialisation. Reads raise EReadError when the stream ends early.
void WriteArchiveInfo(TStream& s, const TArchiveInfo& info);
TArchiveInfo ReadArchiveInfo(TStream& s);
// Everything of the header after the signature; the comment's length must fit in
// the rest of the stream, else EArchiver.
void ReadArchiveHeaderBody(TStream& s, TArchiveHeader& h);
// The same in two steps, for a reader that has the 633 bytes at p already: the
// fields after the signature, then the comment from the stream (positioned after them).
void DecodeArchiveHeader(const std::uint8_t* p, TArchiveHeader& h);
void ReadArchiveComment(TStream& s, const std::uint8_t* p, TArchiveHeader& h);
// The whole header as given (signature, segment zero-extended to int32, ...).
void WriteArchiveHeader(TStream& s, const TArchiveHeader& h);
// Entry header fields in order; the name's length must be 0..maxNameLength, else EArchiver.
void ReadFileEntryFields(TStream& s, TFileEntry& e, std::int64_t maxNameLength);
void WriteFileEntryFields(TStream& s, const TFileEntry& e);
// On-disk sizes.
inline std::int64_t ArchiveHeaderSize(const TArchiveHeader& h) {
    return ArchiveHeaderFixedSize + static_cast<std::int64_t>(h.Comment.size());
}
inline std::int64_t FileEntrySize(const TFileEntry& e) {
    return FileEntryFixedSize + static_cast<std::int64_t>(e.Name.size());
}

} // namespace kx
