// The main window headless (native windows without widgets, so that the
// hook, the session-end subclass and the notification area work on it), in
// an empty folder of its own, on a recording port and a clock that moves on
// only when the engine sleeps or a tick moves it by one period, so that
// every run is a fixed sequence of events.
#include "app/ui/main_window.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/data/debuglog.h"
#include "app/data/records.h"
#include "app/engine/protocol.h"
#include "app/engine/scheduler.h"
#include "app/globals.h"
#include "app/ui/messages.h"
#include "platform/stdtime.h"
#include "platform/text.h"
#include "platform/winproc.h"
#include "service/endsession.h"
#include "syslib/tray.h"
#include "syslib/winhook.h"
#include "tests/app/form_operator.h"
#include "tests/engine/recording_port.h"
#include "tests/support/fake_clock.h"
#include "tests/support/icon_file.h"
#include "tests/support/loop_guard.h"
#include "tests/support/recording_shell.h"
#include "tests/support/tempdir.h"

namespace {

using namespace std::chrono_literals;
using namespace app::engine;
namespace pu = platform::ui;
namespace ui = app::ui;
using testsupport::AllRelays;

const platform::StdDate kDay = platform::DateFromYmd(2026, 3, 2);
const platform::StdTime kNine = platform::TimeFromHms(9, 0, 0);
constexpr int kUserEvent = pu::EVENT::User + 11;

// The main window with a script: `step` sees each window and program event
// after the window's own handling. Every tick moves the clock on by one
// period (unless `advance` is off), so the next tick follows at once.
class Probe : public ui::MainWindow {
 public:
  Probe(testsupport::FakeClock& clock, app::engine::PortOps ops) : MainWindow(std::move(ops)), clock_(clock) {}
  std::function<void(Probe&, int event)> step;
  bool advance = true;
  int ticks = 0;
  std::vector<int> scanTicks;  // the ticks that scanned the task file

  int OnWindowEvent() override {
    const int e = Win().EventNumber();
    const int32_t before = Engine().schedulerState.GLO_TIMEOUT;
    const int r = MainWindow::OnWindowEvent();
    if (e == pu::EVENT::Timer) {
      ++ticks;
      if (before + 50 >= kScanPeriod && Engine().schedulerState.GLO_TIMEOUT == 0) scanTicks.push_back(ticks);
    }
    // A step that stopped at an ASSERT before it closed the window, or a
    // script that never closes it, ends here instead of ticking for ever.
    if (step && !guard_.Ends(e == pu::EVENT::Timer)) {
      step(*this, e);
      guard_.Ends(false);
    }
    // The first tick is due one period after the open event, which comes
    // just before the icon's event.
    if (advance && (e == pu::EVENT::Timer || e == ui::TrayLoadIconEvent)) clock_.Advance(250ms);
    return r;
  }
  void CloseDown() { Win().Post(pu::EVENT::CloseDown); }
  pu::Control& operator[](std::string_view label) { return Win()[label]; }

 private:
  testsupport::FakeClock& clock_;
  testsupport::LoopGuard guard_{1000, "the main window"};
};

// The relay commands ("q", "s..", "r..") among a port's writes.
size_t RelayCommands(const testsupport::RecordingPort& port) {
  size_t n = 0;
  for (const auto& w : port.writes) n += !w.text.empty() && (w.text[0] == 'q' || w.text[0] == 's' || w.text[0] == 'r');
  return n;
}

// Native windows without widgets; notes the head of a window's procedure
// chain as the window goes.
class WatchingView final : public pu::NativeHeadlessView {
 public:
  pu::WNDPROC headAtClose = nullptr;
  void DestroyNative(pu::Window& w) override {
    headAtClose = pu::GetWindowProc(pu::FrameHandle(w));
    NativeHeadlessView::DestroyNative(w);
  }
};

// Native windows without widgets and an operator at the boxes: while a box
// waits, `atBox` runs, then the box's OK is pressed.
class BoxOperatorView final : public pu::NativeHeadlessView {
 public:
  std::function<void()> atBox;
  bool Interactive() const override { return true; }
  void Pump(pu::EventQueue& q, uint64_t seen, std::optional<pu::TimePoint> deadline) override {
    pu::DispatchNativeMessages();
    pu::Window& top = *pu::ThreadWindows().back();
    if (top.Find("?UZIVATELSKY_TEXT") == nullptr) return NativeHeadlessView::Pump(q, seen, deadline);
    if (atBox) atBox();
    top.Press("?BUTTON_OK");
  }
};

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pu::SetThreadView(&view_);
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    app::data::AttachThreadFiles();
    app::GCU = 0;
    app::data::DebugEnabled = 0;
    app::CaptionText = " vELORN v. 1.0";
    // The notification icon's picture, read from the working folder.
    testsupport::WriteFile(dir_.file("velorn.ico"), testsupport::IconFile());
  }
  void TearDown() override {
    pu::SetThreadView(nullptr);
    app::data::DebugEnabled = 0;
    app::data::ReleaseDataFiles();
    app::data::DetachThreadFiles();
  }

  // Runs a main window until its script closes it down.
  void Run(Probe& p) { p.Run(); }
  // Runs f on a thread of its own: its own record files, loaded pictures
  // and shell, the test's view.
  template <class F>
  void OnOwnThread(F f) {
    std::thread t([&] {
      pu::SetThreadView(&view_);
      app::data::AttachThreadFiles();
      f();
      app::data::ReleaseDataFiles();
      app::data::DetachThreadFiles();
    });
    t.join();
  }

  WatchingView view_;
  testsupport::TempDir dir_{true};
  testsupport::FakeClock clock_{kDay, kNine};
  testsupport::ClockGuard guard_{&clock_};
  testsupport::RecordingPort port_;
};

