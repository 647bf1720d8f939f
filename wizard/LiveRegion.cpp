#include "wizard/LiveRegion.h"

#include <algorithm>

namespace wizard {

namespace {

// UI Automation's LiveSetting property and its value Polite (UIAutomationCore.h,
// which MinGW's headers lack): the reader finishes what it says first.
constexpr GUID kLiveSettingProperty = {
    0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
constexpr LONG kPolite = 1;
// EVENT_OBJECT_LIVEREGIONCHANGED, which the headers give from Windows 8 on;
// Windows 7 passes it to listeners as any other event.
constexpr DWORD kLiveRegionChanged = 0x8019;

}  // namespace

void LiveRegions::Mark(HWND window) {
  if (!triedServices_) {
    triedServices_ = true;
    CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                     services_.put_void());
  }
  if (!services_ || !window) return;
  VARIANT polite{};
  polite.vt = VT_I4;
  polite.lVal = kPolite;
  if (SUCCEEDED(services_->SetHwndProp(window, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                       kLiveSettingProperty, polite)))
    marked_.push_back(window);
}

void LiveRegions::Clear() noexcept {
  for (HWND window : marked_)
    services_->ClearHwndProps(window, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                              &kLiveSettingProperty, 1);
  marked_.clear();
}

void LiveRegions::Announce(HWND window) {
  NotifyWinEvent(kLiveRegionChanged, window, OBJID_CLIENT, CHILDID_SELF);
}

void AnnouncePacer::Changed(std::wstring_view text) {
  const std::wstring_view step = text.substr(0, text.find(L' '));
  if (step != step_) {
    step_.assign(step);
    if (std::find(seen_.begin(), seen_.end(), step_) == seen_.end()) {
      seen_.push_back(step_);
      newStep_ = true;
    }
  }
  waiting_ = true;
}

std::optional<AnnouncePacer::Clock::time_point> AnnouncePacer::Due() const {
  if (!waiting_) return std::nullopt;
  return last_ + (newStep_ ? Clock::duration(kStepGap) : Clock::duration(kFileGap));
}

void AnnouncePacer::Announced(Clock::time_point now) {
  last_ = now;
  Drop();
}

void AnnouncePacer::PageAnnounced(Clock::time_point now) {
  last_ = now;
  seen_.clear();
  step_.clear();
}

}  // namespace wizard
