// Lists over record views, headless: pages and the selection across
// refills, the locator, mouse presses and alerts, the popup menu, updates
// through a form, the in-place edit and drop lists.
#include "platform/recordlist.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/locale_texts.h"
#include "platform/msgbox.h"
#include "platform/stdtime.h"
#include "tests/support/record_decl.h"
#include "tests/support/scripted.h"
#include "tests/support/tempdir.h"

namespace platform::ui {
namespace {

using platform::TimeFromHms;
using rec::FieldType;
using rec::File;
using rec::FileDecl;
namespace code = platform::locale;

using testsupport::Key;

// Items: a number, a flag, a time and a name.
struct Item {
  int32_t id = 0;
  uint8_t flag = 0;
  StdTime time = 0;
  std::string name;  // STRING(20)
};

const FileDecl& Items() {
  static const FileDecl d = testsupport::Decl(
      "ITEMS", "Items.tps", 29,
      {rec::Field("ITE:ID", FieldType::Long, 0, &Item::id), rec::Field("ITE:FLAG", FieldType::Byte, 4, &Item::flag),
       rec::Field("ITE:TIME", FieldType::Time, 5, &Item::time), rec::Field("ITE:NAME", FieldType::String, 9, &Item::name, 20)},
      {Key("ITE:KeyId", {0}, true), Key("ITE:KeyTime", {2}, false)});
  return d;
}

// Outputs: a number (the primary key) and a name.
struct Out {
  int32_t num = 0;
  std::string name;  // STRING(10)
};

const FileDecl& Outs() {
  static const FileDecl d = testsupport::Decl(
      "OUTS", "Outs.tps", 14,
      {rec::Field("OUS:NUM", FieldType::Long, 0, &Out::num), rec::Field("OUS:NAME", FieldType::String, 4, &Out::name, 10)},
      {Key("OUS:KeyNum", {0}, true)});
  return d;
}

using testsupport::Scripted;
std::string Ev(int number, const std::string& label, int key = 0) { return Scripted::Ev(number, label, key); }

class ItemList : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(file_.Create(), 0);
    ASSERT_EQ(file_.Open(), 0);
    ASSERT_EQ(own_.Open(), 0);
    ASSERT_EQ(other_.Open(), 0);
    // Items 1 .. 25, ten minutes apart from 00:10; the odd ones flagged.
    for (int i = 1; i <= 25; ++i) {
      other_.rec = Item{i, static_cast<uint8_t>(i % 2), TimeFromHms(i / 6, (i % 6) * 10, 0), "Položka " + std::to_string(i)};
      ASSERT_EQ(other_.Add(), 0);
    }
    w_.Add(ControlKind::List, "?LIST");
    w_.Add(ControlKind::Button, "?INSERT");
    w_.Add(ControlKind::Button, "?CHANGE");
    w_.Add(ControlKind::Button, "?COPY");
    ASSERT_TRUE(list_.Init(w_, "?LIST", "20R|~Číslo~@n4@40R|~Čas~@t7@80L|M~Název~@s20@"));
    list_.SetFile(own_);
    list_.AddFileField("ITE:ID");
    list_.AddFileField("ITE:TIME");
    list_.AddFileField("ITE:NAME");
    list_.SetItems(5);
    list_.AddSortOrder(1);
  }

  std::vector<int32_t> Page() const {
    std::vector<int32_t> ids;
    for (int r = 1; r <= const_cast<RecordList&>(list_).Rows(); ++r) ids.push_back(static_cast<int32_t>(ValueNumber(list_.Row(r).fields[0])));
    return ids;
  }
  int32_t SelectedId() const {
    return list_.Selected() ? static_cast<int32_t>(ValueNumber(list_.Row(list_.Selected()).fields[0])) : 0;
  }

  testsupport::TempDir dir_{true};
  File<Item> file_{Items()};   // creates the file
  File<Item> own_{Items()};    // the list's own instance
  File<Item> other_{Items()};  // another user of the file
  Window w_{"Lists"};
  RecordList list_;
};

