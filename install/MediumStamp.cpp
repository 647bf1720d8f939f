#include "install/MediumStamp.h"

#include <cstring>

namespace install {

namespace {

template <typename T>
T LittleEndian(const unsigned char* bytes) {
  T value = 0;
  for (size_t i = sizeof(T); i-- > 0;) value = static_cast<T>((value << 8) | bytes[i]);
  return value;
}

}  // namespace

std::optional<fileops::ChunkDigests> StampedArchiveDigests() {
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_ARCHIVE_DIGEST), RT_RCDATA);
  HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
  const auto* bytes = loaded ? static_cast<const unsigned char*>(LockResource(loaded)) : nullptr;
  const DWORD size = found ? SizeofResource(nullptr, found) : 0;
  constexpr size_t kMarker = sizeof ARCHIVE_DIGEST_MARKER - 1;
  constexpr size_t kHeader = 16;
  constexpr size_t kDigest = sizeof(fileops::ArchiveDigest);
  if (!bytes || size != kMarker + kHeader + fileops::kMaxChunks * kDigest) return std::nullopt;
  const unsigned char* stamp = bytes + kMarker;
  fileops::ChunkDigests digests;
  digests.length = LittleEndian<uint64_t>(stamp);
  digests.chunkSize = LittleEndian<uint32_t>(stamp + 8);
  const uint32_t count = LittleEndian<uint32_t>(stamp + 12);
  // Never stamped, or a stamp that does not describe its own length.
  if (digests.length == 0 || digests.chunkSize == 0 || count > fileops::kMaxChunks ||
      count != (digests.length + digests.chunkSize - 1) / digests.chunkSize)
    return std::nullopt;
  digests.chunks.resize(count);
  for (uint32_t i = 0; i < count; ++i)
    std::memcpy(digests.chunks[i].data(), stamp + kHeader + i * kDigest, kDigest);
  return digests;
}

}  // namespace install
