#include <cstring>
#include <optional>
#include "platform/Crc32.h"
#include "platform/HeldFolder.h"
#include "platform/Platform.h"

#include <shlobj.h>

#include <utility>

namespace platform {

ShellLink::ShellLink() {
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                              IID_IUnknown, object_.put_void())))
    throw SetupError(L"Cannot create the shell link object");
  if (FAILED(object_->QueryInterface(IID_IShellLinkW, link_.put_void())) ||
      FAILED(object_->QueryInterface(IID_IPersistFile, file_.put_void())))
    throw SetupError(L"Interface not supported");
}

HRESULT ShellLink::SetPath(const std::wstring& path) {
  return link_->SetPath(path.c_str());
}
HRESULT ShellLink::SetArguments(const std::wstring& args) {
  return link_->SetArguments(args.c_str());
}
HRESULT ShellLink::SetWorkingDirectory(const std::wstring& dir) {
  return link_->SetWorkingDirectory(dir.c_str());
}
HRESULT ShellLink::SetDescription(const std::wstring& description) {
  return link_->SetDescription(description.c_str());
}
HRESULT ShellLink::Save(const std::wstring& file) {
  return file_->Save(file.c_str(), FALSE);
}

bool ShellLink::SaveTo(HANDLE file, uint64_t& size, uint32_t& crc) {
  ComPtr<IPersistStream> persist;
  ComPtr<IStream> stream;
  if (FAILED(object_->QueryInterface(IID_IPersistStream, persist.put_void())) ||
      FAILED(
          CreateStreamOnHGlobal(nullptr, TRUE, reinterpret_cast<IStream**>(stream.put_void()))) ||
      FAILED(persist->Save(stream.get(), TRUE)))
    return false;
  HGLOBAL memory = nullptr;
  if (FAILED(GetHGlobalFromStream(stream.get(), &memory))) return false;
  STATSTG stat{};
  if (FAILED(stream->Stat(&stat, STATFLAG_NONAME)) || stat.cbSize.QuadPart == 0 ||
      stat.cbSize.QuadPart > (1u << 20))
    return false;
  const DWORD bytes = static_cast<DWORD>(stat.cbSize.QuadPart);
  const void* data = GlobalLock(memory);
  if (!data) return false;
  DWORD written = 0;
  const bool whole = WriteFile(file, data, bytes, &written, nullptr) && written == bytes;
  if (whole) {
    size = bytes;
    crc = Crc32(data, bytes);
  }
  GlobalUnlock(memory);
  return whole;
}

bool ReadShortcut(const std::wstring& file, ShortcutInfo& info) {
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> persist;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              link.put_void())) ||
      FAILED(link->QueryInterface(IID_IPersistFile, persist.put_void())) ||
      FAILED(persist->Load(file.c_str(), STGM_READ)))
    return false;
  wchar_t buffer[1024];
  buffer[0] = 0;
  link->GetPath(buffer, 1024, nullptr, SLGP_RAWPATH);
  info.path = buffer;
  buffer[0] = 0;
  link->GetArguments(buffer, 1024);
  info.arguments = buffer;
  buffer[0] = 0;
  link->GetWorkingDirectory(buffer, 1024);
  info.workingDirectory = buffer;
  buffer[0] = 0;
  link->GetDescription(buffer, 1024);
  info.description = buffer;
  return true;
}

ComApartment::ComApartment() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}
ComApartment::~ComApartment() {
  if (initialised_) CoUninitialize();
}

// ------------------------------------------------------------ processes

namespace {

// A file's identity as its file system keeps it, asked of the open file
// itself: the volume's serial and the file's ID (FILE_ID_INFO, 128 bits, on
// Windows 8 and later; before, the volume serial and the 64-bit index).
struct FileId {
  ULONGLONG volume = 0;
  BYTE id[16] = {};
  bool operator==(const FileId& other) const {
    return volume == other.volume && std::memcmp(id, other.id, sizeof id) == 0;
  }
};

std::optional<FileId> FileIdOf(HANDLE file) {
  if (!file || file == INVALID_HANDLE_VALUE) return std::nullopt;
  // FileIdInfo and FILE_ID_INFO, which the headers give only to Windows 8.
  constexpr auto kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);
  struct {
    ULONGLONG volume;
    BYTE id[16];
  } info{};
  FileId found;
  if (GetFileInformationByHandleEx(file, kFileIdInfo, &info, sizeof info)) {
    found.volume = info.volume;
    std::memcpy(found.id, info.id, sizeof found.id);
    return found;
  }
  BY_HANDLE_FILE_INFORMATION old{};
  if (!GetFileInformationByHandle(file, &old)) return std::nullopt;
  found.volume = old.dwVolumeSerialNumber;
  std::memcpy(found.id, &old.nFileIndexLow, sizeof old.nFileIndexLow);
  std::memcpy(found.id + 4, &old.nFileIndexHigh, sizeof old.nFileIndexHigh);
  return found;
}

}  // namespace

bool StartProcess(const std::wstring& commandLine, STARTUPINFOW& startup, UniqueHandle* process,
                  HANDLE image, const std::wstring& folder, bool inherit) {
  PROCESS_INFORMATION info{};
  const DWORD flags = NORMAL_PRIORITY_CLASS | (image ? CREATE_SUSPENDED : 0);
  // Under Wine a start now and then fails with ERROR_INTERNAL_ERROR: the new
  // process ended before any code of its own ran, so starting it again is
  // safe.
  for (int tries = 0;; ++tries) {
    std::wstring mutableLine = commandLine;  // CreateProcessW may write into it
    if (CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, inherit, flags, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &startup, &info))
      break;
    if (GetLastError() != ERROR_INTERNAL_ERROR || tries == 2) return false;
  }
  UniqueHandle thread(info.hThread), owned(info.hProcess);
  if (image) {
    // The path was looked up once more by the start: the image the process
    // was made from must be the file that was checked, by the file ID of
    // each, not by names or drive letters that lead to it.
    wchar_t started[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    const std::optional<FileId> checked = FileIdOf(image);
    std::optional<FileId> ran;
    if (QueryFullProcessImageNameW(owned.get(), 0, started, &size)) {
      UniqueFile file(CreateFileW(started, FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
      ran = FileIdOf(file.get());
    }
    if (!checked || !ran || !(*checked == *ran) ||
        ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
      TerminateProcess(owned.get(), 1);
      return false;
    }
  }
  if (process) *process = std::move(owned);
  return true;
}

namespace {
std::function<void()>& RestartHandler() {
  static std::function<void()> handler;
  return handler;
}
DWORD g_platformOverride = 0;
}  // namespace

void SetRestartHandler(std::function<void()> handler) {
  RestartHandler() = std::move(handler);
}

void RequestRestart() {
  if (RestartHandler()) {
    RestartHandler()();
    return;
  }
  ExitWindowsEx(EWX_REBOOT, 0);
}

DWORD PlatformId() {
  static const DWORD real = [] {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return GetVersionExW(&info) ? info.dwPlatformId : 0;
#pragma GCC diagnostic pop
  }();
  return g_platformOverride ? g_platformOverride : real;
}

void OverridePlatformId(DWORD id) {
  g_platformOverride = id;
}

}  // namespace platform
