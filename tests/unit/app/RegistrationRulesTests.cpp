// Registration's decisions over the wizard's fields: the uninstaller's settings
// file, shortcuts, service command lines, records, shared counts, versions.
#include <gtest/gtest.h>

#include <set>

#include "app/RegistrationRules.h"

using namespace kx;

namespace {

TSetupFields DemoFields() {
    TSetupFields f;
    f.FInstallDir = "C:\\Program Files\\Velmora\\AcmeTool\\";
    f.FRegKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AcmeTool";
    f.FServices = {"AcmeSvc"};
    f.FFindClass = "TAcmeMainWindow";
    f.FReNameList = {"acmehook.dll", "acmeui.exe"};
    return f;
}

} // namespace

TEST(UnInstIni, DemoPackageWithFindClassEndsWithTheCommonSection) {
    EXPECT_EQ(BuildUnInstIni(DemoFields()),
              "[Reg]\r\n"
              "RegKey=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AcmeTool\r\n"
              "\r\n"
              "[Service]\r\n"
              "AcmeSvc=True\r\n"
              "[Common]\r\n"
              "FINDCLASS=TAcmeMainWindow\r\n"
              "ReNameList=acmehook.dll;acmeui.exe\r\n");
}

TEST(UnInstIni, WithoutFindClassEndsWithTheServiceLines) {
    TSetupFields f = DemoFields();
    f.FFindClass.clear();
    f.FServices = {"First", "Second"};
    EXPECT_EQ(BuildUnInstIni(f), "[Reg]\r\nRegKey=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AcmeTool\r\n"
                                 "\r\n[Service]\r\nFirst=True\r\nSecond=True\r\n");
}

TEST(UnInstIni, EmptyServiceSectionEndsWithItsHeader) {
    TSetupFields f;
    f.FRegKey = "K";
    EXPECT_EQ(BuildUnInstIni(f), "[Reg]\r\nRegKey=K\r\n\r\n[Service]\r\n");
}

TEST(UnInstIni, FindClassWithoutReNameListKeepsAnEmptyList) {
    TSetupFields f;
    f.FRegKey = "K";
    f.FFindClass = "W";
    EXPECT_EQ(BuildUnInstIni(f), "[Reg]\r\nRegKey=K\r\n\r\n[Service]\r\n[Common]\r\nFINDCLASS=W\r\nReNameList=\r\n");
}

struct TNameCase {
    const char* Name;
    unsigned CodePage;
    const char* SubFolder;
    const char* Title;
};

class ShortcutName : public testing::TestWithParam<TNameCase> {};

TEST_P(ShortcutName, SplitsAtTheFirstBackslashCharacter) {
    std::string sub = "stale", title = "stale";
    SplitShortcutName(GetParam().Name, GetParam().CodePage, sub, title);
    EXPECT_EQ(sub, GetParam().SubFolder);
    EXPECT_EQ(title, GetParam().Title);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ShortcutName,
    testing::Values(TNameCase{"Acme Tool", 1252, "", "Acme Tool"}, TNameCase{"Docs\\Read Me", 1252, "Docs", "Read Me"},
                    TNameCase{"A\\B\\C", 1252, "A", "B\\C"},
                    // Big5 "功能\說明": 功 is A5 5C, so its second byte is no delimiter.
                    TNameCase{"\xA5\x5C\xAF\xE0\\\xBB\xA1\xA9\xFA", 950, "\xA5\x5C\xAF\xE0", "\xBB\xA1\xA9\xFA"},
                    // The same bytes read byte by byte would split inside 功.
                    TNameCase{"\xA5\x5C\xAF\xE0\\\xBB\xA1\xA9\xFA", 1252, "\xA5", "\xAF\xE0\\\xBB\xA1\xA9\xFA"},
                    // GBK "淺色" (9C 5C C9 AB) without a subfolder.
                    TNameCase{"\x9C\x5C\xC9\xAB", 936, "", "\x9C\x5C\xC9\xAB"},
                    TNameCase{"\x9C\x5C\xC9\xAB\\x", 936, "\x9C\x5C\xC9\xAB", "x"}));

