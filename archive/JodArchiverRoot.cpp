// TArchiverRoot: file name and segments, open/close, header and entry-header I/O,
// operation nesting and progress.
#include "archive/JodArchiverRoot.h"

#include <cmath>

#include "base/Format.h"
#include "base/Random.h"
#include "sys/FileStream.h"
#include "sys/Files.h"
#include "sys/Paths.h"

namespace kx {

// ---- TArchiveStream ---------------------------------------------------------

TArchiveStream::TArchiveStream(std::unique_ptr<TStream> inner) : FInner(std::move(inner)) {
    FPosition = FInnerPosition = FInner->Seek(0, TSeekOrigin::soCurrent);
}

void TArchiveStream::Sync() {
    if (FInnerPosition != FPosition) FPosition = FInnerPosition = FInner->Seek(FPosition, TSeekOrigin::soBeginning);
}

std::int32_t TArchiveStream::Read(void* buffer, std::int32_t count) {
    Sync();
    std::int32_t n = FInner->Read(buffer, count);
    if (n > 0) FPosition += n;
    FInnerPosition = FPosition;
    return n;
}

std::int32_t TArchiveStream::Write(const void* buffer, std::int32_t count) {
    ++FGeneration;
    Sync();
    std::int32_t n = FInner->Write(buffer, count);
    if (n > 0) FPosition += n;
    FInnerPosition = FPosition;
    return n;
}

std::int64_t TArchiveStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    if (origin == TSeekOrigin::soEnd) {
        FPosition = FInnerPosition = FInner->Seek(offset, origin); // only the file knows its end
        return FPosition;
    }
    const std::int64_t target = origin == TSeekOrigin::soCurrent ? FPosition + offset : offset;
    if (target < 0) {
        // Before the start: whatever the file answers, as it would at once.
        Sync();
        FPosition = FInnerPosition = FInner->Seek(offset, origin);
        return FPosition;
    }
    FPosition = target; // moved when the next read or write needs it
    return FPosition;
}

void TArchiveStream::SetSize(std::int64_t newSize) {
    ++FGeneration;
    Sync();
    FInner->SetSize(newSize);
    FPosition = FInnerPosition = FInner->Seek(0, TSeekOrigin::soCurrent);
}

// ---- construction -------------------------------------------------------------

TArchiverRoot::TArchiverRoot() { RecreateMessages(); }

TArchiverRoot::~TArchiverRoot() {
    CloseForDestruction();
    FFileList.clear();
}

void TArchiverRoot::CloseForDestruction() noexcept {
    FDestroying = true;
    try {
        Close();
    } catch (...) {
    }
}

TMessages& TArchiverRoot::Messages() {
    if (!FMessages) FMessages.reset(CreateMessages());
    return *FMessages;
}

void TArchiverRoot::SetMessages(const TMessages& value) {
    if (&value != &Messages()) Messages().Assign(value);
}

TMessages* TArchiverRoot::CreateMessages() { return new TMessages(); }

void TArchiverRoot::RecreateMessages() { FMessages.reset(CreateMessages()); }

void TArchiverRoot::SetBlockSize(std::int32_t value) {
    // Above the reader's bound an archive could be written but never read again.
    if (value < MinBlockSize || value > MaxAcceptedBlockSize || value == FBlockSize) return;
    FBlockSize = value;
}

void TArchiverRoot::SetFileName(const std::string& value) {
    if (value == FFileName) return;
    Close();
    FFileName = value;
    SplitFileName();
}

void TArchiverRoot::AdoptFileName(const std::string& name) {
    FFileName = name;
    SplitFileName();
}

void TArchiverRoot::AdoptSegmentName(const std::string& name, int segment) {
    // A segment after the first is always named ".mmm"; the extension of segment 1
    // is known only from the name the archive was opened by, so it is kept.
    std::string ext = FExt;
    AdoptFileName(name);
    if (segment != 1) FExt = ext;
}

