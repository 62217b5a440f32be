// The setup's copy step (TCopyStep: one ExtractFile per selected file, as the
// installation run drives it) against `kxarc extract` (one pass over the entries)
// on the same archive, for many small files and for one large file. Whichever
// extractor the tree builds is the one measured. Target: copy step / kxarc <= 1.25.
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
#include "tools/kxarc/Commands.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// The copy step needs nothing of the system when no application is running.
class TNoSystem : public kx::TCopySystem {
public:
    bool NTFamily() override { return true; }
    std::string ShortPath(const std::string& path) override { return path; }
    bool MoveAtRestart(const std::string&, const std::string&) override { return false; }
    bool WriteRenameEntry(const std::string&, const std::string&) override { return false; }
    void FlushRenameFile() override {}
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
    TNoSystem system;
    long progressReports = 0;
    auto kxarc = [&](const fs::path& out) {
        if (kx::kxarc::ExtractCommand(c.Archive.string(), out.string(), {}, false) != 0)
            std::fprintf(stderr, "kxarc extract failed\n");
    };
    auto step = [&](const fs::path& out) {
        kx::TSetupFields fields;
        fields.FInstallDir = out.string() + "/";
        fields.FCompFiles = {line};
        kx::TCopyStep copy(fields, system);
        progressReports = 0;
        copy.OnProgress = [&](int) { ++progressReports; };
        copy.Run(c.Archive.string(), kx::TCopyFolders{fields.FInstallDir, fields.FInstallDir, ""}, false, {true});
    };
    // Once before the timing, so that both read the archive from the page cache.
    Timed(work / "warm", kxarc);
    double bestKxarc = 1e30, bestStep = 1e30;
    for (int r = 0; r < runs; ++r) {
        bestKxarc = std::min(bestKxarc, Timed(work / ("kxarc-" + std::to_string(r)), kxarc));
        bestStep = std::min(bestStep, Timed(work / ("step-" + std::to_string(r)), step));
        if (bestStep > 60) break; // one long run says enough
    }
    std::printf("%-15s kxarc extract %8.3f s   copy step %8.3f s   ratio %6.2f (target <= 1.25)   "
                "progress reports %ld\n",
                c.Name, bestKxarc, bestStep, bestStep / bestKxarc, progressReports);
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
