// A second start in the folder of a running instance brings that instance's
// main window back: real processes, headless, sharing a runtime folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "service/winlist.h"
#include "tests/support/child.h"
#include "tests/support/tempdir.h"

namespace {

using namespace std::chrono_literals;
using testsupport::Child;
using testsupport::TempDir;

constexpr auto kLimit = 10s;
const std::string kHolder = std::string(VELORN_TOOLS_DIR) + "/velorn_winholder";
const std::string kCaption = " vELORN v. 1.0";

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

class SecondInstance : public ::testing::Test {
 protected:
  SecondInstance() {
    ::chmod(runtime_.path().c_str(), 0700);
    // This process lists the windows of the children too.
    ::setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
  }

  std::unique_ptr<Child> Start(const std::string& exe, const std::string& cwd, std::vector<std::string> args) {
    testsupport::ChildOptions o;
    o.cwd = cwd;
    o.env = testsupport::ProgramEnv(runtime_.path());
    return std::make_unique<Child>(exe, args, o);
  }
  std::unique_ptr<Child> StartReady(const std::string& exe, const std::string& cwd, std::vector<std::string> args) {
    auto c = Start(exe, cwd, std::move(args));
    EXPECT_TRUE(c->WaitForOutput("velorn: ready", kLimit)) << c->err();
    return c;
  }
  // The handle of the window listed with a class, 0 when none is.
  static service::HWND Listed(uint32_t pid, const std::string& className) {
    service::EnumerateTopWindows();
    for (const auto& e : service::QWin())
      if (platform::ui::HandleProcess(e.handle) == pid && e.className == className) return e.handle;
    return 0;
  }

  TempDir runtime_;
  TempDir work_;
};

TEST_F(SecondInstance, TheHiddenMinimisedMainWindowOfThisFolderIsRestoredAndBroughtToTheFront) {
  // The running instance: the folder's guard and its main window, in the
  // notification area; above it a window with the same title but another
  // class. Another folder's instance looks just the same.
  auto running = StartReady(kHolder, work_.path(),
                            {"--instance", "--title", kCaption, "--hidden", "--iconic", "--open",  //
                             "--class", "Other", "--title", kCaption, "--hidden", "--iconic", "--open"});
  TempDir elsewhere;
  auto other = StartReady(kHolder, elsewhere.path(), {"--instance", "--title", kCaption, "--hidden", "--iconic", "--open"});
  const auto pid = static_cast<uint32_t>(running->pid());
  const service::HWND decoy = Listed(pid, "Other");
  ASSERT_NE(decoy, 0u);
  service::HWND otherMain = 0;
  for (const auto& e : service::QWin())
    if (platform::ui::HandleProcess(e.handle) == static_cast<uint32_t>(other->pid())) otherMain = e.handle;
  ASSERT_NE(otherMain, 0u);

  auto second = Start(VELORN_EXE, work_.path(), {});
  EXPECT_EQ(second->Wait(kLimit), 0);
  EXPECT_NE(second->err().find("Stop: Program je již spuštěn !"), std::string::npos) << second->err();
  EXPECT_EQ(second->out().find("velorn: ready"), std::string::npos) << "no second main window";

  ASSERT_TRUE(running->WaitForOutput("velorn: front", kLimit)) << running->out();
  const std::string out = running->out();
  const auto restored = out.find("velorn: restored "), front = out.find("velorn: front ");
  ASSERT_NE(restored, std::string::npos) << out;
  EXPECT_LT(restored, front) << "restored, then brought to the front";
  const std::string h = out.substr(restored + 17, out.find('\n', restored) - restored - 17);
  EXPECT_EQ(out.substr(front + 14, h.size() + 1), h + "\n") << "the same window";
  EXPECT_NE(std::to_string(decoy), h);
  EXPECT_FALSE(service::IsIconic(std::stoull(h)));
  EXPECT_TRUE(service::IsIconic(decoy));

  // Requests are handled in order: once these arrive, anything sent to the
  // other windows before would have shown.
  ASSERT_TRUE(service::SetForegroundWindow(decoy));
  ASSERT_TRUE(running->WaitForOutput("velorn: front " + std::to_string(decoy), kLimit));
  ASSERT_TRUE(service::SetForegroundWindow(otherMain));
  ASSERT_TRUE(other->WaitForOutput("velorn: front " + std::to_string(otherMain), kLimit));
  EXPECT_EQ(Count(running->out(), "velorn: restored"), 1) << running->out();
  EXPECT_EQ(Count(other->out(), "velorn: restored"), 0) << other->out();
  EXPECT_EQ(Count(other->out(), "velorn: front"), 1) << other->out();
}

TEST_F(SecondInstance, TheRealProgramStartedFirstIsBroughtToTheFront) {
  auto first = StartReady(VELORN_EXE, work_.path(), {});
  auto second = Start(VELORN_EXE, work_.path(), {});
  EXPECT_EQ(second->Wait(kLimit), 0);
  EXPECT_NE(second->err().find("Stop: Program je již spuštěn !"), std::string::npos) << second->err();
  ASSERT_TRUE(first->WaitForOutput("velorn: front", kLimit)) << first->out();
  // Its window was not minimised: nothing to restore.
  EXPECT_EQ(first->out().find("velorn: restored"), std::string::npos) << first->out();

  first->Signal(SIGTERM);
  EXPECT_EQ(first->Wait(kLimit), 0);
  EXPECT_NE(::access(service::WindowListSocket(static_cast<uint32_t>(first->pid())).c_str(), F_OK), 0)
      << "the window list's socket goes with the program";
}

// On an X display (tests/on_display.sh runs these): the notice is a box on
// the screen, and the second start waits until the operator has closed it.
class SecondInstanceOnDisplay : public SecondInstance {
 protected:
  SecondInstanceOnDisplay() {
    // COM1 is a pseudo-terminal of the test's own: the first start connects
    // without a box that would wait for the operator.
    port_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    EXPECT_GE(port_, 0);
    if (port_ >= 0 && ::grantpt(port_) == 0 && ::unlockpt(port_) == 0) portName_ = ::ptsname(port_);
  }
  ~SecondInstanceOnDisplay() override {
    if (port_ >= 0) ::close(port_);
  }

