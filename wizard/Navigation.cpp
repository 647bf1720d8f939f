// Start-up defaults, navigation between the pages and the closing rules.
#include <windows.h>
// After windows.h.
#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>

#include "fileops/FileOps.h"
#include "install/Install.h"
#include "install/Messages.h"
#include "picker/FolderChoice.h"
#include "platform/Platform.h"
#include "wizard/FrmSetup.h"

namespace {

// Text the shell allocated for the caller.
struct ShellText {
  using Type = PWSTR;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type value) noexcept { CoTaskMemFree(value); }
};

// The person's Start-menu Programs folder as the shell knows it; empty when
// it knows none.
std::wstring ShellProgramsFolder() {
  platform::Unique<ShellText> path;
  if (FAILED(SHGetKnownFolderPath(FOLDERID_Programs, KF_FLAG_DEFAULT, nullptr, path.put())) ||
      !path)
    return {};
  return path.get();
}

}  // namespace

void TfrmSetup::FormCreate() {
  CurrentPage = 0;
  ShowPage(0);  // already shown: no page-entry action
  CloseWithoutPrompt = false;
  ProgramsFolder.clear();

  SourceDir = session_.MediumDir();

  setupTitle_ = kTitle;
  platform::SetApplicationTitle(setupTitle_);
  SetWindowTextW(Handle(), setupTitle_.c_str());

  SetVisible(L"cbVzory", false);
  SetVisible(L"cbPriklady", false);

  // Start-up reads the registry silently: an error ends the block, and what
  // was read before it stays.
  try {
    platform::Registry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    switch (platform::PlatformId()) {
      case VER_PLATFORM_WIN32_WINDOWS:
        registry.OpenKey(L"Software\\Microsoft\\Windows\\CurrentVersion");
        break;
      case VER_PLATFORM_WIN32_NT:
        registry.OpenKey(L"Software\\Microsoft\\Windows NT\\CurrentVersion");
        break;
      default:
        break;
    }
    SetText(L"txtName", registry.ReadString(L"RegisteredOwner"));
    SetText(L"txtCompany", registry.ReadString(L"RegisteredOrganization"));
    registry.CloseKey();
    registry.SetRootKey(HKEY_CURRENT_USER);
    registry.OpenKey(L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
    ProgramsFolder = registry.ReadString(L"Programs");
    registry.CloseKey();
  } catch (const platform::SetupError&) {
  }
  // The value missing, or not a string: the shell knows the folder too.
  if (ProgramsFolder.empty()) ProgramsFolder = ShellProgramsFolder();

  SetText(L"txtVantorPro", L"C:\\Vantor");
  SetText(L"txtProjekty", L"C:\\Vantor\\Projekty");
  SetText(L"txtVzory", L"C:\\Vantor\\Vzory");
  SetText(L"txtPriklady", L"C:\\Vantor\\Priklady");
  SetText(L"txtFolderName", L"VantorPro");

  HWND list = Control(L"lbFolders");
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  if (ProgramsFolder.empty()) return;
  platform::FolderListing listing(ProgramsFolder);
  platform::DirEntry entry;
  while (listing.Next(entry))
    if (entry.IsFolder() && !entry.name.empty() && entry.name[0] != L'.')
      SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.name.c_str()));
}

void TfrmSetup::RollBackRun() {
  if (!session_.NeedsRollBack()) return;
  platform::SetAppCursor(platform::Cursor::Wait);
  // Shown on the copy page while it runs, in place of the step it ended at,
  // whichever page the stop led to; there is nothing to stop or choose
  // meanwhile, so no button shows.
  ShowPage(5, false);
  const bool barShown = Visible(L"pnlBottom");
  SetVisible(L"pnlBottom", false);
  SetVisible(L"pbPrerusit", false);
  SetStatus(install::RollingBack());
  FlushWork();
  RedrawWindow(Handle(), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  // The bar goes back from where the run left it as the steps are undone.
  HWND bar = Control(L"ProgressBar1");
  const LRESULT reached = SendMessageW(bar, PBM_GETPOS, 0, 0);
  const bool whole = session_.RollBack([&](size_t done, size_t total) {
    // Painted at once; no message runs meanwhile, so nothing starts another
    // rollback or run under this one.
    SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(reached - reached * done / total), 0);
    UpdateWindow(bar);
  });
  platform::SetAppCursor(platform::Cursor::Default);
  // What stayed is in the journal for the next start; the person learns
  // what it is and what to do.
  if (!whole)
    platform::ShowMessageBox(install::RollBackLeft(session_.Left()), SetupTitle(),
                             MB_OK | MB_ICONEXCLAMATION);
  SetVisible(L"pbPrerusit", true);
  SetVisible(L"pnlBottom", barShown);
}

