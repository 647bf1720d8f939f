// Child-window identifiers of the wizard window's controls. The window finds
// its controls by name through this table; the end-to-end driver, another
// process, finds them by identifier (GetDlgItem on the window of class
// "TfrmSetup").
#pragma once

namespace ids {

enum : int {
  // Bottom bar
  pnlBottom = 1000,
  Shape1,
  pbCancel,
  pbPrev,
  pbNext,
  // Side panel
  Panel1 = 1010,
  Label20,
  Label21,
  Image1,
  // Page area
  ntbkSetup = 1020,
  // pgUvod
  lbl1_1 = 1100,
  Label22,
  Label23,
  Label24,
  Image3,
  Memo1,
  // pgUserInfo
  lbl3_1 = 1200,
  lbl3_2,
  Label18,
  Label19,
  txtName,
  txtCompany,
  // pgCesty
  Label1 = 1300,
  Label4,
  Label2,
  txtVantorPro,
  SpeedButton1,
  Label3,
  txtProjekty,
  SpeedButton2,
  Label5,
  txtVzory,
  SpeedButton3,
  cbVzory,
  Label6,
  txtPriklady,
  SpeedButton4,
  cbPriklady,
  // pgNabidka
  Label7 = 1400,
  Label8,
  Label9,
  txtFolderName,
  Label10,
  lbFolders,
  // pgStartCopy
  Label11 = 1500,
  Label12,
  memSettings,
  // pgCopyFiles
  Label13 = 1600,
  Label14,
  Animate1,
  lblCopyFile,
  ProgressBar1,
  pbPrerusit,
  // pgHotovo
  Label15 = 1700,
  Label16,
  lblRestart,
  rbRestartAno,
  rbRestartNe,
};

}  // namespace ids
