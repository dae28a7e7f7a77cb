// The main window's commands through the real window on a pseudo-terminal
// with the simulated relay board and console: the traffic of every device
// command byte by byte with its baud rate, the exit, the port and the
// amplifier delay, the output buttons and the task list's commands. The
// dialogs are answered by the operator's script through the window model;
// the clock is fake and moves on only when the program sleeps or the
// script lets a timer event come.
#include "app/ui/main_window.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/data/records.h"
#include "app/engine/commands.h"
#include "app/globals.h"
#include "app/ui/mic_wait.h"
#include "app/ui/output_buttons.h"
#include "app/ui/output_choice.h"
#include "app/ui/task_form.h"
#include "platform/filedialog.h"
#include "platform/stdtime.h"
#include "platform/text.h"
#include "syslib/serial.h"
#include "syslib/sound.h"
#include "tests/app/desk.h"
#include "tests/app/form_operator.h"
#include "tests/engine/prompt_console.h"
#include "tests/support/child.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_programs.h"
#include "tests/support/tempdir.h"
#include "tests/support/wav.h"
#include "tools/devsim.h"

namespace app::ui {
namespace {

using namespace std::chrono_literals;
using namespace testsupport;
namespace pu = platform::ui;

constexpr const char* kMain = "Main";
const std::string kLineOn = "(0504102113)@19200";
const platform::StdTime kSecond = 100;

Traffic Chosen(char letter) { return {Relay(std::string(1, letter) + "0\r"), Relay(std::string(1, letter) + "8\r")}; }
const Traffic kAmpOn{Relay("s64\r")};
const Traffic kAmpOff{Relay("r64\r")};

// The traffic with each run of repeated playback-tick lamps (521, 501)
// after the first pair kept once; n gets the number of pairs met in runs.
Traffic CollapseTickLamps(const Traffic& t, int* n) {
  Traffic out;
  *n = 0;
  for (size_t i = 0; i < t.size(); ++i) {
    const bool pair = i + 1 < t.size() && t[i] == kLineOn && t[i + 1] == kOnAirOn;
    if (pair && out.size() >= 2 && out[out.size() - 2] == kLineOn && out.back() == kOnAirOn) {
      ++*n;
      ++i;
      continue;
    }
    if (pair) ++*n;
    out.push_back(t[i]);
  }
  return out;
}

// A WAV in the sound device's format whose samples are a pattern of their
// own, so that it can be found in what the disk driver wrote.
std::string PatternData(int frames) {
  std::string d;
  for (int i = 0; i < frames; ++i) d += std::string("\x21\x43\x65\x07", 4);
  return d;
}

// The steps of the parts, one after another.
std::vector<Step> JoinSteps(std::initializer_list<std::vector<Step>> parts) {
  std::vector<Step> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// The main window, counting its timer events.
class TickingMain : public MainWindow {
 public:
  using MainWindow::MainWindow;
  int ticks = 0;
  int OnWindowEvent() override {
    if (Win().EventNumber() == pu::EVENT::Timer) ++ticks;
    return MainWindow::OnWindowEvent();
  }
};

class MainCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.Start()) << "no pseudo-terminal";
    ::setenv("VELORN_COM1", sim_.SlavePath().c_str(), 1);
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", dir_.file("out.raw").c_str(), 1);
    app::CaptionText = " vELORN v. 1.0";
    FillFiles(Names(12), {{"Sever", {"01", "01", "00", "00", "00"}}, {"Jih", {"80", "00", "00", "00", "00"}}});
    WriteFile(dir_.file("hlaseni.wav"), MakeWav(PatternData(4410), syslib::kSoundRate, 2, 16));
    ::mkdir(dir_.file("slozka.wav").c_str(), 0755);
  }
  void TearDown() override {
    CopyTaskPending = 0;
    syslib::ShutdownSound();
    platform::SetFileDialogView(nullptr);
    syslib::KillAllPorts();
    ::unsetenv("VELORN_COM1");
    ::unsetenv("VELORN_COM2");
    data::ThreadReleaseDataFiles();
  }
  std::string Wav() const { return dir_.file("hlaseni.wav"); }

  // Runs a main window through the script: the opening, before(), six
  // timer events (the console's state polled and met by the live
  // announcements' state machine), the steps, and at the end what the
  // devices took since those ticks into `taken`. The window is closed down
  // after the script, unless the script closes it (closes: the traffic is
  // then taken when it has closed).
  void RunScript(MainWindow& win, std::function<void(MainWindow&)> before, std::vector<Step> steps,
                 bool closes = false) {
    Desk& desk = *desk_;
    std::vector<Step> script = {Do(kMain, [&](pu::Window&) {
                                  if (before) before(win);
                                }),
                                Ticks(kMain, 6), Do(kMain, [&](pu::Window&) { (void)console_.Taken(); })};
    script.insert(script.end(), steps.begin(), steps.end());
    if (!closes) script.push_back(Do(kMain, [&](pu::Window&) { taken_ = console_.Taken(); }));
    taken_.clear();
    desk.Play(std::move(script));
    win.Run();
    EXPECT_TRUE(desk.Done()) << "the script was not played to its end";
    if (closes) taken_ = console_.Taken();
  }

  TempDir dir_{true};
  FakeClock clock_{platform::DateFromYmd(2026, 12, 10), platform::TimeFromHms(10, 0, 0)};
  ClockGuard guard_{&clock_};
  devsim::DeviceSimulator sim_;
  PromptConsole console_{sim_};
  std::unique_ptr<Desk> desk_ = std::make_unique<Desk>(clock_);
  Traffic taken_;
};

// ---- The device commands, byte by byte ----

struct TrafficCase {
  const char* what;
  char console;  // the simulated console's state
  std::function<void(MainWindow&)> before;
  std::vector<Step> steps;  // from the press on
  std::vector<std::string> answers;
  Traffic expected;  // without the status queries; tick lamp runs collapsed
  std::vector<Seen> seen;
  std::vector<std::string> played;
};

void Choose19(MainWindow& w) {
  w.Engine().schedulerState.OutputSelected[1] = 1;
  w.Engine().schedulerState.OutputSelected[9] = 1;
}

