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

// The folder at or above path that exists; empty when none does.
std::wstring ExistingFolder(std::wstring path) {
  while (!platform::FolderExists(path)) {
    std::wstring parent = platform::ExtractFilePath(path);
    if (parent.size() > 3 && parent.back() == L'\\') parent.pop_back();
    if (parent.empty() || parent == path) return {};
    path = std::move(parent);
  }
  return path;
}

zip_uint64_t RoundUp(zip_uint64_t size, zip_uint64_t cluster) {
  const zip_uint64_t whole = size / cluster + (size % cluster ? 1 : 0);
  return whole > UINT64_MAX / cluster ? UINT64_MAX : whole * cluster;
}

class Volumes {
 public:
  // The volume a file at path lands on. One whose root cannot be learnt
  // (a drive that is not there) counts as roomy: the writing then tells.
  Volume& Of(const std::wstring& path) {
    const std::wstring folder = platform::ExtractFilePath(path);
    auto known = rootOf_.find(folder);
    if (known == rootOf_.end()) known = rootOf_.emplace(folder, RootOf(folder)).first;
    auto volume = volumes_.find(known->second);
    if (volume == volumes_.end())
      volume = volumes_.emplace(known->second, Learn(known->second)).first;
    return volume->second;
  }
  bool AllFit() const {
    return std::all_of(volumes_.begin(), volumes_.end(),
                       [](const auto& v) { return v.second.needed <= v.second.free; });
  }

 private:
  static std::wstring RootOf(const std::wstring& folder) {
    const std::wstring existing = ExistingFolder(folder);
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
  std::map<std::wstring, std::wstring> rootOf_;  // folder -> its volume's root
  std::map<std::wstring, Volume> volumes_;       // by root, in one letter case
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
  // that lands there counts, once.
  std::map<std::wstring, std::pair<std::wstring, zip_uint64_t>> files;
  auto add = [&files](const std::wstring& path, zip_uint64_t size) {
    auto [at, added] = files.try_emplace(FoldCase(path), path, size);
    if (!added) at->second.second = std::max(at->second.second, size);
  };
  for (const PlannedEntry& entry : plan.entries) {
    if (entry.folder) continue;
    add(entry.target, entry.stat.size);
    const std::wstring relative = entry.target.substr(root.size());
    const size_t cut = relative.find(L'\\');
    if (cut == std::wstring::npos) {
      if (!needs.rootFilesTo.empty()) add(needs.rootFilesTo + L'\\' + relative, entry.stat.size);
      continue;
    }
    const std::wstring top = FoldCase(relative.substr(0, cut));
    for (const auto& [folder, to] : needs.foldersTo)
      if (FoldCase(folder) == top) add(to + relative.substr(cut), entry.stat.size);
  }
  Volumes volumes;
  for (const auto& [key, file] : files) {
    Volume& volume = volumes.Of(file.first);
    const zip_uint64_t takes = RoundUp(file.second, volume.cluster);
    const zip_uint64_t frees = Replaced(file.first, volume.cluster);
    if (takes > frees) volume.needed = AddCapped(volume.needed, takes - frees);
  }
  return volumes.AllFit();
}

}  // namespace fileops
