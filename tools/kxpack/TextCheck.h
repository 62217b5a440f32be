// Whether a text is valid in the code page the wizard shows it in: GBK for the
// GB language, Big5 for the Big5 language, plain ASCII for English and for
// everything that is not a display text.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace kx::kxpack {

enum class TTextEncoding { Ascii, Gbk, Big5 };

// "GBK (code page 936)", "Big5 (code page 950)", "ASCII".
const char* EncodingName(TTextEncoding encoding);

// Well-formed UTF-8 with at least one character of three or more bytes (as
// every Chinese character is): text saved as UTF-8 where a code page is wanted.
bool LooksLikeUtf8(std::string_view text);

struct TTextProblem {
    std::size_t Offset = 0;  // of the first offending byte
    std::string Message;     // empty when the text is valid
};

// The first reason text is not valid in encoding; UTF-8 is named as such (at
// its first non-ASCII byte).
TTextProblem CheckText(std::string_view text, TTextEncoding encoding);

} // namespace kx::kxpack
