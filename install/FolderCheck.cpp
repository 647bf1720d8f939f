#include "install/FolderCheck.h"

#include <windows.h>

#include <zip.h>

#include <array>
#include <cwchar>
#include <memory>

#include "fileops/ArchivePlan.h"
#include "install/Ground.h"
#include "install/InstallRecord.h"
#include "install/Messages.h"
#include "install/WorkFolder.h"
#include "platform/Handles.h"
#include "platform/Platform.h"

namespace install {

namespace {

// What a path must keep to where the system still reads it with the limit
// of 260 characters: a file's full path below MAX_PATH, a folder's with
// room for an 8.3 name (and a program's current folder within it).
constexpr size_t kFileLimit = MAX_PATH - 1;
constexpr size_t kFolderLimit = MAX_PATH - 13;

struct ZipClose {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
using UniqueZip = std::unique_ptr<zip_t, ZipClose>;

// The medium's archive, its directory read; none when it cannot be.
UniqueZip OpenArchive(const std::wstring& mediumDir) {
  const std::wstring path = mediumDir + L"\\Vaninst.pak";
  platform::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return {};
  zip_error_t error;
  zip_error_init(&error);
  // The source closes the handle from then on, with the archive or on its own.
  zip_source_t* source = zip_source_win32handle_create(file.get(), 0, -1, &error);
  if (source) file.release();
  zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
  if (!archive && source) zip_source_free(source);
  zip_error_fini(&error);
  return UniqueZip(archive);
}

std::vector<std::wstring> EntryNames(zip_t* archive) {
  std::vector<std::wstring> names;
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; i < count; ++i)
    if (const char* raw = zip_get_name(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW))
      names.push_back(platform::Utf8OrOem(raw));
  return names;
}

bool StartsWithFolder(const std::wstring& path, const std::wstring& folder) {
  if (folder.empty() || path.size() < folder.size() ||
      _wcsnicmp(path.c_str(), folder.c_str(), folder.size()) != 0)
    return false;
  return path.size() == folder.size() || path[folder.size()] == L'\\' || folder.back() == L'\\';
}

// Each chosen folder with its field.
std::array<std::pair<const std::wstring*, ChosenFolder>, 3> Fields(const InstallChoices& choices) {
  return {{{&choices.vantorPro, ChosenFolder::Application},
           {&choices.projekty, ChosenFolder::Projects},
           {&choices.vzory, ChosenFolder::Templates}}};
}

// The first quoted folder of a refusal names the level refused: the field
// whose folder lies at or below it.
ChosenFolder FieldOf(const std::wstring& message, const InstallChoices& choices) {
  const size_t open = message.find(L'"');
  const size_t close = open == std::wstring::npos ? open : message.find(L'"', open + 1);
  if (close == std::wstring::npos) return ChosenFolder::Application;
  const std::wstring named = message.substr(open + 1, close - open - 1);
  for (const auto& [folder, field] : Fields(choices))
    if (StartsWithFolder(*folder, named) || StartsWithFolder(named, *folder)) return field;
  return ChosenFolder::Application;
}

}  // namespace

LongestPath PathPastLimit(const InstallChoices& choices, const std::vector<std::wstring>& entries) {
  LongestPath worst;
  size_t worstExcess = 0;
  auto judge = [&](const std::wstring& path, bool folder) {
    const size_t limit = folder ? kFolderLimit : kFileLimit;
    if (path.size() > limit && path.size() - limit > worstExcess) {
      worst = {path, limit};
      worstExcess = path.size() - limit;
    }
  };
  // The chosen folders are opened by their paths, here and by the
  // application, which is given them; the application folder is also the
  // current folder its shortcuts start it in.
  judge(choices.vantorPro, true);
  judge(choices.projekty, true);
  if (!choices.leaveVzoryOnCd) judge(choices.vzory, true);
  // Started by path: the application and its help through the shortcuts (a
  // shortcut keeps no target past the limit), the uninstaller from Windows'
  // list of installed apps.
  for (const wchar_t* started : {L"VantorPro.exe", L"VantorPro.hlp", kUninstallerName})
    judge(choices.vantorPro + L'\\' + started, false);
  // The engine's setup program starts in its folder and reads what lies
  // there by path, as a program of its age does. Everything else is
  // written and removed relative to held folders, where the whole path
  // has no such limit.
  const std::wstring engine = UnpackFolder(choices) + L"\\Utility\\Bde";
  judge(engine, true);
  for (std::wstring name : entries) {
    for (wchar_t& c : name)
      if (c == L'/') c = L'\\';
    const bool folder = name.ends_with(L'\\');
    while (name.ends_with(L'\\')) name.pop_back();
    if (name.size() <= 12 || _wcsnicmp(name.c_str(), L"Utility\\Bde\\", 12) != 0) continue;
    const std::wstring path = UnpackFolder(choices) + L'\\' + name;
    judge(path, folder);
    // A file's folder takes no more than any folder.
    if (!folder) judge(path.substr(0, path.rfind(L'\\')), true);
  }
  return worst;
}

FolderRefusal JudgeChosenFolders(const InstallChoices& choices,
                                 const platform::HeldFolder& earlierWork) {
  // As the run goes: the ground, then the work folder, then the archive's
  // paths and their room.
  std::wstring refused = SurveyGround(choices, EarlierMadeFolders(choices.madeEarlier));
  if (refused.empty()) refused = SurveyMissingFolder(choices.vantorPro, Place::Application);
  if (refused.empty() && !choices.leaveVzoryOnCd)
    refused = SurveyMissingFolder(choices.vzory, Place::Templates);
  if (!refused.empty()) return {OnFoldersPage(refused), FieldOf(refused, choices)};
  if (const platform::HeldFolder app = platform::HeldFolder::Open(choices.vantorPro);
      app && ForeignWorkFolderIn(app, earlierWork))
    return {OnFoldersPage(ForeignWorkFolder(choices.vantorPro)), ChosenFolder::Application};
  // The lengths of the chosen folders are judged even when the archive
  // cannot be read: one that cannot be is the run's to report.
  const UniqueZip archive = OpenArchive(choices.mediumDir);
  const LongestPath longest =
      PathPastLimit(choices, archive ? EntryNames(archive.get()) : std::vector<std::wstring>());
  if (longest.limit) {
    // The field of the deepest chosen folder the path lies in.
    ChosenFolder field = ChosenFolder::Application;
    size_t deepest = 0;
    for (const auto& [folder, which] : Fields(choices))
      if (StartsWithFolder(longest.path, *folder) && folder->size() > deepest &&
          !(which == ChosenFolder::Templates && choices.leaveVzoryOnCd)) {
        field = which;
        deepest = folder->size();
      }
    return {PathTooLong(longest.path, longest.limit), field};
  }
  if (!archive) return {};
  fileops::RoomShortfall shortfall;
  fileops::UnzipNeeds needs;
  needs.rootFilesTo = choices.vantorPro;
  if (!choices.leaveVzoryOnCd) needs.foldersTo = {{L"Vzory", choices.vzory}};
  needs.shortfall = &shortfall;
  fileops::ArchivePlan plan;
  fileops::PlanRefusal planRefusal;
  // An archive the plan refuses is the run's to report.
  if (fileops::PlanArchive(archive.get(), UnpackFolder(choices), needs, plan, planRefusal) != PK_OK)
    return {};
  if (fileops::FitsOnItsVolumes(plan, needs)) return {};
  const bool templates = !choices.leaveVzoryOnCd && StartsWithFolder(choices.vzory, shortfall.root);
  const bool application = StartsWithFolder(choices.vantorPro, shortfall.root);
  return {OnFoldersPage(NoRoom(shortfall)),
          templates && !application ? ChosenFolder::Templates : ChosenFolder::Application};
}

}  // namespace install
