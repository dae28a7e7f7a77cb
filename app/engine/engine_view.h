// The controls the engine writes, by label, on the window that runs it (the
// main window, or the engine's host), and the task list's refresh.
#pragma once

#include <cstdint>
#include <string_view>

namespace app::engine {

class EngineView {
 public:
  virtual ~EngineView() = default;
  virtual void SetText(std::string_view label, std::string_view text) = 0;
  virtual void SetHidden(std::string_view label, bool hidden) = 0;
  virtual void SetEnabled(std::string_view label, bool enabled) = 0;
  // 00BBGGRRh; -1 the control's normal colour.
  virtual void SetFontColor(std::string_view label, int32_t color) = 0;
  virtual void RefreshTaskList() = 0;
};

// The view in use (not owned); nullptr: the engine writes nowhere.
void SetEngineView(EngineView* view);
EngineView* GetEngineView();

}  // namespace app::engine
