// The run's journal: its file format, the changes that write it, and the two
// ways it ends (rollback and commit), also for a journal a killed run left.
#include "app/Journal.h"

#include <algorithm>
#include <set>

#include "base/Exception.h"
#include "base/Format.h"
#include "base/Hash.h"
#include "base/Random.h"
#include "base/Text.h"
#include "sys/Paths.h"

namespace kx {

namespace {

const char kHeaderName[] = "kxJournal";
const char kVersion[] = "1";
constexpr std::int32_t kDirectoryAttr = 0x10;
constexpr std::int32_t kReparsePointAttr = 0x400;
// A program that has just stopped may hold its file a moment longer.
constexpr int kDeleteAttempts = 5;
constexpr unsigned kDeleteRetryMs = 200;

struct TOpName {
    TJournalOp Op;
    const char* Name;
    std::size_t Args;
};
const TOpName kOps[] = {
    {TJournalOp::Temp, "temp", 1},          {TJournalOp::Void, "void", 1},
    {TJournalOp::NewFile, "new", 1},        {TJournalOp::Aside, "aside", 2},
    {TJournalOp::Dir, "dir", 1},            {TJournalOp::StageDir, "stage", 1},
    {TJournalOp::Key, "key", 1},
    {TJournalOp::Value, "value", 3},        {TJournalOp::ServiceStop, "svcstop", 1},
    {TJournalOp::ServiceStart, "svcstart", 1}, {TJournalOp::ServiceNew, "svcnew", 1},
    {TJournalOp::ServiceGone, "svcgone", 8}, {TJournalOp::ServiceStartType, "svcstarttype", 2},
    {TJournalOp::MoveLater, "movelater", 2}, {TJournalOp::Commit, "commit", 0},
};

const TOpName* OpInfo(TJournalOp op) {
    for (const TOpName& o : kOps)
        if (o.Op == op) return &o;
    return nullptr;
}

const char kHex[] = "0123456789ABCDEF";

std::string Escape(std::string_view field) {
    std::string out;
    for (unsigned char c : field) {
        if (c < 0x20 || c == 0x7F || c == '%') {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool Unescape(std::string_view field, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '%') {
            out += field[i];
            continue;
        }
        if (i + 2 >= field.size()) return false;
        const int hi = HexDigit(field[i + 1]), lo = HexDigit(field[i + 2]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

std::string Sealed(const std::string& body) { return body + Format("\t#%8.8X\r\n", Fnv1a32(body)); }

// Splits a sealed line (without its line break) into its fields; false when the
// hash does not match.
bool Unseal(std::string_view line, std::vector<std::string>& fields) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t mark = line.rfind("\t#");
    if (mark == std::string_view::npos || line.size() - mark != 10) return false;
    const std::string_view body = line.substr(0, mark);
    std::uint32_t hash = 0;
    for (char c : line.substr(mark + 2)) {
        const int d = HexDigit(c);
        if (d < 0) return false;
        hash = hash * 16 + static_cast<std::uint32_t>(d);
    }
    if (hash != Fnv1a32(body)) return false;
    fields.clear();
    for (const std::string& raw : SplitText(body, '\t')) {
        std::string f;
        if (!Unescape(raw, f)) return false;
        fields.push_back(std::move(f));
    }
    return true;
}

std::string EncodeValue(const std::optional<TRegValue>& value) {
    if (!value) return "-";
    std::string out = Format("%u:", static_cast<std::int64_t>(value->Type));
    for (unsigned char c : value->Data) {
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
    return out;
}

bool DecodeValue(const std::string& text, std::optional<TRegValue>& value) {
    if (text == "-") {
        value.reset();
        return true;
    }
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || (text.size() - colon - 1) % 2 != 0) return false;
    TRegValue v;
    for (std::size_t i = 0; i < colon; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v.Type = v.Type * 10 + static_cast<std::uint32_t>(text[i] - '0');
    }
    for (std::size_t i = colon + 1; i < text.size(); i += 2) {
        const int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        v.Data += static_cast<char>(hi * 16 + lo);
    }
    value = std::move(v);
    return true;
}

std::uint32_t ParseNumber(const std::string& text) {
    std::uint32_t n = 0;
    for (char c : text)
        if (c >= '0' && c <= '9') n = n * 10 + static_cast<std::uint32_t>(c - '0');
    return n;
}

std::string NumberText(std::uint64_t n) { return Format("%u", static_cast<std::int64_t>(n)); }

std::vector<std::string> ServiceFields(const TServiceConfig& c) {
    return {c.ImagePath, c.DisplayName, c.Account, c.Dependencies, NumberText(c.ServiceType),
            NumberText(c.StartType), NumberText(c.ErrorControl)};
}

TServiceConfig ServiceOf(const std::vector<std::string>& a) {
    TServiceConfig c;
    c.ImagePath = a[1];
    c.DisplayName = a[2];
    c.Account = a[3];
    c.Dependencies = a[4];
    c.ServiceType = ParseNumber(a[5]);
    c.StartType = ParseNumber(a[6]);
    c.ErrorControl = ParseNumber(a[7]);
    return c;
}

bool Exists(TSetupSystem& s, const std::string& path) { return s.FileAttributes(path) != -1; }

bool IsFile(TSetupSystem& s, const std::string& path) {
    const std::int32_t a = s.FileAttributes(path);
    return a != -1 && !(a & kDirectoryAttr);
}

std::string FolderOf(const std::string& path) { return ExtractFilePath(path); }

// A name nothing has in folder: "~kx" and five hex digits, 8.3 so that the 9x
// family's restart can name it.
std::string FreeNameIn(TSetupSystem& s, const std::string& folder, const char* ext) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string name = Format("%s~kx%5.5x.%s", folder, static_cast<std::int64_t>(Random(0x100000)), ext);
        if (!Exists(s, name)) return name;
    }
    throw EFCreateError(Format("Cannot create file %s", folder + "~kx*." + ext));
}

// Writes a whole file under a staging name, forced to the disk, and renames it
// over path; the old file goes. Used where there is nothing to undo any more
// (the end of a rollback or a commit).
void ReplaceFileNow(TSetupSystem& s, const std::string& path, std::string_view bytes) {
    const std::string folder = FolderOf(path);
    std::unique_ptr<TNewFile> f;
    std::string temp;
    while (!f) {
        temp = FreeNameIn(s, folder, "new");
        f = s.CreateNewFile(temp);
    }
    try {
        f->WriteBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
        f->Close();
    } catch (...) {
        f.reset();
        s.DeleteFile(temp);
        throw;
    }
    f.reset();
    if (Exists(s, path)) {
        const std::string old = FreeNameIn(s, folder, "old");
        s.SetFileAttributes(path, 0);
        if (!s.RenameFile(path, old)) {
            s.DeleteFile(temp);
            throw EFCreateError(Format("Cannot create file %s", path));
        }
        s.RenameFile(temp, path);
        s.DeleteFile(old);
    } else {
        s.RenameFile(temp, path);
    }
}

// Carries out what a journal's entries say in reverse (rollback) or, for a
// committed one, drops what was set aside.
class TJournalEnd {
public:
    TJournalEnd(TSetupSystem& system, const std::vector<TJournalEntry>& entries) : S(system), E(entries) {
        for (const TJournalEntry& e : E)
            if (e.Op == TJournalOp::Void) FVoided.insert(ParseNumber(e.Args[0]));
    }

    TUndoOutcome Undo() {
        for (std::size_t i = E.size(); i-- > 0;) {
            if (FVoided.count(i)) continue;
            try {
                UndoEntry(E[i]);
            } catch (const Exception&) {
                Failed(E[i]);
            }
        }
        WriteRenameLines();
        return FOutcome;
    }

    TUndoOutcome DropSetAside() {
        for (std::size_t i = 0; i < E.size(); ++i) {
            if (FVoided.count(i) || E[i].Op != TJournalOp::Aside) continue;
            const std::string& aside = E[i].Args[1];
            if (!IsFile(S, aside) || ThroughLink(aside)) continue;
            S.SetFileAttributes(aside, 0);
            if (!S.DeleteFile(aside) && RemoveAtRestart(aside)) FOutcome.AtRestart.push_back(aside);
        }
        // The staging folders go once empty (a held file set aside takes its folder along at the restart).
        for (std::size_t i = 0; i < E.size(); ++i)
            if (!FVoided.count(i) && E[i].Op == TJournalOp::StageDir) RemoveFolder(E[i].Args[0]);
        WriteRenameLines();
        return FOutcome;
    }

private:
    void Failed(const TJournalEntry& e) {
        std::string what = OpInfo(e.Op)->Name;
        for (const std::string& a : e.Args) what += " " + a;
        FOutcome.Failed.push_back(what);
    }

    void UndoEntry(const TJournalEntry& e) {
        const std::vector<std::string>& a = e.Args;
        switch (e.Op) {
        case TJournalOp::Temp:
            if (IsFile(S, a[0]) && !RemoveFile(a[0])) Failed(e);
            break;
        case TJournalOp::NewFile:
            if (IsFile(S, a[0]) && !RemoveFile(a[0])) Failed(e);
            break;
        case TJournalOp::Aside:
            PutBack(e, a[0], a[1]);
            break;
        case TJournalOp::Dir:
        case TJournalOp::StageDir:
            RemoveFolder(a[0]);
            break;
        case TJournalOp::Key:
            if (S.KeyExists(a[0]) && !S.DeleteEmptyKey(a[0])) Failed(e);
            break;
        case TJournalOp::Value: {
            std::optional<TRegValue> old;
            if (!DecodeValue(a[2], old)) {
                Failed(e);
            } else if (old) {
                if (S.ReadValue(a[0], a[1]) != old && !S.WriteValue(a[0], a[1], *old)) Failed(e);
            } else if (S.ReadValue(a[0], a[1]) && !S.DeleteValue(a[0], a[1])) {
                Failed(e);
            }
            break;
        }
        case TJournalOp::ServiceStop:
            if (S.ServiceConfig(a[0]) && !S.ServiceRunning(a[0])) S.StartService(a[0], 15);
            break;
        case TJournalOp::ServiceStart:
            if (S.ServiceRunning(a[0])) S.StopService(a[0], 15);
            break;
        case TJournalOp::ServiceNew:
            if (S.ServiceConfig(a[0])) {
                if (S.ServiceRunning(a[0])) S.StopService(a[0], 15);
                if (!S.DeleteService(a[0])) Failed(e);
            }
            break;
        case TJournalOp::ServiceGone:
            if (!S.ServiceConfig(a[0]) && !S.CreateService(a[0], ServiceOf(a))) Failed(e);
            break;
        case TJournalOp::ServiceStartType:
            if (S.ServiceConfig(a[0]) && !S.SetServiceStartType(a[0], ParseNumber(a[1]))) Failed(e);
            break;
        case TJournalOp::MoveLater:
            S.CancelMoveAtRestart(a[0]);
            break;
        case TJournalOp::Void:
        case TJournalOp::Commit:
            break;
        }
    }

    // A path that reaches another place through a junction, symbolic link or
    // mount point in any of its folders (put there since the run wrote the
    // journal): nothing is removed or moved through it.
    bool ThroughLink(const std::string& path) {
        for (std::string at = RemoveTrailingBackslash(path);;) {
            const std::int32_t a = S.FileAttributes(at);
            if (a != -1 && (a & kReparsePointAttr)) return true;
            const std::string parent = ExtractFileDir(at);
            if (parent.empty() || parent == at) return false;
            at = parent;
        }
    }

    // The run's file at path goes. One that is held is renamed out of the way
    // and deleted at the next restart (the NT family renames a program that
    // runs); false when neither can be done.
    bool RemoveFile(const std::string& path) {
        if (ThroughLink(path)) return false;
        S.SetFileAttributes(path, 0);
        for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
            if (S.DeleteFile(path) || !Exists(S, path)) return true;
            S.Sleep(kDeleteRetryMs);
        }
        if (!S.NTFamily()) return false;
        const std::string away = FreeNameIn(S, FolderOf(path), "del");
        if (!S.RenameFile(path, away)) return false;
        if (RemoveAtRestart(away)) FOutcome.AtRestart.push_back(path);
        return true;
    }

    bool RemoveAtRestart(const std::string& path) {
        FScheduled.push_back(path);
        if (S.NTFamily()) return S.MoveAtRestart(S.PathAtRestart(path), "");
        FRenameLines.push_back({"NUL", S.PathAtRestart(path)});
        return true;
    }

    // A file of the run's staging folder moved into the folder of target, where
    // it may wait for the restart; the file itself when it cannot be moved.
    std::string BesideTarget(const std::string& file, const std::string& target) {
        const std::string moved = FreeNameIn(S, FolderOf(target), "old");
        return S.RenameFile(file, moved) ? moved : file;
    }

    // The file set aside goes back to path; what the run put there goes first.
    void PutBack(const TJournalEntry& e, const std::string& path, const std::string& aside) {
        if (!IsFile(S, aside)) return;
        if (ThroughLink(path) || ThroughLink(aside)) return Failed(e);
        if (IsFile(S, path) && !RemoveFile(path)) {
            // Held and not to be renamed: the old file comes back at the restart,
            // from beside its place (the 9x family removes no folder then, so
            // the run's staging folder must not be left holding it).
            const std::string from = S.NTFamily() ? aside : BesideTarget(aside, path);
            const bool scheduled = S.NTFamily() ? S.MoveAtRestart(S.PathAtRestart(from), S.PathAtRestart(path))
                                                : (FRenameLines.push_back({S.PathAtRestart(path), S.PathAtRestart(from)}), true);
            if (scheduled)
                FOutcome.AtRestart.push_back(path);
            else
                Failed(e);
            return;
        }
        if (!S.RenameFile(aside, path)) Failed(e);
    }

    // A folder the run made goes when empty; one that holds only files that go
    // at the restart follows them there (the NT family removes folders then).
    void RemoveFolder(const std::string& dir) {
        const std::int32_t a = S.FileAttributes(dir);
        if (a == -1 || !(a & kDirectoryAttr) || ThroughLink(dir) || S.RemoveDir(dir)) return;
        const std::string folder = AddTrailingBackslash(dir);
        const bool waits = std::any_of(FScheduled.begin(), FScheduled.end(), [&](const std::string& p) {
            return p.size() > folder.size() && SameText(p.substr(0, folder.size()), folder);
        });
        if (waits && S.NTFamily()) {
            S.MoveAtRestart(S.PathAtRestart(RemoveTrailingBackslash(dir)), "");
            FScheduled.push_back(folder);
        }
    }

    void WriteRenameLines() {
        if (FRenameLines.empty()) return;
        const std::string ini = S.WindowsDir() + "WinInit.ini";
        std::string text;
        if (IsFile(S, ini)) text = S.ReadFile(ini);
        ReplaceFileNow(S, ini, AddRenameLines(text, FRenameLines));
        FRenameLines.clear();
    }

    TSetupSystem& S;
    const std::vector<TJournalEntry>& E;
    std::set<std::size_t> FVoided;
    std::vector<std::string> FScheduled;
    std::vector<std::pair<std::string, std::string>> FRenameLines;
    TUndoOutcome FOutcome;
};

} // namespace

// ---- the file format --------------------------------------------------------------

std::string EncodeJournalLine(const TJournalEntry& entry) {
    std::string body = OpInfo(entry.Op)->Name;
    for (const std::string& a : entry.Args) body += "\t" + Escape(a);
    return Sealed(body);
}

bool DecodeJournalLine(std::string_view line, TJournalEntry& entry) {
    std::vector<std::string> fields;
    if (!Unseal(line, fields) || fields.empty()) return false;
    for (const TOpName& o : kOps) {
        if (fields[0] != o.Name) continue;
        if (fields.size() != o.Args + 1) return false;
        entry.Op = o.Op;
        entry.Args.assign(fields.begin() + 1, fields.end());
        if (o.Op == TJournalOp::Value) {
            std::optional<TRegValue> v;
            if (!DecodeValue(entry.Args[2], v)) return false;
        }
        return true;
    }
    return false;
}

bool ParseJournal(std::string_view text, TJournalContents& contents) {
    contents = TJournalContents{};
    std::size_t pos = 0;
    bool header = false;
    std::size_t index = 0;
    while (pos < text.size()) {
        const std::size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) break; // not whole
        const std::string_view line = text.substr(pos, eol - pos);
        pos = eol + 1;
        if (!header) {
            std::vector<std::string> fields;
            if (!Unseal(line, fields) || fields.size() != 3 || fields[0] != kHeaderName || fields[1] != kVersion)
                return false;
            contents.RegKey = fields[2];
            header = true;
            continue;
        }
        TJournalEntry e;
        if (!DecodeJournalLine(line, e)) break;
        // An entry voids only one that came before it.
        if (e.Op == TJournalOp::Void && ParseNumber(e.Args[0]) >= index) break;
        if (e.Op == TJournalOp::Commit) contents.Committed = true;
        contents.Entries.push_back(std::move(e));
        ++index;
    }
    return header;
}

