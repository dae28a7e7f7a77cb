// The service manager's side of NOTIFY_SOCKET for tests: a datagram socket
// in a folder of its own whose datagrams are kept in the order received.
// Mark() sends an entry of the test's own through the socket, so that it
// takes its place among the service's reports in the order of sending.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/tempdir.h"

namespace testsupport {

class NotifySocket {
 public:
  NotifySocket();
  ~NotifySocket();
  NotifySocket(const NotifySocket&) = delete;
  NotifySocket& operator=(const NotifySocket&) = delete;

  const std::string& path() const { return path_; }
  void Mark(const std::string& entry) const;
  std::vector<std::string> Entries() const;
  // Waits until an entry equal to entry has arrived; false on time-out.
  bool WaitFor(const std::string& entry, std::chrono::milliseconds limit);
  // Waits until n entries have arrived; false on time-out.
  bool WaitForSize(size_t n, std::chrono::milliseconds limit);

 private:
  void Read();
  void Append(std::string entry);

  TempDir dir_;
  std::string path_;
  int fd_ = -1, stop_ = -1;
  std::thread reader_;
  mutable std::mutex m_;
  std::condition_variable cv_;
  std::vector<std::string> log_;
};

}  // namespace testsupport
