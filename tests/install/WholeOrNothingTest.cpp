// Whole or nothing: every route on which a run does not complete leaves the
// PC as it was before the run, file by file and key by key, and the next run
// completes; a second installation keeps the templates the person changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "install/Install.h"
#include "install/InstallRecord.h"
#include "install/Journal.h"
#include "install/Session.h"
#include "platform/Handles.h"
#include "platform/Platform.h"
#include "tests/install/MediumSupport.h"
#include "tests/install/Scene.h"
#include "tests/support/TestUtil.h"

namespace installtest {
namespace {

using install::Ending;

const wchar_t kChildReady[] = L"SvWholeOrNothingChildReady";

// What the tests compare: every file and folder below the scene's own
// folder, with content, and the installation's registry values.
struct PcState {
  std::map<std::wstring, std::string> entries;
  std::map<std::wstring, std::wstring> values;
  bool operator==(const PcState&) const = default;
};

void PrintTo(const PcState& state, std::ostream* os) {
  for (const auto& [path, content] : state.entries)
    *os << "\n  " << testing::PrintToString(path) << " " << content.size() << " bytes";
  for (const auto& [name, data] : state.values) *os << "\n  " << testing::PrintToString(name);
}

PcState StateOf(const Scene& scene) {
  PcState state;
  const std::filesystem::path root(scene.work.Path());
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    const std::wstring relative = entry.path().lexically_relative(root).wstring();
    state.entries[relative] =
        entry.is_directory() ? "<folder>" : testutil::ReadFile(entry.path().wstring());
  }
  for (const wchar_t* key : {kQuorKey, kVantorKey, kUninstallKey, install::kJournalKey}) {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | KEY_WOW64_32KEY, &raw) !=
        ERROR_SUCCESS)
      continue;
    const platform::UniqueHkey open(raw);
    state.values[key] = L"<key>";
    for (DWORD i = 0;; ++i) {
      wchar_t name[256];
      DWORD nameSize = 256, type = 0, size = 0;
      std::vector<BYTE> data(1 << 20);
      size = static_cast<DWORD>(data.size());
      if (RegEnumValueW(open.get(), i, name, &nameSize, nullptr, &type, data.data(), &size) !=
          ERROR_SUCCESS)
        break;
      state.values[std::wstring(key) + L"|" + name] =
          std::to_wstring(type) + L":" +
          std::wstring(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
    }
  }
  return state;
}

// The installation as a person completes it: the run, the engine's setup,
// the finish.
void InstallWhole(Scene& scene) {
  RecordingHost host(scene.choices);
  install::InstallResult result = install::Install(scene.choices, host);
  // What ended it otherwise: the message, the questions, the boxes shown.
  ASSERT_EQ(result.ending, Ending::Done)
      << testing::PrintToString(result.message) << testing::PrintToString(host.asked)
      << testing::PrintToString(scene.boxes.Texts());
  ASSERT_EQ(WaitForSingleObject(result.engine.get(), 30000), WAIT_OBJECT_0);
  EXPECT_TRUE(result.workFolder.RemoveTree());
  install::RecoverUnfinishedRun();  // the journal of the complete run goes
  EXPECT_FALSE(install::Journal::Load());
}

// A later version of the payload on the same medium.
void NewRevision(Scene& scene, MediumSpec layout) {
  layout.revision = " v2";
  scene.payload = MakePayload(layout);
  WriteArchive(scene.medium / L"Vaninst.pak", scene.payload);
}

// A run starts no program but the engine's setup, over an earlier
// installation too. Under Wine a shortcut saved by its path starts the
// shell's menu builder, which reads it without delete sharing: a staged
// shortcut read so while the commit renames it ends the run Cancelled.
TEST(WholeOrNothing, ARunStartsNoProgramButTheEngineSetup) {
  const platform::UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
  ASSERT_TRUE(job && AssignProcessToJobObject(job.get(), GetCurrentProcess()));
  auto started = [&] {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
    EXPECT_TRUE(QueryInformationJobObject(job.get(), JobObjectBasicAccountingInformation, &info,
                                          sizeof info, nullptr));
    return info.TotalProcesses;
  };
  Scene scene({EngineStub()});
  const DWORD before = started();
  InstallWhole(scene);
  NewRevision(scene, {EngineStub()});
  InstallWhole(scene);
  EXPECT_EQ(started() - before, 2u);
}

