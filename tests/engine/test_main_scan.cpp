// The engine in the main window on the real clock, against the simulated
// devices: a task due a minute ago plays once in its zones and is booked;
// the close-down switches the installation off.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "app/data/records.h"
#include "app/engine/engine.h"
#include "app/ui/main_window.h"
#include "platform/clock.h"
#include "platform/eventloop.h"
#include "platform/stdtime.h"
#include "syslib/sound.h"
#include "tests/engine/task_file.h"
#include "tests/support/loop_guard.h"
#include "tests/support/tempdir.h"
#include "tools/devsim.h"

namespace {

using namespace app::engine;
namespace pu = platform::ui;

// Runs the main window for two scans, then closes it down.
class TwoScanWindow : public app::ui::MainWindow {
 public:
  int scans = 0;
  int refreshes = 0;
  int OnWindowEvent() override {
    const bool tick = Win().EventNumber() == pu::EVENT::Timer;
    int32_t& timeout = Engine().schedulerState.GLO_TIMEOUT;
    const int32_t before = timeout;
    const int r = MainWindow::OnWindowEvent();
    if (guard_.Ends(tick)) return r;
    if (tick && before + 50 >= kScanPeriod && timeout == 0) {
      ++scans;
      if (scans == 1) timeout = kScanPeriod - 50;  // the next tick scans again
      else Win().Post(pu::EVENT::CloseDown);
    }
    return r;
  }
  void RefreshTaskList() override {
    ++refreshes;
    MainWindow::RefreshTaskList();
  }

 private:
  // The two scans come within a few ticks.
  testsupport::LoopGuard guard_{40, "the main window"};
};

TEST(MainWindowScan, ADueTaskPlaysOnceInItsZonesAndIsBookedAndTheCloseDownSwitchesOff) {
  const platform::StdTime now = platform::GetClock().ClockTime();
  if (now < platform::TimeFromHms(0, 5, 0) || now > platform::TimeFromHms(23, 50, 0))
    GTEST_SKIP() << "too close to midnight for a real-clock scan";

  ::setenv("SDL_AUDIODRIVER", "dummy", 1);
  testsupport::TempDir dir(true);
  devsim::DeviceSimulator sim;
  ASSERT_TRUE(sim.Start());
  sim.SetMode(devsim::Mode::Silent);
  ::setenv("VELORN_COM1", sim.SlavePath().c_str(), 1);

  app::data::AttachThreadFiles();
  testsupport::AddTask([&](app::data::TasksRecord& r) {
    r.DATUM_SPUSTENI = platform::GetClock().Today();
    r.CAS_SPUSTENI = now - 6000;
    r.AUTOMATICKY_SMAZAT = 0;
    r.PREHRAT = dir.file("hlaseni.wav");
    r.DELKA_SOUBORU = platform::TimeFromHms(0, 0, 1);
    r.VYSTUP1_5 = "08";
    r.VYSTUP2_5 = "08";
    r.VYSTUP4_5 = "10";
  });
  testsupport::WriteFile(dir.file("hlaseni.wav"), "not played for real");

  std::mutex m;
  std::vector<std::string> played;
  syslib::SetSoundLoadHook([&](const std::string& file) {
    std::lock_guard l(m);
    played.push_back(file);
  });

  {
    TwoScanWindow window;
    window.Engine().schedulerState.GLO_TIMEOUT = kScanPeriod - 100;
    window.Run();
    EXPECT_EQ(window.scans, 2);
    EXPECT_EQ(window.refreshes, 1);
    EXPECT_LT(window.Engine().portState.PortHandle, 0) << "the close-down closed the port";
  }
  ASSERT_TRUE(syslib::WaitSoundIdle(std::chrono::seconds(5)));
  syslib::SetSoundLoadHook(nullptr);

  {
    std::lock_guard l(m);
    EXPECT_EQ(played, std::vector<std::string>{dir.file("hlaseni.wav")});
  }
  // The close-down with the port open ends with the amplifier and every
  // zone off, as the confirmed exit leaves them.
  const auto switchedOff = [&] {
    const auto c = sim.Commands();
    return c.size() > 41 && c.back().text == "r39\r";
  };
  for (size_t n = sim.Commands().size() + 1; !switchedOff() && sim.WaitForCommands(n, std::chrono::seconds(5)); ++n) {
  }
  ASSERT_TRUE(switchedOff());
  std::vector<std::string> texts;
  for (const auto& c : sim.Commands()) texts.push_back(c.text);
  const std::vector<std::string> tail(texts.end() - 41, texts.end());
  std::vector<std::string> off{"r64\r"};
  for (int k = 0; k < 40; ++k) off.push_back("r" + std::to_string(k) + "\r");
  EXPECT_EQ(tail, off);
  size_t zoneResets = 0;
  for (auto it = texts.begin(); it != texts.end() - 41; ++it)
    if (*it == "r0\r" || *it == "r8\r" || *it == "r31\r") ++zoneResets;
  EXPECT_EQ(zoneResets, 3u) << "the task's three zones, once";

  const app::data::TasksRecord task = testsupport::FirstTask();
  EXPECT_EQ(task.POSLEDNI_SPUSTENI, platform::GetClock().Today());
  EXPECT_EQ(task.AKTIVNI, 1);
  ::unsetenv("VELORN_COM1");
  app::data::ReleaseDataFiles();
  app::data::DetachThreadFiles();
}

}  // namespace
