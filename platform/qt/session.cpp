#include "platform/qt/session.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QStyleFactory>
#include <cstdlib>

#include "platform/filedialog.h"
#include "platform/msgbox.h"
#include "platform/qt/boxes.h"
#include "platform/qt/desktop_session.h"
#include "platform/qt/qtview.h"
#include "platform/view.h"
#include "platform/winproc.h"

namespace platform::qt {

namespace {

bool Set(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0';
}

}  // namespace

// The application object, unless one exists already.
struct Session::App {
  int argc = 1;
  char name[7] = "velorn";
  char* argv[2] = {name, nullptr};
  std::unique_ptr<QApplication> app;
};

bool Session::CanShowWindows() { return Set("QT_QPA_PLATFORM") || Set("DISPLAY") || Set("WAYLAND_DISPLAY"); }

Session::Session() {
  if (QApplication::instance() == nullptr) {
    if (!CanShowWindows()) return;
    app_ = std::make_unique<App>();
    app_->app = std::make_unique<QApplication>(app_->argc, app_->argv);
  } else if (qobject_cast<QApplication*>(QApplication::instance()) == nullptr) {
    return;  // a core or GUI application without widgets
  }
  QGuiApplication::setQuitOnLastWindowClosed(false);
  // The toolkit's own texts (the file dialog's) in Czech, where installed,
  // and its sizes, dates and file types in Czech forms.
  const QLocale czech(QLocale::Czech, QLocale::CzechRepublic);
  QLocale::setDefault(czech);
  texts_ = std::make_unique<QTranslator>();
  if (texts_->load(czech, QStringLiteral("qtbase"), QStringLiteral("_"),
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(texts_.get());
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  view_ = std::make_unique<QtView>();
  ui::SetThreadView(view_.get());
  QtView* view = view_.get();
  SetBoxView([view](std::string_view text, std::string_view caption, BoxIcon icon, unsigned buttons,
                    unsigned defaultButton) { return ShowMessageBox(*view, text, caption, icon, buttons, defaultButton); });
  SetFileDialogView([view](const FileDialogRequest& r) { return ShowOpenFileDialog(*view, r); });
  SetBeepView([](BoxIcon) { QApplication::beep(); });
  const int thread = ui::ThreadNumber();
  desktop_ = std::make_unique<DesktopSession>([thread] { ui::QueryEndSession(thread); },
                                              [thread] { ui::EndSession(thread); });
}

Session::~Session() {
  if (!view_) return;
  desktop_.reset();
  SetBeepView(nullptr);
  SetFileDialogView(nullptr);
  SetBoxView(nullptr);
  ui::SetThreadView(nullptr);
  view_.reset();
  QCoreApplication::removeTranslator(texts_.get());
  texts_.reset();
  if (app_) app_->app.reset();
}

}  // namespace platform::qt