TEST_F(MainWindowTest, AnEmptyFolderGetsTheSettingsRecordAndTheWindowItsOpeningState) {
  Probe p(clock_, port_.Ops());
  p.Engine().schedulerState.GLO_FILELENGHT = platform::TimeFromHms(0, 5, 0);  // before the opening
  bool checked = false;
  p.step = [&](Probe& w, int e) {
    if (e != ui::TrayLoadIconEvent) return;
    EXPECT_EQ(w.Engine().portState.COM_PORT, "COM1");
    EXPECT_EQ(w.Engine().portState.GLO_AMP_DELAY, 0);
    EXPECT_EQ(app::GCU, 1);
    EXPECT_EQ(w.Win().Text(), " vELORN v. 1.0");
    EXPECT_EQ(w.Win().Icon(), "velorn.ico");
    EXPECT_EQ(w.Win().Timer(), 25);
    EXPECT_TRUE(w.Win().HasAlert(ui::kKeyCtrlS) && w.Win().HasAlert(ui::kKeyCtrlQ));
    EXPECT_EQ(w["?BUTTON51"].Text(), "Začít hlášení");
    EXPECT_EQ(w.Engine().schedulerState.GLO_FILELENGHT, platform::TimeFromHms(0, 0, 10));
    EXPECT_EQ(w["?GLO:FILELENGHT"].Text(), "00:00:10");
    EXPECT_EQ(w["?COM:PORT"].Text(), "COM1");
    EXPECT_EQ(w["?GLO:AMP_DELAY"].Text(), "");
    for (const char* hidden : {"?TAB5", "?IMAGE1", "?DEBUG_TEXT", "?GLO:TIMEOUT"})
      EXPECT_TRUE(w[hidden].Hidden()) << hidden;
    EXPECT_FALSE(w["?COPY"].Enabled()) << "the task list has no rows";
    EXPECT_EQ(w["?LIST"].LineHeight(), 10);
    EXPECT_EQ(w["?LIST:2"].LineHeight(), 10);
    // Connected: the greeting, then every output relay set.
    std::vector<std::string> expected{"q\r"};
    for (const auto& s : AllRelays('s')) expected.push_back(s);
    EXPECT_EQ(port_.Texts(), expected);
    checked = true;
    w.CloseDown();
  };
  Run(p);
  EXPECT_TRUE(checked);

  platform::rec::File<app::data::SettingsRecord> f(app::data::SettingsDecl());
  ASSERT_EQ(f.Open(), 0);
  EXPECT_EQ(f.Records(), 1);
  f.SetFileOrder();
  ASSERT_EQ(f.Next(), 0);
  EXPECT_EQ(f.rec.PORT, "COM1");
  EXPECT_EQ(f.rec.AMP_DELAY, 0);
  f.Close();
  for (const char* name : {"Tasks.tps", "Preset.tps", "Outputs.tps", "Settings.tps"})
    EXPECT_FALSE(testsupport::ReadFile(dir_.file(name)).empty()) << name;
}

