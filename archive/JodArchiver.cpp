// TJodArchiver: every compressed block is one zlib stream, the one compress2 makes.
#include "archive/JodArchiver.h"

#include <algorithm>
#include <new>
#include <zlib.h>

#include "archive/ZlibCodec.h"

namespace kx {

TBlockDeflater::~TBlockDeflater() {
    if (FStream) {
        deflateEnd(static_cast<z_stream*>(FStream));
        delete static_cast<z_stream*>(FStream);
    }
}

bool TBlockDeflater::Compress(std::uint8_t* dest, std::int32_t& destSize, const std::uint8_t* src,
                              std::int32_t srcSize, int level) {
    if (srcSize < 0 || destSize < 0)
        return false;
    auto* zs = static_cast<z_stream*>(FStream);
    if (zs && FLevel != level) {
        deflateEnd(zs);
        delete zs;
        zs = nullptr;
        FStream = nullptr;
    }
    if (!zs) {
        zs = new (std::nothrow) z_stream{};
        if (!zs)
            return false;
        if (deflateInit(zs, level) != Z_OK) {
            delete zs;
            return false;
        }
        FStream = zs;
        FLevel = level;
    } else if (deflateReset(zs) != Z_OK) {
        return false;
    }
    zs->next_in = const_cast<Bytef*>(src);
    zs->avail_in = static_cast<uInt>(srcSize);
    zs->next_out = dest;
    zs->avail_out = static_cast<uInt>(destSize);
    if (deflate(zs, Z_FINISH) != Z_STREAM_END)
        return false;
    destSize = static_cast<std::int32_t>(zs->total_out);
    return true;
}

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
    return FDeflater.Compress(destBlock, destSize, srcBlock, srcSize, GetCodecLevel());
}

int TJodArchiver::GetCodecLevel() { return ZlibLevel(CompressionLevel()); }

} // namespace kx
