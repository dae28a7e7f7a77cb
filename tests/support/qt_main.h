// Test programs on the toolkit's offscreen platform: their main, the
// toolkit session it runs them in, and screenshots on request.
#pragma once

class QWidget;

namespace platform::qt {
class QtView;
}

namespace testsupport {

// Runs the program's tests as the program's start runs windows: on the
// offscreen platform (unless QT_QPA_PLATFORM names another: xcb under
// tests/on_display.sh), with the Czech locale texts, the Qt view as the
// thread's view. 1 when the toolkit does not start.
int QtTestMain(int argc, char** argv);
// The view of the running session.
platform::qt::QtView& TestView();
// On an X display under a window manager, not on the offscreen platform.
bool OnDisplay();
// Saves a widget as NAME.png in the folder VELORN_SCREENSHOTS names (made
// when missing); nothing without it. On a display, a window is saved as the
// screen shows it, frame and caption included.
void Shot(QWidget* widget, const char* name);

}  // namespace testsupport
