// The relay board and the microphone console on one serial port.
//
// The port rests at 9600 baud; every console exchange switches it to 19200
// baud and back. Command texts and lamp codes: app/engine/commands.h.
//
// State. PortState holds the port's values (PortHandle, COM_PORT,
// RelayCommand, ConsoleCommandCode, GLO_AMP_DELAY ...); a ConsoleState holds
// one window's view of the console (INTLACITKA and its buffers: the main
// window has one, the announcement window its own). Both are plain structs
// owned by the window hosting the engine (see app/engine/engine.h); a
// Protocol works on the PortState it was made with and on the ConsoleState
// each console call is given.
//
// Calls. Every call runs synchronously on the thread that owns the state
// (the hosting window's) and blocks it for the sleeps (ds_Sleep, the
// platform clock) and drains (ds_EmptyPort, 50 hundredths at most) it
// states. No call tests PortHandle first: with no port open the serial calls
// fail and the sleeps are still taken; their results go to LastWriteResult
// and LastReadCount or are dropped, and neither device's answer to a command
// is examined.
//
// A lost device. When a write or a baud change fails because the device is
// gone (the port layer's lost() says so: an I/O error, no such device, a
// hung-up line), the port is closed, PortHandle := -1, PortLost := 1 and one
// line goes to the debug log and the program's output (EngineHooks::report);
// the rest of the call goes on as with no port.
// Callers see the loss as PortHandle < 0.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "app/engine/engine_view.h"
#include "platform/stdtime.h"

namespace app::engine {

// The serial calls the protocol makes; the library's (LibraryPort) unless a
// test gives its own. Results as the library's calls give them.
struct PortOps {
  std::function<int32_t(const std::string& mode)> open;               // NewPort, plain, default queues
  std::function<int32_t(const std::string& mode)> reset;              // ResetPort: 1 applied, 0 not
  std::function<int32_t(int32_t handle, std::string& buffer)> read;   // ReadPort, up to the buffer's size
  std::function<int32_t(int32_t handle, const std::string& text)> write;  // WritePort, count 0
  std::function<void(int32_t handle)> close;                          // ClosePort
  std::function<void()> killAll;                                      // KillAllPorts
  std::function<int32_t(int32_t handle, int32_t timeout)> drain;      // ds_EmptyPort
  // Asked at once after a write that wrote less than its text, or a reset
  // that gave 0, on an open handle: true when the device behind the handle
  // is gone (the write failed with EIO, ENXIO or ENODEV, or the line is hung
  // up), false for any other failure (a time-out, a device that stopped
  // reading).
  std::function<bool(int32_t handle)> lost;
};
// The serial library's calls.
PortOps LibraryPort();

// The port's state (all -1, 0 or blank at start).
struct PortState {
  int32_t PortHandle = -1;          // NewPort's handle; negative: not connected
  std::string COM_PORT;             // "COM1" .. "COM8"; blank connects to COM1
  // The name the open port was opened as: the baud changes name it while
  // COM_PORT already holds the port of the next connection ("" none).
  std::string OpenPortName;
  std::string RelayCommand;         // the relay command WriteRelayCommand sends
  int32_t ConsoleCommandCode = 0;   // the command SendConsoleCommand sends; 0 after each send
  int32_t LastWriteResult = 0;      // the last write's result; kept, never read
  int32_t LastReadCount = 0;        // the last console read's count; kept, never read
  platform::StdTime GLO_AMP_DELAY = 0;  // amplifier delay, a time of day read as a duration
  platform::StdTime AmpWaitStart = 0;   // time of day MainRelayOn sent "s64\r"
  // 1 from a loss of the device until a connection succeeds.
  uint8_t PortLost = 0;
};

// A window's console state (all 0 or blank at start).
struct ConsoleState {
  uint8_t INTLACITKA = 0;          // 0..3 (a digit 4..9 is kept as read)
  uint8_t PollTickCount = 0;       // 0..3: PollConsole reads on every 4th call
  std::string ConsoleReply;        // the last console read, 128 characters
  std::string ConsoleCommandText;  // the console command being sent
  std::string PortModeText;        // the mode string of the last baud change
};

class Protocol {
 public:
  // port and hooks must outlive the protocol.
  Protocol(PortState& port, const EngineHooks& hooks, PortOps ops = LibraryPort());
  Protocol(const Protocol&) = delete;
  Protocol& operator=(const Protocol&) = delete;

