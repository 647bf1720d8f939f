#include "install/Commit.h"

#include <windows.h>

#include <algorithm>

#include "install/Flush.h"
#include "install/InUse.h"
#include "install/Messages.h"
#include "platform/Platform.h"

namespace install {

CommitResult CommitStaged(InstallHost& host, Journal& journal,
                          const std::vector<fileops::Staging::Entry>& entries) {
  std::vector<std::wstring> replaced;
  std::vector<CommitEntry> journaled;
  for (const fileops::Staging::Entry& entry : entries) {
    if (entry.replaces) replaced.push_back(entry.folder + L"\\" + entry.name);
    journaled.push_back({entry.folder, entry.name, entry.replaces, entry.isFolder});
  }
  journal.Commits(journaled);
  for (;;) {
    if (!ProgramsLetGo(host, replaced)) return CommitResult::Cancelled;
    journal.SetPhase(Journal::Phase::Commit);
    try {
      journal.Save();
    } catch (const platform::SetupError&) {
      return CommitResult::Failed;
    }
    size_t done = 0, undoFrom = 0;
    for (; done < entries.size(); ++done) {
      host.OnCommitStep(done, entries.size());
      const fileops::Staging::Entry& entry = entries[done];
      const platform::HeldFolder* folder = entry.held.get();
      const std::wstring backup = journal.BackupName(entry.name);
      if (!folder || !*folder || (entry.replaces && !folder->Rename(entry.name, backup, false)))
        break;
      if (!folder->Rename(entry.temp, entry.name, false)) {
        // Put back by the undo below, which checks it like every other step.
        undoFrom = done + 1;
        break;
      }
    }
    size_t failedAt = done;
    undoFrom = std::max(undoFrom, done);
    // On the disk, data and names, before the journal says so: however the
    // staged entries were written.
    if (done == entries.size()) failedAt = Unflushed(host, entries);
    if (failedAt == entries.size()) {
      journal.SetPhase(Journal::Phase::Committed);
      try {
        journal.Save();
      } catch (const platform::SetupError&) {
        return CommitResult::Failed;
      }
      host.OnCommitStep(done, entries.size());
      return CommitResult::Done;
    }
    // Undone in reverse, so that a retry starts from the staged state. Every
    // step is checked: until all of them have succeeded the phase stays at
    // Commit, and the run ends for its rollback to finish the undo.
    bool undone = true;
    for (size_t i = undoFrom; i-- > 0;) {
      const fileops::Staging::Entry& entry = entries[i];
      const platform::HeldFolder* folder = entry.held.get();
      const std::wstring backup = journal.BackupName(entry.name);
      if (!folder || !*folder) {
        undone = false;
        continue;
      }
      const bool committed = folder->AttributesOf(entry.temp) == INVALID_FILE_ATTRIBUTES &&
                             folder->AttributesOf(entry.name) != INVALID_FILE_ATTRIBUTES;
      if (committed && !folder->Rename(entry.name, entry.temp, false)) undone = false;
      if (entry.replaces && folder->AttributesOf(backup) != INVALID_FILE_ATTRIBUTES &&
          !folder->Rename(backup, entry.name, false))
        undone = false;
    }
    if (!undone) return CommitResult::NotUndone;
    journal.SetPhase(Journal::Phase::Staging);
    try {
      journal.Save();
    } catch (const platform::SetupError&) {
      return CommitResult::Failed;
    }
    const fileops::Staging::Entry& failed = entries[failedAt];
    if (host.Ask(InUseCannotReplace(failed.folder + L"\\" + failed.name),
                 MB_RETRYCANCEL | MB_ICONEXCLAMATION) != IDRETRY)
      return CommitResult::Cancelled;
  }
}

}  // namespace install