TEST_F(ItemList, PagesMoveWithTheSelectionAndARefillKeepsTheSelectedRecord) {
  Scripted s(w_);
  struct Row {
    const char* what;
    std::function<void()> act;
    std::vector<int32_t> page;
    int32_t selected;
    int64_t before;
  };
  std::vector<Row> table = {
      {"refill", [&] { list_.Refill(); }, {1, 2, 3, 4, 5}, 1, 0},
      {"down x4", [&] { for (int i = 0; i < 4; ++i) list_.Scroll(EVENT::ScrollDown); }, {1, 2, 3, 4, 5}, 5, 0},
      {"down at the last row", [&] { list_.Scroll(EVENT::ScrollDown); }, {2, 3, 4, 5, 6}, 6, 1},
      {"page down", [&] { list_.Scroll(EVENT::PageDown); }, {7, 8, 9, 10, 11}, 11, 6},
      {"bottom", [&] { list_.Scroll(EVENT::ScrollBottom); }, {21, 22, 23, 24, 25}, 25, 20},
      {"down at the end", [&] { list_.Scroll(EVENT::ScrollDown); }, {21, 22, 23, 24, 25}, 25, 20},
      {"page up", [&] { list_.Scroll(EVENT::PageUp); }, {16, 17, 18, 19, 20}, 20, 15},
      {"top", [&] { list_.Scroll(EVENT::ScrollTop); }, {1, 2, 3, 4, 5}, 1, 0},
      {"up at the top", [&] { list_.Scroll(EVENT::ScrollUp); }, {1, 2, 3, 4, 5}, 1, 0},
      {"thumb to 10 before", [&] { list_.DragThumb(10); }, {11, 12, 13, 14, 15}, 11, 10},
      {"row 3", [&] { w_.Choose("?LIST", 3); }, {11, 12, 13, 14, 15}, 13, 10},
      // The filter leaves the odd ones; 13 stays selected on row 3.
      {"filter", [&] { ASSERT_EQ(list_.SetFilter("ITE:Flag=1"), 0); list_.Refill(); }, {9, 11, 13, 15, 17}, 13, 4},
      // Another user moves 13 to the end of the day: it stays selected; the
      // page fills up with the records before it.
      {"moved", [&] {
         other_.rec.id = 13;
         ASSERT_EQ(other_.SetKeyFromBuffer(0), 0);
         ASSERT_EQ(other_.Next(), 0);
         other_.rec.time = TimeFromHms(23, 0, 0);
         ASSERT_EQ(other_.Put(), 0);
         list_.Refill();
       }, {19, 21, 23, 25, 13}, 13, 8},
      // Deleted: the selection stays on its row, now another record's.
      {"deleted", [&] {
         ASSERT_EQ(other_.Delete(), 0);
         list_.Refill();
       }, {17, 19, 21, 23, 25}, 25, 7},
      {"unfiltered, top", [&] { list_.SetFilter(""); list_.Scroll(EVENT::ScrollTop); }, {1, 2, 3, 4, 5}, 1, 0},
  };
  // Each row is checked one step later, when its events have been handled.
  for (std::size_t i = 0; i < table.size(); ++i) {
    s.steps.push_back([&, i] { table[i].act(); });
    s.steps.push_back([&, i] {
      SCOPED_TRACE(table[i].what);
      EXPECT_EQ(Page(), table[i].page);
      EXPECT_EQ(SelectedId(), table[i].selected);
      EXPECT_EQ(list_.RecordsBefore(), table[i].before);
    });
  }
  s.Run();
  EXPECT_EQ(list_.ViewRecords(), 24);
}