TEST_F(MainWindowTest, TheSettingsRecordGivesThePortAndTheDelayAndGlobalsComeBackEachStart) {
  {
    platform::rec::File<app::data::SettingsRecord> f(app::data::SettingsDecl());
    ASSERT_EQ(f.Create(), 0);
    ASSERT_EQ(f.Open(), 0);
    f.ClearBuffer();
    f.PrimeAutoNumber();
    f.rec.PORT = "COM3";
    f.rec.AMP_DELAY = platform::TimeFromHms(0, 0, 2);
    ASSERT_EQ(f.Add(), 0);
  }
  for (int run = 0; run < 2; ++run) {
    Probe p(clock_, port_.Ops());
    p.Engine().schedulerState.GLO_FILELENGHT = platform::TimeFromHms(0, 1, run);
    p.step = [&](Probe& w, int e) {
      if (e != ui::TrayLoadIconEvent) return;
      EXPECT_EQ(w.Engine().portState.COM_PORT, "COM3");
      EXPECT_EQ(port_.opens.back(), "COM3:9600,n,8,1");
      EXPECT_EQ(w["?GLO:AMP_DELAY"].Text(), "00:00:02");
      EXPECT_EQ(w.Engine().schedulerState.GLO_FILELENGHT, platform::TimeFromHms(0, 0, 10)) << run;
      w.CloseDown();
    };
    Run(p);
  }
}

TEST_F(MainWindowTest, OutputButtonsAreNamedFromTheFirstRecordsInNumberOrder) {
  // 45 records, numbers with gaps, written out of order; some names blank.
  {
    platform::rec::File<app::data::OutputsRecord> f(app::data::OutputsDecl());
    ASSERT_EQ(f.Create(), 0);
    ASSERT_EQ(f.Open(), 0);
    for (int i = 45; i >= 1; --i) {
      f.ClearBuffer();
      f.rec.CISLO = i * 3;
      f.rec.NAZEV = i % 7 == 0 ? "" : "Zona " + std::to_string(i);
      ASSERT_EQ(f.Add(), 0);
    }
  }
  Probe p(clock_, port_.Ops());
  auto& chosen = p.Engine().schedulerState.OutputSelected;
  chosen[2] = 1;
  chosen[7] = 1;  // a blank one: red all the same
  chosen[32] = 1;
  chosen[33] = 1;  // no button
  p.step = [&](Probe& w, int e) {
    if (e != ui::TrayLoadIconEvent) return;
    for (int k = 1; k <= ui::kOutputButtons; ++k) {
      pu::Control& b = w[ui::OutputButton(k)];
      const bool blank = k % 7 == 0;
      EXPECT_EQ(b.Text(), blank ? "" : "Zona " + std::to_string(k)) << k;
      EXPECT_EQ(b.Enabled(), !blank) << k;
      EXPECT_EQ(b.Color(), k == 2 || k == 7 || k == 32 ? ui::kRed : pu::kNormalColor) << k;
    }
    EXPECT_EQ(w.Locals().OutputNames[40], "Zona 40");
    w.CloseDown();
  };
  Run(p);
}

