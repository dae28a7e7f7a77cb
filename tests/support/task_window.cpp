#include "tests/support/task_window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include "platform/text.h"

namespace testsupport {

namespace pu = platform::ui;
using app::data::TasksRecord;

void TaskRows::FillRow(pu::ListRow& row) {
  const std::string mask(platform::text::TrimRight(rec_.OPAKOVANI));
  Opakovat = mask.empty() || std::strtol(mask.c_str(), nullptr, 16) == 0 ? "NE" : "ANO";
  RecordList::FillRow(row);
  int32_t fg = pu::kNormalColor, selectedFg = pu::kNormalColor;
  if (rec_.AKTIVNI == 0) {
    fg = 0xFF;
    selectedFg = 0xFFFFFF;
  } else if (rec_.AUTOMATICKY_SMAZAT == 1) {
    fg = 0x80FF;
    selectedFg = 0xFFFFFF;
  }
  for (int column = 2; column <= 6; ++column) {
    const int first = Column(column).colorField - 1;
    row.fields[static_cast<std::size_t>(first)] = int64_t{fg};
    row.fields[static_cast<std::size_t>(first + 1)] = int64_t{pu::kNormalColor};
    row.fields[static_cast<std::size_t>(first + 2)] = int64_t{selectedFg};
    row.fields[static_cast<std::size_t>(first + 3)] = int64_t{pu::kNormalColor};
  }
  row.fields[1] = int64_t{rec_.AKTIVNI == 1 ? 1 : 2};
}

void TaskSort::ApplySortOrder(const std::string& order) {
  applied.push_back(order);
  if (order.empty())
    LIST->SetSort(1);
  else
    EXPECT_EQ(LIST->SetOrderText(order), 0) << order;
  LIST->Refill();
}

TaskWindow::TaskWindow() {
  using K = pu::ControlKind;
  window.SetFont("Tahoma", 8);
  window.Add(K::List, "?LIST").SetLineHeight(10);
  EXPECT_EQ(own.Create(), 0);
  EXPECT_EQ(own.Open(), 0);
  EXPECT_TRUE(list.Init(window, "?LIST", kTaskListFormat));
  list.SetFile(own);
  auto colours = [&](const std::string& field) {
    for (const char* part : {"_NORMALFG", "_NORMALBG", "_SELECTEDFG", "_SELECTEDBG"}) list.AddField(field + part);
  };
  list.AddFileField("TAS:AKTIVNI");
  list.AddField("TAS:AKTIVNI_ICON");
  list.AddFileField("TAS:CAS_SPUSTENI");
  colours("TAS:CAS_SPUSTENI");
  list.AddField("OPAKOVAT", [this] { return pu::Value(list.Opakovat); });
  colours("OPAKOVAT");
  list.AddFileField("TAS:DATUM_SPUSTENI");
  colours("TAS:DATUM_SPUSTENI");
  list.AddFileField("TAS:NAZEV");
  colours("TAS:NAZEV");
  list.AddFileField("TAS:POSLEDNI_SPUSTENI");
  colours("TAS:POSLEDNI_SPUSTENI");
  list.AddFileField("TAS:ID");
  list.AddFileField("TAS:OPAKOVANI");
  list.AddSortOrder(app::data::TAS_KeyCas);
  list.SetIcons({"~Tag.ico", "~Untag.ico"});
}

TaskWindow::~TaskWindow() { header.TearDownSortHeader(); }

void TaskWindow::SetUpHeader() {
  header.SetUpSortHeader(list, true);
  header.SetSortHotKeys(window);
}

void TaskWindow::AddTask(const std::string& name, platform::StdTime time, uint8_t active, uint8_t autoDelete,
                         const std::string& weekdays, platform::StdDate last) {
  platform::rec::File<TasksRecord> f(app::data::TasksDecl());
  ASSERT_EQ(f.Create(), 0);
  ASSERT_EQ(f.Open(), 0);
  f.ClearBuffer();
  app::data::PrimeTaskDefaults(f.rec);
  ASSERT_EQ(f.PrimeAutoNumber(), 0);
  f.rec.NAZEV = name;
  f.rec.CAS_SPUSTENI = time;
  f.rec.DATUM_SPUSTENI = platform::DateFromYmd(2026, 3, 2);
  f.rec.AKTIVNI = active;
  f.rec.AUTOMATICKY_SMAZAT = autoDelete;
  f.rec.OPAKOVANI = weekdays;
  f.rec.POSLEDNI_SPUSTENI = last;
  ASSERT_EQ(f.Add(), 0);
}

void TaskWindow::AddCzechTasks() {
  using platform::TimeFromHms;
  AddTask("cesta", TimeFromHms(10, 0, 0), 1, 0, "0A", platform::DateFromYmd(2026, 3, 4));
  AddTask("Čas", TimeFromHms(8, 0, 0));
  AddTask("Ahoj", TimeFromHms(12, 0, 0));
  AddTask("CESTA", TimeFromHms(9, 0, 0));
  AddTask("ryba", TimeFromHms(7, 0, 0), 0);
  AddTask("čaj", TimeFromHms(11, 0, 0), 1, 1);
  AddTask("áčko", TimeFromHms(6, 0, 0));
  AddTask("Řeka", TimeFromHms(13, 0, 0), 1, 1, "7F");
}

std::vector<std::string> TaskWindow::Names() const {
  std::vector<std::string> out;
  auto& l = const_cast<TaskRows&>(list);
  for (int r = 1; r <= l.Rows(); ++r) out.push_back(pu::ValueText(l.Row(r).fields[17]));
  return out;
}

std::vector<std::string> TaskWindow::Headers() const {
  std::vector<std::string> out;
  for (int c = 1; c <= list.Columns(); ++c) out.push_back(list.Column(c).header);
  return out;
}

}  // namespace testsupport
