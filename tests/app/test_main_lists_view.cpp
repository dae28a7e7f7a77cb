// The main window's lists in the Qt view (offscreen, or on a display under
// tests/on_display.sh), used as the operator uses them: the task list
// sorted by a click on its real header, its rows painted in their colours,
// and the output list in an edit; both lists with one row, a full page and
// none, and a new output row of a full page. With VELORN_SCREENSHOTS naming
// a folder the window is saved there (main-task-list-sorted.png,
// main-output-list-edit.png, main-lists-*.png).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
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

// The lists as the operator meets them: with one row, with more rows than a
// page and with none. Each list shows its columns whole within it (the "A"
// column's icon and number beside it), no horizontal scroll bar while its
// columns fit, and its scroll bar inside its frame; the window lies on the
// screen. On a full page, "Vlož" shows the new output row whole.
class MainListsShown : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    app::data::AttachThreadFiles();
    app::CaptionText = " vELORN v. 1.0";
  }
  void TearDown() override {
    app::data::ReleaseDataFiles();
    app::data::DetachThreadFiles();
  }
  void Fill(int tasks, int outputs) {
    platform::rec::File<app::data::OutputsRecord> f(app::data::OutputsDecl());
    ASSERT_EQ(f.Create(), 0);
    ASSERT_EQ(f.Open(), 0);
    for (int k = 1; k <= outputs; ++k) {
      f.ClearBuffer();
      f.rec.CISLO = k;
      f.rec.NAZEV = "Zóna " + std::to_string(k);
      ASSERT_EQ(f.Add(), 0);
    }
    for (int i = 0; i < tasks; ++i)
      testsupport::TaskWindow::AddTask("Hlášení " + std::to_string(i + 1), TimeFromHms(6, i, 0),
                                       static_cast<uint8_t>(i % 3 != 1), static_cast<uint8_t>(i % 3 == 2));
  }

  static void ExpectListShown(pu::Window& w, const char* label, const std::string& what) {
    QWidget* box = View().ControlWidget(w, label);
    QTreeView* tree = Tree(w, label);
    ASSERT_NE(tree, nullptr) << what;
    auto* bar = box->findChild<QScrollBar*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_NE(bar, nullptr) << what;
    EXPECT_TRUE(box->contentsRect().contains(bar->geometry())) << what << ": the scroll bar outside the frame";
    EXPECT_TRUE(box->contentsRect().contains(tree->geometry())) << what;
    EXPECT_FALSE(tree->horizontalScrollBar()->isVisible()) << what << ": a horizontal scroll bar";
    QHeaderView* h = tree->header();
    EXPECT_LE(h->length(), tree->viewport()->width()) << what;
    // Each cell's text, with its icon beside it, within its column.
    const int margin = 2 * (tree->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, tree) + 1);
    for (int r = 0; r < tree->model()->rowCount(); ++r)
      for (int c = 0; c < h->count(); ++c) {
        const QModelIndex i = tree->model()->index(r, c);
        const bool icon = !tree->model()->data(i, Qt::DecorationRole).isNull();
        const int needs = tree->fontMetrics().horizontalAdvance(tree->model()->data(i).toString()) + margin +
                          (icon ? tree->iconSize().width() + 4 : 0);
        EXPECT_GE(h->sectionSize(c), needs) << what << ": row " << r + 1 << ", column " << c + 1 << " cut";
      }
  }

  // Shows both lists, checks and saves them; on a full page, "Vlož" too.
  void ShowLists(const std::string& name, bool insert) {
    ui::MainWindow main(port_.Ops());
    pu::Window& w = main.Win();
    const auto shown = [&] { return View().NativeOf(w) != nullptr && View().NativeOf(w)->isVisible(); };
    When([&] { return shown() && w["?KOMUNIKACE"].Text() == "Připojeno"; }, [&] {
      QWidget* top = View().NativeOf(w);
      auto* sheet = top->findChild<QTabWidget*>();
      ASSERT_NE(sheet, nullptr);
      sheet->setCurrentIndex(1);
      Settle();
      ExpectListShown(w, "?LIST", name + " tasks");
      EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(top->frameGeometry())) << name;
      testsupport::Shot(top, ("main-lists-" + name + "-tasks").c_str());
      sheet->setCurrentIndex(2);
      Settle();
      ExpectListShown(w, "?LIST:2", name + " outputs");
      testsupport::Shot(top, ("main-lists-" + name + "-outputs").c_str());
      if (!insert) {
        w.Post(pu::EVENT::CloseDown);
        return;
      }
      QTest::mouseClick(View().ControlWidget(w, "?INSERT:2"), Qt::LeftButton);
      When([&] { return main.Lists().Outputs().EditingNewRow(); }, [&, top] {
        Settle();
        QTreeView* outputs = Tree(w, "?LIST:2");
        auto* entry = outputs->viewport()->findChild<QLineEdit*>();
        ASSERT_NE(entry, nullptr);
        EXPECT_TRUE(entry->isVisible());
        EXPECT_TRUE(outputs->viewport()->rect().contains(entry->geometry()))
            << "the new row's editor is not whole: " << entry->geometry().y() << " + " << entry->height() << " in "
            << outputs->viewport()->height();
        testsupport::Shot(top, ("main-lists-" + name + "-new-row").c_str());
        QTest::keyClick(entry, Qt::Key_Escape);
        When([&] { return !main.Lists().Outputs().Editing(); }, [&] { w.Post(pu::EVENT::CloseDown); });
      });
    });
    main.Run();
    EXPECT_FALSE(w.IsOpen());
  }

  testsupport::TempDir dir_{true};
  testsupport::RecordingPort port_;
};

TEST_F(MainListsShown, OneRowEach) {
  Fill(1, 1);
  ShowLists("one-row", false);
}

TEST_F(MainListsShown, MoreRowsThanAPageAndANewOutputRowShownWhole) {
  Fill(60, 40);
  ShowLists("full-page", true);
}

TEST_F(MainListsShown, NoRows) {
  Fill(0, 0);
  ShowLists("empty", false);
}

}  // namespace

int main(int argc, char** argv) { return testsupport::QtTestMain(argc, argv); }
