// Events and the per-thread event queues of the window model.
//
// Every thread that uses windows has one queue. Events are posted to a
// thread (by its number) or to a window; each event belongs to one window.
// A window's loop (Window::Run, window.h) takes only its own events: while a
// window runs its loop above others on the same thread, the events of the
// windows below wait in the queue in their order, and their timers coalesce
// to at most one pending tick each. Posting is safe from any thread; the
// rest of this header is for the queue's own thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/clock.h"

namespace platform::ui {

using TimePoint = Clock::Monotonic::time_point;

// Event numbers. Field events carry the number of their control; window
// events and program events (User and above) carry control 0.
namespace EVENT {
inline constexpr int Accepted = 0x01;
inline constexpr int NewSelection = 0x02;
inline constexpr int ScrollUp = 0x03;
inline constexpr int ScrollDown = 0x04;
inline constexpr int PageUp = 0x05;
inline constexpr int PageDown = 0x06;
inline constexpr int ScrollTop = 0x07;
inline constexpr int ScrollBottom = 0x08;
inline constexpr int Locate = 0x09;
inline constexpr int MouseUp = 0x0A;
inline constexpr int MouseIn = 0x0B;
inline constexpr int MouseOut = 0x0C;
inline constexpr int MouseMove = 0x0D;
inline constexpr int AlertKey = 0x0F;
inline constexpr int PreAlertKey = 0x10;
inline constexpr int TabChanging = 0x15;
inline constexpr int ScrollDrag = 0x16;
inline constexpr int Rejected = 0x1A;
inline constexpr int DroppingDown = 0x1B;
inline constexpr int DroppedDown = 0x1C;
inline constexpr int Selected = 0x101;
inline constexpr int Selecting = 0x102;

inline constexpr int CloseWindow = 0x201;
inline constexpr int CloseDown = 0x202;
inline constexpr int OpenWindow = 0x203;
inline constexpr int OpenFailed = 0x204;
inline constexpr int LoseFocus = 0x205;
inline constexpr int GainFocus = 0x206;
inline constexpr int Suspend = 0x208;
inline constexpr int Resume = 0x209;
inline constexpr int Timer = 0x20B;
inline constexpr int Move = 0x220;
inline constexpr int Size = 0x221;
inline constexpr int Restore = 0x222;
inline constexpr int Maximize = 0x223;
inline constexpr int Iconize = 0x224;
inline constexpr int Completed = 0x225;
inline constexpr int Moved = 0x230;
inline constexpr int Sized = 0x231;
inline constexpr int Restored = 0x232;
inline constexpr int Maximized = 0x233;
inline constexpr int Iconized = 0x234;

// Program events: User and above (the library's 1280, 6781, 6790, 916h ...).
inline constexpr int User = 0x400;
}  // namespace EVENT

// What a handler returns: go on with the next stage, or the event is done.
inline constexpr int kGoOn = 0;
inline constexpr int kConsumed = 5;

// Window ids: non-zero, unique in the process, never reused.
using WindowId = uint64_t;

struct Event {
  int number = 0;
  int control = 0;    // control number for field events, else 0
  int key = 0;        // key code of AlertKey events
  WindowId window = 0;  // 0: the thread's first window
};

// One thread's queue.
class EventQueue {
 public:
  explicit EventQueue(int threadNumber);
  ~EventQueue();
  EventQueue(const EventQueue&) = delete;
  EventQueue& operator=(const EventQueue&) = delete;

  int ThreadNumber() const { return thread_; }

  // Appends an event and wakes the loop (any thread). An event for a window
  // that is not open on this thread is dropped (false).
  // atFront: before every queued event (a window's opening events).
  bool Push(const Event& e, bool atFront = false);
  // Wakes the loop without an event (any thread).
  void Wake();

  // The first queued event that belongs to the window: an event for id, or,
  // when isFirstWindow, an event for window 0. Removed from the queue.
  std::optional<Event> TakeFor(WindowId id, bool isFirstWindow);
  // Whether TakeFor would find one.
  bool HasFor(WindowId id, bool isFirstWindow) const;
  // The windows open on this queue's thread (the window model keeps this):
  // removing one drops its queued events.
  void AddWindow(WindowId id);
  void RemoveWindow(WindowId id);
  // Drops the window's queued field events (control != 0); how many.
  std::size_t DropFieldEvents(WindowId id);
  std::size_t Size() const;
  // Whether an event of this number waits in the queue (any thread).
  bool Holds(int eventNumber) const;

  // Counts pushes and wakes; a loop reads it before it looks at the queue
  // and waits for it to move on.
  uint64_t Generation() const;
  // Blocks until the generation differs from seen or the deadline (on
  // platform::GetClock()) has passed; no deadline waits for a wake.
  void WaitUntil(uint64_t seen, std::optional<TimePoint> deadline);
  // An eventfd that becomes readable on each push or wake, for a view that
  // waits in its own dispatcher. Created on first call; read it to clear.
  int WakeFd();

 private:
  const int thread_;
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<Event> events_;
  std::vector<WindowId> windows_;
  uint64_t generation_ = 0;
  int wakeFd_ = -1;
};

// The calling thread's number (1, 2, ... in the order threads first ask;
// never reused) and its queue, created on first use and released when the
// thread ends.
int ThreadNumber();
EventQueue& ThisThreadQueue();

// Posts a program or window event to a thread by its number. The event
// belongs to the window whose handler is running when the target is the
// calling thread, else to the thread's first window (the oldest open one;
// an event posted before any window opens waits for the first). False when
// no thread of that number is alive.
bool PostToThread(int threadNumber, int event, int control = 0, int key = 0);
// Posts to the calling thread, with the same rule.
void PostEvent(int event, int control = 0, int key = 0);
// Posts to one window by its id, from any thread; dropped if that window
// closes first. False when no thread of that number is alive.
bool PostToWindow(int threadNumber, WindowId window, int event, int control = 0, int key = 0);

// The program-wide request and response codes of the windows, per thread.
// Request: 1 insert, 2 change, 3 delete, 6 view. Response: 1 completed,
// 2 cancelled. A window takes FormRequest as its own request and clears both
// at set-up; it leaves its response in FormResponse when it ends.
inline constexpr uint8_t InsertRecord = 1;
inline constexpr uint8_t ChangeRecord = 2;
inline constexpr uint8_t DeleteRecord = 3;
inline constexpr uint8_t ViewRecord = 6;
inline constexpr uint8_t RequestCompleted = 1;
inline constexpr uint8_t RequestCancelled = 2;
inline constinit thread_local uint8_t FormRequest = 0;
inline constinit thread_local uint8_t FormResponse = 0;

}  // namespace platform::ui
