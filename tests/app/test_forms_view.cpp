// The task editor and the two output dialogs in the Qt view on the
// offscreen platform: laid out without clipped texts or overlaps, resizable
// no smaller than designed, and the editor's cancel question answered with
// Esc keeps the editor open; the announcement window shows each of its
// texts whole. With VELORN_SCREENSHOTS naming a folder the windows are saved
// there (task_insert, task_change, playback_choice, live_choice,
// info_window, info_window_on_air, info_window_on_air_key, info_window_mic).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "app/engine/engine.h"
#include "app/ui/info_window.h"
#include "app/ui/mic_wait.h"
#include "app/ui/output_buttons.h"
#include "app/ui/output_choice.h"
#include "app/ui/task_form.h"
#include "platform/qt/qtview.h"
#include "platform/msgbox.h"
#include "platform/stdtime.h"
#include "platform/window.h"
#include "service/calendar.h"
#include "tests/app/form_operator.h"
#include "tests/app/refused_entries.h"
#include "tests/engine/recording_port.h"
#include "tests/support/fake_clock.h"
#include "tests/support/qt_main.h"
#include "tests/support/qt_widgets.h"
#include "tests/support/tempdir.h"

namespace app::ui {
namespace {

namespace pu = platform::ui;
namespace pq = platform::qt;
using testsupport::Outcome;

pq::QtView& View() { return testsupport::TestView(); }
pu::Window& Top() { return *pu::ThreadWindows().back(); }

// Runs `then` from the waiting loop's dispatcher once `ready` holds; gives
// up (a failure, a close-down) after `tries` looks 5 ms apart.
void When(std::function<bool()> ready, std::function<void()> then, int tries = 400) {
  QTimer::singleShot(5, qApp, [ready = std::move(ready), then = std::move(then), tries]() mutable {
    if (ready()) return then();
    if (tries == 0) {
      ADD_FAILURE() << "the window did not get there";
      if (!pu::ThreadWindows().empty()) Top().Post(pu::EVENT::CloseDown);
      return;
    }
    When(std::move(ready), std::move(then), tries - 1);
  });
}

// The window of the procedure is on top and shown.
std::function<bool()> Shown(std::string procedure) {
  return [procedure] {
    if (pu::ThreadWindows().empty() || Top().ProcedureName() != procedure) return false;
    QWidget* top = View().NativeOf(Top());
    return top != nullptr && top->isVisible();
  };
}

// The editor is larger than the offscreen screen; it fits the smallest
// screen an operator has.
const QSize kOperatorScreen(1024, 768);

QRect InTop(QWidget* w) { return QRect(w->mapTo(w->window(), QPoint(0, 0)), w->size()); }

// What the operator would see wrong: a text wider than its control, two
// visible controls overlapping, the window off the screen.
void ExpectLaidOut(QWidget* top, QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size()) {
  std::vector<QWidget*> leaves;
  for (QWidget* w : top->findChildren<QWidget*>()) {
    if (!w->isVisible() || !w->property("velornControl").isValid()) continue;
    if (qobject_cast<QGroupBox*>(w) != nullptr || qobject_cast<QTabWidget*>(w) != nullptr) continue;
    if (w->parentWidget() != nullptr && w->parentWidget()->inherits("QStackedWidget")) continue;  // a tab's page
    leaves.push_back(w);
    QString text;
    int extra = 0;
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
      text = b->text().remove(QLatin1Char('&'));
      extra = b->icon().isNull() ? 0 : b->iconSize().width();
    } else if (auto* l = qobject_cast<QLabel*>(w); l != nullptr && !l->wordWrap()) {
      text = l->text();
    }
    if (!text.isEmpty()) {
      EXPECT_GE(w->width(), w->fontMetrics().horizontalAdvance(text) + extra) << w->objectName().toStdString();
    }
  }
  for (std::size_t i = 0; i < leaves.size(); ++i)
    for (std::size_t j = i + 1; j < leaves.size(); ++j)
      EXPECT_FALSE(InTop(leaves[i]).intersects(InTop(leaves[j])))
          << leaves[i]->objectName().toStdString() << " " << leaves[j]->objectName().toStdString();
  EXPECT_LE(top->frameGeometry().width(), screen.width());
  EXPECT_LE(top->frameGeometry().height(), screen.height());
}

// The designed size is the minimum; a larger window keeps its controls inside.
void ExpectResizer(QWidget* top) {
  const QSize opened = top->size();
  EXPECT_LE(top->minimumWidth(), opened.width());
  EXPECT_GE(top->minimumWidth(), opened.width() - 4);
  EXPECT_LE(top->minimumHeight(), opened.height());
  EXPECT_GE(top->minimumHeight(), opened.height() - 4);
  top->resize(opened / 2);
  EXPECT_EQ(top->size(), top->minimumSize());
  top->resize(opened + QSize(200, 100));
  EXPECT_EQ(top->size(), opened + QSize(200, 100));
  top->resize(opened);
}

class FormsView : public testing::Test {
 protected:
  FormsView() : clock_(platform::DateFromYmd(2024, 10, 15), platform::TimeFromHms(9, 30, 0)), guard_(&clock_) {
    auto names = testsupport::Names(32);
    names[0] = "Hala";
    names[1] = "Kancelář";
    names[2] = "Sklad A";
    names[29] = "";
    testsupport::FillFiles(names, {{"Celá hala", {"FF", "00", "00", "00", "00"}}});
  }
  ~FormsView() override {
    data::ThreadReleaseDataFiles();
    data::DetachThreadFiles();
  }
  testsupport::TempDir dir{true};

