#include "platform/eventloop.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <map>

#include "platform/window.h"
#include "platform/window_state.h"

namespace platform::ui {


EventQueue::EventQueue(int threadNumber) : thread_(threadNumber) {}

EventQueue::~EventQueue() {
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

namespace {

void Signal(int fd) {
  if (fd < 0) return;
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
}

}  // namespace

bool EventQueue::Push(const Event& e, bool atFront) {
  {
    std::lock_guard lock(mutex_);
    if (e.window != 0 && std::find(windows_.begin(), windows_.end(), e.window) == windows_.end()) return false;
    if (atFront) events_.push_front(e);
    else events_.push_back(e);
    ++generation_;
    Signal(wakeFd_);
  }
  cv_.notify_all();
  return true;
}

void EventQueue::Wake() {
  {
    std::lock_guard lock(mutex_);
    ++generation_;
    Signal(wakeFd_);
  }
  cv_.notify_all();
}

std::optional<Event> EventQueue::TakeFor(WindowId id, bool isFirstWindow) {
  std::lock_guard lock(mutex_);
  for (auto it = events_.begin(); it != events_.end(); ++it) {
    if (it->window == id || (it->window == 0 && isFirstWindow)) {
      Event e = *it;
      events_.erase(it);
      return e;
    }
  }
  return std::nullopt;
}

bool EventQueue::HasFor(WindowId id, bool isFirstWindow) const {
  std::lock_guard lock(mutex_);
  return std::any_of(events_.begin(), events_.end(),
                     [&](const Event& e) { return e.window == id || (e.window == 0 && isFirstWindow); });
}

void EventQueue::AddWindow(WindowId id) {
  std::lock_guard lock(mutex_);
  if (std::find(windows_.begin(), windows_.end(), id) == windows_.end()) windows_.push_back(id);
}

void EventQueue::RemoveWindow(WindowId id) {
  std::lock_guard lock(mutex_);
  std::erase(windows_, id);
  std::erase_if(events_, [id](const Event& e) { return e.window == id; });
}

std::size_t EventQueue::DropFieldEvents(WindowId id) {
  std::lock_guard lock(mutex_);
  return std::erase_if(events_, [id](const Event& e) { return e.window == id && e.control != 0; });
}

std::size_t EventQueue::Size() const {
  std::lock_guard lock(mutex_);
  return events_.size();
}

bool EventQueue::Holds(int eventNumber) const {
  std::lock_guard lock(mutex_);
  return std::any_of(events_.begin(), events_.end(), [eventNumber](const Event& e) { return e.number == eventNumber; });
}

uint64_t EventQueue::Generation() const {
  std::lock_guard lock(mutex_);
  return generation_;
}

void EventQueue::WaitUntil(uint64_t seen, std::optional<TimePoint> deadline) {
  std::unique_lock lock(mutex_);
  const auto moved = [&] { return generation_ != seen; };
  if (!deadline) {
    cv_.wait(lock, moved);
    return;
  }
  const auto left = *deadline - GetClock().Now();
  if (left <= TimePoint::duration::zero()) return;
  cv_.wait_for(lock, left, moved);
}

int EventQueue::WakeFd() {
  std::lock_guard lock(mutex_);
  if (wakeFd_ < 0) wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  return wakeFd_;
}

// --- threads

namespace {

struct Registry {
  std::mutex mutex;
  std::map<int, std::weak_ptr<EventQueue>> queues;
  int next = 1;
};

Registry& Threads() {
  static Registry* r = new Registry;  // outlives every thread's state
  return *r;
}

std::shared_ptr<EventQueue> FindQueue(int number) {
  Registry& r = Threads();
  std::lock_guard lock(r.mutex);
  auto it = r.queues.find(number);
  return it == r.queues.end() ? nullptr : it->second.lock();
}

}  // namespace

ThreadState::ThreadState() {
  Registry& r = Threads();
  std::lock_guard lock(r.mutex);
  number = r.next++;
  queue = std::make_shared<EventQueue>(number);
  r.queues[number] = queue;
}

ThreadState::~ThreadState() {
  Registry& r = Threads();
  std::lock_guard lock(r.mutex);
  r.queues.erase(number);
}

ThreadState& ThisThread() {
  thread_local ThreadState state;
  return state;
}

int ThreadNumber() { return ThisThread().number; }
EventQueue& ThisThreadQueue() { return *ThisThread().queue; }

namespace {

WindowId OwnTarget() {
  const ThreadState& st = ThisThread();
  // A window in its SetUp owns what it posts, though it opens only after.
  return st.running != nullptr && (st.running->IsOpen() || st.running == st.settingUp) ? st.running->Id() : 0;
}

}  // namespace

void PostEvent(int event, int control, int key) {
  ThisThread().queue->Push({event, control, key, OwnTarget()});
}

bool PostToThread(int threadNumber, int event, int control, int key) {
  if (threadNumber == ThreadNumber()) {
    PostEvent(event, control, key);
    return true;
  }
  auto q = FindQueue(threadNumber);
  if (!q) return false;
  q->Push({event, control, key, 0});
  return true;
}

bool PostToWindow(int threadNumber, WindowId window, int event, int control, int key) {
  auto q = threadNumber == ThreadNumber() ? ThisThread().queue : FindQueue(threadNumber);
  if (!q) return false;
  q->Push({event, control, key, window});
  return true;
}

}  // namespace platform::ui
