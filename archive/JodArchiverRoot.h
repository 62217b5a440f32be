// TArchiverRoot: the common base of the archive components. It owns the archive's
// file name, options, the open segment stream, the header and current entry, the
// block buffers and the operation nesting with its progress; it reads and writes
// headers and entry headers, never data blocks.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/ArchiveFormat.h"
#include "archive/ArchiveMessages.h"
#include "archive/EntryIndex.h"
#include "base/Stream.h"

namespace kx {

class TArchiverRoot;

using TNotifyEvent = std::function<void(TArchiverRoot* sender)>;
using TAcceptArchiveEvent = std::function<void(TArchiverRoot* sender, const TArchiveHeader& header, bool& accept)>;
using TWriteUserDataEvent = std::function<void(TArchiverRoot* sender, TUserData& userData)>;
using TErrorEvent = std::function<void(TArchiverRoot* sender, const Exception& e, const TFileEntry& fileEntry,
                                       TErrorAction& errorAction)>;
using TProgressEvent = std::function<void(TArchiverRoot* sender, int percent)>;
using TGetSignatureEvent = std::function<void(TArchiverRoot* sender, std::int32_t& signature)>;
using TMessageEvent = std::function<void(TArchiverRoot* sender, const std::string& msg)>;

// One entry of FileList.
class TFileObject {
public:
    explicit TFileObject(const TFileEntry& entry) : FileEntry(entry) {}
    TFileEntry FileEntry;
};

enum class TOperation { opNone, opAdd, opExtract, opEnumerate };

// What the component is in the middle of; several can hold at once.
enum TArchiverPhase : unsigned {
    phOpening = 1u << 0,
    phClosing = 1u << 1,
    phAddingData = 1u << 2,
    phExtractingData = 1u << 3,
    phSkippingData = 1u << 4,
    phChangingSegment = 1u << 5,
    phUncompressingSolid = 1u << 6,
    phEnumeratingAfterOpen = 1u << 7,
};

// The segment stream as the component sees it: forwards to the file stream,
// answers position queries itself and moves the file position only when a read or
// write needs it, so that walking entries costs only the calls that move data.
class TArchiveStream : public TStream {
public:
    explicit TArchiveStream(std::unique_ptr<TStream> inner);
    std::int32_t Read(void* buffer, std::int32_t count) override;
    std::int32_t Write(const void* buffer, std::int32_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    void SetSize(std::int64_t newSize) override;
    // Grows on every write or resize; lets cached reads notice a changed file.
    std::uint64_t Generation() const { return FGeneration; }

private:
    void Sync(); // the file's position to FPosition

    std::unique_ptr<TStream> FInner;
    std::int64_t FPosition = 0;      // where the component is
    std::int64_t FInnerPosition = 0; // where the file is
    std::uint64_t FGeneration = 0;
};

class TArchiverRoot {
public:
    TArchiverRoot();
    // Derived classes whose close path does more (ReleaseSolid, ...) call Close()
    // in their own destructor, where their overrides still dispatch.
    virtual ~TArchiverRoot();
    TArchiverRoot(const TArchiverRoot&) = delete;
    TArchiverRoot& operator=(const TArchiverRoot&) = delete;

    // Published properties.
    std::int32_t BlockSize() const { return FBlockSize; }
    // Ignores values below 1024 and above the largest block size a reader accepts.
    void SetBlockSize(std::int32_t value);
    TErrorAction ErrorAction() const { return FErrorAction; }
    void SetErrorAction(TErrorAction value) { FErrorAction = value; }
    const std::string& FileName() const { return FFileName; }
    void SetFileName(const std::string& value); // a different name closes first
    const std::string& Filter() const { return FFilter; }
    void SetFilter(const std::string& value) { FFilter = value; }
    // Made by CreateMessages (see RecreateMessages); the component owns it.
    TMessages& Messages();
    void SetMessages(const TMessages& value); // copies the texts
    TOptions Options() const { return FOptions; }
    void SetOptions(TOptions value) { FOptions = value; }

