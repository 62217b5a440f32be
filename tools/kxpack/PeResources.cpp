// Reading and building resource trees; the record layout is in PeFormat.h.
#include "tools/kxpack/PeResources.h"

#include <algorithm>
#include <set>

#include "base/Format.h"
#include "tools/kxpack/PeFormat.h"

namespace kx::kxpack {

using namespace pe;

TResourceId TResourceId::Of(std::uint16_t id) {
    TResourceId r;
    r.Id = id;
    return r;
}

TResourceId TResourceId::Of(std::string_view asciiName) {
    TResourceId r;
    r.Named = true;
    for (char c : asciiName)
        r.Name.push_back(static_cast<char16_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : static_cast<unsigned char>(c)));
    return r;
}

std::string TResourceId::Text() const {
    if (!Named)
        return "#" + std::to_string(Id);
    std::string s;
    for (char16_t c : Name)
        s += c < 0x80 ? static_cast<char>(c) : '?';
    return s;
}

namespace {

class TTreeReader {
public:
    TTreeReader(const TPeImage& image, std::uint32_t root) : FImage(image), FRoot(root) {}

    void ReadDirectory(std::uint32_t offset, int level, TResource& path) {
        Claim(offset);
        const std::uint8_t* h = FImage.At(FRoot + offset, ResDirSize, "a resource directory");
        std::uint32_t count = std::uint32_t{Get16(h + 12)} + Get16(h + 14);
        const std::uint8_t* e =
            FImage.At(FRoot + offset + ResDirSize, count * ResEntrySize, "a resource directory's entries");
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint32_t name = Get32(e + i * ResEntrySize);
            std::uint32_t data = Get32(e + i * ResEntrySize + 4);
            TResourceId id = ReadId(name);
            if (level == 0)
                path.Type = id;
            else if (level == 1)
                path.Name = id;
            else if (id.Named)
                throw EPeImage("a resource language is given as a name");
            else
                path.Language = id.Id;
            bool subdirectory = (data & ResHighBit) != 0;
            if (subdirectory != (level < 2))
                throw EPeImage("the resource tree is not three levels deep");
            if (subdirectory)
                ReadDirectory(data & ~ResHighBit, level + 1, path);
            else
                ReadData(data, path);
        }
    }

    std::vector<TResource> Result;

private:
    void Claim(std::uint32_t offset) {
        if (!FSeen.insert(offset).second)
            throw EPeImage("the resource tree uses a directory or data entry twice");
    }

    TResourceId ReadId(std::uint32_t field) {
        TResourceId id;
        if (field & ResHighBit) {
            std::uint32_t offset = field & ~ResHighBit;
            std::uint16_t length = Get16(FImage.At(FRoot + offset, 2, "a resource name"));
            const std::uint8_t* chars = FImage.At(FRoot + offset + 2, length * 2u, "a resource name");
            id.Named = true;
            for (std::uint16_t i = 0; i < length; ++i)
                id.Name.push_back(static_cast<char16_t>(Get16(chars + 2 * i)));
        } else if (field > 0xFFFF) {
            throw EPeImage("a resource ID is above 65535");
        } else {
            id.Id = static_cast<std::uint16_t>(field);
        }
        return id;
    }

    void ReadData(std::uint32_t offset, const TResource& path) {
        Claim(offset);
        const std::uint8_t* d = FImage.At(FRoot + offset, ResDataEntrySize, "a resource data entry");
        std::uint32_t rva = Get32(d);
        std::uint32_t size = Get32(d + 4);
        // Entries that share their bytes could otherwise multiply a small file.
        FTotal += size;
        if (FTotal > FImage.Bytes().size())
            throw EPeImage("the resources' data overlap");
        TResource r = path;
        r.CodePage = Get32(d + 8);
        if (size > 0) {
            const std::uint8_t* bytes = FImage.At(rva, size, "resource data");
            r.Data.assign(bytes, bytes + size);
        }
        Result.push_back(std::move(r));
    }

