// Compresses the blocks of the files kxarc is about to add on several threads,
// ahead of the writer, and hands the results back in the writer's order.
//
// The archive writer stays single-threaded: it asks for one block at a time
// through its compression hook, and this pipeline answers from blocks that worker
// threads already compressed into the same zlib stream with the same capacity, so the
// archive is byte for byte the one a plain single-threaded run produces. A block
// the pipeline does not hold (a file changed under us, an unexpected order) is
// compressed on the spot instead.
#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "sys/Threads.h"

namespace kx::kxarc {

class TBlockPipeline {
public:
    // The number of threads that "all cores" means here.
    static unsigned AllCores();

    // files: the paths in the order they will be added; blockSize: the archive's
    // BlockSize; capacity: the writer's output buffer size; zlibLevel: compress2 level.
    TBlockPipeline(std::vector<std::string> files, std::int32_t blockSize, std::int32_t capacity,
                   int zlibLevel, unsigned threads);
    ~TBlockPipeline();
    TBlockPipeline(const TBlockPipeline&) = delete;
    TBlockPipeline& operator=(const TBlockPipeline&) = delete;

    // The writer is about to add files[index]; its blocks follow in order.
    void BeginFile(std::size_t index);
    // The compression hook: same contract as compress2 into dest with capacity
    // destSize; answers false where compress2 fails.
    bool Compress(std::uint8_t* dest, std::int32_t& destSize, const std::uint8_t* src, std::int32_t srcSize);

    // Blocks answered from the workers and blocks compressed on the spot.
    std::uint64_t Hits() const { return FHits; }
    std::uint64_t Misses() const { return FMisses; }

private:
    struct TJob {
        std::size_t File = 0;
        std::int64_t Block = 0;
        bool Done = false;
        bool Ok = false;
        std::vector<std::uint8_t> Source;
        std::vector<std::uint8_t> Output;
    };
    void Worker();
    bool NextJobLocked(std::shared_ptr<TJob>& job);
    bool CompressNow(std::uint8_t* dest, std::int32_t& destSize, const std::uint8_t* src, std::int32_t srcSize);

    std::vector<std::string> FFiles;
    std::int32_t FBlockSize;
    std::int32_t FCapacity;
    int FLevel;
    std::size_t FWindow;

    TMutex FLock;
    TCondition FWorkReady;  // room in the window or stop
    TCondition FJobDone;    // a job finished
    std::deque<std::shared_ptr<TJob>> FQueue; // in writer order
    bool FStop = false;
    // next block to schedule
    std::size_t FNextFile = 0;
    std::int64_t FNextBlock = 0;
    std::int64_t FNextFileSize = -1;
    // what the writer consumes
    std::size_t FCurFile = 0;
    std::int64_t FCurBlock = 0;

    std::uint64_t FHits = 0;
    std::uint64_t FMisses = 0;
    std::vector<std::unique_ptr<TThread>> FThreads;
};

} // namespace kx::kxarc
