// The message catalogue: the language chosen once at start-up from the thread
// locale, and the lookup of texts by message number in the chosen table.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace kx {

// 0 = GB (code page 936), 1 = Big5 (code page 950), 2 = English.
enum : int { langGB = 0, langBig5 = 1, langEnglish = 2 };

using TGetSetupMsg = std::string (*)(unsigned number);

// The language index and the lookup routine in force; English until InitLanguage.
extern int SetupLang;
extern TGetSetupMsg GetSetupMsg;

// The choice as a pure function of a locale identifier (0 counts as 0x0409).
// Chinese: PRC and any sub-language not named below get GB; Taiwan, Hong Kong,
// Singapore and Macau get Big5. Every other language gets English.
int ChooseLanguage(std::uint32_t lcid);
// Sets SetupLang and GetSetupMsg for the locale; run once at start-up.
void InitLanguage(std::uint32_t lcid);

// The three tables' lookup routines: the text of a number, or empty text.
std::string GetSetupMsg_gb(unsigned number);
std::string GetSetupMsg_b5(unsigned number);
std::string GetSetupMsg_en(unsigned number);

struct TMessageEntry {
    unsigned Number;
    const char* Text;
};
std::string LookupMessage(const TMessageEntry* table, std::size_t count, unsigned number);

} // namespace kx
