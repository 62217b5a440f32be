// Whole-file helpers shared by both platforms.
#include "base/Exception.h"
#include "sys/FileStream.h"
#include "sys/Files.h"

namespace kx {

std::string LoadFileToString(const std::string& path) {
    TFileStream f(path, fmOpenRead | fmShareDenyWrite);
    std::int64_t size = f.Size();
    if (size > 0x7FFFFFFF) throw EReadError();
    std::string data(static_cast<std::size_t>(size), '\0');
    f.ReadBuffer(data.data(), static_cast<std::int32_t>(size));
    return data;
}

void SaveStringToFile(const std::string& path, const std::string& data) {
    TFileStream f(path, fmCreate);
    f.WriteBuffer(data.data(), static_cast<std::int32_t>(data.size()));
}

} // namespace kx
