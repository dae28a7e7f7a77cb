#include "app/ui/engine_host.h"

#include "app/data/records.h"
#include "app/engine/protocol.h"
#include "app/engine/scheduler.h"
#include "app/globals.h"
#include "app/ui/messages.h"
#include "platform/locale_texts.h"
#include "platform/msgbox.h"
#include "platform/text.h"

namespace app::ui {

namespace pu = platform::ui;

EngineHost::EngineHost() : pu::WindowController(window_), window_(kEngineHostProcedure) {
  using K = pu::ControlKind;
  window_.Add(K::Text, "?DEBUG_TEXT");
  window_.Add(K::Text, "?INFO_TEXT");
  window_.Add(K::Image, "?IMAGE1").SetImage("inform.ico").Hide();
  window_.Add(K::Text, "?SYS_TIME");
  window_.Add(K::Text, "?KOMUNIKACE");
  window_.Add(K::Text, "?INTLACITKA");
  window_.Add(K::Button, "?BUTTON_PREHRAJ", "Přehrát").Disable();
  window_.Add(K::Button, "?BUTTON_ZAPNI", "Zapnout").Disable();
  window_.SetText(platform::text::TrimRight(CaptionText).empty() ? std::string(" vELORN")
                                                                 : std::string(platform::text::TrimRight(CaptionText)));
  engine::SetEngineView(this);
}

EngineHost::~EngineHost() {
  if (engine::GetEngineView() == this) engine::SetEngineView(nullptr);
}

void EngineHost::LoadSettings() {
  data::Controller& c = data::Controllers().SETTINGS;
  auto& file = data::Files().SETTINGS;
  if (file.Records() == 0) {
    c.PrimeRecord();
    file.rec.PORT = "COM1";
    if (const int rc = c.Insert(); rc != 0) {
      platform::ReportFileError(file.Decl().fileName, rc);
      aMessage("stop.ico", "Chyba č." + std::to_string(rc),
               "Při čtení nebo zápisu do databáze Settings.tps vznikla chyba č.: 0x0" + std::to_string(rc) + " !\r\n" +
                   "-> " + platform::locale::ErrorText(rc));
      platform::Halt(kSettingsErrorExit);
    }
  }
  file.SetFileOrder();
  (void)file.Next();  // without a record the buffer keeps what it holds
  engine::COM_PORT = file.rec.PORT;
  engine::GLO_AMP_DELAY = file.rec.AMP_DELAY;
}

int EngineHost::SetUp() {
  pu::WindowController::SetUp();
  data::ConstructDataFileControllers();
  data::SetUpDataFiles();
  auto& c = data::Controllers();
  for (data::Controller* ctl : {&c.OUTPUTS, &c.PRESET, &c.SETTINGS, &c.TASKS}) ctl->Open();
  filesOpen_ = true;
  window_.SetTimer(kEngineTimer);
  window_.Open();
  return pu::kGoOn;
}

int EngineHost::TearDown() {
  if (filesOpen_) {
    auto& c = data::Controllers();
    for (data::Controller* ctl : {&c.OUTPUTS, &c.PRESET, &c.SETTINGS, &c.TASKS}) ctl->Close();
    filesOpen_ = false;
  }
  return pu::WindowController::TearDown();
}

int EngineHost::OnWindowEvent() {
  switch (window_.EventNumber()) {
    case pu::EVENT::OpenWindow:
      LoadSettings();
      if (engine::ConnectPort() == 1) {
        for (int k = 1; k <= 40; ++k) engine::RelayExchange("s" + std::to_string(k - 1) + "\r");
      }
      break;
    case pu::EVENT::Timer:
      engine::HandleTimerTick();
      SetText("?INTLACITKA", std::to_string(engine::MainConsole().INTLACITKA));
      break;
    default:
      break;
  }
  return pu::WindowController::OnWindowEvent();
}

void EngineHost::SetText(std::string_view label, std::string_view text) {
  if (pu::Control* c = window_.Find(label)) c->SetText(std::string(text));
}

void EngineHost::SetHidden(std::string_view label, bool hidden) {
  if (pu::Control* c = window_.Find(label)) c->SetHide(hidden);
}

void EngineHost::SetEnabled(std::string_view label, bool enabled) {
  if (pu::Control* c = window_.Find(label)) c->SetEnabled(enabled);
}

void EngineHost::SetFontColor(std::string_view label, int32_t color) {
  if (pu::Control* c = window_.Find(label)) c->SetFontColor(color);
}

void EngineHost::RefreshTaskList() {
  // A list over the thread's own TASKS instance; the scan reads through its
  // own, so this cannot move the record the scan works on.
  auto& t = data::Files().TASKS;
  if (!t.IsOpen()) return;
  int rows = 0;
  t.SetKeyOrder(data::TAS_KeyCas);
  while (t.Next() == 0) ++rows;
  taskListRows_ = rows;
}

}  // namespace app::ui
