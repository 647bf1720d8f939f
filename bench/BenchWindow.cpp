#include "bench/BenchWindow.h"

#include <commctrl.h>

#include <string>

#include "platform/Platform.h"

namespace bench {

namespace {

// Nobody sees more than the display's frame rate: the label and the bar go
// to the screen at most this often, and always with their latest state.
constexpr ULONGLONG kFrameMs = 16;
// Messages are looked at no more often than this.
constexpr ULONGLONG kPumpMs = 5;

class WorkWindow : public WindowContext {
 public:
  WorkWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"SvBenchWindow";
    RegisterClassW(&wc);
    window_ = CreateWindowExW(0, wc.lpszClassName, L"Instalace VantorPro",
                              WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 100, 100, 480,
                              140, nullptr, nullptr, wc.hInstance, nullptr);
    label_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP, 12, 16,
                             440, 20, window_, nullptr, wc.hInstance, nullptr);
    bar_ = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 12, 48, 440, 18, window_,
                           nullptr, wc.hInstance, nullptr);
    SendMessageW(bar_, PBM_SETSTEP, 1, 0);
    platform::SetMainWindow(window_);
    UpdateWindow(window_);
    platform::ProcessMessages();
  }
  ~WorkWindow() override { DestroyWindow(window_); }

  HWND Window() const override { return window_; }

  void SetStatus(const std::wstring& text) override {
    status_ = text;
    statusDirty_ = true;
    FlushIfDue();
  }
  void StepProgress() override {
    ++position_;
    positionDirty_ = true;
    FlushIfDue();
  }
  void ProcessMessages() override {
    // Asking the system for messages costs a round trip under Wine; messages
    // that arrive in between wait a few milliseconds at most, which nobody
    // can tell apart from handling them at once.
    const ULONGLONG now = GetTickCount64();
    if (now - lastPump_ < kPumpMs) return;
    lastPump_ = now;
    FlushIfDue();
    platform::ProcessMessages();
  }
  bool AbortRequested() const override { return abort_; }
  void StopInstall() override { abort_ = true; }
  bool LeaveVzoryOnCd() const override { return false; }
  bool LeavePrikladyOnCd() const override { return false; }
  void AddMemoLine(const std::wstring&) override {}
  const std::wstring& SetupTitle() const override { return title_; }

  void SetProgressMax(int max) override {
    SendMessageW(bar_, PBM_SETRANGE32, 0, max);
    SendMessageW(bar_, PBM_SETPOS, 0, 0);
    position_ = 0;
  }

  void Flush() override {
    if (statusDirty_) {
      SetWindowTextW(label_, status_.c_str());
      UpdateWindow(label_);
      statusDirty_ = false;
    }
    if (positionDirty_) {
      SendMessageW(bar_, PBM_SETPOS, position_, 0);
      UpdateWindow(bar_);
      positionDirty_ = false;
    }
    lastFrame_ = GetTickCount64();
  }

 private:
  void FlushIfDue() {
    if ((statusDirty_ || positionDirty_) && GetTickCount64() - lastFrame_ >= kFrameMs) Flush();
  }

  HWND window_ = nullptr;
  HWND label_ = nullptr;
  HWND bar_ = nullptr;
  std::wstring status_;
  bool statusDirty_ = false;
  int position_ = 0;
  bool positionDirty_ = false;
  ULONGLONG lastFrame_ = 0;
  ULONGLONG lastPump_ = 0;
  bool abort_ = false;
  std::wstring title_ = L"Instalace VantorPro";
};

}  // namespace

std::unique_ptr<WindowContext> CreateWorkWindow() {
  return std::make_unique<WorkWindow>();
}

}  // namespace bench
