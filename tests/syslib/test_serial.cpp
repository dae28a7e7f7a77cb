#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/msgbox.h"
#include "syslib/liberror.h"
#include "syslib/serial.h"
#include "platform/eventloop.h"
#include "syslib/win32error.h"
#include "tests/support/tempdir.h"
#include "tests/syslib/capture.h"
#include "tools/devsim.h"

namespace {

using namespace syslib;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kWait = 5s;  // generous bound for things that happen at once

// An environment variable set (or unset, for nullptr) for a scope.
class EnvScope {
 public:
  EnvScope(std::string name, const char* value) : name_(std::move(name)) {
    if (const char* old = ::getenv(name_.c_str())) old_ = old;
    if (value) ::setenv(name_.c_str(), value, 1);
    else ::unsetenv(name_.c_str());
  }
  ~EnvScope() {
    if (old_) ::setenv(name_.c_str(), old_->c_str(), 1);
    else ::unsetenv(name_.c_str());
  }
  EnvScope(const EnvScope&) = delete;
  EnvScope& operator=(const EnvScope&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// The system text the library gives for an errno.
std::string SystemText(int err) {
  SetLastErrorFromErrno(err);
  return GetLastErrorText();
}

bool Readable(int fd, std::chrono::milliseconds timeout) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, static_cast<int>(timeout.count())) == 1;
}

// Fills the terminal's buffers towards a device that does not read, until
// no room has come back for 300 ms (the kernel moves data between its
// buffers for a moment after the first refusal).
void FillOutput(int fd) { ASSERT_TRUE(devsim::FillOutput(fd)); }

// What the monitor posts.
class EventLog {
 public:
  CommEventSink Sink() {
    return [this](int thread, int event) {
      std::lock_guard lock(mutex_);
      events_.emplace_back(thread, event);
      changed_.notify_all();
    };
  }
  // Waits until the event has been posted `times` times in all.
  bool WaitFor(int event, size_t times = 1) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kWait, [&] { return CountLocked(event) >= times; });
  }
  std::vector<std::pair<int, int>> All() {
    std::lock_guard lock(mutex_);
    return events_;
  }

 private:
  size_t CountLocked(int event) const {
    size_t n = 0;
    for (const auto& e : events_) n += e.second == event;
    return n;
  }
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::pair<int, int>> events_;
};

// ---- mode strings, names (no device) ----

TEST(SerialModes, ModeStringsGiveTheTermiosSettings) {
  struct Case {
    std::string mode;
    speed_t speed;
    tcflag_t size;
    tcflag_t parity;  // PARENB | PARODD | CMSPAR as expected
    bool twoStop;
  } cases[] = {
      {"COM1:9600,n,8,1", B9600, CS8, 0, false},
      {"COM1:19200,n,8,1", B19200, CS8, 0, false},
      {"COM2:2400,e,7,2", B2400, CS7, PARENB, true},
      {"COM3:1200,o,5,1.5", B1200, CS5, PARENB | PARODD, true},
      {"COM4:96,m,8,1", B9600, CS8, PARENB | PARODD | CMSPAR, false},
      {"COM5:4800,S,6,1", B4800, CS6, PARENB | CMSPAR, false},
      {"COM12:115200,N,8,1", B115200, CS8, 0, false},
      {"COM1:baud=38400 data=8 parity=e", B38400, CS8, PARENB, false},
      {"baud=96 data=7 parity=o stop=2", B9600, CS7, PARENB | PARODD, true},
      {"9600,n,8,1,x", B9600, CS8, 0, false},
      // Only 31 characters reach the parser: ",z" is cut off.
      {"COM1:9600,n,8,1" + std::string(16, ' ') + ",z", B9600, CS8, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    const std::optional<termios> t = ModeToSettings(c.mode);
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(cfgetospeed(&*t), c.speed);
    EXPECT_EQ(cfgetispeed(&*t), c.speed);
    EXPECT_EQ(t->c_cflag & CSIZE, c.size);
    EXPECT_EQ(t->c_cflag & (PARENB | PARODD | CMSPAR), c.parity);
    EXPECT_EQ((t->c_cflag & CSTOPB) != 0, c.twoStop);
    // Raw, local, no flow control, no parity check on input, reads return at once.
    EXPECT_EQ(t->c_cflag & (CLOCAL | CREAD), tcflag_t{CLOCAL | CREAD});
    EXPECT_EQ(t->c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t->c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t->c_oflag & OPOST, 0u);
    EXPECT_EQ(t->c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP | INPCK), 0u);
    EXPECT_EQ(t->c_cc[VMIN], 0);
    EXPECT_EQ(t->c_cc[VTIME], 0);
  }
  // Texts that do not read, rates termios lacks, and a record left without
  // data bits are not applied.
  for (const char* bad : {"COM1:9600,x,8,1", "COM1:9600,n,9,1", "COM1:9600,n,8,3", "COM1:12345,n,8,1",
                          "COM1:9600", "COM1:", "COM1:9600,n,8,1,z", "COM1:baud=9600 speed=1",
                          "COM1: baud=38400 parity=e data=8 stop=2"}) {  // cut to "... data="
    EXPECT_FALSE(ModeToSettings(bad).has_value()) << bad;
  }
}