void TArchiverRoot::SplitFileName() {
    FDrive = ExtractFileDrive(FFileName);
    std::string dir = ExtractFilePath(FFileName);
    if (!FDrive.empty() && dir.compare(0, FDrive.size(), FDrive) == 0) dir.erase(0, FDrive.size());
    FDir = dir;
    FExt = ExtractFileExt(FFileName);
    std::string base = ExtractFileName(FFileName);
    base.erase(base.size() - FExt.size());
    std::size_t end = base.size();
    while (end > 0 && base[end - 1] >= '0' && base[end - 1] <= '9') --end;
    if (end < base.size() && end > 0 && base[end - 1] == '-') base.erase(end - 1);
    FBaseName = base;
}

std::string TArchiverRoot::GetSegmentName(int segment) const {
    if (segment == 1) return Format("%s%s%s%s", FDrive, FDir, FBaseName, FExt);
    std::string number = std::to_string(segment);
    if (number.size() < 3) number = std::string(3 - number.size(), '0') + number;
    return Format("%s%s%s-%s%s", FDrive, FDir, FBaseName, number, std::string(".mmm"));
}

// ---- header and entries ----------------------------------------------------------

std::int32_t TArchiverRoot::GetSignature() {
    std::int32_t signature = ArchiveSignature;
    if (OnGetSignature) OnGetSignature(this, signature);
    return signature;
}

std::int32_t TArchiverRoot::GetHeaderSize() {
    return static_cast<std::int32_t>(ArchiveHeaderSize(FHeader));
}

std::int32_t TArchiverRoot::GetMaxBlockSize() { return FHeader.BlockSize; }

bool TArchiverRoot::ReadHeader(TStream& stream, TArchiveHeader& header) {
    header = TArchiveHeader();
    // One read: the header is read again at the start of every walk.
    std::uint8_t b[ArchiveHeaderFixedSize];
    const std::int32_t got = stream.Read(b, ArchiveHeaderFixedSize);
    if (got < 4) return false; // too short to be an archive
    header.Signature = static_cast<std::int32_t>(b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t(b[3]) << 24));
    if (header.Signature != GetSignature()) return false;
    if (got < ArchiveHeaderFixedSize) return false; // truncated header
    DecodeArchiveHeader(b, header);
    ReadArchiveComment(stream, b, header);
    return true;
}

void TArchiverRoot::WriteHeader() {
    TArchiveStream& s = Stream();
    s.SetPosition(0);
    // The handler gets a zero-filled area to fill; without one the bytes read stay.
    if (OnWriteUserData) {
        TUserData fresh;
        OnWriteUserData(this, fresh);
        FHeader.UserData = fresh;
    }
    TArchiveHeader h = FHeader;
    h.Signature = GetSignature();
    if (InPhase(phAddingData)) ++h.SegmentInfo.FileCount;
    WriteArchiveHeader(s, h);
    AfterHeaderUpdate();
}

void TArchiverRoot::AfterHeaderUpdate() {
    if (OnAfterHeaderUpdate) OnAfterHeaderUpdate(this);
}

void TArchiverRoot::CheckHeader() {
    TArchiveStream& s = Stream();
    s.SetPosition(0);
    if (!ReadHeader(s, FHeader)) throw EArchiver(Format(Messages().BadSignature(), FFileName));
    if (FHeader.Version > ArchiveVersion) throw Exception(Messages().UnknownVersion());
    // The header the known entries were read under passed the checks below then.
    if (FEntryIndex.Find(FHeader, s.Generation())) return;
    // Bounds every later read: the walk never leaves [header, EndOffset], and the
    // block buffers are sized from BlockSize.
    if (FHeader.EndOffset < s.Position() || FHeader.EndOffset > s.Size())
        throw EArchiver("Archive damaged: end offset outside the file");
    if (FHeader.BlockSize <= 0 || FHeader.BlockSize > MaxAcceptedBlockSize)
        throw EArchiver("Archive damaged: bad block size");
}

