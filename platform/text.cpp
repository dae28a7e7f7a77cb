#include "platform/text.h"

#include <array>
#include <cstdint>
#include <utility>

namespace platform::text {
namespace {

using u8 = std::uint8_t;
using u32 = std::uint32_t;

// Code points of Windows-1250 bytes 80h..FFh; 0 marks the undefined bytes.
constexpr std::array<char16_t, 128> kHigh = {
    // 80h
    0x20AC, 0,      0x201A, 0,      0x201E, 0x2026, 0x2020, 0x2021,
    0,      0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    // 90h
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0,      0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    // A0h
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    // B0h
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    // C0h
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    // D0h
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    // E0h
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    // F0h
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

// Lower-case / upper-case letter pairs above ASCII, as Windows-1250 bytes.
constexpr std::pair<u8, u8> kCasePairs[] = {
    {0x9A, 0x8A},  // š Š
    {0x9C, 0x8C},  // ś Ś
    {0x9D, 0x8D},  // ť Ť
    {0x9E, 0x8E},  // ž Ž
    {0x9F, 0x8F},  // ź Ź
    {0xB3, 0xA3},  // ł Ł
    {0xB9, 0xA5},  // ą Ą
    {0xBA, 0xAA},  // ş Ş
    {0xBE, 0xBC},  // ľ Ľ
    {0xBF, 0xAF},  // ż Ż
    {0xE0, 0xC0},  // ŕ Ŕ
    {0xE1, 0xC1},  // á Á
    {0xE2, 0xC2},  // â Â
    {0xE3, 0xC3},  // ă Ă
    {0xE4, 0xC4},  // ä Ä
    {0xE5, 0xC5},  // ĺ Ĺ
    {0xE6, 0xC6},  // ć Ć
    {0xE7, 0xC7},  // ç Ç
    {0xE8, 0xC8},  // č Č
    {0xE9, 0xC9},  // é É
    {0xEA, 0xCA},  // ę Ę
    {0xEB, 0xCB},  // ë Ë
    {0xEC, 0xCC},  // ě Ě
    {0xED, 0xCD},  // í Í
    {0xEE, 0xCE},  // î Î
    {0xEF, 0xCF},  // ď Ď
    {0xF0, 0xD0},  // đ Đ
    {0xF1, 0xD1},  // ń Ń
    {0xF2, 0xD2},  // ň Ň
    {0xF3, 0xD3},  // ó Ó
    {0xF4, 0xD4},  // ô Ô
    {0xF5, 0xD5},  // ő Ő
    {0xF6, 0xD6},  // ö Ö
    {0xF8, 0xD8},  // ř Ř
    {0xF9, 0xD9},  // ů Ů
    {0xFA, 0xDA},  // ú Ú
    {0xFB, 0xDB},  // ű Ű
    {0xFC, 0xDC},  // ü Ü
    {0xFD, 0xDD},  // ý Ý
    {0xFE, 0xDE},  // ţ Ţ
};

// Collation sequence; see CompareCzNoCase in the header.
constexpr std::string_view kSequence =
    "AÄÁaáâäBbCČcčDdEÉĚeéěëFfGgHhIÍiíJjKkLlMmNŇnňOÓÖoóöPpQqRŘrřSŠsšTŤtťUÚŮÜuůúűüVvWwXxYÝyýZŽzž";

struct Decoded {
  u32 cp;           // code point, or the byte itself when !ok
  std::size_t len;  // bytes consumed
  bool ok;
};

constexpr u8 Byte(std::string_view s, std::size_t i) { return static_cast<u8>(s[i]); }

// Decodes the character at s[i] (i < s.size()). A malformed sequence yields
// its first byte alone, with ok == false.
constexpr Decoded Decode(std::string_view s, std::size_t i) {
  const u32 b0 = Byte(s, i);
  if (b0 < 0x80) return {b0, 1, true};
  const std::size_t left = s.size() - i;
  auto cont = [&](std::size_t k, u32 lo, u32 hi) -> bool {
    if (k >= left) return false;
    const u32 c = Byte(s, i + k);
    return c >= lo && c <= hi;
  };
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    if (cont(1, 0x80, 0xBF)) return {((b0 & 0x1F) << 6) | (Byte(s, i + 1) & 0x3Fu), 2, true};
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    const u32 lo = b0 == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
    const u32 hi = b0 == 0xED ? 0x9F : 0xBF;  // no surrogates
    if (cont(1, lo, hi) && cont(2, 0x80, 0xBF)) {
      return {((b0 & 0x0F) << 12) | ((Byte(s, i + 1) & 0x3Fu) << 6) | (Byte(s, i + 2) & 0x3Fu), 3, true};
    }
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    const u32 lo = b0 == 0xF0 ? 0x90 : 0x80;
    const u32 hi = b0 == 0xF4 ? 0x8F : 0xBF;
    if (cont(1, lo, hi) && cont(2, 0x80, 0xBF) && cont(3, 0x80, 0xBF)) {
      return {((b0 & 0x07) << 18) | ((Byte(s, i + 1) & 0x3Fu) << 12) | ((Byte(s, i + 2) & 0x3Fu) << 6) |
                  (Byte(s, i + 3) & 0x3Fu),
              4, true};
    }
  }
  return {b0, 1, false};
}

void AppendUtf8(std::string& out, u32 cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Code point -> Windows-1250 byte. Code points below 180h use a direct
// table; the few above it a short sorted list.
struct Reverse {
  std::array<u8, 0x180> low{};  // 0: no byte (index 0 itself is ASCII)
  std::array<std::pair<char16_t, u8>, 24> high{};
  std::size_t highCount = 0;
};

constexpr Reverse BuildReverse() {
  Reverse r;
  for (u32 c = 0; c < 0x80; ++c) r.low[c] = static_cast<u8>(c);
  for (std::size_t k = 0; k < kHigh.size(); ++k) {
    const char16_t cp = kHigh[k];
    const u8 b = static_cast<u8>(0x80 + k);
    if (cp == 0) continue;
    if (cp < r.low.size()) {
      r.low[cp] = b;
      continue;
    }
    // Insertion keeps the list sorted by code point.
    std::size_t j = r.highCount++;
    while (j > 0 && r.high[j - 1].first > cp) {
      r.high[j] = r.high[j - 1];
      --j;
    }
    r.high[j] = {cp, b};
  }
  return r;
}

constexpr Reverse kReverse = BuildReverse();
static_assert(kReverse.highCount <= kReverse.high.size());

// Windows-1250 byte of a code point, or -1.
constexpr int ToByte(u32 cp) {
  if (cp < kReverse.low.size()) {
    const u8 b = kReverse.low[cp];
    return (b != 0 || cp == 0) ? b : -1;
  }
  std::size_t lo = 0, hi = kReverse.highCount;
  while (lo < hi) {
    const std::size_t mid = (lo + hi) / 2;
    if (kReverse.high[mid].first < cp) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return (lo < kReverse.highCount && kReverse.high[lo].first == cp) ? kReverse.high[lo].second : -1;
}

constexpr std::array<u8, 256> BuildUpper() {
  std::array<u8, 256> up{};
  for (std::size_t b = 0; b < up.size(); ++b) up[b] = static_cast<u8>(b);
  for (std::size_t b = 'a'; b <= 'z'; ++b) up[b] = static_cast<u8>(b - 'a' + 'A');
  for (const auto& [lower, upper] : kCasePairs) up[lower] = upper;
  return up;
}

constexpr std::array<u8, 256> kUpper = BuildUpper();

// The collation order of the characters outside the sequence; see
// CompareCzNoCase in the header.
constexpr std::string_view kBlanks = " \u00A0";
constexpr std::string_view kMaths = "+<=>±×÷";
struct ExtraLetters {
  std::string_view after;  // a letter of the sequence
  std::string_view letters;
};
constexpr ExtraLetters kExtraLetters[] = {
    {"Á", "ÂĂĄ"}, {"C", "ĆÇ"}, {"D", "ĎĐ"},  {"Ě", "ËĘ"},  {"Í", "Î"}, {"L", "ĹĽŁ"}, {"Ň", "Ń"},
    {"Ö", "ÔŐ"},  {"R", "Ŕ"},  {"S", "ŚŞß"}, {"Ť", "Ţ"}, {"Ü", "Ű"}, {"Z", "ŹŻ"},
};
constexpr std::string_view kLettersLast = "µ";

constexpr bool IsDefined(std::size_t b) { return b < 0x80 || kHigh[b - 0x80] != 0; }

constexpr bool IsLetter(std::size_t b) {
  if (b < 0x80) return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
  for (const auto& [lower, upper] : kCasePairs) {
    if (b == lower || b == upper) return true;
  }
  return b == 0xDF || b == 0xB5;  // ß µ
}

constexpr bool IsControl(std::size_t b) { return b < 0x20 || b == 0x7F; }

// Positions handed out in order; a character placed twice fails the build.
struct Order {
  std::array<std::uint16_t, 256> position{};
  std::array<bool, 256> placed{};
  std::uint16_t next = 0;

  constexpr void Place(std::size_t b) {
    if (placed[b]) throw "character placed twice";
    position[b] = next++;
    placed[b] = true;
  }
  constexpr void Place(std::string_view utf8) {
    for (std::size_t i = 0; i < utf8.size();) {
      const Decoded d = Decode(utf8, i);
      const int b = ToByte(d.cp);
      if (!d.ok || b < 0) throw "not a Windows-1250 character";
      Place(static_cast<std::size_t>(b));
      i += d.len;
    }
  }
};

constexpr bool Contains(std::string_view utf8, std::size_t b) {
  for (std::size_t i = 0; i < utf8.size();) {
    const Decoded d = Decode(utf8, i);
    if (ToByte(d.cp) == static_cast<int>(b)) return true;
    i += d.len;
  }
  return false;
}

// Collation rank of each Windows-1250 byte, after upper-casing it.
constexpr std::array<std::uint16_t, 256> BuildRanks() {
  Order o;
  for (std::size_t b = 0; b < 256; ++b) {
    if (IsControl(b)) o.Place(b);
  }
  o.Place(kBlanks);
  for (std::size_t b = 0; b < 256; ++b) {
    if (IsDefined(b) && !IsControl(b) && !IsLetter(b) && !(b >= '0' && b <= '9') && !Contains(kBlanks, b) &&
        !Contains(kMaths, b)) {
      o.Place(b);
    }
  }
  o.Place(kMaths);
  o.Place("0123456789");
  for (std::size_t i = 0; i < kSequence.size();) {
    const Decoded d = Decode(kSequence, i);
    o.Place(kSequence.substr(i, d.len));
    for (const ExtraLetters& e : kExtraLetters) {
      if (Decode(e.after, 0).cp == d.cp) o.Place(e.letters);
    }
    i += d.len;
  }
  o.Place(kLettersLast);
  std::array<std::uint16_t, 256> rank{};
  for (std::size_t b = 0; b < 256; ++b) {
    if (!IsDefined(b)) continue;
    if (!o.placed[kUpper[b]]) throw "character without a place";
    rank[b] = o.position[kUpper[b]];
  }
  return rank;
}

constexpr std::array<std::uint16_t, 256> kRank = BuildRanks();

// Ranks beyond the Windows-1250 bytes: other code points, then malformed bytes.
constexpr u32 kOutsideBase = 0x100;
constexpr u32 kMalformedBase = kOutsideBase + 0x110000;

struct Ranked {
  u32 rank;
  std::size_t len;
};

inline Ranked RankAt(std::string_view s, std::size_t i) {
  const Decoded d = Decode(s, i);
  if (!d.ok) return {kMalformedBase + d.cp, 1};
  const int b = ToByte(d.cp);
  return {b >= 0 ? kRank[static_cast<std::size_t>(b)] : kOutsideBase + d.cp, d.len};
}

}  // namespace

std::string ToCp1250(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const Decoded d = Decode(utf8, i);
    const int b = d.ok ? ToByte(d.cp) : -1;
    out += b >= 0 ? static_cast<char>(b) : '?';
    i += d.len;
  }
  return out;
}

std::string FromCp1250(std::string_view cp1250) {
  std::string out;
  out.reserve(cp1250.size() * 2);
  for (const char c : cp1250) {
    const u8 b = static_cast<u8>(c);
    if (b < 0x80) {
      out += c;
    } else {
      const char16_t cp = kHigh[b - 0x80];
      AppendUtf8(out, cp != 0 ? cp : 0xFFFD);
    }
  }
  return out;
}

bool FitsCp1250(std::string_view utf8) {
  for (std::size_t i = 0; i < utf8.size();) {
    const Decoded d = Decode(utf8, i);
    if (!d.ok || ToByte(d.cp) < 0) return false;
    i += d.len;
  }
  return true;
}

std::size_t CharCount(std::string_view utf8) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < utf8.size(); ++n) i += Decode(utf8, i).len;
  return n;
}

