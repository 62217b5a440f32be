// Lead-byte ranges of the double-byte code pages.
#include "base/Mbcs.h"

namespace kx {

bool IsLeadByte(unsigned char c, unsigned codePage) {
    switch (codePage) {
    case 932:
        return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    case 936:
    case 949:
    case 950:
        return c >= 0x81 && c <= 0xFE;
    default:
        return false;
    }
}

TByteType ByteTypeAt(std::string_view s, std::size_t index, unsigned codePage) {
    std::size_t i = 0;
    while (i < index) {
        if (IsLeadByte(static_cast<unsigned char>(s[i]), codePage) && i + 1 < s.size()) {
            if (i + 1 == index) return TByteType::mbTrailByte;
            i += 2;
        } else {
            ++i;
        }
    }
    if (index < s.size() && IsLeadByte(static_cast<unsigned char>(s[index]), codePage) &&
        index + 1 < s.size())
        return TByteType::mbLeadByte;
    return TByteType::mbSingleByte;
}

namespace {
// Calls f with the index of each single-byte character of s until f returns true;
// that index, or npos.
template <class F>
std::size_t FindSingleByte(std::string_view s, unsigned codePage, F f) {
    std::size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (IsLeadByte(c, codePage) && i + 1 < s.size()) {
            i += 2;
            continue;
        }
        if (f(i)) return i;
        ++i;
    }
    return std::string_view::npos;
}
} // namespace

std::size_t LastDelimiter(std::string_view delims, std::string_view s, unsigned codePage) {
    std::size_t found = std::string_view::npos;
    FindSingleByte(s, codePage, [&](std::size_t i) {
        if (delims.find(s[i]) != std::string_view::npos) found = i;
        return false;
    });
    return found;
}

std::size_t FirstDelimiter(std::string_view delims, std::string_view s, unsigned codePage) {
    return FindSingleByte(s, codePage, [&](std::size_t i) { return delims.find(s[i]) != std::string_view::npos; });
}

} // namespace kx
