// The desktop's session manager, where the toolkit has one (X11 session
// management): its request to save before the session ends, and its quit
// when the session ends, as calls the GUI thread's windows can be given.
#pragma once

#include <QObject>
#include <functional>

namespace platform::qt {

class DesktopSession final : public QObject {
 public:
  // On the thread of the application object, which must exist. query runs
  // for the commit-data request, end for the quit at the session's end (on
  // that thread). The quit goes no further: the toolkit would close every
  // window at once, behind the windows' own close-down.
  DesktopSession(std::function<void()> query, std::function<void()> end);
  ~DesktopSession() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::function<void()> query_, end_;
};

}  // namespace platform::qt
