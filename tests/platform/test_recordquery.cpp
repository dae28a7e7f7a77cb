// List formats, and views of a record file: order and filter texts, pages
// read forward and backward from a record's place, counts.
#include "platform/recordquery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/listformat.h"
#include "platform/locale_texts.h"
#include "platform/stdtime.h"
#include "platform/text.h"
#include "tests/support/record_decl.h"
#include "tests/support/tempdir.h"

namespace {

using platform::StdDate;
using platform::StdTime;
using platform::TimeFromHms;
using platform::rec::FieldType;
using platform::rec::File;
using platform::rec::FileDecl;
using platform::rec::FilterTerm;
using platform::rec::OrderItem;
using platform::rec::RecordQuery;
using platform::rec::ViewPosition;
using platform::ui::ListColumn;
using platform::ui::ParseListFormat;
namespace code = platform::locale;

// --- formats

TEST(ListFormat, TheProgramsFormatsGiveTheirColumnsAndRowFields) {
  const auto task = ParseListFormat(
      "12C|I~A~@n3@24R(2)|*~Čas~C(0)@t7@36C|*~Opakování~@s5@48C|*~První spuštění~@d17@204L(2)|M*~Popis "
      "úlohy~@s50@40L(2)|*~Naposledy spuštěno~@d17B@");
  ASSERT_TRUE(task);
  ASSERT_EQ(task->columns.size(), 6u);
  // Fields: A, icon; Čas + 4 colours; ... the row queue of the task list.
  EXPECT_EQ(task->fields, 27);
  struct Want {
    int width;
    char justify;
    int offset;
    std::string header;
    char headerJustify;
    int headerOffset;
    std::string picture;
    bool resizable, colors, icon;
    int field, colorField, iconField;
  } want[] = {
      {12, 'C', 0, "A", 'C', 0, "@n3", false, false, true, 1, 0, 2},
      {24, 'R', 2, "Čas", 'C', 0, "@t7", false, true, false, 3, 4, 0},
      {36, 'C', 0, "Opakování", 'C', 0, "@s5", false, true, false, 8, 9, 0},
      {48, 'C', 0, "První spuštění", 'C', 0, "@d17", false, true, false, 13, 14, 0},
      {204, 'L', 2, "Popis úlohy", 'L', 2, "@s50", true, true, false, 18, 19, 0},
      {40, 'L', 2, "Naposledy spuštěno", 'L', 2, "@d17B", false, true, false, 23, 24, 0},
  };
  for (std::size_t i = 0; i < 6; ++i) {
    const ListColumn& c = task->columns[i];
    const Want& w = want[i];
    EXPECT_EQ(c.width, w.width) << i;
    EXPECT_EQ(c.justify, w.justify) << i;
    EXPECT_EQ(c.offset, w.offset) << i;
    EXPECT_EQ(c.header, w.header) << i;
    EXPECT_EQ(c.headerJustify, w.headerJustify) << i;
    EXPECT_EQ(c.headerOffset, w.headerOffset) << i;
    EXPECT_EQ(c.picture, w.picture) << i;
    EXPECT_TRUE(c.rightBorder) << i;
    EXPECT_EQ(c.resizable, w.resizable) << i;
    EXPECT_EQ(c.colors, w.colors) << i;
    EXPECT_EQ(c.icon, w.icon) << i;
    EXPECT_EQ(c.field, w.field) << i;
    EXPECT_EQ(c.colorField, w.colorField) << i;
    EXPECT_EQ(c.iconField, w.iconField) << i;
  }

  const auto port = ParseListFormat("16L(2)|M~Port~@s4@");
  ASSERT_TRUE(port);
  ASSERT_EQ(port->columns.size(), 1u);
  EXPECT_EQ(port->columns[0].header, "Port");
  EXPECT_TRUE(port->columns[0].resizable);

  const auto outputs = ParseListFormat("20C|~Číslo~@N3@40L(2)|~Název~@s10@");
  ASSERT_TRUE(outputs);
  ASSERT_EQ(outputs->columns.size(), 2u);
  EXPECT_EQ(outputs->columns[0].picture, "@N3");
  EXPECT_EQ(outputs->columns[1].header, "Název");
  EXPECT_EQ(outputs->columns[1].field, 2);
  EXPECT_EQ(outputs->fields, 2);

  const auto preset = ParseListFormat("92L(2)|M@s20@56R(2)|M@n-14@");
  ASSERT_TRUE(preset);
  ASSERT_EQ(preset->columns.size(), 2u);
  EXPECT_EQ(preset->columns[0].header, "");
  EXPECT_EQ(preset->columns[1].justify, 'R');
  EXPECT_EQ(preset->columns[1].picture, "@n-14");
}

TEST(ListFormat, TextsOutsideTheGrammarGiveNothing) {
  for (const char* bad : {"", "L", "~A~@n3@", "12X@s5@", "12L~open", "12L@s5", "12L(2@s5@", "12L|Y@s5@",
                          "12L@@", "12L~A~(3)@s5@x"})
    EXPECT_FALSE(ParseListFormat(bad)) << bad;
}

// --- views

struct Rec {
  int32_t id = 0;
  uint8_t flag = 0;
  StdTime time = 0;
  std::string name;  // STRING(20)
  StdDate date = 0;
};

const FileDecl& Decl() {
  using platform::rec::Field;
  using testsupport::Key;
  static const FileDecl d = testsupport::Decl(
      "VIEWS", "Views.tps", 4 + 1 + 4 + 20 + 4,
      {Field("VIE:ID", FieldType::Long, 0, &Rec::id), Field("VIE:FLAG", FieldType::Byte, 4, &Rec::flag),
       Field("VIE:TIME", FieldType::Time, 5, &Rec::time), Field("VIE:NAME", FieldType::String, 9, &Rec::name, 20),
       Field("VIE:DATE", FieldType::Date, 29, &Rec::date)},
      {Key("VIE:KeyId", {0}, true), Key("VIE:KeyTime", {2}, false), Key("VIE:KeyName", {3}, false)});
  return d;
}

enum { kId, kFlag, kTime, kName, kDate };

// Names differing in case and diacritics, equal times and flags, so that
// ties break by file order.
const std::vector<Rec>& Fixture() {
  static const std::vector<Rec> recs = [] {
    const char* names[] = {"čaj", "Cesta", "ČAS", "ahoj", "Áčko", "", "cesta", "Žába", "zima", "Ahoj", "řeka", "Řím",
                           "ŘÍM", "éra", "Eva", "", "dům", "Dum"};
    std::vector<Rec> out;
    for (int i = 0; i < 18; ++i) {
      Rec r;
      r.id = i + 1;
      r.flag = static_cast<uint8_t>(i % 3 == 0 ? 0 : 1);
      r.time = i % 5 == 4 ? 0 : TimeFromHms(8 + (i * 7) % 4, 0, 0);  // four distinct times, and none
      r.name = names[i];
      r.date = platform::DateFromYmd(2024, 1, 1 + (i * 5) % 7);
      out.push_back(r);
    }
    return out;
  }();
  return recs;
}

class ViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(f_.Create(), 0);
    ASSERT_EQ(f_.Open(), 0);
    for (const Rec& r : Fixture()) {
      f_.rec = r;
      ASSERT_EQ(f_.Add(), 0);
    }
  }
  testsupport::TempDir dir_{true};
  File<Rec> f_{Decl()};
};

