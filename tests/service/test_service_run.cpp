// The service host in process: a notification socket stands for the service
// manager, a small window procedure for the main window. What the service
// reports and what the main procedure does go into one ordered log.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/eventloop.h"
#include "platform/msgbox.h"
#include "platform/signals.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "service/service.h"
#include "tests/support/notify_socket.h"

namespace {

// Before main and any thread of the test: the signals are read by the
// program's signal watch only.
const bool gBlocked = (platform::BlockSignals(), true);

using namespace std::chrono_literals;
namespace pui = platform::ui;
using Log = std::vector<std::string>;

constexpr auto kLimit = 10s;
constexpr const char* kRunning = "READY=1\nSTATUS=Running";
constexpr const char* kStopPending = "STOPPING=1\nSTATUS=Stop pending";
constexpr const char* kStopped = "STATUS=Stopped";
constexpr const char* kMainOpen = "main: open";
constexpr const char* kMainReturned = "main: returned";
constexpr const char* kDispatcherReturned = "dispatcher: returned";

using testsupport::NotifySocket;

// The main procedure: one headless window until it closes; then, when
// asked, something more before it returns.
struct MainWindow : pui::WindowController {
  using WindowController::WindowController;
  NotifySocket* log = nullptr;
  bool closeAtOnce = false;
  int OnWindowEvent() override {
    if (window().EventNumber() == pui::EVENT::OpenWindow) {
      log->Mark(kMainOpen);
      if (closeAtOnce) window().Post(pui::EVENT::CloseWindow);
    }
    return WindowController::OnWindowEvent();
  }
};

class ServiceRun : public ::testing::Test {
 protected:
  ServiceRun() {
    EXPECT_TRUE(gBlocked && platform::StartSignalWatch());
    NewManager();
    service::ServiceState = 0;
    service::ServiceRunning = 0;
    service::ServicePaused = 0;
    service::ServiceStatusHandle = 0;
    platform::SetBoxView([this](std::string_view text, std::string_view caption, platform::BoxIcon, unsigned,
                                unsigned) {
      std::lock_guard l(boxMutex_);
      boxes_.push_back(std::string(caption) + ": " + std::string(text));
      return unsigned{platform::BoxOk};
    });
    service::SetMainProcedure([this] {
      {
        pui::Window w;
        MainWindow c(w);
        c.log = notify_.get();
        c.closeAtOnce = mainClosesAtOnce_;
        c.Run();
      }
      if (afterMain_) afterMain_();
      notify_->Mark(kMainReturned);
    });
  }
  // A manager of its own for the next run.
  void NewManager() {
    notify_.reset();
    notify_ = std::make_unique<NotifySocket>();
    ::setenv("NOTIFY_SOCKET", notify_->path().c_str(), 1);
  }
  ~ServiceRun() override {
    if (first_.joinable()) first_.join();
    service::SetMainProcedure(nullptr);
    platform::SetBoxView(nullptr);
    ::unsetenv("NOTIFY_SOCKET");
  }

  // The first thread: the dispatcher (with, when asked, a SIGTERM sent
  // before it starts, waiting in the signal watch for its route).
  void StartDispatcher(bool stopPending = false) {
    if (stopPending) {
      platform::SetSignalRoute(nullptr);
      ::kill(::getpid(), SIGTERM);
    }
    first_ = std::thread([this] {
      service::StartServiceDispatcher();
      notify_->Mark(kDispatcherReturned);
    });
  }
  void StartAndWaitUntilOpen() {
    StartDispatcher();
    ASSERT_TRUE(notify_->WaitFor(kRunning, kLimit));
    ASSERT_TRUE(notify_->WaitFor(kMainOpen, kLimit));
  }
  void WaitForTheEnd() {
    ASSERT_TRUE(notify_->WaitFor(kDispatcherReturned, kLimit));
    first_.join();
  }
  std::vector<std::string> Boxes() {
    std::lock_guard l(boxMutex_);
    return boxes_;
  }

