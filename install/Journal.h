// The journal of an installation run: what the run is about to change on the
// PC, written below HKEY_LOCAL_MACHINE (where only administrators can change
// it) before each phase changes anything on disk, so that a run that does
// not complete (a stop ended by the person, a fatal message, a program in
// use, the process ended at once) can be put back: by the run itself, or by
// the next start of the installer or of the uninstaller.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/HeldFolder.h"

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
};

// Folder and name of each backup a complete run left, removed on a thread
// of their own while the engine's setup runs; waited for before it is let go.
class BackupRemoval {
 public:
  using Backups = std::vector<std::pair<std::wstring, std::wstring>>;
  BackupRemoval() = default;
  BackupRemoval(BackupRemoval&&) noexcept = default;
  BackupRemoval& operator=(BackupRemoval&& other) noexcept {
    Wait();
    thread_ = std::move(other.thread_);
    return *this;
  }
  ~BackupRemoval() { Wait(); }
  // Falls back to removing them here when no thread can be had.
  void Start(const Backups& backups);
  void Wait();
  // Signalled once they are gone; null when nothing is going.
  HANDLE Handle() const { return thread_.get(); }

 private:
  platform::UniqueHandle thread_;
};

class Journal {
 public:
  enum class Phase {
    Staging,    // nothing the person had is changed yet
    Commit,     // staged entries are taking their names; backups hold the old
    Committed,  // everything is in place; the backups remain until the end
    Done,       // the run is complete: only its work folder and backups are left to go
  };

  // A run begins: a fresh journal, or the one of a run stopped before (whose
  // changes a rollback still undoes). Only the work folder is carried over
  // from a completed run.
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
  // The work folder, by its path and identity: removed whole.
  void WorkFolder(const std::wstring& path, const platform::FileIdentity& identity);
  // A registry key below HKEY_LOCAL_MACHINE the run is about to write: its
  // values as they are now, taken once per journal.
  void KeepsKey(const std::wstring& key);
  void Commits(std::vector<CommitEntry> entries) { commits_ = std::move(entries); }

  // Written through to the registry, flushed; raises SetupError when it
  // cannot be.
  void Save() const;
  // The journal a run left, if any.
  static std::optional<Journal> Load();
  // The run has ended one way or the other: the journal goes.
  void Erase();

  // Puts the PC back as it was before the run: the commit undone from the
  // backups, every staged entry removed, the registry keys as they were, the
  // work folder removed whole (never a folder of keep, by identity), the
  // folders made removed when empty; then the journal goes. With onlyStaged,
  // just the staged entries of a stopped run go: a run after it goes on with
  // the journal. False when something could not be put back.
  bool RollBack(const std::vector<platform::FileIdentity>& keep, bool onlyStaged = false);
  // The run is complete (the engine's setup has started): it is never rolled
  // back from here on. The journal keeps only the work folder and the
  // backups, which begin to go on a thread of their own.
  void Complete();
  // Signalled once the backups are gone; null when none are going.
  HANDLE RemovingBackups() const { return removal_.Handle(); }
  // At the finish: the backups and the work folder go whole, then the
  // journal; false (the journal kept for the next start) while anything of
  // them is left.
  bool Finish(const std::vector<platform::FileIdentity>& keep);

 private:
  struct Snapshot {
    std::wstring key;
    bool existed = false;
    std::vector<std::wstring> values;  // name, type and data in hex, tab-separated
  };
  std::vector<std::wstring> Lines() const;
  bool Parse(const std::vector<std::wstring>& lines);
  bool SweepStaged(bool backups) const;
  bool RemoveWorkFolder(const std::vector<platform::FileIdentity>& keep);
  bool RemoveBackups();

  std::wstring id_;
  Phase phase_ = Phase::Staging;
  std::vector<std::wstring> made_;
  std::vector<std::pair<std::wstring, bool>> staging_;  // folder, deep
  std::wstring workPath_;
  platform::FileIdentity work_;
  std::vector<Snapshot> keys_;
  std::vector<CommitEntry> commits_;
  BackupRemoval::Backups backups_;  // of a complete run, still to go
  BackupRemoval removal_;
};

// At the start of the installer or of the uninstaller: a journal left by a
// run that was ended at once is rolled back; one left by a complete run has
// its work folder removed.
void RecoverUnfinishedRun(const std::vector<platform::FileIdentity>& keep = {});

// A folder named by a full path, opened from its volume's root one name at a
// time, never through a link: how a journal's folders are found again.
platform::HeldFolder OpenWithoutLinks(const std::wstring& path);

}  // namespace install
