#include "fileops/FileOps.h"
#include "platform/Platform.h"

#include <optional>
#include <vector>

namespace fileops {

namespace {

constexpr wchar_t kQuote = L'"';
// Longest stretch a long file copy runs without letting messages through.
constexpr ULONGLONG kPumpIntervalMs = 30;
// Files up to this size go through the platform's copy in one call; the
// platform's copy gives no chance to pump, so larger ones are copied in
// pieces the same way: the source's attributes and last-write time carried
// over, an existing target replaced. Pieces of the size the platform's own
// copy uses: a megabyte at a time measured three times slower under Wine.
constexpr uint64_t kOneCallLimit = 2 << 20;
constexpr DWORD kPiece = 64 << 10;

bool CopyInPieces(WorkContext& ctx, const std::wstring& source, const std::wstring& target) {
  platform::UniqueFile in(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!in) return false;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(in.get(), &info)) return false;
  const DWORD attributes =
      info.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                               FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
  platform::UniqueFile out(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       attributes ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out) return false;
  std::vector<char> buffer(kPiece);
  ULONGLONG lastPump = GetTickCount64();
  bool ok = true;
  bool stopped = false;
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(in.get(), buffer.data(), kPiece, &read, nullptr)) {
      ok = false;
      break;
    }
    if (read == 0) break;
    DWORD written = 0;
    if (!WriteFile(out.get(), buffer.data(), read, &written, nullptr) || written != read) {
      ok = false;
      break;
    }
    if (GetTickCount64() - lastPump >= kPumpIntervalMs) {
      // Keeps the window painted; a stop raised here ends this file within
      // the piece, and the half-written copy goes.
      ctx.ProcessMessages();
      lastPump = GetTickCount64();
      if (ctx.StopRequested()) {
        stopped = true;
        break;
      }
    }
  }
  if (stopped) {
    out.reset();
    DeleteFileW(target.c_str());
    return true;  // not a failure: the caller sees the stop before its next entry
  }
  if (ok) ok = SetFileTime(out.get(), nullptr, nullptr, &info.ftLastWriteTime) != 0;
  out.reset();
  if (!ok) {
    DeleteFileW(target.c_str());
    return false;
  }
  // A replaced file does not always take the attributes given at creation.
  if (attributes) SetFileAttributesW(target.c_str(), attributes);
  return true;
}

bool CopyOneFile(WorkContext& ctx, const platform::DirEntry& entry, const std::wstring& source,
                 const std::wstring& target) {
  if (entry.size <= kOneCallLimit) return platform::CopyFileOverwrite(source, target);
  return CopyInPieces(ctx, source, target);
}

}  // namespace

void CopyDir(WorkContext& ctx, const std::wstring& source, const std::wstring& target,
             bool topLevelOnly, CopyLog* log) {
  ctx.SetStatus(L"Vytvářím složku " + target);
  bool failed = false;
  try {
    failed = !platform::ForceDirectories(target, log ? &log->madeFolders : nullptr);
  } catch (const platform::SetupError&) {
    failed = true;
  }
  if (failed)
    platform::ShowMessageBox(
        L"Složku " + std::wstring(1, kQuote) + target + kQuote + L" nelze vytvořit!",
        ctx.SetupTitle(), MB_ICONERROR);

  // The listing is opened only once the target exists.
  std::optional<platform::FolderListing> listing;
  if (!failed) listing.emplace(source);
  if (failed || !listing->Started()) {
    platform::ShowMessageBox(
        L"Kopírování složky " + std::wstring(1, kQuote) + source + kQuote + L" selhalo!",
        ctx.SetupTitle(), MB_ICONERROR);
    return;
  }

  platform::DirEntry entry;
  while (listing->Next(entry)) {
    ctx.ProcessMessages();
    if (ctx.StopRequested()) return;
    // A link is neither entered nor copied: it may lead anywhere.
    if (entry.IsLink()) continue;
    if (entry.IsFolder()) {
      if (!topLevelOnly && entry.name[0] != L'.')
        CopyDir(ctx, source + L"\\" + entry.name, target + L"\\" + entry.name, false, log);
      continue;
    }
    ctx.SetStatus(L"Kopíruji soubor " + entry.name);
    ctx.StepProgress();  // the step is taken whether or not the copy succeeds
    const std::wstring from = source + L"\\" + entry.name;
    const std::wstring to = target + L"\\" + entry.name;
    if (CopyOneFile(ctx, entry, from, to)) {
      if (ctx.StopRequested()) return;  // a stop inside the file: its copy is gone
      if (log) log->files.push_back(to);
      const DWORD attributes = platform::GetAttributes(to);
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        platform::SetAttributes(to, attributes & ~FILE_ATTRIBUTE_READONLY);
    } else {
      platform::ShowMessageBox(
          L"Soubor " + std::wstring(1, kQuote) + from + kQuote + L" nelze zkopírovat!",
          ctx.SetupTitle(), MB_ICONERROR);
      // Sets AbortRequested: this level and every level above end before
      // their next entry.
      ctx.StopInstall();
    }
  }
}

}  // namespace fileops
