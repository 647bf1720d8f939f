// What a page does when it is shown, and the small handlers of the input
// pages.
#include "platform/Platform.h"
#include "wizard/FrmSetup.h"

void TfrmSetup::ntbkSetupPageChanged() {
  if (ShownPageName() == L"pgUserInfo") SetFocus(L"txtName");
  if (ShownPageName() == L"pgCesty") SetFocus(L"txtVantorPro");
  if (ShownPageName() == L"pgStartCopy") {
    // Rebuilt from scratch on every entry.
    const std::vector<std::wstring> lines = SettingsSummary();
    std::wstring text;
    for (size_t i = 0; i < lines.size(); ++i) text += (i ? L"\r\n" : L"") + lines[i];
    SetText(L"memSettings", text);
  }
  if (ShownPageName() == L"pgCopyFiles") {
    // A poll left running by a stop while waiting belongs to the run before.
    // Its flag would otherwise finish this run in the middle of its work;
    // this run clears the flag, starts the engine's setup again and polls
    // afresh when it is done.
    SetTimerEnabled(false);
    platform::SetAppCursor(platform::Cursor::AppStart);
    Install();
    platform::SetAppCursor(platform::Cursor::Default);
    if (!::AbortRequested) SetTimerEnabled(true);
  }
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

std::vector<std::wstring> TfrmSetup::SettingsSummary() const {
  static const wchar_t kNoStartMenu[] =
      L"    Složku nabídky START nelze zjistit, skupina nebude vytvořena.";
  // The text after the last "\" or ":" of the Programs folder.
  const std::wstring programs = platform::ExtractFileName(ProgramsFolder);
  return {
      L"Cílové složky součástí",
      L"    VantorPro:\t" + Text(L"txtVantorPro"),
      L"    Projekty:\t" + Text(L"txtProjekty"),
      Checked(L"cbVzory") ? L"    Vzory:\t\tponechat na CD-ROM"
                          : L"    Vzory:\t\t" + Text(L"txtVzory"),
      Checked(L"cbPriklady") ? L"    Příklady:\tponechat na CD-ROM"
                             : L"    Příklady:\t" + Text(L"txtPriklady"),
      L"",
      L"",
      L"Umístění v nabídce START",
      // Without a Programs folder the run makes no group.
      ProgramsFolder.empty() ? std::wstring(kNoStartMenu)
                             : L"    " + programs + L"\\" + Text(L"txtFolderName"),
      L"",
      L"",
      L"Informace o uživateli",
      L"    Jméno:\t\t" + Text(L"txtName"),
      L"    Společnost:\t" + Text(L"txtCompany"),
  };
}

void TfrmSetup::lbFoldersClick() {
  HWND list = Control(L"lbFolders");
  const LRESULT index = SendMessageW(list, LB_GETCURSEL, 0, 0);
  if (index == LB_ERR) return;
  SetText(L"txtFolderName", platform::ListBoxItem(list, index));
}

void TfrmSetup::cbVzoryClick() {
  SetEnabled(L"txtVzory", !Checked(L"cbVzory"));
}

void TfrmSetup::cbPrikladyClick() {
  SetEnabled(L"txtPriklady", !Checked(L"cbPriklady"));
}
