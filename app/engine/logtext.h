// The debug log's lines as the engine writes them: the Czech short date
// "d.M.yyyy" and the 24-hour time "H:mm:ss" (hours without a leading zero).
#pragma once

#include <string>

#include "platform/stdtime.h"

namespace app::engine {

[[nodiscard]] std::string DateText(platform::StdDate date);
// A time of day; the empty time (0) reads as midnight, -1 and other
// impossible values as "".
[[nodiscard]] std::string TimeText(platform::StdTime time);
// Today's date text, a blank and the current time text (platform clock).
[[nodiscard]] std::string Stamp();
// Writes one line to "Debug.log" when "/debug" is given (through DebugLine
// and WriteDebugLine); nothing otherwise.
void WriteLogLine(const std::string& line);

}  // namespace app::engine
