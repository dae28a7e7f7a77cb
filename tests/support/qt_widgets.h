// The widgets of the test view's windows, for tests on the toolkit's
// platforms (qt_main.h).
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <string>
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

// The operator types a text into an entry or spin box, replacing what it
// shows: the field gets the focus, its text is selected, then a key press
// and release for each character (characters without a key of their own
// included).
inline void TypeInto(QWidget* field, std::string_view text) {
  ASSERT_NE(field, nullptr);
  field->setFocus(Qt::MouseFocusReason);
  if (auto* e = qobject_cast<QLineEdit*>(field)) e->selectAll();
  if (auto* e = field->findChild<QLineEdit*>()) e->selectAll();
  for (const QChar ch : QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(field, &press);
    QApplication::sendEvent(field, &release);
  }
}

// What an entry's or spin box's widget shows ("?" for another widget).
inline std::string Shows(QWidget* field) {
  if (auto* e = qobject_cast<QLineEdit*>(field)) return e->text().toStdString();
  if (auto* e = field != nullptr ? field->findChild<QLineEdit*>() : nullptr) return e->text().toStdString();
  return "?";
}

// Whether the window on top is the procedure's and is shown.
inline bool TopShown(std::string_view procedure) {
  return !platform::ui::ThreadWindows().empty() && TopWindow().ProcedureName() == procedure &&
         TestView().NativeOf(TopWindow()) != nullptr && TestView().NativeOf(TopWindow())->isVisible();
}

}  // namespace testsupport
