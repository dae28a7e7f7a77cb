// The task editor through the window model over real record files in a
// test folder, with a test clock: what it shows is what is stored, and
// what the operator confirms is what is stored.
#include "app/ui/task_form.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/ui/output_buttons.h"
#include "platform/filedialog.h"
#include "platform/ini.h"
#include "platform/msgbox.h"
#include "platform/recordform.h"
#include "platform/stdtime.h"
#include "syslib/sound.h"
#include "tests/app/form_operator.h"
#include "tests/support/fake_clock.h"
#include "tests/support/tempdir.h"

namespace app::ui {
namespace {

namespace pu = platform::ui;
using data::TasksRecord;
using platform::DateFromYmd;
using platform::TimeFromHms;
using Step = testsupport::FormOperator::Step;

const platform::StdDate kToday = DateFromYmd(2024, 10, 15);
const platform::StdTime kNow = TimeFromHms(9, 30, 12);

Step Press(const char* label) {
  return [label](pu::Window& w) { w.Press(label); };
}
Step Type(const char* label, std::string text) {
  return [label, text](pu::Window& w) { w.Enter(label, text); };
}

// A stored task, active, with a file, a time and a length.
TasksRecord Task(std::string name, std::string repeat = "00", uint8_t count = 0,
                 std::array<std::string, 5> outputs = {"08", "00", "00", "00", "00"}, uint8_t autoDelete = 0) {
  TasksRecord t;
  t.AKTIVNI = 1;
  t.NAZEV = std::move(name);
  t.PREHRAT = "/tmp/hlaseni.wav";
  t.DATUM_SPUSTENI = DateFromYmd(2024, 11, 1);
  t.CAS_SPUSTENI = TimeFromHms(8, 0, 0);
  t.DELKA_SOUBORU = TimeFromHms(0, 0, 30);
  t.OPAKOVANI = std::move(repeat);
  t.OPAKOVANI_POCET = count;
  t.VYSTUP1_5 = outputs[0];
  t.VYSTUP2_5 = outputs[1];
  t.VYSTUP3_5 = outputs[2];
  t.VYSTUP4_5 = outputs[3];
  t.VYSTUP5_5 = outputs[4];
  t.AUTOMATICKY_SMAZAT = autoDelete;
  return t;
}

class TaskEditor : public testing::Test {
 protected:
  TaskEditor() : clock_(kToday, kNow), guard_(&clock_) {
    // Output 30 has a blank name. The preset chooses outputs 1, 2, 8, 13,
    // 15, 30 and 31 (a group's second digit holds its first four outputs,
    // the first digit its last four) and the fifth field's.
    auto names = testsupport::Names(32);
    names[29] = "";
    testsupport::FillFiles(names, {{"Hala", {"1C", "A0", "00", "60", "FF"}}});
    EXPECT_EQ(data::Controllers().TASKS.Open(), 0);
    platform::SetBoxView([this](std::string_view text, std::string_view caption, platform::BoxIcon, unsigned buttons,
                                unsigned) {
      questions.push_back({std::string(caption), std::string(text)});
      if (questionAnswers.empty()) return platform::HeadlessAnswer(buttons);
      const unsigned a = questionAnswers.front();
      questionAnswers.erase(questionAnswers.begin());
      return a;
    });
  }
  ~TaskEditor() override {
    platform::SetBoxView(nullptr);
    platform::SetFileDialogView(nullptr);
    data::ThreadReleaseDataFiles();
    data::DetachThreadFiles();
  }

  // Adds a task through an instance of its own; returns its number.
  int32_t Store(TasksRecord t) {
    platform::rec::File<TasksRecord> f(data::TasksDecl());
    EXPECT_EQ(f.Open(), 0);
    f.rec = std::move(t);
    f.PrimeAutoNumber();
    EXPECT_EQ(f.Add(), 0);
    f.Close();
    return f.rec.ID;
  }
  void ClearTasks() {
    platform::rec::File<TasksRecord> f(data::TasksDecl());
    ASSERT_EQ(f.Open(), 0);
    f.SetFileOrder();
    while (f.Next() == 0) ASSERT_EQ(f.Delete(), 0);
    f.Close();
  }
  std::vector<TasksRecord> Stored() {
    platform::rec::File<TasksRecord> f(data::TasksDecl());
    std::vector<TasksRecord> out;
    if (f.Open() != 0) return out;
    f.SetKeyOrder(data::TAS_KeyId);
    while (f.Next() == 0) out.push_back(f.rec);
    f.Close();
    return out;
  }

