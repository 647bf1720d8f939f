// The messages that end an installation run, each with its last line
// "Instalace bude ukončena!".
#pragma once

#include <string>

#include "fileops/UnZip32.h"

namespace install {

std::wstring CannotUnpack(const std::wstring& appFolder);  // A
std::wstring CannotRead(const std::wstring& sourceDir);    // B
std::wstring CannotCreate(const std::wstring& folder);     // C
std::wstring RegistryFailed();                             // E
std::wstring EngineFailed();                               // F
// The uninstaller could not be written into the application folder.
std::wstring CannotWriteUninstaller(const std::wstring& appFolder);
// A work folder in place that the installer did not make: what to do.
std::wstring ForeignWorkFolder(const std::wstring& appFolder);
// An archive other than the one this program was laid out with.
std::wstring NotTheMediumsArchive(const std::wstring& mediumDir);
// Vaninst.pak could not be read on from the medium: a question with Retry
// and Cancel, without the ending line.
std::wstring MediumUnreadable(const std::wstring& mediumDir);
// The volume short of room, with what is needed and what is free.
std::wstring NoRoom(const fileops::RoomShortfall& shortfall);

}  // namespace install
