#include "platform/sleepwatch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace platform {

namespace {

int OnPrepareForSleep(sd_bus_message* m, void* user, sd_bus_error*) {
  int sleeping = 0;
  if (sd_bus_message_read(m, "b", &sleeping) >= 0) (*static_cast<std::function<void(bool)>*>(user))(sleeping != 0);
  return 0;
}

// Milliseconds until sd-bus's own deadline (-1 none).
int TimeoutMs(sd_bus* bus) {
  uint64_t usec = 0;
  if (sd_bus_get_timeout(bus, &usec) < 0 || usec == UINT64_MAX) return -1;
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t nowUs = static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
  if (usec <= nowUs) return 0;
  const uint64_t ms = (usec - nowUs + 999) / 1000;
  return ms > 60000 ? 60000 : static_cast<int>(ms);
}

}  // namespace

SleepWatch::SleepWatch(std::function<void(bool)> onSleep) : onSleep_(std::move(onSleep)) {
  stop_ = ::eventfd(0, EFD_CLOEXEC);
  thread_ = std::thread([this] { Run(); });
}

SleepWatch::~SleepWatch() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(stop_, &one, sizeof one);
  thread_.join();
  ::close(stop_);
}

bool SleepWatch::WaitListening(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  cv_.wait_for(lock, limit, [this] { return state_ != State::Starting; });
  return state_ == State::Listening;
}

void SleepWatch::Run() {
  sd_bus* bus = nullptr;
  sd_bus_slot* slot = nullptr;
  bool listening = stop_ >= 0 && sd_bus_open_system(&bus) >= 0 &&
                   sd_bus_match_signal(bus, &slot, "org.freedesktop.login1", "/org/freedesktop/login1",
                                       "org.freedesktop.login1.Manager", "PrepareForSleep", OnPrepareForSleep,
                                       &onSleep_) >= 0;
  {
    std::lock_guard lock(mutex_);
    state_ = listening ? State::Listening : State::NoBus;
  }
  cv_.notify_all();
  while (listening) {
    const int r = sd_bus_process(bus, nullptr);
    if (r < 0) break;
    if (r > 0) continue;
    const int events = sd_bus_get_events(bus);
    if (events < 0) break;
    pollfd fds[2] = {{sd_bus_get_fd(bus), static_cast<short>(events), 0}, {stop_, POLLIN, 0}};
    const int n = ::poll(fds, 2, TimeoutMs(bus));
    if (n < 0 && errno != EINTR) break;
    if (n > 0 && fds[1].revents != 0) break;
  }
  sd_bus_slot_unref(slot);
  sd_bus_flush_close_unref(bus);
}

}  // namespace platform
