// The wait for the database engine's setup, the abort button and the stop.
#include "platform/Platform.h"
#include "wizard/FrmSetup.h"

void TfrmSetup::timSetupTimer() {
  platform::Registry registry;
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  registry.OpenKey(L"Software\\Quor");
  if (!registry.ValueExists(L"Vantor_BDE_Inst_OK")) return;  // the next tick tries again
  SetTimerEnabled(false);
  registry.DeleteValue(L"Vantor_BDE_Inst_OK");
  registry.CloseKey();
  SetVisible(L"pnlBottom", true);
  pbNextClick();
}

void TfrmSetup::pbPrerusitClick() {
  if (platform::ShowMessageBox(L"Opravdu chcete přerušit kopírování souborů?", SetupTitle(),
                               MB_YESNO | MB_ICONQUESTION) == IDYES)
    StopInstall();
}

void TfrmSetup::StopInstall() {
  platform::SetAppCursor(platform::Cursor::Default);
  ::AbortRequested = true;
  SetVisible(L"pnlBottom", true);
  ShowPage(4);
  CurrentPage = 4;
  Close();
}
