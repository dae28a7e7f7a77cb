#include "app/engine/logtext.h"

#include <cstdio>

#include "app/data/debuglog.h"
#include "app/data/records.h"
#include "platform/clock.h"
#include "platform/text.h"

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

std::string Stamp() {
  platform::Clock& clock = platform::GetClock();
  return DateText(clock.Today()) + " " + TimeText(clock.ClockTime());
}

void WriteLogLine(const std::string& line) {
  if (data::DebugEnabled != 1) return;
  data::DebugLine() = platform::text::PadChars(line, data::kDebugLineChars);
  data::WriteDebugLine();
}

}  // namespace app::engine
