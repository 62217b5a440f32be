// The archive work that kxarc's commands and kxpack share: naming a failure,
// opening and reading an archive, and writing a new one from a list of files on
// all cores.
#pragma once
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "archive/JodArchiver.h"
#include "tools/kxarc/CommandLine.h"
#include "tools/kxarc/Progress.h"

namespace kx::kxarc {

// The archive's message texts are empty, so failures are named by their class.
std::string Describe(const std::exception& e);

struct TOpened {
    std::unique_ptr<TJodArchiver> Arc;
    std::vector<TFileEntry> Entries;
};
// Opens an archive read-only with its entry list; solid archives come expanded.
TOpened OpenForReading(const std::string& archive);

// Extracts one entry to dest; empty when it came out whole, else the reason.
std::string ExtractOne(TJodArchiver& arc, const TFileEntry& e, const std::string& dest, double total);

// A free name in the temporary folder, different in every process.
std::string TempPath();
// Sixteen hex digits that differ from one call and one process to the next;
// the process-wide generator is left alone (it makes archive identifiers).
std::string UniqueSuffix();

struct TArchiveInput {
    std::string Path;         // what AddFile gets
    std::string StartingDir;  // names are stored below it; empty for a bare file name
    bool Folder = false;
    std::int64_t Size = 0;
    std::string StoredName;   // when not empty, the entry's name whatever Path is
    double Date = -1;         // when not negative, the entry's date instead of the file's
};

struct TWriteOptions {
    TCompressionLevel Level = clNormal;
    std::int32_t BlockSize = 65536;
    bool Solid = false;
    std::string Comment;
    unsigned Jobs = 0;  // compression threads; 0: all cores, 1: the writer alone
    bool HaveSeed = false;
    std::uint32_t Seed = 0;
};

struct TWriteResult {
    bool Written = false; // false: the archive could not be created (reported)
    int LeftOut = 0;      // files that could not be added (each reported)
};

// Writes a new archive (the file must not exist) of inputs in their order. The
// archive is byte for byte the same whatever Jobs is.
TWriteResult WriteArchive(const std::string& archive, const std::vector<TArchiveInput>& inputs,
                          const TWriteOptions& o, TProgressBar& bar);

} // namespace kx::kxarc
