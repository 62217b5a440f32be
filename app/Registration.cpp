// Registration: uninstaller, program group, uninstall entry and the
// uninstaller's records, service; each change through the journal.
#include "app/Registration.h"

#include "app/CopyStep.h"
#include "app/RegistrationRules.h"
#include "base/Exception.h"
#include "base/Format.h"
#include "base/Text.h"
#include "lang/kxSetupLan.h"
#include "lang/kxSetupLanConst.h"
#include "sys/Files.h"
#include "sys/Paths.h"

namespace kx {

namespace {

const char kUninstallerName[] = "kxUnInst.Exe";

std::string UninstallerPath(const TSetupFields& f) { return f.FInstallDir + kUninstallerName; }
std::string WindowsUninstallerPath(TSetupSystem& s) { return s.WindowsDir() + "kxUnInst.exe"; }

bool IsFile(TSetupSystem& s, const std::string& path) {
    const std::int32_t a = s.FileAttributes(path);
    return a != -1 && !(a & faDirectory);
}

// A numbered record list under the uninstall key ("<prefix>0", "<prefix>1", ...
// up to the first missing number): what an earlier run of this package left
// there, and new items appended at the next number.
class TRecordList {
public:
    TRecordList(TRunContext& c, const char* prefix) : C(c), FPrefix(prefix) {
        for (;;) {
            const std::optional<TRegValue> v = C.System.ReadValue(C.F.FRegKey, ValueName(FItems.size()));
            if (!v) break;
            FItems.push_back(RegText(v));
        }
    }
    bool Holds(const std::string& item) const {
        for (const std::string& s : FItems)
            if (SameText(s, item)) return true;
        return false;
    }
    void Add(const std::string& item) {
        if (AddRecord(FItems, item)) C.Journal.SetValue(C.F.FRegKey, ValueName(FItems.size() - 1), RegString(item));
    }
    void AddAll(const std::vector<std::string>& items) {
        for (const std::string& item : items) Add(item);
    }

private:
    std::string ValueName(std::size_t n) const { return Format("%s%d", FPrefix, n); }

