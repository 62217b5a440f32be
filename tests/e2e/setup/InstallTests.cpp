// The installation run of the real setup programs under Wine: every file in its
// folder, "INSTFILE.LST", the progress page in the run's language, files of the
// running program replaced at the restart, and runs that end at a file that
// cannot be installed. Each test installs into a folder of its own, so one prefix
// serves them all.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "E2EEnv.h"
#include "SetupDriver.h"
#include "app/SetupControlIds.h"
#include "sys/Paths.h"
#include "sys/Win32.h"

#include <commctrl.h>

using namespace kx;
using namespace kxe2e;

namespace {

// Texts of the run as the program shows them: GBK, Big5, ASCII.
struct TRunText {
    const char* Key;
    const char* Texts[3];
};
const TRunText kRunTexts[] = {
    {"StopService",
     {"\xD5\xFD\xD4\xDA\xCD\xA3\xD6\xB9\xB7\xFE\xCE\xF1" "AcmeSvc...", "\xA5\xBF\xA6" "b\xB0\xB1\xA4\xEE\xAA" "A\xB0\xC8 AcmeSvc...",
      "Stopping Service AcmeSvc..."}},
    {"Extracting",
     {"\xD5\xFD\xD4\xDA\xBD\xE2\xD1\xB9\xCE\xC4\xBC\xFE:%s", "\xA5\xBF\xA6" "b\xB8\xD1\xC0\xA3\xC0\xC9\xAE\xD7:%s",
      "Extracting File :%s ..."}},
    {"CreateGroup",
     {"\xD5\xFD\xD4\xDA\xB4\xB4\xBD\xA8\xB3\xCC\xD0\xF2\xD7\xE9", "\xA5\xBF\xA6" "b\xAB\xD8\xA5\xDF\xB5{\xA6\xA1\xB8s\xB2\xD5",
      "Create Program Group..."}},
    {"Success", {"\xB0\xB2\xD7\xB0\xCD\xEA\xB3\xC9\xA3\xA1", "\xB8\xCB\xB3]\xA7\xB9\xA6\xA8", "Install successfuly!"}},
    {"CannotWrite",
     {"\xCE\xDE\xB7\xA8\xD0\xB4\xC8\xEB\xCE\xC4\xBC\xFE %s\xA1\xA3\n\xB8\xC3\xCE\xC4\xBC\xFE\xBF\xC9\xC4\xDC\xD5\xFD"
      "\xB1\xBB\xC6\xE4\xCB\xFB\xB3\xCC\xD0\xF2\xCA\xB9\xD3\xC3\xA3\xAC\xBB\xF2\xB4\xC5\xC5\xCC\xCE\xAA\xD6\xBB\xB6\xC1"
      "\xA1\xA3\xC7\xEB\xB9\xD8\xB1\xD5\xCA\xB9\xD3\xC3\xB8\xC3\xCE\xC4\xBC\xFE\xB5\xC4\xB3\xCC\xD0\xF2\xA3\xAC\xC8\xBB"
      "\xBA\xF3\xD4\xD9\xB0\xB4\xA1\xB0\xB0\xB2\xD7\xB0\xA1\xB1\xB0\xB4\xC5\xA5\xA1\xA3",
      "\xB5L\xAAk\xBCg\xA4J\xC0\xC9\xAE\xD7 %s\xA1" "C\n\xB8\xD3\xC0\xC9\xAE\xD7\xA5i\xAF\xE0\xA5\xBF\xB3Q\xA8\xE4\xA5L"
      "\xB5{\xA6\xA1\xA8\xCF\xA5\xCE\xA1" "A\xA9\xCE\xBA\xCF\xBA\xD0\xAC\xB0\xB0\xDF\xC5\xAA\xA1" "C\xBD\xD0\xC3\xF6\xB3"
      "\xAC\xA8\xCF\xA5\xCE\xB8\xD3\xC0\xC9\xAE\xD7\xAA\xBA\xB5{\xA6\xA1\xA1" "A\xB5M\xAB\xE1\xA6" "A\xAB\xF6\xA1u\xB8\xCB"
      "\xB3]\xA1v\xAB\xF6\xB6s\xA1" "C",
      "Cannot write the file %s.\nIt may be in use by another program, or the disk may be read-only. Close the "
      "program that uses it and press Install again."}},
    {"Undone",
     {"\xB0\xB2\xD7\xB0\xCB\xF9\xD7\xF6\xB5\xC4\xB8\xFC\xB8\xC4\xD2\xD1\xC8\xAB\xB2\xBF\xB3\xB7\xCF\xFA\xA1\xA3",
      "\xA6w\xB8\xCB\xA9\xD2\xB0\xB5\xAA\xBA\xC5\xDC\xA7\xF3\xA4w\xA5\xFE\xB3\xA1\xB4_\xAD\xEC\xA1" "C",
      "The changes made by the installation have been undone."}},
    {"PackageDamaged",
     {"\xB0\xB2\xD7\xB0\xB0\xFC\xD2\xD1\xCB\xF0\xBB\xB5\xA3\xAC\xCE\xDE\xB7\xA8\xB0\xB2\xD7\xB0\xA1\xA3\xC7\xEB\xD6"
      "\xD8\xD0\xC2\xCF\xC2\xD4\xD8\xA1\xA3",
      "\xA6w\xB8\xCB\xAEM\xA5\xF3\xA4w\xB7l\xC3" "a\xA1" "A\xB5L\xAAk\xA6w\xB8\xCB\xA1" "C\xBD\xD0\xAD\xAB\xB7s\xA4U\xB8\xFC\xA1" "C",
      "The setup package is damaged and cannot be installed. Please download it again."}},
    {"Damaged",
     {"\xCE\xDE\xB7\xA8\xBD\xE2\xD1\xB9\xCE\xC4\xBC\xFE %s\xA3\xBA\xB0\xB2\xD7\xB0\xB0\xFC\xD2\xD1\xCB\xF0\xBB\xB5\xA1\xA3",
      "\xB5L\xAAk\xB8\xD1\xC0\xA3\xC0\xC9\xAE\xD7 %s\xA1G\xB8\xCB\xB3]\xAEM\xA5\xF3\xA4w\xB7l\xC3" "a\xA1" "C",
      "The file %s cannot be extracted: the setup package is damaged."}},
};

std::string RunText(const std::string& key, const std::string& arg = "") {
    for (const TRunText& t : kRunTexts)
        if (key == t.Key) {
            std::string s = t.Texts[RunLang()];
            const std::size_t at = s.find("%s");
            return at == std::string::npos ? s : s.replace(at, 2, arg);
        }
    ADD_FAILURE() << "no text " << key;
    return {};
}

const char kMissing[] = "<missing>";

std::string ReadBytes(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return kMissing;
    std::string data;
    char buf[65536];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) data.append(buf, n);
    std::fclose(f);
    return data;
}

