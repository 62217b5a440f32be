// TCustomArchiver: the writing side of the archive. Creates archives, adds files
// and folder entries block by block through a compression hook, keeps the header
// totals current and rebuilds a solid archive at close when its inner archive changed.
//
// The setup's component derives from this class but only reads. What its virtual
// operations would otherwise drag into every program (the solid rebuild, which
// adds a file, and zlib's deflate) sits behind TWritingSide, which the unit of
// AddFile (JodCustArchiver.cpp) installs when a program links it: the programs
// that write call AddFile, the setup never does.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "archive/JodCustExtractor.h"

namespace kx {

class TBlockCompressor;

using TOnCompressBlockEvent =
    std::function<bool(TArchiverRoot* sender, std::uint8_t* destBlock, std::int32_t& destSize,
                       const std::uint8_t* srcBlock, std::int32_t srcSize, TCompressionLevel level)>;
using TAddFileEvent = std::function<void(TArchiverRoot* sender, TFileEntry& fileEntry, bool& accept)>;
using TFileAddedEvent = std::function<void(TArchiverRoot* sender, const TFileEntry& fileEntry)>;

class TCustomArchiver : public TCustomExtractor {
public:
    TCustomArchiver();
    ~TCustomArchiver() override;

    // Published properties.
    TCompressionLevel CompressionLevel() const { return FCompressionLevel; }
    void SetCompressionLevel(TCompressionLevel value) { FCompressionLevel = value; }
    std::int32_t MaxSegmentSize() const { return static_cast<std::int32_t>(FMaxSegmentSize); }
    // A positive value below three blocks raises EArchiver (MaxSegmentSizeTooSmall).
    void SetMaxSegmentSize(std::int32_t value);
    TArchMessages& Messages() { return MessagesAs<TArchMessages>(); }
    void SetMessages(const TMessages& value) { TArchiverRoot::SetMessages(value); }
    std::int32_t MinFreeSpace() const { return FMinFreeSpace; }
    void SetMinFreeSpace(std::int32_t value) { FMinFreeSpace = value; }
    TPathStorage PathStorage() const { return FPathStorage; }
    void SetPathStorage(TPathStorage value) { FPathStorage = value; }

    // The directory a tree of files is added from; psRelative stores names below it.
    // Empty (the default): bare file names.
    const std::string& StartingDirectory() const { return FStartingDirectory; }
    void SetStartingDirectory(const std::string& value) { FStartingDirectory = value; }

    TAddFileEvent OnAddFile;
    TOnCompressBlockEvent OnCompressBlock;
    TFileAddedEvent OnFileAdded;

    // Adds one file, or a folder entry when the last component of path is ".".
    // False only when path names neither an existing file nor a folder entry. A file
    // that fails while it is written is left out (OnError tells which and why) and
    // the answer is still true.
    bool AddFile(const std::string& path);
    // Sets the comment while the archive holds no entry; otherwise does nothing.
    void SetComment(const std::string& text);
    // The entry name that path gets under PathStorage and StartingDirectory.
    std::string StoredName(const std::string& path) const;

    bool Modified() const { return FModified; }
    // Whether the last AddFile left its file out after a failure.
    bool LastAddFailed() const { return FLastAddFailed; }

    // What only a program that writes needs, reached from virtual operations.
    struct TWritingSide {
        // Releases an open solid archive at close, rebuilding it when its inner
        // archive changed.
        void (TCustomArchiver::*FinishSolidArchive)();
        // A block compressor for TJodArchiver: zlib's deflate.
        std::unique_ptr<TBlockCompressor> (*NewBlockCompressor)();
    };
    // The writing side, or null in a program that never adds a file.
    static const TWritingSide* WritingSide() { return FWritingSide; }
    // Installs another writing side (null: none) and answers the one before; the
    // unit of AddFile installs its own at start-up.
    static const TWritingSide* InstallWritingSide(const TWritingSide* side);

protected:
    TMessages* CreateMessages() override;
    void AfterOpen() override;
    void BeforeClose() override;
    void CreateArchive() override;
    std::uint16_t GetOpenMode() override;
    bool NeedNewSegment(std::int32_t size) override;
    void ReleaseSolid() override;

    // The compression hook: OnCompressBlock when assigned, else a plain copy.
    virtual bool CompressBlock(std::uint8_t* destBlock, std::int32_t& destSize, const std::uint8_t* srcBlock,
                               std::int32_t srcSize);
    virtual int GetCodecLevel();
    // Free bytes on the archive's drive; -1 when unknown (always, here).
    virtual std::int64_t GetFreeSpace();

    void WriteEntry(TStream& source);
    void WriteBlocks(TStream& source);
    void UpdateFirstSegmentHeader();
    void FinishSolidArchive();

    bool FModified = false;
    bool FMakingSolid = false;
    // Set by any entry written while a solid archive's inner archive is in use: a
    // change within the resolution of the file's time stamp still gets rebuilt.
    bool FInnerChanged = false;
    bool FLastAddFailed = false;
    // The archive header on disk already counts the entry being added.
    bool FEntryCommitted = false;

private:
    void RaiseAddError(const Exception& e);
    std::string StoredNameOf(const std::string& path) const;

    static const TWritingSide* FWritingSide;
    // Both defined beside AddFile: the writing side and its installation.
    static const TWritingSide FWriting;
    static const bool FWritingInstalled;

    TCompressionLevel FCompressionLevel = clNormal;
    std::int32_t FMinFreeSpace = 1048576;
    TPathStorage FPathStorage = psRelative;
    std::string FStartingDirectory;
};

} // namespace kx
