// Reading an .ico file into icon resources; the layout is in IconFile.h.
#include "tools/kxpack/IconFile.h"

#include "base/Format.h"
#include "tools/kxpack/PeFormat.h"

namespace kx::kxpack {

using pe::Get16;
using pe::Get32;

namespace {
constexpr std::size_t DirSize = 6;
constexpr std::size_t FileEntrySize = 16;
constexpr std::size_t GroupEntrySize = 14;
} // namespace

std::vector<TResource> IconResources(const std::vector<std::uint8_t>& ico, std::uint16_t groupId,
                                     std::uint16_t language) {
    const std::size_t size = ico.size();
    if (size < DirSize || Get16(ico.data()) != 0 || Get16(ico.data() + 2) != 1)
        throw EIconFile("not an icon file (it does not start as one; a PNG or a cursor?)");
    const std::uint16_t count = Get16(ico.data() + 4);
    if (count == 0)
        throw EIconFile("the icon file holds no image");
    if (DirSize + std::size_t{count} * FileEntrySize > size)
        throw EIconFile(Format("the icon file ends inside its list of %d images (truncated?)", count));

    std::vector<TResource> out;
    TResource group{TResourceId::Of(ResourceTypeGroupIcon), TResourceId::Of(groupId), language, 0, {}};
    group.Data.assign(ico.begin(), ico.begin() + DirSize);
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::uint8_t* e = ico.data() + DirSize + std::size_t{i} * FileEntrySize;
        const std::uint32_t bytes = Get32(e + 8);
        const std::uint32_t offset = Get32(e + 12);
        if (bytes == 0 || offset > size || bytes > size - offset)
            throw EIconFile(Format("image %d of the icon file lies outside the file (truncated?)", i + 1));
        const std::uint16_t id = static_cast<std::uint16_t>(i + 1);
        TResource image{TResourceId::Of(ResourceTypeIcon), TResourceId::Of(id), language, 0, {}};
        image.Data.assign(ico.begin() + offset, ico.begin() + offset + bytes);
        out.push_back(std::move(image));
        group.Data.insert(group.Data.end(), e, e + 12);
        group.Data.push_back(static_cast<std::uint8_t>(id));
        group.Data.push_back(static_cast<std::uint8_t>(id >> 8));
    }
    static_assert(12 + 2 == GroupEntrySize);
    out.insert(out.begin(), std::move(group));
    return out;
}

} // namespace kx::kxpack
