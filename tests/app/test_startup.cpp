// Start-up of the real executable as a child process, with headless boxes
// and a runtime folder of the test's own.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/child.h"
#include "tests/support/tempdir.h"

namespace {

using namespace std::chrono_literals;
using testsupport::Child;
using testsupport::ReadFile;
using testsupport::SnapshotFolder;
using testsupport::TempDir;

constexpr auto kStartLimit = 10s;

class Startup : public ::testing::Test {
 protected:
  Startup() { ::chmod(runtime_.path().c_str(), 0700); }

  std::unique_ptr<Child> Start(const std::string& cwd, std::vector<std::string> args = {}) {
    testsupport::ChildOptions o;
    o.cwd = cwd;
    o.env = testsupport::ProgramEnv(runtime_.path());
    for (const auto& e : env_) testsupport::SetEnv(o.env, e);
    return std::make_unique<Child>(VELORN_EXE, args, o);
  }
  // Starts an instance and waits until its main window is up.
  std::unique_ptr<Child> StartReady(const std::string& cwd, std::vector<std::string> args = {}) {
    auto c = Start(cwd, std::move(args));
    EXPECT_TRUE(c->WaitForOutput("velorn: ready", kStartLimit)) << c->err();
    return c;
  }
  static int Stop(Child& c) {
    c.Signal(SIGTERM);
    return c.Wait(kStartLimit);
  }
  // A run that ends by itself (boxes answer at once).
  int RunToEnd(const std::string& cwd, std::vector<std::string> args, std::string* err = nullptr) {
    auto c = Start(cwd, std::move(args));
    const int rc = c->Wait(kStartLimit);
    if (err) *err = c->err();
    return rc;
  }

