// The copy step: file entries to destinations, each file staged beside its
// destination and placed through the journal, replacements at the restart and
// the installed-file list.
#include "app/CopyStep.h"

#include <unordered_set>

#include "app/PayloadArchive.h"
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

std::string MergeInstalledList(const std::string& earlier, const std::vector<std::string>& lines) {
    std::string text;
    std::unordered_set<std::string> seen;
    for (const std::string& line : SplitLines(earlier)) {
        if (line.empty()) continue;
        seen.insert(UpperCase(line));
        text += line + "\r\n";
    }
    // Within one run a file listed twice stays twice, as a clean install lists it.
    for (const std::string& line : lines)
        if (!seen.count(UpperCase(line))) text += line + "\r\n";
    return text;
}

namespace {

// Which of the run's error texts tells the user what happened to a file.
TRunError Classify(const Exception& e) {
    if (dynamic_cast<const EFCreateError*>(&e) || dynamic_cast<const EFOpenError*>(&e)) return TRunError::reCannotWrite;
    if (dynamic_cast<const EReadError*>(&e) || dynamic_cast<const EArchiver*>(&e) || dynamic_cast<const EAbort*>(&e))
        return TRunError::rePackageDamaged;
    if (dynamic_cast<const EStreamError*>(&e)) return TRunError::reWriteIncomplete;
    return TRunError::reCannotWrite;
}

// The staged file as the archive writes it: counts what went through and moves
// the bar by the share of the whole run's bytes.
class TProgressStream : public TStream {
public:
    TProgressStream(TStream& inner, const TRunContext& c, std::uint64_t& done, std::uint64_t total)
        : FInner(inner), C(c), FDone(done), FTotal(total) {}
    std::int32_t Read(void* buffer, std::int32_t count) override { return FInner.Read(buffer, count); }
    std::int32_t Write(const void* buffer, std::int32_t count) override {
        const std::int32_t n = FInner.Write(buffer, count);
        if (n > 0) {
            FWritten += static_cast<std::uint64_t>(n);
            FDone += static_cast<std::uint64_t>(n);
            C.SetProgress(FTotal ? static_cast<int>(FDone * 100 / FTotal) : 100);
        }
        return n;
    }
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override { return FInner.Seek(offset, origin); }
    void SetSize(std::int64_t newSize) override { FInner.SetSize(newSize); }
    std::uint64_t Written() const { return FWritten; }

private:
    TStream& FInner;
    const TRunContext& C;
    std::uint64_t& FDone;
    std::uint64_t FTotal;
    std::uint64_t FWritten = 0;
};

// Files staged before they go into place together, and their bytes.
constexpr std::size_t kBatchFiles = 64;
constexpr std::uint64_t kBatchBytes = 16u << 20;

// One run of the step; its members live exactly as long as the step's working values.
class TCopyRun {
public:
    explicit TCopyRun(TRunContext& c) : C(c), F(c.F), S(c.System), J(c.Journal), FArc(c.Payload) {}

    void Run() {
        FSystemDir = S.SystemDir();
        FSharedDir = AddTrailingBackslash(S.CommonFilesDir() + F.FSharedDir);
        FAppRunning = !F.FFindClass.empty() && S.WindowOfClassExists(F.FFindClass);
        for (const std::string& line : F.FDestDirs) FSubDirs.push_back({KeyOf(line), SplitText(ValueOf(line), ';')});

        F.FSelFiles = BuildSelectedFiles(F.FCompFiles, C.Checked);
        F.FPlacedFiles.clear();
        OpenArchive();
        for (const std::string& entry : F.FSelFiles) {
            TFileEntry e;
            if (FArc.FindFile(SplitFileEntry(entry).StoredName, e)) FTotal += static_cast<std::uint64_t>(e.FileInfo.Size);
        }
        for (const std::string& entry : F.FSelFiles) CopyEntry(entry);
        PlaceBatch();
        FInstalled.push_back(F.FInstallDir + "UnInst.Ini");
        FInstalled.push_back(F.FInstallDir + "INSTFILE.LST");
        FArc.Close();

        J.WriteRenameLines(S.WindowsDir() + "WinInit.ini");
        WriteInstalledList();
        C.SetProgress(100);
    }

private:
    struct TSubDir {
        std::string Name;
        std::vector<std::string> Files;
    };

    void OpenArchive() {
        try {
            FArc.Open();
        } catch (const Exception&) {
            throw Exception(RunErrorText(TRunError::rePackageUnreadable));
        }
    }

    void MakeFolder(const std::string& folder) {
        std::vector<std::string> made;
        const bool ok = J.MakeDirs(folder, made);
        AddCreatedDirs(F.FCreatedDirs, made);
        if (!ok) throw EFCreateError("Cannot create directory " + folder);
    }

