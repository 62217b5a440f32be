// The uninstaller's plan: every record checked against the safety rules before
// anything is removed.
#include "uninst/UninstPlan.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "app/RegistrationRules.h"
#include "base/Format.h"
#include "base/Text.h"

namespace kx {

namespace {

const char* const kEntryValues[] = {"DisplayName", "UnInstallPath", "GrpName",   "UnInstallString",
                                    "Publisher",   "InstallLocation", "DisplayIcon", "EstimatedSize",
                                    "NoModify",    "NoRepair",      kRecGroupDir,  kRecIniDigest, kRecListDigest};

struct TNumbered {
    const char* Prefix;
    std::vector<std::string> TUninstEntry::*List;
};
const TNumbered kNumbered[] = {
    {kRecCreatedDir, &TUninstEntry::CreatedDirs}, {kRecShortcut, &TUninstEntry::Shortcuts},
    {kRecRegValue, &TUninstEntry::RegValues},     {kRecRegKey, &TUninstEntry::RegKeys},
    {kRecSharedFile, &TUninstEntry::SharedFiles},
};

std::size_t Depth(const std::string& path, unsigned codePage) {
    return SplitWinPath(WithoutTrailingDelim(path, codePage), codePage).size();
}

// Deepest first; records of the same depth keep their reverse order.
std::vector<std::string> DeepestFirst(std::vector<std::string> paths, unsigned codePage) {
    std::reverse(paths.begin(), paths.end());
    std::stable_sort(paths.begin(), paths.end(), [codePage](const std::string& a, const std::string& b) {
        return Depth(a, codePage) > Depth(b, codePage);
    });
    return paths;
}

// One key for every spelling of a path that SameWinPath takes as equal.
std::string PathKey(const std::string& path, unsigned codePage) {
    return UpperCase(WithoutTrailingDelim(path, codePage));
}

bool Contains(const std::vector<std::string>& paths, const std::string& path, unsigned codePage) {
    return std::any_of(paths.begin(), paths.end(),
                       [&](const std::string& p) { return SameWinPath(p, path, codePage); });
}

class TPlanner {
public:
    TPlanner(const TUninstPlaces& places, TUninstPlan& plan) : P(places), Plan(plan), Cp(places.CodePage) {}

    bool WellFormed(const std::string& record) {
        if (CheckAbsolutePath(record, Cp) == TPathFault::None) return true;
        Refuse(record, TRefusal::BadPath);
        return false;
    }

    void Refuse(const std::string& record, TRefusal why) { Plan.Refused.push_back({record, why}); }

    bool InSharedFolder(const std::string& path) const {
        return IsInsideWinDir(path, P.SystemDir, Cp) || IsInsideWinDir(path, P.CommonFilesDir, Cp);
    }

    void AddSharedRecords(const std::vector<std::string>& records) {
        for (std::size_t i = 0; i < records.size(); ++i) {
            const std::string& r = records[i];
            if (!WellFormed(r)) continue;
            if (EndsWithWinDelim(r, Cp)) {
                Refuse(r, TRefusal::Directory);
            } else if (!InSharedFolder(r)) {
                Refuse(r, TRefusal::OutsideSharedFolders);
            } else if (SharedKeys.emplace(PathKey(r, Cp), static_cast<int>(i)).second) {
                Shared.push_back(r);
            }
        }
    }

    void AddListedFile(const std::string& entry) {
        if (!WellFormed(entry)) return;
        if (EndsWithWinDelim(entry, Cp)) return Refuse(entry, TRefusal::Directory);
        if (IsProtectedDir(entry, P)) return Refuse(entry, TRefusal::ProtectedFolder);
        // The uninstaller and its records go last, with their own step.
        if (Contains(Plan.RecordFiles, entry, Cp) || SameWinPath(entry, Plan.Uninstaller, Cp)) return;
        const auto shared = SharedKeys.find(PathKey(entry, Cp));
        if (shared == SharedKeys.end() && !IsInsideWinDir(entry, Plan.TargetDir, Cp))
            return Refuse(entry, TRefusal::NotRecorded);
        AddFile(entry, shared == SharedKeys.end() ? -1 : shared->second);
    }

