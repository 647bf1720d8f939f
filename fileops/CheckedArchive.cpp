#include "fileops/CheckedArchive.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

namespace fileops {

namespace {

std::atomic<uint64_t> g_bytesRead{0};

}  // namespace

uint64_t ArchiveBytesRead() {
  return g_bytesRead;
}

CheckedArchive::CheckedArchive(std::wstring path, const ChunkDigests* digests,
                               std::function<bool()> askRetry, std::function<void()> keepAlive)
    : path_(std::move(path)),
      digests_(digests),
      askRetry_(std::move(askRetry)),
      keepAlive_(std::move(keepAlive)) {
  zip_error_init(&error_);
}

platform::UniqueFile CheckedArchive::OpenFile() const {
  // No write sharing: no one changes the archive while it is read.
  return platform::UniqueFile(CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

bool CheckedArchive::Open() {
  file_ = OpenFile();
  LARGE_INTEGER size{};
  if (!file_ || !GetFileSizeEx(file_.get(), &size)) return false;
  length_ = static_cast<uint64_t>(size.QuadPart);
  if (digests_ && length_ != digests_->length) {
    trouble_ = ArchiveTrouble::NotTheArchive;
    return false;
  }
  chunkSize_ = digests_ ? digests_->chunkSize : ChunkSizeFor(length_);
  return true;
}

zip_source_t* CheckedArchive::Source(zip_error_t* error) {
  return zip_source_function_create(&CheckedArchive::Callback, this, error);
}

zip_int64_t CheckedArchive::Callback(void* self, void* data, zip_uint64_t length,
                                     zip_source_cmd_t command) {
  return static_cast<CheckedArchive*>(self)->Command(data, length, command);
}

zip_int64_t CheckedArchive::Command(void* data, zip_uint64_t length, zip_source_cmd_t command) {
  switch (command) {
    case ZIP_SOURCE_OPEN:
      position_ = 0;
      return 0;
    case ZIP_SOURCE_READ:
      return Read(static_cast<char*>(data), length);
    case ZIP_SOURCE_CLOSE:
    case ZIP_SOURCE_FREE:
      return 0;
    case ZIP_SOURCE_STAT: {
      auto* st = static_cast<zip_stat_t*>(data);
      zip_stat_init(st);
      st->size = length_;
      st->valid |= ZIP_STAT_SIZE;
      return sizeof *st;
    }
    case ZIP_SOURCE_ERROR:
      return zip_error_to_data(&error_, data, length);
    case ZIP_SOURCE_SEEK: {
      const zip_int64_t to =
          zip_source_seek_compute_offset(position_, length_, data, length, &error_);
      if (to < 0) return -1;
      position_ = static_cast<uint64_t>(to);
      return 0;
    }
    case ZIP_SOURCE_TELL:
      return static_cast<zip_int64_t>(position_);
    case ZIP_SOURCE_SUPPORTS:
      return ZIP_SOURCE_SUPPORTS_SEEKABLE;
    default:
      zip_error_set(&error_, ZIP_ER_OPNOTSUPP, 0);
      return -1;
  }
}

zip_int64_t CheckedArchive::Read(char* to, zip_uint64_t length) {
  zip_uint64_t done = 0;
  while (done < length && position_ < length_) {
    const Chunk* chunk = Load(position_ / chunkSize_);
    if (!chunk) {
      zip_error_set(&error_, ZIP_ER_READ, 0);
      return -1;
    }
    const uint64_t within = position_ % chunkSize_;
    const uint64_t n = std::min<uint64_t>(length - done, chunk->bytes.size() - within);
    std::memcpy(to + done, chunk->bytes.data() + within, static_cast<size_t>(n));
    done += n;
    position_ += n;
  }
  return static_cast<zip_int64_t>(done);
}

const CheckedArchive::Chunk* CheckedArchive::Load(uint64_t index) {
  for (size_t i = 0; i < chunks_.size(); ++i)
    if (chunks_[i].index == index) {
      older_ = 1 - i;
      return &chunks_[i];
    }
  if (trouble_ != ArchiveTrouble::None) return nullptr;
  Chunk& chunk = chunks_[older_];
  chunk.index = UINT64_MAX;
  const uint64_t at = index * chunkSize_;
  const DWORD size = static_cast<DWORD>(std::min<uint64_t>(chunkSize_, length_ - at));
  chunk.bytes.resize(size);
  while (!ReadWhole(at, chunk.bytes.data(), size)) {
    // A scratched disc or a medium taken out: the person may put it right
    // and go on from this chunk, through the archive opened again.
    if (!askRetry_ || !askRetry_()) {
      trouble_ = ArchiveTrouble::Unreadable;
      return nullptr;
    }
    file_ = OpenFile();
  }
  if (keepAlive_) keepAlive_();
  if (digests_) {
    const std::optional<ArchiveDigest> digest = sha_.Of(chunk.bytes.data(), size);
    if (!digest || *digest != digests_->chunks[index]) {
      trouble_ = ArchiveTrouble::NotTheArchive;
      return nullptr;
    }
  }
  chunk.index = index;
  older_ = 1 - older_;
  return &chunk;
}

bool CheckedArchive::ReadWhole(uint64_t at, char* to, DWORD size) {
  LARGE_INTEGER offset{};
  offset.QuadPart = static_cast<LONGLONG>(at);
  if (!file_ || !SetFilePointerEx(file_.get(), offset, nullptr, FILE_BEGIN)) return false;
  for (DWORD done = 0; done < size;) {
    DWORD read = 0;
    if (!ReadFile(file_.get(), to + done, size - done, &read, nullptr) || read == 0) return false;
    done += read;
    bytesRead_ += read;
    g_bytesRead += read;
  }
  return true;
}

}  // namespace fileops
