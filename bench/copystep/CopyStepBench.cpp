// The setup's copy step (each file staged, forced to the disk and renamed into
// place through the run's journal, as the installation run drives it) against
// `kxarc extract` (one pass over the entries) on the same archive, for many
// small files and for one large file. Targets: copy step / kxarc <= 1.30 for the
// small files, <= 1.05 for the large one; the payload check (every block's
// CRC-32, nothing expanded) under a tenth of the copy step.
//
// usage: bench_copystep [--small N] [--big MIB] [--runs N] [DIR]
//        (defaults: 10000 small files, one 256 MiB file, best of 3, a folder in /tmp)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/CopyStep.h"
#include "app/Journal.h"
#include "app/PayloadArchive.h"
#include "sys/Files.h"
#include "sys/NewFile.h"
#include "tools/kxarc/Commands.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// The files of the copy step on this machine's disk; nothing else of the system
// is needed when no application is running and every file goes to the target.
class TDiskSystem : public kx::TSetupSystem {
public:
    explicit TDiskSystem(std::string dir) : FDir(std::move(dir)) {}
    bool NTFamily() override { return true; }
    std::string WindowsDir() override { return FDir; }
    std::string SystemDir() override { return FDir; }
    std::string CommonFilesDir() override { return FDir; }
    std::string ProgramGroupDir(const std::string& group) override { return FDir + group + "/"; }
    bool WindowOfClassExists(const std::string&) override { return false; }
    std::string PathAtRestart(const std::string& path) override { return path; }
    std::int32_t FileAttributes(const std::string& path) override { return kx::FileGetAttr(path); }
    bool SetFileAttributes(const std::string& path, std::int32_t a) override { return kx::FileSetAttr(path, a); }
    std::int64_t FileSize(const std::string& path) override { return kx::FileSize(path); }
    std::unique_ptr<kx::TNewFile> CreateNewFile(const std::string& path) override { return kx::CreateNewFile(path); }
    std::string ReadFile(const std::string& path) override { return kx::LoadFileToString(path); }
    bool RenameFile(const std::string& from, const std::string& to) override {
        return kx::FileGetAttr(to) == -1 && kx::RenameFile(from, to);
    }
    bool DeleteFile(const std::string& path) override { return kx::DeleteFile(path); }
    bool CreateDir(const std::string& path) override { return kx::CreateDir(path); }
    bool RemoveDir(const std::string& path) override { return kx::RemoveDir(path); }
    std::string VersionResource(const std::string&) override { return {}; }
    std::vector<std::string> FolderNames(const std::string& dir) override {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
        return names;
    }
    bool MoveAtRestart(const std::string&, const std::string&) override { return false; }
    void CancelMoveAtRestart(const std::string&) override {}
    bool KeyExists(const std::string&) override { return false; }
    bool CreateKey(const std::string&) override { return false; }
    bool DeleteEmptyKey(const std::string&) override { return false; }
    std::optional<kx::TRegValue> ReadValue(const std::string&, const std::string&) override { return {}; }
    bool WriteValue(const std::string&, const std::string&, const kx::TRegValue&) override { return false; }
    bool DeleteValue(const std::string&, const std::string&) override { return false; }
    std::optional<kx::TServiceConfig> ServiceConfig(const std::string&) override { return {}; }
    bool ServiceRunning(const std::string&) override { return false; }
    bool StartService(const std::string&, int) override { return false; }
    bool StopService(const std::string&, int) override { return false; }
    bool SetServiceStartType(const std::string&, std::uint32_t) override { return false; }
    bool CreateService(const std::string&, const kx::TServiceConfig&) override { return false; }
    bool DeleteService(const std::string&) override { return false; }
    unsigned long ServiceNotRunningReason(const std::string&) override { return 0; }
    kx::TRunOutcome RunProgram(const std::string&, const std::string&) override { return {}; }
    std::string ErrorText(unsigned long) override { return {}; }
    bool SaveShortcut(const std::string&, const std::string&, const std::string&, const std::string&) override {
        return false;
    }
    void OpenFolder(const std::string&) override {}
    void Sleep(unsigned) override {}

private:
    std::string FDir;
};

// Text that compresses and noise that does not, deterministic.
std::string Content(std::size_t n, std::uint64_t seed) {
    static const char words[] = "installer payload archive block entry header setup wizard 0123456789\r\n";
    std::string s(n, '\0');
    std::uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    for (std::size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        s[i] = (i / 4096) % 2 ? static_cast<char>(x >> 24) : words[(x >> 32) % (sizeof words - 1)];
    }
    return s;
}

void Write(const fs::path& p, const std::string& data) { std::ofstream(p, std::ios::binary) << data; }

struct TCase {
    const char* Name;
    std::vector<std::string> Files; // stored names
    fs::path Archive;
};