void TArchiverRoot::ReadFileEntry(TFileEntry& entry) {
    NextSegmentIfNeeded();
    TArchiveStream& s = Stream();
    const std::int64_t pos = s.Position();
    const std::int64_t room = static_cast<std::int64_t>(FHeader.EndOffset) - pos;
    if (room < FileEntryFixedSize) throw EArchiver("Archive damaged: entry header runs past the end offset");
    TFileEntry e;
    ReadFileEntryFields(s, e, room - FileEntryFixedSize);
    const std::int64_t end = s.Position();
    if (e.Offset != pos || e.SourceOffset < 0 || e.FileInfo.Size < 0 || e.FileInfo.CompressedSize < 0 ||
        e.PartInfo.Size < 0 || e.PartInfo.CompressedSize < 0 ||
        e.PartInfo.CompressedSize > static_cast<std::int64_t>(FHeader.EndOffset) - end ||
        static_cast<std::int64_t>(e.SourceOffset) + e.PartInfo.Size > e.FileInfo.Size)
        throw EArchiver("Archive damaged: bad entry header");
    ++FEntryHeadersRead;
    entry = e;
    NoteEntryRead(e, end);
}

void TArchiverRoot::NoteEntryRead(const TFileEntry& entry, std::int64_t headerEnd) {
    FLastReadEntry = entry;
    FLastReadEnd = headerEnd;
    FLastReadSegment = FHeader.Segment;
    FLastReadGeneration = Stream().Generation();
    FLastReadValid = true;
}

void TArchiverRoot::WriteFileEntry(TFileEntry& entry) {
    NeedNewSegment(static_cast<std::int32_t>(FileEntrySize(entry)));
    TArchiveStream& s = Stream();
    entry.Offset = static_cast<std::int32_t>(s.Position());
    WriteFileEntryFields(s, entry);
    FLastReadValid = false;
}

// ---- open and close ---------------------------------------------------------------

std::unique_ptr<TStream> TArchiverRoot::CreateFileStream(const std::string& fileName, std::uint16_t mode) {
    return std::make_unique<TFileStream>(fileName, mode);
}

bool TArchiverRoot::SegmentFileExists(const std::string& fileName) { return FileExists(fileName); }

TArchiveStream& TArchiverRoot::Stream() {
    if (!FStream) throw EArchiver("No archive file is open");
    return *FStream;
}

std::uint16_t TArchiverRoot::GetOpenMode() { return fmOpenRead | fmShareCompat; }

void TArchiverRoot::OpenArchiveFile() {
    CloseArchiveFile();
    std::unique_ptr<TStream> file;
    if (FReadOnly) {
        file = CreateFileStream(FFileName, fmOpenRead | fmShareDenyNone);
    } else {
        try {
            file = CreateFileStream(FFileName, GetOpenMode());
        } catch (const Exception&) {
            FReadOnly = true;
            file = CreateFileStream(FFileName, fmOpenRead | fmShareDenyWrite);
        }
    }
    FStream = std::make_unique<TArchiveStream>(std::move(file));
    FStreamWritable = !FReadOnly && (GetOpenMode() & 3) != fmOpenRead;
    try {
        CheckHeader();
    } catch (...) {
        FStream.reset();
        throw;
    }
    FFilesProcessed = 0;
}

void TArchiverRoot::CreateArchiveFile() {
    CloseArchiveFile();
    // A name without a directory is made in the current directory.
    const std::string dir = ExtractFileDir(FFileName);
    if (!dir.empty()) ForceDirectory(dir);
    FStream = std::make_unique<TArchiveStream>(CreateFileStream(FFileName, fmCreate));
    FStreamWritable = true;
    WriteHeader();
    FFilesProcessed = 0;
    FReadOnly = false;
}

void TArchiverRoot::CloseArchiveFile() {
    FLastReadValid = false;
    FEntryIndex.Clear();
    if (!FStream) return;
    // The stream goes whatever happens to the header rewrite. A file opened for
    // reading is never written, whatever the options say.
    try {
        if (FStreamWritable && FOptions.Contains(oCreateReadOnly) && !(FHeader.ArchiveFlag & afReadOnly)) {
            FHeader.ArchiveFlag |= afReadOnly;
            WriteHeader();
        }
    } catch (...) {
        FStream.reset();
        throw;
    }
    FStream.reset();
}

