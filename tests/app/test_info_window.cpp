// The announcement window on a pseudo-terminal with the simulated console:
// what it shows and sends on each of its ticks and when it closes, that the
// window below it waits meanwhile, and its place in the INI file.
#include "app/ui/info_window.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/data/records.h"
#include "app/engine/engine.h"
#include "app/ui/main_window.h"
#include "platform/ini.h"
#include "platform/stdtime.h"
#include "platform/window.h"
#include "syslib/serial.h"
#include "tests/engine/prompt_console.h"
#include "tests/support/fake_clock.h"
#include "tests/support/loop_guard.h"
#include "tests/support/tempdir.h"
#include "tools/devsim.h"

namespace app::ui {
namespace {

namespace pu = platform::ui;
using namespace testsupport;

constexpr const char* kIdleHint = "Zapněte hlavní tlačítko MIC.";
constexpr const char* kOnAir = "Probíhá hlášení...";
constexpr const char* kMicOnly = "Po zapnutí tlačítka ON-AIR začne hlášení.";
constexpr const char* kOnAirOnly = "Vypněte tlačítko ON-AIR a zapněte tlačítko MIC.";

// The operator's side: whenever the windows wait, the top one is shown to
// wait(); unless it acted, the clock runs on to the next timer tick.
class Operator : public pu::HeadlessView {
 public:
  explicit Operator(FakeClock& clock) : clock_(clock) { pu::SetThreadView(this); }
  ~Operator() override { pu::SetThreadView(nullptr); }

  std::function<bool(pu::Window& top)> wait;  // true: it acted

  bool Interactive() const override { return true; }
  void Pump(pu::EventQueue& q, uint64_t seen, std::optional<pu::TimePoint> deadline) override {
    if (guard_.Ends()) return;
    if (wait && wait(*pu::ThreadWindows().back())) return;
    if (!deadline) return HeadlessView::Pump(q, seen, deadline);
    if (*deadline > clock_.Now()) clock_.Advance(*deadline - clock_.Now());
  }

 private:
  FakeClock& clock_;
  LoopGuard guard_{1000, "the windows"};
};

class InfoWindowOnPort : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.Start()) << "no pseudo-terminal";
    ::setenv("VELORN_COM1", sim_.SlavePath().c_str(), 1);
    engine_.portState.COM_PORT = "COM1";
    ASSERT_EQ(engine_.protocol.ConnectPort(), 1);
    console_.Taken();
  }
  void TearDown() override {
    pu::SetPlacementStore(nullptr);
    syslib::KillAllPorts();
    ::unsetenv("VELORN_COM1");
  }

  TempDir dir_{true};
  FakeClock clock_{platform::DateFromYmd(2026, 12, 10), platform::TimeFromHms(10, 0, 0)};
  ClockGuard guard_{&clock_};
  devsim::DeviceSimulator sim_;
  PromptConsole console_{sim_};
  engine::Engine engine_{{}, console_.Ops()};
};

struct InfoCase {
  const char* what;
  char console;
  std::vector<std::string> texts;  // ?TEXTIK after each tick
  std::vector<Traffic> sent;       // each tick's traffic besides its query
  const char* close;               // "?OKBUTTON", "close box" or "close-down"
};

TEST_F(InfoWindowOnPort, EachTickReadsAndQueriesTheConsoleThenShowsItsStateAndDrivesTheOnAirLamp) {
  const InfoCase cases[] = {
      // The first read finds nothing; every lamp command drains the answer
      // the next read would find, so the state alternates with 0.
      {"both switches on", '3', {kIdleHint, kOnAir, kOnAir, kOnAir, kOnAir}, {{}, {kOnAirOn}, {}, {kOnAirOn}, {}},
       "?OKBUTTON"},
      {"the MIC switch only", '2', {kIdleHint, kMicOnly, kMicOnly}, {{}, {kOnAirOff}, {}}, "close box"},
      {"the ON-AIR key only", '1', {kIdleHint, kOnAirOnly}, {{}, {kOnAirOff}}, "?OKBUTTON"},
      {"neither: the hint once", '0', {kIdleHint, kIdleHint, kIdleHint}, {{}, {}, {}}, "close box"},
      {"a state above 3", '8', {kIdleHint, kIdleHint}, {{}, {}}, "?OKBUTTON"},
      // The end of the session or a service stop while it is open.
      {"on air, closed down", '3', {kIdleHint, kOnAir}, {{}, {kOnAirOn}}, "close-down"},
  };
  for (const InfoCase& c : cases) {
    SCOPED_TRACE(c.what);
    sim_.SetConsoleState(c.console);
    Operator op(clock_);
    std::vector<std::string> texts;
    std::vector<Traffic> sent;
    int queries = 0;
    std::vector<std::string> labels;
    const int readsBefore = console_.Reads();
    op.wait = [&](pu::Window& w) {
      if (labels.empty()) {
        // Opened, before its first tick.
        for (int n = 1; n <= w.ControlCount(); ++n) labels.push_back(w.At(n)->Label());
        EXPECT_EQ(w.ProcedureName(), "Info_window");
        EXPECT_EQ(w.Text(), "Probíhá hlášení");
        EXPECT_EQ(w.Icon(), "sound.ico");
        EXPECT_EQ(w.FontName(), "Tahoma");
        EXPECT_EQ(w.Timer(), 100);
        EXPECT_EQ(w["?OKBUTTON"].Text(), "&Konec hlášení");
        EXPECT_EQ(w["?OKBUTTON"].Image(), "cross.gif");
        EXPECT_EQ(w["?TEXTIK"].Text(), "");
        EXPECT_EQ(console_.Taken(), Traffic{});
        return false;
      }
      texts.push_back(w["?TEXTIK"].Text());
      int q = 0;
      sent.push_back(WithoutQueries(console_.Taken(), &q));
      queries += q;
      if (texts.size() < c.texts.size()) return false;
      if (std::string(c.close) == "close box") w.CloseBox();
      else if (std::string(c.close) == "close-down") w.Post(pu::EVENT::CloseDown);
      else w.Press(c.close);
      return true;
    };
    Info_window(engine_.protocol);

    EXPECT_EQ(labels, (std::vector<std::string>{"?TEXTIK", "?OKBUTTON"}));
    EXPECT_EQ(texts, c.texts);
    EXPECT_EQ(sent, c.sent);
    EXPECT_EQ(queries, static_cast<int>(c.texts.size())) << "a query every tick";
    EXPECT_EQ(console_.Reads() - readsBefore, static_cast<int>(c.texts.size())) << "a read every tick";
    EXPECT_EQ(console_.Taken(), Traffic{kOnAirOff}) << "closed by " << c.close;
    EXPECT_EQ(sim_.SlaveBaud(), 9600);
    EXPECT_TRUE(pu::ThreadWindows().empty());
  }
  EXPECT_EQ(engine_.console.ConsoleReply, "") << "the window reads into its own console state";
}