void WriteBytes(const std::string& path, const std::string& data) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
}

std::string PayloadFile(const std::string& name) { return ReadBytes(WinPath(gPayloadDir + "/" + name)); }

std::string ShortPath(const std::string& path) {
    char buf[MAX_PATH] = {};
    const DWORD n = GetShortPathNameA(path.c_str(), buf, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(buf, n) : "<no short form of " + path + ">";
}

bool NTFamily() {
    OSVERSIONINFOA vi{};
    vi.dwOSVersionInfoSize = sizeof vi;
    GetVersionExA(&vi);
    return vi.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// A 32-bit program in a 64-bit prefix: SysWOW64 is there.
bool Wow64() { return sizeof(void*) == 4 && GetFileAttributesA("C:\\windows\\syswow64") != INVALID_FILE_ATTRIBUTES; }

// The shared folder under the Common Files directory that the registry names.
std::string SharedFolder() {
    char dir[MAX_PATH] = {};
    DWORD size = sizeof dir - 1;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        RegQueryValueExA(key, "CommonFilesDir", nullptr, nullptr, reinterpret_cast<BYTE*>(dir), &size);
        RegCloseKey(key);
    }
    return std::string(dir) + "\\Tarnwick\\";
}

// The strings of PendingFileRenameOperations, empty ones (a deletion's target) kept.
std::vector<std::string> PendingRenames() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return {"<no key>"};
    std::string data(65536, '\0');
    DWORD type = 0, size = static_cast<DWORD>(data.size());
    const LONG rc = RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, &type,
                                     reinterpret_cast<BYTE*>(data.data()), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_MULTI_SZ) return {"<no value>"};
    data.resize(size);
    // Each string ends in a NUL and the list in one more.
    if (!data.empty() && data.back() == '\0') data.pop_back();
    std::vector<std::string> strings;
    std::size_t start = 0;
    for (std::size_t at; (at = data.find('\0', start)) != std::string::npos; start = at + 1)
        strings.push_back(data.substr(start, at - start));
    return strings;
}

