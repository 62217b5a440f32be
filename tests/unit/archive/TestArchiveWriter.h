// Lays out archive bytes straight from the format tables, for the reader's tests.
// It shares nothing with the code under test: its own CRC table, its own field
// encoding, zlib's compress2 for compressed blocks.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kxtest {

using Bytes = std::string;

// CRC of the block check: reflected 0xEDB88320 table, register from 0, no inversion.
std::uint32_t TestBlockCRC(const Bytes& data);

void PutLE32(Bytes& b, std::uint32_t v);
void PutLE16(Bytes& b, std::uint16_t v);
void SetLE32(Bytes& b, std::size_t at, std::uint32_t v);
std::uint32_t GetLE32(const Bytes& b, std::size_t at);
// 80-bit extended real of a double (exact), as the format stores it.
Bytes Ext80(double v);

struct HeaderFields {
    std::int32_t Signature = 4664;
    std::int32_t Version = 1;
    std::int32_t RandomID = 4711;
    std::int32_t BlockSize = 65536;
    std::int32_t EndOffset = 633;
    std::uint32_t Segment = 1; // written as int32 as given
    std::uint8_t Flags = 0x09; // afCompressed | afFinalSegment
    std::int32_t ArchiveCount = 0;
    double ArchiveSize = 0, ArchiveCompressed = 0;
    std::int32_t SegmentCount = 0;
    double SegmentSize = 0, SegmentCompressed = 0;
    Bytes Comment;
};
Bytes HeaderBytes(const HeaderFields& h);

struct EntryFields {
    Bytes Name;
    double Date = 0;
    std::int32_t Attr = 0;
    std::int16_t Segment = 1;
    std::int32_t Offset = 0;
    std::int32_t SourceOffset = 0;
    std::uint8_t Flags = 5;
    std::int32_t FileSize = 0, FileCompressed = 0, PartSize = 0, PartCompressed = 0;
};
Bytes EntryBytes(const EntryFields& e);

// One block: header and stored bytes. Compressed: a zlib stream (compress2, default
// level) with a positive length; raw: the bytes with a negative length.
Bytes RawBlock(const Bytes& data);
Bytes ZlibBlock(const Bytes& data);

// A segment file assembled entry by entry; offsets and totals follow the tables.
class SegmentBuilder {
public:
    explicit SegmentBuilder(HeaderFields h) : FHeader(std::move(h)) {}
    // Appends an entry header (Offset set to its position, PartCompressed to the
    // blocks' total unless partCompressed >= 0) and its blocks; returns its offset.
    std::int32_t Add(EntryFields e, const std::vector<Bytes>& blocks, std::int32_t partCompressed = -1);
    // Adds a complete one-part file cut into blocks of BlockSize; with damagedBlock,
    // that block gets one stored byte flipped after its CRC was taken.
    std::int32_t AddFile(const Bytes& name, const Bytes& data, bool compress, double date = 44000.5,
                         std::int32_t attr = 0, int damagedBlock = -1);
    HeaderFields& Header() { return FHeader; }
    // Header with EndOffset and SegmentInfo from the entries, ArchiveInfo equal to
    // SegmentInfo unless archiveFromSegment is false.
    Bytes Finish(bool archiveFromSegment = true);

private:
    HeaderFields FHeader;
    Bytes FBody;
    std::int32_t FCount = 0;
    double FSize = 0, FCompressed = 0;
};

// Splits data into block-sized chunks (last shorter); empty data gives none.
std::vector<Bytes> Chunks(const Bytes& data, std::size_t blockSize);

// Deterministic test data: text that compresses and noise that does not.
Bytes TextData(std::size_t n, unsigned seed = 1);
Bytes NoiseData(std::size_t n, unsigned seed = 1);

} // namespace kxtest
