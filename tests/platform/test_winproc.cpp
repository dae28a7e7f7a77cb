#include "platform/winproc.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <chrono>
#include <future>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/window.h"

namespace platform::ui {
namespace {

using namespace std::chrono_literals;

// Native windows without widgets on the calling thread while alive.
struct NativeThread {
  NativeThread() { SetThreadView(&SharedNativeHeadlessView()); }
  ~NativeThread() { SetThreadView(nullptr); }
};

// The events queued for a window, taken out of the queue.
std::vector<int> Drain(const Window& w) {
  std::vector<int> out;
  while (auto e = ThisThreadQueue().TakeFor(w.Id(), false)) out.push_back(e->number);
  return out;
}

// What the procedures in front saw, in order (any thread).
std::mutex gLogMutex;
std::vector<std::string> gLog;
void Log(std::string s) {
  std::lock_guard lock(gLogMutex);
  gLog.push_back(std::move(s));
}
std::vector<std::string> TakeLog() {
  std::lock_guard lock(gLogMutex);
  return std::exchange(gLog, {});
}

std::atomic<WNDPROC> gPrevA{nullptr}, gPrevB{nullptr};

LRESULT ProcA(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  Log("A " + std::to_string(msg));
  return CallWindowProc(gPrevA, h, msg, wp, lp);
}
LRESULT ProcB(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  Log("B " + std::to_string(msg));
  return CallWindowProc(gPrevB, h, msg, wp, lp);
}
// Answers WM_GETTEXT itself and swallows WM_CLOSE; passes the rest on.
LRESULT Answering(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_GETTEXT) {
    Log("answered");
    auto* buf = reinterpret_cast<char*>(lp);
    const std::string own = "own text";
    if (wp <= own.size()) return 0;
    own.copy(buf, own.size());
    buf[own.size()] = '\0';
    return static_cast<LRESULT>(own.size());
  }
  if (msg == WM_CLOSE) {
    Log("swallowed");
    return 0;
  }
  return CallWindowProc(gPrevA, h, msg, wp, lp);
}

class WinProc : public ::testing::Test {
 protected:
  WinProc() { TakeLog(); }
  NativeThread native_;
};

TEST_F(WinProc, ANativeWindowHasTwoHandlesNamingProcessAndWindow) {
  Window a, b;
  a.Open();
  b.Open();
  const HWND fa = FrameHandle(a), ca = ClientHandle(a), fb = FrameHandle(b);
  EXPECT_NE(fa, 0u);
  EXPECT_NE(ca, 0u);
  EXPECT_NE(fa, ca);
  EXPECT_NE(fa, fb);
  EXPECT_EQ(HandleProcess(fa), static_cast<uint32_t>(::getpid()));
  EXPECT_EQ(HandleProcess(ca), static_cast<uint32_t>(::getpid()));
  EXPECT_EQ(WindowFromHandle(fa), &a);
  EXPECT_EQ(WindowFromHandle(ca), &a);
  EXPECT_EQ(WindowFromHandle(fb), &b);
  EXPECT_TRUE(IsClientHandle(ca));
  EXPECT_FALSE(IsClientHandle(fa));
  EXPECT_EQ(WindowThread(fa), ThreadNumber());
  EXPECT_EQ(WindowFromHandle(fa ^ (uint64_t{1} << 40)), nullptr) << "another process's handle";

  a.Close();
  EXPECT_EQ(FrameHandle(a), 0u);
  EXPECT_EQ(WindowFromHandle(fa), nullptr);
  EXPECT_FALSE(IsWindow(ca));
  a.Open();
  EXPECT_NE(FrameHandle(a), 0u);
  EXPECT_NE(FrameHandle(a), fa) << "handles are not reused";
}

TEST_F(WinProc, AWindowOfAPlainViewIsNotNative) {
  SetThreadView(nullptr);
  Window w;
  w.Open();
  EXPECT_EQ(FrameHandle(w), 0u);
  EXPECT_EQ(DeliverNativeMessage(w, WM_CLOSE, 0, 0), 0);
  EXPECT_EQ(Drain(w), (std::vector<int>{EVENT::OpenWindow}));
}

TEST_F(WinProc, TheProcedurePutInFrontLastSeesMessagesFirst) {
  Window w;
  w.Open();
  const HWND f = FrameHandle(w);
  EXPECT_EQ(GetWindowProc(f), &PlatformWindowProc);
  gPrevA = SetWindowProc(f, ProcA);
  EXPECT_EQ(gPrevA.load(), &PlatformWindowProc);
  gPrevB = SetWindowProc(f, ProcB);
  EXPECT_EQ(gPrevB.load(), &ProcA);
  EXPECT_EQ(GetWindowProc(f), &ProcB);
  EXPECT_EQ(GetWindowProc(ClientHandle(w)), &PlatformWindowProc) << "the client area has its own chain";

  w.SetText("Caption");
  char buf[32];
  EXPECT_EQ(SendMessage(f, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf)), 7);
  EXPECT_STREQ(buf, "Caption");
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{"B 13", "A 13"}));

  // The client chain does not pass through the frame's procedures.
  SendMessage(ClientHandle(w), WM_CLOSE, 0, 0);
  EXPECT_TRUE(TakeLog().empty());
  EXPECT_EQ(SetWindowProc(f, nullptr), nullptr);
  EXPECT_EQ(SetWindowProc(0, ProcA), nullptr);
}

