// Shell integration under Wine: temporary names, the Windows TEMP folder, the
// program-group folder, shell links, the folder browser driven from a second
// thread, and the restart decision.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "base/Text.h"
#include "sys/Files.h"
#include "sys/Handles.h"
#include "sys/Paths.h"
#include "sys/Threads.h"
#include "sys/Win32.h"
#include "sys/untSetupUtils.h"
#include "win32/ReadOnlyKey.h"

#include <shlobj.h>
#include <shobjidl.h>

namespace {

std::string gExpectFamily;

// ---------------------------------------------------------------- temporary names

class TempName : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kx::MakeDirPath("C:\\kxtmp\\"));
        ASSERT_TRUE(SetEnvironmentVariableA("TMP", "C:\\kxtmp"));
    }
    void TearDown() override {
        for (const char* n : {"Seup9999.tmp", "Seup9998.tmp", "Seup9997.tmp"}) {
            kx::DeleteFile(std::string("C:\\kxtmp\\") + n);
            RemoveDirectoryA((std::string("C:\\kxtmp\\") + n).c_str());
        }
    }
    static void Touch(const std::string& path) { kx::SaveStringToFile(path, ""); }
};

TEST_F(TempName, EmptyFolderGivesTheHighestNumberWithoutCreatingIt) {
    EXPECT_EQ(kx::MakeSetupTempName(), "C:\\kxtmp\\Seup9999.tmp");
    EXPECT_FALSE(kx::FileExists("C:\\kxtmp\\Seup9999.tmp"));
}

TEST_F(TempName, ExistingNamesAreSkipped) {
    Touch("C:\\kxtmp\\Seup9999.tmp");
    EXPECT_EQ(kx::MakeSetupTempName(), "C:\\kxtmp\\Seup9998.tmp");
    Touch("C:\\kxtmp\\Seup9998.tmp");
    EXPECT_EQ(kx::MakeSetupTempName(), "C:\\kxtmp\\Seup9997.tmp");
}

TEST_F(TempName, FolderOfThatNameIsSkippedToo) {
    ASSERT_TRUE(CreateDirectoryA("C:\\kxtmp\\Seup9999.tmp", nullptr));
    EXPECT_EQ(kx::MakeSetupTempName(), "C:\\kxtmp\\Seup9998.tmp");
}

TEST_F(TempName, FolderWithTrailingBackslashGetsNoSecondOne) {
    ASSERT_TRUE(SetEnvironmentVariableA("TMP", "C:\\kxtmp\\"));
    EXPECT_EQ(kx::MakeSetupTempName(), "C:\\kxtmp\\Seup9999.tmp");
}

