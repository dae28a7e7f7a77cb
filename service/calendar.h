// The calendar dialog: the operator picks a date from a month calendar.
//
// SelectDate shows one month as a grid of day buttons, Sunday first, under
// a header with the month's name and the year, and lets the operator move by
// months and years. It is a modal window of the window model on the calling
// thread: the caller's windows wait (their timer ticks held) until it has
// closed. It keeps nothing between calls.
//
// The window (procedure name kCalendarProcedure, icon "CALENDAR.ICO"),
// controls in window order:
//   ?HEADER                  the month's name, a blank and the year
//                            ("Říjen 2024"); the month names are the
//                            locale's (platform/locale_texts.h)
//   ?GROUP1                  the grid: ?STRING1 .. ?STRING7 ("Ne" .. "So")
//                            over ?BUTTON1 .. ?BUTTON42 in 6 rows of 7;
//                            day button k lies in the column of weekday
//                            (k-1) mod 7, 0 Sunday. The days of the shown
//                            month carry their number and, as tip, their
//                            short date ("15.10.2024"); the buttons before
//                            the 1st and after the last day are hidden.
//   ?TODAY "&Dnes", ?CLOSE "Storno", and without text ?PREVYEAR,
//   ?PREVMONTH, ?NEXTMONTH, ?NEXTYEAR (tips "Předchozí rok", "Předchozí
//   měsíc", "Další měsíc", "Další rok").
// The month buttons change the year without a bound; the year buttons wrap
// from 1801 to 2099 and from 2099 to 1801. A month without a valid day
// (before January 1801, after December 9999) hides all 42 day buttons and
// still shows its name and year; the month and year buttons and ?TODAY
// lead back. The window's position is not kept.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/stdtime.h"

namespace service {

inline constexpr const char* kCalendarProcedure = "SelectDate";
inline constexpr int kDayCells = 42;

// Shows the calendar and returns a standard date:
//   the date of the day button pressed;
//   today's date (platform::GetClock()) after ?TODAY;
//   else (?CLOSE, the close box, a close-down) `date` unchanged, 0 included.
// title: the caption without its trailing blanks; a blank or empty title
// gives "Select Date".
// date: the date to start from: its month is shown and its day button has
// the focus. 0, or a date outside 1 January 1801 .. 31 December 9999,
// opens on today's month with today's button focused.
// The two last arguments are accepted and not used (callers pass 0, 0).
// Like every form: FormRequest and FormResponse are 0 from set-up on;
// FormResponse is 2 after ?CLOSE and 0 after any other end.
// On a thread whose view nobody sees (the headless view) the calendar
// closes at once and returns `date`.
platform::StdDate SelectDate(std::string_view title, platform::StdDate date, uint8_t unused1 = 0,
                             uint8_t unused2 = 0);

}  // namespace service
