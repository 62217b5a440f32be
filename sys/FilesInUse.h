// Replacing files that a running program holds: whether the program runs (its
// window), short names, moves at the next restart and "WinInit.ini" renames.
#pragma once
#include <string>

namespace kx {

// A top-level window of the class exists (FindWindow with no window title).
bool TopLevelWindowExists(const std::string& className);
// The short (8.3) form of an existing path; the path unchanged when Windows gives none.
std::string GetShortPath(const std::string& path);
// The path under which the restart finds a file: a 32-bit program on 64-bit
// Windows sees SysWOW64 as its system directory, but the renames at the restart
// are carried out without that redirection (some Windows versions and Wine write
// the names as given), so the system directory is spelt SysWOW64 there.
std::string PathAtRestart(const std::string& path);
// MoveFileEx(from, to, MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING):
// one move that replaces `to` at the restart; an empty `to` deletes `from` then.
// False when refused (the 9x family has no delayed moves).
bool MoveFileAtRestart(const std::string& from, const std::string& to);
// Takes every delayed move or delete of `from` (as it was given to
// MoveFileAtRestart) off the system's list again; the other entries stay as
// they are. Nothing on the 9x family, which has no such list.
void CancelMoveFileAtRestart(const std::string& from);
// key=value in section "rename" of the profile file; false when it cannot be written.
bool WriteRenameEntry(const std::string& profile, const std::string& key, const std::string& value);
// Writes out what the system keeps cached of the profile file.
void FlushProfile(const std::string& profile);

} // namespace kx