TEST_F(InfoWindowOnPort, KeepsItsPlaceInItsIniSection) {
  platform::IniStore ini(dir_.file("velorn.INI"));
  pu::SetPlacementStore(&ini);
  const pu::Placement moved{.x = 140, .y = 90, .width = 320, .height = 150};
  std::vector<pu::Placement> atOpening;
  Operator op(clock_);
  op.wait = [&](pu::Window& w) {
    atOpening.push_back(w.GetPlacement());
    w.SetPlacement(moved);
    w.Press("?OKBUTTON");
    return true;
  };
  Info_window(engine_.protocol);
  EXPECT_EQ(ini.GetNumber("Info_window", "XPos"), 140);
  EXPECT_EQ(ini.GetNumber("Info_window", "YPos"), 90);
  EXPECT_EQ(ini.GetNumber("Info_window", "Width"), 320);
  EXPECT_EQ(ini.GetNumber("Info_window", "Height"), 150);
  EXPECT_EQ(ini.GetString("Info_window", "Maximize"), "No");

  // Back where it was; sized by its texts, not by the size kept.
  Info_window(engine_.protocol);
  ASSERT_EQ(atOpening.size(), 2u);
  EXPECT_EQ(atOpening[1], (pu::Placement{.x = 140, .y = 90}));
}

// The main window opens it from its first tick, as the announcement
// command will; a silent console reads as state 0.
class HostOpeningTheWindow : public MainWindow {
 public:
  int ticks = 0;
  int ticksWhileOpen = 0;
  bool open = false, closed = false;
  uint8_t hist0AtFirstTick = 0;

  int OnWindowEvent() override {
    const bool tick = Win().EventNumber() == pu::EVENT::Timer;
    if (tick) {
      ++ticks;
      if (open) ++ticksWhileOpen;
    }
    const int r = MainWindow::OnWindowEvent();
    if (tick && ticks == 1) {
      hist0AtFirstTick = Engine().live.HIST0;
      open = true;
      Info_window(Engine().protocol);
      open = false;
      closed = true;
    }
    return r;
  }
};

TEST(InfoWindowOverTheHost, TheHostGetsNoTickWhileItIsOpenAndOneAfter) {
  TempDir dir(true);
  FakeClock clock(platform::DateFromYmd(2026, 12, 10), platform::TimeFromHms(10, 0, 0));
  ClockGuard guard(&clock);
  devsim::DeviceSimulator sim;
  ASSERT_TRUE(sim.Start());
  sim.SetMode(devsim::Mode::Silent);
  ::setenv("VELORN_COM1", sim.SlavePath().c_str(), 1);
  app::data::AttachThreadFiles();
  {
    HostOpeningTheWindow host;
    Operator op(clock);
    int infoTicks = 0;
    int hostTicksAfter = -1;
    op.wait = [&](pu::Window& w) {
      if (w.ProcedureName() == kInfoWindowProcedure) {
        // Five seconds: twenty of the host's periods.
        if (w["?TEXTIK"].Text().empty() || ++infoTicks < 5) return false;
        w.Press("?OKBUTTON");
        return true;
      }
      if (!host.closed) return false;
      hostTicksAfter = host.ticks - 1;
      w.Post(pu::EVENT::CloseDown);  // its close box only hides it
      return true;
    };
    host.Run();
    EXPECT_EQ(host.hist0AtFirstTick, 1) << "the host's tick runs the live-announcement state machine";
    EXPECT_EQ(infoTicks, 5);
    EXPECT_EQ(host.ticksWhileOpen, 0);
    EXPECT_EQ(hostTicksAfter, 1);
    host.Engine().protocol.DisconnectPort();
  }
  ::unsetenv("VELORN_COM1");
  app::data::ReleaseDataFiles();
  app::data::DetachThreadFiles();
}

}  // namespace
}  // namespace app::ui
