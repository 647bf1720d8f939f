// What a page does when it is shown, and the small handlers of the input
// pages.
#include "wizard/FrmSetup.h"

void TfrmSetup::ntbkSetupPageChanged() {
  if (ShownPageName() == L"pgUserInfo") SetFocus(L"txtName");
  if (ShownPageName() == L"pgCesty") SetFocus(L"txtVantorPro");
  if (ShownPageName() == L"pgHotovo") {
    SetVisible(L"pbPrev", false);
    SetVisible(L"pbCancel", false);
    SetVisible(L"lblRestart", false);
    SetVisible(L"rbRestartAno", false);
    SetVisible(L"rbRestartNe", false);
    SetChecked(L"rbRestartNe", true);
    SetText(L"pbNext", L"&Dokončit");
    SetHint(L"pbNext", L"Dokončí instalaci aplikace VantorPro");
  }
}

void TfrmSetup::lbFoldersClick() {
  HWND list = Control(L"lbFolders");
  const LRESULT index = SendMessageW(list, LB_GETCURSEL, 0, 0);
  if (index == LB_ERR) return;
  std::wstring text(static_cast<size_t>(SendMessageW(list, LB_GETTEXTLEN, index, 0)) + 1, L'\0');
  text.resize(static_cast<size_t>(
      SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()))));
  SetText(L"txtFolderName", text);
}

void TfrmSetup::cbVzoryClick() {
  SetEnabled(L"txtVzory", !Checked(L"cbVzory"));
}

void TfrmSetup::cbPrikladyClick() {
  SetEnabled(L"txtPriklady", !Checked(L"cbPriklady"));
}

void TfrmSetup::timSetupTimer() {}

void TfrmSetup::pbPrerusitClick() {}
