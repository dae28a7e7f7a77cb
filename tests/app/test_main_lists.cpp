// The main window's lists, headless, over real record files in a folder of
// their own: an operator script acts on the top window each time a loop
// waits (the main window, or the task editor above it), on a recording port
// and a clock that stands still unless a step moves it.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>
#include <string>
#include <vector>

#include "app/data/records.h"
#include "app/globals.h"
#include "app/ui/main_lists.h"
#include "app/ui/main_window.h"
#include "app/ui/task_form.h"
#include "platform/msgbox.h"
#include "platform/stdtime.h"
#include "platform/text.h"
#include "platform/winproc.h"
#include "tests/app/form_operator.h"
#include "tests/engine/recording_port.h"
#include "tests/support/fake_clock.h"
#include "tests/support/icon_file.h"
#include "tests/support/loop_guard.h"
#include "tests/support/tempdir.h"

namespace {

namespace pu = platform::ui;
namespace ui = app::ui;
namespace data = app::data;
using data::TasksRecord;
using platform::DateFromYmd;
using platform::TimeFromHms;
using Stored = testsupport::StoredTask;
using testsupport::AddTask;

// Every stored task in TAS:ID order.
std::vector<TasksRecord> Tasks() { return testsupport::StoredTasks(); }

const platform::StdDate kDay = DateFromYmd(2026, 3, 2);  // a Monday
const platform::StdTime kNine = TimeFromHms(9, 0, 0);
constexpr int32_t N = pu::kNormalColor;

enum Column { kA = 1, kCas, kOpakovani, kPrvni, kPopis, kNaposledy };
constexpr std::size_t kIdField = 28;  // TAS:ID in the row

// Native windows without widgets, worked by a script: each time a loop
// waits, the next step acts on the top window; boxes of aMessage and
// cMessage are noted and answered from a list ("?BUTTON1" the second
// button, "?BUTTON2" the first).
class Operator final : public pu::NativeHeadlessView {
 public:
  using Step = std::function<void(pu::Window&)>;
  std::vector<Step> steps;
  std::size_t done = 0;
  std::vector<std::string> boxes;  // "title: text"
  std::vector<std::string> answers;
  testsupport::LoopGuard guard{10000, "the main window"};

