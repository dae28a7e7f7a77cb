#include "app/ui/task_form.h"

#include <array>
#include <memory>
#include <string>

#include "app/data/masks.h"
#include "app/ui/messages.h"
#include "app/ui/output_buttons.h"
#include "app/ui/preset_list.h"
#include "platform/clock.h"
#include "platform/filedialog.h"
#include "platform/recordform.h"
#include "platform/text.h"
#include "service/calendar.h"
#include "syslib/placement.h"
#include "syslib/sound.h"

namespace app::ui {

namespace {

namespace pu = platform::ui;
using K = pu::ControlKind;

thread_local bool tFormRan = false;
thread_local data::TasksRecord tHistory;
thread_local std::unique_ptr<platform::rec::File<data::PresetRecord>> tPresetView;

const char* const kDayControls[7] = {"?PONDELI", "?UTERY", "?STREDA", "?CTVRTEK", "?PATEK", "?SOBOTA", "?NEDELE"};
const char* const kDayTexts[7] = {" Pondělí", " Úterý", " Středa", " Čtvrtek", " Pátek", " Sobota", " Neděle"};
constexpr platform::StdTime kOneMinute = 6001;  // 00:01:00

// The form state, empty each time the form starts.
struct TaskFormState {
  std::array<uint8_t, 7> DayChecks{};  // Monday .. Sunday
  uint8_t RepeatEndless = 0;
  uint8_t RepeatCount = 0;
  OutputFlags TaskFormOutputSelected{};
  OutputNameList OutputNames;
};

// The window as designed. Each static text stands before the field it
// labels; the focus order of the fields is the designed one.
struct TaskForm {
  explicit TaskForm(TaskFormState& s) : window(kTaskFormProcedure) {
    data::TasksRecord& t = data::Files().TASKS.rec;
    window.SetIcon("clock.ico")
        .SetFont("Tahoma", 8)
        .SetWallpaper("back_blue_big.jpg")
        .SetKeepsPlace(true)
        .SetDesignedMinimum(true);
    pu::Window& w = window;
    // The panels side by side: basic data and repeat above, outputs below
    // across both (named outputs make their buttons wider, not the window).
    pu::Control& panels = w.Add(K::Group, "?PANELS").SetColumns(2);
    pu::Control& sheet1 = w.Add(K::Sheet, "?CURRENTTAB", {}, &panels);
    pu::Control& tab1 = w.Add(K::Tab, "?TAB:1", "Základní údaje", &sheet1);
    w.Add(K::Check, "?TAS:AKTIVNI", " Úloha je aktivní", &tab1).Bind(t.AKTIVNI);
    w.Add(K::Check, "?TAS:AUTOMATICKY_SMAZAT", " Automaticky smazat úlohu po jejím vykonání", &tab1)
        .Bind(t.AUTOMATICKY_SMAZAT);
    w.Add(K::Prompt, "?STRING1", "Popis úlohy:", &tab1);
    w.Add(K::Entry, "?TAS:NAZEV", {}, &tab1).SetPicture("@s50").Bind(t.NAZEV, 50);
    w.Add(K::Prompt, "?STRING5", "Datum posledního spuštění:", &tab1);
    w.Add(K::Text, "?TAS:POSLEDNI_SPUSTENI", {}, &tab1).SetPicture("@d17").Bind(t.POSLEDNI_SPUSTENI);
    w.Add(K::Prompt, "?STRING1:2", "Datum prvního spuštění:", &tab1);
    w.Add(K::Entry, "?TAS:DATUM_SPUSTENI", {}, &tab1).SetPicture("@d17").SetRequired(true).Bind(t.DATUM_SPUSTENI);
    w.Add(K::Button, "?CALENDAR", {}, &tab1).SetImage("Calendar.gif").SetTip("Kalendář");
    w.Add(K::Prompt, "?STRING1:3", "Čas spuštění:", &tab1);
    w.Add(K::Entry, "?TAS:CAS_SPUSTENI", {}, &tab1).SetPicture("@t4").SetRequired(true).Bind(TimeBinding(t.CAS_SPUSTENI));
    w.Add(K::Prompt, "?STRING1:4", "Přehrát soubor:", &tab1);
    w.Add(K::Entry, "?TAS:PREHRAT", {}, &tab1).SetRequired(true).Bind(PathBinding(t.PREHRAT));
    w.Add(K::Button, "?LOOKUPFILE", {}, &tab1).SetImage("open.gif").SetTip("Vyhledat soubor");
    w.Add(K::Button, "?BUTTON_PLAY", {}, &tab1).SetImage("speaker.gif").SetTip("Přehraj zvolený soubor");
    w.Add(K::Prompt, "?STRING10", "Délka souboru:", &tab1);
    w.Add(K::Entry, "?TAS:DELKA_SOUBORU", {}, &tab1).SetPicture("@t4").SetRequired(true).Bind(TimeBinding(t.DELKA_SOUBORU));
    w.Add(K::Prompt, "?STRING10:2", "(hh:mm:ss)", &tab1);

    pu::Control& sheet3 = w.Add(K::Sheet, "?SHEET3", {}, &panels);
    pu::Control& tab3 = w.Add(K::Tab, "?TAB3", "Nastavení opakování", &sheet3);
    w.Add(K::Button, "?KAZDY_DEN", "Každý den", &tab3).SetImage("Calendar.gif").SetTip("Opakovat každý den");
    w.Add(K::Button, "?BEZ_OPAKOVANI", "Neopakovat", &tab3).SetImage("delete.gif").SetTip("Opakování vypnuto");
    pu::Control& days = w.Add(K::Group, "?GROUP1", "Opakovat pouze v tyto dny", &tab3).SetColumns(4);
    for (int i = 0; i < 7; ++i) w.Add(K::Check, kDayControls[i], kDayTexts[i], &days).Bind(s.DayChecks[static_cast<std::size_t>(i)]);
    // The count and its unit stand in the radio group's row, after the radio
    // they belong to.
    pu::Control& repeat = w.Add(K::Option, "?OPAKOVANI", "Počet opakování", &tab3).SetColumns(4).Bind(s.RepeatEndless);
    w.Add(K::Radio, "?OPAKOVANI:RADIO1", " Nekonečně", &repeat).SetRadioValue(int64_t{1}).SetTip("Opakovat nekonečně krát");
    w.Add(K::Radio, "?OPAKOVANI:RADIO2", {}, &repeat).SetRadioValue(int64_t{0}).SetTip("opakovat pouze x krát");
    w.Add(K::Spin, "?OPAKOVANI_POCET", {}, &repeat).SetPicture("@n3").SetRange(0, 254).Bind(s.RepeatCount);
    w.Add(K::Prompt, "?STRING9", "krát", &repeat);

    pu::Control& sheet2 = w.Add(K::Sheet, "?SHEET2", {}, &panels).SetCell(1, 0, 2);
    pu::Control& tab2 = w.Add(K::Tab, "?TAB2", "Kde přehrávat", &sheet2);
    AddOutputArea(w, &tab2);
    w.Add(K::Button, "?OK", "&OK").SetImage("ok.gif");
    w.Add(K::Button, "?CANCEL", "&Storno").SetImage("storno.gif");
  }
  pu::Window window;
};

class TaskFormWindow final : public pu::RecordForm {
 public:
  TaskFormWindow(pu::Window& w, TaskFormState& s) : RecordForm(w), s_(s) {}

