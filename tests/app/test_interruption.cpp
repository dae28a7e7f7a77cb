// The real program interrupted as life does, against the simulated devices:
// a stop at the start of a scan and during the start-up, in window mode and
// as a service; first starts killed at random moments or made on a full
// disk; another reader and writer of its record files while it runs; a
// serial device that appears only after the start.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/data/records.h"
#include "platform/clock.h"
#include "platform/stdtime.h"
#include "tests/support/child.h"
#include "tests/support/integrity.h"
#include "tests/support/notify_socket.h"
#include "tests/support/tempdir.h"
#include "tools/devsim.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using app::data::TasksRecord;
using testsupport::Child;
using testsupport::IntegrityCheck;
using testsupport::ReadFile;
using testsupport::TempDir;
using Clock = std::chrono::steady_clock;

constexpr auto kLimit = 30s;
// The first scan comes with the 80th tick, 20 seconds after the window opened.
constexpr auto kScanLimit = 60s;
constexpr const char* kRunning = "READY=1\nSTATUS=Running";
constexpr const char* kStopPending = "STOPPING=1\nSTATUS=Stop pending";
constexpr const char* kStopped = "STATUS=Stopped";
// The console frames that matter here.
constexpr const char* kLineOff = "(0504102012)";
constexpr const char* kLineOn = "(0504102113)";
constexpr const char* kOnAirOn = "(0504100111)";

enum class Mode { Window, Service };
const char* Name(Mode m) { return m == Mode::Window ? "window" : "service"; }

// Runs f with the folder current: the record files' names are relative.
template <class F>
void InFolder(const std::string& folder, F f) {
  const fs::path start = fs::current_path();
  fs::current_path(folder);
  f();
  fs::current_path(start);
}

// Far enough from midnight for a task due a minute ago to stay due for the
// length of a test.
bool AwayFromMidnight() {
  const platform::StdTime now = platform::GetClock().ClockTime();
  return now > platform::TimeFromHms(0, 5, 0) && now < platform::TimeFromHms(23, 55, 0);
}

// The settings on COM1 and `due` one-shot tasks of today, due `ago`
// hundredths ago, each deleting itself after its run unless keep.
void Fill(const std::string& folder, int due, int32_t ago = 6000, bool keep = false) {
  InFolder(folder, [&] {
    platform::rec::File<app::data::SettingsRecord> settings(app::data::SettingsDecl());
    ASSERT_EQ(settings.Create(), 0);
    ASSERT_EQ(settings.Open(), 0);
    settings.ClearBuffer();
    ASSERT_EQ(settings.PrimeAutoNumber(), 0);
    settings.rec.PORT = "COM1";
    ASSERT_EQ(settings.Add(), 0);
    platform::rec::File<TasksRecord> tasks(app::data::TasksDecl());
    ASSERT_EQ(tasks.Create(), 0);
    ASSERT_EQ(tasks.Open(), 0);
    const platform::StdTime now = platform::GetClock().ClockTime();
    for (int i = 0; i < due; ++i) {
      tasks.ClearBuffer();
      app::data::PrimeTaskDefaults(tasks.rec);
      ASSERT_EQ(tasks.PrimeAutoNumber(), 0);
      tasks.rec.DATUM_SPUSTENI = platform::GetClock().Today();
      tasks.rec.CAS_SPUSTENI = now - ago + i;
      tasks.rec.NAZEV = "Hlášení " + std::to_string(i + 1);
      tasks.rec.PREHRAT = "silence.wav";
      tasks.rec.DELKA_SOUBORU = platform::TimeFromHms(0, 0, 1);
      tasks.rec.VYSTUP1_5 = "08";
      tasks.rec.AUTOMATICKY_SMAZAT = keep ? 0 : 1;
      ASSERT_EQ(tasks.Add(), 0);
    }
  });
}

