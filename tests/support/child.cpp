#include "tests/support/child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

int Remaining(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

}  // namespace

Child::Child(const std::string& exe, const std::vector<std::string>& args, const ChildOptions& opts) {
  int pin[2], pout[2], perr[2];
  if (::pipe2(pin, O_CLOEXEC) != 0 || ::pipe2(pout, O_CLOEXEC) != 0 || ::pipe2(perr, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");

  std::vector<std::string> envStore;
  for (char** e = environ; *e; ++e) {
    const std::string entry(*e);
    const std::string name = entry.substr(0, entry.find('='));
    if (opts.cleanEnv && !name.ends_with("SAN_OPTIONS")) continue;
    bool replaced = false;
    for (const auto& o : opts.env)
      if (o.substr(0, o.find('=')) == name) replaced = true;
    if (!replaced) envStore.push_back(entry);
  }
  for (const auto& o : opts.env) envStore.push_back(o);
  std::vector<char*> envp;
  for (auto& s : envStore) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> argStore{exe};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& s : argStore) argv.push_back(s.data());
  argv.push_back(nullptr);

  const pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    ::dup2(pin[0], 0);
    ::dup2(pout[1], 1);
    ::dup2(perr[1], 2);
    // A test that dies takes its children with it: a program left behind
    // would go on trying its port, by then another test's terminal.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(126);
    // The child starts with no signal blocked, as from a shell.
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (!opts.cwd.empty() && ::chdir(opts.cwd.c_str()) != 0) ::_exit(126);
    ::execve(exe.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(pin[0]);
  ::close(pout[1]);
  ::close(perr[1]);
  in_ = pin[1];
  outFd_ = pout[0];
  errFd_ = perr[0];
  if (!opts.pipeStdin) CloseStdin();
}

Child::~Child() {
  if (!reaped_ && pid_ > 0) {
    ::kill(pid_, SIGKILL);
    int st;
    ::waitpid(pid_, &st, 0);
  }
  for (int fd : {in_, outFd_, errFd_})
    if (fd >= 0) ::close(fd);
}

void Child::Pump(int timeoutMs) {
  pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
  if (::poll(fds, 2, timeoutMs) <= 0) return;
  char buf[4096];
  for (int i = 0; i < 2; ++i) {
    if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
    int& fd = i == 0 ? outFd_ : errFd_;
    if (n <= 0) {
      ::close(fd);
      fd = -1;
    } else {
      (i == 0 ? out_ : err_).append(buf, static_cast<size_t>(n));
    }
  }
}

bool Child::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (out_.find(text) == std::string::npos) {
    if (outFd_ < 0 || Clock::now() >= deadline) return false;
    Pump(Remaining(deadline));
  }
  return true;
}

void Child::Signal(int sig) {
  if (!reaped_) ::kill(pid_, sig);
}

void Child::CloseStdin() {
  if (in_ >= 0) ::close(in_);
  in_ = -1;
}

int Child::Wait(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (outFd_ >= 0 || errFd_ >= 0) {
    if (Clock::now() >= deadline) return -1;
    Pump(Remaining(deadline));
  }
  while (!reaped_) {
    int st = 0;
    const pid_t r = ::waitpid(pid_, &st, WNOHANG);
    if (r == pid_) {
      reaped_ = true;
      status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
      break;
    }
    if (Clock::now() >= deadline) return -1;
    // Streams are closed; the exit follows at once.
    ::poll(nullptr, 0, 5);
  }
  return status_;
}

bool PrivateMountsWork() {
  static const bool works = [] {
    Child c(kUnshare, {"-m", "--propagation", "private", "/bin/sh", "-c", "mount --bind / /"});
    return c.Wait(std::chrono::seconds(10)) == 0;
  }();
  return works;
}

std::vector<std::string> InPrivateMounts(const std::string& mounts, const std::string& cwd, const std::string& exe,
                                         const std::vector<std::string>& args) {
  std::vector<std::string> a = {"-m", "--propagation", "private", "/bin/sh", "-c",
                                mounts + " && cd \"$1\" && shift && exec \"$@\"", "sh", cwd, exe};
  a.insert(a.end(), args.begin(), args.end());
  return a;
}

std::vector<std::string> ProgramEnv(const std::string& runtimeDir) {
  // No display: the program runs headless, its boxes answer at once. No
  // service manager, and no unit folder but a missing one in the runtime
  // folder: "/IS" never reaches the system's.
  return {"XDG_RUNTIME_DIR=" + runtimeDir,
          "VELORN_MSGBOX_ANSWERS=",
          "QT_QPA_PLATFORM=",
          "DISPLAY=",
          "WAYLAND_DISPLAY=",
          "NOTIFY_SOCKET=",
          "VELORN_UNIT_DIR=" + runtimeDir + "/no-unit-folder"};
}

void SetEnv(std::vector<std::string>& env, const std::string& entry) {
  const std::string name = entry.substr(0, entry.find('='));
  for (auto& e : env)
    if (e.substr(0, e.find('=')) == name) {
      e = entry;
      return;
    }
  env.push_back(entry);
}

int Shell(const std::string& command, std::string* output) {
  output->clear();
  FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (!p) return -1;
  char buf[512];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) output->append(buf, n);
  const int st = ::pclose(p);
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

namespace {
std::string ShellQuoted(const std::string& s) {
  std::string quoted = "'";
  for (char c : s) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}
}  // namespace

bool ReadWithSqliteTool(const std::string& dbFile) {
  std::string out;
  return Shell("sqlite3 " + ShellQuoted(dbFile) + " 'SELECT count(*) FROM sqlite_master'", &out) == 0;
}

bool VerifyUnit(const std::string& unitFile, int* status, std::string* output) {
  if (Shell("command -v systemd-analyze", output) != 0) return false;
  *status = Shell("systemd-analyze verify " + ShellQuoted(unitFile), output);
  return true;
}

}  // namespace testsupport
