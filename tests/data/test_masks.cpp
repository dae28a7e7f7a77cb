#include "app/data/masks.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

namespace app::data {
namespace {

std::string Hex2(int v, bool lower = false) {
  char buf[8];
  std::snprintf(buf, sizeof buf, lower ? "%02x" : "%02X", v);
  return buf;
}

TEST(MaskBinToHex, WeighsTheFourCharacters) {
  struct Case {
    const char* bits;
    const char* hex;
  } cases[] = {
      {"0000", "0"}, {"1010", "A"}, {"1111", "F"}, {"0001", "1"}, {"1000", "8"},
      {"x1y1", "5"},  // only "1" counts
      {"2222", "0"},
  };
  for (const auto& c : cases) EXPECT_EQ(BinToHex(c.bits), c.hex) << c.bits;
}

TEST(MaskHexToBin, GivesFourBitsOrFourBlanks) {
  struct Case {
    const char* hex;
    const char* bits;
  } cases[] = {
      {"0", "0000"}, {"5", "0101"}, {"A", "1010"}, {"a", "1010"}, {"F", "1111"}, {"f", "1111"},
      {"G", "0000"}, {" ", "0000"}, {"", "0000"},
      {"1F", "    "},  // above 15
  };
  for (const auto& c : cases) EXPECT_EQ(HexToBin(c.hex), c.bits) << "'" << c.hex << "'";
  for (int v = 0; v < 16; ++v) EXPECT_EQ(BinToHex(HexToBin(Hex2(v).substr(1))), Hex2(v).substr(1));
}

std::array<uint8_t, 40> Outputs(std::initializer_list<int> chosen) {
  std::array<uint8_t, 40> f{};
  for (int k : chosen) f[static_cast<size_t>(k - 1)] = 1;
  return f;
}

TEST(OutputMask, FixedCases) {
  using F = std::array<std::string, 5>;
  struct Case {
    std::initializer_list<int> outputs;
    F fields;
  } cases[] = {
      {{1}, {"08", "00", "00", "00", "00"}},
      {{4}, {"01", "00", "00", "00", "00"}},
      {{5}, {"80", "00", "00", "00", "00"}},
      {{8}, {"10", "00", "00", "00", "00"}},
      {{1, 2, 3, 4, 5, 6, 7, 8}, {"FF", "00", "00", "00", "00"}},
      {{9}, {"00", "08", "00", "00", "00"}},
      {{32}, {"00", "00", "00", "10", "00"}},
      {{}, {"00", "00", "00", "00", "00"}},
      {{33, 40}, {"00", "00", "00", "00", "00"}},  // beyond 32: written as 0
  };
  for (const auto& c : cases) {
    const auto flags = Outputs(c.outputs);
    EXPECT_EQ(EncodeOutputMask(flags), c.fields);
    std::array<uint8_t, 40> back;
    back.fill(7);
    DecodeOutputMask({c.fields[0], c.fields[1], c.fields[2], c.fields[3], c.fields[4]}, back);
    std::array<uint8_t, 40> want = flags;
    for (size_t i = 32; i < 40; ++i) want[i] = 0;
    EXPECT_EQ(back, want);
  }
}

TEST(OutputMask, EveryValueOfEveryFieldDecodesAndEncodesBack) {
  // Bit of v for the 1st .. 8th output of a group.
  const int bitOf[8] = {3, 2, 1, 0, 7, 6, 5, 4};
  for (int g = 1; g <= 5; ++g) {
    for (int v = 0; v < 256; ++v) {
      for (bool lower : {false, true}) {
        std::array<std::string, 5> fields = {"00", "00", "00", "00", "00"};
        fields[static_cast<size_t>(g - 1)] = Hex2(v, lower);
        std::array<uint8_t, 40> flags{};
        DecodeOutputMask({fields[0], fields[1], fields[2], fields[3], fields[4]}, flags);
        for (int k = 1; k <= 40; ++k) {
          const int group = (k - 1) / 8 + 1, j = (k - 1) % 8;
          const int want = group == g && g <= 4 && ((v >> bitOf[j]) & 1) ? 1 : 0;
          ASSERT_EQ(flags[static_cast<size_t>(k - 1)], want) << "g=" << g << " v=" << v << " k=" << k;
        }
        if (g <= 4) {
          fields[static_cast<size_t>(g - 1)] = Hex2(v);
          ASSERT_EQ(EncodeOutputMask(flags), fields) << "g=" << g << " v=" << v;
        } else {
          ASSERT_EQ(EncodeOutputMask(flags), (std::array<std::string, 5>{"00", "00", "00", "00", "00"}));
        }
      }
    }
  }
}

TEST(OutputMask, BlankOrShortFieldsDecodeAsNoOutputs) {
  std::array<uint8_t, 32> flags;
  flags.fill(1);
  DecodeOutputMask({"", "  ", "8", " 8", "ZZ"}, flags);
  std::array<uint8_t, 32> want{};
  want[16 + 4] = 1;  // field 3 "8": first digit 8 = the 5th output of the group
  want[24 + 0] = 1;  // field 4 " 8": second digit 8 = the 1st output of the group
  EXPECT_EQ(flags, want);
}

TEST(OutputMask, ThirtyTwoFlagsAndRecords) {
  struct Rec {
    std::string VYSTUP1_5, VYSTUP2_5, VYSTUP3_5, VYSTUP4_5, VYSTUP5_5;
  } r;
  std::array<uint8_t, 32> flags{};
  flags[0] = flags[31] = 1;
  PutOutputMask(r, flags);
  EXPECT_EQ(r.VYSTUP1_5 + r.VYSTUP2_5 + r.VYSTUP3_5 + r.VYSTUP4_5 + r.VYSTUP5_5, "0800001000");
  std::array<uint8_t, 32> back{};
  GetOutputMask(r, back);
  EXPECT_EQ(back, flags);
}

TEST(WeekdayMask, FixedCases) {
  // days[0] Sunday .. days[6] Saturday
  struct Case {
    WeekdayFlags days;
    const char* mask;
  } cases[] = {
      {{0, 1, 1, 1, 1, 1, 0}, "3E"},
      {{1, 0, 0, 0, 0, 0, 1}, "41"},
      {{1, 1, 1, 1, 1, 1, 1}, "7F"},
      {{1, 0, 0, 0, 0, 0, 0}, "01"},
      {{0, 0, 0, 0, 0, 0, 0}, "00"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeWeekdayMask(c.days), c.mask);
    EXPECT_EQ(DecodeWeekdayMask(c.mask), c.days);
  }
  EXPECT_EQ(DecodeWeekdayMask("FF"), (WeekdayFlags{1, 1, 1, 1, 1, 1, 1}));  // bit 7 ignored
  EXPECT_EQ(DecodeWeekdayMask("3e"), DecodeWeekdayMask("3E"));
  EXPECT_EQ(DecodeWeekdayMask(""), WeekdayFlags{});
  EXPECT_EQ(DecodeWeekdayMask("  "), WeekdayFlags{});
}

TEST(WeekdayMask, AllSetsOfDaysRoundTrip) {
  for (int v = 0; v < 128; ++v) {
    WeekdayFlags d{};
    for (int k = 0; k < 7; ++k) d[static_cast<size_t>(k)] = (v >> k) & 1;
    ASSERT_EQ(EncodeWeekdayMask(d), Hex2(v)) << v;
    ASSERT_EQ(DecodeWeekdayMask(Hex2(v)), d) << v;
    ASSERT_EQ(DecodeWeekdayMask(Hex2(v, true)), d) << v;
    ASSERT_EQ(DecodeWeekdayMask(Hex2(v | 0x80)), d) << v;
  }
}

}  // namespace
}  // namespace app::data
