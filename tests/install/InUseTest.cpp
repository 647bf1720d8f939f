// The question before the commit names the running programs that hold a
// file the commit replaces, and only those, in the singular or the plural;
// OK closes them and leaves the others running.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>

#include "install/InUse.h"
#include "platform/Handles.h"
#include "tests/install/MediumSupport.h"
#include "tests/install/Scene.h"
#include "tests/support/TestUtil.h"

namespace installtest {
namespace {

struct Running {
  platform::UniqueHandle process;
  bool Ended() const { return WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0; }
};

// The demo program under `name` in dir, started there and showing its window.
std::unique_ptr<Running> Start(const testutil::TempDir& dir, const std::wstring& name) {
  std::wstring program = dir / name;
  if (!CopyFileW(DemoProgram().c_str(), program.c_str(), FALSE)) return nullptr;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!testutil::StartProcess(nullptr, program, false, 0, dir.Path().c_str(), si, pi))
    return nullptr;
  auto running = std::make_unique<Running>();
  running->process.reset(pi.hProcess);
  CloseHandle(pi.hThread);
  WaitForInputIdle(pi.hProcess, 30000);
  return running;
}

TEST(InUse, TheQuestionNamesOnlyTheProgramsThatHoldReplacedFiles) {
  struct Row {
    std::vector<std::wstring> replaced;  // of the three running programs
    std::wstring asked;
  };
  const Row rows[] = {
      {{L"VantorPro.exe"},
       L"Program \"VantorPro.exe\" je spuštěn a používá soubory, které instalace nahrazuje!\r"
       L"Zvolte OK a instalace jej ukončí. Storno instalaci zruší."},
      {{L"VantorPro.exe", L"Prevodnik.exe"},
       L"Programy \"VantorPro.exe\" a \"Prevodnik.exe\" jsou spuštěny a používají soubory, "
       L"které instalace nahrazuje!\rZvolte OK a instalace je ukončí. Storno instalaci zruší."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.replaced.size());
    testutil::TempDir dir;
    // A third program of the same folder holds nothing the commit replaces.
    std::map<std::wstring, std::unique_ptr<Running>> running;
    for (const wchar_t* name : {L"VantorPro.exe", L"Prevodnik.exe", L"Jiny.exe"}) {
      running[name] = Start(dir, name);
      ASSERT_TRUE(running[name]) << platform::Utf8(name);
    }
    std::vector<std::wstring> paths;
    for (const std::wstring& name : row.replaced) paths.push_back(dir / name);
    const install::InstallChoices choices;
    RecordingHost host(choices);
    // Cancel first: nothing is closed; then OK.
    host.onAsk = [&](const std::wstring&) { return host.asked.size() == 1 ? IDCANCEL : IDOK; };
    EXPECT_FALSE(install::ProgramsLetGo(host, paths));
    EXPECT_TRUE(install::ProgramsLetGo(host, paths));
    ASSERT_EQ(host.asked.size(), 2u);
    EXPECT_EQ(host.asked[0], row.asked);
    EXPECT_EQ(host.asked[1], row.asked);
    for (auto& [name, program] : running) {
      const bool replaced =
          std::find(row.replaced.begin(), row.replaced.end(), name) != row.replaced.end();
      EXPECT_EQ(program->Ended(), replaced) << platform::Utf8(name);
      if (!replaced) {
        TerminateProcess(program->process.get(), 0);
        WaitForSingleObject(program->process.get(), 30000);
      }
    }
  }
}

}  // namespace
}  // namespace installtest
