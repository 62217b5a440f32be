// The embedded script through its temporary copy: fields filled, copy gone,
// failures raised rather than reported as an empty script.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/SetupScriptLoad.h"
#include "base/Exception.h"
#include "sys/Win32.h"

using namespace kx;
using Lines = std::vector<std::string>;

namespace {

int CountTempCopies(const std::string& dir) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "Seup*.tmp").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return 0;
    int n = 0;
    do ++n;
    while (FindNextFileA(h, &fd));
    FindClose(h);
    return n;
}

std::string TempDir() {
    char buf[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, buf);
    return buf;
}

} // namespace

TEST(ScriptLoad, FillsTheFieldsAndDeletesTheCopy) {
    const int before = CountTempCopies(TempDir());
    TSetupFields f;
    Lines comps;
    LoadSetupScriptResource(2, f, comps);
    EXPECT_EQ(f.FAutoRun, "acmeui.exe");
    EXPECT_EQ(f.FReNameList, (Lines{"a.dll", "b.exe"}));
    EXPECT_TRUE(f.FWin2k);
    EXPECT_EQ(f.FGrpName, "Acme Tool");
    EXPECT_EQ(comps, (Lines{"One", "Two"}));
    EXPECT_EQ(f.FCompFiles, (Lines{"One=a.exe", "Two=b.exe[s"}));
    EXPECT_EQ(CountTempCopies(TempDir()), before);
}

TEST(ScriptLoad, LanguageSectionsInTheirCodePage) {
    TSetupFields f;
    Lines comps;
    LoadSetupScriptResource(0, f, comps);
    EXPECT_EQ(f.FGrpName, "\xB0\xAC\xBF\xCB\xC3\xC0\xB9\xA4\xBE\xDF");
    EXPECT_TRUE(comps.empty());
}

TEST(ScriptLoad, UnwritableTemporaryFolderRaisesAndLeavesNothing) {
    char old[MAX_PATH] = {};
    GetEnvironmentVariableA("TMP", old, MAX_PATH);
    const std::string missing = "C:\\no such temp folder\\";
    SetEnvironmentVariableA("TMP", missing.c_str());
    SetEnvironmentVariableA("TEMP", missing.c_str());
    TSetupFields f;
    f.FGrpName = "unchanged";
    Lines comps;
    try {
        LoadSetupScriptResource(2, f, comps);
        ADD_FAILURE() << "no error raised";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Cannot create file " + missing + "Seup9999.tmp");
    }
    EXPECT_EQ(f.FGrpName, "unchanged");
    EXPECT_EQ(GetFileAttributesA(missing.c_str()), INVALID_FILE_ATTRIBUTES);
    SetEnvironmentVariableA("TMP", old);
    SetEnvironmentVariableA("TEMP", old);
}

TEST(ScriptLoad, AnOccupiedNameIsPassedOverAndLeftAlone) {
    const std::string dir = TempDir();
    const std::string taken = dir + "Seup9999.tmp";
    HANDLE h = CreateFileA(taken.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, "keep", 4, &written, nullptr);
    CloseHandle(h);
    TSetupFields f;
    Lines comps;
    LoadSetupScriptResource(2, f, comps);
    EXPECT_EQ(f.FGrpName, "Acme Tool");
    EXPECT_NE(GetFileAttributesA(taken.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA((dir + "Seup9998.tmp").c_str()), INVALID_FILE_ATTRIBUTES);
    DeleteFileA(taken.c_str());
}
