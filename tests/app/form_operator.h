// An operator for the application's dialogs through the window model: each
// time a dialog waits, the next step looks at it and acts; the boxes it
// opens (aMessage, cMessage) are noted and answered from a list. Also the
// record files of a test folder: OUTPUTS named, PRESET filled.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/data/records.h"
#include "platform/window.h"

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

  bool Interactive() const override { return true; }
  void Pump(pu::EventQueue&, uint64_t, std::optional<pu::TimePoint>) override {
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

}  // namespace testsupport
