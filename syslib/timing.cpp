#include "syslib/timing.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

#include "platform/clock.h"
#include "syslib/liberror.h"

namespace syslib {
namespace {

using Counter = std::chrono::steady_clock;

constexpr double kDay = 8640000.0;
constexpr double kMidnightSlack = 10000.0;

// Counts per second of the monotonic counter.
constexpr double kCounterFrequency =
    static_cast<double>(Counter::period::den) / static_cast<double>(Counter::period::num);
// Calibration span of the time-stamp counter: 1 ms.
constexpr int64_t kCalibrationCounts = static_cast<int64_t>(kCounterFrequency / 1000.0);
// Longest wait for the time of day to tick over when taking a base.
constexpr auto kTickWaitLimit = std::chrono::milliseconds(100);

int64_t ReadCounter() { return Counter::now().time_since_epoch().count(); }

int64_t ReadTimeStampCounter() {
#if defined(__x86_64__) || defined(__i386__)
  return static_cast<int64_t>(__rdtsc());
#else
  return ReadCounter();
#endif
}

// The time of day of the real clock; the set-up never uses a test clock,
// which might never tick over.
platform::StdTime RealTimeOfDay() {
  static platform::SystemClock clock;
  return clock.ClockTime();
}

struct Base {
  int64_t count = 0;
  double clock = 0;
};

// Waits until the time of day ticks over, then reads the counter.
Base TakeBase(int64_t (*read)()) {
  const auto limit = Counter::now() + kTickWaitLimit;
  const platform::StdTime first = RealTimeOfDay();
  platform::StdTime now = first;
  while (now == first && Counter::now() < limit) now = RealTimeOfDay();
  Base base;
  base.count = read();
  base.clock = static_cast<double>(now);
  return base;
}

struct Mode {
  std::once_flag ready;
  int64_t (*read)() = nullptr;
  double ticksPerHundredth = 0;  // fixed once ready
  std::mutex baseMutex;
  Base base;
};

Mode g_perf;
Mode g_tsc;

void SetUpPerf() {
  g_perf.read = ReadCounter;
  g_perf.ticksPerHundredth = kCounterFrequency / 100.0;
  g_perf.base = TakeBase(g_perf.read);
}

void SetUpTsc() {
  const int64_t q1 = ReadCounter();
  const int64_t t1 = ReadTimeStampCounter();
  int64_t q2 = q1;
  int64_t t2 = t1;
  while (q2 - q1 <= kCalibrationCounts) {
    q2 = ReadCounter();
    t2 = ReadTimeStampCounter();
  }
  const double seconds = static_cast<double>(q2 - q1) / kCounterFrequency;
  const double ticks = static_cast<double>(t2 - t1) / seconds / 100.0;
  if (std::isfinite(ticks) && ticks > 0) {
    g_tsc.read = ReadTimeStampCounter;
    g_tsc.ticksPerHundredth = ticks;
  } else {
    // A counter that does not advance cannot be used: the monotonic one instead.
    g_tsc.read = ReadCounter;
    g_tsc.ticksPerHundredth = kCounterFrequency / 100.0;
  }
  g_tsc.base = TakeBase(g_tsc.read);
}

struct Stopwatches {
  std::array<double, 1000> start{};
  std::array<double, 1000> duration{};
};
thread_local Stopwatches t_stopwatches;

}  // namespace

void ds_Sleep(double hundredths) {
  SetLibraryProcedureName("ds_Sleep");
  const double ms = hundredths * 10.0;
  if (!(ms >= 1.0)) return;  // below 1 ms, negative or NaN
  constexpr int64_t kMaxMs = std::chrono::nanoseconds::max().count() / 1000000;
  const int64_t whole = ms >= static_cast<double>(kMaxMs) ? kMaxMs : static_cast<int64_t>(ms);
  platform::GetClock().Sleep(std::chrono::milliseconds(whole));
}

namespace detail {

LONG StopwatchRunOut(double& start, double duration, double now) {
  if (now - start > duration) return 1;
  if (start - now > kMidnightSlack) {
    // The reading started again at midnight: carry the start back by whole days.
    const double days = std::floor((start - now - kMidnightSlack) / kDay) + 1.0;
    start -= days * kDay;
    if (now - start > duration) return 1;
  }
  return 0;
}

}  // namespace detail

LONG Stopwatch(LONG number, uint8_t test, double duration) {
  if (number < 1 || number > 999) return 0;
  const double now = HiResClock(0, 0);
  const auto i = static_cast<std::size_t>(number - 1);
  if (test == 0) {
    t_stopwatches.start[i] = now;
    t_stopwatches.duration[i] = duration;
    return 1;
  }
  return detail::StopwatchRunOut(t_stopwatches.start[i], t_stopwatches.duration[i], now);
}

double HiResClock(uint8_t useTimeStampCounter, uint8_t resync) {
  Mode& mode = useTimeStampCounter != 0 ? g_tsc : g_perf;
  std::call_once(mode.ready, useTimeStampCounter != 0 ? SetUpTsc : SetUpPerf);
  Base base;
  if (resync != 0) {
    base = TakeBase(mode.read);
    const std::lock_guard lock(mode.baseMutex);
    mode.base = base;
  } else {
    const std::lock_guard lock(mode.baseMutex);
    base = mode.base;
  }
  const int64_t elapsed = mode.read() - base.count;
  return static_cast<double>(elapsed) / mode.ticksPerHundredth + base.clock;
}

std::string FormatElapsedTime(double reading, LONG decimals) {
  if (!std::isfinite(reading)) reading = 0;
  double x = std::fmod(reading, kDay);
  if (x < 0) x += kDay;
  if (x >= kDay) x = 0;  // a tiny negative remainder rounded up to a whole day
  // Seconds and minutes from the same count, split exactly.
  const double withinMinute = std::fmod(x, 6000.0);
  const auto minutes = static_cast<int>((x - withinMinute) / 6000.0);
  const double seconds = withinMinute / 100.0;

  char text[64];
  int n = std::snprintf(text, sizeof text, "%02d:%02d", minutes / 60, minutes % 60);
  if (seconds == 0) {
    n += std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), ":00.000000000000000000000");
  } else {
    n += std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), ":%021.18f", seconds);
  }
  const int64_t wanted = static_cast<int64_t>(decimals) + 9;
  const auto length = static_cast<std::size_t>(std::clamp<int64_t>(wanted, 0, n));
  return std::string(text, length);
}

}  // namespace syslib
