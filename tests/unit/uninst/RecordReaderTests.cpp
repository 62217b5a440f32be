// The readers of the uninstaller's records: "UnInst.Ini", "INSTFILE.LST", the
// numbered values of the uninstall entry, and the [rename] lines of "WinInit.ini".
#include <gtest/gtest.h>

#include <map>

#include "uninst/InstFileList.h"
#include "uninst/UnInstIni.h"
#include "uninst/UninstPlan.h"
#include "uninst/WinInitFile.h"

using namespace kx;

namespace {

using TLines = std::vector<std::string>;

// The bytes of a literal, NULs included.
template <std::size_t N>
std::string Bytes(const char (&s)[N]) {
    return std::string(s, N - 1);
}

TEST(UnInstIni, SetupsFileWithCommonSectionGivesEveryField) {
    const std::string text = "[Reg]\r\nRegKey=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AcmeTool\r\n\r\n"
                             "[Service]\r\nAcmeSvc=True\r\nOtherSvc=True\r\n[Common]\r\nFINDCLASS=TAcmeMainWindow\r\n"
                             "ReNameList=acmehook.dll;acmeui.exe\r\n";
    TUnInstIni ini;
    ASSERT_TRUE(ReadUnInstIni(text, ini));
    EXPECT_EQ(ini.RegKey, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AcmeTool");
    EXPECT_EQ(ini.Services, (TLines{"AcmeSvc", "OtherSvc"}));
    EXPECT_EQ(ini.FindClass, "TAcmeMainWindow");
    EXPECT_EQ(ini.ReNameList, (TLines{"acmehook.dll", "acmeui.exe"}));
}

TEST(UnInstIni, WithoutCommonSectionNoApplicationAndEmptyServiceSectionNoServices) {
    TUnInstIni ini;
    ASSERT_TRUE(ReadUnInstIni("[Reg]\r\nRegKey=SOFTWARE\\X\r\n\r\n[Service]\r\n", ini));
    EXPECT_EQ(ini.RegKey, "SOFTWARE\\X");
    EXPECT_TRUE(ini.Services.empty());
    EXPECT_TRUE(ini.FindClass.empty());
    EXPECT_TRUE(ini.ReNameList.empty());
}

TEST(UnInstIni, ServiceNamesThatCannotBeOneServiceAreDropped) {
    TUnInstIni ini;
    ASSERT_TRUE(ReadUnInstIni("[Reg]\nRegKey=K\\A\n[Service]\nGood=True\n..\\Evil=True\nnoequals\n", ini));
    EXPECT_EQ(ini.Services, (TLines{"Good"}));
}

struct TBadIni {
    const char* What;
    std::string Text;
};

class UnInstIniRefused : public testing::TestWithParam<TBadIni> {};

TEST_P(UnInstIniRefused, NamesNoKeyToTouch) {
    TUnInstIni ini;
    ini.RegKey = "left over";
    EXPECT_FALSE(ReadUnInstIni(GetParam().Text, ini)) << GetParam().What;
    EXPECT_EQ(ini.RegKey, "") << GetParam().What;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnInstIniRefused,
    testing::Values(TBadIni{"empty file", ""}, TBadIni{"no [Reg] section", "[Service]\r\nAcmeSvc=True\r\n"},
                    TBadIni{"[Reg] without RegKey", "[Reg]\r\nKey=SOFTWARE\\X\r\n"},
                    TBadIni{"empty RegKey", "[Reg]\r\nRegKey=\r\n"},
                    TBadIni{"RegKey from the root", "[Reg]\r\nRegKey=\\SOFTWARE\\X\r\n"},
                    TBadIni{"RegKey with an empty component", "[Reg]\r\nRegKey=SOFTWARE\\\\X\r\n"},
                    TBadIni{"RegKey ending in a backslash", "[Reg]\r\nRegKey=SOFTWARE\\X\\\r\n"},
                    TBadIni{"binary bytes", Bytes("\x00\xFF[Reg\x01]\x00RegKey=\x02")},
                    TBadIni{"RegKey with a control character", std::string("[Reg]\nRegKey=SOFT\x01WARE\n")}));

TEST(InstFileList, LinesOfAnyBreakTrimmedAndEmptyOnesSkipped) {
    const std::string text = "C:\\A\\one.exe\r\n\r\n  C:\\A\\two.dll \r\nC:\\A\\three.txt\nC:\\A\\four\rC:\\A\\last";
    EXPECT_EQ(ReadInstFileList(text),
              (TLines{"C:\\A\\one.exe", "C:\\A\\two.dll", "C:\\A\\three.txt", "C:\\A\\four", "C:\\A\\last"}));
}

TEST(InstFileList, EmptyOrBlankTextHasNoEntries) {
    EXPECT_TRUE(ReadInstFileList("").empty());
    EXPECT_TRUE(ReadInstFileList("\r\n \r\n\t\n").empty());
}

TEST(InstFileList, BinaryBytesInsideALineStayForThePathCheck) {
    EXPECT_EQ(ReadInstFileList(Bytes("C:\\a\x00" "b\r\n\xFF\xFE\r\n")), (TLines{Bytes("C:\\a\x00" "b"), "\xFF\xFE"}));
}

TEST(UninstEntry, NumberedValuesStopAtTheFirstGap) {
    const std::map<std::string, std::string> values = {
        {"DisplayName", "Acme Tool"},
        {"UnInstallPath", "C:\\Program Files\\Velmora\\AcmeTool\\"},
        {"GrpName", "Acme Tool"},
        {"UnInstallString", "C:\\WINDOWS\\kxUnInst.exe"},
        {"Publisher", "Acme Ltd."},
        {"kxGroupDir", "C:\\Start\\Acme Tool\\"},
        {"kxCreatedDir0", "C:\\Program Files\\Velmora\\"},
        {"kxCreatedDir1", "C:\\Program Files\\Velmora\\AcmeTool\\"},
        {"kxCreatedDir3", "C:\\after a gap\\"},
        {"kxShortcut0", "C:\\Start\\Acme Tool\\Acme Tool.Lnk"},
        {"kxRegValue0", "SOFTWARE\\Acme\\Tool;InstallPath"},
        {"kxRegKey0", "SOFTWARE\\Acme"},
        {"kxRegKey1", "SOFTWARE\\Acme\\Tool"},
        {"kxSharedFile1", "C:\\WINDOWS\\system32\\no zero.dll"},
    };
    const TUninstEntry e = ReadUninstEntry([&](const std::string& name) -> std::optional<std::string> {
        auto it = values.find(name);
        if (it == values.end()) return std::nullopt;
        return it->second;
    });
    EXPECT_EQ(e.DisplayName, "Acme Tool");
    EXPECT_EQ(e.UnInstallPath, "C:\\Program Files\\Velmora\\AcmeTool\\");
    EXPECT_EQ(e.UnInstallString, "C:\\WINDOWS\\kxUnInst.exe");
    EXPECT_EQ(e.Publisher, "Acme Ltd.");
    EXPECT_EQ(e.GroupDir, "C:\\Start\\Acme Tool\\");
    EXPECT_EQ(e.CreatedDirs, (TLines{"C:\\Program Files\\Velmora\\", "C:\\Program Files\\Velmora\\AcmeTool\\"}));
    EXPECT_EQ(e.Shortcuts, (TLines{"C:\\Start\\Acme Tool\\Acme Tool.Lnk"}));
    EXPECT_EQ(e.RegValues, (TLines{"SOFTWARE\\Acme\\Tool;InstallPath"}));
    EXPECT_EQ(e.RegKeys, (TLines{"SOFTWARE\\Acme", "SOFTWARE\\Acme\\Tool"}));
    EXPECT_TRUE(e.SharedFiles.empty());
    EXPECT_EQ(UninstEntryValueNames(e),
              (TLines{"DisplayName", "UnInstallPath", "GrpName", "UnInstallString", "Publisher", "InstallLocation",
                      "DisplayIcon", "EstimatedSize", "NoModify", "NoRepair", "kxGroupDir", "kxIniSha256",
                      "kxListSha256", "kxCreatedDir0",
                      "kxCreatedDir1", "kxShortcut0", "kxRegValue0", "kxRegKey0", "kxRegKey1"}));
}

struct TWinInitCase {
    const char* What;
    const char* Before;
    const char* After;
};

class WinInit : public testing::TestWithParam<TWinInitCase> {};

TEST_P(WinInit, NulLineGoesToTheEndOfTheRenameSection) {
    EXPECT_EQ(AddWinInitRename(GetParam().Before, "NUL", "C:\\PROGRA~1\\ACME\\ACMEUI.EXE"), GetParam().After)
        << GetParam().What;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WinInit,
    testing::Values(
        TWinInitCase{"no file yet", "", "[rename]\r\nNUL=C:\\PROGRA~1\\ACME\\ACMEUI.EXE\r\n"},
        TWinInitCase{"another section only", "[other]\r\na=b\r\n",
                     "[other]\r\na=b\r\n[rename]\r\nNUL=C:\\PROGRA~1\\ACME\\ACMEUI.EXE\r\n"},
        TWinInitCase{"a NUL line already there stays", "[rename]\r\nNUL=C:\\X.DLL\r\n",
                     "[rename]\r\nNUL=C:\\X.DLL\r\nNUL=C:\\PROGRA~1\\ACME\\ACMEUI.EXE\r\n"},
        TWinInitCase{"section in the middle, blank line after it",
                     "[a]\r\n[Rename]\r\nC:\\D.DLL=C:\\T\\D.DLL\r\n\r\n[b]\r\nx=y\r\n",
                     "[a]\r\n[Rename]\r\nC:\\D.DLL=C:\\T\\D.DLL\r\nNUL=C:\\PROGRA~1\\ACME\\ACMEUI.EXE\r\n\r\n[b]\r\nx=y\r\n"},
        TWinInitCase{"last line without a break", "[rename]\r\nNUL=C:\\X.DLL",
                     "[rename]\r\nNUL=C:\\X.DLL\r\nNUL=C:\\PROGRA~1\\ACME\\ACMEUI.EXE\r\n"},
        TWinInitCase{"LF only, file not ending in a break", "x=1", "x=1\r\n[rename]\r\nNUL=C:\\PROGRA~1\\ACME\\ACMEUI.EXE\r\n"}));

} // namespace
