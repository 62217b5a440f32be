// The version resource of a setup program, made from its package: what the
// Properties dialog of Explorer and tools such as wrestool show.
//
// Layout (every node 32-bit aligned, lengths in bytes, texts UTF-16LE with
// their terminating zero):
//   node:  uint16 wLength (the node with its children), uint16 wValueLength,
//          uint16 wType (0 binary, 1 text), key, padding, value, padding, children
//   VS_VERSION_INFO  value: VS_FIXEDFILEINFO (52 bytes, signature 0xFEEF04BD)
//     StringFileInfo
//       "040904E4" (US English, code page 1252): one node per string, whose
//                  wValueLength counts characters, the zero included
//     VarFileInfo
//       Translation  value: uint16 language 0x0409, uint16 code page 1252
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kx::kxpack {

constexpr std::uint16_t ResourceTypeVersion = 16;

struct TVersionTexts {
    std::string CompanyName;
    std::string FileDescription;
    std::string ProductName;
    std::string ProductVersion;  // also the FileVersion text
    std::string LegalCopyright;
};

// The leading numbers of a version text ("2.1.0 beta" gives 2, 1, 0, 0); each
// above 65535, and everything after the first non-number, ends the reading.
std::array<std::uint16_t, 4> VersionNumbers(const std::string& text);

// The resource's bytes. Texts are ASCII (other bytes become '?'); empty texts
// are left out.
std::vector<std::uint8_t> BuildVersionResource(const TVersionTexts& texts);

// The texts a package gives its setup program: the English GrpName and
// COMPANY, and ProductVersion and Copyright of [Common]; the description is
// "<GrpName> Setup". The output's file name is left out, so that renaming the
// output does not change a byte of the next one.
TVersionTexts SetupVersionTexts(const std::string& script);

} // namespace kx::kxpack
