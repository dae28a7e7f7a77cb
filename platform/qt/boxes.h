// The plain message box and the open-file dialog of the Qt view. Both are
// windows of the window model on the calling thread: they open above the
// thread's windows and hold them until they close, as every modal window
// does.
#pragma once

#include <string>
#include <string_view>

#include "platform/filedialog.h"
#include "platform/msgbox.h"

namespace platform::qt {

class QtView;

// The box of platform::MessageBox: the icon, the text and the buttons in
// the order OK, Yes, No, Abort, Retry, Ignore, Cancel, Help, with the
// locale's captions; the focus on the default button (the first when none
// is given). Enter presses the button with the focus; Esc gives the
// refusing answer (platform::HeadlessAnswer: Cancel, else No, else Abort,
// else the first button). The close box answers Cancel when the box has that
// button and OK when OK is its only button; otherwise it does nothing. On a
// thread that does not use the view, the box writes "caption: text" to
// standard error and gives its refusing answer.
unsigned ShowMessageBox(QtView& view, std::string_view text, std::string_view caption, BoxIcon icon,
                        unsigned buttons, unsigned defaultButton);

// The dialog of platform::OpenFileDialog (the toolkit's own, not the
// desktop's): existing files only, its one filter, opening in the current
// folder. "" when cancelled, and on a thread that does not use the view.
std::string ShowOpenFileDialog(QtView& view, const FileDialogRequest& request);

}  // namespace platform::qt
