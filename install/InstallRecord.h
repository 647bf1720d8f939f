// What an installation put on the PC, kept with the product's entry in
// Windows' list of installed apps so that the uninstaller removes exactly
// that. The entry lives below HKEY_LOCAL_MACHINE (32-bit view, like every
// key of ours): only administrators can change it, and the uninstaller,
// which runs elevated, acts on nothing else.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace install {

// The product's entry in the list of installed apps; the record is a value
// of it, so the entry and the record go together.
inline constexpr wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VantorPro";
inline constexpr wchar_t kRecordValue[] = L"SetupRecord";
inline constexpr wchar_t kProductName[] = L"VantorPro V1.3";
// The uninstaller's name in the application folder.
inline constexpr wchar_t kUninstallerName[] = L"Odinstalovat.exe";

struct RecordedFile {
  std::wstring path;
  uint64_t size = 0;
  uint32_t crc = 0;  // CRC-32 of the content
};

struct RegistryValue {
  std::wstring key;  // below HKEY_LOCAL_MACHINE
  std::wstring name;
};

struct InstallRecord {
  std::wstring uninstaller;           // the uninstaller's own path
  std::vector<RecordedFile> files;    // copies, shortcuts, the uninstaller
  std::vector<std::wstring> folders;  // folders made, the projects folder among them
  std::vector<std::wstring> keys;     // registry keys made, below HKEY_LOCAL_MACHINE
  std::vector<RegistryValue> values;  // registry values written

  // Adds what an earlier record names and this one does not: after a second
  // installation one record covers both.
  void Merge(const InstallRecord& earlier);
  uint64_t TotalSize() const;
};

// The record as lines of text, the last of them a checksum of the others.
std::vector<std::wstring> RecordLines(const InstallRecord& record);
// Nothing when the lines are not a whole, unchanged record.
std::optional<InstallRecord> ParseRecord(const std::vector<std::wstring>& lines);

// The product's entry in the list of installed apps, the record with it.
// Raises SetupError when a value cannot be written.
void WriteRegistration(const InstallRecord& record, const std::wstring& appFolder);

enum class RecordState { Present, Missing, Damaged };
RecordState ReadRecord(InstallRecord& record);

// Size and CRC-32 of the file at a path; nothing when it cannot be read.
std::optional<RecordedFile> FileFactsAt(const std::wstring& path);

}  // namespace install
