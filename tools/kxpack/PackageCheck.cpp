// The package checks; see PackageCheck.h. The script is read with the wizard's
// own parser, so what is checked is what the wizard will see.
#include "tools/kxpack/PackageCheck.h"

#include <algorithm>
#include <deque>
#include <map>
#include <set>

#include "app/MemIniFile.h"
#include "app/SetupScript.h"
#include "base/Format.h"
#include "base/Mbcs.h"
#include "base/Text.h"
#include "tools/kxpack/IconFile.h"
#include "tools/kxpack/TextCheck.h"

namespace kx::kxpack {

const char* const ScriptFileName = "setup.ini";
const char* const LicenceFileNames[3] = {"LICCN.txt", "LICB5.txt", "LICEN.txt"};
const char* const FilesFolderName = "files";
const char* const IconFileName = "setup.ico";
const char* const DefaultVendorDir = "Velmora";
const char* const DefaultSharedDir = "Tarnwick";

namespace {

struct TLanguage {
    const char* Name;
    TTextEncoding Encoding;
    unsigned CodePage;
};
const TLanguage Languages[3] = {{"GB", TTextEncoding::Gbk, 936}, {"B5", TTextEncoding::Big5, 950},
                                {"EN", TTextEncoding::Ascii, 0}};
// The language whose lists the others are compared with.
constexpr int ReferenceLanguage = 2;

const char* const CommonKeys[] = {"SERVICEFILE", "SERVICENAME", "AutoRun",   "FindClass",      "ReNameList",
                                  "WIN9X",       "WIN2K",       "VendorDir", "SharedDir",      "ProductVersion",
                                  "Copyright"};
const char* const KnownSections[] = {"Common", "Service", "AutoReg", "DESTDIR"};
const char* const LanguageSectionKinds[] = {"GrpName", "File", "Link"};

// What the wizard has room for, at about 6 pixels a byte (an ASCII letter of
// its 9-point Times New Roman, half a Chinese character): the title right of
// the image on the 430-pixel banner, the company line left of the Back
// button, a component beside its check box and the scroll bar.
constexpr std::size_t TitleRoom = 62;
constexpr std::size_t CompanyRoom = 29;
constexpr std::size_t ComponentRoom = 32;
// The items a list box holds on Windows 98.
constexpr std::size_t MaxComponents = 32767;
// The title is GrpName, the language's "Installer" and VERSION.
constexpr std::size_t InstallerWordLength[3] = {8, 8, 10};

// The worst case of the folders a 32-bit setup installs to, on 64-bit Windows.
const char* const WorstProgramFiles = "C:\\Program Files (x86)\\";
const char* const WorstSystemFolder = "C:\\WINDOWS\\SysWOW64\\";
const char* const WorstCommonFiles = "C:\\Program Files (x86)\\Common Files\\";
// The longest name the setup writes into the target directory itself.
const char* const LongestOwnFile = "INSTFILE.LST";
const char* const GrpNameKeys[] = {"GrpName", "COMPANY", "VERSION", "REG", "PRGDIR", "UNINST"};

struct TEntry {
    std::string Name;  // the file's name, before any "["
    char Letter = 0;   // the base-directory letter in upper case, 0 without one
    int Line = 0;
};

struct TComponent {
    std::string Name;
    int Line = 0;
    std::vector<TEntry> Files;
    unsigned CodePage = 0; // of Name
};

struct TLink {
    std::string Name, Target;
    int Line = 0;
};

std::string Key(std::string_view line) {
    std::size_t eq = line.find('=');
    return eq == std::string_view::npos ? std::string() : std::string(line.substr(0, eq));
}
std::string Value(std::string_view line) {
    std::size_t eq = line.find('=');
    return eq == std::string_view::npos ? std::string() : std::string(line.substr(eq + 1));
}
bool HasEquals(std::string_view line) { return line.find('=') != std::string_view::npos; }

// Line (from 1) of the byte at offset, counting line breaks as SplitLines does.
int LineOf(std::string_view text, std::size_t offset) {
    int line = 1;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')))
            ++line;
    }
    return line;
}

const std::string_view UninstallKeyPrefix = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

bool StartsWithText(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && SameText(std::string(s.substr(0, prefix.size())), std::string(prefix));
}

bool IsAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string Quoted(std::string_view s) { return "'" + std::string(s) + "'"; }

// Edits (insert, delete, change one character, ignoring ASCII case) that turn a into b.
std::size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            std::size_t up = row[j];
            bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) == std::tolower(static_cast<unsigned char>(b[j - 1]));
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = up;
        }
    }
    return row[b.size()];
}

class TChecker {
public:
    explicit TChecker(const TPackageContent& p) : FPackage(p) {}

    std::vector<TFinding> Run() {
        if (FPackage.Script)
            CheckScript(*FPackage.Script);
        else
            Add(TSeverity::Error, ScriptFileName, 0, "the install script is missing");
        for (int i = 0; i < 3; ++i)
            CheckLicence(i);
        CheckIcon();
        CheckPayloadNames();
        std::stable_sort(FFindings.begin(), FFindings.end(), [](const TFinding& a, const TFinding& b) {
            return a.File != b.File ? FileRank(a.File) < FileRank(b.File) : a.Line < b.Line;
        });
        return FFindings;
    }

private:
    static int FileRank(const std::string& file) {
        if (file == ScriptFileName)
            return 0;
        for (int i = 0; i < 3; ++i)
            if (file == LicenceFileNames[i])
                return 1 + i;
        return file == IconFileName ? 4 : 5;
    }

