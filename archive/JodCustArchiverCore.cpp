// TCustomArchiver's construction, properties and virtual operations: what every
// program with the class chain links, the setup's read-only component included.
// They stay thin; the writing itself (JodCustArchiver.cpp) joins a program only
// when the program adds files.
#include "archive/JodCustArchiver.h"

#include <cstring>

#include "archive/BlockDeflater.h"
#include "base/Random.h"
#include "sys/FileStream.h"

namespace kx {

const TCustomArchiver::TWritingSide* TCustomArchiver::FWritingSide = nullptr;

const TCustomArchiver::TWritingSide* TCustomArchiver::InstallWritingSide(const TWritingSide* side) {
    const TWritingSide* before = FWritingSide;
    FWritingSide = side;
    return before;
}

TCustomArchiver::TCustomArchiver() {
    RecreateMessages();
    FMaxSegmentSize = 0;
}

TCustomArchiver::~TCustomArchiver() {
    CloseForDestruction();
}

TMessages* TCustomArchiver::CreateMessages() { return new TArchMessages(); }

void TCustomArchiver::SetMaxSegmentSize(std::int32_t value) {
    if (value > 0 && static_cast<std::int64_t>(value) < 3 * static_cast<std::int64_t>(FBlockSize))
        throw EArchiver(Messages().MaxSegmentSizeTooSmall());
    FMaxSegmentSize = value;
}

std::uint16_t TCustomArchiver::GetOpenMode() { return fmOpenReadWrite | fmShareCompat; }

void TCustomArchiver::AfterOpen() {
    FModified = false;
    FInnerChanged = false;
    TCustomExtractor::AfterOpen();
}

void TCustomArchiver::CreateArchive() {
    FOptions.Exclude(oOpenSingleSegment);
    FHeader = TArchiveHeader{};
    FHeader.Signature = GetSignature();
    FHeader.Segment = 1;
    FHeader.BlockSize = FBlockSize;
    FHeader.Version = ArchiveVersion;
    FHeader.RandomID = static_cast<std::int32_t>(Random(1000000));
    FHeader.ArchiveFlag = afFinalSegment;
    FHeader.EndOffset = GetHeaderSize();
    if (FOptions.Contains(oCompress))
        FHeader.ArchiveFlag |= afCompressed;
    if (FOptions.Contains(oCreateSolidArchives))
        FHeader.ArchiveFlag |= afSolid;
    CreateArchiveFile();
}

bool TCustomArchiver::NeedNewSegment(std::int32_t size) {
    if (InPhase(phChangingSegment) || FOptions.Contains(oNoSpanning))
        return false;
    if (!HasStream())
        return false;
    TArchiveStream& s = Stream();
    if (s.Position() + size <= s.Size())
        return false; // rewriting bytes that are already there
    // A new segment only for a known shortage; the probe never knows.
    std::int64_t free = GetFreeSpace();
    return free >= 0 && free < size;
}

std::int64_t TCustomArchiver::GetFreeSpace() { return -1; }

bool TCustomArchiver::CompressBlock(std::uint8_t* destBlock, std::int32_t& destSize, const std::uint8_t* srcBlock,
                                    std::int32_t srcSize) {
    if (OnCompressBlock)
        return OnCompressBlock(this, destBlock, destSize, srcBlock, srcSize, FCompressionLevel);
    std::memcpy(destBlock, srcBlock, static_cast<std::size_t>(srcSize));
    destSize = srcSize;
    return true;
}

int TCustomArchiver::GetCodecLevel() { return static_cast<int>(FCompressionLevel); }

void TCustomArchiver::BeforeClose() {
    UpdateFirstSegmentHeader();
    TCustomExtractor::BeforeClose();
}

void TCustomArchiver::UpdateFirstSegmentHeader() {
    if (!SpansSegments() || !FModified)
        return;
    try {
        TArchiveHeader last = FHeader;
        GoToFirstSegment();
        FHeader.ArchiveInfo = last.ArchiveInfo;
        WriteHeader();
    } catch (const Exception&) {
        // segment 1 keeps its old totals; a reader then takes them from the final segment
    }
}

void TCustomArchiver::ReleaseSolid() {
    if (!FSolid)
        return;
    if (const TWritingSide* writing = FWritingSide) {
        (this->*writing->FinishSolidArchive)();
        return;
    }
    // Without the writing side nothing can have been added to the inner archive,
    // so there is nothing to rebuild: the solid archive stays as it is.
    FMaxSegmentSize = FSavedMaxSegmentSize;
    TCustomExtractor::ReleaseSolid();
}

} // namespace kx
