#include "tests/e2e/Wizard.h"

#include "wizard/ControlIds.h"

namespace e2e {

namespace {

// A control that is shown on its page and on no other.
const int kPageMarks[7] = {ids::lbl1_1,      ids::txtName,    ids::txtVantorPro, ids::txtFolderName,
                           ids::memSettings, ids::pbPrerusit, ids::Label16};

}  // namespace

Wizard::Wizard(const std::wstring& medium, Timeouts timeouts)
    : process_(medium + L"\\SetupVantor.exe", L"", medium), timeouts_(timeouts) {
  if (!WaitUntil(
          [&] {
            window_ = FindTopWindow(process_.Id(), L"TfrmSetup");
            return window_ != nullptr;
          },
          timeouts_.window,
          [&] {
            if (!process_.Running()) throw DriveError(L"the wizard ended before its window came");
          }))
    throw DriveError(L"no window of class TfrmSetup appeared");
}

HWND Wizard::Control(int id) const {
  HWND control = FindControl(window_, id);
  if (!control) throw DriveError(L"the wizard's window has no control " + std::to_wstring(id));
  return control;
}

bool Wizard::OnPage(int page) const {
  return Shown(Control(kPageMarks[page]));
}

void Wizard::NoSurprises() const {
  if (auto box = FindMessageBox(process_.Id()))
    throw DriveError(L"unexpected message box \"" + box->caption + L"\": " + box->text);
  if (!process_.Running())
    throw DriveError(L"the wizard ended (exit code " + std::to_wstring(process_.ExitCode()) + L")");
}

void Wizard::WaitForPage(int page) {
  if (!WaitUntil([&] { return OnPage(page); }, timeouts_.page, [&] { NoSurprises(); }))
    throw DriveError(L"page " + std::to_wstring(page) + L" did not come");
  // The page shows while the wizard is still in the handler that shows it;
  // a message it answers comes back only when that handler is done.
  Sync();
  for (int other = 0; other < 7; ++other)
    if (other != page && OnPage(other))
      throw DriveError(L"page " + std::to_wstring(other) + L" is shown together with page " +
                       std::to_wstring(page));
}

void Wizard::Sync() const {
  DWORD_PTR ignored = 0;
  if (!SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, timeouts_.page, &ignored))
    throw DriveError(L"the wizard does not answer its messages");
}

void Wizard::WaitForFinishPage() {
  HWND next = Control(ids::pbNext);
  if (!WaitUntil([&] { return Shown(next) && WindowText(next) == kFinish; }, timeouts_.install,
                 [&] { NoSurprises(); }))
    throw DriveError(L"the finish page did not come; status: " + Text(ids::lblCopyFile));
  WaitForPage(6);
}

void Wizard::WaitForEngineSetup() {
  if (!WaitUntil([&] { return OnPage(5) && Text(ids::lblCopyFile) == kWaitingForEngine; },
                 timeouts_.install, [&] { NoSurprises(); }))
    throw DriveError(L"the copy page never reached \"" + kWaitingForEngine + L"\"; status: " +
                     Text(ids::lblCopyFile));
}

void Wizard::Type(int editId, const std::wstring& text) {
  HWND edit = Control(editId);
  SetEditText(edit, text);
  if (WindowText(edit) != text) throw DriveError(L"the edit field did not take " + text);
}

void Wizard::Next() {
  HWND next = Control(ids::pbNext);
  const std::wstring caption = WindowText(next);
  if (caption != kNext) throw DriveError(L"the forward button reads \"" + caption + L"\"");
  Click(next);
}

MessageBoxWindow Wizard::WaitForQuestion() {
  std::optional<MessageBoxWindow> box;
  if (!WaitUntil(
          [&] {
            box = FindMessageBox(process_.Id());
            return box.has_value();
          },
          timeouts_.box,
          [&] {
            if (!process_.Running()) throw DriveError(L"the wizard ended instead of asking");
          }))
    throw DriveError(L"no message box came");
  // The box's text may be filled in just after the box appears.
  WaitUntil(
      [&] {
        box = FindMessageBox(process_.Id());
        return box && !box->text.empty();
      },
      2000);
  if (!box) throw DriveError(L"the message box went away by itself");
  return *box;
}

}  // namespace e2e
