#include "platform/recordfile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/locale_texts.h"
#include "platform/stdtime.h"
#include "platform/text.h"
#include "tests/platform/sample_records.h"
#include "tests/support/child.h"
#include "tests/support/tempdir.h"

namespace {

using namespace std::chrono_literals;
using platform::rec::File;
using platform::rec::FileDecl;
using platform::rec::RecordFile;
using testsupport::ReadFile;
using testsupport::SnapshotFolder;
using testsupport::TempDir;
using testsupport::WriteFile;
namespace code = platform::locale;

using sample::Decl;
using sample::kDate;
using sample::kFileOrder;
using sample::kFlagTime;
using sample::kId;
using sample::kName;
using sample::MakeDecl;
using sample::R;
using sample::Rec;

int Add(File<Rec>& f, const Rec& r) {
  f.rec = r;
  return f.Add();
}

// Sets the order (kFileOrder or a key) and reads to the end.
std::vector<Rec> ReadAll(File<Rec>& f, int key) {
  EXPECT_EQ(key == kFileOrder ? f.SetFileOrder() : f.SetKeyOrder(key), 0);
  std::vector<Rec> out;
  int rc;
  while ((rc = f.Next()) == 0) out.push_back(f.rec);
  EXPECT_EQ(rc, code::RecordNotAvailable);
  return out;
}

std::vector<std::string> Names(const std::vector<Rec>& rs) {
  std::vector<std::string> n;
  for (const auto& r : rs) n.push_back(r.name);
  return n;
}

std::vector<int32_t> Ids(const std::vector<Rec>& rs) {
  std::vector<int32_t> n;
  for (const auto& r : rs) n.push_back(r.id);
  return n;
}

// Reads on from the current position to the end.
std::vector<int32_t> RestIds(File<Rec>& f) {
  std::vector<int32_t> ids;
  int rc;
  while ((rc = f.Next()) == 0) ids.push_back(f.rec.id);
  EXPECT_EQ(rc, code::RecordNotAvailable);
  return ids;
}

class RecordFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unit_ = platform::rec::LockRecoveryUnit();
    ASSERT_EQ(f_.Create(), 0);
    ASSERT_EQ(f_.Open(), 0);
  }
  void TearDown() override {
    f_.Close();
    platform::rec::SetLockRecoveryUnit(unit_);
  }
  // Starts over with a new, empty file.
  void Recreate() {
    f_.Close();
    std::remove(Decl().fileName.c_str());
    ASSERT_EQ(f_.Create(), 0);
    ASSERT_EQ(f_.Open(), 0);
  }
  // Adds the records with numbers 1, 2, ... in the given order.
  void AddNumbered(const std::vector<Rec>& rs) {
    for (const Rec& r : rs) {
      f_.rec = r;
      const std::string n = r.name;
      ASSERT_EQ(f_.PrimeAutoNumber(), 0);
      ASSERT_EQ(f_.Add(), 0) << n;
    }
  }

  TempDir dir_{true};
  std::chrono::milliseconds unit_{};
  File<Rec> f_{Decl()};
};

