// The application's message boxes.
#pragma once

#include <string_view>

namespace app::ui {

// A message with one OK button; returns when the box is closed. The icon is
// one of the program's icon files ("stop.ico" errors, "inform.ico" notes);
// at most 2047 characters of the text are shown.
void aMessage(std::string_view icon, std::string_view title, std::string_view text);

}  // namespace app::ui
