// The main window's commands: what an accepted control does.
#include "app/ui/main_window.h"

namespace app::ui {

int MainWindow::OnControlAccepted() { return pu::WindowController::OnControlAccepted(); }

}  // namespace app::ui