  bool Interactive() const override { return true; }
  void Pump(pu::EventQueue& q, uint64_t seen, std::optional<pu::TimePoint> deadline) override {
    pu::DispatchNativeMessages();
    if (q.Size() > 0 || q.Generation() != seen) return;
    if (guard.Ends()) return;
    pu::Window& w = *pu::ThreadWindows().back();
    if (w.Find("?UZIVATELSKY_TEXT") != nullptr) {
      boxes.push_back(w.Text() + ": " + w["?UZIVATELSKY_TEXT"].Text());
      if (w.Find("?BUTTON_OK") != nullptr) return w.Press("?BUTTON_OK");
      std::string a = "?BUTTON2";
      if (!answers.empty()) {
        a = answers.front();
        answers.erase(answers.begin());
      }
      return w.Press(a);
    }
    if (done < steps.size()) return steps[done++](w);
    ADD_FAILURE() << w.ProcedureName() << " still waits after the last step";
    for (pu::Window* each : pu::ThreadWindows()) each->Post(pu::EVENT::CloseDown);
    (void)deadline;
  }
};

using OutputRows = std::vector<std::pair<int32_t, std::string>>;

void AddOutputs(const OutputRows& rows) {
  platform::rec::File<data::OutputsRecord> f(data::OutputsDecl());
  ASSERT_EQ(f.Create(), 0);
  ASSERT_EQ(f.Open(), 0);
  for (const auto& [n, name] : rows) {
    f.rec.CISLO = n;
    f.rec.NAZEV = name;
    ASSERT_EQ(f.Add(), 0);
  }
}

std::string Trim(const std::string& s) { return std::string(platform::text::TrimRight(s)); }

std::vector<std::pair<int32_t, std::string>> Outputs() {
  platform::rec::File<data::OutputsRecord> f(data::OutputsDecl());
  std::vector<std::pair<int32_t, std::string>> out;
  if (f.Open() != 0) return out;
  f.SetKeyOrder(data::OUT_KeyCislo);
  while (f.Next() == 0) out.emplace_back(f.rec.CISLO, std::string(platform::text::TrimRight(f.rec.NAZEV)));
  return out;
}

// The main window; `accepted` sees each accepted control before the
// window's own handling, `consume` may take it instead.
class Main : public ui::MainWindow {
 public:
  explicit Main(app::engine::PortOps ops) : MainWindow(std::move(ops)) {}
  std::function<void(Main&, const std::string& label)> accepted;
  // Handles an accepted control in place of the window when it answers true.
  std::function<bool(Main&, const std::string& label)> consume;
  int OnControlAccepted() override {
    if (Win().Accepted() != 0) {
      const std::string label = Win().At(Win().Accepted())->Label();
      if (accepted) accepted(*this, label);
      if (consume && consume(*this, label)) return pu::kConsumed;
    }
    return MainWindow::OnControlAccepted();
  }
  ui::TaskList& List() { return Lists().Tasks(); }
  // Accepts a control as a press would (the controls of a tab that is not
  // shown included).
  void Accept(const char* label) { Win().Post(pu::EVENT::Accepted, Win().Number(label)); }
  // What ?COPY does (the window's commands): an insert that copies.
  void Copy() {
    ui::CopyTaskPending = 1;
    Locals().CopyKeepsRecord = 1;
    Accept("?INSERT");
  }
  int32_t SelectedId() {
    const int sel = List().Selected();
    return sel == 0 ? 0 : static_cast<int32_t>(pu::ValueNumber(List().Row(sel).fields[kIdField - 1]));
  }
  std::vector<std::string> Names() {
    std::vector<std::string> out;
    for (int r = 1; r <= List().Rows(); ++r) out.push_back(List().Cell(r, kPopis));
    return out;
  }
};

class MainListsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pu::SetThreadView(&op_);
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    data::AttachThreadFiles();
    app::GCU = 0;
    app::CaptionText = " vELORN v. 1.0";
    testsupport::WriteFile(dir_.file("velorn.ico"), testsupport::IconFile());
    // The platform's boxes are noted; a question is answered Yes.
    platform::SetBoxView(
        [this](std::string_view text, std::string_view caption, platform::BoxIcon, unsigned buttons, unsigned) {
          op_.boxes.push_back(std::string(caption) + ": " + std::string(text));
          return unsigned{(buttons & platform::BoxYes) != 0 ? platform::BoxYes : platform::BoxOk};
        });
  }
  void TearDown() override {
    platform::SetBoxView(nullptr);
    pu::SetThreadView(nullptr);
    data::ReleaseDataFiles();
    data::DetachThreadFiles();
    ui::CopyTaskPending = 0;
  }
  // Runs the main window through the steps; closes it down after them.
  void Run(Main& m, std::vector<Operator::Step> steps) {
    op_.steps = std::move(steps);
    op_.steps.push_back([](pu::Window& w) { w.Post(pu::EVENT::CloseDown); });
    op_.done = 0;
    op_.guard = {10000, "the main window"};
    m.Run();
    EXPECT_EQ(op_.done, op_.steps.size());
  }
  // A step on the main window (asserted to be the top window).
  static Operator::Step OnMain(std::function<void()> f) {
    return [f = std::move(f)](pu::Window& w) {
      EXPECT_EQ(w.ProcedureName(), "Main");
      f();
    };
  }

  Operator op_;
  testsupport::TempDir dir_{true};
  testsupport::FakeClock clock_{kDay, kNine};
  testsupport::ClockGuard guard_{&clock_};
  testsupport::RecordingPort port_;
};