// Runs in a child process of the test below: the installation of that
// scene, held at the point named, until the test ends the process.
TEST(WholeOrNothing, DISABLED_RunUntilEnded) {
  wchar_t work[MAX_PATH], medium[MAX_PATH], point[32];
  if (!GetEnvironmentVariableW(L"SV_CHILD_WORK", work, MAX_PATH) ||
      !GetEnvironmentVariableW(L"SV_CHILD_MEDIUM", medium, MAX_PATH) ||
      !GetEnvironmentVariableW(L"SV_CHILD_POINT", point, 32))
    GTEST_SKIP() << "started by EndedAtOnce only";
  const install::InstallChoices choices = Scene::ChoicesIn(work, medium);
  RecordingHost host(choices);
  const std::wstring at = point;
  auto hold = [] {
    const platform::UniqueHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, kChildReady));
    SetEvent(ready.get());
    for (;;) Sleep(INFINITE);
  };
  host.onStatus = [&](const std::wstring& status) {
    if ((at == L"unpack" && status.starts_with(L"Rozbaluji soubor")) ||
        (at == L"copy" && status.starts_with(L"Kopíruji soubor")))
      hold();
  };
  platform::UniqueFile pinned;  // a backup that the removal cannot take
  host.onCommit = [&](size_t done, size_t all) {
    if ((at == L"commit" && done == all / 2 && done > 0) || (at == L"committed" && done == all))
      hold();
    if (at == L"backups" && done == all) {
      platform::FolderListing listing(choices.vzory);
      platform::DirEntry entry;
      while (!pinned && listing.Next(entry))
        if (entry.name.starts_with(L"~sv") && entry.name.find(L"-o-") != std::wstring::npos)
          pinned.reset(CreateFileW((choices.vzory + L"\\" + entry.name).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    }
  };
  const install::InstallResult result = install::Install(choices, host);
  // Complete, with a backup still there.
  if (at == L"backups" && result.ending == Ending::Done && pinned) hold();
  FAIL() << "the run passed the point " << testing::PrintToString(at);
}

TEST(WholeOrNothing, EndedAtOnceThenTheNextStart) {
  struct Row {
    const wchar_t* point;
    bool earlier;  // over an earlier installation
  };
  const Row rows[] = {{L"unpack", false}, {L"unpack", true},    {L"copy", false},  {L"copy", true},
                      {L"commit", true},  {L"committed", true}, {L"backups", true}};
  wchar_t self[MAX_PATH * 2];
  GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(row.point)) + (row.earlier ? " over" : ""));
    const MediumSpec layout{EngineStub(), 40};
    Scene scene(layout);
    if (row.earlier) {
      InstallWhole(scene);
      NewRevision(scene, layout);
    }
    const PcState before = StateOf(scene);
    const platform::UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, kChildReady));
    SetEnvironmentVariableW(L"SV_CHILD_WORK", scene.work.Path().c_str());
    SetEnvironmentVariableW(L"SV_CHILD_MEDIUM", scene.medium.Path().c_str());
    SetEnvironmentVariableW(L"SV_CHILD_POINT", row.point);
    std::wstring command = L"\"" + std::wstring(self) +
                           L"\" --gtest_also_run_disabled_tests "
                           L"--gtest_filter=WholeOrNothing.DISABLED_RunUntilEnded";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(testutil::StartProcess(nullptr, command, false, 0, nullptr, si, pi));
    const platform::UniqueHandle child(pi.hProcess), thread(pi.hThread);
    SetEnvironmentVariableW(L"SV_CHILD_POINT", nullptr);
    const HANDLE waits[] = {ready.get(), child.get()};
    ASSERT_EQ(WaitForMultipleObjects(2, waits, FALSE, 120000), WAIT_OBJECT_0)
        << "the child ended before the point";
    TerminateProcess(child.get(), 1);
    ASSERT_EQ(WaitForSingleObject(child.get(), 30000), WAIT_OBJECT_0);

    const bool complete = std::wstring(row.point) == L"backups";
    if (complete) {
      ASSERT_TRUE(scene.EngineRan());
    }
    install::RecoverUnfinishedRun();  // the next start
    // The work folder waits for the engine's setup to end: the next start
    // after it finishes.
    if (complete) {
      EXPECT_TRUE(testutil::PumpUntil(
          [] {
            return install::RecoverUnfinishedRun().state == install::Recovery::State::Clean &&
                   !install::Journal::Load();
          },
          30000));
    }
    if (complete) {
      // Finished, never taken back half: the new version, nothing of the run left.
      const PcState after = StateOf(scene);
      EXPECT_FALSE(std::any_of(after.entries.begin(), after.entries.end(), [](const auto& e) {
        return e.first.find(L"~sv") != std::wstring::npos;
      })) << testing::PrintToString(after);
      EXPECT_FALSE(install::Journal::Load());
      EXPECT_EQ(testutil::ReadFile(scene.choices.vzory + L"\\Hromadne\\Vzor0.vzr"),
                std::string(3000, 'v') + " v2");
    } else {
      EXPECT_EQ(StateOf(scene), before);
    }
    RecordingHost host(scene.choices);
    const install::InstallResult next = install::Install(scene.choices, host);
    EXPECT_EQ(next.ending, Ending::Done) << testing::PrintToString(next.message);
    EXPECT_EQ(testutil::ReadFile(scene.choices.vzory + L"\\Faktura.vzr"),
              row.earlier ? "invoice v2" : "invoice");
    WaitForSingleObject(next.engine.get(), 30000);
  }
}

