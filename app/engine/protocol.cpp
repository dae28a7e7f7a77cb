#include "app/engine/protocol.h"

#include <chrono>
#include <span>

#include "app/engine/engine_view.h"
#include "app/ui/messages.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "syslib/drain.h"
#include "syslib/serial.h"
#include "syslib/timing.h"

namespace app::engine {

int32_t PortHandle = -1;
std::string COM_PORT;
std::string RelayCommand;
int32_t ConsoleCommandCode = 0;
int32_t LastWriteResult = 0;
int32_t LastReadCount = 0;
platform::StdTime GLO_AMP_DELAY = 0;

namespace {

EngineView* gView = nullptr;

PortOps& Port() {
  static PortOps ops = LibraryPort();
  return ops;
}

void DebugText(std::string_view text) {
  if (gView) gView->SetText("?DEBUG_TEXT", text);
}

void SwitchBaud(ConsoleState& s, const char* rate) {
  s.PortModeText = PortName() + ":" + rate + ",n,8,1";
  Port().reset(s.PortModeText);
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
  return p;
}

void SetPortOps(PortOps ops) { Port() = std::move(ops); }

void SetEngineView(EngineView* view) { gView = view; }
EngineView* GetEngineView() { return gView; }

ConsoleState& MainConsole() {
  static ConsoleState state;
  return state;
}

std::string PortName() { return std::string(platform::text::TrimRight(COM_PORT)); }

const char* ConsoleCommandFor(int32_t code) {
  switch (code) {
    case 500: return "(0504100010)";
    case 501: return "(0504100111)";
    case 510: return "(0504101011)";
    case 511: return "(0504101112)";
    case 520: return "(0504102012)";
    case 521: return "(0504102113)";
    default: return kStatusQuery;
  }
}

uint8_t ConnectPort() {
  PortHandle = -1;
  if (PortName().empty()) COM_PORT = "COM1";
  PortHandle = Port().open(PortName() + ":9600,n,8,1");
  if (PortHandle < 0) {
    ui::aMessage("stop.ico", "Chyba připojení",
                 "Nelze se připojit k portu " + COM_PORT + " !\r\n" + "\r\n" +
                     "Zkontrolujte, zda zvolený port existuje a zda ho nepoužívá nějaká jiná aplikace. " +
                     "Poté pokus zopakujte.");
    return 0;
  }
  RelayCommand = "q\r";
  LastWriteResult = Port().write(PortHandle, RelayCommand);
  syslib::ds_Sleep(20);
  Port().drain(PortHandle, 50);
  return 1;
}

void DisconnectPort() {
  DebugText("Odpojuji komunikaci...");
  Port().close(PortHandle);
  Port().killAll();
}

void WriteRelayCommand() {
  LastWriteResult = Port().write(PortHandle, RelayCommand);
  syslib::ds_Sleep(5);
}

void RelayExchange(const std::string& command) {
  RelayCommand = command;
  WriteRelayCommand();
  Port().drain(PortHandle, 50);
}

void SetAllOutputs() {
  DebugText("Vypinam vsechny vystupy...");
  for (int k = 1; k <= 40; ++k) RelayExchange("s" + std::to_string(k - 1) + "\r");
}

void ResetAllOutputs() {
  DebugText("Vypinam vsechny vystupy...");
  for (int k = 1; k <= 40; ++k) RelayExchange("r" + std::to_string(k - 1) + "\r");
}

void MainRelayOff() {
  DebugText("Vypinam hlavni rele...");
  RelayExchange("r64\r");
}

void MainRelayOn() {
  DebugText("Zapinam hlavni rele...");
  RelayExchange("s64\r");
  // The delay is measured on the monotonic clock, so a wait that starts
  // before midnight ends like any other.
  const int64_t hundredths = static_cast<int64_t>(GLO_AMP_DELAY > 0 ? GLO_AMP_DELAY : 0) + 1;
  platform::GetClock().Sleep(std::chrono::milliseconds(hundredths * 10));
}

void SendConsoleCommand(ConsoleState& s) {
  s.ConsoleCommandText = ConsoleCommandFor(ConsoleCommandCode);
  SwitchBaud(s, "19200");
  syslib::ds_Sleep(5);
  LastWriteResult = Port().write(PortHandle, s.ConsoleCommandText);
  syslib::ds_Sleep(10);
  Port().drain(PortHandle, 50);
  ConsoleCommandCode = 0;
  SwitchBaud(s, "9600");
  syslib::ds_Sleep(5);
}

void LampCommand(int32_t code, ConsoleState& s) {
  ConsoleCommandCode = code;
  SendConsoleCommand(s);
}

void QueryConsole(ConsoleState& s) {
  SwitchBaud(s, "19200");
  s.ConsoleCommandText = kStatusQuery;
  LastWriteResult = Port().write(PortHandle, s.ConsoleCommandText);
  syslib::ds_Sleep(5);
  SwitchBaud(s, "9600");
}

void ReadConsoleState(ConsoleState& s) {
  SwitchBaud(s, "19200");
  std::string reply(128, ' ');
  LastReadCount = Port().read(PortHandle, reply);
  s.ConsoleReply = reply;
  const char c = reply[20];
  s.INTLACITKA = static_cast<uint8_t>(c >= '0' && c <= '9' ? c - '0' : 0);
  SwitchBaud(s, "9600");
}

void PollConsole(ConsoleState& s) {
  if (s.PollTickCount != 3) {
    ++s.PollTickCount;
    return;
  }
  s.PollTickCount = 0;
  ReadConsoleState(s);
}

}  // namespace app::engine