// With every name taken there is no name to give: handing out Seup0000.tmp would
// let the caller overwrite and then delete someone else's file.
TEST_F(TempName, AllNamesTakenRaises) {
    ASSERT_TRUE(kx::MakeDirPath("C:\\kxfull\\"));
    ASSERT_TRUE(SetEnvironmentVariableA("TMP", "C:\\kxfull"));
    char name[64];
    for (int i = 0; i <= 9999; ++i) {
        std::snprintf(name, sizeof name, "C:\\kxfull\\Seup%04d.tmp", i);
        kx::TFileHandle f(CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        ASSERT_TRUE(f) << name;
    }
    kx::SaveStringToFile("C:\\kxfull\\Seup0000.tmp", "someone's");
    try {
        std::string name0 = kx::MakeSetupTempName();
        FAIL() << "gave " << name0;
    } catch (const kx::Exception& e) {
        EXPECT_EQ(e.Message(), "No free temporary file name in C:\\kxfull\\");
    }
    EXPECT_EQ(kx::LoadFileToString("C:\\kxfull\\Seup0000.tmp"), "someone's");
}

// ---------------------------------------------------------------- Windows TEMP

TEST(WinTempPath, ShortFormWithBackslash) {
    std::string p = kx::GetWinTempPath();
    EXPECT_TRUE(kx::SameText(p, "C:\\windows\\TEMP\\")) << p;
    EXPECT_TRUE(kx::DirectoryExists(p));
}

TEST(WinTempPath, MissingFolderIsCreated) {
    std::string dir = kx::GetWindowsPath() + "TEMP";
    RemoveDirectoryA(dir.c_str());
    ASSERT_FALSE(kx::DirectoryExists(dir)) << "could not clear " << dir;
    std::string p = kx::GetWinTempPath();
    EXPECT_TRUE(kx::SameText(p, "C:\\windows\\TEMP\\")) << p;
    EXPECT_TRUE(kx::DirectoryExists(dir));
}

// ---------------------------------------------------------------- program group

const char kShellFolders[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

class ProgramGroup : public testing::Test {
protected:
    static void SetValue(HKEY root, const char* name, const std::string& value) {
        kx::TRegKey key;
        ASSERT_EQ(RegCreateKeyExA(root, kShellFolders, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>(value.size() + 1)),
                  ERROR_SUCCESS);
    }
    static void DeleteValue(HKEY root, const char* name) {
        kx::TRegKey key;
        if (RegOpenKeyExA(root, kShellFolders, 0, KEY_ALL_ACCESS, key.Put()) == ERROR_SUCCESS)
            RegDeleteValueA(key.Get(), name);
    }
    void SetUp() override {
        DeleteValue(HKEY_LOCAL_MACHINE, "Common Programs");
        DeleteValue(HKEY_CURRENT_USER, "Programs");
    }
};

TEST_F(ProgramGroup, CommonValueComesFirst) {
    SetValue(HKEY_LOCAL_MACHINE, "Common Programs", "C:\\Common Start\\Programs");
    SetValue(HKEY_CURRENT_USER, "Programs", "C:\\User Start\\Programs");
    EXPECT_EQ(kx::GetProgramGroupPath("Acme Tool"), "C:\\Common Start\\Programs\\Acme Tool\\");
}

TEST_F(ProgramGroup, UserValueWhenNoCommonOne) {
    SetValue(HKEY_CURRENT_USER, "Programs", "C:\\User Start\\Programs\\");
    EXPECT_EQ(kx::GetProgramGroupPath("Acme Tool"), "C:\\User Start\\Programs\\Acme Tool\\");
    SetValue(HKEY_LOCAL_MACHINE, "Common Programs", "");
    EXPECT_EQ(kx::GetProgramGroupPath("Acme Tool"), "C:\\User Start\\Programs\\Acme Tool\\");
}

TEST_F(ProgramGroup, NeitherValueGivesTheDriveRootDefault) {
    EXPECT_EQ(kx::GetProgramGroupPath("Acme Tool"), "C:\\WINDOWS\\Start Menu\\Programs\\Acme Tool\\");
    EXPECT_EQ(kx::GetProgramGroupPath(""), "C:\\WINDOWS\\Start Menu\\Programs\\");
}

TEST_F(ProgramGroup, EmptyGroupIsTheProgramsFolderItself) {
    SetValue(HKEY_LOCAL_MACHINE, "Common Programs", "C:\\Common Start\\Programs");
    EXPECT_EQ(kx::GetProgramGroupPath(""), "C:\\Common Start\\Programs\\");
}

// A limited account may read the common Start menu's key but not change it.
TEST_F(ProgramGroup, ReadOnlyCommonKeyIsRead) {
    SetValue(HKEY_LOCAL_MACHINE, "Common Programs", "C:\\Common Start\\Programs");
    SetValue(HKEY_CURRENT_USER, "Programs", "C:\\User Start\\Programs");
    kxtest::TReadOnlyKey readOnly(HKEY_LOCAL_MACHINE, kShellFolders);
    ASSERT_TRUE(readOnly.Enforced(HKEY_LOCAL_MACHINE, kShellFolders));
    EXPECT_EQ(kx::GetProgramGroupPath("Acme Tool"), "C:\\Common Start\\Programs\\Acme Tool\\");
}

// Looking for the folder creates no key.
TEST_F(ProgramGroup, MissingKeysAreNotCreated) {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) RegDeleteKeyA(root, kShellFolders);
    auto exists = [](HKEY root) {
        kx::TRegKey key;
        return RegOpenKeyExA(root, kShellFolders, 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
    };
    ASSERT_FALSE(exists(HKEY_LOCAL_MACHINE));
    ASSERT_FALSE(exists(HKEY_CURRENT_USER));
    EXPECT_EQ(kx::GetProgramGroupPath("Acme Tool"), "C:\\WINDOWS\\Start Menu\\Programs\\Acme Tool\\");
    EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE));
    EXPECT_FALSE(exists(HKEY_CURRENT_USER));
}

