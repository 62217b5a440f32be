// Window class and control IDs of the wizard form, shared with the end-to-end driver.
#pragma once

namespace kx {

constexpr const char kSetupFormClass[] = "TSetupFM";

// Each button keeps its Tag in GWLP_USERDATA, where another process can read it.
enum TSetupControlId : int {
    idPanel1 = 1001,
    idImgTitle = 1002,
    idLblTitle = 1003,
    idNotebook = 1004,
    idBevel2 = 1005,
    idBtnCancel = 1006,
    idLblkxSetup = 1007,
    idBtnPrior = 1008,
    idBtnNext = 1009,
    // The four pages of the notebook, in page order.
    idPageLicense = 1010,
    idPageSelectComp = 1011,
    idPageSeleDir = 1012,
    idPageCopyProgress = 1013,
    idMemLicense = 1020,
    idLblSeleType = 1021,
    idLblSeleComp = 1022,
    idCmbSetupType = 1023,
    idLbxCompList = 1024,
    idLblSeleInstallDir = 1025,
    idEdtInstallPath = 1026,
    idBtnBrow = 1027,
    idProgressBar = 1028,
    idLbxProgress = 1029,
};

// Bitmap resource shown in imgTitle.
constexpr int idBmpTitle = 200;
// The program's icon group (kx_shipped_program gives every shipped program one).
constexpr int idIconMain = 1;

} // namespace kx