    void Add(TSeverity severity, std::string file, int line, std::string message, unsigned codePage = 0) {
        FFindings.push_back({severity, std::move(file), line, std::move(message), codePage});
    }
    void Error(int line, std::string message, unsigned codePage = 0) {
        Add(TSeverity::Error, ScriptFileName, line, std::move(message), codePage);
    }
    void Warning(int line, std::string message, unsigned codePage = 0) {
        Add(TSeverity::Warning, ScriptFileName, line, std::move(message), codePage);
    }

    // --- the script as a whole --------------------------------------------------

    void CheckScript(const std::string& script) {
        if (Trim(script).empty()) {
            Error(0, "the install script is empty");
            return;
        }
        bool bom = script.rfind("\xEF\xBB\xBF", 0) == 0;
        if (bom)
            Error(1, "the script starts with a UTF-8 byte order mark, so the wizard does not see the first line; "
                     "save it without one");
        FIni.SetText(script);
        for (const TIniLine& l : FIni.IgnoredLines())
            if (!(bom && l.Number == 1))
                Warning(l.Number, "this line is outside any section; the wizard ignores it");
        for (const std::string& section : FIni.ReadSections())
            CheckSectionText(section);

        for (int i = 0; i < 3; ++i) {
            FComponents[i] = ReadComponents(Languages[i]);
            FLinks[i] = ReadLinks(Languages[i]);
        }
        for (const auto& components : FComponents)
            for (const TComponent& c : components)
                for (const TEntry& e : c.Files)
                    FComponentFiles.insert(UpperCase(e.Name));

        CheckCommon();
        CheckKeyNameSection("Service", "service name");
        CheckAutoReg();
        CheckDestDir();
        for (int i = 0; i < 3; ++i) {
            CheckLanguage(Languages[i]);
            CheckLinks(i);
        }
        CheckLanguagesAgree();
        CheckPathLengths();
        CheckPayloadAgainstComponents();
    }

    // Display texts in their language's code page, everything else in ASCII.
    void CheckSectionText(const std::string& section) {
        TTextEncoding encoding = TTextEncoding::Ascii;
        const char* what = "outside the language sections";
        std::vector<std::string> names(std::begin(KnownSections), std::end(KnownSections));
        for (const TLanguage& lang : Languages)
            for (const char* kind : LanguageSectionKinds)
                names.push_back(std::string(lang.Name) + "." + kind);
        bool known = false;
        for (const std::string& name : names)
            if (SameText(section, name))
                known = true;
        for (const TLanguage& lang : Languages) {
            for (const char* kind : LanguageSectionKinds)
                if (SameText(section, std::string(lang.Name) + "." + kind)) {
                    encoding = lang.Encoding;
                    what = lang.Name;
                }
        }
        if (!known) {
            // A typo loses what the section holds without a word from the wizard.
            std::string nearest;
            std::size_t best = 3;
            for (const std::string& name : names)
                if (std::size_t d = EditDistance(section, name); d < best) {
                    best = d;
                    nearest = name;
                }
            Error(FIni.SectionLine(section),
                  Format("unknown section [%s]; the wizard does not read it, so what it holds is lost%s", section,
                         nearest.empty() ? std::string() : Format(" (did you mean [%s]?)", nearest)));
        }
        for (const TIniLine& l : FIni.ReadSectionLines(section)) {
            TTextProblem p = CheckText(l.Text, encoding);
            if (!p.Message.empty())
                Error(l.Number, Format("[%s]: %s (texts %s are %s)", section, p.Message,
                                       encoding == TTextEncoding::Ascii ? std::string(what)
                                                                        : std::string("of ") + what + " sections",
                                       EncodingName(encoding)));
        }
    }

    // Keys that are read one by one: unknown, repeated and "="-less lines.
    void CheckKeys(const std::string& section, const char* const* keys, std::size_t count) {
        std::map<std::string, int> seen;
        for (const TIniLine& l : FIni.ReadSectionLines(section)) {
            if (!HasEquals(l.Text)) {
                Warning(l.Number, Format("[%s]: this line has no '=', so the wizard ignores it", section));
                continue;
            }
            std::string key = Key(l.Text);
            bool knownKey = std::any_of(keys, keys + count, [&](const char* k) { return SameText(k, key); });
            if (!knownKey) {
                Warning(l.Number, Format("[%s]: unknown key %s; the wizard ignores it", section, key));
                continue;
            }
            auto [it, fresh] = seen.emplace(UpperCase(key), l.Number);
            if (!fresh)
                Warning(l.Number, Format("[%s]: %s is set again; the wizard uses line %d", section, key, it->second));
        }
    }

    // The first line that sets key, with its value (line 0 when none does).
    TIniLine Setting(const std::string& section, std::string_view key) {
        for (const TIniLine& l : FIni.ReadSectionLines(section))
            if (HasEquals(l.Text) && SameText(Key(l.Text), key))
                return {l.Number, Value(l.Text)};
        return {};
    }

