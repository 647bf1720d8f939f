// The setup wizard as a person meets it: its window, its pages, its buttons
// and its questions, all reached from outside through the window system.
#pragma once

#include <string>

#include "tests/e2e/Driver.h"

namespace e2e {

// Texts the wizard shows, as the person reads them.
inline const std::wstring kTitle = L"Instalace aplikace VantorPro DEMO";
inline const std::wstring kNext = L"&Další  >";
inline const std::wstring kFinish = L"&Dokončit";
inline const std::wstring kAbortQuestion = L"Opravdu chcete přerušit kopírování souborů?";
inline const std::wstring kCloseQuestion = L"Opravdu chcete ukončit instalaci?";
inline const std::wstring kWaitingForEngine = L"Konfiguruji BDE";

struct Timeouts {
  DWORD window = 30000;    // the wizard's window appears after start
  DWORD page = 15000;      // a page follows a click
  DWORD install = 180000;  // copying plus the database engine's setup
  DWORD box = 15000;       // a question appears
  DWORD exit = 30000;      // the program ends after the finish
};

class Wizard {
 public:
  // Starts medium\SetupVantor.exe with the medium as its current folder and
  // waits for its window.
  explicit Wizard(const std::wstring& medium, Timeouts timeouts = {});

  Process& Program() { return process_; }
  HWND Window() const { return window_; }
  HWND Control(int id) const;  // DriveError when the window has no such control

  // Page 0..6 by a control that only that page shows; true when it is up.
  bool OnPage(int page) const;
  // Waits until page is shown; any question the wizard asks meanwhile, or
  // its end, is a DriveError.
  void WaitForPage(int page);
  // Returns once the wizard has finished the message it is handling now.
  void Sync() const;
  void WaitForFinishPage();
  // Waits until the copy page reports that it waits for the engine's setup.
  void WaitForEngineSetup();

  void Type(int editId, const std::wstring& text);
  std::wstring Text(int id) const { return WindowText(Control(id)); }
  void Press(int buttonId) { Click(Control(buttonId)); }
  void Next();  // "&Další  >", checked to carry that caption

  // Waits for the next message box of the wizard.
  MessageBoxWindow WaitForQuestion();
  bool WaitForExit() { return process_.WaitForExit(timeouts_.exit); }

  // Throws when a message box is up or the program has ended: called while
  // waiting for something else.
  void NoSurprises() const;

  void Shot(const std::wstring& name) { e2e::Shot(name, window_); }

 private:
  Process process_;
  HWND window_ = nullptr;
  Timeouts timeouts_;
};

}  // namespace e2e
