#include "platform/signals.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

namespace platform {

namespace {

struct Watch {
  std::mutex mutex;  // route, waiting
  SignalRoute route;
  std::deque<int> waiting;
  std::mutex life;  // thread, fds
  std::thread thread;
  int sfd = -1, stop = -1;
};

Watch& W() {
  static Watch* w = new Watch;  // outlives every thread
  return *w;
}

void Deliver(int signo) {
  Watch& w = W();
  SignalRoute route;
  {
    std::lock_guard lock(w.mutex);
    if (!w.route) {
      w.waiting.push_back(signo);
      return;
    }
    route = w.route;
  }
  route(signo);
}

void Run(int sfd, int stop) {
  pollfd fds[2] = {{sfd, POLLIN, 0}, {stop, POLLIN, 0}};
  for (;;) {
    const int n = ::poll(fds, 2, -1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || fds[1].revents != 0) return;
    signalfd_siginfo si;
    if (::read(sfd, &si, sizeof si) == static_cast<ssize_t>(sizeof si)) Deliver(static_cast<int>(si.ssi_signo));
  }
}

}  // namespace

bool StartSignalWatch() {
  Watch& w = W();
  std::lock_guard lock(w.life);
  if (w.thread.joinable()) return true;
  sigset_t set;
  sigemptyset(&set);
  for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&set, s);
  w.sfd = ::signalfd(-1, &set, SFD_CLOEXEC);
  w.stop = ::eventfd(0, EFD_CLOEXEC);
  if (w.sfd >= 0 && w.stop >= 0) {
    try {
      w.thread = std::thread(Run, w.sfd, w.stop);
      return true;
    } catch (const std::system_error&) {
    }
  }
  if (w.sfd >= 0) ::close(w.sfd);
  if (w.stop >= 0) ::close(w.stop);
  w.sfd = w.stop = -1;
  return false;
}

void StopSignalWatch() {
  Watch& w = W();
  std::lock_guard lock(w.life);
  if (!w.thread.joinable()) return;
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(w.stop, &one, sizeof one);
  w.thread.join();
  ::close(w.sfd);
  ::close(w.stop);
  w.sfd = w.stop = -1;
}

void SetSignalRoute(SignalRoute route) {
  Watch& w = W();
  std::deque<int> waited;
  {
    std::lock_guard lock(w.mutex);
    w.route = route;
    if (route) waited.swap(w.waiting);
  }
  for (int s : waited) route(s);
}

}  // namespace platform
