// Filling the wizard's fields from an install script.
#include <gtest/gtest.h>

#include "app/SetupScript.h"

using namespace kx;
using Lines = std::vector<std::string>;

namespace {

const char kAcmeScript[] =
    "[Common]\r\n"
    "AutoRun=acmeui.exe\r\n"
    "SERVICENAME=AcmeSvc\r\n"
    "SERVICEFILE=acmesvc.exe\r\n"
    "FindClass=TAcmeMainWindow\r\n"
    "ReNameList=acmehook.dll;acmeui.exe\r\n"
    "WIN2K=TRUE\r\n"
    "\r\n"
    "[Service]\r\n"
    "AcmeSvc=TRUE\r\n"
    "\r\n"
    "[EN.GrpName]\r\n"
    "GrpName=Acme Tool\r\n"
    "COMPANY=Acme Ltd.\r\n"
    "VERSION=Released Version\r\n"
    "REG=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AcmeTool\r\n"
    "PRGDIR=AcmeTool\r\n"
    "UNINST=TRUE\r\n"
    "\r\n"
    "[GB.GrpName]\r\n"
    "GrpName=\xB0\xA2\xC3\xC0\xB9\xA4\xBE\xDF\r\n"
    "PRGDIR=AcmeGB\r\n"
    "UNINST=FALSE\r\n"
    "\r\n"
    "[GB.File]\r\n"
    "\xD6\xF7\xB3\xCC\xD0\xF2=acmeui.exe\r\n"
    "\r\n"
    "[EN.File]\r\n"
    "Acme Tool=acmeui.exe;acmesvc.exe;acmehook.dll[S;readme.txt\r\n"
    "Disk Driver=acmedisk.sys[S\r\n"
    "\r\n"
    "[EN.Link]\r\n"
    "Acme Tool=acmeui.exe\r\n"
    "Docs\\Read Me=readme.txt\r\n"
    "\r\n"
    "[DESTDIR]\r\n"
    "drivers=acmedisk.sys\r\n"
    "\r\n"
    "[AutoReg]\r\n"
    "SOFTWARE\\Acme\\Tool;InstallPath;acmeui.exe=1\r\n";

struct Loaded {
    TSetupFields f;
    Lines comps;
};

Loaded Load(const std::string& text, int lang = 2) {
    Loaded r;
    ReadSetupScript(TMemIniFile(text), lang, r.f, r.comps);
    return r;
}

} // namespace

