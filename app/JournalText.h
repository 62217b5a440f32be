// What the user is told of a run that was undone: the files that are put back
// at the next restart and the changes that could not be undone, in the
// locale's language.
#pragma once
#include <string>

#include "app/Journal.h"

namespace kx {

// The lines that follow a message about an undone run; empty when everything
// was put back at once.
std::string UndoText(const TUndoOutcome& outcome);

// "An earlier installation of <group> was interrupted..." with what is left.
std::string RecoveredText(const std::string& groupName, const TUndoOutcome& outcome);

} // namespace kx
