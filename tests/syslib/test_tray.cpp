#include "syslib/tray.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "platform/window.h"
#include "syslib/winhook.h"
#include "tests/support/icon_file.h"
#include "tests/support/recording_shell.h"
#include "tests/support/target.h"
#include "tests/support/tempdir.h"

namespace syslib {
namespace {

namespace pu = platform::ui;
using pu::NIF_ICON;
using pu::NIF_MESSAGE;
using pu::NIF_TIP;
using pu::NIM_ADD;
using pu::NIM_MODIFY;
using pu::NIM_SETVERSION;
using pu::NOTIFYICON_VERSION;
using pu::NOTIFYICONDATA;
using testsupport::AsTarget;
using testsupport::Events;
using testsupport::RecordingShell;

// Native headless windows, "velorn.ico" in the current folder and a
// recording shell, on the calling thread.
class Tray : public ::testing::Test {
 protected:
  Tray() : dir_(/*makeCurrent=*/true) {
    pu::SetThreadView(&pu::SharedNativeHeadlessView());
    testsupport::WriteFile(dir_.file("velorn.ico"), testsupport::IconFile());
  }
  ~Tray() override {
    pu::SetThreadView(nullptr);
    // The thread's icons go with the test.
    while (!IQ().empty()) DeleteTrayIcon(0);
  }
  LONG Add(std::string_view tip = "tip", std::string_view icon = "velorn.ico") {
    return WinTaskbarAddIcon("", tip, icon, 0, 0, 1);
  }