  uint8_t Run(uint8_t request, std::vector<Step> steps, std::vector<std::string> answers = {}) {
    v.op = testsupport::FormOperator();
    v.op.steps = std::move(steps);
    v.op.answers = std::move(answers);
    pu::FormRequest = request;
    Editace_uloh();
    EXPECT_EQ(v.op.done, v.op.steps.size());
    EXPECT_TRUE(pu::ThreadWindows().empty());
    EXPECT_EQ(CopyTaskPending, 0);
    return pu::FormResponse;
  }
  uint8_t Insert(std::vector<Step> steps, std::vector<std::string> answers = {}) {
    EXPECT_EQ(data::Controllers().TASKS.PrimeRecord(), 0);
    return Run(pu::InsertRecord, std::move(steps), std::move(answers));
  }
  void Read(int32_t id) {
    auto& f = data::Files().TASKS;
    f.ClearBuffer();
    f.rec.ID = id;
    ASSERT_EQ(f.SetKeyFromBuffer(data::TAS_KeyId), 0);
    ASSERT_EQ(f.Next(), 0);
  }
  uint8_t Change(int32_t id, std::vector<Step> steps, std::vector<std::string> answers = {}) {
    Read(id);
    return Run(pu::ChangeRecord, std::move(steps), std::move(answers));
  }
  uint8_t Copy(int32_t id, std::vector<Step> steps, std::vector<std::string> answers = {}) {
    Read(id);
    EXPECT_EQ(data::Controllers().TASKS.PrimeRecord(true), 0);
    CopyTaskPending = 1;
    return Run(pu::InsertRecord, std::move(steps), std::move(answers));
  }

  testsupport::TempDir dir{true};
  testsupport::WithOperator v;
  std::vector<testsupport::SeenBox> questions;
  std::vector<unsigned> questionAnswers;