    bool IsComponentFile(const std::string& name) const { return FComponentFiles.count(UpperCase(name)) > 0; }

    void RequireComponentFile(int line, const std::string& what, const std::string& name) {
        if (!IsComponentFile(name))
            Error(line, Format("%s %s is not a file of any component", what, Quoted(name)));
    }

    static bool IsBool(const std::string& v) { return SameText(v, "TRUE") || SameText(v, "FALSE"); }

    // --- [Common], [Service], [AutoReg], [DESTDIR] --------------------------------

    void CheckCommon() {
        const std::string s = "COMMON";
        CheckKeys(s, CommonKeys, std::size(CommonKeys));
        TIniLine serviceFile = Setting(s, "SERVICEFILE");
        TIniLine serviceName = Setting(s, "SERVICENAME");
        TIniLine autoRun = Setting(s, "AutoRun");
        TIniLine findClass = Setting(s, "FindClass");
        TIniLine renameList = Setting(s, "ReNameList");
        if (!serviceFile.Text.empty())
            RequireComponentFile(serviceFile.Number, "SERVICEFILE", serviceFile.Text);
        if (!autoRun.Text.empty())
            RequireComponentFile(autoRun.Number, "AutoRun", autoRun.Text);
        if (!serviceName.Text.empty() && serviceFile.Text.empty())
            Warning(serviceName.Number, "SERVICENAME is set but SERVICEFILE is empty: no program registers the service");
        if (!serviceFile.Text.empty() && serviceName.Text.empty())
            Warning(serviceFile.Number, "SERVICEFILE is set but SERVICENAME is empty: the service step does not run");
        if (!renameList.Text.empty()) {
            for (const std::string& name : SplitReNameList(renameList.Text)) {
                if (name.empty())
                    Warning(renameList.Number, "ReNameList has an empty entry (';' at the start or twice in a row)");
                else
                    RequireComponentFile(renameList.Number, "ReNameList names", name);
            }
            if (findClass.Text.empty())
                Warning(renameList.Number, "ReNameList has no effect without FindClass");
        }
        TIniLine win9x = Setting(s, "WIN9X");
        TIniLine win2k = Setting(s, "WIN2K");
        for (const TIniLine* flag : {&win9x, &win2k})
            if (flag->Number && !IsBool(flag->Text))
                Warning(flag->Number, Format("%s counts as FALSE: only TRUE (in any case) counts as true",
                                             Quoted(flag->Text)));
        if (SameText(win9x.Text, "TRUE") && SameText(win2k.Text, "TRUE"))
            Error(win2k.Number, "WIN9X and WIN2K are both TRUE, so the setup refuses to run on every Windows; "
                                "set at most one of them");

        for (const char* key : {"VendorDir", "SharedDir"}) {
            TIniLine folder = Setting(s, key);
            if (!folder.Text.empty()) {
                if (std::string problem = RelativePathProblem(folder.Text); !problem.empty())
                    Error(folder.Number, Format("%s %s %s", key, Quoted(folder.Text), problem));
            }
        }
        TIniLine shared = Setting(s, "SharedDir");
        if (shared.Number && shared.Text.empty())
            Warning(shared.Number, "SharedDir is empty, so the files of letter C go straight into Common Files, "
                                   "which every program shares");
        TIniLine version = Setting(s, "ProductVersion");
        if (!version.Text.empty() && (version.Text[0] < '0' || version.Text[0] > '9'))
            Warning(version.Number, Format("ProductVersion %s does not start with a number, so the version "
                                           "resource's numbers are 0.0.0.0 (write it as 2.1.0 or 2.1.0 beta)",
                                           Quoted(version.Text)));
    }

    // Sections read as key names: each line needs an "=" or its name is empty.
    void CheckKeyNameSection(const std::string& section, const char* what) {
        for (const TIniLine& l : FIni.ReadSectionLines(section)) {
            if (!HasEquals(l.Text))
                Error(l.Number, Format("[%s]: this line has no '=', so the wizard reads an empty %s; write %s=",
                                       section, what, l.Text));
            else if (Trim(Key(l.Text)).empty())
                Error(l.Number, Format("[%s]: empty %s", section, what));
        }
    }

    void CheckAutoReg() {
        for (const TIniLine& l : FIni.ReadSectionLines("AutoReg")) {
            if (!HasEquals(l.Text)) {
                Error(l.Number, "[AutoReg]: this line has no '=', so the wizard skips it; an entry is "
                                "'key;value name;file=' (the text after '=' is not used)");
                continue;
            }
            std::vector<std::string> parts = SplitText(Key(l.Text), ';');
            if (parts.size() != 3) {
                Error(l.Number, Format("[AutoReg]: the entry has %d parts, so the wizard skips it; an entry is "
                                       "'key;value name;file='",
                                       static_cast<int>(parts.size())));
                continue;
            }
            std::string problem = RegistryKeyProblem(parts[0]);
            if (!problem.empty())
                Error(l.Number, Format("[AutoReg]: registry key %s %s", Quoted(parts[0]), problem));
            if (parts[2].empty())
                Error(l.Number, "[AutoReg]: the file part is empty");
            else if (!IsComponentFile(parts[2]))
                Warning(l.Number, Format("[AutoReg]: %s is not a file of any component", Quoted(parts[2])));
        }
    }

