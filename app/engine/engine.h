// The engine as the window hosting it owns it: its state and the operations
// over that state, in one object.
//
//   engine::Engine engine{{.view = this, .errorBox = ui::aMessage, .endProgram = platform::Halt}};
//   engine::InstallLiveStateMachine(engine);
//   engine.portState.COM_PORT = settings.PORT;
//   if (engine.protocol.ConnectPort() == 1) engine.protocol.SilenceOutputs();
//   ... on every timer event: engine.scheduler.HandleTimerTick();
//
// The window (today the engine's host, later the main window) makes one
// Engine and keeps it for its life; what it opens (the playback and output
// dialogs, the announcement window, the live-announcement state machine) is
// given references to the parts it reads and writes: schedulerState for the
// operator's outputs, file, length and the playback flags, portState for
// the port and the amplifier delay, console for the main window's console
// state, protocol for the device traffic. The window installs the
// live-announcement state machine (InstallLiveStateMachine, app/engine/live.h)
// in the tick; its latches are live. Tests make a fresh Engine for
// each case, with a recording port (PortOps) and a recording view.
//
// Everything belongs to the thread that runs the window; nothing is locked.
#pragma once

#include "app/engine/engine_view.h"
#include "app/engine/live.h"
#include "app/engine/protocol.h"
#include "app/engine/scheduler.h"

namespace app::engine {

class Engine {
 public:
  explicit Engine(EngineHooks engineHooks = {}, PortOps ops = LibraryPort())
      : hooks(std::move(engineHooks)),
        protocol(portState, hooks, std::move(ops)),
        scheduler(schedulerState, portState, console, protocol, hooks) {}
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  EngineHooks hooks;               // where the engine writes, its box and the program's end
  PortState portState;             // PortHandle, COM_PORT, RelayCommand, GLO_AMP_DELAY ...
  ConsoleState console;            // the hosting window's INTLACITKA and console buffers
  SchedulerState schedulerState;   // PlaybackRunning, GLO_TIMEOUT, GLO_HLASENI, OutputSelected ...
  LiveState live;                  // the live-announcement latches HIST0 .. HIST3, LAST_HIST ...
  Protocol protocol;               // the relay board and the console
  Scheduler scheduler;             // the tick, the scan and playback
};

}  // namespace app::engine
