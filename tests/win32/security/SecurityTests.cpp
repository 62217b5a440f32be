// The system layer's security under Wine: the protection of a created folder
// read back, private folders, the package's lock, a program started through the
// desktop's shell, and what Wine shows as a reparse point.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/InstallSafety.h"
#include "base/Text.h"
#include "sys/DesktopShell.h"
#include "sys/FileSecurity.h"
#include "sys/Files.h"
#include "sys/Handles.h"
#include "sys/NamedLock.h"
#include "sys/Paths.h"
#include "sys/Threads.h"
#include "sys/Win32.h"

#include <sddl.h>
#include <tlhelp32.h>

namespace {

std::string gExpectFamily;
// Built beside this program.
const std::string gProbe = kx::GetProgramPath() + "win_parent_probe.exe";

// ---------------------------------------------------------------- folder protection

struct TAce {
    int Type;
    int Flags;
    unsigned long Mask;
    std::string Sid;
    bool operator==(const TAce& o) const {
        return Type == o.Type && Flags == o.Flags && Mask == o.Mask && Sid == o.Sid;
    }
};

void PrintTo(const TAce& a, std::ostream* os) {
    *os << "{type " << a.Type << ", flags " << a.Flags << ", mask 0x" << std::hex << a.Mask << std::dec << ", "
        << a.Sid << "}";
}

struct TDacl {
    bool Present = false;
    bool Protected = false;
    std::vector<TAce> Entries;
};

TDacl ParseDescriptor(const void* sd) {
    TDacl d;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!GetSecurityDescriptorControl(const_cast<void*>(sd), &control, &revision)) return d;
    d.Protected = (control & SE_DACL_PROTECTED) != 0;
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    if (!GetSecurityDescriptorDacl(const_cast<void*>(sd), &present, &acl, &defaulted) || !present || !acl) return d;
    d.Present = true;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!GetAce(acl, i, reinterpret_cast<void**>(&ace))) break;
        char* text = nullptr;
        std::string sid = ConvertSidToStringSidA(&ace->SidStart, &text) ? text : "?";
        if (text) LocalFree(text);
        d.Entries.push_back({ace->Header.AceType, ace->Header.AceFlags, ace->Mask, sid});
    }
    return d;
}

TDacl ReadBack(const std::string& path) {
    std::vector<char> buf(4096);
    DWORD need = 0;
    if (!GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, buf.data(), static_cast<DWORD>(buf.size()), &need))
        return TDacl{};
    return ParseDescriptor(buf.data());
}

constexpr int kInherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
const TAce kAdminsFull{ACCESS_ALLOWED_ACE_TYPE, kInherit, 0x001F01FF, "S-1-5-32-544"};
const TAce kSystemFull{ACCESS_ALLOWED_ACE_TYPE, kInherit, 0x001F01FF, "S-1-5-18"};
const TAce kUsersReadRun{ACCESS_ALLOWED_ACE_TYPE, kInherit, 0x001200A9, "S-1-5-32-545"};

class FolderProtection : public testing::Test {
protected:
    void SetUp() override {
        if (gExpectFamily == "win98") GTEST_SKIP() << "the 9x family has no protection";
    }
};

TEST_F(FolderProtection, ProgramFilesProtectionGivesAdministratorsAndSystemAllAndUsersReadAndRun) {
    const std::string sd = kx::FolderSecurityDescriptor(kx::TFolderAccess::UsersReadExecute);
    ASSERT_FALSE(sd.empty());
    const TDacl d = ParseDescriptor(sd.data());
    EXPECT_TRUE(d.Present);
    EXPECT_TRUE(d.Protected) << "the entries of the folder above would let users write";
    EXPECT_EQ(d.Entries, (std::vector<TAce>{kAdminsFull, kSystemFull, kUsersReadRun}));
}

TEST_F(FolderProtection, PrivateFolderLetsInAdministratorsAndSystemOnly) {
    const TDacl d = ParseDescriptor(kx::FolderSecurityDescriptor(kx::TFolderAccess::AdminsOnly).data());
    EXPECT_TRUE(d.Protected);
    EXPECT_EQ(d.Entries, (std::vector<TAce>{kAdminsFull, kSystemFull}));
}

TEST_F(FolderProtection, CreatedFolderReadsBackProtectedWithWhatIsInside) {
    ASSERT_TRUE(kx::MakeDirPath("C:\\Acme\\Tool\\"));
    ASSERT_TRUE(kx::ProtectFolder("C:\\Acme\\")) << GetLastError();
    const TDacl top = ReadBack("C:\\Acme"), inside = ReadBack("C:\\Acme\\Tool");
    ASSERT_TRUE(top.Present);
    if (!top.Protected)
        GTEST_SKIP() << "this Wine keeps no security descriptors (built without extended attributes): "
                        "it shows the Unix permission bits instead, "
                     << testing::PrintToString(top.Entries);
    EXPECT_EQ(top.Entries, (std::vector<TAce>{kAdminsFull, kSystemFull, kUsersReadRun}));
    // What the folder held already took the same entries, as inherited ones.
    std::vector<TAce> inherited{kAdminsFull, kSystemFull, kUsersReadRun};
    for (TAce& a : inherited) a.Flags |= INHERITED_ACE;
    EXPECT_FALSE(inside.Protected);
    EXPECT_EQ(inside.Entries, inherited);
}

