#include "fileops/ArchiveDigest.h"

#include <bcrypt.h>

#include <vector>

namespace fileops {

namespace {

struct Algorithm {
  BCRYPT_ALG_HANDLE handle = nullptr;
  ~Algorithm() {
    if (handle) BCryptCloseAlgorithmProvider(handle, 0);
  }
};

struct Hash {
  BCRYPT_HASH_HANDLE handle = nullptr;
  ~Hash() {
    if (handle) BCryptDestroyHash(handle);
  }
};

}  // namespace

std::optional<ArchiveDigest> DigestOf(HANDLE file) {
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return std::nullopt;
  Algorithm sha;
  Hash hash;
  if (BCryptOpenAlgorithmProvider(&sha.handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0 ||
      BCryptCreateHash(sha.handle, &hash.handle, nullptr, 0, nullptr, 0, 0) != 0)
    return std::nullopt;
  std::vector<UCHAR> buffer(256 << 10);
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
      return std::nullopt;
    if (read == 0) break;
    if (BCryptHashData(hash.handle, buffer.data(), read, 0) != 0) return std::nullopt;
  }
  ArchiveDigest digest{};
  if (BCryptFinishHash(hash.handle, digest.data(), static_cast<ULONG>(digest.size()), 0) != 0)
    return std::nullopt;
  return digest;
}

}  // namespace fileops