  TempDir runtime_;
  TempDir work_;
  std::vector<std::string> env_;  // "NAME=value" for the runs
};

TEST_F(Startup, ANormalRunWritesThePreservedValuesInOrder) {
  auto c = StartReady(work_.path());
  EXPECT_EQ(Stop(*c), 0);
  const std::string ini = ReadFile(work_.file("velorn.INI"));
  const size_t a = ini.find("GLO:Verze_programu=1.0\n"), b = ini.find("GLO:Pocet_spusteni_programu=1\n"),
               d = ini.find("GLO:Prvni_spusteni=0\n"), e = ini.find("GCU=1\n");
  ASSERT_NE(a, std::string::npos) << ini;
  ASSERT_NE(b, std::string::npos) << ini;
  ASSERT_NE(d, std::string::npos) << ini;
  ASSERT_NE(e, std::string::npos) << ini;
  EXPECT_LT(ini.find("[Preserved]"), a);
  EXPECT_TRUE(a < b && b < d && d < e) << ini;

  auto again = StartReady(work_.path());
  EXPECT_EQ(Stop(*again), 0);
  EXPECT_NE(ReadFile(work_.file("velorn.INI")).find("GLO:Pocet_spusteni_programu=2\n"), std::string::npos);
}

TEST_F(Startup, StartsInARowKeepAHandEditedIniAsItIs) {
  using namespace std::string_literals;
  const std::string before = "; edited by hand\r\n[Editace_uloh\r\nXPos=10\r\nno equals sign\r\n"s;
  const std::string after = "\0after a NUL\r\n[Unknown]\r\nkey=value\r\n"s;
  testsupport::WriteFile(work_.file("velorn.INI"),
                         before + "[Preserved]\r\nGLO:Pocet_spusteni_programu=1\r\n" + after);
  std::vector<std::string> runs;
  for (int i = 0; i < 3; ++i) {
    auto c = StartReady(work_.path());
    ASSERT_EQ(Stop(*c), 0);
    runs.push_back(ReadFile(work_.file("velorn.INI")));
  }
  for (const std::string& ini : runs) {
    SCOPED_TRACE(ini);
    EXPECT_EQ(ini.size(), runs[0].size());
    EXPECT_TRUE(ini.starts_with(before + "[Preserved]\r\n"));
    EXPECT_NE(ini.find(after), std::string::npos);
  }
  EXPECT_NE(runs[2].find("GLO:Pocet_spusteni_programu=4\r\n"), std::string::npos);
}

TEST_F(Startup, ASecondStartInTheSameFolderIsRefusedAndWritesNothing) {
  auto first = StartReady(work_.path());
  const std::string before = SnapshotFolder(work_.path());
  std::string err;
  EXPECT_EQ(RunToEnd(work_.path(), {}, &err), 0);
  EXPECT_NE(err.find("Stop: Program je již spuštěn !"), std::string::npos) << err;
  EXPECT_EQ(SnapshotFolder(work_.path()), before);

  // "/IS" meets the guard first: the notice, and nothing installed.
  EXPECT_EQ(RunToEnd(work_.path(), {"/IS"}, &err), 0);
  EXPECT_NE(err.find("Program je již spuštěn !"), std::string::npos) << err;
  EXPECT_EQ(err.find("Service"), std::string::npos) << err;
  EXPECT_EQ(SnapshotFolder(work_.path()), before);

  EXPECT_EQ(Stop(*first), 0);
  // The refused starts were not counted.
  EXPECT_NE(ReadFile(work_.file("velorn.INI")).find("GLO:Pocet_spusteni_programu=1\n"), std::string::npos);
}

TEST_F(Startup, AnotherFolderAndForceRunStartFullInstances) {
  TempDir other;
  auto first = StartReady(work_.path());
  auto elsewhere = StartReady(other.path());
  auto forced = StartReady(work_.path(), {"/forcerun"});
  EXPECT_EQ(Stop(*forced), 0);
  EXPECT_EQ(Stop(*elsewhere), 0);
  EXPECT_EQ(Stop(*first), 0);
  // A forced instance holds no guard: after it another one starts.
  auto next = StartReady(work_.path(), {"/ForceRun"});
  auto guarded = StartReady(work_.path());
  EXPECT_EQ(Stop(*guarded), 0);
  EXPECT_EQ(Stop(*next), 0);
}

TEST_F(Startup, ServiceSwitchesEndWithoutWritingTheIni) {
  TempDir units;
  env_ = {"VELORN_UNIT_DIR=" + units.path()};
  std::string err;
  EXPECT_EQ(RunToEnd(work_.path(), {"/IS", "/RS"}, &err), 0);
  EXPECT_NE(err.find("Cannot open and remove Service Entry"), std::string::npos) << err;
  EXPECT_EQ(err.find("Cannot create"), std::string::npos) << err;
  EXPECT_EQ(RunToEnd(work_.path(), {"/is"}, &err), 0);
  EXPECT_NE(err.find("Finished: Service \"vELORN\" installed."), std::string::npos) << err;
  EXPECT_EQ(RunToEnd(work_.path(), {"/is"}, &err), 0);
  EXPECT_NE(err.find("Cannot create Service Entry"), std::string::npos) << err;
  EXPECT_EQ(RunToEnd(work_.path(), {"/rs"}, &err), 0);
  EXPECT_NE(err.find("Finished: Service \"vELORN\" removed."), std::string::npos) << err;
  EXPECT_EQ(SnapshotFolder(work_.path()), "");
  // "SERVICEPATH=/data/rs/x" is no "/RS".
  TempDir rs;
  EXPECT_EQ(RunToEnd(work_.path(), {"SERVICEPATH=" + rs.path() + "/rs", "/NOSERVICE"}, &err), 3);
  EXPECT_EQ(err.find("Cannot open and remove"), std::string::npos) << err;
}

TEST_F(Startup, ServicePathReadsTheStartFolderAndWritesTheWorkingFolder) {
  TempDir service;
  testsupport::WriteFile(work_.file("velorn.INI"),
                         "[Preserved]\nGLO:Verze_programu=0.9\nGLO:Pocet_spusteni_programu=41\nGLO:Prvni_spusteni=7\n"
                         "GCU=1\n[Foreign]\nkeep=\xe8\n");
  const std::string startIni = ReadFile(work_.file("velorn.INI"));
  auto c = StartReady(work_.path(), {"servicepath=" + service.path(), "/NOSERVICE"});
  EXPECT_EQ(Stop(*c), 0);
  EXPECT_EQ(ReadFile(work_.file("velorn.INI")), startIni);
  const std::string ini = ReadFile(service.file("velorn.INI"));
  EXPECT_NE(ini.find("GLO:Pocet_spusteni_programu=42\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("GLO:Prvni_spusteni=7\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("GLO:Verze_programu=1.0\n"), std::string::npos) << ini;
}

TEST_F(Startup, WithoutNoServiceTheDispatcherFailsAndTheRunStillEnds) {
  TempDir service;
  std::string err;
  EXPECT_EQ(RunToEnd(work_.path(), {"SERVICEPATH=" + service.path()}, &err), 0);
  EXPECT_NE(err.find("Error: FAILED SERVICE CONTROLLER CONNECT. Cannot start service.\n"), std::string::npos) << err;
  EXPECT_NE(ReadFile(service.file("velorn.INI")).find("GLO:Pocet_spusteni_programu=1\n"), std::string::npos);
  EXPECT_EQ(SnapshotFolder(work_.path()), "");
}

TEST_F(Startup, AWorkingFolderThatCannotBeEnteredEndsTheRunAndFreesTheGuard) {
  std::string err;
  const std::string missing = work_.path() + "/missing";
  EXPECT_EQ(RunToEnd(work_.path(), {"SERVICEPATH=" + missing}, &err), 3);
  EXPECT_NE(err.find(missing), std::string::npos) << err;
  EXPECT_EQ(SnapshotFolder(work_.path()), "") << "no INI and no record file in the start folder";
  auto next = StartReady(work_.path());
  EXPECT_EQ(Stop(*next), 0);
}

}  // namespace
