#include "app/ui/info_window.h"

#include <cstdint>
#include <string>

#include "app/engine/commands.h"
#include "platform/window.h"
#include "syslib/placement.h"

namespace app::ui {

namespace pu = platform::ui;

namespace {

constexpr std::size_t kTextChars = 50;  // TEXTIK

class InfoController final : public pu::WindowController {
 public:
  InfoController(pu::Window& w, engine::Protocol& protocol) : WindowController(w), protocol_(protocol) {}

  int SetUp() override {
    const int r = WindowController::SetUp();
    if (r != pu::kGoOn) return r;
    window().Open();
    syslib::ds_VisibleOnDesktop(window(), 1);
    return pu::kGoOn;
  }

  int OnControlAccepted() override {
    if (window().Accepted() == window().Number("?OKBUTTON")) window().Post(pu::EVENT::CloseWindow);
    return WindowController::OnControlAccepted();
  }

  int OnWindowEvent() override {
    const int event = window().EventNumber();
    const int r = WindowController::OnWindowEvent();
    if (event == pu::EVENT::Timer) Tick();
    return r;
  }

  // However it closed (the button, the close box, a close-down at the end
  // of the session or a service stop), the ON-AIR lamp goes out.
  int TearDown() override {
    if (window().HasOpened()) protocol_.LampCommand(engine::kOnAirLampOff, console_);
    return WindowController::TearDown();
  }

  std::string TEXTIK;

 private:
  void Tick() {
    protocol_.ReadConsoleState(console_);
    protocol_.QueryConsole(console_);
    switch (InfoConsoleState()) {
      case 3:
        Show("Probíhá hlášení...");
        protocol_.LampCommand(engine::kOnAirLampOn, console_);
        break;
      case 2:
        Show("Po zapnutí tlačítka ON-AIR začne hlášení.");
        protocol_.LampCommand(engine::kOnAirLampOff, console_);
        break;
      case 1:
        Show("Vypněte tlačítko ON-AIR a zapněte tlačítko MIC.");
        protocol_.LampCommand(engine::kOnAirLampOff, console_);
        break;
      case 0:
        if (IdleHintShown == 0) {
          Show("Zapněte hlavní tlačítko MIC.");
          IdleHintShown = 1;
        }
        break;
      default:
        break;
    }
  }

  void Show(const char* text) {
    TEXTIK = text;
    window().Display("?TEXTIK");
  }

  uint8_t InfoConsoleState() const { return console_.INTLACITKA; }

  engine::Protocol& protocol_;
  engine::ConsoleState console_;  // the window's own: INTLACITKA is its InfoConsoleState
  uint8_t IdleHintShown = 0;
};

}  // namespace

void Info_window(engine::Protocol& protocol) {
  pu::Window w(kInfoWindowProcedure);
  w.SetText("Probíhá hlášení").SetIcon("sound.ico").SetFont("Tahoma", 8).SetKeepsPlace(true);
  InfoController c(w, protocol);
  w.Add(pu::ControlKind::Text, "?TEXTIK").Bind(c.TEXTIK, kTextChars);
  w.Add(pu::ControlKind::Button, "?OKBUTTON", "&Konec hlášení").SetImage("cross.gif");
  w.SetTimer(kInfoWindowTimer);
  c.Run();
}

}  // namespace app::ui
