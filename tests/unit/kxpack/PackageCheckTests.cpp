// The package checks: a good package passes without a word; each kind of
// mistake is found with its file, line and a message that names it.
#include <gtest/gtest.h>

#include "tools/kxpack/PackageCheck.h"

namespace kx::kxpack {
namespace {

using Lines = std::vector<std::string>;

// GBK: 演示工具, 演示, 驱动, 文件\说明; Big5: 工具, 元件, 許功蓋 (whose trail bytes are 0x5C).
#define GB_TOOL "\xD1\xDD\xCA\xBE\xB9\xA4\xBE\xDF"
#define B5_TOOL "\xA4\x75\xA8\xE3"
#define B5_PART "\xA4\xB8\xA5\xF3"
#define UTF8_TOOL "\xE6\xBC\x94\xE7\xA4\xBA"

const Lines GoodScript = {
    "[Common]",                                                           // 1
    "AutoRun=ui.exe",                                                     // 2
    "SERVICENAME=Svc",                                                    // 3
    "SERVICEFILE=svc.exe",                                                // 4
    "FindClass=TMainWindow",                                              // 5
    "ReNameList=hook.dll;ui.exe",                                         // 6
    "WIN2K=TRUE",                                                         // 7
    "",                                                                   // 8
    "[Service]",                                                          // 9
    "Svc=TRUE",                                                           // 10
    "",                                                                   // 11
    "[GB.GrpName]",                                                       // 12
    "GrpName=" GB_TOOL,                                                   // 13
    "COMPANY=\xD1\xDD\xCA\xBE",                                           // 14
    "VERSION=1.0",                                                        // 15
    "REG=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo",  // 16
    "PRGDIR=Demo",                                                        // 17
    "UNINST=TRUE",                                                        // 18
    "",                                                                   // 19
    "[GB.File]",                                                          // 20
    GB_TOOL "=ui.exe;svc.exe;hook.dll[S;docs\\readme.txt",                // 21
    "\xC7\xFD\xB6\xAF=disk.sys[S",                                        // 22
    "",                                                                   // 23
    "[GB.Link]",                                                          // 24
    GB_TOOL "=ui.exe",                                                    // 25
    "\xCE\xC4\xBC\xFE\\\xCB\xB5\xC3\xF7=docs\\readme.txt",                // 26
    "",                                                                   // 27
    "[B5.GrpName]",                                                       // 28
    "GrpName=" B5_TOOL,                                                   // 29
    "COMPANY=" B5_TOOL,                                                   // 30
    "VERSION=1.0",                                                        // 31
    "REG=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo",  // 32
    "PRGDIR=Demo",                                                        // 33
    "UNINST=TRUE",                                                        // 34
    "",                                                                   // 35
    "[B5.File]",                                                          // 36
    B5_TOOL "=ui.exe;svc.exe;hook.dll[S;docs\\readme.txt",                // 37
    B5_PART "=disk.sys[S",                                                // 38
    "",                                                                   // 39
    "[B5.Link]",                                                          // 40
    "\xB3\x5C\xA5\x5C\xBB\x5C=ui.exe",                                    // 41
    B5_PART "\\" B5_TOOL "=docs\\readme.txt",                             // 42
    "",                                                                   // 43
    "[EN.GrpName]",                                                       // 44
    "GrpName=Demo Tool",                                                  // 45
    "COMPANY=Demo Ltd.",                                                  // 46
    "VERSION=1.0",                                                        // 47
    "REG=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo",  // 48
    "PRGDIR=Demo",                                                        // 49
    "UNINST=TRUE",                                                        // 50
    "",                                                                   // 51
    "[EN.File]",                                                          // 52
    "Demo Tool=ui.exe;svc.exe;hook.dll[S;docs\\readme.txt",               // 53
    "Driver=disk.sys[S",                                                  // 54
    "",                                                                   // 55
    "[EN.Link]",                                                          // 56
    "Demo Tool=ui.exe",                                                   // 57
    "Docs\\Read Me=docs\\readme.txt",                                     // 58
    "",                                                                   // 59
    "[DESTDIR]",                                                          // 60
    "drivers=disk.sys",                                                   // 61
    "",                                                                   // 62
    "[AutoReg]",                                                          // 63
    "SOFTWARE\\Demo\\Tool;InstallPath;ui.exe=1",                          // 64
};

struct TWorld {
    Lines Script = GoodScript;
    TPackageContent Package;

