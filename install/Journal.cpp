#include "install/Journal.h"

#include <bcrypt.h>

#include <algorithm>
#include <map>
#include <memory>

#include "platform/Platform.h"

namespace install {

namespace {

constexpr REGSAM kView = KEY_WOW64_32KEY;

std::wstring Hex(const BYTE* bytes, size_t size) {
  static const wchar_t digits[] = L"0123456789abcdef";
  std::wstring text;
  for (size_t i = 0; i < size; ++i) {
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 15];
  }
  return text.empty() ? L"-" : text;
}

std::vector<BYTE> Unhex(const std::wstring& text) {
  std::vector<BYTE> bytes;
  auto digit = [](wchar_t c) { return c <= L'9' ? c - L'0' : c - L'a' + 10; };
  for (size_t i = 0; i + 1 < text.size(); i += 2)
    bytes.push_back(static_cast<BYTE>(digit(text[i]) << 4 | digit(text[i + 1])));
  return bytes;
}

std::vector<std::wstring> Fields(const std::wstring& line) {
  std::vector<std::wstring> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find(L'\t', start);
    fields.push_back(line.substr(start, tab - start));
    if (tab == std::wstring::npos) return fields;
    start = tab + 1;
  }
}

// A key's values as lines of name, type and data, all in hex.
std::vector<std::wstring> ValuesOf(HKEY key) {
  std::vector<std::wstring> values;
  DWORD longestName = 0, longestData = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS)
    return values;
  std::wstring name(longestName + 1, L'\0');
  std::vector<BYTE> data(longestData + 1);
  for (DWORD i = 0;; ++i) {
    DWORD nameSize = longestName + 1, dataSize = longestData + 1, type = 0;
    if (RegEnumValueW(key, i, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize) !=
        ERROR_SUCCESS)
      break;
    values.push_back(Hex(reinterpret_cast<const BYTE*>(name.data()), nameSize * sizeof(wchar_t)) +
                     L"\t" + std::to_wstring(type) + L"\t" + Hex(data.data(), dataSize));
  }
  return values;
}

// Makes a key's values exactly those of a snapshot again; a key the run made
// goes when nothing else is left in it.
bool Restore(const std::wstring& path, bool existed, const std::vector<std::wstring>& values) {
  HKEY raw = nullptr;
  LSTATUS opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS | kView, &raw);
  if (opened == ERROR_FILE_NOT_FOUND && !existed) return true;
  if (opened == ERROR_FILE_NOT_FOUND)
    opened = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                             KEY_ALL_ACCESS | kView, nullptr, &raw, nullptr);
  if (opened != ERROR_SUCCESS) return false;
  platform::UniqueHkey key(raw);
  std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>> wanted;
  for (const std::wstring& line : values) {
    const std::vector<std::wstring> f = Fields(line);
    if (f.size() != 3) continue;
    const std::vector<BYTE> name = Unhex(f[0]);
    wanted[std::wstring(reinterpret_cast<const wchar_t*>(name.data()), name.size() / 2)] = {
        static_cast<DWORD>(std::stoul(f[1])), Unhex(f[2])};
  }
  bool ok = true;
  for (const std::wstring& line : ValuesOf(key.get())) {
    const std::vector<BYTE> name = Unhex(Fields(line)[0]);
    const std::wstring text(reinterpret_cast<const wchar_t*>(name.data()), name.size() / 2);
    if (!wanted.contains(text))
      ok = RegDeleteValueW(key.get(), text.c_str()) == ERROR_SUCCESS && ok;
  }
  for (const auto& [name, value] : wanted)
    ok = RegSetValueExW(key.get(), name.c_str(), 0, value.first, value.second.data(),
                        static_cast<DWORD>(value.second.size())) == ERROR_SUCCESS &&
         ok;
  key.reset();
  if (!existed) platform::Registry::DeleteKeyIfEmpty(HKEY_LOCAL_MACHINE, path);
  return ok;
}

// A file, link or folder of a held folder, gone with all it holds.
bool RemoveEntry(const platform::HeldFolder& folder, const std::wstring& name) {
  const DWORD attributes = folder.AttributesOf(name);
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    platform::HeldFolder inner = folder.Child(name);
    return inner && inner.RemoveTree();
  }
  return folder.Remove(name);
}

