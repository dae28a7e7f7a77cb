// The session-end subclass on native windows without widgets.
#include "service/endsession.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/window.h"
#include "platform/winproc.h"

namespace service {
namespace {

namespace pu = platform::ui;
using pu::HWND;
using pu::LPARAM;
using pu::LRESULT;
using pu::UINT;
using pu::WPARAM;

// What the procedures behind the subclass saw.
std::vector<std::string> gSeen;
pu::WNDPROC gBelow1 = nullptr, gBelow2 = nullptr;

// Stand in for the message hook that lies below the subclass on the main
// window: note the message and hand it on.
LRESULT Hook1(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  gSeen.push_back("hook1 " + std::to_string(m));
  return pu::CallWindowProc(gBelow1, h, m, wp, lp);
}
LRESULT Hook2(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  gSeen.push_back("hook2 " + std::to_string(m));
  return pu::CallWindowProc(gBelow2, h, m, wp, lp);
}
pu::WNDPROC gBelowTop = nullptr;
LRESULT LaterSubclass(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  gSeen.push_back("later " + std::to_string(m));
  return pu::CallWindowProc(gBelowTop, h, m, wp, lp);
}

// The window's frame, with the stand-in hook in front of the platform.
HWND WithHook(const pu::Window& w) {
  const HWND h = pu::FrameHandle(w);
  gBelow1 = pu::SetWindowProc(h, Hook1);
  return h;
}

std::vector<int> Drain(const pu::Window& w) {
  std::vector<int> out;
  while (auto e = pu::ThisThreadQueue().TakeFor(w.Id(), false)) out.push_back(e->number);
  return out;
}

// Runs body in the open event of a native window whose controller runs:
// the window is the thread's current window there. The window then closes.
void InWindow(const std::function<void(pu::Window&)>& body) {
  struct Runner : pu::WindowController {
    Runner(pu::Window& w, const std::function<void(pu::Window&)>& b) : WindowController(w), body(b) {}
    int OnWindowEvent() override {
      if (window().EventNumber() == pu::EVENT::OpenWindow) {
        Drain(window());
        body(window());
        window().Post(pu::EVENT::CloseDown);
      }
      return WindowController::OnWindowEvent();
    }
    const std::function<void(pu::Window&)>& body;
  };
  pu::Window w;
  Runner r(w, body);
  r.Run();
}

class EndSession : public ::testing::Test {
 protected:
  EndSession() {
    pu::SetThreadView(&pu::SharedNativeHeadlessView());
    gSeen.clear();
  }
  ~EndSession() override { pu::SetThreadView(nullptr); }
};

struct Message {
  const char* what;
  UINT msg;
  WPARAM wParam;
  bool answered;  // by the subclass: the answer is its value, nothing goes on
  int normal;     // the event posted with normal events on (0 none)
  int extended;   // the event posted with extended events on (0 none)
};

const Message kMessages[] = {
    {"query", pu::WM_QUERYENDSESSION, 0, true, EndSessionQueryEvent, 0},
    {"end", pu::WM_ENDSESSION, 1, true, EndSessionEvent, 0},
    {"end called off", pu::WM_ENDSESSION, 0, true, EndSessionEvent, 0},
    {"status change", pu::WM_POWERBROADCAST, 0xA, false, 0, PowerStatusChangeEvent},
    {"battery low", pu::WM_POWERBROADCAST, 9, false, 0, PowerBatteryLowEvent},
    {"standby", pu::WM_POWERBROADCAST, 5, false, 0, PowerStandbyEvent},
    {"suspend", pu::WM_POWERBROADCAST, 4, false, 0, PowerSuspendEvent},
    {"query standby", pu::WM_POWERBROADCAST, 1, false, 0, PowerQueryStandbyEvent},
    {"query suspend", pu::WM_POWERBROADCAST, 0, false, 0, PowerQuerySuspendEvent},
    {"resume", pu::WM_POWERBROADCAST, 7, false, 0, PowerOtherEvent},
    {"resume automatic", pu::WM_POWERBROADCAST, 0x12, false, 0, PowerOtherEvent},
    {"device change", pu::WM_DEVICECHANGE, 7, false, 0, DeviceChangeEvent},
    {"anything else", pu::WM_USER + 5, 0, false, 0, 0},
};

TEST_F(EndSession, MessagesAndFlagsGiveAnswersAndEvents) {
  struct Flags {
    uint8_t extended, normal;
  } flags[] = {{1, 1}, {0, 0}, {1, 0}, {0, 1}};
  for (const Flags f : flags) {
    InWindow([&](pu::Window& w) {
      const HWND h = WithHook(w);
      EndSessionClass es;
      EndSessionAttach(es, 7, 9, f.extended, f.normal);
      EXPECT_EQ(CurrentEndSession(), &es);
      EXPECT_EQ(es.HWND, h);
      EXPECT_EQ(es.HWNDPROC, Hook1);
      EXPECT_EQ(pu::GetWindowProc(h), EndSessionWindowProc);
      for (const Message& m : kMessages) {
        const std::string at = std::string(m.what) + " with flags " + std::to_string(f.extended) + "," +
                               std::to_string(f.normal);
        gSeen.clear();
        const LRESULT r = pu::SendMessage(h, m.msg, m.wParam, 0);
        if (m.answered) {
          EXPECT_EQ(r, m.msg == pu::WM_QUERYENDSESSION ? 7 : 9) << at;
          EXPECT_TRUE(gSeen.empty()) << at << ": answered, not passed on";
        } else {
          EXPECT_EQ(gSeen, std::vector<std::string>{"hook1 " + std::to_string(m.msg)}) << at;
        }
        std::vector<int> want;
        if (m.normal != 0 && f.normal != 0) want.push_back(m.normal);
        if (m.extended != 0 && f.extended != 0) want.push_back(m.extended);
        EXPECT_EQ(Drain(w), want) << at;
      }
      EndSessionDetach(es);
      EXPECT_EQ(pu::GetWindowProc(h), Hook1) << "the hook is in front again";
      EXPECT_EQ(CurrentEndSession(), &es) << "until unlinked";
      EndSessionUnlink(es);
      EXPECT_EQ(CurrentEndSession(), nullptr);
    });
  }
}

TEST_F(EndSession, TheMainWindowsFrameRunsSubclassThenHookThenPlatform) {
  // On a thread of its own: the end of the session stays with its thread.
  std::thread([] {
    pu::SetThreadView(&pu::SharedNativeHeadlessView());
    InWindow([](pu::Window& w) {
      const HWND h = WithHook(w);
      EndSessionClass es;
      EndSessionAttach(es, 1, 1, 1, 1);
      // The close box goes through all three: the platform's procedure
      // turns it into the window's event.
      pu::SendMessage(h, pu::WM_CLOSE, 0, 0);
      EXPECT_EQ(gSeen, std::vector<std::string>{"hook1 16"});
      EXPECT_EQ(Drain(w), std::vector<int>{pu::EVENT::CloseWindow});
      // The end of the session: answered in front, so neither the hook nor
      // the platform's own close-down sees it; the events come.
      gSeen.clear();
      pu::EndSession(pu::ThreadNumber());
      pu::DispatchNativeMessages();
      EXPECT_EQ(gSeen, std::vector<std::string>{"hook1 13"}) << "only the window list's text query";
      EXPECT_EQ(Drain(w), (std::vector<int>{EndSessionQueryEvent, EndSessionEvent}));
      EndSessionDetach(es);
      EndSessionUnlink(es);
    });
    pu::SetThreadView(nullptr);
  }).join();
}

TEST_F(EndSession, TwoInstancesNestAndTheNewerAnswersForBoth) {
  InWindow([](pu::Window& first) {
    const HWND h1 = WithHook(first);
    EndSessionClass older;
    EndSessionAttach(older, 1, 1, 1, 1);
    InWindow([&](pu::Window& second) {
      const HWND h2 = pu::FrameHandle(second);
      gBelow2 = pu::SetWindowProc(h2, Hook2);
      EndSessionClass newer;
      EndSessionAttach(newer, 5, 6, 0, 0);
      EXPECT_EQ(newer.PREVIOUSCLASS, &older);
      EXPECT_EQ(CurrentEndSession(), &newer);

      // Answers and flags from the newer instance for both windows; what
      // goes on goes down each window's own chain.
      EXPECT_EQ(pu::SendMessage(h1, pu::WM_QUERYENDSESSION, 0, 0), 5);
      EXPECT_EQ(pu::SendMessage(h2, pu::WM_ENDSESSION, 1, 0), 6);
      pu::SendMessage(h1, pu::WM_POWERBROADCAST, 4, 0);
      pu::SendMessage(h2, pu::WM_POWERBROADCAST, 4, 0);
      EXPECT_EQ(gSeen, (std::vector<std::string>{"hook1 536", "hook2 536"}));
      EXPECT_TRUE(Drain(first).empty());
      EXPECT_TRUE(Drain(second).empty());

      EndSessionDetach(newer);
      EndSessionUnlink(newer);
    });
    EXPECT_EQ(CurrentEndSession(), &older) << "the older one is current again";
    EXPECT_EQ(pu::SendMessage(h1, pu::WM_QUERYENDSESSION, 0, 0), 1);
    EXPECT_EQ(Drain(first), std::vector<int>{EndSessionQueryEvent});
    EndSessionDetach(older);
    EndSessionUnlink(older);
    EXPECT_EQ(CurrentEndSession(), nullptr);
  });
}

TEST_F(EndSession, UnlinkingTheOlderFirstKeepsTheNewerCurrent) {
  InWindow([](pu::Window& first) {
    const HWND h1 = WithHook(first);
    EndSessionClass older, newer;
    EndSessionAttach(older, 1, 1, 1, 1);
    InWindow([&](pu::Window& second) {
      EndSessionAttach(newer, 5, 6, 1, 1);
      EndSessionUnlink(older);
      EXPECT_EQ(CurrentEndSession(), &newer);
      EXPECT_EQ(newer.PREVIOUSCLASS, nullptr);
      EXPECT_EQ(pu::SendMessage(pu::FrameHandle(second), pu::WM_ENDSESSION, 1, 0), 6);
      EXPECT_EQ(Drain(second), std::vector<int>{EndSessionEvent});
      // The first window, still subclassed, without a linked instance of its
      // own: what it passes on reaches the platform's procedure.
      pu::SendMessage(h1, pu::WM_CLOSE, 0, 0);
      EXPECT_TRUE(gSeen.empty());
      EXPECT_EQ(Drain(first), std::vector<int>{pu::EVENT::CloseWindow});
      EndSessionDetach(newer);
      EndSessionUnlink(newer);
    });
    EXPECT_EQ(CurrentEndSession(), nullptr);
    EndSessionDetach(older);
    EXPECT_EQ(pu::GetWindowProc(h1), Hook1);
  });
}

TEST_F(EndSession, DetachAfterAnotherSubclassLeavesTheChainAsItIs) {
  InWindow([](pu::Window& w) {
    const HWND h = WithHook(w);
    EndSessionClass es;
    EndSessionAttach(es, 1, 1, 1, 1);
    gBelowTop = pu::SetWindowProc(h, LaterSubclass);
    EXPECT_EQ(gBelowTop, EndSessionWindowProc);
    EndSessionDetach(es);
    EXPECT_EQ(pu::GetWindowProc(h), LaterSubclass);
    // The whole chain still works: later, subclass, hook, platform.
    pu::SendMessage(h, pu::WM_POWERBROADCAST, 7, 0);
    EXPECT_EQ(pu::SendMessage(h, pu::WM_QUERYENDSESSION, 0, 0), 1);
    EXPECT_EQ(gSeen, (std::vector<std::string>{"later 536", "hook1 536", "later 17"}));
    EXPECT_EQ(Drain(w), (std::vector<int>{PowerOtherEvent, EndSessionQueryEvent}));
    EndSessionUnlink(es);
  });
}

TEST_F(EndSession, AttachingTwiceOnOneWindowNeitherLoopsNorLosesTheChain) {
  InWindow([](pu::Window& w) {
    const HWND h = WithHook(w);
    EndSessionClass a, b;
    EndSessionAttach(a, 1, 1, 1, 1);
    EndSessionAttach(b, 1, 1, 1, 1);
    EndSessionAttach(b, 2, 2, 1, 1);  // an instance still linked moves to the top
    EXPECT_EQ(b.PREVIOUSCLASS, &a);
    pu::SendMessage(h, pu::WM_DEVICECHANGE, 0, 0);
    EXPECT_EQ(gSeen, std::vector<std::string>{"hook1 537"});
    EXPECT_EQ(Drain(w), std::vector<int>{DeviceChangeEvent});
    EndSessionUnlink(b);
    EndSessionUnlink(a);
    EXPECT_EQ(CurrentEndSession(), nullptr);
  });
}

TEST_F(EndSession, WithoutACurrentWindowOnlyTheInstanceIsLinked) {
  EndSessionClass es;
  EndSessionAttach(es, 1, 1, 1, 1);
  EXPECT_EQ(es.HWND, 0u);
  EXPECT_EQ(es.HWNDPROC, nullptr);
  EXPECT_EQ(CurrentEndSession(), &es);
  EndSessionDetach(es);
  EndSessionUnlink(es);
  EXPECT_EQ(CurrentEndSession(), nullptr);
}

// While a modal window runs above the subclassed one, the events still go
// to the subclassed window and wait for it.
TEST_F(EndSession, EventsGoToTheSubclassedWindowWhileAnotherRunsAbove) {
  InWindow([](pu::Window& main) {
    EndSessionClass es;
    EndSessionAttach(es, 1, 1, 1, 1);
    InWindow([&](pu::Window& above) {
      EXPECT_EQ(pu::TargetWindow(), &above);
      pu::SendMessage(pu::FrameHandle(main), pu::WM_ENDSESSION, 1, 0);
      EXPECT_TRUE(Drain(above).empty());
    });
    EXPECT_EQ(Drain(main), std::vector<int>{EndSessionEvent});
    EndSessionDetach(es);
    EndSessionUnlink(es);
  });
}

}  // namespace
}  // namespace service
