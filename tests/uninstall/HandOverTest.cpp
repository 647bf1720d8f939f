// The uninstaller's first run: the copy that runs elevated holds what the
// record names, whatever is put under the program's name while the question
// is shown, and a name planted where the copy goes is never written through.
#include <gtest/gtest.h>

#include "platform/Crc32.h"
#include "platform/Platform.h"
#include "tests/support/TestUtil.h"
#include "uninstall/HandOver.h"

namespace {

using testutil::TempDir;
using uninstall::Asked;

// More than one piece of the copy.
const std::string kProgram = "MZ uninstaller " + std::string(100000, 'u');
const std::string kOther = "MZ another program";

install::InstallRecord RecordOf(const std::wstring& program) {
  install::InstallRecord record;
  record.uninstaller = program;
  record.files.push_back(
      {program, kProgram.size(), platform::Crc32(kProgram.data(), kProgram.size())});
  return record;
}

// Read with every sharing: the copy is held open for its removal.
std::string ReadAll(const std::wstring& path) {
  platform::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
  std::string content;
  char buffer[4096];
  DWORD read = 0;
  while (file && ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
    content.append(buffer, read);
  return content;
}

uint64_t SizeAt(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return UINT64_MAX;
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::vector<std::wstring> Entries(const std::wstring& folder) {
  std::vector<std::wstring> names;
  platform::FolderListing listing(folder);
  for (platform::DirEntry entry; listing.Next(entry);)
    if (entry.name != L"." && entry.name != L"..") names.push_back(entry.name);
  return names;
}

TEST(HandOver, TheCopyIsWhatTheRecordNames) {
  enum class Change { None, ReplacedBefore, ReplacedWhileAsked, GrownWhileAsked };
  const struct {
    const char* name;
    Change change;
    Asked expected;
    size_t boxes;  // the question and the refusal, as shown
  } cases[] = {
      {"untouched", Change::None, Asked::CopyReady, 1},
      {"another program under its name before the start", Change::ReplacedBefore, Asked::Refused,
       1},
      // Windows refuses both to a held file; from the Unix side Wine lets them be.
      {"renamed away and replaced while asked", Change::ReplacedWhileAsked, Asked::CopyReady, 1},
      {"changed in place while asked", Change::GrownWhileAsked, Asked::Refused, 2},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    TempDir dir;
    const std::wstring program = dir / L"Odinstalovat.exe";
    const std::wstring copies = dir / L"copies\\";
    testutil::MakeDirs(copies);
    testutil::WriteFile(program, test.change == Change::ReplacedBefore ? kOther : kProgram);
    const std::wstring unix = platform::Wide(testutil::UnixPath(program));
    bool heldWhileAsked = false, changed = true;
    testutil::ScriptedBoxes boxes([&](const testutil::AskedBox& box) {
      if ((box.flags & MB_YESNO) != MB_YESNO) return IDOK;
      heldWhileAsked = !MoveFileW(program.c_str(), (dir / L"away.exe").c_str()) &&
                       GetLastError() == ERROR_SHARING_VIOLATION;
      if (test.change == Change::ReplacedWhileAsked)
        changed = testutil::RunUnixUntil(L"mv '" + unix + L"' '" + unix + L".moved' && printf '" +
                                             platform::Wide(kOther) + L"' > '" + unix + L"'",
                                         [&] { return SizeAt(program) == kOther.size(); });
      if (test.change == Change::GrownWhileAsked)
        changed = testutil::RunUnixUntil(L"printf X >> '" + unix + L"'",
                                         [&] { return SizeAt(program) == kProgram.size() + 1; });
      return IDYES;
    });
    uninstall::WorkingCopy copy;
    const Asked answer = uninstall::AskAndCopy(RecordOf(program), program, copies, copy);
    const std::vector<std::wstring> asked = boxes.Texts();

    EXPECT_EQ(answer, test.expected);
    EXPECT_TRUE(changed);
    ASSERT_EQ(asked.size(), test.boxes);
    EXPECT_EQ(heldWhileAsked, test.change != Change::ReplacedBefore);
    const std::wstring refusal =
        L"\"" + program + L"\" byl po instalaci aplikace VantorPro V1.3 změněn nebo nahrazen";
    EXPECT_EQ(asked.back().find(refusal) != std::wstring::npos, answer == Asked::Refused);
    const std::vector<std::wstring> written = Entries(copies);
    if (test.expected == Asked::CopyReady) {
      // Alone in a folder of its own, which nothing but it may change.
      ASSERT_EQ(written.size(), 1u);
      EXPECT_EQ(copies + written[0] + L"\\Odinstalovat.exe", copy.path);
      EXPECT_EQ(Entries(copies + written[0]).size(), 1u);
      EXPECT_TRUE(ReadAll(copy.path) == kProgram);
      // Held for reading only: no one writes into it, not even this account.
      EXPECT_FALSE(platform::UniqueFile(CreateFileW(
          copy.path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
          nullptr, OPEN_EXISTING, 0, nullptr)));
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
      // Its work done, it leaves its folder, which goes at once.
      uninstall::LeaveCopyFolder(copy.deleteOnClose.get(), copy.path);
      EXPECT_FALSE(platform::FolderExists(copies + written[0]));
      EXPECT_EQ(Entries(copies).size(), 1u);
    } else {
      EXPECT_TRUE(written.empty());
    }
    // The copy goes with the last handle on it.
    copy.deleteOnClose.reset();
    EXPECT_TRUE(Entries(copies).empty());
  }
}

TEST(HandOver, APlantedNameIsPassedOverNeverWrittenThrough) {
  const struct {
    const char* name;
    bool folder;
    bool hardLink;  // to a file elsewhere
    bool link;      // a folder swapped for a link to another folder
  } cases[] = {{"a file", false, false, false},
               {"a hard link", false, true, false},
               {"a folder", true, false, false},
               {"a link to a folder", true, false, true}};
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    TempDir dir;
    const std::wstring program = dir / L"Odinstalovat.exe";
    const std::wstring copies = dir / L"copies\\";
    const std::wstring planted = copies + L"first", elsewhere = dir / L"elsewhere.txt";
    testutil::MakeDirs(copies);
    testutil::WriteFile(program, kProgram);
    testutil::WriteFile(elsewhere, "elsewhere");
    if (test.folder)
      testutil::MakeDirs(planted);
    else if (test.hardLink)
      ASSERT_TRUE(CreateHardLinkW(planted.c_str(), elsewhere.c_str(), nullptr));
    else
      testutil::WriteFile(planted, "planted");
    if (test.link) {
      testutil::MakeDirs(dir / L"theirs");
      ASSERT_TRUE(testutil::SwapForLink(planted, dir / L"theirs"));
    }
    int names = 0;
    uninstall::WorkingCopy copy;
    EXPECT_EQ(uninstall::WriteWorkingCopy(uninstall::OwnProgram::Open(program),
                                          RecordOf(program).files[0], copies, copy,
                                          [&] { return ++names == 1 ? L"first" : L"next"; }),
              uninstall::Copied::Written);
    EXPECT_EQ(copy.path, copies + L"next\\Odinstalovat.exe");
    EXPECT_TRUE(ReadAll(copy.path) == kProgram);
    EXPECT_EQ(ReadAll(elsewhere), "elsewhere");
    EXPECT_FALSE(platform::FileExists(dir / L"theirs\\Odinstalovat.exe"));
    if (test.folder)
      EXPECT_TRUE(platform::FolderExists(planted));
    else
      EXPECT_EQ(ReadAll(planted), test.hardLink ? "elsewhere" : "planted");
  }
}

}  // namespace
