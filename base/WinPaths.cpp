// Windows path rules of the setup and the uninstaller, independent of the platform they are built for.
#include "base/WinPaths.h"

#include "base/Mbcs.h"
#include "base/Text.h"

namespace kx {

namespace {

bool IsSingleByteAt(std::string_view s, std::size_t i, unsigned codePage) {
    return ByteTypeAt(s, i, codePage) == TByteType::mbSingleByte;
}

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool OnlyDotsAndBlanks(std::string_view s) {
    for (char c : s)
        if (c != '.' && c != ' ') return false;
    return true;
}

} // namespace

bool EndsWithWinDelim(std::string_view path, unsigned codePage) {
    return !path.empty() && path.back() == '\\' && IsSingleByteAt(path, path.size() - 1, codePage);
}

std::string WithTrailingDelim(std::string_view path, unsigned codePage) {
    std::string r(path);
    if (!EndsWithWinDelim(path, codePage)) r += '\\';
    return r;
}

std::string WithoutTrailingDelim(std::string_view path, unsigned codePage) {
    return std::string(EndsWithWinDelim(path, codePage) ? path.substr(0, path.size() - 1) : path);
}

std::vector<std::string> SplitWinPath(std::string_view path, unsigned codePage) {
    std::vector<std::string> parts;
    std::size_t start = 0, i = 0;
    while (i < path.size()) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if (IsLeadByte(c, codePage) && i + 1 < path.size()) {
            i += 2;
            continue;
        }
        if (c == '\\') {
            parts.emplace_back(path.substr(start, i - start));
            start = i + 1;
        }
        ++i;
    }
    parts.emplace_back(path.substr(start));
    return parts;
}

TPathFault CheckAbsolutePath(std::string_view path, unsigned codePage) {
    if (path.empty()) return TPathFault::Empty;
    if (path.size() < 3 || !IsLetter(path[0]) || path[1] != ':' || path[2] != '\\') return TPathFault::NotAbsolute;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if (IsLeadByte(c, codePage) && i + 1 < path.size()) {
            // A trail byte below 0x40 would be one of the characters refused below.
            if (static_cast<unsigned char>(path[i + 1]) < 0x40) return TPathFault::BadCharacter;
            ++i;
            continue;
        }
        if (c < 0x20 || c == 0x7F) return TPathFault::BadCharacter;
        switch (c) {
        case '/':
        case '*':
        case '?':
        case '"':
        case '<':
        case '>':
        case '|':
            return TPathFault::BadCharacter;
        case ':':
            if (i != 1) return TPathFault::BadCharacter;
            break;
        default:
            break;
        }
    }
    const std::vector<std::string> parts = SplitWinPath(WithoutTrailingDelim(path, codePage), codePage);
    for (std::size_t i = 1; i < parts.size(); ++i) {
        if (parts[i].empty()) return TPathFault::EmptyComponent;
        if (OnlyDotsAndBlanks(parts[i])) return TPathFault::DotComponent;
    }
    return TPathFault::None;
}

std::string WinParentDir(std::string_view path, unsigned codePage) {
    const std::string bare = WithoutTrailingDelim(path, codePage);
    const std::size_t p = LastDelimiter("\\", bare, codePage);
    return p == std::string::npos ? std::string() : bare.substr(0, p + 1);
}

std::string WinFileName(std::string_view path, unsigned codePage) {
    const std::size_t p = LastDelimiter("\\", path, codePage);
    return std::string(p == std::string_view::npos ? path : path.substr(p + 1));
}

bool SameWinPath(std::string_view a, std::string_view b, unsigned codePage) {
    return SameText(WithoutTrailingDelim(a, codePage), WithoutTrailingDelim(b, codePage));
}

bool IsInsideWinDir(std::string_view path, std::string_view dir, unsigned codePage) {
    const std::string d = WithTrailingDelim(dir, codePage);
    const std::string p = WithoutTrailingDelim(path, codePage);
    // The byte where dir's backslash falls must be a backslash of path too, not a trail byte.
    return p.size() > d.size() && SameText(std::string_view(p).substr(0, d.size()), d) &&
           IsSingleByteAt(p, d.size() - 1, codePage);
}

bool IsDriveRoot(std::string_view path, unsigned codePage) {
    const std::string bare = WithoutTrailingDelim(path, codePage);
    return bare.size() == 2 && IsLetter(bare[0]) && bare[1] == ':';
}

std::string SystemLibraryPath(std::string_view systemDir, std::string_view name, unsigned codePage) {
    if (CheckAbsolutePath(systemDir, codePage) != TPathFault::None) return std::string();
    if (name.empty() || name.find_first_of("\\/:") != std::string_view::npos) return std::string();
    std::string path = WithTrailingDelim(systemDir, codePage) + std::string(name);
    return CheckAbsolutePath(path, codePage) == TPathFault::None ? path : std::string();
}

} // namespace kx
