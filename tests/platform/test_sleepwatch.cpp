// The sleep watch on a bus daemon of the test's own, standing in for the
// system bus, on which the test plays logind.
#include "platform/sleepwatch.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <systemd/sd-bus.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/child.h"

namespace platform {
namespace {

using namespace std::chrono_literals;

// A connection to the test's bus.
struct Peer {
  explicit Peer(const std::string& address) {
    EXPECT_GE(sd_bus_new(&bus), 0);
    sd_bus_set_address(bus, address.c_str());
    sd_bus_set_bus_client(bus, 1);
    EXPECT_GE(sd_bus_start(bus), 0);
  }
  ~Peer() { sd_bus_flush_close_unref(bus); }
  void Emit(bool sleeping) {
    EXPECT_GE(sd_bus_emit_signal(bus, "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep",
                                 "b", sleeping ? 1 : 0),
              0);
    sd_bus_flush(bus);
  }
  sd_bus* bus = nullptr;
};

class SleepWatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    daemon_ = std::make_unique<testsupport::Child>("/usr/bin/dbus-daemon",
                                                   std::vector<std::string>{"--session", "--nofork", "--print-address=1"});
    ASSERT_TRUE(daemon_->WaitForOutput("unix:", 10s)) << daemon_->err();
    address_ = daemon_->out().substr(0, daemon_->out().find('\n'));
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
  }
  void TearDown() override { ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS"); }

  std::unique_ptr<testsupport::Child> daemon_;
  std::string address_;
};

struct Seen {
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<bool> calls;
  std::function<void(bool)> Sink() {
    return [this](bool s) {
      {
        std::lock_guard lock(mutex);
        calls.push_back(s);
      }
      cv.notify_all();
    };
  }
  std::vector<bool> WaitFor(std::size_t n) {
    std::unique_lock lock(mutex);
    cv.wait_for(lock, 5s, [&] { return calls.size() >= n; });
    return calls;
  }
};

TEST_F(SleepWatchTest, LogindsSleepAndWakeComeInOrderAndNobodyElseIsHeard) {
  Seen seen;
  SleepWatch watch(seen.Sink());
  ASSERT_TRUE(watch.WaitListening(5s));

  Peer stranger(address_);
  Peer logind(address_);
  ASSERT_GE(sd_bus_request_name(logind.bus, "org.freedesktop.login1", 0), 0);
  stranger.Emit(true);  // not logind: not heard
  logind.Emit(true);
  logind.Emit(false);
  EXPECT_EQ(seen.WaitFor(2), (std::vector<bool>{true, false}));
}

TEST(SleepWatchNoBus, WithoutABusNothingListens) {
  ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/velorn-no-bus", 1);
  Seen seen;
  SleepWatch watch(seen.Sink());
  EXPECT_FALSE(watch.WaitListening(5s));
  ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

}  // namespace
}  // namespace platform
