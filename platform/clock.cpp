#include "platform/clock.h"

#include <algorithm>
#include <atomic>
#include <ctime>
#include <thread>

namespace platform {
namespace {

struct LocalNow {
  std::tm tm{};
  int hundredths = 0;
};

LocalNow ReadLocalNow() {
  LocalNow now;
  const auto wall = std::chrono::system_clock::now();
  const std::time_t secs = std::chrono::system_clock::to_time_t(wall);
  localtime_r(&secs, &now.tm);
  // to_time_t may round; take the sub-second part relative to the second it gave.
  const auto sub = wall - std::chrono::system_clock::from_time_t(secs);
  const auto hs = std::chrono::duration_cast<std::chrono::milliseconds>(sub).count() / 10;
  now.hundredths = static_cast<int>(std::clamp<decltype(hs)>(hs, 0, 99));
  return now;
}

std::atomic<Clock*> g_clock{nullptr};

}  // namespace

StdDate SystemClock::Today() {
  const LocalNow now = ReadLocalNow();
  return DateFromYmd(now.tm.tm_year + 1900, now.tm.tm_mon + 1, now.tm.tm_mday);
}

StdTime SystemClock::ClockTime() {
  const LocalNow now = ReadLocalNow();
  // A leap second (60) is held at 59.
  return TimeFromHms(now.tm.tm_hour, now.tm.tm_min, std::min(now.tm.tm_sec, 59), now.hundredths);
}

Clock::Monotonic::time_point SystemClock::Now() { return Monotonic::now(); }

void SystemClock::Sleep(std::chrono::nanoseconds d) {
  if (d <= std::chrono::nanoseconds::zero()) return;
  std::this_thread::sleep_for(d);
}

Clock& GetClock() {
  static SystemClock systemClock;
  Clock* clock = g_clock.load(std::memory_order_acquire);
  return clock != nullptr ? *clock : systemClock;
}

void SetClock(Clock* clock) { g_clock.store(clock, std::memory_order_release); }

}  // namespace platform
