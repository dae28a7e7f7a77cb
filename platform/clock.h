// The clock every read of "today" and "now" goes through. Tests replace it.
#pragma once

#include <chrono>

#include "platform/stdtime.h"

namespace platform {

class Clock {
 public:
  using Monotonic = std::chrono::steady_clock;
  virtual ~Clock() = default;
  virtual StdDate Today() = 0;       // local date
  virtual StdTime ClockTime() = 0;   // local time of day
  virtual Monotonic::time_point Now() = 0;
  // Waits d; a zero or negative d returns at once.
  virtual void Sleep(std::chrono::nanoseconds d) = 0;
};

// The wall clock and std::this_thread::sleep_for.
class SystemClock final : public Clock {
 public:
  StdDate Today() override;
  StdTime ClockTime() override;
  Monotonic::time_point Now() override;
  void Sleep(std::chrono::nanoseconds d) override;
};

// The clock in use; the system clock unless a test installed another.
Clock& GetClock();
// Installs a clock (not owned); nullptr restores the system clock.
void SetClock(Clock* clock);

}  // namespace platform