// A stop that the person ends, and the fatal endings, over an earlier
// installation and on a PC without one.
TEST(WholeOrNothing, StoppedOrFatalRunsLeaveThePcAsItWas) {
  struct Row {
    const char* route;
    bool earlier;
    const wchar_t* stopAt;  // a status beginning: a stop there
    std::function<void(Scene&)> arrange;
    Ending ending;
  };
  auto none = [](Scene&) {};
  const Row rows[] = {
      {"stop while unpacking", false, L"Rozbaluji soubor", none, Ending::Stopped},
      {"stop while unpacking", true, L"Rozbaluji soubor", none, Ending::Stopped},
      {"stop while copying", false, L"Kopíruji soubor", none, Ending::Stopped},
      {"stop while copying", true, L"Kopíruji soubor", none, Ending::Stopped},
      {"C: a file where the projects folder goes", true, nullptr,
       [](Scene& s) {
         testutil::WriteFile(s.work / L"soubor.txt", "in the way");
         s.choices.projekty = s.work / L"soubor.txt\\Projekty";
       },
       Ending::Fatal},
      {"F: an engine setup that cannot start", true, nullptr,
       [](Scene& s) {
         s.payload.files.back().second = "no program, only text";
         WriteArchive(s.medium / L"Vaninst.pak", s.payload);
       },
       Ending::Fatal},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.route) + (row.earlier ? ", over an earlier one" : ""));
    const MediumSpec layout{EngineStub(), 20};
    Scene scene(layout);
    if (row.earlier) {
      InstallWhole(scene);
      NewRevision(scene, layout);
    }
    row.arrange(scene);
    const PcState before = StateOf(scene);
    RecordingHost host(scene.choices);
    host.onStatus = [&](const std::wstring& status) {
      if (row.stopAt && status.starts_with(row.stopAt)) host.abort = true;
    };
    install::Journal journal;
    install::InstallResult result = install::Install(scene.choices, host, {}, &journal);
    EXPECT_EQ(result.ending, row.ending) << testing::PrintToString(result.message);
    result.workFolder.Release();
    EXPECT_TRUE(journal.RollBack({}));
    EXPECT_EQ(StateOf(scene), before);
  }
}

