// The scheduler's rules over a real Tasks.tps, on a recording port and a
// clock that moves on only when the engine sleeps, so the 3-minute window
// moves with the scan's own traffic and no case costs real seconds.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <map>
#include <string>
#include <vector>

#include "app/data/debuglog.h"
#include "app/data/records.h"
#include "app/engine/protocol.h"
#include "app/engine/scheduler.h"
#include "platform/stdtime.h"
#include "platform/text.h"
#include "tests/engine/recording_port.h"
#include "tests/support/fake_clock.h"
#include "tests/support/tempdir.h"

namespace {

using namespace app::engine;
using app::data::TasksRecord;
using platform::StdDate;
using platform::StdTime;
using testsupport::AllRelays;

const StdDate kToday = platform::DateFromYmd(2026, 12, 10);  // a Thursday
const StdTime kTen = platform::TimeFromHms(10, 0, 0);
// What a scan sleeps before it reads the first task: two lamp commands of 20
// hundredths and 41 relay exchanges of 5.
constexpr int32_t kScanLead = 2 * 20 + 41 * 5;

struct TaskSpec {
  StdDate date = kToday;
  StdTime time = kTen - 6000;
  std::string weekdays = "00";
  int count = 0;
  StdDate lastRun = 0;
  int autoDelete = 1;
  int active = 1;
  std::string file = "a.wav";
  StdTime length = platform::TimeFromHms(0, 0, 10);
};

class Scheduler : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    app::data::AttachThreadFiles();
    SetPortOps(port_.Ops());
    COM_PORT = "COM1";
    PortHandle = 3;
    PlaybackRunning = 0;
    PlaybackEndTime = 0;
    PlaybackEndDate = 0;
    ManualPlaybackRequested = 0;
    GLO_TIMEOUT = 0;
    GLO_HLASENI = 0;
    GLO_AMP_DELAY = 0;
    OutputSelected = {};
    app::data::DebugEnabled = 1;
    platform::rec::File<TasksRecord> f(app::data::TasksDecl());
    ASSERT_EQ(f.Create(), 0);
  }
  void TearDown() override {
    app::data::DebugEnabled = 0;
    SetPortOps(LibraryPort());
    PortHandle = -1;
    app::data::DetachThreadFiles();
  }

  int32_t Add(const TaskSpec& s) {
    platform::rec::File<TasksRecord> f(app::data::TasksDecl());
    EXPECT_EQ(f.Open(), 0);
    f.ClearBuffer();
    app::data::PrimeTaskDefaults(f.rec);
    f.PrimeAutoNumber();
    f.rec.DATUM_SPUSTENI = s.date;
    f.rec.CAS_SPUSTENI = s.time;
    f.rec.OPAKOVANI = s.weekdays;
    f.rec.OPAKOVANI_POCET = static_cast<uint8_t>(s.count);
    f.rec.POSLEDNI_SPUSTENI = s.lastRun;
    f.rec.AUTOMATICKY_SMAZAT = static_cast<uint8_t>(s.autoDelete);
    f.rec.AKTIVNI = static_cast<uint8_t>(s.active);
    f.rec.PREHRAT = s.file;
    f.rec.NAZEV = "Úloha " + s.file;
    f.rec.DELKA_SOUBORU = s.length;
    EXPECT_EQ(f.Add(), 0);
    return f.rec.ID;
  }

  std::map<int32_t, TasksRecord> Tasks() {
    std::map<int32_t, TasksRecord> all;
    platform::rec::File<TasksRecord> f(app::data::TasksDecl());
    EXPECT_EQ(f.Open(), 0);
    f.SetFileOrder();
    while (f.Next() == 0) all[f.rec.ID] = f.rec;
    return all;
  }

  std::vector<std::string> LogLinesWith(const std::string& part) {
    std::vector<std::string> lines;
    const std::string log = platform::text::FromCp1250(testsupport::ReadFile("Debug.log"));
    size_t pos = 0;
    while (pos < log.size()) {
      const size_t end = log.find("\r\n", pos);
      const std::string line = log.substr(pos, end - pos);
      if (line.find(part) != std::string::npos) lines.push_back(line);
      if (end == std::string::npos) break;
      pos = end + 2;
    }
    return lines;
  }

  // How many tasks RunTask started: each lights the LINE lamp.
  size_t Runs() const { return port_.Count("(0504102113)"); }

  testsupport::TempDir dir_{true};
  testsupport::FakeClock clock_{kToday, kTen};
  testsupport::ClockGuard guard_{&clock_};
  testsupport::RecordingPort port_;
};

