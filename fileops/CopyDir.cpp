#include "fileops/FileOps.h"
#include "platform/Platform.h"

#include <optional>

namespace fileops {

namespace {

constexpr wchar_t kQuote = L'"';
// Longest stretch a long file copy runs without letting messages through.
constexpr ULONGLONG kPumpIntervalMs = 30;

struct CopyPump {
  WorkContext* ctx;
  ULONGLONG lastPump;
};

DWORD CALLBACK CopyProgress(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, DWORD,
                            DWORD, HANDLE, HANDLE, LPVOID data) {
  auto* pump = static_cast<CopyPump*>(data);
  const ULONGLONG now = GetTickCount64();
  if (now - pump->lastPump >= kPumpIntervalMs) {
    // Keeps the window painted inside a long file; an abort raised here is
    // seen before the next entry, the file itself is finished.
    pump->ctx->ProcessMessages();
    pump->lastPump = GetTickCount64();
  }
  return PROGRESS_CONTINUE;
}

// The platform's copy with overwrite, letting messages through while a large
// file is on its way.
bool CopyOneFile(WorkContext& ctx, const std::wstring& source, const std::wstring& target) {
  CopyPump pump{&ctx, GetTickCount64()};
  return CopyFileExW(source.c_str(), target.c_str(), CopyProgress, &pump, nullptr, 0) != 0;
}

}  // namespace

void CopyDir(WorkContext& ctx, const std::wstring& source, const std::wstring& target,
             bool topLevelOnly) {
  ctx.SetStatus(L"Vytvářím složku " + target);
  bool failed = false;
  try {
    failed = !platform::ForceDirectories(target);
  } catch (const platform::SetupError&) {
    failed = true;
  }
  if (failed)
    platform::MessageBox(
        L"Složku " + std::wstring(1, kQuote) + target + kQuote + L" nelze vytvořit!",
        ctx.SetupTitle(), MB_ICONERROR);

  // The listing is opened only once the target exists.
  std::optional<platform::FolderListing> listing;
  if (!failed) listing.emplace(source);
  if (failed || !listing->Started()) {
    platform::MessageBox(
        L"Kopírování složky " + std::wstring(1, kQuote) + source + kQuote + L" selhalo!",
        ctx.SetupTitle(), MB_ICONERROR);
    return;
  }

  platform::DirEntry entry;
  while (listing->Next(entry)) {
    ctx.ProcessMessages();
    if (ctx.AbortRequested()) return;
    if (entry.IsFolder()) {
      if (!topLevelOnly && entry.name[0] != L'.')
        CopyDir(ctx, source + L"\\" + entry.name, target + L"\\" + entry.name, false);
      continue;
    }
    ctx.SetStatus(L"Kopíruji soubor " + entry.name);
    ctx.StepProgress();  // the step is taken whether or not the copy succeeds
    const std::wstring from = source + L"\\" + entry.name;
    const std::wstring to = target + L"\\" + entry.name;
    if (CopyOneFile(ctx, from, to)) {
      const DWORD attributes = platform::GetAttributes(to);
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        platform::SetAttributes(to, attributes & ~FILE_ATTRIBUTE_READONLY);
    } else {
      platform::MessageBox(
          L"Soubor " + std::wstring(1, kQuote) + from + kQuote + L" nelze zkopírovat!",
          ctx.SetupTitle(), MB_ICONERROR);
      // Sets AbortRequested: this level and every level above end before
      // their next entry.
      ctx.StopInstall();
    }
  }
}

}  // namespace fileops