// A program started and waited for (up to timeoutMs); its exit code, or -1.
int RunAndWaitFor(const std::string& commandLine, int timeoutMs) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string cmd = commandLine;
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(pi.hProcess, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

class Install : public testing::Test {
protected:
    // A started setup on its Ready page with dir typed (empty: the suggested one);
    // with a component index, "Custom Install" with that component unchecked.
    std::unique_ptr<TSetupProcess> ToReady(const std::string& exe, const std::string& dir, int uncheck = -1) {
        EXPECT_FALSE(exe.empty()) << "the driver needs the setup programs on its command line";
        auto p = std::make_unique<TSetupProcess>(exe);
        EXPECT_TRUE(p->WaitForForm());
        p->Click(idBtnCancel);
        if (uncheck >= 0) {
            p->SelectCombo(idCmbSetupType, 1);
            p->ToggleCheck(idLbxCompList, uncheck);
        }
        p->Click(idBtnNext);
        if (!dir.empty()) p->Type(idEdtInstallPath, dir);
        p->Click(idBtnNext);
        EXPECT_EQ(p->Page(), 3);
        return p;
    }
    // What the progress page showed when the run's final message appeared.
    struct TRunEnd {
        std::vector<std::string> Lines;
        int Progress = -1;
    };
    // Presses Install and lets the run finish: a restart question is answered No,
    // the final message (28) OK, after which the form closes and the program ends;
    // the program the run started and the group folder it opened are closed again.
    static TRunEnd RunInstall(TSetupProcess& p) {
        p.ClickAsync(idBtnNext);
        TRunEnd end;
        bool restartDue = false;
        for (HWND box; (box = p.WaitForBox(120000)) != nullptr;) {
            end.Lines = p.ListItems(idLbxProgress);
            end.Progress = ProgressPosition(p);
            if (GetDlgItem(box, IDNO)) {
                restartDue = true;
                p.Answer(box, IDNO);
                continue;
            }
            EXPECT_EQ(TSetupProcess::BoxText(box), RunText("Success"));
            p.Answer(box, IDOK);
            break;
        }
        EXPECT_TRUE(p.WaitForExit(10000)) << "the final message ends the program";
        CloseStartedWindows(!restartDue);
        return end;
    }
    static void CloseStartedWindows(bool autoRunStarted) {
        HWND ui = nullptr;
        for (int t = 0; autoRunStarted && t < 10000 && !(ui = FindWindowA("TAcmeMainWindow", nullptr)); t += 50)
            Sleep(50);
        if (ui) PostMessageA(ui, WM_CLOSE, 0, 0);
        for (HWND w; (w = FindWindowA("ExplorerWClass", nullptr)) != nullptr;)
            if (!SendMessageTimeoutA(w, WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, nullptr) || IsWindow(w)) break;
        // A program still open at the next run would count as running.
        for (int t = 0; ui && t < 10000 && IsWindow(ui); t += 50) Sleep(50);
    }

    static std::vector<std::string> Extracting(std::initializer_list<const char*> names) {
        std::vector<std::string> lines;
        for (const char* n : names) lines.push_back(RunText("Extracting", n));
        return lines;
    }
    static std::vector<std::string> Lines(std::vector<std::string> head, const std::vector<std::string>& files,
                                          std::vector<std::string> tail) {
        head.insert(head.end(), files.begin(), files.end());
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    }
    static int ProgressPosition(TSetupProcess& p) {
        return static_cast<int>(SendMessageA(p.Control(idProgressBar), PBM_GETPOS, 0, 0));
    }
};

// The folder the setup suggests (below "Program Files (x86)" on 64-bit Windows).
std::string Target() { return ProgramFilesDir() + "Velmora\\AcmeTool\\"; }
const char kSystem[] = "C:\\windows\\system32\\";

} // namespace

