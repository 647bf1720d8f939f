#include <algorithm>

#include "fileops/FileOps.h"
#include "platform/Platform.h"

namespace fileops {

namespace {

// The same spelling for a folder and the entries below it ("R:\\\\x" is
// "R:\\x"), so that they can be compared.
std::wstring FullPath(const std::wstring& path) {
  if (path.empty()) return path;
  wchar_t full[MAX_PATH * 2] = {};
  const DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
  if (n == 0 || n >= MAX_PATH * 2) return path;
  std::wstring result(full, n);
  if (path.back() == L'\\' && result.back() != L'\\') result += L'\\';
  return result;
}

bool AtOrBelow(const std::wstring& path, const std::wstring& folder) {
  if (folder.empty()) return false;
  const std::wstring p = platform::AsciiUpper(path) + L"\\";
  std::wstring f = platform::AsciiUpper(folder);
  if (f.back() != L'\\') f += L'\\';
  return p.compare(0, f.size(), f) == 0;
}

// True when a folder between Folder and the entry (the entry itself for a
// folder) is a link: removing it would reach what the link leads to.
bool ThroughLink(const std::wstring& folder, const std::wstring& entry) {
  std::wstring path = entry;
  if (path.back() == L'\\') path.pop_back();
  for (;;) {
    std::wstring parent = platform::ExtractFilePath(path);
    if (!parent.empty() && parent.back() == L'\\') parent.pop_back();
    if (parent.size() <= folder.size()) return false;
    if (platform::IsLinkAt(parent)) return true;
    path = std::move(parent);
  }
}

}  // namespace

bool RemoveUnpacked(const std::wstring& given, const std::vector<std::wstring>& entries,
                    const std::wstring& givenKeep) {
  const std::wstring folder = FullPath(given);
  const std::wstring keep = FullPath(givenKeep);
  if (platform::IsLinkAt(folder)) return true;
  bool allGone = true;
  std::vector<std::wstring> folders;
  for (const std::wstring& spelt : entries) {
    const std::wstring entry = FullPath(spelt);
    if (entry.empty() || !AtOrBelow(entry, folder) || AtOrBelow(entry, keep)) continue;
    if (ThroughLink(folder, entry)) continue;
    std::wstring path = entry;
    if (path.back() == L'\\') {
      path.pop_back();
    } else if (!platform::DeleteFileAt(path) &&  // a link in its place goes as itself
               platform::GetAttributes(path) != INVALID_FILE_ATTRIBUTES) {
      allGone = false;
    }
    // The entry's folders too: an archive need not list them.
    for (std::wstring inner = entry.back() == L'\\' ? path : platform::ExtractFilePath(path);;) {
      if (!inner.empty() && inner.back() == L'\\') inner.pop_back();
      if (inner.size() <= folder.size() || AtOrBelow(keep, inner)) break;
      folders.push_back(inner);
      inner = platform::ExtractFilePath(inner);
    }
  }
  // Deepest first, so a folder is empty by the time its turn comes; a folder
  // holding anything else stays.
  std::sort(folders.begin(), folders.end(), [](const std::wstring& a, const std::wstring& b) {
    return a.size() != b.size() ? a.size() > b.size() : a < b;
  });
  folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
  for (const std::wstring& path : folders)
    if (!platform::IsLinkAt(path)) platform::RemoveFolder(path);
  // Holding the medium, it is not empty.
  if (!AtOrBelow(folder, keep)) platform::RemoveFolder(folder);
  return allGone;
}

}  // namespace fileops
