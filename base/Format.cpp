// Format: a small, bounds-checked printf dialect.
#include "base/Format.h"

#include <cstdio>

#include "base/Exception.h"

namespace kx {

namespace {

[[noreturn]] void BadFormat(std::string_view pattern) {
    throw Exception("Format '" + std::string(pattern) + "' invalid or incompatible with argument");
}

std::string Pad(std::string s, int width, bool left) {
    if (width > 0 && static_cast<int>(s.size()) < width) {
        std::string fill(width - s.size(), ' ');
        s = left ? s + fill : fill + s;
    }
    return s;
}

std::string Digits(std::uint64_t v, unsigned base) {
    char buf[24];
    char* p = buf + sizeof buf;
    do {
        *--p = "0123456789ABCDEF"[v % base];
        v /= base;
    } while (v);
    return std::string(p, buf + sizeof buf);
}

} // namespace

std::string FormatV(std::string_view pattern, const std::vector<FormatArg>& args) {
    std::string out;
    std::size_t next = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        if (c != '%') {
            out += c;
            continue;
        }
        if (++i >= pattern.size()) BadFormat(pattern);
        if (pattern[i] == '%') {
            out += '%';
            continue;
        }
        bool left = false;
        if (pattern[i] == '-') {
            left = true;
            if (++i >= pattern.size()) BadFormat(pattern);
        }
        int width = -1, prec = -1;
        auto readNum = [&](int& v) {
            if (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9') {
                v = 0;
                while (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9') {
                    v = v * 10 + (pattern[i] - '0');
                    if (v > 4096) BadFormat(pattern);
                    ++i;
                }
            }
        };
        readNum(width);
        if (i < pattern.size() && pattern[i] == '.') {
            ++i;
            prec = 0;
            readNum(prec);
        }
        if (i >= pattern.size() || next >= args.size()) BadFormat(pattern);
        const FormatArg& a = args[next++];
        char conv = pattern[i];
        std::string piece;
        switch (conv) {
        case 's': {
            if (!std::holds_alternative<std::string>(a)) BadFormat(pattern);
            piece = std::get<std::string>(a);
            if (prec >= 0 && static_cast<int>(piece.size()) > prec) piece.resize(prec);
            break;
        }
        case 'd':
        case 'u':
        case 'x':
        case 'X': {
            if (!std::holds_alternative<std::int64_t>(a)) BadFormat(pattern);
            std::int64_t v = std::get<std::int64_t>(a);
            bool neg = false;
            std::uint64_t mag;
            if (conv == 'd' && v < 0) {
                neg = true;
                mag = static_cast<std::uint64_t>(-(v + 1)) + 1;
            } else if (conv == 'd' || conv == 'u') {
                mag = static_cast<std::uint64_t>(v);
            } else {
                // Hexadecimal of a 32-bit value shows its two's complement, as the
                // platform's own routine does.
                mag = (v >= INT32_MIN && v <= UINT32_MAX) ? static_cast<std::uint32_t>(v)
                                                          : static_cast<std::uint64_t>(v);
            }
            piece = Digits(mag, conv == 'x' || conv == 'X' ? 16 : 10);
            if (prec > 0 && static_cast<int>(piece.size()) < prec)
                piece.insert(0, prec - piece.size(), '0');
            if (neg) piece.insert(0, "-");
            break;
        }
        case 'f':
        case 'g':
        case 'e': {
            double v;
            if (std::holds_alternative<double>(a))
                v = std::get<double>(a);
            else if (std::holds_alternative<std::int64_t>(a))
                v = static_cast<double>(std::get<std::int64_t>(a));
            else
                BadFormat(pattern);
            char pattern1[8] = {'%', '.', '*', conv, 0};
            char buf[400];
#ifdef _WIN32
            // msvcrt's formatter: the C99 one that MinGW puts behind snprintf adds
            // some 25 KB to every shipped program. It does not end a cut text.
            _snprintf(buf, sizeof buf, pattern1, prec < 0 ? (conv == 'g' ? 15 : 2) : prec, v);
            buf[sizeof buf - 1] = '\0';
#else
            std::snprintf(buf, sizeof buf, pattern1, prec < 0 ? (conv == 'g' ? 15 : 2) : prec, v);
#endif
            piece = buf;
            break;
        }
        default:
            BadFormat(pattern);
        }
        out += Pad(std::move(piece), width, left);
    }
    return out;
}

} // namespace kx
