#include <algorithm>
#include <map>

#include "fileops/FileOps.h"
#include "platform/HeldFolder.h"
#include "platform/Platform.h"

namespace fileops {

namespace {

// One spelling for a folder and the entries below it ("R:\\\\x" is "R:\\x"),
// so that an entry's place below the folder can be read off its path.
std::wstring FullPath(const std::wstring& path) {
  if (path.empty()) return path;
  wchar_t full[MAX_PATH * 2] = {};
  const DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
  if (n == 0 || n >= MAX_PATH * 2) return path;
  return platform::AsciiUpper(std::wstring(full, n));
}

// The folders below the held one, each opened relative to the one above it
// and held until it is removed. A link, a folder that is not there, or one
// of the medium's is never entered: it has no entry here.
class Below {
 public:
  Below(const platform::HeldFolder& root, const std::vector<platform::FileIdentity>& keep)
      : root_(root), keep_(keep) {}

  bool Kept(const platform::HeldFolder& folder) const {
    return std::find(keep_.begin(), keep_.end(), folder.Identity()) != keep_.end();
  }

  platform::HeldFolder* Get(const std::wstring& relative) {
    if (relative.empty()) return nullptr;
    if (auto it = held_.find(relative); it != held_.end())
      return it->second ? &it->second : nullptr;
    const size_t cut = relative.rfind(L'\\');
    const platform::HeldFolder* parent = &root_;
    if (cut != std::wstring::npos) parent = Get(relative.substr(0, cut));
    platform::HeldFolder folder;
    if (parent) {
      folder = parent->Child(cut == std::wstring::npos ? relative : relative.substr(cut + 1));
      if (folder && Kept(folder)) {
        folder.Release();
        keptAny_ = true;
      }
    }
    platform::HeldFolder& slot = held_[relative];
    slot = std::move(folder);
    return slot ? &slot : nullptr;
  }
  // The folder a file lies in (the held root for "").
  const platform::HeldFolder* Parent(const std::wstring& relativeFolder) {
    return relativeFolder.empty() ? &root_ : Get(relativeFolder);
  }
  void ReleaseAll() { held_.clear(); }
  // A folder of the medium was met: what holds it stays.
  bool KeptAny() const { return keptAny_; }

 private:
  const platform::HeldFolder& root_;
  const std::vector<platform::FileIdentity>& keep_;
  std::map<std::wstring, platform::HeldFolder> held_;
  bool keptAny_ = false;
};

}  // namespace

bool RemoveUnpacked(platform::HeldFolder& folder, const std::vector<std::wstring>& entries,
                    const std::vector<platform::FileIdentity>& keep,
                    const std::vector<std::wstring>& extra, bool atRestart) {
  if (!folder) return true;
  std::wstring prefix = FullPath(folder.Path());
  if (prefix.back() != L'\\') prefix += L'\\';
  Below below(folder, keep);
  bool allGone = true;
  std::vector<std::wstring> folders;
  for (const std::wstring& spelt : entries) {
    std::wstring entry = FullPath(spelt);
    if (entry.size() <= prefix.size() || entry.compare(0, prefix.size(), prefix) != 0) continue;
    std::wstring relative = entry.substr(prefix.size());
    const bool isFolder = relative.back() == L'\\';
    if (isFolder) relative.pop_back();
    const size_t cut = relative.rfind(L'\\');
    const std::wstring parent = cut == std::wstring::npos ? L"" : relative.substr(0, cut);
    if (!isFolder) {
      const std::wstring name = relative.substr(cut == std::wstring::npos ? 0 : cut + 1);
      if (const platform::HeldFolder* in = below.Parent(parent);
          in && !in->Remove(name) && in->AttributesOf(name) != INVALID_FILE_ATTRIBUTES) {
        allGone = false;
        if (atRestart) in->RemoveAtRestart(name);
      }
    }
    // The entry's folders too: an archive need not list them.
    for (std::wstring inner = isFolder ? relative : parent; !inner.empty();) {
      folders.push_back(inner);
      const size_t up = inner.rfind(L'\\');
      inner = up == std::wstring::npos ? L"" : inner.substr(0, up);
    }
  }
  // Deepest first, so a folder is empty by the time its turn comes; a folder
  // holding anything else stays.
  std::sort(folders.begin(), folders.end(), [](const std::wstring& a, const std::wstring& b) {
    const auto depth = [](const std::wstring& s) { return std::count(s.begin(), s.end(), L'\\'); };
    return depth(a) != depth(b) ? depth(a) > depth(b) : a < b;
  });
  folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
  for (const std::wstring& relative : folders) {
    platform::HeldFolder* held = below.Get(relative);
    if (!held || held->RemoveSelf()) continue;
    allGone = false;
    if (atRestart) held->RemoveAtRestart();
  }
  below.ReleaseAll();
  // The mark and such go last, and only with everything else: a folder
  // left holding an entry is still the installer's own.
  const bool medium =
      below.KeptAny() || std::find(keep.begin(), keep.end(), folder.Identity()) != keep.end();
  if (!allGone) {
    if (!atRestart) return false;
    for (const std::wstring& name : extra) folder.RemoveAtRestart(name);
    if (!medium) folder.RemoveAtRestart();
    return false;
  }
  for (const std::wstring& name : extra) folder.Remove(name);
  if (medium) return true;
  if (folder.RemoveSelf()) return true;
  if (atRestart) folder.RemoveAtRestart();
  return false;
}

}  // namespace fileops
