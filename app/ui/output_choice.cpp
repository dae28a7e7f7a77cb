#include "app/ui/output_choice.h"

#include <array>
#include <memory>

#include "app/data/records.h"
#include "app/engine/scheduler.h"
#include "app/ui/messages.h"
#include "app/ui/preset_list.h"
#include "platform/filedialog.h"
#include "platform/text.h"
#include "platform/window.h"
#include "syslib/placement.h"

namespace app::ui {

namespace pu = platform::ui;
using K = pu::ControlKind;

PlaybackShared EnginePlayback(engine::SchedulerState& s) {
  return {s.OutputSelected, s.GLO_FILE2PLAY, s.GLO_FILELENGHT, s.ManualPlaybackRequested};
}

namespace {

void SetUpLook(pu::Window& w) {
  w.SetText("Specifikace výstupů")
      .SetIcon("sound_none.ico")
      .SetFont("Tahoma", 8)
      .SetWallpaper("back_blue_big.jpg")
      .SetKeepsPlace(true)
      .SetDesignedMinimum(true);
}

void AddClosingButtons(pu::Window& w) {
  w.Add(K::Button, "?OK", "OK").SetImage("ok.gif");
  w.Add(K::Button, "?CANCEL", "Storno").SetImage("storno.gif");
}

// What both dialogs share: names, buttons, the preset drop list, placement,
// the files, the closing.
class OutputChoiceWindow : public pu::WindowController {
 public:
  OutputChoiceWindow(pu::Window& w, const PlaybackShared& shared) : WindowController(w), shared_(shared) {}

  OutputNameList OutputNames;
  std::array<std::string, 11> PresetNibbles;  // [1..10]
  uint8_t DialogResult = 0;

  int SetUp() override {
    const int r = WindowController::SetUp();
    if (r != pu::kGoOn) return r;
    window().SetFirstField(window().Number(FirstField()));
    if (data::HasControllers()) {
      filesOpen_ = data::Controllers().OUTPUTS.Open() == 0;
      presetOpen_ = data::Controllers().PRESET.Open() == 0;
    }
    presets_.SetUpPresetDropList(window(), "?PRE:NAZEV");
    window().Open();
    syslib::ds_VisibleOnDesktop(window(), 1);
    return pu::kGoOn;
  }

  int TearDown() override {
    const int r = WindowController::TearDown();
    if (r != pu::kGoOn) return r;
    if (filesOpen_) data::Controllers().OUTPUTS.Close();
    if (presetOpen_) data::Controllers().PRESET.Close();
    return pu::kGoOn;
  }

  int OnWindowEvent() override {
    if (window().EventNumber() == pu::EVENT::OpenWindow) {
      pu::SetCursor(pu::Cursor::Wait);
      ReadOutputNames(OutputNames);
      ShowOutputNames(window(), OutputNames);
      ShowChosenOutputs(window(), shared_.OutputSelected);
      pu::SetCursor(pu::Cursor::Normal);
      window().Display();
    }
    return WindowController::OnWindowEvent();
  }

  int OnControlAccepted() override {
    pu::Window& w = window();
    const int a = w.Accepted();
    if (a == 0) return WindowController::OnControlAccepted();
    const std::string& label = w.At(a)->Label();
    // Before the standard handling.
    if (const int k = OutputOfControl(w, a); k != 0) {
      ToggleOutput(w, shared_.OutputSelected, k);
    } else if (label == "?OK") {
      if (!OkChecks()) return pu::kConsumed;
    } else if (label == "?CANCEL") {
      DialogResult = 0;
      w.Post(pu::EVENT::CloseWindow);
    }
    const int r = WindowController::OnControlAccepted();
    // After it.
    if (label == "?PRE:NAZEV") {
      // The drop list has loaded the chosen preset.
      if (data::Files().PRESET.rec.ID != 0) ApplyPreset(w, shared_.OutputSelected, OutputNames, PresetNibbles);
      w.Display();
    } else if (label == "?OK") {
      DialogResult = 1;
      w.Post(pu::EVENT::CloseWindow);
    } else {
      AfterAccepted(label);
    }
    return r;
  }

 protected:
  virtual const char* FirstField() const = 0;
  // ?OK's checks; false keeps the dialog open.
  virtual bool OkChecks() = 0;
  virtual void AfterAccepted(const std::string&) {}

