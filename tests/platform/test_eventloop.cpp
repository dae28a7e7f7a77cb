#include "platform/eventloop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <chrono>
#include <future>
#include <memory>
#include <vector>

#include "platform/stdtime.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "tests/support/fake_clock.h"

namespace platform::ui {
namespace {

constexpr int kUserEvent = EVENT::User + 7;

// One window of a stack of nested windows on one thread. Each level ticks;
// on its first tick it runs the next level as a modal window inside the
// tick handler. The deepest level closes after `ownTicks` ticks of its own.
// After its child has closed, a level posts itself kUserEvent on the next
// tick and closes on the tick after that.
struct Level : WindowController {
  Level(Window& w, int p, int depth, int own) : WindowController(w), period(p), depthLeft(depth), ownTicks(own) {}

  int period, depthLeft, ownTicks;
  int ticks = 0;
  int ticksWhileChildOpen = 0;
  int ticksAfterChild = -1;
  int ticksAfterChildAtUserEvent = -1;
  bool inHandler = false, reentered = false, childOpen = false;
  Clock::Monotonic::duration childTime{};
  TimePoint firstAfterChild{}, secondAfterChild{};
  std::unique_ptr<Window> childWindow;
  std::unique_ptr<Level> child;

  int SetUp() override {
    WindowController::SetUp();
    window().SetTimer(period);
    return kGoOn;
  }

