// The block codec of the archive's reading side: the CRC routine behind every
// BlockCRC, zlib one-shot block expansion, and the stand-alone memory-stream
// expander with its own length-prefixed framing. Compression is the writing
// side's (BlockDeflater.h), so that a program that only reads carries no deflate.
#pragma once
#include <cstdint>

#include "base/Stream.h"

namespace kx {

// zlib's crc32() calling convention: the register starts as NOT crc and the result
// is NOT the register; a null buffer returns 0.
std::uint32_t CRC32Update(std::uint32_t crc, const void* buffer, std::uint32_t length);

// The check stored with each block: register starts at 0, no final inversion,
// i.e. NOT CRC32Update(0xFFFFFFFF, ...).
inline std::uint32_t BlockCheck(const void* buffer, std::uint32_t length) {
    return ~CRC32Update(0xFFFFFFFFu, buffer, length);
}

// One complete zlib stream from src into dest. On entry destSize is the capacity
// of dest; on success it is the count expanded. False for a stream that is corrupt,
// truncated or needs more than the capacity.
bool ZlibUncompressBlock(std::uint8_t* dest, std::int32_t& destSize, const std::uint8_t* src, std::int32_t srcSize);

// The same for the stored bytes of an archive block whose BlockCRC has just been
// checked: that check already vouches for every byte, so the Adler-32 over the
// output (a sixth of the expansion's time) is left out. The header must be valid
// and the four trailer bytes present; the answers are otherwise those above.
bool ZlibUncompressCheckedBlock(std::uint8_t* dest, std::int32_t& destSize, const std::uint8_t* src,
                                std::int32_t srcSize);

// Expands source (Magic, then pairs of int32 length and zlib stream each expanding to
// at most 65536 bytes) into dest. A source that does not begin with magic is copied
// unchanged. Raises Exception "Stream is empty" / "DeCompress Error"; a truncated
// source fails with the stream's read error. Both positions are 0 afterwards.
void DecompressStream(TMemoryStream& source, TMemoryStream& dest, std::int32_t magic);

} // namespace kx
