#include "platform/text.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace platform::text {
namespace {

constexpr const char* kIconvNames[] = {"CP1250", "WINDOWS-1250"};

bool IsUndefinedByte(int b) { return b == 0x81 || b == 0x83 || b == 0x88 || b == 0x90 || b == 0x98; }

// Converts with glibc iconv; nullopt when iconv rejects the input.
std::optional<std::string> Iconv(const char* to, const char* from, std::string_view in) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    ADD_FAILURE() << "iconv_open " << from << " -> " << to << " failed";
    return std::nullopt;
  }
  std::string src(in);
  std::string out(16 + in.size() * 4, '\0');
  char* ip = src.data();
  char* op = out.data();
  std::size_t il = src.size();
  std::size_t ol = out.size();
  const std::size_t r = iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  if (r == static_cast<std::size_t>(-1) || r != 0) return std::nullopt;  // r > 0: inexact conversion
  out.resize(out.size() - ol);
  return out;
}

std::string Utf8(char32_t cp) {
  std::string s;
  if (cp < 0x80) {
    s += static_cast<char>(cp);
  } else if (cp < 0x800) {
    s += static_cast<char>(0xC0 | (cp >> 6));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    s += static_cast<char>(0xE0 | (cp >> 12));
    s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | (cp >> 18));
    s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return s;
}

std::string ByteString(int b) { return std::string(1, static_cast<char>(b)); }

TEST(Cp1250, HighBytesDecodeAsIconvDoes) {
  for (const char* name : kIconvNames) {
    SCOPED_TRACE(name);
    int defined = 0;
    for (int b = 0x80; b <= 0xFF; ++b) {
      SCOPED_TRACE(b);
      const std::optional<std::string> expected = Iconv("UTF-8", name, ByteString(b));
      if (!expected) {
        EXPECT_TRUE(IsUndefinedByte(b));
        continue;
      }
      ++defined;
      EXPECT_EQ(FromCp1250(ByteString(b)), *expected);
      EXPECT_EQ(ToCp1250(*expected), ByteString(b));
    }
    EXPECT_EQ(defined, 128 - 5);
  }
}

// Every code point up to U+3000 fits exactly when iconv can encode it, and
// encodes to the same byte: no missing and no extra table entries.
TEST(Cp1250, EncodingAgreesWithIconvOverBmpStart) {
  for (char32_t cp = 1; cp < 0x3000; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    const std::string s = Utf8(cp);
    const std::optional<std::string> expected = Iconv("CP1250", "UTF-8", s);
    ASSERT_EQ(FitsCp1250(s), expected.has_value()) << "U+" << std::hex << static_cast<unsigned>(cp);
    EXPECT_EQ(ToCp1250(s), expected.value_or("?")) << "U+" << std::hex << static_cast<unsigned>(cp);
  }
}

TEST(Cp1250, UndefinedBytesBecomeReplacementCharacter) {
  for (int b : {0x81, 0x83, 0x88, 0x90, 0x98}) {
    EXPECT_EQ(FromCp1250("a" + ByteString(b) + "b"), "a\xEF\xBF\xBD" "b") << b;
  }
}

TEST(Cp1250, EveryDefinedByteRoundTrips) {
  std::string all;
  for (int b = 0; b <= 0xFF; ++b) {
    if (!IsUndefinedByte(b)) all += static_cast<char>(b);
  }
  const std::string utf8 = FromCp1250(all);
  EXPECT_TRUE(FitsCp1250(utf8));
  EXPECT_EQ(CharCount(utf8), all.size());
  EXPECT_EQ(ToCp1250(utf8), all);

  const std::string czech = "Příliš žluťoučký kůň úpěl ďábelské ódy – „Ó“ € 5 °C";
  EXPECT_EQ(FromCp1250(ToCp1250(czech)), czech);
}

TEST(Cp1250, UnrepresentableAndMalformedBecomeQuestionMarks) {
  struct Case {
    std::string_view utf8;
    std::string_view cp1250;
    bool fits;
  };
  const Case cases[] = {
      {"", "", true},
      {"€", "\x80", true},
      {"Žluť", "\x8Elu\x9D", true},
      {"✓", "?", false},
      {"a✓b", "a?b", false},
      {"😀", "?", false},
      {"\xC3", "?", false},                  // truncated
      {"\xC3(", "?(", false},                // bad continuation
      {"\xC0\xAF", "??", false},             // overlong
      {"\xED\xA0\x80", "???", false},        // surrogate
      {"\xF4\x90\x80\x80", "????", false},   // above U+10FFFF
      {"\x80x", "?x", false},                // stray continuation byte
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(ToCp1250(c.utf8), c.cp1250);
    EXPECT_EQ(FitsCp1250(c.utf8), c.fits);
  }
}