TEST(SetupScript, AcmeScriptInEnglish) {
    Loaded r = Load(kAcmeScript);
    const TSetupFields& f = r.f;
    EXPECT_EQ(f.FServiceFile, "acmesvc.exe");
    EXPECT_EQ(f.FServiceName, "AcmeSvc");
    EXPECT_EQ(f.FAutoRun, "acmeui.exe");
    EXPECT_EQ(f.FFindClass, "TAcmeMainWindow");
    EXPECT_EQ(f.FReNameList, (Lines{"acmehook.dll", "acmeui.exe"}));
    EXPECT_FALSE(f.FWin9x);
    EXPECT_TRUE(f.FWin2k);
    EXPECT_EQ(f.FServices, (Lines{"AcmeSvc"}));
    EXPECT_EQ(f.FAutoReg, (Lines{"SOFTWARE\\Acme\\Tool;InstallPath;acmeui.exe"}));
    EXPECT_EQ(f.FDestDirs, (Lines{"drivers=acmedisk.sys"}));
    EXPECT_EQ(f.FGrpName, "Acme Tool");
    EXPECT_EQ(f.FCompany, "Acme Ltd.");
    EXPECT_EQ(f.FVersion, "Released Version");
    EXPECT_EQ(f.FRegKey, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AcmeTool");
    EXPECT_EQ(f.FPrgDir, "AcmeTool");
    EXPECT_TRUE(f.FUnInst);
    EXPECT_EQ(r.comps, (Lines{"Acme Tool", "Disk Driver"}));
    EXPECT_EQ(f.FCompFiles, (Lines{"Acme Tool=acmeui.exe;acmesvc.exe;acmehook.dll[S;readme.txt",
                                   "Disk Driver=acmedisk.sys[S"}));
    EXPECT_EQ(f.FLinks, (Lines{"Acme Tool=acmeui.exe", "Docs\\Read Me=readme.txt"}));
}

TEST(SetupScript, LanguageChoosesTheSections) {
    Loaded gb = Load(kAcmeScript, 0);
    EXPECT_EQ(gb.f.FGrpName, "\xB0\xA2\xC3\xC0\xB9\xA4\xBE\xDF");
    EXPECT_EQ(gb.f.FPrgDir, "AcmeGB");
    EXPECT_FALSE(gb.f.FUnInst);
    EXPECT_EQ(gb.f.FCompany, "");
    EXPECT_EQ(gb.comps, (Lines{"\xD6\xF7\xB3\xCC\xD0\xF2"}));
    EXPECT_TRUE(gb.f.FLinks.empty());

    Loaded b5 = Load(kAcmeScript, 1); // no B5 sections in this script
    EXPECT_EQ(b5.f.FGrpName, "");
    EXPECT_TRUE(b5.f.FUnInst);
    EXPECT_TRUE(b5.comps.empty());
    EXPECT_TRUE(b5.f.FCompFiles.empty());
    // The language-neutral sections are the same in every language.
    EXPECT_EQ(b5.f.FServiceName, "AcmeSvc");
}

TEST(SetupScript, NamesInAnyCase) {
    Loaded r = Load("[common]\nautorun=x.exe\nwin9x=true\n[gb.GRPNAME]\ngrpname=G\n[SERVICE]\nS1=\n", 0);
    EXPECT_EQ(r.f.FAutoRun, "x.exe");
    EXPECT_TRUE(r.f.FWin9x);
    EXPECT_EQ(r.f.FGrpName, "G");
    EXPECT_EQ(r.f.FServices, (Lines{"S1"}));
}

struct FlagCase {
    const char* value;
    bool expected;
};
class SetupScriptWin2k : public testing::TestWithParam<FlagCase> {};

TEST_P(SetupScriptWin2k, OnlyTrueInAnyCaseCounts) {
    Loaded r = Load(std::string("[COMMON]\nWIN2K=") + GetParam().value + "\nWIN9X=" + GetParam().value +
                    "\n[EN.GrpName]\nUNINST=" + GetParam().value + "\n");
    EXPECT_EQ(r.f.FWin2k, GetParam().expected);
    EXPECT_EQ(r.f.FWin9x, GetParam().expected);
    EXPECT_EQ(r.f.FUnInst, GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(Values, SetupScriptWin2k,
                         testing::Values(FlagCase{"TRUE", true}, FlagCase{"true", true}, FlagCase{"True", true},
                                         FlagCase{"yes", false}, FlagCase{"1", false}, FlagCase{"FALSE", false},
                                         FlagCase{"", false}, FlagCase{"TRUE!", false}));

TEST(SetupScript, MissingValuesTakeTheirDefaults) {
    Loaded r = Load("");
    EXPECT_FALSE(r.f.FWin9x);
    EXPECT_FALSE(r.f.FWin2k);
    EXPECT_TRUE(r.f.FUnInst);
    EXPECT_FALSE(r.f.FNeedReboot);
    EXPECT_EQ(r.f.FGrpName, "");
    EXPECT_TRUE(r.f.FReNameList.empty());
    EXPECT_TRUE(r.comps.empty());
    EXPECT_TRUE(r.f.FCompFiles.empty());
    EXPECT_TRUE(r.f.FLinks.empty());
    EXPECT_TRUE(r.f.FServices.empty());
    EXPECT_EQ(r.f.FVendorDir, "");
    EXPECT_EQ(r.f.FSharedDir, "");
    EXPECT_EQ(r.f.FProductVersion, "");
}

// The maker's folders and the version come from [Common]; an empty value is
// kept as empty (no folder level), not replaced.
TEST(SetupScript, TheMakersFoldersAndVersion) {
    Loaded r = Load("[common]\r\nvendordir=Larkspur Software\r\nSHAREDDIR=Larkspur\\Shared\r\n"
                    "ProductVersion=2.1.0 beta\r\n[Common]\r\nVendorDir=Second\r\n");
    EXPECT_EQ(r.f.FVendorDir, "Larkspur Software");
    EXPECT_EQ(r.f.FSharedDir, "Larkspur\\Shared");
    EXPECT_EQ(r.f.FProductVersion, "2.1.0 beta");
    Loaded empty = Load("[Common]\r\nVendorDir=\r\nSharedDir=\r\n");
    EXPECT_EQ(empty.f.FVendorDir, "");
    EXPECT_EQ(empty.f.FSharedDir, "");
}

struct TSuggestCase {
    const char* ProgramFiles;
    const char* Vendor;
    const char* PrgDir;
    const char* Expected;
};
class SuggestedDir : public testing::TestWithParam<TSuggestCase> {};
TEST_P(SuggestedDir, VendorAndProgramFolderBelowProgramFiles) {
    const TSuggestCase& c = GetParam();
    EXPECT_EQ(SuggestedInstallDir(c.ProgramFiles, c.Vendor, c.PrgDir), c.Expected);
}
INSTANTIATE_TEST_SUITE_P(
    Cases, SuggestedDir,
    testing::Values(TSuggestCase{"C:\\Program Files\\", "Velmora", "AcmeTool", "C:\\Program Files\\Velmora\\AcmeTool\\"},
                    TSuggestCase{"C:\\Program Files (x86)\\", "Larkspur", "Quillpad",
                                 "C:\\Program Files (x86)\\Larkspur\\Quillpad\\"},
                    TSuggestCase{"D:\\Apps\\", "", "Quillpad", "D:\\Apps\\Quillpad\\"},
                    TSuggestCase{"C:\\Program Files\\", "Larkspur\\Tools", "", "C:\\Program Files\\Larkspur\\Tools\\"},
                    // A GBK folder name whose trail byte is 0x5C still gets its own backslash.
                    TSuggestCase{"C:\\Program Files\\", "", "\xB9\x5C", "C:\\Program Files\\\xB9\x5C\\"}));

struct SplitCase {
    const char* text;
    Lines expected;
};
class ReNameListSplit : public testing::TestWithParam<SplitCase> {};

TEST_P(ReNameListSplit, EverySemicolonEndsAnEntry) {
    EXPECT_EQ(SplitReNameList(GetParam().text), GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(Cases, ReNameListSplit,
                         testing::Values(SplitCase{"", {}}, SplitCase{"a.dll", {"a.dll"}},
                                         SplitCase{"a.dll;b.exe", {"a.dll", "b.exe"}},
                                         SplitCase{"a.dll;b.exe;", {"a.dll", "b.exe"}},
                                         SplitCase{";a.dll", {"", "a.dll"}},
                                         SplitCase{"a.dll;;b.exe", {"a.dll", "", "b.exe"}},
                                         SplitCase{";", {""}}, SplitCase{";;", {"", ""}}));

TEST(SetupScript, ReNameListThroughTheScript) {
    Loaded r = Load("[COMMON]\nReNameList = acmehook.dll;acmeui.exe; \n");
    EXPECT_EQ(r.f.FReNameList, (Lines{"acmehook.dll", "acmeui.exe"}));
}

TEST(SetupScript, ComponentItemsPairWithFileLines) {
    // A comment, a line without "=" and a blank line inside the File section: the
    // comment and the blank line are dropped from both lists, the bare line stays
    // in both (as an empty name), so item i still belongs to line i.
    Loaded r = Load("[EN.File]\nOne=a.exe\n;Two=b.exe\n\nbare line\nThree = c.exe[s ; d.txt\n");
    ASSERT_EQ(r.comps.size(), r.f.FCompFiles.size());
    EXPECT_EQ(r.comps, (Lines{"One", "", "Three"}));
    EXPECT_EQ(r.f.FCompFiles, (Lines{"One=a.exe", "bare line", "Three=c.exe[s ; d.txt"}));
}

TEST(SetupScript, AutoRegAndServicesAreKeyNamesOnly) {
    Loaded r = Load("[AutoReg]\nK\\A;V;f.exe=ignored\nno equals\n[Service]\nSvcA=TRUE\nSvcB=FALSE\n");
    EXPECT_EQ(r.f.FAutoReg, (Lines{"K\\A;V;f.exe", ""}));
    EXPECT_EQ(r.f.FServices, (Lines{"SvcA", "SvcB"}));
}

TEST(SetupScript, InstallDirAndRunStateAreNotTouched) {
    Loaded r;
    r.f.FInstallDir = "C:\\X\\";
    r.f.FSelFiles = {"keep"};
    r.f.FNeedReboot = true;
    ReadSetupScript(TMemIniFile(kAcmeScript), 2, r.f, r.comps);
    EXPECT_EQ(r.f.FInstallDir, "C:\\X\\");
    EXPECT_EQ(r.f.FSelFiles, (Lines{"keep"}));
    EXPECT_TRUE(r.f.FNeedReboot);
}

TEST(SetupScript, LanguagePrefixes) {
    EXPECT_EQ(LangSectionPrefix(0), "GB.");
    EXPECT_EQ(LangSectionPrefix(1), "B5.");
    EXPECT_EQ(LangSectionPrefix(2), "EN.");
}
