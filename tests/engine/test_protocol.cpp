// The engine on the serial library: a pseudo-terminal with the simulated
// relay board and console, the real clock. The bytes each operation puts on
// the line with the rate each command arrived at, the console state read
// back, a scan that plays a task (the sound read back through SDL's disk
// driver), a port that cannot be opened, and devices lost while the program
// runs and back under the same name.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "app/data/debuglog.h"
#include "app/data/records.h"
#include "app/engine/commands.h"
#include "app/engine/engine.h"
#include "platform/clock.h"
#include "platform/msgbox.h"
#include "platform/stdtime.h"
#include "syslib/serial.h"
#include "syslib/sound.h"
#include "tests/engine/recording_port.h"
#include "tests/engine/task_file.h"
#include "tests/support/child.h"
#include "tests/support/fake_clock.h"
#include "tests/support/tempdir.h"
#include "tests/support/wav.h"
#include "tools/devsim.h"

namespace {

using namespace app::engine;
using namespace std::chrono_literals;
using devsim::DeviceSimulator;
using devsim::Mode;
using platform::StdDate;
using platform::StdTime;
using SteadyClock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

constexpr auto kWait = 5s;  // bound for what happens at once
// The device notes a command a moment after it was written (a few
// milliseconds on a busy machine): a gap that starts at a noted time is
// bounded below by the engine's pause less this.
constexpr auto kNoteLag = 50ms;
// Written by the test after the engine's traffic; the device sees it last.
constexpr const char* kMarker = "#\r";

// The sleeps the protocol fixes, in milliseconds.
constexpr int kLampMs = 200;      // a console command
constexpr int kExchangeMs = 50;   // a relay exchange
constexpr int kQueryMs = 50;      // a status query
constexpr int kConnectMs = 200;   // after the greeting
// A scan: 2 lamp commands, r64 and s0..s39.
constexpr int kScanMs = 2 * kLampMs + 41 * kExchangeMs;

std::string StatusReply(char state) { return DeviceSimulator::StatusReply(state); }

// An environment variable set for a scope, restored afterwards.
class EnvScope {
 public:
  explicit EnvScope(std::string name) : name_(std::move(name)) {
    if (const char* old = ::getenv(name_.c_str())) old_ = old;
  }
  ~EnvScope() {
    if (old_) ::setenv(name_.c_str(), old_->c_str(), 1);
    else ::unsetenv(name_.c_str());
  }
  void Set(const std::string& value) const { ::setenv(name_.c_str(), value.c_str(), 1); }
  EnvScope(const EnvScope&) = delete;
  EnvScope& operator=(const EnvScope&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

struct Heard {
  std::string text;
  int baud = 0;
  bool operator==(const Heard&) const = default;
};
void PrintTo(const Heard& h, std::ostream* os) {
  std::string t;
  for (const char c : h.text) t += c == '\r' ? std::string("\\r") : std::string(1, c);
  *os << "\"" << t << "\"@" << h.baud;
}

std::vector<Heard> Console(std::initializer_list<const char*> texts) {
  std::vector<Heard> v;
  for (const char* t : texts) v.push_back({t, 19200});
  return v;
}
std::vector<Heard> Relays(const std::vector<std::string>& texts) {
  std::vector<Heard> v;
  for (const auto& t : texts) v.push_back({t, 9600});
  return v;
}
void Append(std::vector<Heard>& to, const std::vector<Heard>& more) { to.insert(to.end(), more.begin(), more.end()); }

// The traffic of a scan that finds nothing due.
std::vector<Heard> IdleScanTraffic() {
  std::vector<Heard> v = Console({"(0504102012)", "(0504100010)"});
  Append(v, Relays({"r64\r"}));
  Append(v, Relays(testsupport::AllRelays('s')));
  return v;
}

// ---- WAV files in the device format, and the sound read back ----

using testsupport::Put16;

// Stereo frames whose left sample runs through 1000 .. 1996 and whose right
// sample is its negative: found in the output only if the file was played.
std::string PatternSamples(int frames) {
  std::string s;
  for (int k = 0; k < frames; ++k) {
    const int left = 1000 + k % 997;
    Put16(s, static_cast<uint16_t>(left));
    Put16(s, static_cast<uint16_t>(-left));
  }
  return s;
}

std::string DeviceFormatWav(const std::string& samples) {
  return testsupport::MakeWav(samples, syslib::kSoundRate, syslib::kSoundChannels, 16);
}

// Frames of the output that are not silence.
size_t SoundingFrames(const std::string& output) {
  size_t n = 0;
  for (size_t i = 0; i + 4 <= output.size(); i += 4)
    n += output[i] != 0 || output[i + 1] != 0 || output[i + 2] != 0 || output[i + 3] != 0;
  return n;
}

class EngineOnPort : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.Start()) << "no pseudo-terminal";
    comEnv_.Set(sim_.SlavePath());
    audioEnv_.Set("dummy");
    port_.COM_PORT = "COM1";
  }

