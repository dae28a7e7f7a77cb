#include "syslib/wtsapi.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "syslib/win32error.h"

namespace syslib {
namespace {

namespace pu = platform::ui;

constexpr uint32_t kInvalidParameter = 87;

// The watch over the session's signals: the bus, the windows to tell and the
// thread that reads the bus while any window is registered.
struct Watch {
  std::mutex life;   // starting and stopping; held across each call
  std::mutex mutex;  // the windows and the session number
  std::set<pu::HWND> windows;
  sd_bus* bus = nullptr;
  sd_bus_slot* lock = nullptr;
  sd_bus_slot* unlock = nullptr;
  int stopFd = -1;
  std::thread thread;
  int64_t session = 0;
};

Watch& W() {
  static auto* w = new Watch;  // outlives every thread
  return *w;
}

int Tell(sd_bus_message* m, void* /*userdata*/, sd_bus_error* /*error*/) {
  const char* member = sd_bus_message_get_member(m);
  const pu::WPARAM reason = member != nullptr && std::string(member) == "Lock" ? WTS_SESSION_LOCK : WTS_SESSION_UNLOCK;
  Watch& w = W();
  std::vector<pu::HWND> windows;
  int64_t session = 0;
  {
    std::lock_guard lock(w.mutex);
    windows.assign(w.windows.begin(), w.windows.end());
    session = w.session;
  }
  for (pu::HWND h : windows) pu::PostMessage(h, pu::WM_WTSSESSION_CHANGE, reason, session);
  return 0;
}

void Run(sd_bus* bus, int stopFd) {
  for (;;) {
    int r = 0;
    while ((r = sd_bus_process(bus, nullptr)) > 0) {
    }
    if (r < 0) return;
    uint64_t until = 0;
    int timeout = -1;
    if (sd_bus_get_timeout(bus, &until) >= 0 && until != UINT64_MAX) {
      timespec now{};
      clock_gettime(CLOCK_MONOTONIC, &now);
      const uint64_t nowUs = static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
      timeout = until <= nowUs ? 0 : static_cast<int>(std::min<uint64_t>((until - nowUs + 999) / 1000, 60000));
    }
    pollfd fds[2] = {{sd_bus_get_fd(bus), static_cast<short>(sd_bus_get_events(bus)), 0}, {stopFd, POLLIN, 0}};
    if (::poll(fds, 2, timeout) < 0 && errno != EINTR) return;
    if (fds[1].revents != 0) return;
  }
}

void Close(Watch& w) {
  sd_bus_slot_unref(w.lock);
  sd_bus_slot_unref(w.unlock);
  w.lock = w.unlock = nullptr;
  sd_bus_flush_close_unref(w.bus);
  w.bus = nullptr;
  if (w.stopFd >= 0) ::close(w.stopFd);
  w.stopFd = -1;
}

// Opens the bus, finds this process's session and watches its Lock and
// Unlock, and starts the reader; under the life lock. A negative errno on
// failure.
int Start(Watch& w) {
  int r = sd_bus_open_system(&w.bus);
  if (r < 0) return r;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  r = sd_bus_call_method(w.bus, "org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                         "GetSessionByPID", &error, &reply, "u", static_cast<uint32_t>(::getpid()));
  std::string path;
  if (r >= 0) {
    const char* p = nullptr;
    r = sd_bus_message_read(reply, "o", &p);
    if (r >= 0) path = p;
  } else {
    r = -sd_bus_error_get_errno(&error);
  }
  sd_bus_message_unref(reply);
  sd_bus_error_free(&error);
  if (r >= 0) {
    char* id = nullptr;
    int64_t session = 0;
    if (sd_bus_path_decode(path.c_str(), "/org/freedesktop/login1/session", &id) > 0 && id != nullptr) {
      char* end = nullptr;
      const long long n = std::strtoll(id, &end, 10);
      if (*id != '\0' && end != nullptr && *end == '\0') session = n;
    }
    std::free(id);
    {
      std::lock_guard lock(w.mutex);
      w.session = session;
    }
    r = sd_bus_match_signal(w.bus, &w.lock, "org.freedesktop.login1", path.c_str(), "org.freedesktop.login1.Session",
                            "Lock", Tell, nullptr);
  }
  if (r >= 0)
    r = sd_bus_match_signal(w.bus, &w.unlock, "org.freedesktop.login1", path.c_str(),
                            "org.freedesktop.login1.Session", "Unlock", Tell, nullptr);
  if (r >= 0) {
    w.stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (w.stopFd < 0) r = -errno;
  }
  if (r < 0) {
    Close(w);
    return r == 0 ? -EIO : r;
  }
  w.thread = std::thread(Run, w.bus, w.stopFd);
  return 0;
}

void Stop(Watch& w) {
  const uint64_t one = 1;
  while (::write(w.stopFd, &one, sizeof one) < 0 && errno == EINTR) {
  }
  w.thread.join();
  Close(w);
}

}  // namespace

int32_t WTSRegisterSessionNotification(pu::HWND hwnd, uint32_t /*flags*/) {
  if (!pu::IsWindow(hwnd)) {
    SetLastError(1400);  // ERROR_INVALID_WINDOW_HANDLE
    return 0;
  }
  Watch& w = W();
  std::lock_guard life(w.life);
  {
    std::lock_guard lock(w.mutex);
    if (w.windows.contains(hwnd)) return 1;
    if (!w.windows.empty()) {
      w.windows.insert(hwnd);
      return 1;
    }
  }
  const int r = Start(w);
  if (r < 0) {
    SetLastErrorFromErrno(-r);
    return 0;
  }
  std::lock_guard lock(w.mutex);
  w.windows.insert(hwnd);
  return 1;
}

int32_t WTSUnRegisterSessionNotification(pu::HWND hwnd) {
  Watch& w = W();
  std::lock_guard life(w.life);
  {
    std::lock_guard lock(w.mutex);
    if (w.windows.erase(hwnd) == 0) {
      SetLastError(kInvalidParameter);
      return 0;
    }
    if (!w.windows.empty()) return 1;
  }
  Stop(w);
  return 1;
}

}  // namespace syslib