  int OnWindowEvent() override {
    if (inHandler) reentered = true;
    inHandler = true;
    const int e = window().EventNumber();
    if (e == EVENT::Timer) {
      ++ticks;
      if (childOpen) ++ticksWhileChildOpen;
      if (ticksAfterChild >= 0) ++ticksAfterChild;
      if (depthLeft > 0 && ticks == 1) {
        childWindow = std::make_unique<Window>();
        child = std::make_unique<Level>(*childWindow, 1, depthLeft - 1, ownTicks);
        childOpen = true;
        const auto start = GetClock().Now();
        child->Run();
        childTime = GetClock().Now() - start;
        childOpen = false;
        ticksAfterChild = 0;
      } else if (depthLeft == 0 && ticks == ownTicks) {
        window().Post(EVENT::CloseWindow);
      } else if (ticksAfterChild == 1) {
        firstAfterChild = GetClock().Now();
        PostEvent(kUserEvent);
      } else if (ticksAfterChild == 2) {
        secondAfterChild = GetClock().Now();
        window().Post(EVENT::CloseWindow);
      }
    } else if (e == kUserEvent) {
      ticksAfterChildAtUserEvent = ticksAfterChild;
    }
    inHandler = false;
    return WindowController::OnWindowEvent();
  }
};

TEST(EventGate, WindowsBelowAModalWindowGetNoTicksAndOneAfterIt) {
  for (int depth : {1, 2}) {
    SCOPED_TRACE(depth);
    Window w;
    Level top(w, 3, depth, 12);
    top.Run();
    std::vector<Level*> levels;
    for (Level* l = &top; l != nullptr; l = l->child.get()) levels.push_back(l);
    ASSERT_EQ(levels.size(), static_cast<size_t>(depth) + 1);
    // The modal window's own timer kept ticking.
    EXPECT_EQ(levels.back()->ticks, 12);
    for (size_t i = 0; i + 1 < levels.size(); ++i) {
      SCOPED_TRACE(i);
      Level& l = *levels[i];
      EXPECT_FALSE(l.reentered);
      EXPECT_EQ(l.ticksWhileChildOpen, 0);
      // The child lasted several of this window's periods ...
      EXPECT_GE(l.childTime, std::chrono::milliseconds(12 * 10));
      // ... yet exactly one tick was pending when it closed: the event posted
      // on that tick comes before any other, and the next tick keeps the
      // period instead of catching up.
      EXPECT_EQ(l.ticksAfterChildAtUserEvent, 1);
      EXPECT_GE(l.secondAfterChild - l.firstAfterChild, std::chrono::milliseconds(l.period * 10 / 2));
      EXPECT_EQ(l.ticks, 3);
    }
    EXPECT_TRUE(ThreadWindows().empty());
  }
}

// Records the program events a window sees. A window that waits for longer
// than five seconds gives up, so that a broken gate fails instead of hanging.
struct Recorder : WindowController {
  using WindowController::WindowController;
  std::vector<int> seen;
  bool gaveUp = false;
  std::function<void(Recorder&)> onOpen;
  std::function<void(Recorder&, int)> onEvent;
  int SetUp() override {
    WindowController::SetUp();
    window().SetTimer(500);
    return kGoOn;
  }
  ~Recorder() override { EXPECT_FALSE(gaveUp); }
  int OnWindowEvent() override {
    const int e = window().EventNumber();
    if (e == EVENT::Timer) {
      gaveUp = true;
      window().Post(EVENT::CloseWindow);
    }
    if (e == EVENT::OpenWindow && onOpen) onOpen(*this);
    if (e >= EVENT::User) {
      seen.push_back(e);
      if (onEvent) onEvent(*this, e);
    }
    return WindowController::OnWindowEvent();
  }
};

TEST(EventGate, ProgramEventsPostedDuringABoxWaitAndKeepTheirOrder) {
  const int me = ThreadNumber();
  Window mainWindow, boxWindow;
  Recorder main(mainWindow), box(boxWindow);
  std::vector<int> mainSeenWhenBoxClosed;
  main.onOpen = [&](Recorder&) {
    PostEvent(EVENT::User + 1);  // belongs to the main window
    box.Run();
    mainSeenWhenBoxClosed = main.seen;
  };
  box.onOpen = [&](Recorder&) {
    PostEvent(EVENT::User + 9);  // posted by the box's handler: the box's own
    std::thread other([me] {
      EXPECT_TRUE(PostToThread(me, EVENT::User + 2));
      EXPECT_TRUE(PostToThread(me, EVENT::User + 3));
    });
    other.join();
    PostToThread(me, EVENT::User + 4);  // from the box's handler: the box's
  };
  box.onEvent = [](Recorder& r, int e) {
    if (e == EVENT::User + 4) r.window().Post(EVENT::CloseWindow);
  };
  main.onEvent = [](Recorder& r, int e) {
    if (e == EVENT::User + 3) r.window().Post(EVENT::CloseWindow);
  };
  main.Run();
  EXPECT_EQ(box.seen, (std::vector<int>{EVENT::User + 9, EVENT::User + 4}));
  EXPECT_TRUE(mainSeenWhenBoxClosed.empty());
  EXPECT_EQ(main.seen, (std::vector<int>{EVENT::User + 1, EVENT::User + 2, EVENT::User + 3}));
}

TEST(EventGate, AnEventFromAnotherThreadReachesTheFirstWindow) {
  std::promise<int> number;
  std::vector<int> seen;
  std::vector<WindowId> ids;
  Thread t([&] {
    Window w;
    Recorder r(w);
    r.onOpen = [&](Recorder&) { number.set_value(ThreadNumber()); };
    r.onEvent = [](Recorder& rr, int e) {
      if (e == EVENT::User + 2) rr.window().Post(EVENT::CloseWindow);
    };
    r.Run();
    seen = r.seen;
  });
  const int n = number.get_future().get();
  EXPECT_NE(n, ThreadNumber());
  EXPECT_TRUE(PostToThread(n, EVENT::User + 1));
  EXPECT_TRUE(PostToThread(n, EVENT::User + 2));
  t.Join();
  EXPECT_EQ(seen, (std::vector<int>{EVENT::User + 1, EVENT::User + 2}));
}

TEST(EventQueues, PostingToAThreadThatDoesNotExistFails) {
  EXPECT_FALSE(PostToThread(1000000, EVENT::User));
  EXPECT_FALSE(PostToWindow(1000000, 1, EVENT::User));
}

TEST(EventQueues, AnEventPostedBeforeTheFirstWindowOpensWaitsForIt) {
  std::promise<int> number;
  std::promise<void> posted;
  std::vector<int> seen;
  Thread t([&] {
    number.set_value(ThreadNumber());
    posted.get_future().wait();
    Window w;
    Recorder r(w);
    r.onEvent = [](Recorder& rr, int) { rr.window().Post(EVENT::CloseDown); };
    r.Run();
    seen = r.seen;
  });
  EXPECT_TRUE(PostToThread(number.get_future().get(), EVENT::User + 5));
  posted.set_value();
  t.Join();
  EXPECT_EQ(seen, (std::vector<int>{EVENT::User + 5}));
}

TEST(EventQueues, EventsOfAClosedWindowAreDropped) {
  Window w;
  Recorder r(w);
  r.onOpen = [](Recorder& rr) {
    rr.window().Post(EVENT::User + 1);
    rr.window().Close();
  };
  r.Run();
  EXPECT_TRUE(r.seen.empty());
  EXPECT_EQ(ThisThreadQueue().Size(), 0u);
  w.Post(EVENT::User + 2);  // not open: dropped
  EXPECT_EQ(ThisThreadQueue().Size(), 0u);
}

TEST(EventLoop, AnIdleLoopBlocksBetweenTicks) {
  struct Ticker : WindowController {
    using WindowController::WindowController;
    int ticks = 0;
    int SetUp() override {
      WindowController::SetUp();
      window().SetTimer(5);
      return kGoOn;
    }
    int OnWindowEvent() override {
      if (window().EventNumber() == EVENT::Timer && ++ticks == 4) window().Post(EVENT::CloseWindow);
      return WindowController::OnWindowEvent();
    }
  };
  Window w;
  Ticker t(w);
  const auto start = GetClock().Now();
  t.Run();
  EXPECT_EQ(t.ticks, 4);
  EXPECT_GE(GetClock().Now() - start, std::chrono::milliseconds(4 * 50));
}

TEST(EventLoop, CloseWindowConsumedKeepsTheWindowOpen) {
  struct Keeper : WindowController {
    using WindowController::WindowController;
    int closeBoxes = 0;
    int OnWindowEvent() override {
      switch (window().EventNumber()) {
        case EVENT::OpenWindow:
          window().CloseBox();
          break;
        case EVENT::CloseWindow:
          ++closeBoxes;
          window().SetIconize(true);
          window().Post(EVENT::Iconized);
          return kConsumed;
        case EVENT::Iconized:
          window().Post(EVENT::CloseDown);
          break;
        default:
          break;
      }
      return WindowController::OnWindowEvent();
    }
  };
  Window w;
  Keeper k(w);
  k.Run();
  EXPECT_EQ(k.closeBoxes, 1);
  EXPECT_TRUE(w.Iconized());
  EXPECT_FALSE(w.IsOpen());
}

}  // namespace
}  // namespace platform::ui

