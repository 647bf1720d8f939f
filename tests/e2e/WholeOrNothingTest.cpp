// Runs that do not complete, from outside on a real medium: ended at once
// while the wizard unpacks, a stop that the person ends, the application
// running while the next version is installed. Each ends with the new
// version complete, or with the PC as it was before the run.
#include <windows.h>

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/Platform.h"
#include "tests/e2e/Config.h"
#include "tests/e2e/Installing.h"
#include "tests/support/TestUtil.h"
#include "wizard/ControlIds.h"

namespace e2e {

namespace {

// The second medium's large file: while it is unpacked, the run has
// replaced nothing yet.
const std::wstring kHuge = L"huge.dat";
const wchar_t kJournal[] = L"Software\\SetupVantor";
const std::wstring kInUse =
    L"Program \"VantorPro.exe\" je spuštěn a používá soubory, které instalace nahrazuje!";
const std::wstring kCloseOrCancel = L"Zvolte OK a instalace jej ukončí. Storno instalaci zruší.";

bool Staged(const std::wstring& path) {
  return path.find(L"~sv") != std::wstring::npos;
}

// Every thread of a process held still until destroyed: what the driver
// sees of the run stays so while it acts on it.
class Frozen {
 public:
  explicit Frozen(DWORD pid) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) throw DriveError(L"cannot list the threads");
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
      if (entry.th32OwnerProcessID != pid) continue;
      const HANDLE thread =
          OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, entry.th32ThreadID);
      if (!thread) continue;
      if (SuspendThread(thread) == static_cast<DWORD>(-1)) {
        CloseHandle(thread);
        continue;
      }
      threads_.push_back(thread);
      // A suspension takes effect later; asking for the context waits for it.
      CONTEXT context{};
      context.ContextFlags = CONTEXT_CONTROL;
      GetThreadContext(thread, &context);
    }
    CloseHandle(snapshot);
  }
  ~Frozen() {
    for (const HANDLE thread : threads_) {
      ResumeThread(thread);
      CloseHandle(thread);
    }
  }
  Frozen(const Frozen&) = delete;
  Frozen& operator=(const Frozen&) = delete;

 private:
  std::vector<HANDLE> threads_;
};

// Woken by every change of a name or size below root, returns with the
// wizard held still in the middle of unpacking name into app's work folder:
// one of the unpacking's temporaries there (each under a fresh name) is
// larger than every other file of the second payload, so it can only be
// name's, and is not yet as large as name. Held there, the run has replaced
// and staged nothing yet.
std::unique_ptr<Frozen> HoldInsideUnpacking(Wizard& w, const std::wstring& root,
                                            const std::wstring& app, const std::wstring& name) {
  const std::wstring work = app + L"\\Instalace";
  // Sizes only: reading the payload would take longer than the unpacking.
  ULONGLONG whole = 0, others = 0;
  const std::filesystem::path payload = TheConfig().payload2;
  for (const auto& file : std::filesystem::recursive_directory_iterator(payload)) {
    if (!file.is_regular_file()) continue;
    if (file.path() == payload / name)
      whole = file.file_size();
    else
      others = std::max<ULONGLONG>(others, file.file_size());
  }
  if (whole <= others) throw DriveError(L"no " + name + L" larger than the rest of the payload");
  const HANDLE changes = FindFirstChangeNotificationW(
      root.c_str(), TRUE, FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE);
  if (changes == INVALID_HANDLE_VALUE) throw DriveError(L"cannot watch " + root);
  struct Watch {
    HANDLE h;
    ~Watch() { FindCloseChangeNotification(h); }
  } watch{changes};
  const ULONGLONG end = GetTickCount64() + Timeouts{}.install;
  // What the holds saw, for a failure that says why.
  ULONGLONG holds = 0, largest = 0;
  for (;;) {
    {
      auto held = std::make_unique<Frozen>(w.Program().Id());
      ++holds;
      WIN32_FIND_DATAW found;
      const HANDLE find = FindFirstFileW((work + L"\\~sv*.tmp").c_str(), &found);
      for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &found)) {
        const ULONGLONG size =
            (static_cast<ULONGLONG>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        largest = std::max(largest, size);
        if (size > others && size < whole) {
          FindClose(find);
          return held;
        }
      }
      if (find != INVALID_HANDLE_VALUE) FindClose(find);
      // Whole under its name, staged or in place beside the application's
      // files (the earlier version has none): the unpacking has passed.
      const HANDLE staged = FindFirstFileW((app + L"\\~sv*" + name + L"*").c_str(), &found);
      if (staged != INVALID_HANDLE_VALUE) FindClose(staged);
      if (staged != INVALID_HANDLE_VALUE || platform::FileExists(work + L"\\" + name) ||
          platform::FileExists(app + L"\\" + name))
        throw DriveError(L"the unpacking of " + name + L" ended before the wizard was held (" +
                         std::to_wstring(holds) + L" holds, largest temporary " +
                         std::to_wstring(largest) + L" bytes)");
    }
    w.NoSurprises();
    if (GetTickCount64() >= end) throw DriveError(L"the unpacking of " + name + L" never began");
    if (WaitForSingleObject(changes, 1000) == WAIT_OBJECT_0) FindNextChangeNotification(changes);
  }
}

