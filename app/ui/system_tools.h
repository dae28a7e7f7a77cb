// The desktop's sound recorder and volume control, started for the main
// window's commands.
#pragma once

#include <string_view>

namespace app::ui {

// Starts the program a Windows command line names (GetWindowsFolder() &
// "\system32\sndvol32.exe": the volume control; & "\system32\sndrec32.exe":
// the sound recorder) through platform::RunNoWait, without waiting for it;
// any other text starts nothing. When none of the command's programs is
// found, aMessage "stop.ico", "Chyba" names the programs looked for, and
// returns when the box is closed. A program found that fails to start is
// not reported.
void RunSystemTool(std::string_view command);

}  // namespace app::ui
