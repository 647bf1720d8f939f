#include "tests/support/TestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace testutil {

namespace {

// Starts /bin/sh -c with a command line through Wine's start.exe. Started
// straight from here, Wine takes a Unix program's thread handle from
// uninitialised memory, resumes and closes it: some handle of this process
// (the registry's cached root key, say) went with it.
bool StartUnixShell(const std::wstring& command) {
  std::wstring line = L"start.exe /unix /bin/sh -c \"" + command + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!StartProcess(nullptr, line, false, CREATE_NO_WINDOW, nullptr, startup, process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

// Runs /bin/sh -c "<command> '<unix path>'" and waits for the path to go.
void RunUnix(const std::string& command, const std::wstring& path) {
  const std::string unix = UnixPath(path);
  if (unix.empty() ||
      !StartUnixShell(platform::Wide(command) + L" '" + platform::Wide(unix) + L"'"))
    return;
  // Wine does not wait on a Unix process: the entry's going is the event
  // (looked up as itself: a link may lead nowhere).
  auto listed = [&] {
    WIN32_FIND_DATAW data;
    return static_cast<bool>(platform::UniqueFind(FindFirstFileW(path.c_str(), &data)));
  };
  for (int i = 0; i < 1000 && listed(); ++i) Sleep(10);
}

}  // namespace

bool StartProcess(const wchar_t* application, std::wstring commandLine, bool inherit, DWORD flags,
                  const wchar_t* folder, STARTUPINFOW& startup, PROCESS_INFORMATION& info) {
  for (int tries = 0; tries < 3; ++tries) {
    std::wstring line = commandLine;
    if (CreateProcessW(application, line.data(), nullptr, nullptr, inherit, flags, nullptr, folder,
                       &startup, &info))
      return true;
    if (GetLastError() != ERROR_INTERNAL_ERROR) return false;
  }
  return false;
}

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  wchar_t base[MAX_PATH + 1];
  GetTempPathW(MAX_PATH, base);
  std::wstring root = base;
  if (!root.empty() && root.back() == L'\\') root.pop_back();
  path_ = root + L"\\svtest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
          std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(counter++);
  RemoveTree(path_);
  MakeDirs(path_);
}

TempDir::~TempDir() {
  RemoveTree(path_);
}

void WriteFile(const std::wstring& path, const std::string& content) {
  std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + platform::Utf8(path));
  out << content;
}

std::string ReadFile(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  if (!in) return {};
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void MakeDirs(const std::wstring& path) {
  if (!platform::ForceDirectories(path))
    throw std::runtime_error("cannot create " + platform::Utf8(path));
}

void RemoveTree(const std::wstring& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) {
    // A link whose target is gone is still listed: it goes as itself.
    WIN32_FIND_DATAW data;
    const platform::UniqueFind found(FindFirstFileW(path.c_str(), &data));
    if (found) RunUnix("rm -f", path);
    return;
  }
  if (a & FILE_ATTRIBUTE_REPARSE_POINT) {
    // Only the link goes, never what it leads to; Wine removes it only from
    // the Unix side.
    if (!RemoveDirectoryW(path.c_str()) && !DeleteFileW(path.c_str())) RunUnix("rm -f", path);
    return;
  }
  SetFileAttributesW(path.c_str(), a & ~FILE_ATTRIBUTE_READONLY);
  if (!(a & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileW(path.c_str());
    return;
  }
  platform::FolderListing list(path);
  platform::DirEntry e;
  while (list.Next(e))
    if (e.name != L"." && e.name != L"..") RemoveTree(path + L"\\" + e.name);
  RemoveDirectoryW(path.c_str());
}

bool PumpUntil(const std::function<bool()>& done, DWORD limitMs) {
  const ULONGLONG end = GetTickCount64() + limitMs;
  for (;;) {
    platform::ProcessMessages();
    if (done()) return true;
    const ULONGLONG now = GetTickCount64();
    if (now >= end) return false;
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(end - now), QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
  }
}

RefusedChild::RefusedChild(int id)
    : hook_(SetWindowsHookExW(WH_CBT, &Hook, nullptr, GetCurrentThreadId())) {
  id_ = id;
}

RefusedChild::~RefusedChild() {
  UnhookWindowsHookEx(hook_);
}

LRESULT CALLBACK RefusedChild::Hook(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_CREATEWND) {
    const CREATESTRUCTW& create = *reinterpret_cast<CBT_CREATEWNDW*>(lp)->lpcs;
    if ((create.style & WS_CHILD) && reinterpret_cast<INT_PTR>(create.hMenu) == id_) return 1;
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

ScriptedBoxes::ScriptedBoxes(std::vector<int> answers) : answers_(std::move(answers)) {
  platform::SetMessageBoxResponder(
      [this](const std::wstring& text, const std::wstring& caption, UINT flags) {
        asked_.push_back({text, caption, flags});
        if (rule_) return rule_(asked_.back());
        return next_ < answers_.size() ? answers_[next_++] : IDOK;
      });
}

ScriptedBoxes::ScriptedBoxes(Rule rule) : ScriptedBoxes() {
  rule_ = std::move(rule);
}

ScriptedBoxes::~ScriptedBoxes() {
  platform::SetMessageBoxResponder({});
}

std::vector<std::wstring> ScriptedBoxes::Texts() const {
  std::vector<std::wstring> texts;
  for (const AskedBox& box : asked_) texts.push_back(box.text);
  return texts;
}

int ScriptedBoxes::Unexpected(const AskedBox& box) {
  ADD_FAILURE() << "unexpected message box: " << platform::Utf8(box.text);
  return IDCANCEL;
}

std::vector<std::wstring> Names(const std::wstring& folder) {
  std::vector<std::wstring> names;
  platform::FolderListing listing(folder);
  platform::DirEntry entry;
  while (listing.Next(entry))
    if (entry.name != L"." && entry.name != L"..") names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  return names;
}

bool IsEmptyFolder(const std::wstring& folder) {
  platform::FolderListing listing(folder);
  platform::DirEntry entry;
  while (listing.Next(entry))
    if (entry.name != L"." && entry.name != L"..") return false;
  return listing.Started();
}

std::wstring WindowText(HWND window, bool* answered) {
  constexpr UINT kWaitMs = 5000;
  if (answered) *answered = false;
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kWaitMs, &length))
    return {};
  std::vector<wchar_t> buffer(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(),
                           reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG, kWaitMs,
                           &copied))
    return {};
  if (answered) *answered = true;
  return std::wstring(buffer.data(), copied);
}

