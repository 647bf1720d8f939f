#include "install/MediumStamp.h"

#include <algorithm>
#include <cstring>

namespace install {

std::optional<fileops::ArchiveDigest> StampedArchiveDigest() {
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_ARCHIVE_DIGEST), RT_RCDATA);
  HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
  const auto* bytes = loaded ? static_cast<const unsigned char*>(LockResource(loaded)) : nullptr;
  const DWORD size = found ? SizeofResource(nullptr, found) : 0;
  constexpr size_t kMarker = sizeof ARCHIVE_DIGEST_MARKER - 1;
  fileops::ArchiveDigest digest{};
  if (!bytes || size != kMarker + digest.size()) return std::nullopt;
  std::memcpy(digest.data(), bytes + kMarker, digest.size());
  if (std::all_of(digest.begin(), digest.end(), [](unsigned char b) { return b == 0; }))
    return std::nullopt;
  return digest;
}

}  // namespace install