// In a double-byte code page a 0x5C trail byte is not a backslash.
TEST_F(ProgramGroup, DoubleByteTrailBackslashIsNotAFolderEnd) {
    if (GetACP() != 936) GTEST_SKIP() << "needs the GBK code page";
    SetValue(HKEY_CURRENT_USER, "Programs", "C:\\\x81\x5C");
    EXPECT_EQ(kx::GetProgramGroupPath("Acme"), "C:\\\x81\x5C\\Acme\\");
}

// ---------------------------------------------------------------- shortcuts

struct TLinkData {
    std::string Path, Description, Arguments;
    int ShowCmd = -1;
};

TLinkData ReadLink(const std::string& file) {
    TLinkData d;
    kx::TComPtr<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.PutVoid())))
        return d;
    kx::TComPtr<IPersistFile> pf;
    if (FAILED(link->QueryInterface(IID_IPersistFile, pf.PutVoid()))) return d;
    std::wstring w(MAX_PATH, L'\0');
    w.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, w.data(), MAX_PATH) - 1));
    if (FAILED(pf->Load(w.c_str(), STGM_READ))) return d;
    char buf[MAX_PATH] = {0};
    if (SUCCEEDED(link->GetPath(buf, MAX_PATH, nullptr, SLGP_RAWPATH))) d.Path = buf;
    buf[0] = 0;
    if (SUCCEEDED(link->GetDescription(buf, MAX_PATH))) d.Description = buf;
    int show = -1;
    if (SUCCEEDED(link->GetShowCmd(&show))) d.ShowCmd = show;
    buf[0] = 0;
    if (SUCCEEDED(link->GetArguments(buf, MAX_PATH))) d.Arguments = buf;
    return d;
}

class Shortcut : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(kx::MakeDirPath("C:\\kxlinks\\")); }
};

