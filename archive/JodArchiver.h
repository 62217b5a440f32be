// TJodArchiver: the archive components with the zlib block codec.
#pragma once
#include "archive/JodCustArchiver.h"

namespace kx {

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
};

} // namespace kx
