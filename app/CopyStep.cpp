// The copy step: file entries to destinations, the archive driven one ExtractFile
// per entry, replacements at restart and the installed-file list.
#include "app/CopyStep.h"

#include "archive/QdxArch2.h"
#include "base/Exception.h"
#include "base/Format.h"
#include "base/Text.h"
#include "lang/RunErrors.h"
#include "lang/kxSetupLan.h"
#include "lang/kxSetupLanConst.h"
#include "sys/Files.h"
#include "sys/Paths.h"

namespace kx {

TFileTarget SplitFileEntry(const std::string& entry) {
    TFileTarget t;
    const std::size_t bracket = entry.find('[');
    t.StoredName = entry.substr(0, bracket);
    if (bracket != std::string::npos && bracket + 1 < entry.size()) {
        const char c = entry[bracket + 1];
        if (c == 'S' || c == 's') t.Letter = 'S';
        if (c == 'C' || c == 'c') t.Letter = 'C';
    }
    return t;
}

namespace {

std::string KeyOf(const std::string& line) { return line.substr(0, line.find('=')); }

std::string ValueOf(const std::string& line) {
    const std::size_t eq = line.find('=');
    return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

bool Contains(const std::vector<std::string>& list, const std::string& name) {
    for (const std::string& s : list)
        if (SameText(s, name)) return true;
    return false;
}

} // namespace

std::vector<std::string> BuildSelectedFiles(const std::vector<std::string>& compFiles,
                                            const std::vector<bool>& checked) {
    std::vector<std::string> sel;
    for (std::size_t i = 0; i < checked.size() && i < compFiles.size(); ++i) {
        if (!checked[i]) continue;
        const std::string name = KeyOf(compFiles[i]);
        for (const std::string& line : compFiles)
            if (SameText(KeyOf(line), name)) {
                for (std::string& part : SplitText(ValueOf(line), ';'))
                    if (!part.empty()) sel.push_back(std::move(part));
                break;
            }
    }
    return sel;
}

void AddCreatedDirs(std::vector<std::string>& list, const std::vector<std::string>& dirs) {
    for (const std::string& d : dirs)
        if (!Contains(list, d)) list.push_back(d);
}

bool MakeInstallDir(const std::string& dir, std::vector<std::string>& createdDirs) {
    if (!IsAbsolutePath(dir) || !PathRootExists(dir)) throw Exception("Unable to create directory");
    std::vector<std::string> made;
    const bool ok = MakeDirPath(dir, made);
    AddCreatedDirs(createdDirs, made);
    return ok && DirectoryExists(dir);
}

namespace {

// Which of the run's error texts tells the user what happened to a file.
TRunError Classify(const Exception& e) {
    if (dynamic_cast<const EFCreateError*>(&e) || dynamic_cast<const EFOpenError*>(&e)) return TRunError::reCannotWrite;
    if (dynamic_cast<const EReadError*>(&e) || dynamic_cast<const EArchiver*>(&e) || dynamic_cast<const EAbort*>(&e))
        return TRunError::rePackageDamaged;
    if (dynamic_cast<const EStreamError*>(&e)) return TRunError::reWriteIncomplete;
    // ForceDirectory and the like: the destination's folder could not be made.
    return TRunError::reCannotWrite;
}

// One run of the step; its members live exactly as long as the step's working values.
class TCopyRun {
public:
    TCopyRun(TSetupFields& f, TCopySystem& system, const TCopyStep& step, const TCopyFolders& folders, bool appRunning)
        : F(f), FSystem(system), FStep(step), FFolders(folders), FAppRunning(appRunning) {}

    void Run(const std::string& archivePath, const std::vector<bool>& checked) {
        for (const std::string& line : F.FDestDirs) FSubDirs.push_back({KeyOf(line), SplitText(ValueOf(line), ';')});
        try {
            F.FSelFiles = BuildSelectedFiles(F.FCompFiles, checked);
            F.FPlacedFiles.clear();
            OpenArchive(archivePath);
            for (const std::string& entry : F.FSelFiles) CopyEntry(entry);
            FInstalled.push_back(F.FInstallDir + "UnInst.Ini");
            FInstalled.push_back(F.FInstallDir + "INSTFILE.LST");
        } catch (...) {
            // The error that ended the run is the one to report.
            try {
                CleanUp();
            } catch (const Exception&) {
            }
            throw;
        }
        CleanUp();
    }

private:
    struct TSubDir {
        std::string Name;
        std::vector<std::string> Files;
    };

    void OpenArchive(const std::string& archivePath) {
        FArc.SetFileName(archivePath);
        FArc.SetReadOnly(true);
        FArc.OnFileProgress = [this](TArchiverRoot*, int percent) {
            if (FStep.OnProgress) FStep.OnProgress(percent);
        };
        // A file the component cannot write ends the run at that file.
        FArc.OnError = [](TArchiverRoot*, const Exception&, const TFileEntry&, TErrorAction& action) {
            action = eaAbort;
        };
        FArc.OnFileExtracted = [this](TArchiverRoot*, const TFileEntry& entry, const std::string&) {
            ++FExtracted;
            FExtractedSize = static_cast<std::uint64_t>(entry.FileInfo.Size);
        };
        try {
            FArc.Open();
        } catch (const Exception&) {
            throw Exception(RunErrorText(TRunError::rePackageUnreadable));
        }
    }

