#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "syslib/liberror.h"
#include "syslib/timing.h"

namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;
using Steady = std::chrono::steady_clock;

// Records each sleep and returns at once; its time stands still.
class FakeClock final : public platform::Clock {
 public:
  platform::StdDate Today() override { return 80000; }
  platform::StdTime ClockTime() override { return 100; }
  Monotonic::time_point Now() override { return {}; }
  void Sleep(nanoseconds d) override { sleeps.push_back(d); }
  std::vector<nanoseconds> sleeps;
};

class DsSleep : public testing::Test {
 protected:
  void SetUp() override { platform::SetClock(&clock_); }
  void TearDown() override { platform::SetClock(nullptr); }
  FakeClock clock_;
};

TEST_F(DsSleep, SleepsTheHundredthsInWholeMillisecondsOnTheClock) {
  constexpr int64_t kMaxMs = nanoseconds::max().count() / 1000000;
  struct Case {
    double hundredths;
    int64_t ms;  // -1: no sleep at all
  } cases[] = {
      {5.0, 50},
      {1.0, 10},
      {2.55, 25},
      {1.99, 19},
      {0.1, 1},
      {0.05, -1},
      {0.0, -1},
      {-0.0, -1},
      {-3.0, -1},
      {-1e12, -1},
      {std::numeric_limits<double>::quiet_NaN(), -1},
      {5e8, 5000000000},   // past 2^32 ms: no wrap
      {1e30, kMaxMs},      // held at the longest wait
      {std::numeric_limits<double>::infinity(), kMaxMs},
  };
  for (const auto& c : cases) {
    clock_.sleeps.clear();
    syslib::ds_Sleep(c.hundredths);
    if (c.ms < 0) {
      EXPECT_TRUE(clock_.sleeps.empty()) << c.hundredths;
    } else {
      ASSERT_EQ(clock_.sleeps.size(), 1u) << c.hundredths;
      EXPECT_EQ(clock_.sleeps[0], milliseconds(c.ms)) << c.hundredths;
    }
  }
}

TEST_F(DsSleep, RecordsItsNameAndClearsTheLibraryError) {
  syslib::SetLibraryProcedureName("Caller");
  syslib::SetLibraryErrorDetail("detail");
  syslib::SetLibraryError(syslib::kErrWritePort);
  syslib::ds_Sleep(1.0);
  EXPECT_EQ(syslib::LibraryProcedureName(), "ds_Sleep");
  EXPECT_EQ(syslib::LibraryErrorCode(), 0);
}

TEST(DsSleepReal, SleepsOnTheSystemClock) {
  const auto t0 = Steady::now();
  syslib::ds_Sleep(2.0);
  EXPECT_GE(Steady::now() - t0, 20ms);
}

TEST(StopwatchTest, NumbersOutsideOneTo999AreRefused) {
  const syslib::LONG numbers[] = {0, 1000, -1, 1001, std::numeric_limits<syslib::LONG>::min(),
                                  std::numeric_limits<syslib::LONG>::max()};
  for (const auto n : numbers) {
    EXPECT_EQ(syslib::Stopwatch(n, 0, 10.0), 0) << n;
    EXPECT_EQ(syslib::Stopwatch(n, 1, 0.0), 0) << n;
  }
}

TEST(StopwatchTest, RunsOutOnlyAfterItsDuration) {
  const auto t0 = Steady::now();
  ASSERT_EQ(syslib::Stopwatch(999, 0, 5.0), 1);
  EXPECT_EQ(syslib::Stopwatch(999, 1, 0.0), 0);
  const auto deadline = t0 + 5s;
  while (syslib::Stopwatch(999, 1, 0.0) == 0 && Steady::now() < deadline) std::this_thread::yield();
  const auto elapsed = Steady::now() - t0;
  EXPECT_EQ(syslib::Stopwatch(999, 1, 0.0), 1);
  EXPECT_GE(elapsed, 50ms);
}

TEST(StopwatchTest, ZeroDurationRunsOutAtOnceAndARestartStartsAgain) {
  ASSERT_EQ(syslib::Stopwatch(1, 0, 1e9), 1);
  EXPECT_EQ(syslib::Stopwatch(1, 1, 0.0), 0);
  ASSERT_EQ(syslib::Stopwatch(1, 0, 0.0), 1);  // restarted with duration 0
  const auto t0 = Steady::now();
  while (Steady::now() - t0 < 1ms) std::this_thread::yield();
  EXPECT_EQ(syslib::Stopwatch(1, 1, 0.0), 1);
}

TEST(StopwatchTest, EachThreadHasItsOwn) {
  ASSERT_EQ(syslib::Stopwatch(10, 0, 1e9), 1);
  int otherSeesTen = -1, otherOwnEleven = -1;
  std::thread other([&] {
    otherSeesTen = syslib::Stopwatch(10, 1, 0.0);  // unstarted here: run out
    syslib::Stopwatch(11, 0, 1e9);
    otherOwnEleven = syslib::Stopwatch(11, 1, 0.0);
  });
  other.join();
  EXPECT_EQ(otherSeesTen, 1);
  EXPECT_EQ(otherOwnEleven, 0);
  EXPECT_EQ(syslib::Stopwatch(10, 1, 0.0), 0);
  EXPECT_EQ(syslib::Stopwatch(11, 1, 0.0), 1);  // never started on this thread
}

