// POSIX implementation of TNewFile: open with O_EXCL, flushed with fsync.
#include "sys/NewFile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "base/Exception.h"
#include "base/Format.h"
#include "sys/Files.h"

namespace kx {

namespace {

class TPosixNewFile : public TNewFile {
public:
    TPosixNewFile(int fd, std::string path) : FFd(fd), FPath(std::move(path)) {}
    ~TPosixNewFile() override {
        if (FFd >= 0) ::close(FFd);
    }

    std::int32_t Read(void*, std::int32_t) override { return 0; }

    std::int32_t Write(const void* buffer, std::int32_t count) override {
        if (count <= 0 || FFd < 0) return 0;
        const ssize_t n = ::write(FFd, buffer, static_cast<std::size_t>(count));
        return n < 0 ? 0 : static_cast<std::int32_t>(n);
    }

    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
        const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET
                           : origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                              : SEEK_END;
        const off_t p = ::lseek(FFd, static_cast<off_t>(offset), whence);
        return p < 0 ? static_cast<std::int64_t>(::lseek(FFd, 0, SEEK_CUR)) : static_cast<std::int64_t>(p);
    }

    void SetSize(std::int64_t newSize) override {
        if (::ftruncate(FFd, static_cast<off_t>(newSize)) != 0) throw EWriteError();
    }

    void SetDate(TDateTime localTime) override {
        FDate = localTime;
        FHasDate = true;
    }

    void Flush() override {
        if (FFd >= 0 && ::fsync(FFd) != 0) throw EWriteError();
    }

    void Close() override {
        if (FFd < 0) return;
        const bool closed = ::close(FFd) == 0;
        FFd = -1;
        if (!closed) throw EWriteError();
        if (FHasDate) FileSetDate(FPath, FDate);
    }

private:
    int FFd;
    std::string FPath;
    TDateTime FDate = 0;
    bool FHasDate = false;
};

} // namespace

std::unique_ptr<TNewFile> CreateNewFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == EEXIST) return nullptr;
        throw EFCreateError(Format("Cannot create file %s", path));
    }
    return std::make_unique<TPosixNewFile>(fd, path);
}

} // namespace kx
