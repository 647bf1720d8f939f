// Wiz_SingleEntryUnzip on top of libzip: the part of the unzip library the
// wizard uses, extraction of a whole archive with its stored folders.
#include "fileops/UnZip32.h"

#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "fileops/ArchivePlan.h"
#include "fileops/FileOps.h"
#include "platform/Handles.h"
#include "platform/Platform.h"

namespace {

// Entries are streamed through this much memory, whatever their size.
constexpr size_t kBufferSize = 256 * 1024;
// Longest stretch spent inside one entry without letting messages through.
constexpr ULONGLONG kKeepAliveMs = 30;

// ------------------------------------------------------------------ the call

struct ArchiveCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

struct EntryCloser {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using Entry = std::unique_ptr<zip_file_t, EntryCloser>;

class Unzipper {
 public:
  Unzipper(const DCL& options, USERFUNCTIONS& functions, const fileops::UnzipNeeds& needs)
      : options_(options), functions_(functions), needs_(needs) {}

  // Every planned entry's full path below the target folder, in plan order.
  std::vector<std::wstring> PlannedTargets() const {
    std::vector<std::wstring> targets;
    for (const auto& entry : plan_.entries)
      targets.push_back(entry.target + (entry.folder ? L"\\" : L""));
    return targets;
  }

  int Run() {
    const int opened = Open();
    if (opened != PK_OK) return opened;
    if (options_.nvflag) return List();
    return Extract();
  }

 private:
  void Print(const std::string& text) {
    if (!functions_.print || options_.fQuiet >= 2) return;
    std::string copy = text;
    functions_.print(copy.data(), static_cast<unsigned long>(copy.size()));
  }

  int Refuse(int code, const std::string& why, const std::string& name = {}) {
    Print("error: " + why + (name.empty() ? "" : ": " + name) + ", nothing extracted");
    return code;
  }

  int Open() {
    const std::wstring zipName = platform::Utf8OrOem(options_.lpszZipFN);
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_win32w_create(zipName.c_str(), 0, -1, &error);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    if (!archive) {
      if (source) zip_source_free(source);
      const int code = zip_error_code_zip(&error);
      Print(std::string("error: cannot open ") + options_.lpszZipFN + ": " +
            zip_error_strerror(&error));
      zip_error_fini(&error);
      return code == ZIP_ER_INCONS ? PK_BADERR : PK_NOZIP;
    }
    zip_error_fini(&error);
    archive_.reset(archive);
    return PK_OK;
  }

  // Reads the whole directory, and nothing else, before anything is
  // written: one entry that cannot be unpacked safely and whole makes the
  // archive damaged, and nothing of it is written.
  int Plan() {
    fileops::PlanRefusal refusal;
    const int planned = fileops::PlanArchive(
        archive_.get(), platform::Utf8OrOem(options_.lpszExtractDir), needs_, plan_, refusal);
    if (planned != PK_OK) return Refuse(planned, refusal.why, refusal.name);
    const zip_uint64_t totalSize = plan_.totalSize, totalPacked = plan_.totalPacked;
    functions_.NumMembers = static_cast<unsigned long>(plan_.entries.size());
    functions_.TotalSize = static_cast<unsigned long>(totalSize);
    functions_.TotalSizeComp = static_cast<unsigned long>(totalPacked);
    functions_.CompFactor =
        totalSize > totalPacked
            ? static_cast<unsigned long>(totalSize < UINT64_MAX / 100
                                             ? (totalSize - totalPacked) * 100 / totalSize
                                             : (totalSize - totalPacked) / (totalSize / 100))
            : 0;
    return PK_OK;
  }

  int List() {
    const int planned = Plan();
    if (planned != PK_OK) return planned;
    for (const auto& entry : plan_.entries) {
      if (!functions_.SendApplicationMessage) break;
      const zip_stat_t& st = entry.stat;
      const unsigned long size = static_cast<unsigned long>(st.size);
      const unsigned long packed = static_cast<unsigned long>(st.comp_size);
      unsigned factor = 0;
      if (st.size > 0) {
        const zip_uint64_t diff =
            st.size > st.comp_size ? st.size - st.comp_size : st.comp_size - st.size;
        factor = static_cast<unsigned>((diff * 100 + st.size / 2) / st.size);
      }
      std::tm local{};
      const time_t when = st.mtime;
      localtime_s(&local, &when);
      std::string name = entry.name;
      std::string method = st.comp_method == ZIP_CM_STORE ? "Stored"
                           : st.comp_method == ZIP_CM_DEFLATE
                               ? "Defl:N"
                               : "Unk:" + std::to_string(st.comp_method);
      functions_.SendApplicationMessage(
          size, packed, factor, local.tm_mon + 1, local.tm_mday, local.tm_year % 100, local.tm_hour,
          local.tm_min, ' ', name.data(), method.data(), static_cast<unsigned long>(st.crc),
          st.encryption_method != ZIP_EM_NONE ? 'E' : ' ');
    }
    return PK_OK;
  }