TEST_F(MainListsTest, TaskRowsShowRepeatColoursAndIconOfTheStoredTasks) {
  struct Row {
    Stored in;
    const char* opakovat;
    pu::CellColors colours;  // each of the five text columns
    int icon;
    const char* lastRun;
  };
  const pu::CellColors plain{N, N, N, N};
  const pu::CellColors red{0xFF, N, 0xFFFFFF, N};
  const pu::CellColors orange{0x80FF, N, 0xFFFFFF, N};
  // In time order, as the list shows them.
  const std::vector<Row> table = {
      {{"Po a St", TimeFromHms(6, 0, 0), 1, 0, "0A"}, "ANO", plain, 1, ""},
      {{"bez dnů", TimeFromHms(6, 30, 0), 1, 0, "00"}, "NE", plain, 1, ""},
      {{"prázdná maska", TimeFromHms(7, 0, 0), 1, 0, ""}, "NE", plain, 1, ""},
      {{"neaktivní mazaná", TimeFromHms(7, 30, 0), 0, 1, "7F"}, "ANO", red, 2, ""},
      {{"neaktivní", TimeFromHms(8, 0, 0), 0, 0, "00"}, "NE", red, 2, ""},
      {{"mazaná", TimeFromHms(8, 30, 0), 1, 1, "00", DateFromYmd(2026, 2, 27)}, "NE", orange, 1, "27.02.2026"},
      {{"aktivní 2", TimeFromHms(9, 30, 0), 2, 0, "40"}, "ANO", plain, 2, ""},
      {{"aktivní 2 mazaná", TimeFromHms(10, 0, 0), 2, 1, "00"}, "NE", orange, 2, ""},
  };
  std::vector<int32_t> ids;
  for (const Row& r : table) ids.push_back(AddTask(r.in));
  Main m(port_.Ops());
  Run(m, {OnMain([&] {
        ui::TaskList& l = m.List();
        ASSERT_EQ(l.Rows(), static_cast<int>(table.size()));
        EXPECT_EQ(l.Icons(), (std::vector<std::string>{"~Tag.ico", "~Untag.ico"}));
        for (std::size_t i = 0; i < table.size(); ++i) {
          const Row& r = table[i];
          const int row = static_cast<int>(i) + 1;
          SCOPED_TRACE(r.in.name);
          EXPECT_EQ(l.Cell(row, kPopis), r.in.name);
          EXPECT_EQ(l.Cell(row, kCas),
                    platform::text::TrimRight(pu::FormatPicture("@t7", pu::Value(int64_t{r.in.time}))));
          EXPECT_EQ(l.Cell(row, kOpakovani), r.opakovat);
          EXPECT_EQ(l.Cell(row, kNaposledy), r.lastRun);
          EXPECT_EQ(l.Cell(row, kA), std::to_string(r.in.active));
          EXPECT_EQ(l.Icon(row, kA), r.icon);
          EXPECT_EQ(l.Colors(row, kA), plain);
          for (int c : {kCas, kOpakovani, kPrvni, kPopis, kNaposledy}) EXPECT_EQ(l.Colors(row, c), r.colours) << c;
          EXPECT_EQ(pu::ValueNumber(l.Row(row).fields[kIdField - 1]), ids[i]) << "TAS:ID travels with the row";
        }
      })});
}