TEST_F(Install, CompleteInstallPutsEveryFileInPlaceAndListsIt) {
    const std::string dir = Target(), sys = kSystem;
    ASSERT_TRUE(MakeDirPath(dir));
    WriteBytes(dir + "readme.txt", "an older read-only readme");
    SetFileAttributesA((dir + "readme.txt").c_str(), FILE_ATTRIBUTE_READONLY);

    auto p = ToReady(gInstallSetup, "");
    const TRunEnd end = RunInstall(*p);

    for (const char* name : {"acmeui.exe", "acmesvc.exe", "readme.txt"})
        EXPECT_EQ(ReadBytes(dir + name), PayloadFile(name)) << name;
    EXPECT_EQ(ReadBytes(sys + "acmehook.dll"), PayloadFile("acmehook.dll"));
    EXPECT_EQ(ReadBytes(sys + "drivers\\acmedisk.sys"), PayloadFile("acmedisk.sys"));
    EXPECT_EQ(ReadBytes(dir + "INSTFILE.LST"), dir + "acmeui.exe\r\n" + dir + "acmesvc.exe\r\n"
                                               "C:\\windows\\system32\\acmehook.dll\r\n" +
                                                   dir + "readme.txt\r\n"
                                                   "C:\\windows\\system32\\drivers\\acmedisk.sys\r\n" +
                                                   dir + "UnInst.Ini\r\n" + dir + "INSTFILE.LST\r\n");
    EXPECT_EQ(end.Lines, Lines({Expect("PressInstall"), RunText("StopService")},
                               Extracting({"acmeui.exe", "acmesvc.exe", "acmehook.dll", "readme.txt", "acmedisk.sys"}),
                               {RunText("CreateGroup"), RunText("Success")}));
    EXPECT_EQ(end.Progress, 100);
}

// In the Chinese runs the directory ends in a double-byte character whose second
// byte is 0x5C: it is one character, not a backslash.
TEST_F(Install, CustomInstallLeavesTheUncheckedComponentOut) {
    const std::string typed = RunLang() == 0   ? "C:\\Acme Custom \xD5\x5C"
                              : RunLang() == 1 ? "C:\\Acme Custom \xA5\x5C"
                                               : "C:\\Acme Custom";
    const std::string dir = typed + "\\";
    auto p = ToReady(gInstallSetup, typed, 1);
    const TRunEnd end = RunInstall(*p);

    EXPECT_EQ(ReadBytes(dir + "INSTFILE.LST"), dir + "acmeui.exe\r\n" + dir + "acmesvc.exe\r\n" +
                                                   "C:\\windows\\system32\\acmehook.dll\r\n" + dir +
                                                   "readme.txt\r\n" + dir + "UnInst.Ini\r\n" + dir +
                                                   "INSTFILE.LST\r\n");
    EXPECT_EQ(ReadBytes(dir + "acmeui.exe"), PayloadFile("acmeui.exe"));
    EXPECT_EQ(ReadBytes(dir + "readme.txt"), PayloadFile("readme.txt"));
    EXPECT_EQ(end.Lines, Lines({Expect("PressInstall"), RunText("StopService")},
                               Extracting({"acmeui.exe", "acmesvc.exe", "acmehook.dll", "readme.txt"}),
                               {RunText("CreateGroup"), RunText("Success")}));
}

// The names of the files in dir that match pattern.
std::vector<std::string> FilesLike(const std::string& dir, const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + pattern).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(fd.cFileName);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return names;
}

// A destination held open without sharing: the run ends naming it, undoes what
// it did (the other files it wrote go, the held file keeps its bytes) and a
// second press of Install after the file is let go completes.
TEST_F(Install, FileHeldByAnotherProgramEndsTheRunUndoneAndASecondInstallCompletes) {
    const std::string dir = "C:\\Acme Locked\\";
    ASSERT_TRUE(MakeDirPath(dir));
    WriteBytes(dir + "acmesvc.exe", "held by another program");
    HANDLE held = CreateFileA((dir + "acmesvc.exe").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    // What the earlier tests of this run left in the system folder stays as it is.
    const std::string hookBefore = ReadBytes(kSystem + std::string("acmehook.dll"));

    auto p = ToReady(gInstallSetup, dir);
    p->ClickAsync(idBtnNext);
    HWND box = p->WaitForBox(60000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TSetupProcess::BoxText(box), RunText("CannotWrite", dir + "acmesvc.exe") + "\r\n\r\n" + RunText("Undone"));
    EXPECT_NE(GetDlgItem(box, IDOK), nullptr);
    p->Answer(box, IDOK);
    const std::vector<std::string> lines = p->ListItems(idLbxProgress);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[3], RunText("Extracting", "acmesvc.exe"));
    CloseHandle(held);
    EXPECT_EQ(ReadBytes(dir + "acmesvc.exe"), "held by another program");
    EXPECT_EQ(ReadBytes(dir + "acmeui.exe"), kMissing);
    EXPECT_EQ(ReadBytes(dir + "INSTFILE.LST"), kMissing);
    EXPECT_TRUE(ReadBytes(kSystem + std::string("acmehook.dll")) == hookBefore);
    EXPECT_EQ(FilesLike(dir, "~kx*"), std::vector<std::string>{}) << "no staged or set-aside file stays";
    EXPECT_TRUE(p->Enabled(idBtnNext));
    EXPECT_TRUE(p->Enabled(idBtnCancel));
    EXPECT_EQ(p->Text(idBtnNext), Expect("Install"));

    const TRunEnd end = RunInstall(*p);
    EXPECT_TRUE(ReadBytes(dir + "acmesvc.exe") == PayloadFile("acmesvc.exe"));
    EXPECT_EQ(ReadBytes(dir + "INSTFILE.LST"),
              dir + "acmeui.exe\r\n" + dir + "acmesvc.exe\r\nC:\\windows\\system32\\acmehook.dll\r\n" + dir +
                  "readme.txt\r\nC:\\windows\\system32\\drivers\\acmedisk.sys\r\n" + dir + "UnInst.Ini\r\n" + dir +
                  "INSTFILE.LST\r\n");
    EXPECT_EQ(FilesLike(dir, "~kx*"), std::vector<std::string>{});
    ASSERT_FALSE(end.Lines.empty());
    EXPECT_EQ(end.Lines.back(), RunText("Success"));
}

