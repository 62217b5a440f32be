// Fixtures of the archive tests: a scratch directory and file helpers. The cases run
// on TQdxArch2, the component the setup uses.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "TestArchiveWriter.h"
#include "archive/QdxArch2.h"
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

} // namespace kxtest
