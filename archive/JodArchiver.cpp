// TJodArchiver: every compressed block is one zlib stream, the one compress2 makes.
#include "archive/JodArchiver.h"

#include <algorithm>

#include "archive/ZlibCodec.h"

namespace kx {

TJodArchiver::~TJodArchiver() {
    CloseForDestruction();
}

int TJodArchiver::ZlibLevel(TCompressionLevel level) {
    switch (level) {
    case clMaximum: return 9;
    case clNormal: return -1;
    case clFast: return 5;
    case clSuperFast: return 1;
    case clNone: return 0;
    }
    return -1;
}

std::int32_t TJodArchiver::GetMaxBlockSize() {
    // The open archive's own block size counts too: its blocks must fit the buffers
    // even when the component's BlockSize property is smaller.
    std::int32_t size = std::max(FBlockSize, FHeader.BlockSize);
    return size + size / 100;
}

bool TJodArchiver::UncompressBlock(std::uint8_t* destBlock, std::int32_t& destSize, const std::uint8_t* srcBlock,
                                   std::int32_t srcSize) {
    if (OnUncompressBlock)
        return OnUncompressBlock(this, destBlock, destSize, srcBlock, srcSize);
    // Only ExtractData calls here, after the block's CRC matched.
    return ZlibUncompressCheckedBlock(destBlock, destSize, srcBlock, srcSize);
}

bool TJodArchiver::CompressBlock(std::uint8_t* destBlock, std::int32_t& destSize, const std::uint8_t* srcBlock,
                                 std::int32_t srcSize) {
    if (OnCompressBlock)
        return OnCompressBlock(this, destBlock, destSize, srcBlock, srcSize, CompressionLevel());
    if (!FCompressor) {
        // Blocks are only written by AddFile, whose unit installs the writing side;
        // without it there is no compressor, and the block cannot be compressed.
        const TWritingSide* writing = WritingSide();
        if (!writing)
            return false;
        FCompressor = writing->NewBlockCompressor();
        if (!FCompressor)
            return false;
    }
    return FCompressor->Compress(destBlock, destSize, srcBlock, srcSize, GetCodecLevel());
}

int TJodArchiver::GetCodecLevel() { return ZlibLevel(CompressionLevel()); }

} // namespace kx