void TArchiverRoot::Open() {
    if (FStream) return;
    if (FIsOpen) {
        AdoptSegmentName(GetSegmentName(FHeader.Segment), FHeader.Segment);
        OpenArchiveFile();
        return;
    }
    EnterPhase(phOpening);
    try {
        BeforeOpen();
        if (FFileName.empty()) throw EArchiver(Messages().FileNameNeeded());
        if (SegmentFileExists(FFileName))
            OpenArchiveFile();
        else
            CreateArchive();
        bool accept = true;
        if (OnAcceptArchive) OnAcceptArchive(this, FHeader, accept);
        if (!accept) throw EArchiver(Messages().AcceptArchiveFailed());
        LoadArchiveTotals();
        FIsOpen = true;
        AllocateBuffers();
        AfterOpen();
    } catch (...) {
        LeavePhase(phOpening);
        try {
            Close();
        } catch (...) {
        }
        throw;
    }
    LeavePhase(phOpening);
}

void TArchiverRoot::Close() {
    EnterPhase(phClosing);
    try {
        if (FIsOpen) {
            BeforeClose();
            CloseArchiveFile();
            FIsOpen = false;
            AfterClose();
        } else {
            CloseArchiveFile();
        }
    } catch (...) {
        FIsOpen = false;
        LeavePhase(phClosing);
        throw;
    }
    LeavePhase(phClosing);
}

void TArchiverRoot::CheckOpen() { Open(); }

void TArchiverRoot::CheckReadOnly() {
    if (FReadOnly || (FHeader.ArchiveFlag & afReadOnly)) throw EArchiver(Messages().ArchiveIsReadOnly());
}

void TArchiverRoot::BeforeOpen() {
    ClearFileList();
    FSavedFileName = FFileName;
    FSavedOptions = FOptions;
    FSavedMaxSegmentSize = FMaxSegmentSize;
    if (OnBeforeOpen) OnBeforeOpen(this);
}

void TArchiverRoot::AfterOpen() {
    if (OnAfterOpen) OnAfterOpen(this);
}

void TArchiverRoot::BeforeClose() {
    if (OnBeforeClose) OnBeforeClose(this);
}

void TArchiverRoot::AfterClose() {
    if (FSavedOptions.Contains(oCreateSolidArchives)) {
        FOptions = FSavedOptions;
        AdoptFileName(FSavedFileName);
        FMaxSegmentSize = FSavedMaxSegmentSize;
    }
    ClearFileList();
    if (OnAfterClose && !FDestroying) OnAfterClose(this);
}

void TArchiverRoot::LoadArchiveTotals() {}

void TArchiverRoot::CreateArchive() { throw EArchiver(Messages().CanNotCreateArchive()); }

bool TArchiverRoot::NeedNewSegment(std::int32_t) { return true; }

bool TArchiverRoot::NextSegmentIfNeeded() { return false; }

void TArchiverRoot::UncompressSolid() {}

void TArchiverRoot::ReleaseSolid() {}

// ---- operations and progress ---------------------------------------------------

void TArchiverRoot::AllocateBuffers() {
    FreeBuffers();
    std::int32_t size = GetMaxBlockSize();
    if (size < 0) size = 0;
    // Not value-initialised: the buffers are always written before they are read.
    FInBuffer.reset(new std::uint8_t[static_cast<std::size_t>(size) + 1]);
    FOutBuffer.reset(new std::uint8_t[static_cast<std::size_t>(size) + 1]);
    FBufferSize = size;
}

void TArchiverRoot::FreeBuffers() {
    FInBuffer.reset();
    FOutBuffer.reset();
    FBufferSize = 0;
}

