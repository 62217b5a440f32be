// The diagnostic log file and its rotation.
#include "sys/SysLog.h"

#include "base/Exception.h"
#include "base/Format.h"
#include "base/Text.h"
#include "sys/Files.h"
#include "sys/Paths.h"

namespace kx {

namespace {
bool gLogEnabled = false;
constexpr std::size_t kMaxLines = 1000;

std::string Two(int v) { return Format("%2.2d", v); }
} // namespace

bool LogEnabled() { return gLogEnabled; }
void SetLogEnabled(bool enabled) { gLogEnabled = enabled; }

void WriteSysLog(const std::string& text, bool force) {
    if (!gLogEnabled && !force) return;
    std::string logPath = GetProgramPath() + "SysLog.txt";
    std::vector<std::string> lines;
    if (FileExists(logPath)) lines = SplitLines(LoadFileToString(logPath));

    DateTimeParts t = DecodeDateTime(Now());
    char sep = TimeSeparator();
    lines.push_back(Two(t.Year % 100) + "-" + Two(t.Month) + "-" + Two(t.Day) + " " + Two(t.Hour) + sep +
                    Two(t.Minute) + sep + Two(t.Second) + " " + text);

    auto join = [](const std::vector<std::string>& ls) {
        std::string s;
        for (const auto& l : ls) s += l + "\r\n";
        return s;
    };
    if (lines.size() > kMaxLines) {
        // The name has minute resolution: a second rotation in the same minute gets
        // a number instead of overwriting the first.
        const std::string stamp =
            GetProgramPath() + Two(t.Year % 100) + Two(t.Month) + Two(t.Day) + Two(t.Hour) + Two(t.Minute);
        std::string archive = stamp + ".txt";
        for (int n = 1; FileExists(archive) || DirectoryExists(archive); ++n)
            archive = stamp + "-" + std::to_string(n) + ".txt";
        SaveStringToFile(archive, join(lines));
        lines.clear();
    }
    SaveStringToFile(logPath, join(lines));
}

void LogErrorAndAbort(const std::string& text) {
    WriteSysLog("Error: " + text, true);
    Abort();
}

} // namespace kx
