// The terminal's encoding is the character set of the user's locale.
#include "sys/TerminalText.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cerrno>

namespace kx {

namespace {

// The character set of LC_CTYPE as the environment sets it, without changing
// this program's own locale.
std::string LocaleCharset() {
    locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
    if (locale == static_cast<locale_t>(0)) return {};
    std::string charset = nl_langinfo_l(CODESET, locale);
    freelocale(locale);
    return charset;
}

} // namespace

std::string ToTerminalText(const std::string& text, unsigned codePage) {
    const char* from = codePage == 936 ? "CP936" : codePage == 950 ? "CP950" : nullptr;
    if (!from || text.empty()) return text;
    static const std::string to = LocaleCharset();
    if (to.empty()) return text;
    iconv_t cd = iconv_open(to.c_str(), from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return text;
    std::string out(text.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* at = out.data();
    std::size_t outLeft = out.size();
    const std::size_t r = iconv(cd, &in, &inLeft, &at, &outLeft);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1) || inLeft != 0) return text;
    out.resize(out.size() - outLeft);
    return out;
}

} // namespace kx
