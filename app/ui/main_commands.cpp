// The main window's commands: what an accepted control does.
#include <functional>
#include <string>

#include "app/data/records.h"
#include "app/engine/commands.h"
#include "app/globals.h"
#include "app/ui/info_window.h"
#include "app/ui/main_window.h"
#include "app/ui/messages.h"
#include "app/ui/mic_wait.h"
#include "app/ui/output_choice.h"
#include "app/ui/system_tools.h"
#include "app/ui/task_form.h"
#include "platform/filedialog.h"
#include "platform/msgbox.h"
#include "platform/text.h"
#include "syslib/dllhelp.h"
#include "syslib/sound.h"

namespace app::ui {

namespace {

namespace en = app::engine;

constexpr const char* kExitQuestion =
    "Chystáte se ukončit program !\r\n\r\nPokud program ukončíte,\r\nveškeré naplánované ulohy nebudou "
    "přehrány.\r\nChcete opravdu ukončit program?";
constexpr const char* kOnAirWarning = "Pozor, máte zapnutý spínač ON-AIR na mikrofonu. Vypněte jej!";
constexpr const char* kPortSaved =
    "Změnili jste nastavení komunikačního portu.\r\n\r\nProvedené změny byly uloženy.\r\nAby se změny projevily, je "
    "nutné restartovat komunikaci.";

struct LampButton {
  const char* label;
  int32_t code;
};
constexpr LampButton kLampButtons[] = {
    {"?BUTTON13", en::kOnAirLampOn},       {"?BUTTON14", en::kMicBacklightOn},
    {"?BUTTON15", en::kLineBacklightOn},   {"?BUTTON13:2", en::kOnAirLampOff},
    {"?BUTTON14:2", en::kMicBacklightOff}, {"?BUTTON15:2", en::kLineBacklightOff},
};

std::string SystemTool(const char* program) { return syslib::GetWindowsFolder() + "\\system32\\" + program; }

}  // namespace

// The commands over the window's state; each returns false when it stopped
// (refused or cancelled), true when it went on.
class MainWindow::Commands {
 public:
  explicit Commands(MainWindow& m)
      : m_(m), w_(m.window_), e_(m.engine_), s_(m.engine_.schedulerState), p_(m.engine_.protocol) {}

  bool Is(int control, std::string_view label) const { return control != 0 && control == w_.Number(label); }

  // ---- the first stage

  // The question; on "Ano" the installation is switched off. The box closed
  // without a button refuses, as "Ne" does.
  bool ConfirmExit() {
    platform::Beep(platform::BoxIcon::Question);
    if (cMessage("storno.gif", "Ne", "ok.gif", "Ano", "warning2.ico", "Potvrzení operace", kExitQuestion, 1) != 1)
      return false;
    m_.SwitchInstallationOff();
    return true;
  }

  bool ToggleLiveFromTab() {
    if (m_.locals_.LiveButtonOn == 0) {
      if (!AnyOutputChosen(s_.OutputSelected)) {
        aMessage("stop.ico", "Žádné výstupy", kNoOutputsText);
        return false;
      }
      s_.GLO_HLASENI = 1;
      s_.LiveFromTabActive = 1;
      w_["?BUTTON51"].SetColor(kRed).SetText("Ukončit hlášení");
      m_.SetText("?INFO_TEXT", "Probíhá hlášení...");
      m_.locals_.LiveButtonOn = 1;
      SwitchChosen('r');
      p_.RelayExchange(en::kAmplifierOn);
      Lamp(en::kMicBacklightOn);
      Lamp(en::kOnAirLampOn);
      s_.PlaybackRunning = 1;
    } else {
      s_.GLO_HLASENI = 0;
      s_.LiveFromTabActive = 0;
      w_["?BUTTON51"].SetColor(pu::kNormalColor).SetText("Začít hlášení");
      m_.SetText("?INFO_TEXT", "");
      m_.locals_.LiveButtonOn = 0;
      SwitchChosen('s');
      p_.RelayExchange(en::kAmplifierOff);
      Lamp(en::kMicBacklightOff);
      Lamp(en::kOnAirLampOff);
      s_.PlaybackRunning = 0;
    }
    return true;
  }

