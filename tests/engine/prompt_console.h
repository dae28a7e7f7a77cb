// The simulated devices on a pseudo-terminal as a prompt console: every
// answer is in the port before the program's next baud change, drain or
// read. The serial library's calls (LibraryPort), each baud change, drain
// and read first awaiting that the device has taken every byte written and
// that its answers to the status queries have reached the port. With a
// FakeClock the protocol's sleeps then take no time and nothing depends on
// how fast the device's thread runs: a command is recorded at the rate it
// was written at, and a drain or read finds exactly the answers that the
// device gave since the port was last emptied.
//
// Traffic is written "text@baud" ("s0\r@9600", "(0504101011)@19200").
#pragma once

#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "app/engine/protocol.h"
#include "platform/text.h"
#include "tools/devsim.h"

namespace testsupport {

using Traffic = std::vector<std::string>;

// Relay board commands (9600 baud).
inline std::string Relay(const std::string& text) { return text + "@9600"; }
inline Traffic Zones(char letter) {
  Traffic t;
  for (int k = 0; k < 40; ++k) t.push_back(Relay(std::string(1, letter) + std::to_string(k) + "\r"));
  return t;
}
// Console commands (19200 baud).
inline const std::string kOnAirOff = "(0504100010)@19200";
inline const std::string kOnAirOn = "(0504100111)@19200";
inline const std::string kMicOff = "(0504101011)@19200";
inline const std::string kMicOn = "(0504101112)@19200";
inline const std::string kLineOff = "(0504102012)@19200";
inline const std::string kQuery = std::string(devsim::kStatusQuery) + "@19200";

inline Traffic Join(std::initializer_list<Traffic> parts) {
  Traffic all;
  for (const Traffic& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

class PromptConsole {
 public:
  static constexpr size_t kReplyChars = 24;  // one status reply
  static constexpr auto kWait = std::chrono::seconds(5);

  explicit PromptConsole(devsim::DeviceSimulator& sim) : sim_(sim) {}
  PromptConsole(const PromptConsole&) = delete;
  PromptConsole& operator=(const PromptConsole&) = delete;

  app::engine::PortOps Ops() {
    app::engine::PortOps o = app::engine::LibraryPort();
    o.open = [this, open = o.open](const std::string& mode) {
      handle_ = open(mode);
      return handle_;
    };
    o.write = [this, write = o.write](int32_t h, const std::string& text) {
      const int32_t n = write(h, text);
      if (n > 0) written_ += static_cast<size_t>(n);
      if (platform::text::TrimRight(text) == devsim::kStatusQuery && n == 12) ++queries_;
      return n;
    };
    o.reset = [this, reset = o.reset](const std::string& mode) {
      Settle();
      return reset(mode);
    };
    o.drain = [this, drain = o.drain](int32_t h, int32_t timeout) {
      Settle();
      const int32_t r = drain(h, timeout);
      EXPECT_EQ(Queued(), 0u) << "the drain left answers in the port";
      consumed_ = kReplyChars * queries_;
      return r;
    };
    o.read = [this, read = o.read](int32_t h, std::string& buffer) {
      Settle();
      ++reads_;
      const int32_t n = read(h, buffer);
      if (n > 0) consumed_ += static_cast<size_t>(n);
      return n;
    };
    return o;
  }

  // Awaits that the device has taken everything written and that its
  // answers are in the port.
  void Settle() {
    ASSERT_TRUE(sim_.WaitForBytes(written_, kWait)) << "the device did not take what was written";
    if (handle_ < 0) return;
    const size_t owed = kReplyChars * queries_ - consumed_;
    const auto deadline = std::chrono::steady_clock::now() + kWait;
    while (Queued() < owed) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the answers did not reach the port";
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  // What the device has taken since the last call, as "text@baud".
  Traffic Taken() {
    Settle();
    const auto all = sim_.Commands();
    Traffic t;
    for (size_t i = seen_; i < all.size(); ++i) t.push_back(all[i].text + "@" + std::to_string(all[i].baud));
    seen_ = all.size();
    return t;
  }

  // The console reads made so far.
  int Reads() const { return reads_; }

 private:
  size_t Queued() const {
    int n = 0;
    return handle_ >= 0 && ::ioctl(handle_, FIONREAD, &n) == 0 ? static_cast<size_t>(n) : 0;
  }

  devsim::DeviceSimulator& sim_;
  int32_t handle_ = -1;
  size_t written_ = 0;   // bytes the program wrote
  size_t queries_ = 0;   // status queries among them
  size_t consumed_ = 0;  // answer bytes the program drained or read
  size_t seen_ = 0;      // commands Taken has given
  int reads_ = 0;
};

// The traffic without the status queries, and their number.
inline Traffic WithoutQueries(const Traffic& t, int* queries) {
  Traffic rest;
  *queries = 0;
  for (const std::string& c : t) {
    if (c == kQuery) ++*queries;
    else rest.push_back(c);
  }
  return rest;
}

}  // namespace testsupport
