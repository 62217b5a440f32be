// Archive work shared by kxarc and kxpack; see ArchiveIo.h.
#include "tools/kxarc/ArchiveIo.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>

#include "base/Random.h"
#include "sys/Files.h"
#include "sys/NativePath.h"
#include "tools/kxarc/BlockPipeline.h"

namespace fs = std::filesystem;

namespace kx::kxarc {

namespace {
std::string Quote(const std::string& s) { return "'" + s + "'"; }
} // namespace

std::string Describe(const std::exception& e) {
    if (dynamic_cast<const EArchiverBadCRC*>(&e))
        return "block CRC mismatch";
    if (dynamic_cast<const EArchiverUncompress*>(&e))
        return "a block does not expand";
    if (dynamic_cast<const EArchiverCompress*>(&e))
        return "a block does not fit the output buffer (use a larger --block-size)";
    if (dynamic_cast<const EAbort*>(&e))
        return "aborted";
    std::string text = e.what();
    if (text.empty())
        return dynamic_cast<const EArchiver*>(&e) ? "not a valid archive or damaged archive structure"
                                                  : "failed without a message";
    return text;
}

TOpened OpenForReading(const std::string& archive) {
    TOpened r;
    r.Arc = std::make_unique<TJodArchiver>();
    r.Arc->SetReadOnly(true);
    r.Arc->SetOptions(TOptions(r.Arc->Options()).Include(oMaintainFileDirectory));
    std::error_code ec;
    r.Arc->SetFileName(PathToNative(fs::absolute(NativeToPath(archive), ec).lexically_normal()));
    r.Arc->Open();
    for (const auto& o : r.Arc->FileList())
        r.Entries.push_back(o->FileEntry);
    return r;
}

std::string ExtractOne(TJodArchiver& arc, const TFileEntry& e, const std::string& dest, double total) {
    std::string failure;
    arc.OnError = [&](TArchiverRoot*, const Exception& ex, const TFileEntry&, TErrorAction&) {
        if (failure.empty())
            failure = Describe(ex);
    };
    try {
        arc.ExtractEntryAt(e.Segment, e.Offset, dest, static_cast<std::int64_t>(total));
    } catch (const std::exception& ex) {
        failure = Describe(ex);
    }
    arc.OnError = nullptr;
    if (failure.empty() && (e.EntryFlags & efFolder) == 0) {
        std::int64_t size = FileSize(dest);
        if (size != e.FileInfo.Size)
            failure = size < 0 ? "could not be written" : "came out with the wrong size";
    }
    return failure;
}

std::string UniqueSuffix() {
    static std::random_device device;
    static std::uint64_t counter = 0;
    int local = 0;
    std::uint64_t v = (std::uint64_t{device()} << 32 | device()) ^
                      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                      reinterpret_cast<std::uintptr_t>(&local) ^ (++counter * 0x9E3779B97F4A7C15u);
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(v));
    return text;
}

std::string TempPath() {
    std::error_code ec;
    fs::path dir = fs::temp_directory_path(ec);
    if (ec)
        dir = ".";
    for (;;) {
        fs::path p = dir / (std::string(ToolName()) + "-" + UniqueSuffix() + ".tmp");
        if (!fs::exists(p, ec))
            return PathToNative(p);
    }
}

TWriteResult WriteArchive(const std::string& archive, const std::vector<TArchiveInput>& inputs,
                          const TWriteOptions& o, TProgressBar& bar) {
    TWriteResult result;
    if (o.HaveSeed)
        SetRandSeed(o.Seed);
    else
        Randomize();
    unsigned jobs = o.Jobs ? o.Jobs : TBlockPipeline::AllCores();

    double total = 0;
    for (const auto& in : inputs)
        total += static_cast<double>(in.Size);
    double done = 0;
    std::string label;
    std::int64_t current = 0;

    TJodArchiver arc;
    arc.SetBlockSize(o.BlockSize);
    arc.SetCompressionLevel(o.Level);
    TOptions opts = arc.Options();
    if (o.Solid)
        opts.Include(oCreateSolidArchives);
    opts.Include(oIncludeStartingDirectory);
    arc.SetOptions(opts);
    // The component makes the archive's directory first and wants one to make.
    std::error_code ec;
    arc.SetFileName(PathToNative(fs::absolute(NativeToPath(archive), ec).lexically_normal()));

    std::unique_ptr<TBlockPipeline> pipeline;
    if (jobs > 1 && !o.Solid) {
        std::vector<std::string> files;
        for (const auto& in : inputs)
            if (!in.Folder)
                files.push_back(in.Path);
        pipeline = std::make_unique<TBlockPipeline>(files, o.BlockSize, o.BlockSize + o.BlockSize / 100,
                                                    TJodArchiver::ZlibLevel(o.Level), jobs);
        arc.OnCompressBlock = [&](TArchiverRoot*, std::uint8_t* dest, std::int32_t& destSize,
                                  const std::uint8_t* src, std::int32_t srcSize, TCompressionLevel) {
            return pipeline->Compress(dest, destSize, src, srcSize);
        };
    }
    std::string leftOut;
    arc.OnError = [&](TArchiverRoot*, const Exception& e, const TFileEntry&, TErrorAction&) {
        leftOut = Describe(e);
    };
    arc.OnFileProgress = [&](TArchiverRoot*, int percent) {
        if (total > 0)
            bar.Update(static_cast<int>((done + static_cast<double>(current) * percent / 100.0) * 100.0 / total),
                       label);
    };
    const TArchiveInput* adding = nullptr;
    arc.OnAddFile = [&](TArchiverRoot*, TFileEntry& entry, bool&) {
        if (adding && !adding->StoredName.empty())
            entry.Name = adding->StoredName;
        if (adding && adding->Date >= 0)
            entry.Date = adding->Date;
    };

    try {
        arc.Open();
        if (!o.Comment.empty())
            arc.SetComment(o.Comment);
        std::size_t fileIndex = 0;
        for (const auto& in : inputs) {
            arc.SetStartingDirectory(in.StartingDir);
            adding = &in;
            label = in.Path;
            current = in.Size;
            leftOut.clear();
            if (pipeline && !in.Folder)
                pipeline->BeginFile(fileIndex);
            if (!in.Folder)
                ++fileIndex;
            bool found = arc.AddFile(in.Path);
            if (!found) {
                bar.Finish();
                ReportError("cannot add " + Quote(in.Path) + ": no such file");
                ++result.LeftOut;
            } else if (arc.LastAddFailed()) {
                bar.Finish();
                ReportError("left out " + Quote(in.Path) + ": " + (leftOut.empty() ? "write failed" : leftOut));
                ++result.LeftOut;
            }
            done += static_cast<double>(in.Size);
        }
        arc.Close();
    } catch (const std::exception& e) {
        bar.Finish();
        ReportError("cannot create " + Quote(archive) + ": " + Describe(e));
        return result;
    }
    bar.Finish();
    if (o.Solid && arc.LastAddFailed()) {
        ReportError("the solid archive could not be written");
        return result;
    }
    result.Written = true;
    return result;
}

} // namespace kx::kxarc
