#include "install/InstallRecord.h"

#include <algorithm>
#include <cwchar>

#include "install/LineCodec.h"
#include "platform/Crc32.h"
#include "platform/Platform.h"

namespace install {

namespace {

// First line of a record; a record of another layout reads as damaged.
const wchar_t kHeader[] = L"VantorPro 1";

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return _wcsicmp(a.c_str(), b.c_str()) == 0;
}

template <typename T, typename Same>
void AddMissing(std::vector<T>& into, const std::vector<T>& from, Same same) {
  for (const T& item : from)
    if (std::none_of(into.begin(), into.end(), [&](const T& have) { return same(have, item); }))
      into.push_back(item);
}

}  // namespace

void InstallRecord::Merge(const InstallRecord& earlier) {
  AddMissing(files, earlier.files,
             [](const RecordedFile& a, const RecordedFile& b) { return SamePath(a.path, b.path); });
  AddMissing(folders, earlier.folders, SamePath);
  AddMissing(keys, earlier.keys, SamePath);
  AddMissing(values, earlier.values, [](const RegistryValue& a, const RegistryValue& b) {
    return SamePath(a.key, b.key) && _wcsicmp(a.name.c_str(), b.name.c_str()) == 0;
  });
}

uint64_t InstallRecord::TotalSize() const {
  uint64_t total = 0;
  for (const RecordedFile& file : files) total += file.size;
  return total;
}

std::vector<std::wstring> RecordLines(const InstallRecord& record) {
  std::vector<std::wstring> lines{L"U\t" + record.uninstaller};
  for (const RecordedFile& file : record.files)
    lines.push_back(L"F\t" + std::to_wstring(file.size) + L"\t" + Hex32(file.crc) + L"\t" +
                    file.path);
  for (const std::wstring& folder : record.folders) lines.push_back(L"D\t" + folder);
  for (const std::wstring& key : record.keys) lines.push_back(L"K\t" + key);
  for (const RegistryValue& value : record.values)
    lines.push_back(L"V\t" + value.key + L"\t" + value.name);
  return Sealed(kHeader, std::move(lines));
}

std::optional<InstallRecord> ParseRecord(const std::vector<std::wstring>& lines) {
  const std::optional<std::vector<std::wstring>> body = Unsealed(kHeader, lines);
  if (!body || body->empty()) return std::nullopt;
  InstallRecord record;
  for (const std::wstring& line : *body) {
    const std::wstring kind = line.substr(0, line.find(L'\t'));
    std::vector<std::wstring> parts;
    if (kind == L"F" && (parts = Split(line, 4)).size() == 4) {
      RecordedFile file{parts[3], 0, 0};
      uint64_t fileCrc = 0;
      if (!ParseNumber(parts[1], 10, file.size) || !ParseNumber(parts[2], 16, fileCrc))
        return std::nullopt;
      file.crc = static_cast<uint32_t>(fileCrc);
      record.files.push_back(std::move(file));
    } else if (kind == L"V" && (parts = Split(line, 3)).size() == 3) {
      record.values.push_back({parts[1], parts[2]});
    } else if ((parts = Split(line, 2)).size() == 2 && !parts[1].empty()) {
      if (kind == L"U")
        record.uninstaller = parts[1];
      else if (kind == L"D")
        record.folders.push_back(parts[1]);
      else if (kind == L"K")
        record.keys.push_back(parts[1]);
      else
        return std::nullopt;
    } else {
      return std::nullopt;
    }
  }
  if (record.uninstaller.empty()) return std::nullopt;
  return record;
}

void WriteRegistration(const InstallRecord& record, const std::wstring& appFolder) {
  SYSTEMTIME today{};
  GetLocalTime(&today);
  wchar_t date[16];
  swprintf(date, 16, L"%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
  platform::Registry registry;
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  registry.OpenKey(kUninstallKey);
  registry.WriteString(L"DisplayName", kProductName);
  registry.WriteString(L"DisplayVersion", L"1.3");
  registry.WriteString(L"Publisher", L"Quor");
  registry.WriteString(L"InstallLocation", appFolder);
  registry.WriteString(L"DisplayIcon", appFolder + L"\\VantorPro.exe");
  registry.WriteString(L"UninstallString", L"\"" + record.uninstaller + L"\"");
  // In kilobytes, as the list shows it.
  registry.WriteDword(L"EstimatedSize", static_cast<DWORD>((record.TotalSize() + 1023) / 1024));
  registry.WriteString(L"InstallDate", date);
  registry.WriteDword(L"NoModify", 1);
  registry.WriteDword(L"NoRepair", 1);
  registry.WriteLines(kRecordValue, RecordLines(record));
}

RecordState ReadRecord(InstallRecord& record) {
  // Looked for first: opening the key would make it.
  if (!platform::Registry::KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey))
    return RecordState::Missing;
  platform::Registry registry;
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  registry.OpenKey(kUninstallKey);
  if (!registry.ValueExists(kRecordValue)) return RecordState::Missing;
  std::vector<std::wstring> lines;
  if (!registry.ReadLines(kRecordValue, lines)) return RecordState::Damaged;
  std::optional<InstallRecord> parsed = ParseRecord(lines);
  if (!parsed) return RecordState::Damaged;
  record = std::move(*parsed);
  return RecordState::Present;
}

std::optional<RecordedFile> FileFactsAt(const std::wstring& path) {
  platform::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  RecordedFile facts{path, 0, 0};
  if (!file || !platform::ReadContentFacts(file.get(), facts.size, facts.crc)) return std::nullopt;
  return facts;
}

}  // namespace install
