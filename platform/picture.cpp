#include "platform/picture.h"

#include <cstdio>
#include <vector>

#include "platform/locale_texts.h"
#include "platform/stdtime.h"
#include "platform/text.h"

namespace platform::ui {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Digits only, at most maxDigits (0: 18), as a number.
std::optional<int64_t> Digits(std::string_view s, std::size_t maxDigits = 18) {
  if (s.empty() || s.size() > maxDigits || s.size() > 18) return std::nullopt;
  int64_t n = 0;
  for (char c : s) {
    if (!IsDigit(c)) return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return n;
}

std::vector<std::string_view> Split(std::string_view s, char sep) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t at = s.find(sep);
    parts.push_back(Trim(s.substr(0, at)));
    if (at == std::string_view::npos) return parts;
    s.remove_prefix(at + 1);
  }
}

std::string TwoDigits(int n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", n);
  return buf;
}

}  // namespace

std::string ValueText(const Value& v) {
  if (const auto* n = std::get_if<int64_t>(&v)) return std::to_string(*n);
  return std::get<std::string>(v);
}

int64_t ValueNumber(const Value& v) {
  if (const auto* n = std::get_if<int64_t>(&v)) return *n;
  std::string_view s = std::get<std::string>(v);
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  bool minus = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    minus = s.front() == '-';
    s.remove_prefix(1);
  }
  int64_t n = 0;
  for (std::size_t i = 0; i < s.size() && i < 18 && IsDigit(s[i]); ++i) n = n * 10 + (s[i] - '0');
  return minus ? -n : n;
}

bool SameValue(const Value& a, const Value& b) {
  if (std::holds_alternative<int64_t>(a) && std::holds_alternative<int64_t>(b))
    return std::get<int64_t>(a) == std::get<int64_t>(b);
  return text::TrimRight(ValueText(a)) == text::TrimRight(ValueText(b));
}

Picture Picture::Parse(std::string_view s) {
  Picture p;
  if (s.size() < 2 || s[0] != '@') return p;
  std::size_t i = 2;
  switch (Lower(s[1])) {
    case 's': p.kind = Kind::String; break;
    case 'n': p.kind = Kind::Number; break;
    case 't': p.kind = Kind::Time; break;
    case 'd': p.kind = Kind::Date; break;
    default: return p;
  }
  if (i < s.size() && s[i] == '-') {
    p.negative = true;
    ++i;
  }
  while (i < s.size() && IsDigit(s[i])) {
    if (p.width < 100000) p.width = p.width * 10 + (s[i] - '0');
    ++i;
  }
  for (; i < s.size(); ++i)
    if (Lower(s[i]) == 'b') p.blankZero = true;
  return p;
}

std::string FormatPicture(const Picture& p, const Value& v) {
  switch (p.kind) {
    case Picture::Kind::None:
      return ValueText(v);
    case Picture::Kind::String: {
      const std::string s = ValueText(v);
      return p.width > 0 ? text::TruncateChars(s, static_cast<std::size_t>(p.width)) : s;
    }
    case Picture::Kind::Number: {
      const int64_t n = ValueNumber(v);
      if (n == 0 && p.blankZero) return {};
      std::string digits = std::to_string(n < 0 ? -n : n);
      if (p.width > 0 && digits.size() > static_cast<std::size_t>(p.width))
        return std::string(static_cast<std::size_t>(p.width), '#');
      return n < 0 ? "-" + digits : digits;
    }
    case Picture::Kind::Time: {
      int h = 0, m = 0, s = 0, hs = 0;
      const int64_t n = ValueNumber(v);
      if (n < kMidnight || n > kLastTime || !HmsFromTime(static_cast<StdTime>(n), h, m, s, hs)) return {};
      std::string out = TwoDigits(h) + ":" + TwoDigits(m);
      if (p.width != 1) out += ":" + TwoDigits(s);
      return out;
    }
    case Picture::Kind::Date: {
      int y = 0, mo = 0, d = 0;
      const int64_t n = ValueNumber(v);
      if (n < kFirstDate || n > kLastDate || !YmdFromDate(static_cast<StdDate>(n), y, mo, d)) return {};
      if (p.width == 4) {
        const auto& months = locale::MonthNames();
        return months[static_cast<std::size_t>(mo - 1)] + " " + std::to_string(d) + ", " + std::to_string(y);
      }
      char buf[32];
      std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", d, mo, y);
      return buf;
    }
  }
  return {};
}

