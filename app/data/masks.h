// The output and weekday masks of tasks and presets, and the conversions
// between one hexadecimal digit and four "0"/"1" characters behind them.
//
// A mask is two hexadecimal digits d1 d2, the value v = 16 x d1 + d2.
// Output mask: five fields, field g for outputs 8(g-1)+1 .. 8g; outputs
// 1st..4th of the group are bits 3..0 of v (d2), 5th..8th bits 7..4 (d1).
// Only outputs 1 to 32 are used: the fifth field is written "00" and never
// read. Weekday mask: bit k of v is weekday k (0 Sunday .. 6 Saturday);
// bit 7 is written 0 and ignored. Writers give upper-case digits.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace app::data {

// Four characters, weights 8, 4, 2, 1; only "1" counts. One digit "0".."F".
std::string BinToHex(std::string_view bits);
// One hexadecimal digit (either case) as four "0"/"1" characters, most
// significant first; a character that is not a digit gives "0000"; a value
// above 15 (a text of more than one digit) gives four blanks.
std::string HexToBin(std::string_view hex);

inline constexpr int kMaskOutputs = 40;  // outputs a mask can hold
inline constexpr int kUsedOutputs = 32;  // outputs the system has

// flags[k-1] is output k (1 chosen, 0 not); a span shorter than 40 counts
// the missing outputs as 0. Outputs above 32 are written as 0.
std::array<std::string, 5> EncodeOutputMask(std::span<const uint8_t> flags);
// Clears every flag, then sets those of outputs 1..32 (as far as the span
// reaches) whose decoded character is "1". Fields may be blank or short.
void DecodeOutputMask(const std::array<std::string_view, 5>& fields, std::span<uint8_t> flags);

// The mask fields VYSTUP1_5 .. VYSTUP5_5 of a task or preset record.
template <class Record>
void PutOutputMask(Record& r, std::span<const uint8_t> flags) {
  auto f = EncodeOutputMask(flags);
  r.VYSTUP1_5 = f[0];
  r.VYSTUP2_5 = f[1];
  r.VYSTUP3_5 = f[2];
  r.VYSTUP4_5 = f[3];
  r.VYSTUP5_5 = f[4];
}
template <class Record>
void GetOutputMask(const Record& r, std::span<uint8_t> flags) {
  DecodeOutputMask({r.VYSTUP1_5, r.VYSTUP2_5, r.VYSTUP3_5, r.VYSTUP4_5, r.VYSTUP5_5}, flags);
}

// days[k] is weekday k, 0 Sunday .. 6 Saturday (1 or 0).
using WeekdayFlags = std::array<uint8_t, 7>;
std::string EncodeWeekdayMask(const WeekdayFlags& days);
WeekdayFlags DecodeWeekdayMask(std::string_view mask);

}  // namespace app::data
