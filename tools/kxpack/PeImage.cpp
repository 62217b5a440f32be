// Reading a PE image with bounds checks, and writing it again with a new
// resource section; see PeImage.h and the layout in PeFormat.h.
#include "tools/kxpack/PeImage.h"

#include <algorithm>
#include <cstring>

#include "base/Format.h"
#include "tools/kxpack/PeFormat.h"

namespace kx::kxpack {

using namespace pe;

namespace {

const char* const DirectoryNames[DirCount] = {
    "export", "import", "resource", "exception", "security", "base relocation", "debug", "architecture",
    "global pointer", "TLS", "load configuration", "bound import", "import address table", "delay import",
    "CLR runtime", "reserved"};

bool IsPowerOfTwo(std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

std::uint64_t AlignUp(std::uint64_t v, std::uint32_t alignment) { return (v + alignment - 1) / alignment * alignment; }

constexpr std::uint32_t kPageSize = 0x1000;
// From this size on the resource section starts on a page of the file.
constexpr std::uint64_t kPageAlignedSection = 0x10000;

// The address range a section takes once loaded (its raw size counts when the
// virtual size is smaller, as the loader maps the whole raw data).
std::uint64_t VirtualSpan(const TPeSection& s) { return std::max(s.VirtualSize, s.SizeOfRawData); }

} // namespace

TPeImage::TPeImage(std::vector<std::uint8_t> bytes) : FBytes(std::move(bytes)) {
    const std::size_t size = FBytes.size();
    const std::uint8_t* p = FBytes.data();
    auto need = [&](std::size_t offset, std::size_t length, const std::string& what) {
        if (offset > size || length > size - offset)
            throw EPeImage(Format("the file ends inside %s (truncated?)", what));
    };
    if (size < 2 || p[0] != 'M' || p[1] != 'Z')
        throw EPeImage("not a Windows program (no MZ header)");
    need(0, 64, "the DOS header");
    const std::uint32_t lfanew = Get32(p + DosLfanew);
    need(lfanew, 4 + FileHeaderSize, "the PE header");
    if (std::memcmp(p + lfanew, "PE\0\0", 4) != 0)
        throw EPeImage("not a 32-bit Windows program (no PE signature; a DOS or 16-bit program?)");
    FFileHeader = lfanew + 4;
    FMachine = Get16(p + FFileHeader + FhMachine);
    const std::uint16_t sectionCount = Get16(p + FFileHeader + FhNumberOfSections);
    const std::uint16_t optionalSize = Get16(p + FFileHeader + FhSizeOfOptionalHeader);
    const std::uint16_t characteristics = Get16(p + FFileHeader + FhCharacteristics);
    FOptionalHeader = FFileHeader + FileHeaderSize;
    need(FOptionalHeader, optionalSize, "the optional header");
    if (optionalSize < 2)
        throw EPeImage("the optional header is missing");
    const std::uint16_t magic = Get16(p + FOptionalHeader + OhMagic);
    if (magic == MagicPe32Plus)
        FIs64 = true;
    else if (magic != MagicPe32)
        throw EPeImage(Format("unknown optional header (magic 0x%4.4X)", static_cast<unsigned>(magic)));
    if (FIs64 ? FMachine != MachineAmd64 : FMachine != MachineI386)
        throw EPeImage(Format("made for machine 0x%4.4X, not for x86", static_cast<unsigned>(FMachine)));
    const std::size_t countField = FIs64 ? OhNumberOfRvaAndSizes64 : OhNumberOfRvaAndSizes32;
    FDataDirectories = FOptionalHeader + (FIs64 ? OhDataDirectories64 : OhDataDirectories32);
    if (optionalSize < countField + 4)
        throw EPeImage("the optional header is too short");
    FDirectoryCount = std::min<std::uint32_t>(Get32(p + FOptionalHeader + countField), DirCount);
    if (FDataDirectories + FDirectoryCount * 8 > FOptionalHeader + optionalSize)
        throw EPeImage("the data directories run past the optional header");
    if (!(characteristics & FileExecutableImage))
        throw EPeImage("not an executable image (an object file?)");
    if (characteristics & FileDll)
        throw EPeImage("a DLL, not a program");

    FImageBase = FIs64 ? Get64(p + FOptionalHeader + OhImageBase64) : Get32(p + FOptionalHeader + OhImageBase32);
    FSectionAlignment = Get32(p + FOptionalHeader + OhSectionAlignment);
    FFileAlignment = Get32(p + FOptionalHeader + OhFileAlignment);
    if (!IsPowerOfTwo(FSectionAlignment) || !IsPowerOfTwo(FFileAlignment) || FFileAlignment > FSectionAlignment ||
        FFileAlignment > 0x10000)
        throw EPeImage(Format("impossible alignments (sections %u, file %u)", FSectionAlignment, FFileAlignment));
    FSizeOfHeaders = Get32(p + FOptionalHeader + OhSizeOfHeaders);

    FSectionTable = FOptionalHeader + optionalSize;
    if (sectionCount == 0)
        throw EPeImage("the image has no sections");
    need(FSectionTable, std::size_t{sectionCount} * SectionHeaderSize, "the section table");
    if (FSizeOfHeaders > size || FSectionTable + std::size_t{sectionCount} * SectionHeaderSize > FSizeOfHeaders)
        throw EPeImage("the headers are larger than SizeOfHeaders says");
    FRawEnd = FSizeOfHeaders;
    std::uint64_t nextFreeRva = AlignUp(FSizeOfHeaders, FSectionAlignment);
    for (std::uint16_t i = 0; i < sectionCount; ++i) {
        const std::uint8_t* h = p + FSectionTable + std::size_t{i} * SectionHeaderSize;
        TPeSection s;
        s.Name.assign(reinterpret_cast<const char*>(h + ShName),
                      strnlen(reinterpret_cast<const char*>(h + ShName), 8));
        s.VirtualSize = Get32(h + ShVirtualSize);
        s.VirtualAddress = Get32(h + ShVirtualAddress);
        s.SizeOfRawData = Get32(h + ShSizeOfRawData);
        s.PointerToRawData = Get32(h + ShPointerToRawData);
        s.Characteristics = Get32(h + ShCharacteristics);
        if (s.SizeOfRawData > 0) {
            need(s.PointerToRawData, s.SizeOfRawData, "the data of section " + s.Name);
            FRawEnd = std::max<std::size_t>(FRawEnd, std::size_t{s.PointerToRawData} + s.SizeOfRawData);
        }
        if (s.VirtualAddress % FSectionAlignment != 0 || s.VirtualAddress < nextFreeRva)
            throw EPeImage(Format("section %s overlaps the one before it or is not aligned", s.Name));
        nextFreeRva = AlignUp(std::uint64_t{s.VirtualAddress} + VirtualSpan(s), FSectionAlignment);
        if (nextFreeRva > 0x80000000u)
            throw EPeImage(Format("section %s lies beyond 2 GB", s.Name));
        FSections.push_back(s);
    }
}

TDataDirectory TPeImage::Directory(unsigned index) const {
    if (index >= FDirectoryCount)
        return {};
    const std::uint8_t* d = FBytes.data() + FDataDirectories + index * 8;
    return {Get32(d), Get32(d + 4)};
}

int TPeImage::SectionOf(std::uint32_t rva) const {
    for (std::size_t i = 0; i < FSections.size(); ++i) {
        const TPeSection& s = FSections[i];
        if (rva >= s.VirtualAddress && rva - s.VirtualAddress < VirtualSpan(s))
            return static_cast<int>(i);
    }
    return -1;
}

const std::uint8_t* TPeImage::At(std::uint32_t rva, std::uint32_t size, const char* what) const {
    int i = SectionOf(rva);
    if (i >= 0) {
        const TPeSection& s = FSections[static_cast<std::size_t>(i)];
        std::uint64_t offset = rva - s.VirtualAddress;
        if (offset + size <= s.SizeOfRawData)
            return FBytes.data() + s.PointerToRawData + offset;
    }
    throw EPeImage(Format("%s lies outside the file's section data (RVA 0x%x, %u bytes)", what, rva, size));
}

namespace {

struct TLayout {
    int Resource = -1;          // index of the present resource section, or -1
    std::size_t Tail = 0;       // first section (old index) that moves behind the new resources
    std::uint32_t Rva = 0;      // address of the new resource section
    std::uint32_t RawPointer = 0;
    std::uint32_t OldImageEnd = 0;
};

bool Holds(const TPeImage& image, std::size_t section, TDataDirectory d) {
    return d.Rva != 0 && image.SectionOf(d.Rva) == static_cast<int>(section);
}

// A section may move when nothing but the base relocation directory points into
// it and it is either that directory's section or discardable (debug data):
// running code never addresses such sections.
bool Movable(const TPeImage& image, std::size_t section) {
    for (unsigned d = 0; d < DirCount; ++d)
        if (d != DirBaseReloc && d != DirSecurity && Holds(image, section, image.Directory(d)))
            return false;
    return Holds(image, section, image.Directory(DirBaseReloc)) ||
           (image.Sections()[section].Characteristics & ScnMemDiscardable);
}

// Every fix-up must patch a site before `boundary` and hold an address that
// stays valid: one not inside [boundary, end) (the address boundary itself may
// be a one-past-the-end pointer of the section before).
void CheckRelocations(const TPeImage& image, std::uint32_t boundary, std::uint32_t end) {
    TDataDirectory rel = image.Directory(DirBaseReloc);
    if (rel.Rva == 0 || rel.Size == 0)
        return;
    const std::uint8_t* table = image.At(rel.Rva, rel.Size, "the base relocation table");
    std::uint32_t pos = 0;
    while (pos + 8 <= rel.Size) {
        std::uint32_t page = Get32(table + pos);
        std::uint32_t blockSize = Get32(table + pos + 4);
        if (blockSize < 8 || blockSize > rel.Size - pos)
            throw EPeImage("the base relocation table is damaged");
        for (std::uint32_t e = pos + 8; e + 2 <= pos + blockSize; e += 2) {
            std::uint16_t entry = Get16(table + e);
            unsigned type = entry >> 12;
            if (type == RelAbsolute)
                continue;
            if (type != (image.Is64() ? RelDir64 : RelHighLow))
                throw EPeImage(Format("unsupported base relocation type %u", type));
            std::uint32_t site = page + (entry & 0x0FFFu);
            if (site >= boundary)
                throw EPeImage("relocations patch the sections after the resources, so they cannot move");
            std::uint32_t width = image.Is64() ? 8 : 4;
            const std::uint8_t* v = image.At(site, width, "a relocated address");
            std::uint64_t address = image.Is64() ? Get64(v) : Get32(v);
            if (address < image.ImageBase())
                continue;
            std::uint64_t target = address - image.ImageBase();
            if (target > boundary && target < end)
                throw EPeImage("the program's code or data points into its resources or the sections after "
                               "them, so they cannot be rebuilt");
        }
        pos += blockSize;
    }
}

TLayout Analyse(const TPeImage& image) {
    const auto& sections = image.Sections();
    const auto& bytes = image.Bytes();
    TLayout l;
    if (image.DirectoryCount() <= DirResource)
        throw EPeImage("the header has no resource directory entry");
    if (image.Directory(DirSecurity).Rva != 0 || image.Directory(DirSecurity).Size != 0)
        throw EPeImage("the image is signed; sign the setup program after kxpack has written it");

    const TPeSection& last = sections.back();
    l.OldImageEnd = static_cast<std::uint32_t>(AlignUp(std::uint64_t{last.VirtualAddress} + VirtualSpan(last),
                                                       image.SectionAlignment()));
    TDataDirectory res = image.Directory(DirResource);
    if (res.Rva != 0) {
        l.Resource = image.SectionOf(res.Rva);
        if (l.Resource < 0)
            throw EPeImage("the resource directory lies outside every section");
        const TPeSection& s = sections[static_cast<std::size_t>(l.Resource)];
        if (res.Rva != s.VirtualAddress)
            throw EPeImage(Format("the resources share section %s with other data", s.Name));
        for (unsigned d = 0; d < DirCount; ++d)
            if (d != DirResource && d != DirSecurity &&
                Holds(image, static_cast<std::size_t>(l.Resource), image.Directory(d)))
                throw EPeImage(Format("section %s holds the %s directory as well as the resources", s.Name,
                                      DirectoryNames[d]));
        l.Tail = static_cast<std::size_t>(l.Resource) + 1;
        for (std::size_t i = l.Tail; i < sections.size(); ++i)
            if (!Movable(image, i))
                throw EPeImage(Format("section %s follows the resources and cannot be moved", sections[i].Name));
    } else {
        l.Tail = sections.size();
        while (l.Tail > 1 && Movable(image, l.Tail - 1))
            --l.Tail;
        std::size_t tableEnd = image.SectionTableOffset() + sections.size() * SectionHeaderSize;
        bool room = tableEnd + SectionHeaderSize <= image.SizeOfHeaders();
        for (const TPeSection& s : sections)
            if (s.SizeOfRawData > 0 && s.PointerToRawData < tableEnd + SectionHeaderSize)
                room = false;
        for (std::size_t i = tableEnd; room && i < tableEnd + SectionHeaderSize; ++i)
            room = bytes[i] == 0;
        if (!room)
            throw EPeImage("there is no room in the headers for a resource section");
    }

    // What stays in place must end before the new section, in the file and in memory.
    std::size_t keep = l.Resource >= 0 ? static_cast<std::size_t>(l.Resource) : l.Tail;
    std::uint64_t rawEnd = image.SizeOfHeaders();
    std::uint64_t virtualEnd = AlignUp(image.SizeOfHeaders(), image.SectionAlignment());
    for (std::size_t i = 0; i < keep; ++i) {
        const TPeSection& s = sections[i];
        if (s.SizeOfRawData > 0)
            rawEnd = std::max<std::uint64_t>(rawEnd, std::uint64_t{s.PointerToRawData} + s.SizeOfRawData);
        virtualEnd = AlignUp(std::uint64_t{s.VirtualAddress} + VirtualSpan(s), image.SectionAlignment());
    }
    if (l.Resource >= 0) {
        const TPeSection& s = sections[static_cast<std::size_t>(l.Resource)];
        l.Rva = s.VirtualAddress;
        l.RawPointer = s.SizeOfRawData > 0 ? s.PointerToRawData
                                           : static_cast<std::uint32_t>(AlignUp(rawEnd, image.FileAlignment()));
    } else {
        l.Rva = static_cast<std::uint32_t>(virtualEnd);
        l.RawPointer = static_cast<std::uint32_t>(AlignUp(rawEnd, image.FileAlignment()));
    }
    if (rawEnd > l.RawPointer)
        throw EPeImage("the sections are not stored in address order");
    for (std::size_t i = l.Tail; i < sections.size(); ++i)
        if (sections[i].SizeOfRawData > 0 && sections[i].PointerToRawData < l.RawPointer)
            throw EPeImage("the sections are not stored in address order");
    std::uint32_t symbols = Get32(bytes.data() + image.FileHeaderOffset() + FhPointerToSymbolTable);
    if (symbols != 0 && symbols < image.RawEnd())
        throw EPeImage("the symbol table lies among the sections");

    TDataDirectory debug = image.Directory(DirDebug);
    if (debug.Rva != 0 && debug.Size >= DebugEntrySize) {
        const std::uint8_t* entries = image.At(debug.Rva, debug.Size, "the debug directory");
        for (std::uint32_t e = 0; e + DebugEntrySize <= debug.Size; e += DebugEntrySize) {
            std::uint32_t rva = Get32(entries + e + 20);
            std::uint32_t raw = Get32(entries + e + 24);
            if ((rva != 0 && rva >= l.Rva) || (raw != 0 && raw >= l.RawPointer))
                throw EPeImage("debug data lies behind the resources and would move");
        }
    }
    CheckRelocations(image, l.Resource >= 0 ? l.Rva
                                            : (l.Tail < sections.size() ? sections[l.Tail].VirtualAddress
                                                                        : l.OldImageEnd),
                     l.OldImageEnd);
    return l;
}

void PutSectionHeader(std::uint8_t* h, const TPeSection& s) {
    std::memset(h, 0, SectionHeaderSize);
    std::memcpy(h + ShName, s.Name.data(), std::min<std::size_t>(s.Name.size(), 8));
    Put32(h + ShVirtualSize, s.VirtualSize);
    Put32(h + ShVirtualAddress, s.VirtualAddress);
    Put32(h + ShSizeOfRawData, s.SizeOfRawData);
    Put32(h + ShPointerToRawData, s.PointerToRawData);
    Put32(h + ShCharacteristics, s.Characteristics);
}

} // namespace

std::uint32_t ResourceSectionRva(const TPeImage& image) { return Analyse(image).Rva; }

TPeOutput ReplaceResourceSection(const TPeImage& image, TOutputPieces section) {
    const TLayout l = Analyse(image);
    const auto& old = image.Bytes();
    const auto& sections = image.Sections();
    const std::uint32_t fa = image.FileAlignment();
    const std::uint32_t sa = image.SectionAlignment();
    const std::uint64_t sectionSize = section.Size();
    if (sectionSize == 0 || sectionSize > 0x7FFF0000u - l.Rva)
        throw EPeImage("the resources do not fit a 32-bit image");

    // A large section starts on a page of the file: Wine maps such a section
    // from the file, where it reads one that is not into the process's own
    // memory (a setup's whole payload). Windows maps it either way.
    const std::uint32_t rawPointer = sectionSize >= kPageAlignedSection
                                         ? static_cast<std::uint32_t>(AlignUp(l.RawPointer, std::max(fa, kPageSize)))
                                         : l.RawPointer;

    // What stays before the resources (the headers among it), then the new
    // section, then `rest`: the sections that move behind it and the overlay.
    std::vector<std::uint8_t> head(old.begin(), old.begin() + std::min<std::size_t>(l.RawPointer, old.size()));
    head.resize(rawPointer, 0);

    std::vector<TPeSection> table(sections.begin(), sections.begin() + static_cast<std::ptrdiff_t>(
                                                                           l.Resource >= 0 ? l.Resource : l.Tail));
    TPeSection rsrc;
    std::uint32_t oldRawSize = 0;
    if (l.Resource >= 0) {
        rsrc = sections[static_cast<std::size_t>(l.Resource)];
        oldRawSize = rsrc.SizeOfRawData;
    } else {
        rsrc.Name = ".rsrc";
        rsrc.Characteristics = ScnInitializedData | ScnMemRead;
    }
    rsrc.VirtualAddress = l.Rva;
    rsrc.VirtualSize = static_cast<std::uint32_t>(sectionSize);
    rsrc.PointerToRawData = rawPointer;
    rsrc.SizeOfRawData = static_cast<std::uint32_t>(AlignUp(sectionSize, fa));
    table.push_back(rsrc);

    const std::uint64_t restStart = std::uint64_t{rawPointer} + rsrc.SizeOfRawData;
    if (restStart > 0xFFFFFFFFu)
        throw EPeImage("the resources do not fit a 32-bit image");
    std::vector<std::uint8_t> rest;
    auto offset = [&] { return restStart + rest.size(); };
    auto padTo = [&](std::uint64_t at) { rest.resize(static_cast<std::size_t>(at - restStart), 0); };

    TDataDirectory reloc = image.Directory(DirBaseReloc);
    std::uint32_t newRelocRva = reloc.Rva;
    std::uint64_t nextRva = AlignUp(std::uint64_t{rsrc.VirtualAddress} + VirtualSpan(rsrc), sa);
    for (std::size_t i = l.Tail; i < sections.size(); ++i) {
        TPeSection s = sections[i];
        if (Holds(image, i, reloc))
            newRelocRva = static_cast<std::uint32_t>(reloc.Rva - s.VirtualAddress + nextRva);
        s.VirtualAddress = static_cast<std::uint32_t>(nextRva);
        if (s.SizeOfRawData > 0) {
            padTo(AlignUp(offset(), fa));
            std::size_t from = s.PointerToRawData;
            s.PointerToRawData = static_cast<std::uint32_t>(offset());
            rest.insert(rest.end(), old.begin() + static_cast<std::ptrdiff_t>(from),
                        old.begin() + static_cast<std::ptrdiff_t>(from + s.SizeOfRawData));
        } else {
            s.PointerToRawData = 0;
        }
        nextRva = AlignUp(nextRva + VirtualSpan(s), sa);
        table.push_back(s);
    }
    if (nextRva > 0x7FFF0000u)
        throw EPeImage("the resources do not fit a 32-bit image");

    // The overlay (a symbol table or appended data) keeps its place after the sections.
    std::uint8_t* fh = head.data() + image.FileHeaderOffset();
    if (image.RawEnd() < old.size()) {
        std::uint64_t overlay = AlignUp(offset(), fa);
        padTo(overlay);
        std::uint32_t symbols = Get32(old.data() + image.FileHeaderOffset() + FhPointerToSymbolTable);
        rest.insert(rest.end(), old.begin() + static_cast<std::ptrdiff_t>(image.RawEnd()), old.end());
        if (symbols != 0)
            Put32(fh + FhPointerToSymbolTable, static_cast<std::uint32_t>(symbols - image.RawEnd() + overlay));
    }
    if (offset() > 0xFFFFFFFFu)
        throw EPeImage("the resources do not fit a 32-bit image");

    Put16(fh + FhNumberOfSections, static_cast<std::uint16_t>(table.size()));
    for (std::size_t i = 0; i < table.size(); ++i)
        PutSectionHeader(head.data() + image.SectionTableOffset() + i * SectionHeaderSize, table[i]);
    std::uint8_t* oh = head.data() + image.OptionalHeaderOffset();
    if (rsrc.Characteristics & ScnInitializedData)
        Put32(oh + OhSizeOfInitializedData,
              Get32(oh + OhSizeOfInitializedData) - oldRawSize + rsrc.SizeOfRawData);
    Put32(oh + OhSizeOfImage, static_cast<std::uint32_t>(nextRva));
    std::uint8_t* dirs = head.data() + image.DataDirectoryOffset();
    Put32(dirs + DirResource * 8, rsrc.VirtualAddress);
    Put32(dirs + DirResource * 8 + 4, rsrc.VirtualSize);
    if (reloc.Rva != 0)
        Put32(dirs + DirBaseReloc * 8, newRelocRva);

    TPeOutput out;
    out.ChecksumOffset = image.OptionalHeaderOffset() + OhCheckSum;
    Put32(head.data() + out.ChecksumOffset, 0);
    out.Pieces.Add(std::move(head));
    out.Pieces.Append(std::move(section));
    out.Pieces.AddZeros(rsrc.SizeOfRawData - sectionSize);
    out.Pieces.Add(std::move(rest));
    return out;
}

void TPeChecksum::Add(const std::uint8_t* bytes, std::size_t count) {
    FLength += count;
    std::size_t i = 0;
    if (FOdd && count > 0) {
        FSum += FLow | std::uint32_t{bytes[0]} << 8;
        FSum = (FSum & 0xFFFF) + (FSum >> 16);
        FOdd = false;
        i = 1;
    }
    for (; i + 1 < count; i += 2) {
        FSum += bytes[i] | std::uint32_t{bytes[i + 1]} << 8;
        FSum = (FSum & 0xFFFF) + (FSum >> 16);
    }
    if (i < count) {
        FLow = bytes[i];
        FOdd = true;
    }
}

std::uint32_t TPeChecksum::Value() const {
    std::uint32_t sum = FSum;
    if (FOdd) {
        sum += FLow;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + FLength);
}

std::uint32_t StreamImage(const TPeOutput& out, const std::function<void(const std::uint8_t*, std::size_t)>& sink) {
    TPeChecksum sum;
    out.Pieces.ForEachChunk([&](const std::uint8_t* p, std::size_t n) {
        sum.Add(p, n);
        sink(p, n);
    });
    return sum.Value();
}

std::uint32_t PeChecksum(const std::vector<std::uint8_t>& bytes, std::size_t checksumOffset) {
    TPeChecksum sum;
    const std::size_t size = bytes.size();
    const std::size_t fieldEnd = std::min(size, checksumOffset + 4);
    if (checksumOffset >= size) {
        sum.Add(bytes.data(), size);
    } else {
        const std::uint8_t zero[4] = {};
        sum.Add(bytes.data(), checksumOffset);
        sum.Add(zero, fieldEnd - checksumOffset);
        sum.Add(bytes.data() + fieldEnd, size - fieldEnd);
    }
    return sum.Value();
}

} // namespace kx::kxpack
