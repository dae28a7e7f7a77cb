#include "syslib/winhook.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/window.h"
#include "tests/support/target.h"
#include "syslib/win32error.h"

namespace syslib {
namespace {

using testsupport::AsTarget;
using testsupport::Events;

namespace EV = pu::EVENT;

// Native windows without widgets on the calling thread while alive; no
// system bus, so session notifications cannot be registered.
struct HookFixture : ::testing::Test {
  HookFixture() {
    pu::SetThreadView(&pu::SharedNativeHeadlessView());
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/velorn-test-bus", 1);
    SetTaskBarRestartMessage(pu::RegisterWindowMessage("TaskbarCreated"));
  }
  ~HookFixture() override { pu::SetThreadView(nullptr); }
};

// The procedure in front of which the hook sits: counts and answers 42.
int gPassed = 0;
pu::LRESULT Previous(pu::HWND, pu::UINT, pu::WPARAM, pu::LPARAM) {
  ++gPassed;
  return 42;
}

pu::WNDPROC gBelowLater = nullptr;
pu::LRESULT Later(pu::HWND h, pu::UINT m, pu::WPARAM wp, pu::LPARAM lp) {
  return pu::CallWindowProc(gBelowLater, h, m, wp, lp);
}

// The thread's records of one window.
std::vector<AlertRecord> RecordsOf(const pu::Window& w) {
  std::vector<AlertRecord> out;
  for (const AlertRecord& r : WA())
    if (r.HANDEL == pu::FrameHandle(w) || r.HANDEL == pu::ClientHandle(w)) out.push_back(r);
  return out;
}

enum class To { Frame, Client, NoRecords };

using HookTable = HookFixture;

TEST_F(HookTable, MessagesHandlesAndActionsToEventsAnswersAndPassingOn) {
  const pu::UINT restart = WM_TaskBarRestart();
  ASSERT_NE(restart, 0u);
  constexpr LONG kDefault = -1;
  struct Row {
    const char* name;
    pu::UINT alert;
    LONG action;
    To to;
    pu::UINT message;
    pu::WPARAM wParam;
    pu::LPARAM lParam;
    std::vector<int> events;
    pu::LRESULT answer;
    bool passed;
    LONG error;
  };
  const std::vector<Row> rows = {
      {"icon left up", TaskBarCallBackMsg, kDefault, To::Frame, TaskBarCallBackMsg, 1, WM_LBUTTONUP, {TrayLeftUpEvent}, 42, true, 0},
      {"icon left down, client", TaskBarCallBackMsg, kDefault, To::Client, TaskBarCallBackMsg, 1, WM_LBUTTONDOWN, {TrayLeftDownEvent}, 42, true, 0},
      {"icon double click", TaskBarCallBackMsg, kDefault, To::Frame, TaskBarCallBackMsg, 1, WM_LBUTTONDBLCLK, {TrayLeftDoubleClickEvent}, 42, true, 0},
      {"taskbar created", restart, kDefault, To::Frame, restart, 0, 0, {TaskbarRestartEvent}, 42, true, 0},
      {"system command", pu::WM_SYSCOMMAND, kDefault, To::Frame, pu::WM_SYSCOMMAND, pu::SC_MINIMIZE, 0, {SysCommandEvent}, 42, true, 0},
      {"query end session", pu::WM_QUERYENDSESSION, kDefault, To::Frame, pu::WM_QUERYENDSESSION, 0, 0, {QueryEndSessionEvent}, 42, true, 0},
      {"end session aborted", pu::WM_ENDSESSION, kDefault, To::Frame, pu::WM_ENDSESSION, 0, 0, {EndSessionAbortedEvent}, 42, true, 0},
      {"end session now, alerted", pu::WM_ENDSESSION, kDefault, To::Frame, pu::WM_ENDSESSION, 1, 0, {EndSessionNowEvent}, 0, false, 0},
      {"end session now, not alerted", 0x100, kDefault, To::Frame, pu::WM_ENDSESSION, 1, 0, {}, 0, false, 0},
      {"end session aborted, not alerted", 0x100, kDefault, To::Frame, pu::WM_ENDSESSION, 0, 0, {}, 42, true, 0},
      {"session change", pu::WM_WTSSESSION_CHANGE, kDefault, To::Frame, pu::WM_WTSSESSION_CHANGE, 7, 3, {SessionChangeEvent}, 42, true, 0},
      {"any other", 0x100, kDefault, To::Frame, 0x100, 0, 0, {AlertedMessageEvent}, 42, true, 0},
      {"answer 1", 0x100, kAlertAnswer1, To::Frame, 0x100, 0, 0, {}, 1, false, 0},
      {"no action bits", 0x100, 0, To::Frame, 0x100, 0, 0, {}, 0, false, 0},
      {"event and answer 1", 0x100, kAlertAnswer1 | kAlertPostEvent, To::Client, 0x100, 0, 0, {AlertedMessageEvent}, 1, false, 0},
      {"translated close", pu::WM_CLOSE, kAlertTranslate, To::Frame, pu::WM_CLOSE, 0, 0, {EV::CloseWindow}, 0, false, 0},
      {"translated wins over the event", WM_LBUTTONDOWN, kAlertTranslate | kDefaultAlertAction, To::Frame, WM_LBUTTONDOWN, 0, 0, {EV::Accepted}, 42, true, 0},
      {"translated button up", WM_NCRBUTTONUP, kAlertTranslate, To::Frame, WM_NCRBUTTONUP, 0, 0, {EV::MouseUp}, 0, false, 0},
      {"translated timer", WM_TIMER, kAlertTranslate, To::Client, WM_TIMER, 0, 0, {EV::Timer}, 0, false, 0},
      {"translated mouse move", WM_NCMOUSEMOVE, kAlertTranslate, To::Frame, WM_NCMOUSEMOVE, 0, 0, {EV::MouseMove}, 0, false, 0},
      {"nothing to translate", 0x100, kAlertTranslate, To::Frame, 0x100, 0, 0, {}, 0, false, 0},
      {"wheel on the frame", WM_MOUSEWHEEL, kDefault, To::Frame, WM_MOUSEWHEEL, 0, 0, {}, 42, true, 0},
      {"wheel on the client area", WM_MOUSEWHEEL, kDefault, To::Client, WM_MOUSEWHEEL, 0, 0, {AlertedMessageEvent}, 42, true, 0},
      {"paint on the client area", WM_PAINT, kDefault, To::Client, WM_PAINT, 0, 0, {}, 42, true, 0},
      {"paint on the frame", WM_PAINT, kDefault, To::Frame, WM_PAINT, 0, 0, {AlertedMessageEvent}, 42, true, 0},
      {"not alerted", 0x100, kDefault, To::Frame, 0x101, 0, 0, {}, 42, true, 0},
      {"a handle without records", 0x100, kDefault, To::NoRecords, 0x100, 0, 0, {}, 0, false, kErrWinAccept},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    pu::Window w, other;
    other.Open();
    AsTarget(w, [&] {
      const pu::HWND frame = pu::FrameHandle(w), client = pu::ClientHandle(w);
      pu::SetWindowProc(frame, Previous);
      pu::SetWindowProc(client, Previous);
      if (r.action == kDefault) WinAlert(static_cast<LONG>(r.alert), 0, 0, 1, 1, 0);
      else WinAlert(static_cast<LONG>(r.alert), 0, 0, 1, 0, r.action);
      Events(w);
      Events(other);
      pu::HWND to = r.to == To::Frame ? frame : r.to == To::Client ? client : pu::FrameHandle(other);
      if (r.to == To::NoRecords) pu::SetWindowProc(to, WinAccept);
      gPassed = 0;
      EXPECT_EQ(pu::SendMessage(to, r.message, r.wParam, r.lParam), r.answer);
      EXPECT_EQ(gPassed != 0, r.passed);
      EXPECT_EQ(Events(r.to == To::NoRecords ? other : w), r.events);
      EXPECT_EQ(LibraryErrorCode(), r.error);
      if (r.error != 0) {
        EXPECT_EQ(LibraryErrorDetail(), "WinAccept get on queue WA failed(2), wa:handel = " + std::to_string(to));
      }
    });
  }
}

using Hook = HookFixture;

TEST_F(Hook, AlertingTwiceSubclassesOnceAndKeepsTheSecondAction) {
  pu::Window w;
  AsTarget(w, [&] {
    const pu::HWND frame = pu::FrameHandle(w), client = pu::ClientHandle(w);
    pu::SetWindowProc(frame, Previous);
    pu::SetWindowProc(client, Previous);
    WinAlert(0x100, 0, 0, 1, 0, kAlertAnswer1);
    WinAlert(0x100, 0, 0, 1, 1, 0);
    WinAlert(0x101, 0, 0, 1, 1, 0);
    EXPECT_EQ(pu::GetWindowProc(frame), &WinAccept);
    EXPECT_EQ(pu::GetWindowProc(client), &WinAccept);
    ASSERT_EQ(RecordsOf(w).size(), 4u);
    for (const AlertRecord& r : RecordsOf(w)) {
      EXPECT_EQ(r.RETURNTO, &Previous) << "the procedure below the hook, never the hook itself";
      EXPECT_EQ(r.ACTION, kDefaultAlertAction);
      EXPECT_EQ(r.THREAD, pu::ThreadNumber());
      EXPECT_EQ(r.ISCLIENTAREA, r.HANDEL == client ? 1 : 0);
      EXPECT_TRUE(r.HANDEL == frame || r.HANDEL == client) << "the handle whole";
    }
    EXPECT_TRUE(std::is_sorted(WA().begin(), WA().end(),
                               [](const AlertRecord& a, const AlertRecord& b) { return a.HANDEL < b.HANDEL; }));
    gPassed = 0;
    EXPECT_EQ(pu::SendMessage(frame, 0x100, 0, 0), 42);
    EXPECT_EQ(gPassed, 1) << "the message went through the hook once";
  });
}

TEST_F(Hook, AnEventGoesToTheWindowThatGotTheMessageWhileAnotherRunsAboveIt) {
  pu::Window main, dialog;
  AsTarget(main, [&] {
    WinAlert(TaskBarCallBackMsg, 0, 0, 1, 1, 0);
    Events(main);
    AsTarget(dialog, [&] {
      // The icon of the window below is clicked while the dialog's
      // controller runs.
      pu::SendMessage(pu::FrameHandle(main), TaskBarCallBackMsg, 1, WM_LBUTTONUP);
      EXPECT_TRUE(Events(dialog).empty()) << "the click is not the dialog's";
      EXPECT_EQ(Events(main), std::vector<int>{TrayLeftUpEvent})
          << "the click reaches the window whose icon it was, though a dialog runs above it";
    });
  });
}

TEST_F(Hook, RangesAndAnEmptyRange) {
  pu::Window w, empty;
  AsTarget(w, [&] {
    WinAlert(0x100, 0, 0x102, 0, 1, 0);
    EXPECT_EQ(RecordsOf(w).size(), 6u);
    for (LONG m : {0x100, 0x101, 0x102}) EXPECT_TRUE(std::binary_search(MA().begin(), MA().end(), m));
    EXPECT_TRUE(std::is_sorted(MA().begin(), MA().end()));
    WinAlert(0x100, 0, 0x200, 1, 1, 0);  // single: the first alone, already there
    EXPECT_EQ(RecordsOf(w).size(), 6u);
  });
  AsTarget(empty, [&] {
    WinAlert(0x300, 0, 0x2FF, 0, 1, 0);
    WinAlert(0x300, 0, 0x2FF, 0, 1, 0);
    EXPECT_TRUE(RecordsOf(empty).empty());
    EXPECT_EQ(pu::GetWindowProc(pu::FrameHandle(empty)), &pu::PlatformWindowProc)
        << "nothing alerted, nothing subclassed: the window keeps working";
    EXPECT_EQ(pu::SendMessage(pu::FrameHandle(empty), pu::WM_GETTEXTLENGTH, 0, 0), 0);
    EXPECT_EQ(LibraryErrorCode(), 0);
  });
}

TEST_F(Hook, GettersKeepTheLastValues) {
  pu::Window w;
  AsTarget(w, [&] {
    const pu::HWND frame = pu::FrameHandle(w);
    pu::SetWindowProc(frame, Previous);
    WinSysEvent(1);
    EXPECT_EQ(WinSysEvent(0), 0);
    for (pu::UINT m : {pu::WM_SYSCOMMAND, pu::WM_WTSSESSION_CHANGE, pu::UINT{0x100}, TaskBarCallBackMsg})
      WinAlert(static_cast<LONG>(m), 0, 0, 1, 1, 0);
    pu::SendMessage(frame, pu::WM_SYSCOMMAND, pu::SC_RESTORE, 0);
    pu::SendMessage(frame, pu::WM_WTSSESSION_CHANGE, 8, 5);
    pu::SendMessage(frame, 0x100, 0, 0);
    pu::SendMessage(frame, TaskBarCallBackMsg, 1, WM_LBUTTONUP);
    pu::SendMessage(frame, 0x101, 0, 0);  // not alerted: changes nothing
    EXPECT_EQ(WinSysEvent(1), 274);
    EXPECT_EQ(LibraryProcedureName(), "WinSysEvent");
    EXPECT_EQ(WinSysEvent(0), 0);
    EXPECT_EQ(WinWtsEvent(0), 8);
    EXPECT_EQ(WinWtsID(), 5);
    EXPECT_EQ(WinWtsEvent(1), 8);
    EXPECT_EQ(WinWtsEvent(0), 0);
    EXPECT_EQ(WinWtsID(), 5) << "never reset";
    EXPECT_EQ(Winhook(), 0x100) << "neither the icon's callback nor a message not alerted";
  });
}

TEST_F(Hook, SessionChangesWithoutASessionLeaveTheRecordUnregistered) {
  pu::Window w;
  AsTarget(w, [&] {
    WinAlert(static_cast<LONG>(pu::WM_WTSSESSION_CHANGE), 0, 0, 1, 1, 0);
    EXPECT_EQ(LibraryErrorCode(), kErrAddAlerts);
    EXPECT_EQ(LibraryErrorDetail().rfind("WinAlert Error : WTSRegisterSessionNotification, wa:Handel = " +
                                             std::to_string(pu::FrameHandle(w)) + " ",
                                         0),
              0u)
        << LibraryErrorDetail();
    ASSERT_EQ(RecordsOf(w).size(), 2u);
    for (const AlertRecord& r : RecordsOf(w)) EXPECT_EQ(r.WTSNOTIFYENABLED, 0);
  });
}

TEST_F(Hook, RemovingAlertsRestoresTheProcedureAndCutsOutALaterSubclass) {
  pu::Window w;
  AsTarget(w, [&] {
    const pu::HWND frame = pu::FrameHandle(w), client = pu::ClientHandle(w);
    pu::SetWindowProc(frame, Previous);
    WinAlert(TaskBarCallBackMsg, 0, 0, 1, 1, 0);
    gBelowLater = pu::SetWindowProc(frame, Later);
    EXPECT_EQ(gBelowLater, &WinAccept);
    const std::vector<LONG> ma = MA();

    WinAlert(0, 1, 0, 0, 1, 0);  // remove without single: nothing
    EXPECT_EQ(pu::GetWindowProc(frame), &Later);
    WinAlert(0, 1, 0, 1, 1, 0);
    EXPECT_EQ(pu::GetWindowProc(frame), &Previous);
    EXPECT_EQ(pu::GetWindowProc(client), &pu::PlatformWindowProc);
    EXPECT_TRUE(RecordsOf(w).empty());
    EXPECT_EQ(MA(), ma);

    // What still reaches the hook through the later subclass.
    EXPECT_EQ(Later(frame, TaskBarCallBackMsg, 1, WM_LBUTTONUP), 0);
    EXPECT_EQ(LibraryErrorCode(), kErrWinAccept);
    EXPECT_TRUE(Events(w).empty());
  });
}

TEST_F(Hook, WithoutATargetTheSubclassingFails) {
  WinAlert(0x100, 0, 0, 1, 1, 0);
  EXPECT_EQ(LibraryErrorCode(), kErrAddAlerts);
  EXPECT_EQ(LibraryErrorDetail(), "WinAlert Error : SetLongWindow failed, ch:handel=0 Invalid window handle");
  RemoveAlerts();  // nothing to remove
}

}  // namespace
}  // namespace syslib
