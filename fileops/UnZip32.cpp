// Wiz_SingleEntryUnzip on top of libzip: the part of the unzip library the
// wizard uses, extraction of a whole archive with its stored folders.
#include "fileops/UnZip32.h"

#include <zip.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "fileops/ArchivePlan.h"
#include "fileops/CheckedArchive.h"
#include "fileops/FileOps.h"
#include "platform/Crc32.h"
#include "platform/Handles.h"
#include "platform/HeldFolder.h"
#include "platform/Platform.h"

namespace {

// Entries are streamed through this much memory, whatever their size.
constexpr size_t kBufferSize = 256 * 1024;
// Longest stretch spent inside one entry without letting messages through.
constexpr ULONGLONG kKeepAliveMs = 30;

// Lets the window answer, at most once per kKeepAliveMs however often it is
// called.
class KeepAlive {
 public:
  void operator()() {
    if (GetTickCount64() - last_ < kKeepAliveMs) return;
    fileops::UnzipKeepAlive();
    last_ = GetTickCount64();
  }

 private:
  ULONGLONG last_ = GetTickCount64();
};

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

  // What the archive states of every planned entry, in plan order.
  std::vector<fileops::EntryFacts> PlannedFacts() const {
    std::vector<fileops::EntryFacts> facts;
    for (const auto& entry : plan_.entries) facts.push_back({entry.stat.size, entry.stat.crc});
    return facts;
  }

  // The facts of each needed file, as the plan found them.
  std::vector<fileops::EntryFacts> NeededFacts() const {
    std::vector<fileops::EntryFacts> facts;
    const std::wstring prefix = plan_.target.back() == L'\\' ? plan_.target : plan_.target + L'\\';
    for (const auto& file : needs_.files)
      for (const auto& entry : plan_.entries)
        if (!entry.folder &&
            platform::AsciiUpper(entry.target) == platform::AsciiUpper(prefix + file)) {
          facts.push_back({entry.stat.size, entry.stat.crc});
          break;
        }
    return facts;
  }

  fileops::ArchiveTrouble Trouble() const {
    return checked_ ? checked_->Trouble() : fileops::ArchiveTrouble::None;
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
    // One layer reads the archive for the whole call, the directory and the
    // entries alike, each chunk checked as it is first read.
    checked_ = std::make_unique<fileops::CheckedArchive>(zipName, needs_.digest, needs_.askRetry,
                                                         fileops::UnzipKeepAlive);
    if (!checked_->Open()) {
      if (Trouble() == fileops::ArchiveTrouble::NotTheArchive)
        return Refuse(SV_NOTTHEARCHIVE, "not the archive of this medium", options_.lpszZipFN);
      Print(std::string("error: cannot open ") + options_.lpszZipFN);
      return PK_NOZIP;
    }
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = checked_->Source(&error);
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
    root_ = needs_.target;
    if (!root_) {
      ownRoot_ = platform::HeldFolder::Open(plan_.target, true, &madeAbove_);
      root_ = &ownRoot_;
    }
    if (!*root_) {
      Print("error: cannot create folder " + platform::Utf8(plan_.target));
      return PK_DISK;
    }
    rootPrefix_ = plan_.target.back() == L'\\' ? plan_.target : plan_.target + L'\\';
    for (const auto& entry : plan_.entries)
      if (entry.target.size() > rootPrefix_.size())
        plannedNames_.insert(platform::AsciiUpper(entry.target.substr(rootPrefix_.size())));
    int result = PK_OK;
    for (auto entry = plan_.entries.begin(); result == PK_OK && entry != plan_.entries.end();
         ++entry) {
      if (functions_.ServCallBk) {
        std::string name = entry->name;
        if (functions_.ServCallBk(name.c_str(), static_cast<unsigned long>(entry->stat.size)) !=
            0) {
          result = IZ_CTRLC;
          break;
        }
      }
      if (entry->folder)
        result = entry->target.size() <= rootPrefix_.size() || Folder(Relative(*entry)) ? PK_OK
                                                                                        : PK_DISK;
      else
        result = ExtractFile(*entry);
    }
    // Complete entries take their names only now, all together: a failure
    // before this point leaves every file that was there as it was.
    if (result == PK_OK || result == IZ_CTRLC) {
      const int committed = Commit();
      if (result == PK_OK) result = committed;
    }
    if (result == IZ_CTRLC) {
      // Not a failure: what is unpacked stays for the next run.
      Print("extraction stopped");
      return result;
    }
    if (result != PK_OK) RemoveWhatThisRunMade();
    return result;
  }

  std::wstring Relative(const fileops::PlannedEntry& entry) const {
    return entry.target.substr(rootPrefix_.size());
  }

