// Refilling a list in the task list's format over Tasks.tps: in the key
// order (as after a scheduler run), through the active-only filter, and
// sorted by clicked headers (description, then time; also through the
// filter), among 100 and among
// 100,000 stored tasks; time per refill and the resident memory it takes.
// The cost should follow the rows shown, not the tasks stored. Then the
// main window's own task list (app/ui/main_lists.h) the same way: its
// refill after a scheduler run (the engine's refresh hook), after the
// active-only filter and after a header sort.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/data/records.h"
#include "app/ui/main_lists.h"
#include "app/ui/main_window.h"
#include "bench/fill_tasks.h"
#include "platform/recordlist.h"
#include "platform/stdtime.h"
#include "platform/text.h"

namespace {

using namespace app::data;
namespace pu = platform::ui;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr const char* kFormat =
    "12C|I~A~@n3@24R(2)|*~Čas~C(0)@t7@36C|*~Opakování~@s5@48C|*~První spuštění~@d17@204L(2)|M*~Popis "
    "úlohy~@s50@40L(2)|*~Naposledy spuštěno~@d17B@";
constexpr int kPage = 30;  // rows a tall list shows

// n tasks over the day, a tenth inactive, with Czech descriptions.
void Fill(int n) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int32_t> time(1, platform::kLastTime);
  const char* words[] = {"Hlášení", "čištění", "Oběd", "směna", "Údržba", "evakuace", "Zkouška", "řízení"};
  bench::FillTasks(n, [&](int i) {
    std::string name = std::string(words[rng() % 8]) + " " + std::to_string(rng() % 100000);
    return bench::Task{i % 10 == 0 ? 0 : 1, time(rng), std::move(name)};
  });
}

long ResidentKb() {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}

struct Figures {
  double keyOrder = 0, filtered = 0, sorted = 0, sortedName = 0, sortedActive = 0;
  long residentKb = 0;
};

// Microseconds per refill, over reps refills.
template <class F>
double Per(int reps, pu::RecordList& list, F&& prepare) {
  prepare();
  list.Refill();  // warm-up
  const auto start = Clock::now();
  for (int i = 0; i < reps; ++i) {
    prepare();
    list.Refill();
  }
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / reps;
}

Figures Measure(int stored) {
  const fs::path dir = fs::temp_directory_path() / ("velorn-bench-lists-" + std::to_string(stored));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path old = fs::current_path();
  fs::current_path(dir);
  Figures out;
  {
    platform::rec::File<TasksRecord> t(TasksDecl());
    if (t.Create() != 0) std::abort();
    Fill(stored);
    if (t.Open() != 0) std::abort();
    const long before = ResidentKb();
    pu::Window w("Main");
    w.Add(pu::ControlKind::List, "?LIST");
    pu::RecordList list;
    if (!list.Init(w, "?LIST", kFormat)) std::abort();
    list.SetFile(t);
    for (const char* f : {"TAS:AKTIVNI", "", "TAS:CAS_SPUSTENI", "", "", "", "", "", "", "", "", "", "TAS:DATUM_SPUSTENI",
                          "", "", "", "", "TAS:NAZEV", "", "", "", "", "TAS:POSLEDNI_SPUSTENI", "", "", "", "", "TAS:ID"})
      *f ? list.AddFileField(f) : list.AddField("", [] { return pu::Value(int64_t{-1}); });
    list.SetItems(kPage);
    list.AddSortOrder(TAS_KeyCas);
    list.Refill();
    list.Select(kPage / 2);
    constexpr int kReps = 40;
    out.keyOrder = Per(kReps, list, [] {});
    out.filtered = Per(kReps, list, [&] { list.SetFilter("TAS:Aktivni=1"); });
    list.SetFilter("");
    out.sorted = Per(kReps, list, [&] { list.SetOrderText("-UPPER(TAS:NAZEV),+TAS:CAS_SPUSTENI"); });
    out.sortedName = Per(kReps, list, [&] { list.SetOrderText("+UPPER(TAS:NAZEV)"); });
    out.sortedActive = Per(kReps, list, [&] {
      list.SetFilter("TAS:Aktivni=1");
      list.SetOrderText("-UPPER(TAS:NAZEV),+TAS:CAS_SPUSTENI");
    });
    list.SetFilter("");
    if (list.Rows() != std::min(kPage, stored)) std::fprintf(stderr, "unexpected page of %d rows\n", list.Rows());
    out.residentKb = ResidentKb() - before;
  }
  fs::current_path(old);
  fs::remove_all(dir);
  return out;
}