TEST(StopwatchTest, AStartAheadOfTheReadingIsCarriedBackAcrossMidnight) {
  struct Case {
    double start, duration, now;
    syslib::LONG result;
    double startAfter;
  } cases[] = {
      {100, 50, 150, 0, 100},            // exactly the duration: still running
      {100, 50, 150.5, 1, 100},
      {8639000, 2000, 500, 0, -1000},    // 1500 elapsed across midnight
      {8639000, 1000, 500, 1, -1000},    // 1500 elapsed: run out at this test
      {15000, 100, 5000, 0, 15000},      // 10000 ahead: not a midnight
      {15001, 100, 5000, 1, 15001 - 8640000.0},
      {8640000.0 * 2 + 3000, 100, 20000, 1, 3000},  // whole days carried
  };
  for (const auto& c : cases) {
    double start = c.start;
    EXPECT_EQ(syslib::detail::StopwatchRunOut(start, c.duration, c.now), c.result) << c.start << " " << c.now;
    EXPECT_DOUBLE_EQ(start, c.startAfter) << c.start << " " << c.now;
  }
}

double Hundredths(Steady::duration d) { return std::chrono::duration<double>(d).count() * 100.0; }

class HiResClockModes : public testing::TestWithParam<uint8_t> {};

TEST_P(HiResClockModes, ReadingsNeverGoBack) {
  double last = syslib::HiResClock(GetParam(), 0);
  for (int i = 0; i < 20000; ++i) {
    const double r = syslib::HiResClock(GetParam(), 0);
    ASSERT_GE(r, last) << i;
    last = r;
  }
}

TEST_P(HiResClockModes, MeasuresElapsedTimeInHundredths) {
  const double tolerance = GetParam() != 0 ? 0.05 : 0.001;  // calibration of the time-stamp counter
  syslib::HiResClock(GetParam(), 0);                         // set up
  const auto outerStart = Steady::now();
  const double r1 = syslib::HiResClock(GetParam(), 0);
  const auto innerStart = Steady::now();
  std::this_thread::sleep_for(30ms);
  const auto innerEnd = Steady::now();
  const double r2 = syslib::HiResClock(GetParam(), 0);
  const auto outerEnd = Steady::now();
  EXPECT_GE(r2 - r1, Hundredths(innerEnd - innerStart) * (1 - tolerance));
  EXPECT_LE(r2 - r1, Hundredths(outerEnd - outerStart) * (1 + tolerance) + 0.01);
}

TEST_P(HiResClockModes, IsAnchoredToTheTimeOfDayAndResyncs) {
  platform::SystemClock wall;
  for (const uint8_t resync : {uint8_t{0}, uint8_t{1}}) {
    const double r = syslib::HiResClock(GetParam(), resync);
    const double tod = wall.ClockTime();
    EXPECT_LT(std::abs(std::remainder(r - tod, 8640000.0)), 10.0) << "resync " << int(resync);
  }
}

INSTANTIATE_TEST_SUITE_P(CounterAndTimeStampCounter, HiResClockModes, testing::Values(uint8_t{0}, uint8_t{1}));

TEST(HiResClockSetUp, IgnoresAnInstalledTestClock) {
  FakeClock fake;  // its time of day never ticks over
  platform::SetClock(&fake);
  const double r = syslib::HiResClock(0, 1);
  platform::SetClock(nullptr);
  platform::SystemClock wall;
  EXPECT_LT(std::abs(std::remainder(r - wall.ClockTime(), 8640000.0)), 10.0);
  EXPECT_TRUE(fake.sleeps.empty());
}

TEST(FormatElapsedTimeTest, Cases) {
  constexpr syslib::LONG kMin = std::numeric_limits<syslib::LONG>::min();
  constexpr syslib::LONG kMax = std::numeric_limits<syslib::LONG>::max();
  struct Case {
    double reading;
    syslib::LONG decimals;
    const char* text;
  } cases[] = {
      {0, 6, "00:00:00.000000"},
      {150, 6, "00:00:01.500000"},
      {12.5, 6, "00:00:00.125000"},
      {4953050, 6, "13:45:30.500000"},
      {6000, 6, "00:01:00.000000"},     // a whole minute: hh:mm and seconds agree
      {6000.5, 6, "00:01:00.005000"},
      {5987.5, 6, "00:00:59.875000"},
      {5999.99999, 6, "00:00:59.999999"},  // cut, not rounded up to the next minute
      {8639987.5, 6, "23:59:59.875000"},
      {8640000, 6, "00:00:00.000000"},   // one day later
      {8640150, 6, "00:00:01.500000"},
      {8640000.0 * 3 + 4953050, 6, "13:45:30.500000"},
      {-150, 6, "23:59:58.500000"},      // non-negative remainder
      {-1e-300, 6, "00:00:00.000000"},
      {150, 0, "00:00:01."},
      {150, 2, "00:00:01.50"},
      {150, 18, "00:00:01.500000000000000000"},
      {150, 30, "00:00:01.500000000000000000"},
      {0, 30, "00:00:00.000000000000000000000"},
      {150, -4, "00:00"},
      {150, -9, ""},
      {150, kMin, ""},
      {150, kMax, "00:00:01.500000000000000000"},
      {std::numeric_limits<double>::quiet_NaN(), 6, "00:00:00.000000"},
      {std::numeric_limits<double>::infinity(), 6, "00:00:00.000000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(syslib::FormatElapsedTime(c.reading, c.decimals), c.text) << c.reading << " " << c.decimals;
  }
  EXPECT_EQ(syslib::FormatElapsedTime(4953050), "13:45:30.500000");
  EXPECT_EQ(syslib::FormatElapsedTime(syslib::HiResClock(0, 0)).size(), 15u);
}

}  // namespace
