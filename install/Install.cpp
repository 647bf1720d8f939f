// The installation sequence: unpack, count, copy, projects folder, Start-menu
// group and shortcuts, registry values, and the start of the database
// engine's own setup program.
#include "install/Install.h"

#include <vector>

#include "fileops/FileOps.h"
#include "install/Engine.h"
#include "install/MakeLink.h"
#include "platform/Platform.h"

namespace install {

namespace {

const wchar_t kCr[] = L"\r";
const wchar_t kEnds[] = L"Instalace bude ukončena!";
const wchar_t kVantorKey[] = L"Software\\Quor\\Vantor";

InstallResult Fatal(std::wstring message, const std::wstring& unpackFolder) {
  return {Ending::Fatal, std::move(message), unpackFolder, {}, {}};
}

// Folder could not be made: message C.
std::wstring CannotCreate(const std::wstring& folder) {
  return L"Složku \"" + folder + L" nelze vytvořit!\"" + kCr + kEnds;
}

// Not a folder on a drive or a share, or on a medium that cannot be written.
bool CannotHoldFolders(const std::wstring& folder) {
  const bool onDrive = folder.size() >= 3 && folder[1] == L':' && folder[2] == L'\\';
  const bool onShare = folder.starts_with(L"\\\\") && !folder.starts_with(L"\\\\.\\") &&
                       !folder.starts_with(L"\\\\?\\");
  if (!onDrive) return !onShare;
  DWORD flags = 0;
  const std::wstring root = folder.substr(0, 3);
  return GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
         (flags & FILE_READ_ONLY_VOLUME);
}

// Step 4: the work folder, made by the installer and changeable by nothing
// but it, so that no other account can plant a file or a link in it before
// the engine's start. The folders this run made go to made, outermost first.
// False when the work folder or the application folder is a link (what it
// leads to is not ours to write), or when the work folder cannot be had.
bool MakeUnpackFolder(const std::wstring& appFolder, const std::wstring& sourceDir,
                      std::vector<std::wstring>& made) {
  if (platform::IsLinkAt(appFolder) || platform::IsLinkAt(sourceDir)) return false;
  try {
    platform::InstallerOnlyAccess access;
    platform::ForceDirectories(appFolder, &made);
    // A link put in its place meanwhile makes this fail and is refused below.
    if (platform::CreateFolder(sourceDir, access.Attributes())) {
      made.push_back(sourceDir);
      return true;
    }
    if (platform::IsLinkAt(sourceDir) || !platform::FolderExists(sourceDir)) return false;
    // An earlier run's folder, or one someone else made: it gets the same
    // access list, which also drops what was inherited from above. Wine
    // keeps no access list, so a failure here does not end the run.
    access.ApplyTo(sourceDir);
    return true;
  } catch (const platform::SetupError&) {
    return false;
  }
}

// After a failed unpacking: the folders step 4 made, innermost first, each
// only when empty.
void RemoveMadeFolders(const std::vector<std::wstring>& made) {
  for (auto folder = made.rbegin(); folder != made.rend(); ++folder)
    platform::RemoveFolder(*folder);
}

}  // namespace

std::wstring TrimFolder(std::wstring folder) {
  if (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
  return folder;
}

std::wstring UnpackFolder(const InstallChoices& choices) {
  return choices.vantorPro + L"\\Instalace";
}

InstallResult Install(const InstallChoices& choices, InstallHost& host) {
  // The folder texts arrive trimmed (TrimFolder): the wizard shows them so.
  host.SetBottomBarVisible(false);
  host.SetStatus(L"Připravuji kopírování souborů");
  host.ClearAbortRequested();

  // Its result is judged after the unpacking.
  const std::wstring& appFolder = choices.vantorPro;
  const std::wstring sourceDir = UnpackFolder(choices);
  // The entries unpacked so far: a stopped run leaves them behind too.
  std::vector<std::wstring> unpackedEntries;
  const auto stopped = [&] {
    return InstallResult{Ending::Stopped, {}, sourceDir, unpackedEntries, {}};
  };
  std::vector<std::wstring> made;
  const bool workFolderReady = MakeUnpackFolder(appFolder, sourceDir, made);
  // A relative folder, a device or a read-only medium cannot hold the work
  // folder: that ends the run now, as a later folder step would. Other
  // failures (a drive that is not there, a link) are reported as the
  // unpacking's.
  if (!workFolderReady && !platform::FolderExists(sourceDir) && CannotHoldFolders(appFolder)) {
    RemoveMadeFolders(made);
    return Fatal(CannotCreate(appFolder), sourceDir);
  }
  host.Redraw();

  // Always from the medium, also on a run after a stop.
  const fileops::ExtractResult unpacked =
      workFolderReady ? fileops::ExtractArchive(host, choices.mediumDir + L"\\Vaninst.pak",
                                                sourceDir, &unpackedEntries)
                      : fileops::ExtractResult::Failed;

  // A missing, damaged or unsafe archive ends the installation here too:
  // nothing later could work without its files.
  if (!platform::FolderExists(sourceDir) || unpacked == fileops::ExtractResult::Failed) {
    RemoveMadeFolders(made);
    return Fatal(L"Nelze rozbalit instalační soubory do složky \"" + appFolder + L"\\Instalace\"!" +
                     kCr + kEnds,
                 sourceDir);
  }

  if (host.AbortRequested()) return stopped();
  try {
    host.ResetProgress();
    host.SetProgressTotal(fileops::CountFiles(host, sourceDir) + 8);
  } catch (const std::exception&) {
    return Fatal(L"Nelze číst zdojovou složku \"" + sourceDir + L"!\"" + kCr + kEnds, sourceDir);
  }

  // A folder, and what goes into it.
  struct FolderStep {
    const std::wstring& folder;
    const wchar_t* copyFrom;  // below the unpack folder; nullptr: nothing copied
    bool topLevelOnly;
  };
  std::vector<FolderStep> folderSteps = {{appFolder, L"", true},
                                         {choices.projekty, nullptr, false}};
  if (!choices.leaveVzoryOnCd) folderSteps.push_back({choices.vzory, L"\\Vzory", false});
  for (const FolderStep& step : folderSteps) {
    if (host.AbortRequested()) return stopped();
    host.StepProgress();
    host.SetStatus(L"Vytvářím složku " + step.folder);
    bool ready = false;
    try {
      ready = platform::ForceDirectories(step.folder);
      if (ready && step.copyFrom)
        fileops::CopyDir(host, sourceDir + step.copyFrom, step.folder, step.topLevelOnly);
    } catch (const std::exception&) {
      ready = false;
    }
    if (!ready) return Fatal(CannotCreate(step.folder), sourceDir);
  }

  // Start menu: a failure here is reported and the installation goes on.
  if (host.AbortRequested()) return stopped();
  host.StepProgress();
  host.SetStatus(L"Aktualizuji nabídku start");
  try {
    const std::wstring group = choices.programsFolder + L"\\" + choices.folderName;
    platform::ForceDirectories(group);
    MakeLink(appFolder + L"\\VantorPro.exe", L"", group + L"\\VantorPro.lnk", L"VantorPro");
    MakeLink(appFolder + L"\\VantorPro.hlp", L"", group + L"\\Nápověda VantorPro.lnk",
             L"Nápověda VantorPro");
  } catch (const std::exception&) {
    host.ShowError(L"Startovací nabídku se nepodařilo zaktualizovat!");
  }

  // What the installed application reads.
  if (host.AbortRequested()) return stopped();
  host.StepProgress();
  host.SetStatus(L"Zapisuji informace do registru");
  try {
    platform::Registry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    registry.OpenKey(kVantorKey);
    registry.WriteString(L"Name", choices.name);
    registry.WriteString(L"Company", choices.company);
    registry.WriteString(L"LastOpen", choices.projekty);
    // A component left on the CD-ROM is used from its folder on the medium.
    registry.WriteString(L"Vzory",
                         choices.leaveVzoryOnCd ? choices.mediumDir + L"\\Vzory" : choices.vzory);
    registry.WriteString(L"Priklady", choices.leavePrikladyOnCd ? choices.mediumDir + L"\\Priklady"
                                                                : choices.priklady);
  } catch (const std::exception&) {
    return Fatal(std::wstring(L"Při zápisu do registru došlo k chybě!") + kCr + kEnds, sourceDir);
  }

  // The database engine's own setup; its completion flag ends the wait.
  if (host.AbortRequested()) return stopped();
  host.StepProgress();
  host.SetStatus(L"Konfiguruji BDE");
  const std::wstring registryFailed =
      std::wstring(L"Při zápisu do registru došlo k chybě!") + kCr + kEnds;
  bool cleared = false;
  try {
    cleared = ClearCompletionFlag();
  } catch (const std::exception&) {
    cleared = false;
  }
  if (!cleared) return Fatal(registryFailed, sourceDir);
  bool started = false;
  platform::UniqueHandle engine;
  try {
    started = StartEngineSetup(sourceDir, choices.mediumDir + L"\\Vaninst.pak", host.SetupTitle(),
                               engine);
  } catch (const std::exception&) {
    started = false;
  }
  host.Redraw();
  if (!started)
    return Fatal(std::wstring(L"Ovladač BDE se nepodařilo nainstalovat!") + kCr + kEnds, sourceDir);
  return {Ending::Done, {}, sourceDir, std::move(unpackedEntries), std::move(engine)};
}

}  // namespace install