    void CheckDestDir() {
        for (const TIniLine& l : FIni.ReadSectionLines("DESTDIR")) {
            if (!HasEquals(l.Text)) {
                Error(l.Number, "[DESTDIR]: this line has no '='; a line is 'folder=file;file'");
                continue;
            }
            std::string folder = Key(l.Text);
            std::string problem = folder.empty() ? "is empty" : RelativePathProblem(folder);
            if (!problem.empty())
                Error(l.Number, Format("[DESTDIR]: folder %s %s", Quoted(folder), problem));
            for (const std::string& name : SplitText(Value(l.Text), ';')) {
                if (name.empty())
                    Warning(l.Number, "[DESTDIR]: empty file entry (';' at the start, at the end or twice)");
                else
                    RequireComponentFile(l.Number, "[DESTDIR] names", name);
            }
        }
    }

    // --- the language sections ------------------------------------------------------

    std::string SectionName(const TLanguage& lang, const char* kind) { return std::string(lang.Name) + "." + kind; }

    std::vector<TComponent> ReadComponents(const TLanguage& lang) {
        std::vector<TComponent> components;
        const std::string section = SectionName(lang, "File");
        if (!FIni.SectionExists(section))
            return components;
        std::map<std::string, int> names;
        const unsigned cp = lang.CodePage;
        for (const TIniLine& l : FIni.ReadSectionLines(section)) {
            if (!HasEquals(l.Text)) {
                Error(l.Number, Format("[%s]: this line has no '='; a component is 'name=file;file'", section));
                continue;
            }
            TComponent c{Key(l.Text), l.Number, {}, cp};
            if (c.Name.empty()) {
                Error(l.Number, Format("[%s]: the component has no name", section));
            } else if (auto [it, fresh] = names.emplace(c.Name, l.Number); !fresh) {
                Error(l.Number,
                      Format("[%s]: component %s is listed twice (also on line %d): the wizard would show it twice "
                             "and install it once; give each component a name of its own",
                             section, Quoted(c.Name), it->second),
                      cp);
            } else if (c.Name.size() > ComponentRoom) {
                Warning(l.Number,
                        Format("[%s]: component %s is %d bytes long; the wizard's list shows about %d",
                               section, Quoted(c.Name), static_cast<int>(c.Name.size()), static_cast<int>(ComponentRoom)),
                        cp);
            }
            for (const std::string& text : SplitText(Value(l.Text), ';')) {
                if (text.empty()) {
                    Warning(l.Number, Format("[%s]: empty file entry (';' at the start, at the end or twice)", section));
                    continue;
                }
                TEntry e;
                e.Line = l.Number;
                std::size_t bracket = text.find('[');
                e.Name = text.substr(0, bracket);
                if (bracket != std::string::npos) {
                    std::string suffix = text.substr(bracket + 1);
                    if (suffix.empty())
                        Warning(l.Number, Format("[%s]: %s ends in '[' without a letter; the file goes to the "
                                                 "target directory",
                                                 section, Quoted(text)));
                    else if (suffix.size() > 1)
                        Warning(l.Number, Format("[%s]: in %s only the letter after '[' counts", section, Quoted(text)));
                    e.Letter = suffix.empty() ? 0 : UpperCase(suffix.substr(0, 1))[0];
                }
                std::string problem = e.Name.empty()      ? "has no file name"
                                      : !IsAscii(e.Name) ? "is not ASCII; file names must be"
                                                          : RelativePathProblem(e.Name);
                if (!problem.empty()) {
                    Error(l.Number, Format("[%s]: file entry %s %s", section, Quoted(text), problem));
                    continue;
                }
                c.Files.push_back(e);
            }
            if (c.Files.empty())
                Warning(l.Number, Format("[%s]: component %s installs no file", section, Quoted(c.Name)), cp);
            components.push_back(std::move(c));
        }
        if (components.size() > MaxComponents)
            Error(FIni.SectionLine(section),
                  Format("[%s] lists %d components; the wizard's list holds at most %d", section,
                         static_cast<int>(components.size()), static_cast<int>(MaxComponents)));
        return components;
    }

    std::vector<TLink> ReadLinks(const TLanguage& lang) {
        std::vector<TLink> links;
        const std::string section = SectionName(lang, "Link");
        for (const TIniLine& l : FIni.ReadSectionLines(section)) {
            if (!HasEquals(l.Text)) {
                Error(l.Number, Format("[%s]: this line has no '='; a shortcut is 'name=file'", section));
                continue;
            }
            TLink link{Key(l.Text), Value(l.Text), l.Number};
            if (link.Name.empty())
                Error(l.Number, Format("[%s]: the shortcut has no name", section));
            else if (std::string problem = RelativePathProblem(link.Name, lang.CodePage); !problem.empty())
                Error(l.Number, Format("[%s]: the shortcut name %s %s, so the shortcut file cannot be made", section,
                                       Quoted(link.Name), problem),
                      lang.CodePage);
            if (link.Target.empty())
                Error(l.Number, Format("[%s]: the shortcut has no target file", section));
            links.push_back(std::move(link));
        }
        return links;
    }