void TfrmSetup::pbNextClick() {
  // A click that reaches a disabled button while a stopped run unwinds.
  if (installRunning_) return;
  if (ShownPageName() == L"pgCesty") {
    struct Check {
      const wchar_t* field;
      const wchar_t* leaveOnCd;
      const wchar_t* part;
    };
    static const Check checks[] = {
        {L"txtVantorPro", nullptr, L"VantorPro"},
        {L"txtProjekty", nullptr, L"Projekty"},
        {L"txtVzory", L"cbVzory", L"Vzory"},
        {L"txtPriklady", L"cbPriklady", L"Příklady"},
    };
    for (const Check& check : checks) {
      if (check.leaveOnCd && Checked(check.leaveOnCd)) continue;
      if (!Text(check.field).empty()) continue;
      platform::ShowMessageBox(install::EmptyFolderText(check.part), SetupTitle(),
                               MB_OK | MB_ICONEXCLAMATION);
      SetFocus(check.field);
      return;
    }
    if (!ChosenFoldersAccepted()) return;
  }
  SetEnabled(L"pbPrev", true);
  if (CurrentPage == 6) {
    // The engine's setup program creates its flag as its last act and lets go
    // of its own file when it ends: it gets a moment for that, and a file of
    // the archive still there is tried again meanwhile. Whatever it does,
    // the finish ends within the moment; what is still in use then goes at
    // the next start of the installer or the uninstaller, through the
    // journal. The window keeps answering; its buttons wait.
    // Backups of a second installation still going: the window closes at
    // once and the removal goes on without it (Done is on disk already; what
    // an end at once leaves goes at the next start).
    if (HANDLE going = session_.RemovingBackups();
        going && WaitForSingleObject(going, 0) == WAIT_TIMEOUT)
      ShowWindow(Handle(), SW_HIDE);
    constexpr ULONGLONG kFinishMs = 1500;
    const ULONGLONG deadline = GetTickCount64() + kFinishMs;
    SetEnabled(L"pbNext", false);
    SetEnabled(L"pbPrev", false);
    if (HANDLE engine = session_.Engine())
      platform::WaitPumping(engine, static_cast<DWORD>(kFinishMs));
    session_.ForgetEngine();
    // The backups of what the run replaced have gone meanwhile, as a rule.
    if (HANDLE going = session_.RemovingBackups()) platform::WaitPumping(going, INFINITE);
    if (platform::Terminated()) return;
    bool removed = session_.Finish();
    for (ULONGLONG now = GetTickCount64(); !removed && now < deadline; now = GetTickCount64()) {
      platform::WaitPumping(nullptr, static_cast<DWORD>(std::min<ULONGLONG>(100, deadline - now)));
      if (platform::Terminated()) return;
      removed = session_.Finish();
    }
    // What is left is the next start's, which finds it by the journal.
    if (!removed) session_.LetGo();
    SetEnabled(L"pbNext", true);
    SetEnabled(L"pbPrev", true);
    if (Checked(L"rbRestartAno")) {
      platform::SetAppCursor(platform::Cursor::Wait);
      platform::RequestRestart();
    } else {
      CloseWithoutPrompt = true;
      Close();
    }
    return;
  }
  ++CurrentPage;
  ShowPage(CurrentPage);
}

void TfrmSetup::pbPrevClick() {
  if (installRunning_) return;
  if (CurrentPage == 6) SetText(L"pbNext", L"&Další  >");
  --CurrentPage;
  if (CurrentPage == 0) SetEnabled(L"pbPrev", false);
  ShowPage(CurrentPage);
}

void TfrmSetup::pbCancelClick() {
  Close();
}

void TfrmSetup::FormClose(bool& accept) {
  if (CloseWithoutPrompt) {
    accept = true;
    return;
  }
  accept = platform::ShowMessageBox(install::CloseQuestion(), SetupTitle(),
                                    MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void TfrmSetup::Close() {
  bool accept = true;
  FormClose(accept);
  if (!accept) return;
  // A run that did not complete ends with the program; one still on the
  // stack is rolled back once it has returned.
  if (!installRunning_) RollBackRun();
  platform::Terminate();
}

void TfrmSetup::SetPath(int index) {
  static const wchar_t* const fields[] = {L"txtVantorPro", L"txtProjekty", L"txtVzory",
                                          L"txtPriklady"};
  if (index < 1 || index > 4) return;
  std::wstring text = Text(fields[index - 1]);
  if (picker::ChooseComponentFolder(index, text)) SetText(fields[index - 1], text);
}