    const TPeImage& FImage;
    std::uint32_t FRoot;
    std::set<std::uint32_t> FSeen;
    std::uint64_t FTotal = 0;
};

std::uint64_t Align(std::uint64_t v, std::uint64_t a) { return (v + a - 1) / a * a; }

void PutDirectory(std::vector<std::uint8_t>& out, std::size_t at, std::size_t named, std::size_t ids) {
    Put16(out.data() + at + 12, static_cast<std::uint16_t>(named));
    Put16(out.data() + at + 14, static_cast<std::uint16_t>(ids));
}

} // namespace

std::vector<TResource> ReadResources(const TPeImage& image) {
    TDataDirectory d = image.Directory(DirResource);
    if (d.Rva == 0)
        return {};
    TTreeReader reader(image, d.Rva);
    TResource path;
    reader.ReadDirectory(0, 0, path);
    return std::move(reader.Result);
}

TOutputPieces BuildResourceSection(std::vector<TResource> resources, std::uint32_t rva) {
    auto key = [](const TResource& a, const TResource& b) {
        if (!(a.Type == b.Type))
            return a.Type < b.Type;
        if (!(a.Name == b.Name))
            return a.Name < b.Name;
        return a.Language < b.Language;
    };
    std::stable_sort(resources.begin(), resources.end(), key);
    for (std::size_t i = 1; i < resources.size(); ++i)
        if (!key(resources[i - 1], resources[i]))
            throw EPeImage(Format("resource %s/%s (language %d) is there twice", resources[i].Type.Text(),
                                  resources[i].Name.Text(), resources[i].Language));

    // The tree: types, the names of each type, the languages of each name.
    struct TNameNode {
        std::size_t First = 0, Count = 0; // resources
    };
    struct TTypeNode {
        std::size_t First = 0, Count = 0; // names
    };
    std::vector<TTypeNode> types;
    std::vector<TNameNode> names;
    for (std::size_t i = 0; i < resources.size(); ++i) {
        bool newType = i == 0 || !(resources[i].Type == resources[i - 1].Type);
        bool newName = newType || !(resources[i].Name == resources[i - 1].Name);
        if (newType)
            types.push_back({names.size(), 0});
        if (newName) {
            names.push_back({i, 0});
            ++types.back().Count;
        }
        ++names.back().Count;
    }
    bool tooMany = types.size() > 0xFFFF;
    for (const TTypeNode& t : types)
        tooMany = tooMany || t.Count > 0xFFFF;
    for (const TNameNode& n : names)
        tooMany = tooMany || n.Count > 0xFFFF;
    if (tooMany)
        throw EPeImage("more than 65535 resources in one directory");

    auto typeOf = [&](const TTypeNode& t) -> const TResourceId& { return resources[names[t.First].First].Type; };
    auto nameOf = [&](const TNameNode& n) -> const TResourceId& { return resources[n.First].Name; };
    auto stringSize = [](const TResourceId& id) { return id.Named ? 2 + 2 * id.Name.size() : 0; };
    const std::size_t typeDirs = ResDirSize + ResEntrySize * types.size();
    std::size_t nameDirs = typeDirs;
    for (const TTypeNode& t : types)
        nameDirs += ResDirSize + ResEntrySize * t.Count;
    std::size_t entries = nameDirs;
    for (const TNameNode& n : names)
        entries += ResDirSize + ResEntrySize * n.Count;
    std::size_t strings = entries + ResDataEntrySize * resources.size();
    std::size_t data = strings;
    for (const TTypeNode& t : types)
        data += stringSize(typeOf(t));
    for (const TNameNode& n : names)
        data += stringSize(nameOf(n));
    std::uint64_t end = Align(data, 8);
    for (const TResource& r : resources)
        end = Align(end + r.Size(), 8);
    if (end >= 0x7FFF0000u - rva)
        throw EPeImage("the resources do not fit a 32-bit image");

    // The tree in memory; the data follows it piece by piece, in the order of
    // the sorted list, which is the order the tree is walked in below.
    std::vector<std::uint8_t> out(static_cast<std::size_t>(Align(data, 8)), 0);
    std::size_t stringAt = strings;
    auto putName = [&](std::size_t at, const TResourceId& id) {
        if (!id.Named) {
            Put32(out.data() + at, id.Id);
            return;
        }
        Put32(out.data() + at, static_cast<std::uint32_t>(stringAt) | ResHighBit);
        Put16(out.data() + stringAt, static_cast<std::uint16_t>(id.Name.size()));
        for (std::size_t i = 0; i < id.Name.size(); ++i)
            Put16(out.data() + stringAt + 2 + 2 * i, static_cast<std::uint16_t>(id.Name[i]));
        stringAt += stringSize(id);
    };
    std::size_t rootNamed = 0;
    for (const TTypeNode& t : types)
        rootNamed += typeOf(t).Named ? 1 : 0;
    PutDirectory(out, 0, rootNamed, types.size() - rootNamed);
    std::size_t typeAt = typeDirs;
    std::size_t nameAt = nameDirs;
    std::size_t entryAt = entries;
    std::uint64_t dataAt = Align(data, 8);
    for (std::size_t t = 0; t < types.size(); ++t) {
        const TTypeNode& tn = types[t];
        putName(ResDirSize + t * ResEntrySize, typeOf(tn));
        Put32(out.data() + ResDirSize + t * ResEntrySize + 4, static_cast<std::uint32_t>(typeAt) | ResHighBit);
        std::size_t named = 0;
        for (std::size_t k = 0; k < tn.Count; ++k)
            named += nameOf(names[tn.First + k]).Named ? 1 : 0;
        PutDirectory(out, typeAt, named, tn.Count - named);
        for (std::size_t k = 0; k < tn.Count; ++k) {
            const TNameNode& nn = names[tn.First + k];
            std::size_t slot = typeAt + ResDirSize + k * ResEntrySize;
            putName(slot, nameOf(nn));
            Put32(out.data() + slot + 4, static_cast<std::uint32_t>(nameAt) | ResHighBit);
            PutDirectory(out, nameAt, 0, nn.Count);
            for (std::size_t j = 0; j < nn.Count; ++j) {
                const TResource& r = resources[nn.First + j];
                std::size_t langSlot = nameAt + ResDirSize + j * ResEntrySize;
                Put32(out.data() + langSlot, r.Language);
                Put32(out.data() + langSlot + 4, static_cast<std::uint32_t>(entryAt));
                Put32(out.data() + entryAt, static_cast<std::uint32_t>(rva + dataAt));
                Put32(out.data() + entryAt + 4, static_cast<std::uint32_t>(r.Size()));
                Put32(out.data() + entryAt + 8, r.CodePage);
                entryAt += ResDataEntrySize;
                dataAt = Align(dataAt + r.Size(), 8);
            }
            nameAt += ResDirSize + ResEntrySize * nn.Count;
        }
        typeAt += ResDirSize + ResEntrySize * tn.Count;
    }
    TOutputPieces pieces;
    pieces.Add(std::move(out));
    for (TResource& r : resources) {
        const std::uint64_t size = r.Size();
        if (r.DataFile.empty())
            pieces.Add(std::move(r.Data));
        else
            pieces.AddFile(std::move(r.DataFile), size);
        pieces.AddZeros(Align(size, 8) - size);
    }
    return pieces;
}

TPeOutput LayOutWithResources(const TPeImage& image, std::vector<TResource> resources) {
    return ReplaceResourceSection(image, BuildResourceSection(std::move(resources), ResourceSectionRva(image)));
}

std::vector<std::uint8_t> WithResources(const TPeImage& image, std::vector<TResource> resources) {
    TPeOutput out = LayOutWithResources(image, std::move(resources));
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(out.Pieces.Size()));
    std::uint32_t sum = StreamImage(out, [&](const std::uint8_t* p, std::size_t n) { bytes.insert(bytes.end(), p, p + n); });
    Put32(bytes.data() + out.ChecksumOffset, sum);
    return bytes;
}

} // namespace kx::kxpack
