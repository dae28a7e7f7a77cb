// Test programs on the toolkit's offscreen platform: their main, the
// toolkit session it runs them in, and screenshots on request.
#pragma once

class QWidget;

namespace platform::qt {
class QtView;
}

namespace testsupport {

// Runs the program's tests as the program's start runs windows: on the
// offscreen platform, with the Czech locale texts, the Qt view as the
// thread's view. 1 when the toolkit does not start.
int QtTestMain(int argc, char** argv);
// The view of the running session.
platform::qt::QtView& TestView();
// Saves a widget as NAME.png in the folder VELORN_SCREENSHOTS names (made
// when missing); nothing without it.
void Shot(QWidget* widget, const char* name);

}  // namespace testsupport
