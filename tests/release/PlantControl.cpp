// The control of the DLL planting tests: a program that imports UxTheme.dll,
// MPR.dll, OLEACC.dll and bcrypt.dll the ordinary way, so Windows looks for
// them beside it first.
#include <windows.h>
#include <bcrypt.h>
#include <oleacc.h>
#include <uxtheme.h>
#include <winnetwk.h>

int main() {
  wchar_t remote[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  WNetGetConnectionW(L"Q:", remote, &size);
  SetWindowTheme(nullptr, L"", L"");
  DWORD version = 0, build = 0;
  GetOleaccVersionInfo(&version, &build);
  unsigned char random[4];
  BCryptGenRandom(nullptr, random, sizeof random, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  return 0;
}
