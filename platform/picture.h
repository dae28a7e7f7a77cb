// Entry and display pictures: how a value is shown in a control and how a
// typed text is read back.
//
//   @sN    string of up to N characters
//   @nN    whole number of up to N digits; @n-N allows a minus sign
//   @tN    time of day (standard time): @t1 "HH:MM", other forms "HH:MM:SS"
//   @dN    date (standard date): @d4 "Month D, YYYY" with the locale's month
//          names, other forms the short date "DD.MM.YYYY"
// Letters in either case. A trailing "B" shows a zero value blank. Dates and
// times show 0 (no date, no time) blank in every form.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace platform::ui {

// A variable's value as controls see it: a number or a text.
using Value = std::variant<int64_t, std::string>;

std::string ValueText(const Value& v);    // a number in decimal digits
int64_t ValueNumber(const Value& v);      // a text by its leading digits (as atol)
bool SameValue(const Value& a, const Value& b);  // texts compare without trailing blanks

struct Picture {
  enum class Kind { None, String, Number, Time, Date };
  Kind kind = Kind::None;
  int width = 0;       // N; 0 when not given
  bool blankZero = false;
  bool negative = false;  // @n-N

  // An empty or unreadable picture gives Kind::None (text shown as it is).
  static Picture Parse(std::string_view picture);
};

// The text a control shows for a value.
std::string FormatPicture(const Picture& p, const Value& v);
std::string FormatPicture(std::string_view picture, const Value& v);

// The value of a typed text; nullopt when the text does not fit the
// picture (not a time, too many digits, no such date ...). A blank text
// gives 0 for numbers, dates and times; a string is cut to its width.
std::optional<Value> ParsePicture(const Picture& p, std::string_view text);
std::optional<Value> ParsePicture(std::string_view picture, std::string_view text);

}  // namespace platform::ui
