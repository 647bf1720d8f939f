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

#include "fileops/FileOps.h"
#include "platform/Handles.h"
#include "platform/Platform.h"

namespace {

// Entries are streamed through this much memory, whatever their size.
constexpr size_t kBufferSize = 256 * 1024;
// Longest stretch spent inside one entry without letting messages through.
constexpr ULONGLONG kKeepAliveMs = 30;
// What CreateFileW and CreateDirectoryW take without the long-path prefix:
// a file's full path below MAX_PATH, a folder's with room for an 8.3 name.
constexpr size_t kMaxFilePath = MAX_PATH - 1;
constexpr size_t kMaxFolderPath = MAX_PATH - 13;
// Deeper than any archive meant for installing.
constexpr size_t kMaxDepth = 64;

// ------------------------------------------------------------------ texts

// Every spelling Windows documents, with or without an extension: "nul.txt"
// and "COM¹ .log" are devices as well.
bool IsReservedDeviceName(std::wstring base) {
  const auto dot = base.find(L'.');
  if (dot != std::wstring::npos) base.resize(dot);
  while (!base.empty() && base.back() == L' ') base.pop_back();
  base = platform::AsciiUpper(std::move(base));
  if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL" || base == L"CONIN$" ||
      base == L"CONOUT$")
    return true;
  if (base.size() != 4 || !(base.starts_with(L"COM") || base.starts_with(L"LPT"))) return false;
  const wchar_t digit = base[3];
  return (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
         digit == L'\u00B3';
}

// Turns a stored name into a path relative to the target folder. False for
// a name Windows cannot hold as it stands or that could reach outside the
// target: absolute, with a drive, device or stream, characters Windows
// refuses, a component ending in a dot or a space (".." among them, which
// Windows would also shorten), a reserved device name. "." and empty
// components are dropped. Both "/" and "\" separate folders.
bool SafeRelativePath(const std::wstring& stored, std::wstring& relative, bool& folder) {
  relative.clear();
  if (stored.empty() || stored[0] == L'/' || stored[0] == L'\\') return false;
  folder = stored.back() == L'/' || stored.back() == L'\\';
  for (wchar_t c : stored)
    if (c < 0x20 || std::wcschr(L"<>:\"|?*", c)) return false;
  size_t start = 0;
  while (start <= stored.size()) {
    size_t end = stored.find_first_of(L"/\\", start);
    if (end == std::wstring::npos) end = stored.size();
    const std::wstring part = stored.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == L".") continue;
    if (part.back() == L'.' || part.back() == L' ' || IsReservedDeviceName(part)) return false;
    if (!relative.empty()) relative += L'\\';
    relative += part;
  }
  return !relative.empty() || folder;
}