 private:
  testsupport::FakeClock clock_;
  testsupport::ClockGuard guard_;
};

std::array<std::string, 5> Masks(const TasksRecord& t) {
  return {t.VYSTUP1_5, t.VYSTUP2_5, t.VYSTUP3_5, t.VYSTUP4_5, t.VYSTUP5_5};
}

bool Checked(pu::Window& w, const char* label) { return w[label].Checked(); }

TEST_F(TaskEditor, RoundTripsThroughTheForm) {
  struct Case {
    const char* what;
    std::optional<TasksRecord> stored;  // changed; else a new task
    std::vector<Step> steps;
    std::vector<std::string> answers;  // of cMessage
    uint8_t response;
    std::function<void(const std::vector<TasksRecord>&)> check;
  };
  const auto file = [](pu::Window& w) { w.Enter("?TAS:PREHRAT", "/tmp/a.wav"); };
  const Case cases[] = {
      {"every day and output 1", std::nullopt,
       {file, Press("?KAZDY_DEN"), Press("?BUTTON_1"), Press("?OK")}, {}, 1,
       [](const auto& s) {
         ASSERT_EQ(s.size(), 1u);
         EXPECT_EQ(s[0].OPAKOVANI, "7F");
         EXPECT_EQ(s[0].OPAKOVANI_POCET, 1);
         EXPECT_EQ(Masks(s[0]), (std::array<std::string, 5>{"08", "00", "00", "00", "00"}));
         EXPECT_EQ(s[0].ID, 1);
       }},
      {"no repeat", std::nullopt,
       {file, Press("?KAZDY_DEN"), Press("?BEZ_OPAKOVANI"), Press("?BUTTON_1"), Press("?OK")}, {}, 1,
       [](const auto& s) {
         ASSERT_EQ(s.size(), 1u);
         EXPECT_EQ(s[0].OPAKOVANI, "00");
         EXPECT_EQ(s[0].OPAKOVANI_POCET, 0);
       }},
      {"endless without a day", std::nullopt,
       {file, Press("?BUTTON_2"), Press("?OPAKOVANI:RADIO1"),
        [](pu::Window& w) {
          EXPECT_FALSE(w["?TAS:AUTOMATICKY_SMAZAT"].Enabled());
          EXPECT_FALSE(w["?OPAKOVANI_POCET"].Enabled());
          EXPECT_FALSE(Checked(w, "?TAS:AUTOMATICKY_SMAZAT"));
          w.Press("?OK");
        }},
       {}, 1,
       [](const auto& s) {
         ASSERT_EQ(s.size(), 1u);
         EXPECT_EQ(s[0].OPAKOVANI, "00");
         EXPECT_EQ(s[0].OPAKOVANI_POCET, 255);
         EXPECT_EQ(s[0].AUTOMATICKY_SMAZAT, 0);
       }},
      {"a count without a day is refused", std::nullopt,
       {file, Press("?BUTTON_1"), Type("?OPAKOVANI_POCET", "3"), Press("?OK"),
        [](pu::Window& w) {
          EXPECT_TRUE(w.IsOpen());
          w.Post(pu::EVENT::CloseDown);
        }},
       {}, 2, [](const auto& s) { EXPECT_TRUE(s.empty()); }},
      {"days with the count 0 are stored so", std::nullopt,
       {file, Press("?PONDELI"), Press("?STREDA"), Press("?BUTTON_1"), Press("?OK")}, {}, 1,
       [](const auto& s) {
         ASSERT_EQ(s.size(), 1u);
         EXPECT_EQ(s[0].OPAKOVANI, "0A");
         EXPECT_EQ(s[0].OPAKOVANI_POCET, 0);
       }},
      {"a stored 0A opens Monday and Wednesday", Task("Středa", "0A", 3),
       {[](pu::Window& w) {
         for (const char* d : {"?PONDELI", "?UTERY", "?STREDA", "?CTVRTEK", "?PATEK", "?SOBOTA", "?NEDELE"})
           EXPECT_EQ(Checked(w, d), std::string(d) == "?PONDELI" || std::string(d) == "?STREDA") << d;
         EXPECT_EQ(w["?OPAKOVANI"].Choice(), 2);
         EXPECT_EQ(w["?OPAKOVANI_POCET"].Text(), "3");
         EXPECT_EQ(w["?BUTTON_1"].Color(), kChosenColor);
         w.Press("?OK");
       }},
       {}, 1, [](const auto& s) { EXPECT_EQ(s[0].OPAKOVANI, "0A"); }},
      {"outputs 1, 9 and 32", std::nullopt,
       {file, Press("?BUTTON_1"), Press("?BUTTON_9"), Press("?BUTTON_32"), Press("?OK")}, {}, 1,
       [](const auto& s) { EXPECT_EQ(Masks(s[0]), (std::array<std::string, 5>{"08", "08", "00", "10", "00"})); }},
      {"a stored fifth field is saved 00", Task("Pátá", "00", 0, {"08", "00", "00", "00", "FF"}), {Press("?OK")},
       {}, 1, [](const auto& s) { EXPECT_EQ(s[0].VYSTUP5_5, "00"); }},
      {"a chosen output with a blank name is written back", Task("Třicet", "00", 0, {"00", "00", "00", "40", "00"}),
       {[](pu::Window& w) {
         EXPECT_EQ(w["?BUTTON_30"].Color(), kChosenColor);
         EXPECT_FALSE(w["?BUTTON_30"].Enabled());
         w.Press("?OK");
       }},
       {}, 1, [](const auto& s) { EXPECT_EQ(Masks(s[0]), (std::array<std::string, 5>{"00", "00", "00", "40", "00"})); }},
      {"a preset replaces the whole choice", Task("Třicet", "00", 0, {"00", "00", "00", "40", "00"}),
       {[](pu::Window& w) {
         EXPECT_EQ(w["?BUTTON_30"].Color(), kChosenColor);
         EXPECT_FALSE(w["?BUTTON_30"].Enabled());
         w.Choose("?PRE:NAZEV", 1);  // a preset replaces the choice
       },
        [](pu::Window& w) {
          EXPECT_EQ(w["?BUTTON_30"].Color(), pu::kNormalColor);
          EXPECT_EQ(w["?BUTTON_1"].Color(), kChosenColor);
          EXPECT_EQ(w["?PRE:NAZEV"].Choice(), 0);
          w.Press("?OK");
        }},
       {}, 1,
       [](const auto& s) {
         EXPECT_EQ(Masks(s[0]), (std::array<std::string, 5>{"1C", "A0", "00", "20", "00"}))
             << "the preset's named outputs of 1..32: 30 has no name";
       }},
      {"a stored 255 with auto-delete opens endless, auto-delete 0 and disabled",
       Task("Stále", "7F", 255, {"08", "00", "00", "00", "00"}, 1),
       {[](pu::Window& w) {
         EXPECT_EQ(w["?OPAKOVANI"].Choice(), 1);
         EXPECT_FALSE(Checked(w, "?TAS:AUTOMATICKY_SMAZAT"));
         EXPECT_FALSE(w["?TAS:AUTOMATICKY_SMAZAT"].Enabled());
         EXPECT_FALSE(w["?OPAKOVANI_POCET"].Enabled());
         w.Press("?KAZDY_DEN");  // the count is usable again, auto-delete stays off
       },
        [](pu::Window& w) {
          EXPECT_TRUE(w["?OPAKOVANI_POCET"].Enabled());
          EXPECT_FALSE(w["?TAS:AUTOMATICKY_SMAZAT"].Enabled());
          w.Press("?OK");
        }},
       {}, 1,
       [](const auto& s) {
         EXPECT_EQ(s[0].OPAKOVANI_POCET, 1);
         EXPECT_EQ(s[0].AUTOMATICKY_SMAZAT, 0);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ClearTasks();
    const int32_t id = c.stored ? Store(*c.stored) : 0;
    const uint8_t r = c.stored ? Change(id, c.steps, c.answers) : Insert(c.steps, c.answers);
    EXPECT_EQ(r, c.response);
    c.check(Stored());
  }
}

// The day check boxes in window order.
constexpr const char* kDays[] = {"?PONDELI", "?UTERY", "?STREDA", "?CTVRTEK", "?PATEK", "?SOBOTA", "?NEDELE"};

TEST_F(TaskEditor, TheWeekdayMaskHoldsSundayInBit0UpToSaturdayInBit6BothWays) {
  struct Row {
    const char* mask;
    std::vector<std::string> days;  // in window order
  };
  const Row rows[] = {
      {"01", {"?NEDELE"}},  {"02", {"?PONDELI"}}, {"04", {"?UTERY"}},  {"08", {"?STREDA"}},
      {"10", {"?CTVRTEK"}}, {"20", {"?PATEK"}},   {"40", {"?SOBOTA"}}, {"41", {"?SOBOTA", "?NEDELE"}},
      {"3E", {"?PONDELI", "?UTERY", "?STREDA", "?CTVRTEK", "?PATEK"}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string("mask ") + r.mask);
    // The days checked are stored as the mask ...
    ClearTasks();
    std::vector<Step> steps{Type("?TAS:PREHRAT", "/tmp/a.wav")};
    for (const std::string& d : r.days) steps.push_back([d](pu::Window& w) { w.Press(d); });
    steps.push_back(Press("?BUTTON_1"));
    steps.push_back(Press("?OK"));
    EXPECT_EQ(Insert(steps), 1);
    const auto s = Stored();
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].OPAKOVANI, r.mask) << "the days checked, as stored";
    // ... and a task stored with the mask opens with those days checked.
    ClearTasks();
    const int32_t id = Store(Task("Dny", r.mask, 1));
    std::vector<std::string> shown;
    EXPECT_EQ(Change(id, {[&](pu::Window& w) {
                for (const char* d : kDays)
                  if (Checked(w, d)) shown.push_back(d);
                w.Press("?OK");
              }}),
              1);
    EXPECT_EQ(shown, r.days) << "the stored mask, as the days shown";
  }
}

TEST_F(TaskEditor, ACountOfANumberOfTimesEndsAt254For255IsTheEndlessRepeat) {
  const auto up = [](pu::Window& w) { w.Step("?OPAKOVANI_POCET", 1); };
  struct Row {
    const char* what;
    std::vector<Step> count;
    uint8_t stored;
  } rows[] = {
      {"254 typed", {Type("?OPAKOVANI_POCET", "254")}, 254},
      {"255 typed is refused, the count takes the nearest it holds",
       {Type("?OPAKOVANI_POCET", "3"), Type("?OPAKOVANI_POCET", "255")}, 254},
      {"a step up from 254 stays at 254", {Type("?OPAKOVANI_POCET", "254"), up}, 254},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    ClearTasks();
    std::vector<Step> steps{Type("?TAS:PREHRAT", "/tmp/a.wav"), Press("?PONDELI")};
    steps.insert(steps.end(), r.count.begin(), r.count.end());
    steps.push_back([](pu::Window& w) {
      EXPECT_EQ(w["?OPAKOVANI"].Choice(), 2) << "the radio says a number of times";
      w.Press("?BUTTON_1");
    });
    steps.push_back(Press("?OK"));
    EXPECT_EQ(Insert(steps), 1);
    const auto s = Stored();
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].OPAKOVANI_POCET, r.stored) << "255 would store an endless task";
  }
}

