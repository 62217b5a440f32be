// Registration and finish: uninstaller, program group, uninstall entry and the
// uninstaller's records, service, restart or the program's start.
#include "app/Registration.h"

#include "app/CopyStep.h"
#include "app/RegistrationRules.h"
#include "app/untSetupFM.h"
#include "base/Exception.h"
#include "base/Format.h"
#include "base/Text.h"
#include "lang/kxSetupLan.h"
#include "lang/kxSetupLanConst.h"
#include "sys/FileVersion.h"
#include "sys/Files.h"
#include "sys/Paths.h"
#include "sys/Process.h"
#include "sys/Registry.h"
#include "sys/Resources.h"
#include "sys/ServiceControl.h"
#include "sys/ServiceState.h"
#include "sys/SysError.h"
#include "sys/untSetupUtils.h"

namespace kx {

namespace {

const char kUninstallerResource[] = "UNINST";
const char kResourceType[] = "KXFILE";
const char kSharedDllsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

std::string UninstallerPath(const TSetupFM& form) { return form.FInstallDir + "kxUnInst.Exe"; }
std::string WindowsUninstallerPath() { return GetWindowsPath() + "kxUnInst.exe"; }

// A message box of the wizard, with the wizard's caption.
int ShowBox(const TSetupFM& form, const std::string& text, UINT flags) {
    char caption[1024] = {};
    GetWindowTextA(form.Handle(), caption, sizeof caption);
    return MessageBoxA(form.Handle(), text.c_str(), caption, flags);
}

// A numbered record list under the open uninstall key ("<prefix>0", "<prefix>1",
// ... up to the first missing number): what an earlier run of this package left
// there, and new items appended at the next number as they happen, so that a run
// that fails half way still leaves the records of what it did.
class TRecordList {
public:
    TRecordList(TRegistry& key, const char* prefix) : FKey(key), FPrefix(prefix) {
        for (;;) {
            const std::string name = ValueName(FItems.size());
            if (!FKey.ValueExists(name)) break;
            FItems.push_back(FKey.ReadString(name));
        }
    }
    bool Holds(const std::string& item) const {
        for (const std::string& s : FItems)
            if (SameText(s, item)) return true;
        return false;
    }
    void Add(const std::string& item) {
        if (AddRecord(FItems, item)) FKey.WriteString(ValueName(FItems.size() - 1), item);
    }
    void AddAll(const std::vector<std::string>& items) {
        for (const std::string& item : items) Add(item);
    }

private:
    std::string ValueName(std::size_t n) const { return Format("%s%d", FPrefix, n); }

