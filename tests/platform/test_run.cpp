#include "platform/run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/fake_programs.h"

namespace platform {
namespace {

using testsupport::FakePrograms;
using testsupport::ScopedPath;
using Names = std::vector<std::string>;

const std::string kFolder = "/usr/lib/velorn/windows";
const std::string kVolume = kFolder + "\\system32\\sndvol32.exe";
const std::string kRecorder = kFolder + "\\system32\\sndrec32.exe";
const Names kVolumeNames = {"pavucontrol", "pavucontrol-qt"};
const Names kRecorderNames = {"gnome-sound-recorder", "audacity"};

// The caller as the program is: its signals blocked and SIGPIPE ignored, a
// serial port and a locked file open without close-on-exec.
class Run : public testing::Test {
 protected:
  FakePrograms fakes;
  testsupport::ScopedProgramSignals signals;
  int master = -1, port = -1, lock = -1;

  void SetUp() override {
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    port = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(port, 0);
    lock = ::open((fakes.folder("run") + "/velorn.lock").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
  }
  void TearDown() override {
    for (int fd : {lock, port, master})
      if (fd >= 0) ::close(fd);
  }
};

TEST_F(Run, StartsTheFirstProgramDetachedWithAnEmptyMaskAndOnlyDevNull) {
  for (const char* name : {"pavucontrol", "pavucontrol-qt", "gnome-sound-recorder", "audacity"}) fakes.Add(name);
  ScopedPath path(fakes.bin() + ":/usr/bin:/bin");
  const struct {
    std::string command;
    std::string started;
    Names lookedFor;
  } cases[] = {{kVolume, "pavucontrol", kVolumeNames}, {kRecorder, "gnome-sound-recorder", kRecorderNames}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    // The probe waits on the fifo until Release opens it: the call has
    // returned without waiting for the program.
    const RunResult r = RunNoWait(c.command, kFolder);
    ASSERT_EQ(r.status, RunStatus::Started) << r.error;
    EXPECT_EQ(r.program, fakes.bin() + "/" + c.started);
    EXPECT_EQ(r.lookedFor, c.lookedFor);
    const auto probe = fakes.Release();
    ASSERT_TRUE(probe);
    EXPECT_EQ(probe->name, c.started);
    EXPECT_EQ(probe->sigBlk, "0000000000000000");
    EXPECT_EQ(probe->sigIgn, "0000000000000000");
    auto fds = probe->fds;
    std::sort(fds.begin(), fds.end());
    const std::vector<std::pair<int, std::string>> devNull = {{0, "/dev/null"}, {1, "/dev/null"}, {2, "/dev/null"}};
    EXPECT_EQ(fds, devNull);
    EXPECT_EQ(probe->sid, probe->pid) << "a session of its own";
    EXPECT_NE(probe->ppid, ::getpid()) << "started through the intermediate process";
    EXPECT_EQ(testsupport::ZombieChildren(), std::vector<pid_t>{});
  }
  // Our own state is left as it was.
  sigset_t mask;
  ::pthread_sigmask(SIG_SETMASK, nullptr, &mask);
  EXPECT_EQ(::sigismember(&mask, SIGTERM), 1);
  EXPECT_GE(::fcntl(port, F_GETFD), 0);
}

// The program's other threads (the signal watch, the window list) run
// while a window command starts a program.
TEST_F(Run, StartsWhileOtherThreadsRun) {
  fakes.Add("pavucontrol");
  ScopedPath path(fakes.bin());
  std::promise<void> stop;
  std::thread other([done = stop.get_future()] { done.wait(); });
  const RunResult r = RunNoWait(kVolume, kFolder);
  EXPECT_EQ(r.status, RunStatus::Started) << r.error;
  const auto probe = r.status == RunStatus::Started ? fakes.Release() : std::nullopt;
  stop.set_value();
  other.join();
  ASSERT_TRUE(probe);
  EXPECT_EQ(probe->sigBlk, "0000000000000000");
  EXPECT_EQ(probe->fds.size(), 3u);
  EXPECT_EQ(testsupport::ZombieChildren(), std::vector<pid_t>{});
}

// The second program when the first is nowhere on PATH; what is not an
// executable regular file in an absolute folder of PATH is passed over.
TEST_F(Run, FallsBackToTheSecondProgramPastWhatIsNoProgram) {
  testsupport::TempDir cwd(true);
  std::filesystem::create_directory(cwd.file("rel"));
  const std::string decoys = fakes.folder("decoys");
  for (const char* name : {"pavucontrol", "gnome-sound-recorder"}) {
    fakes.Add(name, cwd.path());           // found through an empty entry
    fakes.Add(name, cwd.file("rel"));      // found through a relative one
  }
  std::filesystem::create_directory(decoys + "/pavucontrol");  // a folder
  testsupport::WriteFile(decoys + "/gnome-sound-recorder", "#!/bin/sh\n");  // not executable
  ::chmod((decoys + "/gnome-sound-recorder").c_str(), 0644);
  fakes.Add("pavucontrol-qt");
  fakes.Add("audacity");
  ScopedPath path(":rel:" + decoys + "::" + fakes.bin() + ":");
  const struct {
    std::string command;
    std::string started;
  } cases[] = {{kVolume, "pavucontrol-qt"}, {kRecorder, "audacity"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const RunResult r = RunNoWait(c.command, kFolder);
    ASSERT_EQ(r.status, RunStatus::Started) << r.error;
    EXPECT_EQ(r.program, fakes.bin() + "/" + c.started);
    const auto probe = fakes.Release();
    ASSERT_TRUE(probe);
    EXPECT_EQ(probe->name, c.started);
  }
  EXPECT_EQ(fakes.Reports().size(), 2u);
  EXPECT_EQ(testsupport::ZombieChildren(), std::vector<pid_t>{});
}

TEST_F(Run, NoneFoundStartsNothingAndNamesThePrograms) {
  testsupport::TempDir cwd(true);
  for (const char* name : {"pavucontrol", "gnome-sound-recorder"}) fakes.Add(name, cwd.path());
  std::filesystem::create_directory(fakes.folder("decoys") + "/pavucontrol-qt");
  ScopedPath path(":" + fakes.folder("decoys") + ":" + fakes.bin() + ":.");
  const struct {
    std::string command;
    Names lookedFor;
  } cases[] = {{kVolume, kVolumeNames}, {kRecorder, kRecorderNames}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const RunResult r = RunNoWait(c.command, kFolder);
    EXPECT_EQ(r.status, RunStatus::NoneFound);
    EXPECT_EQ(r.lookedFor, c.lookedFor);
    EXPECT_EQ(r.program, "");
  }
}

TEST_F(Run, RefusesEveryOtherTextAndStartsNothing) {
  for (const char* name : {"pavucontrol", "pavucontrol-qt", "gnome-sound-recorder", "audacity"}) fakes.Add(name);
  ScopedPath path(fakes.bin());
  const struct {
    std::string command, folder;
  } cases[] = {
      {"", kFolder},
      {kFolder, kFolder},
      {"pavucontrol", kFolder},
      {fakes.bin() + "/pavucontrol", kFolder},
      {kFolder + "\\system32\\SNDVOL32.EXE", kFolder},
      {kFolder + "\\System32\\sndrec32.exe", kFolder},
      {kFolder + "/system32/sndvol32.exe", kFolder},
      {kVolume + " ", kFolder},
      {" " + kVolume, kFolder},
      {kVolume + " -t 3", kFolder},
      {kRecorder + ";pavucontrol", kFolder},
      {kVolume + std::string(1, '\0'), kFolder},
      {kFolder + "\\system32\\notepad.exe", kFolder},
      {"C:\\WINDOWS\\system32\\sndvol32.exe", kFolder},
      {kFolder + "\\system32\\sndrec32.exe\\system32\\sndvol32.exe", kFolder},
      {kVolume, "/usr/lib/velorn"},
      {kVolume, kFolder + "\\"},
      {"\\system32\\sndvol32.exe", kFolder},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command + " in " + c.folder);
    const RunResult r = RunNoWait(c.command, c.folder);
    EXPECT_EQ(r.status, RunStatus::Refused);
    EXPECT_EQ(r.lookedFor, Names{});
    EXPECT_EQ(r.program, "");
  }
  // One start after them all, awaited to its end: the only one reported.
  ASSERT_EQ(RunNoWait(kVolume, kFolder).status, RunStatus::Started);
  ASSERT_TRUE(fakes.Release());
  EXPECT_EQ(fakes.Reports().size(), 1u);
}

// A program found that cannot be executed is reported, not taken as started.
TEST_F(Run, AProgramThatCannotBeExecutedIsAFailure) {
  testsupport::WriteFile(fakes.bin() + "/pavucontrol", "no program\n");
  ::chmod((fakes.bin() + "/pavucontrol").c_str(), 0755);
  fakes.Add("pavucontrol-qt");
  ScopedPath path(fakes.bin());
  const RunResult r = RunNoWait(kVolume, kFolder);
  EXPECT_EQ(r.status, RunStatus::Failed);
  EXPECT_EQ(r.error, ENOEXEC);
  EXPECT_EQ(r.program, fakes.bin() + "/pavucontrol");
  EXPECT_EQ(testsupport::ZombieChildren(), std::vector<pid_t>{});
}

}  // namespace
}  // namespace platform
