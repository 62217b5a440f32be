// zlib's deflate for the archive's writing side: the block compressor of
// TJodArchiver and the one-shot block compression. Only programs that write
// archives link it; the setup reads and carries inflate alone.
#pragma once
#include <cstdint>

namespace kx {

// A compressor of archive blocks. The writing side makes one per component.
class TBlockCompressor {
public:
    virtual ~TBlockCompressor() = default;
    // destSize: capacity on entry, compressed length on success.
    virtual bool Compress(std::uint8_t* dest, std::int32_t& destSize, const std::uint8_t* src, std::int32_t srcSize,
                          int level) = 0;
};

// One deflate state used block after block. Each call makes exactly the zlib
// stream compress2 makes (15-bit window, memory level 8, default strategy) and
// fails where compress2 fails, without allocating zlib's state for every block.
class TBlockDeflater final : public TBlockCompressor {
public:
    TBlockDeflater() = default;
    ~TBlockDeflater() override;
    TBlockDeflater(const TBlockDeflater&) = delete;
    TBlockDeflater& operator=(const TBlockDeflater&) = delete;
    bool Compress(std::uint8_t* dest, std::int32_t& destSize, const std::uint8_t* src, std::int32_t srcSize,
                  int level) override;

private:
    void* FStream = nullptr; // z_stream, kept out of this header
    int FLevel = 0;
};

// One complete zlib stream (15-bit window, memory level 8, default strategy) at the
// given zlib level (-1 default, 0..9). On entry destSize is the capacity of dest;
// false when the output does not fit or the level is invalid.
bool ZlibCompressBlock(std::uint8_t* dest, std::int32_t& destSize, const std::uint8_t* src, std::int32_t srcSize,
                       int level);

} // namespace kx
