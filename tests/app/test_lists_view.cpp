// Lists over record views in the Qt view, on the offscreen platform: the
// task list's format over a real Tasks.tps, clicked through its real header
// and rows; the colours of its rows as painted.
//
// With VELORN_SCREENSHOTS naming a folder, the window is saved there.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QHeaderView>
#include <QImage>
#include <QScrollBar>
#include <QTest>
#include <QTreeView>
#include <string>
#include <vector>

#include "app/ui/sort_header.h"
#include "platform/qt/qtview.h"
#include "platform/stdtime.h"
#include "tests/support/qt_main.h"
#include "tests/support/scripted.h"
#include "tests/support/task_window.h"
#include "tests/support/tempdir.h"

namespace {

namespace pu = platform::ui;
using platform::TimeFromHms;
using testsupport::Scripted;
using testsupport::TaskWindow;
using Texts = std::vector<std::string>;

enum Column { kA = 1, kCas, kOpakovani, kPrvni, kPopis, kNaposledy };

void AddFixture() {
  TaskWindow::AddTask("cesta", TimeFromHms(10, 0, 0), 1, 0, "0A", platform::DateFromYmd(2026, 3, 4));
  TaskWindow::AddTask("Čas", TimeFromHms(8, 0, 0));
  TaskWindow::AddTask("Ahoj", TimeFromHms(12, 0, 0));
  TaskWindow::AddTask("CESTA", TimeFromHms(9, 0, 0));
  TaskWindow::AddTask("ryba", TimeFromHms(7, 0, 0), 0);     // inactive: red
  TaskWindow::AddTask("čaj", TimeFromHms(11, 0, 0), 1, 1);  // deletes itself: orange
  TaskWindow::AddTask("áčko", TimeFromHms(6, 0, 0));
  TaskWindow::AddTask("Řeka", TimeFromHms(13, 0, 0), 1, 1, "7F");
}

// The widgets catch up with the model before each step.
void Settle() {
  testsupport::TestView().Flush();
  QCoreApplication::processEvents();
}

struct Widgets {
  QTreeView* tree = nullptr;
  QHeaderView* header = nullptr;
  QScrollBar* bar = nullptr;
};

Widgets Find(pu::Window& w) {
  Widgets out;
  QWidget* box = testsupport::TestView().ControlWidget(w, "?LIST");
  EXPECT_NE(box, nullptr);
  if (box == nullptr) return out;
  out.tree = box->findChild<QTreeView*>();
  out.header = out.tree != nullptr ? out.tree->header() : nullptr;
  out.bar = box->findChild<QScrollBar*>();
  EXPECT_NE(out.header, nullptr);
  return out;
}

QPoint SectionCentre(QHeaderView* h, int column) {
  return {h->sectionViewportPosition(column - 1) + h->sectionSize(column - 1) / 2, h->height() / 2};
}

// The descriptions as the view shows them.
Texts Shown(QTreeView* tree) {
  Texts out;
  for (int r = 0; r < tree->model()->rowCount(); ++r)
    out.push_back(tree->model()->data(tree->model()->index(r, kPopis - 1)).toString().toStdString());
  return out;
}

// Whether the row's description is painted with a pixel near the colour.
bool Painted(QTreeView* tree, int row, QColor colour) {
  const QImage image = tree->viewport()->grab().toImage();
  const QRect cell = tree->visualRect(tree->model()->index(row, kPopis - 1));
  for (int y = cell.top(); y <= cell.bottom(); ++y)
    for (int x = cell.left(); x <= cell.right(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) + std::abs(c.blue() - colour.blue()) < 60)
        return true;
    }
  return false;
}

