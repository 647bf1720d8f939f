// The medium's stamp: the SHA-256 of the Vaninst.pak that the program was
// laid out with, kept in the program's resources. tools/make-medium writes it
// into the medium's copy of the program, before the program is signed; the
// unpacking then refuses any other archive.
#pragma once

// Resource id of the stamp (RCDATA): the marker below, then the 32 bytes of
// the digest, all zero in a program that was never stamped.
#define IDR_ARCHIVE_DIGEST 302
#define ARCHIVE_DIGEST_MARKER "SetupVantor:Vaninst.pak:SHA-256:"

#ifndef RC_INVOKED
#include <optional>

#include "fileops/ArchiveDigest.h"

namespace install {

// The digest this program was stamped with; none in a developer's build,
// which accepts any archive.
std::optional<fileops::ArchiveDigest> StampedArchiveDigest();

}  // namespace install
#endif
