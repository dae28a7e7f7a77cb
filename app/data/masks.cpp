#include "app/data/masks.h"

#include "syslib/hexconv.h"

namespace app::data {

namespace {

char CharAt(std::string_view s, std::size_t i) { return i < s.size() ? s[i] : ' '; }
char Bit(uint8_t flag) { return flag == 1 ? '1' : '0'; }
uint8_t Flag(std::span<const uint8_t> flags, int output) {
  return output >= 1 && output <= static_cast<int>(flags.size()) ? flags[static_cast<std::size_t>(output - 1)] : 0;
}
void SetFrom(std::span<uint8_t> flags, int output, char c) {
  if (output >= 1 && output <= kUsedOutputs && output <= static_cast<int>(flags.size()))
    flags[static_cast<std::size_t>(output - 1)] = c == '1' ? 1 : 0;
}

}  // namespace

std::string BinToHex(std::string_view bits) {
  int sum = 0;
  const int weights[4] = {8, 4, 2, 1};
  for (std::size_t i = 0; i < 4; ++i)
    if (CharAt(bits, i) == '1') sum += weights[i];
  const std::string hex = syslib::LongToHex(sum, 0);
  return hex.empty() ? std::string("0") : hex.substr(hex.size() - 1);
}

std::string HexToBin(std::string_view hex) {
  const syslib::LONG v = syslib::HexToLong(hex, 0);
  if (v < 0 || v > 15) return "    ";
  std::string out(4, '0');
  for (int i = 0; i < 4; ++i)
    if (v & (8 >> i)) out[static_cast<std::size_t>(i)] = '1';
  return out;
}

std::array<std::string, 5> EncodeOutputMask(std::span<const uint8_t> flags) {
  std::array<std::string, 5> fields;
  for (int g = 1; g <= 5; ++g) {
    auto f = [&](int k) { return k <= kUsedOutputs ? Bit(Flag(flags, k)) : '0'; };
    const std::string high{f(8 * g - 3), f(8 * g - 2), f(8 * g - 1), f(8 * g)};
    const std::string low{f(8 * g - 7), f(8 * g - 6), f(8 * g - 5), f(8 * g - 4)};
    fields[static_cast<std::size_t>(g - 1)] = BinToHex(high) + BinToHex(low);
  }
  return fields;
}

void DecodeOutputMask(const std::array<std::string_view, 5>& fields, std::span<uint8_t> flags) {
  for (auto& f : flags) f = 0;
  for (int g = 1; g <= 5; ++g) {
    const std::string_view m = fields[static_cast<std::size_t>(g - 1)];
    const std::string low = HexToBin(std::string(1, CharAt(m, 1)));
    const std::string high = HexToBin(std::string(1, CharAt(m, 0)));
    for (int i = 0; i < 4; ++i) {
      SetFrom(flags, 8 * g - 7 + i, low[static_cast<std::size_t>(i)]);
      SetFrom(flags, 8 * g - 3 + i, high[static_cast<std::size_t>(i)]);
    }
  }
}

std::string EncodeWeekdayMask(const WeekdayFlags& d) {
  // d[0] Sunday .. d[6] Saturday
  const std::string high{'0', Bit(d[6]), Bit(d[5]), Bit(d[4])};
  const std::string low{Bit(d[3]), Bit(d[2]), Bit(d[1]), Bit(d[0])};
  return BinToHex(high) + BinToHex(low);
}

WeekdayFlags DecodeWeekdayMask(std::string_view mask) {
  const std::string high = HexToBin(std::string(1, CharAt(mask, 0)));
  const std::string low = HexToBin(std::string(1, CharAt(mask, 1)));
  WeekdayFlags d{};
  d[6] = high[1] == '1';
  d[5] = high[2] == '1';
  d[4] = high[3] == '1';
  d[3] = low[0] == '1';
  d[2] = low[1] == '1';
  d[1] = low[2] == '1';
  d[0] = low[3] == '1';
  return d;
}

}  // namespace app::data
