#include "tests/support/notify_socket.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace testsupport {

namespace {

sockaddr_un Address(const std::string& path) {
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  path.copy(a.sun_path, sizeof a.sun_path - 1);
  return a;
}

}  // namespace

NotifySocket::NotifySocket() : path_(dir_.file("notify")) {
  fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const sockaddr_un a = Address(path_);
  if (fd_ < 0 || ::bind(fd_, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0)
    throw std::runtime_error("notify socket failed");
  stop_ = ::eventfd(0, EFD_CLOEXEC);
  reader_ = std::thread([this] { Read(); });
}

NotifySocket::~NotifySocket() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(stop_, &one, sizeof one);
  reader_.join();
  ::close(fd_);
  ::close(stop_);
}

void NotifySocket::Mark(const std::string& entry) const {
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const sockaddr_un a = Address(path_);
  const ssize_t n = ::sendto(fd, entry.data(), entry.size(), 0, reinterpret_cast<const sockaddr*>(&a), sizeof a);
  ::close(fd);
  if (n != static_cast<ssize_t>(entry.size())) throw std::runtime_error("notify mark failed");
}

void NotifySocket::Append(std::string entry) {
  {
    std::lock_guard l(m_);
    log_.push_back(std::move(entry));
  }
  cv_.notify_all();
}

std::vector<std::string> NotifySocket::Entries() const {
  std::lock_guard l(m_);
  return log_;
}

bool NotifySocket::WaitFor(const std::string& entry, std::chrono::milliseconds limit) {
  std::unique_lock l(m_);
  return cv_.wait_for(l, limit, [&] { return std::find(log_.begin(), log_.end(), entry) != log_.end(); });
}

bool NotifySocket::WaitForSize(size_t n, std::chrono::milliseconds limit) {
  std::unique_lock l(m_);
  return cv_.wait_for(l, limit, [&] { return log_.size() >= n; });
}

void NotifySocket::Read() {
  pollfd fds[2] = {{fd_, POLLIN, 0}, {stop_, POLLIN, 0}};
  for (;;) {
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[0].revents & POLLIN) {
      char buf[4096];
      const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
      if (n > 0) Append(std::string(buf, static_cast<size_t>(n)));
      continue;
    }
    if (fds[1].revents) return;
  }
}

}  // namespace testsupport
