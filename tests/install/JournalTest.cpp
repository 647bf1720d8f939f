// The journal on its own: runs built on a scratch folder and a key of the
// test's own, a fault put in at each step of the commit, the undo, the
// rollback and the completion. Afterwards the PC is as before the run or the
// new version is whole, and the journal is never gone while anything of the
// run stays.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>

#include "install/Commit.h"
#include "install/Journal.h"
#include "install/LineCodec.h"
#include "tests/install/Scene.h"

namespace {

using install::Journal;
using install::Recovery;
using testutil::ReadFile;
using testutil::WriteFile;

const wchar_t kKey[] = L"Software\\SetupVantorJournalTest";

// Every file below a folder with its content, folders marked.
std::map<std::wstring, std::string> FilesOf(const std::wstring& root) {
  std::map<std::wstring, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    const std::wstring relative = entry.path().wstring().substr(root.size());
    files[relative] = entry.is_directory() ? "<folder>" : ReadFile(entry.path().wstring());
  }
  return files;
}

std::vector<platform::Registry::Value> ValuesOf(const std::wstring& key) {
  platform::Registry registry;
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  std::vector<platform::Registry::Value> values;
  if (registry.OpenExisting(key)) {
    EXPECT_TRUE(registry.ReadValues(values));
  }
  return values;
}

std::vector<std::wstring> SavedLines() {
  platform::Registry registry;
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  std::vector<std::wstring> lines;
  if (registry.OpenExisting(install::kJournalKey))
    registry.ReadLines(install::kJournalValue, lines);
  return lines;
}

