// The journal's way back and its end: the rollback, the completion and the
// finish. Each step drops from the journal only what it has put back, so
// that a journal is never gone while anything of its run stays.
#include <algorithm>
#include <map>

#include "install/Journal.h"

namespace install {

namespace {

bool SameName(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// Makes a key's values exactly those of a snapshot again; a key the run made
// goes when nothing else is left in it.
bool Restore(const std::wstring& path, bool existed,
             const std::vector<platform::Registry::Value>& wanted) {
  platform::Registry registry;
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  if (!registry.OpenExisting(path)) {
    if (!existed && platform::Registry::KeyExists(HKEY_LOCAL_MACHINE, path)) return false;
    if (!existed) return true;
    if (!registry.OpenKey(path)) return false;
  }
  std::vector<platform::Registry::Value> now;
  if (!registry.ReadValues(now)) return false;
  bool ok = true;
  for (const platform::Registry::Value& value : now)
    if (std::none_of(wanted.begin(), wanted.end(),
                     [&](const auto& kept) { return SameName(kept.name, value.name); }))
      ok = registry.DeleteValue(value.name) && ok;
  for (const platform::Registry::Value& value : wanted)
    if (std::find(now.begin(), now.end(), value) == now.end()) ok = registry.Write(value) && ok;
  ok = registry.Flush() && ok;
  registry.CloseKey();
  if (!existed) ok = platform::Registry::DeleteKeyIfEmpty(HKEY_LOCAL_MACHINE, path) && ok;
  return ok;
}

// Every entry whose name begins with prefix, below folder (deep: in its
// subfolders too, never through a link); spare: a beginning left alone.
bool Sweep(const platform::HeldFolder& folder, const std::wstring& prefix, bool deep,
           const std::wstring& spare) {
  bool listed = false;
  bool ok = true;
  for (const platform::DirEntry& entry : folder.List(&listed)) {
    if (entry.name.starts_with(prefix)) {
      if (!entry.name.starts_with(spare)) ok = RemoveEntry(folder, entry.name) && ok;
    } else if (deep && entry.IsFolder() && !entry.IsLink()) {
      if (const platform::HeldFolder inner = folder.Child(entry.name))
        ok = Sweep(inner, prefix, true, spare) && ok;
      else
        ok = false;
    }
  }
  return listed && ok;
}

// The held folder of a journal's path, or whether nothing of the run can be
// there: nothing at all, or (linkForeign) a link on the way, which leads
// somewhere the run never staged in.
platform::HeldFolder Reach(const std::wstring& path, bool& absent, bool linkForeign = false) {
  platform::HeldFolder folder = OpenWithoutLinks(path);
  const bool link = !folder && GetLastError() == ERROR_CANT_ACCESS_FILE;
  absent = !folder && ((linkForeign && link) || Absent(path));
  return folder;
}

}  // namespace

bool Journal::UndoCommits(const std::function<void()>& step) {
  std::map<std::wstring, platform::HeldFolder> folders;  // each found once
  std::map<std::wstring, bool> absent;
  for (size_t i = commits_.size(); i-- > 0;) {
    const CommitEntry& entry = commits_[i];
    auto found = folders.find(entry.folder);
    if (found == folders.end())
      found = folders.emplace(entry.folder, Reach(entry.folder, absent[entry.folder])).first;
    const platform::HeldFolder& folder = found->second;
    bool undone = absent[entry.folder];  // a folder gone holds nothing to undo
    if (folder) {
      const std::wstring backup = BackupName(entry.name);
      if (folder.AttributesOf(backup) != INVALID_FILE_ATTRIBUTES)
        undone = RemoveEntry(folder, entry.name) && folder.Rename(backup, entry.name, false);
      else
        undone = entry.replaces || RemoveEntry(folder, entry.name);
    }
    if (undone) commits_.erase(commits_.begin() + static_cast<ptrdiff_t>(i));
    step();
  }
  return commits_.empty();
}

bool Journal::RemoveWorkFolders(const std::vector<platform::FileIdentity>& keep) {
  // Never under the engine's setup, which runs from there; one that is gone
  // already holds nothing.
  const bool engineRuns = engine_.Running();
  std::erase_if(work_, [&](const WorkFolderEntry& entry) {
    bool absent = false;
    platform::HeldFolder work = Reach(entry.path, absent, true);
    if (!work || engineRuns) return !work && absent;
    // Only the very folder the run made: whatever else now has its name
    // stays. An identity that cannot be taken now tells nothing: tried again.
    const platform::FileIdentity& now = work.Identity();
    if (now.index == 0) return false;
    const bool volumesDiffer =
        now.volume && entry.identity.volume && now.volume != entry.identity.volume;
    if (now.index != entry.identity.index || volumesDiffer) return true;
    return work.RemoveTree(keep);
  });
  if (work_.empty()) engine_ = {};
  return work_.empty();
}

bool Journal::RemoveBackupsNow() {
  removal_.Wait();
  return RemoveBackups(backups_);
}

bool Journal::SaveOrKeep() {
  try {
    Save();
    return true;
  } catch (const platform::SetupError&) {
    return false;
  }
}

bool Journal::RollBack(const std::vector<platform::FileIdentity>& keep, bool onlyStaged,
                       const Progress& progress) {
  if (!Active()) return true;
  if (phase_ == Phase::Done) return onlyStaged || Finish(keep);
  const bool inCommit = phase_ == Phase::Commit || phase_ == Phase::Committed;
  // One step each: an entry of the commit, a folder staged in, a key, and
  // the work folders and backups at the end.
  const size_t total = (inCommit ? commits_.size() : 0) + staging_.size() + keys_.size() + 2;
  size_t done = 0;
  auto step = [&] {
    if (progress && !onlyStaged) progress(++done, total);
  };
  if (!onlyStaged && inCommit) UndoCommits(step);
  // Before the commit none of its entries is in place: the sweep takes them.
  if (!onlyStaged && !inCommit) commits_.clear();
  // A backup that could not take its name back is never swept.
  const std::wstring spare = BackupName(L"");
  if (onlyStaged) {
    bool ok = true;
    for (const auto& [path, deep] : staging_)
      if (const platform::HeldFolder folder = OpenWithoutLinks(path))
        ok = Sweep(folder, Prefix(), deep, spare) && ok;
    return ok;
  }
  std::erase_if(staging_, [&](const std::pair<std::wstring, bool>& staged) {
    bool absent = false;
    const platform::HeldFolder folder = Reach(staged.first, absent, true);
    step();
    return folder ? Sweep(folder, Prefix(), staged.second, spare) : absent;
  });
  std::vector<Snapshot> keys;
  for (auto key = keys_.rbegin(); key != keys_.rend(); ++key, step())
    if (!Restore(key->key, key->existed, key->values)) keys.insert(keys.begin(), *key);
  keys_ = std::move(keys);
  RemoveWorkFolders(keep);
  step();
  // Those of an earlier complete run, carried over.
  RemoveBackupsNow();
  step();
  for (auto level = made_.rbegin(); level != made_.rend(); ++level)
    if (platform::HeldFolder folder = OpenWithoutLinks(*level)) folder.RemoveSelf();
  if (commits_.empty() && staging_.empty() && keys_.empty() && work_.empty() && backups_.empty()) {
    Erase();
    return true;
  }
  // What stays is tried again by the next start; a journal that cannot be
  // written now still holds the run as it was.
  SaveOrKeep();
  return false;
}

std::vector<std::wstring> Journal::Left() const {
  std::vector<std::wstring> left;
  for (const CommitEntry& entry : commits_) left.push_back(entry.folder + L"\\" + entry.name);
  for (const auto& [folder, name] : backups_) left.push_back(folder + L"\\" + name);
  for (const auto& [path, deep] : staging_) left.push_back(path + L"\\" + Prefix() + L"*");
  for (const Snapshot& key : keys_) left.push_back(L"HKEY_LOCAL_MACHINE\\" + key.key);
  for (const WorkFolderEntry& work : work_) left.push_back(work.path);
  return left;
}

bool Journal::Complete() {
  if (!Active()) return true;
  Journal done;
  done.id_ = id_;
  done.phase_ = Phase::Done;
  done.work_ = work_;
  done.engine_ = engine_;
  done.backups_ = backups_;
  for (const CommitEntry& entry : commits_)
    if (entry.replaces) done.backups_.emplace_back(entry.folder, BackupName(entry.name));
  // On disk before any backup goes and before the engine's setup starts: a
  // run ended from here on is finished by the next start, never taken back.
  if (!done.SaveOrKeep()) return false;
  reopen_ = Lines();
  backups_ = std::move(done.backups_);
  commits_.clear();
  staging_.clear();
  made_.clear();
  keys_.clear();
  phase_ = Phase::Done;
  return true;
}

void Journal::Reopen() {
  if (reopen_.empty()) return;
  std::optional<Journal> before = Parse(reopen_);
  if (!before) return;
  *this = std::move(*before);
  SaveOrKeep();
}

bool Journal::Finish(const std::vector<platform::FileIdentity>& keep) {
  if (!Active()) return true;
  const size_t had = backups_.size() + work_.size();
  const bool backupsGone = RemoveBackupsNow();
  const bool workGone = RemoveWorkFolders(keep);
  if (backupsGone && workGone) {
    Erase();
    return true;
  }
  // Either left is tried again at the next start.
  if (backups_.size() + work_.size() != had) SaveOrKeep();
  return false;
}

Recovery TakeOver(Journal& journal) {
  bool unreadable = false;
  std::optional<Journal> left = Journal::Load(&unreadable);
  if (unreadable) return {Recovery::State::Unreadable, {}};
  if (!left) return {};
  if (left->CurrentPhase() != Journal::Phase::Done && !left->RollBack({}))
    return {Recovery::State::Left, left->Left()};
  if (left->Active()) journal = std::move(*left);
  return {};
}

Recovery RecoverUnfinishedRun(const std::vector<platform::FileIdentity>& keep) {
  try {
    bool unreadable = false;
    std::optional<Journal> journal = Journal::Load(&unreadable);
    if (unreadable) return {Recovery::State::Unreadable, {}};
    if (!journal) return {};
    // A complete run's leftovers go quietly, at this start or a later one.
    if (journal->CurrentPhase() == Journal::Phase::Done) {
      journal->Finish(keep);
      return {};
    }
    if (journal->RollBack(keep)) return {};
    return {Recovery::State::Left, journal->Left()};
  } catch (const std::exception&) {
    // Out of memory, say: the journal stays for the next start.
    return {Recovery::State::Left, {}};
  }
}

}  // namespace install
