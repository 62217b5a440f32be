// Writer throughput: the single-threaded writer against compress2 alone on the
// same blocks, kxarc create on all cores against one, and the archive's size
// beside gzip -6 of the same bytes.
//
// usage: bench_writer [DIR [MAX_MB]]   (default /usr/lib/x86_64-linux-gnu, 64 MB)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>
#include <zlib.h>

#include "archive/QdxArch2.h"
#include "base/Random.h"
#include "tools/kxarc/Commands.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

std::vector<char> Load(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    return std::vector<char>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

} // namespace

int main(int argc, char** argv) {
    std::string dir = argc > 1 ? argv[1] : "/usr/lib/x86_64-linux-gnu";
    std::int64_t cap = (argc > 2 ? std::atoll(argv[2]) : 64) * 1024 * 1024;
    std::vector<std::string> files;
    std::int64_t total = 0;
    std::error_code ec;
    std::vector<fs::path> all;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file(ec) && !it->is_symlink(ec))
            all.push_back(it->path());
    std::sort(all.begin(), all.end());
    for (const auto& p : all) {
        std::int64_t s = static_cast<std::int64_t>(fs::file_size(p, ec));
        if (ec || s <= 0 || s > 0x7FFFFFFF || total + s > cap)
            continue;
        files.push_back(p.string());
        total += s;
    }
    std::printf("input: %zu files, %.1f MB from %s\n", files.size(), total / 1048576.0, dir.c_str());
    fs::path work = fs::temp_directory_path() / "kx-bench-writer";
    fs::remove_all(work, ec);
    fs::create_directories(work);

    // Warm the page cache so both runs read from memory.
    std::vector<std::vector<char>> contents;
    for (const auto& f : files)
        contents.push_back(Load(f));

    // 1. compress2 alone over the writer's blocks.
    const std::int32_t block = 65536, cap1 = block + block / 100;
    std::vector<unsigned char> out(static_cast<std::size_t>(cap1));
    double stored = 0;
    auto t0 = Clock::now();
    for (const auto& c : contents)
        for (std::size_t off = 0; off < c.size(); off += block) {
            uLongf len = static_cast<uLongf>(cap1);
            uLong n = static_cast<uLong>(std::min<std::size_t>(block, c.size() - off));
            int rc = compress2(out.data(), &len, reinterpret_cast<const Bytef*>(c.data() + off), n, Z_DEFAULT_COMPRESSION);
            stored += 8 + ((rc == Z_OK && len < n) ? len : n);
        }
    auto t1 = Clock::now();
    double compressOnly = Seconds(t0, t1);

    // 2. the single-threaded writer.
    std::string arcPath = (work / "single.arc").string();
    kx::SetRandSeed(1);
    t0 = Clock::now();
    {
        kx::TQdxArch2 arc;
        arc.SetFileName(arcPath);
        arc.Open();
        for (const auto& f : files)
            arc.AddFile(f);
        arc.Close();
    }
    t1 = Clock::now();
    double writer = Seconds(t0, t1);
    std::printf("compress2 alone   : %7.3f s  %7.1f MB/s\n", compressOnly, total / 1048576.0 / compressOnly);
    std::printf("writer, 1 thread  : %7.3f s  %7.1f MB/s  (compress2 time / writer time = %.3f)\n", writer,
                total / 1048576.0 / writer, compressOnly / writer);

    // 3. kxarc create: one thread against all cores, from the same files.
    std::vector<std::string> inputs = files;
    kx::kxarc::TCreateOptions o;
    o.HaveSeed = true;
    o.Seed = 7;
    o.Jobs = 1;
    std::string one = (work / "one.arc").string(), many = (work / "many.arc").string();
    t0 = Clock::now();
    int rc1 = kx::kxarc::CreateCommand(one, inputs, o, false);
    t1 = Clock::now();
    double single = Seconds(t0, t1);
    o.Jobs = std::max(1u, std::thread::hardware_concurrency());
    t0 = Clock::now();
    int rc2 = kx::kxarc::CreateCommand(many, inputs, o, false);
    t1 = Clock::now();
    double multi = Seconds(t0, t1);
    bool same = Load(one) == Load(many);
    std::printf("kxarc create -j1  : %7.3f s (rc %d)\n", single, rc1);
    std::printf("kxarc create -j%-2u : %7.3f s (rc %d)  speed-up %.2fx, archives %s\n", o.Jobs, multi, rc2,
                single / multi, same ? "identical" : "DIFFER");

    // 4. size beside gzip -6 over the same bytes in one stream.
    std::string cat = (work / "all.bin").string();
    {
        std::ofstream f(cat, std::ios::binary);
        for (const auto& c : contents)
            f.write(c.data(), static_cast<std::streamsize>(c.size()));
    }
    std::string cmd = "gzip -6 -c '" + cat + "' | wc -c";
    double gz = -1;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        std::fscanf(p, "%lf", &gz);
        pclose(p);
    }
    double arcSize = static_cast<double>(fs::file_size(arcPath, ec));
    std::printf("archive size      : %.0f bytes, %.1f%% of input (blocks alone %.1f%%)\n", arcSize,
                100.0 * arcSize / total, 100.0 * stored / total);
    std::printf("gzip -6 size      : %.0f bytes, %.1f%% of input\n", gz, 100.0 * gz / total);
    fs::remove_all(work, ec);
    return 0;
}
