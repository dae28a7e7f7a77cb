#include <gtest/gtest.h>
#include <signal.h>

#include <mutex>
#include <string>
#include <vector>

#include "platform/thread.h"

namespace {

TEST(Threads, AttachAndDetachRunOnEveryPlatformThreadInOrder) {
  static std::mutex m;
  static std::vector<std::string> log;
  platform::RegisterThreadHooks([](bool first) {
    std::lock_guard l(m);
    log.push_back(first ? "attach1:first" : "attach1");
  }, [] {
    std::lock_guard l(m);
    log.push_back("detach1");
  });
  platform::RegisterThreadHooks([](bool) {
    std::lock_guard l(m);
    log.push_back("attach2");
  }, [] {
    std::lock_guard l(m);
    log.push_back("detach2");
  });
  bool attachedInside = false, firstInside = true;
  {
    platform::Thread t([&] {
      attachedInside = platform::ThreadAttached();
      firstInside = platform::IsFirstThread();
    });
  }
  EXPECT_TRUE(attachedInside);
  EXPECT_FALSE(firstInside);
  EXPECT_EQ(log, (std::vector<std::string>{"attach1", "attach2", "detach2", "detach1"}));
}

TEST(Threads, BlockedSignalsAreInheritedByLaterThreads) {
  sigset_t old;
  pthread_sigmask(SIG_SETMASK, nullptr, &old);
  platform::BlockSignals();
  bool blocked = false;
  {
    platform::Thread t([&] {
      sigset_t now;
      pthread_sigmask(SIG_SETMASK, nullptr, &now);
      blocked = sigismember(&now, SIGTERM) && sigismember(&now, SIGHUP) && sigismember(&now, SIGINT);
    });
  }
  EXPECT_TRUE(blocked);
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

}  // namespace
