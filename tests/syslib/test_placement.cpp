#include "syslib/placement.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/view.h"
#include "platform/window.h"
#include "platform/winproc.h"
#include "syslib/liberror.h"

namespace syslib {
namespace {

namespace pu = platform::ui;

ScreenRect At(int x, int y, int w, int h) { return {x, y, x + w, y + h}; }

// 1024 x 768 with a 30-pixel taskbar at the bottom.
const DesktopGeometry kBottomBar{At(0, 0, 1024, 768), At(0, 0, 1024, 738)};

struct FitCase {
  const char* what;
  DesktopGeometry desktop;
  uint8_t mode;
  ScreenRect window;
  std::optional<ScreenRect> expected;
};

const FitCase kFitCases[] = {
    {"past the right edge: moved left", kBottomBar, 1, At(900, 100, 300, 150), At(724, 100, 300, 150)},
    {"over the taskbar: its bottom on the taskbar's top edge", kBottomBar, 1, At(100, 600, 300, 150),
     At(100, 588, 300, 150)},
    {"mode 0: may cover the taskbar", kBottomBar, 0, At(100, 600, 300, 150), At(100, 600, 300, 150)},
    {"left of the desktop", kBottomBar, 1, At(-50, 100, 300, 150), At(0, 100, 300, 150)},
    {"above the desktop", kBottomBar, 1, At(100, -40, 300, 150), At(100, 0, 300, 150)},
    {"wider than the desktop", kBottomBar, 1, At(100, 100, 1200, 150), At(0, 100, 1024, 150)},
    {"higher than the work area", kBottomBar, 1, At(100, 50, 300, 900), At(100, 0, 300, 738)},
    {"higher than the desktop, mode 0", kBottomBar, 0, At(100, 50, 300, 900), At(100, 0, 300, 768)},
    {"already in place", kBottomBar, 1, At(10, 20, 300, 150), At(10, 20, 300, 150)},
    {"off the desktop to the right and over the taskbar: one call does both", kBottomBar, 1,
     At(1100, 600, 300, 150), At(724, 588, 300, 150)},
    {"second monitor right: the 1280-pixel band is no taskbar", {At(0, 0, 2304, 768), At(0, 0, 1024, 738)}, 1,
     At(1500, 600, 300, 150), At(1500, 600, 300, 150)},
    {"second monitor right: beyond both monitors", {At(0, 0, 2304, 768), At(0, 0, 1024, 738)}, 1,
     At(2200, 100, 300, 150), At(2004, 100, 300, 150)},
    {"monitor left: negative x stays", {At(-1280, 0, 2304, 768), At(0, 0, 1024, 738)}, 1, At(-1000, 100, 300, 150),
     At(-1000, 100, 300, 150)},
    {"monitor left: beside the taskbar only on the primary one", {At(-1280, 0, 2304, 768), At(0, 0, 1024, 738)}, 1,
     At(-1000, 600, 300, 150), At(-1000, 600, 300, 150)},
    {"monitor below: a band of half the work area or more is no taskbar",
     {At(0, 0, 1024, 1536), At(0, 0, 1024, 738)}, 1, At(100, 1000, 300, 150), At(100, 1000, 300, 150)},
    {"taskbar at the top: moved below it", {At(0, 0, 1024, 768), At(0, 30, 1024, 738)}, 1, At(100, 10, 300, 150),
     At(100, 30, 300, 150)},
    {"taskbar at the top: the bottom is the desktop's", {At(0, 0, 1024, 768), At(0, 30, 1024, 738)}, 1,
     At(100, 700, 300, 150), At(100, 618, 300, 150)},
    {"taskbar on the left: moved right of it", {At(0, 0, 1024, 768), At(60, 0, 964, 768)}, 1, At(20, 100, 300, 150),
     At(60, 100, 300, 150)},
    {"taskbar on the left: wider than what is left", {At(0, 0, 1024, 768), At(60, 0, 964, 768)}, 1,
     At(100, 100, 1200, 150), At(60, 100, 964, 150)},
    {"taskbar on the right", {At(0, 0, 1024, 768), At(0, 0, 964, 768)}, 1, At(900, 100, 300, 150),
     At(664, 100, 300, 150)},
    {"no virtual-screen metrics: the work area is the desktop", {At(0, 0, 0, 0), At(0, 0, 1024, 738)}, 0,
     At(100, 600, 300, 150), At(100, 588, 300, 150)},
    {"work area unreadable in mode 1", {At(0, 0, 1024, 768), std::nullopt}, 1, At(100, 600, 300, 150), std::nullopt},
    {"work area unreadable, mode 0 needs none", {At(0, 0, 1024, 768), std::nullopt}, 0, At(900, 600, 300, 150),
     At(724, 600, 300, 150)},
    {"neither desktop nor work area", {std::nullopt, std::nullopt}, 0, At(100, 100, 300, 150), std::nullopt},
};

TEST(PlacementFit, Cases) {
  for (const FitCase& c : kFitCases) {
    EXPECT_EQ(FitOnDesktop(c.window, c.desktop, c.mode), c.expected) << c.what;
  }
}

TEST(PlacementFit, ASecondCallLeavesTheWindowWhereTheFirstPutIt) {
  for (const FitCase& c : kFitCases) {
    const auto first = FitOnDesktop(c.window, c.desktop, c.mode);
    if (!first) continue;
    EXPECT_EQ(FitOnDesktop(*first, c.desktop, c.mode), first) << c.what;
  }
}

// A view with a desktop whose windows have a 4-pixel border and a 20-pixel
// caption; it records what was raised.
class FramedView : public pu::NativeHeadlessView, public pu::Desktop {
 public:
  DesktopGeometry geometry = kBottomBar;
  std::vector<bool> raised;  // the activate argument of each Raise
  bool hasNatives = true;

