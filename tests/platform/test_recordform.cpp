// The record form over a real record file: completion, the closing rule,
// the delete refusal and the history key. An operator view acts each time
// the form waits; the boxes answer through a box view that notes them.
#include "platform/recordform.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/msgbox.h"
#include "tests/support/tempdir.h"

namespace platform::ui {
namespace {

using rec::FieldType;

struct Rec {
  int32_t id = 0;
  std::string name;  // STRING(10)
};

const rec::FileDecl& Decl() {
  static const rec::FileDecl d = [] {
    rec::FileDecl f;
    f.label = "SAMPLE";
    f.fileName = "Sample.tps";
    f.recordBytes = 14;
    f.fields = {rec::Field("SAM:ID", FieldType::Long, 0, &Rec::id),
                rec::Field("SAM:NAME", FieldType::String, 4, &Rec::name, 10)};
    rec::KeyDecl k;
    k.name = "SAM:KeyId";
    k.fields = {0};
    k.unique = k.primary = k.autoNumber = true;
    f.keys = {k};
    return f;
  }();
  return d;
}

using Step = std::function<void(Window&)>;

class Operator final : public HeadlessView {
 public:
  std::vector<Step> steps;
  std::size_t done = 0;
  bool Interactive() const override { return true; }
  void Pump(EventQueue&, uint64_t, std::optional<TimePoint>) override {
    Window& w = *ThreadWindows().back();
    if (done < steps.size()) return steps[done++](w);
    ADD_FAILURE() << "the form still waits after the last step";
    w.Post(EVENT::CloseDown);
  }
};

struct Box {
  std::string caption, text;
};

class Form final : public RecordForm {
 public:
  Form(Window& w, rec::File<Rec>& file, Rec& history) : RecordForm(w), file_(file), history_(history) {}
  int SetUp() override {
    RecordForm::SetUp();
    SetPrimary(file_);
    SetHistory(&history_);
    OkControl = window().Number("?OK");
    CancelControl = window().Number("?CANCEL");
    FirstField = window().Number("?NAME");
    AddHistoryField("?NAME", "SAM:NAME");
    if (Request == InsertRecord) file_.PrimeAutoNumber();
    TakeReference();
    return kGoOn;
  }

 private:
  rec::File<Rec>& file_;
  Rec& history_;
};

class RecordFormTest : public testing::Test {
 protected:
  RecordFormTest() {
    SetThreadView(&op_);
    SetBoxView([this](std::string_view text, std::string_view caption, BoxIcon, unsigned buttons, unsigned) {
      boxes.push_back({std::string(caption), std::string(text)});
      if (answers.empty()) return HeadlessAnswer(buttons);
      const unsigned a = answers.front();
      answers.erase(answers.begin());
      return a;
    });
    EXPECT_EQ(file.Create(), 0);
    EXPECT_EQ(file.Open(), 0);
  }
  ~RecordFormTest() override {
    file.Close();
    SetBoxView(nullptr);
    SetThreadView(nullptr);
  }

  // Runs the form on request with the name entry; returns its response.
  uint8_t Run(uint8_t request, std::vector<Step> steps) {
    op_ = Operator();
    op_.steps = std::move(steps);
    Window w("Sample");
    w.Add(ControlKind::Entry, "?NAME").SetPicture("@s10").Bind(file.rec.name, 10);
    w.Add(ControlKind::Button, "?OK", "OK");
    w.Add(ControlKind::Button, "?CANCEL", "Storno");
    Form f(w, file, history);
    FormRequest = request;
    const uint8_t r = static_cast<uint8_t>(f.Run());
    EXPECT_EQ(op_.done, op_.steps.size());
    return r;
  }

  std::vector<std::string> Names() {
    std::vector<std::string> out;
    Rec keep = file.rec;
    file.SetKeyOrder(0);
    while (file.Next() == 0) out.push_back(file.rec.name);
    file.rec = keep;
    return out;
  }

  testsupport::TempDir dir{true};
  rec::File<Rec> file{Decl()};
  Rec history;
  std::vector<Box> boxes;
  std::vector<unsigned> answers;