TEST_F(MainListsTest, WithTheFilterATaskTheSchedulerSetsInactiveIsGoneAfterTheRefill) {
  using Names = std::vector<std::string>;
  AddTask({"ranní", TimeFromHms(6, 0, 0)});
  AddTask({"vypnutá", TimeFromHms(7, 0, 0), 0});
  // Weekly, every day, one run left, not deleting itself: the run sets it
  // inactive.
  const int32_t due = AddTask({"poslední běh", TimeFromHms(8, 59, 0), 1, 0, "7F", 0, 1});
  AddTask({"večerní", TimeFromHms(20, 0, 0)});
  Main m(port_.Ops());
  Run(m, {OnMain([&] {
            EXPECT_EQ(m.Names(), (Names{"ranní", "vypnutá", "poslední běh", "večerní"}));
            // What ?FILTR_ZOBRAZENI does when checked.
            m.Lists().SetTaskFilter(true);
            m.Refresh(1);
            EXPECT_EQ(m.Names(), (Names{"ranní", "poslední běh", "večerní"}));
            m.Win().Choose("?LIST", 2);
          }),
          OnMain([&] {
            EXPECT_EQ(m.SelectedId(), due);
            m.Engine().scheduler.ScanTasks();
            const auto stored = Tasks();
            ASSERT_EQ(stored.size(), 4u);
            EXPECT_EQ(stored[2].AKTIVNI, 0) << "the scan ran it for the last time";
            EXPECT_EQ(stored[2].POSLEDNI_SPUSTENI, kDay);
            EXPECT_EQ(m.Names(), (Names{"ranní", "večerní"})) << "the scan's refill";
            EXPECT_EQ(m.List().Cell(m.List().Selected(), kPopis), "večerní") << "the selection stays on its row";
            // Cleared.
            m.Lists().SetTaskFilter(false);
            m.Refresh(1);
            EXPECT_EQ(m.Names(), (Names{"ranní", "vypnutá", "poslední běh", "večerní"}));
            EXPECT_EQ(m.List().Colors(3, kPopis).fg, ui::kInactiveColor);
            EXPECT_EQ(m.List().Cell(3, kNaposledy), "02.03.2026");
          })});
}

TEST_F(MainListsTest, ACopyKeepsDescriptionFileAndLengthAndTakesEveryDefaultAndTheNextNumber) {
  for (const bool afterScan : {false, true}) {
    SCOPED_TRACE(afterScan ? "after a scan refilled the list" : "at once");
    {
      platform::rec::File<TasksRecord> f(data::TasksDecl());
      ASSERT_EQ(f.Create(), 0);
      ASSERT_EQ(f.Open(), 0);
      f.SetFileOrder();
      while (f.Next() == 0) ASSERT_EQ(f.Delete(), 0);
    }
    // Due now and run by the scan; the copied task later, with every
    // field away from its default.
    AddTask({"ranní hlášení", TimeFromHms(8, 59, 0), 1, 0, "7F", 0, 3});
    Stored source{"Zvonění", TimeFromHms(10, 0, 0), 1, 0, "7F", DateFromYmd(2026, 2, 23), 5, TimeFromHms(0, 5, 0)};
    const int32_t sourceId = AddTask(source);
    Main m(port_.Ops());
    // ?COPY as the window's command does it, in place of it.
    m.consume = [](Main& main, const std::string& label) {
      if (label != "?COPY") return false;
      main.Copy();
      return true;
    };
    int32_t next = 0;
    platform::StdTime opened = 0;
    op_.answers = {"?BUTTON1"};  // no output chosen: "OK"
    Run(m, {OnMain([&] { m.Win().Choose("?LIST", 2); }), OnMain([&] {
              ASSERT_EQ(m.SelectedId(), sourceId);
              if (afterScan) {
                m.Engine().scheduler.ScanTasks();
                EXPECT_EQ(Tasks()[0].POSLEDNI_SPUSTENI, kDay) << "the scan ran the first task";
              }
              // The buffer holds another task (as a form or a command may
              // leave it).
              data::Files().TASKS.rec.NAZEV = "jiná";
              data::Files().TASKS.rec.DELKA_SOUBORU = TimeFromHms(0, 0, 7);
              // Once through the popup item, which presses ?COPY.
              if (afterScan)
                m.List().ChoosePopup(1);
              else
                m.Copy();
            }),
            [&](pu::Window& w) {
              ASSERT_EQ(w.ProcedureName(), "Editace_uloh");
              EXPECT_EQ(w.Text(), "Přidání úlohy");
              const TasksRecord& t = data::Files().TASKS.rec;
              next = t.ID;
              opened = t.CAS_SPUSTENI;
              EXPECT_EQ(t.CAS_SPUSTENI, clock_.ClockTime()) << "now";
              EXPECT_EQ(t.NAZEV, "Zvonění");
              EXPECT_EQ(t.DELKA_SOUBORU, TimeFromHms(0, 5, 0));
              w.Press("?OK");
            },
            OnMain([&] {
              EXPECT_EQ(ui::CopyTaskPending, 0);
              EXPECT_EQ(m.Locals().CopyKeepsRecord, 0);
              EXPECT_EQ(m.SelectedId(), next) << "the list shows the copy";
            })});
    const auto stored = Tasks();
    ASSERT_EQ(stored.size(), 3u);
    const TasksRecord& copy = stored[2];
    EXPECT_EQ(copy.ID, sourceId + 1);
    EXPECT_EQ(next, copy.ID);
    EXPECT_EQ(copy.NAZEV, "Zvonění");
    EXPECT_EQ(copy.PREHRAT, "/nikde/Zvonění.wav");
    EXPECT_EQ(copy.DELKA_SOUBORU, TimeFromHms(0, 5, 0));
    EXPECT_EQ(copy.DATUM_SPUSTENI, kDay);
    EXPECT_EQ(copy.CAS_SPUSTENI, (opened - 1) / 100 * 100 + 1) << "now, in whole seconds as the entry holds it";
    EXPECT_EQ(copy.AKTIVNI, 1);
    EXPECT_EQ(copy.OPAKOVANI, "00");
    EXPECT_EQ(copy.OPAKOVANI_POCET, 0);
    EXPECT_EQ(copy.POSLEDNI_SPUSTENI, 0);
    EXPECT_EQ(copy.AUTOMATICKY_SMAZAT, 1);
    for (const std::string* v : {&copy.VYSTUP1_5, &copy.VYSTUP2_5, &copy.VYSTUP3_5, &copy.VYSTUP4_5, &copy.VYSTUP5_5})
      EXPECT_EQ(*v, "00");
    EXPECT_EQ(stored[1].NAZEV, "Zvonění") << "the source stays";
    EXPECT_EQ(stored[1].OPAKOVANI_POCET, 5);
    op_.boxes.clear();
  }
}

