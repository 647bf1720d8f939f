// The end-to-end driver: a GoogleTest program that starts the built programs
// and works them from outside. Besides the options below it takes
// GoogleTest's own.
//
//   --medium=DIR      root of an installation medium (SetupVantor.exe, Vaninst.pak)
//   --payload=DIR     the payload the medium was packed from (what must be installed)
//   --medium2=DIR --payload2=DIR   a medium of the next version and its payload
//   --vantorpro=EXE   --bde-setup=EXE   the demo programs, for their own tests
//   --demo[=MS]       install with the default folders, each page shown MS ms
//
// Folders may be given as Linux paths; they are read through Wine's Z: drive.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Platform.h"
#include "tests/e2e/Config.h"
#include "tests/e2e/Driver.h"

namespace e2e {
Config& TheConfig() {
  static Config config;
  return config;
}
int ShowBoxForTest();  // child modes used by the driver's own tests
int ShowFormForTest();
}  // namespace e2e

namespace {

bool TakeOption(const std::wstring& arg, const std::wstring& name, std::wstring& value) {
  const std::wstring prefix = L"--" + name + L"=";
  if (arg.compare(0, prefix.size(), prefix) != 0) return false;
  value = e2e::WindowsPath(arg.substr(prefix.size()));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int wargc = 0;
  LPWSTR* wargv = CommandLineToArgvW(GetCommandLineW(), &wargc);
  std::vector<std::wstring> args(wargv, wargv + wargc);
  LocalFree(wargv);
  if (args.size() > 1 && args[1] == L"--show-box") return e2e::ShowBoxForTest();
  if (args.size() > 1 && args[1] == L"--show-form") return e2e::ShowFormForTest();

  e2e::Config& config = e2e::TheConfig();
  for (size_t i = 1; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    TakeOption(arg, L"medium", config.medium) || TakeOption(arg, L"payload", config.payload) ||
        TakeOption(arg, L"medium2", config.medium2) ||
        TakeOption(arg, L"payload2", config.payload2) ||
        TakeOption(arg, L"vantorpro", config.vantorPro) ||
        TakeOption(arg, L"bde-setup", config.bdeSetup);
    if (arg == L"--demo" || arg.rfind(L"--demo=", 0) == 0) {
      config.demo = true;
      config.pauseMs = arg.size() > 7 ? std::stoul(arg.substr(7)) : 1500;
    }
  }

  platform::ComApartment com;
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  testing::InitGoogleTest(&argc, argv);
  if (config.demo) {
    GTEST_FLAG_SET(filter, "Demo.*");
    GTEST_FLAG_SET(also_run_disabled_tests, true);
  }
  return RUN_ALL_TESTS();
}