// The fixture in an order, as a reference: a stable sort of file order.
std::vector<int32_t> Expected(const std::vector<OrderItem>& items, const std::vector<FilterTerm>& filter,
                              int optionalField = -1) {
  std::vector<Rec> recs;
  for (const Rec& r : Fixture()) {
    bool in = true;
    for (const FilterTerm& t : filter) {
      if (t.field == kFlag) in = in && r.flag == std::get<int64_t>(t.value);
      if (t.field == kName) in = in && r.name == std::get<std::string>(t.value);
    }
    if (optionalField == kTime && r.time == 0) in = false;
    if (optionalField == kName && r.name.empty()) in = false;
    if (in) recs.push_back(r);
  }
  auto cmp = [&](const Rec& a, const Rec& b) {
    for (const OrderItem& o : items) {
      int c = 0;
      switch (o.field) {
        case kId: c = a.id < b.id ? -1 : a.id > b.id; break;
        case kFlag: c = a.flag < b.flag ? -1 : a.flag > b.flag; break;
        case kTime: c = a.time < b.time ? -1 : a.time > b.time; break;
        case kDate: c = a.date < b.date ? -1 : a.date > b.date; break;
        case kName:  // in a case-insensitive key: the column itself compares in Czech order
          c = platform::text::CompareCzNoCase(a.name, b.name);
          c = c < 0 ? -1 : c > 0;
          break;
      }
      if (o.descending) c = -c;
      if (c != 0) return c < 0;
    }
    return false;
  };
  std::stable_sort(recs.begin(), recs.end(), cmp);
  std::vector<int32_t> ids;
  for (const Rec& r : recs) ids.push_back(r.id);
  return ids;
}

