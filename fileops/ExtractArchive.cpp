// The wizard's side of the unzip interface: the callbacks and the call.
#include <cstdio>
#include <cstring>

#include "fileops/ArchivePlan.h"
#include "fileops/FileOps.h"
#include "fileops/UnZip32.h"
#include "platform/Platform.h"

namespace fileops {

namespace {

WorkContext* g_context = nullptr;

}  // namespace

UnzipContextScope::UnzipContextScope(WorkContext& ctx) : previous_(g_context) {
  g_context = &ctx;
}
UnzipContextScope::~UnzipContextScope() {
  g_context = previous_;
}

int WINAPI UnzipPrint(LPSTR text, unsigned long size) {
  if (g_context && text) g_context->AddMemoLine(platform::Utf8OrOem(text));
  return static_cast<int>(size);
}

int WINAPI UnzipReplace(LPSTR) {
  return 1;
}

int WINAPI UnzipPassword(LPSTR, int, LPCSTR, LPCSTR) {
  return 1;
}

std::string FormatListLine(unsigned long uncompressed, unsigned long compressed, unsigned factor,
                           unsigned month, unsigned day, unsigned year, unsigned hour,
                           unsigned minute, char flag, const char* name) {
  const char sign = uncompressed < compressed ? '-' : ' ';
  char ratio[16];
  if (factor == 100)
    std::snprintf(ratio, sizeof ratio, "100%%");
  else
    std::snprintf(ratio, sizeof ratio, "%c%d%%", sign, static_cast<int>(factor));
  const int n =
      std::snprintf(nullptr, 0, "%7lu  %7lu %4s  %02u-%02u-%02u  %02u:%02u  %c%s", uncompressed,
                    compressed, ratio, month, day, year, hour, minute, flag, name ? name : "");
  std::string line(static_cast<size_t>(n), '\0');
  std::snprintf(line.data(), line.size() + 1, "%7lu  %7lu %4s  %02u-%02u-%02u  %02u:%02u  %c%s",
                uncompressed, compressed, ratio, month, day, year, hour, minute, flag,
                name ? name : "");
  return line;
}

void WINAPI UnzipListLine(unsigned long uncompressed, unsigned long compressed, unsigned factor,
                          unsigned month, unsigned day, unsigned year, unsigned hour,
                          unsigned minute, char flag, LPSTR name, LPSTR, unsigned long, char) {
  if (!g_context) return;
  g_context->AddMemoLine(platform::Utf8OrOem(
      FormatListLine(uncompressed, compressed, factor, month, day, year, hour, minute, flag, name)
          .c_str()));
}

int WINAPI UnzipService(LPCSTR name, unsigned long) {
  if (!g_context) return 0;
  g_context->SetStatus(L"Rozbaluji soubor " + platform::Utf8OrOem(name));
  g_context->ProcessMessages();
  return g_context->StopRequested() ? 1 : 0;
}

void UnzipKeepAlive() {
  if (g_context) g_context->ProcessMessages();
}

bool UnzipStopRequested() {
  return g_context && g_context->StopRequested();
}

ExtractResult ExtractArchive(WorkContext& ctx, const std::wstring& archivePath,
                             const std::wstring& targetDir, std::vector<std::wstring>* entries,
                             const platform::HeldFolder* held, EntryFacts* engine,
                             const LaterCopies& copies, RoomShortfall* shortfall,
                             const ChunkDigests* digest, const std::function<bool()>& askRetry,
                             std::vector<EntryFacts>* facts) {
  // Both texts stay alive for the whole call.
  std::string zipName = platform::Utf8(archivePath);
  std::string extractDir = platform::Utf8(targetDir);

  USERFUNCTIONS functions{};
  functions.print = UnzipPrint;
  functions.sound = nullptr;
  functions.replace = UnzipReplace;
  functions.password = UnzipPassword;
  functions.SendApplicationMessage = UnzipListLine;
  functions.ServCallBk = UnzipService;

  DCL options{};
  options.ndflag = 1;
  options.fPrivilege = 1;
  options.lpszZipFN = zipName.data();
  options.lpszExtractDir = extractDir.data();

  // What the installation takes from the unpacked files, and where it
  // copies them: the room is counted there too.
  UnzipNeeds needs;
  needs.files = {L"VantorPro.exe", L"Utility\\Bde\\Setup.exe"};
  needs.rootFilesTo = copies.rootFiles;
  if (!copies.vzory.empty()) needs.foldersTo = {{L"Vzory", copies.vzory}};
  needs.target = held;
  needs.shortfall = shortfall;
  needs.digest = digest;
  needs.askRetry = askRetry;

  UnzipContextScope scope(ctx);
  std::vector<std::wstring> planned;
  std::vector<EntryFacts> needed, plannedFacts;
  const int result = UnzipWithNeeds(&options, &functions, needs, &planned, &needed, &plannedFacts);
  if (engine && needed.size() == needs.files.size()) *engine = needed[1];
  const bool unpacked = result == PK_OK || result == IZ_CTRLC;
  if (entries) {
    entries->clear();
    if (unpacked) *entries = std::move(planned);
  }
  if (facts) {
    facts->clear();
    if (unpacked) *facts = std::move(plannedFacts);
  }
  if (result == PK_OK) return ExtractResult::Complete;
  if (result == IZ_CTRLC) return ExtractResult::Stopped;
  if (result == SV_NOTTHEARCHIVE) return ExtractResult::NotTheMediumsArchive;
  if (result == SV_UNREADABLE) return ExtractResult::MediumUnreadable;
  return ExtractResult::Failed;
}

UnpackedFiles::UnpackedFiles(const std::vector<std::wstring>& paths,
                             const std::vector<EntryFacts>& facts) {
  for (size_t i = 0; i < paths.size() && i < facts.size(); ++i)
    if (!paths[i].ends_with(L'\\')) byPath_.emplace(FoldCase(paths[i]), facts[i]);
}

const EntryFacts* UnpackedFiles::Find(const std::wstring& path) const {
  const auto found = byPath_.find(FoldCase(path));
  return found == byPath_.end() ? nullptr : &found->second;
}

}  // namespace fileops
