#include "tests/support/TestUtil.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace testutil {

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
  if (a == INVALID_FILE_ATTRIBUTES) return;
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
        return next_ < answers_.size() ? answers_[next_++] : IDOK;
      });
}

ScriptedBoxes::~ScriptedBoxes() {
  platform::SetMessageBoxResponder({});
}

}  // namespace testutil
