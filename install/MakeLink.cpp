#include "install/MakeLink.h"

#include "platform/Platform.h"

namespace install {

namespace {

// The text from the last dot of the last path component; empty without one.
std::wstring Extension(const std::wstring& path) {
  const auto dot = path.find_last_of(L'.');
  const auto separator = path.find_last_of(L"\\:");
  if (dot == std::wstring::npos || (separator != std::wstring::npos && dot < separator)) return {};
  return path.substr(dot);
}

void Describe(platform::ShellLink& link, const std::wstring& target, const std::wstring& arguments,
              const std::wstring& description) {
  // The results are not examined: what is saved is read back where it counts.
  link.SetPath(target);
  link.SetArguments(arguments);
  link.SetWorkingDirectory(platform::ExtractFilePath(target));
  link.SetDescription(description);
}

}  // namespace

void MakeLink(const std::wstring& target, const std::wstring& arguments,
              const std::wstring& linkFile, const std::wstring& description) {
  if (platform::AsciiUpper(Extension(linkFile)) != L".LNK") {
    platform::ShowMessage(L"Error: link path extension must be .LNK");
    return;
  }
  platform::ShellLink link;  // released on every path out of here
  Describe(link, target, arguments, description);
  // A missing group folder just leaves no file.
  link.Save(linkFile);
}

bool WriteLink(HANDLE file, const std::wstring& target, const std::wstring& arguments,
               const std::wstring& description, uint64_t& size, uint32_t& crc) {
  platform::ShellLink link;
  Describe(link, target, arguments, description);
  return link.SaveTo(file, size, crc);
}

platform::HeldFolder OpenGroup(const std::wstring& programs, const std::wstring& name,
                               std::vector<std::wstring>& made) {
  platform::HeldFolder at = platform::HeldFolder::Open(programs);
  std::wstring path = programs;
  size_t start = 0;
  while (at && start <= name.size()) {
    size_t end = name.find(L'\\', start);
    if (end == std::wstring::npos) end = name.size();
    if (end > start) {
      bool madeHere = false;
      at = at.Child(name.substr(start, end - start), platform::HeldFolder::Make::IfMissing, nullptr,
                    &madeHere);
      path += L"\\" + name.substr(start, end - start);
      if (madeHere) made.push_back(path);
    }
    start = end + 1;
  }
  return at;
}

}  // namespace install