TEST_F(WinProc, AProcedureInFrontAnswersOrSwallowsWithoutTheTail) {
  Window w;
  w.Open();
  w.SetText("Caption");
  Drain(w);
  const HWND f = FrameHandle(w);
  gPrevA = SetWindowProc(f, Answering);

  char buf[32];
  EXPECT_EQ(SendMessage(f, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf)), 8);
  EXPECT_STREQ(buf, "own text");
  // The close box reaches the model only through the tail.
  EXPECT_EQ(DeliverNativeMessage(w, WM_CLOSE, 0, 0), 0);
  EXPECT_TRUE(Drain(w).empty());
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{"answered", "swallowed"}));

  // Once the tail is back in front, the same message closes.
  SetWindowProc(f, &PlatformWindowProc);
  DeliverNativeMessage(w, WM_CLOSE, 0, 0);
  EXPECT_EQ(Drain(w), (std::vector<int>{EVENT::CloseWindow}));
}

TEST_F(WinProc, TheTailTurnsMessagesIntoModelEvents) {
  struct Case {
    const char* what;
    UINT msg;
    WPARAM wParam;
    std::vector<int> events;
    bool iconic, maximized;
  } cases[] = {
      {"close box", WM_CLOSE, 0, {EVENT::CloseWindow}, false, false},
      {"system menu close", WM_SYSCOMMAND, SC_CLOSE, {EVENT::CloseWindow}, false, false},
      {"minimise", WM_SYSCOMMAND, SC_MINIMIZE | 2, {EVENT::Iconized}, true, false},
      {"minimise again", WM_SYSCOMMAND, SC_MINIMIZE, {}, true, false},
      {"restore", WM_SYSCOMMAND, SC_RESTORE, {EVENT::Restored}, false, false},
      {"maximise", WM_SYSCOMMAND, SC_MAXIMIZE, {EVENT::Maximized}, false, true},
      {"minimise a maximised", WM_SYSCOMMAND, SC_MINIMIZE, {EVENT::Iconized}, true, true},
      {"restore to maximised", WM_SYSCOMMAND, SC_RESTORE, {EVENT::Maximized}, false, true},
      {"restore to normal", WM_SYSCOMMAND, SC_RESTORE, {EVENT::Restored}, false, false},
      {"activate", WM_ACTIVATE, WA_CLICKACTIVE, {EVENT::GainFocus}, false, false},
      {"deactivate", WM_ACTIVATE, WA_INACTIVE, {EVENT::LoseFocus}, false, false},
      {"unknown", WM_USER + 7, 0, {}, false, false},
      {"the session ends", WM_ENDSESSION, 1, {EVENT::CloseDown}, false, false},
      {"the end is called off", WM_ENDSESSION, 0, {}, false, false},
  };
  Window w;
  w.Open();
  Drain(w);
  const HWND f = FrameHandle(w);
  // A procedure in front sees what the tail sends back to the head.
  gPrevA = SetWindowProc(f, ProcA);
  for (const Case& c : cases) {
    DeliverNativeMessage(w, c.msg, c.wParam, 0);
    EXPECT_EQ(Drain(w), c.events) << c.what;
    EXPECT_EQ(w.Iconized(), c.iconic) << c.what;
    EXPECT_EQ(w.Maximized(), c.maximized) << c.what;
    EXPECT_EQ(IsIconic(f), c.iconic) << c.what;
  }
  const auto log = TakeLog();
  EXPECT_EQ(std::count(log.begin(), log.end(), "A 16"), 2) << "WM_CLOSE, and again after SC_CLOSE";
  EXPECT_EQ(std::count(log.begin(), log.end(), "A 5"), 6) << "WM_SIZE on each change of state";
  EXPECT_EQ(DeliverNativeMessage(w, WM_QUERYENDSESSION, 0, 0), 1);
}

