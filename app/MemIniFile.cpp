// TMemIniFile: the install script's INI dialect.
#include "app/MemIniFile.h"

#include "base/Text.h"

namespace kx {

void TMemIniFile::SetText(std::string_view text) {
    FSections.clear();
    FIgnored.clear();
    TSection* current = nullptr;
    int number = 0;
    for (const std::string& raw : SplitLines(text)) {
        ++number;
        std::string line = Trim(raw);
        if (line.empty() || line[0] == ';') continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            std::string name = Trim(std::string_view(line).substr(1, line.size() - 2));
            current = nullptr;
            for (TSection& s : FSections)
                if (SameText(s.Name, name)) current = &s;
            if (!current) {
                FSections.push_back(TSection{std::move(name), number, {}, {}});
                current = &FSections.back();
            }
            continue;
        }
        if (!current) {
            FIgnored.push_back(TIniLine{number, std::move(line)});
            continue;
        }
        current->LineNumbers.push_back(number);
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

std::vector<TIniLine> TMemIniFile::ReadSectionLines(std::string_view section) const {
    std::vector<TIniLine> lines;
    if (const TSection* s = Find(section))
        for (std::size_t i = 0; i < s->Lines.size(); ++i) lines.push_back(TIniLine{s->LineNumbers[i], s->Lines[i]});
    return lines;
}

int TMemIniFile::SectionLine(std::string_view section) const {
    const TSection* s = Find(section);
    return s ? s->Line : 0;
}

} // namespace kx
