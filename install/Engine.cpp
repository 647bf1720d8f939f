#include "install/Engine.h"

#include "platform/Platform.h"

namespace install {

namespace {

const wchar_t kQuor[] = L"Software\\Quor";
const wchar_t kCompletionFlag[] = L"Vantor_BDE_Inst_OK";

}  // namespace

void ClearCompletionFlag() {
  platform::Registry registry;
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  registry.OpenKey(kQuor);
  if (registry.ValueExists(kCompletionFlag)) registry.DeleteValue(kCompletionFlag);
}

bool StartEngineSetup(const std::wstring& unpackFolder, const std::wstring& title) {
  std::wstring windowTitle = title;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.lpTitle = windowTitle.data();
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.wShowWindow = SW_MINIMIZE;
  // Quoted: the unpack folder may hold spaces.
  return platform::StartProcess(L"\"" + unpackFolder + L"\\Utility\\Bde\\Setup.exe\"", startup);
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
