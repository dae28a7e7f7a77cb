// Threads of the program: signals, per-thread set-up and release, and the
// platform's own thread object.
#pragma once

#include <functional>
#include <thread>

namespace platform {

// Blocks the signals the program reads itself (SIGTERM, SIGINT, SIGHUP,
// SIGQUIT, SIGUSR1, SIGUSR2) in the calling thread, and ignores SIGPIPE.
// Called on the first line of main, so every later thread inherits the mask.
void BlockSignals();

// Steps run on every thread of the program: attach before its first own
// code, detach after its last, in the reverse order of registration.
// Registered on the first thread before any other thread starts.
void RegisterThreadHooks(std::function<void(bool firstThread)> attach, std::function<void()> detach);

// Runs the attach steps on the calling thread (once; later calls do nothing).
void ThreadAttach(bool firstThread);
// Runs the detach steps on the calling thread if it was attached.
void ThreadDetach();
bool ThreadAttached();
bool IsFirstThread();

// A thread that runs the attach steps, the body, then the detach steps.
class Thread {
 public:
  explicit Thread(std::function<void()> body);
  ~Thread();  // joins
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  void Join();
  std::thread::id Id() const { return thread_.get_id(); }

 private:
  std::thread thread_;
};

}  // namespace platform