    TWorld() {
        Package.Licences[0] = "\xD0\xED\xBF\xC9\r\n";  // 许可
        Package.Licences[1] = "\xB3\x5C\xA5\x69\r\n";  // 許可
        Package.Licences[2] = "Licence\r\n";
        Package.PayloadNames = {"disk.sys", "docs\\readme.txt", "hook.dll", "svc.exe", "ui.exe"};
    }
    void Set(int line, const std::string& text) { Script.at(line - 1) = text; }
    void Erase(int first, int last) { Script.erase(Script.begin() + first - 1, Script.begin() + last); }
    std::vector<TFinding> Check() {
        std::string text;
        for (const std::string& l : Script)
            text += l + "\r\n";
        Package.Script = text;
        return CheckPackage(Package);
    }
};

std::string Show(const std::vector<TFinding>& findings) {
    std::string s;
    for (const TFinding& f : findings)
        s += f.File + ":" + std::to_string(f.Line) + ": " + (f.Severity == TSeverity::Error ? "error: " : "warning: ") +
             f.Message + "\n";
    return s;
}

TEST(PackageCheck, AGoodPackageHasNoFindings) {
    TWorld w;
    auto findings = w.Check();
    EXPECT_TRUE(findings.empty()) << Show(findings);
    // With the author's folders, version and copyright.
    w.Script.insert(w.Script.begin() + 7, {"VendorDir=Larkspur Software", "SharedDir=Larkspur\\Shared",
                                           "ProductVersion=2.5.1 rc", "Copyright=(c) 2024 Larkspur"});
    findings = w.Check();
    EXPECT_TRUE(findings.empty()) << Show(findings);
}

// Findings that quote a name of a GB or B5 section say its code page, so that
// kxpack can show it in the terminal's encoding.
TEST(PackageCheck, FindingsQuotingChineseNamesCarryTheirCodePage) {
    TWorld w;
    w.Set(22, GB_TOOL "=disk.sys[S");
    w.Set(38, B5_TOOL "=disk.sys[S");
    w.Set(37, B5_TOOL "=ui.exe;svc.exe;hook.dll[S;docs\\readme.txt");
    std::vector<unsigned> pages;
    for (const TFinding& f : w.Check())
        if (f.Message.find("listed twice") != std::string::npos)
            pages.push_back(f.CodePage);
    EXPECT_EQ(pages, (std::vector<unsigned>{936, 950}));
    TWorld plain;
    plain.Set(54, "Demo Tool=disk.sys[S");
    for (const TFinding& f : plain.Check())
        EXPECT_EQ(f.CodePage, 0u) << f.Message;
}

struct TMistake {
    const char* What;
    void (*Make)(TWorld& w);
    TSeverity Severity;
    const char* File;
    int Line;
    const char* Message;
};
void PrintTo(const TMistake& c, std::ostream* os) { *os << c.What; }


class PackageMistake : public ::testing::TestWithParam<TMistake> {};

TEST_P(PackageMistake, IsFoundWhereItIs) {
    const TMistake& m = GetParam();
    TWorld w;
    m.Make(w);
    auto findings = w.Check();
    bool found = std::any_of(findings.begin(), findings.end(), [&](const TFinding& f) {
        return f.Severity == m.Severity && f.File == m.File && f.Line == m.Line &&
               f.Message.find(m.Message) != std::string::npos;
    });
    EXPECT_TRUE(found) << m.What << "; found instead:\n" << Show(findings);
}

constexpr TSeverity E = TSeverity::Error;
constexpr TSeverity W = TSeverity::Warning;

INSTANTIATE_TEST_SUITE_P(
    Script, PackageMistake,
    ::testing::Values(
        TMistake{"an empty script", [](TWorld& w) { w.Script = {" "}; }, E, "setup.ini", 0, "empty"},
        TMistake{"a byte order mark", [](TWorld& w) { w.Set(1, "\xEF\xBB\xBF[Common]"); }, E, "setup.ini", 1,
                 "byte order mark"},
        TMistake{"a line before the first section", [](TWorld& w) { w.Script.insert(w.Script.begin(), "x=1"); }, W,
                 "setup.ini", 1, "outside any section"},
        TMistake{"an unknown section", [](TWorld& w) { w.Set(59, "[EN.Files]"); }, E, "setup.ini", 59,
                 "unknown section [EN.Files]; the wizard does not read it, so what it holds is lost (did you mean "
                 "[EN.File]?)"},
        TMistake{"a typo of AutoReg", [](TWorld& w) { w.Set(63, "[AutoRegs]"); }, E, "setup.ini", 63,
                 "(did you mean [AutoReg]?)"},
        TMistake{"a section like none", [](TWorld& w) { w.Set(59, "[Extras]"); }, E, "setup.ini", 59,
                 "unknown section [Extras]; the wizard does not read it, so what it holds is lost"},
        TMistake{"an unknown key", [](TWorld& w) { w.Set(4, "SERVICFILE=svc.exe"); }, W, "setup.ini", 4,
                 "unknown key SERVICFILE"},
        TMistake{"a component file missing from the payload",
                 [](TWorld& w) { w.Package.PayloadNames.pop_back(); }, E, "setup.ini", 21,
                 "'ui.exe' (component '" GB_TOOL "') is not in files/"},
        TMistake{"a component line without '='", [](TWorld& w) { w.Set(54, "Driver"); }, E, "setup.ini", 54,
                 "no '='"},
        TMistake{"a file entry leaving the target directory",
                 [](TWorld& w) { w.Set(53, "Demo Tool=..\\ui.exe;svc.exe;hook.dll[S;docs\\readme.txt"); }, E,
                 "setup.ini", 53, "'..' part"},
        TMistake{"a file entry with a non-ASCII name",
                 [](TWorld& w) { w.Set(22, "\xC7\xFD\xB6\xAF=\xC7\xFD.sys[S"); }, E, "setup.ini", 22, "not ASCII"},
        TMistake{"a shortcut to no component's file", [](TWorld& w) { w.Set(57, "Demo Tool=missing.exe"); }, E,
                 "setup.ini", 57, "shortcut target 'missing.exe' is not a file of any component in [EN.File]"},
        TMistake{"a shortcut to a file of another language only",
                 [](TWorld& w) { w.Set(37, B5_TOOL "=ui.exe;svc.exe;hook.dll[S"); }, E, "setup.ini", 42,
                 "shortcut target 'docs\\readme.txt'"},
        TMistake{"a DESTDIR file of no component", [](TWorld& w) { w.Set(61, "drivers=other.sys"); }, E,
                 "setup.ini", 61, "[DESTDIR] names 'other.sys' is not a file of any component"},
        TMistake{"a DESTDIR folder with a drive", [](TWorld& w) { w.Set(61, "C:\\drivers=disk.sys"); }, E,
                 "setup.ini", 61, "':'"},
        TMistake{"a ReNameList file of no component", [](TWorld& w) { w.Set(6, "ReNameList=hook.dll;gone.exe"); },
                 E, "setup.ini", 6, "'gone.exe' is not a file of any component"},
        TMistake{"a SERVICEFILE of no component", [](TWorld& w) { w.Set(4, "SERVICEFILE=svc2.exe"); }, E,
                 "setup.ini", 4, "SERVICEFILE 'svc2.exe'"},
        TMistake{"an AutoRun of no component", [](TWorld& w) { w.Set(2, "AutoRun=run.exe"); }, E, "setup.ini", 2,
                 "AutoRun 'run.exe'"},
        TMistake{"an AutoReg entry of two parts", [](TWorld& w) { w.Set(64, "SOFTWARE\\Demo;ui.exe=1"); }, E,
                 "setup.ini", 64, "2 parts"},
        TMistake{"an AutoReg entry without '='",
                 [](TWorld& w) { w.Set(64, "SOFTWARE\\Demo\\Tool;InstallPath;ui.exe"); }, E, "setup.ini", 64,
                 "no '='"},
        TMistake{"an AutoReg key with a hive", [](TWorld& w) { w.Set(64, "HKLM\\SOFTWARE\\Demo;Path;ui.exe=1"); }, E,
                 "setup.ini", 64, "names the hive HKLM"},
        TMistake{"a REG key with a hive", [](TWorld& w) { w.Set(48, "REG=HKEY_LOCAL_MACHINE\\SOFTWARE\\Demo"); }, E,
                 "setup.ini", 48, "names the hive HKEY_LOCAL_MACHINE"},
        TMistake{"a REG key with a leading backslash", [](TWorld& w) { w.Set(16, "REG=\\SOFTWARE\\Demo"); }, E,
                 "setup.ini", 16, "starts with a backslash"},
        TMistake{"an empty REG", [](TWorld& w) { w.Set(32, "REG="); }, E, "setup.ini", 32, "REG is empty"},
        TMistake{"a service line without '='", [](TWorld& w) { w.Set(10, "Svc"); }, E, "setup.ini", 10,
                 "empty service name"},
        TMistake{"both Windows families", [](TWorld& w) { w.Script.insert(w.Script.begin() + 7, "WIN9X=TRUE"); },
                 E, "setup.ini", 7, "both TRUE"},
        TMistake{"a language without its sections", [](TWorld& w) { w.Erase(28, 43); }, E, "setup.ini", 0,
                 "[B5.GrpName] is missing"},
        TMistake{"a language without shortcuts", [](TWorld& w) { w.Erase(40, 43); }, E, "setup.ini", 0,
                 "[B5.Link] is missing"},
        TMistake{"a language with fewer components", [](TWorld& w) { w.Erase(38, 38); }, E, "setup.ini", 36,
                 "[B5.File] is missing a component: 'Driver' of [EN.File] (line 53, 'disk.sys[S') has no counterpart "
                 "here"},
        TMistake{"a language with an extra component", [](TWorld& w) { w.Set(39, B5_PART "=ui.exe"); }, E,
                 "setup.ini", 39,
                 "[B5.File]: component '" B5_PART "' ('ui.exe') is extra: no component of [EN.File] installs these "
                 "files"},
        TMistake{"a component installing other files in one language",
                 [](TWorld& w) { w.Set(22, "\xC7\xFD\xB6\xAF=disk.sys"); }, E, "setup.ini", 22,
                 "component 2 ('\xC7\xFD\xB6\xAF') installs 'disk.sys', but component 2 of [EN.File] ('Driver') "
                 "installs 'disk.sys[S'"},
        TMistake{"components in another order",
                 [](TWorld& w) {
                     w.Set(21, "\xC7\xFD\xB6\xAF=disk.sys[S");
                     w.Set(22, GB_TOOL "=ui.exe;svc.exe;hook.dll[S;docs\\readme.txt");
                 },
                 E, "setup.ini", 21, "component 1 ('\xC7\xFD\xB6\xAF') is component 2 of [EN.File] ('Driver')"},
        TMistake{"the same component name twice", [](TWorld& w) { w.Set(54, "Demo Tool=disk.sys[S"); }, E,
                 "setup.ini", 54,
                 "[EN.File]: component 'Demo Tool' is listed twice (also on line 53): the wizard would show it twice"},
        TMistake{"a REG key outside the system's list", [](TWorld& w) { w.Set(48, "REG=SOFTWARE\\Demo"); }, W,
                 "setup.ini", 48,
                 "REG 'SOFTWARE\\Demo' is not a key below SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall, so "
                 "the program is missing from the system's list of installed programs"},
        TMistake{"the Uninstall key itself as REG",
                 [](TWorld& w) { w.Set(48, "REG=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"); }, W,
                 "setup.ini", 48, "is not a key below"},
        TMistake{"a title longer than the banner",
                 [](TWorld& w) { w.Set(45, "GrpName=Demo Tool for Checking Titles That Run Past the Banner"); }, W,
                 "setup.ini", 45, "the title (GrpName, \"Installer\" and VERSION) is 68 bytes long"},
        TMistake{"a company line longer than its place",
                 [](TWorld& w) { w.Set(46, "COMPANY=Demo Limited Liability Company"); }, W, "setup.ini", 46,
                 "COMPANY 'Demo Limited Liability Company' is 30 bytes long; the wizard shows about 29"},
        TMistake{"a component name longer than the list",
                 [](TWorld& w) { w.Set(54, "The Disk Driver for Checking Long Names=disk.sys[S"); }, W, "setup.ini",
                 54, "component 'The Disk Driver for Checking Long Names' is 39 bytes long"},
        TMistake{"a system file path beyond MAX_PATH",
                 [](TWorld& w) { w.Set(61, std::string(240, 'd') + "=disk.sys"); }, E, "setup.ini", 22,
                 "[GB.File]: 'disk.sys' would be installed as C:\\WINDOWS\\SysWOW64\\ddd"},
        TMistake{"a target file path beyond MAX_PATH",
                 [](TWorld& w) { w.Set(8, "VendorDir=" + std::string(217, 'v')); }, E, "setup.ini", 21,
                 "'docs\\readme.txt' would be installed as C:\\Program Files (x86)\\vvv"},
        TMistake{"a program folder with no room for the setup's files",
                 [](TWorld& w) { w.Set(49, "PRGDIR=" + std::string(230, 'p')); }, E, "setup.ini", 49,
                 "leaving no room for the setup's own files"},
        TMistake{"a shared folder beyond MAX_PATH",
                 [](TWorld& w) {
                     w.Set(8, "SharedDir=" + std::string(220, 's'));
                     w.Set(54, "Driver=disk.sys[C");
                     w.Set(22, "\xC7\xFD\xB6\xAF=disk.sys[C");
                     w.Set(38, "\xBA\xCF\xBA\xD0=disk.sys[C");
                 },
                 E, "setup.ini", 22, "C:\\Program Files (x86)\\Common Files\\sss"},
        TMistake{"a Start-menu folder name Windows refuses", [](TWorld& w) { w.Set(45, "GrpName=Demo: Tool"); }, E,
                 "setup.ini", 45, "GrpName 'Demo: Tool' has a ':'"},
        TMistake{"a shortcut name Windows refuses", [](TWorld& w) { w.Set(57, "Demo Tool?=ui.exe"); }, E,
                 "setup.ini", 57, "the shortcut name 'Demo Tool?' has the character '?'"},
        TMistake{"more components than the list holds",
                 [](TWorld& w) {
                     for (int i = 0; i < 32767; ++i)
                         w.Script.insert(w.Script.begin() + 54, "Part " + std::to_string(i) + "=ui.exe");
                 },
                 E, "setup.ini", 52, "[EN.File] lists 32769 components; the wizard's list holds at most 32767"},
        TMistake{"a vendor folder leaving its place", [](TWorld& w) { w.Set(8, "VendorDir=..\\Windows"); }, E,
                 "setup.ini", 8, "VendorDir '..\\Windows' has a '.' or '..' part"},
        TMistake{"an absolute shared folder", [](TWorld& w) { w.Set(8, "SharedDir=C:\\Shared"); }, E, "setup.ini",
                 8, "SharedDir 'C:\\Shared' has a ':'"},
        TMistake{"an empty shared folder", [](TWorld& w) { w.Set(8, "SharedDir="); }, W, "setup.ini", 8,
                 "SharedDir is empty, so the files of letter C go straight into Common Files"},
        TMistake{"a product version without numbers", [](TWorld& w) { w.Set(8, "ProductVersion=v2"); }, W,
                 "setup.ini", 8, "version resource's numbers are 0.0.0.0"},
        TMistake{"UTF-8 text in a GB section", [](TWorld& w) { w.Set(13, "GrpName=" UTF8_TOOL); }, E, "setup.ini",
                 13, "[GB.GrpName]: the text is UTF-8; it must be GBK"},
        TMistake{"a broken Big5 text", [](TWorld& w) { w.Set(29, "GrpName=\xA4\x80"); }, E, "setup.ini", 29,
                 "Big5"},
        TMistake{"a non-ASCII text in an EN section", [](TWorld& w) { w.Set(45, "GrpName=Caf\xE9"); }, E,
                 "setup.ini", 45, "0xE9 is not ASCII"},
        TMistake{"a non-ASCII text outside the language sections", [](TWorld& w) { w.Set(5, "FindClass=T\xE9"); },
                 E, "setup.ini", 5, "[Common]"}));

INSTANTIATE_TEST_SUITE_P(
    Payload, PackageMistake,
    ::testing::Values(
        TMistake{"a payload file no component installs",
                 [](TWorld& w) { w.Package.PayloadNames.push_back("extra\\unused.txt"); }, W, "files/extra/unused.txt",
                 0, "no component installs this file, so it is not packed"},
        TMistake{"an archive entry no component installs",
                 [](TWorld& w) {
                     w.Package.PayloadArchive = "ready.setupx";
                     w.Package.PayloadNames.push_back("unused.txt");
                 },
                 W, "ready.setupx", 0, "no component installs the entry 'unused.txt'"},
        TMistake{"stored names that differ only in case", [](TWorld& w) { w.Package.PayloadNames.push_back("UI.EXE"); },
                 E, "files/UI.EXE", 0, "differ only in case"},
        TMistake{"a stored name Windows reserves", [](TWorld& w) { w.Package.PayloadNames.push_back("aux.txt"); }, E,
                 "files/aux.txt", 0, "device name AUX"}));

INSTANTIATE_TEST_SUITE_P(
    Licences, PackageMistake,
    ::testing::Values(
        TMistake{"a missing licence", [](TWorld& w) { w.Package.Licences[1].reset(); }, E, "LICB5.txt", 0,
                 "missing"},
        TMistake{"an empty licence", [](TWorld& w) { w.Package.Licences[0] = " \r\n"; }, E, "LICCN.txt", 0,
                 "empty"},
        TMistake{"a UTF-8 licence", [](TWorld& w) { w.Package.Licences[0] = "Terms\r\n" UTF8_TOOL "\r\n"; }, E,
                 "LICCN.txt", 2, "UTF-8"},
        TMistake{"a broken GBK licence", [](TWorld& w) { w.Package.Licences[0] = "a\nb\rc\r\nd\xFF"; }, E,
                 "LICCN.txt", 4, "0xFF"},
        TMistake{"a non-ASCII English licence", [](TWorld& w) { w.Package.Licences[2] = "Licence\n\xA9 2024"; }, E,
                 "LICEN.txt", 2, "0xA9 is not ASCII"}));

struct TPathCase {
    const char* Name;
    unsigned CodePage;
    bool Ok;
};
void PrintTo(const TPathCase& c, std::ostream* os) { *os << c.Name; }


class RelativePath : public ::testing::TestWithParam<TPathCase> {};

TEST_P(RelativePath, StaysBelowItsFolderWithNamesWindowsTakes) {
    const TPathCase& c = GetParam();
    EXPECT_EQ(RelativePathProblem(c.Name, c.CodePage).empty(), c.Ok) << c.Name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, RelativePath,
    ::testing::Values(TPathCase{"a.exe", 0, true}, TPathCase{"docs\\readme.txt", 0, true},
                      TPathCase{"a..b.txt", 0, true}, TPathCase{"", 0, false}, TPathCase{"\\a.exe", 0, false},
                      TPathCase{"C:a.exe", 0, false}, TPathCase{"a\\..\\..\\b", 0, false},
                      TPathCase{"a/b", 0, false}, TPathCase{"a\\\\b", 0, false}, TPathCase{"a?.exe", 0, false},
                      TPathCase{"a.exe.", 0, false}, TPathCase{"nul", 0, false}, TPathCase{"Com1.log", 0, false},
                      TPathCase{"console.txt", 0, true},
                      // 許 and 功 end in 0x5C, 0x7C can be a trail byte too: no separator, no '|'.
                      TPathCase{"\xB3\x5C\xA5\x5C", 950, true}, TPathCase{"\xB3\x5C\xA5\x5C", 0, false},
                      TPathCase{"\xA1\x7C", 950, true}));

struct TKeyCase {
    const char* Key;
    bool Ok;
};
void PrintTo(const TKeyCase& c, std::ostream* os) { *os << c.Key; }


class RegistryKey : public ::testing::TestWithParam<TKeyCase> {};

TEST_P(RegistryKey, IsRelativeToTheMachineHive) {
    EXPECT_EQ(RegistryKeyProblem(GetParam().Key).empty(), GetParam().Ok) << GetParam().Key;
}

INSTANTIATE_TEST_SUITE_P(
    Table, RegistryKey,
    ::testing::Values(TKeyCase{"SOFTWARE\\Acme\\Tool", true}, TKeyCase{"SOFTWARE", true},
                      TKeyCase{"HKLMSoftware", true}, TKeyCase{"", false}, TKeyCase{"\\SOFTWARE\\Acme", false},
                      TKeyCase{"HKEY_LOCAL_MACHINE\\SOFTWARE", false}, TKeyCase{"hklm\\SOFTWARE", false},
                      TKeyCase{"HKCU\\Software", false}, TKeyCase{"HKEY_CLASSES_ROOT", false},
                      TKeyCase{"SOFTWARE\\\\Acme", false}, TKeyCase{"SOFTWARE\\Acme\\", false},
                      TKeyCase{"SOFTWARE\\\xB3\x5C", false}));

} // namespace
} // namespace kx::kxpack
