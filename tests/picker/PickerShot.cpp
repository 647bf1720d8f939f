// Shows the folder picker for a screenshot: picker_shot READY STOP [FOLDER].
// Writes READY once the dialog is up and closes it when STOP appears.
#include "picker/BrowseFolder.h"
#include "platform/Platform.h"

#include <commctrl.h>
#include <shellapi.h>

#include <string>

namespace {
std::wstring g_ready, g_stop;
int g_ticks = 0;

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  auto& dialog = *picker::frmBrowseFldr;
  if (++g_ticks == 10) {
    // A sub-folder selected, as after a click.
    const int count = static_cast<int>(dialog.Items().size());
    for (int i = 0; i < count; ++i) {
      if (dialog.Items()[i].kind == picker::DirItem::Sub) {
        SendMessageW(dialog.lbDir, LB_SETCURSEL, i + 1 < count ? i + 1 : i, 0);
        dialog.lbDirClick(dialog.lbDir);
        break;
      }
    }
  }
  if (g_ticks == 20) {
    // An empty file, closed again at once.
    const platform::UniqueFile ready(
        CreateFileW(g_ready.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  }
  // Gives up after two minutes in any case.
  if (platform::FileExists(g_stop) || g_ticks > 1200) dialog.ModalResult = 2;
}
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // As the program's manifest asks: the picker is laid out for the DPI.
  SetProcessDPIAware();
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc < 3) return 1;
  g_ready = argv[1];
  g_stop = argv[2];
  picker::frmBrowseFldr = std::make_unique<picker::TfrmBrowseFldr>();
  auto& dialog = *picker::frmBrowseFldr;
  SetWindowTextW(dialog.lblCaption, L"Zvolte složku pro součást \"VantorPro\"");
  dialog.SelectedDir = argc > 3 ? argv[3] : L"C:\\windows\\Vantor";
  SetTimer(nullptr, 0, 100, Tick);
  const int result = dialog.ShowModal();
  picker::frmBrowseFldr.reset();
  LocalFree(argv);
  return result == 2 ? 0 : 1;
}