  int SetUp() override {
    const int r = RecordForm::SetUp();
    if (r != pu::kGoOn) return r;
    pu::Window& w = window();
    FirstField = w.Number("?TAS:AKTIVNI");
    w.SetFirstField(FirstField);
    auto& tasks = data::Files().TASKS;
    SetPrimary(tasks);
    SetHistory(&TaskHistoryRecord());
    for (const char* f : {"AKTIVNI", "AUTOMATICKY_SMAZAT", "NAZEV", "POSLEDNI_SPUSTENI", "DATUM_SPUSTENI",
                          "CAS_SPUSTENI", "PREHRAT", "DELKA_SOUBORU"})
      AddHistoryField(std::string("?TAS:") + f, std::string("TAS:") + f);
    CancelControl = w.Number("?CANCEL");
    if (data::HasControllers()) {
      auto& c = data::Controllers();
      opened_[0] = c.OUTPUTS.Open() == 0;
      opened_[1] = c.PRESET.Open() == 0;
      opened_[2] = c.TASKS.Open() == 0;
    }
    if (Request != pu::ViewRecord) {
      OkControl = w.Number("?OK");
      if (Request == pu::InsertRecord) PrimeNewTask();
      TakeReference();
    }
    if (!tPresetView) InitTaskFormPresetView();
    presets_.SetUpPresetDropList(w, "?PRE:NAZEV", tPresetView.get());
    w.Open();
    if (Request == pu::ViewRecord) {
      for (const char* e : {"?TAS:NAZEV", "?TAS:DATUM_SPUSTENI", "?TAS:CAS_SPUSTENI", "?TAS:PREHRAT", "?TAS:DELKA_SOUBORU"})
        w[e].SetReadOnly(true);
      for (const char* b : {"?CALENDAR", "?LOOKUPFILE", "?BUTTON_PLAY", "?KAZDY_DEN", "?BEZ_OPAKOVANI", "?PRE:NAZEV"})
        w[b].Disable();
      for (int k = 1; k <= kOutputButtons; ++k) w[DialogOutputButton(k)].Disable();
    }
    SetUpTaskFormResizer();
    syslib::ds_VisibleOnDesktop(w, 1);
    return pu::kGoOn;
  }

