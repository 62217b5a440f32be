// Shared-file counts given up record first.
#include "uninst/SharedRelease.h"

#include <algorithm>

#include "app/RegistrationRules.h"
#include "base/Format.h"
#include "base/Text.h"

namespace kx {

TSharedRelease ReleaseSharedFile(TSharedCounts& system, const std::string& path, const std::string& recordName) {
    const std::optional<std::string> record = system.ReadRecord(recordName);
    if (!record || !SameText(*record, path)) return TSharedRelease::NotHeld;
    system.DeleteRecord(recordName);
    const std::optional<std::uint32_t> count = system.ReadCount(path);
    if (!count) return TSharedRelease::NotHeld;
    if (*count > 1) {
        system.WriteCount(path, *count - 1);
        return TSharedRelease::StillUsed;
    }
    system.DeleteCount(path);
    return TSharedRelease::LastUser;
}

void ReleaseSharedFiles(TSharedCounts& system, std::vector<TSharedFileRecord> files,
                        const std::function<void(const std::string& path, TSharedRelease outcome)>& done) {
    std::stable_sort(files.begin(), files.end(),
                     [](const TSharedFileRecord& a, const TSharedFileRecord& b) { return a.Record > b.Record; });
    for (const TSharedFileRecord& f : files)
        done(f.Path, ReleaseSharedFile(system, f.Path, Format("%s%d", kRecSharedFile, f.Record)));
}

} // namespace kx
