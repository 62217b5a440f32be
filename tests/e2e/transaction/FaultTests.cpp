// Faults from outside on the real setup under Wine, each followed by a snapshot
// of the machine compared with the one taken before: damaged payloads (first,
// middle and last entry), a full disk (a small file system under the target
// folder) at the first and at a later file, a destination held open, and a run
// killed half way through a package of thousands of files, then started again.
// First on a clean machine, then over an installed older version.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Snapshot.h"
#include "app/SetupControlIds.h"
#include "uninst/UnInstControlIds.h"
#include "tests/e2e/setup/SetupDriver.h"

#include <commctrl.h>

using namespace kx;
using namespace kxe2e;

namespace {

std::string gSetup, gOlderSetup, gManySetup, gManyDir, gPayloadDir;
std::string gDamaged[3];

// The small file system the harness mounts at C:\Acme Full.
const std::string kFullDisk = "C:\\Acme Full\\";
const std::string kFullTarget = kFullDisk + "Tool\\";
const std::string kManyTarget = "C:\\Program Files\\Velmora\\AcmeMany\\";

// The text of the run's language.
std::string Text(const char* gb, const char* big5, const char* en) {
    const int lang = CodePageLang();
    return lang == 0 ? gb : lang == 1 ? big5 : en;
}

std::string PackageDamagedText() {
    return Text("\xB0\xB2\xD7\xB0\xB0\xFC\xD2\xD1\xCB\xF0\xBB\xB5\xA3\xAC\xCE\xDE\xB7\xA8\xB0\xB2\xD7\xB0\xA1\xA3\xC7\xEB"
                "\xD6\xD8\xD0\xC2\xCF\xC2\xD4\xD8\xA1\xA3",
                "\xA6w\xB8\xCB\xAEM\xA5\xF3\xA4w\xB7l\xC3" "a\xA1" "A\xB5L\xAAk\xA6w\xB8\xCB\xA1" "C\xBD\xD0\xAD\xAB\xB7s\xA4U\xB8\xFC\xA1" "C",
                "The setup package is damaged and cannot be installed. Please download it again.");
}

// Message 43 with the group name.
std::string RecoveredText(const std::string& group) {
    std::string text = Text("%s \xB5\xC4\xC9\xCF\xD2\xBB\xB4\xCE\xB0\xB2\xD7\xB0\xB1\xBB\xD6\xD0\xB6\xCF\xA1\xA3\xCB\xFC"
                            "\xCB\xF9\xD7\xF6\xB5\xC4\xB8\xFC\xB8\xC4\xD2\xD1\xC8\xAB\xB2\xBF\xB3\xB7\xCF\xFA\xA1\xA3",
                            "%s \xAA\xBA\xA4W\xA4@\xA6\xB8\xA6w\xB8\xCB\xB3Q\xA4\xA4\xC2_\xA1" "C\xA5\xA6\xA9\xD2\xB0\xB5\xAA"
                            "\xBA\xC5\xDC\xA7\xF3\xA4w\xA5\xFE\xB3\xA1\xB4_\xAD\xEC\xA1" "C",
                            "An earlier installation of %s was interrupted. Everything it had changed has been put back.");
    return text.replace(text.find("%s"), 2, group);
}

std::string Success() {
    return Text("\xB0\xB2\xD7\xB0\xCD\xEA\xB3\xC9\xA3\xA1", "\xB8\xCB\xB3]\xA7\xB9\xA6\xA8", "Install successfuly!");
}


std::uint64_t FileSizeOf(const std::string& path) { return ReadFileBytes(path).size(); }

void ExpectUnchanged(const TSnapshot& before, const char* what) {
    const std::vector<std::string> diff = SnapshotDiff(before, TakeSnapshot());
    std::string text;
    for (std::size_t i = 0; i < diff.size() && i < 40; ++i) text += diff[i] + "\n";
    EXPECT_TRUE(diff.empty()) << what << ": " << diff.size() << " differences\n" << text;
}

void CloseStartedWindows() {
    for (int t = 0; t < 3000; t += 100) {
        if (HWND ui = FindWindowA("TAcmeMainWindow", nullptr)) {
            PostMessageA(ui, WM_CLOSE, 0, 0);
            break;
        }
        Sleep(100);
    }
    for (HWND w; (w = FindWindowA("ExplorerWClass", nullptr)) != nullptr;)
        if (!SendMessageTimeoutA(w, WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, nullptr) || IsWindow(w)) break;
    for (int t = 0; t < 10000 && FindWindowA("TAcmeMainWindow", nullptr); t += 100) Sleep(100);
}

// A started setup on its Ready page with dir typed.
std::unique_ptr<TSetupProcess> ToReady(const std::string& exe, const std::string& dir) {
    auto p = std::make_unique<TSetupProcess>(exe);
    EXPECT_TRUE(p->WaitForForm(30000));
    p->Click(idBtnCancel);
    p->Click(idBtnNext);
    p->Type(idEdtInstallPath, dir);
    p->Click(idBtnNext);
    EXPECT_EQ(p->Page(), 3);
    return p;
}

// Installs completely: the restart question answered No, the final message OK.
void InstallCompletely(const std::string& exe, const std::string& dir) {
    auto p = ToReady(exe, dir);
    p->ClickAsync(idBtnNext);
    for (HWND box; (box = p->WaitForBox(600000)) != nullptr;) {
        if (GetDlgItem(box, IDNO)) {
            p->Answer(box, IDNO);
            continue;
        }
        EXPECT_EQ(TSetupProcess::BoxText(box), Success());
        p->Answer(box, IDOK);
        break;
    }
    EXPECT_TRUE(p->WaitForExit(20000));
    CloseStartedWindows();
}

// Installs the package of many files and kills the setup once it is well
// into them; false when it never got that far.
bool KillManyHalfWay() {
    auto p = ToReady(gManySetup, kManyTarget);
    p->ClickAsync(idBtnNext);
    for (int t = 0; t < 300000; t += 20) {
        if (SendMessageA(p->Control(idProgressBar), PBM_GETPOS, 0, 0) >= 40) {
            p->Kill();
            return true;
        }
        Sleep(20);
    }
    return false;
}

// Presses Install and answers the error that ends the run; its text.
std::string FailingInstall(TSetupProcess& p) {
    p.ClickAsync(idBtnNext);
    HWND box = p.WaitForBox(600000);
    if (!box) return "<no message>";
    const std::string text = TSetupProcess::BoxText(box);
    p.Answer(box, IDOK);
    return text;
}

// Fills the small disk until freeBytes are left.
void LeaveFree(std::uint64_t freeBytes) {
    const std::string filler = kFullDisk + "filler.bin";
    DeleteFileA(filler.c_str());
    ULARGE_INTEGER avail{}, total{}, free{};
    ASSERT_TRUE(GetDiskFreeSpaceExA(kFullDisk.c_str(), &avail, &total, &free));
    ASSERT_GT(avail.QuadPart, freeBytes + 65536) << "the harness mounts a file system at " << kFullDisk;
    HANDLE h = CreateFileA(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::string chunk(65536, 'f');
    for (std::uint64_t left = avail.QuadPart - freeBytes; left > 0;) {
        const DWORD n = static_cast<DWORD>(left < chunk.size() ? left : chunk.size());
        DWORD written = 0;
        if (!WriteFile(h, chunk.data(), n, &written, nullptr) || written == 0) break;
        left -= written;
    }
    CloseHandle(h);
}

void RemoveFiller() { DeleteFileA((kFullDisk + "filler.bin").c_str()); }

std::string GroupOfMany() { return "Many Files"; }

// Each damaged setup refuses to start: its message, 1603, nothing changed.
void ExpectDamagedSetupsRefused(const char* when) {
    for (const std::string& exe : gDamaged) {
        SCOPED_TRACE(exe);
        const TSnapshot before = TakeSnapshot();
        TSetupProcess p(exe);
        HWND box = p.WaitForBox(30000);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(TSetupProcess::BoxText(box), PackageDamagedText());
        p.Answer(box, IDOK);
        DWORD code = 0;
        ASSERT_TRUE(p.WaitForExit(10000, &code));
        EXPECT_EQ(code, 1603u);
        ExpectUnchanged(before, when);
    }
}

// The disk fills at the first file, then at a later one: the run names the
// file and leaves the machine as it was.
void ExpectFullDiskUndone(const char* when) {
    const std::uint64_t first = FileSizeOf(WinPath(gPayloadDir + "/acmeui.exe"));
    for (std::uint64_t free : {first - 16384, first + 32768}) {
        SCOPED_TRACE(std::to_string(free) + " bytes free");
        LeaveFree(free);
        const TSnapshot before = TakeSnapshot();
        auto p = ToReady(gSetup, kFullTarget);
        const std::string error = FailingInstall(*p);
        EXPECT_NE(error.find(kFullTarget + (free < first ? "acmeui.exe" : "acmesvc.exe")), std::string::npos) << error;
        p->Close();
        EXPECT_TRUE(p->WaitForExit(10000));
        ExpectUnchanged(before, when);
        RemoveFiller();
    }
}

} // namespace

// ---------------------------------------------------------------- a clean machine

TEST(CleanMachine, DamagedPayloadFirstMiddleAndLastEntryAreRefusedAndChangeNothing) {
    ExpectDamagedSetupsRefused("damaged payload");
}

TEST(CleanMachine, FullDiskAtTheFirstAndAtALaterFileLeavesNothing) { ExpectFullDiskUndone("full disk"); }

TEST(CleanMachine, RunKilledHalfWayIsPutBackByTheNextStart) {
    const TSnapshot before = TakeSnapshot();
    ASSERT_TRUE(KillManyHalfWay());
    EXPECT_FALSE(SnapshotDiff(before, TakeSnapshot()).empty()) << "killed before it changed anything";
    TSetupProcess again(gManySetup);
    HWND box = again.WaitForBox(60000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TSetupProcess::BoxText(box), RecoveredText(GroupOfMany()));
    again.Answer(box, IDOK);
    ASSERT_TRUE(again.WaitForForm(30000)) << "after the message the wizard starts";
    again.Close();
    EXPECT_TRUE(again.WaitForExit(10000));
    ExpectUnchanged(before, "killed run, then the next start");
}

// One setup of a package at a time: a second Install while the first runs is
// told so, changes nothing, and may run once the first has ended.
TEST(CleanMachine, ASecondSetupOfThePackageWaitsForTheFirst) {
    auto second = ToReady(gManySetup, kManyTarget);
    auto first = ToReady(gManySetup, kManyTarget);
    first->ClickAsync(idBtnNext);
    for (int t = 0; t < 60000 && SendMessageA(first->Control(idProgressBar), PBM_GETPOS, 0, 0) < 5; t += 20) Sleep(20);
    second->ClickAsync(idBtnNext);
    HWND box = second->WaitForBox(60000);
    ASSERT_NE(box, nullptr);
    const std::string busy = Text("Many Files \xB5\xC4\xC1\xED\xD2\xBB\xB8\xF6\xB0\xB2\xD7\xB0\xBB\xF2\xD0\xB6\xD4\xD8\xB3"
                                  "\xCC\xD0\xF2\xD5\xFD\xD4\xDA\xD4\xCB\xD0\xD0\xA1\xA3\xC7\xEB\xB5\xC8\xCB\xFC\xBD\xE1\xCA\xF8"
                                  "\xBA\xF3\xD4\xD9\xCA\xD4\xA1\xA3",
                                  "", "Another setup or uninstall of Many Files is running. Wait until it has finished, then "
                                      "try again.");
    if (CodePageLang() != 1) {
        EXPECT_EQ(TSetupProcess::BoxText(box), busy);
    }
    second->Answer(box, IDOK);
    EXPECT_TRUE(second->Enabled(idBtnNext)) << "the second may try again";
    // The first ends as ever.
    if (HWND end = first->WaitForBox(600000)) first->Answer(end, IDOK);
    EXPECT_TRUE(first->WaitForExit(20000));
    CloseStartedWindows();
    second->Close();
    EXPECT_TRUE(second->WaitForExit(10000));
    EXPECT_EQ(ReadFileBytes(kManyTarget + "INSTFILE.LST").substr(0, kManyTarget.size() + 10), kManyTarget + "f00000.dat");
}

TEST(CleanMachine, ThousandsOfFilesAreInstalledWholeAndListed) {
    InstallCompletely(gManySetup, kManyTarget);
    std::string expected;
    int wrong = 0, count = 0;
    for (int i = 0;; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "f%05d.dat", i);
        const std::string source = ReadFileBytes(WinPath(gManyDir + "/" + name));
        if (source == "<missing>") break;
        ++count;
        if (ReadFileBytes(kManyTarget + name) != source) ++wrong;
        expected += kManyTarget + name + "\r\n";
    }
    EXPECT_GE(count, 1000);
    EXPECT_EQ(wrong, 0);
    expected += kManyTarget + "UnInst.Ini\r\n" + kManyTarget + "INSTFILE.LST\r\n";
    EXPECT_TRUE(ReadFileBytes(kManyTarget + "INSTFILE.LST") == expected);
}