TEST_F(MainWindowTest, TheControlsStandInTheirTabsInWindowOrder) {
  Probe p(clock_, port_.Ops());
  p.step = [](Probe& w, int e) {
    if (e == ui::TrayLoadIconEvent) w.CloseDown();
  };
  pu::Window& w = p.Win();
  const struct {
    const char* label;
    const char* parent;
    pu::ControlKind kind;
    const char* text;
  } cases[] = {
      {"?TAB3", "?SHEET1", pu::ControlKind::Tab, "Hlavní panel"},
      {"?TAB1", "?SHEET1", pu::ControlKind::Tab, "Naplánované úlohy"},
      {"?TAB2", "?SHEET1", pu::ControlKind::Tab, "Nastavení"},
      {"?TAB4", "?SHEET1", pu::ControlKind::Tab, "Hlášení"},
      {"?TAB5", "?SHEET1", pu::ControlKind::Tab, "Servis"},
      {"?KOMUNIKACE", "?GROUP2", pu::ControlKind::Text, ""},
      {"?BUTTON_KONEC", "?TAB3", pu::ControlKind::Button, "Konec programu"},
      {"?FILTR_ZOBRAZENI", "?TAB1", pu::ControlKind::Check, " Zobrazovat pouze aktivní"},
      {"?COM:PORT", "?GROUP1", pu::ControlKind::DropList, ""},
      {"?STRING1:7", "?GROUP1", pu::ControlKind::Prompt, "1"},
      {"?DELETE:2", "?GROUP3", pu::ControlKind::Button, "&Smaž"},
      {"?STRING12:2", "?TAB2", pu::ControlKind::Prompt, "(hh:mm:ss)"},
      {"?INFO_TEXT:2", "?GROUP4", pu::ControlKind::Text, ""},
      {"?GLO:FILELENGHT", "?GROUP5", pu::ControlKind::Entry, ""},
      {"?STRING41", "?GROUP8", pu::ControlKind::Prompt, "tlacitka <> 0:"},
      {"?STRING14:2", "", pu::ControlKind::Prompt, "- úloha bude automaticky smazána"},
  };
  for (const auto& c : cases) {
    const pu::Control& ctl = w[c.label];
    EXPECT_EQ(ctl.Parent() != nullptr ? ctl.Parent()->Label() : "", c.parent) << c.label;
    EXPECT_EQ(ctl.Kind(), c.kind) << c.label;
    EXPECT_EQ(ctl.Text(), c.text) << c.label;
  }
  // Window order: the output buttons 1..16, 25..32 after ?INFO_TEXT:2, then
  // 17..24 after ?BUTTON51; the legend last.
  EXPECT_EQ(w.Number("?BUTTON20:1"), w.Number("?INFO_TEXT:2") + 1);
  EXPECT_EQ(w.Number("?BUTTON20:25"), w.Number("?BUTTON20:16") + 1);
  EXPECT_EQ(w.Number("?GROUP5"), w.Number("?BUTTON20:32") + 1);
  EXPECT_EQ(w.Number("?BUTTON20:17"), w.Number("?BUTTON51") + 1);
  EXPECT_EQ(w.Number("?TAB5"), w.Number("?BUTTON20:24") + 1);
  EXPECT_EQ(w.Number("?STRING14:2"), w.ControlCount());
  EXPECT_EQ(w["?BOX1"].Color(), ui::kRed);
  EXPECT_EQ(w["?BOX1:2"].Color(), ui::kOrange);
  EXPECT_EQ(w["?INFO_TEXT"].FontColor(), ui::kRed);
  EXPECT_EQ(w["?DEBUG_TEXT"].FontColor(), ui::kGrey);
  EXPECT_EQ(w["?BUTTON_ZAPNI"].Image(), "sound.gif");
  EXPECT_EQ(w["?BUTTON_PREHRAJ"].Tip(), "Přehraje uložené hlášení ze souboru");
  EXPECT_EQ(w["?COM:PORT"].Choices().size(), 8u);
  Run(p);
}

TEST_F(MainWindowTest, DebugShowsTheStepTextAndTheScanCounter) {
  for (const uint8_t debug : {uint8_t{0}, uint8_t{1}}) {
    app::data::DebugEnabled = debug;
    Probe p(clock_, port_.Ops());
    p.step = [&](Probe& w, int e) {
      if (e != ui::TrayLoadIconEvent) return;
      EXPECT_EQ(w["?DEBUG_TEXT"].Hidden(), debug == 0);
      EXPECT_EQ(w["?GLO:TIMEOUT"].Hidden(), debug == 0);
      w.CloseDown();
    };
    Run(p);
  }
}

TEST_F(MainWindowTest, WithoutAPortTheBoxIsShownAndTheWindowStaysNotConnected) {
  port_.present = false;
  Probe p(clock_, port_.Ops());
  p.step = [](Probe& w, int e) {
    if (e != pu::EVENT::Timer) return;
    EXPECT_FALSE(w.Win().Hidden());
    EXPECT_FALSE(w.Win().Iconized());
    EXPECT_EQ(w["?KOMUNIKACE"].Text(), "Nepřipojeno !");
    EXPECT_EQ(w["?KOMUNIKACE"].FontColor(), ui::kRed);
    EXPECT_FALSE(w["?BUTTON_ZAPNI"].Enabled());
    EXPECT_FALSE(w["?BUTTON_PREHRAJ"].Enabled());
    w.CloseDown();
  };
  testing::internal::CaptureStderr();
  Run(p);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Chyba připojení: Nelze se připojit k portu COM1 !"), std::string::npos) << err;
  EXPECT_EQ(RelayCommands(port_), 0u) << "no relay is touched";
}

