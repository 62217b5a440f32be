// Code-page validity of package texts; see TextCheck.h.
#include "tools/kxpack/TextCheck.h"

#include "base/Format.h"

namespace kx::kxpack {

const char* EncodingName(TTextEncoding encoding) {
    switch (encoding) {
    case TTextEncoding::Gbk: return "GBK (code page 936)";
    case TTextEncoding::Big5: return "Big5 (code page 950)";
    default: return "ASCII";
    }
}

bool LooksLikeUtf8(std::string_view text) {
    bool wide = false;
    std::size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t length;
        unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0) low = 0xA0;
            if (c == 0xED) high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0) low = 0x90;
            if (c == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            unsigned char t = static_cast<unsigned char>(text[i + k]);
            if (k == 1 ? (t < low || t > high) : (t < 0x80 || t > 0xBF))
                return false;
        }
        wide = wide || length >= 3;
        i += length;
    }
    return wide;
}

namespace {

bool ValidTrail(unsigned char t, TTextEncoding encoding) {
    if (t >= 0x40 && t <= 0x7E)
        return true;
    return encoding == TTextEncoding::Gbk ? t >= 0x80 && t <= 0xFE : t >= 0xA1 && t <= 0xFE;
}

} // namespace

TTextProblem CheckText(std::string_view text, TTextEncoding encoding) {
    if (LooksLikeUtf8(text)) {
        std::size_t first = 0;
        while (static_cast<unsigned char>(text[first]) < 0x80)
            ++first;
        return {first, Format("the text is UTF-8; it must be %s", EncodingName(encoding))};
    }
    std::size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80 || (c == 0x80 && encoding == TTextEncoding::Gbk)) { // 0x80 is the euro sign in GBK
            ++i;
            continue;
        }
        if (encoding == TTextEncoding::Ascii)
            return {i, Format("byte 0x%2.2X is not ASCII", static_cast<int>(c))};
        if (c == 0x80 || c == 0xFF)
            return {i, Format("byte 0x%2.2X is not %s", static_cast<int>(c), EncodingName(encoding))};
        if (i + 1 >= text.size())
            return {i, Format("the text ends inside a %s character", EncodingName(encoding))};
        unsigned char t = static_cast<unsigned char>(text[i + 1]);
        if (!ValidTrail(t, encoding))
            return {i, Format("bytes 0x%2.2X 0x%2.2X are not a %s character", static_cast<int>(c),
                              static_cast<int>(t), EncodingName(encoding))};
        i += 2;
    }
    return {};
}

} // namespace kx::kxpack
