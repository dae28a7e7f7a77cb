// A waiting window's cost: a window of the Qt view (offscreen platform)
// whose timer ticks every 10 hundredths, left waiting for 2 seconds. Prints
// the processor time it took per second of waiting and how often the
// dispatcher woke. Goal: near zero processor time; about one wake per tick.
#include <stdlib.h>
#include <time.h>

#include <QAbstractEventDispatcher>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "platform/qt/session.h"
#include "platform/window.h"

namespace {

namespace pu = platform::ui;

// Processor time of the whole process (every thread), user and system.
double CpuSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

constexpr int kWaitMs = 2000;
constexpr int kPeriod = 10;  // hundredths
constexpr double kGoalCpuMsPerSecond = 5.0;

struct Idle final : pu::WindowController {
  using WindowController::WindowController;
  int ticks = 0, waits = 0, waitsAtFirst = 0, waitsAtEnd = 0;
  double cpuAtFirst = 0, cpuAtEnd = 0;
  std::chrono::steady_clock::time_point first, end;
  int OnWindowEvent() override {
    const int e = window().EventNumber();
    if (e == pu::EVENT::Timer && ++ticks == 1) {
      first = std::chrono::steady_clock::now();
      cpuAtFirst = CpuSeconds();
      waitsAtFirst = waits;
    }
    if (e == pu::EVENT::CloseWindow) {
      end = std::chrono::steady_clock::now();
      cpuAtEnd = CpuSeconds();
      waitsAtEnd = waits;
    }
    return WindowController::OnWindowEvent();
  }
};

// The offscreen platform's notes on what it cannot do are not figures.
void QuietOffscreen(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (message.startsWith(QLatin1String("This plugin does not support")) ||
      message.startsWith(QLatin1String("QStandardPaths:")))
    return;
  std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, QMessageLogContext(), message)));
}

}  // namespace

int main() {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  qInstallMessageHandler(QuietOffscreen);
  platform::qt::Session session;
  if (!session.Active()) {
    std::fprintf(stderr, "bench_idle: the toolkit did not start\n");
    return 1;
  }
  double cpuMsPerSecond = 0, wakesPerTick = 0;
  {
    pu::Window w("Okno");
    w.Add(pu::ControlKind::Text, "?T", "Čeká");
    w.SetTimer(kPeriod);
    Idle idle(w);
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     [&idle] { ++idle.waits; });
    QTimer::singleShot(kWaitMs, [&w] { w.Post(pu::EVENT::CloseWindow); });
    idle.Run();
    const double seconds = std::chrono::duration<double>(idle.end - idle.first).count();
    cpuMsPerSecond = (idle.cpuAtEnd - idle.cpuAtFirst) * 1000.0 / seconds;
    wakesPerTick = static_cast<double>(idle.waitsAtEnd - idle.waitsAtFirst) / std::max(1, idle.ticks - 1);
  }
  std::printf("bench_idle: waiting window (tick every %d ms): %.2f ms processor time per second, %.1f waits per tick"
              " (goal: under %.0f ms per second)\n",
              kPeriod * 10, cpuMsPerSecond, wakesPerTick, kGoalCpuMsPerSecond);
  return 0;
}
