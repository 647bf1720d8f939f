// The digests an installation archive is checked against as it is read:
// the SHA-256 of each chunk, and the archive's whole length.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace fileops {

using ArchiveDigest = std::array<uint8_t, 32>;

// The chunks a medium's archive is cut into: 1 MiB, doubled for an archive
// that would need more than kMaxChunks of them (the stamp has room for that
// many).
inline constexpr uint32_t kChunkSize = 1u << 20;
inline constexpr size_t kMaxChunks = 1024;

struct ChunkDigests {
  uint64_t length = 0;
  uint32_t chunkSize = kChunkSize;
  std::vector<ArchiveDigest> chunks;  // one per chunk, the last one shorter
};

// SHA-256 over one run of bytes: through the processor's SHA instructions
// where it has them, else through the system's provider (reused).
class Sha256 {
 public:
  // System: the system's provider whatever the processor has.
  explicit Sha256(bool system = false);
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  std::optional<ArchiveDigest> Of(const void* bytes, size_t size) const;

 private:
  void* algorithm_ = nullptr;  // BCRYPT_ALG_HANDLE
  bool instructions_ = false;
};

// The chunk size for an archive of `length` bytes.
uint32_t ChunkSizeFor(uint64_t length);

// The digests of everything `file` holds, read from its start; nothing when
// it cannot be read.
std::optional<ChunkDigests> ChunkDigestsOf(HANDLE file);

}  // namespace fileops
