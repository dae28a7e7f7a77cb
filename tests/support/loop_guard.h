// An end for window loops that a test's script drives. A script step that
// stops at an ASSERT returns before it closes its window; the loop would
// then wait, or tick, for ever. Once the test has failed fatally, or the
// loops have come back to the script `limit` times, the guard closes down
// every window of the thread (with a failure naming the limit when it was
// the limit); windows that still wait a while after that are closed outright.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "platform/window.h"

namespace testsupport {

class LoopGuard {
 public:
  LoopGuard(int limit, std::string what) : limit_(limit), what_(std::move(what)) {}

  // Call each time the loops come back to the script (counted) or at any
  // other point (not counted). True once the guard is ending the loops: the
  // script then does nothing more.
  bool Ends(bool counted = true) {
    namespace pu = platform::ui;
    if (counted) ++turns_;
    const bool fatal = ::testing::Test::HasFatalFailure();
    if (!ending_ && !fatal && turns_ <= limit_) return false;
    if (!ending_) {
      ending_ = true;
      if (!fatal) ADD_FAILURE() << what_ << ": still open after " << limit_ << " turns of the script, which never closed it";
      for (pu::Window* w : pu::ThreadWindows()) w->Post(pu::EVENT::CloseDown);
      return true;
    }
    if (counted && ++after_ > kGrace) {
      const auto windows = pu::ThreadWindows();
      if (!windows.empty()) windows.back()->Close();
    }
    return true;
  }
  bool Ending() const { return ending_; }

 private:
  static constexpr int kGrace = 100;
  int limit_;
  std::string what_;
  int turns_ = 0, after_ = 0;
  bool ending_ = false;
};

}  // namespace testsupport
