#include "platform/stdtime.h"

#include <gtest/gtest.h>

#include "platform/clock.h"

namespace platform {
namespace {

struct DateCase {
  int year, month, day;
  StdDate date;
  DateField field;
};

TEST(StdDateTest, KnownDates) {
  const DateCase cases[] = {
      {1801, 1, 1, 4, {1, 1, 0x09, 0x07}},
      {1801, 1, 2, 5, {2, 1, 0x09, 0x07}},
      {1801, 3, 1, 4 + 59, {1, 3, 0x09, 0x07}},
      {9999, 12, 31, 2994626, {31, 12, 0x0F, 0x27}},
  };
  for (const DateCase& c : cases) {
    SCOPED_TRACE(c.date);
    EXPECT_EQ(DateFromYmd(c.year, c.month, c.day), c.date);
    EXPECT_EQ(DateToField(c.date), c.field);
    EXPECT_EQ(DateFromField(c.field), c.date);
    int y = 0, m = 0, d = 0;
    ASSERT_TRUE(YmdFromDate(c.date, y, m, d));
    EXPECT_EQ(y, c.year);
    EXPECT_EQ(m, c.month);
    EXPECT_EQ(d, c.day);
  }
}

TEST(StdDateTest, ImpossibleDatesGiveZero) {
  const int cases[][3] = {{1800, 12, 31}, {10000, 1, 1}, {2023, 2, 29}, {1900, 2, 29},
                          {2100, 2, 29},  {2024, 4, 31}, {2024, 13, 1}, {2024, 0, 1},
                          {2024, 1, 0},   {2024, 1, 32}};
  for (const auto& c : cases) {
    EXPECT_EQ(DateFromYmd(c[0], c[1], c[2]), 0) << c[0] << "-" << c[1] << "-" << c[2];
  }
  int y = -1, m = -1, d = -1;
  for (StdDate outside : {0, 3, kLastDate + 1, -5}) {
    EXPECT_FALSE(YmdFromDate(outside, y, m, d)) << outside;
    EXPECT_EQ(DateToField(outside), (DateField{0, 0, 0, 0})) << outside;
  }
  EXPECT_EQ(y, -1);  // nothing written on failure
}

TEST(StdDateTest, Weekdays) {
  EXPECT_EQ(Weekday(4), 4);                             // 1 January 1801, Thursday
  EXPECT_EQ(Weekday(DateFromYmd(2026, 12, 10)), 4);     // Thursday
  EXPECT_EQ(Weekday(DateFromYmd(2000, 1, 1)), 6);       // Saturday
  EXPECT_EQ(Weekday(DateFromYmd(1969, 7, 20)), 0);      // Sunday
  EXPECT_EQ(Weekday(DateFromYmd(9999, 12, 31)), 5);     // Friday
  EXPECT_EQ(Weekday(0), -1);
}

TEST(StdDateTest, RoundTripsEveryDayOfSampleYears) {
  for (int year : {1801, 1900, 1999, 2000, 2024, 2100, 9999}) {
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const StdDate first = DateFromYmd(year, 1, 1);
    const StdDate next = year < 9999 ? DateFromYmd(year + 1, 1, 1) : kLastDate + 1;
    ASSERT_NE(first, 0);
    EXPECT_EQ(next - first, leap ? 366 : 365) << year;
    EXPECT_EQ(DateFromYmd(year, 2, 29) != 0, leap) << year;
    int prevMonth = 1, prevDay = 0;
    for (StdDate date = first; date < next; ++date) {
      int y = 0, m = 0, d = 0;
      ASSERT_TRUE(YmdFromDate(date, y, m, d)) << date;
      ASSERT_EQ(y, year);
      // Consecutive days: the next day of the month or the 1st of the next month.
      ASSERT_TRUE((m == prevMonth && d == prevDay + 1) || (m == prevMonth + 1 && d == 1))
          << y << "-" << m << "-" << d;
      prevMonth = m;
      prevDay = d;
      ASSERT_EQ(DateFromYmd(y, m, d), date);
      ASSERT_EQ(DateFromField(DateToField(date)), date);
    }
    EXPECT_EQ(prevMonth, 12);
    EXPECT_EQ(prevDay, 31);
  }
}

TEST(StdDateTest, FieldReading) {
  const struct {
    DateField field;
    StdDate date;
  } cases[] = {
      {{0, 0, 0, 0}, 0},
      {{1, 1, 0x10, 0x27}, kLastDate},  // year 10000
      {{1, 1, 0xFF, 0xFF}, kLastDate},  // year 65535
      {{31, 2, 0xE8, 0x07}, 0},         // 31 February 2024
      {{29, 2, 0xDB, 0x07}, 0},         // 29 February 2011
      {{1, 13, 0xE8, 0x07}, 0},
      {{0, 1, 0xE8, 0x07}, 0},
      {{31, 12, 0x08, 0x07}, 0},        // year 1800
      {{1, 1, 0, 0}, 0},                // year 0
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DateFromField(c.field), c.date)
        << int{c.field[0]} << "/" << int{c.field[1]} << "/" << (c.field[2] | c.field[3] << 8);
  }
}

TEST(StdTimeTest, Conversions) {
  const struct {
    int h, m, s, hs;
    StdTime time;
    TimeField field;
  } cases[] = {
      {0, 0, 0, 0, kMidnight, {0, 0, 0, 0}},
      {0, 0, 0, 1, 2, {1, 0, 0, 0}},
      {0, 1, 0, 0, 6001, {0, 0, 1, 0}},
      {12, 34, 56, 78, ((12 * 60 + 34) * 60 + 56) * 100 + 78 + 1, {78, 56, 34, 12}},
      {23, 59, 59, 99, kLastTime, {99, 59, 59, 23}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.time);
    EXPECT_EQ(TimeFromHms(c.h, c.m, c.s, c.hs), c.time);
    EXPECT_EQ(TimeToField(c.time), c.field);
    int h = -1, m = -1, s = -1, hs = -1;
    ASSERT_TRUE(HmsFromTime(c.time, h, m, s, hs));
    EXPECT_EQ(h, c.h);
    EXPECT_EQ(m, c.m);
    EXPECT_EQ(s, c.s);
    EXPECT_EQ(hs, c.hs);
  }
  // Midnight is stored as zeros and so reads back as no time.
  EXPECT_EQ(TimeFromField(TimeToField(kMidnight)), 0);
  EXPECT_EQ(TimeFromField(TimeToField(6001)), 6001);
  EXPECT_EQ(TimeFromField(TimeToField(kLastTime)), kLastTime);
}

TEST(StdTimeTest, OutOfRange) {
  for (StdTime t : {0, -1, kLastTime + 1}) {
    EXPECT_EQ(TimeToField(t), (TimeField{0, 0, 0, 0})) << t;
    int h = -1, m = -1, s = -1, hs = -1;
    EXPECT_FALSE(HmsFromTime(t, h, m, s, hs)) << t;
    EXPECT_EQ(h, -1);
  }
  const int parts[][4] = {{24, 0, 0, 0}, {0, 60, 0, 0}, {0, 0, 60, 0},
                          {0, 0, 0, 100}, {-1, 0, 0, 0}, {0, 0, 0, -1}};
  for (const auto& p : parts) {
    EXPECT_EQ(TimeFromHms(p[0], p[1], p[2], p[3]), 0) << p[0] << ":" << p[1] << ":" << p[2];
  }
  const TimeField bad[] = {{0, 0, 0, 24}, {0, 0, 60, 0}, {0, 60, 0, 0}, {100, 0, 0, 0}};
  for (const TimeField& f : bad) EXPECT_EQ(TimeFromField(f), -1);
  EXPECT_EQ(TimeFromField({0, 0, 0, 0}), 0);
}

TEST(FieldPackingTest, OrdersLikeTheValue) {
  const DateField d = DateToField(DateFromYmd(2024, 3, 5));
  EXPECT_EQ(PackField(d), 0x07E80305u);
  EXPECT_EQ(UnpackField(PackField(d)), d);
  EXPECT_EQ(UnpackField(0xFFFFFFFFu), (DateField{0xFF, 0xFF, 0xFF, 0xFF}));

  // Dates where a byte-wise comparison in the wrong order would disagree.
  const StdDate dates[] = {DateFromYmd(1801, 1, 1),  DateFromYmd(1801, 1, 31),
                           DateFromYmd(1801, 2, 1),  DateFromYmd(1801, 12, 31),
                           DateFromYmd(1802, 1, 1),  DateFromYmd(2023, 12, 31),
                           DateFromYmd(2024, 1, 1),  DateFromYmd(9999, 12, 31)};
  for (size_t i = 1; i < std::size(dates); ++i) {
    EXPECT_LT(PackField(DateToField(dates[i - 1])), PackField(DateToField(dates[i]))) << i;
  }
  const StdTime times[] = {2, 100, 101, 6001, 360001, TimeFromHms(13, 0, 0), kLastTime};
  for (size_t i = 1; i < std::size(times); ++i) {
    EXPECT_LT(PackField(TimeToField(times[i - 1])), PackField(TimeToField(times[i]))) << i;
  }
}

class FixedClock final : public Clock {
 public:
  StdDate Today() override { return 1234; }
  StdTime ClockTime() override { return 5678; }
  Monotonic::time_point Now() override { return {}; }
  void Sleep(std::chrono::nanoseconds) override {}
};

TEST(ClockTest, InstalledClockIsUsedUntilReset) {
  FixedClock fixed;
  SetClock(&fixed);
  EXPECT_EQ(&GetClock(), &fixed);
  EXPECT_EQ(GetClock().Today(), 1234);
  SetClock(nullptr);
  EXPECT_NE(&GetClock(), &fixed);
  EXPECT_NE(dynamic_cast<SystemClock*>(&GetClock()), nullptr);
}

TEST(ClockTest, SystemClockGivesValidLocalDateAndTime) {
  SystemClock clock;
  const StdDate today = clock.Today();
  EXPECT_GE(today, DateFromYmd(2020, 1, 1));
  EXPECT_LE(today, kLastDate);
  const StdTime now = clock.ClockTime();
  EXPECT_GE(now, kMidnight);
  EXPECT_LE(now, kLastTime);
  const auto t0 = clock.Now();
  clock.Sleep(std::chrono::nanoseconds(-1));
  clock.Sleep(std::chrono::nanoseconds::zero());
  EXPECT_GE(clock.Now(), t0);
}

}  // namespace
}  // namespace platform