// E: the key cannot be written; the rollback finds everything as it was,
// the earlier record and list entry included.
TEST(WholeOrNothing, E_OverAnEarlierInstallation) {
  Scene scene({EngineStub()});
  InstallWhole(scene);
  NewRevision(scene, {EngineStub()});
  const PcState before = StateOf(scene);
  RecordingHost host(scene.choices);
  install::InstallResult result;
  {
    const LockedKey locked(HKEY_LOCAL_MACHINE, kVantorKey, KEY_WOW64_32KEY, L"D:P(A;;KR;;;WD)");
    ASSERT_TRUE(locked.Locked());
    result = install::Install(scene.choices, host);
  }
  EXPECT_EQ(result.ending, Ending::Fatal);
  EXPECT_EQ(StateOf(scene), before);
}

// A running VantorPro holds its file. The person lets the installation
// close it, and the new version is everywhere; one that does not answer
// (its thread held still) is named again, and Cancel leaves nothing changed.
TEST(WholeOrNothing, ARunningProgramIsClosedOnThePersonsWord) {
  for (const bool answers : {true, false}) {
    SCOPED_TRACE(answers ? "closes when asked" : "does not close");
    const MediumSpec layout{EngineStub(), 0, 0, 0, 0, DemoProgram()};
    Scene scene(layout);
    InstallWhole(scene);
    NewRevision(scene, layout);
    std::wstring program = scene.choices.vantorPro + L"\\VantorPro.exe";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(testutil::StartProcess(nullptr, program, false, 0, scene.choices.vantorPro.c_str(),
                                       si, pi));
    const platform::UniqueHandle running(pi.hProcess), thread(pi.hThread);
    WaitForInputIdle(running.get(), 30000);
    if (!answers) {
      ASSERT_NE(SuspendThread(thread.get()), static_cast<DWORD>(-1));
    }
    const PcState before = StateOf(scene);
    RecordingHost host(scene.choices);
    host.onAsk = [&](const std::wstring& text) {
      return text.find(L"se nepodařilo ukončit") != std::wstring::npos ? IDCANCEL : IDOK;
    };
    const install::InstallResult result = install::Install(scene.choices, host);
    ASSERT_GE(host.asked.size(), 1u);
    EXPECT_EQ(host.asked[0],
              L"Program \"VantorPro.exe\" je spuštěn a používá soubory, které "
              L"instalace nahrazuje!\rZvolte OK a instalace jej ukončí. Storno "
              L"instalaci zruší.");
    if (answers) {
      EXPECT_EQ(host.asked.size(), 1u);
      EXPECT_EQ(WaitForSingleObject(running.get(), 0), WAIT_OBJECT_0);
      EXPECT_EQ(result.ending, Ending::Done);
      EXPECT_EQ(testutil::ReadFile(scene.choices.vantorPro + L"\\Ctimne.txt"), "read me v2");
      EXPECT_EQ(testutil::ReadFile(scene.choices.vzory + L"\\Faktura.vzr"), "invoice v2");
      WaitForSingleObject(result.engine.get(), 30000);
    } else {
      ASSERT_EQ(host.asked.size(), 2u);
      EXPECT_EQ(host.asked[1],
                L"Program \"VantorPro.exe\" se nepodařilo ukončit.\rUkončete "
                L"jej a zvolte Opakovat. Storno instalaci zruší.");
      EXPECT_EQ(result.ending, Ending::Cancelled);
      EXPECT_EQ(StateOf(scene), before);
      EXPECT_EQ(WaitForSingleObject(running.get(), 0), WAIT_TIMEOUT);
      TerminateProcess(running.get(), 0);
      WaitForSingleObject(running.get(), 30000);
    }
  }
}

