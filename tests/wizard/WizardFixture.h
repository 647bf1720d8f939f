// Shared set-up of the wizard window suites: registry values saved and put
// back, a wizard window shown and destroyed, keys sent the way a person types
// them.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "tests/support/TestUtil.h"
#include "wizard/FrmSetup.h"

namespace wiztest {

inline const wchar_t kNtKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion";
inline const wchar_t k9xKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion";
inline const wchar_t kShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// A registry value (32-bit view) as it was before the test; put back, or
// removed again, when the test ends.
class SavedValue {
 public:
  SavedValue(HKEY root, std::wstring key, std::wstring name);
  ~SavedValue();
  SavedValue(const SavedValue&) = delete;
  SavedValue& operator=(const SavedValue&) = delete;

 private:
  HKEY root_;
  std::wstring key_, name_;
  bool existed_ = false;
  DWORD type_ = 0;
  std::vector<BYTE> data_;
};

void SetRaw(HKEY root, const std::wstring& key, const std::wstring& name, DWORD type,
            const void* data, DWORD size);
void SetString(HKEY root, const std::wstring& key, const std::wstring& name,
               const std::wstring& value, DWORD type = REG_SZ);
void DeleteValue(HKEY root, const std::wstring& key, const std::wstring& name);

// Sends a key press to the focused control through the program's own message
// pump, as the keyboard would (dialog routing included).
void PressKey(WPARAM key, bool alt = false);
void TypeAltChar(wchar_t ch);
void Pump();

class WizardTest : public ::testing::Test {
 public:
  WizardTest();
  ~WizardTest() override;

  // Creates the window (FormCreate runs) over a session started in the
  // current folder, and shows it.
  TfrmSetup& Open();
  TfrmSetup& Form() { return *form_; }
  void Click(const wchar_t* button);  // a real button click (BM_CLICK)
  std::wstring FocusName() const;     // the name of the focused control

  SavedValue ntOwner_{HKEY_LOCAL_MACHINE, kNtKey, L"RegisteredOwner"};
  SavedValue ntOrganization_{HKEY_LOCAL_MACHINE, kNtKey, L"RegisteredOrganization"};
  SavedValue owner9x_{HKEY_LOCAL_MACHINE, k9xKey, L"RegisteredOwner"};
  SavedValue organization9x_{HKEY_LOCAL_MACHINE, k9xKey, L"RegisteredOrganization"};
  SavedValue programs_{HKEY_CURRENT_USER, kShellFolders, L"Programs"};
  testutil::TempDir programsDir_;
  std::unique_ptr<install::Session> session_;  // outlives form_
  std::unique_ptr<TfrmSetup> form_;
};

}  // namespace wiztest