TEST_F(WinProc, TheTailKeepsTheCaption) {
  Window w;
  w.Open();
  const HWND f = FrameHandle(w);
  EXPECT_EQ(SendMessage(f, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Hlášení")), 1);
  EXPECT_EQ(w.Text(), "Hlášení");
  EXPECT_EQ(SendMessage(f, WM_GETTEXTLENGTH, 0, 0), static_cast<LRESULT>(std::string("Hlášení").size()));
  struct Case {
    WPARAM size;
    const char* text;
  } cases[] = {{64, "Hlášení"}, {4, "Hl"}, {5, "Hlá"}, {1, ""}};
  for (const auto& c : cases) {
    char buf[64] = "junk";
    const LRESULT n = SendMessage(f, WM_GETTEXT, c.size, reinterpret_cast<LPARAM>(buf));
    EXPECT_STREQ(buf, c.text) << c.size;
    EXPECT_EQ(n, static_cast<LRESULT>(std::string(c.text).size()));
  }
  EXPECT_EQ(SendMessage(f, WM_GETTEXT, 0, 0), 0);
  EXPECT_EQ(SendMessage(ClientHandle(w), WM_GETTEXTLENGTH, 0, 0), 0) << "the client area has no caption";
}

TEST_F(WinProc, RegisteredMessagesShareNumbersByName) {
  const UINT taskbar = RegisterWindowMessage("TaskbarCreated");
  EXPECT_GE(taskbar, kFirstRegisteredMessage);
  EXPECT_LE(taskbar, 0xFFFFu);
  EXPECT_EQ(RegisterWindowMessage("TaskbarCreated"), taskbar);
  EXPECT_EQ(RegisterWindowMessage("taskbarcreated"), taskbar);
  EXPECT_EQ(RegisterWindowMessage(""), 0u);

  std::vector<UINT> seen(8);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < seen.size(); ++i)
    threads.emplace_back([&seen, i] { seen[i] = RegisterWindowMessage("VelornTestMessage"); });
  for (auto& t : threads) t.join();
  for (UINT n : seen) EXPECT_EQ(n, seen[0]);
  EXPECT_NE(seen[0], taskbar);
  EXPECT_GE(seen[0], kFirstRegisteredMessage);
}

TEST_F(WinProc, ShowWindowChangesStateAndTellsTheChain) {
  Window w;
  w.Open();
  w.SetHide(true);
  w.SetIconize(true);
  Drain(w);
  const HWND f = FrameHandle(w);
  gPrevA = SetWindowProc(f, ProcA);
  EXPECT_TRUE(IsIconic(f)) << "iconized while hidden";
  EXPECT_FALSE(ShowWindow(f, SW_RESTORE)) << "it was hidden";
  EXPECT_FALSE(w.Hidden());
  EXPECT_FALSE(w.Iconized());
  EXPECT_FALSE(IsIconic(f));
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{"A 24", "A 5"}));
  EXPECT_EQ(Drain(w), (std::vector<int>{EVENT::Restored}));
  EXPECT_TRUE(ShowWindow(f, SW_HIDE));
  EXPECT_TRUE(w.Hidden());
  EXPECT_FALSE(ShowWindow(f, 99)) << "an unknown command changes nothing";
  EXPECT_TRUE(w.Hidden());

  // In front: the thread's view raises it, then the chain hears of it.
  std::vector<Window*> raised;
  SetForegroundHandler([&raised](Window& r) { raised.push_back(&r); });
  TakeLog();
  EXPECT_TRUE(SetForegroundWindow(f));
  SetForegroundHandler(nullptr);
  EXPECT_EQ(raised, (std::vector<Window*>{&w}));
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{"A 6"}));
  EXPECT_EQ(Drain(w), (std::vector<int>{EVENT::GainFocus}));
  EXPECT_FALSE(SetForegroundWindow(0));
}

