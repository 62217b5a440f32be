// The run's log file.
#include "app/RunLog.h"

#include "base/DateTime.h"
#include "base/Exception.h"
#include "base/Format.h"
#include "sys/FileStream.h"
#include "sys/Files.h"

namespace kx {

std::string LogTimeStamp(double localDateTime) {
    const DateTimeParts t = DecodeDateTime(localDateTime);
    return Format("%4.4d-%2.2d-%2.2d %2.2d:%2.2d:%2.2d", t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second);
}

TRunLog::TRunLog(const std::string& path) : FFile(std::make_unique<TFileStream>(path, fmCreate)) {}

TRunLog::~TRunLog() = default;

void TRunLog::Write(const std::string& text) {
    const std::string line = LogTimeStamp(Now()) + " " + text + "\r\n";
    try {
        FFile->WriteBuffer(line.data(), static_cast<std::int32_t>(line.size()));
    } catch (const Exception&) {
    }
}

} // namespace kx