// A damaged payload is found before the first page: one message in the
// language of the locale, the end with 1603, nothing written.
TEST_F(Install, DamagedPayloadIsRefusedBeforeTheFirstPage) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::vector<std::string> windowsBefore = FilesLike("C:\\windows\\", "*"), tempBefore = FilesLike(temp, "*");
    TSetupProcess p(gDamagedSetup);
    HWND box = p.WaitForBox(30000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TSetupProcess::BoxText(box), RunText("PackageDamaged"));
    EXPECT_EQ(p.Form(), nullptr);
    p.Answer(box, IDOK);
    DWORD code = 0;
    ASSERT_TRUE(p.WaitForExit(10000, &code));
    EXPECT_EQ(code, 1603u);
    EXPECT_EQ(FilesLike("C:\\windows\\", "*"), windowsBefore);
    EXPECT_EQ(FilesLike(temp, "*"), tempBefore) << "not even a copy of the payload or the script";
}

TEST_F(Install, OverlappingComponentsAreWrittenAndListedTwice) {
    if (RunLang() != 2) GTEST_SKIP() << "the package has English texts only";
    const std::string dir = "C:\\Acme Layout\\";
    // "Program Files (x86)" for a 32-bit program on 64-bit Windows.
    const std::string shared = SharedFolder();
    auto p = ToReady(gLayoutSetup, dir);
    const TRunEnd end = RunInstall(*p);
    EXPECT_EQ(ReadBytes(dir + "INSTFILE.LST"), "C:\\Acme Layout\\acmeui.exe\r\n"
                                               "C:\\Acme Layout\\docs\\readme.txt\r\n"
                                               "C:\\Acme Layout\\docs\\readme.txt\r\n" +
                                                   shared + "other\\acmedisk.sys\r\n"
                                                   "C:\\Acme Layout\\acmehook.dll\r\n"
                                                   "C:\\windows\\system32\\acmehook.dll\r\n"
                                                   "C:\\Acme Layout\\UnInst.Ini\r\n"
                                                   "C:\\Acme Layout\\INSTFILE.LST\r\n");
    EXPECT_TRUE(shared == "C:\\Program Files\\Common Files\\Tarnwick\\" ||
                shared == "C:\\Program Files (x86)\\Common Files\\Tarnwick\\")
        << shared;
    EXPECT_EQ(ReadBytes(dir + "docs\\readme.txt"), PayloadFile("readme.txt"));
    EXPECT_EQ(ReadBytes(shared + "other\\acmedisk.sys"), PayloadFile("acmedisk.sys"));
    EXPECT_EQ(ReadBytes(dir + "acmehook.dll"), PayloadFile("acmehook.dll"));
    EXPECT_EQ(end.Lines, Lines({Expect("PressInstall")},
                               Extracting({"acmeui.exe", "readme.txt", "readme.txt", "acmedisk.sys", "acmehook.dll",
                                           "acmehook.dll"}),
                               {RunText("CreateGroup"), RunText("Success")}));
}