TEST(Shortcuts, OnlyLinksToSelectedEntriesAsWholeTextsInLinkOrder) {
    TSetupFields f;
    f.FLinks = {"Acme Tool=acmeui.exe", "Docs\\Read Me=readme.txt", "Driver=acmedisk.sys", "Hook=acmehook.dll",
                "Twice=acmeui.exe",     "twice=readme.txt",          "NoEquals",            "Empty="};
    f.FSelFiles = {"acmeui.exe", "acmesvc.exe", "acmehook.dll[S", "README.TXT"};
    std::vector<TShortcutPlan> plans = SelectShortcuts(f, 1252);
    ASSERT_EQ(plans.size(), 4u);
    EXPECT_EQ(plans[0].SubFolder, "");
    EXPECT_EQ(plans[0].Title, "Acme Tool");
    EXPECT_EQ(plans[0].File, "acmeui.exe");
    EXPECT_EQ(plans[1].SubFolder, "Docs");
    EXPECT_EQ(plans[1].Title, "Read Me");
    EXPECT_EQ(plans[1].File, "readme.txt");
    EXPECT_EQ(plans[2].Title, "Twice");
    // A name given twice takes the value of its first line.
    EXPECT_EQ(plans[3].Title, "twice");
    EXPECT_EQ(plans[3].File, "acmeui.exe");
}

TEST(Shortcuts, NothingSelectedGivesNone) {
    TSetupFields f;
    f.FLinks = {"Acme Tool=acmeui.exe"};
    EXPECT_TRUE(SelectShortcuts(f, 1252).empty());
}

TEST(ServiceCommand, ProgramPathIsQuoted) {
    EXPECT_EQ(QuotedCommand("C:\\Program Files\\Velmora\\AcmeTool\\acmesvc.exe", "/install /silent"),
              "\"C:\\Program Files\\Velmora\\AcmeTool\\acmesvc.exe\" /install /silent");
}

// The uninstaller's shortcut names the target folder for the Windows folder's copy.
TEST(UninstallerArguments, TargetFolderQuotedWithoutItsClosingBackslash) {
    EXPECT_EQ(UninstallerArguments("C:\\Program Files\\Velmora\\AcmeTool\\", 1252),
              "\"C:\\Program Files\\Velmora\\AcmeTool\"");
    EXPECT_EQ(UninstallerArguments("C:\\Acme", 1252), "\"C:\\Acme\"");
    // The Big5 character A5 5C ends the name; only the backslash after it goes.
    EXPECT_EQ(UninstallerArguments("C:\\Acme\\\xA5\\\\", 950), "\"C:\\Acme\\\xA5\\\"");
    EXPECT_EQ(UninstallerArguments("C:\\Acme\\\xA5\\", 950), "\"C:\\Acme\\\xA5\\\"");
}