// A file held open as a virus scanner or a running program holds it: its
// name can be neither taken nor given.
platform::UniqueFile Hold(const std::wstring& path) {
  return platform::UniqueFile(CreateFileW(path.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// A run staged in App: a.txt and c.txt replaced, b.txt and the folder D new;
// the key's values kept, then changed.
struct StagedRun {
  testutil::TempDir dir;
  std::wstring app = dir / L"App";
  Journal journal;
  std::vector<fileops::Staging::Entry> entries;
  std::shared_ptr<platform::HeldFolder> held;  // App, as the entries hold it

  StagedRun() {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKey);
    Journal().Erase();
    testutil::MakeDirs(app);
    WriteFile(app + L"\\a.txt", "old a");
    WriteFile(app + L"\\c.txt", "old c");
    platform::Registry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    registry.OpenKey(kKey);
    registry.WriteString(L"Kept", L"as it was");
    registry.WriteString(L"Changed", L"before");
    // Larger than a first read takes: read again with room for it.
    registry.WriteString(L"Large", std::wstring(40000, L'x'));
  }
  ~StagedRun() {
    if (held) held->Release();
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKey);
    Journal().Erase();
  }

  void Stage() {
    journal.Begin();
    journal.StagesIn(app, false);
    EXPECT_TRUE(journal.KeepsKey(kKey));
    journal.Save();
    platform::Registry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    registry.OpenKey(kKey);
    registry.WriteString(L"Changed", L"after");
    registry.WriteString(L"Large", std::wstring(50000, L'y'));
    registry.WriteString(L"Added", L"new");
    registry.DeleteValue(L"Kept");
    const std::wstring p = journal.Prefix();
    WriteFile(app + L"\\" + p + L"0-a.txt", "new a");
    WriteFile(app + L"\\" + p + L"1-b.txt", "new b");
    testutil::MakeDirs(app + L"\\" + p + L"2-D");
    WriteFile(app + L"\\" + p + L"2-D\\inner.txt", "new inner");
    WriteFile(app + L"\\" + p + L"3-c.txt", "new c");
    held = std::make_shared<platform::HeldFolder>(platform::HeldFolder::Open(app));
    entries = {{app, p + L"0-a.txt", L"a.txt", true, false, held},
               {app, p + L"1-b.txt", L"b.txt", false, false, held},
               {app, p + L"2-D", L"D", false, true, held},
               {app, p + L"3-c.txt", L"c.txt", true, false, held}};
  }

  install::CommitResult Commit(installtest::RecordingHost& host) {
    return install::CommitStaged(host, journal, entries);
  }

  bool NewVersionWhole() const {
    return ReadFile(app + L"\\a.txt") == "new a" && ReadFile(app + L"\\b.txt") == "new b" &&
           ReadFile(app + L"\\c.txt") == "new c" &&
           ReadFile(app + L"\\D\\inner.txt") == "new inner";
  }
};

std::wstring app(const StagedRun& run) {
  return run.app + L"\\";
}

struct Before {
  std::map<std::wstring, std::string> files;
  std::vector<platform::Registry::Value> values;
  bool operator==(const Before&) const = default;
};

Before StateOf(const StagedRun& run) {
  return {FilesOf(run.app), ValuesOf(kKey)};
}

installtest::RecordingHost& HostFor(const StagedRun&) {
  static install::InstallChoices choices;
  static installtest::RecordingHost host(choices);
  host.asked.clear();
  host.onAsk = [](const std::wstring&) { return IDCANCEL; };
  host.onCommit = {};
  return host;
}

// The process ends at each step of the commit: the next start puts the PC
// back as it was, and the journal goes with the last of the run.
TEST(Journal, EndedAtEachStepOfTheCommit) {
  for (size_t step = 0; step <= 4; ++step) {  // 4: after Committed
    SCOPED_TRACE(step);
    StagedRun run;
    const Before before = StateOf(run);
    run.Stage();
    auto& host = HostFor(run);
    host.onCommit = [&](size_t done, size_t) {
      if (done == step) throw std::runtime_error("ended");
    };
    EXPECT_THROW(run.Commit(host), std::runtime_error);
    run.held->Release();
    const Recovery recovery = install::RecoverUnfinishedRun();
    EXPECT_EQ(recovery.state, Recovery::State::Clean);
    EXPECT_EQ(StateOf(run), before);
    EXPECT_TRUE(SavedLines().empty());
  }
}

// A rename fails at each step (the file held open), and in a second row the
// undo of the entry before it fails too: the phase stays Commit, the
// rollback keeps exactly what it could not put back, and once the file is
// free the next start finishes it.
TEST(Journal, ARenameOrItsUndoFailsAtEachStep) {
  for (const bool undoFails : {false, true}) {
    for (size_t step = undoFails ? 1 : 0; step < 4; ++step) {
      SCOPED_TRACE(testing::Message() << "step " << step << (undoFails ? " undo fails" : ""));
      StagedRun run;
      const Before before = StateOf(run);
      run.Stage();
      auto& host = HostFor(run);
      platform::UniqueFile blocking, undoBlocking;
      host.onCommit = [&](size_t done, size_t) {
        if (done != step) return;
        const auto& entry = run.entries[step];
        blocking = Hold(app(run) + (entry.replaces ? entry.name : entry.temp));
        if (undoFails) undoBlocking = Hold(app(run) + run.entries[step - 1].name);
      };
      const install::CommitResult result = run.Commit(host);
      blocking.reset();
      if (!undoFails) {
        EXPECT_EQ(result, install::CommitResult::Cancelled);
        ASSERT_EQ(host.asked.size(), 1u);
        EXPECT_EQ(Journal::Load()->CurrentPhase(), Journal::Phase::Staging);
        run.held->Release();
        EXPECT_TRUE(run.journal.RollBack({}));
        EXPECT_EQ(StateOf(run), before);
        continue;
      }
      EXPECT_EQ(result, install::CommitResult::NotUndone);
      EXPECT_TRUE(host.asked.empty());
      EXPECT_EQ(Journal::Load()->CurrentPhase(), Journal::Phase::Commit);
      run.held->Release();
      EXPECT_FALSE(run.journal.RollBack({}));
      const std::wstring stuck = run.app + L"\\" + run.entries[step - 1].name;
      EXPECT_EQ(run.journal.Left(), std::vector<std::wstring>{stuck});
      // On disk exactly as in memory; both programs' next start tries again.
      EXPECT_EQ(SavedLines(), run.journal.Lines());
      Recovery recovery = install::RecoverUnfinishedRun();
      EXPECT_EQ(recovery.state, Recovery::State::Left);
      EXPECT_EQ(recovery.left, std::vector<std::wstring>{stuck});
      undoBlocking.reset();
      recovery = install::RecoverUnfinishedRun();
      EXPECT_EQ(recovery.state, Recovery::State::Clean);
      EXPECT_EQ(StateOf(run), before);
      EXPECT_TRUE(SavedLines().empty());
    }
  }
}

// A flush fails once every name is given (a file held where nobody may
// write it, though it may be renamed: one entry itself, one inside a folder
// entry): the pass is undone and the person asked, naming that entry.
TEST(Journal, AFlushThatFailsUndoesThePass) {
  for (const wchar_t* blocked : {L"1-b.txt", L"2-D\\inner.txt"}) {
    SCOPED_TRACE(platform::Utf8(blocked));
    StagedRun run;
    const Before before = StateOf(run);
    run.Stage();
    const std::wstring staged = app(run) + run.journal.Prefix() + blocked;
    platform::UniqueFile holding(CreateFileW(staged.c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holding);
    auto& host = HostFor(run);
    EXPECT_EQ(run.Commit(host), install::CommitResult::Cancelled);
    ASSERT_EQ(host.asked.size(), 1u);
    EXPECT_NE(host.asked[0].find(app(run) + (blocked[0] == L'1' ? L"b.txt" : L"D")),
              std::wstring::npos);
    EXPECT_EQ(Journal::Load()->CurrentPhase(), Journal::Phase::Staging);
    holding.reset();
    run.held->Release();
    EXPECT_TRUE(run.journal.RollBack({}));
    EXPECT_EQ(StateOf(run), before);
  }
}

// After the commit: the rollback of a committed run meets a file held open;
// the completion meets a journal that cannot be written, then the process
// ends after Done.
TEST(Journal, AfterTheCommit) {
  {
    SCOPED_TRACE("committed, rolled back with a file held");
    StagedRun run;
    const Before before = StateOf(run);
    run.Stage();
    ASSERT_EQ(run.Commit(HostFor(run)), install::CommitResult::Done);
    EXPECT_TRUE(run.NewVersionWhole());
    run.held->Release();
    platform::UniqueFile blocking = Hold(run.app + L"\\b.txt");
    EXPECT_FALSE(run.journal.RollBack({}));
    EXPECT_EQ(run.journal.Left(), std::vector<std::wstring>({run.app + L"\\b.txt"}));
    EXPECT_EQ(ReadFile(run.app + L"\\a.txt"), "old a");
    blocking.reset();
    EXPECT_EQ(install::RecoverUnfinishedRun().state, Recovery::State::Clean);
    EXPECT_EQ(StateOf(run), before);
  }
  {
    SCOPED_TRACE("completed while the journal cannot be written, then ended after Done");
    StagedRun run;
    run.Stage();
    ASSERT_EQ(run.Commit(HostFor(run)), install::CommitResult::Done);
    run.held->Release();
    {
      const installtest::LockedKey locked(HKEY_LOCAL_MACHINE, install::kJournalKey, KEY_WOW64_32KEY,
                                          L"D:P(A;;KR;;;WD)");
      ASSERT_TRUE(locked.Locked());
      EXPECT_FALSE(run.journal.Complete());
    }
    EXPECT_EQ(Journal::Load()->CurrentPhase(), Journal::Phase::Committed);
    EXPECT_EQ(ReadFile(run.app + L"\\" + run.journal.BackupName(L"a.txt")), "old a");
    ASSERT_TRUE(run.journal.Complete());
    EXPECT_EQ(Journal::Load()->CurrentPhase(), Journal::Phase::Done);
    // Ended here: the next start finishes, never takes back.
    EXPECT_EQ(install::RecoverUnfinishedRun().state, Recovery::State::Clean);
    EXPECT_TRUE(run.NewVersionWhole());
    EXPECT_EQ(FilesOf(run.app).size(), 5u);  // a, b, c, D, D\inner: no backup
    EXPECT_TRUE(SavedLines().empty());
  }
}

// Work folders of two runs, one with an engine's setup still running from
// it: none is forgotten, none removed under the engine.
TEST(Journal, WorkFoldersStayWhileTheEngineRuns) {
  testutil::TempDir dir;
  Journal().Erase();
  Journal journal;
  journal.Begin();
  std::vector<std::wstring> folders = {dir / L"First", dir / L"Second"};
  for (const std::wstring& folder : folders) {
    testutil::MakeDirs(folder);
    WriteFile(folder + L"\\Setup.exe", "unpacked");
    journal.WorkFolder(folder, platform::IdentityAt(folder));
  }
  wchar_t self[MAX_PATH * 2];
  GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
  std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_list_tests";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(testutil::StartProcess(nullptr, command, false, CREATE_SUSPENDED, nullptr, si, pi));
  const platform::UniqueHandle engine(pi.hProcess), thread(pi.hThread);
  journal.EngineStarted(engine.get());
  journal.Save();
  ASSERT_TRUE(journal.Complete());
  EXPECT_EQ(install::RecoverUnfinishedRun().state, Recovery::State::Clean);
  for (const std::wstring& folder : folders) EXPECT_TRUE(platform::FolderExists(folder));
  EXPECT_EQ(Journal::Load()->Lines(), journal.Lines());
  TerminateProcess(engine.get(), 0);
  ASSERT_EQ(WaitForSingleObject(engine.get(), 30000), WAIT_OBJECT_0);
  EXPECT_EQ(install::RecoverUnfinishedRun().state, Recovery::State::Clean);
  for (const std::wstring& folder : folders) EXPECT_FALSE(platform::FolderExists(folder));
  EXPECT_TRUE(SavedLines().empty());
}

// A journal this program cannot read is refused, never a crash, and stays
// exactly as it was.
TEST(Journal, MalformedJournalsAreRefusedAndKept) {
  const std::wstring header = L"SetupVantor journal 2";
  auto sealed = [&](std::vector<std::wstring> body) { return install::Sealed(header, body); };
  std::vector<std::wstring> damaged = sealed({L"run\tab", L"phase\t1"});
  damaged[2] = L"phase\t2";
  const struct {
    const char* what;
    std::vector<std::wstring> lines;
  } rows[] = {
      {"an older layout, no header", {L"run\tab", L"phase\t1"}},
      {"a newer version", install::Sealed(L"SetupVantor journal 3", {L"run\tab"})},
      {"a line changed after sealing", damaged},
      {"no CRC line", {header, L"run\tab"}},
      {"a value type that is no number",
       sealed({L"run\tab", L"phase\t1", L"key\t1\tSoftware\\X", L"value\t41\tzz\t-"})},
      {"a number too large", sealed({L"run\tab", L"engine\t99999999999\t1"})},
      {"a phase out of range", sealed({L"run\tab", L"phase\t9"})},
      {"an unknown kind of line", sealed({L"run\tab", L"later\t1"})},
      {"a value before any key", sealed({L"run\tab", L"value\t4100\t1\t-"})},
      {"odd hex", sealed({L"run\tab", L"key\t0\tSoftware\\X", L"value\t410\t1\t-"})},
      {"a flag that is neither", sealed({L"run\tab", L"stage\tyes\tC:\\A"})},
      {"no run", sealed({L"phase\t0"})},
      {"two runs", sealed({L"run\tab", L"run\tcd"})},
      {"a commit line cut short", sealed({L"run\tab", L"commit\t1\t0\tC:\\A"})},
  };
  Journal().Erase();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    platform::Registry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(registry.OpenKey(install::kJournalKey));
    registry.WriteLines(install::kJournalValue, row.lines);
    bool unreadable = false;
    EXPECT_FALSE(Journal::Load(&unreadable));
    EXPECT_TRUE(unreadable);
    EXPECT_EQ(install::RecoverUnfinishedRun().state, Recovery::State::Unreadable);
    EXPECT_EQ(SavedLines(), row.lines);
  }
  Journal().Erase();
  // A sound one reads back as it was written.
  const std::vector<std::wstring> sound =
      sealed({L"run\tab", L"phase\t2", L"work\t1\t2\tC:\\W", L"key\t1\tSoftware\\X",
              L"value\t4100\t1\t4100", L"commit\t1\t0\tC:\\A\ta.txt"});
  ASSERT_TRUE(Journal::Parse(sound));
  EXPECT_EQ(Journal::Parse(sound)->Lines(), sound);
}

}  // namespace

namespace {

// The installation over a journal it cannot read: refused with its message,
// nothing written, the journal as it was.
TEST(Journal, AnInstallationRefusesAJournalItCannotRead) {
  installtest::Scene scene({installtest::EngineStub()});
  const std::vector<std::wstring> lines = install::Sealed(L"SetupVantor journal 3", {L"run\tab"});
  platform::Registry registry;
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registry.OpenKey(install::kJournalKey));
  registry.WriteLines(install::kJournalValue, lines);
  installtest::RecordingHost host(scene.choices);
  const install::InstallResult result = install::Install(scene.choices, host);
  EXPECT_EQ(result.ending, install::Ending::Fatal);
  EXPECT_EQ(result.message,
            L"Byla nalezena nedokončená instalace, kterou tento program nemůže dokončit!\r"
            L"Instalace bude ukončena!");
  EXPECT_FALSE(platform::FolderExists(scene.choices.vantorPro));
  EXPECT_EQ(SavedLines(), lines);
  Journal().Erase();
}

}  // namespace
