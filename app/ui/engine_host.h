// The engine's host until the main window is built: a window with the
// controls the engine writes and the 25-hundredths timer that drives it.
//
// At opening it makes sure the settings record exists (port "COM1"), loads
// the port name and the amplifier delay, connects the port and, once
// connected, sets every output relay. Every timer event is a
// HandleTimerTick. The task list's refresh rereads Tasks.tps through the
// thread's own file instance.
#pragma once

#include <string_view>

#include "app/engine/engine_view.h"
#include "platform/window.h"

namespace app::ui {

inline constexpr int kEngineTimer = 25;  // hundredths
inline constexpr int kSettingsErrorExit = 5;

class EngineHost : public platform::ui::WindowController, public engine::EngineView {
 public:
  EngineHost();
  ~EngineHost() override;

  int SetUp() override;
  int TearDown() override;
  int OnWindowEvent() override;

  // EngineView
  void SetText(std::string_view label, std::string_view text) override;
  void SetHidden(std::string_view label, bool hidden) override;
  void SetEnabled(std::string_view label, bool enabled) override;
  void SetFontColor(std::string_view label, int32_t color) override;
  void RefreshTaskList() override;

  platform::ui::Window& Win() { return window_; }
  int TaskListRows() const { return taskListRows_; }

 private:
  // Creates the settings record when there is none, then loads it.
  void LoadSettings();

  platform::ui::Window window_;
  int taskListRows_ = 0;
  bool filesOpen_ = false;
};

// The host's window procedure name.
inline constexpr const char* kEngineHostProcedure = "Main";

}  // namespace app::ui
