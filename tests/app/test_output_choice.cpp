// The playback dialog and the live output choice through the window model,
// over real record files in a test folder.
#include "app/ui/output_choice.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "platform/filedialog.h"
#include "platform/ini.h"
#include "platform/stdtime.h"
#include "tests/app/form_operator.h"
#include "tests/support/tempdir.h"

namespace app::ui {
namespace {

namespace pu = platform::ui;
using Step = testsupport::FormOperator::Step;
using testsupport::PresetRow;

struct State {
  OutputFlags outputs{};
  std::string file;
  platform::StdTime length = 0;
  uint8_t manual = 0;
  PlaybackShared Shared() { return {outputs, file, length, manual}; }
};

class OutputChoice : public testing::Test {
 protected:
  OutputChoice() {
    testsupport::WriteFile(dir.file("hlaseni.wav"), "RIFF");
    ::mkdir(dir.file("slozka.wav").c_str(), 0755);
  }
  ~OutputChoice() override {
    platform::SetFileDialogView(nullptr);
    data::ThreadReleaseDataFiles();
  }
  std::string Wav() const { return dir.file("hlaseni.wav"); }

  testsupport::TempDir dir{true};
  testsupport::WithOperator v;
};

constexpr const char* kLengthMissing =
    "Chybí potřebné údaje !\r\n\r\nNezadali jste délku přehrávaného souboru.\r\nZadejte délku soubor a poté akci "
    "opakujte.";

Step Press(const char* label) {
  return [label](pu::Window& w) { w.Press(label); };
}

TEST_F(OutputChoice, PlaybackDialogChecksFileLengthAndOutputsInOrder) {
  const std::string longPath = "/tmp/" + std::string(300, 'a') + ".wav";
  struct Case {
    const char* what;
    std::function<void(State&)> before;
    std::vector<Step> steps;
    std::vector<std::string> answers;
    std::string picked;  // what the picker gives
    uint8_t result;
    std::vector<std::string> texts;  // the boxes' texts, in order
    std::function<void(const State&)> check;
  };
  const std::string wav = Wav();
  const auto ready = [wav](State& s) {
    s.file = wav;
    s.length = platform::TimeFromHms(0, 0, 10);
  };
  const Case cases[] = {
      {"missing file and no length: only the file box",
       [](State& s) { s.file = "/nikde/neni.wav"; }, {Press("?OK"), Press("?CANCEL")}, {}, {}, 0, {kFileRefusedText},
       [](const State& s) { EXPECT_EQ(s.manual, 0); }},
      {"a folder counts as missing", [&](State& s) {
         ready(s);
         s.file = dir.file("slozka.wav");
         s.outputs[1] = 1;
       },
       {Press("?OK"), Press("?CANCEL")}, {}, {}, 0, {kFileRefusedText}, nullptr},
      {"00:00:00 is no length", ready,
       {[](pu::Window& w) { w.Enter("?GLO:FILELENGHT", "00:00:00"); }, Press("?OK"), Press("?CANCEL")}, {}, {}, 0,
       {kLengthMissing}, [](const State& s) { EXPECT_EQ(s.length, 0); }},
      {"no output, OK goes on", ready, {Press("?OK")}, {"?BUTTON1"}, {}, 1, {kNoOutputQuestion},
       [](const State& s) {
         EXPECT_EQ(s.manual, 1);
         EXPECT_FALSE(AnyOutputChosen(s.outputs));
       }},
      {"no output, Zpět stays", ready, {Press("?OK"), Press("?CANCEL")}, {"?BUTTON2"}, {}, 0, {kNoOutputQuestion},
       [](const State& s) { EXPECT_EQ(s.manual, 0); }},
      {"no output, the question closed stays", ready, {Press("?OK"), Press("?CANCEL")}, {"close"}, {}, 0,
       {kNoOutputQuestion}, [](const State& s) { EXPECT_EQ(s.manual, 0); }},
      {"a value 2 counts as not chosen; its button chooses it", [&](State& s) {
         ready(s);
         s.outputs[5] = 2;
       },
       {Press("?OK"), Press("?BUTTON_5"), Press("?OK")}, {"?BUTTON2"}, {}, 1, {kNoOutputQuestion},
       [](const State& s) {
         EXPECT_EQ(s.outputs[5], 1);
         EXPECT_EQ(s.manual, 1);
       }},
      {"a typed path too long is refused and the field keeps its value", [&](State& s) {
         ready(s);
         s.outputs[2] = 1;
       },
       {[&](pu::Window& w) { w.Enter("?GLO:FILE2PLAY", longPath); }, Press("?OK")}, {}, {}, 1, {},
       [wav](const State& s) { EXPECT_EQ(s.file, wav); }},
      {"a picked path too long is refused with the file box", [&](State& s) {
         ready(s);
         s.outputs[2] = 1;
       },
       {Press("?LOOKUPFILE"), Press("?OK")}, {}, longPath, 1, {kFileRefusedText},
       [wav](const State& s) { EXPECT_EQ(s.file, wav); }},
      {"a picked path outside Windows-1250 is refused", [&](State& s) {
         ready(s);
         s.outputs[2] = 1;
       },
       {Press("?LOOKUPFILE"), Press("?OK")}, {}, "/tmp/日本.wav", 1, {kFileRefusedText},
       [wav](const State& s) { EXPECT_EQ(s.file, wav); }},
      {"a cancelled picker empties the file", ready, {Press("?LOOKUPFILE"), Press("?CANCEL")}, {}, {}, 0, {},
       [](const State& s) { EXPECT_EQ(s.file, ""); }},
      {"cancel keeps the toggles", ready, {Press("?BUTTON_3"), Press("?BUTTON_4"), Press("?BUTTON_4"), Press("?CANCEL")},
       {}, {}, 0, {}, [](const State& s) {
         EXPECT_EQ(s.outputs[3], 1);
         EXPECT_EQ(s.outputs[4], 0);
         EXPECT_EQ(s.manual, 0);
       }},
      {"the close box gives 0", [&](State& s) {
         ready(s);
         s.outputs[1] = 1;
       },
       {[](pu::Window& w) { w.CloseBox(); }}, {}, {}, 0, {}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::FillFiles(testsupport::Names(32), {});
    v.op = testsupport::FormOperator();
    v.op.steps = c.steps;
    v.op.answers = c.answers;
    platform::SetFileDialogView([&](const platform::FileDialogRequest& r) {
      EXPECT_EQ(r.title, "Vyberte soubor");
      EXPECT_EQ(r.filterName, "soubory WAV");
      EXPECT_EQ(r.filterPattern, "*.WAV");
      return c.picked;
    });
    State s;
    if (c.before) c.before(s);
    EXPECT_EQ(Volba_vystupu(s.Shared()), c.result);
    EXPECT_EQ(v.op.done, c.steps.size());
    std::vector<std::string> texts;
    for (const auto& b : v.op.boxes) texts.push_back(b.text);
    EXPECT_EQ(texts, c.texts);
    if (c.check) c.check(s);
    EXPECT_TRUE(pu::ThreadWindows().empty());
    data::ThreadReleaseDataFiles();
  }
}

// Names 1..n; blank where the list says.
std::vector<std::string> NamesWithBlanks(int n, std::vector<int> blank) {
  auto names = testsupport::Names(n);
  for (int b : blank) names[static_cast<std::size_t>(b - 1)] = "";
  return names;
}

TEST_F(OutputChoice, BothDialogsShowNamesAndChoicesAndAPresetChoosesOnlyNamedOutputs) {
  for (const char* procedure : {kPlaybackProcedure, kLiveProcedure}) {
    SCOPED_TRACE(procedure);
    // 20 names (the rest blank), output 2 blank; a preset with outputs 1,
    // 2, 8, 13, 15 and 32 and every output of the fifth field. A group's
    // second digit holds its first four outputs, the first digit its last
    // four: "1C" is 1 and 2 (C) with 8 (1), "A0" 13 and 15, "10" 32.
    testsupport::FillFiles(NamesWithBlanks(20, {2}),
                           {{"Nic", {"00", "00", "00", "00", "00"}}, {"Hala", {"1C", "A0", "00", "10", "FF"}}});
    State s;
    s.outputs[2] = 1;   // chosen, blank name: disabled yet red
    s.outputs[7] = 1;
    s.outputs[36] = 1;  // no button
    s.file = "/tmp/a.wav";
    s.length = platform::TimeFromHms(0, 0, 10);
    v.op = testsupport::FormOperator();
    v.op.steps = {
        [&](pu::Window& w) {
          EXPECT_EQ(w.Text(), "Specifikace výstupů");
          EXPECT_EQ(w.Icon(), "sound_none.ico");
          EXPECT_EQ(w.Wallpaper(), "back_blue_big.jpg");
          if (procedure == std::string(kPlaybackProcedure)) {
            EXPECT_EQ(w.At(w.Focus())->Label(), "?GLO:FILE2PLAY");
            EXPECT_EQ(w["?GLO:FILE2PLAY"].Text(), "/tmp/a.wav");
            EXPECT_EQ(w["?GLO:FILELENGHT"].Text(), "00:00:10");
          } else {
            EXPECT_EQ(w.At(w.Focus())->Label(), "?BUTTON_1");
          }
          for (int k = 1; k <= 32; ++k) {
            const pu::Control& b = w[DialogOutputButton(k)];
            const bool named = k <= 20 && k != 2;
            EXPECT_EQ(b.Text(), named ? "V" + std::to_string(k) : "") << k;
            EXPECT_EQ(b.Enabled(), named) << k;
            EXPECT_EQ(b.Color(), k == 2 || k == 7 ? kChosenColor : pu::kNormalColor) << k;
          }
          EXPECT_EQ(w["?PRE:NAZEV"].Source()->Rows(), 2);
          EXPECT_EQ(w["?PRE:NAZEV"].Source()->Cell(2, 1), "Hala");
          w.Choose("?PRE:NAZEV", 2);
        },
        [&](pu::Window& w) {
          for (int k = 1; k <= 32; ++k) {
            const bool on = k == 1 || k == 8 || k == 13 || k == 15;  // 2 and 32 have no name
            EXPECT_EQ(s.outputs[static_cast<std::size_t>(k)], on ? 1 : 0)
                << "output " << k << " of the preset 1C A0 00 10: a group's second digit holds its first four";
            EXPECT_EQ(w[DialogOutputButton(k)].Color(), on ? kChosenColor : pu::kNormalColor) << k;
          }
          for (int k = 33; k <= 40; ++k) EXPECT_EQ(s.outputs[static_cast<std::size_t>(k)], 0) << k;
          EXPECT_EQ(w["?PRE:NAZEV"].Choice(), 0);
          EXPECT_EQ(data::Files().PRESET.rec.NAZEV, "");
          w.Press("?CANCEL");
        },
    };
    EXPECT_EQ(procedure == std::string(kPlaybackProcedure) ? Volba_vystupu(s.Shared()) : Volba_vystupu2(s.Shared()), 0);
    EXPECT_EQ(v.op.done, 2u);
    EXPECT_EQ(s.outputs[13], 1);  // a cancel keeps the choice
    data::ThreadReleaseDataFiles();
  }
}

constexpr const char* kNoOutputs =
    "Není specifikován žádný výstup !\r\n\r\nNespecifikovali jste výstupy, do kterých chcete přehrát hlášení.\r\n\r\n"
    "Bez zvolených výstupů nelze spustit hlášení.";

TEST_F(OutputChoice, LiveChoiceNeedsAChosenOutput) {
  struct Case {
    const char* what;
    std::vector<std::string> names;
    std::function<void(State&)> before;
    std::vector<Step> steps;
    uint8_t result;
    int refusals;
  } cases[] = {
      {"nothing chosen is refused; a pressed output goes", testsupport::Names(32), nullptr,
       {Press("?OK"), Press("?BUTTON_1"), Press("?OK")}, 1, 1},
      {"a preset of blank-named outputs chooses nothing", NamesWithBlanks(4, {1, 2, 3, 4}), nullptr,
       {[](pu::Window& w) { w.Choose("?PRE:NAZEV", 1); }, Press("?OK"), Press("?CANCEL")}, 0, 1},
      {"a flag set before on a blank-named output satisfies it", {}, [](State& s) { s.outputs[9] = 1; },
       {Press("?OK")}, 1, 0},
      {"a flag above 32 satisfies it", testsupport::Names(32), [](State& s) { s.outputs[40] = 1; },
       {Press("?OK")}, 1, 0},
      {"cancel after toggling keeps the toggles", testsupport::Names(32), nullptr,
       {Press("?BUTTON_6"), Press("?CANCEL")}, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::FillFiles(c.names, {{"Prvni", {"0F", "00", "00", "00", "00"}}});
    v.op = testsupport::FormOperator();
    v.op.steps = c.steps;
    State s;
    s.file = "beze zmeny";
    if (c.before) c.before(s);
    EXPECT_EQ(Volba_vystupu2(s.Shared()), c.result);
    EXPECT_EQ(v.op.done, c.steps.size());
    EXPECT_EQ(v.op.boxes.size(), static_cast<std::size_t>(c.refusals));
    for (const auto& b : v.op.boxes) {
      EXPECT_EQ(b.title, "Žádné výstupy");
      EXPECT_EQ(b.text, kNoOutputs);
    }
    EXPECT_EQ(s.manual, 0);
    EXPECT_EQ(s.file, "beze zmeny");
    data::ThreadReleaseDataFiles();
  }
}

TEST_F(OutputChoice, EachDialogKeepsItsPlaceInItsOwnSection) {
  platform::IniStore store(dir.file("velorn.INI"));
  pu::SetPlacementStore(&store);
  testsupport::FillFiles(testsupport::Names(32), {});
  const pu::Placement moved{40, 50, 600, 420, false, false};
  for (const char* procedure : {kPlaybackProcedure, kLiveProcedure}) {
    SCOPED_TRACE(procedure);
    State s;
    const auto run = [&] {
      return procedure == std::string(kPlaybackProcedure) ? Volba_vystupu(s.Shared()) : Volba_vystupu2(s.Shared());
    };
    v.op = testsupport::FormOperator();
    v.op.steps = {[&](pu::Window& w) {
      w.SetPlacement(moved);
      w.Press("?CANCEL");
    }};
    run();
    EXPECT_EQ(store.GetNumber(procedure, "XPos"), 40);
    EXPECT_EQ(store.GetNumber(procedure, "Width"), 600);
    EXPECT_EQ(store.GetString(procedure, "Maximize"), "No");
    v.op = testsupport::FormOperator();
    pu::Placement seen;
    v.op.steps = {[&](pu::Window& w) {
      seen = w.GetPlacement();
      w.Press("?CANCEL");
    }};
    run();
    EXPECT_EQ(seen, moved);
  }
  pu::SetPlacementStore(nullptr);
}

}  // namespace
}  // namespace app::ui
