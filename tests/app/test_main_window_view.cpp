// The main window in the Qt view on the offscreen platform, used as the
// operator uses it. With VELORN_SCREENSHOTS naming a folder, each of the
// five tabs is saved there (main-1.png .. main-5.png, the last one
// "Servis", shown with Ctrl+S), and the window without a port
// (main-not-connected.png).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <functional>
#include <string>
#include <vector>

#include "app/data/records.h"
#include "app/globals.h"
#include "app/ui/main_window.h"
#include "platform/qt/qtview.h"
#include "platform/window.h"
#include "tests/engine/recording_port.h"
#include "tests/support/qt_main.h"
#include "tests/support/tempdir.h"

namespace {

namespace pu = platform::ui;
namespace pq = platform::qt;
namespace ui = app::ui;
using testsupport::Shot;

pq::QtView& View() { return testsupport::TestView(); }
pu::Window& Top() { return *pu::ThreadWindows().back(); }

template <class W>
W* Widget(pu::Window& w, std::string_view label) {
  auto* wgt = qobject_cast<W*>(View().ControlWidget(w, label));
  EXPECT_NE(wgt, nullptr) << label;
  return wgt;
}

using testsupport::InTop;

// Runs `then` once `ready` holds; gives up (a failure, the windows closed
// down) after about four seconds.
void When(std::function<bool()> ready, std::function<void()> then) {
  testsupport::When(std::move(ready), std::move(then), "the main window", [] {
    for (pu::Window* w : pu::ThreadWindows()) w->Post(pu::EVENT::CloseDown);
  }, 800);
}

// What the operator would see wrong on the tab shown: a button narrower
// than its picture and caption, a text cut, visible controls that overlap,
// the window off the screen.
void ExpectLaidOut(QWidget* top, const std::string& tab) {
  std::vector<QWidget*> shown;
  for (QPushButton* b : top->findChildren<QPushButton*>()) {
    if (!b->isVisible()) continue;
    shown.push_back(b);
    testsupport::ExpectWhole(b, tab);
  }
  for (QLabel* l : top->findChildren<QLabel*>()) {
    if (!l->isVisible() || l->wordWrap() || l->text().isEmpty()) continue;
    shown.push_back(l);
    EXPECT_GE(l->contentsRect().width(), l->fontMetrics().horizontalAdvance(l->text()))
        << tab << " " << l->objectName().toStdString();
  }
  for (std::size_t i = 0; i < shown.size(); ++i)
    for (std::size_t j = i + 1; j < shown.size(); ++j)
      EXPECT_FALSE(InTop(shown[i]).intersects(InTop(shown[j])))
          << tab << " " << shown[i]->objectName().toStdString() << " " << shown[j]->objectName().toStdString();
  EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(top->frameGeometry())) << tab;
}

class MainWindowView : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    app::data::AttachThreadFiles();
    app::CaptionText = " vELORN v. 1.0";
    // Named outputs, one blank, one chosen.
    platform::rec::File<app::data::OutputsRecord> f(app::data::OutputsDecl());
    ASSERT_EQ(f.Create(), 0);
    ASSERT_EQ(f.Open(), 0);
    const char* names[] = {"Hala A", "Hala B", "Kancelář", "", "Sklad", "Dvůr", "Jídelna", "Vrátnice"};
    for (int k = 1; k <= 32; ++k) {
      f.ClearBuffer();
      f.rec.CISLO = k;
      f.rec.NAZEV = k <= 8 ? names[k - 1] : "Zóna " + std::to_string(k);
      ASSERT_EQ(f.Add(), 0);
    }
  }
  void TearDown() override {
    app::data::ReleaseDataFiles();
    app::data::DetachThreadFiles();
  }

  testsupport::TempDir dir_{true};
  testsupport::RecordingPort port_;
};