    void CopyEntry(const std::string& entry) {
        const TFileTarget t = SplitFileEntry(entry);
        const std::string& base = t.Letter == 'S' ? FFolders.System : t.Letter == 'C' ? FFolders.Shared : F.FInstallDir;
        std::string folder = base;
        if (const TSubDir* sub = SubDirOf(t.StoredName)) {
            folder = AddTrailingBackslash(AddTrailingBackslash(base) + sub->Name);
            std::vector<std::string> made;
            MakeDirPath(folder, made);
            AddCreatedDirs(F.FCreatedDirs, made);
        }
        const std::string dest = folder + t.StoredName;
        FInstalled.push_back(dest);
        Line(Format(GetSetupMsg(msgExtractingFile), t.StoredName));

        if (FAppRunning && Contains(F.FReNameList, t.StoredName) && FileExists(dest)) {
            ReplaceAtRestart(t, dest);
            return;
        }
        // Whether a file was there matters to the shared-file count of a file in
        // the system or shared folder.
        const bool existed = FileExists(dest);
        FileSetAttr(dest, 0);
        DeleteFile(dest);
        Extract(t.StoredName, dest, dest);
        F.FPlacedFiles.push_back({dest, t.Letter, false, FExtractedSize, existed});
    }

    // The new file waits in the reboot folder under a name of its own: a file of
    // that name may already wait there for an earlier run's replacement, or for
    // another destination of this run.
    void ReplaceAtRestart(const TFileTarget& t, const std::string& dest) {
        if (FFolders.Reboot.empty()) throw Exception(RunErrorText(TRunError::reCannotSchedule, dest));
        const std::string fresh = FreeRebootName(t.StoredName, dest);
        Extract(t.StoredName, fresh, dest);
        const std::string shortFresh = FSystem.ShortPath(fresh);
        const std::string shortDest = FSystem.ShortPath(dest);
        const bool scheduled =
            FSystem.NTFamily() ? FSystem.MoveAtRestart(shortDest, "") && FSystem.MoveAtRestart(shortFresh, shortDest)
                               : FSystem.WriteRenameEntry(shortDest, shortFresh);
        if (!scheduled) {
            DeleteFile(fresh);
            throw Exception(RunErrorText(TRunError::reCannotSchedule, dest));
        }
        F.FNeedReboot = true;
        F.FPlacedFiles.push_back({dest, t.Letter, true, FExtractedSize, true});
    }

    std::string FreeRebootName(const std::string& storedName, const std::string& dest) {
        const std::string ext = ExtractFileExt(storedName);
        const std::string stem = storedName.substr(0, storedName.size() - ext.size());
        std::string name = storedName;
        for (int n = 1; FileExists(FFolders.Reboot + name) || DirectoryExists(FFolders.Reboot + name); ++n) {
            if (n > 9999) throw Exception(RunErrorText(TRunError::reCannotSchedule, dest));
            name = Format("%s~%d%s", stem, n, ext);
        }
        return FFolders.Reboot + name;
    }

    // ExtractFile with every way it can fail turned into an error naming the file.
    void Extract(const std::string& storedName, const std::string& path, const std::string& shownName) {
        FExtracted = 0;
        FExtractedSize = 0;
        try {
            FArc.ExtractFile(storedName, path);
        } catch (const Exception& e) {
            throw Exception(RunErrorText(Classify(e), shownName));
        }
        if (FExtracted == 0) throw Exception(RunErrorText(TRunError::reNotInPackage, shownName));
    }

    const TSubDir* SubDirOf(const std::string& storedName) const {
        for (const TSubDir& d : FSubDirs)
            if (Contains(d.Files, storedName)) return &d;
        return nullptr;
    }

    void Line(const std::string& text) {
        if (FStep.OnProgressLine) FStep.OnProgressLine(text);
    }

    void CleanUp() {
        FSystem.FlushRenameFile();
        std::string text;
        for (const std::string& line : FInstalled) text += line + "\r\n";
        const std::string listPath = F.FInstallDir + "INSTFILE.LST";
        try {
            FileSetAttr(listPath, 0);
            SaveStringToFile(listPath, text);
        } catch (const Exception& e) {
            throw Exception(RunErrorText(Classify(e), listPath));
        }
        FArc.Close();
    }

    TSetupFields& F;
    TCopySystem& FSystem;
    const TCopyStep& FStep;
    const TCopyFolders& FFolders;
    const bool FAppRunning;
    TQdxArch2 FArc;
    std::vector<TSubDir> FSubDirs;
    std::vector<std::string> FInstalled;
    int FExtracted = 0;
    std::uint64_t FExtractedSize = 0;
};

} // namespace

void TCopyStep::Run(const std::string& archivePath, const TCopyFolders& folders, bool appRunning,
                    const std::vector<bool>& checked) {
    TCopyRun run(F, FSystem, *this, folders, appRunning);
    run.Run(archivePath, checked);
}

} // namespace kx
