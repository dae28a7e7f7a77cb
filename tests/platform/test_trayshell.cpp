// The toolkit's notification area on the offscreen platform, where no tray
// host is: the real answer refuses every icon; with a host made up by the
// test, icons are held, clicked and brought back.
#include "platform/qt/trayshell.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/window.h"
#include "syslib/tray.h"
#include "syslib/winhook.h"
#include "tests/support/icon_file.h"
#include "tests/support/qt_main.h"
#include "tests/support/target.h"
#include "tests/support/tempdir.h"

namespace platform::qt {
namespace {

namespace pu = platform::ui;

struct Seen {
  pu::UINT message;
  pu::WPARAM wParam;
  pu::LPARAM lParam;
  bool operator==(const Seen&) const = default;
};
std::vector<Seen> gSeen;
// Records what reaches the window, but the list's questions for its text.
pu::LRESULT Record(pu::HWND, pu::UINT m, pu::WPARAM wp, pu::LPARAM lp) {
  if (m != pu::WM_GETTEXT) gSeen.push_back({m, wp, lp});
  return 0;
}

class TrayShellTest : public ::testing::Test {
 protected:
  TrayShellTest() : dir_(/*makeCurrent=*/true) {
    pu::SetThreadView(&pu::SharedNativeHeadlessView());
    testsupport::WriteFile(dir_.file("velorn.ico"), testsupport::IconFile());
    w_.Open();
    pu::SetWindowProc(pu::FrameHandle(w_), Record);
    gSeen.clear();
  }
  ~TrayShellTest() override {
    w_.Close();
    pu::SetThreadView(nullptr);
  }
  syslib::NOTIFYICONDATA Data(uint32_t id, std::string tip = "tip") const {
    syslib::NOTIFYICONDATA d;
    d.cbSize = syslib::kNotifyIconDataSize6;
    d.hWnd = pu::FrameHandle(w_);
    d.uID = id;
    d.uFlags = syslib::NIF_MESSAGE | syslib::NIF_ICON | syslib::NIF_TIP;
    d.uCallbackMessage = syslib::TaskBarCallBackMsg;
    d.hIcon = syslib::LoadImageA(0, "velorn.ico", syslib::IMAGE_ICON, 0, 0, syslib::LR_LOADFROMFILE);
    d.szTip = std::move(tip);
    return d;
  }

  testsupport::TempDir dir_;
  pu::Window w_;
  bool host_ = true;
};

TEST_F(TrayShellTest, WithoutATrayHostNothingIsAdded) {
  ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
  TrayShell shell;
  EXPECT_FALSE(shell.NotifyIcon(syslib::NIM_ADD, Data(1)));
  EXPECT_EQ(shell.Icon(pu::FrameHandle(w_), 1), nullptr);
  pu::Window target;
  testsupport::AsTarget(target, [] {
    EXPECT_EQ(syslib::WinTaskbarAddIcon("", "tip", "velorn.ico", 0, 0, 1), 0);
    EXPECT_EQ(syslib::LibraryErrorCode(), syslib::kErrTaskbarAddIcon);
  });
}

TEST_F(TrayShellTest, IconsAreHeldOnceAndOnlyHeldOnesChange) {
  TrayShell shell([this] { return host_; });
  EXPECT_FALSE(shell.NotifyIcon(syslib::NIM_MODIFY, Data(1)));
  EXPECT_FALSE(shell.NotifyIcon(syslib::NIM_DELETE, Data(1)));
  EXPECT_FALSE(shell.NotifyIcon(syslib::NIM_SETVERSION, Data(1)));
  syslib::NOTIFYICONDATA stranger = Data(1);
  stranger.hWnd = 0;
  EXPECT_FALSE(shell.NotifyIcon(syslib::NIM_ADD, stranger)) << "no window to tell of clicks";

  ASSERT_TRUE(shell.NotifyIcon(syslib::NIM_ADD, Data(1, " vELORN v. 1.0    ")));
  EXPECT_FALSE(shell.NotifyIcon(syslib::NIM_ADD, Data(1))) << "not twice";
  QSystemTrayIcon* icon = shell.Icon(pu::FrameHandle(w_), 1);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->toolTip(), QStringLiteral(" vELORN v. 1.0"));
  EXPECT_FALSE(icon->icon().isNull());
  EXPECT_TRUE(icon->isVisible());

