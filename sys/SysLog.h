// The diagnostic log "SysLog.txt" in the program's directory.
#pragma once
#include <string>

namespace kx {

bool LogEnabled();
void SetLogEnabled(bool enabled);

// Appends "YY-MM-DD HH:NN:SS " and text as one line when logging is on or force is
// set; above 1,000 lines the whole log moves to "yymmddhhnn.txt" ("yymmddhhnn-N.txt"
// when that name is taken). Reads and rewrites the file on every call; file errors
// are raised.
void WriteSysLog(const std::string& text, bool force = false);

// Logs "Error: " + text with force set, then raises the silent abort.
[[noreturn]] void LogErrorAndAbort(const std::string& text);

} // namespace kx