void TArchiverRoot::StartOperation() {
    ++FOperationLevel;
    if (FOperationLevel != 1) return;
    try {
        FBytesToProcess = 0;
        FBytesProcessed = 0;
        FFilesProcessed = 0;
        AllocateBuffers();
        if (OnStartOperation) OnStartOperation(this);
        DoFileProgress();
    } catch (...) {
        FinishOperation();
        throw;
    }
}

void TArchiverRoot::FinishOperation() {
    if (FOperationLevel == 0) return;
    if (--FOperationLevel != 0) return;
    FreeBuffers();
    if (OnFinishOperation) OnFinishOperation(this);
    FBytesToProcess = 0;
    FOperation = TOperation::opNone;
}

int TArchiverRoot::PercentFor(double bytesProcessed, std::int32_t filesProcessed) const {
    double ratio = 0;
    if (FOptions.Contains(oOpenSingleSegment)) {
        if (FHeader.SegmentInfo.FileCount > 0) ratio = double(filesProcessed) / FHeader.SegmentInfo.FileCount;
    } else if (FBytesToProcess > 0) {
        ratio = bytesProcessed / FBytesToProcess;
    }
    double scaled = std::nearbyint(ratio * 100.0);
    if (!std::isfinite(scaled) || scaled > 1e9) scaled = 1e9;
    if (scaled < -1e9) scaled = -1e9;
    int percent = static_cast<int>(scaled);
    if (InPhase(phUncompressingSolid))
        percent = percent / 2;
    else if (InPhase(phEnumeratingAfterOpen))
        percent = percent / 2 + 50;
    return percent;
}

void TArchiverRoot::DoFileProgress() {
    FLastPercent = PercentFor(FBytesProcessed, FFilesProcessed);
    if (OnFileProgress) OnFileProgress(this, FLastPercent);
}

void TArchiverRoot::UpdateArchiveTotal() {
    if (FOperation != TOperation::opExtract && FOperation != TOperation::opEnumerate) return;
    if (FHeader.ArchiveInfo.CompressedSize <= FArchiveTotal) return;
    if (FBytesToProcess == FArchiveTotal) FBytesToProcess = FHeader.ArchiveInfo.CompressedSize;
    FArchiveTotal = FHeader.ArchiveInfo.CompressedSize;
    DoFileProgress();
}

// ---- helpers ---------------------------------------------------------------------

void TArchiverRoot::ForceDirectory(const std::string& path) {
    if (path.empty()) throw Exception(Messages().CannotCreateDir());
    std::string dir = RemoveTrailingBackslash(path);
    if (dir.size() > 2 && !DirectoryExists(dir)) {
        std::string parent = ExtractFileDir(dir);
        if (parent != dir && !parent.empty()) ForceDirectory(parent);
        CreateDir(dir);
    }
}

std::string TArchiverRoot::GetTempFileName() {
    std::string dir = GetProgramPath() + "temp";
    if (!DirectoryExists(dir)) ForceDirectory(dir);
    dir = AddTrailingBackslash(dir);
    std::string name;
    do {
        name = Format("%s~Archiv-%x.tmp", dir, static_cast<std::int64_t>(Random(1000000)));
    } while (FileExists(name));
    return name;
}

void TArchiverRoot::DisplayMessage(const std::string& text) {
    if (OnDisplayMessage) OnDisplayMessage(this, text);
}

void TArchiverRoot::AddToLog(const std::string& text) {
    if (OnAddToLog) OnAddToLog(this, text);
}

void TArchiverRoot::ClearFileList() {
    FFileList.clear();
    if (OnClearFileList && !FDestroying) OnClearFileList(this);
}

void TArchiverRoot::AddToFileList(const TFileEntry& entry) {
    if (FOptions.Contains(oMaintainFileDirectory)) FFileList.push_back(std::make_unique<TFileObject>(entry));
}

bool TArchiverRoot::IsEmpty() const {
    return FHeader.ArchiveInfo.FileCount == 0 && FHeader.SegmentInfo.FileCount == 0;
}

bool TArchiverRoot::SpansSegments() const {
    return !((FHeader.ArchiveFlag & afFinalSegment) && FHeader.Segment <= 1);
}

} // namespace kx