// The medium stops answering halfway through the unpacking (cut short from
// the Unix side, as a stick pulled out ignores share modes): the person is
// told which file and what to do; Retry, once it is whole again, completes;
// Cancel leaves the PC as it was.
TEST(WholeOrNothing, AMediumThatStopsAnsweringIsNamedWithAWayOn) {
  for (const bool retry : {true, false}) {
    SCOPED_TRACE(retry ? "put back, then Retry" : "Cancel");
    const MediumSpec layout{EngineStub()};
    Scene scene(layout);
    InstallWhole(scene);
    NewRevision(scene, layout);
    // Two chunks at least: the first is read only after the directory.
    std::string noise(1500000, '\0');
    unsigned x = 3;
    for (char& c : noise) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 23);
    scene.payload.files.push_back({"Navod/Video.bin", noise});
    const std::wstring archive = scene.medium / L"Vaninst.pak";
    WriteArchive(archive, scene.payload);
    const std::wstring whole = scene.work / L"whole.pak";
    ASSERT_TRUE(CopyFileW(archive.c_str(), whole.c_str(), FALSE));
    const PcState before = StateOf(scene);
    auto sizeIs = [&](uint64_t size) {
      WIN32_FILE_ATTRIBUTE_DATA data{};
      return GetFileAttributesExW(archive.c_str(), GetFileExInfoStandard, &data) &&
             ((uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow) == size;
    };
    const uint64_t wholeSize = testutil::ReadFile(whole).size();
    RecordingHost host(scene.choices);
    bool cut = false;
    host.onStatus = [&](const std::wstring& status) {
      if (cut || !status.starts_with(L"Rozbaluji soubor")) return;
      cut = true;
      EXPECT_TRUE(testutil::RunUnixOn(L"truncate -s 1000", archive, [&] { return sizeIs(1000); }));
    };
    host.onAsk = [&](const std::wstring&) {
      if (!retry) return IDCANCEL;
      EXPECT_TRUE(testutil::RunUnixUntil(L"cp '" + platform::Wide(testutil::UnixPath(whole)) +
                                             L"' '" + platform::Wide(testutil::UnixPath(archive)) +
                                             L"'",
                                         [&] { return sizeIs(wholeSize); }));
      return IDRETRY;
    };
    // The wizard's own rollback follows a Cancel: here, Install's.
    const install::InstallResult result = install::Install(scene.choices, host);
    ASSERT_EQ(host.asked.size(), 1u);
    EXPECT_EQ(host.asked[0], L"Soubor \"" + scene.choices.mediumDir +
                                 L"\\Vaninst.pak\" na instalačním médiu nelze přečíst!\r"
                                 L"Očistěte disk, nebo médium vložte znovu, a zvolte Opakovat. "
                                 L"Storno instalaci zruší.");
    if (retry) {
      EXPECT_EQ(result.ending, Ending::Done) << testing::PrintToString(result.message);
      EXPECT_EQ(testutil::ReadFile(scene.choices.vzory + L"\\Faktura.vzr"), "invoice v2");
      WaitForSingleObject(result.engine.get(), 30000);
    } else {
      EXPECT_EQ(result.ending, Ending::Cancelled);
      EXPECT_EQ(StateOf(scene), before);
    }
  }
}