// Each backup that is still there goes; those that cannot stay in backups.
// Each folder is found once.
bool RemoveAll(BackupRemoval::Backups& backups) {
  std::map<std::wstring, platform::HeldFolder> folders;
  std::erase_if(backups, [&](const std::pair<std::wstring, std::wstring>& backup) {
    auto found = folders.find(backup.first);
    if (found == folders.end())
      found = folders.emplace(backup.first, OpenWithoutLinks(backup.first)).first;
    return !found->second || RemoveEntry(found->second, backup.second);
  });
  return backups.empty();
}

DWORD WINAPI RemoveOnThread(void* parameter) {
  std::unique_ptr<BackupRemoval::Backups> backups(static_cast<BackupRemoval::Backups*>(parameter));
  RemoveAll(*backups);
  return 0;
}

// Every entry whose name begins with prefix, below folder (deep: in its
// subfolders too, never through a link); keep: a beginning spared.
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
    }
  }
  return listed && ok;
}

std::wstring RandomId() {
  uint32_t value = 0;
  if (BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&value), sizeof value,
                      BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0)
    value = GetTickCount() ^ (GetCurrentProcessId() << 16);
  wchar_t text[9];
  swprintf(text, 9, L"%08x", value);
  return text;
}

}  // namespace

platform::HeldFolder OpenWithoutLinks(const std::wstring& path) {
  wchar_t full[MAX_PATH * 2] = {};
  const DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
  if (n == 0 || n >= MAX_PATH * 2) return {};
  const std::wstring whole(full, n);
  const std::wstring rootPath = platform::RootOf(whole);
  if (rootPath.empty()) return {};
  platform::HeldFolder root = platform::HeldFolder::Open(rootPath);
  if (!root || rootPath.size() >= whole.size()) return root;
  return root.Child(whole.substr(rootPath.size()));
}

void BackupRemoval::Start(const Backups& backups) {
  Wait();
  if (backups.empty()) return;
  auto* copy = new Backups(backups);
  thread_.reset(CreateThread(nullptr, 0, RemoveOnThread, copy, 0, nullptr));
  if (!thread_) RemoveOnThread(copy);
}

void BackupRemoval::Wait() {
  if (thread_) WaitForSingleObject(thread_.get(), INFINITE);
  thread_.reset();
}

void Journal::Begin() {
  if (Active() && phase_ != Phase::Done) return;
  const std::wstring workPath = workPath_;
  const platform::FileIdentity work = work_;
  BackupRemoval::Backups backups = std::move(backups_);
  *this = Journal();
  workPath_ = workPath;
  work_ = work;
  backups_ = std::move(backups);
  id_ = RandomId();
}

void Journal::MayMake(const std::wstring& path) {
  std::vector<std::wstring> missing;
  for (std::wstring level = path; level.size() > 3;) {
    if (GetFileAttributesW(level.c_str()) != INVALID_FILE_ATTRIBUTES) break;
    missing.push_back(level);
    const size_t cut = level.find_last_of(L'\\');
    if (cut == std::wstring::npos || cut < 2) break;
    level = level.substr(0, cut);
  }
  for (auto level = missing.rbegin(); level != missing.rend(); ++level)
    if (std::find(made_.begin(), made_.end(), *level) == made_.end()) made_.push_back(*level);
}

void Journal::StagesIn(const std::wstring& folder, bool deep) {
  for (auto& [path, isDeep] : staging_)
    if (path == folder) {
      isDeep = isDeep || deep;
      return;
    }
  staging_.emplace_back(folder, deep);
}

void Journal::WorkFolder(const std::wstring& path, const platform::FileIdentity& identity) {
  workPath_ = path;
  work_ = identity;
}

void Journal::KeepsKey(const std::wstring& key) {
  for (const Snapshot& kept : keys_)
    if (kept.key == key) return;
  Snapshot snapshot{key, false, {}};
  HKEY raw = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | kView, &raw) == ERROR_SUCCESS) {
    platform::UniqueHkey open(raw);
    snapshot.existed = true;
    snapshot.values = ValuesOf(open.get());
  }
  keys_.push_back(std::move(snapshot));
}