TEST(Utf8Chars, CountTruncateAndPad) {
  struct Case {
    std::string_view text;
    std::size_t n;
    std::size_t count;
    std::string_view truncated;
    std::string_view padded;
  };
  const Case cases[] = {
      {"", 0, 0, "", ""},
      {"", 2, 0, "", "  "},
      {"Ano", 5, 3, "Ano", "Ano  "},
      {"Příliš", 3, 6, "Pří", "Pří"},
      {"Příliš", 6, 6, "Příliš", "Příliš"},
      {"Příliš", 0, 6, "", ""},
      {"€✓😀", 2, 3, "€✓", "€✓"},
      {"€✓😀", 4, 3, "€✓😀", "€✓😀 "},
      {"a\xFF" "b", 2, 3, "a\xFF", "a\xFF"},  // a malformed byte is one character
      {"\xC5", 2, 1, "\xC5", "\xC5 "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " / " + std::to_string(c.n));
    EXPECT_EQ(CharCount(c.text), c.count);
    EXPECT_EQ(TruncateChars(c.text, c.n), c.truncated);
    EXPECT_EQ(PadChars(c.text, c.n), c.padded);
  }
}

TEST(TrimRight, RemovesOnlyTrailingBlanks) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"", ""},           {"   ", ""},          {"ab  ", "ab"},       {"  ab", "  ab"},
      {"a b ", "a b"},    {"ab\t", "ab\t"},     {"ab \n", "ab \n"},   {"ab\xC2\xA0", "ab\xC2\xA0"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(TrimRight(in), out) << '"' << in << '"';
}

TEST(UpperCz, CzechLetters) {
  EXPECT_EQ(UpperCz("aábcčdďeéěfghiíjklmnňoópqrřsštťuúůvwxyýzž"),
            "AÁBCČDĎEÉĚFGHIÍJKLMNŇOÓPQRŘSŠTŤUÚŮVWXYÝZŽ");
  EXPECT_EQ(UpperCz("AÁČĎÉĚÍŇÓŘŠŤÚŮÝŽ"), "AÁČĎÉĚÍŇÓŘŠŤÚŮÝŽ");
}

TEST(UpperCz, OtherCharactersUnchanged) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"äöüëâôîăçąęłńőűśźżĺľŕţşćđ", "ÄÖÜËÂÔÎĂÇĄĘŁŃŐŰŚŹŻĹĽŔŢŞĆĐ"},
      {"ß µ ÷ × 1 ? ~", "ß µ ÷ × 1 ? ~"},
      {"я ω ÿ ✓ 😀", "я ω ÿ ✓ 😀"},  // letters outside Windows-1250
      {"a\xFF" "b\xC3", "A\xFF" "B\xC3"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(UpperCz(in), out);
}

// For each Windows-1250 character: upper-cased as glibc does, when the upper
// case is itself in Windows-1250; else unchanged.
TEST(UpperCz, AgreesWithGlibcOnEveryWindows1250Character) {
  locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  if (loc == static_cast<locale_t>(nullptr)) GTEST_SKIP() << "no C.UTF-8 locale";
  for (int b = 1; b <= 0xFF; ++b) {
    if (IsUndefinedByte(b)) continue;
    const std::string ch = FromCp1250(ByteString(b));
    std::optional<std::string> wide = Iconv("UTF-32LE", "UTF-8", ch);
    ASSERT_TRUE(wide && wide->size() == 4);
    char32_t cp = 0;
    for (int k = 3; k >= 0; --k) cp = (cp << 8) | static_cast<unsigned char>((*wide)[static_cast<std::size_t>(k)]);
    const std::string up = Utf8(static_cast<char32_t>(towupper_l(static_cast<wint_t>(cp), loc)));
    EXPECT_EQ(UpperCz(ch), FitsCp1250(up) ? up : ch) << "byte " << b;
  }
  freelocale(loc);
}

TEST(UpperAscii, OnlyAsciiLetters) {
  EXPECT_EQ(UpperAscii("příliš abc-xyz@{}`"), "PříLIš ABC-XYZ@{}`");
  EXPECT_EQ(UpperAscii(""), "");
}

int Sign(int v) { return (v > 0) - (v < 0); }

