// The operator's view of the program's windows.
#pragma once

#include <memory>

namespace platform::qt {
class Session;
class TrayShell;
}
namespace platform::ui {
class Window;
}

namespace app::ui {

// For its lifetime, the calling thread's windows are the toolkit's windows
// when the machine can show them (else the thread stays headless), and the
// message boxes fit themselves onto the visible desktop either way; with
// windows shown, the toolkit's notification area is the thread's shell. Set up
// in window mode before the main window opens, on the thread that runs it.
class WindowView {
 public:
  WindowView();
  ~WindowView();
  WindowView(const WindowView&) = delete;
  WindowView& operator=(const WindowView&) = delete;

  // True when windows are shown (not headless).
  bool Shown() const;

 private:
  std::unique_ptr<platform::qt::Session> session_;
  std::unique_ptr<platform::qt::TrayShell> tray_;
};

// The boxes' placement: the window measured and fitted in mode 1.
void FitOnVisibleDesktop(platform::ui::Window& w);

}  // namespace app::ui
