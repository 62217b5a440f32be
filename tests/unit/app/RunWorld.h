// The demo package ("Acme Tool": its real install script) on a machine in
// memory: the fields as the wizard has them on its last page, a payload laid
// out by the independent test writer, and the run as the setup's Install button
// drives it, with its rollback.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "app/InstallRun.h"
#include "app/Journal.h"
#include "app/PackageId.h"
#include "app/SetupScript.h"
#include "unit/app/FakeMachine.h"

namespace kxtest {

// The bytes of the demo's files in one version of the package.
struct TDemoFiles {
    std::vector<std::pair<std::string, std::string>> Files; // stored name, bytes
    std::string Uninstaller;
    static TDemoFiles Version(int n);
};

class TRunWorld {
public:
    TRunWorld();

    TFakeMachine M;
    kx::TSetupFields F;
    std::string Payload;
    std::string Uninstaller;
    std::vector<bool> Checked{true, true};
    std::vector<std::string> Lines;
    std::vector<int> Percents;
    std::vector<std::string> Shown; // errors shown while the run went on
    // The machine when the setup started (before the directory page made the target folder).
    TMachineState BeforeSetup;
    // The machine on the last page, when Install is pressed.
    TMachineState AtInstall;

    std::string InstallDir() const { return TFakeMachine::Root() + "C/Program Files/Velmora/AcmeTool/"; }
    std::string SystemDir() { return M.SystemDir(); }
    std::string JournalPath() { return M.WindowsDir() + kx::JournalFileName(F.FRegKey); }

    // The payload of files (the entry named damaged gets one flipped byte in its block).
    void SetPayload(const std::vector<std::pair<std::string, std::string>>& files, const std::string& damaged = "");
    void UseVersion(int n);
    // A new start of the setup of version n on the same machine, at its last page.
    void NewSetup(int n);
    // What the directory page does on Next: the target folder made and recorded.
    void AcceptInstallDir();

    // BeginRun, every step and the commit, as Install runs them. On a failure the
    // journal is rolled back (as the setup does before it shows the error) and
    // the error raised again; a stop of the process (TKilled) goes through.
    void Install();
    // The error text of an install that must fail (empty, and a test failure, when it succeeds).
    std::string FailingInstall();
    // Only the beginning and the copy step, then the commit (or the rollback).
    void Copy();
    std::string FailingCopy();
    // What the next start of a setup does with a journal the run left.
    kx::TJournal::TRecovery Recover();
    kx::TUndoOutcome LastUndo;

private:
    void Run(bool copyOnly);
    std::string Failing(bool copyOnly);
    kx::TSetupFields FPageFields;
};

// The demo script's text (packages/acme/setup.ini).
std::string DemoScript();

} // namespace kxtest
