// Giving up an installation's counts of its shared files (SharedDLLs) so that
// an uninstall cut short (killed, logged off) and run again never lowers a count
// twice: the installation's record of a count goes before the count is lowered.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kx {

// What the step asks of the system: the installation's records (values of its
// uninstall entry) and the SharedDLLs counts.
class TSharedCounts {
public:
    virtual ~TSharedCounts() = default;
    virtual std::optional<std::string> ReadRecord(const std::string& name) = 0;
    virtual void DeleteRecord(const std::string& name) = 0;
    virtual std::optional<std::uint32_t> ReadCount(const std::string& path) = 0;
    virtual void WriteCount(const std::string& path, std::uint32_t count) = 0;
    virtual void DeleteCount(const std::string& path) = 0;
};

enum class TSharedRelease {
    NotHeld,   // no record of ours (given up before), or no count at all: the file is not ours to judge
    StillUsed, // another installation still counts it
    LastUser,  // the count is gone: the caller deletes the file
};

// The record recordName (naming path) goes first, then the count is lowered, or
// removed when this was the last one. Cut short between the two steps, the
// count stays one too high and the file stays: the safe side.
TSharedRelease ReleaseSharedFile(TSharedCounts& system, const std::string& path, const std::string& recordName);

// A shared file and the number N of its record "kxSharedFile<N>".
struct TSharedFileRecord {
    std::string Path;
    int Record = 0;
};

// Releases each file, highest record number first, so that the records left by a
// run cut short are still numbered from 0 without a gap (they are read up to the
// first missing number); done is called after each.
void ReleaseSharedFiles(TSharedCounts& system, std::vector<TSharedFileRecord> files,
                        const std::function<void(const std::string& path, TSharedRelease outcome)>& done);

} // namespace kx