TEST_F(ItemList, TheLocatorMovesToTheFirstRecordAtOrBeyondTheTypedValue) {
  Scripted s(w_);
  struct Row {
    const char* typed;
    const char* order;  // nullptr: the key order
    int32_t selected;
    int32_t first;
  } table[] = {
      {"2", nullptr, 12, 12},          // 02:00
      {":3", nullptr, 13, 13},         // 2:3 -> 02:03, the first after it is 02:10
      {"\b", nullptr, 13, 13},         // "2:" does not read as a time: nothing moves
      {"\b", nullptr, 12, 12},
      {"9", nullptr, 12, 12},          // 29 is no time
      {"\b\b4:1", nullptr, 25, 21},    // the last record: the page ends with it
      {"\b\b\b\b2", "-ITE:TIME", 12, 12},  // descending: the first at or before 02:00
  };
  s.steps.push_back([&] { list_.Refill(); });
  for (const Row& r : table) {
    s.steps.push_back([&, r] {
      if (r.order) {
        ASSERT_EQ(list_.SetOrderText(r.order), 0);
      }
      std::string t = r.typed;
      for (std::size_t i = 0; i < t.size(); ++i)
        list_.TypeLocator(t[i] == '\b' ? std::string_view("\b") : std::string_view(&t[i], 1));
    });
    s.steps.push_back([&, r] {
      SCOPED_TRACE(r.typed);
      EXPECT_EQ(SelectedId(), r.selected);
      EXPECT_EQ(Page().front(), r.first);
    });
  }
  s.Run();
  EXPECT_EQ(list_.LocatorText(), "2");
}

TEST_F(ItemList, PressesGiveAlertsOrSelectRowsAndTheRegionReportsTheMouse) {
  Scripted s(w_);
  const int region = list_.MakeRegion();
  EXPECT_EQ(list_.MakeRegion(), region);
  EXPECT_EQ(w_.At(region)->Kind(), ControlKind::Region);
  list_.AddPopupItem("&Kopíruj úlohu", "?COPY");
  s.steps = {
      [&] { list_.Refill(); },
      [&] {
        s.TakeLog();
        list_.MouseDown(1, 3, 2, false);  // not alerted: the row is selected
      },
      [&] {
        EXPECT_EQ(s.TakeLog(), (std::vector<std::string>{Ev(EVENT::NewSelection, "?LIST")}));
        EXPECT_EQ(list_.Selected(), 3);
        list_.Alert(1);
        w_.Alert(0x201);
        list_.MouseDown(1, 0, 2, true);      // the list's alert
        list_.MouseDown(0x201, 0, 3, false); // the window's alert
        list_.MouseDown(0x101, 4, 1, false); // nobody's: a row selected
        list_.MouseDown(1, 5, 1, false);     // alerted: no selection
      },
      [&] {
        EXPECT_EQ(s.TakeLog(), (std::vector<std::string>{
                                   Ev(EVENT::PreAlertKey, "?LIST", 1), Ev(EVENT::AlertKey, "?LIST", 1),
                                   Ev(EVENT::PreAlertKey, "", 0x201), Ev(EVENT::AlertKey, "", 0x201),
                                   Ev(EVENT::NewSelection, "?LIST"),
                                   Ev(EVENT::PreAlertKey, "?LIST", 1), Ev(EVENT::AlertKey, "?LIST", 1)}));
        EXPECT_EQ(list_.Selected(), 4);
        EXPECT_EQ(list_.LastPress().row, 5);
        EXPECT_EQ(RecordList::LastPressed(), &list_);
        w_.At(region)->Show();
        list_.PlaceRegion(2);
        list_.SetRegionBevel(-1, -1);
        EXPECT_TRUE(list_.RegionShown());
        list_.RegionMouse(EVENT::MouseOut, false);
        list_.RegionMouse(EVENT::MouseUp, true);
        list_.ChoosePopup(1);
        list_.SetPopupItemEnabled(1, false);
        list_.ChoosePopup(1);
      },
      [&] {
        const std::string r = w_.At(region)->Label();
        EXPECT_EQ(s.TakeLog(), (std::vector<std::string>{Ev(EVENT::MouseOut, r), Ev(EVENT::MouseUp, r, 1),
                                                         Ev(EVENT::Accepted, "?COPY")}));
        EXPECT_TRUE(list_.MouseInRegion());
      },
  };
  s.Run();
}