std::string AddRenameLines(std::string_view iniText, const std::vector<std::pair<std::string, std::string>>& lines) {
    std::string added;
    for (const auto& [key, value] : lines) added += key + "=" + value + "\r\n";
    std::vector<std::string> all = SplitLines(iniText);
    // Where the [rename] section ends: before the next section, or at the end.
    std::size_t insertAt = all.size();
    bool found = false;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const std::string t = Trim(all[i]);
        if (!found) {
            if (SameText(t, "[rename]")) found = true;
        } else if (!t.empty() && t[0] == '[') {
            insertAt = i;
            break;
        }
    }
    std::string out;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (found && i == insertAt) out += added;
        out += all[i] + "\r\n";
    }
    if (!found) out += "[rename]\r\n" + added;
    else if (insertAt == all.size()) out += added;
    return out;
}

// ---- the journal ------------------------------------------------------------------------

TJournal::TJournal(TSetupSystem& system, std::string path, std::string regKey)
    : FSystem(system), FPath(std::move(path)), FRegKey(std::move(regKey)) {}

TJournal::~TJournal() {
    try {
        Close();
    } catch (...) {
    }
}

void TJournal::Close() {
    if (!FFile) return;
    std::unique_ptr<TNewFile> f = std::move(FFile);
    f->Close();
}

