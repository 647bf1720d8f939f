#include "fileops/ArchiveDigest.h"

#include <bcrypt.h>

#include <algorithm>

#include "fileops/Sha256Ni.h"

namespace fileops {

Sha256::Sha256(bool system) : instructions_(!system && HasShaInstructions()) {
  if (instructions_) return;
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) == 0)
    algorithm_ = algorithm;
}

Sha256::~Sha256() {
  if (algorithm_) BCryptCloseAlgorithmProvider(algorithm_, 0);
}

std::optional<ArchiveDigest> Sha256::Of(const void* bytes, size_t size) const {
  if (instructions_) return Sha256Ni(bytes, size);
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!algorithm_ || BCryptCreateHash(algorithm_, &hash, nullptr, 0, nullptr, 0, 0) != 0)
    return std::nullopt;
  ArchiveDigest digest{};
  const bool done =
      BCryptHashData(hash, static_cast<PUCHAR>(const_cast<void*>(bytes)), static_cast<ULONG>(size),
                     0) == 0 &&
      BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0) == 0;
  BCryptDestroyHash(hash);
  if (!done) return std::nullopt;
  return digest;
}

uint32_t ChunkSizeFor(uint64_t length) {
  uint32_t size = kChunkSize;
  while ((length + size - 1) / size > kMaxChunks && size < (1u << 31)) size <<= 1;
  return size;
}

std::optional<ChunkDigests> ChunkDigestsOf(HANDLE file) {
  LARGE_INTEGER length{}, start{};
  if (!GetFileSizeEx(file, &length) || !SetFilePointerEx(file, start, nullptr, FILE_BEGIN))
    return std::nullopt;
  ChunkDigests digests;
  digests.length = static_cast<uint64_t>(length.QuadPart);
  digests.chunkSize = ChunkSizeFor(digests.length);
  const Sha256 sha;
  std::vector<UCHAR> chunk(digests.chunkSize);
  for (uint64_t at = 0; at < digests.length; at += digests.chunkSize) {
    const DWORD wanted =
        static_cast<DWORD>(std::min<uint64_t>(digests.chunkSize, digests.length - at));
    DWORD read = 0;
    if (!ReadFile(file, chunk.data(), wanted, &read, nullptr) || read != wanted)
      return std::nullopt;
    const std::optional<ArchiveDigest> digest = sha.Of(chunk.data(), read);
    if (!digest) return std::nullopt;
    digests.chunks.push_back(*digest);
  }
  return digests;
}

}  // namespace fileops