TEST_F(ItemList, AFormInsertsAndChangesTheRecordTheListReadThroughTheWindowsInstance) {
  File<Item> window{Items()};  // the window's instance, whose buffer the form works on
  ASSERT_EQ(window.Open(), 0);
  list_.SetUpdateFile(window, [&](bool keep) {
    if (!keep) window.ClearBuffer();
    window.rec.flag = 1;
    return window.PrimeAutoNumber();
  });
  list_.SetUpdateControls("?INSERT", "?CHANGE", "");
  std::vector<std::string> calls;
  list_.SetUpdateProcedure(1, [&](int procedure, uint8_t request) -> uint8_t {
    calls.push_back(std::to_string(procedure) + "/" + std::to_string(request) + " " + std::to_string(window.rec.id) +
                    " " + window.rec.name);
    if (request == InsertRecord) {
      window.rec.time = TimeFromHms(0, 35, 0);
      window.rec.name = "Nová";
      return window.Add() == 0 ? RequestCompleted : RequestCancelled;
    }
    window.rec.time = TimeFromHms(3, 5, 0);  // moves it in the list's order
    return window.Put() == 0 ? RequestCompleted : RequestCancelled;
  });
  Scripted s(w_);
  s.steps = {
      [&] { list_.Refill(); },
      [&] { w_.Choose("?LIST", 2); },
      [&] { w_.Press("?INSERT"); },
      [&] {
        // The new record, between 00:30 and 00:40, on the selected row.
        EXPECT_EQ(Page(), (std::vector<int32_t>{3, 26, 4, 5, 6}));
        EXPECT_EQ(SelectedId(), 26);
        list_.Activate(3);  // a double click: the change control's work
      },
      [&] {
        // Moved to 03:05, still selected on its row.
        EXPECT_EQ(Page(), (std::vector<int32_t>{17, 18, 4, 19, 20}));
        EXPECT_EQ(SelectedId(), 4);
        EXPECT_EQ(list_.Selected(), 3);
      },
  };
  s.Run();
  EXPECT_EQ(calls, (std::vector<std::string>{"1/1 26 ", "1/2 4 Položka 4"}));
}

class OutputList : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(file_.Create(), 0);
    ASSERT_EQ(file_.Open(), 0);
    ASSERT_EQ(own_.Open(), 0);
    ASSERT_EQ(window_.Open(), 0);
    for (int i = 1; i <= 4; ++i) {
      file_.rec = Out{i, "Zóna " + std::to_string(i)};
      ASSERT_EQ(file_.Add(), 0);
    }
    w_.Add(ControlKind::List, "?LIST:2");
    w_.Add(ControlKind::Button, "?INSERT:2");
    w_.Add(ControlKind::Button, "?CHANGE:2");
    w_.Add(ControlKind::Button, "?DELETE:2");
    ASSERT_TRUE(list_.Init(w_, "?LIST:2", "20C|~Číslo~@N3@40L(2)|~Název~@s10@"));
    list_.SetFile(own_);
    list_.AddFileField("OUS:NUM");
    list_.AddFileField("OUS:NAME");
    list_.AddSortOrder(0);
    list_.SetUpdateFile(window_, nullptr);
    list_.SetUpdateControls("?INSERT:2", "?CHANGE:2", "?DELETE:2");
    auto number = std::make_shared<CellEditor>();
    number->required = true;
    list_.SetEditor(1, number);
    list_.SetEditor(2, std::make_shared<CellEditor>());
  }
  // The file as another reader sees it.
  std::vector<std::string> Stored() {
    std::vector<std::string> out;
    File<Out> f(Outs());
    EXPECT_EQ(f.Open(), 0);
    f.SetKeyOrder(0);
    while (f.Next() == 0) out.push_back(std::to_string(f.rec.num) + " " + f.rec.name);
    return out;
  }

  testsupport::TempDir dir_{true};
  File<Out> file_{Outs()};
  File<Out> own_{Outs()};
  File<Out> window_{Outs()};
  Window w_{"Outputs"};
  RecordList list_;
};

