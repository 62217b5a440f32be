// The run's log for deployment tools (/LOG=path): every progress line and
// error of the run, one per line with its local date and time in front.
#pragma once
#include <memory>
#include <string>

namespace kx {

class TFileStream;

class TRunLog {
public:
    // Creates (or empties) the file; raises EFCreateError when it cannot.
    explicit TRunLog(const std::string& path);
    ~TRunLog();
    TRunLog(const TRunLog&) = delete;
    TRunLog& operator=(const TRunLog&) = delete;

    // "YYYY-MM-DD HH:MM:SS text" and CR LF, written through at once, so that a
    // run that is killed leaves its lines so far. Write errors are passed over:
    // the log never ends a run.
    void Write(const std::string& text);

private:
    std::unique_ptr<TFileStream> FFile;
};

// The time stamp of a log line for a local date and time: "2026-12-08 23:05:09".
std::string LogTimeStamp(double localDateTime);

} // namespace kx
