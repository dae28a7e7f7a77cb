// The real executable as a service: a datagram socket stands for the
// service manager (NOTIFY_SOCKET), the simulated devices for the
// installation; and "/IS" from a program folder whose name needs quoting.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/data/records.h"
#include "app/program.h"
#include "platform/instance_lock.h"
#include "tests/support/child.h"
#include "tests/support/integrity.h"
#include "tests/support/notify_socket.h"
#include "tests/support/tempdir.h"
#include "tools/devsim.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using testsupport::Child;
using testsupport::IntegrityCheck;
using testsupport::ReadFile;
using testsupport::SnapshotFolder;
using testsupport::TempDir;
using Log = std::vector<std::string>;

constexpr auto kLimit = 20s;
constexpr const char* kRunning = "READY=1\nSTATUS=Running";
constexpr const char* kStopPending = "STOPPING=1\nSTATUS=Stop pending";
constexpr const char* kStopped = "STATUS=Stopped";

// Every record file of the folder passes the check and opens through the
// program's own record API; the settings file holds its one record.
void ExpectRecordFilesIntact(const std::string& folder) {
  int files = 0;
  for (const auto& e : fs::directory_iterator(folder))
    if (e.path().extension() == ".tps") {
      ++files;
      EXPECT_EQ(IntegrityCheck(e.path().string()), "ok") << e.path();
    }
  EXPECT_EQ(files, 4);
  const fs::path start = fs::current_path();
  fs::current_path(folder);
  {
    platform::rec::File<app::data::SettingsRecord> settings(app::data::SettingsDecl());
    platform::rec::File<app::data::TasksRecord> tasks(app::data::TasksDecl());
    EXPECT_EQ(settings.Open(), 0);
    EXPECT_EQ(settings.Records(), 1);
    EXPECT_EQ(tasks.Open(), 0);
    EXPECT_EQ(tasks.Records(), 0);
  }
  fs::current_path(start);
}

class ServiceMode : public ::testing::Test {
 protected:
  ServiceMode() {
    ::chmod(runtime_.path().c_str(), 0700);
    EXPECT_TRUE(sim_.Start());
  }

