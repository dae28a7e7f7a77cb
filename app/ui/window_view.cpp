#include "app/ui/window_view.h"

#include "app/ui/messages.h"
#include "platform/qt/session.h"
#include "platform/qt/trayshell.h"
#include "syslib/placement.h"

namespace app::ui {

void FitOnVisibleDesktop(platform::ui::Window& w) { syslib::ds_VisibleOnDesktop(w, 1); }

WindowView::WindowView() : session_(std::make_unique<platform::qt::Session>()) {
  if (session_->Active()) tray_ = std::make_unique<platform::qt::TrayShell>();
  SetVisibleOnDesktopHook(FitOnVisibleDesktop);
}

WindowView::~WindowView() {
  SetVisibleOnDesktopHook(nullptr);
  tray_.reset();
  session_.reset();
}

bool WindowView::Shown() const { return session_->Active(); }

}  // namespace app::ui