TEST(SerialModes, BuildCommDcbChangesOnlyWhatTheTextNames) {
  Dev dev;
  ASSERT_TRUE(BuildCommDCBA("COM1:9600,e,7,2", dev));
  ASSERT_TRUE(BuildCommDCBA("COM1:19200", dev));
  EXPECT_EQ(dev.BAUDRATE, 19200);
  EXPECT_EQ(dev.PARITY, kEvenParity);
  EXPECT_EQ(dev.BYTESIZE, 7);
  EXPECT_EQ(dev.STOPBITS, kTwoStopBits);
  ASSERT_TRUE(BuildCommDCBA("COM1:,,8", dev));
  EXPECT_EQ(dev.BYTESIZE, 8);
  EXPECT_EQ(dev.BAUDRATE, 19200);
  const Dev before = dev;
  EXPECT_FALSE(BuildCommDCBA("COM1:2400,q,8,1", dev));  // nothing of a bad text is taken
  EXPECT_EQ(dev, before);
}

TEST(SerialNames, PortNamesGiveEntriesAndDevices) {
  struct Case {
    const char* mode;
    const char* env;    // variable set for the case
    const char* value;  // its value, nullptr = unset
    int entry;
    const char* device;
    const char* path;
  } cases[] = {
      {"COM1:9600,n,8,1", "VELORN_COM1", nullptr, 1, "COM1", "/dev/ttyS0"},
      {"COM1:9600,n,8,1", "VELORN_COM1", "/tmp/pts-x", 1, "COM1", "/tmp/pts-x"},
      {"com2:9600,n,8,1", "VELORN_COM2", nullptr, 2, "com2", "/dev/ttyS1"},
      {"COM12:19200,n,8,1", "VELORN_COM12", nullptr, 12, "\\\\.\\COM12", "/dev/ttyS11"},
      {"COM0:9600,n,8,1", "VELORN_COM0", nullptr, 25, "COM0", ""},
      {"COM0:9600,n,8,1", "VELORN_COM0", "/tmp/com0", 25, "COM0", "/tmp/com0"},
      {"COM30:9600,n,8,1", "VELORN_COM30", nullptr, 25, "\\\\.\\COM30", "/dev/ttyS29"},
      {"LPT1:9600,n,8,1", "VELORN_LPT1", nullptr, 1, "LPT1", "/dev/lp0"},
      {"COM123:9600,n,8,1", "VELORN_COM123", "/tmp/x", 25, "", ""},  // colon at 7
      {"COM1 9600,n,8,1", "VELORN_COM1", nullptr, 25, "", ""},       // no colon
      {"XYZ1:9600,n,8,1", "VELORN_XYZ1", "/tmp/x", 1, "XYZ1", ""},    // never opened
      {"COM-1:9600,n,8,1", "VELORN_COM-1", nullptr, 25, "\\\\.\\COM-1", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.mode) + " " + c.env + "=" + (c.value ? c.value : "(unset)"));
    EnvScope env(c.env, c.value);
    const PortTarget t = ResolvePort(c.mode);
    EXPECT_EQ(t.entry, c.entry);
    EXPECT_EQ(t.deviceName, c.device);
    EXPECT_EQ(t.path, c.path);
  }
}