TEST(CompareCzNoCase, Cases) {
  struct Case {
    std::string_view a;
    std::string_view b;
    int sign;
  };
  const Case cases[] = {
      {"", "", 0},
      {"", "   ", 0},
      {"", "A", -1},
      {"a", "A", 0},
      {"příliš", "PŘÍLIŠ", 0},
      {"A", "Ä", -1},          // sequence order A < Ä < Á
      {"Ä", "Á", -1},
      {"ä", "á", -1},
      {"a", "á", -1},
      {"áb", "ab", 1},
      {"c", "č", -1},          // č after c, before d
      {"č", "d", -1},
      {"cz", "ča", -1},        // character by character: c < č decides
      {"ch", "ci", -1},        // ch is two plain letters
      {"ch", "h", -1},
      {"ch", "cg", 1},
      {"r", "ř", -1},
      {"ř", "s", -1},
      {"s", "š", -1},
      {"u", "ú", -1},
      {"ú", "ů", -1},
      {"ů", "v", -1},
      {"e", "é", -1},
      {"é", "ě", -1},
      {"Z", "Ž", -1},
      {"ž", "z", 1},
      {"AB", "AB  ", 0},       // trailing blanks ignored
      {"ab ", "AB", 0},
      {"A B", "AB", -1},       // inner blanks count
      {"AB", "AB C", -1},
      {"0", "9", -1},          // digits before letters
      {"9", "A", -1},
      {"@", "a", -1},          // everything below 'A' comes before the sequence
      {"Z9", "ZA", -1},
      {"ABC", "ABD", -1},
      {"ABC", "AB", 1},
      {"[", "A", -1},          // punctuation before letters
      {"Ď", "E", -1},          // Ď is not in the sequence: after D
      {"D", "Ď", -1},
      {"ď", "Ď", 0},
      {"ß", "S", 1},
      {"€", "0", -1},          // symbols before digits
      {"✓", "€", 1},           // outside Windows-1250: after all others
      {"✓", "☃", 1},           // ... by code point
      {"\xFF", "✓", 1},        // malformed bytes last
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " <> " + std::string(c.b));
    EXPECT_EQ(Sign(CompareCzNoCase(c.a, c.b)), c.sign);
    EXPECT_EQ(Sign(CompareCzNoCase(c.b, c.a)), -c.sign);
  }
}

// Sorting a reversed and rotated copy of sorted gives it back, and every pair
// (not only neighbours) compares as its places say.
void ExpectSortedOrder(const std::vector<std::string>& sorted, std::ptrdiff_t rotation) {
  std::vector<std::string> words(sorted.rbegin(), sorted.rend());
  std::rotate(words.begin(), words.begin() + rotation, words.end());
  std::sort(words.begin(), words.end(),
            [](const std::string& x, const std::string& y) { return CompareCzNoCase(x, y) < 0; });
  EXPECT_EQ(words, sorted);
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    for (std::size_t j = 0; j < sorted.size(); ++j) {
      EXPECT_EQ(Sign(CompareCzNoCase(sorted[i], sorted[j])), Sign(static_cast<int>(i) - static_cast<int>(j)))
          << sorted[i] << " <> " << sorted[j];
    }
  }
}

TEST(CompareCzNoCase, SortsCzechWords) {
  const std::vector<std::string> sorted = {
      "10 km", "auto", "Ärger", "ábel", "byt",   "chléb", "cukr", "čaj",  "Dům",  "rum",
      "řeka",  "sůl",  "šála",  "tma",  "ťapka", "ulice", "úl",   "zima", "žába",
  };
  ExpectSortedOrder(sorted, 7);
}

// Every class of character, the letters of the sequence and those it lacks.
TEST(CompareCzNoCase, SortTable) {
  const std::vector<std::string> sorted = {
      "",
      "\tx",          // control characters first
      " a",           // blanks
      "\u00A0a",
      "!",            // punctuation and symbols: ASCII in byte order ...
      "\"quoted\"",
      "#1",
      "(a)",
      "-a",
      ".a",
      "@home",
      "[x",
      "_a",
      "~",
      "„x",           // ... then the others of Windows-1250 ...
      "§ 5",
      "+1",           // ... then the maths signs
      "<a>",
      "=",
      "±",
      "0",            // digits
      "09",
      "1",
      "10 km",
      "9",
      "a",            // letters
      "a b",          // a blank, a punctuation mark and a digit come before letters
      "a-b",
      "a1",
      "ab",
      "Ärger",
      "ábel",
      "âme",          // not in the sequence after upper-casing: after Á
      "ąk",
      "byt",
      "chléb",        // c then h
      "cukr",
      "ćma",          // after C, before Č
      "čaj",
      "Dům",
      "ďábel",        // after D
      "eso",
      "Ëda",
      "hrad",
      "lampa",
      "łoď",          // after L
      "mák",
      "noc",
      "ňadra",
      "oko",
      "óda",
      "Öl",
      "őr",           // after Ö
      "pes",
      "rum",
      "řeka",
      "sůl",
      "ßa",           // after S, before Š
      "šála",
      "tma",
      "ťapka",
      "ulice",
      "úl",
      "ůžek",
      "über",
      "űr",           // after Ü
      "zima",
      "źdźbło",       // after Z, before Ž
      "žába",
      "µm",           // after every letter
      "✓",            // outside Windows-1250
  };
  ExpectSortedOrder(sorted, 29);
}

}  // namespace
}  // namespace platform::text