    TRunContext& C;
    std::string FPrefix;
    std::vector<std::string> FItems;
};

// Adds this installation to the SharedDLLs count of each file it placed in the
// system or shared folder, once per installation.
void CountSharedFiles(TRunContext& c, TRecordList& counted) {
    bool keyMade = false;
    for (const TPlacedFile& file : SharedFilesOf(c.F.FPlacedFiles)) {
        if (counted.Holds(file.Path)) continue;
        if (!keyMade) {
            std::vector<std::string> made;
            keyMade = c.Journal.MakeKeys(kSharedDllsKey, made);
        }
        const std::optional<std::uint32_t> stored = RegNumber(c.System.ReadValue(kSharedDllsKey, file.Path));
        c.Journal.SetValue(kSharedDllsKey, file.Path, RegDword(NextSharedCount(stored, file.Existed)));
        counted.Add(file.Path);
    }
}

void MakeFolder(TRunContext& c, const std::string& folder) {
    std::vector<std::string> made;
    c.Journal.MakeDirs(folder, made);
    AddCreatedDirs(c.F.FCreatedDirs, made);
}

} // namespace

void WriteUninstaller(TRunContext& c) {
    TSetupSystem& s = c.System;
    const std::string uninstaller = UninstallerPath(c.F);
    c.Journal.WriteFile(uninstaller, c.Uninstaller);
    c.Journal.WriteFile(c.F.FInstallDir + "UnInst.Ini", BuildUnInstIni(c.F));

    // The registered uninstall command names the Windows directory's copy, which
    // other packages' setups share: a newer one stays, an equal one is not rewritten.
    const std::string windowsCopy = WindowsUninstallerPath(s);
    if (IsFile(s, windowsCopy)) {
        if (!MayReplaceByVersion(FixedFileVersion(s.VersionResource(uninstaller)),
                                 FixedFileVersion(s.VersionResource(windowsCopy))))
            return;
        if (s.ReadFile(windowsCopy) == c.Uninstaller) return;
    }
    c.Journal.WriteFile(windowsCopy, c.Uninstaller);
}

void CreateProgramGroup(TRunContext& c) {
    TSetupFields& f = c.F;
    const std::string group = c.System.ProgramGroupDir(f.FGrpName);
    MakeFolder(c, group);
    // Without a group name the "group" is the Start menu's programs folder itself,
    // which is nobody's to remove.
    f.FGroupDir = f.FGrpName.empty() ? std::string() : group;
    f.FShortcuts.clear();
    c.AddLine(GetSetupMsg(msgCreateGroup));

    auto shortcut = [&c, &f](const std::string& target, const std::string& title, const std::string& folder,
                             const std::string& arguments) {
        const std::string link = folder + title + ".Lnk";
        TStagedFile staged = c.Journal.Stage(link);
        staged.File->Close();
        staged.File.reset();
        if (c.System.SaveShortcut(target, title, staged.Path, arguments)) {
            c.Journal.Place(staged, 0);
            f.FShortcuts.push_back(link);
        } else {
            c.System.DeleteFile(staged.Path);
        }
    };
    for (const TShortcutPlan& plan : SelectShortcuts(f, ActiveCodePage())) {
        std::string folder = group;
        if (!plan.SubFolder.empty()) {
            folder += plan.SubFolder + "\\";
            MakeFolder(c, folder);
        }
        shortcut(f.FInstallDir + plan.File, plan.Title, folder, std::string());
    }
    if (f.FUnInst) {
        // The Windows folder's copy, which only administrators can replace, told
        // which installation to remove; the target folder's copy only when there
        // is none.
        const std::string windowsCopy = WindowsUninstallerPath(c.System);
        const std::string title = Format(GetSetupMsg(msgUninstShortcut), f.FGrpName);
        if (IsFile(c.System, windowsCopy))
            shortcut(windowsCopy, title, group, UninstallerArguments(f.FInstallDir, ActiveCodePage()));
        else
            shortcut(f.FInstallDir + "kxUnInst.EXE", title, group, std::string());
    }
    c.System.OpenFolder(group);
}

void RegisterUninstall(TRunContext& c) {
    TSetupFields& f = c.F;
    TJournal& j = c.Journal;
    std::vector<std::string> madeKeys;
    if (!j.MakeKeys(f.FRegKey, madeKeys)) throw Exception(Format("Failed to set data for '%s'", "DisplayName"));
    const std::string& key = f.FRegKey;
    j.SetValue(key, "DisplayName", RegString(f.FGrpName));
    j.SetValue(key, "UnInstallPath", RegString(f.FInstallDir));
    j.SetValue(key, "GrpName", RegString(f.FGrpName));
    j.SetValue(key, "UnInstallString", RegString(WindowsUninstallerPath(c.System)));
    j.SetValue(key, "Publisher", RegString(f.FCompany));
    j.SetValue(key, "InstallLocation", RegString(f.FInstallDir));
    j.SetValue(key, "DisplayIcon", RegString(UninstallerPath(f)));
    if (!f.FProductVersion.empty()) j.SetValue(key, "DisplayVersion", RegString(f.FProductVersion));
    const std::int64_t uninstallerSize = c.System.FileSize(UninstallerPath(f));
    j.SetValue(key, "EstimatedSize",
               RegDword(EstimatedSizeKiB(f.FPlacedFiles,
                                         static_cast<std::uint64_t>(uninstallerSize > 0 ? uninstallerSize : 0))));
    j.SetValue(key, "NoModify", RegDword(1));
    j.SetValue(key, "NoRepair", RegDword(1));
    // Where only administrators write: the uninstaller acts on its record files
    // only while they are as written here.
    j.SetValue(key, kRecIniDigest, RegString(RecordDigest(c.System.ReadFile(f.FInstallDir + "UnInst.Ini"))));
    j.SetValue(key, kRecListDigest, RegString(RecordDigest(c.System.ReadFile(f.FInstallDir + "INSTFILE.LST"))));

    TRecordList(c, kRecCreatedDir).AddAll(f.FCreatedDirs);
    TRecordList(c, kRecShortcut).AddAll(f.FShortcuts);
    if (!f.FGroupDir.empty()) j.SetValue(key, kRecGroupDir, RegString(f.FGroupDir));

    TRecordList values(c, kRecRegValue), keys(c, kRecRegKey);
    for (const TAutoRegValue& v : SelectAutoRegValues(f)) {
        std::vector<std::string> made;
        if (!j.MakeKeys(v.Key, made)) throw Exception(Format("Failed to set data for '%s'", v.Name));
        keys.AddAll(made);
        j.SetValue(v.Key, v.Name, RegString(v.Data));
        values.Add(v.Key + ";" + v.Name);
    }

    TRecordList shared(c, kRecSharedFile);
    CountSharedFiles(c, shared);
}

void InstallService(TRunContext& c) {
    TSetupFields& f = c.F;
    TSetupSystem& s = c.System;
    if (f.FServiceName.empty()) return;
    const std::optional<TServiceConfig> current = s.ServiceConfig(f.FServiceName);
    const std::string currentImage = current ? current->ImagePath : std::string();
    if (!f.FServiceFile.empty()) f.FServiceFile = AbsoluteServiceFile(f.FInstallDir, f.FServiceFile);

    // A service that registered itself with its path in quotes (and perhaps
    // arguments after it) is the same program as the file we installed.
    const std::string currentProgram =
        ServiceProgramOf(currentImage, [&s](const std::string& path) { return IsFile(s, path); });
    if (SameText(f.FServiceFile, currentProgram)) {
        c.Journal.StartService(f.FServiceName, 15);
        return;
    }
    if (current) {
        const bool programThere = IsFile(s, currentProgram);
        if (programThere) c.Journal.StopService(f.FServiceName, 45);
        c.Journal.ServiceAboutToGo(f.FServiceName, *current);
        if (programThere)
            s.RunProgram(ExtractFilePath(currentProgram), QuotedCommand(currentProgram, "/uninstall /silent"));
        s.DeleteService(f.FServiceName);
        return;
    }

    try {
        const std::string command = QuotedCommand(f.FServiceFile, "/install /silent");
        c.Journal.ServiceAboutToRegister(f.FServiceName);
        const TRunOutcome run = s.RunProgram(f.FInstallDir, command);
        if (!run.Started) throw Exception(command + "\r\n" + s.ErrorText(run.Error));
        if (run.Ended && run.ExitCode != 0) throw Exception(command + "\r\n" + s.ErrorText(run.ExitCode));
        c.Journal.SetServiceStartType(f.FServiceName, kServiceAutoStart);
        if (!c.Journal.StartService(f.FServiceName, 15)) {
            const unsigned long reason = s.ServiceNotRunningReason(f.FServiceName);
            if (reason != 0) throw Exception(f.FServiceName + "\r\n" + s.ErrorText(reason));
        }
    } catch (const EStreamError&) {
        // The journal could not be written: that ends the run.
        throw;
    } catch (const std::exception& e) {
        if (c.Ui.ShowError) c.Ui.ShowError(e);
    }
    s.Sleep(1000);
}

} // namespace kx