TEST_F(MainWindowView, TheFiveTabsAreShownWholeAndServisComesWithCtrlS) {
  ui::MainWindow main(port_.Ops());
  main.Engine().schedulerState.OutputSelected[2] = 1;
  pu::Window& w = main.Win();
  const auto shown = [&] { return View().NativeOf(w) != nullptr && View().NativeOf(w)->isVisible(); };
  When([&] { return shown() && w["?KOMUNIKACE"].Text() == "Připojeno"; }, [&] {
    QWidget* top = View().NativeOf(w);
    auto* sheet = Widget<QTabWidget>(w, "?SHEET1");
    EXPECT_EQ(top->windowTitle(), " vELORN v. 1.0");
    EXPECT_FALSE(top->windowIcon().isNull());
    EXPECT_EQ(sheet->count(), 5);
    EXPECT_FALSE(sheet->isTabVisible(4)) << "Servis is hidden at start";
    EXPECT_EQ(Widget<QLabel>(w, "?KOMUNIKACE")->palette().color(QPalette::WindowText), QColor(0, 128, 0));
    EXPECT_EQ(Widget<QPushButton>(w, "?BUTTON20:1")->text(), "Hala A");
    EXPECT_FALSE(Widget<QPushButton>(w, "?BUTTON20:4")->isEnabled());
    EXPECT_EQ(Widget<QPushButton>(w, "?BUTTON20:2")->palette().color(QPalette::Button), QColor(255, 0, 0));
    // A playback's picture and text do not make the window grow (it grew 3
    // pixels at the first playback, seen on "Nastavení").
    sheet->setCurrentIndex(2);
    QApplication::processEvents();
    const QSize before = top->size();
    w["?IMAGE1"].Show();
    main.SetText("?INFO_TEXT", "Právě probíhá přehrávání souboru");
    for (int i = 0; i < 3; ++i) {
      View().Flush();
      QApplication::processEvents();
    }
    EXPECT_EQ(top->size(), before);
    sheet->setCurrentIndex(0);
    w["?IMAGE1"].Hide();
    main.SetText("?INFO_TEXT", "");
    View().Flush();
    for (int tab = 0; tab < 4; ++tab) {
      sheet->setCurrentIndex(tab);
      QApplication::processEvents();
      ExpectLaidOut(top, sheet->tabText(tab).toStdString());
      Shot(top, ("main-" + std::to_string(tab + 1)).c_str());
    }
    // The outputs stand in order, eight to a row, ?BUTTON51 across below them.
    for (int k = 1; k < 32; ++k) {
      const QRect a = InTop(Widget<QPushButton>(w, ui::OutputButton(k))),
                  b = InTop(Widget<QPushButton>(w, ui::OutputButton(k + 1)));
      if (k % 8 != 0)
        EXPECT_LT(a.right(), b.left()) << k;
      else
        EXPECT_LT(a.bottom(), b.top()) << k;
    }
    EXPECT_LT(InTop(Widget<QPushButton>(w, "?BUTTON20:32")).bottom(), InTop(Widget<QPushButton>(w, "?BUTTON51")).top());
    sheet->setCurrentIndex(0);
    QTest::keyClick(top, Qt::Key_S, Qt::ControlModifier);
    When([sheet] { return sheet->isTabVisible(4); }, [&, sheet, top] {
      sheet->setCurrentIndex(4);
      QApplication::processEvents();
      ExpectLaidOut(top, "Servis");
      Shot(top, "main-5");
      QTest::keyClick(top, Qt::Key_Q, Qt::ControlModifier);
      When([sheet] { return !sheet->isTabVisible(4); }, [&] { w.Post(pu::EVENT::CloseDown); });
    });
  });
  main.Run();
  EXPECT_FALSE(w.IsOpen());
}

TEST_F(MainWindowView, WithoutAPortTheBoxIsShownAndTheWindowStaysNotConnectedInRed) {
  port_.present = false;
  ui::MainWindow main(port_.Ops());
  pu::Window& w = main.Win();
  // The box comes above the main window while it opens; its OK closes it.
  When([] { return pu::ThreadWindows().size() == 2 && View().NativeOf(Top()) != nullptr &&
                   View().NativeOf(Top())->isVisible(); },
       [&] {
         EXPECT_EQ(View().NativeOf(Top())->windowTitle(), "Chyba připojení");
         QTest::mouseClick(Widget<QPushButton>(Top(), "?BUTTON_OK"), Qt::LeftButton);
         When([&] { return pu::ThreadWindows().size() == 1 && w["?KOMUNIKACE"].Text() == "Nepřipojeno !"; }, [&] {
           QWidget* top = View().NativeOf(w);
           EXPECT_TRUE(top->isVisible());
           EXPECT_FALSE(top->isMinimized());
           EXPECT_EQ(Widget<QLabel>(w, "?KOMUNIKACE")->palette().color(QPalette::WindowText), QColor(255, 0, 0));
           EXPECT_FALSE(Widget<QPushButton>(w, "?BUTTON_ZAPNI")->isEnabled());
           EXPECT_FALSE(Widget<QPushButton>(w, "?BUTTON_PREHRAJ")->isEnabled());
           Shot(top, "main-not-connected");
           w.Post(pu::EVENT::CloseDown);
         });
       });
  main.Run();
}

}  // namespace

int main(int argc, char** argv) { return testsupport::QtTestMain(argc, argv); }
