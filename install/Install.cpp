// The installation sequence: unpack, count, copy, projects folder, Start-menu
// group and shortcuts, registry values, and the start of the database
// engine's own setup program.
#include "install/Install.h"

#include <optional>
#include <vector>

#include "fileops/FileOps.h"
#include "install/Engine.h"
#include "install/InstallRecord.h"
#include "install/MakeLink.h"
#include "install/Uninstaller.h"
#include "platform/Platform.h"

namespace install {

namespace {

const wchar_t kCr[] = L"\r";
const wchar_t kEnds[] = L"Instalace bude ukončena!";
const wchar_t kQuorKey[] = L"Software\\Quor";
const wchar_t kVantorKey[] = L"Software\\Quor\\Vantor";

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

namespace {

// One run of the sequence. Each step returns how the run ended when it ended
// it, and nothing when the next step may follow.
class Run {
 public:
  Run(const InstallChoices& choices, InstallHost& host)
      : choices_(choices), host_(host), sourceDir_(UnpackFolder(choices)) {
    record_.folders = choices.madeEarlier;
  }

  InstallResult Go() {
    // The folder texts arrive trimmed (TrimFolder): the wizard shows them so.
    host_.SetBottomBarVisible(false);
    host_.SetStatus(L"Připravuji kopírování souborů");
    host_.ClearStopRequest();
    if (auto ended = Unpack()) return std::move(*ended);
    if (auto ended = Count()) return std::move(*ended);
    if (auto ended = MakeFolders()) return std::move(*ended);
    if (host_.StopRequested()) return Stopped();
    UpdateStartMenu();
    if (host_.StopRequested()) return Stopped();
    if (auto ended = WriteRegistry()) return std::move(*ended);
    if (host_.StopRequested()) return Stopped();
    return StartEngine();
  }

 private:
  using Step = std::optional<InstallResult>;

  // The entries unpacked so far go with a stop: the finish removes them.
  InstallResult Stopped() {
    return {Ending::Stopped, {}, sourceDir_, std::move(unpackedEntries_), {}, record_.folders};
  }
  InstallResult Fatal(std::wstring message) const {
    return {Ending::Fatal, std::move(message), sourceDir_, {}, {}, {}};
  }

  // Steps 4 and 5: the work folder, then the archive into it, always from the
  // medium, also on a run after a stop.
  Step Unpack() {
    const std::wstring& appFolder = choices_.vantorPro;
    std::vector<std::wstring> made;
    const bool workFolderReady = MakeUnpackFolder(appFolder, sourceDir_, made);
    // A relative folder, a device or a read-only medium cannot hold the work
    // folder: that ends the run now, as a later folder step would. Other
    // failures (a drive that is not there, a link) are reported as the
    // unpacking's.
    if (!workFolderReady && !platform::FolderExists(sourceDir_) && CannotHoldFolders(appFolder)) {
      RemoveMadeFolders(made);
      return Fatal(CannotCreate(appFolder));
    }
    host_.Redraw();
    const fileops::ExtractResult unpacked =
        workFolderReady ? fileops::ExtractArchive(host_, choices_.mediumDir + L"\\Vaninst.pak",
                                                  sourceDir_, &unpackedEntries_)
                        : fileops::ExtractResult::Failed;
    // A missing, damaged or unsafe archive ends the installation here too:
    // nothing later could work without its files.
    if (!platform::FolderExists(sourceDir_) || unpacked == fileops::ExtractResult::Failed) {
      RemoveMadeFolders(made);
      return Fatal(L"Nelze rozbalit instalační soubory do složky \"" + appFolder +
                   L"\\Instalace\"!" + kCr + kEnds);
    }
    // The work folder goes at the finish; what it was made in stays.
    for (const std::wstring& folder : made)
      if (folder != sourceDir_) record_.folders.push_back(folder);
    if (host_.StopRequested()) return Stopped();
    return {};
  }

  // The progress total: the files to copy and the eight steps around them.
  Step Count() {
    try {
      host_.ResetProgress();
      host_.SetProgressTotal(fileops::CountFiles(host_, sourceDir_) + 8);
    } catch (const std::exception&) {
      return Fatal(L"Nelze číst zdojovou složku \"" + sourceDir_ + L"!\"" + kCr + kEnds);
    }
    return {};
  }

  // The application, projects and templates folders, and what goes into them.
  Step MakeFolders() {
    struct FolderStep {
      const std::wstring& folder;
      const wchar_t* copyFrom;  // below the unpack folder; nullptr: nothing copied
      bool topLevelOnly;
    };
    std::vector<FolderStep> folderSteps = {{choices_.vantorPro, L"", true},
                                           {choices_.projekty, nullptr, false}};
    if (!choices_.leaveVzoryOnCd) folderSteps.push_back({choices_.vzory, L"\\Vzory", false});
    for (const FolderStep& step : folderSteps) {
      if (host_.StopRequested()) return Stopped();
      host_.StepProgress();
      host_.SetStatus(L"Vytvářím složku " + step.folder);
      bool ready = false;
      try {
        ready = platform::ForceDirectories(step.folder, &record_.folders);
        if (ready && step.copyFrom) {
          fileops::CopyLog copied;
          fileops::CopyDir(host_, sourceDir_ + step.copyFrom, step.folder, step.topLevelOnly,
                           &copied);
          Remember(copied.files);
          record_.folders.insert(record_.folders.end(), copied.madeFolders.begin(),
                                 copied.madeFolders.end());
        }
        // The way back goes with the application's own files.
        if (ready && &step.folder == &choices_.vantorPro && !host_.StopRequested()) {
          record_.uninstaller = WriteUninstaller(step.folder);
          Remember(record_.uninstaller);
        }
      } catch (const std::exception&) {
        ready = false;
      }
      if (!ready) return Fatal(CannotCreate(step.folder));
    }
    return {};
  }