// With the package installed (above), a second run of it killed half way, and
// then the uninstaller started instead of the setup: it puts back what the run
// changed before it reads the records, says so, and offers to remove what was
// installed before.
TEST(CleanMachine, RerunKilledHalfWayIsPutBackByTheUninstaller) {
    ASSERT_NE(ReadFileBytes(kManyTarget + "INSTFILE.LST"), "<missing>") << "needs the package installed";
    const TSnapshot before = TakeSnapshot();
    ASSERT_TRUE(KillManyHalfWay());
    EXPECT_FALSE(SnapshotDiff(before, TakeSnapshot()).empty()) << "killed before it changed anything";
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    TSetupProcess first(std::string(windows) + "\\kxUnInst.exe",
                        {}, "\"" + kManyTarget.substr(0, kManyTarget.size() - 1) + "\"");
    HWND box = first.WaitForBox(60000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TSetupProcess::BoxText(box), RecoveredText(GroupOfMany()));
    // Put back by now; what the uninstaller does next (its private copy) is its own.
    ExpectUnchanged(before, "killed rerun, then the uninstaller");
    first.Answer(box, IDOK);
    std::unique_ptr<TSetupProcess> form = TSetupProcess::Attach(kUnInstFormClass, 30000);
    ASSERT_NE(form, nullptr) << "the uninstaller goes on to its window";
    form->Close();
    EXPECT_TRUE(form->WaitForExit(10000));
}