TEST(FolderProtection9x, NothingToSetOnTheNinetyFiveFamily) {
    if (gExpectFamily != "win98") GTEST_SKIP() << "the NT family has protection";
    ASSERT_TRUE(kx::MakeDirPath("C:\\Acme98\\"));
    EXPECT_EQ(kx::FolderSecurityDescriptor(kx::TFolderAccess::UsersReadExecute), "");
    EXPECT_FALSE(kx::ProtectFolder("C:\\Acme98\\"));
    EXPECT_TRUE(kx::DirectoryExists("C:\\Acme98"));
}

// ---------------------------------------------------------------- private folders

TEST(PrivateFolder, NamesTakenByAnythingArePassedOverAndTheNewFolderIsEmpty) {
    ASSERT_TRUE(kx::MakeDirPath("C:\\kxpriv\\taken-dir\\"));
    kx::SaveStringToFile("C:\\kxpriv\\taken-file", "x");
    // A DLL planted in a folder of the name that was to come.
    ASSERT_TRUE(kx::MakeDirPath("C:\\kxpriv\\planted\\"));
    kx::SaveStringToFile("C:\\kxpriv\\planted\\version.dll", "MZ");
    std::vector<std::string> names{"taken-dir", "taken-file", "planted", "fresh"};
    std::size_t next = 0;
    const std::string made = kx::CreatePrivateFolder("C:\\kxpriv", [&] { return names.at(next++); });
    EXPECT_EQ(made, "C:\\kxpriv\\fresh\\");
    EXPECT_EQ(next, 4u);
    EXPECT_TRUE(kx::DirectoryExists("C:\\kxpriv\\fresh"));
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA("C:\\kxpriv\\fresh\\*", &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    int entries = 0;
    do
        entries += std::strcmp(fd.cFileName, ".") != 0 && std::strcmp(fd.cFileName, "..") != 0;
    while (FindNextFileA(h, &fd));
    FindClose(h);
    EXPECT_EQ(entries, 0);
    EXPECT_EQ(kx::LoadFileToString("C:\\kxpriv\\planted\\version.dll"), "MZ");
}

TEST(PrivateFolder, RandomNamesAreNewEachTimeWithThePrefix) {
    ASSERT_TRUE(kx::MakeDirPath("C:\\kxpriv2\\"));
    const std::string a = kx::CreatePrivateFolder("C:\\kxpriv2\\", "kxUn");
    const std::string b = kx::CreatePrivateFolder("C:\\kxpriv2\\", "kxUn");
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());
    EXPECT_NE(a, b);
    for (const std::string& d : {a, b}) {
        // "C:\kxpriv2\" + "kxUn" + eight hexadecimal digits + "\"
        ASSERT_EQ(d.size(), 11u + 4 + 8 + 1) << d;
        EXPECT_EQ(d.substr(0, 15), "C:\\kxpriv2\\kxUn");
        EXPECT_EQ(d.find_first_not_of("0123456789ABCDEF", 15), 23u) << d;
        EXPECT_TRUE(kx::DirectoryExists(d));
    }
}

TEST(PrivateFolder, AMissingParentEndsTheAttemptAtOnce) {
    int asked = 0;
    EXPECT_EQ(kx::CreatePrivateFolder("C:\\kx-no-such-parent\\", [&] { return "n" + std::to_string(++asked); }), "");
    EXPECT_EQ(asked, 1);
}

// ---------------------------------------------------------------- the package's lock

TEST(NamedLock, OneHolderAtATime) {
    kx::TNamedLock lock;
    ASSERT_TRUE(lock.TryAcquire("kxSetup-Test-0000ABCD"));
    bool otherGot = true, otherSawTaken = false;
    // A mutex belongs to a thread: another thread stands for another process.
    kx::TThread([&] {
        kx::TNamedLock other;
        otherGot = other.TryAcquire("kxSetup-Test-0000ABCD");
        otherSawTaken = kx::NamedLockIsTaken("kxSetup-Test-0000ABCD");
    }).Join();
    EXPECT_FALSE(otherGot);
    EXPECT_TRUE(otherSawTaken);
    lock.Release();
    kx::TThread([&] {
        kx::TNamedLock other;
        otherGot = other.TryAcquire("kxSetup-Test-0000ABCD");
    }).Join();
    EXPECT_TRUE(otherGot);
}

TEST(NamedLock, AHolderThatEndedWithoutLettingGoLeavesItFree) {
    kx::TThread([] {
        auto* leaked = new kx::TNamedLock; // never released: its thread ends holding it
        ASSERT_TRUE(leaked->TryAcquire("kxSetup-Test-Abandoned"));
    }).Join();
    kx::TNamedLock lock;
    EXPECT_TRUE(lock.TryAcquire("kxSetup-Test-Abandoned"));
}

