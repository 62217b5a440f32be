// TFileStream: a file behind the TStream interface, opened with Windows share modes.
#pragma once
#include <cstdint>
#include <string>

#include "base/DateTime.h"
#include "base/Stream.h"

namespace kx {

// Open modes: one access value or'ed with one share value; fmCreate creates or
// truncates. Share modes are honoured on Windows and ignored elsewhere.
constexpr std::uint16_t fmCreate = 0xFFFF;
constexpr std::uint16_t fmOpenRead = 0x0000;
constexpr std::uint16_t fmOpenWrite = 0x0001;
constexpr std::uint16_t fmOpenReadWrite = 0x0002;
constexpr std::uint16_t fmShareCompat = 0x0000;
constexpr std::uint16_t fmShareExclusive = 0x0010;
constexpr std::uint16_t fmShareDenyWrite = 0x0020;
constexpr std::uint16_t fmShareDenyRead = 0x0030;
constexpr std::uint16_t fmShareDenyNone = 0x0040;

class TFileStream : public TStream {
public:
    // Raises EFCreateError "Cannot create file %s" or EFOpenError "Cannot open file %s".
    TFileStream(const std::string& fileName, std::uint16_t mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    std::int32_t Read(void* buffer, std::int32_t count) override;
    std::int32_t Write(const void* buffer, std::int32_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    void SetSize(std::int64_t newSize) override;

    const std::string& FileName() const { return FFileName; }
    // Last-write time of the open file as local date-time; false when it cannot be set.
    bool SetLastWriteTime(TDateTime localTime);
    TDateTime LastWriteTime();

private:
    std::string FFileName;
    std::intptr_t FHandle;
};

} // namespace kx
