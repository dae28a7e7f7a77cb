// Fake programs for the tests of the program start: shell scripts in a
// temporary folder that hand over to the run probe (run_probe.cpp), which
// reports what it was given and then waits on a fifo until the test lets it
// end. Also the process's environment and signal state for such a test.
#pragma once

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/thread.h"
#include "tests/support/tempdir.h"

namespace testsupport {

// What one started probe reported.
struct ProbeReport {
  std::string name;
  pid_t pid = 0, ppid = 0, sid = 0;
  std::string sigBlk, sigIgn;
  std::vector<std::pair<int, std::string>> fds;
};

class FakePrograms {
 public:
  FakePrograms() : bin_(dir_.file("bin")), fifo_(dir_.file("fifo")), report_(dir_.file("report")) {
    std::filesystem::create_directory(bin_);
    EXPECT_EQ(::mkfifo(fifo_.c_str(), 0600), 0);
  }
  const std::string& bin() const { return bin_; }
  std::string folder(const std::string& name) const {
    std::filesystem::create_directories(dir_.file(name));
    return dir_.file(name);
  }

  // A script named name in folder (bin by default) that becomes the probe.
  void Add(const std::string& name, std::string folder = "") {
    if (folder.empty()) folder = bin_;
    const std::string path = folder + "/" + name;
    WriteFile(path, "#!/bin/sh\nexec '" VELORN_RUN_PROBE "' '" + name + "' '" + report_ + "' '" + fifo_ + "'\n");
    ::chmod(path.c_str(), 0755);
  }

  // Every probe started so far, as reported.
  std::vector<ProbeReport> Reports() const {
    std::vector<ProbeReport> all;
    std::istringstream in(ReadFile(report_));
    for (std::string word; in >> word;) {
      if (word == "start") {
        all.emplace_back();
        in >> all.back().name >> all.back().pid >> all.back().ppid >> all.back().sid;
      } else if (word == "SigBlk:") {
        in >> all.back().sigBlk;
      } else if (word == "SigIgn:") {
        in >> all.back().sigIgn;
      } else if (word == "fd") {
        all.back().fds.emplace_back();
        in >> all.back().fds.back().first >> all.back().fds.back().second;
      }
    }
    return all;
  }

  // Lets the probe that waits on the fifo end and awaits its end: opens the
  // fifo for writing, which waits until the probe has opened it (at most
  // 30 s), takes the probe's pid from its report, closes the fifo and awaits
  // the probe's exit. Its report, or nothing when no probe came or ended.
  std::optional<ProbeReport> Release() {
    struct sigaction wake {}, before {};
    wake.sa_handler = [](int) {};
    ::sigaction(SIGALRM, &wake, &before);  // without SA_RESTART: the open gives up
    ::alarm(30);
    const int fd = ::open(fifo_.c_str(), O_WRONLY | O_CLOEXEC);
    ::alarm(0);
    ::sigaction(SIGALRM, &before, nullptr);
    if (fd < 0) {
      ADD_FAILURE() << "no program opened the fifo: " << errno;
      return std::nullopt;
    }
    std::vector<ProbeReport> all = Reports();
    const int pidfd = all.empty() ? -1 : static_cast<int>(::syscall(SYS_pidfd_open, all.back().pid, 0));
    ::close(fd);
    if (pidfd < 0) {
      ADD_FAILURE() << "no report of the probe that opened the fifo";
      return std::nullopt;
    }
    pollfd p{pidfd, POLLIN, 0};
    const int ready = ::poll(&p, 1, 30000);
    ::close(pidfd);
    if (ready != 1) {
      ADD_FAILURE() << "the probe did not end";
      return std::nullopt;
    }
    return all.back();
  }

 private:
  TempDir dir_;
  std::string bin_, fifo_, report_;
};

// Children of this process that are zombies.
inline std::vector<pid_t> ZombieChildren() {
  std::vector<pid_t> zombies;
  for (const auto& e : std::filesystem::directory_iterator("/proc")) {
    const std::string name = e.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string stat = ReadFile(e.path().string() + "/stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    long ppid = 0;
    std::istringstream(stat.substr(close + 1)) >> state >> ppid;
    if (ppid == ::getpid() && state == 'Z') zombies.push_back(std::stoi(name));
  }
  return zombies;
}

// PATH for a scope.
class ScopedPath {
 public:
  explicit ScopedPath(const std::string& path) {
    if (const char* p = ::getenv("PATH")) before_ = p;
    ::setenv("PATH", path.c_str(), 1);
  }
  ~ScopedPath() {
    if (before_) ::setenv("PATH", before_->c_str(), 1);
    else ::unsetenv("PATH");
  }
  ScopedPath(const ScopedPath&) = delete;
  ScopedPath& operator=(const ScopedPath&) = delete;

 private:
  std::optional<std::string> before_;
};

// The program's signal state for a scope: the signals it reads itself
// blocked and SIGPIPE ignored, as platform::BlockSignals leaves every thread.
class ScopedProgramSignals {
 public:
  ScopedProgramSignals() {
    ::pthread_sigmask(SIG_SETMASK, nullptr, &mask_);
    ::sigaction(SIGPIPE, nullptr, &pipe_);
    platform::BlockSignals();
  }
  ~ScopedProgramSignals() {
    ::pthread_sigmask(SIG_SETMASK, &mask_, nullptr);
    ::sigaction(SIGPIPE, &pipe_, nullptr);
  }
  ScopedProgramSignals(const ScopedProgramSignals&) = delete;
  ScopedProgramSignals& operator=(const ScopedProgramSignals&) = delete;

 private:
  sigset_t mask_;
  struct sigaction pipe_ {};
};

}  // namespace testsupport