TEST_F(MainListsTest, ACopyWithoutASelectedTaskOpensNothing) {
  Main m(port_.Ops());
  Run(m, {OnMain([&] {
            EXPECT_EQ(m.List().Rows(), 0);
            m.Copy();
          }),
          OnMain([&] {
            EXPECT_EQ(ui::CopyTaskPending, 0);
            EXPECT_EQ(m.Locals().CopyKeepsRecord, 0);
          })});
  EXPECT_TRUE(Tasks().empty());
}

TEST_F(MainListsTest, AnInsertConfirmedAddsATaskAndACancelledChangeWritesNothing) {
  AddOutputs({{1, "Hala"}});
  Main m(port_.Ops());
  Run(m, {OnMain([&] {
            EXPECT_FALSE(m.Win()["?COPY"].Enabled()) << "no task to copy";
            EXPECT_FALSE(m.List().PopupItems().at(0).enabled);
            EXPECT_EQ(m.List().PopupItems().at(0).text, "&Kopíruj úlohu");
            m.Accept("?INSERT");
          }),
          [&](pu::Window& w) {
            ASSERT_EQ(w.ProcedureName(), "Editace_uloh");
            EXPECT_EQ(w.Text(), "Přidání úlohy");
            w.Enter("?TAS:NAZEV", "Polední zvonění");
            w.Enter("?TAS:PREHRAT", "/zvuky/poledne.wav");
            w.Press("?BUTTON_1");
            w.Press("?OK");
          },
          OnMain([&] {
            ASSERT_EQ(m.List().Rows(), 1);
            EXPECT_EQ(m.List().Cell(1, kPopis), "Polední zvonění");
            EXPECT_TRUE(m.Win()["?COPY"].Enabled());
            EXPECT_TRUE(m.List().PopupItems().at(0).enabled);
            m.Accept("?CHANGE");
          }),
          [&](pu::Window& w) {
            ASSERT_EQ(w.ProcedureName(), "Editace_uloh");
            EXPECT_EQ(w.Text(), "Změna úlohy");
            EXPECT_EQ(data::Files().TASKS.rec.NAZEV, "Polední zvonění");
            w.Enter("?TAS:NAZEV", "Jiný popis");
            w.Press("?CANCEL");
          },
          OnMain([&] { EXPECT_EQ(m.List().Cell(1, kPopis), "Polední zvonění"); })});
  const auto stored = Tasks();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].NAZEV, "Polední zvonění");
  EXPECT_EQ(stored[0].PREHRAT, "/zvuky/poledne.wav");
  EXPECT_EQ(stored[0].VYSTUP1_5, "08");
  EXPECT_EQ(stored[0].DATUM_SPUSTENI, kDay);
  EXPECT_EQ(op_.boxes, (std::vector<std::string>{"Změny nebudou uloženy!: Opravdu chcete stornovat operaci?"}));
}