  // Both starts show their windows on the display.
  std::unique_ptr<Child> StartShown(const std::string& cwd) {
    testsupport::ChildOptions o;
    o.cwd = cwd;
    for (const std::string& e : testsupport::ProgramEnv(runtime_.path()))
      if (!e.starts_with("DISPLAY=") && !e.starts_with("QT_QPA_PLATFORM=")) o.env.push_back(e);
    o.env.push_back("DISPLAY=" + std::string(std::getenv("DISPLAY")));
    o.env.push_back("QT_QPA_PLATFORM=xcb");
    o.env.push_back("VELORN_COM1=" + portName_);
    return std::make_unique<Child>(VELORN_EXE, std::vector<std::string>{}, o);
  }
  // Runs xdotool with the arguments; its output, or nullopt when it failed.
  static std::optional<std::string> XDoTool(std::vector<std::string> args) {
    args.insert(args.begin(), "xdotool");
    Child x("/usr/bin/env", args, {"", {}, false});
    if (x.Wait(kLimit) != 0) return std::nullopt;
    return x.out();
  }

  int port_ = -1;
  std::string portName_;
};

TEST_F(SecondInstanceOnDisplay, TheNoticeIsABoxOnTheScreenAndTheFirstComesForwardOnceItIsClosed) {
  const char* display = std::getenv("DISPLAY");
  ASSERT_TRUE(display != nullptr && *display != '\0') << "needs an X display: tests/on_display.sh runs it";
  auto first = StartShown(work_.path());
  ASSERT_TRUE(first->WaitForOutput("velorn: ready", kLimit)) << first->err();

  auto second = StartShown(work_.path());
  // The box of the second start, found by its caption and process (search
  // --sync waits for it; kLimit bounds the wait).
  const auto found = XDoTool({"search", "--sync", "--onlyvisible", "--pid", std::to_string(second->pid()), "--name",
                              "^Stop$"});
  ASSERT_TRUE(found.has_value()) << second->err();
  const std::string box = found->substr(0, found->find('\n'));
  ASSERT_FALSE(box.empty());
  EXPECT_EQ(XDoTool({"getwindowname", box}), "Stop\n");
  EXPECT_EQ(second->Wait(0ms), -1) << "it waits for the operator";
  EXPECT_EQ(first->out().find("velorn: front"), std::string::npos) << "nothing is brought forward before";

  // Enter on the box, as the operator presses it.
  ASSERT_TRUE(XDoTool({"windowactivate", "--sync", box, "key", "Return"}).has_value());
  EXPECT_EQ(second->Wait(kLimit), 0);
  EXPECT_EQ(second->err().find("Program je již spuštěn !"), std::string::npos) << "shown, not written: " << second->err();
  EXPECT_EQ(second->out().find("velorn: ready"), std::string::npos) << "no second main window";
  EXPECT_TRUE(first->WaitForOutput("velorn: front", kLimit)) << first->out();

  first->Signal(SIGTERM);
  EXPECT_EQ(first->Wait(kLimit), 0);
}

}  // namespace