TEST_F(Shortcut, SavedAndReadBack) {
    const std::string lnk = "C:\\kxlinks\\Acme Tool.Lnk";
    ASSERT_TRUE(kx::CreateShortcut("C:\\windows\\notepad.exe", "Acme Tool", lnk));
    std::string bytes = kx::LoadFileToString(lnk);
    // Header size 0x4C, then the link class {00021401-0000-0000-C000-000000000046}.
    const unsigned char head[] = {0x4C, 0x00, 0x00, 0x00, 0x01, 0x14, 0x02, 0x00, 0x00, 0x00,
                                  0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
    ASSERT_GE(bytes.size(), 0x4Cu);
    EXPECT_EQ(bytes.substr(0, sizeof head), std::string(reinterpret_cast<const char*>(head), sizeof head));
    // Show command SW_SHOW at offset 0x3C.
    EXPECT_EQ(bytes.substr(0x3C, 4), std::string("\x05\x00\x00\x00", 4));
    TLinkData d = ReadLink(lnk);
    EXPECT_TRUE(kx::SameText(d.Path, "C:\\windows\\notepad.exe")) << d.Path;
    EXPECT_EQ(d.Description, "Acme Tool");
    // The link format knows only normal, minimised and maximised; a stored
    // SW_SHOW reads back as normal.
    EXPECT_EQ(d.ShowCmd, SW_SHOWNORMAL);
}

// The uninstaller's shortcut starts the Windows folder's copy with the target folder.
TEST_F(Shortcut, ArgumentsAreSavedWithTheTarget) {
    const std::string lnk = "C:\\kxlinks\\With Arguments.Lnk";
    ASSERT_TRUE(kx::CreateShortcut("C:\\windows\\kxUnInst.exe", "Acme Tool UnInst", lnk,
                                   "\"C:\\Program Files\\Velmora\\AcmeTool\""));
    TLinkData d = ReadLink(lnk);
    EXPECT_TRUE(kx::SameText(d.Path, "C:\\windows\\kxUnInst.exe")) << d.Path;
    EXPECT_EQ(d.Arguments, "\"C:\\Program Files\\Velmora\\AcmeTool\"");
    // Without arguments the link has none.
    ASSERT_TRUE(kx::CreateShortcut("C:\\windows\\notepad.exe", "Plain", lnk));
    EXPECT_EQ(ReadLink(lnk).Arguments, "");
}

TEST_F(Shortcut, ExistingLinkIsReplaced) {
    const std::string lnk = "C:\\kxlinks\\Replace Me.Lnk";
    ASSERT_TRUE(kx::CreateShortcut("C:\\windows\\notepad.exe", "First", lnk));
    ASSERT_TRUE(kx::CreateShortcut("C:\\windows\\regedit.exe", "Second", lnk));
    TLinkData d = ReadLink(lnk);
    EXPECT_TRUE(kx::SameText(d.Path, "C:\\windows\\regedit.exe")) << d.Path;
    EXPECT_EQ(d.Description, "Second");
}

TEST_F(Shortcut, MissingFolderGivesFalse) {
    EXPECT_FALSE(kx::CreateShortcut("C:\\windows\\notepad.exe", "Acme Tool", "C:\\kxnowhere\\sub\\Acme Tool.Lnk"));
    EXPECT_FALSE(kx::FileExists("C:\\kxnowhere\\sub\\Acme Tool.Lnk"));
}

// The link file name goes from the active code page to UTF-16 unchanged.
TEST_F(Shortcut, DoubleByteLinkNameKeepsItsCharacters) {
    if (GetACP() != 936) GTEST_SKIP() << "needs the GBK code page";
    const std::string lnk = "C:\\kxlinks\\\xB0\xA2\xC0\xAD.Lnk"; // U+963F U+62C9 in GBK
    ASSERT_TRUE(kx::CreateShortcut("C:\\windows\\notepad.exe", "\xB0\xA2\xC0\xAD", lnk));
    WIN32_FIND_DATAW fd{};
    HANDLE h = FindFirstFileW(L"C:\\kxlinks\\\u963F\u62C9.Lnk", &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FindClose(h);
    EXPECT_EQ(ReadLink(lnk).Description, "\xB0\xA2\xC0\xAD");
}

TEST_F(Shortcut, WithoutComTheErrorIsRaisedWithItsText) {
    std::string message;
    bool raised = false;
    kx::TThread t([&] {
        try {
            kx::CreateShortcut("C:\\windows\\notepad.exe", "Acme Tool", "C:\\kxlinks\\NoCom.Lnk");
        } catch (const kx::Exception& e) {
            raised = true;
            message = e.Message();
        }
    });
    t.Join();
    EXPECT_TRUE(raised);
    // Wine has no system text for CO_E_NOTINITIALIZED, so the code stands in for it.
    EXPECT_EQ(message, "OLE error 800401F0");
    EXPECT_FALSE(kx::FileExists("C:\\kxlinks\\NoCom.Lnk"));
}

// ---------------------------------------------------------------- folder browser

// What the driver thread saw while the dialog was open.
struct TDialogView {
    bool Found = false;
    bool OwnerDisabled = false;
    bool CaptionShown = false;
    std::string Selected; // text of the tree's selected item
    std::string TreeRoot; // text of the tree's first root item
};

std::string TreeItemText(HWND tree, HTREEITEM item) {
    if (!item) return std::string();
    char buf[MAX_PATH] = {0};
    TVITEMA it{};
    it.mask = TVIF_TEXT;
    it.hItem = item;
    it.pszText = buf;
    it.cchTextMax = MAX_PATH;
    if (!SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&it))) return std::string();
    return buf;
}

struct TFindText {
    const char* Text;
    bool Found;
};

