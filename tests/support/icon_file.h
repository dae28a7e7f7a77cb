// A small icon file: one 1x1 32-bit image.
#pragma once

#include <string>

namespace testsupport {

inline std::string IconFile() {
  std::string bmp(40, '\0');
  bmp[0] = 40, bmp[4] = 1, bmp[8] = 2, bmp[12] = 1, bmp[14] = 32;
  bmp += std::string("\x10\x20\x30\xff", 4) + std::string(4, '\0');  // the pixel, the mask row
  std::string entry(16, '\0');
  entry[0] = 1, entry[1] = 1, entry[4] = 1, entry[6] = 32;
  entry[8] = static_cast<char>(bmp.size());
  entry[12] = 22;
  return std::string("\0\0\1\0\1\0", 6) + entry + bmp;
}

}  // namespace testsupport
