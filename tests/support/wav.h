// WAV files for sound tests, built byte by byte.
#pragma once

#include <cstdint>
#include <string>

namespace testsupport {

inline void Put16(std::string& s, uint32_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
inline void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

// A WAV file around raw sample bytes.
inline std::string MakeWav(const std::string& data, uint32_t rate, uint16_t channels, uint16_t bits,
                           uint16_t formatTag = 1) {
  const uint16_t blockAlign = static_cast<uint16_t>(channels * bits / 8);
  std::string s = "RIFF";
  Put32(s, static_cast<uint32_t>(36 + data.size()));
  s += "WAVEfmt ";
  Put32(s, 16);
  Put16(s, formatTag);
  Put16(s, channels);
  Put32(s, rate);
  Put32(s, rate * blockAlign);
  Put16(s, blockAlign);
  Put16(s, bits);
  s += "data";
  Put32(s, static_cast<uint32_t>(data.size()));
  return s + data;
}

}  // namespace testsupport