  std::unique_ptr<Child> StartService() {
    testsupport::ChildOptions o;
    o.cwd = start_.path();
    o.env = testsupport::ProgramEnv(runtime_.path());
    testsupport::SetEnv(o.env, "NOTIFY_SOCKET=" + notify_.path());
    testsupport::SetEnv(o.env, "VELORN_COM1=" + sim_.SlavePath());
    testsupport::SetEnv(o.env, "SDL_AUDIODRIVER=dummy");
    return std::make_unique<Child>(VELORN_EXE, std::vector<std::string>{"SERVICEPATH=" + data_.path()}, o);
  }
  // The end after a stop: exit status 0, the reports in order, the INI
  // written in the data folder, the record files whole.
  void ExpectCleanEnd(Child& c) {
    EXPECT_EQ(c.Wait(kLimit), 0) << c.err();
    ASSERT_TRUE(notify_.WaitForSize(3, kLimit));
    EXPECT_EQ(notify_.Entries(), (Log{kRunning, kStopPending, kStopped}));
    const std::string ini = ReadFile(data_.file("velorn.INI"));
    EXPECT_NE(ini.find("GLO:Pocet_spusteni_programu=1\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("GCU=1\n"), std::string::npos) << ini;
    ExpectRecordFilesIntact(data_.path());
    EXPECT_EQ(SnapshotFolder(start_.path()), "") << "nothing in the start folder";
  }

  TempDir runtime_, start_, data_;
  testsupport::NotifySocket notify_;
  devsim::DeviceSimulator sim_;
};

TEST_F(ServiceMode, RunsMainOnTheWorkerAndEndsCleanlyOnSigterm) {
  auto c = StartService();
  ASSERT_TRUE(notify_.WaitFor(kRunning, kLimit)) << c->err();
  ASSERT_TRUE(c->WaitForOutput("velorn: ready", kLimit)) << c->err();
  // The first thread opens no record file: the worker made this one in the
  // data folder when its window opened.
  EXPECT_TRUE(fs::exists(data_.file("Settings.tps")));
  EXPECT_TRUE(sim_.WaitForCommands(1, kLimit)) << "the worker drives the port";
  c->Signal(SIGTERM);
  ASSERT_TRUE(notify_.WaitFor(kStopPending, kLimit));
  ExpectCleanEnd(*c);
}

TEST_F(ServiceMode, AStopRightAfterReadyStillEndsIt) {
  auto c = StartService();
  ASSERT_TRUE(notify_.WaitFor(kRunning, kLimit)) << c->err();
  c->Signal(SIGTERM);
  ExpectCleanEnd(*c);
}

// The words of an ExecStart= value as systemd splits them: quoted, with
// "\" escapes, "%%" for "%" and, after the program, "$$" for "$".
std::vector<std::string> ExecWords(const std::string& value) {
  std::vector<std::string> words;
  for (size_t i = 0; i < value.size();) {
    if (value[i] == ' ') {
      ++i;
      continue;
    }
    std::string w;
    if (value[i] == '"') {
      for (++i; i < value.size() && value[i] != '"'; ++i) w += value[i] == '\\' ? value[++i] : value[i];
      ++i;
    } else {
      for (; i < value.size() && value[i] != ' '; ++i) w += value[i];
    }
    std::string out;
    for (size_t k = 0; k < w.size(); ++k) {
      out += w[k];
      if ((w[k] == '%' || (w[k] == '$' && !words.empty())) && k + 1 < w.size() && w[k + 1] == w[k]) ++k;
    }
    words.push_back(out);
  }
  return words;
}

// "/IS" writes a unit that starts the program in its data folder and brings
// it back after a failure; started exactly as that unit starts it (its
// working folder, only its environment lines) the program keeps the data
// folder's INI and guards that folder against a window program.
TEST_F(ServiceMode, TheUnitOfSlashISRunsTheProgramInItsDataFolder) {
  TempDir units;
  testsupport::ChildOptions o;
  o.cwd = data_.path();
  o.env = testsupport::ProgramEnv(runtime_.path());
  testsupport::SetEnv(o.env, "VELORN_UNIT_DIR=" + units.path());
  testsupport::SetEnv(o.env, "VELORN_COM1=" + sim_.SlavePath());
  {
    Child install(VELORN_EXE, {"/IS"}, o);
    ASSERT_EQ(install.Wait(kLimit), 0) << install.err();
  }
  const std::string unit = ReadFile(units.file("vELORN.service"));
  for (const std::string& line : {"WorkingDirectory=" + data_.path(), std::string("Restart=on-failure"),
                                  std::string("RestartSec=10"), "Environment=\"VELORN_COM1=" + sim_.SlavePath() + "\""})
    EXPECT_NE(unit.find("\n" + line + "\n"), std::string::npos) << line << " in\n" << unit;
  int status = 0;
  std::string out;
  if (testsupport::VerifyUnit(units.file("vELORN.service"), &status, &out)) {
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out, "");
  }

  std::vector<std::string> exec, env;
  std::string workingFolder;
  std::istringstream lines(unit);
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("ExecStart=")) exec = ExecWords(line.substr(10));
    if (line.starts_with("WorkingDirectory=")) workingFolder = line.substr(17);
    if (line.starts_with("Environment=")) env.push_back(ExecWords(line.substr(12)).at(0));
  }
  ASSERT_EQ(exec.size(), 2u) << unit;
  EXPECT_EQ(exec[1], "SERVICEPATH=" + data_.path());
  testsupport::WriteFile(data_.file("velorn.INI"), "[Preserved]\r\nGLO:Pocet_spusteni_programu=4\r\n");

  testsupport::ChildOptions asUnit;
  asUnit.cwd = workingFolder;
  asUnit.cleanEnv = true;
  asUnit.env = env;
  asUnit.env.push_back("NOTIFY_SOCKET=" + notify_.path());  // what systemd adds for Type=notify
  Child service(exec[0], {exec.begin() + 1, exec.end()}, asUnit);
  ASSERT_TRUE(notify_.WaitFor(kRunning, kLimit)) << service.err();
  ASSERT_TRUE(service.WaitForOutput("velorn: ready", kLimit)) << service.err();

  if (::geteuid() == 0) {  // the guard's folder for root without a session: /run/velorn
    testsupport::ChildOptions window;
    window.cwd = data_.path();
    window.cleanEnv = true;
    window.env = env;
    Child second(VELORN_EXE, {}, window);
    EXPECT_EQ(second.Wait(kLimit), 0) << second.err();
    EXPECT_NE(second.err().find("Program je již spuštěn !"), std::string::npos) << second.err();
  }

  service.Signal(SIGTERM);
  EXPECT_EQ(service.Wait(kLimit), 0) << service.err();
  // The guard's file of the data folder in the system's runtime folder.
  const std::string folder = fs::canonical(data_.path()).string();
  const std::string lock =
      "/run/velorn/" + platform::LockFileName(app::BuildInstanceMutexName(app::BuildMutexSourceText(folder)), folder);
  if (::geteuid() == 0) {
    EXPECT_TRUE(fs::remove(lock)) << lock;
  }
  const std::string ini = ReadFile(data_.file("velorn.INI"));
  EXPECT_NE(ini.find("GLO:Pocet_spusteni_programu=5\r\n"), std::string::npos) << ini;
  EXPECT_FALSE(fs::exists("/velorn.INI")) << "nothing read or written in /";
  ExpectRecordFilesIntact(data_.path());
}

