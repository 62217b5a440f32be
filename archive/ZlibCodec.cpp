// zlib's inflate behind the archive's reading hook and the memory-stream expander.
#include "archive/ZlibCodec.h"

#include <memory>
#include <zlib.h>

#include "base/Exception.h"

namespace kx {

std::uint32_t CRC32Update(std::uint32_t crc, const void* buffer, std::uint32_t length) {
    if (buffer == nullptr) return 0;
    return static_cast<std::uint32_t>(crc32(crc, static_cast<const Bytef*>(buffer), length));
}

namespace {

// The one-shot expansion of uncompress() (one inflate call with Z_FINISH, success
// only at the end of the stream) on an inflate state that is made once per thread
// and reset per block: allocating and freeing the state and window for every block
// costs more than expanding a block of ordinary text. Each thread's inflater lives
// as long as the thread: a thread_local with a destructor would need the runtime's
// thread-exit hooks, which import functions that Windows 98 and 2000 do not have.
// A raw inflater (windowBits -15) expands the deflate data between a zlib
// stream's header and trailer without the Adler-32 of the output.
class TInflater {
public:
    explicit TInflater(bool raw) : FRaw(raw) {}
    ~TInflater() {
        if (FReady) inflateEnd(&FStream);
    }
    TInflater(const TInflater&) = delete;
    TInflater& operator=(const TInflater&) = delete;

    bool Expand(std::uint8_t* dest, std::int32_t& destSize, const std::uint8_t* src, std::int32_t srcSize) {
        if (!FReady) {
            FStream = z_stream();
            if ((FRaw ? inflateInit2(&FStream, -MAX_WBITS) : inflateInit(&FStream)) != Z_OK) return false;
            FReady = true;
        } else if (inflateReset(&FStream) != Z_OK) {
            return false;
        }
        FStream.next_in = const_cast<Bytef*>(src);
        FStream.avail_in = static_cast<uInt>(srcSize);
        FStream.next_out = dest;
        FStream.avail_out = static_cast<uInt>(destSize);
        // Z_BUF_ERROR (output full or input truncated), Z_DATA_ERROR, Z_NEED_DICT: refused.
        if (inflate(&FStream, Z_FINISH) != Z_STREAM_END) return false;
        destSize = static_cast<std::int32_t>(FStream.total_out);
        return true;
    }
    // Input bytes after the end of the last stream expanded.
    std::int32_t Unused() const { return static_cast<std::int32_t>(FStream.avail_in); }

private:
    z_stream FStream{};
    bool FRaw;
    bool FReady = false;
};

TInflater& ThreadInflater(bool raw) {
    thread_local TInflater* plain = nullptr;
    thread_local TInflater* rawOnly = nullptr;
    TInflater*& slot = raw ? rawOnly : plain;
    if (!slot) slot = new TInflater(raw);
    return *slot;
}

constexpr std::int32_t ZlibHeaderSize = 2, ZlibTrailerSize = 4;

// The two header bytes as inflate checks them: deflate, a window of at most 32 KiB,
// the check bits, no preset dictionary.
bool ZlibHeaderValid(const std::uint8_t* p) {
    return (p[0] & 0x0F) == Z_DEFLATED && (p[0] >> 4) + 8 <= MAX_WBITS && ((p[0] << 8) | p[1]) % 31 == 0 &&
           (p[1] & 0x20) == 0;
}

} // namespace

bool ZlibUncompressBlock(std::uint8_t* dest, std::int32_t& destSize, const std::uint8_t* src, std::int32_t srcSize) {
    if (destSize < 0 || srcSize < 0) return false;
    return ThreadInflater(false).Expand(dest, destSize, src, srcSize);
}

bool ZlibUncompressCheckedBlock(std::uint8_t* dest, std::int32_t& destSize, const std::uint8_t* src,
                                std::int32_t srcSize) {
    if (destSize < 0 || srcSize < ZlibHeaderSize + ZlibTrailerSize || !ZlibHeaderValid(src)) return false;
    TInflater& inflater = ThreadInflater(true);
    const std::int32_t body = srcSize - ZlibHeaderSize;
    if (!inflater.Expand(dest, destSize, src + ZlibHeaderSize, body)) return false;
    // The deflate data must end where the trailer begins, or earlier, as uncompress() allows.
    return inflater.Unused() >= ZlibTrailerSize;
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