void TJournal::Begin(const std::vector<std::string>& ownDirs) {
    FFile = FSystem.CreateNewFile(FPath);
    if (!FFile) throw EFCreateError(Format("Cannot create file %s", FPath));
    FStarted = true;
    FEnded = false;
    FCount = 0;
    std::string text = Sealed(std::string(kHeaderName) + "\t" + kVersion + "\t" + Escape(FRegKey));
    for (const std::string& dir : ownDirs) {
        const std::string path = RemoveTrailingBackslash(dir);
        const std::int32_t a = FSystem.FileAttributes(path);
        if (a == -1 || !(a & kDirectoryAttr)) continue;
        text += EncodeJournalLine(TJournalEntry{TJournalOp::Dir, {path}});
        ++FCount;
    }
    FFile->WriteBuffer(text.data(), static_cast<std::int32_t>(text.size()));
    FFile->Flush();
}

void TJournal::Sync() {
    if (FFile) FFile->Flush();
}

std::size_t TJournal::Append(TJournalOp op, std::vector<std::string> args) {
    if (!FFile || !Active()) throw Exception("The installation's journal is not open");
    const std::string line = EncodeJournalLine(TJournalEntry{op, std::move(args)});
    FFile->WriteBuffer(line.data(), static_cast<std::int32_t>(line.size()));
    return FCount++;
}