TEST_F(TaskEditor, InsertCopyAndUnchangedChangeOpenAndSaveAsStated) {
  // An insert opens on today, now, 00:01:00, the count radio with 0.
  Insert({[](pu::Window& w) {
            EXPECT_EQ(w.Text(), "Přidání úlohy");
            EXPECT_EQ(w.Icon(), "clock.ico");
            EXPECT_EQ(w.At(w.Focus())->Label(), "?TAS:AKTIVNI");
            EXPECT_EQ(w["?TAS:DATUM_SPUSTENI"].Text(), "15.10.2024");
            EXPECT_EQ(w["?TAS:CAS_SPUSTENI"].Text(), "09:30:12");
            EXPECT_EQ(w["?TAS:DELKA_SOUBORU"].Text(), "00:01:00");
            EXPECT_EQ(w["?OPAKOVANI"].Choice(), 2);
            EXPECT_EQ(w["?OPAKOVANI_POCET"].Text(), "0");
            EXPECT_TRUE(w["?OPAKOVANI_POCET"].Enabled());
            EXPECT_EQ(w["?BUTTON_5"].Text(), "V5");
            EXPECT_TRUE(w["?BUTTON_5"].Enabled());
            EXPECT_EQ(w["?BUTTON_5"].Color(), pu::kNormalColor);
            EXPECT_FALSE(w["?BUTTON_30"].Enabled());
            w.Enter("?TAS:NAZEV", "Ranní hlášení");
          },
          Type("?TAS:PREHRAT", "/tmp/rano.wav"), Press("?BUTTON_3"), Press("?OK")});
  ASSERT_EQ(Stored().size(), 1u);
  const TasksRecord first = Stored()[0];
  EXPECT_EQ(first.DELKA_SOUBORU, TimeFromHms(0, 1, 0));

  // A copy keeps description, file and length, takes today and now, and
  // gets a new number.
  TasksRecord older = Task("Kopírovaná");
  older.DELKA_SOUBORU = TimeFromHms(0, 2, 5);
  older.DATUM_SPUSTENI = DateFromYmd(2020, 1, 1);
  const int32_t id = Store(older);
  EXPECT_EQ(Copy(id, {[](pu::Window& w) {
                   EXPECT_EQ(w["?TAS:DELKA_SOUBORU"].Text(), "00:02:05");
                   EXPECT_EQ(w["?TAS:DATUM_SPUSTENI"].Text(), "15.10.2024");
                   w.Press("?OK");
                 }},
                 {"?BUTTON1"}),
            1);
  const auto all = Stored();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[2].ID, id + 1);
  EXPECT_EQ(all[2].NAZEV, "Kopírovaná");
  EXPECT_EQ(all[2].PREHRAT, "/tmp/hlaseni.wav");
  EXPECT_EQ(all[2].DELKA_SOUBORU, TimeFromHms(0, 2, 5));
  EXPECT_EQ(all[2].DATUM_SPUSTENI, kToday);
  EXPECT_EQ(all[2].CAS_SPUSTENI, kNow);

  // A change with nothing changed writes nothing and still completes.
  const std::string before = testsupport::SnapshotFolder(dir.path());
  EXPECT_EQ(Change(first.ID, {Press("?OK")}), 1);
  EXPECT_EQ(testsupport::SnapshotFolder(dir.path()), before);
}