  int TearDown() override {
    const int r = RecordForm::TearDown();
    CopyTaskPending = 0;
    if (r != pu::kGoOn) return r;
    if (data::HasControllers()) {
      auto& c = data::Controllers();
      if (opened_[0]) c.OUTPUTS.Close();
      if (opened_[1]) c.PRESET.Close();
      if (opened_[2]) c.TASKS.Close();
    }
    return pu::kGoOn;
  }

  void PrimeNewTask() {
    data::TasksRecord& t = data::Files().TASKS.rec;
    t.DATUM_SPUSTENI = platform::GetClock().Today();
    t.CAS_SPUSTENI = platform::GetClock().ClockTime();
    s_.DayChecks.fill(0);
  }

  void SetCaptionAndRun() override {
    switch (Request) {
      case pu::InsertRecord:
        window().SetText("Přidání úlohy");
        break;
      case pu::ChangeRecord:
        window().SetText("Změna úlohy");
        break;
      case pu::ViewRecord:
        window().SetText("Zobrazení úlohy");
        break;
      default:
        break;
    }
    RecordForm::SetCaptionAndRun();
  }

  int RunForm() {
    Run();
    return Request == pu::ViewRecord ? pu::RequestCancelled : Response;
  }

  int OnWindowEvent() override {
    const int r = RecordForm::OnWindowEvent();
    if (r == pu::kGoOn && window().EventNumber() == pu::EVENT::OpenWindow) Opened();
    return r;
  }

  int OnControlSelected() override {
    pu::Window& w = window();
    const std::string& label = w.At(w.Field())->Label();
    if (label == "?OPAKOVANI:RADIO1") {
      s_.RepeatCount = 0;
      w["?OPAKOVANI_POCET"].Disable();
      w.Display("?OPAKOVANI_POCET");
    } else if (label == "?OPAKOVANI:RADIO2") {
      w["?OPAKOVANI_POCET"].Enable();
    }
    return RecordForm::OnControlSelected();
  }

  int OnFieldEvent() override {
    const int r = RecordForm::OnFieldEvent();
    pu::Window& w = window();
    const std::string& label = w.At(w.Field())->Label();
    if (label == "?OPAKOVANI:RADIO1") {
      data::Files().TASKS.rec.AUTOMATICKY_SMAZAT = 0;
      w["?TAS:AUTOMATICKY_SMAZAT"].Disable();
      w.Display("?TAS:AUTOMATICKY_SMAZAT");
    } else if (label == "?OPAKOVANI:RADIO2") {
      w["?TAS:AUTOMATICKY_SMAZAT"].Enable();
    }
    return r;
  }

  int OnControlAccepted() override {
    pu::Window& w = window();
    const int a = w.Accepted();
    if (a == 0) return RecordForm::OnControlAccepted();
    const std::string label = w.At(a)->Label();
    data::TasksRecord& t = data::Files().TASKS.rec;
    // Before the standard handling.
    if (const int k = OutputOfControl(w, a); k != 0) {
      ToggleOutput(w, s_.TaskFormOutputSelected, k);
    } else if (label == "?BUTTON_PLAY") {
      syslib::PlayWaveAsync(platform::text::TrimRight(t.PREHRAT));
    } else if (label == "?KAZDY_DEN") {
      s_.DayChecks.fill(1);
      s_.RepeatEndless = 0;
      s_.RepeatCount = 1;
      w["?OPAKOVANI_POCET"].Enable();
      w.Display();
    } else if (label == "?BEZ_OPAKOVANI") {
      s_.DayChecks.fill(0);
      s_.RepeatCount = 0;
      s_.RepeatEndless = 0;
      w["?OPAKOVANI_POCET"].Enable();
      w["?TAS:AUTOMATICKY_SMAZAT"].Enable();
      w.Display();
    } else if (label == "?OK") {
      if (!OkChecks()) return pu::kConsumed;
      Encode();
    }
    const int r = RecordForm::OnControlAccepted();
    // After it.
    if (label == "?CALENDAR") {
      w.Update();
      t.DATUM_SPUSTENI = service::SelectDate("Zvolte datum", t.DATUM_SPUSTENI, 0, 0);
      w.Display();
    } else if (label == "?LOOKUPFILE") {
      w.Update();
      const std::string chosen = platform::OpenFileDialog("Vyberte soubor", "Soubory WAV", "*.wav");
      if (PathFitsField(chosen))
        t.PREHRAT = chosen;
      else
        aMessage("stop.ico", "Chyba", kFileRefusedText);
      w.Display();
    } else if (label == "?PRE:NAZEV") {
      // The drop list has loaded the chosen preset.
      if (data::Files().PRESET.rec.ID != 0) ApplyPreset(w, s_.TaskFormOutputSelected, s_.OutputNames, nibbles_);
      w.Display();
    } else if (label == "?OK") {
      w.Update();
      if (Request == pu::ViewRecord) w.Post(pu::EVENT::CloseWindow);
    }
    return r;
  }

