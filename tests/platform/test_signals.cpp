// The signal watch in a process whose every thread blocks the signals, as
// the program's do from the first line of main.
#include "platform/signals.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/thread.h"

namespace platform {
namespace {

using namespace std::chrono_literals;

// Before main and any thread of the test.
const bool gBlocked = (BlockSignals(), true);

struct Routed {
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<int> seen;
  SignalRoute Route() {
    return [this](int s) {
      {
        std::lock_guard lock(mutex);
        seen.push_back(s);
      }
      cv.notify_all();
    };
  }
  bool WaitFor(std::size_t n) {
    std::unique_lock lock(mutex);
    return cv.wait_for(lock, 5s, [&] { return seen.size() >= n; });
  }
};

TEST(SignalWatch, EachSignalReachesTheRouteSetForIt) {
  ASSERT_TRUE(gBlocked);
  ASSERT_TRUE(StartSignalWatch());
  EXPECT_TRUE(StartSignalWatch()) << "once";

  Routed first;
  SetSignalRoute(first.Route());
  std::size_t sent = 0;
  for (int s : {SIGTERM, SIGINT, SIGHUP}) {
    ASSERT_EQ(::kill(::getpid(), s), 0);
    ASSERT_TRUE(first.WaitFor(++sent)) << s;
  }
  {
    std::lock_guard lock(first.mutex);
    EXPECT_EQ(first.seen, (std::vector<int>{SIGTERM, SIGINT, SIGHUP}));
  }

  // Without a route a signal waits for the next one; the one before gets
  // nothing more.
  SetSignalRoute(nullptr);
  ASSERT_EQ(::kill(::getpid(), SIGHUP), 0);
  Routed second;
  SetSignalRoute(second.Route());
  ASSERT_TRUE(second.WaitFor(1));
  ASSERT_EQ(::kill(::getpid(), SIGTERM), 0);
  ASSERT_TRUE(second.WaitFor(2));
  {
    std::lock_guard lock(second.mutex);
    EXPECT_EQ(second.seen, (std::vector<int>{SIGHUP, SIGTERM}));
  }

  StopSignalWatch();
  StopSignalWatch();
  SetSignalRoute(nullptr);
  std::lock_guard lock(first.mutex);
  EXPECT_EQ(first.seen.size(), 3u);
}

}  // namespace
}  // namespace platform