  std::optional<ScreenRect> VirtualScreen() const override { return geometry.virtualScreen; }
  std::optional<ScreenRect> WorkArea() const override { return geometry.workArea; }
  std::optional<ScreenRect> OuterRect(const pu::Window& w) const override {
    if (!hasNatives) return std::nullopt;
    const pu::Placement& p = w.GetPlacement();
    return ScreenRect{p.x, p.y, p.x + p.width + 8, p.y + p.height + 24};
  }
  bool Raise(pu::Window&, bool activate) override {
    if (!hasNatives) return false;
    raised.push_back(activate);
    return true;
  }
};

struct WithView {
  FramedView view;
  WithView() { pu::SetThreadView(&view); }
  ~WithView() { pu::SetThreadView(nullptr); }
};

pu::Placement PlacementOf(int x, int y, int w, int h, bool maximized = false, bool minimized = false) {
  pu::Placement p;
  p.x = x;
  p.y = y;
  p.width = w;
  p.height = h;
  p.maximized = maximized;
  p.minimized = minimized;
  return p;
}

TEST(PlacementVisibleOnDesktop, FitsTheOuterRectangleAndWritesThePlacementBack) {
  struct Case {
    const char* what;
    pu::Placement before, after;
  } cases[] = {
      // outer 900..1208 x 100..274: moved to 716..1024
      {"right edge", PlacementOf(900, 100, 300, 150), PlacementOf(716, 100, 300, 150)},
      // outer bottom 600 + 174 = 774 onto the work area's bottom 738
      {"taskbar", PlacementOf(100, 600, 300, 150), PlacementOf(100, 564, 300, 150)},
      // outer 1208 wide: shrunk to 1024, the frame kept
      {"too wide", PlacementOf(50, 100, 1200, 150), PlacementOf(0, 100, 1016, 150)},
      {"maximised: its normal placement moves, it stays maximised", PlacementOf(900, 100, 300, 150, true),
       PlacementOf(716, 100, 300, 150, true)},
      {"minimised: likewise", PlacementOf(100, 600, 300, 150, false, true),
       PlacementOf(100, 564, 300, 150, false, true)},
  };
  for (const Case& c : cases) {
    WithView v;
    pu::Window w("Okno");
    w.SetPlacement(c.before);
    SetLibraryError(kErrShowWindow);
    EXPECT_EQ(ds_VisibleOnDesktop(w, 1), 0) << c.what;
    EXPECT_EQ(w.GetPlacement(), c.after) << c.what;
    EXPECT_EQ(LibraryErrorCode(), 0) << c.what;
    EXPECT_EQ(LibraryProcedureName(), "ds_VisibleOnDesktop");
    EXPECT_EQ(ds_VisibleOnDesktop(w, 1), 0) << c.what;
    EXPECT_EQ(w.GetPlacement(), c.after) << c.what << " (second call)";
  }
}

TEST(PlacementVisibleOnDesktop, WithoutADesktopReturnsOneAndMovesNothing) {
  pu::Window w("Okno");  // headless view
  w.SetPlacement(PlacementOf(900, 600, 300, 150));
  EXPECT_EQ(ds_VisibleOnDesktop(w, 1), 1);
  EXPECT_EQ(LibraryErrorCode(), kErrVisibleOnDesktop);
  EXPECT_EQ(GetLibraryErrorText(kErrVisibleOnDesktop), "ds_VisibleOnDesktop error");
  EXPECT_EQ(w.GetPlacement(), PlacementOf(900, 600, 300, 150));
}

TEST(PlacementVisibleOnDesktop, AWindowWithoutANativeWindowIsMeasuredAtTheOrigin) {
  WithView v;
  v.view.hasNatives = false;
  pu::Window w("Okno");
  w.SetPlacement(PlacementOf(300, 200, 300, 150));
  EXPECT_EQ(ds_VisibleOnDesktop(w, 1), 0);
  EXPECT_EQ(LibraryErrorCode(), kErrVisibleOnDesktop);
  // An empty rectangle at 0,0 lies on the desktop: written back unchanged.
  EXPECT_EQ(w.GetPlacement(), PlacementOf(300, 200, 300, 150));
}

TEST(PlacementVisibleOnDesktop, TheRectangleFormWritesTheVariablesAndNoWindow) {
  WithView v;
  LONG x = 900, y = 600, width = 300, height = 150;
  EXPECT_EQ(ds_VisibleOnDesktop(x, y, width, height, 1), 0);
  EXPECT_EQ((std::vector<LONG>{x, y, width, height}), (std::vector<LONG>{724, 588, 300, 150}));
  x = 900, y = 600;
  EXPECT_EQ(ds_VisibleOnDesktop(x, y, width, height, 0), 0);
  EXPECT_EQ((std::vector<LONG>{x, y, width, height}), (std::vector<LONG>{724, 600, 300, 150}));
  v.view.geometry.workArea.reset();
  EXPECT_EQ(ds_VisibleOnDesktop(x, y, width, height, 1), 1);
  EXPECT_EQ(LibraryErrorCode(), kErrVisibleOnDesktop);
}

TEST(PlacementShowWindow, RestoresAndShowsTheWindowAndRaisesItActivatingWhenAsked) {
  for (uint8_t front : {uint8_t{1}, uint8_t{0}}) {
    WithView v;
    int activated = 0;
    pu::SetForegroundHandler([&](pu::Window&) { ++activated; });
    pu::Window w("Okno");
    w.Open();
    w.SetHide(true).SetIconize(true).SetMaximize(true);
    ds_ShowWindow(w, front);
    EXPECT_FALSE(w.Hidden());
    EXPECT_FALSE(w.Iconized());
    EXPECT_TRUE(w.Maximized());  // back to what it was before it was minimised
    EXPECT_EQ(v.view.raised, std::vector<bool>{false});
    EXPECT_EQ(activated, front != 0 ? 1 : 0);
    EXPECT_EQ(LibraryErrorCode(), 0);
    EXPECT_EQ(LibraryProcedureName(), "ds_ShowWindow");
    pu::SetForegroundHandler(nullptr);
  }
}

TEST(PlacementShowWindow, WithoutANativeWindowShowsTheModelAndRecordsTheError) {
  pu::Window w("Okno");  // headless view
  w.SetHide(true);
  ds_ShowWindow(w, 1);
  EXPECT_FALSE(w.Hidden());
  EXPECT_EQ(LibraryErrorCode(), kErrShowWindow);
  EXPECT_EQ(GetLibraryErrorText(kErrShowWindow), "ds_ShowWindow error");
}

}  // namespace
}  // namespace syslib