TEST(ViewTexts, OrderTextsParseAgainstTheDeclarationOnly) {
  struct Case {
    const char* text;
    std::optional<std::vector<OrderItem>> items;
  } cases[] = {
      {"", std::vector<OrderItem>{}},
      {"+VIE:NAME", std::vector<OrderItem>{{kName, false, false}}},
      {"VIE:NAME", std::vector<OrderItem>{{kName, false, false}}},
      {"-upper(vie:name),+Vie:Time", std::vector<OrderItem>{{kName, true, true}, {kTime, false, false}}},
      {" -UPPER( VIE:NAME ) , -VIE:DATE ", std::vector<OrderItem>{{kName, true, true}, {kDate, true, false}}},
      {"+UPPER(VIE:ID)", std::vector<OrderItem>{{kId, false, false}}},  // a number is its own upper case
      {"+VIE:NONE", std::nullopt},
      {"+VIE:NAME,", std::nullopt},
      {"+VIE:NAME; DROP TABLE records", std::nullopt},
      {"+\"VIE:NAME\"", std::nullopt},
      {"+LOWER(VIE:NAME)", std::nullopt},
      {"++VIE:NAME", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::rec::ParseOrderText(Decl(), c.text), c.items) << c.text;
}

TEST(ViewTexts, FilterTextsParseAgainstTheDeclarationOnly) {
  using Terms = std::vector<FilterTerm>;
  struct Case {
    const char* text;
    std::optional<Terms> terms;
  } cases[] = {
      {"", Terms{}},
      {"VIE:Flag=1", Terms{{kFlag, int64_t{1}}}},
      {" vie:flag = -2 ", Terms{{kFlag, int64_t{-2}}}},
      {"VIE:NAME='O''Brien' and VIE:FLAG=0", Terms{{kName, std::string("O'Brien")}, {kFlag, int64_t{0}}}},
      {"VIE:NAME='a AND b'", std::nullopt},  // the word splits first: no quotes around the halves
      {"VIE:NONE=1", std::nullopt},
      {"VIE:FLAG", std::nullopt},
      {"VIE:FLAG=x", std::nullopt},
      {"VIE:FLAG='1'", std::nullopt},
      {"VIE:NAME=1", std::nullopt},
      {"VIE:NAME='x", std::nullopt},
      {"VIE:NAME='x'y'", std::nullopt},
      {"VIE:FLAG=1 OR 1=1", std::nullopt},
      {"VIE:FLAG=1; DELETE FROM records", std::nullopt},
      {"VIE:FLAG=99999999999", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::rec::ParseFilterText(Decl(), c.text), c.terms) << c.text;
}

// Every order read whole in pages of three, forward and backward, matches
// the reference; each record's count of records before it is its place.
TEST_F(ViewTest, PagesFollowTheOrderForwardAndBackwardWithFileOrderBreakingTies) {
  struct Case {
    const char* order;  // nullptr: a key
    int key;
    const char* filter;
  } cases[] = {
      {nullptr, 1, ""},  // VIE:KeyTime: optional, records without a time left out
      {nullptr, 2, "VIE:FLAG=1"},
      {"+VIE:NAME", -1, ""},
      {"+UPPER(VIE:NAME)", -1, ""},
      {"-UPPER(VIE:NAME)", -1, ""},
      {"-UPPER(VIE:NAME),+VIE:TIME", -1, ""},
      {"+VIE:FLAG,-VIE:TIME,+UPPER(VIE:NAME)", -1, ""},
      {"-VIE:DATE", -1, "VIE:FLAG=1"},
      {"", -1, "VIE:FLAG=0"},  // file order
      // Name first, through a filter: read in two parts, the empty names and
      // those the optional key holds.
      {"+UPPER(VIE:NAME),-VIE:DATE", -1, "VIE:FLAG=1"},
      {"-VIE:NAME,+VIE:TIME", -1, "VIE:FLAG=0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.order ? c.order : Decl().keys[static_cast<std::size_t>(c.key)].name);
    RecordQuery q(f_);
    std::vector<OrderItem> items;
    int optional = -1;
    if (c.order) {
      ASSERT_EQ(q.SetOrder(c.order), 0);
      items = q.Order();
    } else {
      ASSERT_EQ(q.SetKey(c.key), 0);
      const int field = Decl().keys[static_cast<std::size_t>(c.key)].fields[0];
      items = {{field, false, true}};
      optional = field;
    }
    ASSERT_EQ(q.SetFilter(c.filter), 0);
    const auto want = Expected(items, *platform::rec::ParseFilterText(Decl(), c.filter), optional);

    std::vector<int32_t> forward;
    std::vector<ViewPosition> places;
    ViewPosition last;
    for (;;) {
      int got = 0;
      ASSERT_EQ(q.Read(places.empty() ? nullptr : &last, false, false, 3, [&](const ViewPosition& p) {
        forward.push_back(f_.rec.id);
        places.push_back(p);
        last = p;
        ++got;
      }), 0);
      if (got < 3) break;
    }
    EXPECT_EQ(forward, want);

    std::vector<int32_t> backward;
    bool first = true;
    for (;;) {
      int got = 0;
      ASSERT_EQ(q.Read(first ? nullptr : &last, false, true, 3, [&](const ViewPosition& p) {
        backward.push_back(f_.rec.id);
        last = p;
        ++got;
      }), 0);
      first = false;
      if (got < 3) break;
    }
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(backward, want);

    EXPECT_EQ(q.Count(), static_cast<int64_t>(want.size()));
    for (std::size_t i = 0; i < places.size(); ++i) {
      EXPECT_EQ(q.CountBefore(places[i]), static_cast<int64_t>(i));
      EXPECT_EQ(q.CountBefore(places[i], q.Count()), static_cast<int64_t>(i));
      // At a place, inclusive, the record itself comes first.
      int32_t at = 0;
      q.Read(&places[i], true, false, 1, [&](const ViewPosition&) { at = f_.rec.id; });
      EXPECT_EQ(at, want[i]);
      ViewPosition found;
      ASSERT_EQ(q.Find(places[i].row, found), 0);
      EXPECT_EQ(found, places[i]);
    }
    // Skipping records.
    if (want.size() > 4) {
      std::vector<int32_t> skipped;
      q.ReadAt(4, 2, [&](const ViewPosition&) { skipped.push_back(f_.rec.id); });
      EXPECT_EQ(skipped, (std::vector<int32_t>{want[4], want[5]}));
    }
    // Every skip, the view's first and last records included, and beyond.
    for (std::size_t skip = 0; skip <= want.size(); ++skip) {
      std::vector<int32_t> skipped;
      ASSERT_EQ(q.ReadAt(static_cast<int64_t>(skip), 2, [&](const ViewPosition&) { skipped.push_back(f_.rec.id); }), 0);
      const std::vector<int32_t> two(want.begin() + static_cast<std::ptrdiff_t>(skip),
                                     want.begin() + static_cast<std::ptrdiff_t>(std::min(skip + 2, want.size())));
      EXPECT_EQ(skipped, two) << "skip " << skip;
    }
  }
}

TEST_F(ViewTest, FindAndLocateStayInsideTheView) {
  RecordQuery q(f_);
  ASSERT_EQ(q.SetKey(1), 0);  // VIE:KeyTime
  ASSERT_EQ(q.SetFilter("VIE:FLAG=1"), 0);
  ViewPosition pos;
  EXPECT_EQ(q.Find(1, pos), code::RecordNotAvailable);  // flag 0
  EXPECT_EQ(q.Find(5, pos), code::RecordNotAvailable);  // no time: not in the key
  EXPECT_EQ(q.Find(2, pos), 0);
  EXPECT_EQ(f_.rec.name, "Cesta");

  // The first record at or after 09:00 in the view.
  std::vector<int32_t> ids;
  ASSERT_EQ(q.ReadFrom(int64_t{TimeFromHms(9, 0, 0)}, 2, [&](const ViewPosition&) { ids.push_back(f_.rec.id); }), 0);
  const auto all = Expected({{kTime, false, false}}, {{kFlag, int64_t{1}}}, kTime);
  std::vector<int32_t> want;
  for (int32_t id : all)
    if (Fixture()[static_cast<std::size_t>(id - 1)].time >= TimeFromHms(9, 0, 0) && want.size() < 2) want.push_back(id);
  EXPECT_EQ(ids, want);

  ASSERT_EQ(q.FindWhere({{kName, std::string("řeka")}}, pos), 0);
  EXPECT_EQ(f_.rec.id, 11);
  EXPECT_EQ(q.FindWhere({{kName, std::string("čaj")}}, pos), code::RecordNotAvailable);  // flag 0
}

// The locator in orders led by the name: the first records whose name is
// at or beyond the text typed (before it, descending), empty names included.
TEST_F(ViewTest, LocatingByNameFindsTheFirstRecordAtOrBeyondTheText) {
  struct Case {
    const char* order;
    const char* filter;
  } orders[] = {{"+UPPER(VIE:NAME)", ""}, {"-UPPER(VIE:NAME),+VIE:TIME", ""}, {"-VIE:NAME", "VIE:FLAG=1"}};
  for (const auto& o : orders) {
    RecordQuery q(f_);
    ASSERT_EQ(q.SetOrder(o.order), 0);
    ASSERT_EQ(q.SetFilter(o.filter), 0);
    const auto all = Expected(q.Order(), *platform::rec::ParseFilterText(Decl(), o.filter));
    for (const char* typed : {"", "c", "ČAS", "ř", "Žába", "zzz"}) {
      SCOPED_TRACE(std::string(o.order) + " at " + typed);
      std::vector<int32_t> want;
      for (int32_t id : all) {
        const int c = platform::text::CompareCzNoCase(Fixture()[static_cast<std::size_t>(id - 1)].name, typed);
        if ((q.Order().front().descending ? c <= 0 : c >= 0) && want.size() < 3) want.push_back(id);
      }
      std::vector<int32_t> ids;
      ASSERT_EQ(q.ReadFrom(std::string(typed), 3, [&](const ViewPosition&) { ids.push_back(f_.rec.id); }), 0);
      EXPECT_EQ(ids, want);
    }
  }
}

TEST_F(ViewTest, TextsAreBoundNeverSpliced) {
  f_.rec = Rec{0, 1, TimeFromHms(7, 0, 0), "x' OR '1'='1", 0};
  ASSERT_EQ(f_.Add(), 0);
  RecordQuery q(f_);
  ASSERT_EQ(q.SetFilter("VIE:NAME='x'' OR ''1''=''1'"), 0);
  EXPECT_EQ(q.Count(), 1);
  ASSERT_EQ(q.SetFilter("VIE:NAME='x'"), 0);
  EXPECT_EQ(q.Count(), 0);
  // A refused text changes nothing.
  EXPECT_EQ(q.SetFilter("VIE:FLAG=1); DELETE FROM records; --"), code::InvalidIndexString);
  EXPECT_EQ(q.Count(), 0);
  EXPECT_EQ(q.SetOrder("+VIE:NAME\"; DROP TABLE records; --"), code::InvalidIndexString);
  EXPECT_EQ(f_.Records(), static_cast<int64_t>(Fixture().size()) + 1);
}

TEST_F(ViewTest, AViewLeavesItsInstancesReadPositionAlone) {
  ASSERT_EQ(f_.SetKeyOrder(0), 0);
  ASSERT_EQ(f_.Next(), 0);
  ASSERT_EQ(f_.Next(), 0);
  RecordQuery q(f_);
  ASSERT_EQ(q.SetOrder("-VIE:ID"), 0);
  int n = 0;
  q.Read(nullptr, false, false, 5, [&](const ViewPosition&) { ++n; });
  EXPECT_EQ(n, 5);
  ASSERT_EQ(f_.Next(), 0);
  EXPECT_EQ(f_.rec.id, 3);
}

TEST(ViewErrors, AClosedFileGives37) {
  File<Rec> f(Decl());
  RecordQuery q(f);
  EXPECT_EQ(q.Read(nullptr, false, false, 1, [](const ViewPosition&) {}), code::FileNotOpen);
  EXPECT_EQ(q.Count(), -1);
  EXPECT_EQ(platform::rec::LastError(), code::FileNotOpen);
}

}  // namespace