TEST_F(TaskEditor, CancellingAsksOnlyWhenTheRecordChangedAndOnlyYesCloses) {
  enum class Kind { New, Copy, Change };
  struct Row {
    const char* what;
    Kind kind;
    TasksRecord stored;
    std::vector<Step> edits;
    bool asks;
  };
  const Row rows[] = {
      {"untouched new task", Kind::New, {}, {}, true},
      {"untouched copy", Kind::Copy, Task("Kopie"), {}, false},
      {"untouched change", Kind::Change, Task("Změna"), {}, false},
      {"stored 255 with auto-delete 1", Kind::Change, Task("Stále", "7F", 255, {"08", "00", "00", "00", "00"}, 1), {},
       true},
      {"only days and outputs changed", Kind::Change, Task("Dny"), {Press("?SOBOTA"), Press("?BUTTON_4")}, false},
      {"description changed", Kind::Change, Task("Popis"), {Type("?TAS:NAZEV", "Jiný popis")}, true},
  };
  struct Answer {
    const char* what;
    unsigned box;  // the question's answer; Esc and its close box answer No
    bool closes;
  } answers[] = {{"Ano", platform::BoxYes, true}, {"Ne", platform::BoxNo, false}, {"Esc", platform::BoxNo, false}};
  for (const Row& row : rows)
    for (const Answer& a : answers) {
      SCOPED_TRACE(std::string(row.what) + ", " + a.what);
      ClearTasks();
      questions.clear();
      const int32_t id = row.kind == Kind::New ? 0 : Store(row.stored);
      const auto before = Stored();
      std::vector<Step> steps = row.edits;
      steps.push_back([&](pu::Window& w) {
        questionAnswers = {a.box};
        w.Press("?CANCEL");
      });
      const bool stays = row.asks && !a.closes;
      if (stays)
        steps.push_back([](pu::Window& w) {
          EXPECT_TRUE(w.IsOpen());
          EXPECT_EQ(w.At(w.Focus())->Label(), "?TAS:AKTIVNI");
          w.Post(pu::EVENT::CloseDown);
        });
      uint8_t r = 0;
      if (row.kind == Kind::New)
        r = Insert(steps);
      else if (row.kind == Kind::Copy)
        r = Copy(id, steps);
      else
        r = Change(id, steps);
      EXPECT_EQ(r, 2);
      ASSERT_EQ(questions.size(), row.asks ? 1u : 0u);
      if (row.asks) {
        EXPECT_EQ(questions[0].title, "Změny nebudou uloženy!");
        EXPECT_EQ(questions[0].text, "Opravdu chcete stornovat operaci?");
      }
      const auto after = Stored();
      ASSERT_EQ(after.size(), before.size());
      for (std::size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].NAZEV, before[i].NAZEV);
        EXPECT_EQ(after[i].AUTOMATICKY_SMAZAT, before[i].AUTOMATICKY_SMAZAT);
        EXPECT_EQ(after[i].OPAKOVANI, before[i].OPAKOVANI);
      }
    }
}

