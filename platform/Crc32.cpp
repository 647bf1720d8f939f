#include "platform/Crc32.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

namespace platform {

uint32_t Crc32(const void* bytes, size_t size, uint32_t crc) {
  uLong sum = crc;
  const auto* at = static_cast<const Bytef*>(bytes);
  // zlib counts in uInt: a larger block goes in pieces.
  while (size > 0) {
    const uInt piece = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
    sum = crc32(sum, at, piece);
    at += piece;
    size -= piece;
  }
  return static_cast<uint32_t>(sum);
}

bool ReadContentFacts(HANDLE file, uint64_t& size, uint32_t& crc, uint64_t most) {
  std::vector<unsigned char> buffer(64 << 10);
  size = 0;
  crc = 0;
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
      return false;
    if (read == 0) return true;
    crc = Crc32(buffer.data(), read, crc);
    size += read;
    if (size > most) return false;
  }
}

bool HoldsContent(HANDLE file, uint64_t size, uint32_t crc) {
  uint64_t haveSize = 0;
  uint32_t haveCrc = 0;
  return ReadContentFacts(file, haveSize, haveCrc, size) && haveSize == size && haveCrc == crc;
}

}  // namespace platform