// A file the running program holds waits beside its destination, on the same
// volume: the NT family gets one delayed move that replaces the destination,
// the 9x family a "rename" line in WinInit.ini; Wine's restart carries out both.
TEST_F(Install, RunningProgramsFilesAreReplacedAtTheRestart) {
    const std::string dir = "C:\\Acme Running\\", sys = kSystem;
    ASSERT_TRUE(MakeDirPath(dir));
    const std::string oldUi = PayloadFile("acmeui.exe") + "an older build";
    WriteBytes(dir + "acmeui.exe", oldUi);
    WriteBytes(sys + "acmehook.dll", "an older hook");
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION ui{};
    std::string cmd = "\"" + dir + "acmeui.exe\"";
    ASSERT_TRUE(CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &ui));
    HWND window = nullptr;
    for (int t = 0; t < 20000 && !(window = FindWindowA("TAcmeMainWindow", nullptr)); t += 50) Sleep(50);
    ASSERT_NE(window, nullptr) << "acmeui.exe opened no window of class TAcmeMainWindow";

    auto p = ToReady(gInstallSetup, dir);
    const TRunEnd end = RunInstall(*p);
    ASSERT_FALSE(end.Lines.empty());
    EXPECT_EQ(end.Lines.back(), RunText("Success"));
    EXPECT_EQ(ReadBytes(dir + "acmeui.exe"), oldUi);
    EXPECT_EQ(ReadBytes(sys + "acmehook.dll"), "an older hook");
    EXPECT_EQ(ReadBytes(dir + "acmesvc.exe"), PayloadFile("acmesvc.exe")) << "not in ReNameList: written now";
    EXPECT_EQ(ReadBytes(dir + "INSTFILE.LST").substr(0, dir.size() + 12), dir + "acmeui.exe\r\n");
    const std::vector<std::string> uiWaiting = FilesLike(dir, "~kx*.new"), hookWaiting = FilesLike(sys, "~kx*.new");
    ASSERT_EQ(uiWaiting.size(), 1u);
    ASSERT_EQ(hookWaiting.size(), 1u);
    EXPECT_EQ(ReadBytes(dir + uiWaiting[0]), PayloadFile("acmeui.exe"));
    EXPECT_EQ(ReadBytes(sys + hookWaiting[0]), PayloadFile("acmehook.dll"));

    // A 32-bit program in a 64-bit prefix has its system directory redirected to
    // SysWOW64, which the renames at the restart do not do for it.
    const std::string sysAtRestart = Wow64() ? "C:\\windows\\syswow64\\" : "C:\\windows\\system32\\";
    const std::string uiDest = ShortPath(dir + "acmeui.exe"), uiNew = ShortPath(dir + uiWaiting[0]);
    const std::string hookDest = ShortPath(sysAtRestart + "acmehook.dll"),
                      hookNew = ShortPath(sysAtRestart + hookWaiting[0]);
    EXPECT_EQ(uiDest.find(' '), std::string::npos) << uiDest;
    if (NTFamily()) {
        EXPECT_EQ(PendingRenames(), (std::vector<std::string>{"\\??\\" + uiNew, "!\\??\\" + uiDest,
                                                              "\\??\\" + hookNew, "!\\??\\" + hookDest}));
    } else {
        char value[MAX_PATH] = {};
        GetPrivateProfileStringA("rename", uiDest.c_str(), "", value, MAX_PATH, "C:\\windows\\wininit.ini");
        EXPECT_EQ(std::string(value), uiNew);
        GetPrivateProfileStringA("rename", hookDest.c_str(), "", value, MAX_PATH, "C:\\windows\\wininit.ini");
        EXPECT_EQ(std::string(value), hookNew);
    }

    // The restart (answered No in the run, so done here): the program ends, then
    // Wine performs the renames.
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(ui.hProcess, 10000), WAIT_OBJECT_0);
    CloseHandle(ui.hThread);
    CloseHandle(ui.hProcess);
    EXPECT_EQ(RunAndWaitFor("wineboot.exe -r", 60000), 0);
    EXPECT_EQ(ReadBytes(dir + "acmeui.exe"), PayloadFile("acmeui.exe"));
    EXPECT_EQ(ReadBytes(sys + "acmehook.dll"), PayloadFile("acmehook.dll"));
    EXPECT_EQ(FilesLike(dir, "~kx*"), std::vector<std::string>{});
    EXPECT_EQ(FilesLike(sys, "~kx*"), std::vector<std::string>{});
}
