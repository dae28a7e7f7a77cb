// Session notifications over a bus of the test's own, where a stand-in for
// logind answers GetSessionByPID and sends the session's Lock and Unlock.
#include "syslib/wtsapi.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/window.h"
#include "tests/support/target.h"
#include "syslib/winhook.h"
#include "tests/support/child.h"
#include "tests/support/tempdir.h"

namespace syslib {
namespace {

using testsupport::AsTarget;

using namespace std::chrono_literals;

constexpr const char* kSessionPath = "/org/freedesktop/login1/session/_32";  // session "2"

// The stand-in for logind on its own connection and thread. Commands come
// through an eventfd-like pipe: 'L' Lock, 'U' Unlock, 'Q' quit.
class FakeLogind {
 public:
  FakeLogind(const std::string& address, bool hasSession) : hasSession_(hasSession) {
    EXPECT_EQ(::pipe2(pipe_, O_CLOEXEC), 0);
    EXPECT_GE(sd_bus_new(&bus_), 0);
    sd_bus_set_address(bus_, address.c_str());
    sd_bus_set_bus_client(bus_, 1);
    EXPECT_GE(sd_bus_start(bus_), 0);
    EXPECT_GE(sd_bus_add_object_vtable(bus_, &slot_, "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                       kVtable, this),
              0);
    EXPECT_GE(sd_bus_request_name(bus_, "org.freedesktop.login1", 0), 0);
    thread_ = std::thread([this] { Run(); });
  }
  ~FakeLogind() {
    Send('Q');
    thread_.join();
    sd_bus_slot_unref(slot_);
    sd_bus_flush_close_unref(bus_);
    ::close(pipe_[0]);
    ::close(pipe_[1]);
  }
  void Send(char c) { EXPECT_EQ(::write(pipe_[1], &c, 1), 1); }

 private:
  static int GetSessionByPID(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    auto* self = static_cast<FakeLogind*>(userdata);
    uint32_t pid = 0;
    sd_bus_message_read(m, "u", &pid);
    if (!self->hasSession_ || pid != static_cast<uint32_t>(::getpid()))
      return sd_bus_error_set(error, "org.freedesktop.login1.NoSessionForPID", "no session");
    return sd_bus_reply_method_return(m, "o", kSessionPath);
  }
  static constexpr sd_bus_vtable kVtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD("GetSessionByPID", "u", "o", GetSessionByPID, SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_VTABLE_END,
  };

  void Run() {
    for (;;) {
      while (sd_bus_process(bus_, nullptr) > 0) {
      }
      pollfd fds[2] = {{sd_bus_get_fd(bus_), static_cast<short>(sd_bus_get_events(bus_)), 0}, {pipe_[0], POLLIN, 0}};
      ::poll(fds, 2, -1);
      if ((fds[1].revents & POLLIN) == 0) continue;
      char c = 0;
      if (::read(pipe_[0], &c, 1) != 1 || c == 'Q') return;
      sd_bus_emit_signal(bus_, kSessionPath, "org.freedesktop.login1.Session", c == 'L' ? "Lock" : "Unlock", "");
      sd_bus_flush(bus_);
    }
  }

  bool hasSession_;
  int pipe_[2] = {-1, -1};
  sd_bus* bus_ = nullptr;
  sd_bus_slot* slot_ = nullptr;
  std::thread thread_;
};

// A bus of the test's own, named as the system bus for the library.
class PrivateBus : public ::testing::Test {
 protected:
  PrivateBus()
      : daemon_("/usr/bin/dbus-daemon",
                {"--session", "--nofork", "--print-address=1", "--address=unix:path=" + dir_.file("bus")}) {
    EXPECT_TRUE(daemon_.WaitForOutput("unix:", 10s)) << daemon_.err();
    address_ = "unix:path=" + dir_.file("bus");
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
    platform::ui::SetThreadView(&platform::ui::SharedNativeHeadlessView());
  }
  ~PrivateBus() override {
    platform::ui::SetThreadView(nullptr);
    ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
  }

