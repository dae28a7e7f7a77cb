// The desktop a window view shows its windows on: the screens' geometry and
// the stacking of its native windows. A view that has a desktop implements
// this interface beside View; the headless view has none.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/view.h"
#include "platform/window.h"

namespace platform::ui {

// Screen pixels; right and bottom lie just outside (right = left + width).
struct ScreenRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  bool operator==(const ScreenRect&) const = default;
};

class Desktop {
 public:
  virtual ~Desktop() = default;
  // Every monitor together; nullopt when the view cannot tell.
  virtual std::optional<ScreenRect> VirtualScreen() const = 0;
  // The primary monitor without the taskbar; nullopt when unreadable.
  virtual std::optional<ScreenRect> WorkArea() const = 0;
  // The outer rectangle (frame and caption included) of the window in its
  // normal placement, also while it is maximised or minimised; nullopt when
  // it has no native window.
  virtual std::optional<ScreenRect> OuterRect(const Window& w) const = 0;
  // Puts the shown window above every window that does not stay on top,
  // and gives it the input when activate is set. False without a native
  // window.
  virtual bool Raise(Window& w, bool activate) = 0;
};

// The desktop of the window's view; nullptr when the view has none.
inline Desktop* DesktopOf(const Window& w) { return dynamic_cast<Desktop*>(&w.GetView()); }

}  // namespace platform::ui
