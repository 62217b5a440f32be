// TPeImage: a Windows program read into memory with every header checked, and
// the copy of it whose resource section is replaced. Portable: the same code runs
// wherever kxpack does.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "tools/kxpack/OutputPieces.h"

namespace kx::kxpack {

// The image is not one kxpack can read or rewrite; the message says why.
class EPeImage : public Exception {
    using Exception::Exception;
};

struct TPeSection {
    std::string Name;
    std::uint32_t VirtualSize = 0;
    std::uint32_t VirtualAddress = 0;
    std::uint32_t SizeOfRawData = 0;
    std::uint32_t PointerToRawData = 0;
    std::uint32_t Characteristics = 0;
};

struct TDataDirectory {
    std::uint32_t Rva = 0;
    std::uint32_t Size = 0;
};

class TPeImage {
public:
    // Checks the headers and the section table against the file; raises EPeImage.
    explicit TPeImage(std::vector<std::uint8_t> bytes);

    bool Is64() const { return FIs64; }
    std::uint16_t Machine() const { return FMachine; }
    std::uint64_t ImageBase() const { return FImageBase; }
    std::uint32_t SectionAlignment() const { return FSectionAlignment; }
    std::uint32_t FileAlignment() const { return FFileAlignment; }
    const std::vector<TPeSection>& Sections() const { return FSections; }
    // Zero for a directory the header does not have.
    TDataDirectory Directory(unsigned index) const;
    // The section whose virtual range holds rva, or -1.
    int SectionOf(std::uint32_t rva) const;
    // size bytes at rva, all inside one section's raw data; raises EPeImage
    // (naming what) otherwise.
    const std::uint8_t* At(std::uint32_t rva, std::uint32_t size, const char* what) const;
    const std::vector<std::uint8_t>& Bytes() const { return FBytes; }

    // Offsets of the headers in Bytes().
    std::size_t FileHeaderOffset() const { return FFileHeader; }
    std::size_t OptionalHeaderOffset() const { return FOptionalHeader; }
    std::size_t SectionTableOffset() const { return FSectionTable; }
    std::size_t DataDirectoryOffset() const { return FDataDirectories; }
    std::uint32_t DirectoryCount() const { return FDirectoryCount; }
    std::uint32_t SizeOfHeaders() const { return FSizeOfHeaders; }
    // First byte after the last section's raw data: what follows is the overlay.
    std::size_t RawEnd() const { return FRawEnd; }

private:
    std::vector<std::uint8_t> FBytes;
    bool FIs64 = false;
    std::uint16_t FMachine = 0;
    std::uint64_t FImageBase = 0;
    std::uint32_t FSectionAlignment = 0;
    std::uint32_t FFileAlignment = 0;
    std::uint32_t FSizeOfHeaders = 0;
    std::uint32_t FDirectoryCount = 0;
    std::size_t FFileHeader = 0;
    std::size_t FOptionalHeader = 0;
    std::size_t FDataDirectories = 0;
    std::size_t FSectionTable = 0;
    std::size_t FRawEnd = 0;
    std::vector<TPeSection> FSections;
};

// Where a new resource section of the image goes: its RVA. Raises EPeImage when
// the layout cannot be rewritten (sections after the resources that code may
// point into, a signature, no room for another section header, ...).
std::uint32_t ResourceSectionRva(const TPeImage& image);

// An image to be written: its pieces, with the checksum field still zero.
struct TPeOutput {
    TOutputPieces Pieces;
    std::size_t ChecksumOffset = 0;
};

// The image with its resource section replaced by `section`, a resource
// directory built for ResourceSectionRva(image). Sections before it keep their
// bytes and addresses; movable sections after it (base relocations, discardable
// debug data) move behind it; headers, data directories and image size are
// brought up to date; an overlay is kept at the new end.
TPeOutput ReplaceResourceSection(const TPeImage& image, TOutputPieces section);

// The PE checksum, summed as the bytes go by: 16-bit little-endian words with
// the carries folded back in, plus the length.
class TPeChecksum {
public:
    void Add(const std::uint8_t* bytes, std::size_t count);
    std::uint32_t Value() const;

private:
    std::uint32_t FSum = 0;
    std::uint64_t FLength = 0;
    bool FOdd = false;      // a low byte waits for its high byte
    std::uint32_t FLow = 0;
};

// Hands out's bytes to sink in order and answers the checksum to store at
// out.ChecksumOffset. Raises EPieceRead.
std::uint32_t StreamImage(const TPeOutput& out, const std::function<void(const std::uint8_t*, std::size_t)>& sink);

// The PE checksum of an image (the field itself counted as zero).
std::uint32_t PeChecksum(const std::vector<std::uint8_t>& bytes, std::size_t checksumOffset);

} // namespace kx::kxpack
