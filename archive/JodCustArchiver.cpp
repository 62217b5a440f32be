// TCustomArchiver's writing: adding files, their blocks and the solid rebuild.
// The order of writes here is what readers rely on. An entry header goes out
// first with provisional sizes, then its blocks, then the header again with the
// final sizes and efLastPart, and only then the archive header with the new
// EndOffset: an archive abandoned at any point still reads as the entries
// completed before.
#include "archive/JodCustArchiver.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "archive/BlockDeflater.h"
#include "archive/ZlibCodec.h"
#include "base/Format.h"
#include "base/Random.h"
#include "base/Text.h"
#include "sys/FileStream.h"
#include "sys/Files.h"
#include "sys/Paths.h"

namespace kx {

namespace {

// Restores a flag however the scope is left.
struct TFlagGuard {
    bool& Flag;
    explicit TFlagGuard(bool& flag) : Flag(flag) { Flag = true; }
    ~TFlagGuard() { Flag = false; }
};

} // namespace

// The writing side this unit supplies; installed as the unit joins a program.
const TCustomArchiver::TWritingSide TCustomArchiver::FWriting{
    &TCustomArchiver::FinishSolidArchive,
    []() -> std::unique_ptr<TBlockCompressor> { return std::make_unique<TBlockDeflater>(); }};
const bool TCustomArchiver::FWritingInstalled = (InstallWritingSide(&FWriting), true);

std::string TCustomArchiver::StoredName(const std::string& path) const {
    std::string name = StoredNameOf(path);
#ifndef _WIN32
    // Stored names are Windows paths, whatever system made the archive.
    std::replace(name.begin(), name.end(), '/', '\\');
#endif
    return name;
}

std::string TCustomArchiver::StoredNameOf(const std::string& path) const {
    if (FPathStorage == psWhole)
        return path;
    if (FPathStorage == psNone || FStartingDirectory.empty())
        return ExtractFileName(path);
    std::string prefix = FStartingDirectory;
    if (FOptions.Contains(oIncludeStartingDirectory)) {
        // Keep the starting directory's own name in the stored names.
        prefix = RemoveTrailingBackslash(prefix);
        std::string parent = ExtractFilePath(prefix); // a 0x5C trail byte is no delimiter
        if (parent.empty())
            return prefix + PathDelim + ExtractFileName(path);
        prefix = parent;
    } else {
        prefix = AddTrailingBackslash(prefix);
    }
    if (path.size() >= prefix.size() && SameText(std::string_view(path).substr(0, prefix.size()), prefix))
        return path.substr(prefix.size());
    return path;
}

void TCustomArchiver::SetComment(const std::string& text) {
    CheckOpen();
    CheckReadOnly();
    if (!IsEmpty())
        return;
    FHeader.Comment = text;
    FHeader.EndOffset = GetHeaderSize();
    WriteHeader();
    // A shorter comment leaves old header bytes behind the new EndOffset.
    Stream().SetSize(FHeader.EndOffset);
}

void TCustomArchiver::RaiseAddError(const Exception& e) {
    // A failure after the entry was committed (in OnFileAdded) left nothing out.
    if (!OnError || FEntryCommitted)
        return;
    TErrorAction action = eaContinue;
    OnError(this, e, FCurrentEntry, action);
    if (action == eaAbort)
        throw;
}

bool TCustomArchiver::AddFile(const std::string& path) {
    FOperation = TOperation::opAdd;
    StartOperation();
    struct TFinish {
        TCustomArchiver* Self;
        ~TFinish() { Self->FinishOperation(); }
    } finish{this};
    FLastAddFailed = false;
    CheckOpen();
    CheckReadOnly();

    bool isFolder = ExtractFileName(path) == ".";
    if (!isFolder && !FileExists(path))
        return false;

    LocateLastSegment();

    TFileEntry entry;
    entry.Name = StoredName(path);
    entry.Attr = 0;
    entry.Segment = static_cast<std::int16_t>(FHeader.Segment);
    TDateTime age = FileAge(isFolder ? path.substr(0, path.size() - 1) : path);
    entry.Date = age < 0 ? 0 : age;
    std::int64_t size = isFolder ? 0 : FileSize(path);
    if (size < 0)
        size = 0;
    entry.FileInfo.Size = static_cast<std::int32_t>(std::min<std::int64_t>(size, std::numeric_limits<std::int32_t>::max()));
    entry.EntryFlags = isFolder ? (efFolder | efLastPart) : efFile;
    FCurrentEntry = entry;

    if (isFolder) {
        Stream().Seek(FHeader.EndOffset, TSeekOrigin::soBeginning);
        WriteFileEntry(FCurrentEntry);
        FHeader.EndOffset = static_cast<std::int32_t>(Stream().Position());
        ++FHeader.ArchiveInfo.FileCount;
        ++FHeader.SegmentInfo.FileCount;
        WriteHeader();
        if (FSolid)
            FInnerChanged = true;
        return true;
    }

    if (FBytesToProcess <= 0)
        FBytesToProcess = static_cast<double>(size);
    bool accept = true;
    if (!FMakingSolid && OnAddFile)
        OnAddFile(this, FCurrentEntry, accept);
    if (!accept) {
        FBytesProcessed += static_cast<double>(size);
        DoFileProgress();
        return true;
    }
    if (!FMakingSolid) {
        DisplayMessage(Format(Messages().AddingFile(), ExtractFileName(path), static_cast<double>(size)));
        AddToLog(Format(Messages().AddingFile(), path, static_cast<double>(size)));
    }

    // What a failed add gives back: until WriteEntry has rewritten the archive
    // header, the header on disk describes the archive without this file.
    const TArchiveInfo archiveBefore = FHeader.ArchiveInfo;
    const TArchiveInfo segmentBefore = FHeader.SegmentInfo;
    const std::int32_t endBefore = FHeader.EndOffset;
    const double totalBefore = FArchiveTotal;
    const std::int32_t filesBefore = FFilesProcessed;
    auto rollBack = [&] {
        if (FEntryCommitted)
            return;
        FLastAddFailed = true;
        FHeader.ArchiveInfo = archiveBefore;
        FHeader.SegmentInfo = segmentBefore;
        FHeader.EndOffset = endBefore;
        FArchiveTotal = totalBefore;
        FFilesProcessed = filesBefore;
        try {
            // The partial entry would otherwise stay behind EndOffset until the next add.
            if (HasStream())
                Stream().SetSize(endBefore);
        } catch (const Exception&) {
        }
    };
    FEntryCommitted = false;
    try {
        if (size > std::numeric_limits<std::int32_t>::max())
            throw EArchiver(Format("%s: files of 2 GiB or more cannot be stored", path));
        std::uint16_t share = FOptions.Contains(oSecureAccess) ? fmShareDenyWrite : fmShareDenyNone;
        TFileStream source(path, fmOpenRead | share);
        WriteEntry(source);
    } catch (const EAbort&) {
        rollBack();
        throw;
    } catch (const Exception& e) {
        rollBack();
        RaiseAddError(e);
    } catch (const std::bad_alloc&) {
        rollBack();
        RaiseAddError(Exception("Out of memory"));
    }
    return true;
}

void TCustomArchiver::WriteEntry(TStream& source) {
    Stream().Seek(FHeader.EndOffset, TSeekOrigin::soBeginning);
    WriteFileEntry(FCurrentEntry);
    WriteBlocks(source);
    FHeader.EndOffset = static_cast<std::int32_t>(Stream().Position());
    FCurrentEntry.EntryFlags |= efLastPart;
    Stream().Seek(FCurrentEntry.Offset, TSeekOrigin::soBeginning);
    WriteFileEntry(FCurrentEntry);

    ++FFilesProcessed;
    ++FHeader.ArchiveInfo.FileCount;
    ++FHeader.SegmentInfo.FileCount;
    FHeader.ArchiveInfo.Size += FCurrentEntry.FileInfo.Size;
    FHeader.ArchiveInfo.CompressedSize += FCurrentEntry.FileInfo.CompressedSize;
    FArchiveTotal += FCurrentEntry.FileInfo.CompressedSize;

    WriteHeader();
    FEntryCommitted = true;
    FModified = true;
    if (FSolid)
        FInnerChanged = true;
    AddToFileList(FCurrentEntry);
    if (OnFileAdded)
        OnFileAdded(this, FCurrentEntry);
}

void TCustomArchiver::WriteBlocks(TStream& source) {
    EnterPhase(phAddingData);
    struct TLeave {
        TCustomArchiver* Self;
        ~TLeave() { Self->LeavePhase(phAddingData); }
    } leave{this};

    TFileEntry& e = FCurrentEntry;
    e.FileInfo.CompressedSize = 0;
    std::int64_t consumed = 0;
    const std::int32_t maxBlock = GetMaxBlockSize();
    if (!FInBuffer || !FOutBuffer || FBufferSize < maxBlock)
        AllocateBuffers();
    TArchiveStream& out = Stream();
    while (consumed < e.FileInfo.Size) {
        std::int32_t chunk = static_cast<std::int32_t>(
            std::min<std::int64_t>(FHeader.BlockSize, e.FileInfo.Size - consumed));
        std::int64_t sourcePos = source.Position();
        source.ReadBuffer(FInBuffer.get(), chunk);

        std::int32_t destSize = maxBlock;
        if (!CompressBlock(FOutBuffer.get(), destSize, FInBuffer.get(), chunk))
            throw EArchiverCompress(Messages().CouldNotCompressBlock());
        bool compressed = (FHeader.ArchiveFlag & afCompressed) != 0 && destSize >= 0 && destSize < chunk;
        if (!compressed) {
            std::memcpy(FOutBuffer.get(), FInBuffer.get(), static_cast<std::size_t>(chunk));
            destSize = chunk;
        }
        std::uint32_t crc = BlockCheck(FOutBuffer.get(), static_cast<std::uint32_t>(destSize));

        // Offsets and sizes are 32-bit on disk.
        if (out.Position() + BlockHeaderSize + destSize > std::numeric_limits<std::int32_t>::max() ||
            static_cast<std::int64_t>(e.FileInfo.CompressedSize) + BlockHeaderSize + destSize >
                std::numeric_limits<std::int32_t>::max())
            throw EArchiver("The archive would grow beyond 2 GiB");

        if (NeedNewSegment(destSize + BlockHeaderSize))
            e.SourceOffset = static_cast<std::int32_t>(sourcePos);
        out.WriteInt32(compressed ? destSize : -destSize);
        out.WriteUInt32(crc);
        out.WriteBuffer(FOutBuffer.get(), destSize);

        e.PartInfo.Size += chunk;
        e.PartInfo.CompressedSize += destSize + BlockHeaderSize;
        e.FileInfo.CompressedSize += destSize + BlockHeaderSize;
        FHeader.SegmentInfo.Size += chunk;
        FHeader.SegmentInfo.CompressedSize += destSize + BlockHeaderSize;
        FBytesProcessed += chunk;
        consumed += chunk;
        DoFileProgress();
    }
}

void TCustomArchiver::FinishSolidArchive() {
    std::string comment = FHeader.Comment;
    CloseArchiveFile();
    FSolid = false;
    std::int64_t savedMax = FSavedMaxSegmentSize;
    FOptions = FSavedOptions;
    FMaxSegmentSize = savedMax;

    if (FFileName == FSavedFileName)
        return;
    std::string tempName = FFileName;
    FSolidTempName.clear();
    AdoptFileName(FSavedFileName);
    SplitFileName();
    TDateTime tempDate = FileAge(tempName);

    struct TCleanup {
        std::string Name;
        ~TCleanup() { DeleteFile(Name); }
    } cleanup{tempName};

    // A read-only open never changes the file.
    bool changed = !FReadOnly && (FInnerChanged || (FTempDate != 0 && FTempDate != tempDate));
    if (!changed)
        return;

    // The old solid archive stays until the new one is complete: a failure while
    // rebuilding must not lose what the archive held before. Its name while it waits
    // is one nobody uses.
    std::string target = GetSegmentName(1);
    std::string backup;
    do
        backup = Format("%s.~%x", target, static_cast<std::int64_t>(Random(0x7FFFFFFF)));
    while (FileExists(backup) || DirectoryExists(backup));
    bool haveBackup = FileExists(target) && RenameFile(target, backup);

    TFlagGuard making(FMakingSolid);
    bool ok = false;
    try {
        CreateArchive();
        FHeader.ArchiveFlag |= afSolid;
        FHeader.UserData = FSolidUserData;
        SetComment(comment);
        StartOperation();
        struct TFinish {
            TCustomArchiver* Self;
            ~TFinish() { Self->FinishOperation(); }
        } finish{this};
        DisplayMessage(Messages().CompressingSolidArchive());
        AddToLog(Messages().CompressingSolidArchive());
        ok = AddFile(tempName) && !FLastAddFailed;
        UpdateFirstSegmentHeader();
    } catch (...) {
        CloseArchiveFile();
        if (haveBackup) {
            DeleteFile(target);
            RenameFile(backup, target);
        }
        throw;
    }
    if (!ok) {
        CloseArchiveFile();
        if (haveBackup) {
            DeleteFile(target);
            RenameFile(backup, target);
        }
        return;
    }
    if (haveBackup)
        DeleteFile(backup);
}

} // namespace kx
