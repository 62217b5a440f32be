// kxarc's commands: thin drivers of TJodArchiver that turn its events into
// messages, a progress bar and an exit status.
#include "tools/kxarc/Commands.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>

#include "base/DateTime.h"
#include "base/Text.h"
#include "sys/Files.h"
#include "sys/Paths.h"
#include "tools/kxarc/Progress.h"
#include "tools/kxarc/SafePath.h"

namespace fs = std::filesystem;

namespace kx::kxarc {

namespace {

std::string Quote(const std::string& s) { return "'" + s + "'"; }

using TInput = TArchiveInput;

// Files and empty folders below root in a stable order (sorted by name per level).
void Walk(const fs::path& dir, const std::string& start, std::vector<TInput>& out, int& failures) {
    std::vector<fs::directory_entry> items;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        items.push_back(*it);
    if (ec) {
        ReportError("cannot read directory " + Quote(dir.string()) + ": " + ec.message());
        ++failures;
        return;
    }
    std::sort(items.begin(), items.end(),
              [](const fs::directory_entry& a, const fs::directory_entry& b) { return a.path() < b.path(); });
    if (items.empty()) {
        out.push_back({(dir / ".").string(), start, true, 0, {}});
        return;
    }
    for (const auto& item : items) {
        std::error_code e2;
        if (item.is_symlink(e2)) {
            ReportError("skipping symbolic link " + Quote(item.path().string()));
            continue;
        }
        if (item.is_directory(e2))
            Walk(item.path(), start, out, failures);
        else if (item.is_regular_file(e2))
            out.push_back({item.path().string(), start, false, static_cast<std::int64_t>(item.file_size(e2)), {}});
    }
}

// Opens ARCHIVE for list, test or extract; on failure reports it and answers the
// exit code (a file that will not open counts as damaged for "test").
std::optional<int> OpenOrReport(const std::string& archive, TOpened& a, bool damagedIsFailure) {
    if (!FileExists(archive)) {
        ReportError("cannot open " + Quote(archive) + ": no such file");
        return ExitFailure;
    }
    try {
        a = OpenForReading(archive);
    } catch (const std::exception& e) {
        if (damagedIsFailure) {
            ReportError(Quote(archive) + ": " + Describe(e));
            return ExitFailure;
        }
        ReportError(Quote(archive) + ": damaged: " + Describe(e));
        return ExitDamaged;
    }
    return std::nullopt;
}

} // namespace

int CreateCommand(const std::string& archive, const std::vector<std::string>& paths, const TCreateOptions& o,
                  bool progressWanted) {
    int failures = 0;
    std::vector<TInput> inputs;
    std::error_code ec;
    fs::path archiveAbs = fs::absolute(archive, ec).lexically_normal();
    for (const auto& p : paths) {
        fs::file_status st = fs::status(p, ec);
        if (fs::is_directory(st)) {
            fs::path abs = fs::absolute(p, ec).lexically_normal();
            std::string s = abs.string();
            if (s.size() > 1 && (s.back() == '/' || s.back() == '\\'))
                s.pop_back();
            Walk(fs::path(s), s, inputs, failures);
        } else if (fs::is_regular_file(st)) {
            // Windows takes "/" as a separator too; the stored name is what follows
            // the last separator, so name it in the platform's own form.
            inputs.push_back({fs::path(p).make_preferred().string(), "", false,
                              static_cast<std::int64_t>(fs::file_size(p, ec)), {}});
        } else {
            ReportError("cannot add " + Quote(p) + ": no such file or directory");
            ++failures;
        }
    }
    // Never archive the archive itself.
    inputs.erase(std::remove_if(inputs.begin(), inputs.end(),
                                [&](const TInput& in) {
                                    std::error_code e2;
                                    return fs::absolute(in.Path, e2).lexically_normal() == archiveAbs;
                                }),
                 inputs.end());

    if (fs::is_directory(archive, ec)) {
        ReportError(Quote(archive) + " is a directory");
        return ExitFailure;
    }
    if (FileExists(archive) && !DeleteFile(archive)) {
        ReportError("cannot replace " + Quote(archive));
        return ExitFailure;
    }
    TProgressBar bar(progressWanted);
    TWriteResult r = WriteArchive(archive, inputs, o, bar);
    if (!r.Written)
        return ExitFailure;
    return failures + r.LeftOut ? ExitDamaged : ExitOk;
}

int ListCommand(const std::string& archive) {
    TOpened a;
    if (auto rc = OpenOrReport(archive, a, true))
        return *rc;
    const TArchiveHeader& h = a.Arc->Header();
    std::string flags;
    if (a.Arc->Solid())
        flags += " solid";
    if (h.ArchiveFlag & afCompressed)
        flags += " compressed";
    if (h.ArchiveFlag & afReadOnly)
        flags += " read-only";
    std::printf("Archive: %s  (block size %d,%s)\n", archive.c_str(), h.BlockSize, flags.c_str());
    if (!h.Comment.empty())
        std::printf("Comment: %s\n", h.Comment.c_str());
    std::printf("%12s %12s %6s  %-16s %-5s %s\n", "Size", "Stored", "Ratio", "Date", "Flags", "Name");
    double size = 0, stored = 0;
    for (const auto& e : a.Entries) {
        DateTimeParts d;
        try {
            d = DecodeDateTime(e.Date);
        } catch (const Exception&) {
        }
        char date[32];
        std::snprintf(date, sizeof date, "%04d-%02d-%02d %02d:%02d", d.Year, d.Month, d.Day, d.Hour, d.Minute);
        std::string f;
        f += (e.EntryFlags & efFile) ? 'F' : '-';
        f += (e.EntryFlags & efFolder) ? 'D' : '-';
        f += (e.EntryFlags & efLastPart) ? 'L' : '-';
        char ratio[16] = "";
        if (e.FileInfo.Size > 0)
            std::snprintf(ratio, sizeof ratio, "%5.1f%%", 100.0 * e.FileInfo.CompressedSize / e.FileInfo.Size);
        std::printf("%12d %12d %6s  %-16s %-5s %s\n", e.FileInfo.Size, e.FileInfo.CompressedSize, ratio, date,
                    f.c_str(), e.Name.c_str());
        size += e.FileInfo.Size;
        stored += e.FileInfo.CompressedSize;
    }
    char ratio[16] = "";
    if (size > 0)
        std::snprintf(ratio, sizeof ratio, "%5.1f%%", 100.0 * stored / size);
    std::printf("%12.0f %12.0f %6s  %zu entries\n", size, stored, ratio, a.Entries.size());
    return ExitOk;
}

int TestCommand(const std::string& archive, bool progressWanted) {
    TOpened a;
    if (auto rc = OpenOrReport(archive, a, false))
        return *rc;
    TProgressBar bar(progressWanted);
    double total = 0, done = 0;
    for (const auto& e : a.Entries)
        total += e.PartInfo.CompressedSize;
    std::string temp = TempPath();
    int damaged = 0;
    for (const auto& e : a.Entries) {
        if (e.EntryFlags & efFolder)
            continue;
        bar.Update(total > 0 ? static_cast<int>(done * 100 / total) : 0, e.Name);
        std::string failure = ExtractOne(*a.Arc, e, temp, total);
        DeleteFile(temp);
        done += e.PartInfo.CompressedSize;
        if (!failure.empty()) {
            bar.Finish();
            ReportError("damaged entry " + Quote(e.Name) + ": " + failure);
            ++damaged;
        }
    }
    bar.Finish();
    std::printf("%zu entries tested, %d damaged\n", a.Entries.size(), damaged);
    return damaged ? ExitDamaged : ExitOk;
}

int ExtractCommand(const std::string& archive, const std::string& dir, const std::vector<std::string>& names,
                   bool progressWanted) {
    TOpened a;
    if (auto rc = OpenOrReport(archive, a, true))
        return *rc;
    std::vector<bool> asked(names.size(), false);
    TProgressBar bar(progressWanted);
    double total = 0, done = 0;
    for (const auto& e : a.Entries)
        total += e.PartInfo.CompressedSize;
    int failures = 0;
    std::string base = AddTrailingBackslash(dir);
    for (const auto& e : a.Entries) {
        if (!names.empty()) {
            bool wanted = false;
            for (std::size_t i = 0; i < names.size(); ++i)
                if (SameText(names[i], e.Name)) {
                    wanted = true;
                    asked[i] = true;
                }
            if (!wanted)
                continue;
        }
        TSafeName safe = CheckStoredName(e.Name);
        if (!safe.Ok) {
            bar.Finish();
            ReportError("refusing to extract " + Quote(e.Name) + ": " + safe.Reason);
            ++failures;
            continue;
        }
        std::string dest = base + JoinComponents(safe.Components);
        bar.Update(total > 0 ? static_cast<int>(done * 100 / total) : 0, e.Name);
        done += e.PartInfo.CompressedSize;
        if (e.EntryFlags & efFolder) {
            if (!safe.Components.empty() && !MakeDirPath(dest)) {
                bar.Finish();
                ReportError("cannot create directory " + Quote(dest));
                ++failures;
            }
            continue;
        }
        if (safe.Components.empty()) {
            ReportError("refusing to extract " + Quote(e.Name) + ": no file name");
            ++failures;
            continue;
        }
        std::string failure = ExtractOne(*a.Arc, e, dest, total);
        if (!failure.empty()) {
            bar.Finish();
            ReportError("damaged entry " + Quote(e.Name) + ": " + failure);
            ++failures;
        }
    }
    bar.Finish();
    for (std::size_t i = 0; i < names.size(); ++i)
        if (!asked[i]) {
            ReportError(Quote(names[i]) + " is not in the archive");
            ++failures;
        }
    return failures ? ExitDamaged : ExitOk;
}

} // namespace kx::kxarc
