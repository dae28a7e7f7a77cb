// Runs test code with a window open as the calling thread's target, in its
// SetUp (where a window alerts its messages and adds its icon); the window
// closes afterwards.
#pragma once

#include <functional>
#include <vector>

#include "platform/window.h"

namespace testsupport {

inline void AsTarget(platform::ui::Window& w, const std::function<void()>& body) {
  struct Controller : platform::ui::WindowController {
    Controller(platform::ui::Window& win, const std::function<void()>& f) : WindowController(win), body(f) {}
    int SetUp() override {
      WindowController::SetUp();
      window().Open();
      body();
      return 1;  // done
    }
    const std::function<void()>& body;
  } controller(w, body);
  controller.Run();
}

// The events queued for a window other than its opening ones, taken out.
inline std::vector<int> Events(const platform::ui::Window& w) {
  std::vector<int> out;
  while (auto e = platform::ui::ThisThreadQueue().TakeFor(w.Id(), false))
    if (e->number != platform::ui::EVENT::OpenWindow && e->number != platform::ui::EVENT::Selected)
      out.push_back(e->number);
  return out;
}

}  // namespace testsupport
