#include "install/Commit.h"

#include <windows.h>

#include <algorithm>
#include <map>

#include "install/Flush.h"
#include "install/InUse.h"
#include "install/Messages.h"
#include "platform/Platform.h"

namespace install {

namespace {

// Every committed entry's data, then each folder they went into, once; the
// first entry that could not be flushed (entries.size(): none).
template <typename FolderOf>
size_t Unflushed(const std::vector<fileops::Staging::Entry>& entries, FolderOf& folderOf) {
  std::vector<std::pair<const platform::HeldFolder*, size_t>> folders;
  for (size_t i = 0; i < entries.size(); ++i) {
    const platform::HeldFolder* folder = folderOf(entries[i].folder);
    if (!folder || !FlushEntry(*folder, entries[i].name, entries[i].isFolder)) return i;
    if (std::none_of(folders.begin(), folders.end(),
                     [&](const auto& flushed) { return flushed.first == folder; }))
      folders.emplace_back(folder, i);
  }
  for (const auto& [folder, first] : folders)
    if (!FlushFolder(*folder)) return first;
  return entries.size();
}

}  // namespace

CommitResult CommitStaged(InstallHost& host, Journal& journal,
                          const std::vector<const platform::HeldFolder*>& roots,
                          const std::vector<fileops::Staging::Entry>& entries,
                          const std::wstring& /*appFolder*/) {
  // Each entry's folder, held: a root, or reached from one without a link.
  std::map<std::wstring, platform::HeldFolder> below;
  auto folderOf = [&](const std::wstring& path) -> const platform::HeldFolder* {
    const std::wstring wanted = platform::ComparablePath(path);
    for (const platform::HeldFolder* root : roots) {
      if (!root || !*root) continue;
      const std::wstring base = platform::ComparablePath(root->Path());
      if (wanted == base) return root;
      const std::wstring prefix = base.ends_with(L'\\') ? base : base + L'\\';
      if (!wanted.starts_with(prefix)) continue;
      auto found = below.find(wanted);
      if (found == below.end())
        found = below.emplace(wanted, root->Child(wanted.substr(prefix.size()))).first;
      return found->second ? &found->second : nullptr;
    }
    return nullptr;
  };
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
      const platform::HeldFolder* folder = folderOf(entry.folder);
      const std::wstring backup = journal.BackupName(entry.name);
      if (!folder || (entry.replaces && !folder->Rename(entry.name, backup, false))) break;
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
    if (done == entries.size()) failedAt = Unflushed(entries, folderOf);
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
      const platform::HeldFolder* folder = folderOf(entry.folder);
      const std::wstring backup = journal.BackupName(entry.name);
      if (!folder) {
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
