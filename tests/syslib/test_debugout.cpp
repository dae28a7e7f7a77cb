// Debug output: OutputDebugStringA, WriteDebugString, the event logger and
// the stack-balance check.
#include "syslib/debugout.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/window.h"
#include "platform/winproc.h"
#include "syslib/winhook.h"
#include "tests/syslib/capture.h"

using namespace syslib;
using testsupport::CommandLineScope;
using testsupport::StderrCapture;
namespace pu = platform::ui;

TEST(DebugOut, OutputDebugStringWritesTheTextAsItIs) {
  StderrCapture cap;
  OutputDebugStringA("line one\r\n");
  OutputDebugStringA("no end");
  OutputDebugStringA(nullptr);
  EXPECT_EQ(cap.Finish(), "line one\r\nno end");
}

TEST(DebugOut, WriteDebugStringTrimsAndAddsLineEnd) {
  StderrCapture cap;
  WriteDebugString("hello   ", 1);
  WriteDebugString("plain  ", 0);
  WriteDebugString("   ", 1);
  EXPECT_EQ(cap.Finish(), "hello\r\nplain\r\n");
}

TEST(DebugOut, WriteDebugStringPasses1023Characters) {
  StderrCapture cap;
  WriteDebugString(std::string(2000, 'x'), 1);
  EXPECT_EQ(cap.Finish(), std::string(1023, 'x'));
  StderrCapture cap2;
  WriteDebugString(std::string(1021, 'y'), 1);
  EXPECT_EQ(cap2.Finish(), std::string(1021, 'y') + "\r\n");
  StderrCapture cap3;
  WriteDebugString(std::string(1022, 'z'), 1);
  EXPECT_EQ(cap3.Finish(), std::string(1022, 'z') + "\r");
}

TEST(DebugOut, WriteDebugStringCountsCharactersNotBytes) {
  StderrCapture cap;
  std::string s;
  for (int i = 0; i < 1100; ++i) s += "\xC5\x99";  // ř
  WriteDebugString(s, 0);
  EXPECT_EQ(cap.Finish(), s.substr(0, 2 * 1023));
}

TEST(DebugOut, LogEventWithoutDebugWritesNothing) {
  CommandLineScope args({"/NOSERVICE"});
  StderrCapture cap;
  LogEvent("a text");
  LogEvent("Window", "a text", 0, 0, 1, 0, 1);
  EXPECT_EQ(cap.Finish(), "");
}

TEST(DebugOut, LogEventPlainLineBeginsWithABlank) {
  CommandLineScope args({"/debug"});
  StderrCapture cap;
  LogEvent("ReadPort API call to ReadFile failed, , ReadPort   ");
  LogEvent("", "second", 1, 0, 1, 0, 1);
  EXPECT_EQ(cap.Finish(), " ReadPort API call to ReadFile failed, , ReadPort\r\n second\r\n");
}

TEST(DebugOut, LogEventFlagsIgnoreTheirArguments) {
  CommandLineScope args({"/debug"});
  StderrCapture cap;
  LogEvent("Main  ", "text", 0, 5000, 1, 3, 1);  // window kept, event ignored
  LogEvent("Main", "text", 1, 5000, 0, 0, 1);    // window ignored, event 5000 kept
  EXPECT_EQ(cap.Finish(), "Main text\r\n 5000 text\r\n");
}

TEST(DebugOut, LogEventTextIsCutTo255) {
  CommandLineScope args({"/debug"});
  StderrCapture cap;
  LogEvent(std::string(300, 't'));
  EXPECT_EQ(cap.Finish(), " " + std::string(255, 't') + "\r\n");
}

TEST(DebugOut, LinesFromThreadsDoNotMix) {
  CommandLineScope args({"/debug"});
  StderrCapture cap;
  {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([t] {
        for (int i = 0; i < 200; ++i) LogEvent("thread " + std::to_string(t) + " line " + std::to_string(i) + " " + std::string(200, char('a' + t)));
      });
    for (auto& th : threads) th.join();
  }
  const std::string out = cap.Finish();
  std::set<std::string> lines;
  std::size_t at = 0, count = 0;
  while (at < out.size()) {
    const std::size_t end = out.find("\r\n", at);
    ASSERT_NE(end, std::string::npos);
    lines.insert(out.substr(at, end - at));
    at = end + 2;
    ++count;
  }
  EXPECT_EQ(count, 800u);
  for (int t = 0; t < 4; ++t)
    for (int i = 0; i < 200; ++i)
      EXPECT_TRUE(lines.count(" thread " + std::to_string(t) + " line " + std::to_string(i) + " " +
                              std::string(200, char('a' + t))))
          << t << " " << i;
}

