// The scan's reading of Tasks.tps: position on TAS:KeyAkt_Cas at (active,
// now - 3 minutes) and read the due window, among 100 and among 100,000
// stored tasks. The cost should follow what is due, not what is stored.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/data/records.h"
#include "bench/task_fill.h"
#include "platform/stdtime.h"

namespace {

using namespace app::data;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kDue = 5;                        // tasks inside the window, in both files
const platform::StdTime kNow = platform::TimeFromHms(12, 0, 0);
constexpr int32_t kWindow = 18000;             // 3 minutes in hundredths

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
    benchfill::FillTasks(stored, kDue, kNow - kWindow, kNow + 100);
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
