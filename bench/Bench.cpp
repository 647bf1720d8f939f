// The file work measured under Wine: unpacking, counting + copying with a
// real window, and a bare copy for comparison. Prints key=value lines.
//   svbench extract ARCHIVE TARGET
//   svbench copy SOURCE TARGET             (staged and committed with its journal,
//                                           as the installation copies; into a
//                                           TARGET holding a copy: a second one)
//   svbench barecopy SOURCE TARGET
//   svbench install|install-stamped ARCHIVE FOLDER
//                                          (the installation's file work: unpacked
//                                           into FOLDER\\Instalace, checked against
//                                           its chunk digests when stamped, staged
//                                           into FOLDER\\App, committed)
//   svbench extract-quiet ARCHIVE TARGET   (no window: the library alone)
//   svbench copy-quiet SOURCE TARGET       (no window, no staging)
//   svbench floor FOLDER                   (the least a moved file costs here)
//   svbench copy-nostatus|copy-noprogress|copy-nopump SOURCE TARGET
//                                          (the window without that part)
#include <windows.h>
#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchWindow.h"
#include "bench/Floor.h"
#include "fileops/CheckedArchive.h"
#include "fileops/FileOps.h"
#include "install/Commit.h"
#include "install/Journal.h"
#include "platform/Platform.h"

namespace {

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Asks the window from a second thread, again and again, whether it handles
// messages; the longest time between two answers is the longest freeze.
class ResponsivenessProbe {
 public:
  explicit ResponsivenessProbe(HWND window) : window_(window) {
    thread_ = std::thread([this] { Run(); });
  }
  ~ResponsivenessProbe() { Stop(); }
  double Stop() {
    if (thread_.joinable()) {
      stop_ = true;
      thread_.join();
      // A window that has not answered since its last answer: that wait
      // counts too, or a phase that never answers would show no gap.
      if (Now() - last_ > maxGap_) maxGap_ = Now() - last_;
    }
    return maxGap_ * 1000.0;
  }

 private:
  void Run() {
    last_ = Now();
    while (!stop_) {
      DWORD_PTR result = 0;
      if (SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, 50, &result)) {
        const double now = Now();
        if (now - last_ > maxGap_) maxGap_ = now - last_;
        last_ = now;
      }
      Sleep(10);
    }
  }

  HWND window_;
  std::atomic<bool> stop_{false};
  double maxGap_ = 0;
  double last_ = Now();  // the last answer
  std::thread thread_;
};

// This process's processor time so far, user and kernel: less swayed than
// the clock by what else the machine runs.
double CpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& t) {
    return static_cast<double>(ULARGE_INTEGER{{t.dwLowDateTime, t.dwHighDateTime}}.QuadPart) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

double Megabytes(SIZE_T bytes) {
  return static_cast<double>(bytes) / 1048576.0;
}

void PrintMemory(const char* prefix) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  std::printf("%s_ws_mb=%.1f\n%s_private_mb=%.1f\n", prefix, Megabytes(counters.PeakWorkingSetSize),
              prefix, Megabytes(counters.PeakPagefileUsage));
}

void CurrentMemory(const char* prefix) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  std::printf("%s_ws_mb=%.1f\n%s_private_mb=%.1f\n", prefix, Megabytes(counters.WorkingSetSize),
              prefix, Megabytes(counters.PagefileUsage));
}

int Extract(const std::wstring& archive, const std::wstring& target) {
  auto window = bench::CreateWorkWindow();
  platform::ForceDirectories(target);
  CurrentMemory("base");
  ResponsivenessProbe probe(window->Window());
  const double start = Now();
  const fileops::ExtractResult result = fileops::ExtractArchive(*window, archive, target);
  window->Flush();
  const double seconds = Now() - start;
  std::printf("seconds=%.3f\nmax_gap_ms=%.0f\nresult=%d\n", seconds, probe.Stop(),
              static_cast<int>(result));
  PrintMemory("peak");
  return result == fileops::ExtractResult::Complete ? 0 : 1;
}

