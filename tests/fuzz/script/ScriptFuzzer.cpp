// Any bytes as an install script: parsing and field filling never crash, and
// the component names stay paired with the component lines.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/SetupScript.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    kx::TMemIniFile ini(text);
    for (int lang = 0; lang < 3; ++lang) {
        kx::TSetupFields f;
        std::vector<std::string> comps;
        kx::ReadSetupScript(ini, lang, f, comps);
        if (comps.size() != f.FCompFiles.size()) std::abort();
    }
    for (const std::string& s : ini.ReadSections()) {
        ini.ReadSection(s);
        ini.ReadSectionValues(s);
    }
    return 0;
}