TEST_F(TaskEditor, OkChecksRequiredEntriesThenOutputsThenDays) {
  const char* question =
      "Není specifikován žádný výstup !\r\n\r\nNespecifikovali jste výstupy, do kterých chcete přehrát hlášení.\r\n\r\n"
      "Chcete opravdu pokračovat?";
  std::vector<std::string> focus;
  const auto noteFocus = [&](pu::Window& w) { focus.push_back(w.At(w.Focus())->Label()); };
  EXPECT_EQ(Insert({Press("?OK"),
                    [&](pu::Window& w) {
                      noteFocus(w);  // no file: only the focus moves
                      EXPECT_TRUE(v.op.boxes.empty());
                      w.Enter("?TAS:DELKA_SOUBORU", "00:00:00");
                    },
                    Type("?TAS:PREHRAT", "/tmp/a.wav"), Press("?OK"),
                    [&](pu::Window& w) {
                      noteFocus(w);  // 00:00:00 is no length
                      EXPECT_EQ(w["?TAS:DELKA_SOUBORU"].Text(), "");
                      EXPECT_TRUE(v.op.boxes.empty());
                      w.Enter("?TAS:DELKA_SOUBORU", "00:00:20");
                    },
                    Press("?OK"), Press("?OK"), Press("?OK")},
                   {"?BUTTON2", "close", "?BUTTON1"}),
            1);
  EXPECT_EQ(focus, (std::vector<std::string>{"?TAS:PREHRAT", "?TAS:DELKA_SOUBORU"}));
  ASSERT_EQ(v.op.boxes.size(), 3u);  // "Zpět", closed, "OK"
  for (const auto& b : v.op.boxes) {
    EXPECT_EQ(b.title, "Potvrzení operace");
    EXPECT_EQ(b.text, question);
  }
  const auto s = Stored();
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(Masks(s[0]), (std::array<std::string, 5>{"00", "00", "00", "00", "00"}));
  EXPECT_EQ(s[0].DELKA_SOUBORU, TimeFromHms(0, 0, 20));
}

