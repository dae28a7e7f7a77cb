// The application's message boxes: aMessage (one OK button) and cMessage (a
// question with two caller-given buttons). Both are modal windows of the
// window model with their own loop; the caller, and the windows below on its
// thread, wait until the box closes.
//
// Headless (the thread's view is not interactive): the box still opens and
// is filled as usual; its text goes to standard error as one line
// "title: text" (through platform::MessageBox) and it answers at once:
// aMessage presses OK; cMessage presses the button of the scripted answer
// (VELORN_MSGBOX_ANSWERS: "yes" or "ok" the confirming second pair, result 1;
// "no" or "cancel" the refusing first pair, result 2) and, without one, the
// refusing first pair (2): a question nobody saw is never taken as
// confirmed. A box closed without a button (the close box) returns 0.
//
// Keys: Enter presses the button with the focus (the first button when no
// button has it); Esc presses the refusing one: OK, respectively ?BUTTON2
// (the first pair, 2).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace platform::ui {
class Window;
}

namespace app::ui {

// At most 2047 characters of a box's text are shown; line breaks are "\r\n".
inline constexpr std::size_t kMessageTextChars = 2047;

// A message with one OK button; returns when the box is closed. The icon is
// one of the program's icon files ("stop.ico" errors, "inform.ico" notes).
// Controls: ?BUTTON_OK, ?UZIVATELSKY_TEXT, ?IMAGE1.
void aMessage(std::string_view icon, std::string_view title, std::string_view text);

// A question. Returns 2 when ?BUTTON2 (label1, image1: the first pair) was
// pressed, 1 when ?BUTTON1 (label2, image2: the second pair) was pressed, 0
// when the box was closed otherwise. Style 0: raised buttons with centred
// contents; any other style: flat buttons. The focus starts on ?BUTTON2.
// Controls: ?BUTTON2, ?BUTTON1, ?UZIVATELSKY_TEXT, ?IMAGE1.
uint8_t cMessage(std::string_view image1, std::string_view label1, std::string_view image2,
                 std::string_view label2, std::string_view icon, std::string_view title,
                 std::string_view text, uint8_t style);

// Fits a window onto the visible desktop (mode 1, no position given); both
// boxes call it twice when they open. None by default.
using VisibleOnDesktopHook = void (*)(platform::ui::Window& w);
void SetVisibleOnDesktopHook(VisibleOnDesktopHook hook);

}  // namespace app::ui
