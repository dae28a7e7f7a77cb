// The real ScanTasks over a real Tasks.tps of 100 and of 100,000 tasks, with
// none due and with one due, on a recording port and a clock whose sleeps
// return at once: what is left is the scan's own cost (the record file, the
// rules, the booking, the command bookkeeping). The cost should follow what
// is due, not what is stored: the ratio of the two sizes, goal under 2. Then
// the resident memory over 10 scans of the large file: no growth after the
// first.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "app/data/records.h"
#include "app/engine/engine.h"
#include "bench/fill_tasks.h"
#include "platform/clock.h"
#include "platform/stdtime.h"
#include "platform/text.h"
#include "syslib/sound.h"

namespace {

using namespace app::engine;
using Steady = std::chrono::steady_clock;
namespace fs = std::filesystem;

const platform::StdDate kToday = platform::DateFromYmd(2026, 12, 10);
const platform::StdTime kNow = platform::TimeFromHms(12, 0, 0);
constexpr int kDueId = 1;

// Today at noon, for ever; sleeps return at once.
class BenchClock final : public platform::Clock {
 public:
  platform::StdDate Today() override { return kToday; }
  platform::StdTime ClockTime() override { return kNow; }
  Monotonic::time_point Now() override { return Steady::now(); }
  void Sleep(std::chrono::nanoseconds) override {}
};

sqlite3* OpenDirect() {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2("Tasks.tps", &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) std::abort();
  sqlite3_create_collation_v2(db, "CZ_NOCASE", SQLITE_UTF8, nullptr, bench::CollateCz, nullptr);
  return db;
}

// Fills a fresh Tasks.tps with n tasks spread over the day outside the due
// window, a tenth of them inactive; with `due`, task 1 is a one-shot of today
// a minute ago. Every task plays 10 seconds in output 1 and stays after its
// run.
void Fill(int n, bool due) {
  std::mt19937 rng(42);
  std::uniform_int_distribution<int32_t> time(1, platform::kLastTime);
  bench::FillTasks(n, [&](int index) {
    const int i = index + 1;
    bench::Task t;
    t.time = kNow - 6000;
    if (!(due && i == kDueId)) {
      do t.time = time(rng);
      while (t.time > kNow - kScanWindow && t.time <= kNow + 100);
      t.active = i % 10 == 0 ? 0 : 1;
    }
    t.name = "Úloha " + std::to_string(i);
    t.outputs = "08";
    t.length = platform::TimeFromHms(0, 0, 10);
    t.autoDelete = 0;
    return t;
  });
}

// The due task as it was before its run (not timed).
void Unbook(sqlite3* db) {
  sqlite3_exec(db, "UPDATE records SET \"TAS:POSLEDNI_SPUSTENI\" = 0 WHERE \"TAS:ID\" = 1", nullptr, nullptr,
               nullptr);
}

long ResidentKb() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * ::sysconf(_SC_PAGESIZE) / 1024;
}

struct Figures {
  double microsPerScan = 0;
  int runs = 0;
};

// A scan on a fresh engine (as the hosting window has one), the port
// recording nothing but a count.
Figures Measure(int stored, bool due, int reps, std::vector<long>* rss = nullptr) {
  const fs::path dir = fs::temp_directory_path() / ("velorn-bench-scan-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path old = fs::current_path();
  fs::current_path(dir);
  Figures fig;
  {
    platform::rec::File<app::data::TasksRecord> t(app::data::TasksDecl());
    if (t.Create() != 0) std::abort();
    Fill(stored, due);
    long writes = 0;
    PortOps ops;
    ops.open = [](const std::string&) { return 3; };
    ops.reset = [](const std::string&) { return 1; };
    ops.read = [](int32_t, std::string&) { return 0; };
    ops.write = [&writes](int32_t, const std::string& text) {
      ++writes;
      return static_cast<int32_t>(text.size());
    };
    ops.close = [](int32_t) {};
    ops.killAll = [] {};
    ops.drain = [](int32_t, int32_t) { return 0; };
    ops.lost = [](int32_t) { return false; };
    Engine engine(EngineHooks{}, ops);
    engine.portState.COM_PORT = "COM1";
    engine.portState.PortHandle = 3;
    sqlite3* db = OpenDirect();
    std::vector<double> micros;
    for (int i = 0; i < reps + 3; ++i) {
      if (due) Unbook(db);
      engine.schedulerState.PlaybackRunning = 0;
      const auto start = Steady::now();
      engine.scheduler.ScanTasks();
      const double us = std::chrono::duration<double, std::micro>(Steady::now() - start).count();
      if (i >= 3) micros.push_back(us);  // after the warm-up
      fig.runs += engine.schedulerState.PlaybackRunning;
      if (rss && i >= 3) rss->push_back(ResidentKb());
    }
    sqlite3_close(db);
    std::sort(micros.begin(), micros.end());
    fig.microsPerScan = micros[micros.size() / 2];
  }
  fs::current_path(old);
  fs::remove_all(dir);
  return fig;
}

}  // namespace

int main() {
  ::setenv("SDL_AUDIODRIVER", "dummy", 1);
  BenchClock clock;
  platform::SetClock(&clock);
  app::data::AttachThreadFiles();

  std::printf("ScanTasks over Tasks.tps, protocol sleeps taken out (median of the scans)\n");
  bool ok = true;
  for (const bool due : {false, true}) {
    const Figures small = Measure(100, due, 200);
    const Figures large = Measure(100000, due, 200);
    const double ratio = large.microsPerScan / small.microsPerScan;
    std::printf("  %s: %.1f us with 100 tasks, %.1f us with 100000 tasks, ratio %.2f (goal < 2)\n",
                due ? "one due " : "none due", small.microsPerScan, large.microsPerScan, ratio);
    ok = ok && ratio < 2 && small.runs == (due ? 203 : 0) && large.runs == (due ? 203 : 0);
  }

  std::vector<long> rss;
  Measure(100000, true, 10, &rss);
  std::printf("  resident memory over 10 scans of 100000 tasks (one due): after the 1st %ld kB, after the 10th "
              "%ld kB, growth %ld kB (goal 0)\n",
              rss.front(), rss.back(), rss.back() - rss.front());

  syslib::ShutdownSound();
  app::data::DetachThreadFiles();
  platform::SetClock(nullptr);
  return ok ? 0 : 1;
}
