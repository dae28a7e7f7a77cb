// The platform's plain message box, the error reporter and the halt.
//
// The box is shown by the view installed for the process. Without one (the
// headless form: services, tests, a machine without a display) the box
// writes "caption: text" as one line to standard error and answers at once:
// with the next scripted answer when the environment variable
// VELORN_MSGBOX_ANSWERS holds any ("ok,yes,no,cancel,abort,retry,ignore,help",
// used in order, one per box), else with its refusing answer (Cancel, else
// No, else Abort, else the only button). No box ever waits in this form.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace platform {

enum class BoxIcon { None, Information, Exclamation, Question, Hand };

// Buttons and answers (a set of buttons is an OR of these).
enum BoxButton : unsigned {
  BoxOk = 1,
  BoxYes = 2,
  BoxNo = 4,
  BoxAbort = 8,
  BoxRetry = 16,
  BoxIgnore = 32,
  BoxCancel = 64,
  BoxHelp = 128,
  // Not a button: Esc and the close box answer No (a box without Cancel
  // otherwise has to be answered with a button).
  BoxEscapeNo = 256,
};

// Shows a box and returns the button that closed it.
unsigned MessageBox(std::string_view text, std::string_view caption, BoxIcon icon = BoxIcon::None,
                    unsigned buttons = BoxOk, unsigned defaultButton = 0);

// A view's box: installed by a window view, removed with nullptr.
using BoxView = std::function<unsigned(std::string_view text, std::string_view caption, BoxIcon icon,
                                       unsigned buttons, unsigned defaultButton)>;
void SetBoxView(BoxView view);

// The sound that goes with a box of that icon (a question's before the
// exit box), played by the view installed for the process; the headless
// form plays nothing.
void Beep(BoxIcon sound);
using BeepView = std::function<void(BoxIcon sound)>;
void SetBeepView(BeepView view);

// The answer the headless form gives (exposed for tests).
unsigned HeadlessAnswer(unsigned buttons);

// The error reporter: a failed open of a record file, shown in a box with
// the file's name, the error code and its text.
void ReportFileError(std::string_view fileName, int code, std::string_view detail = {});
// A failed read or write of a record file, in the same box.
void ReportRecordError(std::string_view fileName, int code, bool writing);

// Ends the process at once with the exit code, running no end steps.
[[noreturn]] void Halt(int exitCode);

}  // namespace platform
