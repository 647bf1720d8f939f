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
#include "install/Ground.h"
#include "install/Install.h"
#include "install/Journal.h"
#include "platform/Access.h"
#include "platform/Handles.h"
#include "platform/Platform.h"
#include "tests/fileops/FileOpsTestSupport.h"
#include "tests/install/MediumSupport.h"
#include "tests/install/Scene.h"
#include "tests/support/TestUtil.h"

namespace installtest {
namespace {

using install::Ending;

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

// A part of a copy that fails is shown through the host in the
// installation's words; a folder's failure lets the copy go on, a file's
// stops it.
TEST(Sequence, CopyFailuresShownAsTheyCome) {
  testutil::TempDir tmp;
  const std::wstring source = tmp / L"src", plain = tmp / L"plainfile";
  fileopstest::Put(source + L"\\a.txt", "A");
  fileopstest::Put(source + L"\\z.txt", "Z");
  testutil::WriteFile(plain, "a file where a folder should be");
  testutil::MakeDirs(tmp / L"blocked\\a.txt");  // a folder in the file's place
  struct Row {
    std::wstring from, to;
    std::vector<std::wstring> errors;
    bool stops;
  } rows[] = {
      {source,
       plain + L"\\dst",
       {L"Složku \"" + plain + L"\\dst\" nelze vytvořit!",
        L"Kopírování složky \"" + source + L"\" selhalo!"},
       false},
      {tmp / L"nothing",
       tmp / L"dst",
       {L"Kopírování složky \"" + (tmp / L"nothing") + L"\" selhalo!"},
       false},
      {source, tmp / L"blocked", {L"Soubor \"" + source + L"\\a.txt\" nelze zkopírovat!"}, true},
  };
  for (const Row& row : rows) {
    const install::InstallChoices choices;
    RecordingHost host(choices);
    host.ClearStopRequest();
    testutil::ScriptedBoxes boxes;
    const auto failed = fileops::CopyDir(host, row.from, row.to, false);
    EXPECT_EQ(row.errors, host.errors) << platform::Utf8(row.to);
    EXPECT_EQ(row.errors.size(), failed.size());
    EXPECT_EQ(row.stops, host.abort);
    EXPECT_TRUE(boxes.Asked().empty());  // the host shows them, nothing else
  }
}

// No Programs folder known at all: the run makes no group, least of all
// one at the root of the drive it was started from, and completes.
TEST(Sequence, NoProgramsFolderMakesNoGroup) {
  Scene scene({EngineStub()});
  scene.choices.programsFolder.clear();
  const std::wstring atRoot = platform::RootOf(platform::CurrentDir()) + scene.choices.folderName;
  ASSERT_FALSE(platform::FolderExists(atRoot));
  RecordingHost host(scene.choices);
  const install::InstallResult result = install::Install(scene.choices, host);
  EXPECT_EQ(result.ending, Ending::Done) << testing::PrintToString(result.message);
  EXPECT_FALSE(platform::FolderExists(atRoot));
  EXPECT_TRUE(host.errors.empty());
  WaitForSingleObject(result.engine.get(), 30000);
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
  // The keys the lock barred could not go back: named, kept, and put back
  // by the next start once they can be.
  EXPECT_TRUE(
      result.message.starts_with(L"Ovladač BDE se nepodařilo nainstalovat!" + std::wstring(kEnds)));
  EXPECT_EQ(install::RecoverUnfinishedRun().state, install::Recovery::State::Clean);
  EXPECT_EQ(host.Steps().back(), kEngine);
  EXPECT_FALSE(platform::FileExists(scene.EngineTrace()));
  EXPECT_TRUE(FlagExists());
  EXPECT_TRUE(install::ClearCompletionFlag());
  EXPECT_FALSE(install::TakeCompletionFlag());
}

// ------------------------------------------------------------ small drives

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

// Room is counted on the drive each copy goes to, in whole clusters, in
// full also where a second run replaces files, once for a file moved into
// place on the drive it was unpacked on. The drive holds 24 MB.
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
      // Unpacked and moved into place on the same drive: counted once.
      {"20 MB of templates, moved there", {EngineStub(), 0, 0, 20}, true, true, 1, true},
      {"14 MB of templates, copied there", {EngineStub(), 0, 0, 14}, false, true, 1, true},
      // 21.9 MB in bytes, 25 MB in the drive's 4 KB clusters.
      {"13 MB and 3000 small templates", {EngineStub(), 3000, 0, 13}, true, true, 1, false},
      // What a second run replaces stays until it is complete: its copies
      // need their room in full beside the first one's.
      {"13 MB of templates, installed twice", {EngineStub(), 0, 0, 0, 13}, false, true, 2, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Scene scene(row.layout);
    if (row.appOnTheDrive) scene.choices.vantorPro = small.Root() + L"Vantor";
    if (row.templatesOnTheDrive) scene.choices.vzory = small.Root() + L"Vzory";
    for (int run = 0; run < row.runs; ++run) {
      RecordingHost host(scene.choices);
      const install::InstallResult result = install::Install(scene.choices, host);
      // Only the last run is judged by the row: those before it fit.
      const bool fits = row.fits || run + 1 < row.runs;
      EXPECT_EQ(result.ending, fits ? Ending::Done : Ending::Fatal) << result.message;
      if (!fits) {
        EXPECT_TRUE(result.message.starts_with(L"Na disku " + small.Root() + L" není pro " +
                                               L"instalaci dost místa!"))
            << testing::PrintToString(result.message);
        EXPECT_EQ(platform::FolderExists(scene.choices.vantorPro), run > 0);
        continue;
      }
      if (row.layout.largeTemplateMb) {
        EXPECT_EQ(testutil::ReadFile(scene.choices.vzory + L"\\Velky.vzr").size(),
                  size_t(row.layout.largeTemplateMb) << 20);
      }
      EXPECT_TRUE(platform::FileExists(scene.choices.vzory + L"\\Faktura.vzr"));
      // Moved out of the work folder on its drive; copied from it to another.
      EXPECT_EQ(platform::FileExists(scene.choices.vantorPro + L"\\Instalace\\Vzory\\Faktura.vzr"),
                row.appOnTheDrive != row.templatesOnTheDrive);
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

bool NothingIn(const std::wstring& folder) {
  platform::FolderListing listing(folder);
  for (platform::DirEntry entry; listing.Next(entry);)
    if (entry.name != L"." && entry.name != L"..") return false;
  return true;
}

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
  // A work folder found in place: what to do is said, nothing is touched.
  const auto notOurs = [](const Choices& c) {
    return L"Složka \"" + c.vantorPro + L"\\Instalace\" již existuje a instalační program ji " +
           L"nevytvořil!\rOdstraňte ji, nebo zvolte pro součást \"VantorPro\" jinou složku." +
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
       nothing, Ending::Fatal, notOurs,
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
       nothing, Ending::Fatal, notOurs,
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
       nothing, Ending::Fatal, notOurs,
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
       // longer leads there: the staged files cannot take their names, the
       // person is asked and (here) cancels, and the run goes back.
       Ending::Cancelled, [](const Choices&) { return std::wstring(); },
       [](const Scene& s) {
         EXPECT_EQ(ReadFile(s.work / L"Elsewhere\\VantorPro.exe"), "theirs");
         EXPECT_FALSE(platform::FileExists(s.work / L"Elsewhere\\VantorPro.hlp"));
         EXPECT_FALSE(platform::FolderExists(s.work / L"Elsewhere\\Instalace"));
         EXPECT_FALSE(platform::FolderExists(s.choices.projekty));
       }},
      {"a Start-menu group that is a link",
       [](Scene& s) {
         testutil::MakeDirs(s.work / L"Elsewhere");
         testutil::MakeDirs(s.Programs() + L"\\VantorPro");
         EXPECT_TRUE(testutil::SwapForLink(s.Programs() + L"\\VantorPro", s.work / L"Elsewhere"));
         return std::shared_ptr<void>();
       },
       nothing, Ending::Done, [](const Choices&) { return std::wstring(); },
       [](const Scene& s) {
         EXPECT_FALSE(platform::FileExists(s.work / L"Elsewhere\\VantorPro.lnk"));
         EXPECT_TRUE(NothingIn(s.work / L"Elsewhere"));
       }},
      {"the Start-menu group swapped for a link once its shortcuts are written",
       [](Scene& s) {
         testutil::MakeDirs(s.work / L"Elsewhere");
         return std::shared_ptr<void>();
       },
       [](Scene& s, RecordingHost&, const std::wstring& status) {
         if (status == L"Zapisuji informace do registru") {
           ASSERT_TRUE(testutil::SwapForLink(s.Programs() + L"\\VantorPro", s.work / L"Elsewhere"));
         }
       },
       // As for the application folder above: under Wine the shortcuts
       // cannot take their names in the moved group, and the run goes back.
       Ending::Cancelled, [](const Choices&) { return std::wstring(); },
       [](const Scene& s) {
         EXPECT_TRUE(NothingIn(s.work / L"Elsewhere"));
         EXPECT_FALSE(platform::FileExists(s.Programs() + L"\\VantorPro.moved\\VantorPro.lnk"));
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
  // The runs' journal is the test's: the unpacking's own guarantee shows
  // before any rollback.
  install::Journal journal;
  install::InstallResult first = install::Install(c, host, {}, &journal);
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
  install::InstallResult second = install::Install(c, host, std::move(first.workFolder), &journal);
  EXPECT_EQ(second.ending, Ending::Fatal);
  EXPECT_EQ(ReadFile(work + L"\\VantorPro.exe"), "the program");
  EXPECT_EQ(ReadFile(work + L"\\Vzory\\Faktura.vzr"), "invoice");
  EXPECT_TRUE(platform::FolderExists(work + L"\\" + install::kWorkFolderMark));
  EXPECT_TRUE(platform::FileExists(work + L"\\Utility\\Bde\\Setup.exe"));
  // The program's end then takes both runs back.
  EXPECT_TRUE(journal.RollBack({}));
  EXPECT_FALSE(platform::FolderExists(c.vantorPro));
}

}  // namespace
}  // namespace installtest

namespace installtest {
namespace {

// The medium is known by what it is, not by how it is spelt: reached
// through a drive letter of its own, a medium inside the work folder (here
// its examples folder, which no copy moves away) keeps its files through the
// removal.
TEST(Sequence, TheMediumIsKeptWhateverNameLeadsToIt) {
  Scene scene({EngineStub()});
  RecordingHost host(scene.choices);
  install::InstallResult result = install::Install(scene.choices, host);
  ASSERT_EQ(result.ending, Ending::Done);
  ASSERT_TRUE(scene.EngineRan());
  const std::wstring work = scene.choices.vantorPro + L"\\Instalace";
  MappedDrive medium(work + L"\\Priklady");
  ASSERT_TRUE(medium.Mapped());
  const platform::FileIdentity mediumFolder = platform::IdentityAt(medium.Root());
  ASSERT_TRUE(mediumFolder.Known());
  ASSERT_EQ(mediumFolder, platform::IdentityAt(work + L"\\Priklady"));
  DeleteFileW((work + L"\\Utility\\Bde\\Setup.exe.ran").c_str());
  // What holds the medium stays; everything else of the work folder goes.
  EXPECT_FALSE(result.workFolder.RemoveTree({mediumFolder}));
  EXPECT_EQ(testutil::ReadFile(work + L"\\Priklady\\Priklad1.vpr"), "example");
  EXPECT_FALSE(platform::FileExists(work + L"\\VantorPro.exe"));
  EXPECT_FALSE(platform::FolderExists(work + L"\\Utility"));
}

}  // namespace
}  // namespace installtest

namespace installtest {
namespace {

// Ends a run as the finish would: the engine done, the work folder gone.
void Finish(const Scene& scene, install::InstallResult& result) {
  ASSERT_TRUE(scene.EngineRan());
  DeleteFileW(scene.EngineTrace().c_str());
  ASSERT_TRUE(result.workFolder.RemoveTree());
  install::RecoverUnfinishedRun();  // the journal of the complete run goes
}

// What another account's folder holds, untouched.
void ExpectTheirs(const std::wstring& folder) {
  platform::FolderListing listing(folder);
  platform::DirEntry entry;
  std::vector<std::wstring> names;
  while (listing.Next(entry))
    if (entry.name != L"." && entry.name != L"..") names.push_back(entry.name);
  EXPECT_EQ(names, std::vector<std::wstring>{L"Faktura.vzr"});
  EXPECT_EQ(ReadFile(folder + L"\\Faktura.vzr"), "theirs");
}

std::wstring LinkMet(const std::wstring& folder) {
  return L"Složka \"" + folder +
         L"\" z předchozí instalace byla nahrazena odkazem na jiné místo.\rOdstraňte odkaz nebo "
         L"zvolte jinou složku." +
         kEnds;
}

// A second installation that finds what the first one made replaced by a
// link (made from the Unix side, as another account could) ends with a
// message before it writes anything, and nothing is written through the
// link. A link of the person's own, there before the first installation, is
// followed as it was then.
TEST(Sequence, ALinkInPlaceOfWhatTheFirstInstallationMadeIsRefused) {
  using Path = std::function<std::wstring(const Scene&)>;
  struct Row {
    const char* what;
    std::function<void(Scene&)> choose;  // before the first installation
    Path replaced;                       // replaced by a link after it; none: no link
  };
  const auto asIs = [](Scene&) {};
  const Row rows[] = {
      {"the templates folder", asIs, [](const Scene& s) { return s.choices.vzory; }},
      {"the projects folder", asIs, [](const Scene& s) { return s.choices.projekty; }},
      {"the application folder", asIs, [](const Scene& s) { return s.choices.vantorPro; }},
      {"a level the first installation made above the templates",
       [](Scene& s) { s.choices.vzory = s.work / L"Data\\Vzory"; },
       [](const Scene& s) { return s.work / L"Data"; }},
      {"the person's own link in the templates path",
       [](Scene& s) {
         testutil::MakeDirs(s.work / L"Mine");
         testutil::MakeDirs(s.work / L"Target");
         ASSERT_TRUE(testutil::SwapForLink(s.work / L"Mine", s.work / L"Target"));
         s.choices.vzory = s.work / L"Mine\\Vzory";
       },
       nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Scene scene({EngineStub()});
    testutil::MakeDirs(scene.work / L"Elsewhere");
    testutil::WriteFile(scene.work / L"Elsewhere\\Faktura.vzr", "theirs");
    row.choose(scene);
    RecordingHost host(scene.choices);
    install::InstallResult first = install::Install(scene.choices, host);
    ASSERT_EQ(first.ending, Ending::Done) << platform::Utf8(first.message);
    Finish(scene, first);
    if (row.replaced) {
      ASSERT_TRUE(testutil::SwapForLink(row.replaced(scene), scene.work / L"Elsewhere"));
    }

    install::InstallResult second = install::Install(scene.choices, host);
    if (row.replaced) {
      EXPECT_EQ(second.ending, Ending::Fatal);
      EXPECT_EQ(second.message, LinkMet(row.replaced(scene)));
      EXPECT_EQ(host.Steps().back(), kPreparing);  // before the unpacking
      ExpectTheirs(scene.work / L"Elsewhere");
    } else {
      ASSERT_EQ(second.ending, Ending::Done) << platform::Utf8(second.message);
      EXPECT_EQ(ReadFile(scene.work / L"Target\\Vzory\\Faktura.vzr"), "invoice");
      Finish(scene, second);
    }
  }
}

// An application or templates folder found in place that another account
// owns or may change, or below a level others may change, is refused before
// anything is written. Wine shows a folder's Unix owner and mode as its
// owner and list: another owner, or a folder everyone may write.
TEST(Sequence, GroundAnotherAccountMayChangeIsRefused) {
  using Path = std::function<std::wstring(const Scene&)>;
  struct Row {
    const char* what;
    std::function<void(Scene&)> choose;
    Path folder;  // made before the run, then changed from the Unix side
    const wchar_t* command;
    platform::FolderTrust trust;
    const wchar_t* why;
  };
  const auto asIs = [](Scene&) {};
  const wchar_t* others =
      L"\" mohou měnit i jiné účty tohoto počítače, které by v ní mohly zaměnit instalované "
      L"soubory.";
  const Row rows[] = {
      {"an application folder everyone may write", asIs,
       [](const Scene& s) { return s.choices.vantorPro; }, L"chmod 0777",
       platform::FolderTrust::OthersMayChange, others},
      {"an application folder of another account", asIs,
       [](const Scene& s) { return s.choices.vantorPro; }, L"chown 1001",
       platform::FolderTrust::ForeignOwner,
       L"\" patří jinému účtu tohoto počítače, který by v ní mohl zaměnit instalované soubory."},
      {"a templates folder everyone may write", asIs,
       [](const Scene& s) { return s.choices.vzory; }, L"chmod 0777",
       platform::FolderTrust::OthersMayChange, others},
      {"a new application folder below a level everyone may write",
       [](Scene& s) { s.choices.vantorPro = s.work / L"Nad\\Vantor"; },
       [](const Scene& s) { return s.work / L"Nad"; }, L"chmod 0777",
       platform::FolderTrust::OthersMayChange, others},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Scene scene({EngineStub()});
    row.choose(scene);
    const std::wstring folder = row.folder(scene);
    testutil::MakeDirs(folder);
    const auto changed = [&] {
      const platform::UniqueFile handle(CreateFileW(folder.c_str(), READ_CONTROL, 7, nullptr,
                                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                                    nullptr));
      return platform::JudgeFolder(handle.get(), platform::ChangeOf::Contents) == row.trust;
    };
    ASSERT_TRUE(testutil::RunUnixOn(row.command, folder, changed));
    RecordingHost host(scene.choices);
    const install::InstallResult result = install::Install(scene.choices, host);
    EXPECT_EQ(result.ending, Ending::Fatal);
    EXPECT_EQ(result.message,
              (row.trust == platform::FolderTrust::ForeignOwner ? L"Složka \"" : L"Složku \"") +
                  folder + row.why +
                  L"\rZvolte jinou složku nebo ji zabezpečte tak, aby ji mohli měnit jen "
                  L"správci." +
                  kEnds);
    EXPECT_EQ(host.Steps().back(), kPreparing);
    EXPECT_FALSE(platform::FolderExists(scene.choices.vantorPro + L"\\Instalace"));
    EXPECT_FALSE(platform::FolderExists(scene.choices.projekty));
  }
}

// A link on the person's path is judged as itself: by its owner and by who
// may put another in its place (the list of the folder holding it). One only
// administrators control is followed, and the installation lands where it
// leads; any other is refused before anything is written, for every place.
// Wine opens a Unix link's target even when asked for the link itself, so
// there the link shows its target's owner; the folder holding it is its own.
TEST(Sequence, ALinkOnThePersonsPathIsJudgedAsItself) {
  enum class Change { None, TargetOwner, Holder };
  struct Row {
    const char* what;
    install::Place place;
    Change change;
    const wchar_t* why;  // empty: followed
  };
  const wchar_t* foreign = L"\" je odkaz na jiné místo, který vytvořil jiný účet tohoto počítače.";
  const wchar_t* others =
      L"\" je odkaz na jiné místo, který mohou změnit i jiné účty tohoto počítače.";
  const Row rows[] = {
      {"application folder, a link administrators control", install::Place::Application,
       Change::None, L""},
      {"application folder, a link to another account's folder", install::Place::Application,
       Change::TargetOwner, foreign},
      {"application folder, a link in a folder others may change", install::Place::Application,
       Change::Holder, others},
      {"projects folder, a link to another account's folder", install::Place::Projects,
       Change::TargetOwner, foreign},
      {"level above the templates, a link in a folder others may change", install::Place::Templates,
       Change::Holder, others},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Scene scene({EngineStub()});
    const std::wstring holder = scene.work / L"Nad", target = scene.work / L"Cil";
    const std::wstring link = holder + L"\\Odkaz";
    testutil::MakeDirs(link);
    testutil::MakeDirs(target);
    ASSERT_TRUE(testutil::SwapForLink(link, target));
    std::wstring& typed = row.place == install::Place::Application ? scene.choices.vantorPro
                          : row.place == install::Place::Projects  ? scene.choices.projekty
                                                                   : scene.choices.vzory;
    typed = row.place == install::Place::Templates ? link + L"\\Vzory" : link;
    const std::wstring judged = row.change == Change::Holder ? holder : target;
    const platform::FolderTrust meant = row.change == Change::None ? platform::FolderTrust::Sound
                                        : row.change == Change::Holder
                                            ? platform::FolderTrust::OthersMayChange
                                            : platform::FolderTrust::ForeignOwner;
    if (row.change != Change::None) {
      ASSERT_TRUE(testutil::RunUnixOn(
          row.change == Change::Holder ? L"chmod 0777" : L"chown 1001", judged, [&] {
            const platform::UniqueFile handle(CreateFileW(judged.c_str(), READ_CONTROL, 7, nullptr,
                                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                                          nullptr));
            return platform::JudgeFolder(handle.get(), platform::ChangeOf::Above) == meant;
          }));
    }
    // Judged on the handles the run judges: the link opened as itself, and
    // the folder holding it.
    const platform::UniqueFile own(
        CreateFileW(link.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES, 7, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    const platform::UniqueFile above(CreateFileW(holder.c_str(), READ_CONTROL, 7, nullptr,
                                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                                 nullptr));
    EXPECT_EQ(platform::JudgeLink(own.get(), above.get(), false), meant);

    RecordingHost host(scene.choices);
    install::InstallResult result = install::Install(scene.choices, host);
    if (*row.why) {
      EXPECT_EQ(result.ending, Ending::Fatal);
      EXPECT_EQ(result.message, L"Složka \"" + link + row.why +
                                    L"\rOdstraňte odkaz nebo zvolte jinou složku." + kEnds);
      EXPECT_EQ(host.Steps().back(), kPreparing);
      EXPECT_FALSE(platform::FolderExists(target + L"\\Instalace"));
    } else {
      ASSERT_EQ(result.ending, Ending::Done) << platform::Utf8(result.message);
      EXPECT_TRUE(platform::FileExists(target + L"\\VantorPro.exe"));
      Finish(scene, result);
    }
  }
}

}  // namespace
}  // namespace installtest

namespace installtest {
namespace {

// The uninstaller that cannot be written is said as such, not as a folder
// that cannot be made: here every name it could take is taken meanwhile.
TEST(Sequence, AnUninstallerThatCannotBeWrittenHasItsOwnMessage) {
  Scene scene({EngineStub()});
  const install::InstallChoices& c = scene.choices;
  RecordingHost host(c);
  install::Journal journal;
  host.onStatus = [&](const std::wstring& status) {
    if (status != kMaking + c.vantorPro) return;
    for (int n = 0; n < 100; ++n)
      testutil::MakeDirs(c.vantorPro + L"\\" + journal.Prefix() + std::to_wstring(n) +
                         L"-Odinstalovat.exe");
  };
  install::InstallResult result = install::Install(c, host, {}, &journal);
  EXPECT_EQ(result.ending, Ending::Fatal);
  EXPECT_EQ(result.message, L"Nelze zapsat odinstalační program \"" + c.vantorPro +
                                L"\\Odinstalovat.exe\"!" + kEnds);
  result.workFolder.Release();
  journal.RollBack({});
}

}  // namespace
}  // namespace installtest
