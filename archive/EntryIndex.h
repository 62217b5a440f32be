// What the component knows about the open segment file: the entry headers a walk
// has read, in archive order, so that later walks pass over them without reading
// them again. Valid only for the stream, header and stream generation it was
// built under; the owner clears it whenever the segment file is closed.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/ArchiveFormat.h"

namespace kx {

class TEntryIndex {
public:
    struct TItem {
        TFileEntry Entry;
        std::int64_t HeaderEnd = 0; // where the entry's blocks begin
    };
    // The entries of one complete walk; shared, so that a walk over it survives an
    // event handler that clears the index meanwhile.
    struct TData {
        std::vector<TItem> Items;
        std::vector<std::int64_t> StoredBefore; // sum of PartInfo.CompressedSize of the items before
        std::unordered_map<std::string, std::vector<std::size_t>> ByName; // upper-case name -> items
        // Sum of PartInfo.CompressedSize over items [from, to).
        std::int64_t StoredBetween(std::size_t from, std::size_t to) const {
            return StoredBefore[to] - StoredBefore[from];
        }
        // Items whose name equals name, ASCII case ignored (as SameText), ascending.
        const std::vector<std::size_t>* Matches(const std::string& name) const;
    };

    void Clear();
    // A walk starts right after the header of a segment that is the whole archive.
    void Begin(const TArchiveHeader& header, std::uint64_t generation);
    // The walk read an entry header ending at headerEnd. An entry that does not
    // follow the previous one, or a file part that does not end here, spoils the walk.
    void Add(const TFileEntry& entry, std::int64_t headerEnd);
    // The walk reached EndOffset: what it read becomes the index.
    void Finish(std::uint64_t generation);
    // The index, when it was built under this header and nothing was written since.
    std::shared_ptr<const TData> Find(const TArchiveHeader& header, std::uint64_t generation) const;

private:
    static bool SameSegment(const TArchiveHeader& a, const TArchiveHeader& b);

    std::shared_ptr<const TData> FData;
    std::unique_ptr<TData> FBuilding;
    TArchiveHeader FHeader;
    std::uint64_t FGeneration = 0;
    std::int64_t FNextOffset = 0;
};

} // namespace kx
