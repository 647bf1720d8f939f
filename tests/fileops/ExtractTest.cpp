#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>

#include "fileops/FileOps.h"
#include "fileops/UnZip32.h"
#include "tests/fileops/FileOpsTestSupport.h"
#include "tests/support/TestUtil.h"

using fileops::ExtractResult;
using fileopstest::Deflated;
using fileopstest::Installable;
using fileopstest::MakeZip;
using fileopstest::Put;
using fileopstest::RawEntry;
using fileopstest::Stored;
using fileopstest::TestContext;
using fileopstest::WriteRawZip;
using fileopstest::ZipItem;
using testutil::IsEmptyFolder;
using testutil::Names;
using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;

namespace {

std::string Big(size_t size) {
  std::string text;
  text.reserve(size);
  unsigned x = 12345;
  while (text.size() < size) {
    x = x * 1103515245u + 12345u;
    text += static_cast<char>('a' + (x >> 16) % 26);
  }
  return text;
}

class ExtractTest : public testing::Test {
 protected:
  std::wstring Archive() const { return tmp / L"Vaninst.pak"; }
  std::wstring Target() const { return tmp / L"Instalace"; }
  void SetUp() override { testutil::MakeDirs(Target()); }
  TempDir tmp;
  TestContext ctx;
  testutil::ScriptedBoxes boxes;  // any question to the user would show up here
};

TEST_F(ExtractTest, NestedFoldersUnpackedWithEachEntryNamedInOrder) {
  const std::string large = Big(3 * 1024 * 1024);  // several buffer fills
  MakeZip(Archive(), Installable({{"readme.txt", "hello"},
                                  {"Vzory/", "", true},
                                  {"Vzory/a/sablona.vzr", "template"},
                                  {"Utility/Bde/Setup.exe", "MZ fake"},
                                  {"Prazdna/", "", true},
                                  {"data/large.bin", large},
                                  {"data/stored.bin", "stored as is", false, true},
                                  {"Nápověda.hlp", "help"}}));
  EXPECT_EQ(ExtractResult::Complete, fileops::ExtractArchive(ctx, Archive(), Target()));
  EXPECT_EQ("hello", ReadFile(Target() + L"\\readme.txt"));
  EXPECT_EQ("template", ReadFile(Target() + L"\\Vzory\\a\\sablona.vzr"));
  EXPECT_EQ("MZ fake", ReadFile(Target() + L"\\Utility\\Bde\\Setup.exe"));
  EXPECT_TRUE(platform::FolderExists(Target() + L"\\Prazdna"));
  EXPECT_EQ(large, ReadFile(Target() + L"\\data\\large.bin"));
  EXPECT_EQ("stored as is", ReadFile(Target() + L"\\data\\stored.bin"));
  EXPECT_EQ("help", ReadFile(Target() + L"\\Nápověda.hlp"));
  EXPECT_EQ((std::vector<std::wstring>{
                L"Rozbaluji soubor readme.txt", L"Rozbaluji soubor Vzory/",
                L"Rozbaluji soubor Vzory/a/sablona.vzr", L"Rozbaluji soubor Utility/Bde/Setup.exe",
                L"Rozbaluji soubor Prazdna/", L"Rozbaluji soubor data/large.bin",
                L"Rozbaluji soubor data/stored.bin", L"Rozbaluji soubor Nápověda.hlp",
                L"Rozbaluji soubor VantorPro.exe"}),
            ctx.statuses);
  EXPECT_GE(ctx.pumps, 8);
  EXPECT_TRUE(boxes.Asked().empty());
}

TEST_F(ExtractTest, ExistingFilesReplacedWithoutQuestionAndMissingTargetCreated) {
  MakeZip(Archive(), Installable({{"a.txt", "new"}, {"sub/b.txt", "new b"}}));
  Put(Target() + L"\\a.txt", "old and longer than new");
  Put(Target() + L"\\sub\\b.txt", "old b");
  SetFileAttributesW((Target() + L"\\sub\\b.txt").c_str(),
                     FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(ExtractResult::Complete, fileops::ExtractArchive(ctx, Archive(), Target()));
  EXPECT_EQ("new", ReadFile(Target() + L"\\a.txt"));
  EXPECT_EQ("new b", ReadFile(Target() + L"\\sub\\b.txt"));
  EXPECT_TRUE(boxes.Asked().empty());

  EXPECT_EQ(ExtractResult::Complete,
            fileops::ExtractArchive(ctx, Archive(), tmp / L"not\\yet\\there"));
  EXPECT_EQ("new b", ReadFile(tmp / L"not\\yet\\there\\sub\\b.txt"));
}

// A second run while the engine's setup program of the first one still runs:
// its file is open without write sharing.
TEST_F(ExtractTest, FileHeldOpenIsLeftWhenIdenticalAndFailsWhenDifferent) {
  MakeZip(Archive(), Installable({{"a.txt", "a"}, {"Bde/Setup.exe", "engine v1"}, {"z.txt", "z"}}));
  ASSERT_EQ(ExtractResult::Complete, fileops::ExtractArchive(ctx, Archive(), Target()));
  const std::wstring held = Target() + L"\\Bde\\Setup.exe";
  HANDLE h = CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  // The hold is real: nobody can write the file now.
  HANDLE writer = CreateFileW(held.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);

  testutil::RemoveTree(Target() + L"\\z.txt");
  EXPECT_EQ(ExtractResult::Complete, fileops::ExtractArchive(ctx, Archive(), Target()));
  EXPECT_EQ("z", ReadFile(Target() + L"\\z.txt"));  // the entries after it still come

  // Same size, other bytes: not the entry's content, so the file cannot be
  // left as it is.
  MakeZip(tmp / L"v2.pak",
          Installable({{"a.txt", "a"}, {"Bde/Setup.exe", "engine v2"}, {"z.txt", "z"}}));
  EXPECT_EQ(ExtractResult::Failed, fileops::ExtractArchive(ctx, tmp / L"v2.pak", Target()));
  CloseHandle(h);
  EXPECT_EQ("engine v1", ReadFile(held));
  EXPECT_TRUE(boxes.Asked().empty());
}

TEST_F(ExtractTest, AbortBeforeTheFirstEntryExtractsNothing) {
  MakeZip(Archive(), Installable({{"a.txt", "a"}, {"dir/b.txt", "b"}}));
  ctx.abort = true;
  EXPECT_EQ(ExtractResult::Stopped, fileops::ExtractArchive(ctx, Archive(), Target()));
  EXPECT_TRUE(IsEmptyFolder(Target()));
  EXPECT_EQ((std::vector<std::wstring>{L"Rozbaluji soubor a.txt"}), ctx.statuses);
}

TEST_F(ExtractTest, AbortDuringTheRunKeepsEntriesUnpackedBefore) {
  MakeZip(Archive(), Installable({{"1.txt", "1"}, {"2.txt", "2"}, {"3.txt", "3"}, {"4.txt", "4"}}));
  // The abort button pressed while the second entry is announced.
  ctx.onPump = [](TestContext& c) {
    if (c.statuses.size() == 2) c.abort = true;
  };
  EXPECT_EQ(ExtractResult::Stopped, fileops::ExtractArchive(ctx, Archive(), Target()));
  EXPECT_EQ("1", ReadFile(Target() + L"\\1.txt"));
  EXPECT_FALSE(platform::FileExists(Target() + L"\\2.txt"));
  EXPECT_FALSE(platform::FileExists(Target() + L"\\3.txt"));
  EXPECT_EQ(2u, ctx.statuses.size());
}

TEST_F(ExtractTest, AbortInsideALargeEntryEndsThereAndRemovesItsHalf) {
  MakeZip(Archive(), Installable({{"1.txt", "1"}, {"big.bin", Big(4 << 20)}, {"3.txt", "3"}}));
  // Asked once at the entry's announcement (no), then between its pieces.
  struct StopInsideBig : TestContext {
    bool StopRequested() const override {
      return !statuses.empty() && statuses.back() == L"Rozbaluji soubor big.bin" && ++asked > 1;
    }
    mutable int asked = 0;
  } stopping;
  std::vector<std::wstring> entries;
  EXPECT_EQ(ExtractResult::Stopped,
            fileops::ExtractArchive(stopping, Archive(), Target(), &entries));
  EXPECT_EQ(2, stopping.asked);
  EXPECT_EQ("1", ReadFile(Target() + L"\\1.txt"));
  EXPECT_FALSE(platform::FileExists(Target() + L"\\big.bin"));
  EXPECT_FALSE(platform::FileExists(Target() + L"\\3.txt"));
  EXPECT_FALSE(entries.empty());  // the finish still learns what may be there
}

TEST_F(ExtractTest, UnsafeNamesRefusedWithNothingWritten) {
  const std::string unique = "svtest-unsafe-" + std::to_string(GetCurrentProcessId());
  const std::vector<std::string> unsafe = {"../" + unique,
                                           "..\\" + unique,
                                           "sub/../../" + unique,
                                           "sub\\..\\..\\" + unique,
                                           "/" + unique,
                                           "\\" + unique,
                                           "C:/" + unique,
                                           "C:" + unique,
                                           "//?/C:/" + unique,
                                           "\\\\.\\C:\\" + unique,
                                           "sub/.. /" + unique,
                                           "sub/.../" + unique,
                                           "a.txt:stream",
                                           "sub/CON",
                                           "nul.txt",
                                           "COM1"};
  // The working folder is the target's parent, where a relative climb or a
  // rooted name would land.
  struct WorkingFolder {
    std::wstring previous = platform::CurrentDir();
    explicit WorkingFolder(const std::wstring& path) { SetCurrentDirectoryW(path.c_str()); }
    ~WorkingFolder() { SetCurrentDirectoryW(previous.c_str()); }  // lets the folder go
  } workingFolder(tmp.Path());
  for (const auto& name : unsafe) {
    SCOPED_TRACE(name);
    ctx.memo.clear();
    MakeZip(Archive(),
            Installable({{"first.txt", "written before?"}, {name, "escaped"}, {"last.txt", "x"}}));
    EXPECT_EQ(ExtractResult::Failed, fileops::ExtractArchive(ctx, Archive(), Target()));
    EXPECT_TRUE(IsEmptyFolder(Target()));
    EXPECT_FALSE(ctx.memo.empty());  // the refusal is in Memo1
  }
  const std::wstring wide = platform::Wide(unique);
  EXPECT_FALSE(platform::FileExists(tmp / wide));
  EXPECT_FALSE(platform::FileExists(L"C:\\" + wide));
  EXPECT_FALSE(platform::FileExists(tmp / (L"Instalace\\sub\\CON")));
  EXPECT_TRUE(boxes.Asked().empty());
  EXPECT_TRUE(ctx.statuses.empty());  // not one entry was started

  // Names that only look odd are fine.
  MakeZip(Archive(), Installable({{"./dot/ok.txt", "1"}, {"a..b/c", "2"}, {"sub\\win.txt", "3"}}));
  EXPECT_EQ(ExtractResult::Complete, fileops::ExtractArchive(ctx, Archive(), Target()));
  EXPECT_EQ("1", ReadFile(Target() + L"\\dot\\ok.txt"));
  EXPECT_EQ("2", ReadFile(Target() + L"\\a..b\\c"));
  EXPECT_EQ("3", ReadFile(Target() + L"\\sub\\win.txt"));
}

TEST_F(ExtractTest, MissingTruncatedAndCorruptArchivesFail) {
  EXPECT_EQ(ExtractResult::Failed, fileops::ExtractArchive(ctx, tmp / L"none.pak", Target()));
  EXPECT_FALSE(ctx.memo.empty());

  const std::string data = Big(200000);
  MakeZip(Archive(), Installable({{"a.bin", data, false, true}, {"b.txt", "b"}}));
  const std::string whole = ReadFile(Archive());

  WriteFile(tmp / L"truncated.pak", whole.substr(0, whole.size() / 2));
  EXPECT_EQ(ExtractResult::Failed, fileops::ExtractArchive(ctx, tmp / L"truncated.pak", Target()));
  EXPECT_TRUE(IsEmptyFolder(Target()));

  WriteFile(tmp / L"text.pak", "not an archive at all");
  EXPECT_EQ(ExtractResult::Failed, fileops::ExtractArchive(ctx, tmp / L"text.pak", Target()));

  // Stored data damaged in the middle, directory intact: the checksum fails
  // and no half-true file is left behind.
  std::string corrupt = whole;
  corrupt[1000] = static_cast<char>(corrupt[1000] ^ 0x55);
  WriteFile(tmp / L"corrupt.pak", corrupt);
  ctx.memo.clear();
  EXPECT_EQ(ExtractResult::Failed, fileops::ExtractArchive(ctx, tmp / L"corrupt.pak", Target()));
  EXPECT_FALSE(platform::FileExists(Target() + L"\\a.bin"));
  EXPECT_FALSE(platform::FileExists(Target() + L"\\b.txt"));
  EXPECT_FALSE(ctx.memo.empty());
}

TEST_F(ExtractTest, UnwritableFileFails) {
  MakeZip(Archive(), Installable({{"a.txt", "a"}, {"busy/", "", true}, {"c.txt", "c"}}));
  // A folder stands where a file must go.
  testutil::MakeDirs(Target() + L"\\a.txt");
  EXPECT_EQ(ExtractResult::Failed, fileops::ExtractArchive(ctx, Archive(), Target()));
  EXPECT_FALSE(platform::FileExists(Target() + L"\\c.txt"));
}

// ------------------------------------------------------------ bad archives

// The installation's two files around the entries under test.
std::vector<RawEntry> WithEssentials(std::vector<RawEntry> entries) {
  entries.insert(entries.begin(), Stored("VantorPro.exe", "MZ program"));
  entries.push_back(Deflated("Utility/Bde/Setup.exe", "MZ engine setup"));
  return entries;
}

RawEntry Encrypted(RawEntry entry) {
  entry.flags |= 1;
  return entry;
}
RawEntry Method(RawEntry entry, uint16_t method) {
  entry.method = method;
  return entry;
}
RawEntry Attributes(RawEntry entry, uint8_t system, uint32_t attributes) {
  entry.system = system;
  entry.attributes = attributes;
  return entry;
}
RawEntry Declaring(RawEntry entry, uint64_t size) {
  entry.size = size;
  return entry;
}

bool MemoMentions(const TestContext& ctx, const std::wstring& text) {
  for (const auto& line : ctx.memo)
    if (line.find(text) != std::wstring::npos) return true;
  return false;
}

// Each archive differs from a good one (the last) in one thing, and is
// refused before its first entry is announced: nothing in the target,
// nothing next to it.
TEST_F(ExtractTest, BadArchivesRefusedBeforeTheFirstByte) {
  const std::string x = "content";
  std::string deep;
  for (int i = 0; i < 70; ++i) deep += "d/";
  struct Case {
    const wchar_t* why;  // in the refusal written to Memo1
    std::vector<RawEntry> entries;
  };
  const std::vector<Case> cases = {
      {L"unsafe entry name", WithEssentials({Stored("Vzory/a<b>.vzr", x)})},
      {L"unsafe entry name", WithEssentials({Stored("Vzory/proc?.txt", x)})},
      {L"unsafe entry name", WithEssentials({Stored("Vzory/tab\there.txt", x)})},
      {L"unsafe entry name", WithEssentials({Stored("Vzory./a.vzr", x)})},
      {L"unsafe entry name", WithEssentials({Stored("Vzory/a.vzr ", x)})},
      {L"unsafe entry name", WithEssentials({Stored("Data/lpt9.log", x)})},
      {L"unsafe entry name", WithEssentials({Stored("Data/com0", x)})},
      {L"unsafe entry name", WithEssentials({Stored("Data/COM\xC2\xB9.txt", x)})},
      {L"unsafe entry name", WithEssentials({Stored("Data/Nul .txt", x)})},
      {L"taken twice",
       WithEssentials({Stored("Vzory/Dopis.vzr", x), Stored("VZORY/dopis.VZR", x)})},
      {L"taken twice", WithEssentials({Stored("Data", x), Stored("data/kurzy.dat", x)})},
      {L"taken twice", WithEssentials({Stored("Data/", ""), Stored("DATA", x)})},
      {L"too long", WithEssentials({Stored("Data/" + std::string(256, 'x'), x)})},
      {L"too deep", WithEssentials({Stored(deep + "f.txt", x)})},
      {L"encrypted", WithEssentials({Encrypted(Stored("Data/tajne.dat", x))})},
      {L"compression method", WithEssentials({Method(Deflated("Data/d64.dat", x), 9)})},
      {L"link",
       {Stored("VantorPro.exe", "MZ"),
        Attributes(Stored("Utility/Bde/Setup.exe", "../../VantorPro.exe"), 3, 0120777u << 16)}},
      {L"link", WithEssentials({Attributes(Stored("Data/odkaz", x), 0, 0x400)})},
      {L"missing VantorPro.exe", {Stored("Utility/Bde/Setup.exe", "MZ")}},
      {L"missing Utility\\Bde\\Setup.exe", {Stored("VantorPro.exe", "MZ")}},
      {L"missing", {}},
      {L"room", WithEssentials({Declaring(Deflated("Data/obri.dat", x), 1ull << 60)})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::Utf8(c.why) + " " + (c.entries.size() > 1 ? c.entries[1].name : ""));
    ctx.memo.clear();
    WriteRawZip(Archive(), c.entries);
    EXPECT_EQ(ExtractResult::Failed, fileops::ExtractArchive(ctx, Archive(), Target()));
    EXPECT_TRUE(IsEmptyFolder(Target()));
    EXPECT_EQ(Names(tmp.Path()), (std::vector<std::wstring>{L"Instalace", L"Vaninst.pak"}));
    EXPECT_TRUE(MemoMentions(ctx, c.why));
  }
  EXPECT_TRUE(ctx.statuses.empty());

  // The good archive, with every kind of entry the table bends.
  WriteRawZip(Archive(),
              WithEssentials({Stored("Vzory/", ""), Stored("Vzory/Dopis.vzr", x),
                              Attributes(Deflated("Data/kurzy.dat", x), 3, 0100644u << 16),
                              Attributes(Stored("Data/", ""), 0, FILE_ATTRIBUTE_DIRECTORY)}));
  EXPECT_EQ(ExtractResult::Complete, fileops::ExtractArchive(ctx, Archive(), Target()));
  EXPECT_EQ(x, ReadFile(Target() + L"\\Data\\kurzy.dat"));
  EXPECT_EQ("MZ engine setup", ReadFile(Target() + L"\\Utility\\Bde\\Setup.exe"));
}

// The room check counts where the installation puts the files afterwards:
// a file moved into place on the work folder's volume counts once there,
// whether it goes with the top-level files or with Vzory; one larger than
// the free room is refused before the first byte.
TEST_F(ExtractTest, RoomCountsAFileMovedOnItsVolumeOnce) {
  ULARGE_INTEGER free{};
  ASSERT_TRUE(GetDiskFreeSpaceExW(Target().c_str(), &free, nullptr, nullptr));
  const fileops::LaterCopies bothHere{tmp / L"App", tmp / L"Vzory"};
  struct Row {
    const char* name;
    uint64_t declared;
    bool fits;
  };
  const Row rows[] = {
      {"Vzory/Velky.vzr", free.QuadPart / 10 * 6, true},
      {"Velky.dat", free.QuadPart / 10 * 6, true},
      {"Vzory/Velky.vzr", free.QuadPart / 10 * 11, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ctx.statuses.clear();
    WriteRawZip(Archive(), WithEssentials({Declaring(Deflated(row.name, "small"), row.declared)}));
    // Room or not, the entry fails as it falls short of its declared size.
    EXPECT_EQ(ExtractResult::Failed, fileops::ExtractArchive(ctx, Archive(), Target(), nullptr,
                                                             nullptr, nullptr, bothHere));
    EXPECT_EQ(ctx.statuses.empty(), !row.fits);
    EXPECT_TRUE(IsEmptyFolder(Target()));
  }
}

// Declares 1 KB and inflates to 64 MB. A hard link made beforehand would see
// any byte written into the file that was there; the entry is written
// beside it and never takes its name.
TEST_F(ExtractTest, EntryInflatingPastItsDeclaredSizeStopsThere) {
  const RawEntry bomb = Declaring(Deflated("Data/bomba.dat", std::string(64 << 20, '\0')), 1024);
  WriteRawZip(Archive(), WithEssentials({bomb}));
  Put(Target() + L"\\Data\\bomba.dat", "from an earlier run");
  ASSERT_TRUE(CreateHardLinkW((tmp / L"peek.dat").c_str(),
                              (Target() + L"\\Data\\bomba.dat").c_str(), nullptr));
  EXPECT_EQ(ExtractResult::Failed, fileops::ExtractArchive(ctx, Archive(), Target()));
  EXPECT_LE(ReadFile(tmp / L"peek.dat").size(), 1024u);
  // VantorPro.exe, written before, went again; what was there stays as it was.
  EXPECT_EQ(Names(Target()), std::vector<std::wstring>{L"Data"});
  EXPECT_EQ(ReadFile(Target() + L"\\Data\\bomba.dat"), "from an earlier run");
}

// A fault that shows only while writing: a wrong checksum, fewer bytes than
// declared. Everything the run wrote goes, folders it made included; what
// was there before stays.
TEST_F(ExtractTest, FailureHalfWayRemovesWhatTheRunWrote) {
  RawEntry wrongCrc = Stored("Vzory/Dopisy/Dopis.vzr", "letter");
  wrongCrc.crc ^= 1;
  std::vector<RawEntry> entries = {Stored("VantorPro.exe", "MZ"),
                                   Stored("Utility/", ""),
                                   Deflated("Utility/Bde/Setup.exe", "MZ setup"),
                                   Deflated("Vzory/Faktura.vzr", Big(600000)),
                                   wrongCrc,
                                   Stored("z.txt", "z")};
  WriteRawZip(Archive(), entries);
  Put(Target() + L"\\earlier.txt", "kept");
  EXPECT_EQ(ExtractResult::Failed, fileops::ExtractArchive(ctx, Archive(), Target()));
  EXPECT_EQ(ctx.statuses.back(), L"Rozbaluji soubor Vzory/Dopisy/Dopis.vzr");
  EXPECT_EQ(Names(Target()), std::vector<std::wstring>{L"earlier.txt"});
  EXPECT_EQ("kept", ReadFile(Target() + L"\\earlier.txt"));

  // The target made by the run itself goes too, with the parent it made.
  entries[4] = Declaring(Deflated("Vzory/Dopisy/Dopis.vzr", "letter"), 4096);
  WriteRawZip(Archive(), entries);
  EXPECT_EQ(ExtractResult::Failed,
            fileops::ExtractArchive(ctx, Archive(), tmp / L"Nova\\Instalace"));
  EXPECT_FALSE(platform::FolderExists(tmp / L"Nova"));
}

// ------------------------------------------------------------ the interface

TEST(ListLine, FormatsColumnsRatioAndSign) {
  EXPECT_EQ("   1234      567  54%  03-07-98  09:05   dir/file.txt",
            fileops::FormatListLine(1234, 567, 54, 3, 7, 98, 9, 5, ' ', "dir/file.txt"));
  EXPECT_EQ("      0        0 100%  12-31-01  23:59  ^x",
            fileops::FormatListLine(0, 0, 100, 12, 31, 1, 23, 59, '^', "x"));
  // Grown in the archive: the sign turns to '-'; equal sizes keep a space.
  EXPECT_EQ("     10       20 -45%  01-02-03  04:05   a",
            fileops::FormatListLine(10, 20, 45, 1, 2, 3, 4, 5, ' ', "a"));
  EXPECT_EQ("     20       20  45%  01-02-03  04:05   a",
            fileops::FormatListLine(20, 20, 45, 1, 2, 3, 4, 5, ' ', "a"));
  EXPECT_EQ("     20       20   5%  01-02-03  04:05   a",
            fileops::FormatListLine(20, 20, 5, 1, 2, 3, 4, 5, ' ', "a"));
  EXPECT_EQ("123456789  4000000000  -0%  10-10-10  10:10   wide",
            fileops::FormatListLine(123456789, 4000000000ul, 0, 10, 10, 10, 10, 10, ' ', "wide"));
}

TEST(UnzipCallbacks, AnswerWithoutAskingAndReachTheContextOnlyDuringTheCall) {
  TestContext ctx;
  char password[8] = "keep";
  char name[] = "file.txt";
  char text[] = "some text";
  EXPECT_EQ(1, fileops::UnzipReplace(name));
  EXPECT_EQ(1, fileops::UnzipPassword(password, sizeof password, "Password:", name));
  EXPECT_STREQ("keep", password);
  EXPECT_EQ(0, fileops::UnzipService(name, 1));
  EXPECT_EQ(99, fileops::UnzipPrint(text, 99));
  {
    fileops::UnzipContextScope scope(ctx);
    EXPECT_EQ(9, fileops::UnzipPrint(text, 9));
    EXPECT_EQ(0, fileops::UnzipService(name, 1));
    ctx.abort = true;
    EXPECT_EQ(1, fileops::UnzipService(name, 1));
  }
  EXPECT_EQ(0, fileops::UnzipService(name, 1));
  EXPECT_EQ((std::vector<std::wstring>{L"some text"}), ctx.memo);
  EXPECT_EQ((std::vector<std::wstring>{L"Rozbaluji soubor file.txt", L"Rozbaluji soubor file.txt"}),
            ctx.statuses);
}

TEST(UnzipInterface, ListingModeSendsFormattedLinesAndWritesNothing) {
  TempDir tmp;
  const std::wstring archive = tmp / L"list.zip";
  MakeZip(archive, {{"stored.txt", "0123456789", false, true}, {"dir/", "", true}});
  std::string zipName = platform::Utf8(archive);
  std::string dir = platform::Utf8(tmp / L"out");
  DCL options{};
  options.nvflag = 1;
  options.ndflag = 1;
  options.lpszZipFN = zipName.data();
  options.lpszExtractDir = dir.data();
  USERFUNCTIONS functions{};
  functions.print = fileops::UnzipPrint;
  functions.SendApplicationMessage = fileops::UnzipListLine;
  functions.ServCallBk = fileops::UnzipService;
  TestContext ctx;
  fileops::UnzipContextScope scope(ctx);
  EXPECT_EQ(PK_OK, Wiz_SingleEntryUnzip(0, nullptr, 0, nullptr, &options, &functions));
  ASSERT_EQ(2u, ctx.memo.size());
  EXPECT_EQ(L"     10       10   0%", ctx.memo[0].substr(0, 21));
  EXPECT_TRUE(ctx.memo[0].ends_with(L"   stored.txt"));
  EXPECT_TRUE(ctx.memo[1].ends_with(L"   dir/"));
  EXPECT_EQ(2ul, functions.NumMembers);
  EXPECT_FALSE(platform::FolderExists(tmp / L"out"));

  // Options this implementation does not offer are refused, not ignored.
  options.nvflag = 0;
  options.ntflag = 1;
  EXPECT_EQ(PK_PARAM, Wiz_SingleEntryUnzip(0, nullptr, 0, nullptr, &options, &functions));
  options.ntflag = 0;
  EXPECT_EQ(PK_PARAM, Wiz_SingleEntryUnzip(1, nullptr, 0, nullptr, &options, &functions));
  EXPECT_FALSE(platform::FolderExists(tmp / L"out"));
}

}  // namespace

namespace {

fileops::ChunkDigests DigestsOfFile(const std::wstring& path) {
  platform::UniqueFile file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  const std::optional<fileops::ChunkDigests> digests = fileops::ChunkDigestsOf(file.get());
  return digests ? *digests : fileops::ChunkDigests{};
}

// An archive of four chunks and more: stored entries of incompressible
// bytes between small ones, the directory in the last chunk.
std::vector<ZipItem> FourChunks() {
  std::string noise(3500000, '\0');
  unsigned x = 7;
  for (char& c : noise) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 23);
  return Installable({{"a.txt", "a"},
                      {"big1.bin", noise.substr(0, 1800000), false, true},
                      {"sub/", "", true},
                      {"sub/b.txt", "b"},
                      {"big2.bin", noise.substr(1800000), false, true},
                      {"z.txt", "z"}});
}

}  // namespace

TEST(ArchiveDigest, EachMebibyteHasItsSha256) {
  TempDir tmp;
  // The standard's own test vector.
  const fileops::ArchiveDigest abc = {0xba, 0x78, 0x16, 0xbf, 0x8f, 0x01, 0xcf, 0xea,
                                      0x41, 0x41, 0x40, 0xde, 0x5d, 0xae, 0x22, 0x23,
                                      0xb0, 0x03, 0x61, 0xa3, 0x96, 0x17, 0x7a, 0x9c,
                                      0xb4, 0x10, 0xff, 0x61, 0xf2, 0x00, 0x15, 0xad};
  EXPECT_EQ(fileops::Sha256().Of("abc", 3), abc);
  const std::string big = Big((5 << 20) / 2);
  WriteFile(tmp / L"big", big);
  const fileops::ChunkDigests digests = DigestsOfFile(tmp / L"big");
  EXPECT_EQ(digests.length, big.size());
  ASSERT_EQ(digests.chunks.size(), 3u);
  EXPECT_EQ(digests.chunks[2],
            fileops::Sha256().Of(big.data() + (2 << 20), big.size() - (2 << 20)));
  // The processor's instructions and the system's provider agree at every
  // length around the padding's edges and on a whole chunk.
  const fileops::Sha256 system(true);
  EXPECT_EQ(system.Of("abc", 3), abc);
  for (size_t length : {0, 1, 55, 56, 63, 64, 65, 119, 120, 128, 1000, 1 << 20})
    EXPECT_EQ(fileops::Sha256().Of(big.data() + 7, length), system.Of(big.data() + 7, length))
        << length;
  // A larger archive takes larger chunks, never more than the stamp holds.
  EXPECT_EQ(fileops::ChunkSizeFor(1024ull << 20), 1u << 20);
  EXPECT_EQ(fileops::ChunkSizeFor((1024ull << 20) + 1), 2u << 20);
}

// The medium's archive against the chunks stamped into the program: an
// archive one chunk apart, wherever the chunk lies, is refused before
// anything takes its name, and what was there stays as it was.
TEST_F(ExtractTest, OnlyTheArchiveOfTheStampedChunksIsUnpacked) {
  MakeZip(Archive(), FourChunks());
  const fileops::ChunkDigests own = DigestsOfFile(Archive());
  ASSERT_GE(own.chunks.size(), 4u);
  auto apart = [&own](size_t chunk) {
    fileops::ChunkDigests other = own;
    other.chunks[chunk][0] ^= 1;
    return other;
  };
  fileops::ChunkDigests longer = own;
  longer.length += 1;
  const fileops::ChunkDigests first = apart(0), middle = apart(2),
                              directory = apart(own.chunks.size() - 1);
  struct Row {
    const char* what;
    const fileops::ChunkDigests* digests;
    ExtractResult result;
  };
  const Row rows[] = {
      {"its own chunks", &own, ExtractResult::Complete},
      {"the first chunk apart", &first, ExtractResult::NotTheMediumsArchive},
      {"a middle chunk apart", &middle, ExtractResult::NotTheMediumsArchive},
      {"the directory's chunk apart", &directory, ExtractResult::NotTheMediumsArchive},
      {"another length", &longer, ExtractResult::NotTheMediumsArchive},
      {"no stamp: a developer's build", nullptr, ExtractResult::Complete},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    testutil::RemoveTree(Target());
    testutil::MakeDirs(Target());
    WriteFile(Target() + L"\\a.txt", "the person's");
    EXPECT_EQ(row.result, fileops::ExtractArchive(ctx, Archive(), Target(), nullptr, nullptr,
                                                  nullptr, {}, nullptr, row.digests));
    if (row.result == ExtractResult::Complete) {
      EXPECT_EQ(ReadFile(Target() + L"\\a.txt"), "a");
      EXPECT_EQ(ReadFile(Target() + L"\\z.txt"), "z");
    } else {
      EXPECT_EQ(Names(Target()), std::vector<std::wstring>{L"a.txt"});
      EXPECT_EQ(ReadFile(Target() + L"\\a.txt"), "the person's");
    }
  }
}

// What was checked is what is unpacked: the archive stays open, with no
// write sharing, from the first chunk to the last entry.
TEST_F(ExtractTest, TheCheckedArchiveCannotBeChangedWhileItIsUnpacked) {
  MakeZip(Archive(), Installable({{"a.txt", "a"}, {"b.txt", "b"}}));
  const fileops::ChunkDigests own = DigestsOfFile(Archive());
  int tries = 0;
  ctx.onPump = [&](TestContext&) {
    ++tries;
    platform::UniqueFile writer(CreateFileW(Archive().c_str(), GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  };
  EXPECT_EQ(ExtractResult::Complete, fileops::ExtractArchive(ctx, Archive(), Target(), nullptr,
                                                             nullptr, nullptr, {}, nullptr, &own));
  EXPECT_GT(tries, 0);
}

// A medium cut short while it is unpacked (a stick pulled out): the person
// is asked, and Retry once it is whole again reads on to the end; Cancel
// leaves nothing of the run. Cut from the Unix side, where Windows' share
// modes do not hold, as the stick's removal ignores them.
TEST_F(ExtractTest, AMediumCutShortIsReadOnAfterRetryOrLeftOnCancel) {
  const std::vector<ZipItem> items = FourChunks();
  MakeZip(Archive(), items);
  const std::string whole = ReadFile(Archive());
  const std::string big2 = std::find_if(items.begin(), items.end(), [](const ZipItem& i) {
                             return i.name == "big2.bin";
                           })->content;
  auto size = [this] {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(Archive().c_str(), GetFileExInfoStandard, &data);
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  };
  WriteFile(tmp / L"whole.pak", whole);
  const fileops::ChunkDigests own = DigestsOfFile(Archive());
  for (const bool retry : {true, false}) {
    for (const fileops::ChunkDigests* digests :
         {&own, static_cast<const fileops::ChunkDigests*>(nullptr)}) {
      SCOPED_TRACE(std::string(retry ? "Retry" : "Cancel") +
                   (digests ? ", stamped" : ", developer's build"));
      testutil::RemoveTree(Target());
      testutil::MakeDirs(Target());
      WriteFile(Target() + L"\\a.txt", "the person's");
      ctx.statuses.clear();
      // Cut once big2.bin, past the first chunks, is next.
      bool cut = false;
      ctx.onPump = [&](TestContext& c) {
        if (cut || c.statuses.empty() || c.statuses.back() != L"Rozbaluji soubor big2.bin") return;
        cut = true;
        ASSERT_TRUE(testutil::RunUnixOn(L"truncate -s 1000000", Archive(),
                                        [&] { return size() == 1000000; }));
      };
      int asked = 0;
      auto askRetry = [&] {
        ++asked;
        if (retry) {
          EXPECT_TRUE(testutil::RunUnixUntil(
              L"cp '" + platform::Wide(testutil::UnixPath(tmp / L"whole.pak")) + L"' '" +
                  platform::Wide(testutil::UnixPath(Archive())) + L"'",
              [&] { return size() == whole.size(); }));
        }
        return retry;
      };
      const ExtractResult result = fileops::ExtractArchive(
          ctx, Archive(), Target(), nullptr, nullptr, nullptr, {}, nullptr, digests, askRetry);
      EXPECT_TRUE(cut);
      EXPECT_EQ(asked, 1);
      if (retry) {
        EXPECT_EQ(result, ExtractResult::Complete);
        EXPECT_TRUE(ReadFile(Target() + L"\\big2.bin") == big2);
        EXPECT_EQ(ReadFile(Target() + L"\\z.txt"), "z");
      } else {
        EXPECT_EQ(result, ExtractResult::MediumUnreadable);
        EXPECT_EQ(Names(Target()), std::vector<std::wstring>{L"a.txt"});
        EXPECT_EQ(ReadFile(Target() + L"\\a.txt"), "the person's");
      }
      WriteFile(Archive(), whole);
    }
  }
}
