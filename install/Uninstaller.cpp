#include "install/Uninstaller.h"

#include "platform/Crc32.h"
#include "platform/HeldFolder.h"
#include "platform/Platform.h"

namespace install {

RecordedFile WriteUninstaller(const platform::HeldFolder& appFolder, const std::wstring& prefix,
                              std::wstring& temp) {
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_UNINSTALLER), RT_RCDATA);
  HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  const DWORD size = found ? SizeofResource(nullptr, found) : 0;
  if (!bytes || size == 0) throw platform::SetupError(L"The uninstaller is missing");
  const std::wstring path = appFolder.Path() + L"\\" + kUninstallerName;
  // A name nothing had: whatever stood under another is never written
  // through. It goes when closed unless it was written complete.
  platform::UniqueFile file = appFolder.CreateFresh(prefix, kUninstallerName, L"", temp);
  if (!file) throw platform::SetupError(L"Cannot write " + path);
  platform::DiscardUnlessKept discard(file.get());
  DWORD written = 0;
  if (!WriteFile(file.get(), bytes, size, &written, nullptr) || written != size)
    throw platform::SetupError(L"Cannot write " + path);
  discard.Keep();
  return {path, size, platform::Crc32(bytes, size)};
}

}  // namespace install
