// The window base: nothing a handler raises leaves the window procedure, a
// window that fails while it is made is gone, and the focus comes back to
// its control after a message box.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <vector>

#include "platform/Platform.h"
#include "platform/Window.h"
#include "tests/support/TestUtil.h"

namespace {

using testutil::ScriptedBoxes;

constexpr wchar_t kClass[] = L"SvTestWindow";

class TestWindow : public platform::DialogWindow {
 public:
  enum : int { idEdit = 100 };

  explicit TestWindow(bool failWhileMade = false) : failWhileMade_(failWhileMade) {
    CreateFrame(
        {kClass, 0},
        {L"Okno", WS_POPUP | WS_CAPTION | WS_SYSMENU, WS_EX_CONTROLPARENT, 300, 120, nullptr},
        L"Cannot create the test window");
    Child(L"BUTTON", L"OK", BS_DEFPUSHBUTTON, IDOK, 200, 10);
    Child(L"BUTTON", L"Storno", BS_PUSHBUTTON, IDCANCEL, 200, 40);
    edit = Child(L"EDIT", L"", ES_AUTOHSCROLL, idEdit, 10, 10);
  }
  ~TestWindow() override { DestroyFrame(); }

  HWND edit = nullptr;
  std::vector<int> commands;
  std::function<void(int)> onCommand;

 private:
  HWND Child(const wchar_t* cls, const wchar_t* text, DWORD style, int id, int x, int y) {
    return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, x, y, 80, 24,
                           Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr,
                           nullptr);
  }
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == WM_CREATE && failWhileMade_) throw std::runtime_error("no window today");
    if (msg != WM_COMMAND) return Default(msg, wp, lp);
    commands.push_back(LOWORD(wp));
    if (onCommand) onCommand(LOWORD(wp));
    return 0;
  }
  int DefaultButtonId() const noexcept override { return IDOK; }
  int CancelButtonId() const noexcept override { return IDCANCEL; }

  bool failWhileMade_;
};

TEST(WindowBase, WhateverAHandlerRaisesIsShownAndTheWindowGoesOn) {
  platform::SetApplicationTitle(L"Instalace VantorPro");
  ScriptedBoxes boxes;
  TestWindow window;
  window.onCommand = [](int id) {
    if (id == 301) throw platform::SetupError(L"Nelze číst složku");
    if (id == 302) throw std::runtime_error("bad allocation");
    if (id == 303) throw 42;  // not even an exception class
  };
  for (int id : {301, 302, 303, 304})
    EXPECT_EQ(SendMessageW(window.Handle(), WM_COMMAND, id, 0), 0);
  EXPECT_EQ(window.commands, (std::vector<int>{301, 302, 303, 304}));
  EXPECT_TRUE(IsWindow(window.Handle()));
  // The guard of a user action outside a window catches the same way.
  platform::RunHandler([] { throw 7; });

  ASSERT_EQ(boxes.Asked().size(), 4u);
  EXPECT_EQ(boxes.Asked()[0].text, L"Nelze číst složku.");
  EXPECT_EQ(boxes.Asked()[1].text, L"bad allocation.");
  EXPECT_EQ(boxes.Asked()[2].text, L"Neočekávaná chyba.");
  EXPECT_EQ(boxes.Asked()[3].text, L"Neočekávaná chyba.");
  for (const auto& box : boxes.Asked()) {
    EXPECT_EQ(box.caption, L"Instalace VantorPro");
    EXPECT_EQ(box.flags, static_cast<unsigned>(MB_ICONHAND));
  }
}

TEST(WindowBase, AnErrorWhileTheWindowIsMadeComesOutWithNoWindowLeft) {
  ScriptedBoxes boxes;
  try {
    TestWindow window(true);
    ADD_FAILURE() << "the window was made";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "no window today");
  }
  EXPECT_EQ(FindWindowW(kClass, nullptr), nullptr);
  EXPECT_TRUE(boxes.Asked().empty());
}

TEST(WindowBase, FocusComesBackToItsControlAfterARealMessageBox) {
  TestWindow window;
  ShowWindow(window.Handle(), SW_SHOW);
  SetForegroundWindow(window.Handle());
  ASSERT_TRUE(testutil::PumpUntil([&] { return GetActiveWindow() == window.Handle(); }));
  SetFocus(window.edit);

  // Answers the box from inside its own loop, once it is there.
  SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR id, DWORD) {
    HWND box = FindWindowW(L"#32770", L"Otázka");
    if (!box || !IsWindowVisible(box)) return;
    KillTimer(nullptr, id);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  EXPECT_EQ(platform::ShowMessageBox(L"Pokračovat?", L"Otázka", MB_OK), IDOK);
  EXPECT_TRUE(testutil::PumpUntil([&] { return GetFocus() == window.edit; }));
}

}  // namespace
