// The demo package on the machine in memory.
#include "unit/app/RunWorld.h"

#include <fstream>
#include <gtest/gtest.h>

#include "app/CopyStep.h"
#include "app/MemIniFile.h"
#include "base/Exception.h"
#include "base/Text.h"
#include "sys/Paths.h"
#include "unit/archive/TestArchiveWriter.h"

namespace kxtest {

std::string DemoScript() {
    std::ifstream f(KX_SOURCE_DIR "/packages/acme/setup.ini", std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

TDemoFiles TDemoFiles::Version(int n) {
    const std::string v = std::to_string(n);
    TDemoFiles d;
    d.Files = {{"acmeui.exe", "MZ acme ui program, version " + v + "\r\n" + TextData(3000, 1 + n)},
               {"acmesvc.exe", "MZ acme service, version " + v + NoiseData(70000, 2 + n)},
               {"acmehook.dll", std::string("MZ hook \0\x01\x02 version ", 20) + v},
               {"readme.txt", "Read me first (version " + v + ").\r\n"},
               {"acmedisk.sys", "disk driver data " + v}};
    d.Uninstaller = "MZ uninstaller " + v;
    return d;
}

TRunWorld::TRunWorld() {
    M.ServicePrograms[kx::UpperCase(InstallDir() + "acmesvc.exe")] = {
        "AcmeSvc", TServiceConfig{"\"" + InstallDir() + "acmesvc.exe\"", "Acme Service", "LocalSystem", "", 0x10, 3, 1}};
    NewSetup(1);
}

void TRunWorld::NewSetup(int n) {
    F = kx::TSetupFields{};
    std::vector<std::string> names;
    kx::ReadSetupScript(kx::TMemIniFile(DemoScript()), 2, F, names);
    Checked.assign(names.size(), true);
    UseVersion(n);
    BeforeSetup = M.State;
    AcceptInstallDir();
    AtInstall = M.State;
}

void TRunWorld::SetPayload(const std::vector<std::pair<std::string, std::string>>& files, const std::string& damaged) {
    SegmentBuilder b{HeaderFields{}};
    for (const auto& [name, data] : files) b.AddFile(name, data, true, 44000.5, 0, name == damaged ? 0 : -1);
    Payload = b.Finish();
}

void TRunWorld::UseVersion(int n) {
    const TDemoFiles d = TDemoFiles::Version(n);
    SetPayload(d.Files);
    Uninstaller = d.Uninstaller;
}

void TRunWorld::AcceptInstallDir() {
    F.FInstallDir = InstallDir();
    for (const std::string& d : {TFakeMachine::Root() + "C/Program Files/Velmora/", InstallDir()}) {
        if (!M.State.Dirs.count(kx::UpperCase(kx::RemoveTrailingBackslash(d)))) {
            M.PutDir(d);
            F.FCreatedDirs.push_back(d);
        }
    }
    FPageFields = F;
}

void TRunWorld::Install() { Run(false); }
void TRunWorld::Copy() { Run(true); }

void TRunWorld::Run(bool copyOnly) {
    kx::TJournal journal(M, JournalPath(), F.FRegKey);
    kx::TRunUi ui;
    ui.AddLine = [this](const std::string& s) { Lines.push_back(s); };
    ui.SetProgress = [this](int p) {
        if (Percents.empty() || Percents.back() != p) Percents.push_back(p);
    };
    ui.ShowError = [this](const std::exception& e) { Shown.push_back(e.what()); };
    kx::TRunContext c{F, M, journal, Payload, Uninstaller, Checked, ui};
    const kx::TSetupFields saved = F;
    try {
        kx::BeginRun(c);
        if (copyOnly) {
            kx::ExtractFiles(c);
        } else {
            for (kx::TRunStep step : kx::RunSteps()) step(c);
        }
        journal.Commit();
    } catch (const TKilled&) {
        throw;
    } catch (const std::exception&) {
        LastUndo = journal.Rollback();
        F = saved;
        throw;
    }
}

std::string TRunWorld::FailingInstall() { return Failing(false); }
std::string TRunWorld::FailingCopy() { return Failing(true); }

std::string TRunWorld::Failing(bool copyOnly) {
    try {
        Run(copyOnly);
    } catch (const kx::Exception& e) {
        return e.Message();
    }
    ADD_FAILURE() << "the run succeeded";
    return std::string();
}

kx::TJournal::TRecovery TRunWorld::Recover() {
    M.Revive();
    F = FPageFields;
    return kx::TJournal::Recover(M, JournalPath(), F.FRegKey, LastUndo);
}

} // namespace kxtest