TEST_F(MainListsTest, OutputListEditsAreWrittenAtOnceAndATakenNumberOrZeroIsRefused) {
  using Rows = OutputRows;
  AddOutputs({{1, "Hala"}, {2, "Dvůr"}, {3, "Sklad"}});
  Main m(port_.Ops());
  ui::OutputList& l = m.Lists().Outputs();
  const auto type = [&](int column, const char* text) { return [&l, column, text] { l.EditType(column, text); }; };
  const auto key = [&](int k) { return [&l, k] { l.EditKey(k); }; };
  const auto choose = [&](int row) { return [&m, row] { m.Win().Choose("?LIST:2", row); }; };
  const auto accept = [&](const char* label) { return [&m, label] { m.Accept(label); }; };
  constexpr int kEnter = 0x0D, kEsc = 0x1B;
  struct Row {
    const char* what;
    std::vector<std::function<void()>> acts;  // one step each
    Rows stored;
    bool editing;  // after the acts
    int boxes;     // error boxes shown
  };
  const std::vector<Row> table = {
      {"a new row",
       {accept("?INSERT:2"), type(1, "4"), type(2, "Brána"), key(kEnter)},
       {{1, "Hala"}, {2, "Dvůr"}, {3, "Sklad"}, {4, "Brána"}},
       false,
       0},
      {"a name changed",
       {choose(2), accept("?CHANGE:2"), type(2, "Dvorek"), key(kEnter)},
       {{1, "Hala"}, {2, "Dvorek"}, {3, "Sklad"}, {4, "Brána"}},
       false,
       0},
      {"a number changed",
       {choose(3), accept("?CHANGE:2"), type(1, "7"), key(kEnter)},
       {{1, "Hala"}, {2, "Dvorek"}, {4, "Brána"}, {7, "Sklad"}},
       false,
       0},
      {"a number taken",
       {choose(3), accept("?CHANGE:2"), type(1, "2"), type(2, "Vrata"), key(kEnter)},
       {{1, "Hala"}, {2, "Dvorek"}, {4, "Brána"}, {7, "Sklad"}},
       true,
       1},
      {"number 0",
       {key(kEsc), choose(1), accept("?CHANGE:2"), type(1, "0"), key(kEnter)},
       {{1, "Hala"}, {2, "Dvorek"}, {4, "Brána"}, {7, "Sklad"}},
       true,
       0},
      {"a new row numbered 0",
       {key(kEsc), accept("?INSERT:2"), type(1, "0"), type(2, "Nula"), key(kEnter)},
       {{1, "Hala"}, {2, "Dvorek"}, {4, "Brána"}, {7, "Sklad"}},
       true,
       0},
      {"a delete", {key(kEsc), choose(2), accept("?DELETE:2")}, {{1, "Hala"}, {4, "Brána"}, {7, "Sklad"}}, false, 0},
  };
  std::vector<Operator::Step> steps;
  for (const Row& row : table) {
    for (const auto& act : row.acts) steps.push_back(OnMain(act));
    steps.push_back(OnMain([&] {
      SCOPED_TRACE(row.what);
      EXPECT_EQ(Outputs(), row.stored);
      EXPECT_EQ(l.Editing(), row.editing);
      ASSERT_EQ(static_cast<int>(op_.boxes.size()), row.boxes);
      if (row.boxes > 0) {
        EXPECT_NE(op_.boxes[0].find("40"), std::string::npos) << op_.boxes[0];
      }
      if (std::string(row.what).find("numbered 0") != std::string::npos || std::string(row.what) == "number 0") {
        EXPECT_EQ(l.EditColumn(), 1) << "the edit stays on the number";
      }
      op_.boxes.clear();
      // The rows shown are those stored.
      Rows shown;
      for (int r = 1; r <= l.Rows(); ++r) shown.emplace_back(std::stoi(l.Cell(r, 1)), l.Cell(r, 2));
      if (!row.editing) {
        EXPECT_EQ(shown, row.stored);
      }
    }));
  }
  Run(m, std::move(steps));
}

