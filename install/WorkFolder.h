// The work folder below the application folder: made fresh by the
// installer, or recognised as its own, or refused untouched.
#pragma once

#include <vector>

#include "platform/HeldFolder.h"

namespace install {

// How the work folder's step ended.
enum class WorkGround {
  Made,      // made now, with its access list and mark
  Ours,      // the installer's own, from an earlier run
  Foreign,   // someone else's, or a link: refused, untouched
  Unusable,  // could not be made
};

// The work folder below the held application folder, made by the installer
// and changeable by nothing but it, so that no other account can plant a
// file or a link in it before the engine's start. Earlier: a stopped run's,
// still held.
WorkGround MakeWorkFolder(const platform::HeldFolder& app, platform::HeldFolder& earlier,
                          platform::HeldFolder& work);

// Whether the application folder holds a work folder that is not the
// installer's own, as MakeWorkFolder would find it; earlier as there.
// Nothing is made.
bool ForeignWorkFolderIn(const platform::HeldFolder& app, const platform::HeldFolder& earlier);

// After a failed unpacking: what the work folder's step made, innermost
// first, each only when empty.
void RemoveMade(platform::HeldFolder& work, bool workMade, platform::HeldFolder& app,
                std::vector<platform::HeldFolder>& appMade);

}  // namespace install
