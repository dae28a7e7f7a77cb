#include "app/engine/logtext.h"

#include <cstdio>

namespace app::engine {

std::string DateText(platform::StdDate date) {
  int y, m, d;
  if (!platform::YmdFromDate(date, y, m, d)) return {};
  char buf[16];
  std::snprintf(buf, sizeof buf, "%d.%d.%d", d, m, y);
  return buf;
}

std::string TimeText(platform::StdTime time) {
  int h = 0, m = 0, s = 0, hs = 0;
  if (time != 0 && !platform::HmsFromTime(time, h, m, s, hs)) return {};
  char buf[16];
  std::snprintf(buf, sizeof buf, "%d:%02d:%02d", h, m, s);
  return buf;
}

}  // namespace app::engine
