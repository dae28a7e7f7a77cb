// Views of the window model. A view shows the model's windows and feeds the
// operator's input back through the window's user actions (window.h). The
// model never waits for a view: a view only renders what changed and, while a
// loop has nothing to do, waits for input, for the thread's queue or for the
// next timer deadline.
//
// The headless view has no widgets: it renders nothing and waits on the
// queue. Each thread uses the headless view unless a view was set for it.
#pragma once

#include <optional>

#include "platform/eventloop.h"

namespace platform::ui {

class Window;

// What changed, for Render.
enum class Property {
  Text, Tip, Image, Hide, Enable, Color, FontColor, Bold, ReadOnly, Flat, Center,
  Contents,  // checked state, choice, screen text after a redisplay
  Choices,   // the rows of a drop list or list
  Range,     // a spin box's range
  Focus,
  Caption, Icon, Wallpaper, Font, Placement, Iconize, Maximize, Cursor,
};

class View {
 public:
  virtual ~View() = default;
  // False for a view nobody sees: windows that ask something then answer
  // at once (the headless form of platform::MessageBox).
  virtual bool Interactive() const = 0;
  // The native window of a window that opens, after its OpenWindow event was
  // queued; and of a window that closes.
  virtual void CreateNative(Window& w) = 0;
  virtual void DestroyNative(Window& w) = 0;
  // A property of the window (control 0) or of its control changed.
  virtual void Render(Window& w, int control, Property p) = 0;
  // The window's loop starts (true) or ends (false) above other windows of
  // its thread; those take no input meanwhile.
  virtual void ShowModal(Window& w, bool modal) = 0;
  // Waits until the queue's generation differs from seen or the deadline
  // passes, dispatching native input meanwhile. May return early.
  virtual void Pump(EventQueue& q, uint64_t seen, std::optional<TimePoint> deadline) = 0;
};

class HeadlessView : public View {
 public:
  bool Interactive() const override { return false; }
  void CreateNative(Window&) override {}
  void DestroyNative(Window&) override {}
  void Render(Window&, int, Property) override {}
  void ShowModal(Window&, bool) override {}
  void Pump(EventQueue& q, uint64_t seen, std::optional<TimePoint> deadline) override {
    q.WaitUntil(seen, deadline);
  }
};

// The view of windows opened on the calling thread (not owned; nullptr gives
// the headless view back). Set before the thread opens its first window.
void SetThreadView(View* view);
View& ThreadView();

}  // namespace platform::ui
