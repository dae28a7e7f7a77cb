#include "tests/support/qt_main.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <QWindow>
#include <cstdio>

#include "platform/locale_texts.h"
#include "platform/qt/qtview.h"
#include "platform/qt/session.h"

namespace testsupport {

namespace {

platform::qt::Session* gSession = nullptr;

// The offscreen platform says so each time a window is raised.
void QuietOffscreen(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (message.startsWith(QLatin1String("This plugin does not support"))) return;
  std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, QMessageLogContext(), message)));
}

}  // namespace

int QtTestMain(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  qInstallMessageHandler(QuietOffscreen);
  testing::InitGoogleTest(&argc, argv);
  platform::locale::InstallCzechTexts();  // as the program's start does
  platform::qt::Session session;
  if (!session.Active()) {
    std::fprintf(stderr, "the toolkit did not start\n");
    return 1;
  }
  gSession = &session;
  const int result = RUN_ALL_TESTS();
  gSession = nullptr;
  return result;
}

platform::qt::QtView& TestView() { return *gSession->View(); }

bool OnDisplay() { return QGuiApplication::platformName() == QLatin1String("xcb"); }

void Shot(QWidget* widget, const char* name) {
  const char* dir = std::getenv("VELORN_SCREENSHOTS");
  if (dir == nullptr || *dir == '\0' || widget == nullptr) return;
  QDir().mkpath(QString::fromUtf8(dir));
  const QString path = QString::fromUtf8(dir) + "/" + name + ".png";
  QPixmap picture;
  if (OnDisplay() && widget->isWindow()) {
    // Shown, framed and painted before the screen is read. The window
    // manager draws the frame in its own time, with nothing to await: a
    // moment is left for it (the picture is an artefact, not a check).
    TestView().Flush();
    [[maybe_unused]] const bool ready = QTest::qWaitFor(
        [widget] {
          const QWindow* h = widget->windowHandle();
          return h != nullptr && h->isExposed() && !h->frameMargins().isNull();
        },
        5000);
    QTest::qWait(100);
    const QMargins frame = widget->windowHandle()->frameMargins();
    const QRect r = widget->geometry().marginsAdded(frame);
    picture = widget->screen()->grabWindow(0, r.x(), r.y(), r.width(), r.height());
  } else {
    picture = widget->grab();
  }
  EXPECT_TRUE(picture.save(path)) << path.toStdString();
}

}  // namespace testsupport