    TRegistry& FKey;
    std::string FPrefix;
    std::vector<std::string> FItems;
};

// Adds this installation to the SharedDLLs count of each file it placed in the
// system or shared folder, once per installation.
void CountSharedFiles(const TSetupFM& form, TRecordList& counted) {
    TRegistry shared;
    bool opened = false;
    for (const TPlacedFile& file : SharedFilesOf(form.FPlacedFiles)) {
        if (counted.Holds(file.Path)) continue;
        if (!opened) opened = shared.OpenKey(kSharedDllsKey, true);
        shared.WriteInteger(file.Path, NextSharedCount(shared.ReadInteger(file.Path), file.Existed));
        counted.Add(file.Path);
    }
}

} // namespace

void WriteUninstaller(TSetupFM& form) {
    const std::string uninstaller = UninstallerPath(form);
    ExtractResourceToFile(kUninstallerResource, kResourceType, uninstaller);
    SaveStringToFile(form.FInstallDir + "UnInst.Ini", BuildUnInstIni(form));

    // The registered uninstall command names the Windows directory's copy, which
    // other packages' setups share: a newer one stays, an equal one is not rewritten.
    const std::string windowsCopy = WindowsUninstallerPath();
    if (FileExists(windowsCopy)) {
        if (!MayReplaceByVersion(FixedFileVersion(ReadVersionResource(uninstaller)),
                                 FixedFileVersion(ReadVersionResource(windowsCopy))))
            return;
        if (LoadFileToString(windowsCopy) == LoadResourceBytes(kUninstallerResource, kResourceType)) return;
        FileSetAttr(windowsCopy, 0);
    }
    ExtractResourceToFile(kUninstallerResource, kResourceType, windowsCopy);
}

void CreateProgramGroup(TSetupFM& form) {
    const std::string group = GetProgramGroupPath(form.FGrpName);
    auto makeFolder = [&form](const std::string& folder) {
        std::vector<std::string> made;
        MakeDirPath(folder, made);
        AddCreatedDirs(form.FCreatedDirs, made);
    };
    makeFolder(group);
    // Without a group name the "group" is the Start menu's programs folder itself,
    // which is nobody's to remove.
    form.FGroupDir = form.FGrpName.empty() ? std::string() : group;
    form.FShortcuts.clear();
    form.AddProgressLine(GetSetupMsg(msgCreateGroup));

    auto shortcut = [&form](const std::string& target, const std::string& title, const std::string& folder) {
        const std::string link = folder + title + ".Lnk";
        if (CreateShortcut(target, title, link)) form.FShortcuts.push_back(link);
    };
    for (const TShortcutPlan& plan : SelectShortcuts(form, ActiveCodePage())) {
        std::string folder = group;
        if (!plan.SubFolder.empty()) {
            folder += plan.SubFolder + "\\";
            makeFolder(folder);
        }
        shortcut(form.FInstallDir + plan.File, plan.Title, folder);
    }
    if (form.FUnInst)
        shortcut(form.FInstallDir + "kxUnInst.EXE", Format(GetSetupMsg(msgUninstShortcut), form.FGrpName), group);
    ShellOpen(group, "", form.Handle());
}

void RegisterUninstall(TSetupFM& form) {
    const std::string uninstaller = UninstallerPath(form);
    TRegistry entry;
    entry.OpenKey(form.FRegKey, true);
    entry.WriteString("DisplayName", form.FGrpName);
    entry.WriteString("UnInstallPath", form.FInstallDir);
    entry.WriteString("GrpName", form.FGrpName);
    entry.WriteString("UnInstallString", WindowsUninstallerPath());
    entry.WriteString("Publisher", form.FCompany);
    entry.WriteString("InstallLocation", form.FInstallDir);
    entry.WriteString("DisplayIcon", uninstaller);
    if (!form.FProductVersion.empty()) entry.WriteString("DisplayVersion", form.FProductVersion);
    const std::int64_t uninstallerSize = FileSize(uninstaller);
    entry.WriteInteger("EstimatedSize",
                       EstimatedSizeKiB(form.FPlacedFiles, static_cast<std::uint64_t>(
                                                               uninstallerSize > 0 ? uninstallerSize : 0)));
    entry.WriteInteger("NoModify", 1);
    entry.WriteInteger("NoRepair", 1);

    TRecordList(entry, kRecCreatedDir).AddAll(form.FCreatedDirs);
    TRecordList(entry, kRecShortcut).AddAll(form.FShortcuts);
    if (!form.FGroupDir.empty()) entry.WriteString(kRecGroupDir, form.FGroupDir);

    TRecordList values(entry, kRecRegValue), keys(entry, kRecRegKey);
    TRegistry autoReg;
    for (const TAutoRegValue& v : SelectAutoRegValues(form)) {
        std::vector<std::string> missing;
        for (const std::string& key : KeyPathChain(v.Key, ActiveCodePage()))
            if (!autoReg.KeyExists(key)) missing.push_back(key);
        if (autoReg.OpenKey(v.Key, true)) keys.AddAll(missing);
        autoReg.WriteString(v.Name, v.Data);
        autoReg.CloseKey();
        values.Add(v.Key + ";" + v.Name);
    }

    TRecordList shared(entry, kRecSharedFile);
    CountSharedFiles(form, shared);
}

void InstallService(TSetupFM& form) {
    if (form.FServiceName.empty()) return;
    const std::string current = GetServiceImagePath(form.FServiceName);
    if (!form.FServiceFile.empty()) form.FServiceFile = AbsoluteServiceFile(form.FInstallDir, form.FServiceFile);

    // A service that registered itself with its path in quotes (and perhaps
    // arguments after it) is the same program as the file we installed.
    const std::string currentProgram =
        ServiceProgramOf(current, [](const std::string& path) { return FileExists(path); });
    if (SameText(form.FServiceFile, currentProgram)) {
        StartService(form.FServiceName, 15);
        return;
    }
    if (!current.empty()) {
        if (FileExists(currentProgram)) {
            StopService(form.FServiceName, 45);
            RunAndWait(ExtractFilePath(currentProgram), QuotedCommand(currentProgram, "/uninstall /silent"));
        }
        DeleteServiceKey(form.FServiceName);
        return;
    }

    try {
        const std::string command = QuotedCommand(form.FServiceFile, "/install /silent");
        const TRunOutcome run = RunAndWaitFor(form.FInstallDir, command);
        if (!run.Started) throw Exception(command + "\r\n" + SysErrorMessage(run.Error));
        if (run.Ended && run.ExitCode != 0) throw Exception(command + "\r\n" + SysErrorMessage(run.ExitCode));
        ChangeServiceToAutoStart(form.FServiceName);
        if (!StartService(form.FServiceName, 15)) {
            const unsigned long reason = ServiceNotRunningReason(form.FServiceName);
            if (reason != 0) throw Exception(form.FServiceName + "\r\n" + SysErrorMessage(reason));
        }
    } catch (const std::exception& e) {
        form.HandleException(e);
    }
    Sleep(1000);
}

void FinishSetup(TSetupFM& form) { FinishSetupWith(form, &RestartSystem); }

void FinishSetupWith(TSetupFM& form, const std::function<void()>& restartSystem) {
    if (form.FNeedReboot) {
        if (ShowBox(form, GetSetupMsg(msgRestartQuestion), MB_YESNO | MB_ICONQUESTION) == IDYES) {
            // The form stays open with Install and Cancel enabled while Windows restarts.
            restartSystem();
            return;
        }
    } else if (!form.FAutoRun.empty()) {
        ShellOpen(form.FInstallDir + form.FAutoRun, form.FInstallDir, nullptr);
    }
    ShowBox(form, GetSetupMsg(msgInstallSuccess), MB_OK | MB_ICONINFORMATION);
    PostMessageA(form.Handle(), WM_CLOSE, 0, 0);
}

} // namespace kx
