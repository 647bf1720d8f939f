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
#include "install/MediumStamp.h"
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

// Not a full path to a folder on a drive or a share: a relative text, or a
// device. Such a folder cannot be made at all (it would land wherever the
// current folder happens to be, the medium), so the folder itself is what
// the user must correct.
bool NotAFolderPath(const std::wstring& folder) {
  const bool onDrive = folder.size() >= 3 && folder[1] == L':' && folder[2] == L'\\';
  const bool onShare = folder.starts_with(L"\\\\") && !folder.starts_with(L"\\\\.\\") &&
                       !folder.starts_with(L"\\\\?\\");
  return !onDrive && !onShare;
}

// Whether a work folder found in place is the installer's own: its mark is
// there (a folder, never a link), and where the volume keeps access lists,
// no one but Administrators, SYSTEM and this user may change it. On a volume
// that keeps none, anyone could have made it and its mark: only a folder
// this program made and held is taken there.
bool InstallersOwn(const platform::HeldFolder& work) {
  const DWORD mark = work.AttributesOf(kWorkFolderMark);
  if (mark == INVALID_FILE_ATTRIBUTES || !(mark & FILE_ATTRIBUTE_DIRECTORY) ||
      (mark & FILE_ATTRIBUTE_REPARSE_POINT))
    return false;
  return (platform::VolumeFlagsOf(work.Handle()) & FILE_PERSISTENT_ACLS) &&
         platform::IsInstallerOnly(work.Handle());
}

// How step 4 ended.
enum class WorkGround {
  Made,      // made now, with its access list and mark
  Ours,      // the installer's own, from an earlier run
  Foreign,   // someone else's, or a link: refused, untouched
  Unusable,  // could not be made
};

// Step 4: the work folder below the held application folder, made by the
// installer and changeable by nothing but it, so that no other account can
// plant a file or a link in it before the engine's start.
WorkGround MakeWorkFolder(const platform::HeldFolder& app, platform::HeldFolder& earlier,
                          platform::HeldFolder& work) {
  // A stopped run of this program left it held: it is still ours while its
  // path still leads to it.
  if (earlier && !earlier.ConfirmedPath().empty() &&
      platform::AsciiUpper(earlier.Path()) == platform::AsciiUpper(app.Path() + L"\\Instalace")) {
    work = std::move(earlier);
    return WorkGround::Ours;
  }
  earlier.Release();
  try {
    platform::InstallerOnlyAccess access;
    work = app.Child(L"Instalace", platform::HeldFolder::Make::Fresh, access.Descriptor());
    if (work) {
      if (work.Child(kWorkFolderMark, platform::HeldFolder::Make::Fresh)) return WorkGround::Made;
      work.RemoveSelf();
      return WorkGround::Unusable;
    }
  } catch (const platform::SetupError&) {
    return WorkGround::Unusable;
  }
  if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
    return WorkGround::Unusable;
  // A link in its place is refused by the opening itself.
  work = app.Child(L"Instalace");
  if (work && InstallersOwn(work)) return WorkGround::Ours;
  work.Release();
  return WorkGround::Foreign;
}