  void TearDown() override {
    syslib::SetSoundLoadHook(nullptr);
    syslib::ShutdownSound();
    platform::SetBoxView(nullptr);
    syslib::KillAllPorts();
    if (filesAttached_) app::data::DetachThreadFiles();
  }

  // Connects and forgets the greeting.
  void Connect() {
    ASSERT_EQ(engine_.protocol.ConnectPort(), 1);
    ASSERT_TRUE(sim_.WaitForCommands(1, kWait));
    sim_.ClearCommands();
  }

  // Every command the device has received, with its rate. A marker written
  // after the engine's traffic is seen last, so nothing the engine wrote is
  // still on its way when the list is taken; the marker is left out.
  std::vector<devsim::Command> Commands() {
    auto seen = std::make_shared<std::promise<void>>();
    auto once = std::make_shared<std::once_flag>();
    sim_.SetCommandListener([seen, once](const devsim::Command& c) {
      if (c.text == kMarker) std::call_once(*once, [&] { seen->set_value(); });
    });
    EXPECT_EQ(syslib::WritePort(port_.PortHandle, kMarker, 0), 2);
    EXPECT_EQ(seen->get_future().wait_for(kWait), std::future_status::ready);
    sim_.SetCommandListener(nullptr);
    auto all = sim_.Commands();
    if (!all.empty() && all.back().text == kMarker) all.pop_back();
    return all;
  }
  std::vector<Heard> Traffic() {
    std::vector<Heard> v;
    for (const auto& c : Commands()) v.push_back({c.text, c.baud});
    return v;
  }

  // Waits until the port holds n received bytes (the device's answers reach
  // the program a moment after the device wrote them).
  bool WaitForInput(size_t n) const {
    const auto deadline = SteadyClock::now() + kWait;
    for (;;) {
      int queued = 0;
      if (::ioctl(port_.PortHandle, FIONREAD, &queued) != 0) return false;
      if (static_cast<size_t>(queued) >= n) return true;
      if (SteadyClock::now() > deadline) return false;
      std::this_thread::sleep_for(1ms);
    }
  }

  // Tasks.tps in the test's folder, empty.
  void UseTaskFile() {
    app::data::AttachThreadFiles();
    filesAttached_ = true;
    platform::rec::File<app::data::TasksRecord> f(app::data::TasksDecl());
    ASSERT_EQ(f.Create(), 0);
  }

  void AddTask(const app::data::TasksRecord& task) {
    testsupport::AddTask([&](app::data::TasksRecord& r) { r = task; });
  }

  app::data::TasksRecord OnlyTask() { return testsupport::FirstTask(); }

  // A task due now: a one-shot of today, one minute ago, not yet run.
  static app::data::TasksRecord DueTask(const std::string& wav) {
    app::data::TasksRecord r;
    app::data::PrimeTaskDefaults(r);
    r.DATUM_SPUSTENI = platform::GetClock().Today();
    r.CAS_SPUSTENI = platform::GetClock().ClockTime() - 6000;
    r.NAZEV = "Hlášení";
    r.PREHRAT = wav;
    r.DELKA_SOUBORU = platform::TimeFromHms(0, 0, 1);
    r.AUTOMATICKY_SMAZAT = 0;
    return r;
  }

  // A scan must not cross midnight, and its task's minute must lie in today.
  static bool AwayFromMidnight() {
    const StdTime now = platform::GetClock().ClockTime();
    return now > platform::TimeFromHms(0, 2, 0) && now < platform::TimeFromHms(23, 58, 0);
  }

  EnvScope comEnv_{"VELORN_COM1"};
  EnvScope audioEnv_{"SDL_AUDIODRIVER"};
  EnvScope diskEnv_{"SDL_DISKAUDIOFILE"};
  // A fresh engine of the test's own, on the serial library.
  Engine engine_{[] {
    EngineHooks h;
    h.endProgram = [](int) {};
    return h;
  }()};
  PortState& port_ = engine_.portState;
  SchedulerState& sched_ = engine_.schedulerState;
  testsupport::TempDir dir_{true};
  DeviceSimulator sim_;
  bool filesAttached_ = false;
};

