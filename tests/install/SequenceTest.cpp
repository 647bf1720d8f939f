// The installation sequence at its own interface, with no window: the order
// of its steps and the progress they count, a stop in each step, and
// every failure route, on media made here with real archives, folders,
// shortcuts and registry keys.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>

#include "fileops/FileOps.h"
#include "install/Engine.h"
#include "install/Install.h"
#include "platform/Handles.h"
#include "platform/Platform.h"
#include "tests/fileops/FileOpsTestSupport.h"
#include "tests/install/MediumSupport.h"
#include "tests/support/TestUtil.h"

namespace install {
// Failures name the ending rather than its bytes.
void PrintTo(Ending ending, std::ostream* os) {
  static const char* const names[] = {"Done", "Stopped", "Fatal"};
  *os << names[static_cast<int>(ending)];
}
}  // namespace install

namespace installtest {
namespace {

using install::Ending;

const wchar_t kPreparing[] = L"Připravuji kopírování souborů";
const wchar_t kMaking[] = L"Vytvářím složku ";
const wchar_t kStartMenu[] = L"Aktualizuji nabídku start";
const wchar_t kRegistry[] = L"Zapisuji informace do registru";
const wchar_t kEngine[] = L"Konfiguruji BDE";

// Records what the sequence reports. The progress bar is a position and a
// total; a hook on the status line plays the user pressing "Přerušit".
class RecordingHost : public install::InstallHost {
 public:
  explicit RecordingHost(const install::InstallChoices& choices) : choices_(choices) {}

  void SetStatus(const std::wstring& text) override {
    statuses.push_back(text);
    if (onStatus) onStatus(text);
  }
  void StepProgress() override { ++position; }
  void ProcessMessages() override { platform::ProcessMessages(); }
  bool StopRequested() const override { return abort; }
  void StopInstall() override { abort = true; }
  bool LeaveVzoryOnCd() const override { return choices_.leaveVzoryOnCd; }
  bool LeavePrikladyOnCd() const override { return choices_.leavePrikladyOnCd; }
  void AddMemoLine(const std::wstring&) override {}
  const std::wstring& SetupTitle() const override { return title_; }
  void ClearStopRequest() override { abort = false; }
  void SetBottomBarVisible(bool visible) override { bottomBar = visible; }
  void ResetProgress() override { position = 0; }
  void SetProgressTotal(int value) override { total = value; }
  void Redraw() override {}
  void ShowError(const std::wstring& text) override { errors.push_back(text); }

  // The status line step by step: the per-file texts of the unpacking and
  // the copies left out, a text repeated at once counted once.
  std::vector<std::wstring> Steps() const {
    std::vector<std::wstring> steps;
    for (const std::wstring& s : statuses) {
      if (s.starts_with(L"Rozbaluji soubor") || s.starts_with(L"Kopíruji soubor")) continue;
      if (steps.empty() || steps.back() != s) steps.push_back(s);
    }
    return steps;
  }

  std::vector<std::wstring> statuses, errors;
  std::function<void(const std::wstring&)> onStatus;
  int position = 0;
  int total = -1;     // not counted yet
  bool abort = true;  // left from a run before: the sequence clears it
  bool bottomBar = true;

 private:
  const install::InstallChoices& choices_;
  std::wstring title_ = kTitle;
};

// A medium, target folders and a Start menu of their own, the installation's
// registry keys cleaned before and after; every message box outside the
// host is recorded rather than shown.
struct Scene {
  explicit Scene(const MediumSpec& layout) : payload(MakePayload(layout)) {
    CleanInstallationKeys();
    SetEnvironmentVariableW(L"SV_STUB_FLAG_MS", nullptr);  // the stub never reports
    WriteArchive(medium / L"Vaninst.pak", payload);
    testutil::MakeDirs(Programs());
    choices.vantorPro = work / L"Vantor Pro";
    choices.projekty = work / L"Projekty";
    choices.vzory = work / L"Vzory";
    choices.priklady = work / L"Priklady";
    choices.folderName = L"VantorPro";
    choices.name = L"Jan Novák";
    choices.company = L"Kůň a spol.";
    choices.mediumDir = medium.Path();
    choices.programsFolder = Programs();
  }
  ~Scene() { CleanInstallationKeys(); }