 private:
  Operator op_;
};

TEST_F(RecordFormTest, InsertAddsWithTheAutoNumberAndChangeRewritesOnlyWhatDiffers) {
  file.ClearBuffer();
  EXPECT_EQ(Run(InsertRecord, {[](Window& w) { w.Enter("?NAME", "Alfa"); }, [](Window& w) { w.Press("?OK"); }}),
            RequestCompleted);
  EXPECT_EQ(file.rec.id, 1);
  EXPECT_EQ(Names(), std::vector<std::string>{"Alfa"});
  EXPECT_EQ(history.name, "Alfa");

  // Change: the record read is current; an untouched OK writes nothing.
  file.SetKeyOrder(0);
  ASSERT_EQ(file.Next(), 0);
  const int64_t before = file.Records();
  EXPECT_EQ(Run(ChangeRecord, {[](Window& w) { w.Press("?OK"); }}), RequestCompleted);
  EXPECT_EQ(file.Records(), before);
  EXPECT_EQ(Run(ChangeRecord, {[](Window& w) { w.Enter("?NAME", "Beta"); }, [](Window& w) { w.Press("?OK"); }}),
            RequestCompleted);
  EXPECT_EQ(Names(), std::vector<std::string>{"Beta"});
  EXPECT_TRUE(boxes.empty());
}

TEST_F(RecordFormTest, AFailedWriteIsShownAndKeepsTheFormOpen) {
  file.ClearBuffer();
  ASSERT_EQ(Run(InsertRecord, {[](Window& w) { w.Enter("?NAME", "Alfa"); }, [](Window& w) { w.Press("?OK"); }}),
            RequestCompleted);
  // A second insert with the same unique number fails (duplicate key).
  file.rec.name = "Beta";
  const uint8_t r = Run(InsertRecord, {[this](Window& w) {
                                         file.rec.id = 1;
                                         w.Press("?OK");
                                       },
                                       [this](Window& w) {
                                         EXPECT_TRUE(w.IsOpen());
                                         ASSERT_EQ(boxes.size(), 1u);
                                         EXPECT_EQ(boxes[0].caption, "Chyba souboru");
                                         EXPECT_EQ(boxes[0].text.rfind("Chyba při zápisu do souboru Sample.tps.", 0), 0u);
                                         answers = {BoxYes};
                                         w.Press("?CANCEL");
                                       }});
  EXPECT_EQ(r, RequestCancelled);
  EXPECT_EQ(Names(), std::vector<std::string>{"Alfa"});
}

TEST_F(RecordFormTest, ClosingAChangedRecordAsksAndOnlyYesCloses) {
  struct Case {
    const char* what;
    uint8_t request;
    bool change;
    bool closeBox;       // else ?CANCEL
    unsigned answer;     // the question's answer (0: not asked)
    bool asks, closes;
  } cases[] = {
      {"untouched, cancel", ChangeRecord, false, false, 0, false, true},
      {"changed, cancel, yes", ChangeRecord, true, false, BoxYes, true, true},
      {"changed, cancel, no", ChangeRecord, true, false, BoxNo, true, false},
      {"changed, close box, no", InsertRecord, true, true, BoxNo, true, false},
      {"changed, close box, yes", InsertRecord, true, true, BoxYes, true, true},
      {"changed view, close box", ViewRecord, true, true, 0, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    boxes.clear();
    file.ClearBuffer();
    file.rec.name = "Alfa";
    bool stayed = false;
    std::vector<Step> steps{[&](Window& w) {
      if (c.change) w.Enter("?NAME", "Beta");
    }};
    steps.push_back([&](Window& w) {
      answers = {c.answer};
      w.Select("?OK");
      if (c.closeBox)
        w.CloseBox();
      else
        w.Press("?CANCEL");
    });
    if (!c.closes)
      steps.push_back([&](Window& w) {
        stayed = w.IsOpen();
        EXPECT_EQ(w.Focus(), w.Number("?NAME"));
        w.Post(EVENT::CloseDown);  // never asks
      });
    Run(c.request, steps);
    EXPECT_EQ(stayed, !c.closes);
    ASSERT_EQ(boxes.size(), c.asks ? 1u : 0u);
    if (c.asks) {
      EXPECT_EQ(boxes[0].caption, "Změny nebudou uloženy!");
      EXPECT_EQ(boxes[0].text, "Opravdu chcete stornovat operaci?");
    }
    EXPECT_TRUE(Names().empty());
  }
}

TEST_F(RecordFormTest, DeleteIsRefusedWithoutALoop) {
  file.ClearBuffer();
  EXPECT_EQ(Run(DeleteRecord, {}), RequestCancelled);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Upozornění");
  EXPECT_EQ(boxes[0].text, "Toto okno nelze použít ke smazání záznamu !");
  EXPECT_EQ(FormResponse, RequestCancelled);
  EXPECT_TRUE(Names().empty());
}

TEST_F(RecordFormTest, CtrlHCopiesTheHistoryFieldIntoTheFocusedControl) {
  history.name = "Minule";
  file.ClearBuffer();
  std::string shown;
  Run(InsertRecord, {[](Window& w) {
                       w.Select("?OK");
                       w.PressKey(kHistoryKey);  // not a history control: nothing
                     },
                     [this](Window& w) {
                       EXPECT_EQ(file.rec.name, "");
                       w.Select("?NAME");
                       w.PressKey(kHistoryKey);
                     },
                     [&](Window& w) {
                       shown = w["?NAME"].Text();
                       w.Post(EVENT::CloseDown);
                     }});
  EXPECT_EQ(shown, "Minule");
  EXPECT_EQ(file.rec.name, "Minule");
}

}  // namespace
}  // namespace platform::ui
