// The engine in the main window on the real clock, against the simulated
// devices: a task due a minute ago plays once in its zones and is booked.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "app/data/records.h"
#include "app/engine/protocol.h"
#include "app/engine/scheduler.h"
#include "app/ui/main_window.h"
#include "platform/clock.h"
#include "platform/eventloop.h"
#include "platform/stdtime.h"
#include "syslib/sound.h"
#include "tests/support/tempdir.h"
#include "tools/devsim.h"

namespace {

using namespace app::engine;
namespace pu = platform::ui;

// Runs the main window for two scans, then closes it down.
class TwoScanWindow : public app::ui::MainWindow {
 public:
  int scans = 0;
  int OnWindowEvent() override {
    const bool tick = Win().EventNumber() == pu::EVENT::Timer;
    const int32_t before = GLO_TIMEOUT;
    const int r = MainWindow::OnWindowEvent();
    if (tick && before + 50 >= kScanPeriod && GLO_TIMEOUT == 0) {
      ++scans;
      if (scans == 1) GLO_TIMEOUT = kScanPeriod - 50;  // the next tick scans again
      else Win().Post(pu::EVENT::CloseDown);
    }
    return r;
  }
};

TEST(MainWindowScan, ADueTaskPlaysOnceInItsZonesAndIsBooked) {
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
  {
    platform::rec::File<app::data::TasksRecord> f(app::data::TasksDecl());
    ASSERT_EQ(f.Create(), 0);
    ASSERT_EQ(f.Open(), 0);
    f.ClearBuffer();
    app::data::PrimeTaskDefaults(f.rec);
    f.PrimeAutoNumber();
    f.rec.DATUM_SPUSTENI = platform::GetClock().Today();
    f.rec.CAS_SPUSTENI = now - 6000;
    f.rec.AUTOMATICKY_SMAZAT = 0;
    f.rec.PREHRAT = dir.file("hlaseni.wav");
    f.rec.DELKA_SOUBORU = platform::TimeFromHms(0, 0, 1);
    f.rec.VYSTUP1_5 = "08";
    f.rec.VYSTUP2_5 = "08";
    f.rec.VYSTUP4_5 = "10";
    ASSERT_EQ(f.Add(), 0);
  }
  testsupport::WriteFile(dir.file("hlaseni.wav"), "not played for real");

  std::mutex m;
  std::vector<std::string> played;
  syslib::SetSoundLoadHook([&](const std::string& file) {
    std::lock_guard l(m);
    played.push_back(file);
  });

  COM_PORT.clear();
  GLO_TIMEOUT = kScanPeriod - 100;
  PlaybackRunning = 0;
  PlaybackEndTime = 0;
  PlaybackEndDate = 0;
  {
    TwoScanWindow window;
    window.Run();
    EXPECT_EQ(window.scans, 2);
  }
  ASSERT_TRUE(syslib::WaitSoundIdle(std::chrono::seconds(5)));
  syslib::SetSoundLoadHook(nullptr);
  DisconnectPort();

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

  platform::rec::File<app::data::TasksRecord> f(app::data::TasksDecl());
  ASSERT_EQ(f.Open(), 0);
  f.SetFileOrder();
  ASSERT_EQ(f.Next(), 0);
  EXPECT_EQ(f.rec.POSLEDNI_SPUSTENI, platform::GetClock().Today());
  EXPECT_EQ(f.rec.AKTIVNI, 1);
  f.Close();
  ::unsetenv("VELORN_COM1");
  app::data::ReleaseDataFiles();
  app::data::DetachThreadFiles();
}

}  // namespace
