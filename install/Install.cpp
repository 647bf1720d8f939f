// The installation sequence: unpack, count, copy, projects folder, Start-menu
// group and shortcuts, registry values, and the start of the database
// engine's own setup program.
#include "fileops/FileOps.h"
#include "install/MakeLink.h"
#include "platform/Platform.h"
#include "wizard/FrmSetup.h"

#include <commctrl.h>

#include <vector>

namespace {

const wchar_t kCr[] = L"\r";
const wchar_t kEnds[] = L"Instalace bude ukončena!";
const wchar_t kQuor[] = L"Software\\Quor";
const wchar_t kVantorKey[] = L"Software\\Quor\\Vantor";
const wchar_t kCompletionFlag[] = L"Vantor_BDE_Inst_OK";

// Folder could not be made: message C.
std::wstring CannotCreate(const std::wstring& folder) {
  return L"Složku \"" + folder + L" nelze vytvořit!\"" + kCr + kEnds;
}

}  // namespace

void TfrmSetup::FatalInstallError(const std::wstring& text) {
  platform::ShowMessageBox(text, SetupTitle(), MB_OK | MB_ICONERROR);
  ::AbortRequested = true;
  CloseWithoutPrompt = true;
  Close();
}

void TfrmSetup::RedrawAll() {
  // The bar and the status line first get what the frame limit held back.
  FlushWork();
  RedrawWindow(Handle(), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void TfrmSetup::Install() {
  // 1. One trailing "\" goes; a drive root keeps it.
  for (const wchar_t* field : {L"txtVantorPro", L"txtProjekty", L"txtVzory", L"txtPriklady"}) {
    std::wstring text = Text(field);
    if (text.size() > 3 && text.back() == L'\\') {
      text.pop_back();
      SetText(field, text);
    }
  }
  // 2., 3.
  SetVisible(L"pnlBottom", false);
  SetStatus(L"Připravuji kopírování souborů");
  ::AbortRequested = false;

  // 4. Its result is judged after the unpacking.
  const std::wstring appFolder = Text(L"txtVantorPro");
  const std::wstring unpackFolder = appFolder + L"\\Instalace";
  platform::ForceDirectories(unpackFolder);
  RedrawAll();

  // 5. Always from the medium, also on a run after a stop.
  const fileops::ExtractResult unpacked =
      fileops::ExtractArchive(*this, MediumDir + L"\\Vaninst.pak", unpackFolder);

  // 6.
  SourceDir = unpackFolder;

  // 7. A missing, damaged or unsafe archive ends the installation here too:
  // nothing later could work without its files.
  if (!platform::FolderExists(unpackFolder) || unpacked == fileops::ExtractResult::Failed) {
    FatalInstallError(L"Nelze rozbalit instalační soubory do složky \"" + appFolder +
                      L"\\Instalace\"!" + kCr + kEnds);
    return;
  }

  // 8. Count.
  if (::AbortRequested) return;
  try {
    HWND bar = Control(L"ProgressBar1");
    FlushWork();
    SendMessageW(bar, PBM_SETPOS, 0, 0);
    const int total = fileops::CountFiles(*this, SourceDir) + 8;
    SendMessageW(bar, PBM_SETRANGE32, 0, total);
  } catch (const std::exception&) {
    FatalInstallError(L"Nelze číst zdojovou složku \"" + SourceDir + L"!\"" + kCr + kEnds);
    return;
  }

  // 9. to 11.: a folder, and what goes into it.
  struct FolderStep {
    const wchar_t* field;
    const wchar_t* copyFrom;  // below the unpack folder; nullptr: nothing copied
    bool topLevelOnly;
  };
  std::vector<FolderStep> folderSteps = {{L"txtVantorPro", L"", true},
                                         {L"txtProjekty", nullptr, false}};
  if (!Checked(L"cbVzory")) folderSteps.push_back({L"txtVzory", L"\\Vzory", false});
  for (const FolderStep& step : folderSteps) {
    if (::AbortRequested) return;
    const std::wstring folder = Text(step.field);
    StepProgress();
    SetStatus(L"Vytvářím složku " + folder);
    bool made = false;
    try {
      made = platform::ForceDirectories(folder);
      if (made && step.copyFrom)
        fileops::CopyDir(*this, SourceDir + step.copyFrom, folder, step.topLevelOnly);
    } catch (const std::exception&) {
      made = false;
    }
    if (!made) {
      FatalInstallError(CannotCreate(folder));
      return;
    }
  }

  // 12. Start menu: a failure here is reported and the installation goes on.
  if (::AbortRequested) return;
  StepProgress();
  SetStatus(L"Aktualizuji nabídku start");
  try {
    const std::wstring group = ProgramsFolder + L"\\" + Text(L"txtFolderName");
    platform::ForceDirectories(group);
    install::MakeLink(appFolder + L"\\VantorPro.exe", L"", group + L"\\VantorPro.lnk",
                      L"VantorPro");
    install::MakeLink(appFolder + L"\\VantorPro.hlp", L"", group + L"\\Nápověda VantorPro.lnk",
                      L"Nápověda VantorPro");
  } catch (const std::exception&) {
    platform::ShowMessageBox(L"Startovací nabídku se nepodařilo zaktualizovat!", SetupTitle(),
                             MB_OK | MB_ICONERROR);
  }

  // 13. What the installed application reads.
  if (::AbortRequested) return;
  StepProgress();
  SetStatus(L"Zapisuji informace do registru");
  try {
    platform::Registry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    registry.OpenKey(kVantorKey);
    registry.WriteString(L"Name", Text(L"txtName"));
    registry.WriteString(L"Company", Text(L"txtCompany"));
    registry.WriteString(L"LastOpen", Text(L"txtProjekty"));
    // A component left on the CD-ROM is used from its folder on the medium.
    registry.WriteString(L"Vzory",
                         Checked(L"cbVzory") ? MediumDir + L"\\Vzory" : Text(L"txtVzory"));
    registry.WriteString(L"Priklady",
                         Checked(L"cbPriklady") ? MediumDir + L"\\Priklady" : Text(L"txtPriklady"));
  } catch (const std::exception&) {
    FatalInstallError(std::wstring(L"Při zápisu do registru došlo k chybě!") + kCr + kEnds);
    return;
  }

  // 14. The database engine's own setup; its completion flag ends the wait.
  if (::AbortRequested) return;
  StepProgress();
  SetStatus(L"Konfiguruji BDE");
  bool started = false;
  try {
    platform::Registry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    registry.OpenKey(kQuor);
    if (registry.ValueExists(kCompletionFlag)) registry.DeleteValue(kCompletionFlag);
    registry.CloseKey();

    std::wstring title = SetupTitle();
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.lpTitle = title.data();
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_MINIMIZE;
    // Quoted: the unpack folder may hold spaces.
    started = platform::StartProcess(L"\"" + SourceDir + L"\\Utility\\Bde\\Setup.exe\"", startup);
  } catch (const std::exception&) {
    started = false;
  }
  RedrawAll();
  if (!started) {
    FatalInstallError(std::wstring(L"Ovladač BDE se nepodařilo nainstalovat!") + kCr + kEnds);
    return;
  }
}