TEST_F(MainListsTest, APresetChosenAmongTwoOfTheSameNameLoadsItsOwnRecord) {
  {
    platform::rec::File<data::PresetRecord> f(data::PresetDecl());
    ASSERT_EQ(f.Create(), 0);
    ASSERT_EQ(f.Open(), 0);
    for (const auto& [name, mask] :
         std::vector<std::pair<std::string, std::string>>{{"Vše", "FF"}, {"Hala", "01"}, {"Vše", "0F"}}) {
      f.ClearBuffer();
      data::PrimePresetDefaults(f.rec);
      ASSERT_EQ(f.PrimeAutoNumber(), 0);
      f.rec.NAZEV = name;
      f.rec.VYSTUP1_5 = mask;
      ASSERT_EQ(f.Add(), 0);
    }
  }
  Main m(port_.Ops());
  std::vector<std::string> seen;
  m.accepted = [&](Main&, const std::string& label) {
    const data::PresetRecord& p = data::Files().PRESET.rec;
    if (label == "?PRE:NAZEV") seen.push_back(std::to_string(p.ID) + " " + Trim(p.NAZEV) + " " + p.VYSTUP1_5);
  };
  ui::PresetDropList& d = m.Lists().Presets();
  Run(m, {OnMain([&] {
            ASSERT_EQ(d.Rows(), 3);
            EXPECT_EQ(d.Cell(1, 1), "Vše");
            EXPECT_EQ(d.Cell(3, 1), "Vše");
            EXPECT_EQ(d.Cell(3, 2), "3");
            m.Win().Choose("?PRE:NAZEV", 3);
          }),
          OnMain([&] { m.Win().Choose("?PRE:NAZEV", 1); }), OnMain([&] { m.Win().Choose("?PRE:NAZEV", 2); }),
          OnMain([&] {
            // A preset deleted since the list was filled: no preset.
            platform::rec::File<data::PresetRecord> f(data::PresetDecl());
            ASSERT_EQ(f.Open(), 0);
            f.rec.ID = 3;
            ASSERT_EQ(f.SetKeyFromBuffer(data::PRE_KeyId), 0);
            ASSERT_EQ(f.Next(), 0);
            ASSERT_EQ(f.Delete(), 0);
            m.Win().Choose("?PRE:NAZEV", 3);
          })});
  EXPECT_EQ(seen, (std::vector<std::string>{"3 Vše 0F", "1 Vše FF", "2 Hala 01", "0  "}));
}

