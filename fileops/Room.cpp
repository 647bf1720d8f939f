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
  // The largest file a copy replaces: while its new copy is written under a
  // name of its own, the old one is still there.
  zip_uint64_t largestReplaced = 0;
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
  struct Place {
    Volume& volume;
    bool folderExists;  // only then can a file there be replaced
  };
  // Where a file at path lands. A volume whose root cannot be learnt (a
  // drive that is not there) counts as roomy: the writing then tells.
  Place At(const std::wstring& path) {
    const std::wstring folder = FolderOf(path);
    const std::wstring& existing = Nearest(folder);
    auto root = rootOf_.find(existing);
    if (root == rootOf_.end()) root = rootOf_.emplace(existing, RootOf(existing)).first;
    auto volume = volumes_.find(root->second);
    if (volume == volumes_.end())
      volume = volumes_.emplace(root->second, Learn(root->second)).first;
    return {volume->second, existing == folder};
  }
  bool AllFit() const {
    return std::all_of(volumes_.begin(), volumes_.end(), [](const auto& v) {
      return AddCapped(v.second.needed, v.second.largestReplaced) <= v.second.free;
    });
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

// What the file now at path takes on its volume, when it is a file that a
// copy to path replaces: not a folder, and not a link, which is never
// written through.
zip_uint64_t Replaced(const std::wstring& path, zip_uint64_t cluster) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
    return 0;
  return RoundUp(zip_uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow, cluster);
}

}  // namespace

bool FitsOnItsVolumes(const ArchivePlan& plan, const UnzipNeeds& needs) {
  const std::wstring root = plan.target.back() == L'\\' ? plan.target : plan.target + L'\\';
  // Every file the run writes, by its path in one letter case: the largest
  // that lands there counts, once. The unpacking keeps the files of a run
  // before until all of its own are complete, so only a copy's target can
  // count what it replaces.
  struct Written {
    std::wstring path;
    zip_uint64_t size;
    bool copy;
  };
  std::map<std::wstring, Written> files;
  // A drive root keeps its backslash: no second one after it.
  auto below = [](const std::wstring& folder, const std::wstring& rest) {
    return folder.ends_with(L'\\') ? folder + rest : folder + L'\\' + rest;
  };
  auto add = [&files](const std::wstring& path, zip_uint64_t size, bool copy = true) {
    auto [at, added] = files.try_emplace(FoldCase(path), Written{path, size, copy});
    if (!added) at->second.size = std::max(at->second.size, size);
  };
  for (const PlannedEntry& entry : plan.entries) {
    if (entry.folder) continue;
    add(entry.target, entry.stat.size, false);
    const std::wstring relative = entry.target.substr(root.size());
    const size_t cut = relative.find(L'\\');
    if (cut == std::wstring::npos) {
      if (!needs.rootFilesTo.empty()) add(below(needs.rootFilesTo, relative), entry.stat.size);
      continue;
    }
    const std::wstring top = FoldCase(relative.substr(0, cut));
    for (const auto& [folder, to] : needs.foldersTo)
      if (FoldCase(folder) == top) add(below(to, relative.substr(cut + 1)), entry.stat.size);
  }
  Volumes volumes;
  size_t asked = 0;
  for (const auto& [key, file] : files) {
    const Volumes::Place place = volumes.At(file.path);
    const zip_uint64_t takes = RoundUp(file.size, place.volume.cluster);
    const zip_uint64_t frees =
        file.copy && place.folderExists ? Replaced(file.path, place.volume.cluster) : 0;
    if (takes > frees) place.volume.needed = AddCapped(place.volume.needed, takes - frees);
    place.volume.largestReplaced = std::max(place.volume.largestReplaced, frees);
    // A second run asks after every file: the window goes on answering.
    if (++asked % 256 == 0) UnzipKeepAlive();
  }
  return volumes.AllFit();
}

}  // namespace fileops
