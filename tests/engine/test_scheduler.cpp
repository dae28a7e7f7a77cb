// The scheduler's rules over a real Tasks.tps, on a recording port and a
// clock that moves on only when the engine sleeps, so the 3-minute window
// moves with the scan's own traffic and no case costs real seconds. Every
// case works on a fresh engine (its state objects) of its own.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/data/debuglog.h"
#include "app/data/records.h"
#include "app/engine/engine.h"
#include "app/engine/logtext.h"
#include "platform/msgbox.h"
#include "platform/stdtime.h"
#include "platform/text.h"
#include "tests/engine/recording_port.h"
#include "tests/engine/recording_view.h"
#include "tests/engine/task_file.h"
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
// What a tick sleeps when nothing else happens: the status query.
constexpr int32_t kTickSleep = 5;

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

struct Box {
  std::string title, text;
};

class Scheduler : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    app::data::AttachThreadFiles();
    app::data::DebugEnabled = 1;
    Fresh();
  }
  void TearDown() override {
    engine_.reset();
    app::data::DebugEnabled = 0;
    app::data::DetachThreadFiles();
  }

  // A new engine on a new port and view, connected, and an empty Tasks.tps.
  void Fresh() {
    engine_.reset();
    std::remove("Tasks.tps");
    std::remove("Debug.log");
    port_ = {};
    view_.writes.clear();
    boxes_.clear();
    ends_.clear();
    EngineHooks hooks;
    hooks.view = &view_;
    hooks.errorBox = [this](std::string_view, std::string_view title, std::string_view text) {
      boxes_.push_back({std::string(title), std::string(text)});
    };
    hooks.endProgram = [this](int status) { ends_.push_back(status); };
    closingDown_ = false;
    hooks.closingDown = [this] { return closingDown_; };
    reports_.clear();
    hooks.report = [this](std::string_view line) { reports_.emplace_back(line); };
    engine_ = std::make_unique<Engine>(hooks, port_.Ops());
    engine_->portState.COM_PORT = "COM1";
    engine_->portState.PortHandle = 3;
    platform::rec::File<TasksRecord> f(app::data::TasksDecl());
    ASSERT_EQ(f.Create(), 0);
  }

  Engine& E() { return *engine_; }
  SchedulerState& S() { return engine_->schedulerState; }

  int32_t Add(const TaskSpec& s) {
    return testsupport::AddTask([&](TasksRecord& r) {
      r.DATUM_SPUSTENI = s.date;
      r.CAS_SPUSTENI = s.time;
      r.OPAKOVANI = s.weekdays;
      r.OPAKOVANI_POCET = static_cast<uint8_t>(s.count);
      r.POSLEDNI_SPUSTENI = s.lastRun;
      r.AUTOMATICKY_SMAZAT = static_cast<uint8_t>(s.autoDelete);
      r.AKTIVNI = static_cast<uint8_t>(s.active);
      r.PREHRAT = s.file;
      r.NAZEV = "Úloha " + s.file;
      r.DELKA_SOUBORU = s.length;
    });
  }

  std::map<int32_t, TasksRecord> Tasks() { return testsupport::ReadTasks(); }

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
  // How many scans ran: each puts the LINE lamp out first.
  size_t Scans() const { return port_.Count("(0504102012)"); }

  // Ticks until the next scan would be due, without the scan.
  void TicksUpToTheScan() {
    for (int i = 0; i < kScanPeriod / kTickStep - 1; ++i) E().scheduler.HandleTimerTick();
  }

  testsupport::TempDir dir_{true};
  testsupport::FakeClock clock_{kToday, kTen};
  testsupport::ClockGuard guard_{&clock_};
  testsupport::RecordingPort port_;
  testsupport::RecordingView view_;
  std::vector<Box> boxes_;
  std::vector<int> ends_;
  bool closingDown_ = false;
  std::vector<std::string> reports_;
  std::unique_ptr<Engine> engine_;
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
      {"later today", {.time = kTen + 6000}, false, true, 1, 0},
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
      {"weekly, already run today",
       {.date = kToday - 7, .weekdays = "7F", .count = 3, .lastRun = kToday}, false, true, 1, 3},
      {"weekly, no runs left", {.date = kToday - 7, .weekdays = "7F", .count = 0}, false, true, 1, 0},
      {"inactive", {.time = kTen - 6000, .active = 0}, false, true, 0, 0},
      {"active flag 2 is not active", {.time = kTen - 6000, .active = 2}, false, true, 2, 0},
  };
  for (const RuleCase& c : cases) {
    SCOPED_TRACE(c.name);
    clock_.Set(kToday, kTen);
    Fresh();
    const int32_t id = Add(c.task);
    E().scheduler.ScanTasks();
    EXPECT_EQ(Runs(), c.runs ? 1u : 0u);
    const auto tasks = Tasks();
    ASSERT_EQ(tasks.count(id), c.kept ? 1u : 0u);
    if (c.kept) {
      const TasksRecord& r = tasks.at(id);
      EXPECT_EQ(r.AKTIVNI, c.activeAfter);
      EXPECT_EQ(r.OPAKOVANI_POCET, c.countAfter);
      EXPECT_EQ(r.POSLEDNI_SPUSTENI, c.runs ? kToday : c.task.lastRun);
    }
    EXPECT_EQ(S().PlaybackRunning, c.runs ? 1 : 0);
    const bool weeklyCandidate = c.task.date != kToday && c.task.count > 0 && c.task.active == 1 &&
                                 c.task.lastRun != kToday;
    EXPECT_EQ(LogLinesWith(" today is: ").size(), weeklyCandidate ? 1u : 0u);
    EXPECT_TRUE(boxes_.empty());
  }
}

