// Standard dates and times, and the 4-byte DATE and TIME forms that the
// record files store.
//
// Standard date: a day number; day 4 is 1 January 1801, 2,994,626 is
// 31 December 9999; day n falls on weekday n mod 7 (0 Sunday); 0 no date.
// Standard time: hundredths of a second since midnight plus one; 1 is
// 00:00:00.00, 8,640,000 is 23:59:59.99; 0 no time. Lengths and delays are
// held as the time of day that many hundredths after midnight.
#pragma once

#include <array>
#include <cstdint>

namespace platform {

using StdDate = int32_t;
using StdTime = int32_t;
using DateField = std::array<uint8_t, 4>;  // day, month, year (16 bits LE)
using TimeField = std::array<uint8_t, 4>;  // hundredths, seconds, minutes, hours

inline constexpr StdDate kFirstDate = 4;        // 1 January 1801
inline constexpr StdDate kLastDate = 2994626;   // 31 December 9999
inline constexpr StdTime kMidnight = 1;         // 00:00:00.00
inline constexpr StdTime kLastTime = 8640000;   // 23:59:59.99
inline constexpr int32_t kDayHundredths = 8640000;

// Day number of a calendar date; 0 when the date does not exist or lies
// outside 1 January 1801 .. 31 December 9999.
StdDate DateFromYmd(int year, int month, int day);
// Calendar date of a day number; false (and nothing written) outside
// kFirstDate..kLastDate.
bool YmdFromDate(StdDate date, int& year, int& month, int& day);
// 0 Sunday .. 6 Saturday; -1 for no date.
int Weekday(StdDate date);

// Standard time of a time of day; 0 when a part is out of range.
StdTime TimeFromHms(int hours, int minutes, int seconds, int hundredths = 0);
// Parts of a standard time; false outside 1..8,640,000.
bool HmsFromTime(StdTime time, int& hours, int& minutes, int& seconds, int& hundredths);

// DATE field conversions. A date outside kFirstDate..kLastDate (0 included)
// is stored as four zero bytes. Reading: all zeros or an impossible date
// (no such day or month, a year before 1801) give 0; a year above 9999
// reads as kLastDate.
DateField DateToField(StdDate date);
StdDate DateFromField(const DateField& field);

// TIME field conversions. A time below 1 or above 8,640,000 is stored as
// four zero bytes, so midnight (1) reads back as 0. Reading: all zeros give
// 0; hours above 23, minutes or seconds above 59 or hundredths above 99 give
// -1; otherwise ((h*60+m)*60+s)*100+hs+1.
TimeField TimeToField(StdTime time);
StdTime TimeFromField(const TimeField& field);

// The fields as one little-endian 32-bit number (how the record files keep
// them; the number orders like the date or time it holds).
uint32_t PackField(const std::array<uint8_t, 4>& field);
std::array<uint8_t, 4> UnpackField(uint32_t packed);

}  // namespace platform
