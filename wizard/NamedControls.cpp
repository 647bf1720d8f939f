// The window's controls by name, as the handlers and the tests reach them.
#include "wizard/FrmSetup.h"

#include <commctrl.h>

#include "platform/Platform.h"

using wizard::Kind;

TfrmSetup::Item* TfrmSetup::Find(std::wstring_view name) {
  for (Item& item : items_)
    if (name == item.def->name) return &item;
  return nullptr;
}

const TfrmSetup::Item* TfrmSetup::Find(std::wstring_view name) const {
  for (const Item& item : items_)
    if (name == item.def->name) return &item;
  return nullptr;
}

HWND TfrmSetup::Control(std::wstring_view name) const {
  const Item* item = Find(name);
  return item ? item->hwnd : nullptr;
}

std::wstring TfrmSetup::Text(std::wstring_view name) const {
  HWND hwnd = Control(name);
  return hwnd ? platform::WindowText(hwnd) : std::wstring();
}

void TfrmSetup::SetText(std::wstring_view name, const std::wstring& text) {
  if (HWND hwnd = Control(name)) SetWindowTextW(hwnd, text.c_str());
}

std::wstring TfrmSetup::Hint(std::wstring_view name) const {
  const Item* item = Find(name);
  return item ? item->hint : std::wstring();
}

void TfrmSetup::SetHint(std::wstring_view name, const std::wstring& hint) {
  Item* item = Find(name);
  if (!item) return;
  item->hint = hint;
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof(tool);
  tool.hwnd = Handle();
  tool.uId = reinterpret_cast<UINT_PTR>(item->hwnd);
  tool.lpszText = item->hint.data();
  SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

bool TfrmSetup::Visible(std::wstring_view name) const {
  const Item* item = Find(name);
  return item && item->visible;
}

void TfrmSetup::SetVisible(std::wstring_view name, bool visible) {
  Item* item = Find(name);
  if (!item || item->visible == visible) return;
  item->visible = visible;
  HWND focus = ::GetFocus();
  ApplyVisibility();
  // A focused control that hides (the bottom bar on the copy page) hands
  // the focus to the first control that can take it, so the keyboard keeps
  // working.
  if (focus && IsChild(Handle(), focus) && !IsWindowVisible(focus))
    if (HWND next = GetNextDlgTabItem(Handle(), nullptr, FALSE); next && IsWindowVisible(next))
      ::SetFocus(next);
}

bool TfrmSetup::Showing(std::wstring_view name) const {
  const Item* item = Find(name);
  return item && item->visible && ParentShowing(*item);
}

bool TfrmSetup::Enabled(std::wstring_view name) const {
  HWND hwnd = Control(name);
  return hwnd && IsWindowEnabled(hwnd);
}

void TfrmSetup::SetEnabled(std::wstring_view name, bool enabled) {
  HWND hwnd = Control(name);
  if (!hwnd) return;
  // A control that loses its focus by being disabled passes it on, so the
  // keyboard keeps working.
  const bool hadFocus = !enabled && ::GetFocus() == hwnd;
  EnableWindow(hwnd, enabled);
  if (hadFocus) SetFocus(L"pbNext");
}

bool TfrmSetup::Checked(std::wstring_view name) const {
  HWND hwnd = Control(name);
  return hwnd && SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TfrmSetup::SetChecked(std::wstring_view name, bool checked) {
  const Item* item = Find(name);
  if (!item) return;
  SendMessageW(item->hwnd, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  if (checked && item->def->kind == Kind::Radio)
    for (const Item& other : items_)
      if (&other != item && other.def->kind == Kind::Radio && other.def->area == item->def->area)
        SendMessageW(other.hwnd, BM_SETCHECK, BST_UNCHECKED, 0);
}

void TfrmSetup::SetFocus(std::wstring_view name) {
  HWND hwnd = Control(name);
  if (hwnd && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) ::SetFocus(hwnd);
}

std::vector<std::wstring> TfrmSetup::ListItems(std::wstring_view name) const {
  std::vector<std::wstring> items;
  HWND hwnd = Control(name);
  if (!hwnd) return items;
  const LRESULT count = SendMessageW(hwnd, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    items.push_back(platform::ListBoxItem(hwnd, i));
  }
  return items;
}

void TfrmSetup::SetTimerEnabled(bool enabled) {
  if (enabled == timerEnabled_) return;
  timerEnabled_ = enabled;
  if (enabled)
    SetTimer(Handle(), kTimerId, kTimerInterval, nullptr);
  else
    KillTimer(Handle(), kTimerId);
}
