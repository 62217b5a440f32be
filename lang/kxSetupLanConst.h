// Message numbers shared by the three message tables.
#pragma once

namespace kx {

constexpr unsigned msgFormCaption = 1;
constexpr unsigned msgTitle = 2;
constexpr unsigned msgAgree = 3;
constexpr unsigned msgCancel = 4;
constexpr unsigned msgBack = 5;
constexpr unsigned msgNext = 6;
constexpr unsigned msgInstall = 7;
constexpr unsigned msgDone = 8;
constexpr unsigned msgSelectType = 9;
constexpr unsigned msgSelectComp = 10;
constexpr unsigned msgSelectDir = 11;
constexpr unsigned msgStoppingServices = 13;
constexpr unsigned msgExtractingFile = 14;
constexpr unsigned msgCreateGroup = 15;
constexpr unsigned msgCreateShortcut = 16;
constexpr unsigned msgBrowseTitle = 17;
constexpr unsigned msgExitConfirm = 23;
constexpr unsigned msgCompleteInstall = 24;
constexpr unsigned msgCustomInstall = 25;
constexpr unsigned msgPressInstall = 27;
constexpr unsigned msgInstallSuccess = 28;
constexpr unsigned msgUninstShortcut = 29;
constexpr unsigned msgUninstall = 30;
constexpr unsigned msgStoppingService = 31;
constexpr unsigned msgDeletingFile = 32;
constexpr unsigned msgDeletingGroups = 33;
constexpr unsigned msgClearRegistry = 34;
constexpr unsigned msgUninstallOk = 35;
constexpr unsigned msgUninstallFailed = 36;
constexpr unsigned msgRestartQuestion = 38;
constexpr unsigned msgNeedWin9x = 39;
constexpr unsigned msgNeedWin2k = 40;
// The payload check, one run at a time and the rollback.
constexpr unsigned msgPackageDamaged = 41;
constexpr unsigned msgSetupRunning = 42;
constexpr unsigned msgRunRecovered = 43;
constexpr unsigned msgRestoredAtRestart = 44;
constexpr unsigned msgNotUndone = 45;
constexpr unsigned msgRunUndone = 46;
// The setup program's switches (/?), and one it does not know.
constexpr unsigned msgSetupSwitches = 47;
constexpr unsigned msgUnknownSwitch = 48;
constexpr unsigned msgRecordsChanged = 50;
constexpr unsigned msgLinkRefused = 51;
constexpr unsigned msgDirIsDriveRoot = 53;
constexpr unsigned msgDirIsSystemFolder = 54;
constexpr unsigned msgDirHoldsOtherPackage = 55;

} // namespace kx
