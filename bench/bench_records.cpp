// Record-file figures: reading 100,000 tasks in key order (per record; goal
// under 2 us), the resident memory over repeated full readings (goal: no
// growth after the first), and how long a write or an open takes to be
// refused while another connection writes the file.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "app/data/records.h"
#include "bench/fill_tasks.h"
#include "platform/cz_collation.h"
#include "platform/locale_texts.h"
#include "platform/recordfile.h"
#include "platform/stdtime.h"

namespace {

namespace fs = std::filesystem;
using app::data::TasksRecord;
using TaskFile = platform::rec::File<TasksRecord>;

constexpr int kTasks = 100000;

// A folder of its own, current while the benchmark runs, with a filled
// Tasks.tps.
class TaskFolder {
 public:
  explicit TaskFolder(int tasks) : dir_(fs::temp_directory_path() / ("velorn-bench-records-" + std::to_string(::getpid()))) {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    old_ = fs::current_path();
    fs::current_path(dir_);
    TaskFile t(app::data::TasksDecl());
    if (t.Create() != 0) std::abort();
    std::mt19937 rng(42);
    std::uniform_int_distribution<int32_t> time(1, platform::kLastTime);
    bench::FillTasks(tasks, [&](int i) {
      bench::Task task;
      task.time = time(rng);
      task.active = i % 10 == 0 ? 0 : 1;
      task.name = "Úloha " + std::to_string(i + 1);
      return task;
    });
  }
  ~TaskFolder() {
    fs::current_path(old_);
    fs::remove_all(dir_);
  }
  TaskFolder(const TaskFolder&) = delete;
  TaskFolder& operator=(const TaskFolder&) = delete;

 private:
  fs::path dir_, old_;
};

// One full reading in the order of a key (-1: file order); the records met.
int64_t ReadAll(TaskFile& t, int key) {
  if ((key < 0 ? t.SetFileOrder() : t.SetKeyOrder(key)) != 0) std::abort();
  int64_t n = 0;
  while (t.Next() == 0) ++n;
  return n;
}

void BM_ReadInKeyOrder(benchmark::State& state) {
  TaskFolder folder(kTasks);
  TaskFile t(app::data::TasksDecl());
  if (t.Open() != 0) std::abort();
  const int key = static_cast<int>(state.range(0));
  int64_t met = 0;
  for (auto _ : state) met = ReadAll(t, key);
  state.counters["records"] = static_cast<double>(met);
  state.counters["per_record"] = benchmark::Counter(static_cast<double>(met),
                                                    benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
}
BENCHMARK(BM_ReadInKeyOrder)
    ->ArgName("key")
    ->Arg(app::data::TAS_KeyAkt_Cas)
    ->Arg(app::data::TAS_KeyNazev)
    ->Arg(-1)
    ->Unit(benchmark::kMillisecond);

// The same reading with the bare SQLite API: one statement stepped, every
// column fetched. What the record file adds is the difference.
void BM_ReadInKeyOrderBareSqlite(benchmark::State& state) {
  TaskFolder folder(kTasks);
  sqlite3* db = nullptr;
  if (sqlite3_open_v2("Tasks.tps", &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) std::abort();
  sqlite3_create_collation_v2(db, platform::rec::kCzNoCase, SQLITE_UTF8, nullptr, platform::rec::CollateCzNoCase,
                              nullptr);
  sqlite3_stmt* st = nullptr;
  const char* sql =
      "SELECT rowid, * FROM records WHERE NOT (\"TAS:AKTIVNI\" = 0 AND \"TAS:CAS_SPUSTENI\" = 0) "
      "ORDER BY \"TAS:AKTIVNI\", \"TAS:CAS_SPUSTENI\", rowid";
  if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) std::abort();
  const int columns = sqlite3_column_count(st);
  int64_t met = 0, sum = 0;
  for (auto _ : state) {
    met = 0;
    sqlite3_reset(st);
    while (sqlite3_step(st) == SQLITE_ROW) {
      ++met;
      for (int c = 0; c < columns; ++c) {
        if (sqlite3_column_type(st, c) == SQLITE_TEXT) sum += sqlite3_column_bytes(st, c);
        else sum += sqlite3_column_int64(st, c);
      }
    }
  }
  benchmark::DoNotOptimize(sum);
  sqlite3_finalize(st);
  sqlite3_close(db);
  state.counters["records"] = static_cast<double>(met);
  state.counters["per_record"] = benchmark::Counter(static_cast<double>(met),
                                                    benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
}
BENCHMARK(BM_ReadInKeyOrderBareSqlite)->Unit(benchmark::kMillisecond);

long ResidentKb() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// Resident memory after the first full reading and its lowest and highest
// over the nine after it (freed memory goes back and forth between the
// allocator and the system, so single values alternate).
void BM_ResidentMemoryOverReadings(benchmark::State& state) {
  TaskFolder folder(kTasks);
  TaskFile t(app::data::TasksDecl());
  if (t.Open() != 0) std::abort();
  long first = 0, low = 0, high = 0;
  for (auto _ : state) {
    ReadAll(t, app::data::TAS_KeyAkt_Cas);
    first = ResidentKb();
    low = high = 0;
    for (int i = 0; i < 9; ++i) {
      ReadAll(t, app::data::TAS_KeyAkt_Cas);
      const long now = ResidentKb();
      low = low == 0 || now < low ? now : low;
      high = now > high ? now : high;
    }
  }
  state.counters["rss_after_1_kB"] = static_cast<double>(first);
  state.counters["rss_2_to_10_min_kB"] = static_cast<double>(low);
  state.counters["rss_2_to_10_max_kB"] = static_cast<double>(high);
}
BENCHMARK(BM_ResidentMemoryOverReadings)->Iterations(1)->Unit(benchmark::kMillisecond);

// Another connection holds the file for writing; an add (or an open) with
// "Recover=N" is refused after N units of 20 ms.
void BM_RefusedWhileAnotherWrites(benchmark::State& state) {
  TaskFolder folder(10);
  const int recover = static_cast<int>(state.range(0));
  const bool open = state.range(1) != 0;
  const auto unit = platform::rec::LockRecoveryUnit();
  platform::rec::SetLockRecoveryUnit(std::chrono::milliseconds(20));
  TaskFile t(app::data::TasksDecl());
  if (t.Open() != 0) std::abort();
  sqlite3* holder = nullptr;
  sqlite3_open_v2("Tasks.tps", &holder, SQLITE_OPEN_READWRITE, nullptr);
  if (sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) != SQLITE_OK) std::abort();
  t.Send("Recover=" + std::to_string(recover));
  if (open) t.Close();
  for (auto _ : state) {
    if (open) {
      if (t.Open() != platform::locale::AccessDenied) std::abort();
    } else {
      t.ClearBuffer();
      if (t.Add() != platform::locale::AccessDenied) std::abort();
    }
  }
  sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(holder);
  platform::rec::SetLockRecoveryUnit(unit);
}
BENCHMARK(BM_RefusedWhileAnotherWrites)
    ->ArgNames({"recover", "open"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({10, 0})
    ->Args({10, 1})
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
