// TJodArchiver: the archive components with the zlib block codec.
#pragma once
#include "archive/JodCustArchiver.h"

namespace kx {

// One deflate state used block after block. Each call makes exactly the zlib
// stream compress2 makes (15-bit window, memory level 8, default strategy) and
// fails where compress2 fails, without allocating zlib's state for every block.
class TBlockDeflater {
public:
    TBlockDeflater() = default;
    ~TBlockDeflater();
    TBlockDeflater(const TBlockDeflater&) = delete;
    TBlockDeflater& operator=(const TBlockDeflater&) = delete;
    // destSize: capacity on entry, compressed length on success.
    bool Compress(std::uint8_t* dest, std::int32_t& destSize, const std::uint8_t* src, std::int32_t srcSize,
                  int level);

private:
    void* FStream = nullptr; // z_stream, kept out of this header
    int FLevel = 0;
};

class TJodArchiver : public TCustomArchiver {
public:
    TJodArchiver() = default;
    ~TJodArchiver() override;

    // compress2's level for a CompressionLevel: 9, -1 (zlib's default, 6), 5, 1, 0;
    // -1 for any value outside the enumeration.
    static int ZlibLevel(TCompressionLevel level);

protected:
    std::int32_t GetMaxBlockSize() override;
    bool UncompressBlock(std::uint8_t* destBlock, std::int32_t& destSize, const std::uint8_t* srcBlock,
                         std::int32_t srcSize) override;
    bool CompressBlock(std::uint8_t* destBlock, std::int32_t& destSize, const std::uint8_t* srcBlock,
                       std::int32_t srcSize) override;
    int GetCodecLevel() override;

private:
    TBlockDeflater FDeflater;
};

} // namespace kx