struct MainFigures {
  double afterRun = 0, filtered = 0, sorted = 0;
  long residentKb = 0;
};

// Microseconds per call of f, over reps calls.
template <class F>
double PerCall(int reps, F&& f) {
  f();  // warm-up
  const auto start = Clock::now();
  for (int i = 0; i < reps; ++i) f();
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / reps;
}

// The main window's lists on a window of their controls (not opened: the
// refills are what is measured), over the thread's files.
MainFigures MeasureMain(int stored) {
  const fs::path dir = fs::temp_directory_path() / ("velorn-bench-main-lists-" + std::to_string(stored));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path old = fs::current_path();
  fs::current_path(dir);
  MainFigures out;
  app::data::AttachThreadFiles();
  app::data::ThreadSetUpDataFiles();
  {
    auto& c = app::data::Controllers();
    for (app::data::Controller* ctl : {&c.OUTPUTS, &c.PRESET, &c.TASKS})
      if (ctl->Open() != 0) std::abort();
    Fill(stored);
    const long before = ResidentKb();
    pu::Window w("Main");
    for (const char* l : {"?LIST", "?LIST:2"}) w.Add(pu::ControlKind::List, l);
    w.Add(pu::ControlKind::DropList, "?PRE:NAZEV");
    for (const char* b : {"?INSERT", "?CHANGE", "?COPY", "?INSERT:2", "?CHANGE:2", "?DELETE:2"})
      w.Add(pu::ControlKind::Button, b);
    w["?LIST"].SetLineHeight(10);
    app::ui::MainLocals locals;
    app::ui::MainLists lists;
    lists.SetUp(w, locals, [](int, uint8_t) { return uint8_t{2}; });
    lists.SetUpRest(w);
    lists.Tasks().SetItems(kPage);
    lists.Tasks().Select(kPage / 2);
    constexpr int kReps = 40;
    out.afterRun = PerCall(kReps, [&] { lists.RefreshTaskList(); });
    lists.SetTaskFilter(true);
    out.filtered = PerCall(kReps, [&] { lists.RefreshTaskList(); });
    lists.SetTaskFilter(false);
    out.sorted = PerCall(kReps, [&] { lists.TaskListSortHeader().ApplySortOrder("-UPPER(TAS:NAZEV),+TAS:CAS_SPUSTENI"); });
    if (lists.Tasks().Rows() != std::min(kPage, stored))
      std::fprintf(stderr, "unexpected page of %d rows\n", lists.Tasks().Rows());
    out.residentKb = ResidentKb() - before;
    for (app::data::Controller* ctl : {&c.OUTPUTS, &c.PRESET, &c.TASKS}) ctl->Close();
  }
  app::data::ReleaseDataFiles();
  app::data::DetachThreadFiles();
  fs::current_path(old);
  fs::remove_all(dir);
  return out;
}

}  // namespace

int main() {
  const Figures small = Measure(100);
  const Figures large = Measure(100000);
  auto line = [](const char* what, double a, double b) {
    std::printf("list refill, %s: %.2f ms among 100 tasks, %.2f ms among 100000 tasks (goal < 20 ms)\n", what,
                a / 1000, b / 1000);
  };
  line("key order", small.keyOrder, large.keyOrder);
  line("active only", small.filtered, large.filtered);
  line("sorted by description and time", small.sorted, large.sorted);
  line("sorted by description", small.sortedName, large.sortedName);
  line("sorted by description and time, active only", small.sortedActive, large.sortedActive);
  std::printf("list refill, resident memory taken: %ld kB among 100 tasks, %ld kB among 100000 tasks\n",
              small.residentKb, large.residentKb);
  const MainFigures mainSmall = MeasureMain(100);
  const MainFigures mainLarge = MeasureMain(100000);
  auto mainLine = [](const char* what, double a, double b) {
    std::printf("main task list refill, %s: %.2f ms among 100 tasks, %.2f ms among 100000 tasks (goal < 20 ms)\n",
                what, a / 1000, b / 1000);
  };
  mainLine("after a scheduler run", mainSmall.afterRun, mainLarge.afterRun);
  mainLine("after the active-only filter", mainSmall.filtered, mainLarge.filtered);
  mainLine("after a header sort", mainSmall.sorted, mainLarge.sorted);
  std::printf("main task list refill, resident memory taken: %ld kB among 100 tasks, %ld kB among 100000 tasks\n",
              mainSmall.residentKb, mainLarge.residentKb);
  return 0;
}
