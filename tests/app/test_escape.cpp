// Esc in each dialog does what its close box does, through the window
// model: every dialog is run twice, closed once with Esc and once with its
// close box, and both ways end the same (and as stated).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>
#include <string>
#include <vector>

#include "app/engine/engine.h"
#include "app/ui/info_window.h"
#include "app/ui/mic_wait.h"
#include "app/ui/output_choice.h"
#include "app/ui/task_form.h"
#include "platform/msgbox.h"
#include "platform/stdtime.h"
#include "platform/window.h"
#include "service/calendar.h"
#include "tests/app/form_operator.h"
#include "tests/engine/recording_port.h"
#include "tests/support/fake_clock.h"
#include "tests/support/tempdir.h"

namespace app::ui {
namespace {

namespace pu = platform::ui;
using Step = testsupport::FormOperator::Step;

class Escape : public testing::Test {
 protected:
  Escape() : clock_(platform::DateFromYmd(2024, 10, 15), platform::TimeFromHms(9, 30, 0)), guard_(&clock_) {
    testsupport::FillFiles(testsupport::Names(8), {});
    EXPECT_EQ(data::Controllers().TASKS.Open(), 0);
    platform::SetBoxView([this](std::string_view text, std::string_view caption, platform::BoxIcon, unsigned,
                                unsigned) {
      questions.push_back(std::string(caption) + ": " + std::string(text));
      return unsigned{platform::BoxNo};
    });
    EXPECT_EQ(engine_.protocol.ConnectPort(), 1);
  }
  ~Escape() override {
    platform::SetBoxView(nullptr);
    data::ThreadReleaseDataFiles();
    data::DetachThreadFiles();
  }

  // The task in the thread's buffer, as the list reads it for a change.
  void ReadStoredTask() {
    if (testsupport::StoredTasks().empty()) testsupport::AddTask({.name = "Ranní"});
    testsupport::ReadTask(1);
  }

  testsupport::TempDir dir{true};
  testsupport::WithOperator v;
  testsupport::RecordingPort port;
  engine::Engine engine_{{}, port.Ops()};
  std::vector<std::string> questions;

 private:
  testsupport::FakeClock clock_;
  testsupport::ClockGuard guard_;
};

TEST_F(Escape, InEachDialogItDoesWhatTheCloseBoxDoes) {
  using Close = std::function<void(pu::Window&)>;
  const Close esc = [](pu::Window& w) { w.PressKey(pu::kEscapeKey); };
  const Close box = [](pu::Window& w) { w.CloseBox(); };
  struct Row {
    const char* what;
    // Runs the dialog, closing it with `close` when it waits; gives what it
    // ended with.
    std::function<std::string(const Close& close)> run;
    std::string ends;
  };
  const auto closing = [&](std::vector<Step> before, const Close& close) {
    v.op = testsupport::FormOperator();
    v.op.steps = std::move(before);
    v.op.steps.push_back([close](pu::Window& w) { close(w); });
    // A dialog still open after that (the editor kept by "Ne") is closed
    // down.
    v.op.steps.push_back([](pu::Window& w) { w.Post(pu::EVENT::CloseDown); });
  };
  const auto questionsAsked = [&] {
    std::string s = std::to_string(questions.size()) + " question(s)";
    questions.clear();
    return s;
  };
  const Row rows[] = {
      {"the editor, nothing changed",
       [&](const Close& close) {
         ReadStoredTask();
         closing({}, close);
         pu::FormRequest = pu::ChangeRecord;
         Editace_uloh();
         return "response " + std::to_string(pu::FormResponse) + ", " + questionsAsked() + ", " +
                std::to_string(v.op.done) + " steps";
       },
       "response 2, 0 question(s), 1 steps"},
      {"the editor, the description changed: the cancel question, \"Ne\" keeps it open",
       [&](const Close& close) {
         ReadStoredTask();
         closing({[](pu::Window& w) { w.Enter("?TAS:NAZEV", "Jiný popis"); }}, close);
         pu::FormRequest = pu::ChangeRecord;
         Editace_uloh();
         return "response " + std::to_string(pu::FormResponse) + ", " + questionsAsked() + ", " +
                std::to_string(v.op.done) + " steps";
       },
       "response 2, 1 question(s), 3 steps"},
      {"the playback dialog",
       [&](const Close& close) {
         OutputFlags outputs{};
         std::string file = "/tmp/a.wav";
         platform::StdTime length = 1000;
         uint8_t manual = 0;
         closing({[](pu::Window& w) { w.Press("?BUTTON_3"); }}, close);
         const uint8_t r = Volba_vystupu({outputs, file, length, manual});
         return "result " + std::to_string(r) + ", output 3 " + std::to_string(outputs[3]) + ", manual " +
                std::to_string(manual);
       },
       "result 0, output 3 1, manual 0"},
      {"the live output choice",
       [&](const Close& close) {
         OutputFlags outputs{};
         std::string file;
         platform::StdTime length = 0;
         uint8_t manual = 0;
         closing({[](pu::Window& w) { w.Press("?BUTTON_2"); }}, close);
         const uint8_t r = Volba_vystupu2({outputs, file, length, manual});
         return "result " + std::to_string(r) + ", output 2 " + std::to_string(outputs[2]);
       },
       "result 0, output 2 1"},
      {"the calendar",
       [&](const Close& close) {
         closing({[](pu::Window& w) { w.Press("?NEXTMONTH"); }}, close);
         const platform::StdDate d = service::SelectDate("Zvolte datum", platform::DateFromYmd(2024, 10, 15));
         return "date " + pu::FormatPicture("@d17", pu::Value(int64_t{d}));
       },
       "date 15.10.2024"},
      {"the announcement window",
       [&](const Close& close) {
         port.writes.clear();
         closing({}, close);
         Info_window(engine_.protocol);
         return "last sent " + (port.writes.empty() ? std::string("nothing") : port.writes.back().text);
       },
       "last sent (0504100010)"},
      {"the wait for the MIC switch",
       [&](const Close& close) {
         closing({}, close);
         engine::ConsoleState console;
         const bool on = WaitForMicSwitch(engine_.protocol, console, "vELORN");
         return std::string(on ? "went on" : "given up");
       },
       "given up"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string byEsc = row.run(esc);
    EXPECT_TRUE(pu::ThreadWindows().empty());
    const std::string byCloseBox = row.run(box);
    EXPECT_TRUE(pu::ThreadWindows().empty());
    EXPECT_EQ(byEsc, byCloseBox);
    EXPECT_EQ(byEsc, row.ends);
  }
}

}  // namespace
}  // namespace app::ui
