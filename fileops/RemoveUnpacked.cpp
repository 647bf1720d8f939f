#include <algorithm>

#include "fileops/FileOps.h"
#include "platform/Platform.h"

namespace fileops {

namespace {

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

bool RemoveUnpacked(const std::wstring& folder, const std::vector<std::wstring>& entries,
                    const std::wstring& keep) {
  if (platform::IsLinkAt(folder)) return true;
  bool allGone = true;
  std::vector<std::wstring> folders;
  for (const std::wstring& entry : entries) {
    if (entry.empty() || !AtOrBelow(entry, folder) || AtOrBelow(entry, keep)) continue;
    if (ThroughLink(folder, entry)) continue;
    if (entry.back() == L'\\') {
      folders.push_back(entry.substr(0, entry.size() - 1));
    } else {
      // A link in a file's place goes as itself.
      if (!platform::DeleteFileAt(entry) &&
          platform::GetAttributes(entry) != INVALID_FILE_ATTRIBUTES)
        allGone = false;
    }
  }
  // Deepest first, so a folder is empty by the time its turn comes; a folder
  // holding anything else stays.
  std::sort(folders.begin(), folders.end(),
            [](const std::wstring& a, const std::wstring& b) { return a.size() > b.size(); });
  for (const std::wstring& path : folders)
    if (!platform::IsLinkAt(path)) platform::RemoveFolder(path);
  // Holding the medium, it is not empty.
  if (!AtOrBelow(folder, keep)) platform::RemoveFolder(folder);
  return allGone;
}

}  // namespace fileops
