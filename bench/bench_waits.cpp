// How long the waits take that the tests await or bound only from below:
// reads and writes on a serial port, a close that joins a port's threads,
// the drain against a device that keeps sending, an idle event loop and
// one flooded with posted events, a send to a busy window thread, the
// window list with a silent process, a record file held by another
// connection. Figures, not pass/fail: each line names what it is compared
// with.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <sqlite3.h>

#include "app/data/records.h"
#include "platform/eventloop.h"
#include "platform/recordfile.h"
#include "platform/window.h"
#include "platform/winproc.h"
#include "service/winlist.h"
#include "syslib/drain.h"
#include "syslib/serial.h"
#include "tools/devsim.h"

namespace {

using Steady = std::chrono::steady_clock;
namespace fs = std::filesystem;
namespace pu = platform::ui;

double Ms(Steady::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double ThreadCpuMs() {
  timespec ts{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

void SerialPort() {
  devsim::DeviceSimulator sim;
  if (!sim.Start()) return;
  sim.SetMode(devsim::Mode::Silent);
  ::setenv("VELORN_COM1", sim.SlavePath().c_str(), 1);

  const syslib::LONG h = syslib::NewPort("COM1:9600,n,8,1", 0, 1, 0, 1, 0);
  std::array<char, 128> buf;
  std::vector<double> us;
  for (int i = 0; i < 1000; ++i) {
    const auto t0 = Steady::now();
    syslib::ReadPort(h, buf, 0);
    us.push_back(Ms(Steady::now() - t0) * 1000);
  }
  std::sort(us.begin(), us.end());
  std::printf("  ReadPort on a quiet port: median %.1f us, worst %.1f us (never waits)\n", us[us.size() / 2],
              us.back());

  sim.SetMode(devsim::Mode::NotReading);
  devsim::FillOutput(h);
  auto t0 = Steady::now();
  syslib::WritePort(h, "x", 1);
  std::printf("  WritePort of 1 byte to a device that stopped reading: %.0f ms (limit 1000 + 1000 per byte)\n",
              Ms(Steady::now() - t0));
  syslib::ClosePort(h);

  const syslib::LONG o = syslib::NewPort("COM1:9600,n,8,1", 0, 1, 0, 1, 1);
  devsim::FillOutput(o);
  syslib::WritePort(o, "x\r", 0);
  syslib::WritePort(o, "y\r", 0);
  t0 = Steady::now();
  syslib::ClosePort(o);
  std::printf("  ClosePort with two writes pending, joining its threads: %.1f ms\n", Ms(Steady::now() - t0));
  syslib::KillAllPorts();
  sim.Stop();

  for (const char* line : {"s0\r", "+\r", "+CMT\r\n", "OK\r\n+WIND:\r\n"}) {
    devsim::DeviceSimulator stream;
    if (!stream.Start()) return;
    stream.SetStreamLine(line);
    stream.SetMode(devsim::Mode::Stream);
    ::setenv("VELORN_COM1", stream.SlavePath().c_str(), 1);
    const syslib::LONG d = syslib::NewPort("COM1:9600,n,8,1", 0, 1, 0, 1, 0);
    pollfd p{d, POLLIN, 0};
    ::poll(&p, 1, 2000);
    t0 = Steady::now();
    syslib::ds_EmptyPort(d, 50);
    std::string shown;
    for (const char* c = line; *c; ++c) shown += *c == '\r' ? "\\r" : *c == '\n' ? "\\n" : std::string(1, *c);
    std::printf("  ds_EmptyPort(50) against a stream of \"%s\": %.0f ms (500 + one 300 ms wait at most; "
                "a gap in the stream ends it sooner)\n",
                shown.c_str(), Ms(Steady::now() - t0));
    syslib::ClosePort(d);
    syslib::ClearGsmIndicationQueue();
  }
  ::unsetenv("VELORN_COM1");
}

struct Ticker : pu::WindowController {
  using WindowController::WindowController;
  std::function<void(Ticker&)> onEvent;
  int period = 5;
  int SetUp() override {
    WindowController::SetUp();
    window().SetTimer(period);
    return pu::kGoOn;
  }
  int OnWindowEvent() override {
    onEvent(*this);
    return WindowController::OnWindowEvent();
  }
};

void EventLoops() {
  {
    pu::Window w;
    Ticker t(w);
    int ticks = 0;
    t.onEvent = [&](Ticker& me) {
      if (me.window().EventNumber() == pu::EVENT::Timer && ++ticks == 4) me.window().Post(pu::EVENT::CloseWindow);
    };
    const double cpu0 = ThreadCpuMs();
    const auto t0 = Steady::now();
    t.Run();
    std::printf("  an idle loop, 4 ticks of 5 hundredths: %.0f ms, CPU %.2f ms (a spinning loop burns it all)\n",
                Ms(Steady::now() - t0), ThreadCpuMs() - cpu0);
  }
  {
    pu::Window w;
    Ticker t(w);
    t.period = 1;
    int ticks = 0, posted = 0;
    constexpr int kUserEvent = pu::EVENT::User + 7;
    t.onEvent = [&](Ticker& me) {
      const int e = me.window().EventNumber();
      if ((e == pu::EVENT::Timer && ++ticks == 3) || ++posted > 2000000) me.window().Post(pu::EVENT::CloseWindow);
      if (e != pu::EVENT::CloseWindow) me.window().Post(kUserEvent);
    };
    const auto t0 = Steady::now();
    t.Run();
    std::printf("  a loop flooded with posted events, 3 ticks of 1 hundredth: %.0f ms, %d events\n",
                Ms(Steady::now() - t0), posted);
  }
}

void SendToABusyThread() {
  std::promise<pu::HWND> opened;
  std::promise<void> release;
  auto released = release.get_future();
  std::thread busy([&] {
    pu::SetThreadView(&pu::SharedNativeHeadlessView());
    {
      pu::Window w;
      w.Open();
      opened.set_value(pu::FrameHandle(w));
      released.wait();
      pu::DispatchNativeMessages();
    }
    pu::SetThreadView(nullptr);
  });
  const pu::HWND h = opened.get_future().get();
  pu::LRESULT r = 0;
  const auto t0 = Steady::now();
  pu::SendMessageTimeout(h, pu::WM_USER + 3, 0, 0, pu::SMTO_NORMAL, 50, &r);
  std::printf("  SendMessageTimeout(50 ms) to a busy thread: %.0f ms\n", Ms(Steady::now() - t0));
  release.set_value();
  busy.join();
}

void WindowListWithASilentPeer(const fs::path& runtime) {
  ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  const std::string path = service::WindowListSocket(0x7ffffff0u);
  if (path.empty()) return;
  fs::create_directories(fs::path(path).parent_path());
  const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  if (::bind(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 || ::listen(s, 4) != 0) {
    ::close(s);
    return;
  }
  const auto t0 = Steady::now();
  service::EnumerateTopWindows();
  std::printf("  the window list with one silent process: %.0f ms (%d ms allowed)\n", Ms(Steady::now() - t0),
              service::kPeerTimeoutMs);
  ::close(s);
  ::unlink(path.c_str());
}

void LockedRecordFile() {
  platform::rec::SetLockRecoveryUnit(std::chrono::milliseconds(20));
  platform::rec::File<app::data::TasksRecord> f(app::data::TasksDecl());
  if (f.Create() != 0) return;
  sqlite3* holder = nullptr;
  sqlite3_open("Tasks.tps", &holder);
  sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
  f.Send("Recover=" + std::to_string(app::data::kLockRecovery));
  const auto t0 = Steady::now();
  const int rc = f.Open();
  std::printf("  opening a record file another connection holds, Recover=%d of 20 ms: %.0f ms, error %d\n",
              app::data::kLockRecovery, Ms(Steady::now() - t0), rc);
  sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(holder);
}

}  // namespace

int main() {
  const fs::path dir = fs::temp_directory_path() / ("velorn-bench-waits-" + std::to_string(::getpid()));
  fs::create_directories(dir / "run");
  const fs::path old = fs::current_path();
  fs::current_path(dir);

  std::printf("waits the tests only await (figures)\n");
  SerialPort();
  EventLoops();
  SendToABusyThread();
  WindowListWithASilentPeer(dir / "run");
  LockedRecordFile();

  fs::current_path(old);
  std::error_code ec;
  fs::remove_all(dir, ec);
  return 0;
}
