// The language choice and the three message tables.
#include "LangTests.h"

#include "lang/kxSetupLanConst.h"

using namespace kx;

struct LocaleCase {
    std::uint32_t Lcid;
    int Lang;
};

class Language : public testing::TestWithParam<LocaleCase> {};

TEST_P(Language, ChoiceFollowsTheLocale) {
    EXPECT_EQ(ChooseLanguage(GetParam().Lcid), GetParam().Lang);
    InitLanguage(GetParam().Lcid);
    EXPECT_EQ(SetupLang, GetParam().Lang);
    ExpectActiveTable(GetParam().Lang);
}

INSTANTIATE_TEST_SUITE_P(Locales, Language,
                         testing::Values(LocaleCase{0x0804, 0}, LocaleCase{0x0404, 1}, LocaleCase{0x0C04, 1},
                                         LocaleCase{0x1004, 1}, LocaleCase{0x1404, 1}, LocaleCase{0x0004, 0},
                                         LocaleCase{0x7C04, 0}, LocaleCase{0x0409, 2}, LocaleCase{0x0411, 2},
                                         LocaleCase{0x0407, 2}, LocaleCase{0x0000, 2}, LocaleCase{0x0809, 2}));

TEST(Messages, GapsAndOutOfRangeNumbersAreEmptyInEveryTable) {
    for (auto lookup : {GetSetupMsg_gb, GetSetupMsg_b5, GetSetupMsg_en})
        for (unsigned n : {0u, 12u, 18u, 19u, 20u, 21u, 22u, 26u, 37u, 49u, 100u, 0xFFFFFFFFu})
            EXPECT_EQ(lookup(n), "") << n;
}

TEST(Messages, InstallSuccessHasNoExclamationInBig5) {
    EXPECT_EQ(GetSetupMsg_en(msgInstallSuccess), "Install successfuly!");
    EXPECT_EQ(GetSetupMsg_gb(msgInstallSuccess), "\xB0\xB2\xD7\xB0\xCD\xEA\xB3\xC9\xA3\xA1");
    EXPECT_EQ(GetSetupMsg_b5(msgInstallSuccess), "\xB8\xCB\xB3\x5D\xA7\xB9\xA6\xA8");
}

TEST(Messages, EnglishCarriesTheGbkFullWidthMarks) {
    std::string m38 = GetSetupMsg_en(msgRestartQuestion);
    EXPECT_NE(m38.find("file\xA3\xACPress"), std::string::npos);
    EXPECT_EQ(GetSetupMsg_en(msgNeedWin9x).substr(GetSetupMsg_en(msgNeedWin9x).size() - 2), "\xA3\xA1");
    EXPECT_EQ(GetSetupMsg_en(msgFormCaption), "%s Installer");
}
