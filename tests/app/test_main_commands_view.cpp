// The main window's commands in the Qt view (offscreen, and on a display
// under a window manager): the "Hlášení" tab with chosen outputs and the
// tab's live announcement on, the exit question, the wait for the
// console's MIC switch. With VELORN_SCREENSHOTS naming a folder each is
// saved there (commands-live.png, commands-exit.png, commands-mic-wait.png).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <functional>
#include <string>
#include <vector>

#include "app/data/records.h"
#include "app/globals.h"
#include "app/ui/main_window.h"
#include "app/ui/mic_wait.h"
#include "app/ui/output_choice.h"
#include "platform/qt/qtview.h"
#include "platform/window.h"
#include "tests/app/form_operator.h"
#include "tests/engine/recording_port.h"
#include "tests/support/qt_main.h"
#include "tests/support/qt_widgets.h"
#include "tests/support/tempdir.h"
#include "tests/support/wav.h"

namespace {

namespace pu = platform::ui;
namespace pq = platform::qt;
namespace ui = app::ui;
using testsupport::Shot;

pq::QtView& View() { return testsupport::TestView(); }
using testsupport::ControlWidget;
using testsupport::TopShown;
pu::Window& Top() { return testsupport::TopWindow(); }

// Runs `then` once `ready` holds; gives up (a failure, the windows closed
// down) after about ten seconds (the live announcement's first step takes
// its relay traffic on the real clock).
void When(std::function<bool()> ready, std::function<void()> then) {
  testsupport::When(std::move(ready), std::move(then), "the commands", [] {
    for (pu::Window* w : pu::ThreadWindows()) w->Post(pu::EVENT::CloseDown);
  }, 2000);
}

QColor Face(pu::Window& w, std::string_view label) {
  return ControlWidget<QPushButton>(w, label)->palette().color(QPalette::Button);
}

class MainCommandsView : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    app::CaptionText = " vELORN v. 1.0";
    std::vector<std::string> names = {"Hala A", "Hala B", "Kancelář", "Sklad", "Dvůr", "Jídelna", "Vrátnice", "Brána"};
    for (int k = 9; k <= 32; ++k) names.push_back("Zóna " + std::to_string(k));
    testsupport::FillFiles(names, {});
  }
  void TearDown() override { app::data::ThreadReleaseDataFiles(); }

  testsupport::TempDir dir_{true};
  testsupport::RecordingPort port_;
};

