// The real setup's switches under Wine, as a deployment tool runs it: /S with
// the default folder, /D= with blanks, /COMPONENTS=, /LOG=, a damaged package
// (1603, nothing changed), a package that needs the restart (3010, no restart),
// /? and a switch it does not know, and the wizard's Cancel (1602).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/SetupControlIds.h"
#include "tests/e2e/setup/SetupDriver.h"
#include "tests/e2e/transaction/Snapshot.h"

using namespace kx;
using namespace kxe2e;

namespace {

std::string gSetup, gDamaged, gOlder, gPayloadDir, gAcmeUi;



bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The setup with a command line, waited for; its exit code (-1 when it did not end).
int RunSetup(const std::string& exe, const std::string& args) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string cmd = "\"" + WinPath(exe) + "\" " + args;
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -2;
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(pi.hProcess, 300000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

// No window of the setup's classes was shown (a message box would have stopped it).
bool NoWindowOf(const char* cls) { return FindWindowA(cls, nullptr) == nullptr; }

std::string SystemDir() {
    char buf[MAX_PATH] = {};
    GetSystemDirectoryA(buf, MAX_PATH);
    return std::string(buf) + "\\";
}

// The suggested folder: Program Files as the system names it for this program.
std::string ProgramFiles() {
    char buf[MAX_PATH] = {};
    DWORD size = sizeof buf;
    HKEY k = nullptr;
    std::string dir = "C:\\Program Files";
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0, KEY_READ, &k) == 0) {
        if (RegQueryValueExA(k, "ProgramFilesDir", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size) == 0)
            dir = buf;
        RegCloseKey(k);
    }
    return dir + "\\";
}

std::string Payload(const char* name) { return ReadFileBytes(WinPath(gPayloadDir + "/" + name)); }

void CloseAcmeUi() {
    for (HWND w; (w = FindWindowA("TAcmeMainWindow", nullptr)) != nullptr;) {
        PostMessageA(w, WM_CLOSE, 0, 0);
        for (int t = 0; t < 10000 && IsWindow(w); t += 100) Sleep(100);
    }
}

} // namespace

TEST(Switches, HelpShowsTheSwitchesInTheLanguageOfTheLocale) {
    TSetupProcess p(gSetup, {}, "/?");
    HWND box = p.WaitForBox(30000);
    ASSERT_NE(box, nullptr);
    const std::string text = TSetupProcess::BoxText(box);
    EXPECT_NE(text.find("/COMPONENTS=1,3"), std::string::npos) << text;
    EXPECT_NE(text.find("3010"), std::string::npos) << text;
    const std::string first = CodePageLang() == 0   ? "\xB0\xB2\xD7\xB0\xB3\xCC\xD0\xF2\xB5\xC4\xB2\xCE\xCA\xFD\xA3\xBA"
                              : CodePageLang() == 1 ? "\xA6w\xB8\xCB\xB5{\xA6\xA1\xAA\xBA\xB0\xD1\xBC\xC6\xA1G"
                                               : "Setup switches:";
    EXPECT_EQ(text.find(first), 0u) << text;
    p.Answer(box, IDOK);
    DWORD code = 99;
    EXPECT_TRUE(p.WaitForExit(10000, &code));
    EXPECT_EQ(code, 0u);
}

TEST(Switches, AnUnknownSwitchIsNamedAndEndsWith1639) {
    TSetupProcess p(gSetup, {}, "/QUIET");
    HWND box = p.WaitForBox(30000);
    ASSERT_NE(box, nullptr);
    const std::string unknown = CodePageLang() == 0 ? "\xCE\xDE\xB7\xA8\xCA\xB6\xB1\xF0\xB5\xC4\xB2\xCE\xCA\xFD\xA3\xBA/QUIET"
                                : CodePageLang() == 1 ? "\xB5L\xAAk\xC3\xD1\xA7O\xAA\xBA\xB0\xD1\xBC\xC6\xA1G/QUIET"
                                                 : "Unknown switch: /QUIET";
    EXPECT_EQ(TSetupProcess::BoxText(box).find(unknown), 0u) << TSetupProcess::BoxText(box);
    p.Answer(box, IDOK);
    DWORD code = 99;
    EXPECT_TRUE(p.WaitForExit(10000, &code));
    EXPECT_EQ(code, 1639u);
    EXPECT_EQ(RunSetup(gSetup, "/S /COMPONENTS=9"), 1639) << "a component the package does not list";
}