TEST(SerialNames, CallsWithoutAnOpenPortChangeNothing) {
  KillAllPorts();  // nothing open: nothing happens
  EXPECT_EQ(ResetPort("COM7:9600,n,8,1"), 0);
  EXPECT_EQ(GetPortDev(7), Dev{});
  EXPECT_EQ(GetPortEntry(7).InUse, 0);
}

// ---- on a pseudo-terminal with the simulated devices ----

class SerialPort : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.Start());
    com1.emplace("VELORN_COM1", sim.SlavePath().c_str());
  }
  void TearDown() override {
    KillAllPorts();
    SetCommEventSink(nullptr);
  }
  LONG Open(const char* mode = "COM1:9600,n,8,1", uint8_t overlapped = 0) {
    return NewPort(mode, 0, 1, 0, 1, overlapped);
  }

  devsim::DeviceSimulator sim;
  std::optional<EnvScope> com1;
};

TEST_F(SerialPort, NewPortOpensRawAndFillsTheEntry) {
  const LONG h = NewPort("COM1:9600,n,8,1", 1024, 0, 2048, 0, 0);
  ASSERT_GE(h, 0) << GetLibraryErrorText();
  const PortEntry e = GetPortEntry(1);
  EXPECT_EQ(e.Handle, h);
  EXPECT_EQ(e.InUse, 1);
  EXPECT_EQ(e.InBufferSize, 1024);
  EXPECT_EQ(e.OutBufferSize, 2048);
  EXPECT_EQ(e.Overlapped, 0);
  const Dev dev = GetPortDev(1);
  EXPECT_EQ(dev.FLAGS, kDevFlags);
  EXPECT_EQ(dev.BAUDRATE, 9600);
  EXPECT_EQ(dev.BYTESIZE, 8);
  EXPECT_EQ(GetPortTimeouts(1), (CommTimeouts{0xFFFFFFFFu, 0, 0, 1000, 1000}));

  termios t;
  ASSERT_EQ(::tcgetattr(h, &t), 0);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL), 0u);
  EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t{CLOCAL | CREAD});
  EXPECT_EQ(t.c_cc[VMIN], 0);
  EXPECT_EQ(t.c_cc[VTIME], 0);
  EXPECT_EQ(sim.SlaveBaud(), 9600);
  EXPECT_EQ(::fcntl(h, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
}

TEST_F(SerialPort, TheFarSideSeesTheBaudChanges) {
  const LONG h = Open();
  ASSERT_GE(h, 0) << GetLibraryErrorText();
  const struct {
    const char* mode;  // nullptr: stay
    const char* command;
  } steps[] = {{nullptr, "s1\r"}, {"COM1:19200,n,8,1", devsim::kStatusQuery}, {"COM1:9600,n,8,1", "r1\r"}};
  for (size_t i = 0; i < std::size(steps); ++i) {
    if (steps[i].mode) {
      EXPECT_EQ(ResetPort(steps[i].mode), 1);
    }
    EXPECT_EQ(WritePort(h, steps[i].command, 0), static_cast<LONG>(std::string(steps[i].command).size()));
    ASSERT_TRUE(sim.WaitForCommands(i + 1, kWait));
  }
  const auto commands = sim.Commands();
  ASSERT_EQ(commands.size(), 3u);
  EXPECT_EQ(commands[0].baud, 9600);
  EXPECT_EQ(commands[1].baud, 19200);
  EXPECT_EQ(commands[2].baud, 9600);
  EXPECT_EQ(commands[1].text, devsim::kStatusQuery);
}

TEST_F(SerialPort, ResetPortKeepsWhatTheModeDoesNotName) {
  ASSERT_GE(Open("COM1:9600,e,7,2"), 0);
  EXPECT_EQ(ResetPort("COM1:19200"), 1);
  const Dev dev = GetPortDev(1);
  EXPECT_EQ(dev.BAUDRATE, 19200);
  EXPECT_EQ(dev.PARITY, kEvenParity);
  EXPECT_EQ(dev.BYTESIZE, 7);
  EXPECT_EQ(dev.STOPBITS, kTwoStopBits);
  EXPECT_EQ(sim.SlaveBaud(), 19200);
  // A mode that does not read changes nothing on the line; the result says
  // the time-outs were set.
  EXPECT_EQ(ResetPort("COM1:9600,q,8,1"), 1);
  EXPECT_EQ(GetPortDev(1).BAUDRATE, 19200);
  EXPECT_EQ(sim.SlaveBaud(), 19200);
}

TEST_F(SerialPort, ReadNeverWaitsAndBlanksTheBuffer) {
  const LONG h = Open();
  ASSERT_GE(h, 0);
  std::array<char, 128> buf;
  buf.fill('x');
  // Nothing is ever sent: a read that waited for data would not return.
  EXPECT_EQ(ReadPort(h, buf, 0), 0);
  EXPECT_EQ(std::string(buf.data(), buf.size()), std::string(128, ' '));
  EXPECT_EQ(LibraryErrorCode(), 0);

  // The console's answer to a status query carries its state at position 21.
  sim.SetConsoleState('3');
  ASSERT_EQ(WritePort(h, devsim::kStatusQuery, 0), 12);
  const std::string reply = devsim::DeviceSimulator::StatusReply('3');
  std::string got;
  const auto deadline = Clock::now() + kWait;
  while (got.size() < reply.size() && Readable(h, 1s) && Clock::now() < deadline) {
    const LONG n = ReadPort(h, buf, 0);
    ASSERT_GE(n, 0);
    got.append(buf.data(), static_cast<size_t>(n));
    EXPECT_EQ(std::string(buf.data() + n, buf.size() - static_cast<size_t>(n)), std::string(128 - n, ' '));
  }
  EXPECT_EQ(got, reply);
  ASSERT_GE(got.size(), 21u);
  EXPECT_EQ(got[20], '3');
  EXPECT_LE(reply.size() * 4, 128u);  // four answers fit one read
}

TEST_F(SerialPort, WritesWithoutTrailingBlanksOrTheCountGiven) {
  const LONG h = Open();
  ASSERT_GE(h, 0);
  const struct {
    std::string buffer;
    LONG count;
    LONG result;
  } cases[] = {
      {"q\r          ", 0, 2},  // count 0: the text without trailing blanks
      {"s64\r", 0, 4},
      {"r1\r  ", 5, 5},         // a count sends the blanks too
      {"ab", 10, 2},            // no more than the buffer holds
      {"      ", 0, 0},
  };
  std::string expected;
  for (const auto& c : cases) {
    EXPECT_EQ(WritePort(h, c.buffer, c.count), c.result) << c.buffer;
    expected += c.buffer.substr(0, static_cast<size_t>(c.result));
  }
  ASSERT_EQ(WritePort(h, "s1\r", 0), 3);
  expected += "s1\r";
  ASSERT_TRUE(sim.WaitForBytes(expected.size(), kWait));
  ASSERT_TRUE(sim.WaitForCommands(1, kWait));
  EXPECT_EQ(sim.Commands()[0].text, "q\r");
  EXPECT_EQ(sim.Received(), expected);
}

TEST_F(SerialPort, AWriteToADeviceThatStoppedReadingEndsAtItsTimeLimit) {
  const LONG h = Open();
  ASSERT_GE(h, 0);
  sim.SetMode(devsim::Mode::NotReading);
  FillOutput(h);
  const auto start = Clock::now();
  EXPECT_EQ(WritePort(h, "x", 1), 0);  // 1000 ms + 1000 ms per byte
  EXPECT_GE(Clock::now() - start, 2000ms);
  EXPECT_EQ(LibraryErrorCode(), kErrWritePort);
  EXPECT_EQ(LibraryErrorDetail(), SystemText(ETIMEDOUT));
}

TEST_F(SerialPort, AStaleHandleTouchesNothing) {
  const LONG h = Open();
  ASSERT_GE(h, 0);
  ClosePort(h);
  EXPECT_EQ(GetPortEntry(1).InUse, 0);
  EXPECT_EQ(GetPortEntry(1).Handle, h);  // kept after the close

  // Another file gets the same descriptor number.
  testsupport::TempDir dir;
  const std::string path = dir.file("other");
  testsupport::WriteFile(path, "keep");
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_EQ(fd, h);

  std::array<char, 16> buf;
  EXPECT_EQ(ReadPort(h, buf, 0), 0);
  EXPECT_EQ(LibraryErrorCode(), kErrReadPort);
  EXPECT_EQ(WritePort(h, "s1\r", 0), 0);
  EXPECT_EQ(LibraryErrorCode(), kErrWritePort);
  EXPECT_EQ(ResetPort("COM1:19200,n,8,1"), 0);
  EXPECT_EQ(UseCommEvents(h), kErrUseCommEvents);
  ClosePort(h);
  KillAllPorts();

  EXPECT_NE(::fcntl(fd, F_GETFD), -1);     // still open
  EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 0);  // never read
  EXPECT_EQ(testsupport::ReadFile(path), "keep");
  EXPECT_EQ(GetPortDev(1).BAUDRATE, 9600);
  ::close(fd);
}