    void AddFile(const std::string& path, int sharedRecord) {
        if (FileKeys.insert(PathKey(path, Cp)).second) Plan.Files.push_back({path, sharedRecord >= 0, sharedRecord});
    }

    void AddUnlistedShared() {
        for (const std::string& s : Shared) AddFile(s, SharedKeys.at(PathKey(s, Cp)));
    }

    void AddGroup(const std::string& groupDir) {
        if (groupDir.empty() || !WellFormed(groupDir)) return;
        const bool inPrograms = std::any_of(P.ProgramsDirs.begin(), P.ProgramsDirs.end(), [&](const std::string& d) {
            return IsInsideWinDir(groupDir, d, Cp);
        });
        if (!inPrograms) return Refuse(groupDir, TRefusal::OutsideGroup);
        if (IsProtectedDir(groupDir, P)) return Refuse(groupDir, TRefusal::ProtectedFolder);
        Plan.GroupDir = WithTrailingDelim(groupDir, Cp);
    }

    void AddShortcuts(const std::vector<std::string>& records) {
        for (const std::string& r : records) {
            if (!WellFormed(r)) continue;
            const std::string name = WinFileName(r, Cp);
            if (name.size() < 5 || !SameText(name.substr(name.size() - 4), ".lnk")) {
                Refuse(r, TRefusal::NotAShortcut);
            } else if (Plan.GroupDir.empty() || !IsInsideWinDir(r, Plan.GroupDir, Cp)) {
                Refuse(r, TRefusal::OutsideGroup);
            } else {
                Plan.Shortcuts.push_back(r);
            }
        }
    }

    void AddRegistry(const TUninstEntry& entry, const std::string& entryKey) {
        for (const std::string& r : entry.RegValues) {
            const std::size_t semi = r.find(';');
            const std::string key = semi == std::string::npos ? std::string() : r.substr(0, semi);
            const std::string name = semi == std::string::npos ? std::string() : r.substr(semi + 1);
            if (!IsUsableRegKey(key) || name.find(';') != std::string::npos)
                Refuse(r, TRefusal::BadRegistryKey);
            else
                Plan.RegValues.push_back({key, name});
        }
        std::vector<std::string> keys;
        for (const std::string& k : entry.RegKeys) {
            // A top-level key ("SOFTWARE") is never one a package made.
            if (!IsUsableRegKey(k) || k.find('\\') == std::string::npos)
                Refuse(k, TRefusal::BadRegistryKey);
            else
                keys.push_back(k);
        }
        std::reverse(keys.begin(), keys.end());
        std::stable_sort(keys.begin(), keys.end(), [](const std::string& a, const std::string& b) {
            return std::count(a.begin(), a.end(), '\\') > std::count(b.begin(), b.end(), '\\');
        });
        Plan.RegKeys = keys;

        Plan.EntryKey = entryKey;
        const std::string prefix = std::string(kUninstallKey) + "\\";
        Plan.DeleteEntryTree = entryKey.size() > prefix.size() && SameText(entryKey.substr(0, prefix.size()), prefix) &&
                               entryKey.find('\\', prefix.size()) == std::string::npos;
        if (!Plan.DeleteEntryTree) Plan.EntryValues = UninstEntryValueNames(entry);
    }

    void AddDirs(const std::vector<std::string>& records) {
        std::vector<std::string> dirs;
        for (const std::string& r : records) {
            if (!WellFormed(r)) continue;
            if (IsProtectedDir(r, P))
                Refuse(r, TRefusal::ProtectedFolder);
            else if (!Contains(dirs, r, Cp))
                dirs.push_back(WithTrailingDelim(r, Cp));
        }
        Plan.Dirs = DeepestFirst(dirs, Cp);
    }