  testsupport::TempDir dir_;
  RecordingShell shell_;
};

TEST_F(Tray, IdsCountOnAcrossTheThreadsWindows) {
  pu::Window a, b;
  AsTarget(a, [&] {
    EXPECT_EQ(Add(), 1);
    AsTarget(b, [&] {
      EXPECT_EQ(Add(), 2);
      EXPECT_EQ(IQ().back().WINHANDLE, pu::FrameHandle(b));
    });
    WinTaskbarRemoveIcon(1, 0);
    EXPECT_EQ(Add(), 3);
    ASSERT_EQ(IQ().size(), 2u);
    EXPECT_EQ(IQ()[0].ID, 2u);
    EXPECT_EQ(IQ()[1].ID, 3u);
    EXPECT_EQ(IQ()[1].WINHANDLE, pu::FrameHandle(a));
    EXPECT_EQ(IQ()[1].SHELLVERSION, 6u);
  });
}

TEST_F(Tray, RemovingEveryIconTakesTheCurrentWindowsIconsOnly) {
  pu::Window a, b;
  AsTarget(a, [&] {
    ASSERT_EQ(Add("a"), 1);
    AsTarget(b, [&] {
      ASSERT_EQ(Add("b"), 2);
      ASSERT_EQ(Add("b again"), 3);
      WinTaskbarRemoveIcon(0, 1);
      ASSERT_EQ(IQ().size(), 1u) << "every icon of the current window goes, the other window's stays";
      EXPECT_EQ(IQ()[0].ID, 1u);
      EXPECT_EQ(IQ()[0].WINHANDLE, pu::FrameHandle(a));
      EXPECT_EQ(shell_.icons, (std::set<std::pair<pu::HWND, uint32_t>>{{pu::FrameHandle(a), 1u}}))
          << "the shell still shows the other window's icon";
    });
    WinTaskbarRemoveIcon(0, 1);
    EXPECT_TRUE(IQ().empty());
    EXPECT_TRUE(shell_.icons.empty());
  });
}

TEST_F(Tray, TheStructureFollowsTheShellVersion) {
  struct Case {
    uint32_t version;
    uint32_t size;
  };
  for (const Case& c : std::vector<Case>{{4, 88}, {5, 488}, {6, 504}, {7, 504}}) {
    IconRecord r;
    r.SHELLVERSION = c.version;
    r.WINHANDLE = 0x1234'0000'0002;
    r.ID = 9;
    const NOTIFYICONDATA d = SetIconDataSize(r);
    EXPECT_EQ(d.cbSize, c.size) << c.version;
    EXPECT_EQ(d.hWnd, r.WINHANDLE);
    EXPECT_EQ(d.uID, 9u);
    EXPECT_EQ(d.uFlags, 0u);
    EXPECT_TRUE(d.szTip.empty());
  }
  pu::Window w;
  AsTarget(w, [&] {
    ASSERT_EQ(WinTaskbarAddIcon("", "tip", "velorn.ico", 0, 1, 1), 1);
    ASSERT_EQ(shell_.calls.size(), 2u);
    const NOTIFYICONDATA& add = shell_.calls[0].data;
    EXPECT_EQ(shell_.calls[0].message, NIM_ADD);
    EXPECT_EQ(add.cbSize, 504u);
    EXPECT_EQ(add.hWnd, pu::FrameHandle(w));
    EXPECT_EQ(add.uID, 1u);
    EXPECT_EQ(add.uFlags, NIF_MESSAGE | NIF_ICON | NIF_TIP);
    EXPECT_EQ(add.uCallbackMessage, TaskBarCallBackMsg);
    EXPECT_NE(add.hIcon, 0u);
    EXPECT_EQ(add.uVersion, 0u);
    EXPECT_EQ(shell_.calls[1].message, NIM_SETVERSION);
    EXPECT_EQ(shell_.calls[1].data.uVersion, NOTIFYICON_VERSION);
    EXPECT_EQ(shell_.calls[1].data.uFlags, 0u);
  });
}

TEST_F(Tray, TipsAreCleanedAndCut) {
  struct Clean {
    const char* text;
    uint32_t version;
    const char* clean;
  };
  for (const Clean& c : std::vector<Clean>{{"a\r\nb  ", 4, "a  b"},
                                          {"a\r\nb  ", 5, "a\r\nb"},
                                          {"a\nb\r", 6, "a\nb\r"},
                                          {"   ", 4, ""}})
    EXPECT_EQ(CleanTipText(c.text, c.version), c.clean) << c.text << " " << c.version;

  std::string czech;
  for (int i = 0; i < 200; ++i) czech += "ž";
  struct Case {
    std::string tip;
    uint8_t noTip;
    std::string shown;
  };
  const std::vector<Case> cases = {
      {" vELORN v. 1.0       ", 0, " vELORN v. 1.0"},
      {std::string(200, 'x'), 0, std::string(127, 'x')},
      {czech, 0, czech.substr(0, 127 * 2)},
      {"line\r\nnext", 0, "line\r\nnext"},
      {"hidden", 1, ""},
  };
  pu::Window w;
  AsTarget(w, [&] {
    for (const Case& c : cases) {
      shell_.calls.clear();
      const LONG id = WinTaskbarAddIcon("", c.tip, "velorn.ico", c.noTip, 0, 1);
      ASSERT_NE(id, 0);
      EXPECT_EQ(shell_.calls.at(0).data.szTip, c.shown);
      WinTaskbarRemoveIcon(id, 0);
    }
  });
}

TEST_F(Tray, TwoAddsLoadThePictureOnce) {
  // A name of its own: the thread keeps what it loaded under each name.
  static int run = 0;
  const std::string name = "once" + std::to_string(++run) + ".ico";
  testsupport::WriteFile(dir_.file(name), testsupport::IconFile());
  pu::Window a, b;
  AsTarget(a, [&] {
    const std::size_t loaded = IHQ().size();
    ASSERT_EQ(Add("tip", name), 1);
    std::remove(name.c_str());
    AsTarget(b, [&] { ASSERT_EQ(Add("tip", name + "   "), 2); });
    EXPECT_EQ(IHQ().size(), loaded + 1);
    EXPECT_EQ(IHQ().back().ICONNAME, name);
    ASSERT_EQ(shell_.calls.size(), 2u);
    EXPECT_EQ(shell_.calls[0].data.hIcon, shell_.calls[1].data.hIcon);
  });
}

TEST_F(Tray, TaskbarCreatedBringsTheIconBack) {
  pu::Window w;
  AsTarget(w, [&] {
    const pu::HWND frame = pu::FrameHandle(w);
    ASSERT_EQ(Add("first"), 1);
    Events(w);
    // The shell starts again and tells every window.
    shell_.Restart();
    shell_.calls.clear();
    pu::SendMessage(frame, WM_TaskBarRestart(), 0, 0);
    EXPECT_EQ(Events(w), std::vector<int>{TaskbarRestartEvent});
    WinTaskbarChangeIcon("", "second", "velorn.ico", 0, 1, 0, 1);
    ASSERT_EQ(shell_.calls.size(), 2u);
    EXPECT_EQ(shell_.calls[0].message, NIM_MODIFY);
    EXPECT_FALSE(shell_.calls[0].done);
    EXPECT_EQ(shell_.calls[0].data.uFlags, NIF_ICON | NIF_TIP);
    EXPECT_EQ(shell_.calls[1].message, NIM_ADD);
    EXPECT_TRUE(shell_.calls[1].done);
    EXPECT_EQ(shell_.calls[1].data.uID, 1u);
    EXPECT_EQ(shell_.calls[1].data.uFlags, NIF_MESSAGE | NIF_ICON | NIF_TIP);
    EXPECT_EQ(shell_.calls[1].data.uCallbackMessage, TaskBarCallBackMsg);
    EXPECT_EQ(shell_.calls[1].data.szTip, "second");
    EXPECT_EQ(LibraryErrorCode(), 0);

    // With the icon there, a change only modifies it: by id 0 as well.
    shell_.calls.clear();
    WinTaskbarChangeIcon("", "third", "velorn.ico", 0, 0, 0, 1);
    ASSERT_EQ(shell_.calls.size(), 1u);
    EXPECT_EQ(shell_.calls[0].message, NIM_MODIFY);
    EXPECT_TRUE(shell_.calls[0].done);
    EXPECT_EQ(IQ().size(), 1u);

    // A click on it comes back through the hook.
    pu::SendMessage(frame, TaskBarCallBackMsg, 1, WM_LBUTTONDOWN);
    pu::SendMessage(frame, TaskBarCallBackMsg, 1, WM_LBUTTONUP);
    EXPECT_EQ(Events(w), (std::vector<int>{TrayLeftDownEvent, TrayLeftUpEvent}));
  });
}

TEST_F(Tray, RefusalsAndMissingPictures) {
  struct Case {
    const char* name;
    std::vector<uint32_t> refuse;
    const char* icon;
    LONG id;            // WinTaskbarAddIcon's result
    std::size_t icons;  // records afterwards
    LONG error;
    std::string detail;
  };
  const std::vector<Case> cases = {
      {"add refused", {NIM_ADD}, "velorn.ico", 0, 0, kErrTaskbarAddIcon, "WinTaskbarAddIcon Error : shell_notifyIcon failed"},
      {"version refused", {NIM_SETVERSION}, "velorn.ico", 1, 1, kErrTaskbarAddIcon,
       "WinTaskbarAddIcon Error : Setversion failed : Invalid argument"},
      {"no picture file", {}, "missing.ico", 0, 0, static_cast<LONG>(0xA000003Cu),
       "ds_GetHIcon Error : loadImage failed : No such file or directory missing.ico"},
      {"empty icon name", {}, "   ", 0, 0, 0, ""},
  };
  pu::Window w;
  AsTarget(w, [&] {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      shell_.refuse = {c.refuse.begin(), c.refuse.end()};
      EXPECT_EQ(WinTaskbarAddIcon("", "tip", c.icon, 0, 1, 1), c.id);
      EXPECT_EQ(IQ().size(), c.icons);
      EXPECT_EQ(LibraryErrorCode(), c.error);
      EXPECT_EQ(LibraryErrorDetail(), c.detail);
      shell_.refuse.clear();
      WinTaskbarRemoveIcon(0, 1);
    }

    ASSERT_EQ(Add(), 1);
    shell_.Restart();
    shell_.refuse = {NIM_ADD};
    WinTaskbarChangeIcon("", "tip", "velorn.ico", 1, 0, 0, 1);
    EXPECT_EQ(LibraryErrorCode(), kErrTaskbarChangeIcon);
    EXPECT_EQ(LibraryErrorDetail(), "WinTaskbarChangeIcon Error : shell_notifyIcon failed");
    WinTaskbarRemoveIcon(1, 0);
    EXPECT_EQ(LibraryErrorCode(), kErrTaskbarRemoveIcon) << "the shell did not hold it";
    EXPECT_TRUE(IQ().empty()) << "the record goes anyway";

    shell_.calls.clear();
    WinTaskbarRemoveIcon(0, 1);
    WinTaskbarChangeIcon("", "tip", "velorn.ico", 0, 1, 0, 1);
    EXPECT_TRUE(shell_.calls.empty()) << "no icon: nothing asked of the shell";
    EXPECT_EQ(LibraryErrorCode(), 0);
  });
}

TEST(TrayWithoutShell, NothingIsAdded) {
  testsupport::TempDir dir(/*makeCurrent=*/true);
  testsupport::WriteFile(dir.file("velorn.ico"), testsupport::IconFile());
  pu::SetThreadView(&pu::SharedNativeHeadlessView());
  pu::Window w;
  AsTarget(w, [&] {
    EXPECT_EQ(WinTaskbarAddIcon("", "tip", "velorn.ico", 0, 0, 1), 0);
    EXPECT_EQ(LibraryErrorCode(), kErrTaskbarAddIcon);
    EXPECT_TRUE(IQ().empty());
  });
  pu::SetThreadView(nullptr);
}

}  // namespace
}  // namespace syslib
