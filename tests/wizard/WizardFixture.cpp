#include "tests/wizard/WizardFixture.h"

namespace wiztest {

namespace {
constexpr REGSAM kAccess = KEY_ALL_ACCESS | KEY_WOW64_32KEY;

platform::UniqueHkey Open(HKEY root, const std::wstring& key) {
  platform::UniqueHkey opened;
  if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, kAccess, nullptr, opened.put(), nullptr) !=
      ERROR_SUCCESS)
    throw std::runtime_error("cannot open " + platform::Utf8(key));
  return opened;
}
}  // namespace

SavedValue::SavedValue(HKEY root, std::wstring key, std::wstring name)
    : root_(root), key_(std::move(key)), name_(std::move(name)) {
  const platform::UniqueHkey k = Open(root_, key_);
  DWORD size = 0;
  if (RegQueryValueExW(k.get(), name_.c_str(), nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
    existed_ = true;
    data_.resize(size);
    RegQueryValueExW(k.get(), name_.c_str(), nullptr, &type_, data_.data(), &size);
  }
}

SavedValue::~SavedValue() {
  const platform::UniqueHkey k = Open(root_, key_);
  if (existed_)
    RegSetValueExW(k.get(), name_.c_str(), 0, type_, data_.data(),
                   static_cast<DWORD>(data_.size()));
  else
    RegDeleteValueW(k.get(), name_.c_str());
}

void SetRaw(HKEY root, const std::wstring& key, const std::wstring& name, DWORD type,
            const void* data, DWORD size) {
  RegSetValueExW(Open(root, key).get(), name.c_str(), 0, type, static_cast<const BYTE*>(data),
                 size);
}

void SetString(HKEY root, const std::wstring& key, const std::wstring& name,
               const std::wstring& value, DWORD type) {
  SetRaw(root, key, name, type, value.c_str(),
         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void DeleteValue(HKEY root, const std::wstring& key, const std::wstring& name) {
  RegDeleteValueW(Open(root, key).get(), name.c_str());
}

void Pump() {
  platform::ProcessMessages();
}

void PressKey(WPARAM key, bool alt) {
  HWND target = GetFocus();
  ASSERT_NE(target, nullptr) << "no focused window";
  const UINT scan = MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC);
  const LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16) | (alt ? (1 << 29) : 0);
  const LPARAM up = down | (1u << 30) | (1u << 31);
  PostMessageW(target, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, key, down);
  PostMessageW(target, alt ? WM_SYSKEYUP : WM_KEYUP, key, up);
  Pump();
}

void TypeAltChar(wchar_t ch) {
  HWND target = GetFocus();
  ASSERT_NE(target, nullptr) << "no focused window";
  PostMessageW(target, WM_SYSCHAR, ch, 1 | (1 << 29));
  Pump();
}

WizardTest::WizardTest() {
  platform::ResetTerminated();
  ::AbortRequested = false;
  // A Programs folder of the test's own, so the group list is known.
  SetString(HKEY_CURRENT_USER, kShellFolders, L"Programs", programsDir_.Path());
}

WizardTest::~WizardTest() {
  form_.reset();
  session_.reset();
  platform::ResetTerminated();
  platform::OverridePlatformId(0);
  platform::SetRestartHandler({});
  platform::SetAppCursor(platform::Cursor::Default);
  ::AbortRequested = false;
}

TfrmSetup& WizardTest::Open() {
  auto session = std::make_unique<install::Session>(platform::CurrentDir());
  form_ = std::make_unique<TfrmSetup>(*session);
  session_ = std::move(session);
  form_->Show();
  Pump();
  return *form_;
}

void WizardTest::Click(const wchar_t* button) {
  HWND hwnd = form_->Control(button);
  ASSERT_NE(hwnd, nullptr) << platform::Utf8(button);
  SendMessageW(hwnd, BM_CLICK, 0, 0);
  Pump();
}

std::wstring WizardTest::FocusName() const {
  HWND focus = GetFocus();
  if (!focus) return L"(none)";
  if (focus == form_->Handle()) return L"(window)";
  wchar_t cls[64] = {};
  GetClassNameW(focus, cls, 64);
  const int id = GetDlgCtrlID(focus);
  // Names come from the window's own lookup, so ask it back.
  static const wchar_t* const names[] = {
      L"pbCancel",     L"pbPrev",        L"pbNext",       L"txtName",      L"txtCompany",
      L"txtVantorPro", L"txtProjekty",   L"txtVzory",     L"txtPriklady",  L"cbVzory",
      L"cbPriklady",   L"txtFolderName", L"lbFolders",    L"memSettings",  L"pbPrerusit",
      L"rbRestartAno", L"rbRestartNe",   L"SpeedButton1", L"SpeedButton2", L"SpeedButton3",
      L"SpeedButton4"};
  for (const wchar_t* name : names)
    if (form_->Control(name) == focus) return name;
  return std::wstring(cls) + L"#" + std::to_wstring(id);
}

}  // namespace wiztest