TEST_F(WinProc, TopWindowsFollowTheWindowsState) {
  Window a, b;
  SetWindowClass(a, "ClassA");
  a.SetText("First");
  a.Open();
  b.Open();
  auto list = TopWindows();
  ASSERT_GE(list.size(), 2u);
  EXPECT_EQ(list[0].handle, FrameHandle(b)) << "the window opened last is on top";
  EXPECT_EQ(list[1].handle, FrameHandle(a));
  EXPECT_EQ(list[1].title, "First");
  EXPECT_EQ(list[1].className, "ClassA");
  EXPECT_EQ(list[0].className, kDefaultWindowClass);
  EXPECT_EQ(list[0].thread, ThreadNumber());

  a.SetHide(true);
  a.SetIconize(true);
  a.SetText("Renamed");
  SetForegroundWindow(FrameHandle(a));
  list = TopWindows();
  EXPECT_EQ(list[0].handle, FrameHandle(a)) << "brought to the front";
  EXPECT_EQ(list[0].title, "Renamed");
  EXPECT_TRUE(list[0].hidden);
  EXPECT_TRUE(list[0].iconic);

  // An untitled window's entry holds its chain's answer to WM_GETTEXT.
  gPrevA = SetWindowProc(FrameHandle(b), Answering);
  EXPECT_EQ(TopWindow(FrameHandle(b))->text, "") << "until its thread dispatches";
  DispatchNativeMessages();
  auto entry = TopWindow(FrameHandle(b));
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->title, "");
  EXPECT_EQ(entry->text, "own text");
  b.Close();
  EXPECT_FALSE(TopWindow(entry->handle));
}

// --- across threads

// A native window whose loop runs on a thread of its own. setUp runs there
// once the window is open.
class LoopThread {
 public:
  explicit LoopThread(std::function<void(Window&)> setUp = {}) : setUp_(std::move(setUp)) {
    auto opened = opened_.get_future();
    thread_ = std::thread([this] {
      NativeThread native;
      Window w;
      Recorder c(w, *this);
      c.Run();
    });
    frame_ = opened.get();
  }
  ~LoopThread() {
    PostMessage(frame_, WM_CLOSE, 0, 0);
    thread_.join();
  }
  HWND frame() const { return frame_; }
  // Waits until the loop has handled the event.
  bool WaitFor(int event) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, 5s, [&] { return std::find(events_.begin(), events_.end(), event) != events_.end(); });
  }
  void Join() { thread_.join(); }

 private:
  class Recorder : public WindowController {
   public:
    Recorder(Window& w, LoopThread& t) : WindowController(w), t_(t) {}
    int OnWindowEvent() override {
      if (window().EventNumber() == EVENT::OpenWindow) {
        if (t_.setUp_) t_.setUp_(window());
        t_.opened_.set_value(FrameHandle(window()));
      }
      {
        std::lock_guard lock(t_.mutex_);
        t_.events_.push_back(window().EventNumber());
      }
      t_.cv_.notify_all();
      return WindowController::OnWindowEvent();
    }

   private:
    LoopThread& t_;
  };

  std::function<void(Window&)> setUp_;
  std::promise<HWND> opened_;
  std::thread thread_;
  HWND frame_ = 0;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<int> events_;
};

TEST_F(WinProc, MessagesSentFromAnotherThreadAreAnsweredOnTheWindowsThread) {
  static std::atomic<int> seenOn{0};
  static WNDPROC prev = nullptr;
  LoopThread t([](Window& w) {
    w.SetText("Remote");
    prev = SetWindowProc(FrameHandle(w), [](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
      seenOn = ThreadNumber();
      return CallWindowProc(prev, h, m, wp, lp);
    });
  });
  char buf[32] = "";
  EXPECT_EQ(SendMessage(t.frame(), WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf)), 6);
  EXPECT_STREQ(buf, "Remote");
  EXPECT_EQ(seenOn.load(), WindowThread(t.frame()));
  EXPECT_NE(seenOn.load(), ThreadNumber());

  std::string text = "Renamed";
  EXPECT_EQ(SendMessage(t.frame(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())), 1);
  EXPECT_EQ(TopWindow(t.frame())->title, "Renamed");
  LRESULT r = 0;
  EXPECT_TRUE(SendMessageTimeout(t.frame(), WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, 1000, &r));
  EXPECT_EQ(r, 1);
}

