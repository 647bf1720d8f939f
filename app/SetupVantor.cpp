// SetupVantor: the setup wizard's program start.
#include <windows.h>
#include <commctrl.h>

#include "install/Messages.h"
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
  // Looked up rather than imported: a Windows 7 without the 2011 loader update
  // lacks it, and the program must still start there. That system at least
  // leaves the current folder out.
  using SetDirs = BOOL(WINAPI*)(DWORD);
  const auto setDefaultDllDirectories = reinterpret_cast<SetDirs>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (!setDefaultDllDirectories || !setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32))
    SetDllDirectoryW(L"");
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
      platform::ShowMessageBox(
          L"Instalace VantorPro již na tomto počítači běží pod jiným přihlášeným uživatelem. "
          L"Počkejte, až skončí, a potom ji spusťte znovu.",
          L"Instalace VantorPro", MB_OK | MB_ICONERROR);
    return 0;
  }

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
