// Text in Velorn: UTF-8 in memory, Windows-1250 on disk (record fields,
// Debug.log). Czech upper-casing and the Czech collation used by the
// case-insensitive keys of the record files.
#pragma once

#include <string>
#include <string_view>

namespace platform::text {

// UTF-8 -> Windows-1250 bytes. A character Windows-1250 cannot hold, and a
// malformed UTF-8 sequence, becomes '?'. Never fails.
std::string ToCp1250(std::string_view utf8);

// Windows-1250 bytes -> UTF-8. The five bytes that Windows-1250 leaves
// undefined (81h, 83h, 88h, 90h, 98h) become U+FFFD.
std::string FromCp1250(std::string_view cp1250);

// True when every character of the UTF-8 text has a Windows-1250 byte.
bool FitsCp1250(std::string_view utf8);

// Number of characters (code points) in UTF-8 text; a malformed byte counts
// as one character.
std::size_t CharCount(std::string_view utf8);

// The first n characters of UTF-8 text (never splits a character).
std::string TruncateChars(std::string_view utf8, std::size_t n);

// Pads UTF-8 text with blanks to n characters, or cuts it to n.
std::string PadChars(std::string_view utf8, std::size_t n);

// Removes trailing blanks (U+0020 only).
std::string_view TrimRight(std::string_view s);

// Upper-casing with Czech rules for every letter Windows-1250 holds
// (á -> Á, ř -> Ř, ...); other characters unchanged. ß stays ß.
std::string UpperCz(std::string_view utf8);

// ASCII-only upper-casing (A to Z), for contexts before the locale is set.
std::string UpperAscii(std::string_view s);

// Case-insensitive comparison in Czech order: both texts are upper-cased
// (UpperCz), then compared character by character in this order:
//   control characters, in byte order;
//   blanks: space, no-break space;
//   punctuation and symbols: those of ASCII in byte order, then the others
//     of Windows-1250 in byte order, then the maths signs + < = > ± × ÷;
//   digits 0 to 9;
//   letters, on the collation sequence
//   "AÄÁaáâäBbCČcčDdEÉĚeéěëFfGgHhIÍiíJjKkLlMmNŇnňOÓÖoóöPpQqRŘrřSŠsšTŤtťUÚŮÜuůúűüVvWwXxYÝyýZŽzž",
//     each letter it lacks standing after a letter of its own base: Â Ă Ą
//     after Á, Ć Ç after C, Ď Đ after D, Ë Ę after Ě, Î after Í, Ĺ Ľ Ł after
//     L, Ń after Ň, Ô Ő after Ö, Ŕ after R, Ś Ş ß after S, Ţ after Ť, Ű after
//     Ü, Ź Ż after Z ("ch" is c then h);
//   µ;
//   characters outside Windows-1250, by code point; malformed UTF-8 bytes.
// Trailing blanks are ignored ("AB" equals "AB  "). Returns <0, 0 or >0.
int CompareCzNoCase(std::string_view a, std::string_view b);

}  // namespace platform::text