namespace platform::ui {
namespace {

// A window that records the events it sees; optional steps at set-up and on
// each event.
struct Seeing : WindowController {
  using WindowController::WindowController;
  std::vector<int> seen;
  std::function<void()> atSetUp;
  std::function<void(Seeing&)> onEvent;
  int SetUp() override {
    WindowController::SetUp();
    if (atSetUp) atSetUp();
    return kGoOn;
  }
  int OnWindowEvent() override {
    seen.push_back(window().EventNumber());
    if (onEvent) onEvent(*this);
    return WindowController::OnWindowEvent();
  }
};

TEST(EventLoop, WhatADialogPostsInItsSetUpIsItsOwnAndComesAfterItsOpening) {
  Window below, dialog;
  Seeing outer(below), inner(dialog);
  inner.atSetUp = [] { PostEvent(kUserEvent); };
  inner.onEvent = [](Seeing& s) {
    if (s.window().EventNumber() == kUserEvent) s.window().Post(EVENT::CloseWindow);
  };
  outer.onEvent = [&](Seeing& s) {
    if (s.window().EventNumber() == EVENT::OpenWindow) {
      inner.Run();
      s.window().Post(EVENT::CloseWindow);
    }
  };
  outer.Run();
  ASSERT_GE(inner.seen.size(), 2u);
  EXPECT_EQ(inner.seen[0], EVENT::OpenWindow);
  EXPECT_NE(std::find(inner.seen.begin(), inner.seen.end(), kUserEvent), inner.seen.end());
  EXPECT_EQ(std::find(outer.seen.begin(), outer.seen.end(), kUserEvent), outer.seen.end())
      << "the window below never gets the dialog's event";
}

TEST(EventLoop, AStreamOfPostedEventsDoesNotStarveTheTimer) {
  Window w;
  Seeing s(w);
  int ticks = 0, posted = 0;
  s.atSetUp = [&] { w.SetTimer(1); };
  s.onEvent = [&](Seeing& me) {
    const int e = me.window().EventNumber();
    if ((e == EVENT::Timer && ++ticks == 3) || ++posted > 2000000) me.window().Post(EVENT::CloseWindow);
    // Every event posts another: the queue is never empty.
    if (e != EVENT::CloseWindow) me.window().Post(kUserEvent);
  };
  s.Run();
  EXPECT_EQ(ticks, 3) << "the window closed after " << posted << " posted events";
}

TEST(EventLoop, NoTickComesBeforeTheOpenEventHowEverLongTheSetUpTook) {
  testsupport::FakeClock clock(DateFromYmd(2026, 3, 2), TimeFromHms(9, 0, 0));
  testsupport::ClockGuard guard(&clock);
  Window w;
  Seeing s(w);
  s.atSetUp = [&] {
    w.SetTimer(25);
    w.Open();
    clock.Advance(std::chrono::seconds(3));  // twelve periods of work before the loop
  };
  s.onEvent = [&](Seeing& me) {
    const int e = me.window().EventNumber();
    if (e == EVENT::OpenWindow) me.window().Post(kUserEvent);
    if (e == kUserEvent) clock.Advance(std::chrono::milliseconds(250));
    if (e == EVENT::Timer) me.window().Post(EVENT::CloseWindow);
  };
  s.Run();
  EXPECT_EQ(s.seen, (std::vector<int>{EVENT::OpenWindow, kUserEvent, EVENT::Timer, EVENT::CloseWindow}))
      << "the first tick one period after the open event";
}

TEST(EventLoop, TicksThatTakeLongerThanTheirPeriodLetPostedEventsIn) {
  testsupport::FakeClock clock(DateFromYmd(2026, 3, 2), TimeFromHms(9, 0, 0));
  testsupport::ClockGuard guard(&clock);
  Window w;
  Seeing s(w);
  int ticks = 0;
  s.atSetUp = [&] { w.SetTimer(1); };
  s.onEvent = [&](Seeing& me) {
    const int e = me.window().EventNumber();
    // The first tick is due one period after the open event.
    if (e == EVENT::OpenWindow) me.window().Post(kUserEvent + 1);
    if (e == kUserEvent + 1) clock.Advance(std::chrono::milliseconds(10));
    if (e != EVENT::Timer) return;
    clock.Advance(std::chrono::milliseconds(50));  // five periods: the next tick is due at once
    if (++ticks == 1) me.window().Post(kUserEvent);
    if (ticks == 3) me.window().Post(EVENT::CloseWindow);
  };
  s.Run();
  EXPECT_EQ(s.seen, (std::vector<int>{EVENT::OpenWindow, kUserEvent + 1, EVENT::Timer, kUserEvent, EVENT::Timer,
                                      EVENT::Timer, EVENT::CloseWindow}));
}

}  // namespace
}  // namespace platform::ui
