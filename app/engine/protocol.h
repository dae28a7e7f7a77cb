// The relay board and the microphone console on one serial port.
//
// The port rests at 9600 baud; every console exchange switches it to 19200
// baud and back. Every operation runs synchronously on the calling thread
// and takes the sleeps and drains it states; write, read and baud-change
// results are stored or dropped, never reported.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/stdtime.h"

namespace app::engine {

// The serial calls the protocol makes; the library's unless a test
// installs a recording port. Results as the library's calls give them.
struct PortOps {
  std::function<int32_t(const std::string& mode)> open;  // NewPort, plain, default queues
  std::function<int32_t(const std::string& mode)> reset;  // ResetPort
  std::function<int32_t(int32_t handle, std::string& buffer)> read;  // ReadPort, up to the buffer's size
  std::function<int32_t(int32_t handle, const std::string& text)> write;  // WritePort, count 0
  std::function<void(int32_t handle)> close;  // ClosePort
  std::function<void()> killAll;              // KillAllPorts
  std::function<int32_t(int32_t handle, int32_t timeout)> drain;  // ds_EmptyPort
};
// The library's calls.
PortOps LibraryPort();
// Installs a port (the library's when called with LibraryPort()).
void SetPortOps(PortOps ops);

// Port state.
extern int32_t PortHandle;          // -1: not connected
extern std::string COM_PORT;        // "COM1" .. "COM8"; "" connects to COM1
extern std::string RelayCommand;    // the relay command to send next
extern int32_t ConsoleCommandCode;  // the console command to send next; 0 after each send
extern int32_t LastWriteResult;
extern int32_t LastReadCount;
extern platform::StdTime GLO_AMP_DELAY;  // amplifier delay, a time of day read as a duration

// A window's console state: the main window's, or the announcement window's
// own copy.
struct ConsoleState {
  uint8_t INTLACITKA = 0;       // 0..3 (a digit 4..9 is kept as read)
  uint8_t PollTickCount = 0;    // 0..3
  std::string ConsoleReply;     // the last console read
  std::string ConsoleCommandText;
  std::string PortModeText;
};
// The main window's console state.
ConsoleState& MainConsole();

inline constexpr const char* kStatusQuery = "(0500100006)";
// The command text of a console command code (the status query for any
// code not in the table).
const char* ConsoleCommandFor(int32_t code);

// Opens the port (COM_PORT, "COM1" when blank) at 9600 baud and greets the
// relay board; 1 when open, 0 after the failure box.
uint8_t ConnectPort();
void DisconnectPort();

// Sends RelayCommand and sleeps 5 hundredths.
void WriteRelayCommand();
// RelayCommand := command, WriteRelayCommand, ds_EmptyPort(PortHandle, 50).
void RelayExchange(const std::string& command);
void SetAllOutputs();    // s0 .. s39
void ResetAllOutputs();  // r0 .. r39
void MainRelayOff();     // r64
// s64, then the amplifier delay plus one hundredth on the monotonic clock,
// handling no events.
void MainRelayOn();

// Sends the command ConsoleCommandCode selects; ConsoleCommandCode := 0.
void SendConsoleCommand(ConsoleState& s = MainConsole());
// ConsoleCommandCode := code, SendConsoleCommand.
void LampCommand(int32_t code, ConsoleState& s = MainConsole());
// Sends the status query; its answer waits in the receive buffer.
void QueryConsole(ConsoleState& s = MainConsole());
// Every 4th call: reads the console's answers and takes INTLACITKA from the
// 21st character.
void PollConsole(ConsoleState& s = MainConsole());
// The same read on every call (the announcement window's polling).
void ReadConsoleState(ConsoleState& s);

// The port name as used in mode strings (no trailing blanks).
std::string PortName();

}  // namespace app::engine
