// Writing an output from its pieces; see OutputPieces.h.
#include "tools/kxpack/OutputPieces.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/Format.h"

namespace kx::kxpack {

namespace {

constexpr std::size_t ChunkSize = 1 << 20;

struct TFileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

} // namespace

void TOutputPieces::Add(std::vector<std::uint8_t> bytes) {
    if (bytes.empty())
        return;
    FSize += bytes.size();
    TPiece p;
    p.Bytes = std::move(bytes);
    FPieces.push_back(std::move(p));
}

void TOutputPieces::AddZeros(std::uint64_t count) {
    if (count == 0)
        return;
    FSize += count;
    if (!FPieces.empty() && FPieces.back().Bytes.empty() && FPieces.back().Path.empty()) {
        FPieces.back().Zeros += count;
        return;
    }
    TPiece p;
    p.Zeros = count;
    FPieces.push_back(std::move(p));
}

void TOutputPieces::AddFile(std::string path, std::uint64_t size) {
    if (size == 0)
        return;
    FSize += size;
    TPiece p;
    p.Path = std::move(path);
    p.FileSize = size;
    FPieces.push_back(std::move(p));
}

void TOutputPieces::Append(TOutputPieces&& other) {
    for (TPiece& p : other.FPieces)
        FPieces.push_back(std::move(p));
    FSize += other.FSize;
    other.FPieces.clear();
    other.FSize = 0;
}

void TOutputPieces::ForEachChunk(const std::function<void(const std::uint8_t*, std::size_t)>& sink) const {
    std::vector<std::uint8_t> buffer;
    for (const TPiece& p : FPieces) {
        if (!p.Bytes.empty()) {
            for (std::size_t at = 0; at < p.Bytes.size(); at += ChunkSize)
                sink(p.Bytes.data() + at, std::min(ChunkSize, p.Bytes.size() - at));
        } else if (p.Path.empty()) {
            if (buffer.size() < ChunkSize)
                buffer.assign(ChunkSize, 0);
            else
                std::fill(buffer.begin(), buffer.end(), 0);
            for (std::uint64_t left = p.Zeros; left > 0;) {
                std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, ChunkSize));
                sink(buffer.data(), n);
                left -= n;
            }
        } else {
            std::unique_ptr<std::FILE, TFileCloser> f(std::fopen(p.Path.c_str(), "rb"));
            if (!f)
                throw EPieceRead(Format("cannot read %s: %s", p.Path, std::strerror(errno)));
            buffer.resize(ChunkSize);
            std::uint64_t left = p.FileSize;
            while (left > 0) {
                std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, ChunkSize));
                std::size_t n = std::fread(buffer.data(), 1, want, f.get());
                if (n == 0) {
                    if (std::ferror(f.get()))
                        throw EPieceRead(Format("cannot read %s: %s", p.Path, std::strerror(errno)));
                    throw EPieceRead(Format("%s became shorter while it was being packed", p.Path));
                }
                sink(buffer.data(), n);
                left -= n;
            }
            if (std::fgetc(f.get()) != EOF)
                throw EPieceRead(Format("%s became longer while it was being packed", p.Path));
        }
    }
}

std::vector<std::uint8_t> TOutputPieces::Materialise() const {
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(FSize));
    ForEachChunk([&](const std::uint8_t* p, std::size_t n) { out.insert(out.end(), p, p + n); });
    return out;
}

} // namespace kx::kxpack
