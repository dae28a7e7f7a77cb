// Lists over record views in the Qt view, on the offscreen platform: the
// task list's format over a real Tasks.tps, clicked through its real header
// and rows; the colours of its rows as painted.
//
// With VELORN_SCREENSHOTS naming a folder, the window is saved there.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QTreeView>
#include <string>
#include <vector>

#include "app/data/records.h"
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
  TaskWindow::AddCzechTasks();
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
        // Times and dates whole in the list's font, not cut to "12:…".
        for (int column : {kCas, kPrvni, kNaposledy})
          for (int row = 0; row < w.tree->model()->rowCount(); ++row)
            EXPECT_GE(w.header->sectionSize(column - 1),
                      w.tree->sizeHintForIndex(w.tree->model()->index(row, column - 1)).width())
                << column << " " << row;
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

TEST(QtLists, AnOutputIsEditedInPlaceThroughItsEntry) {
  testsupport::TempDir dir(true);
  using app::data::OutputsRecord;
  platform::rec::File<OutputsRecord> file(app::data::OutputsDecl()), own(app::data::OutputsDecl()),
      buffer(app::data::OutputsDecl());
  ASSERT_EQ(file.Create(), 0);
  for (auto* f : {&file, &own, &buffer}) ASSERT_EQ(f->Open(), 0);
  int n = 0;
  for (const char* name : {"Hala", "Sál", "Dvůr"}) {
    file.rec = OutputsRecord{++n, name};
    ASSERT_EQ(file.Add(), 0);
  }
  pu::Window w("Main");
  w.SetFont("Tahoma", 8);
  w.Add(pu::ControlKind::List, "?LIST:2");
  w.Add(pu::ControlKind::Button, "?CHANGE:2", "&Edituj");
  pu::RecordList list;
  ASSERT_TRUE(list.Init(w, "?LIST:2", "20C|~Číslo~@N3@40L(2)|~Název~@s10@"));
  list.SetFile(own);
  list.AddFileField("OUT:CISLO");
  list.AddFileField("OUT:NAZEV");
  list.AddSortOrder(app::data::OUT_KeyCislo);
  list.SetUpdateFile(buffer, nullptr);
  list.SetUpdateControls("", "?CHANGE:2", "");
  list.SetEditor(1, std::make_shared<pu::CellEditor>());
  list.SetEditor(2, std::make_shared<pu::CellEditor>());
  Scripted s(w);
  s.settle = Settle;
  QTreeView* tree = nullptr;
  QLineEdit* entry = nullptr;
  auto stored = [&] {
    platform::rec::File<OutputsRecord> f(app::data::OutputsDecl());
    EXPECT_EQ(f.Open(), 0);
    f.SetKeyOrder(app::data::OUT_KeyCislo);
    Texts out;
    while (f.Next() == 0) out.push_back(std::to_string(f.rec.CISLO) + " " + f.rec.NAZEV);
    return out;
  };
  s.steps = {
      [&] { list.Refill(); },
      [&] {
        tree = testsupport::TestView().ControlWidget(w, "?LIST:2")->findChild<QTreeView*>();
        ASSERT_NE(tree, nullptr);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(tree->model()->index(1, 1)).center());
        QTest::mouseClick(testsupport::TestView().ControlWidget(w, "?CHANGE:2"), Qt::LeftButton);
      },
      [&] {
        ASSERT_TRUE(list.Editing());
        entry = tree->viewport()->findChild<QLineEdit*>();
        ASSERT_NE(entry, nullptr);
        EXPECT_TRUE(entry->isVisible());
        EXPECT_EQ(entry->text().toStdString(), "2");
        QTest::keyClick(entry, Qt::Key_Tab);
      },
      [&] {
        EXPECT_EQ(list.EditColumn(), 2);
        EXPECT_EQ(entry->text().toStdString(), "Sál");
        entry->selectAll();
        for (const QChar c : QStringLiteral("Jídelna")) {
          QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
          QCoreApplication::sendEvent(entry, &press);
        }
        testsupport::Shot(testsupport::TestView().NativeOf(w), "output_list_edit");
        QTest::keyClick(entry, Qt::Key_Return);
      },
      [&] {
        EXPECT_FALSE(list.Editing());
        EXPECT_FALSE(entry->isVisible());
        EXPECT_EQ(stored(), (Texts{"1 Hala", "2 Jídelna", "3 Dvůr"}));
        EXPECT_EQ(tree->model()->data(tree->model()->index(1, 1)).toString().toStdString(), "Jídelna");
      },
  };
  s.Run();
}

TEST(QtLists, ADropListChoiceLoadsItsOwnRecord) {
  testsupport::TempDir dir(true);
  using app::data::PresetRecord;
  platform::rec::File<PresetRecord> file(app::data::PresetDecl()), own(app::data::PresetDecl()),
      buffer(app::data::PresetDecl());
  ASSERT_EQ(file.Create(), 0);
  for (auto* f : {&file, &own, &buffer}) ASSERT_EQ(f->Open(), 0);
  for (const auto& [name, mask] : {std::pair{"Vše", "FF"}, std::pair{"Hala", "01"}, std::pair{"Vše", "0F"}}) {
    file.ClearBuffer();
    app::data::PrimePresetDefaults(file.rec);
    ASSERT_EQ(file.PrimeAutoNumber(), 0);
    file.rec.NAZEV = name;
    file.rec.VYSTUP1_5 = mask;
    ASSERT_EQ(file.Add(), 0);
  }
  pu::Window w("Main");
  w.Add(pu::ControlKind::DropList, "?PRE:NAZEV");
  pu::RecordList drop;
  ASSERT_TRUE(drop.Init(w, "?PRE:NAZEV", "92L(2)|M@s20@56R(2)|M@n-14@"));
  drop.SetFile(own);
  drop.AddFileField("PRE:NAZEV");
  drop.AddFileField("PRE:ID");
  drop.AddSortOrder(app::data::PRE_KeyId);
  drop.SetUpdateFile(buffer, nullptr);
  Scripted s(w);
  s.settle = Settle;
  Texts seen;
  s.onAccepted = [&] { seen.push_back(std::to_string(buffer.rec.ID) + " " + buffer.rec.NAZEV + " " + buffer.rec.VYSTUP1_5); };
  QComboBox* combo = nullptr;
  s.steps = {
      [&] { drop.Refill(); },
      [&] {
        combo = qobject_cast<QComboBox*>(testsupport::TestView().ControlWidget(w, "?PRE:NAZEV"));
        ASSERT_NE(combo, nullptr);
        ASSERT_EQ(combo->count(), 3);
        EXPECT_EQ(combo->itemText(2).toStdString(), "Vše");
        combo->setFocus();
        QTest::keyClick(combo, Qt::Key_End);
      },
      [&] {
        EXPECT_EQ(seen, Texts{"3 Vše 0F"});
        EXPECT_EQ(combo->currentIndex(), 2);
      },
  };
  s.Run();
}

}  // namespace

int main(int argc, char** argv) { return testsupport::QtTestMain(argc, argv); }
