// TCustomExtractor: reads archives. Walks the entries of all segments, lists them,
// extracts named entries with block CRC checks, follows files across segments,
// expands solid archives into a temporary inner archive and reports progress.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "archive/JodArchiverRoot.h"

namespace kx {

using TEnumerationEvent = std::function<void(TArchiverRoot* sender, const TFileEntry& fileEntry)>;
using TExtractFileEvent =
    std::function<void(TArchiverRoot* sender, const TFileEntry& fileEntry, std::string& destPath, bool& accept)>;
using TFileExtractedEvent =
    std::function<void(TArchiverRoot* sender, const TFileEntry& fileEntry, const std::string& destPath)>;
using TOnUncompressBlockEvent = std::function<bool(TArchiverRoot* sender, std::uint8_t* destBlock,
                                                   std::int32_t& destSize, const std::uint8_t* srcBlock,
                                                   std::int32_t srcSize)>;
using TInsertDiskEvent = std::function<void(TArchiverRoot* sender, int segment, std::string& drive)>;
using TInsertLastDiskEvent = std::function<void(TArchiverRoot* sender, std::string& drive)>;
using TLocateSegmentEvent = std::function<void(TArchiverRoot* sender, int segment, std::string& fileName)>;
using TLocateLastSegmentEvent = std::function<void(TArchiverRoot* sender, std::string& path)>;

class TCustomExtractor : public TArchiverRoot {
public:
    TCustomExtractor();
    ~TCustomExtractor() override;

    // Published properties.
    const std::string& ExtractPath() const { return FExtractPath; }
    void SetExtractPath(const std::string& value) { FExtractPath = value; }
    TExtrMessages& Messages() { return MessagesAs<TExtrMessages>(); }
    TRestoreAction RestoreAction() const { return FRestoreAction; }
    void SetRestoreAction(TRestoreAction value) { FRestoreAction = value; }

    TEnumerationEvent OnEnumeration;
    TExtractFileEvent OnExtractFile; // kept for the streamed interface; not raised
    TFileExtractedEvent OnFileExtracted;
    TOnUncompressBlockEvent OnUncompressBlock;
    TInsertDiskEvent OnInsertDisk;         // kept for the streamed interface; not raised
    TInsertLastDiskEvent OnInsertLastDisk; // kept for the streamed interface; not raised
    TLocateSegmentEvent OnLocateSegment;
    TLocateLastSegmentEvent OnLocateLastSegment;
    TNotifyEvent OnSegmentChanged;

    // Extracts every entry whose stored name equals name (ASCII case ignored) to
    // destFileName, in archive order. An absent name writes nothing.
    void ExtractFile(const std::string& name, const std::string& destFileName);
    void EnumerateFiles();
    void ExtractEntryAt(int segment, std::int32_t offset, const std::string& destFileName, std::int64_t total);
    // Writes the data of the last entry named name (ASCII case ignored) into dest
    // from its position and gives its header in entry: the outcome ExtractFile
    // leaves in a file, into a stream the caller made. False, with nothing
    // written, when the archive holds no file of that name. Damage raises
    // EArchiver or a descendant, with what was written so far left in dest.
    bool ExtractFileTo(const std::string& name, TStream& dest, TFileEntry& entry);
    // Reads every entry header and every data block of every segment and checks
    // each block's bounds and CRC-32 without expanding it; the first damage
    // raises. Progress is reported as for an extraction of everything.
    void VerifyBlocks();
    // Whether the archive holds a file of that name (ASCII case ignored); entry
    // receives the header of the last one, the one ExtractFileTo writes.
    bool FindFile(const std::string& name, TFileEntry& entry);

    // The open archive was solid and a temporary inner archive is in use.
    bool Solid() const { return FSolid; }
    // Date-time of the expanded inner archive (1.0 when it was created empty).
    TDateTime TempDate() const { return FTempDate; }

protected:
    TMessages* CreateMessages() override;
    std::uint16_t GetOpenMode() override;
    void StartOperation() override;
    void AfterOpen() override;
    void BeforeClose() override;
    void LoadArchiveTotals() override;
    bool NextSegmentIfNeeded() override;
    void UncompressSolid() override;
    void ReleaseSolid() override;
    // Expands one block with a non-negative StoredLength. destSize is BlockSize on
    // entry, the expanded count on return. Without OnUncompressBlock the bytes are copied.
    virtual bool UncompressBlock(std::uint8_t* destBlock, std::int32_t& destSize, const std::uint8_t* srcBlock,
                                 std::int32_t srcSize);

    void ExtractEntry(const TFileEntry& entry, const std::string& destFileName);
    // Starts recording the entry index when the walk stays in the open file.
    void BeginIndex();
    bool ExtractKnownEntries(const TEntryIndex::TData& known, const std::string& name,
                             const std::string& destFileName);
    // The blocks of the current entry from the stream's position: checked, expanded
    // and written to stream; without a stream only checked (bounds and CRC-32).
    void ExtractData(TStream* stream);
    // The headers of the whole open archive, read now when no walk has read them
    // yet; nullptr for an archive that spans segments.
    std::shared_ptr<const TEntryIndex::TData> KnownEntries();
    // Finds the first part of the last file entry named name, reading through
    // every segment; the stream is left after its header. False when there is none.
    bool SeekLastEntryNamed(const std::string& name);
    void SkipEntry(std::int32_t offset);
    bool EndOfSegment();
    void SetSegment(int segment);
    void GoToFirstSegment();
    void LocateLastSegment();
    bool CheckSegmentFile(const std::string& fileName, TArchiveHeader& header);
    void CheckNextPart(const TFileEntry& previous, const TFileEntry& current);
    // Closes the inner archive of a solid archive, deletes it and brings back the
    // file name and options of Open; nothing when no inner archive is in use.
    void DiscardSolid();

    std::string FExtractPath;
    TRestoreAction FRestoreAction = raAsk;
    bool FSolid = false;
    TDateTime FTempDate = 0;
    std::string FSolidTempName;
    // The user data of the solid archive itself, for its rebuild.
    TUserData FSolidUserData;
};

} // namespace kx
