// The hand-off to the database engine's own setup program. Its only channel
// back is the completion flag, a registry value whose presence alone counts.
#pragma once

#include <string>
#include <vector>

#include "fileops/UnZip32.h"
#include "platform/Handles.h"
#include "platform/HeldFolder.h"

namespace install {

// Deletes a completion flag left from an earlier run, so that only a new
// report ends the wait. False when a flag is still there afterwards.
bool ClearCompletionFlag();

// Starts Setup.exe of the held folder (the unpacked Utility\Bde) minimised
// with the window title given, only when it is byte for byte the archive's
// entry (size and checksum as the archive's plan states them, read through
// a handle that keeps it unchanged until the start has returned) and when
// the started image is that very file (by file ID). It starts in the held
// folder, not on the medium. `process` receives the engine's process. False
// when any of it fails.
bool StartEngineSetup(const platform::HeldFolder& folder, const fileops::EntryFacts& facts,
                      const std::wstring& title, platform::UniqueHandle& process);

// One look of the completion poll: when the engine's setup has reported,
// the flag is deleted and the answer is true. A key that cannot be opened
// reads as no report.
bool TakeCompletionFlag();

}  // namespace install