  // ---- the third stage

  bool Run(int a) {
    if (Is(a, "?BUTTON_ZAPNI")) return LiveAnnouncement();
    if (Is(a, "?BUTTON_PREHRAJ")) return ManualPlayback();
    if (Is(a, "?FILTR_ZOBRAZENI")) {
      m_.lists_.SetTaskFilter(m_.locals_.ShowActiveOnly == 1);
      m_.Refresh(1);
    } else if (Is(a, "?COPY")) {
      CopyTaskPending = 1;
      m_.locals_.CopyKeepsRecord = 1;
      w_.Post(pu::EVENT::Accepted, w_.Number("?INSERT"));
    } else if (Is(a, "?COM:PORT")) {
      if (SaveSettings([this](data::SettingsRecord& r) { r.PORT = e_.portState.COM_PORT; }))
        aMessage("inform.ico", "Změna nastavení", kPortSaved);
    } else if (Is(a, "?GLO:AMP_DELAY")) {
      (void)SaveSettings([this](data::SettingsRecord& r) { r.AMP_DELAY = e_.portState.GLO_AMP_DELAY; });
    } else if (Is(a, "?RESTART_COM")) {
      return Reconnect();
    } else if (Is(a, "?PRE:NAZEV")) {
      ApplyPreset(w_, s_.OutputSelected, m_.locals_.OutputNames, m_.locals_.PresetNibbles, OutputButton);
      w_.Display();
    } else if (Is(a, "?LOOKUPFILE")) {
      PickFile();
    } else if (Is(a, "?BUTTON51:2")) {
      return PlayFromTab();
    } else if (Is(a, "?BUTTON_MIX")) {
      RunSystemTool(SystemTool("sndrec32.exe"));
    } else {
      for (int k = 1; k <= kOutputButtons; ++k)
        if (Is(a, OutputButton(k))) ToggleOutput(w_, s_.OutputSelected, k, OutputButton);
      for (const LampButton& b : kLampButtons)
        if (Is(a, b.label)) Lamp(b.code);
    }
    return true;
  }

 private:
  // ?BUTTON_ZAPNI: the console's main switch on, the outputs chosen, their
  // zones and the amplifier on for the announcement window, then off.
  bool LiveAnnouncement() {
    p_.MainRelayOff();
    p_.SetAllOutputs();
    const std::string caption(platform::text::TrimRight(CaptionText));
    switch (e_.console.INTLACITKA) {
      case 3:
        platform::MessageBox(kOnAirWarning, caption, platform::BoxIcon::Exclamation);
        break;
      case 2:
        break;
      default:
        platform::MessageBox(kMicOffText, caption, platform::BoxIcon::Exclamation);
        if (!WaitForMicSwitch(p_, e_.console, caption)) return false;
        break;
    }
    Lamp(en::kMicBacklightOn);
    const uint8_t chosen = Volba_vystupu2(EnginePlayback(s_));
    ShowChosenOutputs();
    if (chosen == 0) return false;
    SwitchChosen('r');
    p_.MainRelayOn();
    Info_window(p_);
    p_.MainRelayOff();
    p_.SetAllOutputs();
    Lamp(en::kMicBacklightOff);
    Lamp(en::kLineBacklightOff);
    return true;
  }

  // ?BUTTON_PREHRAJ: the playback dialog, then its file in the chosen
  // zones; the tick ends it.
  bool ManualPlayback() {
    p_.MainRelayOff();
    p_.SetAllOutputs();
    const uint8_t confirmed = Volba_vystupu(EnginePlayback(s_));
    ShowChosenOutputs();
    if (confirmed == 0) return false;
    m_.SetText("?INFO_TEXT", "Právě probíhá přehrávání úlohy...");
    m_.SetHidden("?IMAGE1", false);
    SwitchChosen('r');
    p_.MainRelayOn();
    syslib::PlayWaveAsync(platform::text::TrimRight(s_.GLO_FILE2PLAY));
    e_.scheduler.SetPlaybackEnd(s_.GLO_FILELENGHT);
    s_.PlaybackRunning = 1;
    return true;
  }