class WholeOrNothing : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(TheConfig().medium2.empty()) << "--medium2= missing";
    ASSERT_FALSE(TheConfig().payload2.empty()) << "--payload2= missing";
    const std::wstring id = std::to_wstring(GetCurrentProcessId());
    root_ = L"C:\\e2e-whole-" + id;
    c_ = {root_ + L"\\Vantor",     root_ + L"\\Vantor\\Projekty", root_ + L"\\Vantor\\Vzory",
          L"C:\\Vantor\\Priklady", L"VantorPro celek " + id,      L"Jan Zkoušek",
          L"Zkušební s.r.o."};
    group_ = ProgramsFolder() + L"\\" + c_.group;
    SetEnvironmentVariableW(L"VANTOR_BDE_SETUP_MS", L"300");
    Clean();
    examplesExisted_ = platform::FolderExists(c_.examples);
  }
  void TearDown() override {
    Clean();
    SetEnvironmentVariableW(L"VANTOR_BDE_SETUP_MS", nullptr);
  }
  // Only the folder the test watches is there, and no journal: a drive that
  // failed ends its wizard at once, and the next start would put back what
  // that run found.
  void Clean() {
    testutil::RemoveTree(root_);
    testutil::RemoveTree(group_);
    RemoveRegistration();
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kJournal, KEY_WOW64_32KEY, 0);
    testutil::MakeDirs(root_);
  }

  void Install(const std::wstring& medium) {
    Drive([&] {
      Wizard w(medium);
      DriveToSummary(w, c_);
      w.Next();
      Finish(w);
    });
  }
  // The second version complete: its files everywhere, nothing staged, no
  // work folder and no journal left (the next start would take it back).
  void ExpectSecondVersion() {
    ExpectInstalled(c_, examplesExisted_, TheConfig().payload2);
    EXPECT_FALSE(platform::Registry::KeyExists(HKEY_LOCAL_MACHINE, kJournal))
        << "a journal is left";
    for (const std::wstring& root : {root_, group_})
      for (const auto& [name, content] : Tree(root, true))
        EXPECT_FALSE(Staged(name)) << "left behind: " << Narrow(root + L"\\" + name);
  }

  std::wstring root_, group_;
  Choices c_;
  bool examplesExisted_ = false;
};

}  // namespace

// Ended at once while it unpacks (a crash, the power), on a PC without an
// installation and over the earlier version: the next start from the same
// medium completes.
TEST_F(WholeOrNothing, EndedAtOnceWhileUnpackingTheNextStartCompletes) {
  for (const bool earlier : {false, true}) {
    SCOPED_TRACE(earlier ? "over an earlier installation" : "on a PC without one");
    Clean();
    if (earlier) Install(TheConfig().medium);
    if (HasFatalFailure()) return;
    const Snapshot before = Take({root_});
    Drive([&] {
      Wizard w(TheConfig().medium2);
      DriveToSummary(w, c_);
      w.Next();
      const auto held = HoldInsideUnpacking(w, root_, c_.app, kHuge);
      w.Program().Kill();
    });
    if (HasFatalFailure()) return;
    // Nothing of what was there has changed yet, nor is anything staged
    // beside it: the run had only begun its work folder and its journal.
    Snapshot after = Take({root_});
    std::erase_if(after.files, [&](const auto& entry) {
      return entry.first.starts_with(c_.app + L"\\Instalace\\") ||
             (!earlier && entry.first == c_.app + L"\\");
    });
    std::erase_if(after.registry, [](const auto& entry) {
      return entry.first.starts_with(kJournal + std::wstring(L"\\"));
    });
    EXPECT_EQ(Differences(before.files, after.files), std::vector<std::string>{});
    EXPECT_EQ(Differences(before.registry, after.registry), std::vector<std::string>{});

    Install(TheConfig().medium2);
    if (HasFatalFailure()) return;
    ExpectSecondVersion();
  }
}

