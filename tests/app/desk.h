// The operator at the main window's desk, through the window model: a
// script of steps, each shown the window on top whenever the windows wait;
// the boxes (the application's and the platform's plain one) and the beeps
// are noted and answered. Time runs on (a fake clock, to the next timer
// event of the window on top) only when a step says so, so every run is a
// fixed sequence of events.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/msgbox.h"
#include "platform/view.h"
#include "platform/window.h"
#include "tests/support/fake_clock.h"
#include "tests/support/loop_guard.h"

namespace testsupport {

namespace pu = platform::ui;

struct Seen {
  std::string kind;  // "beep", "box" (the plain box), "aMessage", "cMessage"
  std::string title, text;
  bool operator==(const Seen&) const = default;
};
inline std::ostream& operator<<(std::ostream& o, const Seen& s) {
  return o << s.kind << " \"" << s.title << "\": " << s.text;
}

// What a step did: acted (the next step comes at the next wait), let time
// run to the next timer event (the same step again), or nothing (the next
// step at once).
// NotYet: another window is on top (one closing, or a box): the step
// waits for its window, a while.
enum class Act { Acted, Wait, Skip, NotYet };
using Step = std::function<Act(pu::Window& top)>;

class Desk final : public pu::HeadlessView {
 public:
  explicit Desk(FakeClock& clock) : clock_(clock) {
    pu::SetThreadView(this);
    platform::SetBoxView([this](std::string_view text, std::string_view caption, platform::BoxIcon, unsigned,
                                unsigned) {
      seen.push_back({"box", std::string(caption), std::string(text)});
      return unsigned{platform::BoxOk};
    });
    platform::SetBeepView([this](platform::BoxIcon) { seen.push_back({"beep", {}, {}}); });
  }
  ~Desk() override {
    platform::SetBeepView(nullptr);
    platform::SetBoxView(nullptr);
    pu::SetThreadView(nullptr);
  }
  Desk(const Desk&) = delete;
  Desk& operator=(const Desk&) = delete;

  // A new script, from its first step.
  void Play(std::vector<Step> script) {
    steps_ = std::move(script);
    next_ = 0;
    guard_ = {100000, "the windows"};
  }
  std::vector<Seen> seen;
  // Answers to cMessage: "?BUTTON1" (the second, confirming pair),
  // "?BUTTON2" (the first), "close" (its close box).
  std::vector<std::string> answers;
  // Sees each aMessage and cMessage before it is answered.
  std::function<void(pu::Window&)> onBox;
  // When the script is over, the window on top is closed down (the main
  // window: its close-down switches the installation off).

  bool Interactive() const override { return true; }
  void Pump(pu::EventQueue& q, uint64_t seenGen, std::optional<pu::TimePoint> deadline) override {
    // A look at the view between queued events: the script waits until
    // the loop has nothing left to do.
    if (deadline && *deadline <= clock_.Now() && q.Size() > 0) return;
    if (guard_.Ends()) return;
    pu::Window& w = *pu::ThreadWindows().back();
    if (w.Find("?UZIVATELSKY_TEXT") != nullptr) return Answer(w);
    while (next_ < steps_.size()) {
      const Act act = steps_[next_](w);
      if (act != Act::NotYet) misses_ = 0;
      switch (act) {
        case Act::NotYet:
          if (++misses_ > kMisses) {
            ADD_FAILURE() << "step " << next_ << " never found its window; on top: " << w.ProcedureName();
            ++next_;
          }
          return;
        case Act::Acted:
          ++next_;
          return;
        case Act::Wait:
          if (!deadline) {
            ADD_FAILURE() << w.ProcedureName() << " has no timer to wait for";
            ++next_;
            return;
          }
          if (*deadline > clock_.Now()) clock_.Advance(*deadline - clock_.Now());
          (void)seenGen;
          return;
        case Act::Skip:
          ++next_;
          continue;
      }
    }
    if (w.ProcedureName() != "Main") ADD_FAILURE() << w.ProcedureName() << " still open after the script";
    w.Post(pu::EVENT::CloseDown);
  }

  bool Done() const { return next_ >= steps_.size(); }

 private:
  void Answer(pu::Window& w) {
    if (onBox) onBox(w);
    const bool question = w.Find("?BUTTON_OK") == nullptr;
    seen.push_back({question ? "cMessage" : "aMessage", w.Text(), w["?UZIVATELSKY_TEXT"].Text()});
    if (!question) return w.Press("?BUTTON_OK");
    std::string a = "?BUTTON2";
    if (!answers.empty()) {
      a = answers.front();
      answers.erase(answers.begin());
    }
    if (a == "close") return w.CloseBox();
    w.Press(a);
  }

  static constexpr int kMisses = 1000;
  FakeClock& clock_;
  LoopGuard guard_{100000, "the windows"};
  int misses_ = 0;
  std::vector<Step> steps_;
  std::size_t next_ = 0;
};

// Steps. Each waits until its window is on top.
inline Step Do(std::string procedure, std::function<void(pu::Window&)> f) {
  return [procedure = std::move(procedure), f = std::move(f)](pu::Window& w) {
    if (w.ProcedureName() != procedure) return Act::NotYet;
    f(w);
    return Act::Skip;
  };
}
// f acts on the window: the next step comes once its events are handled.
inline Step Then(std::string procedure, std::function<void(pu::Window&)> f) {
  return [procedure = std::move(procedure), f = std::move(f)](pu::Window& w) {
    if (w.ProcedureName() != procedure) return Act::NotYet;
    f(w);
    return Act::Acted;
  };
}
inline Step Press(std::string procedure, std::string label) {
  return [procedure = std::move(procedure), label = std::move(label)](pu::Window& w) {
    if (w.ProcedureName() != procedure) return Act::NotYet;
    w.Press(label);
    return Act::Acted;
  };
}
// n timer events of the window.
inline Step Ticks(std::string procedure, int n) {
  auto left = std::make_shared<int>(n);
  return [procedure = std::move(procedure), left](pu::Window& w) {
    if (w.ProcedureName() != procedure) return Act::NotYet;
    if (*left == 0) return Act::Skip;
    --*left;
    return Act::Wait;
  };
}
// Time runs while the window is on top and `more` holds, at most `limit`
// timer events; `count` (when given) gets their number.
inline Step While(std::string procedure, std::function<bool()> more, int limit, int* count = nullptr) {
  auto n = std::make_shared<int>(0);
  return [=](pu::Window& w) {
    if (w.ProcedureName() != procedure || !more()) {
      if (count != nullptr) *count = *n;
      return Act::Skip;
    }
    if (++*n > limit) {
      ADD_FAILURE() << procedure << " still waits after " << limit << " timer events";
      if (count != nullptr) *count = *n;
      return Act::Skip;
    }
    return Act::Wait;
  };
}

}  // namespace testsupport
