// A scratch directory per test, file helpers, little-endian peeks into archive
// bytes and the independent checker (validate_archive.py).
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/wait.h>

#include "archive/QdxArch2.h"
#include "base/Random.h"

namespace kx::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::string& path, const Bytes& data) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

inline std::int32_t I32(const Bytes& b, std::size_t at) {
    return static_cast<std::int32_t>(std::uint32_t(b.at(at)) | std::uint32_t(b.at(at + 1)) << 8 |
                                     std::uint32_t(b.at(at + 2)) << 16 | std::uint32_t(b.at(at + 3)) << 24);
}

// Deterministic data: text compresses, noise does not.
inline Bytes TextData(std::size_t n) {
    static const char words[] = "the quick brown fox jumps over the lazy dog 0123456789\r\n";
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(words[(i * 7 + i / 61) % (sizeof words - 1)]);
    return b;
}

inline Bytes NoiseData(std::size_t n, std::uint32_t seed) {
    Bytes b(n);
    std::uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    for (auto& c : b) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        c = static_cast<std::uint8_t>(x >> 24);
    }
    return b;
}

class WriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        Dir = std::filesystem::temp_directory_path() /
              (std::string("kxw-") + info->test_suite_name() + "-" + info->name());
        for (char& c : const_cast<std::string&>(Dir.native()))
            if (c == '*')
                c = '_';
        std::filesystem::remove_all(Dir);
        std::filesystem::create_directories(Dir);
        SetRandSeed(1);
    }
    void TearDown() override {
        if (!HasFailure())
            std::filesystem::remove_all(Dir);
    }
    std::string P(const std::string& name) const { return (Dir / name).string(); }
    std::string MakeFile(const std::string& name, const Bytes& data) {
        std::string p = P(name);
        std::filesystem::create_directories(std::filesystem::path(p).parent_path());
        WriteAll(p, data);
        return p;
    }
    // Exit code of the independent checker: 0 valid, 1 invalid.
    static int Validate(const std::string& archive) {
        std::string cmd = std::string("\"") + KX_PYTHON + "\" \"" + KX_VALIDATOR + "\" \"" + archive + "\"";
        int rc = std::system(cmd.c_str());
        return rc == -1 ? -1 : WEXITSTATUS(rc);
    }

    std::filesystem::path Dir;
};

} // namespace kx::test
