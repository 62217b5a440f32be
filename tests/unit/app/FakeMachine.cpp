// The machine in memory that the run's tests change, fail and stop.
#include "unit/app/FakeMachine.h"

#include <algorithm>

#include "base/Exception.h"
#include "base/Text.h"
#include "sys/Paths.h"

namespace kxtest {

using kx::UpperCase;

namespace {

std::string Key(const std::string& path) { return UpperCase(kx::RemoveTrailingBackslash(path)); }

std::string ParentOf(const std::string& path) { return kx::ExtractFileDir(kx::RemoveTrailingBackslash(path)); }

std::string ParentKey(const std::string& key) {
    const std::size_t slash = key.find_last_of('\\');
    return slash == std::string::npos ? std::string() : key.substr(0, slash);
}

// The program of a command line: the quoted part, else the first word.
std::string ProgramOf(const std::string& command) {
    if (!command.empty() && command[0] == '"') return command.substr(1, command.find('"', 1) - 1);
    return command.substr(0, command.find(' '));
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

class TFakeNewFile : public kx::TNewFile {
public:
    TFakeNewFile(TFakeMachine& m, std::string key) : M(m), FKey(std::move(key)) {}

    std::int32_t Read(void*, std::int32_t) override { return 0; }

    std::int32_t Write(const void* buffer, std::int32_t count) override {
        if (count <= 0 || FClosed || !M.Change(TChange::WriteFile)) return 0;
        auto it = M.State.Files.find(FKey);
        if (it == M.State.Files.end()) return 0;
        std::string& bytes = it->second.Bytes;
        std::int64_t n = count;
        if (M.DiskFree >= 0) {
            const std::int64_t grow = std::max<std::int64_t>(0, FPos + count - static_cast<std::int64_t>(bytes.size()));
            const std::int64_t room = M.DiskFree - M.Used();
            if (grow > room) n = std::max<std::int64_t>(0, count - (grow - room));
        }
        if (FPos + n > static_cast<std::int64_t>(bytes.size())) bytes.resize(static_cast<std::size_t>(FPos + n));
        bytes.replace(static_cast<std::size_t>(FPos), static_cast<std::size_t>(n), static_cast<const char*>(buffer),
                      static_cast<std::size_t>(n));
        FPos += n;
        return static_cast<std::int32_t>(n);
    }

    std::int64_t Seek(std::int64_t offset, kx::TSeekOrigin origin) override {
        M.Alive();
        auto it = M.State.Files.find(FKey);
        const std::int64_t size = it == M.State.Files.end() ? 0 : static_cast<std::int64_t>(it->second.Bytes.size());
        const std::int64_t base = origin == kx::TSeekOrigin::soBeginning ? 0
                                  : origin == kx::TSeekOrigin::soCurrent ? FPos
                                                                         : size;
        FPos = std::max<std::int64_t>(0, base + offset);
        return FPos;
    }

    void SetSize(std::int64_t) override { throw kx::EWriteError(); }
    void SetDate(kx::TDateTime localTime) override { FDate = localTime; }

    void Flush() override {
        if (!FClosed && !M.Change(TChange::CloseFile)) throw kx::EWriteError();
    }

    void Close() override {
        if (FClosed) return;
        FClosed = true;
        if (!M.Change(TChange::CloseFile)) throw kx::EWriteError();
        auto it = M.State.Files.find(FKey);
        if (it != M.State.Files.end()) it->second.Date = FDate;
    }

private:
    TFakeMachine& M;
    std::string FKey;
    std::int64_t FPos = 0;
    kx::TDateTime FDate = 0;
    bool FClosed = false;
};

} // namespace

TMachineState AfterRestart(const TMachineState& state) {
    TFakeMachine m;
    m.State = state;
    m.Restart();
    return m.State;
}

std::string Differences(const TMachineState& before, const TMachineState& after) {
    std::string out;
    auto line = [&out](const std::string& s) { out += s + "\n"; };
    for (const auto& [k, f] : before.Files) {
        auto it = after.Files.find(k);
        if (it == after.Files.end())
            line("file gone: " + f.Path);
        else if (it->second.Bytes != f.Bytes)
            line("file changed: " + f.Path + " (" + std::to_string(f.Bytes.size()) + " -> " +
                 std::to_string(it->second.Bytes.size()) + " bytes)");
        else if (!(it->second == f))
            line("file attributes or date changed: " + f.Path);
    }
    for (const auto& [k, f] : after.Files)
        if (!before.Files.count(k)) line("file added: " + f.Path);
    for (const auto& [k, d] : before.Dirs)
        if (!after.Dirs.count(k)) line("folder gone: " + d);
    for (const auto& [k, d] : after.Dirs)
        if (!before.Dirs.count(k)) line("folder added: " + d);
    for (const auto& [k, values] : before.Keys) {
        auto it = after.Keys.find(k);
        if (it == after.Keys.end()) {
            line("key gone: " + k);
            continue;
        }
        for (const auto& [n, v] : values) {
            auto vi = it->second.find(n);
            if (vi == it->second.end())
                line("value gone: " + k + " " + n);
            else if (!(vi->second == v))
                line("value changed: " + k + " " + n);
        }
        for (const auto& [n, v] : it->second)
            if (!values.count(n)) line("value added: " + k + " " + n);
    }
    for (const auto& [k, values] : after.Keys)
        if (!before.Keys.count(k)) line("key added: " + k);
    for (const auto& [k, s] : before.Services) {
        auto it = after.Services.find(k);
        if (it == after.Services.end())
            line("service gone: " + k);
        else if (!(it->second == s))
            line("service changed: " + k + (it->second.Running != s.Running ? " (running)" : " (configuration)"));
    }
    for (const auto& [k, s] : after.Services)
        if (!before.Services.count(k)) line("service added: " + k);
    if (before.PendingMoves != after.PendingMoves)
        line("pending renames: " + std::to_string(before.PendingMoves.size()) + " -> " +
             std::to_string(after.PendingMoves.size()));
    return out;
}

TFakeMachine::TFakeMachine() {
    for (const char* d : {"C", "C/WINDOWS", "C/WINDOWS/system32", "C/Program Files", "C/Program Files/Common Files",
                          "C/Documents and Settings", "C/Documents and Settings/All Users",
                          "C/Documents and Settings/All Users/Start Menu",
                          "C/Documents and Settings/All Users/Start Menu/Programs"})
        PutDir(Root() + d);
    for (const char* k : {"SOFTWARE", "SOFTWARE\\Microsoft", "SOFTWARE\\Microsoft\\Windows",
                          "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                          "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", "SYSTEM"})
        State.Keys[UpperCase(k)];
}

std::string TFakeMachine::Root() { return "/"; }

void TFakeMachine::Revive() {
    FKilled = false;
    FStopAt = 0;
    FFailAt = 0;
    FCounts.clear();
}

int TFakeMachine::Changes(TChange kind) const {
    auto it = FCounts.find(kind);
    return it == FCounts.end() ? 0 : it->second;
}

void TFakeMachine::Alive() const {
    if (FKilled) throw TKilled{};
}

bool TFakeMachine::Change(TChange kind) {
    Alive();
    const int any = ++FCounts[TChange::Any];
    const int own = kind == TChange::Any ? any : ++FCounts[kind];
    if (FStopAt && any == FStopAt) {
        FKilled = true;
        throw TKilled{};
    }
    return !(FFailAt && (FFailKind == TChange::Any ? any : (kind == FFailKind ? own : -1)) == FFailAt);
}

std::int64_t TFakeMachine::Used() const {
    std::int64_t n = 0;
    for (const auto& [k, f] : State.Files) n += static_cast<std::int64_t>(f.Bytes.size());
    return n;
}

void TFakeMachine::PutFile(const std::string& path, const std::string& bytes, std::int32_t attr) {
    State.Files[Key(path)] = TFakeFile{path, bytes, attr, 0};
}

void TFakeMachine::PutDir(const std::string& path) {
    State.Dirs[Key(path)] = kx::RemoveTrailingBackslash(path);
}

bool TFakeMachine::HasFile(const std::string& path) const { return State.Files.count(Key(path)) != 0; }

std::string TFakeMachine::FileBytes(const std::string& path) const {
    auto it = State.Files.find(Key(path));
    return it == State.Files.end() ? std::string() : it->second.Bytes;
}

std::optional<TRegValue> TFakeMachine::Value(const std::string& key, const std::string& name) const {
    auto k = State.Keys.find(UpperCase(key));
    if (k == State.Keys.end()) return std::nullopt;
    auto v = k->second.find(UpperCase(name));
    if (v == k->second.end()) return std::nullopt;
    return v->second;
}

void TFakeMachine::PutValue(const std::string& key, const std::string& name, const TRegValue& value) {
    for (std::string k = UpperCase(key); !k.empty(); k = ParentKey(k)) State.Keys[k];
    State.Keys[UpperCase(key)][UpperCase(name)] = value;
}

void TFakeMachine::Restart() {
    Locked.clear();
    Running.clear();
    for (const auto& [from, to] : State.PendingMoves) {
        if (to.empty()) {
            State.Files.erase(Key(from));
            State.Dirs.erase(Key(from));
            continue;
        }
        auto it = State.Files.find(Key(from));
        if (it == State.Files.end()) continue;
        TFakeFile f = it->second;
        State.Files.erase(it);
        f.Path = to;
        State.Files[Key(to)] = f;
    }
    State.PendingMoves.clear();
    // The 9x family: WinInit.ini's [rename] lines, then the file goes.
    const std::string ini = WindowsDir() + "WinInit.ini";
    auto it = State.Files.find(Key(ini));
    if (it == State.Files.end()) return;
    bool inRename = false;
    for (const std::string& line : kx::SplitLines(it->second.Bytes)) {
        const std::string t = kx::Trim(line);
        if (!t.empty() && t[0] == '[') {
            inRename = kx::SameText(t, "[rename]");
            continue;
        }
        const std::size_t eq = t.find('=');
        if (!inRename || eq == std::string::npos) continue;
        const std::string key = t.substr(0, eq), value = t.substr(eq + 1);
        if (kx::SameText(key, "NUL")) {
            State.Files.erase(Key(value));
            continue;
        }
        auto src = State.Files.find(Key(value));
        if (src == State.Files.end()) continue;
        TFakeFile f = src->second;
        State.Files.erase(src);
        f.Path = key;
        State.Files[Key(key)] = f;
    }
    State.Files.erase(Key(ini));
}

// ---- TSetupSystem ------------------------------------------------------------------

bool TFakeMachine::NTFamily() {
    Alive();
    return NT;
}
std::string TFakeMachine::WindowsDir() { return Root() + "C/WINDOWS/"; }
std::string TFakeMachine::SystemDir() { return Root() + "C/WINDOWS/system32/"; }
std::string TFakeMachine::CommonFilesDir() { return Root() + "C/Program Files/Common Files/"; }
std::string TFakeMachine::ProgramGroupDir(const std::string& groupName) {
    return Root() + "C/Documents and Settings/All Users/Start Menu/Programs/" + groupName + "/";
}
bool TFakeMachine::WindowOfClassExists(const std::string& className) {
    Alive();
    return WindowClasses.count(className) != 0;
}
std::string TFakeMachine::PathAtRestart(const std::string& path) { return path; }

std::int32_t TFakeMachine::FileAttributes(const std::string& path) {
    Alive();
    if (State.Dirs.count(Key(path))) return ReparsePoints.count(Key(path)) ? 0x410 : 0x10;
    auto it = State.Files.find(Key(path));
    if (it == State.Files.end()) return -1;
    return it->second.Attr == 0 ? 0x80 : it->second.Attr;
}

bool TFakeMachine::SetFileAttributes(const std::string& path, std::int32_t attributes) {
    if (!Change(TChange::Attributes)) return false;
    auto it = State.Files.find(Key(path));
    if (it == State.Files.end()) return false;
    it->second.Attr = attributes == 0x80 ? 0 : attributes;
    return true;
}

std::int64_t TFakeMachine::FileSize(const std::string& path) {
    Alive();
    auto it = State.Files.find(Key(path));
    return it == State.Files.end() ? -1 : static_cast<std::int64_t>(it->second.Bytes.size());
}

std::unique_ptr<kx::TNewFile> TFakeMachine::CreateNewFile(const std::string& path) {
    if (!Change(TChange::CreateFile)) throw kx::EFCreateError("Cannot create file " + path);
    const std::string key = Key(path);
    if (State.Files.count(key) || State.Dirs.count(key)) return nullptr;
    if (!State.Dirs.count(Key(ParentOf(path)))) throw kx::EFCreateError("Cannot create file " + path);
    State.Files[key] = TFakeFile{path, std::string(), 0, 0};
    return std::make_unique<TFakeNewFile>(*this, key);
}

std::string TFakeMachine::ReadFile(const std::string& path) {
    Alive();
    auto it = State.Files.find(Key(path));
    if (it == State.Files.end() || Locked.count(Key(path))) throw kx::EFOpenError("Cannot open file " + path);
    return it->second.Bytes;
}

bool TFakeMachine::RenameFile(const std::string& from, const std::string& to) {
    if (!Change(TChange::Rename)) return false;
    const std::string kf = Key(from), kt = Key(to);
    auto it = State.Files.find(kf);
    // The 9x family renames no program that runs.
    if (it == State.Files.end() || Locked.count(kf) || (!NT && Running.count(kf)) || State.Files.count(kt) ||
        State.Dirs.count(kt) || !State.Dirs.count(Key(ParentOf(to))))
        return false;
    TFakeFile f = it->second;
    State.Files.erase(it);
    f.Path = to;
    State.Files[kt] = f;
    if (Running.erase(kf)) Running.insert(kt);
    return true;
}

bool TFakeMachine::DeleteFile(const std::string& path) {
    if (!Change(TChange::Delete)) return false;
    const std::string k = Key(path);
    auto it = State.Files.find(k);
    if (it == State.Files.end() || Locked.count(k) || Running.count(k) || (it->second.Attr & 1)) return false;
    State.Files.erase(it);
    return true;
}

bool TFakeMachine::CreateDir(const std::string& path) {
    if (!Change(TChange::Dir)) return false;
    const std::string k = Key(path);
    if (State.Dirs.count(k) || State.Files.count(k) || !State.Dirs.count(Key(ParentOf(path)))) return false;
    State.Dirs[k] = kx::RemoveTrailingBackslash(path);
    return true;
}

bool TFakeMachine::RemoveDir(const std::string& path) {
    if (!Change(TChange::Dir)) return false;
    const std::string k = Key(path);
    if (!State.Dirs.count(k)) return false;
    const std::string prefix = k + "/";
    auto inside = [&prefix](const auto& entry) { return entry.first.compare(0, prefix.size(), prefix) == 0; };
    if (std::any_of(State.Files.begin(), State.Files.end(), inside) ||
        std::any_of(State.Dirs.begin(), State.Dirs.end(), inside))
        return false;
    State.Dirs.erase(k);
    return true;
}

std::string TFakeMachine::VersionResource(const std::string& path) {
    Alive();
    auto it = Versions.find(Key(path));
    return it == Versions.end() ? std::string() : it->second;
}

std::vector<std::string> TFakeMachine::FolderNames(const std::string& dir) {
    Alive();
    std::vector<std::string> names;
    const std::string prefix = Key(dir) + "/";
    auto collect = [&](const std::string& key, const std::string& path) {
        if (key.size() > prefix.size() && key.compare(0, prefix.size(), prefix) == 0 &&
            key.find('/', prefix.size()) == std::string::npos)
            names.push_back(kx::ExtractFileName(path));
    };
    for (const auto& [k, f] : State.Files) collect(k, f.Path);
    for (const auto& [k, d] : State.Dirs) collect(k, d);
    return names;
}

bool TFakeMachine::MoveAtRestart(const std::string& from, const std::string& to) {
    if (!Change(TChange::AtRestart) || !NT) return false;
    State.PendingMoves.push_back({from, to});
    return true;
}

void TFakeMachine::CancelMoveAtRestart(const std::string& from) {
    Change(TChange::AtRestart);
    auto& moves = State.PendingMoves;
    moves.erase(std::remove_if(moves.begin(), moves.end(),
                               [&](const auto& m) { return kx::SameText(m.first, from); }),
                moves.end());
}

bool TFakeMachine::KeyExists(const std::string& key) {
    Alive();
    return State.Keys.count(UpperCase(key)) != 0;
}

bool TFakeMachine::CreateKey(const std::string& key) {
    if (!Change(TChange::Registry)) return false;
    const std::string k = UpperCase(key), parent = ParentKey(k);
    if (!parent.empty() && !State.Keys.count(parent)) return false;
    State.Keys[k];
    return true;
}

bool TFakeMachine::DeleteEmptyKey(const std::string& key) {
    if (!Change(TChange::Registry)) return false;
    const std::string k = UpperCase(key);
    auto it = State.Keys.find(k);
    if (it == State.Keys.end()) return true;
    if (!it->second.empty()) return false;
    for (const auto& [other, values] : State.Keys)
        if (ParentKey(other) == k) return false;
    State.Keys.erase(it);
    return true;
}

std::optional<TRegValue> TFakeMachine::ReadValue(const std::string& key, const std::string& name) {
    Alive();
    return Value(key, name);
}

bool TFakeMachine::WriteValue(const std::string& key, const std::string& name, const TRegValue& value) {
    if (!Change(TChange::Registry)) return false;
    auto it = State.Keys.find(UpperCase(key));
    if (it == State.Keys.end()) return false;
    it->second[UpperCase(name)] = value;
    return true;
}

bool TFakeMachine::DeleteValue(const std::string& key, const std::string& name) {
    if (!Change(TChange::Registry)) return false;
    auto it = State.Keys.find(UpperCase(key));
    return it != State.Keys.end() && it->second.erase(UpperCase(name)) != 0;
}

std::optional<TServiceConfig> TFakeMachine::ServiceConfig(const std::string& name) {
    Alive();
    auto it = State.Services.find(UpperCase(name));
    if (it == State.Services.end()) return std::nullopt;
    return it->second.Config;
}

bool TFakeMachine::ServiceRunning(const std::string& name) {
    Alive();
    auto it = State.Services.find(UpperCase(name));
    return it != State.Services.end() && it->second.Running;
}

bool TFakeMachine::StartService(const std::string& name, int) {
    if (!Change(TChange::Service)) return false;
    auto it = State.Services.find(UpperCase(name));
    if (it == State.Services.end() || !HasFile(ProgramOf(it->second.Config.ImagePath))) return false;
    it->second.Running = true;
    return true;
}

bool TFakeMachine::StopService(const std::string& name, int) {
    if (!Change(TChange::Service)) return false;
    auto it = State.Services.find(UpperCase(name));
    if (it == State.Services.end()) return false;
    it->second.Running = false;
    return true;
}

bool TFakeMachine::SetServiceStartType(const std::string& name, std::uint32_t startType) {
    if (!Change(TChange::Service)) return false;
    auto it = State.Services.find(UpperCase(name));
    if (it == State.Services.end()) return false;
    it->second.Config.StartType = startType;
    return true;
}

bool TFakeMachine::CreateService(const std::string& name, const TServiceConfig& config) {
    if (!Change(TChange::Service)) return false;
    if (State.Services.count(UpperCase(name))) return false;
    State.Services[UpperCase(name)] = TFakeService{config, false};
    return true;
}

bool TFakeMachine::DeleteService(const std::string& name) {
    if (!Change(TChange::Service)) return false;
    return State.Services.erase(UpperCase(name)) != 0;
}

unsigned long TFakeMachine::ServiceNotRunningReason(const std::string& name) {
    return ServiceRunning(name) ? 0 : 1062;
}

kx::TRunOutcome TFakeMachine::RunProgram(const std::string&, const std::string& commandLine) {
    kx::TRunOutcome out;
    if (!Change(TChange::Service)) {
        out.Error = 2;
        return out;
    }
    ProgramsRun.push_back(commandLine);
    const std::string program = ProgramOf(commandLine);
    if (!HasFile(program)) {
        out.Error = 2;
        return out;
    }
    out.Started = out.Ended = true;
    auto known = ServicePrograms.find(Key(program));
    if (EndsWith(commandLine, "/install /silent") && known != ServicePrograms.end()) {
        State.Services[UpperCase(known->second.first)] = TFakeService{known->second.second, false};
    } else if (EndsWith(commandLine, "/uninstall /silent")) {
        for (auto it = State.Services.begin(); it != State.Services.end();)
            it = kx::SameText(ProgramOf(it->second.Config.ImagePath), program) ? State.Services.erase(it) : std::next(it);
    }
    return out;
}

std::string TFakeMachine::ErrorText(unsigned long code) { return "error " + std::to_string(code); }

bool TFakeMachine::SaveShortcut(const std::string& target, const std::string& description,
                                const std::string& linkFile, const std::string& arguments) {
    if (!Change(TChange::Shortcut)) return false;
    auto it = State.Files.find(Key(linkFile));
    if (it == State.Files.end()) return false;
    it->second.Bytes = "LNK " + target + (arguments.empty() ? "" : " " + arguments) + "|" + description;
    return true;
}

void TFakeMachine::OpenFolder(const std::string& dir) {
    Alive();
    FoldersOpened.push_back(dir);
}

void TFakeMachine::Sleep(unsigned) { Alive(); }

} // namespace kxtest
