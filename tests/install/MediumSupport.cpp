#include "tests/install/MediumSupport.h"

#include <sddl.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <cstring>

#include "platform/Handles.h"
#include "platform/Platform.h"
#include "tests/fileops/FileOpsTestSupport.h"
#include "tests/support/TestUtil.h"

namespace installtest {

namespace {

constexpr REGSAM k32 = KEY_WOW64_32KEY;

// Wine's mount manager, as its configuration tool drives it.
struct UnixDriveRequest {
  ULONG size;
  ULONG type;
  ULONG fsType;
  DWORD serial;
  ULONGLONG unixDev;
  WCHAR letter;
  USHORT mountPointOffset;
  USHORT deviceOffset;
  USHORT labelOffset;
};
constexpr DWORD kDefineUnixDrive =
    CTL_CODE(0x6d, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

bool DefineUnixDrive(wchar_t letter, const std::string& unixPath) {
  HANDLE manager =
      CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (manager == INVALID_HANDLE_VALUE) return false;
  std::vector<char> buffer(sizeof(UnixDriveRequest) + unixPath.size() + 1, '\0');
  auto* request = reinterpret_cast<UnixDriveRequest*>(buffer.data());
  request->size = static_cast<ULONG>(buffer.size());
  request->letter = static_cast<WCHAR>(towlower(letter));
  if (!unixPath.empty()) {
    request->type = DRIVE_FIXED;
    request->mountPointOffset = sizeof(UnixDriveRequest);
    std::memcpy(buffer.data() + sizeof(UnixDriveRequest), unixPath.c_str(), unixPath.size());
  }
  DWORD returned = 0;
  const BOOL ok =
      DeviceIoControl(manager, kDefineUnixDrive, buffer.data(), static_cast<DWORD>(buffer.size()),
                      nullptr, 0, &returned, nullptr);
  CloseHandle(manager);
  return ok != FALSE;
}

}  // namespace

std::wstring RealEngineSetup() {
  return testutil::FromBuild(SV_BDE_SETUP);
}

std::wstring EngineStub() {
  return testutil::FromBuild(SV_ENGINE_STUB);
}

std::wstring DemoProgram() {
  return testutil::FromBuild(SV_DEMO_PROGRAM);
}

// ------------------------------------------------------------------ medium

int Payload::Counted() const {
  int n = 0;
  for (const auto& [name, content] : files)
    if (!name.starts_with("Utility/") && !name.starts_with("Navod/")) ++n;
  return n;
}

Payload MakePayload(const MediumSpec& layout) {
  Payload p;
  p.files = {
      {"VantorPro.exe", "the program"},
      {"VantorPro.hlp", "the help file"},
      {"Ctimne.txt", "read me"},
      {"Vzory/Faktura.vzr", "invoice"},
      {"Vzory/Dopisy/Dopis.vzr", "letter"},
      {"Priklady/Priklad1.vpr", "example"},
      {"Data/Kurzy.dat", "rates"},
      {"Navod/Navod.txt", "manual"},
      {"Utility/Bde/Bde.cab", "engine files"},
  };
  for (int i = 0; i < layout.extraTopLevel; ++i)
    p.files.push_back({"Extra" + std::to_string(i) + ".dat", std::string(2000, 'x')});
  for (int i = 0; i < layout.extraTemplates; ++i)
    p.files.push_back({"Vzory/Hromadne/Vzor" + std::to_string(i) + ".vzr", std::string(3000, 'v')});
  for (int i = 0; i < layout.megabyteTemplates; ++i)
    p.files.push_back({"Vzory/Mega" + std::to_string(i) + ".vzr", std::string(1 << 20, 'm')});
  if (layout.largeTemplateMb)
    p.files.push_back({"Vzory/Velky.vzr", std::string(size_t(layout.largeTemplateMb) << 20, 'L')});
  for (auto& [name, content] : p.files) content += layout.revision;
  if (!layout.program.empty()) p.files[0].second = testutil::ReadFile(layout.program);
  if (!layout.setupProgram.empty())
    p.files.push_back({"Utility/Bde/Setup.exe", testutil::ReadFile(layout.setupProgram)});
  return p;
}

void WriteArchive(const std::wstring& path, const Payload& payload) {
  std::vector<fileopstest::ZipItem> items;
  for (const auto& [name, content] : payload.files) items.push_back({name, content});
  fileopstest::MakeZip(path, items);
}

// ------------------------------------------------------------ MappedDrive

wchar_t FreeDriveLetter() {
  // One for the whole program, claimed: no other test program maps it.
  static platform::UniqueHandle claim;
  static const wchar_t letter = testutil::ClaimDriveLetter(claim);
  return letter;
}

MappedDrive::MappedDrive(const std::wstring& folder) {
  using UnixName = char*(CDECL*)(LPCWSTR);
  // Through void*, as GetProcAddress results are passed on.
  auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  const wchar_t letter = testutil::ClaimDriveLetter(claim_);
  if (!unixName || !letter) return;
  char* path = unixName(folder.c_str());
  if (!path) return;
  const bool ok = DefineUnixDrive(letter, path);
  HeapFree(GetProcessHeap(), 0, path);
  if (ok) letter_ = letter;
}

MappedDrive::~MappedDrive() {
  if (letter_) DefineUnixDrive(letter_, {});
}

// -------------------------------------------------------------- LockedKey

LockedKey::LockedKey(HKEY root, std::wstring key, REGSAM view, const wchar_t* sddl)
    : root_(root), key_(std::move(key)), view_(view) {
  HKEY k = nullptr;
  if (RegOpenKeyExW(root_, key_.c_str(), 0, READ_CONTROL | WRITE_DAC | view_, &k) != ERROR_SUCCESS)
    return;
  DWORD size = 0;
  RegGetKeySecurity(k, DACL_SECURITY_INFORMATION, nullptr, &size);
  saved_.resize(size);
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (RegGetKeySecurity(k, DACL_SECURITY_INFORMATION, saved_.data(), &size) == ERROR_SUCCESS &&
      ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr)) {
    locked_ = RegSetKeySecurity(k, DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
    LocalFree(sd);
  }
  RegCloseKey(k);
}

LockedKey::~LockedKey() {
  if (!locked_) return;
  HKEY k = nullptr;
  if (RegOpenKeyExW(root_, key_.c_str(), 0, WRITE_DAC | view_, &k) != ERROR_SUCCESS) return;
  RegSetKeySecurity(k, DACL_SECURITY_INFORMATION, saved_.data());
  RegCloseKey(k);
}

// --------------------------------------------------------------- registry

std::optional<std::wstring> ReadMachineString(const std::wstring& key, const std::wstring& name,
                                              DWORD* bytes) {
  HKEY k = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | k32, &k) != ERROR_SUCCESS)
    return std::nullopt;
  DWORD type = 0, size = 0;
  std::optional<std::wstring> value;
  if (RegQueryValueExW(k, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      type == REG_SZ) {
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    RegQueryValueExW(k, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    value = std::wstring(data.data());
    if (bytes) *bytes = size;
  }
  RegCloseKey(k);
  return value;
}

void WriteMachineString(const std::wstring& key, const std::wstring& name,
                        const std::wstring& value) {
  platform::UniqueHkey k;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | k32,
                            nullptr, k.put(), nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(
      RegSetValueExW(k.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
      ERROR_SUCCESS);
}

void WriteFlag() {
  WriteMachineString(kQuorKey, kFlag, L"1");
}

bool FlagExists() {
  HKEY k = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kQuorKey, 0, KEY_READ | k32, &k) != ERROR_SUCCESS)
    return false;
  const bool exists =
      RegQueryValueExW(k, kFlag, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(k);
  return exists;
}

void CleanInstallationKeys() {
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"Software\\SetupVantor", k32, 0);  // a run's journal
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kVantorKey, k32, 0);
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, k32, 0);
  HKEY k = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kQuorKey, 0, KEY_ALL_ACCESS | k32, &k) != ERROR_SUCCESS)
    return;
  RegDeleteValueW(k, kFlag);
  DWORD subKeys = 0, values = 0;
  RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                   nullptr, nullptr, nullptr);
  RegCloseKey(k);
  if (subKeys == 0 && values == 0) RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kQuorKey, k32, 0);
}

SmallDrive::SmallDrive(const wchar_t* name) : folder_(std::wstring(L"C:\\svdrives\\") + name) {
  if (!platform::FileExists(folder_ + L"\\drive")) return;
  Empty();
  drive_ = std::make_unique<MappedDrive>(folder_);
}

SmallDrive::~SmallDrive() {
  if (drive_) Empty();
}

void SmallDrive::Empty() const {
  platform::FolderListing listing(folder_);
  platform::DirEntry entry;
  while (listing.Next(entry))
    if (entry.name != L"." && entry.name != L".." && entry.name != L"drive")
      testutil::RemoveTree(folder_ + L"\\" + entry.name);
}

}  // namespace installtest
