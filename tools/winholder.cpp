// Test helper: a process with headless native windows that other processes
// list, or one that lists them.
//
//   velorn_winholder [--instance] {[--title T] [--class C] [--answer T]
//                    [--hidden] [--iconic] --open}...
//     --instance  holds the instance guard of the current folder, as the
//                 program does (exit 3 when another process holds it); the
//                 windows' class is then that of its main window
//     --answer    the window's procedure answers WM_GETTEXT with T
//   Prints "velorn: ready" once the windows are open and served,
//   "velorn: restored H" and "velorn: front H" when window H is restored or
//   brought to the front; ends when standard input closes or on SIGTERM.
//
//   velorn_winholder --list
//     Prints the window list, one "handle|class|title" line per window.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/program.h"
#include "platform/fsutil.h"
#include "platform/instance_lock.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "platform/winproc.h"
#include "service/winlist.h"

namespace {

namespace pui = platform::ui;

struct Spec {
  std::string title, className, answer;
  bool hasAnswer = false, hidden = false, iconic = false;
};

// Window procedures are plain functions: their state, by handle (main
// thread only).
std::map<pui::HWND, pui::WNDPROC> gPrev;
std::map<pui::HWND, std::string> gAnswers;

void Say(const std::string& line) {
  const std::string s = line + "\n";
  [[maybe_unused]] const ssize_t n = ::write(STDOUT_FILENO, s.data(), s.size());
}

pui::LRESULT Reporting(pui::HWND h, pui::UINT msg, pui::WPARAM wp, pui::LPARAM lp) {
  if (msg == pui::WM_GETTEXT) {
    auto a = gAnswers.find(h);
    if (a != gAnswers.end() && lp != 0 && wp > 0) {
      const std::size_t n = std::min<std::size_t>(a->second.size(), static_cast<std::size_t>(wp - 1));
      std::memcpy(reinterpret_cast<char*>(lp), a->second.data(), n);
      reinterpret_cast<char*>(lp)[n] = '\0';
      return static_cast<pui::LRESULT>(n);
    }
  }
  if (msg == pui::WM_SIZE && wp == pui::SIZE_RESTORED) Say("velorn: restored " + std::to_string(h));
  if (msg == pui::WM_ACTIVATE && wp != pui::WA_INACTIVE) Say("velorn: front " + std::to_string(h));
  return pui::CallWindowProc(gPrev[h], h, msg, wp, lp);
}

int List() {
  service::EnumerateTopWindows();
  for (const auto& e : service::QWin())
    std::printf("%llu|%s|%s\n", static_cast<unsigned long long>(e.handle), e.className.c_str(), e.title.c_str());
  return 0;
}

// Ends the first window's loop when standard input closes or a signal
// comes.
void WatchForEnd(int thread, pui::WindowId window, int stop) {
  sigset_t set;
  sigemptyset(&set);
  for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&set, s);
  const int sfd = ::signalfd(-1, &set, SFD_CLOEXEC);
  pollfd fds[3] = {{STDIN_FILENO, POLLIN, 0}, {sfd, POLLIN, 0}, {stop, POLLIN, 0}};
  for (;;) {
    if (::poll(fds, 3, -1) < 0) continue;
    if (fds[2].revents != 0) break;
    if (fds[0].revents != 0) {
      char buf[256];
      if (::read(STDIN_FILENO, buf, sizeof buf) > 0) continue;
    }
    pui::PostToWindow(thread, window, pui::EVENT::CloseDown);
    break;
  }
  ::close(sfd);
}

}  // namespace

int main(int argc, char** argv) {
  platform::BlockSignals();
  std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] == "--list") return List();

  std::vector<Spec> specs;
  Spec next;
  std::string defaultClass = pui::kDefaultWindowClass;
  long lock = 0;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--instance") {
      const std::string folder = platform::ShortPath();
      const std::string mutex = app::BuildInstanceMutexName(app::BuildMutexSourceText(folder));
      const platform::MutexResult r = platform::CreateInstanceMutex(mutex, folder);
      if (r.error != 0) {
        std::fprintf(stderr, "winholder: the instance guard is held (%ld)\n", r.error);
        return 3;
      }
      lock = r.handle;
      defaultClass = service::MainWindowClass(app::BuildInstanceName(mutex, folder));
    } else if (a == "--title" && hasValue) {
      next.title = args[++i];
    } else if (a == "--class" && hasValue) {
      next.className = args[++i];
    } else if (a == "--answer" && hasValue) {
      next.answer = args[++i];
      next.hasAnswer = true;
    } else if (a == "--hidden") {
      next.hidden = true;
    } else if (a == "--iconic") {
      next.iconic = true;
    } else if (a == "--open") {
      specs.push_back(std::move(next));
      next = Spec();
    } else {
      std::fprintf(stderr, "winholder: unknown argument %s\n", std::string(a).c_str());
      return 2;
    }
  }
  if (specs.empty()) {
    std::fprintf(stderr, "winholder: no window\n");
    return 2;
  }

  pui::SetThreadView(&pui::SharedNativeHeadlessView());
  std::vector<std::unique_ptr<pui::Window>> windows;
  for (const Spec& s : specs) {
    auto w = std::make_unique<pui::Window>();
    pui::SetWindowClass(*w, s.className.empty() ? defaultClass : s.className);
    w->SetText(s.title);
    w->SetHide(s.hidden);
    w->SetIconize(s.iconic);
    w->Open();
    const pui::HWND h = pui::FrameHandle(*w);
    if (s.hasAnswer) gAnswers[h] = s.answer;
    gPrev[h] = pui::SetWindowProc(h, Reporting);
    windows.push_back(std::move(w));
  }
  // The answers of untitled windows go into the list before anyone asks.
  pui::DispatchNativeMessages();
  if (!service::StartWindowListServer()) {
    std::fprintf(stderr, "winholder: no window-list server\n");
    return 1;
  }
  Say("velorn: ready");

  int stop[2];
  if (::pipe2(stop, O_CLOEXEC) != 0) return 1;
  pui::Window& first = *windows.front();
  std::thread watcher(WatchForEnd, first.ThreadNumber(), first.Id(), stop[0]);
  pui::WindowController controller(first);
  controller.Run();
  [[maybe_unused]] const ssize_t n = ::write(stop[1], "x", 1);
  watcher.join();
  service::StopWindowListServer();
  windows.clear();
  if (lock != 0) platform::CloseInstanceMutex(lock);
  return 0;
}