    void CopyEntry(const std::string& entry) {
        const TFileTarget t = SplitFileEntry(entry);
        const std::string& base = t.Letter == 'S' ? FSystemDir : t.Letter == 'C' ? FSharedDir : F.FInstallDir;
        std::string folder = base;
        if (const TSubDir* sub = SubDirOf(t.StoredName)) folder = AddTrailingBackslash(AddTrailingBackslash(base) + sub->Name);
        const std::string dest = folder + t.StoredName;
        FInstalled.push_back(dest);
        C.AddLine(Format(GetSetupMsg(msgExtractingFile), t.StoredName));

        try {
            // A stored name with folders in it ("docs\readme.txt") needs them too.
            MakeFolder(ExtractFilePath(dest));
            const bool atRestart = FAppRunning && Contains(F.FReNameList, t.StoredName) && S.FileAttributes(dest) != -1;
            TStagedFile staged = J.Stage(dest, atRestart);
            const TFileEntry e = Extract(t.StoredName, staged, dest);
            const TPlacedFile placed{dest, t.Letter, atRestart, static_cast<std::uint64_t>(e.FileInfo.Size), atRestart};
            if (atRestart) {
                PlaceBatch();
                if (e.Attr != 0) S.SetFileAttributes(staged.Path, e.Attr);
                if (!J.PlaceAtRestart(staged)) throw Exception(RunErrorText(TRunError::reCannotSchedule, dest));
                F.FNeedReboot = true;
                F.FPlacedFiles.push_back(placed);
            } else {
                staged.Attributes = e.Attr;
                FBatchBytes += static_cast<std::uint64_t>(e.FileInfo.Size);
                FBatch.push_back(std::move(staged));
                FBatchFiles.push_back(placed);
                if (FBatch.size() >= kBatchFiles || FBatchBytes >= kBatchBytes) PlaceBatch();
            }
        } catch (const EFCreateError&) {
            throw Exception(RunErrorText(TRunError::reCannotWrite, dest));
        } catch (const EStreamError& e) {
            throw Exception(RunErrorText(Classify(e), dest));
        }
    }

    // The staged files go into place together: the journal reaches the disk
    // once for them all.
    void PlaceBatch() {
        if (FBatch.empty()) return;
        try {
            J.PlaceAll(FBatch);
        } catch (const Exception& e) {
            for (const TStagedFile& staged : FBatch)
                if (!staged.Placed) throw Exception(RunErrorText(Classify(e), staged.Target));
            throw;
        }
        for (std::size_t i = 0; i < FBatch.size(); ++i) {
            FBatchFiles[i].Existed = FBatch[i].Existed;
            F.FPlacedFiles.push_back(FBatchFiles[i]);
        }
        FBatch.clear();
        FBatchFiles.clear();
        FBatchBytes = 0;
    }

    // The entry's data whole in the staged file, closed; every way it can fail
    // becomes an error naming the destination.
    TFileEntry Extract(const std::string& storedName, TStagedFile& staged, const std::string& dest) {
        TFileEntry e;
        TProgressStream out(*staged.File, C, FDone, FTotal);
        bool found = false;
        try {
            found = FArc.ExtractFileTo(storedName, out, e);
            if (found && static_cast<std::int64_t>(out.Written()) != e.FileInfo.Size)
                throw EArchiver("Archive damaged: data shorter than the file size");
            staged.File->SetDate(e.Date);
            staged.File->Close();
        } catch (const Exception& x) {
            throw Exception(RunErrorText(Classify(x), dest));
        }
        if (!found) throw Exception(RunErrorText(TRunError::reNotInPackage, dest));
        return e;
    }

    const TSubDir* SubDirOf(const std::string& storedName) const {
        for (const TSubDir& d : FSubDirs)
            if (Contains(d.Files, storedName)) return &d;
        return nullptr;
    }

    void WriteInstalledList() {
        const std::string listPath = F.FInstallDir + "INSTFILE.LST";
        try {
            std::string earlier;
            const std::int32_t a = S.FileAttributes(listPath);
            if (a != -1 && !(a & faDirectory)) earlier = S.ReadFile(listPath);
            J.WriteFile(listPath, MergeInstalledList(earlier, FInstalled));
        } catch (const Exception& e) {
            throw Exception(RunErrorText(Classify(e), listPath));
        }
    }

    TRunContext& C;
    TSetupFields& F;
    TSetupSystem& S;
    TJournal& J;
    TPayloadArchive FArc;
    std::string FSystemDir, FSharedDir;
    bool FAppRunning = false;
    std::vector<TSubDir> FSubDirs;
    std::vector<std::string> FInstalled;
    std::uint64_t FDone = 0, FTotal = 0;
    std::vector<TStagedFile> FBatch;
    std::vector<TPlacedFile> FBatchFiles;
    std::uint64_t FBatchBytes = 0;
};

} // namespace

void ExtractFiles(TRunContext& c) { TCopyRun(c).Run(); }

} // namespace kx
