// Test programs on the toolkit's offscreen platform: their main, the
// toolkit session it runs them in, and screenshots on request.
#pragma once

#include <QColor>
#include <QRect>
#include <functional>
#include <string>

class QAbstractItemView;
class QPushButton;
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
// Runs `then` from the dispatcher of the waiting loop once `ready` holds,
// looking every 5 ms; after `tries` looks a failure ("what" did not get
// there) and `giveUp`, which ends the waiting loop.
void When(std::function<bool()> ready, std::function<void()> then, const char* what, std::function<void()> giveUp,
          int tries = 400);
// A widget's rectangle in its window's coordinates.
QRect InTop(QWidget* w);
// Whether a cell of a view (row from 0, column from 1) is painted with a
// pixel near the colour.
bool Painted(QAbstractItemView* view, int row, int column, QColor colour);
// A button shows its picture and its whole caption (what names the failure:
// context and the button's label).
void ExpectWhole(QPushButton* b, const std::string& context = {});

}  // namespace testsupport
