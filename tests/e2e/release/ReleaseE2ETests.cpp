// A package author's release under Wine: the Quillpad setup, made by kxpack
// from the docs' example and signed, installs under its own names (its vendor
// folder below Program Files as a 32-bit program sees it, its version in the
// list of installed programs, nothing named after us in the prefix), shows its
// version resource to Windows, and kxpack.exe packs a package in a folder with
// a name of the system's code page.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "SetupDriver.h"
#include "app/MemIniFile.h"
#include "app/SetupControlIds.h"
#include "app/SetupScript.h"
#include "sys/Win32.h"

#include <winver.h>

using namespace kx;
using namespace kxe2e;

namespace {

std::string gSetup, gScript, gKxpack, gStub, gUninstaller;

const char kCurrentVersion[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char kEntry[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quillpad";
const char* const kOurNames[] = {"velmora", "tarnwick"};

// A value of the package's own script in the run's language.
std::string ScriptText(const char* kind, const char* key) {
    const TMemIniFile ini(ReadFileBytes(WinPath(gScript)));
    return ini.ReadString(LangSectionPrefix(CodePageLang()) + kind, key, "");
}

std::string RegText(HKEY root, const std::string& key, const char* name) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return "<no key>";
    char buf[2048] = {};
    DWORD size = sizeof buf - 1, type = 0;
    const LONG r = RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(k);
    return r == ERROR_SUCCESS ? std::string(buf) : "<no value>";
}

std::string Dir(const std::string& d) { return d.empty() || d.back() == '\\' ? d : d + "\\"; }

std::string SystemDir() {
    char buf[MAX_PATH] = {};
    return Dir(std::string(buf, GetSystemDirectoryA(buf, MAX_PATH)));
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool NamesUs(const std::string& text) {
    const std::string lower = Lower(text);
    return std::any_of(std::begin(kOurNames), std::end(kOurNames),
                       [&](const char* n) { return lower.find(n) != std::string::npos; });
}

// Every file and folder below dir whose name holds one of our names.
void FindOurNames(const std::string& dir, std::vector<std::string>& found) {
    WIN32_FIND_DATAA d;
    HANDLE h = FindFirstFileA((dir + "*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = d.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = dir + name;
        if (NamesUs(name)) found.push_back(path);
        if ((d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            FindOurNames(path + "\\", found);
    } while (FindNextFileA(h, &d));
    FindClose(h);
}

// Where a setup writes: the names on C:\\ itself, and below them all but the
// users' folders, of which only AppData (the Start menu, settings) is looked at,
// the others being links to the Unix home folder.
std::vector<std::string> AllWrittenPlaces() {
    std::vector<std::string> places;
    WIN32_FIND_DATAA d;
    HANDLE h = FindFirstFileA("C:\\*", &d);
    if (h == INVALID_HANDLE_VALUE) return places;
    do {
        const std::string name = d.cFileName;
        if (name == "." || name == ".." || !(d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        if (Lower(name) != "users") places.push_back("C:\\" + name + "\\");
    } while (FindNextFileA(h, &d));
    FindClose(h);
    h = FindFirstFileA("C:\\users\\*", &d);
    if (h == INVALID_HANDLE_VALUE) return places;
    do {
        const std::string name = d.cFileName;
        if (name != "." && name != "..") places.push_back("C:\\users\\" + name + "\\AppData\\");
    } while (FindNextFileA(h, &d));
    FindClose(h);
    return places;
}

void FindOurNames(const std::vector<std::string>& dirs, std::vector<std::string>& found) {
    for (const std::string& dir : dirs) {
        if (NamesUs(dir)) found.push_back(dir);
        FindOurNames(dir, found);
    }
}

// Every key, value name and text below key whose text holds one of our names.
void FindOurNames(HKEY root, const std::string& key, std::vector<std::string>& found) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return;
    for (DWORD i = 0;; ++i) {
        char name[1024];
        DWORD nameSize = sizeof name, type = 0;
        static BYTE data[65536];
        DWORD dataSize = sizeof data - 1;
        if (RegEnumValueA(k, i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
        data[dataSize] = 0;
        const bool text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
        if (NamesUs(name) || (text && NamesUs(std::string(reinterpret_cast<char*>(data), dataSize))))
            found.push_back(key + " : " + name);
    }
    std::vector<std::string> subkeys;
    for (DWORD i = 0;; ++i) {
        char name[1024];
        DWORD size = sizeof name;
        if (RegEnumKeyExA(k, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subkeys.push_back(name);
    }
    RegCloseKey(k);
    for (const std::string& s : subkeys) {
        const std::string path = key.empty() ? s : key + "\\" + s;
        if (NamesUs(s)) found.push_back(path);
        FindOurNames(root, path, found);
    }
}

HWND WaitForWindow(const char* cls, int timeoutMs) {
    for (int t = 0; t < timeoutMs; t += 50) {
        if (HWND w = FindWindowA(cls, nullptr)) return w;
        Sleep(50);
    }
    return nullptr;
}

void CloseAndWait(HWND w) {
    if (!w) return;
    PostMessageA(w, WM_CLOSE, 0, 0);
    for (int t = 0; t < 10000 && IsWindow(w); t += 50) Sleep(50);
}

// Runs the setup through its pages with the suggested folder; answers the
// final message; closes what it opened (the AutoRun program, the group's
// folder). Answers the folder it installed into.
std::string InstallWithTheSuggestedFolder(const std::string& setup) {
    TSetupProcess p(setup);
    if (!p.WaitForForm()) {
        ADD_FAILURE() << "the wizard did not appear";
        return {};
    }
    EXPECT_EQ(p.Page(), 0);
    p.Click(idBtnCancel);
    p.Click(idBtnNext);
    const std::string dir = p.Text(idEdtInstallPath);
    p.Click(idBtnNext);
    EXPECT_EQ(p.Page(), 3);
    p.ClickAsync(idBtnNext);
    const std::vector<std::string> boxes = p.AnswerBoxesUntilEnd();
    EXPECT_TRUE(p.WaitForExit(30000)) << "the setup did not end";
    EXPECT_EQ(boxes.size(), 1u) << "only the final message is expected";
    CloseAndWait(WaitForWindow("TAcmeMainWindow", 10000)); // quillpad.exe, started by AutoRun
    while (HWND w = FindWindowA("ExplorerWClass", nullptr)) {
        CloseAndWait(w);
        if (IsWindow(w)) break;
    }
    return dir;
}

TEST(Release, QuillpadInstallsUnderItsOwnNames) {
    ASSERT_FALSE(gSetup.empty() || gScript.empty()) << "run with --setup=PATH --script=PATH";
    const std::string programFiles = Dir(RegText(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir"));
    const std::string commonFiles = Dir(RegText(HKEY_LOCAL_MACHINE, kCurrentVersion, "CommonFilesDir"));
    // A 32-bit program on 64-bit Windows is given "Program Files (x86)".
    const bool wow64 = GetFileAttributesA("C:\\windows\\syswow64") != INVALID_FILE_ATTRIBUTES;
    EXPECT_EQ(programFiles, wow64 ? "C:\\Program Files (x86)\\" : "C:\\Program Files\\");

    const std::string dir = InstallWithTheSuggestedFolder(gSetup);
    ASSERT_EQ(dir, programFiles + "Larkspur\\Quillpad\\");

    for (const char* name : {"quillpad.exe", "help\\quillpad.txt", "kxUnInst.Exe", "UnInst.Ini", "INSTFILE.LST"})
        EXPECT_NE(GetFileAttributesA((dir + name).c_str()), INVALID_FILE_ATTRIBUTES) << name;
    EXPECT_NE(GetFileAttributesA((commonFiles + "Larkspur\\qspell.dll").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA((SystemDir() + "quillink\\ink.dat").c_str()), INVALID_FILE_ATTRIBUTES);

    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, kEntry, "DisplayVersion"), "2.1.0");
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, kEntry, "DisplayName"), ScriptText("GrpName", "GrpName"));
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, kEntry, "Publisher"), ScriptText("GrpName", "COMPANY"));
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Larkspur\\Quillpad", "InstallPath"), dir + "quillpad.exe");

    // Nothing is named after us: no file or folder, no registry key, value or text.
    std::vector<std::string> found;
    FindOurNames(AllWrittenPlaces(), found);
    FindOurNames(HKEY_LOCAL_MACHINE, "SOFTWARE", found);
    FindOurNames(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services", found);
    FindOurNames(HKEY_CURRENT_USER, "Software", found);
    std::string shown;
    for (const std::string& f : found) shown += f + "\n";
    EXPECT_TRUE(found.empty()) << shown;
    // Nor in the text of what the setup wrote.
    std::string list = ReadFileBytes(dir + "INSTFILE.LST");
    std::vector<std::string> files = {dir + "kxUnInst.Exe", dir + "UnInst.Ini"};
    for (std::size_t at = 0, end; (end = list.find("\r\n", at)) != std::string::npos; at = end + 2)
        files.push_back(list.substr(at, end - at));
    for (const std::string& f : files) {
        const std::string data = ReadFileBytes(f);
        EXPECT_EQ(data.find("Velmora"), std::string::npos) << f;
        EXPECT_EQ(data.find("Tarnwick"), std::string::npos) << f;
    }
}

// Windows' own reader of version resources sees what the package says.
TEST(Release, SetupCarriesThePackagesVersionResource) {
    const std::string path = WinPath(gSetup);
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));
    auto text = [&](const char* name) {
        char* value = nullptr;
        UINT length = 0;
        const std::string query = std::string("\\StringFileInfo\\040904E4\\") + name;
        if (!VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) || !value)
            return std::string("<none>");
        return std::string(value);
    };
    EXPECT_EQ(text("CompanyName"), "Larkspur Software");
    EXPECT_EQ(text("ProductName"), "Quillpad");
    EXPECT_EQ(text("FileDescription"), "Quillpad Setup");
    EXPECT_EQ(text("ProductVersion"), "2.1.0");
    EXPECT_EQ(text("LegalCopyright"), "(c) 2024 Larkspur Software");
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00020001u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000000u);
}

// A folder named in the system's code page: kxpack.exe writes a package
// there, builds it there, and the setup it made starts.
TEST(KxpackExe, PacksAPackageInAFolderWithANonAsciiName) {
    ASSERT_FALSE(gKxpack.empty() || gStub.empty() || gUninstaller.empty())
        << "run with --kxpack=PATH --stub=PATH --uninstaller=PATH";
    std::string name;
    switch (GetACP()) {
    case 936: name = "\xD1\xDD\xCA\xBE"; break; // 演示
    case 950: name = "\xBA\x74\xA5\xDC"; break; // 演示, whose first trail byte is 't'
    default: name = "M\xFCller"; break;
    }
    const std::string folder = "C:\\" + name + "\\";
    const std::string q = "\"";
    ASSERT_EQ(RunAndWait(q + WinPath(gKxpack) + q + " --init " + q + folder + "pkg" + q, 300000), 0u);
    ASSERT_NE(GetFileAttributesA((folder + "pkg\\setup.ini").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(RunAndWait(q + WinPath(gKxpack) + q + " --no-progress --stub " + q + WinPath(gStub) + q +
                         " --uninstaller " + q + WinPath(gUninstaller) + q + " " + q + folder + "pkg" + q + " -o " + q +
                         folder + "setup.exe" + q, 300000),
              0u);
    ASSERT_NE(GetFileAttributesA((folder + "setup.exe").c_str()), INVALID_FILE_ATTRIBUTES);
    TSetupProcess setup(folder + "setup.exe");
    ASSERT_TRUE(setup.WaitForForm());
    EXPECT_EQ(setup.Page(), 0);
    setup.Close();
    EXPECT_TRUE(setup.WaitForExit(20000));
}

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    TakeOptions(argc, argv, {
        {"--setup=", &gSetup},
        {"--script=", &gScript},
        {"--kxpack=", &gKxpack},
        {"--stub=", &gStub},
        {"--uninstaller=", &gUninstaller},
    });
    return RUN_ALL_TESTS();
}
