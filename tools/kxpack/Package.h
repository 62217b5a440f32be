// Reading a package folder (setup.ini, the three licences, files/) or a ready
// payload archive from disk into what the checks and the packer work on.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "base/Exception.h"
#include "tools/kxarc/Progress.h"
#include "tools/kxpack/PackageCheck.h"

namespace kx::kxpack {

// A file that exists cannot be read, or one cannot be written: kxpack's exit 3.
class EInputOutput : public Exception {
    using Exception::Exception;
};

struct TPayloadFile {
    std::string Path;        // on disk
    std::string StoredName;  // below files/, "\" between folders
    std::int64_t Size = 0;
    TDateTime Date = 0;      // modified, in UTC (the same on every machine and in every time zone)
};

struct TPackage {
    TPackageContent Content;
    std::vector<TPayloadFile> Files;   // what files/ holds, sorted by stored name; empty with an archive
    std::vector<TFinding> Findings;    // found while reading (unusable files, a damaged archive)
};

// The script as the setup program carries it: VendorDir and SharedDir, where
// [Common] lacks them, are added at its end with their default values, so
// that the wizard itself holds no maker's name.
std::string WithDefaultFolders(const std::string& script);

// A moment given as seconds and milliseconds since 1970-01-01 00:00 UTC, as
// the archive stores dates: days since 1899-12-30, to the millisecond.
TDateTime UtcDateTime(std::int64_t unixSeconds, int milliseconds = 0);

// Reads dir; with payloadArchive given, the archive's entries are the payload
// (each one is test-extracted) instead of files/. Missing parts become findings;
// unreadable ones raise EInputOutput.
TPackage ReadPackage(const std::string& dir, const std::string& payloadArchive, kxarc::TProgressBar& bar);

// The whole file; raises EInputOutput naming it and the reason.
std::vector<std::uint8_t> ReadBinaryFile(const std::string& path);

} // namespace kx::kxpack
