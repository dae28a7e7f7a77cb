// Timing: a sleep in hundredths of a second, per-thread stopwatches, a
// fine-grained clock and the text form of its readings.
//
// All times are hundredths of a second. Stopwatch, HiResClock and
// FormatElapsedTime record no procedure name and set no library error.
#pragma once

#include <cstdint>
#include <string>

namespace syslib {

using LONG = int32_t;

// Records the procedure name "ds_Sleep" (clearing the thread's library
// error), then suspends the calling thread through platform::GetClock() for
// hundredths * 10 milliseconds, the fraction of a millisecond dropped
// (2.55 sleeps 25 ms, 0.05 sleeps 0 ms). Less than one millisecond, a
// negative or a NaN count does not sleep at all. The count is computed in
// 64 bits, so sleeps beyond 2^32 ms do not wrap; a count too large for the
// clock's nanoseconds is held at the largest it can wait.
void ds_Sleep(double hundredths);

// Stopwatches 1..999, one set per thread (a new thread's are all zero).
// test 0: starts the stopwatch with the duration in hundredths; returns 1.
// test non-zero: 1 once more than the duration has passed since its start
// (an unstarted one has start 0 and duration 0 and so has run out), else 0;
// duration is ignored. A number outside 1..999 returns 0 and changes nothing.
// Time is read from HiResClock(0, 0). A start lying more than 10000
// hundredths ahead of the reading means the reading started again at
// midnight: the start is carried back one day and the test is made again.
LONG Stopwatch(LONG number, uint8_t test, double duration);

// The current time in hundredths of a second, anchored to the time of day
// (a standard time: hundredths since midnight plus one) of the real system
// clock, never the installed test clock.
// useTimeStampCounter 0: the monotonic counter (steady_clock) elapsed since
// the base, plus the time of day at the base. Non-zero: the processor's
// time-stamp counter (RDTSC; on other processors the monotonic counter),
// calibrated once against the monotonic counter.
// The base of each mode is taken at its first use, on a tick of the time of
// day, and again when resync is non-zero; readings keep growing past
// midnight (8640000) until a resync. Setting up a mode busy-waits for up to
// one hundredth; thread-safe.
double HiResClock(uint8_t useTimeStampCounter, uint8_t resync);

// A reading as "hh:mm:ss.f..." with the given number of decimals of the
// second (decimals 6: 15 characters). The reading is taken modulo one day
// (8640000), so a reading of a later day shows that day's time; hh:mm and
// the seconds come from the same count of hundredths, so they always agree.
// The seconds' decimals are cut, not rounded, and there are at most 18 of
// them. decimals 0 gives "hh:mm:ss." and a negative count fewer characters
// (none from -9 down). A NaN or infinite reading is taken as 0.
std::string FormatElapsedTime(double reading, LONG decimals = 6);

namespace detail {
// The test of a started stopwatch at reading now; carries start back one
// day (8640000) when it lies more than 10000 ahead of now. Exposed for tests.
LONG StopwatchRunOut(double& start, double duration, double now);
}  // namespace detail

}  // namespace syslib