std::wstring FromBuild(const char* unixPath) {
  std::wstring path = L"Z:" + platform::Wide(unixPath);
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  return path;
}

}  // namespace testutil

namespace testutil {

std::string UnixPath(const std::wstring& path) {
  using UnixName = char*(CDECL*)(LPCWSTR);
  auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  char* name = unixName ? unixName(path.c_str()) : nullptr;
  if (!name) return {};
  std::string result = name;
  HeapFree(GetProcessHeap(), 0, name);
  return result;
}

bool SwapForLink(const std::wstring& folder, const std::wstring& target) {
  const std::string from = UnixPath(folder), to = UnixPath(target);
  if (from.empty() || to.empty()) return false;
  if (!StartUnixShell(L"mv '" + platform::Wide(from) + L"' '" + platform::Wide(from) +
                      L".moved' && ln -s '" + platform::Wide(to) + L"' '" + platform::Wide(from) +
                      L"'"))
    return false;
  // Wine does not wait on a Unix process: the link itself is the event.
  for (int i = 0; i < 1000 && !platform::IsLinkAt(folder); ++i) Sleep(10);
  return platform::IsLinkAt(folder);
}

bool RunUnixUntil(const std::wstring& command, const std::function<bool()>& done) {
  if (!StartUnixShell(command)) return false;
  for (int i = 0; i < 1000 && !done(); ++i) Sleep(10);
  return done();
}

bool RunUnixOn(const std::wstring& command, const std::wstring& path,
               const std::function<bool()>& done) {
  const std::string unix = UnixPath(path);
  return !unix.empty() && RunUnixUntil(command + L" '" + platform::Wide(unix) + L"'", done);
}

wchar_t ClaimDriveLetter(platform::UniqueHandle& claim) {
  for (wchar_t letter = L'R'; letter <= L'Y'; ++letter) {
    // Free when its root leads nowhere. The drive map GetLogicalDrives reads
    // is no guide: under Wine a letter the mount manager has taken away
    // again stays in it for as long as the wineserver runs.
    const std::wstring root = std::wstring(1, letter) + L":\\";
    if (GetFileAttributesW(root.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
    const DWORD error = GetLastError();
    if (error != ERROR_PATH_NOT_FOUND && error != ERROR_FILE_NOT_FOUND &&
        error != ERROR_INVALID_DRIVE)
      continue;
    const std::wstring name = std::wstring(L"svtest-drive-") + letter;
    platform::UniqueHandle mine(CreateMutexW(nullptr, FALSE, name.c_str()));
    if (mine && GetLastError() != ERROR_ALREADY_EXISTS) {
      claim = std::move(mine);
      return letter;
    }
  }
  return 0;
}

}  // namespace testutil
