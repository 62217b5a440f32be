// What registration decides from the wizard's fields alone: the uninstaller's
// settings file, the shortcuts that apply, the service's command lines, the
// extra registry values, and the records kept for the uninstaller.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/SetupScript.h"

namespace kx {

// Names of the records under the uninstall key (numbered ones count from 0).
constexpr const char* kRecCreatedDir = "kxCreatedDir";
constexpr const char* kRecShortcut = "kxShortcut";
constexpr const char* kRecGroupDir = "kxGroupDir";
constexpr const char* kRecRegValue = "kxRegValue";
constexpr const char* kRecRegKey = "kxRegKey";
constexpr const char* kRecSharedFile = "kxSharedFile";
// The SHA-256 digests of "UnInst.Ini" and "INSTFILE.LST" as the setup wrote them:
// the uninstaller acts on those files only while they are unchanged, since
// anyone who may write into the target folder could have edited them.
constexpr const char* kRecIniDigest = "kxIniSha256";
constexpr const char* kRecListDigest = "kxListSha256";

// The digest kept of a record file's bytes: 64 lower-case hexadecimal digits.
std::string RecordDigest(std::string_view fileBytes);

// "UnInst.Ini": [Reg] with RegKey, an empty line, [Service] with "<name>=True"
// per service, and only with a FindClass the [Common] lines; CR LF after each line.
std::string BuildUnInstIni(const TSetupFields& f);

// One shortcut of the Link table that this run creates.
struct TShortcutPlan {
    std::string SubFolder; // empty: directly in the group folder
    std::string Title;
    std::string File;      // relative to the target directory
};

// Splits a shortcut name at its first backslash that is a character of its own
// in codePage: a 0x5C trail byte of a double-byte character does not split.
void SplitShortcutName(const std::string& name, unsigned codePage, std::string& subFolder, std::string& title);

// The lines of FLinks whose file (the value of the first line of that name) is
// one of FSelFiles as a whole text without regard to case, in FLinks order.
std::vector<TShortcutPlan> SelectShortcuts(const TSetupFields& f, unsigned codePage);

// The uninstaller's command-line arguments that name the installation to remove:
// the target folder in quotes, without the trailing backslash that would escape
// the closing quote for most programs' parsers ("C:\Program Files\Acme" for
// C:\Program Files\Acme\); a 0x5C trail byte of codePage is part of the name.
std::string UninstallerArguments(const std::string& installDir, unsigned codePage);

// The program in quotes, then the switches: "\"C:\\Program Files\\a.exe\" /install /silent".
std::string QuotedCommand(const std::string& program, std::string_view switches);

// The program of a service's command line as Windows starts it: the quoted text,
// or for an unquoted line the first part ending at a blank that names an existing
// file (".exe" added to a part without extension), else the whole line.
std::string ServiceProgramOf(const std::string& imagePath, const std::function<bool(const std::string&)>& fileExists);

// FServiceFile as the service step uses it: the target directory in front of a
// relative name; a name that is already absolute (a second run) stays.
std::string AbsoluteServiceFile(const std::string& installDir, const std::string& serviceFile);

// An AutoReg entry that applies: exactly three parts.
struct TAutoRegValue {
    std::string Key;  // under HKEY_LOCAL_MACHINE
    std::string Name;
    std::string Data; // FInstallDir followed by the third part
};
std::vector<TAutoRegValue> SelectAutoRegValues(const TSetupFields& f);

// "A\B\C" gives "A", "A\B", "A\B\C": the keys a creation may have to make,
// parents first (split at backslashes that are characters of their own in codePage).
std::vector<std::string> KeyPathChain(const std::string& key, unsigned codePage);

// Appends item unless records already hold it (without regard to case); true when appended.
bool AddRecord(std::vector<std::string>& records, const std::string& item);

// The files of the system and shared folders that the run placed, once each.
std::vector<TPlacedFile> SharedFilesOf(const std::vector<TPlacedFile>& placed);

// The SharedDLLs count after this installation adds itself: one more than the
// stored count; without a count 1, or 2 for a file that was there before (its
// unknown owner counts as one).
std::uint32_t NextSharedCount(std::optional<std::uint32_t> stored, bool existedBefore);

// KiB, rounded up, of the distinct files placed plus extraBytes.
std::uint32_t EstimatedSizeKiB(const std::vector<TPlacedFile>& placed, std::uint64_t extraBytes);

// The file version (most significant word first) of a version resource
// (VS_VERSIONINFO with its VS_FIXEDFILEINFO), or nothing when it holds none.
std::optional<std::uint64_t> FixedFileVersion(std::string_view versionResource);

// Whether our copy may replace an existing one: not when the existing one carries
// a newer version; a missing version counts as the oldest.
bool MayReplaceByVersion(std::optional<std::uint64_t> ours, std::optional<std::uint64_t> existing);

} // namespace kx
