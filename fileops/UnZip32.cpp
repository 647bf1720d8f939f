// Wiz_SingleEntryUnzip on top of libzip: the part of the unzip library the
// wizard uses, extraction of a whole archive with its stored folders.
#include "fileops/UnZip32.h"

#include <zip.h>
#include <zlib.h>

#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace {

// Entries are streamed through this much memory, whatever their size.
constexpr size_t kBufferSize = 256 * 1024;
// Longest stretch spent inside one entry without letting messages through.
constexpr ULONGLONG kKeepAliveMs = 30;

// ------------------------------------------------------------------ texts

bool IsReservedDeviceName(std::wstring base) {
  const auto dot = base.find(L'.');
  if (dot != std::wstring::npos) base.resize(dot);
  while (!base.empty() && base.back() == L' ') base.pop_back();
  base = platform::AsciiUpper(std::move(base));
  if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL" || base == L"CONIN$" ||
      base == L"CONOUT$")
    return true;
  return base.size() == 4 && (base.starts_with(L"COM") || base.starts_with(L"LPT")) &&
         base[3] >= L'1' && base[3] <= L'9';
}

// Turns a stored name into a path relative to the target folder. False for
// a name that could reach outside it: absolute, with a drive or device
// prefix, a stream or a device name, or a ".." component in any spelling
// Windows accepts ("..", ".. ", "..."). Both "/" and "\" separate folders.
bool SafeRelativePath(const std::wstring& stored, std::wstring& relative, bool& folder) {
  relative.clear();
  if (stored.empty() || stored[0] == L'/' || stored[0] == L'\\') return false;
  if (stored.find(L':') != std::wstring::npos) return false;
  folder = stored.back() == L'/' || stored.back() == L'\\';
  size_t start = 0;
  while (start <= stored.size()) {
    size_t end = stored.find_first_of(L"/\\", start);
    if (end == std::wstring::npos) end = stored.size();
    const std::wstring part = stored.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    for (wchar_t c : part)
      if (c < 0x20) return false;
    // Windows drops trailing dots and spaces from every component.
    std::wstring trimmed = part;
    while (!trimmed.empty() && (trimmed.back() == L'.' || trimmed.back() == L' '))
      trimmed.pop_back();
    if (trimmed.empty()) {
      if (part == L".") continue;
      return false;
    }
    if (IsReservedDeviceName(trimmed)) return false;
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

// ------------------------------------------------------------------ the call

struct ArchiveCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

struct EntryCloser {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using Entry = std::unique_ptr<zip_file_t, EntryCloser>;

struct HandleCloser {
  void operator()(HANDLE h) const {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};

struct PlannedEntry {
  zip_uint64_t index;
  std::string name;     // as stored, UTF-8, for the callbacks
  std::wstring target;  // full path below the target folder
  bool folder;
  zip_stat_t stat;
};

class Unzipper {
 public:
  Unzipper(const DCL& options, USERFUNCTIONS& functions)
      : options_(options), functions_(functions) {}

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

  // Reads the whole directory first: an archive with one unsafe name is
  // damaged, and nothing of it is written.
  int Plan() {
    std::wstring target = platform::Utf8OrOem(options_.lpszExtractDir);
    if (target.empty()) target = L".";
    target_ = FullPath(target);
    while (target_.size() > 3 && (target_.back() == L'\\' || target_.back() == L'/'))
      target_.pop_back();
    const std::wstring root = target_.back() == L'\\' ? target_ : target_ + L'\\';

    const zip_int64_t count = zip_get_num_entries(archive_.get(), 0);
    zip_uint64_t totalSize = 0, totalPacked = 0;
    for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(count); ++i) {
      PlannedEntry entry{};
      entry.index = i;
      const char* raw = zip_get_name(archive_.get(), i, ZIP_FL_ENC_RAW);
      if (!raw || zip_stat_index(archive_.get(), i, ZIP_FL_ENC_RAW, &entry.stat) != 0) {
        Print("error: damaged archive directory");
        return PK_BADERR;
      }
      // Names without the UTF-8 mark come from old archivers that wrote the OEM
      // code page; pure ASCII reads the same either way.
      const std::wstring stored = platform::Utf8OrOem(raw);
      entry.name = platform::Utf8(stored);
      std::wstring relative;
      if (!SafeRelativePath(stored, relative, entry.folder)) {
        Print("error: unsafe entry name, nothing extracted: " + entry.name);
        return PK_BADERR;
      }
      entry.target = relative.empty() ? target_ : FullPath(root + relative);
      // Whatever the path rules above missed, the result must lie below the
      // target folder.
      if (!relative.empty() && !StartsWithNoCase(entry.target, root)) {
        Print("error: unsafe entry name, nothing extracted: " + entry.name);
        return PK_BADERR;
      }
      totalSize += entry.stat.size;
      totalPacked += entry.stat.comp_size;
      plan_.push_back(std::move(entry));
    }
    functions_.NumMembers = static_cast<unsigned long>(plan_.size());
    functions_.TotalSize = static_cast<unsigned long>(totalSize);
    functions_.TotalSizeComp = static_cast<unsigned long>(totalPacked);
    functions_.CompFactor =
        totalSize > totalPacked
            ? static_cast<unsigned long>((totalSize - totalPacked) * 100 / totalSize)
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
    if (!platform::FolderExists(target_) && !CreateFolder(target_)) return PK_DISK;
    buffer_.resize(kBufferSize);
    for (const auto& entry : plan_) {
      if (functions_.ServCallBk) {
        std::string name = entry.name;
        if (functions_.ServCallBk(name.c_str(), static_cast<unsigned long>(entry.stat.size)) != 0) {
          Print("extraction stopped");
          return IZ_CTRLC;
        }
      }
      const int result =
          entry.folder ? (CreateFolder(entry.target) ? PK_OK : PK_DISK) : ExtractFile(entry);
      if (result != PK_OK) return result;
    }
    return PK_OK;
  }

  bool CreateFolder(const std::wstring& path) {
    bool created = false;
    try {
      created = platform::ForceDirectories(path);
    } catch (const platform::SetupError&) {
    }
    if (!created) Print("error: cannot create folder " + platform::Utf8(path));
    return created;
  }

  HANDLE CreateTarget(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
      // An existing read-only, hidden or system file is replaced as well.
      const DWORD attributes = GetFileAttributesW(path.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
          (attributes &
           (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) &&
          SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL))
        h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    return h;
  }

  // The file at the entry's target has the entry's size and checksum.
  bool SameAsEntry(const PlannedEntry& entry) {
    if (!(entry.stat.valid & ZIP_STAT_SIZE) || !(entry.stat.valid & ZIP_STAT_CRC)) return false;
    std::unique_ptr<void, HandleCloser> in(CreateFileW(
        entry.target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (in.get() == INVALID_HANDLE_VALUE) return false;
    uLong crc = crc32(0, nullptr, 0);
    zip_uint64_t total = 0;
    DWORD got = 0;
    while (ReadFile(in.get(), buffer_.data(), static_cast<DWORD>(buffer_.size()), &got, nullptr) &&
           got > 0) {
      crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer_.data()), got);
      total += got;
    }
    return total == entry.stat.size && crc == entry.stat.crc;
  }

  zip_file_t* OpenEntry(const PlannedEntry& entry, int& failure) {
    if (entry.stat.encryption_method == ZIP_EM_NONE) {
      zip_file_t* file = zip_fopen_index(archive_.get(), entry.index, 0);
      if (!file) failure = PK_ERR;
      return file;
    }
    char password[81] = {};
    std::string name = entry.name;
    const int answer =
        functions_.password
            ? functions_.password(password, sizeof password, "Enter password for: ", name.c_str())
            : IZ_PW_CANCEL;
    zip_file_t* file = nullptr;
    if (answer == IZ_PW_ENTERED && password[0])
      file = zip_fopen_index_encrypted(archive_.get(), entry.index, 0, password);
    SecureZeroMemory(password, sizeof password);
    if (!file) failure = IZ_BADPWD;
    return file;
  }

  int ExtractFile(const PlannedEntry& entry) {
    const std::wstring parent = platform::ExtractFilePath(entry.target);
    if (parent != lastParent_) {
      if (!platform::FolderExists(parent) && !CreateFolder(parent)) return PK_DISK;
      lastParent_ = parent;
    }
    int failure = PK_OK;
    Entry file(OpenEntry(entry, failure));
    if (!file) {
      Print("error: cannot read " + entry.name + ": " + zip_strerror(archive_.get()));
      return failure;
    }
    std::unique_ptr<void, HandleCloser> out(CreateTarget(entry.target));
    if (out.get() == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION &&
        SameAsEntry(entry)) {
      // A file in use (the engine's setup program of an earlier run, still
      // running) that already holds this entry's content is left as it is.
      Print("  in use, unchanged: " + entry.name);
      return PK_OK;
    }
    if (out.get() == INVALID_HANDLE_VALUE) {
      Print("error: cannot write " + platform::Utf8(entry.target));
      return PK_DISK;
    }
    int result = PK_OK;
    ULONGLONG lastKeepAlive = GetTickCount64();
    for (;;) {
      const zip_int64_t n = zip_fread(file.get(), buffer_.data(), buffer_.size());
      if (n == 0) break;
      if (n < 0) {
        Print("error: " + entry.name + ": " + zip_file_strerror(file.get()));
        result = PK_BADERR;
        break;
      }
      DWORD written = 0;
      if (!WriteFile(out.get(), buffer_.data(), static_cast<DWORD>(n), &written, nullptr) ||
          written != static_cast<DWORD>(n)) {
        Print("error: cannot write " + platform::Utf8(entry.target));
        result = PK_DISK;
        break;
      }
      if (GetTickCount64() - lastKeepAlive >= kKeepAliveMs) {
        fileops::UnzipKeepAlive();
        lastKeepAlive = GetTickCount64();
      }
    }
    if (result == PK_OK && (entry.stat.valid & ZIP_STAT_MTIME)) {
      // The stored time, as the archiver recorded it.
      const long long ticks =
          static_cast<long long>(entry.stat.mtime) * 10000000LL + 116444736000000000LL;
      FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
      SetFileTime(out.get(), nullptr, nullptr, &ft);
    }
    out.reset();
    // A half-written file is not left behind as if it were whole.
    if (result != PK_OK) DeleteFileW(entry.target.c_str());
    return result;
  }

  const DCL& options_;
  USERFUNCTIONS& functions_;
  Archive archive_;
  std::wstring target_;
  std::vector<PlannedEntry> plan_;
  std::vector<char> buffer_;
  std::wstring lastParent_;
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
  if (!lpDCL || !lpUserFunc || !lpDCL->lpszZipFN || ifnc != 0 || xfnc != 0) return PK_PARAM;
  if (!lpDCL->nvflag && Unsupported(*lpDCL)) return PK_PARAM;
  Unzipper unzipper(*lpDCL, *lpUserFunc);
  return unzipper.Run();
}
