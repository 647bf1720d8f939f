// The plan of an archive: the rules for the names an archive may hold, and
// where each entry goes, all judged before the first byte is written.
#include "fileops/ArchivePlan.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/HeldFolder.h"
#include "platform/Platform.h"

namespace fileops {

namespace {

// Every entry is written relative to its held folder, where the whole path
// has no limit of 260 characters; what limits remain are the file system's
// for one name and the system's for any path.
constexpr size_t kMaxName = 255;
constexpr size_t kMaxPath = 32766;
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

// "VANTOR~1.EXE": the form of the short name Windows gives a long one. On a
// volume that makes short names it may be another entry's file by its
// second name, which the letter-case check cannot see.
bool LooksLikeShortAlias(const std::wstring& part) {
  const size_t dot = part.rfind(L'.');
  const size_t baseLength = dot == std::wstring::npos ? part.size() : dot;
  const size_t extension = dot == std::wstring::npos ? 0 : part.size() - dot - 1;
  const size_t tilde = part.rfind(L'~', baseLength == 0 ? 0 : baseLength - 1);
  if (baseLength > 8 || extension > 3 || tilde == std::wstring::npos || tilde >= baseLength ||
      tilde + 1 == baseLength)
    return false;
  return std::all_of(part.begin() + static_cast<std::ptrdiff_t>(tilde) + 1,
                     part.begin() + static_cast<std::ptrdiff_t>(baseLength),
                     [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

// Turns a stored name into a path relative to the target folder. False for
// a name Windows cannot hold as it stands or that could reach outside the
// target: absolute, with a drive, device or stream, characters Windows
// refuses, a component ending in a dot or a space (".." among them, which
// Windows would also shorten), a reserved device name, the form of a short
// alias. "." and empty
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
    if (part.back() == L'.' || part.back() == L' ' || IsReservedDeviceName(part) ||
        LooksLikeShortAlias(part))
      return false;
    if (!relative.empty()) relative += L'\\';
    relative += part;
  }
  return !relative.empty() || folder;
}

using platform::FullPath;

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix) {
  return text.size() >= prefix.size() &&
         CompareStringOrdinal(text.data(), static_cast<int>(prefix.size()), prefix.data(),
                              static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
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

int Refuse(PlanRefusal& refusal, int code, std::string why, std::string name = {}) {
  refusal.why = std::move(why);
  refusal.name = std::move(name);
  return code;
}

}  // namespace

zip_uint64_t AddCapped(zip_uint64_t a, zip_uint64_t b) {
  return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

std::wstring FoldCase(const std::wstring& text) {
  if (text.empty()) return text;
  std::wstring out(text.size(), L'\0');
  const int n = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.data(),
                              static_cast<int>(text.size()), out.data(),
                              static_cast<int>(out.size()), nullptr, nullptr, 0);
  return n == static_cast<int>(text.size()) ? out : platform::AsciiUpper(text);
}

int PlanArchive(zip_t* archive, const std::wstring& targetDir, const UnzipNeeds& needs,
                ArchivePlan& plan, PlanRefusal& refusal) {
  plan = {};
  plan.target = FullPath(targetDir.empty() ? std::wstring(L".") : targetDir);
  while (plan.target.size() > 3 && (plan.target.back() == L'\\' || plan.target.back() == L'/'))
    plan.target.pop_back();
  const std::wstring root = plan.target.back() == L'\\' ? plan.target : plan.target + L'\\';

  NameIndex names;
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  zip_uint64_t totalSize = 0, totalPacked = 0;
  for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(count); ++i) {
    PlannedEntry entry{};
    entry.index = i;
    const char* raw = zip_get_name(archive, i, ZIP_FL_ENC_RAW);
    if (!raw || zip_stat_index(archive, i, ZIP_FL_ENC_RAW, &entry.stat) != 0)
      return Refuse(refusal, PK_BADERR, "damaged archive directory");
    // Names without the UTF-8 mark come from old archivers that wrote the OEM
    // code page; pure ASCII reads the same either way.
    const std::wstring stored = platform::Utf8OrOem(raw);
    entry.name = platform::Utf8(stored);
    std::wstring relative;
    if (!SafeRelativePath(stored, relative, entry.folder))
      return Refuse(refusal, PK_BADERR, "unsafe entry name", entry.name);
    if (const char* why = Unusable(archive, i, entry.stat, entry.folder))
      return Refuse(refusal, entry.stat.encryption_method != ZIP_EM_NONE ? IZ_BADPWD : PK_BADERR,
                    why, entry.name);
    entry.target = relative.empty() ? plan.target : FullPath(root + relative);
    if (!relative.empty()) {
      // Whatever the path rules above missed, the result must lie below the
      // target folder.
      if (!StartsWithNoCase(entry.target, root))
        return Refuse(refusal, PK_BADERR, "unsafe entry name", entry.name);
      const size_t depth = std::count(relative.begin(), relative.end(), L'\\') + 1;
      size_t longestName = 0;
      for (size_t start = 0, end = 0; start <= relative.size(); start = end + 1) {
        end = std::min(relative.find(L'\\', start), relative.size());
        longestName = std::max(longestName, end - start);
      }
      if (entry.target.size() > kMaxPath || longestName > kMaxName || depth > kMaxDepth)
        return Refuse(refusal, PK_BADERR, "path too long or too deep", entry.name);
      const std::wstring key = FoldCase(relative);
      if (!names.Add(key, entry.folder))
        return Refuse(refusal, PK_BADERR, "name taken twice (letter case aside)", entry.name);
    }
    if (!entry.folder) totalSize = AddCapped(totalSize, entry.stat.size);
    totalPacked = AddCapped(totalPacked, entry.stat.comp_size);
    plan.entries.push_back(std::move(entry));
  }
  for (const auto& file : needs.files)
    if (!names.HasFile(FoldCase(file)))
      return Refuse(refusal, PK_FIND, "missing " + platform::Utf8(file));
  plan.totalSize = totalSize;
  plan.totalPacked = totalPacked;
  return PK_OK;
}

}  // namespace fileops
