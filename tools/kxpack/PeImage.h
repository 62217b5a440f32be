// TPeImage: a Windows program read into memory with every header checked, and
// the copy of it whose resource section is replaced. Portable: the same code runs
// wherever kxpack does.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "base/Exception.h"

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

// The image with its resource section replaced by `section`, a resource
// directory built for ResourceSectionRva(image). Sections before it keep their
// bytes and addresses; movable sections after it (base relocations, discardable
// debug data) move behind it; headers, data directories, image size and
// checksum are brought up to date; an overlay is kept at the new end.
std::vector<std::uint8_t> ReplaceResourceSection(const TPeImage& image, const std::vector<std::uint8_t>& section);

// The PE checksum of an image (the field itself counted as zero).
std::uint32_t PeChecksum(const std::vector<std::uint8_t>& bytes, std::size_t checksumOffset);

} // namespace kx::kxpack