TEST_F(WinProc, PostedMessagesAndRequestsReachTheWindowsLoop) {
  LoopThread t;
  EXPECT_TRUE(ShowWindow(t.frame(), SW_MINIMIZE)) << "posted";
  ASSERT_TRUE(t.WaitFor(EVENT::Iconized));
  EXPECT_TRUE(IsIconic(t.frame()));
  EXPECT_TRUE(ShowWindow(t.frame(), SW_RESTORE));
  ASSERT_TRUE(t.WaitFor(EVENT::Restored));
  EXPECT_FALSE(IsIconic(t.frame()));
  EXPECT_TRUE(SetForegroundWindow(t.frame()));
  ASSERT_TRUE(t.WaitFor(EVENT::GainFocus));

  // The close box, posted: the loop ends.
  const HWND f = t.frame();
  EXPECT_TRUE(PostMessage(f, WM_CLOSE, 0, 0));
  ASSERT_TRUE(t.WaitFor(EVENT::CloseWindow));
  EXPECT_FALSE(PostMessage(0, WM_CLOSE, 0, 0));
}

// Two threads sending to each other's windows: the one waiting answers what
// is sent to it meanwhile.
std::atomic<HWND> gLocalWindow{0};
LRESULT AsksBack(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_USER + 1) return SendMessage(gLocalWindow, WM_USER + 2, 0, 0) + 1;
  return PlatformWindowProc(h, msg, wp, lp);
}
LRESULT Answers41(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_USER + 2) return 41;
  return PlatformWindowProc(h, msg, wp, lp);
}

TEST_F(WinProc, ASenderAnswersWhatIsSentToItWhileItWaits) {
  Window local;
  local.Open();
  gLocalWindow = FrameHandle(local);
  SetWindowProc(gLocalWindow, Answers41);
  LoopThread t([](Window& w) { SetWindowProc(FrameHandle(w), AsksBack); });
  EXPECT_EQ(SendMessage(t.frame(), WM_USER + 1, 0, 0), 42);
}

TEST_F(WinProc, ASendToABusyThreadTimesOutAndIsDropped) {
  static std::atomic<int> delivered{0};
  std::promise<HWND> opened;
  std::promise<void> release, sentDone;
  auto released = release.get_future();
  std::thread busy([&] {
    NativeThread native;
    Window w;
    w.Open();
    SetWindowProc(FrameHandle(w), [](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
      if (m == WM_USER + 3) ++delivered;
      return PlatformWindowProc(h, m, wp, lp);
    });
    opened.set_value(FrameHandle(w));
    released.wait();  // busy: no dispatch
    DispatchNativeMessages();
    sentDone.set_value();
  });
  const HWND h = opened.get_future().get();
  const auto start = std::chrono::steady_clock::now();
  LRESULT r = 5;
  EXPECT_FALSE(SendMessageTimeout(h, WM_USER + 3, 0, 0, SMTO_NORMAL, 50, &r));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
  EXPECT_EQ(r, 0);
  auto done = sentDone.get_future();
  release.set_value();
  done.wait();
  busy.join();
  EXPECT_EQ(delivered.load(), 0) << "a message not answered in time is not delivered later";
}

TEST_F(WinProc, ASendEndsWhenTheWindowGoes) {
  std::promise<HWND> opened;
  std::promise<void> close;
  auto closing = close.get_future();
  std::thread owner([&] {
    NativeThread native;
    Window w;
    w.Open();
    opened.set_value(FrameHandle(w));
    closing.wait();
    w.Close();
  });
  const HWND h = opened.get_future().get();
  auto sent = std::async(std::launch::async, [h] { return SendMessage(h, WM_GETTEXTLENGTH, 0, 0); });
  close.set_value();
  ASSERT_EQ(sent.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(sent.get(), 0);
  owner.join();
}

// Logs the session's messages with the window's name; "answering" windows
// answer WM_ENDSESSION themselves, the rest go on to the tail.
std::mutex gNamesMutex;
std::map<HWND, std::string> gNames;
std::set<HWND> gAnswering;
LRESULT SessionProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  std::string name;
  bool answers = false;
  {
    std::lock_guard lock(gNamesMutex);
    name = gNames[h];
    answers = gAnswering.count(h) != 0;
  }
  if (msg == WM_QUERYENDSESSION) Log(name + " query");
  if (msg == WM_ENDSESSION) {
    Log(name + " end " + std::to_string(wp));
    if (answers) return 1;
  }
  return PlatformWindowProc(h, msg, wp, lp);
}