std::wstring FullPath(const std::wstring& path) {
  const DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return {};
  std::wstring out(n, L'\0');
  const DWORD m = GetFullPathNameW(path.c_str(), n, out.data(), nullptr);
  out.resize(m);
  return out;
}

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix) {
  return text.size() >= prefix.size() &&
         CompareStringOrdinal(text.data(), static_cast<int>(prefix.size()), prefix.data(),
                              static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

// One letter case for names Windows takes as the same.
std::wstring FoldCase(const std::wstring& text) {
  if (text.empty()) return text;
  std::wstring out(text.size(), L'\0');
  const int n = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.data(),
                              static_cast<int>(text.size()), out.data(),
                              static_cast<int>(out.size()), nullptr, nullptr, 0);
  return n == static_cast<int>(text.size()) ? out : platform::AsciiUpper(text);
}

zip_uint64_t AddCapped(zip_uint64_t a, zip_uint64_t b) {
  return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

// Every path the archive makes, in one letter case, with the folders that
// deeper names imply.
class NameIndex {
 public:
  // False when the path is already taken by another entry, or a file
  // stands where a folder is needed or the other way round.
  bool Add(const std::wstring& key, bool folder) {
    for (size_t cut = key.rfind(L'\\'); cut != std::wstring::npos && cut > 0;
         cut = key.rfind(L'\\', cut - 1)) {
      const auto [it, added] = kinds_.try_emplace(key.substr(0, cut), Kind::ImpliedFolder);
      if (!added) {
        if (it->second == Kind::File) return false;
        break;  // known, and so is everything above it
      }
    }
    const auto [it, added] = kinds_.try_emplace(key, folder ? Kind::Folder : Kind::File);
    if (added) return true;
    if (folder && it->second == Kind::ImpliedFolder) {
      it->second = Kind::Folder;
      return true;
    }
    return false;
  }
  bool HasFile(const std::wstring& key) const {
    const auto it = kinds_.find(key);
    return it != kinds_.end() && it->second == Kind::File;
  }

 private:
  enum class Kind { File, Folder, ImpliedFolder };
  std::unordered_map<std::wstring, Kind> kinds_;
};

// Why an entry cannot be unpacked as a plain file or folder; null when it can.
const char* Unusable(zip_t* archive, zip_uint64_t index, const zip_stat_t& st, bool folder) {
  if (!(st.valid & ZIP_STAT_SIZE) || !(st.valid & ZIP_STAT_CRC)) return "damaged entry";
  if (!(st.valid & ZIP_STAT_ENCRYPTION_METHOD) || st.encryption_method != ZIP_EM_NONE)
    return "encrypted entry";
  if (!folder &&
      (!(st.valid & ZIP_STAT_COMP_METHOD) || !zip_compression_method_supported(st.comp_method, 0)))
    return "unsupported compression method";
  zip_uint8_t system = 0;
  zip_uint32_t attributes = 0;
  if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0)
    return "damaged entry";
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return "link entry";
  if (system == ZIP_OPSYS_UNIX) {
    // The Unix file type: only plain files and folders (or none given).
    const zip_uint32_t type = (attributes >> 16) & 0170000;
    if (type != 0 && type != 0100000 && type != 0040000) return "link or special file entry";
  }
  return nullptr;
}

// Free bytes for this user on the volume that holds path (or would hold it);
// the largest value when that cannot be learnt: the writing then tells.
zip_uint64_t FreeRoom(std::wstring path) {
  while (!platform::FolderExists(path)) {
    std::wstring parent = platform::ExtractFilePath(path);
    if (parent.size() > 3 && parent.back() == L'\\') parent.pop_back();
    if (parent.empty() || parent == path) return UINT64_MAX;
    path = std::move(parent);
  }
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExW(path.c_str(), &available, nullptr, nullptr)) return UINT64_MAX;
  return available.QuadPart;
}

// ------------------------------------------------------------------ the call

struct ArchiveCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

struct EntryCloser {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using Entry = std::unique_ptr<zip_file_t, EntryCloser>;

struct PlannedEntry {
  zip_uint64_t index;
  std::string name;     // as stored, UTF-8, for the callbacks
  std::wstring target;  // full path below the target folder
  bool folder;
  zip_stat_t stat;
};

class Unzipper {
 public:
  Unzipper(const DCL& options, USERFUNCTIONS& functions, const fileops::UnzipNeeds& needs)
      : options_(options), functions_(functions), needs_(needs) {}