TEST_F(TaskEditor, DeleteIsRefusedAndWritesNothing) {
  const int32_t id = Store(Task("Zůstane"));
  Read(id);
  const std::string before = testsupport::SnapshotFolder(dir.path());
  EXPECT_EQ(Run(pu::DeleteRecord, {}), 2);
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].title, "Upozornění");
  EXPECT_EQ(questions[0].text, "Toto okno nelze použít ke smazání záznamu !");
  EXPECT_EQ(testsupport::SnapshotFolder(dir.path()), before);
}

TEST_F(TaskEditor, ViewSavesNothingAndKeepsEntriesReadOnly) {
  const int32_t id = Store(Task("Jen pohled"));
  Read(id);
  const std::string before = testsupport::SnapshotFolder(dir.path());
  EXPECT_EQ(Run(pu::ViewRecord,
                {[](pu::Window& w) {
                   EXPECT_EQ(w.Text(), "Zobrazení úlohy");
                   EXPECT_TRUE(w["?TAS:NAZEV"].ReadOnly());
                   EXPECT_FALSE(w["?BUTTON_1"].Enabled());
                   EXPECT_FALSE(w["?CALENDAR"].Enabled());
                   EXPECT_TRUE(w["?PONDELI"].Enabled());
                   w.Press("?OK");
                 }},
                {"?BUTTON1"}),
            2);
  EXPECT_EQ(v.op.boxes.size(), 1u);  // the outputs question: none are loaded
  EXPECT_EQ(testsupport::SnapshotFolder(dir.path()), before);
}

TEST_F(TaskEditor, CtrlHGivesTheLastSavedTaskOfTheThread) {
  std::vector<std::string> seen;
  // A thread of its own, so that no earlier test's save is its history.
  std::thread t([&] {
    testsupport::WithOperator own;
    data::ThreadSetUpDataFiles();
    ASSERT_EQ(data::Controllers().TASKS.Open(), 0);
    const auto run = [&](std::vector<Step> steps) {
      own.op = testsupport::FormOperator();
      own.op.steps = std::move(steps);
      own.op.answers = {"?BUTTON1"};
      ASSERT_EQ(data::Controllers().TASKS.PrimeRecord(), 0);
      pu::FormRequest = pu::InsertRecord;
      Editace_uloh();
    };
    const auto history = [&](pu::Window& w) {
      w.Select("?TAS:NAZEV");
      w.PressKey(pu::kHistoryKey);
    };
    const auto note = [&](pu::Window& w) { seen.push_back(w["?TAS:NAZEV"].Text()); };
    run({history, [&](pu::Window& w) {
           note(w);
           w.Enter("?TAS:NAZEV", "Poslední");
         },
         Type("?TAS:PREHRAT", "/tmp/a.wav"), Press("?OK")});
    run({history, [&](pu::Window& w) {
           note(w);
           w.Post(pu::EVENT::CloseDown);
         }});
    data::ThreadReleaseDataFiles();
    data::DetachThreadFiles();
  });
  t.join();
  EXPECT_EQ(seen, (std::vector<std::string>{"", "Poslední"}));
}