std::string TJournal::FreeName(const std::string& folder, const char* ext) { return FreeNameIn(FSystem, folder, ext); }

bool TJournal::MakeDirs(const std::string& dir, std::vector<std::string>& made) {
    const std::string path = RemoveTrailingBackslash(dir);
    const std::int32_t a = FSystem.FileAttributes(path);
    if (a != -1) return (a & kDirectoryAttr) != 0;
    const std::string parent = ExtractFileDir(path);
    if (parent.empty() || parent == path) return false;
    if (!MakeDirs(parent, made)) return false;
    Append(TJournalOp::Dir, {path});
    if (!FSystem.CreateDir(path)) return FSystem.FileAttributes(path) != -1;
    made.push_back(AddTrailingBackslash(path));
    NoteName(path, true);
    FFolderNames[UpperCase(AddTrailingBackslash(path))]; // made now: empty
    return true;
}

std::string TJournal::StagingDirFor(const std::string& folder) {
    const std::string key = UpperCase(folder);
    auto it = FStagingDirs.find(key);
    if (it != FStagingDirs.end()) return it->second;
    for (int attempt = 0;; ++attempt) {
        const std::string dir = FreeName(folder, "stg");
        const std::size_t n = Append(TJournalOp::StageDir, {dir});
        if (FSystem.CreateDir(dir)) {
            FFolderNames[UpperCase(AddTrailingBackslash(dir))];
            return FStagingDirs[key] = AddTrailingBackslash(dir);
        }
        Append(TJournalOp::Void, {NumberText(n)});
        if (attempt >= 3) throw EFCreateError(Format("Cannot create file %s", dir));
    }
}

