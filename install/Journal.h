// The journal of an installation run: what the run is about to change on the
// PC, written below HKEY_LOCAL_MACHINE (where only administrators can change
// it) before each phase changes anything on disk, so that a run that does
// not complete (a stop ended by the person, a fatal message, a program in
// use, the process ended at once) can be put back: by the run itself, or by
// the next start of the installer or of the uninstaller. What cannot be put
// back stays in it, exactly, until a later start can.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "install/BackupRemoval.h"
#include "platform/HeldFolder.h"
#include "platform/Platform.h"

namespace install {

inline constexpr wchar_t kJournalKey[] = L"Software\\SetupVantor";
inline constexpr wchar_t kJournalValue[] = L"Journal";

// One entry the commit puts in place: a staged file or folder taking its
// name, and what stood there before going to a backup name.
struct CommitEntry {
  std::wstring folder;    // the folder it goes into, a full path
  std::wstring name;      // its name there once committed
  bool replaces = false;  // an entry of that name stood there before the commit
  bool isFolder = false;  // a new folder, staged whole under a temporary name
  bool operator==(const CommitEntry&) const = default;
};

// A work folder a run unpacked into, by its path and identity: removed whole.
struct WorkFolderEntry {
  std::wstring path;
  platform::FileIdentity identity;
  bool operator==(const WorkFolderEntry&) const = default;
};

// The process of an engine's setup, by its id and the time it was created:
// while it runs, its work folder stays.
struct EngineProcess {
  DWORD pid = 0;
  uint64_t created = 0;
  bool Running() const;
  bool operator==(const EngineProcess&) const = default;
};

class Journal {
 public:
  enum class Phase {
    Staging,    // nothing the person had is changed yet
    Commit,     // staged entries are taking their names; backups hold the old
    Committed,  // everything is in place; the backups remain until the end
    Done,       // the run is complete: only its work folders and backups are left to go
  };

  // A run begins: a fresh journal, or the one of a run stopped before (whose
  // changes a rollback still undoes). Only the work folders and backups are
  // carried over from a completed run.
  void Begin();
  bool Active() const { return !id_.empty(); }
  Phase CurrentPhase() const { return phase_; }
  void SetPhase(Phase phase) { phase_ = phase; }

  // The beginning of every temporary name of the run ("~sv<id>-"): the
  // staged files, folders and backups, so that a rollback finds them.
  std::wstring Prefix() const { return L"~sv" + id_ + L"-"; }
  // The backup name of what an entry replaces.
  std::wstring BackupName(const std::wstring& name) const { return Prefix() + L"o-" + name; }

  // Levels of a path that are not there yet and that the run may make:
  // removed again when left empty. Call before making them.
  void MayMake(const std::wstring& path);
  // A folder the run stages entries in; deep: its subfolders too.
  void StagesIn(const std::wstring& folder, bool deep);
  // A work folder: added to those of earlier runs, each removed whole.
  void WorkFolder(const std::wstring& path, const platform::FileIdentity& identity);
  // A registry key below HKEY_LOCAL_MACHINE the run is about to write: its
  // values as they are now, taken once per journal. False when they could
  // not be read whole: the run must not write the key then.
  bool KeepsKey(const std::wstring& key);
  void Commits(std::vector<CommitEntry> entries) { commits_ = std::move(entries); }
  // The engine's setup runs from the work folders from now on.
  void EngineStarted(HANDLE process);

  // Written through to the registry, flushed; raises SetupError when it
  // cannot be.
  void Save() const;
  // The journal a run left, if any. A journal that is there but cannot be
  // read (damaged, or of a newer layout) sets *unreadable and is left as it
  // is: nothing here may act on it.
  static std::optional<Journal> Load(bool* unreadable = nullptr);
  // The lines as saved, and a journal from them (nothing when malformed).
  std::vector<std::wstring> Lines() const;
  static std::optional<Journal> Parse(const std::vector<std::wstring>& lines);
  // The run has ended one way or the other: the journal goes.
  void Erase();