  // Every planned entry's full path below the target folder, in plan order.
  std::vector<std::wstring> PlannedTargets() const {
    std::vector<std::wstring> targets;
    for (const auto& entry : plan_) targets.push_back(entry.target + (entry.folder ? L"\\" : L""));
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
    std::wstring target = platform::Utf8OrOem(options_.lpszExtractDir);
    if (target.empty()) target = L".";
    target_ = FullPath(target);
    while (target_.size() > 3 && (target_.back() == L'\\' || target_.back() == L'/'))
      target_.pop_back();
    const std::wstring root = target_.back() == L'\\' ? target_ : target_ + L'\\';

    std::vector<std::wstring> foldersTwice;
    for (const auto& folder : needs_.foldersTwice) foldersTwice.push_back(FoldCase(folder));
    NameIndex names;
    const zip_int64_t count = zip_get_num_entries(archive_.get(), 0);
    zip_uint64_t totalSize = 0, totalPacked = 0;
    for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(count); ++i) {
      PlannedEntry entry{};
      entry.index = i;
      const char* raw = zip_get_name(archive_.get(), i, ZIP_FL_ENC_RAW);
      if (!raw || zip_stat_index(archive_.get(), i, ZIP_FL_ENC_RAW, &entry.stat) != 0)
        return Refuse(PK_BADERR, "damaged archive directory");
      // Names without the UTF-8 mark come from old archivers that wrote the OEM
      // code page; pure ASCII reads the same either way.
      const std::wstring stored = platform::Utf8OrOem(raw);
      entry.name = platform::Utf8(stored);
      std::wstring relative;
      if (!SafeRelativePath(stored, relative, entry.folder))
        return Refuse(PK_BADERR, "unsafe entry name", entry.name);
      if (const char* why = Unusable(archive_.get(), i, entry.stat, entry.folder))
        return Refuse(entry.stat.encryption_method != ZIP_EM_NONE ? IZ_BADPWD : PK_BADERR, why,
                      entry.name);
      entry.target = relative.empty() ? target_ : FullPath(root + relative);
      if (!relative.empty()) {
        // Whatever the path rules above missed, the result must lie below the
        // target folder.
        if (!StartsWithNoCase(entry.target, root))
          return Refuse(PK_BADERR, "unsafe entry name", entry.name);
        const size_t leaf = entry.target.size() - entry.target.rfind(L'\\');
        const size_t depth = std::count(relative.begin(), relative.end(), L'\\') + 1;
        if (entry.target.size() > (entry.folder ? kMaxFolderPath : kMaxFilePath) ||
            entry.target.size() - leaf > kMaxFolderPath || depth > kMaxDepth)
          return Refuse(PK_BADERR, "path too long or too deep", entry.name);
        const std::wstring key = FoldCase(relative);
        if (!names.Add(key, entry.folder))
          return Refuse(PK_BADERR, "name taken twice (letter case aside)", entry.name);
        if (!entry.folder) {
          const size_t cut = key.find(L'\\');
          const bool twice = cut == std::wstring::npos
                                 ? needs_.rootFilesTwice
                                 : std::find(foldersTwice.begin(), foldersTwice.end(),
                                             key.substr(0, cut)) != foldersTwice.end();
          if (twice) secondCopy_ = AddCapped(secondCopy_, entry.stat.size);
        }
      }
      if (!entry.folder) totalSize = AddCapped(totalSize, entry.stat.size);
      totalPacked = AddCapped(totalPacked, entry.stat.comp_size);
      plan_.push_back(std::move(entry));
    }
    for (const auto& file : needs_.files)
      if (!names.HasFile(FoldCase(file))) return Refuse(PK_FIND, "missing " + platform::Utf8(file));
    totalSize_ = totalSize;
    functions_.NumMembers = static_cast<unsigned long>(plan_.size());
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
    for (const auto& entry : plan_) {
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
    if (AddCapped(totalSize_, secondCopy_) > FreeRoom(target_))
      return Refuse(PK_DISK, "not enough room on the disk");
    buffer_.resize(kBufferSize);
    int result = platform::FolderExists(target_) || CreateFolder(target_) ? PK_OK : PK_DISK;
    for (auto entry = plan_.begin(); result == PK_OK && entry != plan_.end(); ++entry) {
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
  static bool SameAsEntry(const PlannedEntry& entry) {
    platform::UniqueFile in(CreateFileW(entry.target.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return in && fileops::HoldsEntryContent(in.get(), entry.stat.size, entry.stat.crc);
  }

  int ExtractFile(const PlannedEntry& entry) {
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
  std::wstring target_;
  std::vector<PlannedEntry> plan_;
  zip_uint64_t totalSize_ = 0;   // what the files declare
  zip_uint64_t secondCopy_ = 0;  // of it, what the caller copies once more
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
