#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "platform/msgbox.h"
#include "syslib/hexconv.h"
#include "syslib/liberror.h"

namespace {

using syslib::LONG;

struct Box {
  std::string text, caption;
  platform::BoxIcon icon;
  unsigned buttons;
};

// Collects the boxes shown while it lives.
class BoxRecorder {
 public:
  BoxRecorder() {
    platform::SetBoxView([this](std::string_view text, std::string_view caption, platform::BoxIcon icon,
                                unsigned buttons, unsigned) {
      boxes.push_back({std::string(text), std::string(caption), icon, buttons});
      return static_cast<unsigned>(platform::BoxOk);
    });
  }
  ~BoxRecorder() { platform::SetBoxView(nullptr); }
  std::vector<Box> boxes;
};

TEST(Nib2Hex, DigitOrHash) {
  const struct {
    LONG n;
    const char* digit;
  } cases[] = {{0, "0"}, {9, "9"}, {10, "A"}, {15, "F"}, {16, "#"}, {255, "#"}, {-1, "#"},
               {std::numeric_limits<LONG>::min(), "#"}, {std::numeric_limits<LONG>::max(), "#"}};
  for (const auto& c : cases) EXPECT_EQ(syslib::ds_Nib2Hex(c.n), c.digit) << c.n;
}

TEST(FormatHex, ExactlyTheDigitsAskedFor) {
  const struct {
    LONG value;
    uint8_t digits;
    std::string text;
  } cases[] = {
      {255, 4, "00FF"},
      {0x12345, 4, "#345"},  // needs more digits than asked for
      {255, 0, ""},
      {0, 1, "0"},
      {15, 1, "F"},
      {31, 1, "#"},
      {-1, 8, "FFFFFFFF"},   // taken as unsigned
      {-1, 4, "#FFF"},
      {static_cast<LONG>(0xABCDEF01u), 8, "ABCDEF01"},
      {static_cast<LONG>(0x80000000u), 8, "80000000"},
      {255, 10, "00000000FF"},
      {-1, 12, "0000FFFFFFFF"},
      {1, 255, std::string(254, '0') + "1"},
  };
  for (const auto& c : cases) EXPECT_EQ(syslib::ds_FormatHex(c.value, c.digits), c.text) << c.value << "/" << int(c.digits);
}

TEST(LongToHexTest, EightDigitsOrEmptyOutOfRange) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {15.9, "0000000F"},  {255, "000000FF"},        {0, "00000000"},     {-0.0, "00000000"},
      {4294967295.0, "FFFFFFFF"}, {4294967294.9, "FFFFFFFE"},
      {-1.0, ""},          {-0.5, ""},               {4294967296.0, ""},  {4294967295.5, ""},
      {nan, ""},           {inf, ""},                {-inf, ""},
  };
  for (const auto& c : cases) {
    BoxRecorder quiet;
    EXPECT_EQ(syslib::LongToHex(c.value, 0), c.text) << c.value;
    EXPECT_TRUE(quiet.boxes.empty()) << c.value;

    BoxRecorder shown;
    EXPECT_EQ(syslib::LongToHex(c.value, 1), c.text) << c.value;
    const bool outOfRange = std::string(c.text).empty();
    ASSERT_EQ(shown.boxes.size(), outOfRange ? 1u : 0u) << c.value;
    if (outOfRange) {
      EXPECT_EQ(shown.boxes[0].text, "  Must be Positive Number Less than 4,294,967,296");
      EXPECT_EQ(shown.boxes[0].caption, "Out of Range!");
      EXPECT_EQ(shown.boxes[0].icon, platform::BoxIcon::Information);
      EXPECT_EQ(shown.boxes[0].buttons, unsigned{platform::BoxOk});
    }
  }
}

