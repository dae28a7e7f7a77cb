// The record files as the sqlite3 tool sees them with the collation
// extension loaded: each file the program makes passes the integrity check,
// and a query in key order gives the order the program reads.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "app/data/records.h"
#include "tests/support/child.h"
#include "tests/support/tempdir.h"

namespace {

using namespace std::chrono_literals;
using namespace app::data;
using testsupport::Child;
using testsupport::TempDir;

constexpr const char* kTool = "/usr/bin/sqlite3";

struct ToolRun {
  int status;
  std::string out, err;
};

// The sqlite3 tool on a file, one argument per dot-command or statement.
ToolRun Sqlite(const std::string& file, std::vector<std::string> commands) {
  commands.insert(commands.begin(), {"-batch", "-bail", file});
  Child c(kTool, commands);
  const int status = c.Wait(10s);
  return {status, c.out(), c.err()};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  for (size_t nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1) lines.push_back(text.substr(at, nl - at));
  return lines;
}

const std::vector<std::string> kNames = {"Zvonění", "čtvrtek", "Ahoj", "cesta", "Řízení", "ahoj", "Šatna", "žák", "Íčko"};

class SqliteTool : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::access(kTool, X_OK), 0) << kTool << " (Debian package sqlite3, scripts/setup-deps.sh)";
    // The program's own files, made and filled through its controllers.
    ThreadSetUpDataFiles();
    auto& c = Controllers();
    for (Controller* ctl : {&c.SETTINGS, &c.OUTPUTS, &c.PRESET, &c.TASKS}) ASSERT_EQ(ctl->Open(), 0);
    for (const std::string& n : kNames) {
      ASSERT_EQ(c.TASKS.PrimeRecord(), 0);
      Files().TASKS.rec.NAZEV = n;
      Files().TASKS.rec.CAS_SPUSTENI = 100 + static_cast<int>(n.size());
      ASSERT_EQ(c.TASKS.Insert(), 0);
      ASSERT_EQ(c.OUTPUTS.PrimeRecord(), 0);
      Files().OUTPUTS.rec.NAZEV = n;
      ASSERT_EQ(c.OUTPUTS.Insert(), 0);
    }
    ASSERT_EQ(c.SETTINGS.PrimeRecord(), 0);
    Files().SETTINGS.rec.PORT = "COM1";
    ASSERT_EQ(c.SETTINGS.Insert(), 0);
    // The order the program reads: TAS:KeyNazev.
    auto& t = Files().TASKS;
    ASSERT_EQ(t.SetKeyOrder(TAS_KeyNazev), 0);
    while (t.Next() == 0) programOrder_.push_back(t.rec.NAZEV);
    ReleaseDataFiles();
    DetachThreadFiles();
  }

  TempDir dir_{true};
  std::vector<std::string> programOrder_;
};

TEST_F(SqliteTool, EveryRecordFilePassesTheIntegrityCheckWithTheExtension) {
  for (const platform::rec::FileDecl* d : {&TasksDecl(), &PresetDecl(), &OutputsDecl(), &SettingsDecl()}) {
    SCOPED_TRACE(d->fileName);
    const ToolRun checked = Sqlite(d->fileName, {".load " VELORN_CZNOCASE_EXT, "PRAGMA integrity_check"});
    EXPECT_EQ(checked.status, 0) << checked.err;
    EXPECT_EQ(checked.out, "ok\n") << checked.err;
  }
  // Without it the tool cannot check the files' text keys.
  const ToolRun bare = Sqlite("Tasks.tps", {"PRAGMA integrity_check"});
  EXPECT_NE(bare.status, 0);
  EXPECT_NE(bare.err.find("no such collation sequence: CZ_NOCASE"), std::string::npos) << bare.err;
}

TEST_F(SqliteTool, AQueryInKeyOrderGivesTheProgramsOrder) {
  ASSERT_EQ(programOrder_.size(), kNames.size());
  struct Case {
    const char* what;
    std::string file, query;
  } cases[] = {
      {"tasks by name", "Tasks.tps",
       "SELECT \"TAS:NAZEV\" FROM records WHERE \"TAS:NAZEV\" <> '' ORDER BY \"TAS:NAZEV\", rowid"},
      {"tasks through the key's index", "Tasks.tps",
       "SELECT \"TAS:NAZEV\" FROM records INDEXED BY \"TAS:KeyNazev\" WHERE NOT (\"TAS:NAZEV\" = '') "
       "ORDER BY \"TAS:NAZEV\""},
      {"outputs by name", "Outputs.tps",
       "SELECT \"OUT:NAZEV\" FROM records WHERE \"OUT:NAZEV\" <> '' ORDER BY \"OUT:NAZEV\", rowid"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ToolRun r = Sqlite(c.file, {".load " VELORN_CZNOCASE_EXT, c.query});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out), programOrder_);
  }
  EXPECT_EQ(programOrder_,
            (std::vector<std::string>{"Ahoj", "ahoj", "cesta", "čtvrtek", "Íčko", "Řízení", "Šatna", "Zvonění", "žák"}));
}

}  // namespace