TEST_F(RecordFileTest, OptionalKeysLeaveOutRecordsWithAllKeyFieldsEmpty) {
  struct Case {
    const char* what;
    Rec rec;
    int key;
    bool inKey;
  } cases[] = {
      {"no number", R("x"), kId, false},
      {"a number", R("x", 0, 0, 0, 7), kId, true},
      {"flag and time empty", R("x"), kFlagTime, false},
      {"midnight is no time", R("x", 0, platform::kMidnight), kFlagTime, false},
      {"flag only", R("x", 1), kFlagTime, true},
      {"time only", R("x", 0, 2), kFlagTime, true},
      {"empty name", R(""), kName, false},
      {"blank name", R("   "), kName, false},
      {"a name", R("x"), kName, true},
      {"key not optional", R(""), kDate, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Recreate();
    ASSERT_EQ(Add(f_, c.rec), 0);
    EXPECT_EQ(f_.Records(), 1);
    EXPECT_EQ(ReadAll(f_, kFileOrder).size(), 1u);
    EXPECT_EQ(ReadAll(f_, c.key).size(), c.inKey ? 1u : 0u);
  }
}

TEST_F(RecordFileTest, UniqueKeyRefusesDuplicatesAndChangesNothing) {
  ASSERT_EQ(Add(f_, R("a", 0, 0, 0, 1)), 0);
  ASSERT_EQ(Add(f_, R("b", 0, 0, 0, 2)), 0);

  EXPECT_EQ(Add(f_, R("c", 0, 0, 0, 1)), code::DuplicateKey);
  EXPECT_EQ(platform::rec::LastError(), code::DuplicateKey);
  EXPECT_EQ(f_.Records(), 2);
  EXPECT_EQ(Names(ReadAll(f_, kFileOrder)), (std::vector<std::string>{"a", "b"}));

  // A rewrite of "b" that would take number 1 (and rename it) is refused whole.
  ASSERT_EQ(f_.SetKeyOrder(kId), 0);
  ASSERT_EQ(f_.Next(), 0);
  ASSERT_EQ(f_.Next(), 0);
  ASSERT_EQ(f_.rec.name, "b");
  f_.rec.id = 1;
  f_.rec.name = "zzz";
  EXPECT_EQ(f_.Put(), code::DuplicateKey);
  const auto all = ReadAll(f_, kFileOrder);
  EXPECT_EQ(Ids(all), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(Names(all), (std::vector<std::string>{"a", "b"}));

  // Records left out of the key are not duplicates of each other.
  EXPECT_EQ(Add(f_, R("n1")), 0);
  EXPECT_EQ(Add(f_, R("n2")), 0);
  EXPECT_EQ(f_.Records(), 4);
}

TEST_F(RecordFileTest, AutoNumberIsHighestPlusOne) {
  struct Case {
    const char* what;
    std::vector<int32_t> ids;
    std::vector<int32_t> deleted;
    int32_t next;
  } cases[] = {
      {"empty file", {}, {}, 1},
      {"after the highest", {1, 2, 5}, {}, 6},
      {"highest not added last", {4, 2}, {}, 5},
      {"freed highest reused", {1, 2, 3}, {3}, 3},
      {"freed middle not reused", {1, 2, 3}, {2}, 4},
      {"all freed", {1, 2}, {1, 2}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Recreate();
    for (int32_t id : c.ids) ASSERT_EQ(Add(f_, R("r", 0, 0, 0, id)), 0);
    ASSERT_EQ(f_.SetKeyOrder(kId), 0);
    while (f_.Next() == 0) {
      if (std::find(c.deleted.begin(), c.deleted.end(), f_.rec.id) != c.deleted.end()) {
        ASSERT_EQ(f_.Delete(), 0);
      }
    }
    f_.ClearBuffer();
    ASSERT_EQ(f_.PrimeAutoNumber(), 0);
    EXPECT_EQ(f_.rec.id, c.next);
    ASSERT_EQ(f_.Add(), 0);
    EXPECT_EQ(f_.rec.id, c.next);
  }
}

TEST_F(RecordFileTest, NoCaseKeyFollowsCzechOrder) {
  const std::vector<std::string> added = {"žába", "Zebra", "čaj", "Cesta", "ahoj", "Áda", "bod"};
  for (const auto& n : added) ASSERT_EQ(Add(f_, R(n)), 0);

  const std::vector<std::string> expected = {"ahoj", "Áda", "bod", "Cesta", "čaj", "Zebra", "žába"};
  std::vector<std::string> sorted = added;
  std::stable_sort(sorted.begin(), sorted.end(), [](const std::string& a, const std::string& b) {
    return platform::text::CompareCzNoCase(a, b) < 0;
  });
  ASSERT_EQ(sorted, expected);
  EXPECT_EQ(Names(ReadAll(f_, kName)), expected);
}

// A file indexed under an older order of the collation (here: the reverse
// one) is reindexed at its next open, so reading by the key follows the
// present order and meets every record.
TEST_F(RecordFileTest, AFileIndexedUnderAnotherOrderIsReindexedAtItsOpen) {
  const std::vector<std::string> names = {"bod", "Áda", "čaj", "_x", "9", "Zebra"};
  for (const auto& n : names) ASSERT_EQ(Add(f_, R(n)), 0);
  f_.Close();

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(Decl().fileName.c_str(), &db), SQLITE_OK);
  const auto reverse = [](void*, int na, const void* a, int nb, const void* b) {
    return -platform::text::CompareCzNoCase(std::string(static_cast<const char*>(a), static_cast<size_t>(na)),
                                            std::string(static_cast<const char*>(b), static_cast<size_t>(nb)));
  };
  ASSERT_EQ(sqlite3_create_collation(db, "CZ_NOCASE", SQLITE_UTF8, nullptr, reverse), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "REINDEX CZ_NOCASE; DELETE FROM velorn_meta WHERE name = 'collation'", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);

  ASSERT_EQ(f_.Open(), 0);
  std::vector<std::string> expected = names;
  std::stable_sort(expected.begin(), expected.end(), [](const std::string& a, const std::string& b) {
    return platform::text::CompareCzNoCase(a, b) < 0;
  });
  EXPECT_EQ(Names(ReadAll(f_, kName)), expected);
}

TEST_F(RecordFileTest, EqualKeyValuesKeepFileOrder) {
  struct Case {
    const char* what;
    int key;
    std::vector<Rec> added;
    std::vector<std::string> expected;
  } cases[] = {
      {"names equal but for case",
       kName,
       {R("abc"), R("bod"), R("ABC"), R("Abc")},
       {"abc", "ABC", "Abc", "bod"}},
      {"the other way round", kName, {R("ABC"), R("abc")}, {"ABC", "abc"}},
      {"two-field key",
       kFlagTime,
       {R("p", 1, 50), R("q", 0, 70), R("r", 1, 50), R("s", 0, 70), R("t", 1, 40)},
       {"q", "s", "t", "p", "r"}},
      {"dates", kDate, {R("p", 0, 0, 900), R("q", 0, 0, 800), R("r", 0, 0, 900), R("s")}, {"s", "q", "p", "r"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Recreate();
    for (const Rec& r : c.added) ASSERT_EQ(Add(f_, r), 0);
    EXPECT_EQ(Names(ReadAll(f_, c.key)), c.expected);
  }
}

TEST_F(RecordFileTest, SetKeyFromBufferStartsAtFirstRecordNotBelow) {
  AddNumbered({R("žába", 1, 300), R("Zebra", 1, 100), R("čaj", 2, 100), R("Cesta"), R("ahoj", 1, 200),
               R("Áda", 0, 500), R("bod", 1, 200)});
  struct Case {
    const char* what;
    int key;
    Rec from;
    std::vector<std::string> expected;
  } cases[] = {
      {"empty name: all", kName, R(""), {"ahoj", "Áda", "bod", "Cesta", "čaj", "Zebra", "žába"}},
      {"prefix, other case", kName, R("c"), {"Cesta", "čaj", "Zebra", "žába"}},
      {"whole name, other case", kName, R("CESTA"), {"Cesta", "čaj", "Zebra", "žába"}},
      {"accented letter", kName, R("Čaj"), {"čaj", "Zebra", "žába"}},
      {"between Z and Ž", kName, R("zz"), {"žába"}},
      {"past the last", kName, R("žz"), {}},
      {"empty fields: all in the key", kFlagTime, R(""), {"Áda", "Zebra", "ahoj", "bod", "žába", "čaj"}},
      {"between values", kFlagTime, R("", 1, 150), {"ahoj", "bod", "žába", "čaj"}},
      {"equal values: all of them", kFlagTime, R("", 1, 200), {"ahoj", "bod", "žába", "čaj"}},
      {"first field only", kFlagTime, R("", 1), {"Zebra", "ahoj", "bod", "žába", "čaj"}},
      {"past the last pair", kFlagTime, R("", 2, 101), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    f_.rec = c.from;
    ASSERT_EQ(f_.SetKeyFromBuffer(c.key), 0);
    std::vector<std::string> got;
    int rc;
    while ((rc = f_.Next()) == 0) got.push_back(f_.rec.name);
    EXPECT_EQ(rc, code::RecordNotAvailable);
    EXPECT_EQ(got, c.expected);
  }
}

// A1 and A2 have equal values in every key but the number; then B, C.
class ScanTest : public RecordFileTest, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    RecordFileTest::SetUp();
    AddNumbered({R("abc", 1, 100, 50), R("ABC", 1, 100, 50), R("bod", 1, 200, 50), R("cesta", 2, 100, 50)});
  }
  void Start() {
    const int key = GetParam();
    ASSERT_EQ(key == kFileOrder ? f_.SetFileOrder() : f_.SetKeyOrder(key), 0);
  }
};

TEST_P(ScanTest, RewriteAndDeleteDuringReadMeetEachRecordOnce) {
  Start();
  ASSERT_EQ(f_.Next(), 0);
  ASSERT_EQ(f_.rec.id, 1);
  f_.rec.code = "x";
  ASSERT_EQ(f_.Put(), 0);
  ASSERT_EQ(f_.Next(), 0);
  ASSERT_EQ(f_.rec.id, 2);
  ASSERT_EQ(f_.Delete(), 0);
  EXPECT_FALSE(f_.HasCurrent());
  EXPECT_EQ(RestIds(f_), (std::vector<int32_t>{3, 4}));

  const auto all = ReadAll(f_, kFileOrder);
  ASSERT_EQ(Ids(all), (std::vector<int32_t>{1, 3, 4}));
  EXPECT_EQ(all[0].code, "x");
}

TEST_P(ScanTest, DeletingTheRecordReadStillMeetsItsEqual) {
  Start();
  ASSERT_EQ(f_.Next(), 0);
  ASSERT_EQ(f_.Delete(), 0);
  EXPECT_EQ(RestIds(f_), (std::vector<int32_t>{2, 3, 4}));
}

// The last record read is deleted and another instance adds one: the new
// record lies after the position and is met.
TEST_P(ScanTest, RecordAddedAfterDeletingTheLastOneIsMet) {
  Start();
  ASSERT_EQ(RestIds(f_), (std::vector<int32_t>{1, 2, 3, 4}));
  ASSERT_EQ(f_.Delete(), 0);
  File<Rec> y(Decl());
  ASSERT_EQ(y.Open(), 0);
  y.rec = R("dub", 3, 100, 50, 9);
  ASSERT_EQ(y.Add(), 0);
  EXPECT_EQ(RestIds(f_), (std::vector<int32_t>{9}));
}

INSTANTIATE_TEST_SUITE_P(Orders, ScanTest, ::testing::Values(kFileOrder, kFlagTime, kName));

struct MoveCase {
  const char* what;
  int key;
  std::function<void(Rec&)> rewrite;
  std::vector<int32_t> rest;    // read on after the rewrite
  std::vector<int32_t> again;   // the key read anew
};

void PrintTo(const MoveCase& c, std::ostream* os) { *os << c.what; }

class MoveTest : public RecordFileTest, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(MoveTest, RecordReadAndRewrittenIsNotMetAgain) {
  const MoveCase& c = GetParam();
  AddNumbered({R("abc", 1, 100), R("ABC", 1, 100), R("bod", 1, 200), R("cesta", 2, 100)});
  ASSERT_EQ(f_.SetKeyOrder(c.key), 0);
  ASSERT_EQ(f_.Next(), 0);
  ASSERT_EQ(f_.rec.id, 1);
  c.rewrite(f_.rec);
  ASSERT_EQ(f_.Put(), 0);
  EXPECT_EQ(RestIds(f_), c.rest);
  EXPECT_EQ(Ids(ReadAll(f_, c.key)), c.again);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, MoveTest,
    ::testing::Values(MoveCase{"name later", kName, [](Rec& r) { r.name = "zzz"; }, {2, 3, 4}, {2, 3, 4, 1}},
                      MoveCase{"pair later", kFlagTime, [](Rec& r) { r.flag = 3; }, {2, 3, 4}, {2, 3, 4, 1}},
                      MoveCase{"between the rest", kFlagTime, [](Rec& r) { r.time = 300; }, {2, 3, 4}, {2, 3, 1, 4}},
                      MoveCase{"number later", kId, [](Rec& r) { r.id = 9; }, {2, 3, 4}, {2, 3, 4, 9}},
                      MoveCase{"name out of the key", kName, [](Rec& r) { r.name = ""; }, {2, 3, 4}, {2, 3, 4}},
                      MoveCase{"pair out of the key", kFlagTime,
                               [](Rec& r) {
                                 r.flag = 0;
                                 r.time = platform::kMidnight;
                               },
                               {2, 3, 4},
                               {2, 3, 4}}),
    [](const ::testing::TestParamInfo<MoveCase>& i) {
      std::string n = i.param.what;
      std::replace(n.begin(), n.end(), ' ', '_');
      return n;
    });

TEST_F(RecordFileTest, PrimedNumberTakenByAnotherInstanceGivesHighestPlusOne) {
  AddNumbered({R("a"), R("b")});
  File<Rec> y(Decl());
  ASSERT_EQ(y.Open(), 0);

  f_.ClearBuffer();
  ASSERT_EQ(f_.PrimeAutoNumber(), 0);
  ASSERT_EQ(f_.rec.id, 3);
  f_.rec.name = "from x";

  y.rec = R("from y", 0, 0, 0, 3);
  ASSERT_EQ(y.Add(), 0);

  EXPECT_EQ(f_.Add(), 0);
  EXPECT_EQ(f_.rec.id, 4);
  const auto all = ReadAll(f_, kId);
  ASSERT_EQ(Ids(all), (std::vector<int32_t>{1, 2, 3, 4}));
  EXPECT_EQ(all[3].name, "from x");

  // A number the buffer did not get from priming stays a duplicate.
  f_.rec = R("dup", 0, 0, 0, 2);
  EXPECT_EQ(f_.Add(), code::DuplicateKey);
  ASSERT_EQ(f_.PrimeAutoNumber(), 0);
  ASSERT_EQ(f_.rec.id, 5);
  f_.rec.id = 1;
  EXPECT_EQ(f_.Add(), code::DuplicateKey);
  EXPECT_EQ(y.Records(), 4);
}

TEST_F(RecordFileTest, ThreadsUseOwnInstancesOverTheSameFile) {
  constexpr int kPerThread = 40;
  auto body = [](int t, std::vector<std::string>* errors) {
    File<Rec> f(Decl());
    auto fail = [&](const std::string& what) { errors->push_back("thread " + std::to_string(t) + ": " + what); };
    if (const int rc = f.Open(); rc != 0) return fail("open " + std::to_string(rc));
    const std::string tag = "t" + std::to_string(t);
    for (int i = 0; i < kPerThread; ++i) {
      f.rec = R(tag, static_cast<uint8_t>(t), i + 2);
      if (const int rc = f.Add(); rc != 0) return fail("add " + std::to_string(rc));
      if (f.rec.name != tag || f.rec.flag != t) return fail("buffer changed by add");
    }
    // Reads this thread's records in key order; the buffer holds only what
    // this instance read.
    f.rec = R("", static_cast<uint8_t>(t));
    if (f.SetKeyFromBuffer(kFlagTime) != 0) return fail("set");
    int seen = 0;
    while (f.Next() == 0 && f.rec.flag == t) {
      if (f.rec.name != tag || f.rec.time != seen + 2) return fail("read another thread's record");
      ++seen;
    }
    if (seen != kPerThread) fail("read " + std::to_string(seen));
    if (platform::rec::LastError() != 0 && platform::rec::LastError() != code::RecordNotAvailable)
      fail("last error " + std::to_string(platform::rec::LastError()));
  };
  std::vector<std::string> errors1, errors2;
  {
    std::thread a(body, 1, &errors1);
    std::thread b(body, 2, &errors2);
    a.join();
    b.join();
  }
  EXPECT_TRUE(errors1.empty()) << errors1.front();
  EXPECT_TRUE(errors2.empty()) << errors2.front();
  EXPECT_EQ(f_.Records(), 2 * kPerThread);
  EXPECT_EQ(platform::rec::LastError(), 0);
}

// Another process writes the file: reading goes on, writes and opens are
// refused with 5, at once without a recovery setting and after ten units
// with "Recover=10". (How long "at once" takes is a figure: bench_records.)
TEST_F(RecordFileTest, AFileHeldForWritingGives5AtOnceOrAfterTheRecoveryTime) {
  using Clock = std::chrono::steady_clock;
  platform::rec::SetLockRecoveryUnit(20ms);
  ASSERT_EQ(Add(f_, R("before")), 0);
  testsupport::Child holder(std::string(VELORN_TOOLS_DIR) + "/velorn_lockholder", {"record", Decl().fileName});
  ASSERT_TRUE(holder.WaitForOutput("held", 10s)) << holder.err();

  EXPECT_EQ(f_.Records(), 1);
  EXPECT_EQ(Names(ReadAll(f_, kFileOrder)), (std::vector<std::string>{"before"}));

  EXPECT_EQ(Add(f_, R("x")), code::AccessDenied);
  EXPECT_EQ(platform::rec::LastError(), code::AccessDenied);
  ASSERT_EQ(f_.Send("Recover=10"), 0);
  auto t0 = Clock::now();
  EXPECT_EQ(Add(f_, R("x")), code::AccessDenied);
  EXPECT_GE(Clock::now() - t0, 190ms);
  f_.Close();

  ASSERT_EQ(f_.Send("Recover=0"), 0);
  EXPECT_EQ(f_.Open(), code::AccessDenied);
  EXPECT_FALSE(f_.IsOpen());

  ASSERT_EQ(f_.Send("Recover=10"), 0);
  t0 = Clock::now();
  EXPECT_EQ(f_.Open(), code::AccessDenied);
  EXPECT_GE(Clock::now() - t0, 190ms);
  EXPECT_FALSE(f_.IsOpen());

  holder.CloseStdin();
  ASSERT_EQ(holder.Wait(10s), 0) << holder.err();
  ASSERT_EQ(f_.Open(), 0);
  EXPECT_EQ(Add(f_, R("after")), 0);
  EXPECT_EQ(f_.Records(), 2);
}

// A database of someone else's, made with the SQLite library itself.
void MakeForeignDatabase(const std::string& path) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE x (a TEXT); INSERT INTO x VALUES ('keep me');", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
}

TEST_F(RecordFileTest, ForeignFilesAreRefusedAndLeftUntouched) {
  f_.Close();
  const std::string path = Decl().fileName;
  struct Case {
    const char* what;
    std::function<void()> make;
    int code;
  } cases[] = {
      {"text", [&] { WriteFile(path, "Id;Name\r\n1;Hlášení\r\n"); }, code::InvalidDataFile},
      {"shorter than a header", [&] { WriteFile(path, "SQLite"); }, code::InvalidDataFile},
      {"SQLite header, then junk", [&] { WriteFile(path, std::string("SQLite format 3\0", 16) + std::string(200, '\xff')); },
       code::InvalidDataFile},
      {"another program's database", [&] { MakeForeignDatabase(path); }, code::InvalidRecordDeclaration},
      {"ours with another layout",
       [&] {
         const FileDecl other = MakeDecl(12);
         File<Rec> o(other);
         ASSERT_EQ(o.Create(), 0);
       },
       code::InvalidRecordDeclaration},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove(path.c_str());
    c.make();
    const std::string before = SnapshotFolder(dir_.path());
    ASSERT_FALSE(ReadFile(path).empty());
    EXPECT_EQ(f_.Open(), c.code);
    EXPECT_FALSE(f_.IsOpen());
    EXPECT_EQ(f_.Create(), c.code);
    EXPECT_EQ(platform::rec::LastError(), c.code);
    EXPECT_EQ(SnapshotFolder(dir_.path()), before);
  }
}

TEST_F(RecordFileTest, AForeignWalDatabaseIsNotCheckpointedByTheCheck) {
  f_.Close();
  const std::string path = Decl().fileName;
  std::remove(path.c_str());
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  ASSERT_EQ(sqlite3_exec(db,
                         "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0; CREATE TABLE x (a TEXT); "
                         "INSERT INTO x VALUES ('keep me');",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  const std::string main = ReadFile(path), wal = ReadFile(path + "-wal");
  ASSERT_FALSE(wal.empty());
  EXPECT_EQ(f_.Open(), code::InvalidRecordDeclaration);
  EXPECT_EQ(f_.Create(), code::InvalidRecordDeclaration);
  EXPECT_EQ(ReadFile(path), main);
  EXPECT_EQ(ReadFile(path + "-wal"), wal);
}

TEST_F(RecordFileTest, EmptyFileIsMissingUntilCreated) {
  f_.Close();
  const std::string path = Decl().fileName;
  WriteFile(path, "");
  EXPECT_EQ(f_.Open(), code::FileNotFound);
  ASSERT_EQ(f_.Create(), 0);
  ASSERT_EQ(f_.Open(), 0);
  EXPECT_EQ(f_.Records(), 0);
  ASSERT_EQ(Add(f_, R("a")), 0);
  f_.Close();
  // Create leaves a file of ours as it is.
  ASSERT_EQ(f_.Create(), 0);
  ASSERT_EQ(f_.Open(), 0);
  EXPECT_EQ(f_.Records(), 1);
}

TEST_F(RecordFileTest, FieldsStoreTheirFileForms) {
  struct Case {
    const char* what;
    Rec in;
    Rec out;
  } cases[] = {
      {"midnight reads as no time", R("", 0, platform::kMidnight), R("", 0, 0)},
      {"first hundredth after midnight", R("", 0, 2), R("", 0, 2)},
      {"last time", R("", 0, platform::kLastTime), R("", 0, platform::kLastTime)},
      {"time out of range", R("", 0, platform::kLastTime + 1), R("", 0, 0)},
      {"first date", R("", 0, 0, platform::kFirstDate), R("", 0, 0, platform::kFirstDate)},
      {"last date", R("", 0, 0, platform::kLastDate), R("", 0, 0, platform::kLastDate)},
      {"date before the first", R("", 0, 0, 3), R("", 0, 0, 0)},
      {"long text cut", R("abcdefghijklm"), R("abcdefghij")},
      {"cut by characters", R("ěščřžýáíéůú"), R("ěščřžýáíéů")},
      {"trailing blanks", R("a b   "), R("a b")},
      {"outside Windows-1250", R("a€日😀"), R("a€??")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Recreate();
    ASSERT_EQ(Add(f_, c.in), 0);
    EXPECT_EQ(f_.rec.name, c.out.name) << "buffer after add";
    const auto all = ReadAll(f_, kFileOrder);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].time, c.out.time);
    EXPECT_EQ(all[0].date, c.out.date);
    EXPECT_EQ(all[0].name, c.out.name);
  }
  // CSTRING(3): at most two characters, kept as written.
  for (const auto& [in, out] : {std::pair<std::string, std::string>{"abcd", "ab"}, {"a ", "a "}, {"ž", "ž"}}) {
    SCOPED_TRACE(in);
    Recreate();
    Rec r = R("");
    r.code = in;
    ASSERT_EQ(Add(f_, r), 0);
    const auto all = ReadAll(f_, kFileOrder);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].code, out);
  }
}

TEST_F(RecordFileTest, AddedRecordIsCurrent) {
  ASSERT_EQ(Add(f_, R("first", 0, 0, 0, 1)), 0);
  ASSERT_EQ(Add(f_, R("second", 0, 0, 0, 2)), 0);
  EXPECT_TRUE(f_.HasCurrent());
  f_.rec.name = "renamed";
  ASSERT_EQ(f_.Put(), 0);
  EXPECT_EQ(Names(ReadAll(f_, kFileOrder)), (std::vector<std::string>{"first", "renamed"}));
  ASSERT_EQ(Add(f_, R("third", 0, 0, 0, 3)), 0);
  ASSERT_EQ(f_.Delete(), 0);
  EXPECT_EQ(Ids(ReadAll(f_, kFileOrder)), (std::vector<int32_t>{1, 2}));
}

TEST_F(RecordFileTest, MisuseGivesItsCode) {
  EXPECT_EQ(f_.Open(), code::FileAlreadyOpen);
  EXPECT_EQ(f_.Create(), code::FileAlreadyOpen);
  EXPECT_EQ(f_.Next(), code::RecordNotAvailable);  // no order set
  EXPECT_EQ(f_.Put(), code::RecordNotAvailable);   // no current record
  EXPECT_EQ(f_.Delete(), code::RecordNotAvailable);
  EXPECT_EQ(f_.SetKeyOrder(4), code::CannotAccessIndex);
  EXPECT_EQ(f_.Send("Recover=x"), code::UnsupportedFunction);
  EXPECT_EQ(f_.Send("Bogus=1"), code::UnsupportedFunction);
  EXPECT_EQ(f_.Send("recover=0"), 0);
  f_.Close();
  EXPECT_EQ(f_.Records(), -1);
  EXPECT_EQ(platform::rec::LastError(), code::FileNotOpen);
  EXPECT_EQ(f_.Add(), code::FileNotOpen);
  EXPECT_EQ(f_.SetFileOrder(), code::FileNotOpen);
  std::remove(Decl().fileName.c_str());
  EXPECT_EQ(f_.Open(), code::FileNotFound);
}

// A reading stays open between two Next calls while its caller does other
// work for as long as it likes. Meanwhile writes of any other instance go
// through at once (no recovery time is set, so a write that had to wait
// would fail with 5); the reading goes on as it started, and a new reading
// meets what was written.
TEST_F(RecordFileTest, AnOpenReadingHoldsUpNoWriter) {
  struct Case {
    const char* what;
    std::function<int()> write;  // adds a record named "bb"
  } cases[] = {
      {"another instance on this thread",
       [] {
         File<Rec> y(Decl());
         if (const int rc = y.Open(); rc != 0) return rc;
         return Add(y, R("bb"));
       }},
      {"a transaction of another instance",
       [] {
         File<Rec> y(Decl());
         if (const int rc = y.Open(); rc != 0) return rc;
         if (const int rc = y.Logout(); rc != 0) return rc;
         if (const int rc = Add(y, R("bb")); rc != 0) return rc;
         return static_cast<int>(y.Commit());
       }},
      {"another thread",
       [] {
         int rc = -1;
         std::thread t([&rc] {
           File<Rec> y(Decl());
           rc = y.Open();
           if (rc == 0) rc = Add(y, R("bb"));
         });
         t.join();
         return rc;
       }},
      {"another process",
       [] {
         testsupport::Child child(VELORN_RECORDS_CHILD, {"add", "bb"});
         const int status = child.Wait(10s);
         return status == 0 ? 0 : 1000 + status;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Recreate();
    AddNumbered({R("a"), R("b"), R("c"), R("d")});
    ASSERT_EQ(f_.SetKeyOrder(kName), 0);
    ASSERT_EQ(f_.Next(), 0);
    ASSERT_EQ(f_.rec.name, "a");
    EXPECT_EQ(c.write(), 0);
    EXPECT_EQ(RestIds(f_), (std::vector<int32_t>{2, 3, 4}));
    EXPECT_EQ(Names(ReadAll(f_, kName)), (std::vector<std::string>{"a", "b", "bb", "c", "d"}));
  }
}

// Another instance moves a record already read to a later key value; the
// reading goes on, with and without a write of its own in between (after
// which it goes on in a new read transaction that sees the move).
TEST_F(RecordFileTest, ARecordMovedByAnotherInstanceIsNotMetTwice) {
  for (const bool ownWrite : {false, true}) {
    SCOPED_TRACE(ownWrite ? "own write in between" : "no write in between");
    Recreate();
    AddNumbered({R("a"), R("b"), R("c"), R("d")});
    ASSERT_EQ(f_.SetKeyOrder(kName), 0);
    ASSERT_EQ(f_.Next(), 0);
    ASSERT_EQ(f_.Next(), 0);
    ASSERT_EQ(f_.rec.name, "b");
    {
      File<Rec> y(Decl());
      ASSERT_EQ(y.Open(), 0);
      ASSERT_EQ(y.SetKeyOrder(kName), 0);
      ASSERT_EQ(y.Next(), 0);
      y.rec.name = "zz";
      ASSERT_EQ(y.Put(), 0);
    }
    if (ownWrite) {
      f_.rec.code = "x";
      ASSERT_EQ(f_.Put(), 0);
    }
    EXPECT_EQ(RestIds(f_), (std::vector<int32_t>{3, 4}));
    EXPECT_EQ(Names(ReadAll(f_, kName)), (std::vector<std::string>{"b", "c", "d", "zz"}));
  }
}

// A file that was made before the files kept a log and carried our mark.
void MakeOlderFile() {
  {
    File<Rec> o(Decl());
    ASSERT_EQ(o.Create(), 0);
  }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(Decl().fileName.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "PRAGMA journal_mode=DELETE; PRAGMA application_id=0", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
}

// Write protection is made for a child alone with read-only bind mounts of
// the test's folder ($DATA, seen by the child as $VIEW) in a private mount
// namespace.
// Where that cannot be done, the open's seam stands in for a write-protected
// file (the first case only).
TEST(WriteProtectedRecordFile, AnOpenForWritingIsRefusedWith5AndTheFileLeftAsItWas) {
  TempDir data(true), view;
  const std::string bind = "mount --bind \"$DATA\" \"$VIEW\"";
  const std::string folderReadOnly = bind + " && mount -o remount,bind,ro \"$VIEW\"";
  struct Case {
    const char* what;
    std::function<void()> make;
    std::string mounts;
    std::string role;
    std::string said;
  } cases[] = {
      {"nothing write-protected", [] { ASSERT_EQ(File<Rec>(Decl()).Create(), 0); }, bind, "open", "open 0"},
      {"the file write-protected", [] { ASSERT_EQ(File<Rec>(Decl()).Create(), 0); },
       bind + " && mount --bind \"$VIEW/Sample.tps\" \"$VIEW/Sample.tps\" && mount -o remount,bind,ro \"$VIEW/Sample.tps\"",
       "open", "open 5"},
      {"the folder write-protected", [] { ASSERT_EQ(File<Rec>(Decl()).Create(), 0); }, folderReadOnly, "open",
       "open 5"},
      {"the folder write-protected, the file not: no room for the log",
       [] { ASSERT_EQ(File<Rec>(Decl()).Create(), 0); },
       folderReadOnly + " && mount --bind \"$DATA/Sample.tps\" \"$VIEW/Sample.tps\"", "open", "open 5"},
      {"an older file without a log, its folder write-protected, the file not", [] { MakeOlderFile(); },
       folderReadOnly + " && mount --bind \"$DATA/Sample.tps\" \"$VIEW/Sample.tps\"", "open", "open 5"},
      {"a missing file in a write-protected folder", [] {}, folderReadOnly, "create", "create 5"},
  };
  const bool confined = testsupport::PrivateMountsWork();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove(Decl().fileName.c_str());
    c.make();
    const std::string before = SnapshotFolder(data.path());
    if (confined) {
      testsupport::ChildOptions o;
      o.env = {"DATA=" + data.path(), "VIEW=" + view.path()};
      testsupport::Child child(testsupport::kUnshare,
                               testsupport::InPrivateMounts(c.mounts, view.path(), VELORN_RECORDS_CHILD, {c.role}), o);
      EXPECT_EQ(child.Wait(10s), c.said.back() == '0' ? 0 : 1) << child.err();
      EXPECT_NE(child.out().find(c.said + "\n"), std::string::npos) << child.out() << child.err();
    } else if (c.what == cases[1].what) {
      platform::rec::SimulateWriteProtection(true);
      File<Rec> f(Decl());
      EXPECT_EQ(f.Open(), code::AccessDenied);
      EXPECT_FALSE(f.IsOpen());
      platform::rec::SimulateWriteProtection(false);
    }
    EXPECT_EQ(SnapshotFolder(data.path()), before);
  }
  if (!confined) GTEST_SKIP() << "no private mount namespace here: only the seam's case was run";
}

// A commit that cannot be written (the disk is full: a small file system of
// the child's own, in a private mount namespace) gives its error, and the
// transaction is rolled back and over.
TEST(RecordFileCommit, AFailedCommitIsRolledBackAndGivesItsError) {
  if (!testsupport::PrivateMountsWork()) GTEST_SKIP() << "no private mount namespace here";
  TempDir view;
  testsupport::ChildOptions o;
  o.env = {"VIEW=" + view.path()};
  testsupport::Child child(testsupport::kUnshare,
                           testsupport::InPrivateMounts("mount -t tmpfs -o size=256k velorn \"$VIEW\"", view.path(),
                                                        VELORN_RECORDS_CHILD, {"commit-full"}),
                           o);
  EXPECT_EQ(child.Wait(30s), 0) << child.err();
  EXPECT_EQ(child.out(), "create 0\nopen 0\nlogout 0\ncommit " + std::to_string(code::FileSystemError) +
                             "\nagain " + std::to_string(code::LogoutNotActive) + "\nrecords 0\nadd 0\nrecords 1\n")
      << child.err();
}


// The state of the file as another instance reads it: names in file order.
std::vector<std::string> NamesSeenByAnother() {
  File<Rec> y(Decl());
  EXPECT_EQ(y.Open(), 0);
  return Names(ReadAll(y, kFileOrder));
}

TEST_F(RecordFileTest, WritesOfATransactionCountOnlyWhenCommitted) {
  enum class End { Commit, Rollback, Close };
  struct Case {
    const char* what;
    End end;
    std::vector<std::string> after;
  } cases[] = {
      {"commit", End::Commit, {"a", "renamed", "new"}},
      {"rollback", End::Rollback, {"a", "b", "c"}},
      {"close with the transaction open", End::Close, {"a", "b", "c"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Recreate();
    AddNumbered({R("a"), R("b"), R("c")});
    File<Rec> y(Decl());
    ASSERT_EQ(y.Open(), 0);
    ASSERT_EQ(f_.Logout(), 0);
    f_.ClearBuffer();
    ASSERT_EQ(f_.PrimeAutoNumber(), 0);
    f_.rec.name = "new";
    ASSERT_EQ(f_.Add(), 0);
    ASSERT_EQ(f_.SetKeyOrder(kId), 0);
    ASSERT_EQ(f_.Next(), 0);
    ASSERT_EQ(f_.Next(), 0);
    f_.rec.name = "renamed";
    ASSERT_EQ(f_.Put(), 0);
    ASSERT_EQ(f_.Next(), 0);
    ASSERT_EQ(f_.Delete(), 0);
    // This instance reads its own writes; another one does not see them yet.
    EXPECT_EQ(Names(ReadAll(f_, kId)), (std::vector<std::string>{"a", "renamed", "new"}));
    EXPECT_EQ(Names(ReadAll(y, kFileOrder)), (std::vector<std::string>{"a", "b", "c"}));
    switch (c.end) {
      case End::Commit: ASSERT_EQ(f_.Commit(), 0); break;
      case End::Rollback: ASSERT_EQ(f_.Rollback(), 0); break;
      case End::Close: f_.Close(); break;
    }
    EXPECT_EQ(NamesSeenByAnother(), c.after);
    if (!f_.IsOpen()) {
      ASSERT_EQ(f_.Open(), 0);
    }
    // The transaction is over: writes count at once again.
    ASSERT_EQ(Add(f_, R("later")), 0);
    EXPECT_EQ(NamesSeenByAnother().back(), "later");
  }
}

TEST_F(RecordFileTest, ARefusedWriteInsideATransactionLeavesTheOthers) {
  AddNumbered({R("a"), R("b")});
  ASSERT_EQ(f_.Logout(), 0);
  ASSERT_EQ(Add(f_, R("c", 0, 0, 0, 3)), 0);
  EXPECT_EQ(Add(f_, R("dup", 0, 0, 0, 1)), code::DuplicateKey);
  ASSERT_EQ(Add(f_, R("d", 0, 0, 0, 4)), 0);
  ASSERT_EQ(f_.Commit(), 0);
  EXPECT_EQ(NamesSeenByAnother(), (std::vector<std::string>{"a", "b", "c", "d"}));
}

TEST_F(RecordFileTest, TransactionCallsGiveTheirCodes) {
  File<Rec> y(Decl());
  ASSERT_EQ(y.Open(), 0);
  ASSERT_EQ(Add(y, R("y")), 0);
  struct Step {
    const char* what;
    std::function<int()> call;
    int code;
  } steps[] = {
      {"commit without a transaction", [&] { return f_.Commit(); }, code::LogoutNotActive},
      {"rollback without a transaction", [&] { return f_.Rollback(); }, code::LogoutNotActive},
      {"begin", [&] { return f_.Logout(); }, 0},
      {"begin again", [&] { return f_.Logout(); }, code::LogoutActive},
      // Another instance cannot write meanwhile (no recovery time set).
      {"another instance begins", [&] { return y.Logout(); }, code::AccessDenied},
      {"another instance adds", [&] { return Add(y, R("z")); }, code::AccessDenied},
      {"another instance reads", [&] { return static_cast<int>(y.Records()) - 1; }, 0},
      {"commit", [&] { return f_.Commit(); }, 0},
      {"commit again", [&] { return f_.Commit(); }, code::LogoutNotActive},
      {"the other one begins now", [&] { return y.Logout(); }, 0},
      {"and rolls back", [&] { return y.Rollback(); }, 0},
      {"rollback again", [&] { return y.Rollback(); }, code::LogoutNotActive},
      {"closed: begin", [&] { f_.Close(); return f_.Logout(); }, code::FileNotOpen},
      {"closed: commit", [&] { return f_.Commit(); }, code::FileNotOpen},
      {"closed: rollback", [&] { return f_.Rollback(); }, code::FileNotOpen},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    EXPECT_EQ(s.call(), s.code);
    if (s.code != 0) {
      EXPECT_EQ(platform::rec::LastError(), s.code);
    }
  }
}

// A process killed inside a transaction, after some of its writes: the
// file holds none of them. Left to commit, it holds all of them.
TEST_F(RecordFileTest, AKilledProcessLeavesNoneOfItsTransactionsWrites) {
  struct Case {
    const char* what;
    int pause;   // writes done when the child stops
    bool kill;
    std::vector<std::string> after;
  } cases[] = {
      {"killed after the first write", 1, true, {"a", "b", "c"}},
      {"killed after the second write", 2, true, {"a", "b", "c"}},
      {"killed after the last write, before the commit", 3, true, {"a", "b", "c"}},
      {"let commit", 2, false, {"renamed", "c", "new"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Recreate();
    AddNumbered({R("a"), R("b"), R("c")});
    testsupport::Child child(VELORN_RECORDS_CHILD, {"logout", std::to_string(c.pause)});
    ASSERT_TRUE(child.WaitForOutput("paused", 10s)) << child.out() << child.err();
    if (c.kill) {
      child.Signal(SIGKILL);
      EXPECT_EQ(child.Wait(10s), 128 + SIGKILL);
    } else {
      child.CloseStdin();
      EXPECT_EQ(child.Wait(10s), 0) << child.out() << child.err();
    }
    EXPECT_EQ(NamesSeenByAnother(), c.after);
    // Nothing of the dead process holds the file.
    EXPECT_EQ(Add(f_, R("after")), 0);
  }
}

}  // namespace

namespace {

void RemoveWithCompanions(const std::string& path) {
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) std::remove((path + suffix).c_str());
}

// The inode of a file; 0 when there is none.
ino_t Inode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// The descriptors of this process whose file has been deleted under it.
std::vector<std::string> DeletedUnderUs() {
  std::vector<std::string> deleted;
  for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    const std::string target = std::filesystem::read_symlink(e.path(), ec).string();
    if (!ec && target.ends_with(" (deleted)")) deleted.push_back(target);
  }
  return deleted;
}

// What another process's names of the file are, read through its own open.
std::vector<std::string> NamesInAnotherProcess() {
  testsupport::Child child(VELORN_RECORDS_CHILD, {"names"});
  EXPECT_EQ(child.Wait(10s), 0) << child.out() << child.err();
  std::vector<std::string> names;
  std::istringstream lines(child.out());
  for (std::string line; std::getline(lines, line);)
    if (line.starts_with("name ")) names.push_back(line.substr(5));
  return names;
}

}  // namespace

// A file this process holds open stays in use for everyone else while new
// instances come and go (the lists, the editor, each scan open their own):
// another process that opens and closes it leaves its log and shared memory
// in place, and what this process writes afterwards is seen by others and
// survives the process.
TEST_F(RecordFileTest, NewInstancesKeepTheFileInUseForOtherProcesses) {
  const std::string path = Decl().fileName;
  ASSERT_EQ(Add(f_, R("a")), 0);
  const ino_t wal = Inode(path + "-wal"), shm = Inode(path + "-shm");
  ASSERT_NE(wal, 0u);
  ASSERT_NE(shm, 0u);
  for (int round = 0; round < 2; ++round) {
    File<Rec> other(Decl());
    ASSERT_EQ(other.Create(), 0);
    ASSERT_EQ(other.Open(), 0);
    EXPECT_EQ(other.Records(), round + 1);
    other.Close();
    testsupport::Child child(VELORN_RECORDS_CHILD, {"add", round == 0 ? "b" : "c"});
    ASSERT_EQ(child.Wait(10s), 0) << child.out() << child.err();
    EXPECT_EQ(Inode(path + "-wal"), wal) << "the log was taken away in round " << round;
    EXPECT_EQ(Inode(path + "-shm"), shm) << "the shared memory was taken away in round " << round;
  }
  EXPECT_EQ(DeletedUnderUs(), std::vector<std::string>{});
  ASSERT_EQ(Add(f_, R("d")), 0);
  EXPECT_EQ(NamesInAnotherProcess(), (std::vector<std::string>{"a", "b", "c", "d"}));
}

TEST_F(RecordFileTest, TheFilesOfAnOpenConnectionAreHeldHere) {
  const std::string path = Decl().fileName;
  const std::string full = dir_.path() + "/" + path;
  struct Case {
    std::string name;
    bool held;
  } cases[] = {
      {path, true}, {full, true}, {path + "-wal", true}, {full + "-shm", true},
      {path + "-journal", false}, {"Other.tps", false}, {"-wal", false}, {dir_.path(), false},
  };
  testsupport::WriteFile("Other.tps", "x");
  for (const Case& c : cases) EXPECT_EQ(platform::rec::HeldOpenHere(c.name), c.held) << c.name;
  File<Rec> second(Decl());
  ASSERT_EQ(second.Open(), 0);
  f_.Close();
  EXPECT_TRUE(platform::rec::HeldOpenHere(path)) << "held while one instance has it";
  second.Close();
  for (const Case& c : cases) EXPECT_FALSE(platform::rec::HeldOpenHere(c.name)) << c.name << " after the close";
}

// An SQLite file of its own for the creation tests: the statements run on a
// new file, which is then closed.
void MakeSqliteFile(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

// A creation cut short by an older version (the file switched to the log
// before its tables were made) is completed; a file that merely looks like
// one but carries another program's mark, or holds anything, is refused and
// left as it was.
TEST_F(RecordFileTest, ACreationCutShortIsCompletedAndOtherFilesStayRefused) {
  f_.Close();
  const std::string path = Decl().fileName;
  struct Case {
    const char* what;
    const char* sql;
    int open;  // what Open gives before Create
  } cases[] = {
      {"a header in log mode, no tables", "PRAGMA journal_mode=WAL", code::FileNotFound},
      {"a header, its tables made and dropped", "CREATE TABLE t (a); DROP TABLE t", code::FileNotFound},
      {"another program's mark, no tables", "PRAGMA journal_mode=WAL; PRAGMA application_id=42",
       code::InvalidRecordDeclaration},
      {"no mark, an empty table", "CREATE TABLE t (a)", code::InvalidRecordDeclaration},
      {"no mark, only a view", "CREATE VIEW v AS SELECT 1", code::InvalidRecordDeclaration},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RemoveWithCompanions(path);
    MakeSqliteFile(path, c.sql);
    const std::string before = ReadFile(path);
    EXPECT_EQ(f_.Open(), c.open);
    if (c.open == code::FileNotFound) {
      ASSERT_EQ(f_.Create(), 0);
      ASSERT_EQ(f_.Open(), 0);
      EXPECT_EQ(Add(f_, R("a")), 0);
      EXPECT_EQ(f_.Records(), 1);
      f_.Close();
    } else {
      EXPECT_EQ(f_.Create(), c.open);
      // (SQLite's read-only look at a file in log mode leaves an empty log.)
      EXPECT_TRUE(ReadFile(path) == before) << "the refused file was changed";
    }
  }
}

// What a file is before anything opens it for writing: "missing", "empty",
// "whole" (its tables there, as read-only) or what SQLite said.
std::string StateOnDisk(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return "missing";
  if (st.st_size == 0) return "empty";
  sqlite3* db = nullptr;
  std::string state = "cannot open";
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    state = sqlite3_exec(db, "SELECT count(*) FROM velorn_meta", nullptr, nullptr, nullptr) == SQLITE_OK
                ? "whole"
                : sqlite3_errmsg(db);
  }
  sqlite3_close(db);
  return state;
}

// A creation killed at any moment leaves the name missing, empty or whole,
// never a part; the next open finds it missing (and creates it) or opens it.
TEST_F(RecordFileTest, ACreationKilledAtAnyMomentLeavesNoHalfFile) {
  f_.Close();
  const std::string path = Decl().fileName;
  std::mt19937 random(20261211);
  int cut = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    SCOPED_TRACE(attempt);
    RemoveWithCompanions(path);
    testsupport::Child child(VELORN_RECORDS_CHILD, {"create"});
    std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, 8000)(random)));
    child.Signal(SIGKILL);
    if (child.Wait(10s) != 0) ++cut;
    const std::string state = StateOnDisk(path);
    EXPECT_TRUE(state == "missing" || state == "empty" || state == "whole") << state;
    const int opened = f_.Open();
    EXPECT_TRUE(opened == 0 || opened == code::FileNotFound) << opened;
    if (opened != 0) {
      ASSERT_EQ(f_.Create(), 0);
      ASSERT_EQ(f_.Open(), 0);
    }
    EXPECT_EQ(f_.Records(), 0);
    f_.Close();
    EXPECT_FALSE(std::filesystem::exists(dir_.file(".Sample.tps.new"))) << "a leftover of the killed creation";
  }
  EXPECT_GT(cut, 0) << "no creation was cut short";
}