// --- the event texts

// A window that logs the events posted to it, as a window procedure would:
// LogEvent("Main", "Log", 0, event, 0, field, 0) with the window as the
// thread's target. Before a row's event is logged, the row's message goes
// to the window's frame through the hook, which keeps its values for the
// getters (alerted with no action bits: no event, no passing on).
struct EventRow {
  const char* name;
  int event;
  int field;
  int key;
  pu::UINT message;  // 0: none
  pu::WPARAM wParam;
  pu::LPARAM lParam;
  std::string line;
};

class LoggingWindow : public pu::WindowController {
 public:
  static constexpr int kStart = 3500;  // posted before the rows

  LoggingWindow(pu::Window& w, const std::vector<EventRow>& rows) : WindowController(w), rows_(rows) {}

  int SetUp() override {
    WindowController::SetUp();
    pu::Window& w = window();
    w.Open();
    for (pu::UINT m : {pu::UINT{0x100}, pu::WM_SYSCOMMAND, pu::WM_WTSSESSION_CHANGE})
      WinAlert(static_cast<LONG>(m), 0, 0, 1, 0, 0);
    WinAlert(0x200, 0, 0x209, 0, 0, 0);
    platform::SetCommandLine(std::vector<std::string>{"/debug"});
    w.Post(kStart);
    for (const EventRow& r : rows_) w.Post(r.event, r.field, r.key);
    return 0;
  }

  int OnAnyEvent() override {
    pu::Window& w = window();
    if (!started_) {
      started_ = w.EventNumber() == kStart;
      return pu::kConsumed;
    }
    const EventRow& r = rows_[next_++];
    if (r.message != 0) pu::SendMessage(pu::FrameHandle(w), r.message, r.wParam, r.lParam);
    LogEvent("Main", "Log", 0, w.EventNumber(), 0, w.Field(), 0);
    if (next_ == rows_.size()) w.EndLoop();
    return pu::kConsumed;
  }

 private:
  const std::vector<EventRow>& rows_;
  std::size_t next_ = 0;
  bool started_ = false;
};

