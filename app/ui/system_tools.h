// The desktop's sound recorder and volume control, started for the main
// window's commands.
//
// Not built yet: this stand-in starts nothing and shows nothing.
#pragma once

#include <string_view>

namespace app::ui {

// Starts the program a Windows command line names (GetWindowsFolder() &
// "\system32\sndvol32.exe" or & "\system32\sndrec32.exe") without waiting
// for it.
void RunSystemTool(std::string_view command);

}  // namespace app::ui