  const PlaybackShared& shared_;

 private:
  PresetDropList presets_;
  bool filesOpen_ = false, presetOpen_ = false;
};

class PlaybackChoiceWindow final : public OutputChoiceWindow {
 public:
  using OutputChoiceWindow::OutputChoiceWindow;

  static void Build(pu::Window& w, const PlaybackShared& s) {
    SetUpLook(w);
    pu::Control& sheet3 = w.Add(K::Sheet, "?SHEET3");
    pu::Control& tab3 = w.Add(K::Tab, "?TAB3", "Tab 3", &sheet3);
    w.Add(K::Prompt, "?STRING2", "Zadejte soubor, který chcete přehrát:", &tab3);
    w.Add(K::Entry, "?GLO:FILE2PLAY", {}, &tab3).Bind(PathBinding(s.GLO_FILE2PLAY));
    w.Add(K::Button, "?LOOKUPFILE", {}, &tab3).SetImage("open.gif").SetTip("Vyhledat soubor na disku");
    w.Add(K::Prompt, "?STRING2:2", "Délka přehrávaného souboru:", &tab3);
    w.Add(K::Entry, "?GLO:FILELENGHT", {}, &tab3).SetPicture("@t4").Bind(TimeBinding(s.GLO_FILELENGHT));
    w.Add(K::Prompt, "?STRING2:3", "(hh:mm:ss)", &tab3);
    pu::Control& sheet2 = w.Add(K::Sheet, "?SHEET2");
    pu::Control& tab2 = w.Add(K::Tab, "?TAB2", "Kde přehrávat", &sheet2);
    AddOutputArea(w, &tab2);
    AddClosingButtons(w);
  }

 private:
  const char* FirstField() const override { return "?GLO:FILE2PLAY"; }

  bool OkChecks() override {
    if (!PlayableFile(platform::text::TrimRight(shared_.GLO_FILE2PLAY))) {
      aMessage("stop.ico", "Chyba", kFileRefusedText);
      return false;
    }
    if (shared_.GLO_FILELENGHT <= 0) {
      aMessage("stop.ico", "Chyba", kLengthMissingText);
      return false;
    }
    // A question closed without a button counts as "Zpět".
    if (!AnyOutputChosen(shared_.OutputSelected) &&
        cMessage("storno.gif", "Zpět", "ok.gif", "OK", "warning2.ico", "Potvrzení operace", kNoOutputQuestion, 1) != 1)
      return false;
    shared_.ManualPlaybackRequested = 1;
    return true;
  }

  void AfterAccepted(const std::string& label) override {
    if (label != "?LOOKUPFILE") return;
    const std::string chosen = platform::OpenFileDialog("Vyberte soubor", "soubory WAV", "*.WAV");
    if (PathFitsField(chosen))
      shared_.GLO_FILE2PLAY = chosen;
    else
      aMessage("stop.ico", "Chyba", kFileRefusedText);
    window().Display();
  }
};

class LiveChoiceWindow final : public OutputChoiceWindow {
 public:
  using OutputChoiceWindow::OutputChoiceWindow;

  static void Build(pu::Window& w) {
    SetUpLook(w);
    pu::Control& sheet2 = w.Add(K::Sheet, "?SHEET2");
    pu::Control& tab2 = w.Add(K::Tab, "?TAB2", "Zadejte výstupy, které chcete zapnout", &sheet2);
    AddOutputArea(w, &tab2);
    AddClosingButtons(w);
  }

 private:
  const char* FirstField() const override { return "?BUTTON_1"; }

  bool OkChecks() override {
    if (AnyOutputChosen(shared_.OutputSelected)) return true;
    aMessage("stop.ico", "Žádné výstupy", kNoOutputsText);
    return false;
  }
};

}  // namespace

uint8_t Volba_vystupu(const PlaybackShared& shared) {
  pu::Window w(kPlaybackProcedure);
  PlaybackChoiceWindow::Build(w, shared);
  PlaybackChoiceWindow c(w, shared);
  c.Run();
  return c.DialogResult;
}

uint8_t Volba_vystupu2(const PlaybackShared& shared) {
  pu::Window w(kLiveProcedure);
  LiveChoiceWindow::Build(w);
  LiveChoiceWindow c(w, shared);
  c.Run();
  return c.DialogResult;
}

}  // namespace app::ui
