// A clock for tests: the date and time of day are set by the test and move
// on only when someone sleeps (or the test advances them), the monotonic
// time with them.
#pragma once

#include <mutex>

#include "platform/clock.h"
#include "platform/stdtime.h"

namespace testsupport {

class FakeClock final : public platform::Clock {
 public:
  FakeClock(platform::StdDate date, platform::StdTime time) : date_(date), time_(time) {}

  platform::StdDate Today() override {
    std::lock_guard l(m_);
    return date_;
  }
  platform::StdTime ClockTime() override {
    std::lock_guard l(m_);
    return time_;
  }
  Monotonic::time_point Now() override {
    std::lock_guard l(m_);
    return Monotonic::time_point(std::chrono::duration_cast<Monotonic::duration>(elapsed_));
  }
  void Sleep(std::chrono::nanoseconds d) override {
    if (d.count() > 0) Advance(d);
  }

  void Set(platform::StdDate date, platform::StdTime time) {
    std::lock_guard l(m_);
    date_ = date;
    time_ = time;
  }
  // Moves on by d, across midnight when it gets there.
  void Advance(std::chrono::nanoseconds d) {
    std::lock_guard l(m_);
    elapsed_ += d;
    carry_ += d;
    const auto hundredth = std::chrono::milliseconds(10);
    while (carry_ >= hundredth) {
      carry_ -= hundredth;
      if (++time_ > platform::kLastTime) {
        time_ = platform::kMidnight;
        ++date_;
      }
    }
  }
  std::chrono::nanoseconds Slept() {
    std::lock_guard l(m_);
    return elapsed_;
  }

 private:
  std::mutex m_;
  platform::StdDate date_;
  platform::StdTime time_;
  std::chrono::nanoseconds elapsed_{0};
  std::chrono::nanoseconds carry_{0};
};

// Installs a clock for the lifetime of the guard.
class ClockGuard {
 public:
  explicit ClockGuard(platform::Clock* c) { platform::SetClock(c); }
  ~ClockGuard() { platform::SetClock(nullptr); }
  ClockGuard(const ClockGuard&) = delete;
  ClockGuard& operator=(const ClockGuard&) = delete;
};

}  // namespace testsupport
