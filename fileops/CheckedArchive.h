// The installation archive as libzip reads it: every byte comes from a chunk
// that was checked against the medium's stamp when it was read, in whatever
// order libzip asks for them, so that the bytes checked are the bytes
// unpacked and the medium is read once. A medium that fails to answer is
// asked about, and read on from there.
#pragma once

#include <windows.h>
#include <zip.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "fileops/ArchiveDigest.h"
#include "platform/Handles.h"

namespace fileops {

enum class ArchiveTrouble {
  None,
  NotTheArchive,  // a chunk or the length differs from the stamp
  Unreadable,     // a read failed or came short, and the person gave up
};

// Bytes read from installation archives by this process so far: what the
// benchmark reports where the system's own counters are not kept (Wine).
uint64_t ArchiveBytesRead();

class CheckedArchive {
 public:
  // Digests: the stamp every chunk must match; none: any archive (the
  // chunks are still read whole, once). AskRetry is asked after a read
  // error or a short read: true, the archive is opened again by its path
  // and read on from that chunk; false or none, the reading fails.
  // KeepAlive runs after each chunk read, so that the window answers.
  CheckedArchive(std::wstring path, const ChunkDigests* digests, std::function<bool()> askRetry,
                 std::function<void()> keepAlive);
  ~CheckedArchive() { zip_error_fini(&error_); }
  CheckedArchive(const CheckedArchive&) = delete;
  CheckedArchive& operator=(const CheckedArchive&) = delete;

  // Opens the archive, without write sharing: false when it cannot be
  // opened, or (Trouble() NotTheArchive) when its length is not the
  // stamp's.
  bool Open();
  // A source reading through this object, which must outlive it.
  zip_source_t* Source(zip_error_t* error);
  ArchiveTrouble Trouble() const { return trouble_; }
  // Bytes read from the archive so far.
  uint64_t BytesRead() const { return bytesRead_; }

 private:
  struct Chunk {
    uint64_t index = UINT64_MAX;
    std::vector<char> bytes;
  };
  static zip_int64_t Callback(void* self, void* data, zip_uint64_t length,
                              zip_source_cmd_t command);
  zip_int64_t Command(void* data, zip_uint64_t length, zip_source_cmd_t command);
  zip_int64_t Read(char* to, zip_uint64_t length);
  const Chunk* Load(uint64_t index);
  bool ReadWhole(uint64_t at, char* to, DWORD size);
  platform::UniqueFile OpenFile() const;

  const std::wstring path_;
  const ChunkDigests* const digests_;
  const std::function<bool()> askRetry_;
  const std::function<void()> keepAlive_;
  const Sha256 sha_;
  platform::UniqueFile file_;
  uint64_t length_ = 0;
  uint32_t chunkSize_ = kChunkSize;
  uint64_t position_ = 0;
  uint64_t bytesRead_ = 0;
  // The chunks read last: libzip reads each entry on from where the one
  // before ended, after the directory at the end.
  std::array<Chunk, 2> chunks_;
  size_t older_ = 0;
  ArchiveTrouble trouble_ = ArchiveTrouble::None;
  zip_error_t error_{};
};

}  // namespace fileops