// A window of the calling thread whose session messages are logged.
void Watch(Window& w, const std::string& name, bool answers = false) {
  w.Open();
  const HWND h = FrameHandle(w);
  {
    std::lock_guard lock(gNamesMutex);
    gNames[h] = name;
    if (answers) gAnswering.insert(h);
  }
  SetWindowProc(h, SessionProc);
  Drain(w);
}

TEST_F(WinProc, TheSessionsMessagesReachEachWindowOfTheThreadOnce) {
  // Each step on its own thread: the end of the session stays with it.
  std::thread([] {
    NativeThread native;
    Window a, b, c;
    Watch(a, "a", /*answers=*/true);
    Watch(b, "b");
    const int self = ThreadNumber();
    struct Step {
      const char* what;
      std::function<void()> act;
      std::vector<std::string> log;
      std::vector<int> aEvents, bEvents, cEvents;
    } steps[] = {
        {"nothing due", [] {}, {}, {}, {}, {}},
        {"a query", [self] { QueryEndSession(self); }, {"a query", "b query"}, {}, {}, {}},
        {"the end: no second query; the tail closes b down", [self] { EndSession(self); },
         {"a end 1", "b end 1"}, {}, {EVENT::CloseDown}, {}},
        {"once only", [self] { EndSession(self); }, {}, {}, {}, {}},
        {"a window opened later", [&c] { Watch(c, "c"); }, {"c query", "c end 1"}, {}, {}, {EVENT::CloseDown}},
        {"a query after the end reaches them all", [self] { QueryEndSession(self); },
         {"a query", "b query", "c query"}, {}, {}, {}},
    };
    for (const Step& s : steps) {
      TakeLog();
      s.act();
      DispatchNativeMessages();
      EXPECT_EQ(TakeLog(), s.log) << s.what;
      EXPECT_EQ(Drain(a), s.aEvents) << s.what;
      EXPECT_EQ(Drain(b), s.bEvents) << s.what;
      if (c.IsOpen()) {
        EXPECT_EQ(Drain(c), s.cEvents) << s.what;
      }
    }
  }).join();
}

TEST_F(WinProc, TheEndOfTheSessionWakesAWaitingLoopAndOutlivesTheThreadsWindows) {
  {
    LoopThread waiting([](Window& w) {
      std::lock_guard lock(gNamesMutex);
      gNames[FrameHandle(w)] = "waiting";
      SetWindowProc(FrameHandle(w), SessionProc);
    });
    EndSession(WindowThread(waiting.frame()));
    ASSERT_TRUE(waiting.WaitFor(EVENT::CloseDown));
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"waiting query", "waiting end 1"}));
  }

  std::promise<int> number;
  std::promise<void> ended;
  auto endedF = ended.get_future();
  std::thread owner([&] {
    NativeThread native;
    number.set_value(ThreadNumber());
    endedF.wait();  // ended while it had no window
    EXPECT_TRUE(SessionEnded(ThreadNumber()));
    Window w;
    Watch(w, "late");
    // Its loop waits for the tail's close-down: nothing else wakes it.
    struct Plain : WindowController {
      using WindowController::WindowController;
    } c(w);
    w.RunLoop(c);
  });
  const int t = number.get_future().get();
  EXPECT_FALSE(SessionEnded(t));
  EndSession(t);
  EXPECT_TRUE(SessionEnded(t));
  ended.set_value();
  owner.join();
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{"late query", "late end 1"}));
  EXPECT_FALSE(SessionEnded(ThreadNumber())) << "only the thread named";
}

TEST_F(WinProc, PowerEventsArePostedToTheThreadsWindows) {
  LoopThread t([](Window& w) {
    SetWindowProc(FrameHandle(w), [](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
      if (m == WM_POWERBROADCAST) {
        Log("power " + std::to_string(wp));
        if (wp == PBT_APMRESUMEAUTOMATIC) SendMessage(h, WM_CLOSE, 0, 0);
      }
      return PlatformWindowProc(h, m, wp, lp);
    });
  });
  BroadcastPower(WindowThread(t.frame()), PBT_APMSUSPEND);
  BroadcastPower(WindowThread(t.frame()), PBT_APMRESUMEAUTOMATIC);
  ASSERT_TRUE(t.WaitFor(EVENT::CloseWindow));
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{"power 4", "power 18"}));
}

}  // namespace
}  // namespace platform::ui