TEST(EventLogger, EventTextsInAWindow) {
  pu::SetThreadView(&pu::SharedNativeHeadlessView());
  ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/velorn-test-bus", 1);
  const std::vector<EventRow> rows = {
      // field events: name, field and the control's label
      {"accepted", 0x01, 1, 0, 0, 0, 0, "Main 1 Log Accepted or MouseDown, Field()=1 ?BUTTON_OK"},
      {"new selection", 0x02, 2, 0, 0, 0, 0, "Main 2 Log NewSelection, Choice()=3, Field()=2 ?LIST"},
      {"scroll up", 0x03, 2, 0, 0, 0, 0, "Main 3 Log ScrollUp, Field()=2 ?LIST"},
      {"mouse move", 0x0D, 1, 0, 0, 0, 0, "Main 13 Log MouseMove, Field()=1 ?BUTTON_OK"},
      {"vbx", 0x0E, 1, 0, 0, 0, 0, "Main 14 Log VBXevent, Field()=1 ?BUTTON_OK"},
      {"alert key", 0x0F, 1, 112, 0, 0, 0, "Main 15 Log AlertKey, keycode()=112, Field()=1 ?BUTTON_OK"},
      {"pre-alert key", 0x10, 2, 27, 0, 0, 0, "Main 16 Log PreAlertKey, keycode()=27, Field()=2 ?LIST"},
      {"tab changing", 0x15, 3, 0, 0, 0, 0, "Main 21 Log TabChanging Choice()=2, Field()=3 ?SHEET"},
      {"rejected", 0x1A, 1, 0, 0, 0, 0, "Main 26 Log Rejected, Field()=1 ?BUTTON_OK"},
      {"scroll track", 0x1D, 2, 0, 0, 0, 0, "Main 29 Log ScrollTrack, field2{prop:vscrollpos}=0, Field()=2 ?LIST"},
      {"column resize", 0x1E, 2, 0, 0, 0, 0, "Main 30 Log ColumnResize, Field()=2 ?LIST"},
      {"selected", 0x101, 5, 0, 0, 0, 0, "Main 257 Log Selected, Field()=5 ?TAB2"},
      {"selecting", 0x102, 4, 0, 0, 0, 0, "Main 258 Log Selecting, Field()=4 ?TAB1"},
      {"a field the window lacks", 0x01, 99, 0, 0, 0, 0, "Main 1 Log Accepted or MouseDown, Field()=99"},
      {"no field event of that number", 0x1F, 1, 0, 0, 0, 0, "Main 31 Log"},
      // window events: the name right after the text
      {"close window", 0x201, 0, 0, 0, 0, 0, "Main 513 Log CloseWindow"},
      {"open window", 0x203, 0, 0, 0, 0, 0, "Main 515 Log OpenWindow"},
      {"timer", 0x20B, 0, 0, 0, 0, 0, "Main 523 Log Timer"},
      {"move", 0x220, 0, 0, 0, 0, 0, "Main 544 Log Move"},
      {"iconized", 0x234, 0, 0, 0, 0, 0, "Main 564 Log Iconized"},
      {"build done", 0x242, 0, 0, 0, 0, 0, "Main 578 Log BuildDone"},
      {"no window event of that number", 0x207, 0, 0, 0, 0, 0, "Main 519 Log"},
      // library events
      {"alerted mouse move", 1280, 0, 0, 0x200, 0, 0, "Main 1280 Log WinHook Message, Winhook()=WH::WM_MOUSEMOVE"},
      {"alerted left down", 1280, 0, 0, 0x201, 0, 0, "Main 1280 Log WinHook Message, Winhook()=WH::WM_LBUTTONDOWN"},
      {"alerted middle double click", 1280, 0, 0, 0x209, 0, 0,
       "Main 1280 Log WinHook Message, Winhook()=WH::WM_MBUTTONDBLCLK"},
      {"alerted other", 1280, 0, 0, 0x100, 0, 0, "Main 1280 Log WinHook Message Winhook()=256"},
      {"taskbar restart", 6781, 0, 0, 0, 0, 0, "Main 6781 Log WinHook Message, WH::WM_TaskbarRestart, Reload icons!"},
      {"system command", 6782, 0, 0, pu::WM_SYSCOMMAND, pu::SC_RESTORE, 0,
       "Main 6782 Log WinHook Message, WH::WM_SysCommand, WinSysEvent()=274"},
      {"query end session", 6783, 0, 0, 0, 0, 0, "Main 6783 Log WinHook Message, WH::WM_QueryEndSession"},
      {"end session aborted", 6784, 0, 0, 0, 0, 0, "Main 6784 Log WinHook Message, WH::WM_EndSession Aborted"},
      {"end session now", 6785, 0, 0, 0, 0, 0, "Main 6785 Log WinHook Message, WH::WM_EndSession Now!"},
      {"session change", 6786, 0, 0, pu::WM_WTSSESSION_CHANGE, 7, 3,
       "Main 6786 Log WinHook Message, WH::WM_WTSSESSION_CHANGE, WinWtsEvent()=7, WinWtsID()=3"},
      {"service shutdown", 6787, 0, 0, 0, 0, 0, "Main 6787 Log WinHook Message, SERVICE_CONTROL_SHUTDOWN"},
      {"load icon", 6790, 0, 0, 0, 0, 0, "Main 6790 Log WinHook Message, Taskbar load icon"},
      {"tray mouse move", 6792, 0, 0, 0, 0, 0, "Main 6792 Log WinHook Message, Taskbar mouse move"},
      {"tray left down", 6793, 0, 0, 0, 0, 0, "Main 6793 Log WinHook Message, Taskbar mouseleft down"},
      {"tray left up", 6794, 0, 0, 0, 0, 0, "Main 6794 Log WinHook Message, Taskbar mouseleft up"},
      {"tray double click", 6795, 0, 0, 0, 0, 0, "Main 6795 Log WinHook Message, Taskbar double left click"},
      {"tray right down", 6796, 0, 0, 0, 0, 0, "Main 6796 Log WinHook Message, Taskbar mouseright down"},
      {"tray right up", 6797, 0, 0, 0, 0, 0, "Main 6797 Log WinHook Message, Taskbar mouseright up"},
      {"transmit empty", 6881, 0, 0, 0, 0, 0, "Main 6881 Log WinHook Message, Comms Transmit Buffer Empty"},
      {"received", 6882, 0, 0, 0, 0, 0, "Main 6882 Log WinHook Message, Comms Character(s) Received"},
      {"line change", 6883, 0, 0, 0, 0, 0, "Main 6883 Log WinHook Message, Comms Handshaking lines changed"},
      {"balloon opened", 7306, 0, 0, 0, 0, 0, "Main 7306 Log WinHook Message, Taskbar balloon opened"},
      {"balloon closed", 7307, 0, 0, 0, 0, 0, "Main 7307 Log WinHook Message, Taskbar balloon closed"},
      {"balloon timeout", 7308, 0, 0, 0, 0, 0, "Main 7308 Log WinHook Message, Taskbar balloon timeout, closed"},
      {"whats this", 7780, 0, 0, 0, 0, 0, "Main 7780 Log WinHook Message, Help, Whats This selection"},
      {"taskbar callback, first", 6280, 0, 0, 0x203, 0, 0, "Main 6280 Log WinHook Message, TaskbarCallBack, Winhook()=515"},
      {"taskbar callback, last", 6380, 0, 0, 0, 0, 0, "Main 6380 Log WinHook Message, TaskbarCallBack, Winhook()=515"},
      {"after the callbacks", 6381, 0, 0, 0, 0, 0, "Main 6381 Log"},
      {"no library event of that number", 6791, 0, 0, 0, 0, 0, "Main 6791 Log"},
      // user events
      {"first user event", 1024, 0, 0, 0, 0, 0, "Main 1024 LogEVENT:User 0"},
      {"user 6", 1030, 0, 0, 0, 0, 0, "Main 1030 LogEVENT:User 6"},
      {"end session event", 0x916, 0, 0, 0, 0, 0, "Main 2326 LogEVENT:User 1302"},
      {"last user event", 4095, 0, 0, 0, 0, 0, "Main 4095 LogEVENT:User 3071"},
      {"after the user events", 4096, 0, 0, 0, 0, 0, "Main 4096 Log"},
      {"before the user events", 1023, 0, 0, 0, 0, 0, "Main 1023 Log"},
      {"negative", -5, 0, 0, 0, 0, 0, "Main -5 Log"},
  };
  std::string expected;
  for (const EventRow& r : rows) expected += r.line + "\r\n";

  CommandLineScope args({});
  pu::Window w("Main");
  w.Add(pu::ControlKind::Button, "?BUTTON_OK", "OK");
  w.Add(pu::ControlKind::List, "?LIST").SetChoice(3);
  pu::Control& sheet = w.Add(pu::ControlKind::Sheet, "?SHEET");
  w.Add(pu::ControlKind::Tab, "?TAB1", "Jedna", &sheet);
  w.Add(pu::ControlKind::Tab, "?TAB2", "Dva", &sheet);
  sheet.SetChoice(2);
  LoggingWindow controller(w, rows);
  StderrCapture cap;
  controller.Run();
  const std::string out = cap.Finish();
  pu::SetThreadView(nullptr);

  // Line by line, so a failure names its row.
  std::size_t at = 0;
  for (const EventRow& r : rows) {
    const std::size_t end = out.find("\r\n", at);
    ASSERT_NE(end, std::string::npos) << r.name;
    EXPECT_EQ(out.substr(at, end - at), r.line) << r.name;
    at = end + 2;
  }
  EXPECT_EQ(out, expected);
}