  int Extract() {
    const int planned = Plan();
    if (planned != PK_OK) return planned;
    if (!fileops::FitsOnItsVolumes(plan_, needs_))
      return Refuse(PK_DISK, "not enough room on the disk");
    buffer_.resize(kBufferSize);
    int result =
        platform::FolderExists(plan_.target) || CreateFolder(plan_.target) ? PK_OK : PK_DISK;
    for (auto entry = plan_.entries.begin(); result == PK_OK && entry != plan_.entries.end();
         ++entry) {
      if (functions_.ServCallBk) {
        std::string name = entry->name;
        if (functions_.ServCallBk(name.c_str(), static_cast<unsigned long>(entry->stat.size)) !=
            0) {
          // Not a failure: what is unpacked stays for the next run.
          Print("extraction stopped");
          return IZ_CTRLC;
        }
      }
      result =
          entry->folder ? (CreateFolder(entry->target) ? PK_OK : PK_DISK) : ExtractFile(*entry);
    }
    if (result != PK_OK && result != IZ_CTRLC) RemoveWhatThisRunMade();
    return result;
  }

  // A failed run leaves nothing of its own behind: the files it wrote and
  // the folders it made, the deepest first. A file it left as it was stays.
  void RemoveWhatThisRunMade() {
    for (auto file = madeFiles_.rbegin(); file != madeFiles_.rend(); ++file)
      DeleteFileW(file->c_str());
    for (auto folder = madeFolders_.rbegin(); folder != madeFolders_.rend(); ++folder)
      RemoveDirectoryW(folder->c_str());
    Print("error: extraction failed, what it wrote is removed");
  }

  bool CreateFolder(const std::wstring& path) {
    bool created = false;
    try {
      created = platform::ForceDirectories(path, &madeFolders_);
    } catch (const platform::SetupError&) {
    }
    if (!created) Print("error: cannot create folder " + platform::Utf8(path));
    return created;
  }

