// Archive reading benchmark, on TQdxArch2 (the setup's component): ExtractFile
// throughput against bare zlib, the cost of passing over an entry, many small files
// extracted one ExtractFile call each against one pass over the archive, and the
// memory that extracting a large file takes.
//
//   bench_archive_read [--mib N] [--big-mib N] [--entries N] [--files N] [--rounds N]
//                      [--dir PATH] [--only throughput,skipping,files,memory]
//
// Defaults: a 256 MiB file measured in 5 rounds, a 1024 MiB file for the memory
// check, 10000 entries to pass over, 10000 small files, scratch files in the system
// temporary folder.
#include <chrono>
#include <ctime>
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

#include "archive/QdxArch2.h"
#include "archive/ZlibCodec.h"
#include "base/Ext80.h"

using namespace kx;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// CPU time of this thread, user and system: on a shared machine it counts the work
// done, not the waiting for a core.
double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

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

class BenchExtractor : public TQdxArch2 {
public:
    long Reads = 0, Seeks = 0;
    ~BenchExtractor() override { CloseForDestruction(); }

protected:
    std::unique_ptr<TStream> CreateFileStream(const std::string& name, std::uint16_t mode) override {
        return std::make_unique<CountingStream>(TQdxArch2::CreateFileStream(name, mode), Reads, Seeks);
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
                 std::vector<std::string>* keep = nullptr, std::uint32_t* sourceCrc = nullptr) {
        const std::int64_t entryPos = FPos;
        std::string header = Entry(name, size, 0, static_cast<std::int32_t>(entryPos));
        FOut.write(header.data(), static_cast<std::streamsize>(header.size()));
        FPos += static_cast<std::int64_t>(header.size());
        std::vector<std::uint8_t> src(65536), dst(compressBound(65536));
        std::int64_t stored = 0;
        for (std::int64_t at = 0; at < size; at += 65536) {
            std::int32_t n = static_cast<std::int32_t>(std::min<std::int64_t>(65536, size - at));
            gen(at, src.data(), n);
            if (sourceCrc) *sourceCrc = static_cast<std::uint32_t>(crc32(*sourceCrc, src.data(), static_cast<uInt>(n)));
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

std::uint32_t FileCrc(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::vector<char> buf(1 << 20);
    uLong crc = 0;
    while (f.read(buf.data(), static_cast<std::streamsize>(buf.size())) || f.gcount() > 0)
        crc = crc32(crc, reinterpret_cast<const Bytef*>(buf.data()), static_cast<uInt>(f.gcount()));
    return static_cast<std::uint32_t>(crc);
}

long StatusKiB(const char* field) {
    std::ifstream f("/proc/self/status");
    std::string line;
    const std::size_t len = std::strlen(field);
    while (std::getline(f, line))
        if (line.compare(0, len, field) == 0) return std::atol(line.c_str() + len + 1);
    return -1;
}

// Many small files: one ExtractFile call per file on the open archive, as the
// setup's copy step makes them, against one pass that lists the archive once and
// extracts every entry where it lies (what kxarc extract does). Best of three rounds
// in alternating order; on a disk the file creation swamps the rest, so give --dir a
// tmpfs (/dev/shm) to see the archive's part.
void ManySmallFiles(const std::string& dir, long files) {
    BenchArchive a(dir + "files.arc");
    std::vector<std::string> names;
    for (long i = 0; i < files; ++i) {
        names.push_back("dir\\file" + std::to_string(i) + ".txt");
        a.AddFile(names.back(), 100 + (i * 37) % 400, TextGen, Z_DEFAULT_COMPRESSION);
    }
    a.Finish();
    struct TRun {
        double Seconds = 1e30;
        std::int64_t Headers = 0;
    } perCall, onePass, withHandler;
    long reports = 0;
    auto runPerCall = [&](const std::string& out, TRun& run, bool handler) {
        TQdxArch2 x;
        x.SetFileName(dir + "files.arc");
        x.SetReadOnly(true);
        if (handler) x.OnFileProgress = [&](TArchiverRoot*, int) { ++reports; };
        auto t0 = Clock::now();
        x.Open();
        for (long i = 0; i < files; ++i)
            x.ExtractFile(names[i], out + std::to_string(i));
        run.Seconds = std::min(run.Seconds, Seconds(t0, Clock::now()));
        run.Headers = x.EntryHeadersRead();
    };
    auto runOnePass = [&](const std::string& out) {
        TQdxArch2 x;
        x.SetFileName(dir + "files.arc");
        x.SetReadOnly(true);
        x.SetOptions(TOptions(x.Options()).Include(oMaintainFileDirectory));
        auto t0 = Clock::now();
        x.Open();
        std::vector<TFileEntry> entries;
        for (const auto& o : x.FileList()) entries.push_back(o->FileEntry);
        for (std::size_t i = 0; i < entries.size(); ++i)
            x.ExtractEntryAt(entries[i].Segment, entries[i].Offset, out + std::to_string(i), 0);
        onePass.Seconds = std::min(onePass.Seconds, Seconds(t0, Clock::now()));
        onePass.Headers = x.EntryHeadersRead();
    };
    bool same = true;
    for (int round = 0; round < 3; ++round) {
        const std::string out = dir + "out" + std::to_string(round) + "/";
        std::filesystem::create_directories(out + "a");
        std::filesystem::create_directories(out + "b");
        if (round % 2 == 0) {
            runPerCall(out + "a/", perCall, false);
            runOnePass(out + "b/");
        } else {
            runOnePass(out + "b/");
            runPerCall(out + "a/", perCall, false);
        }
        for (long i = 0; i < files; i += files / 10 + 1)
            same = same && std::filesystem::file_size(out + "a/" + std::to_string(i)) ==
                               std::filesystem::file_size(out + "b/" + std::to_string(i));
        std::filesystem::remove_all(out);
    }
    // The setup listens to OnFileProgress, which reports after every entry passed over.
    std::filesystem::create_directories(dir + "outh/");
    runPerCall(dir + "outh/", withHandler, true);
    std::filesystem::remove_all(dir + "outh/");
    std::printf("files: %ld small files\n", files);
    std::printf("  one ExtractFile per file: %.3f s, %lld entry headers read (%.2f per file)\n", perCall.Seconds,
                static_cast<long long>(perCall.Headers), double(perCall.Headers) / files);
    std::printf("  one pass (list, then extract each where it lies): %.3f s, %lld entry headers read\n",
                onePass.Seconds, static_cast<long long>(onePass.Headers));
    std::printf("  ratio per-file calls / one pass: time %.3f (target <= 1.25), headers %.3f%s\n",
                perCall.Seconds / onePass.Seconds, double(perCall.Headers) / double(onePass.Headers),
                same ? "" : "  [OUTPUT MISMATCH]");
    std::printf("  one ExtractFile per file with a progress handler: %.3f s, %ld reports (%.1f per call)\n",
                withHandler.Seconds, reports, double(reports) / files);
    std::filesystem::remove(dir + "files.arc");
}

} // namespace

int main(int argc, char** argv) {
    long mib = 256, bigMib = 1024, entries = 10000, files = 10000, rounds = 5;
    std::string base = std::filesystem::temp_directory_path().string();
    std::string only = "throughput,skipping,files,memory";
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--mib") mib = std::atol(argv[i + 1]);
        else if (a == "--big-mib") bigMib = std::atol(argv[i + 1]);
        else if (a == "--entries") entries = std::atol(argv[i + 1]);
        else if (a == "--files") files = std::atol(argv[i + 1]);
        else if (a == "--rounds") rounds = std::max(1L, std::atol(argv[i + 1]));
        else if (a == "--dir") base = argv[i + 1];
        else if (a == "--only") only = argv[i + 1];
        else {
            std::fprintf(stderr, "unknown option %s\n", a.c_str());
            return 2;
        }
    }
    auto wanted = [&](const char* section) { return ("," + only + ",").find(std::string(",") + section + ",") != std::string::npos; };
    const std::string dir = base + "/kx-archive-bench-" + std::to_string(getpid()) + "/";
    std::filesystem::create_directories(dir);

    // 1. Throughput: the three measures interleaved, best of each over the rounds, in
    // CPU time of the thread (user and system, so the page-cache writes count).
    if (wanted("throughput")) {
        std::vector<std::string> blocks;
        const std::int64_t size = mib * 1024 * 1024;
        std::uint32_t sourceCrc = 0;
        BenchArchive a(dir + "big.arc");
        a.AddFile("big.dat", size, TextGen, Z_DEFAULT_COMPRESSION, &blocks, &sourceCrc);
        a.Finish();
        std::vector<std::uint8_t> out(66191);
        double codec = 1e30, bare = 1e30, extract = 1e30, extractWall = 0;
        bool same = true;
        for (long round = 0; round < rounds; ++round) {
            double c0 = CpuSeconds();
            std::int64_t total = 0;
            for (const std::string& b : blocks) {
                std::int32_t n = 65536;
                ZlibUncompressBlock(out.data(), n, reinterpret_cast<const std::uint8_t*>(b.data()),
                                    static_cast<std::int32_t>(b.size()));
                total += n;
            }
            double c1 = CpuSeconds();
            for (const std::string& b : blocks) {
                uLongf n = 65536;
                uncompress(out.data(), &n, reinterpret_cast<const Bytef*>(b.data()), static_cast<uLong>(b.size()));
            }
            double c2 = CpuSeconds();
            std::filesystem::remove(dir + "big.out");
            BenchExtractor x;
            x.SetFileName(dir + "big.arc");
            x.SetReadOnly(true);
            x.Open();
            double c3 = CpuSeconds();
            auto t3 = Clock::now();
            x.ExtractFile("big.dat", dir + "big.out");
            auto t4 = Clock::now();
            double c4 = CpuSeconds();
            x.Close();
            codec = std::min(codec, c1 - c0);
            bare = std::min(bare, c2 - c1);
            if (c4 - c3 < extract) {
                extract = c4 - c3;
                extractWall = Seconds(t3, t4);
            }
            same = same && total == size && FileCrc(dir + "big.out") == sourceCrc;
        }
        std::printf("throughput: %ld MiB file, %zu compressed blocks (%.1f MiB stored), best of %ld, CPU time\n",
                    mib, blocks.size(), std::filesystem::file_size(dir + "big.arc") / 1048576.0, rounds);
        std::printf("  inflate, state kept:   %.3f s (%.0f MiB/s)\n", codec, mib / codec);
        std::printf("  zlib uncompress():     %.3f s (%.0f MiB/s)\n", bare, mib / bare);
        std::printf("  ExtractFile:           %.3f s (%.0f MiB/s; wall %.3f s)\n", extract, mib / extract,
                    extractWall);
        std::printf("  ratio ExtractFile/uncompress(): %.3f (target >= 0.9), ExtractFile/inflate: %.3f%s\n",
                    bare / extract, codec / extract, same ? "" : "  [OUTPUT MISMATCH]");
        std::filesystem::remove(dir + "big.arc");
        std::filesystem::remove(dir + "big.out");
    }

    // 2. Passing over entries.
    if (wanted("skipping")) {
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

    // 3. Many small files.
    if (wanted("files")) ManySmallFiles(dir, files);

    // 4. Peak memory while extracting a large file (in a child, so that the peak
    // belongs to the extraction alone).
    if (wanted("memory")) {
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
