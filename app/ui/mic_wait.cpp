#include "app/ui/mic_wait.h"

#include <string>

#include "platform/window.h"
#include "syslib/placement.h"

namespace app::ui {

namespace pu = platform::ui;

namespace {

class MicWaitController final : public pu::WindowController {
 public:
  MicWaitController(pu::Window& w, engine::Protocol& protocol, engine::ConsoleState& console)
      : WindowController(w), protocol_(protocol), console_(console) {}

  int OnWindowEvent() override {
    const int event = window().EventNumber();
    const int r = WindowController::OnWindowEvent();
    if (event == pu::EVENT::OpenWindow) syslib::ds_VisibleOnDesktop(window(), 1);
    if (event == pu::EVENT::Timer) {
      protocol_.PollConsole(console_);
      protocol_.QueryConsole(console_);
      if (console_.INTLACITKA == 2 || console_.INTLACITKA == 3) {
        Response = pu::RequestCompleted;
        window().EndLoop();
      }
    }
    return r;
  }

 private:
  engine::Protocol& protocol_;
  engine::ConsoleState& console_;
};

}  // namespace

bool WaitForMicSwitch(engine::Protocol& protocol, engine::ConsoleState& console, std::string_view caption) {
  pu::Window w(kMicWaitProcedure);
  w.SetText(std::string(caption)).SetIcon("sound.ico").SetFont("Tahoma", 8);
  MicWaitController c(w, protocol, console);
  w.Add(pu::ControlKind::Text, "?TEXT", kMicOffText);
  w.Add(pu::ControlKind::Button, "?STORNO", "Storno").SetImage("cross.gif");
  c.CancelControl = w.Number("?STORNO");
  w.SetTimer(kMicWaitTimer);
  return c.Run() == pu::RequestCompleted;
}

}  // namespace app::ui
