// The kxpack run: check the package, pack its payload, write the setup program.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tools/kxarc/ArchiveIo.h"

namespace kx::kxpack {

// Exit codes, also listed in the usage text.
constexpr int ExitOk = 0;
constexpr int ExitPackageErrors = 1;
constexpr int ExitUsage = kxarc::ExitUsage;
constexpr int ExitInputOutput = 3;

// The largest setup program kxpack writes: 1536 MB. Windows maps the whole
// image into the 2 GB address space of the 32-bit process, below the system
// DLLs (kernel32 at 0x7C800000 on XP; on Vista and later, ASLR puts them
// downward from 0x78000000 and a few of them cannot move), and the setup still
// needs room for those DLLs, its heap and its windows. Wine loads images up to
// about 1958 MB in 32-bit and in WoW64 prefixes; the limit keeps 0.5 GB for the
// rest of the process on every Windows.
constexpr std::uint64_t MaxSetupSize = std::uint64_t{1536} << 20;

// The names kxpack looks for beside itself when --stub or --uninstaller is not given.
extern const char* const DefaultStubName;         // "setupstub.exe"
extern const char* const DefaultUninstallerName;  // "kxUnInst.exe"

struct TPackOptions {
    std::string PackageDir;
    std::string Output;        // empty with CheckOnly
    std::string Stub;          // empty: the default
    std::string Uninstaller;   // empty: the default
    std::string Payload;       // a ready payload archive instead of files/
    bool CheckOnly = false;
    bool Force = false;        // package errors are reported as warnings
    bool Allow64 = false;      // a 64-bit stub and uninstaller are accepted (test builds)
    bool Progress = false;
    bool Verbose = false;      // say which stub and uninstaller, which dates, which seed
    // Run on the uninstaller before it is embedded and on the finished setup
    // program: "{}" is the file, "{signed}" where the command writes the signed one.
    std::string SignCommand;
    // SOURCE_DATE_EPOCH: every payload entry gets this date instead of its file's.
    bool HaveSourceDateEpoch = false;
    std::int64_t SourceDateEpoch = 0;
    kxarc::TWriteOptions Archive;
};

int PackCommand(const TPackOptions& o);

// Where the default stub and uninstaller are looked for, in order: beside
// kxpack, then in ../share/kxsetup from there (where cmake --install puts them).
std::vector<std::string> DataDirectories();

// The archive identifier's seed when --seed is not given: drawn from what the
// package holds (the script, the stored names, sizes and dates of its files),
// so that the same package gives the same bytes on every machine.
std::uint32_t PackageSeed(const std::string& script, const std::vector<std::string>& names,
                          const std::vector<std::int64_t>& sizes, const std::vector<double>& dates);

} // namespace kx::kxpack
