#include "install/Ground.h"

#include <cwchar>

#include "install/InstallRecord.h"
#include "install/Messages.h"
#include "platform/Platform.h"

namespace install {

namespace {

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return _wcsicmp(a.c_str(), b.c_str()) == 0;
}

bool Names(const std::vector<std::wstring>& folders, const std::wstring& path) {
  for (const std::wstring& folder : folders)
    if (SamePath(folder, path)) return true;
  return false;
}

// A full path as the system spells it, cut into its root ("C:\",
// "\\server\share\") and the levels below it; prefix(k) spells the first k
// levels ("C:\" for none), joined as every path of the program is.
struct Levels {
  std::wstring root;
  std::vector<std::wstring> parts;

  std::wstring Prefix(size_t k) const {
    if (k == 0) return root;
    std::wstring at = root.substr(0, root.size() - 1);
    for (size_t i = 0; i < k; ++i) at += L'\\' + parts[i];
    return at;
  }
};

bool Split(const std::wstring& path, Levels& levels) {
  const std::wstring full = platform::FullPath(path);
  if (full.empty()) return false;
  levels.root = platform::RootOf(full);
  if (levels.root.empty()) return false;
  const size_t start = levels.root.size();
  levels.parts.clear();
  for (size_t at = start; at < full.size();) {
    size_t end = full.find(L'\\', at);
    if (end == std::wstring::npos) end = full.size();
    if (end > at) levels.parts.push_back(full.substr(at, end - at));
    at = end + 1;
  }
  return true;
}

platform::UniqueFile OpenLevel(const std::wstring& at, DWORD flags) {
  return platform::UniqueFile(CreateFileW(at.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr));
}

platform::FolderTrust JudgeAt(const std::wstring& at, platform::ChangeOf change) {
  const platform::UniqueFile level = OpenLevel(at, 0);
  return level ? platform::JudgeFolder(level.get(), change) : platform::FolderTrust::Unreadable;
}

// Whether level k (k >= 1) of the path is a link: on its own handle
// (Windows), or as the level above lists it (Wine, which follows its links
// whatever is asked).
bool IsLink(const Levels& levels, size_t k) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  const platform::UniqueFile own = OpenLevel(levels.Prefix(k), FILE_FLAG_OPEN_REPARSE_POINT);
  if (own && GetFileInformationByHandleEx(own.get(), FileAttributeTagInfo, &tag, sizeof tag) &&
      (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return true;
  const platform::HeldFolder above = platform::HeldFolder::Open(levels.Prefix(k - 1));
  const DWORD listed = above ? above.AttributesOf(levels.parts[k - 1]) : INVALID_FILE_ATTRIBUTES;
  return listed != INVALID_FILE_ATTRIBUTES && (listed & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Every link on the typed path up to the first level this run made (the
// folder itself included), judged as itself: by its own owner and list and
// by the list of the folder holding it, who may put another in its place.
// One only trusted accounts control is followed; the first other refused.
std::wstring JudgeLinks(const Levels& levels, size_t firstMade) {
  for (size_t k = 1; k < firstMade && k <= levels.parts.size(); ++k) {
    if (!IsLink(levels, k)) continue;
    const std::wstring at = levels.Prefix(k);
    const platform::UniqueFile link = OpenLevel(at, FILE_FLAG_OPEN_REPARSE_POINT);
    const platform::UniqueFile above = OpenLevel(levels.Prefix(k - 1), 0);
    const platform::FolderTrust trust = link && above
                                            ? platform::JudgeLink(link.get(), above.get(), k == 1)
                                            : platform::FolderTrust::Unreadable;
    if (!platform::Acceptable(trust)) return UntrustedLink(at, trust);
  }
  return {};
}

// The existing levels above a folder (below firstMade) as JudgeFolder sees
// them; the first one refused.
std::wstring JudgeAbove(const Levels& levels, size_t firstMade) {
  for (size_t k = 0; k < firstMade && k < levels.parts.size(); ++k) {
    const std::wstring at = levels.Prefix(k);
    const platform::FolderTrust trust =
        JudgeAt(at, k == 0 ? platform::ChangeOf::Root : platform::ChangeOf::Above);
    if (!platform::Acceptable(trust)) return UntrustedFolder(at, trust);
  }
  return {};
}

// Those levels, and the folder itself when it was there before. The
// application's own folder, made or found, must lie on a volume that keeps
// access lists.
std::wstring JudgeLevels(const Levels& levels, size_t firstMade, const platform::HeldFolder& folder,
                         bool folderMade, bool application) {
  if (std::wstring above = JudgeAbove(levels, firstMade); !above.empty()) return above;
  const platform::FolderTrust trust =
      platform::JudgeFolder(folder.Handle(), platform::ChangeOf::Contents);
  if (trust == platform::FolderTrust::NoLists && application)
    return Unprotectable(levels.Prefix(levels.parts.size()));
  if (!folderMade && !platform::Acceptable(trust))
    return UntrustedFolder(levels.Prefix(levels.parts.size()), trust);
  return {};
}

}  // namespace

platform::FolderAccess AccessFor(Place place) {
  switch (place) {
    case Place::Projects:
      return platform::FolderAccess(platform::FolderUse::Projects);
    case Place::Work:
      return platform::FolderAccess(platform::FolderUse::Work);
    default:
      return platform::FolderAccess(platform::FolderUse::Application);
  }
}

std::vector<std::wstring> EarlierMadeFolders(const std::vector<std::wstring>& alsoMade) {
  std::vector<std::wstring> folders = alsoMade;
  try {
    InstallRecord earlier;
    if (ReadRecord(earlier) == RecordState::Present)
      folders.insert(folders.end(), earlier.folders.begin(), earlier.folders.end());
  } catch (const std::exception&) {
    // No record to read: nothing known made before.
  }
  return folders;
}

platform::HeldFolder OpenForRun(const std::wstring& path, Place place,
                                const std::vector<std::wstring>& earlier, bool create,
                                std::vector<platform::HeldFolder>* made, std::wstring& refusal) {
  refusal.clear();
  Levels levels;
  if (!Split(path, levels)) return platform::HeldFolder::Open(path, create, made);
  const platform::FolderAccess access = AccessFor(place);
  const platform::FolderAccess aboveAccess = AccessFor(Place::Above);
  const size_t count = levels.parts.size();
  // The first level an earlier installation made: all above it is the
  // person's own.
  size_t first = 1;
  while (first <= count && !Names(earlier, levels.Prefix(first))) ++first;
  std::vector<platform::HeldFolder> madeHere;
  platform::HeldFolder folder;
  size_t firstMade = count + 1;
  // A refusal takes back what this run made for the folder, innermost first.
  auto refuse = [&](std::wstring message) {
    refusal = std::move(message);
    folder.Release();
    for (auto level = madeHere.rbegin(); level != madeHere.rend(); ++level) level->RemoveSelf();
    return platform::HeldFolder();
  };
  if (first > count) {
    folder = platform::HeldFolder::Open(path, create, &madeHere, access.Descriptor(),
                                        aboveAccess.Descriptor());
    if (!folder && !create) {
      // Not there yet: the levels that are, links among them, are judged
      // now, before anything is written, as they will be when it is made.
      const DWORD error = GetLastError();
      size_t have = count;
      while (have > 0 && !platform::FolderExists(levels.Prefix(have))) --have;
      // A drive that is not there has nothing to judge: its step says so.
      if (platform::FolderExists(levels.Prefix(have))) {
        refusal = JudgeLinks(levels, have + 1);
        if (refusal.empty() && (place == Place::Application || place == Place::Templates))
          refusal = JudgeAbove(levels, have + 1);
      }
      SetLastError(error);
    }
    if (!folder) return {};
    firstMade = count + 1 - madeHere.size();
  } else {
    platform::HeldFolder walked = platform::HeldFolder::Open(levels.Prefix(first - 1), create,
                                                             &madeHere, aboveAccess.Descriptor());
    if (!walked) return {};
    if (!madeHere.empty()) firstMade = first - madeHere.size();
    std::vector<platform::FileIdentity> madeBelow;
    for (size_t k = first; k <= count; ++k) {
      bool madeNow = false;
      platform::HeldFolder next = walked.Child(
          levels.parts[k - 1],
          create ? platform::HeldFolder::Make::IfMissing : platform::HeldFolder::Make::No,
          k == count ? access.Descriptor() : aboveAccess.Descriptor(), &madeNow);
      if (!next) {
        if (GetLastError() == ERROR_CANT_ACCESS_FILE) return refuse(LinkReplaced(levels.Prefix(k)));
        return {};
      }
      if (madeNow) {
        madeBelow.push_back(next.Identity());
        if (firstMade > count) firstMade = k;
      }
      walked = std::move(next);
    }
    // Held as the person spells it: that path must still lead to the very
    // folders the walk reached, or something was swapped in meanwhile.
    folder = platform::HeldFolder::Open(path);
    if (!folder || !(folder.Identity() == walked.Identity()))
      return refuse(LinkReplaced(levels.Prefix(count)));
    for (size_t k = firstMade, i = 0; k <= count && i < madeBelow.size(); ++k) {
      if (k < first) continue;
      platform::HeldFolder level = platform::HeldFolder::Open(levels.Prefix(k));
      if (!level || !(level.Identity() == madeBelow[i++]))
        return refuse(LinkReplaced(levels.Prefix(k)));
      madeHere.push_back(std::move(level));
    }
  }
  std::wstring judged = JudgeLinks(levels, firstMade);
  if (judged.empty() && (place == Place::Application || place == Place::Templates))
    judged =
        JudgeLevels(levels, firstMade, folder, firstMade <= count, place == Place::Application);
  if (!judged.empty()) return refuse(std::move(judged));
  if (made)
    for (platform::HeldFolder& level : madeHere) made->push_back(std::move(level));
  return folder;
}

std::wstring SurveyGround(const InstallChoices& choices, const std::vector<std::wstring>& earlier) {
  struct Target {
    const std::wstring& path;
    Place place;
  };
  std::vector<Target> targets = {{choices.vantorPro, Place::Application},
                                 {choices.projekty, Place::Projects}};
  if (!choices.leaveVzoryOnCd) targets.push_back({choices.vzory, Place::Templates});
  for (const Target& target : targets) {
    std::wstring refusal;
    const platform::HeldFolder folder =
        OpenForRun(target.path, target.place, earlier, false, nullptr, refusal);
    if (!refusal.empty()) return refusal;
    if (!folder) continue;  // not there (yet): made by its step
    Levels levels;
    if (!Split(target.path, levels)) continue;
    const std::wstring inside = levels.Prefix(levels.parts.size()) + L'\\';
    for (const std::wstring& below : earlier) {
      if (below.size() <= inside.size() || !SamePath(below.substr(0, inside.size()), inside))
        continue;
      if (!folder.Child(below.substr(inside.size())) && GetLastError() == ERROR_CANT_ACCESS_FILE)
        return LinkReplaced(below);
    }
  }
  return {};
}

std::wstring SurveyMissingFolder(const std::wstring& path, Place place) {
  Levels levels;
  if (!Split(path, levels)) return {};
  size_t existing = levels.parts.size();
  while (existing > 0 && !platform::FolderExists(levels.Prefix(existing))) --existing;
  if (existing == levels.parts.size()) return {};
  const platform::HeldFolder nearest = platform::HeldFolder::Open(levels.Prefix(existing));
  if (!nearest) return {};
  // As OpenForRun judges the folder once its step has made the missing
  // levels: every level that was there, and the volume.
  return JudgeLevels(levels, existing + 1, nearest, true, place == Place::Application);
}

}  // namespace install