// The person's templates survive a second installation, and its finish
// removes the work folder whole, whatever else was put there.
TEST(WholeOrNothing, TheSecondInstallationKeepsThePersonsTemplates) {
  Scene scene({EngineStub(), 2});
  InstallWhole(scene);
  testutil::WriteFile(scene.choices.vzory + L"\\Faktura.vzr", "my invoice");
  testutil::WriteFile(scene.choices.vzory + L"\\Moje.vzr", "mine");
  testutil::WriteFile(scene.choices.vzory + L"\\Dopisy\\Muj.vzr", "mine too");
  NewRevision(scene, {EngineStub(), 2});
  RecordingHost host(scene.choices);
  install::InstallResult result = install::Install(scene.choices, host);
  ASSERT_EQ(result.ending, Ending::Done);
  EXPECT_EQ(testutil::ReadFile(scene.choices.vzory + L"\\Faktura.vzr"), "my invoice");
  EXPECT_EQ(testutil::ReadFile(scene.choices.vzory + L"\\Moje.vzr"), "mine");
  EXPECT_EQ(testutil::ReadFile(scene.choices.vzory + L"\\Dopisy\\Dopis.vzr"), "letter v2");
  EXPECT_EQ(testutil::ReadFile(scene.choices.vzory + L"\\Dopisy\\Muj.vzr"), "mine too");
  // A folder of nothing but templates as installed is replaced whole.
  EXPECT_EQ(testutil::ReadFile(scene.choices.vzory + L"\\Hromadne\\Vzor1.vzr"),
            std::string(3000, 'v') + " v2");
  // The record keeps the changed one as the person's: it is not as installed.
  install::InstallRecord record;
  ASSERT_EQ(install::ReadRecord(record), install::RecordState::Present);
  const auto kept = std::find_if(record.files.begin(), record.files.end(), [&](const auto& file) {
    return file.path == scene.choices.vzory + L"\\Faktura.vzr";
  });
  ASSERT_NE(kept, record.files.end());
  EXPECT_EQ(kept->size, 7u);  // "invoice", as the first installation left it

  ASSERT_EQ(WaitForSingleObject(result.engine.get(), 30000), WAIT_OBJECT_0);
  const std::wstring work = scene.choices.vantorPro + L"\\Instalace";
  testutil::WriteFile(work + L"\\Utility\\Bde\\engine.log", "written by the engine");
  EXPECT_TRUE(result.workFolder.RemoveTree());
  EXPECT_FALSE(platform::FolderExists(work));
}

}  // namespace
}  // namespace installtest

namespace installtest {
namespace {

// A work folder of ours that a run ended at once left with the unpacking's
// temporaries, and a second application folder after a stop: the next run
// unpacks beside the leftovers, and the rollback forgets neither work folder.
TEST(WholeOrNothing, LeftTemporariesAndAChangedFolderAfterAStop) {
  Scene scene({EngineStub(), 20});
  RecordingHost host(scene.choices);
  host.onStatus = [&](const std::wstring& status) {
    if (status == kMaking + scene.choices.vantorPro) host.abort = true;
  };
  install::Journal journal;
  install::InstallResult first = install::Install(scene.choices, host, {}, &journal);
  ASSERT_EQ(first.ending, Ending::Stopped);
  for (int index = 0; index < 40; ++index)
    testutil::WriteFile(first.unpackFolder + L"\\~sv" + std::to_wstring(index) + L".tmp", "left");
  host.onStatus = {};
  install::InstallResult second =
      install::Install(scene.choices, host, std::move(first.workFolder), &journal);
  EXPECT_EQ(second.ending, Ending::Done) << testing::PrintToString(second.message);
  WaitForSingleObject(second.engine.get(), 30000);
  second.workFolder.Release();
  install::RecoverUnfinishedRun();
  EXPECT_FALSE(install::Journal::Load());

  // Stopped, then another application folder: both work folders go back.
  Scene other({EngineStub(), 20});
  const PcState otherBefore = StateOf(other);
  RecordingHost stopping(other.choices);
  stopping.onStatus = [&](const std::wstring& status) {
    if (status == kMaking + other.choices.vantorPro) stopping.abort = true;
  };
  install::Session session(other.choices.mediumDir);
  ASSERT_EQ(session.Run(other.choices, stopping).ending, Ending::Stopped);
  install::InstallChoices moved = other.choices;
  moved.vantorPro += L"2";
  stopping.onStatus = [&](const std::wstring& status) {
    if (status == kMaking + moved.vantorPro) stopping.abort = true;
  };
  ASSERT_EQ(session.Run(moved, stopping).ending, Ending::Stopped);
  EXPECT_TRUE(session.NeedsRollBack());
  EXPECT_TRUE(session.RollBack());
  EXPECT_FALSE(session.NeedsRollBack());
  EXPECT_EQ(StateOf(other), otherBefore);
}

}  // namespace
}  // namespace installtest
