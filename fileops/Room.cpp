// The room an installation takes, counted on each volume it writes to: the
// unpacking into the work folder and the copies made of it afterwards.
#include <windows.h>

#include <algorithm>
#include <map>
#include <string>

#include "fileops/ArchivePlan.h"
#include "platform/Platform.h"

namespace fileops {

namespace {

// What one volume offers and what goes onto it.
struct Volume {
  zip_uint64_t cluster = 1;
  zip_uint64_t free = UINT64_MAX;
  zip_uint64_t needed = 0;
};

// The folder that holds path, without its trailing "\" but a root's.
std::wstring FolderOf(const std::wstring& path) {
  std::wstring folder = platform::ExtractFilePath(path);
  if (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
  return folder;
}

zip_uint64_t RoundUp(zip_uint64_t size, zip_uint64_t cluster) {
  const zip_uint64_t whole = size / cluster + (size % cluster ? 1 : 0);
  return whole > UINT64_MAX / cluster ? UINT64_MAX : whole * cluster;
}

// Every folder and volume is asked once: an archive of thousands of files in
// a few hundred folders costs a few hundred questions, not thousands.
class Volumes {
 public:
  // The volume a file at path lands on. One whose root cannot be learnt (a
  // drive that is not there) counts as roomy: the writing then tells.
  Volume& At(const std::wstring& path) {
    const std::wstring folder = FolderOf(path);
    const std::wstring& existing = Nearest(folder);
    auto root = rootOf_.find(existing);
    if (root == rootOf_.end()) root = rootOf_.emplace(existing, RootOf(existing)).first;
    auto volume = volumes_.find(root->second);
    if (volume == volumes_.end())
      volume = volumes_.emplace(root->second, Learn(root->second)).first;
    return volume->second;
  }
  bool AllFit(RoomShortfall* shortfall) const {
    for (const auto& [root, volume] : volumes_) {
      if (volume.needed <= volume.free) continue;
      if (shortfall) *shortfall = {root, volume.needed, volume.free};
      return false;
    }
    return true;
  }

 private:
  // The folder at or above folder that exists; empty when none does.
  const std::wstring& Nearest(const std::wstring& folder) {
    if (auto known = nearest_.find(folder); known != nearest_.end()) return known->second;
    std::wstring found;
    if (platform::FolderExists(folder)) {
      found = folder;
    } else {
      const std::wstring parent = FolderOf(folder);
      if (!parent.empty() && parent != folder) found = Nearest(parent);
    }
    return nearest_[folder] = std::move(found);
  }
  static std::wstring RootOf(const std::wstring& existing) {
    wchar_t root[MAX_PATH + 1] = {};
    if (existing.empty() || !GetVolumePathNameW(existing.c_str(), root, MAX_PATH + 1)) return {};
    return FoldCase(root);
  }
  static Volume Learn(const std::wstring& root) {
    Volume volume;
    if (root.empty()) return volume;
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (GetDiskFreeSpaceW(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                          &clusters) &&
        sectorsPerCluster && bytesPerSector)
      volume.cluster = zip_uint64_t(sectorsPerCluster) * bytesPerSector;
    ULARGE_INTEGER available{};
    if (GetDiskFreeSpaceExW(root.c_str(), &available, nullptr, nullptr))
      volume.free = available.QuadPart;
    return volume;
  }
  std::map<std::wstring, std::wstring> nearest_;  // folder -> nearest existing one
  std::map<std::wstring, std::wstring> rootOf_;   // existing folder -> its volume's root
  std::map<std::wstring, Volume> volumes_;        // by root, in one letter case
};

}  // namespace

bool FitsOnItsVolumes(const ArchivePlan& plan, const UnzipNeeds& needs) {
  const std::wstring root = plan.target.back() == L'\\' ? plan.target : plan.target + L'\\';
  // Every file the run writes, by its path in one letter case: the largest
  // that lands there counts, once, in full: what a copy replaces stays as
  // its backup until the run is complete, and the unpacking keeps the files
  // of a run before until all of its own are complete. An unpacked file
  // that is moved into place counts only there.
  struct Written {
    std::wstring path;
    zip_uint64_t size;
  };
  std::map<std::wstring, Written> files;
  // A drive root keeps its backslash: no second one after it.
  auto below = [](const std::wstring& folder, const std::wstring& rest) {
    return folder.ends_with(L'\\') ? folder + rest : folder + L'\\' + rest;
  };
  auto add = [&files](const std::wstring& path, zip_uint64_t size) {
    auto [at, added] = files.try_emplace(FoldCase(path), Written{path, size});
    if (!added) at->second.size = std::max(at->second.size, size);
  };
  Volumes volumes;
  size_t asked = 0;
  for (const PlannedEntry& entry : plan.entries) {
    if (entry.folder) continue;
    if (++asked % 256 == 0) UnzipKeepAlive();
    const std::wstring relative = entry.target.substr(root.size());
    const size_t cut = relative.find(L'\\');
    std::wstring to;  // where the installation puts it afterwards, if anywhere
    if (cut == std::wstring::npos) {
      if (!needs.rootFilesTo.empty()) to = below(needs.rootFilesTo, relative);
    } else {
      const std::wstring top = FoldCase(relative.substr(0, cut));
      for (const auto& [folder, into] : needs.foldersTo)
        if (FoldCase(folder) == top) to = below(into, relative.substr(cut + 1));
    }
    // A file moved into its place on the same volume takes its room once,
    // where it ends; one copied to another volume, on both.
    if (to.empty() || &volumes.At(to) != &volumes.At(entry.target))
      add(entry.target, entry.stat.size);
    if (!to.empty()) add(to, entry.stat.size);
  }
  for (const auto& [key, file] : files) {
    Volume& volume = volumes.At(file.path);
    volume.needed = AddCapped(volume.needed, RoundUp(file.size, volume.cluster));
    // A second run asks after every file: the window goes on answering.
    if (++asked % 256 == 0) UnzipKeepAlive();
  }
  return volumes.AllFit(needs.shortfall);
}

}  // namespace fileops
