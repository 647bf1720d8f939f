#include "install/Engine.h"

#include "fileops/FileOps.h"
#include "platform/Crc32.h"
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

bool StartEngineSetup(const platform::HeldFolder& folder, const fileops::EntryFacts& facts,
                      const std::wstring& title, platform::UniqueHandle& process) {
  if (!folder) return false;
  // Held without write or delete sharing until the start has returned: what
  // was checked is what runs.
  platform::UniqueFile held =
      folder.OpenFile(L"Setup.exe", GENERIC_READ, FILE_SHARE_READ, FILE_OPEN);
  if (!held || !platform::HoldsContent(held.get(), facts.size, facts.crc)) return false;
  const std::wstring at = folder.ConfirmedPath();
  if (at.empty()) return false;
  const std::wstring program = at + L"\\Setup.exe";
  std::wstring windowTitle = title;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.lpTitle = windowTitle.data();
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.wShowWindow = SW_MINIMIZE;
  // Quoted: the unpack folder may hold spaces. It starts where it lies, in
  // the held folder, not on the medium the wizard started from.
  return platform::StartProcess(L"\"" + program + L"\"", startup, &process, held.get(), at);
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
