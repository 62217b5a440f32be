// Building the version resource; the layout is in VersionResource.h.
#include "tools/kxpack/VersionResource.h"

#include "app/MemIniFile.h"

namespace kx::kxpack {

namespace {

constexpr std::uint32_t FixedSignature = 0xFEEF04BD;
constexpr std::uint32_t FixedStrucVersion = 0x00010000;
constexpr std::uint32_t FileFlagsMask = 0x3F;     // VS_FFI_FILEFLAGSMASK
constexpr std::uint32_t FileOsWindows32 = 0x4;    // VOS__WINDOWS32
constexpr std::uint32_t FileTypeApp = 0x1;        // VFT_APP
constexpr std::uint16_t LangEnglishUs = 0x0409;
constexpr std::uint16_t CodePageWestern = 1252;

void Align4(std::vector<std::uint8_t>& b) {
    while (b.size() % 4)
        b.push_back(0);
}

void Put16(std::vector<std::uint8_t>& b, std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
    Put16(b, static_cast<std::uint16_t>(v));
    Put16(b, static_cast<std::uint16_t>(v >> 16));
}

// ASCII as UTF-16LE with the terminating zero; other bytes become '?'.
void PutText(std::vector<std::uint8_t>& b, const std::string& text) {
    for (char c : text)
        Put16(b, static_cast<unsigned char>(c) < 0x80 ? static_cast<std::uint16_t>(c) : u'?');
    Put16(b, 0);
}

// One node: its header, key and value, then its children each on a 32-bit
// boundary; wLength covers all of it.
std::vector<std::uint8_t> Node(const std::string& key, std::uint16_t type, std::uint16_t valueLength,
                               const std::vector<std::uint8_t>& value,
                               const std::vector<std::vector<std::uint8_t>>& children) {
    std::vector<std::uint8_t> b;
    Put16(b, 0);
    Put16(b, valueLength);
    Put16(b, type);
    PutText(b, key);
    Align4(b);
    b.insert(b.end(), value.begin(), value.end());
    for (const auto& child : children) {
        Align4(b);
        b.insert(b.end(), child.begin(), child.end());
    }
    b[0] = static_cast<std::uint8_t>(b.size());
    b[1] = static_cast<std::uint8_t>(b.size() >> 8);
    return b;
}

std::vector<std::uint8_t> StringNode(const std::string& key, const std::string& whole) {
    // Node lengths are 16-bit; no text of a package comes near this.
    const std::string text = whole.substr(0, 1024);
    std::vector<std::uint8_t> value;
    PutText(value, text);
    return Node(key, 1, static_cast<std::uint16_t>(text.size() + 1), value, {});
}

} // namespace

std::array<std::uint16_t, 4> VersionNumbers(const std::string& text) {
    std::array<std::uint16_t, 4> parts{};
    std::size_t at = 0;
    for (std::size_t part = 0; part < parts.size(); ++part) {
        std::size_t start = at;
        std::uint32_t n = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && n <= 65535)
            n = n * 10 + static_cast<std::uint32_t>(text[at++] - '0');
        if (at == start || n > 65535)
            break;
        parts[part] = static_cast<std::uint16_t>(n);
        if (at >= text.size() || text[at] != '.')
            break;
        ++at;
    }
    return parts;
}

std::vector<std::uint8_t> BuildVersionResource(const TVersionTexts& t) {
    const std::array<std::uint16_t, 4> v = VersionNumbers(t.ProductVersion);
    const std::uint32_t ms = std::uint32_t{v[0]} << 16 | v[1];
    const std::uint32_t ls = std::uint32_t{v[2]} << 16 | v[3];
    std::vector<std::uint8_t> fixed;
    for (std::uint32_t field : {FixedSignature, FixedStrucVersion, ms, ls, ms, ls, FileFlagsMask, 0u, FileOsWindows32,
                                FileTypeApp, 0u, 0u, 0u})
        Put32(fixed, field);

    std::vector<std::vector<std::uint8_t>> strings;
    const std::pair<const char*, const std::string*> texts[] = {
        {"CompanyName", &t.CompanyName},     {"FileDescription", &t.FileDescription},
        {"FileVersion", &t.ProductVersion},  {"LegalCopyright", &t.LegalCopyright},
        {"ProductName", &t.ProductName},     {"ProductVersion", &t.ProductVersion}};
    for (const auto& [key, text] : texts)
        if (!text->empty())
            strings.push_back(StringNode(key, *text));
    std::vector<std::uint8_t> table = Node("040904E4", 1, 0, {}, strings);
    std::vector<std::uint8_t> stringInfo = Node("StringFileInfo", 1, 0, {}, {table});

    std::vector<std::uint8_t> translation;
    Put16(translation, LangEnglishUs);
    Put16(translation, CodePageWestern);
    std::vector<std::uint8_t> var = Node("Translation", 0, 4, translation, {});
    std::vector<std::uint8_t> varInfo = Node("VarFileInfo", 1, 0, {}, {var});

    return Node("VS_VERSION_INFO", 0, static_cast<std::uint16_t>(fixed.size()), fixed, {stringInfo, varInfo});
}

TVersionTexts SetupVersionTexts(const std::string& script) {
    const TMemIniFile ini(script);
    TVersionTexts t;
    t.ProductName = ini.ReadString("EN.GrpName", "GrpName", "");
    t.CompanyName = ini.ReadString("EN.GrpName", "COMPANY", "");
    t.ProductVersion = ini.ReadString("COMMON", "ProductVersion", "");
    t.LegalCopyright = ini.ReadString("COMMON", "Copyright", "");
    t.FileDescription = t.ProductName.empty() ? "Setup" : t.ProductName + " Setup";
    return t;
}

} // namespace kx::kxpack
