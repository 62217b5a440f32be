// Checks a package before it is packed: the install script under the wizard's
// dialect, every file it names against the payload, the display texts and
// licences against their code pages, the registry keys. Each finding names the
// file, the line and what is wrong.
#pragma once
#include <optional>
#include <string>
#include <vector>

namespace kx::kxpack {

enum class TSeverity { Warning, Error };

struct TFinding {
    TSeverity Severity = TSeverity::Error;
    std::string File; // "setup.ini", "LICCN.txt", "files/readme.txt", or the payload archive
    int Line = 0;     // 0: the file as a whole
    std::string Message;
    // The code page of the bytes above 0x7F in Message (names quoted from GB or
    // B5 sections: 936 or 950); 0 when it holds none.
    unsigned CodePage = 0;
};

// The names of a package folder's parts.
extern const char* const ScriptFileName;         // "setup.ini"
extern const char* const LicenceFileNames[3];    // "LICCN.txt", "LICB5.txt", "LICEN.txt"
extern const char* const FilesFolderName;        // "files"
extern const char* const IconFileName;           // "setup.ico"

// The folders a package goes to when its script names none: Program
// Files\Velmora\<PRGDIR> and Common Files\Tarnwick.
extern const char* const DefaultVendorDir;  // "Velmora"
extern const char* const DefaultSharedDir;  // "Tarnwick"

// A package as read from disk; a missing file is nullopt.
struct TPackageContent {
    std::optional<std::string> Script;
    std::optional<std::string> Licences[3]; // LICCN, LICB5, LICEN
    std::optional<std::string> Icon;        // setup.ico, the setup program's icon
    // Stored names of the payload ("\" between folders).
    std::vector<std::string> PayloadNames;
    // Where the payload came from: empty for the files folder, else the
    // archive's path (findings about entries name it).
    std::string PayloadArchive;
};

std::vector<TFinding> CheckPackage(const TPackageContent& package);

// The stored names (upper case) that some component of some language installs.
std::vector<std::string> InstalledNames(const std::string& script);

// The longest path Windows gives a file ("C:\Program Files (x86)\" + ... + the
// name), with room for the terminating zero: MAX_PATH.
constexpr std::size_t MaxPathLength = 259;

// Why name cannot be a relative Windows path below the target directory (empty
// when it can): absolute, a drive, "..", characters Windows refuses, a device
// name. codePage says which bytes lead a double-byte character (0: none).
std::string RelativePathProblem(const std::string& name, unsigned codePage = 0);

// Why key is not a plausible registry key below HKEY_LOCAL_MACHINE (empty when it is).
std::string RegistryKeyProblem(const std::string& key);

} // namespace kx::kxpack
