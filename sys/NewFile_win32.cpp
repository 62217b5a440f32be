// Windows implementation of TNewFile: CreateFile with CREATE_NEW, flushed with FlushFileBuffers.
#include "sys/NewFile.h"

#include "base/Exception.h"
#include "base/Format.h"
#include "sys/Win32.h"

namespace kx {

bool LocalDateTimeToFileTime(TDateTime t, FILETIME& ft);

namespace {

class TWinNewFile : public TNewFile {
public:
    explicit TWinNewFile(HANDLE h) : FHandle(h) {}
    ~TWinNewFile() override {
        if (FHandle != INVALID_HANDLE_VALUE) CloseHandle(FHandle);
    }

    std::int32_t Read(void*, std::int32_t) override { return 0; }

    std::int32_t Write(const void* buffer, std::int32_t count) override {
        DWORD n = 0;
        if (count <= 0 || FHandle == INVALID_HANDLE_VALUE ||
            !WriteFile(FHandle, buffer, static_cast<DWORD>(count), &n, nullptr))
            return 0;
        return static_cast<std::int32_t>(n);
    }

    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
        const DWORD m = origin == TSeekOrigin::soBeginning ? FILE_BEGIN
                        : origin == TSeekOrigin::soCurrent ? FILE_CURRENT
                                                           : FILE_END;
        LONG high = static_cast<LONG>(offset >> 32);
        SetLastError(NO_ERROR);
        DWORD low = SetFilePointer(FHandle, static_cast<LONG>(static_cast<DWORD>(offset)), &high, m);
        if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
            high = 0;
            low = SetFilePointer(FHandle, 0, &high, FILE_CURRENT);
        }
        return (static_cast<std::int64_t>(high) << 32) | low;
    }

    void SetSize(std::int64_t newSize) override {
        const std::int64_t pos = Position();
        SetPosition(newSize);
        if (!SetEndOfFile(FHandle)) throw EWriteError();
        if (pos < newSize) SetPosition(pos);
    }

    void SetDate(TDateTime localTime) override {
        FDate = localTime;
        FHasDate = true;
    }

    void Flush() override {
        if (FHandle != INVALID_HANDLE_VALUE && !FlushFileBuffers(FHandle)) throw EWriteError();
    }

    void Close() override {
        if (FHandle == INVALID_HANDLE_VALUE) return;
        FILETIME ft;
        if (FHasDate && LocalDateTimeToFileTime(FDate, ft)) SetFileTime(FHandle, nullptr, nullptr, &ft);
        const bool closed = CloseHandle(FHandle) != 0;
        FHandle = INVALID_HANDLE_VALUE;
        if (!closed) throw EWriteError();
    }

private:
    HANDLE FHandle;
    TDateTime FDate = 0;
    bool FHasDate = false;
};

} // namespace

std::unique_ptr<TNewFile> CreateNewFile(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return nullptr;
        throw EFCreateError(Format("Cannot create file %s", path));
    }
    return std::make_unique<TWinNewFile>(h);
}

} // namespace kx
