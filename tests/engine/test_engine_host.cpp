// The engine in its host window on the real clock, against the simulated
// devices: a task due a minute ago plays once in its zones and is booked.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "app/data/records.h"
#include "app/engine/engine.h"
#include "app/ui/engine_host.h"
#include "platform/clock.h"
#include "platform/eventloop.h"
#include "platform/stdtime.h"
#include "syslib/sound.h"
#include "tests/engine/task_file.h"
#include "tests/support/tempdir.h"
#include "tools/devsim.h"

namespace {

using namespace app::engine;
namespace pu = platform::ui;

// Runs the host for two scans, then closes it.
class TwoScanHost : public app::ui::EngineHost {
 public:
  int scans = 0;
  int OnWindowEvent() override {
    const bool tick = Win().EventNumber() == pu::EVENT::Timer;
    int32_t& timeout = Engine().schedulerState.GLO_TIMEOUT;
    const int32_t before = timeout;
    const int r = EngineHost::OnWindowEvent();
    if (tick && before + 50 >= kScanPeriod && timeout == 0) {
      ++scans;
      if (scans == 1) timeout = kScanPeriod - 50;  // the next tick scans again
      else Win().Post(pu::EVENT::CloseWindow);
    }
    return r;
  }
};

TEST(EngineHost, ADueTaskPlaysOnceInItsZonesAndIsBooked) {
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
    TwoScanHost host;
    host.Engine().schedulerState.GLO_TIMEOUT = kScanPeriod - 100;
    host.Run();
    EXPECT_EQ(host.scans, 2);
    EXPECT_EQ(host.TaskListRefreshes(), 1);
    host.Engine().protocol.DisconnectPort();
  }
  ASSERT_TRUE(syslib::WaitSoundIdle(std::chrono::seconds(5)));
  syslib::SetSoundLoadHook(nullptr);

  {
    std::lock_guard l(m);
    EXPECT_EQ(played, std::vector<std::string>{dir.file("hlaseni.wav")});
  }
  size_t zoneResets = 0;
  for (const auto& c : sim.Commands())
    if (c.text == "r0\r" || c.text == "r8\r" || c.text == "r31\r") ++zoneResets;
  EXPECT_EQ(zoneResets, 3u) << "the task's three zones, once";

  const app::data::TasksRecord task = testsupport::FirstTask();
  EXPECT_EQ(task.POSLEDNI_SPUSTENI, platform::GetClock().Today());
  EXPECT_EQ(task.AKTIVNI, 1);
  ::unsetenv("VELORN_COM1");
  app::data::ReleaseDataFiles();
  app::data::DetachThreadFiles();
}

}  // namespace
