// Any bytes as "UnInst.Ini": the reader never crashes, and what it accepts names
// a usable key and services that are single names.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzPlaces.h"
#include "uninst/UnInstIni.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    kx::TUnInstIni ini;
    if (!kx::ReadUnInstIni(text, ini)) {
        if (!ini.RegKey.empty()) std::abort();
        return 0;
    }
    if (!kx::IsUsableRegKey(ini.RegKey)) std::abort();
    for (const std::string& s : ini.Services)
        if (s.empty() || s.find('\\') != std::string::npos) std::abort();
    const kx::TUninstPlaces places = kxfuzz::Places(1252);
    kx::TUninstPlan plan;
    if (!kx::MakeUninstPlan(ini, {}, kxfuzz::Entry(), places, plan)) std::abort();
    if (plan.EntryKey != ini.RegKey) std::abort();
    kxfuzz::CheckPlan(plan, places);
    return 0;
}
