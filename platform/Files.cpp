#include "platform/Platform.h"

#include "platform/Access.h"

namespace platform {

std::wstring CurrentDir() {
  wchar_t buffer[MAX_PATH + 1] = {};
  DWORD n = GetCurrentDirectoryW(MAX_PATH, buffer);
  if (n == 0 || n > MAX_PATH) return {};
  return std::wstring(buffer, n);
}

void LoadDllsFromSystemOnly() {
  using SetDirs = BOOL(WINAPI*)(DWORD);
  const auto setDefaultDllDirectories = reinterpret_cast<SetDirs>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (!setDefaultDllDirectories || !setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32))
    SetDllDirectoryW(L"");
}

FolderListing::FolderListing(const std::wstring& folder) {
  const std::wstring pattern = folder + L"\\*.*";
  handle_.reset(FindFirstFileW(pattern.c_str(), &data_));
  if (!handle_) {
    startResult_ = GetLastError();
    if (startResult_ == 0) startResult_ = ERROR_FILE_NOT_FOUND;
  } else {
    havePending_ = true;
  }
}

bool FolderListing::Next(DirEntry& entry) {
  if (!handle_) return false;
  if (!havePending_ && !FindNextFileW(handle_.get(), &data_)) return false;
  havePending_ = false;
  entry.name = data_.cFileName;
  entry.attributes = data_.dwFileAttributes;
  entry.size = (static_cast<uint64_t>(data_.nFileSizeHigh) << 32) | data_.nFileSizeLow;
  return true;
}

bool FolderExists(const std::wstring& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(const std::wstring& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring ExtractFilePath(const std::wstring& path) {
  const auto pos = path.find_last_of(L"\\:");
  return pos == std::wstring::npos ? std::wstring() : path.substr(0, pos + 1);
}

std::wstring ExtractFileName(const std::wstring& path) {
  const auto pos = path.find_last_of(L"\\:");
  return pos == std::wstring::npos ? path : path.substr(pos + 1);
}

bool ForceDirectories(const std::wstring& input, std::vector<std::wstring>* created) {
  // Up from the path to the first level that needs nothing made; every
  // level on the way is a prefix of the input, so only lengths are kept.
  std::vector<size_t> missing;
  size_t length = input.size();
  for (;;) {
    if (length == 0) throw SetupError(L"Unable to create directory");
    if (input[length - 1] == L'\\') --length;
    const std::wstring path = input.substr(0, length);
    const std::wstring folderPart = ExtractFilePath(path);
    if (length < 3 || FolderExists(path) || folderPart == path) break;
    missing.push_back(length);
    // The folder part keeps its trailing "\", which the next round drops.
    length = folderPart.size();
  }
  for (auto level = missing.rbegin(); level != missing.rend(); ++level) {
    const std::wstring path = input.substr(0, *level);
    if (!CreateDirectoryW(path.c_str(), nullptr)) return false;
    if (created) created->push_back(path);
  }
  return true;
}

DWORD GetAttributes(const std::wstring& path) {
  return GetFileAttributesW(path.c_str());
}

bool SetAttributes(const std::wstring& path, DWORD attributes) {
  return SetFileAttributesW(path.c_str(), attributes) != 0;
}

}  // namespace platform

namespace platform {

bool IsLinkAt(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

InstallerOnlyAccess::InstallerOnlyAccess() : descriptor_(BuildFolderDescriptor(FolderUse::Work)) {
  attributes_.nLength = sizeof attributes_;
  attributes_.lpSecurityDescriptor = descriptor_.get();
  attributes_.bInheritHandle = FALSE;
}

bool IsInstallerOnly(PSECURITY_DESCRIPTOR descriptor, PSID user) {
  return JudgeFolder(descriptor, user, ChangeOf::Contents) == FolderTrust::Sound;
}

bool IsInstallerOnly(HANDLE folder) {
  return JudgeFolder(folder, ChangeOf::Contents) == FolderTrust::Sound;
}

}  // namespace platform