TEST(QtLists, TheRealHeaderSortsOnAClickOnlyAndRowsTakeClicks) {
  testsupport::TempDir dir(true);
  AddFixture();
  TaskWindow t;
  Scripted s(t.window);
  s.first = [&] { return static_cast<int>(t.header.OnSortHeaderEvent()); };
  s.settle = Settle;
  t.window.SetPlacement({60, 60, 760, 300});  // room for every row
  Widgets w;
  int popisWidth = 0;
  s.steps = {
      [&] {
        t.SetUpHeader();
        t.list.Refill();
      },
      [&] {
        w = Find(t.window);
        ASSERT_NE(w.header, nullptr);
        EXPECT_EQ(Shown(w.tree), (Texts{"áčko", "ryba", "Čas", "CESTA", "cesta", "čaj", "Ahoj", "Řeka"}));
        EXPECT_EQ(w.header->sectionsClickable(), false);
        QTest::mouseClick(w.header->viewport(), Qt::LeftButton, {}, SectionCentre(w.header, kPopis));
      },
      [&] {
        EXPECT_EQ(t.header.applied, Texts{"+UPPER(TAS:NAZEV)"});
        EXPECT_EQ(w.tree->model()->headerData(kPopis - 1, Qt::Horizontal).toString().toStdString(), "Popis úlohy[+]");
        EXPECT_EQ(Shown(w.tree), (Texts{"Ahoj", "áčko", "cesta", "CESTA", "čaj", "Čas", "ryba", "Řeka"}));
        testsupport::Shot(testsupport::TestView().NativeOf(t.window), "task_list_sorted");
        // The rows' colours as painted: the inactive one red, the one that
        // deletes itself orange, the others neither.
        const int ryba = 6, caj = 4, ahoj = 0;
        EXPECT_TRUE(Painted(w.tree, ryba, QColor(0xFF, 0, 0)));
        EXPECT_TRUE(Painted(w.tree, caj, QColor(0xFF, 0x80, 0)));
        EXPECT_FALSE(Painted(w.tree, ahoj, QColor(0xFF, 0, 0)));
        EXPECT_FALSE(Painted(w.tree, ahoj, QColor(0xFF, 0x80, 0)));
        t.header.applied.clear();
        // Pressed on "První spuštění", released over "Naposledy spuštěno".
        QTest::mousePress(w.header->viewport(), Qt::LeftButton, {}, SectionCentre(w.header, kPrvni));
      },
      [&] {
        EXPECT_TRUE(t.list.RegionShown());
        EXPECT_EQ(t.list.RegionColumn(), kPrvni);
        testsupport::Shot(testsupport::TestView().NativeOf(t.window), "task_list_header_pressed");
        QTest::mouseMove(w.header->viewport(), SectionCentre(w.header, kNaposledy));
        QTest::mouseRelease(w.header->viewport(), Qt::LeftButton, {}, SectionCentre(w.header, kNaposledy));
      },
      [&] {
        EXPECT_TRUE(t.header.applied.empty());
        EXPECT_FALSE(t.list.RegionShown());
        EXPECT_EQ(t.header.MOUSEREGIONSTATUS, 0);
        // A drag on the border after "Popis úlohy" widens it and sorts nothing.
        popisWidth = w.header->sectionSize(kPopis - 1);
        const int border = w.header->sectionViewportPosition(kPopis - 1) + popisWidth - 1;
        const int y = w.header->height() / 2;
        QTest::mousePress(w.header->viewport(), Qt::LeftButton, {}, QPoint(border, y));
        QTest::mouseMove(w.header->viewport(), QPoint(border + 20, y));
        QTest::mouseMove(w.header->viewport(), QPoint(border + 40, y));
        QTest::mouseRelease(w.header->viewport(), Qt::LeftButton, {}, QPoint(border + 40, y));
      },
      [&] {
        EXPECT_EQ(w.header->sectionSize(kPopis - 1), popisWidth + 40);
        EXPECT_TRUE(t.header.applied.empty());
        EXPECT_TRUE(t.list.LastPress().border);
        EXPECT_EQ(w.tree->model()->headerData(kPopis - 1, Qt::Horizontal).toString().toStdString(), "Popis úlohy[+]");
        // A click on the third row selects it.
        QTest::mouseClick(w.tree->viewport(), Qt::LeftButton, {},
                          w.tree->visualRect(w.tree->model()->index(2, kPopis - 1)).center());
      },
      [&] {
        EXPECT_EQ(t.list.Selected(), 3);
        EXPECT_EQ(w.tree->currentIndex().row(), 2);
        EXPECT_TRUE(t.header.applied.empty());
        testsupport::Shot(testsupport::TestView().NativeOf(t.window), "task_list_row_selected");
      },
  };
  s.Run();
}

TEST(QtLists, TheScrollBarAndKeysMoveThroughPagesOfAFile) {
  testsupport::TempDir dir(true);
  for (int i = 0; i < 60; ++i) TaskWindow::AddTask("Úloha " + std::to_string(i + 1), TimeFromHms(6, i, 0));
  TaskWindow t;
  Scripted s(t.window);
  s.settle = Settle;
  Widgets w;
  s.steps = {
      [&] { t.list.Refill(); },
      [&] {
        w = Find(t.window);
        ASSERT_NE(w.bar, nullptr);
        // The page is what fits; the bar counts the records beyond it.
        EXPECT_GT(t.list.Items(), 3);
        EXPECT_EQ(t.list.Rows(), t.list.Items());
        EXPECT_EQ(w.tree->model()->rowCount(), t.list.Rows());
        EXPECT_EQ(w.bar->maximum(), 60 - t.list.Rows());
        EXPECT_EQ(w.bar->value(), 0);
        w.tree->setFocus();
        QTest::keyClick(w.tree, Qt::Key_End);
      },
      [&] {
        EXPECT_EQ(Shown(w.tree).back(), "Úloha 60");
        EXPECT_EQ(w.bar->value(), w.bar->maximum());
        QTest::keyClick(w.tree, Qt::Key_Home);
        QTest::keyClick(w.tree, Qt::Key_PageDown);
      },
      [&] {
        EXPECT_EQ(Shown(w.tree).front(), "Úloha " + std::to_string(t.list.Items() + 1));
        EXPECT_EQ(w.bar->value(), t.list.Items());
        // The locator: 06:45 and on.
        QTest::keyClicks(w.tree, "6:45");
      },
      [&] {
        EXPECT_EQ(w.tree->model()->data(w.tree->currentIndex().siblingAtColumn(kPopis - 1)).toString().toStdString(),
                  "Úloha 46");
      },
  };
  s.Run();
}

}  // namespace

int main(int argc, char** argv) { return testsupport::QtTestMain(argc, argv); }