  // ?BUTTON51:2: the tab's file in the chosen zones, the amplifier at once.
  bool PlayFromTab() {
    if (!PlayableFile(platform::text::TrimRight(s_.GLO_FILE2PLAY))) {
      aMessage("stop.ico", "Chyba", kFileRefusedText);
      return false;
    }
    if (s_.GLO_FILELENGHT == 0) {
      aMessage("stop.ico", "Chyba", kLengthMissingText);
      return false;
    }
    // The question closed without a button refuses, as "Zpět" does.
    if (!AnyOutputChosen(s_.OutputSelected) &&
        cMessage("storno.gif", "Zpět", "ok.gif", "OK", "warning2.ico", "Potvrzení operace", kNoOutputQuestion, 1) != 1)
      return false;
    Lamp(en::kLineBacklightOn);
    Lamp(en::kOnAirLampOn);
    SwitchChosen('r');
    p_.RelayExchange(en::kAmplifierOn);
    e_.scheduler.PlayFile();
    s_.ManualPlaybackRequested = 1;
    return true;
  }

  bool Reconnect() {
    if (e_.portState.PortHandle >= 0) p_.DisconnectPort();
    const bool connected = p_.ConnectPort() == 1;
    e_.scheduler.ShowConnectionState();
    if (!connected) return false;
    aMessage("inform.ico", "Hotovo",
             "Komunikace úspěšně restartována !\r\n\r\nProgram nyní komunikuje na portu " + e_.portState.COM_PORT +
                 ".\r\nStiskněte OK pro pokračování.");
    return true;
  }

  // A path the field cannot hold exactly is refused and the field kept.
  void PickFile() {
    const platform::FileDialogRequest& r = m_.WavPicker();
    std::string path = platform::OpenFileDialog(r.title, r.filterName, r.filterPattern, r.initialFile);
    if (PathFitsField(path))
      s_.GLO_FILE2PLAY = std::move(path);
    else
      aMessage("stop.ico", "Chyba", kFileRefusedText);
    w_.Display();
  }

  // The first settings record rewritten; false (reported) when it could
  // not be read or written: the value stays for this run.
  bool SaveSettings(const std::function<void(data::SettingsRecord&)>& set) {
    auto& file = data::Files().SETTINGS;
    file.SetFileOrder();
    int rc = file.Next();
    const bool read = rc == 0;
    if (read) {
      set(file.rec);
      rc = data::Controllers().SETTINGS.Update();
    }
    if (rc == 0) return true;
    platform::ReportRecordError(file.Decl().fileName, rc, read);
    SettingsErrorBox(rc);
    return false;
  }

  // letter 'r' lets every chosen output's zone sound, 's' silences it.
  void SwitchChosen(char letter) {
    for (int k = 1; k <= en::kZoneRelays; ++k)
      if (s_.OutputSelected[static_cast<std::size_t>(k)] == 1)
        p_.RelayExchange(letter == 'r' ? en::ResetRelay(k - 1) : en::SetRelay(k - 1));
  }

  // The buttons show OutputSelected, whatever a dialog did to it.
  void ShowChosenOutputs() { app::ui::ShowChosenOutputs(w_, s_.OutputSelected, OutputButton); }

  void Lamp(int32_t code) { p_.LampCommand(code, e_.console); }

  MainWindow& m_;
  pu::Window& w_;
  engine::Engine& e_;
  engine::SchedulerState& s_;
  engine::Protocol& p_;
};

int MainWindow::OnControlAccepted() {
  const int a = window_.Accepted();
  Commands c(*this);
  bool closeDown = false;
  if (c.Is(a, "?BUTTON_VOLUME")) {
    RunSystemTool(SystemTool("sndvol32.exe"));
  } else if (c.Is(a, "?BUTTON51")) {
    if (!c.ToggleLiveFromTab()) return pu::kConsumed;
  } else if (c.Is(a, "?BUTTON_KONEC")) {
    if (!c.ConfirmExit()) return pu::kConsumed;
    closeDown = true;
  }
  const int r = pu::WindowController::OnControlAccepted();
  if (a == 0) return r;
  if (closeDown) {
    window_.Post(pu::EVENT::CloseDown);
    return r;
  }
  return c.Run(a) ? r : pu::kConsumed;
}

}  // namespace app::ui
