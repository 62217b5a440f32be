// The log file next to the program: switch, force flag, rotation and file errors.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "base/Exception.h"
#include "base/Text.h"
#include "sys/Files.h"
#include "sys/Handles.h"
#include "sys/Paths.h"
#include "sys/SysLog.h"
#include "sys/Win32.h"

using namespace kx;

namespace {

std::string LogPath() { return GetProgramPath() + "SysLog.txt"; }

class SysLog : public testing::Test {
protected:
    void SetUp() override {
        SetLogEnabled(false);
        DeleteFile(LogPath());
    }
    void TearDown() override {
        SetLogEnabled(false);
        DeleteFile(LogPath());
    }
};

} // namespace

TEST_F(SysLog, OffAndNotForcedTouchesNothing) {
    WriteSysLog("quiet");
    EXPECT_FALSE(FileExists(LogPath()));
}

TEST_F(SysLog, ForcedLineCarriesTheTimeStamp) {
    WriteSysLog("first", true);
    SetLogEnabled(true);
    WriteSysLog("second");
    std::string text = LoadFileToString(LogPath());
    auto lines = SplitLines(text);
    ASSERT_EQ(lines.size(), 2u);
    std::regex stamp(R"(\d\d-\d\d-\d\d \d\d:\d\d:\d\d first)");
    EXPECT_TRUE(std::regex_match(lines[0], stamp)) << lines[0];
    EXPECT_EQ(lines[1].substr(18), "second");
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST_F(SysLog, TheLineThatMakes1001MovesEverythingToTheTimeStampedFile) {
    std::string seed;
    for (int i = 0; i < 999; ++i) seed += "old line " + std::to_string(i) + "\r\n";
    SaveStringToFile(LogPath(), seed);
    WriteSysLog("line 1000", true);
    EXPECT_EQ(SplitLines(LoadFileToString(LogPath())).size(), 1000u) << "1,000 lines stay";

    SYSTEMTIME before;
    GetLocalTime(&before);
    WriteSysLog("line 1001", true);
    EXPECT_EQ(LoadFileToString(LogPath()), "") << "SysLog.txt is left empty";

    char name[32];
    wsprintfA(name, "%02d%02d%02d%02d%02d.txt", before.wYear % 100, before.wMonth, before.wDay, before.wHour,
              before.wMinute);
    std::string archive = GetProgramPath() + name;
    if (!FileExists(archive)) { // the minute turned between the two readings
        SYSTEMTIME now;
        GetLocalTime(&now);
        wsprintfA(name, "%02d%02d%02d%02d%02d.txt", now.wYear % 100, now.wMonth, now.wDay, now.wHour, now.wMinute);
        archive = GetProgramPath() + name;
    }
    ASSERT_TRUE(FileExists(archive)) << archive;
    auto lines = SplitLines(LoadFileToString(archive));
    ASSERT_EQ(lines.size(), 1001u);
    EXPECT_EQ(lines[0], "old line 0");
    EXPECT_EQ(lines[1000].substr(18), "line 1001");
    DeleteFile(archive);
}

TEST_F(SysLog, ALogThatCannotBeReadRaisesCannotOpen) {
    SaveStringToFile(LogPath(), "x\r\n");
    TFileHandle lock(CreateFileA(LogPath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    try {
        WriteSysLog("blocked", true);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Cannot open file " + LogPath());
    }
}

// Runs only from a read-only program directory (see the test registration).
TEST(SysLogReadOnly, DISABLED_AReadOnlyProgramDirectoryRaisesCannotCreate) {
    try {
        WriteSysLog("nowhere to go", true);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Cannot create file " + LogPath());
    }
}