TEST_F(SerialPort, ADeviceOpensOnceAtATime) {
  EnvScope com2("VELORN_COM2", sim.SlavePath().c_str());  // the same device under another name
  const LONG h = Open();
  ASSERT_GE(h, 0);
  EXPECT_EQ(Open("COM2:9600,n,8,1"), -1);
  EXPECT_EQ(LibraryErrorCode(), kErrNewPortOpen);
  EXPECT_EQ(GetPortEntry(2).InUse, 0);
  // The refused open left the first one working.
  EXPECT_EQ(WritePort(h, "s1\r", 0), 3);
  ASSERT_TRUE(sim.WaitForCommands(1, kWait));

  ClosePort(h);
  const LONG again = Open("COM2:9600,n,8,1");
  ASSERT_GE(again, 0) << GetLibraryErrorText();
  EXPECT_EQ(WritePort(again, "s2\r", 0), 3);
  ASSERT_TRUE(sim.WaitForCommands(2, kWait));
  ClosePort(again);
  EXPECT_GE(Open(), 0);
}

TEST_F(SerialPort, AnEntryInUseIsNotTakenOver) {
  devsim::DeviceSimulator other;
  ASSERT_TRUE(other.Start());
  EnvScope com26("VELORN_COM26", sim.SlavePath().c_str());
  EnvScope com27("VELORN_COM27", other.SlavePath().c_str());
  const LONG h = Open("COM26:9600,n,8,1");
  ASSERT_GE(h, 0);
  EXPECT_EQ(GetPortEntry(25).Handle, h);
  EXPECT_EQ(Open("COM27:9600,n,8,1"), -1);  // entry 25 as well
  EXPECT_EQ(LibraryErrorCode(), kErrNewPortOpen);
  EXPECT_EQ(WritePort(h, "s1\r", 0), 3);
  ASSERT_TRUE(sim.WaitForCommands(1, kWait));
  ClosePort(h);
  EXPECT_GE(Open("COM27:9600,n,8,1"), 0);
}

