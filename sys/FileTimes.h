// When a file was last written, in UTC to the millisecond (for the tools; the
// standard library's clock of files has whole seconds only on Windows).
#pragma once
#include <cstdint>
#include <string>

namespace kx {

// Whole seconds since 1970-01-01 00:00 UTC and the milliseconds beyond them;
// false when the file's times cannot be read.
bool ModifiedTimeUtc(const std::string& path, std::int64_t& seconds, int& milliseconds);

} // namespace kx