TEST_F(MainListsTest, AHeaderClickSortsTheTaskListAndShiftClickGoesBackToTheTimeOrder) {
  using Names = std::vector<std::string>;
  AddTask({"Čas", TimeFromHms(8, 0, 0)});
  AddTask({"ahoj", TimeFromHms(12, 0, 0)});
  AddTask({"Beta", TimeFromHms(6, 0, 0)});
  Main m(port_.Ops());
  Run(m, {OnMain([&] {
            EXPECT_EQ(m.Names(), (Names{"Beta", "Čas", "ahoj"}));
            m.List().MouseDown(ui::kMouseLeft, 0, kPopis, false);
            m.List().RegionMouse(pu::EVENT::MouseUp, true);
          }),
          OnMain([&] {
            EXPECT_EQ(m.Names(), (Names{"ahoj", "Beta", "Čas"}));
            EXPECT_EQ(m.List().OrderText(), "+UPPER(TAS:NAZEV)");
            EXPECT_EQ(m.List().Column(kPopis).header, "Popis úlohy[+]");
            m.List().MouseDown(ui::kShiftMouseLeft, 0, kPopis, false);
            m.List().RegionMouse(pu::EVENT::MouseUp, true);
          }),
          OnMain([&] {
            EXPECT_EQ(m.Names(), (Names{"Beta", "Čas", "ahoj"}));
            EXPECT_EQ(m.List().OrderText(), "");
            EXPECT_EQ(m.List().Column(kPopis).header, "Popis úlohy");
            EXPECT_EQ(m.Locals().LastTaskSortOrder, 1);
          })});
}

TEST_F(MainListsTest, AHeaderSortStaysThroughTheScansRefillAndTheFilterUntilShiftClick) {
  using Names = std::vector<std::string>;
  AddTask({"večerní", TimeFromHms(20, 0, 0)});
  AddTask({"Ranní", TimeFromHms(6, 0, 0)});
  // Weekly, every day, one run left: the scan runs it and sets it inactive.
  AddTask({"poslední běh", TimeFromHms(8, 59, 0), 1, 0, "7F", 0, 1});
  AddTask({"Čtení", TimeFromHms(7, 0, 0), 0});
  Main m(port_.Ops());
  const auto headers = [&] {
    std::vector<std::string> out;
    for (int c = 1; c <= m.List().Columns(); ++c) out.push_back(m.List().Column(c).header);
    return out;
  };
  const std::vector<std::string> plain = {"A", "Čas", "Opakování", "První spuštění", "Popis úlohy", "Naposledy spuštěno"};
  std::vector<std::string> sorted = plain;
  sorted[kPopis - 1] = "Popis úlohy[-]";
  Run(m, {OnMain([&] {
            EXPECT_EQ(m.Names(), (Names{"Ranní", "Čtení", "poslední běh", "večerní"}));
            EXPECT_EQ(headers(), plain);
            m.List().MouseDown(ui::kMouseLeft, 0, kPopis, false);
            m.List().RegionMouse(pu::EVENT::MouseUp, true);
          }),
          OnMain([&] {
            m.List().MouseDown(ui::kMouseLeft, 0, kPopis, false);
            m.List().RegionMouse(pu::EVENT::MouseUp, true);
          }),
          OnMain([&] {
            const Names descending{"večerní", "Ranní", "poslední běh", "Čtení"};
            EXPECT_EQ(m.Names(), descending);
            EXPECT_EQ(headers(), sorted);
            m.Engine().scheduler.ScanTasks();
            EXPECT_EQ(Tasks()[2].AKTIVNI, 0) << "the scan ran it for the last time";
            EXPECT_EQ(m.Names(), descending) << "the scan's refill keeps the order";
            m.Lists().SetTaskFilter(true);
            m.Refresh(1);
            EXPECT_EQ(m.Names(), (Names{"večerní", "Ranní"}));
            EXPECT_EQ(m.List().OrderText(), "-UPPER(TAS:NAZEV)");
            EXPECT_EQ(headers(), sorted);
            m.List().MouseDown(ui::kShiftMouseLeft, 0, kCas, false);
            m.List().RegionMouse(pu::EVENT::MouseUp, true);
          }),
          OnMain([&] {
            EXPECT_EQ(m.Names(), (Names{"Ranní", "večerní"})) << "the time order, still filtered";
            EXPECT_EQ(m.List().OrderText(), "");
            EXPECT_EQ(headers(), plain);
          })});
}

}  // namespace