  std::wstring Programs() const { return work / L"Programy"; }
  std::wstring Group() const { return Programs() + L"\\VantorPro"; }
  std::wstring EngineTrace() const {
    return choices.vantorPro + L"\\Instalace\\Utility\\Bde\\Setup.exe.ran";
  }
  // The stub leaves its trace as it starts; once it has ended, its folder
  // can go with the scene.
  bool EngineRan() const {
    const std::wstring program = choices.vantorPro + L"\\Instalace\\Utility\\Bde\\Setup.exe";
    auto ended = [&] {
      const platform::UniqueFile file(CreateFileW(program.c_str(), DELETE, 0, nullptr,
                                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
      return static_cast<bool>(file);
    };
    return PumpUntil([&] { return platform::FileExists(program + L".ran"); }, 10000) &&
           PumpUntil(ended, 10000);
  }

  testutil::TempDir medium, work;
  testutil::ScriptedBoxes boxes;
  Payload payload;
  install::InstallChoices choices;
};

TEST(Sequence, StepsInOrderWithTheProgressTheyCount) {
  struct Row {
    bool leaveVzory;
    int total, position;  // files counted + 8; steps of the sequence + files copied
  };
  // Seven files count (Navod and Utility never do); two of them lie below
  // Vzory. Three top-level files and two templates are copied.
  for (const Row& row : {Row{false, 7 + 8, 6 + 5}, Row{true, 5 + 8, 5 + 3}}) {
    SCOPED_TRACE(row.leaveVzory ? "templates left on the CD-ROM" : "templates installed");
    Scene scene({EngineStub()});
    scene.choices.leaveVzoryOnCd = row.leaveVzory;
    const install::InstallChoices& c = scene.choices;
    WriteFlag();  // left by an earlier installation
    RecordingHost host(c);

    const install::InstallResult result = install::Install(c, host);

    EXPECT_EQ(result.ending, Ending::Done);
    EXPECT_EQ(result.message, L"");
    EXPECT_EQ(result.unpackFolder, c.vantorPro + L"\\Instalace");
    std::vector<std::wstring> expected = {kPreparing, kMaking + c.vantorPro, kMaking + c.projekty};
    if (!row.leaveVzory) {
      expected.push_back(kMaking + c.vzory);
      expected.push_back(kMaking + c.vzory + L"\\Dopisy");
    }
    expected.insert(expected.end(), {kStartMenu, kRegistry, kEngine});
    EXPECT_EQ(host.Steps(), expected);
    EXPECT_EQ(host.total, row.total);
    EXPECT_EQ(host.position, row.position);
    EXPECT_FALSE(host.bottomBar);
    EXPECT_FALSE(host.abort);
    EXPECT_TRUE(host.errors.empty());
    EXPECT_TRUE(scene.boxes.Asked().empty());

    EXPECT_EQ(platform::FolderExists(c.vzory), !row.leaveVzory);
    EXPECT_EQ(ReadMachineString(kVantorKey, L"Vzory"),
              row.leaveVzory ? c.mediumDir + L"\\Vzory" : c.vzory);
    EXPECT_TRUE(platform::FileExists(scene.Group() + L"\\VantorPro.lnk"));
    EXPECT_FALSE(FlagExists());
    EXPECT_TRUE(scene.EngineRan());
    // It starts where it lies, not on the medium.
    const std::string cwd =
        testutil::ReadFile(c.vantorPro + L"\\Instalace\\Utility\\Bde\\Setup.exe.cwd");
    EXPECT_EQ(platform::AsciiUpper(std::wstring(reinterpret_cast<const wchar_t*>(cwd.data()),
                                                cwd.size() / sizeof(wchar_t))),
              platform::AsciiUpper(c.vantorPro + L"\\Instalace\\Utility\\Bde"));
  }
}

TEST(Sequence, StopDuringEachStepEndsTheRunBeforeTheNext) {
  using Choices = install::InstallChoices;
  struct Row {
    const char* step;
    std::function<std::wstring(const Choices&)> stopAt;  // the status the user stops at
    int position;
    std::function<bool(const Scene&, const RecordingHost&)> nextStepRan;
  };
  const Row rows[] = {
      {"unpacking", [](const Choices&) { return L"Rozbaluji soubor"; }, 0,
       [](const Scene&, const RecordingHost& h) { return h.total >= 0; }},
      {"application folder", [](const Choices& c) { return kMaking + c.vantorPro; }, 1,
       [](const Scene& s, const RecordingHost&) {
         return platform::FolderExists(s.choices.projekty);
       }},
      {"projects folder", [](const Choices& c) { return kMaking + c.projekty; }, 1 + 3 + 1,
       [](const Scene& s, const RecordingHost&) {
         return platform::FolderExists(s.choices.vzory);
       }},
      {"templates folder", [](const Choices& c) { return kMaking + c.vzory; }, 6,
       [](const Scene& s, const RecordingHost&) { return platform::FolderExists(s.Group()); }},
      {"Start menu", [](const Choices&) { return kStartMenu; }, 6 + 2 + 1,
       [](const Scene&, const RecordingHost&) {
         return ReadMachineString(kVantorKey, L"Name").has_value();
       }},
      {"registry", [](const Choices&) { return kRegistry; }, 10,
       [](const Scene&, const RecordingHost&) { return !FlagExists(); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.step);
    Scene scene({EngineStub()});
    WriteFlag();  // the engine step would clear it
    RecordingHost host(scene.choices);
    const std::wstring stopAt = row.stopAt(scene.choices);
    host.onStatus = [&](const std::wstring& status) {
      if (status.starts_with(stopAt)) host.StopInstall();
    };

    const install::InstallResult result = install::Install(scene.choices, host);

    EXPECT_EQ(result.ending, Ending::Stopped);
    EXPECT_EQ(result.unpackFolder, scene.choices.vantorPro + L"\\Instalace");
    // Nothing reported after the stop, nothing of the next step done.
    EXPECT_TRUE(host.statuses.back().starts_with(stopAt)) << platform::Utf8(host.statuses.back());
    EXPECT_EQ(host.position, row.position);
    EXPECT_FALSE(row.nextStepRan(scene, host));
    EXPECT_FALSE(platform::FileExists(scene.EngineTrace()));
    EXPECT_TRUE(host.errors.empty());
    EXPECT_TRUE(scene.boxes.Asked().empty());
  }
}

TEST(Sequence, EachFailureRoute) {
  using Choices = install::InstallChoices;
  using Text = std::function<std::wstring(const Choices&)>;
  auto nothing = [](Scene&) { return std::unique_ptr<LockedKey>(); };
  auto belowAFile = [](std::wstring Choices::*folder) {
    return [folder](Scene& s) {
      testutil::WriteFile(s.work / L"soubor.txt", "in the way");
      s.choices.*folder = s.work / L"soubor.txt\\Slozka";
      return std::unique_ptr<LockedKey>();
    };
  };
  const Text cannotUnpack = [](const Choices& c) {
    return L"Nelze rozbalit instalační soubory do složky \"" + c.vantorPro + L"\\Instalace\"!" +
           kEnds;
  };
  const Text preparing = [](const Choices&) { return kPreparing; };
  struct Row {
    const char* route;
    bool withEngine;
    std::function<std::unique_ptr<LockedKey>(Scene&)> arrange;
    Ending ending;
    Text message;  // fatal: the one the caller shows; else the one shown through the host
    Text lastStep;
  };
  const Row rows[] = {
      {"A: application folder on a missing drive", true,
       [](Scene& s) {
         s.choices.vantorPro = std::wstring(1, FreeDriveLetter()) + L":\\Vantor";
         return std::unique_ptr<LockedKey>();
       },
       Ending::Fatal, cannotUnpack, preparing},
      {"A: damaged archive", true,
       [](Scene& s) {
         const std::wstring archive = s.medium / L"Vaninst.pak";
         const std::string whole = testutil::ReadFile(archive);
         testutil::WriteFile(archive, whole.substr(0, whole.size() * 2 / 3));
         return std::unique_ptr<LockedKey>();
       },
       Ending::Fatal, cannotUnpack, preparing},
      {"C: relative application folder", true,
       [](Scene& s) {
         s.choices.vantorPro = L"Vantor";
         return std::unique_ptr<LockedKey>();
       },
       Ending::Fatal,
       [](const Choices&) { return L"Složku \"Vantor nelze vytvořit!\"" + std::wstring(kEnds); },
       preparing},
      {"C: projects folder", true, belowAFile(&Choices::projekty), Ending::Fatal,
       [](const Choices& c) { return L"Složku \"" + c.projekty + L" nelze vytvořit!\"" + kEnds; },
       [](const Choices& c) { return kMaking + c.projekty; }},
      {"C: templates folder", true, belowAFile(&Choices::vzory), Ending::Fatal,
       [](const Choices& c) { return L"Složku \"" + c.vzory + L" nelze vytvořit!\"" + kEnds; },
       [](const Choices& c) { return kMaking + c.vzory; }},
      {"D: no shell link object, the run goes on", true,
       [](Scene&) {
         return std::make_unique<LockedKey>(
             HKEY_CLASSES_ROOT, L"CLSID\\{00021401-0000-0000-C000-000000000046}", 0, L"D:P");
       },
       Ending::Done,
       [](const Choices&) { return L"Startovací nabídku se nepodařilo zaktualizovat!"; },
       [](const Choices&) { return kEngine; }},
      {"E: registry key that cannot be written", true,
       [](Scene&) {
         WriteMachineString(kVantorKey, L"Name", L"earlier");
         return std::make_unique<LockedKey>(HKEY_LOCAL_MACHINE, kVantorKey, KEY_WOW64_32KEY,
                                            L"D:P(A;;KR;;;WD)");
       },
       Ending::Fatal,
       [](const Choices&) {
         return L"Při zápisu do registru došlo k chybě!" + std::wstring(kEnds);
       },
       [](const Choices&) { return kRegistry; }},
      {"F: an engine setup program that cannot start", false, nothing, Ending::Fatal,
       [](const Choices&) {
         return L"Ovladač BDE se nepodařilo nainstalovat!" + std::wstring(kEnds);
       },
       [](const Choices&) { return kEngine; }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.route);
    // Without the stub the archive carries a Setup.exe that is only text.
    testutil::TempDir notAProgram;
    const std::wstring text = notAProgram / L"NotAProgram.exe";
    testutil::WriteFile(text, "no program, only text");
    Scene scene({row.withEngine ? EngineStub() : text});
    install::InstallResult result;
    RecordingHost host(scene.choices);
    {
      const std::unique_ptr<LockedKey> locked = row.arrange(scene);
      if (locked) {
        ASSERT_TRUE(locked->Locked());
      }
      result = install::Install(scene.choices, host);
    }
    EXPECT_EQ(result.ending, row.ending);
    const std::wstring message = row.message(scene.choices);
    if (row.ending == Ending::Fatal) {
      EXPECT_EQ(result.message, message);
      EXPECT_TRUE(host.errors.empty());  // the caller shows it
    } else {
      EXPECT_EQ(host.errors, std::vector<std::wstring>{message});
      EXPECT_TRUE(scene.EngineRan());
    }
    ASSERT_FALSE(host.Steps().empty());
    EXPECT_EQ(host.Steps().back(), row.lastStep(scene.choices));
    EXPECT_TRUE(scene.boxes.Asked().empty());
  }
}

// Only the archive's own engine setup runs, and the sequence hands back its
// process: a Setup.exe replaced after the unpacking (here, as the engine step
// begins) is not started.
TEST(Sequence, OnlyTheUnpackedEngineSetupStarts) {
  for (const bool swap : {false, true}) {
    SCOPED_TRACE(swap ? "swapped" : "as unpacked");
    Scene scene({EngineStub()});
    RecordingHost host(scene.choices);
    const std::wstring program = scene.choices.vantorPro + L"\\Instalace\\Utility\\Bde\\Setup.exe";
    host.onStatus = [&](const std::wstring& text) {
      if (!swap || text != kEngine) return;
      // Another program that would run and leave the same trace.
      ASSERT_TRUE(CopyFileW(EngineStub().c_str(), program.c_str(), FALSE));
      platform::UniqueFile file(CreateFileW(program.c_str(), FILE_APPEND_DATA, 0, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
      ASSERT_TRUE(file);
      DWORD written = 0;
      ASSERT_TRUE(WriteFile(file.get(), "tail", 4, &written, nullptr));
    };
    install::InstallResult result = install::Install(scene.choices, host);
    if (swap) {
      EXPECT_EQ(result.ending, Ending::Fatal);
      EXPECT_EQ(result.message, L"Ovladač BDE se nepodařilo nainstalovat!" + std::wstring(kEnds));
      EXPECT_FALSE(result.engine);
      EXPECT_FALSE(platform::FileExists(scene.EngineTrace()));
    } else {
      ASSERT_EQ(result.ending, Ending::Done);
      ASSERT_TRUE(result.engine);
      // The handle is the engine's: it is signalled once the program has ended.
      EXPECT_TRUE(PumpUntil(
          [&] { return WaitForSingleObject(result.engine.get(), 0) == WAIT_OBJECT_0; }, 10000));
      EXPECT_TRUE(scene.EngineRan());
    }
  }
}

// An old completion flag that cannot be deleted would end the wait before
// the engine's setup has run: step 14 reports it (message F) and starts
// nothing. The key is locked as the step begins: under Wine a locked key
// also bars the way to the keys below it, which step 13 writes.
TEST(Sequence, F_AnOldFlagThatStays) {
  Scene scene({EngineStub()});
  WriteMachineString(kQuorKey, kFlag, L"1");
  RecordingHost host(scene.choices);
  std::unique_ptr<LockedKey> locked;
  host.onStatus = [&](const std::wstring& text) {
    if (text == kEngine)
      locked = std::make_unique<LockedKey>(HKEY_LOCAL_MACHINE, kQuorKey, KEY_WOW64_32KEY,
                                           L"D:P(A;;KR;;;WD)");
  };
  const install::InstallResult result = install::Install(scene.choices, host);
  ASSERT_TRUE(locked && locked->Locked());
  locked.reset();
  EXPECT_EQ(result.ending, Ending::Fatal);
  EXPECT_EQ(result.message, L"Ovladač BDE se nepodařilo nainstalovat!" + std::wstring(kEnds));
  EXPECT_EQ(host.Steps().back(), kEngine);
  EXPECT_FALSE(platform::FileExists(scene.EngineTrace()));
  EXPECT_TRUE(FlagExists());
  EXPECT_TRUE(install::ClearCompletionFlag());
  EXPECT_FALSE(install::TakeCompletionFlag());
}

// ------------------------------------------------------------ small drives

// A drive of its own from tests/make-drives.sh (tmpfs, mounted as root),
// emptied before and after. Not Ready where it could not be mounted.
class SmallDrive {
 public:
  explicit SmallDrive(const wchar_t* name) : folder_(std::wstring(L"C:\\svdrives\\") + name) {
    if (!platform::FileExists(folder_ + L"\\drive")) return;
    Empty();
    drive_ = std::make_unique<MappedDrive>(folder_);
  }
  ~SmallDrive() { Empty(); }
  bool Ready() const { return drive_ && drive_->Mapped(); }
  std::wstring Root() const { return drive_->Root(); }

 private:
  void Empty() const {
    platform::FolderListing listing(folder_);
    platform::DirEntry entry;
    while (listing.Next(entry))
      if (entry.name != L"." && entry.name != L".." && entry.name != L"drive")
        testutil::RemoveTree(folder_ + L"\\" + entry.name);
  }
  std::wstring folder_;
  std::unique_ptr<MappedDrive> drive_;
};

#define NEED_DRIVE(drive) \
  if (!(drive).Ready()) GTEST_SKIP() << "no small drive: tests/make-drives.sh mounts it as root"

// A drive that cannot be written: step 4 fails, the work folder is missing.
TEST(Sequence, A_ApplicationFolderOnAReadOnlyVolume) {
  SmallDrive readOnly(L"ro");
  NEED_DRIVE(readOnly);
  Scene scene({EngineStub()});
  scene.choices.vantorPro = readOnly.Root() + L"Vantor";
  RecordingHost host(scene.choices);
  const install::InstallResult result = install::Install(scene.choices, host);
  EXPECT_EQ(result.ending, Ending::Fatal);
  EXPECT_EQ(result.message, L"Nelze rozbalit instalační soubory do složky \"" +
                                scene.choices.vantorPro + L"\\Instalace\"!" + kEnds);
  EXPECT_FALSE(platform::FolderExists(scene.work / L"Projekty"));
}

// Room is counted on the drive each copy goes to, in whole clusters, less
// what a copy of a second run replaces. The drive holds 24 MB.
TEST(Sequence, RoomIsCountedOnEachDrive) {
  SmallDrive small(L"small");
  NEED_DRIVE(small);
  struct Row {
    const char* what;
    MediumSpec layout;
    bool appOnTheDrive;
    bool templatesOnTheDrive;
    int runs;
    bool fits;
  };
  const Row rows[] = {
      {"14 MB of templates to C:", {EngineStub(), 0, 0, 14}, true, false, 1, true},
      {"14 MB of templates, twice there", {EngineStub(), 0, 0, 14}, true, true, 1, false},
      // 6.9 MB in bytes, 9.4 MB in the drive's 4 KB clusters.
      {"8 MB and 1150 small templates", {EngineStub(), 1150, 0, 8}, true, true, 1, false},
      // The second run's copies fit only as they replace the first one's.
      {"13 MB of templates, installed twice", {EngineStub(), 0, 0, 0, 13}, false, true, 2, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Scene scene(row.layout);
    if (row.appOnTheDrive) scene.choices.vantorPro = small.Root() + L"Vantor";
    if (row.templatesOnTheDrive) scene.choices.vzory = small.Root() + L"Vzory";
    for (int run = 0; run < row.runs; ++run) {
      RecordingHost host(scene.choices);
      const install::InstallResult result = install::Install(scene.choices, host);
      EXPECT_EQ(result.ending, row.fits ? Ending::Done : Ending::Fatal) << result.message;
      if (!row.fits) {
        EXPECT_FALSE(platform::FolderExists(scene.choices.vantorPro));
        continue;
      }
      if (row.layout.largeTemplateMb) {
        EXPECT_EQ(testutil::ReadFile(scene.choices.vzory + L"\\Velky.vzr").size(),
                  size_t(row.layout.largeTemplateMb) << 20);
      }
      EXPECT_TRUE(platform::FileExists(scene.choices.vzory + L"\\Faktura.vzr"));
      ASSERT_TRUE(scene.EngineRan());
    }
    testutil::RemoveTree(scene.choices.vantorPro);
    testutil::RemoveTree(scene.choices.vzory);
  }
}

}  // namespace
}  // namespace installtest

namespace installtest {
namespace {

using testutil::ReadFile;

// Hostile ground, each row through the whole sequence: folders found in
// place, links swapped in from the Unix side while the run works, an
// archive that fails over files of a run before. What was there stays, and
// nothing is written or removed through a link.
TEST(Sequence, HostileGroundIsRefusedOrNeverWrittenThrough) {
  using Choices = install::InstallChoices;
  const auto cannotUnpack = [](const Choices& c) {
    return L"Nelze rozbalit instalační soubory do složky \"" + c.vantorPro + L"\\Instalace\"!" +
           std::wstring(kEnds);
  };
  struct Row {
    const char* ground;
    // Before the run; what it returns lives through the run.
    std::function<std::shared_ptr<void>(Scene&)> arrange;
    std::function<void(Scene&, RecordingHost&, const std::wstring&)> onStatus;
    Ending ending;
    std::function<std::wstring(const Choices&)> message;
    std::function<void(const Scene&)> check;
  };
  const auto nothing = [](Scene&, RecordingHost&, const std::wstring&) {};
  const Row rows[] = {
      {"a pre-made Instalace holding a user's file of an archive name",
       [](Scene& s) {
         testutil::MakeDirs(s.choices.vantorPro + L"\\Instalace");
         testutil::WriteFile(s.choices.vantorPro + L"\\Instalace\\VantorPro.exe", "mine");
         return std::shared_ptr<void>();
       },
       nothing, Ending::Fatal, cannotUnpack,
       [](const Scene& s) {
         const std::wstring work = s.choices.vantorPro + L"\\Instalace";
         EXPECT_EQ(ReadFile(work + L"\\VantorPro.exe"), "mine");
         EXPECT_EQ(platform::GetAttributes(work + L"\\" + install::kWorkFolderMark),
                   INVALID_FILE_ATTRIBUTES);
         EXPECT_FALSE(platform::FileExists(s.choices.vantorPro + L"\\VantorPro.exe"));
       }},
      {"a pre-made Instalace with a file beside the engine's setup program",
       [](Scene& s) {
         testutil::MakeDirs(s.choices.vantorPro + L"\\Instalace\\Utility\\Bde");
         testutil::WriteFile(s.choices.vantorPro + L"\\Instalace\\Utility\\Bde\\version.dll",
                             "planted");
         return std::shared_ptr<void>();
       },
       nothing, Ending::Fatal, cannotUnpack,
       [](const Scene& s) {
         const std::wstring bde = s.choices.vantorPro + L"\\Instalace\\Utility\\Bde";
         EXPECT_EQ(ReadFile(bde + L"\\version.dll"), "planted");
         EXPECT_FALSE(platform::FileExists(bde + L"\\Setup.exe"));
       }},
      {"the application folder a drive root with an Instalace of its own",
       [](Scene& s) -> std::shared_ptr<void> {
         testutil::MakeDirs(s.work / L"Disk\\Instalace\\Data");
         testutil::WriteFile(s.work / L"Disk\\Instalace\\Data\\Kurzy.dat", "my rates");
         auto drive = std::make_shared<MappedDrive>(s.work / L"Disk");
         if (drive->Mapped()) s.choices.vantorPro = drive->Root();
         return drive;
       },
       nothing, Ending::Fatal, cannotUnpack,
       [](const Scene& s) {
         EXPECT_EQ(ReadFile(s.work / L"Disk\\Instalace\\Data\\Kurzy.dat"), "my rates");
         EXPECT_FALSE(platform::FileExists(s.work / L"Disk\\VantorPro.exe"));
       }},
      {"the application folder swapped for a link between the unpacking and the copy",
       [](Scene& s) {
         testutil::MakeDirs(s.work / L"Elsewhere");
         testutil::WriteFile(s.work / L"Elsewhere\\VantorPro.exe", "theirs");
         return std::shared_ptr<void>();
       },
       [](Scene& s, RecordingHost&, const std::wstring& status) {
         if (status == kMaking + s.choices.vantorPro) {
           ASSERT_TRUE(testutil::SwapForLink(s.choices.vantorPro, s.work / L"Elsewhere"));
         }
       },
       // Windows refuses the swap of a held folder. Wine lets it happen and
       // then names a file in the moved folder by its old path, which no
       // longer leads there: the copy fails and stops the installation.
       Ending::Stopped, [](const Choices&) { return std::wstring(); },
       [](const Scene& s) {
         EXPECT_EQ(ReadFile(s.work / L"Elsewhere\\VantorPro.exe"), "theirs");
         EXPECT_FALSE(platform::FileExists(s.work / L"Elsewhere\\VantorPro.hlp"));
         EXPECT_FALSE(platform::FolderExists(s.work / L"Elsewhere\\Instalace"));
         EXPECT_FALSE(platform::FolderExists(s.choices.projekty));
       }},
      {"an 8.3 alias beside its long name",
       [](Scene& s) {
         s.payload.files.push_back({"VANTOR~1.EXE", "the other program"});
         WriteArchive(s.medium / L"Vaninst.pak", s.payload);
         return std::shared_ptr<void>();
       },
       nothing, Ending::Fatal, cannotUnpack,
       [](const Scene& s) { EXPECT_FALSE(platform::FolderExists(s.choices.vantorPro)); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.ground);
    Scene scene({EngineStub()});
    const std::shared_ptr<void> kept = row.arrange(scene);
    RecordingHost host(scene.choices);
    host.onStatus = [&](const std::wstring& status) { row.onStatus(scene, host, status); };
    install::InstallResult result = install::Install(scene.choices, host);
    EXPECT_EQ(result.ending, row.ending);
    EXPECT_EQ(result.message, row.message(scene.choices));
    result.workFolder.Release();
    row.check(scene);
  }
}

// A run stopped after the unpacking leaves its own folder held; the next
// run's archive fails half-way through its writing. Every file of the run
// before keeps its content, and the folder stays the installer's own.
TEST(Sequence, AFailedUnpackingLeavesTheFilesOfTheRunBefore) {
  Scene scene({EngineStub()});
  const install::InstallChoices& c = scene.choices;
  RecordingHost host(c);
  host.onStatus = [&](const std::wstring& status) {
    if (status == kMaking + c.vantorPro) host.abort = true;
  };
  install::InstallResult first = install::Install(c, host);
  ASSERT_EQ(first.ending, Ending::Stopped);
  const std::wstring work = c.vantorPro + L"\\Instalace";
  ASSERT_EQ(ReadFile(work + L"\\VantorPro.exe"), "the program");

  fileopstest::RawEntry wrongCrc = fileopstest::Stored("Vzory/Faktura.vzr", "new invoice");
  wrongCrc.crc ^= 1;
  fileopstest::WriteRawZip(
      scene.medium / L"Vaninst.pak",
      {fileopstest::Stored("VantorPro.exe", "a new program"),
       fileopstest::Deflated("Utility/Bde/Setup.exe", ReadFile(EngineStub())), wrongCrc});
  host.onStatus = {};
  install::InstallResult second = install::Install(c, host, std::move(first.workFolder));
  EXPECT_EQ(second.ending, Ending::Fatal);
  EXPECT_EQ(ReadFile(work + L"\\VantorPro.exe"), "the program");
  EXPECT_EQ(ReadFile(work + L"\\Vzory\\Faktura.vzr"), "invoice");
  EXPECT_TRUE(platform::FolderExists(work + L"\\" + install::kWorkFolderMark));
  EXPECT_TRUE(platform::FileExists(work + L"\\Utility\\Bde\\Setup.exe"));
}

}  // namespace
}  // namespace installtest

namespace installtest {
namespace {

// The medium is known by what it is, not by how it is spelt: reached
// through a drive letter of its own, a medium inside the work folder (here
// its templates folder) keeps its files through the removal.
TEST(Sequence, TheMediumIsKeptWhateverNameLeadsToIt) {
  Scene scene({EngineStub()});
  RecordingHost host(scene.choices);
  install::InstallResult result = install::Install(scene.choices, host);
  ASSERT_EQ(result.ending, Ending::Done);
  ASSERT_TRUE(scene.EngineRan());
  const std::wstring work = scene.choices.vantorPro + L"\\Instalace";
  MappedDrive medium(work + L"\\Vzory");
  ASSERT_TRUE(medium.Mapped());
  const platform::FileIdentity mediumFolder = platform::IdentityAt(medium.Root());
  ASSERT_TRUE(mediumFolder.Known());
  ASSERT_EQ(mediumFolder, platform::IdentityAt(work + L"\\Vzory"));
  DeleteFileW((work + L"\\Utility\\Bde\\Setup.exe.ran").c_str());
  EXPECT_TRUE(fileops::RemoveUnpacked(result.workFolder, result.unpackedEntries, {mediumFolder},
                                      {install::kWorkFolderMark}));
  EXPECT_EQ(testutil::ReadFile(work + L"\\Vzory\\Faktura.vzr"), "invoice");
  EXPECT_FALSE(platform::FileExists(work + L"\\VantorPro.exe"));
  EXPECT_FALSE(platform::FolderExists(work + L"\\Utility"));
}

}  // namespace
}  // namespace installtest
