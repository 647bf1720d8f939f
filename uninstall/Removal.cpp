#include "uninstall/Removal.h"

#include <algorithm>

#include "platform/HeldGround.h"
#include "platform/Platform.h"

namespace uninstall {

namespace {

constexpr auto Kept = platform::HeldGround::Removal::Kept;

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return _wcsicmp(a.c_str(), b.c_str()) == 0;
}

size_t Depth(const std::wstring& path) {
  return static_cast<size_t>(std::count(path.begin(), path.end(), L'\\'));
}

// Deepest first, so that each is empty of what was ours when its turn comes.
std::vector<std::wstring> DeepestFirst(std::vector<std::wstring> paths) {
  std::stable_sort(paths.begin(), paths.end(), [](const std::wstring& a, const std::wstring& b) {
    return Depth(a) > Depth(b);
  });
  return paths;
}

}  // namespace

std::vector<std::wstring> RemoveInstallation(const install::InstallRecord& record) {
  std::vector<std::wstring> kept;
  platform::HeldGround ground(record.folders);
  const install::RecordedFile* self = nullptr;
  for (const install::RecordedFile& file : record.files) {
    if (SamePath(file.path, record.uninstaller)) {
      self = &file;
      continue;
    }
    if (ground.RemoveFile(file.path, file.size, file.crc) == Kept) kept.push_back(file.path);
  }

  for (const install::RegistryValue& value : record.values) {
    platform::UniqueHkey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, value.key.c_str(), 0, KEY_SET_VALUE | KEY_WOW64_32KEY,
                      key.put()) == ERROR_SUCCESS)
      RegDeleteValueW(key.get(), value.name.c_str());
  }
  // A key that holds what someone else put there stays: the database engine
  // shares ours.
  for (const std::wstring& key : DeepestFirst(record.keys))
    platform::Registry::DeleteKeyIfEmpty(HKEY_LOCAL_MACHINE, key);

  platform::Registry::DeleteKeyTree(HKEY_LOCAL_MACHINE, install::kUninstallKey);
  if (self && ground.RemoveFile(self->path, self->size, self->crc) == Kept)
    kept.push_back(self->path);

  for (const std::wstring& folder : DeepestFirst(record.folders))
    if (ground.RemoveFolder(folder) == Kept) kept.push_back(folder);
  return kept;
}

}  // namespace uninstall
