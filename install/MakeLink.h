// Start-menu shortcuts.
#pragma once

#include <string>

namespace install {

// Writes the shortcut linkFile (extension ".lnk" in any case) that opens
// target with arguments, working in target's folder. Another extension shows
// a plain message and writes nothing. A missing folder of linkFile leaves no
// shortcut and says nothing; a shell link object that cannot be had raises
// platform::SetupError.
void MakeLink(const std::wstring& target, const std::wstring& arguments,
              const std::wstring& linkFile, const std::wstring& description);

}  // namespace install