std::vector<TasksRecord> Tasks(const std::string& folder) {
  std::vector<TasksRecord> all;
  InFolder(folder, [&] {
    platform::rec::File<TasksRecord> tasks(app::data::TasksDecl());
    ASSERT_EQ(tasks.Open(), 0);
    ASSERT_EQ(tasks.SetFileOrder(), 0);
    while (tasks.Next() == 0) all.push_back(tasks.rec);
  });
  return all;
}

constexpr const char* kRecordFiles[] = {"Settings.tps", "Outputs.tps", "Preset.tps", "Tasks.tps"};

void ExpectFourWholeRecordFiles(const std::string& folder) {
  for (const char* f : kRecordFiles) EXPECT_EQ(IntegrityCheck(folder + "/" + f), "ok") << f;
}

// The descriptors of a process whose file has been deleted under it.
std::vector<std::string> DeletedUnder(pid_t pid) {
  std::vector<std::string> deleted;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
    const std::string target = fs::read_symlink(e.path(), ec).string();
    if (!ec && target.ends_with(" (deleted)")) deleted.push_back(target);
  }
  return deleted;
}

ino_t Inode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Polls until pred holds or the limit passes.
template <class P>
bool Await(P pred, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (!pred()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

// The relay commands (at 9600 baud) among the commands.
std::vector<std::string> Relays(const std::vector<devsim::Command>& commands, size_t from = 0) {
  std::vector<std::string> r;
  for (size_t i = from; i < commands.size(); ++i)
    if (commands[i].text[0] == 'r' || commands[i].text[0] == 's') r.push_back(commands[i].text);
  return r;
}

// Polls until the devices have received the command.
bool AwaitCommand(const devsim::DeviceSimulator& sim, const std::string& text, std::chrono::milliseconds limit) {
  return Await(
      [&] {
        for (const auto& c : sim.Commands())
          if (c.text == text) return true;
        return false;
      },
      limit);
}

std::vector<std::string> SwitchedOff() {
  std::vector<std::string> off = {"r64\r"};
  for (int k = 0; k < 40; ++k) off.push_back("r" + std::to_string(k) + "\r");
  return off;
}

class RealProgram : public ::testing::Test {
 protected:
  RealProgram() {
    ::chmod(runtime_.path().c_str(), 0700);
    EXPECT_TRUE(sim_.Start());
  }
  ~RealProgram() override { sim_.SetCommandListener(nullptr); }

  testsupport::ChildOptions Options(const std::string& port) const {
    testsupport::ChildOptions o;
    o.env = testsupport::ProgramEnv(runtime_.path());
    testsupport::SetEnv(o.env, "VELORN_COM1=" + port);
    testsupport::SetEnv(o.env, "SDL_AUDIODRIVER=dummy");
    return o;
  }
  // The program on the data folder: started in it (window mode) or given it
  // as SERVICEPATH under a service manager (the notify socket).
  std::unique_ptr<Child> Start(Mode mode, std::string port = {}, const std::string& exe = VELORN_EXE,
                               std::vector<std::string> before = {}) {
    testsupport::ChildOptions o = Options(port.empty() ? sim_.SlavePath() : port);
    std::vector<std::string> args = std::move(before);
    if (!args.empty()) {
      args.push_back(VELORN_EXE);
      // LeakSanitizer cannot work under a tracer.
      const char* asan = std::getenv("ASAN_OPTIONS");
      testsupport::SetEnv(o.env, std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":detect_leaks=0");
    }
    if (mode == Mode::Service) {
      o.cwd = start_.path();
      testsupport::SetEnv(o.env, "NOTIFY_SOCKET=" + notify_.path());
      args.push_back("SERVICEPATH=" + data_.path());
    } else {
      o.cwd = data_.path();
    }
    return std::make_unique<Child>(exe, args, o);
  }
  void ExpectServiceReports() {
    ASSERT_TRUE(notify_.WaitForSize(3, kLimit));
    EXPECT_EQ(notify_.Entries(), (std::vector<std::string>{kRunning, kStopPending, kStopped}));
  }

  TempDir runtime_, start_, data_;
  testsupport::NotifySocket notify_;
  devsim::DeviceSimulator sim_;
};

// ---- a stop at the start of a scan

struct ScanStop {
  Mode mode;
  int due;
};

class StopAtTheScan : public RealProgram, public ::testing::WithParamInterface<ScanStop> {};

// SIGTERM as the first scan begins (its LINE lamp off, then the amplifier's
// release): the scan starts none of the due tasks, so none is booked or
// deleted and each runs at the next start; the close-down switches the
// installation off and the program ends with 0, in the close-down's own time.
TEST_P(StopAtTheScan, StartsNoTaskAndLeavesThemDue) {
  if (!AwayFromMidnight()) GTEST_SKIP() << "too near midnight for a due task";
  const ScanStop p = GetParam();
  Fill(data_.path(), p.due);
  std::atomic<pid_t> pid{0};
  std::atomic<size_t> signalledAt{0};
  std::atomic<bool> lampOff{false};
  std::atomic<size_t> seen{0};
  std::atomic<Clock::rep> signalled{0};
  sim_.SetCommandListener([&](const devsim::Command& c) {
    const size_t n = ++seen;
    if (c.text == kLineOff) lampOff = true;
    if (lampOff && c.text == "r64\r" && signalledAt == 0 && pid != 0) {
      signalled = Clock::now().time_since_epoch().count();
      signalledAt = n;
      ::kill(pid, SIGTERM);
    }
  });
  auto c = Start(p.mode);
  pid = c->pid();
  ASSERT_TRUE(c->WaitForOutput("velorn: ready", kLimit)) << c->err();
  ASSERT_EQ(c->Wait(kScanLimit + kLimit), 0) << c->err();
  ASSERT_NE(signalledAt.load(), 0u) << "no scan began";
  const auto took = Clock::now() - Clock::time_point(Clock::duration(signalled.load()));
  sim_.SetCommandListener(nullptr);

  const auto commands = sim_.Commands();
  for (size_t i = signalledAt; i < commands.size(); ++i) {
    EXPECT_NE(commands[i].text, "s64\r") << "the amplifier of a task, command " << i;
    EXPECT_NE(commands[i].text, kLineOn) << "the LINE lamp of a task, command " << i;
    EXPECT_NE(commands[i].text, kOnAirOn) << "the ON-AIR lamp of a task, command " << i;
  }
  const auto relays = Relays(commands, signalledAt);
  ASSERT_GE(relays.size(), 41u);
  EXPECT_EQ(std::vector<std::string>(relays.end() - 41, relays.end()), SwitchedOff());

  const auto tasks = Tasks(data_.path());
  EXPECT_EQ(tasks.size(), static_cast<size_t>(p.due)) << "a task was deleted";
  for (const TasksRecord& t : tasks) EXPECT_EQ(t.POSLEDNI_SPUSTENI, 0) << t.NAZEV << " was booked";
  ExpectFourWholeRecordFiles(data_.path());
  if (p.mode == Mode::Service) ExpectServiceReports();
  RecordProperty("stop_ms", std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
  std::printf("%s, %d due: the stop took %lld ms\n", Name(p.mode), p.due,
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
}

INSTANTIATE_TEST_SUITE_P(Modes, StopAtTheScan,
                         ::testing::Values(ScanStop{Mode::Window, 1}, ScanStop{Mode::Window, 4},
                                           ScanStop{Mode::Service, 1}, ScanStop{Mode::Service, 4}),
                         [](const auto& run) {
                           return std::string(Name(run.param.mode)) + "_" + std::to_string(run.param.due) + "_due";
                         });

// ---- a stop during the start-up

class StopDuringTheStart : public RealProgram, public ::testing::WithParamInterface<Mode> {};

// The start slowed from outside: strace holds the single-instance guard's
// lock (its first flock) for 1.5 s, and SIGTERM comes while it waits. The
// program ends within 5 s of the signal with 0, its files whole.
TEST_P(StopDuringTheStart, EndsTheProgramWithinTheCloseDownsTime) {
  std::string out;
  if (testsupport::Shell("strace -f -o /dev/null true", &out) != 0)
    GTEST_SKIP() << "no strace that can trace here (scripts/setup-deps.sh installs it): " << out;
  const Mode mode = GetParam();
  auto c = Start(mode, {}, "/usr/bin/strace",
                 {"-f", "--seccomp-bpf", "-o", "/dev/null", "-e", "trace=flock", "-e", "inject=flock:delay_enter=1500000:when=1"});
  // The program, strace's child, waiting at the entry of its flock.
  pid_t program = 0;
  ASSERT_TRUE(Await(
      [&] {
        std::ifstream children("/proc/" + std::to_string(c->pid()) + "/task/" + std::to_string(c->pid()) + "/children");
        if (!(children >> program)) return false;
        std::ifstream call("/proc/" + std::to_string(program) + "/syscall");
        long number = -1;
        return call >> number && number == SYS_flock;
      },
      kLimit))
      << "the program did not reach the guard's lock";
  const auto signalled = Clock::now();
  ::kill(program, SIGTERM);
  const int status = c->Wait(kLimit);
  // strace, killed, would leave its tracee running.
  if (status == -1) ::kill(program, SIGKILL);
  EXPECT_EQ(status, 0) << c->err();
  const auto took = Clock::now() - signalled;
  EXPECT_LT(took, 5s) << "the stop was not honoured at once";
  if (mode == Mode::Service) ExpectServiceReports();
  for (const char* f : kRecordFiles)
    if (fs::exists(data_.file(f))) {
      EXPECT_EQ(IntegrityCheck(data_.file(f)), "ok") << f;
    }
  EXPECT_NE(ReadFile(data_.file("velorn.INI")).find("GLO:Pocet_spusteni_programu=1"), std::string::npos);
  std::printf("%s: the stop during the start took %lld ms\n", Name(mode),
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
}

INSTANTIATE_TEST_SUITE_P(Modes, StopDuringTheStart, ::testing::Values(Mode::Window, Mode::Service),
                         [](const auto& run) { return std::string(Name(run.param)); });

// ---- first starts cut short

class KilledFirstStarts : public RealProgram, public ::testing::WithParamInterface<int> {};

// Whether every line of a child's standard error is the box about the
// missing device (the headless box's "caption: text").
bool OnlyThePortsBox(const std::string& err) {
  std::istringstream lines(err);
  for (std::string line; std::getline(lines, line);)
    if (!line.starts_with("Chyba připojení: ")) return false;
  return true;
}

// First starts in empty folders, each killed at a random moment of its
// first second; the start after each opens all four files with no box but
// the one about the port (no device: the start is quick); the last folder's
// start, with the devices, also scans. (The shards together make 100.)
TEST_P(KilledFirstStarts, LeaveFilesThatTheNextStartOpens) {
  constexpr int kAttempts = 25;
  std::mt19937 random(static_cast<unsigned>(1000 + GetParam()));
  int killedBeforeReady = 0;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    SCOPED_TRACE("attempt " + std::to_string(attempt));
    const bool last = attempt == kAttempts - 1;
    TempDir folder;
    testsupport::ChildOptions o = Options(runtime_.file("no-device"));
    o.cwd = folder.path();
    {
      Child first(VELORN_EXE, {}, o);
      std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 999)(random)));
      first.Signal(SIGKILL);
      first.Wait(kLimit);
      if (first.out().find("velorn: ready") == std::string::npos) ++killedBeforeReady;
    }
    if (last) testsupport::SetEnv(o.env, "VELORN_COM1=" + sim_.SlavePath());
    sim_.ClearCommands();
    Child next(VELORN_EXE, {}, o);
    ASSERT_TRUE(next.WaitForOutput("velorn: ready", kLimit)) << next.err();
    if (last) {
      ASSERT_TRUE(AwaitCommand(sim_, kLineOff, kScanLimit)) << "no scan";
    }
    next.Signal(SIGKILL);
    next.Wait(kLimit);
    EXPECT_TRUE(last ? next.err().empty() : OnlyThePortsBox(next.err())) << "a box at the start after the kill:\n"
                                                                         << next.err();
    ExpectFourWholeRecordFiles(folder.path());
  }
  std::printf("%d of %d first starts were killed before their window opened\n", killedBeforeReady, kAttempts);
}

INSTANTIATE_TEST_SUITE_P(Shards, KilledFirstStarts, ::testing::Range(0, 4));

// A first start on a full file system (a small one of the child's own) makes
// no half file; the start after it, with room, opens all four files and
// scans.
TEST_F(RealProgram, AFirstStartOnAFullDiskLeavesNothingForTheNextStartToRefuse) {
  if (!testsupport::PrivateMountsWork()) GTEST_SKIP() << "no private mount namespace here";
  testsupport::ChildOptions o = Options(sim_.SlavePath());
  o.env.push_back("VIEW=" + data_.path());
  o.env.push_back("VELORN=" VELORN_EXE);
  const std::string script =
      "dd if=/dev/zero of=fill bs=4k 2>/dev/null; timeout 20 \"$VELORN\" </dev/null; echo \"first $?\"; "
      "for f in *.tps; do [ -e \"$f\" ] && echo \"left $f $(stat -c %s \"$f\")\"; done; "
      "rm fill; echo room; exec \"$VELORN\"";
  Child c(testsupport::kUnshare,
          testsupport::InPrivateMounts("mount -t tmpfs -o size=1m velorn \"$VIEW\"", data_.path(), "/bin/sh",
                                       {"-c", script}),
          o);
  ASSERT_TRUE(c.WaitForOutput("room", kLimit)) << c.out() << c.err();
  ASSERT_TRUE(c.WaitForOutput("velorn: ready", kLimit)) << c.out() << c.err();
  const std::string first = c.out().substr(0, c.out().find("room"));
  EXPECT_EQ(first.find("left "), std::string::npos) << "a record file from the full disk: " << first;
  EXPECT_NE(first.find("first "), std::string::npos) << first;
  const size_t errAtRoom = c.err().size();
  sim_.ClearCommands();
  ASSERT_TRUE(AwaitCommand(sim_, kLineOff, kScanLimit)) << "no scan after the start with room";
  c.Signal(SIGTERM);
  EXPECT_EQ(c.Wait(kLimit), 0) << c.err();
  EXPECT_EQ(c.err().substr(std::min(errAtRoom, c.err().size())), "") << "a box at the start with room";
}

// A program started on a full disk runs without its files; once there is
// room, its next scan makes the task file and goes on, without a restart.
TEST_F(RealProgram, AProgramStartedOnAFullDiskScansOnceThereIsRoom) {
  if (!testsupport::PrivateMountsWork()) GTEST_SKIP() << "no private mount namespace here";
  testsupport::ChildOptions o = Options(sim_.SlavePath());
  o.env.push_back("VIEW=" + data_.path());
  o.env.push_back("VELORN=" VELORN_EXE);
  Child c(testsupport::kUnshare,
          testsupport::InPrivateMounts("mount -t tmpfs -o size=1m velorn \"$VIEW\"", data_.path(), "/bin/sh",
                                       {"-c", "dd if=/dev/zero of=fill bs=4k 2>/dev/null; exec \"$VELORN\""}),
          o);
  ASSERT_TRUE(c.WaitForOutput("velorn: ready", kLimit)) << c.out() << c.err();
  // The folder as the program sees it, in its own mount namespace.
  const std::string seen = "/proc/" + std::to_string(c.pid()) + "/root" + data_.path();
  for (const char* f : kRecordFiles) EXPECT_FALSE(fs::exists(seen + "/" + f)) << f << " made on a full disk";
  ASSERT_TRUE(fs::remove(seen + "/fill"));
  sim_.ClearCommands();
  ASSERT_TRUE(AwaitCommand(sim_, kLineOff, kScanLimit)) << "no scan";
  // Checked on a copy: SQLite takes the path through /proc for the link it is.
  const std::string copy = runtime_.file("Tasks.tps");
  auto copied = [&] {
    std::error_code ec;
    for (const char* part : {"", "-wal"}) {
      fs::remove(copy + part, ec);
      if (fs::exists(seen + "/Tasks.tps" + part)) fs::copy_file(seen + "/Tasks.tps" + part, copy + part, ec);
    }
    return IntegrityCheck(copy) == "ok";
  };
  ASSERT_TRUE(Await(copied, kLimit)) << "the scan did not make the task file:\n" << c.err();
  c.Signal(SIGTERM);
  EXPECT_EQ(c.Wait(kLimit), 0) << c.err();
}

// ---- another reader and writer of the record files

std::string Sqlite(const std::string& file, const std::string& sql) {
  std::string out;
  const std::string cmd = "sqlite3 -batch -bail '" + file + "' '.load " VELORN_CZNOCASE_EXT "' \"" + sql + "\"";
  const int status = testsupport::Shell(cmd, &out);
  return status == 0 ? out : "failed (" + std::to_string(status) + "): " + out;
}

// While the program runs, the sqlite3 tool checks and reads each record file
// as the README shows and adds a task to Tasks.tps: the program's next scan
// runs it and books it, no box appears, nothing of its files is deleted under
// it, and a kill right after the booking loses nothing.
TEST_F(RealProgram, AnotherProcessOnTheRecordFilesLosesTheProgramNothing) {
  if (!AwayFromMidnight()) GTEST_SKIP() << "too near midnight for a due task";
  Fill(data_.path(), 0);
  auto c = Start(Mode::Window);
  ASSERT_TRUE(c->WaitForOutput("velorn: ready", kLimit)) << c->err();
  const ino_t wal = Inode(data_.file("Tasks.tps-wal")), shm = Inode(data_.file("Tasks.tps-shm"));
  ASSERT_NE(wal, 0u);
  const std::pair<const char*, const char*> keyOrder[] = {{"Settings.tps", "\\\"SET:ID\\\""},
                                                          {"Outputs.tps", "\\\"OUT:CISLO\\\""},
                                                          {"Preset.tps", "\\\"PRE:ID\\\""},
                                                          {"Tasks.tps", "\\\"TAS:NAZEV\\\""}};
  auto readEach = [&] {
    for (const auto& [file, key] : keyOrder) {
      EXPECT_EQ(Sqlite(data_.file(file), "PRAGMA integrity_check"), "ok\n") << file;
      EXPECT_EQ(Sqlite(data_.file(file), std::string("SELECT count(*) FROM records ORDER BY ") + key + ", rowid")
                    .rfind("failed", 0),
                std::string::npos)
          << file;
    }
    EXPECT_EQ(DeletedUnder(c->pid()), std::vector<std::string>{});
  };
  readEach();

  const platform::StdTime at = platform::GetClock().ClockTime() - 3000;  // half a minute ago
  const uint32_t date = platform::PackField(platform::DateToField(platform::GetClock().Today()));
  const uint32_t time = platform::PackField(platform::TimeToField(at));
  const uint32_t length = platform::PackField(platform::TimeToField(platform::TimeFromHms(0, 0, 1)));
  const std::string insert =
      "INSERT INTO records (\\\"TAS:ID\\\", \\\"TAS:AKTIVNI\\\", \\\"TAS:DATUM_SPUSTENI\\\", \\\"TAS:CAS_SPUSTENI\\\", "
      "\\\"TAS:OPAKOVANI\\\", \\\"TAS:NAZEV\\\", \\\"TAS:PREHRAT\\\", \\\"TAS:DELKA_SOUBORU\\\", \\\"TAS:VYSTUP1_5\\\", "
      "\\\"TAS:VYSTUP2_5\\\", \\\"TAS:VYSTUP3_5\\\", \\\"TAS:VYSTUP4_5\\\", \\\"TAS:VYSTUP5_5\\\", "
      "\\\"TAS:AUTOMATICKY_SMAZAT\\\") VALUES (7, 1, " +
      std::to_string(date) + ", " + std::to_string(time) + ", '00', 'Z nástroje', 'silence.wav', " +
      std::to_string(length) + ", '08', '00', '00', '00', '00', 0)";
  ASSERT_EQ(Sqlite(data_.file("Tasks.tps"), insert), "");
  readEach();

  // The next scan runs it (its amplifier) and books it.
  const std::string booked = "SELECT \\\"TAS:POSLEDNI_SPUSTENI\\\" <> 0 FROM records WHERE \\\"TAS:ID\\\" = 7";
  ASSERT_TRUE(Await([&] { return Sqlite(data_.file("Tasks.tps"), booked) == "1\n"; }, kScanLimit))
      << c->err();
  EXPECT_EQ(DeletedUnder(c->pid()), std::vector<std::string>{});
  c->Signal(SIGKILL);
  c->Wait(kLimit);
  EXPECT_TRUE(AwaitCommand(sim_, "s64\r", 0ms)) << "the task's amplifier";
  EXPECT_EQ(c->err(), "") << "a box";
  EXPECT_EQ(Inode(data_.file("Tasks.tps-wal")), wal) << "the log was replaced under the program";
  EXPECT_EQ(Inode(data_.file("Tasks.tps-shm")), shm) << "the shared memory was replaced under the program";
  EXPECT_EQ(Sqlite(data_.file("Tasks.tps"), booked), "1\n") << "the booking was lost with the kill";
  ExpectFourWholeRecordFiles(data_.path());
}

// ---- a device that comes late

// The service starts while its port's device is absent ("Chyba připojení"
// once); when the device appears, the next quiet try connects, says so once,
// and the due task runs, without a restart.
TEST_F(RealProgram, AServiceWhoseDeviceAppearsLateConnectsAndRunsTheDueTask) {
  if (!AwayFromMidnight()) GTEST_SKIP() << "too near midnight for a due task";
  Fill(data_.path(), 1, 3000, /*keep=*/true);
  const std::string link = runtime_.file("ttyVELORN");
  auto c = Start(Mode::Service, link);
  ASSERT_TRUE(notify_.WaitFor(kRunning, kLimit)) << c->err();
  ASSERT_TRUE(c->WaitForOutput("velorn: ready", kLimit)) << c->err();
  EXPECT_NE(c->err().find("Chyba připojení"), std::string::npos) << c->err();
  fs::create_symlink(sim_.SlavePath(), link);
  ASSERT_TRUE(c->WaitForOutput("velorn: connection restored: COM1", kScanLimit)) << c->out() << c->err();
  ASSERT_TRUE(AwaitCommand(sim_, "s64\r", kScanLimit)) << "the due task did not run";
  c->Signal(SIGTERM);
  EXPECT_EQ(c->Wait(kLimit), 0) << c->err();
  ExpectServiceReports();
  const auto tasks = Tasks(data_.path());
  ASSERT_EQ(tasks.size(), 1u);
  EXPECT_EQ(tasks[0].POSLEDNI_SPUSTENI, platform::GetClock().Today());
  const std::string err = c->err();
  EXPECT_EQ(err.find("Chyba připojení"), err.rfind("Chyba připojení")) << "the tries were not quiet: " << err;
}

}  // namespace