    // A language's sections are there, and its GrpName section holds what the wizard needs.
    void CheckLanguage(const TLanguage& lang) {
        const std::string section = SectionName(lang, "GrpName");
        for (const char* kind : {"GrpName", "File"})
            if (!FIni.SectionExists(SectionName(lang, kind)))
                Error(0, Format("section [%s] is missing; every language (GB, B5, EN) needs its own",
                                SectionName(lang, kind)));
        if (!FIni.SectionExists(section))
            return;
        CheckKeys(section, GrpNameKeys, std::size(GrpNameKeys));
        int line = FIni.SectionLine(section);
        const unsigned cp = lang.CodePage;
        TIniLine grpName = Setting(section, "GrpName");
        if (grpName.Text.empty())
            Error(grpName.Number ? grpName.Number : line,
                  Format("[%s]: GrpName is empty; the captions and the program group need it", section));
        else if (std::string problem = RelativePathProblem(grpName.Text, cp); !problem.empty())
            Error(grpName.Number,
                  Format("[%s]: GrpName %s %s; it names the Start-menu folder", section, Quoted(grpName.Text), problem),
                  cp);
        const std::size_t language = static_cast<std::size_t>(&lang - Languages);
        const std::string version = Setting(section, "VERSION").Text;
        const std::size_t title = grpName.Text.size() + InstallerWordLength[language] + 1 + version.size();
        if (!grpName.Text.empty() && title > TitleRoom)
            Warning(grpName.Number,
                    Format("[%s]: the title (GrpName, \"Installer\" and VERSION) is %d bytes long; the wizard's banner "
                           "shows about %d",
                           section, static_cast<int>(title), static_cast<int>(TitleRoom)));
        TIniLine company = Setting(section, "COMPANY");
        if (company.Text.size() > CompanyRoom)
            Warning(company.Number,
                    Format("[%s]: COMPANY %s is %d bytes long; the wizard shows about %d beside its buttons", section,
                           Quoted(company.Text), static_cast<int>(company.Text.size()), static_cast<int>(CompanyRoom)),
                    cp);
        TIniLine reg = Setting(section, "REG");
        if (reg.Text.empty()) {
            Error(reg.Number ? reg.Number : line,
                  Format("[%s]: REG is empty; the uninstall entry needs a registry key", section));
        } else if (std::string problem = RegistryKeyProblem(reg.Text); !problem.empty()) {
            Error(reg.Number, Format("[%s]: REG %s %s", section, Quoted(reg.Text), problem), cp);
        } else if (!StartsWithText(reg.Text, UninstallKeyPrefix) || reg.Text.size() == UninstallKeyPrefix.size()) {
            Warning(reg.Number,
                    Format("[%s]: REG %s is not a key below SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall, "
                           "so the program is missing from the system's list of installed programs",
                           section, Quoted(reg.Text)),
                    cp);
        }
        TIniLine prgDir = Setting(section, "PRGDIR");
        if (prgDir.Text.empty()) {
            Warning(prgDir.Number ? prgDir.Number : line,
                    Format("[%s]: PRGDIR is empty, so the suggested target directory is the vendor folder itself", section));
        } else {
            std::string problem = RelativePathProblem(prgDir.Text, lang.CodePage);
            if (!problem.empty())
                Error(prgDir.Number, Format("[%s]: PRGDIR %s %s", section, Quoted(prgDir.Text), problem), cp);
        }
        TIniLine uninst = Setting(section, "UNINST");
        if (uninst.Number && !IsBool(uninst.Text))
            Warning(uninst.Number,
                    Format("[%s]: UNINST=%s counts as FALSE: only TRUE (in any case) counts as true", section, uninst.Text));
    }

    void CheckLinks(int i) {
        std::set<std::string> files;
        for (const TComponent& c : FComponents[i])
            for (const TEntry& e : c.Files)
                files.insert(UpperCase(e.Name));
        for (const TLink& link : FLinks[i])
            if (!link.Target.empty() && !files.count(UpperCase(link.Target)))
                Error(link.Line, Format("[%s]: shortcut target %s is not a file of any component in [%s]",
                                        SectionName(Languages[i], "Link"), Quoted(link.Target),
                                        SectionName(Languages[i], "File")));
        bool anyLinks = false;
        for (int k = 0; k < 3; ++k)
            anyLinks = anyLinks || FIni.SectionExists(SectionName(Languages[k], "Link"));
        if (anyLinks && !FIni.SectionExists(SectionName(Languages[i], "Link")))
            Error(0, Format("section [%s] is missing while another language has shortcuts",
                            SectionName(Languages[i], "Link")));
    }

    static std::vector<std::string> FileSet(const TComponent& c) {
        std::vector<std::string> set;
        for (const TEntry& e : c.Files)
            set.push_back(UpperCase(e.Name) + (e.Letter ? std::string("[") + e.Letter : std::string()));
        std::sort(set.begin(), set.end());
        return set;
    }

    static std::string FileList(const TComponent& c) {
        std::string text;
        for (const TEntry& e : c.Files)
            text += (text.empty() ? "" : ";") + e.Name + (e.Letter ? std::string("[") + e.Letter : std::string());
        return text;
    }

