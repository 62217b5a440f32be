// Windows implementation of TFileStream with the system's share modes.
#include "sys/FileStream.h"

#include "base/Exception.h"
#include "base/Format.h"
#include "sys/Win32.h"

namespace kx {

TDateTime FileTimeToLocalDateTime(const FILETIME& ft);
bool LocalDateTimeToFileTime(TDateTime t, FILETIME& ft);

namespace {
HANDLE H(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }
} // namespace

TFileStream::TFileStream(const std::string& fileName, std::uint16_t mode) : FFileName(fileName) {
    HANDLE h;
    if (mode == fmCreate) {
        h = CreateFileA(fileName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) throw EFCreateError(Format("Cannot create file %s", fileName));
    } else {
        static const DWORD access[3] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
        static const DWORD share[5] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE};
        unsigned a = mode & 3, s = (mode & 0xF0) >> 4;
        if (a > 2 || s > 4) throw EFOpenError(Format("Cannot open file %s", fileName));
        h = CreateFileA(fileName.c_str(), access[a], share[s], nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) throw EFOpenError(Format("Cannot open file %s", fileName));
    }
    FHandle = reinterpret_cast<std::intptr_t>(h);
}

TFileStream::~TFileStream() { CloseHandle(H(FHandle)); }

std::int32_t TFileStream::Read(void* buffer, std::int32_t count) {
    DWORD n = 0;
    if (count <= 0 || !ReadFile(H(FHandle), buffer, static_cast<DWORD>(count), &n, nullptr)) return 0;
    return static_cast<std::int32_t>(n);
}

std::int32_t TFileStream::Write(const void* buffer, std::int32_t count) {
    DWORD n = 0;
    if (count <= 0 || !WriteFile(H(FHandle), buffer, static_cast<DWORD>(count), &n, nullptr)) return 0;
    return static_cast<std::int32_t>(n);
}

// SetFilePointer with its high part, since Windows 9x has no SetFilePointerEx.
std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    DWORD m = origin == TSeekOrigin::soBeginning ? FILE_BEGIN : origin == TSeekOrigin::soCurrent ? FILE_CURRENT : FILE_END;
    LONG high = static_cast<LONG>(offset >> 32);
    SetLastError(NO_ERROR);
    DWORD low = SetFilePointer(H(FHandle), static_cast<LONG>(static_cast<DWORD>(offset)), &high, m);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
        // A refused move leaves the position where it was: report that one.
        high = 0;
        low = SetFilePointer(H(FHandle), 0, &high, FILE_CURRENT);
    }
    return (static_cast<std::int64_t>(high) << 32) | low;
}

void TFileStream::SetSize(std::int64_t newSize) {
    std::int64_t pos = Position();
    SetPosition(newSize);
    if (!SetEndOfFile(H(FHandle))) throw EStreamError("Stream write error");
    if (pos < newSize) SetPosition(pos);
}

bool TFileStream::SetLastWriteTime(TDateTime localTime) {
    FILETIME ft;
    return LocalDateTimeToFileTime(localTime, ft) && SetFileTime(H(FHandle), nullptr, nullptr, &ft);
}

TDateTime TFileStream::LastWriteTime() {
    FILETIME ft;
    if (!GetFileTime(H(FHandle), nullptr, nullptr, &ft)) return -1;
    return FileTimeToLocalDateTime(ft);
}

} // namespace kx
