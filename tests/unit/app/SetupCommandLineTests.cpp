// The setup program's switches as deployment tools write them.
#include <gtest/gtest.h>

#include "app/SetupCommandLine.h"

using namespace kx;

TEST(SetupCommandLine, NoSwitchesIsTheWizard) {
    for (const char* line : {"setup.exe", "\"C:\\Down loads\\setup.exe\"", "  setup.exe   ", ""}) {
        const TSetupCommandLine c = ParseSetupCommandLine(line);
        EXPECT_FALSE(c.Silent) << line;
        EXPECT_FALSE(c.Help);
        EXPECT_TRUE(c.Dir.empty());
        EXPECT_TRUE(c.Error.empty()) << line;
    }
}

TEST(SetupCommandLine, SilentWithFolderComponentsLogAndRestart) {
    const TSetupCommandLine c = ParseSetupCommandLine(
        "\"C:\\Down loads\\setup.exe\" /s /Components=3,1,3 /LOG=\"C:\\Logs\\acme setup.log\" /REBOOT "
        "/D=C:\\Program Files\\Acme Tool  ");
    EXPECT_TRUE(c.Silent);
    EXPECT_TRUE(c.Reboot);
    EXPECT_TRUE(c.ComponentsGiven);
    EXPECT_EQ(c.Components, (std::vector<int>{3, 1}));
    EXPECT_EQ(c.Log, "C:\\Logs\\acme setup.log");
    EXPECT_EQ(c.Dir, "C:\\Program Files\\Acme Tool") << "the rest of the line, blanks inside kept";
    EXPECT_TRUE(c.Error.empty());
}

TEST(SetupCommandLine, FolderIsTheLastSwitchAndMayBeQuoted) {
    EXPECT_EQ(ParseSetupCommandLine("setup.exe /S /D=\"C:\\A B\"").Dir, "C:\\A B");
    // Whatever follows /D= belongs to the folder.
    const TSetupCommandLine c = ParseSetupCommandLine("setup.exe /D=C:\\Acme /S");
    EXPECT_EQ(c.Dir, "C:\\Acme /S");
    EXPECT_FALSE(c.Silent);
}

TEST(SetupCommandLine, HelpInEitherSpelling) {
    EXPECT_TRUE(ParseSetupCommandLine("setup.exe /?").Help);
    EXPECT_TRUE(ParseSetupCommandLine("setup.exe /help").Help);
}

struct TBadSwitch {
    const char* Line;
    const char* Error;
};

class SetupCommandLineBad : public testing::TestWithParam<TBadSwitch> {};

TEST_P(SetupCommandLineBad, NamesTheSwitch) {
    EXPECT_EQ(ParseSetupCommandLine(GetParam().Line).Error, GetParam().Error);
}

INSTANTIATE_TEST_SUITE_P(Lines, SetupCommandLineBad,
                         testing::Values(TBadSwitch{"setup.exe /Q", "/Q"}, TBadSwitch{"setup.exe /S -silent", "-silent"},
                                         TBadSwitch{"setup.exe /COMPONENTS=", "/COMPONENTS="},
                                         TBadSwitch{"setup.exe /COMPONENTS=0", "/COMPONENTS=0"},
                                         TBadSwitch{"setup.exe /COMPONENTS=1,x", "/COMPONENTS=1,x"},
                                         TBadSwitch{"setup.exe /COMPONENTS=1,,2", "/COMPONENTS=1,,2"},
                                         TBadSwitch{"setup.exe /LOG=", "/LOG="}, TBadSwitch{"setup.exe /S /D=", "/D="},
                                         TBadSwitch{"setup.exe /X /Y", "/X"}));
