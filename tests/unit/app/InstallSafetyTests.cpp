// The safety rules of installing and removing: target folders refused, the
// folder protected, and reparse points in a path to be removed.
#include <gtest/gtest.h>

#include <map>

#include "app/InstallSafety.h"

using namespace kx;

namespace {

constexpr unsigned kAnsi = 1252, kBig5 = 950;
const char kOwnKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AcmeTool";

TSystemPlaces Places() {
    TSystemPlaces p;
    p.CodePage = kAnsi;
    p.WindowsDir = "C:\\WINDOWS\\";
    p.SystemDir = "C:\\WINDOWS\\system32\\";
    p.CommonFilesDir = "C:\\Program Files\\Common Files\\";
    p.ProgramsDirs = {"C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\",
                      "C:\\Documents and Settings\\me\\Start Menu\\Programs\\"};
    p.ProgramFilesDirs = {"C:\\Program Files\\", "C:\\Program Files (x86)\\"};
    p.ProtectedDirs = {"C:\\Program Files\\", "C:\\Program Files (x86)\\", "C:\\DOCUME~1\\me\\LOCALS~1\\Temp\\"};
    return p;
}

// A file system of "UnInst.Ini" files; every path asked for is noted.
struct TFakeFiles {
    std::map<std::string, std::string> Files;
    std::vector<std::string> Asked;
    TFileReader Reader() {
        return [this](const std::string& path) -> std::optional<std::string> {
            Asked.push_back(path);
            auto it = Files.find(path);
            if (it == Files.end()) return std::nullopt;
            return it->second;
        };
    }
};

struct TDirCase {
    const char* Dir;
    TInstallDirRefusal Refusal;
};

class InstallDirRefusal : public testing::TestWithParam<TDirCase> {};

TEST_P(InstallDirRefusal, ByTheSystemsPlaces) {
    TFakeFiles files;
    EXPECT_EQ(CheckInstallDir(GetParam().Dir, Places(), kOwnKey, files.Reader()), GetParam().Refusal)
        << GetParam().Dir;
}

INSTANTIATE_TEST_SUITE_P(
    Table, InstallDirRefusal,
    testing::Values(TDirCase{"C:\\", TInstallDirRefusal::DriveRoot}, TDirCase{"d:\\", TInstallDirRefusal::DriveRoot},
                    TDirCase{"C:\\WINDOWS", TInstallDirRefusal::SystemFolder},
                    TDirCase{"c:\\windows\\SYSTEM32\\", TInstallDirRefusal::SystemFolder},
                    TDirCase{"C:\\Program Files\\", TInstallDirRefusal::SystemFolder},
                    TDirCase{"C:\\Program Files (x86)", TInstallDirRefusal::SystemFolder},
                    TDirCase{"C:\\Program Files\\Common Files", TInstallDirRefusal::SystemFolder},
                    // Above a folder of the system: its files would lie among the system's folders.
                    TDirCase{"C:\\Documents and Settings\\", TInstallDirRefusal::SystemFolder},
                    TDirCase{"C:\\Documents and Settings\\me\\Start Menu\\Programs", TInstallDirRefusal::SystemFolder},
                    TDirCase{"C:\\DOCUME~1\\me\\LOCALS~1\\Temp\\", TInstallDirRefusal::SystemFolder},
                    // Folders of their own, wherever they lie.
                    TDirCase{"C:\\Program Files\\Velmora\\AcmeTool\\", TInstallDirRefusal::None},
                    TDirCase{"C:\\WINDOWS\\AcmeTool", TInstallDirRefusal::None},
                    TDirCase{"C:\\Acme", TInstallDirRefusal::None}, TDirCase{"D:\\WINDOWS", TInstallDirRefusal::None},
                    // Not a full path: left to the creation of the folder, which refuses it.
                    TDirCase{"Acme\\Tool", TInstallDirRefusal::None}, TDirCase{"", TInstallDirRefusal::None}));

TEST(InstallDir, AnotherPackagesSettingsFileIsRefusedOurOwnIsNot) {
    TFakeFiles files;
    files.Files["C:\\Acme\\UnInst.Ini"] = "[Reg]\r\nRegKey=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other"
                                          "\r\n\r\n[Service]\r\n";
    EXPECT_EQ(CheckInstallDir("C:\\Acme", Places(), kOwnKey, files.Reader()), TInstallDirRefusal::OtherPackage);
    EXPECT_EQ(files.Asked, (std::vector<std::string>{"C:\\Acme\\UnInst.Ini"}));

    // A second setup of the same package into its folder (the key in another case).
    files.Files["C:\\Acme\\UnInst.Ini"] =
        "[Reg]\r\nRegKey=software\\microsoft\\windows\\currentversion\\uninstall\\acmetool\r\n";
    EXPECT_EQ(CheckInstallDir("C:\\Acme\\", Places(), kOwnKey, files.Reader()), TInstallDirRefusal::None);

    // A settings file that names no key cannot be told from another package's.
    for (const char* text : {"", "[Service]\r\nAcmeSvc=True\r\n", "\x01\xFF\xFE", "[Reg]\r\nRegKey=\r\n"}) {
        files.Files["C:\\Acme\\UnInst.Ini"] = text;
        EXPECT_EQ(CheckInstallDir("C:\\Acme", Places(), kOwnKey, files.Reader()), TInstallDirRefusal::OtherPackage)
            << text;
    }
    files.Files.clear();
    EXPECT_EQ(CheckInstallDir("C:\\Acme", Places(), kOwnKey, files.Reader()), TInstallDirRefusal::None);
}

TEST(InstallDir, SettingsFileOfABig5FolderEndingInByte5CIsLookedForInsideIt) {
    TSystemPlaces places = Places();
    places.CodePage = kBig5;
    TFakeFiles files;
    CheckInstallDir("C:\\Acme\\\xA5\\", places, kOwnKey, files.Reader());
    EXPECT_EQ(files.Asked, (std::vector<std::string>{"C:\\Acme\\\xA5\\\\UnInst.Ini"}));
}

struct TProtectCase {
    const char* InstallDir;
    std::vector<std::string> Created;
    const char* Protected;
};

class ProtectedFolder : public testing::TestWithParam<TProtectCase> {};

TEST_P(ProtectedFolder, IsTheOutermostCreatedOutsideProgramFiles) {
    EXPECT_EQ(FolderToProtect(GetParam().InstallDir, GetParam().Created, Places()), GetParam().Protected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProtectedFolder,
    testing::Values(
        TProtectCase{"C:\\Acme\\", {"C:\\Acme\\"}, "C:\\Acme\\"},
        TProtectCase{"C:\\Acme\\Tool\\", {"C:\\Acme\\", "C:\\Acme\\Tool\\"}, "C:\\Acme\\"},
        // Children first, other folders of the run among them, the target without its backslash.
        TProtectCase{"C:\\Acme\\Tool",
                     {"C:\\Acme\\Tool\\docs\\", "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Acme\\",
                      "C:\\Acme\\Tool\\", "C:\\Acme\\"},
                     "C:\\Acme\\"},
        // Only the target was made, below a folder that was there.
        TProtectCase{"D:\\Apps\\Acme\\", {"D:\\Apps\\Acme\\"}, "D:\\Apps\\Acme\\"},
        // A folder that was there keeps its protection.
        TProtectCase{"C:\\Acme\\", {}, ""},
        TProtectCase{"C:\\Acme\\", {"C:\\Acme\\docs\\", "C:\\Acme Two\\"}, ""},
        // Inside Program Files the folders inherit its protection.
        TProtectCase{"C:\\Program Files\\Velmora\\AcmeTool\\",
                     {"C:\\Program Files\\Velmora\\", "C:\\Program Files\\Velmora\\AcmeTool\\"},
                     ""},
        TProtectCase{"c:\\program files (x86)\\Acme\\", {"C:\\Program Files (x86)\\Acme\\"}, ""}));

// The attributes of a few paths; every path asked for is noted.
struct TFakeAttributes {
    std::map<std::string, std::uint32_t> Attr;
    std::vector<std::string> Asked;
    TAttributeReader Reader() {
        return [this](const std::string& path) -> std::optional<std::uint32_t> {
            Asked.push_back(path);
            auto it = Attr.find(path);
            if (it == Attr.end()) return std::nullopt;
            return it->second;
        };
    }
};

constexpr std::uint32_t kDir = 0x10, kFile = 0x20, kLink = 0x400;

TEST(ReparsePoint, EveryComponentBelowTheBaseIsLookedAtOutermostFirst) {
    TFakeAttributes fs;
    fs.Attr = {{"C:\\Acme\\data", kDir}, {"C:\\Acme\\data\\x", kDir}, {"C:\\Acme\\data\\x\\info.dat", kFile}};
    EXPECT_EQ(FirstReparsePoint("C:\\Acme\\data\\x\\info.dat", "C:\\Acme\\", fs.Reader(), kAnsi), "");
    EXPECT_EQ(fs.Asked, (std::vector<std::string>{"C:\\Acme\\data", "C:\\Acme\\data\\x", "C:\\Acme\\data\\x\\info.dat"}));

    // A junction in the middle of the path: the removal would reach another folder.
    fs.Attr["C:\\Acme\\data"] = kDir | kLink;
    EXPECT_EQ(FirstReparsePoint("C:\\Acme\\data\\x\\info.dat", "C:\\Acme", fs.Reader(), kAnsi), "C:\\Acme\\data");
    // The file itself a symbolic link; a folder to be removed, with its backslash.
    fs.Attr["C:\\Acme\\data"] = kDir;
    fs.Attr["C:\\Acme\\data\\x\\info.dat"] = kFile | kLink;
    EXPECT_EQ(FirstReparsePoint("C:\\Acme\\data\\x\\info.dat", "C:\\Acme\\", fs.Reader(), kAnsi),
              "C:\\Acme\\data\\x\\info.dat");
    fs.Attr["C:\\Acme\\data\\x"] = kDir | kLink;
    EXPECT_EQ(FirstReparsePoint("C:\\Acme\\data\\x\\", "C:\\Acme\\", fs.Reader(), kAnsi), "C:\\Acme\\data\\x");
}

TEST(ReparsePoint, TheBaseItselfAndWhatIsNotThereEndTheWalk) {
    TFakeAttributes fs;
    // The base is the caller's to trust; below it nothing is there from "gone" on.
    fs.Attr = {{"C:\\Acme", kDir | kLink}, {"C:\\Acme\\gone\\x", kDir | kLink}};
    EXPECT_EQ(FirstReparsePoint("C:\\Acme\\gone\\x\\f.txt", "C:\\Acme\\", fs.Reader(), kAnsi), "");
    EXPECT_EQ(fs.Asked, (std::vector<std::string>{"C:\\Acme\\gone"}));
}

TEST(ReparsePoint, APathOutsideTheBaseIsLookedAtAlone) {
    TFakeAttributes fs;
    fs.Attr = {{"C:\\WINDOWS\\system32\\kxshared.dll", kFile | kLink}};
    EXPECT_EQ(FirstReparsePoint("C:\\WINDOWS\\system32\\kxshared.dll", "C:\\Acme\\", fs.Reader(), kAnsi),
              "C:\\WINDOWS\\system32\\kxshared.dll");
    EXPECT_EQ(fs.Asked, (std::vector<std::string>{"C:\\WINDOWS\\system32\\kxshared.dll"}));
}

TEST(ReparsePoint, ComponentsKeepThePathsSpellingAndItsDoubleByteNames) {
    TFakeAttributes fs;
    // "\xA5\x5C" is one Big5 character, not a folder "\xA5" and a backslash.
    fs.Attr = {{"c:\\acme\\\xA5\\", kDir | kLink}, {"c:\\acme\\\xA5\\\\x.txt", kFile}};
    EXPECT_EQ(FirstReparsePoint("c:\\acme\\\xA5\\\\x.txt", "C:\\ACME\\", fs.Reader(), kBig5), "c:\\acme\\\xA5\\");
    EXPECT_EQ(fs.Asked, (std::vector<std::string>{"c:\\acme\\\xA5\\"}));
}

} // namespace
