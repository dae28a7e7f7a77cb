// The notification area of the toolkit: the thread's shell
// (platform/shellnotify.h) over QSystemTrayIcon, on the GUI thread.
//
// An icon is added only while a tray host is there and not twice; an icon
// it does not hold is neither changed nor removed. Its picture is the
// icon's bytes (all the sizes an icon file holds), its tip the tip without
// trailing blanks. What the operator does to an icon reaches its window as
// the icon's callback message (wParam the icon's id): a click as
// WM_LBUTTONDOWN then WM_LBUTTONUP, a double click as WM_LBUTTONDBLCLK, the
// context request as WM_RBUTTONDOWN then WM_RBUTTONUP. A tray host that
// appears or comes back (the availability turning true; looked at once a
// second) posts "TaskbarCreated" to every top-level window of the process.
// HostPresent asks now, not as last looked at: the toolkit puts its icons
// back into a returning tray host before the next look.
#pragma once

#include <QObject>
#include <QSystemTrayIcon>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "platform/shellnotify.h"

class QTimer;

namespace platform::qt {

class TrayShell final : public QObject, public platform::ui::NotifyShell {
 public:
  // Becomes the calling thread's shell; trayAvailable tells whether a tray
  // host is there (QSystemTrayIcon::isSystemTrayAvailable when empty).
  explicit TrayShell(std::function<bool()> trayAvailable = {});
  ~TrayShell() override;
  TrayShell(const TrayShell&) = delete;
  TrayShell& operator=(const TrayShell&) = delete;

  bool NotifyIcon(uint32_t message, const platform::ui::NOTIFYICONDATA& data) override;
  bool HostPresent() const override { return available_(); }

  // The icon held for (window, id); nullptr for none.
  QSystemTrayIcon* Icon(platform::ui::HWND window, uint32_t id) const;
  // The mouse messages an activation stands for, in order.
  static std::vector<platform::ui::LPARAM> MouseMessages(QSystemTrayIcon::ActivationReason reason);
  // Looks at the tray host now (the timer does this once a second).
  void CheckTrayHost();

 private:
  struct Held {
    std::unique_ptr<QSystemTrayIcon> icon;
    uint32_t callback = 0;
  };
  using Key = std::pair<platform::ui::HWND, uint32_t>;
  void Apply(Held& h, const platform::ui::NOTIFYICONDATA& data);

  std::function<bool()> available_;
  bool hostThere_ = false;
  std::map<Key, Held> icons_;
  std::unique_ptr<QTimer> timer_;
};

}  // namespace platform::qt
