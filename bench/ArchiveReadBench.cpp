// Archive reading benchmark: ExtractFile throughput against bare zlib, the cost of
// passing over an entry, and the memory that extracting a large file takes.
//
//   bench_archive_read [--mib N] [--big-mib N] [--entries N] [--dir PATH]
//
// Defaults: a 256 MiB file, a 1024 MiB file for the memory check, 10000 entries,
// scratch files in the system temporary folder.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

#include "archive/JodCustExtractor.h"
#include "archive/ZlibCodec.h"
#include "base/Ext80.h"

using namespace kx;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Counts the calls that reach the file.
class CountingStream : public TStream {
public:
    CountingStream(std::unique_ptr<TStream> inner, long& reads, long& seeks)
        : FInner(std::move(inner)), FReads(reads), FSeeks(seeks) {}
    std::int32_t Read(void* b, std::int32_t n) override {
        ++FReads;
        return FInner->Read(b, n);
    }
    std::int32_t Write(const void* b, std::int32_t n) override { return FInner->Write(b, n); }
    std::int64_t Seek(std::int64_t o, TSeekOrigin origin) override {
        ++FSeeks;
        return FInner->Seek(o, origin);
    }
    void SetSize(std::int64_t n) override { FInner->SetSize(n); }

private:
    std::unique_ptr<TStream> FInner;
    long& FReads;
    long& FSeeks;
};

class BenchExtractor : public TCustomExtractor {
public:
    long Reads = 0, Seeks = 0;
    ~BenchExtractor() override {
        FDestroying = true;
        try {
            Close();
        } catch (...) {
        }
    }

protected:
    std::int32_t GetMaxBlockSize() override { return FHeader.BlockSize + FHeader.BlockSize / 100; }
    bool UncompressBlock(std::uint8_t* d, std::int32_t& ds, const std::uint8_t* s, std::int32_t ss) override {
        return ZlibUncompressBlock(d, ds, s, ss);
    }
    std::unique_ptr<TStream> CreateFileStream(const std::string& name, std::uint16_t mode) override {
        return std::make_unique<CountingStream>(TCustomExtractor::CreateFileStream(name, mode), Reads, Seeks);
    }
};

