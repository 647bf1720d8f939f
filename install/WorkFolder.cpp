#include "install/WorkFolder.h"

#include "install/Install.h"
#include "platform/Platform.h"

namespace install {

namespace {

// Whether a work folder found in place is the installer's own: its mark is
// there (a folder, never a link), and where the volume keeps access lists,
// no one but Administrators, SYSTEM and this user may change it. On a volume
// that keeps none, anyone could have made it and its mark: only a folder
// this program made and held is taken there.
bool InstallersOwn(const platform::HeldFolder& work) {
  const DWORD mark = work.AttributesOf(kWorkFolderMark);
  if (mark == INVALID_FILE_ATTRIBUTES || !(mark & FILE_ATTRIBUTE_DIRECTORY) ||
      (mark & FILE_ATTRIBUTE_REPARSE_POINT))
    return false;
  return (platform::VolumeFlagsOf(work.Handle()) & FILE_PERSISTENT_ACLS) &&
         platform::IsInstallerOnly(work.Handle());
}

}  // namespace

// Step 4: the work folder below the held application folder, made by the
// installer and changeable by nothing but it, so that no other account can
// plant a file or a link in it before the engine's start.
WorkGround MakeWorkFolder(const platform::HeldFolder& app, platform::HeldFolder& earlier,
                          platform::HeldFolder& work) {
  // A stopped run of this program left it held: it is still ours while its
  // path still leads to it.
  if (earlier && !earlier.ConfirmedPath().empty() &&
      platform::AsciiUpper(earlier.Path()) == platform::AsciiUpper(app.Path() + L"\\Instalace")) {
    work = std::move(earlier);
    return WorkGround::Ours;
  }
  earlier.Release();
  try {
    platform::InstallerOnlyAccess access;
    work = app.Child(L"Instalace", platform::HeldFolder::Make::Fresh, access.Descriptor());
    if (work) {
      if (work.Child(kWorkFolderMark, platform::HeldFolder::Make::Fresh)) return WorkGround::Made;
      work.RemoveSelf();
      return WorkGround::Unusable;
    }
  } catch (const platform::SetupError&) {
    return WorkGround::Unusable;
  }
  if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
    return WorkGround::Unusable;
  // A link in its place is refused by the opening itself.
  work = app.Child(L"Instalace");
  if (work && InstallersOwn(work)) return WorkGround::Ours;
  work.Release();
  return WorkGround::Foreign;
}

bool ForeignWorkFolderIn(const platform::HeldFolder& app, const platform::HeldFolder& earlier) {
  if (earlier && !earlier.ConfirmedPath().empty() &&
      platform::AsciiUpper(earlier.Path()) == platform::AsciiUpper(app.Path() + L"\\Instalace"))
    return false;
  if (app.AttributesOf(L"Instalace") == INVALID_FILE_ATTRIBUTES) return false;
  // A link in its place is refused by the opening itself.
  const platform::HeldFolder work = app.Child(L"Instalace");
  return !work || !InstallersOwn(work);
}

// After a failed unpacking: what step 4 made, innermost first, each only
// when empty.
void RemoveMade(platform::HeldFolder& work, bool workMade, platform::HeldFolder& app,
                std::vector<platform::HeldFolder>& appMade) {
  if (workMade && work) {
    work.Remove(kWorkFolderMark);
    work.RemoveSelf();
  }
  work.Release();
  app.Release();
  for (auto level = appMade.rbegin(); level != appMade.rend(); ++level) level->RemoveSelf();
  appMade.clear();
}

}  // namespace install