TEST_F(MainCommandsView, TheLiveTabTheExitQuestionAndTheWaitForTheMicSwitch) {
  ui::MainWindow main(port_.Ops());
  pu::Window& w = main.Win();
  const QColor red(255, 0, 0);
  bool waited = false;
  When([&] { return TopShown("Main") && w["?KOMUNIKACE"].Text() == "Připojeno"; }, [&] {
    ControlWidget<QTabWidget>(w, "?SHEET1")->setCurrentIndex(3);
    w.Press("?BUTTON20:2");
    w.Press("?BUTTON20:5");
    w.Press("?BUTTON51");
    When([&] { return w["?BUTTON51"].Text() == "Ukončit hlášení"; }, [&] {
      QApplication::processEvents();
      EXPECT_EQ(ControlWidget<QPushButton>(w, "?BUTTON51")->text(), "Ukončit hlášení");
      EXPECT_EQ(Face(w, "?BUTTON51"), red);
      EXPECT_EQ(Face(w, "?BUTTON20:2"), red);
      EXPECT_EQ(Face(w, "?BUTTON20:5"), red);
      EXPECT_NE(Face(w, "?BUTTON20:1"), red);
      testsupport::ExpectWhole(ControlWidget<QPushButton>(w, "?BUTTON51"), "live");
      Shot(View().NativeOf(w), "commands-live");
      w.Press("?BUTTON51");
      When([&] { return w["?BUTTON51"].Text() == "Začít hlášení"; }, [&] {
        ControlWidget<QTabWidget>(w, "?SHEET1")->setCurrentIndex(0);
        w.Press("?BUTTON_KONEC");
        When([] { return TopShown("cMessage"); }, [&] {
          QWidget* box = View().NativeOf(Top());
          EXPECT_EQ(box->windowTitle(), "Potvrzení operace");
          EXPECT_EQ(ControlWidget<QPushButton>(Top(), "?BUTTON2")->text(), "Ne");
          EXPECT_EQ(ControlWidget<QPushButton>(Top(), "?BUTTON1")->text(), "Ano");
          Shot(box, "commands-exit");
          QTest::mouseClick(ControlWidget<QPushButton>(Top(), "?BUTTON2"), Qt::LeftButton);
          // "Ne": the program runs on. The live announcement: the console
          // is silent (state 0), so the MIC box, then the wait.
          When([&] { return TopShown("Main"); }, [&] {
            w.Press("?BUTTON_ZAPNI");
            When([] { return TopShown("MessageBox"); }, [&] {
              Top().Post(pu::EVENT::CloseWindow);
              When([] { return TopShown(ui::kMicWaitProcedure); }, [&] {
                QWidget* wait = View().NativeOf(Top());
                EXPECT_EQ(wait->windowTitle(), " vELORN v. 1.0");
                EXPECT_EQ(ControlWidget<QLabel>(Top(), "?TEXT")->text(), ui::kMicOffText);
                testsupport::ExpectWhole(ControlWidget<QPushButton>(Top(), "?STORNO"), "wait");
                Shot(wait, "commands-mic-wait");
                QTest::mouseClick(ControlWidget<QPushButton>(Top(), "?STORNO"), Qt::LeftButton);
                When([] { return TopShown("Main"); }, [&] {
                  waited = true;
                  w.Post(pu::EVENT::CloseDown);
                });
              });
            });
          });
        });
      });
    });
  });
  main.Run();
  EXPECT_TRUE(waited);
  EXPECT_FALSE(w.IsOpen());
}

// A playback through the dialog, typed into its widgets: the "Hlášení"
// tab's entries show the dialog's file and length, read back from their
// widgets (commands-after-playback.png).
TEST_F(MainCommandsView, TheTabShowsTheFileAndLengthThePlaybackDialogLeft) {
  const std::string wav = dir_.file("gong.wav");
  testsupport::WriteFile(wav, testsupport::MakeWav(std::string(17640, '\0'), 44100, 2, 16));
  ui::MainWindow main(port_.Ops());
  pu::Window& w = main.Win();
  std::string file = "?", length = "?";
  When([&] { return TopShown("Main") && w["?KOMUNIKACE"].Text() == "Připojeno"; }, [&] {
    QTest::mouseClick(ControlWidget<QPushButton>(w, "?BUTTON_PREHRAJ"), Qt::LeftButton);
    When([] { return TopShown(ui::kPlaybackProcedure); }, [&] {
      testsupport::TypeInto(View().ControlWidget(Top(), "?GLO:FILE2PLAY"), wav);
      testsupport::TypeInto(View().ControlWidget(Top(), "?GLO:FILELENGHT"), "00:00:03");
      QTest::mouseClick(ControlWidget<QPushButton>(Top(), "?BUTTON_1"), Qt::LeftButton);
      QTest::mouseClick(ControlWidget<QPushButton>(Top(), "?OK"), Qt::LeftButton);
      When([&] { return TopShown("Main") && main.Engine().schedulerState.ManualPlaybackRequested == 1; }, [&] {
        ControlWidget<QTabWidget>(w, "?SHEET1")->setCurrentIndex(3);
        QApplication::processEvents();
        file = testsupport::Shows(View().ControlWidget(w, "?GLO:FILE2PLAY"));
        length = testsupport::Shows(View().ControlWidget(w, "?GLO:FILELENGHT"));
        Shot(View().NativeOf(w), "commands-after-playback");
        w.Post(pu::EVENT::CloseDown);
      });
    });
  });
  main.Run();
  EXPECT_EQ(file, wav);
  EXPECT_EQ(length, "00:00:03");
}

}  // namespace

int main(int argc, char** argv) { return testsupport::QtTestMain(argc, argv); }
