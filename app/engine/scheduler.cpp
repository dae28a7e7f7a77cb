#include "app/engine/scheduler.h"

#include <limits>

#include "app/data/masks.h"
#include "app/engine/commands.h"
#include "app/engine/logtext.h"
#include "platform/msgbox.h"
#include "platform/text.h"
#include "syslib/sound.h"

namespace app::engine {

namespace {

using data::TasksRecord;
using platform::text::TrimRight;

platform::StdTime Now() { return platform::GetClock().ClockTime(); }
platform::StdDate Today() { return platform::GetClock().Today(); }

}  // namespace

const char* WeekdayNameOf(int weekday) {
  static const char* const kNames[] = {"Neděle", "Pondělí", "Úterý", "Středa", "Čtvrtek", "Pátek", "Sobota"};
  return weekday >= 0 && weekday < 7 ? kNames[weekday] : "";
}

Scheduler::Scheduler(SchedulerState& state, PortState& port, ConsoleState& console, Protocol& protocol,
                     const EngineHooks& hooks)
    : state_(state), port_(port), console_(console), protocol_(protocol), hooks_(hooks) {}

void Scheduler::Lamp(int32_t code) { protocol_.LampCommand(code, console_); }

void Scheduler::DebugText(std::string_view text) {
  if (hooks_.view) hooks_.view->SetText("?DEBUG_TEXT", text);
}

void Scheduler::InfoText(std::string_view text) {
  if (hooks_.view) hooks_.view->SetText("?INFO_TEXT", text);
}

void Scheduler::ShowImage(bool shown) {
  if (hooks_.view) hooks_.view->SetHidden("?IMAGE1", !shown);
}

void Scheduler::TaskFileError(int code) {
  // Nothing stays switched on while the box waits and after the end.
  Lamp(kLineBacklightOff);
  Lamp(kOnAirLampOff);
  protocol_.MainRelayOff();
  protocol_.SetAllOutputs();
  const std::string title = "Chyba č.0x" + std::to_string(code);
  if (hooks_.errorBox) hooks_.errorBox("stop.ico", title, kTaskFileError);
  else platform::MessageBox(kTaskFileError, title, platform::BoxIcon::Hand);
  if (hooks_.endProgram) hooks_.endProgram(kTaskFileErrorExit);
  else platform::Halt(kTaskFileErrorExit);
}

bool Scheduler::ClosingDown() const { return hooks_.closingDown && hooks_.closingDown(); }

void Scheduler::SetPlaybackEnd(platform::StdTime length) {
  platform::StdDate date = Today();
  const int64_t duration = length > 0 ? length : 0;
  int64_t end = static_cast<int64_t>(Now()) + duration;
  // An end past midnight falls on the next day.
  if (end > platform::kLastTime) {
    end -= platform::kDayHundredths;
    ++date;
  }
  state_.PlaybackEndTime = static_cast<platform::StdTime>(end);
  state_.PlaybackEndDate = date;
  state_.PlaybackEndMonotonic = platform::GetClock().Now() + std::chrono::milliseconds(10 * duration);
}

void Scheduler::EndPlaybackIfDue() {
  const platform::StdDate today = Today();
  const bool ended = state_.PlaybackEndDate < today ||
                     (state_.PlaybackEndDate == today && state_.PlaybackEndTime < Now()) ||
                     platform::GetClock().Now() > state_.PlaybackEndMonotonic;
  if (!ended) return;
  state_.PlaybackRunning = 0;
  InfoText("");
  ShowImage(false);
  if (state_.ManualPlaybackRequested == 1) {
    state_.ManualPlaybackRequested = 0;
    Lamp(kLineBacklightOff);
    // A live announcement from the tab still runs in its zones: its stop
    // switches them, the amplifier and the ON-AIR lamp off.
    if (state_.LiveFromTabActive == 1) return;
    Lamp(kOnAirLampOff);
    for (int k = 1; k <= kZoneRelays; ++k)
      if (state_.OutputSelected[static_cast<size_t>(k)] == 1) protocol_.RelayExchange(SetRelay(k - 1));
    protocol_.RelayExchange(kAmplifierOff);
  }
}

void Scheduler::ShowConnectionState() {
  const bool connected = port_.PortHandle >= 0;
  state_.KOMUNIKACE = connected ? "Připojeno" : "Nepřipojeno !";
  if (EngineView* v = hooks_.view) {
    v->SetText("?KOMUNIKACE", state_.KOMUNIKACE);
    v->SetFontColor("?KOMUNIKACE", connected ? 0x8000 : 0xFF);
    v->SetEnabled("?BUTTON_PREHRAJ", connected);
    v->SetEnabled("?BUTTON_ZAPNI", connected);
  }
}

void Scheduler::HandleTimerTick() {
  // The close-down that is on its way comes next: nothing is started or
  // lit again before it (no scan, no step of the live announcement).
  if (ClosingDown()) return;
  if (state_.ManualPlaybackRequested == 1) {
    Lamp(kLineBacklightOn);
    Lamp(kOnAirLampOn);
  }
  EndPlaybackIfDue();
  protocol_.PollConsole(console_);
  protocol_.QueryConsole(console_);
  if (state_.LiveFromTabActive == 0 && LiveStateMachine) LiveStateMachine();
  if (state_.GLO_TIMEOUT <= std::numeric_limits<int32_t>::max() - kTickStep) state_.GLO_TIMEOUT += kTickStep;
  if (state_.GLO_TIMEOUT >= kScanPeriod) {
    if (port_.PortHandle >= 0 && state_.PlaybackRunning == 0 && state_.GLO_HLASENI == 0) {
      ScanTasks();
      state_.GLO_TIMEOUT = 0;
    } else if (port_.PortHandle < 0) {
      // A port lost or never connected (a device that came late) is tried
      // again once per scan interval, without a box.
      (void)protocol_.ReconnectQuietly();
      state_.GLO_TIMEOUT = 0;
    }
  }
  state_.SYS_TIME = Now();
  if (hooks_.view) hooks_.view->SetText("?SYS_TIME", TimeText(state_.SYS_TIME));
  ShowConnectionState();
}

void Scheduler::SwitchTaskOutputs(const TasksRecord& r) {
  protocol_.MainRelayOff();
  protocol_.SetAllOutputs();
  std::array<uint8_t, data::kMaskOutputs> outputs{};
  data::GetOutputMask(r, outputs);
  for (int k = 1; k <= data::kUsedOutputs; ++k) {
    if (outputs[static_cast<size_t>(k - 1)] != 1) continue;
    DebugText("Zapinam vystup " + std::to_string(k - 1) + " ...");
    protocol_.RelayExchange(ResetRelay(k - 1));
  }
}

bool Scheduler::Book(TaskFile& f, platform::StdDate runDay, AfterRun after) {
  TasksRecord& r = f.rec;
  r.POSLEDNI_SPUSTENI = runDay;
  if (after == AfterRun::Deactivate) r.AKTIVNI = 0;
  // The booking and what follows it are one write: a failure or a kill
  // between them leaves the record as it was.
  int rc = f.Logout();
  if (rc == 0) {
    rc = f.Put();
    if (rc == 0 && after == AfterRun::Delete) rc = f.Delete();
    if (rc == 0) rc = f.Commit();
    else f.Rollback();
  }
  if (rc == 0) return true;
  TaskFileError(rc);
  return false;
}

bool Scheduler::PlayTask(TaskFile& f, platform::StdDate runDay, AfterRun after) {
  TasksRecord& r = f.rec;
  DebugText("Prehravam hlaseni...");
  WriteLogLine(std::to_string(r.ID) + " " + Stamp() + " " + std::string(TrimRight(r.NAZEV)) + " lenght:" +
               TimeText(r.DELKA_SOUBORU) + " repeat when:" + r.OPAKOVANI + " count:" +
               std::to_string(r.OPAKOVANI_POCET));
  InfoText("Právě probíhá přehrávání úlohy " + std::string(TrimRight(r.NAZEV)));
  ShowImage(true);
  if (!Book(f, runDay, after)) return false;
  syslib::PlayWaveAsync(TrimRight(r.PREHRAT));
  SetPlaybackEnd(r.DELKA_SOUBORU);
  state_.PlaybackRunning = 1;
  if (hooks_.view) hooks_.view->RefreshTaskList();
  return true;
}

bool Scheduler::RunTask(TaskFile& f, platform::StdDate runDay, AfterRun after) {
  Lamp(kLineBacklightOn);
  Lamp(kOnAirLampOn);
  SwitchTaskOutputs(f.rec);
  protocol_.MainRelayOn();
  // Relay traffic that lost the device books nothing: the task stays due.
  if (port_.PortHandle < 0) return false;
  return PlayTask(f, runDay, after);
}

void Scheduler::PlayFile() {
  InfoText("Prehravam hlaseni...");
  ShowImage(true);
  syslib::PlayWaveAsync(TrimRight(state_.GLO_FILE2PLAY));
  SetPlaybackEnd(state_.GLO_FILELENGHT);
  state_.PlaybackRunning = 1;
  if (hooks_.view) hooks_.view->RefreshTaskList();
}

void Scheduler::ScanTasks() {
  Lamp(kLineBacklightOff);
  Lamp(kOnAirLampOff);
  protocol_.MainRelayOff();
  protocol_.SetAllOutputs();
  if (port_.PortHandle < 0) return;  // the device was lost: nothing is read
  InfoText("");
  ShowImage(false);
  DebugText("Seřazuji data ve frontě...");

  TaskFile f(data::TasksDecl());
  f.Send("Recover=" + std::to_string(data::kLockRecovery));
  int rc = f.Open();
  // Missing, as after a start on a full disk: made as its controller would.
  if (rc == platform::locale::FileNotFound && (rc = f.Create()) == 0) rc = f.Open();
  if (rc != 0) {
    const std::string text = "Soubor TASKS.TPS nelze otevřít (chyba " + std::to_string(rc) + ")";
    DebugText(text);
    WriteLogLine(Stamp() + " " + text);
    return;
  }

  f.ClearBuffer();
  f.rec.AKTIVNI = 1;
  const platform::StdTime now = Now();
  f.rec.CAS_SPUSTENI = now > kScanWindow ? now - kScanWindow : 0;
  const platform::StdTime start = f.rec.CAS_SPUSTENI;
  f.SetKeyFromBuffer(data::TAS_KeyAkt_Cas);
  WriteLogLine(Stamp() + " sorting by time: " + TimeText(start));

  while (f.Next() == 0) {
    TasksRecord& r = f.rec;
    // In key order every later record is as late or inactive: none is due.
    if (r.AKTIVNI != 1 || r.CAS_SPUSTENI >= Now()) break;
    DebugText("Kontroluji zadane ulohy (uloha c." + std::to_string(r.ID) + ")...");
    const platform::StdDate today = Today();
    AfterRun after = AfterRun::Keep;
    if (r.DATUM_SPUSTENI == today) {
      // One-shot rule: a run leaves the count as it is.
      if (!(r.CAS_SPUSTENI < Now() && r.CAS_SPUSTENI > Now() - kScanWindow && r.POSLEDNI_SPUSTENI != today))
        continue;
      if (r.OPAKOVANI_POCET == 0 && r.AUTOMATICKY_SMAZAT == 1) after = AfterRun::Delete;
    } else {
      // Weekly rule.
      if (!(r.CAS_SPUSTENI < Now() && r.CAS_SPUSTENI > Now() - kScanWindow && r.OPAKOVANI_POCET > 0 &&
            r.POSLEDNI_SPUSTENI != today))
        continue;
      const auto days = data::DecodeWeekdayMask(r.OPAKOVANI);
      const int weekday = platform::Weekday(today);
      const std::string name = platform::text::PadChars(WeekdayNameOf(weekday), 8);
      std::string flags;
      for (int d : {1, 2, 3, 4, 5, 6, 0}) flags += days[static_cast<size_t>(d)] == 1 ? '1' : '0';
      WriteLogLine(Stamp() + " today is: " + name + " date mask:" + flags);
      if (weekday < 0 || days[static_cast<size_t>(weekday)] != 1) continue;
      if (r.OPAKOVANI_POCET != 255) --r.OPAKOVANI_POCET;
      if (r.OPAKOVANI_POCET == 0) after = r.AUTOMATICKY_SMAZAT == 1 ? AfterRun::Delete : AfterRun::Deactivate;
    }
    if (ClosingDown() || !RunTask(f, today, after)) break;
    if (after == AfterRun::Delete) WriteLogLine(Stamp() + " deleting the task: " + std::to_string(r.ID));
    if (after == AfterRun::Deactivate) WriteLogLine(Stamp() + " setting the task inactive: " + std::to_string(r.ID));
  }
  f.Close();
  state_.GLO_TIMEOUT = 0;
}

}  // namespace app::engine
