// POSIX implementation of TFileStream.
#include "sys/FileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/Exception.h"
#include "base/Format.h"

namespace kx {

bool ToTimeSpec(TDateTime t, struct timespec& ts);
TDateTime TimeSpecToDateTime(const struct timespec& ts);

TFileStream::TFileStream(const std::string& fileName, std::uint16_t mode) : FFileName(fileName) {
    int fd;
    if (mode == fmCreate) {
        fd = open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) throw EFCreateError(Format("Cannot create file %s", fileName));
    } else {
        int acc = (mode & 3) == fmOpenWrite ? O_WRONLY : (mode & 3) == fmOpenReadWrite ? O_RDWR : O_RDONLY;
        fd = open(fileName.c_str(), acc | O_CLOEXEC);
        struct stat st;
        if (fd >= 0 && fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
            close(fd);
            fd = -1;
        }
        if (fd < 0) throw EFOpenError(Format("Cannot open file %s", fileName));
    }
    FHandle = fd;
}

TFileStream::~TFileStream() {
    if (FHandle >= 0) close(static_cast<int>(FHandle));
}

std::int32_t TFileStream::Read(void* buffer, std::int32_t count) {
    if (count <= 0) return 0;
    std::int32_t done = 0;
    while (done < count) {
        ssize_t n = read(static_cast<int>(FHandle), static_cast<char*>(buffer) + done, count - done);
        if (n <= 0) break;
        done += static_cast<std::int32_t>(n);
    }
    return done;
}

std::int32_t TFileStream::Write(const void* buffer, std::int32_t count) {
    if (count <= 0) return 0;
    std::int32_t done = 0;
    while (done < count) {
        ssize_t n = write(static_cast<int>(FHandle), static_cast<const char*>(buffer) + done, count - done);
        if (n <= 0) break;
        done += static_cast<std::int32_t>(n);
    }
    return done;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET : origin == TSeekOrigin::soCurrent ? SEEK_CUR : SEEK_END;
    off_t r = lseek(static_cast<int>(FHandle), static_cast<off_t>(offset), whence);
    if (r < 0) r = lseek(static_cast<int>(FHandle), 0, SEEK_CUR);
    return r;
}

void TFileStream::SetSize(std::int64_t newSize) {
    if (ftruncate(static_cast<int>(FHandle), static_cast<off_t>(newSize)) != 0)
        throw EStreamError("Stream write error");
    if (Position() > newSize) SetPosition(newSize);
}

bool TFileStream::SetLastWriteTime(TDateTime localTime) {
    struct timespec ts[2];
    if (!ToTimeSpec(localTime, ts[1])) return false;
    ts[0] = ts[1];
    return futimens(static_cast<int>(FHandle), ts) == 0;
}

TDateTime TFileStream::LastWriteTime() {
    struct stat st;
    if (fstat(static_cast<int>(FHandle), &st) != 0) return -1;
    return TimeSpecToDateTime(st.st_mtim);
}

} // namespace kx
