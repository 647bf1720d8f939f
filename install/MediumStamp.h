// The medium's stamp: the length of the Vaninst.pak that the program was laid
// out with and the SHA-256 of each of its chunks, kept in the program's
// resources. tools/make-medium writes it into the medium's copy of the
// program, before the program is signed; the unpacking then checks every
// chunk it reads against it.
#pragma once

// Resource id of the stamp (RCDATA): the marker below, then the length
// (8 bytes), the chunk size and the number of chunks (4 bytes each, all
// little-endian), then room for 1024 chunk digests of 32 bytes; all zero in
// a program that was never stamped.
#define IDR_ARCHIVE_DIGEST 302
#define ARCHIVE_DIGEST_MARKER "SetupVantor:Vaninst.pak:SHA-256:"
// The stamp's zero words after the marker: 16 + 1024 * 32 bytes.
#define ARCHIVE_STAMP_W8 0, 0, 0, 0, 0, 0, 0, 0
#define ARCHIVE_STAMP_W64                                                                   \
  ARCHIVE_STAMP_W8, ARCHIVE_STAMP_W8, ARCHIVE_STAMP_W8, ARCHIVE_STAMP_W8, ARCHIVE_STAMP_W8, \
      ARCHIVE_STAMP_W8, ARCHIVE_STAMP_W8, ARCHIVE_STAMP_W8
#define ARCHIVE_STAMP_W512                                                                       \
  ARCHIVE_STAMP_W64, ARCHIVE_STAMP_W64, ARCHIVE_STAMP_W64, ARCHIVE_STAMP_W64, ARCHIVE_STAMP_W64, \
      ARCHIVE_STAMP_W64, ARCHIVE_STAMP_W64, ARCHIVE_STAMP_W64
#define ARCHIVE_STAMP_W4096                                                       \
  ARCHIVE_STAMP_W512, ARCHIVE_STAMP_W512, ARCHIVE_STAMP_W512, ARCHIVE_STAMP_W512, \
      ARCHIVE_STAMP_W512, ARCHIVE_STAMP_W512, ARCHIVE_STAMP_W512, ARCHIVE_STAMP_W512
#define ARCHIVE_STAMP_BLANK                                                           \
  ARCHIVE_STAMP_W4096, ARCHIVE_STAMP_W4096, ARCHIVE_STAMP_W4096, ARCHIVE_STAMP_W4096, \
      ARCHIVE_STAMP_W8

#ifndef RC_INVOKED
#include <optional>

#include "fileops/ArchiveDigest.h"

namespace install {

// The chunk digests this program was stamped with; none in a developer's
// build, which accepts any archive.
std::optional<fileops::ChunkDigests> StampedArchiveDigests();

}  // namespace install
#endif
