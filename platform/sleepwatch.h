// The machine going to sleep and waking, as logind announces it on the
// system bus (its PrepareForSleep signal), read by a thread of the watch.
// Where there is no system bus, or no logind on it, nothing comes.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace platform {

class SleepWatch {
 public:
  // onSleep(true) before the machine sleeps, onSleep(false) after it woke;
  // called on the watch's thread. The bus is the one DBUS_SYSTEM_BUS_ADDRESS
  // names, else the system's.
  explicit SleepWatch(std::function<void(bool sleeping)> onSleep);
  ~SleepWatch();  // stops and joins the thread
  SleepWatch(const SleepWatch&) = delete;
  SleepWatch& operator=(const SleepWatch&) = delete;

  // Waits until the watch listens (true) or has found no bus (false), at
  // most the limit (false).
  bool WaitListening(std::chrono::milliseconds limit);

 private:
  void Run();
  std::function<void(bool)> onSleep_;
  int stop_ = -1;
  std::mutex mutex_;
  std::condition_variable cv_;
  enum class State { Starting, Listening, NoBus } state_ = State::Starting;
  std::thread thread_;
};

}  // namespace platform
