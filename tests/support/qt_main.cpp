#include "tests/support/qt_main.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QDir>
#include <QWidget>
#include <cstdio>

#include "platform/locale_texts.h"
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
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
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

void Shot(QWidget* widget, const char* name) {
  const char* dir = std::getenv("VELORN_SCREENSHOTS");
  if (dir == nullptr || *dir == '\0' || widget == nullptr) return;
  QDir().mkpath(QString::fromUtf8(dir));
  const QString path = QString::fromUtf8(dir) + "/" + name + ".png";
  EXPECT_TRUE(widget->grab().save(path)) << path.toStdString();
}

}  // namespace testsupport