  syslib::NOTIFYICONDATA tipOnly = Data(1, "changed  ");
  tipOnly.uFlags = syslib::NIF_TIP;
  EXPECT_TRUE(shell.NotifyIcon(syslib::NIM_MODIFY, tipOnly));
  EXPECT_EQ(icon->toolTip(), QStringLiteral("changed"));
  EXPECT_TRUE(shell.NotifyIcon(syslib::NIM_SETVERSION, Data(1)));
  EXPECT_TRUE(shell.NotifyIcon(syslib::NIM_DELETE, Data(1)));
  EXPECT_EQ(shell.Icon(pu::FrameHandle(w_), 1), nullptr);
  EXPECT_FALSE(shell.NotifyIcon(syslib::NIM_DELETE, Data(1)));

  host_ = false;
  EXPECT_FALSE(shell.NotifyIcon(syslib::NIM_ADD, Data(2))) << "the host went";
}

TEST_F(TrayShellTest, WhatTheOperatorDoesReachesTheWindowAsMouseMessages) {
  TrayShell shell([this] { return host_; });
  ASSERT_TRUE(shell.NotifyIcon(syslib::NIM_ADD, Data(7)));
  QSystemTrayIcon* icon = shell.Icon(pu::FrameHandle(w_), 7);
  ASSERT_NE(icon, nullptr);
  const pu::UINT cb = syslib::TaskBarCallBackMsg;
  struct Case {
    QSystemTrayIcon::ActivationReason reason;
    std::vector<Seen> seen;
  };
  const std::vector<Case> cases = {
      {QSystemTrayIcon::Trigger, {{cb, 7, syslib::WM_LBUTTONDOWN}, {cb, 7, syslib::WM_LBUTTONUP}}},
      {QSystemTrayIcon::DoubleClick, {{cb, 7, syslib::WM_LBUTTONDBLCLK}}},
      {QSystemTrayIcon::Context, {{cb, 7, syslib::WM_RBUTTONDOWN}, {cb, 7, syslib::WM_RBUTTONUP}}},
      {QSystemTrayIcon::MiddleClick, {}},
  };
  for (const Case& c : cases) {
    gSeen.clear();
    emit icon->activated(c.reason);
    EXPECT_EQ(gSeen, c.seen) << c.reason;
  }
}

TEST_F(TrayShellTest, ATrayHostThatAppearsTellsEveryTopLevelWindow) {
  host_ = false;
  TrayShell shell([this] { return host_; });
  const pu::UINT created = pu::RegisterWindowMessage("TaskbarCreated");
  const auto seenNow = [] {
    pu::DispatchNativeMessages();
    return std::exchange(gSeen, {});
  };
  shell.CheckTrayHost();
  EXPECT_TRUE(seenNow().empty());
  host_ = true;
  shell.CheckTrayHost();
  EXPECT_EQ(seenNow(), (std::vector<Seen>{{created, 0, 0}}));
  shell.CheckTrayHost();
  EXPECT_TRUE(seenNow().empty()) << "only when it appears";
  EXPECT_TRUE(shell.HostPresent());
  host_ = false;
  shell.CheckTrayHost();
  EXPECT_FALSE(shell.HostPresent()) << "gone";
  host_ = true;
  shell.CheckTrayHost();
  EXPECT_TRUE(shell.HostPresent());
  EXPECT_EQ(seenNow(), (std::vector<Seen>{{created, 0, 0}})) << "and when it comes back";
}

}  // namespace
}  // namespace platform::qt

int main(int argc, char** argv) { return testsupport::QtTestMain(argc, argv); }