// A full disk at the creation leaves nothing behind; with room again the
// file is made (a small file system of the child's own).
TEST(RecordFileCreate, AFullDiskLeavesNothingAndTheNextCreationSucceeds) {
  if (!testsupport::PrivateMountsWork()) GTEST_SKIP() << "no private mount namespace here";
  TempDir view;
  testsupport::ChildOptions o;
  o.env = {"VIEW=" + view.path(), "CHILD=" VELORN_RECORDS_CHILD};
  const std::string script =
      "dd if=/dev/zero of=fill bs=4k 2>/dev/null; "
      "\"$CHILD\" create; ls -A; rm fill; \"$CHILD\" create; \"$CHILD\" add a; ls -A";
  testsupport::Child child(testsupport::kUnshare,
                           testsupport::InPrivateMounts("mount -t tmpfs -o size=256k velorn \"$VIEW\"", view.path(),
                                                        "/bin/sh", {"-c", script}),
                           o);
  EXPECT_EQ(child.Wait(30s), 0) << child.err();
  EXPECT_EQ(child.out(), "create " + std::to_string(code::FileSystemError) +
                             "\nfill\ncreate 0\nopen 0\nadd 0\nSample.tps\n")
      << child.err();
}

// What a crash or an operator may leave where a file is to be made: the new
// file is not mixed with an old log or journal beside the name, a link stays
// a link, and an empty file's mode is kept.
TEST_F(RecordFileTest, ACreationTakesNothingOfWhatStoodAtTheName) {
  f_.Close();
  const std::string path = Decl().fileName;
  // A log and a hot journal of another database, with committed changes.
  auto makeLeftovers = [&](const char* which) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open("other.db", &db), SQLITE_OK);
    const std::string wal = std::string(which) == "-wal" ? "PRAGMA journal_mode=WAL;" : "";
    ASSERT_EQ(sqlite3_exec(db, (wal + "CREATE TABLE t (a); INSERT INTO t VALUES (zeroblob(20000));").c_str(), nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    if (wal.empty()) {
      // A journal is hot while its transaction is open: copied away then.
      ASSERT_EQ(sqlite3_exec(db, "PRAGMA cache_size=1; BEGIN; UPDATE t SET a = zeroblob(30000);", nullptr, nullptr,
                             nullptr),
                SQLITE_OK);
      WriteFile(path + "-journal", ReadFile("other.db-journal"));
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    } else {
      sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    }
    sqlite3_close(db);
    if (!wal.empty()) WriteFile(path + "-wal", ReadFile("other.db-wal"));
    RemoveWithCompanions("other.db");
    ASSERT_FALSE(ReadFile(path + which).empty()) << which;
  };
  struct Case {
    const char* what;
    const char* leftover;
    bool emptyFile;
  } cases[] = {
      {"a log beside a missing name", "-wal", false},
      {"a log beside an empty file", "-wal", true},
      {"a hot journal beside a missing name", "-journal", false},
      {"a hot journal beside an empty file", "-journal", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RemoveWithCompanions(path);
    makeLeftovers(c.leftover);
    if (c.emptyFile) WriteFile(path, "");
    ASSERT_EQ(f_.Create(), 0);
    ASSERT_EQ(f_.Open(), 0);
    EXPECT_EQ(f_.Records(), 0);
    EXPECT_EQ(Add(f_, R("a")), 0);
    f_.Close();
    EXPECT_EQ(StateOnDisk(path), "whole");
  }

  // A link to an empty file, and one to no file yet: the link stays, the
  // file it names is made; an empty file keeps its mode.
  RemoveWithCompanions(path);
  std::filesystem::create_directory("real");
  WriteFile("real/Sample.tps", "");
  ASSERT_EQ(::chmod("real/Sample.tps", 0660), 0);
  std::filesystem::create_symlink("real/Sample.tps", path);
  ASSERT_EQ(f_.Create(), 0);
  EXPECT_TRUE(std::filesystem::is_symlink(path));
  EXPECT_EQ(StateOnDisk("real/Sample.tps"), "whole");
  struct stat st {};
  ASSERT_EQ(::stat("real/Sample.tps", &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0660u);
  std::remove(path.c_str());
  std::filesystem::create_symlink("real/Later.tps", path);
  ASSERT_EQ(f_.Create(), 0);
  EXPECT_TRUE(std::filesystem::is_symlink(path));
  EXPECT_EQ(StateOnDisk("real/Later.tps"), "whole");
  ASSERT_EQ(f_.Open(), 0);
  std::remove(path.c_str());
}