TEST_F(SerialPort, FailedOpensReportAndLeaveNothingOpen) {
  EnvScope com0("VELORN_COM0", nullptr);
  testsupport::TempDir dir;
  const std::string file = dir.file("plain");
  testsupport::WriteFile(file, "");
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    const char* mode;
    const char* path;  // for VELORN_COM3
    LONG code;
    std::string detail;
  } cases[] = {
      {"XYZ1:9600,n,8,1", nullptr, kErrNewPortOpen, "port=XYZ1:9600,n,8,1, " + SystemText(ENOENT)},
      {"COM123:9600,n,8,1", nullptr, kErrNewPortOpen, "port=COM123:9600,n,8,1, " + SystemText(ENOENT)},
      {"COM0:9600,n,8,1  ", nullptr, kErrNewPortOpen, "port=COM0:9600,n,8,1, " + SystemText(ENOENT)},
      {"COM3:9600,n,8,1", "/nonexistent/tty", kErrNewPortOpen, "port=COM3:9600,n,8,1, " + SystemText(ENOENT)},
      {"COM3:9600,n,8,1", fifo.c_str(), kErrNewPortBuffers,
       "port=COM3:9600,n,8,1, Inb=512, Outb=512, " + SystemText(ENOTTY)},
      {"COM3:9600,n,8,1", file.c_str(), kErrNewPortBuffers,
       "port=COM3:9600,n,8,1, Inb=512, Outb=512, " + SystemText(ENOTTY)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.mode) + " " + (c.path ? c.path : ""));
    EnvScope com3("VELORN_COM3", c.path);
    const int probe = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ::close(probe);
    EXPECT_EQ(Open(c.mode), -1);
    EXPECT_EQ(LibraryErrorCode(), c.code);
    EXPECT_EQ(LibraryErrorDetail(), c.detail);
    EXPECT_EQ(LibraryProcedureName(), "NewPort");
    for (int k = 1; k <= kPortCount; ++k) EXPECT_EQ(GetPortEntry(k).InUse, 0) << k;
    const int after = ::open("/dev/null", O_RDONLY | O_CLOEXEC);  // nothing left open
    EXPECT_EQ(after, probe);
    ::close(after);
  }
}

