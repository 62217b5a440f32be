// A package's setup.ico as the icon resources of its setup program.
//
// The .ico file (little-endian):
//   ICONDIR       6 bytes: uint16 reserved 0, uint16 type 1, uint16 count
//   ICONDIRENTRY 16 bytes each: uint8 width, height, colour count, reserved,
//                uint16 planes, bit count, uint32 bytes of the image, uint32 its offset
// In a program: one RT_ICON (3) resource per image, holding its bytes, and an
// RT_GROUP_ICON (14) holding the ICONDIR with entries of 14 bytes, whose last
// field is the uint16 ID of the RT_ICON instead of the offset.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "tools/kxpack/PeResources.h"

namespace kx::kxpack {

// The file is not an icon kxpack can use; the message says why.
class EIconFile : public Exception {
    using Exception::Exception;
};

constexpr std::uint16_t ResourceTypeIcon = 3;
constexpr std::uint16_t ResourceTypeGroupIcon = 14;

// The icon group (ID groupId) and its images (IDs 1, 2, ...), in language.
// Raises EIconFile for a file that is no icon, has no image, or whose entries
// point outside it.
std::vector<TResource> IconResources(const std::vector<std::uint8_t>& ico, std::uint16_t groupId,
                                     std::uint16_t language);

} // namespace kx::kxpack
