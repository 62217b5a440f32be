// Checks shared by the native and the Windows language tests.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "ExpectedMessages.h"
#include "lang/kxSetupLan.h"

inline std::string FromHex(const char* hex) {
    std::string out;
    for (const char* p = hex; p[0] && p[1]; p += 2) out += static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16));
    return out;
}

// Every number 0 to 59 of the active table against the bytes written out above.
inline void ExpectActiveTable(int lang) {
    for (unsigned n = 0; n <= 59; ++n) {
        std::string expected;
        for (const auto& e : kExpectedMessages)
            if (e.Number == n) expected = FromHex(lang == 0 ? e.GbHex : lang == 1 ? e.B5Hex : e.EnHex);
        EXPECT_EQ(kx::GetSetupMsg(n), expected) << "message " << n << " in language " << lang;
    }
}