TEST_F(Scheduler, AScanWithNothingDueSilencesTheInstallation) {
  Add({.time = kTen + 30000});
  E().scheduler.ScanTasks();
  std::vector<std::string> expected = {"(0504102012)", "(0504100010)", "r64\r"};
  const auto s = AllRelays('s');
  expected.insert(expected.end(), s.begin(), s.end());
  EXPECT_EQ(port_.Texts(), expected);
  EXPECT_EQ(S().GLO_TIMEOUT, 0);
}

// Reading stops at the first record that cannot be due: one later than now
// or not active. Each record read shows its number on ?DEBUG_TEXT.
// A Tasks.tps that went missing (or that a start on a full disk could not
// make) is made by the next scan, which then reads it.
TEST_F(Scheduler, AScanMakesAMissingTaskFile) {
  std::remove("Tasks.tps");
  E().scheduler.ScanTasks();
  EXPECT_TRUE(testsupport::ReadTasks().empty());
  EXPECT_EQ(LogLinesWith("nelze otevřít").size(), 0u);
  EXPECT_TRUE(boxes_.empty());
  const int32_t id = Add({.time = kTen - 6000, .autoDelete = 0});
  E().scheduler.ScanTasks();
  EXPECT_EQ(Runs(), 1u);
  EXPECT_EQ(Tasks().at(id).POSLEDNI_SPUSTENI, kToday);
}

TEST_F(Scheduler, TheScanReadsOnlyUpToTheFirstTaskThatCannotBeDue) {
  const int32_t earlier = Add({.time = kTen - 9000, .lastRun = kToday});
  const int32_t due = Add({.time = kTen - 6000, .autoDelete = 0});
  const int32_t otherDay = Add({.date = kToday - 1, .time = kTen - 3000});
  Add({.time = kTen + 6000});                     // later today
  Add({.time = kTen + 12000, .lastRun = kToday});
  Add({.time = kTen - 100, .active = 2});          // after every active one in the key
  Add({.time = kTen - 8000, .active = 0});          // before the start of the key
  E().scheduler.ScanTasks();
  std::vector<std::string> checked;
  for (const auto& t : view_.Values("text", "?DEBUG_TEXT"))
    if (t.rfind("Kontroluji", 0) == 0) checked.push_back(t);
  const auto line = [](int32_t id) { return "Kontroluji zadane ulohy (uloha c." + std::to_string(id) + ")..."; };
  EXPECT_EQ(checked, (std::vector<std::string>{line(earlier), line(due), line(otherDay)}));
  EXPECT_EQ(Runs(), 1u);
}

TEST_F(Scheduler, ADueTaskSwitchesItsZonesTheAmplifierAndPlays) {
  E().portState.GLO_AMP_DELAY = platform::TimeFromHms(0, 0, 2);  // 201 hundredths
  TaskSpec t;
  Add(t);
  testsupport::ChangeFirstTask([](TasksRecord& r) {
    r.VYSTUP1_5 = "08";  // output 1
    r.VYSTUP2_5 = "08";  // output 9
    r.VYSTUP4_5 = "10";  // output 32
  });
  E().scheduler.ScanTasks();
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
  EXPECT_EQ(S().PlaybackEndTime, afterAmp + t.length);
  EXPECT_EQ(S().PlaybackEndDate, kToday);
}