BOOL CALLBACK FindChildText(HWND w, LPARAM data) {
    auto* f = reinterpret_cast<TFindText*>(data);
    char buf[256] = {0};
    GetWindowTextA(w, buf, sizeof buf);
    if (std::strcmp(buf, f->Text) == 0) f->Found = true;
    return TRUE;
}

// Runs BrowseForDirectory on this thread with a visible window of our own, while
// a second thread finds the dialog, reads it and presses the given button.
bool BrowseAndPress(const std::string& caption, const std::string& root, std::string& dir, int button,
                    TDialogView& view) {
    HWND mainWnd = CreateWindowExA(0, "STATIC", "Acme Setup", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200,
                                   nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetActiveWindow(mainWnd);
    kx::TThread driver([&] {
        HWND dlg = nullptr;
        for (int i = 0; i < 300 && !dlg; ++i) {
            Sleep(50);
            HWND w = FindWindowA("#32770", nullptr);
            if (w && GetWindowThreadProcessId(w, nullptr) != GetCurrentThreadId() && IsWindowVisible(w)) dlg = w;
        }
        if (!dlg) return;
        view.Found = true;
        // The first dialog of a prefix fills its tree slowly: wait until the
        // selected item has settled (unchanged over three looks) before reading it.
        HWND tree = nullptr;
        std::string last;
        for (int i = 0, same = 0; i < 50 && same < 4; ++i) {
            Sleep(200);
            if (!tree) tree = FindWindowExA(dlg, nullptr, "SysTreeView32", nullptr);
            if (!tree) continue;
            std::string now = TreeItemText(
                tree, reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0)));
            same = (now == last) ? same + 1 : 0;
            last = now;
        }
        view.OwnerDisabled = !IsWindowEnabled(mainWnd);
        TFindText f{caption.c_str(), false};
        EnumChildWindows(dlg, &FindChildText, reinterpret_cast<LPARAM>(&f));
        view.CaptionShown = f.Found;
        if (tree) {
            view.Selected = last;
            view.TreeRoot = TreeItemText(
                tree, reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0)));
        }
        PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dlg, button)));
    });
    bool result = kx::BrowseForDirectory(caption, root, dir);
    driver.Join();
    EXPECT_TRUE(IsWindowEnabled(mainWnd)) << "program window left disabled";
    DestroyWindow(mainWnd);
    return result;
}

class Browse : public testing::Test {
protected:
    // The folders exist, and the shell has parsed them once, before the first
    // dialog of the prefix opens: Wine's first dialog in a new prefix has been
    // seen to drop a selection it could not resolve yet.
    static void SetUpTestSuite() {
        kx::MakeDirPath("C:\\kxbrowse\\Pick Me\\");
        kx::TComPtr<IShellFolder> desktop;
        if (SUCCEEDED(SHGetDesktopFolder(desktop.Put()))) {
            wchar_t path[] = L"C:\\kxbrowse\\Pick Me";
            LPITEMIDLIST items = nullptr;
            if (SUCCEEDED(desktop->ParseDisplayName(nullptr, nullptr, path, nullptr, &items, nullptr)))
                CoTaskMemFree(items);
        }
    }
    void SetUp() override { ASSERT_TRUE(kx::DirectoryExists("C:\\kxbrowse\\Pick Me")); }
};

TEST_F(Browse, PreselectedFolderConfirmed) {
    std::string dir = "C:\\kxbrowse\\Pick Me";
    TDialogView view;
    EXPECT_TRUE(BrowseAndPress("Choose the target folder", "", dir, IDOK, view));
    ASSERT_TRUE(view.Found);
    EXPECT_TRUE(view.OwnerDisabled);
    EXPECT_TRUE(view.CaptionShown);
    EXPECT_EQ(view.Selected, "Pick Me");
    EXPECT_EQ(dir, "C:\\kxbrowse\\Pick Me");
}

TEST_F(Browse, CancelLeavesTheDirectory) {
    std::string dir = "C:\\kxbrowse\\Pick Me";
    TDialogView view;
    EXPECT_FALSE(BrowseAndPress("Choose the target folder", "", dir, IDCANCEL, view));
    ASSERT_TRUE(view.Found);
    EXPECT_TRUE(view.OwnerDisabled);
    EXPECT_EQ(view.Selected, "Pick Me");
    EXPECT_EQ(dir, "C:\\kxbrowse\\Pick Me");
}

