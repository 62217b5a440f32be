#include "app/JournalText.h"

#include "base/Format.h"
#include "lang/kxSetupLan.h"
#include "lang/kxSetupLanConst.h"

namespace kx {

namespace {

std::string Lines(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += "\r\n" + item;
    return text;
}

} // namespace

std::string UndoText(const TUndoOutcome& outcome) {
    std::string text;
    if (!outcome.AtRestart.empty()) text += "\r\n\r\n" + GetSetupMsg(msgRestoredAtRestart) + Lines(outcome.AtRestart);
    if (!outcome.Failed.empty()) text += "\r\n\r\n" + GetSetupMsg(msgNotUndone) + Lines(outcome.Failed);
    return text;
}

std::string RecoveredText(const std::string& groupName, const TUndoOutcome& outcome) {
    return Format(GetSetupMsg(msgRunRecovered), groupName) + UndoText(outcome);
}

} // namespace kx
