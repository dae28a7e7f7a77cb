// Column-header sorting on a list in the task list's format over a real
// Tasks.tps: one sequence of clicks, each with the order text it hands on,
// the header texts after it and the order of the rows.
#include "app/ui/sort_header.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/stdtime.h"
#include "tests/support/scripted.h"
#include "tests/support/task_window.h"
#include "tests/support/tempdir.h"

namespace {

namespace pu = platform::ui;
using app::ui::kCtrlMouseLeft;
using app::ui::kMouseLeft;
using app::ui::kShiftMouseLeft;
using testsupport::Scripted;
using testsupport::TaskWindow;
using Texts = std::vector<std::string>;

enum Column { kA = 1, kCas, kOpakovani, kPrvni, kPopis, kNaposledy };

Texts Headers(const char* a, const char* cas, const char* prvni, const char* popis) {
  return {a, cas, "Opakování", prvni, popis, "Naposledy spuštěno"};
}

const Texts kPlain = Headers("A", "Čas", "První spuštění", "Popis úlohy");
const Texts kByTime = {"áčko", "ryba", "Čas", "CESTA", "cesta", "čaj", "Ahoj", "Řeka"};
const Texts kByTimeDown = {"Řeka", "Ahoj", "čaj", "cesta", "CESTA", "Čas", "ryba", "áčko"};
// Czech order without regard to case; equal descriptions in file order.
const Texts kByName = {"Ahoj", "áčko", "cesta", "CESTA", "čaj", "Čas", "ryba", "Řeka"};
const Texts kByNameDown = {"Řeka", "ryba", "Čas", "čaj", "cesta", "CESTA", "áčko", "Ahoj"};

TEST(SortHeader, HeaderClicksSortTheListInSequence) {
  testsupport::TempDir dir(true);
  TaskWindow::AddCzechTasks();
  TaskWindow t;
  Scripted s(t.window);
  s.first = [&] { return static_cast<int>(t.header.OnSortHeaderEvent()); };

  struct Click {
    const char* what;
    int key;
    int column;
    bool releasedOutside;
    Texts applied;  // order texts handed to ApplySortOrder by the click
    Texts headers;
    Texts rows;
  };
  const std::vector<Click> table = {
      {"Popis úlohy", kMouseLeft, kPopis, false, {"+UPPER(TAS:NAZEV)"},
       Headers("A", "Čas", "První spuštění", "Popis úlohy[+]"), kByName},
      {"Popis úlohy again", kMouseLeft, kPopis, false, {"-UPPER(TAS:NAZEV)"},
       Headers("A", "Čas", "První spuštění", "Popis úlohy[-]"), kByNameDown},
      {"a third time", kMouseLeft, kPopis, false, {"+UPPER(TAS:NAZEV)"},
       Headers("A", "Čas", "První spuštění", "Popis úlohy[+]"), kByName},
      {"and a fourth", kMouseLeft, kPopis, false, {"-UPPER(TAS:NAZEV)"},
       Headers("A", "Čas", "První spuštění", "Popis úlohy[-]"), kByNameDown},
      // Equal descriptions now follow their times.
      {"Ctrl+Čas", kCtrlMouseLeft, kCas, false, {"-UPPER(TAS:NAZEV),+TAS:CAS_SPUSTENI"},
       Headers("A", "Čas[+2]", "První spuštění", "Popis úlohy[-1]"),
       {"Řeka", "ryba", "Čas", "čaj", "CESTA", "cesta", "áčko", "Ahoj"}},
      {"Ctrl+Čas again", kCtrlMouseLeft, kCas, false, {"-UPPER(TAS:NAZEV),-TAS:CAS_SPUSTENI"},
       Headers("A", "Čas[-2]", "První spuštění", "Popis úlohy[-1]"), kByNameDown},
      // The last click was on Čas, held as ascending: alone, descending.
      {"Čas", kMouseLeft, kCas, false, {"-TAS:CAS_SPUSTENI"}, Headers("A", "Čas[-]", "První spuštění", "Popis úlohy"),
       kByTimeDown},
      {"Shift+Čas", kShiftMouseLeft, kCas, false, {"", ""}, kPlain, kByTime},
      {"Čas after Shift", kMouseLeft, kCas, false, {"-TAS:CAS_SPUSTENI"},
       Headers("A", "Čas[-]", "První spuštění", "Popis úlohy"), kByTimeDown},
      {"Opakování", kMouseLeft, kOpakovani, false, {}, Headers("A", "Čas[-]", "První spuštění", "Popis úlohy"),
       kByTimeDown},
      {"released outside", kMouseLeft, kPrvni, true, {}, Headers("A", "Čas[-]", "První spuštění", "Popis úlohy"),
       kByTimeDown},
      {"A", kMouseLeft, kA, false, {"+TAS:AKTIVNI"}, Headers("A[+]", "Čas", "První spuštění", "Popis úlohy"),
       {"ryba", "cesta", "Čas", "Ahoj", "CESTA", "čaj", "áčko", "Řeka"}},
  };

  s.steps.push_back([&] {
    t.SetUpHeader();
    t.list.Refill();
  });
  s.steps.push_back([&] {
    EXPECT_EQ(t.Names(), kByTime);
    EXPECT_EQ(t.Headers(), kPlain);
  });
  for (std::size_t i = 0; i < table.size(); ++i) {
    s.steps.push_back([&, i] {
      const Click& c = table[i];
      t.header.applied.clear();
      t.list.MouseDown(c.key, 0, c.column, false);
      if (c.releasedOutside) t.list.RegionMouse(pu::EVENT::MouseOut, false);
      t.list.RegionMouse(pu::EVENT::MouseUp, !c.releasedOutside);
    });
    s.steps.push_back([&, i] {
      const Click& c = table[i];
      SCOPED_TRACE(c.what);
      EXPECT_EQ(t.header.applied, c.applied);
      EXPECT_EQ(t.Headers(), c.headers);
      EXPECT_EQ(t.Names(), c.rows);
      EXPECT_FALSE(t.list.RegionShown());
      EXPECT_EQ(t.header.MOUSEREGIONSTATUS, 0);
    });
  }
  // A click on a data row selects it, with the sort in force.
  s.steps.push_back([&] {
    t.header.applied.clear();
    t.list.MouseDown(kMouseLeft, 4, kPopis, false);
  });
  s.steps.push_back([&] {
    EXPECT_EQ(t.list.Selected(), 4);
    EXPECT_TRUE(t.header.applied.empty());
  });
  s.Run();
}

// The pressed look follows the mouse while the button is held.
TEST(SortHeader, APressedHeaderLooksPressedWhileTheMouseIsOverIt) {
  testsupport::TempDir dir(true);
  TaskWindow::AddCzechTasks();
  TaskWindow t;
  Scripted s(t.window);
  s.first = [&] { return static_cast<int>(t.header.OnSortHeaderEvent()); };
  struct Look {
    bool shown;
    int bevel;
    int offset;  // the pressed header's justification offset
    int status;
  };
  auto look = [&](const Look& want) {
    EXPECT_EQ(t.list.RegionShown(), want.shown);
    EXPECT_EQ(t.list.RegionColumn(), kPopis);
    EXPECT_EQ(t.list.RegionBevelInner(), want.bevel);
    EXPECT_EQ(t.list.RegionBevelOuter(), want.bevel);
    EXPECT_EQ(t.list.Column(kPopis).headerOffset, want.offset);
    EXPECT_EQ(t.header.MOUSEREGIONSTATUS, want.status);
  };
  s.steps = {
      [&] {
        t.SetUpHeader();
        t.list.Refill();
        t.list.MouseDown(kMouseLeft, 0, kPopis, false);
      },
      [&] {
        look({true, -1, 3, 1});
        t.list.RegionMouse(pu::EVENT::MouseOut, false);
      },
      [&] {
        look({true, 0, 2, 2});
        t.list.RegionMouse(pu::EVENT::MouseMove, false);
      },
      [&] {
        look({true, 0, 2, 2});
        t.list.RegionMouse(pu::EVENT::MouseIn, true);
      },
      [&] {
        look({true, -1, 3, 1});
        t.list.RegionMouse(pu::EVENT::MouseUp, true);
      },
      [&] {
        look({false, 0, 2, 0});
        EXPECT_EQ(t.header.applied, Texts{"+UPPER(TAS:NAZEV)"});
        // A press on a column's border presses nothing.
        t.list.MouseDown(kMouseLeft, 0, kCas, true);
      },
      [&] {
        EXPECT_FALSE(t.list.RegionShown());
        EXPECT_EQ(t.header.MOUSEREGIONSTATUS, 0);
      },
  };
  s.Run();
}

TEST(SortHeader, ColumnExpressionsFollowThePictureAndTheCaseSettings) {
  app::ui::SortHeader h;
  struct Case {
    uint8_t noCase, usePicture;
    const char* picture;
    const char* want;
  } cases[] = {
      {1, 0, "@s50", "-UPPER(TAS:NAZEV)"}, {1, 0, "", "-UPPER(TAS:NAZEV)"}, {1, 0, "@t7", "-TAS:NAZEV"},
      {1, 0, "@N3", "-TAS:NAZEV"},         {1, 0, "@d17B", "-TAS:NAZEV"},   {1, 0, "@e12", "-TAS:NAZEV"},
      {0, 1, "@S50", "-UPPER(TAS:NAZEV)"}, {0, 1, "", "-UPPER(TAS:NAZEV)"}, {0, 1, "@p##p", "-TAS:NAZEV"},
      {0, 0, "@s50", "-TAS:NAZEV"},
  };
  for (const auto& c : cases) {
    h.NOCASE = c.noCase;
    h.USEPICTUREFORCASE = c.usePicture;
    EXPECT_EQ(h.ColumnSortExpression('-', "TAS:NAZEV", c.picture), c.want) << c.picture;
  }
}

}  // namespace
