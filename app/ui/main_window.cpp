#include "app/ui/main_window.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <string_view>
#include <thread>

#include "app/globals.h"
#include "app/program.h"
#include "app/ui/engine_host.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "platform/winproc.h"
#include "service/winlist.h"

namespace app::ui {

namespace {

namespace pui = platform::ui;

int EndEvent() {
  static const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  return fd;
}

void Say(std::string_view line) { [[maybe_unused]] const ssize_t n = ::write(STDOUT_FILENO, line.data(), line.size()); }

// Until the real main window exists: the engine's host, with the main
// window's class and caption, reporting what reaches it.
class StandIn : public EngineHost {
 public:
  std::function<void()> opened;

  int OnWindowEvent() override {
    switch (Win().EventNumber()) {
      case pui::EVENT::OpenWindow: {
        if (opened) opened();
        const int r = EngineHost::OnWindowEvent();
        Say("velorn: ready\n");
        return r;
      }
      case pui::EVENT::Restored:
        Say("velorn: restored\n");
        break;
      case pui::EVENT::GainFocus:
        Say("velorn: front\n");
        break;
      default:
        break;
    }
    return EngineHost::OnWindowEvent();
  }
};

// Turns SIGTERM, SIGINT, SIGHUP and RequestMainEnd into a close-down of the
// window until stop is signalled.
void WatchForEnd(int sfd, int stop, int thread, pui::WindowId window) {
  pollfd fds[3] = {{sfd, POLLIN, 0}, {EndEvent(), POLLIN, 0}, {stop, POLLIN, 0}};
  for (;;) {
    const int n = ::poll(fds, 3, -1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || fds[2].revents != 0) return;
    if (fds[0].revents != 0) {
      signalfd_siginfo si;
      [[maybe_unused]] const ssize_t r = ::read(sfd, &si, sizeof si);
    }
    if (fds[1].revents != 0) {
      uint64_t v;
      [[maybe_unused]] const ssize_t r = ::read(EndEvent(), &v, sizeof v);
    }
    pui::PostToWindow(thread, window, pui::EVENT::CloseDown);
  }
}

}  // namespace

void RequestMainEnd() {
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(EndEvent(), &one, sizeof one);
}

void Main() {
  if (GCU == 0) GCU = 1;

  pui::View& before = pui::ThreadView();
  if (!before.Interactive()) pui::SetThreadView(&pui::SharedNativeHeadlessView());

  sigset_t set;
  sigemptyset(&set);
  for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&set, s);
  // In service mode (Main on the service's worker) the signals belong to
  // the service dispatcher on the first thread.
  const int sfd = platform::IsFirstThread() ? ::signalfd(-1, &set, SFD_CLOEXEC) : -1;
  const int stop = ::eventfd(0, EFD_CLOEXEC);

  std::thread watcher;
  {
    StandIn c;
    pui::Window& w = c.Win();
    pui::SetWindowClass(w, service::MainWindowClass(InstanceName));
    w.SetText(CaptionText);
    c.opened = [&] {
      service::StartWindowListServer();
      watcher = std::thread(WatchForEnd, sfd, stop, w.ThreadNumber(), w.Id());
    };
    c.Run();
  }

  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(stop, &one, sizeof one);
  if (watcher.joinable()) watcher.join();
  uint64_t pending;
  [[maybe_unused]] ssize_t r = ::read(EndEvent(), &pending, sizeof pending);
  service::StopWindowListServer();
  pui::SetThreadView(&before);
  if (sfd >= 0) ::close(sfd);
  if (stop >= 0) ::close(stop);
}

}  // namespace app::ui
