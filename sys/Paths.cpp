// Portable path helpers.
#include "sys/Paths.h"

#include "base/Exception.h"
#include "base/Mbcs.h"
#include "base/Text.h"
#include "sys/Files.h"

namespace kx {

bool EndsWithBackslash(const std::string& path, unsigned codePage) {
    if (path.empty() || path.back() != PathDelim) return false;
    return ByteTypeAt(path, path.size() - 1, codePage) == TByteType::mbSingleByte;
}

std::string AddTrailingBackslash(const std::string& path, unsigned codePage) {
    return EndsWithBackslash(path, codePage) ? path : path + PathDelim;
}

std::string AddTrailingBackslash(const std::string& path) {
    return AddTrailingBackslash(path, ActiveCodePage());
}

std::string RemoveTrailingBackslash(const std::string& path) {
    return EndsWithBackslash(path, ActiveCodePage()) ? path.substr(0, path.size() - 1) : path;
}

std::string ExtractFilePath(const std::string& path) {
    std::size_t p = LastDelimiter(PathDelims, path, ActiveCodePage());
    return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

std::string ExtractFileDir(const std::string& path) {
    std::size_t p = LastDelimiter(PathDelims, path, ActiveCodePage());
    if (p == std::string::npos) return std::string();
    // Keep the delimiter of a root ("C:\", "/") and a drive colon.
    if (p > 0 && path[p] == PathDelim &&
        LastDelimiter(PathDelims, path.substr(0, p), ActiveCodePage()) != p - 1)
        return path.substr(0, p);
    return path.substr(0, p + 1);
}

std::string ExtractFileName(const std::string& path) {
    std::size_t p = LastDelimiter(PathDelims, path, ActiveCodePage());
    return p == std::string::npos ? path : path.substr(p + 1);
}

std::string ExtractFileExt(const std::string& path) {
    std::string delims = std::string(PathDelims) + ".";
    std::size_t p = LastDelimiter(delims, path, ActiveCodePage());
    if (p == std::string::npos || path[p] != '.') return std::string();
    return path.substr(p);
}

std::string ExtractFileDrive(const std::string& path) {
#ifdef _WIN32
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        // \\server\share
        std::size_t n = 0, i = 2;
        while (i < path.size()) {
            if (path[i] == '\\' && ++n == 2) break;
            ++i;
        }
        return path.substr(0, i);
    }
#endif
    (void)path;
    return std::string();
}

bool MakeDirPath(const std::string& path) {
    std::vector<std::string> created;
    return MakeDirPath(path, created);
}

bool MakeDirPath(const std::string& path, std::vector<std::string>& created) {
    if (path.empty()) throw Exception("Unable to create directory");
    std::string dir = RemoveTrailingBackslash(path);
    if (dir.size() < 3 || DirectoryExists(dir)) return true;
    std::string parent = ExtractFilePath(dir);
    if (parent == dir) return true;
    if (!parent.empty() && !MakeDirPath(parent, created)) return false;
    if (!CreateDir(dir)) return false;
    const std::string entry = AddTrailingBackslash(dir);
    for (const std::string& c : created)
        if (SameText(c, entry)) return true;
    created.push_back(entry);
    return true;
}

std::string GetProgramPath() { return ExtractFilePath(GetProgramFileName()); }

} // namespace kx
