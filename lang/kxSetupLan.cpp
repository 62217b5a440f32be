// Language choice from the thread locale and the shared lookup.
#include "lang/kxSetupLan.h"

namespace kx {

int SetupLang = langEnglish;
TGetSetupMsg GetSetupMsg = GetSetupMsg_en;

int ChooseLanguage(std::uint32_t lcid) {
    if (lcid == 0) lcid = 0x0409;
    std::uint32_t primary = lcid & 0x3FF;
    std::uint32_t sub = (lcid & 0xFFFF) >> 10;
    if (primary != 4) return langEnglish;
    switch (sub) {
    case 1: // Taiwan
    case 3: // Hong Kong
    case 4: // Singapore
    case 5: // Macau: Traditional script, like Hong Kong
        return langBig5;
    default: // PRC (2) and neutral Chinese
        return langGB;
    }
}

void InitLanguage(std::uint32_t lcid) {
    SetupLang = ChooseLanguage(lcid);
    GetSetupMsg = SetupLang == langGB ? GetSetupMsg_gb : SetupLang == langBig5 ? GetSetupMsg_b5 : GetSetupMsg_en;
}

std::string LookupMessage(const TMessageEntry* table, std::size_t count, unsigned number) {
    for (std::size_t i = 0; i < count; ++i)
        if (table[i].Number == number) return table[i].Text;
    return std::string();
}

} // namespace kx
