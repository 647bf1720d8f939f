// A DLL planted beside a program under the name of a system DLL. Loading it
// leaves "<its own path>.loaded"; its functions do nothing.
#include <windows.h>

#include <string>

#include "platform/Handles.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(self, path, MAX_PATH);
    platform::UniqueFile marker(CreateFileW((std::wstring(path) + L".loaded").c_str(),
                                            GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  }
  return TRUE;
}

// Every export of PlantedDll.def: a call fails as "not supported".
extern "C" DWORD WINAPI PlantedFunction() {
  return ERROR_NOT_SUPPORTED;
}
