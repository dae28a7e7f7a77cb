#include "service/scm.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <cstdlib>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "platform/fsutil.h"
#include "platform/signals.h"
#include "syslib/win32error.h"

extern char** environ;

namespace service {

// --- dispatcher

namespace {

constexpr SERVICE_STATUS_HANDLE kStatusHandle = 1;

// Wakes the dispatcher's thread. Shared with the signal route and the
// service's threads, so the descriptor outlives every call that holds it.
class Waker {
 public:
  Waker() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~Waker() {
    if (fd_ >= 0) ::close(fd_);
  }
  Waker(const Waker&) = delete;
  Waker& operator=(const Waker&) = delete;
  int fd() const { return fd_; }
  void Wake() const {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
  }
  void Clear() const {
    uint64_t v;
    [[maybe_unused]] const ssize_t n = ::read(fd_, &v, sizeof v);
  }

 private:
  const int fd_;
};

std::atomic<bool> gDispatching{false};
std::atomic<LPHANDLER_FUNCTION> gHandler{nullptr};
std::atomic<bool> gStatusSent{false};     // the service has reported a state
std::atomic<bool> gStopRequested{false};  // a SIGTERM not yet handed on
std::mutex gWakerMutex;
std::shared_ptr<const Waker> gWaker;

void WakeDispatcher() {
  std::shared_ptr<const Waker> w;
  {
    std::lock_guard lock(gWakerMutex);
    w = gWaker;
  }
  if (w) w->Wake();
}

bool NotifySocketSet() {
  const char* s = std::getenv("NOTIFY_SOCKET");
  return s != nullptr && *s != '\0';
}

const char* StateName(uint32_t state) {
  switch (state) {
    case SERVICE_STOPPED: return "Stopped";
    case SERVICE_START_PENDING: return "Start pending";
    case SERVICE_STOP_PENDING: return "Stop pending";
    case SERVICE_RUNNING: return "Running";
    case SERVICE_CONTINUE_PENDING: return "Continue pending";
    case SERVICE_PAUSE_PENDING: return "Pause pending";
    case SERVICE_PAUSED: return "Paused";
    default: return nullptr;
  }
}

}  // namespace

bool StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* table) {
  if (!NotifySocketSet() || table == nullptr || table[0].lpServiceProc == nullptr) {
    syslib::SetLastError(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
    return false;
  }
  auto waker = std::make_shared<const Waker>();
  if (waker->fd() < 0) {
    syslib::SetLastErrorFromErrno(errno);
    return false;
  }

  gHandler = nullptr;
  gStatusSent = false;
  gStopRequested = false;
  {
    std::lock_guard lock(gWakerMutex);
    gWaker = waker;
  }
  gDispatching = true;
  platform::SetSignalRoute([waker](int signo) {
    if (signo != SIGTERM) return;
    gStopRequested = true;
    waker->Wake();
  });
  auto finish = [] {
    platform::SetSignalRoute(nullptr);
    gDispatching = false;
    gHandler = nullptr;
    gStatusSent = false;
    std::lock_guard lock(gWakerMutex);
    gWaker.reset();
  };

  std::atomic<bool> done{false};
  std::string name = table[0].lpServiceName ? table[0].lpServiceName : "";
  const LPSERVICE_MAIN_FUNCTIONA proc = table[0].lpServiceProc;
  std::thread serviceThread;
  try {
    serviceThread = std::thread([&done, &name, proc, waker] {
      char* argv[] = {name.data(), nullptr};
      proc(1, argv);
      done = true;
      waker->Wake();
    });
  } catch (const std::system_error& e) {
    finish();
    syslib::SetLastErrorFromErrno(e.code().value());
    return false;
  }

  // A stop that comes before the handler and the first report waits for
  // them: the manager hears of the start before it hears of the stop.
  while (!done) {
    pollfd fd = {waker->fd(), POLLIN, 0};
    if (::poll(&fd, 1, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    waker->Clear();
    const LPHANDLER_FUNCTION handler = gHandler;
    if (handler != nullptr && gStatusSent && !done && gStopRequested.exchange(false)) handler(SERVICE_CONTROL_STOP);
  }
  serviceThread.join();
  finish();
  return true;
}

SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerA(const char* /*serviceName*/, LPHANDLER_FUNCTION handler) {
  if (!gDispatching || handler == nullptr) {
    syslib::SetLastError(ERROR_SERVICE_NOT_IN_EXE);
    return 0;
  }
  gHandler = handler;
  WakeDispatcher();
  return kStatusHandle;
}

std::string StatusNotification(const SERVICE_STATUS& status) {
  std::string text;
  if (status.dwCurrentState == SERVICE_RUNNING) text = "READY=1\n";
  else if (status.dwCurrentState == SERVICE_STOP_PENDING) text = "STOPPING=1\n";
  const char* name = StateName(status.dwCurrentState);
  return text + "STATUS=" + (name ? std::string(name) : "State " + std::to_string(status.dwCurrentState));
}

bool SetServiceStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS& status) {
  if (handle != kStatusHandle || gHandler.load() == nullptr) {
    syslib::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  const int r = sd_notify(0, StatusNotification(status).c_str());
  if (!gStatusSent.exchange(true)) WakeDispatcher();
  if (r > 0) return true;
  if (r == 0) syslib::SetLastError(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
  else syslib::SetLastErrorFromErrno(-r);
  return false;
}

// --- events

class EventObject {
 public:
  EventObject(bool manual, bool signalled) : manual_(manual), signalled_(signalled) {}

  // Notifies under the lock: a waiter that wakes may free the event at once.
  void Set() {
    std::lock_guard lock(mutex_);
    signalled_ = true;
    cv_.notify_all();
  }

  bool Wait(uint32_t milliseconds) {
    std::unique_lock lock(mutex_);
    if (!cv_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return signalled_; })) return false;
    if (!manual_) signalled_ = false;
    return true;
  }

 private:
  const bool manual_;
  bool signalled_;
  std::mutex mutex_;
  std::condition_variable cv_;
};

HANDLE CreateEventA(bool manualReset, bool initialState) {
  HANDLE e = new (std::nothrow) EventObject(manualReset, initialState);
  if (e == nullptr) syslib::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return e;
}

bool SetEvent(HANDLE event) {
  if (event == nullptr) {
    syslib::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  event->Set();
  return true;
}

uint32_t WaitForSingleObject(HANDLE event, uint32_t milliseconds) {
  if (event == nullptr) {
    syslib::SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return event->Wait(milliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

bool CloseHandle(HANDLE event) {
  if (event == nullptr) {
    syslib::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  delete event;
  return true;
}

// --- manager

namespace {

constexpr const char* kWantsFolder = "multi-user.target.wants";

bool Fail(uint32_t code) {
  syslib::SetLastError(code);
  return false;
}

bool FailErrno(int err) {
  syslib::SetLastErrorFromErrno(err);
  return false;
}

// "\" and "\"" escaped, "%" doubled, and "$" doubled when asked, in quotes.
std::string Quoted(std::string_view value, bool dollars) {
  std::string q = "\"";
  for (char c : value) {
    if (c == '\\' || c == '"') q += '\\';
    else if (c == '%' || (dollars && c == '$')) q += c;
    q += c;
  }
  return q + "\"";
}

// A name systemd takes for a unit: letters, digits and ":-_.\@".
bool UnitNameValid(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' ||
                    c == '-' || c == '_' || c == '.' || c == '@';
    if (!ok) return false;
  }
  return true;
}

bool ConfigValid(const ServiceConfig& c) {
  if (!UnitNameValid(c.name) || !UnitValueValid(c.displayName) || c.command.empty()) return false;
  const std::string& program = c.command.front();
  // systemd runs only a program whose path is absolute and free of quotes
  // and backslashes.
  if (program.empty() || program.front() != '/' || program.find_first_of("\"'\\") != std::string::npos)
    return false;
  for (const auto& v : c.command)
    if (!UnitValueValid(v)) return false;
  for (const auto& v : c.environment)
    if (!UnitValueValid(v) || v.find('=') == std::string::npos || v.front() == '=') return false;
  // Taken unquoted: an absolute path that neither ends in a blank (cut off)
  // nor in a backslash (the line would go on).
  const std::string& wd = c.workingDirectory;
  if (!wd.empty() && (!UnitValueValid(wd) || wd.front() != '/' || wd.back() == ' ' || wd.back() == '\t' ||
                      wd.back() == '\\'))
    return false;
  return true;
}

// Writes bytes to a new file beside path and moves it there; with
// noReplace, an existing path is left and EEXIST returned. 0 or an errno.
int WriteNew(const std::string& path, const std::string& bytes, bool noReplace) {
  std::string tmp = path + ".XXXXXX";
  const int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
  if (fd < 0) return errno;
  int err = 0;
  size_t done = 0;
  while (err == 0 && done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) err = n < 0 ? errno : EIO;
    else done += static_cast<size_t>(n);
  }
  if (err == 0 && ::fchmod(fd, 0644) != 0) err = errno;
  if (err == 0 && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && ::renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, path.c_str(), noReplace ? RENAME_NOREPLACE : 0) != 0)
    err = errno;
  if (err != 0) ::unlink(tmp.c_str());
  return err;
}

// Points path at target through a link made beside it and renamed over it.
int LinkOver(const std::string& target, const std::string& path) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string tmp = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
    if (::symlink(target.c_str(), tmp.c_str()) != 0) {
      if (errno == EEXIST) continue;
      return errno;
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
      const int err = errno;
      ::unlink(tmp.c_str());
      return err;
    }
    return 0;
  }
  return EEXIST;
}

// systemctl daemon-reload, with the signals a command expects.
void DaemonReload() {
  posix_spawnattr_t attr;
  if (posix_spawnattr_init(&attr) != 0) return;
  sigset_t none, def;
  sigemptyset(&none);
  sigemptyset(&def);
  sigaddset(&def, SIGPIPE);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &def);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  char arg0[] = "systemctl";
  char arg1[] = "daemon-reload";
  char* argv[] = {arg0, arg1, nullptr};
  pid_t pid;
  if (posix_spawnp(&pid, "systemctl", nullptr, &attr, argv, environ) == 0) {
    int status;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  posix_spawnattr_destroy(&attr);
}

std::atomic<ServiceManager*> gManager{nullptr};

}  // namespace

bool UnitValueValid(std::string_view v) {
  size_t i = 0;
  while (i < v.size()) {
    const auto c = static_cast<unsigned char>(v[i]);
    if (c < 0x20 || c == 0x7f) return false;
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    uint32_t cp;
    if ((c & 0xE0) == 0xC0) len = 2, cp = c & 0x1Fu;
    else if ((c & 0xF0) == 0xE0) len = 3, cp = c & 0x0Fu;
    else if ((c & 0xF8) == 0xF0) len = 4, cp = c & 0x07u;
    else return false;
    if (i + len > v.size()) return false;
    for (size_t k = 1; k < len; ++k) {
      const auto cc = static_cast<unsigned char>(v[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3Fu);
    }
    const uint32_t least = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += len;
  }
  return true;
}

std::string UnitFolder() {
  const char* dir = std::getenv("VELORN_UNIT_DIR");
  return dir != nullptr && *dir != '\0' ? std::string(dir) : std::string(kSystemUnitFolder);
}

std::string UnitText(const ServiceConfig& c) {
  std::string description;
  for (char ch : c.displayName) description += ch == '%' ? "%%" : std::string(1, ch);
  std::string exec;
  for (size_t i = 0; i < c.command.size(); ++i) exec += (i ? " " : "") + Quoted(c.command[i], i > 0);
  std::string text = "[Unit]\nDescription=" + description + "\n\n[Service]\nType=notify\nExecStart=" + exec + "\n";
  if (!c.workingDirectory.empty()) {
    text += "WorkingDirectory=";
    for (char ch : c.workingDirectory) text += ch == '%' ? "%%" : std::string(1, ch);
    text += "\n";
  }
  for (const auto& e : c.environment) text += "Environment=" + Quoted(e, false) + "\n";
  text += "Restart=on-failure\nRestartSec=" + std::to_string(kRestartSeconds) + "\n";
  return text + "\n[Install]\nWantedBy=multi-user.target\n";
}

UnitFolderManager::UnitFolderManager(std::string folder) : folder_(std::move(folder)) {}

std::string UnitFolderManager::Folder() const { return folder_.empty() ? UnitFolder() : folder_; }

void UnitFolderManager::Reload() const {
  if (Folder() == kSystemUnitFolder && sd_booted() > 0) DaemonReload();
}

bool UnitFolderManager::OpenSCManagerA(uint32_t desiredAccess) {
  const std::string dir = Folder();
  struct stat st;
  if (::stat(dir.c_str(), &st) != 0) return FailErrno(errno);
  if (!S_ISDIR(st.st_mode)) return FailErrno(ENOTDIR);
  if ((desiredAccess & SC_MANAGER_CREATE_SERVICE) != 0 && ::access(dir.c_str(), W_OK) != 0)
    return errno == EACCES || errno == EROFS || errno == EPERM ? Fail(ERROR_ACCESS_DENIED) : FailErrno(errno);
  return true;
}

bool UnitFolderManager::CreateServiceA(const ServiceConfig& config) {
  if (!ConfigValid(config)) return Fail(ERROR_INVALID_NAME);
  const std::string dir = platform::ShortPath(Folder());
  if (dir.empty()) return FailErrno(errno ? errno : ENOENT);
  const std::string file = config.name + ".service";
  const std::string unit = dir + "/" + file;
  struct stat st;
  if (::lstat(unit.c_str(), &st) == 0) return Fail(ERROR_SERVICE_EXISTS);
  if (errno != ENOENT) return FailErrno(errno);

  if (const int err = WriteNew(unit, UnitText(config), /*noReplace=*/true); err != 0)
    return err == EEXIST ? Fail(ERROR_SERVICE_EXISTS) : FailErrno(err);
  const std::string wants = dir + "/" + kWantsFolder;
  int err = ::mkdir(wants.c_str(), 0755) == 0 || errno == EEXIST ? 0 : errno;
  if (err == 0) err = LinkOver(unit, wants + "/" + file);
  if (err != 0) {
    ::unlink(unit.c_str());  // no unit that is not enabled
    return FailErrno(err);
  }
  Reload();
  return true;
}

bool UnitFolderManager::OpenServiceA(std::string_view name) {
  if (!UnitNameValid(name)) return Fail(ERROR_INVALID_NAME);
  const std::string unit = Folder() + "/" + std::string(name) + ".service";
  struct stat st;
  if (::lstat(unit.c_str(), &st) == 0) return true;
  return errno == ENOENT ? Fail(ERROR_SERVICE_DOES_NOT_EXIST) : FailErrno(errno);
}

bool UnitFolderManager::DeleteService(std::string_view name) {
  if (!OpenServiceA(name)) return false;
  const std::string dir = Folder();
  const std::string file = std::string(name) + ".service";
  const std::string link = dir + "/" + kWantsFolder + "/" + file;
  if (::unlink(link.c_str()) != 0 && errno != ENOENT) return FailErrno(errno);
  if (::unlink((dir + "/" + file).c_str()) != 0) return FailErrno(errno);
  Reload();
  return true;
}

ServiceManager& ServiceControlManager() {
  static UnitFolderManager unitFolder;
  ServiceManager* m = gManager;
  return m != nullptr ? *m : unitFolder;
}

void SetServiceControlManager(ServiceManager* manager) { gManager = manager; }

}  // namespace service