TEST_F(Scheduler, TwoDueTasksBothRunAndTheLastOneSetsTheEnd) {
  const int32_t a = Add({.time = kTen - 9000, .autoDelete = 0, .file = "first.wav",
                         .length = platform::TimeFromHms(0, 5, 0)});
  const int32_t b = Add({.time = kTen - 6000, .autoDelete = 0, .file = "second.wav",
                         .length = platform::TimeFromHms(0, 0, 3)});
  E().scheduler.ScanTasks();
  EXPECT_EQ(Runs(), 2u);
  const auto tasks = Tasks();
  EXPECT_EQ(tasks.at(a).POSLEDNI_SPUSTENI, kToday);
  EXPECT_EQ(tasks.at(b).POSLEDNI_SPUSTENI, kToday);
  // The end is the second task's: now plus 3 seconds, well before 5 minutes.
  EXPECT_LT(S().PlaybackEndTime, kTen + 30000);
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
  E().scheduler.ScanTasks();
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

// Once the program is closing down, a scan starts no further task: what is
// not started is not booked and stays due for the next start; a task started
// before finishes its booking.
TEST_F(Scheduler, AClosedownOnItsWayStartsNoFurtherTask) {
  struct Case {
    const char* what;
    std::string closeAt;  // the text whose write brings the close-down; "" before the tick
    size_t scans, runs;
  } cases[] = {
      {"before the scan's tick", "", 0, 0},
      {"at the scan's first relay command", "r64\r", 1, 0},
      {"at the first task's amplifier", "s64\r", 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    clock_.Set(kToday, kTen);
    Fresh();
    const int32_t first = Add({.time = kTen - 9000, .file = "first.wav"});
    const int32_t second = Add({.date = kToday - 7, .time = kTen - 6000, .weekdays = "7F", .count = 3});
    TicksUpToTheScan();
    port_.writes.clear();
    port_.onWrite = [&](const std::string& t) {
      if (t == c.closeAt) closingDown_ = true;
    };
    closingDown_ = c.closeAt.empty();
    E().scheduler.HandleTimerTick();
    EXPECT_EQ(Scans(), c.scans);
    EXPECT_EQ(Runs(), c.runs);
    EXPECT_EQ(port_.Count("s64\r"), c.runs) << "the amplifier of a task not started";
    const auto tasks = Tasks();
    EXPECT_EQ(tasks.count(first), c.runs == 1 ? 0u : 1u) << "the started task deletes itself";
    ASSERT_EQ(tasks.count(second), 1u);
    EXPECT_EQ(tasks.at(second).POSLEDNI_SPUSTENI, 0) << "not booked";
    EXPECT_EQ(tasks.at(second).OPAKOVANI_POCET, 3);
    EXPECT_EQ(S().PlaybackRunning, c.runs == 1 ? 1 : 0);
    if (c.closeAt.empty()) {
      // A tick with the close-down already on its way does nothing at all.
      EXPECT_TRUE(port_.writes.empty());
      EXPECT_EQ(S().GLO_TIMEOUT, kScanPeriod - kTickStep);
    } else {
      EXPECT_EQ(S().GLO_TIMEOUT, 0);
    }
    EXPECT_TRUE(boxes_.empty());
  }
}

TEST_F(Scheduler, TheTickCountsScansOnlyWhenConnectedAndIdle) {
  // 79 ticks: no scan yet.
  for (int i = 0; i < 79; ++i) E().scheduler.HandleTimerTick();
  EXPECT_EQ(port_.Count("s39\r"), 0u);
  E().scheduler.HandleTimerTick();
  EXPECT_EQ(port_.Count("s39\r"), 1u);
  EXPECT_EQ(S().GLO_TIMEOUT, 0);

  // Held back by a playback: the counter keeps growing and never overflows.
  E().scheduler.SetPlaybackEnd(platform::TimeFromHms(1, 0, 0));
  S().PlaybackRunning = 1;
  S().GLO_TIMEOUT = 2147483600;
  for (int i = 0; i < 3; ++i) E().scheduler.HandleTimerTick();
  EXPECT_GE(S().GLO_TIMEOUT, 2147483600);
  EXPECT_EQ(port_.Count("s39\r"), 1u);

  // Not connected, the device absent: each interval tries the port instead
  // of a scan, and counts anew.
  S().PlaybackRunning = 0;
  E().portState.PortHandle = -1;
  port_.present = false;
  S().GLO_TIMEOUT = 0;
  for (int i = 0; i < 80; ++i) E().scheduler.HandleTimerTick();
  EXPECT_EQ(port_.opens.size(), 1u);
  EXPECT_EQ(S().GLO_TIMEOUT, 0);
  EXPECT_EQ(port_.Count("s39\r"), 1u);
}

// A playback or a live announcement holds the scan back however long the
// counter has run; the first tick after it ends scans.
TEST_F(Scheduler, APlaybackOrALiveAnnouncementHoldsTheScanBack) {
  struct HoldCase {
    const char* name;
    bool playback;   // a task's playback runs for an hour
    bool live;       // GLO_HLASENI
    bool connected;
    bool scans;
  };
  const HoldCase cases[] = {
      {"idle", false, false, true, true},
      {"a playback runs", true, false, true, false},
      {"a live announcement is on", false, true, true, false},
      {"both", true, true, true, false},
      {"not connected", false, false, false, false},
  };
  for (const HoldCase& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    Add({.time = kTen + 6000});
    if (c.playback) {
      E().scheduler.SetPlaybackEnd(platform::TimeFromHms(1, 0, 0));
      S().PlaybackRunning = 1;
    }
    S().GLO_HLASENI = c.live ? 1 : 0;
    if (!c.connected) {
      E().portState.PortHandle = -1;
      port_.present = false;  // each interval tries it and counts anew
    }
    for (int i = 0; i < 3 * kScanPeriod / kTickStep; ++i) E().scheduler.HandleTimerTick();
    EXPECT_EQ(Scans() > 0, c.scans);
    EXPECT_EQ(S().GLO_TIMEOUT >= kScanPeriod, !c.scans && c.connected) << S().GLO_TIMEOUT;

    if (c.scans || !c.connected) continue;
    // Released: the very next tick scans.
    const size_t before = Scans();
    S().PlaybackRunning = 0;
    S().PlaybackEndTime = 0;
    S().PlaybackEndDate = 0;
    S().PlaybackEndMonotonic = {};
    S().GLO_HLASENI = 0;
    E().scheduler.HandleTimerTick();
    EXPECT_EQ(Scans(), before + 1);
    EXPECT_EQ(S().GLO_TIMEOUT, 0);
  }
}

// Through its three minutes a due task meets a scan every twenty seconds
// (whenever its playback has ended): it plays at the first one only, weekly
// or one-shot.
TEST_F(Scheduler, ATaskPlaysOnceInItsThreeMinutesOfTicks) {
  struct OnceCase {
    const char* name;
    TaskSpec task;
    int countAfter;
  };
  const OnceCase cases[] = {
      {"weekly", {.date = kToday - 7, .time = kTen + 100, .weekdays = "7F", .count = 5}, 4},
      {"weekly endless", {.date = kToday - 7, .time = kTen + 100, .weekdays = "7F", .count = 255}, 255},
      {"one-shot", {.time = kTen + 100, .autoDelete = 0}, 0},
  };
  for (const OnceCase& c : cases) {
    SCOPED_TRACE(c.name);
    clock_.Set(kToday, kTen);
    Fresh();
    const int32_t id = Add(c.task);
    while (clock_.ClockTime() < c.task.time + kScanWindow + 1000) E().scheduler.HandleTimerTick();
    EXPECT_GE(Scans(), 6u) << "scans through the window";
    EXPECT_EQ(Runs(), 1u);
    const TasksRecord r = Tasks().at(id);
    EXPECT_EQ(r.POSLEDNI_SPUSTENI, kToday);
    EXPECT_EQ(r.OPAKOVANI_POCET, c.countAfter);
  }
}

TEST_F(Scheduler, APlaybackEndingAfterMidnightStaysRunningUntilThen) {
  clock_.Set(kToday, platform::TimeFromHms(23, 59, 50));
  E().scheduler.SetPlaybackEnd(platform::TimeFromHms(0, 0, 20));
  S().PlaybackRunning = 1;
  EXPECT_EQ(S().PlaybackEndDate, kToday + 1);
  E().scheduler.EndPlaybackIfDue();
  EXPECT_EQ(S().PlaybackRunning, 1) << "not cut at the next tick";
  clock_.Set(kToday + 1, platform::TimeFromHms(0, 0, 5));
  E().scheduler.EndPlaybackIfDue();
  EXPECT_EQ(S().PlaybackRunning, 1);
  clock_.Set(kToday + 1, platform::TimeFromHms(0, 0, 11));
  E().scheduler.EndPlaybackIfDue();
  EXPECT_EQ(S().PlaybackRunning, 0);

  // One that ended before midnight is over after it.
  clock_.Set(kToday, platform::TimeFromHms(23, 0, 0));
  E().scheduler.SetPlaybackEnd(platform::TimeFromHms(0, 0, 20));
  S().PlaybackRunning = 1;
  clock_.Set(kToday + 1, platform::TimeFromHms(0, 0, 1));
  E().scheduler.EndPlaybackIfDue();
  EXPECT_EQ(S().PlaybackRunning, 0);
}

TEST_F(Scheduler, AClockSetBackDoesNotHoldThePlaybackPastItsLength) {
  E().scheduler.SetPlaybackEnd(platform::TimeFromHms(0, 0, 10));
  S().PlaybackRunning = 1;
  clock_.Set(kToday - 1, kTen);  // the wall clock goes back a day
  E().scheduler.EndPlaybackIfDue();
  EXPECT_EQ(S().PlaybackRunning, 1);
  clock_.Advance(std::chrono::seconds(11));
  E().scheduler.EndPlaybackIfDue();
  EXPECT_EQ(S().PlaybackRunning, 0);
}

TEST_F(Scheduler, ARunThatReachesMidnightIsBookedOnTheDayItWasDue) {
  clock_.Set(kToday, platform::TimeFromHms(23, 59, 50));
  E().portState.GLO_AMP_DELAY = platform::TimeFromHms(0, 0, 15);  // the sound starts after midnight
  const int32_t id = Add({.date = kToday - 7, .time = platform::TimeFromHms(23, 59, 51), .weekdays = "7F",
                          .count = 3, .autoDelete = 0});
  E().scheduler.ScanTasks();
  EXPECT_EQ(Runs(), 1u);
  EXPECT_EQ(clock_.Today(), kToday + 1);
  EXPECT_EQ(Tasks().at(id).POSLEDNI_SPUSTENI, kToday) << "the next day's run must not count as done";
}

TEST_F(Scheduler, TheEndOfAManualPlaybackSwitchesItsOutputsOff) {
  S().OutputSelected[2] = 1;
  S().OutputSelected[40] = 1;
  S().ManualPlaybackRequested = 1;
  S().PlaybackRunning = 1;
  S().PlaybackEndTime = kTen - 1;
  S().PlaybackEndDate = kToday;
  E().scheduler.EndPlaybackIfDue();
  EXPECT_EQ(port_.Texts(), (std::vector<std::string>{"(0504102012)", "(0504100010)", "s1\r", "s39\r", "r64\r"}));
  EXPECT_EQ(S().ManualPlaybackRequested, 0);
  EXPECT_EQ(S().PlaybackRunning, 0);
}

// What the engine writes on its window: a scan, a run, the tick's clock and
// connection, a playback's end.
TEST_F(Scheduler, TheWindowShowsTheScanTheRunAndThePlaybacksEnd) {
  using testsupport::ViewWrite;
  const int32_t id = Add({.time = kTen - 6000, .autoDelete = 0, .file = "ranní.wav"});
  testsupport::ChangeFirstTask([](TasksRecord& r) {
    r.VYSTUP1_5 = "09";  // outputs 1 and 4
  });
  E().scheduler.ScanTasks();
  const std::vector<ViewWrite> scanAndRun = {
      {"text", "?DEBUG_TEXT", "Vypinam hlavni rele..."},
      {"text", "?DEBUG_TEXT", "Vypinam vsechny vystupy..."},
      {"text", "?INFO_TEXT", ""},
      {"hidden", "?IMAGE1", "1"},
      {"text", "?DEBUG_TEXT", "Seřazuji data ve frontě..."},
      {"text", "?DEBUG_TEXT", "Kontroluji zadane ulohy (uloha c." + std::to_string(id) + ")..."},
      {"text", "?DEBUG_TEXT", "Vypinam hlavni rele..."},
      {"text", "?DEBUG_TEXT", "Vypinam vsechny vystupy..."},
      {"text", "?DEBUG_TEXT", "Zapinam vystup 0 ..."},
      {"text", "?DEBUG_TEXT", "Zapinam vystup 3 ..."},
      {"text", "?DEBUG_TEXT", "Zapinam hlavni rele..."},
      {"text", "?DEBUG_TEXT", "Prehravam hlaseni..."},
      {"text", "?INFO_TEXT", "Právě probíhá přehrávání úlohy Úloha ranní.wav"},
      {"hidden", "?IMAGE1", "0"},
      {"refresh", "", ""},
  };
  EXPECT_EQ(view_.writes, scanAndRun);

  // A tick while it plays: the clock and the connection.
  view_.writes.clear();
  E().scheduler.HandleTimerTick();
  const std::vector<ViewWrite> tick = {
      {"text", "?SYS_TIME", TimeText(clock_.ClockTime())},
      {"text", "?KOMUNIKACE", "Připojeno"},
      {"color", "?KOMUNIKACE", "32768"},
      {"enabled", "?BUTTON_PREHRAJ", "1"},
      {"enabled", "?BUTTON_ZAPNI", "1"},
  };
  EXPECT_EQ(view_.writes, tick);

  // The first tick after the end clears the status line and hides the image;
  // without a port the connection turns red and the buttons off.
  clock_.Advance(std::chrono::seconds(11));
  E().portState.PortHandle = -1;
  view_.writes.clear();
  E().scheduler.HandleTimerTick();
  ASSERT_GE(view_.writes.size(), 2u);
  EXPECT_EQ(view_.writes[0], (ViewWrite{"text", "?INFO_TEXT", ""}));
  EXPECT_EQ(view_.writes[1], (ViewWrite{"hidden", "?IMAGE1", "1"}));
  EXPECT_EQ(view_.Last("text", "?KOMUNIKACE"), "Nepřipojeno !");
  EXPECT_EQ(view_.Last("color", "?KOMUNIKACE"), "255");
  EXPECT_EQ(view_.Last("enabled", "?BUTTON_PREHRAJ"), "0");
  EXPECT_EQ(view_.Last("enabled", "?BUTTON_ZAPNI"), "0");
  EXPECT_EQ(S().KOMUNIKACE, "Nepřipojeno !");
  EXPECT_EQ(S().PlaybackRunning, 0);

  // A manual playback shows its own text.
  view_.writes.clear();
  S().GLO_FILE2PLAY = "hlaseni.wav";
  S().GLO_FILELENGHT = platform::TimeFromHms(0, 0, 5);
  E().scheduler.PlayFile();
  EXPECT_EQ(view_.writes, (std::vector<ViewWrite>{{"text", "?INFO_TEXT", "Prehravam hlaseni..."},
                                                  {"hidden", "?IMAGE1", "0"},
                                                  {"refresh", "", ""}}));
  EXPECT_EQ(S().PlaybackRunning, 1);
}

// A run's booking and what follows it (delete, deactivation) are one write:
// when the second half cannot be written, the first is not kept either, and
// nothing plays.
TEST_F(Scheduler, ARunsBookingAndItsDeleteOrDeactivationAreOneWrite) {
  struct HalfCase {
    const char* name;
    TaskSpec task;
    const char* refuse;  // a trigger refusing the second half
  };
  const HalfCase cases[] = {
      {"one-shot deleting itself", {.time = kTen - 6000},
       "CREATE TRIGGER refuse BEFORE DELETE ON records BEGIN SELECT RAISE(ABORT, 'refused'); END"},
      {"last weekly run deleting itself", {.date = kToday - 7, .weekdays = "7F", .count = 1},
       "CREATE TRIGGER refuse BEFORE DELETE ON records BEGIN SELECT RAISE(ABORT, 'refused'); END"},
      {"last weekly run set inactive", {.date = kToday - 7, .weekdays = "7F", .count = 1, .autoDelete = 0},
       "CREATE TRIGGER refuse BEFORE UPDATE ON records WHEN NEW.\"TAS:AKTIVNI\" = 0 "
       "BEGIN SELECT RAISE(ABORT, 'refused'); END"},
  };
  for (const HalfCase& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    const int32_t id = Add(c.task);
    const TasksRecord before = Tasks().at(id);
    {
      sqlite3* db = nullptr;
      ASSERT_EQ(sqlite3_open("Tasks.tps", &db), SQLITE_OK);
      EXPECT_EQ(sqlite3_exec(db, c.refuse, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
      sqlite3_close(db);
    }
    E().scheduler.ScanTasks();
    const auto tasks = Tasks();
    ASSERT_EQ(tasks.count(id), 1u);
    const TasksRecord& after = tasks.at(id);
    EXPECT_EQ(after.POSLEDNI_SPUSTENI, before.POSLEDNI_SPUSTENI) << "booked without its second half";
    EXPECT_EQ(after.OPAKOVANI_POCET, before.OPAKOVANI_POCET);
    EXPECT_EQ(after.AKTIVNI, before.AKTIVNI);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].title.rfind("Chyba č.0x", 0), 0u);
    EXPECT_EQ(boxes_[0].text, kTaskFileError);
    EXPECT_EQ(ends_, std::vector<int>{5});
    EXPECT_EQ(S().PlaybackRunning, 0) << "nothing plays";
    EXPECT_EQ(view_.Refreshes(), 0u);
    // The installation is off while the box waits.
    const auto texts = port_.Texts();
    ASSERT_GE(texts.size(), 43u);
    EXPECT_EQ(std::vector<std::string>(texts.end() - 43, texts.end() - 40),
              (std::vector<std::string>{"(0504102012)", "(0504100010)", "r64\r"}));
    EXPECT_EQ(texts.back(), "s39\r");
  }
}

TEST_F(Scheduler, AFailedRewriteShowsItsBoxAndEndsWithFive) {
  Add({.time = kTen - 6000});
  EXPECT_EXIT(
      {
        // The program's own end and box, on a fresh engine.
        EngineHooks hooks;
        hooks.endProgram = platform::Halt;
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
        Engine locked(hooks, ops);
        locked.portState.COM_PORT = "COM1";
        locked.portState.PortHandle = 3;
        locked.scheduler.ScanTasks();
        ::_exit(0);
      },
      ::testing::ExitedWithCode(5), "Chyba č.0x");
}

// ---- A device lost while the program runs ----

struct LossCase {
  const char* name;
  std::string vanishBefore;  // the write before which the device goes; "" before the tick
  bool baudChangesWork;      // the loss shows on a write, not on a baud change
};

// The device goes during a scan's run: nothing is booked, the port is
// closed and shown as lost, the installation is tried once per scan interval
// without a box; when it answers it is greeted and silenced and the task,
// still within its three minutes, runs at the next scan.
TEST_F(Scheduler, ALostDeviceBooksNothingAndIsTriedAgainOncePerInterval) {
  const LossCase cases[] = {
      {"before the tick, seen on the console's baud change", "", false},
      {"at the scan's first lamp", "(0504102012)", true},
      {"at the task's lamps", "(0504102113)", false},
      {"at the task's zones", "r31\r", true},
      {"at the amplifier", "s64\r", true},
  };
  for (const LossCase& c : cases) {
    SCOPED_TRACE(c.name);
    clock_.Set(kToday, kTen);
    Fresh();
    const int32_t id = Add({.date = kToday - 7, .time = kTen - 6000, .weekdays = "7F", .count = 1});
    testsupport::ChangeFirstTask([](TasksRecord& r) {
      r.VYSTUP4_5 = "10";  // output 32
    });
    const TasksRecord before = Tasks().at(id);
    TicksUpToTheScan();
    port_.goneBeforeWrite = c.vanishBefore;
    port_.gone = c.vanishBefore.empty();
    port_.baudChangesWork = c.baudChangesWork;
    E().scheduler.HandleTimerTick();

    EXPECT_EQ(E().portState.PortHandle, -1);
    EXPECT_EQ(E().portState.PortLost, 1);
    EXPECT_EQ(port_.closes, 1);
    EXPECT_EQ(S().KOMUNIKACE, "Nepřipojeno !");
    EXPECT_EQ(S().PlaybackRunning, 0) << "nothing played";
    const TasksRecord after = Tasks().at(id);
    EXPECT_EQ(after.POSLEDNI_SPUSTENI, before.POSLEDNI_SPUSTENI);
    EXPECT_EQ(after.OPAKOVANI_POCET, before.OPAKOVANI_POCET);
    EXPECT_EQ(after.AKTIVNI, before.AKTIVNI);
    EXPECT_EQ(LogLinesWith(" connection lost: COM1").size(), 1u);
    EXPECT_EQ(reports_, std::vector<std::string>{"connection lost: COM1"});
    EXPECT_EQ(S().GLO_TIMEOUT, 0);

    // Still gone: one quiet try per scan interval, no box, no traffic.
    const size_t written = port_.writes.size();
    const size_t tried = port_.opens.size();
    for (size_t interval = 1; interval <= 3; ++interval) {
      TicksUpToTheScan();
      EXPECT_EQ(port_.opens.size(), tried + interval - 1) << "no try before the interval";
      E().scheduler.HandleTimerTick();
      EXPECT_EQ(port_.opens.size(), tried + interval);
    }
    EXPECT_EQ(port_.writes.size(), written);
    EXPECT_TRUE(boxes_.empty());
    EXPECT_EQ(Tasks().at(id).POSLEDNI_SPUSTENI, before.POSLEDNI_SPUSTENI);

    // Back: greeted and silenced at the next try, the task runs at the scan
    // after it, once.
    port_.gone = false;
    port_.writes.clear();
    TicksUpToTheScan();
    E().scheduler.HandleTimerTick();
    EXPECT_EQ(E().portState.PortHandle, 3);
    EXPECT_EQ(E().portState.PortLost, 0);
    std::vector<std::string> greeting = {"q\r"};
    const auto s = AllRelays('s');
    greeting.insert(greeting.end(), s.begin(), s.end());
    std::vector<std::string> heard = port_.Texts();
    heard.erase(std::remove(heard.begin(), heard.end(), std::string("(0500100006)")), heard.end());
    EXPECT_EQ(heard, greeting);
    EXPECT_EQ(S().KOMUNIKACE, "Připojeno");
    EXPECT_EQ(LogLinesWith(" connection restored: COM1").size(), 1u);
    ASSERT_LT(clock_.ClockTime(), kTen - 6000 + kScanWindow - 3000) << "the test ran past the task's window";

    TicksUpToTheScan();
    E().scheduler.HandleTimerTick();
    EXPECT_EQ(Runs(), 1u);
    EXPECT_EQ(port_.Count("r31\r"), 1u);
    EXPECT_EQ(Tasks().count(id), 0u) << "its last run deleted it";
    EXPECT_EQ(S().PlaybackRunning, 1);
  }
}

// A port that did not connect at the start (a device that appears later,
// a USB adapter) is tried quietly once per scan interval, as a lost one is;
// once it answers it is greeted and silenced, one line says so, and the due
// task runs at the next scan.
TEST_F(Scheduler, APortThatNeverConnectedIsTriedOncePerIntervalUntilItDoes) {
  const int32_t id = Add({.time = kTen - 6000});
  E().portState.PortHandle = -1;
  port_.present = false;
  for (size_t interval = 1; interval <= 2; ++interval) {
    TicksUpToTheScan();
    EXPECT_EQ(port_.opens.size(), interval - 1) << "no try before the interval";
    E().scheduler.HandleTimerTick();
    EXPECT_EQ(port_.opens.size(), interval);
    EXPECT_EQ(E().portState.PortHandle, -1);
  }
  EXPECT_TRUE(port_.writes.empty());
  EXPECT_TRUE(boxes_.empty());
  EXPECT_TRUE(reports_.empty());
  EXPECT_EQ(S().KOMUNIKACE, "Nepřipojeno !");

  // Closing down: no try (it would greet and silence for nothing).
  port_.present = true;
  closingDown_ = true;
  TicksUpToTheScan();
  E().scheduler.HandleTimerTick();
  EXPECT_EQ(port_.opens.size(), 2u);
  closingDown_ = false;

  TicksUpToTheScan();
  E().scheduler.HandleTimerTick();
  EXPECT_EQ(E().portState.PortHandle, 3);
  EXPECT_EQ(port_.Count("q\r"), 1u);
  EXPECT_EQ(port_.Count("s39\r"), 1u) << "silenced";
  EXPECT_EQ(S().KOMUNIKACE, "Připojeno");
  EXPECT_EQ(reports_, std::vector<std::string>{"connection restored: COM1"});
  EXPECT_EQ(LogLinesWith(" connection restored: COM1").size(), 1u);
  EXPECT_TRUE(boxes_.empty());

  TicksUpToTheScan();
  E().scheduler.HandleTimerTick();
  EXPECT_EQ(Runs(), 1u);
  EXPECT_EQ(Tasks().count(id), 0u) << "run and deleted";
}

}  // namespace