TEST_F(OutputList, AnEditIsInTheFileAtOnceAndARefusedOneChangesNothing) {
  std::vector<std::string> boxes;
  platform::SetBoxView([&](std::string_view text, std::string_view caption, BoxIcon, unsigned, unsigned) {
    boxes.push_back(std::string(caption) + ": " + std::string(text));
    return unsigned{BoxOk};
  });
  Scripted s(w_);
  s.steps = {
      [&] { list_.Refill(); },
      [&] {
        w_.Choose("?LIST:2", 2);
        w_.Press("?CHANGE:2");
      },
      [&] {
        ASSERT_TRUE(list_.Editing());
        EXPECT_EQ(list_.EditRow(), 2);
        EXPECT_EQ(list_.EditText(1), "2");
        EXPECT_EQ(list_.EditText(2), "Zóna 2");
        list_.EditType(2, "Sál");
        list_.EditKey(0x0D);
      },
      [&] {
        EXPECT_FALSE(list_.Editing());
        EXPECT_EQ(Stored(), (std::vector<std::string>{"1 Zóna 1", "2 Sál", "3 Zóna 3", "4 Zóna 4"}));
        w_.Press("?CHANGE:2");
      },
      [&] {
        // A number another output has: refused with 40, the edit stays.
        list_.EditType(1, "3");
        list_.EditType(2, "Jiný");
        EXPECT_EQ(list_.AcceptEdit(), code::DuplicateKey);
        EXPECT_TRUE(list_.Editing());
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_NE(boxes[0].find("Chyba při zápisu do souboru Outs.tps."), std::string::npos) << boxes[0];
        EXPECT_NE(boxes[0].find("(40)"), std::string::npos) << boxes[0];
        EXPECT_EQ(Stored(), (std::vector<std::string>{"1 Zóna 1", "2 Sál", "3 Zóna 3", "4 Zóna 4"}));
        // An empty required number, and a text that is no number: the edit
        // stays on that column, nothing written.
        list_.EditType(1, "0");
        EXPECT_EQ(list_.AcceptEdit(), -1);
        list_.EditType(1, "x");
        list_.EditType(2, "Jiný");
        EXPECT_EQ(list_.AcceptEdit(), -1);
        EXPECT_EQ(list_.EditColumn(), 1);
        EXPECT_EQ(Stored(), (std::vector<std::string>{"1 Zóna 1", "2 Sál", "3 Zóna 3", "4 Zóna 4"}));
        list_.EditKey(0x1B);
      },
      [&] {
        EXPECT_FALSE(list_.Editing());
        w_.Press("?INSERT:2");
      },
      [&] {
        ASSERT_TRUE(list_.Editing());
        EXPECT_TRUE(list_.EditingNewRow());
        EXPECT_EQ(list_.EditText(1), "5");  // the next number
        list_.EditKey(0x09);
      },
      [&] {
        EXPECT_EQ(list_.EditColumn(), 2);
        list_.EditType(2, "Nová");
        list_.EditKey(0x0D);
      },
      [&] {
        EXPECT_EQ(Stored(), (std::vector<std::string>{"1 Zóna 1", "2 Sál", "3 Zóna 3", "4 Zóna 4", "5 Nová"}));
        EXPECT_EQ(list_.Selected(), 5);
        w_.Choose("?LIST:2", 1);
        w_.Press("?DELETE:2");
      },
      [&] {
        EXPECT_EQ(Stored(), (std::vector<std::string>{"2 Sál", "3 Zóna 3", "4 Zóna 4", "5 Nová"}));
        EXPECT_EQ(list_.Rows(), 4);
        EXPECT_EQ(list_.Cell(1, 2), "Sál");
      },
  };
  s.Run();
  platform::SetBoxView(nullptr);
  EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(OutputList, ANewRowOfAFullPageIsShownThePageScrollingARow) {
  const auto cells = [&] {
    std::vector<std::string> out;
    for (int r = 1; r <= list_.Rows(); ++r) out.push_back(list_.Cell(r, 2));
    return out;
  };
  using Texts = std::vector<std::string>;
  Scripted s(w_);
  s.steps = {
      [&] {
        list_.SetItems(3);
        list_.Refill();
      },
      [&] {
        EXPECT_EQ(cells(), (Texts{"Zóna 1", "Zóna 2", "Zóna 3"}));
        w_.Choose("?LIST:2", 3);
        w_.Press("?INSERT:2");
      },
      [&] {
        // The new row is the third shown, after the page less its first row.
        ASSERT_TRUE(list_.EditingNewRow());
        EXPECT_EQ(list_.EditRow(), 3);
        EXPECT_EQ(cells(), (Texts{"Zóna 2", "Zóna 3"}));
        EXPECT_EQ(list_.Selected(), 2);
        EXPECT_EQ(list_.RecordsBefore(), 1);
        list_.EditKey(0x1B);
      },
      [&] {
        // Cancelled: a full page again, the selected record still selected.
        EXPECT_FALSE(list_.Editing());
        EXPECT_EQ(list_.Rows(), 3);
        EXPECT_EQ(list_.Cell(list_.Selected(), 2), "Zóna 3");
        w_.Press("?INSERT:2");
      },
      [&] {
        ASSERT_TRUE(list_.EditingNewRow());
        EXPECT_LE(list_.EditRow(), 3);
        list_.EditType(2, "Nová");
        list_.EditKey(0x0D);
      },
      [&] {
        EXPECT_EQ(Stored(), (Texts{"1 Zóna 1", "2 Zóna 2", "3 Zóna 3", "4 Zóna 4", "5 Nová"}));
        EXPECT_EQ(list_.Rows(), 3);
        EXPECT_EQ(list_.Cell(list_.Selected(), 2), "Nová");
        list_.SetItems(10);
        list_.Refill();
        w_.Press("?INSERT:2");
      },
      [&] {
        // Room on the page: nothing scrolls.
        EXPECT_EQ(list_.EditRow(), 6);
        EXPECT_EQ(list_.Rows(), 5);
        EXPECT_EQ(list_.RecordsBefore(), 0);
        list_.EditKey(0x1B);
      },
  };
  s.Run();
}

// Presets: a name and a mask; two of the same name.
struct Preset {
  int32_t id = 0;
  std::string name;  // STRING(20)
  std::string mask;  // STRING(2)
};

TEST(DropList, AChoiceLoadsItsRecordByItsNumberBeforeTheAcceptedEvent) {
  testsupport::TempDir dir(true);
  static const FileDecl decl = testsupport::Decl(
      "PRESETS", "Presets.tps", 26,
      {rec::Field("PRS:ID", FieldType::Long, 0, &Preset::id), rec::Field("PRS:NAZEV", FieldType::String, 4, &Preset::name, 20),
       rec::Field("PRS:MASK", FieldType::String, 24, &Preset::mask, 2)},
      {Key("PRS:KeyId", {0}, true)});
  File<Preset> file(decl), own(decl), window(decl);
  ASSERT_EQ(file.Create(), 0);
  for (File<Preset>* f : {&file, &own, &window}) ASSERT_EQ(f->Open(), 0);
  for (const Preset& p : {Preset{1, "Vše", "FF"}, Preset{2, "Hala", "01"}, Preset{3, "Vše", "0F"}}) {
    file.rec = p;
    ASSERT_EQ(file.Add(), 0);
  }
  Window w("Presets");
  w.Add(ControlKind::DropList, "?PRE:NAZEV");
  RecordList drop;
  ASSERT_TRUE(drop.Init(w, "?PRE:NAZEV", "92L(2)|M@s20@56R(2)|M@n-14@"));
  drop.SetFile(own);
  drop.AddFileField("PRS:NAZEV");
  drop.AddFileField("PRS:ID");
  drop.AddSortOrder(0);
  drop.SetUpdateFile(window, nullptr);
  Scripted s(w);
  std::vector<std::string> seen;
  s.onAccepted = [&] { seen.push_back(std::to_string(window.rec.id) + " " + window.rec.name + " " + window.rec.mask); };
  s.steps = {
      [&] {
        drop.Refill();
        EXPECT_EQ(drop.Rows(), 3);
        EXPECT_EQ(drop.Cell(3, 1), "Vše");
        EXPECT_EQ(drop.Cell(3, 2), "3");
        w.Choose("?PRE:NAZEV", 3);
      },
      [&] { w.Choose("?PRE:NAZEV", 1); },
  };
  s.Run();
  EXPECT_EQ(seen, (std::vector<std::string>{"3 Vše 0F", "1 Vše FF"}));
}

}  // namespace
}  // namespace platform::ui
