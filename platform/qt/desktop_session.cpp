#include "platform/qt/desktop_session.h"

#include <QEvent>
#include <QGuiApplication>
#include <QSessionManager>

namespace platform::qt {

DesktopSession::DesktopSession(std::function<void()> query, std::function<void()> end)
    : query_(std::move(query)), end_(std::move(end)) {
#if QT_CONFIG(sessionmanager)
  if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    QObject::connect(app, &QGuiApplication::commitDataRequest, this,
                     [this](QSessionManager&) {
                       if (query_) query_();
                     },
                     Qt::DirectConnection);
#endif
  QCoreApplication::instance()->installEventFilter(this);
}

DesktopSession::~DesktopSession() {
  if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
}

bool DesktopSession::eventFilter(QObject* watched, QEvent* event) {
  if (watched != QCoreApplication::instance() || event->type() != QEvent::Quit) return false;
  if (end_) end_();
  return true;
}

}  // namespace platform::qt
