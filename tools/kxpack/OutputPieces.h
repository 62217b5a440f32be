// TOutputPieces: a file to be written, described as a sequence of pieces (bytes
// held in memory, runs of zeros, whole files on disk), so that a setup program
// of any size is written while only its small parts are in memory.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/Exception.h"

namespace kx::kxpack {

// A file piece cannot be read, or no longer has the size it had when it was
// measured; the message names the file.
class EPieceRead : public Exception {
    using Exception::Exception;
};

class TOutputPieces {
public:
    void Add(std::vector<std::uint8_t> bytes);
    void AddZeros(std::uint64_t count);
    // The whole file at path, which must still hold `size` bytes when it is read.
    void AddFile(std::string path, std::uint64_t size);
    void Append(TOutputPieces&& other);

    std::uint64_t Size() const { return FSize; }

    // Hands every byte to sink in order, in chunks of at most 1 MB; file pieces
    // are read as they come. Raises EPieceRead.
    void ForEachChunk(const std::function<void(const std::uint8_t*, std::size_t)>& sink) const;
    // Every byte in memory (for small outputs and tests).
    std::vector<std::uint8_t> Materialise() const;

private:
    struct TPiece {
        std::vector<std::uint8_t> Bytes;
        std::uint64_t Zeros = 0;
        std::string Path;
        std::uint64_t FileSize = 0;
    };
    std::vector<TPiece> FPieces;
    std::uint64_t FSize = 0;
};

} // namespace kx::kxpack