bool TJournal::NameTaken(const std::string& target) {
    const std::string folder = UpperCase(FolderOf(target));
    auto it = FFolderNames.find(folder);
    if (it == FFolderNames.end()) {
        std::set<std::string> names;
        for (const std::string& n : FSystem.FolderNames(FolderOf(target))) names.insert(UpperCase(n));
        it = FFolderNames.emplace(folder, std::move(names)).first;
    }
    return it->second.count(UpperCase(ExtractFileName(target))) != 0;
}

void TJournal::NoteName(const std::string& target, bool taken) {
    auto it = FFolderNames.find(UpperCase(FolderOf(target)));
    if (it == FFolderNames.end()) return;
    if (taken)
        it->second.insert(UpperCase(ExtractFileName(target)));
    else
        it->second.erase(UpperCase(ExtractFileName(target)));
}

TStagedFile TJournal::Stage(const std::string& target, bool beside) {
    TStagedFile staged;
    staged.Target = target;
    const std::string folder = beside ? FolderOf(target) : StagingDirFor(FolderOf(target));
    while (!staged.File) {
        staged.Path = FreeName(folder, "new");
        const std::size_t n = Append(TJournalOp::Temp, {staged.Path});
        staged.File = FSystem.CreateNewFile(staged.Path);
        // Taken between the look and the creation: not ours to remove.
        if (!staged.File) Append(TJournalOp::Void, {NumberText(n)});
    }
    return staged;
}