TEST(EventLogger, LineShapes) {
  struct Row {
    const char* name;
    std::string window, text;
    uint8_t noWindow;
    LONG event;
    uint8_t noEvent;
    LONG field;
    uint8_t noField;
    std::string line;
  };
  const std::vector<Row> rows = {
      {"user event without a window name", "", "text", 1, 1030, 0, 0, 1, " 1030 textEVENT:User 6"},
      {"plain text", "", "a library text  ", 1, 0, 1, 0, 1, " a library text"},
      {"a window name, no event", "Main  ", "text", 0, 0, 1, 0, 1, "Main text"},
      {"an ignored window name", "Main", "text", 1, 0x201, 0, 0, 1, " 513 text CloseWindow"},
      {"an ignored event keeps the text", "Main", "text", 0, 1030, 1, 0, 1, "Main text"},
      {"a field event without a target window", "Main", "text", 0, 0x01, 0, 3, 0,
       "Main 1 text Accepted or MouseDown, Field()=3"},
      {"an ignored field", "Main", "text", 0, 0x01, 0, 3, 1, "Main 1 text Accepted or MouseDown, Field()=0"},
      {"an empty text", "Main", "", 0, 0x20B, 0, 0, 1, "Main 523  Timer"},
      {"the text's blanks go before the name", "Main", "text   ", 0, 0x20B, 0, 0, 1, "Main 523 text Timer"},
      {"the window name is cut to 40", std::string(45, 'w'), "text", 0, 0, 1, 0, 1, std::string(40, 'w') + " text"},
      {"the text with its name is cut to 255", "Main", std::string(250, 't'), 0, 0x201, 0, 0, 1,
       "Main 513 " + std::string(250, 't') + " Clos"},
  };
  CommandLineScope args({"/debug"});
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    StderrCapture cap;
    LogEvent(r.window, r.text, r.noWindow, r.event, r.noEvent, r.field, r.noField);
    EXPECT_EQ(cap.Finish(), r.line + "\r\n");
  }
}