// ---- Connection ----

TEST_F(EngineOnPort, ConnectingGreetsTheRelayBoardThenWaits) {
  for (const char* name : {"COM1", "    "}) {
    SCOPED_TRACE(std::string("port name \"") + name + "\"");
    syslib::KillAllPorts();
    sim_.ClearCommands();
    port_.COM_PORT = name;

    const auto start = SteadyClock::now();
    ASSERT_EQ(engine_.protocol.ConnectPort(), 1);
    const auto returned = SteadyClock::now();
    EXPECT_GE(port_.PortHandle, 0);
    EXPECT_EQ(port_.COM_PORT, "COM1");

    const auto commands = Commands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].text, "q\r");
    EXPECT_EQ(commands[0].baud, 9600);
    EXPECT_EQ(sim_.Received(), std::string("q\r") + kMarker);
    // Nothing more for 200 ms after the greeting, then the return.
    EXPECT_GE(returned - start, Ms(kConnectMs));
    EXPECT_GE(returned - commands[0].time, Ms(kConnectMs) - kNoteLag);
    EXPECT_EQ(sim_.SlaveBaud(), 9600);
  }
}

// ---- Scans ----

TEST_F(EngineOnPort, AScanWithNothingDueSilencesTheInstallationAndNothingElse) {
  if (!AwayFromMidnight()) GTEST_SKIP() << "too close to midnight";
  UseTaskFile();
  app::data::TasksRecord ranToday = DueTask(dir_.file("a.wav"));
  ranToday.POSLEDNI_SPUSTENI = platform::GetClock().Today();
  AddTask(ranToday);
  Connect();

  const auto start = SteadyClock::now();
  engine_.scheduler.ScanTasks();
  const auto spent = SteadyClock::now() - start;

  const auto expected = IdleScanTraffic();
  EXPECT_EQ(Traffic(), expected);
  std::string bytes;
  for (const auto& h : expected) bytes += h.text;
  EXPECT_EQ(sim_.Received(), bytes + kMarker);
  EXPECT_GE(spent, Ms(kScanMs));
  EXPECT_EQ(sched_.PlaybackRunning, 0);
  EXPECT_EQ(sim_.SlaveBaud(), 9600);
}

TEST_F(EngineOnPort, ADueTaskSwitchesItsZonesWaitsForTheAmplifierAndPlays) {
  if (!AwayFromMidnight()) GTEST_SKIP() << "too close to midnight";
  const std::string out = dir_.file("out.raw");
  audioEnv_.Set("disk");
  diskEnv_.Set(out);
  syslib::ShutdownSound();

  constexpr int kFrames = syslib::kSoundRate / 4;
  const std::string samples = PatternSamples(kFrames);
  const std::string wav = dir_.file("task.wav");
  testsupport::WriteFile(wav, DeviceFormatWav(samples));

  UseTaskFile();
  app::data::TasksRecord task = DueTask(wav);
  task.VYSTUP1_5 = "08";  // output 1
  task.VYSTUP2_5 = "08";  // output 9
  task.VYSTUP3_5 = "00";
  task.VYSTUP4_5 = "10";  // output 32
  task.VYSTUP5_5 = "00";
  AddTask(task);
  port_.GLO_AMP_DELAY = platform::TimeFromHms(0, 0, 1);  // 101 hundredths

  std::mutex m;
  std::vector<std::pair<std::string, SteadyClock::time_point>> loads;
  syslib::SetSoundLoadHook([&](const std::string& file) {
    const std::lock_guard lock(m);
    loads.emplace_back(file, SteadyClock::now());
  });
  Connect();

  const auto start = SteadyClock::now();
  engine_.scheduler.ScanTasks();
  const auto spent = SteadyClock::now() - start;

  std::vector<Heard> expected = IdleScanTraffic();
  Append(expected, Console({"(0504102113)", "(0504100111)"}));
  Append(expected, Relays({"r64\r"}));
  Append(expected, Relays(testsupport::AllRelays('s')));
  Append(expected, Relays({"r0\r", "r8\r", "r31\r", "s64\r"}));
  const auto commands = Commands();
  std::vector<Heard> heard;
  for (const auto& c : commands) heard.push_back({c.text, c.baud});
  EXPECT_EQ(heard, expected);
  const auto s64 = std::find_if(commands.begin(), commands.end(), [](const auto& c) { return c.text == "s64\r"; });
  ASSERT_NE(s64, commands.end());

  // The scan's own floor: its traffic, the task's lamps and 45 exchanges,
  // the amplifier delay and one hundredth.
  const int floorMs = kScanMs + 2 * kLampMs + 45 * kExchangeMs + 10 * (port_.GLO_AMP_DELAY + 1);
  EXPECT_GE(spent, Ms(floorMs));

  // The sound is loaded no earlier than the amplifier delay after "s64".
  ASSERT_TRUE(syslib::WaitSoundIdle(10s));
  {
    const std::lock_guard lock(m);
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0].first, wav);
    // "s64" is an exchange: its 50 ms, then the delay and one hundredth.
    EXPECT_GE(loads[0].second - s64->time, Ms(kExchangeMs + 10 * (port_.GLO_AMP_DELAY + 1)) - kNoteLag);
  }

  // The file's samples reach the output, and nothing else sounds there.
  const auto deadline = SteadyClock::now() + 10s;
  while (testsupport::ReadFile(out).find(samples) == std::string::npos && SteadyClock::now() < deadline)
    std::this_thread::sleep_for(5ms);
  syslib::ShutdownSound();
  const std::string output = testsupport::ReadFile(out);
  EXPECT_NE(output.find(samples), std::string::npos);
  EXPECT_EQ(SoundingFrames(output), static_cast<size_t>(kFrames));

  EXPECT_EQ(sched_.PlaybackRunning, 1);
  EXPECT_EQ(OnlyTask().POSLEDNI_SPUSTENI, platform::GetClock().Today());
  EXPECT_EQ(sim_.SlaveBaud(), 9600);
}