std::string TruncateChars(std::string_view utf8, std::size_t n) {
  std::size_t i = 0;
  for (std::size_t k = 0; k < n && i < utf8.size(); ++k) i += Decode(utf8, i).len;
  return std::string(utf8.substr(0, i));
}

std::string PadChars(std::string_view utf8, std::size_t n) {
  std::size_t i = 0, k = 0;
  for (; k < n && i < utf8.size(); ++k) i += Decode(utf8, i).len;
  std::string out(utf8.substr(0, i));
  out.append(n - k, ' ');
  return out;
}

std::string_view TrimRight(std::string_view s) {
  const std::size_t end = s.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view() : s.substr(0, end + 1);
}

std::string UpperCz(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const Decoded d = Decode(utf8, i);
    const int b = d.ok ? ToByte(d.cp) : -1;
    if (b >= 0 && kUpper[static_cast<std::size_t>(b)] != b) {
      const u8 up = kUpper[static_cast<std::size_t>(b)];
      if (up < 0x80) {
        out += static_cast<char>(up);
      } else {
        AppendUtf8(out, kHigh[up - 0x80]);
      }
    } else {
      out += utf8.substr(i, d.len);
    }
    i += d.len;
  }
  return out;
}

std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

int CompareCzNoCase(std::string_view a, std::string_view b) {
  a = TrimRight(a);
  b = TrimRight(b);
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const u8 ca = Byte(a, i), cb = Byte(b, j);
    if ((ca | cb) < 0x80) {
      if (ca != cb && kRank[ca] != kRank[cb]) return kRank[ca] < kRank[cb] ? -1 : 1;
      ++i;
      ++j;
      continue;
    }
    const Ranked ra = RankAt(a, i), rb = RankAt(b, j);
    if (ra.rank != rb.rank) return ra.rank < rb.rank ? -1 : 1;
    i += ra.len;
    j += rb.len;
  }
  return (i < a.size() ? 1 : 0) - (j < b.size() ? 1 : 0);
}

}  // namespace platform::text
