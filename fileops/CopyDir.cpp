#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "fileops/ArchivePlan.h"
#include "fileops/FileOps.h"
#include "platform/Access.h"
#include "platform/Crc32.h"
#include "platform/HeldFolder.h"
#include "platform/Platform.h"

namespace fileops {

namespace {

// Pieces of the size the platform's own copy uses: a megabyte at a time
// measured three times slower under Wine.
constexpr DWORD kPiece = 64 << 10;

constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

enum class Copied { Done, Stopped, Failed, NotMoved };

// A file the run unpacked, moved into the target folder by a rename rather
// than copied: one write of the disk, not two. It takes the access list its
// new folder passes on first (a rename keeps the list it was made with),
// read once per folder into list. NotMoved, with the file where it was, when
// it cannot be (another volume): it is copied then.
Copied MoveOneFile(const platform::HeldFolder& source, const platform::HeldFolder& target,
                   std::optional<platform::FolderFileList>& list, const std::wstring& name,
                   const EntryFacts& facts, CopyLog::File& written, const std::wstring& prefix,
                   std::wstring* staged) {
  platform::UniqueFile own = source.OpenFile(
      name, DELETE | READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, FILE_OPEN);
  LARGE_INTEGER size{};
  if (!own || !GetFileSizeEx(own.get(), &size) ||
      static_cast<uint64_t>(size.QuadPart) != facts.size)
    return Copied::NotMoved;
  if (!list) list.emplace(target.Handle());
  if (!list->GiveTo(own.get())) return Copied::NotMoved;
  bool moved = !staged && target.MoveHere(own.get(), name, true);
  for (int attempt = 0; staged && !moved && attempt < 100; ++attempt) {
    *staged = prefix + std::to_wstring(attempt) + L"-" + name + L".tmp";
    moved = target.MoveHere(own.get(), *staged, false);
    if (!moved && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
      break;
  }
  if (!moved) return Copied::NotMoved;
  // What the unpacking checked it to hold: the record needs no second read.
  written.size = facts.size;
  written.crc = facts.crc;
  return Copied::Done;
}

// One file, through the held folders at both ends: its bytes under a
// temporary name of the target folder, which takes the file's name only once
// it is complete. A stop or a failure on the way leaves the file that was
// there, or none. The source's hidden, system and archive attributes and its
// last-write time are carried over; the copy is never read-only.
// With staged, the file is left complete under its temporary name, which
// staged receives: the commit gives it its own.
Copied CopyOneFile(WorkContext& ctx, const platform::HeldFolder& source,
                   const platform::HeldFolder& target, const std::wstring& name,
                   std::vector<char>& buffer, CopyLog::File& written, const std::wstring& prefix,
                   std::wstring* staged, const EntryFacts* movable,
                   std::optional<platform::FolderFileList>& list) {
  if (movable) {
    const Copied moved = MoveOneFile(source, target, list, name, *movable, written, prefix, staged);
    if (moved != Copied::NotMoved) return moved;
  }
  platform::UniqueFile in =
      source.OpenFile(name, GENERIC_READ, FILE_SHARE_READ, FILE_OPEN, FILE_ATTRIBUTE_NORMAL);
  if (!in) return Copied::Failed;
  // Only what the copy carries over: under Wine the full information also
  // asks the mount manager for the volume's serial, a round trip to another
  // process for every file.
  FILE_BASIC_INFO info;
  if (!GetFileInformationByHandleEx(in.get(), FileBasicInfo, &info, sizeof info))
    return Copied::Failed;
  const DWORD attributes = info.FileAttributes &
                           (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
  // A name of its own: whatever the folder holds stays untouched.
  std::wstring temp;
  platform::UniqueFile out = target.CreateFresh(prefix, name, L".tmp", temp,
                                                attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
  if (!out) return Copied::Failed;
  // Until it has its name, the copy goes when closed.
  platform::DiscardUnlessKept discard(out.get());
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(in.get(), buffer.data(), kPiece, &read, nullptr)) return Copied::Failed;
    if (read == 0) break;
    DWORD done = 0;
    if (!WriteFile(out.get(), buffer.data(), read, &done, nullptr) || done != read)
      return Copied::Failed;
    // What the copy holds, for the record of the installation.
    written.crc = platform::Crc32(buffer.data(), read, written.crc);
    written.size += read;
    if (read < kPiece) continue;  // the end is next: the file is whole
    // Between any two pieces messages may run (the host decides how often
    // they really do); a stop raised there ends this file within the piece.
    ctx.ProcessMessages();
    if (ctx.StopRequested()) return Copied::Stopped;
  }
  // A time that cannot be carried over leaves the copy as good as it is.
  FILE_BASIC_INFO times{};
  times.LastWriteTime = info.LastWriteTime;
  SetFileInformationByHandle(out.get(), FileBasicInfo, &times, sizeof times);
  if (staged) {
    *staged = temp;
    discard.Keep();
    return Copied::Done;
  }
  bool renamed = target.MoveHere(out.get(), name, true);
  if (!renamed && GetLastError() == ERROR_ACCESS_DENIED) {
    // A read-only file in the way is replaced as well.
    platform::UniqueFile old = target.OpenFile(name, FILE_WRITE_ATTRIBUTES, kShareAll, FILE_OPEN);
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (old && SetFileInformationByHandle(old.get(), FileBasicInfo, &basic, sizeof basic)) {
      old.reset();
      renamed = target.MoveHere(out.get(), name, true);
    }
  }
  if (!renamed) return Copied::Failed;
  discard.Keep();
  return Copied::Done;
}

// Whether the folder that is there holds nothing the copy from source would
// leave as it is: every entry a file or folder the copy puts in place again
// (no link, none kept as the person's). Such a folder is staged whole and
// takes its place with one rename, not one for each file. Folded full paths
// of its folders go to folders.
bool WhollyReplaced(WorkContext& ctx, const platform::HeldFolder& source,
                    const platform::HeldFolder& target, const std::wstring& targetPath,
                    const Staging& staging, std::set<std::wstring>& folders) {
  ctx.ProcessMessages();
  bool listed = false;
  std::map<std::wstring, const platform::DirEntry*> copied;
  const std::vector<platform::DirEntry> from = source.List(&listed);
  if (!listed) return false;
  for (const platform::DirEntry& entry : from)
    if (!entry.IsLink() && !(entry.IsFolder() && entry.name[0] == L'.'))
      copied.emplace(FoldCase(entry.name), &entry);
  const std::vector<platform::DirEntry> there = target.List(&listed);
  if (!listed) return false;
  std::set<std::wstring> inner;
  for (const platform::DirEntry& entry : there) {
    const auto match = copied.find(FoldCase(entry.name));
    if (entry.IsLink() || match == copied.end() || match->second->IsFolder() != entry.IsFolder())
      return false;
    const std::wstring path = targetPath + L"\\" + entry.name;
    if (entry.IsFolder()) {
      const platform::HeldFolder below = target.Child(entry.name);
      if (!below ||
          !WhollyReplaced(ctx, source.Child(match->second->name), below, path, staging, inner))
        return false;
    } else if (staging.keep) {
      const platform::UniqueFile old =
          target.OpenFile(entry.name, GENERIC_READ, kShareAll, FILE_OPEN);
      if (!old || staging.keep(path, old.get())) return false;
    }
  }
  folders.insert(FoldCase(targetPath));
  folders.merge(inner);
  return true;
}

// Kept for the caller and reported at once: the person learns of it before
// the copy goes on.
void Fail(WorkContext& ctx, std::vector<CopyFailure>& failures, CopyFailure::What what,
          std::wstring path) {
  failures.push_back({what, std::move(path)});
  ctx.CopyFailed(failures.back());
}

// Fresh: the target folder is itself staged (or new to the run), so its
// files take their names at once.
void CopyHeld(WorkContext& ctx, const platform::HeldFolder& source, const std::wstring& sourcePath,
              const platform::HeldFolder& target, const std::wstring& targetPath, bool topLevelOnly,
              const std::vector<std::wstring>* names, std::vector<char>& buffer, CopyLog* log,
              Staging* staging, bool fresh, std::vector<CopyFailure>& failures) {
  if (!target) Fail(ctx, failures, CopyFailure::What::FolderNotMade, targetPath);
  // The listing is taken only once the target is there.
  bool listed = false;
  std::vector<platform::DirEntry> entries;
  if (target && source) entries = source.List(&listed);
  if (!listed) {
    Fail(ctx, failures, CopyFailure::What::FolderNotCopied, sourcePath);
    return;
  }
  // What a folder that was there holds, read once: staging must not touch it.
  const bool staged = staging && !fresh;
  std::map<std::wstring, DWORD> present;
  if (staged)
    for (const platform::DirEntry& entry : target.List())
      present.emplace(FoldCase(entry.name), entry.attributes);
  const std::wstring prefix = staging ? staging->prefix : L"~sv";
  std::optional<platform::FolderFileList> list;  // read at the first file moved here
  // The target, held on for the commit by every entry staged in it.
  std::shared_ptr<const platform::HeldFolder> shared;
  auto held = [&] {
    if (!shared) shared = std::make_shared<const platform::HeldFolder>(target.Share());
    return shared;
  };

  for (const platform::DirEntry& entry : entries) {
    ctx.ProcessMessages();
    if (ctx.StopRequested()) return;
    // A link is neither entered nor copied: it may lead anywhere.
    if (entry.IsLink()) continue;
    if (entry.IsFolder()) {
      if (!topLevelOnly && entry.name[0] != L'.') {
        const std::wstring to = targetPath + L"\\" + entry.name;
        ctx.SetStatus(L"Vytvářím složku " + to);
        bool made = false;
        bool innerFresh = fresh;
        platform::HeldFolder inner;
        const auto there = staged ? present.find(FoldCase(entry.name)) : present.end();
        const bool lacking = staged && there == present.end();
        // One that is there and is wholly replaced is staged whole too; its
        // old self is the commit's backup.
        const bool whole = staged && !lacking && (there->second & FILE_ATTRIBUTE_DIRECTORY) &&
                           !(there->second & FILE_ATTRIBUTE_REPARSE_POINT) &&
                           WhollyReplaced(ctx, source.Child(entry.name), target.Child(entry.name),
                                          to, *staging, staging->replacedFolders);
        if (lacking || whole) {
          // A folder the target lacks is made whole under a name of its own.
          for (int attempt = 0; !inner && attempt < 100; ++attempt) {
            const std::wstring temp = prefix + L"d" + std::to_wstring(attempt) + L"-" + entry.name;
            inner = target.Child(temp, platform::HeldFolder::Make::Fresh, nullptr, &made);
            if (inner)
              staging->entries.push_back({targetPath, temp, entry.name, whole, true, held()});
            if (!inner && GetLastError() != ERROR_FILE_EXISTS &&
                GetLastError() != ERROR_ALREADY_EXISTS)
              break;
          }
          innerFresh = true;
        } else {
          inner = target.Child(entry.name, platform::HeldFolder::Make::IfMissing, nullptr, &made);
        }
        // A folder that was there before is not this run's, whatever replaced it.
        if (made && log && !(staging && staging->replacedFolders.contains(FoldCase(to))))
          log->madeFolders.push_back(to);
        CopyHeld(ctx, source.Child(entry.name), sourcePath + L"\\" + entry.name, inner, to, false,
                 nullptr, buffer, log, staging, innerFresh, failures);
      }
      continue;
    }
    if (names && std::find_if(names->begin(), names->end(), [&](const std::wstring& n) {
                   return platform::AsciiUpper(n) == platform::AsciiUpper(entry.name);
                 }) == names->end())
      continue;
    ctx.SetStatus(L"Kopíruji soubor " + entry.name);
    ctx.StepProgress();  // the step is taken whether or not the copy succeeds
    CopyLog::File written{targetPath + L"\\" + entry.name, 0, 0};
    const EntryFacts* movable = staging && staging->unpacked
                                    ? staging->unpacked->Find(sourcePath + L"\\" + entry.name)
                                    : nullptr;
    Copied copied = Copied::Failed;
    std::wstring temp;
    const auto there = staged ? present.find(FoldCase(entry.name)) : present.end();
    const bool replaces = there != present.end();
    if (replaces && (there->second & FILE_ATTRIBUTE_DIRECTORY)) {
      copied = Copied::Failed;  // a folder in the file's place is not the copy's to move
    } else if (replaces && staging->keep) {
      const platform::UniqueFile old =
          target.OpenFile(entry.name, GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN);
      if (old && staging->keep(written.path, old.get())) {
        staging->kept.push_back(written.path);
        continue;
      }
      copied = CopyOneFile(ctx, source, target, entry.name, buffer, written, prefix, &temp, movable,
                           list);
    } else {
      copied = CopyOneFile(ctx, source, target, entry.name, buffer, written, prefix,
                           staged ? &temp : nullptr, movable, list);
    }
    if (copied == Copied::Stopped) return;
    if (copied == Copied::Done && staged)
      staging->entries.push_back({targetPath, temp, entry.name, replaces, false, held()});
    if (copied == Copied::Done && log) log->files.push_back(std::move(written));
    if (copied == Copied::Failed) {
      Fail(ctx, failures, CopyFailure::What::FileNotCopied, sourcePath + L"\\" + entry.name);
      // Sets AbortRequested: this level and every level above end before
      // their next entry.
      ctx.StopInstall();
    }
  }
}

}  // namespace

std::vector<CopyFailure> CopyDir(WorkContext& ctx, const platform::HeldFolder& source,
                                 const std::wstring& sourcePath, const platform::HeldFolder& target,
                                 const std::wstring& targetPath, bool topLevelOnly,
                                 const std::vector<std::wstring>* names, CopyLog* log,
                                 Staging* staging) {
  ctx.SetStatus(L"Vytvářím složku " + targetPath);
  std::vector<char> buffer(kPiece);
  std::vector<CopyFailure> failures;
  CopyHeld(ctx, source, sourcePath, target, targetPath, topLevelOnly, names, buffer, log, staging,
           false, failures);
  return failures;
}

std::vector<CopyFailure> CopyDir(WorkContext& ctx, const std::wstring& source,
                                 const std::wstring& target, bool topLevelOnly, CopyLog* log) {
  ctx.SetStatus(L"Vytvářím složku " + target);
  // Both ends are taken once, as given, and held for the whole copy.
  std::vector<platform::HeldFolder> made;
  const platform::HeldFolder to = platform::HeldFolder::Open(target, true, &made);
  if (log)
    for (const platform::HeldFolder& level : made) log->madeFolders.push_back(level.Path());
  const platform::HeldFolder from =
      to ? platform::HeldFolder::Open(source) : platform::HeldFolder();
  std::vector<char> buffer(kPiece);
  std::vector<CopyFailure> failures;
  CopyHeld(ctx, from, source, to, target, topLevelOnly, nullptr, buffer, log, nullptr, false,
           failures);
  return failures;
}

}  // namespace fileops
