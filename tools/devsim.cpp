#include "tools/devsim.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>

namespace devsim {

namespace {

constexpr size_t kMaxPendingOutput = 1 << 20;

int BaudOf(speed_t s) {
  static constexpr struct {
    speed_t speed;
    int baud;
  } kRates[] = {{B50, 50},         {B75, 75},         {B110, 110},       {B134, 134},       {B150, 150},
                {B200, 200},       {B300, 300},       {B600, 600},       {B1200, 1200},     {B1800, 1800},
                {B2400, 2400},     {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
                {B57600, 57600},   {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B921600, 921600}};
  for (const auto& r : kRates)
    if (r.speed == s) return r.baud;
  return 0;
}

}  // namespace

DeviceSimulator::DeviceSimulator() = default;

DeviceSimulator::~DeviceSimulator() { Stop(); }

std::string DeviceSimulator::StatusReply(char state) {
  std::string r = "(05002" + std::string(14, '0');
  r += state;
  r += "00)";
  return r;
}

std::string DeviceSimulator::GarbageReply() { return std::string("\x00\xff\x13(9\x11\x7f~#\r", 10); }

bool DeviceSimulator::Start() {
  if (thread_.joinable()) return true;
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) return false;
  char name[PATH_MAX];
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 || ::ptsname_r(master_, name, sizeof name) != 0) {
    const int e = errno;
    ::close(master_);
    master_ = -1;
    errno = e;
    return false;
  }
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (slave_ < 0 || wake_ < 0) {
    const int e = errno;
    Stop();
    errno = e;
    return false;
  }
  termios t;
  if (::tcgetattr(slave_, &t) == 0) {
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    ::tcsetattr(slave_, TCSANOW, &t);
  }
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  slavePath_ = name;
  {
    std::lock_guard lock(mutex_);
    stop_ = false;
  }
  thread_ = std::thread([this] { Run(); });
  return true;
}

void DeviceSimulator::Stop() {
  if (thread_.joinable()) {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    Wake();
    thread_.join();
  }
  for (int* fd : {&master_, &slave_, &wake_})
    if (*fd >= 0) {
      ::close(*fd);
      *fd = -1;
    }
}

void DeviceSimulator::Wake() {
  if (wake_ < 0) return;
  const uint64_t one = 1;
  while (::write(wake_, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void DeviceSimulator::SetMode(Mode mode) {
  {
    std::lock_guard lock(mutex_);
    mode_ = mode;
  }
  Wake();
}

Mode DeviceSimulator::GetMode() const {
  std::lock_guard lock(mutex_);
  return mode_;
}

void DeviceSimulator::SetStreamLine(std::string line) {
  std::lock_guard lock(mutex_);
  streamLine_ = std::move(line);
}

void DeviceSimulator::SetConsoleState(char state) {
  std::lock_guard lock(mutex_);
  state_ = state;
}

char DeviceSimulator::ConsoleState() const {
  std::lock_guard lock(mutex_);
  return state_;
}

void DeviceSimulator::Send(std::string bytes) {
  {
    std::lock_guard lock(mutex_);
    toSend_ += bytes;
  }
  Wake();
}

std::vector<Command> DeviceSimulator::Commands() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

std::string DeviceSimulator::Received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

bool DeviceSimulator::WaitForCommands(size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return commands_.size() >= n; });
}

bool DeviceSimulator::WaitForBytes(size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return received_.size() >= n; });
}

void DeviceSimulator::ClearCommands() {
  std::lock_guard lock(mutex_);
  commands_.clear();
  received_.clear();
}

int DeviceSimulator::SlaveBaud() const {
  termios t;
  if (slave_ < 0 || ::tcgetattr(slave_, &t) != 0) return 0;
  speed_t s = cfgetispeed(&t);
  if (s == B0) s = cfgetospeed(&t);
  return BaudOf(s);
}

void DeviceSimulator::SetCommandListener(std::function<void(const Command&)> listener) {
  std::lock_guard lock(mutex_);
  listener_ = std::move(listener);
}

// Splits the bytes into commands, records them and builds the answers.
// Called on the thread with mutex_ held.
void DeviceSimulator::Process(const char* data, size_t n, int baud, std::string& out) {
  received_.append(data, n);
  partial_.append(data, n);
  if (mode_ == Mode::Echo) out.append(data, n);
  for (;;) {
    size_t end = std::string::npos;
    if (!partial_.empty() && partial_[0] == '(') {
      end = partial_.find(')');
      if (end == std::string::npos) end = partial_.find('\r');
    } else {
      end = partial_.find('\r');
    }
    if (end == std::string::npos) break;
    Command c{partial_.substr(0, end + 1), baud, std::chrono::steady_clock::now()};
    partial_.erase(0, end + 1);
    if (mode_ == Mode::Garbage) out += GarbageReply();
    else if (mode_ != Mode::Silent && c.text == kStatusQuery) out += StatusReply(state_);
    commands_.push_back(std::move(c));
  }
}

void DeviceSimulator::Run() {
  std::string out;  // bytes waiting for room on the terminal
  char buf[4096];
  bool hungUp = false;  // the master reports a hang-up: watch only the wake-up
  for (;;) {
    Mode mode;
    {
      std::lock_guard lock(mutex_);
      if (stop_) return;
      mode = mode_;
      out += toSend_;
      toSend_.clear();
      if (mode == Mode::Stream && out.empty()) out = streamLine_;
    }
    short events = 0;
    if (mode != Mode::NotReading) events |= POLLIN;
    if (!out.empty()) events |= POLLOUT;
    pollfd fds[2] = {{wake_, POLLIN, 0}, {hungUp ? -1 : master_, events, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents & POLLIN) {
      uint64_t v;
      while (::read(wake_, &v, sizeof v) < 0 && errno == EINTR) {
      }
    }
    if ((fds[1].revents & POLLIN) && mode != Mode::NotReading) {
      const ssize_t r = ::read(master_, buf, sizeof buf);
      if (r > 0) {
        const int baud = SlaveBaud();
        std::vector<Command> fresh;
        std::function<void(const Command&)> listener;
        {
          std::lock_guard lock(mutex_);
          const size_t before = commands_.size();
          Process(buf, static_cast<size_t>(r), baud, out);
          if (out.size() > kMaxPendingOutput) out.resize(kMaxPendingOutput);
          listener = listener_;
          if (listener) fresh.assign(commands_.begin() + static_cast<std::ptrdiff_t>(before), commands_.end());
        }
        // Answers go out before waiters learn of the command.
        while (!out.empty()) {
          const ssize_t w = ::write(master_, out.data(), out.size());
          if (w <= 0) break;
          out.erase(0, static_cast<size_t>(w));
        }
        changed_.notify_all();
        for (const auto& c : fresh) listener(c);
        continue;
      }
      if (r == 0 || errno != EAGAIN) hungUp = true;
    }
    if ((fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) && !(fds[1].revents & POLLIN)) hungUp = true;
    if ((fds[1].revents & POLLOUT) && !out.empty()) {
      const ssize_t w = ::write(master_, out.data(), out.size());
      if (w > 0) out.erase(0, static_cast<size_t>(w));
    }
  }
}

bool FillOutput(int fd) {
  std::array<char, 4096> chunk;
  chunk.fill('f');
  pollfd p{fd, POLLOUT, 0};
  do {
    while (::write(fd, chunk.data(), chunk.size()) > 0) {
    }
    if (errno != EAGAIN) return false;
  } while (::poll(&p, 1, 300) == 1);
  return true;
}

}  // namespace devsim