TEST_F(EngineOnPort, TheEndOfAManualPlaybackSwitchesItsLampsOutputsAndAmplifierOff) {
  if (!AwayFromMidnight()) GTEST_SKIP() << "too close to midnight";
  Connect();
  sched_.ManualPlaybackRequested = 1;
  sched_.PlaybackRunning = 1;
  sched_.OutputSelected[2] = 1;
  sched_.OutputSelected[5] = 1;
  // Ended a second ago.
  sched_.PlaybackEndDate = platform::GetClock().Today();
  sched_.PlaybackEndTime = platform::GetClock().ClockTime() - 100;

  const auto start = SteadyClock::now();
  engine_.scheduler.EndPlaybackIfDue();
  const auto spent = SteadyClock::now() - start;

  std::vector<Heard> expected = Console({"(0504102012)", "(0504100010)"});
  Append(expected, Relays({"s1\r", "s4\r", "r64\r"}));
  EXPECT_EQ(Traffic(), expected);
  EXPECT_GE(spent, Ms(2 * kLampMs + 3 * kExchangeMs));
  EXPECT_EQ(sched_.ManualPlaybackRequested, 0);
  EXPECT_EQ(sched_.PlaybackRunning, 0);
  EXPECT_EQ(sim_.SlaveBaud(), 9600);
}

// ---- Console state ----

struct ConsoleCase {
  const char* name;
  Mode mode;
  char state;           // at character 21 of the device's status reply
  std::string sent;     // sent by the device besides its answers
  std::string arrives;  // what the port receives in all
  uint8_t intlacitka;
};

TEST_F(EngineOnPort, TheConsoleStateIsTheTwentyFirstCharacterOfWhatWasRead) {
  const std::string shortText = StatusReply('3').substr(0, 10);
  const std::string garbage = DeviceSimulator::GarbageReply();
  const ConsoleCase cases[] = {
      {"state 0", Mode::Answer, '0', "", StatusReply('0'), 0},
      {"state 1", Mode::Answer, '1', "", StatusReply('1'), 1},
      {"state 2", Mode::Answer, '2', "", StatusReply('2'), 2},
      {"state 3", Mode::Answer, '3', "", StatusReply('3'), 3},
      {"a digit above 3 is kept", Mode::Answer, '7', "", StatusReply('7'), 7},
      {"a letter there", Mode::Answer, 'x', "", StatusReply('x'), 0},
      {"a reply too short", Mode::Silent, '3', shortText, shortText, 0},
      {"garbage", Mode::Garbage, '3', "", garbage, 0},
      {"no reply", Mode::Silent, '3', "", "", 0},
      {"state 3 after all that", Mode::Answer, '3', "", StatusReply('3'), 3},
  };
  Connect();
  size_t queries = 0;
  for (const ConsoleCase& c : cases) {
    SCOPED_TRACE(c.name);
    sim_.SetMode(c.mode);
    sim_.SetConsoleState(c.state);
    if (!c.sent.empty()) sim_.Send(c.sent);
    ConsoleState& s = engine_.console;
    s = {};
    s.INTLACITKA = 9;

    engine_.protocol.QueryConsole(engine_.console);
    EXPECT_EQ(sim_.SlaveBaud(), 9600) << "after the query";
    ASSERT_TRUE(sim_.WaitForCommands(++queries, kWait));
    EXPECT_EQ(sim_.Commands().back().text, kStatusQuery);
    EXPECT_EQ(sim_.Commands().back().baud, 19200);
    ASSERT_TRUE(WaitForInput(c.arrives.size()));

    for (int call = 1; call <= 3; ++call) engine_.protocol.PollConsole(engine_.console);
    EXPECT_EQ(s.INTLACITKA, 9) << "read before the 4th call";
    engine_.protocol.PollConsole(engine_.console);
    EXPECT_EQ(s.INTLACITKA, c.intlacitka);
    EXPECT_EQ(port_.LastReadCount, static_cast<int32_t>(c.arrives.size()));
    EXPECT_EQ(s.ConsoleReply, c.arrives + std::string(128 - c.arrives.size(), ' '));
    EXPECT_EQ(sim_.SlaveBaud(), 9600) << "after the read";
  }
}

