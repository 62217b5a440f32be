// Files, directories, attributes, times and well-known places: the portable
// subset of the operating-system layer (Windows and POSIX implementations).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "base/DateTime.h"

namespace kx {

// Windows file attribute bits.
constexpr std::int32_t faReadOnly = 0x01;
constexpr std::int32_t faHidden = 0x02;
constexpr std::int32_t faSysFile = 0x04;
constexpr std::int32_t faDirectory = 0x10;
constexpr std::int32_t faArchive = 0x20;

bool FileExists(const std::string& path);       // a file, not a directory
bool DirectoryExists(const std::string& path);
bool CreateDir(const std::string& path);        // one level
bool RemoveDir(const std::string& path);
bool DeleteFile(const std::string& path);
bool RenameFile(const std::string& from, const std::string& to);
std::int32_t FileGetAttr(const std::string& path); // -1 when missing
bool FileSetAttr(const std::string& path, std::int32_t attr);
// Last-write time as local date-time, or -1 when it cannot be read.
TDateTime FileAge(const std::string& path);
bool FileSetDate(const std::string& path, TDateTime localTime);
std::int64_t FileSize(const std::string& path);  // -1 when missing

// The current local date and time.
TDateTime Now();
// The locale's time separator (normally ':').
char TimeSeparator();
// The active ANSI code page (0 where the platform has none).
unsigned ActiveCodePage();

std::string GetCurrentDir();
// Temporary folder of the user, with a trailing delimiter.
std::string GetTempDir();
// Full file name of the running executable.
std::string GetProgramFileName();

// Whole-file helpers over TFileStream (its errors propagate).
std::string LoadFileToString(const std::string& path);
void SaveStringToFile(const std::string& path, const std::string& data);

} // namespace kx