TEST_F(TaskEditor, CalendarPickerAndTestPlayFillTheirFields) {
  const int32_t id = Store(Task("Datum"));
  std::vector<std::string> requests;
  platform::SetFileDialogView([&](const platform::FileDialogRequest& r) {
    requests.push_back(r.title + "|" + r.filterName + "|" + r.filterPattern);
    return requests.size() == 1 ? std::string("/tmp/" + std::string(300, 'x') + ".wav") : std::string("/tmp/b.wav");
  });
  std::vector<std::string> played;
  ::setenv("SDL_AUDIODRIVER", "dummy", 1);
  syslib::SetSoundLoadHook([&](const std::string& f) { played.push_back(f); });
  EXPECT_EQ(Change(id,
                   {Press("?CALENDAR"),
                    [](pu::Window& cal) {  // the calendar, on November 2024
                      EXPECT_EQ(cal.ProcedureName(), "SelectDate");
                      EXPECT_EQ(cal.Text(), "Zvolte datum");
                      cal.Press("?BUTTON20");  // 15 November
                    },
                    Press("?CALENDAR"), [](pu::Window& cal) { cal.Press("?CLOSE"); },
                    [](pu::Window& w) {
                      EXPECT_EQ(w["?TAS:DATUM_SPUSTENI"].Text(), "15.11.2024");
                      w.Press("?LOOKUPFILE");  // a path too long: refused
                    },
                    [&](pu::Window& w) {
                      EXPECT_EQ(w["?TAS:PREHRAT"].Text(), "/tmp/hlaseni.wav");
                      ASSERT_EQ(v.op.boxes.size(), 1u);
                      EXPECT_EQ(v.op.boxes[0].text, kFileRefusedText);
                      w.Press("?LOOKUPFILE");
                    },
                    Press("?BUTTON_PLAY"), Press("?OK")}),
            1);
  ASSERT_TRUE(syslib::WaitSoundIdle(std::chrono::seconds(10)));
  syslib::SetSoundLoadHook(nullptr);
  EXPECT_EQ(requests, (std::vector<std::string>(2, "Vyberte soubor|Soubory WAV|*.wav")));
  EXPECT_EQ(played, std::vector<std::string>{"/tmp/b.wav"});
  const auto s = Stored();
  EXPECT_EQ(s[0].DATUM_SPUSTENI, DateFromYmd(2024, 11, 15));
  EXPECT_EQ(s[0].PREHRAT, "/tmp/b.wav");
}

TEST_F(TaskEditor, KeepsItsPlaceInItsSection) {
  platform::IniStore store(dir.file("velorn.INI"));
  pu::SetPlacementStore(&store);
  const pu::Placement moved{30, 20, 700, 560, false, false};
  Insert({[&](pu::Window& w) {
            w.SetPlacement(moved);
            w.Post(pu::EVENT::CloseDown);
          }});
  EXPECT_EQ(store.GetNumber("Editace_uloh", "XPos"), 30);
  EXPECT_EQ(store.GetNumber("Editace_uloh", "Height"), 560);
  pu::Placement seen;
  Insert({[&](pu::Window& w) {
            seen = w.GetPlacement();
            w.Post(pu::EVENT::CloseDown);
          }});
  EXPECT_EQ(seen, moved);
  pu::SetPlacementStore(nullptr);
}

}  // namespace
}  // namespace app::ui
