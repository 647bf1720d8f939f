#include "platform/NtFile.h"

namespace platform::nt {

namespace {

template <typename F>
F Lookup(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

const Native& Nt() {
  static const Native native = [] {
    Native n;
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    n.createFile = Lookup<NtCreateFileFn>(ntdll, "NtCreateFile");
    n.setInformation = Lookup<NtSetInformationFileFn>(ntdll, "NtSetInformationFile");
    n.queryDirectory = Lookup<NtQueryDirectoryFileFn>(ntdll, "NtQueryDirectoryFile");
    n.toDosError = Lookup<RtlNtStatusToDosErrorFn>(ntdll, "RtlNtStatusToDosError");
    return n;
  }();
  return native;
}

bool Failed(NTSTATUS status) {
  if (status >= 0) return false;
  SetLastError(Nt().toDosError ? Nt().toDosError(status) : ERROR_GEN_FAILURE);
  return true;
}

bool Fits(const std::wstring& name) {
  return name.size() < 32767 && name.find(L'/') == std::wstring::npos;
}

UniqueFile NtOpen(HANDLE root, const std::wstring& name, ACCESS_MASK access, ULONG share,
                  ULONG disposition, ULONG options, ULONG attributes,
                  PSECURITY_DESCRIPTOR security) {
  if (!Nt().createFile || !Fits(name)) {
    SetLastError(ERROR_INVALID_NAME);
    return {};
  }
  UNICODE_STRING text;
  text.Buffer = const_cast<PWSTR>(name.c_str());
  text.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  text.MaximumLength = text.Length;
  OBJECT_ATTRIBUTES object;
  InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, root, security);
  IO_STATUS_BLOCK io{};
  HANDLE handle = nullptr;
  const NTSTATUS status =
      Nt().createFile(&handle, access | SYNCHRONIZE, &object, &io, nullptr, attributes, share,
                      disposition, options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (Failed(status)) return {};
  return UniqueFile(handle);
}

bool IsLinkHandle(HANDLE handle) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  return GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) &&
         (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::vector<std::wstring> Components(const std::wstring& relative) {
  std::vector<std::wstring> parts;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find(L'\\', start);
    if (end == std::wstring::npos) end = relative.size();
    if (end > start) parts.push_back(relative.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  return folder + L'\\' + name;
}

}  // namespace platform::nt