  // Size and checksum of a file as the installation left it.
  void Remember(const std::wstring& file) {
    if (std::optional<RecordedFile> facts = FileFactsAt(file))
      record_.files.push_back(std::move(*facts));
  }
  // The copies are read once more, so the window answers between them as
  // during the copy.
  void Remember(const std::vector<std::wstring>& files) {
    for (const std::wstring& file : files) {
      host_.ProcessMessages();
      Remember(file);
    }
  }

  // The Start-menu group and its two shortcuts. A failure here is reported
  // and the installation goes on.
  void UpdateStartMenu() {
    host_.StepProgress();
    host_.SetStatus(L"Aktualizuji nabídku start");
    const std::wstring& appFolder = choices_.vantorPro;
    try {
      const std::wstring group = choices_.programsFolder + L"\\" + choices_.folderName;
      platform::ForceDirectories(group, &record_.folders);
      const std::wstring program = group + L"\\VantorPro.lnk";
      const std::wstring help = group + L"\\Nápověda VantorPro.lnk";
      MakeLink(appFolder + L"\\VantorPro.exe", L"", program, L"VantorPro");
      Remember(program);
      MakeLink(appFolder + L"\\VantorPro.hlp", L"", help, L"Nápověda VantorPro");
      Remember(help);
    } catch (const std::exception&) {
      host_.ShowError(L"Startovací nabídku se nepodařilo zaktualizovat!");
    }
  }

  // What the installed application reads, and the product's entry in the
  // list of installed apps with the record of this installation.
  Step WriteRegistry() {
    host_.StepProgress();
    host_.SetStatus(L"Zapisuji informace do registru");
    try {
      for (const wchar_t* key : {kQuorKey, kVantorKey})
        if (!platform::Registry::KeyExists(HKEY_LOCAL_MACHINE, key)) record_.keys.push_back(key);
      platform::Registry registry;
      registry.SetRootKey(HKEY_LOCAL_MACHINE);
      registry.OpenKey(kVantorKey);
      registry.WriteString(L"Name", choices_.name);
      registry.WriteString(L"Company", choices_.company);
      registry.WriteString(L"LastOpen", choices_.projekty);
      // A component left on the CD-ROM is used from its folder on the medium.
      registry.WriteString(
          L"Vzory", choices_.leaveVzoryOnCd ? choices_.mediumDir + L"\\Vzory" : choices_.vzory);
      registry.WriteString(L"Priklady", choices_.leavePrikladyOnCd
                                            ? choices_.mediumDir + L"\\Priklady"
                                            : choices_.priklady);
      for (const wchar_t* value : {L"Name", L"Company", L"LastOpen", L"Vzory", L"Priklady"})
        record_.values.push_back({kVantorKey, value});
      registry.CloseKey();
      // A second installation keeps what the first one put elsewhere.
      InstallRecord earlier;
      if (ReadRecord(earlier) == RecordState::Present) record_.Merge(earlier);
      WriteRegistration(record_, choices_.vantorPro);
    } catch (const std::exception&) {
      return Fatal(RegistryFailed());
    }
    return {};
  }

  // The database engine's own setup; its completion flag ends the wait.
  InstallResult StartEngine() {
    host_.StepProgress();
    host_.SetStatus(L"Konfiguruji BDE");
    bool cleared = false;
    try {
      cleared = ClearCompletionFlag();
    } catch (const std::exception&) {
      cleared = false;
    }
    if (!cleared) return Fatal(RegistryFailed());
    bool started = false;
    platform::UniqueHandle engine;
    try {
      started = StartEngineSetup(sourceDir_, choices_.mediumDir + L"\\Vaninst.pak",
                                 host_.SetupTitle(), engine);
    } catch (const std::exception&) {
      started = false;
    }
    host_.Redraw();
    if (!started)
      return Fatal(std::wstring(L"Ovladač BDE se nepodařilo nainstalovat!") + kCr + kEnds);
    return {Ending::Done,   {}, sourceDir_, std::move(unpackedEntries_), std::move(engine),
            record_.folders};
  }

  static std::wstring RegistryFailed() {
    return std::wstring(L"Při zápisu do registru došlo k chybě!") + kCr + kEnds;
  }

  const InstallChoices& choices_;
  InstallHost& host_;
  const std::wstring sourceDir_;  // the unpack folder: SourceDir from step 5 on
  std::vector<std::wstring> unpackedEntries_;
  InstallRecord record_;  // what this run put on the PC
};

}  // namespace

InstallResult Install(const InstallChoices& choices, InstallHost& host) {
  return Run(choices, host).Go();
}

}  // namespace install