    TAcceptArchiveEvent OnAcceptArchive;
    TWriteUserDataEvent OnWriteUserData;
    // Raised when an entry cannot be extracted and the failure is passed over; a
    // handler that sets errorAction to eaAbort lets the exception propagate.
    TErrorEvent OnError;
    TProgressEvent OnFileProgress;
    TNotifyEvent OnFinishOperation;
    TNotifyEvent OnStartOperation;
    TNotifyEvent OnBeforeOpen;
    TNotifyEvent OnAfterOpen;
    TNotifyEvent OnBeforeClose;
    TNotifyEvent OnAfterClose;
    TGetSignatureEvent OnGetSignature;
    TNotifyEvent OnAfterHeaderUpdate;
    TMessageEvent OnShowComment;
    TMessageEvent OnDisplayMessage;
    TNotifyEvent OnClearFileList;
    TMessageEvent OnAddToLog;

    // Public state.
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool value) { FReadOnly = value; }
    bool IsOpen() const { return FIsOpen; }
    const TArchiveHeader& Header() const { return FHeader; }
    const TFileEntry& CurrentEntry() const { return FCurrentEntry; }
    const std::vector<std::unique_ptr<TFileObject>>& FileList() const { return FFileList; }
    TOperation Operation() const { return FOperation; }
    // Entry headers read from the archive files since construction.
    std::int64_t EntryHeadersRead() const { return FEntryHeadersRead; }

    // Public operations.
    void Open();
    void Close();
    void CheckOpen();
    void CheckReadOnly();
    virtual void StartOperation();
    virtual void FinishOperation();
    std::string GetSegmentName(int segment) const;
    void ReadFileEntry(TFileEntry& entry);
    void WriteFileEntry(TFileEntry& entry); // sets entry.Offset to the stream position
    void ForceDirectory(const std::string& path);
    std::string GetTempFileName();
    void DisplayMessage(const std::string& text);
    void AddToLog(const std::string& text);
    void ClearFileList();
    void AddToFileList(const TFileEntry& entry);
    bool IsEmpty() const;
    bool SpansSegments() const;

    // Parts of FileName.
    const std::string& FileDrive() const { return FDrive; }
    const std::string& FileDir() const { return FDir; }
    const std::string& FileBaseName() const { return FBaseName; }
    const std::string& FileExtension() const { return FExt; }

protected:
    // Virtual operations.
    virtual TMessages* CreateMessages();
    virtual std::int32_t GetSignature();
    virtual std::int32_t GetHeaderSize();
    virtual void WriteHeader();
    virtual bool ReadHeader(TStream& stream, TArchiveHeader& header);
    virtual std::int32_t GetMaxBlockSize();
    virtual void BeforeOpen();
    virtual void AfterOpen();
    virtual void BeforeClose();
    virtual void AfterClose();
    virtual void AfterHeaderUpdate();
    virtual void LoadArchiveTotals();
    virtual void CreateArchive();
    virtual std::uint16_t GetOpenMode();
    virtual bool NeedNewSegment(std::int32_t size);
    virtual bool NextSegmentIfNeeded();
    virtual void UncompressSolid();
    virtual void ReleaseSolid();
    // Opens a segment file; the one place a file stream is made (tests and the
    // benchmark wrap it to observe the calls).
    virtual std::unique_ptr<TStream> CreateFileStream(const std::string& fileName, std::uint16_t mode);
    // Whether a segment file of that name is there to open (a component that
    // reads from memory answers for its own streams).
    virtual bool SegmentFileExists(const std::string& fileName);