    // A component is the same choice in two languages when it installs the same
    // files; names differ, being translated. Each component of lang is matched
    // with one of the reference by its files: what is left over is extra or
    // missing, a pair left over at the same place installs other files, and
    // matched ones at other places are in another order.
    void CompareComponents(const TLanguage& lang, const std::vector<TComponent>& components, const TLanguage& ref,
                           const std::vector<TComponent>& refComponents) {
        const std::string section = SectionName(lang, "File");
        const std::string refSection = SectionName(ref, "File");
        std::vector<int> partner(components.size(), -1);
        std::vector<bool> taken(refComponents.size(), false);
        std::map<std::vector<std::string>, std::deque<std::size_t>> byFiles; // the reference's, in order
        for (std::size_t r = 0; r < refComponents.size(); ++r)
            byFiles[FileSet(refComponents[r])].push_back(r);
        for (std::size_t k = 0; k < components.size(); ++k) {
            auto it = byFiles.find(FileSet(components[k]));
            if (it == byFiles.end() || it->second.empty())
                continue;
            partner[k] = static_cast<int>(it->second.front());
            taken[it->second.front()] = true;
            it->second.pop_front();
        }
        bool reported = false;
        for (std::size_t k = 0; k < components.size(); ++k) {
            if (partner[k] >= 0)
                continue;
            reported = true;
            const TComponent& c = components[k];
            if (k < refComponents.size() && !taken[k]) {
                taken[k] = true; // reported here as the same place with other files
                Error(c.Line,
                      Format("[%s]: component %d (%s) installs %s, but component %d of [%s] (%s) installs %s; "
                             "every language lists the same components",
                             section, static_cast<int>(k + 1), Quoted(c.Name), Quoted(FileList(c)),
                             static_cast<int>(k + 1), refSection, Quoted(refComponents[k].Name),
                             Quoted(FileList(refComponents[k]))),
                      lang.CodePage);
            } else {
                Error(c.Line,
                      Format("[%s]: component %s (%s) is extra: no component of [%s] installs these files",
                             section, Quoted(c.Name), Quoted(FileList(c)), refSection),
                      lang.CodePage);
            }
        }
        for (std::size_t r = 0; r < refComponents.size(); ++r) {
            if (taken[r])
                continue;
            reported = true;
            Error(FIni.SectionLine(section),
                  Format("[%s] is missing a component: %s of [%s] (line %d, %s) has no counterpart here", section,
                         Quoted(refComponents[r].Name), refSection, refComponents[r].Line,
                         Quoted(FileList(refComponents[r]))));
        }
        if (reported)
            return;
        for (std::size_t k = 0; k < components.size(); ++k)
            if (partner[k] != static_cast<int>(k)) {
                Error(components[k].Line,
                      Format("[%s]: component %d (%s) is component %d of [%s] (%s); every language lists the "
                             "components in the same order, as the wizard takes the same place for the same choice",
                             section, static_cast<int>(k + 1), Quoted(components[k].Name), partner[k] + 1, refSection,
                             Quoted(refComponents[static_cast<std::size_t>(partner[k])].Name)),
                      lang.CodePage);
                return;
            }
    }

    // The languages show the same components, installing the same files, in the
    // same order: item i of every list is the same choice.
    void CheckLanguagesAgree() {
        const TLanguage& ref = Languages[ReferenceLanguage];
        const auto& refComponents = FComponents[ReferenceLanguage];
        if (!FIni.SectionExists(SectionName(ref, "File")))
            return;
        for (int i = 0; i < 3; ++i) {
            const TLanguage& lang = Languages[i];
            if (i == ReferenceLanguage || !FIni.SectionExists(SectionName(lang, "File")))
                continue;
            CompareComponents(lang, FComponents[i], ref, refComponents);
            const auto& links = FLinks[i];
            const auto& refLinks = FLinks[ReferenceLanguage];
            if (FIni.SectionExists(SectionName(lang, "Link")) && FIni.SectionExists(SectionName(ref, "Link"))) {
                if (links.size() != refLinks.size())
                    Error(FIni.SectionLine(SectionName(lang, "Link")),
                          Format("[%s] has %d shortcuts and [%s] has %d", SectionName(lang, "Link"),
                                 static_cast<int>(links.size()), SectionName(ref, "Link"),
                                 static_cast<int>(refLinks.size())));
                else
                    for (std::size_t k = 0; k < links.size(); ++k)
                        if (!SameText(links[k].Target, refLinks[k].Target))
                            Warning(links[k].Line, Format("[%s]: shortcut %d opens %s, in [%s] it opens %s",
                                                          SectionName(lang, "Link"), static_cast<int>(k + 1),
                                                          Quoted(links[k].Target), SectionName(ref, "Link"),
                                                          Quoted(refLinks[k].Target)));
            }
            TIniLine reg = Setting(SectionName(lang, "GrpName"), "REG");
            TIniLine refReg = Setting(SectionName(ref, "GrpName"), "REG");
            if (!reg.Text.empty() && !refReg.Text.empty() && !SameText(reg.Text, refReg.Text))
                Warning(reg.Number, Format("[%s]: REG differs from [%s], so the uninstall entry depends on the "
                                           "language the setup ran in",
                                           SectionName(lang, "GrpName"), SectionName(ref, "GrpName")));
        }
    }