// After a failed unpacking: what step 4 made, innermost first, each only
// when empty.
void RemoveMade(platform::HeldFolder& work, bool workMade, platform::HeldFolder& app,
                std::vector<platform::HeldFolder>& appMade) {
  if (workMade && work) {
    work.Remove(kWorkFolderMark);
    work.RemoveSelf();
  }
  work.Release();
  app.Release();
  for (auto level = appMade.rbegin(); level != appMade.rend(); ++level) level->RemoveSelf();
  appMade.clear();
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
  Run(const InstallChoices& choices, InstallHost& host, platform::HeldFolder earlier)
      : choices_(choices),
        host_(host),
        sourceDir_(UnpackFolder(choices)),
        earlier_(std::move(earlier)) {
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
    return {Ending::Stopped, {}, sourceDir_, std::move(unpackedEntries_), {}, std::move(work_),
            record_.folders};
  }
  InstallResult Fatal(std::wstring message) const {
    return {Ending::Fatal, std::move(message), sourceDir_, {}, {}, {}, {}};
  }

  // Steps 4 and 5: the work folder, then the archive into it, always from the
  // medium, also on a run after a stop.
  Step Unpack() {
    const std::wstring& appFolder = choices_.vantorPro;
    std::vector<platform::HeldFolder> appMade;
    // The application folder as the user typed it, a link in it followed
    // this once; held from here on.
    app_ = platform::HeldFolder::Open(appFolder, true, &appMade);
    const WorkGround ground = app_ ? MakeWorkFolder(app_, earlier_, work_) : WorkGround::Unusable;
    const bool workFolderReady = ground == WorkGround::Made || ground == WorkGround::Ours;
    // A relative folder or a device names no place for the work folder:
    // that ends the run now, as a later folder step would. Every other
    // failure (a drive that is not there or cannot be written, a link, a
    // folder not the installer's own) is the unpacking's: the work folder is
    // missing.
    if (!workFolderReady && ground != WorkGround::Foreign && !platform::FolderExists(sourceDir_) &&
        NotAFolderPath(appFolder)) {
      RemoveMade(work_, false, app_, appMade);
      return Fatal(CannotCreate(appFolder));
    }
    host_.Redraw();
    const std::optional<fileops::ArchiveDigest> stamp = StampedArchiveDigest();
    const fileops::ExtractResult unpacked =
        workFolderReady
            ? fileops::ExtractArchive(host_, choices_.mediumDir + L"\\Vaninst.pak", sourceDir_,
                                      &unpackedEntries_, &work_, &engineFacts_, LaterCopies(),
                                      stamp ? &*stamp : nullptr)
            : fileops::ExtractResult::Failed;
    // Another archive than the one this program was laid out with: refused
    // before its directory was read.
    if (unpacked == fileops::ExtractResult::NotTheMediumsArchive) {
      RemoveMade(work_, ground == WorkGround::Made, app_, appMade);
      return Fatal(L"Soubor \"" + choices_.mediumDir +
                   L"\\Vaninst.pak\" nepatří k tomuto instalačnímu programu, byl změněn nebo "
                   L"vyměněn. Spusťte instalaci z původního instalačního média." +
                   kCr + kEnds);
    }
    // A missing, damaged or unsafe archive ends the installation here too:
    // nothing later could work without its files.
    if (unpacked == fileops::ExtractResult::Failed) {
      RemoveMade(work_, ground == WorkGround::Made, app_, appMade);
      return Fatal(L"Nelze rozbalit instalační soubory do složky \"" + appFolder +
                   L"\\Instalace\"!" + kCr + kEnds);
    }
    // The work folder goes at the finish; what it was made in stays.
    for (const platform::HeldFolder& level : appMade) record_.folders.push_back(level.Path());
    if (host_.StopRequested()) return Stopped();
    return {};
  }

  // Where steps 9 and 11 copy the unpacked files: their room is counted
  // there before the unpacking starts.
  fileops::LaterCopies LaterCopies() const {
    return {choices_.vantorPro, choices_.leaveVzoryOnCd ? std::wstring() : choices_.vzory};
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
        // The application folder is held since step 4; each other one is
        // taken as typed, once, and held for its copy.
        const bool isApp = &step.folder == &choices_.vantorPro;
        std::vector<platform::HeldFolder> made;
        const platform::HeldFolder own =
            isApp ? platform::HeldFolder() : platform::HeldFolder::Open(step.folder, true, &made);
        for (const platform::HeldFolder& level : made) record_.folders.push_back(level.Path());
        const platform::HeldFolder& target = isApp ? app_ : own;
        ready = static_cast<bool>(target);
        fileops::CopyLog copied;
        if (ready && isApp) {
          // Only the archive's own top-level files.
          const std::vector<std::wstring> names = TopLevelFiles();
          fileops::CopyDir(host_, work_, sourceDir_, target, step.folder, true, &names, &copied);
        } else if (ready && step.copyFrom) {
          const std::wstring inner = std::wstring(step.copyFrom).substr(1);
          fileops::CopyDir(host_, work_.Child(inner), sourceDir_ + step.copyFrom, target,
                           step.folder, step.topLevelOnly, nullptr, &copied);
        }
        for (fileops::CopyLog::File& file : copied.files)
          record_.files.push_back({std::move(file.path), file.size, file.crc});
        record_.folders.insert(record_.folders.end(), copied.madeFolders.begin(),
                               copied.madeFolders.end());
        // The way back goes with the application's own files.
        if (ready && isApp && !host_.StopRequested()) {
          RecordedFile uninstaller = WriteUninstaller(app_);
          record_.uninstaller = uninstaller.path;
          record_.files.push_back(std::move(uninstaller));
        }
      } catch (const std::exception&) {
        ready = false;
      }
      if (!ready) return Fatal(CannotCreate(step.folder));
    }
    return {};
  }

  // The names of the files the archive holds at its top level.
  std::vector<std::wstring> TopLevelFiles() const {
    std::vector<std::wstring> names;
    for (const std::wstring& entry : unpackedEntries_) {
      const size_t cut = entry.rfind(L'\\');
      if (cut == std::wstring::npos || cut + 1 == entry.size()) continue;
      const std::wstring folder = entry.substr(0, cut);
      if (platform::AsciiUpper(folder) == platform::AsciiUpper(PlannedRoot()))
        names.push_back(entry.substr(cut + 1));
    }
    return names;
  }
  // The work folder as the archive's plan spells it.
  std::wstring PlannedRoot() const {
    wchar_t full[MAX_PATH * 2] = {};
    const DWORD n = GetFullPathNameW(sourceDir_.c_str(), MAX_PATH * 2, full, nullptr);
    return n > 0 && n < MAX_PATH * 2 ? std::wstring(full, n) : sourceDir_;
  }

  // Size and checksum of a file as the installation left it.
  void Remember(const std::wstring& file) {
    if (std::optional<RecordedFile> facts = FileFactsAt(file))
      record_.files.push_back(std::move(*facts));
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
    if (!cleared) return Fatal(EngineFailed());
    bool started = false;
    platform::UniqueHandle engine;
    try {
      started =
          StartEngineSetup(work_.Child(L"Utility\\Bde"), engineFacts_, host_.SetupTitle(), engine);
    } catch (const std::exception&) {
      started = false;
    }
    host_.Redraw();
    if (!started) return Fatal(EngineFailed());
    return {Ending::Done,      {},
            sourceDir_,        std::move(unpackedEntries_),
            std::move(engine), std::move(work_),
            record_.folders};
  }

  static std::wstring RegistryFailed() {
    return std::wstring(L"Při zápisu do registru došlo k chybě!") + kCr + kEnds;
  }
  static std::wstring EngineFailed() {
    return std::wstring(L"Ovladač BDE se nepodařilo nainstalovat!") + kCr + kEnds;
  }

  const InstallChoices& choices_;
  InstallHost& host_;
  const std::wstring sourceDir_;  // the unpack folder: SourceDir from step 5 on
  platform::HeldFolder earlier_;  // a stopped run's work folder, still held
  platform::HeldFolder app_;      // the application folder, from step 4 on
  platform::HeldFolder work_;     // the work folder, from step 4 on
  std::vector<std::wstring> unpackedEntries_;
  fileops::EntryFacts engineFacts_;  // as the archive's plan states them
  InstallRecord record_;             // what this run put on the PC
};

}  // namespace

InstallResult Install(const InstallChoices& choices, InstallHost& host,
                      platform::HeldFolder earlier) {
  return Run(choices, host, std::move(earlier)).Go();
}

}  // namespace install
