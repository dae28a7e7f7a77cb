// Window placement: keeping a window on the visible desktop and off the
// taskbar, and bringing a hidden or minimised window back in front.
//
// The fitting itself is a pure function over the screens' geometry
// (FitOnDesktop); ds_VisibleOnDesktop measures a window through its view's
// desktop (platform/desktop.h) and writes the result back as the window's
// placement. For a maximised or minimised window both act on its normal
// placement: the window stays maximised or minimised and comes back to the
// fitted rectangle when it is restored.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/desktop.h"
#include "platform/window.h"
#include "syslib/liberror.h"

namespace syslib {

using platform::ui::ScreenRect;

constexpr LONG kErrShowWindow = static_cast<LONG>(0xA0000054u);        // "ds_ShowWindow error"
constexpr LONG kErrVisibleOnDesktop = static_cast<LONG>(0xA0000055u);  // "ds_VisibleOnDesktop error"

struct DesktopGeometry {
  // All monitors; nullopt or a width of 0 when unknown (the work area then
  // stands for the desktop).
  std::optional<ScreenRect> virtualScreen;
  // The primary monitor without the taskbar; nullopt when unreadable.
  std::optional<ScreenRect> workArea;
};

// Moves, and if need be shrinks, a rectangle so that it lies wholly on the
// desktop; mode 1 also keeps it off a taskbar band beside it. A band counts
// as a taskbar when it is more than 0 and less than half the work area's
// height (top, bottom) or width (left, right); wider bands are other
// monitors. Whether the window lies beside a band is judged where the
// window will lie on the whole desktop, so one call gives what any later
// call keeps. nullopt when the work area is needed and cannot be read.
std::optional<ScreenRect> FitOnDesktop(const ScreenRect& window, const DesktopGeometry& desktop, uint8_t mode);

// The geometry of the desktop that the view shows the window on (empty
// for a view without one).
DesktopGeometry DesktopGeometryOf(const platform::ui::Window& w);

// Fits the window (its outer rectangle) and writes the result back as its
// placement. Returns 0, or 1 when the work area could not be read (nothing
// moved). A window without a native window is measured as an empty
// rectangle at 0,0 (library error 0A0000055h).
LONG ds_VisibleOnDesktop(platform::ui::Window& w, uint8_t mode);
// Fits the rectangle x, y, width, height on the desktop of the calling
// thread's view and writes it back into the four variables.
LONG ds_VisibleOnDesktop(LONG& x, LONG& y, LONG& width, LONG& height, uint8_t mode);

// Shows a hidden or minimised window restored (through its native window's
// procedures when it has one) and puts it above every window that does not
// stay on top, without making it stay on top; with bringToFront set it also
// becomes the foreground window (SetForegroundWindow). What cannot be done
// for want of a native window or a desktop sets library error 0A0000054h;
// the other steps still run.
void ds_ShowWindow(platform::ui::Window& w, uint8_t bringToFront);

}  // namespace syslib