std::vector<std::wstring> Journal::Lines() const {
  std::vector<std::wstring> lines = {L"run\t" + id_,
                                     L"phase\t" + std::to_wstring(static_cast<int>(phase_))};
  for (const std::wstring& path : made_) lines.push_back(L"made\t" + path);
  for (const auto& [path, deep] : staging_)
    lines.push_back(std::wstring(L"stage\t") + (deep ? L"1" : L"0") + L"\t" + path);
  if (!workPath_.empty())
    lines.push_back(L"work\t" + std::to_wstring(work_.volume) + L"\t" +
                    std::to_wstring(work_.index) + L"\t" + workPath_);
  for (const Snapshot& key : keys_) {
    lines.push_back(std::wstring(L"key\t") + (key.existed ? L"1" : L"0") + L"\t" + key.key);
    for (const std::wstring& value : key.values) lines.push_back(L"value\t" + value);
  }
  for (const auto& [folder, name] : backups_) lines.push_back(L"backup\t" + folder + L"\t" + name);
  for (const CommitEntry& entry : commits_)
    lines.push_back(std::wstring(L"commit\t") + (entry.replaces ? L"1" : L"0") +
                    (entry.isFolder ? L"\t1\t" : L"\t0\t") + entry.folder + L"\t" + entry.name);
  return lines;
}

bool Journal::Parse(const std::vector<std::wstring>& lines) {
  try {
    for (const std::wstring& line : lines) {
      const std::vector<std::wstring> f = Fields(line);
      const std::wstring& tag = f[0];
      if (tag == L"run" && f.size() == 2) {
        id_ = f[1];
      } else if (tag == L"phase" && f.size() == 2) {
        phase_ = static_cast<Phase>(std::clamp(std::stoi(f[1]), 0, 3));
      } else if (tag == L"made" && f.size() == 2) {
        made_.push_back(f[1]);
      } else if (tag == L"stage" && f.size() == 3) {
        staging_.emplace_back(f[2], f[1] == L"1");
      } else if (tag == L"work" && f.size() == 4) {
        work_ = {static_cast<DWORD>(std::stoul(f[1])), std::stoull(f[2])};
        workPath_ = f[3];
      } else if (tag == L"key" && f.size() == 3) {
        keys_.push_back({f[2], f[1] == L"1", {}});
      } else if (tag == L"value" && f.size() == 4 && !keys_.empty()) {
        keys_.back().values.push_back(f[1] + L"\t" + f[2] + L"\t" + f[3]);
      } else if (tag == L"backup" && f.size() == 3) {
        backups_.emplace_back(f[1], f[2]);
      } else if (tag == L"commit" && f.size() == 5) {
        commits_.push_back({f[3], f[4], f[1] == L"1", f[2] == L"1"});
      } else {
        return false;
      }
    }
  } catch (const std::exception&) {
    return false;
  }
  return !id_.empty();
}

void Journal::Save() const {
  HKEY raw = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kJournalKey, 0, nullptr, 0, KEY_ALL_ACCESS | kView,
                      nullptr, &raw, nullptr) != ERROR_SUCCESS)
    throw platform::SetupError(L"The journal cannot be written");
  platform::UniqueHkey key(raw);
  std::wstring data;
  for (const std::wstring& line : Lines()) data += line + L'\0';
  data += L'\0';
  // Flushed: it must outlast the process, whenever that ends.
  if (RegSetValueExW(key.get(), kJournalValue, 0, REG_MULTI_SZ,
                     reinterpret_cast<const BYTE*>(data.data()),
                     static_cast<DWORD>(data.size() * sizeof(wchar_t))) != ERROR_SUCCESS ||
      RegFlushKey(key.get()) != ERROR_SUCCESS)
    throw platform::SetupError(L"The journal cannot be written");
}

std::optional<Journal> Journal::Load() {
  platform::Registry registry;
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  if (!platform::Registry::KeyExists(HKEY_LOCAL_MACHINE, kJournalKey)) return std::nullopt;
  std::vector<std::wstring> lines;
  if (!registry.OpenKey(kJournalKey) || !registry.ReadLines(kJournalValue, lines))
    return std::nullopt;
  Journal journal;
  if (!journal.Parse(lines)) return std::nullopt;
  return journal;
}

