#include "syslib/hexconv.h"

#include <cmath>
#include <cstdio>

#include "platform/msgbox.h"
#include "platform/text.h"
#include "syslib/liberror.h"

namespace syslib {
namespace {

constexpr std::string_view kDigits = "0123456789ABCDEF";
constexpr std::string_view kOutOfRange = "Out of Range!";

int DigitValue(std::string_view c) {
  if (c.size() != 1) return -1;
  const auto pos = kDigits.find(c[0]);
  return pos == std::string_view::npos ? -1 : static_cast<int>(pos);
}

// The start of the UTF-8 character that ends just before end.
std::size_t PreviousCharStart(std::string_view s, std::size_t end) {
  std::size_t i = end - 1;
  int continuation = 0;
  while (i > 0 && continuation < 3 && (static_cast<unsigned char>(s[i]) & 0xC0u) == 0x80u) {
    --i;
    ++continuation;
  }
  return i;
}

LONG RejectCharacter(std::string_view c, uint8_t showMessage) {
  if (showMessage != 0) {
    const std::string text = "     Character (" + std::string(c) + ") is out of range";
    platform::MessageBox(text, kOutOfRange, platform::BoxIcon::Information, platform::BoxOk);
  }
  return 0;
}

}  // namespace

std::string ds_Nib2Hex(LONG n) {
  SetLibraryProcedureName("ds_Nib2Hex");
  if (n < 0 || n > 15) return "#";
  return std::string(1, kDigits[static_cast<std::size_t>(n)]);
}

std::string ds_FormatHex(LONG value, uint8_t digits) {
  SetLibraryProcedureName("ds_FormatHex");
  std::string result;
  result.reserve(digits);
  uint64_t v = static_cast<uint32_t>(value);
  for (int e = digits - 1; e >= 0; --e) {
    // Positions beyond the eighth hold 0: a 32-bit value is below 16^8.
    const uint64_t p = e < 8 ? uint64_t{1} << (4 * e) : 0;
    const uint64_t q = p == 0 ? 0 : v / p;
    if (p != 0) v %= p;
    result += ds_Nib2Hex(q > 15 ? 16 : static_cast<LONG>(q));
  }
  return result;
}

std::string LongToHex(double value, uint8_t showMessage) {
  if (!(value >= 0 && value <= 4294967295.0)) {
    if (showMessage != 0) {
      platform::MessageBox("  Must be Positive Number Less than 4,294,967,296", kOutOfRange,
                           platform::BoxIcon::Information, platform::BoxOk);
    }
    return "";
  }
  const auto v = static_cast<uint32_t>(value);
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(v));
  return text;
}

LONG HexToLong(std::string_view hex, uint8_t showMessage) {
  const std::string upper = platform::text::UpperCz(hex);
  const std::string_view text = upper;
  const std::string_view body = platform::text::TrimRight(text);
  const std::size_t trailingBlanks = text.size() - body.size();

  // Right-justified: the body's characters from the last, then the blanks.
  uint32_t result = 0;
  std::size_t position = 0;  // 0 = rightmost
  for (std::size_t end = body.size(); end > 0; ++position) {
    const std::size_t start = PreviousCharStart(body, end);
    const std::string_view c = body.substr(start, end - start);
    end = start;
    const int digit = DigitValue(c);
    if (digit < 0) return RejectCharacter(c, showMessage);
    if (position >= 8) {
      if (digit != 0) return RejectCharacter(c, showMessage);
      continue;
    }
    result |= static_cast<uint32_t>(digit) << (4 * position);
  }
  if (trailingBlanks > 0) return RejectCharacter(" ", showMessage);
  return static_cast<LONG>(result);
}

}  // namespace syslib