class QuietContext : public fileops::WorkContext {
 public:
  void SetStatus(const std::wstring&) override {}
  void StepProgress() override {}
  void ProcessMessages() override {}
  bool StopRequested() const override { return false; }
  void StopInstall() override {}
  bool LeaveVzoryOnCd() const override { return false; }
  bool LeavePrikladyOnCd() const override { return false; }
  void AddMemoLine(const std::wstring&) override {}
  const std::wstring& SetupTitle() const override { return title_; }
  std::wstring title_;
};

int ExtractQuiet(const std::wstring& archive, const std::wstring& target) {
  QuietContext ctx;
  platform::ForceDirectories(target);
  const double start = Now();
  const fileops::ExtractResult result = fileops::ExtractArchive(ctx, archive, target);
  std::printf("seconds=%.3f\nresult=%d\n", Now() - start, static_cast<int>(result));
  return 0;
}

// The window as the installation's host, for the commit.
class BenchHost final : public install::InstallHost {
 public:
  explicit BenchHost(fileops::WorkContext& window) : w_(window) {}
  void SetStatus(const std::wstring& text) override { w_.SetStatus(text); }
  void StepProgress() override { w_.StepProgress(); }
  void ProcessMessages() override { w_.ProcessMessages(); }
  bool StopRequested() const override { return w_.StopRequested(); }
  void StopInstall() override { w_.StopInstall(); }
  bool LeaveVzoryOnCd() const override { return false; }
  bool LeavePrikladyOnCd() const override { return false; }
  void AddMemoLine(const std::wstring& line) override { w_.AddMemoLine(line); }
  const std::wstring& SetupTitle() const override { return w_.SetupTitle(); }
  void ClearStopRequest() override {}
  void SetBottomBarVisible(bool) override {}
  void ResetProgress() override {}
  void SetProgressTotal(int) override {}
  void Redraw() override {}
  void ShowError(const std::wstring&) override {}
  int Ask(const std::wstring&, UINT) override { return IDCANCEL; }

 private:
  fileops::WorkContext& w_;
};

// The installation's copy: counted, staged into the held target, then
// committed with its journal, the backups of what it replaced removed last
// (reported on their own: seconds ends where the installation is complete).
// Into a target that holds an earlier copy, this is a second installation.
int Copy(const std::wstring& source, const std::wstring& target,
         unsigned omit = bench::kOmitNothing) {
  auto window = bench::CreateWorkWindow(omit);
  ResponsivenessProbe probe(window->Window());
  const double start = Now();
  const double cpuStart = CpuSeconds();
  const int files = fileops::CountFiles(*window, source);
  window->SetProgressMax(files + 8);
  const double counted = Now();
  install::Journal journal;
  journal.Begin();
  journal.StagesIn(target, true);
  journal.Save();
  const platform::HeldFolder to = platform::HeldFolder::Open(target, true);
  const platform::HeldFolder from = platform::HeldFolder::Open(source);
  fileops::Staging staging;
  staging.prefix = journal.Prefix();
  const bool copied =
      fileops::CopyDir(*window, from, source, to, target, false, nullptr, nullptr, &staging)
          .empty();
  window->Flush();
  const double staged = Now();
  BenchHost host(*window);
  const bool committed =
      install::CommitStaged(host, journal, staging.entries) == install::CommitResult::Done;
  journal.Complete();
  journal.StartBackupRemoval();
  const double end = Now();
  // The backups go on a thread of their own meanwhile, as the wizard waits
  // for the engine's setup; the window keeps answering.
  if (HANDLE going = journal.RemovingBackups()) platform::WaitPumping(going, INFINITE);
  journal.Erase();
  const double removed = Now();
  std::printf("cpu_seconds=%.3f\n", CpuSeconds() - cpuStart);
  std::printf(
      "files=%d\ncount_seconds=%.3f\ncommit_seconds=%.3f\nseconds=%.3f\n"
      "backups_seconds=%.3f\nmax_gap_ms=%.0f\n",
      files, counted - start, end - staged, end - start, removed - end, probe.Stop());
  PrintMemory("peak");
  return window->StopRequested() || !copied || !committed ? 1 : 0;
}