void Journal::Erase() {
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kJournalKey, kView, 0);
  *this = Journal();
}

bool Journal::RemoveWorkFolder(const std::vector<platform::FileIdentity>& keep) {
  if (workPath_.empty()) return true;
  platform::HeldFolder work = OpenWithoutLinks(workPath_);
  // Only the very folder the run made: whatever else now has its name stays.
  if (!work || work.Identity() != work_) return true;
  return work.RemoveTree(keep);
}

// What is left of a run that cannot go now (a file still in use) is tried
// again at the next start: the journal stays with only the work folder and
// the backups.
bool Journal::RollBack(const std::vector<platform::FileIdentity>& keep, bool onlyStaged) {
  if (!Active()) return true;
  bool ok = true;
  if (!onlyStaged && (phase_ == Phase::Commit || phase_ == Phase::Committed)) {
    std::map<std::wstring, platform::HeldFolder> folders;  // each found once
    for (auto entry = commits_.rbegin(); entry != commits_.rend(); ++entry) {
      auto found = folders.find(entry->folder);
      if (found == folders.end())
        found = folders.emplace(entry->folder, OpenWithoutLinks(entry->folder)).first;
      const platform::HeldFolder& folder = found->second;
      if (!folder) continue;
      const std::wstring backup = BackupName(entry->name);
      if (folder.AttributesOf(backup) != INVALID_FILE_ATTRIBUTES) {
        ok = RemoveEntry(folder, entry->name) && folder.Rename(backup, entry->name, false) && ok;
      } else if (!entry->replaces) {
        ok = RemoveEntry(folder, entry->name) && ok;
      }
    }
  }
  // A backup that could not take its name back is never swept.
  for (const auto& [path, deep] : staging_)
    if (const platform::HeldFolder folder = OpenWithoutLinks(path))
      ok = Sweep(folder, Prefix(), deep, BackupName(L"")) && ok;
  if (onlyStaged) return ok;
  for (auto key = keys_.rbegin(); key != keys_.rend(); ++key)
    ok = Restore(key->key, key->existed, key->values) && ok;
  const bool workGone = RemoveWorkFolder(keep);
  // Those of an earlier complete run, carried over.
  const bool backupsGone = RemoveBackups();
  for (auto level = made_.rbegin(); level != made_.rend(); ++level)
    if (platform::HeldFolder folder = OpenWithoutLinks(*level)) folder.RemoveSelf();
  const std::wstring workPath = workPath_;
  const platform::FileIdentity work = work_;
  BackupRemoval::Backups backups = std::move(backups_);
  Erase();
  if (!workGone || !backupsGone) {
    id_ = RandomId();
    phase_ = Phase::Done;
    backups_ = std::move(backups);
    if (!workGone) WorkFolder(workPath, work);
    try {
      Save();
    } catch (const platform::SetupError&) {
    }
  }
  return ok && workGone;
}

void Journal::Complete() {
  if (!Active()) return;
  for (const CommitEntry& entry : commits_)
    if (entry.replaces) backups_.emplace_back(entry.folder, BackupName(entry.name));
  commits_.clear();
  staging_.clear();
  made_.clear();
  keys_.clear();
  phase_ = Phase::Done;
  // Written before any backup goes: a run ended from here on is finished by
  // the next start, never taken back half.
  try {
    Save();
  } catch (const platform::SetupError&) {
  }
  removal_.Start(backups_);
}

bool Journal::RemoveBackups() {
  removal_.Wait();
  return RemoveAll(backups_);
}

bool Journal::Finish(const std::vector<platform::FileIdentity>& keep) {
  if (!Active()) return true;
  // Either left is tried again at the next start.
  const bool backupsGone = RemoveBackups();
  const bool workGone = RemoveWorkFolder(keep);
  if (!backupsGone || !workGone) return false;
  Erase();
  return true;
}

void RecoverUnfinishedRun(const std::vector<platform::FileIdentity>& keep) {
  std::optional<Journal> journal = Journal::Load();
  if (!journal) {
    // A journal that cannot be read names nothing to act on.
    Journal().Erase();
    return;
  }
  if (journal->CurrentPhase() == Journal::Phase::Done)
    journal->Finish(keep);
  else
    journal->RollBack(keep);
}

}  // namespace install
