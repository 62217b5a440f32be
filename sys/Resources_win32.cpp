// Resources of the program's own module.
#include "sys/Resources.h"

#include "base/Exception.h"
#include "base/Format.h"
#include "sys/FileStream.h"
#include "sys/Files.h"
#include "sys/Win32.h"

namespace kx {

std::string_view ResourceView(const std::string& name, const std::string& type) {
    HRSRC res = FindResourceA(nullptr, name.c_str(), type.c_str());
    HGLOBAL mem = res ? LoadResource(nullptr, res) : nullptr;
    const void* p = mem ? LockResource(mem) : nullptr;
    if (!p) throw Exception(Format("Resource %s not found", name));
    return std::string_view(static_cast<const char*>(p), SizeofResource(nullptr, res));
}

std::string LoadResourceBytes(const std::string& name, const std::string& type) {
    return std::string(ResourceView(name, type));
}

void ExtractResourceToFile(const std::string& name, const std::string& type, const std::string& path) {
    std::string bytes = LoadResourceBytes(name, type);
    {
        TFileStream f(path, fmCreate);
        f.WriteBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    }
    FileSetAttr(path, 0);
}

} // namespace kx
