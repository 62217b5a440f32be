// Message sets: keys, default loading through the lookup hook, and assignment.
// Each level is a table of its fields and keys, walked by the same two loops.
#include "archive/ArchiveMessages.h"

#include <iterator>

namespace kx {

TTextLookupProc TextLookupHook = nullptr;

namespace {

template <class M>
void LoadFields(M& set, const TMessageField<M>* fields, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        std::string text;
        if (fields[i].Key && TextLookupHook) TextLookupHook(fields[i].Key, text);
        set.*fields[i].Field = std::move(text);
    }
}

template <class M>
void CopyFields(M& set, const M& source, const TMessageField<M>* fields, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) set.*fields[i].Field = source.*fields[i].Field;
}

} // namespace

const TMessageField<TMessages>* TMessages::OwnFields(std::size_t& count) {
    static constexpr TMessageField<TMessages> fields[] = {
        {&TMessages::FBadSignature, "FBadSignature"},
        {&TMessages::FFileNameNeeded, "FFileNameNeeded"},
        {&TMessages::FSystemMessage, "FSystemMessage"},
        {&TMessages::FAcceptArchiveFailed, "FAcceptArchiveFailed"},
        {&TMessages::FKeyTooShort, "FKeyTooShort"},
        {&TMessages::FKeyNotConfirmed, "FKeyNotConfirmed"},
        {&TMessages::FArchiveIsReadOnly, "FArchiveIsReadOnly"},
        {&TMessages::FCanNotCreateArchive, "FCanNotCreateArchive"},
        {&TMessages::FCannotCreateDir, "FCannotCreateDir"},
        {&TMessages::FSelectADirectory, "FSelectADirectory"},
        {&TMessages::FCanNotBuildTempFileName, "FCanNotBuildTempFileName"},
        {&TMessages::FAFile, "FFile"},
        {&TMessages::FCanContinue, "FCanContinue"},
        {&TMessages::FUnknownVersion, "FUnknownVersion"},
    };
    count = std::size(fields);
    return fields;
}

const TMessageField<TExtrMessages>* TExtrMessages::OwnFields(std::size_t& count) {
    static constexpr TMessageField<TExtrMessages> fields[] = {
        {&TExtrMessages::FCouldNotUncompressBlock, "FCouldNotUncompressBlock"},
        {&TExtrMessages::FAskOverwrite, nullptr}, // has no key: never loaded
        {&TExtrMessages::FNeedExtractPath, "FNeedExtractPath"},
        {&TExtrMessages::FInsertDisk, "FInsertDisk"},
        {&TExtrMessages::FLocateSegment, "FLocateSegment"},
        {&TExtrMessages::FWrongSegment, "FWrongSegment"},
        {&TExtrMessages::FInsertLastSegment, "FInsertLastSegment"},
        {&TExtrMessages::FLocateLastSegment, "FLocateLastSegment"},
        {&TExtrMessages::FWrongLastSegment, "FWrongLastSegment"},
        {&TExtrMessages::FWrongNextSegment, "FWrongNextSegment"},
        {&TExtrMessages::FBadCRC, "FBadCRC"},
        {&TExtrMessages::FBadKey, "FBadKey"},
        {&TExtrMessages::FReplaceFile, "FReplaceFile"},
        {&TExtrMessages::FWithFile, "FWithFile"},
        {&TExtrMessages::FConfirmFileOverwrite, "FConfirmFileOverwrite"},
        {&TExtrMessages::FExtractingFile, "FExtractingFile"},
        {&TExtrMessages::FLoadingArchiveContnent, "FLoadingArchiveContnent"},
        {&TExtrMessages::FUncompressingSolidArchive, "FUncompressingSolidArchive"},
        {&TExtrMessages::FCheckingFile, "FCheckingFile"},
    };
    count = std::size(fields);
    return fields;
}

const TMessageField<TArchMessages>* TArchMessages::OwnFields(std::size_t& count) {
    static constexpr TMessageField<TArchMessages> fields[] = {
        {&TArchMessages::FCouldNotCompressBlock, "FCouldNotCompressBlock"},
        {&TArchMessages::FDeleteFileEventNeeded, "FDeleteFileEventNeeded"},
        {&TArchMessages::FCouldNotRenameArchive, "FCouldNotRenameArchive"},
        {&TArchMessages::FInsertNewDisk, "FInsertNewDisk"},
        {&TArchMessages::FSelectNewPlace, "FSelectNewPlace"},
        {&TArchMessages::FNotEnoughFreeSpaceOn, "FNotEnoughFreeSpaceOn"},
        {&TArchMessages::FUnableToDeleteFiles, "FUnableToDeleteFiles"},
        {&TArchMessages::FConfirmFileDeletion, "FConfirmFileDeletion"},
        {&TArchMessages::FMaxSegmentSizeTooSmall, "FMaxSegmentSizeTooSmall"},
        {&TArchMessages::FCantPerformThisOp, "FCantPerformThisOp"},
        {&TArchMessages::FAddingFile, "FAddingFile"},
        {&TArchMessages::FDeletingFiles, "FDeletingFiles"},
        {&TArchMessages::FDeleteFile, "FDeleteFile"},
        {&TArchMessages::FMakingSFXArchive, "FMakingSFXArchive"},
        {&TArchMessages::FCompressingSolidArchive, "FCompressingSolidArchive"},
        {&TArchMessages::FCopyingArchive, "FCopyingArchive"},
        {&TArchMessages::FCouldNotCopyArchive, "FCouldNotCopyArchive"},
        {&TArchMessages::FUpdatingFile, "FUpdatingFile"},
        {&TArchMessages::FReplacingFile, "FReplacingFile"},
    };
    count = std::size(fields);
    return fields;
}

void TMessages::SetDefaults() {
    std::size_t n = 0;
    const auto* fields = OwnFields(n);
    LoadFields(*this, fields, n);
}

void TMessages::Assign(const TMessages& source) {
    std::size_t n = 0;
    const auto* fields = OwnFields(n);
    CopyFields(*this, source, fields, n);
}

void TExtrMessages::SetDefaults() {
    TMessages::SetDefaults();
    LoadOwn();
}

void TExtrMessages::LoadOwn() {
    std::size_t n = 0;
    const auto* fields = OwnFields(n);
    LoadFields(*this, fields, n);
}

void TExtrMessages::Assign(const TMessages& source) {
    TMessages::Assign(source);
    const auto* src = dynamic_cast<const TExtrMessages*>(&source);
    if (!src) return;
    std::size_t n = 0;
    const auto* fields = OwnFields(n);
    CopyFields(*this, *src, fields, n);
}

void TArchMessages::SetDefaults() {
    TExtrMessages::SetDefaults();
    LoadOwn();
}

void TArchMessages::LoadOwn() {
    std::size_t n = 0;
    const auto* fields = OwnFields(n);
    LoadFields(*this, fields, n);
}

void TArchMessages::Assign(const TMessages& source) {
    TExtrMessages::Assign(source);
    const auto* src = dynamic_cast<const TArchMessages*>(&source);
    if (!src) return;
    std::size_t n = 0;
    const auto* fields = OwnFields(n);
    CopyFields(*this, *src, fields, n);
}

} // namespace kx
