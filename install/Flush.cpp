#include "install/Flush.h"

namespace install {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool FlushFile(const platform::HeldFolder& folder, const std::wstring& name) {
  const platform::UniqueFile file = folder.OpenFile(name, GENERIC_WRITE, kShareAll, FILE_OPEN);
  return file && FlushFileBuffers(file.get());
}

bool FlushTree(const platform::HeldFolder& folder) {
  bool listed = false;
  bool ok = true;
  for (const platform::DirEntry& entry : folder.List(&listed)) {
    if (entry.IsLink()) continue;  // nothing of ours is reached through one
    if (entry.IsFolder()) {
      const platform::HeldFolder inner = folder.Child(entry.name);
      ok = inner && FlushTree(inner) && ok;
    } else {
      ok = FlushFile(folder, entry.name) && ok;
    }
  }
  return listed && ok && FlushFolder(folder);
}

}  // namespace

bool FlushFolder(const platform::HeldFolder& folder) {
  if (!folder) return false;
  // Reopened through the held handle, never by a path, with write access:
  // what a folder's flush needs.
  const platform::UniqueFile writable(
      ReOpenFile(folder.Handle(), GENERIC_WRITE, kShareAll, FILE_FLAG_BACKUP_SEMANTICS));
  if (!writable) return false;
  if (FlushFileBuffers(writable.get())) return true;
  const DWORD error = GetLastError();
  return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED;
}

bool FlushEntry(const platform::HeldFolder& folder, const std::wstring& name, bool isFolder) {
  if (!isFolder) return FlushFile(folder, name);
  const platform::HeldFolder inner = folder.Child(name);
  return inner && FlushTree(inner);
}

}  // namespace install