// What the uninstall entry keeps of "UnInst.Ini" (the demo's) and "INSTFILE.LST".
TEST(RecordDigest, Sha256OfTheFilesBytesInLowerCaseHex) {
    EXPECT_EQ(RecordDigest("[Reg]\r\nRegKey=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AcmeTool\r\n\r\n"
                           "[Service]\r\nAcmeSvc=True\r\n"),
              "26954d395ed4280db14eabf9eb8bc541458232a09a4e832bc47060eb217e1790");
    EXPECT_EQ(RecordDigest(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

struct TImageCase {
    const char* ImagePath;
    const char* Program;
};

class ServiceImage : public testing::TestWithParam<TImageCase> {};

TEST_P(ServiceImage, ProgramIsFoundAsWindowsFindsIt) {
    const std::set<std::string> files{"C:\\Program Files\\Velmora\\AcmeTool\\acmesvc.exe", "C:\\Old\\svc.exe",
                                      "C:\\Program.exe", "C:\\Old\\bare"};
    auto exists = [&files](const std::string& p) { return files.count(p) != 0; };
    EXPECT_EQ(ServiceProgramOf(GetParam().ImagePath, exists), GetParam().Program);
}

INSTANTIATE_TEST_SUITE_P(
    ImagePaths, ServiceImage,
    testing::Values(
        TImageCase{"\"C:\\Program Files\\Velmora\\AcmeTool\\acmesvc.exe\"",
                   "C:\\Program Files\\Velmora\\AcmeTool\\acmesvc.exe"},
        TImageCase{"\"C:\\Program Files\\Velmora\\AcmeTool\\acmesvc.exe\" -k group",
                   "C:\\Program Files\\Velmora\\AcmeTool\\acmesvc.exe"},
        TImageCase{"  \"C:\\x y\\a.exe\"", "C:\\x y\\a.exe"}, TImageCase{"\"C:\\unterminated", "C:\\unterminated"},
        // Unquoted: the first part that names a file wins, as in Windows' own search.
        TImageCase{"C:\\Program Files\\Velmora\\AcmeTool\\acmesvc.exe", "C:\\Program.exe"},
        TImageCase{"C:\\Old\\bare x", "C:\\Old\\bare x"},
        TImageCase{"C:\\Old\\svc -run", "C:\\Old\\svc.exe"}, TImageCase{"C:\\Old\\svc.exe /x", "C:\\Old\\svc.exe"},
        TImageCase{"C:\\Missing\\a.exe /x", "C:\\Missing\\a.exe /x"}, TImageCase{"", ""}, TImageCase{"   ", ""}));

TEST(ServiceFile, RelativeNameGetsTheTargetDirectoryOnce) {
    EXPECT_EQ(AbsoluteServiceFile("C:\\A\\", "svc.exe"), "C:\\A\\svc.exe");
    EXPECT_EQ(AbsoluteServiceFile("C:\\A\\", "bin\\svc.exe"), "C:\\A\\bin\\svc.exe");
    EXPECT_EQ(AbsoluteServiceFile("C:\\A\\", "C:\\A\\svc.exe"), "C:\\A\\svc.exe");
    EXPECT_EQ(AbsoluteServiceFile("C:\\A\\", "\\\\server\\share\\svc.exe"), "\\\\server\\share\\svc.exe");
}

TEST(AutoReg, OnlyEntriesOfExactlyThreePartsWithTheTargetDirectoryInFront) {
    TSetupFields f;
    f.FInstallDir = "C:\\A\\";
    f.FAutoReg = {"SOFTWARE\\Acme\\Tool;InstallPath;acmeui.exe", "two;parts", "a;b;c;d", "K;;x", ""};
    std::vector<TAutoRegValue> v = SelectAutoRegValues(f);
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0].Key, "SOFTWARE\\Acme\\Tool");
    EXPECT_EQ(v[0].Name, "InstallPath");
    EXPECT_EQ(v[0].Data, "C:\\A\\acmeui.exe");
    EXPECT_EQ(v[1].Key, "K");
    EXPECT_EQ(v[1].Name, "");
    EXPECT_EQ(v[1].Data, "C:\\A\\x");
}

TEST(AutoReg, KeyChainParentsFirst) {
    EXPECT_EQ(KeyPathChain("SOFTWARE\\Acme\\Tool", 1252),
              (std::vector<std::string>{"SOFTWARE", "SOFTWARE\\Acme", "SOFTWARE\\Acme\\Tool"}));
    EXPECT_EQ(KeyPathChain("A\\\\B\\", 1252), (std::vector<std::string>{"A", "A\\\\B"}));
    EXPECT_EQ(KeyPathChain("S\\\xA5\x5C", 950), (std::vector<std::string>{"S", "S\\\xA5\x5C"}));
    EXPECT_TRUE(KeyPathChain("", 1252).empty());
}

TEST(Records, AppendOnlyWhatIsNotThereWithoutRegardToCase) {
    std::vector<std::string> r{"C:\\A\\"};
    EXPECT_FALSE(AddRecord(r, "c:\\a\\"));
    EXPECT_TRUE(AddRecord(r, "C:\\A\\B\\"));
    EXPECT_EQ(r, (std::vector<std::string>{"C:\\A\\", "C:\\A\\B\\"}));
}

TEST(SharedFiles, SystemAndSharedFolderFilesOnceEach) {
    std::vector<TPlacedFile> placed{{"C:\\A\\ui.exe", 'P'},
                                    {"C:\\WINDOWS\\system32\\hook.dll", 'S'},
                                    {"C:\\Common\\x.dll", 'C'},
                                    {"C:\\windows\\SYSTEM32\\HOOK.DLL", 'S'}};
    std::vector<TPlacedFile> shared = SharedFilesOf(placed);
    ASSERT_EQ(shared.size(), 2u);
    EXPECT_EQ(shared[0].Path, "C:\\WINDOWS\\system32\\hook.dll");
    EXPECT_EQ(shared[1].Path, "C:\\Common\\x.dll");
}

TEST(SharedFiles, CountFollowsTheWindowsConvention) {
    EXPECT_EQ(NextSharedCount(std::nullopt, false), 1u);
    EXPECT_EQ(NextSharedCount(std::nullopt, true), 2u) << "a file that was there counts its unknown owner";
    EXPECT_EQ(NextSharedCount(3u, false), 4u);
    EXPECT_EQ(NextSharedCount(3u, true), 4u);
    EXPECT_EQ(NextSharedCount(0u, true), 1u);
}

TEST(EstimatedSize, KibRoundedUpOverDistinctFiles) {
    EXPECT_EQ(EstimatedSizeKiB({}, 0), 0u);
    EXPECT_EQ(EstimatedSizeKiB({}, 1), 1u);
    EXPECT_EQ(EstimatedSizeKiB({{"a", 'P', false, 1024}}, 0), 1u);
    EXPECT_EQ(EstimatedSizeKiB({{"a", 'P', false, 1024}}, 1), 2u);
    EXPECT_EQ(EstimatedSizeKiB({{"a", 'P', false, 1024}, {"A", 'P', false, 1024}, {"b", 'S', true, 2048}}, 0), 3u);
}

namespace {

// VS_VERSIONINFO with a VS_FIXEDFILEINFO of file version 2.1.3.4, as windres writes it.
std::string VersionBlob() {
    std::string b("\x5C\x00\x34\x00\x00\x00", 6);
    for (char c : std::string("VS_VERSION_INFO")) b += std::string{c, '\0'};
    b += std::string("\0\0" "\0\0", 4); // terminator and padding to offset 40
    b += std::string("\xBD\x04\xEF\xFE" "\x00\x00\x01\x00" "\x01\x00\x02\x00" "\x04\x00\x03\x00", 16);
    b += std::string(36, '\0');
    return b;
}

} // namespace

TEST(Version, FixedFileInfoIsRead) {
    std::string b = VersionBlob();
    ASSERT_EQ(b.size(), 92u);
    EXPECT_EQ(FixedFileVersion(b), 0x0002000100030004ull);
}

TEST(Version, AnythingElseHasNoVersion) {
    std::string wrongSignature = VersionBlob();
    wrongSignature[40] = 0;
    std::string wrongKey = VersionBlob();
    wrongKey[6] = 'X';
    std::string noValue = VersionBlob();
    noValue[2] = 0;
    for (const std::string& b : {wrongSignature, wrongKey, noValue, VersionBlob().substr(0, 91), std::string()})
        EXPECT_FALSE(FixedFileVersion(b).has_value());
}

TEST(Version, OursReplacesUnlessTheOtherIsNewer) {
    EXPECT_TRUE(MayReplaceByVersion(0x0001000000000000ull, std::nullopt));
    EXPECT_TRUE(MayReplaceByVersion(0x0001000000000000ull, 0x0001000000000000ull));
    EXPECT_TRUE(MayReplaceByVersion(0x0002000000000000ull, 0x0001000900000000ull));
    EXPECT_FALSE(MayReplaceByVersion(0x0001000000000000ull, 0x0001000000000001ull));
    EXPECT_FALSE(MayReplaceByVersion(std::nullopt, 0x0000000000000001ull));
    EXPECT_TRUE(MayReplaceByVersion(std::nullopt, std::nullopt));
}