  std::unique_ptr<NotifySocket> notify_;
  bool mainClosesAtOnce_ = false;
  std::function<void()> afterMain_;
  std::thread first_;
  std::mutex boxMutex_;
  std::vector<std::string> boxes_;
};

TEST_F(ServiceRun, ControlsGiveTheirReportsAndStates) {
  struct Row {
    uint32_t control;
    const char* report;  // nullptr: nothing is reported
    int32_t state;
  };
  const Row rows[] = {
      {service::SERVICE_CONTROL_INTERROGATE, kRunning, 4},
      {service::SERVICE_CONTROL_PAUSE, "STATUS=Pause pending", 7},  // while running
      {service::SERVICE_CONTROL_PAUSE, nullptr, 7},                 // while paused
      {service::SERVICE_CONTROL_INTERROGATE, "STATUS=Paused", 7},
      {service::SERVICE_CONTROL_CONTINUE, "STATUS=Continue pending", 4},
      {service::SERVICE_CONTROL_CONTINUE, nullptr, 4},  // not paused
      {128, kRunning, 4},                               // any other code interrogates
      {service::SERVICE_CONTROL_PAUSE, "STATUS=Pause pending", 7},
      {service::SERVICE_CONTROL_CONTINUE, "STATUS=Continue pending", 4},
  };
  for (const uint32_t ending : {service::SERVICE_CONTROL_STOP, service::SERVICE_CONTROL_SHUTDOWN}) {
    SCOPED_TRACE(ending);
    if (ending != service::SERVICE_CONTROL_STOP) NewManager();
    NotifySocket& log = *notify_;
    StartAndWaitUntilOpen();
    Log expected = log.Entries();
    ASSERT_EQ(expected, (Log{kRunning, kMainOpen}));
    for (const Row& r : rows) {
      service::ServiceControlHandler(r.control);
      if (r.report) expected.push_back(r.report);
      // An interrogation after each row shows that nothing else was reported.
      service::ServiceControlHandler(service::SERVICE_CONTROL_INTERROGATE);
      expected.push_back(r.state == 7 ? "STATUS=Paused" : kRunning);
      ASSERT_TRUE(log.WaitForSize(expected.size(), kLimit));
      EXPECT_EQ(log.Entries(), expected) << "control " << r.control;
      EXPECT_EQ(service::ServiceState, r.state) << "control " << r.control;
      EXPECT_EQ(service::ServicePaused, r.state == 7 ? 1 : 0) << "control " << r.control;
      EXPECT_EQ(service::ServiceRunning, 1) << "control " << r.control;
    }

    service::ServiceControlHandler(ending);
    WaitForTheEnd();
    expected.insert(expected.end(), {kStopPending, kMainReturned, kStopped, kDispatcherReturned});
    EXPECT_EQ(log.Entries(), expected);
    EXPECT_EQ(service::ServiceState, 1);
    EXPECT_EQ(service::ServiceRunning, 0);
    EXPECT_TRUE(Boxes().empty());
  }
}

TEST_F(ServiceRun, TheStoppedReportWaitsUntilMainHasReturned) {
  // Main lingers after its window has closed; a stopped report sent before
  // Main returns is seen while it lingers.
  afterMain_ = [this] { notify_->WaitFor(kStopped, 500ms); };
  StartAndWaitUntilOpen();
  service::ServiceControlHandler(service::SERVICE_CONTROL_STOP);
  WaitForTheEnd();
  EXPECT_EQ(notify_->Entries(),
            (Log{kRunning, kMainOpen, kStopPending, kMainReturned, kStopped, kDispatcherReturned}));
}

TEST_F(ServiceRun, ASigtermBeforeTheDispatcherStopsTheServiceAfterItsStart) {
  StartDispatcher(/*stopPending=*/true);
  WaitForTheEnd();
  const Log log = notify_->Entries();
  // The window may or may not have opened before the close-down reached it.
  Log withoutOpen;
  for (const auto& e : log)
    if (e != kMainOpen) withoutOpen.push_back(e);
  EXPECT_EQ(withoutOpen, (Log{kRunning, kStopPending, kMainReturned, kStopped, kDispatcherReturned})) << log.size();
  EXPECT_EQ(service::ServiceState, 1);
}

TEST_F(ServiceRun, AMainThatClosesByItselfStopsTheService) {
  mainClosesAtOnce_ = true;
  StartDispatcher();
  WaitForTheEnd();
  EXPECT_EQ(notify_->Entries(), (Log{kRunning, kMainOpen, kMainReturned, kStopped, kDispatcherReturned}));
  EXPECT_EQ(service::ServiceState, 1);
  EXPECT_EQ(service::ServiceRunning, 0);
}

TEST_F(ServiceRun, WithoutTheManagerTheDispatcherFailsWithItsBox) {
  ::unsetenv("NOTIFY_SOCKET");
  StartDispatcher();
  WaitForTheEnd();
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Error: FAILED SERVICE CONTROLLER CONNECT.\rCannot start service."});
  EXPECT_EQ(notify_->Entries(), Log{kDispatcherReturned}) << "Main never ran";
}

TEST(ServiceStatus, EachReportFillsTheStatusByItsState) {
  struct Row {
    int32_t state, exitCode, specific;
    uint32_t accepted, win32Exit;
    const char* notification;
  } rows[] = {
      {1, 0, 0, 0, 0, "STATUS=Stopped"},
      {2, 0, 0, 0, 0, "STATUS=Start pending"},
      {3, 0, 0, 3, 0, "STOPPING=1\nSTATUS=Stop pending"},
      {4, 0, 0, 5, 0, "READY=1\nSTATUS=Running"},
      {5, 0, 0, 0, 0, "STATUS=Continue pending"},
      {6, 0, 0, 0, 0, "STATUS=Pause pending"},
      {7, 0, 0, 0, 0, "STATUS=Paused"},
      {1, 5, 0, 0, 5, "STATUS=Stopped"},
      {1, 5, 42, 0, 1066, "STATUS=Stopped"},
  };
  for (const Row& r : rows) {
    const service::SERVICE_STATUS s = service::ServiceStatusFor(r.state, r.exitCode, r.specific, 1, 1000);
    EXPECT_EQ(s.dwServiceType, 0x110u);
    EXPECT_EQ(s.dwCurrentState, static_cast<uint32_t>(r.state));
    EXPECT_EQ(s.dwControlsAccepted, r.accepted) << r.state;
    EXPECT_EQ(s.dwWin32ExitCode, r.win32Exit);
    EXPECT_EQ(s.dwServiceSpecificExitCode, static_cast<uint32_t>(r.specific));
    EXPECT_EQ(s.dwCheckPoint, 1u);
    EXPECT_EQ(s.dwWaitHint, 1000u);
    EXPECT_EQ(service::StatusNotification(s), r.notification);
  }
}

}  // namespace
