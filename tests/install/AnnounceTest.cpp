// What a screen reader hears of an installation, listening as one does: an
// out-of-context event hook for live-region changes, through a page change
// and the copy of a few hundred files.
#include "tests/install/InstallFixture.h"

#include <cstdio>
#include <set>

namespace installtest {
namespace {

// EVENT_OBJECT_LIVEREGIONCHANGED (Windows 8 on; the build targets Windows 7).
constexpr DWORD kLiveRegionChanged = 0x8019;

struct Heard {
  HWND window;
  DWORD time;  // when the event was raised
  std::wstring text;
};
std::vector<Heard>* g_heard = nullptr;

void CALLBACK Listen(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD,
                     DWORD time) {
  if (!g_heard || event != kLiveRegionChanged || object != OBJID_CLIENT || child != CHILDID_SELF)
    return;
  // A reader reads the region's text when it hears of the change.
  wchar_t text[512] = L"";
  GetWindowTextW(window, text, 512);
  g_heard->push_back({window, time, text});
}

class Listener {
 public:
  Listener()
      : hook_(SetWinEventHook(kLiveRegionChanged, kLiveRegionChanged, nullptr, &Listen,
                              GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT)) {
    g_heard = &heard;
  }
  ~Listener() {
    UnhookWinEvent(hook_);
    g_heard = nullptr;
  }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;
  bool Hooked() const { return hook_ != nullptr; }

  bool HeardSaying(HWND window, const std::wstring& text) const {
    return !heard.empty() && heard.back().window == window && heard.back().text == text;
  }

  std::vector<Heard> heard;

 private:
  HWINEVENTHOOK hook_;
};

TEST_F(InstallTest, APageChangeAndTheCopyAreAnnouncedAtMostTwiceASecond) {
  Boxes boxes;
  TfrmSetup& form = OpenOnMedium({RealEngineSetup(), 300});
  SetFolders(Work() + L"\\App", Work() + L"\\Projekty", Work() + L"\\Vzory");
  Listener listener;
  ASSERT_TRUE(listener.Hooked());

  ToSummary();
  HWND summaryHeading = form.Control(L"Label11");
  EXPECT_TRUE(PumpUntil([&] {
    return listener.HeardSaying(summaryHeading, L"Zkopírování souborů aplikace VantorPro");
  }));

  // The copy waits at a file, as at a large one, until the line's latest
  // text has been heard; three files in all. A pacer that held the line
  // back for good would keep it waiting.
  HWND line = form.Control(L"lblCopyFile");
  std::set<std::wstring> filesHeard;
  form.OnWorkPump = [&](const std::wstring& status) {
    if (!status.starts_with(L"Kopíruji soubor ") || filesHeard.size() >= 3) return;
    EXPECT_TRUE(PumpUntil([&] { return listener.HeardSaying(line, status); }))
        << platform::Utf8(status);
    filesHeard.insert(status);
  };
  const size_t before = listener.heard.size();
  StartInstall();
  form.OnWorkPump = {};
  ASSERT_EQ(form.ShownPageName(), L"pgCopyFiles");
  EXPECT_EQ(filesHeard.size(), 3u);
  // The step the work ended with is heard after it, without more work.
  EXPECT_TRUE(PumpUntil([&] { return listener.HeardSaying(line, L"Konfiguruji BDE"); }));

  // From the copy page's heading to the line's last change: raised at
  // least half a second apart. The product spaces them by its clock; a slow
  // machine only spaces them further. The events' tick count is coarser
  // (Wine moves it every 16 ms or so), hence 450 ms.
  std::vector<Heard> copy(listener.heard.begin() + static_cast<ptrdiff_t>(before),
                          listener.heard.end());
  while (!copy.empty() && copy.back().window != line) copy.pop_back();  // the finish page's
  ASSERT_FALSE(copy.empty());
  EXPECT_EQ(copy.front().window, form.Control(L"Label13"));
  size_t lineEvents = 0;
  for (size_t i = 0; i < copy.size(); ++i) {
    if (copy[i].window == line) ++lineEvents;
    if (i > 0) {
      EXPECT_GE(copy[i].time - copy[i - 1].time, 450u)
          << platform::Utf8(copy[i - 1].text) << " -> " << platform::Utf8(copy[i].text);
    }
  }
  EXPECT_GE(lineEvents, 3u);
  std::printf("%zu live-region events on the copy page, %zu of the status line\n", copy.size(),
              lineEvents);

  ASSERT_TRUE(WaitForFinishPage());
  ASSERT_TRUE(WaitForEngineToEnd());
  Click(L"pbNext");
  EXPECT_TRUE(boxes.Asked().empty());
}

}  // namespace
}  // namespace installtest
