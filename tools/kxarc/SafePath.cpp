// Stored names come from the archive, which may be hostile: refuse anything that
// would resolve outside the destination directory.
#include "tools/kxarc/SafePath.h"

#include "sys/Paths.h"

namespace kx::kxarc {

TSafeName CheckStoredName(const std::string& name) {
    TSafeName r;
    if (name.empty()) {
        r.Reason = "empty name";
        return r;
    }
    if (name.find('\0') != std::string::npos) {
        r.Reason = "name holds a NUL byte";
        return r;
    }
    if (name[0] == '\\' || name[0] == '/') {
        r.Reason = "absolute name";
        return r;
    }
    if (name.size() >= 2 && name[1] == ':') {
        r.Reason = "name with a drive letter";
        return r;
    }
    std::string part;
    auto flush = [&]() -> bool {
        if (part == "..") {
            r.Reason = "name with a \"..\" component";
            return false;
        }
        if (part.find(':') != std::string::npos) {
            // "a\b:c" would name an alternate data stream on NTFS
            r.Reason = "name with a \":\" inside";
            return false;
        }
        if (!part.empty() && part != ".")
            r.Components.push_back(part);
        part.clear();
        return true;
    };
    for (char c : name) {
        if (c == '\\' || c == '/') {
            if (!flush())
                return r;
        } else {
            part += c;
        }
    }
    if (!flush())
        return r;
    r.Ok = true;
    return r;
}

std::string JoinComponents(const std::vector<std::string>& components) {
    std::string out;
    for (const auto& c : components) {
        if (!out.empty())
            out += PathDelim;
        out += c;
    }
    return out;
}

} // namespace kx::kxarc