void Put32(std::string& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// Archive writer for the benchmark's inputs (the layout of the format tables).
class BenchArchive {
public:
    explicit BenchArchive(const std::string& path) : FOut(path, std::ios::binary | std::ios::trunc) {
        FOut.write(std::string(633, '\0').data(), 633);
        FPos = 633;
    }
    // Adds a file whose data comes from gen(offset, buffer, count); keeps the
    // compressed blocks in memory when keep is given.
    template <class Gen>
    void AddFile(const std::string& name, std::int64_t size, Gen gen, int level,
                 std::vector<std::string>* keep = nullptr) {
        const std::int64_t entryPos = FPos;
        std::string header = Entry(name, size, 0, static_cast<std::int32_t>(entryPos));
        FOut.write(header.data(), static_cast<std::streamsize>(header.size()));
        FPos += static_cast<std::int64_t>(header.size());
        std::vector<std::uint8_t> src(65536), dst(compressBound(65536));
        std::int64_t stored = 0;
        for (std::int64_t at = 0; at < size; at += 65536) {
            std::int32_t n = static_cast<std::int32_t>(std::min<std::int64_t>(65536, size - at));
            gen(at, src.data(), n);
            uLongf len = static_cast<uLongf>(dst.size());
            compress2(dst.data(), &len, src.data(), static_cast<uLong>(n), level);
            std::string block;
            if (static_cast<std::int32_t>(len) < n) {
                Put32(block, static_cast<std::uint32_t>(len));
                Put32(block, BlockCheck(dst.data(), static_cast<std::uint32_t>(len)));
                block.append(reinterpret_cast<char*>(dst.data()), len);
                if (keep) keep->emplace_back(reinterpret_cast<char*>(dst.data()), len);
            } else {
                Put32(block, static_cast<std::uint32_t>(-n));
                Put32(block, BlockCheck(src.data(), static_cast<std::uint32_t>(n)));
                block.append(reinterpret_cast<char*>(src.data()), static_cast<std::size_t>(n));
            }
            FOut.write(block.data(), static_cast<std::streamsize>(block.size()));
            stored += static_cast<std::int64_t>(block.size());
        }
        FPos += stored;
        header = Entry(name, size, static_cast<std::int32_t>(stored), static_cast<std::int32_t>(entryPos));
        FOut.seekp(entryPos);
        FOut.write(header.data(), static_cast<std::streamsize>(header.size()));
        FOut.seekp(FPos);
        ++FCount;
        FSize += static_cast<double>(size);
        FStored += static_cast<double>(stored);
    }
    void Finish() {
        std::string h;
        Put32(h, 4664);
        Put32(h, 1);
        Put32(h, 1);
        Put32(h, 65536);
        Put32(h, static_cast<std::uint32_t>(FPos));
        Put32(h, 1);
        h.push_back(0x09);
        for (int k = 0; k < 2; ++k) {
            Put32(h, static_cast<std::uint32_t>(FCount));
            std::uint8_t e[10];
            DoubleToExt80(FSize, e);
            h.append(reinterpret_cast<char*>(e), 10);
            DoubleToExt80(FStored, e);
            h.append(reinterpret_cast<char*>(e), 10);
        }
        h.append(132 + 424 + 4, '\0');
        FOut.seekp(0);
        FOut.write(h.data(), static_cast<std::streamsize>(h.size()));
        FOut.close();
    }

private:
    static std::string Entry(const std::string& name, std::int64_t size, std::int32_t stored, std::int32_t offset) {
        std::string e;
        Put32(e, static_cast<std::uint32_t>(name.size()));
        e += name;
        std::uint8_t date[10];
        DoubleToExt80(44000.5, date);
        e.append(reinterpret_cast<char*>(date), 10);
        Put32(e, 0);
        e.push_back(1);
        e.push_back(0);
        Put32(e, static_cast<std::uint32_t>(offset));
        Put32(e, 0);
        e.push_back(5);
        Put32(e, static_cast<std::uint32_t>(size));
        Put32(e, static_cast<std::uint32_t>(stored));
        Put32(e, static_cast<std::uint32_t>(size));
        Put32(e, static_cast<std::uint32_t>(stored));
        return e;
    }
    std::ofstream FOut;
    std::int64_t FPos = 0;
    std::int32_t FCount = 0;
    double FSize = 0, FStored = 0;
};

// Text-like data that deflate shrinks about three to four times.
void TextGen(std::int64_t at, std::uint8_t* out, std::int32_t n) {
    static const char* words[] = {"archive", "setup", "block", "zlib", "entry", "segment", "file", "wizard",
                                  "install", "Windows", "service", "registry", "shortcut", "program", "data", "path"};
    std::uint64_t s = static_cast<std::uint64_t>(at) * 0x9E3779B97F4A7C15ull + 7;
    std::int32_t i = 0;
    while (i < n) {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        const char* w = words[s & 15];
        while (*w && i < n) out[i++] = static_cast<std::uint8_t>(*w++);
        if (i < n) out[i++] = (s >> 8) % 9 == 0 ? '\n' : ' ';
        if (i < n && (s >> 16) % 5 == 0) out[i++] = static_cast<std::uint8_t>('0' + (s >> 24) % 10);
    }
}

long StatusKiB(const char* field) {
    std::ifstream f("/proc/self/status");
    std::string line;
    const std::size_t len = std::strlen(field);
    while (std::getline(f, line))
        if (line.compare(0, len, field) == 0) return std::atol(line.c_str() + len + 1);
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    long mib = 256, bigMib = 1024, entries = 10000;
    std::string base = std::filesystem::temp_directory_path().string();
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--mib") mib = std::atol(argv[i + 1]);
        else if (a == "--big-mib") bigMib = std::atol(argv[i + 1]);
        else if (a == "--entries") entries = std::atol(argv[i + 1]);
        else if (a == "--dir") base = argv[i + 1];
        else {
            std::fprintf(stderr, "unknown option %s\n", a.c_str());
            return 2;
        }
    }
    const std::string dir = base + "/kx-archive-bench-" + std::to_string(getpid()) + "/";
    std::filesystem::create_directories(dir);

    // 1. Throughput.
    {
        std::vector<std::string> blocks;
        const std::int64_t size = mib * 1024 * 1024;
        BenchArchive a(dir + "big.arc");
        a.AddFile("big.dat", size, TextGen, Z_DEFAULT_COMPRESSION, &blocks);
        a.Finish();
        std::vector<std::uint8_t> out(66191);
        auto t0 = Clock::now();
        std::int64_t total = 0;
        for (const std::string& b : blocks) {
            std::int32_t n = 65536;
            ZlibUncompressBlock(out.data(), n, reinterpret_cast<const std::uint8_t*>(b.data()),
                                static_cast<std::int32_t>(b.size()));
            total += n;
        }
        auto t1 = Clock::now();
        BenchExtractor x;
        x.SetFileName(dir + "big.arc");
        x.SetReadOnly(true);
        x.Open();
        auto t2 = Clock::now();
        x.ExtractFile("big.dat", dir + "big.out");
        auto t3 = Clock::now();
        x.Close();
        const double zs = Seconds(t0, t1), xs = Seconds(t2, t3);
        const bool same = std::filesystem::file_size(dir + "big.out") == static_cast<std::uintmax_t>(size) &&
                          total == size;
        std::printf("throughput: %ld MiB file, %zu compressed blocks (%.1f MiB stored)\n", mib, blocks.size(),
                    std::filesystem::file_size(dir + "big.arc") / 1048576.0);
        std::printf("  zlib uncompress alone: %.3f s (%.0f MiB/s)\n", zs, mib / zs);
        std::printf("  ExtractFile:           %.3f s (%.0f MiB/s)\n", xs, mib / xs);
        std::printf("  ratio ExtractFile/zlib throughput: %.3f (target >= 0.85)%s\n", zs / xs,
                    same ? "" : "  [SIZE MISMATCH]");
        std::filesystem::remove(dir + "big.arc");
        std::filesystem::remove(dir + "big.out");
    }

    // 2. Passing over entries.
    {
        BenchArchive a(dir + "many.arc");
        for (long i = 0; i < entries; ++i)
            a.AddFile("file" + std::to_string(i) + ".txt", 200, TextGen, Z_DEFAULT_COMPRESSION);
        a.Finish();
        BenchExtractor x;
        x.SetFileName(dir + "many.arc");
        x.SetReadOnly(true);
        x.Open();
        x.Reads = x.Seeks = 0;
        auto t0 = Clock::now();
        x.ExtractFile("not-in-the-archive", dir + "none.out");
        auto t1 = Clock::now();
        std::printf("skipping: %ld entries passed over in %.3f ms (%.2f us per entry)\n", entries,
                    Seconds(t0, t1) * 1e3, Seconds(t0, t1) * 1e6 / entries);
        std::printf("  file calls: %ld reads + %ld seeks = %.2f per entry (target <= 4)\n", x.Reads, x.Seeks,
                    double(x.Reads + x.Seeks) / entries);
        x.Close();
        std::filesystem::remove(dir + "many.arc");
    }

    // 3. Peak memory while extracting a large file (in a child, so that the peak
    // belongs to the extraction alone).
    {
        BenchArchive a(dir + "huge.arc");
        a.AddFile("huge.dat", bigMib * 1024 * 1024, TextGen, 1);
        a.Finish();
        std::fflush(stdout);
        pid_t child = fork();
        if (child == 0) {
            BenchExtractor x;
            x.SetFileName(dir + "huge.arc");
            x.SetReadOnly(true);
            const long before = StatusKiB("VmRSS:");
            const long hwmBefore = StatusKiB("VmHWM:");
            x.Open();
            x.ExtractFile("huge.dat", dir + "huge.out");
            x.Close();
            const long hwm = StatusKiB("VmHWM:");
            std::printf("memory: extracting a %ld MiB file: RSS before %ld KiB, peak %ld KiB (peak before %ld KiB)\n",
                        bigMib, before, hwm, hwmBefore);
            std::printf("  peak above baseline: %.2f MiB (target < 16 MiB)\n",
                        (hwm - std::max(before, 0L)) / 1024.0);
            std::fflush(stdout);
            _exit(0);
        }
        int st = 0;
        waitpid(child, &st, 0);
        std::filesystem::remove(dir + "huge.arc");
        std::filesystem::remove(dir + "huge.out");
    }
    std::filesystem::remove_all(dir);
    return 0;
}