  // The held folder at a path relative to the target, made when missing;
  // null when it cannot be had (a link in the way among others).
  const platform::HeldFolder* Folder(const std::wstring& relative) {
    if (relative.empty()) return root_;
    const std::wstring key = platform::AsciiUpper(relative);
    if (auto it = folders_.find(key); it != folders_.end()) return &it->second;
    const size_t cut = relative.rfind(L'\\');
    const platform::HeldFolder* parent =
        Folder(cut == std::wstring::npos ? std::wstring() : relative.substr(0, cut));
    if (!parent) return nullptr;
    bool made = false;
    platform::HeldFolder folder =
        parent->Child(cut == std::wstring::npos ? relative : relative.substr(cut + 1),
                      platform::HeldFolder::Make::IfMissing, nullptr, &made);
    if (!folder) {
      Print("error: cannot create folder " + platform::Utf8(rootPrefix_ + relative));
      return nullptr;
    }
    if (made) madeFolders_.push_back(key);
    return &folders_.emplace(key, std::move(folder)).first->second;
  }

  // A file of the folder for an entry's bytes until they are complete, made
  // under a fresh name: one no entry of the archive takes and nothing in the
  // folder has (a leftover of a run ended at once, say). Empty, with the
  // error, when none can be made.
  platform::UniqueFile CreateTemporary(const platform::HeldFolder& folder,
                                       const std::wstring& folderRelative, zip_uint64_t index,
                                       std::wstring& name) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
      name = L"~sv" + std::to_wstring(index) + (attempt ? L"-" + std::to_wstring(attempt) : L"") +
             L".tmp";
      const std::wstring key =
          platform::AsciiUpper(folderRelative.empty() ? name : folderRelative + L"\\" + name);
      if (plannedNames_.contains(key)) continue;
      platform::UniqueFile out =
          folder.OpenFile(name, GENERIC_WRITE | DELETE, 0, FILE_CREATE, FILE_ATTRIBUTE_NORMAL);
      if (out || (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS))
        return out;
    }
    return {};
  }

  // A failed run leaves nothing of its own behind: its temporary files and
  // the folders it made, the deepest first. What was there stays as it was.
  void RemoveWhatThisRunMade() {
    for (const Pending& pending : pending_) pending.folder->Remove(pending.temporary);
    pending_.clear();
    for (auto key = madeFolders_.rbegin(); key != madeFolders_.rend(); ++key)
      if (auto it = folders_.find(*key); it != folders_.end()) it->second.RemoveSelf();
    folders_.clear();
    if (!needs_.target) {
      for (auto level = madeAbove_.rbegin(); level != madeAbove_.rend(); ++level) {
        if (level == madeAbove_.rbegin()) ownRoot_.Release();
        level->RemoveSelf();
      }
    }
    Print("error: extraction failed, what it wrote is removed");
  }

  // The entry's file already holds its content (a file in use, say the
  // engine's setup program of an earlier run still running).
  bool AlreadyHolds(const platform::HeldFolder& folder, const std::wstring& name,
                    const fileops::PlannedEntry& entry) {
    platform::UniqueFile in = folder.OpenFile(
        name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN);
    return in && platform::HoldsContent(in.get(), entry.stat.size, entry.stat.crc);
  }

  int Commit() {
    // A folder where a file is to go fails the run before any name is taken.
    // Each folder's listing is read once, however many entries go there; the
    // window answers meanwhile.
    KeepAlive keepAlive;
    // Names in one letter case, as the plan compares them.
    std::unordered_map<const platform::HeldFolder*, std::unordered_set<std::wstring>> subfolders;
    for (const Pending& pending : pending_) {
      keepAlive();
      auto [listed, fresh] = subfolders.try_emplace(pending.folder);
      if (fresh) {
        for (const platform::DirEntry& there : pending.folder->List())
          if (there.IsFolder()) listed->second.insert(fileops::FoldCase(there.name));
      }
      if (listed->second.contains(fileops::FoldCase(pending.final))) {
        Print("error: cannot write " + platform::Utf8(pending.entry->target));
        return PK_DISK;
      }
    }
    int result = PK_OK;
    for (const Pending& pending : pending_) {
      keepAlive();
      bool done = pending.folder->Rename(pending.temporary, pending.final, true);
      if (!done && GetLastError() == ERROR_ACCESS_DENIED) {
        // An existing read-only, hidden or system file is replaced as well.
        platform::UniqueFile old = pending.folder->OpenFile(
            pending.final, FILE_WRITE_ATTRIBUTES,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN);
        FILE_BASIC_INFO basic{};
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        if (old && SetFileInformationByHandle(old.get(), FileBasicInfo, &basic, sizeof basic)) {
          old.reset();
          done = pending.folder->Rename(pending.temporary, pending.final, true);
        }
      }
      if (!done && AlreadyHolds(*pending.folder, pending.final, *pending.entry)) {
        Print("  in use, unchanged: " + pending.entry->name);
        pending.folder->Remove(pending.temporary);
        done = true;
      }
      if (!done) {
        Print("error: cannot write " + platform::Utf8(pending.entry->target));
        pending.folder->Remove(pending.temporary);
        result = PK_DISK;
      }
    }
    pending_.clear();
    return result;
  }

  int ExtractFile(const fileops::PlannedEntry& entry) {
    const std::wstring relative = Relative(entry);
    const size_t cut = relative.rfind(L'\\');
    const std::wstring folderRelative =
        cut == std::wstring::npos ? std::wstring() : relative.substr(0, cut);
    const platform::HeldFolder* folder = Folder(folderRelative);
    if (!folder) return PK_DISK;
    Entry file(zip_fopen_index(archive_.get(), entry.index, 0));
    if (!file) {
      Print("error: cannot read " + entry.name + ": " + zip_strerror(archive_.get()));
      return PK_ERR;
    }
    std::wstring temporary;
    platform::UniqueFile out = CreateTemporary(*folder, folderRelative, entry.index, temporary);
    if (!out) {
      Print("error: cannot write " + platform::Utf8(entry.target));
      return PK_DISK;
    }
    // Until it is complete and checked, the file goes when closed.
    platform::DiscardUnlessKept discard(out.get());
    // Held to the size the directory declares: a deflated entry can inflate
    // far beyond it. One byte more is asked for than may come, so that the
    // end (and with it the checksum test) or a lie shows.
    zip_uint64_t remaining = entry.stat.size;
    KeepAlive keepAlive;
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
      keepAlive();
      // A half-written file is of no use to the next run: it goes as it
      // is closed.
      if (remaining > 0 && fileops::UnzipStopRequested()) return IZ_CTRLC;
    }
    if (entry.stat.valid & ZIP_STAT_MTIME) {
      // The stored time, as the archiver recorded it.
      const long long ticks =
          static_cast<long long>(entry.stat.mtime) * 10000000LL + 116444736000000000LL;
      FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
      SetFileTime(out.get(), nullptr, nullptr, &ft);
    }
    discard.Keep();
    pending_.push_back(
        {folder, temporary, relative.substr(cut == std::wstring::npos ? 0 : cut + 1), &entry});
    return PK_OK;
  }

  struct Pending {
    const platform::HeldFolder* folder;
    std::wstring temporary, final;
    const fileops::PlannedEntry* entry;
  };

  const DCL& options_;
  USERFUNCTIONS& functions_;
  const fileops::UnzipNeeds& needs_;
  std::unique_ptr<fileops::CheckedArchive> checked_;  // what archive_ reads through
  Archive archive_;
  fileops::ArchivePlan plan_;
  std::vector<char> buffer_;
  const platform::HeldFolder* root_ = nullptr;
  platform::HeldFolder ownRoot_;                 // when the caller holds none
  std::vector<platform::HeldFolder> madeAbove_;  // levels of ownRoot_ this run made
  std::wstring rootPrefix_;                      // the target's path with its "\"
  std::unordered_set<std::wstring> plannedNames_;
  // Folders below the target by their relative path in one letter case;
  // node-based, so what points into it stays put.
  std::unordered_map<std::wstring, platform::HeldFolder> folders_;
  std::vector<std::wstring> madeFolders_;  // made by this run, outermost first
  std::vector<Pending> pending_;           // complete, awaiting their names
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

int UnzipWithNeeds(LPDCL lpDCL, LPUSERFUNCTIONS lpUserFunc, const UnzipNeeds& needs,
                   std::vector<std::wstring>* entries, std::vector<EntryFacts>* neededFacts,
                   std::vector<EntryFacts>* plannedFacts) {
  if (!lpDCL || !lpUserFunc || !lpDCL->lpszZipFN) return PK_PARAM;
  if (!lpDCL->nvflag && Unsupported(*lpDCL)) return PK_PARAM;
  Unzipper unzipper(*lpDCL, *lpUserFunc, needs);
  int result = unzipper.Run();
  // A chunk untrue to the stamp, or a medium given up on, ends the call as
  // such, whatever libzip made of the failed read.
  if (result != PK_OK && unzipper.Trouble() == ArchiveTrouble::NotTheArchive)
    result = SV_NOTTHEARCHIVE;
  if (result != PK_OK && unzipper.Trouble() == ArchiveTrouble::Unreadable) result = SV_UNREADABLE;
  if (entries) *entries = unzipper.PlannedTargets();
  if (neededFacts) *neededFacts = unzipper.NeededFacts();
  if (plannedFacts) *plannedFacts = unzipper.PlannedFacts();
  return result;
}

}  // namespace fileops
