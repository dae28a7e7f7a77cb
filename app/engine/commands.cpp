#include "app/engine/commands.h"

namespace app::engine {

namespace {

struct LampText {
  int32_t code;
  const char* text;
};

constexpr LampText kLampTexts[] = {
    {kOnAirLampOff, "(0504100010)"},    {kOnAirLampOn, "(0504100111)"},
    {kMicBacklightOff, "(0504101011)"}, {kMicBacklightOn, "(0504101112)"},
    {kLineBacklightOff, "(0504102012)"}, {kLineBacklightOn, "(0504102113)"},
};

}  // namespace

std::string SetRelay(int relay) { return "s" + std::to_string(relay) + "\r"; }
std::string ResetRelay(int relay) { return "r" + std::to_string(relay) + "\r"; }

const char* ConsoleCommandFor(int32_t code) {
  for (const LampText& l : kLampTexts)
    if (l.code == code) return l.text;
  return kStatusQuery;
}

std::string PortMode(std::string_view port, std::string_view baud) {
  return std::string(port) + ":" + std::string(baud) + ",n,8,1";
}

}  // namespace app::engine
