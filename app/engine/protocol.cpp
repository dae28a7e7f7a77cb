#include "app/engine/protocol.h"

#include <poll.h>

#include <cerrno>
#include <chrono>
#include <span>

#include "app/engine/commands.h"
#include "app/engine/logtext.h"
#include "platform/clock.h"
#include "platform/msgbox.h"
#include "platform/text.h"
#include "syslib/drain.h"
#include "syslib/liberror.h"
#include "syslib/serial.h"
#include "syslib/timing.h"
#include "syslib/win32error.h"

namespace app::engine {

namespace {

// A port the library holds open under this handle whose line is hung up
// (the device's side closed, or the device unplugged).
bool HungUp(int32_t handle) {
  bool held = false;
  for (int entry = 1; entry <= syslib::kPortCount && !held; ++entry) {
    const syslib::PortEntry e = syslib::GetPortEntry(entry);
    held = e.InUse != 0 && e.Handle == handle;
  }
  pollfd p{handle, 0, 0};
  return held && ::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR)) != 0;
}

}  // namespace

PortOps LibraryPort() {
  PortOps p;
  p.open = [](const std::string& mode) { return syslib::NewPort(mode, 0, 1, 0, 1, 0); };
  p.reset = [](const std::string& mode) { return syslib::ResetPort(mode); };
  p.read = [](int32_t h, std::string& buf) {
    return syslib::ReadPort(h, std::span<char>(buf.data(), buf.size()), 0);
  };
  p.write = [](int32_t h, const std::string& text) { return syslib::WritePort(h, text, 0); };
  p.close = [](int32_t h) { syslib::ClosePort(h); };
  p.killAll = [] { syslib::KillAllPorts(); };
  p.drain = [](int32_t h, int32_t timeout) { return syslib::ds_EmptyPort(h, timeout); };
  p.lost = [](int32_t h) {
    const int e = syslib::LastErrno();
    const bool gone = syslib::LibraryErrorCode() == syslib::kErrWritePort && (e == EIO || e == ENXIO || e == ENODEV);
    return gone || HungUp(h);
  };
  return p;
}

Protocol::Protocol(PortState& port, const EngineHooks& hooks, PortOps ops)
    : port_(port), hooks_(hooks), ops_(std::move(ops)) {}

void Protocol::DebugText(std::string_view text) {
  if (hooks_.view) hooks_.view->SetText("?DEBUG_TEXT", text);
}

std::string Protocol::PortName() const { return std::string(platform::text::TrimRight(port_.COM_PORT)); }

void Protocol::Report(const std::string& line) {
  WriteLogLine(Stamp() + " " + line);
  if (hooks_.report) hooks_.report(line);
}

void Protocol::LoseDevice() {
  ops_.close(port_.PortHandle);
  port_.PortHandle = -1;
  port_.PortLost = 1;
  Report("connection lost: " + (port_.OpenPortName.empty() ? PortName() : port_.OpenPortName));
  port_.OpenPortName.clear();
}

int32_t Protocol::Write(const std::string& text) {
  const int32_t handle = port_.PortHandle;
  const int32_t r = ops_.write(handle, text);
  const auto wanted = static_cast<int32_t>(platform::text::TrimRight(text).size());
  if (handle >= 0 && r != wanted && ops_.lost(handle)) LoseDevice();
  return r;
}

void Protocol::SwitchBaud(ConsoleState& console, const char* baud) {
  // The port open, also when COM_PORT names the next one already.
  console.PortModeText = PortMode(port_.OpenPortName.empty() ? PortName() : port_.OpenPortName, baud);
  const int32_t handle = port_.PortHandle;
  if (ops_.reset(console.PortModeText) == 0 && handle >= 0 && ops_.lost(handle)) LoseDevice();
}

void Protocol::Drain() { ops_.drain(port_.PortHandle, 50); }