TEST_F(MainWindowTest, ConnectedTheTickShowsTheStateAndTheClock) {
  Probe p(clock_, port_.Ops());
  p.step = [](Probe& w, int e) {
    if (e != pu::EVENT::Timer) return;
    EXPECT_EQ(w["?KOMUNIKACE"].Text(), "Připojeno");
    EXPECT_EQ(w["?KOMUNIKACE"].FontColor(), 0x8000);
    EXPECT_TRUE(w["?BUTTON_ZAPNI"].Enabled());
    EXPECT_TRUE(w["?BUTTON_PREHRAJ"].Enabled());
    EXPECT_EQ(w["?SYS_TIME"].Text().substr(0, 5), "9:00:");
    EXPECT_EQ(w["?GLO:TIMEOUT"].Text(), "50");
    w.CloseDown();
  };
  Run(p);
  EXPECT_EQ(p.ticks, 1);
}

TEST_F(MainWindowTest, CtrlSShowsTheServiceTabAndCtrlQHidesIt) {
  Probe p(clock_, port_.Ops());
  std::vector<bool> hidden;
  // Ctrl+A is not registered: pressing it gives no event.
  const std::vector<int> keys{ui::kKeyCtrlS, 0x241, ui::kKeyCtrlQ, ui::kKeyCtrlS};
  std::size_t next = 0;
  p.step = [&](Probe& w, int e) {
    if (e != ui::TrayLoadIconEvent && e != pu::EVENT::AlertKey) return;
    hidden.push_back(w["?TAB5"].Hidden());
    for (;;) {
      if (next == keys.size()) return w.CloseDown();
      const int key = keys[next++];
      w.Win().PressKey(key);
      if (w.Win().HasAlert(key)) return;
    }
  };
  Run(p);
  EXPECT_EQ(hidden, (std::vector<bool>{true, false, true, false}));
}

TEST_F(MainWindowTest, ConnectedItLeavesTheScreenOnlyOnceItsIconIsInTheTray) {
  const struct {
    const char* name;
    bool shell, refuseAdd, port, iconFile;
    bool hidden;
  } cases[] = {
      {"icon taken", true, false, true, true, true},
      {"icon refused", true, true, true, true, false},
      {"no tray at all", false, false, true, true, false},
      {"no velorn.ico", true, false, true, false, false},
      {"not connected", true, false, false, true, false},
  };
  for (const auto& c : cases) OnOwnThread([&] {
    port_ = {};
    port_.present = c.port;
    testsupport::WriteFile(dir_.file("velorn.ico"), testsupport::IconFile());
    if (!c.iconFile) std::remove(dir_.file("velorn.ico").c_str());
    std::optional<testsupport::RecordingShell> shell;
    if (c.shell) shell.emplace();
    if (c.refuseAdd) shell->refuse.insert(pu::NIM_ADD);
    Probe p(clock_, port_.Ops());
    bool atOpen = true;
    p.step = [&](Probe& w, int e) {
      if (e == pu::EVENT::OpenWindow) atOpen = w.Win().Hidden();
      if (e != pu::EVENT::Timer) return;
      EXPECT_EQ(w.Win().Hidden(), c.hidden) << c.name;
      EXPECT_EQ(w.Win().Iconized(), c.hidden) << c.name;
      EXPECT_EQ(w.IconInTray(), c.shell && !c.refuseAdd && c.iconFile) << c.name;
      w.CloseDown();
    };
    testing::internal::CaptureStderr();
    Run(p);
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(atOpen) << c.name << ": the open event comes before the icon";
    if (shell && c.iconFile) {
      ASSERT_FALSE(shell->calls.empty()) << c.name;
      const pu::NOTIFYICONDATA& add = shell->calls.front().data;
      EXPECT_EQ(shell->calls.front().message, pu::NIM_ADD) << c.name;
      EXPECT_EQ(add.szTip, " vELORN v. 1.0") << c.name;
      EXPECT_EQ(add.uCallbackMessage, syslib::TaskBarCallBackMsg) << c.name;
      EXPECT_NE(add.hIcon, 0u) << c.name << ": velorn.ico is one of the program's pictures";
      EXPECT_TRUE(shell->icons.empty()) << c.name << ": the close-down removes the icon";
    }
  });
}

