// Texts of the errors that end the installation run at one file, in the three
// languages of the message tables. They are not numbered messages: the numbered
// tables keep exactly the texts the wizard has always had.
#pragma once
#include <string>

namespace kx {

enum class TRunError {
    reCannotWrite,       // the destination cannot be created or opened (in use, read-only medium, no rights)
    reWriteIncomplete,   // writing stopped part way (disk full)
    rePackageDamaged,    // a block or entry of the payload is damaged
    reNotInPackage,      // the payload holds no entry of that name
    reCannotSchedule,    // the replacement at the next restart could not be registered
    rePackageUnreadable, // the payload cannot be opened at all (the text names no file)
};

// The text for the language in SetupLang, with fileName in place of its "%s".
std::string RunErrorText(TRunError error, const std::string& fileName = std::string());

} // namespace kx