    // Helpers for the subclasses.
    void OpenArchiveFile();
    void CreateArchiveFile();
    void CloseArchiveFile();
    // Close for a destructor: no exception leaves, OnClearFileList and OnAfterClose stay quiet.
    void CloseForDestruction() noexcept;
    // Reads the header at offset 0 and checks signature, version and bounds; the
    // stream is left just after the header.
    void CheckHeader();
    void DoFileProgress();
    // The percent that DoFileProgress reports for these counters in the current phase.
    int PercentFor(double bytesProcessed, std::int32_t filesProcessed) const;
    // Known-total update when another segment was opened during extraction or enumeration.
    void UpdateArchiveTotal();
    void SplitFileName();
    // FileName without closing or splitting checks (segment and solid switches).
    void AdoptFileName(const std::string& name);
    // The same for the file of segment N: the name's drive, directory and base name
    // are taken, the extension of segment 1 is kept for N >= 2.
    void AdoptSegmentName(const std::string& name, int segment);
    void AllocateBuffers();
    void FreeBuffers();
    bool HasStream() const { return FStream != nullptr; }
    TArchiveStream& Stream(); // EArchiver when no segment file is open
    bool InPhase(unsigned phase) const { return (FPhases & phase) != 0; }
    void EnterPhase(unsigned phase) { FPhases |= phase; }
    void LeavePhase(unsigned phase) { FPhases &= ~phase; }
    // Makes the message set through CreateMessages now, so that it is loaded at
    // construction. Every class that overrides CreateMessages calls this in its own
    // constructor (where its override dispatches).
    void RecreateMessages();
    // The message set as the class's own type; a set of another class is replaced by
    // one of CreateMessages, keeping the texts of the levels both have.
    template <class M>
    M& MessagesAs() {
        if (auto* m = dynamic_cast<M*>(&Messages())) return *m;
        std::unique_ptr<TMessages> fresh(CreateMessages());
        fresh->Assign(*FMessages);
        FMessages = std::move(fresh);
        if (auto* m = dynamic_cast<M*>(FMessages.get())) return *m;
        throw EArchiver("Message set of the wrong class");
    }

    std::int32_t FBlockSize = DefaultBlockSize;
    TErrorAction FErrorAction = eaAbort;
    std::string FFileName;
    std::string FFilter = "*.*";
    std::unique_ptr<TMessages> FMessages;
    TOptions FOptions = DefaultOptions;
    bool FReadOnly = false;
    bool FIsOpen = false;
    bool FDestroying = false;
    // The open stream may be written (opened or created for writing).
    bool FStreamWritable = false;
    TArchiveHeader FHeader;
    TFileEntry FCurrentEntry;
    std::unique_ptr<TArchiveStream> FStream;
    std::vector<std::unique_ptr<TFileObject>> FFileList;
    TOperation FOperation = TOperation::opNone;
    unsigned FPhases = 0;

    // Progress.
    double FBytesToProcess = 0;
    double FBytesProcessed = 0;
    std::int32_t FFilesProcessed = 0;
    int FLastPercent = 0;
    double FArchiveTotal = 0;
    int FOperationLevel = 0;

    // Block buffers, GetMaxBlockSize bytes each.
    std::unique_ptr<std::uint8_t[]> FInBuffer;
    std::unique_ptr<std::uint8_t[]> FOutBuffer;
    std::int32_t FBufferSize = 0;

    // Parts of FFileName.
    std::string FDrive, FDir, FBaseName, FExt;

    // Saved at Open, restored after Close of a solid archive.
    std::string FSavedFileName;
    TOptions FSavedOptions;
    std::int64_t FSavedMaxSegmentSize = 0;
    // The writer's maximum segment size (the property lives with the writer).
    std::int64_t FMaxSegmentSize = 0;

    // The entry header last read, where it ended and the stream generation then;
    // lets SkipEntry pass over an entry the walk has just read without reading it twice.
    TFileEntry FLastReadEntry;
    std::int64_t FLastReadEnd = -1;
    std::uint16_t FLastReadSegment = 0;
    std::uint64_t FLastReadGeneration = 0;
    bool FLastReadValid = false;
    // Takes an entry header as just read (stream at headerEnd), as ReadFileEntry does.
    void NoteEntryRead(const TFileEntry& entry, std::int64_t headerEnd);

    // Entry headers of the open segment file seen by the walks; cleared with the file.
    TEntryIndex FEntryIndex;
    std::int64_t FEntryHeadersRead = 0;
};

} // namespace kx
