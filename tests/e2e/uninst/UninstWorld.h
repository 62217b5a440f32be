// The world the uninstaller's end-to-end tests work in: a prefix's files and
// registry read and written directly, snapshots of both, and installations laid
// out as the setup records them, without running the setup.
#pragma once
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sys/Win32.h"

namespace kxe2e {

class TSetupProcess;

// The programs and folders the command line names.
extern std::string gUninst, gTestSvc, gAcmeUi, gArtifacts, gDemoSetup, gSecondSetup;

// A screenshot of the form, "uninst-<language>-<what>.bmp" in the artefacts folder.
void Shot(TSetupProcess& p, const std::string& what);

enum TLang { gb = 0, big5 = 1, english = 2 };
TLang ActiveLang();
const char* LangName();
// A catalogue message in the active language, from the bytes the language tests expect.
std::string Msg(unsigned number);
std::string Msg(unsigned number, const std::string& arg);

bool Exists(const std::string& path);
void WriteText(const std::string& path, const std::string& text);
std::string ReadText(const std::string& path);
// Creates a folder with its missing parents; each one made is added to created (with a trailing backslash).
void MakeDirs(const std::string& dir, std::vector<std::string>* created = nullptr);
// Removes a folder with everything in it.
void RemoveTree(const std::string& dir);

std::string RegText(HKEY root, const std::string& key, const std::string& value);
std::optional<std::uint32_t> RegDword(HKEY root, const std::string& key, const std::string& value);
bool RegKeyExists(HKEY root, const std::string& key);
void RegSetText(HKEY root, const std::string& key, const std::string& value, const std::string& data);
void RegSetDword(HKEY root, const std::string& key, const std::string& value, std::uint32_t data);
void RegDeleteTree(HKEY root, const std::string& key);

// Runs a command line and waits for it; its exit code, or -1 when it did not start or end.
long RunWait(const std::string& commandLine, int timeoutMs = 30000);
// Runs a command line and returns what it wrote to its standard output.
std::string RunCapture(const std::string& commandLine, int timeoutMs = 30000);
// What waits for the next start: the NT family's delayed moves and WinInit.ini's lines.
std::string PendingDeletes();
// Carries out what waits for the next start, as a restart would.
void Restart();

// The files under C:\ (temporary folders, WinInit.ini and the profile's links to
// the Unix home left out) and the keys and values under HKLM\Software and the
// services' key, one text per item. Software\Classes, four fifths of the keys
// and nothing an installation of ours touches, only when asked for.
using TSnapshot = std::set<std::string>;
TSnapshot TakeSnapshot(bool withClasses = false);
// "+item" for what only after has, "-item" for what only before has.
std::vector<std::string> SnapshotDiff(const TSnapshot& before, const TSnapshot& after);

// One installation as the setup leaves it: files, the program group, the
// uninstall entry with its records, an AutoReg value, a shared DLL, copies of
// the uninstaller in the target and Windows folders, and optionally the
// package's own service and its running application.
struct TFakeOptions {
    std::string Name = "KxTest";  // the entry's key and the target folder's name
    std::string GroupName;        // default: a name in the active language
    bool Service = false;         // KxTestSvc from the target folder, registered and running
    bool Application = false;     // app.exe, whose window has the class TAcmeMainWindow
    bool SharedDll = true;        // kxshared.dll in the system folder, counted in SharedDLLs
};

class TFakeInstall {
public:
    TFakeInstall(const TFakeOptions& options, const std::string& uninstaller, const std::string& serviceProgram,
                 const std::string& applicationProgram);

    std::string Dir;        // the target folder, with a trailing backslash
    std::string RegKey;     // the uninstall entry, under HKLM
    std::string GroupDir;   // the program group, with a trailing backslash
    std::string GroupName, DisplayName;
    std::string SharedDll;  // in the system folder
    std::string WindowsCopy;
    std::vector<std::string> Files;       // the package's files (INSTFILE.LST without its two closing lines)
    std::vector<std::string> Shortcuts;
    std::vector<std::string> CreatedDirs;

    std::string TargetUninstaller() const { return Dir + "kxUnInst.Exe"; }
    // Rewrites INSTFILE.LST as the setup writes it: the package's files, extra
    // lines, then the two closing lines; the entry keeps its new digest.
    void WriteList(const std::vector<std::string>& extraLines = {});
    // Rewrites UnInst.Ini as the setup writes it, with the entry's digest.
    void WriteIni(const std::string& text);
    // Takes away what is left of it, whatever a test did.
    void Remove();

private:
    TFakeOptions FOptions;
};

extern const char kSharedDllsKey[];
extern const char kUninstallKey[];

} // namespace kxe2e
