#include "syslib/serial.h"

#include "platform/eventloop.h"
#include "platform/text.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/cmdline.h"
#include "platform/msgbox.h"
#include "platform/thread.h"
#include "syslib/debugout.h"
#include "syslib/win32error.h"

namespace syslib {

namespace {

// Comm event bits.
constexpr uint32_t kEvRxChar = 0x1, kEvRxFlag = 0x2, kEvTxEmpty = 0x4, kEvCts = 0x8, kEvDsr = 0x10,
                   kEvRlsd = 0x20, kEvBreak = 0x40, kEvErr = 0x80, kEvRing = 0x100;
constexpr uint32_t kEvLineChange = 0xFFF8;

constexpr CommTimeouts kPlainTimeouts{0xFFFFFFFFu, 0, 0, 1000, 1000};
constexpr CommTimeouts kOverlappedTimeouts{0xFFFFFFFFu, 0, 0, 0, 0};

// ---- text helpers ----

std::string_view RTrim(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// A decimal number as a text reads: blanks around, an optional sign; text
// that does not read as a number gives 0.
long ReadNumber(std::string_view s) {
  s = Trim(s);
  bool negative = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  if (!AllDigits(s)) return 0;
  long v = 0;
  for (char c : s) {
    v = v * 10 + (c - '0');
    if (v > 1000000000L) return 0;
  }
  return negative ? -v : v;
}

// An unsigned decimal of at most nine digits, or -1.
long ReadCount(std::string_view s) {
  if (!AllDigits(s) || s.size() > 9) return -1;
  long v = 0;
  for (char c : s) v = v * 10 + (c - '0');
  return v;
}

int EntryOfNumber(long n) { return (n < 1 || n > kPortCount) ? kPortCount : static_cast<int>(n); }

// The entry a mode's text before its first colon names (characters 4, 5).
int EntryOfMode(std::string_view mode) {
  std::string_view before = mode.substr(0, mode.find(':'));
  return EntryOfNumber(before.size() > 3 ? ReadNumber(before.substr(3, 2)) : 0);
}

// ---- BuildCommDCBA ----

bool ReadBaud(std::string_view s, Dev& dev) {
  const long v = ReadCount(s);
  if (v <= 0) return false;
  static constexpr struct {
    long abbrev, baud;
  } kAbbrev[] = {{11, 110}, {15, 150}, {30, 300}, {60, 600}, {12, 1200},
                 {24, 2400}, {48, 4800}, {96, 9600}, {19, 19200}};
  long baud = v;
  for (const auto& a : kAbbrev)
    if (a.abbrev == v) baud = a.baud;
  dev.BAUDRATE = static_cast<int32_t>(baud);
  return true;
}

bool ReadParity(std::string_view s, Dev& dev) {
  if (s.size() != 1) return false;
  switch (Upper(s[0])) {
    case 'N': dev.PARITY = kNoParity; return true;
    case 'O': dev.PARITY = kOddParity; return true;
    case 'E': dev.PARITY = kEvenParity; return true;
    case 'M': dev.PARITY = kMarkParity; return true;
    case 'S': dev.PARITY = kSpaceParity; return true;
    default: return false;
  }
}

bool ReadData(std::string_view s, Dev& dev) {
  const long v = ReadCount(s);
  if (v < 5 || v > 8) return false;
  dev.BYTESIZE = static_cast<uint8_t>(v);
  return true;
}

bool ReadStop(std::string_view s, Dev& dev) {
  if (s == "1") dev.STOPBITS = kOneStopBit;
  else if (s == "1.5") dev.STOPBITS = kOne5StopBits;
  else if (s == "2") dev.STOPBITS = kTwoStopBits;
  else return false;
  return true;
}

bool ReadOldForm(std::string_view s, Dev& dev) {
  size_t field = 0;
  for (;;) {
    const size_t comma = s.find(',');
    const std::string_view f = Trim(s.substr(0, comma));
    if (!f.empty()) {
      bool ok = false;
      switch (field) {
        case 0: ok = ReadBaud(f, dev); break;
        case 1: ok = ReadParity(f, dev); break;
        case 2: ok = ReadData(f, dev); break;
        case 3: ok = ReadStop(f, dev); break;
        // Handshake: the flags are fixed, so it is only checked.
        case 4: ok = f.size() == 1 && std::string_view("EBPRX").find(Upper(f[0])) != std::string_view::npos; break;
        default: ok = false;
      }
      if (!ok) return false;
    } else if (field > 4) {
      return false;
    }
    if (comma == std::string_view::npos) return true;
    s.remove_prefix(comma + 1);
    ++field;
  }
}

bool ReadNewForm(std::string_view s, Dev& dev) {
  auto onOff = [](std::string_view v) { return EqualNoCase(v, "on") || EqualNoCase(v, "off"); };
  while (true) {
    s = Trim(s);
    if (s.empty()) return true;
    const size_t end = s.find_first_of(" \t");
    const std::string_view token = s.substr(0, end);
    s.remove_prefix(end == std::string_view::npos ? s.size() : end);
    const size_t eq = token.find('=');
    if (eq == std::string_view::npos) return false;
    const std::string key = platform::text::UpperAscii(token.substr(0, eq));
    const std::string_view value = token.substr(eq + 1);
    bool ok;
    if (key == "BAUD") ok = ReadBaud(value, dev);
    else if (key == "PARITY") ok = ReadParity(value, dev);
    else if (key == "DATA") ok = ReadData(value, dev);
    else if (key == "STOP") ok = ReadStop(value, dev);
    else if (key == "TO" || key == "XON" || key == "ODSR" || key == "OCTS" || key == "IDSR") ok = onOff(value);
    else if (key == "DTR") ok = onOff(value) || EqualNoCase(value, "hs");
    else if (key == "RTS") ok = onOff(value) || EqualNoCase(value, "hs") || EqualNoCase(value, "tg");
    else ok = false;
    if (!ok) return false;
  }
}

// ---- ports ----

struct Monitor {
  int stopFd = -1;  // eventfd: the mask was cleared or replaced
  std::thread thread;
  ~Monitor() {
    if (thread.joinable()) thread.detach();
    if (stopFd >= 0) ::close(stopFd);
  }
};

struct Port {
  int fd = -1;
  int closing = -1;  // eventfd: the port is being closed
  int txKick = -1;   // eventfd: output was written or has gone (for the monitor)
  bool terminal = false;
  bool overlapped = false;
  std::atomic<int32_t> baud{0};
  std::atomic<bool> eventsUsed{false};
  std::atomic<int32_t> pending{0};
  std::atomic<size_t> queuedBytes{0};

  // Overlapped writes not yet handed to the driver, in order.
  std::mutex writeMutex;
  std::deque<std::string> queue;
  bool writerRunning = false;
  bool writesClosed = false;  // the port closes: no more writes
  std::thread writer;

  std::mutex monitorMutex;
  std::shared_ptr<Monitor> monitor;
  bool monitorClosed = false;  // the port closes: no new monitor

  ~Port() {
    if (writer.joinable()) writer.detach();
    if (fd >= 0) {
      if (terminal) ::ioctl(fd, TIOCNXCL);
      ::close(fd);
    }
    if (closing >= 0) ::close(closing);
    if (txKick >= 0) ::close(txKick);
  }
};

struct Slot {
  PortEntry e;
  Dev dev;
  CommTimeouts timeouts;
  std::shared_ptr<Port> port;
};

struct Module {
  std::mutex mutex;
  Slot PortTable[kPortCount];
  std::mutex sinkMutex;
  CommEventSink sink;
};

// Never destroyed: monitors may still run while the process ends.
Module& M() {
  static Module* m = new Module;
  return *m;
}

std::atomic<int> gActiveThreads{0};

void Signal(int efd) {
  const uint64_t one = 1;
  while (::write(efd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void Drain(int efd) {
  uint64_t v;
  while (::read(efd, &v, sizeof v) < 0 && errno == EINTR) {
  }
}

void Post(int threadNumber, int event) {
  CommEventSink sink;
  {
    std::lock_guard lock(M().sinkMutex);
    sink = M().sink;
  }
  if (sink) sink(threadNumber, event);
}

// The port an entry in use holds under this handle.
std::shared_ptr<Port> FindPort(LONG handle) {
  std::lock_guard lock(M().mutex);
  for (auto& s : M().PortTable)
    if (s.e.InUse && s.e.Handle == handle) return s.port;
  return nullptr;
}

// Fails with a library error whose detail is the system text of err.
LONG Fail(LONG code, int err, std::string_view prefix = {}) {
  SetLastErrorFromErrno(err);
  SetLibraryErrorDetail(std::string(prefix) + GetLastErrorText());
  return SetLibraryError(code);
}

// A refused or failed read or write: nothing transferred.
LONG Refuse(LONG code, int err) {
  Fail(code, err);
  return 0;
}

void JoinOrDetach(std::thread& t) {
  if (!t.joinable()) return;
  if (t.get_id() == std::this_thread::get_id()) t.detach();  // a sink closing its own port
  else t.join();
}

void StopMonitor(const std::shared_ptr<Monitor>& m) {
  if (!m) return;
  Signal(m->stopFd);
  JoinOrDetach(m->thread);
}

// Modem lines and line-error counters of a serial port.
struct Lines {
  bool haveModem = false, haveCount = false;
  int modem = 0;
  serial_icounter_struct count{};
};

Lines ReadLines(int fd) {
  Lines l;
  l.haveModem = ::ioctl(fd, TIOCMGET, &l.modem) == 0;
  l.haveCount = ::ioctl(fd, TIOCGICOUNT, &l.count) == 0;
  return l;
}

uint32_t LineChanges(const Lines& a, const Lines& b) {
  uint32_t mask = 0;
  if (a.haveCount && b.haveCount) {
    if (a.count.cts != b.count.cts) mask |= kEvCts;
    if (a.count.dsr != b.count.dsr) mask |= kEvDsr;
    if (a.count.dcd != b.count.dcd) mask |= kEvRlsd;
    if (a.count.rng != b.count.rng) mask |= kEvRing;
    if (a.count.brk != b.count.brk) mask |= kEvBreak;
    if (a.count.frame != b.count.frame || a.count.overrun != b.count.overrun ||
        a.count.parity != b.count.parity || a.count.buf_overrun != b.count.buf_overrun)
      mask |= kEvErr;
  } else if (a.haveModem && b.haveModem) {
    const int d = a.modem ^ b.modem;
    if (d & TIOCM_CTS) mask |= kEvCts;
    if (d & TIOCM_DSR) mask |= kEvDsr;
    if (d & TIOCM_CAR) mask |= kEvRlsd;
    if ((a.modem & TIOCM_RNG) && !(b.modem & TIOCM_RNG)) mask |= kEvRing;
  }
  return mask;
}

int OutputQueued(const Port& p) {
  int n = 0;
  if (::ioctl(p.fd, TIOCOUTQ, &n) != 0) n = 0;
  return n;
}

// Time until the driver's queue should have gone, 1..50 ms.
int DrainWaitMs(const Port& p, int queued) {
  const int32_t baud = p.baud.load();
  long ms = baud > 0 ? static_cast<long>(queued) * 10000L / baud + 1 : 50;
  return static_cast<int>(std::clamp(ms, 1L, 50L));
}

void MonitorCommEvents(std::shared_ptr<Port> p, std::shared_ptr<Monitor> m, int threadNumber) {
  platform::ThreadAttach(false);
  SetLibraryProcedureName("MonitorCommEvents");
  Lines last = p->terminal ? ReadLines(p->fd) : Lines{};
  const bool watchLines = last.haveModem || last.haveCount;
  bool watchFd = true, txWatch = false;
  for (;;) {
    pollfd fds[4] = {{m->stopFd, POLLIN, 0},
                     {p->closing, POLLIN, 0},
                     {p->txKick, POLLIN, 0},
                     {watchFd ? p->fd : -1, POLLIN, 0}};
    int timeout = -1;
    if (txWatch && p->queuedBytes.load() == 0) timeout = DrainWaitMs(*p, OutputQueued(*p));
    else if (watchLines) timeout = 100;
    const int r = ::poll(fds, 4, timeout);
    if (r < 0) {
      if (errno == EINTR) continue;
      Fail(kErrMonitorCommEvents, errno);
      break;
    }
    if (fds[0].revents || fds[1].revents) break;  // mask cleared, or the port closes
    uint32_t mask = 0;
    if (fds[2].revents & POLLIN) {
      Drain(p->txKick);
      txWatch = true;
    }
    if (txWatch && p->queuedBytes.load() == 0 && OutputQueued(*p) == 0) {
      mask |= kEvTxEmpty;
      txWatch = false;
    }
    if (fds[3].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      // Hung up: reported once, then the descriptor is no longer watched
      // (it would report the same state at every wait).
      mask |= kEvRlsd | kEvErr;
      watchFd = false;
    } else if (fds[3].revents & POLLIN) {
      mask |= kEvRxChar;
    }
    if (watchLines) {
      const Lines now = ReadLines(p->fd);
      mask |= LineChanges(last, now);
      last = now;
    }
    if (mask & kEvTxEmpty) Post(threadNumber, kCommsTxEmptyEvent);
    if ((mask & kEvRxChar) && !(mask & kEvRxFlag)) {
      Post(threadNumber, kCommsRxCharEvent);
      break;
    }
    if (mask & kEvLineChange) Post(threadNumber, kCommsLineChangeEvent);
  }
  platform::ThreadDetach();
  gActiveThreads.fetch_sub(1);
}

using Deadline = std::optional<std::chrono::steady_clock::time_point>;

// Writes bytes to a non-blocking descriptor until done, the deadline (if
// any), an error, or the port closing. Sets err (0 when all went).
size_t WriteAll(const Port& p, const char* data, size_t n, Deadline deadline, int& err) {
  err = 0;
  size_t done = 0;
  while (done < n) {
    const ssize_t w = ::write(p.fd, data + done, n - done);
    if (w > 0) {
      done += static_cast<size_t>(w);
      continue;
    }
    if (w < 0 && errno == EINTR) continue;
    if (w < 0 && errno != EAGAIN) {
      err = errno;
      break;
    }
    int timeout = -1;
    if (deadline) {
      const auto left = *deadline - std::chrono::steady_clock::now();
      if (left <= std::chrono::steady_clock::duration::zero()) {
        err = ETIMEDOUT;
        break;
      }
      timeout = static_cast<int>(std::min<int64_t>(
          std::chrono::ceil<std::chrono::milliseconds>(left).count(), 24L * 3600 * 1000));
    }
    pollfd fds[2] = {{p.fd, POLLOUT, 0}, {p.closing, POLLIN, 0}};
    const int r = ::poll(fds, 2, timeout);
    if (r < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    if (fds[1].revents) {
      err = ECANCELED;
      break;
    }
  }
  return done;
}

void KickMonitor(Port& p) {
  if (p.eventsUsed.load(std::memory_order_relaxed)) Signal(p.txKick);
}

void WritePortWait(std::shared_ptr<Port> p) {
  platform::ThreadAttach(false);
  SetLibraryProcedureName("WritePortWait");
  for (;;) {
    std::string buf;
    {
      std::lock_guard lock(p->writeMutex);
      if (p->queue.empty() || p->writesClosed) {
        p->writerRunning = false;
        break;
      }
      buf = std::move(p->queue.front());
      p->queue.pop_front();
    }
    int err = 0;
    WriteAll(*p, buf.data(), buf.size(), std::nullopt, err);
    if (err == ECANCELED) break;  // the port closes; the queue is dropped there
    if (err != 0) Fail(kErrWritePortWait, err, "Error GetOverlappedResult failed ");
    p->queuedBytes.fetch_sub(buf.size());
    p->pending.fetch_sub(1);
    KickMonitor(*p);
  }
  platform::ThreadDetach();
  gActiveThreads.fetch_sub(1);
}

// Ends a port taken out of the table: wakes and joins its threads. The
// descriptor closes with the last reference.
void Shutdown(Port& p) {
  std::shared_ptr<Monitor> monitor;
  {
    std::lock_guard lock(p.monitorMutex);
    p.monitorClosed = true;
    monitor = std::move(p.monitor);
  }
  std::thread writer;
  {
    std::lock_guard lock(p.writeMutex);
    p.writesClosed = true;
    writer = std::move(p.writer);
    p.queue.clear();
  }
  Signal(p.closing);
  StopMonitor(monitor);
  JoinOrDetach(writer);
  p.queuedBytes.store(0);
  p.pending.store(0);
}

void StopCommEvents(Port& p) {
  std::shared_ptr<Monitor> monitor;
  {
    std::lock_guard lock(p.monitorMutex);
    monitor = std::move(p.monitor);
  }
  StopMonitor(monitor);
}

LONG OverlappedWrite(const std::shared_ptr<Port>& p, std::string_view data) {
  std::unique_lock lock(p->writeMutex);
  if (p->writesClosed) return Refuse(kErrWritePort, EBADF);
  p->pending.fetch_add(1);
  std::string_view rest = data;
  if (p->queue.empty() && !p->writerRunning) {
    ssize_t w;
    do w = ::write(p->fd, data.data(), data.size());
    while (w < 0 && errno == EINTR);
    if (w < 0 && errno != EAGAIN) {
      const int err = errno;
      p->pending.fetch_sub(1);
      lock.unlock();
      SetLastErrorFromErrno(err);
      SetLibraryErrorDetail(GetLastErrorText() + " " + std::to_string(GetLastError()));
      SetLibraryError(kErrWritePort);
      return 0;
    }
    if (w >= 0 && static_cast<size_t>(w) == data.size()) {
      p->pending.fetch_sub(1);
      lock.unlock();
      KickMonitor(*p);
      return static_cast<LONG>(w);
    }
    if (w > 0) rest.remove_prefix(static_cast<size_t>(w));
  }
  p->queue.emplace_back(rest);
  p->queuedBytes.fetch_add(rest.size());
  if (!p->writerRunning) {
    if (p->writer.joinable()) p->writer.join();  // ended: it cleared writerRunning last
    gActiveThreads.fetch_add(1);
    try {
      p->writer = std::thread(WritePortWait, p);
      p->writerRunning = true;
    } catch (const std::exception&) {
      gActiveThreads.fetch_sub(1);
      p->queue.pop_back();
      p->queuedBytes.fetch_sub(rest.size());
      p->pending.fetch_sub(1);
      lock.unlock();
      LogEvent("Error starting WritePortWait");
      return Refuse(kErrWritePort, EAGAIN);
    }
  }
  return 0;
}

}  // namespace

// ---- pure parts ----

bool BuildCommDCBA(std::string_view def, Dev& dev) {
  std::string_view s = Trim(def);
  const size_t colon = s.find(':');
  if (colon != std::string_view::npos && s.substr(0, colon).find_first_of(",= \t") == std::string_view::npos)
    s.remove_prefix(colon + 1);
  s = Trim(s);
  if (s.empty()) return false;
  Dev work = dev;
  const bool ok = s.find('=') != std::string_view::npos ? ReadNewForm(s, work) : ReadOldForm(s, work);
  if (ok) dev = work;
  return ok;
}

namespace {
constexpr struct {
  int32_t baud;
  speed_t speed;
} kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};
}  // namespace

speed_t SpeedOfBaud(int32_t baud) {
  for (const auto& s : kSpeeds)
    if (s.baud == baud) return s.speed;
  return B0;
}

int32_t BaudOfSpeed(speed_t speed) {
  for (const auto& s : kSpeeds)
    if (s.speed == speed) return s.baud;
  return 0;
}

bool DevToTermios(const Dev& dev, termios& t) {
  const speed_t speed = SpeedOfBaud(dev.BAUDRATE);
  if (speed == B0) return false;
  tcflag_t size;
  switch (dev.BYTESIZE) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: return false;
  }
  tcflag_t parity;
  switch (dev.PARITY) {
    case kNoParity: parity = 0; break;
    case kOddParity: parity = PARENB | PARODD; break;
    case kEvenParity: parity = PARENB; break;
    case kMarkParity: parity = PARENB | PARODD | CMSPAR; break;
    case kSpaceParity: parity = PARENB | CMSPAR; break;
    default: return false;
  }
  tcflag_t stop;
  switch (dev.STOPBITS) {
    case kOneStopBit: stop = 0; break;
    case kOne5StopBits:  // 1.5 stop bits: what the UART sends for "2" at 5 data bits
    case kTwoStopBits: stop = CSTOPB; break;
    default: return false;
  }
  termios r = t;
  cfmakeraw(&r);
  r.c_iflag &= ~static_cast<tcflag_t>(INPCK | IXOFF | IXANY | IUCLC | IMAXBEL);
  r.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  r.c_cflag |= size | parity | stop | CLOCAL | CREAD;
  r.c_cc[VMIN] = 0;
  r.c_cc[VTIME] = 0;
  cfsetispeed(&r, speed);
  cfsetospeed(&r, speed);
  t = r;
  return true;
}

std::optional<termios> ModeToSettings(std::string_view mode) {
  Dev dev;
  BuildCommDCBA(mode.substr(0, 31), dev);
  dev.FLAGS = kDevFlags;
  termios t{};
  if (!DevToTermios(dev, t)) return std::nullopt;
  return t;
}

PortTarget ResolvePort(std::string_view mode) {
  PortTarget r;
  const size_t colon = mode.find(':');
  std::string_view name;
  long number = 0;
  if (colon == 4) {
    name = mode.substr(0, 4);
    r.deviceName = std::string(name);
    number = ReadNumber(mode.substr(3, 1));
  } else if (colon == 5) {
    name = mode.substr(0, 5);
    r.deviceName = "\\\\.\\" + std::string(name);
    number = ReadNumber(mode.substr(3, 2));
  }
  r.entry = EntryOfNumber(number);
  if (name.size() < 4) return r;
  const std::string kind = platform::text::UpperAscii(name.substr(0, 3));
  const std::string_view digits = name.substr(3);
  if ((kind != "COM" && kind != "LPT") || !AllDigits(digits) || (digits.size() > 1 && digits[0] == '0'))
    return r;
  const std::string var = "VELORN_" + kind + std::string(digits);
  if (const char* env = std::getenv(var.c_str()); env && *env) {
    r.path = env;
  } else if (const long n = ReadCount(digits); n >= 1) {
    r.path = (kind == "COM" ? "/dev/ttyS" : "/dev/lp") + std::to_string(n - 1);
  }
  return r;
}

// ---- procedures ----

void SetCommEventSink(CommEventSink sink) {
  std::lock_guard lock(M().sinkMutex);
  M().sink = std::move(sink);
}

LONG NewPort(std::string_view mode, LONG inBuffer, uint8_t defaultIn, LONG outBuffer, uint8_t defaultOut,
             uint8_t overlapped) {
  SetLibraryProcedureName("NewPort");
  const std::string modeText(RTrim(mode));
  const PortTarget target = ResolvePort(mode);
  if (platform::CommandHas("/WHDebug")) {
    const std::string text = "Opening Port : " + std::to_string(target.entry) + " from  " + target.deviceName +
                             " Mode: " + modeText + " Parm: " + target.deviceName;
    if (platform::MessageBox(text, "WHDebug", platform::BoxIcon::Hand, platform::BoxAbort | platform::BoxIgnore) ==
        platform::BoxAbort)
      platform::Halt(1);
  }
  const std::string openPrefix = "port=" + modeText + ", ";
  auto openFailed = [&](int err) {
    Fail(kErrNewPortOpen, err, openPrefix);
    return LONG{-1};
  };
  Slot& slot = M().PortTable[target.entry - 1];
  if (target.path.empty()) return openFailed(ENOENT);
  {
    std::lock_guard lock(M().mutex);
    if (slot.e.InUse) return openFailed(EBUSY);
  }

  auto port = std::make_shared<Port>();
  do port->fd = ::open(target.path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  while (port->fd < 0 && errno == EINTR);
  if (port->fd < 0) return openFailed(errno);
  if (::flock(port->fd, LOCK_EX | LOCK_NB) != 0) return openFailed(errno == EWOULDBLOCK ? EBUSY : errno);
  port->closing = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  port->txKick = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (port->closing < 0 || port->txKick < 0) return openFailed(errno);
  port->overlapped = overlapped != 0;

  LONG inSize = 0, outSize = 0;
  const bool parallel = platform::text::UpperAscii(mode.substr(0, 3)) == "LPT";
  port->terminal = ::isatty(port->fd) == 1;
  if (!parallel) {
    inSize = defaultIn ? 512 : inBuffer;
    outSize = defaultOut ? 512 : outBuffer;
    int err = 0;
    if (inSize < 0 || outSize < 0) err = EINVAL;
    else if (!port->terminal) err = ENOTTY;
    else if (::ioctl(port->fd, TIOCEXCL) != 0) err = errno;
    if (err != 0) {
      port->terminal = false;
      Fail(kErrNewPortBuffers, err,
           openPrefix + "Inb=" + std::to_string(inSize) + ", Outb=" + std::to_string(outSize) + ", ");
      return -1;
    }
  } else if (port->terminal && ::ioctl(port->fd, TIOCEXCL) != 0) {
    port->terminal = false;
  }

  const LONG handle = port->fd;
  {
    std::lock_guard lock(M().mutex);
    if (slot.e.InUse) {
      // Another thread took the entry meanwhile.
      Fail(kErrNewPortOpen, EBUSY, openPrefix);
      return -1;
    }
    slot.e = PortEntry{handle, 1, inSize, outSize, overlapped, 0};
    slot.port = port;
  }
  ResetPort(mode);
  if (port->terminal) {
    int bits = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(port->fd, TIOCMBIS, &bits);  // not every terminal has modem lines
  }
  if (overlapped) {
    const LONG r = UseCommEvents(handle);
    if (r != 0) return r;
  }
  return handle;
}

LONG ResetPort(std::string_view mode) {
  SetLibraryProcedureName("ResetPort");
  Slot& slot = M().PortTable[EntryOfMode(mode) - 1];
  std::shared_ptr<Port> port;
  Dev work;
  {
    std::lock_guard lock(M().mutex);
    if (!slot.e.InUse) return 0;
    work = slot.dev;
    BuildCommDCBA(mode.substr(0, 31), work);
    work.FLAGS = kDevFlags;
    slot.dev = work;
    slot.timeouts = slot.e.Overlapped ? kOverlappedTimeouts : kPlainTimeouts;
    port = slot.port;
  }
  if (!port->terminal) return 1;
  termios current;
  if (::tcgetattr(port->fd, &current) != 0) return 0;
  termios wanted = current;
  const bool lineSettings = DevToTermios(work, wanted);
  if (!lineSettings) {
    // The record cannot be applied; the read time-outs still can.
    wanted.c_cc[VMIN] = 0;
    wanted.c_cc[VTIME] = 0;
  }
  const bool same = wanted.c_iflag == current.c_iflag && wanted.c_oflag == current.c_oflag &&
                    wanted.c_cflag == current.c_cflag && wanted.c_lflag == current.c_lflag &&
                    wanted.c_cc[VMIN] == current.c_cc[VMIN] && wanted.c_cc[VTIME] == current.c_cc[VTIME] &&
                    cfgetispeed(&wanted) == cfgetispeed(&current) && cfgetospeed(&wanted) == cfgetospeed(&current);
  termios now = current;
  if (!same) {
    // The line settings' result is not examined: glibc reports EINVAL when
    // a terminal (a pseudo-terminal) keeps its own data bits or parity,
    // though the rest was applied. What counts is the state afterwards.
    int r;
    do r = ::tcsetattr(port->fd, lineSettings ? TCSADRAIN : TCSANOW, &wanted);
    while (r != 0 && errno == EINTR);
    if (::tcgetattr(port->fd, &now) != 0) return 0;
  }
  if (const int32_t baud = BaudOfSpeed(cfgetospeed(&now)); baud > 0) port->baud.store(baud);
  // The time-outs are in effect when reads return at once.
  return (now.c_cc[VMIN] == 0 && now.c_cc[VTIME] == 0 && !(now.c_lflag & ICANON)) ? 1 : 0;
}

LONG ReadPort(LONG handle, std::span<char> buffer, LONG count) {
  SetLibraryProcedureName("ReadPort");
  std::fill(buffer.begin(), buffer.end(), ' ');
  if (count < 0) return Refuse(kErrReadPort, EINVAL);
  const size_t n = count == 0 ? buffer.size() : std::min(buffer.size(), static_cast<size_t>(count));
  const std::shared_ptr<Port> port = FindPort(handle);
  if (!port) return Refuse(kErrReadPort, EBADF);
  ssize_t r;
  do r = ::read(port->fd, buffer.data(), n);
  while (r < 0 && errno == EINTR);
  LONG got = 0;
  if (r > 0) {
    got = static_cast<LONG>(r);
  } else if (r < 0 && errno != EAGAIN) {
    Fail(kErrReadPort, errno);
  }
  if (got <= 0 && port->overlapped) UseCommEvents(handle);
  return got;
}

LONG WritePort(LONG handle, std::string_view buffer, LONG count) {
  SetLibraryProcedureName("WritePort");
  if (count < 0) return Refuse(kErrWritePort, EINVAL);
  const std::string_view data =
      count == 0 ? RTrim(buffer) : buffer.substr(0, std::min(buffer.size(), static_cast<size_t>(count)));
  std::shared_ptr<Port> port;
  CommTimeouts timeouts;
  {
    std::lock_guard lock(M().mutex);
    for (auto& s : M().PortTable)
      if (s.e.InUse && s.e.Handle == handle) {
        port = s.port;
        timeouts = s.timeouts;
        break;
      }
  }
  if (!port) return Refuse(kErrWritePort, EBADF);
  if (port->overlapped) return OverlappedWrite(port, data);

  const uint64_t limitMs = uint64_t{timeouts.WRITECONSTANT} + uint64_t{timeouts.WRITEMULTIPLIER} * data.size();
  Deadline deadline;
  if (limitMs != 0) deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  int err = 0;
  const size_t done = WriteAll(*port, data.data(), data.size(), deadline, err);
  if (done > 0) KickMonitor(*port);
  if (err != 0) Fail(kErrWritePort, err == ECANCELED ? EBADF : err);
  return static_cast<LONG>(done);
}

void ClosePort(LONG handle) {
  SetLibraryProcedureName("ClosePort");
  std::shared_ptr<Port> port;
  {
    std::lock_guard lock(M().mutex);
    for (auto& s : M().PortTable)
      if (s.e.InUse && s.e.Handle == handle) {
        s.e.InUse = 0;
        port = std::move(s.port);
        break;
      }
  }
  if (port) Shutdown(*port);
}

void KillAllPorts() {
  SetLibraryProcedureName("KillAllPorts");
  std::vector<std::shared_ptr<Port>> ports;
  {
    std::lock_guard lock(M().mutex);
    for (auto& s : M().PortTable)
      if (s.e.InUse) {
        s.e.InUse = 0;
        ports.push_back(std::move(s.port));
      }
  }
  for (auto& p : ports) {
    if (p->overlapped) StopCommEvents(*p);
    Shutdown(*p);
  }
}

LONG UseCommEvents(LONG handle) {
  SetLibraryProcedureName("UseCommEvents");
  const std::shared_ptr<Port> port = FindPort(handle);
  if (!port) return Fail(kErrUseCommEvents, EBADF);
  // Setting the mask ends the monitor still waiting; it ends before the
  // new one starts, so no event is reported twice.
  std::shared_ptr<Monitor> previous;
  {
    std::lock_guard lock(port->monitorMutex);
    if (port->monitorClosed) return Fail(kErrUseCommEvents, EBADF);
    previous = std::move(port->monitor);
  }
  StopMonitor(previous);
  auto m = std::make_shared<Monitor>();
  m->stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (m->stopFd < 0) return Fail(kErrUseCommEvents, errno);
  const int threadNumber = platform::ui::ThreadNumber();
  {
    std::lock_guard lock(port->monitorMutex);
    if (port->monitorClosed) return Fail(kErrUseCommEvents, EBADF);
    if (port->monitor) return 0;  // armed by another thread meanwhile
    port->eventsUsed.store(true);
    gActiveThreads.fetch_add(1);
    try {
      m->thread = std::thread(MonitorCommEvents, port, m, threadNumber);
      port->monitor = std::move(m);
      return 0;
    } catch (const std::exception&) {
      gActiveThreads.fetch_sub(1);
    }
  }
  LogEvent("Error starting MonitorCommEvents");
  return 0;
}

PortEntry GetPortEntry(int entry) {
  if (entry < 1 || entry > kPortCount) return {};
  std::lock_guard lock(M().mutex);
  const Slot& s = M().PortTable[entry - 1];
  PortEntry e = s.e;
  if (s.port) e.PendingWrites = s.port->pending.load();
  return e;
}

Dev GetPortDev(int entry) {
  if (entry < 1 || entry > kPortCount) return {};
  std::lock_guard lock(M().mutex);
  return M().PortTable[entry - 1].dev;
}

CommTimeouts GetPortTimeouts(int entry) {
  if (entry < 1 || entry > kPortCount) return {};
  std::lock_guard lock(M().mutex);
  return M().PortTable[entry - 1].timeouts;
}

int ActiveCommThreads() { return gActiveThreads.load(); }

}  // namespace syslib