TEST_F(Browse, MissingInitialDirectoryIsNotPreselectedAndCancelEmptiesIt) {
    std::string dir = "C:\\kxbrowse\\Not There";
    TDialogView view;
    EXPECT_FALSE(BrowseAndPress("Choose the target folder", "", dir, IDCANCEL, view));
    ASSERT_TRUE(view.Found);
    EXPECT_NE(view.Selected, "Not There");
    EXPECT_NE(view.Selected, "Pick Me");
    EXPECT_EQ(dir, "");
}

TEST_F(Browse, RootFolderLimitsTheTree) {
    std::string dir = "C:\\kxbrowse\\Pick Me";
    TDialogView view;
    EXPECT_TRUE(BrowseAndPress("Choose the target folder", "C:\\kxbrowse", dir, IDOK, view));
    ASSERT_TRUE(view.Found);
    EXPECT_EQ(view.TreeRoot, "kxbrowse");
    EXPECT_EQ(view.Selected, "Pick Me");
    EXPECT_EQ(dir, "C:\\kxbrowse\\Pick Me");
}

// ---------------------------------------------------------------- restart

struct TRestartCalls {
    std::vector<std::string> Order;
    UINT Flags = 0;
};

void Restart(bool nt, bool privilegeResult, TRestartCalls& calls) {
    kx::RestartSystemWith(
        nt,
        [&] {
            calls.Order.push_back("privilege");
            return privilegeResult;
        },
        [&](UINT flags) {
            calls.Order.push_back("exit");
            calls.Flags = flags;
        });
}

TEST(Restart, NineXFamilyRestartsWithoutPrivilege) {
    TRestartCalls calls;
    Restart(false, true, calls);
    EXPECT_EQ(calls.Order, (std::vector<std::string>{"exit"}));
    EXPECT_EQ(calls.Flags, 6u); // EWX_REBOOT | EWX_FORCE
}

TEST(Restart, NtFamilyEnablesThePrivilegeFirst) {
    TRestartCalls calls;
    Restart(true, true, calls);
    EXPECT_EQ(calls.Order, (std::vector<std::string>{"privilege", "exit"}));
    EXPECT_EQ(calls.Flags, 6u);
}

TEST(Restart, RefusedPrivilegeStillRequestsTheRestart) {
    TRestartCalls calls;
    Restart(true, false, calls);
    EXPECT_EQ(calls.Order, (std::vector<std::string>{"privilege", "exit"}));
    EXPECT_EQ(calls.Flags, 6u);
}

bool ShutdownPrivilegeEnabled() {
    kx::TKernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return false;
    LUID luid{};
    LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &luid);
    std::vector<char> buf(4096);
    DWORD len = 0;
    if (!GetTokenInformation(token.Get(), TokenPrivileges, buf.data(), static_cast<DWORD>(buf.size()), &len))
        return false;
    auto* tp = reinterpret_cast<TOKEN_PRIVILEGES*>(buf.data());
    for (DWORD i = 0; i < tp->PrivilegeCount; ++i)
        if (tp->Privileges[i].Luid.LowPart == luid.LowPart && tp->Privileges[i].Luid.HighPart == luid.HighPart)
            return (tp->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0;
    return false;
}

TEST(Restart, EnableShutdownPrivilegeEnablesItInTheToken) {
    EXPECT_TRUE(kx::EnableShutdownPrivilege());
    EXPECT_TRUE(ShutdownPrivilegeEnabled());
}

TEST(Platform, FamilyAsConfigured) {
    ASSERT_FALSE(gExpectFamily.empty()) << "run with --expect-family=win98|winxp";
    EXPECT_EQ(kx::IsNTFamily(), gExpectFamily == "winxp");
}

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--expect-family=", 16) == 0) gExpectFamily = argv[i] + 16;
    kx::TScopedComInit com;
    return RUN_ALL_TESTS();
}
