// SetupVantor: the setup wizard's program start.
#include <windows.h>
#include <commctrl.h>

#include "install/Messages.h"
#include "install/Session.h"
#include "platform/OneWizard.h"
#include "picker/BrowseFolder.h"
#include "platform/Platform.h"
#include "wizard/FrmSetup.h"

// MinGW's start-up code: the C runtime, every static constructor, wWinMain.
extern "C" int WinMainCRTStartup();

// The program's entry point, ahead of the C runtime and of every static
// constructor. The program may be started elevated from a folder anyone can
// write to (a download folder, a stick): from here on a DLL loaded by name
// comes from the system folder only, never from beside the program. The
// imports that are not KnownDLLs are delay-loaded (CMakeLists.txt), so none
// is loaded before this call.
extern "C" int SetupVantorStart() {
  platform::LoadDllsFromSystemOnly();
  return WinMainCRTStartup();
}

namespace {

// A second start: the running wizard comes to the front, if it runs in this
// session, and this one ends having written nothing. Without a wizard's
// window the lock is most likely the uninstaller's, which holds it while it
// removes: the person is told rather than left with nothing on the screen.
void ShowRunningWizard() {
  HWND running = FindWindowW(L"TfrmSetup", nullptr);
  if (!running) {
    platform::ShowMessageBox(install::AnotherRunUnderway(), L"Instalace VantorPro",
                             MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  if (IsIconic(running)) ShowWindow(running, SW_RESTORE);
  SetForegroundWindow(GetLastActivePopup(running));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // One wizard on the machine: what two would share, the work folder and
  // the completion flag under HKEY_LOCAL_MACHINE, is the machine's.
  OneWizard oneWizard;
  if (!oneWizard.Take()) {
    // In another session the person would see nothing of it.
    if (oneWizard.OtherRunsInThisSession())
      ShowRunningWizard();
    else
      platform::ShowMessageBox(install::RunsForAnotherUser(), L"Instalace VantorPro",
                               MB_OK | MB_ICONERROR);
    return 0;
  }

  // The GUI application: COM on this thread (the shortcuts rely on it) and
  // the common controls.
  platform::ComApartment com;
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  platform::SetApplicationTitle(L"Instalace VantorPro");

  // A run ended at once before leaves its journal: the PC goes back to how
  // it was before that run, so this one starts on clean ground. What could
  // not go back stays in the journal and is named; a journal that cannot be
  // read stays untouched, and the installation refuses to run over it.
  install::Session session(platform::CurrentDir());
  if (const install::Recovery recovery = session.Recover();
      recovery.state == install::Recovery::State::Left)
    platform::ShowMessageBox(install::RollBackLeft(recovery.left), TfrmSetup::kTitle,
                             MB_OK | MB_ICONEXCLAMATION);

  platform::RunHandler([&session] {
    TfrmSetup form(session);  // the main window; creating it runs FormCreate
    // The folder picker of the program: never shown, each choice makes its own.
    picker::frmBrowseFldr = std::make_unique<picker::TfrmBrowseFldr>();
    form.Show();
    platform::RunMessageLoop();
  });
  return 0;
}
