// Cost of a relay exchange's calls: WritePort("s12\r") followed by
// ds_EmptyPort(handle, 50), 40 times, against a silent device on a
// pseudo-terminal (no wire time). The engine's 50 ms pause between the write
// and the drain is left out: only the two calls are measured.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "syslib/drain.h"
#include "syslib/serial.h"
#include "syslib/timing.h"
#include "tools/devsim.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kExchanges = 40;
constexpr int kRounds = 25;

// CPU time of the calling thread, user and system.
double CpuSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

}  // namespace

int main() {
  devsim::DeviceSimulator sim;
  if (!sim.Start()) {
    std::perror("pseudo-terminal");
    return 1;
  }
  sim.SetMode(devsim::Mode::Silent);
  ::setenv("VELORN_COM1", sim.SlavePath().c_str(), 1);
  const syslib::LONG handle = syslib::NewPort("COM1:9600,n,8,1", 0, 1, 0, 1, 0);
  if (handle < 0) {
    std::fprintf(stderr, "NewPort: %s\n", syslib::GetLibraryErrorText().c_str());
    return 1;
  }
  syslib::HiResClock(0, 0);  // the clock's one-off set-up is not part of an exchange

  std::vector<double> perExchangeUs;
  int failures = 0;
  double cpu = 0;
  for (int round = 0; round < kRounds; ++round) {
    const double cpu0 = CpuSeconds();
    const auto start = Clock::now();
    for (int i = 0; i < kExchanges; ++i) {
      syslib::WritePort(handle, "s12\r", 0);
      if (syslib::ds_EmptyPort(handle, 50) != 0) ++failures;
    }
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    cpu += CpuSeconds() - cpu0;
    perExchangeUs.push_back(us / kExchanges);
  }
  // The drain alone on the quiet port: one stopwatch start and test, one read.
  const auto drainStart = Clock::now();
  for (int i = 0; i < kExchanges * kRounds; ++i)
    if (syslib::ds_EmptyPort(handle, 50) != 0) ++failures;
  const double drainUs =
      std::chrono::duration<double, std::micro>(Clock::now() - drainStart).count() / (kExchanges * kRounds);

  const bool received = sim.WaitForCommands(kExchanges * kRounds, std::chrono::seconds(5));
  syslib::ClosePort(handle);
  syslib::KillAllPorts();
  sim.Stop();

  std::sort(perExchangeUs.begin(), perExchangeUs.end());
  std::printf("write + drain, %d exchanges x %d rounds, silent device\n", kExchanges, kRounds);
  std::printf("  per exchange: median %.1f us, best %.1f us, worst %.1f us (goal < 1000 us)\n",
              perExchangeUs[perExchangeUs.size() / 2], perExchangeUs.front(), perExchangeUs.back());
  std::printf("  CPU per exchange: %.1f us\n", cpu * 1e6 / (kExchanges * kRounds));
  std::printf("  drain alone on a quiet port: %.1f us\n", drainUs);
  std::printf("  drains not quiet: %d; commands seen by the device: %s\n", failures, received ? "all" : "MISSING");
  return failures == 0 && received && perExchangeUs[perExchangeUs.size() / 2] < 1000.0 ? 0 : 1;
}