TEST_F(MainWindowTest, TheCloseBoxAltF4AndMinimiseHideTheWindowWhileTheTicksGoOn) {
  // Alt+F4 and the close box reach the window alike, as WM_CLOSE.
  const struct {
    const char* name;
    pu::UINT message;
    pu::WPARAM wParam;
    bool icon;
  } cases[] = {
      {"close box", pu::WM_CLOSE, 0, true},
      {"minimise", pu::WM_SYSCOMMAND, pu::SC_MINIMIZE, true},
      {"close box, no icon", pu::WM_CLOSE, 0, false},
      {"minimise, no icon", pu::WM_SYSCOMMAND, pu::SC_MINIMIZE, false},
  };
  for (const auto& c : cases) {
    port_.present = false;  // the window stays on screen at first
    testsupport::RecordingShell shell;
    if (!c.icon) shell.refuse.insert(pu::NIM_ADD);
    Probe p(clock_, port_.Ops());
    int ticksThen = -1;
    p.step = [&](Probe& w, int e) {
      if (e == pu::EVENT::Timer && w.ticks == 1) {
        EXPECT_FALSE(w.Win().Hidden()) << c.name;
        pu::DeliverNativeMessage(w.Win(), c.message, c.wParam, 0);
      } else if (e == pu::EVENT::Iconized) {
        ticksThen = w.ticks;
      } else if (e == pu::EVENT::Timer && ticksThen >= 0 && w.ticks == ticksThen + 3) {
        EXPECT_TRUE(w.Win().IsOpen()) << c.name;
        EXPECT_TRUE(w.Win().Iconized()) << c.name;
        EXPECT_EQ(w.Win().Hidden(), c.icon) << c.name << ": without an icon it only minimises";
        w.CloseDown();
      }
    };
    testing::internal::CaptureStderr();
    Run(p);
    testing::internal::GetCapturedStderr();
    EXPECT_GE(ticksThen, 0) << c.name;
    EXPECT_EQ(p.ticks, ticksThen + 3) << c.name;
  }
}

TEST_F(MainWindowTest, AClickOnTheIconBringsTheWindowBackRestoredAndInFront) {
  testsupport::RecordingShell shell;
  Probe p(clock_, port_.Ops());
  bool clicked = false;
  int fronts = 0;
  p.step = [&](Probe& w, int e) {
    if (e == pu::EVENT::GainFocus) ++fronts;
    if (e == pu::EVENT::Timer && w.ticks == 1) {
      ASSERT_TRUE(w.Win().Hidden()) << "connected, with its icon in the tray";
      // The shell tells the icon's window of a click.
      ASSERT_EQ(shell.icons.size(), 1u);
      const auto [hwnd, id] = *shell.icons.begin();
      pu::SendMessage(hwnd, syslib::TaskBarCallBackMsg, id, syslib::WM_LBUTTONDOWN);
      pu::SendMessage(hwnd, syslib::TaskBarCallBackMsg, id, syslib::WM_LBUTTONUP);
    } else if (e == syslib::TrayLeftUpEvent) {
      clicked = true;
    } else if (e == pu::EVENT::Timer && clicked) {
      EXPECT_FALSE(w.Win().Hidden());
      EXPECT_FALSE(w.Win().Iconized());
      EXPECT_EQ(pu::TopWindows().front().handle, pu::FrameHandle(w.Win())) << "in front";
      w.CloseDown();
    }
  };
  Run(p);
  EXPECT_TRUE(clicked);
  EXPECT_GE(fronts, 1);
}

TEST_F(MainWindowTest, AClickOnTheIconWhileABoxIsOpenAboveTheWindowBringsTheWindowBack) {
  BoxOperatorView view;
  pu::SetThreadView(&view);
  testsupport::RecordingShell shell;
  Probe p(clock_, port_.Ops());
  int clicks = 0;
  bool hiddenAfter = true;
  view.atBox = [&] {
    ASSERT_EQ(shell.icons.size(), 1u);
    const auto [hwnd, id] = *shell.icons.begin();
    pu::SendMessage(hwnd, syslib::TaskBarCallBackMsg, id, syslib::WM_LBUTTONDOWN);
    pu::SendMessage(hwnd, syslib::TaskBarCallBackMsg, id, syslib::WM_LBUTTONUP);
  };
  p.step = [&](Probe& w, int e) {
    if (e == syslib::TrayLeftUpEvent) ++clicks;
    if (e != pu::EVENT::Timer) return;
    if (w.ticks == 1) {
      ASSERT_TRUE(w.Win().Hidden()) << "connected, with its icon in the tray";
      ui::aMessage("inform.ico", "Test", "Okno nad hlavním oknem");
    } else {
      hiddenAfter = w.Win().Hidden();
      w.CloseDown();
    }
  };
  Run(p);
  EXPECT_EQ(clicks, 1) << "the click on the icon reaches the main window, though a box ran above it";
  EXPECT_FALSE(hiddenAfter) << "the main window came back at the click";
}

