#include "platform/listformat.h"

namespace platform::ui {

namespace {

class Reader {
 public:
  explicit Reader(std::string_view s) : s_(s) {}
  bool AtEnd() const { return i_ >= s_.size(); }
  char Peek() const { return AtEnd() ? '\0' : s_[i_]; }
  bool Take(char c) {
    if (Peek() != c) return false;
    ++i_;
    return true;
  }
  std::optional<int> Number() {
    const std::size_t start = i_;
    const bool minus = Take('-');
    long n = 0;
    std::size_t digits = 0;
    while (!AtEnd() && s_[i_] >= '0' && s_[i_] <= '9') {
      n = n * 10 + (s_[i_++] - '0');
      if (n > 100000) return std::nullopt;
      ++digits;
    }
    if (digits == 0) {
      i_ = start;
      return std::nullopt;
    }
    return static_cast<int>(minus ? -n : n);
  }
  // The text up to the next `end`, which is consumed; nullopt when none.
  std::optional<std::string> Until(char end) {
    const std::size_t stop = s_.find(end, i_);
    if (stop == std::string_view::npos) return std::nullopt;
    std::string out(s_.substr(i_, stop - i_));
    i_ = stop + 1;
    return out;
  }

 private:
  std::string_view s_;
  std::size_t i_ = 0;
};

bool IsJustification(char c) { return c == 'L' || c == 'R' || c == 'C' || c == 'D'; }

// An optional justification letter with its optional offset.
bool ReadJustification(Reader& r, char& justify, int& offset) {
  if (!IsJustification(r.Peek())) return true;
  justify = r.Peek();
  r.Take(justify);
  if (r.Take('(')) {
    const auto n = r.Number();
    if (!n || !r.Take(')')) return false;
    offset = *n;
  }
  return true;
}

bool ReadModifiers(Reader& r, ListColumn& c) {
  for (;;) {
    switch (r.Peek()) {
      case '|': c.rightBorder = true; break;
      case 'M': c.resizable = true; break;
      case '*': c.colors = true; break;
      case 'I': c.icon = true; break;
      default: return true;
    }
    r.Take(r.Peek());
  }
}

std::optional<ListColumn> ReadColumn(Reader& r) {
  ListColumn c;
  const auto width = r.Number();
  if (!width || *width < 0) return std::nullopt;
  c.width = *width;
  if (!ReadJustification(r, c.justify, c.offset)) return std::nullopt;
  if (!ReadModifiers(r, c)) return std::nullopt;
  c.headerJustify = c.justify;
  c.headerOffset = c.offset;
  if (r.Take('~')) {
    auto header = r.Until('~');
    if (!header) return std::nullopt;
    c.header = std::move(*header);
    if (!ReadJustification(r, c.headerJustify, c.headerOffset)) return std::nullopt;
    if (!ReadModifiers(r, c)) return std::nullopt;
  }
  if (r.Take('@')) {
    auto picture = r.Until('@');
    if (!picture || picture->empty()) return std::nullopt;
    c.picture = "@" + *picture;
  }
  return c;
}

}  // namespace

std::optional<ListFormat> ParseListFormat(std::string_view format) {
  Reader r(format);
  ListFormat f;
  while (!r.AtEnd()) {
    auto c = ReadColumn(r);
    if (!c) return std::nullopt;
    c->field = ++f.fields;
    if (c->colors) {
      c->colorField = f.fields + 1;
      f.fields += 4;
    }
    if (c->icon) c->iconField = ++f.fields;
    f.columns.push_back(std::move(*c));
  }
  if (f.columns.empty()) return std::nullopt;
  return f;
}

}  // namespace platform::ui