TEST_F(SerialPort, AParallelPortSkipsTheSerialSetUp) {
  testsupport::TempDir dir;
  const std::string printer = dir.file("printer");
  testsupport::WriteFile(printer, "");
  EnvScope lpt1("VELORN_LPT1", printer.c_str());
  const LONG h = Open("LPT1:9600,n,8,1");
  ASSERT_GE(h, 0) << GetLibraryErrorText();
  const PortEntry e = GetPortEntry(1);
  EXPECT_EQ(e.InBufferSize, 0);
  EXPECT_EQ(e.OutBufferSize, 0);
  EXPECT_EQ(GetPortDev(1).FLAGS, kDevFlags);  // ResetPort ran
  EXPECT_EQ(ResetPort("LPT1:9600,n,8,1"), 1);
  EXPECT_EQ(WritePort(h, "q\r  ", 0), 2);
  ClosePort(h);
  EXPECT_EQ(testsupport::ReadFile(printer), "q\r");
}

TEST_F(SerialPort, AFailedOpenWritesTheDebugLineOnlyWithDebug) {
  const std::string line =
      " NewPort failed, Error opening port, port=XYZ1:9600,n,8,1, " + SystemText(ENOENT) + ", NewPort\r\n";
  {
    testsupport::CommandLineScope args({"/debug"});
    testsupport::StderrCapture err;
    EXPECT_EQ(Open("XYZ1:9600,n,8,1"), -1);
    EXPECT_EQ(err.Finish(), line);
  }
  testsupport::StderrCapture err;
  EXPECT_EQ(Open("XYZ1:9600,n,8,1"), -1);
  EXPECT_EQ(err.Finish(), "");
}

