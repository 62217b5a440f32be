// TCustomExtractor: walking, listing and extracting entries, segments and solid archives.
#include "archive/JodCustExtractor.h"

#include <cmath>
#include <cstring>

#include "archive/ZlibCodec.h"
#include "base/Format.h"
#include "base/Text.h"
#include "sys/FileStream.h"
#include "sys/Files.h"
#include "sys/Paths.h"

namespace kx {

namespace {

// Leaves a phase on every way out of a scope.
class TPhaseScope {
public:
    TPhaseScope(unsigned& phases, unsigned phase) : FPhases(phases), FPhase(phase) { FPhases |= phase; }
    ~TPhaseScope() { FPhases &= ~FPhase; }
    TPhaseScope(const TPhaseScope&) = delete;
    TPhaseScope& operator=(const TPhaseScope&) = delete;

private:
    unsigned& FPhases;
    unsigned FPhase;
};

// Runs FinishOperation on every way out of an operation.
class TOperationScope {
public:
    explicit TOperationScope(TArchiverRoot& owner, void (TArchiverRoot::*finish)()) : FOwner(owner), FFinish(finish) {}
    ~TOperationScope() {
        try {
            (FOwner.*FFinish)();
        } catch (...) {
        }
    }
    TOperationScope(const TOperationScope&) = delete;
    TOperationScope& operator=(const TOperationScope&) = delete;

private:
    TArchiverRoot& FOwner;
    void (TArchiverRoot::*FFinish)();
};

} // namespace

TCustomExtractor::TCustomExtractor() { RecreateMessages(); }

TCustomExtractor::~TCustomExtractor() {
    CloseForDestruction();
}

TMessages* TCustomExtractor::CreateMessages() { return new TExtrMessages(); }

std::uint16_t TCustomExtractor::GetOpenMode() { return fmOpenRead | fmShareDenyWrite; }

void TCustomExtractor::StartOperation() { TArchiverRoot::StartOperation(); }

bool TCustomExtractor::UncompressBlock(std::uint8_t* destBlock, std::int32_t& destSize, const std::uint8_t* srcBlock,
                                       std::int32_t srcSize) {
    if (OnUncompressBlock) return OnUncompressBlock(this, destBlock, destSize, srcBlock, srcSize);
    if (srcSize > 0) std::memcpy(destBlock, srcBlock, static_cast<std::size_t>(srcSize));
    destSize = srcSize;
    return true;
}

// ---- public operations -------------------------------------------------------------

void TCustomExtractor::ExtractFile(const std::string& name, const std::string& destFileName) {
    FOperation = TOperation::opExtract;
    StartOperation();
    TOperationScope finish(*this, &TArchiverRoot::FinishOperation);
    CheckOpen();
    FBytesToProcess = FArchiveTotal;
    GoToFirstSegment();
    CheckHeader();
    if (auto known = FEntryIndex.Find(FHeader, Stream().Generation())) {
        if (ExtractKnownEntries(*known, name, destFileName)) return;
        // An event handler wrote to the archive: the walk goes on from here.
    } else {
        BeginIndex();
    }
    for (;;) {
        if (!EndOfSegment()) {
            ReadFileEntry(FCurrentEntry);
            FEntryIndex.Add(FCurrentEntry, Stream().Position());
            if (SameText(FCurrentEntry.Name, name))
                ExtractEntry(FCurrentEntry, destFileName);
            else
                SkipEntry(FCurrentEntry.Offset);
        } else {
            if ((FHeader.ArchiveFlag & afFinalSegment) || FOptions.Contains(oOpenSingleSegment)) break;
            NextSegmentIfNeeded();
        }
    }
    FEntryIndex.Finish(Stream().Generation());
}

void TCustomExtractor::BeginIndex() {
    // Only where the walk never leaves the open file; an index still valid stays.
    if (SpansSegments() || FEntryIndex.Find(FHeader, Stream().Generation())) return;
    FEntryIndex.Begin(FHeader, Stream().Generation());
}

// The walk of ExtractFile over entries whose headers are known: the same extractions
// and counts, without reading a header again. Skipped entries cost no file access.
// A run of skipped entries reports every percent value the walk would report, in
// the same order, and always its last entry; only repeats of an unchanged value
// are left out, since sending one per entry would make a run of one call per file
// quadratic in the number of entries however quick the handler is.
// False when the known entries went stale during an extraction; the stream is then
// at the next entry's header.
bool TCustomExtractor::ExtractKnownEntries(const TEntryIndex::TData& known, const std::string& name,
                                           const std::string& destFileName) {
    const std::size_t count = known.Items.size();
    std::size_t next = 0;
    auto passOver = [&](std::size_t to) {
        if (next >= to) return;
        const double bytes0 = FBytesProcessed;
        const std::int32_t files0 = FFilesProcessed;
        const std::size_t first = next;
        next = to;
        // Counters as the walk has them when it reports item k: its bytes counted, the item itself not yet.
        auto bytesAfter = [&](std::size_t k) { return bytes0 + static_cast<double>(known.StoredBetween(first, k + 1)); };
        auto filesBefore = [&](std::size_t k) { return files0 + static_cast<std::int32_t>(k - first); };
        if (OnFileProgress) {
            auto report = [&](std::size_t k) {
                FBytesProcessed = bytesAfter(k);
                FFilesProcessed = filesBefore(k);
                DoFileProgress();
            };
            // Progress never falls along the run, so the last item that still shows a
            // value is found by bisection.
            std::size_t k = first;
            while (k < to) {
                const int percent = PercentFor(bytesAfter(k), filesBefore(k));
                report(k);
                std::size_t lo = k, hi = to - 1;
                while (lo < hi) {
                    const std::size_t mid = lo + (hi - lo + 1) / 2;
                    if (PercentFor(bytesAfter(mid), filesBefore(mid)) == percent)
                        lo = mid;
                    else
                        hi = mid - 1;
                }
                if (lo == to - 1 && lo != k) report(lo);
                k = lo + 1;
            }
        }
        FBytesProcessed = bytesAfter(to - 1);
        FFilesProcessed = filesBefore(to - 1) + 1;
    };
    if (const std::vector<std::size_t>* matches = known.Matches(name)) {
        for (std::size_t m : *matches) {
            passOver(m);
            const TEntryIndex::TItem& item = known.Items[m];
            Stream().SetPosition(item.HeaderEnd);
            FCurrentEntry = item.Entry;
            NoteEntryRead(FCurrentEntry, item.HeaderEnd);
            ExtractEntry(FCurrentEntry, destFileName);
            next = m + 1;
            if (FEntryIndex.Find(FHeader, Stream().Generation()).get() != &known) return false;
        }
    }
    passOver(count);
    if (count > 0) FCurrentEntry = known.Items[count - 1].Entry;
    Stream().SetPosition(FHeader.EndOffset);
    return true;
}

void TCustomExtractor::EnumerateFiles() {
    FOperation = TOperation::opEnumerate;
    StartOperation();
    {
        TOperationScope finish(*this, &TArchiverRoot::FinishOperation);
        CheckOpen();
        FBytesToProcess = FArchiveTotal;
        FBytesProcessed = 0;
        GoToFirstSegment();
        CheckHeader();
        ClearFileList();
        DisplayMessage(Messages().LoadingArchiveContnent());
        AddToLog(Messages().LoadingArchiveContnent());
        BeginIndex();
        for (;;) {
            if (!EndOfSegment()) {
                ReadFileEntry(FCurrentEntry);
                FEntryIndex.Add(FCurrentEntry, Stream().Position());
                AddToFileList(FCurrentEntry);
                SkipEntry(FCurrentEntry.Offset);
                bool folder = (FCurrentEntry.EntryFlags & efFolder) != 0;
                if (OnEnumeration && (!folder || FOptions.Contains(oShowEmptyFolders)))
                    OnEnumeration(this, FCurrentEntry);
            } else {
                if ((FHeader.ArchiveFlag & afFinalSegment) || FOptions.Contains(oOpenSingleSegment)) break;
                NextSegmentIfNeeded();
            }
        }
        FEntryIndex.Finish(Stream().Generation());
    }
    FOperation = TOperation::opNone;
}

void TCustomExtractor::ExtractEntryAt(int segment, std::int32_t offset, const std::string& destFileName,
                                      std::int64_t total) {
    FOperation = TOperation::opExtract;
    StartOperation();
    TOperationScope finish(*this, &TArchiverRoot::FinishOperation);
    CheckOpen();
    if (FBytesToProcess == 0) FBytesToProcess = static_cast<double>(total);
    SetSegment(segment);
    Stream().SetPosition(offset);
    ReadFileEntry(FCurrentEntry);
    ExtractEntry(FCurrentEntry, destFileName);
}

std::shared_ptr<const TEntryIndex::TData> TCustomExtractor::KnownEntries() {
    if (auto known = FEntryIndex.Find(FHeader, Stream().Generation())) return known;
    if (SpansSegments()) return nullptr;
    Stream().SetPosition(ArchiveHeaderSize(FHeader));
    BeginIndex();
    while (!EndOfSegment()) {
        ReadFileEntry(FCurrentEntry);
        FEntryIndex.Add(FCurrentEntry, Stream().Position());
        SkipEntry(FCurrentEntry.Offset);
    }
    FEntryIndex.Finish(Stream().Generation());
    return FEntryIndex.Find(FHeader, Stream().Generation());
}

bool TCustomExtractor::SeekLastEntryNamed(const std::string& name) {
    int segment = -1;
    std::int32_t offset = 0;
    for (;;) {
        if (!EndOfSegment()) {
            ReadFileEntry(FCurrentEntry);
            if (SameText(FCurrentEntry.Name, name) && !(FCurrentEntry.EntryFlags & efFolder)) {
                segment = FHeader.Segment;
                offset = FCurrentEntry.Offset;
            }
            SkipEntry(FCurrentEntry.Offset);
        } else {
            if ((FHeader.ArchiveFlag & afFinalSegment) || FOptions.Contains(oOpenSingleSegment)) break;
            NextSegmentIfNeeded();
        }
    }
    if (segment < 0) return false;
    SetSegment(segment);
    Stream().SetPosition(offset);
    ReadFileEntry(FCurrentEntry);
    return true;
}

bool TCustomExtractor::ExtractFileTo(const std::string& name, TStream& dest, TFileEntry& entry) {
    FOperation = TOperation::opExtract;
    StartOperation();
    TOperationScope finish(*this, &TArchiverRoot::FinishOperation);
    CheckOpen();
    FBytesToProcess = FArchiveTotal;
    GoToFirstSegment();
    CheckHeader();
    if (auto known = KnownEntries()) {
        const std::vector<std::size_t>* matches = known->Matches(name);
        std::size_t last = 0;
        bool found = false;
        if (matches)
            for (std::size_t m : *matches)
                if (!(known->Items[m].Entry.EntryFlags & efFolder)) {
                    last = m;
                    found = true;
                }
        if (!found) return false;
        const TEntryIndex::TItem& item = known->Items[last];
        Stream().SetPosition(item.HeaderEnd);
        FCurrentEntry = item.Entry;
        NoteEntryRead(FCurrentEntry, item.HeaderEnd);
    } else if (!SeekLastEntryNamed(name)) {
        return false;
    }
    ExtractData(&dest);
    ++FFilesProcessed;
    entry = FCurrentEntry;
    return true;
}

void TCustomExtractor::VerifyBlocks() {
    FOperation = TOperation::opExtract;
    StartOperation();
    TOperationScope finish(*this, &TArchiverRoot::FinishOperation);
    CheckOpen();
    FBytesToProcess = FArchiveTotal;
    GoToFirstSegment();
    CheckHeader();
    BeginIndex();
    for (;;) {
        if (!EndOfSegment()) {
            ReadFileEntry(FCurrentEntry);
            FEntryIndex.Add(FCurrentEntry, Stream().Position());
            if ((FCurrentEntry.EntryFlags & efFolder) || FCurrentEntry.FileInfo.Size == 0) {
                SkipEntry(FCurrentEntry.Offset);
                continue;
            }
            ExtractData(nullptr);
            ++FFilesProcessed;
            NextSegmentIfNeeded();
        } else {
            if ((FHeader.ArchiveFlag & afFinalSegment) || FOptions.Contains(oOpenSingleSegment)) break;
            NextSegmentIfNeeded();
        }
    }
    FEntryIndex.Finish(Stream().Generation());
}

bool TCustomExtractor::FindFile(const std::string& name, TFileEntry& entry) {
    CheckOpen();
    GoToFirstSegment();
    CheckHeader();
    if (auto known = KnownEntries()) {
        bool found = false;
        if (const std::vector<std::size_t>* matches = known->Matches(name))
            for (std::size_t m : *matches)
                if (!(known->Items[m].Entry.EntryFlags & efFolder)) {
                    entry = known->Items[m].Entry;
                    found = true;
                }
        return found;
    }
    if (!SeekLastEntryNamed(name)) return false;
    entry = FCurrentEntry;
    return true;
}

// ---- entries -------------------------------------------------------------------------

void TCustomExtractor::ExtractEntry(const TFileEntry& entry, const std::string& destFileName) {
    const bool exists = FileExists(destFileName);
    auto existingIsOlder = [&] {
        TDateTime age = FileAge(destFileName);
        if (age < 0) age = 0;
        return age < entry.Date;
    };
    // The inner archive of a solid archive is the component's own temporary file;
    // the caller's restore rule is about destinations, not about it.
    const TRestoreAction action = InPhase(phUncompressingSolid) ? raOverwrite : FRestoreAction;
    bool extract = true;
    switch (action) {
    case raOverwrite:
    case raAsk:
        extract = true;
        break;
    case raSkip:
        extract = !exists;
        break;
    case raUpdate:
        extract = !exists || existingIsOlder();
        break;
    case raExistingOnly:
        extract = exists;
        break;
    case raUpdateExisting:
        extract = exists && existingIsOlder();
        break;
    }
    if (!extract) {
        SkipEntry(entry.Offset);
        return;
    }

    if (InPhase(phUncompressingSolid)) {
        DisplayMessage(Messages().UncompressingSolidArchive());
        AddToLog(Messages().UncompressingSolidArchive());
    } else {
        DisplayMessage(Format(Messages().ExtractingFile(), ExtractFileName(destFileName), entry.FileInfo.Size));
        AddToLog(Format(Messages().ExtractingFile(), destFileName, entry.FileInfo.Size));
    }

    const double processedBefore = FBytesProcessed;
    try {
        ForceDirectory(ExtractFileDir(destFileName));
        if (!(entry.EntryFlags & efFolder)) {
            const bool keep = exists && (entry.SourceOffset != 0 || FOptions.Contains(oOpenSingleSegment));
            FileSetAttr(destFileName, 0);
            TFileStream dest(destFileName, keep ? std::uint16_t(fmOpenReadWrite | fmShareDenyWrite) : fmCreate);
            ExtractData(&dest);
            ++FFilesProcessed;
            dest.SetLastWriteTime(FCurrentEntry.Date);
        }
        FileSetAttr(destFileName, FCurrentEntry.Attr);
        if (OnFileExtracted) OnFileExtracted(this, FCurrentEntry, ExtractFilePath(destFileName));
        NextSegmentIfNeeded();
    } catch (const EAbort&) {
        throw EAbort();
    } catch (const Exception& e) {
        // The entry is passed over; the OnError handler hears of it and may stop the run.
        if (OnError) {
            TErrorAction errorAction = eaContinue;
            OnError(this, e, FCurrentEntry, errorAction);
            if (errorAction == eaAbort) throw;
        }
        FBytesProcessed = processedBefore;
        SkipEntry(FCurrentEntry.Offset);
    }
}

void TCustomExtractor::ExtractData(TStream* stream) {
    if (FCurrentEntry.FileInfo.Size == 0) return;
    TPhaseScope phase(FPhases, phExtractingData);
    const bool single = FOptions.Contains(oOpenSingleSegment);
    std::int64_t written = FCurrentEntry.SourceOffset;
    if (stream) stream->SetPosition(written);
    bool firstPart = true;
    do {
        std::int64_t sum = 0;
        bool firstBlock = true;
        do {
            const bool switched = NextSegmentIfNeeded();
            if (switched) {
                written = FCurrentEntry.SourceOffset;
                if (stream) stream->SetPosition(written);
            } else if (firstBlock && !firstPart) {
                throw EArchiver("Archive damaged: a file part does not end its segment");
            }
            firstBlock = false;
            if (single && EndOfSegment()) return;

            TArchiveStream& s = Stream();
            if (static_cast<std::int64_t>(FHeader.EndOffset) - s.Position() < BlockHeaderSize)
                throw EArchiver("Archive damaged: block runs past the end offset");
            std::uint8_t head[BlockHeaderSize];
            s.ReadBuffer(head, BlockHeaderSize);
            const std::int32_t storedLength =
                static_cast<std::int32_t>(head[0] | (head[1] << 8) | (head[2] << 16) | (std::uint32_t(head[3]) << 24));
            const std::uint32_t blockCRC =
                std::uint32_t(head[4]) | (std::uint32_t(head[5]) << 8) | (std::uint32_t(head[6]) << 16) |
                (std::uint32_t(head[7]) << 24);
            const bool compressed = storedLength >= 0;
            const std::int64_t n = std::llabs(static_cast<long long>(storedLength));
            if (n > FBufferSize || sum + BlockHeaderSize + n > FCurrentEntry.PartInfo.CompressedSize)
                throw EArchiver("Archive damaged: block larger than its part or the block buffer");
            const std::int32_t count = static_cast<std::int32_t>(n);
            s.ReadBuffer(FInBuffer.get(), count);
            if (BlockCheck(FInBuffer.get(), static_cast<std::uint32_t>(count)) != blockCRC)
                throw EArchiverBadCRC(Messages().BadCRC());

            if (!stream) {
                FBytesProcessed += static_cast<double>(n + BlockHeaderSize);
                DoFileProgress();
                sum += n + BlockHeaderSize;
                continue;
            }
            const std::uint8_t* out = FInBuffer.get();
            std::int32_t outSize = count;
            if (compressed) {
                outSize = std::min(FHeader.BlockSize, FBufferSize);
                if (!UncompressBlock(FOutBuffer.get(), outSize, FInBuffer.get(), count) || outSize < 0 ||
                    outSize > FBufferSize)
                    throw EArchiverUncompress(Messages().CouldNotUncompressBlock());
                out = FOutBuffer.get();
            }
            if (written + outSize > FCurrentEntry.FileInfo.Size)
                throw EArchiver("Archive damaged: data longer than the file size");
            stream->WriteBuffer(out, outSize);
            written += outSize;
            FBytesProcessed += static_cast<double>(n + BlockHeaderSize);
            DoFileProgress();
            sum += n + BlockHeaderSize;
        } while (sum < FCurrentEntry.PartInfo.CompressedSize);
        firstPart = false;
    } while (!(FCurrentEntry.EntryFlags & efLastPart) && !single);
}

void TCustomExtractor::SkipEntry(std::int32_t offset) {
    {
        TPhaseScope phase(FPhases, phSkippingData);
        TArchiveStream& s = Stream();
        // The walk has usually just read this very header: take it as read.
        if (FLastReadValid && offset == FLastReadEntry.Offset && FHeader.Segment == FLastReadSegment &&
            s.Position() == FLastReadEnd && s.Generation() == FLastReadGeneration) {
            FCurrentEntry = FLastReadEntry;
        } else {
            s.SetPosition(offset);
            ReadFileEntry(FCurrentEntry);
        }
        for (;;) {
            TArchiveStream& cur = Stream();
            cur.SetPosition(cur.Position() + FCurrentEntry.PartInfo.CompressedSize);
            FBytesProcessed += FCurrentEntry.PartInfo.CompressedSize;
            DoFileProgress();
            if ((FCurrentEntry.EntryFlags & efLastPart) || FOptions.Contains(oOpenSingleSegment)) break;
            TFileEntry previous = FCurrentEntry;
            if (!NextSegmentIfNeeded())
                throw EArchiver("Archive damaged: a file part does not end its segment");
            FCurrentEntry.Segment = previous.Segment;
            FCurrentEntry.Offset = previous.Offset;
        }
        ++FFilesProcessed;
    }
    NextSegmentIfNeeded();
}

// ---- segments ------------------------------------------------------------------------

bool TCustomExtractor::EndOfSegment() { return FStream && FStream->Position() >= FHeader.EndOffset; }

bool TCustomExtractor::NextSegmentIfNeeded() {
    if (!EndOfSegment() || (FHeader.ArchiveFlag & afFinalSegment) || FOptions.Contains(oOpenSingleSegment))
        return false;
    TPhaseScope phase(FPhases, phChangingSegment);
    SetSegment(FHeader.Segment + 1);
    return true;
}

bool TCustomExtractor::CheckSegmentFile(const std::string& fileName, TArchiveHeader& header) {
    if (!SegmentFileExists(fileName)) return false;
    try {
        std::unique_ptr<TStream> file = CreateFileStream(fileName, fmOpenRead | fmShareDenyWrite);
        if (!ReadHeader(*file, header)) return false;
    } catch (const Exception&) {
        return false;
    }
    return header.RandomID == FHeader.RandomID;
}

void TCustomExtractor::SetSegment(int segment) {
    if (FHeader.Segment == segment) return;
    CloseArchiveFile();
    std::string name = GetSegmentName(segment);
    TArchiveHeader found;
    if (!CheckSegmentFile(name, found) || found.Segment != segment) {
        if (!OnLocateSegment) Abort();
        OnLocateSegment(this, segment, name);
        if (!CheckSegmentFile(name, found) || found.Segment != segment)
            throw Exception(Format(Messages().WrongSegment(), segment, FBaseName));
    }
    AdoptSegmentName(name, segment);
    OpenArchiveFile();
    UpdateArchiveTotal();
    if (OnSegmentChanged) OnSegmentChanged(this);
    if (InPhase(phExtractingData | phSkippingData)) {
        TFileEntry previous = FCurrentEntry;
        if (EndOfSegment()) throw EArchiver(Messages().WrongNextSegment());
        ReadFileEntry(FCurrentEntry);
        CheckNextPart(previous, FCurrentEntry);
    }
}

void TCustomExtractor::CheckNextPart(const TFileEntry& previous, const TFileEntry& current) {
    if (current.Name != previous.Name || current.FileInfo.Size != previous.FileInfo.Size ||
        current.Date != previous.Date)
        throw EArchiver(Messages().WrongNextSegment());
}

void TCustomExtractor::GoToFirstSegment() {
    if (!FOptions.Contains(oOpenSingleSegment)) SetSegment(1);
}

void TCustomExtractor::LocateLastSegment() {
    if ((FHeader.ArchiveFlag & afFinalSegment) || FOptions.Contains(oOpenSingleSegment)) return;
    CloseArchiveFile();
    TArchiveHeader found;
    std::string name;
    std::string finalName;
    int finalSegment = 0;
    for (int n = FHeader.Segment + 1; n <= 0xFFFF; ++n) {
        name = GetSegmentName(n);
        if (!CheckSegmentFile(name, found)) break;
        if (found.ArchiveFlag & afFinalSegment) {
            finalName = name;
            finalSegment = n;
            break;
        }
    }
    if (finalName.empty()) {
        if (!OnLocateLastSegment) Abort();
        std::string path = name;
        OnLocateLastSegment(this, path);
        if (!CheckSegmentFile(path, found) || !(found.ArchiveFlag & afFinalSegment))
            throw Exception(Messages().WrongLastSegment());
        finalName = path;
        finalSegment = found.Segment;
    }
    AdoptSegmentName(finalName, finalSegment);
    OpenArchiveFile();
}

void TCustomExtractor::LoadArchiveTotals() {
    if (FOptions.Contains(oOpenSingleSegment)) {
        FArchiveTotal = 0;
        return;
    }
    if (FHeader.Segment != 1 || FHeader.ArchiveInfo.CompressedSize <= FHeader.SegmentInfo.CompressedSize)
        LocateLastSegment();
    FArchiveTotal = FHeader.ArchiveInfo.CompressedSize;
}

// ---- open, close and solid archives -----------------------------------------------------

void TCustomExtractor::AfterOpen() {
    if (OnShowComment && !FHeader.Comment.empty()) OnShowComment(this, FHeader.Comment);
    UncompressSolid();
    if (OnAfterOpen) OnAfterOpen(this);
    if (FOptions.Contains(oEnumerateAfterOpen) || FOptions.Contains(oMaintainFileDirectory)) {
        TPhaseScope phase(FPhases, phEnumeratingAfterOpen);
        EnumerateFiles();
    }
}

void TCustomExtractor::UncompressSolid() {
    FSolid = (FHeader.ArchiveFlag & afSolid) != 0;
    if (!FSolid) return;
    FTempDate = 0;
    FSolidUserData = FHeader.UserData;
    FSolidTempName = GetTempFileName();
    {
        TPhaseScope phase(FPhases, phUncompressingSolid);
        try {
            if (FHeader.SegmentInfo.FileCount > 0) {
                CheckHeader();
                TFileEntry entry;
                ReadFileEntry(entry);
                const bool sane = std::isfinite(FArchiveTotal) && FArchiveTotal >= 0 && FArchiveTotal < 9e15;
                ExtractEntryAt(1, entry.Offset, FSolidTempName, sane ? std::llround(FArchiveTotal) : 0);
                FBytesProcessed = 0;
                FTempDate = FileAge(FSolidTempName);
            }
        } catch (...) {
            DeleteFile(FSolidTempName);
            throw;
        }
    }
    CloseArchiveFile();
    FOptions.Exclude(oCreateSolidArchives).Exclude(oCompress).Exclude(oWriteSFXCode);
    FMaxSegmentSize = 0;
    AdoptFileName(FSolidTempName);
    try {
        if (FileExists(FSolidTempName)) {
            OpenArchiveFile();
            LoadArchiveTotals();
        } else {
            // An empty solid archive: a new inner archive to add to. Opened read-only,
            // the component stays read-only, and nothing marks the inner archive new.
            const bool readOnly = FReadOnly;
            CreateArchive();
            FReadOnly = readOnly;
            FTempDate = readOnly ? 0 : 1.0;
        }
    } catch (...) {
        // A failed Open does not reach BeforeClose: give the inner archive back here.
        DiscardSolid();
        throw;
    }
}

void TCustomExtractor::BeforeClose() {
    if (OnBeforeClose) OnBeforeClose(this);
    ReleaseSolid();
}

void TCustomExtractor::ReleaseSolid() { DiscardSolid(); }

void TCustomExtractor::DiscardSolid() {
    if (!FSolid) return;
    FSolid = false;
    CloseArchiveFile();
    AdoptFileName(FSavedFileName);
    FOptions = FSavedOptions;
    if (!FSolidTempName.empty()) DeleteFile(FSolidTempName);
    FSolidTempName.clear();
}

} // namespace kx
