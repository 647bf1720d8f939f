// The hand-off to the database engine's own setup program. Its only channel
// back is the completion flag, a registry value whose presence alone counts.
#pragma once

#include <string>

#include "platform/Handles.h"

namespace install {

// Deletes a completion flag left from an earlier run, so that only a new
// report ends the wait. False when a flag is still there afterwards.
bool ClearCompletionFlag();

// Starts unpackFolder\Utility\Bde\Setup.exe minimised with the window title
// given, only when it is byte for byte the archive's entry (size and
// checksum, read through a handle that keeps it unchanged until the start
// has returned). `process` receives the engine's process. False when it is
// not the archive's file or could not be started.
bool StartEngineSetup(const std::wstring& unpackFolder, const std::wstring& archivePath,
                      const std::wstring& title, platform::UniqueHandle& process);

// One look of the completion poll: when the engine's setup has reported,
// the flag is deleted and the answer is true. A key that cannot be opened
// reads as no report.
bool TakeCompletionFlag();

}  // namespace install
