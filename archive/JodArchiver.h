// TJodArchiver: the archive components with the zlib block codec.
#pragma once
#include <memory>

#include "archive/BlockDeflater.h"
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
    // zlib's deflate as the writing side supplies it (see TCustomArchiver::TWritingSide).
    bool CompressBlock(std::uint8_t* destBlock, std::int32_t& destSize, const std::uint8_t* srcBlock,
                       std::int32_t srcSize) override;
    int GetCodecLevel() override;

private:
    // Made at the first block written; deleted through its virtual destructor, so
    // that this class's own code never names deflate.
    std::unique_ptr<TBlockCompressor> FCompressor;
};

} // namespace kx