struct RuleCase {
  const char* name;
  TaskSpec task;
  bool runs;
  bool kept;          // the record is still there afterwards
  int activeAfter;
  int countAfter;
};

// The time the scan tests the first task at.
const StdTime kAtTest = kTen + kScanLead;

TEST_F(Scheduler, RulesForOneTask) {
  const RuleCase cases[] = {
      {"one-shot due, deletes itself", {.time = kTen - 6000}, true, false, 0, 0},
      {"one-shot due, stays", {.time = kTen - 6000, .autoDelete = 0}, true, true, 1, 0},
      {"exactly 3 minutes ago", {.time = kAtTest - 18000}, false, true, 1, 0},
      {"just inside the window", {.time = kAtTest - 18000 + 1}, true, false, 0, 0},
      {"the current time itself", {.time = kAtTest}, false, true, 1, 0},
      {"already run today", {.time = kTen - 6000, .lastRun = kToday}, false, true, 1, 0},
      {"one-shot of another day", {.date = kToday - 1}, false, true, 1, 0},
      {"weekly 2 -> 1", {.date = kToday - 7, .weekdays = "10", .count = 2}, true, true, 1, 1},
      {"weekly 1 -> 0, deletes itself", {.date = kToday - 7, .weekdays = "10", .count = 1}, true, false, 0, 0},
      {"weekly 1 -> 0, set inactive",
       {.date = kToday - 7, .weekdays = "10", .count = 1, .autoDelete = 0}, true, true, 0, 0},
      {"weekly endless", {.date = kToday - 7, .weekdays = "7F", .count = 255}, true, true, 1, 255},
      {"weekly before its first date", {.date = kToday + 30, .weekdays = "10", .count = 3}, true, true, 1, 2},
      {"weekly on another weekday", {.date = kToday - 7, .weekdays = "02", .count = 3}, false, true, 1, 3},
      {"weekly, lower-case mask", {.date = kToday - 7, .weekdays = "7f", .count = 3}, true, true, 1, 2},
      {"inactive", {.time = kTen - 6000, .active = 0}, false, true, 0, 0},
  };
  for (const RuleCase& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    std::remove("Tasks.tps");
    std::remove("Debug.log");
    port_ = {};
    clock_.Set(kToday, kTen);
    SetUp();
    const int32_t id = Add(c.task);
    ScanTasks();
    EXPECT_EQ(Runs(), c.runs ? 1u : 0u);
    const auto tasks = Tasks();
    ASSERT_EQ(tasks.count(id), c.kept ? 1u : 0u);
    if (c.kept) {
      const TasksRecord& r = tasks.at(id);
      EXPECT_EQ(r.AKTIVNI, c.activeAfter);
      EXPECT_EQ(r.OPAKOVANI_POCET, c.countAfter);
      EXPECT_EQ(r.POSLEDNI_SPUSTENI, c.runs ? kToday : c.task.lastRun);
    }
    EXPECT_EQ(PlaybackRunning, c.runs ? 1 : 0);
    const bool weeklyCandidate = c.task.date != kToday && c.task.count > 0 && c.task.active == 1;
    EXPECT_EQ(LogLinesWith(" today is: ").size(), weeklyCandidate ? 1u : 0u);
  }
}

TEST_F(Scheduler, AScanWithNothingDueSilencesTheInstallation) {
  Add({.time = kTen + 30000});
  ScanTasks();
  std::vector<std::string> expected = {"(0504102012)", "(0504100010)", "r64\r"};
  const auto s = AllRelays('s');
  expected.insert(expected.end(), s.begin(), s.end());
  EXPECT_EQ(port_.Texts(), expected);
  EXPECT_EQ(GLO_TIMEOUT, 0);
}