TEST(ServiceInstall, AProgramFolderWithBlanksPercentAndDollarReachesExecStartIntact) {
  TempDir runtime, units, tree;
  ::chmod(runtime.path().c_str(), 0700);
  const std::string programDir = tree.path() + "/pro gram%h$HOME 50%";
  const std::string dataDir = tree.path() + "/da ta$1%%";
  fs::create_directories(programDir);
  fs::create_directories(dataDir);
  const std::string exe = programDir + "/velorn";
  fs::copy_file(VELORN_EXE, exe);

  testsupport::ChildOptions o;
  o.cwd = dataDir;
  o.env = testsupport::ProgramEnv(runtime.path());
  testsupport::SetEnv(o.env, "VELORN_UNIT_DIR=" + units.path());
  Child c(exe, {"/IS"}, o);
  EXPECT_EQ(c.Wait(kLimit), 0) << c.err();
  EXPECT_EQ(c.err(), "Finished: Service \"vELORN\" installed. Executable:  " + exe + " SERVICEPATH=" + dataDir +
                         " Working folder:  " + dataDir + " Restart:  on failure, after 10 s\n");

  const std::string unit = ReadFile(units.file("vELORN.service"));
  const std::string execStart = "ExecStart=\"" + tree.path() + "/pro gram%%h$HOME 50%%/velorn\" \"SERVICEPATH=" +
                                tree.path() + "/da ta$$1%%%%\"\n";
  EXPECT_NE(unit.find(execStart), std::string::npos) << unit;
  EXPECT_EQ(fs::read_symlink(units.path() + "/multi-user.target.wants/vELORN.service").string(),
            units.file("vELORN.service"));

  // verify finds the program at the path systemd reads from ExecStart.
  int status = 0;
  std::string out;
  if (!testsupport::VerifyUnit(units.file("vELORN.service"), &status, &out)) {
    std::printf("systemd-analyze is not installed: the unit was not verified\n");
    return;
  }
  EXPECT_EQ(status, 0) << out;
  EXPECT_EQ(out, "");
}

}  // namespace
