// Any bytes as "INSTFILE.LST", and its lines as every other kind of record too:
// nothing crashes, and the plan made of them stays inside what the rules allow,
// in a single-byte and in both double-byte code pages.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzPlaces.h"
#include "uninst/InstFileList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> lines = kx::ReadInstFileList(text);
    kx::TUnInstIni ini;
    ini.RegKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Acme";
    kx::TUninstEntry entry = kxfuzz::Entry();
    entry.CreatedDirs = entry.Shortcuts = entry.RegValues = entry.RegKeys = entry.SharedFiles = lines;
    for (unsigned cp : {1252u, 936u, 950u}) {
        const kx::TUninstPlaces places = kxfuzz::Places(cp);
        kx::TUninstPlan plan;
        if (!kx::MakeUninstPlan(ini, lines, entry, places, plan)) std::abort();
        kxfuzz::CheckPlan(plan, places);
        if (plan.Files.size() > 2 * lines.size()) std::abort();
    }
    return 0;
}