TEST_F(SerialPort, WhDebugAsksBeforeEachOpen) {
  struct Seen {
    std::string text;
    unsigned buttons = 0;
  } seen;
  platform::SetBoxView([&](std::string_view text, std::string_view, platform::BoxIcon, unsigned buttons, unsigned) {
    seen = {std::string(text), buttons};
    return static_cast<unsigned>(platform::BoxIgnore);
  });
  testsupport::CommandLineScope args({"/WHDebug"});
  EnvScope com12("VELORN_COM12", "/nonexistent/tty");
  EnvScope com0("VELORN_COM0", nullptr);
  const struct {
    const char* mode;
    std::string text;
  } cases[] = {
      {"COM1:9600,n,8,1   ", "Opening Port : 1 from  COM1 Mode: COM1:9600,n,8,1 Parm: COM1"},
      {"COM12:19200,n,8,1", "Opening Port : 12 from  \\\\.\\COM12 Mode: COM12:19200,n,8,1 Parm: \\\\.\\COM12"},
      {"COM0:9600,n,8,1", "Opening Port : 25 from  COM0 Mode: COM0:9600,n,8,1 Parm: COM0"},
  };
  for (const auto& c : cases) {
    seen = {};
    Open(c.mode);
    EXPECT_EQ(seen.text, c.text);
    EXPECT_EQ(seen.buttons, unsigned{platform::BoxAbort | platform::BoxIgnore});
  }
  EXPECT_EQ(GetPortEntry(1).InUse, 1);  // "Ignore" goes on
  platform::SetBoxView(nullptr);
}

TEST_F(SerialPort, WhDebugAbortEndsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        platform::SetBoxView([](std::string_view, std::string_view, platform::BoxIcon, unsigned, unsigned) {
          return static_cast<unsigned>(platform::BoxAbort);
        });
        testsupport::CommandLineScope args({"/WHDebug"});
        Open();
        std::exit(0);
      },
      testing::ExitedWithCode(1), "");
}

// ---- overlapped ports ----

TEST_F(SerialPort, OverlappedMonitorPostsItsEvents) {
  EventLog log;
  SetCommEventSink(log.Sink());
  const LONG h = Open("COM1:9600,n,8,1", 1);
  ASSERT_GE(h, 0) << GetLibraryErrorText();
  EXPECT_EQ(GetPortEntry(1).Overlapped, 1);
  EXPECT_EQ(GetPortTimeouts(1), (CommTimeouts{0xFFFFFFFFu, 0, 0, 0, 0}));
  const int self = platform::ui::ThreadNumber();

  // Written at once: the whole count, then transmit-empty.
  EXPECT_EQ(WritePort(h, "s1\r", 0), 3);
  ASSERT_TRUE(log.WaitFor(kCommsTxEmptyEvent));
  ASSERT_TRUE(sim.WaitForCommands(1, kWait));

  // Received characters: one event, and the monitor ends.
  sim.Send("a");
  ASSERT_TRUE(log.WaitFor(kCommsRxCharEvent));
  std::array<char, 128> buf;
  EXPECT_EQ(ReadPort(h, buf, 0), 1);
  EXPECT_EQ(buf[0], 'a');
  // The read that finds nothing re-arms it.
  EXPECT_EQ(ReadPort(h, buf, 0), 0);
  sim.Send("b");
  ASSERT_TRUE(log.WaitFor(kCommsRxCharEvent, 2));
  EXPECT_EQ(ReadPort(h, buf, 0), 1);
  EXPECT_EQ(buf[0], 'b');

  const auto events = log.All();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].second, kCommsTxEmptyEvent);
  for (const auto& e : events) EXPECT_EQ(e.first, self);
}

TEST_F(SerialPort, OverlappedHangUpIsALineChange) {
  EventLog log;
  SetCommEventSink(log.Sink());
  ASSERT_GE(Open("COM1:9600,n,8,1", 1), 0);
  sim.Stop();
  EXPECT_TRUE(log.WaitFor(kCommsLineChangeEvent));
}

