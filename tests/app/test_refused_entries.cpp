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
using testsupport::Form;
using testsupport::Outcome;

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

  std::vector<data::TasksRecord> Stored() {
    platform::rec::File<data::TasksRecord> f(data::TasksDecl());
    std::vector<data::TasksRecord> out;
    if (f.Open() != 0) return out;
    f.SetKeyOrder(data::TAS_KeyId);
    while (f.Next() == 0) out.push_back(f.rec);
    return out;
  }
  void ClearTasks() {
    platform::rec::File<data::TasksRecord> f(data::TasksDecl());
    ASSERT_EQ(f.Open(), 0);
    f.SetFileOrder();
    while (f.Next() == 0) ASSERT_EQ(f.Delete(), 0);
  }
  // The stored task, read into the thread's buffer for a change.
  void StoreAndRead() {
    {
      platform::rec::File<data::TasksRecord> f(data::TasksDecl());
      ASSERT_EQ(f.Open(), 0);
      f.rec = testsupport::RefusedEntriesTask(dir.file("hlaseni.wav"));
      f.PrimeAutoNumber();
      ASSERT_EQ(f.Add(), 0);
    }
    auto& t = data::Files().TASKS;
    t.ClearBuffer();
    t.rec.ID = 1;
    ASSERT_EQ(t.SetKeyFromBuffer(data::TAS_KeyId), 0);
    ASSERT_EQ(t.Next(), 0);
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
    ClearTasks();
    beeps = 0;
    v.op = testsupport::FormOperator();
    struct Seen {
      std::string shown, held, focus;
      int beeps = 0;
      std::vector<std::string> boxes;
      bool open = false;
    } afterTyping, afterOk;
    const auto look = [&](pu::Window& w, Seen& s) {
      s.open = w.IsOpen();
      s.focus = w.Focus() != 0 ? w.At(w.Focus())->Label() : "";
      s.beeps = beeps;
      for (const auto& b : v.op.boxes) s.boxes.push_back(b.text);
      if (row.field != nullptr) {
        s.shown = w[row.field].Text();
        // What the field's variable holds, in the field's picture.
        s.held = pu::FormatPicture(w[row.field].PictureText(), w[row.field].Bound().Get());
      }
    };
    v.op.steps = {
        [&](pu::Window& w) {
          if (row.field != nullptr) w.Enter(row.field, row.typed);
          w.Press("?OK");
        },
        [&](pu::Window& w) {
          look(w, afterTyping);
          v.op.boxes.clear();
          w.Press("?OK");
        },
        [&](pu::Window& w) {
          look(w, afterOk);
          w.Press("?CANCEL");
        },
    };

    OutputFlags outputs{};
    std::string file = dir.file("hlaseni.wav");
    platform::StdTime length = platform::TimeFromHms(0, 0, 10);
    uint8_t manual = 0;
    const PlaybackShared shared{outputs, file, length, manual};
    uint8_t result = 0;
    switch (row.form) {
      case Form::Change:
        StoreAndRead();
        pu::FormRequest = pu::ChangeRecord;
        Editace_uloh();
        result = pu::FormResponse;
        break;
      case Form::Insert:
        ASSERT_EQ(data::Controllers().TASKS.PrimeRecord(), 0);
        pu::FormRequest = pu::InsertRecord;
        Editace_uloh();
        result = pu::FormResponse;
        break;
      case Form::Playback:
        outputs[1] = 1;
        result = Volba_vystupu(shared);
        break;
      case Form::Live:
        result = Volba_vystupu2(shared);
        break;
    }
    EXPECT_TRUE(pu::ThreadWindows().empty());

    // After the typing and the ?OK pressed with it.
    EXPECT_TRUE(afterTyping.open);
    EXPECT_EQ(afterTyping.shown, row.shown);
    EXPECT_EQ(afterTyping.held, row.shown) << "the field shows what its variable holds";
    EXPECT_EQ(afterTyping.focus, row.focus);
    EXPECT_EQ(afterTyping.beeps, row.beep ? 1 : 0);
    EXPECT_EQ(afterTyping.boxes, row.box.empty() ? std::vector<std::string>{} : std::vector<std::string>{row.box});

    // The second ?OK.
    const auto stored = Stored();
    switch (row.outcome) {
      case Outcome::StoresShown:
        EXPECT_EQ(result, 1);
        ASSERT_EQ(stored.size(), 1u);
        EXPECT_EQ(testsupport::StoredField(stored[0], row.field), row.shown);
        break;
      case Outcome::StoresNothing:
        EXPECT_TRUE(afterOk.open);
        EXPECT_EQ(afterOk.focus, row.okFocus);
        EXPECT_EQ(result, 2);
        EXPECT_TRUE(stored.empty());
        break;
      case Outcome::PlaysShown:
        EXPECT_EQ(result, 1);
        EXPECT_EQ(manual, 1);
        EXPECT_EQ(testsupport::PlaybackField(file, length, row.field), row.shown);
        break;
      case Outcome::Refused:
        EXPECT_TRUE(afterOk.open);
        EXPECT_EQ(afterOk.boxes, std::vector<std::string>{row.box});
        EXPECT_EQ(result, 0);
        EXPECT_EQ(manual, 0);
        break;
    }
  }
}

// A description the field cannot hold whole is taken as it holds it and
// shown so: cut to its 50 characters, '?' for what Windows-1250 lacks.
TEST_F(RefusedEntries, ADescriptionIsTakenAndShownAsTheFieldHoldsIt) {
  StoreAndRead();
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
  ASSERT_EQ(Stored().size(), 1u);
  EXPECT_EQ(Stored()[0].NAZEV, held);
  EXPECT_EQ(beeps, 0);
}

}  // namespace
}  // namespace app::ui
