#include "uninstall/HandOver.h"

#include <bcrypt.h>

#include <cwchar>
#include <vector>

#include "platform/Access.h"
#include "platform/Crc32.h"
#include "platform/HeldFolder.h"
#include "platform/Platform.h"

namespace uninstall {

namespace {

const std::wstring kProduct = install::kProductName;

bool Rewind(HANDLE file) {
  LARGE_INTEGER start{};
  return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != 0;
}

// What the record says the installation wrote as the uninstaller.
const install::RecordedFile* UninstallerFacts(const install::InstallRecord& record) {
  for (const install::RecordedFile& file : record.files)
    if (_wcsicmp(file.path.c_str(), record.uninstaller.c_str()) == 0) return &file;
  return nullptr;
}

void SayChanged(const std::wstring& path) {
  Show(L"Soubor \"" + path + L"\" byl po instalaci aplikace " + kProduct +
           L" změněn nebo nahrazen.\r\nOdinstalace není možná, nic nebylo odebráno. "
           L"Nainstalujte aplikaci znovu a odinstalaci opakujte.",
       MB_OK | MB_ICONERROR);
}

// Copies the program into `out`: the bytes that go into the copy are the
// bytes checked against the record.
Copied WriteChecked(HANDLE program, const install::RecordedFile& facts, HANDLE out) {
  std::vector<unsigned char> buffer(64 << 10);
  uint64_t size = 0;
  uint32_t crc = 0;
  for (;;) {
    DWORD read = 0, written = 0;
    if (!ReadFile(program, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
      return Copied::Failed;
    if (read == 0) break;
    size += read;
    if (size > facts.size) return Copied::Changed;
    crc = platform::Crc32(buffer.data(), read, crc);
    if (!WriteFile(out, buffer.data(), read, &written, nullptr) || written != read)
      return Copied::Failed;
  }
  return size == facts.size && crc == facts.crc ? Copied::Written : Copied::Changed;
}

// The written copy held only for reading and its removal, as the system
// opens a program it starts, and shared for nothing else: the handle that
// wrote it goes first, and a writer that came in meanwhile makes the last
// step fail. The copy goes when the last of these handles closes.
platform::UniqueFile ReadOnlyHold(platform::UniqueFile& writer) {
  constexpr DWORD kHold = GENERIC_READ | DELETE;
  platform::UniqueFile bridge(ReOpenFile(writer.get(), kHold,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         FILE_FLAG_DELETE_ON_CLOSE));
  if (!bridge) {
    platform::DeleteWhenClosed(writer.get());
    return {};
  }
  writer.reset();
  return platform::UniqueFile(ReOpenFile(bridge.get(), kHold, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                         FILE_FLAG_DELETE_ON_CLOSE));
}

}  // namespace

int Show(const std::wstring& text, UINT flags) {
  return platform::ShowMessageBox(text, platform::ApplicationTitle(), flags | MB_SETFOREGROUND);
}

OwnProgram OwnProgram::Open(const std::wstring& path) {
  OwnProgram program;
  program.path_ = path;
  program.file_.reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  return program;
}

bool OwnProgram::Matches(const install::RecordedFile& facts) const {
  return file_ && Rewind(file_.get()) && platform::HoldsContent(file_.get(), facts.size, facts.crc);
}

std::wstring RandomCopyName() {
  unsigned char bytes[16] = {};
  if (!BCRYPT_SUCCESS(
          BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
    return {};
  std::wstring name = L"VantorPro ";
  for (unsigned char byte : bytes) {
    wchar_t hex[3];
    swprintf(hex, 3, L"%02x", byte);
    name += hex;
  }
  return name;
}

std::wstring CopyFolder() {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = GetSystemWindowsDirectoryW(folder, MAX_PATH);
  if (length > 0 && length < MAX_PATH - 6) {
    const std::wstring temp = std::wstring(folder, length) + L"\\Temp\\";
    if (platform::FolderExists(temp)) return temp;
  }
  const DWORD tempLength = GetTempPathW(MAX_PATH, folder);
  return tempLength > 0 && tempLength < MAX_PATH ? std::wstring(folder, tempLength) : L"";
}

Copied WriteWorkingCopy(const OwnProgram& program, const install::RecordedFile& facts,
                        const std::wstring& folder, WorkingCopy& copy, const NameSource& nextName) {
  if (!program || folder.empty() || !Rewind(program.Handle())) return Copied::Failed;
  const platform::HeldFolder temp = platform::HeldFolder::Open(folder);
  if (!temp) return Copied::Failed;
  const platform::FolderAccess adminsOnly(platform::FolderUse::Work);
  platform::HeldFolder fresh;
  // A name that is there (planted, say) is passed over: the next is fresh.
  for (int attempt = 0; !fresh && attempt < 16; ++attempt) {
    const std::wstring name = nextName();
    if (name.empty()) return Copied::Failed;
    fresh = temp.Child(name, platform::HeldFolder::Make::Fresh, adminsOnly.Descriptor());
    if (!fresh && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
      return Copied::Failed;
  }
  if (!fresh) return Copied::Failed;
  Copied result = Copied::Failed;
  {
    platform::UniqueFile out = fresh.OpenFile(kCopyName, GENERIC_WRITE | GENERIC_READ | DELETE,
                                              FILE_SHARE_READ | FILE_SHARE_DELETE, FILE_CREATE);
    if (out) {
      platform::DiscardUnlessKept discard(out.get());
      result = WriteChecked(program.Handle(), facts, out.get());
      if (result == Copied::Written) {
        // From here the hold's own deletion on close does it.
        discard.Keep();
        copy.deleteOnClose = ReadOnlyHold(out);
        if (copy.deleteOnClose)
          copy.path = fresh.Path() + L'\\' + kCopyName;
        else
          result = Copied::Failed;
      }
    }
  }
  if (result != Copied::Written) fresh.RemoveSelf();
  return result;
}

void LeaveCopyFolder(HANDLE copy, const std::wstring& copyPath) {
  const size_t cut = copyPath.find_last_of(L'\\');
  if (cut == std::wstring::npos) return;
  const std::wstring own = copyPath.substr(0, cut);
  const size_t above = own.find_last_of(L'\\');
  if (above == std::wstring::npos) return;
  platform::HeldFolder temp = platform::HeldFolder::Open(own.substr(0, above + 1));
  platform::HeldFolder fresh = temp ? temp.Child(own.substr(above + 1)) : platform::HeldFolder();
  if (!fresh) return;
  // Under a name of its own beside the fresh folder until the process ends.
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::wstring name = RandomCopyName();
    if (name.empty()) return;
    if (temp.MoveHere(copy, name + L".exe", false)) {
      fresh.RemoveSelf();
      return;
    }
  }
}

Asked AskAndCopy(const install::InstallRecord& record, const std::wstring& ownPath,
                 const std::wstring& folder, WorkingCopy& copy, const NameSource& nextName) {
  const OwnProgram program = OwnProgram::Open(ownPath);
  const install::RecordedFile* facts = UninstallerFacts(record);
  // Another program under the uninstaller's name is refused before anything
  // is asked.
  if (program && (!facts || !program.Matches(*facts))) {
    SayChanged(ownPath);
    return Asked::Refused;
  }
  if (Show(L"Opravdu chcete z tohoto počítače odebrat aplikaci " + kProduct +
               L"?\r\n\r\nSoubory, které jste po instalaci změnili nebo vytvořili, zůstanou "
               L"zachovány.",
           MB_YESNO | MB_ICONQUESTION) != IDYES)
    return Asked::No;
  if (!program) return Asked::NoCopy;
  switch (WriteWorkingCopy(program, *facts, folder, copy, nextName)) {
    case Copied::Written:
      return Asked::CopyReady;
    case Copied::Changed:
      SayChanged(ownPath);
      return Asked::Refused;
    case Copied::Failed:
      break;
  }
  return Asked::NoCopy;
}

}  // namespace uninstall