TEST_F(MainWindowTest, WhenTheTrayHostGoesTheHiddenWindowComesBackMinimised) {
  testsupport::RecordingShell shell;
  Probe p(clock_, port_.Ops());
  int stage = 0;
  p.step = [&](Probe& w, int e) {
    if (e != pu::EVENT::Timer) return;
    if (stage == 0) {
      ASSERT_TRUE(w.Win().Hidden());
      shell.hostPresent = false;
      stage = 1;
    } else if (stage == 1) {
      EXPECT_FALSE(w.Win().Hidden());
      EXPECT_TRUE(w.Win().Iconized());
      // Minimising it now leaves it on the taskbar.
      pu::DeliverNativeMessage(w.Win(), pu::WM_CLOSE, 0, 0);
      stage = 2;
    } else if (stage < 4) {
      EXPECT_FALSE(w.Win().Hidden());
      ++stage;
    } else {
      w.CloseDown();
    }
  };
  Run(p);
  EXPECT_EQ(stage, 4);
}

TEST_F(MainWindowTest, ATrayHostThatComesGetsTheIconAndOneThatComesBackGetsItAgain) {
  testsupport::RecordingShell shell;
  shell.refuse.insert(pu::NIM_ADD);  // no tray host at first
  Probe p(clock_, port_.Ops());
  const pu::UINT taskbarCreated = pu::RegisterWindowMessage("TaskbarCreated");
  int stage = 0;
  p.step = [&](Probe& w, int e) {
    if (e != pu::EVENT::Timer) return;
    const pu::HWND frame = pu::FrameHandle(w.Win());
    if (stage == 0) {
      EXPECT_FALSE(w.IconInTray());
      EXPECT_FALSE(w.Win().Hidden()) << "connected, but nowhere to hide";
      shell.refuse.clear();
      pu::SendMessage(frame, taskbarCreated, 0, 0);
      stage = 1;
    } else if (stage == 1) {
      EXPECT_TRUE(w.IconInTray());
      EXPECT_FALSE(w.Win().Hidden()) << "it stays where the operator has seen it";
      // The host starts again and has forgotten the icon.
      shell.Restart();
      pu::SendMessage(frame, taskbarCreated, 0, 0);
      stage = 2;
    } else {
      EXPECT_EQ(shell.icons.size(), 1u);
      ASSERT_GE(shell.calls.size(), 2u);
      const auto& modify = shell.calls[shell.calls.size() - 2];
      EXPECT_EQ(modify.message, pu::NIM_MODIFY);
      EXPECT_FALSE(modify.done);
      EXPECT_EQ(shell.calls.back().message, pu::NIM_ADD);
      EXPECT_TRUE(shell.calls.back().done);
      w.CloseDown();
    }
  };
  Run(p);
  EXPECT_EQ(stage, 2);
}

TEST_F(MainWindowTest, TheEndOfTheSessionClosesDownAndSwitchesTheInstallationOff) {
  for (const bool connected : {true, false}) {
    port_ = {};
    port_.present = connected;
    Probe p(clock_, port_.Ops());
    size_t before = 0;
    p.step = [&](Probe& w, int e) {
      if (e == pu::EVENT::Timer && w.ticks == 2) {
        w.advance = false;
        before = port_.writes.size();
        // The session ends: its messages reach the frame's chain.
        const pu::HWND frame = pu::FrameHandle(w.Win());
        EXPECT_EQ(pu::SendMessage(frame, pu::WM_QUERYENDSESSION, 0, 0), 1);
        EXPECT_EQ(pu::SendMessage(frame, pu::WM_ENDSESSION, 1, 0), 1);
      }
    };
    Run(p);
    EXPECT_FALSE(p.Win().IsOpen());
    EXPECT_EQ(p.ticks, 2) << "no tick after the end-session event";
    EXPECT_EQ(view_.headAtClose, &syslib::WinAccept) << "the subclass is gone, the hook first again";
    if (connected) {
      const std::vector<std::string> texts = port_.Texts();
      std::vector<std::string> expected{"r64\r"};
      for (const auto& r : AllRelays('r')) expected.push_back(r);
      EXPECT_EQ(std::vector<std::string>(texts.begin() + static_cast<std::ptrdiff_t>(before), texts.end()), expected);
      EXPECT_EQ(port_.closes, 1);
      EXPECT_EQ(p.Engine().portState.PortHandle, -1);
    } else {
      EXPECT_EQ(RelayCommands(port_), 0u);
      EXPECT_EQ(port_.closes, 0);
    }
  }
}

