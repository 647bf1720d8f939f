#include "install/Journal.h"

#include <bcrypt.h>

#include <algorithm>

#include "install/LineCodec.h"

namespace install {

namespace {

// The first line of a journal: its layout and version. A journal of
// another one (an older layout, or a newer program's) is not read.
const wchar_t kHeader[] = L"SetupVantor journal 2";

std::wstring RandomId() {
  uint32_t value = 0;
  if (BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&value), sizeof value,
                      BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0)
    value = GetTickCount() ^ (GetCurrentProcessId() << 16);
  return Hex32(value);
}

std::wstring Flag(bool value) {
  return value ? L"1" : L"0";
}

bool ParseFlag(const std::wstring& text, bool& value) {
  value = text == L"1";
  return text == L"1" || text == L"0";
}

bool ParseDword(const std::wstring& text, DWORD& value) {
  uint64_t number = 0;
  if (!ParseNumber(text, 10, number) || number > MAXDWORD) return false;
  value = static_cast<DWORD>(number);
  return true;
}

}  // namespace

platform::HeldFolder OpenWithoutLinks(const std::wstring& path) {
  const std::wstring whole = platform::FullPath(path);
  const std::wstring rootPath = platform::RootOf(whole);
  if (rootPath.empty()) {
    SetLastError(ERROR_BAD_PATHNAME);
    return {};
  }
  platform::HeldFolder root = platform::HeldFolder::Open(rootPath);
  if (!root || rootPath.size() >= whole.size()) return root;
  return root.Child(whole.substr(rootPath.size()));
}

bool Absent(const std::wstring& path) {
  // Walked first, each level relative to the one above: a path past 260
  // characters is judged too.
  auto nothing = [](DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  };
  if (OpenWithoutLinks(path)) return false;
  DWORD error = GetLastError();
  if (error == ERROR_DIRECTORY) {
    // A file where a folder was looked for: the path itself (something is
    // there), or a level above it (nothing can lie below).
    const std::wstring whole = platform::FullPath(path);
    const size_t root = platform::RootOf(whole).size();
    const size_t cut = whole.find_last_of(L'\\');
    if (root && cut != std::wstring::npos && cut + 1 < whole.size()) {
      if (OpenWithoutLinks(whole.substr(0, std::max(cut, root)))) return false;
      error = GetLastError();
      if (error == ERROR_DIRECTORY) return true;
    }
  }
  if (nothing(error)) return true;
  if (error != ERROR_CANT_ACCESS_FILE) return false;
  // A link on the way is looked through by the path, as the system
  // resolves it.
  if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
  return nothing(GetLastError());
}

bool RemoveEntry(const platform::HeldFolder& folder, const std::wstring& name) {
  const DWORD attributes = folder.AttributesOf(name);
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    platform::HeldFolder inner = folder.Child(name);
    return inner && inner.RemoveTree();
  }
  return folder.Remove(name);
}

bool EngineProcess::Running() const {
  if (pid == 0) return false;
  const platform::UniqueHandle process(
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, pid));
  if (!process) return GetLastError() == ERROR_ACCESS_DENIED;  // there, not ours to ask
  FILETIME creation{}, exit{}, kernel{}, user{};
  if (!GetProcessTimes(process.get(), &creation, &exit, &kernel, &user)) return true;
  const uint64_t at =
      (static_cast<uint64_t>(creation.dwHighDateTime) << 32) | creation.dwLowDateTime;
  // Another process that took the id since is not the engine's setup.
  return at == created && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

void Journal::Begin() {
  if (Active() && phase_ != Phase::Done) return;
  std::vector<WorkFolderEntry> work = std::move(work_);
  Backups backups = std::move(backups_);
  const EngineProcess engine = engine_;
  *this = Journal();
  work_ = std::move(work);
  backups_ = std::move(backups);
  engine_ = engine;
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
  const WorkFolderEntry entry{path, identity};
  if (std::find(work_.begin(), work_.end(), entry) == work_.end()) work_.push_back(entry);
}

bool Journal::KeepsKey(const std::wstring& key) {
  for (const Snapshot& kept : keys_)
    if (kept.key == key) return true;
  Snapshot snapshot{key, false, {}};
  platform::Registry registry;
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  if (platform::Registry::KeyExists(HKEY_LOCAL_MACHINE, key)) {
    // A key that is there but cannot be read whole would have a rollback
    // delete what the snapshot missed.
    snapshot.existed = true;
    if (!registry.OpenExisting(key) || !registry.ReadValues(snapshot.values)) return false;
  }
  keys_.push_back(std::move(snapshot));
  return true;
}

void Journal::EngineStarted(HANDLE process) {
  FILETIME creation{}, exit{}, kernel{}, user{};
  engine_ = {};
  if (!process || !GetProcessTimes(process, &creation, &exit, &kernel, &user)) return;
  engine_ = {GetProcessId(process),
             (static_cast<uint64_t>(creation.dwHighDateTime) << 32) | creation.dwLowDateTime};
}

