// The live-announcement state machine in the engine's tick, on a
// pseudo-terminal with the simulated console answering every query at
// once: what each change of the console's switches puts on the line and
// the latches it leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "app/data/records.h"
#include "app/engine/engine.h"
#include "app/engine/live.h"
#include "platform/stdtime.h"
#include "platform/text.h"
#include "syslib/serial.h"
#include "tests/engine/prompt_console.h"
#include "tests/support/fake_clock.h"
#include "tests/support/tempdir.h"
#include "tools/devsim.h"

namespace {

using namespace app::engine;
using namespace testsupport;

class LiveOnPort : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.Start()) << "no pseudo-terminal";
    ::setenv("VELORN_COM1", sim_.SlavePath().c_str(), 1);
    InstallLiveStateMachine(engine_);
    engine_.portState.COM_PORT = "COM1";
    ASSERT_EQ(engine_.protocol.ConnectPort(), 1);
    EXPECT_EQ(console_.Taken(), Traffic{Relay("q\r")});
  }
  void TearDown() override {
    syslib::KillAllPorts();
    ::unsetenv("VELORN_COM1");
    if (filesAttached_) app::data::DetachThreadFiles();
  }

  // Sets the console's switches and runs ticks; what the ticks sent
  // besides their status queries (one a tick).
  Traffic Run(char console, int ticks) {
    sim_.SetConsoleState(console);
    for (int i = 0; i < ticks; ++i) engine_.scheduler.HandleTimerTick();
    int queries = 0;
    Traffic sent = WithoutQueries(console_.Taken(), &queries);
    EXPECT_EQ(queries, ticks) << "one status query a tick";
    EXPECT_EQ(sim_.SlaveBaud(), 9600) << "the port rests at 9600 baud";
    return sent;
  }

  // The latches and GLO:HLASENI a table's row expects.
  template <class Row>
  void ExpectLatches(const Row& r) {
    const LiveState& live = engine_.live;
    EXPECT_EQ(live.HIST0, r.hist0);
    EXPECT_EQ(live.HIST1, r.hist1);
    EXPECT_EQ(live.HIST2, r.hist2);
    EXPECT_EQ(live.HIST3, r.hist3);
    EXPECT_EQ(live.LAST_HIST, r.lastHist);
    EXPECT_EQ(live.MicBlinkPhase, r.blink);
    EXPECT_EQ(engine_.schedulerState.GLO_HLASENI, r.hlaseni);
  }

  void UseEmptyTaskFile() {
    app::data::AttachThreadFiles();
    filesAttached_ = true;
    platform::rec::File<app::data::TasksRecord> f(app::data::TasksDecl());
    ASSERT_EQ(f.Create(), 0);
  }

  // The console's port, each write noted with the clock's time.
  struct Write {
    std::string text;
    platform::Clock::Monotonic::time_point at;
  };
  PortOps TimedOps() {
    PortOps o = console_.Ops();
    o.write = [this, write = o.write](int32_t h, const std::string& text) {
      writes_.push_back({std::string(platform::text::TrimRight(text)), clock_.Now()});
      return write(h, text);
    };
    return o;
  }

  TempDir dir_{true};
  FakeClock clock_{platform::DateFromYmd(2026, 12, 10), platform::TimeFromHms(10, 0, 0)};
  ClockGuard guard_{&clock_};
  devsim::DeviceSimulator sim_;
  PromptConsole console_{sim_};
  std::vector<Write> writes_;
  Engine engine_{[] {
                   EngineHooks h;
                   h.endProgram = [](int) {};
                   return h;
                 }(),
                 TimedOps()};
  bool filesAttached_ = false;
};

// The console's state reaches the machine through the main window's poll:
// a read every 4th tick, of the oldest answer in the port. The answer to
// the query of a reading tick is still there at the next read unless that
// tick's own traffic drained it; so a change after a tick that sent
// nothing is seen only at the second read (8 ticks).
struct Step {
  const char* what;
  uint8_t fromTab;   // LiveFromTabActive
  char console;      // the state the console reports from now on
  int ticks;
  Traffic sent;      // besides one status query a tick
  uint8_t read;      // INTLACITKA after
  uint8_t hist0, hist1, hist2, hist3, lastHist, blink, hlaseni;
};

