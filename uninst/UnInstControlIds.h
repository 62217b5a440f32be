// Window class and control IDs of the uninstaller's form, shared with the end-to-end driver.
#pragma once

namespace kx {

constexpr const char kUnInstFormClass[] = "TUnInstFM";

enum TUnInstControlId : int {
    idUnPanel1 = 2001,
    idUnImgTitle = 2002,
    idUnLblTitle = 2003,
    idUnProgressBar = 2004,
    idUnLbxProgress = 2005,
    idUnBevel2 = 2006,
    idUnBtnCancel = 2007,
    idUnLblCompany = 2008,
    idUnBtnUnInstall = 2009,
};

// The program's icon.
constexpr int idUnInstIcon = 1;

} // namespace kx
