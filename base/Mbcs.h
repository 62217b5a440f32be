// Double-byte character sets: which bytes lead a two-byte character.
#pragma once
#include <cstddef>
#include <string_view>

namespace kx {

// Code pages 932, 936, 949 and 950 are double-byte; every other code page is
// single-byte.
bool IsLeadByte(unsigned char c, unsigned codePage);

enum class TByteType { mbSingleByte, mbLeadByte, mbTrailByte };
// Scans from the start of s, as a trail byte can only be told from the bytes before it.
TByteType ByteTypeAt(std::string_view s, std::size_t index, unsigned codePage);

// Index of the last byte of s that is one of delims and a single-byte character,
// or npos.
std::size_t LastDelimiter(std::string_view delims, std::string_view s, unsigned codePage);
// Index of the first such byte, or npos.
std::size_t FirstDelimiter(std::string_view delims, std::string_view s, unsigned codePage);

} // namespace kx
