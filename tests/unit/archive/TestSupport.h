// Fixtures of the archive tests: a scratch directory and an extractor with the zlib codec.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "TestArchiveWriter.h"
#include "archive/JodCustExtractor.h"
#include "archive/ZlibCodec.h"

namespace kxtest {

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "kxarchive-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
        FPath = tmpl + "/";
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(FPath, ec);
    }
    std::string operator/(const std::string& name) const { return FPath + name; }
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
};

inline void WriteBytes(const std::string& path, const Bytes& b) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(b.data(), static_cast<std::streamsize>(b.size()));
}

inline Bytes ReadBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// The extractor with zlib behind its block hook, as the product's codec class has it.
class ZlibExtractor : public kx::TCustomExtractor {
public:
    using TCustomExtractor::TCustomExtractor;
    ~ZlibExtractor() override {
        FDestroying = true;
        try {
            Close();
        } catch (...) {
        }
    }

protected:
    std::int32_t GetMaxBlockSize() override { return FHeader.BlockSize + FHeader.BlockSize / 100; }
    bool UncompressBlock(std::uint8_t* dest, std::int32_t& destSize, const std::uint8_t* src,
                         std::int32_t srcSize) override {
        if (OnUncompressBlock) return TCustomExtractor::UncompressBlock(dest, destSize, src, srcSize);
        return kx::ZlibUncompressBlock(dest, destSize, src, srcSize);
    }
};

} // namespace kxtest