TEST_F(MainCommands, EveryDeviceCommandSendsItsTrafficInOrderAtItsRate) {
  const std::string wav = Wav();
  const auto ready = [wav](MainWindow& w) {
    Choose19(w);
    w.Engine().schedulerState.GLO_FILE2PLAY = wav;
    w.Engine().schedulerState.GLO_FILELENGHT = kSecond;
  };
  const auto console = [](uint8_t state) {
    return [state](MainWindow& w) {
      Choose19(w);
      EXPECT_EQ(w.Engine().console.INTLACITKA, 0);
      (void)state;
      w.Engine().portState.GLO_AMP_DELAY = kSecond;
    };
  };
  TickingMain* win = nullptr;
  int ticksAtWait = -1;
  const auto manualPlays = [&win] { return win->Engine().schedulerState.ManualPlaybackRequested == 1; };
  const auto press = [](const char* label) { return Press(kMain, label); };
  // The announcement window: it opened at least the delay after the
  // amplifier went on; one of its timer events, then "&Konec hlášení".
  const std::vector<Step> announce = {
      Press(kLiveProcedure, "?OK"),
      Do("Info_window",
         [&win](pu::Window&) {
           const auto& port = win->Engine().portState;
           EXPECT_GE(platform::GetClock().ClockTime() - port.AmpWaitStart, port.GLO_AMP_DELAY) << "the delay";
         }),
      Ticks("Info_window", 1), Press("Info_window", "?OKBUTTON")};
  const Traffic liveTraffic = Join({kAmpOff, Zones('s'), {kMicOn}, Chosen('r'), kAmpOn, {kOnAirOff}, kAmpOff,
                                    Zones('s'), {kMicOff, kLineOff}});
  const Seen micBox{"box", " vELORN v. 1.0", kMicOffText};
  int passesAfter = -1;
  const TrafficCase cases[] = {
      {"live announcement, the MIC switch on", '2', console(2), JoinSteps({{press("?BUTTON_ZAPNI")}, announce}), {},
       liveTraffic, {}, {}},
      {"live announcement, ON-AIR on too: the warning once", '3', console(3),
       JoinSteps({{press("?BUTTON_ZAPNI")}, announce}), {}, liveTraffic,
       {{"box", " vELORN v. 1.0", "Pozor, máte zapnutý spínač ON-AIR na mikrofonu. Vypněte jej!"}}, {}},
      {"live announcement, the MIC switch off: the wait goes on at state 2", '0', console(0),
       JoinSteps({{press("?BUTTON_ZAPNI"),
              Do(kMicWaitProcedure, [&](pu::Window&) { ticksAtWait = win->ticks; }),
              Ticks(kMicWaitProcedure, 3),
              Do(kMicWaitProcedure, [this](pu::Window&) { sim_.SetConsoleState('2'); }),
              While(kMicWaitProcedure, [] { return true; }, 20, &passesAfter),
              Do(kLiveProcedure,
                 [&](pu::Window&) { EXPECT_EQ(win->ticks, ticksAtWait) << "the wait holds the window's ticks"; })},
             announce}),
       // The window's tick held meanwhile then meets state 2 for the first
       // time: the live announcements' state machine lights the MIC.
       {}, Join({liveTraffic, {kMicOn}}), {micBox}, {}},
      {"live announcement, the wait given up: nothing after the zones", '0', console(0),
       {press("?BUTTON_ZAPNI"), Ticks(kMicWaitProcedure, 2), Press(kMicWaitProcedure, "?STORNO")}, {},
       Join({kAmpOff, Zones('s')}), {micBox}, {}},
      {"live announcement, the outputs' dialog cancelled", '2', console(2),
       {press("?BUTTON_ZAPNI"), Press(kLiveProcedure, "?CANCEL")}, {}, Join({kAmpOff, Zones('s'), {kMicOn}}), {},
       {}},
      {"playback through the dialog", '0',
       [ready](MainWindow& w) {
         ready(w);
         w.Engine().portState.GLO_AMP_DELAY = kSecond;
       },
       {press("?BUTTON_PREHRAJ"), Press(kPlaybackProcedure, "?OK"),
        Do(kMain,
           [&win](pu::Window&) {
             const auto& s = win->Engine().schedulerState;
             const auto& port = win->Engine().portState;
             EXPECT_GE(s.PlaybackEndTime - port.AmpWaitStart, port.GLO_AMP_DELAY + s.GLO_FILELENGHT);
             EXPECT_EQ(win->Locals().statusText, "Právě probíhá přehrávání úlohy...");
             EXPECT_FALSE(win->Win()["?IMAGE1"].Hidden());
             // The confirmed dialog's choice shows on the tab's buttons.
             for (int k = 1; k <= kOutputButtons; ++k)
               EXPECT_EQ(win->Win()[OutputButton(k)].Color(), k == 1 || k == 9 ? kRed : pu::kNormalColor) << k;
           }),
        While(kMain, manualPlays, 20)},
       {}, Join({kAmpOff, Zones('s'), Chosen('r'), kAmpOn, {kLineOn, kOnAirOn, kLineOff, kOnAirOff}, Chosen('s'),
                 kAmpOff}),
       {}, {wav}},
      {"playback from the tab: the amplifier at once", '0', ready,
       {press("?BUTTON51:2"),
        Do(kMain, [&win](pu::Window&) { EXPECT_EQ(win->Engine().portState.AmpWaitStart, 0) << "no delay"; }),
        While(kMain, manualPlays, 20)},
       {}, Join({{kLineOn, kOnAirOn}, Chosen('r'), kAmpOn, {kLineOn, kOnAirOn, kLineOff, kOnAirOff}, Chosen('s'),
                 kAmpOff}),
       {}, {wav}},
      {"playback from the tab without outputs, OK: every zone silent", '0',
       [wav](MainWindow& w) {
         w.Engine().schedulerState.GLO_FILE2PLAY = wav;
         w.Engine().schedulerState.GLO_FILELENGHT = kSecond;
       },
       {press("?BUTTON51:2"), While(kMain, manualPlays, 20)}, {"?BUTTON1"},
       Join({{kLineOn, kOnAirOn}, kAmpOn, {kLineOn, kOnAirOn, kLineOff, kOnAirOff}, kAmpOff}),
       {{"cMessage", "Potvrzení operace", kNoOutputQuestion}}, {wav}},
      {"playback from the tab without outputs, Zpět", '0',
       [wav](MainWindow& w) { w.Engine().schedulerState.GLO_FILE2PLAY = wav; }, {press("?BUTTON51:2")},
       {"?BUTTON2"}, {}, {{"cMessage", "Potvrzení operace", kNoOutputQuestion}}, {}},
      {"playback from the tab without outputs, the question closed plays nothing", '0',
       [wav](MainWindow& w) { w.Engine().schedulerState.GLO_FILE2PLAY = wav; }, {press("?BUTTON51:2")}, {"close"},
       {}, {{"cMessage", "Potvrzení operace", kNoOutputQuestion}}, {}},
      {"playback from the tab of a missing file", '0',
       [](MainWindow& w) {
         Choose19(w);
         w.Engine().schedulerState.GLO_FILE2PLAY = "/nikde/neni.wav";
       },
       {press("?BUTTON51:2")}, {}, {}, {{"aMessage", "Chyba", kFileRefusedText}}, {}},
      {"playback from the tab of a folder", '0',
       [this](MainWindow& w) {
         Choose19(w);
         w.Engine().schedulerState.GLO_FILE2PLAY = dir_.file("slozka.wav");
       },
       {press("?BUTTON51:2")}, {}, {}, {{"aMessage", "Chyba", kFileRefusedText}}, {}},
      {"playback from the tab without a length", '0',
       [wav](MainWindow& w) {
         Choose19(w);
         w.Engine().schedulerState.GLO_FILE2PLAY = wav;
         w.Engine().schedulerState.GLO_FILELENGHT = 0;
       },
       {press("?BUTTON51:2")}, {}, {},
       {{"aMessage", "Chyba",
         "Chybí potřebné údaje !\r\n\r\nNezadali jste délku přehrávaného souboru.\r\nZadejte délku soubor a poté "
         "akci opakujte."}},
       {}},
      {"live from the tab: output 1 dropped while on is not switched at the stop", '0', Choose19,
       {press("?BUTTON51"), press("?BUTTON20:1"), press("?BUTTON51")}, {},
       Join({Chosen('r'), kAmpOn, {kMicOn, kOnAirOn}, {Relay("s8\r")}, kAmpOff, {kMicOff, kOnAirOff}}), {}, {}},
      {"live from the tab with a file from the tab ending in between: only 520 at its end", '0', ready,
       {press("?BUTTON51"), press("?BUTTON51:2"), While(kMain, manualPlays, 20), press("?BUTTON51")}, {},
       Join({Chosen('r'), kAmpOn, {kMicOn, kOnAirOn}, {kLineOn, kOnAirOn}, Chosen('r'), kAmpOn,
             {kLineOn, kOnAirOn, kLineOff}, Chosen('s'), kAmpOff, {kMicOff, kOnAirOff}}),
       {}, {wav}},
      {"live from the tab without outputs is refused", '0', nullptr, {press("?BUTTON51")}, {}, {},
       {{"aMessage", "Žádné výstupy",
         "Není specifikován žádný výstup !\r\n\r\nNespecifikovali jste výstupy, do kterých chcete přehrát "
         "hlášení.\r\n\r\nBez zvolených výstupů nelze spustit hlášení."}},
       {}},
      {"the six lamp buttons", '0', nullptr,
       {Then(kMain, [](pu::Window& w) { w.PressKey(kKeyCtrlS); }), press("?BUTTON13"), press("?BUTTON14"), press("?BUTTON15"), press("?BUTTON13:2"), press("?BUTTON14:2"),
        press("?BUTTON15:2")},
       {}, {kOnAirOn, kMicOn, kLineOn, kOnAirOff, kMicOff, kLineOff}, {}, {}},
  };
  for (const TrafficCase& c : cases) {
    SCOPED_TRACE(c.what);
    sim_.SetConsoleState('0');
    std::vector<std::string> played;
    syslib::SetSoundLoadHook([&](const std::string& f) { played.push_back(f); });
    {
      TickingMain w(console_.Ops());
      win = &w;
      desk_->seen.clear();
      desk_->answers = c.answers;
      passesAfter = -1;
      RunScript(
          w,
          [&](MainWindow& m) {
            sim_.SetConsoleState(c.console);
            if (c.before) c.before(m);
          },
          c.steps);
      win = nullptr;
    }
    ASSERT_TRUE(syslib::WaitSoundIdle(5s));
    syslib::SetSoundLoadHook(nullptr);
    if (!c.played.empty()) {
      // What the disk driver wrote holds the file's samples.
      const std::string data = PatternData(4410);
      const auto deadline = std::chrono::steady_clock::now() + 10s;
      while (ReadFile(dir_.file("out.raw")).find(data) == std::string::npos &&
             std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
      EXPECT_NE(ReadFile(dir_.file("out.raw")).find(data), std::string::npos) << "the file was heard";
      syslib::ShutdownSound();
      std::remove(dir_.file("out.raw").c_str());
    }
    int pairs = 0;
    int queries = 0;
    EXPECT_EQ(CollapseTickLamps(WithoutQueries(taken_, &queries), &pairs), c.expected);
    EXPECT_EQ(desk_->seen, c.seen);
    EXPECT_EQ(played, c.played);
    if (passesAfter >= 0) {
      // A read every 4th pass, of the oldest answer waiting in the port.
      EXPECT_LE(passesAfter, 8) << "the wait goes on at the first state 2 read";
    }
  }
}

// ---- The exit ----

constexpr const char* kExitQuestion =
    "Chystáte se ukončit program !\r\n\r\nPokud program ukončíte,\r\nveškeré naplánované ulohy nebudou "
    "přehrány.\r\nChcete opravdu ukončit program?";

TEST_F(MainCommands, OnlyAnoEndsTheProgramAndSwitchesAConnectedInstallationOff) {
  struct Case {
    const char* answer;
    bool connected;
  };
  const Case cases[] = {{"?BUTTON2", true}, {"?BUTTON1", true}, {"close", true},
                        {"?BUTTON2", false}, {"?BUTTON1", false}, {"close", false}};
  for (const Case& c : cases) {
    const bool ends = std::string(c.answer) == "?BUTTON1";
    SCOPED_TRACE(std::string(c.answer) + (c.connected ? ", connected" : ", not connected"));
    ::setenv("VELORN_COM1", c.connected ? sim_.SlavePath().c_str() : dir_.file("no-such-tty").c_str(), 1);
    desk_->seen.clear();
    desk_->answers = {c.answer};
    bool ranOn = false;
    {
      MainWindow w(console_.Ops());
      std::vector<Step> steps{Press(kMain, "?BUTTON_KONEC")};
      if (!ends)
        steps.push_back(Do(kMain, [&](pu::Window& win) {
          ranOn = win.IsOpen();
          EXPECT_EQ(w.Engine().portState.PortHandle >= 0, c.connected);
          EXPECT_EQ(console_.Taken(), Traffic{}) << "nothing sent";
        }));
      RunScript(w, nullptr, steps, ends);
      EXPECT_FALSE(w.Win().IsOpen());
      EXPECT_LT(w.Engine().portState.PortHandle, 0);
    }
    EXPECT_EQ(ranOn, !ends);
    std::vector<Seen> seen{{"beep", {}, {}}, {"cMessage", "Potvrzení operace", kExitQuestion}};
    if (!c.connected) seen.insert(seen.begin(), desk_->seen.front());
    EXPECT_EQ(desk_->seen, seen);
    if (ends) {
      EXPECT_EQ(taken_, c.connected ? Join({kAmpOff, Zones('r')}) : Traffic{});
      // The port is closed: the device is free for another program.
      const int fd = ::open(sim_.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
      ASSERT_GE(fd, 0);
      EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0) << "the program still holds the device";
      ::close(fd);
    }
  }
}

// ---- What a command returns, and the looks of its boxes ----

// The main window noting what its handler of each accepted control returned.
class AcceptedResults : public MainWindow {
 public:
  using MainWindow::MainWindow;
  std::vector<std::pair<std::string, int>> results;
  int OnControlAccepted() override {
    const pu::Control* c = Win().At(Win().Accepted());
    const std::string label = c != nullptr ? c->Label() : std::string();
    const int r = MainWindow::OnControlAccepted();
    results.emplace_back(label, r);
    return r;
  }
};

// A box as the operator sees it: its icon; for a question also its buttons
// (image and caption, the first pair first) and whether they are flat.
std::string BoxLooks(pu::Window& box) {
  std::string s = box.Icon();
  for (const char* b : {"?BUTTON2", "?BUTTON1"})
    if (const pu::Control* c = box.Find(b)) {
      s += " " + c->Image() + ":" + c->Text();
      if (std::string(b) == "?BUTTON1") s += c->Flat() ? " flat" : " raised";
    }
  return s;
}

TEST_F(MainCommands, ACommandThatStopsConsumesTheEventAndItsBoxesCarryTheirIconsAndButtons) {
  ::setenv("VELORN_COM2", dir_.file("no-such-tty").c_str(), 1);
  const std::string wav = Wav();
  const auto file = [wav](platform::StdTime length, bool outputs) {
    return [=](MainWindow& w) {
      if (outputs) Choose19(w);
      w.Engine().schedulerState.GLO_FILE2PLAY = wav;
      w.Engine().schedulerState.GLO_FILELENGHT = length;
    };
  };
  const std::string exitBox = "warning2.ico storno.gif:Ne ok.gif:Ano flat";
  using Results = std::vector<std::pair<std::string, int>>;
  constexpr int kStopped = pu::kConsumed;
  constexpr int kWentOn = 0;
  struct Case {
    const char* what;
    char console;
    std::function<void(MainWindow&)> before;
    std::vector<Step> steps;
    std::vector<std::string> answers;
    bool closes;
    Results results;
    std::vector<std::string> boxes;
  };
  const Case cases[] = {
      {"exit, Ne", '0', nullptr, {Press(kMain, "?BUTTON_KONEC")}, {"?BUTTON2"}, false,
       {{"?BUTTON_KONEC", kStopped}}, {exitBox}},
      {"exit, the box closed", '0', nullptr, {Press(kMain, "?BUTTON_KONEC")}, {"close"}, false,
       {{"?BUTTON_KONEC", kStopped}}, {exitBox}},
      {"exit, Ano", '0', nullptr, {Press(kMain, "?BUTTON_KONEC")}, {"?BUTTON1"}, true,
       {{"?BUTTON_KONEC", kWentOn}}, {exitBox}},
      {"live from the tab without outputs", '0', nullptr, {Press(kMain, "?BUTTON51")}, {}, false,
       {{"?BUTTON51", kStopped}}, {"stop.ico"}},
      {"live from the tab, started and stopped", '0', Choose19,
       {Press(kMain, "?BUTTON51"), Press(kMain, "?BUTTON51")}, {}, false,
       {{"?BUTTON51", kWentOn}, {"?BUTTON51", kWentOn}}, {}},
      {"file from the tab, missing", '0',
       [](MainWindow& w) {
         Choose19(w);
         w.Engine().schedulerState.GLO_FILE2PLAY = "/nikde/neni.wav";
         w.Engine().schedulerState.GLO_FILELENGHT = kSecond;
       },
       {Press(kMain, "?BUTTON51:2")}, {}, false, {{"?BUTTON51:2", kStopped}}, {"stop.ico"}},
      {"file from the tab without a length", '0', file(0, true), {Press(kMain, "?BUTTON51:2")}, {}, false,
       {{"?BUTTON51:2", kStopped}}, {"stop.ico"}},
      {"file from the tab without outputs, Zpět", '0', file(kSecond, false), {Press(kMain, "?BUTTON51:2")},
       {"?BUTTON2"}, false, {{"?BUTTON51:2", kStopped}}, {"warning2.ico storno.gif:Zpět ok.gif:OK flat"}},
      {"playback dialog cancelled", '0', nullptr,
       {Press(kMain, "?BUTTON_PREHRAJ"), Press(kPlaybackProcedure, "?CANCEL")}, {}, false,
       {{"?BUTTON_PREHRAJ", kStopped}}, {}},
      {"live announcement, the outputs' dialog cancelled", '2', nullptr,
       {Press(kMain, "?BUTTON_ZAPNI"), Press(kLiveProcedure, "?CANCEL")}, {}, false,
       {{"?BUTTON_ZAPNI", kStopped}}, {}},
      {"live announcement, the wait given up", '0', nullptr,
       {Press(kMain, "?BUTTON_ZAPNI"), Ticks(kMicWaitProcedure, 2), Press(kMicWaitProcedure, "?STORNO")}, {},
       false, {{"?BUTTON_ZAPNI", kStopped}}, {}},
      {"restart on the same port", '0', nullptr, {Press(kMain, "?RESTART_COM")}, {}, false,
       {{"?RESTART_COM", kWentOn}}, {"inform.ico"}},
      // Last: the port chosen stays in Settings.tps.
      {"an output button and the filter", '0', nullptr,
       {Press(kMain, "?BUTTON20:1"), Press(kMain, "?FILTR_ZOBRAZENI")}, {}, false,
       {{"?BUTTON20:1", kWentOn}, {"?FILTR_ZOBRAZENI", kWentOn}}, {}},
      {"a port chosen, the restart on it finds no device", '0', nullptr,
       {Then(kMain, [](pu::Window& win) { win.Choose("?COM:PORT", 2); }), Press(kMain, "?RESTART_COM")}, {}, false,
       {{"?COM:PORT", kWentOn}, {"?RESTART_COM", kStopped}}, {"inform.ico", "stop.ico"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim_.SetConsoleState('0');
    desk_->seen.clear();
    desk_->answers = c.answers;
    std::vector<std::string> boxes;
    desk_->onBox = [&boxes](pu::Window& box) { boxes.push_back(BoxLooks(box)); };
    {
      AcceptedResults w(console_.Ops());
      RunScript(
          w,
          [&](MainWindow& m) {
            sim_.SetConsoleState(c.console);
            if (c.before) c.before(m);
          },
          c.steps, c.closes);
      EXPECT_EQ(w.results, c.results);
    }
    desk_->onBox = nullptr;
    EXPECT_EQ(boxes, c.boxes);
  }
}

// ---- The port and the amplifier delay ----

// The settings record as Settings.tps holds it.
data::SettingsRecord SavedSettings() {
  platform::rec::File<data::SettingsRecord> f(data::SettingsDecl());
  EXPECT_EQ(f.Open(), 0);
  f.SetFileOrder();
  EXPECT_EQ(f.Next(), 0);
  return f.rec;
}

TEST_F(MainCommands, APortIsSavedAndUsedFromTheRestartAndADelayAtOnce) {
  devsim::DeviceSimulator second;
  ASSERT_TRUE(second.Start());
  ::setenv("VELORN_COM2", second.SlavePath().c_str(), 1);
  // Bytes written to each device since its last look (the first port
  // opened, then the second).
  size_t unseen[2] = {0, 0};
  int opened = 0;
  // The commands a device took since the last look, besides the ticks'
  // status queries, once it has taken every byte written to it.
  const auto took = [&](devsim::DeviceSimulator& d) {
    size_t& n = unseen[&d == &sim_ ? 0 : 1];
    EXPECT_TRUE(d.WaitForBytes(n, 5s));
    Traffic t;
    for (const auto& c : d.Commands())
      if (c.text != devsim::kStatusQuery) t.push_back(c.text);
    d.ClearCommands();
    n = 0;
    return t;
  };
  // The baud changes: the mode and whether it applied.
  std::vector<std::string> modes;
  app::engine::PortOps ops = app::engine::LibraryPort();
  ops.open = [&, open = ops.open](const std::string& mode) {
    const int32_t h = open(mode);
    if (h >= 0) ++opened;
    return h;
  };
  ops.write = [&, write = ops.write](int32_t h, const std::string& text) {
    const int32_t n = write(h, text);
    if (n > 0) unseen[opened - 1] += static_cast<size_t>(n);
    return n;
  };
  ops.reset = [&modes, reset = ops.reset](const std::string& mode) {
    const int32_t r = reset(mode);
    modes.push_back(mode + (r == 1 ? "" : " refused"));
    return r;
  };
  MainWindow w(std::move(ops));
  const platform::StdTime delay = platform::TimeFromHms(0, 0, 3);
  std::chrono::nanoseconds waited{};
  desk_->Play({Ticks(kMain, 1), Do(kMain, [&](pu::Window&) { (void)took(sim_); }),
               Then(kMain, [](pu::Window& win) { win.Choose("?COM:PORT", 2); }),
               Do(kMain,
                  [&](pu::Window&) {
                    EXPECT_EQ(SavedSettings().PORT, "COM2");
                    ASSERT_EQ(desk_->seen.size(), 1u);
                    EXPECT_EQ(desk_->seen[0].title, "Změna nastavení");
                    EXPECT_EQ(desk_->seen[0].text,
                              "Změnili jste nastavení komunikačního portu.\r\n\r\nProvedené změny byly "
                              "uloženy.\r\nAby se změny projevily, je nutné restartovat komunikaci.");
                    modes.clear();
                    w.Engine().protocol.LampCommand(app::engine::kOnAirLampOn, w.Engine().console);
                    EXPECT_EQ(took(sim_), Traffic{"(0504100111)"}) << "still on the first terminal";
                    EXPECT_EQ(modes, (std::vector<std::string>{"COM1:19200,n,8,1", "COM1:9600,n,8,1"}))
                        << "at the console's rate";
                  }),
               Then(kMain, [&](pu::Window& win) { win.Enter("?GLO:AMP_DELAY", "00:00:03"); }),
               Do(kMain,
                  [&](pu::Window&) {
                    EXPECT_EQ(SavedSettings().AMP_DELAY, delay);
                    EXPECT_EQ(desk_->seen.size(), 1u) << "no message on success";
                    const auto before = clock_.Slept();
                    w.Engine().protocol.MainRelayOn();
                    waited = clock_.Slept() - before;
                    EXPECT_EQ(took(sim_), Traffic{"s64\r"});
                  }),
               Press(kMain, "?RESTART_COM"),
               Do(kMain, [&](pu::Window&) {
                 ASSERT_EQ(desk_->seen.size(), 2u);
                 EXPECT_EQ(desk_->seen[1].title, "Hotovo");
                 EXPECT_EQ(desk_->seen[1].text,
                           "Komunikace úspěšně restartována !\r\n\r\nProgram nyní komunikuje na portu "
                           "COM2.\r\nStiskněte OK pro pokračování.");
                 EXPECT_EQ(took(second), Traffic{"q\r"}) << "greeted; a reconnection sets no relay";
                 modes.clear();
                 w.Engine().protocol.LampCommand(app::engine::kOnAirLampOn, w.Engine().console);
                 EXPECT_EQ(took(second), Traffic{"(0504100111)"});
                 EXPECT_EQ(modes, (std::vector<std::string>{"COM2:19200,n,8,1", "COM2:9600,n,8,1"}));
                 EXPECT_EQ(took(sim_), Traffic{}) << "the first terminal hears nothing more";
                 EXPECT_EQ(w.Engine().schedulerState.KOMUNIKACE, "Připojeno");
               })});
  w.Run();
  EXPECT_TRUE(desk_->Done());
  EXPECT_GE(waited, std::chrono::milliseconds(10 * delay)) << "the next amplifier waits the new delay";
}

TEST_F(MainCommands, AnAbsentDeviceAtTheRestartLeavesTheProgramUnconnected) {
  ::setenv("VELORN_COM2", dir_.file("no-such-tty").c_str(), 1);
  MainWindow w(console_.Ops());
  RunScript(w, nullptr,
            {Then(kMain, [](pu::Window& win) { win.Choose("?COM:PORT", 2); }), Press(kMain, "?RESTART_COM"),
             Do(kMain, [&](pu::Window& win) {
               ASSERT_EQ(desk_->seen.size(), 2u);
               EXPECT_EQ(desk_->seen[1].title, "Chyba připojení");
               EXPECT_LT(w.Engine().portState.PortHandle, 0);
               EXPECT_EQ(win["?KOMUNIKACE"].Text(), "Nepřipojeno !");
               EXPECT_FALSE(win["?BUTTON_PREHRAJ"].Enabled());
               EXPECT_FALSE(win["?BUTTON_ZAPNI"].Enabled());
             })});
}

TEST_F(MainCommands, ASettingsFileHeldByAnotherProgramKeepsTheNewValueForTheRun) {
  platform::rec::SetLockRecoveryUnit(20ms);  // the files wait for a lock ten units
  MainWindow w(console_.Ops());
  std::unique_ptr<Child> holder;
  RunScript(w, nullptr,
            {Do(kMain,
                [&](pu::Window&) {
                  holder = std::make_unique<Child>(std::string(VELORN_TOOLS_DIR) + "/velorn_lockholder",
                                                   std::vector<std::string>{"record", "Settings.tps"});
                  ASSERT_TRUE(holder->WaitForOutput("held", 10s)) << holder->err();
                }),
             Then(kMain, [](pu::Window& win) { win.Enter("?GLO:AMP_DELAY", "00:00:04"); }),
             Do(kMain, [&](pu::Window&) {
               ASSERT_EQ(desk_->seen.size(), 2u);
               EXPECT_EQ(desk_->seen[0].kind, "box") << "the error reporter";
               EXPECT_EQ(desk_->seen[1].title, "Chyba č.5");
               EXPECT_EQ(desk_->seen[1].text.rfind(
                             "Při čtení nebo zápisu do databáze Settings.tps vznikla chyba č.: 0x05 !\r\n-> ", 0),
                         0u)
                   << desk_->seen[1].text;
               EXPECT_EQ(w.Engine().portState.GLO_AMP_DELAY, platform::TimeFromHms(0, 0, 4));
               holder->CloseStdin();
               EXPECT_EQ(holder->Wait(10s), 0);
               EXPECT_EQ(SavedSettings().AMP_DELAY, 0);
             })});
  platform::rec::SetLockRecoveryUnit(1000ms);
}

// The main window noting each accepted control before its commands run,
// and the PRESET record its ?PRE:NAZEV finds current ("ID NAZEV").
class AcceptedControls : public MainWindow {
 public:
  using MainWindow::MainWindow;
  std::vector<std::string> accepted;
  std::vector<std::string> presets;
  int OnControlAccepted() override {
    if (const pu::Control* c = Win().At(Win().Accepted())) {
      accepted.push_back(c->Label());
      if (c->Label() == "?PRE:NAZEV") {
        const data::PresetRecord& p = data::Files().PRESET.rec;
        presets.push_back(std::to_string(p.ID) + " " + std::string(platform::text::TrimRight(p.NAZEV)));
      }
    }
    return MainWindow::OnControlAccepted();
  }
};

// ---- The outputs ----

TEST_F(MainCommands, OutputButtonsPresetsAndTheDialogsKeepTheColoursOnTheChoice) {
  std::vector<std::string> names = Names(12);
  names[11] = "";  // output 12 has no name
  // Drop-list rows in PRE:ID order.
  FillFiles(names, {{"Sever", {"01", "01", "00", "00", "00"}},    // 4, and 12 (no name)
                    {"Vše", {"FF", "00", "00", "00", "FF"}},      // 1 .. 8, and 33 .. 40 (no button)
                    {"Jen bez jména", {"00", "01", "00", "00", "00"}}});  // 12 only
  AcceptedControls w(console_.Ops());
  sim_.SetConsoleState('2');  // the MIC switch on for the live announcement
  auto& chosen = w.Engine().schedulerState.OutputSelected;
  const auto colours = [&](pu::Window& win) {
    std::vector<int> red;
    for (int k = 1; k <= kOutputButtons; ++k) {
      const int32_t c = win[OutputButton(k)].Color();
      EXPECT_TRUE(c == kRed || c == pu::kNormalColor) << k;
      EXPECT_EQ(c == kRed, chosen[static_cast<size_t>(k)] == 1) << "output " << k;
      if (c == kRed) red.push_back(k);
    }
    return red;
  };
  // The operator chooses the drop list's row; then the choice, its colours,
  // the buffer cleared and the drop list showing no preset.
  const auto choose = [&](int row, std::vector<int> expected) {
    return std::vector<Step>{Then(kMain, [row](pu::Window& win) { win.Choose("?PRE:NAZEV", row); }),
                             Do(kMain, [&, row, expected](pu::Window& win) {
                               SCOPED_TRACE("preset " + std::to_string(row));
                               EXPECT_EQ(colours(win), expected);
                               for (size_t k = 33; k <= 40; ++k) EXPECT_EQ(chosen[k], 0) << k;
                               EXPECT_EQ(data::Files().PRESET.rec.ID, 0) << "the buffer cleared";
                               EXPECT_EQ(data::Files().PRESET.rec.NAZEV, "");
                               EXPECT_EQ(win["?PRE:NAZEV"].Choice(), 0) << "the drop list shows no preset";
                             })};
  };
  RunScript(
      w, nullptr,
      JoinSteps({{Press(kMain, "?BUTTON20:3"), Press(kMain, "?BUTTON20:9"), Press(kMain, "?BUTTON20:3"),
       Do(kMain,
          [&](pu::Window& win) {
            EXPECT_EQ(colours(win), std::vector<int>{9});
            EXPECT_EQ(console_.Taken(), Traffic{}) << "a button switches no relay";
          })},
       // The presets chosen in the drop list: each drops the earlier choice
       // and never chooses an output without a name (12) or without a
       // button (33 .. 40). "Sever" from 9: output 4 only.
       choose(1, {4}), choose(2, {1, 2, 3, 4, 5, 6, 7, 8}), choose(3, {}), choose(1, {4}),
       {Do(kMain,
          [&](pu::Window&) {
            EXPECT_EQ(w.presets, (std::vector<std::string>{"1 Sever", "2 Vše", "3 Jen bez jména", "1 Sever"}))
                << "the command found the chosen preset current";
            EXPECT_EQ(console_.Taken(), Traffic{}) << "a preset switches no relay";
          }),
       // The dialogs' changes show on the tab, also when cancelled.
       Press(kMain, "?BUTTON_PREHRAJ"), Press(kPlaybackProcedure, "?BUTTON_2"),
       Press(kPlaybackProcedure, "?CANCEL"),
       Do(kMain, [&](pu::Window& win) { EXPECT_EQ(colours(win), (std::vector<int>{2, 4})); }),
       Press(kMain, "?BUTTON_ZAPNI"), Press(kLiveProcedure, "?BUTTON_4"), Press(kLiveProcedure, "?BUTTON_7"),
       Press(kLiveProcedure, "?CANCEL"),
       Do(kMain, [&](pu::Window& win) { EXPECT_EQ(colours(win), (std::vector<int>{2, 7})); })}}));
}

// What the playback dialog leaves in the file and the length shows on the
// "Hlášení" tab, and the tab's "Přehrát soubor" plays what it shows.
TEST_F(MainCommands, TheTabShowsTheFileAndLengthTheDialogLeftAndPlaysThem) {
  const std::string wav = Wav();
  TickingMain w(console_.Ops());
  std::vector<std::string> played;
  syslib::SetSoundLoadHook([&](const std::string& f) { played.push_back(f); });
  const auto& s = w.Engine().schedulerState;
  struct Shown {
    std::string file, length;
    bool operator==(const Shown&) const = default;
  };
  std::vector<Shown> shown;
  const auto note = [&](pu::Window& win) {
    shown.push_back({win["?GLO:FILE2PLAY"].Text(), win["?GLO:FILELENGHT"].Text()});
    EXPECT_EQ(shown.back().file, s.GLO_FILE2PLAY);
    EXPECT_EQ(shown.back().length, pu::FormatPicture("@t4", pu::Value(int64_t{s.GLO_FILELENGHT})));
  };
  platform::StdTime lasts = 0;
  RunScript(w, nullptr,
            {Do(kMain, note),
             // Cancelled: the edits stay, and show.
             Press(kMain, "?BUTTON_PREHRAJ"),
             Then(kPlaybackProcedure, [](pu::Window& d) { d.Enter("?GLO:FILELENGHT", "00:00:05"); }),
             Press(kPlaybackProcedure, "?CANCEL"), Do(kMain, note),
             // Confirmed.
             Press(kMain, "?BUTTON_PREHRAJ"),
             Then(kPlaybackProcedure, [&](pu::Window& d) { d.Enter("?GLO:FILE2PLAY", wav); }),
             Then(kPlaybackProcedure, [](pu::Window& d) { d.Enter("?GLO:FILELENGHT", "00:00:03"); }),
             Press(kPlaybackProcedure, "?BUTTON_1"), Press(kPlaybackProcedure, "?OK"), Do(kMain, note),
             While(kMain, [&] { return s.ManualPlaybackRequested == 1; }, 40),
             // The tab's own playback: what the tab shows, as long as it
             // shows (its end set after the lamps' and relays' traffic).
             // The player has done with the first sound first, so that the
             // second is not taken for a replacement of it.
             Do(kMain,
                [&](pu::Window&) {
                  EXPECT_TRUE(syslib::WaitSoundIdle(5s));
                  lasts = platform::GetClock().ClockTime();
                }),
             Press(kMain, "?BUTTON51:2"),
             Do(kMain, [&](pu::Window&) { lasts = s.PlaybackEndTime - lasts; }),
             While(kMain, [&] { return s.ManualPlaybackRequested == 1; }, 40)});
  ASSERT_TRUE(syslib::WaitSoundIdle(5s));
  syslib::SetSoundLoadHook(nullptr);
  EXPECT_EQ(shown, (std::vector<Shown>{{"", "00:00:10"}, {"", "00:00:05"}, {wav, "00:00:03"}}));
  EXPECT_EQ(played, (std::vector<std::string>{wav, wav}));
  // Its 3 s after the lamps' and relays' traffic (which waits for the
  // device), not the 10 s the tab showed before.
  EXPECT_GE(lasts, 3 * kSecond);
  EXPECT_LT(lasts, 10 * kSecond);
}

// ---- The task list's commands and the file picker ----

constexpr int kDescriptionColumn = 5;  // "Popis úlohy"

std::vector<std::string> TaskRows(MainWindow& w) {
  std::vector<std::string> rows;
  TaskList& list = w.Lists().Tasks();
  for (int r = 1; r <= list.Rows(); ++r) rows.push_back(list.Cell(r, kDescriptionColumn));
  return rows;
}

TEST_F(MainCommands, TheActiveOnlyCheckBoxFiltersTheTaskRowsOnAndOff) {
  AddTask({"ranní", platform::TimeFromHms(8, 0, 0)});
  AddTask({"vypnutá", platform::TimeFromHms(9, 0, 0), 0});
  AddTask({"večerní", platform::TimeFromHms(20, 0, 0)});
  using Rows = std::vector<std::string>;
  const Rows every{"ranní", "vypnutá", "večerní"};
  const Rows active{"ranní", "večerní"};
  MainWindow w(console_.Ops());
  const auto check = [&](uint8_t on, Rows rows) {
    return Do(kMain, [&w, on, rows](pu::Window& win) {
      EXPECT_EQ(w.Locals().ShowActiveOnly, on);
      EXPECT_EQ(win["?FILTR_ZOBRAZENI"].Checked(), on == 1);
      EXPECT_EQ(TaskRows(w), rows);
    });
  };
  RunScript(w, nullptr,
            {check(0, every), Press(kMain, "?FILTR_ZOBRAZENI"), check(1, active), Press(kMain, "?FILTR_ZOBRAZENI"),
             check(0, every)});
}

TEST_F(MainCommands, CopyOpensTheEditorOnTheSelectedTaskAndAddsANewTaskOnlyWhenConfirmed) {
  AddTask({"ranní", platform::TimeFromHms(8, 0, 0)});
  const int32_t source = AddTask({"Zvonění", platform::TimeFromHms(12, 0, 0), 1, 0, "7F",
                                  platform::DateFromYmd(2026, 2, 23), 5, platform::TimeFromHms(0, 5, 0)});
  const data::TasksRecord original = StoredTasks().back();
  struct Case {
    const char* what;
    bool popup;         // the list's popup item, else the button
    const char* close;  // the editor's button
    bool added;
  };
  const Case cases[] = {{"the button, confirmed", false, "?OK", true},
                        {"the button, cancelled", false, "?CANCEL", false},
                        {"the popup item, confirmed", true, "?OK", true},
                        {"the popup item, cancelled", true, "?CANCEL", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<data::TasksRecord> before = StoredTasks();
    desk_->answers = {"?BUTTON1"};  // the editor's question on a task without outputs: "OK"
    AcceptedControls w(console_.Ops());
    const auto list = [&w]() -> TaskList& { return w.Lists().Tasks(); };  // once the window runs
    RunScript(
        w, nullptr,
        {// The source plays last in the day: the last row.
         Then(kMain, [&](pu::Window& win) { win.Choose("?LIST", list().Rows()); }),
         Then(kMain,
              [&](pu::Window& win) {
                ASSERT_EQ(list().Selected(), list().Rows());
                ASSERT_EQ(list().Cell(list().Selected(), kDescriptionColumn), "Zvonění");
                // The buffer holds another task, as a form or a scan may leave it.
                data::Files().TASKS.rec.NAZEV = "jiná";
                if (c.popup)
                  list().ChoosePopup(1);
                else
                  win.Press("?COPY");
              }),
         Then("Editace_uloh",
              [&](pu::Window& form) {
                EXPECT_EQ(form.Text(), "Přidání úlohy");
                const data::TasksRecord& t = data::Files().TASKS.rec;
                EXPECT_EQ(t.ID, before.back().ID + 1) << "the next number";
                EXPECT_EQ(form["?TAS:NAZEV"].Text(), "Zvonění");
                EXPECT_EQ(t.PREHRAT, original.PREHRAT);
                EXPECT_EQ(t.DELKA_SOUBORU, original.DELKA_SOUBORU);
                form.Press(c.close);
              }),
         Do(kMain, [&](pu::Window&) {
           EXPECT_EQ(CopyTaskPending, 0);
           EXPECT_EQ(w.Locals().CopyKeepsRecord, 0);
           EXPECT_EQ(w.accepted, (std::vector<std::string>{"?COPY", "?INSERT"}));
           EXPECT_EQ(list().Rows(), static_cast<int>(before.size() + (c.added ? 1 : 0)));
         })});
    const std::vector<data::TasksRecord> after = StoredTasks();
    ASSERT_EQ(after.size(), before.size() + (c.added ? 1 : 0));
    EXPECT_EQ(after[1].ID, source);
    EXPECT_EQ(after[1].NAZEV, original.NAZEV) << "the source stays";
    EXPECT_EQ(after[1].OPAKOVANI_POCET, original.OPAKOVANI_POCET);
    if (!c.added) continue;
    const data::TasksRecord& copy = after.back();
    EXPECT_EQ(copy.ID, before.back().ID + 1);
    EXPECT_EQ(copy.NAZEV, original.NAZEV);
    EXPECT_EQ(copy.PREHRAT, original.PREHRAT);
    EXPECT_EQ(copy.DELKA_SOUBORU, original.DELKA_SOUBORU);
  }
}

TEST_F(MainCommands, LookupFileTakesThePickedPathEmptyWhenCancelledAndKeepsTheFolder) {
  const std::string longPath = "/tmp/" + std::string(300, 'a') + ".wav";
  struct Case {
    const char* what;
    std::string picked;
    std::string field;  // GLO:FILE2PLAY afterwards
    size_t boxes;
  };
  const std::string before = "/puvodni.wav";
  const Case cases[] = {{"picked", Wav(), Wav(), 0},
                        {"cancelled", "", "", 0},
                        {"a path the field cannot hold", longPath, before, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<platform::FileDialogRequest> asked;
    platform::SetFileDialogView([&](const platform::FileDialogRequest& r) {
      asked.push_back(r);
      return c.picked;
    });
    desk_->seen.clear();
    MainWindow w(console_.Ops());
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    RunScript(w, [&](MainWindow& m) { m.Engine().schedulerState.GLO_FILE2PLAY = before; },
              {Press(kMain, "?LOOKUPFILE"), Do(kMain, [&](pu::Window& win) {
                 EXPECT_EQ(w.Engine().schedulerState.GLO_FILE2PLAY, c.field);
                 EXPECT_EQ(win["?GLO:FILE2PLAY"].Text(), c.field);
                 ASSERT_EQ(desk_->seen.size(), c.boxes);
                 if (c.boxes == 1) {
                   EXPECT_EQ(desk_->seen[0].text, kFileRefusedText);
                 }
               })});
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].title, "Otevřít soubor");
    EXPECT_EQ(asked[0].filterName, "soubory WAV");
    EXPECT_EQ(asked[0].filterPattern, "*.WAV");
    char after[4096];
    ASSERT_NE(::getcwd(after, sizeof after), nullptr);
    EXPECT_STREQ(after, cwd);
  }
}

// ---- The desktop's programs ----

TEST_F(MainCommands, VolumeAndRecorderButtonsStartTheDesktopsProgramsWithoutThePort) {
  FakePrograms fakes;
  ScopedProgramSignals signals;
  MainWindow w(console_.Ops());
  std::vector<ProbeReport> started;
  const auto release = [&](pu::Window&) {
    const auto probe = fakes.Release();  // the command returned before the program ended
    ASSERT_TRUE(probe);
    started.push_back(*probe);
  };
  std::optional<ScopedPath> path;
  RunScript(w, [&](MainWindow&) { path.emplace(fakes.bin()); },
            {// Neither found: the box naming the programs.
             Press(kMain, "?BUTTON_VOLUME"),
             Do(kMain,
                [&](pu::Window&) {
                  ASSERT_EQ(desk_->seen.size(), 1u);
                  EXPECT_EQ(desk_->seen[0].title, "Chyba");
                  EXPECT_NE(desk_->seen[0].text.find("pavucontrol, pavucontrol-qt"), std::string::npos);
                  fakes.Add("pavucontrol");
                  fakes.Add("gnome-sound-recorder");
                }),
             Press(kMain, "?BUTTON_VOLUME"), Do(kMain, release), Press(kMain, "?BUTTON_MIX"), Do(kMain, release)});
  path.reset();
  ASSERT_EQ(started.size(), 2u);
  EXPECT_EQ(desk_->seen.size(), 1u);
  const std::vector<std::pair<int, std::string>> devNull = {{0, "/dev/null"}, {1, "/dev/null"}, {2, "/dev/null"}};
  for (size_t i = 0; i < started.size(); ++i) {
    SCOPED_TRACE(started[i].name);
    EXPECT_EQ(started[i].name, i == 0 ? "pavucontrol" : "gnome-sound-recorder");
    EXPECT_EQ(started[i].sigBlk, "0000000000000000");
    auto fds = started[i].fds;
    std::sort(fds.begin(), fds.end());
    EXPECT_EQ(fds, devNull) << "no descriptor of ours: the serial port stays the program's";
  }
  EXPECT_EQ(ZombieChildren(), std::vector<pid_t>{});
}

}  // namespace
}  // namespace app::ui
