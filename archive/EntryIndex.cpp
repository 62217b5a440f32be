// The entry index of an open segment file.
#include "archive/EntryIndex.h"

#include "base/Text.h"

namespace kx {

const std::vector<std::size_t>* TEntryIndex::TData::Matches(const std::string& name) const {
    auto it = ByName.find(UpperCase(name));
    return it == ByName.end() ? nullptr : &it->second;
}

void TEntryIndex::Clear() {
    FData.reset();
    FBuilding.reset();
}

bool TEntryIndex::SameSegment(const TArchiveHeader& a, const TArchiveHeader& b) {
    return a.Signature == b.Signature && a.Version == b.Version && a.RandomID == b.RandomID &&
           a.BlockSize == b.BlockSize && a.EndOffset == b.EndOffset && a.Segment == b.Segment &&
           a.ArchiveFlag == b.ArchiveFlag && a.SegmentInfo.FileCount == b.SegmentInfo.FileCount &&
           a.SegmentInfo.CompressedSize == b.SegmentInfo.CompressedSize && a.Comment == b.Comment;
}

void TEntryIndex::Begin(const TArchiveHeader& header, std::uint64_t generation) {
    Clear();
    FBuilding = std::make_unique<TData>();
    FBuilding->StoredBefore.push_back(0);
    FHeader = header;
    FGeneration = generation;
    FNextOffset = ArchiveHeaderSize(header);
}

void TEntryIndex::Add(const TFileEntry& entry, std::int64_t headerEnd) {
    if (!FBuilding) return;
    if (entry.Offset != FNextOffset || !(entry.EntryFlags & efLastPart)) {
        FBuilding.reset();
        return;
    }
    FNextOffset = headerEnd + entry.PartInfo.CompressedSize;
    FBuilding->ByName[UpperCase(entry.Name)].push_back(FBuilding->Items.size());
    FBuilding->Items.push_back({entry, headerEnd});
    FBuilding->StoredBefore.push_back(FBuilding->StoredBefore.back() + entry.PartInfo.CompressedSize);
}

void TEntryIndex::Finish(std::uint64_t generation) {
    if (FBuilding && generation == FGeneration && FNextOffset == FHeader.EndOffset) FData = std::move(FBuilding);
    FBuilding.reset();
}

std::shared_ptr<const TEntryIndex::TData> TEntryIndex::Find(const TArchiveHeader& header, std::uint64_t generation) const {
    if (!FData || generation != FGeneration || !SameSegment(header, FHeader)) return nullptr;
    return FData;
}

} // namespace kx
