// Portable path helpers.
#include "sys/Paths.h"

#include "base/Exception.h"
#include "base/Mbcs.h"
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

bool MakeDirPath(const std::string& path, std::vector<std::string>& created) {
    if (path.empty()) throw Exception("Unable to create directory");
    std::string dir = RemoveTrailingBackslash(path);
    if (dir.size() < 3 || DirectoryExists(dir)) return true;
    std::string parent = ExtractFilePath(dir);
    if (parent == dir) return true;
    if (!parent.empty() && !MakeDirPath(parent, created)) return false;
    if (!CreateDir(dir)) return false;
    created.push_back(dir + PathDelim);
    return true;
}

bool MakeDirPath(const std::string& path) {
    std::vector<std::string> created;
    return MakeDirPath(path, created);
}

bool IsAbsolutePath(const std::string& path) {
#ifdef _WIN32
    if (path.size() >= 3 && path[1] == ':' && path[2] == '\\')
        return (path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z');
    // "\\server\share": both names present.
    if (path.size() < 5 || path[0] != '\\' || path[1] != '\\') return false;
    const std::string drive = ExtractFileDrive(path);
    const std::size_t split = drive.find('\\', 2);
    return split != std::string::npos && split > 2 && split + 1 < drive.size();
#else
    return !path.empty() && path[0] == '/';
#endif
}

bool PathRootExists(const std::string& path) {
    if (!IsAbsolutePath(path)) return false;
#ifdef _WIN32
    return DirectoryExists(ExtractFileDrive(path) + PathDelim);
#else
    return true;
#endif
}

std::string GetProgramPath() { return ExtractFilePath(GetProgramFileName()); }

} // namespace kx
