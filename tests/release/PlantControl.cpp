// The control of the DLL planting test: a program that imports UxTheme.dll,
// MPR.dll and OLEACC.dll the ordinary way, so Windows looks for them beside
// it first.
#include <windows.h>
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
  return 0;
}
