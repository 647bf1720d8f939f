#include "install/Engine.h"

#include <zip.h>

#include "fileops/FileOps.h"
#include "platform/Platform.h"

namespace install {

namespace {

const wchar_t kQuor[] = L"Software\\Quor";
const wchar_t kCompletionFlag[] = L"Vantor_BDE_Inst_OK";

// Looked for through a key opened for reading only: the key a flag cannot be
// deleted from is often one we may not write, which Registry does not open.
bool FlagPresent() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kQuor, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &key) !=
      ERROR_SUCCESS)
    return false;
  platform::UniqueHkey owned(key);
  return RegQueryValueExW(owned.get(), kCompletionFlag, nullptr, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS;
}

struct EntryFacts {
  zip_uint64_t size = 0;
  zip_uint32_t crc = 0;
};

// Size and checksum of the archive's engine setup, as its directory states them.
bool ArchiveFacts(const std::wstring& archivePath, EntryFacts& facts) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_win32w_create(archivePath.c_str(), 0, -1, &error);
  zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
  zip_error_fini(&error);
  if (!archive) {
    if (source) zip_source_free(source);
    return false;
  }
  bool found = false;
  for (const char* name : {"Utility/Bde/Setup.exe", "Utility\\Bde\\Setup.exe"}) {
    const zip_int64_t index = zip_name_locate(archive, name, ZIP_FL_NOCASE);
    zip_stat_t st;
    if (index < 0 || zip_stat_index(archive, static_cast<zip_uint64_t>(index), 0, &st) != 0 ||
        !(st.valid & ZIP_STAT_SIZE) || !(st.valid & ZIP_STAT_CRC))
      continue;
    facts.size = st.size;
    facts.crc = st.crc;
    found = true;
    break;
  }
  zip_discard(archive);
  return found;
}

}  // namespace

bool ClearCompletionFlag() {
  {
    platform::Registry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    registry.OpenKey(kQuor);
    if (registry.ValueExists(kCompletionFlag)) registry.DeleteValue(kCompletionFlag);
  }
  // A flag that stays would end the wait before the engine's setup has run.
  return !FlagPresent();
}

bool StartEngineSetup(const std::wstring& unpackFolder, const std::wstring& archivePath,
                      const std::wstring& title, platform::UniqueHandle& process) {
  const std::wstring program = unpackFolder + L"\\Utility\\Bde\\Setup.exe";
  EntryFacts facts;
  if (!ArchiveFacts(archivePath, facts)) return false;
  // Held without write or delete sharing until the start has returned: what
  // was checked is what runs.
  platform::UniqueFile held(CreateFileW(program.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!held || !fileops::HoldsEntryContent(held.get(), facts.size, facts.crc)) return false;
  std::wstring windowTitle = title;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.lpTitle = windowTitle.data();
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.wShowWindow = SW_MINIMIZE;
  // Quoted: the unpack folder may hold spaces.
  return platform::StartProcess(L"\"" + program + L"\"", startup, &process);
}

bool TakeCompletionFlag() {
  platform::Registry registry;
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  registry.OpenKey(kQuor);
  if (!registry.ValueExists(kCompletionFlag)) return false;
  registry.DeleteValue(kCompletionFlag);
  return true;
}

}  // namespace install
