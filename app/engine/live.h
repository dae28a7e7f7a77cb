// The live-announcement state machine: the console's switches put the
// installation on air and take it off again.
//
// It follows the hosting window's console state (INTLACITKA, read by the
// tick's PollConsole) once per timer tick and acts on entering a state:
//   0  from none or 3: "s0\r".."s39\r", "r64\r", lamps 510, 500; from 1:
//      lamps 510, 500; from 2: lamp 510. GLO_HLASENI := 0.
//   1  lamps 510, 500, and from 3 also "s0\r".."s39\r", "r64\r"; then on
//      every call the MIC backlight blinks (511 and 510 by turns).
//   2  lamp 511.
//   3  "r0\r".."r39\r", "s64\r" (no amplifier delay), lamps 511, 501.
//   1, 2, 3 set GLO_HLASENI := 1, which holds the task scan back.
//   4..9: nothing.
// Later calls in the same state only note it in LAST_HIST (and blink in
// state 1). Relay commands are relay exchanges, lamps lamp commands on the
// hosting window's console state (app/engine/protocol.h).
//
// State. LiveState holds the latches; it is part of the hosting window's
// engine (Engine::live), so the window can show them. Everything runs on
// the thread that owns the engine, inside its timer tick.
#pragma once

#include <cstdint>

namespace app::engine {

class Engine;
class Protocol;
struct ConsoleState;
struct SchedulerState;

// The machine's latches (all 0 at start).
struct LiveState {
  uint8_t HIST0 = 0;          // 1 when state 0 has been handled since the last other state
  uint8_t HIST1 = 0;          // 1 when state 1 has been entered
  uint8_t HIST2 = 0;          // 1 when state 2 has been entered
  uint8_t HIST3 = 0;          // 1 when state 3 has been entered
  uint8_t LAST_HIST = 0;      // the state held on the previous call (1..3); 0 after leaving 1 or 2 for 0
  uint8_t MicBlinkPhase = 0;  // 0 or 1: the MIC backlight's next blink is 511 (0) or 510 (1); never reset
};

// One call of the machine for console.INTLACITKA: updates the latches and
// scheduler.GLO_HLASENI and sends what the state's entry asks for, the lamp
// commands on console.
void LiveStateMachine(LiveState& live, SchedulerState& scheduler, ConsoleState& console, Protocol& protocol);

// Puts the machine into the engine's tick hook (Scheduler::LiveStateMachine)
// over engine.live, engine.schedulerState, engine.console and
// engine.protocol. The hosting window calls it once, before its first tick.
void InstallLiveStateMachine(Engine& engine);

}  // namespace app::engine