// ---------------------------------------------------------------- over an older version

class OverOlder : public testing::Test {
protected:
    static void SetUpTestSuite() { InstallCompletely(gOlderSetup, kFullTarget); }
};

TEST_F(OverOlder, DamagedPayloadsAreRefusedAndTheOlderVersionStays) {
    ExpectDamagedSetupsRefused("damaged payload over an older version");
}

TEST_F(OverOlder, DestinationHeldOpenEndsTheRunAndTheOlderVersionStays) {
    const TSnapshot before = TakeSnapshot();
    HANDLE held = CreateFileA((kFullTarget + "readme.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    auto p = ToReady(gSetup, kFullTarget);
    const std::string error = FailingInstall(*p);
    EXPECT_NE(error.find(kFullTarget + "readme.txt"), std::string::npos) << error;
    p->Close();
    EXPECT_TRUE(p->WaitForExit(10000));
    CloseHandle(held);
    ExpectUnchanged(before, "held file over an older version");
}

TEST_F(OverOlder, FullDiskAtTheFirstAndAtALaterFileAndTheOlderVersionStays) {
    ExpectFullDiskUndone("full disk over an older version");
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    TakeOptions(argc, argv, {
        {"--setup=", &gSetup},
        {"--older-setup=", &gOlderSetup},
        {"--many-setup=", &gManySetup},
        {"--many-files=", &gManyDir},
        {"--payload=", &gPayloadDir},
        {"--damaged-first=", &gDamaged[0]},
        {"--damaged-middle=", &gDamaged[1]},
        {"--damaged-last=", &gDamaged[2]},
    });
    return RUN_ALL_TESTS();
}