// ---------------------------------------------------------------- the desktop's shell

std::string ProcessName(DWORD pid) {
    std::string name;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return name;
    PROCESSENTRY32 pe{};
    pe.dwSize = sizeof pe;
    for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe))
        if (pe.th32ProcessID == pid) name = pe.szExeFile;
    CloseHandle(snap);
    return name;
}

// What the probe wrote: its parent's process id and its working directory.
bool RunProbe(const std::string& dir, const std::function<bool()>& start, DWORD& parent, std::string& cwd) {
    kx::MakeDirPath(dir);
    if (!CopyFileA(gProbe.c_str(), (dir + "probe.exe").c_str(), FALSE)) return false;
    if (!start()) return false;
    for (int i = 0; i < 200 && !kx::FileExists(dir + "probe.txt"); ++i) Sleep(100);
    Sleep(200);
    const std::string text = kx::FileExists(dir + "probe.txt") ? kx::LoadFileToString(dir + "probe.txt") : "";
    const std::size_t eol = text.find("\r\n");
    if (eol == std::string::npos) return false;
    parent = std::strtoul(text.c_str(), nullptr, 10);
    cwd = text.substr(eol + 2, text.find("\r\n", eol + 2) - eol - 2);
    return true;
}

class DesktopShell : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kx::FileExists(gProbe)) << gProbe;
        // A window of this process makes sure the desktop and its Explorer run.
        Window = CreateWindowExA(0, "STATIC", "kx", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    }
    void TearDown() override {
        if (Window) DestroyWindow(Window);
    }
    HWND Window = nullptr;
};

TEST_F(DesktopShell, TheDesktopsExplorerStartsTheProgramWithItsRights) {
    DWORD parent = 0;
    std::string cwd;
    const std::string dir = "C:\\Program Files\\kx probe\\";
    ASSERT_TRUE(RunProbe(dir, [&] { return kx::OpenThroughDesktopShell(dir + "probe.exe", dir); }, parent, cwd));
    EXPECT_NE(parent, GetCurrentProcessId());
    EXPECT_TRUE(kx::SameText(ProcessName(parent), "explorer.exe")) << ProcessName(parent);
    EXPECT_TRUE(kx::SameText(cwd, "C:\\Program Files\\kx probe")) << cwd;
}

TEST_F(DesktopShell, WithoutElevationTheProgramIsOpenedDirectly) {
    if (kx::IsElevatedProcess()) GTEST_SKIP() << "this process is elevated";
    DWORD parent = 0;
    std::string cwd;
    const std::string dir = "C:\\kxprobe2\\";
    ASSERT_TRUE(RunProbe(dir, [&] { return kx::OpenAsDesktopUser(dir + "probe.exe", dir); }, parent, cwd));
    EXPECT_EQ(parent, GetCurrentProcessId());
    EXPECT_TRUE(kx::SameText(cwd, "C:\\kxprobe2")) << cwd;
}

// ---------------------------------------------------------------- reparse points

// Wine shows a Unix symbolic link to a folder as a folder that is a reparse
// point, as Windows shows a junction; the rule finds it among a path's components.
TEST(ReparsePoint, ALinkedFolderInsideTheTargetIsFound) {
    const char* prefix = std::getenv("KX_PREFIX");
    if (!prefix || gExpectFamily == "win98") GTEST_SKIP() << "needs the Unix side of the prefix (KX_PREFIX)";
    ASSERT_TRUE(kx::MakeDirPath("C:\\Acme2\\"));
    ASSERT_TRUE(kx::MakeDirPath("C:\\KxVictim\\"));
    kx::SaveStringToFile("C:\\KxVictim\\info.dat", "keep");
    const std::string cmd = std::string("/bin/ln -s ") + prefix + "/drive_c/KxVictim " + prefix + "/drive_c/Acme2/data";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string line = cmd;
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    // The link is made by a Unix process, which Wine does not wait for.
    std::int32_t attr = -1;
    for (int i = 0; i < 50 && attr == -1; ++i, Sleep(100)) attr = kx::FileGetAttr("C:\\Acme2\\data");
    ASSERT_NE(attr, -1);
    EXPECT_NE(attr & FILE_ATTRIBUTE_REPARSE_POINT, 0);
    const auto attributes = [](const std::string& p) -> std::optional<std::uint32_t> {
        const std::int32_t a = kx::FileGetAttr(p);
        if (a == -1) return std::nullopt;
        return static_cast<std::uint32_t>(a);
    };
    EXPECT_EQ(kx::FirstReparsePoint("C:\\Acme2\\data\\info.dat", "C:\\Acme2\\", attributes, GetACP()), "C:\\Acme2\\data");
    EXPECT_EQ(kx::FirstReparsePoint("C:\\KxVictim\\info.dat", "C:\\KxVictim\\", attributes, GetACP()), "");
}

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--expect-family=", 16) == 0) gExpectFamily = argv[i] + 16;
    }
    kx::TScopedComInit com;
    return RUN_ALL_TESTS();
}
