#include "app/ui/engine_host.h"

#include "app/data/records.h"
#include "app/globals.h"
#include "app/ui/messages.h"
#include "platform/locale_texts.h"
#include "platform/msgbox.h"
#include "platform/text.h"

namespace app::ui {

namespace pu = platform::ui;

EngineHost::EngineHost()
    : pu::WindowController(window_),
      window_(kEngineHostProcedure),
      engine_({.view = this, .errorBox = aMessage, .endProgram = platform::Halt}) {
  engine::InstallLiveStateMachine(engine_);
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
}

EngineHost::~EngineHost() = default;

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
  engine_.portState.COM_PORT = file.rec.PORT;
  engine_.portState.GLO_AMP_DELAY = file.rec.AMP_DELAY;
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
      if (engine_.protocol.ConnectPort() == 1) engine_.protocol.SilenceOutputs();
      break;
    case pu::EVENT::Timer:
      engine_.scheduler.HandleTimerTick();
      SetText("?INTLACITKA", std::to_string(engine_.console.INTLACITKA));
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

void EngineHost::RefreshTaskList() { ++taskListRefreshes_; }

}  // namespace app::ui
