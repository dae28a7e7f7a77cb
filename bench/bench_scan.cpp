// The scan's reading of Tasks.tps: position on TAS:KeyAkt_Cas at (active,
// now - 3 minutes) and read the due window, among 100 and among 100,000
// stored tasks. The cost should follow what is due, not what is stored.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include <sqlite3.h>

#include "app/data/records.h"
#include "bench/fill_tasks.h"
#include "platform/stdtime.h"
#include "platform/text.h"

namespace {

using namespace app::data;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kDue = 5;                        // tasks inside the window, in both files
const platform::StdTime kNow = platform::TimeFromHms(12, 0, 0);
constexpr int32_t kWindow = 18000;             // 3 minutes in hundredths

// Fills a fresh Tasks.tps with n tasks: kDue in the window, the rest spread
// over the day outside it, a tenth of them inactive.
void Fill(int n) {
  std::mt19937 rng(42);
  std::uniform_int_distribution<int32_t> time(1, platform::kLastTime);
  bench::FillTasks(n, [&](int i) {
    int32_t c = kNow - kWindow + 1000 * (i + 1);
    int active = 1;
    if (i >= kDue) {
      do c = time(rng);
      while (c > kNow - kWindow && c <= kNow + 100);
      active = (i % 10 == 0) ? 0 : 1;
    }
    return bench::Task{active, c, "Úloha " + std::to_string(i + 1)};
  });
}

// One scan's reading: the due tasks met.
int ReadWindow(platform::rec::File<TasksRecord>& t) {
  t.ClearBuffer();
  t.rec.AKTIVNI = 1;
  t.rec.CAS_SPUSTENI = kNow - kWindow;
  t.SetKeyFromBuffer(TAS_KeyAkt_Cas);
  int due = 0;
  while (t.Next() == 0 && t.rec.AKTIVNI == 1 && t.rec.CAS_SPUSTENI < kNow) ++due;
  return due;
}

double MeasureMicros(int stored) {
  const fs::path dir = fs::temp_directory_path() / ("velorn-bench-" + std::to_string(stored));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path old = fs::current_path();
  fs::current_path(dir);
  double perScan = 0;
  {
    platform::rec::File<TasksRecord> t(TasksDecl());
    if (t.Create() != 0) std::abort();
    Fill(stored);
    if (t.Open() != 0) std::abort();
    constexpr int kReps = 2000;
    int met = 0;
    for (int i = 0; i < 50; ++i) met += ReadWindow(t);  // warm-up
    const auto start = Clock::now();
    for (int i = 0; i < kReps; ++i) met += ReadWindow(t);
    const auto spent = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    if (met != kDue * (kReps + 50)) std::fprintf(stderr, "unexpected due count %d\n", met);
    perScan = spent / kReps;
  }
  fs::current_path(old);
  fs::remove_all(dir);
  return perScan;
}

}  // namespace

int main() {
  const double small = MeasureMicros(100);
  const double large = MeasureMicros(100000);
  std::printf("scan read of the due window (%d due): %.1f us among 100 tasks, %.1f us among 100000 tasks, "
              "ratio %.2f (goal < 2)\n",
              kDue, small, large, large / small);
  return 0;
}