 private:
  void SetUpTaskFormResizer() { window().SetDesignedMinimum(true); }

  void Opened() {
    pu::Window& w = window();
    data::TasksRecord& t = data::Files().TASKS.rec;
    pu::SetCursor(pu::Cursor::Wait);
    if (Request == pu::InsertRecord && CopyTaskPending == 0) t.DELKA_SOUBORU = kOneMinute;
    if (Request == pu::ChangeRecord) {
      if (t.OPAKOVANI_POCET == 255) {
        s_.RepeatCount = 0;
        s_.RepeatEndless = 1;
        t.AUTOMATICKY_SMAZAT = 0;
        w["?OPAKOVANI_POCET"].Disable();
        w["?TAS:AUTOMATICKY_SMAZAT"].Disable();
      } else {
        s_.RepeatEndless = 0;
        w["?OPAKOVANI_POCET"].Enable();
        w["?TAS:AUTOMATICKY_SMAZAT"].Enable();
        s_.RepeatCount = t.OPAKOVANI_POCET;
      }
      // Monday .. Saturday are weekdays 1 .. 6, Sunday 0.
      const data::WeekdayFlags days = data::DecodeWeekdayMask(t.OPAKOVANI);
      for (int i = 0; i < 7; ++i)
        if (days[static_cast<std::size_t>((i + 1) % 7)] == 1) s_.DayChecks[static_cast<std::size_t>(i)] = 1;
      s_.TaskFormOutputSelected.fill(0);
      data::GetOutputMask(t, std::span<uint8_t>(s_.TaskFormOutputSelected).subspan(1));
      ShowChosenOutputs(w, s_.TaskFormOutputSelected);
    }
    ReadOutputNames(s_.OutputNames);
    ShowOutputNames(w, s_.OutputNames);
    pu::SetCursor(pu::Cursor::Normal);
    w.Display();
  }

  bool OkChecks() {
    pu::Window& w = window();
    // A time entered as 00:00:00 is held, and shown, as no time.
    for (const char* e : {"?TAS:CAS_SPUSTENI", "?TAS:DELKA_SOUBORU"})
      if (w.Update(e)) w.Display(e);
    if (const int empty = w.FirstEmptyRequired(); empty != 0) {
      w.Select(empty);
      return false;
    }
    // A question closed without a button counts as "Zpět".
    if (!AnyOutputChosen(s_.TaskFormOutputSelected) &&
        cMessage("storno.gif", "Zpět", "ok.gif", "OK", "warning2.ico", "Potvrzení operace", kNoOutputQuestion, 1) != 1)
      return false;
    bool anyDay = false;
    for (uint8_t d : s_.DayChecks) anyDay = anyDay || d == 1;
    if (s_.RepeatCount > 0 && !anyDay) {
      aMessage("stop.ico", "Chyba",
               "Chybí potřebné údaje !\r\n\r\nZvolili jste, že danou úlohu chcete opakovat,\r\nale nezadali jste v "
               "jaké dny má být opakování provedeno.\r\nZadejte dny opakování a poté akci opakujte.");
      return false;
    }
    return true;
  }

  void Encode() {
    data::TasksRecord& t = data::Files().TASKS.rec;
    data::WeekdayFlags days{};
    for (int i = 0; i < 7; ++i) days[static_cast<std::size_t>((i + 1) % 7)] = s_.DayChecks[static_cast<std::size_t>(i)] == 1;
    t.OPAKOVANI = data::EncodeWeekdayMask(days);
    t.OPAKOVANI_POCET = s_.RepeatEndless == 1 ? 255 : s_.RepeatCount;
    data::PutOutputMask(t, std::span<const uint8_t>(s_.TaskFormOutputSelected).subspan(1));
  }

  TaskFormState& s_;
  PresetDropList presets_;
  std::array<std::string, 11> nibbles_;
  bool opened_[3] = {false, false, false};
};

}  // namespace

data::TasksRecord& TaskHistoryRecord() { return tHistory; }

void InitTaskFormPresetView() {
  tPresetView = std::make_unique<platform::rec::File<data::PresetRecord>>(data::PresetDecl());
}

void Editace_uloh() {
  if (!tFormRan) {
    tHistory = data::TasksRecord{};
    tFormRan = true;
  }
  TaskFormState state;
  TaskForm form(state);
  TaskFormWindow w(form.window, state);
  pu::FormResponse = static_cast<uint8_t>(w.RunForm());
}

}  // namespace app::ui
