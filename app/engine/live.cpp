#include "app/engine/live.h"

#include "app/engine/commands.h"
#include "app/engine/engine.h"

namespace app::engine {

namespace {

// Every zone silenced, then the amplifier off.
void AllOff(Protocol& protocol) {
  protocol.SilenceOutputs();
  protocol.RelayExchange(kAmplifierOff);
}

}  // namespace

void LiveStateMachine(LiveState& live, SchedulerState& scheduler, ConsoleState& console, Protocol& protocol) {
  const auto lamp = [&](int32_t code) { protocol.LampCommand(code, console); };
  switch (console.INTLACITKA) {
    case 0:
      if (live.HIST0 == 1) break;
      live.HIST1 = live.HIST2 = live.HIST3 = 0;
      live.HIST0 = 1;
      scheduler.GLO_HLASENI = 0;
      if (live.LAST_HIST == 2) {
        live.LAST_HIST = 0;
        lamp(kMicBacklightOff);
      } else if (live.LAST_HIST == 1) {
        live.LAST_HIST = 0;
        lamp(kMicBacklightOff);
        lamp(kOnAirLampOff);
      } else {
        AllOff(protocol);
        lamp(kMicBacklightOff);
        lamp(kOnAirLampOff);
      }
      break;
    case 1:
      if (live.HIST1 == 1) {
        live.LAST_HIST = 1;
        lamp(live.MicBlinkPhase == 0 ? kMicBacklightOn : kMicBacklightOff);
        live.MicBlinkPhase = live.MicBlinkPhase == 0 ? 1 : 0;
      } else {
        live.HIST0 = live.HIST2 = live.HIST3 = 0;
        live.HIST1 = 1;
        scheduler.GLO_HLASENI = 1;
        lamp(kMicBacklightOff);
        lamp(kOnAirLampOff);
      }
      // Straight from both switches on: the zones and the amplifier go off.
      if (live.LAST_HIST == 3) AllOff(protocol);
      break;
    case 2:
      if (live.HIST2 == 1) {
        live.LAST_HIST = 2;
      } else {
        live.HIST0 = live.HIST1 = live.HIST3 = 0;
        live.HIST2 = 1;
        scheduler.GLO_HLASENI = 1;
        lamp(kMicBacklightOn);
      }
      break;
    case 3:
      if (live.HIST3 == 1) {
        live.LAST_HIST = 3;
      } else {
        live.HIST3 = 1;
        live.HIST0 = live.HIST1 = live.HIST2 = 0;
        scheduler.GLO_HLASENI = 1;
        for (int relay = 0; relay < kZoneRelays; ++relay) protocol.RelayExchange(ResetRelay(relay));
        protocol.RelayExchange(kAmplifierOn);
        lamp(kMicBacklightOn);
        lamp(kOnAirLampOn);
      }
      break;
    default:
      break;
  }
}

void InstallLiveStateMachine(Engine& engine) {
  engine.scheduler.LiveStateMachine = [&engine] {
    LiveStateMachine(engine.live, engine.schedulerState, engine.console, engine.protocol);
  };
}

}  // namespace app::engine
