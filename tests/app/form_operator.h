// An operator for the application's dialogs through the window model: each
// time a dialog waits, the next step looks at it and acts; the boxes it
// opens (aMessage, cMessage) are noted and answered from a list. Also the
// record files of a test folder: OUTPUTS named, PRESET filled, TASKS
// written and read back.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/data/records.h"
#include "platform/stdtime.h"
#include "platform/window.h"
#include "tests/support/loop_guard.h"

namespace testsupport {

namespace pu = platform::ui;

struct SeenBox {
  std::string title, text;
};

class FormOperator final : public pu::HeadlessView {
 public:
  using Step = std::function<void(pu::Window&)>;
  std::vector<Step> steps;
  std::size_t done = 0;
  std::vector<SeenBox> boxes;
  // Answers to questions: "?BUTTON1" (the second pair), "?BUTTON2" (the
  // first), "close" (the close box); the first pair when none is left.
  std::vector<std::string> answers;
  LoopGuard guard{10000, "the dialog"};

  bool Interactive() const override { return true; }
  void Pump(pu::EventQueue&, uint64_t, std::optional<pu::TimePoint>) override {
    if (guard.Ends()) return;
    pu::Window& w = *pu::ThreadWindows().back();
    if (w.Find("?UZIVATELSKY_TEXT") != nullptr) {
      boxes.push_back({w.Text(), w["?UZIVATELSKY_TEXT"].Text()});
      if (w.Find("?BUTTON_OK") != nullptr) return w.Press("?BUTTON_OK");
      std::string a = "?BUTTON2";
      if (!answers.empty()) {
        a = answers.front();
        answers.erase(answers.begin());
      }
      if (a == "close") return w.CloseBox();
      return w.Press(a);
    }
    if (done < steps.size()) return steps[done++](w);
    ADD_FAILURE() << "the dialog " << w.ProcedureName() << " still waits after the last step";
    w.Post(pu::EVENT::CloseDown);
  }
};

struct WithOperator {
  FormOperator op;
  WithOperator() { pu::SetThreadView(&op); }
  ~WithOperator() { pu::SetThreadView(nullptr); }
};

// The thread's record files in the current folder: OUTPUTS with the names
// given (numbered 1, 2, ...), PRESET with the presets given (name and five
// mask fields).
struct PresetRow {
  std::string name;
  std::array<std::string, 5> mask;
};

inline void FillFiles(const std::vector<std::string>& outputNames, const std::vector<PresetRow>& presets) {
  namespace d = app::data;
  d::ThreadReleaseDataFiles();
  d::DetachThreadFiles();
  for (const char* f : {"Outputs.tps", "Preset.tps"})
    for (const char* end : {"", "-wal", "-shm", "-journal"}) std::remove((std::string(f) + end).c_str());
  d::ThreadSetUpDataFiles();
  auto& out = d::Files().OUTPUTS;
  ASSERT_EQ(out.Create(), 0);
  ASSERT_EQ(out.Open(), 0);
  int n = 0;
  for (const std::string& name : outputNames) {
    out.ClearBuffer();
    out.rec.CISLO = ++n;
    out.rec.NAZEV = name;
    ASSERT_EQ(out.Add(), 0);
  }
  out.Close();
  auto& pre = d::Files().PRESET;
  ASSERT_EQ(pre.Create(), 0);
  ASSERT_EQ(pre.Open(), 0);
  n = 0;
  for (const PresetRow& p : presets) {
    pre.ClearBuffer();
    pre.rec.ID = ++n;
    pre.rec.NAZEV = p.name;
    pre.rec.VYSTUP1_5 = p.mask[0];
    pre.rec.VYSTUP2_5 = p.mask[1];
    pre.rec.VYSTUP3_5 = p.mask[2];
    pre.rec.VYSTUP4_5 = p.mask[3];
    pre.rec.VYSTUP5_5 = p.mask[4];
    ASSERT_EQ(pre.Add(), 0);
  }
  pre.Close();
  pre.ClearBuffer();
}

// Output names "V1" .. "Vn".
inline std::vector<std::string> Names(int n) {
  std::vector<std::string> v;
  for (int i = 1; i <= n; ++i) v.push_back("V" + std::to_string(i));
  return v;
}

// A task as stored; the fields the lists show. AddTask writes it to
// Tasks.tps (created when missing) with the file's defaults otherwise, first
// dated 1.3.2026, playing "/nikde/<name>.wav" to output 4, and gives its
// TAS:ID; StoredTasks reads every task back in TAS:ID order.
struct StoredTask {
  std::string name;
  platform::StdTime time = 0;
  uint8_t active = 1;
  uint8_t autoDelete = 0;
  std::string weekdays = "00";
  platform::StdDate last = 0;
  uint8_t count = 0;
  platform::StdTime length = platform::TimeFromHms(0, 0, 30);
};

inline int32_t AddTask(const StoredTask& s) {
  namespace d = app::data;
  platform::rec::File<d::TasksRecord> f(d::TasksDecl());
  EXPECT_EQ(f.Create(), 0);
  EXPECT_EQ(f.Open(), 0);
  f.ClearBuffer();
  d::PrimeTaskDefaults(f.rec);
  EXPECT_EQ(f.PrimeAutoNumber(), 0);
  f.rec.NAZEV = s.name;
  f.rec.CAS_SPUSTENI = s.time;
  f.rec.DATUM_SPUSTENI = platform::DateFromYmd(2026, 3, 1);
  f.rec.AKTIVNI = s.active;
  f.rec.AUTOMATICKY_SMAZAT = s.autoDelete;
  f.rec.OPAKOVANI = s.weekdays;
  f.rec.OPAKOVANI_POCET = s.count;
  f.rec.POSLEDNI_SPUSTENI = s.last;
  f.rec.PREHRAT = "/nikde/" + s.name + ".wav";
  f.rec.DELKA_SOUBORU = s.length;
  f.rec.VYSTUP1_5 = "08";
  EXPECT_EQ(f.Add(), 0);
  return f.rec.ID;
}

// Reads the task of that number into the thread's TASKS buffer, as the task
// list does before a change.
inline void ReadTask(int32_t id) {
  auto& t = app::data::Files().TASKS;
  t.ClearBuffer();
  t.rec.ID = id;
  ASSERT_EQ(t.SetKeyFromBuffer(app::data::TAS_KeyId), 0);
  ASSERT_EQ(t.Next(), 0);
}

inline std::vector<app::data::TasksRecord> StoredTasks() {
  namespace d = app::data;
  platform::rec::File<d::TasksRecord> f(d::TasksDecl());
  std::vector<d::TasksRecord> out;
  if (f.Open() != 0) return out;
  f.SetKeyOrder(d::TAS_KeyId);
  while (f.Next() == 0) out.push_back(f.rec);
  return out;
}

}  // namespace testsupport
