#include "install/Uninstaller.h"

#include "install/InstallRecord.h"
#include "platform/Platform.h"

namespace install {

std::wstring WriteUninstaller(const std::wstring& appFolder) {
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_UNINSTALLER), RT_RCDATA);
  HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  const DWORD size = found ? SizeofResource(nullptr, found) : 0;
  if (!bytes || size == 0) throw platform::SetupError(L"The uninstaller is missing");
  const std::wstring path = appFolder + L"\\" + kUninstallerName;
  platform::UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  const bool ok = file && WriteFile(file.get(), bytes, size, &written, nullptr) && written == size;
  file.reset();
  if (!ok) {
    DeleteFileW(path.c_str());
    throw platform::SetupError(L"Cannot write " + path);
  }
  return path;
}

}  // namespace install
