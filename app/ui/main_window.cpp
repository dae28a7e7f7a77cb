#include "app/ui/main_window.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "app/globals.h"

namespace app::ui {

namespace {

int EndEvent() {
  static const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  return fd;
}

}  // namespace

void RequestMainEnd() {
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(EndEvent(), &one, sizeof one);
}

void Main() {
  if (GCU == 0) GCU = 1;

  sigset_t set;
  sigemptyset(&set);
  for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&set, s);
  const int sfd = ::signalfd(-1, &set, SFD_CLOEXEC);

  static const char kReady[] = "velorn: ready\n";
  [[maybe_unused]] ssize_t w = ::write(STDOUT_FILENO, kReady, sizeof kReady - 1);

  pollfd fds[2] = {{sfd, POLLIN, 0}, {EndEvent(), POLLIN, 0}};
  for (;;) {
    const int n = ::poll(fds, 2, -1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || (fds[0].revents | fds[1].revents) != 0) break;
  }
  uint64_t v;
  [[maybe_unused]] ssize_t r = ::read(EndEvent(), &v, sizeof v);
  if (sfd >= 0) ::close(sfd);
}

}  // namespace app::ui