TEST(Silent, DamagedPackageEndsWith1603AndChangesNothing) {
    const TSnapshot before = TakeSnapshot();
    EXPECT_EQ(RunSetup(gDamaged, "/S /LOG=C:\\damaged.log"), 1603);
    const std::string log = ReadFileBytes("C:\\damaged.log");
    EXPECT_NE(log.find("damaged"), std::string::npos) << log;
    DeleteFileA("C:\\damaged.log");
    const std::vector<std::string> diff = SnapshotDiff(before, TakeSnapshot());
    EXPECT_TRUE(diff.empty()) << diff.size() << " differences, the first " << (diff.empty() ? "" : diff[0]);
}

TEST(Silent, OneComponentIntoAFolderWithBlanksAndTheLogHoldsTheLines) {
    const std::string dir = "C:\\Silent Acme\\Tool Folder\\";
    ASSERT_EQ(RunSetup(gSetup, "/S /COMPONENTS=2 /LOG=\"C:\\silent setup.log\" /D=C:\\Silent Acme\\Tool Folder"), 0);
    EXPECT_TRUE(ReadFileBytes(SystemDir() + "drivers\\acmedisk.sys") == Payload("acmedisk.sys"));
    EXPECT_FALSE(Exists(dir + "acmeui.exe")) << "the first component was not asked for";
    EXPECT_EQ(ReadFileBytes(dir + "INSTFILE.LST"),
              SystemDir() + "drivers\\acmedisk.sys\r\n" + dir + "UnInst.Ini\r\n" + dir + "INSTFILE.LST\r\n");
    const std::string log = ReadFileBytes("C:\\silent setup.log");
    EXPECT_NE(log.find(" Extracting File :acmedisk.sys ...\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" Install successfuly!\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("acmeui.exe"), std::string::npos);
    // Each line starts with its date and time.
    EXPECT_EQ(log.substr(4, 1) + log.substr(7, 1) + log.substr(10, 1) + log.substr(13, 1), "-- :") << log;
}

TEST(Silent, CompleteInstallIntoTheSuggestedFolderStartsNothing) {
    ASSERT_EQ(RunSetup(gSetup, "/S"), 0);
    const std::string dir = ProgramFiles() + "Velmora\\AcmeTool\\";
    for (const char* name : {"acmeui.exe", "acmesvc.exe", "readme.txt"})
        EXPECT_TRUE(ReadFileBytes(dir + name) == Payload(name)) << dir + name;
    EXPECT_TRUE(ReadFileBytes(SystemDir() + "acmehook.dll") == Payload("acmehook.dll"));
    EXPECT_TRUE(NoWindowOf("TAcmeMainWindow")) << "AutoRun is not started by a silent install";
    EXPECT_TRUE(NoWindowOf("ExplorerWClass")) << "nor is the program group opened";
}

// Files in use by the running program wait for the restart: 3010, and no restart.
TEST(Silent, AFileWaitingForTheRestartEndsWith3010WithoutRestarting) {
    const std::string dir = "C:\\Silent Running\\";
    ASSERT_EQ(RunSetup(gOlder, "/S /D=" + dir), 0);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION ui{};
    std::string cmd = "\"" + dir + "acmeui.exe\"";
    ASSERT_TRUE(CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &ui));
    for (int t = 0; t < 20000 && NoWindowOf("TAcmeMainWindow"); t += 50) Sleep(50);
    ASSERT_FALSE(NoWindowOf("TAcmeMainWindow"));
    EXPECT_EQ(RunSetup(gSetup, "/S /D=" + dir), 3010);
    EXPECT_FALSE(NoWindowOf("TAcmeMainWindow")) << "Windows was not restarted";
    EXPECT_FALSE(ReadFileBytes(dir + "acmeui.exe") == Payload("acmeui.exe")) << "replaced at the restart, not now";
    CloseAcmeUi();
    CloseHandle(ui.hThread);
    CloseHandle(ui.hProcess);
}

TEST(Wizard, CancelEndsWith1602) {
    TSetupProcess p(gSetup);
    ASSERT_TRUE(p.WaitForForm(30000));
    p.Click(idBtnCancel);
    p.ClickAsync(idBtnCancel);
    HWND box = p.WaitForBox();
    ASSERT_NE(box, nullptr);
    p.Answer(box, IDYES);
    DWORD code = 0;
    EXPECT_TRUE(p.WaitForExit(10000, &code));
    EXPECT_EQ(code, 1602u);
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    TakeOptions(argc, argv, {
        {"--setup=", &gSetup},
        {"--damaged-setup=", &gDamaged},
        {"--older-setup=", &gOlder},
        {"--payload=", &gPayloadDir},
    });
    return RUN_ALL_TESTS();
}