  // ---- Connection ----

  // Call with no port open: at the window's opening, after DisconnectPort
  // (the operator's reconnection) or while the port is lost; an open port
  // is not closed first, and its entry then refuses the new one.
  // PortHandle := -1; a blank COM_PORT becomes "COM1"; opens COM_PORT at
  // 9600 baud; greets the relay board ("q\r", 20 hundredths, drain).
  // Result: 1 when the port is open (PortLost := 0); 0 when it cannot be
  // opened, or the device was lost at the greeting: the error box
  // "Chyba připojení" has then been shown and PortHandle is negative.
  [[nodiscard]] uint8_t ConnectPort();
  // The same steps without a box, then every zone silenced (SilenceOutputs),
  // as the program does at start; the timer tick calls it once per scan
  // interval while the port is not connected (lost, or never connected).
  // Result: 1 when the port is open and the zones were silenced without a
  // loss (one line in the debug log and the program's output says so); 0
  // otherwise, with PortHandle negative and PortLost unchanged.
  [[nodiscard]] uint8_t ReconnectQuietly();
  // ?DEBUG_TEXT "Odpojuji komunikaci...", ClosePort(PortHandle),
  // KillAllPorts, PortHandle := -1: traffic before the next connection
  // fails as with no port and never reaches a descriptor reused since.
  void DisconnectPort();

  // ---- Relay board ----

  // Writes RelayCommand (its result to LastWriteResult), sleeps 5 hundredths.
  void WriteRelayCommand();
  // A relay exchange: RelayCommand := command, WriteRelayCommand, then
  // ds_EmptyPort(PortHandle, 50).
  void RelayExchange(std::string_view command);
  // ?DEBUG_TEXT "Vypinam vsechny vystupy...", then "s0\r" .. "s39\r".
  void SetAllOutputs();
  // "s0\r" .. "s39\r" without a step text (after a connection).
  void SilenceOutputs();
  // ?DEBUG_TEXT "Vypinam vsechny vystupy...", then "r0\r" .. "r39\r".
  void ResetAllOutputs();
  // ?DEBUG_TEXT "Vypinam hlavni rele...", then "r64\r".
  void MainRelayOff();
  // ?DEBUG_TEXT "Zapinam hlavni rele...", "s64\r", AmpWaitStart := now, then
  // waits GLO_AMP_DELAY plus one hundredth on the monotonic clock (a wait
  // begun before midnight ends like any other), handling no events.
  void MainRelayOn();

  // ---- Console (each call on the console state it is given) ----

  // Sends the command ConsoleCommandCode selects at 19200 baud (5, write,
  // 10, drain), ConsoleCommandCode := 0, back to 9600 baud (5). 20
  // hundredths of sleeps.
  void SendConsoleCommand(ConsoleState& console);
  // A lamp command: ConsoleCommandCode := code, SendConsoleCommand.
  void LampCommand(int32_t code, ConsoleState& console);
  // Sends the status query at 19200 baud, sleeps 5, back to 9600 baud. The
  // answer waits in the receive buffer.
  void QueryConsole(ConsoleState& console);
  // Every 4th call (PollTickCount): ReadConsoleState; the other calls only
  // count.
  void PollConsole(ConsoleState& console);
  // At 19200 baud reads what the receive buffer holds (up to 128
  // characters, count to LastReadCount) into ConsoleReply; INTLACITKA := the
  // digit at character 21 (0 for anything else or a shorter text); back to
  // 9600 baud. No sleep, no drain. The announcement window reads this way
  // on every call.
  void ReadConsoleState(ConsoleState& console);

  // COM_PORT without trailing blanks, as mode strings use it.
  [[nodiscard]] std::string PortName() const;

 private:
  uint8_t Connect(bool showBox);
  int32_t Write(const std::string& text);
  void SwitchBaud(ConsoleState& console, const char* baud);
  void Drain();
  void LoseDevice();
  // A line to the debug log (with its stamp) and to the program's output.
  void Report(const std::string& line);
  void DebugText(std::string_view text);

  PortState& port_;
  const EngineHooks& hooks_;
  PortOps ops_;
};

}  // namespace app::engine
