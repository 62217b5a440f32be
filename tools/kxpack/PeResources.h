// The resources of a PE image as a flat list (type, name, language, bytes):
// read from an image's resource tree, and built into a new resource section.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/kxpack/OutputPieces.h"
#include "tools/kxpack/PeImage.h"

namespace kx::kxpack {

// A resource type or name: a 16-bit ID or a UTF-16 string.
struct TResourceId {
    bool Named = false;
    std::uint16_t Id = 0;
    std::u16string Name;

    static TResourceId Of(std::uint16_t id);
    // Names are stored in upper case, as FindResource looks them up.
    static TResourceId Of(std::string_view asciiName);
    // "KXFILE", "#24" for an ID.
    std::string Text() const;

    friend bool operator==(const TResourceId& a, const TResourceId& b) {
        return a.Named == b.Named && (a.Named ? a.Name == b.Name : a.Id == b.Id);
    }
    // The order of a resource directory: names first, by code unit; then IDs.
    friend bool operator<(const TResourceId& a, const TResourceId& b) {
        if (a.Named != b.Named)
            return a.Named;
        return a.Named ? a.Name < b.Name : a.Id < b.Id;
    }
};

struct TResource {
    TResourceId Type;
    TResourceId Name;
    std::uint16_t Language = 0;
    std::uint32_t CodePage = 0;
    std::vector<std::uint8_t> Data;
    // A resource too large to hold in memory (the payload): the whole of this
    // file, DataFileSize bytes, instead of Data.
    std::string DataFile{};
    std::uint64_t DataFileSize = 0;

    std::uint64_t Size() const { return DataFile.empty() ? Data.size() : DataFileSize; }
};

constexpr std::uint16_t LangEnglishUS = 0x0409;

// Every resource of the image in directory order; none when it has no resource
// directory. Raises EPeImage on a damaged tree (out of bounds, shared or
// repeated entries, not three levels deep).
std::vector<TResource> ReadResources(const TPeImage& image);

// A resource section holding `resources` for the address rva: directories,
// name strings, data entries and the data (8-byte aligned). Raises EPeImage
// when two resources have the same type, name and language, or when they do
// not fit a 32-bit image. File resources stay pieces to be read when written.
TOutputPieces BuildResourceSection(std::vector<TResource> resources, std::uint32_t rva);

// The image with exactly these resources, to be written piece by piece; its
// checksum field is zero until WriteImage fills it in.
TPeOutput LayOutWithResources(const TPeImage& image, std::vector<TResource> resources);

// The image with exactly these resources, in memory.
std::vector<std::uint8_t> WithResources(const TPeImage& image, std::vector<TResource> resources);

} // namespace kx::kxpack
