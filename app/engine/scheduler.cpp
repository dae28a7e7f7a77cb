#include "app/engine/scheduler.h"

#include <limits>

#include "app/data/debuglog.h"
#include "app/data/masks.h"
#include "app/engine/engine_view.h"
#include "app/engine/logtext.h"
#include "app/engine/protocol.h"
#include "app/ui/messages.h"
#include "platform/clock.h"
#include "platform/msgbox.h"
#include "platform/text.h"
#include "syslib/sound.h"

namespace app::engine {

uint8_t PlaybackRunning = 0;
platform::StdTime PlaybackEndTime = 0;
platform::StdDate PlaybackEndDate = 0;
platform::Clock::Monotonic::time_point PlaybackEndMonotonic{};
uint8_t ManualPlaybackRequested = 0;
std::array<uint8_t, 41> OutputSelected{};
int32_t GLO_TIMEOUT = 0;
uint8_t GLO_HLASENI = 0;
std::string GLO_FILE2PLAY;
platform::StdTime GLO_FILELENGHT = 0;
uint8_t LiveFromTabActive = 0;
platform::StdTime SYS_TIME = 0;
std::string KOMUNIKACE;

namespace {

using data::TasksRecord;
using platform::text::TrimRight;
using TaskFile = platform::rec::File<TasksRecord>;

std::function<void()> gLiveStep;

platform::StdTime Now() { return platform::GetClock().ClockTime(); }
platform::StdDate Today() { return platform::GetClock().Today(); }

void View(const std::function<void(EngineView&)>& f) {
  if (EngineView* v = GetEngineView()) f(*v);
}

void DebugText(std::string_view text) {
  View([&](EngineView& v) { v.SetText("?DEBUG_TEXT", text); });
}

void InfoText(std::string_view text) {
  View([&](EngineView& v) { v.SetText("?INFO_TEXT", text); });
}

void ShowImage(bool shown) {
  View([&](EngineView& v) { v.SetHidden("?IMAGE1", !shown); });
}

// Writes one log line (with "/debug").
void Log(const std::string& line) {
  data::DebugLine() = platform::text::PadChars(line, data::kDebugLineChars);
  data::WriteDebugLine();
}

std::string Stamp() { return DateText(Today()) + " " + TimeText(Now()); }

[[noreturn]] void TaskFileError(int code) {
  // Nothing stays switched on while the box waits and after the end.
  LampCommand(520);
  LampCommand(500);
  MainRelayOff();
  SetAllOutputs();
  ui::aMessage("stop.ico", "Chyba č.0x" + std::to_string(code), kTaskFileError);
  platform::Halt(kTaskFileErrorExit);
}

void DeleteTask(TaskFile& f) {
  const int32_t id = f.rec.ID;
  if (const int rc = f.Delete(); rc != 0) TaskFileError(rc);
  Log(Stamp() + " deleting the task: " + std::to_string(id));
}

}  // namespace

const char* WeekdayNameOf(int weekday) {
  static const char* const kNames[] = {"Neděle", "Pondělí", "Úterý", "Středa", "Čtvrtek", "Pátek", "Sobota"};
  return weekday >= 0 && weekday < 7 ? kNames[weekday] : "";
}

void SetLiveStateMachine(std::function<void()> step) { gLiveStep = std::move(step); }

void SetPlaybackEnd(platform::StdTime length) {
  platform::StdDate date = Today();
  int64_t end = static_cast<int64_t>(Now()) + (length > 0 ? length : 0);
  // An end past midnight falls on the next day.
  if (end > platform::kLastTime) {
    end -= platform::kDayHundredths;
    ++date;
  }
  PlaybackEndTime = static_cast<platform::StdTime>(end);
  PlaybackEndDate = date;
  PlaybackEndMonotonic = platform::GetClock().Now() + std::chrono::milliseconds(10 * int64_t{length > 0 ? length : 0});
}

void EndPlaybackIfDue() {
  const platform::StdDate today = Today();
  const bool ended = PlaybackEndDate < today || (PlaybackEndDate == today && PlaybackEndTime < Now()) ||
                     platform::GetClock().Now() > PlaybackEndMonotonic;
  if (!ended) return;
  PlaybackRunning = 0;
  InfoText("");
  ShowImage(false);
  if (ManualPlaybackRequested == 1) {
    ManualPlaybackRequested = 0;
    LampCommand(520);
    LampCommand(500);
    for (int k = 1; k <= 40; ++k)
      if (OutputSelected[static_cast<size_t>(k)] == 1) RelayExchange("s" + std::to_string(k - 1) + "\r");
    RelayExchange("r64\r");
  }
}

void ShowConnectionState() {
  const bool connected = PortHandle >= 0;
  KOMUNIKACE = connected ? "Připojeno" : "Nepřipojeno !";
  View([&](EngineView& v) {
    v.SetText("?KOMUNIKACE", KOMUNIKACE);
    v.SetFontColor("?KOMUNIKACE", connected ? 0x8000 : 0xFF);
    v.SetEnabled("?BUTTON_PREHRAJ", connected);
    v.SetEnabled("?BUTTON_ZAPNI", connected);
  });
}

void HandleTimerTick() {
  if (ManualPlaybackRequested == 1) {
    LampCommand(521);
    LampCommand(501);
  }
  EndPlaybackIfDue();
  PollConsole();
  QueryConsole();
  if (LiveFromTabActive == 0 && gLiveStep) gLiveStep();
  if (GLO_TIMEOUT <= std::numeric_limits<int32_t>::max() - 50) GLO_TIMEOUT += 50;
  if (GLO_TIMEOUT >= kScanPeriod && PortHandle >= 0 && PlaybackRunning == 0 && GLO_HLASENI == 0) {
    ScanTasks();
    GLO_TIMEOUT = 0;
  }
  SYS_TIME = Now();
  View([&](EngineView& v) { v.SetText("?SYS_TIME", TimeText(SYS_TIME)); });
  ShowConnectionState();
}

void SwitchTaskOutputs(const TasksRecord& r) {
  MainRelayOff();
  SetAllOutputs();
  std::array<uint8_t, data::kMaskOutputs> outputs{};
  data::GetOutputMask(r, outputs);
  for (int k = 1; k <= data::kUsedOutputs; ++k) {
    if (outputs[static_cast<size_t>(k - 1)] != 1) continue;
    DebugText("Zapinam vystup " + std::to_string(k - 1) + " ...");
    RelayExchange("r" + std::to_string(k - 1) + "\r");
  }
}

void PlayTask(TaskFile& f, platform::StdDate runDay) {
  TasksRecord& r = f.rec;
  DebugText("Prehravam hlaseni...");
  Log(std::to_string(r.ID) + " " + Stamp() + " " + std::string(TrimRight(r.NAZEV)) + " lenght:" +
      TimeText(r.DELKA_SOUBORU) + " repeat when:" + r.OPAKOVANI + " count:" + std::to_string(r.OPAKOVANI_POCET));
  InfoText("Právě probíhá přehrávání úlohy " + std::string(TrimRight(r.NAZEV)));
  ShowImage(true);
  r.POSLEDNI_SPUSTENI = runDay;
  if (const int rc = f.Put(); rc != 0) TaskFileError(rc);
  syslib::PlayWaveAsync(TrimRight(r.PREHRAT));
  SetPlaybackEnd(r.DELKA_SOUBORU);
  PlaybackRunning = 1;
  View([](EngineView& v) { v.RefreshTaskList(); });
}

void RunTask(TaskFile& f, platform::StdDate runDay) {
  LampCommand(521);
  LampCommand(501);
  SwitchTaskOutputs(f.rec);
  MainRelayOn();
  PlayTask(f, runDay);
}

void PlayFile() {
  InfoText("Prehravam hlaseni...");
  ShowImage(true);
  syslib::PlayWaveAsync(TrimRight(GLO_FILE2PLAY));
  SetPlaybackEnd(GLO_FILELENGHT);
  PlaybackRunning = 1;
  View([](EngineView& v) { v.RefreshTaskList(); });
}

void ScanTasks() {
  LampCommand(520);
  LampCommand(500);
  MainRelayOff();
  SetAllOutputs();
  InfoText("");
  ShowImage(false);
  DebugText("Seřazuji data ve frontě...");

  TaskFile f(data::TasksDecl());
  f.Send("Recover=" + std::to_string(data::kLockRecovery));
  if (const int rc = f.Open(); rc != 0) {
    // Shown and logged; the next scan tries again.
    const std::string text = "Soubor TASKS.TPS nelze otevřít (chyba " + std::to_string(rc) + ")";
    DebugText(text);
    Log(Stamp() + " " + text);
    return;
  }

  const platform::StdTime now = Now();
  f.ClearBuffer();
  f.rec.AKTIVNI = 1;
  f.rec.CAS_SPUSTENI = now > kScanWindow ? now - kScanWindow : 0;
  const platform::StdTime start = f.rec.CAS_SPUSTENI;
  f.SetKeyFromBuffer(data::TAS_KeyAkt_Cas);
  Log(Stamp() + " sorting by time: " + TimeText(start));

  while (f.Next() == 0) {
    TasksRecord& r = f.rec;
    DebugText("Kontroluji zadane ulohy (uloha c." + std::to_string(r.ID) + ")...");
    const platform::StdDate today = Today();
    if (r.DATUM_SPUSTENI == today) {
      // One-shot rule.
      if (r.CAS_SPUSTENI < Now() && r.CAS_SPUSTENI > Now() - kScanWindow && r.POSLEDNI_SPUSTENI != today) {
        RunTask(f, today);
        if (r.OPAKOVANI_POCET == 0 && r.AUTOMATICKY_SMAZAT == 1) DeleteTask(f);
      }
      continue;
    }
    // Weekly rule.
    if (!(r.CAS_SPUSTENI < Now() && r.CAS_SPUSTENI > Now() - kScanWindow && r.OPAKOVANI_POCET > 0 &&
          r.POSLEDNI_SPUSTENI != today))
      continue;
    const auto days = data::DecodeWeekdayMask(r.OPAKOVANI);
    const int weekday = platform::Weekday(today);
    const std::string name = platform::text::PadChars(WeekdayNameOf(weekday), 8);
    std::string flags;
    for (int d : {1, 2, 3, 4, 5, 6, 0}) flags += days[static_cast<size_t>(d)] == 1 ? '1' : '0';
    Log(Stamp() + " today is: " + name + " date mask:" + flags);
    if (weekday < 0 || days[static_cast<size_t>(weekday)] != 1) continue;
    if (r.OPAKOVANI_POCET != 255) --r.OPAKOVANI_POCET;
    RunTask(f, today);
    if (r.OPAKOVANI_POCET == 0) {
      if (r.AUTOMATICKY_SMAZAT == 1) {
        DeleteTask(f);
      } else {
        r.AKTIVNI = 0;
        if (const int rc = f.Put(); rc != 0) TaskFileError(rc);
        Log(Stamp() + " setting the task inactive: " + std::to_string(r.ID));
      }
    }
  }
  f.Close();
  GLO_TIMEOUT = 0;
}

}  // namespace app::engine
