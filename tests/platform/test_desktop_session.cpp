// The desktop session manager's calls on Qt's offscreen platform.
#include "platform/qt/desktop_session.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEvent>
#include <QWidget>

#include "tests/support/qt_main.h"

namespace platform::qt {
namespace {

TEST(DesktopSession, TheQuitAtTheSessionsEndIsTheEndAndClosesNoWindow) {
  int queries = 0, ends = 0;
  QWidget shown;
  shown.show();
  {
    DesktopSession desktop([&] { ++queries; }, [&] { ++ends; });
    QEvent quit(QEvent::Quit);
    QCoreApplication::sendEvent(qApp, &quit);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(queries, 0);
    EXPECT_TRUE(shown.isVisible()) << "the windows close down themselves";
    QEvent other(QEvent::LanguageChange);
    QCoreApplication::sendEvent(qApp, &other);
    EXPECT_EQ(ends, 1);
  }
  QEvent quit(QEvent::Quit);
  QCoreApplication::sendEvent(qApp, &quit);
  EXPECT_EQ(ends, 1) << "nothing once it is gone";
}

}  // namespace
}  // namespace platform::qt

int main(int argc, char** argv) { return testsupport::QtTestMain(argc, argv); }
