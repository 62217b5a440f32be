// The parts of the Windows PE format that kxpack reads and rewrites; reader and
// writer both take their offsets from here.
//
//   0x00  DOS header "MZ" ... e_lfanew (uint32 at 0x3C) -> "PE\0\0"
//   +4    file header (20 bytes): Machine, NumberOfSections, TimeDateStamp,
//         PointerToSymbolTable, NumberOfSymbols, SizeOfOptionalHeader, Characteristics
//   +24   optional header: Magic 0x10B (PE32) or 0x20B (PE32+), ..., the data
//         directories (RVA, size) at +96 (PE32) or +112 (PE32+)
//   then  the section table, 40 bytes per section
//
// Resource section: a three-level tree (type, name, language) of directories
//   directory (16 bytes): ..., NumberOfNamedEntries uint16 at 12, NumberOfIdEntries at 14,
//       then 8-byte entries, named ones first (sorted by name), then IDs ascending
//   entry: Name (bit 31: offset of a counted UTF-16 string, else the ID),
//          OffsetToData (bit 31: offset of a subdirectory, else of a data entry)
//   data entry (16 bytes): OffsetToData (an RVA), Size, CodePage, Reserved
// All offsets in the tree are relative to the start of the resource directory.
// Every integer is little-endian.
#pragma once
#include <cstddef>
#include <cstdint>

namespace kx::kxpack::pe {

inline std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
inline std::uint32_t Get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::uint64_t Get64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(Get32(p)) | static_cast<std::uint64_t>(Get32(p + 4)) << 32;
}
inline void Put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

constexpr std::size_t DosLfanew = 0x3C;
constexpr std::size_t FileHeaderSize = 20;
constexpr std::size_t SectionHeaderSize = 40;

// File header, from the end of the "PE\0\0" signature.
constexpr std::size_t FhMachine = 0;
constexpr std::size_t FhNumberOfSections = 2;
constexpr std::size_t FhPointerToSymbolTable = 8;
constexpr std::size_t FhSizeOfOptionalHeader = 16;
constexpr std::size_t FhCharacteristics = 18;

constexpr std::uint16_t FileExecutableImage = 0x0002;
constexpr std::uint16_t FileDll = 0x2000;
constexpr std::uint16_t MachineI386 = 0x014C;
constexpr std::uint16_t MachineAmd64 = 0x8664;

// Optional header, the same offsets in PE32 and PE32+ unless named for one.
constexpr std::uint16_t MagicPe32 = 0x10B;
constexpr std::uint16_t MagicPe32Plus = 0x20B;
constexpr std::size_t OhMagic = 0;
constexpr std::size_t OhSizeOfInitializedData = 8;
constexpr std::size_t OhImageBase32 = 28;
constexpr std::size_t OhImageBase64 = 24;
constexpr std::size_t OhSectionAlignment = 32;
constexpr std::size_t OhFileAlignment = 36;
constexpr std::size_t OhSizeOfImage = 56;
constexpr std::size_t OhSizeOfHeaders = 60;
constexpr std::size_t OhCheckSum = 64;
constexpr std::size_t OhNumberOfRvaAndSizes32 = 92;
constexpr std::size_t OhNumberOfRvaAndSizes64 = 108;
constexpr std::size_t OhDataDirectories32 = 96;
constexpr std::size_t OhDataDirectories64 = 112;

// Data directory indexes.
constexpr unsigned DirImport = 1;
constexpr unsigned DirResource = 2;
constexpr unsigned DirSecurity = 4;
constexpr unsigned DirBaseReloc = 5;
constexpr unsigned DirDebug = 6;
constexpr unsigned DirCount = 16;

// Section header fields.
constexpr std::size_t ShName = 0;
constexpr std::size_t ShVirtualSize = 8;
constexpr std::size_t ShVirtualAddress = 12;
constexpr std::size_t ShSizeOfRawData = 16;
constexpr std::size_t ShPointerToRawData = 20;
constexpr std::size_t ShCharacteristics = 36;

constexpr std::uint32_t ScnInitializedData = 0x00000040;
constexpr std::uint32_t ScnMemDiscardable = 0x02000000;
constexpr std::uint32_t ScnMemRead = 0x40000000;

// Base relocation block: PageRVA, BlockSize, then 16-bit entries (type << 12 | offset).
constexpr unsigned RelAbsolute = 0;
constexpr unsigned RelHighLow = 3;
constexpr unsigned RelDir64 = 10;

// Debug directory entry (28 bytes): AddressOfRawData at 20, PointerToRawData at 24.
constexpr std::size_t DebugEntrySize = 28;

// Resource tree records.
constexpr std::size_t ResDirSize = 16;
constexpr std::size_t ResEntrySize = 8;
constexpr std::size_t ResDataEntrySize = 16;
constexpr std::uint32_t ResHighBit = 0x80000000u;

} // namespace kx::kxpack::pe
