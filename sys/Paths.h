// Path helpers: double-byte aware splitting and completing of 8-bit paths, the
// directory maker, and the places of Windows, its system and shared folders.
#pragma once
#include <string>
#include <vector>

namespace kx {

#ifdef _WIN32
constexpr char PathDelim = '\\';
constexpr const char* PathDelims = "\\:";
#else
constexpr char PathDelim = '/';
constexpr const char* PathDelims = "/";
#endif

// The last character counts as a delimiter only when it is a single-byte character
// in codePage (a 0x5C trail byte of a double-byte character is not a backslash).
// An empty path becomes the delimiter alone.
std::string AddTrailingBackslash(const std::string& path, unsigned codePage);
std::string AddTrailingBackslash(const std::string& path); // active code page
bool EndsWithBackslash(const std::string& path, unsigned codePage);
std::string RemoveTrailingBackslash(const std::string& path);

std::string ExtractFilePath(const std::string& path); // up to and including the last delimiter
std::string ExtractFileDir(const std::string& path);  // the same without a trailing delimiter
std::string ExtractFileName(const std::string& path);
std::string ExtractFileExt(const std::string& path);  // with its dot, or empty
std::string ExtractFileDrive(const std::string& path); // "C:" or "\\server\share", or empty

// Creates a directory with all missing parents; true when it exists afterwards.
// An empty path raises Exception "Unable to create directory"; creation stops at
// the first failure and parents made until then stay.
bool MakeDirPath(const std::string& path);
// MakeDirPath that appends to `created` each directory it actually created
// (parents first, each with a trailing delimiter).
bool MakeDirPath(const std::string& path, std::vector<std::string>& created);

// A path that names its root: "X:\..." or "\\server\share..." on Windows, "/..."
// elsewhere. "ab", "X:ab" and "\ab" depend on the current directory or drive.
bool IsAbsolutePath(const std::string& path);
// The drive, share or file-system root of an absolute path is there (a drive
// letter without a disk, or a share that cannot be reached, is not).
bool PathRootExists(const std::string& path);

// Directory of the running executable, with a trailing delimiter.
std::string GetProgramPath();

#ifdef _WIN32
bool IsNTFamily();
std::string GetWindowsPath();     // with a trailing backslash, not cached
std::string GetSystemPath();      // with a trailing backslash, cached
// The Program Files folder as the system gives it to this (32-bit) program:
// "ProgramFilesDir" of HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion ("Program
// Files (x86)" on 64-bit Windows), else the Windows folder's drive and "Program
// Files"; with a trailing backslash.
std::string GetProgramFilesPath();
// The maker folder `folder` under Common Files (the Common Files folder itself
// when folder is empty), created on every call, with a trailing backslash.
std::string GetCommonFilesPath(const std::string& folder);
// The same, appending to `created` the folders this call made.
std::string GetCommonFilesPath(const std::string& folder, std::vector<std::string>& created);
// The Common Files folder itself, with a trailing backslash; nothing is made.
std::string GetCommonFilesRoot();
#endif

} // namespace kx