void TJournal::PlaceAll(std::vector<TStagedFile>& batch) {
    for (TStagedFile& staged : batch)
        if (staged.File) {
            staged.File->Close();
            staged.File.reset();
        }
    // What is set aside must be found again after a power loss: the journal
    // reaches the disk first. A new file that a lost journal does not name is
    // left over, but nothing is lost, so a clean install needs no wait here.
    bool synced = false;
    for (TStagedFile& staged : batch) {
        const std::string& target = staged.Target;
        staged.Existed = NameTaken(target);
        if (!staged.Existed) {
            const std::size_t n = Append(TJournalOp::NewFile, {target});
            if (FSystem.RenameFile(staged.Path, target)) {
                staged.Placed = true;
            } else if (FSystem.FileAttributes(target) != -1) {
                // There after all (a name that differs only in a case the listing did not fold).
                Append(TJournalOp::Void, {NumberText(n)});
                staged.Existed = true;
            } else {
                throw EFCreateError(Format("Cannot create file %s", target));
            }
        }
        if (staged.Existed) {
            if (!synced) {
                Sync();
                synced = true;
            }
            const std::string aside = FreeName(StagingDirFor(FolderOf(target)), "old");
            const std::size_t n = Append(TJournalOp::Aside, {target, aside});
            // A read-only file renames as any other.
            if (!FSystem.RenameFile(target, aside)) {
                Append(TJournalOp::Void, {NumberText(n)});
                throw EFCreateError(Format("Cannot create file %s", target));
            }
            if (!FSystem.RenameFile(staged.Path, target)) throw EFCreateError(Format("Cannot create file %s", target));
            staged.Placed = true;
        }
        NoteName(target, true);
        if (staged.Attributes != 0) FSystem.SetFileAttributes(target, staged.Attributes);
    }
}

bool TJournal::Place(TStagedFile& staged, std::int32_t attributes) {
    staged.Attributes = attributes;
    std::vector<TStagedFile> one;
    one.push_back(std::move(staged));
    PlaceAll(one);
    staged = std::move(one.front());
    return staged.Existed;
}

bool TJournal::PlaceAtRestart(TStagedFile& staged) {
    if (staged.File) {
        staged.File->Close();
        staged.File.reset();
    }
    const std::string from = FSystem.PathAtRestart(staged.Path);
    const std::string to = FSystem.PathAtRestart(staged.Target);
    if (!FSystem.NTFamily()) {
        FRenameLines.push_back({to, from});
        return true;
    }
    Sync();
    Append(TJournalOp::MoveLater, {from, to});
    return FSystem.MoveAtRestart(from, to);
}