TEST_F(SerialPort, OverlappedWritesQueueInOrderAndCloseJoinsTheThreads) {
  EventLog log;
  SetCommEventSink(log.Sink());
  const LONG h = Open("COM1:9600,n,8,1", 1);
  ASSERT_GE(h, 0);
  sim.SetMode(devsim::Mode::NotReading);
  FillOutput(h);
  EXPECT_EQ(WritePort(h, "x\r", 0), 0);  // pending
  EXPECT_EQ(WritePort(h, "y\r", 0), 0);
  EXPECT_EQ(GetPortEntry(1).PendingWrites, 2);
  EXPECT_EQ(ActiveCommThreads(), 2);  // the monitor and the writer

  ClosePort(h);
  EXPECT_EQ(ActiveCommThreads(), 0);  // both ended before ClosePort returned
  EXPECT_EQ(::fcntl(h, F_GETFD), -1);
  EXPECT_EQ(GetPortEntry(1).InUse, 0);
  const size_t posted = log.All().size();
  sim.SetMode(devsim::Mode::Answer);
  ASSERT_TRUE(sim.WaitForBytes(1, kWait));  // the filler drains; no thread is left to post
  EXPECT_EQ(log.All().size(), posted);
}

TEST_F(SerialPort, OverlappedPendingWritesCompleteInOrder) {
  EventLog log;
  SetCommEventSink(log.Sink());
  const LONG h = Open("COM1:9600,n,8,1", 1);
  ASSERT_GE(h, 0);
  sim.SetMode(devsim::Mode::NotReading);
  FillOutput(h);
  for (const char* c : {"s1\r", "s2\r", "s3\r"}) EXPECT_EQ(WritePort(h, c, 0), 0);
  EXPECT_EQ(GetPortEntry(1).PendingWrites, 3);
  sim.SetMode(devsim::Mode::Answer);
  ASSERT_TRUE(log.WaitFor(kCommsTxEmptyEvent));
  EXPECT_EQ(GetPortEntry(1).PendingWrites, 0);
  ASSERT_TRUE(sim.WaitForCommands(3, kWait));
  const auto c = sim.Commands();
  ASSERT_EQ(c.size(), 3u);
  EXPECT_EQ(c[0].text.substr(c[0].text.size() - 3), "s1\r");  // after the filler
  EXPECT_EQ(c[1].text, "s2\r");
  EXPECT_EQ(c[2].text, "s3\r");
}

// ---- the simulator ----

TEST(DeviceSimulator, SplitsCommandsAndAnswersTheStatusQuery) {
  devsim::DeviceSimulator sim;
  ASSERT_TRUE(sim.Start());
  sim.SetConsoleState('2');
  const int fd = ::open(sim.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  termios t;
  ASSERT_EQ(::tcgetattr(fd, &t), 0);
  cfmakeraw(&t);
  ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
  for (const char* part : {"s1\r(05041", "00111)(0500100006)", "q", "\r"}) {
    ASSERT_GT(::write(fd, part, std::string(part).size()), 0);
  }
  ASSERT_TRUE(sim.WaitForCommands(4, kWait));
  const auto c = sim.Commands();
  EXPECT_EQ(c[0].text, "s1\r");
  EXPECT_EQ(c[1].text, "(0504100111)");
  EXPECT_EQ(c[2].text, devsim::kStatusQuery);
  EXPECT_EQ(c[3].text, "q\r");
  const std::string reply = devsim::DeviceSimulator::StatusReply('2');
  std::string got(reply.size(), '\0');
  size_t n = 0;
  while (n < got.size() && Readable(fd, kWait)) {
    const ssize_t r = ::read(fd, got.data() + n, got.size() - n);
    ASSERT_GT(r, 0);
    n += static_cast<size_t>(r);
  }
  EXPECT_EQ(got, reply);
  EXPECT_EQ(got[20], '2');
  ::close(fd);
  sim.Stop();
}

}  // namespace