std::vector<std::wstring> Journal::Lines() const {
  std::vector<std::wstring> lines = {L"run\t" + id_,
                                     L"phase\t" + std::to_wstring(static_cast<int>(phase_))};
  for (const std::wstring& path : made_) lines.push_back(L"made\t" + path);
  for (const auto& [path, deep] : staging_) lines.push_back(L"stage\t" + Flag(deep) + L"\t" + path);
  for (const WorkFolderEntry& work : work_)
    lines.push_back(L"work\t" + std::to_wstring(work.identity.volume) + L"\t" +
                    std::to_wstring(work.identity.index) + L"\t" + work.path);
  if (engine_.pid)
    lines.push_back(L"engine\t" + std::to_wstring(engine_.pid) + L"\t" +
                    std::to_wstring(engine_.created));
  for (const Snapshot& key : keys_) {
    lines.push_back(L"key\t" + Flag(key.existed) + L"\t" + key.key);
    for (const platform::Registry::Value& value : key.values)
      lines.push_back(
          L"value\t" + HexBytes(value.name.data(), value.name.size() * sizeof(wchar_t)) + L"\t" +
          std::to_wstring(value.type) + L"\t" + HexBytes(value.data.data(), value.data.size()));
  }
  for (const auto& [folder, name] : backups_) lines.push_back(L"backup\t" + folder + L"\t" + name);
  for (const CommitEntry& entry : commits_)
    lines.push_back(L"commit\t" + Flag(entry.replaces) + L"\t" + Flag(entry.isFolder) + L"\t" +
                    entry.folder + L"\t" + entry.name);
  return Sealed(kHeader, std::move(lines));
}

std::optional<Journal> Journal::Parse(const std::vector<std::wstring>& lines) {
  const std::optional<std::vector<std::wstring>> body = Unsealed(kHeader, lines);
  Journal journal;
  if (!body || !journal.SetFrom(*body)) return std::nullopt;
  return journal;
}

// Every line must be whole and of a known kind: a journal read in part would
// undo in part.
bool Journal::SetFrom(const std::vector<std::wstring>& body) {
  for (const std::wstring& line : body) {
    const std::wstring tag = line.substr(0, line.find(L'\t'));
    std::vector<std::wstring> f;
    uint64_t a = 0, b = 0;
    bool x = false, y = false;
    if (tag == L"run" && (f = Split(line, 2)).size() == 2 && !f[1].empty() && id_.empty()) {
      id_ = f[1];
    } else if (tag == L"phase" && (f = Split(line, 2)).size() == 2 && ParseNumber(f[1], 10, a) &&
               a <= static_cast<uint64_t>(Phase::Done)) {
      phase_ = static_cast<Phase>(a);
    } else if (tag == L"made" && (f = Split(line, 2)).size() == 2 && !f[1].empty()) {
      made_.push_back(f[1]);
    } else if (tag == L"stage" && (f = Split(line, 3)).size() == 3 && ParseFlag(f[1], x)) {
      staging_.emplace_back(f[2], x);
    } else if (tag == L"work" && (f = Split(line, 4)).size() == 4 && ParseNumber(f[1], 10, a) &&
               a <= MAXDWORD && ParseNumber(f[2], 10, b) && !f[3].empty()) {
      work_.push_back({f[3], {static_cast<DWORD>(a), b}});
    } else if (tag == L"engine" && (f = Split(line, 3)).size() == 3 &&
               ParseDword(f[1], engine_.pid) && ParseNumber(f[2], 10, engine_.created)) {
    } else if (tag == L"key" && (f = Split(line, 3)).size() == 3 && ParseFlag(f[1], x)) {
      keys_.push_back({f[2], x, {}});
    } else if (tag == L"value" && (f = Split(line, 4)).size() == 4 && !keys_.empty()) {
      platform::Registry::Value value;
      std::vector<unsigned char> name;
      if (!UnhexBytes(f[1], name) || name.size() % 2 || !ParseDword(f[2], value.type) ||
          !UnhexBytes(f[3], value.data))
        return false;
      value.name.assign(reinterpret_cast<const wchar_t*>(name.data()), name.size() / 2);
      keys_.back().values.push_back(std::move(value));
    } else if (tag == L"backup" && (f = Split(line, 3)).size() == 3) {
      backups_.emplace_back(f[1], f[2]);
    } else if (tag == L"commit" && (f = Split(line, 5)).size() == 5 && ParseFlag(f[1], x) &&
               ParseFlag(f[2], y)) {
      commits_.push_back({f[3], f[4], x, y});
    } else {
      return false;
    }
  }
  return !id_.empty();
}

void Journal::Save() const {
  platform::Registry registry;
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  // Flushed: it must outlast the process, whenever that ends.
  try {
    if (!registry.OpenKey(kJournalKey))
      throw platform::SetupError(L"The journal cannot be written");
    registry.WriteLines(kJournalValue, Lines());
  } catch (const platform::SetupError&) {
    throw platform::SetupError(L"The journal cannot be written");
  }
  if (!registry.Flush()) throw platform::SetupError(L"The journal cannot be written");
}

std::optional<Journal> Journal::Load(bool* unreadable) {
  if (unreadable) *unreadable = false;
  if (!platform::Registry::KeyExists(HKEY_LOCAL_MACHINE, kJournalKey)) return std::nullopt;
  platform::Registry registry;
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  std::vector<std::wstring> lines;
  if (!registry.OpenExisting(kJournalKey)) {
    if (unreadable) *unreadable = true;
    return std::nullopt;
  }
  if (!registry.ValueExists(kJournalValue)) return std::nullopt;
  std::optional<Journal> journal;
  if (registry.ReadLines(kJournalValue, lines)) journal = Parse(lines);
  if (!journal && unreadable) *unreadable = true;
  return journal;
}

void Journal::Erase() {
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kJournalKey, KEY_WOW64_32KEY, 0);
  *this = Journal();
}

}  // namespace install