TEST_F(LiveOnPort, EachChangeOfTheSwitchesSendsItsEntryOnceAndSetsTheLatches) {
  const Traffic allOff = Join({Zones('s'), {Relay("r64\r")}});
  const Traffic allOn = Join({Zones('r'), {Relay("s64\r")}});
  const Step steps[] = {
      {"start, idle: everything off once", 0, '0', 4,
       Join({allOff, {kMicOff, kOnAirOff}}), 0, 1, 0, 0, 0, 0, 0, 0},
      // 0 -> 2 -> 3 -> 0
      {"0 -> 2: MIC backlight on", 0, '2', 8, {kMicOn}, 2, 0, 0, 1, 0, 0, 0, 1},
      {"2 -> 3: all 40 zones and the amplifier on at once, both lamps", 0, '3', 4,
       Join({allOn, {kMicOn, kOnAirOn}}), 3, 0, 0, 0, 1, 2, 0, 1},
      {"3 -> 0: everything off", 0, '0', 4, Join({allOff, {kMicOff, kOnAirOff}}), 0, 1, 0, 0, 0, 3, 0, 0},
      // 0 -> 2 -> 0
      {"0 -> 2", 0, '2', 4, {kMicOn}, 2, 0, 0, 1, 0, 3, 0, 1},
      {"2 -> 0: MIC backlight off only", 0, '0', 4, {kMicOff}, 0, 1, 0, 0, 0, 0, 0, 0},
      // 3 -> 2 -> 0
      {"0 -> 3", 0, '3', 4, Join({allOn, {kMicOn, kOnAirOn}}), 3, 0, 0, 0, 1, 0, 0, 1},
      {"3 -> 2: MIC backlight on again, nothing else", 0, '2', 4, {kMicOn}, 2, 0, 0, 1, 0, 3, 0, 1},
      {"2 -> 0: MIC backlight off; zones, amplifier and ON-AIR stay on", 0, '0', 4, {kMicOff}, 0, 1, 0, 0, 0, 0, 0,
       0},
      // 3 -> 1, the blink and the pass through state 0
      {"0 -> 3", 0, '3', 4, Join({allOn, {kMicOn, kOnAirOn}}), 3, 0, 0, 0, 1, 0, 0, 1},
      {"3 -> 1: lamps off, then zones and amplifier off on the same call", 0, '1', 4,
       Join({{kMicOff, kOnAirOff}, allOff}), 1, 0, 1, 0, 0, 3, 0, 1},
      {"1 held: the MIC backlight blinks, its drains leave the read nothing: state 0", 0, '1', 4,
       {kMicOn, kMicOff, kMicOn, kMicOff, kOnAirOff}, 0, 1, 0, 0, 0, 0, 1, 0},
      {"1 again at the next read", 0, '1', 4, {kMicOff, kOnAirOff}, 1, 0, 1, 0, 0, 0, 1, 1},
      {"1 -> 0: the blink goes on in its phase until the read", 0, '0', 4,
       {kMicOff, kMicOn, kMicOff, kMicOff, kOnAirOff}, 0, 1, 0, 0, 0, 0, 0, 0},
      // States above 3 and the announcement from the tab
      {"0 -> 3", 0, '3', 4, Join({allOn, {kMicOn, kOnAirOn}}), 3, 0, 0, 0, 1, 0, 0, 1},
      {"3 -> 7: nothing, the latches kept", 0, '7', 4, {}, 7, 0, 0, 0, 1, 3, 0, 1},
      {"an announcement from the tab: the machine waits, the reads go on", 1, '0', 8, {}, 0, 0, 0, 0, 1, 3, 0, 1},
      {"the tab's announcement over: state 0 at the next tick", 0, '0', 1, Join({allOff, {kMicOff, kOnAirOff}}), 0,
       1, 0, 0, 0, 3, 0, 0},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    engine_.schedulerState.LiveFromTabActive = s.fromTab;
    EXPECT_EQ(Run(s.console, s.ticks), s.sent);
    EXPECT_EQ(engine_.console.INTLACITKA, s.read);
    ExpectLatches(s);
  }
}

// The machine by the state it is given, one call each: the transitions out
// of state 1 that a console answering at once never shows through the
// poll (the lamp command of every call in state 1 drains the answer the
// next poll would read, so the machine passes through 0 on its way out).
struct Given {
  const char* what;
  uint8_t state;  // INTLACITKA at the call
  Traffic sent;
  uint8_t hist0, hist1, hist2, hist3, lastHist, blink, hlaseni;
};