TEST_F(MainWindowTest, OneScanEveryEightyTicksAndNoneWhileABoxIsOpenAboveTheWindow) {
  Probe p(clock_, port_.Ops());
  int ticksAtBox = -1, ticksAfterBox = -1;
  int32_t counterAtBox = 0, counterAfterBox = 0;
  p.step = [&](Probe& w, int e) {
    if (e == pu::EVENT::Timer && w.ticks == 200) {
      // A box above the window for a minute of the clock: the window's ticks
      // wait, and one follows when the box has closed.
      ticksAtBox = w.ticks;
      counterAtBox = w.Engine().schedulerState.GLO_TIMEOUT;
      clock_.Advance(60s);
      ui::aMessage("inform.ico", "Test", "Okno nad hlavním oknem");
    } else if (e == pu::EVENT::Timer && ticksAtBox > 0) {
      counterAfterBox = w.Engine().schedulerState.GLO_TIMEOUT;
      w.advance = false;
      w.Win().Post(kUserEvent);
    } else if (e == kUserEvent) {
      ticksAfterBox = w.ticks - ticksAtBox;
      w.CloseDown();
    }
  };
  testing::internal::CaptureStderr();
  Run(p);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(p.scanTicks, (std::vector<int>{80, 160}));
  EXPECT_EQ(ticksAfterBox, 1);
  EXPECT_EQ(p.ticks, ticksAtBox + 1) << "the minute's ticks came as one";
  EXPECT_EQ(counterAfterBox, counterAtBox + 50);
}

TEST_F(MainWindowTest, MainRunsOnAWorkerThreadAndClosesDownWhenAsked) {
  ::setenv("VELORN_COM1", dir_.file("no-such-port").c_str(), 1);
  app::ui::RequestMainEnd();  // asked before the window is there: it closes once open
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  std::thread worker([] { app::ui::Main(); });
  worker.join();
  const std::string out = testing::internal::GetCapturedStdout();
  testing::internal::GetCapturedStderr();
  ::unsetenv("VELORN_COM1");
  EXPECT_NE(out.find("velorn: ready"), std::string::npos) << out;
  platform::rec::File<app::data::SettingsRecord> f(app::data::SettingsDecl());
  ASSERT_EQ(f.Open(), 0);
  EXPECT_EQ(f.Records(), 1) << "the worker's window opened in the working folder";
}

TEST_F(MainWindowTest, TheTaskEditorOpensForInsertAndChangeOnly) {
  Probe p(clock_, port_.Ops());
  p.step = [](Probe& w, int e) {
    if (e == ui::TrayLoadIconEvent) w.CloseDown();
  };
  Run(p);
  // The editor opens for each request and is closed down at once.
  testsupport::FormOperator op;
  std::vector<std::string> opened;
  const auto closeDown = [&](pu::Window& w) {
    opened.push_back(w.ProcedureName() + " " + w.Text());
    w.Post(pu::EVENT::CloseDown);
  };
  op.steps = {closeDown, closeDown};
  pu::SetThreadView(&op);
  EXPECT_EQ(p.RunTaskForm(1, pu::InsertRecord), pu::RequestCancelled);
  EXPECT_EQ(p.RunTaskForm(1, pu::ChangeRecord), pu::RequestCancelled);
  pu::SetThreadView(&view_);
  EXPECT_EQ(opened, (std::vector<std::string>{"Editace_uloh Přidání úlohy", "Editace_uloh Změna úlohy"}));
  p.Request = pu::ViewRecord;
  pu::FormRequest = 0;
  EXPECT_EQ(p.RunTaskForm(1, pu::InsertRecord), pu::RequestCancelled);
  EXPECT_EQ(pu::FormRequest, 0) << "a window run to view opens nothing";
}

}  // namespace
