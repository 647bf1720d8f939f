// What a file costs under this system before any work of ours: the least
// number of calls that move one file into place, timed per file, beside
// the installation's own move; and the archive's chunk digest per
// mebibyte.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/Floor.h"
#include "fileops/ArchiveDigest.h"
#include "platform/Access.h"
#include "platform/HeldFolder.h"
#include "platform/Platform.h"

namespace bench {

namespace {

double Seconds() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

constexpr int kFiles = 2000;

void MakeFiles(const platform::HeldFolder& folder) {
  for (int i = 0; i < kFiles; ++i) {
    std::wstring temp;
    folder.CreateFresh(L"~f", std::to_wstring(i), L"", temp);
    folder.Rename(temp, std::to_wstring(i), false);
  }
}

}  // namespace

int Floor(const std::wstring& folder) {
  platform::ForceDirectories(folder);
  const platform::HeldFolder root = platform::HeldFolder::Open(folder, true);
  const platform::HeldFolder from = root.Child(L"from", platform::HeldFolder::Make::IfMissing);
  const platform::HeldFolder to = root.Child(L"to", platform::HeldFolder::Make::IfMissing);
  if (!from || !to) return 1;
  // Each way moves the files there and back, per file in microseconds.
  enum class List { None, PerFile, Once };
  struct Way {
    const char* name;
    bool size;
    List list;
  } ways[] = {{"open_rename_close", false, List::None},
              {"open_size_rename_close", true, List::None},
              {"open_size_list_rename_close", true, List::PerFile},
              {"open_size_listonce_rename_close", true, List::Once}};
  MakeFiles(from);
  const platform::HeldFolder* ends[2] = {&from, &to};
  int turn = 0;
  for (const Way& way : ways) {
    const platform::HeldFolder& a = *ends[turn];
    const platform::HeldFolder& b = *ends[1 - turn];
    const double start = Seconds();
    const platform::FolderFileList once(b.Handle());
    for (int i = 0; i < kFiles; ++i) {
      const std::wstring name = std::to_wstring(i);
      const platform::UniqueFile file =
          a.OpenFile(name, DELETE | READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ, FILE_OPEN);
      LARGE_INTEGER size{};
      if (!file || (way.size && !GetFileSizeEx(file.get(), &size)) ||
          (way.list == List::PerFile && !platform::FolderFileList(b.Handle()).GiveTo(file.get())) ||
          (way.list == List::Once && !once.GiveTo(file.get())) ||
          !b.MoveHere(file.get(), name, false))
        return 1;
    }
    std::printf("%s_us=%.0f\n", way.name, (Seconds() - start) * 1e6 / kFiles);
    turn = 1 - turn;
  }
  // The digest of one mebibyte, as the checked unpacking takes it, and
  // through the system's provider.
  std::vector<char> chunk(1 << 20, 'x');
  for (const bool system : {false, true}) {
    const fileops::Sha256 sha(system);
    const double start = Seconds();
    for (int i = 0; i < 64; ++i)
      if (!sha.Of(chunk.data(), chunk.size())) return 1;
    std::printf("sha256_%s_mb_per_s=%.0f\n", system ? "system" : "used", 64 / (Seconds() - start));
  }
  return 0;
}

}  // namespace bench
