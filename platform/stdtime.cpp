#include "platform/stdtime.h"

namespace platform {
namespace {

// Days since 1 January 1970 of a proleptic Gregorian date.
constexpr int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;                                  // [0, 399]
  const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;  // [0, 365]
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;          // [0, 146096]
  return era * 146097 + doe - 719468;
}

struct Civil {
  int64_t year;
  int64_t month;
  int64_t day;
};

constexpr Civil CivilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;                                      // [0, 146096]
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;  // [0, 399]
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);               // [0, 365]
  const int64_t mp = (5 * doy + 2) / 153;                                    // [0, 11]
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;                            // [1, 31]
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;                               // [1, 12]
  return {yoe + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

// Standard date = days since 1970 + kEpochShift.
constexpr int64_t kEpochShift = kFirstDate - DaysFromCivil(1801, 1, 1);
static_assert(DaysFromCivil(9999, 12, 31) + kEpochShift == kLastDate);
static_assert(kFirstDate % 7 == 4, "1 January 1801 is a Thursday");

constexpr bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

constexpr int DaysInMonth(int64_t y, int64_t m) {
  constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return (m == 2 && IsLeap(y)) ? 29 : kDays[m - 1];
}

constexpr bool ValidMonthDay(int64_t y, int64_t m, int64_t d) {
  return m >= 1 && m <= 12 && d >= 1 && d <= DaysInMonth(y, m);
}

constexpr bool InDateRange(StdDate date) { return date >= kFirstDate && date <= kLastDate; }
constexpr bool InTimeRange(StdTime time) { return time >= kMidnight && time <= kLastTime; }

}  // namespace

StdDate DateFromYmd(int year, int month, int day) {
  if (year < 1801 || year > 9999 || !ValidMonthDay(year, month, day)) return 0;
  return static_cast<StdDate>(DaysFromCivil(year, month, day) + kEpochShift);
}

bool YmdFromDate(StdDate date, int& year, int& month, int& day) {
  if (!InDateRange(date)) return false;
  const Civil c = CivilFromDays(date - kEpochShift);
  year = static_cast<int>(c.year);
  month = static_cast<int>(c.month);
  day = static_cast<int>(c.day);
  return true;
}

int Weekday(StdDate date) { return InDateRange(date) ? date % 7 : -1; }

StdTime TimeFromHms(int hours, int minutes, int seconds, int hundredths) {
  if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59 ||
      hundredths < 0 || hundredths > 99) {
    return 0;
  }
  return ((hours * 60 + minutes) * 60 + seconds) * 100 + hundredths + 1;
}

bool HmsFromTime(StdTime time, int& hours, int& minutes, int& seconds, int& hundredths) {
  if (!InTimeRange(time)) return false;
  const int32_t t = time - 1;
  hundredths = t % 100;
  seconds = t / 100 % 60;
  minutes = t / 6000 % 60;
  hours = t / 360000;
  return true;
}

DateField DateToField(StdDate date) {
  int y = 0, m = 0, d = 0;
  if (!YmdFromDate(date, y, m, d)) return {0, 0, 0, 0};
  return {static_cast<uint8_t>(d), static_cast<uint8_t>(m), static_cast<uint8_t>(y & 0xFF),
          static_cast<uint8_t>(y >> 8)};
}

StdDate DateFromField(const DateField& field) {
  if (PackField(field) == 0) return 0;
  const int d = field[0];
  const int m = field[1];
  const int y = field[2] | (field[3] << 8);
  if (y < 1801 || !ValidMonthDay(y, m, d)) return 0;
  if (y > 9999) return kLastDate;
  return DateFromYmd(y, m, d);
}

TimeField TimeToField(StdTime time) {
  int h = 0, m = 0, s = 0, hs = 0;
  if (!HmsFromTime(time, h, m, s, hs)) return {0, 0, 0, 0};
  return {static_cast<uint8_t>(hs), static_cast<uint8_t>(s), static_cast<uint8_t>(m),
          static_cast<uint8_t>(h)};
}

StdTime TimeFromField(const TimeField& field) {
  if (PackField(field) == 0) return 0;
  const int hs = field[0];
  const int s = field[1];
  const int m = field[2];
  const int h = field[3];
  if (h > 23 || m > 59 || s > 59 || hs > 99) return -1;
  return ((h * 60 + m) * 60 + s) * 100 + hs + 1;
}

uint32_t PackField(const std::array<uint8_t, 4>& field) {
  return static_cast<uint32_t>(field[0]) | (static_cast<uint32_t>(field[1]) << 8) |
         (static_cast<uint32_t>(field[2]) << 16) | (static_cast<uint32_t>(field[3]) << 24);
}

std::array<uint8_t, 4> UnpackField(uint32_t packed) {
  return {static_cast<uint8_t>(packed & 0xFF), static_cast<uint8_t>((packed >> 8) & 0xFF),
          static_cast<uint8_t>((packed >> 16) & 0xFF), static_cast<uint8_t>(packed >> 24)};
}

}  // namespace platform
