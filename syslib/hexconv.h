// Hexadecimal text from numbers and numbers from hexadecimal text.
//
// ds_Nib2Hex and ds_FormatHex record their procedure names (clearing the
// thread's library error) and never fail. LongToHex and HexToLong record no
// name and set no library error; they report bad input only through a
// message box (platform::MessageBox), and only when showMessage is non-zero.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace syslib {

using LONG = int32_t;

// Records "ds_Nib2Hex". The digit of n from "0123456789ABCDEF"; "#" when n
// is above 15 or negative.
std::string ds_Nib2Hex(LONG n);

// Records "ds_FormatHex". Exactly digits characters: value taken as an
// unsigned 32-bit number, in upper-case hexadecimal with leading zeros.
// When the value needs more digits than asked for, the first character is
// "#" ("#345" for 12345h in 4 digits); digits 0 gives "". More than 8 digits
// give leading zeros. Each digit goes through ds_Nib2Hex, so with digits
// above 0 the thread's procedure name is "ds_Nib2Hex" afterwards.
std::string ds_FormatHex(LONG value, uint8_t digits);

// The value, its fraction dropped, as exactly eight upper-case hexadecimal
// digits ("000000FF" for 255). A value below 0, above 4294967295 or NaN
// gives "", after the box "  Must be Positive Number Less than
// 4,294,967,296" titled "Out of Range!" (information icon, OK) when
// showMessage is non-zero.
std::string LongToHex(double value, uint8_t showMessage);

// The value of a hexadecimal text, upper or lower case, as a 32-bit number
// ("FFFFFFFF" gives -1); the empty text gives 0. Characters are checked from
// the last towards the first, trailing blanks counted as leading ones. The
// first one that is not a hexadecimal digit (a blank included), or a digit
// other than "0" before the last eight, makes the result 0, after the box
// "     Character (" & that character & ") is out of range" titled
// "Out of Range!" (information icon, OK) when showMessage is non-zero.
LONG HexToLong(std::string_view hex, uint8_t showMessage);

}  // namespace syslib
