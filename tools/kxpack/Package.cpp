// Reading a package from disk; see Package.h.
#include "tools/kxpack/Package.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

#include "app/MemIniFile.h"
#include "base/Format.h"
#include "sys/Files.h"
#include "sys/FileTimes.h"
#include "sys/NativePath.h"
#include "tools/kxarc/ArchiveIo.h"

namespace fs = std::filesystem;

namespace kx::kxpack {

namespace {

constexpr std::int64_t MaxStoredSize = 0x7FFFFFFF; // sizes in the payload are signed 32-bit

struct TFileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

std::optional<std::string> ReadIfPresent(const fs::path& path) {
    std::error_code ec;
    fs::file_status st = fs::status(path, ec);
    if (!fs::exists(st))
        return std::nullopt;
    if (fs::is_directory(st))
        throw EInputOutput(Format("%s is a directory, not a file", PathToNative(path)));
    std::vector<std::uint8_t> bytes = ReadBinaryFile(PathToNative(path));
    return std::string(bytes.begin(), bytes.end());
}

std::string Join(const std::vector<std::string>& parts) {
    std::string s;
    for (const std::string& p : parts)
        s += (s.empty() ? "" : "\\") + p;
    return s;
}

// When the file was last written, in UTC.
TDateTime ModifiedUtc(const std::string& path) {
    std::int64_t seconds = 0;
    int milliseconds = 0;
    if (!ModifiedTimeUtc(path, seconds, milliseconds))
        throw EInputOutput(Format("cannot read the time of %s", path));
    return UtcDateTime(seconds, milliseconds);
}

// The files below dir in a stable order (sorted by name per level); symbolic
// links to files are followed, links to folders are not.
void Walk(const fs::path& dir, std::vector<std::string>& below, TPackage& package) {
    std::vector<fs::directory_entry> items;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        items.push_back(*it);
    if (ec)
        throw EInputOutput(Format("cannot read the folder %s: %s", PathToNative(dir), ec.message()));
    std::sort(items.begin(), items.end(),
              [](const fs::directory_entry& a, const fs::directory_entry& b) { return a.path() < b.path(); });
    for (const auto& item : items) {
        std::error_code e2;
        below.push_back(PathToNative(item.path().filename()));
        std::string stored = Join(below);
        std::string shown = std::string(FilesFolderName) + "/" + stored;
        std::replace(shown.begin(), shown.end(), '\\', '/');
        if (item.is_directory(e2)) {
            if (item.is_symlink(e2))
                package.Findings.push_back({TSeverity::Warning, shown, 0,
                                            "a link to a folder; its files are not packed (copy them instead)"});
            else
                Walk(item.path(), below, package);
        } else if (item.is_regular_file(e2)) {
            std::int64_t size = static_cast<std::int64_t>(item.file_size(e2));
            if (e2)
                throw EInputOutput(Format("cannot read %s: %s", PathToNative(item.path()), e2.message()));
            if (size > MaxStoredSize) {
                package.Findings.push_back({TSeverity::Error, shown, 0,
                                            "the file is 2 GB or larger; the payload cannot store it"});
            } else {
                const std::string path = PathToNative(item.path());
                package.Files.push_back({path, stored, size, ModifiedUtc(path)});
            }
        } else {
            package.Findings.push_back({TSeverity::Warning, shown, 0,
                                        "neither a file nor a folder (or a broken link); not packed"});
        }
        below.pop_back();
    }
}

void ReadArchivePayload(const std::string& archive, TPackage& package, kxarc::TProgressBar& bar) {
    std::error_code ec;
    if (!fs::is_regular_file(NativeToPath(archive), ec))
        throw EInputOutput(Format("cannot read the payload archive %s: no such file", archive));
    auto problem = [&](const std::string& text) {
        package.Findings.push_back({TSeverity::Error, archive, 0, text});
    };
    kxarc::TOpened a;
    try {
        a = kxarc::OpenForReading(archive);
    } catch (const std::exception& e) {
        problem("not a usable payload archive: " + kxarc::Describe(e));
        return;
    }
    if (a.Arc->SpansSegments())
        problem("one segment of a multi-segment archive; the setup carries a single segment");
    double total = 0, done = 0;
    for (const TFileEntry& e : a.Entries)
        total += e.PartInfo.CompressedSize;
    std::string temp = kxarc::TempPath();
    for (const TFileEntry& e : a.Entries) {
        if (e.EntryFlags & efFolder)
            continue;
        package.Content.PayloadNames.push_back(e.Name);
        bar.Update(total > 0 ? static_cast<int>(done * 100 / total) : 0, "testing " + e.Name);
        std::string failure = kxarc::ExtractOne(*a.Arc, e, temp, total);
        DeleteFile(temp);
        done += e.PartInfo.CompressedSize;
        if (!failure.empty())
            problem(Format("the entry '%s' is damaged: %s", e.Name, failure));
    }
    bar.Finish();
}

} // namespace

std::string WithDefaultFolders(const std::string& script) {
    const TMemIniFile ini(script);
    const std::string missing = "\x01";
    std::string added;
    for (auto [key, value] : {std::pair{"VendorDir", DefaultVendorDir}, std::pair{"SharedDir", DefaultSharedDir}})
        if (ini.ReadString("COMMON", key, missing) == missing)
            added += std::string(key) + "=" + value + "\r\n";
    if (added.empty())
        return script;
    std::string out = script;
    if (!out.empty() && out.back() != '\n' && out.back() != '\r')
        out += "\r\n";
    // A section named again continues the first one.
    return out + "[Common]\r\n" + added;
}

TDateTime UtcDateTime(std::int64_t unixSeconds, int milliseconds) {
    using namespace std::chrono;
    const sys_seconds at{seconds{unixSeconds}};
    const sys_days day = floor<days>(at);
    const year_month_day ymd{day};
    const hh_mm_ss<seconds> time{at - day};
    DateTimeParts p;
    p.Year = static_cast<int>(ymd.year());
    p.Month = static_cast<int>(static_cast<unsigned>(ymd.month()));
    p.Day = static_cast<int>(static_cast<unsigned>(ymd.day()));
    p.Hour = static_cast<int>(time.hours().count());
    p.Minute = static_cast<int>(time.minutes().count());
    p.Second = static_cast<int>(time.seconds().count());
    p.MilliSecond = milliseconds;
    return EncodeDateTime(p);
}

std::vector<std::uint8_t> ReadBinaryFile(const std::string& path) {
    std::unique_ptr<std::FILE, TFileCloser> f(std::fopen(path.c_str(), "rb"));
    if (!f)
        throw EInputOutput(Format("cannot read %s: %s", path, std::strerror(errno)));
    std::vector<std::uint8_t> bytes;
    std::error_code ec;
    std::uintmax_t expected = fs::file_size(NativeToPath(path), ec);
    if (!ec && expected <= static_cast<std::uintmax_t>(MaxStoredSize))
        bytes.reserve(static_cast<std::size_t>(expected));
    std::uint8_t buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + n);
        if (bytes.size() > static_cast<std::size_t>(MaxStoredSize))
            throw EInputOutput(Format("cannot read %s: 2 GB or larger", path));
    }
    if (std::ferror(f.get()))
        throw EInputOutput(Format("cannot read %s: %s", path, std::strerror(errno)));
    return bytes;
}

