#include "platform/Platform.h"

#include <vector>

namespace platform {

namespace {
// The 32-bit view is the one the engine's setup program and the installed
// application use.
constexpr REGSAM kAccess = KEY_ALL_ACCESS | KEY_WOW64_32KEY;
}  // namespace

void Registry::SetRootKey(HKEY root) {
  CloseKey();
  root_ = root;
}

bool Registry::OpenKey(const std::wstring& subKey) {
  CloseKey();
  UniqueHkey key;
  if (RegCreateKeyExW(root_, subKey.c_str(), 0, nullptr, 0, kAccess, nullptr, key.put(), nullptr) ==
      ERROR_SUCCESS)
    key_ = std::move(key);
  return HasOpenKey();
}

void Registry::CloseKey() {
  key_.reset();
}

std::wstring Registry::ReadString(const std::wstring& name) const {
  if (!key_) return {};
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      size == 0)
    return {};
  if (type != REG_SZ && type != REG_EXPAND_SZ)
    throw SetupError(L"Invalid data type for '" + name + L"'");
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, L'\0');
  DWORD got = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  if (RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type,
                       reinterpret_cast<BYTE*>(buffer.data()), &got) != ERROR_SUCCESS)
    return {};
  if (type != REG_SZ && type != REG_EXPAND_SZ)
    throw SetupError(L"Invalid data type for '" + name + L"'");
  return std::wstring(buffer.data());  // up to the first NUL
}

void Registry::WriteString(const std::wstring& name, const std::wstring& value) {
  const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  if (!key_ || RegSetValueExW(key_.get(), name.c_str(), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(value.c_str()), bytes) != ERROR_SUCCESS)
    throw SetupError(L"Failed to set data for '" + name + L"'");
}

bool Registry::ValueExists(const std::wstring& name) const {
  return key_ && RegQueryValueExW(key_.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) ==
                     ERROR_SUCCESS;
}

bool Registry::DeleteValue(const std::wstring& name) {
  return key_ && RegDeleteValueW(key_.get(), name.c_str()) == ERROR_SUCCESS;
}

}  // namespace platform
