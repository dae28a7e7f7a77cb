// The toolkit on the calling thread: the application object with the
// toolkit's Czech texts and the Czech locale as its default (sizes, dates
// and file types in Czech forms), the Qt view as the thread's view, and the
// view's plain box, file dialog and raising of windows, from construction
// to destruction. Where the desktop has a session manager, its commit-data
// request and its quit at the session's end reach the thread's windows as
// platform::ui::QueryEndSession and EndSession.
#pragma once

#include <memory>

class QTranslator;

namespace platform::qt {

class QtView;
class DesktopSession;

class Session {
 public:
  // Starts when windows can be shown: a display (DISPLAY, WAYLAND_DISPLAY)
  // or a platform named by QT_QPA_PLATFORM ("offscreen" in tests). Else, or
  // when the toolkit cannot start, nothing changes and the program stays
  // headless.
  Session();
  // Gives the thread back to the headless view and removes the plain box
  // and the file dialog. The thread's windows must have closed.
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  bool Active() const { return view_ != nullptr; }
  QtView* View() const { return view_.get(); }

  static bool CanShowWindows();

 private:
  struct App;
  std::unique_ptr<App> app_;
  std::unique_ptr<QTranslator> texts_;
  std::unique_ptr<QtView> view_;
  std::unique_ptr<DesktopSession> desktop_;
};

}  // namespace platform::qt