TEST(HexToLongTest, ValueOrZeroWithTheOffendingCharacter) {
  const struct {
    std::string hex;
    LONG value;
    std::optional<std::string> bad;  // the character named in the box
  } cases[] = {
      {"0A", 10, std::nullopt},
      {"ff", 255, std::nullopt},
      {"FFFFFFFF", -1, std::nullopt},
      {"7fffffff", std::numeric_limits<LONG>::max(), std::nullopt},
      {"80000000", std::numeric_limits<LONG>::min(), std::nullopt},
      {"", 0, std::nullopt},
      {"0", 0, std::nullopt},
      {"00000000FF", 255, std::nullopt},  // zeros before the last eight digits
      {"G1", 0, "G"},
      {"g1", 0, "G"},                // upper-cased first
      {"GZ", 0, "Z"},                // checked from the last character
      {"A ", 0, " "},                // a trailing blank is not a digit
      {" A", 0, " "},
      {"  ", 0, " "},
      {"1 2", 0, " "},
      {"0x1F", 0, "X"},
      {"á1", 0, "Á"},
      {"1FFFFFFFF", 0, "1"},         // a ninth digit does not fit
      {std::string("1\0" "2", 3), 0, std::string(1, '\0')},
  };
  for (const auto& c : cases) {
    BoxRecorder quiet;
    EXPECT_EQ(syslib::HexToLong(c.hex, 0), c.value) << c.hex;
    EXPECT_TRUE(quiet.boxes.empty()) << c.hex;

    BoxRecorder shown;
    EXPECT_EQ(syslib::HexToLong(c.hex, 1), c.value) << c.hex;
    ASSERT_EQ(shown.boxes.size(), c.bad ? 1u : 0u) << c.hex;
    if (c.bad) {
      EXPECT_EQ(shown.boxes[0].text, "     Character (" + *c.bad + ") is out of range") << c.hex;
      EXPECT_EQ(shown.boxes[0].caption, "Out of Range!");
      EXPECT_EQ(shown.boxes[0].icon, platform::BoxIcon::Information);
      EXPECT_EQ(shown.boxes[0].buttons, unsigned{platform::BoxOk});
    }
  }
}

TEST(HexToLongTest, RoundTripsLongToHex) {
  for (double v : {0.0, 1.0, 4095.0, 65536.0, 2147483648.0, 4294967295.0}) {
    EXPECT_EQ(static_cast<uint32_t>(syslib::HexToLong(syslib::LongToHex(v, 0), 0)), static_cast<uint32_t>(v)) << v;
  }
}

class HexBookkeeping : public testing::Test {
 protected:
  void SetUp() override {
    syslib::SetLibraryProcedureName("Caller");
    syslib::SetLibraryErrorDetail("detail");
    syslib::SetLibraryError(syslib::kErrWritePort);
  }
};

TEST_F(HexBookkeeping, PublicProceduresRecordTheirNames) {
  EXPECT_EQ(syslib::ds_Nib2Hex(3), "3");
  EXPECT_EQ(syslib::LibraryProcedureName(), "ds_Nib2Hex");
  EXPECT_EQ(syslib::LibraryErrorCode(), 0);

  syslib::SetLibraryError(syslib::kErrWritePort);
  EXPECT_EQ(syslib::ds_FormatHex(1, 0), "");
  EXPECT_EQ(syslib::LibraryProcedureName(), "ds_FormatHex");
  EXPECT_EQ(syslib::LibraryErrorCode(), 0);

  // Each digit goes through ds_Nib2Hex, whose name is left last.
  EXPECT_EQ(syslib::ds_FormatHex(255, 4), "00FF");
  EXPECT_EQ(syslib::LibraryProcedureName(), "ds_Nib2Hex");
}

TEST_F(HexBookkeeping, InternalConversionsLeaveTheLibraryStateAlone) {
  BoxRecorder boxes;
  syslib::LongToHex(255, 0);
  syslib::LongToHex(-1, 1);
  syslib::HexToLong("FF", 0);
  syslib::HexToLong("G", 1);
  EXPECT_EQ(syslib::LibraryProcedureName(), "Caller");
  EXPECT_EQ(syslib::LibraryErrorCode(), syslib::kErrWritePort);
  EXPECT_EQ(syslib::LibraryErrorDetail(), "detail");
}

}  // namespace
