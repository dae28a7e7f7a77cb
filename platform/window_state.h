// The window model's per-thread state (internal to the platform's window
// model).
#pragma once

#include <memory>
#include <vector>

#include "platform/eventloop.h"
#include "platform/view.h"
#include "platform/window.h"

namespace platform::ui {

struct ThreadState {
  ThreadState();
  ~ThreadState();
  int number = 0;
  std::shared_ptr<EventQueue> queue;
  std::vector<Window*> windows;   // open windows, oldest first
  Window* running = nullptr;      // the window whose controller runs
  Window* settingUp = nullptr;    // running, and still in its SetUp
  View* view = nullptr;           // nullptr: headless
  Cursor cursor = Cursor::Normal;
};

ThreadState& ThisThread();

}  // namespace platform::ui