    void AddWindowsCopy(const std::string& unInstallString) {
        if (unInstallString.empty()) return;
        // The registered command: the quotes go, a program name with blanks needs them.
        const std::string program = ServiceProgramOf(Trim(unInstallString), [](const std::string&) { return false; });
        if (CheckAbsolutePath(program, Cp) == TPathFault::None &&
            SameWinPath(WinParentDir(program, Cp), P.WindowsDir, Cp) &&
            SameText(WinFileName(program, Cp), kUninstallerName))
            Plan.WindowsCopy = program;
        else
            Refuse(unInstallString, TRefusal::NotOurUninstaller);
    }

private:
    const TUninstPlaces& P;
    TUninstPlan& Plan;
    unsigned Cp;
    std::vector<std::string> Shared;
    std::unordered_map<std::string, int> SharedKeys; // the record's number of each shared file
    std::unordered_set<std::string> FileKeys;
};

} // namespace

TUninstEntry ReadUninstEntry(const TEntryValueReader& read) {
    TUninstEntry e;
    auto text = [&](const char* name) { return read(name).value_or(std::string()); };
    e.DisplayName = text("DisplayName");
    e.UnInstallPath = text("UnInstallPath");
    e.GrpName = text("GrpName");
    e.UnInstallString = text("UnInstallString");
    e.Publisher = text("Publisher");
    e.GroupDir = text(kRecGroupDir);
    e.IniDigest = text(kRecIniDigest);
    e.ListDigest = text(kRecListDigest);
    for (const TNumbered& n : kNumbered) {
        std::vector<std::string>& list = e.*n.List;
        for (int i = 0;; ++i) {
            std::optional<std::string> v = read(Format("%s%d", n.Prefix, i));
            if (!v) break;
            list.push_back(std::move(*v));
        }
    }
    return e;
}

std::vector<std::string> UninstEntryValueNames(const TUninstEntry& entry) {
    std::vector<std::string> names(std::begin(kEntryValues), std::end(kEntryValues));
    for (const TNumbered& n : kNumbered)
        for (std::size_t i = 0; i < (entry.*n.List).size(); ++i) names.push_back(Format("%s%d", n.Prefix, i));
    return names;
}

TRecordCheck CheckRecordFiles(std::string_view iniText, std::string_view listText, const TUninstEntry& entry) {
    auto same = [](std::string_view text, const std::string& digest) {
        return !digest.empty() && SameText(RecordDigest(text), digest);
    };
    if (!same(iniText, entry.IniDigest)) return TRecordCheck::IniChanged;
    if (!same(listText, entry.ListDigest)) return TRecordCheck::ListChanged;
    return TRecordCheck::Unchanged;
}

bool MakeUninstPlan(const TUnInstIni& ini, const std::vector<std::string>& listEntries, const TUninstEntry& entry,
                    const TUninstPlaces& places, TUninstPlan& plan) {
    plan = TUninstPlan{};
    const unsigned cp = places.CodePage;
    if (CheckAbsolutePath(entry.UnInstallPath, cp) != TPathFault::None || IsProtectedDir(entry.UnInstallPath, places))
        return false;
    plan.TargetDir = WithTrailingDelim(entry.UnInstallPath, cp);
    plan.Services = ini.Services;
    plan.FindClass = ini.FindClass;
    plan.ReNameList = ini.ReNameList;
    plan.Uninstaller = plan.TargetDir + "kxUnInst.Exe";
    plan.RecordFiles = {plan.TargetDir + "UnInst.Ini", plan.TargetDir + "INSTFILE.LST"};

    TPlanner planner(places, plan);
    planner.AddSharedRecords(entry.SharedFiles);
    for (const std::string& e : listEntries) planner.AddListedFile(e);
    planner.AddUnlistedShared();
    planner.AddGroup(entry.GroupDir);
    planner.AddShortcuts(entry.Shortcuts);
    planner.AddRegistry(entry, ini.RegKey);
    planner.AddDirs(entry.CreatedDirs);
    planner.AddWindowsCopy(entry.UnInstallString);
    return true;
}

} // namespace kx
