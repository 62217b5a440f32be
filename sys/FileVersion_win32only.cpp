// Reading a program's version resource without version.dll.
#include "sys/FileVersion.h"

#include "sys/Win32.h"

namespace kx {

namespace {
// A module loaded as a data file, freed on every way out.
class TDataModule {
public:
    explicit TDataModule(const std::string& path)
        : FModule(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~TDataModule() {
        if (FModule) FreeLibrary(FModule);
    }
    TDataModule(const TDataModule&) = delete;
    TDataModule& operator=(const TDataModule&) = delete;
    HMODULE Get() const { return FModule; }

private:
    HMODULE FModule;
};
} // namespace

std::string ReadVersionResource(const std::string& path) {
    TDataModule module(path);
    if (!module.Get()) return std::string();
    HRSRC res = FindResourceA(module.Get(), MAKEINTRESOURCEA(1), reinterpret_cast<LPCSTR>(RT_VERSION));
    HGLOBAL mem = res ? LoadResource(module.Get(), res) : nullptr;
    const void* p = mem ? LockResource(mem) : nullptr;
    if (!p) return std::string();
    return std::string(static_cast<const char*>(p), SizeofResource(module.Get(), res));
}

} // namespace kx
