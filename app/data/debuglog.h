// The debug log "Debug.log": one line per scheduler step while the command
// line holds "/debug".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace app::data {

// 1 when the command line holds "/debug"; set once at start.
extern uint8_t DebugEnabled;
// The text of the next log line (255 characters, blank-padded), per thread.
std::string& DebugLine();

// The box a failed append shows (icon, title, text); the program installs
// its own message box, the default is the platform's plain box.
using ErrorBoxFn = void (*)(std::string_view icon, std::string_view title, std::string_view text);
void SetDebugErrorBox(ErrorBoxFn box);

inline constexpr const char* kDebugAppendError =
    "Chyba při čtení/zápisu do souboru DEBUG.LOG !\r\n\r\n"
    "Zkontrolujte, zda soubor existuje nebo zda není chráněn proti zápisu.\r\n.";

// Appends DebugLine() to the log when DebugEnabled is 1; a failed append
// shows the error box and loses the line.
void WriteDebugLine();

}  // namespace app::data
