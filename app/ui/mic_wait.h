// The wait of the live announcement for the console's main MIC switch: a
// small modal window with the text "Není zapnutý hlavní spínač MIC. Prosím
// zapněte jej!" and a "Storno" button.
//
// Its timer (every 5 hundredths, the first one period after the window
// opened) makes one pass: PollConsole (which reads every 4th call), then
// QueryConsole, on the console state it is given (the main window's). The
// window closes at the end of the first pass that leaves INTLACITKA at 2
// or 3. "Storno", the close box and a close-down end the wait instead.
//
// It runs its own loop on the calling thread: the windows below it (the
// main window) get no timer events while it is open and the operator's
// input keeps being handled, however long the console stays off.
#pragma once

#include <string_view>

#include "app/engine/protocol.h"

namespace app::ui {

inline constexpr const char* kMicWaitProcedure = "Cekani_na_MIC";
inline constexpr const char* kMicOffText = "Není zapnutý hlavní spínač MIC. Prosím zapněte jej!";
inline constexpr int kMicWaitTimer = 5;  // hundredths

// Opens the window (caption: caption) and returns true when the console
// reported state 2 or 3, false when the operator gave up.
bool WaitForMicSwitch(engine::Protocol& protocol, engine::ConsoleState& console, std::string_view caption);

}  // namespace app::ui
