// The archive components' message sets: every text that goes into an archive
// exception, status display or log line, looked up by key through TextLookupHook.
#pragma once
#include <cstddef>
#include <string>

namespace kx {

// Turns a message key ("FBadSignature") into its text; unassigned by default, in
// which case every message is empty.
using TTextLookupProc = void (*)(const std::string& key, std::string& text);
extern TTextLookupProc TextLookupHook;

// One message of a set's own level: its field and its key (null: never loaded).
template <class M>
struct TMessageField {
    std::string M::*Field;
    const char* Key;
};

#define KX_ARCHIVE_MESSAGE(Name)                                     \
public:                                                              \
    const std::string& Name() const { return F##Name; }              \
    void Set##Name(const std::string& value) { F##Name = value; }    \
                                                                     \
private:                                                             \
    std::string F##Name;

// Messages of TArchiverRoot.
class TMessages {
public:
    TMessages() { TMessages::SetDefaults(); }
    virtual ~TMessages() = default;
    TMessages(const TMessages&) = default;
    TMessages& operator=(const TMessages&) = default;
    // Reloads every text of this class's levels through TextLookupHook.
    virtual void SetDefaults();
    // Copies the texts of every level that both this set's and source's classes have.
    virtual void Assign(const TMessages& source);

    KX_ARCHIVE_MESSAGE(BadSignature)
    KX_ARCHIVE_MESSAGE(FileNameNeeded)
    KX_ARCHIVE_MESSAGE(SystemMessage)
    KX_ARCHIVE_MESSAGE(AcceptArchiveFailed)
    KX_ARCHIVE_MESSAGE(KeyTooShort)
    KX_ARCHIVE_MESSAGE(KeyNotConfirmed)
    KX_ARCHIVE_MESSAGE(ArchiveIsReadOnly)
    KX_ARCHIVE_MESSAGE(CanNotCreateArchive)
    KX_ARCHIVE_MESSAGE(CannotCreateDir)
    KX_ARCHIVE_MESSAGE(SelectADirectory)
    KX_ARCHIVE_MESSAGE(CanNotBuildTempFileName)
    KX_ARCHIVE_MESSAGE(AFile)
    KX_ARCHIVE_MESSAGE(CanContinue)
    KX_ARCHIVE_MESSAGE(UnknownVersion)

private:
    static const TMessageField<TMessages>* OwnFields(std::size_t& count);
};

// Messages added by TCustomExtractor.
class TExtrMessages : public TMessages {
public:
    TExtrMessages() { TExtrMessages::LoadOwn(); }
    void SetDefaults() override;
    void Assign(const TMessages& source) override;

    KX_ARCHIVE_MESSAGE(CouldNotUncompressBlock)
    KX_ARCHIVE_MESSAGE(AskOverwrite)
    KX_ARCHIVE_MESSAGE(NeedExtractPath)
    KX_ARCHIVE_MESSAGE(InsertDisk)
    KX_ARCHIVE_MESSAGE(LocateSegment)
    KX_ARCHIVE_MESSAGE(WrongSegment)
    KX_ARCHIVE_MESSAGE(InsertLastSegment)
    KX_ARCHIVE_MESSAGE(LocateLastSegment)
    KX_ARCHIVE_MESSAGE(WrongLastSegment)
    KX_ARCHIVE_MESSAGE(WrongNextSegment)
    KX_ARCHIVE_MESSAGE(BadCRC)
    KX_ARCHIVE_MESSAGE(BadKey)
    KX_ARCHIVE_MESSAGE(ReplaceFile)
    KX_ARCHIVE_MESSAGE(WithFile)
    KX_ARCHIVE_MESSAGE(ConfirmFileOverwrite)
    KX_ARCHIVE_MESSAGE(ExtractingFile)
    KX_ARCHIVE_MESSAGE(LoadingArchiveContnent)
    KX_ARCHIVE_MESSAGE(UncompressingSolidArchive)
    KX_ARCHIVE_MESSAGE(CheckingFile)

private:
    void LoadOwn();
    static const TMessageField<TExtrMessages>* OwnFields(std::size_t& count);
};

// Messages added by TCustomArchiver.
class TArchMessages : public TExtrMessages {
public:
    TArchMessages() { TArchMessages::LoadOwn(); }
    void SetDefaults() override;
    void Assign(const TMessages& source) override;

    KX_ARCHIVE_MESSAGE(CouldNotCompressBlock)
    KX_ARCHIVE_MESSAGE(DeleteFileEventNeeded)
    KX_ARCHIVE_MESSAGE(CouldNotRenameArchive)
    KX_ARCHIVE_MESSAGE(InsertNewDisk)
    KX_ARCHIVE_MESSAGE(SelectNewPlace)
    KX_ARCHIVE_MESSAGE(NotEnoughFreeSpaceOn)
    KX_ARCHIVE_MESSAGE(UnableToDeleteFiles)
    KX_ARCHIVE_MESSAGE(ConfirmFileDeletion)
    KX_ARCHIVE_MESSAGE(MaxSegmentSizeTooSmall)
    KX_ARCHIVE_MESSAGE(CantPerformThisOp)
    KX_ARCHIVE_MESSAGE(AddingFile)
    KX_ARCHIVE_MESSAGE(DeletingFiles)
    KX_ARCHIVE_MESSAGE(DeleteFile)
    KX_ARCHIVE_MESSAGE(MakingSFXArchive)
    KX_ARCHIVE_MESSAGE(CompressingSolidArchive)
    KX_ARCHIVE_MESSAGE(CopyingArchive)
    KX_ARCHIVE_MESSAGE(CouldNotCopyArchive)
    KX_ARCHIVE_MESSAGE(UpdatingFile)
    KX_ARCHIVE_MESSAGE(ReplacingFile)

private:
    void LoadOwn();
    static const TMessageField<TArchMessages>* OwnFields(std::size_t& count);
};

#undef KX_ARCHIVE_MESSAGE

} // namespace kx
