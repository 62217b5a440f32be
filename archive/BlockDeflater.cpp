// zlib's deflate behind the archive writer's blocks.
#include "archive/BlockDeflater.h"

#include <new>
#include <zlib.h>

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

bool ZlibCompressBlock(std::uint8_t* dest, std::int32_t& destSize, const std::uint8_t* src, std::int32_t srcSize,
                       int level) {
    if (destSize < 0 || srcSize < 0) return false;
    uLongf len = static_cast<uLongf>(destSize);
    int rc = compress2(dest, &len, src, static_cast<uLong>(srcSize), level);
    if (rc != Z_OK) return false;
    destSize = static_cast<std::int32_t>(len);
    return true;
}

} // namespace kx
