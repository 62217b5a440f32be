// Message sets: keys, default loading through the lookup hook, and assignment.
#include "archive/ArchiveMessages.h"

namespace kx {

TTextLookupProc TextLookupHook = nullptr;

namespace {

std::string Lookup(const char* key) {
    std::string text;
    if (TextLookupHook) TextLookupHook(key, text);
    return text;
}

} // namespace

#define LOAD(Name, Key) Set##Name(Lookup(Key))
#define COPY(Name) Set##Name(src->Name())

void TMessages::SetDefaults() {
    LOAD(BadSignature, "FBadSignature");
    LOAD(FileNameNeeded, "FFileNameNeeded");
    LOAD(SystemMessage, "FSystemMessage");
    LOAD(AcceptArchiveFailed, "FAcceptArchiveFailed");
    LOAD(KeyTooShort, "FKeyTooShort");
    LOAD(KeyNotConfirmed, "FKeyNotConfirmed");
    LOAD(ArchiveIsReadOnly, "FArchiveIsReadOnly");
    LOAD(CanNotCreateArchive, "FCanNotCreateArchive");
    LOAD(CannotCreateDir, "FCannotCreateDir");
    LOAD(SelectADirectory, "FSelectADirectory");
    LOAD(CanNotBuildTempFileName, "FCanNotBuildTempFileName");
    LOAD(AFile, "FFile");
    LOAD(CanContinue, "FCanContinue");
    LOAD(UnknownVersion, "FUnknownVersion");
}

void TMessages::Assign(const TMessages& source) {
    const TMessages* src = &source;
    COPY(BadSignature);
    COPY(FileNameNeeded);
    COPY(SystemMessage);
    COPY(AcceptArchiveFailed);
    COPY(KeyTooShort);
    COPY(KeyNotConfirmed);
    COPY(ArchiveIsReadOnly);
    COPY(CanNotCreateArchive);
    COPY(CannotCreateDir);
    COPY(SelectADirectory);
    COPY(CanNotBuildTempFileName);
    COPY(AFile);
    COPY(CanContinue);
    COPY(UnknownVersion);
}

void TExtrMessages::SetDefaults() {
    TMessages::SetDefaults();
    LoadOwn();
}

void TExtrMessages::LoadOwn() {
    LOAD(CouldNotUncompressBlock, "FCouldNotUncompressBlock");
    SetAskOverwrite(std::string()); // has no key: never loaded
    LOAD(NeedExtractPath, "FNeedExtractPath");
    LOAD(InsertDisk, "FInsertDisk");
    LOAD(LocateSegment, "FLocateSegment");
    LOAD(WrongSegment, "FWrongSegment");
    LOAD(InsertLastSegment, "FInsertLastSegment");
    LOAD(LocateLastSegment, "FLocateLastSegment");
    LOAD(WrongLastSegment, "FWrongLastSegment");
    LOAD(WrongNextSegment, "FWrongNextSegment");
    LOAD(BadCRC, "FBadCRC");
    LOAD(BadKey, "FBadKey");
    LOAD(ReplaceFile, "FReplaceFile");
    LOAD(WithFile, "FWithFile");
    LOAD(ConfirmFileOverwrite, "FConfirmFileOverwrite");
    LOAD(ExtractingFile, "FExtractingFile");
    LOAD(LoadingArchiveContnent, "FLoadingArchiveContnent");
    LOAD(UncompressingSolidArchive, "FUncompressingSolidArchive");
    LOAD(CheckingFile, "FCheckingFile");
}

void TExtrMessages::Assign(const TMessages& source) {
    TMessages::Assign(source);
    const auto* src = dynamic_cast<const TExtrMessages*>(&source);
    if (!src) return;
    COPY(CouldNotUncompressBlock);
    COPY(AskOverwrite);
    COPY(NeedExtractPath);
    COPY(InsertDisk);
    COPY(LocateSegment);
    COPY(WrongSegment);
    COPY(InsertLastSegment);
    COPY(LocateLastSegment);
    COPY(WrongLastSegment);
    COPY(WrongNextSegment);
    COPY(BadCRC);
    COPY(BadKey);
    COPY(ReplaceFile);
    COPY(WithFile);
    COPY(ConfirmFileOverwrite);
    COPY(ExtractingFile);
    COPY(LoadingArchiveContnent);
    COPY(UncompressingSolidArchive);
    COPY(CheckingFile);
}

void TArchMessages::SetDefaults() {
    TExtrMessages::SetDefaults();
    LoadOwn();
}

void TArchMessages::LoadOwn() {
    LOAD(CouldNotCompressBlock, "FCouldNotCompressBlock");
    LOAD(DeleteFileEventNeeded, "FDeleteFileEventNeeded");
    LOAD(CouldNotRenameArchive, "FCouldNotRenameArchive");
    LOAD(InsertNewDisk, "FInsertNewDisk");
    LOAD(SelectNewPlace, "FSelectNewPlace");
    LOAD(NotEnoughFreeSpaceOn, "FNotEnoughFreeSpaceOn");
    LOAD(UnableToDeleteFiles, "FUnableToDeleteFiles");
    LOAD(ConfirmFileDeletion, "FConfirmFileDeletion");
    LOAD(MaxSegmentSizeTooSmall, "FMaxSegmentSizeTooSmall");
    LOAD(CantPerformThisOp, "FCantPerformThisOp");
    LOAD(AddingFile, "FAddingFile");
    LOAD(DeletingFiles, "FDeletingFiles");
    LOAD(DeleteFile, "FDeleteFile");
    LOAD(MakingSFXArchive, "FMakingSFXArchive");
    LOAD(CompressingSolidArchive, "FCompressingSolidArchive");
    LOAD(CopyingArchive, "FCopyingArchive");
    LOAD(CouldNotCopyArchive, "FCouldNotCopyArchive");
    LOAD(UpdatingFile, "FUpdatingFile");
    LOAD(ReplacingFile, "FReplacingFile");
}

void TArchMessages::Assign(const TMessages& source) {
    TExtrMessages::Assign(source);
    const auto* src = dynamic_cast<const TArchMessages*>(&source);
    if (!src) return;
    COPY(CouldNotCompressBlock);
    COPY(DeleteFileEventNeeded);
    COPY(CouldNotRenameArchive);
    COPY(InsertNewDisk);
    COPY(SelectNewPlace);
    COPY(NotEnoughFreeSpaceOn);
    COPY(UnableToDeleteFiles);
    COPY(ConfirmFileDeletion);
    COPY(MaxSegmentSizeTooSmall);
    COPY(CantPerformThisOp);
    COPY(AddingFile);
    COPY(DeletingFiles);
    COPY(DeleteFile);
    COPY(MakingSFXArchive);
    COPY(CompressingSolidArchive);
    COPY(CopyingArchive);
    COPY(CouldNotCopyArchive);
    COPY(UpdatingFile);
    COPY(ReplacingFile);
}

} // namespace kx
