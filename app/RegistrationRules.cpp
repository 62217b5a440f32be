// Registration's decisions over the wizard's fields: portable, so they are unit-tested natively.
#include "app/RegistrationRules.h"

#include "base/Mbcs.h"
#include "base/Text.h"
#include "base/WinPaths.h"
#include "crypt/Sha256.h"

namespace kx {

namespace {

// The value of the first "name=value" line whose name equals name (without regard to case).
std::string ValueOfFirst(const std::vector<std::string>& lines, const std::string& name) {
    for (const std::string& line : lines) {
        std::size_t eq = line.find('=');
        if (eq != std::string::npos && SameText(line.substr(0, eq), name)) return line.substr(eq + 1);
    }
    return std::string();
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
    for (const std::string& s : list)
        if (SameText(s, item)) return true;
    return false;
}

std::uint32_t ReadLE32(std::string_view s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
    return v;
}

std::uint16_t ReadLE16(std::string_view s, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(s[at]) |
                                      (static_cast<unsigned char>(s[at + 1]) << 8));
}

} // namespace

std::string RecordDigest(std::string_view fileBytes) { return Sha256Hex(fileBytes); }

std::string UninstallerArguments(const std::string& installDir, unsigned codePage) {
    return "\"" + WithoutTrailingDelim(installDir, codePage) + "\"";
}

std::string BuildUnInstIni(const TSetupFields& f) {
    std::string text = "[Reg]\r\nRegKey=" + f.FRegKey + "\r\n\r\n[Service]\r\n";
    for (const std::string& service : f.FServices) text += service + "=True\r\n";
    if (!f.FFindClass.empty()) {
        std::string names;
        for (std::size_t i = 0; i < f.FReNameList.size(); ++i) names += (i ? ";" : "") + f.FReNameList[i];
        text += "[Common]\r\nFINDCLASS=" + f.FFindClass + "\r\nReNameList=" + names + "\r\n";
    }
    return text;
}

void SplitShortcutName(const std::string& name, unsigned codePage, std::string& subFolder, std::string& title) {
    std::size_t p = FirstDelimiter("\\", name, codePage);
    if (p == std::string::npos) {
        subFolder.clear();
        title = name;
    } else {
        subFolder = name.substr(0, p);
        title = name.substr(p + 1);
    }
}

std::vector<TShortcutPlan> SelectShortcuts(const TSetupFields& f, unsigned codePage) {
    std::vector<TShortcutPlan> plans;
    for (const std::string& line : f.FLinks) {
        std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string name = line.substr(0, eq);
        const std::string file = ValueOfFirst(f.FLinks, name);
        if (!Contains(f.FSelFiles, file)) continue;
        TShortcutPlan plan;
        SplitShortcutName(name, codePage, plan.SubFolder, plan.Title);
        plan.File = file;
        plans.push_back(std::move(plan));
    }
    return plans;
}

std::string QuotedCommand(const std::string& program, std::string_view switches) {
    return "\"" + program + "\" " + std::string(switches);
}

std::string ServiceProgramOf(const std::string& imagePath, const std::function<bool(const std::string&)>& fileExists) {
    std::size_t start = imagePath.find_first_not_of(" \t");
    if (start == std::string::npos) return std::string();
    if (imagePath[start] == '"') {
        std::size_t close = imagePath.find('"', start + 1);
        return imagePath.substr(start + 1, close == std::string::npos ? std::string::npos : close - start - 1);
    }
    const std::string line = imagePath.substr(start);
    // Blanks and quotes are below every trail byte of the double-byte code pages,
    // so a plain byte search finds only real ones.
    for (std::size_t blank = line.find(' '); blank != std::string::npos; blank = line.find(' ', blank + 1)) {
        std::string part = line.substr(0, blank);
        const std::size_t dot = part.find_last_of(".\\");
        if (dot == std::string::npos || part[dot] != '.') part += ".exe";
        if (fileExists(part)) return part;
    }
    return line;
}

std::string AbsoluteServiceFile(const std::string& installDir, const std::string& serviceFile) {
    const bool absolute = (serviceFile.size() >= 2 && serviceFile[1] == ':') ||
                          (!serviceFile.empty() && serviceFile[0] == '\\');
    return absolute ? serviceFile : installDir + serviceFile;
}

std::vector<TAutoRegValue> SelectAutoRegValues(const TSetupFields& f) {
    std::vector<TAutoRegValue> values;
    for (const std::string& entry : f.FAutoReg) {
        std::vector<std::string> parts = SplitText(entry, ';');
        if (parts.size() != 3) continue;
        values.push_back(TAutoRegValue{parts[0], parts[1], f.FInstallDir + parts[2]});
    }
    return values;
}

std::vector<std::string> KeyPathChain(const std::string& key, unsigned codePage) {
    std::vector<std::string> chain;
    std::size_t from = 0;
    while (from < key.size()) {
        std::size_t p = FirstDelimiter("\\", std::string_view(key).substr(from), codePage);
        std::size_t end = p == std::string::npos ? key.size() : from + p;
        if (end > from) chain.push_back(key.substr(0, end));
        from = end + 1;
    }
    return chain;
}

bool AddRecord(std::vector<std::string>& records, const std::string& item) {
    if (Contains(records, item)) return false;
    records.push_back(item);
    return true;
}

std::vector<TPlacedFile> SharedFilesOf(const std::vector<TPlacedFile>& placed) {
    std::vector<TPlacedFile> shared;
    std::vector<std::string> seen;
    for (const TPlacedFile& p : placed)
        if ((p.Letter == 'S' || p.Letter == 'C') && AddRecord(seen, p.Path)) shared.push_back(p);
    return shared;
}

std::uint32_t NextSharedCount(std::optional<std::uint32_t> stored, bool existedBefore) {
    if (stored) return *stored + 1;
    return existedBefore ? 2 : 1;
}

std::uint32_t EstimatedSizeKiB(const std::vector<TPlacedFile>& placed, std::uint64_t extraBytes) {
    std::uint64_t bytes = extraBytes;
    std::vector<std::string> seen;
    for (const TPlacedFile& p : placed)
        if (AddRecord(seen, p.Path)) bytes += p.Size;
    const std::uint64_t kib = (bytes + 1023) / 1024;
    return kib > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(kib);
}

std::optional<std::uint64_t> FixedFileVersion(std::string_view res) {
    // VS_VERSIONINFO: wLength, wValueLength, wType, the UTF-16 key "VS_VERSION_INFO"
    // with its terminator (32 bytes), padding to offset 40, then VS_FIXEDFILEINFO
    // (52 bytes): signature, structure version, file version MS and LS.
    constexpr std::size_t kFixed = 40, kFixedSize = 52;
    constexpr char kKey[] = "VS_VERSION_INFO";
    if (res.size() < kFixed + kFixedSize || ReadLE16(res, 2) < kFixedSize) return std::nullopt;
    for (std::size_t i = 0; i < sizeof kKey; ++i)
        if (ReadLE16(res, 6 + 2 * i) != static_cast<unsigned char>(kKey[i])) return std::nullopt;
    if (ReadLE32(res, kFixed) != 0xFEEF04BDu) return std::nullopt;
    return (static_cast<std::uint64_t>(ReadLE32(res, kFixed + 8)) << 32) | ReadLE32(res, kFixed + 12);
}

bool MayReplaceByVersion(std::optional<std::uint64_t> ours, std::optional<std::uint64_t> existing) {
    return ours.value_or(0) >= existing.value_or(0);
}

} // namespace kx