int CopyQuiet(const std::wstring& source, const std::wstring& target) {
  QuietContext ctx;
  const double start = Now();
  const double cpuStart = CpuSeconds();
  const int files = fileops::CountFiles(ctx, source);
  fileops::CopyDir(ctx, source, target, false);
  std::printf("cpu_seconds=%.3f\n", CpuSeconds() - cpuStart);
  std::printf("files=%d\nseconds=%.3f\n", files, Now() - start);
  return 0;
}

// The plain walk any program under Wine pays for: list, create, copy.
int BareCopyTree(const std::wstring& source, const std::wstring& target) {
  CreateDirectoryW(target.c_str(), nullptr);
  WIN32_FIND_DATAW data;
  platform::UniqueFind find(FindFirstFileW((source + L"\\*.*").c_str(), &data));
  if (!find) return 0;
  int files = 0;
  do {
    const std::wstring name = data.cFileName;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (name != L"." && name != L"..")
        files += BareCopyTree(source + L"\\" + name, target + L"\\" + name);
    } else if (CopyFileW((source + L"\\" + name).c_str(), (target + L"\\" + name).c_str(), FALSE)) {
      ++files;
    }
  } while (FindNextFileW(find.get(), &data));
  return files;
}

int BareCopy(const std::wstring& source, const std::wstring& target) {
  const double start = Now();
  const double cpuStart = CpuSeconds();
  const int files = BareCopyTree(source, target);
  std::printf("cpu_seconds=%.3f\n", CpuSeconds() - cpuStart);
  std::printf("files=%d\nseconds=%.3f\n", files, Now() - start);
  return 0;
}

// The most room the drive of a folder gave up while it ran, sampled from a
// second thread: what the work took on the disk at its peak.
class RoomProbe {
 public:
  explicit RoomProbe(std::wstring folder) : folder_(std::move(folder)) {
    start_ = Free();
    least_ = start_;
    thread_ = std::thread([this] {
      while (!stop_) {
        const uint64_t now = Free();
        if (now < least_) least_ = now;
        Sleep(5);
      }
    });
  }
  ~RoomProbe() { Stop(); }
  uint64_t Stop() {
    if (thread_.joinable()) {
      stop_ = true;
      thread_.join();
    }
    return start_ > least_ ? start_ - least_ : 0;
  }

