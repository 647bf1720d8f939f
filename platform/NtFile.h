// The native file calls a held folder works through: opening and renaming
// relative to a folder's handle, which the Win32 layer cannot do. Only the
// platform layer's own files include this.
#pragma once

#include <windows.h>

#include <winternl.h>

#include <string>
#include <vector>

#include "platform/Handles.h"

namespace platform::nt {

using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                        PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using NtSetInformationFileFn = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                                FILE_INFORMATION_CLASS);
using NtQueryDirectoryFileFn = NTSTATUS(NTAPI*)(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK,
                                                PVOID, ULONG, FILE_INFORMATION_CLASS, BOOLEAN,
                                                PUNICODE_STRING, BOOLEAN);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(NTSTATUS);

struct Native {
  NtCreateFileFn createFile = nullptr;
  NtSetInformationFileFn setInformation = nullptr;
  NtQueryDirectoryFileFn queryDirectory = nullptr;
  RtlNtStatusToDosErrorFn toDosError = nullptr;
};

// Looked up in ntdll, which is loaded into every process before its first
// instruction, rather than imported.
const Native& Nt();

constexpr FILE_INFORMATION_CLASS kFileBothDirectoryInformation =
    static_cast<FILE_INFORMATION_CLASS>(3);
constexpr FILE_INFORMATION_CLASS kFileRenameInformation = static_cast<FILE_INFORMATION_CLASS>(10);

// FILE_BOTH_DIR_INFORMATION as the system writes it.
struct BothDirInfo {
  ULONG NextEntryOffset;
  ULONG FileIndex;
  LARGE_INTEGER CreationTime, LastAccessTime, LastWriteTime, ChangeTime;
  LARGE_INTEGER EndOfFile, AllocationSize;
  ULONG FileAttributes;
  ULONG FileNameLength;
  ULONG EaSize;
  CCHAR ShortNameLength;
  WCHAR ShortName[12];
  WCHAR FileName[1];
};

// What a held folder is opened for: listing, walking, reading its access
// list, and being removed; shared for reading and writing but never for
// deletion, so that on Windows it cannot be renamed or removed under us.
constexpr ACCESS_MASK kFolderAccess =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL;
constexpr ULONG kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

// True, with the last error set from status, when status is a failure.
bool Failed(NTSTATUS status);
// A name for the native calls (empty: the root directory itself): no
// separators beyond what relative paths need, and within what a
// UNICODE_STRING holds.
bool Fits(const std::wstring& name);
UniqueFile NtOpen(HANDLE root, const std::wstring& name, ACCESS_MASK access, ULONG share,
                  ULONG disposition, ULONG options, ULONG attributes,
                  PSECURITY_DESCRIPTOR security = nullptr);
bool IsLinkHandle(HANDLE handle);
// The names of a relative path, empty parts left out.
std::vector<std::wstring> Components(const std::wstring& relative);
// Folder + "\" + name, as every path of the program is joined (a drive
// root's own "\" stays: "C:\\name", which the system takes).
std::wstring Join(const std::wstring& folder, const std::wstring& name);

}  // namespace platform::nt
