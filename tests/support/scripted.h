// A window run through its loop by a script: each step runs once the events
// of the steps before it have all been handled; the handlers log what they
// see ("<event number> <control label> [<key>]").
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/window.h"

namespace testsupport {

inline constexpr int kScriptStep = platform::ui::EVENT::User + 77;

struct Scripted : platform::ui::WindowController {
  explicit Scripted(platform::ui::Window& w) : WindowController(w) {}
  std::vector<std::function<void()>> steps;
  std::vector<std::string> log;
  std::function<void()> onAccepted;
  // Called first for every other event; nonzero consumes it.
  std::function<int()> first;
  // Called before each step (a view lets its widgets catch up).
  std::function<void()> settle;
  std::size_t next = 0;

  int OnAnyEvent() override {
    namespace pu = platform::ui;
    pu::Window& w = window();
    const pu::Event& e = w.CurrentEvent();
    if (e.number == kScriptStep) {
      if (settle) settle();
      if (::testing::Test::HasFatalFailure()) {
        w.Post(pu::EVENT::CloseWindow);  // a step stopped at an ASSERT: the rest cannot follow
      } else if (pu::ThisThreadQueue().Size() > 0) {
        w.Post(kScriptStep);  // events still waiting: after them
      } else if (next < steps.size()) {
        steps[next++]();
        w.Post(kScriptStep);
      } else {
        w.Post(pu::EVENT::CloseWindow);
      }
      return pu::kConsumed;
    }
    if (e.number == pu::EVENT::OpenWindow) w.Post(kScriptStep);
    const std::string label = e.control > 0 && w.At(e.control) ? w.At(e.control)->Label() : "";
    if (e.number != pu::EVENT::Selected && e.number != pu::EVENT::OpenWindow)
      log.push_back(Ev(e.number, label, e.key));
    if (first && first() != 0) return pu::kConsumed;
    return WindowController::OnAnyEvent();
  }
  int OnControlAccepted() override {
    if (onAccepted) onAccepted();
    return WindowController::OnControlAccepted();
  }
  std::vector<std::string> TakeLog() { return std::exchange(log, {}); }

  static std::string Ev(int number, const std::string& label, int key = 0) {
    return std::to_string(number) + " " + label + (key ? " " + std::to_string(key) : "");
  }
};

}  // namespace testsupport
