#include "platform/Platform.h"

#include <algorithm>
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

void Registry::WriteDword(const std::wstring& name, DWORD value) {
  if (!key_ || RegSetValueExW(key_.get(), name.c_str(), 0, REG_DWORD,
                              reinterpret_cast<const BYTE*>(&value), sizeof value) != ERROR_SUCCESS)
    throw SetupError(L"Failed to set data for '" + name + L"'");
}

void Registry::WriteLines(const std::wstring& name, const std::vector<std::wstring>& lines) {
  std::wstring data;
  for (const std::wstring& line : lines) data.append(line).push_back(L'\0');
  data.push_back(L'\0');
  if (!key_ || RegSetValueExW(key_.get(), name.c_str(), 0, REG_MULTI_SZ,
                              reinterpret_cast<const BYTE*>(data.data()),
                              static_cast<DWORD>(data.size() * sizeof(wchar_t))) != ERROR_SUCCESS)
    throw SetupError(L"Failed to set data for '" + name + L"'");
}

bool Registry::ReadLines(const std::wstring& name, std::vector<std::wstring>& lines) const {
  lines.clear();
  DWORD type = 0, size = 0;
  if (!key_ ||
      RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_MULTI_SZ)
    return false;
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, L'\0');
  DWORD got = static_cast<DWORD>((buffer.size() - 2) * sizeof(wchar_t));
  if (RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type,
                       reinterpret_cast<BYTE*>(buffer.data()), &got) != ERROR_SUCCESS ||
      type != REG_MULTI_SZ)
    return false;
  // The buffer ends in two NULs whatever the value held.
  for (const wchar_t* line = buffer.data(); *line; line += wcslen(line) + 1)
    lines.emplace_back(line);
  return true;
}

bool Registry::OpenExisting(const std::wstring& subKey) {
  CloseKey();
  UniqueHkey key;
  if (RegOpenKeyExW(root_, subKey.c_str(), 0, kAccess, key.put()) == ERROR_SUCCESS)
    key_ = std::move(key);
  return HasOpenKey();
}

bool Registry::Flush() const {
  return key_ && RegFlushKey(key_.get()) == ERROR_SUCCESS;
}

bool Registry::ReadValues(std::vector<Value>& values) const {
  values.clear();
  if (!key_) return false;
  std::vector<wchar_t> name(256);
  std::vector<BYTE> data(1024);
  for (DWORD index = 0;;) {
    DWORD nameSize = static_cast<DWORD>(name.size());
    DWORD dataSize = static_cast<DWORD>(data.size());
    DWORD type = 0;
    const LSTATUS status = RegEnumValueW(key_.get(), index, name.data(), &nameSize, nullptr, &type,
                                         data.data(), &dataSize);
    if (status == ERROR_NO_MORE_ITEMS) return true;
    if (status == ERROR_MORE_DATA) {
      // The same index again with room for both: the sizes asked for are
      // not always reported back for the name.
      name.resize(std::max<size_t>(name.size() * 2, nameSize + 1));
      data.resize(std::max<size_t>(data.size() * 2, dataSize));
      if (name.size() > 65536 || data.size() > (64u << 20)) return false;
      continue;
    }
    if (status != ERROR_SUCCESS) return false;
    values.push_back({std::wstring(name.data(), nameSize), type,
                      std::vector<BYTE>(data.begin(), data.begin() + dataSize)});
    ++index;
  }
}

bool Registry::Write(const Value& value) {
  return key_ && RegSetValueExW(key_.get(), value.name.c_str(), 0, value.type, value.data.data(),
                                static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS;
}

bool Registry::KeyExists(HKEY root, const std::wstring& subKey) {
  UniqueHkey key;
  return RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, key.put()) ==
         ERROR_SUCCESS;
}

bool Registry::DeleteKeyIfEmpty(HKEY root, const std::wstring& subKey) {
  {
    UniqueHkey key;
    if (RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, key.put()) !=
        ERROR_SUCCESS)
      return true;
    DWORD keys = 0, values = 0;
    if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &keys, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
        keys || values)
      return false;
  }
  RegDeleteKeyExW(root, subKey.c_str(), KEY_WOW64_32KEY, 0);
  return !KeyExists(root, subKey);
}

bool Registry::DeleteKeyTree(HKEY root, const std::wstring& subKey) {
  {
    UniqueHkey key;
    if (RegOpenKeyExW(root, subKey.c_str(), 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, key.put()) !=
        ERROR_SUCCESS)
      return !KeyExists(root, subKey);
    RegDeleteTreeW(key.get(), nullptr);
  }
  RegDeleteKeyExW(root, subKey.c_str(), KEY_WOW64_32KEY, 0);
  return !KeyExists(root, subKey);
}

}  // namespace platform
