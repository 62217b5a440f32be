// A temporary file that is deleted on every way out of the scope that made it.
#pragma once
#include <string>

#include "sys/Files.h"

namespace kx {

class TTempFileGuard {
public:
    explicit TTempFileGuard(std::string path) : FPath(std::move(path)) {}
    ~TTempFileGuard() {
        FileSetAttr(FPath, 0);
        DeleteFile(FPath);
    }
    TTempFileGuard(const TTempFileGuard&) = delete;
    TTempFileGuard& operator=(const TTempFileGuard&) = delete;

private:
    std::string FPath;
};

} // namespace kx
