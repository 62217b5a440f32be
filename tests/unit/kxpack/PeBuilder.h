// Small PE images built byte by byte for the tests of the PE reader and writer.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kx::kxpack::test {

using Bytes = std::vector<std::uint8_t>;

inline void Set16(Bytes& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Set32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline std::uint32_t Get32(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
inline Bytes Pad(Bytes b, std::size_t size) {
    b.resize(size, 0);
    return b;
}

struct TTestSection {
    std::string Name;
    std::uint32_t Rva = 0;
    std::uint32_t VirtualSize = 0;
    Bytes Raw; // padded to the file alignment when the image is built
    std::uint32_t Characteristics = 0x40000040;
};

// Offsets in every image this builder makes.
constexpr std::size_t PeOffset = 0x40;
constexpr std::size_t FileHeader = PeOffset + 4;
constexpr std::size_t OptionalHeader = FileHeader + 20;

struct TTestImage {
    bool Pe64 = false;
    std::uint16_t Characteristics = 0x0102; // executable, 32-bit words
    std::vector<TTestSection> Sections;
    std::uint32_t Dirs[16][2] = {};
    std::uint32_t SizeOfHeaders = 0x200;
    Bytes Overlay;
    bool SymbolTableInOverlay = false;

    std::size_t DataDirectories() const { return OptionalHeader + (Pe64 ? 112 : 96); }
    std::size_t SectionTable() const { return OptionalHeader + (Pe64 ? 240 : 224); }
    std::size_t ChecksumOffset() const { return OptionalHeader + 64; }

    Bytes Build() const {
        Bytes b(SizeOfHeaders, 0);
        b[0] = 'M';
        b[1] = 'Z';
        Set32(b, 0x3C, PeOffset);
        std::memcpy(&b[PeOffset], "PE\0\0", 4);
        Set16(b, FileHeader, Pe64 ? 0x8664 : 0x014C);
        Set16(b, FileHeader + 2, static_cast<std::uint16_t>(Sections.size()));
        Set16(b, FileHeader + 16, Pe64 ? 240 : 224);
        Set16(b, FileHeader + 18, Characteristics);
        Set16(b, OptionalHeader, Pe64 ? 0x20B : 0x10B);
        if (Pe64)
            Set32(b, OptionalHeader + 28, 0x1); // ImageBase 0x140000000, high half
        else
            Set32(b, OptionalHeader + 28, 0x400000);
        if (Pe64)
            Set32(b, OptionalHeader + 24, 0x40000000);
        Set32(b, OptionalHeader + 32, 0x1000);
        Set32(b, OptionalHeader + 36, 0x200);
        Set32(b, OptionalHeader + 60, SizeOfHeaders);
        Set16(b, OptionalHeader + 68, 2);
        Set32(b, OptionalHeader + (Pe64 ? 108 : 92), 16);
        for (int d = 0; d < 16; ++d) {
            Set32(b, DataDirectories() + d * 8, Dirs[d][0]);
            Set32(b, DataDirectories() + d * 8 + 4, Dirs[d][1]);
        }
        std::uint32_t initialized = 0, imageEnd = 0;
        for (std::size_t i = 0; i < Sections.size(); ++i) {
            const TTestSection& s = Sections[i];
            std::size_t h = SectionTable() + i * 40;
            std::uint32_t rawSize = static_cast<std::uint32_t>((s.Raw.size() + 0x1FF) / 0x200 * 0x200);
            std::memcpy(&b[h], s.Name.data(), s.Name.size());
            Set32(b, h + 8, s.VirtualSize);
            Set32(b, h + 12, s.Rva);
            Set32(b, h + 16, rawSize);
            Set32(b, h + 20, rawSize ? static_cast<std::uint32_t>(b.size()) : 0);
            Set32(b, h + 36, s.Characteristics);
            Bytes raw = Pad(s.Raw, rawSize);
            b.insert(b.end(), raw.begin(), raw.end());
            if (s.Characteristics & 0x40)
                initialized += rawSize;
            imageEnd = (s.Rva + std::max(s.VirtualSize, rawSize) + 0xFFF) / 0x1000 * 0x1000;
        }
        Set32(b, OptionalHeader + 8, initialized);
        Set32(b, OptionalHeader + 56, imageEnd);
        if (!Overlay.empty()) {
            if (SymbolTableInOverlay)
                Set32(b, FileHeader + 8, static_cast<std::uint32_t>(b.size()));
            b.insert(b.end(), Overlay.begin(), Overlay.end());
        }
        return b;
    }
};

// The resource tree of the standard image at RVA 0x2000: one manifest
// (#24, #1, language 0x409) holding "<m/>".
inline Bytes ManifestTree() {
    return {
        // root: 1 ID entry, type 24 -> directory at 0x18
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0x18, 0, 0, 0x80,
        // type 24: name 1 -> directory at 0x30
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0x30, 0, 0, 0x80,
        // name 1: language 0x409 -> data entry at 0x48
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0x09, 0x04, 0, 0, 0x48, 0, 0, 0,
        // data entry: RVA 0x2058, 4 bytes, code page 0
        0x58, 0x20, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        '<', 'm', '/', '>'};
}

// .text with a pointer to its own byte 0x20 at 0x10 (fixed up by the one base
// relocation), .rsrc with ManifestTree(), .reloc: the layout MinGW's linker makes.
inline TTestImage StandardImage(bool pe64 = false) {
    TTestImage img;
    img.Pe64 = pe64;
    Bytes text(0x40, 0x90);
    Bytes pointer = pe64 ? Bytes{0x20, 0x10, 0, 0x40, 1, 0, 0, 0} : Bytes{0x20, 0x10, 0x40, 0};
    std::copy(pointer.begin(), pointer.end(), text.begin() + 0x10);
    img.Sections.push_back({".text", 0x1000, 0x40, text, 0x60000020});
    img.Sections.push_back({".rsrc", 0x2000, 92, ManifestTree(), 0x40000040});
    Bytes reloc = {0, 0x10, 0, 0, 12, 0, 0, 0, 0x10, static_cast<std::uint8_t>(pe64 ? 0xA0 : 0x30), 0, 0};
    img.Sections.push_back({".reloc", 0x3000, 12, reloc, 0x42000040});
    img.Dirs[2][0] = 0x2000;
    img.Dirs[2][1] = 92;
    img.Dirs[5][0] = 0x3000;
    img.Dirs[5][1] = 12;
    return img;
}

} // namespace kx::kxpack::test