 private:
  testsupport::FakeClock clock_;
  testsupport::ClockGuard guard_;
};

TEST_F(FormsView, TaskEditorInsertingAndChanging) {
  ASSERT_EQ(data::Controllers().TASKS.Open(), 0);
  // Inserting, with days and outputs chosen by the operator: the cancel
  // question answered with Esc keeps the form open.
  bool stayed = false;
  const auto button = [](std::string_view label) {
    return qobject_cast<QAbstractButton*>(View().ControlWidget(Top(), label));
  };
  When(Shown(kTaskFormProcedure), [&] {
    for (const char* label : {"?PONDELI", "?STREDA", "?PATEK"})
      QTest::mouseClick(button(label), Qt::LeftButton, {}, QPoint(6, button(label)->height() / 2));
    for (int k : {1, 3, 12}) QTest::mouseClick(button(DialogOutputButton(k)), Qt::LeftButton);
    When([&] { return button("?PATEK")->isChecked() && Top()[DialogOutputButton(12)].Color() == 0xFF; }, [&] {
      QWidget* top = View().NativeOf(Top());
      EXPECT_EQ(top->windowTitle(), "Přidání úlohy");
      ExpectLaidOut(top, kOperatorScreen);
      testsupport::Shot(top, "task_insert");
      ExpectResizer(top);
      QTest::mouseClick(button("?CANCEL"), Qt::LeftButton);
      When(Shown("MessageBox"), [&] {
        EXPECT_EQ(View().NativeOf(Top())->windowTitle(), "Změny nebudou uloženy!");
        QTest::keyClick(View().NativeOf(Top()), Qt::Key_Escape);
        When(Shown(kTaskFormProcedure), [&] {
          stayed = true;
          Top().Post(pu::EVENT::CloseDown);
        });
      });
    });
  });
  ASSERT_EQ(data::Controllers().TASKS.PrimeRecord(), 0);
  pu::FormRequest = pu::InsertRecord;
  Editace_uloh();
  EXPECT_TRUE(stayed);
  EXPECT_EQ(pu::FormResponse, 2);

  // Changing a weekly task with days and outputs.
  auto& t = data::Files().TASKS;
  ASSERT_EQ(data::Controllers().TASKS.PrimeRecord(), 0);
  t.rec.NAZEV = "Polední hlášení";
  t.rec.PREHRAT = "/srv/hlaseni/poledne.wav";
  t.rec.DATUM_SPUSTENI = platform::DateFromYmd(2024, 10, 1);
  t.rec.CAS_SPUSTENI = platform::TimeFromHms(12, 0, 0);
  t.rec.DELKA_SOUBORU = platform::TimeFromHms(0, 0, 45);
  t.rec.OPAKOVANI = "3E";
  t.rec.OPAKOVANI_POCET = 20;
  t.rec.VYSTUP1_5 = "0D";
  t.rec.VYSTUP4_5 = "40";
  ASSERT_EQ(t.Add(), 0);
  When(Shown(kTaskFormProcedure), [&] {
    QWidget* top = View().NativeOf(Top());
    EXPECT_EQ(top->windowTitle(), "Změna úlohy");
    ExpectLaidOut(top, kOperatorScreen);
    testsupport::Shot(top, "task_change");
    Top().Post(pu::EVENT::CloseDown);
  });
  pu::FormRequest = pu::ChangeRecord;
  Editace_uloh();
}

// Outputs with names of ten characters keep the editor as wide as short
// names do (it grew from 752 to 910 pixels): the outputs' panel spans the
// other two.
TEST_F(FormsView, TheEditorKeepsItsWidthWhenTheOutputsHaveLongNames) {
  ASSERT_EQ(data::Controllers().TASKS.Open(), 0);
  int widths[2] = {0, 0};
  for (int named = 0; named < 2; ++named) {
    if (named == 1) {
      std::vector<std::string> names;
      for (int k = 1; k <= 32; ++k) names.push_back((k < 10 ? "Kancelář " : "Kancelář") + std::to_string(k));
      testsupport::FillFiles(names, {{"Celá hala", {"FF", "00", "00", "00", "00"}}});
      ASSERT_EQ(data::Controllers().TASKS.Open(), 0);
    }
    When(Shown(kTaskFormProcedure), [&, named] {
      QWidget* top = View().NativeOf(Top());
      // The window's own width: the window manager's frame may come later.
      widths[named] = top->width();
      ExpectLaidOut(top, kOperatorScreen);
      if (named == 1) testsupport::Shot(top, "task_named_outputs");
      Top().Post(pu::EVENT::CloseDown);
    });
    ASSERT_EQ(data::Controllers().TASKS.PrimeRecord(), 0);
    pu::FormRequest = pu::InsertRecord;
    Editace_uloh();
  }
  EXPECT_GT(widths[0], 0);
  EXPECT_EQ(widths[1], widths[0]) << "named outputs widened the editor";
}

TEST_F(FormsView, OutputDialogsWithChosenOutputs) {
  OutputFlags outputs{};
  outputs[1] = outputs[3] = outputs[12] = 1;
  std::string file = "/srv/hlaseni/poledne.wav";
  platform::StdTime length = platform::TimeFromHms(0, 0, 10);
  uint8_t manual = 0;
  const PlaybackShared shared{outputs, file, length, manual};
  for (const char* procedure : {kPlaybackProcedure, kLiveProcedure}) {
    SCOPED_TRACE(procedure);
    When(Shown(procedure), [&] {
      QWidget* top = View().NativeOf(Top());
      EXPECT_EQ(top->windowTitle(), "Specifikace výstupů");
      ExpectLaidOut(top);
      testsupport::Shot(top, procedure == std::string(kPlaybackProcedure) ? "playback_choice" : "live_choice");
      ExpectResizer(top);
      QTest::mouseClick(qobject_cast<QAbstractButton*>(View().ControlWidget(Top(), "?CANCEL")), Qt::LeftButton);
    });
    EXPECT_EQ(procedure == std::string(kPlaybackProcedure) ? Volba_vystupu(shared) : Volba_vystupu2(shared), 0);
    EXPECT_TRUE(pu::ThreadWindows().empty());
  }
}

// The table of refused entries (tests/app/refused_entries.h) typed into the
// widgets, ?OK clicked with the mouse: what the widget shows, which widget
// has the focus, and what ?OK then stores or plays.
TEST_F(FormsView, ARefusedEntryIsShownNoMoreKeepsTheFocusAndOkUsesWhatIsShown) {
  int beeps = 0;
  platform::SetBeepView([&](platform::BoxIcon) { ++beeps; });
  const std::string wav = dir.file("hlaseni.wav"), folder = dir.file("slozka");
  testsupport::WriteFile(wav, "RIFF");
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  ASSERT_EQ(data::Controllers().TASKS.Open(), 0);
  const auto widget = [](std::string_view label) { return View().ControlWidget(Top(), label); };
  const auto click = [&](std::string_view label) {
    auto* b = qobject_cast<QAbstractButton*>(widget(label));
    ASSERT_NE(b, nullptr) << label;
    QTest::mouseClick(b, Qt::LeftButton);
  };
  // The text a field's widget shows; the control whose widget has the focus.
  const auto shows = [&](std::string_view label) { return testsupport::Shows(widget(label)); };
  const auto focused = [&]() -> std::string {
    // The window's focus (it may not be the active window offscreen).
    for (QWidget* w = View().NativeOf(Top())->focusWidget(); w != nullptr; w = w->parentWidget())
      if (const QVariant n = w->property("velornControl"); n.isValid()) return Top().At(n.toInt())->Label();
    return "";
  };
  const auto boxShown = [] { return Shown("aMessage")(); };
  const auto giveUp = [] {
    if (!pu::ThreadWindows().empty()) Top().Post(pu::EVENT::CloseDown);
  };

  for (const testsupport::RefusedEntry& row : testsupport::RefusedEntries(wav, folder)) {
    SCOPED_TRACE(row.what);
    const std::string procedure = testsupport::FormProcedure(row.form);
    beeps = 0;
    testsupport::RefusedEntryEnd end;
    testsupport::RefusedEntrySeen& afterTyping = end.afterTyping;
    testsupport::RefusedEntrySeen& afterOk = end.afterOk;
    std::vector<std::string> boxes;
    const auto look = [&](testsupport::RefusedEntrySeen& s) {
      s.open = Top().ProcedureName() == procedure;
      s.focus = focused();
      s.beeps = beeps;
      s.boxes = boxes;
      boxes.clear();
      if (row.field != nullptr) {
        s.shown = shows(row.field);
        s.held = pu::FormatPicture(Top()[row.field].PictureText(), Top()[row.field].Bound().Get());
      }
    };
    // Answers the box on top, noting its text, then goes on.
    const auto answerBox = [&](std::function<void()> then) {
      testsupport::When(boxShown, [&, then] {
        boxes.push_back(Top()["?UZIVATELSKY_TEXT"].Text());
        click("?BUTTON_OK");
        testsupport::When(Shown(procedure), then, "the form back from the box", giveUp);
      }, "the box", giveUp);
    };
    const auto cancel = [&] {
      click("?CANCEL");
      if (row.form == testsupport::Form::Insert)
        testsupport::When(Shown("MessageBox"), [&] { click("?YES"); }, "the cancel question", giveUp);
    };
    const auto secondOk = [&] {
      look(afterTyping);
      click("?OK");
      switch (row.outcome) {
        case Outcome::StoresShown:
        case Outcome::PlaysShown:
          break;  // the form closes
        case Outcome::StoresNothing:
          testsupport::When([&] { return focused() == row.okFocus; }, [&] {
            look(afterOk);
            cancel();
          }, "the focus after ?OK", giveUp);
          break;
        case Outcome::Refused:
          answerBox([&] {
            look(afterOk);
            cancel();
          });
          break;
      }
    };
    testsupport::When(Shown(procedure), [&] {
      if (row.field != nullptr) testsupport::TypeInto(widget(row.field), row.typed);
      click("?OK");
      if (!row.box.empty())
        answerBox(secondOk);
      else
        testsupport::When([&] { return beeps > 0 && shows(row.field) == row.shown; }, secondOk, "the refusal", giveUp);
    }, "the form", giveUp);

    testsupport::RunRefusedEntryForm(row, wav, end);
    testsupport::ExpectRefusedEntryEnd(row, end);
  }
  platform::SetBeepView([](platform::BoxIcon) { QApplication::beep(); });
}

// Esc typed into each dialog's focused control closes it as its close box
// does.
TEST_F(FormsView, EscClosesEachDialogAsItsCloseBox) {
  ASSERT_EQ(data::Controllers().TASKS.Open(), 0);
  testsupport::RecordingPort port;
  engine::Engine engine({}, port.Ops());
  ASSERT_EQ(engine.protocol.ConnectPort(), 1);
  std::vector<std::string> closed;
  const auto escape = [&](std::string procedure) {
    testsupport::When(Shown(procedure), [procedure, &closed] {
      QWidget* top = View().NativeOf(Top());
      QWidget* focus = top->focusWidget() != nullptr ? top->focusWidget() : top;
      closed.push_back(procedure);
      QTest::keyClick(focus, Qt::Key_Escape);
      // Still open a while later (its loop still runs): closed down.
      const pu::WindowId id = Top().Id();
      testsupport::When([id] { return pu::ThreadWindows().empty() || Top().Id() != id; }, [] {},
                        "the dialog's end", [&closed] {
                          closed.push_back("still open");
                          Top().Post(pu::EVENT::CloseDown);
                        });
    }, "the dialog", [] { Top().Post(pu::EVENT::CloseDown); });
  };
  // The editor on an unchanged task: it closes without a question.
  auto& t = data::Files().TASKS;
  ASSERT_EQ(data::Controllers().TASKS.PrimeRecord(), 0);
  t.rec.NAZEV = "Ranní";
  t.rec.PREHRAT = "/tmp/rano.wav";
  t.rec.DATUM_SPUSTENI = platform::DateFromYmd(2024, 11, 1);
  t.rec.CAS_SPUSTENI = platform::TimeFromHms(8, 0, 0);
  ASSERT_EQ(t.Add(), 0);
  escape(kTaskFormProcedure);
  pu::FormRequest = pu::ChangeRecord;
  Editace_uloh();
  EXPECT_EQ(pu::FormResponse, 2);

  OutputFlags outputs{};
  std::string file;
  platform::StdTime length = 0;
  uint8_t manual = 0;
  const PlaybackShared shared{outputs, file, length, manual};
  escape(kPlaybackProcedure);
  EXPECT_EQ(Volba_vystupu(shared), 0);
  escape(kLiveProcedure);
  EXPECT_EQ(Volba_vystupu2(shared), 0);
  escape(service::kCalendarProcedure);
  EXPECT_EQ(service::SelectDate("Zvolte datum", platform::DateFromYmd(2024, 10, 15)), platform::DateFromYmd(2024, 10, 15));
  escape(kInfoWindowProcedure);
  Info_window(engine.protocol);
  ASSERT_FALSE(port.writes.empty());
  EXPECT_EQ(port.writes.back().text, "(0504100010)") << "\"Konec hlášení\": the ON-AIR lamp out";
  escape(kMicWaitProcedure);
  EXPECT_FALSE(WaitForMicSwitch(engine.protocol, engine.console, "vELORN"));
  EXPECT_EQ(closed, (std::vector<std::string>{kTaskFormProcedure, kPlaybackProcedure, kLiveProcedure,
                                              service::kCalendarProcedure, kInfoWindowProcedure,
                                              kMicWaitProcedure}));
}

// The announcement window, led by the console's answers from the hint to
// the announcement and through the longest of its texts, each shown whole.
// Its timer is one second of the real clock.
TEST(InfoWindowView, EachTextIsShownWholeAndTheButtonEndsIt) {
  testsupport::RecordingPort port;
  engine::Engine engine({}, port.Ops());
  ASSERT_EQ(engine.protocol.ConnectPort(), 1);
  const auto answer = [](char state) { return std::string(20, '0') + state; };
  port.replies = {"", answer('3'), answer('1'), answer('2')};
  const std::vector<std::string> texts = {"Zapněte hlavní tlačítko MIC.", "Probíhá hlášení...",
                                          "Vypněte tlačítko ON-AIR a zapněte tlačítko MIC.",
                                          "Po zapnutí tlačítka ON-AIR začne hlášení."};
  const auto showing = [](std::string text) -> std::function<bool()> {
    return [text] {
      if (!Shown(kInfoWindowProcedure)()) return false;
      auto* label = qobject_cast<QLabel*>(View().ControlWidget(Top(), "?TEXTIK"));
      return label != nullptr && label->text().toStdString() == text;
    };
  };
  std::vector<std::string> shown;
  std::function<void()> next = [&] {
    QWidget* top = View().NativeOf(Top());
    auto* text = qobject_cast<QLabel*>(View().ControlWidget(Top(), "?TEXTIK"));
    if (text == nullptr) {
      ADD_FAILURE() << "?TEXTIK is no label";
      return Top().Post(pu::EVENT::CloseDown);
    }
    shown.push_back(text->text().toStdString());
    const QSize needs = text->fontMetrics().boundingRect(text->contentsRect(), Qt::TextWordWrap, text->text()).size();
    EXPECT_LE(needs.width(), text->contentsRect().width()) << shown.back();
    EXPECT_LE(needs.height(), text->contentsRect().height()) << shown.back();
    ExpectLaidOut(top);
    if (shown.size() == 1) {
      EXPECT_EQ(top->windowTitle(), "Probíhá hlášení");
      EXPECT_FALSE(top->windowIcon().isNull());
      testsupport::ExpectWhole(qobject_cast<QPushButton*>(View().ControlWidget(Top(), "?OKBUTTON")));
    }
    const char* const shots[] = {"info_window", "info_window_on_air", "info_window_on_air_key", "info_window_mic"};
    testsupport::Shot(top, shots[shown.size() - 1]);
    if (shown.size() == texts.size()) {
      QTest::mouseClick(qobject_cast<QAbstractButton*>(View().ControlWidget(Top(), "?OKBUTTON")), Qt::LeftButton);
      return;
    }
    const std::string expected = texts[shown.size()];
    When(showing(expected), next, 1000);
  };
  When(showing(texts[0]), next, 1000);
  Info_window(engine.protocol);
  EXPECT_EQ(shown, texts);
  EXPECT_TRUE(pu::ThreadWindows().empty());
  ASSERT_FALSE(port.writes.empty());
  EXPECT_EQ(port.writes.back().text, "(0504100010)") << "the button ends the announcement";
}

}  // namespace
}  // namespace app::ui

int main(int argc, char** argv) { return testsupport::QtTestMain(argc, argv); }