void TJournal::WriteRenameLines(const std::string& winInitPath) {
    if (FRenameLines.empty()) return;
    std::string text;
    if (IsFile(FSystem, winInitPath)) text = FSystem.ReadFile(winInitPath);
    WriteFile(winInitPath, AddRenameLines(text, FRenameLines));
    FRenameLines.clear();
}

bool TJournal::WriteFile(const std::string& path, std::string_view bytes, std::int32_t attributes) {
    TStagedFile staged = Stage(path);
    staged.File->WriteBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    return Place(staged, attributes);
}

bool TJournal::MakeKeys(const std::string& key, std::vector<std::string>& made) {
    if (key.empty()) return false;
    if (FSystem.KeyExists(key)) return true;
    const std::size_t slash = key.find_last_of('\\');
    if (slash != std::string::npos && !MakeKeys(key.substr(0, slash), made)) return false;
    Append(TJournalOp::Key, {key});
    if (!FSystem.CreateKey(key)) return false;
    made.push_back(key);
    return true;
}

void TJournal::SetValue(const std::string& key, const std::string& name, const TRegValue& value) {
    const std::optional<TRegValue> old = FSystem.ReadValue(key, name);
    if (old) Sync();
    Append(TJournalOp::Value, {key, name, EncodeValue(old)});
    if (!FSystem.WriteValue(key, name, value)) throw Exception(Format("Failed to set data for '%s'", name));
}

bool TJournal::StopService(const std::string& name, int timeoutSeconds) {
    if (!FSystem.ServiceRunning(name)) return false;
    Append(TJournalOp::ServiceStop, {name});
    FSystem.StopService(name, timeoutSeconds);
    return true;
}

bool TJournal::StartService(const std::string& name, int timeoutSeconds) {
    if (FSystem.ServiceRunning(name)) return true;
    Append(TJournalOp::ServiceStart, {name});
    return FSystem.StartService(name, timeoutSeconds);
}

bool TJournal::SetServiceStartType(const std::string& name, std::uint32_t startType) {
    const std::optional<TServiceConfig> config = FSystem.ServiceConfig(name);
    if (!config) return false;
    if (config->StartType == startType) return true;
    Append(TJournalOp::ServiceStartType, {name, NumberText(config->StartType)});
    return FSystem.SetServiceStartType(name, startType);
}

void TJournal::ServiceAboutToRegister(const std::string& name) { Append(TJournalOp::ServiceNew, {name}); }

void TJournal::ServiceAboutToGo(const std::string& name, const TServiceConfig& config) {
    std::vector<std::string> args{name};
    for (std::string& f : ServiceFields(config)) args.push_back(std::move(f));
    Sync();
    Append(TJournalOp::ServiceGone, std::move(args));
}

TUndoOutcome TJournal::Commit() {
    if (!Active()) return {};
    Append(TJournalOp::Commit, {});
    Sync();
    // From here on the run is done, whatever happens to the clean-up: a journal
    // left now is committed again at the next start.
    return End(true);
}

TUndoOutcome TJournal::Rollback() {
    if (!Active()) return {};
    return End(false);
}

TUndoOutcome TJournal::End(bool committed) {
    FEnded = true;
    try {
        Close();
    } catch (const Exception&) {
        // What reached the file is what the end works from.
    }
    TJournalContents contents;
    ParseJournal(FSystem.ReadFile(FPath), contents);
    TJournalEnd end(FSystem, contents.Entries);
    TUndoOutcome outcome = committed ? end.DropSetAside() : end.Undo();
    FSystem.DeleteFile(FPath);
    return outcome;
}

TJournal::TRecovery TJournal::Recover(TSetupSystem& system, const std::string& path, const std::string& regKey,
                                      TUndoOutcome& outcome) {
    outcome = TUndoOutcome{};
    if (!IsFile(system, path)) return TRecovery::None;
    TJournalContents contents;
    if (!ParseJournal(system.ReadFile(path), contents)) {
        // Stopped while its header was written: nothing was changed yet.
        system.DeleteFile(path);
        return TRecovery::None;
    }
    if (!SameText(contents.RegKey, regKey)) return TRecovery::None;
    TJournalEnd end(system, contents.Entries);
    outcome = contents.Committed ? end.DropSetAside() : end.Undo();
    system.DeleteFile(path);
    return contents.Committed ? TRecovery::Committed : TRecovery::RolledBack;
}

} // namespace kx
