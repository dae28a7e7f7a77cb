// What the window hosting the engine gives it: the controls the engine
// writes (by label), the task list's refresh, the application's error box,
// the program's end, whether it is closing down and its output. The engine
// knows no window; the host implements EngineView and fills EngineHooks.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace app::engine {

// Controls the engine writes: ?DEBUG_TEXT, ?INFO_TEXT, ?IMAGE1, ?SYS_TIME,
// ?KOMUNIKACE, ?BUTTON_PREHRAJ, ?BUTTON_ZAPNI. Called on the engine's
// thread, inside the engine's calls; a label the window lacks is ignored.
class EngineView {
 public:
  virtual ~EngineView() = default;
  virtual void SetText(std::string_view label, std::string_view text) = 0;
  virtual void SetHidden(std::string_view label, bool hidden) = 0;
  virtual void SetEnabled(std::string_view label, bool enabled) = 0;
  // 00BBGGRRh; -1 the control's normal colour.
  virtual void SetFontColor(std::string_view label, int32_t color) = 0;
  // The task list rereads Tasks.tps (after a run or a manual playback).
  virtual void RefreshTaskList() = 0;
};

// The application's error box: icon file ("stop.ico"), title, text.
using ErrorBox = std::function<void(std::string_view icon, std::string_view title, std::string_view text)>;
// Ends the program with an exit status. The program's end never returns;
// when a test's does, the engine's call that asked for it stops there.
using EndProgram = std::function<void(int exitStatus)>;

// True once the program is closing down (the end of the session, a service
// stop): asked on the engine's thread.
using CloseDownPending = std::function<bool()>;
// A line for the program's own output (the journal of a service): the
// connection's changes.
using Report = std::function<void(std::string_view line)>;

struct EngineHooks {
  EngineView* view = nullptr;  // not owned; nullptr: the engine writes nowhere
  ErrorBox errorBox;           // empty: the platform's plain box
  EndProgram endProgram;       // empty: platform::Halt
  CloseDownPending closingDown;  // empty: never
  Report report;               // empty: the debug log alone
};

}  // namespace app::engine
