// The toolkit's notification area on the offscreen platform, where no tray
// host is: the real answer refuses every icon; with a host made up by the
// test, icons are held, clicked and brought back.
#include "platform/qt/trayshell.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/icons.h"
#include "platform/window.h"
#include "tests/support/icon_file.h"
#include "tests/support/qt_main.h"

namespace platform::qt {
namespace {

namespace pu = platform::ui;

// The callback message the icons are given.
constexpr pu::UINT kCallback = pu::WM_USER + 7;

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
  TrayShellTest() {
    pu::SetThreadView(&pu::SharedNativeHeadlessView());
    w_.Open();
    pu::SetWindowProc(pu::FrameHandle(w_), Record);
    gSeen.clear();
  }
  ~TrayShellTest() override {
    w_.Close();
    pu::SetThreadView(nullptr);
  }
  pu::NOTIFYICONDATA Data(uint32_t id, std::string tip = "tip") const {
    pu::NOTIFYICONDATA d;
    d.cbSize = pu::kNotifyIconDataSize6;
    d.hWnd = pu::FrameHandle(w_);
    d.uID = id;
    d.uFlags = pu::NIF_MESSAGE | pu::NIF_ICON | pu::NIF_TIP;
    d.uCallbackMessage = kCallback;
    d.hIcon = icon_;
    d.szTip = std::move(tip);
    return d;
  }

  const pu::HICON icon_ = [] {
    const std::string file = testsupport::IconFile();
    return pu::KeepIcon("velorn.ico", std::vector<unsigned char>(file.begin(), file.end()));
  }();
  pu::Window w_;
  bool host_ = true;
};

TEST_F(TrayShellTest, WithoutATrayHostNothingIsAdded) {
  ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
  TrayShell shell;
  EXPECT_FALSE(shell.NotifyIcon(pu::NIM_ADD, Data(1)));
  EXPECT_EQ(shell.Icon(pu::FrameHandle(w_), 1), nullptr);
  // It is the thread's shell.
  const pu::NOTIFYICONDATA d = Data(1);
  EXPECT_EQ(pu::Shell_NotifyIcon(pu::NIM_ADD, &d), 0);
  EXPECT_EQ(pu::ThreadNotifyShell(), &shell);
}

TEST_F(TrayShellTest, IconsAreHeldOnceAndOnlyHeldOnesChange) {
  TrayShell shell([this] { return host_; });
  EXPECT_FALSE(shell.NotifyIcon(pu::NIM_MODIFY, Data(1)));
  EXPECT_FALSE(shell.NotifyIcon(pu::NIM_DELETE, Data(1)));
  EXPECT_FALSE(shell.NotifyIcon(pu::NIM_SETVERSION, Data(1)));
  pu::NOTIFYICONDATA stranger = Data(1);
  stranger.hWnd = 0;
  EXPECT_FALSE(shell.NotifyIcon(pu::NIM_ADD, stranger)) << "no window to tell of clicks";

  ASSERT_TRUE(shell.NotifyIcon(pu::NIM_ADD, Data(1, " vELORN v. 1.0    ")));
  EXPECT_FALSE(shell.NotifyIcon(pu::NIM_ADD, Data(1))) << "not twice";
  QSystemTrayIcon* icon = shell.Icon(pu::FrameHandle(w_), 1);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->toolTip(), QStringLiteral(" vELORN v. 1.0"));
  EXPECT_FALSE(icon->icon().isNull());
  EXPECT_TRUE(icon->isVisible());

  pu::NOTIFYICONDATA tipOnly = Data(1, "changed  ");
  tipOnly.uFlags = pu::NIF_TIP;
  EXPECT_TRUE(shell.NotifyIcon(pu::NIM_MODIFY, tipOnly));
  EXPECT_EQ(icon->toolTip(), QStringLiteral("changed"));
  EXPECT_TRUE(shell.NotifyIcon(pu::NIM_SETVERSION, Data(1)));
  EXPECT_TRUE(shell.NotifyIcon(pu::NIM_DELETE, Data(1)));
  EXPECT_EQ(shell.Icon(pu::FrameHandle(w_), 1), nullptr);
  EXPECT_FALSE(shell.NotifyIcon(pu::NIM_DELETE, Data(1)));

  host_ = false;
  EXPECT_FALSE(shell.NotifyIcon(pu::NIM_ADD, Data(2))) << "the host went";
}

TEST_F(TrayShellTest, WhatTheOperatorDoesReachesTheWindowAsMouseMessages) {
  TrayShell shell([this] { return host_; });
  ASSERT_TRUE(shell.NotifyIcon(pu::NIM_ADD, Data(7)));
  QSystemTrayIcon* icon = shell.Icon(pu::FrameHandle(w_), 7);
  ASSERT_NE(icon, nullptr);
  const pu::UINT cb = kCallback;
  struct Case {
    QSystemTrayIcon::ActivationReason reason;
    std::vector<Seen> seen;
  };
  const std::vector<Case> cases = {
      {QSystemTrayIcon::Trigger, {{cb, 7, pu::WM_LBUTTONDOWN}, {cb, 7, pu::WM_LBUTTONUP}}},
      {QSystemTrayIcon::DoubleClick, {{cb, 7, pu::WM_LBUTTONDBLCLK}}},
      {QSystemTrayIcon::Context, {{cb, 7, pu::WM_RBUTTONDOWN}, {cb, 7, pu::WM_RBUTTONUP}}},
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
