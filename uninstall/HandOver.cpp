#include "uninstall/HandOver.h"

#include <bcrypt.h>

#include <cwchar>
#include <vector>

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
  std::wstring name = L"Odinstalace VantorPro ";
  for (unsigned char byte : bytes) {
    wchar_t hex[3];
    swprintf(hex, 3, L"%02x", byte);
    name += hex;
  }
  return name + L".exe";
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
  std::wstring path;
  platform::UniqueFile out;
  // A name that is there (planted, say) is passed over: the next is fresh.
  for (int attempt = 0; !out && attempt < 16; ++attempt) {
    const std::wstring name = nextName();
    if (name.empty()) return Copied::Failed;
    path = folder + name;
    out.reset(CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                          nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
      return Copied::Failed;
  }
  if (!out) return Copied::Failed;
  platform::DiscardUnlessKept discard(out.get());
  // The bytes that go into the copy are the bytes checked.
  std::vector<unsigned char> buffer(64 << 10);
  uint64_t size = 0;
  uint32_t crc = 0;
  for (;;) {
    DWORD read = 0, written = 0;
    if (!ReadFile(program.Handle(), buffer.data(), static_cast<DWORD>(buffer.size()), &read,
                  nullptr))
      return Copied::Failed;
    if (read == 0) break;
    size += read;
    if (size > facts.size) return Copied::Changed;
    crc = platform::Crc32(buffer.data(), read, crc);
    if (!WriteFile(out.get(), buffer.data(), read, &written, nullptr) || written != read)
      return Copied::Failed;
  }
  if (size != facts.size || crc != facts.crc) return Copied::Changed;
  // Written, the copy is held only for reading and its removal, as the
  // system opens a program it starts.
  platform::UniqueFile keeper(ReOpenFile(out.get(), GENERIC_READ | DELETE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         FILE_FLAG_DELETE_ON_CLOSE));
  if (!keeper) return Copied::Failed;
  discard.Keep();
  out.reset();
  copy.path = path;
  copy.deleteOnClose = std::move(keeper);
  return Copied::Written;
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