    // --- path lengths -------------------------------------------------------------------

    std::string FolderSetting(const char* key, const char* fallback) {
        TIniLine l = Setting("COMMON", key);
        return l.Number ? l.Text : fallback;
    }

    // Every file of every component fits MAX_PATH under the suggested folders,
    // as they are on 64-bit Windows, where they are longest ("Program Files
    // (x86)", "SysWOW64"): otherwise the installation fails half-way.
    void CheckPathLengths() {
        std::map<std::string, std::string> subDirs; // upper-case file name -> its DESTDIR folder
        for (const TIniLine& l : FIni.ReadSectionLines("DESTDIR"))
            if (HasEquals(l.Text))
                for (const std::string& name : SplitText(Value(l.Text), ';'))
                    subDirs.emplace(UpperCase(name), Key(l.Text));
        auto below = [](const std::string& folder) { return folder.empty() ? folder : folder + "\\"; };
        const std::string vendor = FolderSetting("VendorDir", DefaultVendorDir);
        const std::string shared = std::string(WorstCommonFiles) + below(FolderSetting("SharedDir", DefaultSharedDir));
        std::set<std::string> reported;
        for (int i = 0; i < 3; ++i) {
            const TLanguage& lang = Languages[i];
            const std::string section = SectionName(lang, "GrpName");
            if (!FIni.SectionExists(section))
                continue;
            const TIniLine prgDir = Setting(section, "PRGDIR");
            const std::string target = std::string(WorstProgramFiles) + below(vendor) + below(prgDir.Text);
            auto tooLong = [&](const std::string& path) {
                return path.size() > MaxPathLength && reported.insert(path).second;
            };
            if (tooLong(target + LongestOwnFile)) {
                Error(prgDir.Number ? prgDir.Number : FIni.SectionLine(section),
                      Format("[%s]: the suggested folder %s is %d characters long on 64-bit Windows, leaving no room "
                             "for the setup's own files within the %d characters Windows allows; shorten VendorDir "
                             "or PRGDIR",
                             section, target, static_cast<int>(target.size()), static_cast<int>(MaxPathLength)),
                      lang.CodePage);
                continue;
            }
            for (const TComponent& c : FComponents[i])
                for (const TEntry& e : c.Files) {
                    const std::string& base = e.Letter == 'S' ? WorstSystemFolder : e.Letter == 'C' ? shared : target;
                    auto sub = subDirs.find(UpperCase(e.Name));
                    const std::string path = base + (sub == subDirs.end() ? "" : below(sub->second)) + e.Name;
                    if (tooLong(path))
                        Error(e.Line,
                              Format("[%s]: %s would be installed as %s, %d characters on 64-bit Windows under the "
                                     "suggested folder; Windows allows %d, so the installation would fail there. "
                                     "Shorten the name%s",
                                     SectionName(lang, "File"), Quoted(e.Name), path, static_cast<int>(path.size()),
                                     static_cast<int>(MaxPathLength),
                                     e.Letter == 'S'   ? std::string(" or its DESTDIR folder")
                                     : e.Letter == 'C' ? std::string(", its DESTDIR folder or SharedDir")
                                                       : std::string(", its DESTDIR folder, VendorDir or PRGDIR")),
                              lang.CodePage);
                }
        }
    }

    // --- the payload --------------------------------------------------------------------

    std::string PayloadFile(const std::string& name) const {
        if (!FPackage.PayloadArchive.empty())
            return FPackage.PayloadArchive;
        std::string path = std::string(FilesFolderName) + "/" + name;
        std::replace(path.begin(), path.end(), '\\', '/');
        return path;
    }

    void CheckPayloadAgainstComponents() {
        std::set<std::string> payload;
        for (const std::string& n : FPackage.PayloadNames)
            payload.insert(UpperCase(n));
        const std::string where = FPackage.PayloadArchive.empty()
                                      ? std::string("in ") + FilesFolderName + "/"
                                      : "in the payload archive " + FPackage.PayloadArchive;
        std::set<std::string> reported;
        for (const auto& components : FComponents)
            for (const TComponent& c : components)
                for (const TEntry& e : c.Files)
                    if (!payload.count(UpperCase(e.Name)) && reported.insert(UpperCase(e.Name)).second)
                        Error(e.Line, Format("%s (component %s) is not %s", Quoted(e.Name), Quoted(c.Name), where));
        for (const std::string& n : FPackage.PayloadNames)
            if (!IsComponentFile(n))
                Add(TSeverity::Warning, PayloadFile(n), 0,
                    FPackage.PayloadArchive.empty()
                        ? std::string("no component installs this file, so it is not packed")
                        : Format("no component installs the entry %s", Quoted(n)));
    }

