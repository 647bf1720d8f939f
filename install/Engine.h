// The hand-off to the database engine's own setup program. Its only channel
// back is the completion flag, a registry value whose presence alone counts.
#pragma once

#include <string>

namespace install {

// Deletes a completion flag left from an earlier run, so that only a new
// report ends the wait.
void ClearCompletionFlag();

// Starts unpackFolder\Utility\Bde\Setup.exe minimised with the window title
// given; nobody waits on it. False when it could not be started.
bool StartEngineSetup(const std::wstring& unpackFolder, const std::wstring& title);

// One look of the completion poll: when the engine's setup has reported,
// the flag is deleted and the answer is true. A key that cannot be opened
// reads as no report.
bool TakeCompletionFlag();

}  // namespace install
