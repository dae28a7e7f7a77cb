#include "platform/thread.h"

#include <signal.h>

#include <mutex>
#include <vector>

namespace platform {

namespace {

struct Hooks {
  std::function<void(bool)> attach;
  std::function<void()> detach;
};

std::mutex gHooksMutex;
std::vector<Hooks>& AllHooks() {
  static std::vector<Hooks> hooks;
  return hooks;
}

thread_local bool tAttached = false;
thread_local bool tFirst = false;

}  // namespace

void BlockSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2}) sigaddset(&set, s);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

void RegisterThreadHooks(std::function<void(bool)> attach, std::function<void()> detach) {
  std::lock_guard lock(gHooksMutex);
  AllHooks().push_back({std::move(attach), std::move(detach)});
}

void ThreadAttach(bool firstThread) {
  if (tAttached) return;
  tAttached = true;
  tFirst = firstThread;
  std::vector<Hooks> hooks;
  {
    std::lock_guard lock(gHooksMutex);
    hooks = AllHooks();
  }
  for (auto& h : hooks)
    if (h.attach) h.attach(firstThread);
}

void ThreadDetach() {
  if (!tAttached) return;
  std::vector<Hooks> hooks;
  {
    std::lock_guard lock(gHooksMutex);
    hooks = AllHooks();
  }
  for (auto it = hooks.rbegin(); it != hooks.rend(); ++it)
    if (it->detach) it->detach();
  tAttached = false;
  tFirst = false;
}

bool ThreadAttached() { return tAttached; }
bool IsFirstThread() { return tFirst; }

Thread::Thread(std::function<void()> body)
    : thread_([b = std::move(body)] {
        ThreadAttach(false);
        b();
        ThreadDetach();
      }) {}

Thread::~Thread() { Join(); }

void Thread::Join() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace platform