  platform::UniqueFile CreateTarget(const std::wstring& path) {
    platform::UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file && GetLastError() == ERROR_ACCESS_DENIED) {
      // An existing read-only, hidden or system file is replaced as well.
      const DWORD attributes = GetFileAttributesW(path.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
          (attributes &
           (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) &&
          SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL))
        file.reset(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    return file;
  }

  // The file at the entry's target has the entry's size and checksum.
  static bool SameAsEntry(const fileops::PlannedEntry& entry) {
    platform::UniqueFile in(CreateFileW(entry.target.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return in && fileops::HoldsEntryContent(in.get(), entry.stat.size, entry.stat.crc);
  }

  int ExtractFile(const fileops::PlannedEntry& entry) {
    const std::wstring parent = platform::ExtractFilePath(entry.target);
    if (parent != lastParent_) {
      if (!platform::FolderExists(parent) && !CreateFolder(parent)) return PK_DISK;
      lastParent_ = parent;
    }
    Entry file(zip_fopen_index(archive_.get(), entry.index, 0));
    if (!file) {
      Print("error: cannot read " + entry.name + ": " + zip_strerror(archive_.get()));
      return PK_ERR;
    }
    platform::UniqueFile out = CreateTarget(entry.target);
    if (!out && GetLastError() == ERROR_SHARING_VIOLATION && SameAsEntry(entry)) {
      // A file in use (the engine's setup program of an earlier run, still
      // running) that already holds this entry's content is left as it is.
      Print("  in use, unchanged: " + entry.name);
      return PK_OK;
    }
    if (!out) {
      Print("error: cannot write " + platform::Utf8(entry.target));
      return PK_DISK;
    }
    madeFiles_.push_back(entry.target);
    // Held to the size the directory declares: a deflated entry can inflate
    // far beyond it. One byte more is asked for than may come, so that the
    // end (and with it the checksum test) or a lie shows.
    zip_uint64_t remaining = entry.stat.size;
    ULONGLONG lastKeepAlive = GetTickCount64();
    for (;;) {
      const size_t wanted =
          remaining < buffer_.size() ? static_cast<size_t>(remaining) + 1 : buffer_.size();
      const zip_int64_t n = zip_fread(file.get(), buffer_.data(), wanted);
      if (n < 0) {
        Print("error: " + entry.name + ": " + zip_file_strerror(file.get()));
        return PK_BADERR;
      }
      if (n == 0) {
        if (remaining == 0) break;
        Print("error: " + entry.name + ": fewer bytes than declared");
        return PK_BADERR;
      }
      if (static_cast<zip_uint64_t>(n) > remaining) {
        Print("error: " + entry.name + ": more bytes than declared");
        return PK_BADERR;
      }
      DWORD written = 0;
      if (!WriteFile(out.get(), buffer_.data(), static_cast<DWORD>(n), &written, nullptr) ||
          written != static_cast<DWORD>(n)) {
        Print("error: cannot write " + platform::Utf8(entry.target));
        return PK_DISK;
      }
      remaining -= static_cast<zip_uint64_t>(n);
      if (GetTickCount64() - lastKeepAlive >= kKeepAliveMs) {
        fileops::UnzipKeepAlive();
        lastKeepAlive = GetTickCount64();
      }
      if (remaining > 0 && fileops::UnzipStopRequested()) {
        // A half-written file is of no use to the next run: it goes.
        out.reset();
        DeleteFileW(entry.target.c_str());
        madeFiles_.pop_back();
        Print("extraction stopped");
        return IZ_CTRLC;
      }
    }
    if (entry.stat.valid & ZIP_STAT_MTIME) {
      // The stored time, as the archiver recorded it.
      const long long ticks =
          static_cast<long long>(entry.stat.mtime) * 10000000LL + 116444736000000000LL;
      FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
      SetFileTime(out.get(), nullptr, nullptr, &ft);
    }
    return PK_OK;
  }

  const DCL& options_;
  USERFUNCTIONS& functions_;
  const fileops::UnzipNeeds& needs_;
  Archive archive_;
  fileops::ArchivePlan plan_;
  std::vector<char> buffer_;
  std::wstring lastParent_;
  std::vector<std::wstring> madeFiles_;    // written by this run
  std::vector<std::wstring> madeFolders_;  // made by this run, outermost first
};

bool Unsupported(const DCL& o) {
  return o.ExtractOnlyNewer || o.SpaceToUnderscore || o.PromptToOverwrite || o.ncflag || o.ntflag ||
         o.nfflag || o.naflag || o.nZIflag || o.ndflag != 1;
}

}  // namespace

extern "C" int WINAPI Wiz_SingleEntryUnzip(int ifnc, char** ifnv, int xfnc, char** xfnv,
                                           LPDCL lpDCL, LPUSERFUNCTIONS lpUserFunc) {
  (void)ifnv;
  (void)xfnv;
  if (ifnc != 0 || xfnc != 0) return PK_PARAM;
  return fileops::UnzipWithNeeds(lpDCL, lpUserFunc, {});
}

namespace fileops {

bool HoldsEntryContent(HANDLE file, uint64_t size, uint32_t crc) {
  std::vector<Bytef> buffer(64 << 10);
  uLong sum = crc32(0, nullptr, 0);
  uint64_t total = 0;
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
      return false;
    if (read == 0) break;
    sum = crc32(sum, buffer.data(), read);
    total += read;
    if (total > size) return false;
  }
  return total == size && static_cast<uint32_t>(sum) == crc;
}

int UnzipWithNeeds(LPDCL lpDCL, LPUSERFUNCTIONS lpUserFunc, const UnzipNeeds& needs,
                   std::vector<std::wstring>* entries) {
  if (!lpDCL || !lpUserFunc || !lpDCL->lpszZipFN) return PK_PARAM;
  if (!lpDCL->nvflag && Unsupported(*lpDCL)) return PK_PARAM;
  Unzipper unzipper(*lpDCL, *lpUserFunc, needs);
  const int result = unzipper.Run();
  if (entries) *entries = unzipper.PlannedTargets();
  return result;
}

}  // namespace fileops
