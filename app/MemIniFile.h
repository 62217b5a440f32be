// TMemIniFile: the install script's INI dialect, parsed once into memory.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace kx {

// A stored line of a section and the line of the file it came from (from 1).
struct TIniLine {
    int Number = 0;
    std::string Text;
};

// Lines are trimmed of blanks and control characters; empty lines and lines
// starting with ";" are skipped; "[name]" opens a section (name trimmed); lines
// before the first section are ignored. A line with "=" is kept as
// "trimmed key=trimmed value", any other line as it is. Sections and keys are
// found without regard to ASCII case. A section named twice continues the first
// one, so no line of the script is lost.
class TMemIniFile {
public:
    TMemIniFile() = default;
    explicit TMemIniFile(std::string_view text) { SetText(text); }

    void SetText(std::string_view text);
    void Clear() { FSections.clear(); }

    bool SectionExists(std::string_view section) const;
    // The value after the first "=" of the first line whose key matches.
    std::string ReadString(std::string_view section, std::string_view key, const std::string& def) const;
    // Key names in file order; a line without "=" gives an empty name.
    std::vector<std::string> ReadSection(std::string_view section) const;
    // The whole stored lines in file order.
    std::vector<std::string> ReadSectionValues(std::string_view section) const;
    // Section names in file order.
    std::vector<std::string> ReadSections() const;

    // For tools that report on a script: the stored lines with their line
    // numbers, the line of a section's first header (0 when missing), and the
    // lines before the first section that the dialect ignores.
    std::vector<TIniLine> ReadSectionLines(std::string_view section) const;
    int SectionLine(std::string_view section) const;
    const std::vector<TIniLine>& IgnoredLines() const { return FIgnored; }

private:
    struct TSection {
        std::string Name;
        int Line = 0;
        std::vector<std::string> Lines;
        std::vector<int> LineNumbers;
    };
    const TSection* Find(std::string_view section) const;

    std::vector<TSection> FSections;
    std::vector<TIniLine> FIgnored;
};

} // namespace kx
