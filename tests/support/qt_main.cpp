#include "tests/support/qt_main.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QGuiApplication>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <cstdio>
#include <cstdlib>

#include "platform/locale_texts.h"
#include "platform/qt/qtview.h"
#include "platform/qt/session.h"
#include "platform/window.h"
#include "tests/support/test_guard.h"

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
  InstallTestGuard();
  platform::locale::InstallCzechTexts();  // as the program's start does
  platform::qt::Session session;
  if (!session.Active()) {
    std::fprintf(stderr, "the toolkit did not start\n");
    return 1;
  }
  gSession = &session;
  // A check run from the dispatcher that stops at an ASSERT returns before
  // it closes its window, and the window's loop would wait for ever: once
  // the test has failed fatally, its windows are closed, the top one first.
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [] {
    if (!::testing::Test::HasFatalFailure()) return;
    const auto windows = platform::ui::ThreadWindows();
    if (!windows.empty()) windows.back()->Close();
  });
  closer.start(50);
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

void When(std::function<bool()> ready, std::function<void()> then, const char* what, std::function<void()> giveUp,
          int tries) {
  QTimer::singleShot(5, qApp, [=]() mutable {
    if (ready()) return then();
    if (tries == 0) {
      ADD_FAILURE() << what << " did not get there";
      return giveUp();
    }
    When(std::move(ready), std::move(then), what, std::move(giveUp), tries - 1);
  });
}

QRect InTop(QWidget* w) { return QRect(w->mapTo(w->window(), QPoint(0, 0)), w->size()); }

bool Painted(QAbstractItemView* view, int row, int column, QColor colour) {
  const QImage image = view->viewport()->grab().toImage();
  const QRect cell = view->visualRect(view->model()->index(row, column - 1));
  for (int y = cell.top(); y <= cell.bottom(); ++y)
    for (int x = cell.left(); x <= cell.right(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) + std::abs(c.blue() - colour.blue()) < 60)
        return true;
    }
  return false;
}

void ExpectWhole(QPushButton* b, const std::string& context) {
  const QString text = b->text().remove(QLatin1Char('&'));
  const int needs = b->fontMetrics().horizontalAdvance(text) + (b->icon().isNull() ? 0 : b->iconSize().width());
  const std::string name = context + " " + b->objectName().toStdString();
  EXPECT_GE(b->width(), needs + 4) << name;
  EXPECT_GE(b->height(), b->fontMetrics().height() + 4) << name;
}

}  // namespace testsupport
