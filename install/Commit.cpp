#include "install/Commit.h"

#include <windows.h>
// After windows.h.
#include <restartmanager.h>
#include <tlhelp32.h>

#include <algorithm>
#include <map>

#include "install/Flush.h"
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

std::wstring NameOf(const std::wstring& path) {
  const size_t cut = path.find_last_of(L"\\/");
  return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

std::vector<std::wstring> RestartManagerList(const std::vector<std::wstring>& files) {
  std::vector<std::wstring> names;
  DWORD session = 0;
  wchar_t key[CCH_RM_SESSION_KEY + 1] = {};
  if (RmStartSession(&session, 0, key) != ERROR_SUCCESS) return names;
  std::vector<LPCWSTR> paths;
  for (const std::wstring& file : files) paths.push_back(file.c_str());
  UINT needed = 0, count = 0;
  DWORD reasons = 0;
  std::vector<RM_PROCESS_INFO> infos;
  if (RmRegisterResources(session, static_cast<UINT>(paths.size()), paths.data(), 0, nullptr, 0,
                          nullptr) == ERROR_SUCCESS) {
    DWORD status = ERROR_MORE_DATA;
    while (status == ERROR_MORE_DATA) {
      infos.resize(needed + 4);
      count = static_cast<UINT>(infos.size());
      status = RmGetList(session, &needed, &count, infos.data(), &reasons);
    }
    if (status == ERROR_SUCCESS)
      for (UINT i = 0; i < count; ++i)
        if (infos[i].Process.dwProcessId != GetCurrentProcessId())
          names.push_back(infos[i].strAppName);
  }
  RmEndSession(session);
  return names;
}

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

std::vector<std::wstring> ProgramsUsing(const std::vector<std::wstring>& files,
                                        const std::wstring& appFolder) {
  std::vector<std::wstring> names = RestartManagerList(files);
  if (!names.empty()) return names;
  // Where Restart Manager knows nothing (it answers an empty list under
  // Wine): the programs started from the application folder.
  std::vector<std::wstring> wanted;
  for (const std::wstring& file : files) wanted.push_back(Full(file));
  const std::wstring folder = Full(appFolder) + L"\\";
  const platform::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) return names;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == GetCurrentProcessId()) continue;
    const platform::UniqueHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    if (!process) continue;
    wchar_t image[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    if (!QueryFullProcessImageNameW(process.get(), 0, image, &size)) continue;
    const std::wstring path = Full(std::wstring(image, size));
    const bool inFolder =
        path.starts_with(folder) && path.find(L'\\', folder.size()) == std::wstring::npos;
    // A folder replaced whole holds what it started from.
    const bool wantedOrBelow =
        std::any_of(wanted.begin(), wanted.end(), [&](const std::wstring& w) {
          return path == w || (path.starts_with(w) && path[w.size()] == L'\\');
        });
    if (inFolder || wantedOrBelow) {
      const std::wstring name = NameOf(std::wstring(image, size));
      if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
  }
  return names;
}

CommitResult CommitStaged(InstallHost& host, Journal& journal,
                          const std::vector<const platform::HeldFolder*>& roots,
                          const std::vector<fileops::Staging::Entry>& entries,
                          const std::wstring& appFolder) {
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
    const std::vector<std::wstring> programs = ProgramsUsing(replaced, appFolder);
    if (!programs.empty()) {
      std::wstring list;
      for (const std::wstring& program : programs) list += (list.empty() ? L"" : L", ") + program;
      if (host.Ask(L"Program \"" + list + L"\" je spuštěn a používá soubory, které instalace " +
                       L"nahrazuje!" + kCr + kRetryOrCancel,
                   MB_RETRYCANCEL | MB_ICONEXCLAMATION) == IDRETRY)
        continue;
      return CommitResult::Cancelled;
    }
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
    if (host.Ask(L"Soubor \"" + failed.folder + L"\\" + failed.name + L"\" nelze nahradit, " +
                     L"protože jej používá jiný program!" + kCr + kRetryOrCancel,
                 MB_RETRYCANCEL | MB_ICONEXCLAMATION) != IDRETRY)
      return CommitResult::Cancelled;
  }
}

}  // namespace install
