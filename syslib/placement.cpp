#include "syslib/placement.h"

#include "platform/winproc.h"

namespace syslib {

namespace {

namespace pu = platform::ui;

bool Between(LONG v, LONG low, LONG high) { return v >= low && v <= high; }

struct Area {
  LONG left, top, width, height;
};

// Step by step: left and top edges first, then the right and bottom ones;
// what is wider or higher than the area takes the area's extent.
ScreenRect FitInto(ScreenRect r, const Area& a) {
  if (r.left < a.left) {
    r.right += a.left - r.left;
    r.left = a.left;
  }
  if (r.top < a.top) {
    r.bottom += a.top - r.top;
    r.top = a.top;
  }
  const LONG areaRight = a.left + a.width;
  if (r.right > areaRight) {
    if (r.right - r.left <= a.width) {
      r.left = areaRight - (r.right - r.left);
      r.right = areaRight;
    } else {
      r.left = a.left;
      r.right = areaRight;
    }
  }
  const LONG areaBottom = a.top + a.height;
  if (r.bottom > areaBottom) {
    if (r.bottom - r.top <= a.height) {
      r.top = areaBottom - (r.bottom - r.top);
      r.bottom = areaBottom;
    } else {
      r.top = a.top;
      r.bottom = areaBottom;
    }
  }
  return r;
}

bool IsTaskbarBand(LONG band, LONG half) { return band > 0 && band < half; }

}  // namespace

std::optional<ScreenRect> FitOnDesktop(const ScreenRect& window, const DesktopGeometry& g, uint8_t mode) {
  Area desk{};
  if (g.virtualScreen && g.virtualScreen->Width() != 0) {
    const ScreenRect& v = *g.virtualScreen;
    desk = {v.left, v.top, v.Width(), v.Height()};
  } else if (g.workArea) {
    const ScreenRect& w = *g.workArea;
    desk = {w.left, w.top, w.Width(), w.Height()};
  } else {
    return std::nullopt;
  }

  if (mode == 1) {
    if (!g.workArea) return std::nullopt;
    const ScreenRect& work = *g.workArea;
    const LONG halfHeight = (work.bottom - work.top) / 2;
    const LONG halfWidth = (work.right - work.left) / 2;
    const ScreenRect at = FitInto(window, desk);
    const bool besideH = Between(at.left + 5, work.left, work.right) || Between(at.right - 5, work.left, work.right) ||
                         Between(work.left, at.left, at.right);
    const bool besideV = Between(at.top + 5, work.top, work.bottom) || Between(at.bottom - 5, work.top, work.bottom) ||
                         Between(work.top, at.top, at.bottom);

    const LONG topBand = work.top - desk.top;
    if (IsTaskbarBand(topBand, halfHeight)) {
      if (besideH) {
        desk.height -= topBand;
        desk.top = work.top;
      }
    } else {
      const LONG bottomBand = desk.top + desk.height - work.bottom;
      if (IsTaskbarBand(bottomBand, halfHeight) && besideH) desk.height -= bottomBand;
    }

    const LONG leftBand = work.left - desk.left;
    if (IsTaskbarBand(leftBand, halfWidth)) {
      if (besideV) {
        desk.width -= leftBand;
        desk.left = work.left;
      }
    } else {
      const LONG rightBand = desk.left + desk.width - work.right;
      if (IsTaskbarBand(rightBand, halfWidth) && besideV) desk.width -= rightBand;
    }
  }
  return FitInto(window, desk);
}

DesktopGeometry DesktopGeometryOf(const pu::Window& w) {
  DesktopGeometry g;
  if (const pu::Desktop* d = pu::DesktopOf(w)) {
    g.virtualScreen = d->VirtualScreen();
    g.workArea = d->WorkArea();
  }
  return g;
}

LONG ds_VisibleOnDesktop(pu::Window& w, uint8_t mode) {
  SetLibraryProcedureName("ds_VisibleOnDesktop");
  const pu::Placement p = w.GetPlacement();
  ScreenRect outer{};
  const pu::Desktop* desk = pu::DesktopOf(w);
  if (auto r = desk ? desk->OuterRect(w) : std::nullopt) {
    outer = *r;
  } else {
    SetLibraryErrorDetail("the window has no native window");
    SetLibraryError(kErrVisibleOnDesktop);
  }
  // Frame and caption: what the outer rectangle has beyond the placement.
  const LONG dx = outer.left - p.x, dy = outer.top - p.y;
  const LONG dw = outer.Width() - p.width, dh = outer.Height() - p.height;

  const auto fitted = FitOnDesktop(outer, DesktopGeometryOf(w), mode);
  if (!fitted) {
    SetLibraryErrorDetail("the work area cannot be read");
    SetLibraryError(kErrVisibleOnDesktop);
    return 1;
  }
  pu::Placement q = p;  // maximised and minimised stay as they are
  q.x = fitted->left - dx;
  q.y = fitted->top - dy;
  q.width = fitted->Width() - dw;
  q.height = fitted->Height() - dh;
  w.SetPlacement(q);
  return 0;
}

LONG ds_VisibleOnDesktop(LONG& x, LONG& y, LONG& width, LONG& height, uint8_t mode) {
  SetLibraryProcedureName("ds_VisibleOnDesktop");
  DesktopGeometry g;
  if (const auto* d = dynamic_cast<const pu::Desktop*>(&pu::ThreadView())) {
    g.virtualScreen = d->VirtualScreen();
    g.workArea = d->WorkArea();
  }
  const auto fitted = FitOnDesktop({x, y, x + width, y + height}, g, mode);
  if (!fitted) {
    SetLibraryErrorDetail("the work area cannot be read");
    SetLibraryError(kErrVisibleOnDesktop);
    return 1;
  }
  x = fitted->left;
  y = fitted->top;
  width = fitted->Width();
  height = fitted->Height();
  return 0;
}

void ds_ShowWindow(pu::Window& w, uint8_t bringToFront) {
  SetLibraryProcedureName("ds_ShowWindow");
  const auto fail = [] {
    SetLibraryErrorDetail("the window has no native window");
    SetLibraryError(kErrShowWindow);
  };
  // Through the native window when there is one, so that its procedures
  // see the change; else on the model alone.
  const pu::HWND h = pu::FrameHandle(w);
  const auto restore = [&] {
    if (h != 0)
      pu::ShowWindow(h, pu::SW_RESTORE);
    else
      w.SetIconize(false);
  };
  const bool wasIconized = w.Iconized();
  if (wasIconized) restore();
  if (w.Hidden()) {
    if (h != 0)
      pu::ShowWindow(h, pu::SW_SHOW);
    else
      w.SetHide(false);
  }
  if (wasIconized && w.Iconized()) restore();

  pu::Desktop* d = pu::DesktopOf(w);
  if (d == nullptr || !d->Raise(w, false)) fail();
  if (bringToFront != 0 && (h == 0 || !pu::SetForegroundWindow(h))) fail();
}

}  // namespace syslib