    void CheckPayloadNames() {
        std::map<std::string, std::string> seen;
        for (const std::string& n : FPackage.PayloadNames) {
            std::string problem = !IsAscii(n) ? "is not ASCII; stored names must be" : RelativePathProblem(n);
            if (!problem.empty())
                Add(TSeverity::Error, PayloadFile(n), 0, Format("the stored name %s %s", Quoted(n), problem));
            auto [it, fresh] = seen.emplace(UpperCase(n), n);
            if (!fresh)
                Add(TSeverity::Error, PayloadFile(n), 0,
                    Format("%s and %s differ only in case; Windows cannot hold both", Quoted(it->second), Quoted(n)));
        }
    }

    // --- the licences and the icon ----------------------------------------------------

    void CheckIcon() {
        if (!FPackage.Icon)
            return;
        try {
            IconResources(std::vector<std::uint8_t>(FPackage.Icon->begin(), FPackage.Icon->end()), 1, 0);
        } catch (const EIconFile& e) {
            Add(TSeverity::Error, IconFileName, 0, e.Message());
        }
    }

    void CheckLicence(int i) {
        const char* file = LicenceFileNames[i];
        const auto& text = FPackage.Licences[i];
        if (!text) {
            Add(TSeverity::Error, file, 0, "the licence is missing");
            return;
        }
        if (Trim(*text).empty()) {
            Add(TSeverity::Error, file, 0, "the licence is empty");
            return;
        }
        TTextEncoding encoding = Languages[i].Encoding;
        TTextProblem p = CheckText(*text, encoding);
        if (!p.Message.empty())
            Add(TSeverity::Error, file, LineOf(*text, p.Offset),
                Format("%s (this licence is shown as %s)", p.Message, EncodingName(encoding)));
    }

    const TPackageContent& FPackage;
    TMemIniFile FIni;
    std::vector<TComponent> FComponents[3];
    std::vector<TLink> FLinks[3];
    std::set<std::string> FComponentFiles; // upper case, every language
    std::vector<TFinding> FFindings;
};

} // namespace

std::vector<TFinding> CheckPackage(const TPackageContent& package) { return TChecker(package).Run(); }

std::vector<std::string> InstalledNames(const std::string& script) {
    const TMemIniFile ini(script);
    std::set<std::string> names;
    for (const TLanguage& lang : Languages)
        for (const TIniLine& l : ini.ReadSectionLines(std::string(lang.Name) + ".File"))
            if (HasEquals(l.Text))
                for (const std::string& entry : SplitText(Value(l.Text), ';'))
                    if (!entry.empty())
                        names.insert(UpperCase(entry.substr(0, entry.find('['))));
    return {names.begin(), names.end()};
}

std::string RelativePathProblem(const std::string& name, unsigned codePage) {
    if (name.empty())
        return "is empty";
    if (name[0] == '\\' || name[0] == '/')
        return "is absolute; it must be relative";
    // Split at single-byte backslashes: in a double-byte code page a trail byte
    // may be 0x5C or 0x7C.
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < name.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (IsLeadByte(c, codePage) && i + 1 < name.size()) {
            parts.back() += name.substr(i, 2);
            ++i;
        } else if (c == '\\') {
            parts.emplace_back();
        } else if (c == '/') {
            return "uses '/'; write '\\' between folders";
        } else if (c == ':') {
            return "has a ':' (a drive or a stream); it must be a relative path";
        } else if (c < 0x20 || std::string_view("<>\"|?*").find(name[i]) != std::string_view::npos) {
            return Format("has the character %s, which Windows does not allow in names",
                          c < 0x20 ? Format("0x%2.2X", static_cast<int>(c)) : Quoted(std::string(1, name[i])));
        } else {
            parts.back() += name[i];
        }
    }
    static const char* const devices[] = {"CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4",
                                          "COM5", "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3",
                                          "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
    for (const std::string& part : parts) {
        if (part.empty())
            return "has an empty folder name";
        if (part == "." || part == "..")
            return "has a '.' or '..' part; it must stay below its folder";
        if (part.back() == '.' || part.back() == ' ')
            return "has a name ending in '.' or ' ', which Windows drops";
        std::string base = UpperCase(part.substr(0, part.find('.')));
        for (const char* d : devices)
            if (base == d)
                return Format("uses the device name %s, which Windows reserves", d);
    }
    return {};
}

std::string RegistryKeyProblem(const std::string& key) {
    if (key.empty())
        return "is empty";
    if (key[0] == '\\')
        return "starts with a backslash; keys are written relative to HKEY_LOCAL_MACHINE";
    std::string first = UpperCase(key.substr(0, key.find('\\')));
    static const char* const hives[] = {"HKEY_LOCAL_MACHINE", "HKLM", "HKEY_CURRENT_USER", "HKCU",
                                        "HKEY_CLASSES_ROOT", "HKCR", "HKEY_USERS", "HKU",
                                        "HKEY_CURRENT_CONFIG", "HKCC", "HKEY_DYN_DATA"};
    for (const char* h : hives)
        if (first == h)
            return Format("names the hive %s; keys are written relative to HKEY_LOCAL_MACHINE", h);
    if (key.back() == '\\' || key.find("\\\\") != std::string::npos)
        return "has an empty part (a '\\' at the end or two in a row)";
    if (!IsAscii(key))
        return "is not ASCII; registry keys must be";
    for (char ch : key)
        if (static_cast<unsigned char>(ch) < 0x20)
            return "has a control character";
    return {};
}

} // namespace kx::kxpack
