// A file made under a name nothing had: the only way the run creates files, so
// that it never writes into a file it did not make.
#pragma once
#include <memory>
#include <string>

#include "base/DateTime.h"
#include "base/Stream.h"

namespace kx {

class TNewFile : public TStream {
public:
    // The last-write time it will have (local date-time).
    virtual void SetDate(TDateTime localTime) = 0;
    // Forces what was written to the disk; raises EWriteError when the disk refuses.
    virtual void Flush() = 0;
    // Closes the file, its bytes handed to the system whole (written out by the
    // system's cache as any file's); raises EWriteError when the system refuses
    // them (a full disk may tell only now). Closing again does nothing.
    virtual void Close() = 0;
};

// Creates path for writing only if nothing has that name (CREATE_NEW): nullptr
// when the name is taken; EFCreateError "Cannot create file %s" for any other refusal.
std::unique_ptr<TNewFile> CreateNewFile(const std::string& path);

} // namespace kx
