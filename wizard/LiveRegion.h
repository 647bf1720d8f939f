// What a screen reader hears without a keystroke: the status line and the
// page headings are live regions, and their changes are announced, paced so
// that a copy of thousands of files is not read out file by file.
#pragma once

#include <windows.h>

#include <oleacc.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Handles.h"

namespace wizard {

// Windows marked as polite live regions. The marks are the accessibility
// layer's annotations (oleacc, reached through COM from the system folder);
// where that layer is missing the windows stay unmarked and their changes
// are announced all the same.
class LiveRegions {
 public:
  LiveRegions() = default;
  ~LiveRegions() { Clear(); }
  LiveRegions(const LiveRegions&) = delete;
  LiveRegions& operator=(const LiveRegions&) = delete;

  void Mark(HWND window);
  // Takes the marks off again, before the windows go.
  void Clear() noexcept;
  // Tells the listeners that what the window says has changed; they read
  // its text, as it is shown.
  static void Announce(HWND window);

 private:
  platform::ComPtr<IAccPropServices> services_;
  bool triedServices_ = false;
  std::vector<HWND> marked_;
};

// When the status line's changes are announced. A step not heard before on
// this page (the text's first word: "Připravuji", "Aktualizuji", ...) waits
// at most half a second after the last announcement; anything else, the
// files of an unpacking or a copy and the folders made between them, at
// least a second. Whatever waits goes out with the line's latest text.
class AnnouncePacer {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr auto kStepGap = std::chrono::milliseconds(500);
  static constexpr auto kFileGap = std::chrono::milliseconds(1000);

  // The line's new text.
  void Changed(std::wstring_view text);
  // When the waiting change is due; empty while none waits.
  std::optional<Clock::time_point> Due() const;
  // The line's change went out at now.
  void Announced(Clock::time_point now);
  // A new page's heading went out at now: the line's next change keeps its
  // distance, and every step is new again.
  void PageAnnounced(Clock::time_point now);
  // The waiting change is not to be heard (the line is not shown).
  void Drop() { waiting_ = newStep_ = false; }

 private:
  std::wstring step_;               // the first word of the last text
  std::vector<std::wstring> seen_;  // the steps of this page so far
  bool waiting_ = false;
  bool newStep_ = false;
  Clock::time_point last_{};
};

}  // namespace wizard