  // Puts the PC back as it was before the run: the commit undone from the
  // backups, every staged entry removed, the registry keys as they were, the
  // work folders removed whole (never a folder of keep, by identity), the
  // folders made removed when empty; then the journal goes. What could not
  // be put back stays in the journal, saved, and Left() names it; false
  // then. With onlyStaged, just the staged entries of a stopped run go: a
  // run after it goes on with the journal.
  // progress hears how many of its steps are done, of how many.
  using Progress = std::function<void(size_t done, size_t total)>;
  bool RollBack(const std::vector<platform::FileIdentity>& keep, bool onlyStaged = false,
                const Progress& progress = {});
  // What the journal still names: each entry the person may have to free,
  // as a path (a registry key as "HKEY_LOCAL_MACHINE\...").
  std::vector<std::wstring> Left() const;
  // The run is complete: Done is on disk before the engine's setup starts,
  // and from here on it is never rolled back. The journal keeps only the
  // work folders and the backups. False, with nothing changed, when Done
  // cannot be written.
  bool Complete();
  // The engine's setup could not start after Complete: back to Committed,
  // so that the run is rolled back as before.
  void Reopen();
  // The backups begin to go on a thread of their own (after Complete).
  void StartBackupRemoval() { removal_.Start(backups_); }
  // Signalled once the backups are gone; null when none are going.
  HANDLE RemovingBackups() const { return removal_.Handle(); }
  // At the finish: the backups and the work folders go whole, then the
  // journal; false (the journal kept for the next start) while anything of
  // them is left, or while the engine's setup still runs.
  bool Finish(const std::vector<platform::FileIdentity>& keep);

 private:
  struct Snapshot {
    std::wstring key;
    bool existed = false;
    std::vector<platform::Registry::Value> values;
  };
  bool SetFrom(const std::vector<std::wstring>& body);
  bool UndoCommits(const std::function<void()>& step);
  bool RemoveWorkFolders(const std::vector<platform::FileIdentity>& keep);
  bool RemoveBackupsNow();
  bool SaveOrKeep();

  std::wstring id_;
  Phase phase_ = Phase::Staging;
  std::vector<std::wstring> made_;
  std::vector<std::pair<std::wstring, bool>> staging_;  // folder, deep
  std::vector<WorkFolderEntry> work_;
  EngineProcess engine_;
  std::vector<Snapshot> keys_;
  std::vector<CommitEntry> commits_;
  Backups backups_;                   // of a complete run, still to go
  std::vector<std::wstring> reopen_;  // the Committed lines while Complete may be taken back
  BackupRemoval removal_;
};

// How the start of the installer or the uninstaller found the ground.
struct Recovery {
  enum class State {
    Clean,       // no journal, or one put back or finished whole
    Left,        // a rollback or finish left something: left names it
    Unreadable,  // a journal that cannot be read: left in place untouched
  };
  State state = State::Clean;
  std::vector<std::wstring> left;
};

// At the start of the installer or of the uninstaller: a journal left by a
// run that was ended at once is rolled back; one left by a complete run has
// its work folders and backups removed. Never raises.
Recovery RecoverUnfinishedRun(const std::vector<platform::FileIdentity>& keep = {});

// For a run about to begin without a journal of its own: the one on disk,
// rolled back once more when it is not a complete run's; what is left of a
// complete run (its work folders and backups) becomes journal, to go with
// the new run's. Clean when the run may go on.
Recovery TakeOver(Journal& journal);

// A folder named by a full path, opened from its volume's root one name at a
// time, never through a link: how a journal's folders are found again.
platform::HeldFolder OpenWithoutLinks(const std::wstring& path);
// Whether a path names nothing at all (it, or a level above it, is missing).
bool Absent(const std::wstring& path);
// A file, link or folder of a held folder, gone with all it holds.
bool RemoveEntry(const platform::HeldFolder& folder, const std::wstring& name);

}  // namespace install
