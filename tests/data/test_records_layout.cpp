#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/data/records.h"
#include "platform/locale_texts.h"
#include "platform/msgbox.h"
#include "tests/support/tempdir.h"

namespace {

using namespace std::chrono_literals;
using namespace app::data;
using platform::rec::FieldType;
using platform::rec::FileDecl;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;
namespace code = platform::locale;

struct FieldFact {
  const char* name;
  FieldType type;
  int offset;
  int bytes;
};

struct FileFact {
  const FileDecl& (*decl)();
  const char* label;
  const char* fileName;
  int bytes;
  std::vector<FieldFact> fields;
};

const std::vector<FileFact>& Layouts() {
  using T = FieldType;
  static const std::vector<FileFact> facts = {
      {TasksDecl,
       "TASKS",
       "Tasks.tps",
       341,
       {{"TAS:ID", T::Long, 0, 4},
        {"TAS:AKTIVNI", T::Byte, 4, 1},
        {"TAS:DATUM_SPUSTENI", T::Date, 5, 4},
        {"TAS:CAS_SPUSTENI", T::Time, 9, 4},
        {"TAS:OPAKOVANI", T::CString, 13, 3},
        {"TAS:OPAKOVANI_POCET", T::Byte, 16, 1},
        {"TAS:POSLEDNI_SPUSTENI", T::Date, 17, 4},
        {"TAS:NAZEV", T::String, 21, 50},
        {"TAS:PREHRAT", T::String, 71, 255},
        {"TAS:DELKA_SOUBORU", T::Time, 326, 4},
        {"TAS:VYSTUP1_5", T::String, 330, 2},
        {"TAS:VYSTUP2_5", T::String, 332, 2},
        {"TAS:VYSTUP3_5", T::String, 334, 2},
        {"TAS:VYSTUP4_5", T::String, 336, 2},
        {"TAS:VYSTUP5_5", T::String, 338, 2},
        {"TAS:AUTOMATICKY_SMAZAT", T::Byte, 340, 1}}},
      {PresetDecl,
       "PRESET",
       "Preset.tps",
       34,
       {{"PRE:ID", T::Long, 0, 4},
        {"PRE:NAZEV", T::String, 4, 20},
        {"PRE:VYSTUP1_5", T::String, 24, 2},
        {"PRE:VYSTUP2_5", T::String, 26, 2},
        {"PRE:VYSTUP3_5", T::String, 28, 2},
        {"PRE:VYSTUP4_5", T::String, 30, 2},
        {"PRE:VYSTUP5_5", T::String, 32, 2}}},
      {OutputsDecl, "OUTPUTS", "Outputs.tps", 14, {{"OUT:CISLO", T::Long, 0, 4}, {"OUT:NAZEV", T::String, 4, 10}}},
      {SettingsDecl,
       "SETTINGS",
       "Settings.tps",
       12,
       {{"SET:ID", T::Long, 0, 4}, {"SET:PORT", T::String, 4, 4}, {"SET:AMP_DELAY", T::Time, 8, 4}}},
  };
  return facts;
}

TEST(RecordLayout, FieldsFollowEachOtherAndFillTheRecord) {
  for (const FileFact& file : Layouts()) {
    SCOPED_TRACE(file.label);
    const FileDecl& d = file.decl();
    EXPECT_EQ(d.label, file.label);
    EXPECT_EQ(d.fileName, file.fileName);
    EXPECT_EQ(d.recordBytes, file.bytes);
    ASSERT_EQ(d.fields.size(), file.fields.size());
    int next = 0;
    for (size_t i = 0; i < file.fields.size(); ++i) {
      const FieldFact& want = file.fields[i];
      SCOPED_TRACE(want.name);
      EXPECT_EQ(d.fields[i].name, want.name);
      EXPECT_EQ(d.fields[i].type, want.type);
      EXPECT_EQ(d.fields[i].offset, want.offset);
      EXPECT_EQ(d.fields[i].Bytes(), want.bytes);
      EXPECT_EQ(want.offset, next);
      next = want.offset + want.bytes;
    }
    EXPECT_EQ(next, file.bytes);
  }
}

TEST(RecordLayout, KeyAttributes) {
  struct KeyFact {
    const FileDecl& (*decl)();
    const char* name;
    int index;
    std::vector<const char*> fields;
    bool unique;  // also primary and auto-numbered
    bool optional;
  } facts[] = {
      {TasksDecl, "TAS:KeyId", TAS_KeyId, {"TAS:ID"}, true, true},
      {TasksDecl, "TAS:KeyDatum", TAS_KeyDatum, {"TAS:DATUM_SPUSTENI"}, false, true},
      {TasksDecl, "TAS:KeyCas", TAS_KeyCas, {"TAS:CAS_SPUSTENI"}, false, true},
      {TasksDecl, "TAS:KeyDatum_Cas", TAS_KeyDatum_Cas, {"TAS:DATUM_SPUSTENI", "TAS:CAS_SPUSTENI"}, false, true},
      {TasksDecl, "TAS:KeyAkt_Cas", TAS_KeyAkt_Cas, {"TAS:AKTIVNI", "TAS:CAS_SPUSTENI"}, false, true},
      {TasksDecl, "TAS:KeyAktivni", TAS_KeyAktivni, {"TAS:AKTIVNI"}, false, true},
      {TasksDecl, "TAS:KeyNazev", TAS_KeyNazev, {"TAS:NAZEV"}, false, true},
      {PresetDecl, "PRE:KeyId", PRE_KeyId, {"PRE:ID"}, true, true},
      {OutputsDecl, "OUT:KeyCislo", OUT_KeyCislo, {"OUT:CISLO"}, true, true},
      {OutputsDecl, "OUT:KeyNazev", OUT_KeyNazev, {"OUT:NAZEV"}, false, true},
      {SettingsDecl, "SET:KeyId", SET_KeyId, {"SET:ID"}, true, false},
  };
  for (const KeyFact& f : facts) {
    SCOPED_TRACE(f.name);
    const FileDecl& d = f.decl();
    ASSERT_EQ(d.KeyIndex(f.name), f.index);
    const auto& k = d.keys[static_cast<size_t>(f.index)];
    ASSERT_EQ(k.fields.size(), f.fields.size());
    for (size_t i = 0; i < f.fields.size(); ++i) EXPECT_EQ(k.fields[i], d.FieldIndex(f.fields[i]));
    EXPECT_EQ(k.unique, f.unique);
    EXPECT_EQ(k.primary, f.unique);
    EXPECT_EQ(k.autoNumber, f.unique);
    EXPECT_TRUE(k.noCase);
    EXPECT_EQ(k.optional, f.optional);
  }
  EXPECT_EQ(TasksDecl().keys.size(), 7u);
  EXPECT_EQ(PresetDecl().keys.size(), 1u);
  EXPECT_EQ(OutputsDecl().keys.size(), 2u);
  EXPECT_EQ(SettingsDecl().keys.size(), 1u);
}

struct Box {
  std::string caption, text;
};

// The calling thread's files and controllers in an empty current folder.
class DataFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unit_ = platform::rec::LockRecoveryUnit();
    AttachThreadFiles();
    ConstructDataFileControllers();
    SetUpDataFiles();
    platform::SetBoxView([this](std::string_view text, std::string_view caption, platform::BoxIcon, unsigned,
                                unsigned) {
      boxes_.push_back({std::string(caption), std::string(text)});
      return unsigned{platform::BoxOk};
    });
  }
  void TearDown() override {
    ReleaseDataFiles();
    DetachThreadFiles();
    platform::SetBoxView(nullptr);
    platform::rec::SetLockRecoveryUnit(unit_);
  }
  // Reads a key in order; the records' numbers (first field).
  template <class R>
  std::vector<int32_t> Numbers(platform::rec::File<R>& f, int key, int32_t R::*number) {
    EXPECT_EQ(f.SetKeyOrder(key), 0);
    std::vector<int32_t> out;
    while (f.Next() == 0) out.push_back(f.rec.*number);
    return out;
  }

  TempDir dir_{true};
  std::chrono::milliseconds unit_{};
  std::vector<Box> boxes_;
};