TEST_F(Scheduler, ADueTaskSwitchesItsZonesTheAmplifierAndPlays) {
  GLO_AMP_DELAY = platform::TimeFromHms(0, 0, 2);  // 201 hundredths
  TaskSpec t;
  Add(t);
  {
    platform::rec::File<TasksRecord> f(app::data::TasksDecl());
    ASSERT_EQ(f.Open(), 0);
    f.SetFileOrder();
    ASSERT_EQ(f.Next(), 0);
    f.rec.VYSTUP1_5 = "08";  // output 1
    f.rec.VYSTUP2_5 = "08";  // output 9
    f.rec.VYSTUP4_5 = "10";  // output 32
    ASSERT_EQ(f.Put(), 0);
  }
  ScanTasks();
  std::vector<std::string> expected = {"(0504102012)", "(0504100010)", "r64\r"};
  const auto s = AllRelays('s');
  expected.insert(expected.end(), s.begin(), s.end());
  expected.insert(expected.end(), {"(0504102113)", "(0504100111)", "r64\r"});
  expected.insert(expected.end(), s.begin(), s.end());
  expected.insert(expected.end(), {"r0\r", "r8\r", "r31\r", "s64\r"});
  EXPECT_EQ(port_.Texts(), expected);
  // Console commands at 19200 baud, relay commands at 9600.
  for (const auto& w : port_.writes) EXPECT_EQ(w.baud, w.text[0] == '(' ? 19200 : 9600) << w.text;
  // The amplifier delay passed before the sound: the end is counted from
  // after it.
  // Lamps, r64, s0..s39, three zones, s64, then 201 + 1 hundredths.
  const StdTime afterAmp = kTen + kScanLead + 2 * 20 + 41 * 5 + 3 * 5 + 5 + 202;
  EXPECT_EQ(PlaybackEndTime, afterAmp + t.length);
  EXPECT_EQ(PlaybackEndDate, kToday);
}

TEST_F(Scheduler, TwoDueTasksBothRunAndTheLastOneSetsTheEnd) {
  const int32_t a = Add({.time = kTen - 9000, .autoDelete = 0, .file = "first.wav",
                         .length = platform::TimeFromHms(0, 5, 0)});
  const int32_t b = Add({.time = kTen - 6000, .autoDelete = 0, .file = "second.wav",
                         .length = platform::TimeFromHms(0, 0, 3)});
  ScanTasks();
  EXPECT_EQ(Runs(), 2u);
  const auto tasks = Tasks();
  EXPECT_EQ(tasks.at(a).POSLEDNI_SPUSTENI, kToday);
  EXPECT_EQ(tasks.at(b).POSLEDNI_SPUSTENI, kToday);
  // The end is the second task's: now plus 3 seconds, well before 5 minutes.
  EXPECT_LT(PlaybackEndTime, kTen + 30000);
  const auto played = LogLinesWith(" lenght:");
  ASSERT_EQ(played.size(), 2u);
  EXPECT_NE(played[0].find("Úloha first.wav"), std::string::npos);
  EXPECT_NE(played[1].find("Úloha second.wav"), std::string::npos);
}

TEST_F(Scheduler, AfterADeleteOrADeactivationTheNextTaskInKeyOrderRuns) {
  const StdTime at = kTen - 6000;
  const int32_t deleted = Add({.time = at});                                            // one-shot, deletes itself
  const int32_t sameTime = Add({.time = at, .autoDelete = 0});                         // same key values
  const int32_t inactive = Add({.date = kToday - 7, .time = at + 100, .weekdays = "10", .count = 1, .autoDelete = 0});
  const int32_t later = Add({.date = kToday - 7, .time = at + 200, .weekdays = "10", .count = 2});
  ScanTasks();
  EXPECT_EQ(Runs(), 4u);
  const auto tasks = Tasks();
  EXPECT_EQ(tasks.count(deleted), 0u);
  EXPECT_EQ(tasks.at(sameTime).POSLEDNI_SPUSTENI, kToday);
  EXPECT_EQ(tasks.at(inactive).AKTIVNI, 0);
  EXPECT_EQ(tasks.at(later).OPAKOVANI_POCET, 1);
  EXPECT_EQ(LogLinesWith(" today is: ").size(), 2u);
  EXPECT_EQ(LogLinesWith(" deleting the task: ").size(), 1u);
  EXPECT_EQ(LogLinesWith(" setting the task inactive: ").size(), 1u);
}

TEST_F(Scheduler, TheTickCountsScansOnlyWhenConnectedAndIdle) {
  // 79 ticks: no scan yet.
  for (int i = 0; i < 79; ++i) HandleTimerTick();
  EXPECT_EQ(port_.Count("s39\r"), 0u);
  HandleTimerTick();
  EXPECT_EQ(port_.Count("s39\r"), 1u);
  EXPECT_EQ(GLO_TIMEOUT, 0);

  // Not connected: the counter keeps growing and never overflows.
  PortHandle = -1;
  GLO_TIMEOUT = 2147483600;
  for (int i = 0; i < 3; ++i) HandleTimerTick();
  EXPECT_GE(GLO_TIMEOUT, 2147483600);
  EXPECT_EQ(port_.Count("s39\r"), 1u);
}

