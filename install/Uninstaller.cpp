#include "install/Uninstaller.h"

#include "platform/Crc32.h"
#include "platform/Platform.h"

namespace install {

RecordedFile WriteUninstaller(const platform::HeldFolder& appFolder) {
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_UNINSTALLER), RT_RCDATA);
  HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  const DWORD size = found ? SizeofResource(nullptr, found) : 0;
  if (!bytes || size == 0) throw platform::SetupError(L"The uninstaller is missing");
  const std::wstring path = appFolder.Path() + L"\\" + kUninstallerName;
  // Written under a name of its own, which goes when closed unless the file
  // took its real name complete.
  platform::UniqueFile file = appFolder.OpenFile(std::wstring(L"~sv-") + kUninstallerName + L".tmp",
                                                 GENERIC_WRITE | DELETE, 0, FILE_OVERWRITE_IF);
  DWORD written = 0;
  const bool ok = file && WriteFile(file.get(), bytes, size, &written, nullptr) &&
                  written == size && appFolder.MoveHere(file.get(), kUninstallerName, true);
  if (!ok) {
    if (file) platform::DeleteWhenClosed(file.get());
    throw platform::SetupError(L"Cannot write " + path);
  }
  return {path, size, platform::Crc32(bytes, size)};
}

}  // namespace install