TEST(EventLogger, NothingAtAllWithoutDebug) {
  CommandLineScope args({"/NOSERVICE", "debug", "/debugx"});
  SetLibraryProcedureName("Caller");
  SetLibraryErrorDetail("detail");
  SetLibraryError(kErrReadPort);
  StderrCapture cap;
  for (LONG event : {0, 0x01, 0x201, 1280, 6782, 6786, 1030, 5000}) LogEvent("Main", "text", 0, event, 0, 1, 0);
  LogEvent("a text");
  EXPECT_EQ(cap.Finish(), "");
  EXPECT_EQ(LibraryErrorCode(), kErrReadPort) << "no getter ran";
  EXPECT_EQ(LibraryProcedureName(), "Caller");
  EXPECT_EQ(ds_TSLevel(), 0);
}

// --- the stack-balance check

namespace {

constexpr RegisterBlock kBlock{0x246, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11, 0x99};

RegisterBlock With(RegisterBlock b, uint32_t RegisterBlock::*reg, uint32_t value) {
  b.*reg = value;
  return b;
}

// A block of its own for each level.
RegisterBlock ForLevel(uint32_t level) {
  return {level, level, level, level, level, level, level, level, level};
}

struct StackStep {
  bool save;
  RegisterBlock block;
};

StackStep S(const RegisterBlock& b) { return {true, b}; }
StackStep T(const RegisterBlock& b) { return {false, b}; }

}  // namespace