TEST_F(DataFilesTest, NewTaskGetsItsDefaults) {
  ASSERT_EQ(Controllers().TASKS.Open(), 0);
  TasksRecord& t = Files().TASKS.rec;
  t.NAZEV = "old";
  t.DATUM_SPUSTENI = 80000;
  t.POSLEDNI_SPUSTENI = 80000;
  t.OPAKOVANI_POCET = 7;
  ASSERT_EQ(Controllers().TASKS.PrimeRecord(), 0);
  EXPECT_EQ(t.ID, 1);
  EXPECT_EQ(t.AKTIVNI, 1);
  EXPECT_EQ(t.OPAKOVANI, "00");
  EXPECT_EQ(t.OPAKOVANI_POCET, 0);
  EXPECT_EQ(t.POSLEDNI_SPUSTENI, 0);
  EXPECT_EQ(t.DATUM_SPUSTENI, 0);
  EXPECT_EQ(t.NAZEV, "");
  for (const std::string* mask : {&t.VYSTUP1_5, &t.VYSTUP2_5, &t.VYSTUP3_5, &t.VYSTUP4_5, &t.VYSTUP5_5})
    EXPECT_EQ(*mask, "00");
  EXPECT_EQ(t.AUTOMATICKY_SMAZAT, 1);

  t.NAZEV = "Hlášení";
  ASSERT_EQ(Controllers().TASKS.Insert(), 0);
  ASSERT_EQ(Controllers().TASKS.PrimeRecord(/*keepBuffer=*/true), 0);
  EXPECT_EQ(t.ID, 2);
  EXPECT_EQ(t.NAZEV, "Hlášení");
}