uint8_t Protocol::Connect(bool showBox) {
  port_.PortHandle = -1;
  if (PortName().empty()) port_.COM_PORT = kDefaultPort;
  port_.PortHandle = ops_.open(PortMode(PortName(), kRelayBaud));
  port_.OpenPortName = port_.PortHandle >= 0 ? PortName() : std::string();
  if (port_.PortHandle >= 0) {
    port_.RelayCommand = kGreeting;
    port_.LastWriteResult = Write(port_.RelayCommand);
    if (port_.PortHandle >= 0) {
      syslib::ds_Sleep(20);
      Drain();
    }
  }
  if (port_.PortHandle < 0) {
    if (showBox) {
      const std::string text = "Nelze se připojit k portu " + port_.COM_PORT + " !\r\n" + "\r\n" +
                               "Zkontrolujte, zda zvolený port existuje a zda ho nepoužívá nějaká jiná aplikace. " +
                               "Poté pokus zopakujte.";
      if (hooks_.errorBox) hooks_.errorBox("stop.ico", "Chyba připojení", text);
      else platform::MessageBox(text, "Chyba připojení", platform::BoxIcon::Hand);
    }
    return 0;
  }
  port_.PortLost = 0;
  return 1;
}

uint8_t Protocol::ConnectPort() { return Connect(true); }

uint8_t Protocol::ReconnectQuietly() {
  if (Connect(false) != 1) return 0;
  SilenceOutputs();
  if (port_.PortHandle < 0) return 0;
  Report("connection restored: " + PortName());
  return 1;
}

void Protocol::DisconnectPort() {
  DebugText("Odpojuji komunikaci...");
  ops_.close(port_.PortHandle);
  ops_.killAll();
  // Nothing later writes to the closed handle (its number may be reused).
  port_.PortHandle = -1;
  port_.OpenPortName.clear();
}

void Protocol::WriteRelayCommand() {
  port_.LastWriteResult = Write(port_.RelayCommand);
  syslib::ds_Sleep(5);
}

void Protocol::RelayExchange(std::string_view command) {
  port_.RelayCommand = command;
  WriteRelayCommand();
  Drain();
}

void Protocol::SilenceOutputs() {
  for (int relay = 0; relay < kZoneRelays; ++relay) RelayExchange(SetRelay(relay));
}

void Protocol::SetAllOutputs() {
  DebugText("Vypinam vsechny vystupy...");
  SilenceOutputs();
}

void Protocol::ResetAllOutputs() {
  DebugText("Vypinam vsechny vystupy...");
  for (int relay = 0; relay < kZoneRelays; ++relay) RelayExchange(ResetRelay(relay));
}

void Protocol::MainRelayOff() {
  DebugText("Vypinam hlavni rele...");
  RelayExchange(kAmplifierOff);
}

void Protocol::MainRelayOn() {
  DebugText("Zapinam hlavni rele...");
  RelayExchange(kAmplifierOn);
  platform::Clock& clock = platform::GetClock();
  port_.AmpWaitStart = clock.ClockTime();
  const int64_t hundredths = static_cast<int64_t>(port_.GLO_AMP_DELAY > 0 ? port_.GLO_AMP_DELAY : 0) + 1;
  clock.Sleep(std::chrono::milliseconds(hundredths * 10));
}

void Protocol::SendConsoleCommand(ConsoleState& console) {
  console.ConsoleCommandText = ConsoleCommandFor(port_.ConsoleCommandCode);
  SwitchBaud(console, kConsoleBaud);
  syslib::ds_Sleep(5);
  port_.LastWriteResult = Write(console.ConsoleCommandText);
  syslib::ds_Sleep(10);
  Drain();
  port_.ConsoleCommandCode = 0;
  SwitchBaud(console, kRelayBaud);
  syslib::ds_Sleep(5);
}

void Protocol::LampCommand(int32_t code, ConsoleState& console) {
  port_.ConsoleCommandCode = code;
  SendConsoleCommand(console);
}

void Protocol::QueryConsole(ConsoleState& console) {
  SwitchBaud(console, kConsoleBaud);
  console.ConsoleCommandText = kStatusQuery;
  port_.LastWriteResult = Write(console.ConsoleCommandText);
  syslib::ds_Sleep(5);
  SwitchBaud(console, kRelayBaud);
}

void Protocol::ReadConsoleState(ConsoleState& console) {
  SwitchBaud(console, kConsoleBaud);
  std::string reply(128, ' ');
  port_.LastReadCount = ops_.read(port_.PortHandle, reply);
  const char c = reply[20];
  console.ConsoleReply = std::move(reply);
  console.INTLACITKA = static_cast<uint8_t>(c >= '0' && c <= '9' ? c - '0' : 0);
  SwitchBaud(console, kRelayBaud);
}

void Protocol::PollConsole(ConsoleState& console) {
  if (console.PollTickCount != 3) {
    ++console.PollTickCount;
    return;
  }
  console.PollTickCount = 0;
  ReadConsoleState(console);
}

}  // namespace app::engine