TEST(StackCheck, SavesAndTests) {
  std::vector<StackStep> deep;
  for (uint32_t n = 1; n <= 257; ++n) deep.push_back(S(ForLevel(n)));
  deep.push_back(T(kBlock));  // 257: nothing compared
  deep.push_back(T(kBlock));  // 256: nothing compared
  for (uint32_t n = 255; n >= 1; --n) deep.push_back(T(ForLevel(n)));

  const RegisterBlock changedEbxEsi = With(With(kBlock, &RegisterBlock::EBX, 0x1234ABCD), &RegisterBlock::ESI, 0xFFFFFFFF);
  const RegisterBlock changedOthers = With(
      With(With(kBlock, &RegisterBlock::ECX, 0x10), &RegisterBlock::EDX, 0xDEADBEEF), &RegisterBlock::EDI, 0);
  const RegisterBlock changedFlagsEax =
      With(With(kBlock, &RegisterBlock::FLAGS, 0x202), &RegisterBlock::EAX, 0x12345678);
  const std::string indent = "\r\n             ";
  const std::string mismatch = "ds_TestStack: SaveStack - TestStack pair mismatch\n";

  struct Row {
    const char* name;
    std::vector<StackStep> steps;
    std::string output;
    LONG level;
  };
  const std::vector<Row> rows = {
      {"a pair of equal blocks", {S(kBlock), T(kBlock)}, "", 0},
      {"nested pairs", {S(kBlock), S(ForLevel(2)), T(ForLevel(2)), T(kBlock)}, "", 0},
      {"flags and EAX are not compared", {S(kBlock), T(changedFlagsEax)}, "", 0},
      {"EBX and ESI changed",
       {S(kBlock), T(changedEbxEsi)},
       "ds_TestStack ds_TSLevel=1" + indent + "EBX=1234ABCD LAST EBX=00000033" + indent +
           "ESI=FFFFFFFF LAST ESI=00000066\r\n",
       0},
      {"ECX, EDX and EDI changed on level 2",
       {S(kBlock), S(kBlock), T(changedOthers), T(kBlock)},
       "ds_TestStack ds_TSLevel=2" + indent + "ECX=00000010 LAST ECX=00000011" + indent +
           "EDX=DEADBEEF LAST EDX=00000022" + indent + "EDI=00000000 LAST EDI=00000077\r\n",
       0},
      {"an unpaired test", {T(kBlock)}, mismatch, -1},
      {"a save after an unpaired test saves nothing", {T(kBlock), S(changedEbxEsi), S(kBlock), T(kBlock)}, mismatch, 0},
      {"two unpaired tests", {T(kBlock), T(kBlock), S(kBlock), S(kBlock)}, mismatch + mismatch, 0},
      {"257 levels",
       deep,
       "ds_SaveStack : Too many levels, ds_TSLevel=256\r\nds_SaveStack : Too many levels, ds_TSLevel=257\r\n", 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    ASSERT_EQ(ds_TSLevel(), 0);
    StderrCapture cap;
    for (const StackStep& s : r.steps) s.save ? ds_SaveStack(s.block) : ds_TestStack(s.block);
    EXPECT_EQ(cap.Finish(), r.output);
    EXPECT_EQ(ds_TSLevel(), r.level);
    while (ds_TSLevel() < 0) ds_SaveStack(kBlock);
  }
}

TEST(StackCheck, LevelsArePerThread) {
  ds_SaveStack(kBlock);
  LONG other = -100;
  std::string otherOut;
  std::thread([&] {
    StderrCapture cap;
    other = ds_TSLevel();
    ds_SaveStack(ForLevel(7));
    ds_TestStack(ForLevel(7));
    otherOut = cap.Finish();
  }).join();
  EXPECT_EQ(other, 0);
  EXPECT_EQ(otherOut, "");
  StderrCapture cap;
  ds_TestStack(kBlock);
  EXPECT_EQ(cap.Finish(), "") << "this thread's entry is still its own";
  EXPECT_EQ(ds_TSLevel(), 0);
}

TEST(StackCheck, TheLoggerRunsAPairAfterEachLine) {
  CommandLineScope args({"/debug"});
  // Below the logger's pair, two levels of the caller's own stay intact.
  ds_SaveStack(ForLevel(1));
  ds_SaveStack(ForLevel(2));
  {
    StderrCapture cap;
    LogEvent("one");
    LogEvent("Main", "two", 0, 1030, 0, 0, 1);
    EXPECT_EQ(cap.Finish(), " one\r\nMain 1030 twoEVENT:User 6\r\n") << "the real snapshots match";
  }
  EXPECT_EQ(ds_TSLevel(), 2);
  {
    StderrCapture cap;
    ds_TestStack(ForLevel(2));
    ds_TestStack(ForLevel(1));
    EXPECT_EQ(cap.Finish(), "");
  }
  // With the table full, the logger's save is the one too many.
  for (uint32_t n = 1; n <= 255; ++n) ds_SaveStack(ForLevel(n));
  {
    StderrCapture cap;
    LogEvent("full");
    EXPECT_EQ(cap.Finish(), " full\r\nds_SaveStack : Too many levels, ds_TSLevel=256\r\n");
  }
  EXPECT_EQ(ds_TSLevel(), 255) << "its test followed";
  StderrCapture cap;
  for (uint32_t n = 255; n >= 1; --n) ds_TestStack(ForLevel(n));
  EXPECT_EQ(cap.Finish(), "");
  EXPECT_EQ(ds_TSLevel(), 0);
}

TEST(StackCheckDeathTest, ACorruptedStackOrFramePointerEndsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct Row {
    const char* name;
    RegisterBlock tested;
    const char* box;
  };
  const std::vector<Row> rows = {
      {"ESP", With(kBlock, &RegisterBlock::ESP, 0x48), "ds_TestStack: ESP corrupted, program will GPF"},
      {"EBP", With(kBlock, &RegisterBlock::EBP, 0x51), "ds_TestStack: EBP corrupted, program will GPF"},
      {"ESP first", With(With(kBlock, &RegisterBlock::EBP, 0), &RegisterBlock::ESP, 0),
       "ds_TestStack: ESP corrupted, program will GPF"},
      {"before any dump", With(With(kBlock, &RegisterBlock::EBX, 0), &RegisterBlock::EBP, 0),
       "^ds_TestStack: EBP corrupted, program will GPF\n$"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EXIT(
        {
          ds_SaveStack(kBlock);
          ds_TestStack(r.tested);
          std::fputs("went on", stderr);
        },
        ::testing::ExitedWithCode(kStackCorruptedExit), r.box);
  }
}
