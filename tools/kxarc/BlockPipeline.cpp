// Read-ahead compression on worker threads; see BlockPipeline.h.
#include "tools/kxarc/BlockPipeline.h"

#include <cstdio>
#include <cstring>
#include <zlib.h>

#include "archive/JodArchiver.h"

namespace kx::kxarc {

namespace {

std::int64_t SizeOf(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return -1;
    std::int64_t size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) {
#ifdef _WIN32
        size = _ftelli64(f);
#else
        size = ftello(f);
#endif
    }
    std::fclose(f);
    return size;
}

bool ReadAt(const std::string& path, std::int64_t offset, std::vector<std::uint8_t>& out) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
#ifdef _WIN32
    bool ok = _fseeki64(f, offset, SEEK_SET) == 0;
#else
    bool ok = fseeko(f, offset, SEEK_SET) == 0;
#endif
    ok = ok && std::fread(out.data(), 1, out.size(), f) == out.size();
    std::fclose(f);
    return ok;
}

} // namespace

unsigned TBlockPipeline::AllCores() { return std::max(1u, HardwareThreads()); }

TBlockPipeline::TBlockPipeline(std::vector<std::string> files, std::int32_t blockSize, std::int32_t capacity,
                               int zlibLevel, unsigned threads)
    : FFiles(std::move(files)), FBlockSize(blockSize), FCapacity(capacity), FLevel(zlibLevel) {
    if (threads == 0)
        threads = 1;
    FWindow = 3 * threads + 2;
    for (unsigned i = 0; i < threads; ++i)
        FThreads.push_back(std::make_unique<TThread>([this] { Worker(); }));
}

TBlockPipeline::~TBlockPipeline() {
    {
        TLock g(FLock);
        FStop = true;
    }
    FWorkReady.NotifyAll();
    for (auto& t : FThreads)
        t->Join();
}

// Schedules the next block of the file list into the queue. Files that cannot be
// measured are passed over; the writer will fail on them by itself.
bool TBlockPipeline::NextJobLocked(std::shared_ptr<TJob>& job) {
    while (FNextFile < FFiles.size()) {
        if (FNextFileSize < 0) {
            FNextFileSize = SizeOf(FFiles[FNextFile]);
            FNextBlock = 0;
            if (FNextFileSize <= 0) {
                ++FNextFile;
                FNextFileSize = -1;
                continue;
            }
        }
        std::int64_t offset = FNextBlock * FBlockSize;
        if (offset >= FNextFileSize) {
            ++FNextFile;
            FNextFileSize = -1;
            continue;
        }
        job = std::make_shared<TJob>();
        job->File = FNextFile;
        job->Block = FNextBlock;
        job->Source.resize(static_cast<std::size_t>(std::min<std::int64_t>(FBlockSize, FNextFileSize - offset)));
        ++FNextBlock;
        return true;
    }
    return false;
}

void TBlockPipeline::Worker() {
    TBlockDeflater deflater;
    TLock lk(FLock);
    for (;;) {
        std::shared_ptr<TJob> job;
        FWorkReady.Wait(lk, [&] {
            return FStop || (FQueue.size() < FWindow && FNextFile < FFiles.size());
        });
        if (FStop)
            return;
        if (!NextJobLocked(job))
            continue;
        FQueue.push_back(job);
        std::string path = FFiles[job->File];
        lk.Unlock();

        bool ok = ReadAt(path, job->Block * FBlockSize, job->Source);
        if (ok) {
            job->Output.resize(static_cast<std::size_t>(FCapacity));
            std::int32_t len = FCapacity;
            job->Ok = deflater.Compress(job->Output.data(), len, job->Source.data(),
                                        static_cast<std::int32_t>(job->Source.size()), FLevel);
            job->Output.resize(job->Ok ? static_cast<std::size_t>(len) : 0);
        } else {
            job->Source.clear(); // never matches, so the writer's block is compressed on the spot
        }

        lk.Lock();
        job->Done = true;
        FJobDone.NotifyAll();
    }
}

void TBlockPipeline::BeginFile(std::size_t index) {
    TLock g(FLock);
    FCurFile = index;
    FCurBlock = 0;
}

bool TBlockPipeline::CompressNow(std::uint8_t* dest, std::int32_t& destSize, const std::uint8_t* src,
                                 std::int32_t srcSize) {
    uLongf len = static_cast<uLongf>(destSize);
    if (compress2(dest, &len, src, static_cast<uLong>(srcSize), FLevel) != Z_OK)
        return false;
    destSize = static_cast<std::int32_t>(len);
    return true;
}

bool TBlockPipeline::Compress(std::uint8_t* dest, std::int32_t& destSize, const std::uint8_t* src,
                              std::int32_t srcSize) {
    std::shared_ptr<TJob> job;
    {
        TLock lk(FLock);
        std::size_t file = FCurFile;
        std::int64_t block = FCurBlock++;
        // Drop what the writer has passed (files it left out, blocks it never asked for).
        while (!FQueue.empty()) {
            auto& f = FQueue.front();
            if (f->File < file || (f->File == file && f->Block < block)) {
                if (!f->Done) {
                    FJobDone.Wait(lk, [&] { return f->Done; });
                    continue;
                }
                FQueue.pop_front();
                FWorkReady.NotifyAll();
                continue;
            }
            break;
        }
        if (!FQueue.empty() && FQueue.front()->File == file && FQueue.front()->Block == block) {
            job = FQueue.front();
            FJobDone.Wait(lk, [&] { return job->Done; });
            FQueue.pop_front();
            FWorkReady.NotifyAll();
        }
    }
    if (job && destSize == FCapacity && job->Source.size() == static_cast<std::size_t>(srcSize) &&
        std::memcmp(job->Source.data(), src, static_cast<std::size_t>(srcSize)) == 0) {
        ++FHits;
        if (!job->Ok)
            return false;
        std::memcpy(dest, job->Output.data(), job->Output.size());
        destSize = static_cast<std::int32_t>(job->Output.size());
        return true;
    }
    ++FMisses;
    return CompressNow(dest, destSize, src, srcSize);
}

} // namespace kx::kxarc
