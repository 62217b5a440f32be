// zlib behind the archive's block hooks and the memory-stream expander.
#include "archive/ZlibCodec.h"

#include <memory>
#include <zlib.h>

#include "base/Exception.h"

namespace kx {

std::uint32_t CRC32Update(std::uint32_t crc, const void* buffer, std::uint32_t length) {
    if (buffer == nullptr) return 0;
    return static_cast<std::uint32_t>(crc32(crc, static_cast<const Bytef*>(buffer), length));
}

bool ZlibUncompressBlock(std::uint8_t* dest, std::int32_t& destSize, const std::uint8_t* src, std::int32_t srcSize) {
    if (destSize < 0 || srcSize < 0) return false;
    uLongf len = static_cast<uLongf>(destSize);
    // uncompress() reads an empty or truncated input as Z_BUF_ERROR/Z_DATA_ERROR.
    int rc = uncompress(dest, &len, src, static_cast<uLong>(srcSize));
    if (rc != Z_OK) return false;
    destSize = static_cast<std::int32_t>(len);
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

void DecompressStream(TMemoryStream& source, TMemoryStream& dest, std::int32_t magic) {
    constexpr std::int32_t Capacity = 65536;
    constexpr std::int32_t BufferSize = Capacity + Capacity / 100;
    if (source.Size() == 0) throw Exception("Stream is empty");
    source.SetPosition(0);
    dest.SetPosition(0);
    if (source.ReadInt32() != magic) {
        dest.CopyFrom(source, 0);
        source.SetPosition(0);
        dest.SetPosition(0);
        return;
    }
    struct Rewind {
        TMemoryStream& a;
        TMemoryStream& b;
        ~Rewind() {
            a.SetPosition(0);
            b.SetPosition(0);
        }
    } rewind{source, dest};
    auto in = std::make_unique<std::uint8_t[]>(BufferSize);
    auto out = std::make_unique<std::uint8_t[]>(BufferSize);
    std::int64_t pos = 4;
    const std::int64_t size = source.Size();
    while (pos < size) {
        source.SetPosition(pos);
        std::int32_t len = source.ReadInt32();
        // The input buffer holds BufferSize bytes; a longer or negative length is damage.
        if (len < 0 || len > BufferSize) throw Exception("DeCompress Error");
        source.ReadBuffer(in.get(), len);
        std::int32_t outLen = Capacity;
        if (!ZlibUncompressBlock(out.get(), outLen, in.get(), len)) throw Exception("DeCompress Error");
        dest.WriteBuffer(out.get(), outLen);
        pos += static_cast<std::int64_t>(len) + 4;
    }
}

} // namespace kx
