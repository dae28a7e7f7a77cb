// velorn-devsim: the simulated relay board and microphone console on a
// pseudo-terminal, for running Velorn without the installation.
//
//   velorn-devsim [answer|echo|silent|garbage|stream LINE]
//
// Prints the terminal's path as its first line; start Velorn in another
// shell with VELORN_COM1 set to that path (COM1 is the default port):
//   VELORN_COM1=/dev/pts/N scripts/run.sh
// Then prints one line per command received: the baud rate, a blank and the
// command with control characters written as \r, \xNN.
// Standard input: a digit sets the console state (the MIC switch and ON-AIR
// key: 0 none, 1 ON-AIR, 2 MIC, 3 both); a, e, s, n, g, t switch to answer,
// echo, silent, not reading, garbage, stream. Ends when standard input
// closes or on SIGTERM, SIGINT or SIGHUP.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/devsim.h"

namespace {

void WriteLine(const std::string& line) {
  size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(STDOUT_FILENO, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

std::string Escaped(const std::string& s) {
  std::string r;
  for (unsigned char c : s) {
    if (c == '\r') r += "\\r";
    else if (c == '\n') r += "\\n";
    else if (c == '\\') r += "\\\\";
    else if (c < 0x20 || c >= 0x7f) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      r += hex;
    } else r += static_cast<char>(c);
  }
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  sigset_t set;
  sigemptyset(&set);
  for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&set, s);
  sigprocmask(SIG_BLOCK, &set, nullptr);  // before the simulator's thread starts
  signal(SIGPIPE, SIG_IGN);
  const int sigfd = ::signalfd(-1, &set, SFD_CLOEXEC);

  devsim::DeviceSimulator sim;
  if (argc >= 2) {
    const std::string mode = argv[1];
    if (mode == "answer") sim.SetMode(devsim::Mode::Answer);
    else if (mode == "echo") sim.SetMode(devsim::Mode::Echo);
    else if (mode == "silent") sim.SetMode(devsim::Mode::Silent);
    else if (mode == "garbage") sim.SetMode(devsim::Mode::Garbage);
    else if (mode == "stream" && argc >= 3) {
      sim.SetStreamLine(argv[2]);
      sim.SetMode(devsim::Mode::Stream);
    } else {
      std::fprintf(stderr, "usage: velorn-devsim [answer|echo|silent|garbage|stream LINE]\n");
      return 2;
    }
  }
  sim.SetCommandListener(
      [](const devsim::Command& c) { WriteLine(std::to_string(c.baud) + " " + Escaped(c.text) + "\n"); });
  if (!sim.Start()) {
    std::fprintf(stderr, "velorn-devsim: cannot open a pseudo-terminal: %s\n", std::strerror(errno));
    return 1;
  }
  WriteLine(sim.SlavePath() + "\n");

  for (;;) {
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {sigfd, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents & POLLIN) break;
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      char buf[256];
      const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      for (ssize_t i = 0; i < n; ++i) {
        const char c = buf[i];
        if (c >= '0' && c <= '9') sim.SetConsoleState(c);
        else if (c == 'a') sim.SetMode(devsim::Mode::Answer);
        else if (c == 'e') sim.SetMode(devsim::Mode::Echo);
        else if (c == 's') sim.SetMode(devsim::Mode::Silent);
        else if (c == 'n') sim.SetMode(devsim::Mode::NotReading);
        else if (c == 'g') sim.SetMode(devsim::Mode::Garbage);
        else if (c == 't') sim.SetMode(devsim::Mode::Stream);
      }
    }
  }
  sim.Stop();
  return 0;
}
