// A refused entry never passes silently, through the window model: the
// table of tests/app/refused_entries.h over the task editor, the playback
// dialog and the live output choice, on record files in a test folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "app/ui/output_choice.h"
#include "app/ui/task_form.h"
#include "platform/msgbox.h"
#include "platform/text.h"
#include "platform/window.h"
#include "tests/app/form_operator.h"
#include "tests/app/refused_entries.h"
#include "tests/support/fake_clock.h"
#include "tests/support/tempdir.h"

namespace app::ui {
namespace {

namespace pu = platform::ui;

class RefusedEntries : public testing::Test {
 protected:
  RefusedEntries() : clock_(platform::DateFromYmd(2024, 10, 15), platform::TimeFromHms(9, 30, 0)), guard_(&clock_) {
    testsupport::WriteFile(dir.file("hlaseni.wav"), "RIFF");
    ::mkdir(dir.file("slozka").c_str(), 0755);
    testsupport::FillFiles(testsupport::Names(32), {});
    EXPECT_EQ(data::Controllers().TASKS.Open(), 0);
    // The editor's cancel question: "Ano".
    platform::SetBoxView([](std::string_view, std::string_view, platform::BoxIcon, unsigned, unsigned) {
      return unsigned{platform::BoxYes};
    });
    platform::SetBeepView([this](platform::BoxIcon) { ++beeps; });
  }
  ~RefusedEntries() override {
    platform::SetBeepView(nullptr);
    platform::SetBoxView(nullptr);
    data::ThreadReleaseDataFiles();
    data::DetachThreadFiles();
  }

  testsupport::TempDir dir{true};
  testsupport::WithOperator v;
  int beeps = 0;

 private:
  testsupport::FakeClock clock_;
  testsupport::ClockGuard guard_;
};

TEST_F(RefusedEntries, TheFieldShowsWhatItHoldsKeepsTheFocusAndOkUsesIt) {
  for (const testsupport::RefusedEntry& row : testsupport::RefusedEntries(dir.file("hlaseni.wav"), dir.file("slozka"))) {
    SCOPED_TRACE(row.what);
    beeps = 0;
    v.op = testsupport::FormOperator();
    testsupport::RefusedEntryEnd end;
    const auto look = [&](pu::Window& w, testsupport::RefusedEntrySeen& s) {
      s.open = w.IsOpen();
      s.focus = w.Focus() != 0 ? w.At(w.Focus())->Label() : "";
      s.beeps = beeps;
      for (const auto& b : v.op.boxes) s.boxes.push_back(b.text);
      if (row.field != nullptr) {
        s.shown = w[row.field].Text();
        s.held = pu::FormatPicture(w[row.field].PictureText(), w[row.field].Bound().Get());
      }
    };
    v.op.steps = {
        [&](pu::Window& w) {
          if (row.field != nullptr) w.Enter(row.field, row.typed);
          w.Press("?OK");
        },
        [&](pu::Window& w) {
          look(w, end.afterTyping);
          v.op.boxes.clear();
          w.Press("?OK");
        },
        [&](pu::Window& w) {
          look(w, end.afterOk);
          w.Press("?CANCEL");
        },
    };
    testsupport::RunRefusedEntryForm(row, dir.file("hlaseni.wav"), end);
    testsupport::ExpectRefusedEntryEnd(row, end);
  }
}

// A description the field cannot hold whole is taken as it holds it and
// shown so: cut to its 50 characters, '?' for what Windows-1250 lacks.
TEST_F(RefusedEntries, ADescriptionIsTakenAndShownAsTheFieldHoldsIt) {
  {
    platform::rec::File<data::TasksRecord> f(data::TasksDecl());
    ASSERT_EQ(f.Open(), 0);
    f.rec = testsupport::RefusedEntriesTask(dir.file("hlaseni.wav"));
    ASSERT_EQ(f.PrimeAutoNumber(), 0);
    ASSERT_EQ(f.Add(), 0);
    testsupport::ReadTask(f.rec.ID);
  }
  const std::string typed = "Hlášení ☺ " + std::string(50, 'x');
  const std::string held = ("Hlášení ? " + std::string(50, 'x')).substr(0, std::string("Hlášení ? ").size() + 40);
  std::string shown;
  v.op.steps = {[&](pu::Window& w) { w.Enter("?TAS:NAZEV", typed); },
                [&](pu::Window& w) {
                  shown = w["?TAS:NAZEV"].Text();
                  w.Press("?OK");
                }};
  pu::FormRequest = pu::ChangeRecord;
  Editace_uloh();
  EXPECT_EQ(pu::FormResponse, 1);
  EXPECT_EQ(platform::text::CharCount(held), 50u);
  EXPECT_EQ(shown, held);
  const auto stored = testsupport::StoredTasks();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].NAZEV, held);
  EXPECT_EQ(beeps, 0);
}

}  // namespace
}  // namespace app::ui
