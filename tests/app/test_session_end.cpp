// The end of the session reaching the real executable: SIGTERM, SIGINT and
// SIGHUP end it with its INI values written, also while a box waits for an
// answer nobody gives (Qt's offscreen platform, where boxes stay open).
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "service/winlist.h"
#include "tests/support/child.h"
#include "tests/support/tempdir.h"

namespace {

using namespace std::chrono_literals;
using testsupport::Child;
using testsupport::ReadFile;
using testsupport::TempDir;

constexpr auto kLimit = 10s;

class SessionEnd : public ::testing::Test {
 protected:
  SessionEnd() {
    ::chmod(runtime_.path().c_str(), 0700);
    // This process lists the child's windows.
    ::setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
  }

  // The program without a port: COM1 names nothing.
  std::unique_ptr<Child> Start(bool offscreen) {
    testsupport::ChildOptions o;
    o.cwd = work_.path();
    for (std::string e : testsupport::ProgramEnv(runtime_.path())) {
      if (offscreen && e.starts_with("QT_QPA_PLATFORM=")) e = "QT_QPA_PLATFORM=offscreen";
      o.env.push_back(e);
    }
    o.env.push_back("VELORN_COM1=" + work_.path() + "/no-such-port");
    return std::make_unique<Child>(VELORN_EXE, std::vector<std::string>{}, o);
  }

  // Waits until the child shows a window with this title. The window list
  // is the only sign a box gives, so it is asked again until the limit.
  static bool Shows(const Child& c, const std::string& title) {
    const auto deadline = std::chrono::steady_clock::now() + kLimit;
    while (std::chrono::steady_clock::now() < deadline) {
      service::EnumerateTopWindows();
      for (const auto& e : service::QWin())
        if (platform::ui::HandleProcess(e.handle) == static_cast<uint32_t>(c.pid()) && e.title == title) return true;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }

  std::string StartCount() {
    const std::string ini = ReadFile(work_.file("velorn.INI"));
    const std::string key = "GLO:Pocet_spusteni_programu=";
    const auto at = ini.find(key);
    return at == std::string::npos ? "" : ini.substr(at + key.size(), ini.find('\n', at) - at - key.size());
  }

  TempDir runtime_;
  TempDir work_;
};

TEST_F(SessionEnd, EachSignalEndsTheProgramWithItsIniWritten) {
  struct Case {
    const char* what;
    int signal;
    const char* count;
  } cases[] = {{"SIGTERM", SIGTERM, "1"}, {"SIGINT", SIGINT, "2"}, {"SIGHUP", SIGHUP, "3"}};
  for (const Case& c : cases) {
    auto p = Start(/*offscreen=*/false);
    ASSERT_TRUE(p->WaitForOutput("velorn: ready", kLimit)) << c.what << p->err();
    EXPECT_NE(p->err().find("Chyba připojení"), std::string::npos) << "answered at once headless";
    p->Signal(c.signal);
    EXPECT_EQ(p->Wait(kLimit), 0) << c.what << p->err();
    EXPECT_EQ(StartCount(), c.count) << c.what;
  }
}

TEST_F(SessionEnd, ABoxLeftOpenIsClosedAndTheProgramEnds) {
  auto p = Start(/*offscreen=*/true);
  ASSERT_TRUE(Shows(*p, "Chyba připojení")) << p->err();
  p->Signal(SIGTERM);
  EXPECT_EQ(p->Wait(kLimit), 0) << p->err();
  EXPECT_EQ(StartCount(), "1");
}

TEST_F(SessionEnd, ASignalDuringABoxOfTheOpeningStepsIsNotLost) {
  // A record file that cannot be opened: its box comes while the main window
  // is being set up, before it has opened.
  ASSERT_EQ(::mkdir(work_.file("Outputs.tps").c_str(), 0700), 0);
  auto p = Start(/*offscreen=*/true);
  ASSERT_TRUE(Shows(*p, "Chyba souboru")) << p->err();
  p->Signal(SIGTERM);
  EXPECT_EQ(p->Wait(kLimit), 0) << p->err();
  EXPECT_EQ(StartCount(), "1");
}

}  // namespace
