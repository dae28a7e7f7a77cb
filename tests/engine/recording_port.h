// A serial port for engine tests: records every write with the baud rate the
// port was set to and the (fake) clock's time, answers reads from a script,
// and can lose its device (writes and baud changes fail as on a hung-up
// line, opens fail) until it comes back.
#pragma once

#include <algorithm>
#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/engine/protocol.h"
#include "platform/clock.h"

namespace testsupport {

struct PortWrite {
  std::string text;
  int baud = 0;
  std::chrono::nanoseconds at{0};
};

class RecordingPort {
 public:
  bool present = true;  // false: opens fail
  // The device is gone: opens fail, writes write nothing, baud changes give
  // 0, lost() says so. goneBeforeWrite makes it vanish just before that
  // text is written (the write that notices it fails).
  bool gone = false;
  std::string goneBeforeWrite;
  bool baudChangesWork = false;  // while gone: only the writes fail
  int baud = 0;
  std::vector<PortWrite> writes;
  std::vector<std::string> opens;
  std::deque<std::string> replies;  // one per read; "" when none is left
  int reads = 0;
  int closes = 0;
  // Told of every text written, after it was recorded.
  std::function<void(const std::string&)> onWrite;

  app::engine::PortOps Ops() {
    app::engine::PortOps o;
    o.open = [this](const std::string& mode) {
      opens.push_back(mode);
      if (!present || gone) return -1;
      baud = 9600;
      return 3;
    };
    o.reset = [this](const std::string& mode) {
      if (gone && !baudChangesWork) return 0;
      const auto colon = mode.find(':');
      if (colon != std::string::npos) baud = std::stoi(mode.substr(colon + 1));
      return 1;
    };
    o.read = [this](int32_t, std::string& buf) {
      ++reads;
      if (replies.empty()) return 0;
      const std::string r = replies.front();
      replies.pop_front();
      const size_t n = std::min(r.size(), buf.size());
      buf.replace(0, n, r.substr(0, n));
      return static_cast<int32_t>(n);
    };
    o.write = [this](int32_t handle, const std::string& text) {
      if (handle < 0) return 0;  // as the library: no port, nothing sent
      std::string t = text;
      while (!t.empty() && t.back() == ' ') t.pop_back();
      if (!goneBeforeWrite.empty() && t == goneBeforeWrite) {
        gone = true;
        goneBeforeWrite.clear();
      }
      if (gone) return 0;
      writes.push_back({t, baud, platform::GetClock().Now().time_since_epoch()});
      if (onWrite) onWrite(t);
      return static_cast<int32_t>(t.size());
    };
    o.close = [this](int32_t) { ++closes; };
    o.killAll = [] {};
    o.drain = [](int32_t, int32_t) { return 0; };
    o.lost = [this](int32_t) { return gone; };
    return o;
  }

  std::vector<std::string> Texts() const {
    std::vector<std::string> t;
    for (const auto& w : writes) t.push_back(w.text);
    return t;
  }
  size_t Count(const std::string& text) const {
    size_t n = 0;
    for (const auto& w : writes) n += w.text == text;
    return n;
  }
};

// The writes of "s0\r" .. "s39\r" (or "r...").
inline std::vector<std::string> AllRelays(char letter) {
  std::vector<std::string> v;
  for (int k = 0; k < 40; ++k) v.push_back(std::string(1, letter) + std::to_string(k) + "\r");
  return v;
}

}  // namespace testsupport
