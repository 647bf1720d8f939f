// Start-menu shortcuts.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/HeldFolder.h"

namespace install {

// Writes the shortcut linkFile (extension ".lnk" in any case) that opens
// target with arguments, working in target's folder. Another extension shows
// a plain message and writes nothing. A missing folder of linkFile leaves no
// shortcut and says nothing; a shell link object that cannot be had raises
// platform::SetupError.
void MakeLink(const std::wstring& target, const std::wstring& arguments,
              const std::wstring& linkFile, const std::wstring& description);

// The same shortcut written into a file open for writing (a name the run
// made in a held folder): no path is looked up for it. Its size and CRC-32
// go to size and crc; false when it could not be written whole. Raises
// platform::SetupError when no shell link object can be had.
bool WriteLink(HANDLE file, const std::wstring& target, const std::wstring& arguments,
               const std::wstring& description, uint64_t& size, uint32_t& crc);

// The Start-menu group `name` (levels separated by "\") below the programs
// folder, held: each missing level made relative to the one above, its path
// added to made; a link on the way is refused, never followed. Empty when it
// cannot be held.
platform::HeldFolder OpenGroup(const std::wstring& programs, const std::wstring& name,
                               std::vector<std::wstring>& made);

}  // namespace install