TEST_F(DataFilesTest, OpenCreatesTheMissingFileAndCountsUsers) {
  struct Case {
    Controller DataControllers::*controller;
    const char* fileName;
  } cases[] = {{&DataControllers::TASKS, "Tasks.tps"},
               {&DataControllers::PRESET, "Preset.tps"},
               {&DataControllers::OUTPUTS, "Outputs.tps"},
               {&DataControllers::SETTINGS, "Settings.tps"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fileName);
    Controller& ctl = Controllers().*c.controller;
    ASSERT_TRUE(ReadFile(c.fileName).empty());
    ASSERT_EQ(ctl.Open(), 0);
    EXPECT_FALSE(ReadFile(c.fileName).empty());
    EXPECT_TRUE(ctl.File().IsOpen());
    EXPECT_EQ(ctl.File().Records(), 0);
    ASSERT_EQ(ctl.Open(), 0);
    EXPECT_EQ(ctl.Users(), 2);
    ctl.Close();
    EXPECT_TRUE(ctl.File().IsOpen());
    ctl.Close();
    EXPECT_EQ(ctl.Users(), 0);
    EXPECT_FALSE(ctl.File().IsOpen());
  }
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(DataFilesTest, TaskWithoutTimeIsLeftOutOfTheTimeKeys) {
  struct Case {
    const char* what;
    uint8_t active;
    StdTime time;
    bool inKeyCas;
    bool inKeyAktCas;
  } cases[] = {
      {"active, no time", 1, 0, false, true},
      {"inactive, no time", 0, 0, false, false},
      {"inactive, midnight", 0, platform::kMidnight, false, false},
      {"inactive, with time", 0, platform::TimeFromHms(8, 30, 0), true, true},
      {"active, with time", 1, platform::TimeFromHms(8, 30, 0), true, true},
  };
  Controller& tasks = Controllers().TASKS;
  ASSERT_EQ(tasks.Open(), 0);
  std::vector<int32_t> ids;
  for (const Case& c : cases) {
    ASSERT_EQ(tasks.PrimeRecord(), 0);
    Files().TASKS.rec.AKTIVNI = c.active;
    Files().TASKS.rec.CAS_SPUSTENI = c.time;
    ASSERT_EQ(tasks.Insert(), 0);
    ids.push_back(Files().TASKS.rec.ID);
  }
  const auto byCas = Numbers(Files().TASKS, TAS_KeyCas, &TasksRecord::ID);
  const auto byAktCas = Numbers(Files().TASKS, TAS_KeyAkt_Cas, &TasksRecord::ID);
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].what);
    EXPECT_EQ(std::count(byCas.begin(), byCas.end(), ids[i]), cases[i].inKeyCas ? 1 : 0);
    EXPECT_EQ(std::count(byAktCas.begin(), byAktCas.end(), ids[i]), cases[i].inKeyAktCas ? 1 : 0);
  }
}

