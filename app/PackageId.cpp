// Package names from the uninstall key.
#include "app/PackageId.h"

#include "base/Format.h"
#include "base/Hash.h"
#include "base/Text.h"

namespace kx {

std::string PackageId(const std::string& regKey) {
    // Registry keys are compared without regard to case.
    const std::uint32_t hash = Fnv1a32(UpperCase(regKey));
    const std::size_t slash = regKey.find_last_of('\\');
    const std::string last = slash == std::string::npos ? regKey : regKey.substr(slash + 1);
    std::string name;
    for (char c : last) {
        const bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (alnum && name.size() < 32) name += c;
    }
    return Format("%s-%8.8X", name, hash);
}

std::string PackageMutexName(const std::string& regKey, bool ntFamily) {
    return (ntFamily ? "Global\\kxSetup-" : "kxSetup-") + PackageId(regKey);
}

std::string JournalFileName(const std::string& regKey) { return "kxSetup-" + PackageId(regKey) + ".jnl"; }

} // namespace kx
