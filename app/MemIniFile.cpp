// TMemIniFile: the install script's INI dialect.
#include "app/MemIniFile.h"

#include "base/Text.h"

namespace kx {

void TMemIniFile::SetText(std::string_view text) {
    FSections.clear();
    TSection* current = nullptr;
    for (const std::string& raw : SplitLines(text)) {
        std::string line = Trim(raw);
        if (line.empty() || line[0] == ';') continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            std::string name = Trim(std::string_view(line).substr(1, line.size() - 2));
            current = nullptr;
            for (TSection& s : FSections)
                if (SameText(s.Name, name)) current = &s;
            if (!current) {
                FSections.push_back(TSection{std::move(name), {}});
                current = &FSections.back();
            }
            continue;
        }
        if (!current) continue;
        std::size_t eq = line.find('=');
        if (eq == std::string::npos) {
            current->Lines.push_back(std::move(line));
        } else {
            std::string_view v(line);
            current->Lines.push_back(Trim(v.substr(0, eq)) + "=" + Trim(v.substr(eq + 1)));
        }
    }
}

const TMemIniFile::TSection* TMemIniFile::Find(std::string_view section) const {
    for (const TSection& s : FSections)
        if (SameText(s.Name, section)) return &s;
    return nullptr;
}

bool TMemIniFile::SectionExists(std::string_view section) const { return Find(section) != nullptr; }

std::string TMemIniFile::ReadString(std::string_view section, std::string_view key, const std::string& def) const {
    if (const TSection* s = Find(section)) {
        for (const std::string& line : s->Lines) {
            std::size_t eq = line.find('=');
            if (eq != std::string::npos && SameText(std::string_view(line).substr(0, eq), key))
                return line.substr(eq + 1);
        }
    }
    return def;
}

std::vector<std::string> TMemIniFile::ReadSection(std::string_view section) const {
    std::vector<std::string> names;
    if (const TSection* s = Find(section)) {
        for (const std::string& line : s->Lines) {
            std::size_t eq = line.find('=');
            names.push_back(eq == std::string::npos ? std::string() : line.substr(0, eq));
        }
    }
    return names;
}

std::vector<std::string> TMemIniFile::ReadSectionValues(std::string_view section) const {
    if (const TSection* s = Find(section)) return s->Lines;
    return {};
}

std::vector<std::string> TMemIniFile::ReadSections() const {
    std::vector<std::string> names;
    for (const TSection& s : FSections) names.push_back(s.Name);
    return names;
}

} // namespace kx
