// One task scan with one due task against the silent simulated devices on a
// pseudo-terminal, on the real clock, beside the floor its traffic fixes:
// the sum of the protocol's sleeps (the drains find nothing to retry on a
// silent device). What lies above the floor is the engine's own cost: the
// serial calls, the baud changes, the record file, the sound call.
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/data/records.h"
#include "app/engine/engine.h"
#include "platform/clock.h"
#include "platform/stdtime.h"
#include "syslib/serial.h"
#include "syslib/sound.h"
#include "tools/devsim.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;
using namespace app::engine;

// Hundredths the protocol sleeps.
constexpr int kLamp = 20;      // a console command: 5 + 10 + 5
constexpr int kExchange = 5;   // a relay exchange
constexpr int kZones = 3;      // the task's outputs 1, 9 and 32
constexpr double kGoalPercent = 5.0;

// A short WAV in the output format (0.1 s of silence).
std::string SilentWav() {
  std::string s;
  const auto put = [&s](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  const uint32_t data = syslib::kSoundRate / 10 * 4;
  s += "RIFF";
  put(36 + data, 4);
  s += "WAVEfmt ";
  put(16, 4);
  put(1, 2);
  put(2, 2);
  put(syslib::kSoundRate, 4);
  put(syslib::kSoundRate * 4, 4);
  put(4, 2);
  put(16, 2);
  s += "data";
  put(data, 4);
  return s + std::string(data, '\0');
}

bool AddDueTask(const std::string& wav) {
  platform::rec::File<app::data::TasksRecord> f(app::data::TasksDecl());
  if (f.Create() != 0 || f.Open() != 0) return false;
  f.ClearBuffer();
  app::data::PrimeTaskDefaults(f.rec);
  f.PrimeAutoNumber();
  f.rec.DATUM_SPUSTENI = platform::GetClock().Today();
  f.rec.CAS_SPUSTENI = platform::GetClock().ClockTime() - 6000;  // a minute ago
  f.rec.NAZEV = "Hlášení";
  f.rec.PREHRAT = wav;
  f.rec.DELKA_SOUBORU = platform::TimeFromHms(0, 0, 1);
  f.rec.VYSTUP1_5 = "08";
  f.rec.VYSTUP2_5 = "08";
  f.rec.VYSTUP4_5 = "10";
  f.rec.AUTOMATICKY_SMAZAT = 0;
  return f.Add() == 0;
}

}  // namespace

int main() {
  const platform::StdTime now = platform::GetClock().ClockTime();
  if (now < platform::TimeFromHms(0, 2, 0) || now > platform::TimeFromHms(23, 58, 0)) {
    std::fprintf(stderr, "too close to midnight for a due task; run again later\n");
    return 2;
  }
  ::setenv("SDL_AUDIODRIVER", "dummy", 1);
  devsim::DeviceSimulator sim;
  if (!sim.Start()) {
    std::perror("pseudo-terminal");
    return 1;
  }
  sim.SetMode(devsim::Mode::Silent);
  ::setenv("VELORN_COM1", sim.SlavePath().c_str(), 1);

  const fs::path dir = fs::temp_directory_path() / ("velorn-bench-traffic-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path old = fs::current_path();
  fs::current_path(dir);
  app::data::AttachThreadFiles();

  const std::string wav = (dir / "task.wav").string();
  {
    std::FILE* f = std::fopen(wav.c_str(), "wb");
    const std::string bytes = SilentWav();
    if (f) {
      std::fwrite(bytes.data(), 1, bytes.size(), f);
      std::fclose(f);
    }
  }
  if (!AddDueTask(wav)) {
    std::fprintf(stderr, "Tasks.tps cannot be written\n");
    return 1;
  }
  Engine engine;
  engine.portState.COM_PORT = "COM1";
  engine.portState.GLO_AMP_DELAY = platform::TimeFromHms(0, 0, 1);  // 101 hundredths
  if (engine.protocol.ConnectPort() != 1) return 1;
  sim.ClearCommands();

  const auto start = Clock::now();
  engine.scheduler.ScanTasks();
  const double spentMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();

  // The scan: 2 lamps, r64 and s0..s39. The task: 2 lamps, r64, s0..s39,
  // its zones and s64, the amplifier delay and one hundredth.
  const int scanFloor = 2 * kLamp + 41 * kExchange;
  const int taskFloor = 2 * kLamp + (42 + kZones) * kExchange + engine.portState.GLO_AMP_DELAY + 1;
  const double floorMs = 10.0 * (scanFloor + taskFloor);
  const double overhead = (spentMs - floorMs) / floorMs * 100.0;

  const size_t expectedCommands = 2 + 41 + 2 + 42 + kZones;
  const bool heard = sim.WaitForCommands(expectedCommands, std::chrono::seconds(5));
  const size_t commands = sim.Commands().size();
  const bool ran = engine.schedulerState.PlaybackRunning == 1;

  engine.protocol.DisconnectPort();
  syslib::ShutdownSound();
  app::data::DetachThreadFiles();
  sim.Stop();
  fs::current_path(old);
  std::error_code ec;
  fs::remove_all(dir, ec);

  std::printf("one scan with one due task (%d zones, amplifier delay %d hundredths), silent device\n", kZones,
              static_cast<int>(engine.portState.GLO_AMP_DELAY));
  std::printf("  measured: %.1f ms\n", spentMs);
  std::printf("  floor:    %.1f ms (scan %d ms + task %d ms of protocol sleeps)\n", floorMs, 10 * scanFloor,
              10 * taskFloor);
  std::printf("  overhead: %.1f ms, %.2f %% (goal < %.0f %%)\n", spentMs - floorMs, overhead, kGoalPercent);
  std::printf("  commands seen by the device: %zu of %zu; task run: %s\n", commands, expectedCommands,
              ran ? "yes" : "NO");
  return heard && commands == expectedCommands && ran && overhead >= 0 && overhead < kGoalPercent ? 0 : 1;
}
