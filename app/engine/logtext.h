// Date and time texts of the debug log: the Czech short date "d.M.yyyy" and
// the 24-hour time "H:mm:ss" (hours without a leading zero).
#pragma once

#include <string>

#include "platform/stdtime.h"

namespace app::engine {

std::string DateText(platform::StdDate date);
// A time of day; the empty time (0) reads as midnight, -1 and other
// impossible values as "".
std::string TimeText(platform::StdTime time);

}  // namespace app::engine
