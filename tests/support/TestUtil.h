// Helpers shared by the test suites: scratch folders, files, message-box
// answers.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace testutil {

// A fresh folder below the prefix's temporary folder, removed with its
// contents by the destructor.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::wstring& Path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

void WriteFile(const std::wstring& path, const std::string& content);
std::string ReadFile(const std::wstring& path);
void MakeDirs(const std::wstring& path);
void RemoveTree(const std::wstring& path);  // clears read-only bits on the way

// Waits, running the program's messages, until pred holds; false when
// timeoutMs passed first.
bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs);

// One message box as the program asked for it.
struct AskedBox {
  std::wstring text, caption;
  unsigned flags = 0;
};

// Answers every message box with the next answer of a script (IDOK when the
// script is used up) and records what was asked. Restores real boxes when
// destroyed.
class ScriptedBoxes {
 public:
  explicit ScriptedBoxes(std::vector<int> answers = {});
  ~ScriptedBoxes();
  const std::vector<AskedBox>& Asked() const { return asked_; }
  void Add(int answer) { answers_.push_back(answer); }

 private:
  std::vector<int> answers_;
  size_t next_ = 0;
  std::vector<AskedBox> asked_;
};

}  // namespace testutil