std::string FormatPicture(std::string_view picture, const Value& v) {
  return FormatPicture(Picture::Parse(picture), v);
}

namespace {

std::optional<Value> ParseNumber(const Picture& p, std::string_view t) {
  if (t.empty()) return Value(int64_t{0});
  bool minus = false;
  if (t.front() == '-' && p.negative) {
    minus = true;
    t.remove_prefix(1);
  }
  const auto n = Digits(t, p.width > 0 ? static_cast<std::size_t>(p.width) : 18);
  if (!n) return std::nullopt;
  return Value(minus ? -*n : *n);
}

std::optional<Value> ParseTime(std::string_view t) {
  if (t.empty()) return Value(int64_t{0});
  const auto parts = Split(t, ':');
  if (parts.size() > 3) return std::nullopt;
  int hms[3] = {0, 0, 0};
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const auto n = Digits(parts[i], 2);
    if (!n) return std::nullopt;
    hms[i] = static_cast<int>(*n);
  }
  if (hms[0] > 23 || hms[1] > 59 || hms[2] > 59) return std::nullopt;
  return Value(int64_t{TimeFromHms(hms[0], hms[1], hms[2])});
}

int MonthByName(std::string_view name) {
  const auto& months = locale::MonthNames();
  const std::string want = text::UpperCz(name);
  for (std::size_t i = 0; i < months.size(); ++i)
    if (text::UpperCz(months[i]) == want) return static_cast<int>(i) + 1;
  return 0;
}

std::optional<Value> ParseDate(std::string_view t) {
  if (t.empty()) return Value(int64_t{0});
  int d = 0, m = 0, y = 0;
  const auto dotted = Split(t, '.');
  if (dotted.size() == 3) {
    const auto dd = Digits(dotted[0], 2), mm = Digits(dotted[1], 2), yy = Digits(dotted[2], 4);
    if (!dd || !mm || !yy || (dotted[2].size() != 2 && dotted[2].size() != 4)) return std::nullopt;
    d = static_cast<int>(*dd);
    m = static_cast<int>(*mm);
    y = static_cast<int>(*yy) + (dotted[2].size() == 2 ? 2000 : 0);
  } else {
    // "Month D, YYYY"
    const std::size_t blank = t.find(' ');
    const std::size_t comma = t.find(',');
    if (blank == std::string_view::npos || comma == std::string_view::npos || comma < blank) return std::nullopt;
    m = MonthByName(t.substr(0, blank));
    const auto dd = Digits(Trim(t.substr(blank + 1, comma - blank - 1)), 2);
    const auto yy = Digits(Trim(t.substr(comma + 1)), 4);
    if (m == 0 || !dd || !yy) return std::nullopt;
    d = static_cast<int>(*dd);
    y = static_cast<int>(*yy);
  }
  const StdDate date = DateFromYmd(y, m, d);
  if (date == 0) return std::nullopt;
  return Value(int64_t{date});
}

}  // namespace

std::optional<Value> ParsePicture(const Picture& p, std::string_view text) {
  switch (p.kind) {
    case Picture::Kind::None:
      return Value(std::string(text));
    case Picture::Kind::String:
      return Value(p.width > 0 ? text::TruncateChars(text, static_cast<std::size_t>(p.width)) : std::string(text));
    case Picture::Kind::Number:
      return ParseNumber(p, Trim(text));
    case Picture::Kind::Time:
      return ParseTime(Trim(text));
    case Picture::Kind::Date:
      return ParseDate(Trim(text));
  }
  return std::nullopt;
}

std::optional<Value> ParsePicture(std::string_view picture, std::string_view text) {
  return ParsePicture(Picture::Parse(picture), text);
}

}  // namespace platform::ui