TEST_F(LiveOnPort, EachTransitionSendsItsEntryByTheStateHeldBefore) {
  const Traffic allOff = Join({Zones('s'), {Relay("r64\r")}});
  const Traffic allOn = Join({Zones('r'), {Relay("s64\r")}});
  const Given steps[] = {
      {"start: everything off", 0, Join({allOff, {kMicOff, kOnAirOff}}), 1, 0, 0, 0, 0, 0, 0},
      {"0 -> 1: both lamps off", 1, {kMicOff, kOnAirOff}, 0, 1, 0, 0, 0, 0, 1},
      {"1 held: the MIC backlight blinks on", 1, {kMicOn}, 0, 1, 0, 0, 1, 1, 1},
      {"1 -> 2: the MIC backlight on, nothing else", 2, {kMicOn}, 0, 0, 1, 0, 1, 1, 1},
      {"2 held: nothing", 2, {}, 0, 0, 1, 0, 2, 1, 1},
      {"2 -> 1: both lamps off, the zones and the amplifier as they were", 1, {kMicOff, kOnAirOff}, 0, 1, 0, 0, 2,
       1, 1},
      {"1 held: the blink goes on in its phase", 1, {kMicOff}, 0, 1, 0, 0, 1, 0, 1},
      {"1 -> 3: all 40 zones and the amplifier on at once, both lamps", 3, Join({allOn, {kMicOn, kOnAirOn}}), 0, 0,
       0, 1, 1, 0, 1},
      {"3 held: nothing", 3, {}, 0, 0, 0, 1, 3, 0, 1},
      {"3 -> 1: both lamps off, then everything off", 1, Join({{kMicOff, kOnAirOff}, allOff}), 0, 1, 0, 0, 3, 0, 1},
      {"1 held: the blink", 1, {kMicOn}, 0, 1, 0, 0, 1, 1, 1},
      {"1 -> 0: both lamps off, nothing else", 0, {kMicOff, kOnAirOff}, 1, 0, 0, 0, 0, 1, 0},
  };
  for (const Given& s : steps) {
    SCOPED_TRACE(s.what);
    engine_.console.INTLACITKA = s.state;
    engine_.scheduler.LiveStateMachine();
    EXPECT_EQ(console_.Taken(), s.sent);
    ExpectLatches(s);
    EXPECT_EQ(sim_.SlaveBaud(), 9600) << "the port rests at 9600 baud";
  }
}

TEST_F(LiveOnPort, BothSwitchesOnSwitchTheAmplifierOnWithoutItsDelay) {
  engine_.portState.GLO_AMP_DELAY = platform::TimeFromHms(0, 0, 2);
  for (const uint8_t state : {uint8_t{0}, uint8_t{3}}) {
    engine_.console.INTLACITKA = state;
    engine_.scheduler.LiveStateMachine();
  }
  EXPECT_EQ(console_.Taken(), Join({Zones('s'), {Relay("r64\r"), kMicOff, kOnAirOff}, Zones('r'),
                                    {Relay("s64\r"), kMicOn, kOnAirOn}}));
  // The amplifier's exchange is followed by the lamps as any command by
  // the next, not after the delay.
  const auto amp = std::find_if(writes_.begin(), writes_.end(), [](const Write& w) { return w.text == "s64\r"; });
  ASSERT_TRUE(amp != writes_.end() && amp + 1 != writes_.end());
  EXPECT_LT((amp + 1)->at - amp->at, std::chrono::seconds(2))
      << "the lamps waited for the amplifier delay (2 s set): state 3 sends s64 as a plain exchange";
}

TEST_F(LiveOnPort, NoScanRunsWhileTheAnnouncementIsOn) {
  UseEmptyTaskFile();
  const Traffic allOff = Join({Zones('s'), {Relay("r64\r")}});
  ASSERT_EQ(Run('0', 4), Join({allOff, {kMicOff, kOnAirOff}}));
  ASSERT_EQ(Run('3', 8), Join({Zones('r'), {Relay("s64\r"), kMicOn, kOnAirOn}}));

  SchedulerState& s = engine_.schedulerState;
  s.GLO_TIMEOUT = kScanPeriod;  // a scan is due
  EXPECT_EQ(Run('3', 12), Traffic{});
  EXPECT_EQ(s.GLO_HLASENI, 1);
  EXPECT_EQ(s.GLO_TIMEOUT, kScanPeriod + 12 * kTickStep) << "the counter goes on";

  // Both switches off: the machine ends the announcement, and on the same
  // tick the scan that waited runs.
  EXPECT_EQ(Run('0', 8), Join({allOff, {kMicOff, kOnAirOff, kLineOff, kOnAirOff}, {Relay("r64\r")}, Zones('s')}));
  EXPECT_EQ(s.GLO_HLASENI, 0);
  EXPECT_EQ(s.GLO_TIMEOUT, 0);
}

}  // namespace
