// SetupVantor: the setup wizard's program start.
#include <windows.h>
#include <commctrl.h>

#include "picker/BrowseFolder.h"
#include "platform/Platform.h"
#include "wizard/FrmSetup.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // The GUI application: COM on this thread (the shortcuts rely on it) and
  // the common controls.
  platform::ComApartment com;
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  platform::SetApplicationTitle(L"Instalace VantorPro");

  platform::RunHandler([] {
    TfrmSetup form;  // the main window; creating it runs FormCreate
    // The folder picker of the program: never shown, each choice makes its own.
    picker::frmBrowseFldr = std::make_unique<picker::TfrmBrowseFldr>();
    form.Show();
    platform::RunMessageLoop();
  });
  return 0;
}
