// The installation sequence: unpack, count, copy, projects folder, Start-menu
// group and shortcuts, registry values, and the start of the database
// engine's own setup program.
#include "install/Install.h"

#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "fileops/FileOps.h"
#include "install/Commit.h"
#include "install/Engine.h"
#include "install/Ground.h"
#include "install/InstallRecord.h"
#include "install/Journal.h"
#include "install/MakeLink.h"
#include "install/Messages.h"
#include "platform/Crc32.h"
#include "install/MediumStamp.h"
#include "install/Uninstaller.h"
#include "install/WorkFolder.h"
#include "platform/Platform.h"

namespace install {

namespace {

const wchar_t kQuorKey[] = L"Software\\Quor";
const wchar_t kVantorKey[] = L"Software\\Quor\\Vantor";

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
  Run(const InstallChoices& choices, InstallHost& host, platform::HeldFolder earlier,
      Journal& journal)
      : choices_(choices),
        host_(host),
        sourceDir_(UnpackFolder(choices)),
        earlier_(std::move(earlier)),
        journal_(journal) {
    record_.folders = choices.madeEarlier;
    earlierMade_ = EarlierMadeFolders(choices.madeEarlier);
  }

  InstallResult Go() {
    // The folder texts arrive trimmed (TrimFolder): the wizard shows them so.
    host_.SetBottomBarVisible(false);
    host_.SetStatus(L"Připravuji kopírování souborů");
    host_.ClearStopRequest();
    if (auto ended = TakeLeftJournal()) return std::move(*ended);
    // A run after a stop goes on with the stopped run's journal, so that a
    // rollback still returns to the PC before the first; what that run
    // staged goes first.
    if (journal_.Active() && journal_.CurrentPhase() == Journal::Phase::Staging)
      journal_.RollBack({}, true);
    journal_.Begin();
    TakeEarlierRecord();
    if (auto ended = Unpack()) return std::move(*ended);
    if (auto ended = Count()) return std::move(*ended);
    if (auto ended = MakeFolders()) return std::move(*ended);
    if (host_.StopRequested()) return Stopped();
    UpdateStartMenu();
    if (host_.StopRequested()) return Stopped();
    if (auto ended = WriteRegistry()) return std::move(*ended);
    if (host_.StopRequested()) return Stopped();
    if (auto ended = Commit()) return std::move(*ended);
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
  // A journal left on disk that this program cannot read, or whose rollback
  // still cannot put everything back: nothing is written over it.
  Step TakeLeftJournal() {
    if (journal_.Active()) return {};
    const Recovery left = TakeOver(journal_);
    if (left.state == Recovery::State::Unreadable)
      return Fatal(UnfinishedRunUnreadable(EndsInstallation()));
    if (left.state == Recovery::State::Left)
      return Fatal(RollBackLeft(left.left) + L"\r" + EndsInstallation());
    return {};
  }
  // The journal written through before what it names changes on disk.
  bool Journaled() {
    try {
      journal_.Save();
      return true;
    } catch (const platform::SetupError&) {
      return false;
    }
  }
  // The files an earlier installation put in place, as it recorded them: a
  // template that is no longer as installed is the person's.
  void TakeEarlierRecord() {
    InstallRecord earlier;
    if (ReadRecord(earlier) != RecordState::Present) return;
    for (RecordedFile& file : earlier.files) installed_[Key(file.path)] = std::move(file);
  }
  static std::wstring Key(const std::wstring& path) { return platform::ComparablePath(path); }
  bool PersonsFile(const std::wstring& path, HANDLE file) const {
    const auto installed = installed_.find(Key(path));
    if (installed == installed_.end()) return true;  // never the installation's
    return !platform::HoldsContent(file, installed->second.size, installed->second.crc);
  }

  // Steps 4 and 5: the work folder, then the archive into it, always from the
  // medium, also on a run after a stop.
  Step Unpack() {
    const std::wstring& appFolder = choices_.vantorPro;
    std::vector<platform::HeldFolder> appMade;
    journal_.MayMake(appFolder);
    journal_.StagesIn(appFolder, false);
    if (!Journaled()) return Fatal(RegistryFailed());
    // The ground an earlier installation left, and the application folder
    // as the user typed it, a link in it followed this once (never one in
    // place of what the earlier installation made); held from here on.
    std::wstring refused = SurveyGround(choices_, earlierMade_);
    if (refused.empty())
      app_ = OpenForRun(appFolder, Place::Application, earlierMade_, true, &appMade, refused);
    if (!refused.empty()) {
      RemoveMade(work_, false, app_, appMade);
      return Fatal(refused);
    }
    const WorkGround ground = app_ ? MakeWorkFolder(app_, earlier_, work_) : WorkGround::Unusable;
    const bool workFolderReady = ground == WorkGround::Made || ground == WorkGround::Ours;
    if (workFolderReady) {
      // Known by the journal from now on, whatever happens to the process.
      journal_.WorkFolder(work_.Path(), work_.Identity());
      if (!Journaled()) {
        RemoveMade(work_, ground == WorkGround::Made, app_, appMade);
        return Fatal(RegistryFailed());
      }
    }
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
    if (ground == WorkGround::Foreign) {
      RemoveMade(work_, false, app_, appMade);
      return Fatal(ForeignWorkFolder(appFolder));
    }
    host_.Redraw();
    fileops::RoomShortfall shortfall;
    const std::optional<fileops::ChunkDigests> stamp = StampedArchiveDigests();
    // A medium that stops answering halfway: the person may put it right.
    auto askRetry = [this] {
      return host_.Ask(MediumUnreadable(choices_.mediumDir), MB_RETRYCANCEL | MB_ICONEXCLAMATION) ==
             IDRETRY;
    };
    const fileops::ExtractResult unpacked =
        workFolderReady ? fileops::ExtractArchive(
                              host_, choices_.mediumDir + L"\\Vaninst.pak", sourceDir_,
                              &unpackedEntries_, &work_, &engineFacts_, LaterCopies(), &shortfall,
                              stamp ? &*stamp : nullptr, askRetry, &unpackedFacts_)
                        : fileops::ExtractResult::Failed;
    // Another archive than the one this program was laid out with, or one
    // the person gave up reading: nothing of it stays.
    if (unpacked == fileops::ExtractResult::NotTheMediumsArchive ||
        unpacked == fileops::ExtractResult::MediumUnreadable) {
      RemoveMade(work_, ground == WorkGround::Made, app_, appMade);
      if (unpacked == fileops::ExtractResult::MediumUnreadable)
        return InstallResult{Ending::Cancelled, {}, sourceDir_, {}, {}, {}, {}};
      return Fatal(NotTheMediumsArchive(choices_.mediumDir));
    }
    // A missing, damaged or unsafe archive ends the installation here too:
    // nothing later could work without its files.
    if (unpacked == fileops::ExtractResult::Failed) {
      RemoveMade(work_, ground == WorkGround::Made, app_, appMade);
      if (!shortfall.root.empty()) return Fatal(NoRoom(shortfall));
      return Fatal(CannotUnpack(appFolder));
    }
    unpacked_ = fileops::UnpackedFiles(unpackedEntries_, unpackedFacts_);
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
      return Fatal(CannotRead(sourceDir_));
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
        if (!isApp) {
          journal_.MayMake(step.folder);
          if (step.copyFrom) journal_.StagesIn(step.folder, true);
          if (!Journaled()) return Fatal(RegistryFailed());
        }
        std::vector<platform::HeldFolder> made;
        std::wstring refused;
        platform::HeldFolder own =
            isApp ? platform::HeldFolder()
                  : OpenForRun(step.folder, step.copyFrom ? Place::Templates : Place::Projects,
                               earlierMade_, true, &made, refused);
        if (!refused.empty()) return Fatal(refused);
        for (const platform::HeldFolder& level : made) record_.folders.push_back(level.Path());
        const platform::HeldFolder& target = isApp ? app_ : own;
        ready = static_cast<bool>(target);
        fileops::CopyLog copied;
        fileops::Staging staging;
        staging.prefix = journal_.Prefix();
        staging.unpacked = &unpacked_;  // moved into place where they can be
        if (ready && isApp) {
          // Only the archive's own top-level files, each of them replaced.
          const std::vector<std::wstring> names = TopLevelFiles();
          fileops::CopyDir(host_, work_, sourceDir_, target, step.folder, true, &names, &copied,
                           &staging);
        } else if (ready && step.copyFrom) {
          // A template the person changed or added stays as it is.
          staging.keep = [this](const std::wstring& path, HANDLE file) {
            return PersonsFile(path, file);
          };
          const std::wstring inner = std::wstring(step.copyFrom).substr(1);
          fileops::CopyDir(host_, work_.Child(inner), sourceDir_ + step.copyFrom, target,
                           step.folder, step.topLevelOnly, nullptr, &copied, &staging);
        }
        staged_.insert(staged_.end(), staging.entries.begin(), staging.entries.end());
        for (fileops::CopyLog::File& file : copied.files)
          record_.files.push_back({std::move(file.path), file.size, file.crc});
        record_.folders.insert(record_.folders.end(), copied.madeFolders.begin(),
                               copied.madeFolders.end());
        // The way back goes with the application's own files.
        if (ready && isApp && !host_.StopRequested()) {
          std::wstring temp;
          RecordedFile uninstaller;
          try {
            uninstaller = WriteUninstaller(app_, journal_.Prefix(), temp);
          } catch (const std::exception&) {
            return Fatal(CannotWriteUninstaller(step.folder));
          }
          staged_.push_back({choices_.vantorPro, temp, kUninstallerName,
                             app_.AttributesOf(kUninstallerName) != INVALID_FILE_ATTRIBUTES, false,
                             std::make_shared<const platform::HeldFolder>(app_.Share())});
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
    const std::wstring full = platform::FullPath(sourceDir_);
    return full.empty() ? sourceDir_ : full;
  }

  // The Start-menu group and its two shortcuts. A failure here is reported
  // and the installation goes on.
  void UpdateStartMenu() {
    host_.StepProgress();
    host_.SetStatus(L"Aktualizuji nabídku start");
    // No Programs folder known at all: no group, never one at a drive's
    // root (the summary said so).
    if (choices_.programsFolder.empty()) return;
    const std::wstring& appFolder = choices_.vantorPro;
    try {
      const std::wstring group = choices_.programsFolder + L"\\" + choices_.folderName;
      journal_.MayMake(group);
      journal_.StagesIn(group, false);
      journal_.Save();
      group_ = OpenGroup(choices_.programsFolder, choices_.folderName, record_.folders);
      if (!group_) throw platform::SetupError(L"Cannot hold the Start-menu group");
      // Each shortcut is written under a fresh name of the run's own through
      // the held group and takes its name with the commit, by a rename
      // through the same handle.
      const auto held = std::make_shared<const platform::HeldFolder>(group_.Share());
      auto stage = [&](const std::wstring& target, const std::wstring& name,
                       const std::wstring& description) {
        std::wstring temp;
        const platform::UniqueFile file = group_.CreateFresh(journal_.Prefix(), name, L"", temp);
        if (!file) return;
        // A shortcut that could not be saved whole leaves nothing behind.
        platform::DiscardUnlessKept discard(file.get());
        RecordedFile facts{group + L"\\" + name};
        if (!WriteLink(file.get(), target, L"", description, facts.size, facts.crc)) return;
        discard.Keep();
        record_.files.push_back(std::move(facts));
        staged_.push_back(
            {group, temp, name, group_.AttributesOf(name) != INVALID_FILE_ATTRIBUTES, false, held});
      };
      stage(appFolder + L"\\VantorPro.exe", L"VantorPro.lnk", L"VantorPro");
      stage(appFolder + L"\\VantorPro.hlp", L"Nápověda VantorPro.lnk", L"Nápověda VantorPro");
    } catch (const std::exception&) {
      host_.ShowError(StartMenuFailed());
    }
  }

  // What the installed application reads, and the product's entry in the
  // list of installed apps with the record of this installation.
  Step WriteRegistry() {
    host_.StepProgress();
    host_.SetStatus(L"Zapisuji informace do registru");
    try {
      // As they are now, for a rollback.
      for (const wchar_t* key : {kQuorKey, kVantorKey, kUninstallKey})
        if (!journal_.KeepsKey(key)) return Fatal(RegistryFailed());
      journal_.Save();
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

  // Everything staged takes its place in one short pass.
  Step Commit() {
    switch (CommitStaged(host_, journal_, staged_)) {
      case CommitResult::Done:
        return {};
      case CommitResult::Cancelled:
        return InstallResult{Ending::Cancelled, {}, sourceDir_, {}, {}, {}, {}};
      case CommitResult::NotUndone:
        return Fatal(CommitNotUndone());
      case CommitResult::Failed:
        break;
    }
    return Fatal(RegistryFailed());
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
    // Complete before the engine's setup changes anything: a run ended from
    // here on is finished by the next start, never rolled back over it.
    if (!journal_.Complete()) return Fatal(RegistryFailed());
    bool started = false;
    platform::UniqueHandle engine;
    try {
      started =
          StartEngineSetup(work_.Child(L"Utility\\Bde"), engineFacts_, host_.SetupTitle(), engine);
    } catch (const std::exception&) {
      started = false;
    }
    host_.Redraw();
    if (!started) {
      journal_.Reopen();
      return Fatal(EngineFailed());
    }
    // Its work folder stays while it runs; the backups of what the commit
    // replaced go meanwhile.
    journal_.EngineStarted(engine.get());
    Journaled();
    journal_.StartBackupRemoval();
    return {Ending::Done,      {},
            sourceDir_,        std::move(unpackedEntries_),
            std::move(engine), std::move(work_),
            record_.folders};
  }

  const InstallChoices& choices_;
  InstallHost& host_;
  const std::wstring sourceDir_;  // the unpack folder: SourceDir from step 5 on
  platform::HeldFolder earlier_;  // a stopped run's work folder, still held
  platform::HeldFolder app_;      // the application folder, from step 4 on
  platform::HeldFolder work_;     // the work folder, from step 4 on
  platform::HeldFolder group_;    // the Start-menu group, from its shortcuts on
  Journal& journal_;
  std::vector<fileops::Staging::Entry> staged_;     // what the commit puts in place
  std::map<std::wstring, RecordedFile> installed_;  // the earlier record's files
  std::vector<std::wstring> unpackedEntries_;
  std::vector<fileops::EntryFacts> unpackedFacts_;  // in the order of unpackedEntries_
  fileops::UnpackedFiles unpacked_;                 // the two, by path
  fileops::EntryFacts engineFacts_;                 // as the archive's plan states them
  InstallRecord record_;                            // what this run put on the PC

  // Folders made before, by an earlier installation or a stopped run: never
  // entered through a link.
  std::vector<std::wstring> earlierMade_;
};

}  // namespace

InstallResult Install(const InstallChoices& choices, InstallHost& host,
                      platform::HeldFolder earlier, Journal* journal) {
  Journal own;
  InstallResult result = Run(choices, host, std::move(earlier), journal ? *journal : own).Go();
  if (!journal && (result.ending == Ending::Fatal || result.ending == Ending::Cancelled) &&
      !own.RollBack({}))
    result.message += (result.message.empty() ? L"" : L"\r") + RollBackLeft(own.Left());
  return result;
}

}  // namespace install
