#include "tests/support/test_guard.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace testsupport {
namespace {

constexpr int kFailureLimit = 1000;
constexpr int kDefaultLimit = 60;  // seconds

// What the time limit writes when it runs out, made at each test's start.
char gLine[512];
std::size_t gLineSize = 0;
timer_t gTimer{};
bool gHaveTimer = false;

// On the timer's signal: only what may run in a signal handler.
void Expired(int) {
  [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, gLine, gLineSize);
  ::_exit(1);
}

int Limit() {
  const char* v = std::getenv("VELORN_CASE_LIMIT");
  const int n = v != nullptr ? std::atoi(v) : 0;
  return n > 0 ? n : kDefaultLimit;
}

void Arm(int seconds) {
  if (!gHaveTimer) return;
  itimerspec t{};
  t.it_value.tv_sec = seconds;
  timer_settime(gTimer, 0, &t, nullptr);
}

class Guard final : public testing::EmptyTestEventListener {
 public:
  explicit Guard(int limit) : limit_(limit) {}

  void OnTestStart(const testing::TestInfo& t) override {
    failures_ = 0;
    name_ = std::string(t.test_suite_name()) + "." + t.name();
    std::snprintf(gLine, sizeof gLine, "\n[  GUARD   ] %s did not end within %d s: stopped\n", name_.c_str(), limit_);
    gLineSize = std::strlen(gLine);
    Arm(limit_);
  }
  void OnTestPartResult(const testing::TestPartResult& r) override {
    if (!r.failed() || ++failures_ < kFailureLimit) return;
    std::fflush(stdout);
    std::fprintf(stderr, "\n[  GUARD   ] %s: %d failures and still failing (a loop that never ends): stopped\n",
                 name_.c_str(), failures_);
    std::fflush(stderr);
    std::_Exit(1);
  }
  void OnTestEnd(const testing::TestInfo&) override { Arm(0); }

 private:
  const int limit_;
  int failures_ = 0;
  std::string name_;
};

}  // namespace

void InstallTestGuard() {
  // A real-time signal of its own: SIGALRM is the tests' (fake_programs.h),
  // and the program's threads block the usual ones.
  const int signal = SIGRTMIN + 3;
  struct sigaction a {};
  a.sa_handler = Expired;
  sigemptyset(&a.sa_mask);
  ::sigaction(signal, &a, nullptr);
  sigevent e{};
  e.sigev_notify = SIGEV_SIGNAL;
  e.sigev_signo = signal;
  gHaveTimer = timer_create(CLOCK_MONOTONIC, &e, &gTimer) == 0;
  testing::UnitTest::GetInstance()->listeners().Append(new Guard(Limit()));
}

}  // namespace testsupport
