// The main window's lists in the Qt view (offscreen, or on a display under
// tests/on_display.sh), used as the operator uses them: the task list
// sorted by a click on its real header, its rows painted in their colours,
// and the output list in an edit. With VELORN_SCREENSHOTS naming a folder
// the window is saved there (main-task-list-sorted.png,
// main-output-list-edit.png).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>
#include <functional>
#include <string>
#include <vector>

#include "app/data/records.h"
#include "app/globals.h"
#include "app/ui/main_window.h"
#include "platform/qt/qtview.h"
#include "platform/stdtime.h"
#include "tests/engine/recording_port.h"
#include "tests/support/qt_main.h"
#include "tests/support/task_window.h"
#include "tests/support/tempdir.h"

namespace {

namespace pu = platform::ui;
namespace ui = app::ui;
using platform::TimeFromHms;
using Texts = std::vector<std::string>;

enum Column { kA = 1, kCas, kOpakovani, kPrvni, kPopis, kNaposledy };

platform::qt::QtView& View() { return testsupport::TestView(); }

void Settle() {
  View().Flush();
  QApplication::processEvents();
}

void When(std::function<bool()> ready, std::function<void()> then) {
  testsupport::When(
      std::move(ready), std::move(then), "the main window's lists",
      [] {
        for (pu::Window* w : pu::ThreadWindows()) w->Post(pu::EVENT::CloseDown);
      },
      800);
}

QTreeView* Tree(pu::Window& w, const char* label) {
  QWidget* box = View().ControlWidget(w, label);
  return box != nullptr ? box->findChild<QTreeView*>() : nullptr;
}

Texts Column(QTreeView* tree, int column) {
  Texts out;
  for (int r = 0; r < tree->model()->rowCount(); ++r)
    out.push_back(tree->model()->data(tree->model()->index(r, column - 1)).toString().toStdString());
  return out;
}

// Whether the row's description is painted with a pixel near the colour.
bool Painted(QTreeView* tree, int row, QColor colour) { return testsupport::Painted(tree, row, kPopis, colour); }

class MainListsView : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    app::data::AttachThreadFiles();
    app::CaptionText = " vELORN v. 1.0";
    platform::rec::File<app::data::OutputsRecord> f(app::data::OutputsDecl());
    ASSERT_EQ(f.Create(), 0);
    ASSERT_EQ(f.Open(), 0);
    const char* names[] = {"Hala", "Sál", "Dvůr"};
    for (int k = 1; k <= 3; ++k) {
      f.rec.CISLO = k;
      f.rec.NAZEV = names[k - 1];
      ASSERT_EQ(f.Add(), 0);
    }
    using testsupport::TaskWindow;
    TaskWindow::AddTask("ryba", TimeFromHms(7, 0, 0), 0, 1);  // inactive: red
    TaskWindow::AddTask("Beta", TimeFromHms(8, 0, 0), 1, 0);
    TaskWindow::AddTask("čaj", TimeFromHms(11, 0, 0), 1, 1);  // deletes itself: orange
    TaskWindow::AddTask("Ahoj", TimeFromHms(12, 0, 0), 1, 0);
  }
  void TearDown() override {
    app::data::ReleaseDataFiles();
    app::data::DetachThreadFiles();
  }

  testsupport::TempDir dir_{true};
  testsupport::RecordingPort port_;
};

TEST_F(MainListsView, TheTaskListSortedByItsHeaderInItsColoursAndTheOutputListInAnEdit) {
  ui::MainWindow main(port_.Ops());
  pu::Window& w = main.Win();
  QTreeView* tasks = nullptr;
  QTreeView* outputs = nullptr;
  QTabWidget* sheet = nullptr;
  const auto shown = [&] { return View().NativeOf(w) != nullptr && View().NativeOf(w)->isVisible(); };
  When([&] { return shown() && w["?KOMUNIKACE"].Text() == "Připojeno"; },
       [&] {
         sheet = View().NativeOf(w)->findChild<QTabWidget*>();
         ASSERT_NE(sheet, nullptr);
         sheet->setCurrentIndex(1);
         Settle();
         tasks = Tree(w, "?LIST");
         ASSERT_NE(tasks, nullptr);
         EXPECT_EQ(Column(tasks, kPopis), (Texts{"ryba", "Beta", "čaj", "Ahoj"}));
         // A plain row selected, then a click on "Popis úlohy".
         QTest::mouseClick(tasks->viewport(), Qt::LeftButton, {},
                           tasks->visualRect(tasks->model()->index(1, kPopis - 1)).center());
         When([&] { return main.Lists().Tasks().Selected() == 2; },
              [&] {
                QHeaderView* h = tasks->header();
                QTest::mouseClick(
                    h->viewport(), Qt::LeftButton, {},
                    {h->sectionViewportPosition(kPopis - 1) + h->sectionSize(kPopis - 1) / 2, h->height() / 2});
                When(
                    [&] {
                      return tasks->model()->headerData(kPopis - 1, Qt::Horizontal).toString() == "Popis úlohy[+]";
                    },
                    [&] {
                      Settle();
                      EXPECT_EQ(Column(tasks, kPopis), (Texts{"Ahoj", "Beta", "čaj", "ryba"}));
                      EXPECT_EQ(main.Lists().Tasks().Cell(main.Lists().Tasks().Selected(), kPopis), "Beta");
                      const QColor red(0xFF, 0, 0), orange(0xFF, 0x80, 0);
                      EXPECT_TRUE(Painted(tasks, 3, red)) << "inactive";
                      EXPECT_TRUE(Painted(tasks, 2, orange)) << "deletes itself";
                      EXPECT_FALSE(Painted(tasks, 0, red) || Painted(tasks, 0, orange)) << "plain";
                      testsupport::Shot(View().NativeOf(w), "main-task-list-sorted");
                      sheet->setCurrentIndex(2);
                      Settle();
                      outputs = Tree(w, "?LIST:2");
                      ASSERT_NE(outputs, nullptr);
                      QTest::mouseClick(outputs->viewport(), Qt::LeftButton, {},
                                        outputs->visualRect(outputs->model()->index(1, 1)).center());
                      QTest::mouseClick(View().ControlWidget(w, "?CHANGE:2"), Qt::LeftButton);
                      When([&] { return main.Lists().Outputs().Editing(); },
                           [&] {
                             Settle();
                             auto* entry = outputs->viewport()->findChild<QLineEdit*>();
                             ASSERT_NE(entry, nullptr);
                             EXPECT_TRUE(entry->isVisible());
                             EXPECT_EQ(entry->text().toStdString(), "2");
                             testsupport::Shot(View().NativeOf(w), "main-output-list-edit");
                             QTest::keyClick(entry, Qt::Key_Escape);
                             When([&] { return !main.Lists().Outputs().Editing(); },
                                  [&] { w.Post(pu::EVENT::CloseDown); });
                           });
                    });
              });
       });
  main.Run();
  EXPECT_FALSE(w.IsOpen());
}

}  // namespace

int main(int argc, char** argv) { return testsupport::QtTestMain(argc, argv); }