// Seconds of one extraction into a folder never used before, after the writes of
// the previous one have reached the disk, so neither pays for the other.
template <class F>
double Timed(const fs::path& out, F&& f) {
    fs::create_directories(out);
    ::sync();
    const auto t0 = Clock::now();
    f(out);
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

void Measure(const TCase& c, const fs::path& work, int runs) {
    std::string line = "All=";
    for (const std::string& f : c.Files) line += f + ";";
    long progressReports = 0;
    // The setup reads its payload where Windows mapped it; here it is read
    // into memory before the clock starts.
    const std::string payload = kx::LoadFileToString(c.Archive.string());
    auto kxarc = [&](const fs::path& out) {
        if (kx::kxarc::ExtractCommand(c.Archive.string(), out.string(), {}, false) != 0)
            std::fprintf(stderr, "kxarc extract failed\n");
    };
    auto step = [&](const fs::path& out) {
        kx::TSetupFields fields;
        fields.FInstallDir = out.string() + "/";
        fields.FCompFiles = {line};
        TDiskSystem system(fields.FInstallDir);
        kx::TJournal journal(system, fields.FInstallDir + "run.jnl", "SOFTWARE\\Bench");
        kx::TRunUi ui;
        progressReports = 0;
        ui.SetProgress = [&](int) { ++progressReports; };
        kx::TRunContext run{fields, system, journal, payload, std::string_view(), {true}, ui};
        kx::BeginRun(run);
        kx::ExtractFiles(run);
        journal.Commit();
    };
    // Once before the timing, so that both read the archive from the page cache.
    Timed(work / "warm", kxarc);
    double bestKxarc = 1e30, bestStep = 1e30;
    for (int r = 0; r < runs; ++r) {
        bestKxarc = std::min(bestKxarc, Timed(work / ("kxarc-" + std::to_string(r)), kxarc));
        bestStep = std::min(bestStep, Timed(work / ("step-" + std::to_string(r)), step));
        if (bestStep > 60) break; // one long run says enough
    }
    // The whole payload checked before the first page, read from memory.
    double bestCheck = 1e30;
    for (int r = 0; r < runs; ++r) {
        const auto t0 = Clock::now();
        const kx::TPayloadCheck check = kx::CheckPayload(payload, {line});
        bestCheck = std::min(bestCheck, std::chrono::duration<double>(Clock::now() - t0).count());
        if (!check.Sound) std::fprintf(stderr, "payload check failed: %s\n", check.Problem.c_str());
    }
    std::printf("%-15s kxarc extract %8.3f s   copy step %8.3f s   ratio %6.2f   payload check %7.3f s "
                "(%.3f of the copy step)   progress reports %ld\n",
                c.Name, bestKxarc, bestStep, bestStep / bestKxarc, bestCheck, bestCheck / bestStep, progressReports);
    std::vector<fs::path> outputs;
    for (const auto& d : fs::directory_iterator(work))
        if (d.is_directory() && d.path().filename().string().rfind("src-", 0) != 0) outputs.push_back(d.path());
    for (const auto& d : outputs) fs::remove_all(d);
}

} // namespace

int main(int argc, char** argv) {
    int small = 10000, bigMiB = 256, runs = 3;
    fs::path work = fs::temp_directory_path() / "kx-bench-copystep";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--small" && i + 1 < argc)
            small = std::atoi(argv[++i]);
        else if (a == "--big" && i + 1 < argc)
            bigMiB = std::atoi(argv[++i]);
        else if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else
            work = a;
    }
    std::error_code ec;
    fs::remove_all(work, ec);

    TCase many{"small files", {}, work / "small.arc"};
    const fs::path smallDir = work / "src-small";
    fs::create_directories(smallDir);
    std::vector<std::string> paths;
    for (int i = 0; i < small; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%05d.dat", i);
        Write(smallDir / name, Content(200 + (i * 7919) % 3800, static_cast<std::uint64_t>(i)));
        many.Files.push_back(name);
        paths.push_back((smallDir / name).string());
    }
    kx::kxarc::TCreateOptions options;
    kx::kxarc::CreateCommand(many.Archive.string(), paths, options, false);

    TCase big{"one large file", {"big.dat"}, work / "big.arc"};
    fs::create_directories(work / "src-big");
    Write(work / "src-big" / "big.dat", Content(static_cast<std::size_t>(bigMiB) << 20, 7));
    kx::kxarc::CreateCommand(big.Archive.string(), {(work / "src-big" / "big.dat").string()}, options, false);

    std::printf("copy step against kxarc extract, best of %d: %d small files (%.1f MB archive), one %d MiB file "
                "(%.1f MB archive)\n",
                runs, small, fs::file_size(many.Archive) / 1e6, bigMiB, fs::file_size(big.Archive) / 1e6);
    Measure(many, work, runs);
    Measure(big, work, runs);
    fs::remove_all(work, ec);
    return 0;
}