// The main window reads on every 4th tick, and each tick queries after its
// read: four answers, each followed by a return to 9600 baud, wait for the
// next read and fit its 128 characters; the oldest one gives the state.
TEST_F(EngineOnPort, TheAnswersOfFourTicksFitOneReadAndTheFirstCounts) {
  Connect();
  engine_.console = {};
  sched_.GLO_TIMEOUT = 0;
  // The state the device reports to each tick's query.
  const char states[] = {'3', '0', '0', '2', '3', '1', '0', '1'};
  std::string arrived;
  for (size_t tick = 1; tick <= 8; ++tick) {
    SCOPED_TRACE("tick " + std::to_string(tick));
    const bool reads = tick % 4 == 0;
    sim_.SetConsoleState(states[tick - 1]);
    if (reads) {
      ASSERT_TRUE(WaitForInput(arrived.size()));
    }
    engine_.scheduler.HandleTimerTick();
    EXPECT_EQ(sim_.SlaveBaud(), 9600);
    ASSERT_TRUE(sim_.WaitForCommands(tick, kWait));
    if (reads) {
      EXPECT_EQ(port_.LastReadCount, static_cast<int32_t>(arrived.size()));
      EXPECT_EQ(engine_.console.ConsoleReply, arrived + std::string(128 - arrived.size(), ' '));
      EXPECT_EQ(engine_.console.INTLACITKA, arrived[20] - '0');
      arrived.clear();
    }
    arrived += StatusReply(states[tick - 1]);
  }
  EXPECT_EQ(engine_.console.INTLACITKA, 2);
  // Each tick's traffic is its status query.
  const std::vector<Heard> expected(8, Heard{kStatusQuery, 19200});
  EXPECT_EQ(Traffic(), expected);
}

// ---- A port that cannot be opened ----

struct Box {
  std::string caption, text;
  platform::BoxIcon icon;
};

