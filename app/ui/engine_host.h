// The engine's host until the main window is built: a window with the
// controls the engine writes and the 25-hundredths timer that drives it.
//
// The host owns the engine (engine::Engine: its state and operations) for
// the window's life; Engine() hands it to what the window opens. At opening
// it makes sure the settings record exists (port "COM1"), loads the port
// name and the amplifier delay, connects the port and, once connected,
// silences every zone. Every timer event is a HandleTimerTick, with the
// live-announcement state machine installed in it. The host has no task
// list: a refresh is only counted.
#pragma once

#include <string_view>

#include "app/engine/engine.h"
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
  engine::Engine& Engine() { return engine_; }
  int TaskListRefreshes() const { return taskListRefreshes_; }

 private:
  // Creates the settings record when there is none, then loads it.
  void LoadSettings();

  platform::ui::Window window_;
  engine::Engine engine_;
  int taskListRefreshes_ = 0;
  bool filesOpen_ = false;
};

// The host's window procedure name.
inline constexpr const char* kEngineHostProcedure = "Main";

}  // namespace app::ui