  testsupport::TempDir dir_;
  testsupport::Child daemon_;
  std::string address_;
};

// Dispatches the thread's native messages until a window has the event,
// for at most ten seconds.
bool AwaitEvent(const platform::ui::Window& w, int event) {
  auto& q = platform::ui::ThisThreadQueue();
  const auto until = std::chrono::steady_clock::now() + 10s;
  for (;;) {
    const uint64_t seen = q.Generation();
    platform::ui::DispatchNativeMessages();
    while (auto e = q.TakeFor(w.Id(), false))
      if (e->number == event) return true;
    if (std::chrono::steady_clock::now() >= until) return false;
    q.WaitUntil(seen, until);
  }
}

int gToB = 0;
platform::ui::LRESULT CountSessionChanges(platform::ui::HWND, platform::ui::UINT m, platform::ui::WPARAM,
                                          platform::ui::LPARAM) {
  if (m == platform::ui::WM_WTSSESSION_CHANGE) ++gToB;
  return 0;
}

TEST_F(PrivateBus, LockAndUnlockOfTheSessionReachTheRegisteredWindows) {
  FakeLogind logind(address_, /*hasSession=*/true);
  platform::ui::Window a, b;
  AsTarget(a, [&] {
    WinAlert(static_cast<LONG>(platform::ui::WM_WTSSESSION_CHANGE), 0, 0, 1, 1, 0);
    EXPECT_EQ(LibraryErrorCode(), 0) << LibraryErrorDetail();
    for (const AlertRecord& r : WA()) {
      if (r.HANDEL == platform::ui::FrameHandle(a)) {
        EXPECT_EQ(r.WTSNOTIFYENABLED, 1);
      }
    }
    b.Open();
    platform::ui::SetWindowProc(platform::ui::FrameHandle(b), CountSessionChanges);
    ASSERT_EQ(WTSRegisterSessionNotification(platform::ui::FrameHandle(b), NOTIFY_FOR_ALL_SESSIONS), 1);
    ASSERT_EQ(WTSRegisterSessionNotification(platform::ui::FrameHandle(b), NOTIFY_FOR_ALL_SESSIONS), 1);

    logind.Send('L');
    ASSERT_TRUE(AwaitEvent(a, SessionChangeEvent));
    EXPECT_EQ(WinWtsEvent(0), static_cast<LONG>(WTS_SESSION_LOCK));
    EXPECT_EQ(WinWtsID(), 2);
    logind.Send('U');
    ASSERT_TRUE(AwaitEvent(a, SessionChangeEvent));
    EXPECT_EQ(WinWtsEvent(0), static_cast<LONG>(WTS_SESSION_UNLOCK));
    EXPECT_GE(gToB, 1) << "the Lock, posted before the Unlock was sent";

    EXPECT_EQ(WTSUnRegisterSessionNotification(platform::ui::FrameHandle(b)), 1);
    EXPECT_EQ(WTSUnRegisterSessionNotification(platform::ui::FrameHandle(b)), 0) << "registered once";
    RemoveAlerts();
    EXPECT_EQ(LibraryErrorCode(), 0) << LibraryErrorDetail();
  });
}

TEST_F(PrivateBus, WithoutASessionRegistrationFails) {
  FakeLogind logind(address_, /*hasSession=*/false);
  platform::ui::Window w;
  AsTarget(w, [&] {
    EXPECT_EQ(WTSRegisterSessionNotification(platform::ui::FrameHandle(w), NOTIFY_FOR_ALL_SESSIONS), 0);
    WinAlert(static_cast<LONG>(platform::ui::WM_WTSSESSION_CHANGE), 0, 0, 1, 1, 0);
    EXPECT_EQ(LibraryErrorCode(), kErrAddAlerts);
  });
}

}  // namespace
}  // namespace syslib