TEST_F(DataFilesTest, SettingsNumberZeroIsInItsKeyOutputsNumberZeroIsNot) {
  ASSERT_EQ(Controllers().SETTINGS.Open(), 0);
  auto& settings = Files().SETTINGS;
  for (int32_t id : {2, 0}) {
    settings.ClearBuffer();
    settings.rec.ID = id;
    settings.rec.PORT = "COM1";
    ASSERT_EQ(Controllers().SETTINGS.Insert(), 0);
  }
  EXPECT_EQ(Numbers(settings, SET_KeyId, &SettingsRecord::ID), (std::vector<int32_t>{0, 2}));

  ASSERT_EQ(Controllers().OUTPUTS.Open(), 0);
  auto& outputs = Files().OUTPUTS;
  for (int32_t n : {2, 0}) {
    outputs.ClearBuffer();
    outputs.rec.CISLO = n;
    ASSERT_EQ(Controllers().OUTPUTS.Insert(), 0);
  }
  EXPECT_EQ(Numbers(outputs, OUT_KeyCislo, &OutputsRecord::CISLO), (std::vector<int32_t>{2}));
}

TEST_F(DataFilesTest, OutputNamesMayRepeatAndSortWithoutCase) {
  ASSERT_EQ(Controllers().OUTPUTS.Open(), 0);
  auto& outputs = Files().OUTPUTS;
  for (const char* name : {"Hala", "aula", "HALA", "hala", "Hala"}) {
    ASSERT_EQ(Controllers().OUTPUTS.PrimeRecord(), 0);
    outputs.rec.NAZEV = name;
    ASSERT_EQ(Controllers().OUTPUTS.Insert(), 0) << name;
  }
  EXPECT_EQ(outputs.Records(), 5);
  EXPECT_EQ(Numbers(outputs, OUT_KeyNazev, &OutputsRecord::CISLO), (std::vector<int32_t>{2, 1, 3, 4, 5}));

  outputs.rec.CISLO = 3;
  outputs.rec.NAZEV = "Jiná";
  EXPECT_EQ(Controllers().OUTPUTS.Insert(), code::DuplicateKey);
  EXPECT_EQ(outputs.Records(), 5);
}

// Another program's SQLite database under the name of ours.
void MakeForeignDatabase(const char* path) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path, &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE x (a)", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
}

TEST_F(DataFilesTest, OpenFailureIsReportedAndReturned) {
  struct Case {
    const char* what;
    void (*make)();
    int code;
  } cases[] = {
      {"text file", [] { WriteFile("Tasks.tps", "ID;NAZEV\r\n1;Poledne\r\n"); }, code::InvalidDataFile},
      {"foreign database", [] { MakeForeignDatabase("Tasks.tps"); }, code::InvalidRecordDeclaration},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove("Tasks.tps");
    c.make();
    const std::string before = ReadFile("Tasks.tps");
    boxes_.clear();
    EXPECT_EQ(Controllers().TASKS.Open(), c.code);
    EXPECT_EQ(Controllers().TASKS.Users(), 0);
    EXPECT_FALSE(Files().TASKS.IsOpen());
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_NE(boxes_[0].text.find("Tasks.tps"), std::string::npos) << boxes_[0].text;
    EXPECT_NE(boxes_[0].text.find("(" + std::to_string(c.code) + ")"), std::string::npos) << boxes_[0].text;
    EXPECT_EQ(ReadFile("Tasks.tps"), before);
  }
}

TEST_F(DataFilesTest, LockedFileIsRetriedWithTheRecoveryTimeThenReported) {
  platform::rec::SetLockRecoveryUnit(20ms);
  ASSERT_EQ(Controllers().TASKS.Open(), 0);
  Controllers().TASKS.Close();

  // A connection of its own holds the file as another program would.
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open("Tasks.tps", &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(Controllers().TASKS.Open(), code::AccessDenied);
  const auto waited = std::chrono::steady_clock::now() - t0;
  EXPECT_GE(waited, 190ms);  // kLockRecovery units
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_NE(boxes_[0].text.find("(5)"), std::string::npos) << boxes_[0].text;

  sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(holder);
  EXPECT_EQ(Controllers().TASKS.Open(), 0);
}

}  // namespace