TEST_F(Scheduler, APlaybackEndingAfterMidnightStaysRunningUntilThen) {
  clock_.Set(kToday, platform::TimeFromHms(23, 59, 50));
  SetPlaybackEnd(platform::TimeFromHms(0, 0, 20));
  PlaybackRunning = 1;
  EXPECT_EQ(PlaybackEndDate, kToday + 1);
  EndPlaybackIfDue();
  EXPECT_EQ(PlaybackRunning, 1) << "not cut at the next tick";
  clock_.Set(kToday + 1, platform::TimeFromHms(0, 0, 5));
  EndPlaybackIfDue();
  EXPECT_EQ(PlaybackRunning, 1);
  clock_.Set(kToday + 1, platform::TimeFromHms(0, 0, 11));
  EndPlaybackIfDue();
  EXPECT_EQ(PlaybackRunning, 0);

  // One that ended before midnight is over after it.
  clock_.Set(kToday, platform::TimeFromHms(23, 0, 0));
  SetPlaybackEnd(platform::TimeFromHms(0, 0, 20));
  PlaybackRunning = 1;
  clock_.Set(kToday + 1, platform::TimeFromHms(0, 0, 1));
  EndPlaybackIfDue();
  EXPECT_EQ(PlaybackRunning, 0);
}

TEST_F(Scheduler, AClockSetBackDoesNotHoldThePlaybackPastItsLength) {
  SetPlaybackEnd(platform::TimeFromHms(0, 0, 10));
  PlaybackRunning = 1;
  clock_.Set(kToday - 1, kTen);  // the wall clock goes back a day
  EndPlaybackIfDue();
  EXPECT_EQ(PlaybackRunning, 1);
  clock_.Advance(std::chrono::seconds(11));
  EndPlaybackIfDue();
  EXPECT_EQ(PlaybackRunning, 0);
}

TEST_F(Scheduler, ARunThatReachesMidnightIsBookedOnTheDayItWasDue) {
  clock_.Set(kToday, platform::TimeFromHms(23, 59, 50));
  GLO_AMP_DELAY = platform::TimeFromHms(0, 0, 15);  // the sound starts after midnight
  const int32_t id = Add({.date = kToday - 7, .time = platform::TimeFromHms(23, 59, 51), .weekdays = "7F",
                          .count = 3, .autoDelete = 0});
  ScanTasks();
  EXPECT_EQ(Runs(), 1u);
  EXPECT_EQ(clock_.Today(), kToday + 1);
  EXPECT_EQ(Tasks().at(id).POSLEDNI_SPUSTENI, kToday) << "the next day's run must not count as done";
}

TEST_F(Scheduler, TheEndOfAManualPlaybackSwitchesItsOutputsOff) {
  OutputSelected[2] = 1;
  OutputSelected[40] = 1;
  ManualPlaybackRequested = 1;
  PlaybackRunning = 1;
  PlaybackEndTime = kTen - 1;
  PlaybackEndDate = kToday;
  EndPlaybackIfDue();
  EXPECT_EQ(port_.Texts(), (std::vector<std::string>{"(0504102012)", "(0504100010)", "s1\r", "s39\r", "r64\r"}));
  EXPECT_EQ(ManualPlaybackRequested, 0);
  EXPECT_EQ(PlaybackRunning, 0);
}

TEST_F(Scheduler, AFailedRewriteShowsItsBoxAndEndsWithFive) {
  Add({.time = kTen - 6000});
  EXPECT_EXIT(
      {
        // Another connection takes the file while the task plays: the rewrite
        // of its last-run date cannot be made.
        platform::rec::SetLockRecoveryUnit(std::chrono::milliseconds(1));
        auto ops = port_.Ops();
        auto write = ops.write;
        ops.write = [write](int32_t h, const std::string& t) {
          if (t == "s64\r") {
            sqlite3* db = nullptr;
            sqlite3_open_v2("Tasks.tps", &db, SQLITE_OPEN_READWRITE, nullptr);
            sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
          }
          return write(h, t);
        };
        SetPortOps(ops);
        ScanTasks();
        ::_exit(0);
      },
      ::testing::ExitedWithCode(5), "Chyba č.0x");
}

}  // namespace
