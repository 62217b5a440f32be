// libFuzzer target: an arbitrary file opened as an archive by the setup's component,
// its entries listed and every entry extracted. Any kx::Exception is an acceptable refusal; a crash, a
// sanitizer report, a hang or runaway memory is a finding.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "archive/QdxArch2.h"

namespace {

const std::string& WorkDir() {
    static const std::string dir = [] {
        std::string d = (std::filesystem::temp_directory_path() / ("kxfuzz-archive-" + std::to_string(getpid())))
                            .string();
        std::filesystem::create_directories(d);
        return d + "/";
    }();
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string archive = WorkDir() + "input.arc";
    const std::string out = WorkDir() + "out/file.bin";
    {
        std::ofstream f(archive, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    try {
        kx::TQdxArch2 x; // the component the setup reads its payload with
        x.SetFileName(archive);
        x.SetReadOnly(true);
        x.SetRestoreAction(kx::raOverwrite);
        std::set<std::string> names;
        x.OnEnumeration = [&](kx::TArchiverRoot*, const kx::TFileEntry& e) { names.insert(e.Name); };
        x.Open();
        try {
            x.EnumerateFiles();
        } catch (const kx::Exception&) {
        }
        int extracted = 0;
        for (const std::string& name : names) {
            if (++extracted > 8) break;
            try {
                x.ExtractFile(name, out);
            } catch (const kx::Exception&) {
            }
        }
        x.Close();
    } catch (const kx::Exception&) {
    }
    std::error_code ec;
    std::filesystem::remove(out, ec);
    return 0;
}
