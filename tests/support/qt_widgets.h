// The widgets of the test view's windows, for tests on the toolkit's
// platforms (qt_main.h).
#pragma once

#include <gtest/gtest.h>

#include <string_view>

#include "platform/qt/qtview.h"
#include "platform/window.h"
#include "tests/support/qt_main.h"

namespace testsupport {

// The window on top of the calling thread's windows.
inline platform::ui::Window& TopWindow() { return *platform::ui::ThreadWindows().back(); }

// The widget of a window's control, as the kind of widget expected (a
// failure when it is not one).
template <class W>
W* ControlWidget(platform::ui::Window& w, std::string_view label) {
  auto* widget = qobject_cast<W*>(TestView().ControlWidget(w, label));
  EXPECT_NE(widget, nullptr) << label;
  return widget;
}

// Whether the window on top is the procedure's and is shown.
inline bool TopShown(std::string_view procedure) {
  return !platform::ui::ThreadWindows().empty() && TopWindow().ProcedureName() == procedure &&
         TestView().NativeOf(TopWindow()) != nullptr && TestView().NativeOf(TopWindow())->isVisible();
}

}  // namespace testsupport
