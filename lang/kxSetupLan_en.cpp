// The English message table: ASCII, with the GBK full-width comma (A3 AC) and
// exclamation mark (A3 A1) that messages 38 to 40 carry.
#include "lang/kxSetupLan.h"
#include "lang/kxSetupLanConst.h"

#include <iterator>

namespace kx {

namespace {

const TMessageEntry kTable[] = {
    {msgFormCaption, "%s Installer"},
    {msgTitle, "%s Installer"},
    {msgAgree, "Agree"},
    {msgCancel, "Cancel"},
    {msgBack, "< Back"},
    {msgNext, "Next >"},
    {msgInstall, "Install"},
    {msgDone, "Done"},
    {msgSelectType, "Select Setup Type:"},
    {msgSelectComp, "Or Select the Component To Install"},
    {msgSelectDir, "Select the directory to install the program:"},
    {msgStoppingServices, "Stoping Service..."},
    {msgExtractingFile, "Extracting File :%s ..."},
    {msgCreateGroup, "Create Program Group..."},
    {msgCreateShortcut, "Create shortcut..."},
    {msgBrowseTitle, "Select the directory"},
    {msgExitConfirm, "The %s install has not complete, do you want to exit?"},
    {msgCompleteInstall, "Complete Install"},
    {msgCustomInstall, "Custom Install"},
    {msgPressInstall, "Press Install button to Start..."},
    {msgInstallSuccess, "Install successfuly!"},
    {msgUninstShortcut, "%s UnInst"},
    {msgUninstall, "UnInstall"},
    {msgStoppingService, "Stopping Service %s..."},
    {msgDeletingFile, "Deleting File %s..."},
    {msgDeletingGroups, "Deleting Groups..."},
    {msgClearRegistry, "Clear the registry"},
    {msgUninstallOk, "Uninstall successfully"},
    {msgUninstallFailed, "Uninstall fail, the program maybe have been uninstalled."},
    {msgRestartQuestion, "Setup Complete. You need to reboot the machine to update the file\xA3\xACPress Ok to Restart"},
    {msgNeedWin9x, "Windows 9x Operation system is required for install this program, press Ok to abort\xA3\xA1"},
    {msgNeedWin2k, "Windows 2000/XP Operation system is required for install this program, press Ok to abort\xA3\xA1"},
    {msgPackageDamaged, "The setup package is damaged and cannot be installed. Please download it again."},
    {msgSetupRunning, "Another setup or uninstall of %s is running. Wait until it has finished, then try again."},
    {msgRunRecovered, "An earlier installation of %s was interrupted. Everything it had changed has been put back."},
    {msgRestoredAtRestart, "These files are in use and are put back when Windows restarts:"},
    {msgNotUndone, "These changes could not be undone:"},
    {msgRunUndone, "The changes made by the installation have been undone."},
    {msgSetupSwitches, "Setup switches:\r\n/S\x09install silently: no window, no message\r\n/D=folder\x09the target folder (last on the line)\r\n/COMPONENTS=1,3\x09the components to install, numbered as listed\r\n/LOG=file\x09write every progress line and error into the file\r\n/REBOOT\x09" "a silent install restarts Windows when it must\r\n/?\x09this list\r\n\r\nExit codes: 0 done, 3010 done (a restart is needed), 1602 cancelled, 1603 failed, 1639 unknown switch."},
    {msgUnknownSwitch, "Unknown switch: %s"},
    {msgRecordsChanged, "%s has been changed since the installation; nothing is removed."},
    {msgLinkRefused, "%s leads to another place; nothing is removed through it."},
    {msgDirIsDriveRoot, "%s is the root of a drive. Choose a folder for the program."},
    {msgDirIsSystemFolder, "%s is a folder that Windows or all programs use. Choose a folder of its own for the program."},
    {msgDirHoldsOtherPackage, "%s holds another program's installation. Choose another folder."},
};

} // namespace

std::string GetSetupMsg_en(unsigned number) { return LookupMessage(kTable, std::size(kTable), number); }

} // namespace kx