 private:
  uint64_t Free() const {
    ULARGE_INTEGER free{};
    GetDiskFreeSpaceExW(folder_.c_str(), &free, nullptr, nullptr);
    return free.QuadPart;
  }
  std::wstring folder_;
  uint64_t start_ = 0, least_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

int Install(const std::wstring& archive, const std::wstring& folder, bool stamped) {
  // The stamp the medium's wizard carries; made before, as make-medium does.
  std::optional<fileops::ChunkDigests> stamp;
  if (stamped) {
    const platform::UniqueFile file(CreateFileW(archive.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                nullptr, OPEN_EXISTING, 0, nullptr));
    stamp = fileops::ChunkDigestsOf(file.get());
    if (!stamp) return 1;
  }
  auto window = bench::CreateWorkWindow();
  platform::ForceDirectories(folder);
  const std::wstring work = folder + L"\\Instalace", app = folder + L"\\App";
  const platform::HeldFolder to = platform::HeldFolder::Open(app, true);
  const platform::HeldFolder held = platform::HeldFolder::Open(work, true);
  RoomProbe room(folder);
  IO_COUNTERS before{}, after{};
  GetProcessIoCounters(GetCurrentProcess(), &before);
  const uint64_t readBefore = fileops::ArchiveBytesRead();
  double gaps[4] = {};
  double times[5] = {Now()};
  auto probe = std::make_unique<ResponsivenessProbe>(window->Window());
  auto phase = [&](int i) {
    times[i + 1] = Now();
    gaps[i] = probe->Stop();
    probe = std::make_unique<ResponsivenessProbe>(window->Window());
  };
  std::vector<std::wstring> entries;
  std::vector<fileops::EntryFacts> facts;
  const fileops::ExtractResult result =
      fileops::ExtractArchive(*window, archive, work, &entries, &held, nullptr, {app, L""}, nullptr,
                              stamp ? &*stamp : nullptr, {}, &facts);
  window->Flush();
  phase(0);
  const int files = fileops::CountFiles(*window, work);
  window->SetProgressMax(files + 8);
  phase(1);
  install::Journal journal;
  journal.Begin();
  journal.StagesIn(app, true);
  journal.Save();
  const fileops::UnpackedFiles unpacked(entries, facts);
  fileops::Staging staging;
  staging.prefix = journal.Prefix();
  staging.unpacked = &unpacked;
  const bool copied =
      fileops::CopyDir(*window, held, work, to, app, false, nullptr, nullptr, &staging).empty();
  window->Flush();
  phase(2);
  BenchHost host(*window);
  const bool committed =
      install::CommitStaged(host, journal, staging.entries) == install::CommitResult::Done;
  journal.Complete();
  journal.Erase();
  phase(3);
  GetProcessIoCounters(GetCurrentProcess(), &after);
  std::printf(
      "result=%d\nfiles=%d\nseconds=%.3f\nextract_seconds=%.3f\ncount_seconds=%.3f\n"
      "stage_seconds=%.3f\ncommit_seconds=%.3f\n",
      static_cast<int>(result), files, times[4] - times[0], times[1] - times[0],
      times[2] - times[1], times[3] - times[2], times[4] - times[3]);
  std::printf("gap_extract_ms=%.0f\ngap_count_ms=%.0f\ngap_stage_ms=%.0f\ngap_commit_ms=%.0f\n",
              gaps[0], gaps[1], gaps[2], gaps[3]);
  std::printf("archive_read_bytes=%llu\nroom_peak_bytes=%llu\n",
              static_cast<unsigned long long>(fileops::ArchiveBytesRead() - readBefore),
              static_cast<unsigned long long>(room.Stop()));
  // Zero where the system keeps no such counters (Wine).
  std::printf("io_read_bytes=%llu\nio_write_bytes=%llu\n",
              after.ReadTransferCount - before.ReadTransferCount,
              after.WriteTransferCount - before.WriteTransferCount);
  PrintMemory("peak");
  return result == fileops::ExtractResult::Complete && copied && committed ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && std::wstring(argv[1]) == L"floor") return bench::Floor(argv[2]);
  if (argc != 4) {
    std::fprintf(stderr, "usage: svbench extract|copy|barecopy FROM TO\n");
    return 2;
  }
  platform::ComApartment com;
  const std::wstring mode = argv[1];
  int code = 2;
  if (mode == L"extract") code = Extract(argv[2], argv[3]);
  if (mode == L"extract-quiet") code = ExtractQuiet(argv[2], argv[3]);
  if (mode == L"copy") code = Copy(argv[2], argv[3]);
  if (mode == L"copy-quiet") code = CopyQuiet(argv[2], argv[3]);
  // The window's parts one at a time: what each costs.
  if (mode == L"copy-nostatus") code = Copy(argv[2], argv[3], bench::kOmitStatus);
  if (mode == L"copy-noprogress") code = Copy(argv[2], argv[3], bench::kOmitProgress);
  if (mode == L"copy-nopump") code = Copy(argv[2], argv[3], bench::kOmitPump);
  if (mode == L"barecopy") code = BareCopy(argv[2], argv[3]);
  if (mode == L"install" || mode == L"install-stamped")
    code = Install(argv[2], argv[3], mode == L"install-stamped");
  std::fflush(stdout);
  return code;
}