TPackage ReadPackage(const std::string& dir, const std::string& payloadArchive, kxarc::TProgressBar& bar) {
    TPackage package;
    std::error_code ec;
    if (!fs::is_directory(NativeToPath(dir), ec))
        throw EInputOutput(Format("the package folder %s does not exist", dir));
    const fs::path root = NativeToPath(dir);
    package.Content.Script = ReadIfPresent(root / ScriptFileName);
    package.Content.Icon = ReadIfPresent(root / IconFileName);
    for (int i = 0; i < 3; ++i)
        package.Content.Licences[i] = ReadIfPresent(root / LicenceFileNames[i]);

    const fs::path files = root / FilesFolderName;
    if (!payloadArchive.empty()) {
        package.Content.PayloadArchive = payloadArchive;
        if (fs::exists(files, ec))
            package.Findings.push_back({TSeverity::Warning, std::string(FilesFolderName) + "/", 0,
                                        "not packed: the payload comes from " + payloadArchive});
        ReadArchivePayload(payloadArchive, package, bar);
        return package;
    }
    if (!fs::is_directory(files, ec)) {
        package.Findings.push_back({TSeverity::Error, std::string(FilesFolderName) + "/", 0,
                                    "the folder of payload files is missing"});
        return package;
    }
    std::vector<std::string> below;
    Walk(files, below, package);
    for (const TPayloadFile& f : package.Files)
        package.Content.PayloadNames.push_back(f.StoredName);
    return package;
}

} // namespace kx::kxpack