// A port that cannot be opened is reported once and never scanned; it is
// tried quietly once per scan interval and used once it opens.
TEST_F(EngineOnPort, APortThatCannotBeOpenedIsReportedOnceAndTriedQuietlyUntilItOpens) {
  // The failing port calls still take their sleeps: on a fake clock a
  // hundred ticks take no real time, and what they slept shows whether a
  // scan ran.
  testsupport::FakeClock clock(platform::DateFromYmd(2026, 12, 10), platform::TimeFromHms(10, 0, 0));
  testsupport::ClockGuard guard(&clock);
  std::vector<Box> boxes;
  platform::SetBoxView([&](std::string_view text, std::string_view caption, platform::BoxIcon icon, unsigned,
                           unsigned) {
    boxes.push_back({std::string(caption), std::string(text), icon});
    return unsigned{platform::BoxOk};
  });

  for (const bool restart : {false, true}) {
    SCOPED_TRACE(restart ? "on a restart" : "at start-up");
    boxes.clear();
    sched_.GLO_TIMEOUT = 0;
    sched_.KOMUNIKACE.clear();
    comEnv_.Set(sim_.SlavePath());
    if (restart) {
      // Connected once: the old handle must not survive the failed attempt.
      Connect();
      const int32_t stale = port_.PortHandle;
      ASSERT_GE(stale, 0);
      engine_.protocol.DisconnectPort();
      ASSERT_LT(port_.PortHandle, 0) << "the disconnect forgets the closed handle";
      port_.PortHandle = stale;  // as a caller that kept a copy would have it
    } else {
      port_.PortHandle = -1;
    }
    comEnv_.Set(dir_.file("no-such-tty"));

    EXPECT_EQ(engine_.protocol.ConnectPort(), 0);
    EXPECT_LT(port_.PortHandle, 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Chyba připojení");
    EXPECT_EQ(boxes[0].text.rfind("Nelze se připojit k portu COM1 !\r\n", 0), 0u) << boxes[0].text;
    EXPECT_EQ(boxes[0].icon, platform::BoxIcon::Hand);

    const auto slept = clock.Slept();
    for (int i = 0; i < 100; ++i) engine_.scheduler.HandleTimerTick();
    EXPECT_EQ(clock.Slept() - slept, 100 * Ms(kQueryMs)) << "only the ticks' queries";
    EXPECT_EQ(sched_.GLO_TIMEOUT, (100 - kScanPeriod / kTickStep) * kTickStep) << "counted anew after a quiet try";
    EXPECT_EQ(sched_.KOMUNIKACE, "Nepřipojeno !");
    EXPECT_EQ(sim_.Received(), "");
    EXPECT_EQ(boxes.size(), 1u) << "the tries are quiet";

    // The device appears: the next try connects, greets and silences it.
    comEnv_.Set(sim_.SlavePath());
    const size_t from = sim_.Commands().size();
    while (port_.PortHandle < 0 && sched_.GLO_TIMEOUT != 0) engine_.scheduler.HandleTimerTick();
    EXPECT_GE(port_.PortHandle, 0);
    EXPECT_EQ(sched_.KOMUNIKACE, "Připojeno");
    EXPECT_EQ(boxes.size(), 1u);
    ASSERT_TRUE(sim_.WaitForCommands(from + 41, 10s));
    std::vector<std::string> heard;
    for (const auto& c : sim_.Commands()) heard.push_back(c.text);
    heard.erase(heard.begin(), heard.begin() + static_cast<std::ptrdiff_t>(from));
    std::vector<std::string> greeted = {"q\r"};
    for (int k = 0; k < 40; ++k) greeted.push_back("s" + std::to_string(k) + "\r");
    EXPECT_EQ(heard, greeted);
    engine_.protocol.DisconnectPort();
    sim_.ClearCommands();
  }
}

// ---- Devices lost while the program runs ----

// Simulated devices that a test ends and starts again; the program finds
// them through a link that VELORN_COM1 names, repointed at each start.
class Devices {
 public:
  virtual ~Devices() = default;
  // New devices on a new pseudo-terminal, saying nothing unasked.
  virtual bool Start() = 0;
  virtual std::string Path() const = 0;
  // The devices go; the program's side of the terminal is hung up.
  virtual void End() = 0;
  // Every command the devices have received since their start: the test
  // writes a marker through the program's handle and waits for it, so
  // nothing the program wrote is still on its way (markers left out).
  virtual std::vector<std::string> Heard(int32_t handle) = 0;

 protected:
  std::string NextMarker() { return "#" + std::to_string(++markers_) + "\r"; }
  static bool IsMarker(const std::string& text) { return !text.empty() && text[0] == '#'; }

 private:
  int markers_ = 0;
};

// In this process; ending them closes the terminal's far side.
class DevicesHere final : public Devices {
 public:
  bool Start() override {
    sim_ = std::make_unique<DeviceSimulator>();
    sim_->SetMode(Mode::Silent);
    return sim_->Start();
  }
  std::string Path() const override { return sim_->SlavePath(); }
  void End() override { sim_->Stop(); }
  std::vector<std::string> Heard(int32_t handle) override {
    const std::string marker = NextMarker();
    auto seen = std::make_shared<std::promise<void>>();
    auto once = std::make_shared<std::once_flag>();
    sim_->SetCommandListener([seen, once, marker](const devsim::Command& c) {
      if (c.text == marker) std::call_once(*once, [&] { seen->set_value(); });
    });
    EXPECT_EQ(syslib::WritePort(handle, marker, 0), static_cast<syslib::LONG>(marker.size()));
    EXPECT_EQ(seen->get_future().wait_for(kWait), std::future_status::ready);
    sim_->SetCommandListener(nullptr);
    std::vector<std::string> texts;
    for (const auto& c : sim_->Commands())
      if (!IsMarker(c.text)) texts.push_back(c.text);
    return texts;
  }

 private:
  std::unique_ptr<DeviceSimulator> sim_;
};

// The simulator's own program (tools/velorn-devsim); ending them kills it.
class DevicesInAProcess final : public Devices {
 public:
  bool Start() override {
    child_ = std::make_unique<testsupport::Child>(std::string(VELORN_TOOLS_DIR) + "/velorn-devsim",
                                                  std::vector<std::string>{"silent"});
    if (!child_->WaitForOutput("\n", kWait)) return false;
    path_ = child_->out().substr(0, child_->out().find('\n'));
    return true;
  }
  std::string Path() const override { return path_; }
  void End() override {
    child_->Signal(SIGKILL);
    EXPECT_EQ(child_->Wait(kWait), 128 + SIGKILL);
  }
  // Its output: the terminal's path, then one line per command: the rate,
  // a blank and the command with "\r" written as two characters.
  std::vector<std::string> Heard(int32_t handle) override {
    const std::string marker = NextMarker();
    EXPECT_EQ(syslib::WritePort(handle, marker, 0), static_cast<syslib::LONG>(marker.size()));
    EXPECT_TRUE(child_->WaitForOutput(" " + marker.substr(0, marker.size() - 1) + "\\r\n", kWait));
    std::vector<std::string> texts;
    const std::string& out = child_->out();
    size_t pos = out.find('\n') + 1;
    for (size_t end; (end = out.find('\n', pos)) != std::string::npos; pos = end + 1) {
      std::string text = out.substr(out.find(' ', pos) + 1, end - out.find(' ', pos) - 1);
      for (size_t cr; (cr = text.find("\\r")) != std::string::npos;) text.replace(cr, 2, "\r");
      if (!IsMarker(text)) texts.push_back(text);
    }
    return texts;
  }

 private:
  std::unique_ptr<testsupport::Child> child_;
  std::string path_;
};

enum class DeviceKind { Here, InAProcess };

class LostDevice : public ::testing::TestWithParam<DeviceKind> {
 protected:
  void SetUp() override {
    devices_ = GetParam() == DeviceKind::Here ? std::unique_ptr<Devices>(std::make_unique<DevicesHere>())
                                              : std::unique_ptr<Devices>(std::make_unique<DevicesInAProcess>());
    audioEnv_.Set("dummy");
    comEnv_.Set(link_);
    app::data::AttachThreadFiles();
    app::data::DebugEnabled = 1;
    platform::SetBoxView([this](std::string_view text, std::string_view, platform::BoxIcon, unsigned, unsigned) {
      boxes_.emplace_back(text);
      return unsigned{platform::BoxOk};
    });
  }
  void TearDown() override {
    platform::SetBoxView(nullptr);
    syslib::KillAllPorts();
    syslib::ShutdownSound();
    app::data::DebugEnabled = 0;
    app::data::DetachThreadFiles();
  }

  // Starts devices and points the link at them.
  void StartDevices() {
    ASSERT_TRUE(devices_->Start());
    const std::string fresh = link_ + ".new";
    ASSERT_EQ(::symlink(devices_->Path().c_str(), fresh.c_str()), 0);
    ASSERT_EQ(::rename(fresh.c_str(), link_.c_str()), 0);
  }

  // Ends the devices; while they are away their name names nothing (the
  // terminal number they leave may be taken by another program meanwhile).
  void EndDevices() {
    devices_->End();
    const std::string fresh = link_ + ".new";
    ASSERT_EQ(::symlink(dir_.file("gone").c_str(), fresh.c_str()), 0);
    ASSERT_EQ(::rename(fresh.c_str(), link_.c_str()), 0);
  }

  static std::vector<std::string> WithoutQueries(std::vector<std::string> texts) {
    texts.erase(std::remove(texts.begin(), texts.end(), std::string(kStatusQuery)), texts.end());
    return texts;
  }

  testsupport::TempDir dir_{true};
  std::string link_ = dir_.file("com1");
  EnvScope comEnv_{"VELORN_COM1"};
  EnvScope audioEnv_{"SDL_AUDIODRIVER"};
  std::unique_ptr<Devices> devices_;
  std::vector<std::string> boxes_;
};

// The devices go while the program runs: the port is closed and shown as
// not connected; a task whose time comes meanwhile stays in Tasks.tps as it
// was; the port is tried once per scan interval. Devices back under the same
// name are greeted and silenced, and the task, still within its three
// minutes, plays once.
TEST_P(LostDevice, IsNoticedAndTheDevicesBackUnderTheSameNameTakeOver) {
  const StdDate day = platform::DateFromYmd(2026, 12, 10);
  testsupport::FakeClock clock(day, platform::TimeFromHms(10, 0, 0));
  testsupport::ClockGuard guard(&clock);
  const StdTime taskTime = platform::TimeFromHms(10, 0, 30);
  testsupport::AddTask([&](app::data::TasksRecord& r) {
    r.DATUM_SPUSTENI = day;
    r.CAS_SPUSTENI = taskTime;
    r.PREHRAT = dir_.file("hlaseni.wav");
    r.DELKA_SOUBORU = platform::TimeFromHms(0, 0, 5);
    r.VYSTUP1_5 = "08";  // output 1
    r.AUTOMATICKY_SMAZAT = 0;
  });
  const auto task = testsupport::FirstTask;

  int opens = 0;
  PortOps ops = LibraryPort();
  ops.open = [&opens, open = ops.open](const std::string& mode) {
    ++opens;
    return open(mode);
  };
  EngineHooks hooks;
  hooks.endProgram = [](int) {};
  Engine e(hooks, ops);
  e.portState.COM_PORT = "COM1";
  StartDevices();
  ASSERT_EQ(e.protocol.ConnectPort(), 1);
  e.protocol.SilenceOutputs();
  const int32_t firstHandle = e.portState.PortHandle;

  EndDevices();
  // The first tick's baud change meets the hung-up line.
  e.scheduler.HandleTimerTick();
  EXPECT_EQ(e.portState.PortHandle, -1);
  EXPECT_EQ(e.portState.PortLost, 1);
  EXPECT_EQ(e.schedulerState.KOMUNIKACE, "Nepřipojeno !");
  EXPECT_EQ(syslib::GetPortEntry(1).InUse, 0) << "the port was closed";
  EXPECT_EQ(::fcntl(firstHandle, F_GETFD), -1) << "its descriptor is gone";

  // While they are away the task's time passes; one try per scan interval.
  int ticks = 1;
  while (clock.ClockTime() < taskTime + 1500 && ticks < 1000) {
    e.scheduler.HandleTimerTick();
    ++ticks;
  }
  EXPECT_EQ(opens, 1 + ticks / (kScanPeriod / kTickStep)) << ticks << " ticks";
  EXPECT_EQ(e.portState.PortHandle, -1);
  EXPECT_EQ(e.schedulerState.KOMUNIKACE, "Nepřipojeno !");
  EXPECT_EQ(task().POSLEDNI_SPUSTENI, 0) << "booked while the devices were gone";
  EXPECT_EQ(task().AKTIVNI, 1);
  EXPECT_TRUE(boxes_.empty()) << boxes_.front();

  // Back under the same name: the next try greets and silences them.
  StartDevices();
  const int before = opens;
  for (int i = 0; i < kScanPeriod / kTickStep && opens == before; ++i) e.scheduler.HandleTimerTick();
  ASSERT_GE(e.portState.PortHandle, 0);
  EXPECT_EQ(e.portState.PortLost, 0);
  std::vector<std::string> greeting = {"q\r"};
  const auto silence = testsupport::AllRelays('s');
  greeting.insert(greeting.end(), silence.begin(), silence.end());
  EXPECT_EQ(WithoutQueries(devices_->Heard(e.portState.PortHandle)), greeting);
  EXPECT_TRUE(boxes_.empty());

  // The scans resume; the task, due within its three minutes, plays once.
  for (int i = 0; i < 3 * kScanPeriod / kTickStep; ++i) e.scheduler.HandleTimerTick();
  ASSERT_LT(clock.ClockTime(), taskTime + kScanWindow) << "past the task's window";
  const auto heard = WithoutQueries(devices_->Heard(e.portState.PortHandle));
  EXPECT_EQ(std::count(heard.begin(), heard.end(), std::string("(0504102113)")), 1) << "the task's lamp";
  EXPECT_EQ(std::count(heard.begin(), heard.end(), std::string("r0\r")), 1) << "its zone";
  EXPECT_EQ(task().POSLEDNI_SPUSTENI, day);
  EXPECT_EQ(e.schedulerState.KOMUNIKACE, "Připojeno");
  const std::string log = testsupport::ReadFile("Debug.log");
  EXPECT_NE(log.find(" connection lost: COM1"), std::string::npos);
  EXPECT_EQ(log.find(" connection lost: COM1"), log.rfind(" connection lost: COM1")) << "one line";
}

INSTANTIATE_TEST_SUITE_P(Devices, LostDevice, ::testing::Values(DeviceKind::Here, DeviceKind::InAProcess),
                         [](const ::testing::TestParamInfo<DeviceKind>& i) {
                           return std::string(i.param == DeviceKind::Here ? "FarSideClosed" : "ProcessEnded");
                         });

}  // namespace
