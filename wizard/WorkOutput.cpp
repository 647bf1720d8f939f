// What the file work shows and asks through the window: the status line,
// the progress bar, the message pump, the stop flag and the text sink.
#include "wizard/FrmSetup.h"

#include <commctrl.h>

#include "platform/Platform.h"

namespace {

// The status line and the bar move ten times a second, as a progress
// display usually does: a file name shown for less is not read anyway, and
// under Wine each paint costs a trip to the server and to X (measured with
// bench/: at 30 a second the status line and the bar each took a sixth of
// the window's extra time).
constexpr UINT kFrameMs = 100;
constexpr auto kFrame = std::chrono::milliseconds(kFrameMs);
// Messages run at most every 25 ms: a click waits no longer than that, well
// within what feels immediate; every look at the queue is a server round
// trip, and at every 5 ms the looks were the largest part of the extra.
constexpr auto kPumpInterval = std::chrono::milliseconds(25);

}  // namespace

// Under Wine every paint and every look at the message queue is a round
// trip to the server, costlier than copying a small file. Nobody reads a
// file name that is shown for a millisecond: the status text is set for
// every file, but the label and the bar go to the screen at most once a
// frame, always with their latest state; a flush timer paints what the last
// change left.
void TfrmSetup::FlushWorkIfDue() {
  const bool unpainted = statusLine_.Dirty() || pendingSteps_ > 0;
  const bool unheard = pacer_.Due().has_value();
  if (!unpainted && !unheard) return;
  const auto now = std::chrono::steady_clock::now();
  if (unpainted) {
    if (now - lastPaint_ >= kFrame) {
      FlushWork();
    } else if (!flushTimerArmed_) {
      flushTimerArmed_ = SetTimer(Handle(), kFlushTimerId, kFrameMs, nullptr) != 0;
    }
  }
  if (unheard) AnnounceStatusIfDue(now);
}

void TfrmSetup::FlushWork() {
  if (flushTimerArmed_) KillTimer(Handle(), kFlushTimerId);
  flushTimerArmed_ = false;
  if (pendingSteps_ > 0) {
    SendMessageW(Control(L"ProgressBar1"), PBM_DELTAPOS, pendingSteps_, 0);
    pendingSteps_ = 0;
  }
  statusLine_.Flush();
  lastPaint_ = std::chrono::steady_clock::now();
}

void TfrmSetup::SetStatus(const std::wstring& text) {
  // The line's caption; the screen follows within a frame, a screen reader
  // when the pacer lets it.
  statusLine_.SetQuietly(text);
  pacer_.Changed(text);
  FlushWorkIfDue();
}

// A screen reader reads the live region's text when it hears of the change:
// the line is flushed first, so that what is read is what is shown. The
// share done is not added to what is read: the bar is a progress control of
// its own that readers report as their users have set them.
void TfrmSetup::AnnounceStatusIfDue(std::chrono::steady_clock::time_point now) {
  const auto due = pacer_.Due();
  if (!due) return;
  if (now < *due) {
    // The timer is to fire no later than the change is due.
    if (!announceTimerDue_ || *announceTimerDue_ > *due) {
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due - now);
      if (SetTimer(Handle(), kAnnounceTimerId, static_cast<UINT>(wait.count()), nullptr))
        announceTimerDue_ = *due;
    }
    return;
  }
  if (announceTimerDue_) {
    KillTimer(Handle(), kAnnounceTimerId);
    announceTimerDue_.reset();
  }
  HWND line = Control(L"lblCopyFile");
  if (!IsWindowVisible(line)) {
    pacer_.Drop();
    return;
  }
  if (statusLine_.Dirty()) FlushWork();
  pacer_.Announced(now);
  wizard::LiveRegions::Announce(line);
}

void TfrmSetup::StepProgress() {
  ++pendingSteps_;
  FlushWorkIfDue();
}

void TfrmSetup::ProcessMessages() {
  FlushWorkIfDue();
  if (OnWorkPump) OnWorkPump(statusLine_.Text());
  // A click that arrives in between waits kPumpInterval at most.
  const auto now = std::chrono::steady_clock::now();
  if (now - lastPump_ < kPumpInterval) return;
  lastPump_ = now;
  platform::ProcessMessages();
}

bool TfrmSetup::StopRequested() const {
  return ::AbortRequested;
}

bool TfrmSetup::LeaveVzoryOnCd() const {
  return Checked(L"cbVzory");
}

bool TfrmSetup::LeavePrikladyOnCd() const {
  return Checked(L"cbPriklady");
}

void TfrmSetup::AddMemoLine(const std::wstring& line) {
  HWND memo = Control(L"Memo1");
  const int length = GetWindowTextLengthW(memo);
  std::wstring add = (length > 0 && !memoEndsWithBreak_) ? L"\r\n" : L"";
  add += line + L"\r\n";
  SendMessageW(memo, EM_SETSEL, length, length);
  SendMessageW(memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(add.c_str()));
  memoEndsWithBreak_ = true;
}