// Over an earlier installation, runs that end without completing leave the
// PC as it was, file by file and key by key: a stop that the person ends, and
// Cancel when the running application holds the files the run replaces.
// Then, the application closed when asked, Retry completes the new version.
TEST_F(WholeOrNothing, RunsThatDoNotCompleteLeaveTheEarlierInstallation) {
  Install(TheConfig().medium);
  if (HasFatalFailure()) return;
  const Snapshot before = Take({root_});
  auto expectAsBefore = [&] {
    const Snapshot after = Take({root_});
    EXPECT_EQ(Differences(before.files, after.files), std::vector<std::string>{});
    EXPECT_EQ(Differences(before.registry, after.registry), std::vector<std::string>{});
  };
  Timeouts slow;
  slow.box = slow.install;  // the question comes once everything is staged

  {
    SCOPED_TRACE("a stop, then the end");
    Drive([&] {
      Wizard w(TheConfig().medium2);
      DriveToSummary(w, c_);
      w.Next();
      // Pressed while the wizard is held inside the unpacking: the press is
      // taken at its next look for messages, before anything is replaced.
      const HWND abort = w.Control(ids::pbPrerusit);
      {
        const auto held = HoldInsideUnpacking(w, root_, c_.app, kHuge);
        ASSERT_TRUE(IsWindowVisible(abort) && IsWindowEnabled(abort));
        PostMessageW(GetParent(abort), WM_COMMAND, MAKEWPARAM(ids::pbPrerusit, BN_CLICKED),
                     reinterpret_cast<LPARAM>(abort));
      }
      AnswerQuestion(w, kAbortQuestion, L"preruseni", IDYES);
      if (HasFatalFailure()) return;
      AnswerQuestion(w, kCloseQuestion, L"ukoncit", IDYES);
      if (HasFatalFailure()) return;
      ASSERT_TRUE(w.WaitForExit()) << "the wizard did not end";
    });
    if (HasFatalFailure()) return;
    expectAsBefore();
  }

  Process app(c_.app + L"\\VantorPro.exe", L"", c_.app);
  HWND window = nullptr;
  ASSERT_TRUE(
      WaitUntil([&] { return (window = FindTopWindow(app.Id(), L"TfrmVantorPro")); }, 15000));
  auto askedAboutTheProgram = [&](Wizard& w) {
    DriveToSummary(w, c_);
    w.Next();
    const MessageBoxWindow box = w.WaitForQuestion();
    EXPECT_EQ(box.caption, kTitle);
    EXPECT_NE(box.text.find(kInUse), std::wstring::npos) << Narrow(box.text);
    EXPECT_NE(box.text.find(kCloseOrCancel), std::wstring::npos) << Narrow(box.text);
    EXPECT_TRUE(box.HasButton(IDOK) && box.HasButton(IDCANCEL));
    return box;
  };
  {
    SCOPED_TRACE("the application running: Cancel");
    Drive([&] {
      Wizard w(TheConfig().medium2, slow);
      const MessageBoxWindow box = askedAboutTheProgram(w);
      Shot(L"program-spusten", box.window);
      Answer(box, IDCANCEL);
      ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box.window); }, 10000));
      AnswerQuestion(w, kCloseQuestion, L"ukoncit-po-stornu", IDYES);
      if (HasFatalFailure()) return;
      ASSERT_TRUE(w.WaitForExit()) << "the wizard did not end";
    });
    if (HasFatalFailure()) return;
    EXPECT_TRUE(app.Running());
    expectAsBefore();
  }
  {
    SCOPED_TRACE("the application closed by the wizard on the person's word: OK");
    Drive([&] {
      Wizard w(TheConfig().medium2, slow);
      const MessageBoxWindow box = askedAboutTheProgram(w);
      Answer(box, IDOK);
      ASSERT_TRUE(app.WaitForExit(15000)) << "VantorPro did not end";
      ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box.window); }, 10000));
      Finish(w);
    });
    if (HasFatalFailure()) return;
    ExpectSecondVersion();
  }
}

}  // namespace e2e
