#include "install/Commit.h"

#include <windows.h>

#include <map>

#include "install/InUse.h"
#include "platform/Platform.h"

namespace install {

namespace {

const wchar_t kCr[] = L"\r";
const wchar_t kRetryOrCancel[] = L"Ukončete jej a zvolte Opakovat. Storno instalaci zruší.";

// One spelling of a path: full, in one letter case, a trailing "\" only on
// a root.
std::wstring Full(const std::wstring& path) {
  wchar_t full[MAX_PATH * 2] = {};
  const DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
  std::wstring spelt =
      platform::AsciiUpper(n > 0 && n < MAX_PATH * 2 ? std::wstring(full, n) : path);
  if (spelt.size() > 3 && spelt.back() == L'\\') spelt.pop_back();
  return spelt;
}

}  // namespace

CommitResult CommitStaged(InstallHost& host, Journal& journal,
                          const std::vector<const platform::HeldFolder*>& roots,
                          const std::vector<fileops::Staging::Entry>& entries,
                          const std::wstring& /*appFolder*/) {
  // Each entry's folder, held: a root, or reached from one without a link.
  std::map<std::wstring, platform::HeldFolder> below;
  auto folderOf = [&](const std::wstring& path) -> const platform::HeldFolder* {
    const std::wstring wanted = Full(path);
    for (const platform::HeldFolder* root : roots) {
      if (!root || !*root) continue;
      const std::wstring base = Full(root->Path());
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
    size_t done = 0;
    for (; done < entries.size(); ++done) {
      host.OnCommitStep(done, entries.size());
      const fileops::Staging::Entry& entry = entries[done];
      const platform::HeldFolder* folder = folderOf(entry.folder);
      const std::wstring backup = journal.BackupName(entry.name);
      if (!folder || (entry.replaces && !folder->Rename(entry.name, backup, false))) break;
      if (!folder->Rename(entry.temp, entry.name, false)) {
        if (entry.replaces) folder->Rename(backup, entry.name, false);
        break;
      }
    }
    if (done == entries.size()) {
      journal.SetPhase(Journal::Phase::Committed);
      try {
        journal.Save();
      } catch (const platform::SetupError&) {
        return CommitResult::Failed;
      }
      host.OnCommitStep(done, entries.size());
      return CommitResult::Done;
    }
    // Undone in reverse, so that a retry starts from the staged state.
    for (size_t i = done; i-- > 0;) {
      const fileops::Staging::Entry& entry = entries[i];
      const platform::HeldFolder* folder = folderOf(entry.folder);
      if (!folder) continue;
      folder->Rename(entry.name, entry.temp, false);
      if (entry.replaces) folder->Rename(journal.BackupName(entry.name), entry.name, false);
    }
    journal.SetPhase(Journal::Phase::Staging);
    try {
      journal.Save();
    } catch (const platform::SetupError&) {
      return CommitResult::Failed;
    }
    const fileops::Staging::Entry& failed = entries[done];
    if (host.Ask(L"Soubor \"" + failed.folder + L"\\" + failed.name + L"\" nelze nahradit, " +
                     L"protože jej používá jiný program!" + kCr + kRetryOrCancel,
                 MB_RETRYCANCEL | MB_ICONEXCLAMATION) != IDRETRY)
      return CommitResult::Cancelled;
  }
}

}  // namespace install
